// A small GenTL consumer for the producer's tests and benchmark: the
// producer's modules opened in order and closed in reverse, and the remote
// device's features reached by name through Aravis's GenICam parser over the
// producer's port (as a GenApi-based consumer reaches them).
#pragma once

#include <arv.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "gentl.h"

namespace qrn_gentl_test {

// The calling thread's last error of the producer: its text, and its code
// through `code` when set.
std::string lastErrorText(GC_ERROR* code = nullptr);
// Throws with the producer's last error unless rc is GC_ERR_SUCCESS.
void check(GC_ERROR rc, const char* what);
#define QRN_GENTL_CHECK(call) ::qrn_gentl_test::check((call), #call)

// The description behind URL `index` of a port (unzipped when zipped).
std::string portDescription(PORT_HANDLE port, std::uint32_t index = 0);

// An ArvDevice whose register reads and writes go to a GenTL port; its GenICam
// description is the port's first URL.  Unref with g_object_unref.
ArvDevice* newPortDevice(PORT_HANDLE port, std::uint32_t urlIndex = 0);

// GCInitLib, the system, the first interface, the first device, its data
// stream and the remote device's features; everything closed again in
// reverse order.
struct Consumer {
  TL_HANDLE tl = nullptr;
  IF_HANDLE itf = nullptr;
  DEV_HANDLE dev = nullptr;
  DS_HANDLE ds = nullptr;
  PORT_HANDLE remote = nullptr;
  ArvDevice* device = nullptr;  // over the remote port
  ArvGc* gc = nullptr;

  Consumer();
  ~Consumer();
  Consumer(const Consumer&) = delete;
  Consumer& operator=(const Consumer&) = delete;

  // Remote device features by name (throws with Aravis's error).
  void set(const char* feature, const std::string& value);
  std::string get(const char* feature);
  void execute(const char* feature);
  std::int64_t payloadSize() { return std::stoll(get("PayloadSize")); }

  template <class T>
  T streamInfo(STREAM_INFO_CMD cmd) {
    T v{};
    size_t size = sizeof v;
    QRN_GENTL_CHECK(DSGetInfo(ds, cmd, nullptr, &v, &size));
    return v;
  }
  template <class T>
  T bufferInfo(BUFFER_HANDLE b, BUFFER_INFO_CMD cmd) {
    T v{};
    size_t size = sizeof v;
    QRN_GENTL_CHECK(DSGetBufferInfo(ds, b, cmd, nullptr, &v, &size));
    return v;
  }
};

}  // namespace qrn_gentl_test
