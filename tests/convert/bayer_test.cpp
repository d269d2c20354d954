// qcBayerImageConverter and the qfBayer* functions on pixel buffers.
#include <qrn/acq/convert/bayer.h>

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

using Grey = qcPelBuffer<unsigned char>;
using BT = qcBayerImageConverter::BayerType;

Grey filled(long w, long h, const std::function<int(long x, long y)>& f) {
  Grey b(w, h);
  for (long y = 0; y < h; ++y)
    for (long x = 0; x < w; ++x) b.rowPointer(y)[x] = static_cast<unsigned char>(f(x, y));
  return b;
}

Grey randomMosaic(long w, long h, unsigned seed) {
  std::mt19937 rng(seed);
  return filled(w, h, [&](long, long) { return static_cast<int>(rng() & 0xFF); });
}

template <class T>
bool samePels(const qcPelBuffer_const<T>& a, const qcPelBuffer_const<T>& b) {
  if (a.size() != b.size()) return false;
  for (long y = 0; y < a.height(); ++y)
    for (long x = 0; x < a.width(); ++x)
      if (!(a.rowPointer(y)[x] == b.rowPointer(y)[x])) return false;
  return true;
}

bool samePlanes(const qc3PlanePelBuffer& a, const qc3PlanePelBuffer& b) {
  return samePels<unsigned char>(a.plane0(), b.plane0()) && samePels<unsigned char>(a.plane1(), b.plane1()) &&
         samePels<unsigned char>(a.plane2(), b.plane2());
}

bool uniform(const qcPelBuffer_const<unsigned char>& b, int v) {
  for (long y = 0; y < b.height(); ++y)
    for (long x = 0; x < b.width(); ++x)
      if (b.rowPointer(y)[x] != v) return false;
  return true;
}

qcPair<long> phaseOf(int type) { return {type & 1, type >> 1}; }

}  // namespace

TEST(BayerConverter, TwoByTwoGRBG) {
  Grey src = filled(2, 2, [](long x, long y) { return 10 + 10 * x + 20 * y; });  // 10 20 / 30 40
  qcBayerImageConverter conv(src);
  EXPECT_EQ(conv.bayerType(), qcBayerImageConverter::GRBG);
  const qc3PlanePelBuffer& p = conv.get3PlanePelBuf();
  ASSERT_TRUE(p.isBound());
  EXPECT_EQ(p.colorSpace(), qc3PlanePelBuffer::RGB);
  for (long y = 0; y < 2; ++y)
    for (long x = 0; x < 2; ++x) {
      EXPECT_EQ(p.get(x, y), qc3PlanePel(20, y == 0 ? 10 : 40, 30)) << x << "," << y;
      EXPECT_EQ(conv.getPackedRGB32PelBuf().get(x, y), qcPackedRGB32Pel(20, y == 0 ? 10 : 40, 30));
      EXPECT_EQ(conv.getPackedRGB16PelBuf().get(x, y), qcPackedRGB16Pel(20, y == 0 ? 10 : 40, 30));
    }
}

TEST(BayerConverter, WhiteBalanceScalesSaturate) {
  for (long w : {4L, 64L}) {  // reference alone, and a width the accelerated path would take
    qcBayerImageConverter conv(filled(w, 6, [](long, long) { return 100; }));
    conv.setRedWhiteBalanceScale(2.0);
    conv.setGreenWhiteBalanceScale(2.0);
    conv.setBlueWhiteBalanceScale(2.0);
    EXPECT_TRUE(uniform(conv.get3PlanePelBuf().plane0(), 200));
    EXPECT_TRUE(uniform(conv.get3PlanePelBuf().plane1(), 200));
    EXPECT_EQ(conv.getPackedRGB32PelBuf().get(w - 1, 5), qcPackedRGB32Pel(200, 200, 200));

    conv.setSourcePelBuf(filled(w, 6, [](long, long) { return 200; }));
    EXPECT_TRUE(uniform(conv.get3PlanePelBuf().plane2(), 255));
    EXPECT_EQ(conv.getPackedRGB16PelBuf().get(0, 0), qcPackedRGB16Pel(255, 255, 255));
    // Grey ignores white balance.
    EXPECT_TRUE(uniform(conv.getGreyscalePelBuf(), 200));

    // One channel only.
    conv.setGreenWhiteBalanceScale(1.0);
    conv.setBlueWhiteBalanceScale(0.5);
    EXPECT_EQ(conv.get3PlanePelBuf().get(1, 1), qc3PlanePel(255, 200, 100));
  }
}

TEST(BayerConverter, UniformMosaicGreyKeepsItsValue) {
  qcBayerImageConverter conv;
  for (int v : {0, 1, 77, 128, 254, 255})
    for (long w : {2L, 18L, 48L, 130L}) {
      conv.setSourcePelBuf(filled(w, 4, [v](long, long) { return v; }));
      for (int t = 0; t < 4; ++t) {
        conv.bayerType(static_cast<BT>(t));
        EXPECT_TRUE(uniform(conv.getGreyscalePelBuf(), v)) << v << " width " << w << " type " << t;
      }
    }
}

TEST(BayerConverter, GreyUsesWeightsInFixedPoint) {
  // Red-only mosaic (GRBG: red at odd columns of even rows): R = 200, G = B = 0.
  Grey src = filled(32, 8, [](long x, long y) { return (y % 2 == 0 && x % 2 == 1) ? 200 : 0; });
  qcBayerImageConverter conv(src);
  conv.bayerType(qcBayerImageConverter::GRBG);
  const qc3PlanePelBuffer& planes = conv.get3PlanePelBuf();
  const int R = planes.plane0().get(5, 3), G = planes.plane1().get(5, 3), B = planes.plane2().get(5, 3);
  EXPECT_EQ(conv.getGreyscalePelBuf().get(5, 3), (R * 77 + G * 150 + B * 29) >> 8);
  conv.setGreyscaleWeights(1.0, 0.0, 0.0);
  EXPECT_TRUE(samePels<unsigned char>(conv.getGreyscalePelBuf(), conv.get3PlanePelBuf().plane0()));
  conv.setGreyscaleWeights(0.0, 0.0, 1.0);
  EXPECT_TRUE(samePels<unsigned char>(conv.getGreyscalePelBuf(), conv.get3PlanePelBuf().plane2()));
}

// Every failure throws BadParams and leaves the earlier state in force.
TEST(BayerConverter, BadParamsLeaveStateUnchanged) {
  Grey src = randomMosaic(64, 32, 1);
  qcBayerImageConverter conv(src);
  conv.setGreyscaleWeights(0.5, 0.25, 0.25);
  conv.setRedWhiteBalanceScale(1.5);
  conv.bayerType(qcBayerImageConverter::BGGR);
  const Grey greyBefore = conv.getGreyscalePelBuf();
  const qc3PlanePelBuffer planesBefore = conv.get3PlanePelBuf();
  const double nan = std::numeric_limits<double>::quiet_NaN();

  const std::function<void()> bad[] = {
      [&] { conv.setGreyscaleWeights(0.3, 0.3, 0.3); },
      [&] { conv.setGreyscaleWeights(-0.1, 0.6, 0.5); },
      [&] { conv.setGreyscaleWeights(0.5, 0.5, 0.0002); },
      [&] { conv.setGreyscaleWeights(nan, 0.5, 0.5); },
      [&] { conv.setRedWhiteBalanceScale(0.0); },
      [&] { conv.setGreenWhiteBalanceScale(-1.0); },
      [&] { conv.setBlueWhiteBalanceScale(nan); },
      [&] { conv.bayerType(static_cast<BT>(4)); },
      [&] { conv.bayerType(static_cast<BT>(-1)); },
      [&] { conv.setSourcePelBuf(Grey()); },
      [&] { conv.setSourcePelBuf(Grey(63, 32)); },
      [&] { conv.setSourcePelBuf(Grey(64, 31)); },
      [&] { conv.setSourcePelBuf(Grey(0, 0)); },
      [&] { conv.setSourcePelBuf(src.window(0, 0, 1, 2)); },
      [&] {
        qcPelBuffer<qcPackedRGB32Pel> none;
        conv.setPackedRGB32Pel(none);
      },
      [&] {
        qcPelBuffer<qcPackedRGB16Pel> small(64, 30);
        conv.setPackedRGB16Pel(small);
      },
      [&] {
        qcPelBuffer<qcPackedRGB32Pel> narrow(62, 32);
        conv.setPackedRGB32Pel(narrow);
      },
  };
  int i = 0;
  for (const auto& f : bad) {
    SCOPED_TRACE("case " + std::to_string(i++));
    try {
      f();
      ADD_FAILURE() << "no exception";
    } catch (const qcBayerImageConverter::BadParams& e) {
      EXPECT_EQ(e.errorNumber(), 10000u);
      EXPECT_EQ(e.messageString(), "qcBayerImageConverter::BadParams");
    }
    EXPECT_EQ(conv.getRedWeight(), 0.5);
    EXPECT_EQ(conv.getGreenWeight(), 0.25);
    EXPECT_EQ(conv.getBlueWeight(), 0.25);
    EXPECT_EQ(conv.getRedWhiteBalanceScale(), 1.5);
    EXPECT_EQ(conv.getGreenWhiteBalanceScale(), 1.0);
    EXPECT_EQ(conv.bayerType(), qcBayerImageConverter::BGGR);
    EXPECT_EQ(conv.sourcePelBuf().rowPointer(0), src.rowPointer(0));
    // Still the same results, not recomputed.
    EXPECT_EQ(conv.getGreyscalePelBuf().rowPointer(0), greyBefore.rowPointer(0));
    EXPECT_EQ(conv.get3PlanePelBuf().plane0().rowPointer(0), planesBefore.plane0().rowPointer(0));
  }
  EXPECT_THROW(qcBayerImageConverter(Grey(3, 2)), qcBayerImageConverter::BadParams);
}

TEST(BayerConverter, AcceptsWeightsWithinTolerance) {
  qcBayerImageConverter conv;
  EXPECT_NO_THROW(conv.setGreyscaleWeights(0.33333, 0.33333, 0.33333));
  EXPECT_NO_THROW(conv.setGreyscaleWeights(1.0, 0.0, 0.0));
  EXPECT_EQ(conv.getRedWeight(), 1.0);
}

TEST(BayerConverter, ResultsAreCachedUntilAChange) {
  qcBayerImageConverter conv(randomMosaic(64, 16, 2));
  const unsigned char* g1 = conv.getGreyscalePelBuf().rowPointer(0);
  const unsigned char* p1 = conv.get3PlanePelBuf().plane0().rowPointer(0);
  const qcPackedRGB32Pel* r1 = conv.getPackedRGB32PelBuf().rowPointer(0);
  EXPECT_EQ(conv.getGreyscalePelBuf().rowPointer(0), g1);
  EXPECT_EQ(conv.get3PlanePelBuf().plane0().rowPointer(0), p1);
  const Grey before = conv.getGreyscalePelBuf();
  const qc3PlanePelBuffer planesBefore = conv.get3PlanePelBuf();
  const qcPelBuffer<qcPackedRGB32Pel> rgbBefore(64, 16);
  qfPelCopy<qcPackedRGB32Pel>(conv.getPackedRGB32PelBuf(), rgbBefore);

  conv.bayerType(qcBayerImageConverter::GBRG);
  EXPECT_FALSE(samePels<unsigned char>(conv.getGreyscalePelBuf(), before));
  EXPECT_FALSE(samePlanes(conv.get3PlanePelBuf(), planesBefore));
  // The packed buffer is converted in place.
  EXPECT_EQ(conv.getPackedRGB32PelBuf().rowPointer(0), r1);
  EXPECT_FALSE(samePels<qcPackedRGB32Pel>(conv.getPackedRGB32PelBuf(), rgbBefore));
  // Back to the first type gives the first results again.
  conv.bayerType(qcBayerImageConverter::GRBG);
  EXPECT_TRUE(samePels<unsigned char>(conv.getGreyscalePelBuf(), before));
  EXPECT_TRUE(samePlanes(conv.get3PlanePelBuf(), planesBefore));
  EXPECT_TRUE(samePels<qcPackedRGB32Pel>(conv.getPackedRGB32PelBuf(), rgbBefore));
}

// The converter's results equal the reference functions for all types, with
// and without white balance, on a window of a larger image.
TEST(BayerConverter, MatchesReferenceFunctions) {
  Grey big = randomMosaic(700, 500, 3);
  big.offset(5, 6);
  const Grey src = big.window(3, 1, 642, 480);
  qcBayerImageConverter conv(src);
  for (int t = 0; t < 4; ++t)
    for (double scale : {1.0, 1.25}) {
      SCOPED_TRACE("type " + std::to_string(t) + " scale " + std::to_string(scale));
      conv.bayerType(static_cast<BT>(t));
      conv.setBlueWhiteBalanceScale(scale);
      const qcPair<long> ph = phaseOf(t);
      const Grey grey = qfBayerToGrey_C(src, 0.299, 0.587, 0.114, ph);
      EXPECT_TRUE(samePels<unsigned char>(conv.getGreyscalePelBuf(), grey));
      EXPECT_EQ(conv.getGreyscalePelBuf().offset(), qcPair<long>(8, 7));
      qc3PlanePelBuffer planes;
      qfBayerTo3Planes_C(src, 1.0, 1.0, scale, ph, planes);
      EXPECT_TRUE(samePlanes(conv.get3PlanePelBuf(), planes));
      EXPECT_EQ(conv.get3PlanePelBuf().offset(), qcPair<long>(8, 7));
      qcPelBuffer<qcPackedRGB16Pel> p16;
      qfBayerToPacked16_C(src, 1.0, 1.0, scale, ph, p16);
      EXPECT_TRUE(samePels<qcPackedRGB16Pel>(conv.getPackedRGB16PelBuf(), p16));
      qcPelBuffer<qcPackedRGB32Pel> p32;
      qfBayerToPacked32_C(src, 1.0, 1.0, scale, ph, p32);
      EXPECT_TRUE(samePels<qcPackedRGB32Pel>(conv.getPackedRGB32PelBuf(), p32));
      EXPECT_EQ(conv.getPackedRGB32PelBuf().offset(), qcPair<long>(8, 7));
      // The packed result is the planes packed.
      qcPelBuffer<qcPackedRGB32Pel> packed;
      qfRGBPack(planes, packed);
      EXPECT_TRUE(samePels<qcPackedRGB32Pel>(p32, packed));
    }
}

// The accelerated buffer functions against the reference ones.
TEST(BayerConverter, AcceleratedFunctionsMatchReference) {
  for (long w : {16L, 18L, 24L, 26L, 40L, 96L, 642L})
    for (int t = 0; t < 4; ++t) {
      SCOPED_TRACE("width " + std::to_string(w) + " type " + std::to_string(t));
      Grey big = randomMosaic(w + 3, 10, static_cast<unsigned>(w * 4 + t));
      const Grey src = big.window(1, 1, w, 8);
      const qcPair<long> ph = phaseOf(t);
      EXPECT_TRUE(samePels<unsigned char>(qfBayerToGrey_SSE(src, 0.2, 0.7, 0.1, ph),
                                          qfBayerToGrey_C(src, 0.2, 0.7, 0.1, ph)));
      qc3PlanePelBuffer a, b;
      qfBayerTo3Planes_SSE(src, ph, a);
      qfBayerTo3Planes_C(src, 1.0, 1.0, 1.0, ph, b);
      EXPECT_TRUE(samePlanes(a, b));
      qcPelBuffer<qcPackedRGB16Pel> a16, b16;
      qfBayerToPacked16_SSE(src, ph, a16);
      qfBayerToPacked16_C(src, 1.0, 1.0, 1.0, ph, b16);
      EXPECT_TRUE(samePels<qcPackedRGB16Pel>(a16, b16));
      qcPelBuffer<qcPackedRGB32Pel> a32, b32;
      qfBayerToPacked32_SSE(src, ph, a32);
      qfBayerToPacked32_C(src, 1.0, 1.0, 1.0, ph, b32);
      EXPECT_TRUE(samePels<qcPackedRGB32Pel>(a32, b32));
      Grey s[8];
      qfBayerSubsample_SSE(src, s[0], s[1], s[2], s[3]);
      qfBayerSubsample_C(src, s[4], s[5], s[6], s[7]);
      for (int k = 0; k < 4; ++k) EXPECT_TRUE(samePels<unsigned char>(s[k], s[k + 4]));
      double m[8];
      qfExtractAvgFromBayer_SSE(src, m[0], m[1], m[2], m[3]);
      qfExtractAvgFromBayer_C(src, m[4], m[5], m[6], m[7]);
      for (int k = 0; k < 4; ++k) EXPECT_EQ(m[k], m[k + 4]);
    }
}

TEST(BayerConverter, SubsampleAndAverages) {
  // Each pattern position holds its own constant.
  const int value[4] = {11, 22, 33, 44};
  Grey src = filled(640, 480, [&](long x, long y) { return value[(x & 1) + 2 * (y & 1)]; });
  src.offset(7, 9);
  qcBayerImageConverter conv(src);
  for (int t = 0; t < 4; ++t) {  // positions are those of the raw image whatever the type
    conv.bayerType(static_cast<BT>(t));
    Grey p[4];
    conv.kernelSubsample(p[0], p[1], p[2], p[3]);
    for (int k = 0; k < 4; ++k) {
      EXPECT_EQ(p[k].width(), 320);
      EXPECT_EQ(p[k].height(), 240);
      EXPECT_EQ(p[k].offset(), qcPair<long>(7, 9));
      EXPECT_TRUE(uniform(p[k], value[k])) << k;
    }
    double a[4];
    conv.extractKernelAverages(a[0], a[1], a[2], a[3]);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(a[k], value[k]);
  }
  conv.setSourcePelBuf(filled(64, 2, [](long, long) { return 123; }));
  double a00, a10, a01, a11;
  conv.extractKernelAverages(a00, a10, a01, a11);
  EXPECT_EQ(a00, 123.0);
  EXPECT_EQ(a10, 123.0);
  EXPECT_EQ(a01, 123.0);
  EXPECT_EQ(a11, 123.0);
}

TEST(BayerConverter, SubsampleOfUnusableSourceIsUnbound) {
  Grey p[4] = {Grey(2, 2), Grey(2, 2), Grey(2, 2), Grey(2, 2)};
  qfBayerSubsample_C(Grey(5, 4), p[0], p[1], p[2], p[3]);
  for (auto& b : p) EXPECT_FALSE(b.isBound());
  qcBayerImageConverter conv;
  Grey q[4] = {Grey(2, 2), Grey(2, 2), Grey(2, 2), Grey(2, 2)};
  conv.kernelSubsample(q[0], q[1], q[2], q[3]);
  for (auto& b : q) EXPECT_FALSE(b.isBound());
  double a = 1, b = 1, c = 1, d = 1;
  conv.extractKernelAverages(a, b, c, d);
  EXPECT_EQ(a + b + c + d, 0.0);
  EXPECT_FALSE(conv.getGreyscalePelBuf().isBound());
  EXPECT_FALSE(conv.get3PlanePelBuf().isBound());
  EXPECT_FALSE(conv.getPackedRGB32PelBuf().isBound());
}

TEST(BayerConverter, CallerPackedBufferAndItsDrop) {
  qcPelBuffer<qcPackedRGB32Pel> mine(1024, 1024);
  const qcPackedRGB32Pel marker(1, 2, 3, 4);
  mine.set(700, 600, marker);  // outside the 640x480 conversion
  qcBayerImageConverter conv;
  conv.setPackedRGB32Pel(mine);
  const Grey src = randomMosaic(640, 480, 9);
  conv.setSourcePelBuf(src);
  const qcPelBuffer<qcPackedRGB32Pel>& out = conv.getPackedRGB32PelBuf();
  EXPECT_EQ(out.width(), 640);
  EXPECT_EQ(out.height(), 480);
  EXPECT_EQ(out.rowPointer(0), mine.rowPointer(0));  // the caller's pels
  qcPelBuffer<qcPackedRGB32Pel> ref;
  qfBayerToPacked32_C(src, 1.0, 1.0, 1.0, {0, 0}, ref);
  EXPECT_TRUE(samePels<qcPackedRGB32Pel>(mine.window(0, 0, 640, 480), ref));
  EXPECT_EQ(mine.get(700, 600), marker);

  // A larger source drops the caller's buffer; the next request allocates.
  const Grey bigger = randomMosaic(2048, 2048, 10);
  conv.setSourcePelBuf(bigger);
  const qcPelBuffer<qcPackedRGB32Pel>& out2 = conv.getPackedRGB32PelBuf();
  EXPECT_EQ(out2.width(), 2048);
  EXPECT_EQ(out2.height(), 2048);
  EXPECT_NE(out2.rowPointer(0), mine.rowPointer(0));
  EXPECT_TRUE(samePels<qcPackedRGB32Pel>(mine.window(0, 0, 640, 480), ref));  // untouched
}

TEST(BayerConverter, CallerPackedBufferStaysAfterRejectedOne) {
  qcPelBuffer<qcPackedRGB16Pel> mine(64, 64);
  qcBayerImageConverter conv(randomMosaic(64, 64, 12));
  conv.setPackedRGB16Pel(mine);
  qcPelBuffer<qcPackedRGB16Pel> small(32, 32);
  EXPECT_THROW(conv.setPackedRGB16Pel(small), qcBayerImageConverter::BadParams);
  EXPECT_EQ(conv.getPackedRGB16PelBuf().rowPointer(0), mine.rowPointer(0));
  // A same-size source keeps it.
  conv.setSourcePelBuf(randomMosaic(64, 64, 13));
  EXPECT_EQ(conv.getPackedRGB16PelBuf().rowPointer(0), mine.rowPointer(0));
}

TEST(BayerConverter, CopiesAreIndependent) {
  qcBayerImageConverter a(randomMosaic(32, 8, 14));
  a.setGreyscaleWeights(0.2, 0.6, 0.2);
  a.bayerType(qcBayerImageConverter::RGGB);
  qcPelBuffer<qcPackedRGB32Pel> mine(32, 8);
  a.setPackedRGB32Pel(mine);
  qcBayerImageConverter b(a);
  EXPECT_EQ(b.getGreenWeight(), 0.6);
  EXPECT_EQ(b.bayerType(), qcBayerImageConverter::RGGB);
  EXPECT_TRUE(samePels<unsigned char>(a.getGreyscalePelBuf(), b.getGreyscalePelBuf()));
  EXPECT_NE(b.getPackedRGB32PelBuf().rowPointer(0), mine.rowPointer(0));
  EXPECT_TRUE(samePels<qcPackedRGB32Pel>(a.getPackedRGB32PelBuf(), b.getPackedRGB32PelBuf()));
  b.bayerType(qcBayerImageConverter::BGGR);
  EXPECT_EQ(a.bayerType(), qcBayerImageConverter::RGGB);
  a = b;
  EXPECT_EQ(a.bayerType(), qcBayerImageConverter::BGGR);
}

TEST(BayerConverter, ConversionOperators) {
  qcBayerImageConverter conv(randomMosaic(16, 4, 15));
  const qcPelBuffer_const<unsigned char>& g = conv;
  const qcPelBuffer_const<unsigned char>* gp = conv;
  const qc3PlanePelBuffer& p = conv;
  const qcPelBuffer<qcPackedRGB32Pel>* r32 = conv;
  const qcPelBuffer<qcPackedRGB16Pel>& r16 = conv;
  EXPECT_EQ(&g, &conv.getGreyscalePelBuf());
  EXPECT_EQ(gp, &conv.getGreyscalePelBuf());
  EXPECT_EQ(&p, &conv.get3PlanePelBuf());
  EXPECT_EQ(r32, &conv.getPackedRGB32PelBuf());
  EXPECT_EQ(&r16, &conv.getPackedRGB16PelBuf());
  EXPECT_TRUE(r16.isBound());
}

TEST(BayerConverter, ThreePlanesToGreyMatchesGreyConversion) {
  const Grey src = randomMosaic(100, 20, 16);
  qc3PlanePelBuffer planes;
  qfBayerTo3Planes_SSE(src, {1, 1}, planes);
  const Grey viaPlanes =
      qfThreePlanesToGrey_SSE(planes.plane0(), planes.plane1(), planes.plane2(), 0.299, 0.587, 0.114);
  EXPECT_TRUE(samePels<unsigned char>(viaPlanes, qfBayerToGrey_C(src, 0.299, 0.587, 0.114, {1, 1})));
  EXPECT_FALSE(qfThreePlanesToGrey_SSE(planes.plane0(), Grey(4, 4), planes.plane2(), 0.3, 0.3, 0.4).isBound());
}

TEST(BayerConverter, DataReOrganize) {
  const Grey src = filled(16, 3, [](long x, long y) { return x + 16 * y; });
  const Grey out = qfDataReOrganize0(src, 8);
  ASSERT_TRUE(out.isBound());
  for (long y = 0; y < 3; ++y)
    for (long x = 0; x < 16; ++x) EXPECT_EQ(out.get(x, y), (x < 8 ? 2 * x : 2 * (x - 8) + 1) + 16 * y);
  EXPECT_FALSE(qfDataReOrganize0(filled(12, 2, [](long, long) { return 0; }), 2).isBound());  // not a multiple of 8
  EXPECT_FALSE(qfDataReOrganize0(src, 3).isBound());  // not a multiple of 2n
  EXPECT_FALSE(qfDataReOrganize0(Grey(), 4).isBound());
  // 2n does not fit in a long (or wraps to a divisor of the width).
  for (long n : {LONG_MAX, LONG_MAX / 2 + 1, LONG_MAX / 2, 16L}) EXPECT_FALSE(qfDataReOrganize0(src, n).isBound()) << n;
}

// A result that only the converter holds is converted again in place; one a
// caller kept (a copy, or one plane of it) keeps its pels, and the converter
// takes new ones.  Every result equals the reference for its Bayer type.
TEST(BayerConverter, ResultsAreConvertedInPlaceUnlessACallerKeptThem) {
  const Grey src = randomMosaic(64, 16, 9);
  qcBayerImageConverter conv(src);
  conv.setRedWhiteBalanceScale(1.4);
  auto refGrey = [&](int t) { return qfBayerToGrey_C(src, 0.299, 0.587, 0.114, phaseOf(t)); };
  auto refPlanes = [&](int t) {
    qc3PlanePelBuffer p;
    qfBayerTo3Planes_C(src, 1.4, 1.0, 1.0, phaseOf(t), p);
    return p;
  };
  auto refRGB32 = [&](int t) {
    qcPelBuffer<qcPackedRGB32Pel> p;
    qfBayerToPacked32_C(src, 1.4, 1.0, 1.0, phaseOf(t), p);
    return p;
  };
  auto pointers = [&] {
    return std::vector<const void*>{conv.getGreyscalePelBuf().rowPointer(0),
                                    conv.get3PlanePelBuf().plane0().rowPointer(0),
                                    conv.get3PlanePelBuf().plane1().rowPointer(0),
                                    conv.getPackedRGB32PelBuf().rowPointer(0)};
  };
  auto matches = [&](int t) {
    return samePels<unsigned char>(conv.getGreyscalePelBuf(), refGrey(t)) &&
           samePlanes(conv.get3PlanePelBuf(), refPlanes(t)) &&
           samePels<qcPackedRGB32Pel>(conv.getPackedRGB32PelBuf(), refRGB32(t));
  };

  const std::vector<const void*> first = pointers();
  EXPECT_TRUE(matches(0));
  conv.bayerType(BT::RGGB);
  EXPECT_EQ(pointers(), first);  // nobody else held them: converted in place
  EXPECT_TRUE(matches(1));

  const Grey keptGrey = conv.getGreyscalePelBuf();
  const qcPelBuffer<unsigned char> keptGreen = conv.get3PlanePelBuf().plane1();
  const qcPelBuffer<qcPackedRGB32Pel> keptRGB = conv.getPackedRGB32PelBuf();
  conv.bayerType(BT::BGGR);
  const std::vector<const void*> now = pointers();
  EXPECT_NE(now[0], first[0]);
  EXPECT_NE(now[2], first[2]);
  EXPECT_NE(now[3], first[3]);
  EXPECT_TRUE(matches(2));
  // The kept results are those of the type they were made with.
  EXPECT_TRUE(samePels<unsigned char>(keptGrey, refGrey(1)));
  EXPECT_TRUE(samePels<unsigned char>(keptGreen, refPlanes(1).plane1()));
  EXPECT_TRUE(samePels<qcPackedRGB32Pel>(keptRGB, refRGB32(1)));
}
