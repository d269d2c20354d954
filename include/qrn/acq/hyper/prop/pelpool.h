// Pel root pool of an acquisition FIFO: the source of image storage the
// driver acquires into.  Not persistent.
#pragma once

#include <qrn/acq/hyper/prop/propbase.h>

// A handle to a qcPelRootPool (default null: the FIFO's own storage).  Hook
// first: when associated the FIFO must accept the pool (isValidPool) and
// hears it (pelRootPool) before it is kept.  Association replaces the pool
// with the FIFO's defaultPelPool() without passing it back.
class qcPelRootPoolProp : public qc_Prop<qcPelRootPoolProp> {
public:
  QC_EXCEPTION(BadParams, qcException, 0x100009C3);

  qcPelRootPoolProp() = default;
  explicit qcPelRootPoolProp(qcPtrHandle<qcPelRootPool> pool) : pool_(std::move(pool)) {}
  qcPelRootPoolProp(const qcPelRootPoolProp&) = default;
  qcPelRootPoolProp& operator=(const qcPelRootPoolProp& src);  // through the setter
  virtual ~qcPelRootPoolProp() = default;

  qcPtrHandle<qcPelRootPool> pelRootPool() const { return pool_; }
  // Throws BadParams when associated and the FIFO's isValidPool(pool) is
  // false; FIFO errors pass.
  void pelRootPool(qcPtrHandle<qcPelRootPool> pool);

  // Associates, then takes the FIFO's defaultPelPool() (not sent back).
  void fifo(qc_AcqFifo& f);

private:
  QC_PLAIN_PROPERTY(qcPelRootPoolProp, "acq/hyper/prop/pelpool");
  qcPtrHandle<qcPelRootPool> pool_;
};
