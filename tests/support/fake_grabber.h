// Boards and frame-grabber drivers for tests.
//
//   qcTestPlainBoard    a board that is not a frame grabber;
//   qcTestDriver        a qc_FrameGrabber whose answers the test sets, counting
//                       the calls it gets;
//   qcTestGrabberBoard  a board that is also a qcFrameGrabber, creating a
//                       qcTestDriver (or what `factory` makes) on first use.
//
// Add boards to the process's board list with qcBoard::add and empty it with
// qcBoard::clear_() (qcTestBoardList does both around a test).  A
// qcTestGrabberBoard deletes the driver object it created when it is
// destroyed, unless multi-process access is on (then the grabber does).
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>

#include <qrn/acq/hyper/framegrabber.h>
#include <qrn/foundation/board.h>

class qcTestPlainBoard : public qcBoard {
public:
  qcTestPlainBoard(std::string name, long idx) : name_(std::move(name)), idx_(idx) {}
  std::string name() const override { return name_; }
  long bdIdx() const override { return idx_; }

private:
  std::string name_;
  long idx_;
};

class qcTestDriver : public qc_FrameGrabber {
public:
  long channels = 1;
  long cameraPorts = 0;                   // numCameraPort(const qc_VideoFormat&)
  std::set<std::string> supported;        // names that isSupported(fmt) accepts
  bool ccfs = false;
  long cvm = -2;
  std::string uniqueId;
  // The traits factory; unset: the framework default (NotSupported).
  std::function<qc_AcqFifo*(const qc_VideoFormat&, const qcBasicFifoTraits&)> makeFifo;
  std::function<qc_AcqFifo*(const qc_VideoFormat&, long)> makeFifoOfType;

  mutable std::atomic<int> isSupportedCalls{0};
  std::atomic<int> disconnectCalls{0};
  std::function<void()> onDestroy;

  ~qcTestDriver() override {
    if (onDestroy) onDestroy();
  }

  long numChannels() const override { return channels; }
  using qc_FrameGrabber::isSupported;
  using qc_FrameGrabber::newAcqFifo;
  using qc_FrameGrabber::numCameraPort;
  bool isSupported(const qc_VideoFormat& fmt) const override {
    ++isSupportedCalls;
    return supported.count(fmt.name()) > 0;
  }
  long numCameraPort(const qc_VideoFormat&) const override { return cameraPorts; }
  qc_AcqFifo* newAcqFifo(const qc_VideoFormat& fmt, const qcBasicFifoTraits& traits) override {
    return makeFifo ? makeFifo(fmt, traits) : qc_FrameGrabber::newAcqFifo(fmt, traits);
  }
  qc_AcqFifo* newAcqFifo(const qc_VideoFormat& fmt, long type) override {
    return makeFifoOfType ? makeFifoOfType(fmt, type) : qc_FrameGrabber::newAcqFifo(fmt, type);
  }
  bool supportsCCFs() const override { return ccfs; }
  long readCvmId() const override { return cvm; }
  void disconnect(bool) override { ++disconnectCalls; }
  std::string getUniqueId() const override { return uniqueId; }
};

class qcTestGrabberBoard : public qcBoard, public qcFrameGrabber {
public:
  qcTestGrabberBoard(std::string name, long idx) : name_(std::move(name)), idx_(idx) {}
  ~qcTestGrabberBoard() override {
    if (!multiProcessAccess()) delete created_.load();
  }

  // What createInternal() returns; unset: a new qcTestDriver.
  std::function<qc_FrameGrabber*()> factory;
  std::atomic<int> creations{0};
  bool multiProcessSupported = false;

  std::string name() const override { return name_; }
  long bdIdx() const override { return idx_; }
  bool isMultiProcessAccessSupported() const override { return multiProcessSupported; }
  // Drivers open the window for multi-process access.
  using qcFrameGrabber::multiProcessAccessAllowed;

  // The driver object made so far (null before first use), without making one.
  qcTestDriver* driver() const { return dynamic_cast<qcTestDriver*>(created_.load()); }

protected:
  qc_FrameGrabber* createInternal() override {
    ++creations;
    qc_FrameGrabber* d = factory ? factory() : new qcTestDriver;
    created_ = d;
    return d;
  }

private:
  std::string name_;
  long idx_;
  std::atomic<qc_FrameGrabber*> created_{nullptr};
};

// Empties the board list for a test and again afterwards (after the list's
// load hook has run, so installed drivers do not come back).
class qcTestBoardList {
public:
  qcTestBoardList() {
    qcBoard::runLoadHook();
    qcBoard::clear_();
  }
  ~qcTestBoardList() { qcBoard::clear_(); }
  qcTestBoardList(const qcTestBoardList&) = delete;
  qcTestBoardList& operator=(const qcTestBoardList&) = delete;

  template <class B, class... A>
  B& add(A&&... args) {
    return static_cast<B&>(qcBoard::add(std::make_unique<B>(std::forward<A>(args)...)));
  }
};

// A standard video format made for a test, kept out of the format lists (so
// it is found by no name lookup and replaces no catalogue format).  Its
// name's storage must outlive it.
class qcTestVideoFormat {
public:
  explicit qcTestVideoFormat(const char* name, long width = 640, long height = 480)
      : base_{name, width, height, 8, false, false, false, true}, internal_(base_, qe_pelType_unspecified),
        format_(internal_) {}
  qcTestVideoFormat(const qcTestVideoFormat&) = delete;
  qcTestVideoFormat& operator=(const qcTestVideoFormat&) = delete;

  const qcStdVideoFormat& format() const { return format_; }
  operator const qcStdVideoFormat&() const { return format_; }
  const qc_VideoFormat& internal() const { return internal_; }

private:
  qc_BaseVideoFormat base_;
  qc_VideoFormat internal_;
  qcStdVideoFormat format_;
};
