// Strobe output of an acquisition FIFO: enable, pulse duration and polarity
// (qcStrobeProp), and the delay of the pulse (qcStrobeDelayProp).
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <qrn/acq/hyper/prop/propbase.h>

// Strobe enable (default off), pulse duration in seconds (default 2e-5 s) and
// polarity (default active high).  Hook first: an associated FIFO's
// strobeEnable, strobePulseDuration and strobeHigh hear each value first.
class qcStrobeProp : public qc_PersistentProp<qcStrobeProp> {
public:
  // A negative pulse duration, one above the FIFO's limit, or NaN.
  QC_EXCEPTION(BadParams, qcException, 0x10000987);

  // The values of a default-constructed property: strobe off, pulses of
  // 2e-5 s, active high.
  static constexpr bool defaultEnable = false;
  static constexpr double defaultDuration = 2e-5;
  static constexpr bool defaultHigh = true;

  // A free property holding the defaults.
  qcStrobeProp() = default;
  // A free property holding the values as given (through the setters).
  // Throws BadParams for a duration below 0 (or NaN).
  qcStrobeProp(bool enable, double duration, bool high);
  // A copy holds src's values and is free.
  qcStrobeProp(const qcStrobeProp&) = default;
  // Through the setters: enable, duration, polarity.  The target keeps its
  // association; a refused duration or a FIFO exception stops the assignment
  // where it occurs.
  qcStrobeProp& operator=(const qcStrobeProp& src);

  // Each setter below passes its value to an associated FIFO before storing
  // it; a FIFO exception passes and leaves the value unchanged.

  // Whether the FIFO drives the strobe output.
  bool strobeEnable() const { return strobeEnable_; }
  void strobeEnable(bool on);
  // The pulse duration in seconds.  The setter throws BadParams below 0,
  // above the limit or for NaN.  The limit is unbounded, or, when the
  // associated FIFO's settings database has setting 1005, that setting's
  // maximum.
  double strobePulseDuration() const { return strobePulseDuration_; }
  void strobePulseDuration(double seconds);
  // The polarity: true for an active-high pulse, false for active low.
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
  // A NaN delay, or one outside the associated FIFO's range (setting 1007).
  QC_EXCEPTION(BadParams, qcException, 0x100009AA);

  // No delay.
  static constexpr double defaultStrobeDelay = 0.0;

  // A free property holding 0 s.
  qcStrobeDelayProp() = default;
  // A free property holding `seconds` (any number).  Throws BadParams for
  // NaN.
  explicit qcStrobeDelayProp(double seconds);
  // A copy holds src's delay and is free.  Assignment passes src's value
  // through the setter (checked against the target's FIFO, which hears it)
  // and keeps the target's association.
  qcStrobeDelayProp(const qcStrobeDelayProp&) = default;
  qcStrobeDelayProp& operator=(const qcStrobeDelayProp& src);

  // The delay of the strobe pulse in seconds.  The setter throws BadParams
  // for NaN, or outside setting 1007's range (associated only); an
  // associated FIFO hears the value before it is stored, and a FIFO
  // exception passes and leaves the value unchanged.
  double strobeDelay() const { return strobeDelay_; }
  void strobeDelay(double seconds);

private:
  QC_PERSISTENT_PROPERTY(qcStrobeDelayProp, "acq/hyper/prop/strobe", 1);
  double strobeDelay_ = defaultStrobeDelay;
};

QRN_API_END
