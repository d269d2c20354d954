// The Bayer kernels: the reference against a per-pixel restatement of the
// demosaicing rules, and the accelerated kernels (SSE2 and AVX2) against the
// reference, bit for bit, over random mosaics of many sizes, all phases,
// windows and unaligned rows.
#include <qrn/acq/convert/bayerkernels.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

// An image in a buffer with padding around it: `canary` bytes fill the
// padding so stray writes show up; reads beyond the last row hit the end of
// the vector (ASan).
struct Img {
  std::vector<unsigned char> buf;
  long width = 0, height = 0, elem = 1;
  std::ptrdiff_t stride = 0;
  long offset = 0;
  static constexpr unsigned char kCanary = 0xA5;

  // `lead` bytes before the first pixel (misaligns it), `slack` bytes of
  // padding at the end of every row but the last.
  Img(long w, long h, long elemSize, long lead, long slack) : width(w), height(h), elem(elemSize) {
    stride = w * elemSize + slack;
    offset = lead;
    buf.assign(static_cast<size_t>(lead + stride * (h - 1) + w * elemSize), kCanary);
  }
  unsigned char* data() { return buf.data() + offset; }
  const unsigned char* data() const { return buf.data() + offset; }
  unsigned char* row(long r) { return data() + r * stride; }
  const unsigned char* row(long r) const { return data() + r * stride; }
  template <class T>
  qs_RawPlane<T> plane() {
    return {reinterpret_cast<T*>(data()), stride};
  }
  qs_RawPlaneC8 cplane() const { return {data(), stride}; }

  void randomize(std::mt19937& rng) {
    for (long r = 0; r < height; ++r)
      for (long c = 0; c < width * elem; ++c) row(r)[c] = static_cast<unsigned char>(rng());
  }
  // True when every padding byte still holds the canary.
  bool paddingIntact() const {
    for (long i = 0; i < offset; ++i)
      if (buf[i] != kCanary) return false;
    for (long r = 0; r + 1 < height; ++r)
      for (long c = width * elem; c < stride; ++c)
        if (row(r)[c] != kCanary) return false;
    return true;
  }
  // Pixel bytes equal (padding ignored).
  bool samePixels(const Img& o) const {
    for (long r = 0; r < height; ++r)
      if (std::memcmp(row(r), o.row(r), width * elem) != 0) return false;
    return true;
  }
  std::string firstDiff(const Img& o) const {
    for (long r = 0; r < height; ++r)
      for (long c = 0; c < width * elem; ++c)
        if (row(r)[c] != o.row(r)[c])
          return "row " + std::to_string(r) + " byte " + std::to_string(c) + ": " + std::to_string(row(r)[c]) +
                 " vs " + std::to_string(o.row(r)[c]);
    return "none";
  }
};

qs_BayerMosaic mosaicOf(const Img& img, int px, int py) {
  return {img.data(), img.stride, img.width, img.height, px, py};
}

// ---- the demosaicing rules, pixel by pixel ------------------------------------------
int avg(int a, int b) { return (a + b + 1) >> 1; }

enum Colour { kRed = 0, kGreen = 1, kBlue = 2 };

struct Rules {
  const Img& s;
  int px, py;
  const unsigned char* const* luts;
  int at(long r, long c) const { return s.row(r)[c]; }
  Colour colourAt(long r, long c) const {
    const long y = r + py, x = c + px;
    if (y % 2 == 0) return x % 2 == 0 ? kGreen : kRed;
    return x % 2 == 0 ? kBlue : kGreen;
  }
  // Step 1 and 2: colour k of the horizontal split of row r (k is green or
  // the row's own other colour).
  int split(long r, long c, Colour k) const {
    int v;
    if (colourAt(r, c) == k)
      v = at(r, c);
    else if (c == 0)
      v = at(r, 1);
    else if (c == s.width - 1)
      v = at(r, s.width - 2);
    else
      v = avg(at(r, c - 1), at(r, c + 1));
    return luts ? luts[k][v] : v;
  }
  bool carries(long r, Colour k) const { return k == kGreen || (((r + py) % 2 == 0) == (k == kRed)); }
  int out(long r, long c, Colour k) const {
    const long H = s.height;
    if (k == kGreen) {
      if (r == 0) return split(py == 0 ? 0 : 1, c, kGreen);
      if (r == H - 1) return split(H - 1, c, kGreen);
      return avg(avg(split(r - 1, c, kGreen), split(r + 1, c, kGreen)), split(r, c, kGreen));
    }
    if (carries(r, k)) return split(r, c, k);
    if (r == 0) return split(1, c, k);
    if (r == H - 1) return split(H - 2, c, k);
    return avg(split(r - 1, c, k), split(r + 1, c, k));
  }
};

struct Shape {
  long w, h;
};

std::vector<Shape> shapes() {
  std::vector<Shape> v;
  // Odd multiples of 2, and widths just around 8, 16, 24, 32, 64.
  for (long w : {2L, 4L, 6L, 10L, 14L, 16L, 18L, 22L, 24L, 26L, 30L, 32L, 34L, 38L, 46L, 48L, 50L, 62L, 64L, 66L,
                 98L, 126L, 130L, 254L})
    for (long h : {2L, 4L, 6L, 10L}) v.push_back({w, h});
  v.push_back({640, 14});
  v.push_back({2, 34});
  return v;
}

const qe_SimdLevel kLevels[] = {qe_SimdSSE2, qe_SimdAVX2, qe_SimdAVX512};

const char* levelName(qe_SimdLevel l) {
  return l == qe_SimdAVX512 ? "AVX-512" : l == qe_SimdAVX2 ? "AVX2" : l == qe_SimdSSE2 ? "SSE2" : "none";
}

}  // namespace

TEST(BayerKernels, ReferenceFollowsTheDemosaicRules) {
  std::mt19937 rng(7);
  unsigned char tables[3][256];
  qf_bayerWhiteBalanceTable(1.7, tables[0]);
  qf_bayerWhiteBalanceTable(1.0, tables[1]);
  qf_bayerWhiteBalanceTable(0.6, tables[2]);
  const unsigned char* luts[3] = {tables[0], tables[1], tables[2]};
  for (Shape sh : {Shape{2, 2}, Shape{4, 2}, Shape{2, 4}, Shape{6, 6}, Shape{10, 8}, Shape{34, 6}}) {
    Img src(sh.w, sh.h, 1, 0, 0);
    src.randomize(rng);
    for (int phase = 0; phase < 4; ++phase) {
      const int px = phase & 1, py = phase >> 1;
      for (bool wb : {false, true}) {
        SCOPED_TRACE(std::to_string(sh.w) + "x" + std::to_string(sh.h) + " phase " + std::to_string(phase) +
                     (wb ? " balanced" : ""));
        Img r(sh.w, sh.h, 1, 0, 0), g(sh.w, sh.h, 1, 0, 0), b(sh.w, sh.h, 1, 0, 0);
        Img p32(sh.w, sh.h, 4, 0, 0), p16(sh.w, sh.h, 2, 0, 0), grey(sh.w, sh.h, 1, 0, 0);
        const qs_BayerMosaic m = mosaicOf(src, px, py);
        qf_bayerRefPlanes(m, wb ? luts : nullptr, r.plane<unsigned char>(), g.plane<unsigned char>(),
                          b.plane<unsigned char>());
        qf_bayerRefRGB32(m, wb ? luts : nullptr, p32.plane<std::uint32_t>());
        qf_bayerRefRGB16(m, wb ? luts : nullptr, p16.plane<std::uint16_t>());
        const qs_GreyWeights w{77, 150, 29};
        qf_bayerRefGrey(m, w, grey.plane<unsigned char>());
        const Rules rules{src, px, py, wb ? luts : nullptr};
        const Rules plain{src, px, py, nullptr};
        for (long y = 0; y < sh.h; ++y)
          for (long x = 0; x < sh.w; ++x) {
            const int R = rules.out(y, x, kRed), G = rules.out(y, x, kGreen), B = rules.out(y, x, kBlue);
            ASSERT_EQ(r.row(y)[x], R) << y << "," << x;
            ASSERT_EQ(g.row(y)[x], G) << y << "," << x;
            ASSERT_EQ(b.row(y)[x], B) << y << "," << x;
            ASSERT_EQ(reinterpret_cast<const std::uint32_t*>(p32.row(y))[x], qf_bayerPackRGB32(R, G, B));
            ASSERT_EQ(reinterpret_cast<const std::uint16_t*>(p16.row(y))[x], qf_bayerPackRGB16(R, G, B));
            const int pr = plain.out(y, x, kRed), pg = plain.out(y, x, kGreen), pb = plain.out(y, x, kBlue);
            ASSERT_EQ(grey.row(y)[x], (pr * 77 + pg * 150 + pb * 29) >> 8) << y << "," << x;
          }
      }
    }
  }
}

TEST(BayerKernels, WhiteBalanceTableRoundsAndSaturates) {
  unsigned char t[256];
  qf_bayerWhiteBalanceTable(2.0, t);
  EXPECT_EQ(t[100], 200);
  EXPECT_EQ(t[127], 254);
  EXPECT_EQ(t[128], 255);
  EXPECT_EQ(t[200], 255);
  qf_bayerWhiteBalanceTable(0.5, t);
  EXPECT_EQ(t[1], 1);  // 0.5 rounds up
  EXPECT_EQ(t[3], 2);
  EXPECT_EQ(t[255], 128);
}

TEST(BayerKernels, GreyWeightsInFixedPoint) {
  const qs_GreyWeights d = qf_greyWeights(0.299, 0.587, 0.114);
  EXPECT_EQ(d.r, 77);
  EXPECT_EQ(d.g, 150);
  EXPECT_EQ(d.b, 29);
  const qs_GreyWeights clamped = qf_greyWeights(-0.5, 3.0, 0.0);
  EXPECT_EQ(clamped.r, 0);
  EXPECT_EQ(clamped.g, 511);
  EXPECT_EQ(clamped.b, 0);
}

// Every accelerated demosaic equals the reference, including the canaries
// around the destination rows.
TEST(BayerKernels, AcceleratedDemosaicMatchesReference) {
  std::mt19937 rng(42);
  const qs_GreyWeights weights[] = {{77, 150, 29}, {86, 86, 85}, {0, 256, 0}, {1, 1, 255}, {256, 0, 1}};
  int run = 0;
  for (Shape sh : shapes()) {
    for (int phase = 0; phase < 4; ++phase) {
      ++run;
      const int px = phase & 1, py = phase >> 1;
      // Alternate tight rows with padded, misaligned ones.
      const long lead = run % 5, slack = (run % 3) * 7;
      Img src(sh.w, sh.h, 1, lead, slack);
      src.randomize(rng);
      const qs_BayerMosaic m = mosaicOf(src, px, py);

      Img rr(sh.w, sh.h, 1, 0, 16), rg(sh.w, sh.h, 1, 0, 16), rb(sh.w, sh.h, 1, 0, 16);
      qf_bayerRefPlanes(m, nullptr, rr.plane<unsigned char>(), rg.plane<unsigned char>(), rb.plane<unsigned char>());
      Img r16(sh.w, sh.h, 2, 0, 6), r32(sh.w, sh.h, 4, 0, 12);
      qf_bayerRefRGB16(m, nullptr, r16.plane<std::uint16_t>());
      qf_bayerRefRGB32(m, nullptr, r32.plane<std::uint32_t>());
      const qs_GreyWeights& w = weights[run % 5];
      Img rgrey(sh.w, sh.h, 1, 0, 16);
      qf_bayerRefGrey(m, w, rgrey.plane<unsigned char>());

      for (qe_SimdLevel level : kLevels) {
        SCOPED_TRACE(std::string(levelName(qf_simdClamp(level))) + " " + std::to_string(sh.w) + "x" +
                     std::to_string(sh.h) + " phase " + std::to_string(phase) + " lead " + std::to_string(lead));
        Img fr(sh.w, sh.h, 1, 3, 16), fg(sh.w, sh.h, 1, 1, 16), fb(sh.w, sh.h, 1, 0, 16);
        qf_bayerFastPlanes(level, m, fr.plane<unsigned char>(), fg.plane<unsigned char>(), fb.plane<unsigned char>());
        EXPECT_TRUE(fr.samePixels(rr)) << "red " << fr.firstDiff(rr);
        EXPECT_TRUE(fg.samePixels(rg)) << "green " << fg.firstDiff(rg);
        EXPECT_TRUE(fb.samePixels(rb)) << "blue " << fb.firstDiff(rb);
        EXPECT_TRUE(fr.paddingIntact() && fg.paddingIntact() && fb.paddingIntact());

        Img f16(sh.w, sh.h, 2, 2, 6), f32(sh.w, sh.h, 4, 4, 12), fgrey(sh.w, sh.h, 1, 1, 16);
        qf_bayerFastRGB16(level, m, f16.plane<std::uint16_t>());
        qf_bayerFastRGB32(level, m, f32.plane<std::uint32_t>());
        qf_bayerFastGrey(level, m, w, fgrey.plane<unsigned char>());
        EXPECT_TRUE(f16.samePixels(r16)) << "rgb16 " << f16.firstDiff(r16);
        EXPECT_TRUE(f32.samePixels(r32)) << "rgb32 " << f32.firstDiff(r32);
        EXPECT_TRUE(fgrey.samePixels(rgrey)) << "grey " << fgrey.firstDiff(rgrey);
        EXPECT_TRUE(f16.paddingIntact() && f32.paddingIntact() && fgrey.paddingIntact());
      }
      if (testing::Test::HasFailure()) return;
    }
  }
}

// A window of a larger image: the mosaic starts at an odd address inside a
// row and its stride is the big image's.
TEST(BayerKernels, AcceleratedDemosaicOnAWindow) {
  std::mt19937 rng(3);
  Img big(301, 41, 1, 0, 0);
  big.randomize(rng);
  for (long x0 : {0L, 1L, 7L, 33L})
    for (long y0 : {0L, 3L})
      for (Shape sh : {Shape{268, 38}, Shape{50, 12}, Shape{26, 6}}) {
        qs_BayerMosaic m{big.row(y0) + x0, big.stride, sh.w, sh.h, int(x0 & 1), int(y0 & 1)};
        Img rr(sh.w, sh.h, 1, 0, 0), rg(sh.w, sh.h, 1, 0, 0), rb(sh.w, sh.h, 1, 0, 0);
        qf_bayerRefPlanes(m, nullptr, rr.plane<unsigned char>(), rg.plane<unsigned char>(), rb.plane<unsigned char>());
        for (qe_SimdLevel level : kLevels) {
          SCOPED_TRACE(std::string(levelName(level)) + " window " + std::to_string(x0) + "," + std::to_string(y0));
          Img fr(sh.w, sh.h, 1, 0, 0), fg(sh.w, sh.h, 1, 0, 0), fb(sh.w, sh.h, 1, 0, 0);
          qf_bayerFastPlanes(level, m, fr.plane<unsigned char>(), fg.plane<unsigned char>(), fb.plane<unsigned char>());
          EXPECT_TRUE(fr.samePixels(rr) && fg.samePixels(rg) && fb.samePixels(rb));
        }
      }
}

TEST(BayerKernels, AcceleratedSubsampleAndSumsMatchReference) {
  std::mt19937 rng(11);
  int run = 0;
  for (Shape sh : shapes()) {
    ++run;
    Img src(sh.w, sh.h, 1, run % 4, (run % 2) * 5);
    src.randomize(rng);
    const long hw = sh.w / 2, hh = sh.h / 2;
    Img r00(hw, hh, 1, 0, 3), r10(hw, hh, 1, 0, 3), r01(hw, hh, 1, 0, 3), r11(hw, hh, 1, 0, 3);
    qf_bayerRefSubsample(src.cplane(), sh.w, sh.h, r00.plane<unsigned char>(), r10.plane<unsigned char>(),
                         r01.plane<unsigned char>(), r11.plane<unsigned char>());
    std::uint64_t refSums[4];
    qf_bayerRefSums(src.cplane(), sh.w, sh.h, refSums);
    // The reference against the pixels themselves.
    std::uint64_t direct[4] = {0, 0, 0, 0};
    for (long y = 0; y < sh.h; ++y)
      for (long x = 0; x < sh.w; ++x) {
        direct[(x & 1) + 2 * (y & 1)] += src.row(y)[x];
        const Img& sub = (y & 1) ? ((x & 1) ? r11 : r01) : ((x & 1) ? r10 : r00);
        ASSERT_EQ(sub.row(y / 2)[x / 2], src.row(y)[x]);
      }
    for (int k = 0; k < 4; ++k) EXPECT_EQ(refSums[k], direct[k]);

    for (qe_SimdLevel level : kLevels) {
      SCOPED_TRACE(std::string(levelName(level)) + " " + std::to_string(sh.w) + "x" + std::to_string(sh.h));
      Img f00(hw, hh, 1, 1, 3), f10(hw, hh, 1, 2, 3), f01(hw, hh, 1, 0, 3), f11(hw, hh, 1, 3, 3);
      qf_bayerFastSubsample(level, src.cplane(), sh.w, sh.h, f00.plane<unsigned char>(), f10.plane<unsigned char>(),
                            f01.plane<unsigned char>(), f11.plane<unsigned char>());
      EXPECT_TRUE(f00.samePixels(r00) && f10.samePixels(r10) && f01.samePixels(r01) && f11.samePixels(r11));
      EXPECT_TRUE(f00.paddingIntact() && f10.paddingIntact() && f01.paddingIntact() && f11.paddingIntact());
      std::uint64_t s[4];
      qf_bayerFastSums(level, src.cplane(), sh.w, sh.h, s);
      for (int k = 0; k < 4; ++k) EXPECT_EQ(s[k], refSums[k]) << k;
    }
  }
}

TEST(BayerKernels, PlanesToGreyMatchesFixedPointFormula) {
  std::mt19937 rng(5);
  for (long w : {1L, 15L, 16L, 17L, 31L, 33L, 100L}) {
    const long h = 3;
    Img r(w, h, 1, 1, 2), g(w, h, 1, 0, 0), b(w, h, 1, 2, 5);
    r.randomize(rng);
    g.randomize(rng);
    b.randomize(rng);
    for (qs_GreyWeights wt : {qs_GreyWeights{77, 150, 29}, qs_GreyWeights{256, 256, 0}}) {
      for (qe_SimdLevel level : {qe_SimdNone, qe_SimdSSE2, qe_SimdAVX2, qe_SimdAVX512}) {
        Img d(w, h, 1, 3, 4);
        qf_planesToGrey(level, r.cplane(), g.cplane(), b.cplane(), w, h, wt, d.plane<unsigned char>());
        EXPECT_TRUE(d.paddingIntact());
        for (long y = 0; y < h; ++y)
          for (long x = 0; x < w; ++x) {
            const int v = (r.row(y)[x] * wt.r + g.row(y)[x] * wt.g + b.row(y)[x] * wt.b) >> 8;
            ASSERT_EQ(d.row(y)[x], v > 255 ? 255 : v) << levelName(level) << " " << w << " " << x;
          }
      }
    }
  }
}

TEST(BayerKernels, ReorganizeEvenOdd) {
  Img src(16, 2, 1, 0, 0);
  for (long y = 0; y < 2; ++y)
    for (long x = 0; x < 16; ++x) src.row(y)[x] = static_cast<unsigned char>(y * 100 + x);
  Img dst(16, 2, 1, 0, 0);
  qf_reorganizeEvenOdd(qe_SimdSSE2, src.cplane(), 16, 2, 4, dst.plane<unsigned char>());
  const unsigned char expect[16] = {0, 2, 4, 6, 1, 3, 5, 7, 8, 10, 12, 14, 9, 11, 13, 15};
  for (long x = 0; x < 16; ++x) {
    EXPECT_EQ(dst.row(0)[x], expect[x]);
    EXPECT_EQ(dst.row(1)[x], 100 + expect[x]);
  }
}

// White balance on the accelerated kernels: bit-identical to the reference
// with the same tables, for balances in fixed point and for tables that
// have no such form (looked up), over every shape and phase.
TEST(BayerKernels, BalancedAcceleratedDemosaicMatchesReference) {
  std::mt19937 rng(7);
  unsigned char gamma[256];
  for (int i = 0; i < 256; ++i) gamma[i] = static_cast<unsigned char>(std::lround(255 * std::sqrt(i / 255.0)));
  std::uniform_real_distribution<double> anyScale(0.3, 3.0);
  int run = 0;
  for (Shape sh : shapes()) {
    for (int phase = 0; phase < 4; ++phase, ++run) {
      unsigned char t[3][256];
      // Two-decimal scales such as 0.29 and 2.3 need fixes (see below).  A
      // green scale of 1 (the usual balance) and any other take different
      // paths.
      const double scales[][3] = {{1.4, 1.0, 1.8},
                                  {0.29, 1.15, 2.3},
                                  {0.29, 1.0, 2.3},
                                  {anyScale(rng), 1.0, anyScale(rng)},
                                  {anyScale(rng), anyScale(rng), anyScale(rng)}};
      const double* sc = scales[run % 5];
      for (int k = 0; k < 3; ++k) qf_bayerWhiteBalanceTable(sc[k], t[k]);
      // No fixed-point form: looked up, with green's table or another.
      if (run % 4 == 3) std::memcpy(t[(run / 4) % 2 == 0 ? 1 : 2], gamma, 256);
      const unsigned char* luts[3] = {t[0], t[1], t[2]};
      const qs_BayerBalance wb = qf_bayerBalance(luts);
      if (run % 4 == 3) {
        EXPECT_FALSE(wb.fixed);
      }

      Img src(sh.w, sh.h, 1, run % 5, (run % 3) * 7);
      src.randomize(rng);
      const qs_BayerMosaic m = mosaicOf(src, phase & 1, phase >> 1);
      Img rr(sh.w, sh.h, 1, 0, 16), rg(sh.w, sh.h, 1, 0, 16), rb(sh.w, sh.h, 1, 0, 16);
      qf_bayerRefPlanes(m, luts, rr.plane<unsigned char>(), rg.plane<unsigned char>(), rb.plane<unsigned char>());
      Img r16(sh.w, sh.h, 2, 0, 6), r32(sh.w, sh.h, 4, 0, 12);
      qf_bayerRefRGB16(m, luts, r16.plane<std::uint16_t>());
      qf_bayerRefRGB32(m, luts, r32.plane<std::uint32_t>());
      for (qe_SimdLevel level : kLevels) {
        SCOPED_TRACE(std::string(levelName(qf_simdClamp(level))) + " " + std::to_string(sh.w) + "x" +
                     std::to_string(sh.h) + " phase " + std::to_string(phase) + " scales " + std::to_string(sc[0]) +
                     " " + std::to_string(sc[1]) + " " + std::to_string(sc[2]) + (wb.fixed ? " fixed" : " table"));
        Img fr(sh.w, sh.h, 1, 3, 16), fg(sh.w, sh.h, 1, 1, 16), fb(sh.w, sh.h, 1, 0, 16);
        qf_bayerFastPlanes(level, m, wb, fr.plane<unsigned char>(), fg.plane<unsigned char>(),
                           fb.plane<unsigned char>());
        EXPECT_TRUE(fr.samePixels(rr)) << "red " << fr.firstDiff(rr);
        EXPECT_TRUE(fg.samePixels(rg)) << "green " << fg.firstDiff(rg);
        EXPECT_TRUE(fb.samePixels(rb)) << "blue " << fb.firstDiff(rb);
        Img f16(sh.w, sh.h, 2, 2, 6), f32(sh.w, sh.h, 4, 4, 12);
        qf_bayerFastRGB16(level, m, wb, f16.plane<std::uint16_t>());
        qf_bayerFastRGB32(level, m, wb, f32.plane<std::uint32_t>());
        EXPECT_TRUE(f16.samePixels(r16)) << "rgb16 " << f16.firstDiff(r16);
        EXPECT_TRUE(f32.samePixels(r32)) << "rgb32 " << f32.firstDiff(r32);
        EXPECT_TRUE(fr.paddingIntact() && fg.paddingIntact() && fb.paddingIntact() && f16.paddingIntact() &&
                    f32.paddingIntact());
      }
      if (testing::Test::HasFailure()) return;
    }
  }
}

// Every white-balance table of a scale with two decimals from 0.01 to 4
// (and a few far ones) has a fixed-point form, and that form with its fixes
// is the table.  Tables beyond the 16-bit lanes, or that are no scale at
// all, have none (they are looked up).
TEST(BayerKernels, WhiteBalanceTablesHaveAFixedPointForm) {
  unsigned char far[256], gamma[256];
  qf_bayerWhiteBalanceTable(300.0, far);
  for (int i = 0; i < 256; ++i) gamma[i] = static_cast<unsigned char>(std::lround(255 * std::sqrt(i / 255.0)));
  for (const unsigned char* t : {far, gamma}) {
    const unsigned char* luts[3] = {t, t, t};
    EXPECT_FALSE(qf_bayerBalance(luts).fixed);
  }
  std::vector<double> scales{1e-4, 0.0019, 0.00197, 100.0, 127.9};
  for (int k = 1; k <= 400; ++k) scales.push_back(k / 100.0);
  for (double s : scales) {
    unsigned char t[256];
    qf_bayerWhiteBalanceTable(s, t);
    const unsigned char* luts[3] = {t, t, t};
    const qs_BayerBalance b = qf_bayerBalance(luts);
    ASSERT_TRUE(b.fixed) << s;
    for (int i = 0; i < 256; ++i) {
      int v = static_cast<int>(std::min<std::uint64_t>(255, (std::uint64_t(i) * b.mult[0] + 16384) >> 15));
      for (int j = 0; j < b.fixes[0]; ++j) v += b.fixAt[0][j] == i ? b.fixBy[0][j] : 0;
      ASSERT_EQ(v, t[i]) << s << " " << i;
    }
  }
}
