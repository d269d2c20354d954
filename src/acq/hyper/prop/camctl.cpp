#include <qrn/acq/hyper/prop/camctl.h>

QC_IMPLEMENT_PERSISTENT(qcDigitalCameraControlProp);
QC_REGISTER_PERSISTENT(qcDigitalCameraControlProp::BadParams);

qcDigitalCameraControlProp::qcDigitalCameraControlProp(bool highGain, double megahertz) {
  selectHighGain(highGain);
  masterClockFrequency(megahertz);
}

qcDigitalCameraControlProp& qcDigitalCameraControlProp::operator=(const qcDigitalCameraControlProp& src) {
  selectHighGain(src.selectHighGain_);
  masterClockFrequency(src.masterClockFrequency_);
  return *this;
}

void qcDigitalCameraControlProp::selectHighGain(bool on) {
  hookSet_(selectHighGain_, on, [&](qc_AcqFifo& f) { f.selectHighGain(on); });
}

void qcDigitalCameraControlProp::masterClockFrequency(double megahertz) {
  requireRange_("master clock frequency", megahertz, minMasterClockFrequency, maxMasterClockFrequency, "MHz");
  hookSet_(masterClockFrequency_, megahertz, [&](qc_AcqFifo& f) { f.masterClockFrequency(megahertz); });
}

void qcDigitalCameraControlProp::serialize_(qcArchive& ar, unsigned char) {
  bool highGain = selectHighGain_;
  double megahertz = masterClockFrequency_;
  ar || highGain || megahertz;
  if (ar.isLoading()) {
    selectHighGain(highGain);
    masterClockFrequency(megahertz);
  }
}
