// qacq commands run in process: argument errors, format listings, the
// hardware configuration round trip through a temporary registry file, and
// grabs on the simulated board.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <filesystem>
#include <regex>
#include <sstream>

#include <qrn/acq/format/vidfmt.h>
#include <qrn/acq/hyper/framegrabber.h>

#include "qacq.h"
#include "qacq_run.h"
#include "qacq_support.h"

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;
using qacq_test::TempDir;

namespace {

using qacq_test::Outcome;
using qacq_test::qacqRun;

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> r;
  std::istringstream s(text);
  for (std::string l; std::getline(s, l);) r.push_back(l);
  return r;
}

std::vector<std::string> allNames() {
  std::vector<std::string> r;
  for (const qcStdVideoFormat* f : qcStdVideoFormat::fullList()) r.emplace_back(f->name());
  return r;
}

std::vector<std::string> sortedNames(std::vector<std::string> v) {
  std::sort(v.begin(), v.end(), [](const std::string& a, const std::string& b) { return strcmp(a.c_str(), b.c_str()) < 0; });
  return v;
}

// Every test runs on its own registry file in a temporary directory.
class QacqCli : public ::testing::Test {
protected:
  void SetUp() override {
    if (const char* old = std::getenv("QUORIN_REGISTRY_FILE")) oldRegistry_ = old;
    registry_ = dir_ / "registry.reg";
    ::setenv("QUORIN_REGISTRY_FILE", registry_.c_str(), 1);
    ASSERT_GE(qcFrameGrabber::count(), 1) << "the simulated board driver was not loaded";
  }
  void TearDown() override {
    if (oldRegistry_) ::setenv("QUORIN_REGISTRY_FILE", oldRegistry_->c_str(), 1);
    else ::unsetenv("QUORIN_REGISTRY_FILE");
  }

  // Runs a command that must succeed.
  Outcome ok(const std::vector<std::string>& args) {
    Outcome r = qacqRun(args);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    return r;
  }
  std::vector<std::string> boardFormats() { return lines(ok({"formats", "--board", "0", "--names"}).out); }

  TempDir dir_;
  std::string registry_;
  std::optional<std::string> oldRegistry_;
};

const char* const kA = "Sony XC75 320x240";
const char* const kB = "Pulnix TM7EX 640x480";
const char* const kC = "Sony XC75 640x480";

}  // namespace

// ---- argument errors -------------------------------------------------------------

TEST_F(QacqCli, ArgumentErrorsAreOneLineAndNonZero) {
  struct Case {
    std::vector<std::string> args;
    int code;
    std::string text;
  } cases[] = {
      {{}, 2, "subcommand"},
      {{"grabb"}, 2, "unknown command \"grabb\"; closest: \"grab\""},
      {{"hwconfig", "limt", "x"}, 2, "unknown command \"limt\"; closest: \"limit\""},
      {{"grab", "--count", "0"}, 2, "--count must be at least 1"},
      {{"grab", "--count", "x"}, 2, "--count"},
      {{"grab", "--no-such-option"}, 2, "--no-such-option"},
      {{"grab", "--trigger", "manul"}, 2, "unknown trigger model \"manul\"; closest: \"manual\""},
      {{"grab", "--save", "jpg"}, 2, "unknown file type \"jpg\"; closest: \"png\""},
      {{"grab", "--save", "tiff"}, 2, "unknown file type \"tiff\"; choose one of: png pgm none"},
      {{"grab", "--roi", "1,2"}, 2, "bad region of interest \"1,2\""},
      {{"grab", "--roi", "1,2,3,4,5"}, 2, "bad region of interest \"1,2,3,4,5\""},
      {{"grab", "--roi", "0,0,99999999999999999999,10"}, 2, "\"99999999999999999999\" is out of range"},
      {{"grab", "--roi", "1,1,9223372036854775807,9223372036854775807"}, 2, "right or bottom edge is beyond"},
      {{"grab", "--count", "99999999999999999999999"}, 2, "--count: \"99999999999999999999999\" is out of range"},
      {{"grab", "--exposure", "-1"}, 2, "--exposure must be 0 to 3600 seconds"},
      {{"grab", "--exposure", "nan"}, 2, "--exposure must be 0 to 3600 seconds"},
      {{"grab", "--exposure", "inf"}, 2, "--exposure must be 0 to 3600 seconds"},
      {{"grab", "--exposure", "1e300"}, 2, "--exposure must be 0 to 3600 seconds"},
      {{"live", "--exposure", "3600.5"}, 2, "--exposure must be 0 to 3600 seconds"},
      {{"grab", "--timeout", "0"}, 2, "--timeout must be above 0 seconds"},
      {{"grab", "--custom", "noequals"}, 2, "bad custom item \"noequals\""},
      {{"grab", "--format", "Sony XC75 64x480"}, 2,
       "unknown video format \"Sony XC75 64x480\"; closest: \"Sony XC75 640x480\""},
      {{"grab", "--format", "qqqqqqqq"}, 2, "unknown video format \"qqqqqqqq\" (see \"qacq formats\")"},
      {{"grab", "--board", "7"}, 2, "no board 7"},
      {{"grab", "--board", "sim9"}, 2, "unknown board \"sim9\"; closest: \"sim0\""},
      {{"formats", "--image-format", "grey9"}, 2, "unknown image format \"grey9\"; closest: \"grey8\""},
      {{"hwconfig", "limit"}, 2, "names"},
      {{"hwconfig", "simulator", "maybe"}, 2, "unknown state \"maybe\""},
      {{"hwconfig", "limit", "No Such Format"}, 2, "unknown video format \"No Such Format\""},
      // Text the registry store cannot keep is refused as such, not as a file that cannot be written.
      {{"hwconfig", "limit", "--force", "Two\nLines"}, 2, "a format name cannot hold a line break"},
      {{"cameras", "add", "cam\r1"}, 2, "a camera id must be non-empty and hold no ';', line break or zero byte"},
      // The driver refuses a custom item: the library's exception, one line.
      {{"grab", "--custom", "NoSuchItem=1", "--save", "none"}, 1, "qcAcqFifo::BadParams: unknown custom item \"NoSuchItem\""},
  };
  for (const Case& c : cases) {
    const Outcome r = qacqRun(c.args);
    std::string joined;
    for (const std::string& a : c.args) joined += " " + a;
    EXPECT_EQ(r.code, c.code) << "qacq" << joined << "\n" << r.err;
    EXPECT_THAT(r.err, StartsWith("qacq: ")) << joined;
    EXPECT_THAT(r.err, HasSubstr(c.text)) << joined;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << "not one line:" << joined << "\n" << r.err;
  }
  // Nothing was written anywhere by the failed commands.
  EXPECT_FALSE(std::filesystem::exists(registry_));
}

TEST_F(QacqCli, HelpAndVersion) {
  const Outcome help = qacqRun({"--help"});
  EXPECT_EQ(help.code, 0);
  for (const char* cmd : {"boards", "formats", "grab", "hwconfig"}) EXPECT_THAT(help.out, HasSubstr(cmd));
  const Outcome grabHelp = qacqRun({"grab", "--help"});
  EXPECT_EQ(grabHelp.code, 0);
  EXPECT_THAT(grabHelp.out, HasSubstr("--exposure"));
  EXPECT_THAT(qacqRun({"--version"}).out, HasSubstr("qacq "));
}

// ---- listings --------------------------------------------------------------------------

TEST_F(QacqCli, BoardsListsTheSimulatedBoard) {
  const auto out = lines(ok({"boards"}).out);
  ASSERT_EQ(out.size(), static_cast<std::size_t>(qcFrameGrabber::count()) + 1);
  EXPECT_THAT(out[0], StartsWith("INDEX"));
  EXPECT_THAT(out[1], testing::MatchesRegex("0 +sim0 +[0-9]+ +sim:0"));
}

TEST_F(QacqCli, FormatsListings) {
  // Every format, in the list's order (sorted by name).
  const std::vector<std::string> all = allNames();
  ASSERT_GE(all.size(), 51u);
  EXPECT_EQ(lines(ok({"formats", "--names"}).out), all);
  EXPECT_EQ(all, sortedNames(all));

  // The table: a header, one row per format, and the count.
  const auto table = lines(ok({"formats"}).out);
  ASSERT_EQ(table.size(), all.size() + 2);
  EXPECT_THAT(table.front(), StartsWith("NAME"));
  EXPECT_EQ(table.back(), std::to_string(all.size()) + " formats");
  EXPECT_THAT(table, testing::Contains(testing::MatchesRegex("Sony XC75 640x480 +640x480 +8 +grey8 .*")));

  // Filtered by image format alone: the formats that give that image format
  // themselves (every catalogue format but the null format is grey 8-bit).
  std::vector<std::string> grey8;
  for (const qcStdVideoFormat* f : qcStdVideoFormat::fullList())
    if (f->imageFormat() == qeImageFormat_Grey8) grey8.emplace_back(f->name());
  EXPECT_EQ(grey8.size(), all.size() - 1);
  EXPECT_EQ(lines(ok({"formats", "-i", "grey8", "--names"}).out), grey8);
  EXPECT_EQ(ok({"formats", "-i", "rgb32", "--names"}).out, "");

  // Filtered by the simulated board, which acquires every format in every
  // pixel kind while its configuration is empty.
  EXPECT_EQ(boardFormats(), all);
  EXPECT_EQ(lines(ok({"formats", "--board", "sim0", "-i", "rgb32", "--names"}).out), all);
}

// ---- hardware configuration ------------------------------------------------------------

TEST_F(QacqCli, HwconfigRoundTripThroughTheRegistryFile) {
  // Nothing there yet.
  Outcome r = ok({"hwconfig"});
  EXPECT_THAT(r.out, HasSubstr("board sim0: HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorin\\ORB\\utconfig\\board_sim_0"));
  EXPECT_THAT(r.out, HasSubstr(registry_ + " (missing"));
  EXPECT_THAT(r.out, HasSubstr("limitFmt: off\nexcludeFmt: off\nformats: (none)\n"));

  // Limit to three: the file holds them, the board offers only them.
  r = ok({"hwconfig", "limit", kA, kB, kC});
  EXPECT_THAT(r.out, HasSubstr(std::string("limitFmt: on\nexcludeFmt: off\nformats:\n  0: ") + kA + "\n  1: " + kB +
                               "\n  2: " + kC + "\n"));
  std::string file = qacq_test::readFile(registry_);
  EXPECT_THAT(file, HasSubstr("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorin\\ORB\\utconfig\\board_sim_0]"));
  EXPECT_THAT(file, HasSubstr("\"limitFmt\"=dword:00000001"));
  EXPECT_THAT(file, HasSubstr(std::string("\"format2\"=\"") + kC + "\""));
  EXPECT_EQ(boardFormats(), sortedNames({kA, kB, kC}));
  // A second process reads the same: show is read back from the file.
  EXPECT_THAT(ok({"hwconfig", "show", "--board", "0"}).out, HasSubstr(std::string("  1: ") + kB));

  // Grabbing a format the board no longer offers fails in one line; without
  // a format the board's first offered one is used.
  const Outcome refused = qacqRun({"grab", "--format", "Sony XC75 640x240", "--save", "none"});
  EXPECT_EQ(refused.code, 1);
  EXPECT_THAT(refused.err, HasSubstr("board sim0 does not offer \"Sony XC75 640x240\" as grey8"));
  ok({"hwconfig", "limit", kA});
  EXPECT_THAT(ok({"grab", "--save", "none"}).out, HasSubstr(std::string("of \"") + kA + "\""));

  // Exclude one: the shorter list leaves no old entries behind.
  ok({"hwconfig", "limit", kA, kB, kC});
  r = ok({"hwconfig", "exclude", kB});
  EXPECT_THAT(r.out, HasSubstr(std::string("limitFmt: off\nexcludeFmt: on\nformats:\n  0: ") + kB + "\nCLSimulator"));
  file = qacq_test::readFile(registry_);
  EXPECT_THAT(file, Not(HasSubstr("\"format1\"")));
  EXPECT_THAT(file, Not(HasSubstr("\"format2\"")));
  std::vector<std::string> allButB = allNames();
  std::erase(allButB, std::string(kB));
  EXPECT_EQ(boardFormats(), allButB);

  // Clear: every format again.
  r = ok({"hwconfig", "clear"});
  EXPECT_THAT(r.out, HasSubstr("limitFmt: off\nexcludeFmt: off\nformats: (none)\n"));
  EXPECT_EQ(boardFormats(), allNames());

  // The simulator switches.
  EXPECT_THAT(ok({"hwconfig", "simulator", "on"}).out, HasSubstr("CLSimulator: on\nautoCLSimulator: off"));
  EXPECT_THAT(ok({"hwconfig", "auto-simulator", "ON"}).out, HasSubstr("CLSimulator: on\nautoCLSimulator: on"));
  EXPECT_THAT(qacq_test::readFile(registry_), HasSubstr("\"CLSimulator\"=dword:00000001"));
  EXPECT_THAT(ok({"hwconfig", "simulator", "off"}).out, HasSubstr("CLSimulator: off\nautoCLSimulator: on"));

  // An unknown name changes nothing unless forced.
  const std::string before = qacq_test::readFile(registry_);
  EXPECT_EQ(qacqRun({"hwconfig", "limit", kA, "Sony XC75 640x48"}).code, 2);
  EXPECT_EQ(qacq_test::readFile(registry_), before);
  EXPECT_THAT(ok({"hwconfig", "limit", "--force", "My Camera 100x100"}).out, HasSubstr("  0: My Camera 100x100\n"));
  EXPECT_EQ(boardFormats(), std::vector<std::string>{});
  EXPECT_EQ(qacqRun({"grab", "--save", "none"}).code, 1);  // nothing to grab
}

TEST_F(QacqCli, HwconfigNeverOverwritesAMalformedRegistryFile) {
  const std::string garbage = "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\nnot a value\n";
  {
    std::ofstream f(registry_);
    f << garbage;
  }
  EXPECT_THAT(ok({"hwconfig"}).out, HasSubstr("(malformed at line"));
  const Outcome r = qacqRun({"hwconfig", "limit", kA});
  EXPECT_EQ(r.code, 1);
  EXPECT_THAT(r.err, HasSubstr("qacq: cannot write the registry store " + registry_ + ": malformed at line"));
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
  EXPECT_EQ(qacq_test::readFile(registry_), garbage);
}

// ---- grabs on the simulated board --------------------------------------------------------

namespace {

// The trigger number of each "frame N: trigger T, ..." line, in order.
std::vector<unsigned long> triggers(const std::string& out) {
  std::vector<unsigned long> r;
  const std::regex re("^frame ([0-9]+): trigger ([0-9]+), time stamp [0-9]+, ([^,]+)");
  for (const std::string& l : lines(out)) {
    std::smatch m;
    if (std::regex_search(l, m, re)) r.push_back(std::stoul(m[2]));
  }
  return r;
}

// The simulator's default test image after the default input table: the
// gradient (x + y + n) mod 256 clipped to 15..240.
unsigned gradient(long x, long y, unsigned long n) {
  return std::clamp<unsigned>(static_cast<unsigned>((x + y + n) % 256), 15, 240);
}

std::vector<std::string> filesIn(const std::string& dir) {
  std::vector<std::string> r;
  for (const auto& e : std::filesystem::directory_iterator(dir)) r.push_back(e.path().filename().string());
  std::sort(r.begin(), r.end());
  return r;
}

}  // namespace

TEST_F(QacqCli, GrabWritesPngFramesOfTheTestImage) {
  const std::string out = dir_ / "grab-out";  // created by the grab
  const Outcome r = ok({"grab", "--count", "3", "--out", out});
  EXPECT_THAT(r.out, HasSubstr("grabbing 3 frames of \"Sony XC75 640x480\" (640x480 grey8) from sim0, trigger Manual"));
  EXPECT_THAT(r.out, testing::ContainsRegex("3 frames in [0-9.]+ s, [0-9.]+ frames/s; 3 images written to "));
  const auto trig = triggers(r.out);
  ASSERT_EQ(trig.size(), 3u) << r.out;
  EXPECT_TRUE(std::is_sorted(trig.begin(), trig.end()));
  ASSERT_THAT(filesIn(out), ElementsAre("frame-0001.png", "frame-0002.png", "frame-0003.png"));
  for (int i = 0; i < 3; ++i) {
    const std::string path = out + "/frame-000" + std::to_string(i + 1) + ".png";
    EXPECT_THAT(r.out, HasSubstr(", ok -> " + path));
    const auto d = qacq_test::readPng(path);
    ASSERT_TRUE(d.ok) << d.error;
    ASSERT_EQ(d.width, 640);
    ASSERT_EQ(d.height, 480);
    ASSERT_EQ(d.channels, 1);
    ASSERT_EQ(d.depth, 8);
    long wrong = 0;
    for (long y = 0; y < d.height; ++y)
      for (long x = 0; x < d.width; ++x) wrong += d.at(x, y) != gradient(x, y, trig[i]);
    EXPECT_EQ(wrong, 0) << path << " (trigger " << trig[i] << ")";
  }
}

TEST_F(QacqCli, GrabImageKindsRoiAndPrefix) {
  const std::string out = dir_ / "kinds";
  // Colour scene: red 255x/(w-1), green 255y/(h-1), blue 255-red, each
  // component through the default input table (clipped to 15..240).
  for (const char* kind : {"rgb32", "3plane", "rgb16"}) {
    ok({"grab", "-q", "-i", kind, "--custom", "TestImage=color", "--out", out, "--prefix", kind, "--save", "png"});
    const auto d = qacq_test::readPng(out + "/" + kind + "-0001.png");
    ASSERT_TRUE(d.ok) << d.error;
    ASSERT_EQ(d.channels, 3) << kind;
    ASSERT_EQ(d.width, 640);
    for (auto [x, y] : {std::pair<long, long>{0, 0}, {639, 0}, {0, 479}, {639, 479}, {320, 240}}) {
      const unsigned red = static_cast<unsigned>(255 * x / 639), green = static_cast<unsigned>(255 * y / 479);
      const unsigned want[3] = {std::clamp(red, 15u, 240u), std::clamp(green, 15u, 240u),
                                std::clamp(255 - red, 15u, 240u)};
      for (int c = 0; c < 3; ++c) {
        // Packed RGB16 keeps the top 5 or 6 bits of each component.
        const int bits = std::string(kind) == "rgb16" ? (c == 1 ? 6 : 5) : 8;
        EXPECT_EQ(d.at(x, y, c) >> (8 - bits), want[c] >> (8 - bits)) << kind << " " << x << "," << y << " c" << c;
      }
    }
  }
  // 16-bit grey as PGM: the gradient's 8-bit value times 257, no input table.
  const Outcome g16 = ok({"grab", "-i", "grey16", "--save", "pgm", "--out", out, "--prefix", "g16"});
  const auto trig = triggers(g16.out);
  ASSERT_EQ(trig.size(), 1u);
  const auto p = qacq_test::readPnm(out + "/g16-0001.pgm");
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.maxval, 65535u);
  for (auto [x, y] : {std::pair<long, long>{0, 0}, {5, 7}, {300, 200}, {639, 479}})
    EXPECT_EQ(p.at(x, y), ((x + y + trig[0]) % 256) * 257) << x << "," << y;

  // A region of interest: the window of the full frame's coordinates.
  const Outcome roi = ok({"grab", "--roi", "100,50,64,32", "--out", out, "--prefix", "roi"});
  const auto rt = triggers(roi.out);
  ASSERT_EQ(rt.size(), 1u);
  const auto d = qacq_test::readPng(out + "/roi-0001.png");
  ASSERT_TRUE(d.ok) << d.error;
  ASSERT_EQ(d.width, 64);
  ASSERT_EQ(d.height, 32);
  for (long y = 0; y < 32; ++y)
    for (long x = 0; x < 64; ++x) ASSERT_EQ(d.at(x, y), gradient(x + 100, y + 50, rt[0])) << x << "," << y;
}

TEST_F(QacqCli, GrabReportsFailedFramesAndExitsThree) {
  const std::string out = dir_ / "fail";
  const Outcome r = qacqRun({"grab", "-n", "3", "--custom", "Inject=missed", "--custom", "Inject=abnormal:7", "--out", out});
  EXPECT_EQ(r.code, 3) << r.err;
  const auto l = lines(r.out);
  ASSERT_EQ(l.size(), 5u) << r.out;
  EXPECT_THAT(l[1], testing::MatchesRegex("frame 1: trigger [0-9]+, time stamp [0-9]+, missed, no image"));
  EXPECT_THAT(l[2], testing::MatchesRegex("frame 2: trigger [0-9]+, time stamp [0-9]+, abnormal \\(code 7\\).*, no image"));
  EXPECT_THAT(l[3], testing::MatchesRegex("frame 3: .*, ok -> .*frame-0003.png"));
  EXPECT_THAT(l[4], testing::MatchesRegex("3 frames \\(2 failed\\) in .*; 1 image written to .*"));
  EXPECT_THAT(filesIn(out), ElementsAre("frame-0003.png"));

  // Quiet: only the failed frames and the summary.
  const Outcome q = qacqRun({"grab", "-q", "-n", "2", "--custom", "Inject=timeout", "--save", "none"});
  EXPECT_EQ(q.code, 3);
  const auto ql = lines(q.out);
  ASSERT_EQ(ql.size(), 2u) << q.out;
  EXPECT_THAT(ql[0], testing::MatchesRegex("frame 1: .*timeout.*"));
}

TEST_F(QacqCli, GrabWithEveryTriggerModel) {
  for (const char* t : {"manual", "auto", "semi", "freerun"}) {
    const Outcome r = ok({"grab", "-n", "3", "--trigger", t, "--save", "none", "--timeout", "10"});
    const auto trig = triggers(r.out);
    ASSERT_EQ(trig.size(), 3u) << t << "\n" << r.out;
    EXPECT_TRUE(std::is_sorted(trig.begin(), trig.end())) << t;
    EXPECT_EQ(std::adjacent_find(trig.begin(), trig.end()), trig.end()) << t << ": a trigger number repeats";
  }
  // With the hardware trigger and no pulse, each frame times out.
  const Outcome r = qacqRun({"grab", "-n", "1", "--trigger", "auto", "--hw-trigger", "--timeout", "0.2", "--save", "none"});
  EXPECT_EQ(r.code, 3);
  EXPECT_THAT(r.out, HasSubstr("timeout, no image"));
}

TEST_F(QacqCli, GrabIntoAPathThatIsAFileFails) {
  const std::string file = dir_ / "plain";
  std::ofstream(file) << "x";
  const Outcome r = qacqRun({"grab", "--out", file});
  EXPECT_EQ(r.code, 1);
  EXPECT_THAT(r.err, HasSubstr("qacq: cannot create the output directory " + file));
}
