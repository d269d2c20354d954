// Faults found in review of the camera driver, each shown on Aravis's
// in-process fake camera (no network), described by our GenICam file with
// its trigger input renamed Line4 (a camera whose trigger lines are not
// Line0).
#include <arv.h>
#include <sys/resource.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include <qrn/acq/hyper/trigmodel.h>
#include <qrn/acq/hyper/typedfifo.h>
#include <qrn/drivers/gige.h>

#include "gige_fixture.h"
#include "qacq.h"
#include "../qacq/qacq_run.h"

namespace {

// Before the board list opens the camera.
const bool gCameras = [] {
  std::ifstream in(QRN_TEST_SOURCE_DIR "/tests/gige/gige_fake_lines.xml");
  std::string xml((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::size_t source = xml.find("Name=\"TriggerSource\"");
  const std::string line0 = "EnumEntry Name=\"Line0\"";
  const std::size_t at = xml.find(line0, source);
  if (source == std::string::npos || at == std::string::npos) std::abort();
  xml.replace(at, line0.size(), "EnumEntry Name=\"Line4\"");
  // In the build tree, replaced whole (tests of this file run side by side).
  static const std::string path = QRN_TEST_BINARY_DIR "/gige_review_camera.xml";
  const std::string part = path + "." + std::to_string(::getpid());
  std::ofstream(part) << xml;
  std::rename(part.c_str(), path.c_str());
  arv_set_fake_camera_genicam_filename(path.c_str());
  ::setenv("QUORIN_GIGE_CAMERAS", "fake", 1);
  return true;
}();

qcGigeTestFormat& small() {
  static qcGigeTestFormat f("GigeReview 64x48", 64, 48);
  return f;
}

qcPtrHandle<qcStdGreyAcqFifo> makeFifo() { return qcPtrHandle<qcStdGreyAcqFifo>(new qcStdGreyAcqFifo(small().fmt, qfGigeBoard(0))); }

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// Runs `act` on a new FIFO with the address space capped at what the process
// maps plus 1 GB, so that a runaway allocation fails at once instead of
// filling the machine, and ends the process with act's result.
[[noreturn]] void runCapped(int (*act)(qcStdGreyAcqFifo&)) {
  auto f = makeFifo();
  std::ifstream status("/proc/self/status");
  unsigned long long vmKb = 0;
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmSize:", 0) == 0) vmKb = std::strtoull(line.c_str() + 7, nullptr, 10);
  const rlim_t bytes = (vmKb + (1ull << 20)) * 1024;
  const rlimit cap{bytes, bytes};
  if (vmKb == 0 || ::setrlimit(RLIMIT_AS, &cap) != 0) std::_Exit(3);  // never run uncapped
  std::_Exit(act(*f));
}
// The child running `act` capped ends with 0.
void expectExitsCleanlyCapped(int (*act)(qcStdGreyAcqFifo&)) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(runCapped(act), ::testing::ExitedWithCode(0), "");
}

// Any thread may read a feature of the board (gige.h); doing so while another
// thread makes the board's FIFO must not make that FIFO look like a second one.
TEST(GigeReview, ReadingAFeatureDoesNotBlockMakingTheFifo) {
  qfGigeFeature(qfGigeBoard(0), "Width");  // the camera is open
  std::atomic<bool> stop{false};
  std::thread reader([&] {
    while (!stop) qfGigeFeature(qfGigeBoard(0), "Width");
  });
  int refused = 0;
  for (int i = 0; i < 100; ++i) {
    try {
      makeFifo();
    } catch (const qcAcqFifo::CouldNotCreate& e) {
      ++refused;
      if (refused == 1) ADD_FAILURE() << e.what();
    }
  }
  stop = true;
  reader.join();
  EXPECT_EQ(refused, 0) << "of 100 FIFOs made while another thread read a feature";
}

// A trigger model the camera cannot take is refused, and the FIFO keeps the
// model it had: still Manual, started acquisitions still take frames.
TEST(GigeReview, ARefusedTriggerModelLeavesTheFifoAsItWas) {
  auto f = makeFifo();
  EXPECT_EQ(qfGigeFeature(qfGigeBoard(0), "TriggerSource"), "Software");
  qcTriggerProp& t = f->properties();
  EXPECT_THROW(t.triggerModel(qfAutoTrigger()), qcAcqFifo::BadParams);  // no Line0
  EXPECT_EQ(&t.triggerModel(), &qfManualTrigger());
  EXPECT_NO_THROW(f->start(1));
  qcAcquireInfo info;
  EXPECT_TRUE(f->complete(qcAcqFifo::CompleteArgs().maxWait(3.0).acquireInfo(&info)).isBound())
      << info.failure().errorInfo();
}

// Running a command feature from qacq is a success, not "no feature".
TEST(GigeReview, QacqRunsACommandFeature) {
  const qacq_test::Outcome o = qacq_test::qacqRun({"features", "--board", "gige0", "TriggerSoftware", "--set", "1"});
  EXPECT_EQ(o.code, 0) << o.err;
}

// A pool far beyond memory is an argument to refuse, not a process to abort
// (each stream buffer is allocated at once).
TEST(GigeReviewDeathTest, AHugePoolIsRefusedNotAborted) {
  if (kSanitized) GTEST_SKIP() << "an address-space cap and a sanitizer do not mix";
  expectExitsCleanlyCapped([](qcStdGreyAcqFifo& f) {
    try {
      f.hardwareImagePoolSize(1L << 30);  // 2^30 buffers of 3 KB
    } catch (const qcException&) {
    }
    return 0;
  });
}

// start(n) keeps n acquisitions pending; it costs no memory per acquisition
// (an application may start "very many" and flush later).
TEST(GigeReviewDeathTest, StartingManyAcquisitionsCostsNoMemoryPerAcquisition) {
  if (kSanitized) GTEST_SKIP() << "an address-space cap and a sanitizer do not mix";
  expectExitsCleanlyCapped([](qcStdGreyAcqFifo& f) {
    f.start(1ul << 36);
    const bool counted = f.pendingAcqs() >= (1L << 36) - 16;  // a few may have completed
    f.flush();
    return counted ? 0 : 4;
  });
}

}  // namespace
