#include <qrn/acq/hyper/prop/triggerfilter.h>

QC_IMPLEMENT_PERSISTENT(qcTriggerFilterProp);
QC_REGISTER_PERSISTENT(qcTriggerFilterProp::BadParams);

qcTriggerFilterProp::qcTriggerFilterProp(double width, double period, double delay, bool ignoreMissed) {
  triggerWidth(width);
  triggerPeriod(period);
  triggerDelay(delay);
  ignoreMissedTrigger(ignoreMissed);
}

void qcTriggerFilterProp::operator=(const qcTriggerFilterProp& src) {
  assignUpdate_(src, [&] {
    triggerWidth_ = src.triggerWidth_;
    triggerPeriod_ = src.triggerPeriod_;
    triggerDelay_ = src.triggerDelay_;
    ignoreMissedTrigger_ = src.ignoreMissedTrigger_;
  });
}

void qcTriggerFilterProp::triggerWidth(double seconds) {
  requireRange_("trigger width", seconds, minTriggerWidth, maxTriggerWidth, "s");
  storeUpdate_(triggerWidth_, seconds);
}

void qcTriggerFilterProp::triggerPeriod(double seconds) {
  requireRange_("trigger period", seconds, 0.0, maxTriggerPeriod, "s");
  storeUpdate_(triggerPeriod_, seconds);
}

void qcTriggerFilterProp::triggerDelay(double seconds) {
  double limit = maxTriggerDelay;
  if (fifo_) {
    if (const qcSettingInfo* s = fifo_->getSettingInfo(qeSetting_TriggerDelay)) limit = s->maximum();
  }
  requireRange_("trigger delay", seconds, 0.0, limit, "s");
  storeUpdate_(triggerDelay_, seconds);
}

void qcTriggerFilterProp::ignoreMissedTrigger(bool on) { storeUpdate_(ignoreMissedTrigger_, on); }

bool qcTriggerFilterProp::operator==(const qcTriggerFilterProp& o) const {
  return this == &o || (triggerWidth_ == o.triggerWidth_ && triggerPeriod_ == o.triggerPeriod_ &&
                        triggerDelay_ == o.triggerDelay_ && ignoreMissedTrigger_ == o.ignoreMissedTrigger_);
}

void qcTriggerFilterProp::serialize_(qcArchive& ar, unsigned char version) {
  bool ignore = ignoreMissedTrigger_;
  double width = triggerWidth_, period = triggerPeriod_, delay = triggerDelay_;
  if (version >= 1) ar || ignore;
  ar || width || period || delay;
  if (ar.isLoading()) {
    triggerWidth_ = width;
    triggerPeriod_ = period;
    triggerDelay_ = delay;
    ignoreMissedTrigger_ = version >= 1 ? ignore : true;
    update_();
  }
}
