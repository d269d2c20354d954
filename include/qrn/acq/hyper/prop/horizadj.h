// The horizontal adjust of an acquisition FIFO.
#pragma once

#include <cmath>

#include <qrn/acq/hyper/prop/propbase.h>

// The horizontal adjust (the delay from the line start to the first
// active pixel), in seconds, 0 or more.
// HUGE_VAL (the default) asks for the video format's own value.
// Hook first: an associated FIFO's horizAdjust(double) hears each
// value first.
class qcHorizAdjustProp : public qc_PersistentProp<qcHorizAdjustProp> {
public:
  QC_EXCEPTION(BadParams, qcException, 0x1000099A);
  QC_EXCEPTION(NoFrameGrabber, qcException, 0x1000099B);

  static constexpr double defaultHorizAdjust = HUGE_VAL;

  qcHorizAdjustProp() = default;
  // Throws BadParams for a value below 0 (or NaN).
  explicit qcHorizAdjustProp(double seconds);
  qcHorizAdjustProp(const qcHorizAdjustProp&) = default;
  qcHorizAdjustProp& operator=(const qcHorizAdjustProp& src);  // through the setter

  // The requested value.
  double horizAdjust() const { return horizAdjust_; }
  // Throws BadParams for a value below 0 (or NaN); FIFO errors pass.
  void horizAdjust(double seconds);
  // The value the FIFO actually uses (the format's own one when HUGE_VAL was
  // requested).  Throws NoFrameGrabber on a free property.
  double actualHorizAdjust() const;

private:
  QC_PERSISTENT_PROPERTY(qcHorizAdjustProp, "acq/hyper/prop/horizadj", 0);
  double horizAdjust_ = defaultHorizAdjust;
};
