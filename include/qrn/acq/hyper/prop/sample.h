// Pixel sampling (subsampling) of an acquisition FIFO.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <qrn/acq/hyper/prop/propbase.h>

// Horizontal and vertical sampling factors (default 1 and 1).  No check here:
// which factors a FIFO accepts is the driver's (getValidSampleSettings).
// Store, then update: the FIFO gets update(*this).  Archive version 0: x, y
// (direct).
class qcSampleProp : public qc_PersistentProp<qcSampleProp> {
public:
  // Every pixel in both directions (no subsampling).
  static constexpr long defaultSampleX = 1;
  static constexpr long defaultSampleY = 1;

  // A free property, factors 1 and 1.
  qcSampleProp() = default;
  // A free property with the horizontal and vertical factors as given (not
  // checked).
  qcSampleProp(long x, long y) : sampleX_(x), sampleY_(y) {}
  // A copy holds src's factors and is free.
  qcSampleProp(const qcSampleProp&) = default;
  // Update style: copies the values, then tells the FIFO once; the target
  // keeps its association.  Returns nothing (no chained assignment).
  void operator=(const qcSampleProp& src);

  // The horizontal (x) and vertical (y) sampling factors: a factor n keeps
  // every n-th pixel or line.  A setter stores any value (the FIFO decides
  // what it accepts), then an associated FIFO gets update(*this); a FIFO
  // exception passes with the new value kept.
  long sampleX() const { return sampleX_; }
  void sampleX(long x);
  long sampleY() const { return sampleY_; }
  void sampleY(long y);

  // Equal when both factors are equal; the association is not compared.
  bool operator==(const qcSampleProp& o) const { return sampleX_ == o.sampleX_ && sampleY_ == o.sampleY_; }
  bool operator!=(const qcSampleProp& o) const { return !(*this == o); }

private:
  QC_PERSISTENT_PROPERTY(qcSampleProp, "acq/hyper/prop/sample", 0);
  long sampleX_ = defaultSampleX;
  long sampleY_ = defaultSampleY;
};

QRN_API_END
