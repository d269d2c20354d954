// Raw-pointer kernels behind qcBayerImageConverter and the qfBayer* free
// functions.  Internal to the module; exported for its tests and benchmarks.
//
// Every kernel works on caller-owned memory described by a pointer and a row
// stride in bytes; nothing is allocated or kept.  The reference kernels
// (qf_bayerRef*) define the results; the accelerated kernels (qf_bayerFast*)
// give bit-identical results, using SSE2, AVX2 or AVX-512 as the processor allows, and
// fall back to the reference where the image does not suit them.  All kernels
// are reentrant and may be called from any thread.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <cstddef>
#include <cstdint>

// Instruction-set levels of the accelerated kernels.  qe_SimdAVX512 means
// AVX-512 F, BW and VL; qe_SimdAVX512VBMI adds VBMI (byte permutes and
// multishifts), which the pel unpackers' AVX-512 form needs (they run their
// AVX2 form without it); the other kernels run their AVX-512 form on both.
enum qe_SimdLevel { qe_SimdNone = 0, qe_SimdSSE2 = 1, qe_SimdAVX2 = 2, qe_SimdAVX512 = 3, qe_SimdAVX512VBMI = 4 };

// The best level this processor and build offer: none on other architectures
// or when qcCpuType reports no SSE (environment "QUORIN_DISABLE_SIMD").
qe_SimdLevel qf_simdLevel();
// The lower of `requested` and qf_simdLevel() (tests force a level with it).
qe_SimdLevel qf_simdClamp(qe_SimdLevel requested);

// An 8-bit Bayer mosaic: width and height even and at least 2.  phaseX and
// phaseY (0 or 1) place the pattern: for row r and column c let y = r + phaseY
// and s = c + phaseX; rows with even y hold green (even s) and red (odd s),
// rows with odd y blue (even s) and green (odd s).
struct qs_BayerMosaic {
  // The first pixel of the first row (not owned), and the row stride.
  const unsigned char* data = nullptr;
  std::ptrdiff_t stride = 0;  // bytes from one row to the next
  // The size in pixels (even, at least 2).
  long width = 0;
  long height = 0;
  // The pattern's phase, 0 or 1 each (see above).
  int phaseX = 0;
  int phaseY = 0;
};

// A destination (or source) plane: first pixel of the first row and the row
// stride in bytes.  It must hold the mosaic's width times height pixels.
template <class T>
struct qs_RawPlane {
  // The first pixel of the first row (not owned), and the bytes from one row
  // to the next.
  T* data = nullptr;
  std::ptrdiff_t stride = 0;
};
// Writable and read-only planes of 8-bit pixels.
using qs_RawPlane8 = qs_RawPlane<unsigned char>;
using qs_RawPlaneC8 = qs_RawPlane<const unsigned char>;

// Grey weights in 8.8 fixed point: w = floor(weight * 256 + 0.5), kept to
// 9 bits (clamped to 0..511).  A grey pixel is min(255, (R*r + G*g + B*b) >> 8).
struct qs_GreyWeights {
  // The red, green and blue weights, 0..511 (by default those of 0.299,
  // 0.587 and 0.114).
  int r = 77, g = 150, b = 29;
};
// The fixed-point weights of three weights: floor(weight * 256 + 0.5) each,
// clamped to 0..511 (a negative or NaN weight gives 0).  No sum check.
qs_GreyWeights qf_greyWeights(double red, double green, double blue);

// The pixel words of the packed outputs, as qcPackedRGB16Pel and
// qcPackedRGB32Pel store them.
std::uint16_t qf_bayerPackRGB16(unsigned r, unsigned g, unsigned b);
std::uint32_t qf_bayerPackRGB32(unsigned r, unsigned g, unsigned b);

// White-balance table: T[i] = min(255, floor(i * scale + 0.5)).
void qf_bayerWhiteBalanceTable(double scale, unsigned char table[256]);

// White balance for the accelerated kernels: the three tables (red, green,
// blue) and, when every table equals min(255, floor(i * mult / 32768 + 0.5))
// (mult below 128 * 32768) for all 256 inputs i but at most kMaxFixes
// entries, those multipliers and the entries that differ (input, +1 or -1),
// with which the kernels map in fixed point instead of looking up each
// value.  (Tables made in double precision can differ from every exact
// multiplier at inputs where i * scale lands on a half.)
struct qs_BayerBalance {
  // The most table entries per channel that the fixed-point path corrects.
  static constexpr int kMaxFixes = 8;
  // The three tables, red, green, blue (not owned).
  const unsigned char* luts[3] = {nullptr, nullptr, nullptr};
  // Per channel: the multiplier m (about scale * 32768; the table is
  // min(255, floor(i * m / 32768 + 0.5)) but for the corrected entries), the
  // number of corrected entries, their inputs and their corrections (+1 or
  // -1).  Meaningful only when `fixed` is true.
  std::uint32_t mult[3] = {0, 0, 0};
  int fixes[3] = {0, 0, 0};
  unsigned char fixAt[3][kMaxFixes] = {};
  signed char fixBy[3][kMaxFixes] = {};
  // True when all three tables have a multiplier: the kernels then map in
  // fixed point, otherwise they look each value up in `luts`.
  bool fixed = false;
};
// Makes the balance of three tables (kept by the caller while it is used),
// finding and checking the fixed-point multipliers.
qs_BayerBalance qf_bayerBalance(const unsigned char* const* luts);

// ---- reference kernels ---------------------------------------------------------
// Demosaic `src` (the rules of bayer.h) into three planes (red, green, blue),
// a grey plane with weights `w` (no white balance), or packed RGB16 or RGB32
// words (qf_bayerPackRGB16 / 32).  `luts` is null (no white balance) or three
// 256-entry tables: red, green, blue.
void qf_bayerRefPlanes(const qs_BayerMosaic& src, const unsigned char* const* luts, qs_RawPlane8 red,
                       qs_RawPlane8 green, qs_RawPlane8 blue);
void qf_bayerRefGrey(const qs_BayerMosaic& src, const qs_GreyWeights& w, qs_RawPlane8 dst);
void qf_bayerRefRGB16(const qs_BayerMosaic& src, const unsigned char* const* luts, qs_RawPlane<std::uint16_t> dst);
void qf_bayerRefRGB32(const qs_BayerMosaic& src, const unsigned char* const* luts, qs_RawPlane<std::uint32_t> dst);
// Splits a width x height image (both even) into its four (width/2) x
// (height/2) sub-images by (column parity, row parity).
void qf_bayerRefSubsample(qs_RawPlaneC8 src, long width, long height, qs_RawPlane8 p00, qs_RawPlane8 p10,
                          qs_RawPlane8 p01, qs_RawPlane8 p11);
// Sums of the pixels at (even column, even row), (odd, even), (even, odd) and
// (odd, odd), in that order.
void qf_bayerRefSums(qs_RawPlaneC8 src, long width, long height, std::uint64_t sums[4]);

// ---- accelerated kernels (bit-identical to the reference) -----------------------
// The accelerated demosaicing without white balance (as the reference with
// null `luts`): planes, grey, RGB16, RGB32.  They, and the kernels below, use
// the reference for widths below 16 and for widths below 24 that are not a
// multiple of 8.  `level` is clamped by qf_simdClamp.
void qf_bayerFastPlanes(qe_SimdLevel level, const qs_BayerMosaic& src, qs_RawPlane8 red, qs_RawPlane8 green,
                        qs_RawPlane8 blue);
void qf_bayerFastGrey(qe_SimdLevel level, const qs_BayerMosaic& src, const qs_GreyWeights& w, qs_RawPlane8 dst);
void qf_bayerFastRGB16(qe_SimdLevel level, const qs_BayerMosaic& src, qs_RawPlane<std::uint16_t> dst);
void qf_bayerFastRGB32(qe_SimdLevel level, const qs_BayerMosaic& src, qs_RawPlane<std::uint32_t> dst);
// The colour outputs with white balance: bit-identical to the reference
// kernels given the same tables.
void qf_bayerFastPlanes(qe_SimdLevel level, const qs_BayerMosaic& src, const qs_BayerBalance& wb, qs_RawPlane8 red,
                        qs_RawPlane8 green, qs_RawPlane8 blue);
void qf_bayerFastRGB16(qe_SimdLevel level, const qs_BayerMosaic& src, const qs_BayerBalance& wb,
                       qs_RawPlane<std::uint16_t> dst);
void qf_bayerFastRGB32(qe_SimdLevel level, const qs_BayerMosaic& src, const qs_BayerBalance& wb,
                       qs_RawPlane<std::uint32_t> dst);
// qf_bayerRefSubsample and qf_bayerRefSums, accelerated (the same results).
// The split does nothing without data or for a size that is odd or below 2;
// the sums are all 0 without data or pixels.
void qf_bayerFastSubsample(qe_SimdLevel level, qs_RawPlaneC8 src, long width, long height, qs_RawPlane8 p00,
                           qs_RawPlane8 p10, qs_RawPlane8 p01, qs_RawPlane8 p11);
void qf_bayerFastSums(qe_SimdLevel level, qs_RawPlaneC8 src, long width, long height, std::uint64_t sums[4]);

// Grey from three planes: min(255, (R*w.r + G*w.g + B*w.b) >> 8) per pixel.
void qf_planesToGrey(qe_SimdLevel level, qs_RawPlaneC8 red, qs_RawPlaneC8 green, qs_RawPlaneC8 blue, long width,
                     long height, const qs_GreyWeights& w, qs_RawPlane8 dst);
// Rearranges each row in blocks of 2n pixels: the n pixels at even positions
// of a block first, then the n at odd positions.  width must be a multiple of
// 2n and n at least 1.
void qf_reorganizeEvenOdd(qe_SimdLevel level, qs_RawPlaneC8 src, long width, long height, long n,
                          qs_RawPlane8 dst);

QRN_API_END
