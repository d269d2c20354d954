// The environment of every test process, unless the runner or the shell gave
// it: the build tree's driver plugin directory and a registry store that does
// not exist (so every setting has its default).  Runs before main(), so before
// the first use of the board list; a test that needs other settings sets the
// variables itself before that first use.
#include <cstdlib>

namespace {
const bool gEnvironment = [] {
  ::setenv("QUORIN_DRIVER_DIR", QRN_TEST_DRIVER_DIR, 0);
  ::setenv("QUORIN_REGISTRY_FILE", QRN_TEST_BINARY_DIR "/no-such-registry.reg", 0);
  ::setenv("QUORIN_TEST_SOURCE_DIR", QRN_TEST_SOURCE_DIR, 0);
  return true;
}();
}  // namespace
