// Triggers and strobe: acquisitions started by a pulse on a trigger input
// line (the automatic trigger model) with a strobe pulse fired for each.
// On the simulated board the "camera side" is played by the program itself:
// qfSimFireInputLine() pulses the input line that a real sensor would drive.
#include <iostream>

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
  qcAcqProps& props = fifo->properties();

  // Automatic triggers: every pulse on the input line takes a frame; the
  // application does not call start().  A frame that no pulse comes for is
  // not waited for longer than the timeout (seconds).
  static_cast<qcTriggerProp&>(props).triggerModel(qfAutoTrigger());
  static_cast<qcTimeoutProp&>(props).timeout(2.0);

  // A strobe pulse of 100 us (active high) 1 ms after each trigger, for a
  // flash lamp.
  qcStrobeProp& strobe = props;
  strobe.strobePulseDuration(100e-6);
  strobe.strobeEnable(true);
  static_cast<qcStrobeDelayProp&>(props).strobeDelay(1e-3);

  fifo->triggerEnable(true);
  for (int i = 0; i < 3; ++i) {
    qfSimFireInputLine(*fifo);  // a part passes the sensor
    qcAcquireInfo info;
    const qcPelBuffer<unsigned char> image = fifo->complete(qcAcqFifo::CompleteArgs().maxWait(5.0).acquireInfo(&info));
    if (!image.isBound() || info.failure()) {
      std::cerr << "trigger " << i << " gave no image\n";
      return 1;
    }
    std::cout << "trigger " << info.triggerNum() << ": " << image.width() << "x" << image.height() << ", time stamp "
              << info.timeStamp() << "\n";
  }
  fifo->triggerEnable(false);
  return 0;
} catch (const qcException& e) {
  std::cerr << "error: " << e.messageString() << "\n";
  return 1;
}
