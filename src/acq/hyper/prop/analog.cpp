#include <qrn/acq/hyper/prop/acqprops.h>

QC_IMPLEMENT_PERSISTENT(qcAnalogAcqProps);

qcAnalogAcqProps::~qcAnalogAcqProps() = default;

qcAnalogAcqProps& qcAnalogAcqProps::operator=(const qcAnalogAcqProps& src) {
  qcAcqProps::operator=(src);
  return *this;
}

qcAnalogAcqProps& qcAnalogAcqProps::operator=(const qcAcqProps& src) {
  if (&src == static_cast<const qcAcqProps*>(this)) return *this;
  qcAcqProps::operator=(src);
  return *this;
}

void qcAnalogAcqProps::dispatchSerialize(qcArchive& ar) {
  qf_propDispatch_(ar, static_cast<const qcAnalogAcqProps*>(this), typeid(qcAnalogAcqProps), archiveVersion_,
                   sourceFile_, __LINE__, [&](unsigned char v) {
                     qcAcqProps::dispatchSerialize(ar);
                     if (v == 0) {
                       // Old sets carried these after a version-0 inner set
                       // (which lacks them); members already read are skipped.
                       qc8BitInputLutProp::dispatchSerialize(ar);
                       qcContrastBrightnessProp::dispatchSerialize(ar);
                       qcFirstPelOffsetProp::dispatchSerialize(ar);
                       qcEncoderControlProp::dispatchSerialize(ar);
                       qcEncoderProp::dispatchSerialize(ar);
                       qcClippingProp::dispatchSerialize(ar);
                       qcAlphaColorProp::dispatchSerialize(ar);
                       qcDigitalCameraControlProp::dispatchSerialize(ar);
                     }
                   });
}
