// The Python module qrnacq: module set-up; each subsystem binds itself in its
// own file.
// Imported from the build tree, the library finds the drivers built beside it.
#include "qrnpy.h"

PYBIND11_MODULE(qrnacq, m) {
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
  // NumPy's API is looked up now, at import, holding the GIL: looked up at
  // the first array instead, two threads making their first arrays at once
  // could deadlock (one holding the GIL waits for the other's lookup, which
  // imports NumPy and waits for the GIL).
  py::module_::import("numpy");
  py::detail::npy_api::get();
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
