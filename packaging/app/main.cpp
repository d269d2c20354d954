// An application outside the project: every public header through the
// umbrella header, the first board (driver plugins found in the installed
// driver directory, QUORIN_DRIVER_DIR unset), three frames.
#include <qrn/qrnacq.h>

#include <cstdlib>
#include <iostream>

int main() try {
  if (std::getenv("QUORIN_DRIVER_DIR")) {
    std::cerr << "QUORIN_DRIVER_DIR is set: this test is about the installed driver directory\n";
    return 2;
  }
  if (qcFrameGrabber::count() == 0) {
    std::cerr << "no frame grabber: the installed driver plugins were not found\n";
    return 1;
  }
  qcFrameGrabber& fg = qcFrameGrabber::get(0);
  const qcStdVideoFormat& fmt = qcStdVideoFormat::getFormat("Sony XC75 640x480");
  qcPtrHandle<qcStdGreyAcqFifo> fifo(fmt.newAcqFifo(fg));
  static_cast<qcTimeoutProp&>(fifo->properties()).timeout(2.0);
  fifo->triggerModel(qfManualTrigger());
  fifo->start(3);
  for (int i = 0; i < 3; ++i) {
    qcAcquireInfo info;
    const qcPelBuffer<unsigned char> image = fifo->complete(qcAcqFifo::CompleteArgs().maxWait(5.0).acquireInfo(&info));
    if (!image.isBound() || info.failure() || image.width() != 640 || image.height() != 480) {
      std::cerr << "frame " << i << " failed\n";
      return 1;
    }
  }
  std::cout << fg.getUniqueId() << ": 3 frames of 640x480\n";
  return 0;
} catch (const qcException& e) {
  std::cerr << "error: " << e.messageString() << "\n";
  return 1;
}
