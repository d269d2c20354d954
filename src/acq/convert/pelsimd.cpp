// Accelerated pel kernels: unpacking in vector code of each instruction set
// (SSE2, AVX2, AVX-512 with VBMI; AVX-512 without VBMI unpacks as AVX2), and
// the colour row loops of pelrows.inc compiled for each (AVX-512 F, BW, VL
// for the AVX-512 levels), with explicit vector loops for YUV and RGB8 to
// RGB32, chosen at run time.  Other architectures build the dispatchers over
// the references only.
#include <qrn/acq/convert/pelkernels.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "pelrefs.h"
#include "simdtarget.h"

#if defined(__x86_64__) || defined(__i386__)
#define QRN_PEL_X86 1
#include <immintrin.h>
#endif

#define QRN_PEL_INLINE inline __attribute__((always_inline))

namespace {

// Bytes of four pels of a packed layout (one group of the vector code).
constexpr long quadBytes(qe_PelPacking p) {
  return p == qe_Pack10p ? 5 : p == qe_Pack14p ? 7 : 6;
}
constexpr int packBits(qe_PelPacking p) {
  return (p == qe_Pack10p || p == qe_Pack10Packed) ? 10 : (p == qe_Pack12p || p == qe_Pack12Packed) ? 12 : 14;
}

}  // namespace

#if QRN_PEL_X86

// The unpacking of four pels held in the low bytes of each 64-bit lane of a
// vector, in 16-bit lanes: shifts of whole 64-bit lanes bring each pel to its
// 16-bit lane, masks keep its bits.  Isa: V, set64, and_, or_, sll64, srl64,
// sll16.
#define QRN_PEL_QUAD_UNPACK                                                                                        \
  template <qe_PelPacking P>                                                                                       \
  static QRN_PEL_INLINE V quads(V q) {                                                                             \
    if constexpr (P == qe_Pack10p || P == qe_Pack12p || P == qe_Pack14p) {                                         \
      /* pel j at bit j * B moves left by j * (16 - B) */                                                          \
      constexpr int B = P == qe_Pack10p ? 10 : P == qe_Pack12p ? 12 : 14, D = 16 - B;                              \
      constexpr std::uint64_t m = (1u << B) - 1;                                                                   \
      return or_(or_(and_(q, set64(m)), and_(sll64<D>(q), set64(m << 16))),                                       \
                 or_(and_(sll64<2 * D>(q), set64(m << 32)), and_(sll64<3 * D>(q), set64(m << 48))));               \
    } else {                                                                                                       \
      /* bytes 0, 2, 3, 5 hold the high bits, the nibbles of bytes 1 and 4 the low */                              \
      constexpr int L = P == qe_Pack10Packed ? 2 : 4;                                                              \
      constexpr std::uint64_t m = (1u << L) - 1;                                                                   \
      const V hi = or_(and_(q, set64(0x00FF00FFull)), and_(sll64<8>(q), set64(0x00FF00FF00000000ull)));           \
      const V lo = or_(or_(and_(srl64<8>(q), set64(m)), and_(sll64<4>(q), set64(m << 16))),                       \
                       or_(and_(q, set64(m << 32)), and_(sll64<12>(q), set64(m << 48))));                          \
      return or_(sll16<L>(hi), lo);                                                                                \
    }                                                                                                              \
  }

// A row of a packed layout in steps of Isa::kQuads groups of four pels, the
// pels after the last whole step by the reference.
#define QRN_PEL_QUAD_ROW                                                                                           \
  template <qe_PelPacking P>                                                                                       \
  static void rowOfQuads(const unsigned char* base, long w, std::uint16_t* d) {                                    \
    constexpr long gb = quadBytes(P);                                                                              \
    const long rowBytes = static_cast<long>(qf_packedRowBytes(P, w));                                              \
    const long quadCount = w / 4;                                                                                  \
    long g = 0;                                                                                                    \
    for (; g + kQuads <= quadCount && g * gb + reach(gb) <= rowBytes; g += kQuads)                                 \
      store(d + 4 * g, quads<P>(load(base + g * gb, gb)));                                                         \
    for (long i = 4 * g; i < w; ++i) d[i] = static_cast<std::uint16_t>(qrn_pel::refPel(P, base, i));               \
  }

// The row for a layout (not qe_Pack16).
#define QRN_PEL_ROW_SWITCH(fn)                                                                        \
  void unpackRow(qe_PelPacking p, const unsigned char* base, long w, std::uint16_t* d) {               \
    switch (p) {                                                                                       \
      case qe_Pack10p: fn<qe_Pack10p>(base, w, d); break;                                              \
      case qe_Pack12p: fn<qe_Pack12p>(base, w, d); break;                                              \
      case qe_Pack14p: fn<qe_Pack14p>(base, w, d); break;                                              \
      case qe_Pack10Packed: fn<qe_Pack10Packed>(base, w, d); break;                                    \
      case qe_Pack12Packed: fn<qe_Pack12Packed>(base, w, d); break;                                    \
      case qe_Pack16: std::memcpy(d, base, 2 * static_cast<std::size_t>(w)); break;                    \
    }                                                                                                  \
  }

// Byte shuffles (pshufb controls) of byte-ordered colour, pels of N bytes
// (3 or 4) with red first, or blue first (Bgr).  The byte of component c
// (0 red, 1 green, 2 blue) within a pel:
constexpr int componentByte(bool bgr, int c) { return c == 1 ? 1 : (c == 0) != bgr ? 0 : 2; }

// Four RGB32 pels (blue in the low byte, the top byte 0) from four pels at
// the start of a 128-bit lane.
template <int N, bool Bgr>
QRN_PEL_INLINE __m128i rgb32Shuffle() {
  alignas(16) char b[16];
  for (int j = 0; j < 16; ++j) {
    const int pel = j / 4, c = 2 - j % 4;  // bytes blue, green, red, none
    b[j] = static_cast<char>(c < 0 ? 0x80 : N * pel + componentByte(Bgr, c));
  }
  return _mm_load_si128(reinterpret_cast<const __m128i*>(b));
}

// Component c of those of 16 pels (16 * N bytes, in N parts of 16) that part
// `part` holds, in pel order, zero elsewhere: the plane is the OR of the
// parts' shuffles.
template <int N, bool Bgr>
QRN_PEL_INLINE __m128i planeShuffle(int part, int c) {
  alignas(16) char b[16];
  for (int j = 0; j < 16; ++j) {
    const int at = N * j + componentByte(Bgr, c);
    b[j] = static_cast<char>(at / 16 == part ? at % 16 : 0x80);
  }
  return _mm_load_si128(reinterpret_cast<const __m128i*>(b));
}

// ---- SSE2 ------------------------------------------------------------------------
QRN_SIMD_TARGET_BEGIN("sse2")
namespace qrn_pel_sse2 {
struct Isa {
  using V = __m128i;
  static constexpr long kQuads = 2;
  // Two groups: 8 bytes at each.
  static constexpr long reach(long gb) { return gb + 8; }
  static QRN_PEL_INLINE V load(const unsigned char* p, long gb) {
    return _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)),
                              _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + gb)));
  }
  static QRN_PEL_INLINE void store(std::uint16_t* d, V v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(d), v); }
  static QRN_PEL_INLINE V set64(std::uint64_t v) { return _mm_set1_epi64x(static_cast<long long>(v)); }
  static QRN_PEL_INLINE V and_(V a, V b) { return _mm_and_si128(a, b); }
  static QRN_PEL_INLINE V or_(V a, V b) { return _mm_or_si128(a, b); }
  template <int N>
  static QRN_PEL_INLINE V sll64(V a) { return _mm_slli_epi64(a, N); }
  template <int N>
  static QRN_PEL_INLINE V srl64(V a) { return _mm_srli_epi64(a, N); }
  template <int N>
  static QRN_PEL_INLINE V sll16(V a) { return _mm_slli_epi16(a, N); }
  QRN_PEL_QUAD_UNPACK
  QRN_PEL_QUAD_ROW
};
QRN_PEL_ROW_SWITCH(Isa::rowOfQuads)
// 16-bit pels shifted right and clamped to 255 (min(v, 255) = v - the
// saturated v - 255: SSE2 has no unsigned 16-bit min), sixteen a step;
// returns the pels done.
long narrowVector(const std::uint16_t* __restrict s, long w, int shift, unsigned char* __restrict d) {
  const __m128i n = _mm_cvtsi32_si128(shift), top = _mm_set1_epi16(255);
  const auto at = [&](long k) {
    const __m128i v = _mm_srl_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + k)), n);
    return _mm_sub_epi16(v, _mm_subs_epu16(v, top));
  };
  long i = 0;
  for (; i + 16 <= w; i += 16) _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), _mm_packus_epi16(at(i), at(i + 8)));
  return i;
}
// SSE2 has no 32-bit min and max: YUV runs as the compiler vectorizes the row
// loops of pelrows.inc.
long yuvVector(bool, const unsigned char*, long, const qrn_pel::YuvWeights&, std::uint32_t*, unsigned char*,
               unsigned char*, unsigned char*) {
  return 0;
}
// Byte-ordered colour to RGB32 and to planes, sixteen pels a step; each
// returns the pels done.  SSE2 has no byte shuffle: the pels go to RGB32 in
// 32-bit lanes first (RGB8 spread from each 12 bytes by byte shifts, the
// components ordered by lane shifts), the planes are packed from those.
struct Quads {
  __m128i q0, q1, q2, q3;  // pels 0-3, 4-7, 8-11, 12-15
};
template <int N, bool Bgr>
QRN_PEL_INLINE Quads rgb32Quads(const unsigned char* p) {
  const auto order = [](__m128i v) {
    if constexpr (Bgr) return _mm_and_si128(v, _mm_set1_epi32(0xFFFFFF));
    return _mm_or_si128(_mm_or_si128(_mm_and_si128(_mm_slli_epi32(v, 16), _mm_set1_epi32(0xFF0000)),
                                     _mm_and_si128(v, _mm_set1_epi32(0xFF00))),
                        _mm_and_si128(_mm_srli_epi32(v, 16), _mm_set1_epi32(0xFF)));
  };
  const auto load = [p](int at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at)); };
  if constexpr (N == 4) return {order(load(0)), order(load(16)), order(load(32)), order(load(48))};
  const auto spread = [&](__m128i g) {
    return order(_mm_unpacklo_epi64(_mm_unpacklo_epi32(g, _mm_srli_si128(g, 3)),
                                    _mm_unpacklo_epi32(_mm_srli_si128(g, 6), _mm_srli_si128(g, 9))));
  };
  const __m128i a = load(0), b = load(16), c = load(32);
  return {spread(a), spread(_mm_or_si128(_mm_srli_si128(a, 12), _mm_slli_si128(b, 4))),
          spread(_mm_or_si128(_mm_srli_si128(b, 8), _mm_slli_si128(c, 8))), spread(_mm_srli_si128(c, 4))};
}
template <int N, bool Bgr>
long rgb32Vector(const unsigned char* __restrict s, long w, std::uint32_t* __restrict d) {
  const auto store = [](std::uint32_t* at, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(at), v); };
  long i = 0;
  for (; i + 16 <= w; i += 16) {
    const Quads q = rgb32Quads<N, Bgr>(s + N * i);
    store(d + i, q.q0);
    store(d + i + 4, q.q1);
    store(d + i + 8, q.q2);
    store(d + i + 12, q.q3);
  }
  return i;
}
// Byte Shift / 8 of each of the sixteen pels of q, in order.
template <int Shift>
QRN_PEL_INLINE void storePlane(const Quads& q, unsigned char* d) {
  const auto at = [](__m128i v) { return _mm_and_si128(_mm_srli_epi32(v, Shift), _mm_set1_epi32(0xFF)); };
  _mm_storeu_si128(reinterpret_cast<__m128i*>(d),
                   _mm_packus_epi16(_mm_packs_epi32(at(q.q0), at(q.q1)), _mm_packs_epi32(at(q.q2), at(q.q3))));
}
template <int N, bool Bgr>
long planesVector(const unsigned char* __restrict s, long w, unsigned char* __restrict pr,
                  unsigned char* __restrict pg, unsigned char* __restrict pb) {
  long i = 0;
  for (; i + 16 <= w; i += 16) {
    const Quads q = rgb32Quads<N, Bgr>(s + N * i);
    storePlane<16>(q, pr + i);
    storePlane<8>(q, pg + i);
    storePlane<0>(q, pb + i);
  }
  return i;
}
#include "pelrows.inc"
#include "pelunpack.inc"
}  // namespace qrn_pel_sse2
QRN_SIMD_TARGET_END

// ---- AVX2 ------------------------------------------------------------------------
QRN_SIMD_TARGET_BEGIN("avx2")
namespace qrn_pel_avx2 {
struct Isa {
  using V = __m256i;
  static constexpr long kQuads = 4;
  // 16 bytes at the first and at the third group.
  static constexpr long reach(long gb) { return 2 * gb + 16; }
  static QRN_PEL_INLINE V load(const unsigned char* p, long gb) {
    const V two = _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))),
                                          _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 2 * gb)), 1);
    const auto b = [gb](int i) { return static_cast<char>(i < 8 ? i : gb + i - 8); };
    const V ctl = _mm256_setr_epi8(b(0), b(1), b(2), b(3), b(4), b(5), b(6), b(7), b(8), b(9), b(10), b(11), b(12),
                                   b(13), b(14), b(15), b(0), b(1), b(2), b(3), b(4), b(5), b(6), b(7), b(8), b(9),
                                   b(10), b(11), b(12), b(13), b(14), b(15));
    return _mm256_shuffle_epi8(two, ctl);
  }
  static QRN_PEL_INLINE void store(std::uint16_t* d, V v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(d), v); }
  static QRN_PEL_INLINE V set64(std::uint64_t v) { return _mm256_set1_epi64x(static_cast<long long>(v)); }
  static QRN_PEL_INLINE V and_(V a, V b) { return _mm256_and_si256(a, b); }
  static QRN_PEL_INLINE V or_(V a, V b) { return _mm256_or_si256(a, b); }
  template <int N>
  static QRN_PEL_INLINE V sll64(V a) { return _mm256_slli_epi64(a, N); }
  template <int N>
  static QRN_PEL_INLINE V srl64(V a) { return _mm256_srli_epi64(a, N); }
  template <int N>
  static QRN_PEL_INLINE V sll16(V a) { return _mm256_slli_epi16(a, N); }
  QRN_PEL_QUAD_UNPACK
  QRN_PEL_QUAD_ROW
};
QRN_PEL_ROW_SWITCH(Isa::rowOfQuads)
// 16-bit pels shifted right and clamped to 255, 32 a step; returns the pels done.
long narrowVector(const std::uint16_t* __restrict s, long w, int shift, unsigned char* __restrict d) {
  const __m128i n = _mm_cvtsi32_si128(shift);
  const __m256i top = _mm256_set1_epi16(255);
  const auto at = [&](long k) {
    return _mm256_min_epu16(_mm256_srl_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + k)), n), top);
  };
  long i = 0;
  for (; i + 32 <= w; i += 32)
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + i),
                        _mm256_permute4x64_epi64(_mm256_packus_epi16(at(i), at(i + 16)), 0xD8));
  return i;
}
struct Yv {
  using V = __m256i;
  static constexpr long N = 32;
  static QRN_PEL_INLINE V load(const unsigned char* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
  static QRN_PEL_INLINE V set16(int v) { return _mm256_set1_epi16(static_cast<short>(v)); }
  static QRN_PEL_INLINE V set32(int v) { return _mm256_set1_epi32(v); }
  static QRN_PEL_INLINE V and_(V a, V b) { return _mm256_and_si256(a, b); }
  static QRN_PEL_INLINE V or_(V a, V b) { return _mm256_or_si256(a, b); }
  static QRN_PEL_INLINE V srli16_8(V a) { return _mm256_srli_epi16(a, 8); }
  static QRN_PEL_INLINE V sub16(V a, V b) { return _mm256_sub_epi16(a, b); }
  static QRN_PEL_INLINE V madd(V a, V b) { return _mm256_madd_epi16(a, b); }
  static QRN_PEL_INLINE V add32(V a, V b) { return _mm256_add_epi32(a, b); }
  static QRN_PEL_INLINE V srai32_13(V a) { return _mm256_srai_epi32(a, 13); }
  static QRN_PEL_INLINE V max32(V a, V b) { return _mm256_max_epi32(a, b); }
  static QRN_PEL_INLINE V min32(V a, V b) { return _mm256_min_epi32(a, b); }
  template <int K>
  static QRN_PEL_INLINE V slli32(V a) { return _mm256_slli_epi32(a, K); }
  // Even pels e and odd pels o (one per 32-bit lane each) stored in pel order.
  static QRN_PEL_INLINE void storeInterleaved32(std::uint32_t* d, V e, V o) {
    const V lo = _mm256_unpacklo_epi32(e, o), hi = _mm256_unpackhi_epi32(e, o);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d), _mm256_permute2x128_si256(lo, hi, 0x20));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 8), _mm256_permute2x128_si256(lo, hi, 0x31));
  }
  // The 16-bit lanes (0..255) of a, then of b, stored as bytes.
  static QRN_PEL_INLINE void store16x2as8(unsigned char* d, V a, V b) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d), _mm256_permute4x64_epi64(_mm256_packus_epi16(a, b), 0xD8));
  }
  static QRN_PEL_INLINE void store(void* d, V v) { _mm256_storeu_si256(static_cast<__m256i*>(d), v); }
  static QRN_PEL_INLINE V shuffle8(V a, V ctl) { return _mm256_shuffle_epi8(a, ctl); }
  static QRN_PEL_INLINE V broadcast128(__m128i a) { return _mm256_broadcastsi128_si256(a); }
  // Lane L: the 16 bytes at p + L * step.
  static QRN_PEL_INLINE V lanes(const unsigned char* p, long step) {
    if (step == 16) return load(p);
    return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))),
                                   _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + step)), 1);
  }
};
#include "pelbytes.inc"
#include "pelyuv.inc"
#include "pelrows.inc"
#include "pelunpack.inc"
}  // namespace qrn_pel_avx2
QRN_SIMD_TARGET_END

// ---- AVX-512 (F, BW, VL): the colour kernels ------------------------------------------
// (The mask-less forms of GCC 12's headers start from an undefined vector
// that -Wmaybe-uninitialized reports; the all-ones masked forms are the same
// instructions.)
QRN_SIMD_TARGET_BEGIN("avx2,avx512f,avx512bw,avx512vl")
namespace qrn_pel_avx512 {
struct Yv {
  using V = __m512i;
  static constexpr long N = 64;
  // (All-ones masked forms: see the note above on GCC 12's headers.)
  static constexpr __mmask16 kAll16 = 0xFFFF;
  static QRN_PEL_INLINE V load(const unsigned char* p) { return _mm512_loadu_si512(p); }
  static QRN_PEL_INLINE V set16(int v) { return _mm512_set1_epi16(static_cast<short>(v)); }
  static QRN_PEL_INLINE V set32(int v) { return _mm512_set1_epi32(v); }
  static QRN_PEL_INLINE V and_(V a, V b) { return _mm512_and_si512(a, b); }
  static QRN_PEL_INLINE V or_(V a, V b) { return _mm512_or_si512(a, b); }
  static QRN_PEL_INLINE V srli16_8(V a) { return _mm512_maskz_srli_epi16(~0u, a, 8); }
  static QRN_PEL_INLINE V sub16(V a, V b) { return _mm512_maskz_sub_epi16(~0u, a, b); }
  static QRN_PEL_INLINE V madd(V a, V b) { return _mm512_maskz_madd_epi16(kAll16, a, b); }
  static QRN_PEL_INLINE V add32(V a, V b) { return _mm512_maskz_add_epi32(kAll16, a, b); }
  static QRN_PEL_INLINE V srai32_13(V a) { return _mm512_maskz_srai_epi32(kAll16, a, 13); }
  static QRN_PEL_INLINE V max32(V a, V b) { return _mm512_maskz_max_epi32(kAll16, a, b); }
  static QRN_PEL_INLINE V min32(V a, V b) { return _mm512_maskz_min_epi32(kAll16, a, b); }
  template <int K>
  static QRN_PEL_INLINE V slli32(V a) { return _mm512_maskz_slli_epi32(kAll16, a, K); }
  static QRN_PEL_INLINE void storeInterleaved32(std::uint32_t* d, V e, V o) {
    const V lo = _mm512_maskz_unpacklo_epi32(kAll16, e, o), hi = _mm512_maskz_unpackhi_epi32(kAll16, e, o);
    const V first = _mm512_set_epi64(11, 10, 3, 2, 9, 8, 1, 0), second = _mm512_set_epi64(15, 14, 7, 6, 13, 12, 5, 4);
    _mm512_storeu_si512(d, _mm512_maskz_permutex2var_epi64(0xFF, lo, first, hi));
    _mm512_storeu_si512(d + 16, _mm512_maskz_permutex2var_epi64(0xFF, lo, second, hi));
  }
  static QRN_PEL_INLINE void store16x2as8(unsigned char* d, V a, V b) {
    const V order = _mm512_set_epi64(7, 5, 3, 1, 6, 4, 2, 0);
    _mm512_storeu_si512(d, _mm512_maskz_permutexvar_epi64(0xFF, order, _mm512_maskz_packus_epi16(~0ull, a, b)));
  }
  static QRN_PEL_INLINE void store(void* d, V v) { _mm512_storeu_si512(d, v); }
  static QRN_PEL_INLINE V shuffle8(V a, V ctl) { return _mm512_maskz_shuffle_epi8(~0ull, a, ctl); }
  static QRN_PEL_INLINE V broadcast128(__m128i a) { return _mm512_maskz_broadcast_i32x4(kAll16, a); }
  // Lane L: the 16 bytes at p + L * step (steps 12 and 16: one load).
  static QRN_PEL_INLINE V lanes(const unsigned char* p, long step) {
    if (step == 16) return load(p);
    if (step == 12) {
      const __m512i idx = _mm512_setr_epi32(0, 1, 2, 3, 3, 4, 5, 6, 6, 7, 8, 9, 9, 10, 11, 12);
      return _mm512_maskz_permutexvar_epi32(kAll16, idx, _mm512_maskz_loadu_epi8((1ull << 52) - 1, p));
    }
    const auto at = [p, step](int k) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k * step)); };
    const __m256i lo = _mm256_inserti128_si256(_mm256_castsi128_si256(at(0)), at(1), 1);
    const __m256i hi = _mm256_inserti128_si256(_mm256_castsi128_si256(at(2)), at(3), 1);
    return _mm512_maskz_inserti64x4(0xFF, _mm512_castsi256_si512(lo), hi, 1);
  }
};
#include "pelbytes.inc"
#include "pelyuv.inc"
#include "pelrows.inc"
}  // namespace qrn_pel_avx512
QRN_SIMD_TARGET_END

// ---- AVX-512 with VBMI: the unpackers ----------------------------------------------
// 32 pels a step: a byte permute puts each group of four pels in a 64-bit
// lane, a multishift takes each pel's two bytes from its bit offset, a mask
// keeps its bits.  Masked loads and stores take the row's end (a last
// partial group included) in the same step.
QRN_SIMD_TARGET_BEGIN("avx2,avx512f,avx512bw,avx512vl,avx512vbmi")
namespace qrn_pel_avx512vbmi {

// Eight 64-bit lanes of the same eight bytes.
QRN_PEL_INLINE __m512i perLane(const unsigned char (&b)[8]) {
  std::uint64_t v = 0;
  for (int i = 0; i < 8; ++i) v |= static_cast<std::uint64_t>(b[i]) << (8 * i);
  return _mm512_set1_epi64(static_cast<long long>(v));
}

template <qe_PelPacking P>
void rowOf32(const unsigned char* base, long w, std::uint16_t* d) {
  constexpr long gb = quadBytes(P);
  alignas(64) unsigned char idxBytes[64];
  for (int k = 0; k < 8; ++k)
    for (int m = 0; m < 8; ++m) idxBytes[8 * k + m] = static_cast<unsigned char>(k * gb + m);
  const __m512i idx = _mm512_load_si512(idxBytes);
  constexpr bool lsbFirst = P == qe_Pack10p || P == qe_Pack12p || P == qe_Pack14p;
  constexpr int B = packBits(P);
  constexpr int L = P == qe_Pack10Packed ? 2 : 4;
  const __m512i ctlA = lsbFirst ? perLane({0, 8, B, B + 8, 2 * B, 2 * B + 8, 3 * B, 3 * B + 8})
                                : perLane({0, 0, 16, 16, 24, 24, 40, 40});
  const __m512i ctlB = perLane({8, 8, 12, 12, 32, 32, 36, 36});
  const __m512i maskA = _mm512_set1_epi16(static_cast<short>(lsbFirst ? (1 << B) - 1 : 0xFF));
  const __m512i maskB = _mm512_set1_epi16(static_cast<short>((1 << L) - 1));
  const long rowBytes = static_cast<long>(qf_packedRowBytes(P, w));
  for (long x = 0; x < w; x += 32) {
    const long n = std::min(32L, w - x), at = x / 4 * gb, bytes = std::min(8 * gb, rowBytes - at);
    const __mmask64 lm = bytes >= 64 ? ~0ull : (1ull << bytes) - 1;
    const __mmask32 sm = n >= 32 ? ~0u : (1u << n) - 1;
    const __m512i q = _mm512_maskz_permutexvar_epi8(~0ull, idx, _mm512_maskz_loadu_epi8(lm, base + at));
    __m512i v = _mm512_and_si512(_mm512_maskz_multishift_epi64_epi8(~0ull, ctlA, q), maskA);
    if constexpr (!lsbFirst)
      v = _mm512_or_si512(_mm512_slli_epi16(v, L), _mm512_and_si512(_mm512_maskz_multishift_epi64_epi8(~0ull, ctlB, q), maskB));
    _mm512_mask_storeu_epi16(d + x, sm, v);
  }
}

QRN_PEL_ROW_SWITCH(rowOf32)
// 16-bit pels shifted right and clamped to 255, 32 a step; returns the pels done.
long narrowVector(const std::uint16_t* __restrict s, long w, int shift, unsigned char* __restrict d) {
  const __m128i n = _mm_cvtsi32_si128(shift);
  const __m512i top = _mm512_set1_epi16(255);
  long i = 0;
  for (; i + 32 <= w; i += 32) {
    const __m512i v = _mm512_maskz_srl_epi16(~0u, _mm512_loadu_si512(s + i), n);
    const __m256i bytes = _mm512_maskz_cvtepi16_epi8(~0u, _mm512_maskz_min_epu16(~0u, v, top));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + i), bytes);
  }
  return i;
}
#include "pelunpack.inc"
}  // namespace qrn_pel_avx512vbmi
QRN_SIMD_TARGET_END

#endif  // QRN_PEL_X86

// ---- dispatch --------------------------------------------------------------------
#if QRN_PEL_X86
// The unpackers run their AVX2 form on AVX-512 without VBMI, the colour
// kernels their AVX-512 form on both AVX-512 levels.
#define QRN_PEL_DISPATCH_TO(level, ref, vbmi, avx512, fn, ...)  \
  switch (qf_simdClamp(level)) {                                \
    case qe_SimdAVX512VBMI: vbmi::fn(__VA_ARGS__); break;       \
    case qe_SimdAVX512: avx512::fn(__VA_ARGS__); break;         \
    case qe_SimdAVX2: qrn_pel_avx2::fn(__VA_ARGS__); break;     \
    case qe_SimdSSE2: qrn_pel_sse2::fn(__VA_ARGS__); break;     \
    default: ref; break;                                        \
  }
#define QRN_PEL_UNPACK_DISPATCH(level, ref, fn, ...) \
  QRN_PEL_DISPATCH_TO(level, ref, qrn_pel_avx512vbmi, qrn_pel_avx2, fn, __VA_ARGS__)
#define QRN_PEL_DISPATCH(level, ref, fn, ...) \
  QRN_PEL_DISPATCH_TO(level, ref, qrn_pel_avx512, qrn_pel_avx512, fn, __VA_ARGS__)
#else
#define QRN_PEL_DISPATCH(level, ref, fn, ...) \
  do {                                        \
    (void)(level);                            \
    ref;                                      \
  } while (0)
#define QRN_PEL_UNPACK_DISPATCH QRN_PEL_DISPATCH
#endif

namespace {
bool validImage(const void* data, long w, long h) { return data && w > 0 && h > 0; }
bool yuv(qe_ColourOrder o) { return o == qe_OrderUYVY || o == qe_OrderYUYV; }
}  // namespace

void qf_unpack16(qe_SimdLevel level, const qs_PackedImage& src, qs_RawPlane<std::uint16_t> dst) {
  if (!validImage(src.data, src.width, src.height)) return;
  QRN_PEL_UNPACK_DISPATCH(level, qf_unpack16Ref(src, dst), unpack16, src, dst);
}

void qf_unpack8(qe_SimdLevel level, const qs_PackedImage& src, int bits, qs_RawPlane8 dst) {
  if (!validImage(src.data, src.width, src.height)) return;
  const int shift = std::clamp(bits, 8, 16) - 8;
  QRN_PEL_UNPACK_DISPATCH(level, qf_unpack8Ref(src, bits, dst), unpack8, src, shift, dst);
}

void qf_colourToRGB32(qe_SimdLevel level, const qs_ColourImage& src, qs_RawPlane<std::uint32_t> dst) {
  if (!validImage(src.data, src.width, src.height)) return;
  QRN_PEL_DISPATCH(level, qf_colourToRGB32Ref(src, dst), colourToRGB32, src, dst);
}

void qf_colourToRGB16(qe_SimdLevel level, const qs_ColourImage& src, qs_RawPlane<std::uint16_t> dst) {
  if (!validImage(src.data, src.width, src.height)) return;
  QRN_PEL_DISPATCH(level, qf_colourToRGB16Ref(src, dst), colourToRGB16, src, dst);
}

void qf_colourToPlanes(qe_SimdLevel level, const qs_ColourImage& src, qs_RawPlane8 red, qs_RawPlane8 green,
                       qs_RawPlane8 blue) {
  if (!validImage(src.data, src.width, src.height)) return;
  QRN_PEL_DISPATCH(level, qf_colourToPlanesRef(src, red, green, blue), colourToPlanes, src, red, green, blue);
}

void qf_yuvToGrey(qe_SimdLevel level, const qs_ColourImage& src, qs_RawPlane8 dst) {
  if (!validImage(src.data, src.width, src.height) || !yuv(src.order)) return;
  QRN_PEL_DISPATCH(level, qf_yuvToGreyRef(src, dst), yuvToGrey, src, dst);
}
