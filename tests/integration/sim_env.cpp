// The test processes' environment, when the test runner did not give it: the
// build tree's plugin directory and a registry store that does not exist
// (defaults).  Runs before main(), so before the first use of the board list.
#include <cstdlib>

namespace {
const bool gEnvironment = [] {
  ::setenv("QUORIN_DRIVER_DIR", QRN_TEST_DRIVER_DIR, 0);
  ::setenv("QUORIN_REGISTRY_FILE", QRN_TEST_BINARY_DIR "/no-such-registry.reg", 0);
  return true;
}();
}  // namespace
