// The remote device: a board as a GenICam camera.  Its features (SFNC names)
// are the library's FIFO properties: the board's FIFO for the chosen pixel
// format lives here, made again when the pixel format changes, and every
// write goes to its property set (refused, as the library refuses it, with
// the library's text).  The size, offsets and pixel format are locked while
// the data stream runs (the buffers were sized for them).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <qrn/acq/format/vidfmt.h>
#include <qrn/acq/hyper/acqfifo.h>
#include <qrn/acq/hyper/framegrabber.h>
#include <qrn/foundation/handle.h>

#include "genicam.h"
#include "modules.h"

namespace qrn_gentl {

// One pixel format a device may offer: its PFNC name and value, the image
// format of the library that delivers it, bytes per pel and plane, planes,
// and the simulator's test image it needs (mosaics), if any.
struct PixelFormat {
  const char* name;
  std::uint64_t pfnc;
  qeImageFormat image;
  int bytesPerPel;
  int planes;
  const char* testImage;
};
// Every pixel format the producer knows; a device offers those its board
// supports.
const std::vector<PixelFormat>& pixelFormats();

// The FIFO is used by one thread at a time: the stream's worker and the
// consumer's feature writes take turns through this gate, and a waiting
// consumer goes before the worker's next turn.
class FifoGate {
 public:
  void enter(bool consumer);
  void leave();
  // A turn for the scope of the object.
  struct Turn {
    FifoGate& g;
    Turn(FifoGate& gate, bool consumer) : g(gate) { g.enter(consumer); }
    ~Turn() { g.leave(); }
    Turn(const Turn&) = delete;
    Turn& operator=(const Turn&) = delete;
  };

 private:
  std::mutex m_;
  std::condition_variable cv_;
  bool busy_ = false;
  int consumers_ = 0;
};

class RemoteDevice {
 public:
  static constexpr Kind kKind = Kind::Remote;
  static constexpr const char* kWhat = "remote device port";

  RemoteDevice(Device& dev, const BoardInfo& board);
  ~RemoteDevice();
  FeaturePort& port() { return *port_; }
  Device& device() { return dev_; }

  // What the stream needs (each read at its start; the stream's run locks
  // them).
  struct Geometry {
    long width, height, offsetX, offsetY;
    const PixelFormat* format;
    std::size_t payload() const {
      return static_cast<std::size_t>(width) * static_cast<std::size_t>(height) *
             static_cast<std::size_t>(format->bytesPerPel * format->planes);
    }
  };
  Geometry geometry() const;
  FifoGate& gate() { return gate_; }
  // The FIFO; use it inside a turn of gate().
  qcAcqFifo& fifo() { return *fifo_; }
  // Trigger mode off: the camera runs continuously.
  bool continuous() const { return triggerMode_ == 0; }
  bool singleFrame() const { return acquisitionMode_ == 1; }
  // AcquisitionStart / AcquisitionStop (started again with every stream start).
  std::atomic<bool> acquisitionActive{true};
  // Set by the stream while it runs.
  std::atomic<bool> streaming{false};
  // Readies the FIFO for a stream (its trigger model; inside a turn).
  void prepareForStream();

 private:
  void makeFifo(const PixelFormat& pf);
  void applyRoi(long w, long h, long x, long y);
  void applyFramePeriod();
  void applyTestImage();
  void sendCustom(const std::string& name, const std::string& value);
  void requireUnlocked(const char* what) const;
  std::vector<Feature> features();

  Device& dev_;
  BoardInfo board_;
  FifoGate gate_;
  std::vector<const PixelFormat*> offered_;
  const PixelFormat* format_ = nullptr;
  qcPtrHandle<qcAcqFifo> fifo_;
  long width_ = 640, height_ = 480, offsetX_ = 0, offsetY_ = 0;
  std::int64_t acquisitionMode_ = 0, triggerMode_ = 0, triggerSource_ = 0, testPattern_ = 0;
  bool rateEnabled_ = true;
  double frameRate_ = 30.0;
  std::int64_t paramsLocked_ = 0;
  std::string userId_, lastCustom_;
  std::unique_ptr<FeaturePort> port_;
};

}  // namespace qrn_gentl
