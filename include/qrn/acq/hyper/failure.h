// How one acquisition failed: a word of flags, the driver's code for an
// abnormal failure and the driver's text.  Drivers set it; applications read
// it from qcAcquireInfo or the older completion forms.
#pragma once

#include <cstdint>
#include <string>

#include <qrn/foundation/archive.h>
#include <qrn/foundation/exception.h>

// Why an acquisition failed: a set of flags (timeout, overrun, abort, ...) with an error code;
// false when nothing failed.
class qcAcqFailure {
public:
  enum : std::uint32_t {
    kTimeout = 0x1,
    kMissed = 0x2,
    kAbnormal = 0x4,
    kIncomplete = 0x8,
    kTooFastEncoder = 0x10,
    kInvalidRoi = 0x20,
    kOverrun = 0x40,
    kOtherFifoError = 0x80,
    kTimingError = 0x100,
  };

  qcAcqFailure() = default;
  qcAcqFailure(unsigned long flags, long abnormalErrorCode)
      : flags_(static_cast<std::uint32_t>(flags)), abnormalErrorCode_(abnormalErrorCode) {}

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

  unsigned long rawFlags() const { return flags_; }
  long abnormalErrorCode() const { return abnormalErrorCode_; }
  void abnormalErrorCode(long code) { abnormalErrorCode_ = code; }
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

// Thrown by drivers for a feature that their board lacks.
QC_EXCEPTION(qcAcqFeatureNotImplemented, qcException, 0x10000980);
