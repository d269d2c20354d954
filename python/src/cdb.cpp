// The camera database file (qrnacq.CdbFile, qrnacq.CdbRecord).
#include <memory>

#include <qrn/acq/cdb/cdb.h>

#include "qrnpy.h"

namespace qrnpy {
namespace {

struct File {
  std::unique_ptr<qcCDBFile> f;
  qcCDBFile& get() const {
    if (!f || !f->isOpen()) throw py::value_error("the camera database file is closed");
    return *f;
  }
};

long modeOf(const std::string& mode) {
  if (mode == "r") return 1;
  if (mode == "a") return 1 | 2;
  if (mode == "w") return 1 | 2 | 16;
  throw py::value_error("mode is \"r\" (read), \"a\" (read and append) or \"w\" (a new empty file)");
}

// The record's image as an array over a new buffer of the library (the
// record's image() is already a copy); None for a record without one.
py::object imageOf(const qcCDBRecord& r) {
  if (r.type() != 3 && r.type() != 6) return py::none();
  switch (r.subtype()) {
    case -21: {
      const qcPelBuffer_const<unsigned char> b = r.image();
      qcPelBuffer<unsigned char> w(qcPtrHandle<qcPelRoot<unsigned char>>(
          const_cast<qcPelRoot<unsigned char>*>(b.root().ptr())), b.window());
      return wrapImage(qcPtrHandle<qcAcqImage>(new qcAcqImage(w, r.imageFormat())));
    }
    case -22: {
      const qcPelBuffer_const<unsigned short> b = r.image16();
      qcPelBuffer<unsigned short> w(qcPtrHandle<qcPelRoot<unsigned short>>(
          const_cast<qcPelRoot<unsigned short>*>(b.root().ptr())), b.window());
      return wrapImage(qcPtrHandle<qcAcqImage>(new qcAcqImage(w, r.imageFormat())));
    }
    case -23: {
      auto plane = [](const qcPelBuffer_const<unsigned char>& b) {
        return qcPelBuffer<unsigned char>(
            qcPtrHandle<qcPelRoot<unsigned char>>(const_cast<qcPelRoot<unsigned char>*>(b.root().ptr())), b.window());
      };
      const qc3PlanePelBuffer p(plane(r.imageR()), plane(r.imageG()), plane(r.imageB()));
      return wrapImage(qcPtrHandle<qcAcqImage>(new qcAcqImage(p)));
    }
  }
  return py::none();
}

// Fills a record from an array: (h, w) uint8 or uint16, or (3, h, w) uint8
// (red, green, blue planes).  The library copies the pels.
void fillImage(qcCDBRecord& r, py::handle a, py::handle imageFormat) {
  if (!py::isinstance<py::array>(a)) throw py::type_error("an image is a NumPy array");
  py::array arr = py::reinterpret_borrow<py::array>(a);
  if (arr.ndim() == 3) {
    if (arr.shape(0) != 3) throw py::value_error("a colour image is (3, height, width): three planes");
    py::object planes[3] = {arr[py::int_(0)], arr[py::int_(1)], arr[py::int_(2)]};
    r.imageRGB(bufferOf<unsigned char>(planes[0], "a plane"), bufferOf<unsigned char>(planes[1], "a plane"),
               bufferOf<unsigned char>(planes[2], "a plane"));
    return;
  }
  if (arr.dtype().is(py::dtype::of<std::uint16_t>())) {
    const qeImageFormat f = imageFormat.is_none() ? qeImageFormat_Grey16 : imageFormatOf(imageFormat);
    r.image16(bufferOf<unsigned short>(arr, "an image"), f);
    return;
  }
  r.image(bufferOf<unsigned char>(arr, "an image"));
}

py::dict context(const qcCDBRecord& r) {
  py::dict d;
  d["type"] = r.type();
  d["type_name"] = qcCDBRecord::typeString(static_cast<int>(r.type()));
  d["subtype"] = r.subtype();
  d["image_format"] = r.imageFormat();
  d["sequence_number"] = r.sequenceNumber();
  d["data_version"] = r.dataVersion();
  d["result_class"] = r.resultClass();
  d["comment"] = r.comment();
  d["data_size"] = r.dataSize();
  return d;
}

}  // namespace

void bindCdb(py::module_& m) {
  py::class_<qcCDBRecord>(m, "CdbRecord", "One record of a camera database file, read into memory.")
      .def_property_readonly("type", &qcCDBRecord::type, "1 header, 2 data, 3 image, 4 result, 5 settings, 6 trained image.")
      .def_property_readonly("subtype", py::overload_cast<>(&qcCDBRecord::subtype, py::const_), "Images: -21 8-bit, -22 16-bit, -23 three planes.")
      .def_property_readonly("comment", py::overload_cast<>(&qcCDBRecord::comment, py::const_), "The record's comment.")
      .def_property_readonly("image_format", &qcCDBRecord::imageFormat, "The image's format.")
      .def_property_readonly("sequence_number", py::overload_cast<>(&qcCDBRecord::sequenceNumber, py::const_),
                             "The record's sequence number.")
      .def_property_readonly("context", &context,
                             "The record's context: type, type_name, subtype, image_format, sequence_number, "
                             "data_version, result_class, comment, data_size.")
      .def_property_readonly("image", &imageOf,
                             "The image as a NumPy array ((h, w) uint8 or uint16, (3, h, w) uint8 planes), "
                             "None when the record holds none.")
      .def("__repr__", [](const qcCDBRecord& r) {
        return "<qrnacq.CdbRecord " + qcCDBRecord::typeString(static_cast<int>(r.type())) + " \"" + r.comment() +
               "\">";
      });

  py::class_<File>(m, "CdbFile",
                   "A camera database file: records in file order, each with a CRC; appends never "
                   "rewrite earlier bytes.  Modes: \"r\" read, \"a\" read and append (created when "
                   "missing), \"w\" a new empty file.  Iterating gives the records; len() their number.")
      .def(py::init([](const std::string& path, const std::string& mode) {
             const long md = modeOf(mode);
             py::gil_scoped_release nogil;
             return File{std::make_unique<qcCDBFile>(path, md)};
           }),
           py::arg("path"), py::arg("mode") = "r",
           "Opens a file.  Raises qrnacq.errors.qcCDBFile.CanNotOpenFile, .BadFileFormat.")
      .def("__enter__", [](py::object self) { return self; })
      .def("__exit__", [](File& f, py::args) { f.f.reset(); })
      .def("close", [](File& f) { f.f.reset(); }, "Closes the file.")
      .def("__len__", [](const File& f) { return f.get().numRecords(); })
      .def(
          "record",
          [](File& f, long i) {
            qcCDBFile& file = f.get();
            if (i < 0) i += file.numRecords();
            if (i < 0) throw py::index_error("record index out of range");
            qcCDBRecord r;
            file.goToRecord(i, 0);
            file.loadRecord(r);
            return r;
          },
          py::arg("index"), "Record `index` (negative: from the end).  Raises qcCDBFile.RecordNotFound.")
      .def("__getitem__", [](py::object self, long i) { return self.attr("record")(i); })
      .def("__iter__", [](py::object self) {
        py::list l;
        const long n = py::len(self);
        for (long i = 0; i < n; ++i) l.append(self.attr("record")(i));
        return py::iter(l);
      })
      .def(
          "append_image",
          [](File& f, py::object image, const std::string& comment, py::object imageFormat) {
            qcCDBRecord r;
            fillImage(r, image, imageFormat);
            r.comment(comment);
            f.get().appendRecord(r);
            return f.get().currentRecord();
          },
          py::arg("image"), py::arg("comment") = "", py::arg("image_format") = py::none(),
          "Appends an image record from an array ((h, w) uint8 or uint16, (3, h, w) uint8); returns its "
          "index.  image_format names the format of 16-bit pels (grey16, grey10, grey12).")
      .def(
          "append_data",
          [](File& f, py::bytes data, const std::string& comment) {
            const std::string s = data;
            qcCDBRecord r(2, 0, static_cast<unsigned int>(s.size()), s.data(), comment);
            f.get().appendRecord(r);
            return f.get().currentRecord();
          },
          py::arg("data"), py::arg("comment") = "", "Appends a data record; returns its index.")
      .def(
          "data", [](File& f, long i) {
            qcCDBFile& file = f.get();
            qcCDBRecord r;
            file.goToRecord(i, 0);
            file.loadRecord(r);
            std::string s(r.dataSize(), '\0');
            if (!s.empty()) r.getData(s.data(), static_cast<long>(s.size()));
            return py::bytes(s);
          },
          py::arg("index"), "The data bytes of a record.")
      .def_property_readonly("filename", [](const File& f) { return f.get().filename(); }, "The file's path.");
}

}  // namespace qrnpy
