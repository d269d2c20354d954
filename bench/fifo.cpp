// Completions through a grey FIFO: what the acquisition road costs.
//
// Three groups, kept apart so that each cost is seen on its own:
//
//   BM_SimCompletion/<w>/<h>/<makeLocal>
//       End to end on the simulated board: a standard grey FIFO made by a
//       video format's factory, the simulator producing as fast as it can
//       ("FramePeriod" 0, manual trigger, the default pool of 4 images kept
//       full by one start per completion).  items_per_second is completions
//       per second.  Includes the simulator's rendering of every frame (on
//       its worker thread) and, with makeLocal, the move into local memory.
//
//   BM_SimFreeRun/<period_ms>
//       The simulated board free-running for 300 frames: how well its frames
//       keep the clock (counters described at the benchmark).
//
//   BM_FrameworkCompletion/<makeLocal>/<localImage>  and  BM_DriverCompletion
//       The module's own cost per completion: the typed completion, the
//       arguments, the acquire-info copy, the buffer handles and the local
//       move decision, around a minimal in-process driver FIFO whose
//       completion hands back a prepared buffer at once.  BM_DriverCompletion
//       calls that driver completion directly; the difference is the
//       framework's share.  No case here moves pels (a non-local image with
//       makeLocal true would, and that is the next group).
//
//   BM_LocalMove/<w>/<h>  beside  BM_Memcpy/<w>/<h>  and  BM_NewMemcpy/<w>/<h>
//       qfPelMove of a non-local frame (what a completion with makeLocal
//       does) against memcpy of the same bytes into a buffer that exists
//       (BM_Memcpy) and into a freshly allocated one (BM_NewMemcpy);
//       bytes_per_second is the bandwidth (from CPU time, which other work
//       on the machine disturbs less than real time).  BM_AllocCopy is a new
//       zero-filled buffer plus qfPelCopy, for comparison.
//
// Run:  build/<dir>/bench/bench_fifo --benchmark_repetitions=7
//           --benchmark_report_aggregates_only=true
// The simulator's plugin is taken from the build tree unless
// QUORIN_DRIVER_DIR is set; the registry store defaults to a file that does
// not exist (every simulator setting at its default) unless
// QUORIN_REGISTRY_FILE is set.  Other work on the machine moves the figures:
// note the load average beside them.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <qrn/acq/format/vidfmt.h>
#include <qrn/acq/hyper/framegrabber.h>
#include <qrn/acq/hyper/trigmodel.h>
#include <qrn/acq/hyper/typedfifo.h>
#include <qrn/drivers/sim.h>
#include <qrn/foundation/board.h>
#include <qrn/foundation/pelbuffer.h>

#include "../tests/support/fake_fifo.h"
#include "benchsim.h"
#include "simimage.h"

namespace {

using qrn_bench::benchFormat;
using qrn_bench::simGrabber;

void BM_SimCompletion(benchmark::State& state) {
  const long w = state.range(0), h = state.range(1);
  const bool makeLocal = state.range(2) != 0;
  qcPtrHandle<qcStdGreyAcqFifo> fifo;
  try {
    fifo = qcPtrHandle<qcStdGreyAcqFifo>(benchFormat(w, h).newAcqFifo(simGrabber()));
    qfSimSet(*fifo, qrn_sim::kFramePeriod, "0");
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
    return;
  }
  const long pool = fifo->hardwareImagePoolSize();
  fifo->start(static_cast<unsigned long>(pool));
  qcAcquireInfo info;
  const qcAcqFifo::CompleteArgs args = qcAcqFifo::CompleteArgs().maxWait(10.0).makeLocal(makeLocal).acquireInfo(&info);
  for (auto _ : state) {
    qcPelBuffer<unsigned char> img = fifo->complete(args);
    if (!img.isBound() || info.failure() || img.width() != w || img.height() != h) {
      state.SkipWithError("completion without a good image");
      break;
    }
    if (makeLocal && !img.isLocal()) {
      state.SkipWithError("makeLocal not honoured");
      break;
    }
    benchmark::DoNotOptimize(img.rowPointer(h - 1)[w - 1]);
    img.unbind();       // the pool image goes back before the next start
    fifo->start(1);
  }
  fifo->flush();
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * w * h);
}
BENCHMARK(BM_SimCompletion)
    ->ArgNames({"w", "h", "makeLocal"})
    ->Args({64, 64, 0})
    ->Args({64, 64, 1})
    ->Args({640, 480, 0})
    ->Args({640, 480, 1})
    ->Args({2048, 2048, 0})
    ->Args({2048, 2048, 1})
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

// The simulated board free-running at a frame period of `period_ms` for 300
// frames (one iteration: real time is what is measured).  Counters:
//   mean_period_ratio  mean period between the first and the last time stamp
//                      over the period asked for (1.0 is exact);
//   max_stamp_late     how far any frame's time stamp lies behind its slot
//                      (first stamp + (trigger number - first) x period), in
//                      periods;
//   max_delivery_late  how long after its slot any frame was completed, in
//                      periods (the slot's end is 1.0: the frame is read out);
//   lost               frames of the stream the application did not get
//                      (overruns).
void BM_SimFreeRun(benchmark::State& state) {
  const double period = static_cast<double>(state.range(0)) * 1e-3;
  constexpr int kFrames = 300;
  qcPtrHandle<qcStdGreyAcqFifo> fifo;
  try {
    fifo = qcPtrHandle<qcStdGreyAcqFifo>(benchFormat(640, 480).newAcqFifo(simGrabber()));
    qfSimSet(*fifo, qrn_sim::kFramePeriod, std::to_string(period));
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
    return;
  }
  double ratio = 0, stampLate = 0, deliveryLate = 0, lost = 0;
  for (auto _ : state) {
    fifo->triggerModel(qfFreeRunTrigger());
    fifo->triggerEnable(true);
    std::vector<qcAcquireInfo> infos;
    std::vector<std::chrono::steady_clock::time_point> arrivals;
    const qcAcqFifo::CompleteArgs args = qcAcqFifo::CompleteArgs().maxWait(10.0).makeLocal(false);
    while (infos.size() < kFrames) {
      qcAcquireInfo info;
      qcPelBuffer<unsigned char> img = fifo->complete(qcAcqFifo::CompleteArgs(args).acquireInfo(&info));
      arrivals.push_back(std::chrono::steady_clock::now());
      if (!img.isBound() || info.failure()) {
        state.SkipWithError("completion without a good image");
        return;
      }
      infos.push_back(info);
    }
    fifo->triggerEnable(false);
    fifo->flush();
    const qcAcquireInfo& first = infos.front();
    const double frames = static_cast<double>(infos.back().triggerNum() - first.triggerNum());
    ratio = static_cast<double>(infos.back().timeStamp() - first.timeStamp()) * 1e-6 / frames / period;
    lost = frames + 1 - kFrames;
    stampLate = deliveryLate = 0;
    for (std::size_t i = 0; i < infos.size(); ++i) {
      const double slot = static_cast<double>(infos[i].triggerNum() - first.triggerNum()) * period;
      const double stamp = static_cast<double>(infos[i].timeStamp() - first.timeStamp()) * 1e-6;
      const double arrived = std::chrono::duration<double>(arrivals[i] - arrivals[0]).count();
      stampLate = std::max(stampLate, (stamp - slot) / period);
      // The first frame arrived one period after its slot.
      deliveryLate = std::max(deliveryLate, (arrived - slot) / period + 1.0);
    }
  }
  state.counters["mean_period_ratio"] = ratio;
  state.counters["max_stamp_late"] = stampLate;
  state.counters["max_delivery_late"] = deliveryLate;
  state.counters["lost"] = lost;
}
BENCHMARK(BM_SimFreeRun)->ArgNames({"period_ms"})->Arg(10)->Arg(33)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The simulator's image generation alone: a grey gradient frame (the
// default test image, moving with the frame number) into a reused buffer, on
// one thread; bytes_per_second beside BM_Memcpy's.
void BM_SimRender(benchmark::State& state) {
  const long w = state.range(0), h = state.range(1);
  double contrast[4] = {0.5, 0.5, 0.5, 0.5}, brightness[4] = {0.5, 0.5, 0.5, 0.5};
  unsigned char lut[4][256];
  for (auto& t : lut)
    for (int v = 0; v < 256; ++v) t[v] = static_cast<unsigned char>(std::clamp(v, 15, 240));
  qrn_sim::RenderSpec rs;
  rs.frameWidth = w;
  rs.frameHeight = h;
  rs.roi = qcPelRect(0, 0, w, h);
  rs.numTaps = 2;
  rs.contrast = contrast;
  rs.brightness = brightness;
  rs.lut = lut;
  std::vector<unsigned char> frame(static_cast<std::size_t>(w * h));
  qrn_sim::ImageGenerator gen;
  for (auto _ : state) {
    ++rs.frameNumber;
    gen.render(qrn_sim::PelKind::grey8, rs, frame.data(), w);
    benchmark::DoNotOptimize(frame.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * w * h);
}
BENCHMARK(BM_SimRender)->ArgNames({"w", "h"})->Args({640, 480})->Args({2048, 2048})->Unit(benchmark::kMicrosecond);

// ---- the framework's own cost ---------------------------------------------------

// A driver FIFO whose 8-bit completion writes a prepared record and hands
// back a prepared buffer at once (a handle copy), as a driver with a
// completed acquisition waiting does, minus its own bookkeeping.
class ReadyDriverFifo : public qcRecordingAcqFifo {
public:
  qcPelBuffer<unsigned char> image;
  qcAcquireInfo record;

  qcPelBuffer<unsigned char> complete8(const CompleteArgs& a) override {
    if (a.acquireInfo()) *a.acquireInfo() = record;
    return image;
  }
};

// A 640x480 frame over memory that is not the buffer's own; marked not local
// to the process unless `local`.
struct ForeignFrame {
  std::vector<unsigned char> memory;
  qcPelBuffer<unsigned char> buffer;
  ForeignFrame(long w, long h, bool local) : memory(static_cast<std::size_t>(w * h), 0x5a) {
    qcPtrHandle<qcPelRoot<unsigned char>> root(new qcPelRoot<unsigned char>(memory.data(), w, h, w));
    root->local(local);
    buffer = qcPelBuffer<unsigned char>(root);
  }
};

qcAcquireInfo readyRecord() {
  qcAcqFailure none;
  return qcAcquireInfo(7, 42, none, 123456789u);
}

void BM_DriverCompletion(benchmark::State& state) {
  ForeignFrame frame(640, 480, false);
  auto* drv = new ReadyDriverFifo;
  drv->image = frame.buffer;
  drv->record = readyRecord();
  std::unique_ptr<qc_AcqFifo> owner(drv);
  qc_AcqFifo& f = *drv;
  qcAcquireInfo info;
  const qcAcqFifo::CompleteArgs args = qcAcqFifo::CompleteArgs().maxWait(1.0).makeLocal(false).acquireInfo(&info);
  for (auto _ : state) {
    qcPelBuffer<unsigned char> img = f.complete8(args);
    benchmark::DoNotOptimize(img);
  }
  if (info.triggerNum() != 42) state.SkipWithError("record not written");
}
BENCHMARK(BM_DriverCompletion);

void BM_FrameworkCompletion(benchmark::State& state) {
  const bool makeLocal = state.range(0) != 0;
  const bool localImage = state.range(1) != 0;
  ForeignFrame frame(640, 480, localImage);
  auto* drv = new ReadyDriverFifo;
  drv->image = frame.buffer;
  drv->record = readyRecord();
  qcStdGreyAcqFifo fifo(*drv);  // owns drv
  qcAcquireInfo info;
  const qcAcqFifo::CompleteArgs args = qcAcqFifo::CompleteArgs().maxWait(1.0).makeLocal(makeLocal).acquireInfo(&info);
  for (auto _ : state) {
    qcPelBuffer<unsigned char> img = fifo.complete(args);
    benchmark::DoNotOptimize(img);
  }
  if (info.triggerNum() != 42) state.SkipWithError("record not written");
  if (fifo.complete(args).bytes_() != frame.buffer.bytes_()) state.SkipWithError("the image was moved");
}
BENCHMARK(BM_FrameworkCompletion)
    ->ArgNames({"makeLocal", "localImage"})
    ->Args({0, 0})  // non-local image handed on as it is
    ->Args({1, 1});  // local image: the move decision says no

// The same through the image-format-neutral completion (a qcAcqImage per
// completion) and through the older pointer form.
void BM_FrameworkCompletionAcq(benchmark::State& state) {
  ForeignFrame frame(640, 480, true);
  auto* drv = new ReadyDriverFifo;
  drv->image = frame.buffer;
  drv->record = readyRecord();
  qcStdGreyAcqFifo fifo(*drv);
  qcAcquireInfo info;
  const qcAcqFifo::CompleteArgs args = qcAcqFifo::CompleteArgs().maxWait(1.0).acquireInfo(&info);
  for (auto _ : state) {
    qcPtrHandle<qcAcqImage> img = fifo.completeAcq(args);
    benchmark::DoNotOptimize(img);
  }
}
BENCHMARK(BM_FrameworkCompletionAcq);

void BM_FrameworkCompletionOlder(benchmark::State& state) {
  ForeignFrame frame(640, 480, true);
  auto* drv = new ReadyDriverFifo;
  drv->image = frame.buffer;
  drv->record = readyRecord();
  qcStdGreyAcqFifo fifo(*drv);
  qcAcqFailure failure;
  unsigned long trig = 0;
  for (auto _ : state) {
    qcPelBuffer<unsigned char> img = fifo.complete(&failure, &trig, true, 1.0);
    benchmark::DoNotOptimize(img);
  }
  if (trig != 42) state.SkipWithError("trigger number not written");
}
BENCHMARK(BM_FrameworkCompletionOlder);

// ---- the local move against memcpy --------------------------------------------

void BM_LocalMove(benchmark::State& state) {
  const long w = state.range(0), h = state.range(1);
  ForeignFrame frame(w, h, false);
  for (auto _ : state) {
    qcPelBuffer<unsigned char> local = qfPelMove(frame.buffer);
    benchmark::DoNotOptimize(local.bytes_());
    benchmark::ClobberMemory();
  }
  qcPelBuffer<unsigned char> check = qfPelMove(frame.buffer);
  if (!check.isLocal() || check.bytes_() == frame.buffer.bytes_() ||
      std::memcmp(check.rowPointer(h - 1), frame.buffer.rowPointer(h - 1), static_cast<std::size_t>(w)) != 0)
    state.SkipWithError("not a local copy");
  state.SetBytesProcessed(state.iterations() * w * h);
}

// A new (zero-filled) buffer and qfPelCopy into it: what the move did before
// it allocated its target uninitialised, and what an application's own copy
// of a frame costs.
void BM_AllocCopy(benchmark::State& state) {
  const long w = state.range(0), h = state.range(1);
  ForeignFrame frame(w, h, false);
  for (auto _ : state) {
    qcPelBuffer<unsigned char> local(w, h);
    qfPelCopy<unsigned char>(frame.buffer, local);
    benchmark::DoNotOptimize(local.bytes_());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * w * h);
}

void BM_Memcpy(benchmark::State& state) {
  const std::size_t n = static_cast<std::size_t>(state.range(0) * state.range(1));
  std::vector<unsigned char> src(n, 0x5a), dst(n, 0);
  for (auto _ : state) {
    std::memcpy(dst.data(), src.data(), n);
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * n));
}

void BM_NewMemcpy(benchmark::State& state) {
  const std::size_t n = static_cast<std::size_t>(state.range(0) * state.range(1));
  std::vector<unsigned char> src(n, 0x5a);
  for (auto _ : state) {
    std::unique_ptr<unsigned char[]> dst(new unsigned char[n]);
    std::memcpy(dst.get(), src.data(), n);
    benchmark::DoNotOptimize(dst.get());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * n));
}

#define QRN_FRAME_SIZES ->ArgNames({"w", "h"})->Args({640, 480})->Args({2048, 2048})->Unit(benchmark::kMicrosecond)
BENCHMARK(BM_Memcpy) QRN_FRAME_SIZES;
BENCHMARK(BM_NewMemcpy) QRN_FRAME_SIZES;
BENCHMARK(BM_LocalMove) QRN_FRAME_SIZES;
BENCHMARK(BM_AllocCopy) QRN_FRAME_SIZES;
#undef QRN_FRAME_SIZES

}  // namespace

BENCHMARK_MAIN();
