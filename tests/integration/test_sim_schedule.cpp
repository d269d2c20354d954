// The simulated board's frame schedule, counts and limits: frames on the
// camera's clock, starts that are counters, the image pool's bound and
// prepare's deadline, and failures on the worker thread that become the
// acquisition's record instead of ending the process.
#include <climits>
#include <cmath>
#include <stdexcept>
#include <vector>

#include <qrn/acq/hyper/trigmodel.h>

#include "sim_fixture.h"

namespace {

using Fifo = qcPtrHandle<qcStdGreyAcqFifo>;

qcSimTestFormat& small() {
  static qcSimTestFormat f("SimSchedule 64x48", 64, 48);
  return f;
}

// Time stamps (microseconds) follow the clock: frame k of a stream starts k
// periods after the first.  Free-running, a frame lost on the way (a slow
// machine) keeps its trigger number, so trigger numbers count periods; a
// started acquisition that found the board late takes a later frame, whose
// stamp is still on the grid.
TEST(SimSchedule, FramesFollowTheClock) {
  constexpr double kPeriod = 0.01;
  constexpr int kFrames = 30;
  for (bool freeRun : {true, false}) {
    SCOPED_TRACE(freeRun ? "free-running" : "started");
    Fifo f = qfSimFifo<qcStdGreyAcqFifo>(small().fmt, kPeriod);
    if (freeRun)
      f->triggerModel(qfFreeRunTrigger());
    else
      f->start(kFrames);
    std::vector<qcAcquireInfo> got;
    const auto begin = std::chrono::steady_clock::now();
    while (got.size() < kFrames) {
      qcAcquireInfo info;
      ASSERT_TRUE(f->complete(qfWait(info)).isBound());
      ASSERT_FALSE(info.failure());
      got.push_back(info);
    }
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    f->triggerEnable(false);
    const qcAcquireInfo& first = got.front();
    double periods = 0;  // periods from the first frame to the last
    for (const qcAcquireInfo& i : got) {
      const double at = static_cast<double>(i.timeStamp() - first.timeStamp()) * 1e-6 / kPeriod;
      EXPECT_NEAR(at, std::round(at), 1e-3) << "frame " << i.triggerNum() << " off the grid";
      if (freeRun) {
        EXPECT_NEAR(at, static_cast<double>(i.triggerNum() - first.triggerNum()), 1e-3);
      }
      EXPECT_GE(at, periods + (&i == &first ? 0.0 : 0.999)) << "frame " << i.triggerNum() << " too early";
      periods = at;
    }
    // The mean period: that of the camera (free-running, over the trigger
    // numbers), never shorter when started.
    const double mean = periods * kPeriod / static_cast<double>(freeRun ? got.back().triggerNum() - first.triggerNum()
                                                                        : got.size() - 1);
    EXPECT_GE(mean, 0.95 * kPeriod);
    if (freeRun) {
      EXPECT_LE(mean, 1.05 * kPeriod);
    }
    // Delivered in real time, not faster than the camera.
    EXPECT_GE(wall, 0.9 * (kFrames - 1) * kPeriod);
  }
}

// start(n) keeps a count, whatever n: a hundred million acquisitions that
// time out together are handed out one by one.
TEST(SimSchedule, StartCountsAreCountersNotRecords) {
  Fifo f = qfSimFifo<qcStdGreyAcqFifo>(small().fmt);
  f->triggerEnable(false);  // nothing is taken: they wait
  constexpr unsigned long kMany = 100000000;
  f->start(kMany);
  EXPECT_EQ(f->pendingAcqs(), static_cast<long>(kMany));
  static_cast<qcTimeoutProp&>(f->properties()).timeout(0.02);
  f->start(kMany);
  ASSERT_TRUE(qfEventually([&] { return f->completedAcqs() == static_cast<long>(kMany); }));
  EXPECT_EQ(f->pendingAcqs(), static_cast<long>(kMany));  // the first start has no timeout
  for (int i = 0; i < 3; ++i) {
    qcAcquireInfo info;
    EXPECT_FALSE(f->complete(qfWait(info)).isBound());
    EXPECT_TRUE(info.failure().isTimeout());
  }
  EXPECT_EQ(f->completedAcqs(), static_cast<long>(kMany - 3));
  f->flush();
  EXPECT_EQ(f->completedAcqs(), 0);
  EXPECT_EQ(f->pendingAcqs(), 0);
}

TEST(SimSchedule, PoolSizeHasABoundAndPrepareItsDeadline) {
  Fifo f = qfSimFifo<qcStdGreyAcqFifo>(small().fmt);
  EXPECT_THROW(f->hardwareImagePoolSize(1025), qcAcqFifo::BadParams);
  EXPECT_THROW(f->hardwareImagePoolSize(LONG_MAX), qcAcqFifo::BadParams);
  EXPECT_EQ(f->hardwareImagePoolSize(), f->defaultHardwareImagePoolSize());
  f->hardwareImagePoolSize(1024);
  std::string message;
  EXPECT_FALSE(f->prepare(message, 0.0));  // no time for 1024 images
  EXPECT_FALSE(message.empty());
  EXPECT_TRUE(f->prepare(message, 30.0));
  EXPECT_TRUE(message.empty());
  f->start(1);
  qcAcquireInfo info;
  EXPECT_TRUE(f->complete(qfWait(info)).isBound());
}

// A callback that throws on the worker thread fails that acquisition (with
// the reason) and nothing else; the next one is sound.
TEST(SimSchedule, ExceptionsOnTheWorkerBecomeTheAcquisitionsFailure) {
  Fifo f = qfSimFifo<qcStdGreyAcqFifo>(small().fmt);
  int calls = 0;
  static_cast<qcMovePartCallbackProp&>(f->properties()).movePartCallback(qfMakeCallback([&] {
    if (++calls == 1) throw std::runtime_error("application failure");
  }));
  f->completeInfoCallback(qfMakeCallback1<const qcAcquireInfo&>([](const qcAcquireInfo&) { throw 42; }));
  f->start(2);
  qcAcquireInfo info;
  EXPECT_FALSE(f->complete(qfWait(info)).isBound());
  EXPECT_TRUE(info.failure().isAbnormal());
  EXPECT_NE(info.failure().errorInfo().find("application failure"), std::string::npos) << info.failure().errorInfo();
  EXPECT_TRUE(f->complete(qfWait(info)).isBound());
  EXPECT_FALSE(info.failure());
  f->completeInfoCallback(qcAcqFifo::InfoCallback());
}

// A region of interest whose edge overflows is refused by the board; one that
// reaches past the frame is cut to it.
TEST(SimSchedule, RegionsOfInterestWithOverflowingEdges) {
  Fifo f = qfSimFifo<qcStdGreyAcqFifo>(small().fmt);
  EXPECT_THROW(f->fifo().roi(qcPelRect(1, 1, LONG_MAX, LONG_MAX)), qcAcqFifo::BadParams);
  EXPECT_THROW(f->fifo().roi(qcPelRect(LONG_MAX, 0, 1, 1)), qcAcqFifo::BadParams);
  f->fifo().roi(qcPelRect(1, 2, LONG_MAX - 1, LONG_MAX - 2));
  EXPECT_EQ(f->fifo().actualRoi(), qcPelRect(1, 2, 63, 46));
  f->start(1);
  qcAcquireInfo info;
  auto img = f->complete(qfWait(info));
  ASSERT_TRUE(img.isBound());
  EXPECT_EQ(img.width(), 63);
  EXPECT_EQ(img.height(), 46);
}

}  // namespace
