// Formats made from camera configurations: createVideoFormat, the scan of the
// search path with its bad files, the catalogue's names, built-in
// configurations and the synthesizer word.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include <qrn/acq/ccf/builtinccf.h>
#include <qrn/acq/ccf/camcfgstore.h>
#include <qrn/acq/ccf/ccfreader.h>
#include <qrn/acq/ccf/vidfmtext.h>
#include <qrn/acq/format/catalog.h>
#include <qrn/acq/format/vidfmt.h>
#include <qrn/acq/format/vidfmt_internal.h>
#include <qrn/foundation/misc.h>

#include "ccf_support.h"

using ccf_test::EnvVar;
using ccf_test::TempDir;

namespace {

std::string examplesDir() { return QRN_TEST_SOURCE_DIR "/examples/ccf/"; }

qc_camCfgStore storeOf(const std::string& text) {
  qc_camCfgStore s;
  qc_ccfLoader loader(ccf_test::readInfo(text), &s);
  return s;
}

// The text with a correct checksum line appended.
std::string withSum(const std::string& text) {
  return text + "ccf_checksum " + qfHex(ccf_test::readInfo(text).calcCheckSum()) + "\n";
}

std::size_t countNamed(const char* name) {
  std::size_t n = 0;
  for (const qcVideoFormat* f : qcVideoFormat::fullList()) n += std::strcmp(f->name(), name) == 0;
  return n;
}

}  // namespace

TEST(CcfFormat, NoNameNoFormat) {
  EXPECT_FALSE(storeOf("format width = 640;\n").createVideoFormat());
  EXPECT_FALSE(storeOf("format name = \"\";\n").createVideoFormat());
}

TEST(CcfFormat, ExampleFilesMakeCompleteFormats) {
  struct Example {
    const char* file;
    const char* name;
    long width, height;
    bool batch;
    const char* manufacturer;
  };
  const Example examples[] = {
      {"northlake_nl60_analog.ccf", "Northlake NL60 640x480", 640, 480, true, "Northlake"},
      {"northlake_cl4_areascan.ccf", "Northlake CL4 2048x1088", 2048, 1088, true, "Northlake"},
      {"kestrel_ls4k_linescan.ccf", "Kestrel LS4K 4096x512", 4096, 512, false, "Kestrel"},
  };
  for (const Example& e : examples) {
    qc_camCfgStore store;
    bool sumOk = false;
    store.readCCF(examplesDir() + e.file, &sumOk);
    EXPECT_TRUE(sumOk) << e.file;
    EXPECT_TRUE(store.parseErrors().empty()) << e.file;
    ASSERT_TRUE(store.createVideoFormat()) << e.file;
    const qcVideoFormat* f = qf_getFormat(e.name);
    ASSERT_NE(f, nullptr) << e.name;
    EXPECT_EQ(f->width(), e.width);
    EXPECT_EQ(f->height(), e.height);
    EXPECT_EQ(f->depth(), 8);
    EXPECT_TRUE(f->formatFromCCF());
    EXPECT_STREQ(f->cameraManufacturer(), e.manufacturer);
    const qc_VideoFormat& vf = f->internal(false);
    EXPECT_EQ(vf.isValidForBatch(), e.batch) << e.name;
    ASSERT_NE(vf.fmtCIT(), nullptr);
    ASSERT_NE(vf.fmtCITopt(), nullptr);
    EXPECT_TRUE(vf.fmtCIT()->integrityCheck()) << e.name;
    EXPECT_TRUE(vf.fmtCITopt()->integrityCheck(*vf.fmtCIT())) << e.name;
    EXPECT_EQ(vf.fmtCIT()->ccfVersion(), 1.2);
  }
  const qc_VideoFormat& cl = qf_getFormat("Northlake CL4 2048x1088")->internal(false);
  ASSERT_NE(cl.fmtCamLink(), nullptr);
  EXPECT_EQ(cl.fmtCamLink()->vfAlias(), "CL4-2T");
  EXPECT_EQ(qf_getFormat("Northlake NL60 640x480")->internal(false).fmtCamLink(), nullptr);
}

TEST(CcfFormat, BatchRuleAndRecordsLoaded) {
  struct BatchCase {
    const char* lines;
    bool batch;
  };
  const BatchCase cases[] = {
      {"format video_interface = cameralink;\nformat hd_direction = in;\nformat pclk_source = external;\n", true},
      {"format video_interface = analog;\nformat hd_direction = in;\n", false},
      {"format video_interface = analog;\nformat ctrl2_direction = in;\n", false},
      {"format video_interface = analog;\nformat pclk_source = pll;\n", false},
      {"format video_interface = analog;\nformat pclk_source = oscillator;\nformat hd_direction = out;\n", true},
      {"format width = 10;\n", true},
  };
  int i = 0;
  for (const BatchCase& c : cases) {
    const std::string name = "Batch Case " + std::to_string(i++);
    ASSERT_TRUE(storeOf("format name = \"" + name + "\";\n" + c.lines).createVideoFormat());
    EXPECT_EQ(qf_getFormat(name)->internal(false).isValidForBatch(), c.batch) << c.lines;
  }

  // Absent parameters stay unset, so the timing record is incomplete.
  ASSERT_TRUE(storeOf("format name = \"Sparse Cam\";\nformat height = 7;\nformat interlace = 1;\n"
                      "format bits_per_pel = 10;\nformat taps = 2;\n")
                  .createVideoFormat());
  const qcVideoFormat* f = qf_getFormat("Sparse Cam");
  ASSERT_NE(f, nullptr);
  const qc_VideoFormat& vf = f->internal(false);
  EXPECT_EQ(vf.width(), -1);
  EXPECT_EQ(vf.height(), 7);
  EXPECT_EQ(vf.depth(), 10);
  EXPECT_TRUE(vf.interlaced());
  ASSERT_NE(vf.fmtCIT(), nullptr);
  EXPECT_EQ(vf.fmtCIT()->numTaps(), 2);
  EXPECT_EQ(vf.fmtCIT()->vidInterface(), qc_ccfEnums::vidInterface_unset);
  EXPECT_FALSE(vf.fmtCIT()->integrityCheck());
  // Two taps without an interleave, no cti_end_field1 for an unknown field count.
  EXPECT_FALSE(vf.fmtCITopt()->integrityCheck(*vf.fmtCIT()));
  EXPECT_EQ(vf.fmtCITopt()->hdDir(), qc_ccfEnums::direction_out);
  // Name parsing first, then the file's identity strings.
  EXPECT_STREQ(f->cameraManufacturer(), "Sparse");
  EXPECT_STREQ(f->cameraModel(), "Cam");
}

TEST(CcfFormat, AliasAndReplacement) {
  ASSERT_TRUE(storeOf("format name = \"Alias Cam\";\nformat format_alias = \"Sony XC75 640x480\";\n"
                      "format video_interface = analog;\nformat camera_model = \"AC-1\";\n")
                  .createVideoFormat());
  const qcStdVideoFormat& alias = qcStdVideoFormat::getFormat("Alias Cam");
  EXPECT_EQ(qc_VideoExtCIT::get("Alias Cam"), nullptr) << "an alias loads no timing";
  EXPECT_STREQ(alias.cameraModel(), "AC-1");
  EXPECT_STREQ(alias.internal(true).name(), "Sony XC75 640x480");

  ASSERT_TRUE(storeOf("format name = \"Twice Cam\";\nformat width = 100;\nformat taps = 1;\n").createVideoFormat());
  ASSERT_TRUE(storeOf("format name = \"Twice Cam\";\nformat width = 200;\nformat taps = 2;\n").createVideoFormat());
  EXPECT_EQ(countNamed("Twice Cam"), 1u);
  EXPECT_EQ(qcStdVideoFormat::getFormat("Twice Cam").width(), 200);
  EXPECT_EQ(qc_VideoExtCIT::get("Twice Cam")->numTaps(), 2) << "the earlier records are gone";
  EXPECT_EQ(qcStdVideoFormat::getFormat("Twice Cam").internal(false).fmtCIT(), qc_VideoExtCIT::get("Twice Cam"));
}

// The body of the scan test, run in a child process; returns the number of
// failed checks.
int scanChild() {
  int bad = 0;
  const qcStdVideoFormat* builtIn = &qfXc75_640x480();
  qf_resetCcfReadFlag_();
  bad += qcStdVideoFormat::getFormat("Scan Good").width() != 320;
  bad += qcStdVideoFormat::getFormat("Scan Late").width() != 16;
  bad += qcStdVideoFormat::getFormat("Scan Any").width() != 8;
  bad += !qf_ccfReadFlag_();
  for (const char* gone : {"Scan Bad", "Scan Sum", "Scan Eq"}) bad += qf_getFormat(gone) != nullptr;
  const auto report = qc_ccfReader::lastScanReport();
  bad += report.size() != 8;
  const std::string expectedErrors[] = {
      "", "Invalid value. Expected integer; read: \"abc\"", "invalid checksum", "no format name",
      "Equals not found", "", "", ""};
  for (std::size_t i = 0; i < report.size() && i < 8; ++i) {
    if (report[i].error != expectedErrors[i]) {
      std::fprintf(stderr, "%s: %s\n", report[i].path.c_str(), report[i].error.c_str());
      ++bad;
    }
  }
  // The file's format stands for the catalogue entry of its name.
  const qcStdVideoFormat& xc = qfXc75_640x480();
  bad += &xc == builtIn;
  bad += xc.width() != 648 || !xc.formatFromCCF();
  bad += countNamed("Sony XC75 640x480") != 1;
  return bad;
}

// The scan of the search path: one bad file does not hide the others nor
// make later lookups fail; each skipped file's reason is kept.  Runs in a
// child process because it changes the process's format lists.
TEST(CcfScan, BadFilesAreSkippedAndCatalogueNamesYield) {
  TempDir dir;
  ccf_test::writeFile(dir, "a_good.ccf", withSum("format name = \"Scan Good\";\nformat width = 320;\nformat height = 240;\n"));
  ccf_test::writeFile(dir, "b_badvalue.ccf", withSum("format name = \"Scan Bad\";\nformat width = abc;\n"));
  ccf_test::writeFile(dir, "c_badsum.ccf", "format name = \"Scan Sum\";\nccf_checksum 1234\n");
  ccf_test::writeFile(dir, "d_noname.ccf", withSum("format width = 1;\n"));
  ccf_test::writeFile(dir, "e_noequals.ccf", withSum("format name \"Scan Eq\";\n"));
  ccf_test::writeFile(dir, "f_xc75.CCF", withSum("format name = \"Sony XC75 640x480\";\nformat width = 648;\nformat height = 488;\n"));
  ccf_test::writeFile(dir, "g_deadc0de.ccf", "format name = \"Scan Any\";\nformat width = 8;\nccf_checksum deadc0de\n");
  ccf_test::writeFile(dir, "h_good.ccf", withSum("format name = \"Scan Late\";\nformat width = 16;\nformat height = 16;\n"));
  EnvVar sys("QUORIN_SYSTEM_PATH", dir.path().c_str());
  EnvVar user("QUORIN_PATH", nullptr);
  EnvVar off("QUORIN_DISALLOW_CCF_READING", nullptr);
  EXPECT_EXIT(std::exit(scanChild()), ::testing::ExitedWithCode(0), "");
}

TEST(CcfScan, SwitchedOffByTheEnvironment) {
  TempDir dir;
  ccf_test::writeFile(dir, "off.ccf", withSum("format name = \"Scan Off\";\nformat width = 1;\n"));
  EnvVar sys("QUORIN_SYSTEM_PATH", dir.path().c_str());
  EnvVar off("QUORIN_DISALLOW_CCF_READING", "1");
  EXPECT_FALSE(qf_CcfForceStdDirRead());
  EXPECT_EQ(qf_getFormat("Scan Off"), nullptr);
  EXPECT_EXIT(
      {
        qf_resetCcfReadFlag_();
        qcVideoFormat::fullList();
        std::exit(qf_ccfReadFlag_() || qf_getFormat("Scan Off") ? 1 : 0);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(CcfBuiltIn, ExactChecksumOnly) {
  const char* lines[] = {"format name = \"Built In Cam\";", "format width = 64;", "format height = 32;"};
  qc_ccfChecksum sum;
  for (const char* l : lines) sum.add(l);

  qcBuiltInCCF wrong;
  for (long i = 0; i < 3; ++i) wrong.addLine(lines[i], i + 1);
  wrong.setCheckSum(kCcfNoCheckSum);
  EXPECT_FALSE(wrong.createVideoFormat());
  EXPECT_EQ(qf_getFormat("Built In Cam"), nullptr);

  qcBuiltInCCF malformed;
  malformed.addLine("format name = \"Built In Bad\";", 1);
  malformed.addLine("format width = wide;", 2);
  qc_ccfChecksum badSum;
  badSum.add("format name = \"Built In Bad\";");
  badSum.add("format width = wide;");
  malformed.setCheckSum(badSum.sum);
  EXPECT_FALSE(malformed.createVideoFormat());
  EXPECT_EQ(qf_getFormat("Built In Bad"), nullptr);

  qcBuiltInCCF good;
  for (long i = 0; i < 3; ++i) good.addLine(lines[i], i + 1);
  good.setCheckSum(sum.sum);
  good.setTimeStamp(1, 2);
  EXPECT_TRUE(good.createVideoFormat());
  const qcVideoFormat* f = qf_getFormat("Built In Cam");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->width(), 64);
  EXPECT_EQ(f->height(), 32);
}

TEST(CcfOscillator, WordLayoutAndRoundTrip) {
  EXPECT_EQ(qf_calcOscVal(0.3, 14.31818), 0u);
  EXPECT_EQ(qf_calcOscVal(115.5, 14.31818), 0u);
  EXPECT_EQ(qf_calcOscVal(std::nan(""), 14.31818), 0u);
  const auto m = [](std::uint32_t w) { return (w >> 7) & 7u; };
  EXPECT_EQ(m(qf_calcOscVal(20.0, 14.31818)), 1u);
  EXPECT_EQ(m(qf_calcOscVal(40.0, 14.31818)), 0u);
  EXPECT_EQ(m(qf_calcOscVal(0.32, 14.31818)), 7u);

  for (double reference : {14.31818, 20.0, 33.333}) {
    for (double f : {0.32, 1.0, 12.2727, 20.0, 25.175, 40.0, 65.0, 85.0, 100.0, 115.0}) {
      const std::uint32_t w = qf_calcOscVal(f, reference);
      ASSERT_NE(w, 0u) << f << " from " << reference;
      EXPECT_TRUE(w & 0x400u) << f;
      EXPECT_LT(w, 1u << 22) << f;
      const double q = (w & 0x7F) + 2, p = ((w >> 11) & 0x7F) + 3;
      EXPECT_GE(q, 15);
      EXPECT_LE(q, 71);
      const double fvco = 2 * reference * p / q;
      EXPECT_GE(fvco, 40.0 * (1 - 0.01)) << f;
      const double back = qf_calcOscFreq(w, reference);
      EXPECT_NEAR(back, f, f * 0.005) << f << " from " << reference;
      // The VCO range index is the highest whose lower limit the VCO reaches.
      const std::uint32_t i = w >> 18;
      const double limits[16] = {40.0, 42.5, 47.5, 53.5, 58.5, 62.5, 68.5, 69.0,
                                 82.0, 87.0, 92.0, 92.1, 105.0, 115.0, 115.0, 115.0};
      if (i > 0) {
        EXPECT_LE(limits[i], fvco) << f;
      }
      if (i < 15) {
        EXPECT_GT(limits[i + 1], fvco) << f;
      }
    }
  }
}
