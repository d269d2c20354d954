#include <qrn/acq/hyper/prop/camban.h>

QC_IMPLEMENT_PERSISTENT(qcCameraBandwidthProp);
QC_REGISTER_PERSISTENT(qcCameraBandwidthProp::BadParams);

qcCameraBandwidthProp::qcCameraBandwidthProp(double fraction) { cameraBandwidth(fraction); }

qcCameraBandwidthProp& qcCameraBandwidthProp::operator=(const qcCameraBandwidthProp& src) {
  cameraBandwidth(src.cameraBandwidth_);
  return *this;
}

void qcCameraBandwidthProp::cameraBandwidth(double fraction) {
  requireRange_("camera bandwidth", fraction, 0.0, 1.0);
  hookSet_(cameraBandwidth_, fraction, [&](qc_AcqFifo& f) { f.cameraBandwidth(fraction); });
}

void qcCameraBandwidthProp::serialize_(qcArchive& ar, unsigned char) {
  double b = cameraBandwidth_;
  ar || b;
  if (ar.isLoading()) cameraBandwidth(b);
}
