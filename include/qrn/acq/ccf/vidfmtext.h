// Video format extension records.
//
// A video format (<qrn/acq/format/vidfmt.h>) may carry extension records,
// found by the format's name when the format is constructed: the camera
// interface timing (qc_VideoExtCIT), the optional camera interface signals
// (qc_VideoExtCIToptional), the Camera Link extras (qc_VideoExtCamLink) and
// the camera identity (qc_VidFmtCameraInfo).  A format made from a camera
// configuration file gets its records from the file's store; the built-in
// catalogue formats get only a camera identity.
//
// Each record class keeps a process-wide list of its live objects: the
// constructor from a name enters the object, the destructor removes it, and
// the static get(name) returns the first live object of the class with that
// exact name, or null.  New records enter at the front, so the first record
// of a name is the newest one.  Records are built while formats are built (library
// load, the camera configuration scan under the global mutex) and only read
// afterwards; the lists take no lock of their own.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <cstdint>
#include <string>
#include <vector>

#include <qrn/acq/format/vidfmt.h>
#include <qrn/acq/hyper/syncmodel.h>

// Enumerations of camera configuration values.  The numbering is the order of
// the configuration-file words; the `_unset` value (the number of words)
// stands for "not given".
struct qc_ccfEnums {
  // video_interface: how the camera connects.
  enum qe_vidInterface : int {
    vidInterface_analog, vidInterface_digital_422, vidInterface_digital_644, vidInterface_ieee1394,
    vidInterface_cameralink, vidInterface_unset
  };
  // video_encoding: the video standard or colour encoding.
  enum qe_vidEncode : int {
    vidEncode_mono, vidEncode_PAL, vidEncode_NTSC, vidEncode_SVHS, vidEncode_RGB, vidEncode_YUV, vidEncode_RAW,
    vidEncode_unset
  };
  // tap_interleave: how the taps of a multi-tap camera share the image.
  enum qe_tapInterleave : int {
    tapInterleave_RGB, tapInterleave_pixel, tapInterleave_line, tapInterleave_leftright, tapInterleave_unset
  };
  // hd_signal: which signal carries the horizontal timing.
  enum qe_hdSignal : int { hdSignal_hd, hdSignal_hsync, hdSignal_csync, hdSignal_ctrl1, hdSignal_unset };
  // vd_signal: which signal carries the vertical timing.
  enum qe_vdSignal : int { vdSignal_vd, vdSignal_vsync, vdSignal_ctrl1, vdSignal_ctrl2, vdSignal_unset };
  // horiz_reference, vertical_reference: the source of the horizontal or
  // vertical timing reference.
  enum qe_sigReference : int {
    sigReference_none, sigReference_sync_separator, sigReference_external, sigReference_unset
  };
  // horiz_reference_type, vertical_reference_type: whether the reference is
  // a drive or a sync signal.
  enum qe_refType : int { refType_drive, refType_sync, refType_unset };
  // pclk_source: where the pixel clock comes from.
  enum qe_pclkSource : int { pclkSource_oscillator, pclkSource_pll, pclkSource_external, pclkSource_unset };
  // hd_, vd_, ctrl1_, ctrl2_, pclk_direction: a line's direction (in, out,
  // or not used).
  enum qe_direction : int { direction_in, direction_out, direction_unused, direction_unset };
  // hd_, vd_, ctrl1_, ctrl2_, pclk_interface: a line's electrical standard.
  enum qe_interface : int { interface_ttl, interface_rs422, interface_eia644, interface_unset };
  // shutter_mode: how the exposure time is set.
  enum qe_shutterMode : int {
    shutterMode_none, shutterMode_pulse_width_adjust_leading, shutterMode_pulse_width_adjust_trailing,
    shutterMode_pulse_position, shutterMode_variable_total, shutterMode_unset
  };
  // shutter_adjustment_granularity: the unit of exposure adjustment.
  enum qe_shutterGranularity : int { shutterGranularity_pel, shutterGranularity_line, shutterGranularity_unset };
  // shutter_line: the line that carries the shutter pulse.
  enum qe_shutterLine : int { shutterLine_vd, shutterLine_ctrl1, shutterLine_ctrl2, shutterLine_unset };
  // strobe_mode: how the strobe is timed (or none).
  enum qe_strobeMode : int {
    strobeMode_trigger, strobeMode_fixed, strobeMode_pulse_position, strobeMode_none, strobeMode_unset
  };
  // hd_, vd_, ctrl1_, ctrl2_polarity: a line's active level.
  enum qe_polarity : int { polarity_active_low, polarity_active_high, polarity_unset };
};

// color_plane_order: the order of the colour planes of planar colour
// pels; qe_colorPlaneOrder_unset: not given.
enum qe_colorPlaneOrder : int {
  qe_colorPlaneOrder_red_green_blue,
  qe_colorPlaneOrder_red_blue_green,
  qe_colorPlaneOrder_green_red_blue,
  qe_colorPlaneOrder_green_blue_red,
  qe_colorPlaneOrder_blue_red_green,
  qe_colorPlaneOrder_blue_green_red,
  qe_colorPlaneOrder_unset
};

// Base of the extension records: a name and membership in its class's list
// of live records.  Records are not copyable (a copy would not be listed).
class qc_VidFormatExtension {
public:
  // A class's list of live records, newest first (the records are not
  // owned).
  using List = std::vector<qc_VidFormatExtension*>;

  // Takes the record out of its class's list.
  virtual ~qc_VidFormatExtension();
  // Not copyable (a copy would not be listed).
  qc_VidFormatExtension(const qc_VidFormatExtension&) = delete;
  qc_VidFormatExtension& operator=(const qc_VidFormatExtension&) = delete;

  // The name of the video format the record belongs to (fixed at
  // construction).
  const std::string& name() const { return name_; }

  // The first record of `list` whose name equals `name` exactly, or null.
  static qc_VidFormatExtension* get(const std::string& name, const List& list);

protected:
  // Enters the record at the front of `live`, which must outlive it.
  qc_VidFormatExtension(const std::string& name, List& live);

  // get(name) in record class T's live list, as a T*; the derived classes'
  // get() use it.
  template <class T>
  static T* getOf_(const std::string& name) {
    return static_cast<T*>(get(name, T::liveList_()));
  }

private:
  std::string name_;
  List* live_;
};

// Gives tests and the configuration store access to private setters.
struct qc_VidFmtExtAccess_;

class qc_camCfgStore;

// Field tables: X(type, accessor, parameter index, value).  The parameter
// index is that of the camera configuration parameter the field loads from.

// Camera interface timing: every field with its unset value.  The setters of
// bitsPerPel and numTaps are public, the others private.
#define QRN_VIDEOEXTCIT_FIELDS(X, P)                                     \
  X(qc_ccfEnums::qe_vidInterface, vidInterface, 3, 5, private)           \
  X(qc_ccfEnums::qe_vidEncode, vidEncoding, 5, 7, private)               \
  X(long, bitsPerPel, 6, -1, public)                                     \
  X(qe_pelType, pelType, 7, -1, private)                                 \
  X(long, numTaps, 8, -1, public)                                        \
  X(qc_ccfEnums::qe_sigReference, horizRef, 15, 3, private)              \
  X(qc_ccfEnums::qe_sigReference, vertReference, 22, 3, private)         \
  X(qc_ccfEnums::qe_pclkSource, pClkSource, 32, 3, private)              \
  X(double, pClkFreq, 34, -1.0, private)                                 \
  X(long, hActiveStart, 55, -1, private)                                 \
  X(long, hTotal, 35, -1, private)                                       \
  X(long, vTotal, 36, -1, private)                                       \
  X(long, numFields, 37, -1, private)                                    \
  X(long, xSubSampling, 39, -1, private)                                 \
  X(qc_ccfEnums::qe_shutterMode, shutterMode, 58, 5, private)            \
  X(qc_ccfEnums::qe_strobeMode, strobeMode, 68, 4, private)              \
  X(double, ctiMinWidth, 66, -1.0, private)                              \
  X(double, ctiEndField0, 64, -1.0, private)                             \
  P(double, ccfVersion, 91, 0.0, private)

// Optional camera interface signals: U fields take their value from
// setUninitialized(), D fields from setDefaults().  All setters are private.
#define QRN_VIDEOEXTCITOPT_FIELDS(U, D)                                  \
  U(long, vidInputWidth, 4, -1)                                          \
  U(qc_ccfEnums::qe_tapInterleave, tapInterleave, 9, 4)                  \
  U(qe_colorPlaneOrder, colorPlaneOrder, 10, 0)                          \
  D(qc_ccfEnums::qe_direction, hdDir, 11, 1)                             \
  U(qc_ccfEnums::qe_refType, horRefType, 16, 2)                          \
  D(qc_ccfEnums::qe_interface, hdInterface, 12, 0)                       \
  D(qc_ccfEnums::qe_hdSignal, hdSignal, 13, 0)                           \
  U(qc_ccfEnums::qe_polarity, hdPolarity, 14, 2)                         \
  U(long, hLockPos, 17, -1)                                              \
  D(qc_ccfEnums::qe_direction, vdDir, 18, 1)                             \
  U(qc_ccfEnums::qe_refType, vertRefType, 23, 2)                         \
  D(qc_ccfEnums::qe_interface, vdInterface, 19, 0)                       \
  D(qc_ccfEnums::qe_vdSignal, vdSignal, 20, 0)                           \
  U(qc_ccfEnums::qe_polarity, vdPolarity, 21, 2)                         \
  U(double, vLockPos, 24, -1.0)                                          \
  D(qc_ccfEnums::qe_direction, ctrl1Dir, 25, 2)                          \
  U(qc_ccfEnums::qe_interface, ctrl1Interface, 26, 3)                    \
  U(qc_ccfEnums::qe_polarity, ctrl1Polarity, 27, 2)                      \
  D(qc_ccfEnums::qe_direction, ctrl2Dir, 28, 2)                          \
  U(qc_ccfEnums::qe_interface, ctrl2Interface, 29, 3)                    \
  U(qc_ccfEnums::qe_polarity, ctrl2Polarity, 30, 2)                      \
  U(qc_ccfEnums::qe_direction, pClkDir, 31, 3)                           \
  U(qc_ccfEnums::qe_interface, pClkInterface, 33, 3)                     \
  D(long, aoiPerField, 38, 1)                                            \
  U(double, shtrMinExp, 59, -1.0)                                        \
  U(double, shtrMaxExp, 60, -1.0)                                        \
  U(qc_ccfEnums::qe_shutterGranularity, shtrGranularity, 61, 2)          \
  U(qc_ccfEnums::qe_shutterLine, shutterLine, 62, 3)                     \
  U(double, ctiEndField1, 65, -1.0)                                      \
  D(bool, rapidReset, 56, false)                                         \
  U(long, rapidResetMinPos, 57, qc_VideoExtCIToptional::kUnsetLong)      \
  D(bool, shutterPerField, 63, false)                                    \
  D(long, initAcqCount, 69, 1)                                           \
  D(bool, originInField0, 70, true)                                      \
  D(bool, imShutterCapable, 77, false)

// Record fields from the tables above, for the record classes below only
// (not for applications): declares the public getter f() of field f.
#define QRN_VFX_GETTER_(T, f) \
public:                       \
  T f() const { return f##_; }
// Declares the data member f_ of field f (value-initialised; the
// constructors then set its unset or default value); for the record classes
// below only.
#define QRN_VFX_MEMBER_(T, f, ...) T f##_{};

// Camera interface timing.
class qc_VideoExtCIT : public qc_VidFormatExtension {
// Each field of QRN_VIDEOEXTCIT_FIELDS as a public getter `T f() const`
  // and a setter `void f(T)` of the table's access.  The getters return the
  // field's value as loaded from parameter `param`, or `unset` when not
  // given.
#define QRN_VFX_CIT_ACC_(T, f, param, unset, access) \
  QRN_VFX_GETTER_(T, f)                              \
  access:                                            \
  void f(T v) { f##_ = v; }
  QRN_VIDEOEXTCIT_FIELDS(QRN_VFX_CIT_ACC_, QRN_VFX_CIT_ACC_)
#undef QRN_VFX_CIT_ACC_

public:
  // Enters the record in the live list, every field unset; the destructor
  // takes it out.
  explicit qc_VideoExtCIT(const std::string& name);
  ~qc_VideoExtCIT() override;

  // The first live record of that name, or null.
  static qc_VideoExtCIT* get(const std::string& name) { return getOf_<qc_VideoExtCIT>(name); }

  // Stores the two words of the time stamp.
  void timeStamp(std::uint32_t a, std::uint32_t b) { stamp_[0] = a, stamp_[1] = b; }
  // True when either word differs from the stored ones.
  bool compareTimeStamp(std::uint32_t a, std::uint32_t b) const { return a != stamp_[0] || b != stamp_[1]; }
  // True when horizRef or vertReference is "sync_separator".
  bool syncIsSeparate() const;
  // pClkSource "oscillator", "pll", "external" as the sync models' pixel
  // clock sources 0, 1, 2; any other value fires a debug assertion and gives
  // the internal source (0).
  qc_SyncModel::PixelClockSource pClkSourceConvert() const;
  // Sets every field (time stamp included) to its unset value.
  void setUninitialized();
  // True when every field except ccfVersion and the time stamp is set.
  bool integrityCheck() const;
  // setUninitialized(), then each field from its parameter where the store
  // holds it with the field's type.
  void load(const qc_camCfgStore& store);

private:
  friend class qc_VidFormatExtension;
  friend struct qc_VidFmtExtAccess_;
  static List& liveList_();

  QRN_VIDEOEXTCIT_FIELDS(QRN_VFX_MEMBER_, QRN_VFX_MEMBER_)
  std::uint32_t stamp_[2] = {0, 0};
};

// Optional camera interface signals.
class qc_VideoExtCIToptional : public qc_VidFormatExtension {
public:
  // The unset value of rapidResetMinPos: the most negative 32-bit value.
  static constexpr long kUnsetLong = -0x7fffffffL - 1;

  // Each field of QRN_VIDEOEXTCITOPT_FIELDS as a public getter
  // `T f() const` and a private setter `void f(T)`.  The getters return the
  // field's value as loaded from parameter `param`, or `value` (the default
  // or unset value) when not given.
#define QRN_VFX_OPT_ACC_(T, f, param, value) \
  QRN_VFX_GETTER_(T, f)                      \
private:                                     \
  void f(T v) { f##_ = v; }
  QRN_VIDEOEXTCITOPT_FIELDS(QRN_VFX_OPT_ACC_, QRN_VFX_OPT_ACC_)
#undef QRN_VFX_OPT_ACC_

public:
  // Enters the record in the live list; applies setDefaults() and
  // setUninitialized().  The destructor takes it out.
  explicit qc_VideoExtCIToptional(const std::string& name);
  ~qc_VideoExtCIToptional() override;

  // The first live record of that name, or null.
  static qc_VideoExtCIToptional* get(const std::string& name) { return getOf_<qc_VideoExtCIToptional>(name); }

  // The fields that have a default (directions "out"/"unused", interfaces
  // "ttl", signals "hd"/"vd", one AOI per field, flags) to their defaults.
  void setDefaults();
  // The other fields to their unset values.
  void setUninitialized();
  // Whether the signals are complete for the timing record `cit`.
  bool integrityCheck(const qc_VideoExtCIT& cit) const;
  // setUninitialized(), then each field from its parameter where the store
  // holds it with the field's type.
  void load(const qc_camCfgStore& store);

private:
  friend class qc_VidFormatExtension;
  friend struct qc_VidFmtExtAccess_;
  static List& liveList_();

  QRN_VIDEOEXTCITOPT_FIELDS(QRN_VFX_MEMBER_, QRN_VFX_MEMBER_)
};

// Camera Link extras.
class qc_VideoExtCamLink : public qc_VidFormatExtension {
public:
  // Enters the record in the live list with an empty alias; the destructor
  // takes it out.
  explicit qc_VideoExtCamLink(const std::string& name);
  ~qc_VideoExtCamLink() override;

  // The first live record of that name, or null.
  static qc_VideoExtCamLink* get(const std::string& name) { return getOf_<qc_VideoExtCamLink>(name); }

  // The Camera Link video format alias; empty when unset.
  const std::string& vfAlias() const { return vfAlias_; }
  // Always true.
  bool integrityCheck(const qc_VideoExtCIT&) const { return true; }
  // The alias from "camlink vfalias" (cleared when absent).
  void load(const qc_camCfgStore& store);

private:
  friend class qc_VidFormatExtension;
  friend struct qc_VidFmtExtAccess_;
  static List& liveList_();
  void vfAlias(const std::string& s) { vfAlias_ = s; }

  std::string vfAlias_;
};

// Camera identity: maker, model, resolution, drive type, options, and the
// name of the format this one stands for (an alias).
class qc_VidFmtCameraInfo : public qc_VidFormatExtension {
public:
  // Enters the record in the live list with every string empty.  With
  // `parse` true, fills the identity from the name (parseName).  The
  // destructor takes it out of the list.
  qc_VidFmtCameraInfo(const std::string& name, bool parse);
  ~qc_VidFmtCameraInfo() override;

  // The first live record of that name, or null.
  static qc_VidFmtCameraInfo* get(const std::string& name) { return getOf_<qc_VidFmtCameraInfo>(name); }

  // The identity's strings, each with a getter f() and a setter f(text)
  // (empty when unknown): cameraManufacturer, cameraModel,
  // videoFormatResolution, videoFormatDriveType, videoFormatOptions and
  // aliasVideoFormatName (the format this one stands for).
#define QRN_VFX_STR_(f)                               \
  const std::string& f() const { return f##_; }       \
  void f(const std::string& s) { f##_ = s; }
  QRN_VFX_STR_(cameraManufacturer)
  QRN_VFX_STR_(cameraModel)
  QRN_VFX_STR_(videoFormatResolution)
  QRN_VFX_STR_(videoFormatDriveType)
  QRN_VFX_STR_(videoFormatOptions)
  QRN_VFX_STR_(aliasVideoFormatName)
#undef QRN_VFX_STR_

  // Whether the identity was loaded from a camera configuration file
  // (load() sets it; false at first), and setting it.
  bool formatIsFromCCF() const { return formatIsFromCCF_; }
  void formatIsFromCCF(bool on) { formatIsFromCCF_ = on; }

  // True when aliasVideoFormatName is not empty.
  bool formatIsAlias() const { return !aliasVideoFormatName_.empty(); }
  // The alias, maker, model, resolution, drive type and options that the
  // store holds replace the current ones; the record is marked as from a
  // configuration file.
  void load(const qc_camCfgStore& store);

  // Fills the identity from the format name.  Words are separated by blanks,
  // tabs and semicolons.  Without a separator nothing is set.  Otherwise the
  // first word is the manufacturer; the text between the first "(" and the
  // next ")" after it, when both exist, is the options; the next three words
  // that start before the first "(" are the model, resolution and drive type.
  void parseName();

private:
  friend class qc_VidFormatExtension;
  static List& liveList_();

  std::string cameraManufacturer_;
  std::string cameraModel_;
  std::string videoFormatResolution_;
  std::string videoFormatDriveType_;
  std::string videoFormatOptions_;
  std::string aliasVideoFormatName_;
  bool formatIsFromCCF_ = false;
};

#undef QRN_VFX_GETTER_
#undef QRN_VFX_MEMBER_

QRN_API_END
