// The camera driver over a real GigE Vision stream: Aravis's GigE Vision fake
// camera on loopback.  Runs only inside a private network namespace that
// holds nothing but loopback (gige_netns.sh sets it up); anywhere else every
// test skips, so nothing here can send a packet beyond the host.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <thread>

#include <qrn/acq/format/vidfmt.h>
#include <qrn/acq/hyper/callback.h>
#include <qrn/acq/hyper/framegrabber.h>
#include <qrn/acq/hyper/trigmodel.h>
#include <qrn/acq/hyper/typedfifo.h>
#include <qrn/drivers/gige.h>
#include <qrn/foundation/board.h>

#include "gige_fixture.h"

#include "qacq.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// True when every network interface this process sees is loopback.
bool onlyLoopback() {
  std::unique_ptr<FILE, int (*)(FILE*)> p(::popen("ip -o link show 2>/dev/null", "r"), ::pclose);
  if (!p) return false;
  std::array<char, 512> line{};
  int n = 0;
  while (std::fgets(line.data(), line.size(), p.get())) {
    std::istringstream s(line.data());
    std::string index, name;
    s >> index >> name;
    if (name != "lo:") return false;
    ++n;
  }
  return n == 1;
}

pid_t startCamera(const char* address, const char* lostPerThousand = nullptr) {
  std::vector<const char*> argv{"arv-fake-gv-camera-0.8", "-i", address};
  if (lostPerThousand) {
    argv.push_back("-r");
    argv.push_back(lostPerThousand);
  }
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (::posix_spawnp(&pid, argv[0], nullptr, nullptr, const_cast<char* const*>(argv.data()), environ) != 0) return 0;
  return pid;
}

void stopCamera(pid_t& pid) {
  if (pid <= 0) return;
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
  pid = 0;
}

bool gIsolated = false;
pid_t gCamera[2] = {0, 0};

class Cameras : public ::testing::Environment {
public:
  void SetUp() override {
    gIsolated = onlyLoopback();
    if (!gIsolated) return;
    gCamera[0] = startCamera("127.0.0.1");
    gCamera[1] = startCamera("127.0.0.2", "2");  // 0.2 % of the packets lost
    std::this_thread::sleep_for(std::chrono::seconds(1));
    ::setenv("QUORIN_GIGE_CAMERAS", "127.0.0.1;127.0.0.2", 1);
  }
  void TearDown() override {
    for (pid_t& p : gCamera) stopCamera(p);
  }
};
const auto* gEnv = ::testing::AddGlobalTestEnvironment(new Cameras);

#define REQUIRE_ISOLATED() \
  if (!gIsolated) GTEST_SKIP() << "not in a network namespace holding only loopback (run gige_netns.sh)"

const qcStdVideoFormat& vga() {
  static qcGigeTestFormat f("GigeNet 640x480", 640, 480, 8, qe_pelType_mono);
  return f.fmt;
}

using Fifo = qcPtrHandle<qcStdGreyAcqFifo>;

Fifo freeRun(long board) {
  Fifo f(new qcStdGreyAcqFifo(vga(), qfGigeBoard(board)));
  f->hardwareImagePoolSize(16);
  qcCustomPropertyBag bag;
  bag.addItem(qcCustomPropertyBag::qeWrite, "AcquisitionFrameRate", "100");
  f->properties().customValues(bag);
  qcTriggerProp& t = f->properties();
  t.triggerModel(qfFreeRunTrigger());
  return f;
}

qcAcqFifo::CompleteArgs wait(qcAcquireInfo& info, double s) {
  return qcAcqFifo::CompleteArgs().maxWait(s).acquireInfo(&info);
}

TEST(GigeNet, ThousandFramesAt640x480) {
  REQUIRE_ISOLATED();
  ASSERT_EQ(qfGigeGrabber(qfGigeBoard(0))->cameraError(), "");
  Fifo f = freeRun(0);
  long images = 0, failed = 0;
  unsigned long last = 0;
  for (int i = 0; i < 1000; ++i) {
    qcAcquireInfo info;
    const qcPelBuffer<unsigned char> img = f->complete(wait(info, 5.0));
    images += img.isBound() ? 1 : 0;
    if (info.failure()) ++failed;
    if (img.isBound()) {
      EXPECT_EQ(img.size(), (qcPair<long>(640, 480)));
      EXPECT_NE(info.triggerNum(), last);
      last = info.triggerNum();
    }
  }
  EXPECT_EQ(images, 1000);
  EXPECT_EQ(failed, 0);
}

TEST(GigeNet, LostPacketsGiveWholeOrIncompleteFrames) {
  REQUIRE_ISOLATED();
  Fifo f = freeRun(1);
  int images = 0, incomplete = 0;
  for (int i = 0; i < 200; ++i) {
    qcAcquireInfo info;
    const qcPelBuffer<unsigned char> img = f->complete(wait(info, 5.0));
    const qcAcqFailure fl = info.failure();
    // A whole frame, or an incomplete one with what arrived (the fake camera
    // does not resend); frames lost as a whole show as missed on the next.
    EXPECT_TRUE(img.isBound()) << fl.errorInfo();
    EXPECT_FALSE(fl.isAbnormal() || fl.isOverrun()) << fl.errorInfo();
    if (fl.isTimeout()) {
      EXPECT_TRUE(fl.isIncomplete());
    }
    images += img.isBound() ? 1 : 0;
    incomplete += fl.isIncomplete() ? 1 : 0;
  }
  EXPECT_EQ(images, 200);
  EXPECT_GT(incomplete, 0);  // the camera does lose packets
  RecordProperty("incomplete", incomplete);
}

TEST(GigeNet, HeldBuffersMakeLostFramesOverruns) {
  REQUIRE_ISOLATED();
  Fifo f = freeRun(0);
  f->hardwareImagePoolSize(2);
  std::atomic<int> overruns{0};
  qcOverrunCallbackProp& oc = f->properties();
  oc.overrunCallback(qfMakeCallback([&] { ++overruns; }));
  qcAcquireInfo a, b, c;
  auto img1 = f->complete(wait(a, 5.0).makeLocal(false));
  auto img2 = f->complete(wait(b, 5.0).makeLocal(false));
  ASSERT_TRUE(img1.isBound() && img2.isBound());
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // frames arrive and find no buffer
  img1 = qcPelBuffer<unsigned char>();
  img2 = qcPelBuffer<unsigned char>();
  // Frames queued before the buffers ran out complete first; the frame after
  // the gap reports the lost ones (its callbacks run just after it is
  // queued, so give them a moment).
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  for (int i = 0; i < 40 && overruns.load() == 0 && std::chrono::steady_clock::now() < until; ++i) {
    f->complete(wait(c, 5.0));
    for (int k = 0; k < 10 && overruns.load() == 0; ++k) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_GT(overruns.load(), 0);
}

TEST(GigeNet, DiscoverySaysItBroadcasts) {
  REQUIRE_ISOLATED();
  std::ostringstream out;
  qacq::CamerasOptions o;
  EXPECT_EQ(qacq::cameras(o, out), 0);
  EXPECT_THAT(out.str(), ::testing::HasSubstr("sends GigE Vision discovery broadcasts"));
}

// Last: it kills the first camera.
TEST(GigeNet, ALostCameraFailsCompletionsInTimeAndTheBoardRecovers) {
  REQUIRE_ISOLATED();
  {
    Fifo f = freeRun(0);
    qcAcquireInfo info;
    ASSERT_TRUE(f->complete(wait(info, 5.0)).isBound());
    stopCamera(gCamera[0]);
    const auto killed = Clock::now();
    bool lost = false;
    while (!lost && Clock::now() - killed < std::chrono::seconds(15)) {
      const auto t0 = Clock::now();
      f->complete(wait(info, 1.0));
      // Every completion keeps its deadline.
      EXPECT_LT(std::chrono::duration<double>(Clock::now() - t0).count(), 1.5);
      lost = info.failure().isAbnormal() && info.failure().errorInfo().find("lost") != std::string::npos;
    }
    ASSERT_TRUE(lost) << "no control-lost failure within 15 s";
    RecordProperty("lost_after_ms",
                   static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - killed).count()));
    // Later completions fail at once, with the reason.
    const auto t0 = Clock::now();
    EXPECT_FALSE(f->complete(wait(info, 5.0)).isBound());
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - t0).count(), 1.0);
    EXPECT_THAT(info.failure().errorInfo(), ::testing::HasSubstr("lost"));
  }
  // The camera comes back; a new FIFO opens it again.
  gCamera[0] = startCamera("127.0.0.1");
  std::this_thread::sleep_for(std::chrono::seconds(1));
  Fifo f = freeRun(0);
  qcAcquireInfo info;
  EXPECT_TRUE(f->complete(wait(info, 5.0)).isBound());
}

// Manual triggering: the worker may be stuck sending a trigger to the gone
// camera, yet completions see the loss, and acquisitions started after it
// fail too (the FIFO ends idle).
TEST(GigeNet, ALostCameraFailsManualAcquisitionsStartedLater) {
  REQUIRE_ISOLATED();
  Fifo f(new qcStdGreyAcqFifo(vga(), qfGigeBoard(1)));
  qcTriggerProp& t = f->properties();
  t.triggerModel(qfManualTrigger());
  qcAcquireInfo info;
  f->start(1);
  ASSERT_TRUE(f->complete(wait(info, 5.0)).isBound());
  stopCamera(gCamera[1]);
  const auto killed = Clock::now();
  bool lost = false;
  while (!lost && Clock::now() - killed < std::chrono::seconds(15)) {
    f->start(1);
    f->complete(wait(info, 1.0));
    lost = info.failure().errorInfo().find("lost") != std::string::npos;
  }
  ASSERT_TRUE(lost) << "no control-lost failure within 15 s";
  f->start(3);
  for (int i = 0; i < 3; ++i) {
    const auto t0 = Clock::now();
    EXPECT_FALSE(f->complete(wait(info, 5.0)).isBound());
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - t0).count(), 1.0);
    EXPECT_THAT(info.failure().errorInfo(), ::testing::HasSubstr("lost"));
  }
  const auto t0 = Clock::now();
  while (!f->isIdle() && Clock::now() - t0 < std::chrono::seconds(2)) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_TRUE(f->isIdle());
}

}  // namespace
