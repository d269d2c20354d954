// Shared pieces of the camera driver tests.
#pragma once

#include <stdexcept>
#include <string>

#include <qrn/acq/format/vidfmt.h>
#include <qrn/acq/hyper/framegrabber.h>
#include <qrn/foundation/board.h>

// The "gige" board of that index.
inline qcFrameGrabber& qfGigeBoard(long idx) {
  for (long i = 0; i < qcBoard::count(); ++i) {
    qcBoard& b = qcBoard::get(i);
    if (b.name() == "gige" && b.bdIdx() == idx)
      if (auto* fg = dynamic_cast<qcFrameGrabber*>(&b)) return *fg;
  }
  throw std::runtime_error("no gige board " + std::to_string(idx) + " (QUORIN_GIGE_CAMERAS?)");
}

// A format of our own, outside the format lists.
struct qcGigeTestFormat {
  qc_BaseVideoFormat base;
  qc_VideoFormat vf;
  qcStdVideoFormat fmt;
  qcGigeTestFormat(const char* name, long w, long h, long depth = 8, qe_pelType t = qe_pelType_unspecified)
      : base{name, w, h, depth, false, false, false, false}, vf(base, t), fmt(vf) {}
};
