// Shared pieces of the Python bindings: one binding file per subsystem
// registers its classes through the bind* functions below.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <limits>
#include <memory>
#include <string>
#include <type_traits>

#include <qrn/acq/format/imgfmtname.h>
#include <qrn/acq/format/vidfmt.h>
#include <qrn/acq/hyper/acqfifo.h>
#include <qrn/foundation/pelbuffer.h>

namespace py = pybind11;

namespace qrnpy {

void bindErrors(py::module_& m);
void bindImages(py::module_& m);
void bindBoards(py::module_& m);
void bindFifo(py::module_& m);
void bindCcf(py::module_& m);
void bindCdb(py::module_& m);
void bindBayer(py::module_& m);
void bindGige(py::module_& m);
void bindSim(py::module_& m);

// An image of the library held for Python: the array made from it keeps this
// object (and so the pels, and a pool buffer) alive through its base.
struct Image {
  qcPtrHandle<qcAcqImage> image;
};

// The NumPy array over an image's pels, without a copy, whose base is
// `owner` (the Python Image that holds `image`): grey (h, w) uint8 or
// uint16, packed RGB32 (h, w, 4), packed RGB16 (h, w) uint16, three planes
// (3, h, w) uint8.  Strides follow the row pitch and window.  Pels that are
// not local to the process give a read-only array.  Three planes that do
// not lie at one distance from each other cannot be one array: they are
// copied into a new (3, h, w) array.  None for an empty image.
py::object arrayOf(const qcAcqImage& image, py::handle owner);
// A new Python Image for the handle, and its array (None when empty).  Three
// planes apart in memory are first copied once into one block, held by the
// new Image, so the array's base is always the Image.
py::object wrapImage(qcPtrHandle<qcAcqImage> image);

// Memory for the local copies of one FIFO's images (complete(make_local=True)):
// a block goes back when the last array over its copy goes, and the next
// copy of the same size takes it again, so that a loop of copies keeps
// touching the same pages instead of faulting in fresh memory every frame.
// A few free blocks are kept; a copy finds a new one when none is free.
class LocalBlocks;
std::shared_ptr<LocalBlocks> newLocalBlocks();
// The image, its pels copied into memory from `blocks` (three planes into
// one block, one plane after the other), with the same format, offset,
// transform and colour space.  Runs without the GIL.
qcPtrHandle<qcAcqImage> localCopy(const qcAcqImage& image, const std::shared_ptr<LocalBlocks>& blocks);

// The image format named by `o`: an ImageFormat, an int of the public
// numbering, or a name ("grey8", "rgb32", "3plane", ...; any case).
// Throws ValueError for an unknown name, TypeError for another type.
qeImageFormat imageFormatOf(py::handle o);

// An 8-bit or 16-bit grey buffer wrapping a 2-D NumPy array's pels (no
// copy); the buffer keeps the array alive.  TypeError for another dtype,
// ValueError for another number of dimensions or strides that are not
// whole rows of adjacent pels.
template <class T>
qcPelBuffer<T> bufferOf(py::handle array, const char* what);

// The argument `name` as a number T (an integer type or double), so that a
// wrong type names the argument: TypeError "<name> must be <what>" for an
// object that is not a number (an integer, for an integer T), ValueError for
// an integer that T cannot hold.
template <class T>
T number(py::handle o, const char* name, const char* what) {
  const auto wrongType = [&] {
    return py::type_error(std::string(name) + " must be " + what + ", not " +
                          std::string(py::str(py::type::handle_of(o).attr("__name__"))));
  };
  if constexpr (std::is_floating_point_v<T>) {
    if (PyUnicode_Check(o.ptr()) || PyBytes_Check(o.ptr())) throw wrongType();
    const double v = PyFloat_AsDouble(o.ptr());
    if (v == -1.0 && PyErr_Occurred()) {
      PyErr_Clear();
      throw wrongType();
    }
    return static_cast<T>(v);
  } else {
    if (!PyIndex_Check(o.ptr())) throw wrongType();
    const py::object i = py::reinterpret_steal<py::object>(PyNumber_Index(o.ptr()));
    if (!i) throw py::error_already_set();
    int overflow = 0;
    const long long v = PyLong_AsLongLongAndOverflow(i.ptr(), &overflow);
    if (overflow == 0 && v == -1 && PyErr_Occurred()) throw py::error_already_set();
    if (overflow != 0 || v < static_cast<long long>(std::numeric_limits<T>::min()) ||
        (v > 0 && static_cast<unsigned long long>(v) > static_cast<unsigned long long>(std::numeric_limits<T>::max())))
      throw py::value_error(std::string(name) + " is out of range (" + std::string(py::str(o)) + ")");
    return static_cast<T>(v);
  }
}

}  // namespace qrnpy
