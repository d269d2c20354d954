// The dictionary of camera configuration parameters: for each parameter
// index, the category and name under which it is written in a CCF and the
// factory of its entry class.  Built once, on first use; never changes.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <iosfwd>
#include <string>
#include <vector>

#include <qrn/acq/ccf/camcfgstore.h>
#include <qrn/acq/ccf/ccfreader.h>

// The parameter table: index, category, name, entry class (its factory is
// qf_New_<class>).  Indices 0 to 77 "format", 78 to 87 "1394dcam", 88
// "camlink", 89 and 90 "vs", 91 and 92 "ccf".
#define QRN_CCF_PARAMETERS(X)                                                                      \
  X(0, "format", "name", qc_CamConfigString)                                                       \
  X(1, "format", "width", qc_CamConfigInt32)                                                       \
  X(2, "format", "height", qc_CamConfigInt32)                                                      \
  X(3, "format", "video_interface", qc_CamConfigVidInterface)                                      \
  X(4, "format", "input_width", qc_CamConfigInt32)                                                 \
  X(5, "format", "video_encoding", qc_CamConfigVidEncode)                                          \
  X(6, "format", "bits_per_pel", qc_CamConfigInt32)                                                \
  X(7, "format", "peltype", qc_CamConfigPelType)                                                   \
  X(8, "format", "taps", qc_CamConfigInt32)                                                        \
  X(9, "format", "tap_interleave", qc_CamConfigInterleave)                                         \
  X(10, "format", "color_plane_order", qc_CamConfigColorPlaneOrder)                                \
  X(11, "format", "hd_direction", qc_CamConfigDirection)                                           \
  X(12, "format", "hd_interface", qc_CamConfigInterface)                                           \
  X(13, "format", "hd_signal", qc_CamConfigHdSignal)                                               \
  X(14, "format", "hd_polarity", qc_CamConfigPolarity)                                             \
  X(15, "format", "horiz_reference", qc_CamConfigSigReference)                                     \
  X(16, "format", "horiz_reference_type", qc_CamConfigRefType)                                     \
  X(17, "format", "hlock_position", qc_CamConfigInt32)                                             \
  X(18, "format", "vd_direction", qc_CamConfigDirection)                                           \
  X(19, "format", "vd_interface", qc_CamConfigInterface)                                           \
  X(20, "format", "vd_signal", qc_CamConfigVdSignal)                                               \
  X(21, "format", "vd_polarity", qc_CamConfigPolarity)                                             \
  X(22, "format", "vertical_reference", qc_CamConfigSigReference)                                  \
  X(23, "format", "vertical_reference_type", qc_CamConfigRefType)                                  \
  X(24, "format", "vlock_position", qc_CamConfigDouble)                                            \
  X(25, "format", "ctrl1_direction", qc_CamConfigDirection)                                        \
  X(26, "format", "ctrl1_interface", qc_CamConfigInterface)                                        \
  X(27, "format", "ctrl1_polarity", qc_CamConfigPolarity)                                          \
  X(28, "format", "ctrl2_direction", qc_CamConfigDirection)                                        \
  X(29, "format", "ctrl2_interface", qc_CamConfigInterface)                                        \
  X(30, "format", "ctrl2_polarity", qc_CamConfigPolarity)                                          \
  X(31, "format", "pclk_direction", qc_CamConfigDirection)                                         \
  X(32, "format", "pclk_source", qc_CamConfigPclkSource)                                           \
  X(33, "format", "pclk_interface", qc_CamConfigInterface)                                         \
  X(34, "format", "pclk_frequency", qc_CamConfigDouble)                                            \
  X(35, "format", "htotal", qc_CamConfigInt32)                                                     \
  X(36, "format", "vtotal", qc_CamConfigInt32)                                                     \
  X(37, "format", "number_of_fields", qc_CamConfigInt32)                                           \
  X(38, "format", "aoi_per_field", qc_CamConfigInt32)                                              \
  X(39, "format", "x_subsampling", qc_CamConfigInt32)                                              \
  X(40, "format", "interlace", qc_CamConfigBool)                                                   \
  X(41, "format", "hdrive", qs_CamConfigHTiming)                                                   \
  X(42, "format", "hsync", qs_CamConfigHTiming)                                                    \
  X(43, "format", "heq", qs_CamConfigHTiming)                                                      \
  X(44, "format", "hvsync", qs_CamConfigHTiming)                                                   \
  X(45, "format", "hsample", qs_CamConfigHTiming)                                                  \
  X(46, "format", "hctrl1", qs_CamConfigHTiming)                                                   \
  X(47, "format", "hctrl2", qs_CamConfigHTiming)                                                   \
  X(48, "format", "vdrive", qs_CamConfigVTiming)                                                   \
  X(49, "format", "vsync", qs_CamConfigVTiming)                                                    \
  X(50, "format", "vsample", qs_CamConfigVTiming)                                                  \
  X(51, "format", "vaoi", qs_CamConfigVTiming)                                                     \
  X(52, "format", "vstrobe", qs_CamConfigVTiming)                                                  \
  X(53, "format", "vctrl1", qs_CamConfigVTiming)                                                   \
  X(54, "format", "vctrl2", qs_CamConfigVTiming)                                                   \
  X(55, "format", "active_start", qc_CamConfigInt32)                                               \
  X(56, "format", "rapid_reset", qc_CamConfigBool)                                                 \
  X(57, "format", "rapid_reset_min_position", qc_CamConfigInt32)                                   \
  X(58, "format", "shutter_mode", qc_CamConfigShutterMode)                                         \
  X(59, "format", "shutter_min_exposure", qc_CamConfigDouble)                                      \
  X(60, "format", "shutter_max_exposure", qc_CamConfigDouble)                                      \
  X(61, "format", "shutter_adjustment_granularity", qc_CamConfigShutterGranularity)                \
  X(62, "format", "shutter_line", qc_CamConfigShutterLine)                                         \
  X(63, "format", "shutter_per_field", qc_CamConfigBool)                                           \
  X(64, "format", "cti_end_field0", qc_CamConfigDouble)                                            \
  X(65, "format", "cti_end_field1", qc_CamConfigDouble)                                            \
  X(66, "format", "cti_width_min", qc_CamConfigDouble)                                             \
  X(67, "format", "settling_time", qc_CamConfigDouble)                                             \
  X(68, "format", "strobe_mode", qc_CamConfigStrobeMode)                                           \
  X(69, "format", "init_acq_count", qc_CamConfigInt32)                                             \
  X(70, "format", "origin_in_field0", qc_CamConfigBool)                                            \
  X(71, "format", "camera_manufacturer", qc_CamConfigString)                                       \
  X(72, "format", "camera_model", qc_CamConfigString)                                              \
  X(73, "format", "format_resolution", qc_CamConfigString)                                         \
  X(74, "format", "format_drive_type", qc_CamConfigString)                                         \
  X(75, "format", "format_options", qc_CamConfigString)                                            \
  X(76, "format", "format_alias", qc_CamConfigString)                                              \
  X(77, "format", "im_shutter_capable", qc_CamConfigBool)                                          \
  X(78, "1394dcam", "format", qc_CamConfigInt32)                                                   \
  X(79, "1394dcam", "mode", qc_CamConfigInt32)                                                     \
  X(80, "1394dcam", "topy", qc_CamConfigInt32)                                                     \
  X(81, "1394dcam", "fps", qc_CamConfigInt32)                                                      \
  X(82, "1394dcam", "triggermode", qc_CamConfigInt32)                                              \
  X(83, "1394dcam", "colorcoding", qc_CamConfigInt32)                                              \
  X(84, "1394dcam", "bytesperpacket", qc_CamConfigInt32)                                           \
  X(85, "1394dcam", "shutter_rel_adj_value", qc_CamConfigDouble)                                   \
  X(86, "1394dcam", "match_exact_manufacturer", qc_CamConfigInt32)                                 \
  X(87, "1394dcam", "match_exact_model", qc_CamConfigInt32)                                        \
  X(88, "camlink", "vfalias", qc_CamConfigString)                                                  \
  X(89, "vs", "version", qc_CamConfigInt32)                                                        \
  X(90, "vs", "revision", qc_CamConfigInt32)                                                       \
  X(91, "ccf", "version", qc_CamConfigDouble)                                                      \
  X(92, "ccf", "build_number", qc_CamConfigInt32)

// The table of known camera configuration parameters: categories, names and value kinds.
class qc_CCFParameterMap {
public:
  // The number of parameters; their indices are 0 to kNumParameters - 1.
  static constexpr long kNumParameters = 93;

  // One parameter of the table.
  struct qs_CCFParameterInfo {
    // The parameter index (its position in table()).
    long index;
    // The CCF section it is written in, e.g. "format" (static text).
    const char* category;
    // Its name in that section, e.g. "width".
    std::string name;
    // Makes a new entry of the parameter's class.
    qcPtrHandle<qc_camCfgEntry> (*factory)();
  };

  // byIndex with an index of 93 or more.
  QC_EXCEPTION(BadIndex, qcException, 0x10005A20);
  // A category that the table does not know.
  class UnknownCategory : public qcExceptionT<UnknownCategory, qcExceptionWithString, 0x10005A21>,
                          public qc_ccfException {
  public:
    // Without a text (for unarchiving), or with the text "Unknown Category: "
    // followed by the category c.
    UnknownCategory() = default;
    explicit UnknownCategory(const std::string& c) : qcExceptionT("Unknown Category: " + c) {}
  };
  // A parameter name that the table does not know in its category.
  class UnknownParameter : public qcExceptionT<UnknownParameter, qcExceptionWithString, 0x10005A22>,
                           public qc_ccfException {
  public:
    // Without a text (for unarchiving), or with the text "Unknown Parameter: "
    // followed by the name n.
    UnknownParameter() = default;
    explicit UnknownParameter(const std::string& n) : qcExceptionT("Unknown Parameter: " + n) {}
  };

  // The 93 parameters, at the position of their index.
  static const std::vector<qs_CCFParameterInfo>& table();
  // The parameter of a (category, name) pair (both exact), or null.
  static const qs_CCFParameterInfo* find(const std::string& category, const std::string& name);
  // The parameter of an index; throws BadIndex for 93 or more (a negative
  // index fires an assertion and gives index 0).
  static const qs_CCFParameterInfo& byIndex(long index);
  // Categories and names in sorted order with their indices.
  static void dump(std::ostream& os);
};

QRN_API_END
