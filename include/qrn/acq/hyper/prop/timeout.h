// Completion timeout of an acquisition FIFO.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <cmath>

#include <qrn/acq/hyper/prop/propbase.h>

// Timeout in seconds, 0 or more; HUGE_VAL (the default) means no limit.  Hook
// first: an associated FIFO's timeout(double) hears each value first.
class qcTimeoutProp : public qc_PersistentProp<qcTimeoutProp> {
public:
  // A negative timeout, or NaN.
  QC_EXCEPTION(BadParams, qcException, 0x10000986);

  // No limit: a started acquisition never completes as timed out.
  static constexpr double defaultTimeout = HUGE_VAL;

  // A free property holding defaultTimeout (no limit).
  qcTimeoutProp() = default;
  // A free property holding `seconds`.  Throws BadParams for a value below 0
  // (or NaN).
  explicit qcTimeoutProp(double seconds);
  // A copy holds src's timeout and is free.  Assignment passes src's value
  // through the setter (checked; an associated target's FIFO hears it) and
  // keeps the target's association.
  qcTimeoutProp(const qcTimeoutProp&) = default;
  qcTimeoutProp& operator=(const qcTimeoutProp& src);

  // The timeout in seconds: a started acquisition that has not completed
  // within it completes as timed out (isTimeout); HUGE_VAL: never.  The setter
  // throws BadParams for a value below 0 (or NaN); an associated FIFO hears
  // the value before it is stored, and a FIFO exception passes and leaves the
  // value unchanged.
  double timeout() const { return timeout_; }
  void timeout(double seconds);

private:
  QC_PERSISTENT_PROPERTY(qcTimeoutProp, "acq/hyper/prop/timeout", 0);
  double timeout_ = defaultTimeout;
};

QRN_API_END
