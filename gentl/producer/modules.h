// The producer's modules: system -> one interface per driver -> one device per
// board -> one data stream per device, with the remote device (the board as a
// GenICam camera), buffers and events.  Handles given to the consumer are
// pointers to these objects, checked against the table of live handles
// before any use (a closed or foreign handle gives GC_ERR_INVALID_HANDLE).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <qrn/acq/format/vidfmt.h>
#include <qrn/acq/hyper/acqfifo.h>
#include <qrn/acq/hyper/framegrabber.h>

#include "errors.h"
#include "genicam.h"

namespace qrn_gentl {

class Interface;
class Device;
class DataStream;

// ---- handles -----------------------------------------------------------------
enum class Kind { System, Interface, Device, Remote, Stream, Buffer, Event };

// The table of live handles.  Entry points take lock() for their whole call
// (the consumer's calls are serialised), except the waits of EventGetData.
struct Handles {
  static std::recursive_mutex& lock();
  static void add(const void* h, Kind k);
  static void remove(const void* h);
  static bool is(const void* h, Kind k);
};
template <class T>
T& handle(void* h) {
  if (!h || !Handles::is(h, T::kKind)) fail(GC_ERR_INVALID_HANDLE, std::string("not an open ") + T::kWhat + " handle");
  return *static_cast<T*>(h);
}

// ---- events --------------------------------------------------------------------
// One registered event of a module: a queue of data items that EventGetData
// takes, with a kill flag.  Shared with waiters, so that a close during a
// wait leaves the waiter's object alive.
class Event : public std::enable_shared_from_this<Event> {
 public:
  static constexpr Kind kKind = Kind::Event;
  static constexpr const char* kWhat = "event";
  explicit Event(EVENT_TYPE type) : type_(type) {}
  EVENT_TYPE type() const { return type_; }
  void push(std::vector<char> data);
  // Waits up to timeoutMs (GENTL_INFINITE: no limit) for an item: false with
  // GC_ERR_TIMEOUT, GC_ERR_ABORT (killed; the kill is used up) as the code.
  bool pop(std::uint64_t timeoutMs, std::vector<char>& out, GC_ERROR& code);
  void kill();
  void flush();
  // Drops the items for which drop(item) says so.
  template <class F>
  void dropIf(F drop) {
    std::lock_guard<std::mutex> g(m_);
    for (auto it = q_.begin(); it != q_.end();) it = drop(*it) ? q_.erase(it) : it + 1;
  }
  std::uint64_t inQueue();
  std::uint64_t fired();
  std::size_t maxSize() const;

 private:
  const EVENT_TYPE type_;
  std::mutex m_;
  std::condition_variable cv_;
  std::deque<std::vector<char>> q_;
  bool killed_ = false;
  std::uint64_t fired_ = 0;
};

// The events a module can register (one of each type).
class EventSource {
 public:
  std::shared_ptr<Event> registerEvent(EVENT_TYPE type);  // throws
  void unregisterEvent(EVENT_TYPE type);                  // throws
  std::shared_ptr<Event> event(EVENT_TYPE type);          // null when not registered
  void unregisterAll();
  virtual ~EventSource();

 protected:
  virtual bool offers(EVENT_TYPE type) const = 0;

 private:
  std::mutex m_;
  std::vector<std::shared_ptr<Event>> events_;
};

// ---- system, interfaces, devices ----------------------------------------------------
class System : public EventSource {
 public:
  static constexpr Kind kKind = Kind::System;
  static constexpr const char* kWhat = "system";
  System();
  ~System() override;
  // What the system answers (also before TLOpen, for GCGetInfo).
  static Info info(TL_INFO_CMD cmd);
  const std::vector<std::unique_ptr<Interface>>& interfaces() const { return interfaces_; }
  Interface& interface(const std::string& id);
  FeaturePort& port() { return *port_; }
  void closeAll();

 protected:
  bool offers(EVENT_TYPE) const override { return false; }

 private:
  std::vector<std::unique_ptr<Interface>> interfaces_;
  std::unique_ptr<FeaturePort> port_;
};

// The information every module level tells of a board.
struct BoardInfo {
  std::string id;      // "sim0"
  std::string driver;  // "sim"
  std::string vendor, model, serial;
  qcFrameGrabber* fg = nullptr;
};

class Interface : public EventSource {
 public:
  static constexpr Kind kKind = Kind::Interface;
  static constexpr const char* kWhat = "interface";
  Interface(System& sys, std::string driver, std::vector<BoardInfo> boards);
  ~Interface() override;
  const std::string& id() const { return id_; }
  System& system() { return sys_; }
  bool isOpen() const { return open_; }
  void open();
  void close();
  Info info(INTERFACE_INFO_CMD cmd) const;
  const std::vector<BoardInfo>& boards() const { return boards_; }
  const BoardInfo& board(const std::string& deviceId) const;
  Info deviceInfo(const std::string& deviceId, DEVICE_INFO_CMD cmd) const;
  Device& openDevice(const std::string& deviceId, DEVICE_ACCESS_FLAGS flags);
  void deviceClosed(Device* d);
  FeaturePort& port() { return *port_; }

 protected:
  bool offers(EVENT_TYPE) const override { return false; }

 private:
  System& sys_;
  std::string id_;
  std::vector<BoardInfo> boards_;
  std::vector<std::unique_ptr<Device>> open_devices_;
  std::unique_ptr<FeaturePort> port_;
  bool open_ = false;
};

class RemoteDevice;

class Device : public EventSource {
 public:
  static constexpr Kind kKind = Kind::Device;
  static constexpr const char* kWhat = "device";
  Device(Interface& itf, const BoardInfo& board);
  ~Device() override;
  Interface& parent() { return itf_; }
  const BoardInfo& board() const { return board_; }
  Info info(DEVICE_INFO_CMD cmd) const;
  RemoteDevice& remote() { return *remote_; }
  static constexpr const char* kStreamId = "Stream0";
  DataStream& openStream(const std::string& id);
  DataStream* stream() { return stream_.get(); }
  void streamClosed();
  FeaturePort& port() { return *port_; }

 protected:
  bool offers(EVENT_TYPE) const override { return false; }

 private:
  Interface& itf_;
  BoardInfo board_;
  std::unique_ptr<RemoteDevice> remote_;
  std::unique_ptr<DataStream> stream_;
  std::unique_ptr<FeaturePort> port_;
};

// Info of a board as DEVICE_INFO_* answers it (IFGetDeviceInfo, DevGetInfo).
Info boardInfo(const BoardInfo& b, DEVICE_INFO_CMD cmd, bool open);

// The producer's TL type for its modules.
inline constexpr const char* kTLType = "Custom";
inline constexpr const char* kVendor = "Quorin";

// The port behind a port handle (system, interface, device, remote device or
// data stream); throws GC_ERR_INVALID_HANDLE.
FeaturePort& portOf(void* h);
// The event source behind an event source handle.
EventSource& eventSourceOf(void* h);

// The library state between GCInitLib and GCCloseLib.
struct Library {
  static bool initialized();
  static void init();   // throws GC_ERR_RESOURCE_IN_USE when initialised
  static void close();  // closes every module; throws GC_ERR_NOT_INITIALIZED
  static void require();
  static System*& system();
};

}  // namespace qrn_gentl
