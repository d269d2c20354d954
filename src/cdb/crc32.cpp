// CRC-32 (the zlib polynomial) of the record file.  zlib computes it; on
// processors with carry-less multiplication the bulk of a large block is
// folded 64 bytes at a time with PCLMULQDQ first (the folding method of
// Intel's white paper "Fast CRC Computation for Generic Polynomials Using
// PCLMULQDQ"), which keeps the checksum well below the cost of writing the
// block.  Both give the same value (a test compares them).
#include <algorithm>

#include <zlib.h>

#include "cdbimpl.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define QRTCDB_HAVE_CLMUL 1
#endif

namespace qrtcdb {

namespace {

std::uint32_t zlibCrc(std::uint32_t crc, const unsigned char* p, std::size_t size) {
  // zlib takes the length as uInt: feed large blocks in pieces.
  while (size > 0) {
    const uInt n = static_cast<uInt>(std::min<std::size_t>(size, 1u << 30));
    crc = static_cast<std::uint32_t>(::crc32(crc, p, n));
    p += n;
    size -= n;
  }
  return crc;
}

#ifdef QRTCDB_HAVE_CLMUL
// Folds len bytes (a multiple of 16, at least 64) into the running CRC
// (pre-inverted, as the folding works on the raw remainder); returns the
// raw remainder.
__attribute__((target("pclmul,sse4.1"))) std::uint32_t foldClmul(const unsigned char* buf, std::size_t len,
                                                                   std::uint32_t crc) {
  alignas(16) static const std::uint64_t k1k2[] = {0x0154442bd4, 0x01c6e41596};
  alignas(16) static const std::uint64_t k3k4[] = {0x01751997d0, 0x00ccaa009e};
  alignas(16) static const std::uint64_t k5k0[] = {0x0163cd6124, 0x0000000000};
  alignas(16) static const std::uint64_t poly[] = {0x01db710641, 0x01f7011641};
  auto load = [](const unsigned char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); };

  __m128i x1 = load(buf), x2 = load(buf + 16), x3 = load(buf + 32), x4 = load(buf + 48);
  x1 = _mm_xor_si128(x1, _mm_cvtsi32_si128(static_cast<int>(crc)));
  __m128i x0 = _mm_load_si128(reinterpret_cast<const __m128i*>(k1k2));
  buf += 64;
  len -= 64;
  while (len >= 64) {
    const __m128i x5 = _mm_clmulepi64_si128(x1, x0, 0x00), x6 = _mm_clmulepi64_si128(x2, x0, 0x00),
                  x7 = _mm_clmulepi64_si128(x3, x0, 0x00), x8 = _mm_clmulepi64_si128(x4, x0, 0x00);
    x1 = _mm_clmulepi64_si128(x1, x0, 0x11);
    x2 = _mm_clmulepi64_si128(x2, x0, 0x11);
    x3 = _mm_clmulepi64_si128(x3, x0, 0x11);
    x4 = _mm_clmulepi64_si128(x4, x0, 0x11);
    x1 = _mm_xor_si128(_mm_xor_si128(x1, x5), load(buf));
    x2 = _mm_xor_si128(_mm_xor_si128(x2, x6), load(buf + 16));
    x3 = _mm_xor_si128(_mm_xor_si128(x3, x7), load(buf + 32));
    x4 = _mm_xor_si128(_mm_xor_si128(x4, x8), load(buf + 48));
    buf += 64;
    len -= 64;
  }
  // Four lanes into one.
  x0 = _mm_load_si128(reinterpret_cast<const __m128i*>(k3k4));
  for (const __m128i next : {x2, x3, x4}) {
    const __m128i x5 = _mm_clmulepi64_si128(x1, x0, 0x00);
    x1 = _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x1, x0, 0x11), next), x5);
  }
  while (len >= 16) {
    const __m128i x5 = _mm_clmulepi64_si128(x1, x0, 0x00);
    x1 = _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x1, x0, 0x11), load(buf)), x5);
    buf += 16;
    len -= 16;
  }
  // 128 bits to 64, then Barrett reduction to 32.
  __m128i t = _mm_clmulepi64_si128(x1, x0, 0x10);
  const __m128i mask = _mm_setr_epi32(~0, 0, ~0, 0);
  x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), t);
  x0 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(k5k0));
  t = _mm_srli_si128(x1, 4);
  x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, mask), x0, 0x00), t);
  x0 = _mm_load_si128(reinterpret_cast<const __m128i*>(poly));
  t = _mm_clmulepi64_si128(_mm_and_si128(x1, mask), x0, 0x10);
  t = _mm_clmulepi64_si128(_mm_and_si128(t, mask), x0, 0x00);
  x1 = _mm_xor_si128(x1, t);
  return static_cast<std::uint32_t>(_mm_extract_epi32(x1, 1));
}

bool haveClmul() {
  static const bool have = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
  return have;
}
#endif

}  // namespace

std::uint32_t crc32(std::uint32_t crc, const void* data, std::size_t size) {
  const auto* p = static_cast<const unsigned char*>(data);
#ifdef QRTCDB_HAVE_CLMUL
  if (size >= 256 && haveClmul()) {
    const std::size_t bulk = size & ~std::size_t{15};
    crc = ~foldClmul(p, bulk, ~crc);
    p += bulk;
    size -= bulk;
  }
#endif
  return zlibCrc(crc, p, size);
}

std::uint32_t crc32Combine(std::uint32_t crcA, std::uint32_t crcB, std::uint64_t sizeB) {
  return static_cast<std::uint32_t>(::crc32_combine(crcA, crcB, static_cast<z_off_t>(sizeB)));
}

// For tests: zlib's value alone.
std::uint32_t crc32Reference(std::uint32_t crc, const void* data, std::size_t size) {
  return zlibCrc(crc, static_cast<const unsigned char*>(data), size);
}

}  // namespace qrtcdb
