// FIFO factories of the standard video formats.
//
// The typed standard FIFOs (qcStdGreyAcqFifo, qcStdRGB16AcqFifo,
// qcStdRGB32AcqFifo, qcStd3PlaneAcqFifo, qcStdAcqFifo) do not exist yet.
// Until they do, every factory that would make one throws
// qcVideoFormat::NotSupported: no FIFO can be made from a format.  The typed
// FIFO work replaces these bodies (support test, then a new typed FIFO on
// the format and the grabber).
#include <qrn/acq/format/vidfmt.h>

qcAcqFifo* qcStdGreyVideoFormat::newAcqFifoCovar(qcFrameGrabber&) const { throw qcVideoFormat::NotSupported(); }

qcGreyAcqFifo* qcStdGreyVideoFormat::newAcqFifoCovar2(qcFrameGrabber&) const {
  throw qcVideoFormat::NotSupported();
}

qcStdGreyAcqFifo* qcStdGreyVideoFormat::newAcqFifo(qcFrameGrabber&) const { throw qcVideoFormat::NotSupported(); }

qcStdRGB16AcqFifo* qcStdVideoFormat::newAcqFifo(qcFrameGrabber&, qeRGB16Pack) const {
  throw qcVideoFormat::NotSupported();
}

qcStdRGB32AcqFifo* qcStdVideoFormat::newAcqFifo(qcFrameGrabber&, qeRGB32Pack) const {
  throw qcVideoFormat::NotSupported();
}

// No grabber gets a 16-bit grey FIFO through this factory.
qcStdGrey16AcqFifo* qcStdVideoFormat::newGrey16AcqFifo(qcFrameGrabber&) const { throw qcVideoFormat::NotSupported(); }

qcStd3PlaneAcqFifo* qcStdVideoFormat::new3PlaneAcqFifo(qcFrameGrabber&) const { throw qcVideoFormat::NotSupported(); }

qcAcqFifo* qcStdVideoFormat::newAcqFifoEx(qcFrameGrabber&, qeImageFormat) const {
  throw qcVideoFormat::NotSupported();
}
