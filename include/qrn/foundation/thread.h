// Mutexes, semaphores, locks, thread ids and deadlines.
#pragma once

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include <qrn/foundation/exception.h>

// A lockable resource (mutex or semaphore) that qcLock can hold.
class qc_Resource {
public:
  virtual ~qc_Resource() = default;
  virtual void lock() = 0;
  virtual void unlock() = 0;
};

// A recursive mutex.  The name and the two flags of the family's interface
// (initially owned, process-shared) are kept for compatibility: `initiallyOwned`
// locks the mutex for the constructing thread; cross-process sharing is not
// supported on this platform and the flag is ignored.
class qcMutex : public qc_Resource {
public:
  explicit qcMutex(bool initiallyOwned = false, const char* name = nullptr, bool processShared = false);
  ~qcMutex() override;
  qcMutex(const qcMutex&) = delete;
  qcMutex& operator=(const qcMutex&) = delete;

  void lock() override { m_.lock(); }
  void unlock() override { m_.unlock(); }
  bool tryLock() { return m_.try_lock(); }
  const std::string& name() const { return name_; }

  // The one process-wide mutex (guards one-time creation steps).
  static qcMutex& global();

private:
  std::recursive_mutex m_;
  std::string name_;
};

// A counting semaphore with a maximum count.  wait() takes seconds
// (HUGE_VAL: no limit; 0: poll).
class qcSemaphore : public qc_Resource {
public:
  class BadParams;
  // initial must be within 0..maximum, maximum at least 1; otherwise throws
  // qcSemaphore::BadParams.
  qcSemaphore(long initial = 0, long maximum = 0x7fffffff, const char* name = nullptr, bool processShared = false);
  ~qcSemaphore() override;

  // Waits until the count is positive, then decrements it.  Returns false
  // when the time ran out.
  bool wait(double seconds);
  // Adds n (at least 1).  Returns false and changes nothing when the maximum
  // would be exceeded.
  bool post(long n = 1);
  long count() const;

  void lock() override { wait(HUGE_VAL); }
  void unlock() override { post(); }

private:
  mutable std::mutex m_;
  std::condition_variable cv_;
  long count_;
  long max_;
  std::string name_;
};

QC_EXCEPTION(qcSemaphore::BadParams, qcException, 0x10000105);

// Holds a resource locked for its lifetime (when `doLock` is true).
class qcLock {
public:
  explicit qcLock(qc_Resource& r, bool doLock = true) : r_(r), held_(doLock) {
    if (held_) r_.lock();
  }
  ~qcLock() {
    if (held_) r_.unlock();
  }
  void release() {
    if (held_) {
      held_ = false;
      r_.unlock();
    }
  }
  qcLock(const qcLock&) = delete;
  qcLock& operator=(const qcLock&) = delete;

private:
  qc_Resource& r_;
  bool held_;
};

// The identity of a thread.
class qcThreadID {
public:
  qcThreadID() = default;
  explicit qcThreadID(std::thread::id id) : id_(id) {}
  bool operator==(const qcThreadID& o) const { return id_ == o.id_; }
  bool operator!=(const qcThreadID& o) const { return id_ != o.id_; }
  std::thread::id id() const { return id_; }

private:
  std::thread::id id_;
};
qcThreadID qfGetCurrentThreadID();

// A point in time some seconds from construction.  operator bool is true once
// it has passed; until() gives the seconds left (0 when passed; HUGE_VAL for
// a deadline built with HUGE_VAL or more, which never passes).
class qcDeadline {
public:
  explicit qcDeadline(double seconds = 0.0);
  explicit operator bool() const { return expired(); }
  bool expired() const;
  double until() const;
  bool isInfinite() const { return infinite_; }
  std::chrono::steady_clock::time_point when() const { return when_; }

private:
  std::chrono::steady_clock::time_point when_;
  bool infinite_ = false;
};
