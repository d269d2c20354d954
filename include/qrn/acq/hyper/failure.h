// How one acquisition failed: a word of flags, the driver's code for an
// abnormal failure and the driver's text.  Drivers set it; applications read
// it from qcAcquireInfo or the older completion forms.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <cstdint>
#include <string>

#include <qrn/foundation/archive.h>
#include <qrn/foundation/exception.h>

// Why an acquisition failed: a set of flags (timeout, overrun, abort, ...) with an error code;
// false when nothing failed.
class qcAcqFailure {
public:
  // The failure flags: one bit per kind of failure, any number of them set
  // at once (rawFlags(), and the accessor pair of the same name below).
  enum : std::uint32_t {
    kTimeout = 0x1,          // not finished within the FIFO's timeout (the image, if any, is partial)
    kMissed = 0x2,           // a trigger came while the board was busy and was lost (told by the next acquisition)
    kAbnormal = 0x4,         // the driver or the hardware failed: see abnormalErrorCode() and errorInfo()
    kIncomplete = 0x8,       // the image came but only part of it is valid
    kTooFastEncoder = 0x10,  // the line-scan encoder ran faster than the camera takes lines
    kInvalidRoi = 0x20,      // the region of interest does not overlap the frame; no image
    kOverrun = 0x40,         // a frame was lost: the board was busy or had no free image storage
    kOtherFifoError = 0x80,  // another FIFO sharing the hardware failed, taking this acquisition with it
    kTimingError = 0x100,    // a video timing error of the camera or the board
  };

  // No failure: no flags, code 0, no text.
  qcAcqFailure() = default;
  // A failure with this flag word (only the low 32 bits are kept) and abnormal
  // error code, and no text.
  qcAcqFailure(unsigned long flags, long abnormalErrorCode)
      : flags_(static_cast<std::uint32_t>(flags)), abnormalErrorCode_(abnormalErrorCode) {}

  // Defines the accessor pair of one flag: `name()` is true when the flag is
  // set, `name(on)` sets (true) or clears (false) it and leaves the others.
  // The pairs: isTimeout, isMissed, isAbnormal, isIncomplete,
  // isTooFastEncoder, isInvalidRoi, isOverrun, isOtherFifoError and
  // isTimingError, for the flags kTimeout ... kTimingError above.  The macro
  // is undefined again after the class's use of it.
#define QRN_FAILURE_FLAG(name, bit)                 \
  bool name() const { return (flags_ & bit) != 0; } \
  void name(bool on) { on ? flags_ |= bit : flags_ &= ~static_cast<std::uint32_t>(bit); }
  QRN_FAILURE_FLAG(isTimeout, kTimeout)
  QRN_FAILURE_FLAG(isMissed, kMissed)
  QRN_FAILURE_FLAG(isAbnormal, kAbnormal)
  QRN_FAILURE_FLAG(isIncomplete, kIncomplete)
  QRN_FAILURE_FLAG(isTooFastEncoder, kTooFastEncoder)
  QRN_FAILURE_FLAG(isInvalidRoi, kInvalidRoi)
  QRN_FAILURE_FLAG(isOverrun, kOverrun)
  QRN_FAILURE_FLAG(isOtherFifoError, kOtherFifoError)
  QRN_FAILURE_FLAG(isTimingError, kTimingError)
#undef QRN_FAILURE_FLAG

  // The flag word: the k... bits above, 0 when nothing failed.
  unsigned long rawFlags() const { return flags_; }
  // The driver's code for an abnormal failure (isAbnormal); its meaning is the
  // driver's (the camera driver: the Aravis buffer status).  0 by default.
  long abnormalErrorCode() const { return abnormalErrorCode_; }
  void abnormalErrorCode(long code) { abnormalErrorCode_ = code; }
  // The driver's text about the failure, for people (empty by default; the
  // drivers start it with their name: "sim: ...", "gige: ...").  The getter
  // returns a copy.
  std::string errorInfo() const { return errorInfo_; }
  void errorInfo(const std::string& text) { errorInfo_ = text; }

  // True when any failure flag is set.
  explicit operator bool() const { return flags_ != 0; }

  // Archive: version byte 0, then the flag word as an unsigned long.  The
  // abnormal error code and the text are not archived: a loaded failure
  // keeps the values it had.
  friend qcArchive& operator||(qcArchive& ar, qcAcqFailure& f);

private:
  std::uint32_t flags_ = 0;
  long abnormalErrorCode_ = 0;
  std::string errorInfo_;
};
// Archives the record (the friend above, declared here so that it is exported).
qcArchive& operator||(qcArchive& ar, qcAcqFailure& f);

// Thrown by drivers for a feature that their board lacks.
QC_EXCEPTION(qcAcqFeatureNotImplemented, qcException, 0x10000980);

QRN_API_END
