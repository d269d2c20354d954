// qacq: closest-name suggestions and the small parsers of the command line.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <qrn/acq/hyper/failure.h>
#include <qrn/acq/hyper/failurename.h>

#include "qacq.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;

TEST(QacqNames, EditDistance) {
  struct Case {
    const char* a;
    const char* b;
    std::size_t d;
  } cases[] = {
      {"", "", 0},           {"abc", "", 3},         {"", "abc", 3},         {"kitten", "sitting", 3},
      {"flaw", "lawn", 2},   {"Sony", "sONY", 0},    {"640x480", "64x480", 1}, {"abc", "acb", 2},
      {"grey8", "grey16", 2},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(qacq::editDistance(c.a, c.b), c.d) << c.a << " / " << c.b;
    EXPECT_EQ(qacq::editDistance(c.b, c.a), c.d) << "symmetric: " << c.b << " / " << c.a;
  }
}

TEST(QacqNames, ClosestNamesRanksCaseThenContainsThenDistance) {
  const std::vector<std::string> known = {"Sony XC75 640x480", "Sony XC75 640x240", "Sony XC7500 640x480",
                                          "Pulnix TM7EX 640x480", "Test LS 2048x2048"};
  // Same but for case comes first, even before shorter containing names.
  EXPECT_THAT(qacq::closestNames("sony xc75 640x480", known, 1), ElementsAre("Sony XC75 640x480"));
  // A part of a name: the names containing it, shortest first.
  EXPECT_THAT(qacq::closestNames("xc75", known),
              ElementsAre("Sony XC75 640x480", "Sony XC75 640x240", "Sony XC7500 640x480"));
  // One typo: the nearest first; farther ones within the limit follow.
  const auto typo = qacq::closestNames("Sony XC75 64x480", known);
  ASSERT_FALSE(typo.empty());
  EXPECT_EQ(typo.front(), "Sony XC75 640x480");
  EXPECT_LE(typo.size(), 3u);
  // Nothing close, and the maximum is kept.
  EXPECT_TRUE(qacq::closestNames("zzzz", known).empty());
  EXPECT_TRUE(qacq::closestNames("", known).empty());
  EXPECT_EQ(qacq::closestNames("640", known, 2).size(), 2u);
}

TEST(QacqNames, UnknownNameMessageIsOneLine) {
  const std::vector<std::string> known = {"alpha", "beta"};
  EXPECT_EQ(qacq::unknownNameMessage("thing", "alpah", known, "x list"),
            "unknown thing \"alpah\"; closest: \"alpha\"");
  EXPECT_EQ(qacq::unknownNameMessage("thing", "zzzzzz", known, "x list"),
            "unknown thing \"zzzzzz\" (see \"x list\")");
}

TEST(QacqNames, ImageFormats) {
  EXPECT_EQ(qacq::parseImageFormat("grey8"), qeImageFormat_Grey8);
  EXPECT_EQ(qacq::parseImageFormat("RGB32"), qeImageFormat_PackedRGB32);
  EXPECT_EQ(qacq::parseImageFormat("3plane"), qeImageFormat_3Plane);
  EXPECT_EQ(qacq::parseImageFormat("12"), qeImageFormat_3Plane);
  EXPECT_EQ(qacq::parseImageFormat("19"), static_cast<qeImageFormat>(19));
  EXPECT_EQ(qacq::parseImageFormat("32"), qeImageFormat_Grey14);
  // Every short name reads back to its own value.
  for (const auto& [name, value] : qacq::imageFormatNames()) {
    EXPECT_EQ(qacq::parseImageFormat(name), value) << name;
    EXPECT_EQ(qfImageFormatName(value), name);
  }
  EXPECT_EQ(qfImageFormatName(static_cast<qeImageFormat>(18)), "format18");

  for (const char* bad : {"0", "20", "31", "33", "-1", "", "grey", "12x"}) EXPECT_THROW(qacq::parseImageFormat(bad), qacq::UsageError) << bad;
  try {
    qacq::parseImageFormat("grey9");
    FAIL() << "no exception";
  } catch (const qacq::UsageError& e) {
    EXPECT_THAT(e.what(), HasSubstr("closest: \"grey8\""));
  }
  try {
    qacq::parseImageFormat("jpeg2000xyz");
    FAIL() << "no exception";
  } catch (const qacq::UsageError& e) {
    EXPECT_THAT(e.what(), HasSubstr("known: grey8 grey16"));  // nothing close: the whole list
  }
}

TEST(QacqNames, RoiAndCustomItems) {
  const qcPelRect r = qacq::parseRoi("10,20,30,40");
  EXPECT_EQ(r, qcPelRect(10, 20, 30, 40));
  for (const char* bad : {"", "1,2,3", "1,2,3,4,5", "-1,0,10,10", "0,0,0,10", "0,0,10,-1", "a,b,c,d", "1,2,3,4x"})
    EXPECT_THROW(qacq::parseRoi(bad), qacq::UsageError) << bad;

  EXPECT_EQ(qacq::parseCustomItem("TestImage=color"), std::make_pair(std::string("TestImage"), std::string("color")));
  EXPECT_EQ(qacq::parseCustomItem("A=b=c"), std::make_pair(std::string("A"), std::string("b=c")));
  EXPECT_EQ(qacq::parseCustomItem("A="), std::make_pair(std::string("A"), std::string()));
  for (const char* bad : {"", "=x", "noequals"}) EXPECT_THROW(qacq::parseCustomItem(bad), qacq::UsageError) << bad;
}

TEST(QacqNames, DescribeFailure) {
  EXPECT_EQ(qfDescribeFailure(qcAcqFailure()), "ok");
  qcAcqFailure f;
  f.isTimeout(true);
  EXPECT_EQ(qfDescribeFailure(f), "timeout");
  f.isOverrun(true);
  EXPECT_EQ(qfDescribeFailure(f), "timeout+overrun");
  qcAcqFailure a(qcAcqFailure::kAbnormal, 42);
  a.errorInfo("link down");
  EXPECT_EQ(qfDescribeFailure(a), "abnormal (code 42): link down");
  // A flag this tool does not know still reads as a failure.
  EXPECT_EQ(qfDescribeFailure(qcAcqFailure(0x8000, 0)), "failed (flags 0x8000)");
}
