// Library exceptions as Python exceptions: the base qrnacq.Error and one
// subclass per library exception class, named after it, in qrnacq.errors
// ("qcAcqFifo::BadParams" is qrnacq.errors.qcAcqFifo.BadParams).
#include <cctype>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <typeinfo>

#include <qrn/foundation/archive.h>
#include <qrn/foundation/exception.h>

#include "qrnpy.h"

namespace qrnpy {
namespace {

PyObject* g_base = nullptr;      // qrnacq.Error (kept for the process)
PyObject* g_errors = nullptr;    // the qrnacq.errors module
std::map<std::string, PyObject*>* g_classes = nullptr;  // qualified name -> class

std::set<std::string>* g_spaces = nullptr;  // the namespace objects made for outer names

// ValueError unless `qualified` can name a class of qrnacq.errors: C++
// identifiers separated by "::", whose outer part is no other member of the
// module ("classes", "class_of").
void checkName(const py::module_& errors, const std::string& qualified, const std::string& outer) {
  const auto bad = [&](const std::string& why) {
    return py::value_error("\"" + qualified + "\" is not the name of a library exception class: " + why);
  };
  std::string part;
  for (std::size_t i = 0; i <= qualified.size(); ++i) {
    const bool sep = i == qualified.size() || qualified.compare(i, 2, "::") == 0;
    if (!sep) {
      part += qualified[i];
      continue;
    }
    if (part.empty() || std::isdigit(static_cast<unsigned char>(part[0])) ||
        part.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_") != std::string::npos ||
        part.rfind("__", 0) == 0)
      throw bad("its parts are identifiers separated by \"::\"");
    part.clear();
    ++i;  // the second ':'
  }
  const std::string first = outer.empty() ? qualified : outer;
  if (py::hasattr(errors, first.c_str()) && !g_classes->count(first) && !g_spaces->count(first))
    throw bad("qrnacq.errors." + first + " is another member of the module");
}

// The class of a qualified name, made on first use: A::B goes into the
// namespace object errors.A as B.  Needs the GIL.
PyObject* classOf(const std::string& qualified) {
  if (qualified == "qcException") return g_base;
  auto it = g_classes->find(qualified);
  if (it != g_classes->end()) return it->second;
  py::module_ errors = py::reinterpret_borrow<py::module_>(g_errors);
  std::string outer, name = qualified;
  if (const auto p = qualified.rfind("::"); p != std::string::npos) {
    outer = qualified.substr(0, p);
    name = qualified.substr(p + 2);
  }
  checkName(errors, qualified, outer);
  const std::string qual = outer.empty() ? name : outer + "." + name;
  py::dict ns;
  ns["__module__"] = "qrnacq.errors";
  ns["__qualname__"] = qual;
  ns["__doc__"] = "The library's exception " + qualified + ".";
  py::object cls = py::reinterpret_borrow<py::object>(reinterpret_cast<PyObject*>(&PyType_Type))(
      name, py::make_tuple(py::handle(g_base)), ns);
  py::object holder = errors;
  if (!outer.empty()) {
    // Nested names (rare beyond one level) keep the whole outer name as
    // one namespace: errors.<outer>.<name>.
    if (!py::hasattr(errors, outer.c_str())) {
      py::object types = py::module_::import("types");
      py::object space = types.attr("SimpleNamespace")();
      errors.attr(outer.c_str()) = space;
      g_spaces->insert(outer);
    }
    holder = errors.attr(outer.c_str());
  }
  py::setattr(holder, name.c_str(), cls);
  PyObject* raw = cls.release().ptr();
  (*g_classes)[qualified] = raw;
  errors.attr("classes")[py::str(qualified)] = py::handle(raw);
  return raw;
}

void raise(const qcException& e) {
  PyObject* cls = classOf(e.className());
  py::object exc = py::reinterpret_borrow<py::object>(cls)(std::string(e.what()));
  exc.attr("class_name") = e.className();
  exc.attr("message") = e.messageString();
  exc.attr("detail") = e.detail();
  exc.attr("info") = e.info();
  exc.attr("error_number") = e.errorNumber();
  PyErr_SetObject(cls, exc.ptr());
}

}  // namespace

void bindErrors(py::module_& m) {
  static py::exception<qcException> base(m, "Error");
  g_base = base.ptr();
  base.doc() =
      "Base of every exception of the library.  Attributes: class_name (the library's class, "
      "\"qcAcqFifo::BadParams\"), message (the class's message), detail (what was refused and why), "
      "info (the text an exception carries) and error_number.  str() gives message and detail.";
  py::module_ errors = m.def_submodule(
      "errors", "One subclass of qrnacq.Error per exception class of the library, by the library's "
                "name: qrnacq.errors.qcAcqFifo.BadParams, qrnacq.errors.qcAcqFeatureNotImplemented.  "
                "classes maps each qualified name to its class.");
  errors.attr("classes") = py::dict();
  g_errors = errors.ptr();
  g_classes = new std::map<std::string, PyObject*>();
  g_spaces = new std::set<std::string>();
  // Every exception class registered for archives gets its class now, so
  // that `except` clauses can name them before one is thrown.
  for (const std::string& name : qc_Instantiator::names()) {
    qc_Instantiator::MakeFn make = qc_Instantiator::find(name);
    if (!make) continue;
    std::unique_ptr<qcPersistent> obj(make());
    if (auto* e = dynamic_cast<qcException*>(obj.get())) classOf(e->className());
  }
  errors.def(
      "class_of", [](const std::string& name) { return py::reinterpret_borrow<py::object>(classOf(name)); },
      py::arg("name"), "The Python class of a library exception class by its qualified name.");
  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const qcException& e) {
      raise(e);
    } catch (const std::bad_cast& e) {
      PyErr_SetString(PyExc_TypeError, e.what());
    }
  });
}

}  // namespace qrnpy
