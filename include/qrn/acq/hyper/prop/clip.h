// Clipping of pixel values by an acquisition FIFO.
#pragma once

#include <qrn/acq/hyper/prop/propbase.h>

// The enable (default on) and the lower and upper limits (default 15 and
// 240).  Hook first: the FIFO's clippingEnable, clippingLowerLimit and
// clippingUpperLimit hear each value first.  Archive version 0: enable,
// lower, upper (loaded as clippingLimits(lower, upper), then the enable).
class qcClippingProp : public qc_PersistentProp<qcClippingProp> {
public:
  static constexpr bool defaultClippingEnable = true;
  static constexpr unsigned char defaultClippingLowerLimit = 15;
  static constexpr unsigned char defaultClippingUpperLimit = 240;

  qcClippingProp() = default;
  qcClippingProp(bool enable, unsigned char lower, unsigned char upper);
  qcClippingProp(const qcClippingProp&) = default;
  // Through the setters: enable, then the limits.
  qcClippingProp& operator=(const qcClippingProp& src);

  bool clippingEnable() const { return clippingEnable_; }
  void clippingEnable(bool on);
  unsigned char clippingLowerLimit() const { return clippingLowerLimit_; }
  void clippingLowerLimit(unsigned char v);
  unsigned char clippingUpperLimit() const { return clippingUpperLimit_; }
  void clippingUpperLimit(unsigned char v);
  // clippingLowerLimit(lower), then clippingUpperLimit(upper).
  void clippingLimits(unsigned char lower, unsigned char upper);

private:
  QC_PERSISTENT_PROPERTY(qcClippingProp, "acq/hyper/prop/clip", 0);
  bool clippingEnable_ = defaultClippingEnable;
  unsigned char clippingLowerLimit_ = defaultClippingLowerLimit;
  unsigned char clippingUpperLimit_ = defaultClippingUpperLimit;
};
