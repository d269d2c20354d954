// Settling time of an acquisition FIFO.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <qrn/acq/hyper/prop/propbase.h>

// Settling time in seconds (default 0), any value.  Hook first: an associated
// FIFO's settlingTime(double) hears each value before it is stored.
class qcSettlingTimeProp : public qc_PersistentProp<qcSettlingTimeProp> {
public:
  // No settling time.
  static constexpr double defaultSettlingTime = 0.0;

  // A free property holding 0 s.
  qcSettlingTimeProp() = default;
  // A free property holding `seconds` (not checked).
  explicit qcSettlingTimeProp(double seconds) : settlingTime_(seconds) {}
  // A copy holds src's time and is free.  Assignment passes src's value
  // through the setter (an associated target's FIFO hears it) and keeps the
  // target's association.
  qcSettlingTimeProp(const qcSettlingTimeProp&) = default;
  qcSettlingTimeProp& operator=(const qcSettlingTimeProp& src);

  // The settling time in seconds.  The setter checks nothing (any value, NaN
  // included, is kept); an associated FIFO hears the value before it is
  // stored, and a FIFO exception passes and leaves the value unchanged.
  double settlingTime() const { return settlingTime_; }
  void settlingTime(double seconds);

private:
  QC_PERSISTENT_PROPERTY(qcSettlingTimeProp, "acq/hyper/prop/settletm", 0);
  double settlingTime_ = defaultSettlingTime;
};

QRN_API_END
