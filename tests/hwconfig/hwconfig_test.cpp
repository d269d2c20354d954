// A board's hardware configuration in the registry store.
#include <qrn/acq/format/hwconfig.h>

#include <gtest/gtest.h>

#include <qrn/acq/registry/regstore.h>
#include <qrn/foundation/board.h>
#include <qrn/foundation/misc.h>

#include "reg_tempstore.h"

namespace {

class FakeBoard : public qcBoard {
public:
  FakeBoard(std::string name, long idx) : name_(std::move(name)), idx_(idx) {}
  std::string name() const override { return name_; }
  long bdIdx() const override { return idx_; }

private:
  std::string name_;
  long idx_;
};

const std::string kKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorin\\ORB\\utconfig\\board_fake_3";
const std::string k640 = "Sony XC75 640x480";
const std::string k320 = "Sony XC75 320x240";
const std::string kOther = "Sony XC75 768x576";

class AssertCounter {
public:
  AssertCounter() {
    prev_ = qf_setAssertObserver([this](const char*, long) { ++count; });
  }
  ~AssertCounter() { qf_setAssertObserver(prev_); }
  int count = 0;

private:
  qcAssertObserver prev_;
};

class HWConfig : public ::testing::Test {
protected:
  RegTempStore store;
  FakeBoard board{"fake", 3};
  qcHWConfig cfg{&board};
  qc_RegStore reg;
};

TEST_F(HWConfig, KeyComesFromTheBoardsNameAndIndex) {
  EXPECT_EQ(cfg.keyPath(), "SOFTWARE\\Quorin\\ORB\\utconfig\\board_fake_3");
  EXPECT_EQ(cfg.board(), &board);
  EXPECT_EQ(cfg.bdIdx(), 3);
}

TEST_F(HWConfig, WithoutAKeyEverythingIsSupportedAndNothingIsCreated) {
  for (const std::string& n : {k640, k320, std::string()}) EXPECT_TRUE(cfg.isFmtSupported(n));
  EXPECT_FALSE(cfg.limitFmt());
  EXPECT_FALSE(cfg.excludeFmt());
  EXPECT_FALSE(cfg.isCLSimulator());
  EXPECT_FALSE(cfg.enableAutoCLSimulator());
  EXPECT_FALSE(cfg.isFmtInList(k640));
  std::string name = "stale";
  cfg.getFmt(0, name);
  EXPECT_EQ(name, "");
  EXPECT_FALSE(store.exists());
}

TEST_F(HWConfig, SwitchesAreStoredAsOneOrZero) {
  using Getter = bool (qcHWConfig::*)() const;
  using Setter = bool (qcHWConfig::*)(bool);
  struct Switch {
    const char* value;
    Getter get;
    Setter set;
  } switches[] = {
      {"limitFmt", &qcHWConfig::limitFmt, &qcHWConfig::limitFmt},
      {"excludeFmt", &qcHWConfig::excludeFmt, &qcHWConfig::excludeFmt},
      {"CLSimulator", &qcHWConfig::isCLSimulator, &qcHWConfig::isCLSimulator},
      {"autoCLSimulator", &qcHWConfig::enableAutoCLSimulator, &qcHWConfig::enableAutoCLSimulator},
  };
  for (const Switch& s : switches) {
    SCOPED_TRACE(s.value);
    EXPECT_TRUE((cfg.*s.set)(true));
    EXPECT_TRUE((cfg.*s.get)());
    EXPECT_EQ(reg.value(kKey, s.value)->dword, 1u);
    EXPECT_TRUE((cfg.*s.set)(false));
    EXPECT_FALSE((cfg.*s.get)());
    EXPECT_EQ(reg.value(kKey, s.value)->dword, 0u);
    // Any nonzero number counts as set; a string does not.
    ASSERT_TRUE(reg.setDword(kKey, s.value, 0x80000000u));
    EXPECT_TRUE((cfg.*s.get)());
    ASSERT_TRUE(reg.setString(kKey, s.value, "1"));
    EXPECT_FALSE((cfg.*s.get)());
  }
  // Only this board's key was written.
  EXPECT_EQ(reg.subKeys("HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorin\\ORB\\utconfig"),
            std::vector<std::string>{"board_fake_3"});
}

TEST_F(HWConfig, LimitOrExcludeTheListedFormats) {
  ASSERT_TRUE(cfg.addFmtToList(0, k640));
  ASSERT_TRUE(cfg.addFmtToList(1, k320));
  struct Case {
    bool limit, exclude;
    bool s640, s320, sOther;
  } cases[] = {
      {false, false, true, true, true},   // a list alone changes nothing
      {true, false, true, true, false},   // only the listed
      {false, true, false, false, true},  // all but the listed
      {true, true, true, true, false},    // limitFmt governs
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.limit) + "/" + std::to_string(c.exclude));
    cfg.limitFmt(c.limit);
    cfg.excludeFmt(c.exclude);
    EXPECT_EQ(cfg.isFmtSupported(k640), c.s640);
    EXPECT_EQ(cfg.isFmtSupported(k320), c.s320);
    EXPECT_EQ(cfg.isFmtSupported(kOther), c.sOther);
    EXPECT_EQ(cfg.isFmtSupported("sony xc75 640x480"), c.sOther);  // names compare exactly
  }
  std::string name;
  cfg.getFmt(1, name);
  EXPECT_EQ(name, k320);
  ASSERT_TRUE(cfg.addFmtToList(1, kOther));  // replaces the entry
  cfg.getFmt(1, name);
  EXPECT_EQ(name, kOther);
  EXPECT_FALSE(cfg.isFmtInList(k320));
}

TEST_F(HWConfig, TheListEndsAtTheFirstMissingEntry) {
  ASSERT_TRUE(cfg.addFmtToList(0, k640));
  ASSERT_TRUE(cfg.addFmtToList(2, k320));
  EXPECT_TRUE(cfg.isFmtInList(k640));
  EXPECT_FALSE(cfg.isFmtInList(k320));  // behind the gap at 1
  std::string name;
  cfg.getFmt(2, name);
  EXPECT_EQ(name, k320);  // still readable on its own
  ASSERT_TRUE(cfg.limitFmt(true));
  EXPECT_FALSE(cfg.isFmtSupported(k320));

  // An entry of another type ends the list too; an empty name does not.
  ASSERT_TRUE(reg.setDword(kKey, "format1", 1));
  EXPECT_FALSE(cfg.isFmtInList(k320));
  ASSERT_TRUE(cfg.addFmtToList(1, ""));
  EXPECT_TRUE(cfg.isFmtInList(k320));
}

TEST_F(HWConfig, AtMostOneHundredEntriesAreRead) {
  for (int i = 0; i < 100; ++i) ASSERT_TRUE(reg.setString(kKey, "format" + std::to_string(i), "f" + std::to_string(i)));
  ASSERT_TRUE(reg.setString(kKey, "format100", "f100"));
  EXPECT_TRUE(cfg.isFmtInList("f0"));
  EXPECT_TRUE(cfg.isFmtInList("f99"));
  EXPECT_FALSE(cfg.isFmtInList("f100"));      // beyond the last entry read
  EXPECT_FALSE(cfg.isFmtInList("elsewhere"));  // a full list without a match does not hold it
  ASSERT_TRUE(cfg.limitFmt(true));
  EXPECT_FALSE(cfg.isFmtSupported("elsewhere"));
  EXPECT_TRUE(cfg.isFmtSupported("f99"));
}

TEST_F(HWConfig, ListIndexesOutsideTheListAssertAndDoNothing) {
  AssertCounter asserts;
  for (long index : {-1L, 100L, 1000L}) {
    SCOPED_TRACE(index);
    EXPECT_FALSE(cfg.addFmtToList(index, k640));
    std::string name = "stale";
    cfg.getFmt(index, name);
    EXPECT_EQ(name, "");
  }
  EXPECT_EQ(asserts.count, 6);
  EXPECT_FALSE(store.exists());
  EXPECT_TRUE(cfg.addFmtToList(99, k640));
  EXPECT_EQ(asserts.count, 6);
}

TEST_F(HWConfig, ValuesWrittenByHandAreFound) {
  store.write(
      "Windows Registry Editor Version 5.00\n\n"
      "[hkey_local_machine\\software\\quorin\\orb\\utconfig\\BOARD_FAKE_3]\n"
      "\"LIMITFMT\"=dword:00000001\n"
      "\"Format0\"=\"" + k320 + "\"\n");
  EXPECT_TRUE(cfg.limitFmt());
  EXPECT_TRUE(cfg.isFmtSupported(k320));
  EXPECT_FALSE(cfg.isFmtSupported(k640));
}

TEST_F(HWConfig, AMalformedStoreReadsAsEmpty) {
  const std::string text = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorin\\ORB\\utconfig\\board_fake_3]\n"
                           "\"limitFmt\"=dword:00000001\n"
                           "oops\n";
  store.write(text);
  EXPECT_FALSE(cfg.limitFmt());
  EXPECT_TRUE(cfg.isFmtSupported(kOther));
  EXPECT_FALSE(cfg.limitFmt(false));
  EXPECT_FALSE(cfg.addFmtToList(0, k640));
  EXPECT_EQ(store.read(), text);
}

TEST(HWConfigNullBoard, AssertsAndNeverTouchesTheStore) {
  RegTempStore store;
  AssertCounter asserts;
  qcHWConfig cfg(nullptr);
  EXPECT_EQ(asserts.count, 1);
  EXPECT_EQ(cfg.board(), nullptr);
  EXPECT_TRUE(cfg.keyPath().empty());
  EXPECT_TRUE(cfg.isFmtSupported("x"));
  EXPECT_FALSE(cfg.limitFmt(true));
  EXPECT_FALSE(cfg.limitFmt());
  EXPECT_FALSE(cfg.isCLSimulator(true));
  EXPECT_FALSE(store.exists());
}

TEST(HWConfigBoards, EachBoardHasItsOwnKey) {
  RegTempStore store;
  FakeBoard a("sim", 0), b("sim", 1), c("gige", 0);
  qcHWConfig ca(&a), cb(&b), cc(&c);
  ASSERT_TRUE(cb.limitFmt(true));
  ASSERT_TRUE(cb.addFmtToList(0, k640));
  EXPECT_FALSE(cb.isFmtSupported(kOther));
  EXPECT_TRUE(ca.isFmtSupported(kOther));
  EXPECT_TRUE(cc.isFmtSupported(kOther));
  EXPECT_NE(store.read().find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorin\\ORB\\utconfig\\board_sim_1]"), std::string::npos);
}

}  // namespace
