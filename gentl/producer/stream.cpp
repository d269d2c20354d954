#include "stream.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include <qrn/acq/hyper/failurename.h>

namespace qrn_gentl {

namespace {

// How long one completion waits before the worker looks at its stop flag.
constexpr double kSlice = 0.02;

// A completion whose wait ran out (nothing finished yet), as the drivers
// report it: no image, the timeout flag alone, no trigger.
bool waitRanOut(const qcPtrHandle<qcAcqImage>& img, const qcAcquireInfo& info) {
  return (!img || img->isEmpty()) && info.triggerNum() == 0 && info.failure().rawFlags() == qcAcqFailure::kTimeout;
}

// Copies the planes of `b` one after another into dst (at most `room`
// bytes); returns the bytes the image has.
std::size_t copyPlane(const qc_PelBuffer& b, char* dst, std::size_t room) {
  const std::size_t row = static_cast<std::size_t>(b.width()) * b.pelSize_();
  const std::size_t rows = static_cast<std::size_t>(b.height());
  const unsigned char* src = b.bytes_();
  const std::size_t stride = static_cast<std::size_t>(b.rowBytes_());
  if (!src) return 0;
  if (stride == row && row * rows <= room) {
    std::memcpy(dst, src, row * rows);
  } else {
    for (std::size_t y = 0; y < rows && (y + 1) * row <= room; ++y) std::memcpy(dst + y * row, src + y * stride, row);
  }
  return row * rows;
}

std::size_t copyImage(const qcAcqImage& img, char* dst, std::size_t room) {
  if (img.holds<qc3PlanePelBuffer>()) {
    const qc3PlanePelBuffer b = img.threePlane();
    std::size_t at = 0;
    for (const qc_PelBuffer* p :
         {static_cast<const qc_PelBuffer*>(&b.plane0()), static_cast<const qc_PelBuffer*>(&b.plane1()),
          static_cast<const qc_PelBuffer*>(&b.plane2())})
      at += copyPlane(*p, dst + std::min(at, room), room - std::min(at, room));
    return at;
  }
  const qc_PelBuffer* b = img.buffer();
  return b ? copyPlane(*b, dst, room) : 0;
}

}  // namespace

DataStream::DataStream(Device& dev) : dev_(dev), remote_(dev.remote()) {
  std::vector<Feature> fs;
  fs.push_back(readOnlyString("StreamID", "The data stream's id", [] { return std::string(Device::kStreamId); }));
  auto counter = [this](std::uint64_t DataStream::*field) {
    return [this, field] {
      std::lock_guard<std::mutex> g(m_);
      return static_cast<std::int64_t>(this->*field);
    };
  };
  fs.push_back(readOnlyInteger("StreamDeliveredFrameCount", "Buffers delivered", counter(&DataStream::delivered_)));
  fs.push_back(readOnlyInteger("StreamLostFrameCount", "Frames lost for want of a buffer (underruns)",
                               counter(&DataStream::underrun_)));
  fs.push_back(readOnlyInteger("StreamAnnouncedBufferCount", "Buffers announced", [this] {
    std::lock_guard<std::mutex> g(m_);
    return static_cast<std::int64_t>(buffers_.size());
  }));
  port_ = std::make_unique<FeaturePort>("TLDataStream", "qrnacq GenTL data stream", "qrnacq_stream", std::move(fs));
  Handles::add(this, Kind::Stream);
}

DataStream::~DataStream() {
  Handles::remove(this);
  joinWorker();
  unregisterAll();
  for (const auto& b : buffers_) Handles::remove(b.get());
}

void DataStream::joinWorker() {
  stop_ = true;
  if (worker_.joinable()) worker_.join();
  if (grabbing_) {
    FifoGate::Turn t(remote_.gate(), true);
    remote_.fifo().flush();
  }
  grabbing_ = false;
  remote_.streaming = false;
  std::lock_guard<std::mutex> g(m_);
  for (const auto& b : buffers_)
    if (b->state == Buffer::Filling) {
      b->state = Buffer::Queued;
      input_.push_front(b.get());
    }
}

bool DataStream::owns(const Buffer& b) const {
  return std::any_of(buffers_.begin(), buffers_.end(), [&](const auto& p) { return p.get() == &b; });
}

Buffer& DataStream::announce(void* base, std::size_t size, void* user, bool allocate) {
  if (size == 0) fail(GC_ERR_INVALID_PARAMETER, "a buffer of 0 bytes");
  auto b = std::make_unique<Buffer>();
  if (allocate) {
    b->own.reset(new char[size]);
    b->base = b->own.get();
  } else {
    need(base, "the buffer");
    b->base = static_cast<char*>(base);
  }
  b->size = size;
  b->user = user;
  b->owner = this;
  std::lock_guard<std::mutex> g(m_);
  for (const auto& o : buffers_)
    if (!allocate && o->base == b->base) fail(GC_ERR_RESOURCE_IN_USE, "that memory is announced already");
  Handles::add(b.get(), Kind::Buffer);
  buffers_.push_back(std::move(b));
  return *buffers_.back();
}

void DataStream::revoke(Buffer& b, void** base, void** user) {
  std::lock_guard<std::mutex> g(m_);
  if (b.state == Buffer::Queued || b.state == Buffer::Filling || b.state == Buffer::Output)
    fail(GC_ERR_BUSY, "the buffer is queued or awaits delivery: flush it first");
  if (base) *base = b.own ? nullptr : b.base;
  if (user) *user = b.user;
  Handles::remove(&b);
  buffers_.erase(std::find_if(buffers_.begin(), buffers_.end(), [&](const auto& p) { return p.get() == &b; }));
}

void DataStream::queue(Buffer& b) {
  std::lock_guard<std::mutex> g(m_);
  if (b.state == Buffer::Queued || b.state == Buffer::Filling || b.state == Buffer::Output)
    fail(GC_ERR_RESOURCE_IN_USE, "the buffer is queued already");
  b.state = Buffer::Queued;
  b.newData = false;
  input_.push_back(&b);
}

void DataStream::toOutput(Buffer* b) {
  b->state = Buffer::Output;
  ++outputCount_;
  if (std::shared_ptr<Event> e = event(EVENT_NEW_BUFFER)) {
    std::vector<char> data(sizeof(EVENT_NEW_BUFFER_DATA));
    const EVENT_NEW_BUFFER_DATA d{b, b->user};
    std::memcpy(data.data(), &d, sizeof d);
    e->push(std::move(data));
  }
}

void DataStream::delivered(BUFFER_HANDLE h) { leaveOutput(h, Buffer::Delivered); }
void DataStream::discarded(BUFFER_HANDLE h) { leaveOutput(h, Buffer::Announced); }

void DataStream::leaveOutput(BUFFER_HANDLE h, Buffer::State to) {
  std::lock_guard<std::mutex> g(m_);
  for (const auto& b : buffers_)
    if (b.get() == h && b->state == Buffer::Output) {
      b->state = to;
      --outputCount_;
    }
}

void DataStream::flushQueue(ACQ_QUEUE_TYPE op) {
  std::lock_guard<std::mutex> g(m_);
  auto dropOutputEvents = [&] {
    if (std::shared_ptr<Event> e = event(EVENT_NEW_BUFFER)) e->flush();
    outputCount_ = 0;
  };
  switch (op) {
    case ACQ_QUEUE_INPUT_TO_OUTPUT: {
      std::deque<Buffer*> moved;
      moved.swap(input_);
      for (Buffer* b : moved) {
        b->newData = false;
        toOutput(b);
      }
      return;
    }
    case ACQ_QUEUE_OUTPUT_DISCARD:
      for (const auto& b : buffers_)
        if (b->state == Buffer::Output) b->state = Buffer::Announced;
      dropOutputEvents();
      return;
    case ACQ_QUEUE_ALL_TO_INPUT:
      for (const auto& b : buffers_)
        if (b->state == Buffer::Output) {
          b->state = Buffer::Queued;
          input_.push_back(b.get());
        }
      dropOutputEvents();
      return;
    case ACQ_QUEUE_UNQUEUED_TO_INPUT:
      for (const auto& b : buffers_)
        if (b->state == Buffer::Announced || b->state == Buffer::Delivered) {
          b->state = Buffer::Queued;
          input_.push_back(b.get());
        }
      return;
    case ACQ_QUEUE_ALL_DISCARD:
      for (const auto& b : buffers_)
        if (b->state == Buffer::Queued || b->state == Buffer::Output) b->state = Buffer::Announced;
      input_.clear();
      dropOutputEvents();
      return;
    default:
      fail(GC_ERR_INVALID_PARAMETER, "unknown queue operation " + std::to_string(op));
  }
}

void DataStream::start(ACQ_START_FLAGS flags, std::uint64_t count) {
  if (flags != ACQ_START_FLAGS_DEFAULT) fail(GC_ERR_INVALID_PARAMETER, "unknown start flags " + std::to_string(flags));
  if (count == 0) fail(GC_ERR_INVALID_PARAMETER, "0 buffers to acquire");
  if (grabbing_) fail(GC_ERR_RESOURCE_IN_USE, "the acquisition is started");
  {
    std::lock_guard<std::mutex> g(m_);
    if (buffers_.empty()) fail(GC_ERR_RESOURCE_EXHAUSTED, "announce buffers before starting");
  }
  if (worker_.joinable()) worker_.join();  // a run that ended by its count
  {
    FifoGate::Turn t(remote_.gate(), true);
    try {
      remote_.prepareForStream();
    } catch (const qcException& e) {
      fail(GC_ERR_ERROR, std::string("the board cannot start: ") + e.what());
    }
  }
  {
    std::lock_guard<std::mutex> g(m_);
    toAcquire_ = remote_.singleFrame() ? 1 : count;
    ++started_;
  }
  remote_.acquisitionActive = true;
  remote_.streaming = true;
  stop_ = false;
  grabbing_ = true;
  worker_ = std::thread([this] { run(); });
}

void DataStream::stop(ACQ_STOP_FLAGS flags) {
  if (flags != ACQ_STOP_FLAGS_DEFAULT && flags != ACQ_STOP_FLAGS_KILL)
    fail(GC_ERR_INVALID_PARAMETER, "unknown stop flags " + std::to_string(flags));
  if (!grabbing_ && !worker_.joinable()) fail(GC_ERR_RESOURCE_IN_USE, "the acquisition is not started");
  joinWorker();
}

void DataStream::run() {
  const RemoteDevice::Geometry geometry = remote_.geometry();
  const bool continuous = remote_.continuous();
  long ahead = 0, keep = 4;
  bool active = false;
  {
    FifoGate::Turn t(remote_.gate(), false);
    keep = std::max(1L, remote_.fifo().hardwareImagePoolSize());
  }
  while (!stop_) {
    qcPtrHandle<qcAcqImage> img;
    qcAcquireInfo info;
    bool got = false;
    try {
      FifoGate::Turn t(remote_.gate(), false);
      qcAcqFifo& fifo = remote_.fifo();
      const bool want = remote_.acquisitionActive;
      if (active && !want) {
        fifo.flush();
        ahead = 0;
      }
      active = want;
      if (active) {
        // Continuous: the board always has acquisitions started, as a
        // free-running camera always has a frame coming.
        if (continuous && ahead < keep) {
          fifo.start(static_cast<unsigned long>(keep - ahead));
          ahead = keep;
        }
        img = fifo.completeAcq(qcAcqFifo::CompleteArgs().maxWait(kSlice).makeLocal(false).acquireInfo(&info));
        got = !waitRanOut(img, info);
        if (got && ahead > 0) --ahead;
      }
    } catch (const std::exception& e) {
      errorEvent(GC_ERR_ERROR, std::string("the board failed: ") + e.what());
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      continue;
    }
    if (!active) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      continue;
    }
    if (!got) continue;
    deliver(img, info, geometry);
    std::lock_guard<std::mutex> g(m_);
    if (toAcquire_ != GENTL_INFINITE && delivered_ >= toAcquire_) break;
  }
  // Ended by its count: the stream is no longer grabbing.
  if (!stop_) {
    FifoGate::Turn t(remote_.gate(), false);
    remote_.fifo().flush();
  }
  grabbing_ = false;
  remote_.streaming = false;
}

void DataStream::errorEvent(GC_ERROR code, const std::string& text) {
  std::shared_ptr<Event> e = event(EVENT_ERROR);
  if (!e) return;
  qsGenTLErrorEventData d{};
  d.code = code;
  std::strncpy(d.text, text.c_str(), sizeof d.text - 1);
  std::vector<char> data(sizeof d);
  std::memcpy(data.data(), &d, sizeof d);
  e->push(std::move(data));
}

void DataStream::deliver(const qcPtrHandle<qcAcqImage>& img, const qcAcquireInfo& info,
                         const RemoteDevice::Geometry& geometry) {
  const qcAcqFailure f = info.failure();
  const bool hasImage = img && !img->isEmpty();
  const std::string why = f ? "frame " + std::to_string(info.triggerNum()) + ": " + qfDescribeFailure(f) : "";
  Buffer* b = nullptr;
  {
    std::lock_guard<std::mutex> g(m_);
    if ((!hasImage && f.isOverrun()) || input_.empty()) {
      ++underrun_;
    } else {
      b = input_.front();
      input_.pop_front();
      b->state = Buffer::Filling;
    }
  }
  if (f) errorEvent(f.isTimeout() ? GC_ERR_TIMEOUT : GC_ERR_IO, why);
  if (!b) return;
  const std::size_t bytes = hasImage ? copyImage(*img, b->base, b->size) : 0;
  std::lock_guard<std::mutex> g(m_);
  b->newData = true;
  b->image = hasImage;
  b->larger = bytes > b->size;
  b->filled = std::min(bytes, b->size);
  b->incomplete = !hasImage || b->larger || f.isIncomplete() || f.isTimeout();
  b->timeStamp = info.timeStamp();
  b->frameId = info.triggerNum();
  b->geometry = geometry;
  if (hasImage) {
    b->geometry.width = img->buffer() ? img->buffer()->width() : geometry.width;
    b->geometry.height = img->buffer() ? img->buffer()->height() : geometry.height;
  }
  ++delivered_;
  toOutput(b);
}

Buffer& DataStream::bufferAt(std::uint32_t index) {
  std::lock_guard<std::mutex> g(m_);
  if (index >= buffers_.size())
    fail(GC_ERR_INVALID_INDEX, "buffer " + std::to_string(index) + " of " + std::to_string(buffers_.size()));
  return *buffers_[index];
}

Info DataStream::info(STREAM_INFO_CMD cmd) {
  std::lock_guard<std::mutex> g(m_);
  switch (cmd) {
    case STREAM_INFO_ID:
      return infoString(Device::kStreamId);
    case STREAM_INFO_NUM_DELIVERED:
      return infoU64(delivered_);
    case STREAM_INFO_NUM_UNDERRUN:
      return infoU64(underrun_);
    case STREAM_INFO_NUM_ANNOUNCED:
      return infoSize(buffers_.size());
    case STREAM_INFO_NUM_QUEUED:
      return infoSize(input_.size());
    case STREAM_INFO_NUM_AWAIT_DELIVERY:
      return infoSize(outputCount_);
    case STREAM_INFO_NUM_STARTED:
      return infoU64(started_);
    case STREAM_INFO_PAYLOAD_SIZE:
      return infoSize(remote_.geometry().payload());
    case STREAM_INFO_IS_GRABBING:
      return infoBool(grabbing_);
    case STREAM_INFO_DEFINES_PAYLOADSIZE:
      return infoBool(true);
    case STREAM_INFO_TLTYPE:
      return infoString(kTLType);
    case STREAM_INFO_NUM_CHUNKS_MAX:
      return infoSize(0);
    case STREAM_INFO_BUF_ANNOUNCE_MIN:
      return infoSize(1);
    case STREAM_INFO_BUF_ALIGNMENT:
      return infoSize(1);
    default:
      fail(GC_ERR_INVALID_PARAMETER, "unknown stream info command " + std::to_string(cmd));
  }
}

Info DataStream::bufferInfo(Buffer& b, BUFFER_INFO_CMD cmd) {
  std::lock_guard<std::mutex> g(m_);
  const RemoteDevice::Geometry& gm = b.geometry;
  const bool image = b.image && gm.format;
  auto whenImage = [&](std::size_t v) { return infoSize(image ? v : 0); };
  switch (cmd) {
    case BUFFER_INFO_BASE:
      return infoPtr(b.base);
    case BUFFER_INFO_SIZE:
      return infoSize(b.size);
    case BUFFER_INFO_USER_PTR:
      return infoPtr(b.user);
    case BUFFER_INFO_TIMESTAMP:
      return infoU64(b.timeStamp);
    case BUFFER_INFO_TIMESTAMP_NS:
      return infoU64(b.timeStamp * 1000);
    case BUFFER_INFO_NEW_DATA:
      return infoBool(b.newData);
    case BUFFER_INFO_IS_QUEUED:
      return infoBool(b.state == Buffer::Queued || b.state == Buffer::Filling);
    case BUFFER_INFO_IS_ACQUIRING:
      return infoBool(b.state == Buffer::Filling);
    case BUFFER_INFO_IS_INCOMPLETE:
      return infoBool(b.incomplete);
    case BUFFER_INFO_TLTYPE:
      return infoString(kTLType);
    case BUFFER_INFO_SIZE_FILLED:
      return infoSize(b.filled);
    case BUFFER_INFO_DATA_SIZE:
      return infoSize(b.filled);
    case BUFFER_INFO_WIDTH:
      return whenImage(static_cast<std::size_t>(gm.width));
    case BUFFER_INFO_HEIGHT:
    case BUFFER_INFO_DELIVERED_IMAGEHEIGHT:
      return whenImage(static_cast<std::size_t>(gm.height));
    case BUFFER_INFO_XOFFSET:
      return whenImage(static_cast<std::size_t>(gm.offsetX));
    case BUFFER_INFO_YOFFSET:
      return whenImage(static_cast<std::size_t>(gm.offsetY));
    case BUFFER_INFO_XPADDING:
    case BUFFER_INFO_YPADDING:
      return infoSize(0);
    case BUFFER_INFO_FRAMEID:
      return infoU64(b.frameId);
    case BUFFER_INFO_IMAGEPRESENT:
      return infoBool(image);
    case BUFFER_INFO_IMAGEOFFSET:
      return infoSize(0);
    case BUFFER_INFO_PAYLOADTYPE:
      return infoSize(PAYLOAD_TYPE_IMAGE);
    case BUFFER_INFO_PIXELFORMAT:
      return infoU64(gm.format ? gm.format->pfnc : 0);
    case BUFFER_INFO_PIXELFORMAT_NAMESPACE:
      return infoU64(gm.format ? PIXELFORMAT_NAMESPACE_PFNC_32BIT : PIXELFORMAT_NAMESPACE_UNKNOWN);
    case BUFFER_INFO_PIXEL_ENDIANNESS:
      return infoI32(PIXELENDIANNESS_LITTLE);
    case BUFFER_INFO_DATA_LARGER_THAN_BUFFER:
      return infoBool(b.larger);
    case BUFFER_INFO_CONTAINS_CHUNKDATA:
      return infoBool(false);
    case BUFFER_INFO_DELIVERED_CHUNKPAYLOADSIZE:
      return infoSize(0);
    default:
      fail(GC_ERR_INVALID_PARAMETER, "unknown or unavailable buffer info command " + std::to_string(cmd));
  }
}

}  // namespace qrn_gentl
