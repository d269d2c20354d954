// The simulator wrapper when no simulator library can be found.
#include <qrn/acq/format/clsim.h>

#include <gtest/gtest.h>

#include <dlfcn.h>

TEST(CLSimWithoutLibrary, StaysNotInitialisedAndDoesNothing) {
  // This executable does not link the fake library; make sure none is found.
  void* h = ::dlopen("libclsim.so", RTLD_NOW | RTLD_NOLOAD);
  ASSERT_EQ(h, nullptr);
  qcCLSim sim;
  EXPECT_FALSE(sim.isInited());
  EXPECT_EQ(sim.port(), -1);
  sim.init(2);
  EXPECT_FALSE(sim.isInited());
  EXPECT_EQ(sim.port(), -1);
  EXPECT_FALSE(sim.setCLSimFormat("Sony XC75 640x480"));
  sim.init(2);  // a second attempt fails the same way
  EXPECT_FALSE(sim.isInited());
}
