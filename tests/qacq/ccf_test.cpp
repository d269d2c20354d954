// qacq ccf and formats from camera configuration files, end to end: the
// executable lists a CCF's format from QUORIN_SYSTEM_PATH and grabs it on the
// simulated board; check, show, sum and list on real files.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include <sys/stat.h>
#include <sys/wait.h>

#include <qrn/acq/ccf/ccfreader.h>
#include <qrn/foundation/misc.h>

#include "qacq.h"
#include "qacq_support.h"
#include "../ccf/ccf_support.h"

using ::testing::HasSubstr;
using qacq_test::readFile;
using qacq_test::TempDir;

namespace {

const std::string kExamples = QRN_TEST_SOURCE_DIR "/examples/ccf";

struct Exe {
  int code = -1;
  std::string out, err;
};

// Runs the tool in `dir` with the CCF search path set to `ccfDir`.  At most
// 120 s.
Exe runExe(const TempDir& dir, const std::string& ccfDir, const std::string& args) {
  const std::string out = dir / "stdout", err = dir / "stderr";
  const std::string cmd = "cd '" + dir.path().string() + "' && env -u QUORIN_PATH -u QUORIN_DISALLOW_CCF_READING " +
                          "QUORIN_SYSTEM_PATH='" + ccfDir + "' QUORIN_REGISTRY_FILE='" + (dir / "none.reg") +
                          "' timeout 120 '" QACQ_EXE "' " + args + " >'" + out + "' 2>'" + err + "'";
  const int status = std::system(cmd.c_str());
  Exe e;
  e.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  e.out = readFile(out);
  e.err = readFile(err);
  return e;
}

struct Outcome {
  int code;
  std::string out, err;
};

Outcome ccf(const std::vector<std::string>& args) {
  std::vector<std::string> all{"ccf"};
  all.insert(all.end(), args.begin(), args.end());
  std::ostringstream out, err;
  const int code = qacq::run(all, out, err);
  return {code, out.str(), err.str()};
}

std::string write(const TempDir& dir, const std::string& name, const std::string& text) {
  std::ofstream(dir.path() / name, std::ios::binary) << text;
  return dir / name;
}

}  // namespace

TEST(QacqCcf, FormatFromTheSearchPathIsListedAndGrabbed) {
  TempDir dir;
  const Exe formats = runExe(dir, kExamples, "formats");
  ASSERT_EQ(formats.code, 0) << formats.err;
  EXPECT_THAT(formats.out, testing::ContainsRegex("Northlake NL60 640x480 +640x480 +8 +grey8 +Northlake NL60 \\(CCF\\)"));
  EXPECT_THAT(formats.out, HasSubstr("Kestrel LS4K 4096x512"));
  EXPECT_THAT(formats.out, testing::ContainsRegex("Sony XC75 640x480 .*Sony XC-75\n")) << "catalogue formats unmarked";

  const Exe grab = runExe(dir, kExamples, "grab --format 'Northlake NL60 640x480' --count 2 --prefix nl60");
  ASSERT_EQ(grab.code, 0) << grab.err;
  for (const char* file : {"nl60-0001.png", "nl60-0002.png"}) {
    const auto png = qacq_test::readPng(dir / file);
    ASSERT_TRUE(png.ok) << file << ": " << png.error;
    EXPECT_EQ(png.width, 640);
    EXPECT_EQ(png.height, 480);
    EXPECT_EQ(png.channels, 1);
  }

  const Exe list = runExe(dir, kExamples, "ccf list");
  ASSERT_EQ(list.code, 0) << list.err;
  EXPECT_THAT(list.out, HasSubstr("search path: " + kExamples + "\n"));
  EXPECT_THAT(list.out, HasSubstr(kExamples + "/northlake_cl4_areascan.ccf: format \"Northlake CL4 2048x1088\"\n"));
}

TEST(QacqCcf, ListNamesWhyABadFileWasSkipped) {
  TempDir dir, ccfs;
  write(ccfs, "bad.ccf", "format name = \"Bad\";\nformat width = wide;\nccf_checksum deadc0de\n");
  write(ccfs, "sum.ccf", "format name = \"Sum\";\nccf_checksum 1\n");
  std::filesystem::copy(kExamples + "/northlake_nl60_analog.ccf", ccfs / "z.ccf");
  const Exe list = runExe(dir, ccfs.path().string(), "ccf list");
  ASSERT_EQ(list.code, 0) << list.err;
  EXPECT_THAT(list.out, HasSubstr("/bad.ccf: skipped: Invalid value. Expected integer; read: \"wide\"\n"));
  EXPECT_THAT(list.out, HasSubstr("/sum.ccf: skipped: invalid checksum\n"));
  EXPECT_THAT(list.out, HasSubstr("/z.ccf: format \"Northlake NL60 640x480\"\n"));
  // The good file's format is still there for every command.
  const Exe formats = runExe(dir, ccfs.path().string(), "formats --names");
  EXPECT_THAT(formats.out, HasSubstr("Northlake NL60 640x480\n"));
}

TEST(QacqCcf, CheckReportsEveryProblemWithItsLine) {
  TempDir dir;
  const std::string bad = write(dir, "bad.ccf",
                                "// header\n"
                                "format name = \"Bad Cam\";\n"
                                "format width = wide;\n"
                                "format video_interface = firewire;\n"
                                "\n"
                                "format nosuch = 1;\n"
                                "format height 480;\n"
                                "ccf_checksum 1234\n");
  const Outcome r = ccf({"check", kExamples + "/northlake_nl60_analog.ccf", bad});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, kExamples + "/northlake_nl60_analog.ccf: checksum ok (1ca5d10)\n" + kExamples +
                       "/northlake_nl60_analog.ccf: ok, format \"Northlake NL60 640x480\"\n" + bad +
                       ": line 3: Invalid value. Expected integer; read: \"wide\"\n" + bad +
                       ": line 4: format video_interface: Bad Enum Value\n" + bad +
                       ": line 6: format nosuch: Mapping Error\n" + bad + ": line 7: Equals not found\n" + bad +
                       ": checksum wrong: stored 1234, computed " +
                       qfHex([&] {
                         qc_ccfFileInfo info;
                         qc_ccfReader::readFile(bad, info, false);
                         return info.calcCheckSum();
                       }()) +
                       "\n");
  EXPECT_EQ(ccf({"check", kExamples + "/kestrel_ls4k_linescan.ccf"}).code, 0);
  const Outcome missing = ccf({"check", dir / "none.ccf"});
  EXPECT_EQ(missing.code, 1);
  EXPECT_THAT(missing.out, HasSubstr("cannot read " + (dir / "none.ccf") + ": No such file or directory"));
}

TEST(QacqCcf, SumRewritesAtomicallyKeepingTheText) {
  TempDir dir;
  const std::string text =
      "/* Camera notes\n   over two lines */\n"
      "format name = \"Sum Cam\";   // the name\n"
      "ccf_checksum 99\n"
      "format width = 64;\n"
      "ccf_checksum 98";
  const std::string path = write(dir, "cam.ccf", text);
  std::filesystem::permissions(path, std::filesystem::perms(0640));
  const Outcome r = ccf({"sum", path});
  ASSERT_EQ(r.code, 0) << r.err;
  const std::string after = readFile(path);
  qc_ccfFileInfo info;
  qc_ccfReader::readFile(path, info, true);
  EXPECT_EQ(after, "/* Camera notes\n   over two lines */\n"
                   "format name = \"Sum Cam\";   // the name\n"
                   "format width = 64;\n"
                   "ccf_checksum " + qfHex(info.calcCheckSum()) + "\n");
  EXPECT_TRUE(info.checkSumOK());
  EXPECT_EQ(std::filesystem::status(path).permissions() & std::filesystem::perms::all, std::filesystem::perms(0640));
  EXPECT_EQ(ccf({"check", path}).code, 0);
  EXPECT_EQ(r.out, path + ": checksum " + qfHex(info.calcCheckSum()) + "\n");

  // A file whose checksum line could not be read back is left alone.
  const std::string open = write(dir, "open.ccf", "format width = 1;\n/* never closed\n");
  const Outcome refused = ccf({"sum", open});
  EXPECT_EQ(refused.code, 1);
  EXPECT_THAT(refused.err, HasSubstr("nothing changed"));
  EXPECT_EQ(readFile(open), "format width = 1;\n/* never closed\n");
  std::size_t entries = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir.path())) entries += !e.path().empty();
  EXPECT_EQ(entries, 2u) << "no temporary file left behind";
}

TEST(QacqCcf, ShowPrintsTheParametersInMapOrder) {
  TempDir dir;
  const std::string path = write(dir, "show.ccf",
                                 "format height = 480;\nformat name = \"Show Cam\";\nformat hsync = 0 0;\n"
                                 "format hsync = 1 58;\nformat pclk_frequency = 12.27;\nformat bogus = 1;\n");
  const Outcome r = ccf({"show", path});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out,
            "format name = \"Show Cam\";\nformat height = 480;\nformat pclk_frequency = 12.27;\n"
            "format hsync = 0 0;\nformat hsync = 1 58;\n"
            "# format bogus: Parse error on Line [6]: Mapping Error\n# checksum wrong\n");
}

// A named pipe beside the CCFs blocks no command: the scan skips it and says
// why.
TEST(QacqCcf, NamedPipeOnTheSearchPathIsSkipped) {
  TempDir dir, ccfs;
  std::filesystem::copy(kExamples + "/northlake_nl60_analog.ccf", ccfs / "good.ccf");
  const std::string fifo = ccfs / "zz.ccf";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  ccf_test::FifoReleaser release(fifo);
  const Exe list = runExe(dir, ccfs.path().string(), "ccf list");
  EXPECT_EQ(list.code, 0) << list.err;
  EXPECT_THAT(list.out, HasSubstr(fifo + ": skipped: not a regular file (named pipe)\n"));
  const Exe formats = runExe(dir, ccfs.path().string(), "formats --names");
  EXPECT_THAT(formats.out, HasSubstr("Northlake NL60 640x480\n"));
}

// sum never loses text: a file above the bound, a checksum line that holds
// other text and a file it could not read whole are refused and left as they
// were.
TEST(QacqCcf, SumRefusesWhatItWouldDamage) {
  TempDir dir;
  std::string big = "format name = \"Big\";\n";
  while (big.size() <= qacq::kCcfMaxBytes) big += "// " + std::string(76, 'p') + "\n";
  const std::pair<std::string, std::string> cases[] = {
      {big, "larger than"},
      {"format name = \"S3\"; ccf_checksum 0\nformat width = 8;\n", "line 1"},
      {"format width = 8;\nccf_checksum 0 // old\n", "line 2"},
  };
  for (const auto& [text, why] : cases) {
    const std::string path = write(dir, "cam.ccf", text);
    const Outcome r = ccf({"sum", path});
    EXPECT_EQ(r.code, 1) << why;
    EXPECT_THAT(r.err, HasSubstr(why));
    EXPECT_THAT(r.err, HasSubstr("nothing changed"));
    EXPECT_EQ(readFile(path), text) << why;
  }
}

// check and show refuse a file above the bound before reading it (a file of
// tens of MB took over a GB as parsed lines).
TEST(QacqCcf, CheckAndShowRefuseAFileAboveTheBound) {
  TempDir dir;
  std::string big = "format name = \"Big\";\n";
  while (big.size() <= qacq::kCcfMaxBytes) big += "format width = 8;\n";
  const std::string path = write(dir, "big.ccf", big);
  const Outcome check = ccf({"check", path});
  EXPECT_EQ(check.code, 1);
  EXPECT_THAT(check.out, HasSubstr(path + ": " + std::to_string(big.size()) + " bytes, larger than"));
  const Outcome show = ccf({"show", path});
  EXPECT_EQ(show.code, 1);
  EXPECT_THAT(show.err, HasSubstr("larger than"));
  EXPECT_EQ(show.out, "");
}

// sum on a symbolic link rewrites the file it points to, keeping the link and
// the target's mode.
TEST(QacqCcf, SumWritesThroughASymbolicLink) {
  TempDir dir;
  std::filesystem::create_directories(dir.path() / "real");
  const std::string target = write(dir, "real/cam.ccf", "format name = \"Linked\";\nccf_checksum 0\n");
  std::filesystem::permissions(target, std::filesystem::perms(0604));
  const std::string link = dir / "link.ccf";
  std::filesystem::create_symlink("real/cam.ccf", link);
  const Outcome r = ccf({"sum", link});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  qc_ccfFileInfo info;
  qc_ccfReader::readFile(target, info, false);
  EXPECT_TRUE(info.checkSumOK());
  EXPECT_NE(info.checkSum(), 0u);
  EXPECT_EQ(std::filesystem::status(target).permissions() & std::filesystem::perms::all, std::filesystem::perms(0604));
}

// check tells what the reader silently did: lines lost to an over-long line,
// a checksum line hidden by one, text after a value, an integer that stopped
// early, and text on the checksum line.
TEST(QacqCcf, CheckReportsWhatTheReaderSkipped) {
  TempDir dir;
  struct Case {
    std::string text;
    int code;
    std::vector<std::string> said;
    std::string notSaid;
  };
  const Case cases[] = {
      {"format name = \"Long\";\nformat width = 8;\nformat height = 8;\n// " + std::string(297, 'x') +
           "\nformat taps = 1;\nccf_checksum deadc0de\n",
       1, {": line 4: reading stopped: the line is longer than 255 characters; it and the 2 lines after it are not read"},
       ": ok"},
      {"format name = \"Hidden\";\n// " + std::string(100000, 'x') + "\nccf_checksum deadc0de\n", 1,
       {": line 2: reading stopped", ": no checksum line before line 2"}, "checksum wrong"},
      {"format name = \"Two\";\nformat width = 64; format height = 48;\nformat height = 24O;\nccf_checksum deadc0de\n",
       0,
       {": line 2: warning: text after the value is ignored: format height = 48;",
        ": line 3: warning: format height: \"24O\" is read as 24", ": ok, format \"Two\" (2 warnings)"},
       "reading stopped"},
      {"format name = \"S4\";\nformat width = 8; ccf_checksum deadc0de\n", 0,
       {": line 2: warning: the line holds ccf_checksum, so its other text is ignored",
        ": ok, format \"S4\" (1 warning)"},
       "checksum wrong"},
  };
  for (const Case& c : cases) {
    const std::string path = write(dir, "cam.ccf", c.text);
    const Outcome r = ccf({"check", path});
    EXPECT_EQ(r.code, c.code) << r.out;
    for (const std::string& s : c.said) EXPECT_THAT(r.out, HasSubstr(path + s));
    EXPECT_THAT(r.out, testing::Not(HasSubstr(c.notSaid)));
  }
}

// show names the file and the line of a value it cannot read.
TEST(QacqCcf, ShowNamesTheFileAndLineOfABadValue) {
  TempDir dir;
  const std::string path = write(dir, "bad.ccf", "format name = \"Bad\";\n\nformat width = wide;\n");
  const Outcome r = ccf({"show", path});
  EXPECT_EQ(r.code, 1);
  EXPECT_THAT(r.err, HasSubstr(path + ": line 3: Invalid value. Expected integer; read: \"wide\""));
}

// An alias lists, and announces its grab, with the geometry and image format
// of the format it grabs; a format without peltype with the image format it
// is grabbed as; an alias to a missing format does not stop the listing.
TEST(QacqCcf, FormatsShowWhatWillBeGrabbed) {
  TempDir dir, ccfs;
  std::filesystem::copy(kExamples + "/northlake_nl60_analog.ccf", ccfs / "good.ccf");
  write(ccfs, "alias.ccf",
        "format name = \"Alias Cam\";\nformat format_alias = \"Northlake NL60 640x480\";\nccf_checksum deadc0de\n");
  write(ccfs, "lost.ccf", "format name = \"Lost Alias\";\nformat format_alias = \"No Such\";\nccf_checksum deadc0de\n");
  write(ccfs, "nopel.ccf",
        "format name = \"Nopel Cam\";\nformat width = 320;\nformat height = 240;\nformat bits_per_pel = 8;\n"
        "format video_interface = cameralink;\nccf_checksum deadc0de\n");
  const Exe formats = runExe(dir, ccfs.path().string(), "formats");
  ASSERT_EQ(formats.code, 0) << formats.err;
  EXPECT_THAT(formats.out, testing::ContainsRegex("\nAlias Cam +640x480 +8 +grey8 "));
  EXPECT_THAT(formats.out, testing::ContainsRegex("\nNopel Cam +320x240 +8 +grey8 "));
  EXPECT_THAT(formats.out, testing::ContainsRegex("\nLost Alias +\\? +\\? +\\? .*alias of missing \"No Such\""));

  const Exe grab = runExe(dir, ccfs.path().string(), "grab --format 'Alias Cam' --count 1 --prefix a");
  ASSERT_EQ(grab.code, 0) << grab.err;
  EXPECT_THAT(grab.out, HasSubstr("(640x480 grey8)"));
  const auto png = qacq_test::readPng(dir / "a-0001.png");
  EXPECT_EQ(png.width, 640);
  const Exe nopel = runExe(dir, ccfs.path().string(), "grab --format 'Nopel Cam' --count 1 --prefix n");
  ASSERT_EQ(nopel.code, 0) << nopel.err;
  EXPECT_THAT(nopel.out, HasSubstr("(320x240 grey8)"));
  const Exe lost = runExe(dir, ccfs.path().string(), "grab --format 'Lost Alias' --count 1");
  EXPECT_EQ(lost.code, 1);
  EXPECT_THAT(lost.err, HasSubstr("\"Lost Alias\" is an alias of \"No Such\", which is no known format"));
}
