// Camera configuration files (qrnacq.ccf).
#include <qrn/acq/ccf/camcfgstore.h>
#include <qrn/acq/ccf/ccfreader.h>

#include "qrnpy.h"

namespace qrnpy {

void bindCcf(py::module_& m) {
  py::module_ c = m.def_submodule("ccf", "Camera configuration files: load, check, list.");
  c.def(
      "load",
      [](const std::string& path) {
        std::string why;
        std::optional<std::string> name;
        {
          py::gil_scoped_release nogil;
          name = qc_ccfReader::loadFile(path, &why);
        }
        if (!name) throw py::value_error(path + ": no format made: " + why);
        return *name;
      },
      py::arg("path"),
      "Reads a file and makes its format; returns the format's name (then qrnacq.format(name) finds "
      "it).  ValueError when no format was made (a wrong checksum, no name); the reader's errors "
      "(qrnacq.errors.qc_ccfReader.GeneralError, ...) pass.");
  c.def(
      "check",
      [](const std::string& path) {
        qc_ccfFileInfo info;
        qc_ccfReader::readFile(path, info, false);
        qc_camCfgStore store;
        bool sumOk = false;
        store.readCCF(path, &sumOk);
        py::list errors;
        for (const auto& [category, list] : store.parseErrors())
          for (const auto& e : list) errors.append(category + " " + e.parameter + e.message);
        std::string name;
        store.getParam(0, name);
        py::dict d;
        d["checksum_ok"] = info.checkSumOK();
        d["checksum_stored"] = info.checkSum();
        d["checksum_computed"] = info.calcCheckSum();
        d["format"] = name;
        d["errors"] = errors;
        d["ok"] = info.checkSumOK() && errors.empty() && !name.empty();
        return d;
      },
      py::arg("path"),
      "Checks a file: a dict of ok, checksum_ok, checksum_stored, checksum_computed, format (its "
      "name) and errors (the parameters that did not parse).");
  c.def(
      "list",
      [] {
        qcStdVideoFormat::fullList();  // the first lookup reads the files
        py::list l;
        for (const auto& e : qc_ccfReader::lastScanReport()) {
          py::dict d;
          d["path"] = e.path;
          d["format"] = e.format;
          d["error"] = e.error;
          l.append(d);
        }
        return l;
      },
      "What the scan of the search path did with each file: dicts of path, format (made) and error.");
  c.def("search_path", &qf_ccfSearchPath, "The search path of camera configuration files.");
}

}  // namespace qrnpy
