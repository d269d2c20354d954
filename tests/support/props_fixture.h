// Helpers for the property tests: a public FIFO that owns a property set
// associated with a recording driver FIFO, archive round trips, hand-written
// archives of older versions, and an assertion counter.
#pragma once

#include <atomic>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>

#include <qrn/acq/hyper/prop/acqprops.h>
#include <qrn/foundation/archive.h>
#include <qrn/foundation/misc.h>

#include "fake_fifo.h"

// Counts debug assertions while alive.
class PropsAssertCounter {
public:
  PropsAssertCounter() {
    prev_ = qf_setAssertObserver([this](const char*, long) { ++n_; });
  }
  ~PropsAssertCounter() { qf_setAssertObserver(prev_); }
  int count() const { return n_; }

private:
  std::atomic<int> n_{0};
  qcAssertObserver prev_;
};

// A public FIFO with a qcAnalogAcqProps associated with its recording driver
// FIFO, as the standard FIFOs make it.
class PropsTestFifo : public qcAcqFifo {
public:
  explicit PropsTestFifo(qcRecordingAcqFifo* drv) : qcAcqFifo(*drv), drv_(drv) { props_.fifo(*drv); }
  ~PropsTestFifo() override { props_.clearFifoAssociation(); }

  qcRecordingAcqFifo& driver() const { return *drv_; }
  qcPtrHandle<qcAcqImage> completeAcq(const CompleteArgs& a) override { return fifo().completeAcq(a); }
  const qcVideoFormat& videoFormat() const override { throw std::logic_error("no format"); }
  qcFrameGrabber& frameGrabber() const override { throw std::logic_error("no grabber"); }
  qeImageFormat imageFormat() const override { return qeImageFormat_Grey8; }

private:
  qc_PelBuffer* baseCompleteCovar(const CompleteArgs&) override { return nullptr; }
  qcAcqProps& propertiesCovar() override { return props_; }

  qcRecordingAcqFifo* drv_;
  qcAnalogAcqProps props_;
};

// Stores a persistent object; returns the archive bytes.
inline std::string propsStore(qcPersistent& p) {
  std::stringstream ss;
  {
    qcArchive ar(ss, qcArchive::store);
    p.serialize(ar);
  }
  return ss.str();
}

// Loads a persistent object from archive bytes.
inline void propsLoad(qcPersistent& p, const std::string& bytes) {
  std::stringstream ss(bytes);
  qcArchive ar(ss, qcArchive::load);
  p.serialize(ar);
}

// Archive bytes written by hand: write(ar) puts the primitives in.
inline std::string propsWrite(const std::function<void(qcArchive&)>& write) {
  std::stringstream ss;
  {
    qcArchive ar(ss, qcArchive::store);
    write(ar);
  }
  return ss.str();
}

// A version byte.
inline unsigned char propsVersion(int v) { return static_cast<unsigned char>(v); }
