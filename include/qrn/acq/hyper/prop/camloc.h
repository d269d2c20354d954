// Camera location of an acquisition FIFO: the board-layer camera port object
// that the FIFO acquires from.  Not persistent.
#pragma once

#include <qrn/acq/hyper/prop/propbase.h>

// Points at a qcCameraPort (default none).  The port object is the board
// layer's: it must outlive the property.  Hook first: when associated the
// FIFO must accept the port (cameraPortValid) and hears it
// (cameraLocation(&port)) before the property points at it.
class qcCameraLocationProp : public qc_Prop<qcCameraLocationProp> {
public:
  QC_EXCEPTION(BadParams, qcException, 0x100009AE);

  static constexpr const qcCameraPort* defaultCameraLocation = nullptr;

  qcCameraLocationProp() = default;
  explicit qcCameraLocationProp(const qcCameraPort& port) : location_(&port) {}
  qcCameraLocationProp(const qcCameraLocationProp&) = default;
  // Through the setter; a source without a location clears the location (an
  // associated FIFO gets cameraLocation(null)).
  qcCameraLocationProp& operator=(const qcCameraLocationProp& src);
  virtual ~qcCameraLocationProp() = default;

  // The port, or null.
  const qcCameraPort* cameraLocation() const { return location_; }
  // Throws BadParams when associated and the FIFO's cameraPortValid(port) is
  // false; FIFO errors pass.
  void cameraLocation(const qcCameraPort& port);

private:
  QC_PLAIN_PROPERTY(qcCameraLocationProp, "acq/hyper/prop/camloc");
  const qcCameraPort* location_ = defaultCameraLocation;
};
