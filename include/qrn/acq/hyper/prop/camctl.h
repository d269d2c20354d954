// Control of a digital camera through an acquisition FIFO: gain and master
// clock.
#pragma once

#include <qrn/acq/hyper/prop/propbase.h>

// High gain (default off) and the camera's master clock in megahertz, 5 to 40
// (default 32).  Hook first: the FIFO's selectHighGain and
// masterClockFrequency hear each value first.
class qcDigitalCameraControlProp : public qc_PersistentProp<qcDigitalCameraControlProp> {
public:
  QC_EXCEPTION(BadParams, qcException, 0x100009A9);

  static constexpr bool defaultSelectHighGain = false;
  static constexpr double defaultMasterClockFrequency = 32.0;
  static constexpr double minMasterClockFrequency = 5.0;
  static constexpr double maxMasterClockFrequency = 40.0;

  qcDigitalCameraControlProp() = default;
  // Throws BadParams for a frequency outside 5 to 40 MHz (or NaN).
  qcDigitalCameraControlProp(bool highGain, double megahertz);
  qcDigitalCameraControlProp(const qcDigitalCameraControlProp&) = default;
  // Through the setters: gain, then frequency.
  qcDigitalCameraControlProp& operator=(const qcDigitalCameraControlProp& src);

  bool selectHighGain() const { return selectHighGain_; }
  void selectHighGain(bool on);
  double masterClockFrequency() const { return masterClockFrequency_; }
  // Throws BadParams outside 5 to 40 MHz (or NaN); FIFO errors pass.
  void masterClockFrequency(double megahertz);

private:
  QC_PERSISTENT_PROPERTY(qcDigitalCameraControlProp, "acq/hyper/prop/camctl", 0);
  bool selectHighGain_ = defaultSelectHighGain;
  double masterClockFrequency_ = defaultMasterClockFrequency;
};
