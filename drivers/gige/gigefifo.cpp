// The camera driver FIFO.
#include "gigefifo.h"

#include "frameid.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sstream>
#include <typeinfo>

#include <unistd.h>

#include <qrn/acq/hyper/prop/acqprops.h>
#include <qrn/acq/hyper/syncmodel.h>

namespace qrn_gige {

namespace {

// The worker looks at the camera's heartbeat at least this often (it is
// also woken when the camera is lost).
constexpr auto kLostPoll = std::chrono::seconds(1);

Clock::duration seconds(double s) {
  if (!(s > 0)) return Clock::duration::zero();
  return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(std::min(s, 1e6)));
}

constexpr auto kTriggerBackoff = std::chrono::seconds(5);  // after a trigger the camera refused

// A software trigger without a frame is sent again after this long: a
// second, or twice the exposure when that is longer.
Clock::duration triggerRetry(double exposure) { return std::max<Clock::duration>(std::chrono::seconds(1), seconds(2 * exposure)); }

// Features the FIFO sets itself (the frame, its pels, the trigger): the
// custom property may not change them under it.
bool ownedFeature(const std::string& name) {
  static const char* const owned[] = {"Width",           "Height",           "OffsetX",
                                      "OffsetY",         "PixelFormat",      "TriggerMode",
                                      "TriggerSource",   "TriggerSelector",  "TriggerActivation",
                                      "AcquisitionMode", "AcquisitionStart", "AcquisitionStop",
                                      "BinningHorizontal", "BinningVertical", "DecimationHorizontal",
                                      "DecimationVertical"};
  return std::any_of(std::begin(owned), std::end(owned), [&](const char* o) { return name == o; });
}

long roundDown(long v, long inc) { return inc > 1 ? v - v % inc : v; }

const char* statusName(ArvBufferStatus s) {
  switch (s) {
    case ARV_BUFFER_STATUS_CLEARED: return "cleared";
    case ARV_BUFFER_STATUS_TIMEOUT: return "timeout";
    case ARV_BUFFER_STATUS_MISSING_PACKETS: return "missing packets";
    case ARV_BUFFER_STATUS_WRONG_PACKET_ID: return "wrong packet id";
    case ARV_BUFFER_STATUS_SIZE_MISMATCH: return "size mismatch";
    case ARV_BUFFER_STATUS_FILLING: return "filling";
    case ARV_BUFFER_STATUS_ABORTED: return "aborted";
    default: return "unknown";
  }
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
      pixelFormat_(s_->pixelFormatFor(kind)),
      bytesPerPel_(pixelFormat_.rfind("Mono1", 0) == 0 ? 2 : pixelFormat_.rfind("RGB8", 0) == 0 ? 3 : 1),
      fromBayer_((kind == Kind::rgb16 || kind == Kind::rgb32 || kind == Kind::planes3) && isBayer8(pixelFormat_)) {
  if (pixelFormat_.empty()) throw CouldNotCreate("gige: camera " + id + " offers no pixel format for this FIFO");
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

namespace {
// What the receiving thread's signal handler needs: the FIFO and the stream
// it serves.  Owned by the signal connection, freed with the stream.
struct StreamLink {
  GigeFifo* fifo;
  std::shared_ptr<StreamBox> box;
};
}  // namespace

void GigeFifo::dropStream_() {
  if (!box_) return;
  ArvStream* st;
  {
    std::lock_guard<std::mutex> g(box_->m);
    st = box_->stream;
    box_->stream = nullptr;
  }
  // Stops and joins the receiving thread (a signal handler running finishes
  // first) and frees the buffers the stream still holds.
  if (st) {
    arv_stream_set_emit_signals(st, FALSE);
    g_object_unref(st);
  }
  box_.reset();
}

bool GigeFifo::shouldRun_() const { return !model_.isSlave && triggerEnable_ && !lost_; }

bool GigeFifo::wantsTrigger_() const {
  return model_.canStart && !model_.usesInputLine && softwareTrigger_ && !pending_.empty() && shouldRun_();
}

void GigeFifo::configure_() {
  std::lock_guard<std::mutex> sg(streamMx_);
  Model model;
  bool run;
  std::string line;
  bool lowToHigh;
  long pool;
  qcPelRect want;
  {
    std::lock_guard<std::mutex> g(m_);
    model = model_;
    run = shouldRun_();
    line = inputLine_;
    lowToHigh = lowToHigh_;
    pool = poolSize_ > 0 ? poolSize_ : kDefaultPoolSize;
    want = roi_.isEmpty() ? qcPelRect(0, 0, width_, height_) : roi_;
  }
  std::lock_guard<std::mutex> g(s_->mutex());
  if (s_->lost()) {
    dropStream_();
    throw CouldNotCreate("gige: camera " + id_ + " was lost; make the FIFO again once it is back");
  }
  ArvCamera* c = s_->camera();
  if (box_) arv_camera_stop_acquisition(c, nullptr);
  GError* e = nullptr;
  arv_camera_set_pixel_format_from_string(c, pixelFormat_.c_str(), &e);
  check(e, "gige: pixel format " + pixelFormat_);

  // The region: within the format's frame, offsets and sizes on the increments.
  const long x0 = std::max(0L, want.x()), y0 = std::max(0L, want.y());
  const long x1 = std::min(width_, want.x1()), y1 = std::min(height_, want.y1());
  if (x1 <= x0 || y1 <= y0) bad();
  gint wmin = 1, wmax = 0, hmin = 1, hmax = 0;
  arv_camera_get_width_bounds(c, &wmin, &wmax, nullptr);
  arv_camera_get_height_bounds(c, &hmin, &hmax, nullptr);
  const long x = roundDown(x0, arv_camera_get_x_offset_increment(c, nullptr));
  const long y = roundDown(y0, arv_camera_get_y_offset_increment(c, nullptr));
  // A mosaic to convert needs even sizes.
  auto size = [&](long v, long inc, long min) {
    v = roundDown(v, inc);
    while (fromBayer_ && v % 2 != 0 && v - std::max(inc, 1L) >= min) v -= std::max(inc, 1L);
    return std::max(min, v);
  };
  const long w = size(x1 - x, arv_camera_get_width_increment(c, nullptr), wmin);
  const long h = size(y1 - y, arv_camera_get_height_increment(c, nullptr), hmin);
  if (fromBayer_ && (w % 2 != 0 || h % 2 != 0)) bad();
  arv_camera_set_region(c, x, y, w, h, &e);
  check(e, "gige: region");
  gint rx, ry, rw, rh;
  arv_camera_get_region(c, &rx, &ry, &rw, &rh, &e);
  check(e, "gige: region");
  const qcPelRect region(rx, ry, rw, rh);

  // The trigger model.
  if (model.canStart && !model.usesInputLine && softwareTrigger_) {
    arv_camera_set_trigger(c, "Software", &e);
  } else if (model.usesInputLine) {
    arv_camera_set_trigger(c, line.c_str(), &e);
    if (!e && arv_camera_is_enumeration_entry_available(c, "TriggerActivation", lowToHigh ? "RisingEdge" : "FallingEdge",
                                                         nullptr))
      arv_camera_set_string(c, "TriggerActivation", lowToHigh ? "RisingEdge" : "FallingEdge", &e);
  } else {
    arv_camera_clear_triggers(c, &e);
  }
  if (e) {
    g_error_free(e);
    bad();
  }
  arv_camera_set_acquisition_mode(c, ARV_ACQUISITION_MODE_CONTINUOUS, &e);
  check(e, "gige: acquisition mode");

  const guint payload = arv_camera_get_payload(c, &e);
  check(e, "gige: payload");
  // A stream of the same frames is kept (making one costs its buffers and,
  // on GigE Vision, its packet ring); any other is made again.
  if (!box_ || box_->payload != payload || box_->buffers != pool || box_->roi != region) {
    // Every buffer is allocated now: a pool of more than half the memory is
    // refused, and a failed allocation is reported, not fatal.
    const unsigned long long memory =
        static_cast<unsigned long long>(::sysconf(_SC_PHYS_PAGES)) * static_cast<unsigned long long>(::sysconf(_SC_PAGESIZE));
    if (static_cast<unsigned long long>(pool) > memory / 2 / std::max<guint>(payload, 1)) bad();
    dropStream_();
    ArvStream* st = arv_camera_create_stream(c, nullptr, nullptr, &e);
    check(e, "gige: stream");
    if (ARV_IS_GV_STREAM(st))
      g_object_set(st, "socket-buffer", ARV_GV_STREAM_SOCKET_BUFFER_AUTO, "packet-resend",
                   ARV_GV_STREAM_PACKET_RESEND_ALWAYS, nullptr);
    for (long i = 0; i < pool; ++i) {
      void* mem = g_try_malloc(payload);
      if (!mem) {
        g_object_unref(st);
        throw CouldNotCreate("gige: no memory for " + std::to_string(pool) + " stream buffers");
      }
      arv_stream_push_buffer(st, arv_buffer_new_full(payload, mem, mem, g_free));
    }
    auto box = std::make_shared<StreamBox>();
    box->stream = st;
    box->payload = payload;
    box->buffers = pool;
    box->roi = region;
    g_signal_connect_data(st, "new-buffer", G_CALLBACK(&GigeFifo::onNewBuffer_), new StreamLink{this, box},
                          [](gpointer link, GClosure*) { delete static_cast<StreamLink*>(link); }, GConnectFlags(0));
    arv_stream_set_emit_signals(st, TRUE);
    box_ = box;
    std::lock_guard<std::mutex> lk(m_);
    underruns_ = 0;
  }
  {
    std::lock_guard<std::mutex> lk(m_);
    actualRoi_ = region;
    haveFrameId_ = false;
    triggerSent_ = false;
  }
  wcv_.notify_all();
  if (run) {
    arv_camera_start_acquisition(c, &e);
    check(e, "gige: start of acquisition");
  }
}

// ============================================================================
// Receiving thread and worker
// ============================================================================

void GigeFifo::onNewBuffer_(ArvStream* stream, gpointer p) {
  auto* link = static_cast<StreamLink*>(p);
  ArvBuffer* b = arv_stream_try_pop_buffer(stream);
  if (!b) return;
  guint64 underruns = 0;
  arv_stream_get_statistics(stream, nullptr, nullptr, &underruns);
  link->fifo->received_(link->box, b, underruns);
}

void GigeFifo::received_(const std::shared_ptr<StreamBox>& box, ArvBuffer* b, guint64 underruns) {
  bool wake, done;
  {
    std::lock_guard<std::mutex> lk(m_);
    if (stop_) {
      box->giveBack(b);
      return;
    }
    const std::size_t queued = actions_.size();
    const unsigned long seen = stateCounter_;
    handle_(box, b, underruns, actions_);
    done = stateCounter_ != seen;
    wake = actions_.size() != queued || wantsTrigger_();
  }
  // Woken after the lock is let go, a waiting completion does not block on it.
  if (done) cv_.notify_all();
  if (wake) wcv_.notify_one();
}

void GigeFifo::run_() {
  std::unique_lock<std::mutex> lk(m_);
  while (!stop_) {
    const unsigned long seen = stateCounter_;
    if (s_->lost()) {
      if (!lost_) {
        lost_ = true;
        ++stateCounter_;  // waiting completions fail at once
      }
      failLost_(actions_);  // and acquisitions started since
    }
    const Clock::time_point now = Clock::now();
    expire_(now, actions_);
    const bool done = stateCounter_ != seen;
    bool sendTrigger = false;
    if (wantsTrigger_() && (!triggerSent_ || now - triggerSentAt_ > triggerRetry_)) {
      sendTrigger = true;
      triggerSent_ = true;
      triggerSentAt_ = now;
    }
    if (done || sendTrigger || !actions_.empty()) {
      Actions out;
      out.swap(actions_);
      lk.unlock();
      if (done) cv_.notify_all();
      bool triggerFailed = false;
      if (sendTrigger) {
        std::lock_guard<std::mutex> g(s_->mutex());
        GError* e = nullptr;
        if (!s_->lost()) arv_camera_software_trigger(s_->camera(), &e);
        triggerFailed = e != nullptr;
        g_clear_error(&e);
      }
      for (auto& a : out) a();
      lk.lock();
      // A trigger the camera did not take (after Aravis's own retries) is
      // not sent again for a while: a camera that went away is then found
      // lost by its heartbeat, which shares the control channel.
      if (triggerFailed) triggerSentAt_ = Clock::now() + kTriggerBackoff;
      continue;
    }
    // Sleep until woken, the first deadline, a trigger to send again, or the
    // next look at the camera's heartbeat.
    Clock::time_point until = now + kLostPoll;
    if (!pending_.empty() && pending_.front().timeout != HUGE_VAL)
      until = std::min(until, pending_.front().startedAt + seconds(pending_.front().timeout));
    if (triggerSent_ && wantsTrigger_()) until = std::min(until, triggerSentAt_ + triggerRetry_);
    wcv_.wait_until(lk, until);
  }
}

void GigeFifo::completed_(Done d, Actions& out) {
  const qcAcquireInfo info = d.info;
  const unsigned long n = d.repeat;
  done_.push_back(std::move(d));
  ++stateCounter_;  // the caller wakes the waiting completions
  if (!movePartCb_ && !completeCb_ && !movePartInfoCb_ && !completeInfoCb_) return;
  auto mcb = movePartCb_, ccb = completeCb_;
  auto micb = movePartInfoCb_, cicb = completeInfoCb_;
  out.push_back([=]() {
    for (unsigned long i = 0; i < n; ++i) {
      if (mcb) (*mcb)();
      if (micb) (*micb)(info);
      if (ccb) (*ccb)();
      if (cicb) (*cicb)(info);
    }
  });
}

void GigeFifo::handle_(const std::shared_ptr<StreamBox>& box, ArvBuffer* b, guint64 underruns, Actions& out) {
  const ArvBufferStatus status = arv_buffer_get_status(b);
  const guint64 id = arv_buffer_get_frame_id(b);
  guint64 ts = arv_buffer_get_timestamp(b);
  if (ts == 0) ts = arv_buffer_get_system_timestamp(b);
  ts /= 1000;  // microseconds

  // Frames the camera sent that never reached a buffer.
  const guint64 skipped = haveFrameId_ ? framesSkipped(lastFrameId_, id) : 0;
  if (skipped > 0) {
    if (underruns > underruns_) {
      auto cb = overrunCb_;
      auto icb = overrunInfoCb_;
      // A gap beyond one turn of 16-bit ids is a camera that started again,
      // not frames to report one by one.
      for (guint64 k = 1; k <= std::min<guint64>(skipped, 65535) && (cb || icb); ++k) {
        qcAcqFailure f;
        f.isOverrun(true);
        const qcAcquireInfo info(appTag_, static_cast<unsigned long>(frameIdAfter(lastFrameId_, k)), f, ts);
        out.push_back([cb, icb, info]() {
          if (cb) (*cb)();
          if (icb) (*icb)(info);
        });
      }
    } else {
      missedPending_ = true;
    }
  }
  underruns_ = underruns;
  haveFrameId_ = true;
  lastFrameId_ = id;
  triggerSent_ = false;

  qcAcqFailure f;
  bool image = true;
  switch (status) {
    case ARV_BUFFER_STATUS_SUCCESS: break;
    case ARV_BUFFER_STATUS_TIMEOUT:
      // The frame's packets stopped coming before it was whole: the image
      // holds what arrived.
      f.isTimeout(true);
      f.isIncomplete(true);
      break;
    case ARV_BUFFER_STATUS_MISSING_PACKETS: f.isIncomplete(true); break;
    default:
      f.isAbnormal(true);
      f.abnormalErrorCode(status);
      f.errorInfo(std::string("gige: buffer ") + statusName(status));
      image = false;
      break;
  }
  unsigned long tag = appTag_;
  bool take;
  if (model_.isSlave || !triggerEnable_) {
    take = false;
  } else if (model_.canStart) {
    take = !pending_.empty();
    if (take) {
      tag = pending_.front().appTag;
      pending_.pop();
    }
  } else {
    take = true;
  }
  if (!take) {
    box->giveBack(b);
    return;
  }
  if (missedPending_) {
    f.isMissed(true);
    missedPending_ = false;
  }
  if (!image) {
    box->giveBack(b);
    b = nullptr;
  }
  completed_(Done{box, b, actualRoi_, qcAcquireInfo(tag, static_cast<unsigned long>(id), f, ts)}, out);
}

void GigeFifo::expire_(Clock::time_point now, Actions& out) {
  while (!pending_.empty()) {
    const Pending::Run& p = pending_.front();
    if (p.timeout == HUGE_VAL || now < p.startedAt + seconds(p.timeout)) break;
    qcAcqFailure f;
    f.isTimeout(true);
    const Pending::Run r = pending_.popRun();  // a run times out together
    completed_(Done{nullptr, nullptr, {}, qcAcquireInfo(r.appTag, 0, f, 0), r.count}, out);
  }
}

qcAcqFailure GigeFifo::lostFailure_() const {
  qcAcqFailure f;
  f.isAbnormal(true);
  f.errorInfo("gige: camera " + id_ + " lost (no answer to its heartbeat); make the FIFO again once it is back");
  return f;
}

void GigeFifo::failLost_(Actions& out) {
  while (!pending_.empty()) {
    const Pending::Run r = pending_.popRun();
    completed_(Done{nullptr, nullptr, {}, qcAcquireInfo(r.appTag, 0, lostFailure_(), 0), r.count}, out);
  }
}

// ============================================================================
// Operations
// ============================================================================

bool GigeFifo::start(unsigned long count) {
  {
    std::lock_guard<std::mutex> g(m_);
    if (!model_.canStart) throw qcAcqFifo::StartNotAllowed();
    pending_.push(Pending::Run{Clock::now(), timeout_, appTag_, count});
    ++stateCounter_;
  }
  cv_.notify_all();
  wcv_.notify_all();
  return true;
}

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
  if (lost_) {
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

bool GigeFifo::take_(const CompleteArgs& args, Kind wanted, Frame& fr) {
  qcAcquireInfo* info = args.acquireInfo();
  if (!(wanted == kind_ || (wanted == Kind::grey8 && kind_ == Kind::raw8))) {
    if (info) {
      qcAcqFailure f;
      f.isAbnormal(true);
      f.errorInfo("gige: this FIFO delivers another kind of pels");
      *info = qcAcquireInfo(0, 0, f, 0);
    }
    return false;
  }
  Done& d = fr.done;
  {
    std::unique_lock<std::mutex> lk(m_);
    std::int32_t status = 0;  // not requested
    if (args.autoStart() && done_.empty() && pending_.empty()) {
      if (model_.canStart) {
        pending_.push(Pending::Run{Clock::now(), timeout_, appTag_, 1});
        ++stateCounter_;
        cv_.notify_all();
        wcv_.notify_all();
        status = 1;  // started
      } else {
        status = 2;  // refused
      }
    }
    if (args.startReqStatus()) *args.startReqStatus() = static_cast<qcAcqFifo::qeStartReqStatus>(status);
    const qcDeadline deadline(args.maxWait());
    while (done_.empty()) {
      // The camera's own flag: the worker may be busy talking to it.
      const bool lost = lost_ || s_->lost();
      if (lost || deadline.expired()) {
        qcAcqFailure f;
        if (lost)
          f = lostFailure_();
        else
          f.isTimeout(true);
        if (info) *info = qcAcquireInfo(0, 0, f, 0);
        return false;
      }
      const double left = deadline.isInfinite() ? 0.1 : std::min(0.1, deadline.until());
      cv_.wait_for(lk, seconds(left));
    }
    if (done_.front().repeat > 1) {
      --done_.front().repeat;
      d.info = done_.front().info;  // a failure without an image
    } else {
      d = std::move(done_.front());
      done_.pop_front();
    }
    ++stateCounter_;
  }
  if (info) *info = d.info;
  if (!d.buffer) return false;

  std::size_t size = 0;
  if (!d.info.failure().isIncomplete()) {
    fr.w = arv_buffer_get_image_width(d.buffer);
    fr.h = arv_buffer_get_image_height(d.buffer);
    fr.data = static_cast<unsigned char*>(const_cast<void*>(arv_buffer_get_image_data(d.buffer, &size)));
  } else {
    // A frame cut short may lack its leader: the pels lie as the stream was
    // set up (those that did not arrive hold what the buffer held before).
    fr.data = static_cast<unsigned char*>(const_cast<void*>(arv_buffer_get_data(d.buffer, nullptr)));
    size = d.box->payload;
    fr.w = d.roi.width();
    fr.h = d.roi.height();
  }
  if (!fr.data || fr.w <= 0 || fr.h <= 0 ||
      size < static_cast<std::size_t>(fr.w) * static_cast<std::size_t>(fr.h) * bytesPerPel_) {
    if (info) {
      qcAcqFailure f = d.info.failure();
      f.isAbnormal(true);
      f.errorInfo("gige: the camera delivered a buffer of another size");
      info->failure(f);
    }
    return false;
  }
  return true;
}

// Mono and Bayer pels: the stream buffer itself, back to the stream when the
// last handle goes.
template <class T>
qcPelBuffer<T> GigeFifo::lend_(Frame& fr) {
  std::shared_ptr<StreamBox> box = fr.done.box;
  ArvBuffer* buf = fr.done.buffer;
  fr.done.buffer = nullptr;
  ++box->out;
  auto* r = new qcPelRoot<T>(reinterpret_cast<T*>(fr.data), fr.w, fr.h, fr.w, [box, buf]() {
    --box->out;
    box->giveBack(buf);
  });
  r->local(false);
  qcPelBuffer<T> b{qcPtrHandle<qcPelRoot<T>>(r)};
  b.offset(qcPair<long>(fr.done.roi.x(), fr.done.roi.y()));
  return b;
}

// Colour images are made anew: converted from a Bayer mosaic, or taken from
// RGB8.  The stream buffer goes back with the frame.
template <class B>
B GigeFifo::colour_(Frame& fr) {
  const qcPair<long> offset(fr.done.roi.x(), fr.done.roi.y());
  B out;
  if (fromBayer_) {
    // The mosaic, seen in place while it is converted.
    qcPelBuffer<unsigned char> mosaic{
        qcPtrHandle<qcPelRoot<unsigned char>>(new qcPelRoot<unsigned char>(fr.data, fr.w, fr.h, fr.w))};
    mosaic.offset(offset);
    std::lock_guard<std::mutex> g(convMx_);
    conv_.setSourcePelBuf(mosaic);
    conv_.bayerType(static_cast<qcBayerImageConverter::BayerType>(bayerTypeOf(pixelFormat_, offset.x, offset.y)));
    if constexpr (std::is_same_v<B, qc3PlanePelBuffer>)
      out = conv_.get3PlanePelBuf();
    else if constexpr (std::is_same_v<B, qcPelBuffer<qcPackedRGB16Pel>>)
      out = conv_.getPackedRGB16PelBuf();
    else
      out = conv_.getPackedRGB32PelBuf();
  } else {
    const unsigned char* src = fr.data;
    if constexpr (std::is_same_v<B, qc3PlanePelBuffer>) {
      out = qc3PlanePelBuffer(fr.w, fr.h);
      for (long y = 0; y < fr.h; ++y) {
        unsigned char* p[3] = {out.plane0().rowPointer(y), out.plane1().rowPointer(y), out.plane2().rowPointer(y)};
        for (long x = 0; x < fr.w; ++x, src += 3)
          for (int c = 0; c < 3; ++c) p[c][x] = src[c];
      }
    } else {
      using Pel = typename B::pel_type;
      out = B(fr.w, fr.h);
      for (long y = 0; y < fr.h; ++y) {
        Pel* row = out.rowPointer(y);
        for (long x = 0; x < fr.w; ++x, src += 3) row[x] = Pel(src[0], src[1], src[2]);
      }
    }
    out.offset(offset);
  }
  return out;
}

qcPelBuffer<unsigned char> GigeFifo::complete8(const CompleteArgs& a) {
  Frame fr;
  return take_(a, Kind::grey8, fr) ? lend_<unsigned char>(fr) : qcPelBuffer<unsigned char>();
}
qcPelBuffer<unsigned short> GigeFifo::complete16(const CompleteArgs& a) {
  Frame fr;
  return take_(a, Kind::grey16, fr) ? lend_<unsigned short>(fr) : qcPelBuffer<unsigned short>();
}
qcPelBuffer<qcPackedRGB16Pel> GigeFifo::completeRGB16(const CompleteArgs& a) {
  Frame fr;
  return take_(a, Kind::rgb16, fr) ? colour_<qcPelBuffer<qcPackedRGB16Pel>>(fr) : qcPelBuffer<qcPackedRGB16Pel>();
}
qcPelBuffer<qcPackedRGB32Pel> GigeFifo::completeRGB32(const CompleteArgs& a) {
  Frame fr;
  return take_(a, Kind::rgb32, fr) ? colour_<qcPelBuffer<qcPackedRGB32Pel>>(fr) : qcPelBuffer<qcPackedRGB32Pel>();
}
qc3PlanePelBuffer GigeFifo::complete3Plane(const CompleteArgs& a) {
  Frame fr;
  return take_(a, Kind::planes3, fr) ? colour_<qc3PlanePelBuffer>(fr) : qc3PlanePelBuffer();
}

qcPtrHandle<qcAcqImage> GigeFifo::completeAcq(const CompleteArgs& args) {
  auto local = [&](auto b) { return args.makeLocal() ? qfPelMove(b, 0) : b; };
  switch (kind_) {
    case Kind::grey8:
    case Kind::raw8:
      return qcPtrHandle<qcAcqImage>(
          new qcAcqImage(local(complete8(args)), kind_ == Kind::raw8 ? qeImageFormat_Raw8 : qeImageFormat_Grey8));
    case Kind::grey16: {
      const qeImageFormat f = pixelFormat_ == "Mono10"   ? qeImageFormat_Grey10
                              : pixelFormat_ == "Mono12" ? qeImageFormat_Grey12
                                                         : qeImageFormat_Grey16;
      return qcPtrHandle<qcAcqImage>(new qcAcqImage(local(complete16(args)), f));
    }
    case Kind::rgb16: return qcPtrHandle<qcAcqImage>(new qcAcqImage(completeRGB16(args)));
    case Kind::rgb32: return qcPtrHandle<qcAcqImage>(new qcAcqImage(completeRGB32(args)));
    case Kind::planes3: return qcPtrHandle<qcAcqImage>(new qcAcqImage(complete3Plane(args)));
  }
  return qcPtrHandle<qcAcqImage>(new qcAcqImage());
}

void GigeFifo::trigger() {
  if (!softwareTrigger_) return;
  std::lock_guard<std::mutex> g(s_->mutex());
  if (!s_->lost()) arv_camera_software_trigger(s_->camera(), nullptr);
}

void GigeFifo::waitForStateChange(qc_Resource* resource) {
  if (resource) resource->unlock();
  {
    std::unique_lock<std::mutex> lk(m_);
    const unsigned long seen = stateCounter_;
    cv_.wait_for(lk, std::chrono::milliseconds(100), [&] { return stateCounter_ != seen; });
  }
  if (resource) resource->lock();
}

void GigeFifo::setContrast(double c, long tap) {
  if (tap != 0 || !(c >= 0 && c <= 1)) bad();
  if (gainMax_ <= gainMin_) return;  // the camera has no gain
  std::lock_guard<std::mutex> g(s_->mutex());
  GError* e = nullptr;
  arv_camera_set_gain(s_->camera(), gainMin_ + c * (gainMax_ - gainMin_), &e);
  if (e) {
    g_error_free(e);
    bad();
  }
}
void GigeFifo::setBrightness(double b, long tap) {
  if (tap != 0 || !(b >= 0 && b <= 1)) bad();
  if (blackMax_ <= blackMin_) return;  // the camera has no black level
  std::lock_guard<std::mutex> g(s_->mutex());
  GError* e = nullptr;
  arv_camera_set_black_level(s_->camera(), blackMin_ + b * (blackMax_ - blackMin_), &e);
  if (e) {
    g_error_free(e);
    bad();
  }
}
void GigeFifo::cameraPort(long port) {
  if (port != 0) bad();
}

// The callbacks, kept for the worker.
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

void GigeFifo::exposure(double s) {
  if (!query_.exposure) return;
  std::lock_guard<std::mutex> g(s_->mutex());
  ArvCamera* c = s_->camera();
  double lo = 0, hi = 0;
  arv_camera_get_exposure_time_bounds(c, &lo, &hi, nullptr);
  const double us = s * 1e6;
  if (!(us >= lo && us <= hi)) bad();
  GError* e = nullptr;
  arv_camera_set_exposure_time(c, us, &e);
  if (e) {
    g_error_free(e);
    bad();
  }
  std::lock_guard<std::mutex> lk(m_);
  triggerRetry_ = triggerRetry(s);
}

void GigeFifo::pelRootPool(qcPtrHandle<qcPelRootPool> pool) {
  if (pool) bad();  // acquires into the stream's own buffers only
}
void GigeFifo::timeout(double s) {
  if (!(s >= 0)) bad();
  std::lock_guard<std::mutex> g(m_);
  timeout_ = s;
}

void GigeFifo::strobeEnable(bool on) {
  if (!query_.strobe) return;
  std::lock_guard<std::mutex> g(s_->mutex());
  ArvCamera* c = s_->camera();
  GError* e = nullptr;
  arv_camera_set_string(c, "LineSelector", s_->strobeLine.c_str(), &e);
  if (!e && on && arv_camera_is_feature_available(c, "LineMode", nullptr)) arv_camera_set_string(c, "LineMode", "Output", &e);
  if (!e) arv_camera_set_string(c, "LineSource", on ? "ExposureActive" : "Off", &e);
  if (e) {
    g_error_free(e);
    bad();
  }
}
void GigeFifo::strobeHigh(bool activeHigh) {
  if (!query_.strobe) return;
  std::lock_guard<std::mutex> g(s_->mutex());
  ArvCamera* c = s_->camera();
  if (!arv_camera_is_feature_available(c, "LineInverter", nullptr)) return;
  arv_camera_set_string(c, "LineSelector", s_->strobeLine.c_str(), nullptr);
  arv_camera_set_boolean(c, "LineInverter", !activeHigh, nullptr);
}

bool GigeFifo::triggerEnable() const {
  std::lock_guard<std::mutex> g(m_);
  return triggerEnable_;
}
// Sets one setting of the FIFO (under its lock) and applies it to the camera;
// a value the camera refuses is set back and applied again, so that the FIFO
// stays as it was, and the refusal is thrown.
template <class T>
void GigeFifo::apply_(T& setting, T value, bool always) {
  T before;
  {
    std::lock_guard<std::mutex> g(m_);
    if (!always && setting == value) return;
    before = setting;
    setting = std::move(value);
  }
  try {
    configure_();
  } catch (...) {
    {
      std::lock_guard<std::mutex> g(m_);
      setting = before;
    }
    try {
      configure_();
    } catch (...) {
      // The first refusal says more.
    }
    throw;
  }
}

void GigeFifo::triggerEnable(bool on) { apply_(triggerEnable_, on); }
void GigeFifo::triggerModel(const qc_TriggerModel& m) {
  {
    std::lock_guard<std::mutex> g(m_);
    pending_.clear();
  }
  apply_(model_, Model{m.canStart, m.usesInputLine, m.isSlave}, true);
}
void GigeFifo::triggerLowToHigh(bool on) {
  if (s_->has("TriggerActivation") && !s_->hasEntry("TriggerActivation", on ? "RisingEdge" : "FallingEdge")) bad();
  bool redo;
  {
    std::lock_guard<std::mutex> g(m_);
    redo = model_.usesInputLine;
    if (!redo) lowToHigh_ = on;
  }
  if (redo) apply_(lowToHigh_, on);
}
void GigeFifo::triggerMaster(qc_AcqFifo* master) {
  if (master) throw qcAcqFifo::InvalidMaster();  // cameras have no master FIFOs
}

void GigeFifo::roi(const qcPelRect& r) {
  if (r.width() < 0 || r.height() < 0) bad();
  apply_(roi_, r, true);
}
void GigeFifo::roiMode(qe_RoiMode mode) {
  if (mode != qeRoiMode_Default) bad();
}
qcPelRect GigeFifo::actualRoi() const {
  std::lock_guard<std::mutex> g(m_);
  return actualRoi_;
}
const qcSyncModel& GigeFifo::defaultSyncModel() const { return qfSyncInternalDrive(); }

void GigeFifo::hardwareImagePoolSize(long n) {
  if (n < 0 || n == 1) bad();
  apply_(poolSize_, n);
}
long GigeFifo::hardwareImagePoolSize() const {
  std::lock_guard<std::mutex> g(m_);
  return poolSize_ > 0 ? poolSize_ : kDefaultPoolSize;
}

// "r g b" (blanks or commas between): the converter's white-balance scales.
void GigeFifo::whiteBalance_(const std::string& value) {
  if (!fromBayer_) bad();  // nothing converted here
  std::string text = value;
  std::replace(text.begin(), text.end(), ',', ' ');
  std::istringstream in(text);
  double scale[3];
  for (double& v : scale)
    if (!(in >> v) || !std::isfinite(v) || v <= 0) bad();
  if (std::string rest; in >> rest) bad();
  std::lock_guard<std::mutex> g(convMx_);
  conv_.setRedWhiteBalanceScale(scale[0]);
  conv_.setGreenWhiteBalanceScale(scale[1]);
  conv_.setBlueWhiteBalanceScale(scale[2]);
}

void GigeFifo::update(const qcCustomProp& prop) {
  const qcCustomPropertyBag bag = prop.customValues();
  for (long i = 0; i < bag.getItemCount(); ++i) {
    const std::string name = bag.getName(i), value = bag.getValue(i);
    if (ownedFeature(name)) {
      bad();  // the format, the region and trigger properties decide these
    } else if (bag.getType(i) == qcCustomPropertyBag::qeCommand) {
      s_->set(name, "");
    } else if (name == kInputLine) {
      std::string line = value;
      if (!line.empty() && std::all_of(line.begin(), line.end(), [](char ch) { return ch >= '0' && ch <= '9'; }))
        line = "Line" + line;
      if (line.empty() || (s_->has("TriggerSource") && !s_->hasEntry("TriggerSource", line))) bad();
      bool redo;
      {
        std::lock_guard<std::mutex> g(m_);
        redo = model_.usesInputLine;
        if (!redo) inputLine_ = line;
      }
      if (redo) apply_(inputLine_, line);
    } else if (name == kWhiteBalance) {
      whiteBalance_(value);
    } else if (name == kAppTag) {
      char* end = nullptr;
      errno = 0;
      const unsigned long tag = std::strtoul(value.c_str(), &end, 10);
      if (value.empty() || value.find('-') != std::string::npos || errno != 0 || *end != '\0') bad();
      std::lock_guard<std::mutex> g(m_);
      appTag_ = tag;
    } else {
      s_->set(name, value);
    }
  }
}

}  // namespace qrn_gige
