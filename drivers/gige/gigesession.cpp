// Opening a camera through Aravis and reaching its GenICam features.
#include "gigesession.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ostream>
#include <thread>

namespace qrn_gige {

void check(GError* e, const std::string& what) {
  if (!e) return;
  std::string msg = what + ": " + (e->message ? e->message : "Aravis error");
  g_error_free(e);
  throw CouldNotCreate(msg);
}

namespace {

// Aravis's fake interface has one camera, Fake_1; any other name would be
// looked up on every interface, GigE Vision discovery included.
bool isFakeId(const std::string& id) { return id == "fake" || id == "Fake_1"; }

// Opening by name searches Aravis's interfaces, a process-wide list: one
// thread at a time changes it.
std::mutex& interfacesMutex() {
  static std::mutex m;
  return m;
}

// The local address the kernel would use to reach `device` (a UDP connect
// sends nothing).
std::string localAddressFor(const in_addr& device) {
  const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (s < 0) return "0.0.0.0";
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(3956);
  to.sin_addr = device;
  sockaddr_in me{};
  socklen_t len = sizeof me;
  std::string r = "0.0.0.0";
  char buf[INET_ADDRSTRLEN];
  if (::connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0 &&
      ::getsockname(s, reinterpret_cast<sockaddr*>(&me), &len) == 0 && inet_ntop(AF_INET, &me.sin_addr, buf, sizeof buf))
    r = buf;
  ::close(s);
  return r;
}

// Opens a GigE Vision camera by address without any discovery broadcast.
ArvDevice* openByAddress(const std::string& id, const in_addr& addr) {
  GInetAddress* dev = g_inet_address_new_from_string(id.c_str());
  GInetAddress* itf = g_inet_address_new_from_string(localAddressFor(addr).c_str());
  GError* e = nullptr;
  ArvDevice* d = arv_gv_device_new(itf, dev, &e);
  g_object_unref(dev);
  g_object_unref(itf);
  check(e, "gige: camera " + id + " does not answer");
  if (!d) throw CouldNotCreate("gige: camera " + id + " does not answer");
  return d;
}

const char* typeName(ArvGcNode* n) {
  if (ARV_IS_GC_COMMAND(n)) return "Command";
  if (ARV_IS_GC_ENUMERATION(n)) return "Enumeration";
  if (ARV_IS_GC_BOOLEAN(n)) return "Boolean";
  if (ARV_IS_GC_STRING(n)) return "String";
  if (ARV_IS_GC_FLOAT(n)) return "Float";
  if (ARV_IS_GC_INTEGER(n)) return "Integer";
  return "";
}

// The open GigE Vision sessions, so that their cameras are given back when
// the process ends: a camera keeps its control channel for its heartbeat
// timeout (seconds) after a controller went without letting go, and refuses
// every other program meanwhile.
class Handover {
public:
  // Null once destroyed at exit (or when the plugin is unloaded).
  static Handover* get() {
    static Handover h;
    return alive_ ? &h : nullptr;
  }
  void add(Session* s) {
    std::lock_guard<std::mutex> g(m_);
    sessions_.push_back(s);
    if (!watcher_.joinable()) watch_();
  }
  void remove(Session* s) {
    std::lock_guard<std::mutex> g(m_);
    sessions_.erase(std::remove(sessions_.begin(), sessions_.end(), s), sessions_.end());
  }
  void leaveAll() {
    std::lock_guard<std::mutex> g(m_);
    for (Session* s : sessions_) s->leaveControl();
  }
  Handover() { alive_ = true; }
  ~Handover() {
    alive_ = false;
    leaveAll();
    if (watcher_.joinable()) {
      const char quit = 0;
      while (::write(pipe_[1], &quit, 1) < 0 && errno == EINTR) {
      }
      watcher_.join();
    }
    for (int sig : kSignals) restore_(sig);
  }

private:
  static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
  static inline bool alive_ = false;
  static inline int signalPipe_ = -1;
  static inline struct sigaction before_[NSIG] = {};
  static inline bool installed_[NSIG] = {};

  // The signal handler: async-signal-safe, it only wakes the watcher.
  static void onSignal_(int sig) {
    const int saved = errno;
    const char c = static_cast<char>(sig);
    if (signalPipe_ >= 0) (void)!::write(signalPipe_, &c, 1);
    errno = saved;
  }
  static void restore_(int sig) {
    if (installed_[sig]) ::sigaction(sig, &before_[sig], nullptr);
    installed_[sig] = false;
  }

  // Under m_: the pipe, the handlers (only where the application left the
  // default action) and the thread that gives the cameras back on a signal,
  // then lets the signal take its default course.
  void watch_() {
    if (::pipe2(pipe_, O_CLOEXEC) != 0) return;
    signalPipe_ = pipe_[1];
    for (int sig : kSignals) {
      struct sigaction now {};
      if (::sigaction(sig, nullptr, &now) != 0 || now.sa_handler != SIG_DFL || (now.sa_flags & SA_SIGINFO)) continue;
      struct sigaction act {};
      act.sa_handler = &Handover::onSignal_;
      sigemptyset(&act.sa_mask);
      act.sa_flags = SA_RESTART;
      if (::sigaction(sig, &act, &before_[sig]) == 0) installed_[sig] = true;
    }
    watcher_ = std::thread([this] {
      char c = 0;
      while (true) {
        const ssize_t n = ::read(pipe_[0], &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0 || c == 0) return;
        const int sig = static_cast<unsigned char>(c);
        leaveAll();
        restore_(sig);
        ::raise(sig);
      }
    });
  }

  std::mutex m_;
  std::vector<Session*> sessions_;
  int pipe_[2] = {-1, -1};
  std::thread watcher_;
};

}  // namespace

void Session::leaveControl() {
  // A lost camera has no control channel to give back (asking would wait
  // for Aravis's control timeouts).
  if (!gv_ || lost_ || left_.exchange(true)) return;
  arv_gv_device_leave_control(ARV_GV_DEVICE(arv_camera_get_device(cam_)), nullptr);
}

void Session::leaveAllControl() {
  if (Handover* h = Handover::get()) h->leaveAll();
}

Session::Session(const std::string& id) {
  GError* e = nullptr;
  in_addr addr{};
  if (isFakeId(id)) {
    std::lock_guard<std::mutex> g(interfacesMutex());
    arv_enable_interface("Fake");
    cam_ = arv_camera_new("Fake_1", &e);
  } else if (inet_pton(AF_INET, id.c_str(), &addr) == 1) {
    const in_addr_t a = ntohl(addr.s_addr);
    if (a == INADDR_ANY || a == INADDR_BROADCAST || IN_MULTICAST(a))
      throw CouldNotCreate("gige: " + id + " is not the address of one camera");
    ArvDevice* d = openByAddress(id, addr);
    cam_ = arv_camera_new_with_device(d, &e);
    g_object_unref(d);
  } else {
    // A USB3 Vision id: the GigE interface stays out of the search, since
    // looking a name up there would broadcast.
    std::lock_guard<std::mutex> g(interfacesMutex());
    arv_disable_interface("GigEVision");
    cam_ = arv_camera_new(id.c_str(), &e);
    arv_enable_interface("GigEVision");
  }
  if (!cam_ && !e) throw CouldNotCreate("gige: no camera " + id);
  check(e, "gige: camera " + id + " cannot be opened");
  gv_ = arv_camera_is_gv_device(cam_);
  g_signal_connect(arv_camera_get_device(cam_), "control-lost", G_CALLBACK(&Session::onControlLost_), this);
  if (Handover* h = Handover::get(); h && gv_) h->add(this);

  auto text = [](const char* s) { return std::string(s ? s : ""); };
  vendor = text(arv_camera_get_vendor_name(cam_, nullptr));
  model = text(arv_camera_get_model_name(cam_, nullptr));
  gint w = 0, h = 0;
  arv_camera_get_sensor_size(cam_, &w, &h, &e);
  if (e) {
    g_clear_error(&e);
    arv_camera_get_width_bounds(cam_, nullptr, &w, nullptr);
    arv_camera_get_height_bounds(cam_, nullptr, &h, nullptr);
  }
  sensorWidth = w;
  sensorHeight = h;
  guint n = 0;
  if (const char** pf = arv_camera_dup_available_pixel_formats_as_strings(cam_, &n, nullptr)) {
    for (guint i = 0; i < n; ++i) pixelFormats.emplace_back(text(pf[i]));
    g_free(pf);
  }
  guint nc = 0;
  if (gint64* codes = arv_camera_dup_available_pixel_formats(cam_, &nc, nullptr)) {
    if (nc == pixelFormats.size()) pixelFormatCodes.assign(codes, codes + nc);
    g_free(codes);
  }
  if (arv_camera_is_feature_available(cam_, "LineSelector", nullptr) &&
      arv_camera_is_feature_available(cam_, "LineSource", nullptr)) {
    ArvDevice* d = arv_camera_get_device(cam_);
    if (const char** lines = arv_device_dup_available_enumeration_feature_values_as_strings(d, "LineSelector", &n, nullptr)) {
      for (guint i = 0; i < n && strobeLine.empty(); ++i) {
        arv_device_set_string_feature_value(d, "LineSelector", lines[i], nullptr);
        if (arv_device_is_enumeration_entry_available(d, "LineSource", "ExposureActive", nullptr)) strobeLine = lines[i];
      }
      g_free(lines);
    }
  }
}

Session::~Session() {
  if (cam_) {
    if (Handover* h = Handover::get(); h && gv_) h->remove(this);
    leaveControl();  // at once, not when the camera's heartbeat runs out
    g_signal_handlers_disconnect_by_data(arv_camera_get_device(cam_), this);
    g_object_unref(cam_);
  }
}

void Session::onControlLost_(ArvDevice*, gpointer self) {
  auto* s = static_cast<Session*>(self);
  s->lost_ = true;
  std::lock_guard<std::mutex> g(s->lostMx_);
  if (s->onLost_) s->onLost_();
}

void Session::controlTimedOut() {
  if (gv_) onControlLost_(nullptr, this);
}

void Session::onLost(std::function<void()> f) {
  std::lock_guard<std::mutex> g(lostMx_);
  onLost_ = std::move(f);
}

bool Session::fifoOwns(const std::string& name) {
  static const char* const owned[] = {"Width",           "Height",           "OffsetX",
                                      "OffsetY",         "PixelFormat",      "TriggerMode",
                                      "TriggerSource",   "TriggerSelector",  "TriggerActivation",
                                      "AcquisitionMode", "AcquisitionStart", "AcquisitionStop",
                                      "BinningHorizontal", "BinningVertical", "DecimationHorizontal",
                                      "DecimationVertical"};
  return std::any_of(std::begin(owned), std::end(owned), [&](const char* o) { return name == o; });
}

bool Session::offers(const std::string& pf) const {
  return std::find(pixelFormats.begin(), pixelFormats.end(), pf) != pixelFormats.end();
}

std::string Session::pixelFormatFor(Kind k) const {
  return qrn_gige::pixelFormatFor(pixelFormats, k, pixelFormatCodes);
}

std::int64_t Session::pixelFormatCode(const std::string& pf) const {
  for (std::size_t i = 0; i < pixelFormats.size() && i < pixelFormatCodes.size(); ++i)
    if (pixelFormats[i] == pf) return pixelFormatCodes[i];
  return 0;
}

bool Session::has(const char* feature) {
  std::lock_guard<std::mutex> g(m_);
  return arv_camera_is_feature_available(cam_, feature, nullptr);
}

bool Session::hasEntry(const char* feature, const std::string& entry) {
  std::lock_guard<std::mutex> g(m_);
  return arv_camera_is_enumeration_entry_available(cam_, feature, entry.c_str(), nullptr);
}

std::string Session::get(const std::string& name) {
  std::lock_guard<std::mutex> g(m_);
  ArvGcNode* n = arv_device_get_feature(arv_camera_get_device(cam_), name.c_str());
  if (!n || !ARV_IS_GC_FEATURE_NODE(n) || ARV_IS_GC_COMMAND(n)) bad();
  GError* e = nullptr;
  const char* v = arv_gc_feature_node_get_value_as_string(ARV_GC_FEATURE_NODE(n), &e);
  if (e) {
    g_error_free(e);
    bad();
  }
  return v ? v : "";
}

void Session::set(const std::string& name, const std::string& value) {
  std::lock_guard<std::mutex> g(m_);
  ArvGcNode* n = arv_device_get_feature(arv_camera_get_device(cam_), name.c_str());
  if (!n || !ARV_IS_GC_FEATURE_NODE(n)) bad();
  GError* e = nullptr;
  if (ARV_IS_GC_COMMAND(n))
    arv_gc_command_execute(ARV_GC_COMMAND(n), &e);
  else
    arv_gc_feature_node_set_value_from_string(ARV_GC_FEATURE_NODE(n), value.c_str(), &e);
  if (e) {
    g_error_free(e);
    bad();
  }
}

std::vector<qsGigeFeature> Session::list() {
  std::lock_guard<std::mutex> g(m_);
  std::vector<qsGigeFeature> out;
  ArvGc* gc = arv_device_get_genicam(arv_camera_get_device(cam_));
  std::vector<std::string> seen;
  std::function<void(const char*)> walk = [&](const char* name) {
    if (std::find(seen.begin(), seen.end(), name) != seen.end()) return;
    seen.emplace_back(name);
    ArvGcNode* n = arv_gc_get_node(gc, name);
    if (!n) return;
    if (ARV_IS_GC_CATEGORY(n)) {
      for (const GSList* l = arv_gc_category_get_features(ARV_GC_CATEGORY(n)); l; l = l->next)
        walk(static_cast<const char*>(l->data));
      return;
    }
    if (!ARV_IS_GC_FEATURE_NODE(n) || !arv_gc_feature_node_is_implemented(ARV_GC_FEATURE_NODE(n), nullptr)) return;
    qsGigeFeature f{name, typeName(n), {}};
    if (!ARV_IS_GC_COMMAND(n)) {
      GError* e = nullptr;
      const char* v = arv_gc_feature_node_get_value_as_string(ARV_GC_FEATURE_NODE(n), &e);
      if (e) {
        // A camera that does not answer would cost a control timeout per
        // feature: the first one ends the list.
        const bool gone = e->domain == ARV_DEVICE_ERROR || lost_;
        g_error_free(e);
        if (gone) throw CouldNotCreate("gige: the camera does not answer");
      } else if (v) {
        f.value = v;
      }
    }
    out.push_back(std::move(f));
  };
  walk("Root");
  return out;
}

}  // namespace qrn_gige
