#include <qrn/acq/hyper/driver.h>

#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <set>

#include <qrn/foundation/board.h>

#ifndef QRN_DRIVER_DIR
#define QRN_DRIVER_DIR "/usr/local/lib/qrnacq/drivers"
#endif
// The build tree's driver directory relative to the directory this library
// is built in: a library run from its build tree, with nothing installed,
// finds the drivers built beside it.  Relative, so that an installed library
// names no build path.
#ifndef QRN_DRIVER_BUILD_DIR_REL
#define QRN_DRIVER_BUILD_DIR_REL ""
#endif

namespace {

struct LoaderState {
  std::mutex m;
  std::set<std::string> seen;  // canonical paths
  std::vector<qsDriverLoadRecord> records;
};
LoaderState& state() {
  static LoaderState* s = new LoaderState;  // drivers stay loaded for the process
  return *s;
}

std::vector<std::string> splitList(const std::string& list) {
  std::vector<std::string> out;
  std::string cur;
  for (char c : list) {
    if (c == ';') {
      if (!cur.empty()) out.push_back(cur);
      cur.clear();
    } else {
      cur += c == '\\' ? '/' : c;
    }
  }
  if (!cur.empty()) out.push_back(cur);
  return out;
}

qsDriverLoadRecord loadOne(const std::string& path) {
  qsDriverLoadRecord rec;
  rec.path = path;
  void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!h) {
    const char* err = dlerror();
    rec.message = std::string("cannot load: ") + (err ? err : "unknown error");
    return rec;
  }
  auto version = reinterpret_cast<qrn_DriverVersionFn>(dlsym(h, "qrn_driver_version"));
  auto reg = reinterpret_cast<qrn_DriverRegisterFn>(dlsym(h, "qrn_driver_register"));
  if (!version || !reg) {
    rec.message = "not a board driver (no qrn_driver_version/qrn_driver_register)";
    dlclose(h);
    return rec;
  }
  int v = version();
  if (v != qrn_driverAbiVersion) {
    rec.message = "driver interface version " + std::to_string(v) + ", module has " +
                  std::to_string(qrn_driverAbiVersion);
    dlclose(h);
    return rec;
  }
  try {
    reg();
  } catch (const std::exception& e) {
    rec.message = std::string("registration failed: ") + e.what();
    return rec;  // boards it may have added stay; the library stays loaded
  }
  rec.loaded = true;
  return rec;
}

}  // namespace

namespace {

bool hasDrivers(const std::string& dir) {
  std::error_code ec;
  std::filesystem::directory_iterator it(dir, ec), end;
  for (; !ec && it != end; it.increment(ec))
    if (it->path().extension() == ".so") return true;
  return false;
}

// The build tree's driver directory, found from this library's own path;
// empty when unknown.
std::string buildTreeDriverDir() {
  if (!*QRN_DRIVER_BUILD_DIR_REL) return {};
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&hasDrivers), &info) || !info.dli_fname) return {};
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::canonical(info.dli_fname, ec);
  if (ec) return {};
  return (self.parent_path() / QRN_DRIVER_BUILD_DIR_REL).lexically_normal().string();
}

}  // namespace

std::string qf_driverDirectories() {
  if (const char* env = std::getenv("QUORIN_DRIVER_DIR")) return env;
  if (!hasDrivers(QRN_DRIVER_DIR)) {
    const std::string built = buildTreeDriverDir();
    if (!built.empty() && hasDrivers(built)) return built;
  }
  return QRN_DRIVER_DIR;
}

std::vector<qsDriverLoadRecord> qf_loadDrivers(const std::string& directories) {
  namespace fs = std::filesystem;
  std::vector<std::string> files;
  for (const std::string& dir : splitList(directories)) {
    std::error_code ec;
    fs::directory_iterator it(dir, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
      const fs::path& p = it->path();
      if (p.extension() == ".so" && it->is_regular_file(ec)) files.push_back(fs::weakly_canonical(p, ec).string());
    }
  }
  std::sort(files.begin(), files.end());
  // The board list's first use comes before the loader's lock: a driver
  // registering its boards would otherwise run the list's load hook, which
  // loads drivers, under the lock this thread already holds.  (Inside the
  // hook this returns at once.)
  qcBoard::runLoadHook();
  std::vector<qsDriverLoadRecord> out;
  LoaderState& s = state();
  std::lock_guard<std::mutex> g(s.m);
  for (const std::string& f : files) {
    if (!s.seen.insert(f).second) continue;
    qsDriverLoadRecord rec = loadOne(f);
    if (!rec.loaded) std::fprintf(stderr, "qrnacq: driver %s skipped: %s\n", f.c_str(), rec.message.c_str());
    s.records.push_back(rec);
    out.push_back(rec);
  }
  return out;
}

std::vector<qsDriverLoadRecord> qf_driverLoadRecords() {
  LoaderState& s = state();
  std::lock_guard<std::mutex> g(s.m);
  return s.records;
}

namespace {
// Installed when the module is loaded: the board list loads the drivers
// before its first use.
const bool gHookInstalled = [] {
  qcBoard::setLoadHook([] { qf_loadDrivers(qf_driverDirectories()); });
  return true;
}();
}  // namespace
