// Accelerated Bayer kernels: one vector body (bayersimd_body.inc) compiled for
// SSE2 (16 bytes), AVX2 (32 bytes) and AVX-512 BW (64 bytes) through target
// attributes, chosen at run time.  Other architectures build the dispatchers over the reference only.
#include <qrn/acq/convert/bayerkernels.h>

#include <qrn/foundation/misc.h>

#if defined(__x86_64__) || defined(__i386__)
#define QRN_BAYER_X86 1
#include <cpuid.h>
// GCC 12's AVX-512 intrinsics start many results from an undefined vector,
// which -W(maybe-)uninitialized reports at the header's lines once inlined.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop
#endif

#include <algorithm>
#include <cstdint>
#include <memory>
#include <type_traits>

#include "simdtarget.h"

#define QRN_SIMD_INLINE inline __attribute__((always_inline))

namespace {
// Eight rows of `width` bytes, 64-byte aligned, for the split rows that a
// demosaic pass keeps for the next one.
class qc_BayerScratch {
public:
  explicit qc_BayerScratch(long width) : mem_(new unsigned char[static_cast<std::size_t>(8 * width) + 64]) {}
  unsigned char* data() {
    const auto a = reinterpret_cast<std::uintptr_t>(mem_.get());
    return mem_.get() + (64 - a % 64) % 64;
  }

private:
  std::unique_ptr<unsigned char[]> mem_;
};
}  // namespace

#if QRN_BAYER_X86
namespace {
// PREFETCHW (CPUID 0x80000001, ECX bit 8): the kernels fetch output lines for
// writing ahead of their stores where the processor has it.
bool cpuHasPrefetchW() {
  unsigned a = 0, b = 0, c = 0, d = 0;
  return __get_cpuid(0x80000001u, &a, &b, &c, &d) && (c & (1u << 8)) != 0;
}
const bool kPrefetchW = cpuHasPrefetchW();
}  // namespace
#endif

#if QRN_BAYER_X86

// ---- SSE2 ------------------------------------------------------------------------
QRN_SIMD_TARGET_BEGIN("sse2,prfchw")
namespace qrn_bayer_sse2 {
struct Isa {
  using V = __m128i;
  static constexpr long N = 16;
  static QRN_SIMD_INLINE V load(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
  static QRN_SIMD_INLINE void store(void* p, V v) { _mm_storeu_si128(static_cast<__m128i*>(p), v); }
  static QRN_SIMD_INLINE void prefetch(const void* p) { _mm_prefetch(static_cast<const char*>(p), _MM_HINT_T0); }
  static QRN_SIMD_INLINE void prefetchW(const void* p) { __builtin_prefetch(p, 1, 3); }
  static QRN_SIMD_INLINE V zero() { return _mm_setzero_si128(); }
  static QRN_SIMD_INLINE V set16(int v) { return _mm_set1_epi16(static_cast<short>(v)); }
  static QRN_SIMD_INLINE V evenMask() { return _mm_set1_epi16(0x00FF); }
  static QRN_SIMD_INLINE V notv(V a) { return _mm_xor_si128(a, _mm_set1_epi32(-1)); }
  static QRN_SIMD_INLINE V and_(V a, V b) { return _mm_and_si128(a, b); }
  static QRN_SIMD_INLINE V or_(V a, V b) { return _mm_or_si128(a, b); }
  static QRN_SIMD_INLINE V xor_(V a, V b) { return _mm_xor_si128(a, b); }
  static QRN_SIMD_INLINE V sel(V m, V a, V b) { return _mm_or_si128(_mm_and_si128(m, a), _mm_andnot_si128(m, b)); }
  static QRN_SIMD_INLINE V avg(V a, V b) { return _mm_avg_epu8(a, b); }
  static QRN_SIMD_INLINE V unpacklo8(V a, V b) { return _mm_unpacklo_epi8(a, b); }
  static QRN_SIMD_INLINE V unpackhi8(V a, V b) { return _mm_unpackhi_epi8(a, b); }
  static QRN_SIMD_INLINE V unpacklo16(V a, V b) { return _mm_unpacklo_epi16(a, b); }
  static QRN_SIMD_INLINE V unpackhi16(V a, V b) { return _mm_unpackhi_epi16(a, b); }
  static QRN_SIMD_INLINE V mullo16(V a, V b) { return _mm_mullo_epi16(a, b); }
  // floor(a * m / 32768 + 0.5) for a in 0..255 and m in 0..32767 (SSE2 has no
  // pmulhrsw: the high word of a * 2m, plus the carry of the rounding half).
  static QRN_SIMD_INLINE V mulRound15(V a, V m2) {
    return _mm_add_epi16(_mm_mulhi_epu16(a, m2), _mm_srli_epi16(_mm_mullo_epi16(a, m2), 15));
  }
  static constexpr int kRound15Scale = 2;  // mulRound15 takes 2m
  static QRN_SIMD_INLINE V set8(int v) { return _mm_set1_epi8(static_cast<char>(v)); }
  static QRN_SIMD_INLINE V cmpeq8(V a, V b) { return _mm_cmpeq_epi8(a, b); }
  static QRN_SIMD_INLINE V add8(V a, V b) { return _mm_add_epi8(a, b); }
  static QRN_SIMD_INLINE V add16(V a, V b) { return _mm_add_epi16(a, b); }
  // Unsigned bytes of a times the bytes of w, adjacent products summed
  // (as pmaddubsw for small non-negative weights; SSE2 has no such step).
  static constexpr bool kHasMaddubs = false;
  static QRN_SIMD_INLINE V maddubs(V a, V w) {
    const V lo = _mm_set1_epi16(0x00FF);
    return _mm_add_epi16(_mm_mullo_epi16(_mm_and_si128(a, lo), _mm_and_si128(w, lo)),
                         _mm_mullo_epi16(_mm_srli_epi16(a, 8), _mm_srli_epi16(w, 8)));
  }
  static QRN_SIMD_INLINE V add64(V a, V b) { return _mm_add_epi64(a, b); }
  static QRN_SIMD_INLINE V srli16_8(V a) { return _mm_srli_epi16(a, 8); }
  static QRN_SIMD_INLINE V srli16_3(V a) { return _mm_srli_epi16(a, 3); }
  static QRN_SIMD_INLINE V slli16_8(V a) { return _mm_slli_epi16(a, 8); }
  static QRN_SIMD_INLINE V slli16_3(V a) { return _mm_slli_epi16(a, 3); }
  static QRN_SIMD_INLINE V packus16(V a, V b) { return _mm_packus_epi16(a, b); }
  static QRN_SIMD_INLINE V packOrdered(V a, V b) { return _mm_packus_epi16(a, b); }
  static QRN_SIMD_INLINE V sad(V a) { return _mm_sad_epu8(a, _mm_setzero_si128()); }
  static QRN_SIMD_INLINE std::uint64_t hsum64(V a) {
    return static_cast<std::uint64_t>(_mm_cvtsi128_si64(a)) +
           static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(a, a)));
  }
  // Stores the results of lo/hi unpacks in pixel order.
  static QRN_SIMD_INLINE void store2(void* p, V lo, V hi) {
    store(p, lo);
    store(static_cast<char*>(p) + 16, hi);
  }
  // Order of the components before the 8- and 16-bit unpacks of a packed
  // 32-bit store (identity: the unpacks give pixels in order).
  static QRN_SIMD_INLINE V prepRGB32(V v) { return v; }
  static QRN_SIMD_INLINE void store4(void* p, V a, V b, V c, V d) {
    char* q = static_cast<char*>(p);
    store(q, a);
    store(q + 16, b);
    store(q + 32, c);
    store(q + 48, d);
  }
};
#include "bayersimd_body.inc"
}  // namespace qrn_bayer_sse2
QRN_SIMD_TARGET_END

// ---- AVX2 ------------------------------------------------------------------------
QRN_SIMD_TARGET_BEGIN("avx2,prfchw")
namespace qrn_bayer_avx2 {
struct Isa {
  using V = __m256i;
  static constexpr long N = 32;
  static QRN_SIMD_INLINE V load(const void* p) { return _mm256_loadu_si256(static_cast<const __m256i*>(p)); }
  static QRN_SIMD_INLINE void store(void* p, V v) { _mm256_storeu_si256(static_cast<__m256i*>(p), v); }
  static QRN_SIMD_INLINE void prefetch(const void* p) { _mm_prefetch(static_cast<const char*>(p), _MM_HINT_T0); }
  static QRN_SIMD_INLINE void prefetchW(const void* p) { __builtin_prefetch(p, 1, 3); }
  static QRN_SIMD_INLINE V zero() { return _mm256_setzero_si256(); }
  static QRN_SIMD_INLINE V set16(int v) { return _mm256_set1_epi16(static_cast<short>(v)); }
  static QRN_SIMD_INLINE V evenMask() { return _mm256_set1_epi16(0x00FF); }
  static QRN_SIMD_INLINE V notv(V a) { return _mm256_xor_si256(a, _mm256_set1_epi32(-1)); }
  static QRN_SIMD_INLINE V and_(V a, V b) { return _mm256_and_si256(a, b); }
  static QRN_SIMD_INLINE V or_(V a, V b) { return _mm256_or_si256(a, b); }
  static QRN_SIMD_INLINE V xor_(V a, V b) { return _mm256_xor_si256(a, b); }
  static QRN_SIMD_INLINE V sel(V m, V a, V b) { return _mm256_blendv_epi8(b, a, m); }
  static QRN_SIMD_INLINE V avg(V a, V b) { return _mm256_avg_epu8(a, b); }
  static QRN_SIMD_INLINE V unpacklo8(V a, V b) { return _mm256_unpacklo_epi8(a, b); }
  static QRN_SIMD_INLINE V unpackhi8(V a, V b) { return _mm256_unpackhi_epi8(a, b); }
  static QRN_SIMD_INLINE V unpacklo16(V a, V b) { return _mm256_unpacklo_epi16(a, b); }
  static QRN_SIMD_INLINE V unpackhi16(V a, V b) { return _mm256_unpackhi_epi16(a, b); }
  static QRN_SIMD_INLINE V mullo16(V a, V b) { return _mm256_mullo_epi16(a, b); }
  // floor(a * m / 32768 + 0.5) for a in 0..255 and m in 0..32767 (pmulhrsw).
  static QRN_SIMD_INLINE V mulRound15(V a, V m) { return _mm256_mulhrs_epi16(a, m); }
  static constexpr int kRound15Scale = 1;
  static QRN_SIMD_INLINE V set8(int v) { return _mm256_set1_epi8(static_cast<char>(v)); }
  static QRN_SIMD_INLINE V cmpeq8(V a, V b) { return _mm256_cmpeq_epi8(a, b); }
  static QRN_SIMD_INLINE V add8(V a, V b) { return _mm256_add_epi8(a, b); }
  static QRN_SIMD_INLINE V add16(V a, V b) { return _mm256_add_epi16(a, b); }
  static constexpr bool kHasMaddubs = true;
  static QRN_SIMD_INLINE V maddubs(V a, V w) { return _mm256_maddubs_epi16(a, w); }
  static QRN_SIMD_INLINE V add64(V a, V b) { return _mm256_add_epi64(a, b); }
  static QRN_SIMD_INLINE V srli16_8(V a) { return _mm256_srli_epi16(a, 8); }
  static QRN_SIMD_INLINE V srli16_3(V a) { return _mm256_srli_epi16(a, 3); }
  static QRN_SIMD_INLINE V slli16_8(V a) { return _mm256_slli_epi16(a, 8); }
  static QRN_SIMD_INLINE V slli16_3(V a) { return _mm256_slli_epi16(a, 3); }
  static QRN_SIMD_INLINE V packus16(V a, V b) { return _mm256_packus_epi16(a, b); }
  // packus works per 128-bit lane; restore the order of the source bytes.
  static QRN_SIMD_INLINE V packOrdered(V a, V b) {
    return _mm256_permute4x64_epi64(_mm256_packus_epi16(a, b), 0xD8);
  }
  static QRN_SIMD_INLINE V sad(V a) { return _mm256_sad_epu8(a, _mm256_setzero_si256()); }
  static QRN_SIMD_INLINE std::uint64_t hsum64(V a) {
    const __m128i s = _mm_add_epi64(_mm256_castsi256_si128(a), _mm256_extracti128_si256(a, 1));
    return static_cast<std::uint64_t>(_mm_cvtsi128_si64(s)) +
           static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(s, s)));
  }
  // Unpacks work per lane: lo holds pixels 0-7 | 16-23 (in 16-bit units), hi
  // 8-15 | 24-31.  Store in pixel order.
  static QRN_SIMD_INLINE void store2(void* p, V lo, V hi) {
    store(p, _mm256_permute2x128_si256(lo, hi, 0x20));
    store(static_cast<char*>(p) + 32, _mm256_permute2x128_si256(lo, hi, 0x31));
  }
  // Unpacks work per 128-bit lane.  Spreading the 4-pixel groups as 0 2 4 6 |
  // 1 3 5 7 first makes the 8- and 16-bit unpacks yield pixels 0-7, 8-15,
  // 16-23 and 24-31 in order.
  static QRN_SIMD_INLINE V prepRGB32(V v) {
    return _mm256_permutevar8x32_epi32(v, _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7));
  }
  static QRN_SIMD_INLINE void store4(void* p, V a, V b, V c, V d) {
    char* q = static_cast<char*>(p);
    store(q, a);
    store(q + 32, b);
    store(q + 64, c);
    store(q + 96, d);
  }
};
#include "bayersimd_body.inc"
}  // namespace qrn_bayer_avx2
QRN_SIMD_TARGET_END

// ---- AVX-512 (F, BW) ---------------------------------------------------------------
QRN_SIMD_TARGET_BEGIN("avx2,avx512f,avx512bw,prfchw")
namespace qrn_bayer_avx512 {
struct Isa {
  using V = __m512i;
  static constexpr long N = 64;
  static QRN_SIMD_INLINE V load(const void* p) { return _mm512_loadu_si512(p); }
  static QRN_SIMD_INLINE void store(void* p, V v) { _mm512_storeu_si512(p, v); }
  static QRN_SIMD_INLINE void prefetch(const void* p) { _mm_prefetch(static_cast<const char*>(p), _MM_HINT_T0); }
  static QRN_SIMD_INLINE void prefetchW(const void* p) { __builtin_prefetch(p, 1, 3); }
  static QRN_SIMD_INLINE V zero() { return _mm512_setzero_si512(); }
  static QRN_SIMD_INLINE V set16(int v) { return _mm512_set1_epi16(static_cast<short>(v)); }
  static QRN_SIMD_INLINE V evenMask() { return _mm512_set1_epi16(0x00FF); }
  static QRN_SIMD_INLINE V notv(V a) { return _mm512_ternarylogic_epi32(a, a, a, 0x55); }
  static QRN_SIMD_INLINE V and_(V a, V b) { return _mm512_and_si512(a, b); }
  static QRN_SIMD_INLINE V or_(V a, V b) { return _mm512_or_si512(a, b); }
  static QRN_SIMD_INLINE V xor_(V a, V b) { return _mm512_xor_si512(a, b); }
  // m ? a : b bitwise (m is all ones or zero per byte).
  static QRN_SIMD_INLINE V sel(V m, V a, V b) { return _mm512_ternarylogic_epi32(m, a, b, 0xCA); }
  static QRN_SIMD_INLINE V avg(V a, V b) { return _mm512_avg_epu8(a, b); }
  static QRN_SIMD_INLINE V unpacklo8(V a, V b) { return _mm512_unpacklo_epi8(a, b); }
  static QRN_SIMD_INLINE V unpackhi8(V a, V b) { return _mm512_unpackhi_epi8(a, b); }
  static QRN_SIMD_INLINE V unpacklo16(V a, V b) { return _mm512_unpacklo_epi16(a, b); }
  static QRN_SIMD_INLINE V unpackhi16(V a, V b) { return _mm512_unpackhi_epi16(a, b); }
  static QRN_SIMD_INLINE V mullo16(V a, V b) { return _mm512_mullo_epi16(a, b); }
  static QRN_SIMD_INLINE V mulRound15(V a, V m) { return _mm512_mulhrs_epi16(a, m); }
  static constexpr int kRound15Scale = 1;
  static QRN_SIMD_INLINE V set8(int v) { return _mm512_set1_epi8(static_cast<char>(v)); }
  static QRN_SIMD_INLINE V cmpeq8(V a, V b) { return _mm512_movm_epi8(_mm512_cmpeq_epi8_mask(a, b)); }
  static QRN_SIMD_INLINE V add8(V a, V b) { return _mm512_add_epi8(a, b); }
  static QRN_SIMD_INLINE V add16(V a, V b) { return _mm512_add_epi16(a, b); }
  static constexpr bool kHasMaddubs = true;
  static QRN_SIMD_INLINE V maddubs(V a, V w) { return _mm512_maddubs_epi16(a, w); }
  static QRN_SIMD_INLINE V add64(V a, V b) { return _mm512_add_epi64(a, b); }
  static QRN_SIMD_INLINE V srli16_8(V a) { return _mm512_srli_epi16(a, 8); }
  static QRN_SIMD_INLINE V srli16_3(V a) { return _mm512_srli_epi16(a, 3); }
  static QRN_SIMD_INLINE V slli16_8(V a) { return _mm512_slli_epi16(a, 8); }
  static QRN_SIMD_INLINE V slli16_3(V a) { return _mm512_slli_epi16(a, 3); }
  static QRN_SIMD_INLINE V packus16(V a, V b) { return _mm512_packus_epi16(a, b); }
  // packus works per 128-bit lane: a0 b0 a1 b1 a2 b2 a3 b3 in 64-bit units.
  static QRN_SIMD_INLINE V packOrdered(V a, V b) {
    return _mm512_permutexvar_epi64(_mm512_set_epi64(7, 5, 3, 1, 6, 4, 2, 0), _mm512_packus_epi16(a, b));
  }
  static QRN_SIMD_INLINE V sad(V a) { return _mm512_sad_epu8(a, _mm512_setzero_si512()); }
  static QRN_SIMD_INLINE std::uint64_t hsum64(V a) { return static_cast<std::uint64_t>(_mm512_reduce_add_epi64(a)); }
  // Lane j of lo holds pixels 16j..16j+7 (16-bit units), of hi 16j+8..16j+15.
  static QRN_SIMD_INLINE void store2(void* p, V lo, V hi) {
    store(p, _mm512_permutex2var_epi64(lo, _mm512_set_epi64(11, 10, 3, 2, 9, 8, 1, 0), hi));
    store(static_cast<char*>(p) + 64, _mm512_permutex2var_epi64(lo, _mm512_set_epi64(15, 14, 7, 6, 13, 12, 5, 4), hi));
  }
  // The 4-pixel group q of 128-bit lane j goes to where the unpacks put
  // group 4q + j, so that they yield pixels 0-15, 16-31, 32-47, 48-63.
  static QRN_SIMD_INLINE V prepRGB32(V v) {
    return _mm512_permutexvar_epi32(_mm512_setr_epi32(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15), v);
  }
  static QRN_SIMD_INLINE void store4(void* p, V a, V b, V c, V d) {
    char* q = static_cast<char*>(p);
    store(q, a);
    store(q + 64, b);
    store(q + 128, c);
    store(q + 192, d);
  }
};
#include "bayersimd_body.inc"
}  // namespace qrn_bayer_avx512
QRN_SIMD_TARGET_END

#endif  // QRN_BAYER_X86

// ---- dispatch ------------------------------------------------------------------------
namespace {

qe_SimdLevel detectLevel() {
#if QRN_BAYER_X86
  if (!qcCpuType::SSESupported()) return qe_SimdNone;
  if (!qcCpuType::AVX2Supported()) return qe_SimdSSE2;
  if (!__builtin_cpu_supports("avx512f") || !__builtin_cpu_supports("avx512bw") ||
      !__builtin_cpu_supports("avx512vl"))
    return qe_SimdAVX2;
  return __builtin_cpu_supports("avx512vbmi") ? qe_SimdAVX512VBMI : qe_SimdAVX512;
#else
  return qe_SimdNone;
#endif
}

// The Bayer body's level: its AVX-512 form needs no VBMI.
qe_SimdLevel bayerLevel(qe_SimdLevel requested) { return std::min(qf_simdClamp(requested), qe_SimdAVX512); }

// The level to use for a demosaic of this width: none where the reference
// must run (below 16 columns, or below 24 and not a multiple of 8), AVX2 only
// where a whole 32-byte block fits.
qe_SimdLevel levelForWidth(qe_SimdLevel requested, long width) {
  qe_SimdLevel level = bayerLevel(requested);
  if (width < 16 || (width % 8 != 0 && width < 24)) return qe_SimdNone;
  if (level == qe_SimdAVX512 && width < 64) level = qe_SimdAVX2;
  if (level == qe_SimdAVX2 && width < 32) level = qe_SimdSSE2;
  return level;
}

bool validMosaic(const qs_BayerMosaic& s) {
  return s.data && s.width >= 2 && s.height >= 2 && s.width % 2 == 0 && s.height % 2 == 0;
}

}  // namespace

qe_SimdLevel qf_simdLevel() {
  static const qe_SimdLevel level = detectLevel();
  return level;
}

qe_SimdLevel qf_simdClamp(qe_SimdLevel requested) {
  const qe_SimdLevel best = qf_simdLevel();
  return requested < best ? requested : best;
}

// Calls the reference, the SSE2 or the AVX2 form of a kernel.
#if QRN_BAYER_X86
#define QRN_BAYER_DISPATCH(level, ref, fn, ...)                      \
  switch (level) {                                                   \
    case qe_SimdAVX512: qrn_bayer_avx512::fn(__VA_ARGS__); break;    \
    case qe_SimdAVX2: qrn_bayer_avx2::fn(__VA_ARGS__); break;        \
    case qe_SimdSSE2: qrn_bayer_sse2::fn(__VA_ARGS__); break;        \
    default: ref; break;                                             \
  }
#else
#define QRN_BAYER_DISPATCH(level, ref, fn, ...) \
  do {                                          \
    (void)(level);                              \
    ref;                                        \
  } while (0)
#endif

void qf_bayerFastPlanes(qe_SimdLevel level, const qs_BayerMosaic& src, qs_RawPlane8 red, qs_RawPlane8 green,
                        qs_RawPlane8 blue) {
  if (!validMosaic(src)) return;
  QRN_BAYER_DISPATCH(levelForWidth(level, src.width), qf_bayerRefPlanes(src, nullptr, red, green, blue), planes,
                     src, red, green, blue);
}

void qf_bayerFastGrey(qe_SimdLevel level, const qs_BayerMosaic& src, const qs_GreyWeights& w, qs_RawPlane8 dst) {
  if (!validMosaic(src)) return;
  // The 16-bit lanes are exact only while the weights sum to at most 257.
  if (w.r + w.g + w.b > 257) level = qe_SimdNone;
  QRN_BAYER_DISPATCH(levelForWidth(level, src.width), qf_bayerRefGrey(src, w, dst), grey, src, w, dst);
}

void qf_bayerFastRGB16(qe_SimdLevel level, const qs_BayerMosaic& src, qs_RawPlane<std::uint16_t> dst) {
  if (!validMosaic(src)) return;
  QRN_BAYER_DISPATCH(levelForWidth(level, src.width), qf_bayerRefRGB16(src, nullptr, dst), rgb16, src, dst);
}

void qf_bayerFastRGB32(qe_SimdLevel level, const qs_BayerMosaic& src, qs_RawPlane<std::uint32_t> dst) {
  if (!validMosaic(src)) return;
  QRN_BAYER_DISPATCH(levelForWidth(level, src.width), qf_bayerRefRGB32(src, nullptr, dst), rgb32, src, dst);
}

void qf_bayerFastPlanes(qe_SimdLevel level, const qs_BayerMosaic& src, const qs_BayerBalance& wb, qs_RawPlane8 red,
                        qs_RawPlane8 green, qs_RawPlane8 blue) {
  if (!validMosaic(src)) return;
  QRN_BAYER_DISPATCH(levelForWidth(level, src.width), qf_bayerRefPlanes(src, wb.luts, red, green, blue), planesWB,
                     src, wb, red, green, blue);
}

void qf_bayerFastRGB16(qe_SimdLevel level, const qs_BayerMosaic& src, const qs_BayerBalance& wb,
                       qs_RawPlane<std::uint16_t> dst) {
  if (!validMosaic(src)) return;
  QRN_BAYER_DISPATCH(levelForWidth(level, src.width), qf_bayerRefRGB16(src, wb.luts, dst), rgb16WB, src, wb, dst);
}

void qf_bayerFastRGB32(qe_SimdLevel level, const qs_BayerMosaic& src, const qs_BayerBalance& wb,
                       qs_RawPlane<std::uint32_t> dst) {
  if (!validMosaic(src)) return;
  QRN_BAYER_DISPATCH(levelForWidth(level, src.width), qf_bayerRefRGB32(src, wb.luts, dst), rgb32WB, src, wb, dst);
}

namespace {
std::uint64_t fixedMap(std::uint64_t i, std::uint64_t mult) { return std::min<std::uint64_t>(255, (i * mult + 16384) >> 15); }

// The multiplier M (15 fractional bits, below 128 * 32768) for which
// min(255, floor(i * M / 32768 + 0.5)) is t[i] for every i but at most
// kMaxFixes, and those entries.  First the exact way: each unsaturated entry
// bounds M from both sides, each saturated one from below.  Where no M meets
// all bounds (a table made in double precision), the multipliers around the
// one the largest unsaturated entry suggests are tried for the fewest
// entries to fix.  Every result is checked over the whole table.
bool fixedMultiplier(const unsigned char* t, qs_BayerBalance& b, int k) {
  constexpr std::uint64_t kMax = 128 * 32768 - 1;
  std::uint64_t lo = 0, hi = kMax;
  std::uint64_t top = 0;  // the largest unsaturated input
  for (std::uint64_t i = 1; i < 256; ++i) {
    const std::uint64_t v = t[i];
    if (v < 255) {
      // (2v - 1) / 2i <= M / 32768 < (2v + 1) / 2i
      lo = std::max(lo, v == 0 ? 0 : (16384 * (2 * v - 1) + i - 1) / i);
      hi = std::min(hi, (16384 * (2 * v + 1) - 1) / i);
      top = i;
    } else {
      lo = std::max(lo, (16384 * 509 + i - 1) / i);
    }
  }
  // A whole multiplier (the identity among them) where one fits: cheaper to apply.
  const std::uint64_t whole = (lo + 32767) / 32768 * 32768;
  std::uint64_t from = whole <= hi ? whole : lo, to = from;
  if (lo > hi) {
    if (top == 0) return false;
    const std::uint64_t guess = (32768 * t[top] + top / 2) / top, spread = 32768 / (2 * top) + 2;
    from = guess > spread ? guess - spread : 0;
    to = std::min(kMax, guess + spread);
  }
  int best = qs_BayerBalance::kMaxFixes + 1;
  for (std::uint64_t m = from; m <= to && best > 0; ++m) {
    int n = 0;
    for (std::uint64_t i = 0; i < 256 && n < best; ++i) n += fixedMap(i, m) != t[i];
    if (n < best) {
      best = n;
      b.mult[k] = static_cast<std::uint32_t>(m);
    }
  }
  if (best > qs_BayerBalance::kMaxFixes) return false;
  b.fixes[k] = 0;
  for (std::uint64_t i = 0; i < 256; ++i) {
    const int d = static_cast<int>(t[i]) - static_cast<int>(fixedMap(i, b.mult[k]));
    if (d == 0) continue;
    if (d != 1 && d != -1) return false;
    b.fixAt[k][b.fixes[k]] = static_cast<unsigned char>(i);
    b.fixBy[k][b.fixes[k]] = static_cast<signed char>(d);
    ++b.fixes[k];
  }
  return true;
}
}  // namespace

qs_BayerBalance qf_bayerBalance(const unsigned char* const* luts) {
  qs_BayerBalance b;
  b.fixed = true;
  for (int k = 0; k < 3; ++k) {
    b.luts[k] = luts[k];
    if (!fixedMultiplier(luts[k], b, k)) b.fixed = false;
  }
  return b;
}

void qf_bayerFastSubsample(qe_SimdLevel level, qs_RawPlaneC8 src, long width, long height, qs_RawPlane8 p00,
                           qs_RawPlane8 p10, qs_RawPlane8 p01, qs_RawPlane8 p11) {
  if (!src.data || width < 2 || height < 2 || width % 2 || height % 2) return;
  level = levelForWidth(level, width);
  // A vector step takes 2N source columns.
  if (level == qe_SimdAVX512 && width < 128) level = qe_SimdAVX2;
  if (level == qe_SimdAVX2 && width < 64) level = qe_SimdSSE2;
  if (level == qe_SimdSSE2 && width < 32) level = qe_SimdNone;
  QRN_BAYER_DISPATCH(level, qf_bayerRefSubsample(src, width, height, p00, p10, p01, p11), subsample, src, width,
                     height, p00, p10, p01, p11);
}

void qf_bayerFastSums(qe_SimdLevel level, qs_RawPlaneC8 src, long width, long height, std::uint64_t sums[4]) {
  if (!src.data || width < 1 || height < 1) {
    sums[0] = sums[1] = sums[2] = sums[3] = 0;
    return;
  }
  QRN_BAYER_DISPATCH(levelForWidth(level, width), qf_bayerRefSums(src, width, height, sums), sums, src, width,
                     height, sums);
}

namespace {
void planesToGreyRef(qs_RawPlaneC8 pr, qs_RawPlaneC8 pg, qs_RawPlaneC8 pb, long W, long H, const qs_GreyWeights& w,
                     qs_RawPlane8 pd) {
  for (long y = 0; y < H; ++y) {
    const unsigned char* r = pr.data + y * pr.stride;
    const unsigned char* g = pg.data + y * pg.stride;
    const unsigned char* b = pb.data + y * pb.stride;
    unsigned char* d = pd.data + y * pd.stride;
    for (long x = 0; x < W; ++x) {
      const unsigned v = (r[x] * unsigned(w.r) + g[x] * unsigned(w.g) + b[x] * unsigned(w.b)) >> 8;
      d[x] = static_cast<unsigned char>(v > 255 ? 255 : v);
    }
  }
}
}  // namespace

void qf_planesToGrey(qe_SimdLevel level, qs_RawPlaneC8 red, qs_RawPlaneC8 green, qs_RawPlaneC8 blue, long width,
                     long height, const qs_GreyWeights& w, qs_RawPlane8 dst) {
  if (width < 1 || height < 1) return;
  level = bayerLevel(level);
  if (w.r + w.g + w.b > 257) level = qe_SimdNone;
  if (level == qe_SimdAVX512 && width < 64) level = qe_SimdAVX2;
  if (level == qe_SimdAVX2 && width < 32) level = qe_SimdSSE2;
  if (level == qe_SimdSSE2 && width < 16) level = qe_SimdNone;
  QRN_BAYER_DISPATCH(level, planesToGreyRef(red, green, blue, width, height, w, dst), planesToGrey, red, green, blue,
                     width, height, w, dst);
}

void qf_reorganizeEvenOdd(qe_SimdLevel level, qs_RawPlaneC8 src, long width, long height, long n,
                          qs_RawPlane8 dst) {
  (void)level;
  if (n < 1 || width % (2 * n) != 0) return;
  for (long y = 0; y < height; ++y) {
    const unsigned char* s = src.data + y * src.stride;
    unsigned char* d = dst.data + y * dst.stride;
    for (long x = 0; x < width; x += 2 * n) {
      for (long k = 0; k < n; ++k) {
        d[x + k] = s[x + 2 * k];
        d[x + n + k] = s[x + 2 * k + 1];
      }
    }
  }
}
