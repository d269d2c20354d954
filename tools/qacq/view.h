// Showing acquired images of every kind in an image console (qacq live and
// qacq show).
#pragma once

#include <array>
#include <vector>

#include <qrn/acq/console/imgconsole.h>

#include "qacq.h"

namespace qacq {

// Turns an image into what the console shows: grey 8-bit as it is, 16-bit
// grey cut to its top 8 significant bits, colour kinds as packed RGB32, raw
// Bayer mosaics through the converter.  Keeps its conversion buffers from
// frame to frame.
// What a key of a viewer asks for.
enum class ViewerAction { none, next, previous, save, quit };

// A viewer's key binding: the key codes, their name and meaning in the
// console's key help, the action.
struct ViewerKey {
  std::vector<unsigned long> codes;
  const char* keys;
  const char* what;
  ViewerAction action;
};
// qacq show: space, n, Page Down next; Backspace, p, Page Up previous; q.
// qacq live: s saves, q.  The arrows are left to the console, which pans.
const std::vector<ViewerKey>& showKeys();
const std::vector<ViewerKey>& liveKeys();

// The key handling of qacq show and live: a console callback that takes
// the viewer's keys (every other key goes on to the console) and remembers
// the actions asked for until they are taken.
class ViewerKeys : public qcImageConsoleCallback {
public:
  explicit ViewerKeys(std::vector<ViewerKey> bindings) : bindings_(std::move(bindings)) {}
  // Installs itself as the console's callback and its keys in the key help,
  // shows pel values under the pointer, and turns the console's own
  // selections off (a viewer asks for none: a drag would leave a rectangle).
  void attach(qcImageConsole& console);
  bool keyDown(qcImageConsole& console, unsigned long key) override;
  // True once for each time `a` was asked for since the last take.
  bool take(ViewerAction a);
  const std::vector<ViewerKey>& bindings() const { return bindings_; }

private:
  std::vector<ViewerKey> bindings_;
  std::array<int, 5> asked_{};
};

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
