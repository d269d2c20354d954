// A camera configuration file (.ccf): each valid file in the search path
// becomes a video format named by its "format name" parameter, used like any
// other format.  The search path is read at the first format lookup, so it
// is set before.
//
//   ccf_file [directory]      (default: the examples' ccf/ directory)
#include <cstdlib>
#include <iostream>
#include <string>

#include <qrn/acq/format/vidfmt.h>
#include <qrn/acq/hyper/framegrabber.h>
#include <qrn/acq/hyper/prop/acqprops.h>
#include <qrn/acq/hyper/typedfifo.h>

#ifndef QRN_EXAMPLES_CCF_DIR
#define QRN_EXAMPLES_CCF_DIR "ccf"
#endif

int main(int argc, char** argv) try {
  // Directories separated by ';'; only the first that holds .ccf files is read.
  ::setenv("QUORIN_SYSTEM_PATH", argc > 1 ? argv[1] : QRN_EXAMPLES_CCF_DIR, 1);
  if (qcFrameGrabber::count() == 0) {
    std::cerr << "no frame grabber found\n";
    return 1;
  }
  qcFrameGrabber& fg = qcFrameGrabber::get(0);

  // The format that examples/ccf/northlake_nl60_analog.ccf describes.
  const qcStdVideoFormat& fmt = qcStdVideoFormat::getFormat("Northlake NL60 640x480");
  std::cout << "format from the file: " << fmt.name() << ", " << fmt.width() << "x" << fmt.height() << "\n";
  if (!fg.isSupported(fmt)) {
    std::cerr << "the board does not offer it\n";
    return 1;
  }
  qcPtrHandle<qcStdGreyAcqFifo> fifo(fmt.newAcqFifo(fg));
  fifo->triggerModel(qfManualTrigger());
  fifo->start(1);
  qcAcquireInfo info;
  const qcPelBuffer<unsigned char> image = fifo->complete(qcAcqFifo::CompleteArgs().maxWait(5.0).acquireInfo(&info));
  if (!image.isBound() || info.failure()) {
    std::cerr << "the acquisition failed\n";
    return 1;
  }
  std::cout << "grabbed " << image.width() << "x" << image.height() << "\n";
  return 0;
} catch (const qcException& e) {
  std::cerr << "error: " << e.messageString() << "\n";
  return 1;
}
