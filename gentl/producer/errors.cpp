#include "errors.h"

namespace qrn_gentl {

namespace {
thread_local Error tLast{GC_ERR_SUCCESS, ""};
}

void setLastError(GC_ERROR code, const std::string& text) { tLast = Error{code, text}; }
Error lastError() { return tLast; }

void answer(const Info& info, INFO_DATATYPE* piType, void* pBuffer, std::size_t* piSize) {
  need(piSize, "the size pointer");
  if (piType) *piType = info.type;
  if (!pBuffer) {
    *piSize = info.bytes.size();
    return;
  }
  if (*piSize < info.bytes.size()) {
    const std::size_t given = *piSize;
    *piSize = info.bytes.size();
    fail(GC_ERR_BUFFER_TOO_SMALL,
         "the buffer holds " + std::to_string(given) + " bytes, the value needs " + std::to_string(info.bytes.size()));
  }
  std::memcpy(pBuffer, info.bytes.data(), info.bytes.size());
  *piSize = info.bytes.size();
}

}  // namespace qrn_gentl
