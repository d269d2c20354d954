// Registry value classes over the store file.
#include <qrn/acq/registry/regstore.h>
#include <qrn/acq/registry/regvalue.h>

#include <gtest/gtest.h>

#include <qrn/foundation/misc.h>

#include "reg_tempstore.h"

namespace {

constexpr auto LM = qe_RegRoot::localMachine;
const std::string kKey = "SOFTWARE\\Quorin\\ORB\\utconfig\\board0";

const char* kSample =
    "Windows Registry Editor Version 5.00\n"
    "\n"
    "; board settings\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorin\\ORB\\utconfig\\board0]\n"
    "\"limitFmt\"=dword:0000000a\n"
    "\"format0\"=\"Sony \\\"XC75\\\" C:\\\\cams\"\n"
    "@=\"unnamed\"\n"
    "\"blob\"=hex:01,02,\\\n"
    "  03,04\n"
    "\"minus\"=hex(4):ff,ff,ff,ff\n"
    "\"empty\"=\"\"\n";

// Counts debug assertions while alive.
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

TEST(RegistryValue, ReadsTheValuesOfAHandWrittenFile) {
  RegTempStore store;
  store.write(kSample);
  struct Case {
    const char* key;
    const char* name;
    bool asInt;
    bool loads;
    std::int32_t num;
    const char* text;
  } cases[] = {
      {"SOFTWARE\\Quorin\\ORB\\utconfig\\board0", "limitFmt", true, true, 10, nullptr},
      {"software\\QUORIN\\orb\\utconfig\\BOARD0", "LIMITFMT", true, true, 10, nullptr},  // case-insensitive
      {"SOFTWARE\\\\Quorin\\ORB\\utconfig\\board0\\", "limitFmt", true, true, 10, nullptr},  // empty parts
      {"SOFTWARE\\Quorin\\ORB\\utconfig\\board0", "format0", false, true, 0, "Sony \"XC75\" C:\\cams"},
      {"SOFTWARE\\Quorin\\ORB\\utconfig\\board0", "", false, true, 0, "unnamed"},
      {"SOFTWARE\\Quorin\\ORB\\utconfig\\board0", "minus", true, true, -1, nullptr},
      {"SOFTWARE\\Quorin\\ORB\\utconfig\\board0", "empty", false, true, 0, ""},
      // Another type, or no such value, key or root: the default stays.
      {"SOFTWARE\\Quorin\\ORB\\utconfig\\board0", "format0", true, false, 77, nullptr},
      {"SOFTWARE\\Quorin\\ORB\\utconfig\\board0", "limitFmt", false, false, 0, "dflt"},
      {"SOFTWARE\\Quorin\\ORB\\utconfig\\board0", "blob", true, false, 77, nullptr},
      {"SOFTWARE\\Quorin\\ORB\\utconfig\\board0", "blob", false, false, 0, "dflt"},
      {"SOFTWARE\\Quorin\\ORB\\utconfig\\board0", "nothing", true, false, 77, nullptr},
      {"SOFTWARE\\Quorin\\ORB\\utconfig\\board1", "limitFmt", true, false, 77, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.key) + " / " + c.name);
    if (c.asInt) {
      acRegistryInt32 v(LM, c.key, c.name, 77, false);
      EXPECT_EQ(v.load(), c.loads);
      EXPECT_EQ(v.value(), c.num);
      EXPECT_EQ(v.modified(), !c.loads);
    } else {
      acRegistryString v(LM, c.key, c.name, "dflt", false);
      EXPECT_EQ(v.load(), c.loads);
      EXPECT_EQ(v.value(), c.text);
    }
  }
  // Another root holds nothing.
  acRegistryInt32 other(qe_RegRoot::currentUser, kKey, "limitFmt", 5, false);
  EXPECT_FALSE(other.load());
  EXPECT_EQ(other.value(), 5);
}

TEST(RegistryValue, ReadingMissingThingsCreatesNothing) {
  RegTempStore store("sub/dir");  // neither the file nor its directory exist
  acRegistryInt32 i(LM, kKey, "limitFmt", 3, false);
  EXPECT_FALSE(i.load());
  EXPECT_FALSE(i.isOpen());
  EXPECT_EQ(i.value(), 3);
  acRegistryString s(LM, kKey, "format0", "x", false);
  EXPECT_FALSE(s.open());
  EXPECT_FALSE(s.load());
  EXPECT_EQ(s.value(), "x");
  EXPECT_FALSE(std::filesystem::exists(store.dir() / "sub"));

  // An existing file without the key: still nothing written.
  RegTempStore store2;
  store2.write(kSample);
  acRegistryInt32 j(LM, "SOFTWARE\\Other", "v", 1, false);
  EXPECT_FALSE(j.load());
  EXPECT_EQ(store2.read(), kSample);
}

TEST(RegistryValue, StoreCreatesKeyAndValueAndReadsBack) {
  RegTempStore store("new/dir");
  EXPECT_TRUE(acRegistryInt32(LM, kKey, "limitFmt", -2, false).store());
  EXPECT_TRUE(acRegistryString(LM, kKey, "format0", "Sony XC75 640x480", false).store());
  EXPECT_TRUE(acRegistryString(LM, kKey, "empty", "", false).store());
  // A long default keeps its low 32 bits.
  EXPECT_TRUE(acRegistryInt32(LM, kKey, "big", 0x100000005L, false).store());

  EXPECT_EQ(store.read(),
            "Windows Registry Editor Version 5.00\n"
            "\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorin\\ORB\\utconfig\\board0]\n"
            "\"limitFmt\"=dword:fffffffe\n"
            "\"format0\"=\"Sony XC75 640x480\"\n"
            "\"empty\"=\"\"\n"
            "\"big\"=dword:00000005\n");

  std::int32_t n = 0;
  EXPECT_TRUE(qf_regReadInt32(LM, kKey, "limitFmt", n));
  EXPECT_EQ(n, -2);
  std::string s = "not empty";
  EXPECT_TRUE(qf_regReadString(LM, kKey, "empty", s));
  EXPECT_EQ(s, "");
  EXPECT_TRUE(qf_regReadString(LM, kKey, "format0", s));
  EXPECT_EQ(s, "Sony XC75 640x480");
}

TEST(RegistryValue, StringsWithBackslashesQuotesAndZerosRoundTrip) {
  RegTempStore store;
  const std::string name = "we\"ird\\name";
  const std::string text = "C:\\cams\\\"quoted\" \\\\ end\\";
  ASSERT_TRUE(qf_regWriteString(LM, kKey, name, text));
  EXPECT_NE(store.read().find("\"we\\\"ird\\\\name\"=\"C:\\\\cams\\\\\\\"quoted\\\" \\\\\\\\ end\\\\\"\n"),
            std::string::npos)
      << store.read();
  std::string back;
  ASSERT_TRUE(qf_regReadString(LM, kKey, name, back));
  EXPECT_EQ(back, text);

  // A string ends at its first zero character.
  ASSERT_TRUE(qf_regWriteString(LM, kKey, "z", std::string("ab\0cd", 5)));
  ASSERT_TRUE(qf_regReadString(LM, kKey, "z", back));
  EXPECT_EQ(back, "ab");

  // Line breaks cannot be stored: the write fails and changes nothing.
  const std::string before = store.read();
  EXPECT_FALSE(qf_regWriteString(LM, kKey, "nl", "two\nlines"));
  EXPECT_FALSE(qf_regWriteString(LM, kKey, "n\rl", "x"));
  EXPECT_FALSE(qf_regWriteInt32(LM, "SOFTWARE\\bad\nkey", "x", 1));
  EXPECT_EQ(store.read(), before);
}

TEST(RegistryValue, StoreWritesOnlyWhatWasNotYetStored) {
  RegTempStore store;
  acRegistryInt32 v(LM, kKey, "limitFmt", 4, false);
  EXPECT_TRUE(v.modified());
  EXPECT_TRUE(v.store());
  EXPECT_FALSE(v.modified());
  EXPECT_FALSE(v.store());  // nothing left to write
  EXPECT_TRUE(v.isOpen());
  EXPECT_TRUE(v.close());
  EXPECT_TRUE(v.close());  // closing a closed key succeeds

  // With the key open, store() writes through it.
  acRegistryString s(LM, kKey, "format0", "abc", false);
  ASSERT_TRUE(s.open());
  EXPECT_TRUE(s.store());
  std::string back;
  EXPECT_TRUE(qf_regReadString(LM, kKey, "format0", back));
  EXPECT_EQ(back, "abc");
}

TEST(RegistryValue, AutoSyncWritesBackOnlyAFailedLoad) {
  RegTempStore store;
  {
    acRegistryInt32 v(LM, kKey, "count", 9, true);  // load fails: no key
    EXPECT_EQ(v.value(), 9);
    EXPECT_TRUE(v.modified());
  }
  std::int32_t n = 0;
  ASSERT_TRUE(qf_regReadInt32(LM, kKey, "count", n));
  EXPECT_EQ(n, 9);  // the default was written back

  {
    acRegistryInt32 v(LM, kKey, "count", 1, true);  // load succeeds
    EXPECT_EQ(v.value(), 9);
    EXPECT_FALSE(v.modified());
    // Someone else changes the value meanwhile: the object must not overwrite it.
    ASSERT_TRUE(qf_regWriteInt32(LM, kKey, "count", 12));
  }
  ASSERT_TRUE(qf_regReadInt32(LM, kKey, "count", n));
  EXPECT_EQ(n, 12);

  {
    acRegistryString s(LM, kKey, "name", "dflt", true);
  }
  std::string text;
  ASSERT_TRUE(qf_regReadString(LM, kKey, "name", text));
  EXPECT_EQ(text, "dflt");
}

TEST(RegistryValue, ProgrammingErrorsAssertAndFail) {
  RegTempStore store;
  store.write(kSample);
  AssertCounter asserts;
  acRegistryInt32 none(qe_RegRoot::none, kKey, "limitFmt", 1, false);
  EXPECT_FALSE(none.open());
  EXPECT_EQ(asserts.count, 1);
  EXPECT_FALSE(none.store());  // no root: nothing can be created
  EXPECT_EQ(store.read(), kSample);

  acRegistryInt32 v(LM, kKey, "limitFmt", 1, false);
  ASSERT_TRUE(v.open());
  const int before = asserts.count;
  v.open();
  EXPECT_EQ(asserts.count, before + 1);
  v.close();
  acRegistryInt32 w(LM, kKey, "limitFmt", 1, false);
  ASSERT_TRUE(w.create());
  w.create();
  EXPECT_EQ(asserts.count, before + 2);
}

TEST(RegistryValue, ReadAndWriteNeedAnOpenKey) {
  RegTempStore store;
  store.write(kSample);
  acRegistryInt32 v(LM, kKey, "limitFmt", 1, false);
  EXPECT_FALSE(v.read());
  EXPECT_FALSE(v.write());
  EXPECT_EQ(v.value(), 1);
  EXPECT_EQ(store.read(), kSample);
}

}  // namespace
