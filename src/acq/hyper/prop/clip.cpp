#include <qrn/acq/hyper/prop/clip.h>

QC_IMPLEMENT_PERSISTENT(qcClippingProp);

qcClippingProp::qcClippingProp(bool enable, unsigned char lower, unsigned char upper)
    : clippingEnable_(enable), clippingLowerLimit_(lower), clippingUpperLimit_(upper) {}

qcClippingProp& qcClippingProp::operator=(const qcClippingProp& src) {
  clippingEnable(src.clippingEnable_);
  clippingLimits(src.clippingLowerLimit_, src.clippingUpperLimit_);
  return *this;
}

void qcClippingProp::clippingEnable(bool on) {
  hookSet_(clippingEnable_, on, [&](qc_AcqFifo& f) { f.clippingEnable(on); });
}

void qcClippingProp::clippingLowerLimit(unsigned char v) {
  hookSet_(clippingLowerLimit_, v, [&](qc_AcqFifo& f) { f.clippingLowerLimit(v); });
}

void qcClippingProp::clippingUpperLimit(unsigned char v) {
  hookSet_(clippingUpperLimit_, v, [&](qc_AcqFifo& f) { f.clippingUpperLimit(v); });
}

void qcClippingProp::clippingLimits(unsigned char lower, unsigned char upper) {
  clippingLowerLimit(lower);
  clippingUpperLimit(upper);
}

void qcClippingProp::serialize_(qcArchive& ar, unsigned char) {
  bool enable = clippingEnable_;
  unsigned char lower = clippingLowerLimit_, upper = clippingUpperLimit_;
  ar || enable || lower || upper;
  if (ar.isLoading()) {
    clippingLimits(lower, upper);
    clippingEnable(enable);
  }
}
