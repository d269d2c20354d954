#include <qrn/acq/hyper/prop/pelpool.h>

QC_REGISTER_PERSISTENT(qcPelRootPoolProp::BadParams);

qcPelRootPoolProp& qcPelRootPoolProp::operator=(const qcPelRootPoolProp& src) {
  pelRootPool(src.pool_);
  return *this;
}

void qcPelRootPoolProp::pelRootPool(qcPtrHandle<qcPelRootPool> pool) {
  if (fifo_) require_(fifo_->isValidPool(pool));
  if (fifo_) fifo_->pelRootPool(pool);
  pool_ = std::move(pool);
}

void qcPelRootPoolProp::fifo(qc_AcqFifo& f) {
  qc_Prop::fifo(f);
  pool_ = f.defaultPelPool();
}
