// Camera location of an acquisition FIFO: the board-layer camera port object
// that the FIFO acquires from.  Not persistent.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <qrn/acq/hyper/prop/propbase.h>

// Points at a qcCameraPort (default none).  The port object is the board
// layer's: it must outlive the property.  Hook first: when associated the
// FIFO must accept the port (cameraPortValid) and hears it
// (cameraLocation(&port)) before the property points at it.
class qcCameraLocationProp : public qc_Prop<qcCameraLocationProp> {
public:
  // A camera port that the associated FIFO does not accept.
  QC_EXCEPTION(BadParams, qcException, 0x100009AE);

  // No location: the FIFO acquires from its camera port number alone.
  static constexpr const qcCameraPort* defaultCameraLocation = nullptr;

  // A free property without a location.
  qcCameraLocationProp() = default;
  // A free property pointing at `port` (not checked; port must outlive the
  // property).
  explicit qcCameraLocationProp(const qcCameraPort& port) : location_(&port) {}
  // A copy points at the same port object and is free.
  qcCameraLocationProp(const qcCameraLocationProp&) = default;
  // Through the setter; a source without a location clears the location (an
  // associated FIFO gets cameraLocation(null)).
  qcCameraLocationProp& operator=(const qcCameraLocationProp& src);
  // Sends nothing to the FIFO; the port object is not the property's.
  virtual ~qcCameraLocationProp() = default;

  // The port pointed at, or null when there is none (not owned).
  const qcCameraPort* cameraLocation() const { return location_; }
  // Points at `port`, which must outlive the property.  Throws BadParams when
  // associated and the FIFO's cameraPortValid(port) is false; the FIFO hears
  // the port before the property points at it, and a FIFO exception passes
  // and leaves the location unchanged.
  void cameraLocation(const qcCameraPort& port);

private:
  QC_PLAIN_PROPERTY(qcCameraLocationProp, "acq/hyper/prop/camloc");
  const qcCameraPort* location_ = defaultCameraLocation;
};

QRN_API_END
