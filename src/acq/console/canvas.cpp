// qc_Canvas: software drawing of the console into 32-bit pixels; qc_Font:
// the DejaVu fonts through SDL2_ttf.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include <SDL.h>
#include <SDL_ttf.h>

#include <qrn/acq/console/imgwin.h>

namespace {

// Coordinates far outside any canvas are pulled in so that sums stay in range.
constexpr long kFar = 1L << 24;
long tame(long v) { return std::clamp(v, -kFar, kFar); }

const char* const kFontFiles[] = {
    "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
    "/usr/share/fonts/dejavu/DejaVuSans.ttf",
    "/usr/local/share/fonts/DejaVuSans.ttf",
};

}  // namespace

// ---- qc_Font ------------------------------------------------------------------

qc_Font::qc_Font(int pixelHeight) {
  // TTF_Init and TTF_Quit are counted: every font holds one start.
  if (TTF_Init() != 0) {
    std::fprintf(stderr, "qrnacq console: cannot start SDL2_ttf: %s\n", TTF_GetError());
    return;
  }
  ttfStarted_ = true;
  for (const char* path : kFontFiles) {
    // SDL2_ttf sizes in points at 72 dpi: points == pixels of the em square.
    font_ = TTF_OpenFont(path, std::max(6, pixelHeight));
    if (font_) return;
  }
  std::fprintf(stderr, "qrnacq console: no DejaVu font found (install fonts-dejavu-core); text is not drawn\n");
}

qc_Font::~qc_Font() {
  if (font_) TTF_CloseFont(static_cast<TTF_Font*>(font_));
  if (ttfStarted_) TTF_Quit();
}

int qc_Font::height() const { return font_ ? TTF_FontHeight(static_cast<TTF_Font*>(font_)) : 0; }

int qc_Font::textWidth(const std::string& text) const {
  int w = 0, h = 0;
  if (!font_ || text.empty() || TTF_SizeUTF8(static_cast<TTF_Font*>(font_), text.c_str(), &w, &h) != 0) return 0;
  return w;
}

// ---- qc_Canvas ------------------------------------------------------------------

void qc_Canvas::resize(int width, int height) {
  w_ = std::max(0, width);
  h_ = std::max(0, height);
  px_.assign(static_cast<std::size_t>(w_) * static_cast<std::size_t>(h_), 0);
  unclip();
}

std::uint32_t qc_Canvas::pixel(long x, long y) const {
  if (x < 0 || y < 0 || x >= w_ || y >= h_) return 0;
  return row(static_cast<int>(y))[x];
}

void qc_Canvas::clip(const qcPelRect& r) {
  const long x0 = std::max(0L, r.x()), y0 = std::max(0L, r.y());
  const long x1 = std::min<long>(w_, r.x1()), y1 = std::min<long>(h_, r.y1());
  clip_ = qcPelRect(x0, y0, std::max(0L, x1 - x0), std::max(0L, y1 - y0));
}

void qc_Canvas::put(long x, long y, std::uint32_t c) {
  if (clip_.contains(x, y)) row(static_cast<int>(y))[x] = c;
}

void qc_Canvas::fill(const qcPelRect& r, std::uint32_t c) {
  const long x0 = std::max(clip_.x(), r.x()), x1 = std::min(clip_.x1(), r.x1());
  const long y0 = std::max(clip_.y(), r.y()), y1 = std::min(clip_.y1(), r.y1());
  for (long y = y0; y < y1; ++y) std::fill(row(static_cast<int>(y)) + x0, row(static_cast<int>(y)) + x1, c);
}

void qc_Canvas::line(long x0, long y0, long x1, long y1, std::uint32_t c) {
  if (clip_.isEmpty()) return;
  // Cut the segment to the clip rectangle (Liang-Barsky), then step it
  // (Bresenham), so that a line far longer than the canvas costs no more
  // than one across it.
  double ax = static_cast<double>(tame(x0)), ay = static_cast<double>(tame(y0));
  const double dx = static_cast<double>(tame(x1)) - ax, dy = static_cast<double>(tame(y1)) - ay;
  double t0 = 0.0, t1 = 1.0;
  const double lo[2] = {static_cast<double>(clip_.x()), static_cast<double>(clip_.y())};
  const double hi[2] = {static_cast<double>(clip_.x1() - 1), static_cast<double>(clip_.y1() - 1)};
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {ax - lo[0], hi[0] - ax, ay - lo[1], hi[1] - ay};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0) {
      if (q[i] < 0) return;
      continue;
    }
    const double t = q[i] / p[i];
    if (p[i] < 0) t0 = std::max(t0, t);
    else t1 = std::min(t1, t);
    if (t0 > t1) return;
  }
  long sx = std::lround(ax + t0 * dx), sy = std::lround(ay + t0 * dy);
  const long ex = std::lround(ax + t1 * dx), ey = std::lround(ay + t1 * dy);
  const long adx = std::labs(ex - sx), ady = -std::labs(ey - sy);
  const long stepx = sx < ex ? 1 : -1, stepy = sy < ey ? 1 : -1;
  long err = adx + ady;
  for (;;) {
    put(sx, sy, c);
    if (sx == ex && sy == ey) break;
    const long e2 = 2 * err;
    if (e2 >= ady) {
      err += ady;
      sx += stepx;
    }
    if (e2 <= adx) {
      err += adx;
      sy += stepy;
    }
  }
}

void qc_Canvas::rectOutline(long x0, long y0, long x1, long y1, std::uint32_t c) {
  line(x0, y0, x1, y0, c);
  line(x1, y0, x1, y1, c);
  line(x1, y1, x0, y1, c);
  line(x0, y1, x0, y0, c);
}

void qc_Canvas::ellipse(long x0, long y0, long x1, long y1, std::uint32_t c) {
  x0 = tame(x0), y0 = tame(y0), x1 = tame(x1), y1 = tame(y1);
  if (x0 > x1) std::swap(x0, x1);
  if (y0 > y1) std::swap(y0, y1);
  const double cx = (x0 + x1) / 2.0, cy = (y0 + y1) / 2.0;
  const double a = (x1 - x0) / 2.0, b = (y1 - y0) / 2.0;
  if (a <= 0 || b <= 0) {
    line(x0, y0, x1, y1, c);
    return;
  }
  // One point per column and one per row on each half: no gaps at any
  // eccentricity; only the columns and rows inside the clip are visited.
  for (long x = std::max(x0, clip_.x()); x <= std::min(x1, clip_.x1() - 1); ++x) {
    const double t = (x - cx) / a;
    const double h = b * std::sqrt(std::max(0.0, 1.0 - t * t));
    put(x, std::lround(cy - h), c);
    put(x, std::lround(cy + h), c);
  }
  for (long y = std::max(y0, clip_.y()); y <= std::min(y1, clip_.y1() - 1); ++y) {
    const double t = (y - cy) / b;
    const double w = a * std::sqrt(std::max(0.0, 1.0 - t * t));
    put(std::lround(cx - w), y, c);
    put(std::lround(cx + w), y, c);
  }
}

void qc_Canvas::text(long x, long y, const std::string& s, std::uint32_t c, const qc_Font& font) {
  if (!font.isOpen() || s.empty() || clip_.isEmpty()) return;
  const SDL_Color col{static_cast<Uint8>(c >> 16), static_cast<Uint8>(c >> 8), static_cast<Uint8>(c), 255};
  SDL_Surface* raw = TTF_RenderUTF8_Blended(static_cast<TTF_Font*>(font.ttf_()), s.c_str(), col);
  if (!raw) return;
  SDL_Surface* img = SDL_ConvertSurfaceFormat(raw, SDL_PIXELFORMAT_ARGB8888, 0);
  SDL_FreeSurface(raw);
  if (!img) return;
  SDL_LockSurface(img);
  x = tame(x), y = tame(y);
  const long ys = std::max(y, clip_.y()), ye = std::min(y + img->h, clip_.y1());
  const long xs = std::max(x, clip_.x()), xe = std::min(x + img->w, clip_.x1());
  for (long yy = ys; yy < ye; ++yy) {
    const auto* src = reinterpret_cast<const std::uint32_t*>(static_cast<const unsigned char*>(img->pixels) +
                                                             (yy - y) * img->pitch);
    std::uint32_t* dst = row(static_cast<int>(yy));
    for (long xx = xs; xx < xe; ++xx) {
      const std::uint32_t s32 = src[xx - x];
      const unsigned a = s32 >> 24;
      if (a == 0) continue;
      const std::uint32_t d = dst[xx];
      auto mix = [a](unsigned sv, unsigned dv) { return (sv * a + dv * (255 - a) + 127) / 255; };
      dst[xx] = rgb(mix((s32 >> 16) & 255, (d >> 16) & 255), mix((s32 >> 8) & 255, (d >> 8) & 255),
                    mix(s32 & 255, d & 255));
    }
  }
  SDL_UnlockSurface(img);
  SDL_FreeSurface(img);
}
