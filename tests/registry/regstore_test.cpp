// The registry store file: editing in place, malformed and unreadable files,
// concurrent writers in several processes, and a writer killed mid-way.
#include <qrn/acq/registry/regstore.h>
#include <qrn/acq/registry/regvalue.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "reg_tempstore.h"

namespace {

constexpr auto LM = qe_RegRoot::localMachine;
const std::string kBoard = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorin\\ORB\\utconfig\\board0";

const std::string kFile =
    "Windows Registry Editor Version 5.00\r\n"
    "\r\n"
    "; hand-edited\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorin\\ORB\\utconfig\\board0]\r\n"
    "\"LimitFmt\"=dword:00000000\r\n"
    "\"blob\"=hex:01,02,\\\r\n"
    "  03\r\n"
    "; keep me\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorin\\ORB\\utconfig\\board1]\r\n"
    "\"format0\"=\"A\"\r\n";

std::string replaced(std::string s, const std::string& from, const std::string& to) {
  auto p = s.find(from);
  if (p != std::string::npos) s.replace(p, from.size(), to);
  return s;
}

// Waits for a child process, at most `seconds`; kills it when the time runs out.
int waitChild(pid_t pid, double seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  int status = 0;
  for (;;) {
    pid_t r = ::waitpid(pid, &status, WNOHANG);
    if (r == pid) return status;
    if (r < 0 || std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

TEST(RegistryStore, AWriteChangesOnlyItsOwnLine) {
  RegTempStore store;
  store.write(kFile);
  qc_RegStore reg;

  // Replacing a value keeps the spelling of its name, the comments, the other
  // values and the line ends.
  ASSERT_TRUE(reg.setDword(kBoard, "limitfmt", 1));
  std::string expect = replaced(kFile, "\"LimitFmt\"=dword:00000000", "\"LimitFmt\"=dword:00000001");
  EXPECT_EQ(store.read(), expect);

  // A new value goes after the last value of its key, before the blank line.
  ASSERT_TRUE(reg.setString(kBoard, "format0", "B"));
  expect = replaced(expect, "  03\r\n", "  03\r\n\"format0\"=\"B\"\r\n");
  EXPECT_EQ(store.read(), expect);

  // A new key goes to the end after a blank line.
  ASSERT_TRUE(reg.setDword("HKEY_LOCAL_MACHINE\\SOFTWARE\\New", "v", 16));
  expect += "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\New]\r\n\"v\"=dword:00000010\r\n";
  EXPECT_EQ(store.read(), expect);

  // The hex value survived untouched and reads as another type.
  auto blob = reg.value(kBoard, "BLOB");
  ASSERT_TRUE(blob);
  EXPECT_EQ(blob->type, qc_RegStore::typeBinary);
  EXPECT_EQ(qc_RegStore().check().kind, qc_RegStore::Status::ok);

  // Writing what is already there does not rewrite the file.
  struct stat a {}, b {};
  ASSERT_EQ(::stat(store.path().c_str(), &a), 0);
  EXPECT_TRUE(reg.setDword(kBoard, "LIMITFMT", 1));
  EXPECT_TRUE(reg.createKey(kBoard));
  ASSERT_EQ(::stat(store.path().c_str(), &b), 0);
  EXPECT_EQ(a.st_ino, b.st_ino);
}

TEST(RegistryStore, DuplicatesReadTheLastAndAWriteLeavesOne) {
  RegTempStore store;
  store.write(
      "[HKEY_LOCAL_MACHINE\\K]\n\"v\"=dword:00000001\n"
      "[HKEY_LOCAL_MACHINE\\K]\n\"V\"=dword:00000002\n");
  qc_RegStore reg;
  EXPECT_EQ(reg.value("HKEY_LOCAL_MACHINE\\K", "v")->dword, 2u);
  ASSERT_TRUE(reg.setDword("HKEY_LOCAL_MACHINE\\K", "v", 3));
  EXPECT_EQ(store.read(), "[HKEY_LOCAL_MACHINE\\K]\n[HKEY_LOCAL_MACHINE\\K]\n\"V\"=dword:00000003\n");
}

TEST(RegistryStore, ListsAndDeletes) {
  RegTempStore store;
  store.write(kFile);
  qc_RegStore reg;
  ASSERT_TRUE(reg.setDword(kBoard + "\\sub\\deeper", "x", 1));

  EXPECT_EQ(reg.subKeys("HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorin\\ORB\\utconfig"),
            (std::vector<std::string>{"board0", "board1"}));
  EXPECT_EQ(reg.subKeys(kBoard), std::vector<std::string>{"sub"});
  EXPECT_EQ(reg.subKeys(""), std::vector<std::string>{"HKEY_LOCAL_MACHINE"});
  EXPECT_TRUE(reg.keyExists(kBoard + "\\sub"));  // only a key below it has a section
  EXPECT_TRUE(reg.keyExists("HKEY_CURRENT_USER"));  // a root always exists
  EXPECT_FALSE(reg.keyExists(kBoard + "\\su"));

  auto vals = reg.values(kBoard);
  ASSERT_TRUE(vals);
  ASSERT_EQ(vals->size(), 2u);
  EXPECT_EQ((*vals)[0].name, "LimitFmt");
  EXPECT_EQ((*vals)[1].name, "blob");
  EXPECT_FALSE(reg.values(kBoard + "\\none"));
  EXPECT_TRUE(reg.values(kBoard + "\\sub")->empty());

  EXPECT_TRUE(reg.deleteValue(kBoard, "LIMITFMT"));
  EXPECT_FALSE(reg.deleteValue(kBoard, "LIMITFMT"));
  EXPECT_FALSE(reg.value(kBoard, "LimitFmt"));
  EXPECT_TRUE(reg.value(kBoard, "blob"));

  EXPECT_TRUE(reg.deleteKey(kBoard));
  EXPECT_FALSE(reg.deleteKey(kBoard));
  EXPECT_FALSE(reg.deleteKey("HKEY_LOCAL_MACHINE"));
  EXPECT_FALSE(reg.keyExists(kBoard));
  EXPECT_FALSE(reg.keyExists(kBoard + "\\sub\\deeper"));
  EXPECT_EQ(reg.value("HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorin\\ORB\\utconfig\\board1", "format0")->text, "A");
}

TEST(RegistryStore, AMalformedFileReadsAsEmptyAndIsNeverOverwritten) {
  const std::string good = "[HKEY_LOCAL_MACHINE\\K]\n\"v\"=dword:00000001\n\"s\"=\"x\"\n";
  struct Case {
    const char* what;
    std::string text;
    long line;
  } cases[] = {
      {"stray text", good + "garbage\n", 4},
      {"value before any key", "\"v\"=dword:00000001\n" + good, 1},
      {"unterminated string", good + "\"t\"=\"abc\n", 4},
      {"text after a string", good + "\"t\"=\"abc\" x\n", 4},
      {"bad dword digits", good + "\"t\"=dword:xyz\n", 4},
      {"dword too long", good + "\"t\"=dword:123456789\n", 4},
      {"unknown type", good + "\"t\"=qword:1\n", 4},
      {"deletion of a value", good + "\"t\"=-\n", 4},
      {"deletion of a key", good + "[-HKEY_LOCAL_MACHINE\\K]\n", 4},
      {"unclosed key", good + "[HKEY_LOCAL_MACHINE\\K\n", 4},
      {"empty key", good + "[\\\\]\n", 4},
      {"bad hex", good + "\"t\"=hex:1,zz\n", 4},
      {"hex continued past the end", good + "\"t\"=hex:01,\\\n", 4},
      {"hex(4) of three bytes", good + "\"t\"=hex(4):01,02,03\n", 4},
      {"header after a key", good + "Windows Registry Editor Version 5.00\n", 4},
      {"zero byte", good + std::string("\"t\"=\"a\0b\"\n", 11), 1},
      {"hex(1) of an odd byte count", good + "\"t\"=hex(1):41,00,42\n", 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RegTempStore store;
    store.write(c.text);
    qc_RegStore reg;
    auto st = reg.check();
    EXPECT_EQ(st.kind, qc_RegStore::Status::malformed);
    EXPECT_EQ(st.line, c.line);
    EXPECT_FALSE(st.message.empty());

    std::int32_t v = 42;
    EXPECT_FALSE(qf_regReadInt32(LM, "K", "v", v));  // valid lines before the fault do not count
    EXPECT_EQ(v, 42);
    EXPECT_FALSE(reg.keyExists("HKEY_LOCAL_MACHINE\\K"));
    EXPECT_FALSE(qf_regWriteInt32(LM, "K", "v", 2));
    EXPECT_FALSE(qf_regWriteString(LM, "Other", "s", "y"));
    EXPECT_FALSE(reg.createKey("HKEY_LOCAL_MACHINE\\Other"));
    EXPECT_FALSE(reg.deleteValue("HKEY_LOCAL_MACHINE\\K", "v"));
    EXPECT_FALSE(reg.deleteKey("HKEY_LOCAL_MACHINE\\K"));
    EXPECT_EQ(store.read(), c.text);
  }
}

TEST(RegistryStore, AHex1StringReadsAsItsText) {
  RegTempStore store;
  store.write("[HKEY_LOCAL_MACHINE\\K]\n\"s\"=hex(1):41,00,42,00,00,00\n\"u\"=hex(1):e9,00,ac,20,3d,d8,00,de,00,00\n");
  qc_RegStore reg;
  EXPECT_EQ(reg.value("HKEY_LOCAL_MACHINE\\K", "s")->text, "AB");
  EXPECT_EQ(reg.value("HKEY_LOCAL_MACHINE\\K", "u")->text, "\u00e9\u20ac\U0001F600");
  std::string s;
  ASSERT_TRUE(qf_regReadString(LM, "K", "s", s));
  EXPECT_EQ(s, "AB");
}

TEST(RegistryStore, WritesNeverLeaveAFileTheReaderRefusesOrAnEmptyOne) {
  {
    RegTempStore missing;
    qc_RegStore reg;
    EXPECT_FALSE(reg.deleteValue(kBoard, "v"));
    EXPECT_FALSE(reg.deleteKey(kBoard));
    EXPECT_FALSE(reg.setDword(kBoard, std::string("a\0b", 3), 1));
    EXPECT_FALSE(missing.exists()) << "a write that failed left a file";
  }
  RegTempStore store;
  store.write(kFile);
  qc_RegStore reg;
  EXPECT_FALSE(reg.setDword(kBoard, std::string("a\0b", 3), 1));
  EXPECT_FALSE(reg.setString(kBoard, std::string("\0", 1), "x"));
  EXPECT_FALSE(reg.createKey(kBoard + std::string("\\a\0b", 4)));
  EXPECT_EQ(store.read(), kFile);

  // Just below the reader's limit: a write that would pass it fails.
  std::string big = kFile + "\"big\"=\"" + std::string((16u << 20) - kFile.size() - 64, 'x') + "\"\r\n";
  store.write(big);
  ASSERT_EQ(reg.check().kind, qc_RegStore::Status::ok);
  EXPECT_TRUE(reg.setDword(kBoard, "small", 1));
  EXPECT_FALSE(reg.setString(kBoard, "more", std::string(100, 'y')));
  EXPECT_EQ(reg.check().kind, qc_RegStore::Status::ok);
  EXPECT_EQ(reg.value(kBoard, "small")->dword, 1u);
}

TEST(RegistryStore, ASymbolicLinkIsWrittenThroughAndTheModeKept) {
  RegTempStore store;
  const std::filesystem::path real = store.dir() / "elsewhere" / "real.reg";
  std::filesystem::create_directories(real.parent_path());
  { std::ofstream(real, std::ios::binary) << kFile; }
  ASSERT_EQ(::chmod(real.c_str(), 0600), 0);
  std::filesystem::create_symlink("elsewhere/real.reg", store.path());
  qc_RegStore reg;
  ASSERT_TRUE(reg.setDword(kBoard, "LimitFmt", 1));
  ASSERT_TRUE(reg.setString(kBoard, "second", "write"));
  EXPECT_TRUE(std::filesystem::is_symlink(store.path()));
  EXPECT_EQ(store.read(), replaced(replaced(kFile, "dword:00000000", "dword:00000001"), "  03\r\n",
                                   "  03\r\n\"second\"=\"write\"\r\n"));
  struct stat st {};
  ASSERT_EQ(::stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
}

TEST(RegistryStore, AnUnreadableFileGivesDefaultsAndFailedWrites) {
  RegTempStore store;
  std::filesystem::create_directories(store.path());  // a directory where the file should be
  EXPECT_EQ(qc_RegStore().check().kind, qc_RegStore::Status::unreadable);
  std::int32_t v = 7;
  EXPECT_FALSE(qf_regReadInt32(LM, "K", "v", v));
  EXPECT_EQ(v, 7);
  EXPECT_FALSE(qf_regWriteInt32(LM, "K", "v", 1));
  EXPECT_TRUE(std::filesystem::is_directory(store.path()));

  RegTempStore missing;
  EXPECT_EQ(qc_RegStore().check().kind, qc_RegStore::Status::missing);
}

TEST(RegistryStore, EnvironmentChoosesTheFile) {
  RegTempStore store;
  EXPECT_EQ(qc_RegStore::defaultPath(), store.path());
  EXPECT_EQ(qc_RegStore().path(), store.path());
  ::setenv("QUORIN_REGISTRY_FILE", "", 1);
  EXPECT_EQ(qc_RegStore::defaultPath(), "/etc/quorin/registry.reg");
  ::unsetenv("QUORIN_REGISTRY_FILE");
  EXPECT_EQ(qc_RegStore::defaultPath(), "/etc/quorin/registry.reg");
  EXPECT_EQ(qc_RegStore("/x/y.reg").path(), "/x/y.reg");
}

// Two processes (and this one) write many distinct values at once; every
// value must be in the file at the end.
TEST(RegistryStore, ConcurrentWritersInSeveralProcessesLoseNothing) {
  RegTempStore store;
  ASSERT_TRUE(qc_RegStore().setString(kBoard, "seed", "s"));
  constexpr int kPerWriter = 150;
  const char* tags[] = {"a", "b"};
  std::vector<pid_t> kids;
  for (const char* tag : tags) {
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      bool ok = true;
      for (int i = 0; i < kPerWriter; ++i) {
        // Half into a shared key, half into the writer's own key.
        const std::string key = (i % 2) ? kBoard : kBoard + "_" + tag;
        ok = qc_RegStore().setDword(key, std::string(tag) + std::to_string(i), static_cast<std::uint32_t>(i)) && ok;
      }
      ::_exit(ok ? 0 : 1);
    }
    kids.push_back(pid);
  }
  for (int i = 0; i < kPerWriter; ++i)
    EXPECT_TRUE(qf_regWriteString(LM, "SOFTWARE\\Quorin\\ORB\\utconfig\\board0", "p" + std::to_string(i), "p"));
  for (pid_t pid : kids) {
    int status = waitChild(pid, 120);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
  }

  qc_RegStore reg;
  ASSERT_EQ(reg.check().kind, qc_RegStore::Status::ok);
  int found = 0;
  for (const char* tag : tags) {
    for (int i = 0; i < kPerWriter; ++i) {
      const std::string key = (i % 2) ? kBoard : kBoard + "_" + tag;
      auto v = reg.value(key, std::string(tag) + std::to_string(i));
      if (v && v->type == qc_RegStore::typeDword && v->dword == static_cast<std::uint32_t>(i)) ++found;
    }
  }
  EXPECT_EQ(found, 2 * kPerWriter);
  auto all = reg.values(kBoard);
  ASSERT_TRUE(all);
  EXPECT_EQ(all->size(), 1u + kPerWriter + kPerWriter);  // seed, p*, and the odd a*/b*
  EXPECT_TRUE(reg.value(kBoard, "seed"));
}

// A writer killed at any moment leaves a whole file with every earlier value.
// The temporary files in the store's directory.
std::vector<std::string> temporaries(const RegTempStore& store) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(store.dir())) {
    const std::string name = e.path().filename().string();
    if (name.rfind("registry.reg.tmp", 0) == 0) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// A writer killed between its temporary file and the rename leaves that file
// behind: the next write removes it, and nothing else.
TEST(RegistryStore, AWriterKilledMidwayLosesNothingElse) {
  RegTempStore store;
  qc_RegStore reg;
  for (int i = 0; i < 20; ++i) ASSERT_TRUE(reg.setDword(kBoard, "keep" + std::to_string(i), 7));
  for (const char* name : {"registry.reg.tmpA1b2C3", "registry.reg.tmpkept", "other.reg.tmpA1b2C3"})
    std::ofstream(store.dir() / name) << "left";
  ASSERT_TRUE(reg.setDword(kBoard, "next", 1));
  EXPECT_EQ(temporaries(store), std::vector<std::string>{"registry.reg.tmpkept"});  // not the shape of ours
  EXPECT_TRUE(std::filesystem::exists(store.dir() / "other.reg.tmpA1b2C3"));
  std::filesystem::remove(store.dir() / "registry.reg.tmpkept");
  for (int round = 0; round < 3; ++round) {
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      for (unsigned i = 0;; ++i) qc_RegStore().setDword(kBoard + "\\busy", "n" + std::to_string(i % 50), i);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(30 + 20 * round));
    ::kill(pid, SIGKILL);
    waitChild(pid, 30);

    ASSERT_EQ(reg.check().kind, qc_RegStore::Status::ok);
    for (int i = 0; i < 20; ++i) {
      auto v = reg.value(kBoard, "keep" + std::to_string(i));
      ASSERT_TRUE(v);
      EXPECT_EQ(v->dword, 7u);
    }
    // The lock died with the writer: this process can write at once, and
    // leaves no temporary file of the killed one.
    EXPECT_TRUE(reg.setDword(kBoard, "after" + std::to_string(round), 1));
    EXPECT_EQ(temporaries(store), std::vector<std::string>{});
  }
}

}  // namespace
