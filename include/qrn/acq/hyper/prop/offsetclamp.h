// Offset clamp mode of an acquisition FIFO.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <qrn/acq/hyper/prop/propbase.h>

// The offset clamp mode (default 0; other values are the driver's).  Store,
// then update: the FIFO gets update(*this).  Archive version 0: the mode as a
// long (direct).
class qcOffsetClampProp : public qc_PersistentProp<qcOffsetClampProp> {
public:
  // The offset clamp mode (qe_OffsetClampMode, 32 bits): the framework
  // names only the default; other values are the driver's and pass
  // unchanged.
  using OffsetClampModeType = qe_OffsetClampMode;
  using enum qe_OffsetClampMode;

  // qeOffsetClampMode_Default (0).
  static constexpr OffsetClampModeType defaultOffsetClampMode = qeOffsetClampMode_Default;

  // A free property holding the default mode.
  qcOffsetClampProp() = default;
  // A free property holding `mode` (any value; not checked).
  explicit qcOffsetClampProp(OffsetClampModeType mode) : offsetClampMode_(mode) {}
  // A copy holds src's mode and is free.
  qcOffsetClampProp(const qcOffsetClampProp&) = default;
  // Update style: copies the mode, then tells the FIFO once.
  qcOffsetClampProp& operator=(const qcOffsetClampProp& src);

  // The mode.  The setter stores any value, then an associated FIFO gets
  // update(*this); a FIFO exception passes with the new mode kept.
  OffsetClampModeType offsetClampMode() const { return offsetClampMode_; }
  void offsetClampMode(OffsetClampModeType mode);

private:
  QC_PERSISTENT_PROPERTY(qcOffsetClampProp, "acq/hyper/prop/offsetclamp", 0);
  OffsetClampModeType offsetClampMode_ = defaultOffsetClampMode;
};

QRN_API_END
