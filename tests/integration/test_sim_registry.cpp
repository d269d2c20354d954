// The simulated boards come from the registry store: how many and their
// settings.  The store is set before the first use of the board list.
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include <qrn/acq/hyper/typedfifo.h>
#include <qrn/drivers/sim.h>
#include <qrn/foundation/board.h>

namespace {

TEST(SimRegistry, BoardCountAndSettingsComeFromTheStore) {
  const std::string path = std::string(QRN_TEST_BINARY_DIR) + "/sim-registry-" + std::to_string(::getpid()) + ".reg";
  {
    std::ofstream out(path);
    out << "Windows Registry Editor Version 5.00\n\n"
           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorin\\ORB\\sim]\n\"boards\"=dword:00000003\n\n"
           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorin\\ORB\\sim\\board1]\n\"numTaps\"=dword:00000001\n"
           "\"poolSize\"=dword:00000006\n\"framePeriod\"=\"0.001\"\n";
  }
  ASSERT_EQ(::setenv("QUORIN_REGISTRY_FILE", path.c_str(), 1), 0);  // replaces the default of sim_env.cpp

  std::vector<qcFrameGrabber*> sims;
  for (long i = 0; i < qcBoard::count(); ++i) {
    qcBoard& b = qcBoard::get(i);
    if (b.name() == "sim") {
      EXPECT_EQ(b.bdIdx(), static_cast<long>(sims.size()));
      sims.push_back(dynamic_cast<qcFrameGrabber*>(&b));
    }
  }
  ASSERT_EQ(sims.size(), 3u);
  EXPECT_EQ(sims[2]->getUniqueId(), "sim:2");

  qc_BaseVideoFormat base{"SimTest 8x4", 8, 4, 8, false, false, false, false};
  qc_VideoFormat vf(base, qe_pelType_unspecified);
  qcStdVideoFormat fmt(vf);
  qcPtrHandle<qcStdGreyAcqFifo> one(new qcStdGreyAcqFifo(fmt, *sims[1]));
  qcPtrHandle<qcStdGreyAcqFifo> zero(new qcStdGreyAcqFifo(fmt, *sims[0]));
  EXPECT_EQ(one->fifo().numTaps(), 1);
  EXPECT_EQ(one->defaultHardwareImagePoolSize(), 6);
  EXPECT_EQ(zero->fifo().numTaps(), 2);
  EXPECT_EQ(zero->defaultHardwareImagePoolSize(), 4);
  // Slaves only on the master's board.
  qcTriggerProp& tp = zero->properties();
  EXPECT_FALSE(tp.couldSlaveTo(one));

  // The board's frame period applies to formats without camera timing.
  one->start(3);
  qcAcquireInfo a, b;
  ASSERT_TRUE(one->complete(qcAcqFifo::CompleteArgs().maxWait(2).acquireInfo(&a)).isBound());
  one->complete(qcAcqFifo::CompleteArgs().maxWait(2));
  ASSERT_TRUE(one->complete(qcAcqFifo::CompleteArgs().maxWait(2).acquireInfo(&b)).isBound());
  EXPECT_LT(b.timeStamp() - a.timeStamp(), 30000u);  // far below 1/30 s per frame
  std::filesystem::remove(path);
}

}  // namespace
