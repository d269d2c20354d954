// The road of an acquisition: take a board, look up a video format, make a
// FIFO for it, set properties, start acquisitions and complete them into
// pixel buffers.
//
// From the build tree (no drivers installed):
//   QUORIN_DRIVER_DIR=build/default/drivers/plugins build/default/examples/road
#include <iostream>

#include <qrn/acq/format/vidfmt.h>
#include <qrn/acq/hyper/framegrabber.h>
#include <qrn/acq/hyper/prop/acqprops.h>
#include <qrn/acq/hyper/typedfifo.h>

int main() try {
  // 1. A board: the first frame grabber of the process (driver plugins are
  //    loaded at this first use of the board list).
  if (qcFrameGrabber::count() == 0) {
    std::cerr << "no frame grabber found (set QUORIN_DRIVER_DIR to the driver directory)\n";
    return 1;
  }
  qcFrameGrabber& fg = qcFrameGrabber::get(0);

  // 2. A video format, by name (throws qcVideoFormat::NotFound).
  const qcStdVideoFormat& fmt = qcStdVideoFormat::getFormat("Sony XC75 640x480");
  if (!fg.isSupported(fmt)) {
    std::cerr << "the board does not offer " << fmt.name() << "\n";
    return 1;
  }

  // 3. A FIFO of 8-bit grey images.  The caller owns it; the format and the
  //    grabber must outlive it.
  qcPtrHandle<qcStdGreyAcqFifo> fifo(fmt.newAcqFifo(fg));

  // 4. Properties: the FIFO's property set converts to each property class.
  qcAcqProps& props = fifo->properties();
  static_cast<qcExposureProp&>(props).exposure(0.005);  // seconds
  static_cast<qcTimeoutProp&>(props).timeout(2.0);      // seconds
  fifo->triggerModel(qfManualTrigger());                // software starts

  // 5. Start three acquisitions and complete them in order.
  fifo->start(3);
  for (int i = 0; i < 3; ++i) {
    qcAcquireInfo info;
    const qcPelBuffer<unsigned char> image = fifo->complete(qcAcqFifo::CompleteArgs().maxWait(5.0).acquireInfo(&info));
    if (!image.isBound() || info.failure()) {
      std::cout << "trigger " << info.triggerNum() << ": failed (flags 0x" << std::hex << info.failure().rawFlags()
                << std::dec << ")\n";
      continue;
    }
    const qcHistoStats stats(qfPelHistogram(image));
    std::cout << "trigger " << info.triggerNum() << ": " << image.width() << "x" << image.height() << ", grey "
              << stats.min() << ".." << stats.max() << ", mean " << stats.mean() << "\n";
  }
  return 0;
} catch (const qcException& e) {
  std::cerr << "error: " << e.messageString() << "\n";
  return 1;
}
