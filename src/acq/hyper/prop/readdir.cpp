#include <qrn/acq/hyper/prop/readdir.h>

QC_IMPLEMENT_PERSISTENT(qcReadoutDirectionProp);

void qcReadoutDirectionProp::operator=(const qcReadoutDirectionProp& src) {
  assignUpdate_(src, [&] {
    reverseHorizReadoutEnable_ = src.reverseHorizReadoutEnable_;
    reverseVertReadoutEnable_ = src.reverseVertReadoutEnable_;
  });
}

void qcReadoutDirectionProp::reverseHorizReadoutEnable(bool on) { storeUpdate_(reverseHorizReadoutEnable_, on); }
void qcReadoutDirectionProp::reverseVertReadoutEnable(bool on) { storeUpdate_(reverseVertReadoutEnable_, on); }

void qcReadoutDirectionProp::serialize_(qcArchive& ar, unsigned char) {
  bool horizontal = reverseHorizReadoutEnable_, vertical = reverseVertReadoutEnable_;
  ar || horizontal || vertical;
  if (ar.isLoading()) {
    reverseHorizReadoutEnable_ = horizontal;
    reverseVertReadoutEnable_ = vertical;
    update_();
  }
}
