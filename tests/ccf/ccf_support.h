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

#include "temp_dir.h"

namespace ccf_test {

using TempDir = qrn_test::TempDir;

// Writes `text` to a file of the directory (making its subdirectories) and
// returns its path.
inline std::string writeFile(const TempDir& dir, const std::string& name, const std::string& text) {
  std::filesystem::create_directories((dir.path() / name).parent_path());
  std::ofstream(dir.path() / name, std::ios::binary) << text;
  return dir / name;
}

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
