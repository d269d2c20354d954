#include <gtest/gtest.h>

#include <qrn/qrnstd.h>

#include <atomic>
#include <chrono>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <thread>
#include <vector>

TEST(Handle, SharesAndDeletesWithLastHandle) {
  static int alive = 0;
  struct Body : qcRepBase {
    Body() { ++alive; }
    ~Body() override { --alive; }
    int v = 5;
  };
  {
    qcPtrHandle<Body> a(new Body);
    EXPECT_EQ(a.refCount(), 1);
    qcPtrHandle<Body> b = a;
    qcPtrHandle_const<Body> c(b);
    EXPECT_EQ(a.refCount(), 3);
    EXPECT_EQ(c->v, 5);
    a.reset();
    EXPECT_EQ(alive, 1);
    EXPECT_THROW(*a, std::logic_error);
  }
  EXPECT_EQ(alive, 0);
}

TEST(Handle, CountsAreAtomicAcrossThreads) {
  struct Body : qcRepBase {};
  qcPtrHandle<Body> h(new Body);
  std::vector<std::thread> ts;
  for (int t = 0; t < 4; ++t)
    ts.emplace_back([h] {
      for (int i = 0; i < 10000; ++i) {
        qcPtrHandle<Body> copy = h;
      }
    });
  for (auto& t : ts) t.join();
  EXPECT_EQ(h.refCount(), 1);
  std::atomic<long> n{3};
  EXPECT_EQ(qfInterlockedIncrement(&n), 4);
  EXPECT_EQ(qfInterlockedDecrement(&n), 3);
}

TEST(Semaphore, CountsWaitsWithDeadlineAndRespectsMaximum) {
  EXPECT_THROW(qcSemaphore(3, 2), qcSemaphore::BadParams);
  qcSemaphore s(1, 2);
  EXPECT_TRUE(s.wait(0));
  EXPECT_FALSE(s.wait(0));
  EXPECT_FALSE(s.wait(0.02));  // times out
  EXPECT_TRUE(s.post());
  EXPECT_TRUE(s.post());
  EXPECT_FALSE(s.post());  // beyond the maximum
  EXPECT_EQ(s.count(), 2);

  qcSemaphore t(0, 1);
  std::thread poster([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    t.post();
  });
  EXPECT_TRUE(t.wait(10.0));
  poster.join();
}

TEST(Mutex, RecursiveAndGlobalIsOne) {
  qcMutex m;
  {
    qcLock a(m);
    qcLock b(m);  // recursive
  }
  EXPECT_TRUE(m.tryLock());
  m.unlock();
  EXPECT_EQ(&qcMutex::global(), &qcMutex::global());
  qcThreadID here = qfGetCurrentThreadID();
  qcThreadID other;
  std::thread([&] { other = qfGetCurrentThreadID(); }).join();
  EXPECT_TRUE(here != other);
}

TEST(Deadline, ExpiresAndReportsTimeLeft) {
  qcDeadline now(0);
  EXPECT_TRUE(static_cast<bool>(now));
  EXPECT_EQ(now.until(), 0.0);
  qcDeadline later(100);
  EXPECT_FALSE(static_cast<bool>(later));
  EXPECT_GT(later.until(), 99.0);
  qcDeadline never(HUGE_VAL);
  EXPECT_FALSE(static_cast<bool>(never));
  EXPECT_EQ(never.until(), HUGE_VAL);
}

void checkClxAtof() {
  struct Case {
    const char* text;
    bool ok;
    double value;
  } cases[] = {
      {"1.5", true, 1.5}, {"  -2e3", true, -2000}, {"12.5e-3", true, 0.0125}, {"1.5x", false, 0},
      {"", false, 0},     {"abc", false, 0},       {"1 2", false, 0},       {"1e999", false, 0},
  };
  for (const auto& c : cases) {
    double v = 42;
    std::uint32_t st = qsys_clxAtof(c.text, &v);
    EXPECT_EQ(st == 0, c.ok) << c.text;
    EXPECT_EQ(v, c.ok ? c.value : 42.0) << c.text;
  }
}

void checkNumberText() {
  for (double v : {0.0, 1.0, -1.0, 12.5e-3, 1234567.0, 3.14159265358979, 2e-5, 59.94, -0.000123456789}) {
    std::string s = qfEng(v, 10, 1);
    double back = 0;
    ASSERT_EQ(qsys_clxAtof(s.c_str(), &back), 0u) << s;
    EXPECT_TRUE(qfRealEq(back, v, 1e-9)) << s;
  }
  EXPECT_EQ(qfEng(0.0125, 10, 1), "12.5e-3");
  EXPECT_EQ(qfEng(1500.0, 10, 1), "1.5e+3");
  EXPECT_EQ(qfHex(0xDEADC0DE), "deadc0de");
  EXPECT_EQ(qfHex(0xA, 4), "000a");
  EXPECT_EQ(qfStr(-12L), "-12");
  EXPECT_EQ(qfStr(1.5), "1.5");
}

TEST(Misc, ClxAtofConsumesTheWholeText) { checkClxAtof(); }
TEST(Misc, EngFormatsReadBack) { checkNumberText(); }

TEST(Misc, NumberTextIgnoresACommaDecimalLocale) {
  // scripts/install-deps.sh generates the locale.
  const std::string before = std::setlocale(LC_ALL, nullptr);
  if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "locale de_DE.UTF-8 not installed";
  char probe[16];
  std::snprintf(probe, sizeof probe, "%.1f", 1.5);
  EXPECT_STREQ(probe, "1,5") << "not a comma-decimal locale";
  checkClxAtof();
  checkNumberText();
  double v = 0;
  EXPECT_NE(qsys_clxAtof("1,5", &v), 0u);
  std::setlocale(LC_ALL, before.c_str());
}

TEST(Misc, RealEq) {
  EXPECT_TRUE(qfRealEq(1.0, 1.0 + 1e-12, 1e-9));
  EXPECT_FALSE(qfRealEq(1.0, 1.001, 1e-9));
  EXPECT_TRUE(qfRealEq(0.299 + 0.587 + 0.114, 1.0, 0.0001));
  EXPECT_FALSE(qfRealEq(NAN, NAN, 1));
}

TEST(Misc, AssertionsAreObservableAndContinue) {
  long seenLine = 0;
  auto before = qf_assertCount();
  auto prev = qf_setAssertObserver([&](const char*, long line) { seenLine = line; });
  qstd_assert(1 + 1 == 3);
  const long expectedLine = __LINE__ - 1;
  qf_setAssertObserver(prev);
  EXPECT_EQ(seenLine, expectedLine);
  EXPECT_EQ(qf_assertCount(), before + 1);
}

namespace {
// A clean-up object that notes its id in `order` when it runs.
struct Noting : qc_CleanupObject {
  std::vector<int>& order;
  int id;
  Noting(std::vector<int>& o, int i) : order(o), id(i) {}
  void cleanup() override { order.push_back(id); }
};
}  // namespace

TEST(Misc, CleanupObjectsRunNewestFirstOnce) {
  std::vector<int> order;
  unsigned long from = qsys_cleanup_getNextTag();
  Noting a(order, 1), b(order, 2);
  qsys_cleanupExecute_(from);
  qsys_cleanupExecute_(from);
  EXPECT_EQ(order, (std::vector<int>{2, 1}));
}

TEST(Misc, CleanupObjectCopiesHaveTheirOwnRegistration) {
  std::vector<int> order;
  unsigned long from = qsys_cleanup_getNextTag();
  Noting a(order, 1);
  {
    Noting copy(a);
    EXPECT_NE(copy.tag(), a.tag());
    static_cast<qc_CleanupObject&>(copy) = a;  // keeps its own tag
    EXPECT_NE(copy.tag(), a.tag());
  }  // the copy's end leaves the original registered
  qsys_cleanupExecute_(from);
  EXPECT_EQ(order, (std::vector<int>{1}));
}

TEST(Misc, DestroyingACleanupObjectWaitsForItsRunningCleanup) {
  struct Shared {
    std::atomic<bool> inside{false}, finished{false};
  } s;
  struct C : qc_CleanupObject {
    Shared& s;
    std::vector<int> state{1, 2, 3};  // used by cleanup(), goes with the object
    explicit C(Shared& sh) : s(sh) {}
    ~C() override { unregister(); }
    void cleanup() override {
      s.inside = true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      state.push_back(4);
      s.finished = true;
    }
  };
  unsigned long from = qsys_cleanup_getNextTag();
  auto* c = new C(s);
  std::thread runner([&] { qsys_cleanupExecute_(from); });
  while (!s.inside) std::this_thread::yield();
  delete c;
  EXPECT_TRUE(s.finished) << "destroyed while its cleanup() ran";
  runner.join();

  // Objects that go in their own cleanup() do not wait for themselves.
  struct SelfDeleting : qc_CleanupObject {
    void cleanup() override { delete this; }
  };
  from = qsys_cleanup_getNextTag();
  new SelfDeleting;
  qsys_cleanupExecute_(from);
}

TEST(Misc, EnvironmentAndCpu) {
  EXPECT_EQ(qcDevEnv::getOS(), qcDevEnv::osLinux);
#if defined(__x86_64__)
  EXPECT_TRUE(qcCpuType::SSESupported());
#endif
  qcDllDictionary self("qrnstd");
  EXPECT_NE(self.getHandle(), nullptr);
  qcDllDictionary none("no_such_module_here");
  EXPECT_EQ(none.getHandle(), nullptr);
}

namespace {
struct FakeBoard : qcBoard {
  explicit FakeBoard(long i) : idx(i) {}
  std::string name() const override { return "fake"; }
  long bdIdx() const override { return idx; }
  long idx;
};
}  // namespace

TEST(Board, ListTakesBoardsFromDriversAndChecksIndex) {
  long base = qcBoard::count();
  qcBoard& b = qcBoard::add(std::make_unique<FakeBoard>(41));
  EXPECT_EQ(qcBoard::count(), base + 1);
  EXPECT_EQ(&qcBoard::get(base), &b);
  EXPECT_EQ(qcBoard::get(base).bdIdx(), 41);
  EXPECT_THROW(qcBoard::get(base + 1), qcBoard::BadParams);
  EXPECT_THROW(qcBoard::get(-1), qcBoard::BadParams);
  EXPECT_TRUE(qcBoard::remove(b));
  EXPECT_EQ(qcBoard::count(), base);
}
