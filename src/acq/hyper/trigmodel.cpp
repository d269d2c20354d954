// The trigger model records, their public models and the setters.
#include <qrn/acq/hyper/trigmodel.h>

QC_REGISTER_PERSISTENT(qcTriggerModel::BadParams);

namespace {

// Field order: index, name, usesInputLine, sourceFlag2, automaticFlag,
// isSlave, noBufferImages, missedErrorHandling, canStart, startFlagA,
// startFlagB, bufferHardwareTrigger, hwAction1, hwAction2, hwAction3.
constexpr bool T = true, F = false;
const qc_TriggerModel kManual = {128, "Manual", F, F, F, F, T, F, T, F, F, F, F, F, F};
const qc_TriggerModel kAuto = {129, "Automatic", T, F, T, F, T, F, F, F, F, F, F, F, F};
const qc_TriggerModel kSemi = {130, "Semi-Automatic", T, F, F, F, T, F, T, F, F, F, F, F, F};
const qc_TriggerModel kSlave = {131, "Slave", F, F, F, T, T, F, F, T, F, F, F, F, F};
const qc_TriggerModel kFreeRun = {132, "FreeRun", F, F, F, F, T, F, F, F, F, F, F, F, F};

std::shared_ptr<qc_TriggerModel> customRecord(const qc_TriggerModel& from) {
  auto r = std::make_shared<qc_TriggerModel>(from);
  r->name = "Custom";
  r->index = 132;
  return r;
}

// Build the constant catalogue at load time (first use would as well).
const bool kBuiltAtLoad = (qfManualTrigger(), qfAutoTrigger(), qfSemiTrigger(), qfSlaveTrigger(),
                           qfFreeRunTrigger(), true);

}  // namespace

qcTriggerModel::qcTriggerModel(const qc_TriggerModel& record) : rec_(&record) {}

qcTriggerModel::qcTriggerModel(const qcTriggerModel& other)
    : qcRepBase(other), rec_(other.rec_), owned_(other.owned_) {}

qcTriggerModel& qcTriggerModel::operator=(const qcTriggerModel& other) {
  rec_ = other.rec_;
  owned_ = other.owned_;
  return *this;
}

qcTriggerModel::~qcTriggerModel() = default;

qc_TriggerModel& qcTriggerModel::writable_() {
  if (!owned_) {
    owned_ = customRecord(*rec_);
    rec_ = owned_.get();
  }
  return *owned_;
}

void qcTriggerModel::bufferHardwareTrigger(bool on) {
  if (rec_->bufferHardwareTrigger == on) return;
  writable_().bufferHardwareTrigger = on;
}

qcTriggerModel::qeStartAction qcTriggerModel::startAction() const {
  if (rec_->canStart) return qeStartAction(rec_->startFlagA ? 2 : 0);
  return qeStartAction(rec_->startFlagB ? 3 : 1);
}

void qcTriggerModel::startAction(qeStartAction action) {
  if (action < 0 || action > 3) throw BadParams();
  // Compare the flags, not the derived action: "Slave" reads as action 1
  // but carries startFlagA, which action 1 clears.
  const bool canStart = (action == 0 || action == 2), flagA = (action == 2), flagB = (action == 3);
  if (rec_->canStart == canStart && rec_->startFlagA == flagA && rec_->startFlagB == flagB) return;
  qc_TriggerModel& r = writable_();
  r.canStart = canStart;
  r.startFlagA = flagA;
  r.startFlagB = flagB;
}

qcTriggerModel::qeMissedErrorHandling qcTriggerModel::missedErrorHandling() const {
  return qeMissedErrorHandling(rec_->missedErrorHandling ? 1 : 0);
}

void qcTriggerModel::missedErrorHandling(qeMissedErrorHandling mode) {
  if (mode != 0 && mode != 1) throw BadParams();
  if (mode == missedErrorHandling()) return;
  writable_().missedErrorHandling = (mode == 1);
}

qcTriggerModel::qeBufferImages qcTriggerModel::bufferImages() const {
  return qeBufferImages(rec_->noBufferImages ? 0 : 1);
}

void qcTriggerModel::bufferImages(qeBufferImages value) {
  if (value != 0 && value != 1) throw BadParams();
  if (value == bufferImages()) return;
  writable_().noBufferImages = (value == 0);
}

qcTriggerModel::qeTriggerSource qcTriggerModel::triggerSource() const {
  if (rec_->usesInputLine) return qeTriggerSource(0);
  return qeTriggerSource(rec_->sourceFlag2 ? 2 : 1);
}

void qcTriggerModel::triggerSource(qeTriggerSource source) {
  if (source < 0 || source > 2) return;
  bool input = (source == 0), flag2 = (source == 2);
  if (rec_->usesInputLine == input && rec_->sourceFlag2 == flag2) return;
  qc_TriggerModel& r = writable_();
  r.usesInputLine = input;
  r.sourceFlag2 = flag2;
}

qcTriggerModel::qeHardwareTriggerAction qcTriggerModel::hardwareTriggerAction() const {
  if (rec_->hwAction1) return qeHardwareTriggerAction(1);
  if (rec_->hwAction2) return qeHardwareTriggerAction(2);
  if (rec_->hwAction3) return qeHardwareTriggerAction(3);
  return qeHardwareTriggerAction(0);
}

void qcTriggerModel::hardwareTriggerAction(qeHardwareTriggerAction action) {
  if (action < 0 || action > 3) return;
  if (action != 0 && (!rec_->usesInputLine || rec_->canStart)) throw BadParams();
  bool a1 = (action == 1), a2 = (action == 2), a3 = (action == 3);
  if (rec_->hwAction1 == a1 && rec_->hwAction2 == a2 && rec_->hwAction3 == a3) return;
  qc_TriggerModel& r = writable_();
  r.hwAction1 = a1;
  r.hwAction2 = a2;
  r.hwAction3 = a3;
}

qcTriggerModel* qcTriggerModel::copyForCustomization() const {
  auto* m = new qcTriggerModel(*this);
  m->owned_ = customRecord(*rec_);
  m->rec_ = m->owned_.get();
  return m;
}

const qcTriggerModel& qfManualTrigger() {
  static const qcTriggerModel m(kManual);
  return m;
}
const qcTriggerModel& qfAutoTrigger() {
  static const qcTriggerModel m(kAuto);
  return m;
}
const qcTriggerModel& qfSemiTrigger() {
  static const qcTriggerModel m(kSemi);
  return m;
}
const qcTriggerModel& qfSlaveTrigger() {
  static const qcTriggerModel m(kSlave);
  return m;
}
const qcTriggerModel& qfFreeRunTrigger() {
  static const qcTriggerModel m(kFreeRun);
  return m;
}
