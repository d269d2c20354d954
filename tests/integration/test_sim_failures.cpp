// Failures on the simulated board: every qcAcqFailure flag injected on
// demand, and the timeout, missed-trigger and overrun paths as they happen.
#include <atomic>
#include <mutex>
#include <vector>

#include <qrn/acq/hyper/trigmodel.h>

#include "sim_fixture.h"

namespace {

qcSimTestFormat& small() {
  static qcSimTestFormat f("SimTest 12x10", 12, 10);
  return f;
}

using Fifo = qcPtrHandle<qcStdGreyAcqFifo>;

TEST(SimFailures, EveryFailureFlagCanBeInjected) {
  struct Case {
    const char* name;
    bool (qcAcqFailure::*flag)() const;
    bool image;
  } cases[] = {
      {"timeout", &qcAcqFailure::isTimeout, false},         {"missed", &qcAcqFailure::isMissed, false},
      {"abnormal", &qcAcqFailure::isAbnormal, false},       {"incomplete", &qcAcqFailure::isIncomplete, true},
      {"tooFastEncoder", &qcAcqFailure::isTooFastEncoder, true}, {"invalidRoi", &qcAcqFailure::isInvalidRoi, false},
      {"overrun", &qcAcqFailure::isOverrun, false},         {"otherFifoError", &qcAcqFailure::isOtherFifoError, false},
      {"timingError", &qcAcqFailure::isTimingError, true},
  };
  Fifo f = qfSimFifo<qcStdGreyAcqFifo>(small().fmt);
  qfSimSet(*f, qrn_sim::kTestImage, "flat");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    qfSimInject(*f, c.name);
    f->start(2);
    qcAcquireInfo bad, good;
    auto img = f->complete(qfWait(bad));
    EXPECT_TRUE((bad.failure().*c.flag)());
    EXPECT_EQ(bad.failure().rawFlags() & (bad.failure().rawFlags() - 1), 0u) << "one flag only";
    EXPECT_EQ(img.isBound(), c.image);
    // The failure is used once: the next acquisition is sound.
    EXPECT_TRUE(f->complete(qfWait(good)).isBound());
    EXPECT_FALSE(good.failure());
    EXPECT_EQ(good.triggerNum(), bad.triggerNum() + 1);
  }
}

TEST(SimFailures, AbnormalCarriesTheCodeAndIncompleteTheTopHalf) {
  Fifo f = qfSimFifo<qcStdGreyAcqFifo>(small().fmt);
  qfSimSet(*f, qrn_sim::kTestImage, "flat");
  qfSimInject(*f, "abnormal:77");
  qfSimInject(*f, "incomplete");
  f->start(2);
  qcAcquireInfo info;
  EXPECT_FALSE(f->complete(qfWait(info)).isBound());
  EXPECT_EQ(info.failure().abnormalErrorCode(), 77);
  EXPECT_FALSE(info.failure().errorInfo().empty());
  auto img = f->complete(qfWait(info));
  ASSERT_TRUE(img.isBound());
  EXPECT_TRUE(info.failure().isIncomplete());
  EXPECT_EQ(img.get(5, 4), 128);  // rows 0..4 came
  EXPECT_EQ(img.get(5, 5), 0);    // rows 5..9 did not
  EXPECT_THROW(qfSimInject(*f, "abnormal:x"), qcAcqFifo::BadParams);
}

TEST(SimFailures, InjectedOverrunRunsTheOverrunCallbacks) {
  Fifo f = qfSimFifo<qcStdGreyAcqFifo>(small().fmt);
  std::atomic<int> plain{0};
  std::atomic<unsigned long> trig{0};
  static_cast<qcOverrunCallbackProp&>(f->properties()).overrunCallback(qfMakeCallback([&] { ++plain; }));
  f->overrunInfoCallback(qfMakeCallback1<const qcAcquireInfo&>([&](const qcAcquireInfo& i) {
    if (i.failure().isOverrun()) trig = i.triggerNum();
  }));
  qfSimInject(*f, "overrun");
  f->start(1);
  qcAcquireInfo info;
  EXPECT_FALSE(f->complete(qfWait(info)).isBound());
  EXPECT_TRUE(info.failure().isOverrun());
  EXPECT_TRUE(qfEventually([&] { return plain.load() == 1 && trig.load() == info.triggerNum(); }));
  static_cast<qcOverrunCallbackProp&>(f->properties()).overrunCallback(qcPtrHandle<qcCallback>());
  f->overrunInfoCallback(qcAcqFifo::InfoCallback());
}

TEST(SimFailures, TimeoutPropertyFailsAcquisitionsThatGetNoTrigger) {
  Fifo f = qfSimFifo<qcStdGreyAcqFifo>(small().fmt);
  f->triggerModel(qfSemiTrigger());
  static_cast<qcTimeoutProp&>(f->properties()).timeout(0.05);
  std::atomic<int> completes{0};
  f->completeInfoCallback(qfMakeCallback1<const qcAcquireInfo&>([&](const qcAcquireInfo& i) {
    if (i.failure().isTimeout()) ++completes;
  }));
  f->start(1);
  qcAcquireInfo info;
  auto img = f->complete(qfWait(info));
  EXPECT_FALSE(img.isBound());
  EXPECT_TRUE(info.failure().isTimeout());
  EXPECT_TRUE(qfEventually([&] { return completes.load() == 1; }));
  EXPECT_TRUE(f->isIdle());
  f->completeInfoCallback(qcAcqFifo::InfoCallback());
}

TEST(SimFailures, OlderCompletionFormReportsFailureAndTriggerNumber) {
  Fifo f = qfSimFifo<qcStdGreyAcqFifo>(small().fmt);
  qfSimInject(*f, "timingError");
  f->start(1);
  qcAcqFailure failure;
  unsigned long trig = 0;
  auto img = f->complete(&failure, &trig, true, 2.0);
  EXPECT_TRUE(img.isBound());
  EXPECT_TRUE(failure.isTimingError());
  EXPECT_GE(trig, 1u);
}

TEST(SimFailures, FreeRunOverrunsWhenThePoolIsFull) {
  Fifo f = qfSimFifo<qcStdGreyAcqFifo>(small().fmt);
  f->hardwareImagePoolSize(2);
  std::atomic<int> overruns{0};
  f->overrunInfoCallback(qfMakeCallback1<const qcAcquireInfo&>([&](const qcAcquireInfo& i) {
    if (i.failure().isOverrun()) ++overruns;
  }));
  f->triggerModel(qfFreeRunTrigger());
  // Nobody completes: two frames fill the pool, later frames are lost.  (A
  // frame whose slot passes while the board is busy, on a slow machine, is
  // lost too: the kept two need not be neighbours.)
  EXPECT_TRUE(qfEventually([&] { return overruns.load() >= 2 && f->completedAcqs() == 2; }));
  f->triggerEnable(false);
  EXPECT_EQ(f->completedAcqs(), 2);
  qcAcquireInfo a, b;
  ASSERT_TRUE(f->complete(qfWait(a)).isBound());
  ASSERT_TRUE(f->complete(qfWait(b)).isBound());
  EXPECT_FALSE(a.failure());
  EXPECT_FALSE(b.failure());
  EXPECT_GT(b.triggerNum(), a.triggerNum());
  f->overrunInfoCallback(qcAcqFifo::InfoCallback());
}

TEST(SimFailures, PulsesDuringAFrameAreMissed) {
  // Frames of 0.2 s: the second pulse comes while the first frame is taken.
  Fifo f = qfSimFifo<qcStdGreyAcqFifo>(small().fmt, 0.2);
  f->triggerModel(qfAutoTrigger());
  qcTriggerFilterProp& tf = f->properties();
  tf.ignoreMissedTrigger(false);
  f->trigger();
  ASSERT_TRUE(qfEventually([&] { return f->isAcquiring(); }));
  f->trigger();  // missed
  qcAcquireInfo first, second;
  ASSERT_TRUE(f->complete(qfWait(first)).isBound());
  EXPECT_FALSE(first.failure());
  f->trigger();
  ASSERT_TRUE(f->complete(qfWait(second)).isBound());
  EXPECT_TRUE(second.failure().isMissed());
  EXPECT_EQ(second.triggerNum(), 3u);  // the missed pulse counted

  // Ignored when the trigger filter says so.
  tf.ignoreMissedTrigger(true);
  f->trigger();
  ASSERT_TRUE(qfEventually([&] { return f->isAcquiring(); }));
  f->trigger();
  ASSERT_TRUE(f->complete(qfWait(first)).isBound());
  f->trigger();
  ASSERT_TRUE(f->complete(qfWait(second)).isBound());
  EXPECT_FALSE(second.failure());
}

TEST(SimFailures, RegionOfInterestOutsideTheFrameFails) {
  Fifo f = qfSimFifo<qcStdGreyAcqFifo>(small().fmt);
  static_cast<qcRoiProp&>(f->properties()).roi(qcPelRect(50, 50, 4, 4));
  std::string why;
  EXPECT_FALSE(f->prepare(why, 1.0));
  EXPECT_FALSE(why.empty());
  f->start(1);
  qcAcquireInfo info;
  EXPECT_FALSE(f->complete(qfWait(info)).isBound());
  EXPECT_TRUE(info.failure().isInvalidRoi());
}

TEST(SimFailures, FifosGoAwayWhileAcquiring) {
  // Destroying FIFOs in every state joins their workers (no hang, no leak).
  for (const qcTriggerModel* m : {&qfManualTrigger(), &qfFreeRunTrigger(), &qfAutoTrigger()}) {
    Fifo f = qfSimFifo<qcStdGreyAcqFifo>(small().fmt, 0.001);
    f->triggerModel(*m);
    qfSimSet(*f, qrn_sim::kTriggerPeriod, "0.001");
    if (m->canStart()) f->start(50);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    qcAcquireInfo info;
    auto held = f->complete(qfWait(info).makeLocal(false));  // outlives its FIFO
    f = Fifo();
    if (held.isBound()) {
      EXPECT_EQ(held.width(), 12);
    }
  }
}

}  // namespace
