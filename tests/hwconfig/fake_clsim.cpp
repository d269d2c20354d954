// A fake Camera Link simulator library: the eleven entry points record their
// calls and arguments; the control functions of fake_clsim.h drive it.
#include "fake_clsim.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include <qrn/acq/format/clsim.h>

namespace {

std::mutex gMutex;
std::string gLog;
std::string gLogCopy;
int gOpenResult = 1;
int gAsyncFill = 0;

void record(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void record(const char* fmt, ...) {
  char buf[512];
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  std::lock_guard<std::mutex> g(gMutex);
  gLog += buf;
  gLog += '\n';
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) void clsimFake_reset() {
  std::lock_guard<std::mutex> g(gMutex);
  gLog.clear();
  gOpenResult = 1;
  gAsyncFill = 0;
}

__attribute__((visibility("default"))) const char* clsimFake_log() {
  std::lock_guard<std::mutex> g(gMutex);
  gLogCopy = gLog;
  return gLogCopy.c_str();
}

__attribute__((visibility("default"))) void clsimFake_setOpenResult(int result) { gOpenResult = result; }
__attribute__((visibility("default"))) void clsimFake_setAsyncFill(int full) { gAsyncFill = full; }

__attribute__((visibility("default"))) int CLSimInit(void) {
  record("CLSimInit()");
  return 1;
}

__attribute__((visibility("default"))) int CLSimOpenCOM(long port, qf_CLSimCallback callback) {
  record("CLSimOpenCOM(%ld,%s)", port, callback ? "callback" : "null");
  if (callback) callback(port, "ok", 2);  // the wrapper's callback must accept data
  return gOpenResult;
}

__attribute__((visibility("default"))) int CLSimCloseCOM(long port) {
  record("CLSimCloseCOM(%ld)", port);
  return 1;
}

__attribute__((visibility("default"))) int CLSimGetParam(long port, long param, long* value) {
  record("CLSimGetParam(%ld,%ld)", port, param);
  if (value) *value = 0;
  return 1;
}

__attribute__((visibility("default"))) int CLSimSetCamera(long port, const char* cameraName) {
  record("CLSimSetCamera(%ld,%s)", port, cameraName);
  return 1;
}

__attribute__((visibility("default"))) int CLSimTerminate(void) {
  record("CLSimTerminate()");
  return 1;
}

__attribute__((visibility("default"))) int CLSimSetPattern(long port, long tap, long pattern, long low, long high,
                                                           long step) {
  record("CLSimSetPattern(%ld,%ld,%ld,%ld,%ld,%ld)", port, tap, pattern, low, high, step);
  return 1;
}

__attribute__((visibility("default"))) int CLSimSetRollMode(long port, long mode) {
  record("CLSimSetRollMode(%ld,%ld)", port, mode);
  return 1;
}

__attribute__((visibility("default"))) int CLSimSave(long port, const char* path) {
  record("CLSimSave(%ld,%s)", port, path);
  return 1;
}

__attribute__((visibility("default"))) int CLSimGetAsyncString(const char* cameraName, long index, char* buffer,
                                                               long size) {
  record("CLSimGetAsyncString(%s,%ld,%ld)", cameraName, index, size);
  if (!buffer || size <= 0) return 0;
  if (gAsyncFill) {
    std::memset(buffer, 'A', static_cast<std::size_t>(size));
  } else {
    std::snprintf(buffer, static_cast<std::size_t>(size), "async:%s", cameraName);
  }
  return 1;
}

__attribute__((visibility("default"))) int CLSimSetAsyncMode(long port, const char* cameraName,
                                                             const char* asyncString, long mode) {
  record("CLSimSetAsyncMode(%ld,%s,%s,%ld)", port, cameraName, asyncString, mode);
  return 1;
}

}  // extern "C"
