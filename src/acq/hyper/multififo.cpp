// Multi-channel FIFOs: channel 0 the master, the others its slaves; the
// completions combine one image per channel.
#include <qrn/acq/hyper/multififo.h>

#include <algorithm>

#include <qrn/acq/hyper/framegrabber.h>
#include <qrn/acq/hyper/trigmodel.h>
#include <qrn/acq/hyper/typedfifo.h>
#include <qrn/foundation/misc.h>

qc_MultiAcqFifo::qc_MultiAcqFifo(const qc_VideoFormat& fmt, qc_FrameGrabber* grabber, long numChannels) {
  qstd_assert(numChannels >= 2 && numChannels <= kMaxChannels);
  numChannels_ = std::clamp(numChannels, 2L, kMaxChannels);
  if (!grabber) throw qcAcqFifo::CouldNotCreate();
  for (long i = 0; i < numChannels_; ++i) {
    channels_[static_cast<std::size_t>(i)].reset(grabber->newAcqFifo(fmt, qcBasicFifoTraits::rgb1PlaneTraits()));
    if (!channels_[static_cast<std::size_t>(i)]) throw qcAcqFifo::CouldNotCreate();
    channel(i).triggerEnable(false);
  }
  channel(0).cameraPort(0);
  for (long i = 1; i < numChannels_; ++i) {
    channel(i).triggerMaster(&channel(0));
    channel(i).triggerModel(qfSlaveTrigger().internal());
    channel(i).cameraPort(i);
  }
  channel(0).triggerEnable(true);
}

qc_MultiAcqFifo::~qc_MultiAcqFifo() {
  for (long i = numChannels_ - 1; i >= 0; --i) channels_[static_cast<std::size_t>(i)].reset();
}

template <class Op>
void qc_MultiAcqFifo::onEveryChannel_(Op op) {
  const bool hold = !masterCanStart_ && triggerEnabled_;
  if (hold) channel(0).triggerEnable(false);
  struct Release {
    qc_AcqFifo* master;
    ~Release() {
      if (master) master->triggerEnable(true);
    }
  } release{hold ? &channel(0) : nullptr};
  for (long i = 0; i < numChannels_; ++i) op(channel(i), i);
}

qc_AcqFifo* qc_MultiAcqFifo::channelOfTap_(long tap) const {
  qstd_assert(tap >= 0 && tap < numChannels_);
  return tap >= 0 && tap < numChannels_ ? &channel(tap) : nullptr;
}

// ---- channel 0 only -------------------------------------------------------------

bool qc_MultiAcqFifo::start(unsigned long count) { return channel(0).start(count); }
bool qc_MultiAcqFifo::isValid(qc_ProblemFlags&) const { return true; }
bool qc_MultiAcqFifo::isIdle() const { return channel(0).isIdle(); }
bool qc_MultiAcqFifo::isWaiting() const { return channel(0).isWaiting(); }
bool qc_MultiAcqFifo::isAcquiring() const { return channel(0).isAcquiring(); }
bool qc_MultiAcqFifo::isMovable() const { return channel(0).isMovable(); }
bool qc_MultiAcqFifo::isComplete() const { return channel(0).isComplete(); }
long qc_MultiAcqFifo::pendingAcqs() const { return channel(0).pendingAcqs(); }
long qc_MultiAcqFifo::completedAcqs() const { return channel(0).completedAcqs(); }
long qc_MultiAcqFifo::availableAcqs() const { return channel(0).availableAcqs(); }
bool qc_MultiAcqFifo::prepare(std::string* message, const qcDeadline& deadline) {
  return channel(0).prepare(message, deadline);
}
bool qc_MultiAcqFifo::isPrepared() const { return channel(0).isPrepared(); }
void qc_MultiAcqFifo::trigger() { channel(0).trigger(); }
void qc_MultiAcqFifo::waitForStateChange(qc_Resource* resource) { channel(0).waitForStateChange(resource); }
void qc_MultiAcqFifo::completeCallback(qcPtrHandle<qcCallback> cb) { channel(0).completeCallback(std::move(cb)); }
void qc_MultiAcqFifo::completeInfoCallback(InfoCallback cb) { channel(0).completeInfoCallback(std::move(cb)); }
void qc_MultiAcqFifo::movePartCallback(qcPtrHandle<qcCallback> cb) { channel(0).movePartCallback(std::move(cb)); }
void qc_MultiAcqFifo::movePartInfoCallback(InfoCallback cb) { channel(0).movePartInfoCallback(std::move(cb)); }
void qc_MultiAcqFifo::overrunCallback(qcPtrHandle<qcCallback> cb) { channel(0).overrunCallback(std::move(cb)); }
void qc_MultiAcqFifo::overrunInfoCallback(InfoCallback cb) { channel(0).overrunInfoCallback(std::move(cb)); }
void qc_MultiAcqFifo::strobeEnable(bool on) { channel(0).strobeEnable(on); }
void qc_MultiAcqFifo::syncModel(const qcSyncModel& model) { channel(0).syncModel(model); }
bool qc_MultiAcqFifo::triggerEnable() const { return channel(0).triggerEnable(); }
void qc_MultiAcqFifo::triggerLowToHigh(bool on) { channel(0).triggerLowToHigh(on); }
void qc_MultiAcqFifo::lightCallback(qcPtrHandle<qcCallback1<const void*>> cb) { channel(0).lightCallback(std::move(cb)); }
void qc_MultiAcqFifo::lightEnable(bool on) { channel(0).lightEnable(on); }
void qc_MultiAcqFifo::darkLevel(double f) { channel(0).darkLevel(f); }
void qc_MultiAcqFifo::lightPower(double f) { channel(0).lightPower(f); }
void qc_MultiAcqFifo::lightDelay(double s) { channel(0).lightDelay(s); }
void qc_MultiAcqFifo::auxLightPort(long port) { channel(0).auxLightPort(port); }
void qc_MultiAcqFifo::auxDarkLevel(double f) { channel(0).auxDarkLevel(f); }
void qc_MultiAcqFifo::auxLightPower(double f) { channel(0).auxLightPower(f); }
bool qc_MultiAcqFifo::lightsOff() { return channel(0).lightsOff(); }
long qc_MultiAcqFifo::lutEntries() const { return channel(0).lutEntries(); }
qcPtrHandle<qcPelRootPool> qc_MultiAcqFifo::defaultPelPool() const { return channel(0).defaultPelPool(); }
const qcSyncModel& qc_MultiAcqFifo::defaultSyncModel() const { return channel(0).defaultSyncModel(); }
double qc_MultiAcqFifo::actualCtiOffset() const { return channel(0).actualCtiOffset(); }
double qc_MultiAcqFifo::actualHorizAdjust() const { return channel(0).actualHorizAdjust(); }
qcPelRect qc_MultiAcqFifo::actualRoi() const { return channel(0).actualRoi(); }
const qcSyncModel& qc_MultiAcqFifo::actualSyncModel() const { return channel(0).actualSyncModel(); }
qcAcqPropertyQuery& qc_MultiAcqFifo::propertyQuery() { return channel(0).propertyQuery(); }
void qc_MultiAcqFifo::initializePropertyQuery(qcAcqProps* props) { channel(0).initializePropertyQuery(props); }
void qc_MultiAcqFifo::initSettingDataBase(qcSettingDataBase& db) const { channel(0).initSettingDataBase(db); }
const std::vector<long>* qc_MultiAcqFifo::getValidSampleSettings() const {
  return channel(0).getValidSampleSettings();
}

// ---- channel 0, then kept ---------------------------------------------------------

void qc_MultiAcqFifo::triggerEnable(bool on) {
  channel(0).triggerEnable(on);
  triggerEnabled_ = on;
}
void qc_MultiAcqFifo::triggerModel(const qc_TriggerModel& model) {
  channel(0).triggerModel(model);
  masterCanStart_ = model.canStart;
}

// ---- one channel, by tap ------------------------------------------------------------

void qc_MultiAcqFifo::setContrast(double contrast, long tap) {
  if (qc_AcqFifo* c = channelOfTap_(tap)) c->setContrast(contrast, 0);
}
void qc_MultiAcqFifo::setBrightness(double brightness, long tap) {
  if (qc_AcqFifo* c = channelOfTap_(tap)) c->setBrightness(brightness, 0);
}
void qc_MultiAcqFifo::setLut(const unsigned char* table, long entries, long tap) {
  if (qc_AcqFifo* c = channelOfTap_(tap)) c->setLut(table, entries, 0);
}

// ---- every channel, with the trigger held ----------------------------------------------

#define QRN_MULTI_EVERY_(Name, Type)                                                                  \
  void qc_MultiAcqFifo::Name(Type v) {                                                                \
    onEveryChannel_([&](qc_AcqFifo& c, long) { c.Name(v); });                                         \
  }
QRN_MULTI_EVERY_(exposure, double)
QRN_MULTI_EVERY_(settlingTime, double)
QRN_MULTI_EVERY_(pelRootPool, qcPtrHandle<qcPelRootPool>)
QRN_MULTI_EVERY_(strobePulseDuration, double)
QRN_MULTI_EVERY_(strobeHigh, bool)
QRN_MULTI_EVERY_(strobeDelay, double)
QRN_MULTI_EVERY_(ctiOffset, double)
QRN_MULTI_EVERY_(horizAdjust, double)
QRN_MULTI_EVERY_(roi, const qcPelRect&)
QRN_MULTI_EVERY_(clippingEnable, bool)
QRN_MULTI_EVERY_(clippingLowerLimit, unsigned char)
QRN_MULTI_EVERY_(clippingUpperLimit, unsigned char)
QRN_MULTI_EVERY_(firstPelOffset, signed char)
#undef QRN_MULTI_EVERY_

void qc_MultiAcqFifo::flush() {
  onEveryChannel_([](qc_AcqFifo& c, long) { c.flush(); });
}
void qc_MultiAcqFifo::cameraPort(long port) {
  onEveryChannel_([port](qc_AcqFifo& c, long i) { c.cameraPort(port + i); });
}

// ---- ignored -------------------------------------------------------------------------------

void qc_MultiAcqFifo::timeout(double) {}
void qc_MultiAcqFifo::triggerMaster(qc_AcqFifo*) {}
void qc_MultiAcqFifo::alphaEnable(bool) {}
void qc_MultiAcqFifo::alphaSource(qe_AlphaSource) {}
void qc_MultiAcqFifo::alphaByte(unsigned char) {}
void qc_MultiAcqFifo::selectHighGain(bool) {}
void qc_MultiAcqFifo::masterClockFrequency(double) {}
void qc_MultiAcqFifo::update(qcCdcCameraCalibrationProp&) {}
void qc_MultiAcqFifo::update(qcReadoutDirectionProp&) {}
void qc_MultiAcqFifo::update(qcSampleProp&) {}
void qc_MultiAcqFifo::update(qcCameraTestProp&) {}
void qc_MultiAcqFifo::update(qcOffsetClampProp&) {}
void qc_MultiAcqFifo::update(qcTriggerFilterProp&) {}
void qc_MultiAcqFifo::zeroCounterWhenTriggered(bool) {}
void qc_MultiAcqFifo::useTestEncoder(bool) {}
void qc_MultiAcqFifo::positiveTestEncoderDirection(bool) {}
void qc_MultiAcqFifo::encoderTriggerEnabled(bool, bool) {}
void qc_MultiAcqFifo::stepsPerLine(long, long) {}
void qc_MultiAcqFifo::encoderPort(long) {}
void qc_MultiAcqFifo::encoderOffset(long) {}
void qc_MultiAcqFifo::positiveAcquireDirection(bool) {}
void qc_MultiAcqFifo::zeroCounter() {}

// ---- completions ---------------------------------------------------------------------------

bool qc_MultiAcqFifo::completeRaw(const CompleteArgs& args, Buffers& buffers) {
  qcAcquireInfo info;
  qcAcqFifo::qeStartReqStatus status{};
  const CompleteArgs local = CompleteArgs()
                                 .makeLocal(args.makeLocal())
                                 .maxWait(args.maxWait())
                                 .autoStart(args.autoStart())
                                 .acquireInfo(&info)
                                 .startReqStatus(&status);
  buffers[0] = channel(0).complete8(local);
  qcAcqFailure failure = info.failure();
  if (args.acquireInfo()) *args.acquireInfo() = info;
  if (args.startReqStatus()) *args.startReqStatus() = status;

  if (status == 0) {
    for (long i = 1; i < numChannels_; ++i) {
      buffers[static_cast<std::size_t>(i)] = channel(i).complete8(local);
      const qcAcqFailure f = info.failure();
      qstd_assert(!f.isMissed());  // a slave follows its master: it cannot miss a trigger of its own
      if (!failure && f) failure = f;
    }
  } else if (!failure) {
    // The other channels were not asked: there is no whole image, and the
    // completion must not look like a success.
    failure.isAbnormal(true);
    failure.abnormalErrorCode(static_cast<long>(status));
    failure.errorInfo("multi-channel FIFO: the start request was not granted; the other channels were not completed");
  }

  if (failure) {
    if (args.acquireInfo()) args.acquireInfo()->failure(failure);
    for (auto& b : buffers) b.unbind();
  }
  return static_cast<bool>(failure);
}

bool qc_MultiAcqFifo::colorAllowed_(const CompleteArgs& args) const {
  if (numChannels_ >= 3) return true;
  qstd_assert(numChannels_ >= 3);
  if (qcAcquireInfo* info = args.acquireInfo()) {
    qcAcqFailure f;
    f.isAbnormal(true);
    f.errorInfo("multi-channel FIFO: a colour image needs three channels");
    *info = qcAcquireInfo(0, 0, f, 0);
  }
  return false;
}

bool qc_MultiAcqFifo::combinable_(const CompleteArgs& args, Buffers& b) {
  const auto regionOf = [](const qcPelBuffer<unsigned char>& p) {
    return qcPelRect(p.offset().x, p.offset().y, p.width(), p.height());
  };
  if (regionOf(b[1]) == regionOf(b[0]) && regionOf(b[2]) == regionOf(b[0])) return true;
  // A region of interest set channel by channel while this trigger's
  // acquisitions ran: the channels caught different regions.
  qcAcqFailure f;
  f.isAbnormal(true);
  f.errorInfo("multi-channel FIFO: the channels' images are of different regions (a region of interest changed "
              "while the acquisition ran)");
  if (args.acquireInfo()) args.acquireInfo()->failure(f);
  for (auto& buffer : b) buffer.unbind();
  return false;
}

qcPelBuffer<unsigned char> qc_MultiAcqFifo::complete8(const CompleteArgs& args) {
  Buffers b;
  return completeRaw(args, b) ? qcPelBuffer<unsigned char>() : b[1];
}

qcPelBuffer<qcPackedRGB16Pel> qc_MultiAcqFifo::completeRGB16(const CompleteArgs& args) {
  qcPelBuffer<qcPackedRGB16Pel> image;
  Buffers b;
  if (colorAllowed_(args) && !completeRaw(args, b) && combinable_(args, b)) qfRGBPack(b[0], b[1], b[2], image);
  return image;
}

qcPelBuffer<qcPackedRGB32Pel> qc_MultiAcqFifo::completeRGB32(const CompleteArgs& args) {
  qcPelBuffer<qcPackedRGB32Pel> image;
  Buffers b;
  if (colorAllowed_(args) && !completeRaw(args, b) && combinable_(args, b)) qfRGBPack(b[0], b[1], b[2], image, 0);
  return image;
}

qc3PlanePelBuffer qc_MultiAcqFifo::complete3Plane(const CompleteArgs& args) {
  Buffers b;
  if (!colorAllowed_(args) || completeRaw(args, b) || !combinable_(args, b)) return qc3PlanePelBuffer();
  return qc3PlanePelBuffer(b[0], b[1], b[2]);
}
