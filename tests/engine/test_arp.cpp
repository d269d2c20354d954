// Request packets: snapshot counting and reading, image ownership and
// clipping, release and the destructor's clean-up.
#include <qrn/acq/hyper/arp.h>
#include <qrn/acq/hyper/syncmodel.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include <qrn/foundation/misc.h>

#include "arp_watchdog.h"

namespace {

class AssertCount {
public:
  AssertCount() : start_(qf_assertCount()) {}
  unsigned long fired() const { return qf_assertCount() - start_; }

private:
  unsigned long start_;
};

// A root over a test array that tells when it dies.
struct RootWatch {
  unsigned char pels[64] = {};
  std::atomic<int> deaths{0};
  qcPelRoot<unsigned char>* make() {
    return new qcPelRoot<unsigned char>(pels, 8, 8, 8, [this] { ++deaths; });
  }
};

struct Package : qc_PelPackage {
  explicit Package(int& d) : deaths(d) {}
  ~Package() override { ++deaths; }
  int& deaths;
};

struct Xform : qc2XformBase {
  qcPair<double> mapPoint(const qcPair<double>& p) const override { return p; }
  qcPair<double> invMapPoint(const qcPair<double>& p) const override { return p; }
};

}  // namespace

TEST(Arp, FreshPacket) {
  AssertCount asserts;
  {
    qc_Arp a;
    EXPECT_FALSE(a.hasProperties());
    EXPECT_EQ(a.image(), nullptr);
    EXPECT_EQ(a.ppImage(), nullptr);
    EXPECT_FALSE(a.imageXform());
    EXPECT_FALSE(a.needsExplicitOffsetAdjustment());
    EXPECT_TRUE(a.deadline().expired()) << "built with 0 seconds";
    EXPECT_FALSE(a.failure());
    EXPECT_EQ(a.preOwnedPropIndex(), nullptr);
    a.release();  // does nothing
    a.release();
    EXPECT_FALSE(a.hasProperties());
  }
  EXPECT_EQ(asserts.fired(), 0u);
}

TEST(Arp, SnapshotIsCountedSharedAndRead) {
  qc_Properties s1, s2;
  s1.contrast[0] = 0.1;
  s1.contrast[1] = 0.2;
  s1.brightness[0] = 0.3;
  s1.brightness[1] = 0.4;
  s1.brightness[3] = 0.9;
  s1.exposure = 0.004;
  s1.cameraPort = 2;
  s1.stepsPerLine = 17;
  s1.ignoreTooFastEncoder = false;
  s1.syncModel = &qfSyncExternalPLLSync();
  s1.firstPelOffset = -3;

  qc_Arp a, b;
  a.properties(&s1);
  b.properties(&s1);
  EXPECT_EQ(s1.refCount.load(), 2);
  EXPECT_TRUE(a.hasSameProps(b));
  EXPECT_EQ(a.preOwnedPropIndex(), &s1);
  EXPECT_EQ(&a.properties(), &s1);

  EXPECT_DOUBLE_EQ(a.contrast(), 0.1);
  EXPECT_DOUBLE_EQ(a.secondContrast(), 0.2);
  EXPECT_DOUBLE_EQ(a.brightness(), 0.3);
  EXPECT_DOUBLE_EQ(a.secondBrightness(), 0.4);
  EXPECT_DOUBLE_EQ(a.tapBrightness(3), 0.9);
  EXPECT_DOUBLE_EQ(a.exposure(), 0.004);
  EXPECT_EQ(a.cameraPort(), 2);
  EXPECT_EQ(a.stepsPerLine(), 17);
  EXPECT_FALSE(a.ignoreTooFastEncoder());
  EXPECT_EQ(a.firstPelOffset(), -3);
  EXPECT_EQ(a.syncModel(), qfSyncExternalPLLSync());
  EXPECT_TRUE(std::isinf(a.ctiOffset())) << "defaults are the properties' own";
  EXPECT_EQ(a.clippingUpperLimit(), 240);

  // Re-attaching moves the count.
  b.properties(&s2);
  EXPECT_EQ(s1.refCount.load(), 1);
  EXPECT_EQ(s2.refCount.load(), 1);
  EXPECT_FALSE(a.hasSameProps(b));
  b.properties(&s2);  // the same one again: no double count
  EXPECT_EQ(s2.refCount.load(), 1);

  // Change flags.
  s1.hasChanged = true;
  s1.isSinglePropertyChange = true;
  EXPECT_TRUE(a.hasChanged());
  EXPECT_TRUE(a.isSinglePropertyChange());
  EXPECT_FALSE(a.resetHasChanged());
  EXPECT_FALSE(a.hasChanged());
  EXPECT_TRUE(a.isSinglePropertyChange());

  a.release();
  b.release();
  EXPECT_EQ(s1.refCount.load(), 0);
  EXPECT_EQ(s2.refCount.load(), 0);
  qc_Arp c, d;
  EXPECT_FALSE(c.hasSameProps(d)) << "two packets without snapshots do not share one";

  // A copy of a snapshot has the values and flags, but no packets.
  a.properties(&s1);
  qc_Properties copy(s1);
  EXPECT_EQ(copy.refCount.load(), 0);
  EXPECT_EQ(copy.stepsPerLine, 17);
  EXPECT_TRUE(copy.isSinglePropertyChange.load());
  a.release();
}

TEST(Arp, MisuseAssertsAndFallsBack) {
  qc_Arp a;
  {
    AssertCount asserts;
    EXPECT_DOUBLE_EQ(a.exposure(), 2e-5) << "no snapshot: defaults";
    EXPECT_EQ(asserts.fired(), 1u);
  }
  qc_Properties s;
  s.contrast[0] = 0.25;
  a.properties(&s);
  {
    AssertCount asserts;
    EXPECT_EQ(a.syncModel(), qc_SyncModel::defaultModel());
    EXPECT_EQ(asserts.fired(), 1u) << "no sync model set";
  }
  for (long tap : {4L, -1L, 100L}) {
    AssertCount asserts;
    EXPECT_DOUBLE_EQ(a.tapContrast(tap), 0.25) << tap;
    EXPECT_DOUBLE_EQ(a.tapBrightness(tap), 0.5) << tap;
    EXPECT_EQ(asserts.fired(), 2u);
  }
  a.release();
}

TEST(Arp, ImageIsClippedToTheRegionOfInterest) {
  struct Case {
    qcPelRect roi, rect, want;
  };
  const Case cases[] = {
      {{0, 0, 640, 480}, {0, 0, 640, 480}, {0, 0, 640, 480}},
      {{10, 20, 100, 50}, {0, 0, 640, 480}, {10, 20, 100, 50}},
      {{10, 20, 100, 50}, {50, 40, 200, 200}, {50, 40, 60, 30}},
      {{10, 20, 100, 50}, {300, 300, 10, 10}, {300, 300, 0, 0}},
      {{0, 0, 0, 0}, {0, 0, 8, 8}, {0, 0, 0, 0}},
  };
  RootWatch w;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.roi << " and " << c.rect);
    qc_Properties s;
    s.roi = c.roi;
    qc_Arp a;
    a.properties(&s);
    a.image(w.make(), c.rect);
    EXPECT_EQ(a.completedRoi(), c.want);
    EXPECT_TRUE(a.completedRoi().isEmpty() == c.want.isEmpty());
    a.release();
  }
  EXPECT_EQ(w.deaths.load(), 5);
}

TEST(Arp, ImageOwnership) {
  RootWatch w;
  qc_Properties s;
  s.roi = qcPelRect(0, 0, 8, 8);

  // The packet's reference alone: release deletes the root.
  {
    qc_Arp a;
    a.properties(&s);
    a.image(w.make(), qcPelRect(0, 0, 8, 8));
    EXPECT_EQ(w.deaths.load(), 0);
    a.release();
    EXPECT_EQ(w.deaths.load(), 1);
    EXPECT_EQ(a.image(), nullptr);
  }
  // A root that the driver keeps a handle to survives the release.
  {
    qcPtrHandle<qcPelRoot<unsigned char>> h(w.make());
    qc_Arp a;
    a.properties(&s);
    a.image(h.ptr(), qcPelRect(0, 0, 8, 8));
    EXPECT_EQ(h.refCount(), 2);
    a.release();
    EXPECT_EQ(h.refCount(), 1);
    EXPECT_EQ(w.deaths.load(), 1);
  }
  EXPECT_EQ(w.deaths.load(), 2);
  // Extracted: the caller owns the packet's reference.
  {
    qc_Arp a;
    a.properties(&s);
    qc_PelRoot* r = w.make();
    a.image(r, qcPelRect(0, 0, 8, 8));
    EXPECT_EQ(a.extractImage(), r);
    EXPECT_EQ(a.image(), nullptr);
    a.release();
    EXPECT_EQ(w.deaths.load(), 2);
    qfRelease(r);
    EXPECT_EQ(w.deaths.load(), 3);
  }
  // A second image replaces the first, which is dropped.
  {
    qc_Arp a;
    a.properties(&s);
    a.image(w.make(), qcPelRect(0, 0, 8, 8));
    a.image(w.make(), qcPelRect(0, 0, 4, 4));
    EXPECT_EQ(w.deaths.load(), 4);
    a.release();
    EXPECT_EQ(w.deaths.load(), 5);
  }
}

TEST(Arp, ReleaseDropsPackageSnapshotFlagAndTransform) {
  int packages = 0;
  qc_Properties s;
  qc_Arp a;
  a.properties(&s);
  a.ppImage(new Package(packages));
  a.ppImage(new Package(packages));  // replaces (and deletes) the first
  EXPECT_EQ(packages, 1);
  a.needsExplicitOffsetAdjustment(true);
  a.explicitOffset(qcPair<long>(3, 4));
  a.imageXform(qcPtrHandle_const<qc2XformBase>(new Xform));
  a.trigNum(7);
  a.appTag(9);
  a.timeStamp(-5);
  a.release();
  EXPECT_EQ(packages, 2);
  EXPECT_EQ(a.ppImage(), nullptr);
  EXPECT_EQ(s.refCount.load(), 0);
  EXPECT_FALSE(a.hasProperties());
  EXPECT_FALSE(a.needsExplicitOffsetAdjustment());
  EXPECT_FALSE(a.imageXform());
  EXPECT_EQ(a.explicitOffset(), qcPair<long>(3, 4));
  EXPECT_EQ(a.trigNum(), 7u);
  EXPECT_EQ(a.appTag(), 9u);
  EXPECT_EQ(a.timeStamp(), -5);
}

TEST(Arp, DestructorAssertsAndStillCleansUp) {
  RootWatch w;
  int packages = 0;
  qc_Properties s;
  s.roi = qcPelRect(0, 0, 8, 8);
  AssertCount asserts;
  {
    qc_Arp a;
    a.properties(&s);
    a.image(w.make(), qcPelRect(0, 0, 8, 8));
    a.ppImage(new Package(packages));
    a.imageXform(qcPtrHandle_const<qc2XformBase>(new Xform));
  }
  EXPECT_EQ(asserts.fired(), 3u) << "image, package and transform were not given up";
  EXPECT_EQ(w.deaths.load(), 1);
  EXPECT_EQ(packages, 1);
  EXPECT_EQ(s.refCount.load(), 0) << "the snapshot's count is given back";
}

// Packets on several threads attach and release one snapshot; its count
// ends at 0 (and TSan sees no race on it).
TEST(Arp, SnapshotCountAcrossThreads) {
  arp_test::Watchdog wd(60);
  qc_Properties s;
  std::atomic<long> maxSeen{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 2000; ++i) {
        qc_Arp a;
        a.properties(&s);
        long n = s.refCount.load();
        long m = maxSeen.load();
        while (n > m && !maxSeen.compare_exchange_weak(m, n)) {
        }
        a.release();
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(s.refCount.load(), 0);
  EXPECT_GE(maxSeen.load(), 1);
  EXPECT_LE(maxSeen.load(), 4);
}
