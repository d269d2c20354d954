// Trigger models, callbacks and master/slave set-ups on the simulated board.
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include <qrn/acq/hyper/trigmodel.h>

#include "sim_fixture.h"

namespace {

qcSimTestFormat& small() {
  static qcSimTestFormat f("SimTest 16x8", 16, 8);
  return f;
}
qcSimTestFormat& other() {
  static qcSimTestFormat f("SimTest 8x8", 8, 8);
  return f;
}

using Fifo = qcPtrHandle<qcStdGreyAcqFifo>;

TEST(SimTriggers, ManualHonoursStartCounts) {
  Fifo f = qfSimFifo<qcStdGreyAcqFifo>(small().fmt);
  EXPECT_TRUE(f->isIdle());
  ASSERT_TRUE(f->start(3));
  qcAcquireInfo info;
  for (unsigned long n = 1; n <= 3; ++n) {
    ASSERT_TRUE(f->complete(qfWait(info)).isBound());
    EXPECT_EQ(info.triggerNum(), n);
  }
  // No fourth acquisition: the completion's wait runs out.
  EXPECT_FALSE(f->complete(qfWait(info, 0.05)).isBound());
  EXPECT_TRUE(info.failure().isTimeout());
  EXPECT_EQ(info.triggerNum(), 0u);
  EXPECT_TRUE(f->isIdle());
  f->trigger();  // no effect in the manual model
  EXPECT_FALSE(f->complete(qfWait(info, 0.05)).isBound());
}

TEST(SimTriggers, ManualWaitsWhileTheTriggerIsDisabled) {
  Fifo f = qfSimFifo<qcStdGreyAcqFifo>(small().fmt);
  f->triggerEnable(false);
  EXPECT_FALSE(f->triggerEnable());
  f->start(1);
  qcAcquireInfo info;
  EXPECT_FALSE(f->complete(qfWait(info, 0.05)).isBound());
  EXPECT_TRUE(f->isWaiting());
  EXPECT_EQ(f->pendingAcqs(), 1);
  f->triggerEnable(true);
  EXPECT_TRUE(f->complete(qfWait(info)).isBound());
}

TEST(SimTriggers, FreeRunAcquiresContinuouslyWithoutStarts) {
  Fifo f = qfSimFifo<qcStdGreyAcqFifo>(small().fmt);
  f->triggerModel(qfFreeRunTrigger());
  EXPECT_THROW(f->start(1), qcAcqFifo::StartNotAllowed);
  qcAcquireInfo info;
  unsigned long last = 0;
  for (int i = 0; i < 5; ++i) {
    ASSERT_TRUE(f->complete(qfWait(info)).isBound());
    EXPECT_GT(info.triggerNum(), last);
    last = info.triggerNum();
  }
  f->triggerEnable(false);
  f->flush();
  EXPECT_FALSE(f->complete(qfWait(info, 0.05)).isBound());
}

TEST(SimTriggers, AutomaticTakesOneFramePerPulse) {
  Fifo f = qfSimFifo<qcStdGreyAcqFifo>(small().fmt);
  f->triggerModel(qfAutoTrigger());
  EXPECT_THROW(f->start(1), qcAcqFifo::StartNotAllowed);
  qcAcquireInfo info;
  EXPECT_FALSE(f->complete(qfWait(info, 0.05)).isBound());  // no pulse, no image
  qfSimFireInputLine(*f);
  ASSERT_TRUE(f->complete(qfWait(info)).isBound());
  EXPECT_EQ(info.triggerNum(), 1u);
  // A pulse on another line is not seen; one on the FIFO's line is.
  qfSimFireInputLine(*f, 1);
  EXPECT_FALSE(f->complete(qfWait(info, 0.05)).isBound());
  qfSimSet(*f, qrn_sim::kInputLine, "1");
  qfSimFireInputLine(*f, 1);
  EXPECT_TRUE(f->complete(qfWait(info)).isBound());
  // trigger() is a software pulse.
  f->trigger();
  EXPECT_TRUE(f->complete(qfWait(info)).isBound());
  EXPECT_EQ(info.triggerNum(), 3u);
}

TEST(SimTriggers, PulseGeneratorDrivesAutomaticTriggering) {
  Fifo f = qfSimFifo<qcStdGreyAcqFifo>(small().fmt);
  f->triggerModel(qfAutoTrigger());
  qfSimSet(*f, qrn_sim::kTriggerPeriod, "0.005");
  qcAcquireInfo info;
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(f->complete(qfWait(info)).isBound());
  qfSimSet(*f, qrn_sim::kTriggerPeriod, "0");
}

TEST(SimTriggers, SemiAutomaticArmsStartsForPulses) {
  Fifo f = qfSimFifo<qcStdGreyAcqFifo>(small().fmt);
  f->triggerModel(qfSemiTrigger());
  qcAcquireInfo info;
  qfSimFireInputLine(*f);  // nothing armed: the pulse is counted, nothing taken
  f->start(2);
  EXPECT_FALSE(f->complete(qfWait(info, 0.05)).isBound());
  EXPECT_TRUE(f->isWaiting());
  qfSimFireInputLine(*f);
  ASSERT_TRUE(f->complete(qfWait(info)).isBound());
  EXPECT_EQ(info.triggerNum(), 2u);
  EXPECT_EQ(f->pendingAcqs(), 1);
}

TEST(SimTriggers, TriggerDelayDelaysTheFrame) {
  Fifo f = qfSimFifo<qcStdGreyAcqFifo>(small().fmt, 0);
  f->triggerModel(qfAutoTrigger());
  qcTriggerFilterProp& tf = f->properties();
  tf.triggerDelay(0.05);
  const auto t0 = std::chrono::steady_clock::now();
  f->trigger();
  qcAcquireInfo info;
  ASSERT_TRUE(f->complete(qfWait(info)).isBound());
  EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(45));
}

TEST(SimTriggers, SlaveAcquiresWithItsMaster) {
  Fifo master = qfSimFifo<qcStdGreyAcqFifo>(small().fmt);
  Fifo slave = qfSimFifo<qcStdGreyAcqFifo>(small().fmt);
  qcCameraPortProp& port = slave->properties();
  port.cameraPort(1);
  slave->triggerModel(qfSlaveTrigger());
  qcTriggerProp& tp = slave->properties();
  EXPECT_TRUE(tp.couldSlaveTo(master));
  EXPECT_FALSE(tp.couldSlaveTo(slave));
  tp.triggerMaster(master);
  EXPECT_TRUE(slave->isValid());
  EXPECT_THROW(slave->start(1), qcAcqFifo::StartNotAllowed);
  master->start(2);
  for (int i = 0; i < 2; ++i) {
    qcAcquireInfo mi, si;
    ASSERT_TRUE(master->complete(qfWait(mi)).isBound());
    ASSERT_TRUE(slave->complete(qfWait(si)).isBound());
    EXPECT_EQ(si.triggerNum(), mi.triggerNum());
    EXPECT_EQ(si.timeStamp(), mi.timeStamp());
  }
  // A master that goes away leaves the slave without one.
  tp.triggerMaster(qcPtrHandle<qcAcqFifo>());
  qcAcqProblem p;
  EXPECT_FALSE(slave->isValid(&p));
  EXPECT_TRUE(p.slaveTriggerNoMaster());
  EXPECT_TRUE(p.hasInvalidMaster());
}

TEST(SimTriggers, InvalidMasterSlaveSetUpsAreReported) {
  Fifo master = qfSimFifo<qcStdGreyAcqFifo>(small().fmt);
  Fifo slave = qfSimFifo<qcStdGreyAcqFifo>(other().fmt);
  qcTriggerProp& tp = slave->properties();
  tp.triggerMaster(master);  // still Manual, other size, same port
  qcAcqProblem p;
  EXPECT_FALSE(slave->isValid(&p));
  EXPECT_TRUE(p.slaveNotSlaveTrigger());
  EXPECT_TRUE(p.mismatchedFormats());
  EXPECT_TRUE(p.slavePortInvalid());
  EXPECT_FALSE(p.mismatchedExposures());
  EXPECT_TRUE(p.hasInvalidSlave());

  master->triggerModel(qfSlaveTrigger());
  static_cast<qcExposureProp&>(slave->properties()).exposure(0.02);
  EXPECT_THROW(static_cast<qcCameraPortProp&>(slave->properties()).cameraPort(7), qcCameraPortProp::BadParams);
  slave->fifo().cameraPort(7);  // past the property's check: the driver still flags it
  qcAcqProblem q;
  EXPECT_FALSE(slave->isValid(&q));
  EXPECT_TRUE(q.masterIsSlaveTrigger());
  EXPECT_TRUE(q.mismatchedExposures());
  EXPECT_TRUE(q.invalidCameraPort());
  EXPECT_FALSE(q.slavePortInvalid());

  // No cycles, and no masters of another kind.
  qcTriggerProp& mp = master->properties();
  EXPECT_FALSE(mp.couldSlaveTo(slave));
  EXPECT_THROW(slave->fifo().triggerMaster(&slave->fifo()), qcAcqFifo::InvalidMaster);
  EXPECT_TRUE(master->isValid() == false);  // a Slave model without a master
}

// ---- callbacks ---------------------------------------------------------------------

struct Recorder {
  std::mutex m;
  std::vector<std::string> events;
  std::vector<qcAcquireInfo> infos;
  void add(const std::string& e, const qcAcquireInfo* info = nullptr) {
    std::lock_guard<std::mutex> g(m);
    events.push_back(e);
    if (info) infos.push_back(*info);
  }
  std::vector<std::string> snapshot() {
    std::lock_guard<std::mutex> g(m);
    return events;
  }
};

TEST(SimCallbacks, MovePartThenCompleteWithAcquireInfoAndLightEvents) {
  Fifo f = qfSimFifo<qcStdGreyAcqFifo>(small().fmt);
  auto rec = std::make_shared<Recorder>();
  auto info = [rec](const char* name) {
    return qfMakeCallback1<const qcAcquireInfo&>([rec, name](const qcAcquireInfo& i) { rec->add(name, &i); });
  };
  static_cast<qcMovePartCallbackProp&>(f->properties()).movePartCallback(qfMakeCallback([rec] { rec->add("move"); }));
  static_cast<qcCompleteCallbackProp&>(f->properties()).completeCallback(qfMakeCallback([rec] { rec->add("complete"); }));
  f->movePartInfoCallback(info("moveInfo"));
  f->completeInfoCallback(info("completeInfo"));
  qcLightProp& light = f->properties();
  light.lightCallback(qfMakeCallback1<const void*>([rec](const void* p) {
    const auto* e = static_cast<const qsSimLightEvent*>(p);
    rec->add(e->kind == qsSimLightEvent::strobe ? "strobe" : "light");
  }));
  qcStrobeProp& strobe = f->properties();
  strobe.strobeEnable(true);
  light.lightEnable(true);
  light.lightPower(0.5);
  qfSimSet(*f, qrn_sim::kAppTag, "42");
  f->start(1);
  qcAcquireInfo done;
  ASSERT_TRUE(f->complete(qfWait(done)).isBound());
  ASSERT_TRUE(qfEventually([&] { return rec->snapshot().size() == 6; }));
  EXPECT_EQ(rec->snapshot(), (std::vector<std::string>{"strobe", "light", "move", "moveInfo", "complete", "completeInfo"}));
  std::lock_guard<std::mutex> g(rec->m);
  ASSERT_EQ(rec->infos.size(), 2u);
  for (const qcAcquireInfo& i : rec->infos) {
    EXPECT_EQ(i.appTag(), 42u);
    EXPECT_EQ(i.triggerNum(), done.triggerNum());
    EXPECT_EQ(i.timeStamp(), done.timeStamp());
  }
  EXPECT_EQ(done.appTag(), 42u);
}

TEST(SimCallbacks, TimeStampsFollowTheBoardClock) {
  Fifo f = qfSimFifo<qcStdGreyAcqFifo>(small().fmt, 0.01);
  f->start(2);
  qcAcquireInfo a, b;
  ASSERT_TRUE(f->complete(qfWait(a)).isBound());
  ASSERT_TRUE(f->complete(qfWait(b)).isBound());
  EXPECT_GE(b.timeStamp() - a.timeStamp(), 9000u);  // microseconds, one frame apart
}

TEST(SimCallbacks, CompleteCallbackMayCompleteFromTheWorkerThread) {
  Fifo f = qfSimFifo<qcStdGreyAcqFifo>(small().fmt);
  std::atomic<int> got{0};
  qcStdGreyAcqFifo* raw = f.ptr();
  f->completeInfoCallback(qfMakeCallback1<const qcAcquireInfo&>([&, raw](const qcAcquireInfo&) {
    qcAcquireInfo i;
    if (raw->complete(qcAcqFifo::CompleteArgs().maxWait(0).acquireInfo(&i)).isBound()) ++got;
  }));
  f->start(3);
  EXPECT_TRUE(qfEventually([&] { return got.load() == 3; }));
  f->completeInfoCallback(qcAcqFifo::InfoCallback());
}

}  // namespace
