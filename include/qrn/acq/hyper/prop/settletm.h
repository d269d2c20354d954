// Settling time of an acquisition FIFO.
#pragma once

#include <qrn/acq/hyper/prop/propbase.h>

// Settling time in seconds (default 0), any value.  Hook first: an associated
// FIFO's settlingTime(double) hears each value before it is stored.
class qcSettlingTimeProp : public qc_PersistentProp<qcSettlingTimeProp> {
public:
  static constexpr double defaultSettlingTime = 0.0;

  qcSettlingTimeProp() = default;
  explicit qcSettlingTimeProp(double seconds) : settlingTime_(seconds) {}
  qcSettlingTimeProp(const qcSettlingTimeProp&) = default;
  qcSettlingTimeProp& operator=(const qcSettlingTimeProp& src);  // through the setter

  double settlingTime() const { return settlingTime_; }
  void settlingTime(double seconds);

private:
  QC_PERSISTENT_PROPERTY(qcSettlingTimeProp, "acq/hyper/prop/settletm", 0);
  double settlingTime_ = defaultSettlingTime;
};
