// Saving and restoring settings: a FIFO's properties copied into a plain
// property set, stored in an archive (a file here), and given to a new FIFO
// later, which then acquires as the first one did.
//
//   settings [file]      (default settings.qarch)
#include <fstream>
#include <iostream>
#include <string>

#include <qrn/acq/format/vidfmt.h>
#include <qrn/acq/hyper/framegrabber.h>
#include <qrn/acq/hyper/prop/acqprops.h>
#include <qrn/acq/hyper/typedfifo.h>
#include <qrn/foundation/archive.h>

int main(int argc, char** argv) try {
  const std::string path = argc > 1 ? argv[1] : "settings.qarch";
  if (qcFrameGrabber::count() == 0) {
    std::cerr << "no frame grabber found\n";
    return 1;
  }
  qcFrameGrabber& fg = qcFrameGrabber::get(0);
  const qcStdVideoFormat& fmt = qcStdVideoFormat::getFormat("Sony XC75 640x480");

  {
    // Set up a FIFO as the application needs it...
    qcPtrHandle<qcStdGreyAcqFifo> fifo(fmt.newAcqFifo(fg));
    qcAcqProps& p = fifo->properties();
    static_cast<qcExposureProp&>(p).exposure(0.004);
    static_cast<qcTimeoutProp&>(p).timeout(3.5);
    static_cast<qcRoiProp&>(p).roi(qcPelRect(16, 8, 320, 240));
    static_cast<qcTriggerProp&>(p).triggerModel(qfManualTrigger());

    // ...copy its settings into a set of the analog board's properties and
    // store that set.  (A set belongs to no FIFO; a FIFO's own set does.)
    qcAnalogAcqProps saved;
    saved = p;
    std::ofstream out(path, std::ios::binary);
    qcArchive ar(out);  // an output stream: the archive stores
    saved.serialize(ar);
  }

  // Later, perhaps in another process: read the set and give it to a new FIFO.
  qcAnalogAcqProps loaded;
  {
    std::ifstream in(path, std::ios::binary);
    qcArchive ar(in);  // an input stream: the archive loads
    loaded.serialize(ar);
  }
  qcPtrHandle<qcStdGreyAcqFifo> fifo(fmt.newAcqFifo(fg));
  fifo->properties() = loaded;

  const qcAcqProps& p = fifo->properties();
  std::cout << "restored: exposure " << static_cast<const qcExposureProp&>(p).exposure() << " s, timeout "
            << static_cast<const qcTimeoutProp&>(p).timeout() << " s\n";
  fifo->start(1);
  qcAcquireInfo info;
  const qcPelBuffer<unsigned char> image = fifo->complete(qcAcqFifo::CompleteArgs().maxWait(5.0).acquireInfo(&info));
  if (!image.isBound() || info.failure()) {
    std::cerr << "the acquisition failed\n";
    return 1;
  }
  std::cout << "image of the restored region: " << image.width() << "x" << image.height() << "\n";
  return image.width() == 320 && image.height() == 240 ? 0 : 1;
} catch (const qcException& e) {
  std::cerr << "error: " << e.messageString() << "\n";
  return 1;
}
