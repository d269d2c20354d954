#include <qrn/acq/hyper/prop/offsetclamp.h>

QC_IMPLEMENT_PERSISTENT(qcOffsetClampProp);

qcOffsetClampProp& qcOffsetClampProp::operator=(const qcOffsetClampProp& src) {
  assignUpdate_(src, [&] { offsetClampMode_ = src.offsetClampMode_; });
  return *this;
}

void qcOffsetClampProp::offsetClampMode(OffsetClampModeType mode) { storeUpdate_(offsetClampMode_, mode); }

void qcOffsetClampProp::serialize_(qcArchive& ar, unsigned char) {
  long mode = offsetClampMode_;
  ar || mode;
  if (ar.isLoading()) {
    offsetClampMode_ = static_cast<OffsetClampModeType>(mode);
    update_();
  }
}
