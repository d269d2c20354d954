// Exposure time of an acquisition FIFO.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <qrn/acq/hyper/prop/propbase.h>

// Exposure in seconds, 0 or more (default 2e-5 s).  Hook first: an associated
// FIFO's exposure(double) hears each value before it is stored.  Association
// takes the FIFO's defaultExposure() without passing it back.
class qcExposureProp : public qc_PersistentProp<qcExposureProp> {
public:
  // A negative exposure, or NaN.
  QC_EXCEPTION(BadParams, qcException, 0x10000985);

  // The exposure of a new property, in seconds (association takes the FIFO's
  // own default).
  static constexpr double defaultExposure = 2e-5;

  // A free property holding defaultExposure.
  qcExposureProp() = default;
  // A free property holding `seconds`.  Throws BadParams for a value below 0
  // (or NaN).
  explicit qcExposureProp(double seconds);
  // A copy holds src's exposure and is free.  Assignment passes src's value
  // through the setter (checked; an associated target's FIFO hears it) and
  // keeps the target's association.
  qcExposureProp(const qcExposureProp&) = default;
  qcExposureProp& operator=(const qcExposureProp& src);

  // The exposure in seconds.  The setter throws BadParams for a value below 0
  // (or NaN); an associated FIFO hears the value before it is stored, and a
  // FIFO exception passes and leaves the value unchanged.
  double exposure() const { return exposure_; }
  void exposure(double seconds);

  // Associates, then takes the FIFO's defaultExposure() (not sent back).
  void fifo(qc_AcqFifo& f);

private:
  QC_PERSISTENT_PROPERTY(qcExposureProp, "acq/hyper/prop/exposure", 0);
  double exposure_ = defaultExposure;
};

QRN_API_END
