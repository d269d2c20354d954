#include <qrn/acq/hyper/prop/acqprops.h>

QC_IMPLEMENT_PERSISTENT(qcAcqProps);

qcAcqProps::~qcAcqProps() = default;

qcAcqProps& qcAcqProps::operator=(const qcAcqProps& src) {
  qcTriggerProp::operator=(src);
  qcTriggerFilterProp::operator=(src);
  qcStrobeProp::operator=(src);
  qcStrobeDelayProp::operator=(src);
  qcExposureProp::operator=(src);
  qcSettlingTimeProp::operator=(src);
  qcTimeoutProp::operator=(src);
  qcCameraPortProp::operator=(src);
  qcCameraLocationProp::operator=(src);
  qcMovePartCallbackProp::operator=(src);
  qcOverrunCallbackProp::operator=(src);
  qcCompleteCallbackProp::operator=(src);
  qcPelRootPoolProp::operator=(src);
  qcCtiProp::operator=(src);
  qcHorizAdjustProp::operator=(src);
  qcRoiProp::operator=(src);
  qcSyncProp::operator=(src);
  qcLightProp::operator=(src);
  qc8BitInputLutProp::operator=(src);
  qcContrastBrightnessProp::operator=(src);
  qcFirstPelOffsetProp::operator=(src);
  qcEncoderControlProp::operator=(src);
  qcEncoderProp::operator=(src);
  qcClippingProp::operator=(src);
  qcOffsetClampProp::operator=(src);
  qcAlphaColorProp::operator=(src);
  qcDigitalCameraControlProp::operator=(src);
  qcCameraTestProp::operator=(src);
  qcSampleProp::operator=(src);
  qcReadoutDirectionProp::operator=(src);
  qcCdcCameraCalibrationProp::operator=(src);
  qcCameraBandwidthProp::operator=(src);
  qcCustomProp::operator=(src);
  return *this;
}

void qcAcqProps::fifo(qc_AcqFifo& f) {
  qcTriggerProp::fifo(f);
  qcStrobeProp::fifo(f);
  qcStrobeDelayProp::fifo(f);
  qcCameraBandwidthProp::fifo(f);
  qcExposureProp::fifo(f);
  qcTimeoutProp::fifo(f);
  qcCameraPortProp::fifo(f);
  qcCameraLocationProp::fifo(f);
  qcMovePartCallbackProp::fifo(f);
  qcCompleteCallbackProp::fifo(f);
  qcPelRootPoolProp::fifo(f);
  qcCtiProp::fifo(f);
  qcHorizAdjustProp::fifo(f);
  qcRoiProp::fifo(f);
  qcSyncProp::fifo(f);
  qcLightProp::fifo(f);
  qc8BitInputLutProp::fifo(f);
  qcContrastBrightnessProp::fifo(f);
  qcFirstPelOffsetProp::fifo(f);
  qcEncoderControlProp::fifo(f);
  qcEncoderProp::fifo(f);
  qcClippingProp::fifo(f);
  qcOffsetClampProp::fifo(f);
  qcAlphaColorProp::fifo(f);
  qcDigitalCameraControlProp::fifo(f);
  qcSettlingTimeProp::fifo(f);
  qcOverrunCallbackProp::fifo(f);
  qcTriggerFilterProp::fifo(f);
  qcCameraTestProp::fifo(f);
  qcSampleProp::fifo(f);
  qcReadoutDirectionProp::fifo(f);
  qcCdcCameraCalibrationProp::fifo(f);
  qcCustomProp::fifo(f);
}

void qcAcqProps::clearFifoAssociation() {
  qcTriggerProp::clearFifoAssociation();
  qcTriggerFilterProp::clearFifoAssociation();
  qcStrobeProp::clearFifoAssociation();
  qcStrobeDelayProp::clearFifoAssociation();
  qcExposureProp::clearFifoAssociation();
  qcSettlingTimeProp::clearFifoAssociation();
  qcTimeoutProp::clearFifoAssociation();
  qcCameraPortProp::clearFifoAssociation();
  qcCameraLocationProp::clearFifoAssociation();
  qcMovePartCallbackProp::clearFifoAssociation();
  qcOverrunCallbackProp::clearFifoAssociation();
  qcCompleteCallbackProp::clearFifoAssociation();
  qcPelRootPoolProp::clearFifoAssociation();
  qcCtiProp::clearFifoAssociation();
  qcHorizAdjustProp::clearFifoAssociation();
  qcRoiProp::clearFifoAssociation();
  qcSyncProp::clearFifoAssociation();
  qcLightProp::clearFifoAssociation();
  qc8BitInputLutProp::clearFifoAssociation();
  qcContrastBrightnessProp::clearFifoAssociation();
  qcFirstPelOffsetProp::clearFifoAssociation();
  qcEncoderControlProp::clearFifoAssociation();
  qcEncoderProp::clearFifoAssociation();
  qcClippingProp::clearFifoAssociation();
  qcOffsetClampProp::clearFifoAssociation();
  qcAlphaColorProp::clearFifoAssociation();
  qcDigitalCameraControlProp::clearFifoAssociation();
  qcCameraTestProp::clearFifoAssociation();
  qcSampleProp::clearFifoAssociation();
  qcReadoutDirectionProp::clearFifoAssociation();
  qcCdcCameraCalibrationProp::clearFifoAssociation();
  qcCameraBandwidthProp::clearFifoAssociation();
  qcCustomProp::clearFifoAssociation();
}

void qcAcqProps::dispatchSerialize(qcArchive& ar) {
  qf_propDispatch_(ar, static_cast<const qcAcqProps*>(this), typeid(qcAcqProps), archiveVersion_, sourceFile_,
                   __LINE__, [&](unsigned char v) {
                     qcTriggerProp::dispatchSerialize(ar);
                     qcStrobeProp::dispatchSerialize(ar);
                     qcExposureProp::dispatchSerialize(ar);
                     qcTimeoutProp::dispatchSerialize(ar);
                     qcCameraPortProp::dispatchSerialize(ar);
                     qcMovePartCallbackProp::dispatchSerialize(ar);
                     qcCompleteCallbackProp::dispatchSerialize(ar);
                     qcCtiProp::dispatchSerialize(ar);
                     qcHorizAdjustProp::dispatchSerialize(ar);
                     qcRoiProp::dispatchSerialize(ar);
                     qcSyncProp::dispatchSerialize(ar);
                     qcLightProp::dispatchSerialize(ar);
                     if (v >= 1) {
                       qc8BitInputLutProp::dispatchSerialize(ar);
                       qcContrastBrightnessProp::dispatchSerialize(ar);
                       qcFirstPelOffsetProp::dispatchSerialize(ar);
                       qcEncoderControlProp::dispatchSerialize(ar);
                       qcEncoderProp::dispatchSerialize(ar);
                       qcClippingProp::dispatchSerialize(ar);
                       qcAlphaColorProp::dispatchSerialize(ar);
                       qcDigitalCameraControlProp::dispatchSerialize(ar);
                       qcSettlingTimeProp::dispatchSerialize(ar);
                       qcOverrunCallbackProp::dispatchSerialize(ar);
                       qcStrobeDelayProp::dispatchSerialize(ar);
                     }
                     if (v >= 2) {
                       qcOffsetClampProp::dispatchSerialize(ar);
                       qcTriggerFilterProp::dispatchSerialize(ar);
                       qcCameraTestProp::dispatchSerialize(ar);
                       qcSampleProp::dispatchSerialize(ar);
                       qcReadoutDirectionProp::dispatchSerialize(ar);
                     }
                     if (v >= 3) qcCdcCameraCalibrationProp::dispatchSerialize(ar);
                     if (v >= 4) qcCameraBandwidthProp::dispatchSerialize(ar);
                   });
}
