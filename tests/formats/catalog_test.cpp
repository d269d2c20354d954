// The built-in catalogue: every entry with its fields and camera identity,
// list order, the null format, and entries that a configuration-file format
// of the same name stands for.
#include <cstring>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include <qrn/acq/format/catalog.h>

#include "fmt_support.h"

namespace {

struct Expected {
  const qcStdVideoFormat& (*accessor)();
  const char* name;
  long width, height;
  bool interlaced, halfRes, batch;
  const char* manufacturer;
  const char* model;
  const char* resolution;
  const char* driveType;
  const char* options;
};

// What each accessor must give, with the camera identity after name parsing
// and the explicit settings ("" where the format reports null).
const Expected kCatalogue[] = {
    {&qfXc75_640x480, "Sony XC75 640x480", 640, 480, true, false, true, "Sony", "XC-75", "640x480", "", ""},
    {&qfXcSt50_640x480, "Sony XC-ST50 640x480", 640, 480, true, false, true, "Sony", "XC-ST50", "640x480", "", ""},
    {&qfTm7ex_640x480, "Pulnix TM7EX 640x480", 640, 480, true, false, true, "Pulnix", "TM7EX", "640x480", "", ""},
    {&qfStcR640CCFA_640x480, "Sentech STC-R640CC-FA 640x480", 640, 480, true, false, true, "Sentech", "STC-R640CC-FA", "640x480", "", ""},
    {&qfReserveFormat0, "Reserve Camera Format #0", 640, 480, true, false, true, "Reserved", "Format #0", "640x480", "", ""},
    {&qfIk542_640x480, "Toshiba IK-542 640x480", 640, 480, false, false, true, "Toshiba", "IK-542", "640x480", "", ""},
    {&qfTm9700_640x480, "PULNiX TM-9701 640x480", 640, 480, false, false, true, "Pulnix", "TM-9701", "640x480", "", ""},
    {&qfXc55_640x480, "Sony XC55BB 640x480", 640, 480, false, false, true, "Sony", "XC-55", "640x480", "", "rapid-reset, shutter-sw-EDONPISHAII"},
    {&qfReserveFormat2, "Reserve Camera Format #2", 640, 480, false, false, true, "Reserved", "Format #2", "640x480", "", ""},
    {&qfXc75_640x240, "Sony XC75 640x240", 640, 240, true, false, true, "Sony", "XC-75", "640x240", "", ""},
    {&qfTm7ex_640x240, "Pulnix TM7EX 640x240", 640, 240, true, false, true, "Pulnix", "TM7EX", "640x240", "", ""},
    {&qfXcSt50_640x240, "Sony XC-ST50 640x240", 640, 240, true, false, true, "Sony", "XC-ST50", "640x240", "", ""},
    {&qfTm6cn_760x574, "PULNiX TM-6CN 760x574", 760, 574, true, false, false, "Pulnix", "TM-6CN", "760x574", "", ""},
    {&qfTm7ex_320x240, "Pulnix TM7EX 320x240", 320, 240, true, true, true, "Pulnix", "TM7EX", "320x240", "", ""},
    {&qfXc75_320x240, "Sony XC75 320x240", 320, 240, true, true, true, "Sony", "XC-75", "320x240", "", ""},
    {&qfXc75ce_380x287, "Sony XC75CE 380x287", 380, 287, true, true, true, "Sony", "XC-75CE", "380x287", "", ""},
    {&qfXc75ce_760x574, "Sony XC75CE 760x574", 760, 574, true, false, true, "Sony", "XC-75CE", "760x574", "", ""},
    {&qfXc75ce_760x287, "Sony XC75CE 760x287", 760, 287, true, false, true, "Sony", "XC-75CE", "760x287", "", ""},
    {&qfXc75cerr_380x287, "Sony XC75CERR 380x287", 380, 287, true, true, true, "Sony", "XC-75CE", "380x287", "", "rapid-reset, shutter-sw-SDONPISHA"},
    {&qfXc75rr_320x240, "Sony XC75RR 320x240", 320, 240, true, true, true, "Sony", "XC-75", "320x240", "", "rapid-reset, shutter-sw-SDONPISHA"},
    {&qfXcSt50_320x240, "Sony XC-ST50 320x240", 320, 240, true, true, true, "Sony", "XC-ST50", "320x240", "", ""},
    {&qfXcSt50rr_320x240, "Sony XC-ST50RR 320x240", 320, 240, true, true, true, "Sony", "XC-ST50", "320x240", "", "rapid-reset, shutter-sw-SDONPISHA"},
    {&qfXcSt50ce_760x574, "Sony XC-ST50CE 760x574", 760, 574, true, false, true, "Sony", "XC-ST50CE", "760x574", "", ""},
    {&qfXcSt50ce_760x287, "Sony XC-ST50CE 760x287", 760, 287, true, false, true, "Sony", "XC-ST50CE", "760x287", "", ""},
    {&qfXcSt50ce_380x287, "Sony XC-ST50CE 380x287", 380, 287, true, true, true, "Sony", "XC-ST50CE", "380x287", "", ""},
    {&qfXcSt50cerr_380x287, "Sony XC-ST50CERR 380x287", 380, 287, true, true, true, "Sony", "XC-ST50CE", "380x287", "", "rapid-reset, shutter-sw-SDONPISHA"},
    {&qfLSFth_2048, "NED LS FTH 2048", 2048, 2048, false, false, false, "NED", "LS FTH", "2048x2048", "", ""},
    {&qfDLSScd_2048x2048, "Mitsubishi DLS SCD 2048x2048", 2048, 2048, false, false, false, "Mitsubishi", "DLS SCD", "2048x2048", "", ""},
    {&qfLSScd_2048, "Mitsubishi LS SCD 2048", 2048, 2048, false, false, false, "Mitsubishi", "LS SCD", "2048x2048", "", ""},
    {&qfDLSSpy_2048x2048, "Dalsa DLS SP-11 2048x2048", 2048, 2048, false, false, false, "Dalsa", "DLS SP-11", "2048x2048", "", ""},
    {&qfLSTest_2048, "Test LS 2048x2048", 2048, 2048, false, false, true, "Quorin", "Test LS", "2048x2048", "", ""},
    {&qfDLSBasL103_2048x2048, "Basler L103 2048x2048", 2048, 2048, false, false, false, "Basler", "L103", "2048x2048", "", ""},
    {&qfIkm41ma_320x240, "Toshiba IK-M41MA 320x240", 320, 240, true, true, true, "Toshiba", "IK-M41MA", "320x240", "", ""},
    {&qfReserveFormat1, "Reserve Camera Format #1", 640, 480, true, false, true, "Reserved", "Format #1", "640x480", "", ""},
    {&qfKpf100_1280x1024, "Hitachi KP-F100 1280x1024", 1280, 1024, false, false, false, "Hitachi", "KP-F100", "1280x1024", "", "rapid-reset, shutter-sw-twoTrigger"},
    {&qfXc7500_640x480, "Sony XC7500 640x480", 640, 480, true, false, true, "Sony", "XC-7500", "640x480", "", "rapid-reset"},
    {&qfLSTest_4096, "Test LS 4096x4096", 4096, 4096, false, false, true, "Quorin", "Test LS", "4096x4096", "", ""},
    {&qfLSTest_8192, "Test LS 8192x7424", 8192, 7424, false, false, true, "Quorin", "Test LS", "8192x7424", "", ""},
    {&qfDLSScd_1024x4096, "Mitsubishi DLS SCD 1024x4096", 1024, 4096, false, false, false, "Mitsubishi", "DLS SCD", "1024x4096", "", ""},
    {&qfDLSSpy_1024x4096, "Dalsa DLS SP-11 1024x4096", 1024, 4096, false, false, false, "Dalsa", "DLS SP-11", "1024x4096", "", ""},
    {&qfXc003_640x480, "Sony XC-003 640x480", 640, 480, true, false, true, "Sony", "XC-003", "640x480", "", ""},
    {&qfXc003p_760x574, "Sony XC-003P 760x574", 760, 574, true, false, true, "Sony", "XC-003P", "760x574", "", ""},
    {&qfDxc390_640x480, "Sony DXC-390 640x480", 640, 480, true, false, true, "Sony", "DXC-390", "640x480", "", ""},
    {&qfRtm5500_640x480, "Quorin RTM5500 640x480", 640, 480, false, false, false, "Quorin", "RTM5500", "640x480", "", ""},
    {&qfReserveFormat4, "Reserve Camera Format #4", 640, 480, true, false, true, "Reserved", "Format #4", "640x480", "", ""},
    {&qfReserveFormat3, "Reserve Camera Format #3", 760, 574, true, false, true, "Reserved", "Format #3", "760x574", "", ""},
    {&qfTmc7dsp_632x480, "Pulnix TMC-7DSP 632x480", 632, 480, true, false, true, "Pulnix", "TMC-7DSP", "632x480", "", ""},
    {&qfCvm90_640x480, "Jai CV-M90 640x480", 640, 480, true, false, true, "Jai", "CV-M90", "640x480", "", ""},
    {&qfDLSBasL203_4096x4096, "Basler L203 4096x4096", 4096, 4096, false, false, false, "Basler", "L203", "4096x4096", "", ""},
    {&qfDLSBasL401_4032x4032, "Basler L401k-BIC 4032x4032", 4032, 4032, false, false, false, "Basler", "L401k-BIC", "4032x4032", "", ""},
};

// Camera identity strings compared with null shown as "<null>"; the table's
// "" stands for null.
std::string str(const char* s) { return s ? s : "<null>"; }
std::string expect(const char* s) { return *s ? s : "<null>"; }

}  // namespace

TEST(Catalogue, EveryAccessorGivesItsEntry) {
  ASSERT_EQ(std::size(kCatalogue), 50u);
  for (const Expected& e : kCatalogue) {
    SCOPED_TRACE(e.name);
    const qcStdVideoFormat& f = e.accessor();
    EXPECT_STREQ(f.name(), e.name);
    EXPECT_EQ(f.width(), e.width);
    EXPECT_EQ(f.height(), e.height);
    EXPECT_EQ(f.depth(), 8);
    const qc_VideoFormat& in = f.internal(false);
    EXPECT_EQ(in.interlaced(), e.interlaced);
    EXPECT_EQ(in.halfRes(), e.halfRes);
    EXPECT_EQ(in.isValidForBatch(), e.batch);
    EXPECT_TRUE(in.addToFullList());
    EXPECT_EQ(in.pelType(), qe_pelType_unspecified);
    EXPECT_EQ(str(f.cameraManufacturer()), expect(e.manufacturer));
    EXPECT_EQ(str(f.cameraModel()), expect(e.model));
    EXPECT_EQ(str(f.videoFormatResolution()), expect(e.resolution));
    EXPECT_EQ(str(f.videoFormatDriveType()), expect(e.driveType));
    EXPECT_EQ(str(f.videoFormatOptions()), expect(e.options));
    EXPECT_FALSE(f.formatFromCCF());
    EXPECT_EQ(f.imageFormat(), qeImageFormat_Grey8);
    EXPECT_FALSE(f.isColor());
    EXPECT_EQ(&f.internal(true), &in);
    // The accessor returns the listed format of its name, the same each time.
    EXPECT_EQ(&f, &qcStdVideoFormat::getFormat(e.name));
    EXPECT_EQ(&f, &e.accessor());
  }
}

TEST(Catalogue, NullFormat) {
  const qcStdVideoFormat& f = qfNullFormat();
  EXPECT_STREQ(f.name(), "Quorin NullFormat");
  EXPECT_EQ(f.width(), 1);
  EXPECT_EQ(f.height(), 1);
  EXPECT_EQ(f.depth(), 8);
  const qc_VideoFormat& in = f.internal(false);
  EXPECT_FALSE(in.interlaced());
  EXPECT_FALSE(in.halfRes());
  EXPECT_TRUE(in.addToFullList());
  EXPECT_TRUE(in.isValidForBatch());
  EXPECT_EQ(static_cast<long>(in.pelType()), 0x1001);
  EXPECT_EQ(f.imageFormat(), qeImageFormat_Unspecified);
  EXPECT_STREQ(f.cameraManufacturer(), "Quorin");
  EXPECT_STREQ(f.cameraModel(), "NullFormat");
  EXPECT_EQ(f.videoFormatResolution(), nullptr);
  EXPECT_EQ(&f, &qcStdVideoFormat::getFormat("Quorin NullFormat"));
}

TEST(Catalogue, AllBuiltInFormatsAreListedInStrcmpOrder) {
  std::set<std::string> builtIn{"Quorin NullFormat"};
  for (const Expected& e : kCatalogue) builtIn.insert(e.name);
  ASSERT_EQ(builtIn.size(), 51u);

  const auto& full = qcVideoFormat::fullList();
  const auto& stdList = qcStdVideoFormat::fullList();
  std::set<std::string> listed;
  for (const qcVideoFormat* f : full) listed.insert(f->name());
  for (const std::string& n : builtIn) EXPECT_TRUE(listed.count(n)) << n;
  ASSERT_EQ(stdList.size(), full.size());
  for (std::size_t i = 0; i < full.size(); ++i) {
    EXPECT_EQ(static_cast<const qcVideoFormat*>(stdList[i]), full[i]);
    if (i) {
      EXPECT_LT(std::strcmp(full[i - 1]->name(), full[i]->name()), 0) << full[i]->name();
    }
  }

  auto pos = [&](const char* name) {
    for (std::size_t i = 0; i < full.size(); ++i)
      if (!std::strcmp(full[i]->name(), name)) return i;
    return full.size();
  };
  EXPECT_LT(pos("PULNiX TM-6CN 760x574"), pos("Pulnix TM7EX 320x240"));
  EXPECT_LT(pos("Reserve Camera Format #0"), pos("Sentech STC-R640CC-FA 640x480"));
  EXPECT_LT(pos("Basler L103 2048x2048"), pos("Basler L203 4096x4096"));
}

TEST(Catalogue, ListsHoldExactlyTheBuiltInFormatsAtStart) {
  // Run alone so that no test format is in the lists.
  EXPECT_EXIT(
      {
        const auto& full = qcVideoFormat::fullList();
        std::exit(full.size() == 51 && qcStdVideoFormat::fullList().size() == 51 ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

// A configuration-file format of an entry's name stands for the entry; when
// it goes, the name is gone too: the built-in format is made once per process.
TEST(Catalogue, FormatOfTheSameNameStandsForTheEntry) {
  EXPECT_EXIT(
      {
        const qcStdVideoFormat* builtIn = &qfXc75_640x480();
        int bad = 0;
        {
          qc_VidFmtCameraInfo info("Sony XC75 640x480", true);
          info.formatIsFromCCF(true);
          TestFormat ccf("Sony XC75 640x480", 648, 488);
          bad += &qfXc75_640x480() != &ccf.fmt();
          bad += qfXc75_640x480().width() != 648;
          bad += !qfXc75_640x480().formatFromCCF();
          long n = 0;
          for (const qcVideoFormat* f : qcVideoFormat::fullList()) n += !std::strcmp(f->name(), "Sony XC75 640x480");
          bad += n != 1;
          bad += qcVideoFormat::fullList().size() != 51;
        }
        try {
          qfXc75_640x480();
          bad += 1;
        } catch (const qcVideoFormat::NotFound&) {
        }
        bad += qf_getFormat("Sony XC75 640x480") != nullptr;
        bad += builtIn->width() != 640;  // still alive, no longer listed
        std::exit(bad);
      },
      ::testing::ExitedWithCode(0), "");
}
