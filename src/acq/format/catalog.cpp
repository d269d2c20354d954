// The built-in catalogue of standard video formats and the null format.
#include <qrn/acq/format/catalog.h>

#include <array>
#include <memory>

#include <qrn/acq/ccf/vidfmtext.h>

namespace {

constexpr bool Y = true;
constexpr bool N = false;
constexpr const char* NONE = nullptr;

// The catalogue: accessor, name, width, height, interlaced, half resolution,
// valid for batch, name parsed into the camera information, then the camera
// information set explicitly (manufacturer, model, resolution, options; NONE
// leaves a field as parsing gave it).
#define QRN_CATALOGUE(X)                                                                                            \
  X(qfXc75_640x480, "Sony XC75 640x480", 640, 480, Y, N, Y, Y, NONE, "XC-75", NONE, NONE)                            \
  X(qfXcSt50_640x480, "Sony XC-ST50 640x480", 640, 480, Y, N, Y, Y, NONE, NONE, NONE, NONE)                          \
  X(qfTm7ex_640x480, "Pulnix TM7EX 640x480", 640, 480, Y, N, Y, Y, NONE, NONE, NONE, NONE)                           \
  X(qfStcR640CCFA_640x480, "Sentech STC-R640CC-FA 640x480", 640, 480, Y, N, Y, Y, NONE, NONE, NONE, NONE)            \
  X(qfReserveFormat0, "Reserve Camera Format #0", 640, 480, Y, N, Y, N, "Reserved", "Format #0", "640x480", NONE)    \
  X(qfIk542_640x480, "Toshiba IK-542 640x480", 640, 480, N, N, Y, Y, NONE, NONE, NONE, NONE)                         \
  X(qfTm9700_640x480, "PULNiX TM-9701 640x480", 640, 480, N, N, Y, Y, "Pulnix", NONE, NONE, NONE)                    \
  X(qfXc55_640x480, "Sony XC55BB 640x480", 640, 480, N, N, Y, Y, NONE, "XC-55", NONE,                                \
    "rapid-reset, shutter-sw-EDONPISHAII")                                                                           \
  X(qfReserveFormat2, "Reserve Camera Format #2", 640, 480, N, N, Y, N, "Reserved", "Format #2", "640x480", NONE)    \
  X(qfXc75_640x240, "Sony XC75 640x240", 640, 240, Y, N, Y, Y, NONE, "XC-75", NONE, NONE)                            \
  X(qfTm7ex_640x240, "Pulnix TM7EX 640x240", 640, 240, Y, N, Y, Y, NONE, NONE, NONE, NONE)                           \
  X(qfXcSt50_640x240, "Sony XC-ST50 640x240", 640, 240, Y, N, Y, Y, NONE, NONE, NONE, NONE)                          \
  X(qfTm6cn_760x574, "PULNiX TM-6CN 760x574", 760, 574, Y, N, N, Y, "Pulnix", NONE, NONE, NONE)                      \
  X(qfTm7ex_320x240, "Pulnix TM7EX 320x240", 320, 240, Y, Y, Y, Y, NONE, NONE, NONE, NONE)                           \
  X(qfXc75_320x240, "Sony XC75 320x240", 320, 240, Y, Y, Y, Y, NONE, "XC-75", NONE, NONE)                            \
  X(qfXc75ce_380x287, "Sony XC75CE 380x287", 380, 287, Y, Y, Y, Y, NONE, "XC-75CE", NONE, NONE)                      \
  X(qfXc75ce_760x574, "Sony XC75CE 760x574", 760, 574, Y, N, Y, Y, NONE, "XC-75CE", NONE, NONE)                      \
  X(qfXc75ce_760x287, "Sony XC75CE 760x287", 760, 287, Y, N, Y, Y, NONE, "XC-75CE", NONE, NONE)                      \
  X(qfXc75cerr_380x287, "Sony XC75CERR 380x287", 380, 287, Y, Y, Y, Y, NONE, "XC-75CE", NONE,                        \
    "rapid-reset, shutter-sw-SDONPISHA")                                                                             \
  X(qfXc75rr_320x240, "Sony XC75RR 320x240", 320, 240, Y, Y, Y, Y, NONE, "XC-75", NONE,                              \
    "rapid-reset, shutter-sw-SDONPISHA")                                                                             \
  X(qfXcSt50_320x240, "Sony XC-ST50 320x240", 320, 240, Y, Y, Y, Y, NONE, NONE, NONE, NONE)                          \
  X(qfXcSt50rr_320x240, "Sony XC-ST50RR 320x240", 320, 240, Y, Y, Y, Y, NONE, "XC-ST50", NONE,                       \
    "rapid-reset, shutter-sw-SDONPISHA")                                                                             \
  X(qfXcSt50ce_760x574, "Sony XC-ST50CE 760x574", 760, 574, Y, N, Y, Y, NONE, NONE, NONE, NONE)                      \
  X(qfXcSt50ce_760x287, "Sony XC-ST50CE 760x287", 760, 287, Y, N, Y, Y, NONE, NONE, NONE, NONE)                      \
  X(qfXcSt50ce_380x287, "Sony XC-ST50CE 380x287", 380, 287, Y, Y, Y, Y, NONE, NONE, NONE, NONE)                      \
  X(qfXcSt50cerr_380x287, "Sony XC-ST50CERR 380x287", 380, 287, Y, Y, Y, Y, NONE, "XC-ST50CE", NONE,                 \
    "rapid-reset, shutter-sw-SDONPISHA")                                                                             \
  X(qfLSFth_2048, "NED LS FTH 2048", 2048, 2048, N, N, N, N, "NED", "LS FTH", "2048x2048", NONE)                     \
  X(qfDLSScd_2048x2048, "Mitsubishi DLS SCD 2048x2048", 2048, 2048, N, N, N, N, "Mitsubishi", "DLS SCD",             \
    "2048x2048", NONE)                                                                                               \
  X(qfLSScd_2048, "Mitsubishi LS SCD 2048", 2048, 2048, N, N, N, N, "Mitsubishi", "LS SCD", "2048x2048", NONE)       \
  X(qfDLSSpy_2048x2048, "Dalsa DLS SP-11 2048x2048", 2048, 2048, N, N, N, N, "Dalsa", "DLS SP-11", "2048x2048",      \
    NONE)                                                                                                            \
  X(qfLSTest_2048, "Test LS 2048x2048", 2048, 2048, N, N, Y, N, "Quorin", "Test LS", "2048x2048", NONE)              \
  X(qfDLSBasL103_2048x2048, "Basler L103 2048x2048", 2048, 2048, N, N, N, Y, NONE, NONE, NONE, NONE)                 \
  X(qfIkm41ma_320x240, "Toshiba IK-M41MA 320x240", 320, 240, Y, Y, Y, Y, NONE, NONE, NONE, NONE)                     \
  X(qfReserveFormat1, "Reserve Camera Format #1", 640, 480, Y, N, Y, N, "Reserved", "Format #1", "640x480", NONE)    \
  X(qfKpf100_1280x1024, "Hitachi KP-F100 1280x1024", 1280, 1024, N, N, N, Y, NONE, NONE, NONE,                       \
    "rapid-reset, shutter-sw-twoTrigger")                                                                            \
  X(qfXc7500_640x480, "Sony XC7500 640x480", 640, 480, Y, N, Y, Y, NONE, "XC-7500", NONE, "rapid-reset")             \
  X(qfLSTest_4096, "Test LS 4096x4096", 4096, 4096, N, N, Y, N, "Quorin", "Test LS", "4096x4096", NONE)              \
  X(qfLSTest_8192, "Test LS 8192x7424", 8192, 7424, N, N, Y, N, "Quorin", "Test LS", "8192x7424", NONE)              \
  X(qfDLSScd_1024x4096, "Mitsubishi DLS SCD 1024x4096", 1024, 4096, N, N, N, N, "Mitsubishi", "DLS SCD",             \
    "1024x4096", NONE)                                                                                               \
  X(qfDLSSpy_1024x4096, "Dalsa DLS SP-11 1024x4096", 1024, 4096, N, N, N, N, "Dalsa", "DLS SP-11", "1024x4096",      \
    NONE)                                                                                                            \
  X(qfXc003_640x480, "Sony XC-003 640x480", 640, 480, Y, N, Y, Y, NONE, NONE, NONE, NONE)                            \
  X(qfXc003p_760x574, "Sony XC-003P 760x574", 760, 574, Y, N, Y, Y, NONE, NONE, NONE, NONE)                          \
  X(qfDxc390_640x480, "Sony DXC-390 640x480", 640, 480, Y, N, Y, Y, NONE, NONE, NONE, NONE)                          \
  X(qfRtm5500_640x480, "Quorin RTM5500 640x480", 640, 480, N, N, N, Y, NONE, NONE, NONE, NONE)                       \
  X(qfReserveFormat4, "Reserve Camera Format #4", 640, 480, Y, N, Y, N, "Reserved", "Format #4", "640x480", NONE)    \
  X(qfReserveFormat3, "Reserve Camera Format #3", 760, 574, Y, N, Y, N, "Reserved", "Format #3", "760x574", NONE)    \
  X(qfTmc7dsp_632x480, "Pulnix TMC-7DSP 632x480", 632, 480, Y, N, Y, Y, NONE, NONE, NONE, NONE)                      \
  X(qfCvm90_640x480, "Jai CV-M90 640x480", 640, 480, Y, N, Y, Y, NONE, NONE, NONE, NONE)                             \
  X(qfDLSBasL203_4096x4096, "Basler L203 4096x4096", 4096, 4096, N, N, N, Y, NONE, NONE, NONE, NONE)                 \
  X(qfDLSBasL401_4032x4032, "Basler L401k-BIC 4032x4032", 4032, 4032, N, N, N, Y, NONE, NONE, NONE, NONE)

// One built-in format: its constant base record, its pel type and the camera
// information it sets.
struct Entry {
  qc_BaseVideoFormat base;
  qe_pelType pelType;
  bool parseName;
  const char* manufacturer;
  const char* model;
  const char* resolution;
  const char* options;
};

#define QRN_ENTRY_(acc, name, w, h, il, hr, batch, parse, manu, model, res, opts) \
  {{name, w, h, 8, il, hr, Y, batch}, qe_pelType_unspecified, parse, manu, model, res, opts},

// The 50 catalogue entries, then the null format (pel type 0x1001, outside
// the pel type numbering, so its image format is unspecified).
constexpr Entry kEntries[] = {
    QRN_CATALOGUE(QRN_ENTRY_)
    {{"Quorin NullFormat", 1, 1, 8, N, N, Y, Y}, static_cast<qe_pelType>(0x1001), Y, NONE, NONE, NONE, NONE},
};
#undef QRN_ENTRY_

constexpr std::size_t kCount = sizeof kEntries / sizeof kEntries[0];
constexpr std::size_t kNullIndex = kCount - 1;
static_assert(kCount == 51, "50 catalogue formats and the null format");

// What has been built for an entry.  Each part is made at most once per
// process; the slots die at exit, the format first.
struct Slot {
  std::unique_ptr<qc_VidFmtCameraInfo> info;
  std::unique_ptr<qc_VideoFormat> internal;
  std::unique_ptr<qcStdVideoFormat> format;
  const qcStdVideoFormat* ref = nullptr;
};

std::array<Slot, kCount>& slots_() {
  static std::array<Slot, kCount> slots;
  return slots;
}

// Makes sure that a format stands under the entry's name: when the lists
// hold none, builds whatever of the entry has not been built yet.
void construct_(std::size_t i) {
  const Entry& e = kEntries[i];
  const char* name = e.base.name;
  if (qf_getFormat(name)) return;  // a format of that name (perhaps from a CCF) stands for the entry
  Slot& s = slots_()[i];
  if (!s.info) {
    s.info = std::make_unique<qc_VidFmtCameraInfo>(name, e.parseName);
    if (e.manufacturer) s.info->cameraManufacturer(e.manufacturer);
    if (e.model) s.info->cameraModel(e.model);
    if (e.resolution) s.info->videoFormatResolution(e.resolution);
    if (e.options) s.info->videoFormatOptions(e.options);
  }
  if (!s.internal) s.internal = std::make_unique<qc_VideoFormat>(e.base, e.pelType);
  if (!s.format) s.format = std::make_unique<qcStdVideoFormat>(*s.internal);
  s.ref = dynamic_cast<const qcStdVideoFormat*>(qf_getFormat(name));
}

const qcStdVideoFormat& entryFormat_(std::size_t i) {
  construct_(i);
  return qcStdVideoFormat::getFormat(kEntries[i].base.name);
}

// Builds every built-in format while the library is loaded.
struct BuildAtLoad {
  BuildAtLoad() {
    for (std::size_t i = 0; i < kCount; ++i) construct_(i);
  }
} buildAtLoad;

enum : std::size_t {
#define QRN_INDEX_(acc, ...) k_##acc,
  QRN_CATALOGUE(QRN_INDEX_)
#undef QRN_INDEX_
};

}  // namespace

#define QRN_ACCESSOR_(acc, ...) \
  const qcStdVideoFormat& acc() { return entryFormat_(k_##acc); }
QRN_CATALOGUE(QRN_ACCESSOR_)
#undef QRN_ACCESSOR_

const qcStdVideoFormat& qfNullFormat() { return entryFormat_(kNullIndex); }
