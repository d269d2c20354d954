// Line-scan properties of an acquisition FIFO: the first pel offset, the
// encoder counter control and the encoder.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <qrn/acq/hyper/prop/propbase.h>

// Offset of the first pixel of a line, 0 or more (default 0).  Hook first:
// the FIFO's firstPelOffset() hears each value first.
class qcFirstPelOffsetProp : public qc_PersistentProp<qcFirstPelOffsetProp> {
public:
  // A negative first pel offset.
  QC_EXCEPTION(BadParams, qcException, 0x100009A5);

  // No offset: the line starts at its first pixel.
  static constexpr signed char defaultDelayOffset = 0;

  // A free property holding offset 0.
  qcFirstPelOffsetProp() = default;
  // A free property holding `offset`.  Throws BadParams below 0.
  explicit qcFirstPelOffsetProp(signed char offset);
  // A copy holds src's offset and is free.  Assignment passes src's value
  // through the setter (an associated target's FIFO hears it) and keeps the
  // target's association.
  qcFirstPelOffsetProp(const qcFirstPelOffsetProp&) = default;
  qcFirstPelOffsetProp& operator=(const qcFirstPelOffsetProp& src);

  // The offset of the first pixel of a line, 0 to 127.  The setter throws
  // BadParams below 0; an associated FIFO hears the value before it is
  // stored, and a FIFO exception passes and leaves the value unchanged.
  signed char firstPelOffset() const { return firstPelOffset_; }
  void firstPelOffset(signed char offset);

private:
  QC_PERSISTENT_PROPERTY(qcFirstPelOffsetProp, "acq/hyper/prop/lsprops", 0);
  signed char firstPelOffset_ = defaultDelayOffset;
};

// The encoder counter: whether a trigger zeroes it (default no), zeroing it
// now, and reading it.  Hook first.
class qcEncoderControlProp : public qc_PersistentProp<qcEncoderControlProp> {
public:
  // A trigger leaves the counter alone.
  static constexpr bool defaultZeroCounterWhenTriggered = false;

  // A free property: a trigger does not zero the counter.
  qcEncoderControlProp() = default;
  // A copy holds src's flag and is free.  Assignment passes src's flag
  // through the setter (an associated target's FIFO hears it) and keeps the
  // target's association.
  qcEncoderControlProp(const qcEncoderControlProp&) = default;
  qcEncoderControlProp& operator=(const qcEncoderControlProp& src);

  // Whether a trigger zeroes the encoder counter.  An associated FIFO hears
  // the value before it is stored; a FIFO exception passes and leaves it
  // unchanged.
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
  // Steps per line, an encoder port or a start count out of range.
  QC_EXCEPTION(BadParams, qcException, 0x100009A6);
  // numEncoderPort() asked of a free property.
  QC_EXCEPTION(NoFrameGrabber, qcException, 0x100009A7);

  // The encoder resolution (qe_EncoderResolution, 32 bits): the framework
  // names only the default; other values are the driver's and pass unchanged.
  using qeEncoderResolution = qe_EncoderResolution;
  using enum qe_EncoderResolution;

  // The values of a default-constructed property: the real encoder (the test
  // encoder counting in the positive direction), no encoder triggering,
  // 3 steps and 0 sixteenths per line, encoder port 0, offset 0, acquiring
  // in the positive direction, both channels, the default resolution,
  // starting at count 0, backward counts between acquisitions not ignored,
  // a too-fast encoder ignored.
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

  // A free property holding the defaults.
  qcEncoderProp() = default;
  // A copy holds src's values and is free.
  qcEncoderProp(const qcEncoderProp&) = default;
  // Through the setters, in field order.  The target keeps its association;
  // a refused value (an encoder port the target's FIFO lacks) or a FIFO
  // exception stops the assignment where it occurs.
  qcEncoderProp& operator=(const qcEncoderProp& src);

  // Each setter below checks its value, passes it to an associated FIFO,
  // then stores it; a FIFO exception passes and leaves the value unchanged.

  // Whether the board's test encoder stands in for the real one, and the
  // direction it counts in (true: positive).
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

  // The encoder port number (0-based).  The setter throws BadParams below 0,
  // or, when associated and numEncoderPort() is not 0, not below
  // numEncoderPort().
  long encoderPort() const { return encoderPort_; }
  void encoderPort(long port);
  // The FIFO's number of encoder ports.  Throws NoFrameGrabber when free.
  long numEncoderPort() const;

  // The encoder offset (any value; not checked).
  long encoderOffset() const { return encoderOffset_; }
  void encoderOffset(long offset);
  // The encoder direction in which lines are acquired (true: positive).
  bool positiveAcquireDirection() const { return positiveAcquireDirection_; }
  void positiveAcquireDirection(bool on);
  // Whether the encoder is read on a single channel.
  bool useSingleChannel() const { return useSingleChannel_; }
  void useSingleChannel(bool on);
  // The encoder resolution (any value; not checked).
  qeEncoderResolution encoderResolution() const { return encoderResolution_; }
  void encoderResolution(qeEncoderResolution r);
  // The encoder count at which acquisition starts, 0 to 65535.  The setter
  // throws BadParams outside that range.
  long startAcqOnEncoderCount() const { return startAcqOnEncoderCount_; }
  void startAcqOnEncoderCount(long count);
  // Whether encoder counts in the backward direction between acquisitions
  // are ignored.
  bool ignoreBackwardEncoderCountsBetweenAcquires() const { return ignoreBackwardEncoderCountsBetweenAcquires_; }
  void ignoreBackwardEncoderCountsBetweenAcquires(bool on);
  // Whether a too-fast encoder is ignored.
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

QRN_API_END
