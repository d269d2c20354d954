// Clipping of pixel values by an acquisition FIFO.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <qrn/acq/hyper/prop/propbase.h>

// The enable (default on) and the lower and upper limits (default 15 and
// 240).  Hook first: the FIFO's clippingEnable, clippingLowerLimit and
// clippingUpperLimit hear each value first.  Archive version 0: enable,
// lower, upper (loaded as clippingLimits(lower, upper), then the enable).
class qcClippingProp : public qc_PersistentProp<qcClippingProp> {
public:
  // The values of a default-constructed property: on, limits 15 and 240.
  static constexpr bool defaultClippingEnable = true;
  static constexpr unsigned char defaultClippingLowerLimit = 15;
  static constexpr unsigned char defaultClippingUpperLimit = 240;

  // A free property holding the defaults.
  qcClippingProp() = default;
  // A free property holding the values as given (not checked).
  qcClippingProp(bool enable, unsigned char lower, unsigned char upper);
  // A copy holds src's values and is free.
  qcClippingProp(const qcClippingProp&) = default;
  // Through the setters: enable, then the limits.  The target keeps its
  // association; a FIFO exception stops the assignment where it occurs.
  qcClippingProp& operator=(const qcClippingProp& src);

  // Whether clipping is on, and its lower and upper limits as 8-bit pixel
  // values (0..255; not checked, not even lower <= upper).  A setter stores
  // the value after an associated FIFO has heard it; a FIFO exception passes
  // and leaves the value unchanged.
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

QRN_API_END
