// Triggering of an acquisition FIFO: the trigger model, enable, polarity and
// master FIFO.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <qrn/acq/hyper/prop/propbase.h>
#include <qrn/acq/hyper/trigmodel.h>

// The trigger model (default qfManualTrigger()), the enable (default on), the
// polarity of the input line (default low to high) and the master FIFO of a
// slave (default none).  Hook first: an associated FIFO hears each change
// (triggerModel with the model's record, triggerEnable, triggerLowToHigh,
// triggerMaster) before it is kept.  Archive version 1 holds enable and
// polarity; the model and the master are not archived.  Version 0 (still read)
// also held a number, which is ignored; its model becomes qfManualTrigger().
class qcTriggerProp : public qc_PersistentProp<qcTriggerProp> {
public:
  // A null model handle.
  QC_EXCEPTION(BadParams, qcException, 0x10000988);

  // The values of a default-constructed property: triggers enabled, on the
  // low-to-high edge.
  static constexpr bool defaultTriggerEnable = true;
  static constexpr bool defaultTriggerLowToHigh = true;

  // A free property: qfManualTrigger(), the defaults, no master.
  qcTriggerProp() = default;
  // A copy uses src's model (the same static model, or a share of the same
  // handle), holds its values, shares its master and is free.
  qcTriggerProp(const qcTriggerProp&) = default;
  // Through the setters: enable, model, polarity, master.  The target keeps
  // its association; a FIFO exception stops the assignment where it occurs.
  qcTriggerProp& operator=(const qcTriggerProp& src);

  // The model in use (the one pointed to, else the one held by handle).
  const qcTriggerModel& triggerModel() const;
  // Uses m, which must outlive the property (the predefined models are
  // static).  The FIFO gets m.internal() first.
  void triggerModel(const qcTriggerModel& m);
  // Uses and keeps the model held by h.  The FIFO gets h->internal() first.
  // Throws BadParams for a null handle.
  void triggerModel(qcPtrHandle<qcTriggerModel> h);

  // Whether triggers are enabled.  The getter, when associated, asks the
  // FIFO and keeps its answer; free, it returns the kept value.  The setter
  // passes the value to an associated FIFO before keeping it (a FIFO
  // exception passes and leaves it unchanged).
  bool triggerEnable() const;
  void triggerEnable(bool on);
  // The polarity of the trigger input: true for the low-to-high edge, false
  // for high to low.  The setter passes the value to an associated FIFO
  // before storing it (a FIFO exception passes and leaves it unchanged).
  bool triggerLowToHigh() const { return triggerLowToHigh_; }
  void triggerLowToHigh(bool on);

  // The master FIFO of a slave (a shared handle; null: no master).  The
  // setter makes this FIFO the slave of `master`: an associated FIFO first
  // gets the master's driver FIFO (the one the master's trigger property is
  // associated with), or null; a FIFO exception passes and leaves the master
  // unchanged.
  void triggerMaster(qcPtrHandle<qcAcqFifo> master);
  qcPtrHandle<qcAcqFifo> triggerMaster() const { return master_; }
  // False when free or for a null handle; else the FIFO's couldSlaveTo().
  bool couldSlaveTo(qcPtrHandle<qcAcqFifo> master) const;

private:
  QC_PERSISTENT_PROPERTY(qcTriggerProp, "acq/hyper/prop/trig", 1);
  static qc_AcqFifo* driverOf_(const qcPtrHandle<qcAcqFifo>& fifo);

  const qcTriggerModel* model_ = &qfManualTrigger();
  qcPtrHandle<qcTriggerModel> modelHandle_;
  mutable bool triggerEnable_ = defaultTriggerEnable;
  bool triggerLowToHigh_ = defaultTriggerLowToHigh;
  qcPtrHandle<qcAcqFifo> master_;
};

QRN_API_END
