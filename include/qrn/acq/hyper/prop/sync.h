// Sync model of an acquisition FIFO: how camera and frame grabber are
// synchronized.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <qrn/acq/hyper/prop/propbase.h>
#include <qrn/acq/hyper/syncmodel.h>

// Points at a sync model (default defaultSyncModel(), which stands for the
// FIFO's own default).  Hook first: an associated FIFO's syncModel() hears the
// model first; the default model is replaced by the FIFO's own
// defaultSyncModel() on the way.  Models must outlive the property (the
// predefined models are static).
//
// Archive version 1: the model's code, its index minus 149 (1 the default
// model, 2 internal composite, ... 14 display sync external pixel drive).  A
// code outside 1 to 14 fires a debug assertion and loads as 1; a model whose
// index is outside 150 to 163 fires it and stores as 1.  Version 0 (still
// read) held a number that is ignored; the model becomes the default model.
class qcSyncProp : public qc_PersistentProp<qcSyncProp> {
public:
  // actualSyncModel() asked of a free property.
  QC_EXCEPTION(NoFrameGrabber, qcException, 0x10000995);

  // The model that stands for the FIFO's own default (built on first use).
  static const qcSyncModel& defaultSyncModel() { return qc_SyncModel::defaultModel(); }

  // A free property pointing at defaultSyncModel().
  qcSyncProp() = default;
  // A free property pointing at m (not checked; m must outlive the
  // property).
  explicit qcSyncProp(const qcSyncModel& m) : model_(&m) {}
  // A copy points at src's model and is free.  Assignment passes src's model
  // through the setter (an associated target's FIFO hears it) and keeps the
  // target's association.
  qcSyncProp(const qcSyncProp&) = default;
  qcSyncProp& operator=(const qcSyncProp& src);

  // The model pointed at (never null).  The setter points at m, which must
  // outlive the property; when associated, defaultSyncModel() is replaced by
  // the FIFO's own default model and the FIFO hears the model before it is
  // kept (a FIFO exception passes and leaves the model unchanged).
  const qcSyncModel& syncModel() const { return *model_; }
  void syncModel(const qcSyncModel& m);
  // The model the FIFO actually uses.  Throws NoFrameGrabber when free.
  const qcSyncModel& actualSyncModel() const;

  // The archive code of a model (1 to 14), and the model of a code; a model
  // or code without a counterpart fires a debug assertion and gives code 1,
  // the default model.  For the archive and its tests, not for applications.
  static long codeOf_(const qcSyncModel& m);
  static const qcSyncModel& modelOf_(long code);

private:
  QC_PERSISTENT_PROPERTY(qcSyncProp, "acq/hyper/prop/sync", 1);
  const qcSyncModel* model_ = &defaultSyncModel();
};

QRN_API_END
