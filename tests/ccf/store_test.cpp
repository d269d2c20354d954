// The configuration store, its entry classes, its archive, and the parameter
// map checked row by row against the table of CCF parameters.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>
#include <typeinfo>

#include <qrn/acq/ccf/camcfgstore.h>
#include <qrn/acq/ccf/ccfparammap.h>
#include <qrn/foundation/misc.h>

TEST(CcfParameterMap, EveryRowOfTheTable) {
  struct Row {
    long index;
    const char* category;
    const char* name;
    const std::type_info* cls;
  };
  const Row rows[] = {
      {0, "format", "name", &typeid(qc_CamConfigString)},
      {1, "format", "width", &typeid(qc_CamConfigInt32)},
      {2, "format", "height", &typeid(qc_CamConfigInt32)},
      {3, "format", "video_interface", &typeid(qc_CamConfigVidInterface)},
      {4, "format", "input_width", &typeid(qc_CamConfigInt32)},
      {5, "format", "video_encoding", &typeid(qc_CamConfigVidEncode)},
      {6, "format", "bits_per_pel", &typeid(qc_CamConfigInt32)},
      {7, "format", "peltype", &typeid(qc_CamConfigPelType)},
      {8, "format", "taps", &typeid(qc_CamConfigInt32)},
      {9, "format", "tap_interleave", &typeid(qc_CamConfigInterleave)},
      {10, "format", "color_plane_order", &typeid(qc_CamConfigColorPlaneOrder)},
      {11, "format", "hd_direction", &typeid(qc_CamConfigDirection)},
      {12, "format", "hd_interface", &typeid(qc_CamConfigInterface)},
      {13, "format", "hd_signal", &typeid(qc_CamConfigHdSignal)},
      {14, "format", "hd_polarity", &typeid(qc_CamConfigPolarity)},
      {15, "format", "horiz_reference", &typeid(qc_CamConfigSigReference)},
      {16, "format", "horiz_reference_type", &typeid(qc_CamConfigRefType)},
      {17, "format", "hlock_position", &typeid(qc_CamConfigInt32)},
      {18, "format", "vd_direction", &typeid(qc_CamConfigDirection)},
      {19, "format", "vd_interface", &typeid(qc_CamConfigInterface)},
      {20, "format", "vd_signal", &typeid(qc_CamConfigVdSignal)},
      {21, "format", "vd_polarity", &typeid(qc_CamConfigPolarity)},
      {22, "format", "vertical_reference", &typeid(qc_CamConfigSigReference)},
      {23, "format", "vertical_reference_type", &typeid(qc_CamConfigRefType)},
      {24, "format", "vlock_position", &typeid(qc_CamConfigDouble)},
      {25, "format", "ctrl1_direction", &typeid(qc_CamConfigDirection)},
      {26, "format", "ctrl1_interface", &typeid(qc_CamConfigInterface)},
      {27, "format", "ctrl1_polarity", &typeid(qc_CamConfigPolarity)},
      {28, "format", "ctrl2_direction", &typeid(qc_CamConfigDirection)},
      {29, "format", "ctrl2_interface", &typeid(qc_CamConfigInterface)},
      {30, "format", "ctrl2_polarity", &typeid(qc_CamConfigPolarity)},
      {31, "format", "pclk_direction", &typeid(qc_CamConfigDirection)},
      {32, "format", "pclk_source", &typeid(qc_CamConfigPclkSource)},
      {33, "format", "pclk_interface", &typeid(qc_CamConfigInterface)},
      {34, "format", "pclk_frequency", &typeid(qc_CamConfigDouble)},
      {35, "format", "htotal", &typeid(qc_CamConfigInt32)},
      {36, "format", "vtotal", &typeid(qc_CamConfigInt32)},
      {37, "format", "number_of_fields", &typeid(qc_CamConfigInt32)},
      {38, "format", "aoi_per_field", &typeid(qc_CamConfigInt32)},
      {39, "format", "x_subsampling", &typeid(qc_CamConfigInt32)},
      {40, "format", "interlace", &typeid(qc_CamConfigBool)},
      {41, "format", "hdrive", &typeid(qc_CamConfigHTiming)},
      {42, "format", "hsync", &typeid(qc_CamConfigHTiming)},
      {43, "format", "heq", &typeid(qc_CamConfigHTiming)},
      {44, "format", "hvsync", &typeid(qc_CamConfigHTiming)},
      {45, "format", "hsample", &typeid(qc_CamConfigHTiming)},
      {46, "format", "hctrl1", &typeid(qc_CamConfigHTiming)},
      {47, "format", "hctrl2", &typeid(qc_CamConfigHTiming)},
      {48, "format", "vdrive", &typeid(qc_CamConfigVTiming)},
      {49, "format", "vsync", &typeid(qc_CamConfigVTiming)},
      {50, "format", "vsample", &typeid(qc_CamConfigVTiming)},
      {51, "format", "vaoi", &typeid(qc_CamConfigVTiming)},
      {52, "format", "vstrobe", &typeid(qc_CamConfigVTiming)},
      {53, "format", "vctrl1", &typeid(qc_CamConfigVTiming)},
      {54, "format", "vctrl2", &typeid(qc_CamConfigVTiming)},
      {55, "format", "active_start", &typeid(qc_CamConfigInt32)},
      {56, "format", "rapid_reset", &typeid(qc_CamConfigBool)},
      {57, "format", "rapid_reset_min_position", &typeid(qc_CamConfigInt32)},
      {58, "format", "shutter_mode", &typeid(qc_CamConfigShutterMode)},
      {59, "format", "shutter_min_exposure", &typeid(qc_CamConfigDouble)},
      {60, "format", "shutter_max_exposure", &typeid(qc_CamConfigDouble)},
      {61, "format", "shutter_adjustment_granularity", &typeid(qc_CamConfigShutterGranularity)},
      {62, "format", "shutter_line", &typeid(qc_CamConfigShutterLine)},
      {63, "format", "shutter_per_field", &typeid(qc_CamConfigBool)},
      {64, "format", "cti_end_field0", &typeid(qc_CamConfigDouble)},
      {65, "format", "cti_end_field1", &typeid(qc_CamConfigDouble)},
      {66, "format", "cti_width_min", &typeid(qc_CamConfigDouble)},
      {67, "format", "settling_time", &typeid(qc_CamConfigDouble)},
      {68, "format", "strobe_mode", &typeid(qc_CamConfigStrobeMode)},
      {69, "format", "init_acq_count", &typeid(qc_CamConfigInt32)},
      {70, "format", "origin_in_field0", &typeid(qc_CamConfigBool)},
      {71, "format", "camera_manufacturer", &typeid(qc_CamConfigString)},
      {72, "format", "camera_model", &typeid(qc_CamConfigString)},
      {73, "format", "format_resolution", &typeid(qc_CamConfigString)},
      {74, "format", "format_drive_type", &typeid(qc_CamConfigString)},
      {75, "format", "format_options", &typeid(qc_CamConfigString)},
      {76, "format", "format_alias", &typeid(qc_CamConfigString)},
      {77, "format", "im_shutter_capable", &typeid(qc_CamConfigBool)},
      {78, "1394dcam", "format", &typeid(qc_CamConfigInt32)},
      {79, "1394dcam", "mode", &typeid(qc_CamConfigInt32)},
      {80, "1394dcam", "topy", &typeid(qc_CamConfigInt32)},
      {81, "1394dcam", "fps", &typeid(qc_CamConfigInt32)},
      {82, "1394dcam", "triggermode", &typeid(qc_CamConfigInt32)},
      {83, "1394dcam", "colorcoding", &typeid(qc_CamConfigInt32)},
      {84, "1394dcam", "bytesperpacket", &typeid(qc_CamConfigInt32)},
      {85, "1394dcam", "shutter_rel_adj_value", &typeid(qc_CamConfigDouble)},
      {86, "1394dcam", "match_exact_manufacturer", &typeid(qc_CamConfigInt32)},
      {87, "1394dcam", "match_exact_model", &typeid(qc_CamConfigInt32)},
      {88, "camlink", "vfalias", &typeid(qc_CamConfigString)},
      {89, "vs", "version", &typeid(qc_CamConfigInt32)},
      {90, "vs", "revision", &typeid(qc_CamConfigInt32)},
      {91, "ccf", "version", &typeid(qc_CamConfigDouble)},
      {92, "ccf", "build_number", &typeid(qc_CamConfigInt32)},
  };
  ASSERT_EQ(std::size(rows), 93u);
  ASSERT_EQ(qc_CCFParameterMap::table().size(), 93u);
  for (const Row& r : rows) {
    const auto& byIndex = qc_CCFParameterMap::byIndex(r.index);
    EXPECT_EQ(byIndex.index, r.index);
    EXPECT_STREQ(byIndex.category, r.category) << r.index;
    EXPECT_EQ(byIndex.name, r.name) << r.index;
    const qcPtrHandle<qc_camCfgEntry> e = byIndex.factory();
    ASSERT_TRUE(e) << r.index;
    EXPECT_EQ(typeid(*e), *r.cls) << r.index << " " << r.name;
    EXPECT_EQ(qc_CCFParameterMap::find(r.category, r.name), &byIndex) << r.index;
  }
  EXPECT_EQ(qc_CCFParameterMap::find("format", "Hsync"), nullptr);
  EXPECT_EQ(qc_CCFParameterMap::find("Format", "hsync"), nullptr);
  EXPECT_EQ(qc_CCFParameterMap::find("nosuch", "hsync"), nullptr);
  EXPECT_THROW(qc_CCFParameterMap::byIndex(93), qc_CCFParameterMap::BadIndex);
  EXPECT_EQ(qc_CCFParameterMap::BadIndex().errorNumber(), 0x10005A20u);
  EXPECT_EQ(qc_CCFParameterMap::UnknownCategory("x").messageString(), "Unknown Category: x");
  EXPECT_EQ(qc_CCFParameterMap::UnknownParameter("y").errorNumber(), 0x10005A22u);
}

TEST(CcfParameterMap, Dump) {
  std::ostringstream os;
  qc_CCFParameterMap::dump(os);
  const std::string d = os.str();
  EXPECT_EQ(d.rfind("+-1394dcam\n|---bytesperpacket", 0), 0u) << d.substr(0, 80);
  // The index starts at column 35, after at least one blank.
  EXPECT_NE(d.find("\n|---build_number                   92\n"), std::string::npos);
  EXPECT_NE(d.find("\n|---shutter_adjustment_granularity 61\n"), std::string::npos);
  EXPECT_EQ(d.substr(d.rfind("+-")), "+-vs\n|---revision                       90\n|---version                        89\n");
}

TEST(CcfStore, SparseSlotsAndTypesChosenByValue) {
  qc_camCfgStore s;
  EXPECT_EQ(s.numEntries(), 0);
  bool ok = true;
  EXPECT_FALSE(s.getValid(ok));
  std::vector<qc_ccfErrors::Errors> codes;
  EXPECT_FALSE(s.getAllErrors(codes));

  EXPECT_TRUE(s.setParam(40, true));
  EXPECT_EQ(s.numEntries(), 41);
  EXPECT_FALSE(s.isPresent(39));
  s.deleteEntry(40);
  EXPECT_EQ(s.numEntries(), 41);
  EXPECT_FALSE(s.isPresent(40));

  // Index 3 holds an enumeration in files, but the value's type decides.
  EXPECT_TRUE(s.setParam(3, 7L));
  EXPECT_FALSE(s.setParam(3, qc_ccfEnums::vidInterface_cameralink));
  EXPECT_FALSE(s.setParam(3, 2.0));
  long l = 0;
  EXPECT_TRUE(s.getParam(3, l));
  EXPECT_EQ(l, 7);
  short sh = 0;
  signed char sc = 0;
  EXPECT_TRUE(s.getParam(3, sh));
  EXPECT_TRUE(s.getParam(3, sc));
  EXPECT_EQ(sh, 7);
  EXPECT_EQ(sc, 7);
  double d = 5;
  EXPECT_FALSE(s.getParam(3, d));
  EXPECT_EQ(d, 5);
  EXPECT_TRUE(s.setParam(5, 1.5f));
  EXPECT_TRUE(s.getParam(5, d));
  EXPECT_EQ(d, 1.5);
  EXPECT_TRUE(s.setParam(0, "text"));
  std::string str;
  EXPECT_TRUE(s.getParam(0, str));
  EXPECT_EQ(str, "text");
  EXPECT_FALSE(s.getParam(50, l));

  // New entries hold the class's initial value until set.
  long initial = 0;
  EXPECT_TRUE(qf_New_qc_CamConfigInt32()->getValue(initial));
  EXPECT_EQ(initial, -1);
  qc_ccfEnums::qe_direction dir{};
  EXPECT_TRUE(qf_New_qc_CamConfigDirection()->getValue(dir));
  EXPECT_EQ(dir, qc_ccfEnums::direction_unset);
  qe_pelType pel{};
  EXPECT_TRUE(qf_New_qc_CamConfigPelType()->getValue(pel));
  EXPECT_EQ(pel, qe_pelType_unspecified);
}

TEST(CcfStore, TimingLists) {
  qc_camCfgStore s;
  qs_h_timingSpec h;
  EXPECT_FALSE(s.putParam(42, 1, qs_h_timingSpec{true, 1}));
  EXPECT_FALSE(s.isPresent(42));
  EXPECT_TRUE(s.addParam(42, qs_h_timingSpec{false, 0}));
  EXPECT_TRUE(s.putParam(42, 1, qs_h_timingSpec{true, 10}));    // count: appends
  EXPECT_FALSE(s.putParam(42, 3, qs_h_timingSpec{true, 10}));   // count + 1
  EXPECT_TRUE(s.putParam(42, 0, qs_h_timingSpec{true, 5}));     // replaces
  EXPECT_EQ(s.getNumParams(42), 2);
  EXPECT_TRUE(s.getParam(42, 0, h));
  EXPECT_EQ(h, (qs_h_timingSpec{true, 5}));
  EXPECT_FALSE(s.addParam(42, qs_v_timingSpec{}));
  EXPECT_FALSE(s.eraseParam<qs_h_timingSpec>(42, 2));
  EXPECT_TRUE(s.eraseParam<qs_h_timingSpec>(42, 0));
  EXPECT_EQ(s.getNumParams(42), 1);
  EXPECT_EQ(s.getNumParams(43), 0);

  EXPECT_EQ((qs_v_timingSpec{true, 1.0}), (qs_v_timingSpec{true, 1.0 + 1e-10}));
  EXPECT_NE((qs_v_timingSpec{true, 1.0}), (qs_v_timingSpec{true, 1.0 + 1e-8}));
  EXPECT_NE((qs_v_timingSpec{true, 1.0}), (qs_v_timingSpec{false, 1.0}));
}

TEST(CcfStore, ChecksAndValidity) {
  qc_camCfgStore s;
  s.setParam(1, 10L);
  s.setParam(2, 20L);
  EXPECT_TRUE(s.setValid(1, false));
  EXPECT_TRUE(s.setValid(1, true));
  qc_camCfgEntry::qe_Validity v{};
  EXPECT_TRUE(s.getValid(1, v));
  EXPECT_EQ(v, qc_camCfgEntry::invalid);
  EXPECT_FALSE(s.setValid(9, true));
  EXPECT_TRUE(s.addError(2, qc_ccfErrors::outOfRange));
  EXPECT_TRUE(s.addError(1, qc_ccfErrors::missing));
  std::vector<qc_ccfErrors::Errors> codes{qc_ccfErrors::unsupported};
  EXPECT_TRUE(s.getAllErrors(codes));
  EXPECT_EQ(codes, (std::vector<qc_ccfErrors::Errors>{qc_ccfErrors::missing, qc_ccfErrors::outOfRange}));
  bool ok = true;
  EXPECT_TRUE(s.getValid(ok));
  EXPECT_FALSE(ok);
  s.resetAllCheckErrors();
  EXPECT_TRUE(s.getValid(1, v));
  EXPECT_EQ(v, qc_camCfgEntry::notChecked);
  EXPECT_TRUE(s.getValid(ok));
  EXPECT_TRUE(ok);
  s.setInvalid();
  EXPECT_TRUE(s.getValid(ok));
  EXPECT_FALSE(ok);
}

TEST(CcfStore, EqualityAndSharedCopies) {
  qc_camCfgStore a, b;
  a.setParam(1, 10L);
  b.setParam(1, 10L);
  a.setComment("one");
  b.setComment(1, "other");
  EXPECT_TRUE(a == b);
  b.setParam(40, true);
  b.deleteEntry(40);
  EXPECT_TRUE(a == b) << "an absent slot at the end does not count";
  b.setParam(2, 1L);
  EXPECT_TRUE(a != b);
  qc_camCfgStore c;
  c.setParam(1, 10.0);
  EXPECT_TRUE(c != a) << "same number, other class";

  qc_camCfgStore copy = a;
  EXPECT_TRUE(a.setParam(1, 11L));
  long l = 0;
  copy.getParam(1, l);
  EXPECT_EQ(l, 11) << "copies share their entries";
}

TEST(CcfStore, ArchiveRoundTripAndCorruptData) {
  qc_camCfgStore s;
  s.setParam(0, "Cam");
  s.setParam(3, qc_ccfEnums::vidInterface_cameralink);
  s.setParam(34, 40.5);
  s.setParam(40, false);
  s.addParam(42, qs_h_timingSpec{true, 58});
  s.addParam(49, qs_v_timingSpec{false, 2.5});
  s.setParam(92, 12L);

  std::stringstream ss;
  {
    qcArchive ar(ss, qcArchive::store);
    s.serialize(ar);
  }
  const std::string bytes = ss.str();
  qc_camCfgStore back;
  back.setParam(7, qe_pelType_mono);  // replaced by the load
  {
    std::stringstream in(bytes);
    qcArchive ar(in, qcArchive::load);
    back.serialize(ar);
  }
  EXPECT_TRUE(back == s);
  EXPECT_FALSE(back.isPresent(7));
  EXPECT_EQ(back.numEntries(), 93);

  // A truncated archive throws the archive's own exception.
  for (std::size_t cut : {bytes.size() - 1, bytes.size() / 2}) {
    std::stringstream in(bytes.substr(0, cut));
    qcArchive ar(in, qcArchive::load);
    qc_camCfgStore t;
    EXPECT_THROW(t.serialize(ar), qcArchive::BadData) << cut;
  }
}

// An entry object of a class the store does not know.
class ForeignEntry : public qc_camCfgEntry {
public:
  bool parseEx(qc_AcqStringHelper&, bool, long) override { return true; }
  void serialize(qcArchive&, bool) override {}
  bool isEqual(const qc_camCfgEntry&) const override { return false; }
};

TEST(CcfStore, ForeignEntryClassThrowsBadType) {
  qc_camCfgStore s;
  s.setEntry(1, qcPtrHandle<qc_camCfgEntry>(new ForeignEntry));
  long l = 0;
  EXPECT_THROW(s.getParam(1, l), qc_camCfgEntry::BadType);
  EXPECT_EQ(qc_camCfgEntry::BadType().errorNumber(), 0x10005A50u);
  unsigned long before = qf_assertCount();
  EXPECT_FALSE(s.isPresent(-1));
  EXPECT_GT(qf_assertCount(), before);
}
