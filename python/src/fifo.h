// The Python FIFO (shared by the FIFO, simulator and board bindings).
#pragma once

#include <memory>

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
  bool closed() const { return !fifo_; }
  // Drops the callbacks and destroys the library FIFO (without the GIL).
  void close();
  // Closes every FIFO still open (at interpreter exit, before Python goes).
  static void closeAll();

  py::object board;
  qeImageFormat format;
  py::object onComplete, onOverrun, onMovePart;

private:
  qcPtrHandle<qcAcqFifo> fifo_;
};

}  // namespace qrnpy
