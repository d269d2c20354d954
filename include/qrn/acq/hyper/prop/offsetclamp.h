// Offset clamp mode of an acquisition FIFO.
#pragma once

#include <qrn/acq/hyper/prop/propbase.h>

// The offset clamp mode (default 0; other values are the driver's).  Store,
// then update: the FIFO gets update(*this).  Archive version 0: the mode as a
// long (direct).
class qcOffsetClampProp : public qc_PersistentProp<qcOffsetClampProp> {
public:
  using OffsetClampModeType = qe_OffsetClampMode;
  using enum qe_OffsetClampMode;

  static constexpr OffsetClampModeType defaultOffsetClampMode = qeOffsetClampMode_Default;

  qcOffsetClampProp() = default;
  explicit qcOffsetClampProp(OffsetClampModeType mode) : offsetClampMode_(mode) {}
  qcOffsetClampProp(const qcOffsetClampProp&) = default;
  // Update style: copies the mode, then tells the FIFO once.
  qcOffsetClampProp& operator=(const qcOffsetClampProp& src);

  OffsetClampModeType offsetClampMode() const { return offsetClampMode_; }
  void offsetClampMode(OffsetClampModeType mode);

private:
  QC_PERSISTENT_PROPERTY(qcOffsetClampProp, "acq/hyper/prop/offsetclamp", 0);
  OffsetClampModeType offsetClampMode_ = defaultOffsetClampMode;
};
