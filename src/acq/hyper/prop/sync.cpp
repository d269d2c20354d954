#include <qrn/acq/hyper/prop/sync.h>

QC_IMPLEMENT_PERSISTENT(qcSyncProp);
QC_REGISTER_PERSISTENT(qcSyncProp::NoFrameGrabber);

namespace {
constexpr long kCodeBias = qc_SyncModel::firstIndex - 1;  // 149
constexpr long kLastCode = qc_SyncModel::lastIndex - kCodeBias;  // 14
}  // namespace

qcSyncProp& qcSyncProp::operator=(const qcSyncProp& src) {
  syncModel(*src.model_);
  return *this;
}

void qcSyncProp::syncModel(const qcSyncModel& m) {
  const qcSyncModel* used = &m;
  if (fifo_) {
    if (m == defaultSyncModel()) used = &fifo_->defaultSyncModel();
    fifo_->syncModel(*used);
  }
  model_ = used;
}

const qcSyncModel& qcSyncProp::actualSyncModel() const {
  if (!fifo_) throw NoFrameGrabber();
  return fifo_->actualSyncModel();
}

long qcSyncProp::codeOf_(const qcSyncModel& m) {
  const qc_SyncModel* rec = m.internal();
  if (!rec || rec->index < qc_SyncModel::firstIndex || rec->index > qc_SyncModel::lastIndex) {
    qstd_assert_(sourceFile_, __LINE__, "sync model without an archive code");
    return 1;
  }
  return static_cast<long>(rec->index) - kCodeBias;
}

const qcSyncModel& qcSyncProp::modelOf_(long code) {
  if (code < 1 || code > kLastCode) {
    qstd_assert_(sourceFile_, __LINE__, "sync code out of range");
    code = 1;
  }
  return qc_SyncModel::fromIndex(static_cast<unsigned long>(code + kCodeBias));
}

void qcSyncProp::serialize_(qcArchive& ar, unsigned char version) {
  long code = ar.isStoring() ? codeOf_(*model_) : 0;
  ar || code;
  if (ar.isLoading()) syncModel(version == 0 ? defaultSyncModel() : modelOf_(code));
}
