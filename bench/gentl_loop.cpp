// A minimal GenTL consumer loop on the producer qrnacq.cti beside the same
// loop on the library's C++ API, both on the simulated board making frames as
// fast as asked ("FramePeriod" 0; the producer's AcquisitionFrameRateEnable
// false), 8-bit grey:
//
//   BM_GenTLLoop/<w>/<h>  8 buffers of the consumer's memory announced and
//       queued, the acquisition started; each iteration waits for the
//       new-buffer event, reads the last pel and queues the buffer again.
//       The producer copies each frame once from the board's pool image into
//       the consumer's buffer (the consumer owns the memory it announced).
//   BM_CppLoop/<w>/<h>    a grey FIFO of that size, the board's pool kept
//       started; each iteration completes one image without making it local,
//       reads the last pel, lets the image go and starts one more.
//
// items_per_second is frames per second.  Compare the medians of one run:
//   build/<dir>/bench/bench_gentl_loop --benchmark_repetitions=7
//       --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true
// Other work on the machine moves the figures: note the load average beside
// them.
#include <benchmark/benchmark.h>

#include <memory>
#include <stdexcept>
#include <vector>

#include <qrn/acq/hyper/typedfifo.h>
#include <qrn/drivers/sim.h>

#include "benchsim.h"
#include "gentl_consumer.h"

namespace {

using qrn_gentl_test::Consumer;

void BM_GenTLLoop(benchmark::State& state) {
  const long w = state.range(0), h = state.range(1);
  std::unique_ptr<Consumer> c;
  std::vector<std::vector<char>> memory(8, std::vector<char>(static_cast<std::size_t>(w * h)));
  EVENT_HANDLE event = nullptr;
  try {
    c = std::make_unique<Consumer>();
    c->set("Width", std::to_string(w));
    c->set("Height", std::to_string(h));
    c->set("PixelFormat", "Mono8");
    c->set("AcquisitionFrameRateEnable", "false");
    for (auto& m : memory) {
      BUFFER_HANDLE b = nullptr;
      QRN_GENTL_CHECK(DSAnnounceBuffer(c->ds, m.data(), m.size(), nullptr, &b));
      QRN_GENTL_CHECK(DSQueueBuffer(c->ds, b));
    }
    QRN_GENTL_CHECK(GCRegisterEvent(c->ds, EVENT_NEW_BUFFER, &event));
    QRN_GENTL_CHECK(DSStartAcquisition(c->ds, ACQ_START_FLAGS_DEFAULT, GENTL_INFINITE));
    c->execute("AcquisitionStart");
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
    return;
  }
  for (auto _ : state) {
    EVENT_NEW_BUFFER_DATA d{};
    size_t size = sizeof d;
    if (EventGetData(event, &d, &size, 10000) != GC_ERR_SUCCESS) {
      state.SkipWithError("no buffer within 10 s");
      break;
    }
    const char* base = nullptr;
    size = sizeof base;
    DSGetBufferInfo(c->ds, d.BufferHandle, BUFFER_INFO_BASE, nullptr, &base, &size);
    benchmark::DoNotOptimize(base[w * h - 1]);
    DSQueueBuffer(c->ds, d.BufferHandle);
  }
  c->execute("AcquisitionStop");
  DSStopAcquisition(c->ds, ACQ_STOP_FLAGS_DEFAULT);
  // Frames the board made that found no queued buffer (the consumer was late).
  state.counters["underruns"] = static_cast<double>(c->streamInfo<uint64_t>(STREAM_INFO_NUM_UNDERRUN));
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * w * h);
}
BENCHMARK(BM_GenTLLoop)
    ->ArgNames({"w", "h"})
    ->Args({640, 480})
    ->Args({2048, 2048})
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

void BM_CppLoop(benchmark::State& state) {
  const long w = state.range(0), h = state.range(1);
  qcPtrHandle<qcStdGreyAcqFifo> fifo;
  try {
    fifo = qcPtrHandle<qcStdGreyAcqFifo>(qrn_bench::benchFormat(w, h).newAcqFifo(qrn_bench::simGrabber()));
    qfSimSet(*fifo, qrn_sim::kFramePeriod, "0");
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
    return;
  }
  fifo->start(static_cast<unsigned long>(fifo->hardwareImagePoolSize()));
  qcAcquireInfo info;
  const qcAcqFifo::CompleteArgs args = qcAcqFifo::CompleteArgs().maxWait(10.0).makeLocal(false).acquireInfo(&info);
  for (auto _ : state) {
    qcPelBuffer<unsigned char> img = fifo->complete(args);
    if (!img.isBound() || info.failure()) {
      state.SkipWithError("completion without a good image");
      break;
    }
    benchmark::DoNotOptimize(img.rowPointer(h - 1)[w - 1]);
    img.unbind();
    fifo->start(1);
  }
  fifo->flush();
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * w * h);
}
BENCHMARK(BM_CppLoop)
    ->ArgNames({"w", "h"})
    ->Args({640, 480})
    ->Args({2048, 2048})
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
