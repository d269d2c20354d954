#include "xvfb.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// Waits up to `seconds` for the child to end; its exit status, or -1 when it
// is still running.
int waitFor(pid_t pid, double seconds) {
  const auto end = Clock::now() + std::chrono::duration<double>(seconds);
  for (;;) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    if (Clock::now() > end) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

pid_t spawn(const std::vector<std::string>& args, bool quiet) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  if (quiet) {
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
  }
  pid_t pid = -1;
  const int rc = posix_spawnp(&pid, argv[0], &fa, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  return rc == 0 ? pid : -1;
}

}  // namespace

XvfbServer::XvfbServer() {
  namespace fs = std::filesystem;
  for (int n = 90; n < 190; ++n) {
    const std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
    const std::string sock = "/tmp/.X11-unix/X" + std::to_string(n);
    if (fs::exists(lock) || fs::exists(sock)) continue;
    const std::string disp = ":" + std::to_string(n);
    const pid_t pid = spawn({"Xvfb", disp, "-screen", "0", "800x600x24", "-nolisten", "tcp"}, true);
    if (pid < 0) {
      error_ = "Xvfb cannot be run (is the xvfb package installed?)";
      return;
    }
    // Ready once its socket exists while it still runs; gone early when
    // another server (a test program running beside this one) took the
    // number meanwhile, and then the socket is that server's.
    const auto end = Clock::now() + std::chrono::seconds(10);
    bool exited = false;
    while (!exited && !fs::exists(sock) && Clock::now() < end) {
      exited = waitFor(pid, 0) >= 0;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!exited) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      exited = waitFor(pid, 0) >= 0;
    }
    if (!exited && fs::exists(sock)) {
      pid_ = pid;
      display_ = disp;
      return;
    }
    if (!exited) {
      kill(pid, SIGKILL);
      waitFor(pid, 5);
    }
  }
  error_ = "Xvfb did not start on any display from :90 to :189";
}

XvfbServer::~XvfbServer() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  if (waitFor(pid_, 5) < 0) {
    kill(pid_, SIGKILL);
    waitFor(pid_, 5);
  }
}

bool runCommand(const std::string& command, double seconds) {
  const pid_t pid = spawn({"/bin/sh", "-c", command}, false);
  if (pid < 0) return false;
  const int rc = waitFor(pid, seconds);
  if (rc < 0) {
    kill(pid, SIGKILL);
    waitFor(pid, 5);
    return false;
  }
  return rc == 0;
}
