// Boards and video formats.
#include <qrn/acq/hyper/framegrabber.h>
#include <qrn/acq/hyper/typedfifo.h>
#include <qrn/foundation/board.h>

#include "fifo.h"

namespace qrnpy {
namespace {

std::string boardName(qcFrameGrabber& fg) {
  if (auto* b = dynamic_cast<qcBoard*>(&fg)) return b->name() + std::to_string(b->bdIdx());
  return "board";
}

long boardIndex(const qcFrameGrabber& fg) {
  for (long i = 0, n = qcFrameGrabber::count(); i < n; ++i)
    if (&qcFrameGrabber::get(i) == &fg) return i;
  return -1;
}

// A format given as a VideoFormat or by name (qcVideoFormat::NotFound).
const qcStdVideoFormat& formatOf(py::handle o) {
  if (py::isinstance<py::str>(o)) return qcStdVideoFormat::getFormat(o.cast<std::string>());
  if (py::isinstance<qcStdVideoFormat>(o)) return o.cast<const qcStdVideoFormat&>();
  throw py::type_error("a video format is a VideoFormat or its name");
}

std::vector<const qcStdVideoFormat*> formatList(qcFrameGrabber* fg, py::handle imageFormat) {
  const auto& all = qcStdVideoFormat::fullList();
  std::vector<const qcStdVideoFormat*> list;
  const bool any = imageFormat.is_none();
  const qeImageFormat imf = any ? qeImageFormat_Unspecified : imageFormatOf(imageFormat);
  py::gil_scoped_release nogil;
  if (fg) return any ? qcStdVideoFormat::filterList(all, *fg) : qcStdVideoFormat::filterListEx(all, *fg, imf);
  for (const qcStdVideoFormat* f : all)
    if (any || f->imageFormat() == imf) list.push_back(f);
  return list;
}

std::string text(const char* s) { return s ? s : ""; }

}  // namespace

void bindBoards(py::module_& m) {
  using Format = qcStdVideoFormat;
  py::class_<Format, std::unique_ptr<Format, py::nodelete>>(
      m, "VideoFormat",
      "A video format of the library (built in, or read from a camera configuration file).  "
      "Formats live as long as the library.")
      .def_property_readonly("name", [](const Format& f) { return std::string(f.name()); }, "The format's name.")
      .def_property_readonly("width", &Format::width, "Pels per line.")
      .def_property_readonly("height", &Format::height, "Lines.")
      .def_property_readonly("depth", &Format::depth, "Bits per pel.")
      .def_property_readonly("image_format", &Format::imageFormat, "The format's own image format.")
      .def_property_readonly("is_color", &Format::isColor, "True for a colour camera's format.")
      .def_property_readonly("from_ccf", &Format::formatFromCCF, "True when read from a camera configuration file.")
      .def_property_readonly(
          "camera",
          [](const Format& f) {
            std::string s = text(f.cameraManufacturer()), model = text(f.cameraModel());
            return s.empty() ? model : model.empty() ? s : s + " " + model;
          },
          "The camera's maker and model (\"\" when the format does not say).")
      .def("__repr__",
           [](const Format& f) {
             return "<qrnacq.VideoFormat \"" + std::string(f.name()) + "\" " + std::to_string(f.width()) + "x" +
                    std::to_string(f.height()) + " " + qfImageFormatName(f.imageFormat()) +
                    (f.formatFromCCF() ? " (CCF)" : "") + ">";
           })
      .def("__eq__", [](const Format& a, const Format& b) { return &a == &b; })
      .def("__hash__", [](const Format& f) { return std::hash<const void*>()(&f); });

  m.def(
      "format", [](const std::string& name) { return &qcStdVideoFormat::getFormat(name); },
      py::return_value_policy::reference, py::arg("name"),
      "The video format of that name.  Raises qrnacq.errors.qcVideoFormat.NotFound.");
  m.def(
      "formats", [](py::object board, py::object imageFormat) {
        if (!board.is_none() && !py::isinstance<qcFrameGrabber>(board))
          throw py::type_error("board must be a qrnacq.Board or None, not " +
                               std::string(py::str(py::type::handle_of(board).attr("__name__"))));
        qcFrameGrabber* fg = board.is_none() ? nullptr : &board.cast<qcFrameGrabber&>();
        return formatList(fg, imageFormat);
      },
      py::return_value_policy::reference, py::arg("board") = py::none(), py::arg("image_format") = py::none(),
      "The catalogue (CCF formats included), sorted by name, as `qacq formats`: with a board, those it "
      "offers; with an image format, those of that image format (on a board: those it offers as that "
      "image format).");

  py::class_<qcFrameGrabber, std::unique_ptr<qcFrameGrabber, py::nodelete>>(
      m, "Board", "A frame grabber of the process (qrnacq.boards()).  Boards live as long as the process.")
      .def_property_readonly("name", &boardName, "The board's name and number (\"sim0\", \"gige0\").")
      .def_property_readonly("index", &boardIndex, "Its position in qrnacq.boards().")
      .def_property_readonly("id", &qcFrameGrabber::getUniqueId, "A text that tells this board from all others.")
      .def_property_readonly("channels", &qcFrameGrabber::numChannels, "Independent acquisition channels.")
      .def_property_readonly(
          "capabilities",
          [](qcFrameGrabber& fg) {
            py::dict d;
            d["ccf_formats"] = fg.supportsCCFs();
            d["multi_process_access"] = fg.isMultiProcessAccessSupported();
            d["cvm_id"] = fg.cvmId();
            d["channels"] = fg.numChannels();
            return d;
          },
          "What the board can do: ccf_formats (formats from camera configuration files work), "
          "multi_process_access, cvm_id (-2: none), channels.")
      .def(
          "formats", [](qcFrameGrabber& fg, py::object imageFormat) { return formatList(&fg, imageFormat); },
          py::return_value_policy::reference, py::arg("image_format") = py::none(),
          "The formats this board offers (as that image format, when given).")
      .def(
          "supports",
          [](qcFrameGrabber& fg, py::object format, py::object imageFormat) {
            const qcStdVideoFormat& f = formatOf(format);
            const qeImageFormat imf = imageFormat.is_none() ? f.imageFormat() : imageFormatOf(imageFormat);
            py::gil_scoped_release nogil;
            return fg.isSupportedEx(f, imf);
          },
          py::arg("format"), py::arg("image_format") = py::none(),
          "Whether the board can acquire the format (a VideoFormat or a name) as the image format "
          "(default: the format's own).")
      .def(
          "fifo",
          [](py::object self, py::object format, py::object imageFormat) {
            qcFrameGrabber& fg = self.cast<qcFrameGrabber&>();
            const qcStdVideoFormat& f = formatOf(format);
            const qeImageFormat imf = imageFormat.is_none() ? f.imageFormat() : imageFormatOf(imageFormat);
            qcPtrHandle<qcAcqFifo> fifo;
            {
              py::gil_scoped_release nogil;
              fifo = qcPtrHandle<qcAcqFifo>(f.newAcqFifoEx(fg, imf));
            }
            return std::make_unique<Fifo>(std::move(fifo), self, imf);
          },
          py::arg("format"), py::arg("image_format") = py::none(),
          "A new acquisition FIFO for the format (a VideoFormat or a name) delivering the image format "
          "(ImageFormat or name: \"grey8\", \"grey16\", \"grey10\", \"grey12\", \"rgb16\", \"rgb32\", "
          "\"3plane\", \"raw8\"; default: the format's own).  Use it as a context manager, or close() it.  "
          "Raises qrnacq.errors.qcVideoFormat.NotSupported when the board does not offer it.")
      .def("__repr__", [](qcFrameGrabber& fg) {
        return "<qrnacq.Board " + boardName(fg) + " index " + std::to_string(boardIndex(fg)) + ", " +
               std::to_string(fg.numChannels()) + " channels>";
      });

  m.def(
      "boards",
      [] {
        std::vector<qcFrameGrabber*> v;
        py::gil_scoped_release nogil;
        for (long i = 0, n = qcFrameGrabber::count(); i < n; ++i) v.push_back(&qcFrameGrabber::get(i));
        return v;
      },
      py::return_value_policy::reference,
      "Every frame grabber of the process, in board order (drivers are loaded at the first call).");
  m.def(
      "board",
      [](py::object which) -> qcFrameGrabber* {
        if (!py::isinstance<py::str>(which)) {
          const long i = number<long>(which, "which", "a board index (int) or name (str)");
          if (i < 0) throw py::value_error("a board index is 0 or more");
          return &qcFrameGrabber::get(i);
        }
        const std::string name = which.cast<std::string>();
        for (long i = 0, n = qcFrameGrabber::count(); i < n; ++i)
          if (boardName(qcFrameGrabber::get(i)) == name) return &qcFrameGrabber::get(i);
        throw py::value_error("no board named \"" + name + "\"");
      },
      py::return_value_policy::reference, py::arg("which"),
      "A board by index or by name (\"sim0\").  Raises qrnacq.errors.qcBoard.BadParams for an index "
      "beyond the last, ValueError for an unknown name.");
}

}  // namespace qrnpy
