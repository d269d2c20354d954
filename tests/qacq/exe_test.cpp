// The qacq executable itself: the driver directory fallback of a tool run from
// the build tree, exit codes and one-line errors, and the demo's invocation.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include <sys/wait.h>

#include "qacq_support.h"

using ::testing::HasSubstr;
using ::testing::StartsWith;
using qacq_test::TempDir;

namespace {

struct Exe {
  int code = -1;
  std::string out, err;
};

// Runs the tool from `cwd` without QUORIN_DRIVER_DIR (so it must find the
// build tree's drivers itself) and with an empty registry.  At most 120 s.
Exe runExe(const TempDir& dir, const std::string& args, const std::string& cwd = "") {
  const std::string out = dir / "stdout", err = dir / "stderr";
  const std::string cmd = "cd '" + (cwd.empty() ? dir.path().string() : cwd) +
                          "' && env -u QUORIN_DRIVER_DIR QUORIN_REGISTRY_FILE='" + (dir / "none.reg") +
                          "' timeout 120 '" QACQ_EXE "' " + args + " >'" + out + "' 2>'" + err + "'";
  const int status = std::system(cmd.c_str());
  Exe e;
  e.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  e.out = qacq_test::readFile(out);
  e.err = qacq_test::readFile(err);
  return e;
}

}  // namespace

TEST(QacqExe, FindsTheBuildTreeDriversWithoutTheVariable) {
  TempDir dir;
  const Exe e = runExe(dir, "boards");
  EXPECT_EQ(e.code, 0) << e.err;
  EXPECT_THAT(e.out, HasSubstr("sim0"));
}

TEST(QacqExe, ErrorsAreOneLineOnStderr) {
  TempDir dir;
  const Exe e = runExe(dir, "grab --format 'Sony XC75 64x480'");
  EXPECT_EQ(e.code, 2);
  EXPECT_EQ(e.out, "");
  EXPECT_EQ(e.err, "qacq: unknown video format \"Sony XC75 64x480\"; closest: \"Sony XC75 640x480\", "
                   "\"Sony XC75 640x240\", \"Sony XC7500 640x480\"\n");
  const Exe none = runExe(dir, "");
  EXPECT_EQ(none.code, 2);
  EXPECT_THAT(none.err, StartsWith("qacq: "));
}

TEST(QacqExe, TheDemoInvocationLeavesFiveImages) {
  TempDir dir;
  const Exe e = runExe(dir, "grab --count 5 --out grab-out");
  ASSERT_EQ(e.code, 0) << e.err;
  EXPECT_EQ(e.err, "");  // not a terminal: no progress bar
  for (int i = 1; i <= 5; ++i) {
    const auto d = qacq_test::readPng(dir / ("grab-out/frame-000" + std::to_string(i) + ".png"));
    ASSERT_TRUE(d.ok) << d.error;
    EXPECT_EQ(d.width, 640);
    EXPECT_EQ(d.height, 480);
  }
}
