// Pixel sampling (subsampling) of an acquisition FIFO.
#pragma once

#include <qrn/acq/hyper/prop/propbase.h>

// Horizontal and vertical sampling factors (default 1 and 1).  No check here:
// which factors a FIFO accepts is the driver's (getValidSampleSettings).
// Store, then update: the FIFO gets update(*this).  Archive version 0: x, y
// (direct).
class qcSampleProp : public qc_PersistentProp<qcSampleProp> {
public:
  static constexpr long defaultSampleX = 1;
  static constexpr long defaultSampleY = 1;

  qcSampleProp() = default;
  qcSampleProp(long x, long y) : sampleX_(x), sampleY_(y) {}
  qcSampleProp(const qcSampleProp&) = default;
  // Update style: copies the values, then tells the FIFO once.
  void operator=(const qcSampleProp& src);

  long sampleX() const { return sampleX_; }
  void sampleX(long x);
  long sampleY() const { return sampleY_; }
  void sampleY(long y);

  bool operator==(const qcSampleProp& o) const { return sampleX_ == o.sampleX_ && sampleY_ == o.sampleY_; }
  bool operator!=(const qcSampleProp& o) const { return !(*this == o); }

private:
  QC_PERSISTENT_PROPERTY(qcSampleProp, "acq/hyper/prop/sample", 0);
  long sampleX_ = defaultSampleX;
  long sampleY_ = defaultSampleY;
};
