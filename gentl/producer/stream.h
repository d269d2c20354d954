// The data stream: announced buffers, the input pool and the output queue,
// and the worker thread that completes the board's acquisitions into the
// consumer's buffers (one copy: the board renders into its own pool images,
// which are lent, not made local, and copied once into the consumer's
// buffer).  A failed acquisition is never dropped silently: no buffer queued
// counts as an underrun, as does a frame the board lost (overrun); a failure
// without an image delivers an empty incomplete buffer and any failure fires
// the stream's error event with the library's description of it.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <qrn/acq/hyper/acqinfo.h>
#include <qrn/foundation/pelbuffer.h>

#include "modules.h"
#include "remote.h"

namespace qrn_gentl {

class Buffer {
 public:
  static constexpr Kind kKind = Kind::Buffer;
  static constexpr const char* kWhat = "buffer";
  enum State { Announced, Queued, Filling, Output, Delivered };
  char* base = nullptr;
  std::size_t size = 0;
  void* user = nullptr;
  DataStream* owner = nullptr;
  std::unique_ptr<char[]> own;  // DSAllocAndAnnounceBuffer
  State state = Announced;
  // What the last fill left.
  bool newData = false, incomplete = false, image = false, larger = false;
  std::size_t filled = 0;
  std::uint64_t timeStamp = 0, frameId = 0;
  RemoteDevice::Geometry geometry{};
};

class DataStream : public EventSource {
 public:
  static constexpr Kind kKind = Kind::Stream;
  static constexpr const char* kWhat = "data stream";
  explicit DataStream(Device& dev);
  ~DataStream() override;
  Device& device() { return dev_; }
  FeaturePort& port() { return *port_; }

  Buffer& announce(void* base, std::size_t size, void* user, bool allocate);
  void revoke(Buffer& b, void** base, void** user);
  void queue(Buffer& b);
  void flushQueue(ACQ_QUEUE_TYPE op);
  void start(ACQ_START_FLAGS flags, std::uint64_t count);
  void stop(ACQ_STOP_FLAGS flags);
  Info info(STREAM_INFO_CMD cmd);
  Info bufferInfo(Buffer& b, BUFFER_INFO_CMD cmd);
  Buffer& bufferAt(std::uint32_t index);
  bool owns(const Buffer& b) const;
  // EventGetData on the new-buffer event hands the buffer to the consumer.
  void delivered(BUFFER_HANDLE h);
  // EventFlush dropped the buffer's event: it leaves the output queue.
  void discarded(BUFFER_HANDLE h);

 protected:
  bool offers(EVENT_TYPE type) const override { return type == EVENT_NEW_BUFFER || type == EVENT_ERROR; }

 private:
  void run();
  void deliver(const qcPtrHandle<qcAcqImage>& img, const qcAcquireInfo& info, const RemoteDevice::Geometry& g);
  void toOutput(Buffer* b);
  void leaveOutput(BUFFER_HANDLE h, Buffer::State to);
  void errorEvent(GC_ERROR code, const std::string& text);
  void joinWorker();

  Device& dev_;
  RemoteDevice& remote_;
  std::unique_ptr<FeaturePort> port_;
  std::mutex m_;  // the pools and counters below
  std::vector<std::unique_ptr<Buffer>> buffers_;
  std::deque<Buffer*> input_;
  std::uint64_t delivered_ = 0, underrun_ = 0, started_ = 0, toAcquire_ = 0, outputCount_ = 0;
  std::atomic<bool> grabbing_{false}, stop_{false};
  std::thread worker_;
};

}  // namespace qrn_gentl
