// The camera driver over a real GigE Vision stream: Aravis's GigE Vision fake
// camera on loopback.  Runs only inside a private network namespace that
// holds nothing but loopback (gige_netns.sh sets it up); anywhere else every
// test skips, so nothing here can send a packet beyond the host.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
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

// What gige.h promises for a lost camera (with room for a loaded machine):
// the loss is seen within about 6 s, and a FIFO of a camera known lost goes
// at once.
constexpr double kLostSeconds = 8.0;
constexpr double kLostDestroySeconds = 0.5;

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
// Boards gige0 to gige4: 127.0.0.1, 127.0.0.2 (losing packets), 127.0.0.3 to
// .5; 127.0.0.6 is for other processes (this one never opens it); gige5:
// 127.0.0.7, losing many packets.
constexpr const char* kAddress[] = {"127.0.0.1", "127.0.0.2", "127.0.0.3", "127.0.0.4",
                                    "127.0.0.5", "127.0.0.6", "127.0.0.7"};
constexpr const char* kLostPerThousand[] = {nullptr, "2", nullptr, nullptr, nullptr, nullptr, "10"};
pid_t gCamera[std::size(kAddress)] = {};

class Cameras : public ::testing::Environment {
public:
  void SetUp() override {
    gIsolated = onlyLoopback();
    if (!gIsolated) return;
    for (std::size_t i = 0; i < std::size(kAddress); ++i)
      gCamera[i] = startCamera(kAddress[i], kLostPerThousand[i]);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    ::setenv("QUORIN_GIGE_CAMERAS", "127.0.0.1;127.0.0.2;127.0.0.3;127.0.0.4;127.0.0.5;127.0.0.7", 1);
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

// At 1 % of the packets lost some frames lose their leader, and Aravis hands
// them out in a buffer that still holds an earlier frame's id and time stamp
// (that of 16 frames before, one turn of the pool): every frame is still
// reported once, in order, and only a real gap in the ids marks one missed.
TEST(GigeNet, FramesLosingPacketsAreEachReportedOnceInOrder) {
  REQUIRE_ISOLATED();
  Fifo f = freeRun(5);
  unsigned long last = 0;
  std::uint64_t lastStamp = 0;
  int incomplete = 0, unstamped = 0, missed = 0;
  for (int i = 0; i < 300; ++i) {
    qcAcquireInfo info;
    const qcPelBuffer<unsigned char> img = f->complete(wait(info, 5.0));
    const qcAcqFailure fl = info.failure();
    ASSERT_TRUE(img.isBound()) << "frame " << i << ": " << fl.errorInfo();
    if (i > 0) {
      // Ids of 16 bits go from 65535 to 1.
      const unsigned long step = info.triggerNum() > last ? info.triggerNum() - last : info.triggerNum() + 65535 - last;
      EXPECT_TRUE(step >= 1 && step < 100) << "frame " << i << ": id " << info.triggerNum() << " after " << last;
      if (fl.isMissed()) {
        EXPECT_GT(step, 1u) << "frame " << i << " missed without a gap";
      }
    }
    // A frame without its leader has no time stamp; the others' go forward.
    if (info.timeStamp() == 0) {
      EXPECT_TRUE(fl.isIncomplete()) << "frame " << i;
      ++unstamped;
    } else {
      EXPECT_GT(info.timeStamp(), lastStamp) << "frame " << i;
      lastStamp = info.timeStamp();
    }
    last = info.triggerNum();
    incomplete += fl.isIncomplete() ? 1 : 0;
    missed += fl.isMissed() ? 1 : 0;
  }
  EXPECT_GT(incomplete, 0);  // the camera does lose packets
  RecordProperty("incomplete", incomplete);
  RecordProperty("without_leader", unstamped);
  RecordProperty("missed", missed);
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

double secondsSince(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

// qacq as a process of its own, on the camera kept for other processes.
pid_t spawnQacq(std::vector<std::string> args) {
  args.insert(args.begin(), QRN_QACQ_EXE);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> env{"QUORIN_GIGE_CAMERAS=127.0.0.6"};
  for (char** e = environ; *e; ++e)
    if (std::string(*e).rfind("QUORIN_GIGE_CAMERAS=", 0) != 0) env.emplace_back(*e);
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t quiet;
  posix_spawn_file_actions_init(&quiet);
  posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int rc = ::posix_spawn(&pid, argv[0], &quiet, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&quiet);
  return rc == 0 ? pid : 0;
}
// The exit code, or 128 + the signal.
int waitQacq(pid_t pid) {
  int status = 0;
  if (pid <= 0 || ::waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// A program started right after another one used the camera streams from
// it: the first gave the camera back when it ended, normally or on SIGTERM.
TEST(GigeNet, TheCameraIsHandedFromProgramToProgram) {
  REQUIRE_ISOLATED();
  const std::vector<std::string> grab3 = {"grab", "--board", "gige0", "--trigger", "freerun", "-n", "3", "--save", "none"};
  EXPECT_EQ(waitQacq(spawnQacq({"boards"})), 0);
  EXPECT_EQ(waitQacq(spawnQacq(grab3)), 0);
  EXPECT_EQ(waitQacq(spawnQacq(grab3)), 0);
  const pid_t long_ = spawnQacq({"grab", "--board", "gige0", "--trigger", "freerun", "-n", "100000", "--save", "none", "-q"});
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  ::kill(long_, SIGTERM);
  EXPECT_EQ(waitQacq(long_), 128 + SIGTERM);
  EXPECT_EQ(waitQacq(spawnQacq(grab3)), 0);
}

// Four cameras grabbed at once by one qacq; one is killed: the other three
// lose nothing, the lost one ends its loop with one line and the grab exits
// 3; the board survives, and once the camera is back a new FIFO streams.
// Last but two: it kills gige4 (and starts it again).
TEST(GigeNet, FourCamerasAtOnceOneKilled) {
  REQUIRE_ISOLATED();
  std::ostringstream out, err;
  const auto t0 = Clock::now();
  std::thread killer([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    stopCamera(gCamera[4]);
  });
  // The frame timeout is beyond the time a loss takes to be seen, so that the
  // lost camera's frames fail as lost, not as late.
  const int rc = qacq::run({"grab", "--board", "gige0,gige2,gige3,gige4", "--trigger", "freerun", "-n", "500", "--save",
                            "none", "-q", "--timeout", "15", "--custom", "AcquisitionFrameRate=100"},
                           out, err);
  killer.join();
  const double took = secondsSince(t0);
  RecordProperty("grab_ms", static_cast<int>(took * 1000));
  EXPECT_EQ(rc, 3) << err.str();
  const std::string text = out.str();
  // The three others took every frame, and none failed once all four were
  // streaming (a first frame may come incomplete when a stream starts
  // while four start on two cores).
  for (const char* board : {"gige0: 500 frames", "gige2: 500 frames", "gige3: 500 frames"})
    EXPECT_THAT(text, ::testing::HasSubstr(board)) << text;
  std::istringstream all(text);
  for (std::string line; std::getline(all, line);) {
    long frame = 0;
    char board = 0;
    if (std::sscanf(line.c_str(), "gige%c frame %ld:", &board, &frame) == 2 && board != '4') {
      EXPECT_LE(frame, 3) << line;
    }
  }
  EXPECT_THAT(text, ::testing::ContainsRegex("board gige4 lost at frame [0-9]+: .*lost"));
  EXPECT_THAT(text, ::testing::HasSubstr("stopped: the board was lost"));
  long lines = 0;
  for (std::size_t at = text.find("gige4 "); at != std::string::npos; at = text.find("gige4 ", at + 1)) ++lines;
  EXPECT_EQ(lines, 1) << text;  // the loss, not a line per remaining frame

  gCamera[4] = startCamera(kAddress[4]);
  std::this_thread::sleep_for(std::chrono::seconds(1));
  std::ostringstream out2, err2;
  EXPECT_EQ(qacq::run({"grab", "--board", "gige4", "--trigger", "freerun", "-n", "3", "--save", "none"}, out2, err2), 0)
      << err2.str();
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
    EXPECT_LT(secondsSince(killed), kLostSeconds);
    RecordProperty("lost_after_ms",
                   static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - killed).count()));
    // Later completions fail at once, with the reason.
    const auto t0 = Clock::now();
    EXPECT_FALSE(f->complete(wait(info, 5.0)).isBound());
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - t0).count(), 1.0);
    EXPECT_THAT(info.failure().errorInfo(), ::testing::HasSubstr("lost"));
    // Once the loss is known, the FIFO goes at once.
    const auto d0 = Clock::now();
    f = Fifo();
    RecordProperty("destroy_ms", static_cast<int>(secondsSince(d0) * 1000));
    EXPECT_LT(secondsSince(d0), kLostDestroySeconds);
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
  // Software triggers sent to the gone camera do not delay the loss much.
  RecordProperty("lost_after_ms", static_cast<int>(secondsSince(killed) * 1000));
  EXPECT_LT(secondsSince(killed), kLostSeconds);
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
