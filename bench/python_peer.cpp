// The C++ peer of bench/python_fifo.py: the same loop as the Python one, on
// the simulated board ("FramePeriod" 0, manual trigger, four acquisitions
// started ahead, one start per completion, the last image kept until the
// next completion replaces it), through the generic FIFO that
// qcStdVideoFormat::newAcqFifoEx makes and completeAcq, as the Python
// module does.
//
//   BM_PeerLoop/<format>/<makeLocal>   format 0: "Sony XC75 640x480",
//                                      1: "Basler L103 2048x2048"
//
// Run it through bench/python_fifo.py, which runs the Python loop and this
// peer in the same run and reports the ratios.
#include <benchmark/benchmark.h>

#include <qrn/acq/format/vidfmt.h>
#include <qrn/acq/hyper/framegrabber.h>
#include <qrn/acq/hyper/typedfifo.h>
#include <qrn/drivers/sim.h>
#include <qrn/foundation/board.h>

#include "benchsim.h"

namespace {

using qrn_bench::simGrabber;

const char* const kFormats[] = {"Sony XC75 640x480", "Basler L103 2048x2048"};
constexpr long kAhead = 4;

void BM_PeerLoop(benchmark::State& state) {
  const qcStdVideoFormat& fmt = qcStdVideoFormat::getFormat(kFormats[state.range(0)]);
  const bool makeLocal = state.range(1) != 0;
  qcPtrHandle<qcAcqFifo> fifo(fmt.newAcqFifoEx(simGrabber(), qeImageFormat_Grey8));
  qfSimSet(*fifo, qrn_sim::kFramePeriod, "0");
  fifo->start(kAhead);
  qcPtrHandle<qcAcqImage> image;
  for (auto _ : state) {
    fifo->start(1);
    qcAcquireInfo info;
    image = fifo->completeAcq(qcAcqFifo::CompleteArgs().maxWait(5.0).makeLocal(makeLocal).acquireInfo(&info));
    if (!image || image->isEmpty() || info.failure()) {
      state.SkipWithError("a completion failed");
      break;
    }
    benchmark::DoNotOptimize(image);
  }
  image = qcPtrHandle<qcAcqImage>();
  fifo->flush();
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_PeerLoop)
    ->ArgNames({"format", "local"})
    ->Args({0, 1})
    ->Args({0, 0})
    ->Args({1, 1})
    ->Args({1, 0})
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime()
    ->MinTime(0.5);

}  // namespace

BENCHMARK_MAIN();
