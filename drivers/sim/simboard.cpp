// The simulated frame grabber: its boards, its driver object and the
// property side of its driver FIFO.  Registered with the board list when the
// plugin is loaded.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <typeinfo>

#include <qrn/acq/ccf/vidfmtext.h>
#include <qrn/acq/hyper/driver.h>
#include <qrn/acq/hyper/framegrabber.h>
#include <qrn/acq/hyper/prop/acqprops.h>
#include <qrn/acq/hyper/syncmodel.h>
#include <qrn/acq/hyper/typedfifo.h>
#include <qrn/acq/registry/regvalue.h>
#include <qrn/drivers/sim.h>
#include <qrn/foundation/board.h>

#include "simfifo.h"
#include "simmulti.h"

namespace qrn_sim {

namespace {

// Refused values, with what was refused as the exception's detail.
[[noreturn]] void bad(const char* why) { throw qcAcqFifo::BadParams().withDetail(why); }

// The frame period of a format: its camera timing when complete, else the
// board's default.
double formatPeriod(const qc_VideoFormat& fmt, double fallback) {
  if (const qc_VideoExtCIT* cit = fmt.fmtCIT()) {
    if (cit->pClkFreq() > 0 && cit->hTotal() > 0 && cit->vTotal() > 0)
      return cit->hTotal() * static_cast<double>(cit->vTotal()) * std::max(1L, cit->numFields()) /
             (cit->pClkFreq() * 1e6);
  }
  return fallback;
}

// The pel kind of an internal image type (qe_pelType), or false.
bool kindOfType(long type, PelKind& k) {
  switch (type) {
    case qe_pelType_mono: k = PelKind::grey8; return true;
    case qe_pelType_RGBpacked: k = PelKind::rgb32; return true;
    case qe_pelType_RGBplanar: k = PelKind::plane3; return true;
    case qe_pelType_RAW8: k = PelKind::raw8; return true;
    case qe_pelType_RGBpacked16: k = PelKind::rgb16; return true;
    case qe_pelType_mono16: k = PelKind::grey16; return true;
    case qe_pelType_mono10: k = PelKind::grey10; return true;
    case qe_pelType_mono12: k = PelKind::grey12; return true;
    default: return false;
  }
}

}  // namespace

// ============================================================================
// Property query
// ============================================================================

#define QRN_SIM_QUERY_IMPL_(P, cond)                               \
  SimQuery::operator P*() const { return props && (cond) ? props : nullptr; } \
  SimQuery::operator P&() const {                                  \
    if (!props || !(cond)) throw std::bad_cast();                  \
    return *props;                                                 \
  }
QRN_SIM_QUERY_IMPL_(qcTriggerProp, true)
QRN_SIM_QUERY_IMPL_(qcTriggerFilterProp, true)
QRN_SIM_QUERY_IMPL_(qcStrobeProp, true)
QRN_SIM_QUERY_IMPL_(qcStrobeDelayProp, true)
QRN_SIM_QUERY_IMPL_(qcExposureProp, true)
QRN_SIM_QUERY_IMPL_(qcTimeoutProp, true)
QRN_SIM_QUERY_IMPL_(qcCameraPortProp, true)
QRN_SIM_QUERY_IMPL_(qcMovePartCallbackProp, true)
QRN_SIM_QUERY_IMPL_(qcOverrunCallbackProp, true)
QRN_SIM_QUERY_IMPL_(qcCompleteCallbackProp, true)
QRN_SIM_QUERY_IMPL_(qcRoiProp, true)
QRN_SIM_QUERY_IMPL_(qcLightProp, true)
QRN_SIM_QUERY_IMPL_(qc8BitInputLutProp, hasLut)
QRN_SIM_QUERY_IMPL_(qcContrastBrightnessProp, true)
QRN_SIM_QUERY_IMPL_(qcSampleProp, true)
QRN_SIM_QUERY_IMPL_(qcCustomProp, true)
#undef QRN_SIM_QUERY_IMPL_

// ============================================================================
// Driver FIFO
// ============================================================================

SimFifo::SimFifo(std::shared_ptr<BoardState> board, const qc_VideoFormat& fmt, PelKind kind)
    : board_(std::move(board)),
      core_(std::make_shared<Core>(board_, kind, fmt.width(), fmt.height(), formatPeriod(fmt, board_->framePeriod))) {
  query_.hasLut = !is16Bit(kind);
  core_->startWorker();
}

SimFifo::~SimFifo() { core_->stopWorker(); }

bool SimFifo::start(unsigned long count) { return core_->start(count); }

bool SimFifo::isValid(qc_ProblemFlags& flags) const {
  struct Side {
    bool isSlave;
    long width, height, port;
    double exposure;
  };
  auto side = [](const Core& c) {
    return c.read([&](const SimProps& p) { return Side{c.model_.isSlave, c.width_, c.height_, c.cameraPort_, p.exposure}; });
  };
  const Side me = side(*core_);
  const long auxPort = core_->locked([&] { return core_->auxLightPort_; });
  qc_ProblemFlags f = 0;
  if (me.port < 0 || me.port >= board_->cameraPorts) f |= qcAcqProblem::kInvalidCameraPort;
  if (auxPort < 0 || auxPort >= board_->cameraPorts) f |= qcAcqProblem::kInvalidAuxLightPort;
  {
    std::lock_guard<std::mutex> g(board_->m);
    const Core* m = core_->master_;
    if (me.isSlave && !m) f |= qcAcqProblem::kSlaveTriggerNoMaster | qcAcqProblem::kInvalidMasterOrSlave;
    if (m) {
      const Side ms = side(*m);
      qc_ProblemFlags mf = 0;
      if (!me.isSlave) mf |= qcAcqProblem::kSlaveNotSlaveTrigger;
      if (ms.isSlave) mf |= qcAcqProblem::kMasterIsSlaveTrigger;
      if (ms.width != me.width || ms.height != me.height) mf |= qcAcqProblem::kMismatchedFormats;
      if (ms.exposure != me.exposure) mf |= qcAcqProblem::kMismatchedExposures;
      if (ms.port == me.port) mf |= qcAcqProblem::kSlavePortInvalid;
      if (mf) f |= mf | qcAcqProblem::kInvalidMasterOrSlave;
    }
  }
  flags |= f;
  return f == 0;
}

bool SimFifo::isIdle() const { return core_->locked([&] { return core_->pending_.empty() && !core_->capturing_; }); }
bool SimFifo::isWaiting() const { return core_->locked([&] { return !core_->pending_.empty() && !core_->capturing_; }); }
bool SimFifo::isAcquiring() const { return core_->locked([&] { return core_->capturing_; }); }
bool SimFifo::isMovable() const { return core_->locked([&] { return !core_->completed_.empty(); }); }
bool SimFifo::isComplete() const { return core_->locked([&] { return !core_->completed_.empty(); }); }
long SimFifo::pendingAcqs() const {
  return core_->locked([&] {
    return static_cast<long>(std::min<unsigned long>(core_->pendingCount() + (core_->capturing_ ? 1 : 0), LONG_MAX));
  });
}
long SimFifo::completedAcqs() const {
  return core_->locked([&] { return static_cast<long>(std::min<unsigned long>(core_->completedCount(), LONG_MAX)); });
}
long SimFifo::availableAcqs() const { return std::max(0L, hardwareImagePoolSize() - core_->pool_->out()); }

bool SimFifo::prepare(std::string* message, const qcDeadline& deadline) {
  const qcPelRect roi = actualRoi();
  const long sx = core_->read([](const SimProps& p) { return p.sampleX; });
  const long sy = core_->read([](const SimProps& p) { return p.sampleY; });
  const qcPair<long> size = outputSize(roi, sx, sy);
  if (roi.isEmpty()) {
    if (message) *message = "sim: the region of interest lies outside the image";
    return false;
  }
  const long n = hardwareImagePoolSize();
  if (!core_->pool_->reserve(static_cast<std::size_t>(size.x) *
                                 static_cast<std::size_t>(storageRows(core_->kind_, size.y)) * pelBytes(core_->kind_),
                             n, deadline)) {
    if (message)
      *message = "sim: the image pool of " + std::to_string(n) + " images could not be made ready in time" +
                 " (or memory ran out)";
    return false;
  }
  core_->locked([&] { core_->prepared_ = true; });
  if (message) message->clear();
  return true;
}
bool SimFifo::isPrepared() const { return core_->locked([&] { return core_->prepared_; }); }
void SimFifo::flush() { core_->flush(); }

qcPelBuffer<unsigned char> SimFifo::complete8(const CompleteArgs& a) {
  return core_->complete<qcPelBuffer<unsigned char>>(a, PelKind::grey8);
}
qcPelBuffer<unsigned short> SimFifo::complete16(const CompleteArgs& a) {
  return core_->complete<qcPelBuffer<unsigned short>>(a, PelKind::grey16);
}
qcPelBuffer<qcPackedRGB16Pel> SimFifo::completeRGB16(const CompleteArgs& a) {
  return core_->complete<qcPelBuffer<qcPackedRGB16Pel>>(a, PelKind::rgb16);
}
qcPelBuffer<qcPackedRGB32Pel> SimFifo::completeRGB32(const CompleteArgs& a) {
  return core_->complete<qcPelBuffer<qcPackedRGB32Pel>>(a, PelKind::rgb32);
}
qc3PlanePelBuffer SimFifo::complete3Plane(const CompleteArgs& a) {
  return core_->complete<qc3PlanePelBuffer>(a, PelKind::plane3);
}
qcPtrHandle<qcAcqImage> SimFifo::completeAcq(const CompleteArgs& a) { return core_->completeAcq(a); }

void SimFifo::trigger() { core_->trigger(); }

void SimFifo::waitForStateChange(qc_Resource* resource) {
  // Waits (at most 0.1 s) until the FIFO's state changes.
  if (resource) resource->unlock();
  {
    std::unique_lock<std::mutex> lk(core_->m_);
    const unsigned long seen = core_->stateCounter_;
    core_->cv_.wait_for(lk, std::chrono::milliseconds(100), [&] { return core_->stateCounter_ != seen; });
  }
  if (resource) resource->lock();
}

void SimFifo::setContrast(double c, long tap) {
  if (tap < 0 || tap >= numTaps() || !(c >= 0 && c <= 1)) bad("sim: contrast or tap out of range");
  core_->change([&](SimProps& p) { p.contrast[tap] = c; });
}
void SimFifo::setBrightness(double b, long tap) {
  if (tap < 0 || tap >= numTaps() || !(b >= 0 && b <= 1)) bad("sim: brightness or tap out of range");
  core_->change([&](SimProps& p) { p.brightness[tap] = b; });
}
void SimFifo::setLut(const unsigned char* table, long entries, long tap) {
  if (!table || entries != 256 || tap < 0 || tap >= numTaps() || lutEntries() == 0) bad("sim: input table out of range");
  core_->change([&](SimProps& p) { std::memcpy(p.lut[tap], table, 256); });
}
void SimFifo::cameraPort(long port) {
  core_->locked([&] { core_->cameraPort_ = port; });
  core_->change([&](SimProps& p) { p.cameraPort = port; });
}

void SimFifo::completeCallback(qcPtrHandle<qcCallback> cb) { core_->locked([&] { core_->completeCb_ = cb; }); }
void SimFifo::completeInfoCallback(InfoCallback cb) { core_->locked([&] { core_->completeInfoCb_ = cb; }); }
void SimFifo::movePartCallback(qcPtrHandle<qcCallback> cb) { core_->locked([&] { core_->movePartCb_ = cb; }); }
void SimFifo::movePartInfoCallback(InfoCallback cb) { core_->locked([&] { core_->movePartInfoCb_ = cb; }); }
void SimFifo::overrunCallback(qcPtrHandle<qcCallback> cb) { core_->locked([&] { core_->overrunCb_ = cb; }); }
void SimFifo::overrunInfoCallback(InfoCallback cb) { core_->locked([&] { core_->overrunInfoCb_ = cb; }); }
void SimFifo::lightCallback(qcPtrHandle<qcCallback1<const void*>> cb) { core_->locked([&] { core_->lightCb_ = cb; }); }

void SimFifo::exposure(double s) {
  if (!(s >= 0)) bad("sim: exposure below 0");
  core_->change([&](SimProps& p) { p.exposure = s; });
}
void SimFifo::settlingTime(double s) { core_->change([&](SimProps& p) { p.settlingTime = s; }); }
void SimFifo::pelRootPool(qcPtrHandle<qcPelRootPool> pool) {
  if (pool) bad("sim: acquires into its own image pool only");
  core_->change([&](SimProps& p) { p.pelRootPool.reset(); });
}
void SimFifo::timeout(double s) {
  if (!(s >= 0)) bad("sim: timeout below 0");
  core_->locked([&] { core_->timeout_ = s; });
}
void SimFifo::strobeEnable(bool on) { core_->change([&](SimProps& p) { p.strobeEnable = on; }); }
void SimFifo::strobePulseDuration(double s) { core_->change([&](SimProps& p) { p.strobePulseDuration = s; }); }
void SimFifo::strobeHigh(bool on) { core_->change([&](SimProps& p) { p.strobeHigh = on; }); }
void SimFifo::strobeDelay(double s) { core_->change([&](SimProps& p) { p.strobeDelay = s; }); }
void SimFifo::syncModel(const qcSyncModel& m) {
  sync_ = &m;
  core_->change([&](SimProps& p) { p.syncModel = &m; });
}
bool SimFifo::triggerEnable() const { return core_->locked([&] { return core_->triggerEnable_; }); }
void SimFifo::triggerEnable(bool on) {
  core_->locked([&] {
    // Frames start again from now, not from the slots passed while disabled.
    if (on && !core_->triggerEnable_) core_->nextFrame_ = std::max(core_->nextFrame_, Clock::now());
    core_->triggerEnable_ = on;
  });
  core_->cv_.notify_all();
}
void SimFifo::triggerModel(const qc_TriggerModel& m) {
  core_->locked([&] {
    core_->model_.name = m.name ? m.name : "";
    core_->model_.usesInputLine = m.usesInputLine;
    core_->model_.isSlave = m.isSlave;
    core_->model_.canStart = m.canStart;
    core_->nextFrame_ = Clock::now();
  });
  core_->cv_.notify_all();
}
void SimFifo::triggerLowToHigh(bool on) { core_->change([&](SimProps& p) { p.triggerLowToHigh = on; }); }

bool SimFifo::couldSlaveTo(const qc_AcqFifo* master) const {
  const auto* m = dynamic_cast<const SimFifo*>(master);
  if (!m || m == this || m->board_ != board_) return false;
  // No cycles: this FIFO must not be among the master's masters.
  std::lock_guard<std::mutex> g(board_->m);
  for (const Core* c = m->core_.get(); c; c = c->master_)
    if (c == core_.get()) return false;
  return true;
}
void SimFifo::triggerMaster(qc_AcqFifo* master) {
  if (master && !couldSlaveTo(master)) throw qcAcqFifo::InvalidMaster();  // another FIFO of the same board only
  std::lock_guard<std::mutex> g(board_->m);
  core_->master_ = master ? static_cast<SimFifo*>(master)->core_.get() : nullptr;
}

void SimFifo::ctiOffset(double s) { cti_ = s; core_->change([&](SimProps& p) { p.ctiOffset = s; }); }
void SimFifo::horizAdjust(double s) { horiz_ = s; core_->change([&](SimProps& p) { p.horizAdjust = s; }); }
void SimFifo::roi(const qcPelRect& r) {
  long edge = 0;
  if (r.width() < 0 || r.height() < 0) bad("sim: negative region of interest");
  if (__builtin_add_overflow(r.x(), r.width(), &edge) || __builtin_add_overflow(r.y(), r.height(), &edge))
    bad("sim: the region of interest's right or bottom edge does not fit in a long");
  core_->change([&](SimProps& p) { p.roi = r; });
}
void SimFifo::roiMode(qe_RoiMode mode) {
  if (mode != qeRoiMode_Default) bad("sim: region-of-interest mode not supported");
}
bool SimFifo::isRoiModeSupported(qe_RoiMode mode) { return mode == qeRoiMode_Default; }

void SimFifo::lightEnable(bool on) { core_->change([&](SimProps& p) { p.lightEnable = on; }); }
void SimFifo::darkLevel(double) {}
void SimFifo::lightPower(double f) { core_->change([&](SimProps& p) { p.lightPower = f; }); }
void SimFifo::lightDelay(double s) { core_->change([&](SimProps& p) { p.lightDelay = s; }); }
void SimFifo::auxLightPort(long port) { core_->locked([&] { core_->auxLightPort_ = port; }); }
void SimFifo::auxDarkLevel(double) {}
void SimFifo::auxLightPower(double) {}
bool SimFifo::lightsOff() {
  core_->change([&](SimProps& p) { p.lightPower = 0; });
  return true;
}
void SimFifo::clippingEnable(bool on) { core_->change([&](SimProps& p) { p.clippingEnable = on; }); }
void SimFifo::clippingLowerLimit(unsigned char v) { core_->change([&](SimProps& p) { p.clippingLowerLimit = v; }); }
void SimFifo::clippingUpperLimit(unsigned char v) { core_->change([&](SimProps& p) { p.clippingUpperLimit = v; }); }
void SimFifo::alphaEnable(bool) {}
void SimFifo::alphaSource(qe_AlphaSource) {}
void SimFifo::alphaByte(unsigned char) {}
void SimFifo::selectHighGain(bool on) { core_->change([&](SimProps& p) { p.selectHighGain = on; }); }
void SimFifo::masterClockFrequency(double mhz) { core_->change([&](SimProps& p) { p.masterClockFrequency = mhz; }); }

void SimFifo::update(const qcCustomProp& prop) {
  const qcCustomPropertyBag bag = prop.customValues();
  for (long i = 0; i < bag.getItemCount(); ++i)
    core_->customItem(bag.getType(i) == qcCustomPropertyBag::qeCommand ? "command" : "write", bag.getName(i),
                      bag.getValue(i));
}
void SimFifo::update(qcSampleProp& prop) {
  const std::vector<long>& ok = *getValidSampleSettings();
  auto valid = [&](long v) { return std::find(ok.begin(), ok.end(), v) != ok.end(); };
  if (!valid(prop.sampleX()) || !valid(prop.sampleY())) bad("sim: sampling must be 1, 2 or 4");
  core_->change([&](SimProps& p) {
    p.sampleX = prop.sampleX();
    p.sampleY = prop.sampleY();
  });
}
void SimFifo::update(qcTriggerFilterProp& prop) {
  core_->change([&](SimProps& p) {
    p.triggerDelay = prop.triggerDelay();
    p.ignoreMissedTrigger = prop.ignoreMissedTrigger();
  });
}

// The encoder and line-scan settings have no effect on an area camera.
void SimFifo::firstPelOffset(signed char v) { core_->change([&](SimProps& p) { p.firstPelOffset = v; }); }
void SimFifo::zeroCounterWhenTriggered(bool) {}
void SimFifo::useTestEncoder(bool) {}
void SimFifo::positiveTestEncoderDirection(bool) {}
void SimFifo::encoderTriggerEnabled(bool, bool) {}
void SimFifo::stepsPerLine(long, long) {}
void SimFifo::encoderPort(long) {}
long SimFifo::numEncoderPort() const { return 0; }
void SimFifo::encoderOffset(long) {}
void SimFifo::positiveAcquireDirection(bool) {}
void SimFifo::useSingleChannel(bool) {}
void SimFifo::encoderResolution(qe_EncoderResolution) {}
void SimFifo::startAcqOnEncoderCount(long) {}
void SimFifo::ignoreBackwardEncoderCountsBetweenAcquires(bool) {}
void SimFifo::ignoreTooFastEncoder(bool) {}
long SimFifo::encoderTriggerLatency() const { return 0; }
void SimFifo::zeroCounter() {}
long SimFifo::currentEncoderCount() { return 0; }

long SimFifo::numCameraPort() const { return board_->cameraPorts; }
long SimFifo::numTaps() const { return board_->numTaps; }
long SimFifo::lutEntries() const { return is16Bit(core_->kind_) ? 0 : 256; }
double SimFifo::defaultContrast() const { return kDefaultContrast; }
double SimFifo::defaultExposure() const { return kDefaultExposure; }
qcPtrHandle<qcPelRootPool> SimFifo::defaultPelPool() const { return {}; }
const qcSyncModel& SimFifo::defaultSyncModel() const { return qfSyncInternalDrive(); }
double SimFifo::actualCtiOffset() const { return cti_ < HUGE_VAL ? cti_ : 0.0; }
double SimFifo::actualHorizAdjust() const { return horiz_ < HUGE_VAL ? horiz_ : 0.0; }
qcPelRect SimFifo::actualRoi() const {
  return core_->read([&](const SimProps& p) { return core_->effectiveRoi(p); });
}
const qcSyncModel& SimFifo::actualSyncModel() const {
  return sync_ && sync_ != &qc_SyncModel::defaultModel() ? *sync_ : defaultSyncModel();
}
bool SimFifo::isValidPool(const qcPtrHandle<qcPelRootPool>& pool) { return !pool; }
qcAcqPropertyQuery& SimFifo::propertyQuery() { return query_; }
void SimFifo::initializePropertyQuery(qcAcqProps* props) { query_.props = props; }

void SimFifo::initSettingDataBase(qcSettingDataBase& db) const {
  qfAddSettingInfoDefaultStrobe(db);
  qfAddSettingInfoBt252(db);
  db.emplace_back(qeSetting_StrobeDelay, 0.0, 0.1, 0.0, qcSettingInfo::kindReal);
  db.emplace_back(qeSetting_TriggerDelay, 0.0, 0.065535, 0.0, qcSettingInfo::kindReal);
  db.emplace_back(9011, 1.0, 4.0, 1.0, qcSettingInfo::kindReal);
  db.emplace_back(9012, 1.0, 4.0, 1.0, qcSettingInfo::kindReal);
  db.emplace_back(9007, 0.0, 1.0, 1.0, qcSettingInfo::kindOnOff);  // detects missed triggers
  db.emplace_back(9008, 0.0, 1.0, 1.0, qcSettingInfo::kindOnOff);  // master and slave FIFOs
}
const std::vector<long>* SimFifo::getValidSampleSettings() const {
  static const std::vector<long> settings{1, 2, 4};
  return &settings;
}

long SimFifo::defaultHardwareImagePoolSize() const { return board_->poolSize; }
void SimFifo::hardwareImagePoolSize(long n) {
  if (n < 0 || n == 1 || n > kMaxPoolSize) bad("sim: pool size must be 0 or from 2 to 1024");
  core_->locked([&] { core_->poolSize_ = n; });
  core_->cv_.notify_all();
}
long SimFifo::hardwareImagePoolSize() const {
  return core_->locked([&] { return core_->poolSize_ > 0 ? core_->poolSize_ : board_->poolSize; });
}

// ============================================================================
// Driver object and board
// ============================================================================

class SimGrabber : public qc_FrameGrabber {
public:
  explicit SimGrabber(std::shared_ptr<BoardState> s) : s_(std::move(s)) {}

  long numChannels() const override { return s_->numChannels; }

  qc_AcqFifo* stdGreyAcqFifo(const qc_VideoFormat& f) override { return make_(f, PelKind::grey8); }
  qc_AcqFifo* stdGrey16AcqFifo(const qc_VideoFormat& f) override { return make_(f, PelKind::grey16); }
  qc_AcqFifo* stdRGB16AcqFifo(const qc_VideoFormat& f) override { return make_(f, PelKind::rgb16); }
  qc_AcqFifo* stdRGB32AcqFifo(const qc_VideoFormat& f) override { return make_(f, PelKind::rgb32); }
  qc_AcqFifo* newAcqFifo(const qc_VideoFormat& f, long type) override {
    PelKind k = PelKind::grey8;
    if (type != -1 && !kindOfType(type, k)) throw qcVideoFormat::NotSupported();
    return make_(f, k);
  }
  qc_AcqFifo* newAcqFifo(const qc_VideoFormat& f, const qcBasicFifoTraits& t) override {
    switch (t.pixelFormat()) {
      case qcBasicFifoTraits::qePixelFormat_Grey8: return make_(f, PelKind::grey8);
      case qcBasicFifoTraits::qePixelFormat_Grey16: return make_(f, PelKind::grey16);
      case qcBasicFifoTraits::qePixelFormat_RGB16: return make_(f, PelKind::rgb16);
      case qcBasicFifoTraits::qePixelFormat_RGB32: return make_(f, PelKind::rgb32);
      case qcBasicFifoTraits::qePixelFormat_RGB3Plane: return make_(f, PelKind::plane3);
      case qcBasicFifoTraits::qePixelFormat_RGB1Plane: return make_(f, PelKind::raw8);
    }
    throw qcVideoFormat::NotSupported();
  }

  using qc_FrameGrabber::numCameraPort;
  long numCameraPort(const qc_VideoFormat& f) const override { return isSupported(f) ? s_->cameraPorts : 0; }
  bool isSupported(const qc_VideoFormat& f) const override { return f.width() > 0 && f.height() > 0; }
  bool isSupported(const qc_VideoFormat& f, long type) const override {
    PelKind k;
    return isSupported(f) && (type == -1 || kindOfType(type, k));
  }
  bool supportsCCFs() const override { return true; }
  bool isSupportedForLegacy(const qc_VideoFormat& f) const override { return isSupported(f); }
  std::string getUniqueId() const override { return "sim:" + std::to_string(s_->index); }

private:
  qc_AcqFifo* make_(const qc_VideoFormat& f, PelKind k) {
    if (!isSupported(f)) throw qcVideoFormat::NotSupported();
    const bool color = k == PelKind::rgb16 || k == PelKind::rgb32 || k == PelKind::plane3;
    if (color && s_->numChannels >= SimMultiFifo::kChannels) return new SimMultiFifo(f, this, k);
    return new SimFifo(s_, f, k);
  }
  std::shared_ptr<BoardState> s_;
};

class SimBoard : public qcBoard, public qcFrameGrabber {
public:
  explicit SimBoard(std::shared_ptr<BoardState> s) : s_(std::move(s)) {}
  std::string name() const override { return "sim"; }
  long bdIdx() const override { return s_->index; }

protected:
  qc_FrameGrabber* createInternal() override { return new SimGrabber(s_); }

private:
  std::shared_ptr<BoardState> s_;
};

namespace {

constexpr const char* kKey = "SOFTWARE\\Quorin\\ORB\\sim";

long readLong(const std::string& key, const char* name, long def, long lo, long hi) {
  std::int32_t v = 0;
  if (!qf_regReadInt32(qe_RegRoot::localMachine, key, name, v)) return def;
  return std::clamp<long>(v, lo, hi);
}

void registerBoards() {
  const long n = readLong(kKey, "boards", 1, 0, 16);
  for (long i = 0; i < n; ++i) {
    auto s = std::make_shared<BoardState>();
    const std::string key = std::string(kKey) + "\\board" + std::to_string(i);
    s->index = i;
    s->numTaps = readLong(key, "numTaps", 2, 1, 4);
    s->inputLines = readLong(key, "inputLines", 2, 1, 64);
    s->numChannels = readLong(key, "numChannels", 2, 1, 4);
    s->cameraPorts = std::max(readLong(key, "cameraPorts", 2, 1, 64), s->numChannels);
    s->poolSize = readLong(key, "poolSize", 4, 2, kMaxPoolSize);
    std::string period;
    if (qf_regReadString(qe_RegRoot::localMachine, key, "framePeriod", period)) {
      double d = -1;
      if (qsys_clxAtof(period.c_str(), &d) == 0 && d >= 0 && d < 1e6) s->framePeriod = d;
    }
    qcBoard::add(std::make_unique<SimBoard>(s));
  }
}

}  // namespace
}  // namespace qrn_sim

QRN_DRIVER_ENTRY(qrn_sim::registerBoards)
