// Camera test pattern through an acquisition FIFO.
#pragma once

#include <qrn/acq/hyper/prop/propbase.h>

// The enable (default off), the pattern (default 0; other values are the
// driver's) and the flat-field value (default 0).  Store, then update: the
// FIFO gets update(*this).  Archive version 0: enable, pattern (long),
// flat-field value, all direct.
class qcCameraTestProp : public qc_PersistentProp<qcCameraTestProp> {
public:
  using TestPatternType = qe_TestPattern;
  using enum qe_TestPattern;

  static constexpr bool defaultTestPatternEnable = false;
  static constexpr TestPatternType defaultTestPatternMode = qeTestPattern_Default;
  static constexpr unsigned char defaultFlatFieldValue = 0;

  qcCameraTestProp() = default;
  qcCameraTestProp(bool enable, TestPatternType mode, unsigned char flatFieldValue)
      : testPatternEnable_(enable), testPatternMode_(mode), flatFieldValue_(flatFieldValue) {}
  qcCameraTestProp(const qcCameraTestProp&) = default;
  // Update style: copies the values, then tells the FIFO once.
  void operator=(const qcCameraTestProp& src);

  bool testPatternEnable() const { return testPatternEnable_; }
  void testPatternEnable(bool on);
  TestPatternType testPatternMode() const { return testPatternMode_; }
  void testPatternMode(TestPatternType mode);
  unsigned char flatFieldValue() const { return flatFieldValue_; }
  void flatFieldValue(unsigned char v);

  bool operator==(const qcCameraTestProp& o) const;
  bool operator!=(const qcCameraTestProp& o) const { return !(*this == o); }

private:
  QC_PERSISTENT_PROPERTY(qcCameraTestProp, "acq/hyper/prop/cameratest", 0);
  bool testPatternEnable_ = defaultTestPatternEnable;
  TestPatternType testPatternMode_ = defaultTestPatternMode;
  unsigned char flatFieldValue_ = defaultFlatFieldValue;
};
