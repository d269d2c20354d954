// The Bayer converter on NumPy arrays (qrnacq.BayerConverter).
#include <qrn/acq/convert/bayer.h>

#include "qrnpy.h"

namespace qrnpy {
namespace {

using Conv = qcBayerImageConverter;

const std::pair<const char*, Conv::BayerType> kTypes[] = {
    {"GRBG", Conv::GRBG}, {"RGGB", Conv::RGGB}, {"BGGR", Conv::BGGR}, {"GBRG", Conv::GBRG}};

Conv::BayerType typeOf(const std::string& s) {
  for (const auto& [n, t] : kTypes)
    if (s == n) return t;
  throw py::value_error("a Bayer pattern is GRBG, RGGB, BGGR or GBRG, not \"" + s + "\"");
}

template <class B>
py::object result(Conv& c, py::object source, const B& (Conv::*get)() const) {
  c.setSourcePelBuf(bufferOf<unsigned char>(source, "a Bayer mosaic"));
  qcPtrHandle<qcAcqImage> image;
  {
    py::gil_scoped_release nogil;
    image = qcPtrHandle<qcAcqImage>(new qcAcqImage((c.*get)()));
  }
  // The converter keeps its source (and so the caller's array) until the
  // next conversion or its own end.
  return wrapImage(std::move(image));
}

// A converter of the pattern's type with white balance (red, green, blue).
std::unique_ptr<Conv> make(const std::string& pattern, std::tuple<double, double, double> wb) {
  auto c = std::make_unique<Conv>();
  c->bayerType(typeOf(pattern));
  c->setRedWhiteBalanceScale(std::get<0>(wb));
  c->setGreenWhiteBalanceScale(std::get<1>(wb));
  c->setBlueWhiteBalanceScale(std::get<2>(wb));
  return c;
}

}  // namespace

void bindBayer(py::module_& m) {
  py::class_<Conv>(m, "BayerConverter",
                   "Converts an 8-bit Bayer mosaic ((h, w) uint8, even sizes) to grey, packed RGB or three "
                   "planes, with white balance for the colour outputs.  The results are new arrays.")
      .def(py::init(&make),
           py::arg("pattern") = "RGGB", py::arg("white_balance") = std::make_tuple(1.0, 1.0, 1.0),
           "pattern: the colours of the top-left 2x2 cell (\"RGGB\", \"GRBG\", \"GBRG\", \"BGGR\"); "
           "white_balance: red, green and blue scales (each above 0).  Raises "
           "qrnacq.errors.qcBayerImageConverter.BadParams for scales of 0 or less.")
      .def_property(
          "pattern",
          [](const Conv& c) {
            for (const auto& [n, t] : kTypes)
              if (t == c.bayerType()) return std::string(n);
            return std::string("?");
          },
          [](Conv& c, const std::string& s) { c.bayerType(typeOf(s)); }, "The Bayer pattern.")
      .def_property(
          "white_balance",
          [](const Conv& c) {
            return py::make_tuple(c.getRedWhiteBalanceScale(), c.getGreenWhiteBalanceScale(),
                                  c.getBlueWhiteBalanceScale());
          },
          [](Conv& c, std::tuple<double, double, double> wb) {
            c.setRedWhiteBalanceScale(std::get<0>(wb));
            c.setGreenWhiteBalanceScale(std::get<1>(wb));
            c.setBlueWhiteBalanceScale(std::get<2>(wb));
          },
          "(red, green, blue) scales: a value v becomes min(255, floor(v * scale + 0.5)).")
      .def_property(
          "grey_weights",
          [](const Conv& c) { return py::make_tuple(c.getRedWeight(), c.getGreenWeight(), c.getBlueWeight()); },
          [](Conv& c, std::tuple<double, double, double> w) {
            c.setGreyscaleWeights(std::get<0>(w), std::get<1>(w), std::get<2>(w));
          },
          "Weights of the grey output (summing to 1).")
      .def(
          "to_3plane", [](Conv& c, py::object src) { return result(c, src, &Conv::get3PlanePelBuf); },
          py::arg("mosaic"), "Three planes, (3, h, w) uint8: red, green, blue.")
      .def(
          "to_rgb32", [](Conv& c, py::object src) { return result(c, src, &Conv::getPackedRGB32PelBuf); },
          py::arg("mosaic"), "Packed RGB32, (h, w, 4) uint8: blue, green, red, alpha.")
      .def(
          "to_rgb16", [](Conv& c, py::object src) { return result(c, src, &Conv::getPackedRGB16PelBuf); },
          py::arg("mosaic"), "Packed RGB 5-6-5, (h, w) uint16.")
      .def(
          "to_grey", [](Conv& c, py::object src) { return result(c, src, &Conv::getGreyscalePelBuf); },
          py::arg("mosaic"), "Grey, (h, w) uint8, from the weights.")
      .def("__repr__", [](const Conv& c) {
        std::string p = "?";
        for (const auto& [n, t] : kTypes)
          if (t == c.bayerType()) p = n;
        return "<qrnacq.BayerConverter " + p + ">";
      });

  m.def(
      "bayer_reference_3plane",
      [](py::object src, const std::string& pattern, std::tuple<double, double, double> wb) {
        const qcPelBuffer<unsigned char> s = bufferOf<unsigned char>(src, "a Bayer mosaic");
        // The converter's checks: BadParams for what it refuses (odd sizes,
        // scales of 0 or less), where the reference would return nothing.
        make(pattern, wb)->setSourcePelBuf(s);
        const Conv::BayerType t = typeOf(pattern);
        const qcPair<long> phase(t == Conv::RGGB || t == Conv::GBRG, t == Conv::BGGR || t == Conv::GBRG);
        qc3PlanePelBuffer out;
        {
          py::gil_scoped_release nogil;
          qfBayerTo3Planes_C(s, std::get<0>(wb), std::get<1>(wb), std::get<2>(wb), phase, out);
        }
        return wrapImage(qcPtrHandle<qcAcqImage>(new qcAcqImage(out)));
      },
      py::arg("mosaic"), py::arg("pattern") = "RGGB", py::arg("white_balance") = std::make_tuple(1.0, 1.0, 1.0),
      "The library's reference (scalar) conversion to three planes, which the converter matches bit "
      "for bit.");
}

}  // namespace qrnpy
