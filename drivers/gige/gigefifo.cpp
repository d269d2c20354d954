// The camera driver FIFO: its life, its state and its property query.
#include "gigefifo.h"

#include <typeinfo>

#include <qrn/acq/hyper/prop/acqprops.h>

namespace qrn_gige {

namespace {

// The camera's pixel format for FIFOs of `kind`; throws CouldNotCreate when
// it offers none.
// Frees the streams of lost cameras on a thread of its own, so that a FIFO
// goes at once.  The thread is joined when the process ends (or the plugin
// is unloaded), after the streams still queued are freed.
class StreamReaper {
public:
  static StreamReaper& get() {
    static StreamReaper r;
    return r;
  }
  void free(ArvStream* st) {
    {
      std::lock_guard<std::mutex> g(m_);
      queue_.push_back(st);
      if (!thread_.joinable()) thread_ = std::thread([this] { run_(); });
    }
    cv_.notify_one();
  }
  ~StreamReaper() {
    {
      std::lock_guard<std::mutex> g(m_);
      stop_ = true;
    }
    cv_.notify_one();
    if (thread_.joinable()) thread_.join();
  }

private:
  void run_() {
    std::unique_lock<std::mutex> lk(m_);
    while (true) {
      cv_.wait(lk, [&] { return stop_ || !queue_.empty(); });
      if (queue_.empty()) return;  // stopping, nothing left
      ArvStream* st = queue_.front();
      queue_.pop_front();
      lk.unlock();
      g_object_unref(st);
      lk.lock();
    }
  }
  std::mutex m_;
  std::condition_variable cv_;
  std::deque<ArvStream*> queue_;
  bool stop_ = false;
  std::thread thread_;
};

std::string formatFor(const Session& s, const std::string& id, Kind kind) {
  std::string pf = s.pixelFormatFor(kind);
  if (pf.empty()) throw CouldNotCreate("gige: camera " + id + " offers no pixel format for this FIFO");
  return pf;
}

}  // namespace

// ============================================================================
// Property query
// ============================================================================

#define QRN_GIGE_QUERY_IMPL_(P, cond)                                          \
  GigeQuery::operator P*() const { return props && (cond) ? props : nullptr; } \
  GigeQuery::operator P&() const {                                             \
    if (!props || !(cond)) throw std::bad_cast();                              \
    return *props;                                                             \
  }
QRN_GIGE_QUERY_IMPL_(qcTriggerProp, true)
QRN_GIGE_QUERY_IMPL_(qcStrobeProp, strobe)
QRN_GIGE_QUERY_IMPL_(qcExposureProp, exposure)
QRN_GIGE_QUERY_IMPL_(qcTimeoutProp, true)
QRN_GIGE_QUERY_IMPL_(qcMovePartCallbackProp, true)
QRN_GIGE_QUERY_IMPL_(qcOverrunCallbackProp, true)
QRN_GIGE_QUERY_IMPL_(qcCompleteCallbackProp, true)
QRN_GIGE_QUERY_IMPL_(qcRoiProp, true)
QRN_GIGE_QUERY_IMPL_(qcContrastBrightnessProp, contrast)
QRN_GIGE_QUERY_IMPL_(qcCustomProp, true)
#undef QRN_GIGE_QUERY_IMPL_

// ============================================================================
// Life
// ============================================================================

GigeFifo::GigeFifo(std::shared_ptr<Session> session, const std::string& id, long width, long height, Kind kind)
    : s_(std::move(session)), id_(id), width_(width), height_(height), kind_(kind),
      pixelFormat_(formatFor(*s_, id, kind)), conv_(pixelFormat_, kind, s_->pixelFormatCode(pixelFormat_)) {
  {
    std::lock_guard<std::mutex> g(s_->mutex());
    ArvCamera* c = s_->camera();
    // Gain and black-level ranges may depend on the pixel format.
    GError* e = nullptr;
    arv_camera_set_pixel_format_from_string(c, pixelFormat_.c_str(), &e);
    check(e, "gige: pixel format " + pixelFormat_);
    query_.exposure = arv_camera_is_exposure_time_available(c, nullptr);
    if (query_.exposure) defaultExposure_ = arv_camera_get_exposure_time(c, nullptr) * 1e-6;
    triggerRetry_ = triggerRetry(defaultExposure_);
    auto spread = [](double v, double lo, double hi) { return hi > lo ? std::clamp((v - lo) / (hi - lo), 0.0, 1.0) : 0.5; };
    if (arv_camera_is_gain_available(c, nullptr)) {
      arv_camera_get_gain_bounds(c, &gainMin_, &gainMax_, nullptr);
      defaultContrast_ = spread(arv_camera_get_gain(c, nullptr), gainMin_, gainMax_);
      query_.contrast = true;
    }
    if (arv_camera_is_black_level_available(c, nullptr)) {
      arv_camera_get_black_level_bounds(c, &blackMin_, &blackMax_, nullptr);
      defaultBrightness_ = spread(arv_camera_get_black_level(c, nullptr), blackMin_, blackMax_);
      query_.contrast = true;
    }
    softwareTrigger_ = arv_camera_is_software_trigger_supported(c, nullptr);
    query_.strobe = !s_->strobeLine.empty();
    if (s_->isGv()) {
      // Good GigE practice: the largest packet the path carries.
      arv_camera_gv_auto_packet_size(c, &e);
      g_clear_error(&e);
    }
  }
  worker_ = std::thread([this] { run_(); });
  s_->onLost([this] {
    { std::lock_guard<std::mutex> g(m_); }  // the worker is waiting, or has yet to look
    wcv_.notify_all();
  });
  try {
    configure_();
  } catch (...) {
    stopWorker_();
    std::lock_guard<std::mutex> sg(streamMx_);
    dropStream_();
    throw;
  }
}

void GigeFifo::stopWorker_() {
  s_->onLost(nullptr);
  {
    std::lock_guard<std::mutex> g(m_);
    stop_ = true;
  }
  wcv_.notify_all();
  if (worker_.joinable()) worker_.join();
}

GigeFifo::~GigeFifo() {
  stopWorker_();
  {
    std::lock_guard<std::mutex> sg(streamMx_);
    if (box_) {
      std::lock_guard<std::mutex> g(s_->mutex());
      if (!s_->lost()) arv_camera_stop_acquisition(s_->camera(), nullptr);
    }
    dropStream_();  // joins the receiving thread
  }
  for (Done& d : done_)
    if (d.buffer) d.box->giveBack(d.buffer);
  s_->releaseFifo();
}

void GigeFifo::dropStream_() {
  if (!box_) return;
  ArvStream* st;
  {
    std::lock_guard<std::mutex> g(box_->m);
    st = box_->stream;
    box_->stream = nullptr;
  }
  if (st) {
    arv_stream_set_emit_signals(st, FALSE);
    if (s_->lost()) {
      // Freeing the stream of a lost camera waits for Aravis's control
      // timeouts (its teardown writes to the camera: about 2.5 s), so it is
      // freed on the reaper thread; the handler no longer calls this FIFO.
      {
        std::lock_guard<std::mutex> g(box_->link->m);
        box_->link->fifo = nullptr;
      }
      StreamReaper::get().free(st);
    } else {
      // Stops and joins the receiving thread (a signal handler running
      // finishes first) and frees the buffers the stream still holds.
      g_object_unref(st);
    }
  }
  box_.reset();
}


// ============================================================================
// State
// ============================================================================

bool GigeFifo::isValid(qc_ProblemFlags& flags) const {
  std::lock_guard<std::mutex> g(m_);
  if (!model_.isSlave) return true;
  flags |= qcAcqProblem::kSlaveTriggerNoMaster | qcAcqProblem::kInvalidMasterOrSlave;
  return false;
}

bool GigeFifo::isIdle() const {
  std::lock_guard<std::mutex> g(m_);
  return pending_.empty();
}
bool GigeFifo::isWaiting() const {
  std::lock_guard<std::mutex> g(m_);
  return !pending_.empty() && !triggerSent_;
}
bool GigeFifo::isAcquiring() const {
  std::lock_guard<std::mutex> g(m_);
  return !pending_.empty() && triggerSent_;
}
bool GigeFifo::isMovable() const { return isComplete(); }
bool GigeFifo::isComplete() const {
  std::lock_guard<std::mutex> g(m_);
  return !done_.empty();
}
long GigeFifo::pendingAcqs() const {
  std::lock_guard<std::mutex> g(m_);
  return static_cast<long>(pending_.size());
}
long GigeFifo::completedAcqs() const {
  std::lock_guard<std::mutex> g(m_);
  unsigned long n = 0;
  for (const Done& d : done_) n += d.repeat;
  return static_cast<long>(std::min<unsigned long>(n, LONG_MAX));
}
long GigeFifo::availableAcqs() const {
  long held = 0;
  {
    std::lock_guard<std::mutex> g(m_);
    for (const Done& d : done_) held += d.buffer ? 1 : 0;
  }
  {
    std::lock_guard<std::mutex> sg(streamMx_);
    if (box_) held += box_->out.load();
  }
  return std::max(0L, hardwareImagePoolSize() - held);
}

bool GigeFifo::prepare(std::string* message, const qcDeadline&) {
  std::lock_guard<std::mutex> g(m_);
  if (lost_ || s_->lost()) {
    if (message) *message = lostFailure_().errorInfo();
    return false;
  }
  prepared_ = true;
  if (message) message->clear();
  return true;
}
bool GigeFifo::isPrepared() const {
  std::lock_guard<std::mutex> g(m_);
  return prepared_;
}

void GigeFifo::flush() {
  std::deque<Done> gone;
  {
    std::lock_guard<std::mutex> g(m_);
    pending_.clear();
    gone.swap(done_);
    triggerSent_ = false;
    missedPending_ = false;
    ++stateCounter_;
  }
  for (Done& d : gone)
    if (d.buffer) d.box->giveBack(d.buffer);
  cv_.notify_all();
}


#define QRN_GIGE_CALLBACK_(op, Type, member)   \
  void GigeFifo::op(Type cb) {                 \
    std::lock_guard<std::mutex> g(m_);         \
    member = cb;                               \
  }
QRN_GIGE_CALLBACK_(completeCallback, qcPtrHandle<qcCallback>, completeCb_)
QRN_GIGE_CALLBACK_(completeInfoCallback, InfoCallback, completeInfoCb_)
QRN_GIGE_CALLBACK_(movePartCallback, qcPtrHandle<qcCallback>, movePartCb_)
QRN_GIGE_CALLBACK_(movePartInfoCallback, InfoCallback, movePartInfoCb_)
QRN_GIGE_CALLBACK_(overrunCallback, qcPtrHandle<qcCallback>, overrunCb_)
QRN_GIGE_CALLBACK_(overrunInfoCallback, InfoCallback, overrunInfoCb_)
#undef QRN_GIGE_CALLBACK_


}  // namespace qrn_gige
