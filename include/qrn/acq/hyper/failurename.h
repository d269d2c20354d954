// Failure flags by name: the text form of a qcAcqFailure that qacq, the
// Python module and the GStreamer element show and accept.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <cstdint>
#include <string>

#include <qrn/acq/hyper/failure.h>

// A failure flag and its name.
struct qsAcqFailureFlagName {
  std::uint32_t bit;  // the flag (one of qcAcqFailure::kTimeout ... kTimingError)
  const char* name;   // its name, the accessor's without "is" ("timeout", "tooFastEncoder"); static storage
};
// Every failure flag with its name, in bit order.
inline constexpr qsAcqFailureFlagName qcAcqFailureFlagNames[] = {
    {qcAcqFailure::kTimeout, "timeout"},
    {qcAcqFailure::kMissed, "missed"},
    {qcAcqFailure::kAbnormal, "abnormal"},
    {qcAcqFailure::kIncomplete, "incomplete"},
    {qcAcqFailure::kTooFastEncoder, "tooFastEncoder"},
    {qcAcqFailure::kInvalidRoi, "invalidRoi"},
    {qcAcqFailure::kOverrun, "overrun"},
    {qcAcqFailure::kOtherFifoError, "otherFifoError"},
    {qcAcqFailure::kTimingError, "timingError"},
};

// One line for a failure: "ok" when there is none, else the names of its
// flags joined by '+', the code of an abnormal failure and the driver's text
// ("incomplete", "abnormal (code 7): camera lost").  Flags without a name
// show as "failed (flags 0x...)".
std::string qfDescribeFailure(const qcAcqFailure& f);

QRN_API_END
