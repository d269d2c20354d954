#include <qrn/acq/hyper/prop/horizadj.h>

QC_IMPLEMENT_PERSISTENT(qcHorizAdjustProp);
QC_REGISTER_PERSISTENT(qcHorizAdjustProp::BadParams);
QC_REGISTER_PERSISTENT(qcHorizAdjustProp::NoFrameGrabber);

qcHorizAdjustProp::qcHorizAdjustProp(double seconds) { horizAdjust(seconds); }

qcHorizAdjustProp& qcHorizAdjustProp::operator=(const qcHorizAdjustProp& src) {
  horizAdjust(src.horizAdjust_);
  return *this;
}

void qcHorizAdjustProp::horizAdjust(double seconds) {
  requireRange_("horizontal adjust", seconds, 0.0, HUGE_VAL, "s");
  hookSet_(horizAdjust_, seconds, [&](qc_AcqFifo& f) { f.horizAdjust(seconds); });
}

double qcHorizAdjustProp::actualHorizAdjust() const {
  if (!fifo_) throw NoFrameGrabber();
  return fifo_->actualHorizAdjust();
}

void qcHorizAdjustProp::serialize_(qcArchive& ar, unsigned char) {
  double v = horizAdjust_;
  ar || v;
  if (ar.isLoading()) horizAdjust(v);
}
