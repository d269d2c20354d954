// The simulated frame grabber's board state and driver FIFO.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <qrn/foundation/pelbuffer.h>

#include <qrn/acq/hyper/acqfifo.h>
#include <qrn/acq/hyper/arp.h>
#include <qrn/acq/hyper/prop/propquery.h>
#include <qrn/acq/hyper/trigmodel.h>

#include "simimage.h"

namespace qrn_sim {

using Clock = std::chrono::steady_clock;

// The largest hardware image pool a FIFO accepts (hardwareImagePoolSize).
inline constexpr long kMaxPoolSize = 1024;

class Core;

// What one simulated board is: its configuration and its live FIFOs.
struct BoardState {
  long index = 0;
  long numTaps = 2;
  long inputLines = 2;
  long cameraPorts = 2;
  long numChannels = 2;
  long poolSize = 4;
  double framePeriod = 1.0 / 30;
  Clock::time_point epoch = Clock::now();

  // Guards `fifos` and every Core::master_.  Taken before a Core's lock,
  // never while holding one.
  std::mutex m;
  std::vector<Core*> fifos;

  // Microseconds of the board's clock at t.
  std::uint64_t stamp(Clock::time_point t) const {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(t - epoch).count());
  }
  // A pulse on input line `line`, seen by every FIFO listening to it.
  void fireLine(long line);
  // A master's trigger, seen by its slaves.
  void triggerSlaves(const Core* master, unsigned long trigNum, Clock::time_point t);
};

// The property snapshot acquisitions are taken with: the framework's values
// and the simulator's own.
struct SimProps : qc_Properties {
  unsigned char lut[4][256];
  long sampleX = 1, sampleY = 1;
  Pattern pattern;
  double triggerDelay = 0.0;
  bool ignoreMissedTrigger = true;
  bool lightEnable = false;
  double lightPower = 0.0;
  unsigned long appTag = 0;
  SimProps();
  SimProps(const SimProps&) = default;
};


// The hardware image pool: blocks of memory handed out as roots that do not
// own them; a block goes back to the pool when its root dies.
class Pool {
public:
  using Block = std::vector<std::uint64_t>;

  explicit Pool(std::weak_ptr<Core> core) : core_(std::move(core)) {}

  long out() const {
    std::lock_guard<std::mutex> g(m_);
    return out_;
  }

  // Makes blocks ready for images of `bytes` (prepare), until `n` exist or
  // the deadline has passed; false then, or when memory ran out.
  bool reserve(std::size_t bytes, long n, const qcDeadline& deadline) {
    std::lock_guard<std::mutex> g(m_);
    dropOtherSizes_(bytes);
    try {
      while (static_cast<long>(free_.size()) + out_ < n) {
        if (deadline.expired()) return false;
        free_.push_back(std::make_shared<Block>(words(bytes)));
      }
    } catch (const std::bad_alloc&) {
      return false;
    }
    return true;
  }

  // A root of `width` x `rows` pels over a pool block; the block goes back to
  // the pool when the root dies.
  template <class T>
  qc_PelRoot* take(long width, long rows, bool local) {
    const std::size_t bytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(rows) * sizeof(T);
    std::shared_ptr<Block> b;
    {
      std::lock_guard<std::mutex> g(m_);
      dropOtherSizes_(bytes);
      if (!free_.empty()) {
        b = std::move(free_.back());
        free_.pop_back();
      } else {
        b = std::make_shared<Block>(words(bytes));
      }
      ++out_;
    }
    std::weak_ptr<Core> core = core_;
    T* mem = reinterpret_cast<T*>(b->data());
    auto* root = new qcPelRoot<T>(mem, width, rows, width, [core, b, bytes]() mutable {
      if (std::shared_ptr<Core> c = core.lock()) giveBackTo_(*c, std::move(b), bytes);
    });
    root->local(local);
    return root;
  }

  void giveBack_(std::shared_ptr<Block> b, std::size_t bytes) {
    {
      std::lock_guard<std::mutex> g(m_);
      --out_;
      if (bytes == bytes_) free_.push_back(std::move(b));
    }
    // Wakes the worker (a started acquisition may be waiting for a buffer).
    if (std::shared_ptr<Core> c = core_.lock()) notify_(*c);
  }
  static void giveBackTo_(Core& c, std::shared_ptr<Block> b, std::size_t bytes);
  static void notify_(Core& c);

private:
  static std::size_t words(std::size_t bytes) { return std::max<std::size_t>(1, (bytes + 7) / 8); }
  void dropOtherSizes_(std::size_t bytes) {
    if (bytes != bytes_) {
      free_.clear();
      bytes_ = bytes;
    }
  }

  std::weak_ptr<Core> core_;
  mutable std::mutex m_;
  std::vector<std::shared_ptr<Block>> free_;
  std::size_t bytes_ = 0;
  long out_ = 0;
};


// The state of one driver FIFO, shared with its worker thread and with the
// release functions of the images it handed out.
class Core : public std::enable_shared_from_this<Core> {
public:
  Core(std::shared_ptr<BoardState> board, PelKind kind, long width, long height, double framePeriod);
  ~Core();

  void startWorker();
  void stopWorker();

  // ---- driver FIFO operations (application thread) ---------------------------
  bool start(unsigned long count);
  void flush();
  void trigger();
  void pulse(Clock::time_point t, unsigned long masterTrig, bool fromMaster);
  template <class B>
  B complete(const qcAcqFifo::CompleteArgs& args, PelKind wanted);
  qcPtrHandle<qcAcqImage> completeAcq(const qcAcqFifo::CompleteArgs& args);

  // Mutable snapshot under the lock: copies it first when packets hold it.
  template <class F>
  void change(F&& f) {
    std::lock_guard<std::mutex> g(m_);
    if (cur_.use_count() > 1) cur_ = std::make_shared<SimProps>(*cur_);
    f(*cur_);
    cur_->hasChanged = true;
  }
  template <class F>
  auto read(F&& f) const {
    std::lock_guard<std::mutex> g(m_);
    return f(*cur_);
  }
  template <class F>
  auto locked(F&& f) {
    std::lock_guard<std::mutex> g(m_);
    return f();
  }

  void customItem(const std::string& type, const std::string& name, const std::string& value);

  // ---- state ---------------------------------------------------------------------
  struct Model {
    std::string name = "Manual";
    bool usesInputLine = false, isSlave = false, canStart = true;
  };

  const std::shared_ptr<BoardState> board_;
  const PelKind kind_;
  const long width_, height_;

  mutable std::mutex m_;
  std::condition_variable cv_;
  std::shared_ptr<SimProps> cur_;
  Model model_;
  bool triggerEnable_ = true;
  double timeout_ = HUGE_VAL;
  double framePeriod_;
  double pulsePeriod_ = 0.0;
  long inputLine_ = 0;
  long cameraPort_ = 0;
  long auxLightPort_ = 0;
  bool localImages_ = false;
  bool prepared_ = false;
  long poolSize_;  // 0: the board's default
  qcPtrHandle<qcCallback> completeCb_, movePartCb_, overrunCb_;
  qcAcqFifo::InfoCallback completeInfoCb_, movePartInfoCb_, overrunInfoCb_;
  qcPtrHandle<qcCallback1<const void*>> lightCb_;
  std::deque<qcAcqFailure> injected_;
  const Core* master_ = nullptr;  // guarded by board_->m
  // A channel of a multi-channel FIFO renders this component of a colour
  // scene (0 red, 1 green, 2 blue) through one tap; -1: not a channel.
  int component_ = -1;

  // ---- worker ------------------------------------------------------------------
  struct Acq {
    std::shared_ptr<SimProps> props;  // outlives arp's attachment
    std::unique_ptr<qc_Arp> arp;
    Clock::time_point startedAt;
    double timeout = HUGE_VAL;
    unsigned long generation = 0;
    bool missed = false;
    unsigned long repeat = 1;  // completed timeouts of one start: that many equal records
    ~Acq();
  };
  // Acquisitions started by one start(count): counted, not one record each.
  struct Batch {
    unsigned long count = 0;
    std::shared_ptr<SimProps> props;
    Clock::time_point startedAt;
    double timeout = HUGE_VAL;
    unsigned long generation = 0;
  };
  struct Pulse {
    Clock::time_point t;
    unsigned long masterTrig;
    bool fromMaster;
  };

private:
  friend class Pool;
  using Actions = std::vector<std::function<void()>>;

  void run_();
  // One step of the worker under the lock; returns actions to run unlocked.
  void step_(std::unique_lock<std::mutex>& lk, Actions& out);
  std::unique_ptr<Acq> newAcq_(Clock::time_point now);
  std::unique_ptr<Acq> acqOf_(const Batch& b);
  // An acquisition record for the oldest started acquisition.
  std::unique_ptr<Acq> takePending_();
  void addPending_(unsigned long count);
  // Starts taking a frame for `a` (under the lock).
  void capture_(std::unique_ptr<Acq> a, unsigned long trigNum, Clock::time_point t, Actions& out);
  void overrun_(unsigned long trigNum, Clock::time_point t, Actions& out);
  void finish_(std::shared_ptr<Acq> a, Actions& out);
  long poolCapacity_() const;
  std::unique_ptr<Acq> popCompleted_(const qcAcqFifo::CompleteArgs& args, bool& timedOut);
  void fillInfo_(const qcAcqFifo::CompleteArgs& args, const Acq* a, bool timedOut) const;

public:
  // The region of interest within the frame (empty when outside it).
  qcPelRect effectiveRoi(const SimProps& p) const;
  unsigned long pendingCount() const;    // under the lock
  unsigned long completedCount() const;  // under the lock

  std::shared_ptr<Pool> pool_;
  std::deque<Batch> pending_;
  std::deque<std::unique_ptr<Acq>> completed_;
  std::deque<Pulse> pulses_;
  bool capturing_ = false;
  std::shared_ptr<Acq> finishing_;  // the frame being taken
  Clock::time_point captureDone_;
  Clock::time_point nextFrame_;  // the next frame slot: frames start at slots one period apart
  Clock::time_point nextPulse_;
  unsigned long trigCounter_ = 0;
  unsigned long generation_ = 0;
  unsigned long stateCounter_ = 0;
  bool missedPending_ = false;
  bool stop_ = false;
  ImageGenerator generator_;  // the worker's alone
  std::thread worker_;
};

// The property query: the supported properties of the FIFO's set.
class SimQuery : public qcAcqPropertyQuery {
public:
  qcAcqProps* props = nullptr;
  bool hasLut = true;
#define QRN_SIM_QUERY_(P) \
  operator P*() const override; \
  operator P&() const override;
  QRN_SIM_QUERY_(qcTriggerProp)
  QRN_SIM_QUERY_(qcTriggerFilterProp)
  QRN_SIM_QUERY_(qcStrobeProp)
  QRN_SIM_QUERY_(qcStrobeDelayProp)
  QRN_SIM_QUERY_(qcExposureProp)
  QRN_SIM_QUERY_(qcTimeoutProp)
  QRN_SIM_QUERY_(qcCameraPortProp)
  QRN_SIM_QUERY_(qcMovePartCallbackProp)
  QRN_SIM_QUERY_(qcOverrunCallbackProp)
  QRN_SIM_QUERY_(qcCompleteCallbackProp)
  QRN_SIM_QUERY_(qcRoiProp)
  QRN_SIM_QUERY_(qcLightProp)
  QRN_SIM_QUERY_(qc8BitInputLutProp)
  QRN_SIM_QUERY_(qcContrastBrightnessProp)
  QRN_SIM_QUERY_(qcSampleProp)
  QRN_SIM_QUERY_(qcCustomProp)
#undef QRN_SIM_QUERY_
};

// The driver FIFO.
class SimFifo : public qc_AcqFifo {
public:
  SimFifo(std::shared_ptr<BoardState> board, const qc_VideoFormat& fmt, PelKind kind);
  ~SimFifo() override;

  const std::shared_ptr<Core>& core() const { return core_; }
  const BoardState& board() const { return *board_; }

  bool start(unsigned long count) override;
  bool isValid(qc_ProblemFlags& flags) const override;
  bool isIdle() const override;
  bool isWaiting() const override;
  bool isAcquiring() const override;
  bool isMovable() const override;
  bool isComplete() const override;
  long pendingAcqs() const override;
  long completedAcqs() const override;
  long availableAcqs() const override;
  bool prepare(std::string* message, const qcDeadline& deadline) override;
  bool isPrepared() const override;
  void flush() override;
  qcPelBuffer<unsigned char> complete8(const CompleteArgs& args) override;
  qcPelBuffer<unsigned short> complete16(const CompleteArgs& args) override;
  qcPelBuffer<qcPackedRGB16Pel> completeRGB16(const CompleteArgs& args) override;
  qcPelBuffer<qcPackedRGB32Pel> completeRGB32(const CompleteArgs& args) override;
  qc3PlanePelBuffer complete3Plane(const CompleteArgs& args) override;
  qcPtrHandle<qcAcqImage> completeAcq(const CompleteArgs& args) override;
  void trigger() override;
  void waitForStateChange(qc_Resource* resource) override;
  void setContrast(double contrast, long tap) override;
  void setBrightness(double brightness, long tap) override;
  void setLut(const unsigned char* table, long entries, long tap) override;
  void cameraPort(long port) override;
  void completeCallback(qcPtrHandle<qcCallback> cb) override;
  void completeInfoCallback(InfoCallback cb) override;
  void exposure(double seconds) override;
  void settlingTime(double seconds) override;
  void movePartCallback(qcPtrHandle<qcCallback> cb) override;
  void movePartInfoCallback(InfoCallback cb) override;
  void overrunCallback(qcPtrHandle<qcCallback> cb) override;
  void overrunInfoCallback(InfoCallback cb) override;
  void pelRootPool(qcPtrHandle<qcPelRootPool> pool) override;
  void timeout(double seconds) override;
  void strobeEnable(bool on) override;
  void strobePulseDuration(double seconds) override;
  void strobeHigh(bool activeHigh) override;
  void strobeDelay(double seconds) override;
  void syncModel(const qcSyncModel& model) override;
  bool triggerEnable() const override;
  void triggerEnable(bool on) override;
  void triggerModel(const qc_TriggerModel& model) override;
  void triggerLowToHigh(bool on) override;
  void triggerMaster(qc_AcqFifo* master) override;
  void ctiOffset(double seconds) override;
  void horizAdjust(double seconds) override;
  void roi(const qcPelRect& r) override;
  void roiMode(qe_RoiMode mode) override;
  bool isRoiModeSupported(qe_RoiMode mode) override;
  void lightCallback(qcPtrHandle<qcCallback1<const void*>> cb) override;
  void lightEnable(bool on) override;
  void darkLevel(double fraction) override;
  void lightPower(double fraction) override;
  void lightDelay(double seconds) override;
  void auxLightPort(long port) override;
  void auxDarkLevel(double fraction) override;
  void auxLightPower(double fraction) override;
  bool lightsOff() override;
  void clippingEnable(bool on) override;
  void clippingLowerLimit(unsigned char v) override;
  void clippingUpperLimit(unsigned char v) override;
  void alphaEnable(bool on) override;
  void alphaSource(qe_AlphaSource source) override;
  void alphaByte(unsigned char v) override;
  void selectHighGain(bool on) override;
  void masterClockFrequency(double megahertz) override;
  void update(const qcCustomProp& p) override;
  void update(qcSampleProp& p) override;
  void update(qcTriggerFilterProp& p) override;
  void firstPelOffset(signed char v) override;
  void zeroCounterWhenTriggered(bool on) override;
  void useTestEncoder(bool on) override;
  void positiveTestEncoderDirection(bool on) override;
  void encoderTriggerEnabled(bool x, bool y) override;
  void stepsPerLine(long steps, long sixteenths) override;
  void encoderPort(long port) override;
  long numEncoderPort() const override;
  void encoderOffset(long v) override;
  void positiveAcquireDirection(bool on) override;
  void useSingleChannel(bool on) override;
  void encoderResolution(qe_EncoderResolution r) override;
  void startAcqOnEncoderCount(long count) override;
  void ignoreBackwardEncoderCountsBetweenAcquires(bool on) override;
  void ignoreTooFastEncoder(bool on) override;
  long encoderTriggerLatency() const override;
  void zeroCounter() override;
  long currentEncoderCount() override;
  long numCameraPort() const override;
  long numTaps() const override;
  long lutEntries() const override;
  double defaultContrast() const override;
  double defaultExposure() const override;
  qcPtrHandle<qcPelRootPool> defaultPelPool() const override;
  const qcSyncModel& defaultSyncModel() const override;
  double actualCtiOffset() const override;
  double actualHorizAdjust() const override;
  qcPelRect actualRoi() const override;
  const qcSyncModel& actualSyncModel() const override;
  bool isValidPool(const qcPtrHandle<qcPelRootPool>& pool) override;
  qcAcqPropertyQuery& propertyQuery() override;
  void initializePropertyQuery(qcAcqProps* props) override;
  void initSettingDataBase(qcSettingDataBase& db) const override;
  const std::vector<long>* getValidSampleSettings() const override;
  bool couldSlaveTo(const qc_AcqFifo* master) const override;
  long defaultHardwareImagePoolSize() const override;
  void hardwareImagePoolSize(long n) override;
  long hardwareImagePoolSize() const override;

  static constexpr double kDefaultExposure = 0.01;
  static constexpr double kDefaultContrast = 0.0;  // the camera's levels unchanged

private:
  std::shared_ptr<BoardState> board_;
  std::shared_ptr<Core> core_;
  SimQuery query_;
  const qcSyncModel* sync_ = nullptr;
  double cti_ = HUGE_VAL, horiz_ = HUGE_VAL;
};

}  // namespace qrn_sim
