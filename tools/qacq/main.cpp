// qacq: the acquisition module's main job from a shell.  The commands live in
// qacq_core (cli.cpp and its neighbours); this file only picks the driver
// directory and the terminal.
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>

#include <unistd.h>

#include "qacq.h"

#ifndef QRN_DRIVER_DIR
#define QRN_DRIVER_DIR ""
#endif
#ifndef QRN_DRIVER_BUILD_DIR_REL
#define QRN_DRIVER_BUILD_DIR_REL ""
#endif

namespace {

bool hasDrivers(const char* dir) {
  std::error_code ec;
  if (!*dir || !std::filesystem::is_directory(dir, ec)) return false;
  for (const auto& e : std::filesystem::directory_iterator(dir, ec))
    if (e.path().extension() == ".so") return true;
  return false;
}

// The build tree's driver directory, found from this program's own path
// (empty when that is unknown).
std::string buildDriverDir() {
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec || !*QRN_DRIVER_BUILD_DIR_REL) return {};
  return (self.parent_path() / QRN_DRIVER_BUILD_DIR_REL).lexically_normal().string();
}

}  // namespace

int main(int argc, char** argv) {
  // A tool run from the build tree finds the drivers built beside it when
  // none are installed and QUORIN_DRIVER_DIR does not say otherwise.  This
  // must happen before the first use of the board list.
  if (!std::getenv("QUORIN_DRIVER_DIR") && !hasDrivers(QRN_DRIVER_DIR)) {
    const std::string buildDir = buildDriverDir();
    if (hasDrivers(buildDir.c_str())) ::setenv("QUORIN_DRIVER_DIR", buildDir.c_str(), 0);
  }
  return qacq::run(argc, argv, std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1);
}
