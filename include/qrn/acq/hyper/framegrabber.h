// Frame grabbers: acquisition boards as the application sees them.
//
// qcFrameGrabber is a thin public handle.  A board driver supplies a board
// object that is at the same time a qcBoard (the foundation's board list)
// and a qcFrameGrabber, and an implementation of the driver interface
// qc_FrameGrabber, which the grabber creates lazily on first use.
//
//   for (long i = 0; i < qcFrameGrabber::count(); ++i) {
//     qcFrameGrabber& fg = qcFrameGrabber::get(i);
//     if (fg.isSupported(fmt)) ...
//   }
//
// Threads: creating the driver object is guarded by qcMutex::global(), so
// concurrent first uses create one object.  Nothing else is locked here: the
// driver decides what may run concurrently.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <atomic>
#include <memory>
#include <string>

#include <qrn/acq/format/vidfmt.h>

class qc_AcqFifo;
class qc_FGDisplay;
class qcBasicFifoTraits;
class qcBoard;

// The driver interface of a frame grabber.  Operations are virtual and kept
// in this order (slot order); the framework's defaults are neutral, and
// factory slots that a driver does not serve throw
// qcVideoFormat::NotSupported.  A driver must provide numChannels().
class qc_FrameGrabber {
public:
  // Number of independent acquisition channels of the board.
  virtual long numChannels() const = 0;

  // Destroyed by the grabber that owns it (see ~qcFrameGrabber).
  virtual ~qc_FrameGrabber();

  // Factories of driver FIFOs, one per kind of FIFO.  The caller owns the
  // returned FIFO.  Defaults throw qcVideoFormat::NotSupported.
  virtual qc_AcqFifo* stdGreyAcqFifo(const qc_VideoFormat& fmt);
  virtual qc_AcqFifo* stdGrey16AcqFifo(const qc_VideoFormat& fmt);
  virtual qc_AcqFifo* dualTapGreyAcqFifo(const qc_VideoFormat& fmt);
  virtual qc_AcqFifo* digitalGreyAcqFifo(const qc_VideoFormat& fmt);
  virtual qc_AcqFifo* lineScanGreyAcqFifo(const qc_VideoFormat& fmt);
  virtual qc_AcqFifo* stdRGB16AcqFifo(const qc_VideoFormat& fmt);
  virtual qc_AcqFifo* stdRGB32AcqFifo(const qc_VideoFormat& fmt);
  // A FIFO delivering the given internal image type (qe_pelType numbering).
  virtual qc_AcqFifo* newAcqFifo(const qc_VideoFormat& fmt, long internalImageType);
  // A FIFO of the kind that the traits name.
  virtual qc_AcqFifo* newAcqFifo(const qc_VideoFormat& fmt, const qcBasicFifoTraits& traits);

  // Camera ports usable with the format (default 0).
  virtual long numCameraPort(const qc_VideoFormat& fmt) const;
  // Default: when isSupported(fmt.internal(true), -1), numCameraPort of the
  // internal format; otherwise 0.
  virtual long numCameraPort(const qcVideoFormat& fmt) const;

  // A display attached to the board; default throws qcVideoFormat::NotSupported.
  virtual qc_FGDisplay* display(const qc_VideoFormat& fmt);
  // Readies the board (default: nothing).
  virtual void prepare() const;
  // Initializes a light controller board (default false; not called here).
  virtual bool initLightBoard();
  // Whether the board can acquire the format (default false).
  virtual bool isSupported(const qc_VideoFormat& fmt) const;
  // Whether it can acquire the format as the internal image type: types
  // other than 0 (8-bit grey) and -1 (unspecified) give false by default,
  // those two ask isSupported(fmt).
  virtual bool isSupported(const qc_VideoFormat& fmt, long imageType) const;
  // Whether formats read from camera configuration files work (default false).
  virtual bool supportsCCFs() const;

  // Whether the board supports the format for legacy use
  // (qcVideoFormat::isSupportedForLegacy asks).  Default false; the
  // simulated board and the camera driver answer as isSupported(fmt).
  virtual bool isSupportedForLegacy(const qc_VideoFormat& fmt) const;
  // The identifier of the board's camera/vision module (default -2: none).
  virtual long readCvmId() const;
  // Passes a disconnect request (on or off) to the board; what it does is
  // the driver's (default: nothing).
  virtual void disconnect(bool on);
  // A text that identifies this board among all boards (default empty).
  virtual std::string getUniqueId() const;

  // Turns the driver's optimum move-part mode on or off; what it changes in
  // the timing of move-part events is the driver's (default: nothing).
  virtual void optimumMovePartEnable(bool on);

protected:
  // Only drivers make driver objects; the copy operations copy nothing (the
  // class has no data) and are there for drivers' own copyable objects.
  qc_FrameGrabber() = default;
  qc_FrameGrabber(const qc_FrameGrabber&) = default;
  qc_FrameGrabber& operator=(const qc_FrameGrabber&) = default;
};

// The public frame grabber.  Concrete grabbers are board objects of a driver
// (also qcBoard); the application reaches them through count() and get().
class qcFrameGrabber {
public:
  // Whether this board can be shared between processes (default false).
  virtual bool isMultiProcessAccessSupported() const;
  // Deletes the driver object only when multi-process access is on;
  // otherwise the driver object lives on with the process.  Copies share
  // the driver object: it is deleted once, when the last of them goes after
  // one with multi-process access on went.
  virtual ~qcFrameGrabber();

  // The number of boards of the board list that are frame grabbers.
  static long count();
  // The i-th frame grabber (from 0, in board order).  Throws
  // qcBoard::BadParams when there are not that many.
  static qcFrameGrabber& get(long i);

  // The driver object, created on first use (under qcMutex::global()).  A
  // board whose creation gives null fires a debug assertion; the result is
  // then null.  Exceptions of the driver's creation pass.
  qc_FrameGrabber* internal();

  // The queries below answer for a missing driver object as stated.  Unless
  // multi-process access is on, each of them closes the window in which
  // enableMultiProcessAccess(true) is still possible.
  long numChannels();  // the driver's numChannels(); 0 without a driver object
  // 0 unless the format is allowed on this board (registry configuration,
  // below); otherwise the driver's answer.
  long numCameraPort(const qcVideoFormat& fmt);
  // Whether the board can acquire fmt as image format f.  False without a
  // driver object or when the board's configuration does not allow the
  // format; a qcVideoFormat::NotFound (an alias to a missing format) gives
  // false; other exceptions pass.
  bool isSupportedEx(const qcVideoFormat& fmt, qeImageFormat f);
  // isSupportedEx(fmt, 8-bit grey) || isSupportedEx(fmt, raw 8-bit).
  bool isSupported(const qcVideoFormat& fmt);

  bool supportsCCFs();         // the driver's supportsCCFs(); false without a driver object
  long cvmId();                // the driver's readCvmId(); -2 (none) without a driver object
  void disconnect(bool on);    // the driver's disconnect(on), only when a driver object exists; never creates one
  std::string getUniqueId();   // the driver's getUniqueId(); empty without a driver object

  // Turns multi-process access on or off.  False when the board does not
  // support it, or when turning it on is no longer allowed (the driver has
  // not allowed it, or the grabber was already used); otherwise true.
  bool enableMultiProcessAccess(bool on);

  // Whether multi-process access is on; and whether turning it on is still
  // allowed (the driver allowed it and no query has used the grabber since).
  // Safe to read from any thread.
  bool multiProcessAccess() const { return multiProcessAccess_.load(std::memory_order_relaxed); }
  bool multiProcessAccessAllowed() const { return multiProcessAccessAllowed_.load(std::memory_order_relaxed); }

protected:
  // Board drivers derive their board objects; the driver object is created
  // on first use (createInternal()).
  qcFrameGrabber() = default;
  // A driver that has its driver object at hand passes it here.
  explicit qcFrameGrabber(qc_FrameGrabber* internal);
  // Member copy (the driver object is shared, not duplicated; see the
  // destructor).
  qcFrameGrabber(const qcFrameGrabber& o);
  qcFrameGrabber& operator=(const qcFrameGrabber& o);

  // Creates the board's driver object (called once, under the global mutex).
  virtual qc_FrameGrabber* createInternal() = 0;

  // Board drivers open (or close) the window for multi-process access.
  void multiProcessAccessAllowed(bool on) { multiProcessAccessAllowed_.store(on, std::memory_order_relaxed); }

  // Whether the format is allowed on this board: the 32-bit value "limitFmt"
  // of the registry key "SOFTWARE\\Quorin\\ORB\\utconfig\\board<bdIdx>", when
  // set, limits the board to the format named by the string "format0"; then
  // the board's hardware configuration (qcHWConfig) decides.  Reads the
  // registry on every call.
  bool isFmtAllowed_(const qcVideoFormat& fmt);

private:
  // Clears multiProcessAccessAllowed while multi-process access is off.
  void noteUse_();
  // The driver object if it exists; never creates it.
  qc_FrameGrabber* existing_() const { return internal_.load(std::memory_order_acquire); }

  // The flags are atomic only so that queries from several threads (each
  // clearing multiProcessAccessAllowed) do not race; they are not a lock.
  std::atomic<qc_FrameGrabber*> internal_{nullptr};
  // The one owner of the driver object, shared by copies (set with
  // internal_, under qcMutex::global() once the grabber exists).
  struct Owner_;
  std::shared_ptr<Owner_> owner_;
  std::atomic<bool> multiProcessAccess_{false};
  std::atomic<bool> multiProcessAccessAllowed_{false};
};

QRN_API_END
