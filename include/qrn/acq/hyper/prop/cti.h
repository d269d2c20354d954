// The CTI offset of an acquisition FIFO.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <cmath>

#include <qrn/acq/hyper/prop/propbase.h>

// The CTI offset (the delay from the camera's timing signal to the
// first active line), in seconds, 0 or more.
// HUGE_VAL (the default) asks for the video format's own value.
// Hook first: an associated FIFO's ctiOffset(double) hears each
// value first.
class qcCtiProp : public qc_PersistentProp<qcCtiProp> {
public:
  // A negative CTI offset, or NaN.
  QC_EXCEPTION(BadParams, qcException, 0x10000990);
  // actualCtiOffset() asked of a free property.
  QC_EXCEPTION(NoFrameGrabber, qcException, 0x10000992);

  // The video format's own value.
  static constexpr double defaultCtiOffset = HUGE_VAL;

  // A free property holding defaultCtiOffset (the format's own value).
  qcCtiProp() = default;
  // A free property holding `seconds`.  Throws BadParams for a value below 0
  // (or NaN).
  explicit qcCtiProp(double seconds);
  // A copy holds src's request and is free.  Assignment passes src's value
  // through the setter (checked; an associated target's FIFO hears it) and
  // keeps the target's association.
  qcCtiProp(const qcCtiProp&) = default;
  qcCtiProp& operator=(const qcCtiProp& src);

  // The requested CTI offset in seconds (HUGE_VAL: the format's own value).
  // The setter throws BadParams for a value below 0 (or NaN); an associated
  // FIFO hears the value before it is stored, and a FIFO exception passes and
  // leaves the value unchanged.
  double ctiOffset() const { return ctiOffset_; }
  void ctiOffset(double seconds);
  // The value the FIFO actually uses (the format's own one when HUGE_VAL was
  // requested).  Throws NoFrameGrabber on a free property.
  double actualCtiOffset() const;

private:
  QC_PERSISTENT_PROPERTY(qcCtiProp, "acq/hyper/prop/cti", 0);
  double ctiOffset_ = defaultCtiOffset;
};

QRN_API_END
