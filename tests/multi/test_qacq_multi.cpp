// qacq grab --channels and qacq equalize on the simulated board (board 0 has
// three channels in this test process, see test_sim_multi.cpp).
#include <sstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "qacq.h"
#include "../qacq/qacq_run.h"
#include "../qacq/qacq_support.h"

using ::testing::HasSubstr;

namespace {

using qacq_test::Outcome;
using qacq_test::qacqRun;

TEST(QacqMulti, GrabChannelsWritesTheColourScene) {
  qacq_test::TempDir dir;
  const Outcome r = qacqRun({"grab", "--channels", "-f", "Sony XC75 320x240", "-n", "2", "--save", "pgm", "--custom",
                             "TestImage=color", "-o", dir.path().string()});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_THAT(r.out, HasSubstr("320x240 rgb32 through 3 channels"));
  const qacq_test::Decoded d = qacq_test::readPnm(dir / "frame-0002.ppm");
  ASSERT_TRUE(d.ok) << d.error;
  ASSERT_EQ(d.channels, 3);
  // Pel (300, 10): red 255 * 300 / 319, green 255 * 10 / 239, blue 255 - red,
  // through the FIFO's default input table (15 to 240).
  const std::size_t at = 3 * static_cast<std::size_t>(10 * 320 + 300);
  EXPECT_EQ(d.samples[at], 239u);
  EXPECT_EQ(d.samples[at + 1], 15u);
  EXPECT_EQ(d.samples[at + 2], 16u);

  const Outcome grey = qacqRun({"grab", "--channels", "-i", "grey8", "--save", "none"});
  EXPECT_EQ(grey.code, 2);
  EXPECT_THAT(grey.err, HasSubstr("--channels grabs colour"));
}

TEST(QacqMulti, EqualizePrintsWhatItSetAndTheTails) {
  const Outcome r = qacqRun({"equalize", "-f", "Sony XC75 640x480", "--custom", "TestImage=twotap"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_THAT(r.out, HasSubstr("tails of 200 pels, tolerance 10 grey levels"));
  EXPECT_THAT(r.out, HasSubstr("even (0)  0.000 -> 0.197"));
  EXPECT_THAT(r.out, HasSubstr("equalized: both tails within 10 grey levels"));
  // "(changed)" marks the channel whose values changed, and only that one.
  const auto changedRows = [](const std::string& out) {
    std::vector<std::string> rows;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
      if (line.find("(changed)") != std::string::npos) rows.push_back(line.substr(0, 8));
    return rows;
  };
  EXPECT_EQ(changedRows(r.out), std::vector<std::string>{"even (0)"}) << r.out;
  const Outcome same = qacqRun({"equalize", "-f", "Sony XC75 640x480"});  // taps alike already
  ASSERT_EQ(same.code, 0) << same.err;
  EXPECT_EQ(changedRows(same.out), std::vector<std::string>{}) << same.out;

  const Outcome dark = qacqRun({"equalize", "--custom", "TestImage=flat", "--custom", "FlatValue=0"});
  EXPECT_EQ(dark.code, 1);
  EXPECT_THAT(dark.err, HasSubstr("the taps were not equalized"));
  EXPECT_EQ(qacqRun({"equalize", "--tolerance", "-1"}).code, 2);
}

}  // namespace
