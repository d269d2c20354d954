#include <qrn/acq/hyper/acqfifo.h>

#include <qrn/acq/hyper/framegrabber.h>
#include <qrn/foundation/misc.h>

QC_REGISTER_PERSISTENT(qcAcqFifo::CouldNotCreate);
QC_REGISTER_PERSISTENT(qcAcqFifo::BadParams);
QC_REGISTER_PERSISTENT(qcAcqFifo::StartNotAllowed);
QC_REGISTER_PERSISTENT(qcAcqFifo::InvalidMaster);

qcPelRootPool::~qcPelRootPool() = default;

// ---- settings database helpers ------------------------------------------------

void qfAddSettingInfoDefaultStrobe(qcSettingDataBase& db) {
  db.emplace_back(qeSetting_StrobeEnable, 0.0, 1.0, 0.0, qcSettingInfo::kindOnOff);
  db.emplace_back(qeSetting_StrobePulseDuration, 0.0, HUGE_VAL, 2e-5, qcSettingInfo::kindReal);
  db.emplace_back(qeSetting_StrobeHigh, 0.0, 1.0, 1.0, qcSettingInfo::kindOnOff);
}

void qfAddSettingInfoBt252(qcSettingDataBase& db) {
  db.emplace_back(qeSetting_Brightness, 0.0, 1.0, 0.5, qcSettingInfo::kindReal);
  db.emplace_back(qeSetting_Contrast, 0.0, 1.0, 0.5, qcSettingInfo::kindReal);
}

void qfAddSettingInfoVScan(qcSettingDataBase& db, const qc_VideoFormat&) { qfAddSettingInfoDefaultStrobe(db); }

// ---- qcAcqFifo ----------------------------------------------------------------------

qcAcqFifo::qcAcqFifo(const qcVideoFormat& fmt, qcFrameGrabber& fg, const qcBasicFifoTraits& traits) {
  qc_FrameGrabber* driver = fg.internal();
  if (!driver) throw CouldNotCreate();
  internal_.reset(driver->newAcqFifo(fmt.internal(true), traits));
  if (!internal_) throw CouldNotCreate();
}

qcAcqFifo::qcAcqFifo(qc_AcqFifo& driverFifo) : internal_(&driverFifo) {}

qcAcqFifo::~qcAcqFifo() {
  // The driver FIFO goes first, so that its threads stop calling the
  // callbacks before the handles are released (member destruction, after
  // this body).
  internal_.reset();
}

bool qcAcqFifo::start(unsigned long count) { return internal_->start(count); }

bool qcAcqFifo::isValid(qcAcqProblem* problem) const {
  qc_ProblemFlags local = 0;
  return internal_->isValid(problem ? problem->flags() : local);
}

bool qcAcqFifo::isIdle() const { return internal_->isIdle(); }
bool qcAcqFifo::isWaiting() const { return internal_->isWaiting(); }
bool qcAcqFifo::isAcquiring() const { return internal_->isAcquiring(); }
bool qcAcqFifo::isMovable() const { return internal_->isMovable(); }
bool qcAcqFifo::isComplete() const { return internal_->isComplete(); }
long qcAcqFifo::pendingAcqs() const { return internal_->pendingAcqs(); }
long qcAcqFifo::completedAcqs() const { return internal_->completedAcqs(); }
long qcAcqFifo::availableAcqs() const { return internal_->availableAcqs(); }

bool qcAcqFifo::prepare(double seconds) {
  qcDeadline deadline(seconds);
  return internal_->prepare(nullptr, deadline);
}

bool qcAcqFifo::prepare(std::string& message, double seconds) {
  qcDeadline deadline(seconds);
  return internal_->prepare(&message, deadline);
}

bool qcAcqFifo::isPrepared() const { return internal_->isPrepared(); }
void qcAcqFifo::flush() { internal_->flush(); }
void qcAcqFifo::trigger() { internal_->trigger(); }
void qcAcqFifo::waitForStateChange(qc_Resource* resource) { internal_->waitForStateChange(resource); }

long qcAcqFifo::defaultHardwareImagePoolSize() const { return internal_->defaultHardwareImagePoolSize(); }

void qcAcqFifo::hardwareImagePoolSize(long n) {
  // A pool of one image cannot hold one image while the next is acquired.
  if (n < 0 || n == 1) throw BadParams();
  internal_->hardwareImagePoolSize(n);
}

long qcAcqFifo::hardwareImagePoolSize() const { return internal_->hardwareImagePoolSize(); }

void qcAcqFifo::setPropertyValue(long id, double value) { internal_->setPropertyValue(id, value); }

qcAcqPropertyQuery& qcAcqFifo::propertyQuery() const {
  // The property set is the typed FIFO's; asking for it does not change the
  // FIFO.
  qcAcqProps& props = const_cast<qcAcqFifo*>(this)->propertiesCovar();
  internal_->initializePropertyQuery(&props);
  return internal_->propertyQuery();
}

void qcAcqFifo::completeInfoCallback(InfoCallback cb) {
  internal_->completeInfoCallback(cb);
  completeInfoCallback_ = std::move(cb);
}

void qcAcqFifo::movePartInfoCallback(InfoCallback cb) {
  internal_->movePartInfoCallback(cb);
  movePartInfoCallback_ = std::move(cb);
}

void qcAcqFifo::overrunInfoCallback(InfoCallback cb) {
  internal_->overrunInfoCallback(cb);
  overrunInfoCallback_ = std::move(cb);
}

qc_PelBuffer* qcAcqFifo::baseComplete(qcAcqFailure* failure, unsigned long* triggerNum, bool makeLocal,
                                      double maxWait, bool autoStart, qeStartReqStatus* status) {
  return completeOlder_([this](const CompleteArgs& a) { return baseCompleteCovar(a); }, failure, triggerNum,
                        makeLocal, maxWait, autoStart, status);
}

// ---- qc_AcqFifo defaults ------------------------------------------------------------

qc_AcqFifo::~qc_AcqFifo() = default;

bool qc_AcqFifo::isValid(qc_ProblemFlags&) const { return false; }

// A driver that delivers a pixel format overrides its completion; reaching a
// default is a programming error of the caller or the driver.
#define QRN_DEFAULT_COMPLETION(Type, name)              \
  Type qc_AcqFifo::name(const CompleteArgs&) {          \
    qstd_assert_(__FILE__, __LINE__, #name " not provided by the driver"); \
    return Type();                                      \
  }
QRN_DEFAULT_COMPLETION(qcPelBuffer<unsigned char>, complete8)
QRN_DEFAULT_COMPLETION(qcPelBuffer<unsigned short>, complete16)
QRN_DEFAULT_COMPLETION(qcPelBuffer<qcPackedRGB16Pel>, completeRGB16)
QRN_DEFAULT_COMPLETION(qcPelBuffer<qcPackedRGB32Pel>, completeRGB32)
QRN_DEFAULT_COMPLETION(qc3PlanePelBuffer, complete3Plane)
#undef QRN_DEFAULT_COMPLETION

qcPtrHandle<qcAcqImage> qc_AcqFifo::completeAcq(const CompleteArgs&) {
  qstd_assert_(__FILE__, __LINE__, "completeAcq not provided by the driver");
  return qcPtrHandle<qcAcqImage>(new qcAcqImage);
}

void qc_AcqFifo::setPropertyValue(qsScalarValue&) {}
void qc_AcqFifo::getPropertyValue(qsScalarValue&) {}
void qc_AcqFifo::cameraLocation(const qcCameraPort*) {}
void qc_AcqFifo::cameraBandwidth(double) {}
bool qc_AcqFifo::lightsOff() { return false; }
void qc_AcqFifo::update(const qcCustomProp&) {}
void qc_AcqFifo::update(qcCdcCameraCalibrationProp&) {}
void qc_AcqFifo::update(qcReadoutDirectionProp&) {}
void qc_AcqFifo::update(qcSampleProp&) {}
void qc_AcqFifo::update(qcCameraTestProp&) {}
void qc_AcqFifo::update(qcOffsetClampProp&) {}
void qc_AcqFifo::update(qcTriggerFilterProp&) {}
long qc_AcqFifo::lutEntries() const { return 0; }
bool qc_AcqFifo::cameraPortValid(const qcCameraPort&) const { return false; }
double qc_AcqFifo::defaultContrast() const { return 0.5; }
double qc_AcqFifo::defaultBrightness() const { return 0.5; }
bool qc_AcqFifo::defaultOutlierPelCorrectionEnable() const { return false; }
double qc_AcqFifo::defaultExposure() const { return 2e-5; }
bool qc_AcqFifo::isValidPool(const qcPtrHandle<qcPelRootPool>&) { return true; }
void qc_AcqFifo::initSettingDataBase(qcSettingDataBase&) const {}
const std::vector<long>* qc_AcqFifo::getValidSampleSettings() const { return nullptr; }
bool qc_AcqFifo::couldSlaveTo(const qc_AcqFifo*) const { return false; }
bool qc_AcqFifo::mustBeValidMaster(const qc_AcqFifo*) const { return false; }
bool qc_AcqFifo::canUseVideoPelRoots(qsVideoRootInfo&) { return false; }
bool qc_AcqFifo::initVideoPelRoots(qcPelRootPool*, const std::vector<void*>&, qcPair<long>) { return false; }
bool qc_AcqFifo::uninitVideoPelRoots(qcPelRootPool*) { return false; }
void qc_AcqFifo::callback(qeCallbackType) {}

long qc_AcqFifo::defaultHardwareImagePoolSize() const {
  qstd_assert_(__FILE__, __LINE__, "defaultHardwareImagePoolSize not provided by the driver");
  return 0;
}

void qc_AcqFifo::hardwareImagePoolSize(long) {
  qstd_assert_(__FILE__, __LINE__, "hardwareImagePoolSize not provided by the driver");
}

long qc_AcqFifo::hardwareImagePoolSize() const {
  qstd_assert_(__FILE__, __LINE__, "hardwareImagePoolSize not provided by the driver");
  return 0;
}

// ---- qc_AcqFifo framework operations ------------------------------------------------

void qc_AcqFifo::setPropertyValue(long id, double value) {
  qsScalarValue v;
  v.id = id;
  v.aux = -1;
  v.value = value;
  v.extra1 = 0;
  v.extra2 = 0;
  setPropertyValue(v);
}

const qcSettingDataBase& qc_AcqFifo::settingDataBase() const {
  if (!settings_) {
    // Filled before it is published, so that a driver whose init throws is
    // asked again next time rather than left with a half-filled database.
    auto db = std::make_unique<qcSettingDataBase>();
    initSettingDataBase(*db);
    settings_ = std::move(db);
  }
  return *settings_;
}

const qcSettingInfo* qc_AcqFifo::getSettingInfo(long id) const {
  for (const qcSettingInfo& s : settingDataBase())
    if (s.id() == id) return &s;
  return nullptr;
}
