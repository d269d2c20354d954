// Completion timeout of an acquisition FIFO.
#pragma once

#include <cmath>

#include <qrn/acq/hyper/prop/propbase.h>

// Timeout in seconds, 0 or more; HUGE_VAL (the default) means no limit.  Hook
// first: an associated FIFO's timeout(double) hears each value first.
class qcTimeoutProp : public qc_PersistentProp<qcTimeoutProp> {
public:
  QC_EXCEPTION(BadParams, qcException, 0x10000986);

  static constexpr double defaultTimeout = HUGE_VAL;

  qcTimeoutProp() = default;
  // Throws BadParams for a value below 0 (or NaN).
  explicit qcTimeoutProp(double seconds);
  qcTimeoutProp(const qcTimeoutProp&) = default;
  qcTimeoutProp& operator=(const qcTimeoutProp& src);  // through the setter

  double timeout() const { return timeout_; }
  // Throws BadParams for a value below 0 (or NaN); FIFO errors pass.
  void timeout(double seconds);

private:
  QC_PERSISTENT_PROPERTY(qcTimeoutProp, "acq/hyper/prop/timeout", 0);
  double timeout_ = defaultTimeout;
};
