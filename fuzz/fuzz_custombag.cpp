// Feeds arbitrary text to the custom property bag's text reader.  A text that
// reads must give a bag whose own text reads back to the same bag; a
// malformed text throws the bag's BadParams, nothing else.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include <qrn/acq/hyper/prop/custombag.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  qcCustomPropertyBag bag;
  try {
    bag.fromString(text);
  } catch (const qcCustomPropertyBag::BadParams&) {
    // The items read before the fault stay, and they too must round-trip.
  }
  qcCustomPropertyBag again;
  again.fromString(bag.toString());  // must not throw
  if (!(again == bag)) std::abort();
  return 0;
}
