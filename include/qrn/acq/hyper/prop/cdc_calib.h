// Calibration of a camera with correlated double sampling, through an
// acquisition FIFO.
#pragma once

#include <qrn/acq/hyper/prop/propbase.h>

// Outlier pixel correction (default off) with its maximum edge (0 to 127,
// default 85) and maximum noise (0 to 127, default 25), and camera
// calibration (default on).  Store, then update: the FIFO gets
// update(*this).  Association sets the correction flag to the FIFO's
// defaultOutlierPelCorrectionEnable() through the setter (the FIFO gets an
// update).  Archive version 0: the four values, direct.
class qcCdcCameraCalibrationProp : public qc_PersistentProp<qcCdcCameraCalibrationProp> {
public:
  QC_EXCEPTION(BadParams, qcException, 0x100009C2);

  static constexpr bool defaultOutlierPelCorrectionEnable = false;
  static constexpr unsigned char defaultOutlierPelMaxEdge = 85;
  static constexpr unsigned char defaultOutlierPelMaxNoise = 25;
  static constexpr bool defaultCameraCalibrationEnable = true;
  static constexpr unsigned char maxOutlierPelLimit = 127;

  qcCdcCameraCalibrationProp() = default;
  // Throws BadParams for a maximum edge or noise of 128 or more.
  qcCdcCameraCalibrationProp(bool correction, unsigned char maxEdge, unsigned char maxNoise, bool calibration);
  qcCdcCameraCalibrationProp(const qcCdcCameraCalibrationProp&) = default;
  // Update style: copies the values (unchecked), then tells the FIFO once.
  qcCdcCameraCalibrationProp& operator=(const qcCdcCameraCalibrationProp& src);

  bool outlierPelCorrectionEnable() const { return outlierPelCorrectionEnable_; }
  void outlierPelCorrectionEnable(bool on);
  unsigned char outlierPelMaxEdge() const { return outlierPelMaxEdge_; }
  // Throws BadParams for 128 or more.
  void outlierPelMaxEdge(unsigned char v);
  unsigned char outlierPelMaxNoise() const { return outlierPelMaxNoise_; }
  // Throws BadParams for 128 or more.
  void outlierPelMaxNoise(unsigned char v);
  bool cameraCalibrationEnable() const { return cameraCalibrationEnable_; }
  void cameraCalibrationEnable(bool on);

  // Associates, then outlierPelCorrectionEnable(f.defaultOutlierPelCorrectionEnable()).
  void fifo(qc_AcqFifo& f);

  bool operator==(const qcCdcCameraCalibrationProp& o) const;
  bool operator!=(const qcCdcCameraCalibrationProp& o) const { return !(*this == o); }

private:
  QC_PERSISTENT_PROPERTY(qcCdcCameraCalibrationProp, "acq/hyper/prop/cdc_calib", 0);
  bool outlierPelCorrectionEnable_ = defaultOutlierPelCorrectionEnable;
  unsigned char outlierPelMaxEdge_ = defaultOutlierPelMaxEdge;
  unsigned char outlierPelMaxNoise_ = defaultOutlierPelMaxNoise;
  bool cameraCalibrationEnable_ = defaultCameraCalibrationEnable;
};
