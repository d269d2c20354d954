// A private X server for a test program: Xvfb on the first free display
// number from 90, stopped when the object goes.
#pragma once

#include <string>

#include <sys/types.h>

class XvfbServer {
public:
  XvfbServer();
  ~XvfbServer();
  XvfbServer(const XvfbServer&) = delete;
  XvfbServer& operator=(const XvfbServer&) = delete;

  bool running() const { return pid_ > 0; }
  // ":N", or empty when no server could start.
  const std::string& display() const { return display_; }
  // Why it did not start.
  const std::string& error() const { return error_; }

private:
  pid_t pid_ = -1;
  std::string display_, error_;
};

// Runs a command line with /bin/sh, killing it after `seconds`; true when it
// exited with status 0.
bool runCommand(const std::string& command, double seconds = 10.0);
