// What the benchmarks on the simulated board share: the build tree's drivers
// and no registry file (unless the environment says otherwise), and the
// first simulated board.
#pragma once

#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <qrn/acq/format/vidfmt.h>

#include <qrn/acq/hyper/framegrabber.h>
#include <qrn/foundation/board.h>

namespace qrn_bench {

inline const bool gEnvironment = [] {
  ::setenv("QUORIN_DRIVER_DIR", QRN_BENCH_DRIVER_DIR, 0);
  ::setenv("QUORIN_REGISTRY_FILE", QRN_BENCH_BINARY_DIR "/no-such-registry.reg", 0);
  return true;
}();

// The simulated board sim0; throws when the drivers were not found.
inline qcFrameGrabber& simGrabber() {
  for (long i = 0; i < qcBoard::count(); ++i) {
    qcBoard& b = qcBoard::get(i);
    if (b.name() == "sim" && b.bdIdx() == 0)
      if (auto* fg = dynamic_cast<qcFrameGrabber*>(&b)) return *fg;
  }
  throw std::runtime_error("no simulated board (is QUORIN_DRIVER_DIR the plugin directory?)");
}

// A grey format of a given size, of our own (the simulator serves any size).
struct BenchFormat {
  std::string name;
  qc_BaseVideoFormat base;
  qc_VideoFormat vf;
  qcStdVideoFormat fmt;
  BenchFormat(long w, long h)
      : name("Bench grey " + std::to_string(w) + "x" + std::to_string(h)),
        base{name.c_str(), w, h, 8, false, false, false, false},
        vf(base, qe_pelType_unspecified),
        fmt(vf) {}
};

// The format of that size (made at the first call, kept for the process).
inline const qcStdVideoFormat& benchFormat(long w, long h) {
  static std::vector<std::unique_ptr<BenchFormat>> formats;
  for (const auto& f : formats)
    if (f->base.width == w && f->base.height == h) return f->fmt;
  formats.push_back(std::make_unique<BenchFormat>(w, h));
  return formats.back()->fmt;
}

}  // namespace qrn_bench
