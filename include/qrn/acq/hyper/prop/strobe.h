// Strobe output of an acquisition FIFO: enable, pulse duration and polarity
// (qcStrobeProp), and the delay of the pulse (qcStrobeDelayProp).
#pragma once

#include <qrn/acq/hyper/prop/propbase.h>

// Strobe enable (default off), pulse duration in seconds (default 2e-5 s) and
// polarity (default active high).  Hook first: an associated FIFO's
// strobeEnable, strobePulseDuration and strobeHigh hear each value first.
class qcStrobeProp : public qc_PersistentProp<qcStrobeProp> {
public:
  QC_EXCEPTION(BadParams, qcException, 0x10000987);

  static constexpr bool defaultEnable = false;
  static constexpr double defaultDuration = 2e-5;
  static constexpr bool defaultHigh = true;

  qcStrobeProp() = default;
  // Throws BadParams for a duration below 0 (or NaN).
  qcStrobeProp(bool enable, double duration, bool high);
  qcStrobeProp(const qcStrobeProp&) = default;
  // Through the setters: enable, duration, polarity.
  qcStrobeProp& operator=(const qcStrobeProp& src);

  bool strobeEnable() const { return strobeEnable_; }
  void strobeEnable(bool on);
  double strobePulseDuration() const { return strobePulseDuration_; }
  // Throws BadParams below 0, above the limit or for NaN.  The limit is
  // unbounded, or, when the associated FIFO's settings database has setting
  // 1005, that setting's maximum.
  void strobePulseDuration(double seconds);
  bool strobeHigh() const { return strobeHigh_; }
  void strobeHigh(bool activeHigh);

private:
  QC_PERSISTENT_PROPERTY(qcStrobeProp, "acq/hyper/prop/strobe", 0);
  bool strobeEnable_ = defaultEnable;
  double strobePulseDuration_ = defaultDuration;
  bool strobeHigh_ = defaultHigh;
};

// Delay of the strobe pulse in seconds (default 0).  A free property accepts
// any number; an associated one whose FIFO's settings database has setting
// 1007 requires the value within that setting's minimum and maximum.  Hook
// first: the FIFO's strobeDelay(double) hears each value first.
// Archive version 1 holds seconds; version 0 (still read) held microseconds.
class qcStrobeDelayProp : public qc_PersistentProp<qcStrobeDelayProp> {
public:
  QC_EXCEPTION(BadParams, qcException, 0x100009AA);

  static constexpr double defaultStrobeDelay = 0.0;

  qcStrobeDelayProp() = default;
  // Throws BadParams for NaN.
  explicit qcStrobeDelayProp(double seconds);
  qcStrobeDelayProp(const qcStrobeDelayProp&) = default;
  qcStrobeDelayProp& operator=(const qcStrobeDelayProp& src);  // through the setter

  double strobeDelay() const { return strobeDelay_; }
  // Throws BadParams for NaN, or outside setting 1007's range (associated
  // only); FIFO errors pass.
  void strobeDelay(double seconds);

private:
  QC_PERSISTENT_PROPERTY(qcStrobeDelayProp, "acq/hyper/prop/strobe", 1);
  double strobeDelay_ = defaultStrobeDelay;
};
