// Mutexes, semaphores, locks, thread ids and deadlines.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

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
  // Resources may be destroyed through this base.
  virtual ~qc_Resource() = default;
  // Blocks until the calling thread holds the resource (for a semaphore: has
  // taken one unit of its count), without time limit.
  virtual void lock() = 0;
  // Gives back what lock() took.
  virtual void unlock() = 0;
};

// A recursive mutex.  The name and the two flags of the family's interface
// (initially owned, process-shared) are kept for compatibility: `initiallyOwned`
// locks the mutex for the constructing thread; cross-process sharing is not
// supported on this platform and the flag is ignored.
class qcMutex : public qc_Resource {
public:
  // An unlocked mutex, or one locked once by the constructing thread when
  // `initiallyOwned`.  `name` (null: empty) is only kept; `processShared` is
  // ignored.
  explicit qcMutex(bool initiallyOwned = false, const char* name = nullptr, bool processShared = false);
  // The mutex must not be held when destroyed.
  ~qcMutex() override;
  // A mutex is not copied.
  qcMutex(const qcMutex&) = delete;
  qcMutex& operator=(const qcMutex&) = delete;

  // Takes the mutex (again, when this thread holds it already) or gives one
  // lock back; each lock() needs its unlock() from the same thread.
  void lock() override { m_.lock(); }
  void unlock() override { m_.unlock(); }
  // Takes the mutex without waiting; false when another thread holds it.
  bool tryLock() { return m_.try_lock(); }
  // The name given at construction (empty when none).
  const std::string& name() const { return name_; }

  // The one process-wide mutex (guards one-time creation steps).
  static qcMutex& global();

private:
  std::recursive_mutex m_;
  std::string name_;
};

// A counting semaphore with a maximum count.  wait() takes seconds
// (HUGE_VAL, or 1e9 and more: no limit; 0 or less: poll).  Every member is
// thread-safe.
class qcSemaphore : public qc_Resource {
public:
  class BadParams;
  // initial must be within 0..maximum, maximum at least 1; otherwise throws
  // qcSemaphore::BadParams.  `name` is only kept; `processShared` is ignored.
  qcSemaphore(long initial = 0, long maximum = 0x7fffffff, const char* name = nullptr, bool processShared = false);
  // No thread may be waiting when the semaphore is destroyed.
  ~qcSemaphore() override;

  // Waits until the count is positive, then decrements it.  Returns false
  // when the time ran out.
  bool wait(double seconds);
  // Adds n (at least 1) and wakes waiters.  Returns false and changes nothing
  // when n is less than 1 or the maximum would be exceeded.
  bool post(long n = 1);
  // The current count (a snapshot when other threads wait or post).
  long count() const;

  // wait() without time limit, and post() of one: a semaphore guards a
  // qcLock scope like a mutex, but any thread may unlock.
  void lock() override { wait(HUGE_VAL); }
  void unlock() override { post(); }

private:
  mutable std::mutex m_;
  std::condition_variable cv_;
  long count_;
  long max_;
  std::string name_;
};

// A semaphore's maximum below 1, or its initial count outside 0..maximum.
QC_EXCEPTION(qcSemaphore::BadParams, qcException, 0x10000105);

// Holds a resource locked for its lifetime (when `doLock` is true).
class qcLock {
public:
  // Locks r (which must outlive the lock), or with `doLock` false holds
  // nothing: it neither locks nor unlocks.
  explicit qcLock(qc_Resource& r, bool doLock = true) : r_(r), held_(doLock) {
    if (held_) r_.lock();
  }
  // Unlocks the resource if still held.
  ~qcLock() {
    if (held_) r_.unlock();
  }
  // Unlocks now instead of at destruction; does nothing when not held.
  void release() {
    if (held_) {
      held_ = false;
      r_.unlock();
    }
  }
  // A lock is not copied: one scope, one unlock.
  qcLock(const qcLock&) = delete;
  qcLock& operator=(const qcLock&) = delete;

private:
  qc_Resource& r_;
  bool held_;
};

// The identity of a thread.
class qcThreadID {
public:
  // No thread (equal to no running thread's id), or the thread `id`.
  qcThreadID() = default;
  explicit qcThreadID(std::thread::id id) : id_(id) {}
  // Equal when both identify the same thread (or both none).
  bool operator==(const qcThreadID& o) const { return id_ == o.id_; }
  bool operator!=(const qcThreadID& o) const { return id_ != o.id_; }
  // The standard thread id.
  std::thread::id id() const { return id_; }

private:
  std::thread::id id_;
};
// The identity of the calling thread.
qcThreadID qfGetCurrentThreadID();

// A point in time some seconds from construction.  operator bool is true once
// it has passed; until() gives the seconds left (0 when passed; HUGE_VAL for
// a deadline built with 1e9 seconds or more, HUGE_VAL or NaN, which never
// passes).
class qcDeadline {
public:
  // `seconds` from now on the steady clock; 0 or less (the default) has
  // passed already.
  explicit qcDeadline(double seconds = 0.0);
  // True once the deadline has passed; never for an infinite one.
  explicit operator bool() const { return expired(); }
  bool expired() const;
  // Seconds left: 0 once passed, HUGE_VAL when infinite.
  double until() const;
  // True for a deadline that never passes.
  bool isInfinite() const { return infinite_; }
  // The point in time on the steady clock (its maximum when infinite).
  std::chrono::steady_clock::time_point when() const { return when_; }

private:
  std::chrono::steady_clock::time_point when_;
  bool infinite_ = false;
};

QRN_API_END
