// Test images of the simulated frame grabber: patterns, pel pipeline and the
// template renderer (see simimage.h).
#include "simimage.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include <qrn/foundation/pelbuffer.h>

namespace qrn_sim {

std::size_t pelBytes(PelKind k) {
  switch (k) {
    case PelKind::grey16:
    case PelKind::grey10:
    case PelKind::grey12:
    case PelKind::rgb16:
      return 2;
    case PelKind::rgb32:
      return 4;
    default:
      return 1;
  }
}

long storageRows(PelKind k, long height) { return k == PelKind::plane3 ? 3 * height : height; }

bool is16Bit(PelKind k) { return k == PelKind::grey16 || k == PelKind::grey10 || k == PelKind::grey12; }

bool parsePattern(const std::string& name, Pattern::Type& out) {
  static const struct {
    const char* name;
    Pattern::Type type;
  } table[] = {{"gradient", Pattern::gradient}, {"checkerboard", Pattern::checkerboard}, {"color", Pattern::color},
               {"bayerRG", Pattern::bayerRG},   {"bayerGR", Pattern::bayerGR},           {"bayerGB", Pattern::bayerGB},
               {"bayerBG", Pattern::bayerBG},   {"twotap", Pattern::twotap},             {"flat", Pattern::flat}};
  for (const auto& e : table)
    if (name == e.name) {
      out = e.type;
      return true;
    }
  return false;
}

qcPair<long> outputSize(const qcPelRect& roi, long sampleX, long sampleY) {
  return {(roi.width() + sampleX - 1) / sampleX, (roi.height() + sampleY - 1) / sampleY};
}

Rgb colorScene(long x, long y, long w, long h) {
  const unsigned r = static_cast<unsigned>(255 * x / std::max(1L, w - 1));
  const unsigned g = static_cast<unsigned>(255 * y / std::max(1L, h - 1));
  return {static_cast<unsigned char>(r), static_cast<unsigned char>(g), static_cast<unsigned char>(255 - r)};
}

unsigned char luma(Rgb c) { return static_cast<unsigned char>((77u * c.r + 150u * c.g + 29u * c.b) >> 8); }

namespace {

// Component index (0 r, 1 g, 2 b) of a Bayer pattern at (x, y); the pattern
// names its top-left 2 x 2 cell row by row.
int bayerComponent(Pattern::Type t, long x, long y) {
  static const int cells[4][4] = {
      {0, 1, 1, 2},  // RG / GB
      {1, 0, 2, 1},  // GR / BG
      {1, 2, 0, 1},  // GB / RG
      {2, 1, 1, 0},  // BG / GR
  };
  const int which = t == Pattern::bayerRG ? 0 : t == Pattern::bayerGR ? 1 : t == Pattern::bayerGB ? 2 : 3;
  return cells[which][(y & 1) * 2 + (x & 1)];
}

// The test image at (x, y): a grey value, or a colour (isColor).
struct Sample {
  Rgb c;
  bool isColor;
};

Sample scene(const RenderSpec& s, long x, long y, unsigned long frameNumber) {
  const Pattern& p = s.pattern;
  auto grey = [](long v) {
    const auto u = static_cast<unsigned char>(std::clamp(v, 0L, 255L));
    return Sample{{u, u, u}, false};
  };
  switch (p.type) {
    case Pattern::gradient:
      return grey(static_cast<long>((static_cast<unsigned long>(x + y) + frameNumber) % 256));
    case Pattern::checkerboard: {
      const long q = std::max(1L, p.checkerSize);
      return grey(((x / q + y / q) % 2 == 0) ? 255 : 0);
    }
    case Pattern::color:
      return {colorScene(x, y, s.frameWidth, s.frameHeight), true};
    case Pattern::bayerRG:
    case Pattern::bayerGR:
    case Pattern::bayerGB:
    case Pattern::bayerBG: {
      const Rgb c = colorScene(x, y, s.frameWidth, s.frameHeight);
      const int k = bayerComponent(p.type, x, y);
      return grey(k == 0 ? c.r : k == 1 ? c.g : c.b);
    }
    case Pattern::twotap: {
      const double base = 20 + 200 * x / std::max(1L, s.frameWidth - 1);
      const double v = (y & 1) ? base * p.tapGain + p.tapOffset : base;
      return grey(std::lround(v));
    }
    case Pattern::flat:
      return grey(p.flatValue);
  }
  return grey(0);
}

// A tap's contrast c and brightness b select the input window [n, p] that is
// stretched over the output range: p - n = 1 - 254 c / 255 and
// n = 254 c (1 - b) / 255 (values from 0 to 1).  Contrast 0 passes the
// values unchanged.
double contrastBrightness(double v, double c, double b) {
  const double n = 254.0 * c * (1.0 - b) / 255.0;
  const double width = 1.0 - 254.0 * c / 255.0;
  return std::clamp((v - n) / width, 0.0, 1.0);
}

// Per-tap tables from an 8-bit scene value to the output value: exposure,
// contrast/brightness and the input lookup table in one step.
struct Tables {
  unsigned char t8[4][256];
  unsigned short t16[4][256];
};

void buildTables(const RenderSpec& s, PelKind kind, long taps, Tables& t) {
  const int shift = kind == PelKind::grey10 ? 6 : kind == PelKind::grey12 ? 4 : 0;
  for (long tap = 0; tap < taps; ++tap) {
    for (int v = 0; v < 256; ++v) {
      const double f = contrastBrightness(v / 255.0 * s.exposureScale, s.contrast[tap], s.brightness[tap]);
      const auto b = static_cast<unsigned char>(std::lround(f * 255.0));
      t.t8[tap][v] = s.lut[tap][b];
      t.t16[tap][v] = static_cast<unsigned short>(std::lround(f * 65535.0) >> shift);
    }
  }
}

// Row classes per tap: rows of the same tap and class are equal (up to the
// gradient's offset).  The colour scenes have one class per green value
// (and row parity for the mosaics).
constexpr long kClassesPerTap = 512;

// Everything a frame's templates depend on; the frame number is not part of it.
struct Signature {
  PelKind kind = PelKind::grey8;
  Pattern pattern;
  long frameWidth = 0, frameHeight = 0;
  qcPelRect roi;
  long sampleX = 0, sampleY = 0, taps = 0;
  int component = -1;
  Tables tables;

  bool sameAs(const Signature& o) const {
    const Pattern &a = pattern, &b = o.pattern;
    return kind == o.kind && a.type == b.type && a.checkerSize == b.checkerSize && a.flatValue == b.flatValue &&
           a.tapGain == b.tapGain && a.tapOffset == b.tapOffset && frameWidth == o.frameWidth &&
           frameHeight == o.frameHeight && roi == o.roi && sampleX == o.sampleX && sampleY == o.sampleY &&
           taps == o.taps && component == o.component &&
           std::memcmp(tables.t8, o.tables.t8, sizeof(tables.t8[0]) * static_cast<std::size_t>(taps)) == 0 &&
           std::memcmp(tables.t16, o.tables.t16, sizeof(tables.t16[0]) * static_cast<std::size_t>(taps)) == 0;
  }
};

bool isColorKind(PelKind k) { return k == PelKind::rgb16 || k == PelKind::rgb32 || k == PelKind::plane3; }

}  // namespace

struct ImageGenerator::Impl {
  Signature sig;
  bool valid = false;
  long outW = 0;
  std::vector<std::vector<unsigned char>> templates;  // [tap * kClassesPerTap + class]
  std::size_t bytes = 0;

  // Which template a frame row uses, and the pel offset into it.
  void rowSource(const RenderSpec& s, long y, long& cls, long& offset) const {
    offset = 0;
    switch (s.pattern.type) {
      case Pattern::gradient: {
        const long o = static_cast<long>((static_cast<unsigned long>(s.roi.x() + y) + s.frameNumber) % 256);
        cls = o % s.sampleX;
        offset = o / s.sampleX;
        return;
      }
      case Pattern::checkerboard:
        cls = (y / std::max(1L, s.pattern.checkerSize)) % 2;
        return;
      case Pattern::color:
        cls = colorScene(0, y, s.frameWidth, s.frameHeight).g;
        return;
      case Pattern::twotap:
        cls = y & 1;
        return;
      case Pattern::flat:
        cls = 0;
        return;
      default:  // the mosaics
        cls = (y & 1) * 256 + colorScene(0, y, s.frameWidth, s.frameHeight).g;
        return;
    }
  }

  // The template of (tap, class), rendered for frame row y on first use.
  const unsigned char* templ(const RenderSpec& s, long tap, long cls, long y, long& len) {
    const bool gradient = s.pattern.type == Pattern::gradient;
    len = gradient ? outW + 256 / s.sampleX : outW;
    std::vector<unsigned char>& t = templates[static_cast<std::size_t>(tap * kClassesPerTap + cls)];
    if (!t.empty()) return t.data();
    const PelKind kind = sig.kind;
    const std::size_t pb = pelBytes(kind);
    t.resize(static_cast<std::size_t>(len) * pb * (kind == PelKind::plane3 ? 3 : 1));
    bytes += t.size();
    const unsigned char* t8 = sig.tables.t8[tap];
    const unsigned short* t16 = sig.tables.t16[tap];
    const bool color = isColorKind(kind);
    for (long j = 0; j < len; ++j) {
      // The gradient's template starts at value `cls` and steps by the
      // sampling; the others are the row itself.
      Sample sm = gradient ? scene(s, cls + j * s.sampleX, 0, 0) : scene(s, s.roi.x() + j * s.sampleX, y, 0);
      if (sm.isColor && !color) {
        const int k = sig.component;
        const unsigned char l = k == 0 ? sm.c.r : k == 1 ? sm.c.g : k == 2 ? sm.c.b : luma(sm.c);
        sm.c = {l, l, l};
      }
      const unsigned char r8 = t8[sm.c.r], g8 = t8[sm.c.g], b8 = t8[sm.c.b];
      unsigned char* at = t.data() + static_cast<std::size_t>(j) * pb;
      switch (kind) {
        case PelKind::grey8:
        case PelKind::raw8:
          *at = r8;
          break;
        case PelKind::grey16:
        case PelKind::grey10:
        case PelKind::grey12:
          std::memcpy(at, &t16[sm.c.r], 2);
          break;
        case PelKind::rgb16: {
          const qcPackedRGB16Pel p(r8, g8, b8);
          std::memcpy(at, &p, 2);
          break;
        }
        case PelKind::rgb32: {
          const qcPackedRGB32Pel p(r8, g8, b8, 0);
          std::memcpy(at, &p, 4);
          break;
        }
        case PelKind::plane3:
          at[0] = r8;
          at[len] = g8;
          at[2 * len] = b8;
          break;
      }
    }
    return t.data();
  }
};

ImageGenerator::ImageGenerator() : impl_(std::make_unique<Impl>()) {}
ImageGenerator::~ImageGenerator() = default;

std::size_t ImageGenerator::cachedBytes() const { return impl_->bytes; }

void ImageGenerator::render(PelKind kind, const RenderSpec& s, unsigned char* dst, long rowBytes) {
  Impl& g = *impl_;
  const long taps = std::clamp(s.numTaps, 1L, 4L);
  Signature sig;
  sig.kind = kind;
  sig.pattern = s.pattern;
  sig.frameWidth = s.frameWidth;
  sig.frameHeight = s.frameHeight;
  sig.roi = s.roi;
  sig.sampleX = std::max(1L, s.sampleX);
  sig.sampleY = std::max(1L, s.sampleY);
  sig.taps = taps;
  sig.component = s.component;
  buildTables(s, kind, taps, sig.tables);
  const qcPair<long> out = outputSize(s.roi, sig.sampleX, sig.sampleY);
  // Templates are dropped when anything but the frame number changed, and
  // when the colour scenes' many classes have made them large.
  constexpr std::size_t kMaxTemplateBytes = std::size_t{64} << 20;
  if (!g.valid || !g.sig.sameAs(sig) || g.bytes > kMaxTemplateBytes) {
    g.sig = sig;
    g.valid = true;
    g.outW = out.x;
    g.templates.assign(static_cast<std::size_t>(taps * kClassesPerTap), {});
    g.bytes = 0;
  }
  RenderSpec rs = s;
  rs.sampleX = sig.sampleX;
  rs.sampleY = sig.sampleY;
  const std::size_t pb = pelBytes(kind);
  const std::size_t used = static_cast<std::size_t>(out.x) * pb;
  const std::size_t pad = rowBytes > static_cast<long>(used) ? static_cast<std::size_t>(rowBytes) - used : 0;
  const long planes = kind == PelKind::plane3 ? 3 : 1;
  const long rows = s.incomplete ? out.y / 2 : out.y;
  for (long oy = 0; oy < out.y; ++oy) {
    if (oy >= rows) {
      for (long k = 0; k < planes; ++k)
        std::memset(dst + (k * out.y + oy) * rowBytes, 0, static_cast<std::size_t>(rowBytes));
      continue;
    }
    const long y = s.roi.y() + oy * rs.sampleY;
    const long tap = y % taps;
    long cls = 0, offset = 0, len = 0;
    g.rowSource(rs, y, cls, offset);
    const unsigned char* t = g.templ(rs, tap, cls, y, len);
    for (long k = 0; k < planes; ++k) {
      unsigned char* row = dst + (k * out.y + oy) * rowBytes;
      std::memcpy(row, t + (static_cast<std::size_t>(k * len + offset)) * pb, used);
      if (pad) std::memset(row + used, 0, pad);
    }
  }
}

void render(PelKind kind, const RenderSpec& rs, unsigned char* dst, long rowBytes) {
  ImageGenerator g;
  g.render(kind, rs, dst, rowBytes);
}

}  // namespace qrn_sim
