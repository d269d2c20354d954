#include <qrn/acq/hyper/prop/cdc_calib.h>

QC_IMPLEMENT_PERSISTENT(qcCdcCameraCalibrationProp);
QC_REGISTER_PERSISTENT(qcCdcCameraCalibrationProp::BadParams);

qcCdcCameraCalibrationProp::qcCdcCameraCalibrationProp(bool correction, unsigned char maxEdge,
                                                       unsigned char maxNoise, bool calibration) {
  outlierPelCorrectionEnable(correction);
  outlierPelMaxEdge(maxEdge);
  outlierPelMaxNoise(maxNoise);
  cameraCalibrationEnable(calibration);
}

qcCdcCameraCalibrationProp& qcCdcCameraCalibrationProp::operator=(const qcCdcCameraCalibrationProp& src) {
  assignUpdate_(src, [&] {
    outlierPelCorrectionEnable_ = src.outlierPelCorrectionEnable_;
    outlierPelMaxEdge_ = src.outlierPelMaxEdge_;
    outlierPelMaxNoise_ = src.outlierPelMaxNoise_;
    cameraCalibrationEnable_ = src.cameraCalibrationEnable_;
  });
  return *this;
}

void qcCdcCameraCalibrationProp::outlierPelCorrectionEnable(bool on) { storeUpdate_(outlierPelCorrectionEnable_, on); }

void qcCdcCameraCalibrationProp::outlierPelMaxEdge(unsigned char v) {
  require_(v <= maxOutlierPelLimit);
  storeUpdate_(outlierPelMaxEdge_, v);
}

void qcCdcCameraCalibrationProp::outlierPelMaxNoise(unsigned char v) {
  require_(v <= maxOutlierPelLimit);
  storeUpdate_(outlierPelMaxNoise_, v);
}

void qcCdcCameraCalibrationProp::cameraCalibrationEnable(bool on) { storeUpdate_(cameraCalibrationEnable_, on); }

void qcCdcCameraCalibrationProp::fifo(qc_AcqFifo& f) {
  qc_Prop::fifo(f);
  outlierPelCorrectionEnable(f.defaultOutlierPelCorrectionEnable());
}

bool qcCdcCameraCalibrationProp::operator==(const qcCdcCameraCalibrationProp& o) const {
  return outlierPelCorrectionEnable_ == o.outlierPelCorrectionEnable_ && outlierPelMaxEdge_ == o.outlierPelMaxEdge_ &&
         outlierPelMaxNoise_ == o.outlierPelMaxNoise_ && cameraCalibrationEnable_ == o.cameraCalibrationEnable_;
}

void qcCdcCameraCalibrationProp::serialize_(qcArchive& ar, unsigned char) {
  bool correction = outlierPelCorrectionEnable_, calibration = cameraCalibrationEnable_;
  unsigned char maxEdge = outlierPelMaxEdge_, maxNoise = outlierPelMaxNoise_;
  ar || correction || maxEdge || maxNoise || calibration;
  if (ar.isLoading()) {
    outlierPelCorrectionEnable_ = correction;
    outlierPelMaxEdge_ = maxEdge;
    outlierPelMaxNoise_ = maxNoise;
    cameraCalibrationEnable_ = calibration;
    update_();
  }
}
