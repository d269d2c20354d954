// Shared pieces of the end-to-end tests on the simulated frame grabber.
#pragma once

#include <chrono>
#include <string>

#include <gtest/gtest.h>

#include <qrn/acq/format/vidfmt.h>
#include <qrn/acq/hyper/framegrabber.h>
#include <qrn/acq/hyper/typedfifo.h>
#include <qrn/drivers/sim.h>
#include <qrn/foundation/board.h>

// A small format of our own: the simulator serves every format with a size.
struct qcSimTestFormat {
  qc_BaseVideoFormat base;
  qc_VideoFormat vf;
  qcStdVideoFormat fmt;
  qcSimTestFormat(const char* name, long w, long h)
      : base{name, w, h, 8, false, false, false, false}, vf(base, qe_pelType_unspecified), fmt(vf) {}
};

// The first simulated board.
inline qcFrameGrabber& qfSimGrabber(long bdIdx = 0) {
  for (long i = 0; i < qcBoard::count(); ++i) {
    qcBoard& b = qcBoard::get(i);
    if (b.name() == "sim" && b.bdIdx() == bdIdx) {
      if (auto* fg = dynamic_cast<qcFrameGrabber*>(&b)) return *fg;
    }
  }
  throw std::runtime_error("no simulated board " + std::to_string(bdIdx) + " (QUORIN_DRIVER_DIR?)");
}

// A FIFO of type F on the first board, made fast and neutral: 2 ms frames,
// identity input tables, the FIFO's neutral contrast (0).
template <class F>
qcPtrHandle<F> qfSimFifo(const qcVideoFormat& fmt, double framePeriod = 0.002) {
  qcPtrHandle<F> f(new F(fmt, qfSimGrabber()));
  static_cast<qc8BitInputLutProp&>(f->properties()).inputLut(qc8BitInputLutProp::positive8BitLut);
  qfSimSet(*f, qrn_sim::kFramePeriod, std::to_string(framePeriod));
  return f;
}

inline qcAcqFifo::CompleteArgs qfWait(qcAcquireInfo& info, double seconds = 2.0) {
  return qcAcqFifo::CompleteArgs().maxWait(seconds).acquireInfo(&info);
}

// Polls `cond` until it holds or `seconds` pass.
template <class C>
bool qfEventually(C cond, double seconds = 2.0) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!cond()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}
