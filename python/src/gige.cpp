// GigE Vision / USB3 Vision camera features (qrnacq.gige).
#include <qrn/drivers/gige.h>

#include "qrnpy.h"

namespace qrnpy {
namespace {

qc_GigeGrabber& camera(qcFrameGrabber& fg) {
  qc_GigeGrabber* g = qfGigeGrabber(fg);
  if (!g) throw py::type_error("not a gige board");
  return *g;
}

}  // namespace

void bindGige(py::module_& m) {
  py::module_ g = m.def_submodule(
      "gige",
      "GenICam features of the cameras of \"gige\" boards.  Calls wait for the camera without the GIL; "
      "a board of another driver raises TypeError, an unknown or unreadable feature "
      "qrnacq.errors.qcAcqFifo.BadParams.");
  py::class_<qsGigeFeature>(g, "Feature", "One GenICam feature: name, type and value (text).")
      .def_readonly("name", &qsGigeFeature::name, "The feature's name (\"ExposureTime\").")
      .def_readonly("type", &qsGigeFeature::type,
                    "\"Integer\", \"Float\", \"Boolean\", \"String\", \"Enumeration\" or \"Command\".")
      .def_readonly("value", &qsGigeFeature::value, "The value as text (\"\" for commands).")
      .def("__repr__", [](const qsGigeFeature& f) {
        return "<qrnacq.gige.Feature " + f.name + " (" + f.type + ") = \"" + f.value + "\">";
      });
  g.def("is_camera", [](qcFrameGrabber& fg) { return qfGigeGrabber(fg) != nullptr; }, py::arg("board"),
        "True for a board of the camera driver.");
  g.def(
      "features", [](qcFrameGrabber& fg) {
        qc_GigeGrabber& c = camera(fg);
        py::gil_scoped_release nogil;
        return c.features();
      },
      py::arg("board"), "Every implemented feature of the board's camera, with its value.");
  g.def(
      "get", [](qcFrameGrabber& fg, const std::string& name) {
        qc_GigeGrabber& c = camera(fg);
        py::gil_scoped_release nogil;
        return c.feature(name);
      },
      py::arg("board"), py::arg("name"), "The value of one feature as text.");
  g.def(
      "set", [](qcFrameGrabber& fg, const std::string& name, py::object value) {
        qc_GigeGrabber& c = camera(fg);
        std::string v = py::isinstance<py::bool_>(value) ? (value.cast<bool>() ? "true" : "false")
                                                          : py::str(value).cast<std::string>();
        py::gil_scoped_release nogil;
        c.feature(name, v);
      },
      py::arg("board"), py::arg("name"), py::arg("value"), "Sets a feature from a value (written as text).");
  g.def(
      "execute", [](qcFrameGrabber& fg, const std::string& name) {
        qc_GigeGrabber& c = camera(fg);
        py::gil_scoped_release nogil;
        c.feature(name, "");
      },
      py::arg("board"), py::arg("name"), "Runs a command feature.");
  g.def("camera_model", [](qcFrameGrabber& fg) { return camera(fg).cameraModel(); }, py::arg("board"),
        "The camera's vendor and model (\"\" while it cannot be opened).");
  g.def("camera_id", [](qcFrameGrabber& fg) { return camera(fg).cameraId(); }, py::arg("board"),
        "The configured id.");
  g.def("camera_error", [](qcFrameGrabber& fg) { return camera(fg).cameraError(); }, py::arg("board"),
        "Why the camera cannot be used (\"\" when it is open).");
}

}  // namespace qrnpy
