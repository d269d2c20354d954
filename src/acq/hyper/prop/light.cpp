#include <qrn/acq/hyper/prop/light.h>

QC_IMPLEMENT_PERSISTENT(qcLightProp);
QC_REGISTER_PERSISTENT(qcLightProp::BadParams);
QC_REGISTER_PERSISTENT(qcLightProp::NotSupported);

namespace {
bool isFraction(double v) { return qf_propInRange(v, 0.0, 1.0); }
}  // namespace

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
  require_(isFraction(ratio));
  hookSet_(brightFieldPowerRatio_, ratio, [&](qc_AcqFifo& f) { f.darkLevel(ratio); });
}

void qcLightProp::lightPower(double power) {
  require_(isFraction(power));
  hookSet_(lightPower_, power, [&](qc_AcqFifo& f) { f.lightPower(power); });
}

void qcLightProp::lightDelay(double seconds) {
  require_(qf_propNotBelow(seconds, 0.0));
  hookSet_(lightDelay_, seconds, [&](qc_AcqFifo& f) { f.lightDelay(seconds); });
}

void qcLightProp::auxLightPort(long port) {
  hookSet_(auxLightPort_, port, [&](qc_AcqFifo& f) { f.auxLightPort(port); });
}

void qcLightProp::auxBrightFieldPowerRatio(double ratio) {
  require_(isFraction(ratio));
  hookSet_(auxBrightFieldPowerRatio_, ratio, [&](qc_AcqFifo& f) { f.auxDarkLevel(ratio); });
}

void qcLightProp::auxLightPower(double power) {
  require_(isFraction(power));
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
