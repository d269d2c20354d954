// The simulator's renderer against a pel-by-pel rendering of the documented
// test images: every pattern and pel kind, regions of interest, sampling,
// taps with their own tables, and frame after frame through one generator
// (whose row templates must follow every change but the frame number).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include <qrn/foundation/pelbuffer.h>

#include "simimage.h"

using namespace qrn_sim;

namespace {

// The documented scene value at (x, y) of frame n, as an RGB triple; grey
// patterns give equal components, `color` tells a colour scene.
Rgb documentedScene(const Pattern& p, long x, long y, unsigned long n, long w, long h, bool& color) {
  color = false;
  auto grey = [](long v) {
    const auto u = static_cast<unsigned char>(std::clamp(v, 0L, 255L));
    return Rgb{u, u, u};
  };
  const Rgb c = colorScene(x, y, w, h);
  const int cell = static_cast<int>((y & 1) * 2 + (x & 1));
  switch (p.type) {
    case Pattern::gradient: return grey(static_cast<long>((x + y + n) % 256));
    case Pattern::checkerboard: return grey(((x / p.checkerSize + y / p.checkerSize) % 2 == 0) ? 255 : 0);
    case Pattern::color: color = true; return c;
    case Pattern::twotap: {
      const double b = 20 + 200 * x / std::max(1L, w - 1);
      return grey(std::lround((y & 1) ? b * p.tapGain + p.tapOffset : b));
    }
    case Pattern::flat: return grey(p.flatValue);
    default: {
      static const char* const cells[] = {"RGGB", "GRBG", "GBRG", "BGGR"};
      const char k = cells[p.type - Pattern::bayerRG][cell];
      return grey(k == 'R' ? c.r : k == 'G' ? c.g : c.b);
    }
  }
}

// Pel by pel, as documented in <qrn/drivers/sim.h>.
std::vector<unsigned char> slowRender(PelKind kind, const RenderSpec& s, long rowBytes) {
  const qcPair<long> out = outputSize(s.roi, s.sampleX, s.sampleY);
  std::vector<unsigned char> img(static_cast<std::size_t>(storageRows(kind, out.y) * rowBytes), 0);
  const int shift = kind == PelKind::grey10 ? 6 : kind == PelKind::grey12 ? 4 : 0;
  for (long oy = 0; oy < (s.incomplete ? out.y / 2 : out.y); ++oy)
    for (long ox = 0; ox < out.x; ++ox) {
      const long x = s.roi.x() + ox * s.sampleX, y = s.roi.y() + oy * s.sampleY, tap = y % s.numTaps;
      bool color = false;
      Rgb c = documentedScene(s.pattern, x, y, s.frameNumber, s.frameWidth, s.frameHeight, color);
      if (color && kind != PelKind::rgb16 && kind != PelKind::rgb32 && kind != PelKind::plane3) {
        const int k = s.component;
        const unsigned char l = k == 0 ? c.r : k == 1 ? c.g : k == 2 ? c.b : luma(c);
        c = {l, l, l};
      }
      auto f = [&](unsigned char v) {  // the input window [n, n + width] stretched over 0..1
        const double n = 254.0 * s.contrast[tap] * (1.0 - s.brightness[tap]) / 255.0;
        const double width = 1.0 - 254.0 * s.contrast[tap] / 255.0;
        return std::clamp((v / 255.0 * s.exposureScale - n) / width, 0.0, 1.0);
      };
      auto v8 = [&](unsigned char v) { return s.lut[tap][std::lround(f(v) * 255.0)]; };
      unsigned char* row = img.data() + oy * rowBytes;
      switch (kind) {
        case PelKind::grey8:
        case PelKind::raw8: row[ox] = v8(c.r); break;
        case PelKind::grey16:
        case PelKind::grey10:
        case PelKind::grey12: {
          const auto v = static_cast<unsigned short>(std::lround(f(c.r) * 65535.0) >> shift);
          std::memcpy(row + 2 * ox, &v, 2);
          break;
        }
        case PelKind::rgb16: {
          const qcPackedRGB16Pel p(v8(c.r), v8(c.g), v8(c.b));
          std::memcpy(row + 2 * ox, &p, 2);
          break;
        }
        case PelKind::rgb32: {
          const qcPackedRGB32Pel p(v8(c.r), v8(c.g), v8(c.b), 0);
          std::memcpy(row + 4 * ox, &p, 4);
          break;
        }
        case PelKind::plane3:
          row[ox] = v8(c.r);
          row[out.y * rowBytes + ox] = v8(c.g);
          row[2 * out.y * rowBytes + ox] = v8(c.b);
          break;
      }
    }
  return img;
}

struct Settings {
  double contrast[4] = {0.5, 0.5, 0.5, 0.5};
  double brightness[4] = {0.5, 0.5, 0.5, 0.5};
  unsigned char lut[4][256];
  Settings() {
    for (int t = 0; t < 4; ++t)
      for (int v = 0; v < 256; ++v) lut[t][v] = static_cast<unsigned char>(t == 1 ? 255 - v : v);
  }
};

}  // namespace

TEST(SimImage, TemplateRenderingEqualsPelByPelRendering) {
  const PelKind kinds[] = {PelKind::grey8, PelKind::raw8, PelKind::grey16, PelKind::grey10,
                           PelKind::grey12, PelKind::rgb16, PelKind::rgb32, PelKind::plane3};
  const Pattern::Type types[] = {Pattern::gradient, Pattern::checkerboard, Pattern::color, Pattern::bayerRG,
                                 Pattern::bayerGR,  Pattern::bayerGB,      Pattern::bayerBG, Pattern::twotap,
                                 Pattern::flat};
  struct Geometry {
    qcPelRect roi;
    long sx, sy, taps;
  } geometries[] = {{qcPelRect(0, 0, 40, 30), 1, 1, 1},
                    {qcPelRect(3, 5, 33, 21), 2, 1, 2},
                    {qcPelRect(7, 1, 29, 27), 4, 2, 3},
                    {qcPelRect(1, 2, 38, 25), 1, 4, 4}};
  Settings set;
  set.contrast[2] = 0.8;
  set.brightness[3] = 0.3;
  for (PelKind kind : kinds)
    for (Pattern::Type type : types)
      for (const Geometry& g : geometries) {
        ImageGenerator gen;  // kept over the frames and the changes below
        RenderSpec s;
        s.pattern.type = type;
        s.pattern.checkerSize = 3;
        s.frameWidth = 40;
        s.frameHeight = 30;
        s.roi = g.roi;
        s.sampleX = g.sx;
        s.sampleY = g.sy;
        s.numTaps = g.taps;
        s.component = kind == PelKind::raw8 ? static_cast<int>(g.taps % 3) : -1;  // one colour of a channel
        s.contrast = set.contrast;
        s.brightness = set.brightness;
        s.lut = set.lut;
        const qcPair<long> out = outputSize(s.roi, s.sampleX, s.sampleY);
        const long rowBytes = out.x * static_cast<long>(pelBytes(kind)) + 3;  // with slack
        for (unsigned long frame = 0; frame < 5; ++frame) {
          s.frameNumber = frame * 97;
          s.exposureScale = frame == 3 ? 1.7 : 1.0;  // a change in the middle, then back
          s.incomplete = frame == 4;
          std::vector<unsigned char> got(static_cast<std::size_t>(storageRows(kind, out.y) * rowBytes), 0xEE);
          gen.render(kind, s, got.data(), rowBytes);
          ASSERT_EQ(got, slowRender(kind, s, rowBytes))
              << "kind " << static_cast<int>(kind) << " pattern " << type << " roi " << g.roi.x() << ","
              << g.roi.y() << " sampling " << g.sx << "x" << g.sy << " taps " << g.taps << " frame " << frame;
        }
      }
}

TEST(SimImage, LaterFramesReuseTheTemplatesWhileOnlyTheFrameNumberChanges) {
  Settings set;
  RenderSpec s;
  s.frameWidth = 256;
  s.frameHeight = 64;
  s.roi = qcPelRect(0, 0, 256, 64);
  s.numTaps = 2;
  s.contrast = set.contrast;
  s.brightness = set.brightness;
  s.lut = set.lut;
  std::vector<unsigned char> img(256 * 64);
  ImageGenerator gen;
  gen.render(PelKind::grey8, s, img.data(), 256);
  const std::size_t first = gen.cachedBytes();
  EXPECT_GT(first, 0u);
  EXPECT_LE(first, 2u * (256 + 256));  // one template per tap, not one per row
  s.frameNumber = 1;
  gen.render(PelKind::grey8, s, img.data(), 256);
  EXPECT_EQ(gen.cachedBytes(), first);
}
