// qcImageConsole: the application's handle on an image window; checks its
// state and forwards to qc_ImgWin.
#include <qrn/acq/console/imgwin.h>
#include <qrn/foundation/misc.h>

QC_REGISTER_PERSISTENT(qcImageConsole::UserCancelled);
QC_REGISTER_PERSISTENT(qcImageConsole::CantCreateWindow);
QC_REGISTER_PERSISTENT(qcImageConsole::BadColorMap);

const qcPen qcPen::sBlack(0), qcPen::sWhite(1), qcPen::sDkGray(2), qcPen::sGray(3), qcPen::sLtGray(4),
    qcPen::sRed(5), qcPen::sOrange(6), qcPen::sYellow(7), qcPen::sDkGreen(8), qcPen::sGreen(9), qcPen::sCyan(10),
    qcPen::sBlue(11), qcPen::sPurple(12), qcPen::sMagenta(13);

bool qcImageConsoleCallback::keyDown(qcImageConsole&, unsigned long) { return false; }

qcImageConsole::qcImageConsole(const std::string& title, int flags)
    : qcImageConsole(title, NoValue, NoValue, NoValue, NoValue, flags) {}

qcImageConsole::qcImageConsole(const std::string& title, int x, int y, int width, int height, int flags)
    : title_(std::make_unique<std::string>(title)), pos_(x, y), size_(width, height), flags_(flags),
      font_(qcDevEnv::defaultFont()) {
  if (!(flags & DeferCreate)) win_();
}

qcImageConsole::~qcImageConsole() {
  if (window_) {
    window_->release();
    delete window_;
  }
}

qc_ImgWin& qcImageConsole::win_() {
  if (!window_) {
    window_ = new qc_ImgWin(this, *title_, size_.x, size_.y, pos_.x, pos_.y, flags_, font_);
    title_.reset();
  }
  return *window_;
}

// Every forwarding call: the window exists (made now if needed), is not
// released, and is used from its own thread.
qc_ImgWin& qcImageConsole::imgWin_() {
  qstd_assert(!released_);
  qc_ImgWin& w = win_();
  qstd_assert(w.owner() == qfGetCurrentThreadID());
  return w;
}

void qcImageConsole::release() {
  imgWin_().release();
  released_ = true;
}

qcPelRect qcImageConsole::adjustWindowRect(const qcPelRect& client, int /*flags*/) {
  const long extraH = qc_ImgWin::scrollBarWidth + qc_ImgWin::statusHeight(qc_ImgWin::defaultFontHeight);
  return qcPelRect(client.x(), client.y(), client.width() + qc_ImgWin::scrollBarWidth, client.height() + extraH);
}

// ---- image ---------------------------------------------------------------------------

qcImageConsole& qcImageConsole::operator<<(const qcPelBuffer_const<unsigned char>& image) {
  showImage(image, 0, 255);
  return *this;
}

void qcImageConsole::showImage(const qcPelBuffer_const<unsigned char>& image, unsigned char low, unsigned char high) {
  qstd_assert(low <= high);
  if (high < low) low = high = 0;
  imgWin_().showImage(image, low, high);
}

void qcImageConsole::showImage(const qcPelBuffer_const<unsigned char>& image, qcPair<double> center, double zoom,
                               unsigned char low, unsigned char high) {
  qstd_assert(low <= high);
  if (high < low) low = high = 0;
  imgWin_().showImage(image, center, zoom, low, high);
}

void qcImageConsole::showImage(const qcPelBuffer_const<qcPackedRGB32Pel>& image) { imgWin_().showImage(image); }
void qcImageConsole::discardImage() { imgWin_().discardImage(); }
bool qcImageConsole::hasImage() { return imgWin_().hasImage(); }
void qcImageConsole::forceRefresh() { imgWin_().forceRefresh(); }
void qcImageConsole::forceOverlays() { imgWin_().forceOverlays(); }
void qcImageConsole::viewEntire() { imgWin_().viewEntire(); }
void qcImageConsole::colorMap(const std::vector<MapPair>& map) { imgWin_().colorMap(map); }

// ---- overlays ---------------------------------------------------------------------------

void qcImageConsole::drawText(double x, double y, const std::string& text, qcPen pen) { imgWin_().drawText(x, y, text, pen); }
void qcImageConsole::drawRect(double x, double y, double width, double height, qcPen pen) {
  imgWin_().drawRect(x, y, width, height, pen);
}
void qcImageConsole::drawLine(double x0, double y0, double x1, double y1, qcPen pen) {
  imgWin_().drawLine(x0, y0, x1, y1, pen);
}
void qcImageConsole::drawCross(double x, double y, long a, long b, qcPen pen) { imgWin_().drawCross(x, y, a, b, pen); }
void qcImageConsole::drawEllipse(double x, double y, double rx, double ry, qcPen pen) {
  imgWin_().drawEllipse(x, y, rx, ry, pen);
}
void qcImageConsole::drawingMode(DrawingMode mode) { imgWin_().drawingMode(mode); }
qcImageConsole::DrawingMode qcImageConsole::drawingMode() { return imgWin_().drawingMode(); }
void qcImageConsole::clearOverlays() { imgWin_().clearOverlays(); }

// ---- interaction ---------------------------------------------------------------------------

namespace {
// Runs an interaction with the prompt on the status line, putting the earlier
// text back however it ends.  Nothing is asked of a hidden or empty window.
template <class F>
auto interact(qc_ImgWin& w, const char* prompt, F run) {
  if (w.hide() || !w.hasImage()) throw qcImageConsole::UserCancelled();
  const std::string saved = w.statusLine();
  if (prompt) w.statusLine(prompt);
  struct Restore {
    qc_ImgWin& w;
    const std::string& text;
    ~Restore() {
      w.statusLine(text);
      w.paint();
    }
  } restore{w, saved};
  return run();
}
}  // namespace

qcPair<double> qcImageConsole::selectPoint(const char* prompt, qcPen pen) {
  qc_ImgWin& w = imgWin_();
  return interact(w, prompt, [&] { return w.selectPoint(pen); });
}

qcPelRect qcImageConsole::selectArea(const char* prompt, qcPen pen) {
  qc_ImgWin& w = imgWin_();
  return interact(w, prompt, [&] { return w.selectArea(pen); });
}

void qcImageConsole::waitForUser(const char* prompt) {
  qc_ImgWin& w = imgWin_();
  interact(w, prompt, [&] { w.waitForUser(); });
}

void qcImageConsole::defaultSelectionColor(qcPen pen) { imgWin_().defaultSelectionColor(pen); }
int qcImageConsole::defaultSelectionsEnabled() { return imgWin_().defaultSelectionsEnabled(); }
void qcImageConsole::defaultSelectionsEnabled(int enabled) { imgWin_().defaultSelectionsEnabled(enabled); }
int qcImageConsole::pelValueDisplayEnabled() { return imgWin_().pelValueDisplay(); }
void qcImageConsole::pelValueDisplayEnabled(int enabled) { imgWin_().pelValueDisplay(enabled); }
bool qcImageConsole::processEvents(double waitSeconds) { return imgWin_().processEvents(waitSeconds); }

// ---- window ------------------------------------------------------------------------------------

void qcImageConsole::statusLine(const std::string& text) { imgWin_().statusLine(text); }
std::string qcImageConsole::statusLine() { return imgWin_().statusLine(); }
void qcImageConsole::font(unsigned long font) {
  font_ = font;
  imgWin_().font(font);
}
unsigned long qcImageConsole::font() { return imgWin_().font(); }
void qcImageConsole::title(const std::string& title) { imgWin_().title(title); }
std::string qcImageConsole::title() { return imgWin_().title(); }
qcPelRect qcImageConsole::windowRect() { return imgWin_().windowRect(); }
void qcImageConsole::windowRect(const qcPelRect& r) { imgWin_().windowRect(r); }
double qcImageConsole::zoom() { return imgWin_().zoom(); }
void qcImageConsole::zoom(double z) { imgWin_().zoom(z); }
qcPair<double> qcImageConsole::center() { return imgWin_().center(); }
void qcImageConsole::keyHelp(const std::vector<std::pair<std::string, std::string>>& keys) { imgWin_().keyHelp(keys); }
void qcImageConsole::center(const qcPair<double>& c) { imgWin_().center(c); }
int qcImageConsole::minimize() { return imgWin_().minimize(); }
void qcImageConsole::minimize(int on) { imgWin_().minimize(on); }
int qcImageConsole::maximize() { return imgWin_().maximize(); }
void qcImageConsole::maximize(int on) { imgWin_().maximize(on); }
int qcImageConsole::hide() { return imgWin_().hide(); }
void qcImageConsole::hide(int on) { imgWin_().hide(on); }
void qcImageConsole::bringToTop() { imgWin_().bringToTop(); }
unsigned long qcImageConsole::getFrameWindowRep() { return imgWin_().frameWindowRep(); }
unsigned long qcImageConsole::getDisplayWindowRep() { return imgWin_().frameWindowRep(); }
qcImageConsoleCallback* qcImageConsole::installGUICallback(qcImageConsoleCallback* cb) {
  return imgWin_().installGUICallback(cb);
}
