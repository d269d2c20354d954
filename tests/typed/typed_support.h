// Shared pieces of the typed FIFO tests: a grabber board whose driver makes
// recording driver FIFOs and remembers what it was asked for, buffers whose
// storage can be marked non-local, and an assertion counter.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <set>
#include <vector>

#include <qrn/acq/hyper/typedfifo.h>
#include <qrn/foundation/misc.h>

#include "fake_fifo.h"
#include "fake_grabber.h"
#include "reg_tempstore.h"

// Counts debug assertions while alive.
class TypedAssertCounter {
public:
  TypedAssertCounter() {
    prev_ = qf_setAssertObserver([this](const char*, long) { ++n_; });
  }
  ~TypedAssertCounter() { qf_setAssertObserver(prev_); }
  int count() const { return n_; }

private:
  std::atomic<int> n_{0};
  qcAssertObserver prev_;
};

// A driver that serves chosen internal image types, makes a recording FIFO
// for every request, and remembers the requests.
class TypedTestDriver : public qcTestDriver {
public:
  std::set<long> types{0, -1};                 // image types isSupported(fmt, type) accepts
  std::function<void(qcRecordingAcqFifo&)> setUp;  // run on each FIFO made, before it is returned
  bool makeNothing = false;                    // the factories return null

  std::vector<qcBasicFifoTraits> traitsAsked;
  std::vector<long> typesAsked;
  qcRecordingAcqFifo* last = nullptr;          // the FIFO made last (owned by its public FIFO)

  TypedTestDriver() {
    makeFifo = [this](const qc_VideoFormat&, const qcBasicFifoTraits& t) {
      traitsAsked.push_back(t);
      return make_();
    };
    makeFifoOfType = [this](const qc_VideoFormat&, long type) {
      typesAsked.push_back(type);
      return make_();
    };
  }

  using qcTestDriver::isSupported;
  bool isSupported(const qc_VideoFormat& fmt, long type) const override {
    return qcTestDriver::isSupported(fmt) && types.count(type) > 0;
  }

private:
  qc_AcqFifo* make_() {
    if (makeNothing) return nullptr;
    last = new qcRecordingAcqFifo;
    if (setUp) setUp(*last);
    return last;
  }
};

// An empty registry, one grabber board "g" whose driver object is a
// TypedTestDriver (created at set-up), and a test format the driver
// supports.
class TypedGrabberTest : public ::testing::Test {
protected:
  static constexpr const char* kFormatName = "Typed Test 640x480";

  void SetUp() override {
    board.factory = [] { return new TypedTestDriver; };
    driver = static_cast<TypedTestDriver*>(board.internal());
    driver->supported = {kFormatName};
  }

  RegTempStore reg;
  qcTestBoardList boards;
  qcTestGrabberBoard& board = boards.add<qcTestGrabberBoard>("g", 0);
  TypedTestDriver* driver = nullptr;
  qcTestVideoFormat fmt{kFormatName};
};

// ---- buffers ------------------------------------------------------------------------

// Fills every pel byte with a pattern that depends on the row and column.
inline void fillPattern(const qc_PelBuffer& b, unsigned char seed) {
  const long rowLen = b.width() * static_cast<long>(b.pelSize_());
  for (long y = 0; y < b.height(); ++y)
    for (long i = 0; i < rowLen; ++i) b.bytes_()[y * b.rowBytes_() + i] = static_cast<unsigned char>(seed + 7 * y + i);
}

inline bool samePels(const qc_PelBuffer& a, const qc_PelBuffer& b) {
  if (a.width() != b.width() || a.height() != b.height() || a.pelSize_() != b.pelSize_()) return false;
  const std::size_t rowLen = static_cast<std::size_t>(a.width()) * a.pelSize_();
  for (long y = 0; y < a.height(); ++y)
    if (std::memcmp(a.bytes_() + y * a.rowBytes_(), b.bytes_() + y * b.rowBytes_(), rowLen) != 0) return false;
  return true;
}

// A bound buffer with a pattern; its storage marked non-local when asked.
template <class T>
qcPelBuffer<T> makeImage(bool local, long w = 5, long h = 3) {
  qcPelBuffer<T> b(w, h);
  fillPattern(b, 11);
  b.root()->local(local);
  return b;
}

inline qc3PlanePelBuffer make3PlaneImage(bool local, long w = 5, long h = 3) {
  qc3PlanePelBuffer b(w, h);
  for (int i = 0; i < 3; ++i) {
    fillPattern(b.plane(i), static_cast<unsigned char>(20 * i));
    b.plane(i).root()->local(local);
  }
  return b;
}
