// The Python module qrnacq: module set-up; each subsystem binds itself in its
// own file.
#include <cstdlib>
#include <filesystem>

#include "qrnpy.h"

#ifndef QRN_DRIVER_DIR
#define QRN_DRIVER_DIR ""
#endif
#ifndef QRN_DRIVER_BUILD_DIR
#define QRN_DRIVER_BUILD_DIR ""
#endif

namespace {

bool hasDrivers(const char* dir) {
  std::error_code ec;
  if (!*dir || !std::filesystem::is_directory(dir, ec)) return false;
  for (const auto& e : std::filesystem::directory_iterator(dir, ec))
    if (e.path().extension() == ".so") return true;
  return false;
}

}  // namespace

PYBIND11_MODULE(qrnacq, m) {
  // Imported from the build tree, the module finds the drivers built beside
  // it when none are installed and QUORIN_DRIVER_DIR does not say otherwise
  // (before the first use of the board list).
  if (!std::getenv("QUORIN_DRIVER_DIR") && !hasDrivers(QRN_DRIVER_DIR) && hasDrivers(QRN_DRIVER_BUILD_DIR))
    ::setenv("QUORIN_DRIVER_DIR", QRN_DRIVER_BUILD_DIR, 0);

  m.doc() =
      "Quorin Acquisition: frame grabbers, video formats, acquisition FIFOs and their properties,\n"
      "camera configuration files, the camera database file, the Bayer converter and GigE Vision\n"
      "features.  Completed images are NumPy arrays over the library's pels (no copy).\n\n"
      "    import qrnacq\n"
      "    board = qrnacq.boards()[0]\n"
      "    with board.fifo(\"Sony XC75 640x480\", \"grey8\") as fifo:\n"
      "        for image, info in fifo.frames(10):\n"
      "            print(info.trigger_num, image.mean())\n";
  m.attr("__version__") = QRN_PY_VERSION;
  qrnpy::bindErrors(m);
  qrnpy::bindImages(m);
  qrnpy::bindBoards(m);
  qrnpy::bindFifo(m);
  qrnpy::bindCcf(m);
  qrnpy::bindCdb(m);
  qrnpy::bindBayer(m);
  qrnpy::bindGige(m);
  qrnpy::bindSim(m);
}
