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
  // dst (reallocated when its size differs) = f of each pel of src, with
  // src's offset.
  template <class S, class D, class F>
  static void mapPels(const qcPelBuffer<S>& src, qcPelBuffer<D>& dst, F f) {
    if (dst.width() != src.width() || dst.height() != src.height()) dst = qcPelBuffer<D>(src.width(), src.height());
    for (long y = 0; y < src.height(); ++y) {
      const S* s = src.rowPointer(y);
      D* d = dst.rowPointer(y);
      for (long x = 0; x < src.width(); ++x) d[x] = f(s[x]);
    }
    dst.offset(src.offset());
  }
  qcPelBuffer<unsigned char> grey_;
  qcPelBuffer<qcPackedRGB32Pel> rgb_;
};

}  // namespace qacq
