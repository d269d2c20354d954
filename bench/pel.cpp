// Camera pel layouts, one thread, into preallocated outputs: every unpacker
// to 16-bit pels, YUV 4:2:2 and RGB8 to packed RGB32 and three planes, at
// 640x480, 2048x2048 and 4096x4096, at each instruction-set level (avx512:
// F, BW, VL, where the unpackers run their AVX2 form; avx512vbmi: with VBMI),
// unpadded rows that start inside a packing group (Mono10p 2046 wide,
// Mono12p and Mono12Packed 2047), and Mono12p to 8-bit pels.  Beside them two limits: a memcpy writing
// the same output bytes from the source (the copy equivalent: each source
// byte read, each output byte written once; in cache wherever the output
// is), and a memcpy of 64 MiB counted in pels of the same output size (out
// of cache wherever the last-level cache is smaller).  items_per_second is
// pels per second of the thread's CPU time.
#include <qrn/acq/convert/pelkernels.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

namespace {

struct Block {
  std::vector<unsigned char> mem;
  unsigned char* p;
  explicit Block(std::size_t n) : mem(n + 64) {
    p = mem.data() + (64 - reinterpret_cast<std::uintptr_t>(mem.data()) % 64) % 64;
    std::mt19937 rng(1);
    for (std::size_t i = 0; i < n; ++i) p[i] = static_cast<unsigned char>(rng());
  }
};

void finish(benchmark::State& st, long w, long h) {
  st.SetItemsProcessed(st.iterations() * w * h);
  st.counters["Mpix"] = static_cast<double>(w * h) / 1e6;
}

// Rows padded to whole bytes, or (unpadded) following one another bit for bit.
void BM_Unpack(benchmark::State& st, qe_PelPacking p, qe_SimdLevel level, bool unpadded = false) {
  const long w = st.range(0), h = st.range(1);
  const std::size_t rowBytes = qf_packedRowBytes(p, w);
  qs_PackedImage img{nullptr, unpadded ? 0 : static_cast<std::ptrdiff_t>(rowBytes), w, h, p};
  Block src(qf_packedImageBytes(img)), dst(static_cast<std::size_t>(2 * w * h));
  img.data = src.p;
  for (auto _ : st) {
    if (level == qe_SimdNone) qf_unpack16Ref(img, {reinterpret_cast<std::uint16_t*>(dst.p), 2 * w});
    else qf_unpack16(level, img, {reinterpret_cast<std::uint16_t*>(dst.p), 2 * w});
    benchmark::DoNotOptimize(dst.p);
    benchmark::ClobberMemory();
  }
  finish(st, w, h);
}

// To 8-bit pels (the most significant 8 bits), padded rows.
void BM_Unpack8(benchmark::State& st, qe_PelPacking p, qe_SimdLevel level) {
  const long w = st.range(0), h = st.range(1);
  const std::size_t rowBytes = qf_packedRowBytes(p, w);
  Block src(rowBytes * static_cast<std::size_t>(h)), dst(static_cast<std::size_t>(w * h));
  const qs_PackedImage img{src.p, static_cast<std::ptrdiff_t>(rowBytes), w, h, p};
  const int bits = qf_packingBits(p);
  for (auto _ : st) {
    if (level == qe_SimdNone) qf_unpack8Ref(img, bits, {dst.p, w});
    else qf_unpack8(level, img, bits, {dst.p, w});
    benchmark::DoNotOptimize(dst.p);
    benchmark::ClobberMemory();
  }
  finish(st, w, h);
}

enum Output { kPlanes = 3, kRGB32 = 4 };

void BM_Colour(benchmark::State& st, qe_ColourOrder o, Output out, qe_SimdLevel level) {
  const long w = st.range(0), h = st.range(1);
  const std::size_t rowBytes = qf_colourRowBytes(o, w);
  Block src(rowBytes * static_cast<std::size_t>(h)), d0(static_cast<std::size_t>(4 * w * h)),
      d1(static_cast<std::size_t>(w * h)), d2(static_cast<std::size_t>(w * h));
  const qs_ColourImage img{src.p, static_cast<std::ptrdiff_t>(rowBytes), w, h, o, qe_YuvFull};
  for (auto _ : st) {
    if (out == kRGB32) {
      const qs_RawPlane<std::uint32_t> d{reinterpret_cast<std::uint32_t*>(d0.p), 4 * w};
      if (level == qe_SimdNone) qf_colourToRGB32Ref(img, d);
      else qf_colourToRGB32(level, img, d);
    } else if (level == qe_SimdNone) {
      qf_colourToPlanesRef(img, {d0.p, w}, {d1.p, w}, {d2.p, w});
    } else {
      qf_colourToPlanes(level, img, {d0.p, w}, {d1.p, w}, {d2.p, w});
    }
    benchmark::DoNotOptimize(d0.p);
    benchmark::ClobberMemory();
  }
  finish(st, w, h);
}

// outBytes per pel written from a source of inBytes per pel (read again
// from the start where the output is the larger), in 16 KiB pieces.
void BM_Memcpy(benchmark::State& st, double inBytes, double outBytes) {
  const long w = st.range(0), h = st.range(1);
  const auto in = static_cast<std::size_t>(inBytes * static_cast<double>(w * h));
  const auto out = static_cast<std::size_t>(outBytes * static_cast<double>(w * h));
  Block src(in), dst(out);
  const std::size_t chunk = 16384;
  for (auto _ : st) {
    for (std::size_t off = 0; off < out; off += chunk) {
      const std::size_t from = off % in;
      std::memcpy(dst.p + off, src.p + from, std::min({chunk, out - off, in - from}));
    }
    benchmark::DoNotOptimize(dst.p);
    benchmark::ClobberMemory();
  }
  finish(st, w, h);
}

// A memcpy of 64 MiB, pels of outBytes each.
void BM_MemcpyFar(benchmark::State& st, double outBytes) {
  const std::size_t bytes = std::size_t{64} << 20;
  Block src(bytes), dst(bytes);
  for (auto _ : st) {
    std::memcpy(dst.p, src.p, bytes);
    benchmark::DoNotOptimize(dst.p);
    benchmark::ClobberMemory();
  }
  st.SetItemsProcessed(st.iterations() * static_cast<std::int64_t>(static_cast<double>(bytes) / outBytes));
}

void sizes(benchmark::internal::Benchmark* b) {
  for (long s : {640L, 2048L, 4096L}) b->Args({s, s == 640 ? 480 : s});
  b->Unit(benchmark::kMicrosecond);
}

}  // namespace

#define QRN_UNPACK_BENCH(name, p)                                                      \
  BENCHMARK_CAPTURE(BM_Unpack, name##_avx512vbmi, p, qe_SimdAVX512VBMI)->Apply(sizes); \
  BENCHMARK_CAPTURE(BM_Unpack, name##_avx512, p, qe_SimdAVX512)->Apply(sizes);    \
  BENCHMARK_CAPTURE(BM_Unpack, name##_avx2, p, qe_SimdAVX2)->Apply(sizes);        \
  BENCHMARK_CAPTURE(BM_Unpack, name##_sse2, p, qe_SimdSSE2)->Apply(sizes);        \
  BENCHMARK_CAPTURE(BM_Unpack, name##_ref, p, qe_SimdNone)->Apply(sizes);
QRN_UNPACK_BENCH(mono10p, qe_Pack10p)
QRN_UNPACK_BENCH(mono12p, qe_Pack12p)
QRN_UNPACK_BENCH(mono14p, qe_Pack14p)
QRN_UNPACK_BENCH(mono10packed, qe_Pack10Packed)
QRN_UNPACK_BENCH(mono12packed, qe_Pack12Packed)
BENCHMARK_CAPTURE(BM_Memcpy, out16, 2.0, 2.0)->Apply(sizes);
BENCHMARK_CAPTURE(BM_MemcpyFar, out16, 2.0)->Unit(benchmark::kMicrosecond);
#define QRN_UNPACK_SHIFTED_BENCH(name, p, w)                                                         \
  BENCHMARK_CAPTURE(BM_Unpack, name##_unpadded_avx512vbmi, p, qe_SimdAVX512VBMI, true)               \
      ->Args({w, 2048})                                                                              \
      ->Unit(benchmark::kMicrosecond);                                                               \
  BENCHMARK_CAPTURE(BM_Unpack, name##_unpadded_avx2, p, qe_SimdAVX2, true)                           \
      ->Args({w, 2048})                                                                              \
      ->Unit(benchmark::kMicrosecond);                                                               \
  BENCHMARK_CAPTURE(BM_Unpack, name##_unpadded_ref, p, qe_SimdNone, true)                            \
      ->Args({w, 2048})                                                                              \
      ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Unpack8, mono12p_avx512vbmi, qe_Pack12p, qe_SimdAVX512VBMI)->Apply(sizes);
BENCHMARK_CAPTURE(BM_Unpack8, mono12p_avx2, qe_Pack12p, qe_SimdAVX2)->Apply(sizes);
BENCHMARK_CAPTURE(BM_Unpack8, mono12p_sse2, qe_Pack12p, qe_SimdSSE2)->Apply(sizes);
BENCHMARK_CAPTURE(BM_Unpack8, mono12p_ref, qe_Pack12p, qe_SimdNone)->Apply(sizes);
BENCHMARK_CAPTURE(BM_Memcpy, out8, 1.5, 1.0)->Apply(sizes);
QRN_UNPACK_SHIFTED_BENCH(mono10p, qe_Pack10p, 2046)
QRN_UNPACK_SHIFTED_BENCH(mono12p, qe_Pack12p, 2047)
QRN_UNPACK_SHIFTED_BENCH(mono12packed, qe_Pack12Packed, 2047)

#define QRN_COLOUR_BENCH(name, o, out)                                                  \
  BENCHMARK_CAPTURE(BM_Colour, name##_avx512, o, out, qe_SimdAVX512)->Apply(sizes);    \
  BENCHMARK_CAPTURE(BM_Colour, name##_avx2, o, out, qe_SimdAVX2)->Apply(sizes);        \
  BENCHMARK_CAPTURE(BM_Colour, name##_sse2, o, out, qe_SimdSSE2)->Apply(sizes);        \
  BENCHMARK_CAPTURE(BM_Colour, name##_ref, o, out, qe_SimdNone)->Apply(sizes);
QRN_COLOUR_BENCH(yuv422_rgb32, qe_OrderUYVY, kRGB32)
QRN_COLOUR_BENCH(yuv422_planes, qe_OrderUYVY, kPlanes)
QRN_COLOUR_BENCH(rgb8_rgb32, qe_OrderRGB, kRGB32)
QRN_COLOUR_BENCH(rgb8_planes, qe_OrderRGB, kPlanes)
BENCHMARK_CAPTURE(BM_Memcpy, yuv_2to4, 2.0, 4.0)->Apply(sizes);
BENCHMARK_CAPTURE(BM_Memcpy, yuv_2to3, 2.0, 3.0)->Apply(sizes);
BENCHMARK_CAPTURE(BM_Memcpy, rgb8_3to4, 3.0, 4.0)->Apply(sizes);
BENCHMARK_CAPTURE(BM_Memcpy, rgb8_3to3, 3.0, 3.0)->Apply(sizes);
BENCHMARK_CAPTURE(BM_MemcpyFar, out32, 4.0)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_MemcpyFar, out3x8, 3.0)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
