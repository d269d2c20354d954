#include <qrn/foundation/thread.h>

#include <limits>

qcMutex::qcMutex(bool initiallyOwned, const char* name, bool /*processShared*/) : name_(name ? name : "") {
  if (initiallyOwned) m_.lock();
}

qcMutex::~qcMutex() = default;

qcMutex& qcMutex::global() {
  static qcMutex* m = new qcMutex(false, "qrn.global");  // lives as long as the process
  return *m;
}

qcSemaphore::qcSemaphore(long initial, long maximum, const char* name, bool /*processShared*/)
    : count_(initial), max_(maximum), name_(name ? name : "") {
  if (maximum < 1 || initial < 0 || initial > maximum) throw BadParams();
}

qcSemaphore::~qcSemaphore() = default;

bool qcSemaphore::wait(double seconds) {
  std::unique_lock<std::mutex> g(m_);
  if (count_ > 0) {
    --count_;
    return true;
  }
  if (!(seconds > 0)) return false;
  auto ready = [this] { return count_ > 0; };
  if (seconds >= 1e9 || std::isinf(seconds)) {
    cv_.wait(g, ready);
  } else {
    auto until = std::chrono::steady_clock::now() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                                         std::chrono::duration<double>(seconds));
    if (!cv_.wait_until(g, until, ready)) return false;
  }
  --count_;
  return true;
}

bool qcSemaphore::post(long n) {
  if (n < 1) return false;
  // Notify while holding the lock: a waiter that returns may destroy the
  // semaphore as soon as it can take the lock, so nothing of it may be
  // touched after the lock is released.
  std::lock_guard<std::mutex> g(m_);
  if (count_ > max_ - n) return false;
  count_ += n;
  if (n == 1)
    cv_.notify_one();
  else
    cv_.notify_all();
  return true;
}

long qcSemaphore::count() const {
  std::lock_guard<std::mutex> g(m_);
  return count_;
}

qcThreadID qfGetCurrentThreadID() { return qcThreadID(std::this_thread::get_id()); }

qcDeadline::qcDeadline(double seconds) {
  auto now = std::chrono::steady_clock::now();
  if (std::isnan(seconds) || seconds >= 1e9) {
    infinite_ = true;
    when_ = std::chrono::steady_clock::time_point::max();
  } else if (seconds <= 0) {
    when_ = now;
  } else {
    when_ = now + std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(seconds));
  }
}

bool qcDeadline::expired() const { return !infinite_ && std::chrono::steady_clock::now() >= when_; }

double qcDeadline::until() const {
  if (infinite_) return HUGE_VAL;
  auto left = when_ - std::chrono::steady_clock::now();
  double s = std::chrono::duration<double>(left).count();
  return s > 0 ? s : 0.0;
}

QC_REGISTER_PERSISTENT(qcSemaphore::BadParams);
