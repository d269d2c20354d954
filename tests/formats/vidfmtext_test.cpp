// Extension records: live lists, name parsing, unset values, defaults and
// completeness checks.
#include <atomic>
#include <memory>

#include <gtest/gtest.h>

#include <qrn/foundation/misc.h>

#include "fmt_support.h"

// ---- live lists -------------------------------------------------------------------

TEST(ExtensionLists, GetFindsLiveRecordsByExactNameNewestFirst) {
  EXPECT_EQ(qc_VideoExtCIT::get("Test Ext A"), nullptr);
  auto older = std::make_unique<qc_VideoExtCIT>("Test Ext A");
  EXPECT_EQ(qc_VideoExtCIT::get("Test Ext A"), older.get());
  {
    qc_VideoExtCIT newer("Test Ext A");
    EXPECT_EQ(qc_VideoExtCIT::get("Test Ext A"), &newer);
    older.reset();
    EXPECT_EQ(qc_VideoExtCIT::get("Test Ext A"), &newer);
  }
  EXPECT_EQ(qc_VideoExtCIT::get("Test Ext A"), nullptr);
}

TEST(ExtensionLists, EachClassHasItsOwnList) {
  qc_VideoExtCamLink link("Test Ext B");
  qc_VidFmtCameraInfo info("Test Ext B", false);
  EXPECT_EQ(qc_VideoExtCamLink::get("Test Ext B"), &link);
  EXPECT_EQ(qc_VidFmtCameraInfo::get("Test Ext B"), &info);
  EXPECT_EQ(qc_VideoExtCIT::get("Test Ext B"), nullptr);
  EXPECT_EQ(qc_VideoExtCIToptional::get("Test Ext B"), nullptr);
  EXPECT_EQ(qc_VideoExtCamLink::get("test ext b"), nullptr);
  EXPECT_EQ(qc_VideoExtCamLink::get("Test Ext"), nullptr);
}

TEST(ExtensionLists, GetOverAGivenList) {
  qc_VideoExtCamLink a("Test Ext C1"), b("Test Ext C2");
  const qc_VidFormatExtension::List list{&a, &b};
  EXPECT_EQ(qc_VidFormatExtension::get("Test Ext C2", list), &b);
  EXPECT_EQ(qc_VidFormatExtension::get("Test Ext C3", list), nullptr);
  EXPECT_EQ(qc_VidFormatExtension::get("Test Ext C1", {}), nullptr);
}

// ---- camera information and name parsing ---------------------------------------------

TEST(CameraInfo, NameParsing) {
  struct Case {
    const char* name;
    const char* manufacturer;
    const char* model;
    const char* resolution;
    const char* drive;
    const char* options;
  } cases[] = {
      {"M N R (O)", "M", "N", "R", "", "O"},
      {"M N R D E", "M", "N", "R", "D", ""},
      {"M\tN;R  D", "M", "N", "R", "D", ""},
      {"Single", "", "", "", "", ""},
      {"Single(opt)", "", "", "", "", ""},            // no separator: nothing at all
      {"M N (opt, two) R", "M", "N", "", "", "opt, two"},  // words from "(" on are not parsed
      {"M N(x) R", "M", "N(x)", "", "", "x"},         // a word that starts before "(" counts
      {"M N R (open", "M", "N", "R", "", ""},         // no ")" after "(": no options
      {"M ) N (opt)", "M", ")", "N", "", "opt"},      // a ")" before "(" closes nothing
      {"M N (a) (b)", "M", "N", "", "", "a"},
      {"M ", "M", "", "", "", ""},
      {" M N", "", "M", "N", "", ""},                 // separator first: empty manufacturer
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    qc_VidFmtCameraInfo info(c.name, true);
    EXPECT_EQ(info.cameraManufacturer(), c.manufacturer);
    EXPECT_EQ(info.cameraModel(), c.model);
    EXPECT_EQ(info.videoFormatResolution(), c.resolution);
    EXPECT_EQ(info.videoFormatDriveType(), c.drive);
    EXPECT_EQ(info.videoFormatOptions(), c.options);
    EXPECT_TRUE(info.aliasVideoFormatName().empty());
    EXPECT_FALSE(info.formatIsFromCCF());
  }
}

TEST(CameraInfo, WithoutParsingEverythingIsEmptyAndAliasFlagFollowsTheName) {
  qc_VidFmtCameraInfo info("Maker Model 1x1", false);
  EXPECT_TRUE(info.cameraManufacturer().empty());
  EXPECT_TRUE(info.cameraModel().empty());
  EXPECT_FALSE(info.formatIsAlias());
  info.aliasVideoFormatName("Other");
  EXPECT_TRUE(info.formatIsAlias());
  info.aliasVideoFormatName("");
  EXPECT_FALSE(info.formatIsAlias());
}

// ---- timing record -----------------------------------------------------------------

namespace {
void setAllCit(qc_VideoExtCIT& c) {
  using E = qc_ccfEnums;
  Set::vidInterface(c, E::vidInterface_analog);
  Set::vidEncoding(c, E::vidEncode_mono);
  c.bitsPerPel(8);
  Set::pelType(c, qe_pelType_mono);
  c.numTaps(1);
  Set::horizRef(c, E::sigReference_none);
  Set::vertReference(c, E::sigReference_none);
  Set::pClkSource(c, E::pclkSource_oscillator);
  Set::pClkFreq(c, 14.318);
  Set::hActiveStart(c, 100);
  Set::hTotal(c, 910);
  Set::vTotal(c, 525);
  Set::numFields(c, 2);
  Set::xSubSampling(c, 1);
  Set::shutterMode(c, E::shutterMode_none);
  Set::strobeMode(c, E::strobeMode_none);
  Set::ctiMinWidth(c, 0.0);
  Set::ctiEndField0(c, 0.0);
}
}  // namespace

TEST(TimingRecord, StartsUnsetAndChecksEveryFieldButVersion) {
  qc_VideoExtCIT c("Test CIT 1");
  EXPECT_EQ(c.vidInterface(), 5);
  EXPECT_EQ(c.vidEncoding(), 7);
  EXPECT_EQ(c.bitsPerPel(), -1);
  EXPECT_EQ(c.pelType(), -1);
  EXPECT_EQ(c.horizRef(), 3);
  EXPECT_EQ(c.pClkSource(), 3);
  EXPECT_EQ(c.pClkFreq(), -1.0);
  EXPECT_EQ(c.shutterMode(), 5);
  EXPECT_EQ(c.strobeMode(), 4);
  EXPECT_EQ(c.ctiEndField0(), -1.0);
  EXPECT_EQ(c.ccfVersion(), 0.0);
  EXPECT_FALSE(c.integrityCheck());

  setAllCit(c);
  EXPECT_TRUE(c.integrityCheck());  // ccfVersion still 0
  Set::hTotal(c, -1);
  EXPECT_FALSE(c.integrityCheck());
  Set::hTotal(c, 910);
  Set::ctiEndField0(c, -1.0);  // the last field of the table counts too
  EXPECT_FALSE(c.integrityCheck());

  c.setUninitialized();
  EXPECT_EQ(c.numTaps(), -1);
  EXPECT_EQ(c.hTotal(), -1);
}

TEST(TimingRecord, TimeStampSyncAndPixelClock) {
  qc_VideoExtCIT c("Test CIT 2");
  EXPECT_FALSE(c.compareTimeStamp(0, 0));
  c.timeStamp(7, 9);
  EXPECT_FALSE(c.compareTimeStamp(7, 9));
  EXPECT_TRUE(c.compareTimeStamp(7, 8));
  EXPECT_TRUE(c.compareTimeStamp(6, 9));
  c.setUninitialized();
  EXPECT_FALSE(c.compareTimeStamp(0, 0));

  EXPECT_FALSE(c.syncIsSeparate());
  Set::vertReference(c, qc_ccfEnums::sigReference_sync_separator);
  EXPECT_TRUE(c.syncIsSeparate());
  Set::vertReference(c, qc_ccfEnums::sigReference_external);
  Set::horizRef(c, qc_ccfEnums::sigReference_sync_separator);
  EXPECT_TRUE(c.syncIsSeparate());

  Set::pClkSource(c, qc_ccfEnums::pclkSource_oscillator);
  EXPECT_EQ(c.pClkSourceConvert(), qc_SyncModel::pixelClockInternal);
  Set::pClkSource(c, qc_ccfEnums::pclkSource_pll);
  EXPECT_EQ(c.pClkSourceConvert(), qc_SyncModel::pixelClockPLL);
  Set::pClkSource(c, qc_ccfEnums::pclkSource_external);
  EXPECT_EQ(c.pClkSourceConvert(), qc_SyncModel::pixelClockExternal);
  std::atomic<int> asserts{0};
  auto prev = qf_setAssertObserver([&](const char*, long) { ++asserts; });
  Set::pClkSource(c, qc_ccfEnums::pclkSource_unset);
  EXPECT_EQ(c.pClkSourceConvert(), qc_SyncModel::pixelClockInternal);
  qf_setAssertObserver(prev);
  EXPECT_EQ(asserts, 1);
}

// ---- optional signals ------------------------------------------------------------------

TEST(OptionalSignals, DefaultsAndUnsetValues) {
  qc_VideoExtCIToptional o("Test Opt 1");
  EXPECT_EQ(o.vidInputWidth(), -1);
  EXPECT_EQ(o.tapInterleave(), 4);
  EXPECT_EQ(o.colorPlaneOrder(), 0);
  EXPECT_EQ(o.hdDir(), qc_ccfEnums::direction_out);
  EXPECT_EQ(o.hdInterface(), qc_ccfEnums::interface_ttl);
  EXPECT_EQ(o.hdSignal(), qc_ccfEnums::hdSignal_hd);
  EXPECT_EQ(o.vdDir(), qc_ccfEnums::direction_out);
  EXPECT_EQ(o.vdSignal(), qc_ccfEnums::vdSignal_vd);
  EXPECT_EQ(o.ctrl1Dir(), qc_ccfEnums::direction_unused);
  EXPECT_EQ(o.ctrl2Dir(), qc_ccfEnums::direction_unused);
  EXPECT_EQ(o.ctrl1Interface(), 3);
  EXPECT_EQ(o.pClkDir(), 3);
  EXPECT_EQ(o.aoiPerField(), 1);
  EXPECT_EQ(o.rapidResetMinPos(), -0x7fffffffL - 1);
  EXPECT_FALSE(o.rapidReset());
  EXPECT_FALSE(o.shutterPerField());
  EXPECT_EQ(o.initAcqCount(), 1);
  EXPECT_TRUE(o.originInField0());
  EXPECT_FALSE(o.imShutterCapable());

  // setUninitialized leaves the defaulted fields alone, setDefaults the others.
  Set::hdDir(o, qc_ccfEnums::direction_in);
  Set::hLockPos(o, 12);
  o.setUninitialized();
  EXPECT_EQ(o.hdDir(), qc_ccfEnums::direction_in);
  EXPECT_EQ(o.hLockPos(), -1);
  Set::hLockPos(o, 12);
  o.setDefaults();
  EXPECT_EQ(o.hdDir(), qc_ccfEnums::direction_out);
  EXPECT_EQ(o.hLockPos(), 12);
}

namespace {
// A complete set of signals for an analog, two-field camera with outputs.
void completeSignals(qc_VideoExtCIToptional& o) {
  using E = qc_ccfEnums;
  Set::hdPolarity(o, E::polarity_active_low);
  Set::vdPolarity(o, E::polarity_active_low);
  Set::pClkDir(o, E::direction_out);
  Set::ctiEndField1(o, 0.5);
}
}  // namespace

TEST(OptionalSignals, IntegrityCheck) {
  using E = qc_ccfEnums;
  qc_VideoExtCIT cit("Test Opt CIT");
  setAllCit(cit);  // analog, two fields, one tap, no shutter

  struct Case {
    const char* what;
    void (*change)(qc_VideoExtCIToptional&, qc_VideoExtCIT&);
    bool ok;
  } cases[] = {
      {"complete", [](qc_VideoExtCIToptional&, qc_VideoExtCIT&) {}, true},
      {"digital without input width",
       [](qc_VideoExtCIToptional&, qc_VideoExtCIT& c) { Set::vidInterface(c, E::vidInterface_digital_422); }, false},
      {"hd used without polarity", [](qc_VideoExtCIToptional& o, qc_VideoExtCIT&) { Set::hdPolarity(o, E::polarity_unset); }, false},
      {"hd unused without polarity",
       [](qc_VideoExtCIToptional& o, qc_VideoExtCIT&) {
         Set::hdDir(o, E::direction_unused);
         Set::hdPolarity(o, E::polarity_unset);
       },
       true},
      {"hd in without lock position",
       [](qc_VideoExtCIToptional& o, qc_VideoExtCIT&) {
         Set::hdDir(o, E::direction_in);
         Set::horRefType(o, E::refType_sync);
       },
       false},
      {"hd in complete",
       [](qc_VideoExtCIToptional& o, qc_VideoExtCIT&) {
         Set::hdDir(o, E::direction_in);
         Set::horRefType(o, E::refType_sync);
         Set::hLockPos(o, 3);
       },
       true},
      {"vd in without reference type",
       [](qc_VideoExtCIToptional& o, qc_VideoExtCIT&) {
         Set::vdDir(o, E::direction_in);
         Set::vLockPos(o, 1.5);
       },
       false},
      {"ctrl1 used without interface",
       [](qc_VideoExtCIToptional& o, qc_VideoExtCIT&) {
         Set::ctrl1Dir(o, E::direction_out);
         Set::ctrl1Polarity(o, E::polarity_active_high);
       },
       false},
      {"ctrl2 used complete",
       [](qc_VideoExtCIToptional& o, qc_VideoExtCIT&) {
         Set::ctrl2Dir(o, E::direction_in);
         Set::ctrl2Polarity(o, E::polarity_active_high);
         Set::ctrl2Interface(o, E::interface_rs422);
       },
       true},
      {"two taps without interleave", [](qc_VideoExtCIToptional&, qc_VideoExtCIT& c) { c.numTaps(2); }, false},
      {"pixel clock direction and interface unset",
       [](qc_VideoExtCIToptional& o, qc_VideoExtCIT&) { Set::pClkDir(o, E::direction_unset); }, false},
      {"shutter without limits",
       [](qc_VideoExtCIToptional&, qc_VideoExtCIT& c) { Set::shutterMode(c, E::shutterMode_pulse_position); }, false},
      {"shutter complete",
       [](qc_VideoExtCIToptional& o, qc_VideoExtCIT& c) {
         Set::shutterMode(c, E::shutterMode_pulse_position);
         Set::shtrMinExp(o, 1e-5);
         Set::shtrMaxExp(o, 1e-1);
         Set::shtrGranularity(o, E::shutterGranularity_line);
         Set::shutterLine(o, E::shutterLine_vd);
       },
       true},
      {"rapid reset without minimum position",
       [](qc_VideoExtCIToptional& o, qc_VideoExtCIT& c) {
         Set::shutterMode(c, E::shutterMode_pulse_position);
         Set::shtrMinExp(o, 1e-5);
         Set::shtrMaxExp(o, 1e-1);
         Set::shtrGranularity(o, E::shutterGranularity_line);
         Set::shutterLine(o, E::shutterLine_vd);
         Set::rapidReset(o, true);
       },
       false},
      {"two fields without cti end of field 1",
       [](qc_VideoExtCIToptional& o, qc_VideoExtCIT&) { Set::ctiEndField1(o, -1.0); }, false},
      {"single field without cti end of field 1",
       [](qc_VideoExtCIToptional& o, qc_VideoExtCIT& c) {
         Set::ctiEndField1(o, -1.0);
         Set::numFields(c, 1);
       },
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    qc_VideoExtCIToptional o("Test Opt 2");
    qc_VideoExtCIT t("Test Opt CIT 2");
    setAllCit(t);
    completeSignals(o);
    c.change(o, t);
    EXPECT_EQ(o.integrityCheck(t), c.ok);
  }
  qc_VideoExtCIToptional fresh("Test Opt 3");
  EXPECT_FALSE(fresh.integrityCheck(cit));  // polarities of the "out" hd and vd are unset
  qc_VideoExtCamLink link("Test Opt 3");
  EXPECT_TRUE(link.integrityCheck(cit));
  EXPECT_TRUE(link.vfAlias().empty());
}
