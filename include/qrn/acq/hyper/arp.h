// Acquisition request packets and the property snapshots they are taken with.
//
// A driver that implements qc_AcqFifo queues one qc_Arp per acquisition.  The
// packet carries the property values the acquisition is to be taken with (a
// shared, reference-counted qc_Properties snapshot), its deadline and
// bookkeeping, and, once acquired, its image.
//
// Snapshots.  The driver owns its qc_Properties objects (typically a few,
// recycled).  A packet that attaches a snapshot adds one to its count and
// removes it again in release(); the packet never deletes a snapshot.  A
// snapshot whose count is 0 is used by no packet and may be changed or
// recycled by the driver.  Packets that share a snapshot were taken with the
// same values (hasSameProps()).
//
// Images.  image(root, rect) gives the packet one reference to the root (the
// driver may keep its own handles); release() drops it; extractImage() hands
// that reference to the caller, who then owns it (adopt it with
// qcPtrHandle<qc_PelRoot> and call qfRelease, or drop it with qfRelease).
//
// Threads: a packet is used by one thread at a time.  The snapshot's count
// and change flags are atomic; its values are the driver's to guard.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <atomic>
#include <cmath>
#include <cstdint>

#include <qrn/acq/hyper/failure.h>
#include <qrn/acq/hyper/prop/propenums.h>
#include <qrn/foundation/geometry.h>
#include <qrn/foundation/handle.h>
#include <qrn/foundation/pelbuffer.h>
#include <qrn/foundation/thread.h>

class qcSyncModel;
class qcPelRootPool;

// Drops one reference to a root (deletes it when that was the last).  Null
// is allowed.
void qfRelease(qc_PelRoot* root);

// A driver-side image package owned by a request packet.  Drivers derive
// their own packages from it.
class qc_PelPackage {
public:
  virtual ~qc_PelPackage() = default;
};

// A counted reference to a pel root pool that does not need the pool's
// definition except where a handle is set or read.  The pool class must
// derive (virtually or not) from qcRepBase; get<P>() must name the class that
// set<P>() was given (qcPelRootPool in drivers).
class qc_PelRootPoolRef {
public:
  // An empty reference.  A copy adds a reference to the same pool;
  // assignment drops the target's reference first; destruction drops this
  // one (deleting the pool when it was the last).
  qc_PelRootPoolRef() noexcept = default;
  qc_PelRootPoolRef(const qc_PelRootPoolRef& o) noexcept : pool_(o.pool_), base_(o.base_) {
    if (base_) base_->addRef_();
  }
  qc_PelRootPoolRef& operator=(const qc_PelRootPoolRef& o) noexcept {
    qc_PelRootPoolRef copy(o);
    std::swap(pool_, copy.pool_);
    std::swap(base_, copy.base_);
    return *this;
  }
  ~qc_PelRootPoolRef() { reset(); }

  // Drops the reference (deleting the pool when it was the last); the
  // reference is empty afterwards.
  void reset() noexcept {
    const qcRepBase* b = base_;
    pool_ = nullptr;
    base_ = nullptr;
    if (b && b->release_()) delete b;
  }
  // Refers to the pool of `h` (adding a reference; an empty handle makes this
  // empty), dropping the previous reference.  P is the pool's class as the
  // handle names it.
  template <class P = qcPelRootPool>
  void set(const qcPtrHandle<P>& h) {
    qc_PelRootPoolRef n;
    if (P* p = h.ptr()) {
      n.pool_ = p;
      n.base_ = static_cast<const qcRepBase*>(p);
      n.base_->addRef_();
    }
    *this = n;
  }
  // A new handle to the pool (empty when there is none); P must be the class
  // that set() was given.
  template <class P = qcPelRootPool>
  qcPtrHandle<P> get() const {
    return qcPtrHandle<P>(static_cast<P*>(pool_));
  }
  // The pool, not counted (null when there is none); only when set() was
  // given a qcPelRootPool handle.
  qcPelRootPool* ptr() const noexcept { return static_cast<qcPelRootPool*>(pool_); }

private:
  void* pool_ = nullptr;  // the P* given to set()
  const qcRepBase* base_ = nullptr;
};

// The property values an acquisition is taken with: plain public fields that
// the driver fills (defaults as the properties' own).
struct qc_PropertyValues {
  static constexpr long kTaps = 4;  // taps of the per-tap values
  double contrast[kTaps] = {0.5, 0.5, 0.5, 0.5};    // per tap, 0 to 1
  double brightness[kTaps] = {0.5, 0.5, 0.5, 0.5};  // per tap, 0 to 1
  long cameraPort = 0;               // camera port of the FIFO, 0 and up
  qc_PelRootPoolRef pelRootPool;     // image storage to acquire into (the pel root pool property's)
  double exposure = 2e-5;            // seconds
  double settlingTime = 0.0;         // seconds
  bool strobeEnable = false;         // strobe pulses on
  double strobePulseDuration = 2e-5; // seconds
  double strobeDelay = 0.0;          // seconds
  bool strobeHigh = true;            // strobe pulse active high
  double cameraBandwidth = 1.0;      // fraction
  bool triggerLowToHigh = true;      // the input line triggers on its rising edge
  double ctiOffset = HUGE_VAL;       // HUGE_VAL: the format's own
  double horizAdjust = HUGE_VAL;     // HUGE_VAL: the format's own
  qcPelRect roi;                     // region of interest, in pels of the format's image
  const qcSyncModel* syncModel = nullptr;  // not owned (models are constants)
  double lightDelay = 0.03;          // seconds
  bool clippingEnable = true;              // pel values clipped to the two limits
  unsigned char clippingLowerLimit = 15;   // lowest pel value kept
  unsigned char clippingUpperLimit = 240;  // highest pel value kept
  bool selectHighGain = false;             // the camera's high gain
  double masterClockFrequency = 32.0;  // MHz
  signed char firstPelOffset = 0;            // offset of a line's first pel, 0 and up
  bool zeroCounterWhenTriggered = false;     // a trigger zeroes the encoder counter
  bool useTestEncoder = false;               // use the board's test encoder
  bool positiveTestEncoderDirection = true;  // the test encoder runs in the positive direction
  bool encoderTriggerEnabled = false;        // the "or" of the next two
  bool xEncoderTriggerEnabled = false;       // the encoder's x channel triggers
  bool yEncoderTriggerEnabled = false;       // the encoder's y channel triggers
  long stepsPerLine = 3;                     // whole encoder steps per line, 1 to 4095
  long step16thsPerLine = 0;                 // and sixteenths of a step, 0 to 15
  long encoderPort = 0;                      // the encoder's port, 0 and up
  long encoderOffset = 0;                    // the encoder's offset (qcEncoderProp::encoderOffset)
  bool positiveAcquireDirection = true;      // acquire in the encoder's positive direction
  bool useSingleChannelEncoder = false;      // the encoder has a single channel
  qe_EncoderResolution encoderResolution = qeEncoderResolution_Default;  // qcEncoderProp::qeEncoderResolution
  long startAcqOnEncoderCount = 0;            // encoder count that starts an acquisition, 0 to 65535
  bool ignoreEncoderBetweenAcquires = false;  // backward counts between acquisitions are ignored
  bool ignoreTooFastEncoder = true;           // ignore a too fast encoder
};

// The shared snapshot: the values, two change flags and the count of packets
// that hold it (all three atomic).  Copying copies the values and the flags;
// the copy starts with count 0.
struct qc_Properties : qc_PropertyValues {
  // Default values, flags clear, count 0.  Copying and assignment copy the
  // values and both flags, never the count (a copy starts at 0, a target
  // keeps its own).
  qc_Properties() = default;
  qc_Properties(const qc_Properties& o);
  qc_Properties& operator=(const qc_Properties& o);

  // Set by the driver when the values differ from the previous snapshot's,
  // and when exactly one property changed.
  std::atomic<bool> hasChanged{false};
  std::atomic<bool> isSinglePropertyChange{false};
  // Packets that hold this snapshot.
  std::atomic<long> refCount{0};
};

// An acquisition request packet: one queued acquisition with its property snapshot and deadline.
class qc_Arp {
public:
  // Deadline 0 s, no snapshot, no image.
  qc_Arp();
  // Asserts that the image, the package and the transform were given up;
  // whatever is left is released (as release() would) so nothing leaks.
  // Packets are not copyable.
  ~qc_Arp();
  qc_Arp(const qc_Arp&) = delete;
  qc_Arp& operator=(const qc_Arp&) = delete;

  // ---- snapshot ---------------------------------------------------------------
  // Attaches a snapshot (adds one to its count; null detaches), detaching the
  // previous one first.
  void properties(qc_Properties* snapshot);
  // The attached snapshot.  A debug assertion without one, which then reads
  // a snapshot of default values.
  const qc_Properties& properties() const;
  // True when a snapshot is attached.
  bool hasProperties() const { return props_ != nullptr; }

  // Contrast and brightness (fractions 0..1) of tap 0 and of tap 1:
  // tapContrast(0), tapContrast(1), tapBrightness(0), tapBrightness(1).
  double contrast() const { return tapContrast(0); }
  double secondContrast() const { return tapContrast(1); }
  double brightness() const { return tapBrightness(0); }
  double secondBrightness() const { return tapBrightness(1); }
  // Tap 0 to 3; a tap of 4 or more (or below 0) is a debug assertion and
  // reads tap 0.
  double tapContrast(long tap) const;
  double tapBrightness(long tap) const;

  // The snapshot's values of the same names (qc_PropertyValues gives units
  // and defaults).  Each reads properties(): without a snapshot, a debug
  // assertion and the default value.  pelRootPool<P>() is a new handle to the
  // pool, P as in qc_PelRootPoolRef::get().
  long cameraPort() const { return properties().cameraPort; }
  template <class P = qcPelRootPool>
  qcPtrHandle<P> pelRootPool() const {
    return properties().pelRootPool.template get<P>();
  }
  double exposure() const { return properties().exposure; }
  double settlingTime() const { return properties().settlingTime; }
  bool strobeEnable() const { return properties().strobeEnable; }
  double strobePulseDuration() const { return properties().strobePulseDuration; }
  double strobeDelay() const { return properties().strobeDelay; }
  bool strobeHigh() const { return properties().strobeHigh; }
  double cameraBandwidth() const { return properties().cameraBandwidth; }
  bool triggerLowToHigh() const { return properties().triggerLowToHigh; }
  double ctiOffset() const { return properties().ctiOffset; }
  double horizAdjust() const { return properties().horizAdjust; }
  const qcPelRect& roi() const { return properties().roi; }
  // The snapshot's sync model; a debug assertion when none is set, which then
  // gives the default sync model.
  const qcSyncModel& syncModel() const;

  // The snapshot's values of the same names, as above
  // (ignoreEncoderBetweenAcquires is qcEncoderProp's
  // ignoreBackwardEncoderCountsBetweenAcquires, useSingleChannelEncoder its
  // useSingleChannel).
  double lightDelay() const { return properties().lightDelay; }
  bool clippingEnable() const { return properties().clippingEnable; }
  unsigned char clippingLowerLimit() const { return properties().clippingLowerLimit; }
  unsigned char clippingUpperLimit() const { return properties().clippingUpperLimit; }
  bool selectHighGain() const { return properties().selectHighGain; }
  double masterClockFrequency() const { return properties().masterClockFrequency; }
  signed char firstPelOffset() const { return properties().firstPelOffset; }
  bool zeroCounterWhenTriggered() const { return properties().zeroCounterWhenTriggered; }
  bool useTestEncoder() const { return properties().useTestEncoder; }
  bool positiveTestEncoderDirection() const { return properties().positiveTestEncoderDirection; }
  bool encoderTriggerEnabled() const { return properties().encoderTriggerEnabled; }
  bool xEncoderTriggerEnabled() const { return properties().xEncoderTriggerEnabled; }
  bool yEncoderTriggerEnabled() const { return properties().yEncoderTriggerEnabled; }
  long stepsPerLine() const { return properties().stepsPerLine; }
  long step16thsPerLine() const { return properties().step16thsPerLine; }
  long encoderPort() const { return properties().encoderPort; }
  long encoderOffset() const { return properties().encoderOffset; }
  bool positiveAcquireDirection() const { return properties().positiveAcquireDirection; }
  bool useSingleChannelEncoder() const { return properties().useSingleChannelEncoder; }
  qe_EncoderResolution encoderResolution() const { return properties().encoderResolution; }
  long startAcqOnEncoderCount() const { return properties().startAcqOnEncoderCount; }
  bool ignoreEncoderBetweenAcquires() const { return properties().ignoreEncoderBetweenAcquires; }
  bool ignoreTooFastEncoder() const { return properties().ignoreTooFastEncoder; }

  // The snapshot's change flags (qc_Properties): its values differ from the
  // previous snapshot's, and exactly one property changed.
  bool hasChanged() const { return properties().hasChanged.load(); }
  bool isSinglePropertyChange() const { return properties().isSinglePropertyChange.load(); }
  // Clears the snapshot's changed flag; returns false.
  bool resetHasChanged();
  // The snapshot's identity (its address; null without a snapshot).
  const void* preOwnedPropIndex() const { return props_; }
  // True when both packets hold the same (non-null) snapshot.
  bool hasSameProps(const qc_Arp& other) const { return props_ != nullptr && props_ == other.props_; }

  // ---- image --------------------------------------------------------------------
  // Takes one reference to `root` (dropping the one to a previous image) and
  // stores `rect` clipped to the snapshot's region of interest (unclipped,
  // after a debug assertion, without a snapshot).
  void image(qc_PelRoot* root, const qcPelRect& rect);
  // The packet's image (null: none); the packet keeps its reference.
  qc_PelRoot* image() const { return image_; }
  // Returns the root and leaves null in its place; the caller owns the
  // packet's reference.
  qc_PelRoot* extractImage();

  // The part of the image that was acquired, in pels (image(root, rect) sets
  // it; a driver that acquired less, say half a frame, sets it again).
  void completedRoi(const qcPelRect& r) { completedRoi_ = r; }
  const qcPelRect& completedRoi() const { return completedRoi_; }
  // Whether explicitOffset() must be applied to the image (false at
  // construction; release() clears it).
  void needsExplicitOffsetAdjustment(bool v) { needsExplicitOffsetAdjustment_ = v; }
  bool needsExplicitOffsetAdjustment() const { return needsExplicitOffsetAdjustment_; }
  // The offset, in pels, to apply when needsExplicitOffsetAdjustment() is set.
  void explicitOffset(qcPair<long> o) { explicitOffset_ = o; }
  qcPair<long> explicitOffset() const { return explicitOffset_; }
  // The image's transform (empty at construction; release() empties it;
  // the destructor expects it empty).
  void imageXform(const qcPtrHandle_const<qc2XformBase>& x) { imageXform_ = x; }
  const qcPtrHandle_const<qc2XformBase>& imageXform() const { return imageXform_; }
  // The packet owns the package (deleting a previous, different one).
  void ppImage(qc_PelPackage* p);
  qc_PelPackage* ppImage() const { return ppImage_; }

  // ---- bookkeeping ------------------------------------------------------------
  // How the acquisition failed (none at construction); the first form lets
  // the driver set flags in place.
  qcAcqFailure& failure() { return failure_; }
  const qcAcqFailure& failure() const { return failure_; }
  void failure(const qcAcqFailure& f) { failure_ = f; }
  // The values the driver reports in the acquisition's qcAcquireInfo (0 at
  // construction): the trigger number, the application's tag, and the time
  // stamp in the driver's clock.
  void trigNum(unsigned long n) { trigNum_ = n; }
  unsigned long trigNum() const { return trigNum_; }
  void appTag(unsigned long t) { appTag_ = t; }
  unsigned long appTag() const { return appTag_; }
  void timeStamp(std::int64_t t) { timeStamp_ = t; }
  std::int64_t timeStamp() const { return timeStamp_; }
  // The acquisition's deadline (0 s at construction; the driver sets it).
  qcDeadline& deadline() { return deadline_; }
  const qcDeadline& deadline() const { return deadline_; }

  // Drops the image and the package; when a snapshot is attached, detaches
  // it, clears needsExplicitOffsetAdjustment and empties the transform.
  // Nothing happens on a fresh packet.
  void release();

private:
  qcAcqFailure failure_;
  qc_Properties* props_ = nullptr;
  qcDeadline deadline_{0.0};
  unsigned long trigNum_ = 0;
  unsigned long appTag_ = 0;
  std::int64_t timeStamp_ = 0;
  qc_PelPackage* ppImage_ = nullptr;
  qc_PelRoot* image_ = nullptr;
  qcPelRect completedRoi_;
  bool needsExplicitOffsetAdjustment_ = false;
  qcPair<long> explicitOffset_;
  qcPtrHandle_const<qc2XformBase> imageXform_;
};

QRN_API_END
