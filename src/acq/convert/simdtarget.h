// Compiling a stretch of functions for an instruction set the build does not
// assume (the kernels choose among them at run time):
//
//   QRN_SIMD_TARGET_BEGIN("avx2")
//   namespace qrn_x_avx2 { ... }
//   QRN_SIMD_TARGET_END
//
// GCC takes a target pragma; Clang applies the target attribute to every
// function in between.  Internal to the module.
#pragma once

#define QRN_SIMD_PRAGMA_(x) _Pragma(#x)
#if defined(__clang__)
#define QRN_SIMD_TARGET_BEGIN(isa) \
  QRN_SIMD_PRAGMA_(clang attribute push(__attribute__((target(isa))), apply_to = function))
#define QRN_SIMD_TARGET_END QRN_SIMD_PRAGMA_(clang attribute pop)
#else
#define QRN_SIMD_TARGET_BEGIN(isa) QRN_SIMD_PRAGMA_(GCC push_options) QRN_SIMD_PRAGMA_(GCC target(isa))
#define QRN_SIMD_TARGET_END QRN_SIMD_PRAGMA_(GCC pop_options)
#endif
