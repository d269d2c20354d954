// The horizontal adjust of an acquisition FIFO.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <cmath>

#include <qrn/acq/hyper/prop/propbase.h>

// The horizontal adjust (the delay from the line start to the first
// active pixel), in seconds, 0 or more.
// HUGE_VAL (the default) asks for the video format's own value.
// Hook first: an associated FIFO's horizAdjust(double) hears each
// value first.
class qcHorizAdjustProp : public qc_PersistentProp<qcHorizAdjustProp> {
public:
  // A negative horizontal adjust, or NaN.
  QC_EXCEPTION(BadParams, qcException, 0x1000099A);
  // actualHorizAdjust() asked of a free property.
  QC_EXCEPTION(NoFrameGrabber, qcException, 0x1000099B);

  // The video format's own value.
  static constexpr double defaultHorizAdjust = HUGE_VAL;

  // A free property holding defaultHorizAdjust (the format's own value).
  qcHorizAdjustProp() = default;
  // A free property holding `seconds`.  Throws BadParams for a value below 0
  // (or NaN).
  explicit qcHorizAdjustProp(double seconds);
  // A copy holds src's request and is free.  Assignment passes src's value
  // through the setter (checked; an associated target's FIFO hears it) and
  // keeps the target's association.
  qcHorizAdjustProp(const qcHorizAdjustProp&) = default;
  qcHorizAdjustProp& operator=(const qcHorizAdjustProp& src);

  // The requested horizontal adjust in seconds (HUGE_VAL: the format's own value).
  // The setter throws BadParams for a value below 0 (or NaN); an associated
  // FIFO hears the value before it is stored, and a FIFO exception passes and
  // leaves the value unchanged.
  double horizAdjust() const { return horizAdjust_; }
  void horizAdjust(double seconds);
  // The value the FIFO actually uses (the format's own one when HUGE_VAL was
  // requested).  Throws NoFrameGrabber on a free property.
  double actualHorizAdjust() const;

private:
  QC_PERSISTENT_PROPERTY(qcHorizAdjustProp, "acq/hyper/prop/horizadj", 0);
  double horizAdjust_ = defaultHorizAdjust;
};

QRN_API_END
