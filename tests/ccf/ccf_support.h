// Helpers of the camera configuration tests: a temporary directory, files
// written from text, and reading text into a file image.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <unistd.h>

#include <qrn/acq/ccf/ccfreader.h>

namespace ccf_test {

class TempDir {
public:
  TempDir() {
    static int serial = 0;
    path_ = std::filesystem::temp_directory_path() /
            ("ccf-test-" + std::to_string(::getpid()) + "-" + std::to_string(serial++));
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
  // Writes `text` to a file of the directory and returns its path.
  std::string write(const std::string& name, const std::string& text) const {
    std::filesystem::create_directories((path_ / name).parent_path());
    std::ofstream(path_ / name, std::ios::binary) << text;
    return (path_ / name).string();
  }

private:
  std::filesystem::path path_;
};

inline std::string readText(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

// The file image of a text, comments kept.
inline qc_ccfFileInfo readInfo(const std::string& text, bool keepComments = true) {
  qc_ccfFileInfo info;
  std::istringstream in(text);
  qc_ccfReader::readStream(in, info, keepComments);
  return info;
}

// Sets an environment variable for the life of the object (unset: null).
class EnvVar {
public:
  EnvVar(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old, had_ = true;
    value ? ::setenv(name, value, 1) : ::unsetenv(name);
  }
  ~EnvVar() { had_ ? ::setenv(name_, old_.c_str(), 1) : ::unsetenv(name_); }
  EnvVar(const EnvVar&) = delete;
  EnvVar& operator=(const EnvVar&) = delete;

private:
  const char* name_;
  std::string old_;
  bool had_ = false;
};

}  // namespace ccf_test
