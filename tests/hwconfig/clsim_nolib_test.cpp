// The simulator wrapper when no simulator library can be found.
#include <qrn/acq/format/clsim.h>

#include <gtest/gtest.h>

#include <filesystem>

#include <dlfcn.h>

TEST(CLSimWithoutLibrary, StaysNotInitialisedAndDoesNothing) {
  // This executable does not link the fake library, and the build tree's run
  // paths may hold an empty entry (the working directory): work elsewhere.
  ASSERT_EQ(::dlopen("libclsim.so", RTLD_NOW | RTLD_NOLOAD), nullptr);
  const auto cwd = std::filesystem::current_path();
  std::filesystem::current_path("/");
  struct Back {
    std::filesystem::path dir;
    ~Back() { std::filesystem::current_path(dir); }
  } back{cwd};
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
