// Bayer conversion speed, one thread: grey, three-plane and packed RGB32 at
// 640x480, 2048x2048 and 4096x4096, into preallocated outputs, with and
// without white balance, and through qcBayerImageConverter with a new source
// per conversion.  Beside them:
// OpenCV's cvtColor for the same outputs (when OpenCV is installed) and two
// memcpy limits: the same bytes moved in 16 KiB chunks (source once, each
// output byte once), and the mosaic copied whole once per output byte per
// pixel into one destination (its output written while the input stays in
// cache, as a demosaic writes).  items_per_second is pixels per second of the thread's CPU
// time (the figure that stays meaningful on a shared machine).
#include <qrn/acq/convert/bayer.h>
#include <qrn/acq/convert/bayerkernels.h>

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#if QRN_HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

struct Size {
  long w, h;
};
const Size kSizes[] = {{640, 480}, {2048, 2048}, {4096, 4096}};

// 32-byte aligned, reused memory of n bytes.
struct Block {
  std::vector<unsigned char> mem;
  unsigned char* p;
  explicit Block(size_t n) : mem(n + 64) {
    p = mem.data() + (32 - reinterpret_cast<std::uintptr_t>(mem.data()) % 32) % 32;
  }
};

Block randomMosaic(long w, long h) {
  Block b(static_cast<size_t>(w * h));
  std::mt19937 rng(1);
  for (long i = 0; i < w * h; ++i) b.p[i] = static_cast<unsigned char>(rng());
  return b;
}

void finish(benchmark::State& st, long w, long h) {
  st.SetItemsProcessed(st.iterations() * w * h);
  st.counters["Mpix"] = static_cast<double>(w * h) / 1e6;
}

enum Output { kGrey = 1, kPlanes = 3, kRGB32 = 4 };

void BM_Qrn(benchmark::State& st, Output out, qe_SimdLevel level) {
  const long w = st.range(0), h = st.range(1);
  Block src = randomMosaic(w, h);
  const qs_BayerMosaic m{src.p, w, w, h, 0, 0};  // GRBG, as OpenCV's BayerGR
  Block d0(w * h * (out == kRGB32 ? 4 : 1)), d1(w * h), d2(w * h);
  for (auto _ : st) {
    switch (out) {
      case kGrey:
        if (level == qe_SimdNone)
          qf_bayerRefGrey(m, qs_GreyWeights{}, {d0.p, w});
        else
          qf_bayerFastGrey(level, m, qs_GreyWeights{}, {d0.p, w});
        break;
      case kPlanes:
        if (level == qe_SimdNone)
          qf_bayerRefPlanes(m, nullptr, {d0.p, w}, {d1.p, w}, {d2.p, w});
        else
          qf_bayerFastPlanes(level, m, {d0.p, w}, {d1.p, w}, {d2.p, w});
        break;
      case kRGB32:
        if (level == qe_SimdNone)
          qf_bayerRefRGB32(m, nullptr, {reinterpret_cast<std::uint32_t*>(d0.p), w * 4});
        else
          qf_bayerFastRGB32(level, m, {reinterpret_cast<std::uint32_t*>(d0.p), w * 4});
        break;
    }
    benchmark::DoNotOptimize(d0.p);
    benchmark::ClobberMemory();
  }
  finish(st, w, h);
}

// White-balance scales of the balanced cases: a colour camera's usual
// kind, and one whose tables need a few entries fixed (two-decimal scales
// whose products land on halves).
const double kScales[2][3] = {{1.4, 1.0, 1.8}, {0.29, 1.15, 2.3}};

// The accelerated kernels with white balance (GRBG), into reused outputs.
void BM_QrnBalanced(benchmark::State& st, Output out, int scales) {
  const long w = st.range(0), h = st.range(1);
  Block src = randomMosaic(w, h);
  const qs_BayerMosaic m{src.p, w, w, h, 0, 0};
  unsigned char t[3][256];
  for (int k = 0; k < 3; ++k) qf_bayerWhiteBalanceTable(kScales[scales][k], t[k]);
  const unsigned char* luts[3] = {t[0], t[1], t[2]};
  const qs_BayerBalance wb = qf_bayerBalance(luts);
  if (!wb.fixed) st.SkipWithError("no fixed-point balance");
  Block d0(w * h * (out == kRGB32 ? 4 : 1)), d1(w * h), d2(w * h);
  for (auto _ : st) {
    if (out == kPlanes)
      qf_bayerFastPlanes(qf_simdLevel(), m, wb, {d0.p, w}, {d1.p, w}, {d2.p, w});
    else
      qf_bayerFastRGB32(qf_simdLevel(), m, wb, {reinterpret_cast<std::uint32_t*>(d0.p), w * 4});
    benchmark::DoNotOptimize(d0.p);
    benchmark::ClobberMemory();
  }
  finish(st, w, h);
}

// The converter as an application uses it: a new source for every
// conversion (setSourcePelBuf), the result asked for; scales < 0: none.
void BM_Converter(benchmark::State& st, Output out, int scales) {
  const long w = st.range(0), h = st.range(1);
  Block src = randomMosaic(w, h);
  qcPelBuffer<unsigned char> buf(qcPtrHandle<qcPelRoot<unsigned char>>(new qcPelRoot<unsigned char>(src.p, w, h, w)));
  qcBayerImageConverter conv(buf);
  if (scales >= 0) {
    conv.setRedWhiteBalanceScale(kScales[scales][0]);
    conv.setGreenWhiteBalanceScale(kScales[scales][1]);
    conv.setBlueWhiteBalanceScale(kScales[scales][2]);
  }
  for (auto _ : st) {
    conv.setSourcePelBuf(buf);  // a new source: every result not current
    switch (out) {
      case kGrey: benchmark::DoNotOptimize(conv.getGreyscalePelBuf().rowPointer(0)); break;
      case kPlanes: benchmark::DoNotOptimize(conv.get3PlanePelBuf().plane0().rowPointer(0)); break;
      case kRGB32: benchmark::DoNotOptimize(conv.getPackedRGB32PelBuf().rowPointer(0)); break;
    }
    benchmark::ClobberMemory();
  }
  finish(st, w, h);
}

// memcpy of the same traffic: each 16 KiB chunk of the source copied once to
// each of `outBytes` output bytes per pixel (the chunk stays in cache, as
// the source rows do in the conversion).
void BM_Memcpy(benchmark::State& st, int outBytes) {
  const long w = st.range(0), h = st.range(1);
  const size_t n = static_cast<size_t>(w * h);
  Block src = randomMosaic(w, h);
  std::vector<Block> dst;
  for (int i = 0; i < outBytes; ++i) dst.emplace_back(n);
  const size_t chunk = 16384;
  for (auto _ : st) {
    for (size_t off = 0; off < n; off += chunk) {
      const size_t len = std::min(chunk, n - off);
      for (auto& d : dst) std::memcpy(d.p + off, src.p + off, len);
    }
    benchmark::DoNotOptimize(dst[0].p);
    benchmark::ClobberMemory();
  }
  finish(st, w, h);
}

// The whole mosaic copied outBytes times, one after another, into a
// destination of outBytes times its size.
void BM_MemcpyWhole(benchmark::State& st, int outBytes) {
  const long w = st.range(0), h = st.range(1);
  const size_t n = static_cast<size_t>(w * h);
  Block src = randomMosaic(w, h), dst(n * static_cast<size_t>(outBytes));
  for (auto _ : st) {
    for (int i = 0; i < outBytes; ++i) std::memcpy(dst.p + n * static_cast<size_t>(i), src.p, n);
    benchmark::DoNotOptimize(dst.p);
    benchmark::ClobberMemory();
  }
  finish(st, w, h);
}

#if QRN_HAVE_OPENCV
void BM_OpenCV(benchmark::State& st, int code, int channels) {
  cv::setNumThreads(1);
  const long w = st.range(0), h = st.range(1);
  Block src = randomMosaic(w, h);
  const cv::Mat s(static_cast<int>(h), static_cast<int>(w), CV_8UC1, src.p);
  cv::Mat d(static_cast<int>(h), static_cast<int>(w), CV_8UC(channels));
  for (auto _ : st) {
    cv::cvtColor(s, d, code);
    benchmark::DoNotOptimize(d.data);
    benchmark::ClobberMemory();
  }
  finish(st, w, h);
}
#endif

void sizes(benchmark::internal::Benchmark* b) {
  for (const Size& s : kSizes) b->Args({s.w, s.h});
  b->Unit(benchmark::kMicrosecond);
}

}  // namespace

BENCHMARK_CAPTURE(BM_Qrn, grey_avx512, kGrey, qe_SimdAVX512)->Apply(sizes);
BENCHMARK_CAPTURE(BM_Qrn, grey_avx2, kGrey, qe_SimdAVX2)->Apply(sizes);
BENCHMARK_CAPTURE(BM_Qrn, grey_sse2, kGrey, qe_SimdSSE2)->Apply(sizes);
BENCHMARK_CAPTURE(BM_Qrn, grey_ref, kGrey, qe_SimdNone)->Apply(sizes);
BENCHMARK_CAPTURE(BM_Qrn, planes_avx512, kPlanes, qe_SimdAVX512)->Apply(sizes);
BENCHMARK_CAPTURE(BM_Qrn, planes_avx2, kPlanes, qe_SimdAVX2)->Apply(sizes);
BENCHMARK_CAPTURE(BM_Qrn, planes_sse2, kPlanes, qe_SimdSSE2)->Apply(sizes);
BENCHMARK_CAPTURE(BM_Qrn, planes_ref, kPlanes, qe_SimdNone)->Apply(sizes);
BENCHMARK_CAPTURE(BM_Qrn, rgb32_avx512, kRGB32, qe_SimdAVX512)->Apply(sizes);
BENCHMARK_CAPTURE(BM_Qrn, rgb32_avx2, kRGB32, qe_SimdAVX2)->Apply(sizes);
BENCHMARK_CAPTURE(BM_Qrn, rgb32_sse2, kRGB32, qe_SimdSSE2)->Apply(sizes);
BENCHMARK_CAPTURE(BM_Qrn, rgb32_ref, kRGB32, qe_SimdNone)->Apply(sizes);
BENCHMARK_CAPTURE(BM_QrnBalanced, planes_wb, kPlanes, 0)->Apply(sizes);
BENCHMARK_CAPTURE(BM_QrnBalanced, rgb32_wb, kRGB32, 0)->Apply(sizes);
BENCHMARK_CAPTURE(BM_QrnBalanced, planes_wb_fixes, kPlanes, 1)->Apply(sizes);
BENCHMARK_CAPTURE(BM_QrnBalanced, rgb32_wb_fixes, kRGB32, 1)->Apply(sizes);
BENCHMARK_CAPTURE(BM_Converter, grey, kGrey, -1)->Apply(sizes);
BENCHMARK_CAPTURE(BM_Converter, planes, kPlanes, -1)->Apply(sizes);
BENCHMARK_CAPTURE(BM_Converter, rgb32, kRGB32, -1)->Apply(sizes);
BENCHMARK_CAPTURE(BM_Converter, planes_wb, kPlanes, 0)->Apply(sizes);
BENCHMARK_CAPTURE(BM_Converter, rgb32_wb, kRGB32, 0)->Apply(sizes);
BENCHMARK_CAPTURE(BM_Memcpy, grey_1to1, 1)->Apply(sizes);
BENCHMARK_CAPTURE(BM_Memcpy, planes_1to3, 3)->Apply(sizes);
BENCHMARK_CAPTURE(BM_Memcpy, rgb32_1to4, 4)->Apply(sizes);
BENCHMARK_CAPTURE(BM_MemcpyWhole, grey_1x1, 1)->Apply(sizes);
BENCHMARK_CAPTURE(BM_MemcpyWhole, planes_3x1, 3)->Apply(sizes);
BENCHMARK_CAPTURE(BM_MemcpyWhole, rgb32_4x1, 4)->Apply(sizes);
#if QRN_HAVE_OPENCV
BENCHMARK_CAPTURE(BM_OpenCV, grey, cv::COLOR_BayerGR2GRAY, 1)->Apply(sizes);
BENCHMARK_CAPTURE(BM_OpenCV, bgr, cv::COLOR_BayerGR2BGR, 3)->Apply(sizes);
BENCHMARK_CAPTURE(BM_OpenCV, bgra, cv::COLOR_BayerGR2BGRA, 4)->Apply(sizes);
#endif

BENCHMARK_MAIN();
