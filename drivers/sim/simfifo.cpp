// The simulated frame grabber's driver FIFO: a worker thread per FIFO that
// takes frames by the trigger model, renders test images into a hardware
// image pool and completes them through request packets.
#include "simfifo.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <typeinfo>

#include <qrn/acq/ccf/vidfmtext.h>
#include <qrn/acq/hyper/prop/acqprops.h>
#include <qrn/acq/hyper/syncmodel.h>
#include <qrn/drivers/sim.h>

namespace qrn_sim {

namespace {

constexpr double kMaxWaitSlice = 0.05;     // the worker re-checks at least this often (s)
constexpr double kMinFreeRunPeriod = 1e-3;  // free-run with period 0 still paces itself

Clock::duration seconds(double s) {
  if (!(s > 0)) return Clock::duration::zero();
  if (s > 1e6) s = 1e6;
  return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(s));
}

template <class T>
struct PelOf;
template <>
struct PelOf<qcPelBuffer<unsigned char>> {
  using T = unsigned char;
};
template <>
struct PelOf<qcPelBuffer<unsigned short>> {
  using T = unsigned short;
};
template <>
struct PelOf<qcPelBuffer<qcPackedRGB16Pel>> {
  using T = qcPackedRGB16Pel;
};
template <>
struct PelOf<qcPelBuffer<qcPackedRGB32Pel>> {
  using T = qcPackedRGB32Pel;
};

// Adopts the packet's reference to its root as a typed handle.
template <class T>
qcPtrHandle<qcPelRoot<T>> adopt(qc_PelRoot* r) {
  qcPtrHandle<qcPelRoot<T>> h(static_cast<qcPelRoot<T>*>(r));
  qfRelease(r);
  return h;
}

bool parseDouble(const std::string& s, double& out) {
  // The module's reader: independent of the process locale.
  return !s.empty() && qsys_clxAtof(s.c_str(), &out) == 0 && std::isfinite(out);
}
bool parseLong(const std::string& s, long& out) {
  if (s.empty()) return false;
  char* end = nullptr;
  errno = 0;
  out = std::strtol(s.c_str(), &end, 10);
  return errno == 0 && end && *end == '\0';
}
// Refused values, with what was refused as the exception's detail.
[[noreturn]] void bad(const std::string& why) { throw qcAcqFifo::BadParams().withDetail(why); }

}  // namespace

// ============================================================================
// Board
// ============================================================================

void BoardState::fireLine(long line) {
  const Clock::time_point now = Clock::now();
  std::lock_guard<std::mutex> g(m);
  for (Core* c : fifos) {
    bool listens = c->locked([&] { return c->model_.usesInputLine && c->inputLine_ == line; });
    if (listens) c->pulse(now, 0, false);
  }
}

void BoardState::triggerSlaves(const Core* master, unsigned long trigNum, Clock::time_point t) {
  std::lock_guard<std::mutex> g(m);
  for (Core* c : fifos)
    if (c->master_ == master) c->pulse(t, trigNum, true);
}

SimProps::SimProps() {
  for (auto& row : lut) std::memcpy(row, qc8BitInputLutProp::default8BitInputLut, 256);
  exposure = SimFifo::kDefaultExposure;
  for (double& c : contrast) c = SimFifo::kDefaultContrast;
}

// ============================================================================
// Pool
// ============================================================================

// ============================================================================
// Core
// ============================================================================

void Pool::giveBackTo_(Core& c, std::shared_ptr<Block> b, std::size_t bytes) { c.pool_->giveBack_(std::move(b), bytes); }
void Pool::notify_(Core& c) { c.cv_.notify_all(); }

Core::Acq::~Acq() {
  if (arp) arp->release();
}

Core::Core(std::shared_ptr<BoardState> board, PelKind kind, long width, long height, double framePeriod)
    : board_(std::move(board)),
      kind_(kind),
      width_(width),
      height_(height),
      cur_(std::make_shared<SimProps>()),
      framePeriod_(framePeriod),
      poolSize_(0) {
  nextFrame_ = nextPulse_ = Clock::now();
}

Core::~Core() = default;

void Core::startWorker() {
  pool_ = std::make_shared<Pool>(weak_from_this());
  {
    std::lock_guard<std::mutex> g(board_->m);
    board_->fifos.push_back(this);
  }
  worker_ = std::thread([this] { run_(); });
}

void Core::stopWorker() {
  {
    std::lock_guard<std::mutex> g(m_);
    stop_ = true;
  }
  cv_.notify_all();
  if (worker_.joinable()) worker_.join();
  {
    std::lock_guard<std::mutex> g(board_->m);
    std::erase(board_->fifos, this);
    for (Core* c : board_->fifos)
      if (c->master_ == this) c->master_ = nullptr;
  }
  // Packets go before the pool they came from; images still held by the
  // application keep their memory and simply do not come back.
  std::deque<Batch> p;
  std::deque<std::unique_ptr<Acq>> c;
  {
    std::lock_guard<std::mutex> g(m_);
    p.swap(pending_);
    c.swap(completed_);
  }
}

long Core::poolCapacity_() const { return poolSize_ > 0 ? poolSize_ : board_->poolSize; }

qcPelRect Core::effectiveRoi(const SimProps& p) const {
  const qcPelRect& r = p.roi;
  if (r.isEmpty()) return qcPelRect(0, 0, width_, height_);
  // min(limit, origin + size), also where the sum would not fit.
  auto edge = [](long origin, long size, long limit) {
    long e = 0;
    return __builtin_add_overflow(origin, size, &e) ? limit : std::min(limit, e);
  };
  const long x0 = std::max(0L, r.x()), y0 = std::max(0L, r.y());
  const long x1 = edge(r.x(), r.width(), width_), y1 = edge(r.y(), r.height(), height_);
  return qcPelRect(x0, y0, std::max(0L, x1 - x0), std::max(0L, y1 - y0));
}

unsigned long Core::pendingCount() const {
  unsigned long n = 0;
  for (const Batch& b : pending_) n += b.count;
  return n;
}

unsigned long Core::completedCount() const {
  unsigned long n = 0;
  for (const auto& a : completed_) n += a->repeat;
  return n;
}

std::unique_ptr<Core::Acq> Core::acqOf_(const Batch& b) {
  auto a = std::make_unique<Acq>();
  a->props = b.props;
  a->arp = std::make_unique<qc_Arp>();
  a->arp->properties(b.props.get());
  a->arp->appTag(b.props->appTag);
  a->startedAt = b.startedAt;
  a->timeout = b.timeout;
  a->generation = b.generation;
  return a;
}

std::unique_ptr<Core::Acq> Core::newAcq_(Clock::time_point now) {
  return acqOf_(Batch{1, cur_, now, timeout_, generation_});
}

std::unique_ptr<Core::Acq> Core::takePending_() {
  std::unique_ptr<Acq> a = acqOf_(pending_.front());
  if (--pending_.front().count == 0) pending_.pop_front();
  return a;
}

void Core::addPending_(unsigned long count) {
  if (count == 0) return;
  pending_.push_back(Batch{count, cur_, Clock::now(), timeout_, generation_});
}

bool Core::start(unsigned long count) {
  {
    std::lock_guard<std::mutex> g(m_);
    if (!model_.canStart)
      throw qcAcqFifo::StartNotAllowed().withDetail("the trigger model \"" + model_.name + "\" does not allow start()");
    addPending_(count);
    ++stateCounter_;
  }
  cv_.notify_all();
  return true;
}

void Core::flush() {
  std::deque<Batch> p;
  std::deque<std::unique_ptr<Acq>> c;
  {
    std::lock_guard<std::mutex> g(m_);
    ++generation_;
    p.swap(pending_);
    c.swap(completed_);
    pulses_.clear();
    missedPending_ = false;
    ++stateCounter_;
  }
  cv_.notify_all();
}

void Core::trigger() {
  bool manual;
  {
    std::lock_guard<std::mutex> g(m_);
    manual = !model_.usesInputLine && !model_.isSlave;
  }
  if (!manual) pulse(Clock::now(), 0, false);
}

void Core::pulse(Clock::time_point t, unsigned long masterTrig, bool fromMaster) {
  {
    std::lock_guard<std::mutex> g(m_);
    pulses_.push_back(Pulse{t, masterTrig, fromMaster});
  }
  cv_.notify_all();
}

void Core::run_() {
  // Nothing thrown here may leave the thread: the acquisition concerned
  // records what went wrong where there is one (render and delivery); what
  // remains (the application's callbacks) is dropped.
  for (;;) {
    Actions actions;
    try {
      std::unique_lock<std::mutex> lk(m_);
      if (stop_) break;
      step_(lk, actions);
      if (stop_) break;
    } catch (...) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));  // out of memory: try again shortly
    }
    for (auto& a : actions) {
      try {
        a();
      } catch (...) {
      }
    }
  }
}

void Core::overrun_(unsigned long trigNum, Clock::time_point t, Actions& out) {
  qcAcqFailure f;
  f.isOverrun(true);
  qcAcquireInfo info(cur_->appTag, trigNum, f, board_->stamp(t));
  auto cb = overrunCb_;
  auto icb = overrunInfoCb_;
  if (!cb && !icb) return;
  out.push_back([cb, icb, info]() {
    if (cb) (*cb)();
    if (icb) (*icb)(info);
  });
}

namespace {

// A failure of the worker itself, recorded on the acquisition: no image.
void failAbnormal(qc_Arp& arp, const std::string& what) {
  arp.image(nullptr, qcPelRect());
  arp.failure().isAbnormal(true);
  if (arp.failure().abnormalErrorCode() == 0) arp.failure().abnormalErrorCode(1);
  arp.failure().errorInfo("sim: " + what);
}

std::string describe(std::exception_ptr e) {
  try {
    std::rethrow_exception(e);
  } catch (const std::exception& x) {
    return x.what();
  } catch (...) {
    return "unknown exception";
  }
}

}  // namespace

void Core::capture_(std::unique_ptr<Acq> a, unsigned long trigNum, Clock::time_point t, Actions& out) {
  a->arp->trigNum(trigNum);
  a->arp->timeStamp(static_cast<std::int64_t>(board_->stamp(t)));
  a->missed = missedPending_ && !a->props->ignoreMissedTrigger;
  missedPending_ = false;
  if (!injected_.empty()) {
    a->arp->failure(injected_.front());
    injected_.pop_front();
  }
  if (a->arp->failure().isOverrun()) overrun_(trigNum, t, out);
  capturing_ = true;
  // The frame is read out one period after it started, whatever rendering
  // it takes; the next one starts then.
  captureDone_ = t + seconds(framePeriod_);
  nextFrame_ = captureDone_;
  ++stateCounter_;
  // Slaves of this FIFO take their frame with this one.
  const Core* self = this;
  std::shared_ptr<BoardState> board = board_;
  out.push_back([board, self, trigNum, t]() { board->triggerSlaves(self, trigNum, t); });

  // The image is made now, while the frame is exposed and read out; the
  // worker delivers it when its time has come (step_, finish_).
  std::shared_ptr<Acq> acq(std::move(a));
  finishing_ = acq;
  struct Job {
    std::shared_ptr<Core> core;
    std::shared_ptr<Acq> acq;
    qcPelRect roi;
    long numTaps;
    int component;
    bool local;
    qcPtrHandle<qcCallback1<const void*>> lightCb;
  };
  // A colour channel of a multi-channel FIFO is read through one tap.
  Job job{shared_from_this(), acq, effectiveRoi(*acq->props), component_ < 0 ? board_->numTaps : 1, component_,
          localImages_, lightCb_};
  out.push_back([job]() {
    Core& c = *job.core;
    Acq& q = *job.acq;
    qcAcqFailure& f = q.arp->failure();
    if (job.roi.isEmpty()) f.isInvalidRoi(true);
    if (q.missed) f.isMissed(true);
    if (f.isAbnormal() && f.errorInfo().empty()) f.errorInfo("sim: injected abnormal error");
    const bool noImage = f.isTimeout() || (f.isMissed() && !q.missed) || f.isAbnormal() || f.isInvalidRoi() ||
                         f.isOverrun() || f.isOtherFifoError();
    const SimProps& p = *q.props;
    try {
      // Strobe and light fire as the frame is exposed.
      if (job.lightCb) {
        if (p.strobeEnable) {
          qsSimLightEvent e{qsSimLightEvent::strobe, q.arp->trigNum(), p.strobeDelay, p.strobePulseDuration, 1.0,
                            p.strobeHigh};
          (*job.lightCb)(static_cast<const void*>(&e));
        }
        if (p.lightEnable) {
          qsSimLightEvent e{qsSimLightEvent::light, q.arp->trigNum(), p.lightDelay, 0.0, p.lightPower, true};
          (*job.lightCb)(static_cast<const void*>(&e));
        }
      }
      if (noImage) return;
      RenderSpec s;
      s.pattern = p.pattern;
      s.frameWidth = c.width_;
      s.frameHeight = c.height_;
      s.roi = job.roi;
      s.sampleX = p.sampleX;
      s.sampleY = p.sampleY;
      s.frameNumber = q.arp->trigNum();
      s.numTaps = job.numTaps;
      s.component = job.component;
      s.exposureScale = p.exposure / SimFifo::kDefaultExposure;
      s.contrast = p.contrast;
      s.brightness = p.brightness;
      s.lut = p.lut;
      s.incomplete = f.isIncomplete();
      const qcPair<long> size = outputSize(job.roi, s.sampleX, s.sampleY);
      const long rows = storageRows(c.kind_, size.y);
      qc_PelRoot* root = nullptr;
      switch (c.kind_) {
        case PelKind::grey16:
        case PelKind::grey10:
        case PelKind::grey12:
          root = c.pool_->take<unsigned short>(size.x, rows, job.local);
          break;
        case PelKind::rgb16:
          root = c.pool_->take<qcPackedRGB16Pel>(size.x, rows, job.local);
          break;
        case PelKind::rgb32:
          root = c.pool_->take<qcPackedRGB32Pel>(size.x, rows, job.local);
          break;
        default:
          root = c.pool_->take<unsigned char>(size.x, rows, job.local);
          break;
      }
      q.arp->image(root, job.roi);  // the packet owns the root from here
      c.generator_.render(c.kind_, s, static_cast<unsigned char*>(root->data()),
                          static_cast<long>(root->rowUpdate() * root->pelSize()));
      qcPelRect done = job.roi;
      if (f.isIncomplete()) done.height(size.y / 2 * s.sampleY);
      q.arp->completedRoi(done);
    } catch (...) {
      failAbnormal(*q.arp, "the frame could not be made: " + describe(std::current_exception()));
    }
  });
}

void Core::finish_(std::shared_ptr<Acq> a, Actions& out) {
  struct Job {
    std::shared_ptr<Core> core;
    std::shared_ptr<Acq> acq;
    qcPtrHandle<qcCallback> moveCb, completeCb;
    qcAcqFifo::InfoCallback moveInfoCb, completeInfoCb;
  };
  Job job{shared_from_this(), std::move(a), movePartCb_, completeCb_, movePartInfoCb_, completeInfoCb_};
  out.push_back([job]() {
    Core& c = *job.core;
    Acq& q = *job.acq;
    auto record = [&] {
      return qcAcquireInfo(q.arp->appTag(), q.arp->trigNum(), q.arp->failure(),
                           static_cast<std::uint64_t>(q.arp->timeStamp()));
    };
    qcAcquireInfo info = record();
    try {
      if (job.moveCb) (*job.moveCb)();
      if (job.moveInfoCb) (*job.moveInfoCb)(info);
    } catch (...) {
      failAbnormal(*q.arp, "the move-part callback failed: " + describe(std::current_exception()));
      info = record();
    }
    bool kept = false;
    {
      std::lock_guard<std::mutex> g(c.m_);
      c.capturing_ = false;
      ++c.stateCounter_;
      if (q.generation == c.generation_) {
        c.completed_.push_back(std::make_unique<Acq>());
        Acq& slot = *c.completed_.back();
        slot.props = std::move(q.props);
        slot.arp = std::move(q.arp);
        slot.generation = q.generation;
        kept = true;
      }
    }
    c.cv_.notify_all();
    if (kept) {
      if (job.completeCb) (*job.completeCb)();
      if (job.completeInfoCb) (*job.completeInfoCb)(info);
    }
  });
}

void Core::step_(std::unique_lock<std::mutex>& lk, Actions& out) {
  const Clock::time_point now = Clock::now();
  Clock::time_point wake = now + seconds(kMaxWaitSlice);

  // A frame being taken is delivered when its time has come.
  if (capturing_) {
    if (finishing_ && now >= captureDone_) {
      finish_(std::move(finishing_), out);
      finishing_.reset();
      return;
    }
    wake = std::min(wake, captureDone_);
  }

  // Started acquisitions whose timeout ran out: one start's acquisitions
  // time out together and complete at once (no frame time), as one record
  // that completions hand out as many times as it counts.
  for (auto it = pending_.begin(); it != pending_.end();) {
    if (it->timeout < HUGE_VAL && now >= it->startedAt + seconds(it->timeout)) {
      const unsigned long n = it->count;
      std::unique_ptr<Acq> t = acqOf_(*it);
      it = pending_.erase(it);
      t->repeat = n;
      t->arp->failure().isTimeout(true);
      t->arp->timeStamp(static_cast<std::int64_t>(board_->stamp(now)));
      const qcAcquireInfo info(t->arp->appTag(), t->arp->trigNum(), t->arp->failure(),
                               static_cast<std::uint64_t>(t->arp->timeStamp()));
      completed_.push_back(std::move(t));
      ++stateCounter_;
      cv_.notify_all();
      auto ccb = completeCb_;
      auto icb = completeInfoCb_;
      if (ccb || icb)
        out.push_back([ccb, icb, info, n]() {
          for (unsigned long i = 0; i < n; ++i) {
            if (ccb) (*ccb)();
            if (icb) (*icb)(info);
          }
        });
    } else {
      if (it->timeout < HUGE_VAL) wake = std::min(wake, it->startedAt + seconds(it->timeout));
      ++it;
    }
  }
  if (!out.empty()) return;

  // The pulse generator on the FIFO's own line.
  if (pulsePeriod_ > 0 && model_.usesInputLine) {
    if (now >= nextPulse_) {
      pulses_.push_back(Pulse{now, 0, false});
      nextPulse_ = std::max(nextPulse_ + seconds(pulsePeriod_), now);
    }
    wake = std::min(wake, nextPulse_);
  }

  const bool poolFull = static_cast<long>(pool_->out()) >= poolCapacity_();

  // Pulses (input line, software, master) that are due.
  const Clock::duration delay = seconds(cur_->triggerDelay);
  while (!pulses_.empty()) {
    Pulse p = pulses_.front();
    const bool wanted = (p.fromMaster ? model_.isSlave : model_.usesInputLine) && triggerEnable_;
    if (!wanted) {
      pulses_.pop_front();
      continue;
    }
    if (now < p.t + delay) {
      wake = std::min(wake, p.t + delay);
      break;
    }
    if (capturing_) {
      // Busy: the trigger is missed.
      pulses_.pop_front();
      if (!p.fromMaster) ++trigCounter_;
      missedPending_ = true;
      continue;
    }
    pulses_.pop_front();
    const unsigned long trig = p.fromMaster ? p.masterTrig : ++trigCounter_;
    std::unique_ptr<Acq> a;
    if (model_.canStart) {
      // Semi-automatic: the pulse takes the oldest acquisition armed before it.
      if (pending_.empty() || pending_.front().startedAt > p.t) continue;
      a = takePending_();
    } else {
      if (poolFull) {
        overrun_(trig, p.t, out);
        continue;
      }
      a = newAcq_(now);
    }
    capture_(std::move(a), trig, p.t + delay, out);
    return;
  }
  if (capturing_) {
    cv_.wait_until(lk, std::max(now, wake));
    return;
  }

  // Frames follow the camera's clock: slot k starts at the first frame's
  // start + k periods, and a frame's time stamp is its slot.
  const bool freeRun = !model_.canStart && !model_.usesInputLine && !model_.isSlave;
  const bool manual = model_.canStart && !model_.usesInputLine;
  if (manual && triggerEnable_ && !pending_.empty()) {
    const Clock::duration period = seconds(framePeriod_);
    // The next frame of a running stream, or, started on an idle camera, a
    // frame at once; when the board is late (a buffer came back late, the
    // worker was slow), the frame in progress now, which its stamp says.
    Clock::time_point t = now;
    if (period > Clock::duration::zero()) {
      t = std::max(nextFrame_, pending_.front().startedAt);
      if (now - t >= period) t += ((now - t) / period) * period;
    }
    if (now >= t) {
      if (!poolFull) {
        capture_(takePending_(), ++trigCounter_, t, out);
        return;
      }
    } else {
      wake = std::min(wake, t);
    }
  } else if (freeRun && triggerEnable_) {
    const Clock::duration period = seconds(std::max(framePeriod_, kMinFreeRunPeriod));
    if (now >= nextFrame_) {
      // Frames whose slot passed a whole period ago were lost (the board was
      // still busy): overruns, with their own trigger numbers.
      const Clock::time_point t = nextFrame_ + ((now - nextFrame_) / period) * period;
      const auto lost = static_cast<unsigned long>((t - nextFrame_) / period);
      for (unsigned long k = 0; k < lost; ++k) overrun_(++trigCounter_, nextFrame_ + k * period, out);
      const unsigned long trig = ++trigCounter_;
      if (poolFull)
        overrun_(trig, t, out);
      else
        capture_(newAcq_(now), trig, t, out);
      nextFrame_ = t + period;
      return;
    }
    wake = std::min(wake, nextFrame_);
  }
  if (!out.empty()) return;
  cv_.wait_until(lk, std::max(now, wake));
}

// ---- completion ---------------------------------------------------------------

std::unique_ptr<Core::Acq> Core::popCompleted_(const qcAcqFifo::CompleteArgs& args, bool& timedOut) {
  std::unique_lock<std::mutex> lk(m_);
  qeSimStartReqStatus status = qeSimStart_Granted;
  if (args.autoStart() && completed_.empty() && pending_.empty() && !capturing_) {
    if (model_.canStart) {
      addPending_(1);
      ++stateCounter_;
      cv_.notify_all();
    } else {
      status = qeSimStart_Refused;
    }
  }
  if (args.startReqStatus()) *args.startReqStatus() = static_cast<qcAcqFifo::qeStartReqStatus>(status);
  const qcDeadline deadline(args.maxWait());
  while (completed_.empty()) {
    if (deadline.expired()) {
      timedOut = true;
      return nullptr;
    }
    const double left = deadline.isInfinite() ? 1.0 : std::min(1.0, deadline.until());
    cv_.wait_for(lk, seconds(left));
  }
  ++stateCounter_;
  Acq& front = *completed_.front();
  if (front.repeat > 1) {
    // One of a start's acquisitions that timed out together.
    --front.repeat;
    std::unique_ptr<Acq> a = acqOf_(Batch{1, front.props, front.startedAt, front.timeout, front.generation});
    a->arp->trigNum(front.arp->trigNum());
    a->arp->failure(front.arp->failure());
    a->arp->timeStamp(front.arp->timeStamp());
    return a;
  }
  std::unique_ptr<Acq> a = std::move(completed_.front());
  completed_.pop_front();
  return a;
}

void Core::fillInfo_(const qcAcqFifo::CompleteArgs& args, const Acq* a, bool timedOut) const {
  qcAcquireInfo* info = args.acquireInfo();
  if (!info) return;
  if (a) {
    *info = qcAcquireInfo(a->arp->appTag(), a->arp->trigNum(), a->arp->failure(),
                          static_cast<std::uint64_t>(a->arp->timeStamp()));
  } else {
    qcAcqFailure f;
    f.isTimeout(timedOut);
    if (!timedOut) {
      f.isAbnormal(true);
      f.errorInfo("sim: this FIFO delivers another kind of pels");
    }
    *info = qcAcquireInfo(0, 0, f, 0);
  }
}

template <class B>
B Core::complete(const qcAcqFifo::CompleteArgs& args, PelKind wanted) {
  const bool ok = wanted == kind_ || (wanted == PelKind::grey8 && kind_ == PelKind::raw8) ||
                  (wanted == PelKind::grey16 && (kind_ == PelKind::grey10 || kind_ == PelKind::grey12));
  if (!ok) {
    fillInfo_(args, nullptr, false);
    return B();
  }
  bool timedOut = false;
  std::unique_ptr<Acq> a = popCompleted_(args, timedOut);
  fillInfo_(args, a.get(), timedOut);
  if (!a || !a->arp->image()) return B();
  const qcPelRect roi = a->arp->completedRoi();
  const qcPair<long> off(roi.x() / std::max(1L, a->props->sampleX), roi.y() / std::max(1L, a->props->sampleY));
  qc_PelRoot* raw = a->arp->extractImage();
  if constexpr (std::is_same_v<B, qc3PlanePelBuffer>) {
    qcPtrHandle<qcPelRoot<unsigned char>> h = adopt<unsigned char>(raw);
    const long w = h->width(), hh = h->height() / 3;
    qcPelBuffer<unsigned char> p0(h, qcPelRect(0, 0, w, hh)), p1(h, qcPelRect(0, hh, w, hh)),
        p2(h, qcPelRect(0, 2 * hh, w, hh));
    qc3PlanePelBuffer b(p0, p1, p2, qc3PlanePelBuffer::RGB);
    b.offset(off);
    return b;
  } else {
    using T = typename PelOf<B>::T;
    B b(adopt<T>(raw));
    b.offset(off);
    return b;
  }
}

qcPtrHandle<qcAcqImage> Core::completeAcq(const qcAcqFifo::CompleteArgs& args) {
  auto local = [&](auto b) { return args.makeLocal() ? qfPelMove(b, 0) : b; };
  switch (kind_) {
    case PelKind::grey8:
      return qcPtrHandle<qcAcqImage>(new qcAcqImage(local(complete<qcPelBuffer<unsigned char>>(args, kind_)), qeImageFormat_Grey8));
    case PelKind::raw8:
      return qcPtrHandle<qcAcqImage>(new qcAcqImage(local(complete<qcPelBuffer<unsigned char>>(args, kind_)), qeImageFormat_Raw8));
    case PelKind::grey16:
      return qcPtrHandle<qcAcqImage>(new qcAcqImage(local(complete<qcPelBuffer<unsigned short>>(args, kind_)), qeImageFormat_Grey16));
    case PelKind::grey10:
      return qcPtrHandle<qcAcqImage>(new qcAcqImage(local(complete<qcPelBuffer<unsigned short>>(args, kind_)), qeImageFormat_Grey10));
    case PelKind::grey12:
      return qcPtrHandle<qcAcqImage>(new qcAcqImage(local(complete<qcPelBuffer<unsigned short>>(args, kind_)), qeImageFormat_Grey12));
    case PelKind::rgb16:
      return qcPtrHandle<qcAcqImage>(new qcAcqImage(local(complete<qcPelBuffer<qcPackedRGB16Pel>>(args, kind_))));
    case PelKind::rgb32:
      return qcPtrHandle<qcAcqImage>(new qcAcqImage(local(complete<qcPelBuffer<qcPackedRGB32Pel>>(args, kind_))));
    case PelKind::plane3:
      return qcPtrHandle<qcAcqImage>(new qcAcqImage(local(complete<qc3PlanePelBuffer>(args, kind_))));
  }
  return qcPtrHandle<qcAcqImage>(new qcAcqImage());
}

// ---- custom items ---------------------------------------------------------------

void Core::customItem(const std::string& type, const std::string& name, const std::string& value) {
  double d = 0;
  long l = 0;
  if (name == kFireInputLine) {
    long line = 0;
    if (type == "command") {
      line = locked([&] { return inputLine_; });
    } else if (!parseLong(value, line) || line < 0 || line >= board_->inputLines) {
      bad("input line out of range: " + value);
    }
    board_->fireLine(line);
    return;
  }
  if (type == "command") bad("unknown command " + name);
  if (name == kTestImage) {
    Pattern::Type t;
    if (!parsePattern(value, t)) bad("unknown test image " + value);
    change([&](SimProps& p) { p.pattern.type = t; });
  } else if (name == kCheckerSize) {
    if (!parseLong(value, l) || l < 1) bad("bad checker size " + value);
    change([&](SimProps& p) { p.pattern.checkerSize = l; });
  } else if (name == kFlatValue) {
    if (!parseLong(value, l) || l < 0 || l > 255) bad("bad flat value " + value);
    change([&](SimProps& p) { p.pattern.flatValue = static_cast<int>(l); });
  } else if (name == kTapGain) {
    if (!parseDouble(value, d)) bad("bad tap gain " + value);
    change([&](SimProps& p) { p.pattern.tapGain = d; });
  } else if (name == kTapOffset) {
    if (!parseDouble(value, d)) bad("bad tap offset " + value);
    change([&](SimProps& p) { p.pattern.tapOffset = d; });
  } else if (name == kFramePeriod) {
    if (!parseDouble(value, d) || d < 0) bad("bad frame period " + value);
    locked([&] { framePeriod_ = d; });
  } else if (name == kTriggerPeriod) {
    if (!parseDouble(value, d) || d < 0) bad("bad trigger period " + value);
    locked([&] {
      pulsePeriod_ = d;
      nextPulse_ = Clock::now() + seconds(d);
    });
  } else if (name == kInputLine) {
    if (!parseLong(value, l) || l < 0 || l >= board_->inputLines) bad("input line out of range: " + value);
    locked([&] { inputLine_ = l; });
  } else if (name == kInject) {
    static const struct {
      const char* name;
      std::uint32_t flag;
    } kinds[] = {{"timeout", qcAcqFailure::kTimeout},
                 {"missed", qcAcqFailure::kMissed},
                 {"abnormal", qcAcqFailure::kAbnormal},
                 {"incomplete", qcAcqFailure::kIncomplete},
                 {"tooFastEncoder", qcAcqFailure::kTooFastEncoder},
                 {"invalidRoi", qcAcqFailure::kInvalidRoi},
                 {"overrun", qcAcqFailure::kOverrun},
                 {"otherFifoError", qcAcqFailure::kOtherFifoError},
                 {"timingError", qcAcqFailure::kTimingError}};
    std::string kind = value;
    long code = 1;
    if (auto colon = value.find(':'); colon != std::string::npos) {
      kind = value.substr(0, colon);
      if (kind != "abnormal" || !parseLong(value.substr(colon + 1), code)) bad("bad failure " + value);
    }
    for (const auto& k : kinds)
      if (kind == k.name) {
        qcAcqFailure f(k.flag, k.flag == qcAcqFailure::kAbnormal ? code : 0);
        locked([&] { injected_.push_back(f); });
        return;
      }
    bad("unknown failure " + value);
  } else if (name == kAppTag) {
    char* end = nullptr;
    errno = 0;
    const unsigned long tag = std::strtoul(value.c_str(), &end, 10);
    if (value.empty() || errno != 0 || *end != '\0') bad("bad application tag " + value);
    change([&](SimProps& p) { p.appTag = tag; });
  } else if (name == kLocalImages) {
    if (value != "0" && value != "1") bad("LocalImages must be 0 or 1");
    locked([&] { localImages_ = value == "1"; });
  } else {
    bad("unknown custom item \"" + name + "\"");
  }
  cv_.notify_all();
}

template qcPelBuffer<unsigned char> Core::complete(const qcAcqFifo::CompleteArgs&, PelKind);
template qcPelBuffer<unsigned short> Core::complete(const qcAcqFifo::CompleteArgs&, PelKind);
template qcPelBuffer<qcPackedRGB16Pel> Core::complete(const qcAcqFifo::CompleteArgs&, PelKind);
template qcPelBuffer<qcPackedRGB32Pel> Core::complete(const qcAcqFifo::CompleteArgs&, PelKind);
template qc3PlanePelBuffer Core::complete(const qcAcqFifo::CompleteArgs&, PelKind);

}  // namespace qrn_sim
