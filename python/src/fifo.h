// The Python FIFO (shared by the FIFO, simulator and board bindings).
#pragma once

#include <atomic>
#include <memory>

#include <qrn/acq/hyper/prop/acqprops.h>

#include "qrnpy.h"

namespace qrnpy {

// A FIFO made from Python: owns the library FIFO until close().  Calls into
// the driver run without the GIL, so that the driver's threads may call
// Python callbacks meanwhile.
class Fifo {
public:
  Fifo(qcPtrHandle<qcAcqFifo> fifo, py::object board, qeImageFormat format);
  ~Fifo();
  Fifo(const Fifo&) = delete;
  Fifo& operator=(const Fifo&) = delete;

  // The FIFO; ValueError once closed.
  qcAcqFifo& get() const;
  // The handle of the FIFO (a trigger master is given as one); ValueError
  // once closed.
  qcPtrHandle<qcAcqFifo> handle() const {
    get();
    return fifo_;
  }
  bool closed() const { return !fifo_; }
  // Drops the callbacks and destroys the library FIFO (without the GIL).
  // RuntimeError while another thread is inside a completion of it.
  void close();
  // Counts a completion running without the GIL (close() refuses meanwhile).
  struct Busy {
    explicit Busy(const Fifo& f) : f_(f) { ++f_.busy_; }
    ~Busy() { --f_.busy_; }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;

  private:
    const Fifo& f_;
  };
  // Closes every FIFO still open (at interpreter exit, before Python goes).
  static void closeAll();

  py::object board;
  qeImageFormat format;
  py::object onComplete, onOverrun, onMovePart, onLight;
  py::object master;  // the Python FIFO given as trigger master

private:
  qcPtrHandle<qcAcqFifo> fifo_;
  mutable std::atomic<int> busy_{0};
};

// One property class of a FIFO's property set.
template <class P>
P& prop(Fifo& f) {
  return static_cast<P&>(f.get().properties());
}

// A model name as it is compared: lower case, without ' ', '-' and '_'.
std::string nameKey(const std::string& name);

// The FIFO's property classes beyond those of bindFifo (props.cpp).
void bindFifoProps(py::class_<Fifo>& cls);

}  // namespace qrnpy
