// Calibration of a camera with correlated double sampling, through an
// acquisition FIFO.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <qrn/acq/hyper/prop/propbase.h>

// Outlier pixel correction (default off) with its maximum edge (0 to 127,
// default 85) and maximum noise (0 to 127, default 25), and camera
// calibration (default on).  Store, then update: the FIFO gets
// update(*this).  Association sets the correction flag to the FIFO's
// defaultOutlierPelCorrectionEnable() through the setter (the FIFO gets an
// update).  Archive version 0: the four values, direct.
class qcCdcCameraCalibrationProp : public qc_PersistentProp<qcCdcCameraCalibrationProp> {
public:
  // A maximum edge or noise of 128 or more.
  QC_EXCEPTION(BadParams, qcException, 0x100009C2);

  // The values of a default-constructed property: correction off, maximum
  // edge 85, maximum noise 25, calibration on.
  static constexpr bool defaultOutlierPelCorrectionEnable = false;
  static constexpr unsigned char defaultOutlierPelMaxEdge = 85;
  static constexpr unsigned char defaultOutlierPelMaxNoise = 25;
  static constexpr bool defaultCameraCalibrationEnable = true;
  // The largest maximum edge and maximum noise accepted.
  static constexpr unsigned char maxOutlierPelLimit = 127;

  // A free property holding the defaults.
  qcCdcCameraCalibrationProp() = default;
  // A free property holding the values as given (through the setters).
  // Throws BadParams for a maximum edge or noise of 128 or more.
  qcCdcCameraCalibrationProp(bool correction, unsigned char maxEdge, unsigned char maxNoise, bool calibration);
  // A copy holds src's values and is free.
  qcCdcCameraCalibrationProp(const qcCdcCameraCalibrationProp&) = default;
  // Update style: copies the values (unchecked), then tells the FIFO once;
  // the target keeps its association.
  qcCdcCameraCalibrationProp& operator=(const qcCdcCameraCalibrationProp& src);

  // Each setter below stores its value, then an associated FIFO gets
  // update(*this); a FIFO exception passes with the new value kept.

  // Whether outlier pixels are corrected.
  bool outlierPelCorrectionEnable() const { return outlierPelCorrectionEnable_; }
  void outlierPelCorrectionEnable(bool on);
  // The maximum edge of outlier pixel correction, 0 to 127.  The setter
  // throws BadParams for 128 or more.
  unsigned char outlierPelMaxEdge() const { return outlierPelMaxEdge_; }
  void outlierPelMaxEdge(unsigned char v);
  // The maximum noise of outlier pixel correction, 0 to 127.  The setter
  // throws BadParams for 128 or more.
  unsigned char outlierPelMaxNoise() const { return outlierPelMaxNoise_; }
  void outlierPelMaxNoise(unsigned char v);
  // Whether the camera is calibrated.
  bool cameraCalibrationEnable() const { return cameraCalibrationEnable_; }
  void cameraCalibrationEnable(bool on);

  // Associates, then outlierPelCorrectionEnable(f.defaultOutlierPelCorrectionEnable()).
  void fifo(qc_AcqFifo& f);

  // Equal when all four values are equal; the association is not compared.
  bool operator==(const qcCdcCameraCalibrationProp& o) const;
  bool operator!=(const qcCdcCameraCalibrationProp& o) const { return !(*this == o); }

private:
  QC_PERSISTENT_PROPERTY(qcCdcCameraCalibrationProp, "acq/hyper/prop/cdc_calib", 0);
  bool outlierPelCorrectionEnable_ = defaultOutlierPelCorrectionEnable;
  unsigned char outlierPelMaxEdge_ = defaultOutlierPelMaxEdge;
  unsigned char outlierPelMaxNoise_ = defaultOutlierPelMaxNoise;
  bool cameraCalibrationEnable_ = defaultCameraCalibrationEnable;
};

QRN_API_END
