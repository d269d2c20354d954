// The image console's drawing: what a repaint and a new live frame cost.
//
//   BM_Redraw2048Quarter100Items
//       A full repaint (image through the colour table, 100 overlays of every
//       kind, scroll bars, status line, copy to the window) of a 2048 x 2048
//       grey image at zoom 1/4 in an 800 x 600 image area.
//       Peer: BM_SdlScaledBlit2048Quarter, SDL's own software scaled blit of
//       a 2048 x 2048 32-bit surface to 512 x 512 (the image part alone,
//       without colour table or overlays).
//
//   BM_ShowFrame640x480
//       The live path: showImage of a new 640 x 480 grey frame (copy, table
//       lookup, repaint, copy to the window) at zoom 1.
//       Peer: BM_Memcpy640x480x4, one memcpy of the frame's 32-bit pixels
//       (the copy to the window alone).
//
// Windows are made with SDL's "dummy" video driver (a window surface in
// memory) unless SDL_VIDEODRIVER says otherwise.
// Run:  build/bench/bench/bench_console --benchmark_repetitions=7
//           --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <SDL.h>

#include <qrn/acq/console/imgwin.h>

namespace {

const bool gVideo = [] {
  ::setenv("SDL_VIDEODRIVER", "dummy", 0);
  return true;
}();

qcPelBuffer<unsigned char> pattern(long w, long h, int seed) {
  qcPelBuffer<unsigned char> b(w, h);
  for (long y = 0; y < h; ++y)
    for (long x = 0; x < w; ++x) b.rowPointer(y)[x] = static_cast<unsigned char>(x + 3 * y + seed);
  return b;
}

std::unique_ptr<qcImageConsole> console(long w, long h) {
  const qcPelRect outer = qcImageConsole::adjustWindowRect(qcPelRect(0, 0, w, h), 0);
  return std::make_unique<qcImageConsole>("bench", 0, 0, static_cast<int>(outer.width()),
                                          static_cast<int>(outer.height()));
}

void BM_Redraw2048Quarter100Items(benchmark::State& state) {
  auto c = console(800, 600);
  c->showImage(pattern(2048, 2048, 0), {1024, 1024}, 0.25);
  const qcPen pens[] = {qcPen::sRed, qcPen::sGreen, qcPen::sBlue, qcPen::sYellow, qcPen::sCyan};
  for (int i = 0; i < 20; ++i) {
    const double x = 100 + i * 90, y = 150 + i * 85;
    c->drawRect(x, y, 200, 120, pens[i % 5]);
    c->drawLine(x, y, x + 400, y + 300, pens[(i + 1) % 5]);
    c->drawCross(x + 50, y + 50, 12, i % 2 ? 4 : 0, pens[(i + 2) % 5]);
    c->drawEllipse(x + 100, y + 60, 150, 90, pens[(i + 3) % 5]);
    c->drawText(x, y - 40, "item " + std::to_string(i), pens[(i + 4) % 5]);
  }
  for (auto _ : state) c->forceRefresh();
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Redraw2048Quarter100Items)->Unit(benchmark::kMillisecond);

void BM_SdlScaledBlit2048Quarter(benchmark::State& state) {
  SDL_Surface* src = SDL_CreateRGBSurfaceWithFormat(0, 2048, 2048, 32, SDL_PIXELFORMAT_RGB888);
  SDL_Surface* dst = SDL_CreateRGBSurfaceWithFormat(0, 512, 512, 32, SDL_PIXELFORMAT_RGB888);
  std::memset(src->pixels, 0x5A, static_cast<std::size_t>(src->pitch) * 2048);
  SDL_Rect to{0, 0, 512, 512};
  for (auto _ : state) {
    SDL_BlitScaled(src, nullptr, dst, &to);
    benchmark::DoNotOptimize(dst->pixels);
  }
  SDL_FreeSurface(src);
  SDL_FreeSurface(dst);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SdlScaledBlit2048Quarter)->Unit(benchmark::kMillisecond);

void BM_ShowFrame640x480(benchmark::State& state) {
  auto c = console(640, 480);
  const qcPelBuffer<unsigned char> frames[2] = {pattern(640, 480, 0), pattern(640, 480, 1)};
  c->showImage(frames[0]);
  int n = 0;
  for (auto _ : state) c->showImage(frames[++n & 1]);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ShowFrame640x480)->Unit(benchmark::kMicrosecond);

void BM_Memcpy640x480x4(benchmark::State& state) {
  std::vector<std::uint32_t> a(640 * 480, 7), b(640 * 480);
  for (auto _ : state) {
    std::memcpy(b.data(), a.data(), a.size() * 4);
    benchmark::DoNotOptimize(b.data());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Memcpy640x480x4)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
