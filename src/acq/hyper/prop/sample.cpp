#include <qrn/acq/hyper/prop/sample.h>

QC_IMPLEMENT_PERSISTENT(qcSampleProp);

void qcSampleProp::operator=(const qcSampleProp& src) {
  assignUpdate_(src, [&] {
    sampleX_ = src.sampleX_;
    sampleY_ = src.sampleY_;
  });
}

void qcSampleProp::sampleX(long x) { storeUpdate_(sampleX_, x); }
void qcSampleProp::sampleY(long y) { storeUpdate_(sampleY_, y); }

void qcSampleProp::serialize_(qcArchive& ar, unsigned char) {
  long x = sampleX_, y = sampleY_;
  ar || x || y;
  if (ar.isLoading()) {
    sampleX_ = x;
    sampleY_ = y;
    update_();
  }
}
