// How the producer reports failures: every entry point runs its body through
// guard(), which turns what the body throws into the standard's error code
// and the calling thread's last error (GCGetLastError).
#pragma once

#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <type_traits>
#include <vector>

#include <qrn/foundation/exception.h>

#include "gentl.h"

namespace qrn_gentl {

// A refusal with the standard's code and a text for GCGetLastError.
struct Error {
  GC_ERROR code;
  std::string text;
};
[[noreturn]] inline void fail(GC_ERROR code, std::string text) { throw Error{code, std::move(text)}; }
// Throws GC_ERR_INVALID_PARAMETER unless p is set.
inline void need(const void* p, const char* what) {
  if (!p) fail(GC_ERR_INVALID_PARAMETER, std::string(what) + " is null");
}

// The calling thread's last error.
void setLastError(GC_ERROR code, const std::string& text);
Error lastError();

// Runs body; returns GC_ERR_SUCCESS or the code of what it threw (library
// exceptions: GC_ERR_ERROR, or GC_ERR_INVALID_VALUE when refused as bad
// parameters; memory: GC_ERR_OUT_OF_MEMORY), recording the last error.
// Nothing escapes into the consumer.
template <class F>
GC_ERROR guard(F&& body) noexcept {
  try {
    body();
    return GC_ERR_SUCCESS;
  } catch (const Error& e) {
    setLastError(e.code, e.text);
    return e.code;
  } catch (const std::bad_alloc&) {
    setLastError(GC_ERR_OUT_OF_MEMORY, "out of memory");
    return GC_ERR_OUT_OF_MEMORY;
  } catch (const std::exception& e) {
    setLastError(GC_ERR_ERROR, e.what());
    return GC_ERR_ERROR;
  } catch (...) {
    setLastError(GC_ERR_ERROR, "unknown failure");
    return GC_ERR_ERROR;
  }
}

// ---- info answers ------------------------------------------------------------
// An info value: its data type and its bytes (strings with their NUL).
struct Info {
  INFO_DATATYPE type = INFO_DATATYPE_UNKNOWN;
  std::vector<char> bytes;
};
inline Info infoString(const std::string& s) {
  return Info{INFO_DATATYPE_STRING, std::vector<char>(s.c_str(), s.c_str() + s.size() + 1)};
}
template <class T>
Info infoValue(INFO_DATATYPE type, T v) {
  static_assert(std::is_trivially_copyable_v<T>);
  Info i{type, std::vector<char>(sizeof(T))};
  std::memcpy(i.bytes.data(), &v, sizeof(T));
  return i;
}
inline Info infoBool(bool v) { return infoValue<bool8_t>(INFO_DATATYPE_BOOL8, v ? 1 : 0); }
inline Info infoU64(std::uint64_t v) { return infoValue(INFO_DATATYPE_UINT64, v); }
inline Info infoSize(std::size_t v) { return infoValue(INFO_DATATYPE_SIZET, v); }
inline Info infoPtr(const void* v) { return infoValue(INFO_DATATYPE_PTR, v); }
inline Info infoI32(std::int32_t v) { return infoValue(INFO_DATATYPE_INT32, v); }
inline Info infoU32(std::uint32_t v) { return infoValue(INFO_DATATYPE_UINT32, v); }

// Hands an info value to the consumer: the type when piType is set; with a
// null pBuffer only the size; else the bytes when *piSize is large enough
// (GC_ERR_BUFFER_TOO_SMALL otherwise, *piSize then says what is needed).
void answer(const Info& info, INFO_DATATYPE* piType, void* pBuffer, std::size_t* piSize);
// A string for an ID or URL query (no type).
inline void answerString(const std::string& s, char* pBuffer, std::size_t* piSize) {
  answer(infoString(s), nullptr, pBuffer, piSize);
}

}  // namespace qrn_gentl
