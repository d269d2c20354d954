// Callbacks and overruns: a free-running camera delivers frames whether the
// application is ready or not.  A completion callback hears each finished
// acquisition on the driver's thread; an overrun callback hears each frame
// that was lost because no acquisition was ready for it.
#include <atomic>
#include <chrono>
#include <iostream>
#include <thread>

#include <qrn/acq/format/vidfmt.h>
#include <qrn/acq/hyper/framegrabber.h>
#include <qrn/acq/hyper/prop/acqprops.h>
#include <qrn/acq/hyper/typedfifo.h>
#include <qrn/drivers/sim.h>

int main() try {
  if (qcFrameGrabber::count() == 0) {
    std::cerr << "no frame grabber found\n";
    return 1;
  }
  qcFrameGrabber& fg = qcFrameGrabber::get(0);
  const qcStdVideoFormat& fmt = qcStdVideoFormat::getFormat("Sony XC75 640x480");
  qcPtrHandle<qcStdGreyAcqFifo> fifo(fmt.newAcqFifo(fg));

  // Callbacks run on a thread of the driver: keep them short, and share
  // nothing with the main thread but atomics (or data under a lock).
  std::atomic<int> completed{0}, overruns{0};
  fifo->completeInfoCallback(qfMakeCallback1<const qcAcquireInfo&>([&](const qcAcquireInfo& info) {
    if (!info.failure()) ++completed;
  }));
  fifo->overrunInfoCallback(qfMakeCallback1<const qcAcquireInfo&>([&](const qcAcquireInfo& info) {
    if (info.failure().isOverrun()) ++overruns;
  }));

  // On the simulated board an overrun is made on request; with a camera it
  // happens when frames come faster than the application starts acquisitions.
  qfSimInject(*fifo, "overrun");
  fifo->start(3);
  int images = 0, failed = 0;
  for (int i = 0; i < 3; ++i) {
    qcAcquireInfo info;
    const qcPelBuffer<unsigned char> image = fifo->complete(qcAcqFifo::CompleteArgs().maxWait(5.0).acquireInfo(&info));
    if (image.isBound() && !info.failure()) {
      ++images;
    } else {
      ++failed;
      std::cout << "trigger " << info.triggerNum() << " failed:" << (info.failure().isOverrun() ? " overrun" : "")
                << (info.failure().isTimeout() ? " timeout" : "") << "\n";
    }
  }
  // The driver's thread may still be in a callback when complete() returns:
  // give it a moment before reading the counters.
  for (int ms = 0; ms < 2000 && (completed.load() < images || overruns.load() < failed); ++ms)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  // Callbacks are removed (an empty handle) before the counters they use go away.
  fifo->completeInfoCallback(qcAcqFifo::InfoCallback());
  fifo->overrunInfoCallback(qcAcqFifo::InfoCallback());
  std::cout << images << " images, " << failed << " failed; callbacks heard " << completed.load() << " completions and "
            << overruns.load() << " overruns\n";
  return images == 2 && failed == 1 ? 0 : 1;
} catch (const qcException& e) {
  std::cerr << "error: " << e.messageString() << "\n";
  return 1;
}
