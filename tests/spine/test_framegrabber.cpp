#include <gtest/gtest.h>

#include <chrono>
#include <latch>
#include <thread>
#include <vector>

#include <qrn/acq/format/hwconfig.h>
#include <qrn/acq/registry/regvalue.h>
#include <qrn/acq/hyper/failure.h>
#include <qrn/foundation/misc.h>
#include <qrn/foundation/thread.h>

#include "fake_grabber.h"
#include "reg_tempstore.h"

namespace {

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

const char* kBoardKey = "SOFTWARE\\Quorin\\ORB\\utconfig\\board3";

class FrameGrabberTest : public ::testing::Test {
protected:
  RegTempStore reg;  // an empty registry: nothing limits any board
  qcTestBoardList boards;
};

// ---- board list ---------------------------------------------------------------------

TEST_F(FrameGrabberTest, CountsAndIndexesOnlyTheBoardsThatAreGrabbers) {
  auto& a = boards.add<qcTestGrabberBoard>("a", 0);
  boards.add<qcTestPlainBoard>("plain", 1);
  auto& c = boards.add<qcTestGrabberBoard>("c", 2);

  EXPECT_EQ(qcBoard::count(), 3);
  EXPECT_EQ(qcFrameGrabber::count(), 2);
  EXPECT_EQ(&qcFrameGrabber::get(0), static_cast<qcFrameGrabber*>(&a));
  EXPECT_EQ(&qcFrameGrabber::get(1), static_cast<qcFrameGrabber*>(&c));
  EXPECT_THROW(qcFrameGrabber::get(2), qcBoard::BadParams);
  EXPECT_THROW(qcFrameGrabber::get(-1), qcBoard::BadParams);
}

TEST_F(FrameGrabberTest, NoBoardsMeansNoGrabbers) {
  boards.add<qcTestPlainBoard>("plain", 0);
  EXPECT_EQ(qcFrameGrabber::count(), 0);
  EXPECT_THROW(qcFrameGrabber::get(0), qcBoard::BadParams);
}

// ---- the driver object ----------------------------------------------------------------

TEST_F(FrameGrabberTest, DriverObjectIsCreatedOnceOnFirstUse) {
  auto& g = boards.add<qcTestGrabberBoard>("g", 0);
  EXPECT_EQ(g.creations, 0);
  EXPECT_EQ(g.driver(), nullptr);
  qc_FrameGrabber* d = g.internal();
  EXPECT_NE(d, nullptr);
  EXPECT_EQ(g.internal(), d);
  EXPECT_EQ(g.numChannels(), 1);
  EXPECT_EQ(g.creations, 1);
}

TEST_F(FrameGrabberTest, ConcurrentFirstUsesCreateOneDriverObject) {
  auto& g = boards.add<qcTestGrabberBoard>("g", 0);
  g.factory = [] {
    // Widen the window in which a second creation could slip in.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return new qcTestDriver;
  };
  constexpr int kThreads = 8;
  std::latch go(kThreads);
  std::vector<qc_FrameGrabber*> seen(kThreads);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i)
    threads.emplace_back([&, i] {
      go.arrive_and_wait();
      // A query (which also closes the multi-process window) and the object.
      EXPECT_EQ(g.numChannels(), 1);
      seen[i] = g.internal();
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(g.creations, 1);
  for (qc_FrameGrabber* p : seen) EXPECT_EQ(p, seen[0]);
}

TEST_F(FrameGrabberTest, ADriverCreationThatThrowsReleasesTheLockAndIsRetried) {
  auto& g = boards.add<qcTestGrabberBoard>("g", 0);
  int attempts = 0;
  g.factory = [&]() -> qc_FrameGrabber* {
    if (++attempts == 1) throw qcAcqFeatureNotImplemented();
    return new qcTestDriver;
  };
  EXPECT_THROW(g.internal(), qcAcqFeatureNotImplemented);
  // The global mutex is free again: another thread can take it.
  std::thread([] { qcLock l(qcMutex::global()); }).join();
  EXPECT_NE(g.internal(), nullptr);
  EXPECT_EQ(attempts, 2);
}

TEST_F(FrameGrabberTest, QueriesWithoutADriverObjectGiveNeutralAnswers) {
  auto& g = boards.add<qcTestGrabberBoard>("g", 0);
  g.factory = []() -> qc_FrameGrabber* { return nullptr; };
  qcTestVideoFormat fmt("Test A 640x480");
  AssertCounter asserts;
  EXPECT_EQ(g.numChannels(), 0);
  EXPECT_FALSE(g.supportsCCFs());
  EXPECT_EQ(g.cvmId(), -2);
  EXPECT_EQ(g.getUniqueId(), "");
  EXPECT_FALSE(g.isSupported(fmt));
  EXPECT_EQ(g.numCameraPort(fmt), 0);
  EXPECT_GE(asserts.count(), 5);
}

TEST_F(FrameGrabberTest, QueriesReachTheDriver) {
  auto& g = boards.add<qcTestGrabberBoard>("g", 0);
  qcTestVideoFormat fmt("Test A 640x480");
  qcTestDriver* d = static_cast<qcTestDriver*>(g.internal());
  d->channels = 4;
  d->ccfs = true;
  d->cvm = 17;
  d->uniqueId = "sn-1234";
  d->cameraPorts = 3;
  d->supported = {"Test A 640x480"};
  EXPECT_EQ(g.numChannels(), 4);
  EXPECT_TRUE(g.supportsCCFs());
  EXPECT_EQ(g.cvmId(), 17);
  EXPECT_EQ(g.getUniqueId(), "sn-1234");
  EXPECT_EQ(g.numCameraPort(fmt), 3);
  EXPECT_TRUE(g.isSupported(fmt));
}

TEST_F(FrameGrabberTest, DisconnectNeverCreatesTheDriverObject) {
  auto& g = boards.add<qcTestGrabberBoard>("g", 0);
  g.disconnect(true);
  EXPECT_EQ(g.creations, 0);
  g.internal();
  g.disconnect(false);
  EXPECT_EQ(g.driver()->disconnectCalls, 1);
}

// ---- multi-process access -------------------------------------------------------------

TEST_F(FrameGrabberTest, MultiProcessAccessNeedsSupportAndThePermissionOfTheDriver) {
  auto& g = boards.add<qcTestGrabberBoard>("g", 0);
  g.multiProcessAccessAllowed(true);
  EXPECT_FALSE(g.enableMultiProcessAccess(true));  // not supported
  EXPECT_FALSE(g.enableMultiProcessAccess(false));
  g.multiProcessSupported = true;
  g.multiProcessAccessAllowed(false);
  EXPECT_FALSE(g.enableMultiProcessAccess(true));  // not allowed
  EXPECT_TRUE(g.enableMultiProcessAccess(false));  // turning off always works
  g.multiProcessAccessAllowed(true);
  EXPECT_TRUE(g.enableMultiProcessAccess(true));
  EXPECT_TRUE(g.multiProcessAccess());
}

// Each of the seven queries closes the window for enabling multi-process access.
TEST_F(FrameGrabberTest, AnyQueryBeforeEnablingMultiProcessAccessClosesTheWindow) {
  qcTestVideoFormat fmt("Test A 640x480");
  const std::vector<std::pair<const char*, std::function<void(qcFrameGrabber&)>>> queries = {
      {"numChannels", [](qcFrameGrabber& g) { g.numChannels(); }},
      {"numCameraPort", [&](qcFrameGrabber& g) { g.numCameraPort(fmt); }},
      {"isSupportedEx", [&](qcFrameGrabber& g) { g.isSupportedEx(fmt, qeImageFormat_Grey8); }},
      {"isSupported", [&](qcFrameGrabber& g) { g.isSupported(fmt); }},
      {"supportsCCFs", [](qcFrameGrabber& g) { g.supportsCCFs(); }},
      {"cvmId", [](qcFrameGrabber& g) { g.cvmId(); }},
      {"disconnect", [](qcFrameGrabber& g) { g.disconnect(false); }},
      {"getUniqueId", [](qcFrameGrabber& g) { g.getUniqueId(); }},
  };
  long idx = 0;
  for (const auto& [name, query] : queries) {
    SCOPED_TRACE(name);
    auto& g = boards.add<qcTestGrabberBoard>(name, idx++);
    g.multiProcessSupported = true;
    g.multiProcessAccessAllowed(true);
    query(g);
    EXPECT_FALSE(g.multiProcessAccessAllowed());
    EXPECT_FALSE(g.enableMultiProcessAccess(true));
  }
}

TEST_F(FrameGrabberTest, QueriesAfterEnablingKeepMultiProcessAccessOn) {
  auto& g = boards.add<qcTestGrabberBoard>("g", 0);
  g.multiProcessSupported = true;
  g.multiProcessAccessAllowed(true);
  ASSERT_TRUE(g.enableMultiProcessAccess(true));
  g.numChannels();
  EXPECT_TRUE(g.multiProcessAccessAllowed());
  EXPECT_TRUE(g.enableMultiProcessAccess(true));
}

// A grabber that is no board and leaves its driver object to the base class.
class BareGrabber : public qcFrameGrabber {
public:
  explicit BareGrabber(qc_FrameGrabber* d) : d_(d) {}
  bool isMultiProcessAccessSupported() const override { return true; }
  using qcFrameGrabber::multiProcessAccessAllowed;

protected:
  qc_FrameGrabber* createInternal() override { return d_; }

private:
  qc_FrameGrabber* d_;
};

TEST(FrameGrabber, DestructorDeletesTheDriverObjectOnlyWithMultiProcessAccess) {
  for (bool shared : {false, true}) {
    SCOPED_TRACE(shared);
    int deleted = 0;
    auto* d = new qcTestDriver;
    d->onDestroy = [&] { ++deleted; };
    {
      BareGrabber g(d);
      g.multiProcessAccessAllowed(true);
      ASSERT_TRUE(g.enableMultiProcessAccess(shared));
      EXPECT_EQ(g.internal(), d);
    }
    EXPECT_EQ(deleted, shared ? 1 : 0);
    if (!shared) delete d;
  }
}

TEST(FrameGrabber, CopiesShareOneDriverObjectDeletedOnceByTheLast) {
  int deleted = 0;
  auto* d = new qcTestDriver;
  d->onDestroy = [&] { ++deleted; };
  {
    auto g = std::make_unique<BareGrabber>(d);
    g->multiProcessAccessAllowed(true);
    ASSERT_TRUE(g->enableMultiProcessAccess(true));
    ASSERT_EQ(g->internal(), d);
    BareGrabber copy(*g);
    qcTestDriver unused;  // a driver object of its own, never used (a grabber without
                          // multi-process access does not own it)
    BareGrabber assigned(&unused);
    assigned = copy;
    g.reset();
    EXPECT_EQ(deleted, 0) << "deleted while copies still use it";
    EXPECT_EQ(copy.internal(), d);
    EXPECT_EQ(copy.numChannels(), 1);
    EXPECT_EQ(assigned.internal(), d);
  }
  EXPECT_EQ(deleted, 1);
}

TEST(FrameGrabber, ADriverGivenAtConstructionIsUsedWithoutCreating) {
  qcTestDriver d;
  class Given : public qcFrameGrabber {
  public:
    explicit Given(qc_FrameGrabber* p) : qcFrameGrabber(p) {}
    qc_FrameGrabber* createInternal() override {
      ADD_FAILURE() << "created although a driver object was given";
      return nullptr;
    }
  } g(&d);
  EXPECT_EQ(g.internal(), &d);
  EXPECT_EQ(g.numChannels(), 1);
}

// ---- formats allowed on a board ------------------------------------------------------

const char* kA = "Test A 640x480";
const char* kB = "Test B 320x240";

TEST_F(FrameGrabberTest, LimitFmtRestrictsTheBoardToFormat0WithoutAskingTheDriver) {
  auto& g = boards.add<qcTestGrabberBoard>("sim", 3);
  qcTestVideoFormat a(kA), b(kB);
  auto* d = static_cast<qcTestDriver*>(g.internal());
  d->supported = {kA, kB};
  d->cameraPorts = 2;
  ASSERT_TRUE(qf_regWriteInt32(qe_RegRoot::localMachine, kBoardKey, "limitFmt", 1));
  ASSERT_TRUE(qf_regWriteString(qe_RegRoot::localMachine, kBoardKey, "format0", kA));

  EXPECT_TRUE(g.isSupported(a));
  EXPECT_EQ(g.numCameraPort(a), 2);
  const int asked = d->isSupportedCalls;
  EXPECT_FALSE(g.isSupported(b));
  EXPECT_FALSE(g.isSupportedEx(b, qeImageFormat_Grey8));
  EXPECT_EQ(g.numCameraPort(b), 0);
  EXPECT_EQ(d->isSupportedCalls, asked);
}

TEST_F(FrameGrabberTest, RegistryLimitAndHardwareConfigurationMustBothLetAFormatThrough) {
  struct Case {
    const char* what;
    std::function<void()> setUp;
    bool allowed;
  };
  const auto lm = qe_RegRoot::localMachine;
  const std::vector<Case> cases = {
      {"nothing configured", [] {}, true},
      {"limitFmt 0", [&] { qf_regWriteInt32(lm, kBoardKey, "limitFmt", 0), qf_regWriteString(lm, kBoardKey, "format0", kB); }, true},
      {"limitFmt 1 without format0", [&] { qf_regWriteInt32(lm, kBoardKey, "limitFmt", 1); }, true},
      {"limitFmt 1, format0 another", [&] { qf_regWriteInt32(lm, kBoardKey, "limitFmt", 1), qf_regWriteString(lm, kBoardKey, "format0", kB); }, false},
      {"limitFmt 1, format0 differs in case", [&] { qf_regWriteInt32(lm, kBoardKey, "limitFmt", 1), qf_regWriteString(lm, kBoardKey, "format0", "test a 640x480"); }, false},
      {"limitFmt 1, format0 this one", [&] { qf_regWriteInt32(lm, kBoardKey, "limitFmt", 1), qf_regWriteString(lm, kBoardKey, "format0", kA); }, true},
      {"limitFmt a string", [&] { qf_regWriteString(lm, kBoardKey, "limitFmt", "1"), qf_regWriteString(lm, kBoardKey, "format0", kB); }, true},
      {"limitFmt 1 under another board's key", [&] { qf_regWriteInt32(lm, "SOFTWARE\\Quorin\\ORB\\utconfig\\board4", "limitFmt", 1); }, true},
  };
  for (bool hwExcludes : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.what) + (hwExcludes ? ", hardware configuration excludes it" : ""));
      RegTempStore own;
      qcTestBoardList list;
      auto& g = list.add<qcTestGrabberBoard>("sim", 3);
      qcTestVideoFormat a(kA);
      static_cast<qcTestDriver*>(g.internal())->supported = {kA};
      static_cast<qcTestDriver*>(g.internal())->cameraPorts = 1;
      c.setUp();
      if (hwExcludes) {
        qcHWConfig hw(&g);
        ASSERT_TRUE(hw.excludeFmt(true));
        ASSERT_TRUE(hw.addFmtToList(0, kA));
      }
      const bool expected = c.allowed && !hwExcludes;
      EXPECT_EQ(g.isSupported(a), expected);
      EXPECT_EQ(g.numCameraPort(a), expected ? 1 : 0);
    }
  }
}

// ---- image types and exceptions on the way ---------------------------------------------

// A driver that accepts chosen internal image types, or throws.
class TypedDriver : public qcTestDriver {
public:
  std::set<long> types;
  std::function<void()> thrower;
  mutable std::vector<long> asked;
  using qcTestDriver::isSupported;
  bool isSupported(const qc_VideoFormat& fmt, long type) const override {
    asked.push_back(type);
    if (thrower) thrower();
    return supported.count(fmt.name()) && types.count(type);
  }
};

TEST_F(FrameGrabberTest, IsSupportedExPassesTheInternalImageType) {
  auto& g = boards.add<qcTestGrabberBoard>("g", 0);
  auto* d = new TypedDriver;
  g.factory = [d] { return d; };
  d->supported = {kA};
  qcTestVideoFormat a(kA);

  d->types = {0};
  EXPECT_TRUE(g.isSupportedEx(a, qeImageFormat_Grey8));
  EXPECT_FALSE(g.isSupportedEx(a, qeImageFormat_Grey16));
  EXPECT_EQ(d->asked, (std::vector<long>{0, 9}));

  // 14-bit grey is asked as 16-bit grey; values outside the numbering are
  // refused without asking the driver.
  d->asked.clear();
  d->types = {9};
  EXPECT_TRUE(g.isSupportedEx(a, qeImageFormat_Grey14));
  for (int bad : {0, 20, 31, 33}) EXPECT_FALSE(g.isSupportedEx(a, static_cast<qeImageFormat>(bad))) << bad;
  EXPECT_EQ(d->asked, (std::vector<long>{9}));

  // isSupported tries 8-bit grey first, then raw 8-bit.
  d->asked.clear();
  d->types = {4};
  EXPECT_TRUE(g.isSupported(a));
  EXPECT_EQ(d->asked, (std::vector<long>{0, 4}));
  d->asked.clear();
  d->types = {0};
  EXPECT_TRUE(g.isSupported(a));
  EXPECT_EQ(d->asked, (std::vector<long>{0}));
}

TEST_F(FrameGrabberTest, NotFoundOnTheWayMeansNotSupportedOtherExceptionsPass) {
  auto& g = boards.add<qcTestGrabberBoard>("g", 0);
  auto* d = new TypedDriver;
  g.factory = [d] { return d; };
  qcTestVideoFormat a(kA);
  d->thrower = [] { throw qcVideoFormat::NotFound(); };
  EXPECT_FALSE(g.isSupportedEx(a, qeImageFormat_Grey8));
  EXPECT_FALSE(g.isSupported(a));
  d->thrower = [] { throw qcAcqFeatureNotImplemented(); };
  EXPECT_THROW(g.isSupportedEx(a, qeImageFormat_Grey8), qcAcqFeatureNotImplemented);
}

// ---- framework defaults of the driver interface -----------------------------------------

class MinimalDriver : public qc_FrameGrabber {
public:
  long numChannels() const override { return 2; }
};

TEST(FrameGrabberDriver, FactoriesThatTheDriverDoesNotServeThrowNotSupported) {
  MinimalDriver d;
  qcTestVideoFormat a(kA);
  const qc_VideoFormat& f = a.internal();
  using Factory = qc_AcqFifo* (qc_FrameGrabber::*)(const qc_VideoFormat&);
  for (Factory make : {&qc_FrameGrabber::stdGreyAcqFifo, &qc_FrameGrabber::stdGrey16AcqFifo,
                       &qc_FrameGrabber::dualTapGreyAcqFifo, &qc_FrameGrabber::digitalGreyAcqFifo,
                       &qc_FrameGrabber::lineScanGreyAcqFifo, &qc_FrameGrabber::stdRGB16AcqFifo,
                       &qc_FrameGrabber::stdRGB32AcqFifo})
    EXPECT_THROW((d.*make)(f), qcVideoFormat::NotSupported);
  EXPECT_THROW(d.newAcqFifo(f, 0L), qcVideoFormat::NotSupported);
  EXPECT_THROW(d.display(f), qcVideoFormat::NotSupported);
}

TEST(FrameGrabberDriver, OptionalOperationsHaveNeutralDefaults) {
  MinimalDriver d;
  qcTestVideoFormat a(kA);
  const qc_VideoFormat& f = a.internal();
  EXPECT_EQ(d.numCameraPort(f), 0);
  EXPECT_EQ(d.numCameraPort(a.format()), 0);
  EXPECT_FALSE(d.isSupported(f));
  EXPECT_FALSE(d.isSupported(f, 0));
  EXPECT_FALSE(d.supportsCCFs());
  EXPECT_FALSE(d.isSupportedForLegacy(f));
  EXPECT_EQ(d.readCvmId(), -2);
  EXPECT_EQ(d.getUniqueId(), "");
  EXPECT_FALSE(d.initLightBoard());
  EXPECT_NO_THROW(d.prepare());
  EXPECT_NO_THROW(d.disconnect(true));
  EXPECT_NO_THROW(d.optimumMovePartEnable(true));
}

TEST(FrameGrabberDriver, ImageTypedSupportAsksPlainSupportOnlyForGreyAndUnspecified) {
  qcTestDriver d;
  d.supported = {kA};
  qcTestVideoFormat a(kA);
  const qc_FrameGrabber& base = d;
  for (long type : {0L, -1L}) EXPECT_TRUE(base.isSupported(a.internal(), type)) << type;
  for (long type : {1L, 4L, 9L, 18L}) EXPECT_FALSE(base.isSupported(a.internal(), type)) << type;
}

TEST(FrameGrabberDriver, CameraPortsOfAPublicFormatNeedSupport) {
  qcTestDriver d;
  d.cameraPorts = 3;
  qcTestVideoFormat a(kA);
  const qc_FrameGrabber& base = d;
  EXPECT_EQ(base.numCameraPort(a.format()), 0);
  d.supported = {kA};
  EXPECT_EQ(base.numCameraPort(a.format()), 3);
}

}  // namespace
