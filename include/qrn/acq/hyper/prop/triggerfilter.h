// Trigger input filter of an acquisition FIFO.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <qrn/acq/hyper/prop/propbase.h>

// The trigger pulse width, the trigger period and the trigger delay (all in
// seconds), and whether missed triggers are ignored.  Store, then update: each
// setter checks and stores, then an associated FIFO gets update(*this).
// Archive version 1 (the flag, then width, period, delay) and version 0 (the
// three times; the flag becomes true) load directly, without checks.
class qcTriggerFilterProp : public qc_PersistentProp<qcTriggerFilterProp> {
public:
  // A width, period or delay out of range, or NaN.
  QC_EXCEPTION(BadParams, qcException, 0x100009AD);

  // The values of a default-constructed property: width 5e-6 s, period and
  // delay 0 s, missed triggers ignored.
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

  // A free property holding the defaults.
  qcTriggerFilterProp() = default;
  // A free property holding the values as given (through the setters).
  // Throws BadParams for a value out of range.
  qcTriggerFilterProp(double width, double period, double delay, bool ignoreMissed);
  // A copy holds src's values and is free.
  qcTriggerFilterProp(const qcTriggerFilterProp&) = default;
  // Update style: copies the values without checks, then tells the FIFO once;
  // the target keeps its association.  Returns nothing (no chained
  // assignment).
  void operator=(const qcTriggerFilterProp& src);

  // Each setter below checks and stores its value, then an associated FIFO
  // gets update(*this); a FIFO exception passes with the new value kept.

  // The trigger pulse width in seconds.  The setter throws BadParams outside
  // 2.999e-6 to 258.001e-6 s (or for NaN).
  double triggerWidth() const { return triggerWidth_; }
  void triggerWidth(double seconds);
  // The trigger period in seconds.  The setter throws BadParams outside 0 to
  // 65537.001e-6 s (or for NaN).
  double triggerPeriod() const { return triggerPeriod_; }
  void triggerPeriod(double seconds);
  // The trigger delay in seconds.  The setter throws BadParams below 0, above
  // the limit (maxTriggerDelay, or setting 6002's maximum; see above) or for
  // NaN.
  double triggerDelay() const { return triggerDelay_; }
  void triggerDelay(double seconds);
  // Whether missed triggers are ignored.
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

QRN_API_END
