// FIFO factories of the standard video formats.
#include <memory>

#include <qrn/acq/format/vidfmt.h>
#include <qrn/acq/hyper/framegrabber.h>
#include <qrn/acq/hyper/typedfifo.h>
#include <qrn/foundation/board.h>

namespace {
// The refusal of a format that the board does not serve.
qcVideoFormat::NotSupported notSupported(const qcVideoFormat& fmt, const qcFrameGrabber& fg) {
  const auto* board = dynamic_cast<const qcBoard*>(&fg);
  return qcVideoFormat::NotSupported().withDetail(std::string("format \"") + fmt.name() + "\" is not supported by " +
                                                  (board ? "board \"" + board->name() + "\"" : std::string("this board")));
}
}  // namespace

qcStdGreyAcqFifo* qcStdGreyVideoFormat::newAcqFifo(qcFrameGrabber& fg) const {
  if (!isSupported(fg)) throw notSupported(*this, fg);
  return new qcStdGreyAcqFifo(*this, fg);
}

qcAcqFifo* qcStdGreyVideoFormat::newAcqFifoCovar(qcFrameGrabber& fg) const { return newAcqFifo(fg); }

qcGreyAcqFifo* qcStdGreyVideoFormat::newAcqFifoCovar2(qcFrameGrabber& fg) const { return newAcqFifo(fg); }

// The packing selector does not change the FIFO: the driver packs as its
// hardware does.
qcStdRGB16AcqFifo* qcStdVideoFormat::newAcqFifo(qcFrameGrabber& fg, qeRGB16Pack) const {
  if (!isSupported(fg)) throw notSupported(*this, fg);
  return new qcStdRGB16AcqFifo(*this, fg);
}

qcStdRGB32AcqFifo* qcStdVideoFormat::newAcqFifo(qcFrameGrabber& fg, qeRGB32Pack) const {
  if (!isSupported(fg)) throw notSupported(*this, fg);
  return new qcStdRGB32AcqFifo(*this, fg);
}

// No grabber gets a 16-bit grey FIFO through this factory; newAcqFifoEx
// with qeImageFormat_Grey16 makes a generic one.
qcStdGrey16AcqFifo* qcStdVideoFormat::newGrey16AcqFifo(qcFrameGrabber&) const { throw qcVideoFormat::NotSupported(); }

// No support test: the driver refuses a format it cannot serve.
qcStd3PlaneAcqFifo* qcStdVideoFormat::new3PlaneAcqFifo(qcFrameGrabber& fg) const {
  return new qcStd3PlaneAcqFifo(*this, fg);
}

qcAcqFifo* qcStdVideoFormat::newAcqFifoEx(qcFrameGrabber& fg, qeImageFormat f) const {
  const qeImageFormat g = f == qeImageFormat_Unspecified ? imageFormat() : f;
  if (!isSupportedEx(fg, f)) throw notSupported(*this, fg);
  switch (g) {
    case qeImageFormat_Grey8:
      return new qcStdGreyAcqFifo(*this, fg);
    case qeImageFormat_PackedRGB16:
      return new qcStdRGB16AcqFifo(*this, fg);
    case qeImageFormat_PackedRGB32:
      return new qcStdRGB32AcqFifo(*this, fg);
    case qeImageFormat_3Plane:
      return new qcStd3PlaneAcqFifo(*this, fg);
    default:
      break;
  }
  qc_FrameGrabber* driver = fg.internal();
  if (!driver) throw qcAcqFifo::CouldNotCreate();
  std::unique_ptr<qc_AcqFifo> made(driver->newAcqFifo(internal(true), qf_convertToInternalImageType(g)));
  if (!made) throw qcAcqFifo::CouldNotCreate();
  // The allocation comes before the arguments are evaluated: once the
  // constructor runs, the new FIFO owns the driver FIFO (also if it throws).
  return new qcStdAcqFifo(*made.release(), *this, fg, g);
}
