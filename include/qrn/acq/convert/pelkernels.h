// Raw-pointer kernels for camera pel layouts: unpacking 10-, 12-, 14- and
// 16-bit pels, YUV 4:2:2 and byte-ordered colour.  Internal to the module;
// exported for the camera driver, the tests and the benchmarks.
//
// As with the Bayer kernels (bayerkernels.h): every kernel works on
// caller-owned memory, allocates nothing it keeps, and may be called from any
// thread.  The reference kernels (qf_*Ref) define the results; the others
// choose an SSE2, AVX2 or AVX-512 form by `level` (clamped by qf_simdClamp)
// and give bit-identical results.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <cstddef>
#include <cstdint>

#include <qrn/acq/convert/bayerkernels.h>

// How pels lie in a row.
enum qe_PelPacking {
  qe_Pack16,        // one little-endian 16-bit word per pel (Mono10/12/14/16, Bayer 10/12/16)
  qe_Pack10p,       // pels end to end, least significant bit first: 4 pels in 5 bytes
  qe_Pack12p,       // the same, 2 pels in 3 bytes
  qe_Pack14p,       // the same, 4 pels in 7 bytes
  qe_Pack10Packed,  // 2 pels in 3 bytes: b0 = P0[9:2], b1 = P0[1:0] | P1[1:0] << 4, b2 = P1[9:2]
  qe_Pack12Packed,  // 2 pels in 3 bytes: b0 = P0[11:4], b1 = P0[3:0] | P1[3:0] << 4, b2 = P1[11:4]
};

// Bits a pel takes in the row (16 for qe_Pack16).
int qf_packingBits(qe_PelPacking p);
// The least bytes of a row of `width` pels (a last partial group rounded up
// to whole bytes).
std::size_t qf_packedRowBytes(qe_PelPacking p, long width);

// A packed image.  stride is the bytes from one row to the next (at least
// qf_packedRowBytes; more where rows end in padding), or 0: the rows follow
// one another bit for bit without padding, so a row may start inside a byte
// (a camera sending Mono10p at width 641).
struct qs_PackedImage {
  // The first byte of the first row (not owned).
  const unsigned char* data = nullptr;
  // The bytes from one row to the next, or 0 for rows end to end (see above).
  std::ptrdiff_t stride = 0;
  // The size in pels.
  long width = 0;
  long height = 0;
  // How the pels lie in a row.
  qe_PelPacking packing = qe_Pack16;
};
// The bytes the image takes at data.
std::size_t qf_packedImageBytes(const qs_PackedImage& src);

// Pels unchanged in 16-bit words (a 12-bit pel stays 0..4095; qe_Pack16 is
// copied as it is).
void qf_unpack16Ref(const qs_PackedImage& src, qs_RawPlane<std::uint16_t> dst);
void qf_unpack16(qe_SimdLevel level, const qs_PackedImage& src, qs_RawPlane<std::uint16_t> dst);
// The most significant 8 of `bits` bits: min(255, pel >> (bits - 8)); bits
// 8..16 (a Mono12 pel in a 16-bit word has bits 12).
void qf_unpack8Ref(const qs_PackedImage& src, int bits, qs_RawPlane8 dst);
void qf_unpack8(qe_SimdLevel level, const qs_PackedImage& src, int bits, qs_RawPlane8 dst);

// ---- colour ------------------------------------------------------------------------
// Byte orders of the colour inputs.
enum qe_ColourOrder {
  qe_OrderRGB,   // R G B
  qe_OrderBGR,   // B G R
  qe_OrderRGBa,  // R G B a
  qe_OrderBGRa,  // B G R a
  qe_OrderUYVY,  // YUV 4:2:2: U Y0 V Y1 for a pair of pels
  qe_OrderYUYV,  // YUV 4:2:2: Y0 U Y1 V
};
// Ranges of YUV: full (Y, U and V 0..255) or ITU-R BT.601 (Y 16..235, U and
// V 16..240).
enum qe_YuvRange { qe_YuvFull, qe_YuvItu };

// A colour image: rows of `width` pels (a YUV row of odd width ends in a
// whole pair, its last pel unused), stride in bytes.
struct qs_ColourImage {
  // The first byte of the first row (not owned), and the bytes from one row
  // to the next.
  const unsigned char* data = nullptr;
  std::ptrdiff_t stride = 0;
  // The size in pels.
  long width = 0;
  long height = 0;
  // The byte order of the pels, and the range of YUV ones.
  qe_ColourOrder order = qe_OrderRGB;
  qe_YuvRange range = qe_YuvFull;  // YUV orders only
};
// Bytes of one row without padding.
std::size_t qf_colourRowBytes(qe_ColourOrder o, long width);

// YUV to RGB by BT.601 in 13-bit fixed point, rounded to nearest and clamped
// to 0..255: with U' = U - 128, V' = V - 128 and, full range, Y' = Y,
//   R = Y' + 1.402 V',  G = Y' - 0.344136 U' - 0.714136 V',  B = Y' + 1.772 U';
// ITU range: Y' = 1.164383 (Y - 16) and the chroma weights 1.596027,
// 0.391762, 0.812968, 2.017232.  Each weight is k = round(w * 8192) and a
// component is (sum of k * value + 4096) >> 13.
// Byte-ordered colour is copied, its alpha dropped.

// Packed 32-bit pels (qf_bayerPackRGB32 words, alpha 0).
void qf_colourToRGB32Ref(const qs_ColourImage& src, qs_RawPlane<std::uint32_t> dst);
void qf_colourToRGB32(qe_SimdLevel level, const qs_ColourImage& src, qs_RawPlane<std::uint32_t> dst);
// Packed 16-bit pels (qf_bayerPackRGB16 words).
void qf_colourToRGB16Ref(const qs_ColourImage& src, qs_RawPlane<std::uint16_t> dst);
void qf_colourToRGB16(qe_SimdLevel level, const qs_ColourImage& src, qs_RawPlane<std::uint16_t> dst);
// Three planes: red, green, blue.
void qf_colourToPlanesRef(const qs_ColourImage& src, qs_RawPlane8 red, qs_RawPlane8 green, qs_RawPlane8 blue);
void qf_colourToPlanes(qe_SimdLevel level, const qs_ColourImage& src, qs_RawPlane8 red, qs_RawPlane8 green,
                       qs_RawPlane8 blue);
// Grey of a YUV image: its Y, unchanged.
void qf_yuvToGreyRef(const qs_ColourImage& src, qs_RawPlane8 dst);
void qf_yuvToGrey(qe_SimdLevel level, const qs_ColourImage& src, qs_RawPlane8 dst);

QRN_API_END
