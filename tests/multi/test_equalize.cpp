// The dual-tap equalizer's measurements and arithmetic.
#include <gtest/gtest.h>

#include <qrn/acq/hyper/prop/equalize.h>

#include "../integration/sim_fixture.h"
#include "fake_fifo.h"
#include "fake_grabber.h"

namespace {

// A grey FIFO over a recording driver FIFO of two taps, with a 64 x 48
// format of its own.
class FakeGreyFifo : public qcGreyAcqFifo {
public:
  explicit FakeGreyFifo(qcRecordingAcqFifo* d) : qcGreyAcqFifo(prepared_(d)), drv(d) { props_.fifo(*d); }
  ~FakeGreyFifo() override { props_.clearFifoAssociation(); }
  const qcVideoFormat& videoFormat() const override { return fmt_; }
  qcFrameGrabber& frameGrabber() const override { throw std::logic_error("no grabber"); }
  qcRecordingAcqFifo* drv;

private:
  static qcRecordingAcqFifo& prepared_(qcRecordingAcqFifo* d) {
    d->answers.numTaps = 2;
    d->answers.lutEntries = 256;
    d->answers.actualRoi = qcPelRect(0, 0, 64, 48);
    return *d;
  }
  qcAcqProps& propertiesCovar() override { return props_; }
  qcTestVideoFormat fmt_{"fake grey 64x48", 64, 48};
  qcAnalogAcqProps props_;
};

qcPtrHandle<qcGreyAcqFifo> vgaFifo() {
  static qcSimTestFormat fmt("equalize 640x480", 640, 480);
  return qcPtrHandle<qcGreyAcqFifo>(qfSimFifo<qcStdGreyAcqFifo>(fmt.fmt));
}

qcEqualizeChannelProps channel(long origLo, long origHi, long fullLo, long fullHi) {
  qcEqualizeChannelProps c;
  c.origLoTail(origLo);
  c.origHiTail(origHi);
  c.fullLoTail(fullLo);
  c.fullHiTail(fullHi);
  c.oldContrast(0.25);
  c.oldBrightness(0.75);
  c.newContrast(0.25);
  c.newBrightness(0.75);
  return c;
}

TEST(Equalizer, MeasurementRectangleAndTailSizes) {
  auto f = vgaFifo();
  qcRoiProp& roi = f->properties();
  struct Case {
    qcPelRect roi;
    qcPelRect rect;
  } cases[] = {{qcPelRect(), qcPelRect(160, 120, 320, 240)},
               {qcPelRect(10, 10, 100, 50), qcPelRect(10, 10, 100, 50)},
               {qcPelRect(0, 0, 320, 100), qcPelRect(0, 0, 320, 100)},     // same width, lower: the ROI
               {qcPelRect(0, 0, 400, 100), qcPelRect(160, 120, 320, 240)}};  // wider: the centre
  for (const Case& c : cases) {
    roi.roi(c.roi);
    const qcDualTapEqualizer eq(f, qcEqualizeParams(), qcEqualizeResults(), qcEqualizeResults());
    EXPECT_EQ(eq.measurementRect(), c.rect);
  }
  roi.roi(qcPelRect());

  const qcDualTapEqualizer eq(f, qcEqualizeParams(), qcEqualizeResults(), qcEqualizeResults());
  struct Tail {
    long number;
    double percent;
    long pels;
  } tails[] = {{0, 0.0, 0},     {200, 0.0, 200},   {0, 0.01, 384},    {200, 0.01, 200},
               {1000, 0.01, 384}, {38400, 0.0, 0}, {-5, 0.0, 0}};  // half the rectangle: 0
  for (const Tail& t : tails) EXPECT_EQ(eq.getPelsInTail(qcEqualizeTailParams(0, t.number, t.percent, 0)), t.pels);

  // Targets given: both channels aim at them.
  const qcEqualizeTailParams lo(30, 200, 0, 5), hi(220, 200, 0, 5);
  const qcDualTapEqualizer targeted(f, qcEqualizeParams(lo, hi), qcEqualizeResults(), qcEqualizeResults());
  EXPECT_TRUE(targeted.targetsSpecified());
  EXPECT_EQ(targeted.oddChannel().origLoTail(), 30);
  EXPECT_EQ(targeted.evenChannel().origHiTail(), 220);
  EXPECT_EQ(targeted.pelsInLoTail(), 200);
  EXPECT_EQ(targeted.oddChannel().oldContrast(), 0.0);  // the FIFO's values
}

TEST(Equalizer, TailsAndGoodness) {
  qcDualTapEqualizer eq;
  std::vector<long> h(256, 0);
  h[3] = 5;
  h[10] = 100;
  h[200] = 50;
  h[250] = 2;
  long lo = -1, hi = -1;
  eq.calcTails(h, lo, hi);  // no pels excluded: the extremes
  EXPECT_EQ(lo, 3);
  EXPECT_EQ(hi, 250);
  eq.pelsInLoTail(5);
  eq.pelsInHiTail(52);
  eq.calcTails(h, lo, hi);
  EXPECT_EQ(lo, 10);
  EXPECT_EQ(hi, 10);
  eq.calcTails(std::vector<long>(3, 1), lo, hi);  // a short histogram reads as zeros beyond its end
  EXPECT_EQ(lo, 255);
  EXPECT_EQ(hi, 0);

  qcPelBuffer<unsigned char> img(2, 1);
  struct Case {
    unsigned char a, b;
    bool good;
  } cases[] = {{0, 1, false}, {1, 1, true}, {254, 254, true}, {254, 255, false}};
  for (const Case& c : cases) {
    img.set(0, 0, c.a);
    img.set(1, 0, c.b);
    EXPECT_EQ(eq.checkGoodness(img), c.good) << int(c.a) << " " << int(c.b);
  }
  EXPECT_FALSE(eq.checkGoodness(qcPelBuffer<unsigned char>()));
}

TEST(Equalizer, AdjustingOneChannelToTheOther) {
  struct Case {
    const char* name;
    qcEqualizeChannelProps ref, target;
    bool changed;
    long n, p;
    double contrast, brightness;
  } cases[] = {
      // Same span, 10 levels lower: the offset is the full 10 levels.
      {"offset", channel(80, 180, 0, 0), channel(0, 0, 70, 170), true, 0, 245, 10.0 / 254, 1.0},
      {"brighter", channel(70, 170, 0, 0), channel(0, 0, 80, 180), true, 10, 255, 10.0 / 254, 0.0},
      // Half the span: twice the gain.
      {"gain", channel(0, 200, 0, 0), channel(0, 0, 0, 100), true, 0, 127, 128.0 / 254, 1.0},
      {"window too narrow", channel(0, 255, 0, 0), channel(0, 0, 100, 102), false, 100, 102, 0.25, 0.75},
      {"flat reference", channel(50, 50, 0, 0), channel(0, 0, 20, 40), true, 0, 255, 0.0, 0.5},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(qcDualTapEqualizer::adjustChannel(c.ref, c.target), c.changed);
    EXPECT_EQ(c.target.refN(), c.n);
    EXPECT_EQ(c.target.refP(), c.p);
    EXPECT_NEAR(c.target.newContrast(), c.contrast, 1e-12);
    EXPECT_NEAR(c.target.newBrightness(), c.brightness, 1e-12);
  }
}

TEST(Equalizer, WhichChannelChanges) {
  struct Case {
    const char* name;
    qcEqualizeChannelProps odd, even;
    bool targets;
    bool result, changeOdd, changeEven;
  } cases[] = {
      {"nothing to change", channel(0, 255, 100, 102), channel(0, 255, 100, 102), false, false, false, false},
      // The odd lines span more: only the even ones can be raised to them.
      {"even narrower", channel(72, 196, 72, 196), channel(70, 170, 70, 170), false, true, false, true},
      {"odd narrower", channel(76, 156, 76, 156), channel(70, 170, 70, 170), false, true, true, false},
      // Equal windows: the channel with the higher offset stays.
      {"odd brighter", channel(80, 180, 80, 180), channel(70, 170, 70, 170), false, true, false, true},
      {"targets", channel(30, 220, 72, 196), channel(30, 220, 70, 170), true, true, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    qcDualTapEqualizer eq;
    eq.oddChannel(c.odd);
    eq.evenChannel(c.even);
    eq.targetsSpecified(c.targets);
    EXPECT_EQ(eq.getBestContrastBrightness(), c.result);
    EXPECT_EQ(eq.changeOdd(), c.changeOdd);
    EXPECT_EQ(eq.changeEven(), c.changeEven);
    if (c.result && !c.changeOdd) {
      EXPECT_EQ(eq.oddChannel().newContrast(), 0.25);
    }
    if (c.result && !c.changeEven) {
      EXPECT_EQ(eq.evenChannel().newBrightness(), 0.75);
    }
  }
}

TEST(Equalizer, ResultsAgainstTheTolerance) {
  const qcEqualizeTailParams lo(0, 0, 0, 3), hi(0, 0, 0, 10);
  qcDualTapEqualizer eq(vgaFifo(), qcEqualizeParams(lo, hi), qcEqualizeResults(), qcEqualizeResults());
  qcEqualizeChannelProps odd = channel(70, 200, 0, 0), even = channel(0, 0, 0, 0);
  even.finalLoTail(73);
  even.finalHiTail(211);
  eq.oddChannel(odd);
  eq.evenChannel(even);
  eq.changeEven(true);
  EXPECT_FALSE(eq.getEqualizeResults());  // the bright tail is 11 off
  EXPECT_EQ(eq.evenResults().leftTailResults().tailResult(), 73);
  EXPECT_TRUE(eq.evenResults().leftTailResults().passedTolerance());
  EXPECT_FALSE(eq.evenResults().rightTailResults().passedTolerance());
  EXPECT_FALSE(eq.oddResults().leftTailResults().passedTolerance());  // untouched
  even.finalHiTail(190);
  eq.evenChannel(even);
  EXPECT_TRUE(eq.getEqualizeResults());
}

TEST(Equalizer, ProcedureOrderFailuresAndPuttingThePropertiesBack) {
  qcPtrHandle<FakeGreyFifo> f(new FakeGreyFifo(new qcRecordingAcqFifo));
  qcRecordingAcqFifo& d = *f->drv;
  long value = 100;
  unsigned long failure = 0;
  d.answers.complete8 = [&](const qc_AcqFifo::CompleteArgs& a) {
    EXPECT_EQ(a.maxWait(), qcDualTapEqualizer::kMaxWait);
    if (a.acquireInfo()) *a.acquireInfo() = qcAcquireInfo(0, 1, qcAcqFailure(failure, 0), 0);
    qcPelBuffer<unsigned char> b(64, 48);
    for (long y = 0; y < 48; ++y)
      for (long x = 0; x < 64; ++x) b.set(x, y, static_cast<unsigned char>(value));
    return b;
  };
  qcDualTapEqualizer eq{qcPtrHandle<qcGreyAcqFifo>(f), qcEqualizeParams(), qcEqualizeResults(), qcEqualizeResults()};
  qcPelBuffer<unsigned char> img;
  long t[4];
  d.clearCalls();
  ASSERT_TRUE(eq.acquireImage(img, t[0], t[1], t[2], t[3]));
  EXPECT_EQ(d.calls(), (std::vector<std::string>{"flush()", "start(1)", "complete8(5,false,true)", "start(1)",
                                                 "complete8(5,false,true)"}));
  EXPECT_EQ(t[0], 100);
  EXPECT_EQ(t[3], 100);
  failure = qcAcqFailure::kTimeout;
  EXPECT_FALSE(eq.acquireImage(img, t[0], t[1], t[2], t[3]));
  failure = 0;

  // An exception on the way: the FIFO's own settings come back, then it passes.
  qcTriggerProp& trig = f->properties();
  trig.triggerModel(qfFreeRunTrigger());
  qcContrastBrightnessProp& cb = f->properties();
  cb.contrastBrightness(0.3, 0.4);
  d.failing.insert("flush");
  qcEqualizeResults odd, even;
  EXPECT_THROW(qfEqualize_3(f, qcEqualizeParams(), odd, even), qcAcqFeatureNotImplemented);
  EXPECT_STREQ(f->triggerModel().name(), "FreeRun");
  EXPECT_EQ(cb.contrast(qcContrastBrightnessProp::channel1), 0.3);
  EXPECT_EQ(cb.brightness(qcContrastBrightnessProp::channel0), 0.4);
}

// Tails need pels: a measurement rectangle that holds too few pels of a line
// set for both tails (none at all when the image lies beside it) fails the
// measurement, and the procedure, with the reason in the results.
TEST(Equalizer, TooFewPelsForTheTailsIsAFailure) {
  struct Case {
    const char* what;
    qcPelRect roi;    // the FIFO's actual region of interest: the image
    long tailPels;
    bool measured;
  } cases[] = {
      {"rows above the rectangle only", qcPelRect(0, 0, 64, 6), 0, false},
      {"a 31x2 rectangle for 200-pel tails", qcPelRect(0, 0, 31, 2), 200, false},
      {"31 pels a line set for 15-pel tails", qcPelRect(0, 0, 31, 2), 15, true},
      {"31 pels a line set for 16-pel tails", qcPelRect(0, 0, 31, 2), 16, false},
      {"384 pels a line set for 100-pel tails", qcPelRect(0, 0, 64, 48), 100, true},
      {"384 pels a line set for 200-pel tails", qcPelRect(0, 0, 64, 48), 200, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto* d = new qcRecordingAcqFifo;
    qcPtrHandle<FakeGreyFifo> f(new FakeGreyFifo(d));
    d->answers.actualRoi = c.roi;
    d->answers.defaultSyncModel = &qfSyncInternalDrive();
    d->answers.complete8 = [&](const qc_AcqFifo::CompleteArgs& a) {
      if (a.acquireInfo()) *a.acquireInfo() = qcAcquireInfo(0, 1, qcAcqFailure(0, 0), 0);
      qcPelBuffer<unsigned char> b(c.roi.width(), c.roi.height());
      for (long y = 0; y < b.height(); ++y)
        for (long x = 0; x < b.width(); ++x) b.set(x, y, static_cast<unsigned char>(40 + x * 2 + (y & 1) * 30));
      b.offset(c.roi.x(), c.roi.y());
      return b;
    };
    const qcEqualizeTailParams tail(0, c.tailPels, 0.0, 10);
    qcDualTapEqualizer eq{qcPtrHandle<qcGreyAcqFifo>(f), qcEqualizeParams(tail, tail), qcEqualizeResults(),
                          qcEqualizeResults()};
    qcPelBuffer<unsigned char> img;
    long t[4] = {-1, -1, -1, -1};
    EXPECT_EQ(eq.acquireImage(img, t[0], t[1], t[2], t[3]), c.measured);
    if (c.measured) {
      EXPECT_LE(t[0], t[1]);
      EXPECT_LE(t[2], t[3]);
      EXPECT_EQ(eq.failureReason(), "");
      continue;
    }
    EXPECT_NE(eq.failureReason().find("too few"), std::string::npos) << eq.failureReason();
    qcEqualizeResults odd, even;
    EXPECT_FALSE(qfEqualize_3(f, qcEqualizeParams(tail, tail), odd, even));
    EXPECT_NE(odd.failure().find("too few"), std::string::npos) << odd.failure();
    EXPECT_EQ(even.failure(), odd.failure());
  }
}

}  // namespace
