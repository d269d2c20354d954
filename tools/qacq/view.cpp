// ImageView: every image kind turned into what the console shows.
#include <algorithm>
#include <utility>

#include <qrn/acq/convert/bayer.h>

#include "view.h"

namespace qacq {

// ---- keys ------------------------------------------------------------------------------

const std::vector<ViewerKey>& showKeys() {
  using K = qcImageConsoleCallback;
  static const std::vector<ViewerKey> keys = {
      {{' ', 'n', K::keyPageDown}, "space, n, Page Down", "next image", ViewerAction::next},
      {{K::keyBackspace, 'p', K::keyPageUp}, "Backspace, p, Page Up", "image before", ViewerAction::previous},
      {{'q'}, "q", "quit", ViewerAction::quit},
  };
  return keys;
}

const std::vector<ViewerKey>& liveKeys() {
  static const std::vector<ViewerKey> keys = {
      {{'s'}, "s", "save the frame shown", ViewerAction::save},
      {{'q'}, "q", "quit", ViewerAction::quit},
  };
  return keys;
}

void ViewerKeys::attach(qcImageConsole& console) {
  std::vector<std::pair<std::string, std::string>> help;
  for (const ViewerKey& k : bindings_) help.emplace_back(k.keys, k.what);
  console.keyHelp(help);
  console.installGUICallback(this);
  console.pelValueDisplayEnabled(1);
  console.defaultSelectionsEnabled(0);
}

bool ViewerKeys::keyDown(qcImageConsole&, unsigned long key) {
  for (const ViewerKey& k : bindings_)
    if (std::find(k.codes.begin(), k.codes.end(), key) != k.codes.end()) {
      ++asked_[static_cast<std::size_t>(k.action)];
      return true;
    }
  return false;
}

bool ViewerKeys::take(ViewerAction a) {
  int& n = asked_[static_cast<std::size_t>(a)];
  if (a == ViewerAction::none || n == 0) return false;
  n = 0;
  return true;
}

namespace {

qcPair<long> phaseOf(BayerPattern p) {
  switch (p) {
    case BayerPattern::GRBG: return {0, 0};
    case BayerPattern::RGGB: return {1, 0};
    case BayerPattern::BGGR: return {0, 1};
    case BayerPattern::GBRG: return {1, 1};
  }
  return {1, 0};
}

bool isRaw(qeImageFormat f) { return f == qeImageFormat_Raw8; }

}  // namespace

bool ImageView::show(qcImageConsole& console, const qcAcqImage& image, BayerPattern bayer) {
  if (image.isEmpty()) return false;
  if (image.holds<qcPelBuffer<unsigned char>>()) {
    if (isRaw(image.imageFormat())) {
      qfBayerToPacked32_SSE(image.grey8(), phaseOf(bayer), rgb_);
      if (!rgb_.isBound()) return false;  // odd sizes cannot be converted
      console.showImage(qcPelBuffer_const<qcPackedRGB32Pel>(rgb_));
    } else {
      console.showImage(image.grey8());
    }
    return true;
  }
  if (image.holds<qcPelBuffer<qcPackedRGB32Pel>>()) {
    console.showImage(image.rgb32());
    return true;
  }
  if (image.holds<qcPelBuffer<unsigned short>>()) {
    const qcPelBuffer<unsigned short> src = image.grey16();
    const qeImageFormat f = image.imageFormat();
    const int shift = greySignificantBits(f) - 8;  // shown by its top 8 bits
    const bool swap = f == qeImageFormat_Grey16BigEndian;
    mapPels(src, grey_, [&](unsigned short p) {
      unsigned v = p;
      if (swap) v = ((v & 0xFFu) << 8) | (v >> 8);
      return static_cast<unsigned char>(std::min(255u, v >> shift));
    });
    console.showImage(grey_);
    return true;
  }
  if (image.holds<qc3PlanePelBuffer>()) {
    qfRGBPack(image.threePlane(), rgb_);
  } else if (image.holds<qcPelBuffer<qcPackedRGB16Pel>>()) {
    mapPels(image.rgb16(), rgb_, [](qcPackedRGB16Pel p) { return qcPackedRGB32Pel(p.r(), p.g(), p.b()); });
  } else if (image.holds<qcPelBuffer<qc3PlanePel>>()) {
    mapPels(image.pel3(), rgb_, [](qc3PlanePel p) { return qcPackedRGB32Pel(p.c0, p.c1, p.c2); });
  } else {
    return false;
  }
  console.showImage(qcPelBuffer_const<qcPackedRGB32Pel>(rgb_));
  return true;
}

}  // namespace qacq
