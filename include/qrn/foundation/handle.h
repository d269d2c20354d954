// Reference-counted bodies and the handles that share them.
//
// qcRepBase is the (virtual) base of every class that can be held by a
// qcPtrHandle.  Counting is atomic, so handles to one body may be copied and
// destroyed on different threads; the body itself is not made thread-safe.
#pragma once

#include <atomic>
#include <cstddef>
#include <utility>

namespace qrn_detail {
[[noreturn]] void throwNullHandle();
}

// Atomically increments / decrements *p and returns the new value.
long qfInterlockedIncrement(std::atomic<long>* p);
long qfInterlockedDecrement(std::atomic<long>* p);

// The base of reference-counted objects held by qcPtrHandle.
class qcRepBase {
public:
  qcRepBase() noexcept : refs_(0) {}
  // A copy is a new body: it starts without handles.
  qcRepBase(const qcRepBase&) noexcept : refs_(0) {}
  qcRepBase& operator=(const qcRepBase&) noexcept { return *this; }
  virtual ~qcRepBase() = default;

  long refCount() const noexcept { return refs_.load(std::memory_order_acquire); }

  // Used by the handles; exposed for code that must keep a body alive by hand.
  void addRef_() const noexcept { refs_.fetch_add(1, std::memory_order_relaxed); }
  // Returns true when this was the last reference (the caller deletes).
  bool release_() const noexcept { return refs_.fetch_sub(1, std::memory_order_acq_rel) == 1; }

private:
  mutable std::atomic<long> refs_;
};

// Shared ownership of a T derived (possibly virtually) from qcRepBase.  The body
// is deleted when the last handle to it goes.  Dereferencing an empty handle
// throws std::logic_error.
template <class T>
class qcPtrHandle {
public:
  qcPtrHandle() noexcept = default;
  qcPtrHandle(std::nullptr_t) noexcept {}
  // Takes ownership of a new body (or joins the owners of an existing one).
  explicit qcPtrHandle(T* p) noexcept : p_(p) { acquire_(); }
  qcPtrHandle(const qcPtrHandle& o) noexcept : p_(o.p_) { acquire_(); }
  qcPtrHandle(qcPtrHandle&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  template <class U>
  qcPtrHandle(const qcPtrHandle<U>& o) noexcept : p_(o.ptr()) { acquire_(); }
  ~qcPtrHandle() { reset(); }

  qcPtrHandle& operator=(qcPtrHandle o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }

  void reset() noexcept {
    T* p = std::exchange(p_, nullptr);
    if (p && static_cast<const qcRepBase*>(p)->release_()) delete p;
  }

  T* ptr() const noexcept { return p_; }
  T* get() const noexcept { return p_; }
  T& operator*() const { return *checked_(); }
  T* operator->() const { return checked_(); }
  explicit operator bool() const noexcept { return p_ != nullptr; }
  bool isNull() const noexcept { return p_ == nullptr; }
  long refCount() const noexcept { return p_ ? static_cast<const qcRepBase*>(p_)->refCount() : 0; }

  friend bool operator==(const qcPtrHandle& a, const qcPtrHandle& b) noexcept { return a.p_ == b.p_; }

private:
  void acquire_() noexcept {
    if (p_) static_cast<const qcRepBase*>(p_)->addRef_();
  }
  T* checked_() const {
    if (!p_) qrn_detail::throwNullHandle();
    return p_;
  }
  T* p_ = nullptr;
};

// A handle that gives only const access to its body.
template <class T>
class qcPtrHandle_const {
public:
  qcPtrHandle_const() noexcept = default;
  qcPtrHandle_const(std::nullptr_t) noexcept {}
  explicit qcPtrHandle_const(const T* p) noexcept : h_(const_cast<T*>(p)) {}
  qcPtrHandle_const(const qcPtrHandle<T>& h) noexcept : h_(h) {}
  template <class U>
  qcPtrHandle_const(const qcPtrHandle<U>& h) noexcept : h_(h) {}

  const T* ptr() const noexcept { return h_.ptr(); }
  const T* get() const noexcept { return h_.ptr(); }
  const T& operator*() const { return *h_; }
  const T* operator->() const { return h_.operator->(); }
  explicit operator bool() const noexcept { return static_cast<bool>(h_); }
  bool isNull() const noexcept { return h_.isNull(); }
  long refCount() const noexcept { return h_.refCount(); }
  void reset() noexcept { h_.reset(); }

  friend bool operator==(const qcPtrHandle_const& a, const qcPtrHandle_const& b) noexcept {
    return a.ptr() == b.ptr();
  }

private:
  qcPtrHandle<T> h_;
};
