#include <qrn/acq/hyper/prop/lsprops.h>

QC_IMPLEMENT_PERSISTENT(qcFirstPelOffsetProp);
QC_IMPLEMENT_PERSISTENT(qcEncoderControlProp);
QC_IMPLEMENT_PERSISTENT(qcEncoderProp);
QC_REGISTER_PERSISTENT(qcFirstPelOffsetProp::BadParams);
QC_REGISTER_PERSISTENT(qcEncoderProp::BadParams);
QC_REGISTER_PERSISTENT(qcEncoderProp::NoFrameGrabber);

// ---- qcFirstPelOffsetProp ---------------------------------------------------------------

qcFirstPelOffsetProp::qcFirstPelOffsetProp(signed char offset) { firstPelOffset(offset); }

qcFirstPelOffsetProp& qcFirstPelOffsetProp::operator=(const qcFirstPelOffsetProp& src) {
  firstPelOffset(src.firstPelOffset_);
  return *this;
}

void qcFirstPelOffsetProp::firstPelOffset(signed char offset) {
  require_(offset >= 0);
  hookSet_(firstPelOffset_, offset, [&](qc_AcqFifo& f) { f.firstPelOffset(offset); });
}

void qcFirstPelOffsetProp::serialize_(qcArchive& ar, unsigned char) {
  signed char offset = firstPelOffset_;
  ar || offset;
  if (ar.isLoading()) firstPelOffset(offset);
}

// ---- qcEncoderControlProp ---------------------------------------------------------------

qcEncoderControlProp& qcEncoderControlProp::operator=(const qcEncoderControlProp& src) {
  zeroCounterWhenTriggered(src.zeroCounterWhenTriggered_);
  return *this;
}

void qcEncoderControlProp::zeroCounterWhenTriggered(bool on) {
  hookSet_(zeroCounterWhenTriggered_, on, [&](qc_AcqFifo& f) { f.zeroCounterWhenTriggered(on); });
}

void qcEncoderControlProp::zeroCounter() {
  if (fifo_) fifo_->zeroCounter();
}

long qcEncoderControlProp::currentEncoderCount() const { return fifo_ ? fifo_->currentEncoderCount() : 0; }

void qcEncoderControlProp::serialize_(qcArchive& ar, unsigned char) {
  bool on = zeroCounterWhenTriggered_;
  ar || on;
  if (ar.isLoading()) zeroCounterWhenTriggered(on);
}

// ---- qcEncoderProp ------------------------------------------------------------------------

qcEncoderProp& qcEncoderProp::operator=(const qcEncoderProp& src) {
  useTestEncoder(src.useTestEncoder_);
  positiveTestEncoderDirection(src.positiveTestEncoderDirection_);
  encoderTriggerEnabled(src.xEncoderTriggerEnabled_, src.yEncoderTriggerEnabled_);
  stepsPerLine(src.stepsPerLine_, src.step16thsPerLine_);
  encoderPort(src.encoderPort_);
  encoderOffset(src.encoderOffset_);
  positiveAcquireDirection(src.positiveAcquireDirection_);
  useSingleChannel(src.useSingleChannel_);
  encoderResolution(src.encoderResolution_);
  startAcqOnEncoderCount(src.startAcqOnEncoderCount_);
  ignoreBackwardEncoderCountsBetweenAcquires(src.ignoreBackwardEncoderCountsBetweenAcquires_);
  ignoreTooFastEncoder(src.ignoreTooFastEncoder_);
  return *this;
}

void qcEncoderProp::useTestEncoder(bool on) {
  hookSet_(useTestEncoder_, on, [&](qc_AcqFifo& f) { f.useTestEncoder(on); });
}

void qcEncoderProp::positiveTestEncoderDirection(bool on) {
  hookSet_(positiveTestEncoderDirection_, on, [&](qc_AcqFifo& f) { f.positiveTestEncoderDirection(on); });
}

void qcEncoderProp::encoderTriggerEnabled(bool x, bool y) {
  if (fifo_) fifo_->encoderTriggerEnabled(x, y);
  xEncoderTriggerEnabled_ = x;
  yEncoderTriggerEnabled_ = y;
  encoderTriggerEnabled_ = x || y;
}

void qcEncoderProp::stepsPerLine(long steps, long sixteenths) {
  require_(steps >= 1 && steps <= 4095 && sixteenths >= 0 && sixteenths <= 15);
  if (fifo_) fifo_->stepsPerLine(steps, sixteenths);
  stepsPerLine_ = steps;
  step16thsPerLine_ = sixteenths;
}

void qcEncoderProp::encoderPort(long port) {
  require_(port >= 0);
  if (fifo_) {
    const long n = fifo_->numEncoderPort();
    require_(n == 0 || port < n);
  }
  hookSet_(encoderPort_, port, [&](qc_AcqFifo& f) { f.encoderPort(port); });
}

long qcEncoderProp::numEncoderPort() const {
  if (!fifo_) throw NoFrameGrabber();
  return fifo_->numEncoderPort();
}

void qcEncoderProp::encoderOffset(long offset) {
  hookSet_(encoderOffset_, offset, [&](qc_AcqFifo& f) { f.encoderOffset(offset); });
}

void qcEncoderProp::positiveAcquireDirection(bool on) {
  hookSet_(positiveAcquireDirection_, on, [&](qc_AcqFifo& f) { f.positiveAcquireDirection(on); });
}

void qcEncoderProp::useSingleChannel(bool on) {
  hookSet_(useSingleChannel_, on, [&](qc_AcqFifo& f) { f.useSingleChannel(on); });
}

void qcEncoderProp::encoderResolution(qeEncoderResolution r) {
  hookSet_(encoderResolution_, r, [&](qc_AcqFifo& f) { f.encoderResolution(r); });
}

void qcEncoderProp::startAcqOnEncoderCount(long count) {
  require_(count >= 0 && count <= 65535);
  hookSet_(startAcqOnEncoderCount_, count, [&](qc_AcqFifo& f) { f.startAcqOnEncoderCount(count); });
}

void qcEncoderProp::ignoreBackwardEncoderCountsBetweenAcquires(bool on) {
  hookSet_(ignoreBackwardEncoderCountsBetweenAcquires_, on,
           [&](qc_AcqFifo& f) { f.ignoreBackwardEncoderCountsBetweenAcquires(on); });
}

void qcEncoderProp::ignoreTooFastEncoder(bool on) {
  hookSet_(ignoreTooFastEncoder_, on, [&](qc_AcqFifo& f) { f.ignoreTooFastEncoder(on); });
}

long qcEncoderProp::encoderTriggerLatency() const { return fifo_ ? fifo_->encoderTriggerLatency() : 0; }

// Version 0: test encoder, direction, trigger flag, steps, port, offset,
// acquire direction.  1 adds the x and y flags after the trigger flag; 2 the
// sixteenths after the steps; 3 single-channel use; 4 resolution (direct),
// start count and ignoring backward counts; 5 ignoring a too-fast encoder.
void qcEncoderProp::serialize_(qcArchive& ar, unsigned char v) {
  bool testEncoder = useTestEncoder_, testDirection = positiveTestEncoderDirection_;
  bool trigger = encoderTriggerEnabled_, x = xEncoderTriggerEnabled_, y = yEncoderTriggerEnabled_;
  long steps = stepsPerLine_, sixteenths = step16thsPerLine_;
  long port = encoderPort_, offset = encoderOffset_;
  bool acquireDirection = positiveAcquireDirection_, singleChannel = useSingleChannel_;
  long resolution = encoderResolution_, startCount = startAcqOnEncoderCount_;
  bool ignoreBackward = ignoreBackwardEncoderCountsBetweenAcquires_, ignoreTooFast = ignoreTooFastEncoder_;

  ar || testEncoder || testDirection || trigger;
  if (v >= 1) ar || x || y;
  ar || steps;
  if (v >= 2) ar || sixteenths;
  ar || port || offset || acquireDirection;
  if (v >= 3) ar || singleChannel;
  if (v >= 4) ar || resolution || startCount || ignoreBackward;
  if (v >= 5) ar || ignoreTooFast;
  if (!ar.isLoading()) return;

  useTestEncoder(testEncoder);
  positiveTestEncoderDirection(testDirection);
  if (v >= 1)
    encoderTriggerEnabled(x, y);
  else
    encoderTriggerEnabled(trigger, false);
  stepsPerLine(steps, v >= 2 ? sixteenths : 0);
  encoderPort(port);
  encoderOffset(offset);
  positiveAcquireDirection(acquireDirection);
  if (v >= 3) useSingleChannel(singleChannel);
  if (v >= 4) {
    encoderResolution_ = static_cast<qeEncoderResolution>(resolution);
    startAcqOnEncoderCount(startCount);
    ignoreBackwardEncoderCountsBetweenAcquires(ignoreBackward);
  }
  if (v >= 5) ignoreTooFastEncoder(ignoreTooFast);
}
