#include <qrn/acq/hyper/prop/cti.h>

QC_IMPLEMENT_PERSISTENT(qcCtiProp);
QC_REGISTER_PERSISTENT(qcCtiProp::BadParams);
QC_REGISTER_PERSISTENT(qcCtiProp::NoFrameGrabber);

qcCtiProp::qcCtiProp(double seconds) { ctiOffset(seconds); }

qcCtiProp& qcCtiProp::operator=(const qcCtiProp& src) {
  ctiOffset(src.ctiOffset_);
  return *this;
}

void qcCtiProp::ctiOffset(double seconds) {
  requireRange_("CTI offset", seconds, 0.0, HUGE_VAL, "s");
  hookSet_(ctiOffset_, seconds, [&](qc_AcqFifo& f) { f.ctiOffset(seconds); });
}

double qcCtiProp::actualCtiOffset() const {
  if (!fifo_) throw NoFrameGrabber();
  return fifo_->actualCtiOffset();
}

void qcCtiProp::serialize_(qcArchive& ar, unsigned char) {
  double v = ctiOffset_;
  ar || v;
  if (ar.isLoading()) ctiOffset(v);
}
