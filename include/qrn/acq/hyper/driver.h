// Board driver plugins.
//
// A board driver is a shared library installed in the driver directory
// (QRN_DRIVER_DIR at build time, "<libdir>/qrnacq/drivers"; the environment
// variable "QUORIN_DRIVER_DIR" replaces it, a ';'-separated list).  At the
// first use of the board list (qcBoard::count(), get() or add()) the module
// loads every "*.so" of the directory, checks its version symbol and calls
// its registration function, which adds the driver's boards with
// qcBoard::add().  A library whose version differs from the module's is
// unloaded and skipped with a message on stderr.
//
// A driver library defines, with C linkage:
//   QRN_DRIVER_ENTRY(registerFn)
// where registerFn is `void registerFn()`.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <string>
#include <vector>

// The driver interface version of this module.  A driver built against
// another version is refused.
constexpr int qrn_driverAbiVersion = 2;  // 2: qcFrameGrabber holds a shared owner

extern "C" {
// The types of the two symbols QRN_DRIVER_ENTRY defines, as the loader looks
// them up: qrn_driver_version() returns the driver's qrn_driverAbiVersion,
// qrn_driver_register() adds its boards.
typedef int (*qrn_DriverVersionFn)();
typedef void (*qrn_DriverRegisterFn)();
}

// Defines a driver library's two entry points, with C linkage and default
// visibility: qrn_driver_version(), which returns the qrn_driverAbiVersion
// the driver was built with, and qrn_driver_register(), which calls
// `registerFn()`.  Use it once, at namespace scope, in one source file of the
// driver.
#define QRN_DRIVER_ENTRY(registerFn)                                           \
  extern "C" __attribute__((visibility("default"))) int qrn_driver_version() { \
    return qrn_driverAbiVersion;                                              \
  }                                                                            \
  extern "C" __attribute__((visibility("default"))) void qrn_driver_register() { registerFn(); }

// What the loader did with one library.
struct qsDriverLoadRecord {
  std::string path;     // the library's file
  bool loaded = false;  // true when it was loaded and its registration function returned (message empty)
  std::string message;  // why it was refused, empty when loaded
};

// Loads the drivers of the directory list now (normally done by the board
// list's first use).  Each library is loaded at most once per process.
// Returns what happened to each library found.
std::vector<qsDriverLoadRecord> qf_loadDrivers(const std::string& directories);
// The directory list in force: "QUORIN_DRIVER_DIR" when set, else the
// installed driver directory; when that holds no driver and this library runs
// from its build tree, the drivers built beside it (so programs, the Python
// module and the GStreamer element work from the build tree as they are).
std::string qf_driverDirectories();
// Every library the loader has seen so far in this process.
std::vector<qsDriverLoadRecord> qf_driverLoadRecords();

QRN_API_END
