// The enumerations that acquisition properties pass to a FIFO's driver.
//
// They stand alone (rather than nested in the property classes) so that the
// driver interface qc_AcqFifo can name them without the property classes;
// each property class adopts its enumeration under its own name:
//
//   class qcRoiProp { public: using Mode = qe_RoiMode; using enum qe_RoiMode; ... };
//
// All are 32 bits wide.  The framework fixes only the default value of each;
// what the other values mean is the driver's, and the framework passes any
// value through unchanged (drivers may define named constants of their own
// and convert with static_cast).
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <cstdint>

// Region-of-interest mode (qcRoiProp::Mode).  A free property supports only
// the default mode.
enum qe_RoiMode : std::int32_t {
  qeRoiMode_Default = 0,
};

// Source of the alpha byte of 32-bit colour pixels
// (qcAlphaColorProp::qeAlphaSource).
enum qe_AlphaSource : std::int32_t {
  qeAlphaSource_Default = 9,
};

// Resolution of a quadrature encoder (qcEncoderProp::qeEncoderResolution).
enum qe_EncoderResolution : std::int32_t {
  qeEncoderResolution_Default = 0,
};

// Offset clamp mode (qcOffsetClampProp::OffsetClampModeType).
enum qe_OffsetClampMode : std::int32_t {
  qeOffsetClampMode_Default = 0,
};

// Camera test pattern (qcCameraTestProp::TestPatternType).
enum qe_TestPattern : std::int32_t {
  qeTestPattern_Default = 0,
};

QRN_API_END
