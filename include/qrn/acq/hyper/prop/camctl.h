// Control of a digital camera through an acquisition FIFO: gain and master
// clock.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <qrn/acq/hyper/prop/propbase.h>

// High gain (default off) and the camera's master clock in megahertz, 5 to 40
// (default 32).  Hook first: the FIFO's selectHighGain and
// masterClockFrequency hear each value first.
class qcDigitalCameraControlProp : public qc_PersistentProp<qcDigitalCameraControlProp> {
public:
  // A master clock frequency outside 5 to 40 MHz, or NaN.
  QC_EXCEPTION(BadParams, qcException, 0x100009A9);

  // The values of a default-constructed property: normal gain, 32 MHz.
  static constexpr bool defaultSelectHighGain = false;
  static constexpr double defaultMasterClockFrequency = 32.0;
  // The accepted master clock frequencies in MHz, bounds included.
  static constexpr double minMasterClockFrequency = 5.0;
  static constexpr double maxMasterClockFrequency = 40.0;

  // A free property holding the defaults.
  qcDigitalCameraControlProp() = default;
  // A free property holding the values as given.  Throws BadParams for a
  // frequency outside 5 to 40 MHz (or NaN).
  qcDigitalCameraControlProp(bool highGain, double megahertz);
  // A copy holds src's values and is free.
  qcDigitalCameraControlProp(const qcDigitalCameraControlProp&) = default;
  // Through the setters: gain, then frequency.  The target keeps its
  // association; a FIFO exception stops the assignment where it occurs.
  qcDigitalCameraControlProp& operator=(const qcDigitalCameraControlProp& src);

  // Whether the camera runs at high gain.  An associated FIFO hears the value
  // before it is stored; a FIFO exception passes and leaves it unchanged.
  bool selectHighGain() const { return selectHighGain_; }
  void selectHighGain(bool on);
  // The camera's master clock in MHz.  The setter throws BadParams outside 5
  // to 40 MHz (or NaN); an associated FIFO hears the value before it is
  // stored, and a FIFO exception passes and leaves the value unchanged.
  double masterClockFrequency() const { return masterClockFrequency_; }
  void masterClockFrequency(double megahertz);

private:
  QC_PERSISTENT_PROPERTY(qcDigitalCameraControlProp, "acq/hyper/prop/camctl", 0);
  bool selectHighGain_ = defaultSelectHighGain;
  double masterClockFrequency_ = defaultMasterClockFrequency;
};

QRN_API_END
