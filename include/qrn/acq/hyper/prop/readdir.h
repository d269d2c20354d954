// Sensor readout direction of an acquisition FIFO.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <qrn/acq/hyper/prop/propbase.h>

// Reversed horizontal and vertical readout (default both off).  Store, then
// update: the FIFO gets update(*this).  Archive version 0: horizontal,
// vertical (direct).
class qcReadoutDirectionProp : public qc_PersistentProp<qcReadoutDirectionProp> {
public:
  // Both directions normal (not reversed).
  static constexpr bool defaultReverseHorizReadoutEnable = false;
  static constexpr bool defaultReverseVertReadoutEnable = false;

  // A free property, both directions normal.
  qcReadoutDirectionProp() = default;
  // A free property with the horizontal and vertical reversal as given.
  qcReadoutDirectionProp(bool horizontal, bool vertical)
      : reverseHorizReadoutEnable_(horizontal), reverseVertReadoutEnable_(vertical) {}
  // A copy holds src's values and is free.
  qcReadoutDirectionProp(const qcReadoutDirectionProp&) = default;
  // Update style: copies the values, then tells the FIFO once; the target
  // keeps its association.  Returns nothing (no chained assignment).
  void operator=(const qcReadoutDirectionProp& src);

  // Whether the sensor is read out right to left (horizontal) and bottom to
  // top (vertical).  A setter stores the value, then an associated FIFO gets
  // update(*this); a FIFO exception passes with the new value kept.
  bool reverseHorizReadoutEnable() const { return reverseHorizReadoutEnable_; }
  void reverseHorizReadoutEnable(bool on);
  bool reverseVertReadoutEnable() const { return reverseVertReadoutEnable_; }
  void reverseVertReadoutEnable(bool on);

  // Equal when both directions are equal; the association is not compared.
  bool operator==(const qcReadoutDirectionProp& o) const {
    return reverseHorizReadoutEnable_ == o.reverseHorizReadoutEnable_ &&
           reverseVertReadoutEnable_ == o.reverseVertReadoutEnable_;
  }
  bool operator!=(const qcReadoutDirectionProp& o) const { return !(*this == o); }

private:
  QC_PERSISTENT_PROPERTY(qcReadoutDirectionProp, "acq/hyper/prop/readdir", 0);
  bool reverseHorizReadoutEnable_ = defaultReverseHorizReadoutEnable;
  bool reverseVertReadoutEnable_ = defaultReverseVertReadoutEnable;
};

QRN_API_END
