// Multi-channel FIFOs: one driver FIFO made of two to four driver FIFOs of
// the same frame grabber, one per camera channel, so that one trigger
// acquires every channel.
//
// Channel 0 is the master; channels 1 and up are its slaves (trigger model
// "Slave", master channel 0) on the camera ports following channel 0's.  A
// completion takes one image from every channel and combines them:
//   complete8                  channel 1's image (the green channel of an RGB
//                              camera);
//   completeRGB16/RGB32        channels 0, 1, 2 packed as red, green, blue;
//   complete3Plane             channels 0, 1, 2 as the planes red, green, blue.
// A failure of any channel fails the whole completion: every image is
// dropped and the first failure (channel 0, then the channels in order) is
// reported in the acquire info.  So do colour images of different regions
// (size or offset: a region of interest set while the trigger's acquisitions
// ran reaches the channels one by one): an abnormal failure, never an
// exception out of the completion.
//
// How the qc_AcqFifo operations reach the channels:
//   channel 0 only      start, the states and counts, prepare, isPrepared,
//                       trigger, waitForStateChange, the six callback setters,
//                       strobeEnable, syncModel, triggerEnable(), triggerLowToHigh,
//                       the light operations, lutEntries, defaultPelPool to
//                       actualSyncModel, propertyQuery, initializePropertyQuery,
//                       initSettingDataBase, getValidSampleSettings;
//   channel 0, kept     triggerEnable(bool), triggerModel (whether the model
//                       lets software start acquisitions);
//   one channel by tap  setContrast, setBrightness, setLut: channel[tap] gets
//                       the value for its tap 0;
//   every channel, with flush, cameraPort (channel i: port + i), exposure,
//   the trigger held    settlingTime, pelRootPool, strobePulseDuration, strobeHigh,
//                       strobeDelay, ctiOffset, horizAdjust, roi, the clipping
//                       operations, firstPelOffset;
//   ignored             timeout, triggerMaster, the alpha operations,
//                       selectHighGain, masterClockFrequency, the update
//                       operations of the whole properties, the encoder
//                       operations.
// Holding the trigger: while the master's trigger model cannot start by
// software (a hardware trigger) and its trigger is enabled, the master's
// trigger is disabled around an operation on every channel, so that it never
// fires while the channels have different settings.  It is enabled again
// also when a channel throws (the exception passes; channels before the one
// that threw keep the new value).
//
// The operations not listed keep qc_AcqFifo's defaults (setPropertyValue,
// the default values of slots 99 to 103, the hardware image pool, ...); a
// driver that wants them forwarded overrides them.  A driver derives from
// this class and provides the region-of-interest mode (roiMode,
// isRoiModeSupported) and the encoder settings (useSingleChannel to
// ignoreTooFastEncoder).
//
// Threads: no lock of its own; one thread at a time uses the FIFO, and the
// channel FIFOs and their driver serialize the hardware.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <array>
#include <memory>

#include <qrn/acq/hyper/acqfifo.h>

class qc_FrameGrabber;

// A driver FIFO spread over several channels of a board (an RGB camera on three channels).
class qc_MultiAcqFifo : public qc_AcqFifo {
public:
  // The most channels a multi-channel FIFO has (the least is 2).
  static constexpr long kMaxChannels = 4;

  // Makes numChannels channels with grabber->newAcqFifo(fmt,
  // qcBasicFifoTraits::rgb1PlaneTraits()), each with its trigger disabled;
  // gives channel 0 camera port 0; makes channels 1 and up slaves of channel
  // 0 ("Slave" model) on camera port i; enables channel 0's trigger.
  // numChannels outside 2..4 fires a debug assertion and is taken as the
  // nearest of 2 and 4.  A null grabber throws qcAcqFifo::CouldNotCreate;
  // the grabber's exceptions pass (the channels made so far are deleted).
  qc_MultiAcqFifo(const qc_VideoFormat& fmt, qc_FrameGrabber* grabber, long numChannels);
  // Deletes every channel FIFO (the slaves first).
  ~qc_MultiAcqFifo() override;

  // The number of channels, 2..kMaxChannels (fixed at construction).
  long numChannels() const { return numChannels_; }

  // ---- channel 0 only ---------------------------------------------------------
  bool start(unsigned long count) override;
  // True; the flags are left alone.
  bool isValid(qc_ProblemFlags& flags) const override;

  bool isIdle() const override;
  bool isWaiting() const override;
  bool isAcquiring() const override;
  bool isMovable() const override;
  bool isComplete() const override;
  long pendingAcqs() const override;
  long completedAcqs() const override;
  long availableAcqs() const override;
  bool prepare(std::string* message, const qcDeadline& deadline) override;
  bool isPrepared() const override;
  void trigger() override;
  void waitForStateChange(qc_Resource* resource) override;
  void completeCallback(qcPtrHandle<qcCallback> cb) override;
  void completeInfoCallback(InfoCallback cb) override;
  void movePartCallback(qcPtrHandle<qcCallback> cb) override;
  void movePartInfoCallback(InfoCallback cb) override;
  void overrunCallback(qcPtrHandle<qcCallback> cb) override;
  void overrunInfoCallback(InfoCallback cb) override;
  void strobeEnable(bool on) override;
  void syncModel(const qcSyncModel& model) override;
  bool triggerEnable() const override;
  void triggerLowToHigh(bool on) override;
  void lightCallback(qcPtrHandle<qcCallback1<const void*>> cb) override;
  void lightEnable(bool on) override;
  void darkLevel(double fraction) override;
  void lightPower(double fraction) override;
  void lightDelay(double seconds) override;
  void auxLightPort(long port) override;
  void auxDarkLevel(double fraction) override;
  void auxLightPower(double fraction) override;
  bool lightsOff() override;
  long lutEntries() const override;
  qcPtrHandle<qcPelRootPool> defaultPelPool() const override;
  const qcSyncModel& defaultSyncModel() const override;
  double actualCtiOffset() const override;
  double actualHorizAdjust() const override;
  qcPelRect actualRoi() const override;
  const qcSyncModel& actualSyncModel() const override;
  qcAcqPropertyQuery& propertyQuery() override;
  void initializePropertyQuery(qcAcqProps* props) override;
  void initSettingDataBase(qcSettingDataBase& db) const override;
  const std::vector<long>* getValidSampleSettings() const override;

  // ---- channel 0, then kept here ---------------------------------------------
  void triggerEnable(bool on) override;
  void triggerModel(const qc_TriggerModel& model) override;

  // ---- one channel, by tap -----------------------------------------------------
  // channel[tap] gets (value, 0).  A tap outside 0..numChannels-1 fires a
  // debug assertion and changes nothing.
  void setContrast(double contrast, long tap) override;
  void setBrightness(double brightness, long tap) override;
  // channel[tap] gets (table, entries, 0); the same tap rule.
  void setLut(const unsigned char* table, long entries, long tap) override;

  // ---- every channel, with the trigger held -------------------------------------
  void flush() override;
  // Channel i gets port + i.
  void cameraPort(long port) override;

  void exposure(double seconds) override;
  void settlingTime(double seconds) override;
  void pelRootPool(qcPtrHandle<qcPelRootPool> pool) override;
  void strobePulseDuration(double seconds) override;
  void strobeHigh(bool activeHigh) override;
  void strobeDelay(double seconds) override;
  void ctiOffset(double seconds) override;
  void horizAdjust(double seconds) override;
  void roi(const qcPelRect& r) override;
  void clippingEnable(bool on) override;
  void clippingLowerLimit(unsigned char v) override;
  void clippingUpperLimit(unsigned char v) override;
  void firstPelOffset(signed char v) override;

  // ---- ignored ----------------------------------------------------------------------
  void timeout(double seconds) override;
  void triggerMaster(qc_AcqFifo* master) override;
  void alphaEnable(bool on) override;
  void alphaSource(qe_AlphaSource source) override;
  void alphaByte(unsigned char v) override;
  void selectHighGain(bool on) override;
  void masterClockFrequency(double megahertz) override;
  void update(qcCdcCameraCalibrationProp& p) override;
  void update(qcReadoutDirectionProp& p) override;
  void update(qcSampleProp& p) override;
  void update(qcCameraTestProp& p) override;
  void update(qcOffsetClampProp& p) override;
  void update(qcTriggerFilterProp& p) override;
  void zeroCounterWhenTriggered(bool on) override;
  void useTestEncoder(bool on) override;
  void positiveTestEncoderDirection(bool on) override;
  void encoderTriggerEnabled(bool x, bool y) override;
  void stepsPerLine(long steps, long sixteenths) override;
  void encoderPort(long port) override;
  void encoderOffset(long v) override;
  void positiveAcquireDirection(bool on) override;
  void zeroCounter() override;

  // ---- answers of the FIFO itself -------------------------------------------------
  long numEncoderPort() const override { return 0; }
  long encoderTriggerLatency() const override { return 0; }
  long currentEncoderCount() override { return 0; }
  long numCameraPort() const override { return 1; }
  long numTaps() const override { return numChannels_; }

  // ---- completions ------------------------------------------------------------------
  // Channel 1's image; unbound when the completion failed.
  qcPelBuffer<unsigned char> complete8(const CompleteArgs& args) override;
  // Channels 0, 1, 2 packed (alpha 0); unbound when the completion failed.
  // On a FIFO of two channels these are refused before any channel is
  // completed: a debug assertion, an abnormal failure in the acquire info
  // ("needs three channels") and an unbound buffer; the acquisitions stay
  // queued.
  qcPelBuffer<qcPackedRGB16Pel> completeRGB16(const CompleteArgs& args) override;
  qcPelBuffer<qcPackedRGB32Pel> completeRGB32(const CompleteArgs& args) override;
  // Channels 0, 1, 2 as the planes of an RGB image; the same rules.
  qc3PlanePelBuffer complete3Plane(const CompleteArgs& args) override;

protected:
  // Channel i (0..numChannels-1), for deriving drivers.
  qc_AcqFifo& channel(long i) const { return *channels_[static_cast<std::size_t>(i)]; }

private:
  // One 8-bit image per channel.
  using Buffers = std::array<qcPelBuffer<unsigned char>, kMaxChannels>;

  // Completes every channel into `buffers` (see the top of this file); true
  // when the completion failed (every buffer then unbound).
  bool completeRaw(const CompleteArgs& args, Buffers& buffers);
  // False (with the refusal reported in args' acquire info) when the FIFO
  // has fewer than three channels.
  bool colorAllowed_(const CompleteArgs& args) const;
  // True when channels 0, 1 and 2 caught the same region (size and offset);
  // otherwise an abnormal failure in args' acquire info, every buffer
  // unbound, false.
  static bool combinable_(const CompleteArgs& args, Buffers& buffers);
  // Runs op on every channel in order, with the master's trigger held.
  template <class Op>
  void onEveryChannel_(Op op);
  // The channel of a tap, or null (after a debug assertion) for a bad tap.
  qc_AcqFifo* channelOfTap_(long tap) const;

  std::array<std::unique_ptr<qc_AcqFifo>, kMaxChannels> channels_;
  long numChannels_ = 0;
  bool masterCanStart_ = true;
  bool triggerEnabled_ = true;
};

QRN_API_END
