#include <qrn/acq/hyper/prop/light.h>

QC_IMPLEMENT_PERSISTENT(qcLightProp);
QC_REGISTER_PERSISTENT(qcLightProp::BadParams);
QC_REGISTER_PERSISTENT(qcLightProp::NotSupported);

qcLightProp::qcLightProp(LightCallback cb, bool enable, double ratio, double power, double delay, long auxPort,
                         double auxRatio, double auxPower) {
  lightCallback(std::move(cb));
  lightEnable(enable);
  brightFieldPowerRatio(ratio);
  lightPower(power);
  lightDelay(delay);
  auxLightPort(auxPort);
  auxBrightFieldPowerRatio(auxRatio);
  auxLightPower(auxPower);
}

qcLightProp& qcLightProp::operator=(const qcLightProp& src) {
  lightCallback(src.lightCallback_);
  lightEnable(src.lightEnable_);
  brightFieldPowerRatio(src.brightFieldPowerRatio_);
  darkLevel(src.brightFieldPowerRatio_);
  lightPower(src.lightPower_);
  lightDelay(src.lightDelay_);
  auxLightPort(src.auxLightPort_);
  auxBrightFieldPowerRatio(src.auxBrightFieldPowerRatio_);
  auxDarkLevel(src.auxBrightFieldPowerRatio_);
  auxLightPower(src.auxLightPower_);
  return *this;
}

void qcLightProp::lightCallback(LightCallback cb) {
  if (fifo_) fifo_->lightCallback(cb);
  lightCallback_ = std::move(cb);
}

void qcLightProp::lightEnable(bool on) {
  hookSet_(lightEnable_, on, [&](qc_AcqFifo& f) { f.lightEnable(on); });
}

void qcLightProp::brightFieldPowerRatio(double ratio) {
  requireRange_("bright-field power ratio", ratio, 0.0, 1.0);
  hookSet_(brightFieldPowerRatio_, ratio, [&](qc_AcqFifo& f) { f.darkLevel(ratio); });
}

void qcLightProp::lightPower(double power) {
  requireRange_("light power", power, 0.0, 1.0);
  hookSet_(lightPower_, power, [&](qc_AcqFifo& f) { f.lightPower(power); });
}

void qcLightProp::lightDelay(double seconds) {
  requireRange_("light delay", seconds, 0.0, HUGE_VAL, "s");
  hookSet_(lightDelay_, seconds, [&](qc_AcqFifo& f) { f.lightDelay(seconds); });
}

void qcLightProp::auxLightPort(long port) {
  hookSet_(auxLightPort_, port, [&](qc_AcqFifo& f) { f.auxLightPort(port); });
}

void qcLightProp::auxBrightFieldPowerRatio(double ratio) {
  requireRange_("auxiliary bright-field power ratio", ratio, 0.0, 1.0);
  hookSet_(auxBrightFieldPowerRatio_, ratio, [&](qc_AcqFifo& f) { f.auxDarkLevel(ratio); });
}

void qcLightProp::auxLightPower(double power) {
  requireRange_("auxiliary light power", power, 0.0, 1.0);
  hookSet_(auxLightPower_, power, [&](qc_AcqFifo& f) { f.auxLightPower(power); });
}

bool qcLightProp::lightsOff() {
  lightPower_ = 0.0;
  auxLightPower_ = 0.0;
  return fifo_ ? fifo_->lightsOff() : false;
}

void qcLightProp::serialize_(qcArchive& ar, unsigned char) {
  double ratio = brightFieldPowerRatio_, power = lightPower_, delay = lightDelay_;
  long auxPort = auxLightPort_;
  double auxRatio = auxBrightFieldPowerRatio_, auxPower = auxLightPower_;
  ar || ratio || power || delay || auxPort || auxRatio || auxPower;
  if (ar.isLoading()) {
    brightFieldPowerRatio(ratio);
    lightPower(power);
    lightDelay(delay);
    auxLightPort(auxPort);
    auxBrightFieldPowerRatio(auxRatio);
    auxLightPower(auxPower);
  }
}
