// Sensor readout direction of an acquisition FIFO.
#pragma once

#include <qrn/acq/hyper/prop/propbase.h>

// Reversed horizontal and vertical readout (default both off).  Store, then
// update: the FIFO gets update(*this).  Archive version 0: horizontal,
// vertical (direct).
class qcReadoutDirectionProp : public qc_PersistentProp<qcReadoutDirectionProp> {
public:
  static constexpr bool defaultReverseHorizReadoutEnable = false;
  static constexpr bool defaultReverseVertReadoutEnable = false;

  qcReadoutDirectionProp() = default;
  qcReadoutDirectionProp(bool horizontal, bool vertical)
      : reverseHorizReadoutEnable_(horizontal), reverseVertReadoutEnable_(vertical) {}
  qcReadoutDirectionProp(const qcReadoutDirectionProp&) = default;
  // Update style: copies the values, then tells the FIFO once.
  void operator=(const qcReadoutDirectionProp& src);

  bool reverseHorizReadoutEnable() const { return reverseHorizReadoutEnable_; }
  void reverseHorizReadoutEnable(bool on);
  bool reverseVertReadoutEnable() const { return reverseVertReadoutEnable_; }
  void reverseVertReadoutEnable(bool on);

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
