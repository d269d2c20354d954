// Callback properties of an acquisition FIFO: the move-part, complete and
// overrun callbacks (qcCallback, no argument).
//
// Each holds a handle (default null: no callback).  Hook first: the FIFO's
// movePartCallback, completeCallback or overrunCallback receives the handle
// before it is kept.  The driver calls the callback on a thread of its own
// choosing (see callback.h).  Archive version 0: the callback as a persistent
// object pointer (null for a null handle); a callback class that must survive
// an archive registers itself for persistence.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <qrn/acq/hyper/callback.h>
#include <qrn/acq/hyper/prop/propbase.h>

// The archive of a callback handle, shared by the three classes: stores the
// handle's object, or loads one and passes it to `set`.
template <class Set>
void qf_serializeCallback_(qcArchive& ar, const qcPtrHandle<qcCallback>& current, Set&& set) {
  qcCallback* p = ar.isStoring() ? current.ptr() : nullptr;
  qcPersistent::serializePointer(ar, p);
  if (ar.isLoading()) set(qcPtrHandle<qcCallback>(p));
}

// The callback that a driver calls when part of an acquisition may be moved.
class qcMovePartCallbackProp : public qc_PersistentProp<qcMovePartCallbackProp> {
public:
  // A free property without a callback (a null handle).
  qcMovePartCallbackProp() = default;
  // A free property sharing `cb` (null: no callback).
  explicit qcMovePartCallbackProp(qcPtrHandle<qcCallback> cb) : callback_(std::move(cb)) {}
  // A copy shares src's callback and is free.  Assignment passes src's handle
  // through the setter (an associated target's FIFO receives it) and keeps
  // the target's association.
  qcMovePartCallbackProp(const qcMovePartCallbackProp&) = default;
  qcMovePartCallbackProp& operator=(const qcMovePartCallbackProp& src);

  // A handle sharing the callback called when part of an acquisition may be
  // moved; null: none.  The setter hands `cb` to an associated FIFO before
  // keeping it; a FIFO exception passes and leaves the callback unchanged.
  qcPtrHandle<qcCallback> movePartCallback() const { return callback_; }
  void movePartCallback(qcPtrHandle<qcCallback> cb);

private:
  QC_PERSISTENT_PROPERTY(qcMovePartCallbackProp, "acq/hyper/prop/callback", 0);
  qcPtrHandle<qcCallback> callback_;
};

// The callback that a driver calls when an acquisition completes.
class qcCompleteCallbackProp : public qc_PersistentProp<qcCompleteCallbackProp> {
public:
  // A free property without a callback (a null handle).
  qcCompleteCallbackProp() = default;
  // A free property sharing `cb` (null: no callback).
  explicit qcCompleteCallbackProp(qcPtrHandle<qcCallback> cb) : callback_(std::move(cb)) {}
  // A copy shares src's callback and is free.  Assignment passes src's handle
  // through the setter (an associated target's FIFO receives it) and keeps
  // the target's association.
  qcCompleteCallbackProp(const qcCompleteCallbackProp&) = default;
  qcCompleteCallbackProp& operator=(const qcCompleteCallbackProp& src);

  // A handle sharing the callback called when an acquisition completes; null:
  // none.  The setter hands `cb` to an associated FIFO before keeping it; a FIFO
  // exception passes and leaves the callback unchanged.
  qcPtrHandle<qcCallback> completeCallback() const { return callback_; }
  void completeCallback(qcPtrHandle<qcCallback> cb);

private:
  QC_PERSISTENT_PROPERTY(qcCompleteCallbackProp, "acq/hyper/prop/callback", 0);
  qcPtrHandle<qcCallback> callback_;
};

// The callback that a driver calls when acquisitions overran the FIFO.
class qcOverrunCallbackProp : public qc_PersistentProp<qcOverrunCallbackProp> {
public:
  // A free property without a callback (a null handle).
  qcOverrunCallbackProp() = default;
  // A free property sharing `cb` (null: no callback).
  explicit qcOverrunCallbackProp(qcPtrHandle<qcCallback> cb) : callback_(std::move(cb)) {}
  // A copy shares src's callback and is free.  Assignment passes src's handle
  // through the setter (an associated target's FIFO receives it) and keeps
  // the target's association.
  qcOverrunCallbackProp(const qcOverrunCallbackProp&) = default;
  qcOverrunCallbackProp& operator=(const qcOverrunCallbackProp& src);

  // A handle sharing the callback called when acquisitions overran the FIFO;
  // null: none.  The setter hands `cb` to an associated FIFO before keeping it;
  // a FIFO exception passes and leaves the callback unchanged.
  qcPtrHandle<qcCallback> overrunCallback() const { return callback_; }
  void overrunCallback(qcPtrHandle<qcCallback> cb);

private:
  QC_PERSISTENT_PROPERTY(qcOverrunCallbackProp, "acq/hyper/prop/callback", 0);
  qcPtrHandle<qcCallback> callback_;
};

QRN_API_END
