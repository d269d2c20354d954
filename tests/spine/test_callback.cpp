#include <gtest/gtest.h>

#include <sstream>

#include <qrn/acq/hyper/acqinfo.h>
#include <qrn/acq/hyper/callback.h>

namespace {

// An application's callback that survives an archive.
class CountingCallback : public qcCallback {
  QC_DECLARE_PERSISTENT(CountingCallback);

public:
  int calls = 0;
  long step = 1;
  void operator()() override { calls += static_cast<int>(step); }
  void dispatchSerialize(qcArchive& ar) override {
    unsigned char v = 0;
    ar || v;
    ar || step;
  }
};

}  // namespace

QC_IMPLEMENT_PERSISTENT(CountingCallback);

namespace {

TEST(Callback, FunctionCallbacksCallTheirCallable) {
  int n = 0;
  qcPtrHandle<qcCallback> cb = qfMakeCallback([&] { ++n; });
  (*cb)();
  (*cb)();
  EXPECT_EQ(n, 2);

  unsigned long trig = 0;
  auto info = qfMakeCallback1<const qcAcquireInfo&>([&](const qcAcquireInfo& i) { trig = i.triggerNum(); });
  (*info)(qcAcquireInfo(1, 99, qcAcqFailure(), 0));
  EXPECT_EQ(trig, 99u);

  const void* seen = nullptr;
  auto light = qfMakeCallback1<const void*>([&](const void* p) { seen = p; });
  (*light)(&n);
  EXPECT_EQ(seen, &n);
}

TEST(Callback, HandlesShareOneCallbackUntilTheLastGoes) {
  qcPtrHandle<qcCallback> a(new CountingCallback);
  {
    qcPtrHandle<qcCallback> b = a;
    EXPECT_EQ(a.refCount(), 2);
    (*b)();
  }
  EXPECT_EQ(a.refCount(), 1);
  EXPECT_EQ(dynamic_cast<CountingCallback&>(*a).calls, 1);
}

TEST(Callback, ARegisteredCallbackRoundTripsAsAPersistentPointer) {
  auto* original = new CountingCallback;
  original->step = 5;
  qcPtrHandle<qcCallback> keep(original);
  std::stringstream ss;
  {
    qcArchive ar(ss, qcArchive::store);
    qcCallback* p = original;
    qcPersistent::serializePointer(ar, p);
  }
  std::stringstream in(ss.str());
  qcArchive ar(in, qcArchive::load);
  qcCallback* loaded = nullptr;
  qcPersistent::serializePointer(ar, loaded);
  ASSERT_NE(loaded, nullptr);
  qcPtrHandle<qcCallback> h(loaded);
  (*h)();
  EXPECT_EQ(dynamic_cast<CountingCallback&>(*h).calls, 5);
}

}  // namespace
