// Exposure time of an acquisition FIFO.
#pragma once

#include <qrn/acq/hyper/prop/propbase.h>

// Exposure in seconds, 0 or more (default 2e-5 s).  Hook first: an associated
// FIFO's exposure(double) hears each value before it is stored.  Association
// takes the FIFO's defaultExposure() without passing it back.
class qcExposureProp : public qc_PersistentProp<qcExposureProp> {
public:
  QC_EXCEPTION(BadParams, qcException, 0x10000985);

  static constexpr double defaultExposure = 2e-5;

  qcExposureProp() = default;
  // Throws BadParams for a value below 0 (or NaN).
  explicit qcExposureProp(double seconds);
  qcExposureProp(const qcExposureProp&) = default;
  qcExposureProp& operator=(const qcExposureProp& src);  // through the setter

  double exposure() const { return exposure_; }
  // Throws BadParams for a value below 0 (or NaN); FIFO errors pass.
  void exposure(double seconds);

  // Associates, then takes the FIFO's defaultExposure() (not sent back).
  void fifo(qc_AcqFifo& f);

private:
  QC_PERSISTENT_PROPERTY(qcExposureProp, "acq/hyper/prop/exposure", 0);
  double exposure_ = defaultExposure;
};
