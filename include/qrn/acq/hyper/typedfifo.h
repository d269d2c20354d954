// Typed acquisition FIFOs, their standard variants, and the FIFO traits.
//
// Applications never hold a bare qcAcqFifo: they hold a typed FIFO, which
// fixes the kind of pixel buffer its completions return:
//
//   class               buffer returned                 driver completion  imageFormat()
//   qcGreyAcqFifo       qcPelBuffer<unsigned char>      complete8          1 (grey 8-bit)
//   qcGrey16AcqFifo     qcPelBuffer<unsigned short>     complete16         2 (grey 16-bit)
//   qcRGB16AcqFifo      qcPelBuffer<qcPackedRGB16Pel>   completeRGB16      3 (packed RGB16)
//   qcRGB32AcqFifo      qcPelBuffer<qcPackedRGB32Pel>   completeRGB32      4 (packed RGB32)
//   qc3PlaneAcqFifo     qc3PlanePelBuffer               complete3Plane     12 (three planes)
//
// Each has a standard variant (qcStdGreyAcqFifo, ...) that also owns the
// FIFO's property set (a qcAnalogAcqProps, associated with the driver FIFO
// at construction) and remembers the video format and the frame grabber it
// was made for.  qcStdAcqFifo is the generic standard FIFO for any image
// format.  Video formats make the standard FIFOs (qcStdVideoFormat's
// factories, <qrn/acq/format/vidfmt.h>); the caller owns what a factory
// returns, usually through qcPtrHandle:
//
//   qcPtrHandle<qcStdGreyAcqFifo> fifo(fmt.newAcqFifo(fg));
//   fifo->start(1);
//   qcPelBuffer<unsigned char> img = fifo->complete(qcAcqFifo::CompleteArgs().maxWait(1.0));
//   if (img.isBound()) ...
//
// Completion.  complete(args) calls the driver completion of the table, which
// waits up to args.maxWait() seconds; when args.makeLocal() is true and the
// image's storage is not local to this process, the image is moved into
// local memory (qfPelMove) before it is returned.  A completion that gets no
// image returns an unbound buffer (baseComplete: null) and throws nothing of
// its own; the driver's exceptions pass.  Per-acquisition failures travel in
// the qcAcquireInfo that args.acquireInfo() points at (older forms: the
// qcAcqFailure and trigger number pointers).
//
// Lifetimes.  A standard FIFO refers to the caller's format and grabber
// without copying them: both must outlive it.  The FIFO owns its driver FIFO
// and its property set.
//
// Threads: one thread at a time uses a FIFO and its properties (no lock);
// the driver calls the callbacks handed to it on threads of its own.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <cmath>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>

#include <qrn/acq/format/vidfmt.h>
#include <qrn/acq/hyper/acqfifo.h>
#include <qrn/acq/hyper/framegrabber.h>
#include <qrn/acq/hyper/prop/acqprops.h>
#include <qrn/acq/hyper/prop/propquery.h>
#include <qrn/foundation/misc.h>
#include <qrn/foundation/pelbuffer.h>

// ============================================================================
// FIFO traits
// ============================================================================

// Which kind of driver FIFO to make: the factory slot of qc_FrameGrabber that
// makes it (null: none named) and the kind of pixels.  A value class; two
// traits are equal when both fields are equal.  The shared instances are
// built on first use and returned by reference; any thread may ask for them.
class qcBasicFifoTraits {
public:
  // The kind of pixels.  The numbers are fixed.
  enum qePixelFormat : int {
    qePixelFormat_RGB16 = 0,      // packed 5-6-5
    qePixelFormat_RGB32 = 1,      // packed 8-8-8-8
    qePixelFormat_Grey8 = 2,      // 8-bit grey
    qePixelFormat_Grey16 = 3,     // 16-bit grey
    qePixelFormat_RGB3Plane = 4,  // three 8-bit planes
    qePixelFormat_RGB1Plane = 5,  // one 8-bit plane of a colour image
  };

  // A factory slot of the driver object, called virtually (a driver's
  // override runs).
  using Maker = qc_AcqFifo* (qc_FrameGrabber::*)(const qc_VideoFormat&);

  // Traits naming a factory slot (null: none) and a kind of pixels.  Drivers
  // may make their own; the shared instances below cover the framework's.
  constexpr qcBasicFifoTraits(Maker maker, qePixelFormat pixelFormat) : maker_(maker), pixelFormat_(pixelFormat) {}

  // The factory slot (null when none is named), and the kind of pixels.
  Maker maker() const { return maker_; }
  qePixelFormat pixelFormat() const { return pixelFormat_; }

  // For drivers: makes a FIFO with the maker slot of `fg`.  Throws
  // qcVideoFormat::NotSupported when no maker is named; the slot's own
  // exceptions (NotSupported for a format it does not serve) pass.  The
  // caller owns the result.
  qc_AcqFifo* make(qc_FrameGrabber& fg, const qc_VideoFormat& fmt) const;

  // Equal when both the factory slot and the kind of pixels are equal.
  bool operator==(const qcBasicFifoTraits& o) const { return maker_ == o.maker_ && pixelFormat_ == o.pixelFormat_; }
  bool operator!=(const qcBasicFifoTraits& o) const { return !(*this == o); }

  // The shared instances:
  static const qcBasicFifoTraits& defTraits();        // grey 8-bit, no maker
  static const qcBasicFifoTraits& grey8Traits();      // grey 8-bit, stdGreyAcqFifo
  static const qcBasicFifoTraits& grey16Traits();     // grey 16-bit, stdGrey16AcqFifo
  static const qcBasicFifoTraits& rgb3PlaneTraits();  // three planes, no maker
  static const qcBasicFifoTraits& rgb1PlaneTraits();  // one colour plane, no maker
  static const qcBasicFifoTraits& rgb16Traits();      // packed RGB16, stdRGB16AcqFifo
  static const qcBasicFifoTraits& rgb32Traits();      // packed RGB32, stdRGB32AcqFifo

private:
  Maker maker_;
  qePixelFormat pixelFormat_;
};

// ============================================================================
// Typed completion, shared by every typed FIFO
// ============================================================================

// Calls the driver completion of buffer kind B on `f` (complete8 for
// qcPelBuffer<unsigned char>, ..., complete3Plane for qc3PlanePelBuffer) and,
// when args.makeLocal() is true, moves a bound image whose storage is not
// local into local memory (every kind, three-plane images included).
template <class B>
QRN_EXPORT B qf_completeTyped_(qc_AcqFifo& f, const qcAcqFifo::CompleteArgs& args);

// The completions of one buffer kind B.  Not used on its own: the typed FIFOs
// below derive from it.
template <class B>
class qc_TypedAcqFifo : public qcAcqFifo {
public:
  // The kind of pixel buffer the completions return.
  using Buffer = B;

  // Completes the oldest acquisition (see the top of this file).
  B complete(const CompleteArgs& args) { return qf_completeTyped_<B>(fifo(), args); }
  // The older form: completes with arguments built from the parameters and a
  // local qcAcquireInfo, then writes the acquisition's failure and trigger
  // number through the pointers that are not null.
  B complete(qcAcqFailure* failure, unsigned long* triggerNum, bool makeLocal = true, double maxWait = HUGE_VAL,
             bool autoStart = false, qeStartReqStatus* status = nullptr) {
    return completeOlder_([this](const CompleteArgs& a) { return complete(a); }, failure, triggerNum, makeLocal,
                          maxWait, autoStart, status);
  }
  // As complete(args), but a new heap buffer (the caller owns it), or null
  // when no image came.
  B* baseComplete(const CompleteArgs& args) {
    B b = complete(args);
    return b.isBound() ? new B(std::move(b)) : nullptr;
  }
  // The older form of baseComplete: a new heap buffer (the caller owns it) or
  // null, with the failure and trigger number written as complete's older
  // form does.
  B* baseComplete(qcAcqFailure* failure, unsigned long* triggerNum, bool makeLocal = true, double maxWait = HUGE_VAL,
                  bool autoStart = false, qeStartReqStatus* status = nullptr) {
    return completeOlder_([this](const CompleteArgs& a) { return baseComplete(a); }, failure, triggerNum, makeLocal,
                          maxWait, autoStart, status);
  }

protected:
  // Makes the driver FIFO as qcAcqFifo's constructor does (same exceptions).
  qc_TypedAcqFifo(const qcVideoFormat& fmt, qcFrameGrabber& fg, const qcBasicFifoTraits& traits)
      : qcAcqFifo(fmt, fg, traits) {}
  // Wraps a driver FIFO made elsewhere with new and owns it from here on.
  explicit qc_TypedAcqFifo(qc_AcqFifo& driverFifo) : qcAcqFifo(driverFifo) {}

private:
  qc_PelBuffer* baseCompleteCovar(const CompleteArgs& args) final { return baseComplete(args); }
};

// ============================================================================
// Typed FIFOs
// ============================================================================
// Each is abstract (the property set, format and grabber come from the
// standard variant or a deriving driver).  The constructor from (format,
// grabber) makes the driver FIFO with the grabber's driver object and the
// traits named below: it throws qcAcqFifo::CouldNotCreate when the grabber
// has no driver object, and the driver's qcVideoFormat::NotSupported passes.
// The constructor from a qc_AcqFifo& wraps a driver FIFO made elsewhere with
// new and takes ownership of it (also when the constructor throws).

// 8-bit grey images; made with qcBasicFifoTraits::defTraits().
class qcGreyAcqFifo : public qc_TypedAcqFifo<qcPelBuffer<unsigned char>> {
public:
  // The completed image as a qcAcqImage of format 1.
  qcPtrHandle<qcAcqImage> completeAcq(const CompleteArgs& args) override;

  // Always qeImageFormat_Grey8 (8-bit grey, 1).
  qeImageFormat imageFormat() const override { return qeImageFormat_Grey8; }

  // Deletes the driver FIFO (see ~qcAcqFifo).
  ~qcGreyAcqFifo() override;

protected:
  // For the standard variant and deriving drivers: make the driver FIFO with
  // the grabber, or wrap one made elsewhere (see the notes above).
  qcGreyAcqFifo(const qcVideoFormat& fmt, qcFrameGrabber& fg);
  explicit qcGreyAcqFifo(qc_AcqFifo& driverFifo);
};

// 16-bit grey images; made with qcBasicFifoTraits::grey16Traits().
class qcGrey16AcqFifo : public qc_TypedAcqFifo<qcPelBuffer<unsigned short>> {
public:
  // The completed image as a qcAcqImage of format 2.
  qcPtrHandle<qcAcqImage> completeAcq(const CompleteArgs& args) override;

  // Always qeImageFormat_Grey16 (16-bit grey, 2).
  qeImageFormat imageFormat() const override { return qeImageFormat_Grey16; }

  // Deletes the driver FIFO (see ~qcAcqFifo).
  ~qcGrey16AcqFifo() override;

protected:
  // For the standard variant and deriving drivers: make the driver FIFO with
  // the grabber, or wrap one made elsewhere (see the notes above).
  qcGrey16AcqFifo(const qcVideoFormat& fmt, qcFrameGrabber& fg);
  explicit qcGrey16AcqFifo(qc_AcqFifo& driverFifo);
};

// Packed RGB 5-6-5 images; made with qcBasicFifoTraits::rgb16Traits().
class qcRGB16AcqFifo : public qc_TypedAcqFifo<qcPelBuffer<qcPackedRGB16Pel>> {
public:
  // The completed image as a qcAcqImage of format 3.
  qcPtrHandle<qcAcqImage> completeAcq(const CompleteArgs& args) override;

  // Always qeImageFormat_PackedRGB16 (packed RGB16, 3).
  qeImageFormat imageFormat() const override { return qeImageFormat_PackedRGB16; }

  // Deletes the driver FIFO (see ~qcAcqFifo).
  ~qcRGB16AcqFifo() override;

protected:
  // For the standard variant and deriving drivers: make the driver FIFO with
  // the grabber, or wrap one made elsewhere (see the notes above).
  qcRGB16AcqFifo(const qcVideoFormat& fmt, qcFrameGrabber& fg);
  explicit qcRGB16AcqFifo(qc_AcqFifo& driverFifo);
};

// Packed RGB 8-8-8-8 images; made with qcBasicFifoTraits::rgb32Traits().
class qcRGB32AcqFifo : public qc_TypedAcqFifo<qcPelBuffer<qcPackedRGB32Pel>> {
public:
  // The completed image as a qcAcqImage of format 4.
  qcPtrHandle<qcAcqImage> completeAcq(const CompleteArgs& args) override;

  // Always qeImageFormat_PackedRGB32 (packed RGB32, 4).
  qeImageFormat imageFormat() const override { return qeImageFormat_PackedRGB32; }

  // Deletes the driver FIFO (see ~qcAcqFifo).
  ~qcRGB32AcqFifo() override;

protected:
  // For the standard variant and deriving drivers: make the driver FIFO with
  // the grabber, or wrap one made elsewhere (see the notes above).
  qcRGB32AcqFifo(const qcVideoFormat& fmt, qcFrameGrabber& fg);
  explicit qcRGB32AcqFifo(qc_AcqFifo& driverFifo);
};

// Three-plane colour images; made with qcBasicFifoTraits::rgb3PlaneTraits().
class qc3PlaneAcqFifo : public qc_TypedAcqFifo<qc3PlanePelBuffer> {
public:
  // The driver's completeAcq.
  qcPtrHandle<qcAcqImage> completeAcq(const CompleteArgs& args) override;

  // Always qeImageFormat_3Plane (three planes, 12).
  qeImageFormat imageFormat() const override { return qeImageFormat_3Plane; }

  // Deletes the driver FIFO (see ~qcAcqFifo).
  ~qc3PlaneAcqFifo() override;

protected:
  // For the standard variant and deriving drivers: makes the driver FIFO
  // with the grabber (see the notes above).
  qc3PlaneAcqFifo(const qcVideoFormat& fmt, qcFrameGrabber& fg);
};

// ============================================================================
// Standard FIFOs
// ============================================================================

// What a standard FIFO adds to its base: the property set (a new
// qcAnalogAcqProps, owned, associated with the driver FIFO at construction),
// the video format and the frame grabber.
template <class Base>
class qc_StdAcqFifoPart : public Base {
public:
  // The format and grabber given at construction.  A FIFO built from a
  // qc_AcqFifo& has none: asking for them fires a debug assertion and throws
  // std::logic_error.
  const qcVideoFormat& videoFormat() const override {
    if (!format_) noContext_("video format");
    return *format_;
  }
  // The grabber given at construction; the same rule.
  qcFrameGrabber& frameGrabber() const override {
    if (!grabber_) noContext_("frame grabber");
    return *grabber_;
  }
  // Frees and deletes the property set (the driver FIFO goes after it).
  ~qc_StdAcqFifoPart() override { props_->clearFifoAssociation(); }

protected:
  // Builds the base from baseArgs (which makes or wraps the driver FIFO),
  // creates the property set, stores format and grabber (either may be
  // null), then associates the set with the driver FIFO.
  template <class... A>
  qc_StdAcqFifoPart(const qcVideoFormat* fmt, qcFrameGrabber* fg, A&&... baseArgs)
      : Base(std::forward<A>(baseArgs)...),
        props_(std::make_unique<qcAnalogAcqProps>()),
        format_(fmt),
        grabber_(fg) {
    props_->fifo(this->fifo());
  }

private:
  qcAcqProps& propertiesCovar() override { return *props_; }
  [[noreturn]] static void noContext_(const char* what) {
    qstd_assert_(__FILE__, __LINE__, "FIFO built from a driver FIFO has no format or grabber");
    throw std::logic_error(std::string("qcAcqFifo: no ") + what + " (FIFO built from a driver FIFO)");
  }

  std::unique_ptr<qcAnalogAcqProps> props_;
  const qcVideoFormat* format_;
  qcFrameGrabber* grabber_;
};

// The standard typed FIFOs.  (format, grabber): see the typed FIFOs above;
// also throws what associating the property set with the driver FIFO throws.
class qcStdGreyAcqFifo : public qc_StdAcqFifoPart<qcGreyAcqFifo> {
public:
  // The first makes the driver FIFO for the format on the grabber (both must
  // outlive this FIFO); the second wraps a driver FIFO made elsewhere with new
  // (owned from here on; videoFormat() and frameGrabber() then throw
  // std::logic_error).  Either way the property set is made and associated.
  // The destructor frees the property set, then the driver FIFO.
  qcStdGreyAcqFifo(const qcVideoFormat& fmt, qcFrameGrabber& fg);
  explicit qcStdGreyAcqFifo(qc_AcqFifo& driverFifo);
  ~qcStdGreyAcqFifo() override;
};

// A standard FIFO of 16-bit grey images.
class qcStdGrey16AcqFifo : public qc_StdAcqFifoPart<qcGrey16AcqFifo> {
public:
  // The first makes the driver FIFO for the format on the grabber (both must
  // outlive this FIFO); the second wraps a driver FIFO made elsewhere with new
  // (owned from here on; videoFormat() and frameGrabber() then throw
  // std::logic_error).  Either way the property set is made and associated.
  // The destructor frees the property set, then the driver FIFO.
  qcStdGrey16AcqFifo(const qcVideoFormat& fmt, qcFrameGrabber& fg);
  explicit qcStdGrey16AcqFifo(qc_AcqFifo& driverFifo);
  ~qcStdGrey16AcqFifo() override;
};

// A standard FIFO of packed 16-bit RGB images.
class qcStdRGB16AcqFifo : public qc_StdAcqFifoPart<qcRGB16AcqFifo> {
public:
  // The first makes the driver FIFO for the format on the grabber (both must
  // outlive this FIFO); the second wraps a driver FIFO made elsewhere with new
  // (owned from here on; videoFormat() and frameGrabber() then throw
  // std::logic_error).  Either way the property set is made and associated.
  // The destructor frees the property set, then the driver FIFO.
  qcStdRGB16AcqFifo(const qcVideoFormat& fmt, qcFrameGrabber& fg);
  explicit qcStdRGB16AcqFifo(qc_AcqFifo& driverFifo);
  ~qcStdRGB16AcqFifo() override;
};

// A standard FIFO of packed 32-bit RGB images.
class qcStdRGB32AcqFifo : public qc_StdAcqFifoPart<qcRGB32AcqFifo> {
public:
  // The first makes the driver FIFO for the format on the grabber (both must
  // outlive this FIFO); the second wraps a driver FIFO made elsewhere with new
  // (owned from here on; videoFormat() and frameGrabber() then throw
  // std::logic_error).  Either way the property set is made and associated.
  // The destructor frees the property set, then the driver FIFO.
  qcStdRGB32AcqFifo(const qcVideoFormat& fmt, qcFrameGrabber& fg);
  explicit qcStdRGB32AcqFifo(qc_AcqFifo& driverFifo);
  ~qcStdRGB32AcqFifo() override;
};

// A standard FIFO of three-plane colour images.
class qcStd3PlaneAcqFifo : public qc_StdAcqFifoPart<qc3PlaneAcqFifo> {
public:
  // Makes the driver FIFO for the format on the grabber (both must outlive
  // this FIFO) and the associated property set.  The destructor frees the
  // property set, then the driver FIFO.
  qcStd3PlaneAcqFifo(const qcVideoFormat& fmt, qcFrameGrabber& fg);
  ~qcStd3PlaneAcqFifo() override;
};

// The generic standard FIFO, for any image format (qcStdVideoFormat::
// newAcqFifoEx makes it for the formats without a typed FIFO).  Its images
// come from completeAcq, which delivers them in whatever format the driver
// FIFO has, or from complete, which uses the driver's 8-bit completion.
class qcStdAcqFifo : public qc_StdAcqFifoPart<qcAcqFifo> {
public:
  // Makes the driver FIFO with qcBasicFifoTraits::defTraits() (errors as for
  // the typed FIFOs).
  qcStdAcqFifo(const qcVideoFormat& fmt, qcFrameGrabber& fg, qeImageFormat imageFormat);
  // Wraps a driver FIFO made elsewhere with new (owned from here on, also
  // when the constructor throws).
  qcStdAcqFifo(qc_AcqFifo& driverFifo, const qcVideoFormat& fmt, qcFrameGrabber& fg, qeImageFormat imageFormat);
  ~qcStdAcqFifo() override;

  // The driver's 8-bit completion, moved into local memory as the typed
  // FIFOs do.
  qcPelBuffer<unsigned char> complete(const CompleteArgs& args);
  qcPelBuffer<unsigned char> complete(qcAcqFailure* failure, unsigned long* triggerNum, bool makeLocal = true,
                                      double maxWait = HUGE_VAL, bool autoStart = false,
                                      qeStartReqStatus* status = nullptr);
  // No images come this way: the first form returns a new unbound buffer
  // (owned by the caller), the older form null; neither asks the driver.
  qcPelBuffer<unsigned char>* baseComplete(const CompleteArgs& args);
  qcPelBuffer<unsigned char>* baseComplete(qcAcqFailure* failure, unsigned long* triggerNum, bool makeLocal = true,
                                           double maxWait = HUGE_VAL, bool autoStart = false,
                                           qeStartReqStatus* status = nullptr);

  // The driver's completeAcq.
  qcPtrHandle<qcAcqImage> completeAcq(const CompleteArgs& args) override;
  // The image format given at construction.
  qeImageFormat imageFormat() const override { return imageFormat_; }

private:
  qc_PelBuffer* baseCompleteCovar(const CompleteArgs& args) override { return baseComplete(args); }

  qeImageFormat imageFormat_;
};

// The completions are compiled once, in the library.
extern template qcPelBuffer<unsigned char> qf_completeTyped_(qc_AcqFifo&, const qcAcqFifo::CompleteArgs&);
extern template qcPelBuffer<unsigned short> qf_completeTyped_(qc_AcqFifo&, const qcAcqFifo::CompleteArgs&);
extern template qcPelBuffer<qcPackedRGB16Pel> qf_completeTyped_(qc_AcqFifo&, const qcAcqFifo::CompleteArgs&);
extern template qcPelBuffer<qcPackedRGB32Pel> qf_completeTyped_(qc_AcqFifo&, const qcAcqFifo::CompleteArgs&);
extern template qc3PlanePelBuffer qf_completeTyped_(qc_AcqFifo&, const qcAcqFifo::CompleteArgs&);

QRN_API_END
