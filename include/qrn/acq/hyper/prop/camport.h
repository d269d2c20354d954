// Camera port of an acquisition FIFO: which camera input of the board the
// FIFO acquires from.
#pragma once

#include <qrn/acq/hyper/prop/propbase.h>

// The camera port number, 0 or more (default 0); when associated, below the
// FIFO's numCameraPort().  Hook first: the FIFO's cameraPort(long) hears each
// value first.
class qcCameraPortProp : public qc_PersistentProp<qcCameraPortProp> {
public:
  QC_EXCEPTION(BadParams, qcException, 0x10000982);
  QC_EXCEPTION(NoFrameGrabber, qcException, 0x10000983);

  static constexpr long defaultCameraPort = 0;

  qcCameraPortProp() = default;
  // Throws BadParams below 0.
  explicit qcCameraPortProp(long port);
  qcCameraPortProp(const qcCameraPortProp&) = default;
  qcCameraPortProp& operator=(const qcCameraPortProp& src);  // through the setter

  long cameraPort() const { return cameraPort_; }
  // Throws BadParams below 0 or, when associated, not below numCameraPort().
  void cameraPort(long port);
  // The FIFO's number of camera ports.  Throws NoFrameGrabber when free.
  long numCameraPort() const;

private:
  QC_PERSISTENT_PROPERTY(qcCameraPortProp, "acq/hyper/prop/camport", 0);
  long cameraPort_ = defaultCameraPort;
};
