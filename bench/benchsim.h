// What the benchmarks on the simulated board share: the build tree's drivers
// and no registry file (unless the environment says otherwise), and the
// first simulated board.
#pragma once

#include <cstdlib>
#include <stdexcept>

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

}  // namespace qrn_bench
