// End to end on the simulated frame grabber: colour through three channels,
// and the dual-tap equalizer on the "twotap" test image.  Board 0 has three
// channels here (a registry store of this test process).
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include <gtest/gtest.h>

#include <qrn/acq/hyper/multififo.h>
#include <qrn/acq/hyper/prop/equalize.h>

#include "../integration/sim_fixture.h"

namespace {

// Runs before main(), so before the first use of the board list.
struct ThreeChannelBoard {
  std::string path = std::string(QRN_TEST_BINARY_DIR) + "/multi-registry-" + std::to_string(::getpid()) + ".reg";
  ThreeChannelBoard() {
    std::ofstream(path) << "Windows Registry Editor Version 5.00\n\n"
                           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorin\\ORB\\sim\\board0]\n\"numChannels\"=dword:00000003\n";
    ::setenv("QUORIN_REGISTRY_FILE", path.c_str(), 1);
  }
  ~ThreeChannelBoard() { std::filesystem::remove(path); }
} gBoard;

const qcSimTestFormat& small() {
  static qcSimTestFormat f("multi sim 40x30", 40, 30);
  return f;
}

// The colour scene at (x, y) of a w x h frame.
qcPackedRGB32Pel scene(long x, long y, long w, long h) {
  const auto r = static_cast<unsigned char>(255 * x / (w - 1));
  return {r, static_cast<unsigned char>(255 * y / (h - 1)), static_cast<unsigned char>(255 - r), 0};
}

template <class F>
qcPtrHandle<F> colourFifo() {
  auto f = qfSimFifo<F>(small().fmt);
  qfSimSet(*f, qrn_sim::kTestImage, "color");
  return f;
}

TEST(SimMulti, ColourComesFromThreeChannels) {
  EXPECT_EQ(qfSimGrabber().numChannels(), 3);
  auto f = colourFifo<qcStdRGB32AcqFifo>();
  auto* multi = dynamic_cast<qc_MultiAcqFifo*>(&f->fifo());
  ASSERT_NE(multi, nullptr);
  EXPECT_EQ(multi->numTaps(), 3);
  static_cast<qcRoiProp&>(f->properties()).roi(qcPelRect(4, 2, 30, 20));  // every channel
  f->start(2);
  for (unsigned long n = 1; n <= 2; ++n) {
    qcAcquireInfo info;
    const auto img = f->complete(qfWait(info));
    ASSERT_TRUE(img.isBound());
    EXPECT_FALSE(info.failure());
    EXPECT_EQ(info.triggerNum(), n);
    ASSERT_EQ(img.size(), (qcPair<long>(30, 20)));
    for (long y : {0L, 9L, 19L})
      for (long x : {0L, 17L, 29L}) EXPECT_EQ(img.get(x, y), scene(x + 4, y + 2, 40, 30)) << x << "," << y;
  }

  // Three planes, through the driver's completeAcq.
  auto planes = colourFifo<qcStd3PlaneAcqFifo>();
  planes->start(1);
  qcAcquireInfo info;
  const qcPtrHandle<qcAcqImage> acq = planes->completeAcq(qfWait(info));
  const qc3PlanePelBuffer p = acq->threePlane();
  ASSERT_TRUE(p.isBound());
  EXPECT_TRUE(p.isLocal());
  const qcPackedRGB32Pel want = scene(13, 21, 40, 30);
  EXPECT_EQ(p.get(13, 21), qc3PlanePel(want.r(), want.g(), want.b()));
}

TEST(SimMulti, AFailureOnOneChannelFailsTheWholeCompletion) {
  auto f = colourFifo<qcStdRGB16AcqFifo>();
  qfSimInject(*f, "abnormal:5", 2);
  f->start(2);
  qcAcquireInfo info;
  EXPECT_FALSE(f->complete(qfWait(info)).isBound());
  EXPECT_TRUE(info.failure().isAbnormal());
  EXPECT_EQ(info.failure().abnormalErrorCode(), 5);
  // The channels stay in step: the next completion is whole.
  const auto img = f->complete(qfWait(info));
  ASSERT_TRUE(img.isBound());
  EXPECT_FALSE(info.failure());
  EXPECT_EQ(info.triggerNum(), 2u);
  const qcPackedRGB32Pel s = scene(39, 0, 40, 30);
  EXPECT_EQ(img.get(39, 0), qcPackedRGB16Pel(s.r(), s.g(), s.b()));
  EXPECT_THROW(qfSimSet(*f, qrn_sim::kChannel, "3"), qcAcqFifo::BadParams);
}

// A region of interest set while started acquisitions run: each of those
// completions is either a whole colour image or a failed acquisition, never
// an exception; the acquisitions started afterwards are whole, of the new
// region.
TEST(SimMulti, ARegionOfInterestSetWhileAcquisitionsRunNeverThrows) {
  auto f = colourFifo<qcStdRGB32AcqFifo>();
  qfSimSet(*f, qrn_sim::kFramePeriod, "0.001");
  qcRoiProp& roi = f->properties();
  for (int round = 0; round < 10; ++round) {
    SCOPED_TRACE(round);
    const qcPelRect r = round % 2 ? qcPelRect(0, 0, 40, 30) : qcPelRect(4, 2, 20 + round % 3 * 2, 16);
    f->start(4);
    roi.roi(r);
    for (int k = 0; k < 4; ++k) {
      qcAcquireInfo info;
      qcPelBuffer<qcPackedRGB32Pel> img;
      EXPECT_NO_THROW(img = f->complete(qfWait(info)));
      EXPECT_EQ(img.isBound(), !info.failure());
    }
    f->start(1);
    qcAcquireInfo info;
    const qcPelBuffer<qcPackedRGB32Pel> after = f->complete(qfWait(info));
    ASSERT_TRUE(after.isBound()) << info.failure().errorInfo();
    EXPECT_EQ(qcPelRect(after.offset().x, after.offset().y, after.width(), after.height()), r);
  }
}

TEST(SimMulti, AnInputLineTriggersEveryChannel) {
  auto f = colourFifo<qcStdRGB32AcqFifo>();
  f->triggerModel(qfAutoTrigger());
  // The master is held while every channel changes; the change still lands.
  static_cast<qcExposureProp&>(f->properties()).exposure(0.005);
  EXPECT_TRUE(f->triggerEnable());
  qfSimFireInputLine(*f);
  qcAcquireInfo info;
  const auto img = f->complete(qfWait(info));
  ASSERT_TRUE(img.isBound());
  const qcPackedRGB32Pel s = scene(20, 10, 40, 30);
  EXPECT_NEAR(img.get(20, 10).g(), s.g() / 2, 1);  // half the exposure on every channel
  EXPECT_NEAR(img.get(20, 10).r(), s.r() / 2, 1);
}

// ---- the dual-tap equalizer on "twotap" ----------------------------------------------

struct Tails {
  long lo[2], hi[2];  // [even, odd] rows
  double mean[2];
};

// 200-pel tails and means of both line sets in the central half of a grey image.
Tails measure(const qcPelBuffer<unsigned char>& img) {
  std::vector<long> h[2] = {std::vector<long>(256), std::vector<long>(256)};
  double sum[2] = {0, 0}, n[2] = {0, 0};
  for (long y = img.height() / 4; y < img.height() / 4 + img.height() / 2; ++y)
    for (long x = img.width() / 4; x < img.width() / 4 + img.width() / 2; ++x) {
      const int v = img.get(x, y);
      ++h[y & 1][static_cast<std::size_t>(v)];
      sum[y & 1] += v;
      ++n[y & 1];
    }
  Tails t{};
  for (int k = 0; k < 2; ++k) {
    long s = 0;
    for (long i = 0; i < 256 && s <= 200; ++i) s += h[k][static_cast<std::size_t>(t.lo[k] = i)];
    s = 0;
    for (long i = 255; i >= 0 && s <= 200; --i) s += h[k][static_cast<std::size_t>(t.hi[k] = i)];
    t.mean[k] = sum[k] / n[k];
  }
  return t;
}

qcPtrHandle<qcGreyAcqFifo> twoTapFifo(double gain, double offset) {
  static qcSimTestFormat fmt("multi sim 640x480", 640, 480);
  auto f = qfSimFifo<qcStdGreyAcqFifo>(fmt.fmt);
  qcCustomPropertyBag bag;
  bag.addItem(qcCustomPropertyBag::qeWrite, qrn_sim::kTestImage, "twotap");
  bag.addItem(qcCustomPropertyBag::qeWrite, qrn_sim::kTapGain, std::to_string(gain));
  bag.addItem(qcCustomPropertyBag::qeWrite, qrn_sim::kTapOffset, std::to_string(offset));
  qfSimSend(*f, bag);
  return qcPtrHandle<qcGreyAcqFifo>(f);
}

Tails grabTails(qcGreyAcqFifo& f) {
  qcAcquireInfo info;
  f.start(1);
  const auto img = f.complete(qfWait(info));
  EXPECT_TRUE(img.isBound());
  return measure(img);
}

TEST(SimEqualizer, EqualizingBringsTheLineSetsWithinTolerance) {
  struct Case {
    double gain, offset;
  } cases[] = {{1.25, -16}, {0.8, 20}, {1.0, 14}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.gain) + " " + std::to_string(c.offset));
    auto f = twoTapFifo(c.gain, c.offset);
    const Tails before = grabTails(*f);
    ASSERT_GT(std::abs(before.hi[1] - before.hi[0]) + std::abs(before.lo[1] - before.lo[0]), 12);

    qcEqualizeResults odd, even;
    const qcEqualizeTailParams tail(0, 200, 0.0, 10);
    ASSERT_TRUE(qfEqualize_3(f, qcEqualizeParams(tail, tail), odd, even));
    // The changed channel's results say its tails ended within tolerance.
    auto passed = [](const qcEqualizeResults& r) {
      return r.leftTailResults().passedTolerance() && r.rightTailResults().passedTolerance();
    };
    EXPECT_TRUE(passed(odd) || passed(even));

    const Tails after = grabTails(*f);
    EXPECT_LE(std::abs(after.lo[1] - after.lo[0]), 10);
    EXPECT_LE(std::abs(after.hi[1] - after.hi[0]), 10);
    EXPECT_LT(std::fabs(after.mean[1] - after.mean[0]), std::fabs(before.mean[1] - before.mean[0]));
    // The trigger model and the input table are the FIFO's own again.
    EXPECT_STREQ(f->triggerModel().name(), "Manual");
    EXPECT_EQ(static_cast<qc8BitInputLutProp&>(f->properties()).inputLut8Ex(0)[100], 100);
  }
}

TEST(SimEqualizer, EqualizeTwoUsesTheDefaultsAndMatchedTapsStayAsTheyAre) {
  auto f = twoTapFifo(1.25, -16);
  EXPECT_TRUE(qfEqualize_2(f));
  const qcContrastBrightnessProp& cb = f->properties();
  EXPECT_GT(cb.contrast(qcContrastBrightnessProp::channel0), 0.0);  // the narrower even lines are raised
  EXPECT_EQ(cb.contrast(qcContrastBrightnessProp::channel1), 0.0);

  auto same = twoTapFifo(1.0, 0.0);
  const qcContrastBrightnessProp& cbSame = same->properties();
  EXPECT_TRUE(qfEqualize_2(same));
  EXPECT_EQ(cbSame.contrast(qcContrastBrightnessProp::channel0), 0.0);
  EXPECT_EQ(cbSame.contrast(qcContrastBrightnessProp::channel1), 0.0);
}

TEST(SimEqualizer, ADarkImageIsRefused) {
  auto f = twoTapFifo(1.0, 0.0);
  qfSimSet(*f, qrn_sim::kTestImage, "flat");
  qfSimSet(*f, qrn_sim::kFlatValue, "0");
  qcDualTapEqualizer eq(f, qcEqualizeParams(), qcEqualizeResults(), qcEqualizeResults());
  qcPelBuffer<unsigned char> img;
  long t[4];
  EXPECT_FALSE(eq.acquireImage(img, t[0], t[1], t[2], t[3]));
  EXPECT_FALSE(qfEqualize_2(f));
}

TEST(SimEqualizer, TheSimplerProcedureMatchesTheLineMeans) {
  auto f = twoTapFifo(0.8, 20);
  const Tails before = grabTails(*f);
  ASSERT_TRUE(qfEqualize_1(f));
  const Tails after = grabTails(*f);
  EXPECT_LT(std::fabs(after.mean[1] - after.mean[0]), 2.0) << before.mean[0] << " " << before.mean[1];
  EXPECT_DOUBLE_EQ(static_cast<qcExposureProp&>(f->properties()).exposure(), 0.01);  // put back
}

}  // namespace
