// Camera port of an acquisition FIFO: which camera input of the board the
// FIFO acquires from.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <qrn/acq/hyper/prop/propbase.h>

// The camera port number, 0 or more (default 0); when associated, below the
// FIFO's numCameraPort().  Hook first: the FIFO's cameraPort(long) hears each
// value first.
class qcCameraPortProp : public qc_PersistentProp<qcCameraPortProp> {
public:
  // A negative camera port, or one the associated FIFO does not have.
  QC_EXCEPTION(BadParams, qcException, 0x10000982);
  // numCameraPort() asked of a free property.
  QC_EXCEPTION(NoFrameGrabber, qcException, 0x10000983);

  // The board's first camera port.
  static constexpr long defaultCameraPort = 0;

  // A free property holding port 0.
  qcCameraPortProp() = default;
  // A free property holding `port`.  Throws BadParams below 0.
  explicit qcCameraPortProp(long port);
  // A copy holds src's port and is free.  Assignment passes src's port
  // through the setter (checked against the target's FIFO, which hears it)
  // and keeps the target's association.
  qcCameraPortProp(const qcCameraPortProp&) = default;
  qcCameraPortProp& operator=(const qcCameraPortProp& src);

  // The camera port number (0-based).  The setter throws BadParams below 0
  // or, when associated, not below numCameraPort(); the FIFO hears the port
  // before it is stored, and a FIFO exception passes and leaves it unchanged.
  long cameraPort() const { return cameraPort_; }
  void cameraPort(long port);
  // The FIFO's number of camera ports.  Throws NoFrameGrabber when free.
  long numCameraPort() const;

private:
  QC_PERSISTENT_PROPERTY(qcCameraPortProp, "acq/hyper/prop/camport", 0);
  long cameraPort_ = defaultCameraPort;
};

QRN_API_END
