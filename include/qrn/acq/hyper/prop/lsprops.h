// Line-scan properties of an acquisition FIFO: the first pel offset, the
// encoder counter control and the encoder.
#pragma once

#include <qrn/acq/hyper/prop/propbase.h>

// Offset of the first pixel of a line, 0 or more (default 0).  Hook first:
// the FIFO's firstPelOffset() hears each value first.
class qcFirstPelOffsetProp : public qc_PersistentProp<qcFirstPelOffsetProp> {
public:
  QC_EXCEPTION(BadParams, qcException, 0x100009A5);

  static constexpr signed char defaultDelayOffset = 0;

  qcFirstPelOffsetProp() = default;
  // Throws BadParams below 0.
  explicit qcFirstPelOffsetProp(signed char offset);
  qcFirstPelOffsetProp(const qcFirstPelOffsetProp&) = default;
  qcFirstPelOffsetProp& operator=(const qcFirstPelOffsetProp& src);  // through the setter

  signed char firstPelOffset() const { return firstPelOffset_; }
  // Throws BadParams below 0; FIFO errors pass.
  void firstPelOffset(signed char offset);

private:
  QC_PERSISTENT_PROPERTY(qcFirstPelOffsetProp, "acq/hyper/prop/lsprops", 0);
  signed char firstPelOffset_ = defaultDelayOffset;
};

// The encoder counter: whether a trigger zeroes it (default no), zeroing it
// now, and reading it.  Hook first.
class qcEncoderControlProp : public qc_PersistentProp<qcEncoderControlProp> {
public:
  static constexpr bool defaultZeroCounterWhenTriggered = false;

  qcEncoderControlProp() = default;
  qcEncoderControlProp(const qcEncoderControlProp&) = default;
  qcEncoderControlProp& operator=(const qcEncoderControlProp& src);  // through the setter

  bool zeroCounterWhenTriggered() const { return zeroCounterWhenTriggered_; }
  void zeroCounterWhenTriggered(bool on);
  // The FIFO's zeroCounter() when associated; else nothing.
  void zeroCounter();
  // The FIFO's currentEncoderCount() when associated; else 0.
  long currentEncoderCount() const;

private:
  QC_PERSISTENT_PROPERTY(qcEncoderControlProp, "acq/hyper/prop/lsprops", 0);
  bool zeroCounterWhenTriggered_ = defaultZeroCounterWhenTriggered;
};

// A quadrature encoder driving line acquisition.  Hook first: each setter
// checks, passes the value to the FIFO operation of the same meaning, then
// stores it.  Archive version 5; versions 0 to 4 are still read (fields a
// version lacks keep their values).
class qcEncoderProp : public qc_PersistentProp<qcEncoderProp> {
public:
  QC_EXCEPTION(BadParams, qcException, 0x100009A6);
  QC_EXCEPTION(NoFrameGrabber, qcException, 0x100009A7);

  using qeEncoderResolution = qe_EncoderResolution;
  using enum qe_EncoderResolution;

  static constexpr bool defaultUseTestEncoder = false;
  static constexpr bool defaultPositiveTestEncoderDirection = true;
  static constexpr bool defaultXEncoderTriggerEnabled = false;
  static constexpr bool defaultYEncoderTriggerEnabled = false;
  static constexpr long defaultStepsPerLine = 3;
  static constexpr long defaultStep16thsPerLine = 0;
  static constexpr long defaultEncoderPort = 0;
  static constexpr long defaultEncoderOffset = 0;
  static constexpr bool defaultPositiveAcquireDirection = true;
  static constexpr bool defaultUseSingleChannel = false;
  static constexpr qeEncoderResolution defaultEncoderResolution = qeEncoderResolution_Default;
  static constexpr long defaultStartAcqOnEncoderCount = 0;
  static constexpr bool defaultIgnoreBackwardEncoderCountsBetweenAcquires = false;
  static constexpr bool defaultIgnoreTooFastEncoder = true;

  qcEncoderProp() = default;
  qcEncoderProp(const qcEncoderProp&) = default;
  // Through the setters, in field order.
  qcEncoderProp& operator=(const qcEncoderProp& src);

  bool useTestEncoder() const { return useTestEncoder_; }
  void useTestEncoder(bool on);
  bool positiveTestEncoderDirection() const { return positiveTestEncoderDirection_; }
  void positiveTestEncoderDirection(bool on);

  // Triggering by the x and y channels; encoderTriggerEnabled() is their "or".
  bool encoderTriggerEnabled() const { return encoderTriggerEnabled_; }
  bool xEncoderTriggerEnabled() const { return xEncoderTriggerEnabled_; }
  bool yEncoderTriggerEnabled() const { return yEncoderTriggerEnabled_; }
  void encoderTriggerEnabled(bool x, bool y);

  // Encoder steps per line: whole steps 1 to 4095 and sixteenths 0 to 15,
  // else BadParams.
  long stepsPerLine() const { return stepsPerLine_; }
  long step16thsPerLine() const { return step16thsPerLine_; }
  void stepsPerLine(long steps, long sixteenths);

  // Throws BadParams below 0, or, when associated and numEncoderPort() is not
  // 0, not below numEncoderPort().
  long encoderPort() const { return encoderPort_; }
  void encoderPort(long port);
  // The FIFO's number of encoder ports.  Throws NoFrameGrabber when free.
  long numEncoderPort() const;

  long encoderOffset() const { return encoderOffset_; }
  void encoderOffset(long offset);
  bool positiveAcquireDirection() const { return positiveAcquireDirection_; }
  void positiveAcquireDirection(bool on);
  bool useSingleChannel() const { return useSingleChannel_; }
  void useSingleChannel(bool on);
  qeEncoderResolution encoderResolution() const { return encoderResolution_; }
  void encoderResolution(qeEncoderResolution r);
  // Throws BadParams outside 0 to 65535.
  long startAcqOnEncoderCount() const { return startAcqOnEncoderCount_; }
  void startAcqOnEncoderCount(long count);
  bool ignoreBackwardEncoderCountsBetweenAcquires() const { return ignoreBackwardEncoderCountsBetweenAcquires_; }
  void ignoreBackwardEncoderCountsBetweenAcquires(bool on);
  bool ignoreTooFastEncoder() const { return ignoreTooFastEncoder_; }
  void ignoreTooFastEncoder(bool on);

  // The FIFO's answer when associated, else 0.
  long encoderTriggerLatency() const;

private:
  QC_PERSISTENT_PROPERTY(qcEncoderProp, "acq/hyper/prop/lsprops", 5);
  bool useTestEncoder_ = defaultUseTestEncoder;
  bool positiveTestEncoderDirection_ = defaultPositiveTestEncoderDirection;
  bool encoderTriggerEnabled_ = defaultXEncoderTriggerEnabled || defaultYEncoderTriggerEnabled;
  bool xEncoderTriggerEnabled_ = defaultXEncoderTriggerEnabled;
  bool yEncoderTriggerEnabled_ = defaultYEncoderTriggerEnabled;
  long stepsPerLine_ = defaultStepsPerLine;
  long step16thsPerLine_ = defaultStep16thsPerLine;
  long encoderPort_ = defaultEncoderPort;
  long encoderOffset_ = defaultEncoderOffset;
  bool positiveAcquireDirection_ = defaultPositiveAcquireDirection;
  bool useSingleChannel_ = defaultUseSingleChannel;
  qeEncoderResolution encoderResolution_ = defaultEncoderResolution;
  long startAcqOnEncoderCount_ = defaultStartAcqOnEncoderCount;
  bool ignoreBackwardEncoderCountsBetweenAcquires_ = defaultIgnoreBackwardEncoderCountsBetweenAcquires;
  bool ignoreTooFastEncoder_ = defaultIgnoreTooFastEncoder;
};
