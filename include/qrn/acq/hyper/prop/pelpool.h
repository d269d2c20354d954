// Pel root pool of an acquisition FIFO: the source of image storage the
// driver acquires into.  Not persistent.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <qrn/acq/hyper/prop/propbase.h>

// A handle to a qcPelRootPool (default null: the FIFO's own storage).  Hook
// first: when associated the FIFO must accept the pool (isValidPool) and
// hears it (pelRootPool) before it is kept.  Association replaces the pool
// with the FIFO's defaultPelPool() without passing it back.
class qcPelRootPoolProp : public qc_Prop<qcPelRootPoolProp> {
public:
  // A pool that the associated FIFO refuses (isValidPool).
  QC_EXCEPTION(BadParams, qcException, 0x100009C3);

  // A free property holding a null handle (the FIFO's own storage).
  qcPelRootPoolProp() = default;
  // A free property sharing `pool` (not checked; null: the FIFO's own
  // storage).
  explicit qcPelRootPoolProp(qcPtrHandle<qcPelRootPool> pool) : pool_(std::move(pool)) {}
  // A copy shares src's pool and is free.
  qcPelRootPoolProp(const qcPelRootPoolProp&) = default;
  // Passes src's pool through the setter (checked by the target's FIFO,
  // which hears it) and keeps the target's association.
  qcPelRootPoolProp& operator=(const qcPelRootPoolProp& src);
  // Releases the property's share of the pool; sends nothing to the FIFO.
  virtual ~qcPelRootPoolProp() = default;

  // A handle sharing the pool (null: the FIFO's own storage).
  qcPtrHandle<qcPelRootPool> pelRootPool() const { return pool_; }
  // Keeps a share of `pool`.  Throws BadParams when associated and the FIFO's
  // isValidPool(pool) is false; the FIFO hears the pool before it is kept,
  // and a FIFO exception passes and leaves the pool unchanged.
  void pelRootPool(qcPtrHandle<qcPelRootPool> pool);

  // Associates, then takes the FIFO's defaultPelPool() (not sent back).
  void fifo(qc_AcqFifo& f);

private:
  QC_PLAIN_PROPERTY(qcPelRootPoolProp, "acq/hyper/prop/pelpool");
  qcPtrHandle<qcPelRootPool> pool_;
};

QRN_API_END
