// Sync model of an acquisition FIFO: how camera and frame grabber are
// synchronized.
#pragma once

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
  QC_EXCEPTION(NoFrameGrabber, qcException, 0x10000995);

  // The model that stands for the FIFO's own default (built on first use).
  static const qcSyncModel& defaultSyncModel() { return qc_SyncModel::defaultModel(); }

  qcSyncProp() = default;
  explicit qcSyncProp(const qcSyncModel& m) : model_(&m) {}
  qcSyncProp(const qcSyncProp&) = default;
  qcSyncProp& operator=(const qcSyncProp& src);  // through the setter

  const qcSyncModel& syncModel() const { return *model_; }
  void syncModel(const qcSyncModel& m);
  // The model the FIFO actually uses.  Throws NoFrameGrabber when free.
  const qcSyncModel& actualSyncModel() const;

  // The archive code of a model (1 to 14), and the model of a code.
  static long codeOf_(const qcSyncModel& m);
  static const qcSyncModel& modelOf_(long code);

private:
  QC_PERSISTENT_PROPERTY(qcSyncProp, "acq/hyper/prop/sync", 1);
  const qcSyncModel* model_ = &defaultSyncModel();
};
