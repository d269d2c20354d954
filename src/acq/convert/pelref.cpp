// Reference kernels for camera pel layouts: one pel at a time, written from
// the layouts as the cameras define them.  They define the results of the
// accelerated kernels (pelsimd.cpp).
#include <qrn/acq/convert/pelkernels.h>

#include <algorithm>
#include <cstring>

#include "pelrefs.h"

int qf_packingBits(qe_PelPacking p) {
  switch (p) {
    case qe_Pack10p:
    case qe_Pack10Packed: return 10;
    case qe_Pack12p:
    case qe_Pack12Packed: return 12;
    case qe_Pack14p: return 14;
    case qe_Pack16: break;
  }
  return 16;
}

namespace {
// Bytes of n pels laid out from the start of a group.
std::size_t bytesOfPels(qe_PelPacking p, std::size_t n) {
  // The older packing keeps a pair's low bits in its middle byte: a lone
  // last pel still takes two bytes.
  if (p == qe_Pack10Packed || p == qe_Pack12Packed) return 3 * (n / 2) + 2 * (n % 2);
  return (n * static_cast<std::size_t>(qf_packingBits(p)) + 7) / 8;
}
}  // namespace

std::size_t qf_packedRowBytes(qe_PelPacking p, long width) {
  return width <= 0 ? 0 : bytesOfPels(p, static_cast<std::size_t>(width));
}

std::size_t qf_packedImageBytes(const qs_PackedImage& s) {
  if (s.width <= 0 || s.height <= 0) return 0;
  if (s.stride == 0) return bytesOfPels(s.packing, static_cast<std::size_t>(s.width) * static_cast<std::size_t>(s.height));
  return static_cast<std::size_t>(s.stride) * static_cast<std::size_t>(s.height - 1) +
         qf_packedRowBytes(s.packing, s.width);
}

namespace qrn_pel {

unsigned refPel(qe_PelPacking p, const unsigned char* base, long i) {
  switch (p) {
    case qe_Pack16: return base[2 * i] | (base[2 * i + 1] << 8);
    case qe_Pack10Packed:
    case qe_Pack12Packed: {
      const int low = p == qe_Pack10Packed ? 2 : 4;
      const unsigned char* b = base + 3 * (i / 2);
      return i % 2 == 0 ? (b[0] << low) | (b[1] & ((1u << low) - 1))
                        : (b[2] << low) | ((b[1] >> 4) & ((1u << low) - 1));
    }
    default: {
      // Least significant bit first: pel i takes bits [i * n, i * n + n).
      const int n = qf_packingBits(p);
      const long bit = i * n;
      const unsigned char* b = base + bit / 8;
      const int shift = static_cast<int>(bit % 8);
      const int bytes = (shift + n + 7) / 8;
      std::uint32_t v = 0;
      for (int k = 0; k < bytes; ++k) v |= static_cast<std::uint32_t>(b[k]) << (8 * k);
      return (v >> shift) & ((1u << n) - 1);
    }
  }
}

PackingGroup packingGroup(qe_PelPacking p) {
  const long pels = p == qe_Pack16 ? 1 : (p == qe_Pack10Packed || p == qe_Pack12Packed || p == qe_Pack12p) ? 2 : 4;
  return {pels, static_cast<long>(bytesOfPels(p, static_cast<std::size_t>(pels)))};
}

RowStart rowStart(const qs_PackedImage& s, long r) {
  if (s.stride != 0) return {s.data + s.stride * r, 0};
  // Rows follow one another: pel r * width of the stream, counted from the
  // start of its packing group (every group starts on a byte).
  const PackingGroup g = packingGroup(s.packing);
  const long first = r * s.width;
  return {s.data + first / g.pels * g.bytes, first % g.pels};
}

}  // namespace qrn_pel

using qrn_pel::refPel;
using qrn_pel::rowOf;
using qrn_pel::rowStart;

void qf_unpack16Ref(const qs_PackedImage& src, qs_RawPlane<std::uint16_t> dst) {
  for (long r = 0; r < src.height; ++r) {
    const qrn_pel::RowStart s = rowStart(src, r);
    std::uint16_t* d = rowOf(dst, r);
    for (long c = 0; c < src.width; ++c) d[c] = static_cast<std::uint16_t>(refPel(src.packing, s.base, s.phase + c));
  }
}

void qf_unpack8Ref(const qs_PackedImage& src, int bits, qs_RawPlane8 dst) {
  const int shift = std::clamp(bits, 8, 16) - 8;
  for (long r = 0; r < src.height; ++r) {
    const qrn_pel::RowStart s = rowStart(src, r);
    unsigned char* d = rowOf(dst, r);
    for (long c = 0; c < src.width; ++c)
      d[c] = static_cast<unsigned char>(std::min(255u, refPel(src.packing, s.base, s.phase + c) >> shift));
  }
}

// ---- colour ------------------------------------------------------------------------

std::size_t qf_colourRowBytes(qe_ColourOrder o, long width) {
  const auto w = static_cast<std::size_t>(width);
  switch (o) {
    case qe_OrderRGB:
    case qe_OrderBGR: return 3 * w;
    case qe_OrderRGBa:
    case qe_OrderBGRa: return 4 * w;
    case qe_OrderUYVY:
    case qe_OrderYUYV: break;
  }
  return 4 * ((w + 1) / 2);
}

namespace qrn_pel {

const YuvWeights& yuvWeights(qe_YuvRange r) {
  // k = round(w * 8192).
  static const YuvWeights full{8192, 0, 11485, 2819, 5850, 14516};
  static const YuvWeights itu{9539, 16, 13075, 3209, 6660, 16525};
  return r == qe_YuvItu ? itu : full;
}

void refColour(const qs_ColourImage& s, long r, long c, unsigned rgb[3]) {
  const unsigned char* row = s.data + s.stride * r;
  switch (s.order) {
    case qe_OrderRGB:
    case qe_OrderBGR:
    case qe_OrderRGBa:
    case qe_OrderBGRa: {
      const int n = (s.order == qe_OrderRGB || s.order == qe_OrderBGR) ? 3 : 4;
      const unsigned char* p = row + n * c;
      const bool bgr = s.order == qe_OrderBGR || s.order == qe_OrderBGRa;
      rgb[0] = p[bgr ? 2 : 0];
      rgb[1] = p[1];
      rgb[2] = p[bgr ? 0 : 2];
      return;
    }
    case qe_OrderUYVY:
    case qe_OrderYUYV: break;
  }
  const unsigned char* p = row + 4 * (c / 2);
  const bool uyvy = s.order == qe_OrderUYVY;
  const int y = p[uyvy ? 1 + 2 * (c % 2) : 2 * (c % 2)];
  const int u = p[uyvy ? 0 : 1] - 128, v = p[uyvy ? 2 : 3] - 128;
  const YuvWeights& k = yuvWeights(s.range);
  const int yy = k.y * (y - k.y0) + 4096;
  const int out[3] = {yy + k.rv * v, yy - k.gu * u - k.gv * v, yy + k.bu * u};
  for (int i = 0; i < 3; ++i) rgb[i] = static_cast<unsigned>(std::clamp(out[i] >> 13, 0, 255));
}

}  // namespace qrn_pel

void qf_colourToRGB32Ref(const qs_ColourImage& src, qs_RawPlane<std::uint32_t> dst) {
  unsigned c3[3];
  for (long r = 0; r < src.height; ++r)
    for (long c = 0; c < src.width; ++c) {
      qrn_pel::refColour(src, r, c, c3);
      rowOf(dst, r)[c] = qf_bayerPackRGB32(c3[0], c3[1], c3[2]);
    }
}

void qf_colourToRGB16Ref(const qs_ColourImage& src, qs_RawPlane<std::uint16_t> dst) {
  unsigned c3[3];
  for (long r = 0; r < src.height; ++r)
    for (long c = 0; c < src.width; ++c) {
      qrn_pel::refColour(src, r, c, c3);
      rowOf(dst, r)[c] = qf_bayerPackRGB16(c3[0], c3[1], c3[2]);
    }
}

void qf_colourToPlanesRef(const qs_ColourImage& src, qs_RawPlane8 red, qs_RawPlane8 green, qs_RawPlane8 blue) {
  unsigned c3[3];
  for (long r = 0; r < src.height; ++r)
    for (long c = 0; c < src.width; ++c) {
      qrn_pel::refColour(src, r, c, c3);
      rowOf(red, r)[c] = static_cast<unsigned char>(c3[0]);
      rowOf(green, r)[c] = static_cast<unsigned char>(c3[1]);
      rowOf(blue, r)[c] = static_cast<unsigned char>(c3[2]);
    }
}

void qf_yuvToGreyRef(const qs_ColourImage& src, qs_RawPlane8 dst) {
  const bool uyvy = src.order == qe_OrderUYVY;
  for (long r = 0; r < src.height; ++r) {
    const unsigned char* row = src.data + src.stride * r;
    for (long c = 0; c < src.width; ++c) rowOf(dst, r)[c] = row[4 * (c / 2) + 2 * (c % 2) + (uyvy ? 1 : 0)];
  }
}
