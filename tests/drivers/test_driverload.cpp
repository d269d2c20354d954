#include <gtest/gtest.h>

#include <qrn/acq/hyper/driver.h>
#include <qrn/foundation/board.h>

#include <unistd.h>

#include <cstdlib>

// Each test runs in its own process (one ctest entry per case), so the board
// list's first use happens here with the environment set in the test.
TEST(DriverLoad, ExplicitLoadBeforeTheBoardListsFirstUseReturns) {
  ::setenv("QUORIN_DRIVER_DIR", "/nonexistent", 1);
  ::alarm(30);  // a deadlock ends the process instead of hanging the suite
  const auto records = qf_loadDrivers(FAKE_DRIVER_DIR);
  ::alarm(0);
  EXPECT_EQ(records.size(), 3u);
  EXPECT_EQ(qcBoard::count(), 2);
}

TEST(DriverLoad, FirstUseOfTheBoardListLoadsOnlyMatchingDrivers) {
  ::setenv("QUORIN_DRIVER_DIR", (std::string("/nonexistent;") + FAKE_DRIVER_DIR).c_str(), 1);
  ASSERT_EQ(qcBoard::count(), 2);
  EXPECT_EQ(qcBoard::get(0).name(), "plugin");
  EXPECT_EQ(qcBoard::get(1).bdIdx(), 1);

  auto records = qf_driverLoadRecords();
  ASSERT_EQ(records.size(), 3u);
  int loaded = 0;
  for (const auto& r : records) {
    if (r.loaded) {
      ++loaded;
      EXPECT_NE(r.path.find("good"), std::string::npos);
    } else if (r.path.find("badversion") != std::string::npos) {
      EXPECT_NE(r.message.find("version"), std::string::npos) << r.message;
    } else {
      EXPECT_NE(r.message.find("not a board driver"), std::string::npos) << r.message;
    }
  }
  EXPECT_EQ(loaded, 1);
  // Loading the same directory again loads nothing twice.
  EXPECT_TRUE(qf_loadDrivers(FAKE_DRIVER_DIR).empty());
  EXPECT_EQ(qcBoard::count(), 2);
}
