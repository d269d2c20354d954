#include <qrn/acq/hyper/typedfifo.h>

// ---- traits -----------------------------------------------------------------------

qc_AcqFifo* qcBasicFifoTraits::make(qc_FrameGrabber& fg, const qc_VideoFormat& fmt) const {
  if (!maker_) throw qcVideoFormat::NotSupported();
  return (fg.*maker_)(fmt);
}

#define QRN_SHARED_TRAITS(name, maker, pixelFormat)                       \
  const qcBasicFifoTraits& qcBasicFifoTraits::name() {                    \
    static const qcBasicFifoTraits traits(maker, pixelFormat);            \
    return traits;                                                        \
  }
QRN_SHARED_TRAITS(defTraits, nullptr, qePixelFormat_Grey8)
QRN_SHARED_TRAITS(grey8Traits, &qc_FrameGrabber::stdGreyAcqFifo, qePixelFormat_Grey8)
QRN_SHARED_TRAITS(grey16Traits, &qc_FrameGrabber::stdGrey16AcqFifo, qePixelFormat_Grey16)
QRN_SHARED_TRAITS(rgb3PlaneTraits, nullptr, qePixelFormat_RGB3Plane)
QRN_SHARED_TRAITS(rgb1PlaneTraits, nullptr, qePixelFormat_RGB1Plane)
QRN_SHARED_TRAITS(rgb16Traits, &qc_FrameGrabber::stdRGB16AcqFifo, qePixelFormat_RGB16)
QRN_SHARED_TRAITS(rgb32Traits, &qc_FrameGrabber::stdRGB32AcqFifo, qePixelFormat_RGB32)
#undef QRN_SHARED_TRAITS

// ---- typed completion -------------------------------------------------------------

namespace {

// The driver completion of each buffer kind.
template <class B>
struct DriverCompletion;
template <>
struct DriverCompletion<qcPelBuffer<unsigned char>> {
  static constexpr auto slot = &qc_AcqFifo::complete8;
};
template <>
struct DriverCompletion<qcPelBuffer<unsigned short>> {
  static constexpr auto slot = &qc_AcqFifo::complete16;
};
template <>
struct DriverCompletion<qcPelBuffer<qcPackedRGB16Pel>> {
  static constexpr auto slot = &qc_AcqFifo::completeRGB16;
};
template <>
struct DriverCompletion<qcPelBuffer<qcPackedRGB32Pel>> {
  static constexpr auto slot = &qc_AcqFifo::completeRGB32;
};
template <>
struct DriverCompletion<qc3PlanePelBuffer> {
  static constexpr auto slot = &qc_AcqFifo::complete3Plane;
};

// Every image kind, three-plane images included, is copied into local
// storage when the caller asked for a local image: handing back a non-local
// image would report success for a request that was not met.
template <class B>
B moveLocal(const B& b) {
  return qfPelMove(b, 0);
}

}  // namespace

template <class B>
B qf_completeTyped_(qc_AcqFifo& f, const qcAcqFifo::CompleteArgs& args) {
  B b = (f.*DriverCompletion<B>::slot)(args);
  if (args.makeLocal() && b.isBound() && !b.isLocal()) return moveLocal(b);
  return b;
}

template qcPelBuffer<unsigned char> qf_completeTyped_(qc_AcqFifo&, const qcAcqFifo::CompleteArgs&);
template qcPelBuffer<unsigned short> qf_completeTyped_(qc_AcqFifo&, const qcAcqFifo::CompleteArgs&);
template qcPelBuffer<qcPackedRGB16Pel> qf_completeTyped_(qc_AcqFifo&, const qcAcqFifo::CompleteArgs&);
template qcPelBuffer<qcPackedRGB32Pel> qf_completeTyped_(qc_AcqFifo&, const qcAcqFifo::CompleteArgs&);
template qc3PlanePelBuffer qf_completeTyped_(qc_AcqFifo&, const qcAcqFifo::CompleteArgs&);

// ---- typed FIFOs --------------------------------------------------------------------

qcGreyAcqFifo::qcGreyAcqFifo(const qcVideoFormat& fmt, qcFrameGrabber& fg)
    : qc_TypedAcqFifo(fmt, fg, qcBasicFifoTraits::defTraits()) {}
qcGreyAcqFifo::qcGreyAcqFifo(qc_AcqFifo& driverFifo) : qc_TypedAcqFifo(driverFifo) {}
qcGreyAcqFifo::~qcGreyAcqFifo() = default;
qcPtrHandle<qcAcqImage> qcGreyAcqFifo::completeAcq(const CompleteArgs& args) {
  return qcPtrHandle<qcAcqImage>(new qcAcqImage(complete(args), qeImageFormat_Grey8));
}

qcGrey16AcqFifo::qcGrey16AcqFifo(const qcVideoFormat& fmt, qcFrameGrabber& fg)
    : qc_TypedAcqFifo(fmt, fg, qcBasicFifoTraits::grey16Traits()) {}
qcGrey16AcqFifo::qcGrey16AcqFifo(qc_AcqFifo& driverFifo) : qc_TypedAcqFifo(driverFifo) {}
qcGrey16AcqFifo::~qcGrey16AcqFifo() = default;
// The 16-bit completion exists, so the image is the completed one (an empty
// image here would drop an acquisition that the FIFO holds).
qcPtrHandle<qcAcqImage> qcGrey16AcqFifo::completeAcq(const CompleteArgs& args) {
  return qcPtrHandle<qcAcqImage>(new qcAcqImage(complete(args), qeImageFormat_Grey16));
}

qcRGB16AcqFifo::qcRGB16AcqFifo(const qcVideoFormat& fmt, qcFrameGrabber& fg)
    : qc_TypedAcqFifo(fmt, fg, qcBasicFifoTraits::rgb16Traits()) {}
qcRGB16AcqFifo::qcRGB16AcqFifo(qc_AcqFifo& driverFifo) : qc_TypedAcqFifo(driverFifo) {}
qcRGB16AcqFifo::~qcRGB16AcqFifo() = default;
qcPtrHandle<qcAcqImage> qcRGB16AcqFifo::completeAcq(const CompleteArgs& args) {
  return qcPtrHandle<qcAcqImage>(new qcAcqImage(complete(args)));
}

qcRGB32AcqFifo::qcRGB32AcqFifo(const qcVideoFormat& fmt, qcFrameGrabber& fg)
    : qc_TypedAcqFifo(fmt, fg, qcBasicFifoTraits::rgb32Traits()) {}
qcRGB32AcqFifo::qcRGB32AcqFifo(qc_AcqFifo& driverFifo) : qc_TypedAcqFifo(driverFifo) {}
qcRGB32AcqFifo::~qcRGB32AcqFifo() = default;
qcPtrHandle<qcAcqImage> qcRGB32AcqFifo::completeAcq(const CompleteArgs& args) {
  return qcPtrHandle<qcAcqImage>(new qcAcqImage(complete(args)));
}

qc3PlaneAcqFifo::qc3PlaneAcqFifo(const qcVideoFormat& fmt, qcFrameGrabber& fg)
    : qc_TypedAcqFifo(fmt, fg, qcBasicFifoTraits::rgb3PlaneTraits()) {}
qc3PlaneAcqFifo::~qc3PlaneAcqFifo() = default;
qcPtrHandle<qcAcqImage> qc3PlaneAcqFifo::completeAcq(const CompleteArgs& args) { return fifo().completeAcq(args); }

// ---- standard FIFOs -----------------------------------------------------------------

#define QRN_STD_FIFO(Std)                                                           \
  Std::Std(const qcVideoFormat& fmt, qcFrameGrabber& fg) : qc_StdAcqFifoPart(&fmt, &fg, fmt, fg) {} \
  Std::~Std() = default;
#define QRN_STD_FIFO_WRAP(Std) \
  Std::Std(qc_AcqFifo& driverFifo) : qc_StdAcqFifoPart(nullptr, nullptr, driverFifo) {}
QRN_STD_FIFO(qcStdGreyAcqFifo)
QRN_STD_FIFO_WRAP(qcStdGreyAcqFifo)
QRN_STD_FIFO(qcStdGrey16AcqFifo)
QRN_STD_FIFO_WRAP(qcStdGrey16AcqFifo)
QRN_STD_FIFO(qcStdRGB16AcqFifo)
QRN_STD_FIFO_WRAP(qcStdRGB16AcqFifo)
QRN_STD_FIFO(qcStdRGB32AcqFifo)
QRN_STD_FIFO_WRAP(qcStdRGB32AcqFifo)
QRN_STD_FIFO(qcStd3PlaneAcqFifo)
#undef QRN_STD_FIFO
#undef QRN_STD_FIFO_WRAP

qcStdAcqFifo::qcStdAcqFifo(const qcVideoFormat& fmt, qcFrameGrabber& fg, qeImageFormat imageFormat)
    : qc_StdAcqFifoPart(&fmt, &fg, fmt, fg, qcBasicFifoTraits::defTraits()), imageFormat_(imageFormat) {}

qcStdAcqFifo::qcStdAcqFifo(qc_AcqFifo& driverFifo, const qcVideoFormat& fmt, qcFrameGrabber& fg,
                           qeImageFormat imageFormat)
    : qc_StdAcqFifoPart(&fmt, &fg, driverFifo), imageFormat_(imageFormat) {}

qcStdAcqFifo::~qcStdAcqFifo() = default;

qcPelBuffer<unsigned char> qcStdAcqFifo::complete(const CompleteArgs& args) {
  return qf_completeTyped_<qcPelBuffer<unsigned char>>(fifo(), args);
}

qcPelBuffer<unsigned char> qcStdAcqFifo::complete(qcAcqFailure* failure, unsigned long* triggerNum, bool makeLocal,
                                                  double maxWait, bool autoStart, qeStartReqStatus* status) {
  return completeOlder_([this](const CompleteArgs& a) { return complete(a); }, failure, triggerNum, makeLocal,
                        maxWait, autoStart, status);
}

qcPelBuffer<unsigned char>* qcStdAcqFifo::baseComplete(const CompleteArgs&) { return new qcPelBuffer<unsigned char>; }

qcPelBuffer<unsigned char>* qcStdAcqFifo::baseComplete(qcAcqFailure*, unsigned long*, bool, double, bool,
                                                       qeStartReqStatus*) {
  return nullptr;
}

qcPtrHandle<qcAcqImage> qcStdAcqFifo::completeAcq(const CompleteArgs& args) { return fifo().completeAcq(args); }
