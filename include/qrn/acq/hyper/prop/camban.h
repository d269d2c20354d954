// Camera bandwidth of an acquisition FIFO.
#pragma once

#include <qrn/acq/hyper/prop/propbase.h>

// Bandwidth as a fraction from 0 to 1 (default 1).  Hook first: an
// associated FIFO's cameraBandwidth(double) hears each value first.
class qcCameraBandwidthProp : public qc_PersistentProp<qcCameraBandwidthProp> {
public:
  QC_EXCEPTION(BadParams, qcException, 0x100009C4);

  static constexpr double defaultCameraBandwidth = 1.0;

  qcCameraBandwidthProp() = default;
  // Throws BadParams outside 0 to 1 (or for NaN).
  explicit qcCameraBandwidthProp(double fraction);
  qcCameraBandwidthProp(const qcCameraBandwidthProp&) = default;
  qcCameraBandwidthProp& operator=(const qcCameraBandwidthProp& src);  // through the setter

  double cameraBandwidth() const { return cameraBandwidth_; }
  // Throws BadParams outside 0 to 1 (or for NaN); FIFO errors pass.
  void cameraBandwidth(double fraction);

private:
  QC_PERSISTENT_PROPERTY(qcCameraBandwidthProp, "acq/hyper/prop/camban", 0);
  double cameraBandwidth_ = defaultCameraBandwidth;
};
