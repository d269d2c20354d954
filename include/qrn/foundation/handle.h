// Reference-counted bodies and the handles that share them.
//
// qcRepBase is the (virtual) base of every class that can be held by a
// qcPtrHandle.  Counting is atomic, so handles to one body may be copied and
// destroyed on different threads; the body itself is not made thread-safe.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <atomic>
#include <cstddef>
#include <utility>

namespace qrn_detail {
// Throws std::logic_error for the dereference of an empty handle (the
// handles' out-of-line throw); not for applications.
[[noreturn]] void throwNullHandle();
}

// Atomically increments / decrements *p and returns the new value.
long qfInterlockedIncrement(std::atomic<long>* p);
long qfInterlockedDecrement(std::atomic<long>* p);

// The base of reference-counted objects held by qcPtrHandle.
class qcRepBase {
public:
  // A new body has no handles (refCount() 0) until a handle takes it.
  qcRepBase() noexcept : refs_(0) {}
  // A copy is a new body: it starts without handles.  Assignment copies no
  // count: each side keeps the handles it had.
  qcRepBase(const qcRepBase&) noexcept : refs_(0) {}
  qcRepBase& operator=(const qcRepBase&) noexcept { return *this; }
  // Virtual, so a body may be deleted through any of its bases.
  virtual ~qcRepBase() = default;

  // The number of references to the body (handles and addRef_() calls not yet
  // released).  Only a snapshot when other threads hold handles.
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
  // An empty handle.
  qcPtrHandle() noexcept = default;
  qcPtrHandle(std::nullptr_t) noexcept {}
  // Takes ownership of a new body (or joins the owners of an existing one);
  // null gives an empty handle.
  explicit qcPtrHandle(T* p) noexcept : p_(p) { acquire_(); }
  // Shares o's body (empty when o is).
  qcPtrHandle(const qcPtrHandle& o) noexcept : p_(o.p_) { acquire_(); }
  // Takes o's share over; o is left empty.
  qcPtrHandle(qcPtrHandle&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  // Shares the body of a handle to U, a class whose pointers convert to T*.
  template <class U>
  qcPtrHandle(const qcPtrHandle<U>& o) noexcept : p_(o.ptr()) { acquire_(); }
  // Drops this handle's share; the last share deletes the body.
  ~qcPtrHandle() { reset(); }

  // Shares o's body (copied or moved in) and drops the share held before,
  // deleting that body when it was the last.  Self-assignment is safe.
  qcPtrHandle& operator=(qcPtrHandle o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }

  // Empties the handle, deleting the body when this was its last share.
  void reset() noexcept {
    T* p = std::exchange(p_, nullptr);
    if (p && static_cast<const qcRepBase*>(p)->release_()) delete p;
  }

  // The body, or null for an empty handle; the handle keeps its share.
  T* ptr() const noexcept { return p_; }
  T* get() const noexcept { return p_; }
  // The body; throw std::logic_error for an empty handle.
  T& operator*() const { return *checked_(); }
  T* operator->() const { return checked_(); }
  // Whether the handle holds a body (operator bool) or is empty (isNull()).
  explicit operator bool() const noexcept { return p_ != nullptr; }
  bool isNull() const noexcept { return p_ == nullptr; }
  // The body's reference count (see qcRepBase::refCount()); 0 when empty.
  long refCount() const noexcept { return p_ ? static_cast<const qcRepBase*>(p_)->refCount() : 0; }

  // True when both handles hold the same body, or both are empty (!= follows).
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
  // An empty handle.
  qcPtrHandle_const() noexcept = default;
  qcPtrHandle_const(std::nullptr_t) noexcept {}
  // Takes ownership of a new body (or joins the owners of an existing one);
  // null gives an empty handle.
  explicit qcPtrHandle_const(const T* p) noexcept : h_(const_cast<T*>(p)) {}
  // Shares the body of a handle to T, or to U, a class whose pointers convert
  // to T* (empty when h is).
  qcPtrHandle_const(const qcPtrHandle<T>& h) noexcept : h_(h) {}
  template <class U>
  qcPtrHandle_const(const qcPtrHandle<U>& h) noexcept : h_(h) {}

  // The body, or null for an empty handle; the handle keeps its share.
  const T* ptr() const noexcept { return h_.ptr(); }
  const T* get() const noexcept { return h_.ptr(); }
  // The body; throw std::logic_error for an empty handle.
  const T& operator*() const { return *h_; }
  const T* operator->() const { return h_.operator->(); }
  // Whether the handle holds a body (operator bool) or is empty (isNull()).
  explicit operator bool() const noexcept { return static_cast<bool>(h_); }
  bool isNull() const noexcept { return h_.isNull(); }
  // The body's reference count (see qcRepBase::refCount()); 0 when empty.
  long refCount() const noexcept { return h_.refCount(); }
  // Empties the handle, deleting the body when this was its last share.
  void reset() noexcept { h_.reset(); }

  // True when both handles hold the same body, or both are empty (!= follows).
  friend bool operator==(const qcPtrHandle_const& a, const qcPtrHandle_const& b) noexcept {
    return a.ptr() == b.ptr();
  }

private:
  qcPtrHandle<T> h_;
};

QRN_API_END
