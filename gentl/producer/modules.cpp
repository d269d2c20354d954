#include "modules.h"

#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <unordered_map>

#include <qrn/acq/hyper/driver.h>
#include <qrn/foundation/board.h>

#include "remote.h"
#include "stream.h"

namespace qrn_gentl {

// ---- handles ---------------------------------------------------------------------

namespace {
std::unordered_map<const void*, Kind>& table() {
  static auto* t = new std::unordered_map<const void*, Kind>;  // outlives every module
  return *t;
}
}  // namespace

std::recursive_mutex& Handles::lock() {
  static auto* m = new std::recursive_mutex;
  return *m;
}
void Handles::add(const void* h, Kind k) {
  std::lock_guard<std::recursive_mutex> g(lock());
  table()[h] = k;
}
void Handles::remove(const void* h) {
  std::lock_guard<std::recursive_mutex> g(lock());
  table().erase(h);
}
bool Handles::is(const void* h, Kind k) {
  std::lock_guard<std::recursive_mutex> g(lock());
  const auto it = table().find(h);
  return it != table().end() && it->second == k;
}

FeaturePort& portOf(void* h) {
  if (h && Handles::is(h, Kind::System)) return static_cast<System*>(h)->port();
  if (h && Handles::is(h, Kind::Interface)) return static_cast<Interface*>(h)->port();
  if (h && Handles::is(h, Kind::Device)) return static_cast<Device*>(h)->port();
  if (h && Handles::is(h, Kind::Remote)) return static_cast<RemoteDevice*>(h)->port();
  if (h && Handles::is(h, Kind::Stream)) return static_cast<DataStream*>(h)->port();
  fail(GC_ERR_INVALID_HANDLE, "not an open port handle");
}

EventSource& eventSourceOf(void* h) {
  if (h && Handles::is(h, Kind::System)) return *static_cast<System*>(h);
  if (h && Handles::is(h, Kind::Interface)) return *static_cast<Interface*>(h);
  if (h && Handles::is(h, Kind::Device)) return *static_cast<Device*>(h);
  if (h && Handles::is(h, Kind::Stream)) return *static_cast<DataStream*>(h);
  fail(GC_ERR_INVALID_HANDLE, "not an open event source (system, interface, device or data stream)");
}

// ---- events ------------------------------------------------------------------------

void Event::push(std::vector<char> data) {
  {
    std::lock_guard<std::mutex> g(m_);
    q_.push_back(std::move(data));
    ++fired_;
  }
  cv_.notify_one();
}

bool Event::pop(std::uint64_t timeoutMs, std::vector<char>& out, GC_ERROR& code) {
  std::unique_lock<std::mutex> l(m_);
  auto ready = [&] { return killed_ || !q_.empty(); };
  if (timeoutMs == GENTL_INFINITE) {
    cv_.wait(l, ready);
  } else if (!cv_.wait_for(l, std::chrono::milliseconds(std::min<std::uint64_t>(timeoutMs, 1ULL << 40)), ready)) {
    code = GC_ERR_TIMEOUT;
    return false;
  }
  if (killed_) {
    killed_ = false;
    code = GC_ERR_ABORT;
    return false;
  }
  out = std::move(q_.front());
  q_.pop_front();
  return true;
}

void Event::kill() {
  {
    std::lock_guard<std::mutex> g(m_);
    killed_ = true;
  }
  cv_.notify_all();
}

void Event::flush() {
  std::lock_guard<std::mutex> g(m_);
  q_.clear();
}

std::uint64_t Event::inQueue() {
  std::lock_guard<std::mutex> g(m_);
  return q_.size();
}

std::uint64_t Event::fired() {
  std::lock_guard<std::mutex> g(m_);
  return fired_;
}

std::size_t Event::maxSize() const {
  return type_ == EVENT_NEW_BUFFER ? sizeof(EVENT_NEW_BUFFER_DATA) : sizeof(qsGenTLErrorEventData);
}

std::shared_ptr<Event> EventSource::registerEvent(EVENT_TYPE type) {
  if (!offers(type)) fail(GC_ERR_NOT_IMPLEMENTED, "the module has no event of type " + std::to_string(type));
  std::lock_guard<std::mutex> g(m_);
  for (const auto& e : events_)
    if (e->type() == type) fail(GC_ERR_RESOURCE_IN_USE, "the event of type " + std::to_string(type) + " is registered");
  events_.push_back(std::make_shared<Event>(type));
  Handles::add(events_.back().get(), Kind::Event);
  return events_.back();
}

void EventSource::unregisterEvent(EVENT_TYPE type) {
  std::lock_guard<std::mutex> g(m_);
  for (auto it = events_.begin(); it != events_.end(); ++it)
    if ((*it)->type() == type) {
      Handles::remove(it->get());
      (*it)->kill();  // a waiter returns (its object stays alive through its share)
      events_.erase(it);
      return;
    }
  fail(GC_ERR_NOT_AVAILABLE, "no event of type " + std::to_string(type) + " is registered");
}

std::shared_ptr<Event> EventSource::event(EVENT_TYPE type) {
  std::lock_guard<std::mutex> g(m_);
  for (const auto& e : events_)
    if (e->type() == type) return e;
  return nullptr;
}

void EventSource::unregisterAll() {
  std::lock_guard<std::mutex> g(m_);
  for (const auto& e : events_) {
    Handles::remove(e.get());
    e->kill();
  }
  events_.clear();
}

EventSource::~EventSource() { unregisterAll(); }

// ---- drivers and boards ---------------------------------------------------------------

namespace {

// The producer loads the drivers of its own directory, <dir of qrnacq.cti>/drivers
// (the installed package links the simulated board's plugin there), not the
// library's whole driver directory: the camera driver links Aravis 0.8, whose
// symbols would bind to a consumer's own Aravis in the consumer's process.
// The driver loader opens each plugin RTLD_LOCAL.  Set before the board list's
// first use in the process; a process that used the board list before keeps
// its drivers, and the producer still serves only simulated boards.
std::string producerPath() {
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&producerPath), &info) || !info.dli_fname) return {};
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::canonical(info.dli_fname, ec);
  return ec ? std::string() : self.string();
}

void useProducerDrivers() {
  static std::once_flag once;
  std::call_once(once, [] {
    const std::string self = producerPath();
    if (self.empty()) return;
    const std::string dir = (std::filesystem::path(self).parent_path() / "drivers").string();
    qcBoard::setLoadHook([dir] { qf_loadDrivers(dir); });
  });
}

std::map<std::string, std::vector<BoardInfo>> boardsByDriver() {
  useProducerDrivers();
  std::map<std::string, std::vector<BoardInfo>> out;
  for (long i = 0; i < qcBoard::count(); ++i) {
    qcBoard& b = qcBoard::get(i);
    auto* fg = dynamic_cast<qcFrameGrabber*>(&b);
    if (!fg || b.name() != "sim") continue;
    BoardInfo info;
    info.driver = b.name();
    info.id = b.name() + std::to_string(b.bdIdx());
    info.vendor = "Quorin";
    info.model = "Simulated frame grabber";
    info.serial = info.id;
    info.fg = fg;
    out[info.driver].push_back(info);
  }
  return out;
}

}  // namespace

// ---- system ------------------------------------------------------------------------

System::System() {
  for (auto& [driver, boards] : boardsByDriver())
    interfaces_.push_back(std::make_unique<Interface>(*this, driver, boards));
  std::vector<Feature> fs;
  fs.push_back(readOnlyString("TLVendorName", "The producer's maker", [] { return std::string(kVendor); }));
  fs.push_back(readOnlyString("TLModelName", "The producer", [] { return std::string("qrnacq GenTL producer"); }));
  fs.push_back(readOnlyString("TLID", "The producer's id", [] { return std::string("qrnacq"); }));
  fs.push_back(readOnlyString("TLVersion", "The producer's version", [] { return std::string(QRN_GENTL_VERSION); }));
  fs.push_back(readOnlyString("TLType", "The transport layer type", [] { return std::string(kTLType); }));
  fs.push_back(readOnlyInteger("GenTLVersionMajor", "GenTL version implemented", [] { return std::int64_t{1}; }));
  fs.push_back(readOnlyInteger("GenTLVersionMinor", "GenTL version implemented", [] { return std::int64_t{6}; }));
  fs.push_back(readOnlyInteger("InterfaceCount", "Interfaces (one per driver)",
                               [this] { return static_cast<std::int64_t>(interfaces_.size()); }));
  port_ = std::make_unique<FeaturePort>("TLSystem", "qrnacq GenTL system", "qrnacq_system", std::move(fs));
  Handles::add(this, Kind::System);
}

System::~System() {
  closeAll();
  Handles::remove(this);
}

void System::closeAll() {
  for (auto& i : interfaces_) i->close();
  unregisterAll();
}

Interface& System::interface(const std::string& id) {
  for (auto& i : interfaces_)
    if (i->id() == id) return *i;
  fail(GC_ERR_INVALID_ID, "no interface \"" + id + "\"");
}

Info System::info(TL_INFO_CMD cmd) {
  switch (cmd) {
    case TL_INFO_ID:
      return infoString("qrnacq");
    case TL_INFO_VENDOR:
      return infoString(kVendor);
    case TL_INFO_MODEL:
      return infoString("qrnacq GenTL producer");
    case TL_INFO_VERSION:
      return infoString(QRN_GENTL_VERSION);
    case TL_INFO_TLTYPE:
      return infoString(kTLType);
    case TL_INFO_NAME:
      return infoString(std::filesystem::path(producerPath()).filename().string());
    case TL_INFO_PATHNAME:
      return infoString(producerPath());
    case TL_INFO_DISPLAYNAME:
      return infoString("qrnacq (simulated boards)");
    case TL_INFO_CHAR_ENCODING:
      return infoI32(TL_CHAR_ENCODING_ASCII);
    case TL_INFO_GENTL_VER_MAJOR:
      return infoU32(1);
    case TL_INFO_GENTL_VER_MINOR:
      return infoU32(6);
    default:
      fail(GC_ERR_INVALID_PARAMETER, "unknown system info command " + std::to_string(cmd));
  }
}

// ---- interface ------------------------------------------------------------------------

Interface::Interface(System& sys, std::string driver, std::vector<BoardInfo> boards)
    : sys_(sys), id_(std::move(driver)), boards_(std::move(boards)) {
  std::vector<Feature> fs;
  fs.push_back(readOnlyString("InterfaceID", "The interface's id (the driver's name)", [this] { return id_; }));
  fs.push_back(readOnlyString("InterfaceType", "The transport layer type", [] { return std::string(kTLType); }));
  fs.push_back(readOnlyInteger("DeviceCount", "Boards of the driver",
                               [this] { return static_cast<std::int64_t>(boards_.size()); }));
  port_ =
      std::make_unique<FeaturePort>("TLInterface", "qrnacq GenTL interface " + id_, "qrnacq_interface", std::move(fs));
}

Interface::~Interface() { close(); }

void Interface::open() {
  if (open_) fail(GC_ERR_RESOURCE_IN_USE, "interface \"" + id_ + "\" is open");
  open_ = true;
  Handles::add(this, Kind::Interface);
}

void Interface::close() {
  if (!open_) return;
  open_devices_.clear();
  unregisterAll();
  Handles::remove(this);
  open_ = false;
}

Info Interface::info(INTERFACE_INFO_CMD cmd) const {
  switch (cmd) {
    case INTERFACE_INFO_ID:
      return infoString(id_);
    case INTERFACE_INFO_DISPLAYNAME:
      return infoString("qrnacq " + id_ + " boards");
    case INTERFACE_INFO_TLTYPE:
      return infoString(kTLType);
    default:
      fail(GC_ERR_INVALID_PARAMETER, "unknown interface info command " + std::to_string(cmd));
  }
}

const BoardInfo& Interface::board(const std::string& deviceId) const {
  for (const BoardInfo& b : boards_)
    if (b.id == deviceId) return b;
  fail(GC_ERR_INVALID_ID, "no device \"" + deviceId + "\" on interface \"" + id_ + "\"");
}

Info Interface::deviceInfo(const std::string& deviceId, DEVICE_INFO_CMD cmd) const {
  const BoardInfo& b = board(deviceId);
  const bool open =
      std::any_of(open_devices_.begin(), open_devices_.end(), [&](const auto& d) { return d->board().id == deviceId; });
  return boardInfo(b, cmd, open);
}

Info boardInfo(const BoardInfo& b, DEVICE_INFO_CMD cmd, bool open) {
  switch (cmd) {
    case DEVICE_INFO_ID:
      return infoString(b.id);
    case DEVICE_INFO_VENDOR:
      return infoString(b.vendor);
    case DEVICE_INFO_MODEL:
      return infoString(b.model);
    case DEVICE_INFO_TLTYPE:
      return infoString(kTLType);
    case DEVICE_INFO_DISPLAYNAME:
      return infoString(b.model + " " + b.id);
    case DEVICE_INFO_ACCESS_STATUS:
      return infoI32(open ? DEVICE_ACCESS_STATUS_OPEN_READWRITE : DEVICE_ACCESS_STATUS_READWRITE);
    case DEVICE_INFO_USER_DEFINED_NAME:
      return infoString("");
    case DEVICE_INFO_SERIAL_NUMBER:
      return infoString(b.serial);
    case DEVICE_INFO_VERSION:
      return infoString(QRN_GENTL_VERSION);
    case DEVICE_INFO_TIMESTAMP_FREQUENCY:
      return infoU64(1000000);  // time stamps in microseconds
    default:
      fail(GC_ERR_INVALID_PARAMETER, "unknown device info command " + std::to_string(cmd));
  }
}

Device& Interface::openDevice(const std::string& deviceId, DEVICE_ACCESS_FLAGS flags) {
  const BoardInfo& b = board(deviceId);
  if (flags != DEVICE_ACCESS_CONTROL && flags != DEVICE_ACCESS_EXCLUSIVE)
    fail(GC_ERR_ACCESS_DENIED, "devices open with control or exclusive access only");
  for (const auto& d : open_devices_)
    if (d->board().id == deviceId) fail(GC_ERR_RESOURCE_IN_USE, "device \"" + deviceId + "\" is open");
  open_devices_.push_back(std::make_unique<Device>(*this, b));
  return *open_devices_.back();
}

void Interface::deviceClosed(Device* d) {
  open_devices_.erase(
      std::remove_if(open_devices_.begin(), open_devices_.end(), [d](const auto& p) { return p.get() == d; }),
      open_devices_.end());
}

// ---- device ---------------------------------------------------------------------------

Device::Device(Interface& itf, const BoardInfo& board) : itf_(itf), board_(board) {
  remote_ = std::make_unique<RemoteDevice>(*this, board_);
  std::vector<Feature> fs;
  fs.push_back(readOnlyString("DeviceID", "The device's id", [this] { return board_.id; }));
  fs.push_back(readOnlyString("DeviceVendorName", "The maker of the board", [this] { return board_.vendor; }));
  fs.push_back(readOnlyString("DeviceModelName", "The board's model", [this] { return board_.model; }));
  fs.push_back(readOnlyString("DeviceType", "The transport layer type", [] { return std::string(kTLType); }));
  fs.push_back(readOnlyInteger("StreamCount", "Data streams of the device", [] { return std::int64_t{1}; }));
  port_ = std::make_unique<FeaturePort>("TLDevice", "qrnacq GenTL device", "qrnacq_device", std::move(fs));
  Handles::add(this, Kind::Device);
}

Device::~Device() {
  Handles::remove(this);
  stream_.reset();
  unregisterAll();
}

Info Device::info(DEVICE_INFO_CMD cmd) const { return boardInfo(board_, cmd, true); }

DataStream& Device::openStream(const std::string& id) {
  if (id != kStreamId) fail(GC_ERR_INVALID_ID, "no data stream \"" + id + "\" (the device has \"" + kStreamId + "\")");
  if (stream_) fail(GC_ERR_RESOURCE_IN_USE, "the data stream is open");
  stream_ = std::make_unique<DataStream>(*this);
  return *stream_;
}

void Device::streamClosed() { stream_.reset(); }

// ---- library ----------------------------------------------------------------------------

namespace {
bool gInitialized = false;
System* gSystem = nullptr;
}  // namespace

bool Library::initialized() { return gInitialized; }
void Library::init() {
  if (gInitialized) fail(GC_ERR_RESOURCE_IN_USE, "GCInitLib was called already");
  gInitialized = true;
}
void Library::close() {
  require();
  delete gSystem;
  gSystem = nullptr;
  gInitialized = false;
}
void Library::require() {
  if (!gInitialized) fail(GC_ERR_NOT_INITIALIZED, "call GCInitLib first");
}
System*& Library::system() { return gSystem; }

}  // namespace qrn_gentl
