#include <qrn/acq/hyper/prop/timeout.h>

QC_IMPLEMENT_PERSISTENT(qcTimeoutProp);
QC_REGISTER_PERSISTENT(qcTimeoutProp::BadParams);

qcTimeoutProp::qcTimeoutProp(double seconds) { timeout(seconds); }

qcTimeoutProp& qcTimeoutProp::operator=(const qcTimeoutProp& src) {
  timeout(src.timeout_);
  return *this;
}

void qcTimeoutProp::timeout(double seconds) {
  requireRange_("timeout", seconds, 0.0, HUGE_VAL, "s");
  hookSet_(timeout_, seconds, [&](qc_AcqFifo& f) { f.timeout(seconds); });
}

void qcTimeoutProp::serialize_(qcArchive& ar, unsigned char) {
  double t = timeout_;
  ar || t;
  if (ar.isLoading()) timeout(t);
}
