// Region of interest and lookup tables: acquire only part of the frame, and
// map the digitizer's 8-bit values through an input lookup table (here a
// negative: black becomes white).
#include <iostream>

#include <qrn/acq/format/vidfmt.h>
#include <qrn/acq/hyper/framegrabber.h>
#include <qrn/acq/hyper/prop/acqprops.h>
#include <qrn/acq/hyper/typedfifo.h>

static qcPelBuffer<unsigned char> grabOne(qcStdGreyAcqFifo& fifo) {
  fifo.start(1);
  qcAcquireInfo info;
  qcPelBuffer<unsigned char> image = fifo.complete(qcAcqFifo::CompleteArgs().maxWait(5.0).acquireInfo(&info));
  if (!image.isBound() || info.failure()) throw qcAcqFifo::BadParams();
  return image;
}

int main() try {
  if (qcFrameGrabber::count() == 0) {
    std::cerr << "no frame grabber found\n";
    return 1;
  }
  qcFrameGrabber& fg = qcFrameGrabber::get(0);
  const qcStdVideoFormat& fmt = qcStdVideoFormat::getFormat("Sony XC75 640x480");
  qcPtrHandle<qcStdGreyAcqFifo> fifo(fmt.newAcqFifo(fg));
  fifo->triggerModel(qfManualTrigger());

  // The region: 200x100 pixels whose top left corner is (64, 32) in the full
  // frame.  The image keeps that corner as its offset.
  qcRoiProp& roi = fifo->properties();
  roi.roi(qcPelRect(64, 32, 200, 100));
  qcPelBuffer<unsigned char> plain = grabOne(*fifo);
  std::cout << "region: " << plain.width() << "x" << plain.height() << " at (" << plain.offset().x << ", "
            << plain.offset().y << ")\n";

  // An input table maps each digitized value 0..255 to the stored one.
  unsigned char negative[256];
  for (int v = 0; v < 256; ++v) negative[v] = static_cast<unsigned char>(255 - v);
  qc8BitInputLutProp& lut = fifo->properties();
  lut.inputLut(qc8BitInputLutProp::positive8BitLut);  // identity, for the reference
  const int before = grabOne(*fifo).get(10, 10);
  lut.inputLut(negative);
  const int after = grabOne(*fifo).get(10, 10);
  // (The simulated test image moves by one grey level per frame.)
  std::cout << "pixel (10, 10): " << before << " through the identity table, " << after << " through the negative\n";

  // Back to the full frame.
  roi.roi(qcPelRect(0, 0, 640, 480));
  std::cout << "full frame: " << grabOne(*fifo).width() << " wide\n";
  return 0;
} catch (const qcException& e) {
  std::cerr << "error: " << e.messageString() << "\n";
  return 1;
}
