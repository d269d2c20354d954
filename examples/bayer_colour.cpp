// Colour from a Bayer camera with white balance: a Bayer camera sends one
// 8-bit value per pixel, each behind a red, green or blue filter in a 2x2
// pattern.  qcBayerImageConverter interpolates the missing colours and
// applies white-balance scales; here the scales are measured on the image
// itself (grey-world: every channel gets the green channel's mean).
#include <iostream>

#include <qrn/acq/convert/bayer.h>
#include <qrn/acq/format/vidfmt.h>
#include <qrn/acq/hyper/framegrabber.h>
#include <qrn/acq/hyper/prop/acqprops.h>
#include <qrn/acq/hyper/typedfifo.h>

struct Means {
  double r = 0, g = 0, b = 0;
};

static Means channelMeans(const qcPelBuffer<qcPackedRGB32Pel>& rgb) {
  Means m;
  for (long y = 0; y < rgb.height(); ++y) {
    const qcPackedRGB32Pel* row = rgb.rowPointer(y);
    for (long x = 0; x < rgb.width(); ++x) {
      m.r += row[x].r();
      m.g += row[x].g();
      m.b += row[x].b();
    }
  }
  const double n = static_cast<double>(rgb.width() * rgb.height());
  return {m.r / n, m.g / n, m.b / n};
}

int main() try {
  if (qcFrameGrabber::count() == 0) {
    std::cerr << "no frame grabber found\n";
    return 1;
  }
  qcFrameGrabber& fg = qcFrameGrabber::get(0);
  const qcStdVideoFormat& fmt = qcStdVideoFormat::getFormat("Sony XC75 640x480");
  // The camera's mosaic arrives as an 8-bit image.
  qcPtrHandle<qcStdGreyAcqFifo> fifo(fmt.newAcqFifo(fg));
  fifo->triggerModel(qfManualTrigger());
  fifo->start(1);
  qcAcquireInfo info;
  const qcPelBuffer<unsigned char> mosaic = fifo->complete(qcAcqFifo::CompleteArgs().maxWait(5.0).acquireInfo(&info));
  if (!mosaic.isBound() || info.failure()) {
    std::cerr << "the acquisition failed\n";
    return 1;
  }

  // The converter shares the mosaic (it must stay unchanged while results
  // are asked for); the camera's first row starts red, green (RGGB).
  qcBayerImageConverter conv(mosaic);
  conv.bayerType(qcBayerImageConverter::RGGB);
  const Means raw = channelMeans(conv.getPackedRGB32PelBuf());
  std::cout << "means before: red " << raw.r << ", green " << raw.g << ", blue " << raw.b << "\n";

  // White balance: scales greater than 0 (1 leaves a channel as it is).
  if (raw.r > 0) conv.setRedWhiteBalanceScale(raw.g / raw.r);
  if (raw.b > 0) conv.setBlueWhiteBalanceScale(raw.g / raw.b);
  const Means bal = channelMeans(conv.getPackedRGB32PelBuf());
  std::cout << "white-balanced: red " << bal.r << ", green " << bal.g << ", blue " << bal.b << "\n";
  return 0;
} catch (const qcException& e) {
  std::cerr << "error: " << e.messageString() << "\n";
  return 1;
}
