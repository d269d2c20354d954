// qc_ImgWin: the image window's logic (view, image, palette, overlays,
// selection, status line) and its drawing into the canvas.  The SDL window
// and the event loop are in imgwin_sdl.cpp.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include <SDL_keycode.h>

#include <qrn/foundation/misc.h>

#include "imgwin_native.h"

// The public key codes are SDL's.
namespace {
constexpr bool sameKey(qcImageConsoleCallback::Key k, SDL_Keycode s) { return static_cast<long>(k) == static_cast<long>(s); }
}  // namespace
static_assert(sameKey(qcImageConsoleCallback::keyReturn, SDLK_RETURN) &&
              sameKey(qcImageConsoleCallback::keyEscape, SDLK_ESCAPE) &&
              sameKey(qcImageConsoleCallback::keyBackspace, SDLK_BACKSPACE) &&
              sameKey(qcImageConsoleCallback::keyArrowRight, SDLK_RIGHT) &&
              sameKey(qcImageConsoleCallback::keyPageUp, SDLK_PAGEUP) &&
              sameKey(qcImageConsoleCallback::keyPageDown, SDLK_PAGEDOWN) &&
              sameKey(qcImageConsoleCallback::keyArrowLeft, SDLK_LEFT) &&
              sameKey(qcImageConsoleCallback::keyArrowDown, SDLK_DOWN) && sameKey(qcImageConsoleCallback::keyArrowUp, SDLK_UP));

namespace {

constexpr std::uint32_t kBackground = qc_Canvas::rgb(48, 48, 48);
constexpr std::uint32_t kTrough = qc_Canvas::rgb(214, 214, 214);
constexpr std::uint32_t kThumb = qc_Canvas::rgb(128, 128, 128);
constexpr std::uint32_t kStatusBack = qc_Canvas::rgb(236, 236, 236);
constexpr std::uint32_t kStatusText = qc_Canvas::rgb(0, 0, 0);
constexpr long kDragPixels = 3;  // a press that moves this far is a drag
constexpr long kDefaultWidth = 640, kDefaultHeight = 480;

// The window's own keys in the help box: keys, what they do, and when they
// do something (so when they are listed).
enum class HelpWhen { always, selecting, waiting };
const struct {
  const char* keys;
  const char* what;
  HelpWhen when;
} kHelp[] = {
    {"click / drag", "pick a point / an area", HelpWhen::selecting},
    {"Enter", "acknowledge", HelpWhen::waiting},
    {"Escape", "cancel", HelpWhen::waiting},
    {"+ / -, wheel", "zoom in / out", HelpWhen::always},
    {"arrows, right drag, scroll bars", "pan", HelpWhen::always},
    {"f, Home", "fit the whole image", HelpWhen::always},
    {"h, F1", "this help", HelpWhen::always},
};

int gWindows = 0;  // image windows in existence (all on one thread)

long toClient(double v) { return static_cast<long>(std::clamp(v, -1e9, 1e9)); }

std::string format(const char* fmt, auto... args) {
  char buf[96];
  std::snprintf(buf, sizeof buf, fmt, args...);
  return buf;
}

int fontHeightOf(unsigned long font) {
  return font == 0 ? qc_ImgWin::defaultFontHeight : static_cast<int>(std::clamp(font, 6UL, 96UL));
}

}  // namespace

qc_ImgWin::qc_ImgWin(qcImageConsole* console, const std::string& title, long width, long height, long x, long y,
                     int flags, unsigned long font)
    : console_(console), owner_(qfGetCurrentThreadID()), fontHandle_(font), title_(title) {
  closeEnabled_ = (flags & qcImageConsole::EnableClose) != 0;
  font_ = std::make_unique<qc_Font>(fontHeightOf(font));
  const int statusH = statusHeight(fontHeightOf(font));
  if (width == qcImageConsole::NoValue) width = kDefaultWidth + scrollBarWidth;
  if (height == qcImageConsole::NoValue) height = kDefaultHeight + scrollBarWidth + statusH;
  refreshRgb_();
  native_ = std::make_unique<qc_ImgWinNative>(*this, title, width, height, x, y);
  ++gWindows;
  const qcPair<long> s = native_->size();
  resized(static_cast<int>(s.x), static_cast<int>(s.y));
  native_->show(flags);
  paint();
  if (!(flags & qcImageConsole::NoPendingMessages)) processEvents();
}

qc_ImgWin::~qc_ImgWin() {
  --gWindows;
  destroying();
  items_.clear();
  native_.reset();
}

int qc_ImgWin::windowCount() { return gWindows; }

// ---- coordinates and view ---------------------------------------------------------

qcPair<double> qc_ImgWin::clientToImage(double u, double v) const {
  const double z = zoom_;
  return {(u - static_cast<double>(client_.x / 2)) / z + center_.x + static_cast<double>(offset_.x),
          (v - static_cast<double>(client_.y / 2)) / z + center_.y + static_cast<double>(offset_.y)};
}

qcPair<long> qc_ImgWin::imageToClient(double x, double y) const {
  return {toClient((x - center_.x - static_cast<double>(offset_.x)) * zoom_ + static_cast<double>(client_.x / 2)),
          toClient((y - center_.y - static_cast<double>(offset_.y)) * zoom_ + static_cast<double>(client_.y / 2))};
}

void qc_ImgWin::clipToImage(qcPair<double>& p) const {
  p.x = std::clamp(p.x, static_cast<double>(offset_.x), static_cast<double>(offset_.x + imgW_));
  p.y = std::clamp(p.y, static_cast<double>(offset_.y), static_cast<double>(offset_.y + imgH_));
}

double qc_ImgWin::closestZoom(const qcPair<long>& clientSize, const qcPair<double>& imageSize) {
  if (!(imageSize.x > 0) || !(imageSize.y > 0)) return 1.0;
  const double r = std::min(clientSize.y / imageSize.y, clientSize.x / imageSize.x);
  double z = 1.0;
  if (r > 1) {
    while (z * 2 < r && z < 64) z *= 2;
  } else {
    while (z > r && z > 0.125) z /= 2;
  }
  return z;
}

double qc_ImgWin::snapZoom(double z) {
  if (!(z >= 0.25)) return 0.125;  // NaN too
  if (z >= 64) return 64;
  double p = 0.25;
  while (p * 2 <= z) p *= 2;
  return p;
}

void qc_ImgWin::zoom(double z) {
  if (!hasImage()) return;
  zoom_ = snapZoom(z);
  paint();
}

void qc_ImgWin::center(const qcPair<double>& c) {
  if (!hasImage()) return;
  center_ = c;
  paint();
}

void qc_ImgWin::viewEntire() {
  if (!hasImage()) return;
  zoom_ = closestZoom(client_, {static_cast<double>(imgW_), static_cast<double>(imgH_)});
  center_ = {static_cast<double>(imgW_ / 2), static_cast<double>(imgH_ / 2)};
  paint();
}

// ---- image --------------------------------------------------------------------------

void qc_ImgWin::setImage_(long w, long h, const qcPair<long>& offset) {
  const bool same = hasImage() && w == imgW_ && h == imgH_;
  imgW_ = w;
  imgH_ = h;
  offset_ = offset;
  if (!same) {
    clearSelection();
    center_ = {static_cast<double>(w / 2), static_cast<double>(h / 2)};
    zoom_ = 1.0;
    viewEntire();
  }
}

namespace {
// Copies src into dst, reusing dst's pels when the size is the same.
template <class T>
void copyInto(const qcPelBuffer_const<T>& src, qcPelBuffer<T>& dst) {
  if (dst.width() != src.width() || dst.height() != src.height()) dst = qcPelBuffer<T>(src.width(), src.height());
  qfPelCopy(src, dst);
}
}  // namespace

void qc_ImgWin::showImage(const qcPelBuffer_const<unsigned char>& image, unsigned char low, unsigned char high) {
  if (!image.isBound() || image.width() <= 0 || image.height() <= 0) {
    discardImage();
    return;
  }
  if (low == 0 && high == 0) high = 255;
  remapColorTable(low, high);
  copyInto(image, grey_);
  color_.unbind();
  setImage_(image.width(), image.height(), image.offset());
  paint();
}

void qc_ImgWin::showImage(const qcPelBuffer_const<unsigned char>& image, qcPair<double> center, double zoom,
                          unsigned char low, unsigned char high) {
  showImage(image, low, high);
  if (!hasImage()) return;
  center_ = center;
  zoom_ = snapZoom(zoom);
  paint();
}

void qc_ImgWin::showImage(const qcPelBuffer_const<qcPackedRGB32Pel>& image) {
  if (!image.isBound() || image.width() <= 0 || image.height() <= 0) {
    discardImage();
    return;
  }
  copyInto(image, color_);
  grey_.unbind();
  setImage_(image.width(), image.height(), image.offset());
  paint();
}

void qc_ImgWin::discardImage() {
  grey_.unbind();
  color_.unbind();
  imgW_ = imgH_ = 0;
  clearSelection();
  paint();
}

void qc_ImgWin::colorMap(const std::vector<MapPair>& map) {
  palette_.setColorTable(map, palette_.low(), palette_.high());
  refreshRgb_();
}

void qc_ImgWin::setColorTable() {
  palette_.setColorTable(palette_.colorMap(), palette_.low(), palette_.high());
  refreshRgb_();
}

void qc_ImgWin::remapColorTable(unsigned char low, unsigned char high) {
  palette_.remapColorTable(low, high);
  refreshRgb_();
}

void qc_ImgWin::refreshRgb_() {
  for (int v = 0; v < 256; ++v)
    greyRgb_[static_cast<std::size_t>(v)] = palette_.color(palette_.table()[static_cast<std::size_t>(v)]);
  invalidate();
}

// ---- overlays --------------------------------------------------------------------------

void qc_ImgWin::addOrErase_(std::unique_ptr<qc_DrawItem> item) {
  if (mode_ == qcImageConsole::Draw) {
    item->invalidate(this);
    items_.push_back(std::move(item));
    return;
  }
  const auto it = std::find_if(items_.begin(), items_.end(), [&](const auto& p) { return p->sameAs(*item); });
  if (it == items_.end()) return;
  (*it)->invalidate(this);
  items_.erase(it);
}

void qc_ImgWin::drawText(double x, double y, const std::string& text, qcPen pen) {
  addOrErase_(std::make_unique<qc_TextItem>(x, y, text, pen));
}
void qc_ImgWin::drawRect(double x, double y, double width, double height, qcPen pen) {
  addOrErase_(std::make_unique<qc_RectItem>(x, y, x + width, y + height, pen));
}
void qc_ImgWin::drawLine(double x0, double y0, double x1, double y1, qcPen pen) {
  addOrErase_(std::make_unique<qc_LineItem>(x0, y0, x1, y1, pen));
}
void qc_ImgWin::drawCross(double x, double y, long a, long b, qcPen pen) {
  addOrErase_(std::make_unique<qc_CrossItem>(x, y, a, b, pen));
}
void qc_ImgWin::drawEllipse(double x, double y, double rx, double ry, qcPen pen) {
  addOrErase_(std::make_unique<qc_EllipseItem>(x, y, rx, ry, pen));
}

void qc_ImgWin::clearOverlays() {
  for (const auto& item : items_) item->invalidate(this);
  items_.clear();
}

// ---- painting ------------------------------------------------------------------------------

void qc_ImgWin::invalidate(const qcPelRect& r) {
  if (r.isEmpty()) return;
  if (dirty_.isEmpty()) {
    dirty_ = r;
    return;
  }
  const long x0 = std::min(dirty_.x(), r.x()), y0 = std::min(dirty_.y(), r.y());
  const long x1 = std::max(dirty_.x1(), r.x1()), y1 = std::max(dirty_.y1(), r.y1());
  dirty_ = qcPelRect(x0, y0, x1 - x0, y1 - y0);
}

void qc_ImgWin::invalidate() { invalidate(qcPelRect(0, 0, canvas_.width(), canvas_.height())); }

void qc_ImgWin::forceRefresh() {
  invalidate();
  paint();
}
void qc_ImgWin::forceOverlays() { paint(); }

void qc_ImgWin::layout_() {
  const int statusH = statusHeight(fontHeightOf(fontHandle_));
  client_ = {std::max(1, canvas_.width() - scrollBarWidth), std::max(1, canvas_.height() - scrollBarWidth - statusH)};
}

void qc_ImgWin::resized(int width, int height) {
  if (width == canvas_.width() && height == canvas_.height()) return;
  canvas_.resize(width, height);
  layout_();
  invalidate();
}

void qc_ImgWin::paint() {
  if (canvas_.width() == 0 || canvas_.height() == 0) return;
  paintImage_();
  canvas_.clip(qcPelRect(0, 0, client_.x, client_.y));
  for (const auto& item : items_) item->draw(this, canvas_);
  drawSelection(canvas_);
  if (help_) paintHelp_();
  canvas_.unclip();
  paintScrollBars_();
  paintStatus_();
  canvas_.unclip();
  dirty_ = qcPelRect();
  present_();
}

void qc_ImgWin::present_() {
  if (native_) native_->present(canvas_);
}

void qc_ImgWin::paintImage_() {
  const long W = client_.x, H = client_.y;
  canvas_.clip(qcPelRect(0, 0, W, H));
  if (!hasImage()) {
    canvas_.fill(qcPelRect(0, 0, W, H), kBackground);
    return;
  }
  // The pel column of every client column (-1: outside the image), then one
  // pass per row: one lookup per pixel at any zoom.
  thread_local std::vector<long> cols;
  cols.resize(static_cast<std::size_t>(W));
  for (long u = 0; u < W; ++u) {
    const long px = static_cast<long>(std::floor((u - W / 2) / zoom_ + center_.x));
    cols[static_cast<std::size_t>(u)] = px >= 0 && px < imgW_ ? px : -1;
  }
  const bool grey = grey_.isBound();
  for (long v = 0; v < H; ++v) {
    std::uint32_t* dst = canvas_.row(static_cast<int>(v));
    const long py = static_cast<long>(std::floor((v - H / 2) / zoom_ + center_.y));
    if (py < 0 || py >= imgH_) {
      std::fill(dst, dst + W, kBackground);
      continue;
    }
    if (grey) {
      const unsigned char* src = grey_.rowPointer(py);
      for (long u = 0; u < W; ++u) {
        const long px = cols[static_cast<std::size_t>(u)];
        dst[u] = px < 0 ? kBackground : greyRgb_[src[px]];
      }
    } else {
      const qcPackedRGB32Pel* src = color_.rowPointer(py);
      for (long u = 0; u < W; ++u) {
        const long px = cols[static_cast<std::size_t>(u)];
        dst[u] = px < 0 ? kBackground : qc_Canvas::rgb(src[px].r(), src[px].g(), src[px].b());
      }
    }
  }
}

void qc_ImgWin::paintScrollBars_() {
  const long W = client_.x, H = client_.y, S = scrollBarWidth;
  canvas_.fill(qcPelRect(0, H, W, S), kTrough);
  canvas_.fill(qcPelRect(W, 0, S, H), kTrough);
  canvas_.fill(qcPelRect(W, H, S, S), kStatusBack);
  if (!hasImage()) return;
  // The thumb spans the visible part of the image's extent (the extent
  // grows to include what is visible beyond the image).
  auto thumb = [&](double c, long len, long img, auto place) {
    const double half = len / 2.0 / zoom_;
    const double lo = std::min(0.0, c - half), hi = std::max(static_cast<double>(img), c + half);
    const long t0 = std::lround((c - half - lo) / (hi - lo) * len), t1 = std::lround((c + half - lo) / (hi - lo) * len);
    place(t0, std::max(t1 - t0, 4L));
  };
  thumb(center_.x, W, imgW_, [&](long a, long n) { canvas_.fill(qcPelRect(a, H + 3, n, S - 6), kThumb); });
  thumb(center_.y, H, imgH_, [&](long a, long n) { canvas_.fill(qcPelRect(W + 3, a, S - 6, n), kThumb); });
}

void qc_ImgWin::scrollTo_(bool horizontal, long pos) {
  if (!hasImage()) return;
  if (horizontal) center_.x = std::clamp(static_cast<double>(pos) / client_.x, 0.0, 1.0) * imgW_;
  else center_.y = std::clamp(static_cast<double>(pos) / client_.y, 0.0, 1.0) * imgH_;
  invalidate();
}

void qc_ImgWin::paintStatus_() {
  const long top = client_.y + scrollBarWidth, h = canvas_.height() - top;
  canvas_.fill(qcPelRect(0, top, canvas_.width(), h), kStatusBack);
  const std::string gen = statusText();
  const long genW = font_->textWidth(gen);
  const long ty = top + (h - font_->height()) / 2;
  const long right = canvas_.width() - 6 - genW;
  canvas_.clip(qcPelRect(0, top, std::max(0L, right - 8), h));
  canvas_.text(4, ty, status_, kStatusText, *font_);
  canvas_.unclip();
  canvas_.text(right, ty, gen, kStatusText, *font_);
}

void qc_ImgWin::keyHelp(std::vector<std::pair<std::string, std::string>> keys) {
  keyHelp_ = std::move(keys);
  if (help_) invalidate();
}

// Two columns, keys and what they do (the application's keys first, then
// the window's that do something now), the second starting after the widest
// key.
void qc_ImgWin::paintHelp_() {
  std::vector<std::pair<std::string, std::string>> rows = keyHelp_;
  for (const auto& k : kHelp)
    if (k.when == HelpWhen::always || (k.when == HelpWhen::selecting && (selEnabled_ || waiting_)) ||
        (k.when == HelpWhen::waiting && waiting_))
      rows.emplace_back(k.keys, k.what);
  const long lineH = font_->height() + 2, gap = 2 * font_->height();
  long keyW = 0, whatW = 0;
  for (const auto& [keys, what] : rows) {
    keyW = std::max<long>(keyW, font_->textWidth(keys));
    whatW = std::max<long>(whatW, font_->textWidth(what));
  }
  const long n = static_cast<long>(rows.size()), w = keyW + gap + whatW;
  canvas_.fill(qcPelRect(8, 8, w + 16, n * lineH + 12), kStatusBack);
  canvas_.rectOutline(8, 8, w + 24, n * lineH + 20, kStatusText);
  for (long i = 0; i < n; ++i) {
    const auto& [keys, what] = rows[static_cast<std::size_t>(i)];
    canvas_.text(16, 14 + i * lineH, keys, kStatusText, *font_);
    canvas_.text(16 + keyW + gap, 14 + i * lineH, what, kStatusText, *font_);
  }
}

// ---- status line ----------------------------------------------------------------------------

void qc_ImgWin::statusLine(const std::string& text) {
  status_ = text;
  invalidate(qcPelRect(0, client_.y + scrollBarWidth, canvas_.width(), canvas_.height()));
}

void qc_ImgWin::cursor(long u, long v) {
  cursorU_ = u;
  cursorV_ = v;
  cursorIn_ = u >= 0 && v >= 0 && u < client_.x && v < client_.y;
}

std::string qc_ImgWin::statusText() const {
  if (!hasImage()) return {};
  std::string z;
  if (zoom_ >= 1) {
    const int n = static_cast<int>(zoom_);
    z = format(n >= 10 ? "%dx" : "  %dx", n);
  } else {
    const int n = static_cast<int>(std::lround(1.0 / zoom_));
    z = format(n >= 10 ? "1/%dx" : "  1/%dx", n);
  }
  std::string c = " ";
  if (selActive_ && selRect_) {
    c = format("W:%4d  H:%4d", static_cast<int>(std::lround(std::fabs(selEnd_.x - selStart_.x))),
               static_cast<int>(std::lround(std::fabs(selEnd_.y - selStart_.y))));
  } else if (cursorIn_) {
    const qcPair<double> p = clientToImage(static_cast<double>(cursorU_), static_cast<double>(cursorV_));
    const long px = static_cast<long>(std::floor(p.x)) - offset_.x, py = static_cast<long>(std::floor(p.y)) - offset_.y;
    const bool inside = px >= 0 && py >= 0 && px < imgW_ && py < imgH_;
    if (pelDisplay_ && inside && grey_.isBound()) {
      c = format("X:%5.1f Y:%5.1f Z:%3d", p.x, p.y, static_cast<int>(grey_.rowPointer(py)[px]));
    } else if (pelDisplay_ && inside) {
      const qcPackedRGB32Pel q = color_.rowPointer(py)[px];
      c = format("X:%5.1f Y:%5.1f RGB:%3d,%3d,%3d", p.x, p.y, q.r(), q.g(), q.b());
    } else {
      c = format(" X:%5.1f  Y:%5.1f ", p.x, p.y);
    }
  }
  return z + "  " + c;
}

// ---- selection ----------------------------------------------------------------------------

void qc_ImgWin::selectionPress(long u, long v) {
  if (!selEnabled_ || !hasImage()) return;
  clearSelection();
  selActive_ = selShown_ = true;
  selRect_ = false;
  selPress_ = {u, v};
  selStart_ = selEnd_ = clientToImage(static_cast<double>(u), static_cast<double>(v));
  invalidateSelection();
}

void qc_ImgWin::selectionMove(long u, long v) {
  if (!selActive_) return;
  if (std::labs(u - selPress_.x) >= kDragPixels || std::labs(v - selPress_.y) >= kDragPixels) selRect_ = true;
  if (selRect_) selEnd_ = clientToImage(static_cast<double>(u), static_cast<double>(v));
  invalidateSelection();
}

void qc_ImgWin::selectionRelease(long u, long v) {
  if (!selActive_) return;
  selectionMove(u, v);
  selActive_ = false;
  invalidateSelection();
}

void qc_ImgWin::clearSelection() {
  if (selShown_) invalidateSelection();
  selActive_ = selShown_ = selRect_ = false;
}

void qc_ImgWin::invalidateSelection() {
  invalidate(qcPelRect(0, 0, client_.x, client_.y));
  invalidate(qcPelRect(0, client_.y + scrollBarWidth, canvas_.width(), canvas_.height()));
}

void qc_ImgWin::drawSelection(qc_Canvas& canvas) const {
  if (!selShown_) return;
  const std::uint32_t c = penColor(selPen_);
  const qcPair<long> a = imageToClient(selStart_.x, selStart_.y);
  if (!selRect_) {
    canvas.line(a.x - 6, a.y, a.x + 6, a.y, c);
    canvas.line(a.x, a.y - 6, a.x, a.y + 6, c);
    return;
  }
  const qcPair<long> b = imageToClient(selEnd_.x, selEnd_.y);
  canvas.rectOutline(a.x, a.y, b.x, b.y, c);
}

namespace {
// Saves the selection pen, the selection setting and the Close permission,
// sets them for an interaction, and puts them back (also when it throws).
class SelectionScope {
public:
  SelectionScope(qc_ImgWin& w, qcPen pen)
      : w_(w), pen_(w.defaultSelectionColor()), enabled_(w.defaultSelectionsEnabled()), close_(w.closeEnabled()) {
    w.clearSelection();
    w.defaultSelectionColor(pen);
    w.defaultSelectionsEnabled(1);
    w.closeEnabled(false);
  }
  ~SelectionScope() {
    w_.clearSelection();
    w_.defaultSelectionColor(pen_);
    w_.defaultSelectionsEnabled(enabled_);
    w_.closeEnabled(close_);
    w_.paint();
  }

private:
  qc_ImgWin& w_;
  qcPen pen_;
  int enabled_;
  bool close_;
};
}  // namespace

qcPair<double> qc_ImgWin::selectPoint(qcPen pen) {
  SelectionScope scope(*this, pen);
  for (;;) {
    waitForUser();
    if (selShown_ && !selActive_ && !selRect_) return selStart_;
    clearSelection();
  }
}

qcPelRect qc_ImgWin::selectArea(qcPen pen) {
  SelectionScope scope(*this, pen);
  for (;;) {
    waitForUser();
    if (selShown_ && !selActive_ && selRect_) break;
    clearSelection();
  }
  auto round = [](double v) { return static_cast<long>(std::trunc(v + 0.5)); };
  const long x0 = round(selStart_.x), y0 = round(selStart_.y), x1 = round(selEnd_.x), y1 = round(selEnd_.y);
  return qcPelRect(std::min(x0, x1), std::min(y0, y1), std::labs(x1 - x0), std::labs(y1 - y0));
}

void qc_ImgWin::waitForUser() {
  waiting_ = true;
  answer_ = Answer::none;
  while (answer_ == Answer::none && !closed_ && native_) qc_ImgWinNative::pump(0.05);
  waiting_ = false;
  const bool cancelled = answer_ != Answer::ack;
  answer_ = Answer::none;
  if (cancelled) throw qcImageConsole::UserCancelled();
}

// ---- keys and events ----------------------------------------------------------------------

bool qc_ImgWin::key(unsigned long k) {
  const double step = 64.0 / (zoom_ > 0 ? zoom_ : 1.0);
  switch (k) {
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
      if (!waiting_) return false;
      acknowledge();
      return true;
    case SDLK_ESCAPE:
      if (!waiting_) return false;
      cancel();
      return true;
    case SDLK_PLUS:
    case SDLK_EQUALS:
    case SDLK_KP_PLUS: zoom(zoom_ * 2); return true;
    case SDLK_MINUS:
    case SDLK_KP_MINUS: zoom(zoom_ / 2); return true;
    case SDLK_LEFT: center({center_.x - step, center_.y}); return true;
    case SDLK_RIGHT: center({center_.x + step, center_.y}); return true;
    case SDLK_UP: center({center_.x, center_.y - step}); return true;
    case SDLK_DOWN: center({center_.x, center_.y + step}); return true;
    case SDLK_f:
    case SDLK_HOME: viewEntire(); return true;
    case SDLK_h:
    case SDLK_F1:
      help_ = !help_;
      invalidate();
      return true;
    default: return false;
  }
}

bool qc_ImgWin::processEvents(double waitSeconds) {
  qc_ImgWinNative::pump(std::clamp(waitSeconds, 0.0, 10.0));
  return !closed_;
}

// ---- the frame --------------------------------------------------------------------------------

void qc_ImgWin::font(unsigned long f) {
  fontHandle_ = f;
  font_ = std::make_unique<qc_Font>(fontHeightOf(f));
  layout_();
  forceRefresh();
}

void qc_ImgWin::title(const std::string& t) {
  title_ = t;
  native_->title(t);
}

qcPelRect qc_ImgWin::windowRect() const { return native_->rect(); }
void qc_ImgWin::windowRect(const qcPelRect& r) { native_->rect(r); }
int qc_ImgWin::minimize() const { return native_->minimized(); }
void qc_ImgWin::minimize(int on) { native_->minimize(on != 0); }
int qc_ImgWin::maximize() const { return native_->maximized(); }
void qc_ImgWin::maximize(int on) { native_->maximize(on != 0); }
int qc_ImgWin::hide() const { return native_->hidden(); }
void qc_ImgWin::hide(int on) { native_->hide(on != 0); }
void qc_ImgWin::bringToTop() { native_->raise(); }
unsigned long qc_ImgWin::frameWindowRep() const { return native_->nativeHandle(); }
