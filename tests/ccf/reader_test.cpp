// The CCF text format: lines, comments, quoted continuations, the checksum,
// tokens and values, the search path, and the writer's comment layout.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <map>
#include <sstream>
#include <utility>
#include <vector>

#include <qrn/acq/ccf/camcfgstore.h>
#include <qrn/acq/ccf/ccfreader.h>
#include <qrn/foundation/misc.h>

#include "ccf_support.h"

using ccf_test::EnvVar;
using ccf_test::readInfo;
using ccf_test::TempDir;

namespace {

using Lines = std::vector<std::pair<std::string, std::uint32_t>>;
using Comments = std::map<std::uint32_t, std::string>;

Lines linesOf(const qc_ccfFileInfo& info) {
  Lines l;
  for (std::size_t i = 0; i < info.numLines(); ++i) l.emplace_back(info.line(i), info.lineNumber(i));
  return l;
}

struct ReadCase {
  const char* what;
  std::string text;
  Lines lines;
  Comments comments;
};

}  // namespace

TEST(CcfReader, LinesCommentsAndNumbers) {
  const std::string longText = "format a = " + std::string(244, 'x');  // 255 characters
  const ReadCase cases[] = {
      {"line comment", "format width = 640; // camera width\n", {{"format width = 640; ", 1}}, {{1, " camera width"}}},
      {"text after a closing */ is dropped; the comment is the header",
       "/* a */ format width = 640;\nformat height = 480;\n",
       {{"format height = 480;", 2}},
       {{0, " a \n"}}},
      {"a block comment keeps the physical numbers of later lines",
       "/* one\ntwo\nthree */\n\nformat width = 1;\n",
       {{"format width = 1;", 5}},
       {{0, " one\ntwo\nthree \n"}}},
      {"an empty closing piece adds no line break", "/* one\n*/\nformat width = 1;\n", {{"format width = 1;", 3}},
       {{0, " one\n"}}},
      {"// wins over an earlier /*", "format a = 1; /* x // y\n", {{"format a = 1; /* x ", 1}}, {{1, " y"}}},
      {"CR ends the content; empty lines count", "format w = 1;\r\n\nformat h = 2;\rjunk\n",
       {{"format w = 1;", 1}, {"format h = 2;", 3}}, {}},
      {"a comment-only line after the first text line is dropped", "// head\nformat a = 1;\n// late\nformat b = 2;",
       {{"format a = 1;", 2}, {"format b = 2;", 4}}, {{0, " head"}}},
      {"header comments join with line breaks", "// one\n// two\nformat a = 1;\n", {{"format a = 1;", 3}},
       {{0, " one\n two"}}},
      {"a quoted string continues on the next text line", "format name = \"AB\nCD\";\nformat width = 1;\n",
       {{"format name = \"ABCD\";", 1}, {"format width = 1;", 3}}, {}},
      {"a block comment open at the end runs to the end", "format a = 1;\n/* open\nformat b = 2;\n",
       {{"format a = 1;", 1}}, {}},
      {"a 255-character line stands", longText + "\nformat b = 2;\n", {{longText, 1}, {"format b = 2;", 2}}, {}},
      {"a longer line ends the file", "format a = 1;\n" + longText + "y\nformat b = 2;\n", {{"format a = 1;", 1}}, {}},
      {"CR before LF is not counted against the limit", longText + "\r\nformat b = 2;\n",
       {{longText, 1}, {"format b = 2;", 2}}, {}},
  };
  for (const ReadCase& c : cases) {
    const qc_ccfFileInfo info = readInfo(c.text);
    EXPECT_EQ(linesOf(info), c.lines) << c.what;
    EXPECT_EQ(info.comments(), c.comments) << c.what;
    EXPECT_TRUE(readInfo(c.text, false).comments().empty()) << c.what;
  }
}

TEST(CcfReader, ChecksumLineAndRules) {
  // The last checksum line counts; it is not a text line; its comment goes.
  qc_ccfFileInfo info = readInfo("format a = 1;\nccf_checksum 12 // x\n  ccf_checksum   0XaBc\n");
  EXPECT_EQ(linesOf(info), (Lines{{"format a = 1;", 1}}));
  EXPECT_EQ(info.checkSum(), 0xABCu);
  EXPECT_TRUE(info.comments().empty());
  EXPECT_EQ(info.checkSumLines(), (std::vector<std::uint32_t>{2, 3}));
  // No digits: the line sets nothing.
  EXPECT_EQ(readInfo("ccf_checksum zz\n").checkSum(), 0u);

  EXPECT_EQ(readInfo("abc\n").calcCheckSum(), 0xC561u);
  EXPECT_EQ(readInfo("a b\tc\n").calcCheckSum(), 0xC561u);
  // The count runs across lines; a byte above 0x7F is negative.
  EXPECT_EQ(readInfo("a\nb\nc\n").calcCheckSum(), 0xC561u);
  EXPECT_EQ(readInfo("\xff\n").calcCheckSum(), 0xFFFFFFFFu);
  // Count 15: divisible by 3 and 5 but not 7, so shifted by 12; count 3:
  // divisible by 3 only, so by 4.
  qc_ccfChecksum sum;
  sum.count = 15;
  sum.add("a");
  EXPECT_EQ(sum.sum, 0x61u << 12);
  sum = {};
  sum.count = 3;
  sum.add("a");
  EXPECT_EQ(sum.sum, 0x61u << 4);

  EXPECT_TRUE(readInfo("format a = 1;\nccf_checksum deadc0de\n").checkSumOK());
  EXPECT_FALSE(readInfo("format a = 1;\n").checkSumOK());
  EXPECT_TRUE(readInfo("// only a comment\n").checkSumOK());
  info = readInfo("abc\n");
  info.setCheckSum(0xC561);
  EXPECT_TRUE(info.checkSumOK());
}

TEST(CcfReader, UnopenableFileThrowsGeneralError) {
  TempDir dir;
  qc_ccfFileInfo info;
  try {
    qc_ccfReader::readFile(dir / "missing.ccf", info, true);
    FAIL() << "no exception";
  } catch (const qc_ccfReader::GeneralError& e) {
    EXPECT_EQ(e.messageString(), "File: " + (dir / "missing.ccf") + "(couldn't be opened)");
    EXPECT_EQ(e.errorNumber(), 0x10005A31u);
  }
  EXPECT_THROW(qc_ccfReader::readFile(dir.path().string(), info, true), qc_ccfReader::GeneralError);
  // A read that fails is an error, never a shorter file (this regular file
  // of the kernel's fails its first read).
  try {
    qc_ccfFileInfo mem;
    qc_ccfReader::readFile("/proc/self/mem", mem, true);
    FAIL() << "a failed read looked like the end of the file";
  } catch (const qc_ccfReader::GeneralError& e) {
    EXPECT_THAT(e.messageString(), ::testing::StartsWith("File: /proc/self/mem(read failed: "));
  }
  const std::string longPath = dir / (std::string(5000, 'x') + ".ccf");
  try {
    qc_ccfReader::loadFile(longPath);
    FAIL() << "no exception";
  } catch (const qc_ccfReader::GeneralError& e) {
    EXPECT_EQ(e.messageString(), "File: " + longPath + "(path too long)");
  }
}

TEST(CcfTokens, NextTokenAndEquals) {
  qc_AcqStringHelper s(std::string("  ;a\tb;\"q r; s\" \"open end"));
  EXPECT_EQ(s.nextToken(), "a");
  EXPECT_EQ(s.nextToken(), "b");
  EXPECT_EQ(s.nextToken(), "\"q r; s\"");
  EXPECT_EQ(s.nextToken(), "\"open end");
  EXPECT_EQ(s.nextToken(), "");

  qc_AcqStringHelper e(std::string(" \t=  \t12;"));
  e.expectEquals();
  EXPECT_EQ(e, "12;");
  qc_AcqStringHelper blanksOnly(std::string(" =   "));
  blanksOnly.expectEquals();
  EXPECT_EQ(blanksOnly, " =   ");
  qc_AcqStringHelper none(std::string(" 12"));
  EXPECT_THROW(none.expectEquals(), qc_AcqStringHelper::EqualsNotFound);

  const char* const table[] = {"in", "out", nullptr};
  EXPECT_EQ(qc_AcqStringHelper::getEnumIndex("out", table), 1);
  EXPECT_EQ(qc_AcqStringHelper::getEnumIndex("Out", table), -1);
}

// One line through the loader: the value it stores or the problem it gives.
TEST(CcfLoader, ValueFormsAndProblems) {
  struct ValueCase {
    const char* line;
    unsigned long errorNumber;  // 0: loads
    const char* message;        // of the exception, or of the parse error
  };
  const ValueCase cases[] = {
      {"format width = 12x;", 0, nullptr},
      {"format width = +12;", 0, nullptr},
      {"format width = abc;", 0x10005A04, "Invalid value. Expected integer; read: \"abc\""},
      {"format width = 99999999999;", 0x10005A04, "Invalid value. Expected integer; read: \"99999999999\""},
      {"format pclk_frequency = 12x;", 0x10005A09, "Invalid value. Expected double; read: \"12x\""},
      {"format interlace = 2;", 0x10005A07, "Invalid value. Expected boolean; read: \"non 0/1 value\""},
      {"format name = abc; rest", 0x10005A06, "Invalid value. Expected quoted string; read: \"; rest\""},
      {"format width 640;", 0x10005A0A, "Equals not found"},
  };
  for (const ValueCase& c : cases) {
    qc_camCfgStore store;
    qc_ccfLoader loader(qc_ccfFileInfo{}, &store);
    if (c.errorNumber == 0) {
      loader.addLine(c.line, 1, nullptr);
      long w = 0;
      EXPECT_TRUE(store.getParam(1, w)) << c.line;
      EXPECT_EQ(w, 12) << c.line;
      continue;
    }
    try {
      loader.addLine(c.line, 1, nullptr);
      ADD_FAILURE() << "no exception: " << c.line;
    } catch (const qcException& e) {
      EXPECT_EQ(e.errorNumber(), c.errorNumber) << c.line;
      EXPECT_EQ(e.messageString(), c.message) << c.line;
      EXPECT_NE(dynamic_cast<const qc_ccfException*>(&e), nullptr) << c.line;
    }
    EXPECT_EQ(store.numEntries(), 0) << "a failed line leaves no entry: " << c.line;
  }

  qc_camCfgStore store;
  qc_ccfLoader loader(qc_ccfFileInfo{}, &store);
  const std::string comment = "the interface";
  loader.addLine("format video_interface = cameralink;", 6, &comment);
  loader.addLine("format video_interface = firewire;", 7, nullptr);
  loader.addLine("format nosuch = 1;", -1, nullptr);
  loader.addLine("format = 1;", 9, nullptr);
  loader.addLine(" ;; ", 10, nullptr);
  loader.addLine("format name = \"a b;c\";", 11, nullptr);
  loader.addLine("format hsync = 0 0;", 12, nullptr);
  loader.addLine("format hsync = 1 58;", 13, nullptr);
  loader.addLine("format vsync = 1 2.5;", 14, nullptr);

  qc_ccfEnums::qe_vidInterface vi{};
  ASSERT_TRUE(store.getParam(3, vi));
  EXPECT_EQ(vi, qc_ccfEnums::vidInterface_cameralink) << "a bad word leaves the earlier value";
  std::string text;
  EXPECT_TRUE(store.getComment(3, text));
  EXPECT_EQ(text, comment);
  ASSERT_NE(store.getParseErrors("format"), nullptr);
  const auto& errors = *store.getParseErrors("format");
  ASSERT_EQ(errors.size(), 3u);
  EXPECT_EQ(errors[0].parameter, "video_interface");
  EXPECT_EQ(errors[0].message, ": Parse error on Line [7]: Bad Enum Value");
  EXPECT_EQ(errors[1].parameter, "nosuch");
  EXPECT_EQ(errors[1].message, ": Parse error: Mapping Error");
  EXPECT_EQ(errors[2].parameter, "=");
  EXPECT_EQ(errors[2].message, ": Parse error on Line [9]: Mapping Error");
  EXPECT_TRUE(store.getParam(0, text));
  EXPECT_EQ(text, "a b;c");
  EXPECT_EQ(store.getNumParams(42), 2);
  qs_h_timingSpec h;
  EXPECT_TRUE(store.getParam(42, 1, h));
  EXPECT_EQ(h, (qs_h_timingSpec{true, 58}));
  qs_v_timingSpec v;
  EXPECT_TRUE(store.getParam(49, 0, v));
  EXPECT_EQ(v, (qs_v_timingSpec{true, 2.5}));
}

TEST(CcfSearch, FirstDirectoryWithFilesWinsAndCaseOfExtension) {
  TempDir dir;
  ccf_test::writeFile(dir, "b/one.ccf", "");
  ccf_test::writeFile(dir, "b/TWO.CCF", "");
  ccf_test::writeFile(dir, "b/three.ccfx", "");
  std::filesystem::create_directories(dir.path() / "a");
  std::filesystem::create_directories(dir.path() / "b" / "dir.ccf");
  const std::string a = (dir.path() / "a").string(), b = (dir.path() / "b").string();

  std::vector<std::string> files;
  EXPECT_TRUE(qc_camCfgStore::findCCFs(a + ";" + b + "/", files));
  EXPECT_EQ(files, (std::vector<std::string>{b + "/TWO.CCF", b + "/one.ccf"}));

  ccf_test::writeFile(dir, "a/mine.ccf", "");
  files.clear();
  EXPECT_TRUE(qc_camCfgStore::findCCFs(a + ";" + b, files));
  EXPECT_EQ(files, (std::vector<std::string>{a + "/mine.ccf"}));

  // A backslash is a directory separator; a missing directory adds nothing.
  std::string withBackslashes = dir / "nowhere;";
  for (char ch : a) withBackslashes += ch == '/' ? '\\' : ch;
  files.clear();
  EXPECT_TRUE(qc_camCfgStore::findCCFs(withBackslashes, files));
  EXPECT_EQ(files, (std::vector<std::string>{a + "/mine.ccf"}));

  files.clear();
  EXPECT_FALSE(qc_camCfgStore::findCCFs("", files));
  EXPECT_FALSE(qc_camCfgStore::findCCFs(dir / "nowhere", files));
  EXPECT_TRUE(files.empty());
}

TEST(CcfSearch, SearchPathFromTheEnvironment) {
  {
    EnvVar sys("QUORIN_SYSTEM_PATH", "/s1;/s2");
    EnvVar user("QUORIN_PATH", "/u");
    EXPECT_EQ(qf_ccfSearchPath(), "/s1;/s2;/u");
  }
  EnvVar sys("QUORIN_SYSTEM_PATH", nullptr);
  EnvVar user("QUORIN_PATH", nullptr);
  const std::string path = qf_ccfSearchPath();
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(path.back(), '/');
  bool holdsLibrary = false;
  for (const auto& e : std::filesystem::directory_iterator(path))
    holdsLibrary = holdsLibrary || e.path().filename().string().rfind("libqrnacq", 0) == 0;
  EXPECT_TRUE(holdsLibrary) << path;
}

TEST(CcfWriter, CommentLayout) {
  struct CommentCase {
    const char* text;  // null: no comment
    std::size_t column;
    const char* written;
  };
  const CommentCase cases[] = {
      {nullptr, 5, "\n"},
      {"", 5, "\n"},
      {"camera width", 19, "// camera width\n"},
      {" camera width", 19, "// camera width\n"},
      {"one\ntwo", 0, "/* one\n two\n*/\n"},
      {" one\n two", 0, "/* one\n two\n*/\n"},
      // 80 columns reached: a block comment broken at the last blank that fits.
      {"aaaa bbbb", 70, "/* aaaa bbbb\n*/\n"},
  };
  for (const CommentCase& c : cases) {
    std::ostringstream os;
    const std::string text = c.text ? c.text : "";
    qf_ccfWriteComment(os, c.text ? &text : nullptr, c.column);
    EXPECT_EQ(os.str(), c.written) << (c.text ? c.text : "(none)");
  }

  // Long texts: every written line stays under 80 columns and nothing is
  // lost, with or without blanks to break at.
  for (const std::string& text : {std::string(60, 'w') + " " + std::string(70, 'v') + " end", std::string(300, 'z')}) {
    std::ostringstream os;
    qf_ccfWriteComment(os, &text, 20);
    std::istringstream lines(os.str());
    std::string line, joined;
    std::size_t column = 20;
    while (std::getline(lines, line)) {
      EXPECT_LT(column + line.size(), 81u) << line;
      column = 0;
      if (line == "*/") break;
      joined += line.substr(line.rfind("/*", 0) == 0 ? 2 : 0);
    }
    std::string compact;
    for (char ch : joined)
      if (ch != ' ') compact += ch;
    std::string expected;
    for (char ch : text)
      if (ch != ' ') expected += ch;
    EXPECT_EQ(compact, expected);
    // Read back as a block comment, it gives the text's characters again.
    const qc_ccfFileInfo info = readInfo(os.str() + "format a = 1;\n");
    ASSERT_NE(info.comment(0), nullptr);
    std::string back;
    for (char ch : *info.comment(0))
      if (ch != ' ' && ch != '\n') back += ch;
    EXPECT_EQ(back, expected);
  }
}

TEST(CcfWriter, FileLayoutAndRoundTrip) {
  qc_camCfgStore store;
  store.setComment("Test camera");
  store.setParam(0, "Cam 1");
  store.setParam(1, 640L);
  store.setComment(1, "pixels");
  store.setParam(34, 12.5);
  store.setParam(40, false);
  store.setParam(3, qc_ccfEnums::vidInterface_analog);
  store.addParam(42, qs_h_timingSpec{false, 0});
  store.addParam(42, qs_h_timingSpec{true, 58});
  store.setComment(42, "sync");
  store.addParam(49, qs_v_timingSpec{true, 0.001});
  store.setParam(92, 3L);

  TempDir dir;
  ASSERT_TRUE(store.writeCCF(dir / "out.ccf"));
  qc_ccfFileInfo image;
  store.toFileInfo(image);
  const std::string expected =
      "// Test camera\n"
      "format name = \"Cam 1\";\n"
      "format width = 640;// pixels\n"
      "format video_interface = analog;\n"
      "format pclk_frequency = 12.5;\n"
      "format interlace = 0;\n"
      "format hsync = 0 0;\n"
      "format hsync = 1 58;// sync\n"
      "format vsync = 1 1e-3;\n"
      "ccf build_number = 3;\n"
      "ccf_checksum " + qfHex(image.calcCheckSum()) + "\n";
  EXPECT_EQ(ccf_test::readText(dir / "out.ccf"), expected);

  qc_camCfgStore back;
  bool sumOk = false;
  back.readCCF(dir / "out.ccf", &sumOk);
  EXPECT_TRUE(sumOk);
  EXPECT_TRUE(back == store);
  EXPECT_EQ(back.comment(), " Test camera");
  std::string c;
  EXPECT_TRUE(back.getComment(42, c));
  EXPECT_EQ(c, " sync");

  EXPECT_FALSE(store.writeCCF(dir / "no/such/dir/out.ccf"));
}

// The value exceptions travel through archives with their text and the
// number chosen at the throw, and rethrow as themselves.
TEST(CcfExceptions, ArchiveRoundTrip) {
  const auto roundTrip = [](const qcException& e) {
    std::stringstream ss;
    {
      qcArchive ar(ss, qcArchive::store);
      qcException* p = const_cast<qcException*>(&e);
      qcPersistent::serializePointer(ar, p);
    }
    qcArchive ar(ss, qcArchive::load);
    qcException* p = nullptr;
    qcPersistent::serializePointer(ar, p);
    return p;
  };
  qcException* v = roundTrip(qc_AcqStringHelper::BadVal("float", "x", 0x10005A05));
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->errorNumber(), 0x10005A05u);
  EXPECT_EQ(v->messageString(), "Invalid value. Expected float; read: \"x\"");
  EXPECT_THROW(v->suicideAndRethrow(), qc_AcqStringHelper::BadVal);

  qcException* g = roundTrip(qc_ccfReader::GeneralError("File: x(couldn't be opened)"));
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->errorNumber(), 0x10005A31u);
  EXPECT_EQ(g->messageString(), "File: x(couldn't be opened)");
  delete g;

  EXPECT_EQ(qc_AcqStringHelper::BadVal().messageString(), "Invalid value");
  EXPECT_EQ(qc_AcqStringHelper::BadEnumVal().messageString(), "Invalid enumeration found");
  EXPECT_EQ(qc_AcqStringHelper::BadEnumVal("w").messageString(), "Invalid enum: w");
  EXPECT_EQ(qc_AcqStringHelper::BadEnumVal().errorNumber(), 0x10005A08u);
  EXPECT_EQ(qc_AcqStringHelper::EqualsNotFound().className(), "qc_AcqStringHelper::EqualsNotFound");
}

// A named pipe (or any other file that is not a regular file) among the CCFs
// is never opened: the reader refuses it at once, the search does not count
// it, and the scan reports it as skipped with the reason, as it does a
// dangling link.
TEST(CcfSearch, FilesThatAreNotRegularAreSkippedUnopened) {
  TempDir dir;
  std::filesystem::create_directories(dir.path() / "a");
  std::filesystem::create_directories(dir.path() / "b");
  const std::string a = (dir.path() / "a").string(), b = (dir.path() / "b").string();
  const std::string good =
      ccf_test::writeFile(dir, "b/good.ccf", "format name = \"Fifo Neighbour\";\nccf_checksum deadc0de\n");
  const std::string fifoA = a + "/only.ccf", fifoB = b + "/zz.ccf";
  ASSERT_EQ(::mkfifo(fifoA.c_str(), 0600), 0);
  ASSERT_EQ(::mkfifo(fifoB.c_str(), 0600), 0);
  ccf_test::FifoReleaser releaseA(fifoA), releaseB(fifoB);
  std::filesystem::create_symlink("nowhere.ccf", b + "/dangling.ccf");

  qc_ccfFileInfo info;
  try {
    qc_ccfReader::readFile(fifoB, info, true);
    ADD_FAILURE() << "a named pipe was read";
  } catch (const qc_ccfReader::GeneralError& e) {
    EXPECT_EQ(e.messageString(), "File: " + fifoB + "(not a regular file)");
  }

  // A directory holding only a pipe adds nothing: the search goes on to b.
  std::vector<std::string> files;
  EXPECT_TRUE(qc_camCfgStore::findCCFs(a + ";" + b, files));
  EXPECT_EQ(files, std::vector<std::string>{good});

  qc_ccfReader::loadAll(a + ";" + b);
  std::vector<std::pair<std::string, std::string>> report;
  for (const auto& e : qc_ccfReader::lastScanReport()) report.emplace_back(e.path, e.format + "|" + e.error);
  EXPECT_EQ(report, (std::vector<std::pair<std::string, std::string>>{
                        {fifoA, "|not a regular file (named pipe)"},
                        {b + "/dangling.ccf", "|cannot be read (No such file or directory)"},
                        {good, "Fifo Neighbour|"},
                        {fifoB, "|not a regular file (named pipe)"}}));
}

// The boolean is the integer of "%d" that is 0 or 1: the same scan as every
// integer value, a sign and trailing characters included.
TEST(CcfTokens, BooleanIsTheIntegerScan) {
  const std::pair<const char*, int> cases[] = {
      {"1", 1}, {"+1", 1}, {"0", 0}, {"-0", 0}, {"+0", 0}, {"1;", 1}, {"01", 1}, {"1x", 1},
      {"2", -1}, {"-1", -1}, {"+", -1}, {"x1", -1}, {"", -1},
  };
  for (const auto& [token, expected] : cases) {
    qc_AcqStringHelper s{std::string(token)};
    bool v = expected != 1;
    if (expected < 0) {
      EXPECT_THROW(s.getBool(v), qc_AcqStringHelper::BadVal) << token;
      continue;
    }
    EXPECT_NO_THROW(s.getBool(v)) << token;
    EXPECT_EQ(v, expected == 1) << token;
  }
}

// Where an over-long line ended the reading is kept for the tools that must
// say so; a file read to its end has no such line.
TEST(CcfReader, OverLongLineIsRecordedWhereReadingStopped) {
  const std::string longLine = "format name = \"" + std::string(290, 'x') + "\";";
  EXPECT_EQ(readInfo("format a = 1;\n/* c\n*/\n" + longLine + "\nformat b = 2;\n").stoppedAtLine(), 4u);
  EXPECT_EQ(readInfo("format a = 1;\nformat b = 2;\n").stoppedAtLine(), 0u);
  EXPECT_EQ(readInfo(std::string(256, 'y')).stoppedAtLine(), 1u) << "also without a line end";
}
