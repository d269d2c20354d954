// Callbacks that an application hands to an acquisition FIFO.
//
// A callback is a reference-counted, persistent object with a virtual call
// operator.  The application derives from qcCallback (no argument) or
// qcCallback1<T> (one argument), creates the object with new and passes it
// in a qcPtrHandle; the FIFO and its driver keep handles to it, so it lives
// as long as somebody may still call it.
//
// Threads: a driver calls a callback on a thread of its own choosing (often
// an interrupt or transfer thread), possibly while the application's thread
// uses the FIFO.  A callback must therefore be safe to run concurrently with
// the application, must not block for long, and must not throw: an exception
// leaving the call operator is the driver's to swallow.
//
// Archiving: the callback properties store a callback as a persistent object
// pointer (qcPersistent::serializePointer), so a callback class that is meant
// to survive an archive registers itself with QC_DECLARE_PERSISTENT /
// QC_IMPLEMENT_PERSISTENT.  Unregistered callbacks store fine but cannot be
// loaded back (qcArchive::UnknownClass).
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <functional>
#include <utility>

#include <qrn/foundation/archive.h>
#include <qrn/foundation/handle.h>

// A callback without an argument (completion, move-part and overrun events).
class qcCallback : public virtual qcRepBase, public virtual qcPersistent {
public:
  ~qcCallback() override;
  // The event happened: called by the driver on a thread of its own (see the
  // file's notes: be quick, do not throw).
  virtual void operator()() = 0;
};

// A callback with one argument (for example the acquisition's qcAcquireInfo,
// or the light controller's opaque pointer).
template <class T>
class qcCallback1 : public virtual qcRepBase, public virtual qcPersistent {
public:
  // The type of the call's argument.
  using argument_type = T;
  ~qcCallback1() override = default;
  // The event happened, with its argument: called by the driver on a thread
  // of its own (see the file's notes: be quick, do not throw).  A reference
  // argument is valid only during the call.
  virtual void operator()(T arg) = 0;
};

// Callbacks made from any callable (a lambda, a std::function).  They are not
// registered for archives.
class qcFunctionCallback : public qcCallback {
public:
  // Keeps `fn`, which may be empty (the callback then does nothing).
  explicit qcFunctionCallback(std::function<void()> fn) : fn_(std::move(fn)) {}
  // Calls the function, if any; what it throws passes to the driver.
  void operator()() override {
    if (fn_) fn_();
  }

private:
  std::function<void()> fn_;
};

// A one-argument callback that calls a function object (qfMakeCallback1).
template <class T>
class qcFunctionCallback1 : public qcCallback1<T> {
public:
  // Keeps `fn`, which may be empty (the callback then does nothing).
  explicit qcFunctionCallback1(std::function<void(T)> fn) : fn_(std::move(fn)) {}
  // Calls the function with the argument, if there is a function; what it
  // throws passes to the driver.
  void operator()(T arg) override {
    if (fn_) fn_(std::forward<T>(arg));
  }

private:
  std::function<void(T)> fn_;
};

// A handle to a new function callback (qcFunctionCallback or
// qcFunctionCallback1<T>) that calls `fn`; the handle owns it.  For T give the
// template argument explicitly (qfMakeCallback1<const qcAcquireInfo&>(...)).
inline qcPtrHandle<qcCallback> qfMakeCallback(std::function<void()> fn) {
  return qcPtrHandle<qcCallback>(new qcFunctionCallback(std::move(fn)));
}
template <class T>
qcPtrHandle<qcCallback1<T>> qfMakeCallback1(std::function<void(T)> fn) {
  return qcPtrHandle<qcCallback1<T>>(new qcFunctionCallback1<T>(std::move(fn)));
}

QRN_API_END
