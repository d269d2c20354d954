#include <qrn/acq/hyper/prop/callback.h>


QC_IMPLEMENT_PERSISTENT(qcMovePartCallbackProp);

qcMovePartCallbackProp& qcMovePartCallbackProp::operator=(const qcMovePartCallbackProp& src) {
  movePartCallback(src.callback_);
  return *this;
}

void qcMovePartCallbackProp::movePartCallback(qcPtrHandle<qcCallback> cb) {
  if (fifo_) fifo_->movePartCallback(cb);
  callback_ = std::move(cb);
}

void qcMovePartCallbackProp::serialize_(qcArchive& ar, unsigned char) {
  qf_serializeCallback_(ar, callback_, [&](qcPtrHandle<qcCallback> cb) { movePartCallback(std::move(cb)); });
}

QC_IMPLEMENT_PERSISTENT(qcCompleteCallbackProp);

qcCompleteCallbackProp& qcCompleteCallbackProp::operator=(const qcCompleteCallbackProp& src) {
  completeCallback(src.callback_);
  return *this;
}

void qcCompleteCallbackProp::completeCallback(qcPtrHandle<qcCallback> cb) {
  if (fifo_) fifo_->completeCallback(cb);
  callback_ = std::move(cb);
}

void qcCompleteCallbackProp::serialize_(qcArchive& ar, unsigned char) {
  qf_serializeCallback_(ar, callback_, [&](qcPtrHandle<qcCallback> cb) { completeCallback(std::move(cb)); });
}

QC_IMPLEMENT_PERSISTENT(qcOverrunCallbackProp);

qcOverrunCallbackProp& qcOverrunCallbackProp::operator=(const qcOverrunCallbackProp& src) {
  overrunCallback(src.callback_);
  return *this;
}

void qcOverrunCallbackProp::overrunCallback(qcPtrHandle<qcCallback> cb) {
  if (fifo_) fifo_->overrunCallback(cb);
  callback_ = std::move(cb);
}

void qcOverrunCallbackProp::serialize_(qcArchive& ar, unsigned char) {
  qf_serializeCallback_(ar, callback_, [&](qcPtrHandle<qcCallback> cb) { overrunCallback(std::move(cb)); });
}
