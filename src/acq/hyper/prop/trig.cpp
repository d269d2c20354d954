#include <qrn/acq/hyper/prop/acqprops.h>
#include <qrn/acq/hyper/prop/trig.h>

QC_IMPLEMENT_PERSISTENT(qcTriggerProp);
QC_REGISTER_PERSISTENT(qcTriggerProp::BadParams);

qcTriggerProp& qcTriggerProp::operator=(const qcTriggerProp& src) {
  triggerEnable(src.triggerEnable());
  if (src.model_)
    triggerModel(*src.model_);
  else
    triggerModel(src.modelHandle_);
  triggerLowToHigh(src.triggerLowToHigh_);
  triggerMaster(src.master_);
  return *this;
}

const qcTriggerModel& qcTriggerProp::triggerModel() const { return model_ ? *model_ : *modelHandle_; }

void qcTriggerProp::triggerModel(const qcTriggerModel& m) {
  if (fifo_) fifo_->triggerModel(m.internal());
  model_ = &m;
  modelHandle_.reset();
}

void qcTriggerProp::triggerModel(qcPtrHandle<qcTriggerModel> h) {
  require_(static_cast<bool>(h));
  if (fifo_) fifo_->triggerModel(h->internal());
  modelHandle_ = std::move(h);
  model_ = nullptr;
}

bool qcTriggerProp::triggerEnable() const {
  if (fifo_) triggerEnable_ = fifo_->triggerEnable();
  return triggerEnable_;
}

void qcTriggerProp::triggerEnable(bool on) {
  hookSet_(triggerEnable_, on, [&](qc_AcqFifo& f) { f.triggerEnable(on); });
}

void qcTriggerProp::triggerLowToHigh(bool on) {
  hookSet_(triggerLowToHigh_, on, [&](qc_AcqFifo& f) { f.triggerLowToHigh(on); });
}

qc_AcqFifo* qcTriggerProp::driverOf_(const qcPtrHandle<qcAcqFifo>& fifo) {
  if (!fifo) return nullptr;
  // The driver FIFO that the master's own trigger property is associated with.
  return static_cast<qcTriggerProp&>(fifo->properties()).fifo_;
}

void qcTriggerProp::triggerMaster(qcPtrHandle<qcAcqFifo> master) {
  if (fifo_) fifo_->triggerMaster(driverOf_(master));
  master_ = std::move(master);
}

bool qcTriggerProp::couldSlaveTo(qcPtrHandle<qcAcqFifo> master) const {
  if (!fifo_ || !master) return false;
  return fifo_->couldSlaveTo(driverOf_(master));
}

void qcTriggerProp::serialize_(qcArchive& ar, unsigned char version) {
  bool enable = ar.isStoring() ? triggerEnable() : triggerEnable_;
  bool lowToHigh = triggerLowToHigh_;
  ar || enable || lowToHigh;
  if (version == 0) {
    unsigned long ignored = 0;
    ar || ignored;
  }
  if (ar.isLoading()) {
    triggerEnable(enable);
    triggerLowToHigh(lowToHigh);
    if (version == 0) triggerModel(qfManualTrigger());
  }
}

// ---- the trigger shortcuts of the public FIFO ------------------------------------------

namespace {
qcTriggerProp& triggerOf(const qcAcqFifo& fifo) {
  // Asking for the property set does not change the FIFO.
  return const_cast<qcAcqFifo&>(fifo).properties();
}
}  // namespace

void qcAcqFifo::triggerModel(const qcTriggerModel& model) { triggerOf(*this).triggerModel(model); }
void qcAcqFifo::triggerModel(qcPtrHandle<qcTriggerModel> model) { triggerOf(*this).triggerModel(std::move(model)); }
const qcTriggerModel& qcAcqFifo::triggerModel() const { return triggerOf(*this).triggerModel(); }
void qcAcqFifo::triggerEnable(bool on) { triggerOf(*this).triggerEnable(on); }
bool qcAcqFifo::triggerEnable() const { return triggerOf(*this).triggerEnable(); }
