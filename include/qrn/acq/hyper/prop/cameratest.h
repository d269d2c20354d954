// Camera test pattern through an acquisition FIFO.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <qrn/acq/hyper/prop/propbase.h>

// The enable (default off), the pattern (default 0; other values are the
// driver's) and the flat-field value (default 0).  Store, then update: the
// FIFO gets update(*this).  Archive version 0: enable, pattern (long),
// flat-field value, all direct.
class qcCameraTestProp : public qc_PersistentProp<qcCameraTestProp> {
public:
  // The test pattern (qe_TestPattern, 32 bits): the framework names only the
  // default; other values are the driver's and pass unchanged.
  using TestPatternType = qe_TestPattern;
  using enum qe_TestPattern;

  // The values of a default-constructed property: pattern off,
  // qeTestPattern_Default, flat-field value 0.
  static constexpr bool defaultTestPatternEnable = false;
  static constexpr TestPatternType defaultTestPatternMode = qeTestPattern_Default;
  static constexpr unsigned char defaultFlatFieldValue = 0;

  // A free property holding the defaults.
  qcCameraTestProp() = default;
  // A free property holding the values as given (not checked).
  qcCameraTestProp(bool enable, TestPatternType mode, unsigned char flatFieldValue)
      : testPatternEnable_(enable), testPatternMode_(mode), flatFieldValue_(flatFieldValue) {}
  // A copy holds src's values and is free.
  qcCameraTestProp(const qcCameraTestProp&) = default;
  // Update style: copies the values, then tells the FIFO once; the target
  // keeps its association.  Returns nothing (no chained assignment).
  void operator=(const qcCameraTestProp& src);

  // Whether the camera sends its test pattern instead of the image, which
  // pattern, and the pixel value (0..255) of a flat-field pattern.  A setter
  // stores any value, then an associated FIFO gets update(*this); a FIFO
  // exception passes with the new value kept.
  bool testPatternEnable() const { return testPatternEnable_; }
  void testPatternEnable(bool on);
  TestPatternType testPatternMode() const { return testPatternMode_; }
  void testPatternMode(TestPatternType mode);
  unsigned char flatFieldValue() const { return flatFieldValue_; }
  void flatFieldValue(unsigned char v);

  // Equal when the enable, the pattern and the flat-field value are equal;
  // the association is not compared.
  bool operator==(const qcCameraTestProp& o) const;
  bool operator!=(const qcCameraTestProp& o) const { return !(*this == o); }

private:
  QC_PERSISTENT_PROPERTY(qcCameraTestProp, "acq/hyper/prop/cameratest", 0);
  bool testPatternEnable_ = defaultTestPatternEnable;
  TestPatternType testPatternMode_ = defaultTestPatternMode;
  unsigned char flatFieldValue_ = defaultFlatFieldValue;
};

QRN_API_END
