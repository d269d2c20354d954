// Trigger input filter of an acquisition FIFO.
#pragma once

#include <qrn/acq/hyper/prop/propbase.h>

// The trigger pulse width, the trigger period and the trigger delay (all in
// seconds), and whether missed triggers are ignored.  Store, then update: each
// setter checks and stores, then an associated FIFO gets update(*this).
// Archive version 1 (the flag, then width, period, delay) and version 0 (the
// three times; the flag becomes true) load directly, without checks.
class qcTriggerFilterProp : public qc_PersistentProp<qcTriggerFilterProp> {
public:
  QC_EXCEPTION(BadParams, qcException, 0x100009AD);

  static constexpr double defaultTriggerWidth = 5e-6;
  static constexpr double defaultTriggerPeriod = 0.0;
  static constexpr double defaultTriggerDelay = 0.0;
  static constexpr bool defaultIgnoreMissedTrigger = true;
  // The ranges (inclusive).  The delay's upper limit is replaced by the
  // maximum of setting 6002 when the associated FIFO has that setting.
  static constexpr double minTriggerWidth = 2.999e-6;
  static constexpr double maxTriggerWidth = 258.001e-6;
  static constexpr double maxTriggerPeriod = 65537.001e-6;
  static constexpr double maxTriggerDelay = 65535.001e-6;

  qcTriggerFilterProp() = default;
  // Throws BadParams for a value out of range.
  qcTriggerFilterProp(double width, double period, double delay, bool ignoreMissed);
  qcTriggerFilterProp(const qcTriggerFilterProp&) = default;
  // Update style: copies the values without checks, then tells the FIFO once.
  void operator=(const qcTriggerFilterProp& src);

  double triggerWidth() const { return triggerWidth_; }
  // Throws BadParams outside 2.999e-6 to 258.001e-6 s (or for NaN).
  void triggerWidth(double seconds);
  double triggerPeriod() const { return triggerPeriod_; }
  // Throws BadParams outside 0 to 65537.001e-6 s (or for NaN).
  void triggerPeriod(double seconds);
  double triggerDelay() const { return triggerDelay_; }
  // Throws BadParams below 0, above the limit (above) or for NaN.
  void triggerDelay(double seconds);
  bool ignoreMissedTrigger() const { return ignoreMissedTrigger_; }
  void ignoreMissedTrigger(bool on);

  // All values equal (doubles exactly).
  bool operator==(const qcTriggerFilterProp& o) const;
  bool operator!=(const qcTriggerFilterProp& o) const { return !(*this == o); }

private:
  QC_PERSISTENT_PROPERTY(qcTriggerFilterProp, "acq/hyper/prop/triggerfilter", 1);
  double triggerWidth_ = defaultTriggerWidth;
  double triggerPeriod_ = defaultTriggerPeriod;
  double triggerDelay_ = defaultTriggerDelay;
  bool ignoreMissedTrigger_ = defaultIgnoreMissedTrigger;
};
