// Region of interest of an acquisition FIFO.
#pragma once

#include <qrn/acq/hyper/prop/propbase.h>
#include <qrn/foundation/geometry.h>

// The rectangle to acquire (default the empty rectangle at 0, 0: the whole
// image) and the region-of-interest mode (default 0).  The rectangle is hook
// first: the FIFO's roi() hears it first.  The mode is stored first, then
// passed to the FIFO's roiMode().  Archive version 1: the rectangle (through
// the setter), then the mode (direct); version 0 has the rectangle only.
class qcRoiProp : public qc_PersistentProp<qcRoiProp> {
public:
  QC_EXCEPTION(BadParams, qcException, 0x10000991);
  QC_EXCEPTION(NoFrameGrabber, qcException, 0x10000994);

  using Mode = qe_RoiMode;
  using enum qe_RoiMode;

  static constexpr qcPelRect defaultRoi{};
  static constexpr Mode defaultMode = qeRoiMode_Default;

  qcRoiProp() = default;
  // Throws BadParams for a negative origin or size.
  explicit qcRoiProp(const qcPelRect& r);
  qcRoiProp(const qcRoiProp&) = default;
  // The rectangle through roi(); the mode copied without a check or FIFO call.
  qcRoiProp& operator=(const qcRoiProp& src);

  const qcPelRect& roi() const { return roi_; }
  // Throws BadParams when x, y, width or height is below 0, or when the right
  // (x + width) or bottom (y + height) edge exceeds LONG_MAX; FIFO errors
  // pass.  Archive loads go through here too.
  void roi(const qcPelRect& r);
  // The rectangle the FIFO actually uses.  Throws NoFrameGrabber when free.
  qcPelRect actualRoi() const;

  Mode roiMode() const { return mode_; }
  // Throws BadParams unless isModeSupported(m).
  void roiMode(Mode m);
  // Free: only the default mode.  Associated: the FIFO's answer.
  bool isModeSupported(Mode m) const;

private:
  QC_PERSISTENT_PROPERTY(qcRoiProp, "acq/hyper/prop/roi", 1);
  qcPelRect roi_ = defaultRoi;
  Mode mode_ = defaultMode;
};
