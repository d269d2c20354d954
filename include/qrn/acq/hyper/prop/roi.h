// Region of interest of an acquisition FIFO.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <qrn/acq/hyper/prop/propbase.h>
#include <qrn/foundation/geometry.h>

// The rectangle to acquire (default the empty rectangle at 0, 0: the whole
// image) and the region-of-interest mode (default 0).  The rectangle is hook
// first: the FIFO's roi() hears it first.  The mode is stored first, then
// passed to the FIFO's roiMode().  Archive version 1: the rectangle (through
// the setter), then the mode (direct); version 0 has the rectangle only.
class qcRoiProp : public qc_PersistentProp<qcRoiProp> {
public:
  // A negative origin or size, an edge beyond LONG_MAX, or an unsupported mode.
  QC_EXCEPTION(BadParams, qcException, 0x10000991);
  // actualRoi() asked of a free property.
  QC_EXCEPTION(NoFrameGrabber, qcException, 0x10000994);

  // The region-of-interest mode (qe_RoiMode, 32 bits): the framework names
  // only the default; other values are the driver's and pass unchanged.
  using Mode = qe_RoiMode;
  using enum qe_RoiMode;

  // The empty rectangle at 0, 0, which asks for the whole image.
  static constexpr qcPelRect defaultRoi{};
  // qeRoiMode_Default (0).
  static constexpr Mode defaultMode = qeRoiMode_Default;

  // A free property: the whole image, the default mode.
  qcRoiProp() = default;
  // A free property holding r (through the setter) and the default mode.
  // Throws BadParams for a negative origin or size, or an edge beyond
  // LONG_MAX.
  explicit qcRoiProp(const qcPelRect& r);
  // A copy holds src's rectangle and mode and is free.
  qcRoiProp(const qcRoiProp&) = default;
  // The rectangle through roi(); the mode copied without a check or FIFO call.
  qcRoiProp& operator=(const qcRoiProp& src);

  // The requested rectangle, in pels of the full image (empty: the whole
  // image).  The setter throws BadParams when x, y, width or height is below
  // 0, or when the right (x + width) or bottom (y + height) edge exceeds
  // LONG_MAX; an associated FIFO hears the rectangle before it is stored, and
  // a FIFO exception passes and leaves it unchanged.  Archive loads go
  // through the setter too.
  const qcPelRect& roi() const { return roi_; }
  void roi(const qcPelRect& r);
  // The rectangle the FIFO actually uses.  Throws NoFrameGrabber when free.
  qcPelRect actualRoi() const;

  // The mode.  The setter throws BadParams unless isModeSupported(m); it then
  // stores m and passes it to an associated FIFO (a FIFO exception passes
  // with the new mode kept).
  Mode roiMode() const { return mode_; }
  void roiMode(Mode m);
  // Free: only the default mode.  Associated: the FIFO's answer.
  bool isModeSupported(Mode m) const;

private:
  QC_PERSISTENT_PROPERTY(qcRoiProp, "acq/hyper/prop/roi", 1);
  qcPelRect roi_ = defaultRoi;
  Mode mode_ = defaultMode;
};

QRN_API_END
