#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <qrn/acq/hyper/acqfifo.h>
#include <qrn/acq/hyper/prop/acqprops.h>
#include <qrn/foundation/misc.h>

#include "fake_fifo.h"
#include "fake_grabber.h"

namespace {

using Args = qcAcqFifo::CompleteArgs;
using Status = qcAcqFifo::qeStartReqStatus;

// Counts debug assertions while alive.
class AssertCounter {
public:
  AssertCounter() {
    prev_ = qf_setAssertObserver([this](const char*, long) { ++n_; });
  }
  ~AssertCounter() { qf_setAssertObserver(prev_); }
  int count() const { return n_; }

private:
  std::atomic<int> n_{0};
  qcAssertObserver prev_;
};

// The smallest public FIFO: an 8-bit grey FIFO without a property set.
class TestFifo : public qcAcqFifo {
public:
  using qcAcqFifo::qcAcqFifo;

  qcPtrHandle<qcAcqImage> completeAcq(const CompleteArgs& a) override { return fifo().completeAcq(a); }
  const qcVideoFormat& videoFormat() const override { throw std::logic_error("no format"); }
  qcFrameGrabber& frameGrabber() const override { throw std::logic_error("no grabber"); }
  qeImageFormat imageFormat() const override { return qeImageFormat_Grey8; }

  qcPelBuffer<unsigned char> complete(qcAcqFailure* failure, unsigned long* triggerNum, bool makeLocal,
                                      double maxWait, bool autoStart, qeStartReqStatus* status) {
    return completeOlder_([this](const CompleteArgs& a) { return fifo().complete8(a); }, failure, triggerNum,
                          makeLocal, maxWait, autoStart, status);
  }

private:
  qc_PelBuffer* baseCompleteCovar(const CompleteArgs& a) override {
    qcPelBuffer<unsigned char> b = fifo().complete8(a);
    return b.isBound() ? new qcPelBuffer<unsigned char>(b) : nullptr;
  }
  qcAcqProps& propertiesCovar() override {
    if (!props) throw std::logic_error("no property set in this test");
    return *props;
  }

public:
  qcAcqProps* props = nullptr;  // not owned
};

class AcqFifoTest : public ::testing::Test {
protected:
  qcRecordingAcqFifo* drv = new qcRecordingAcqFifo;
  qcPtrHandle<qcAcqFifo> fifo{new TestFifo(*drv)};
};

// ---- completion arguments -------------------------------------------------------------

TEST(CompleteArgs, DefaultsAndChainedSetters) {
  const Args d;
  EXPECT_TRUE(d.makeLocal());
  EXPECT_EQ(d.maxWait(), HUGE_VAL);
  EXPECT_FALSE(d.autoStart());
  EXPECT_EQ(d.startReqStatus(), nullptr);
  EXPECT_EQ(d.acquireInfo(), nullptr);

  Status st{};
  qcAcquireInfo info;
  Args a;
  Args& r = a.makeLocal(false).maxWait(0.25).autoStart(true).startReqStatus(&st).acquireInfo(&info);
  EXPECT_EQ(&r, &a);
  EXPECT_FALSE(a.makeLocal());
  EXPECT_EQ(a.maxWait(), 0.25);
  EXPECT_TRUE(a.autoStart());
  EXPECT_EQ(a.startReqStatus(), &st);
  EXPECT_EQ(a.acquireInfo(), &info);
}

// ---- forwarding -------------------------------------------------------------------------

TEST_F(AcqFifoTest, StateQueriesAndActionsAreForwardedUnchanged) {
  drv->answers.start = false;
  drv->answers.idle = false;
  drv->answers.waiting = true;
  drv->answers.acquiring = true;
  drv->answers.movable = true;
  drv->answers.complete = true;
  drv->answers.pending = 3;
  drv->answers.completed = 4;
  drv->answers.available = 5;
  drv->answers.prepared = true;
  qcSemaphore sem(0, 1);

  EXPECT_FALSE(fifo->start(7));
  EXPECT_FALSE(fifo->isIdle());
  EXPECT_TRUE(fifo->isWaiting());
  EXPECT_TRUE(fifo->isAcquiring());
  EXPECT_TRUE(fifo->isMovable());
  EXPECT_TRUE(fifo->isComplete());
  EXPECT_EQ(fifo->pendingAcqs(), 3);
  EXPECT_EQ(fifo->completedAcqs(), 4);
  EXPECT_EQ(fifo->availableAcqs(), 5);
  EXPECT_TRUE(fifo->isPrepared());
  fifo->flush();
  fifo->trigger();
  fifo->waitForStateChange(&sem);
  EXPECT_EQ(drv->calls(), (std::vector<std::string>{"start(7)", "isIdle()", "isWaiting()", "isAcquiring()",
                                                    "isMovable()", "isComplete()", "pendingAcqs()",
                                                    "completedAcqs()", "availableAcqs()", "isPrepared()",
                                                    "flush()", "trigger()", "waitForStateChange(set)"}));
  EXPECT_EQ(&fifo->fifo(), drv);
}

TEST_F(AcqFifoTest, DriverExceptionsPassThrough) {
  drv->failing = {"start"};
  EXPECT_THROW(fifo->start(1), qcAcqFeatureNotImplemented);
}

TEST_F(AcqFifoTest, PrepareBuildsADeadlineAndPassesTheMessageOnlyWhenGiven) {
  drv->answers.prepareMessage = "camera not powered";
  drv->answers.prepare = false;
  EXPECT_FALSE(fifo->prepare(5.0));
  ASSERT_TRUE(drv->lastDeadline);
  EXPECT_GT(drv->lastDeadline->until(), 4.0);
  EXPECT_LE(drv->lastDeadline->until(), 5.0);

  std::string message;
  EXPECT_FALSE(fifo->prepare(message, HUGE_VAL));
  EXPECT_TRUE(drv->lastDeadline->isInfinite());
  EXPECT_EQ(message, "camera not powered");
  EXPECT_EQ(drv->callsNamed("prepare"), (std::vector<std::string>{"prepare(null)", "prepare(set)"}));
}

TEST_F(AcqFifoTest, PropertyQueryInitializesTheDriversQueryWithThePropertySetFirst) {
  qcAnalogAcqProps props;
  auto* tf = dynamic_cast<TestFifo*>(fifo.ptr());
  tf->props = &props;
  EXPECT_EQ(&fifo->properties(), static_cast<qcAcqProps*>(&props));
  // The recording driver has no query object: slot 111 throws after the
  // set was handed to slot 112.
  EXPECT_THROW(fifo->propertyQuery(), std::logic_error);
  EXPECT_EQ(drv->calls(), (std::vector<std::string>{"initializePropertyQuery(set)", "propertyQuery()"}));
  EXPECT_EQ(drv->queryProps, static_cast<qcAcqProps*>(&props));
}

// ---- validity -----------------------------------------------------------------------------

TEST_F(AcqFifoTest, IsValidReportsTheDriversAnswerAndFlags) {
  drv->answers.valid = false;
  drv->answers.validFlags = qcAcqProblem::kInvalidMasterOrSlave | qcAcqProblem::kMismatchedExposures;
  qcAcqProblem problem;
  EXPECT_FALSE(fifo->isValid(&problem));
  EXPECT_TRUE(problem.hasInvalidSlave());
  EXPECT_TRUE(problem.mismatchedExposures());
  EXPECT_FALSE(problem.badSyncModel());
  // Without a problem object the answer alone comes back.
  EXPECT_FALSE(fifo->isValid(nullptr));
  drv->answers.valid = true;
  drv->answers.validFlags = 0;
  EXPECT_TRUE(fifo->isValid());
}

TEST_F(AcqFifoTest, ADriverWithoutItsOwnIsValidMakesEveryFifoInvalid) {
  qcAcqProblem problem;
  EXPECT_FALSE(fifo->isValid(&problem));
  EXPECT_FALSE(fifo->isValid());
  EXPECT_FALSE(problem);
}

// ---- hardware image pool ------------------------------------------------------------------

TEST_F(AcqFifoTest, HardwareImagePoolSizeRejectsNegativeSizesAndOne) {
  drv->answers.hardwareImagePoolSize = 8;
  drv->answers.defaultHardwareImagePoolSize = 4;
  for (long bad : {-1L, -100L, 1L}) {
    EXPECT_THROW(fifo->hardwareImagePoolSize(bad), qcAcqFifo::BadParams) << bad;
  }
  EXPECT_EQ(drv->count("hardwareImagePoolSize"), 0u);
  for (long good : {0L, 2L, 100L}) {
    fifo->hardwareImagePoolSize(good);
    EXPECT_EQ(fifo->hardwareImagePoolSize(), good);
  }
  EXPECT_EQ(fifo->defaultHardwareImagePoolSize(), 4);
}

TEST_F(AcqFifoTest, ADriverWithoutAPoolAssertsAndAnswersZero) {
  AssertCounter asserts;
  EXPECT_EQ(fifo->defaultHardwareImagePoolSize(), 0);
  EXPECT_EQ(fifo->hardwareImagePoolSize(), 0);
  fifo->hardwareImagePoolSize(2);
  EXPECT_EQ(asserts.count(), 3);
}

// ---- numeric settings ---------------------------------------------------------------------

TEST_F(AcqFifoTest, SetPropertyValueFillsTheScalarRecord) {
  fifo->setPropertyValue(1005, 0.001);
  EXPECT_EQ(drv->calls(), (std::vector<std::string>{"setPropertyValue(1005,-1,0.001,0,0)"}));
  EXPECT_EQ(drv->lastScalar.value, 0.001);
}

// ---- acquisition-info callbacks -----------------------------------------------------------

TEST_F(AcqFifoTest, InfoCallbacksGoToTheDriverAndAreKept) {
  using Setter = void (qcAcqFifo::*)(qcAcqFifo::InfoCallback);
  using Getter = qcAcqFifo::InfoCallback (qcAcqFifo::*)() const;
  struct Case {
    const char* slot;
    Setter set;
    Getter get;
    qcAcqFifo::InfoCallback qcRecordingAcqFifo::*given;
  };
  const Case cases[] = {
      {"completeInfoCallback", &qcAcqFifo::completeInfoCallback, &qcAcqFifo::completeInfoCallback,
       &qcRecordingAcqFifo::completeInfoCb},
      {"movePartInfoCallback", &qcAcqFifo::movePartInfoCallback, &qcAcqFifo::movePartInfoCallback,
       &qcRecordingAcqFifo::movePartInfoCb},
      {"overrunInfoCallback", &qcAcqFifo::overrunInfoCallback, &qcAcqFifo::overrunInfoCallback,
       &qcRecordingAcqFifo::overrunInfoCb},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.slot);
    unsigned long seen = 0;
    auto cb = qfMakeCallback1<const qcAcquireInfo&>([&](const qcAcquireInfo& i) { seen = i.triggerNum(); });
    EXPECT_TRUE(((*fifo).*c.get)().isNull());
    ((*fifo).*c.set)(cb);
    EXPECT_EQ(((*fifo).*c.get)().ptr(), cb.ptr());
    ASSERT_EQ((drv->*c.given).ptr(), cb.ptr());
    // The driver calls it (on a thread of its choosing).
    (*(drv->*c.given))(qcAcquireInfo(0, 42, qcAcqFailure(), 0));
    EXPECT_EQ(seen, 42u);

    // A driver that refuses leaves the kept handle as it was.
    drv->failing = {c.slot};
    EXPECT_THROW(((*fifo).*c.set)(qfMakeCallback1<const qcAcquireInfo&>([](const qcAcquireInfo&) {})),
                 qcAcqFeatureNotImplemented);
    EXPECT_EQ(((*fifo).*c.get)().ptr(), cb.ptr());
    drv->failing.clear();

    ((*fifo).*c.set)(nullptr);
    EXPECT_TRUE(((*fifo).*c.get)().isNull());
    EXPECT_EQ(cb.refCount(), 1);
  }
}

TEST(AcqFifo, DestructorDeletesTheDriverFifoBeforeReleasingTheCallbacks) {
  auto* drv = new qcRecordingAcqFifo;
  auto cb = qfMakeCallback1<const qcAcquireInfo&>([](const qcAcquireInfo&) {});
  long refsWhileDriverDies = 0;
  bool driverDeleted = false;
  drv->onDestroy = [&] {
    driverDeleted = true;
    refsWhileDriverDies = cb.refCount();
  };
  {
    qcPtrHandle<qcAcqFifo> fifo(new TestFifo(*drv));
    fifo->completeInfoCallback(cb);
    EXPECT_EQ(cb.refCount(), 3);  // ours, the FIFO's and the driver's
  }
  EXPECT_TRUE(driverDeleted);
  EXPECT_EQ(refsWhileDriverDies, 3);
  EXPECT_EQ(cb.refCount(), 1);
}

// ---- completion ---------------------------------------------------------------------------

TEST_F(AcqFifoTest, OlderCompletionFormsFillArgumentsAndCopyTheRecordOut) {
  drv->answers.complete8 = [](const Args& a) {
    if (a.acquireInfo()) *a.acquireInfo() = qcAcquireInfo(5, 77, qcAcqFailure(0x1, 0), 123);
    if (a.startReqStatus()) *a.startReqStatus() = static_cast<Status>(3);
    return qcPelBuffer<unsigned char>(4, 2);
  };
  auto* tf = dynamic_cast<TestFifo*>(fifo.ptr());
  qcAcqFailure failure;
  unsigned long trig = 0;
  Status st{};
  qcPelBuffer<unsigned char> img = tf->complete(&failure, &trig, false, 0.5, true, &st);
  EXPECT_EQ(img.width(), 4);
  EXPECT_EQ(trig, 77u);
  EXPECT_TRUE(failure.isTimeout());
  EXPECT_EQ(static_cast<int>(st), 3);
  EXPECT_EQ(drv->calls(), (std::vector<std::string>{"complete8(0.5,true,false)"}));

  // baseComplete in the older form: a heap buffer; null pointers are skipped.
  std::unique_ptr<qc_PelBuffer> heap(fifo->baseComplete(nullptr, nullptr));
  ASSERT_TRUE(heap);
  EXPECT_EQ(heap->width(), 4);
  EXPECT_EQ(drv->callsNamed("complete8").back(), "complete8(inf,false,true)");
}

TEST_F(AcqFifoTest, BaseCompleteGivesNullWhenNoImageCame) {
  drv->answers.complete8 = [](const Args&) { return qcPelBuffer<unsigned char>(); };
  EXPECT_EQ(fifo->baseComplete(Args().maxWait(0)), nullptr);
  qcAcqFailure failure(0x2, 0);
  unsigned long trig = 9;
  EXPECT_EQ(fifo->baseComplete(&failure, &trig, true, 0.0), nullptr);
  EXPECT_FALSE(failure);  // the (empty) record of the completion is copied out
  EXPECT_EQ(trig, 0u);
}

// ---- framework defaults of the driver interface -------------------------------------------

TEST(AcqFifoDriver, TypedCompletionsThatTheDriverLacksAssertAndReturnNothing) {
  qcRecordingAcqFifo d;
  AssertCounter asserts;
  const Args a;
  EXPECT_FALSE(d.complete8(a).isBound());
  EXPECT_FALSE(d.complete16(a).isBound());
  EXPECT_FALSE(d.completeRGB16(a).isBound());
  EXPECT_FALSE(d.completeRGB32(a).isBound());
  EXPECT_FALSE(d.complete3Plane(a).isBound());
  qcPtrHandle<qcAcqImage> img = d.completeAcq(a);
  ASSERT_TRUE(img);
  EXPECT_TRUE(img->isEmpty());
  EXPECT_EQ(asserts.count(), 6);
}

TEST(AcqFifoDriver, OptionalOperationsHaveNeutralDefaults) {
  qcRecordingAcqFifo d;  // answers unset: the framework's defaults answer
  qc_ProblemFlags flags = 0;
  EXPECT_FALSE(d.isValid(flags));
  EXPECT_FALSE(d.lightsOff());
  EXPECT_EQ(d.lutEntries(), 0);
  EXPECT_EQ(d.defaultContrast(), 0.5);
  EXPECT_EQ(d.defaultBrightness(), 0.5);
  EXPECT_FALSE(d.defaultOutlierPelCorrectionEnable());
  EXPECT_EQ(d.defaultExposure(), 2e-5);
  EXPECT_TRUE(d.isValidPool(qcPtrHandle<qcPelRootPool>()));
  EXPECT_EQ(d.getValidSampleSettings(), nullptr);
  EXPECT_FALSE(d.couldSlaveTo(&d));
  EXPECT_FALSE(d.mustBeValidMaster(&d));
  EXPECT_FALSE(d.initVideoPelRoots(nullptr, {}, qcPair<long>(1, 1)));
  EXPECT_FALSE(d.uninitVideoPelRoots(nullptr));
  EXPECT_TRUE(d.settingDataBase().empty());
}

// ---- settings database --------------------------------------------------------------------

TEST(SettingDataBase, DriverInitRunsOnceAndLookupsFindTheFirstEntry) {
  qcRecordingAcqFifo d;
  d.answers.initSettingDataBase = [](qcSettingDataBase& db) {
    qfAddSettingInfoDefaultStrobe(db);
    db.emplace_back(1005, 0.0, 1.0, 0.5, qcSettingInfo::kindReal);  // a later duplicate
  };
  const qcSettingInfo* s = d.getSettingInfo(1005);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->maximum(), HUGE_VAL);
  EXPECT_EQ(d.getSettingInfo(6002), nullptr);
  EXPECT_EQ(&d.settingDataBase(), &d.settingDataBase());
  EXPECT_EQ(d.settingDataBase().size(), 4u);
  EXPECT_EQ(d.count("initSettingDataBase"), 1u);
}

TEST(SettingDataBase, AnInitThatThrowsIsTriedAgainNextTime) {
  qcRecordingAcqFifo d;
  int calls = 0;
  d.answers.initSettingDataBase = [&](qcSettingDataBase& db) {
    qfAddSettingInfoBt252(db);
    if (++calls == 1) throw qcAcqFeatureNotImplemented();
  };
  EXPECT_THROW(d.getSettingInfo(1019), qcAcqFeatureNotImplemented);
  ASSERT_NE(d.getSettingInfo(1019), nullptr);
  EXPECT_EQ(d.settingDataBase().size(), 2u);
  EXPECT_EQ(calls, 2);
}

TEST(SettingDataBase, FrameworkEntries) {
  const qcSettingDataBase strobe = {{1004, 0.0, 1.0, 0.0, 1}, {1005, 0.0, HUGE_VAL, 2e-5, 2}, {1006, 0.0, 1.0, 1.0, 1}};
  qcSettingDataBase db;
  qfAddSettingInfoDefaultStrobe(db);
  EXPECT_EQ(db, strobe);

  db.clear();
  qfAddSettingInfoBt252(db);
  EXPECT_EQ(db, (qcSettingDataBase{{1020, 0.0, 1.0, 0.5, 2}, {1019, 0.0, 1.0, 0.5, 2}}));

  // A vertical-scan camera gets the strobe entries, after what is there.
  qcTestVideoFormat fmt("Test VScan 1024x1");
  db.assign(1, qcSettingInfo(1, 0, 0, 0, 2));
  qfAddSettingInfoVScan(db, fmt.internal());
  ASSERT_EQ(db.size(), 4u);
  EXPECT_EQ(qcSettingDataBase(db.begin() + 1, db.end()), strobe);
}

// ---- exceptions ---------------------------------------------------------------------------

template <class E>
void checkException(const char* name, unsigned long number) {
  SCOPED_TRACE(name);
  E e;
  EXPECT_EQ(e.errorNumber(), number);
  EXPECT_EQ(e.className(), name);
  EXPECT_EQ(e.messageString(), name);
  // Archived as a persistent pointer and recreated by its registered name.
  std::stringstream ss;
  {
    qcArchive ar(ss, qcArchive::store);
    qcException* p = &e;
    qcPersistent::serializePointer(ar, p);
  }
  std::stringstream in(ss.str());
  qcArchive ar(in, qcArchive::load);
  qcException* loaded = nullptr;
  qcPersistent::serializePointer(ar, loaded);
  std::unique_ptr<qcException> owner(loaded);
  EXPECT_NE(dynamic_cast<E*>(loaded), nullptr);
}

TEST(AcqFifoExceptions, NumbersNamesAndArchives) {
  checkException<qcAcqFifo::CouldNotCreate>("qcAcqFifo::CouldNotCreate", 0x100009A3);
  checkException<qcAcqFifo::BadParams>("qcAcqFifo::BadParams", 0x100009C5);
  checkException<qcAcqFifo::StartNotAllowed>("qcAcqFifo::StartNotAllowed", 0x1000098E);
  checkException<qcAcqFifo::InvalidMaster>("qcAcqFifo::InvalidMaster", 0x10000993);
}

}  // namespace
