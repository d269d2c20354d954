#include <qrn/acq/hyper/prop/camloc.h>

QC_REGISTER_PERSISTENT(qcCameraLocationProp::BadParams);

qcCameraLocationProp& qcCameraLocationProp::operator=(const qcCameraLocationProp& src) {
  if (src.location_) {
    cameraLocation(*src.location_);
  } else {
    hookSet_(location_, nullptr, [](qc_AcqFifo& f) { f.cameraLocation(nullptr); });
  }
  return *this;
}

void qcCameraLocationProp::cameraLocation(const qcCameraPort& port) {
  if (fifo_) require_(fifo_->cameraPortValid(port));
  hookSet_(location_, &port, [&](qc_AcqFifo& f) { f.cameraLocation(&port); });
}
