// Helpers of the camera configuration tests: a temporary directory, files
// written from text, and reading text into a file image.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <atomic>
#include <chrono>
#include <thread>

#include <fcntl.h>
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

// Opens a named pipe for writing and closes it again, over and over, while
// it lives: a reader that blocked opening the pipe is released and sees an
// empty file, so a test of code that must not open it fails instead of hanging.
class FifoReleaser {
public:
  explicit FifoReleaser(std::string path)
      : path_(std::move(path)), thread_([this] {
          while (!stop_) {
            const int fd = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) ::close(fd);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
          }
        }) {}
  ~FifoReleaser() {
    stop_ = true;
    thread_.join();
  }
  FifoReleaser(const FifoReleaser&) = delete;
  FifoReleaser& operator=(const FifoReleaser&) = delete;

private:
  std::string path_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace ccf_test
