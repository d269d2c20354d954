#include <qrn/acq/hyper/prop/camport.h>

QC_IMPLEMENT_PERSISTENT(qcCameraPortProp);
QC_REGISTER_PERSISTENT(qcCameraPortProp::BadParams);
QC_REGISTER_PERSISTENT(qcCameraPortProp::NoFrameGrabber);

qcCameraPortProp::qcCameraPortProp(long port) { cameraPort(port); }

qcCameraPortProp& qcCameraPortProp::operator=(const qcCameraPortProp& src) {
  cameraPort(src.cameraPort_);
  return *this;
}

void qcCameraPortProp::cameraPort(long port) {
  require_(port >= 0, "camera port " + std::to_string(port) + " is negative");
  if (fifo_) require_(port < fifo_->numCameraPort(), "camera port " + std::to_string(port) + " is not on the board");
  hookSet_(cameraPort_, port, [&](qc_AcqFifo& f) { f.cameraPort(port); });
}

long qcCameraPortProp::numCameraPort() const {
  if (!fifo_) throw NoFrameGrabber();
  return fifo_->numCameraPort();
}

void qcCameraPortProp::serialize_(qcArchive& ar, unsigned char) {
  long port = cameraPort_;
  ar || port;
  if (ar.isLoading()) cameraPort(port);
}
