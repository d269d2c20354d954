#include <qrn/acq/hyper/prop/cameratest.h>

QC_IMPLEMENT_PERSISTENT(qcCameraTestProp);

void qcCameraTestProp::operator=(const qcCameraTestProp& src) {
  assignUpdate_(src, [&] {
    testPatternEnable_ = src.testPatternEnable_;
    testPatternMode_ = src.testPatternMode_;
    flatFieldValue_ = src.flatFieldValue_;
  });
}

void qcCameraTestProp::testPatternEnable(bool on) { storeUpdate_(testPatternEnable_, on); }
void qcCameraTestProp::testPatternMode(TestPatternType mode) { storeUpdate_(testPatternMode_, mode); }
void qcCameraTestProp::flatFieldValue(unsigned char v) { storeUpdate_(flatFieldValue_, v); }

bool qcCameraTestProp::operator==(const qcCameraTestProp& o) const {
  return testPatternEnable_ == o.testPatternEnable_ && testPatternMode_ == o.testPatternMode_ &&
         flatFieldValue_ == o.flatFieldValue_;
}

void qcCameraTestProp::serialize_(qcArchive& ar, unsigned char) {
  bool enable = testPatternEnable_;
  long mode = testPatternMode_;
  unsigned char flat = flatFieldValue_;
  ar || enable || mode || flat;
  if (ar.isLoading()) {
    testPatternEnable_ = enable;
    testPatternMode_ = static_cast<TestPatternType>(mode);
    flatFieldValue_ = flat;
    update_();
  }
}
