// Showing acquired images of every kind in an image console (qacq live and
// qacq show).
#pragma once

#include <qrn/acq/console/imgconsole.h>

#include "qacq.h"

namespace qacq {

// Turns an image into what the console shows: grey 8-bit as it is, 16-bit
// grey cut to its top 8 significant bits, colour kinds as packed RGB32, raw
// Bayer mosaics through the converter.  Keeps its conversion buffers from
// frame to frame.
class ImageView {
public:
  // False (nothing shown) for an empty image or a kind without a view.
  bool show(qcImageConsole& console, const qcAcqImage& image, BayerPattern bayer);

private:
  template <class T>
  static void fit(qcPelBuffer<T>& b, long w, long h) {
    if (b.width() != w || b.height() != h) b = qcPelBuffer<T>(w, h);
  }
  qcPelBuffer<unsigned char> grey_;
  qcPelBuffer<qcPackedRGB32Pel> rgb_;
};

}  // namespace qacq
