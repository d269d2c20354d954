// The custom property: carries one custom property bag (custombag.h) to the
// FIFO.
//
// The driver receives the whole property through qc_AcqFifo::update(const
// qcCustomProp&) and reads the bag with customValues(); the framework does not
// interpret the items.  Changes follow "store, then update": the bag is
// stored, then an associated FIFO is told once.  Association sends nothing.
//
// Archive (version 0): the bag's text form as one string.  The custom
// property is not part of the property set's archive.
//
// Threads: no lock; one thread at a time uses the property.  FIFO operations
// run on the caller's thread and their exceptions pass through unchanged.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <qrn/acq/hyper/prop/custombag.h>
#include <qrn/acq/hyper/prop/propbase.h>

// The custom property: items of a qcCustomPropertyBag sent to the driver (settings of its own).
class qcCustomProp : public qc_PersistentProp<qcCustomProp> {
public:
  // An empty bag, free.
  qcCustomProp();
  // Copies the bag; the copy is free.
  qcCustomProp(const qcCustomProp& src);
  // For another object: copies the bag and tells an associated FIFO once.
  qcCustomProp& operator=(const qcCustomProp& src);

  // Sends nothing to the FIFO.
  ~qcCustomProp() override;

  // Replaces the bag, then tells an associated FIFO (update(*this)).
  void customValues(const qcCustomPropertyBag& bag);
  // A copy of the bag.
  qcCustomPropertyBag customValues() const { return bag_; }

  // Association and freeing as for every property (propbase.h): nothing is
  // sent to the FIFO either way.
  using qc_Prop<qcCustomProp>::fifo;
  using qc_Prop<qcCustomProp>::clearFifoAssociation;

private:
  QC_PERSISTENT_PROPERTY(qcCustomProp, "acq/hyper/prop/custom", 0);

  qcCustomPropertyBag bag_;
};

QRN_API_END
