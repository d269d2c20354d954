// The simulator wrapper against the fake simulator library, which records
// the calls it receives.
#include <qrn/acq/format/clsim.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "fake_clsim.h"

namespace {

class CLSim : public ::testing::Test {
protected:
  void SetUp() override { clsimFake_reset(); }
  void TearDown() override { clsimFake_reset(); }
  static std::string log() { return clsimFake_log(); }
};

const std::string kFormatCalls =
    "CLSimSetCamera(3,Sony XC75 640x480)\n"
    "CLSimSetPattern(3,0,3,0,255,1)\n"
    "CLSimSetPattern(3,1,3,0,255,1)\n"
    "CLSimSetPattern(3,2,3,0,255,1)\n"
    "CLSimSetPattern(3,3,3,0,255,1)\n"
    "CLSimSetRollMode(3,1)\n"
    "CLSimGetAsyncString(Sony XC75 640x480,0,128)\n"
    "CLSimSetAsyncMode(3,Sony XC75 640x480,async:Sony XC75 640x480,1)\n";

TEST_F(CLSim, FullLifeCallsTheLibraryInOrder) {
  {
    qcCLSim sim;
    EXPECT_FALSE(sim.isInited());
    EXPECT_EQ(sim.port(), -1);
    sim.init(3);
    ASSERT_TRUE(sim.isInited());
    EXPECT_EQ(sim.port(), 3);
    EXPECT_EQ(log(), "CLSimInit()\nCLSimOpenCOM(3,callback)\n");
    sim.init(4);  // already initialised: nothing happens
    EXPECT_EQ(sim.port(), 3);
    EXPECT_TRUE(sim.setCLSimFormat("Sony XC75 640x480"));
  }
  EXPECT_EQ(log(), "CLSimInit()\nCLSimOpenCOM(3,callback)\n" + kFormatCalls + "CLSimCloseCOM(3)\nCLSimTerminate()\n");
}

TEST_F(CLSim, NothingIsCalledBeforeASuccessfulInit) {
  {
    qcCLSim sim;
    EXPECT_FALSE(sim.setCLSimFormat("Sony XC75 640x480"));
  }
  EXPECT_EQ(log(), "");
}

TEST_F(CLSim, AFailedOpenLeavesItNotInitialised) {
  clsimFake_setOpenResult(0);
  {
    qcCLSim sim;
    sim.init(5);
    EXPECT_FALSE(sim.isInited());
    EXPECT_EQ(sim.port(), -1);
    EXPECT_FALSE(sim.setCLSimFormat("Sony XC75 640x480"));
    // A later attempt may succeed.
    clsimFake_setOpenResult(1);
    sim.init(6);
    EXPECT_TRUE(sim.isInited());
    EXPECT_EQ(sim.port(), 6);
  }
  // No close or terminate for the failed open; both for the good one.
  EXPECT_EQ(log(),
            "CLSimInit()\nCLSimOpenCOM(5,callback)\n"
            "CLSimInit()\nCLSimOpenCOM(6,callback)\n"
            "CLSimCloseCOM(6)\nCLSimTerminate()\n");
}

TEST_F(CLSim, AnUnterminatedAsyncStringStaysInsideTheBuffer) {
  clsimFake_setAsyncFill(1);
  qcCLSim sim;
  sim.init(1);
  ASSERT_TRUE(sim.setCLSimFormat("cam"));
  EXPECT_NE(log().find("CLSimSetAsyncMode(1,cam," + std::string(127, 'A') + ",1)\n"), std::string::npos) << log();
  EXPECT_FALSE(sim.setCLSimFormat(nullptr));
}

TEST_F(CLSim, TwoSimulatorsShareTheLibrary) {
  auto a = std::make_unique<qcCLSim>();
  qcCLSim b;
  a->init(1);
  b.init(2);
  ASSERT_TRUE(a->isInited());
  ASSERT_TRUE(b.isInited());
  a.reset();
  clsimFake_reset();
  EXPECT_TRUE(b.setCLSimFormat("x"));
  EXPECT_EQ(log().rfind("CLSimSetCamera(2,x)\n", 0), 0u) << log();
}

}  // namespace
