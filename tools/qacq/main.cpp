// qacq: the acquisition module's main job from a shell.  The commands live in
// qacq_core (cli.cpp and its neighbours); this file only picks the driver
// directory and the terminal.
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include <unistd.h>

#include "qacq.h"

#ifndef QRN_DRIVER_DIR
#define QRN_DRIVER_DIR ""
#endif
#ifndef QRN_DRIVER_BUILD_DIR
#define QRN_DRIVER_BUILD_DIR ""
#endif

namespace {

bool hasDrivers(const char* dir) {
  std::error_code ec;
  if (!*dir || !std::filesystem::is_directory(dir, ec)) return false;
  for (const auto& e : std::filesystem::directory_iterator(dir, ec))
    if (e.path().extension() == ".so") return true;
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  // A tool run from the build tree finds the drivers built beside it when
  // none are installed and QUORIN_DRIVER_DIR does not say otherwise.  This
  // must happen before the first use of the board list.
  if (!std::getenv("QUORIN_DRIVER_DIR") && !hasDrivers(QRN_DRIVER_DIR) && hasDrivers(QRN_DRIVER_BUILD_DIR))
    ::setenv("QUORIN_DRIVER_DIR", QRN_DRIVER_BUILD_DIR, 0);
  return qacq::run(argc, argv, std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1);
}
