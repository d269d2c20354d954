#include <qrn/acq/hyper/prop/exposure.h>

QC_IMPLEMENT_PERSISTENT(qcExposureProp);
QC_REGISTER_PERSISTENT(qcExposureProp::BadParams);

qcExposureProp::qcExposureProp(double seconds) {
  requireRange_("exposure", seconds, 0.0, HUGE_VAL, "s");
  exposure_ = seconds;
}

qcExposureProp& qcExposureProp::operator=(const qcExposureProp& src) {
  exposure(src.exposure_);
  return *this;
}

void qcExposureProp::exposure(double seconds) {
  requireRange_("exposure", seconds, 0.0, HUGE_VAL, "s");
  hookSet_(exposure_, seconds, [&](qc_AcqFifo& f) { f.exposure(seconds); });
}

void qcExposureProp::fifo(qc_AcqFifo& f) {
  qc_Prop::fifo(f);
  exposure_ = f.defaultExposure();
}

void qcExposureProp::serialize_(qcArchive& ar, unsigned char) {
  double e = exposure_;
  ar || e;
  if (ar.isLoading()) exposure(e);
}
