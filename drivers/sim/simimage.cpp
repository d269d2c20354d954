// Test images and the pel pipeline of the simulated frame grabber.
#include "simimage.h"

#include <algorithm>
#include <cmath>
#include <cstring>

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

namespace {

struct Rgb {
  unsigned char r, g, b;
};

// The colour scene at (x, y) of a w x h frame.
Rgb colorScene(long x, long y, long w, long h) {
  const unsigned r = static_cast<unsigned>(255 * x / std::max(1L, w - 1));
  const unsigned g = static_cast<unsigned>(255 * y / std::max(1L, h - 1));
  return {static_cast<unsigned char>(r), static_cast<unsigned char>(g), static_cast<unsigned char>(255 - r)};
}

unsigned char luma(Rgb c) { return static_cast<unsigned char>((77u * c.r + 150u * c.g + 29u * c.b) >> 8); }

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

Sample scene(const RenderSpec& s, long x, long y) {
  const Pattern& p = s.pattern;
  auto grey = [](long v) {
    const auto u = static_cast<unsigned char>(std::clamp(v, 0L, 255L));
    return Sample{{u, u, u}, false};
  };
  switch (p.type) {
    case Pattern::gradient:
      return grey(static_cast<long>((static_cast<unsigned long>(x + y) + s.frameNumber) % 256));
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

// Per-tap tables from an 8-bit scene value to the output value.
struct Tables {
  unsigned char t8[4][256];
  unsigned short t16[4][256];
};

void buildTables(const RenderSpec& s, PelKind kind, Tables& t) {
  const int shift = kind == PelKind::grey10 ? 6 : kind == PelKind::grey12 ? 4 : 0;
  for (long tap = 0; tap < std::min(4L, s.numTaps); ++tap) {
    for (int v = 0; v < 256; ++v) {
      const double f = contrastBrightness(v / 255.0 * s.exposureScale, s.contrast[tap], s.brightness[tap]);
      const auto b = static_cast<unsigned char>(std::lround(f * 255.0));
      t.t8[tap][v] = s.lut[tap][b];
      t.t16[tap][v] = static_cast<unsigned short>(std::lround(f * 65535.0) >> shift);
    }
  }
}

}  // namespace

void render(PelKind kind, const RenderSpec& s, unsigned char* dst, long rowBytes) {
  Tables t;
  buildTables(s, kind, t);
  const qcPair<long> out = outputSize(s.roi, s.sampleX, s.sampleY);
  const long rows = s.incomplete ? out.y / 2 : out.y;
  for (long r = 0; r < storageRows(kind, out.y); ++r) std::memset(dst + r * rowBytes, 0, static_cast<std::size_t>(rowBytes));
  const long taps = std::clamp(s.numTaps, 1L, 4L);
  for (long oy = 0; oy < rows; ++oy) {
    const long y = s.roi.y() + oy * s.sampleY;
    const long tap = y % taps;
    unsigned char* row = dst + oy * rowBytes;
    for (long ox = 0; ox < out.x; ++ox) {
      const long x = s.roi.x() + ox * s.sampleX;
      Sample sm = scene(s, x, y);
      if (sm.isColor && kind != PelKind::rgb16 && kind != PelKind::rgb32 && kind != PelKind::plane3) {
        const unsigned char l = s.component == 0 ? sm.c.r : s.component == 1 ? sm.c.g : s.component == 2 ? sm.c.b : luma(sm.c);
        sm.c = {l, l, l};
      }
      const unsigned char r8 = t.t8[tap][sm.c.r], g8 = t.t8[tap][sm.c.g], b8 = t.t8[tap][sm.c.b];
      switch (kind) {
        case PelKind::grey8:
        case PelKind::raw8:
          row[ox] = r8;
          break;
        case PelKind::grey16:
        case PelKind::grey10:
        case PelKind::grey12: {
          const unsigned short v = t.t16[tap][sm.c.r];
          std::memcpy(row + 2 * ox, &v, 2);
          break;
        }
        case PelKind::rgb16: {
          const qcPackedRGB16Pel p(r8, g8, b8);
          std::memcpy(row + 2 * ox, &p, 2);
          break;
        }
        case PelKind::rgb32: {
          const qcPackedRGB32Pel p(r8, g8, b8, 0);
          std::memcpy(row + 4 * ox, &p, 4);
          break;
        }
        case PelKind::plane3:
          row[ox] = r8;
          row[out.y * rowBytes + ox] = g8;
          row[2 * out.y * rowBytes + ox] = b8;
          break;
      }
    }
  }
}

}  // namespace qrn_sim
