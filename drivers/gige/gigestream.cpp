// The camera driver FIFO: the receiving thread, the worker (deadlines,
// software triggers, the lost camera) and the completions.
#include "gigefifo.h"

#include <type_traits>

#include "frameid.h"

namespace qrn_gige {

namespace {

// The worker looks at the camera's heartbeat at least this often (it is
// also woken when the camera is lost).
constexpr auto kLostPoll = std::chrono::seconds(1);

constexpr auto kTriggerBackoff = std::chrono::seconds(5);  // after a trigger the camera refused

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
// Receiving thread and worker
// ============================================================================

void GigeFifo::onNewBuffer_(ArvStream* stream, gpointer p) {
  auto* link = static_cast<StreamLink*>(p);
  ArvBuffer* b = arv_stream_try_pop_buffer(stream);
  if (!b) return;
  guint64 underruns = 0;
  arv_stream_get_statistics(stream, nullptr, nullptr, &underruns);
  std::lock_guard<std::mutex> g(link->m);
  if (link->fifo)
    link->fifo->received_(link->box, b, underruns);
  else
    arv_stream_push_buffer(stream, b);  // the FIFO let go of this stream
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
        if (e && e->domain == ARV_DEVICE_ERROR && e->code == ARV_DEVICE_ERROR_TIMEOUT) s_->controlTimedOut();
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
  guint64 id = arv_buffer_get_frame_id(b);
  guint64 ts = arv_buffer_get_timestamp(b);
  if (ts == 0) ts = arv_buffer_get_system_timestamp(b);
  ts /= 1000;  // microseconds
  // A failed frame whose leader was lost has no id of its own (0, see
  // StreamBox::giveBack), and one whose id does not move on is not trusted
  // either: it is the frame after the last one, without a time stamp, and
  // leaves the gap count alone.
  bool idKnown = true;
  if (status != ARV_BUFFER_STATUS_SUCCESS && (id == 0 || (haveFrameId_ && !frameIdAhead(lastFrameId_, id)))) {
    idKnown = haveFrameId_;
    id = haveFrameId_ ? frameIdAfter(lastFrameId_, 1) : 0;
    ts = 0;
  }

  // Frames the camera sent that never reached a buffer.
  const guint64 skipped = haveFrameId_ && idKnown ? framesSkipped(lastFrameId_, id) : 0;
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
  if (idKnown) {
    haveFrameId_ = true;
    lastFrameId_ = id;
  }
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
// Completions
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
    qeGigeStartReqStatus status = qeGigeStart_Granted;
    if (args.autoStart() && done_.empty() && pending_.empty()) {
      if (model_.canStart) {
        pending_.push(Pending::Run{Clock::now(), timeout_, appTag_, 1});
        ++stateCounter_;
        cv_.notify_all();
        wcv_.notify_all();
      } else {
        status = qeGigeStart_Refused;
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
  fr.size = size;
  if (!fr.data || fr.w <= 0 || fr.h <= 0 ||
      size < conv_.bytes(fr.w, fr.h)) {
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
// Lent images are the stream buffer; others are made anew, and the stream
// buffer goes back with the frame.
template <class B>
B GigeFifo::image_(const CompleteArgs& args, Kind wanted, B MadeImage::*made) {
  Frame fr;
  if (!take_(args, wanted, fr)) return B();
  if constexpr (std::is_same_v<B, qcPelBuffer<unsigned char>> || std::is_same_v<B, qcPelBuffer<unsigned short>>) {
    if (conv_.lends()) return lend_<typename B::pel_type>(fr);
  }
  MadeImage out;
  FrameView view{fr.data, fr.size, fr.w, fr.h, qcPair<long>(fr.done.roi.x(), fr.done.roi.y())};
  gint padX = 0, padY = 0;
  if (fr.done.buffer) arv_buffer_get_image_padding(fr.done.buffer, &padX, &padY);
  view.padX = padX;
  conv_.make(view, out);
  return out.*made;
}

qcPelBuffer<unsigned char> GigeFifo::complete8(const CompleteArgs& a) { return image_(a, Kind::grey8, &MadeImage::grey8); }
qcPelBuffer<unsigned short> GigeFifo::complete16(const CompleteArgs& a) { return image_(a, Kind::grey16, &MadeImage::grey16); }
qcPelBuffer<qcPackedRGB16Pel> GigeFifo::completeRGB16(const CompleteArgs& a) {
  return image_(a, Kind::rgb16, &MadeImage::rgb16);
}
qcPelBuffer<qcPackedRGB32Pel> GigeFifo::completeRGB32(const CompleteArgs& a) {
  return image_(a, Kind::rgb32, &MadeImage::rgb32);
}
qc3PlanePelBuffer GigeFifo::complete3Plane(const CompleteArgs& a) { return image_(a, Kind::planes3, &MadeImage::planes3); }

qcPtrHandle<qcAcqImage> GigeFifo::completeAcq(const CompleteArgs& args) {
  auto local = [&](auto b) { return args.makeLocal() ? qfPelMove(b, 0) : b; };
  switch (kind_) {
    case Kind::grey8:
    case Kind::raw8: return qcPtrHandle<qcAcqImage>(new qcAcqImage(local(complete8(args)), conv_.imageFormat()));
    case Kind::grey16: return qcPtrHandle<qcAcqImage>(new qcAcqImage(local(complete16(args)), conv_.imageFormat()));
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


}  // namespace qrn_gige
