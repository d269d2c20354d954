#include <cmath>

#include <qrn/acq/hyper/prop/strobe.h>

QC_IMPLEMENT_PERSISTENT(qcStrobeProp);
QC_IMPLEMENT_PERSISTENT(qcStrobeDelayProp);
QC_REGISTER_PERSISTENT(qcStrobeProp::BadParams);
QC_REGISTER_PERSISTENT(qcStrobeDelayProp::BadParams);

// ---- qcStrobeProp ----------------------------------------------------------------

qcStrobeProp::qcStrobeProp(bool enable, double duration, bool high) {
  strobeEnable(enable);
  strobePulseDuration(duration);
  strobeHigh(high);
}

qcStrobeProp& qcStrobeProp::operator=(const qcStrobeProp& src) {
  strobeEnable(src.strobeEnable_);
  strobePulseDuration(src.strobePulseDuration_);
  strobeHigh(src.strobeHigh_);
  return *this;
}

void qcStrobeProp::strobeEnable(bool on) {
  hookSet_(strobeEnable_, on, [&](qc_AcqFifo& f) { f.strobeEnable(on); });
}

void qcStrobeProp::strobePulseDuration(double seconds) {
  double limit = HUGE_VAL;
  if (fifo_) {
    if (const qcSettingInfo* s = fifo_->getSettingInfo(qeSetting_StrobePulseDuration)) limit = s->maximum();
  }
  requireRange_("strobe pulse duration", seconds, 0.0, limit, "s");
  hookSet_(strobePulseDuration_, seconds, [&](qc_AcqFifo& f) { f.strobePulseDuration(seconds); });
}

void qcStrobeProp::strobeHigh(bool activeHigh) {
  hookSet_(strobeHigh_, activeHigh, [&](qc_AcqFifo& f) { f.strobeHigh(activeHigh); });
}

void qcStrobeProp::serialize_(qcArchive& ar, unsigned char) {
  bool enable = strobeEnable_;
  double duration = strobePulseDuration_;
  bool high = strobeHigh_;
  ar || enable || duration || high;
  if (ar.isLoading()) {
    strobeEnable(enable);
    strobePulseDuration(duration);
    strobeHigh(high);
  }
}

// ---- qcStrobeDelayProp -------------------------------------------------------------

qcStrobeDelayProp::qcStrobeDelayProp(double seconds) { strobeDelay(seconds); }

qcStrobeDelayProp& qcStrobeDelayProp::operator=(const qcStrobeDelayProp& src) {
  strobeDelay(src.strobeDelay_);
  return *this;
}

void qcStrobeDelayProp::strobeDelay(double seconds) {
  require_(!std::isnan(seconds), "strobe delay is not a number");
  if (fifo_) {
    if (const qcSettingInfo* s = fifo_->getSettingInfo(qeSetting_StrobeDelay))
      requireRange_("strobe delay", seconds, s->minimum(), s->maximum(), "s");
  }
  hookSet_(strobeDelay_, seconds, [&](qc_AcqFifo& f) { f.strobeDelay(seconds); });
}

void qcStrobeDelayProp::serialize_(qcArchive& ar, unsigned char version) {
  double seconds = strobeDelay_;
  if (version == 0) {
    // Only read: whole microseconds.
    unsigned long micro = 0;
    ar || micro;
    seconds = static_cast<double>(micro) * 1e-6;
  } else {
    ar || seconds;
  }
  if (ar.isLoading()) strobeDelay(seconds);
}
