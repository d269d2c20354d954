// The Camera Link simulator wrapper over the driver library "libclsim.so".
#include <qrn/acq/format/clsim.h>

#include <dlfcn.h>

namespace {

constexpr const char* kLibraryName = "libclsim.so";

// The entry points, shared by every qcCLSim of the process.
struct EntryPoints {
  qf_CLSimInit init = nullptr;
  qf_CLSimOpenCOM openCOM = nullptr;
  qf_CLSimCloseCOM closeCOM = nullptr;
  qf_CLSimGetParam getParam = nullptr;
  qf_CLSimSetCamera setCamera = nullptr;
  qf_CLSimTerminate terminate = nullptr;
  qf_CLSimSetPattern setPattern = nullptr;
  qf_CLSimSetRollMode setRollMode = nullptr;
  qf_CLSimSave save = nullptr;
  qf_CLSimGetAsyncString getAsyncString = nullptr;
  qf_CLSimSetAsyncMode setAsyncMode = nullptr;
};

EntryPoints& entryPoints() {
  static EntryPoints e;
  return e;
}

template <class Fn>
bool resolve(void* lib, const char* name, Fn& fn) {
  fn = reinterpret_cast<Fn>(::dlsym(lib, name));
  return fn != nullptr;
}

// Resolves all eleven entry points, in this order; false when one is missing.
bool resolveAll(void* lib, EntryPoints& e) {
  return resolve(lib, "CLSimInit", e.init) && resolve(lib, "CLSimOpenCOM", e.openCOM) &&
         resolve(lib, "CLSimCloseCOM", e.closeCOM) && resolve(lib, "CLSimGetParam", e.getParam) &&
         resolve(lib, "CLSimSetCamera", e.setCamera) && resolve(lib, "CLSimTerminate", e.terminate) &&
         resolve(lib, "CLSimSetPattern", e.setPattern) && resolve(lib, "CLSimSetRollMode", e.setRollMode) &&
         resolve(lib, "CLSimSave", e.save) && resolve(lib, "CLSimGetAsyncString", e.getAsyncString) &&
         resolve(lib, "CLSimSetAsyncMode", e.setAsyncMode);
}

void ignoreSerialData(long, const char*, long) {}

}  // namespace

qcCLSim::qcCLSim() : port_(-1), inited_(false), lib_(nullptr) {}

qcCLSim::~qcCLSim() {
  if (inited_) {
    const EntryPoints& e = entryPoints();
    e.closeCOM(port_);
    e.terminate();
  }
  if (lib_) ::dlclose(lib_);
}

void qcCLSim::init(long port) {
  if (inited_) return;
  // A failed earlier attempt may have left the library loaded: use it again.
  if (!lib_) lib_ = ::dlopen(kLibraryName, RTLD_NOW | RTLD_LOCAL);
  if (!lib_) return;
  EntryPoints e;
  if (!resolveAll(lib_, e)) {
    ::dlclose(lib_);
    lib_ = nullptr;
    return;
  }
  entryPoints() = e;
  e.init();
  if (e.openCOM(port, &ignoreSerialData) != 0) {
    inited_ = true;
    port_ = port;
  }
}

bool qcCLSim::setCLSimFormat(const char* formatName) {
  if (!inited_ || !formatName) return false;
  const EntryPoints& e = entryPoints();
  e.setCamera(port_, formatName);
  for (long tap = 0; tap < 4; ++tap) e.setPattern(port_, tap, 3, 0, 255, 1);
  e.setRollMode(port_, 1);
  char buffer[128] = {};
  e.getAsyncString(formatName, 0, buffer, sizeof buffer);
  buffer[sizeof buffer - 1] = '\0';  // whatever the library wrote, the text ends inside the buffer
  e.setAsyncMode(port_, formatName, buffer, 1);
  return true;
}
