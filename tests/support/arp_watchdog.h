// Test helpers for thread tests: a watchdog that ends a hung test, and a
// bounded poll.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace arp_test {

// Aborts the process (with a message) when not destroyed within `seconds`:
// a test that deadlocks fails instead of hanging.
class Watchdog {
public:
  explicit Watchdog(double seconds, const char* what = "test")
      : thread_([this, seconds, what] {
          std::unique_lock<std::mutex> g(m_);
          if (!cv_.wait_for(g, std::chrono::duration<double>(seconds), [this] { return done_; })) {
            std::fprintf(stderr, "watchdog: %s did not finish within %.1f s\n", what, seconds);
            std::fflush(stderr);
            std::abort();
          }
        }) {}
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> g(m_);
      done_ = true;
    }
    cv_.notify_all();
    thread_.join();
  }
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

private:
  std::mutex m_;
  std::condition_variable cv_;
  bool done_ = false;
  std::thread thread_;
};

// Polls `pred` every millisecond until it is true or `seconds` have passed;
// returns its last value.
template <class Pred>
bool waitUntil(Pred pred, double seconds = 5.0) {
  auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!pred()) {
    if (std::chrono::steady_clock::now() >= end) return pred();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace arp_test
