// Camera bandwidth of an acquisition FIFO.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <qrn/acq/hyper/prop/propbase.h>

// Bandwidth as a fraction from 0 to 1 (default 1).  Hook first: an
// associated FIFO's cameraBandwidth(double) hears each value first.
class qcCameraBandwidthProp : public qc_PersistentProp<qcCameraBandwidthProp> {
public:
  // A bandwidth outside 0 to 1, or NaN.
  QC_EXCEPTION(BadParams, qcException, 0x100009C4);

  // The full bandwidth.
  static constexpr double defaultCameraBandwidth = 1.0;

  // A free property holding defaultCameraBandwidth (1).
  qcCameraBandwidthProp() = default;
  // A free property holding `fraction`.  Throws BadParams outside 0 to 1 (or
  // for NaN).
  explicit qcCameraBandwidthProp(double fraction);
  // A copy holds src's bandwidth and is free.  Assignment passes src's value
  // through the setter (checked; an associated target's FIFO hears it) and
  // keeps the target's association.
  qcCameraBandwidthProp(const qcCameraBandwidthProp&) = default;
  qcCameraBandwidthProp& operator=(const qcCameraBandwidthProp& src);

  // The bandwidth, a fraction from 0 to 1.  The setter throws BadParams
  // outside 0 to 1 (or for NaN); an associated FIFO hears the value before it
  // is stored, and a FIFO exception passes and leaves the value unchanged.
  double cameraBandwidth() const { return cameraBandwidth_; }
  void cameraBandwidth(double fraction);

private:
  QC_PERSISTENT_PROPERTY(qcCameraBandwidthProp, "acq/hyper/prop/camban", 0);
  double cameraBandwidth_ = defaultCameraBandwidth;
};

QRN_API_END
