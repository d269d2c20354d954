// The camera driver FIFO: one Aravis stream, its buffers handed out as pool
// images.  Filled buffers become acquisitions on the stream's own receiving
// thread; a worker thread keeps the deadlines, sends software triggers,
// notices a lost camera and runs the callbacks.
//
// The class is written in several files, by concern:
//   gigefifo.cpp    life (the camera taken and given back), state queries,
//                   the property query and callbacks
//   gigeconfig.cpp  settings applied to the camera: region, format, trigger
//                   model, the stream and its buffers, exposure, gain, strobe
//   gigestream.cpp  the receiving thread, the worker (deadlines, software
//                   triggers, the lost camera) and the completions
//   gigecustom.cpp  the custom property's items
// How a frame becomes an image (pixel formats, colour conversion) is
// gigeconvert.{h,cpp}, which knows nothing of FIFOs.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include <qrn/acq/hyper/acqfifo.h>
#include <qrn/acq/hyper/prop/propquery.h>
#include <qrn/acq/hyper/trigmodel.h>
#include <qrn/foundation/pelbuffer.h>

#include "gigeconvert.h"
#include "gigesession.h"

namespace qrn_gige {

using Clock = std::chrono::steady_clock;

// A duration of `s` seconds (none for 0 or less, NaN included).
inline Clock::duration seconds(double s) {
  if (!(s > 0)) return Clock::duration::zero();
  return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(std::min(s, 1e6)));
}

// A software trigger without a frame is sent again after this long: a
// second, or twice the exposure when that is longer.
inline Clock::duration triggerRetry(double exposure) {
  return std::max<Clock::duration>(std::chrono::seconds(1), seconds(2 * exposure));
}

// The stream, shared with the release functions of the images handed out: a
// buffer goes back to the stream while it lives, else it is freed.
struct StreamLink;
struct StreamBox {
  std::mutex m;
  ArvStream* stream = nullptr;
  std::size_t payload = 0;   // bytes of each buffer
  long buffers = 0;          // how many the stream was given
  qcPelRect roi;             // the region its frames have
  std::atomic<long> out{0};  // buffers held by the application
  StreamLink* link = nullptr;  // the stream's signal handler data (lives with the stream)
  // A buffer goes back without its frame's id and time stamps: Aravis sets
  // them from a frame's leader packet only, so a frame whose leader was lost
  // then comes with id 0 instead of those of the buffer's previous frame.
  void giveBack(ArvBuffer* b) {
    arv_buffer_set_frame_id(b, 0);
    arv_buffer_set_timestamp(b, 0);
    arv_buffer_set_system_timestamp(b, 0);
    std::lock_guard<std::mutex> g(m);
    if (stream)
      arv_stream_push_buffer(stream, b);
    else
      g_object_unref(b);
  }
};

// The property query: what the camera's features allow.
class GigeQuery : public qcAcqPropertyQuery {
public:
  qcAcqProps* props = nullptr;
  bool exposure = false, strobe = false, contrast = false;
#define QRN_GIGE_QUERY_(P) \
  operator P*() const override; \
  operator P&() const override;
  QRN_GIGE_QUERY_(qcTriggerProp)
  QRN_GIGE_QUERY_(qcStrobeProp)
  QRN_GIGE_QUERY_(qcExposureProp)
  QRN_GIGE_QUERY_(qcTimeoutProp)
  QRN_GIGE_QUERY_(qcMovePartCallbackProp)
  QRN_GIGE_QUERY_(qcOverrunCallbackProp)
  QRN_GIGE_QUERY_(qcCompleteCallbackProp)
  QRN_GIGE_QUERY_(qcRoiProp)
  QRN_GIGE_QUERY_(qcContrastBrightnessProp)
  QRN_GIGE_QUERY_(qcCustomProp)
#undef QRN_GIGE_QUERY_
};

class GigeFifo;

// What the receiving thread's signal handler needs: the FIFO and the stream
// it serves.  Owned by the signal connection, freed with the stream.  The
// handler runs under `m`; a FIFO that lets go of a stream without waiting
// for its thread sets `fifo` to null under it, and no handler calls it again.
struct StreamLink {
  std::mutex m;
  GigeFifo* fifo;
  std::shared_ptr<StreamBox> box;
};

class GigeFifo : public qc_AcqFifo {
public:
  // Takes the camera for the FIFO's life; throws CouldNotCreate.
  GigeFifo(std::shared_ptr<Session> session, const std::string& id, long width, long height, Kind kind);
  ~GigeFifo() override;

  static constexpr long kDefaultPoolSize = 16;

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
  void setLut(const unsigned char*, long, long) override { bad(); }
  void cameraPort(long port) override;
  void completeCallback(qcPtrHandle<qcCallback> cb) override;
  void completeInfoCallback(InfoCallback cb) override;
  void exposure(double seconds) override;
  void settlingTime(double) override {}
  void movePartCallback(qcPtrHandle<qcCallback> cb) override;
  void movePartInfoCallback(InfoCallback cb) override;
  void overrunCallback(qcPtrHandle<qcCallback> cb) override;
  void overrunInfoCallback(InfoCallback cb) override;
  void pelRootPool(qcPtrHandle<qcPelRootPool> pool) override;
  void timeout(double seconds) override;
  void strobeEnable(bool on) override;
  void strobePulseDuration(double) override {}
  void strobeHigh(bool activeHigh) override;
  void strobeDelay(double) override {}
  void syncModel(const qcSyncModel&) override {}
  bool triggerEnable() const override;
  void triggerEnable(bool on) override;
  void triggerModel(const qc_TriggerModel& model) override;
  void triggerLowToHigh(bool on) override;
  void triggerMaster(qc_AcqFifo* master) override;
  void ctiOffset(double) override {}
  void horizAdjust(double) override {}
  void roi(const qcPelRect& r) override;
  void roiMode(qe_RoiMode mode) override;
  bool isRoiModeSupported(qe_RoiMode mode) override { return mode == qeRoiMode_Default; }
  void lightCallback(qcPtrHandle<qcCallback1<const void*>>) override {}
  void lightEnable(bool) override {}
  void darkLevel(double) override {}
  void lightPower(double) override {}
  void lightDelay(double) override {}
  void auxLightPort(long) override {}
  void auxDarkLevel(double) override {}
  void auxLightPower(double) override {}
  void clippingEnable(bool) override {}
  void clippingLowerLimit(unsigned char) override {}
  void clippingUpperLimit(unsigned char) override {}
  void alphaEnable(bool) override {}
  void alphaSource(qe_AlphaSource) override {}
  void alphaByte(unsigned char) override {}
  void selectHighGain(bool) override {}
  void masterClockFrequency(double) override {}
  void update(const qcCustomProp& p) override;
  void firstPelOffset(signed char) override {}
  void zeroCounterWhenTriggered(bool) override {}
  void useTestEncoder(bool) override {}
  void positiveTestEncoderDirection(bool) override {}
  void encoderTriggerEnabled(bool, bool) override {}
  void stepsPerLine(long, long) override {}
  void encoderPort(long) override {}
  long numEncoderPort() const override { return 0; }
  void encoderOffset(long) override {}
  void positiveAcquireDirection(bool) override {}
  void useSingleChannel(bool) override {}
  void encoderResolution(qe_EncoderResolution) override {}
  void startAcqOnEncoderCount(long) override {}
  void ignoreBackwardEncoderCountsBetweenAcquires(bool) override {}
  void ignoreTooFastEncoder(bool) override {}
  long encoderTriggerLatency() const override { return 0; }
  void zeroCounter() override {}
  long currentEncoderCount() override { return 0; }
  long numCameraPort() const override { return 1; }
  long numTaps() const override { return 1; }
  double defaultContrast() const override { return defaultContrast_; }
  double defaultBrightness() const override { return defaultBrightness_; }
  double defaultExposure() const override { return defaultExposure_; }
  qcPtrHandle<qcPelRootPool> defaultPelPool() const override { return {}; }
  const qcSyncModel& defaultSyncModel() const override;
  double actualCtiOffset() const override { return 0.0; }
  double actualHorizAdjust() const override { return 0.0; }
  qcPelRect actualRoi() const override;
  const qcSyncModel& actualSyncModel() const override { return defaultSyncModel(); }
  bool isValidPool(const qcPtrHandle<qcPelRootPool>& pool) override { return !pool; }
  qcAcqPropertyQuery& propertyQuery() override { return query_; }
  void initializePropertyQuery(qcAcqProps* props) override { query_.props = props; }
  long defaultHardwareImagePoolSize() const override { return kDefaultPoolSize; }
  void hardwareImagePoolSize(long n) override;
  long hardwareImagePoolSize() const override;

private:
  struct Model {
    bool canStart = true, usesInputLine = false, isSlave = false;
    friend bool operator==(const Model&, const Model&) = default;
  };
  // Started acquisitions not yet taken, kept as runs of those started
  // together: start(n) costs one entry whatever n is.
  class Pending {
  public:
    struct Run {
      Clock::time_point startedAt;
      double timeout;
      unsigned long appTag;
      unsigned long count;
    };
    bool empty() const { return total_ == 0; }
    unsigned long size() const { return total_; }
    const Run& front() const { return runs_.front(); }
    void push(Run r) {
      r.count = std::min(r.count, kMax - total_);
      if (r.count == 0) return;
      runs_.push_back(r);
      total_ += r.count;
    }
    void pop() {  // one acquisition
      if (--runs_.front().count == 0) runs_.pop_front();
      --total_;
    }
    Run popRun() {
      const Run r = runs_.front();
      runs_.pop_front();
      total_ -= r.count;
      return r;
    }
    void clear() {
      runs_.clear();
      total_ = 0;
    }

  private:
    static constexpr unsigned long kMax = LONG_MAX;  // pendingAcqs() is a long
    std::deque<Run> runs_;
    unsigned long total_ = 0;
  };
  struct Done {
    std::shared_ptr<StreamBox> box;
    ArvBuffer* buffer = nullptr;  // owned; null: no image
    qcPelRect roi;
    qcAcquireInfo info;
    unsigned long repeat = 1;  // a run's failures, handed out one by one
  };
  using Actions = std::vector<std::function<void()>>;

  // Stops the camera, applies region, format and trigger features, makes the
  // stream and its buffers again when its frames change, and starts the
  // camera when it should run.
  // Throws CouldNotCreate (a camera error) or BadParams.
  void configure_();
  void dropStream_();       // under streamMx_
  void stopWorker_();
  bool shouldRun_() const;  // under m_
  bool wantsTrigger_() const;  // under m_: a software trigger is due for a started acquisition
  void run_();
  // The stream's "new-buffer" signal, on its receiving thread.
  static void onNewBuffer_(ArvStream* stream, gpointer link);
  void received_(const std::shared_ptr<StreamBox>& box, ArvBuffer* b, guint64 underruns);
  void handle_(const std::shared_ptr<StreamBox>& box, ArvBuffer* b, guint64 underruns, Actions& out);  // under m_
  void expire_(Clock::time_point now, Actions& out);  // under m_
  void failLost_(Actions& out);  // under m_
  void completed_(Done d, Actions& out);  // under m_
  // A completed acquisition whose pels are still in their stream buffer.
  struct Frame {
    Done done;
    unsigned char* data = nullptr;
    std::size_t size = 0;
    long w = 0, h = 0;
    Frame() = default;
    Frame(const Frame&) = delete;
    Frame& operator=(const Frame&) = delete;
    ~Frame() {
      if (done.buffer) done.box->giveBack(done.buffer);
    }
  };
  // Waits for the next acquisition (starting one when asked); false when it
  // has no image of the `wanted` kind (the acquire info tells why).
  bool take_(const CompleteArgs& args, Kind wanted, Frame& fr);
  template <class T>
  qcPelBuffer<T> lend_(Frame& fr);
  // The image of a completion: the stream buffer lent, else made from it.
  template <class B>
  B image_(const CompleteArgs& args, Kind wanted, B MadeImage::*made);
  qcAcqFailure lostFailure_() const;
  void whiteBalance_(const std::string& value);
  template <class T>
  void apply_(T& setting, T value, bool always = false);

  const std::shared_ptr<Session> s_;
  const std::string id_;
  const long width_, height_;
  const Kind kind_;
  const std::string pixelFormat_;
  FrameConverter conv_;  // from stream buffers to images of kind_
  GigeQuery query_;
  double defaultExposure_ = 0.01, defaultContrast_ = 0.5, defaultBrightness_ = 0.5;
  double gainMin_ = 0, gainMax_ = 0, blackMin_ = 0, blackMax_ = 0;
  bool softwareTrigger_ = false;

  // Guards box_ and its stream's life (configure_, the destructor and the
  // pool count).
  mutable std::mutex streamMx_;
  std::shared_ptr<StreamBox> box_;  // one per stream made

  mutable std::mutex m_;
  std::condition_variable cv_;   // completions and state changes
  std::condition_variable wcv_;  // the worker's
  Actions actions_;              // callbacks for the worker to run, in order
  Model model_;
  bool triggerEnable_ = true;
  bool lowToHigh_ = true;
  std::string inputLine_ = "Line0";
  qcPelRect roi_;        // requested, empty: the whole frame
  qcPelRect actualRoi_;  // applied
  long poolSize_ = 0;    // 0: the default
  bool prepared_ = false;
  bool lost_ = false;
  double timeout_ = HUGE_VAL;
  unsigned long appTag_ = 0;
  Pending pending_;
  std::deque<Done> done_;
  bool triggerSent_ = false;
  Clock::duration triggerRetry_ = std::chrono::seconds(1);
  Clock::time_point triggerSentAt_;
  guint64 lastFrameId_ = 0;
  bool haveFrameId_ = false;
  guint64 underruns_ = 0;
  bool missedPending_ = false;
  unsigned long stateCounter_ = 0;
  qcPtrHandle<qcCallback> completeCb_, movePartCb_, overrunCb_;
  InfoCallback completeInfoCb_, movePartInfoCb_, overrunInfoCb_;
  bool stop_ = false;
  std::thread worker_;
};

template <class T>
inline void GigeFifo::apply_(T& setting, T value, bool always) {
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


}  // namespace qrn_gige
