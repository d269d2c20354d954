// Acquisition FIFOs: queues of image acquisitions for one video format on
// one frame grabber.
//
// The application starts acquisitions and completes them in order, one image
// per completion.  A FIFO is two objects:
//   qcAcqFifo   the public object, held through qcPtrHandle<qcAcqFifo> (or a
//               typed FIFO such as qcGreyAcqFifo), with the argument checks,
//               the callback handles and the link to the FIFO's properties;
//   qc_AcqFifo  the driver interface: every operation that touches hardware
//               is one of its virtual operations, implemented by a board
//               driver.  The framework gives the optional ones neutral
//               defaults.
//
// Threads: the public FIFO takes no lock; one thread at a time uses a FIFO
// and its properties.  The driver calls the callbacks handed to it on threads
// of its own choosing.
//
// Times are in seconds; HUGE_VAL means no limit.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <qrn/acq/format/vidfmt.h>
#include <qrn/acq/hyper/acqinfo.h>
#include <qrn/acq/hyper/callback.h>
#include <qrn/acq/hyper/failure.h>
#include <qrn/acq/hyper/problem.h>
#include <qrn/acq/hyper/prop/propenums.h>
#include <qrn/foundation/exception.h>
#include <qrn/foundation/geometry.h>
#include <qrn/foundation/handle.h>
#include <qrn/foundation/pelbuffer.h>
#include <qrn/foundation/thread.h>

class qc_AcqFifo;
class qcFrameGrabber;
class qcBasicFifoTraits;
class qcTriggerModel;
struct qc_TriggerModel;
class qcSyncModel;
// Property classes and the property query.
class qcAcqProps;
class qcAcqPropertyQuery;
class qcCustomProp;
class qcCdcCameraCalibrationProp;
class qcReadoutDirectionProp;
class qcSampleProp;
class qcCameraTestProp;
class qcOffsetClampProp;
class qcTriggerFilterProp;
// Board-layer objects that drivers define.
class qcCameraPort;
struct qsVideoRootInfo;

// A source of pel roots (image storage) that an application gives a FIFO, so
// that the driver acquires into memory of the application's choosing.
// Drivers and applications derive their pools from it; the framework only
// passes handles to it (a FIFO's pelRootPool and defaultPelPool).
class qcPelRootPool : public virtual qcRepBase {
public:
  ~qcPelRootPool() override;
};

// A numeric setting on its way to or from the driver.  The framework fills
// id and value; the meaning of the other three words is the driver's.
struct qsScalarValue {
  long id = 0;        // setting id (qe_SettingId, or a driver's own)
  long aux = -1;      // the framework passes -1
  double value = 0.0;  // the setting's value, in the setting's units
  long extra1 = 0;    // the framework passes 0
  long extra2 = 0;    // the framework passes 0
};

// Setting ids of the settings database that the framework knows.
enum qe_SettingId : long {
  qeSetting_StrobeEnable = 1004,         // on/off
  qeSetting_StrobePulseDuration = 1005,  // seconds
  qeSetting_StrobeHigh = 1006,           // on/off: active high
  qeSetting_StrobeDelay = 1007,          // seconds
  qeSetting_Contrast = 1019,             // 0..1
  qeSetting_Brightness = 1020,           // 0..1
  qeSetting_TriggerDelay = 6002,         // seconds
};

// One entry of a FIFO's settings database: the range and default of one
// numeric setting as this driver FIFO serves it.
class qcSettingInfo {
public:
  // How the setting's value is read (the values of kind()).
  enum Kind : long {
    kindOnOff = 1,  // minimum 0, maximum 1
    kindReal = 2,   // a real value within minimum..maximum
  };

  // An entry with these values (kind: a Kind); a default entry is all zero.
  qcSettingInfo() = default;
  qcSettingInfo(long id, double minimum, double maximum, double defaultValue, long kind)
      : id_(id), min_(minimum), max_(maximum), default_(defaultValue), kind_(kind) {}

  // The setting's id (a qe_SettingId or the driver's own), the least and
  // the greatest value it takes, its default value, and its Kind.
  long id() const { return id_; }
  double minimum() const { return min_; }
  double maximum() const { return max_; }
  double defaultValue() const { return default_; }
  long kind() const { return kind_; }

  // Equal when all five values are equal.
  friend bool operator==(const qcSettingInfo&, const qcSettingInfo&) = default;

private:
  long id_ = 0;
  double min_ = 0.0;
  double max_ = 0.0;
  double default_ = 0.0;
  long kind_ = 0;
};

// A FIFO's settings database: its entries in the order the driver added them
// (qc_AcqFifo::settingDataBase()).
using qcSettingDataBase = std::vector<qcSettingInfo>;

// Setting entries that drivers add in qc_AcqFifo::initSettingDataBase.
// The strobe: 1004 (on/off, default off), 1005 (0..HUGE_VAL s, default
// 2e-5 s), 1006 (on/off, default on).
void qfAddSettingInfoDefaultStrobe(qcSettingDataBase& db);
// Contrast and brightness of a Bt252-style digitizer: 1020 then 1019, each
// 0..1 with default 0.5.
void qfAddSettingInfoBt252(qcSettingDataBase& db);
// A vertical-scan camera: the default strobe entries (the format does not
// change them).
void qfAddSettingInfoVScan(qcSettingDataBase& db, const qc_VideoFormat& fmt);

// ============================================================================
// The public FIFO
// ============================================================================

// The public acquisition FIFO: starts acquisitions and completes them in order (see the file's
// notes for threads and times).
class qcAcqFifo : public virtual qcRepBase {
public:
  // The grabber has no driver object (or the driver made no FIFO).
  QC_EXCEPTION(CouldNotCreate, qcException, 0x100009A3);
  // An argument out of range (hardwareImagePoolSize).
  QC_EXCEPTION(BadParams, qcException, 0x100009C5);
  // Thrown by drivers when a start is refused.
  QC_EXCEPTION(StartNotAllowed, qcException, 0x1000098E);
  // Thrown by drivers for an unusable master FIFO.
  QC_EXCEPTION(InvalidMaster, qcException, 0x10000993);

  // What became of a start request that a completion made.  The values and
  // their names are the driver's; the framework only passes the pointer.
  enum qeStartReqStatus : std::int32_t {};

  // A handle to a callback that receives the acquisition's record
  // (completion, move-part and overrun events; see callback.h for threads).
  using InfoCallback = qcPtrHandle<qcCallback1<const qcAcquireInfo&>>;

  // The arguments of a completion.  Setters return the object, so calls
  // chain: fifo.complete(qcAcqFifo::CompleteArgs().maxWait(0.5).autoStart(true)).
  class CompleteArgs {
  public:
    CompleteArgs() = default;

    // Move an image whose storage is not local to this process into local
    // storage before returning it (default true).
    bool makeLocal() const { return makeLocal_; }
    CompleteArgs& makeLocal(bool on) {
      makeLocal_ = on;
      return *this;
    }
    // How long the completion may wait, in seconds (default HUGE_VAL: no limit).
    double maxWait() const { return maxWait_; }
    CompleteArgs& maxWait(double seconds) {
      maxWait_ = seconds;
      return *this;
    }
    // The completion may start the acquisition it waits for (default false).
    bool autoStart() const { return autoStart_; }
    CompleteArgs& autoStart(bool on) {
      autoStart_ = on;
      return *this;
    }
    // Where the driver writes the start request's fate (default null: nowhere).
    qeStartReqStatus* startReqStatus() const { return startReqStatus_; }
    CompleteArgs& startReqStatus(qeStartReqStatus* p) {
      startReqStatus_ = p;
      return *this;
    }
    // Where the driver writes the completed acquisition's record (default
    // null: nowhere).
    qcAcquireInfo* acquireInfo() const { return acquireInfo_; }
    CompleteArgs& acquireInfo(qcAcquireInfo* p) {
      acquireInfo_ = p;
      return *this;
    }

  private:
    bool makeLocal_ = true;
    double maxWait_ = HUGE_VAL;
    bool autoStart_ = false;
    qeStartReqStatus* startReqStatus_ = nullptr;
    qcAcquireInfo* acquireInfo_ = nullptr;
  };

  // Makes the driver FIFO with the grabber's driver object:
  // newAcqFifo(fmt.internal(true), traits).  Throws CouldNotCreate when the
  // grabber has no driver object or the driver returns no FIFO; the driver's
  // qcVideoFormat::NotSupported (format or traits not served) passes.
  qcAcqFifo(const qcVideoFormat& fmt, qcFrameGrabber& fg, const qcBasicFifoTraits& traits);
  // Wraps a driver FIFO made elsewhere and takes ownership of it (it must
  // have been made with new).  FIFOs are not copyable.
  explicit qcAcqFifo(qc_AcqFifo& driverFifo);
  qcAcqFifo(const qcAcqFifo&) = delete;
  qcAcqFifo& operator=(const qcAcqFifo&) = delete;

  // The driver FIFO (owned by this object).
  qc_AcqFifo& fifo() const { return *internal_; }

  // ---- forwarded to the driver ------------------------------------------------
  // Requests `count` acquisitions.  Drivers may throw StartNotAllowed.
  bool start(unsigned long count);
  // True when the FIFO and its master/slave set-up are usable; when problem
  // is not null, the driver's flags say what is wrong.
  bool isValid(qcAcqProblem* problem = nullptr) const;

  // The FIFO's state, as the driver sees it at the moment of the call (it may
  // change at once on the driver's threads): idle (nothing started and
  // unfinished); waiting (acquisitions started, none being taken, for
  // example until a trigger); acquiring (an acquisition is being taken);
  // movable (the exposure is over, so the object imaged may move; drivers
  // without that notion answer as isComplete); complete (a finished
  // acquisition waits to be completed).
  bool isIdle() const;
  bool isWaiting() const;
  bool isAcquiring() const;
  bool isMovable() const;
  bool isComplete() const;
  // The driver's counts: acquisitions started and not finished (the one
  // being taken included); finished acquisitions not yet completed; images
  // the hardware image pool can still take.
  long pendingAcqs() const;
  long completedAcqs() const;
  long availableAcqs() const;
  // Readies the hardware (for example the image pool), waiting at most
  // `seconds`; false when it could not be readied in time.  The second form
  // lets the driver explain a failure in `message`.
  bool prepare(double seconds);
  bool prepare(std::string& message, double seconds);
  // True when the hardware is ready (a prepare() succeeded).
  bool isPrepared() const;
  // Drops every started and every finished acquisition that was not yet
  // completed.
  void flush();
  // A software trigger: a pulse of the FIFO's trigger, as the trigger model
  // takes it.
  void trigger();

  // Waits, for a short time of the driver's choosing, until the FIFO's state
  // changes.  `resource` (may be null), held by the caller, is unlocked
  // during the wait and locked again before the return.
  void waitForStateChange(qc_Resource* resource);

  // The driver's hardware image pool: its default size, and its size.  Sizes
  // below 0, and 1, throw BadParams; 0 and 2 or more go to the driver.
  long defaultHardwareImagePoolSize() const;
  void hardwareImagePoolSize(long n);
  long hardwareImagePoolSize() const;

  // Sends one numeric setting to the driver (qsScalarValue{id, -1, value, 0, 0}).
  void setPropertyValue(long id, double value);

  // ---- properties -----------------------------------------------------------------
  // The FIFO's property set (supplied by the typed FIFOs).
  qcAcqProps& properties() { return propertiesCovar(); }
  // The property query of the driver, initialized with this FIFO's property
  // set.
  qcAcqPropertyQuery& propertyQuery() const;

  // The trigger property's operations on properties() (qcTriggerProp).
  // Defined with the property classes (src/acq/hyper/prop/trig.cpp).
  void triggerModel(const qcTriggerModel& model);
  void triggerModel(qcPtrHandle<qcTriggerModel> model);
  const qcTriggerModel& triggerModel() const;
  void triggerEnable(bool on);
  bool triggerEnable() const;

  // ---- acquisition-info callbacks ---------------------------------------------
  // The handle goes to the driver first (a driver exception leaves the kept
  // handle unchanged), then the FIFO keeps a copy; the getters return it.
  void completeInfoCallback(InfoCallback cb);
  InfoCallback completeInfoCallback() const { return completeInfoCallback_; }
  void movePartInfoCallback(InfoCallback cb);
  InfoCallback movePartInfoCallback() const { return movePartInfoCallback_; }
  void overrunInfoCallback(InfoCallback cb);
  InfoCallback overrunInfoCallback() const { return overrunInfoCallback_; }

  // ---- completion ------------------------------------------------------------------
  // A new heap buffer of the typed FIFO's kind (the caller owns it), or null
  // when no image came.
  qc_PelBuffer* baseComplete(const CompleteArgs& args) { return baseCompleteCovar(args); }
  // The older form: builds CompleteArgs with a local qcAcquireInfo, completes,
  // then copies the info's trigger number and failure out through the
  // pointers that are not null.
  qc_PelBuffer* baseComplete(qcAcqFailure* failure, unsigned long* triggerNum, bool makeLocal = true,
                             double maxWait = HUGE_VAL, bool autoStart = false,
                             qeStartReqStatus* status = nullptr);

  // The completed image in a reference-counted holder (an empty image when
  // none came).
  virtual qcPtrHandle<qcAcqImage> completeAcq(const CompleteArgs& args) = 0;

  // The video format and the frame grabber the FIFO was made for, and the
  // image format its completions deliver.
  virtual const qcVideoFormat& videoFormat() const = 0;
  virtual qcFrameGrabber& frameGrabber() const = 0;
  virtual qeImageFormat imageFormat() const = 0;

  // Deletes the driver FIFO, then releases the callback handles.
  ~qcAcqFifo() override;

protected:
  // The older completion forms, for the typed FIFOs: calls
  // complete(CompleteArgs) with arguments built from the older parameters and
  // a local qcAcquireInfo, then copies the trigger number and failure out.
  template <class Complete>
  static auto completeOlder_(Complete&& complete, qcAcqFailure* failure, unsigned long* triggerNum, bool makeLocal,
                             double maxWait, bool autoStart, qeStartReqStatus* status) {
    qcAcquireInfo info;
    auto result = complete(
        CompleteArgs().acquireInfo(&info).makeLocal(makeLocal).maxWait(maxWait).autoStart(autoStart).startReqStatus(
            status));
    if (triggerNum) *triggerNum = info.triggerNum();
    if (failure) *failure = info.failure();
    return result;
  }

private:
  // The typed FIFO's completion as an untyped heap buffer (null: no image).
  virtual qc_PelBuffer* baseCompleteCovar(const CompleteArgs& args) = 0;
  // The FIFO's property set.
  virtual qcAcqProps& propertiesCovar() = 0;

  std::unique_ptr<qc_AcqFifo> internal_;
  InfoCallback movePartInfoCallback_;
  InfoCallback completeInfoCallback_;
  InfoCallback overrunInfoCallback_;
};

// ============================================================================
// The driver interface
// ============================================================================

// A board driver's FIFO.  The operations are virtual and kept in this order
// (slot order).  "Required" operations have no body: a driver provides every
// one of them, the typed completions of the pixel formats it delivers, and
// the hardware image pool operations if it has such a pool.  The others have
// neutral defaults.  Property operations are called by the property classes
// on the thread that uses the FIFO; a driver reports refused values by
// throwing.
class qc_AcqFifo {
public:
  // The public FIFO's completion arguments and info callback handles.
  using CompleteArgs = qcAcqFifo::CompleteArgs;
  using InfoCallback = qcAcqFifo::InfoCallback;

  // Which FIFO event a callback() call signals; further values are the
  // driver's.
  enum qeCallbackType : std::int32_t {
    qeCallback_Complete = 0,  // an acquisition finished
    qeCallback_MovePart = 1,  // the object imaged may move
    qeCallback_Overrun = 2,   // a frame was lost
  };

  // Drivers derive their FIFOs; driver FIFOs are not copyable.
  qc_AcqFifo() = default;
  qc_AcqFifo(const qc_AcqFifo&) = delete;
  qc_AcqFifo& operator=(const qc_AcqFifo&) = delete;

  // 0: requests `count` acquisitions; throws StartNotAllowed when the
  // trigger model does not let software start.  Required.
  virtual bool start(unsigned long count) = 0;
  // 1: whether the FIFO and its master/slave set-up are usable; sets the
  // qcAcqProblem bits of what is wrong.  Default false.
  virtual bool isValid(qc_ProblemFlags& flags) const;
  // 2-6: the states that qcAcqFifo reports (see isIdle() there).  Required.
  virtual bool isIdle() const = 0;
  virtual bool isWaiting() const = 0;
  virtual bool isAcquiring() const = 0;
  virtual bool isMovable() const = 0;
  virtual bool isComplete() const = 0;
  // 7-9: the counts that qcAcqFifo reports (see pendingAcqs() there).
  // Required.
  virtual long pendingAcqs() const = 0;
  virtual long completedAcqs() const = 0;
  virtual long availableAcqs() const = 0;
  // 10-12: readies the hardware by `deadline` (false when it cannot; a
  // failure's reason goes to `message`, which may be null); whether it is
  // ready; drops started and finished acquisitions.  Required.
  virtual bool prepare(std::string* message, const qcDeadline& deadline) = 0;
  virtual bool isPrepared() const = 0;
  virtual void flush() = 0;
  // 13-18: typed completions.  The driver waits up to args.maxWait() for the
  // oldest finished acquisition, may start one when args.autoStart(), writes
  // *args.startReqStatus() and *args.acquireInfo() when set, and returns the
  // image (unbound when there is none).  Defaults fire a debug assertion and
  // return an unbound buffer (completeAcq: an empty image).
  virtual qcPelBuffer<unsigned char> complete8(const CompleteArgs& args);
  virtual qcPelBuffer<unsigned short> complete16(const CompleteArgs& args);
  virtual qcPelBuffer<qcPackedRGB16Pel> completeRGB16(const CompleteArgs& args);
  virtual qcPelBuffer<qcPackedRGB32Pel> completeRGB32(const CompleteArgs& args);
  virtual qc3PlanePelBuffer complete3Plane(const CompleteArgs& args);
  virtual qcPtrHandle<qcAcqImage> completeAcq(const CompleteArgs& args);
  // 19-20: a software trigger; waits briefly for a state change with
  // `resource` unlocked (see qcAcqFifo).  Required.
  virtual void trigger() = 0;
  virtual void waitForStateChange(qc_Resource* resource) = 0;
  // 21-22: sends a numeric setting to the hardware, or reads one into
  // v.value; the ids are the settings database's (default: nothing).
  virtual void setPropertyValue(qsScalarValue& v);
  virtual void getPropertyValue(qsScalarValue& v);
  // 23-27: contrast and brightness (fractions 0..1) and the 8-bit input
  // lookup table (`entries` bytes) of one tap; the camera port
  // (0 and up); the camera's location (default: nothing).  Refused values
  // throw.
  virtual void setContrast(double contrast, long tap) = 0;
  virtual void setBrightness(double brightness, long tap) = 0;
  virtual void setLut(const unsigned char* table, long entries, long tap) = 0;
  virtual void cameraPort(long port) = 0;
  virtual void cameraLocation(const qcCameraPort* port);  // the camera's location (default: nothing)
  // 28-29: the callbacks of finished acquisitions, without and with the
  // acquisition's record (an empty handle: none).
  virtual void completeCallback(qcPtrHandle<qcCallback> cb) = 0;
  virtual void completeInfoCallback(InfoCallback cb) = 0;
  // 30-37: exposure and settling time (seconds); the move-part and overrun
  // callbacks, without and with the record; the pool to acquire into; the
  // completion timeout (seconds, HUGE_VAL: no limit).
  virtual void exposure(double seconds) = 0;
  virtual void settlingTime(double seconds) = 0;
  virtual void movePartCallback(qcPtrHandle<qcCallback> cb) = 0;
  virtual void movePartInfoCallback(InfoCallback cb) = 0;
  virtual void overrunCallback(qcPtrHandle<qcCallback> cb) = 0;
  virtual void overrunInfoCallback(InfoCallback cb) = 0;
  virtual void pelRootPool(qcPtrHandle<qcPelRootPool> pool) = 0;
  virtual void timeout(double seconds) = 0;
  // 38-41: the strobe pulse: on/off, duration (seconds), polarity (true:
  // active high), delay (seconds).
  virtual void strobeEnable(bool on) = 0;
  virtual void strobePulseDuration(double seconds) = 0;
  virtual void strobeHigh(bool activeHigh) = 0;
  virtual void strobeDelay(double seconds) = 0;
  // 42: the camera bandwidth, a fraction 0..1 (default: nothing).
  virtual void cameraBandwidth(double fraction);
  // 43-47: the sync model; whether the trigger is enabled, and enabling it;
  // the trigger model (the record, see trigmodel.h); the input line's
  // polarity (true: rising edge).
  virtual void syncModel(const qcSyncModel& model) = 0;
  virtual bool triggerEnable() const = 0;
  virtual void triggerEnable(bool on) = 0;
  virtual void triggerModel(const qc_TriggerModel& model) = 0;
  virtual void triggerLowToHigh(bool on) = 0;
  // 48: makes this FIFO the slave of `master` (null: no master).
  virtual void triggerMaster(qc_AcqFifo* master) = 0;
  // 49-53: geometry: the CTI offset (timing signal to first active line)
  // and the horizontal adjust (line start to first active pel), in seconds,
  // HUGE_VAL asking for the format's own value; the region of interest
  // (pels); the region of interest mode, and whether the FIFO supports a
  // mode.
  virtual void ctiOffset(double seconds) = 0;
  virtual void horizAdjust(double seconds) = 0;
  virtual void roi(const qcPelRect& r) = 0;
  virtual void roiMode(qe_RoiMode mode) = 0;
  virtual bool isRoiModeSupported(qe_RoiMode mode) = 0;
  // 54-62: lighting: the light controller's callback (with its opaque
  // pointer); light on/off; dark level and power (fractions 0..1) and delay
  // (seconds); the auxiliary light's port, dark level and power; lightsOff()
  // turns the lights off, true when it did (default false).
  virtual void lightCallback(qcPtrHandle<qcCallback1<const void*>> cb) = 0;
  virtual void lightEnable(bool on) = 0;
  virtual void darkLevel(double fraction) = 0;
  virtual void lightPower(double fraction) = 0;
  virtual void lightDelay(double seconds) = 0;
  virtual void auxLightPort(long port) = 0;
  virtual void auxDarkLevel(double fraction) = 0;
  virtual void auxLightPower(double fraction) = 0;
  virtual bool lightsOff();  // turns the lights off; true when it did (default false)
  // 63-70: clipping (on/off, lowest and highest pel value kept); the alpha
  // byte of 32-bit pels (on/off, its source, its value); the camera's high
  // gain and master clock (megahertz).
  virtual void clippingEnable(bool on) = 0;
  virtual void clippingLowerLimit(unsigned char v) = 0;
  virtual void clippingUpperLimit(unsigned char v) = 0;
  virtual void alphaEnable(bool on) = 0;
  virtual void alphaSource(qe_AlphaSource source) = 0;
  virtual void alphaByte(unsigned char v) = 0;
  virtual void selectHighGain(bool on) = 0;
  virtual void masterClockFrequency(double megahertz) = 0;
  // 71-77: properties that store a change first and then give the FIFO the
  // whole property (default: nothing).
  virtual void update(const qcCustomProp& p);
  virtual void update(qcCdcCameraCalibrationProp& p);
  virtual void update(qcReadoutDirectionProp& p);
  virtual void update(qcSampleProp& p);
  virtual void update(qcCameraTestProp& p);
  virtual void update(qcOffsetClampProp& p);
  virtual void update(qcTriggerFilterProp& p);
  // 78-95: line scan and encoder, the values of qcFirstPelOffsetProp,
  // qcEncoderControlProp and qcEncoderProp (see lsprops.h): the first pel's
  // offset; whether a trigger zeroes the counter; the test encoder and its
  // direction; triggering by the x and y channels; steps per line (whole
  // and sixteenths); the encoder's port and the number of ports; offset,
  // acquire direction, single channel, resolution, start count, ignoring
  // backward counts between acquisitions and a too fast encoder; the
  // trigger latency; zeroing and reading the counter.
  virtual void firstPelOffset(signed char v) = 0;
  virtual void zeroCounterWhenTriggered(bool on) = 0;
  virtual void useTestEncoder(bool on) = 0;
  virtual void positiveTestEncoderDirection(bool on) = 0;
  virtual void encoderTriggerEnabled(bool x, bool y) = 0;
  virtual void stepsPerLine(long steps, long sixteenths) = 0;
  virtual void encoderPort(long port) = 0;
  virtual long numEncoderPort() const = 0;
  virtual void encoderOffset(long v) = 0;
  virtual void positiveAcquireDirection(bool on) = 0;
  virtual void useSingleChannel(bool on) = 0;
  virtual void encoderResolution(qe_EncoderResolution r) = 0;
  virtual void startAcqOnEncoderCount(long count) = 0;
  virtual void ignoreBackwardEncoderCountsBetweenAcquires(bool on) = 0;
  virtual void ignoreTooFastEncoder(bool on) = 0;
  virtual long encoderTriggerLatency() const = 0;
  virtual void zeroCounter() = 0;
  virtual long currentEncoderCount() = 0;
  // 96-103: what the FIFO has (camera ports, taps, input lookup table
  // entries; whether a camera location is usable), and the defaults that
  // the properties start from (contrast and brightness 0..1, exposure in
  // seconds).
  virtual long numCameraPort() const = 0;
  virtual long numTaps() const = 0;
  virtual long lutEntries() const;                             // input lookup table entries (default 0)
  virtual bool cameraPortValid(const qcCameraPort& p) const;   // whether the location is usable (default false)
  virtual double defaultContrast() const;                      // starting contrast, 0..1 (default 0.5)
  virtual double defaultBrightness() const;                    // starting brightness, 0..1 (default 0.5)
  virtual bool defaultOutlierPelCorrectionEnable() const;      // outlier pel correction on at start (default false)
  virtual double defaultExposure() const;                      // starting exposure (default 2e-5 s)
  // 104-109: the driver's own pool and sync model (the properties' defaults),
  // and the values in force: the CTI offset and the horizontal adjust
  // (seconds), the region of interest (pels) and the sync model.
  virtual qcPtrHandle<qcPelRootPool> defaultPelPool() const = 0;
  virtual const qcSyncModel& defaultSyncModel() const = 0;
  virtual double actualCtiOffset() const = 0;
  virtual double actualHorizAdjust() const = 0;
  virtual qcPelRect actualRoi() const = 0;
  virtual const qcSyncModel& actualSyncModel() const = 0;
  // 110: whether the FIFO can acquire into `pool` (default true).
  virtual bool isValidPool(const qcPtrHandle<qcPelRootPool>& pool);
  // 111-112: the driver's property query, and its initialization with the
  // FIFO's property set.  Required.
  virtual qcAcqPropertyQuery& propertyQuery() = 0;
  virtual void initializePropertyQuery(qcAcqProps* props) = 0;
  // 113: fills the settings database; called once, by settingDataBase()
  // (default: nothing).
  virtual void initSettingDataBase(qcSettingDataBase& db) const;
  // 114: the sample settings the FIFO accepts (default null: any).
  virtual const std::vector<long>* getValidSampleSettings() const;
  // 115-116: master/slave pairing: whether this FIFO can be the slave of
  // `master` (qcTriggerProp::couldSlaveTo asks), and whether it must be a valid
  // master of `slave` (default false).
  virtual bool couldSlaveTo(const qc_AcqFifo* master) const;
  virtual bool mustBeValidMaster(const qc_AcqFifo* slave) const;
  // 117-119: acquiring into video (display) memory: whether the FIFO can
  // (`info` is a record the drivers define), and setting up and taking down
  // a pool's roots there; true on success (default false).
  virtual bool canUseVideoPelRoots(qsVideoRootInfo& info);
  virtual bool initVideoPelRoots(qcPelRootPool* pool, const std::vector<void*>& roots, qcPair<long> size);
  virtual bool uninitVideoPelRoots(qcPelRootPool* pool);
  // 120: signals a FIFO event to the driver (default: nothing).
  virtual void callback(qeCallbackType type);
  // 121-123: the hardware image pool.  Defaults fire a debug assertion (and
  // answer 0): a driver with a pool overrides all three.
  virtual long defaultHardwareImagePoolSize() const;
  virtual void hardwareImagePoolSize(long n);
  virtual long hardwareImagePoolSize() const;
  // 124: destroyed by the public FIFO that owns it; also deletes the
  // settings database.
  virtual ~qc_AcqFifo();

  // ---- framework operations -------------------------------------------------
  // Sends qsScalarValue{id, -1, value, 0, 0} to setPropertyValue(qsScalarValue&).
  void setPropertyValue(long id, double value);
  // The settings database: created empty on the first call and filled by
  // initSettingDataBase; later calls return the same vector.  Not locked: the
  // thread that uses the FIFO calls it.
  const qcSettingDataBase& settingDataBase() const;
  // The first entry of the database with this id, or null.
  const qcSettingInfo* getSettingInfo(long id) const;

private:
  mutable std::unique_ptr<qcSettingDataBase> settings_;
};

QRN_API_END
