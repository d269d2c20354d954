// The Python FIFO (shared by the FIFO, simulator and board bindings).
#pragma once

#include <atomic>
#include <memory>

#include <qrn/acq/hyper/prop/acqprops.h>

#include "qrnpy.h"

namespace qrnpy {

// True once Python is going away (the module's exit handler ran, or the
// interpreter is finalizing): threads of the driver and threads leaving a
// call made without the GIL must not take the GIL any more.
bool pythonGone();

// A FIFO made from Python: owns the library FIFO until close().  Calls into
// the driver run without the GIL (unlocked()), so that the driver's threads
// may call Python callbacks meanwhile.
class Fifo {
public:
  Fifo(qcPtrHandle<qcAcqFifo> fifo, py::object board, qeImageFormat format);
  ~Fifo();
  Fifo(const Fifo&) = delete;
  Fifo& operator=(const Fifo&) = delete;

  // The FIFO; ValueError once closed (or in a forked child).
  qcAcqFifo& get() const;
  // The handle of the FIFO (a trigger master is given as one); ValueError
  // once closed.
  qcPtrHandle<qcAcqFifo> handle() const {
    get();
    return fifo_;
  }
  bool closed() const { return !fifo_; }
  // Drops the callbacks and destroys the library FIFO (without the GIL).
  // RuntimeError while another thread is inside a call of it.  On a thread
  // of the driver (in a callback) the library FIFO is destroyed on a thread
  // of its own, which waits for the callback to return.
  void close();

  // A call into the driver, holding the GIL only to begin: counts the FIFO
  // busy (close() on another thread refuses meanwhile) and lets the GIL go
  // until it ends.  A thread that ends its call after Python went away
  // stays out of Python for good.
  class Call {
  public:
    explicit Call(Fifo& f);
    ~Call();
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;
    qcAcqFifo& fifo;

  private:
    Fifo& f_;
    PyThreadState* saved_;
  };
  // fn(fifo) as one Call.
  template <class Fn>
  decltype(auto) unlocked(Fn&& fn) {
    const Call call(*this);
    return fn(call.fifo);
  }

  // Closes every FIFO that no thread is in, once threads still inside a call
  // (daemon threads) had a moment to leave it (at interpreter exit, before
  // Python goes).
  static void closeAll();
  // In a forked child: the FIFOs are the parent's, whose driver threads did
  // not come along; they refuse calls, and close() lets go of them without
  // destroying them.
  static void disownAll();

  // The garbage collector's view of the Python objects held: visit(o) for
  // each, a callback twice (the slot, and the driver's copy of it).
  template <class Visit>
  void traverse(Visit&& visit) const {
    for (const py::object* o : {&onComplete, &onOverrun, &onMovePart, &onLight})
      if (*o && !o->is_none()) visit(o->ptr(), fifo_ ? 2 : 1);
    if (master) visit(master.ptr(), 1);
  }

  py::object board;
  qeImageFormat format;
  py::object onComplete, onOverrun, onMovePart, onLight;
  py::object master;  // the Python FIFO given as trigger master
  // Where completions with make_local copy their images.
  const std::shared_ptr<LocalBlocks> localBlocks = newLocalBlocks();

private:
  qcPtrHandle<qcAcqFifo> fifo_;
  std::atomic<int> busy_{0};
  bool disowned_ = false;
};

// A binding of fn(fifo, args...) run as one Call.
template <class R, class... A>
auto unlocked(R (*fn)(qcAcqFifo&, A...)) {
  return [fn](Fifo& f, A... a) -> R { return f.unlocked([&](qcAcqFifo& q) -> R { return fn(q, a...); }); };
}

// One property class of a FIFO's property set.
template <class P>
P& prop(qcAcqFifo& f) {
  return static_cast<P&>(f.properties());
}
template <class P>
P& prop(Fifo& f) {
  return prop<P>(f.get());
}

// A model name as it is compared: lower case, without ' ', '-' and '_'.
std::string nameKey(const std::string& name);

// The FIFO's property classes beyond those of bindFifo (props.cpp).
void bindFifoProps(py::class_<Fifo>& cls);

}  // namespace qrnpy
