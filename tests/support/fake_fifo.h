// A driver FIFO for tests: implements every slot of qc_AcqFifo, records each
// call in a log, and answers from fields that the test sets.
//
//   auto* drv = new qcRecordingAcqFifo;          // a qcAcqFifo takes ownership
//   drv->answers.defaultExposure = 0.01;
//   ... exercise ...
//   EXPECT_EQ(drv->calls(), (std::vector<std::string>{"exposure(0.01)"}));
//
// Log entries are "name(arg,arg)": numbers in their shortest exact form
// ("0.001", "inf"), bools as true/false, handles and pointers as null/set,
// models by name, rectangles as x:y:w:h, properties passed whole by class
// name ("update(qcSampleProp)").  Queries are logged too.
//
// Slots with a framework default answer with that default (by calling it)
// unless the corresponding std::optional answer is set.  A slot whose name is
// in `failing` throws qcAcqFeatureNotImplemented after it was logged.
//
// The log is guarded by a mutex, so driver threads of a test may call in;
// the answers are plain fields, to be set before the FIFO is used.
#pragma once

#include <charconv>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include <qrn/acq/hyper/acqfifo.h>
#include <qrn/acq/hyper/syncmodel.h>
#include <qrn/acq/hyper/trigmodel.h>

class qcRecordingAcqFifo : public qc_AcqFifo {
public:
  struct Answers {
    bool start = true;
    std::optional<bool> valid;       // with validFlags OR-ed into the caller's flags
    qc_ProblemFlags validFlags = 0;
    bool idle = true, waiting = false, acquiring = false, movable = false, complete = false;
    long pending = 0, completed = 0, available = 0;
    bool prepare = true;
    std::string prepareMessage;      // written to a non-null message
    bool prepared = false;
    // Typed completions; unset: the framework default.
    std::function<qcPelBuffer<unsigned char>(const CompleteArgs&)> complete8;
    std::function<qcPelBuffer<unsigned short>(const CompleteArgs&)> complete16;
    std::function<qcPelBuffer<qcPackedRGB16Pel>(const CompleteArgs&)> completeRGB16;
    std::function<qcPelBuffer<qcPackedRGB32Pel>(const CompleteArgs&)> completeRGB32;
    std::function<qc3PlanePelBuffer(const CompleteArgs&)> complete3Plane;
    std::function<qcPtrHandle<qcAcqImage>(const CompleteArgs&)> completeAcq;
    bool triggerEnable = true;       // also updated by triggerEnable(bool)
    std::set<long> roiModes{0};      // supported region-of-interest modes
    std::optional<bool> lightsOff;
    long numEncoderPort = 0, encoderTriggerLatency = 0, currentEncoderCount = 0;
    long numCameraPort = 1, numTaps = 1;
    std::optional<long> lutEntries;
    std::optional<bool> cameraPortValid;
    std::optional<double> defaultContrast, defaultBrightness, defaultExposure;
    std::optional<bool> defaultOutlierPelCorrectionEnable;
    qcPtrHandle<qcPelRootPool> defaultPelPool;
    const qcSyncModel* defaultSyncModel = nullptr;  // must be set before it is asked for
    const qcSyncModel* actualSyncModel = nullptr;   // likewise
    double actualCtiOffset = 0, actualHorizAdjust = 0;
    qcPelRect actualRoi;
    std::optional<bool> isValidPool;
    qcAcqPropertyQuery* propertyQuery = nullptr;    // must be set before it is asked for
    std::function<void(qcSettingDataBase&)> initSettingDataBase;
    const std::vector<long>* validSampleSettings = nullptr;
    std::optional<bool> couldSlaveTo, mustBeValidMaster;
    std::optional<long> defaultHardwareImagePoolSize, hardwareImagePoolSize;
  };

  Answers answers;
  std::set<std::string> failing;        // slot names that throw after logging
  std::function<void()> onDestroy;      // run by the destructor

  // What the FIFO was last given.
  qcPtrHandle<qcCallback> completeCb, movePartCb, overrunCb;
  InfoCallback completeInfoCb, movePartInfoCb, overrunInfoCb;
  qcPtrHandle<qcCallback1<const void*>> lightCb;
  qcPtrHandle<qcPelRootPool> pool;
  qc_AcqFifo* master = nullptr;
  qsScalarValue lastScalar;
  qcAcqProps* queryProps = nullptr;
  std::optional<qcDeadline> lastDeadline;

  ~qcRecordingAcqFifo() override {
    if (onDestroy) onDestroy();
  }

  // ---- the log ----------------------------------------------------------------
  std::vector<std::string> calls() const {
    std::lock_guard<std::mutex> g(m_);
    return log_;
  }
  // The entries of one slot name, in order.
  std::vector<std::string> callsNamed(std::string_view name) const {
    std::vector<std::string> r;
    for (const std::string& c : calls())
      if (std::string_view(c).substr(0, c.find('(')) == name) r.push_back(c);
    return r;
  }
  std::size_t count(std::string_view name) const { return callsNamed(name).size(); }
  void clearCalls() {
    std::lock_guard<std::mutex> g(m_);
    log_.clear();
  }

  using qc_AcqFifo::setPropertyValue;

  // ---- slots ------------------------------------------------------------------
  bool start(unsigned long n) override { return rec_("start", n), answers.start; }
  bool isValid(qc_ProblemFlags& flags) const override {
    rec_("isValid");
    if (!answers.valid) return qc_AcqFifo::isValid(flags);
    flags |= answers.validFlags;
    return *answers.valid;
  }
  bool isIdle() const override { return rec_("isIdle"), answers.idle; }
  bool isWaiting() const override { return rec_("isWaiting"), answers.waiting; }
  bool isAcquiring() const override { return rec_("isAcquiring"), answers.acquiring; }
  bool isMovable() const override { return rec_("isMovable"), answers.movable; }
  bool isComplete() const override { return rec_("isComplete"), answers.complete; }
  long pendingAcqs() const override { return rec_("pendingAcqs"), answers.pending; }
  long completedAcqs() const override { return rec_("completedAcqs"), answers.completed; }
  long availableAcqs() const override { return rec_("availableAcqs"), answers.available; }
  bool prepare(std::string* message, const qcDeadline& deadline) override {
    rec_("prepare", message);
    lastDeadline = deadline;
    if (message) *message = answers.prepareMessage;
    return answers.prepare;
  }
  bool isPrepared() const override { return rec_("isPrepared"), answers.prepared; }
  void flush() override { rec_("flush"); }

  qcPelBuffer<unsigned char> complete8(const CompleteArgs& a) override {
    recArgs_("complete8", a);
    return answers.complete8 ? answers.complete8(a) : qc_AcqFifo::complete8(a);
  }
  qcPelBuffer<unsigned short> complete16(const CompleteArgs& a) override {
    recArgs_("complete16", a);
    return answers.complete16 ? answers.complete16(a) : qc_AcqFifo::complete16(a);
  }
  qcPelBuffer<qcPackedRGB16Pel> completeRGB16(const CompleteArgs& a) override {
    recArgs_("completeRGB16", a);
    return answers.completeRGB16 ? answers.completeRGB16(a) : qc_AcqFifo::completeRGB16(a);
  }
  qcPelBuffer<qcPackedRGB32Pel> completeRGB32(const CompleteArgs& a) override {
    recArgs_("completeRGB32", a);
    return answers.completeRGB32 ? answers.completeRGB32(a) : qc_AcqFifo::completeRGB32(a);
  }
  qc3PlanePelBuffer complete3Plane(const CompleteArgs& a) override {
    recArgs_("complete3Plane", a);
    return answers.complete3Plane ? answers.complete3Plane(a) : qc_AcqFifo::complete3Plane(a);
  }
  qcPtrHandle<qcAcqImage> completeAcq(const CompleteArgs& a) override {
    recArgs_("completeAcq", a);
    return answers.completeAcq ? answers.completeAcq(a) : qc_AcqFifo::completeAcq(a);
  }

  void trigger() override { rec_("trigger"); }
  void waitForStateChange(qc_Resource* r) override { rec_("waitForStateChange", r); }
  void setPropertyValue(qsScalarValue& v) override {
    rec_("setPropertyValue", v.id, v.aux, v.value, v.extra1, v.extra2);
    lastScalar = v;
  }
  void getPropertyValue(qsScalarValue& v) override { rec_("getPropertyValue", v.id); }
  void setContrast(double c, long tap) override { rec_("setContrast", c, tap); }
  void setBrightness(double b, long tap) override { rec_("setBrightness", b, tap); }
  void setLut(const unsigned char* t, long entries, long tap) override { rec_("setLut", t, entries, tap); }
  void cameraPort(long p) override { rec_("cameraPort", p); }
  void cameraLocation(const qcCameraPort* p) override { rec_("cameraLocation", p); }
  void completeCallback(qcPtrHandle<qcCallback> cb) override { rec_("completeCallback", cb), completeCb = cb; }
  void completeInfoCallback(InfoCallback cb) override { rec_("completeInfoCallback", cb), completeInfoCb = cb; }
  void exposure(double s) override { rec_("exposure", s); }
  void settlingTime(double s) override { rec_("settlingTime", s); }
  void movePartCallback(qcPtrHandle<qcCallback> cb) override { rec_("movePartCallback", cb), movePartCb = cb; }
  void movePartInfoCallback(InfoCallback cb) override { rec_("movePartInfoCallback", cb), movePartInfoCb = cb; }
  void overrunCallback(qcPtrHandle<qcCallback> cb) override { rec_("overrunCallback", cb), overrunCb = cb; }
  void overrunInfoCallback(InfoCallback cb) override { rec_("overrunInfoCallback", cb), overrunInfoCb = cb; }
  void pelRootPool(qcPtrHandle<qcPelRootPool> p) override { rec_("pelRootPool", p), pool = p; }
  void timeout(double s) override { rec_("timeout", s); }
  void strobeEnable(bool on) override { rec_("strobeEnable", on); }
  void strobePulseDuration(double s) override { rec_("strobePulseDuration", s); }
  void strobeHigh(bool on) override { rec_("strobeHigh", on); }
  void strobeDelay(double s) override { rec_("strobeDelay", s); }
  void cameraBandwidth(double f) override { rec_("cameraBandwidth", f); }
  void syncModel(const qcSyncModel& m) override { rec_("syncModel", m); }
  bool triggerEnable() const override { return rec_("triggerEnable"), answers.triggerEnable; }
  void triggerEnable(bool on) override { rec_("triggerEnable", on), answers.triggerEnable = on; }
  void triggerModel(const qc_TriggerModel& m) override { rec_("triggerModel", m); }
  void triggerLowToHigh(bool on) override { rec_("triggerLowToHigh", on); }
  void triggerMaster(qc_AcqFifo* m) override { rec_("triggerMaster", m), master = m; }
  void ctiOffset(double s) override { rec_("ctiOffset", s); }
  void horizAdjust(double s) override { rec_("horizAdjust", s); }
  void roi(const qcPelRect& r) override { rec_("roi", r); }
  void roiMode(qe_RoiMode m) override { rec_("roiMode", m); }
  bool isRoiModeSupported(qe_RoiMode m) override { return rec_("isRoiModeSupported", m), answers.roiModes.count(m) > 0; }
  void lightCallback(qcPtrHandle<qcCallback1<const void*>> cb) override { rec_("lightCallback", cb), lightCb = cb; }
  void lightEnable(bool on) override { rec_("lightEnable", on); }
  void darkLevel(double f) override { rec_("darkLevel", f); }
  void lightPower(double f) override { rec_("lightPower", f); }
  void lightDelay(double s) override { rec_("lightDelay", s); }
  void auxLightPort(long p) override { rec_("auxLightPort", p); }
  void auxDarkLevel(double f) override { rec_("auxDarkLevel", f); }
  void auxLightPower(double f) override { rec_("auxLightPower", f); }
  bool lightsOff() override { return rec_("lightsOff"), answers.lightsOff ? *answers.lightsOff : qc_AcqFifo::lightsOff(); }
  void clippingEnable(bool on) override { rec_("clippingEnable", on); }
  void clippingLowerLimit(unsigned char v) override { rec_("clippingLowerLimit", v); }
  void clippingUpperLimit(unsigned char v) override { rec_("clippingUpperLimit", v); }
  void alphaEnable(bool on) override { rec_("alphaEnable", on); }
  void alphaSource(qe_AlphaSource s) override { rec_("alphaSource", s); }
  void alphaByte(unsigned char v) override { rec_("alphaByte", v); }
  void selectHighGain(bool on) override { rec_("selectHighGain", on); }
  void masterClockFrequency(double mhz) override { rec_("masterClockFrequency", mhz); }
  void update(const qcCustomProp&) override { rec_("update", Name_{"qcCustomProp"}); }
  void update(qcCdcCameraCalibrationProp&) override { rec_("update", Name_{"qcCdcCameraCalibrationProp"}); }
  void update(qcReadoutDirectionProp&) override { rec_("update", Name_{"qcReadoutDirectionProp"}); }
  void update(qcSampleProp&) override { rec_("update", Name_{"qcSampleProp"}); }
  void update(qcCameraTestProp&) override { rec_("update", Name_{"qcCameraTestProp"}); }
  void update(qcOffsetClampProp&) override { rec_("update", Name_{"qcOffsetClampProp"}); }
  void update(qcTriggerFilterProp&) override { rec_("update", Name_{"qcTriggerFilterProp"}); }
  void firstPelOffset(signed char v) override { rec_("firstPelOffset", v); }
  void zeroCounterWhenTriggered(bool on) override { rec_("zeroCounterWhenTriggered", on); }
  void useTestEncoder(bool on) override { rec_("useTestEncoder", on); }
  void positiveTestEncoderDirection(bool on) override { rec_("positiveTestEncoderDirection", on); }
  void encoderTriggerEnabled(bool x, bool y) override { rec_("encoderTriggerEnabled", x, y); }
  void stepsPerLine(long steps, long sixteenths) override { rec_("stepsPerLine", steps, sixteenths); }
  void encoderPort(long p) override { rec_("encoderPort", p); }
  long numEncoderPort() const override { return rec_("numEncoderPort"), answers.numEncoderPort; }
  void encoderOffset(long v) override { rec_("encoderOffset", v); }
  void positiveAcquireDirection(bool on) override { rec_("positiveAcquireDirection", on); }
  void useSingleChannel(bool on) override { rec_("useSingleChannel", on); }
  void encoderResolution(qe_EncoderResolution r) override { rec_("encoderResolution", r); }
  void startAcqOnEncoderCount(long n) override { rec_("startAcqOnEncoderCount", n); }
  void ignoreBackwardEncoderCountsBetweenAcquires(bool on) override {
    rec_("ignoreBackwardEncoderCountsBetweenAcquires", on);
  }
  void ignoreTooFastEncoder(bool on) override { rec_("ignoreTooFastEncoder", on); }
  long encoderTriggerLatency() const override { return rec_("encoderTriggerLatency"), answers.encoderTriggerLatency; }
  void zeroCounter() override { rec_("zeroCounter"); }
  long currentEncoderCount() override { return rec_("currentEncoderCount"), answers.currentEncoderCount; }
  long numCameraPort() const override { return rec_("numCameraPort"), answers.numCameraPort; }
  long numTaps() const override { return rec_("numTaps"), answers.numTaps; }
  long lutEntries() const override {
    return rec_("lutEntries"), answers.lutEntries ? *answers.lutEntries : qc_AcqFifo::lutEntries();
  }
  bool cameraPortValid(const qcCameraPort& p) const override {
    rec_("cameraPortValid", &p);
    return answers.cameraPortValid ? *answers.cameraPortValid : qc_AcqFifo::cameraPortValid(p);
  }
  double defaultContrast() const override {
    return rec_("defaultContrast"), answers.defaultContrast ? *answers.defaultContrast : qc_AcqFifo::defaultContrast();
  }
  double defaultBrightness() const override {
    rec_("defaultBrightness");
    return answers.defaultBrightness ? *answers.defaultBrightness : qc_AcqFifo::defaultBrightness();
  }
  bool defaultOutlierPelCorrectionEnable() const override {
    rec_("defaultOutlierPelCorrectionEnable");
    return answers.defaultOutlierPelCorrectionEnable ? *answers.defaultOutlierPelCorrectionEnable
                                                     : qc_AcqFifo::defaultOutlierPelCorrectionEnable();
  }
  double defaultExposure() const override {
    return rec_("defaultExposure"), answers.defaultExposure ? *answers.defaultExposure : qc_AcqFifo::defaultExposure();
  }
  qcPtrHandle<qcPelRootPool> defaultPelPool() const override { return rec_("defaultPelPool"), answers.defaultPelPool; }
  const qcSyncModel& defaultSyncModel() const override {
    rec_("defaultSyncModel");
    return required_(answers.defaultSyncModel, "defaultSyncModel");
  }
  double actualCtiOffset() const override { return rec_("actualCtiOffset"), answers.actualCtiOffset; }
  double actualHorizAdjust() const override { return rec_("actualHorizAdjust"), answers.actualHorizAdjust; }
  qcPelRect actualRoi() const override { return rec_("actualRoi"), answers.actualRoi; }
  const qcSyncModel& actualSyncModel() const override {
    rec_("actualSyncModel");
    return required_(answers.actualSyncModel, "actualSyncModel");
  }
  bool isValidPool(const qcPtrHandle<qcPelRootPool>& p) override {
    return rec_("isValidPool", p), answers.isValidPool ? *answers.isValidPool : qc_AcqFifo::isValidPool(p);
  }
  qcAcqPropertyQuery& propertyQuery() override {
    rec_("propertyQuery");
    return required_(answers.propertyQuery, "propertyQuery");
  }
  void initializePropertyQuery(qcAcqProps* props) override { rec_("initializePropertyQuery", props), queryProps = props; }
  void initSettingDataBase(qcSettingDataBase& db) const override {
    rec_("initSettingDataBase");
    if (answers.initSettingDataBase) answers.initSettingDataBase(db);
  }
  const std::vector<long>* getValidSampleSettings() const override {
    return rec_("getValidSampleSettings"), answers.validSampleSettings;
  }
  bool couldSlaveTo(const qc_AcqFifo* m) const override {
    return rec_("couldSlaveTo", m), answers.couldSlaveTo ? *answers.couldSlaveTo : qc_AcqFifo::couldSlaveTo(m);
  }
  bool mustBeValidMaster(const qc_AcqFifo* s) const override {
    rec_("mustBeValidMaster", s);
    return answers.mustBeValidMaster ? *answers.mustBeValidMaster : qc_AcqFifo::mustBeValidMaster(s);
  }
  bool canUseVideoPelRoots(qsVideoRootInfo& i) override {
    return rec_("canUseVideoPelRoots"), qc_AcqFifo::canUseVideoPelRoots(i);
  }
  bool initVideoPelRoots(qcPelRootPool* p, const std::vector<void*>& roots, qcPair<long> size) override {
    rec_("initVideoPelRoots", p, static_cast<long>(roots.size()), size.x, size.y);
    return qc_AcqFifo::initVideoPelRoots(p, roots, size);
  }
  bool uninitVideoPelRoots(qcPelRootPool* p) override {
    return rec_("uninitVideoPelRoots", p), qc_AcqFifo::uninitVideoPelRoots(p);
  }
  void callback(qeCallbackType t) override { rec_("callback", t); }
  long defaultHardwareImagePoolSize() const override {
    rec_("defaultHardwareImagePoolSize");
    return answers.defaultHardwareImagePoolSize ? *answers.defaultHardwareImagePoolSize
                                                : qc_AcqFifo::defaultHardwareImagePoolSize();
  }
  void hardwareImagePoolSize(long n) override {
    rec_("hardwareImagePoolSize", n);
    if (answers.hardwareImagePoolSize) answers.hardwareImagePoolSize = n;
    else qc_AcqFifo::hardwareImagePoolSize(n);
  }
  long hardwareImagePoolSize() const override {
    rec_("hardwareImagePoolSize");
    return answers.hardwareImagePoolSize ? *answers.hardwareImagePoolSize : qc_AcqFifo::hardwareImagePoolSize();
  }

private:
  struct Name_ {
    const char* text;
  };

  static std::string fmt_(bool v) { return v ? "true" : "false"; }
  static std::string fmt_(double v) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
  }
  template <class T>
    requires std::is_integral_v<T> || std::is_enum_v<T>
  static std::string fmt_(T v) {
    if constexpr (std::is_enum_v<T>) return std::to_string(static_cast<long long>(v));
    else return std::to_string(v);
  }
  template <class T>
  static std::string fmt_(T* p) {
    return p ? "set" : "null";
  }
  template <class T>
  static std::string fmt_(const qcPtrHandle<T>& h) {
    return h ? "set" : "null";
  }
  static std::string fmt_(const qcPelRect& r) {
    return std::to_string(r.x()) + ":" + std::to_string(r.y()) + ":" + std::to_string(r.width()) + ":" +
           std::to_string(r.height());
  }
  static std::string fmt_(const qcSyncModel& m) { return m.name(); }
  static std::string fmt_(const qc_TriggerModel& m) { return m.name ? m.name : ""; }
  static std::string fmt_(Name_ n) { return n.text; }

  template <class... A>
  void rec_(const char* name, const A&... args) const {
    std::string entry = name;
    entry += '(';
    bool first = true;
    ((entry += (first ? "" : ","), entry += fmt_(args), first = false), ...);
    entry += ')';
    {
      std::lock_guard<std::mutex> g(m_);
      log_.push_back(entry);
    }
    if (failing.count(name)) throw qcAcqFeatureNotImplemented();
  }
  void recArgs_(const char* name, const CompleteArgs& a) const {
    rec_(name, a.maxWait(), a.autoStart(), a.makeLocal());
  }
  template <class T>
  static T& required_(T* p, const char* what) {
    if (!p) throw std::logic_error(std::string("qcRecordingAcqFifo: answers.") + what + " is not set");
    return *p;
  }

  mutable std::mutex m_;
  mutable std::vector<std::string> log_;
};
