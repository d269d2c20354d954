#include <qrn/acq/hyper/prop/settletm.h>

QC_IMPLEMENT_PERSISTENT(qcSettlingTimeProp);

qcSettlingTimeProp& qcSettlingTimeProp::operator=(const qcSettlingTimeProp& src) {
  settlingTime(src.settlingTime_);
  return *this;
}

void qcSettlingTimeProp::settlingTime(double seconds) {
  hookSet_(settlingTime_, seconds, [&](qc_AcqFifo& f) { f.settlingTime(seconds); });
}

void qcSettlingTimeProp::serialize_(qcArchive& ar, unsigned char) {
  double t = settlingTime_;
  ar || t;
  if (ar.isLoading()) settlingTime(t);
}
