// A fresh temporary directory for a test, removed with everything in it at
// the end of the scope.
#pragma once

#include <filesystem>
#include <string>

#include <unistd.h>

namespace qrn_test {

class TempDir {
public:
  TempDir() {
    static int serial = 0;
    path_ = std::filesystem::temp_directory_path() /
            ("qrn-test-" + std::to_string(::getpid()) + "-" + std::to_string(serial++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
  std::filesystem::path path_;
};

}  // namespace qrn_test
