// Free properties: defaults, range checks, value constructors, error numbers,
// comparisons and update-style assignment.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "props_fixture.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(PropDefaults, EveryClassStartsFromItsDefaults) {
  qcAnalogAcqProps p;
  EXPECT_EQ(static_cast<qcExposureProp&>(p).exposure(), 2e-5);
  EXPECT_EQ(p.settlingTime(), 0.0);
  EXPECT_EQ(p.timeout(), HUGE_VAL);
  EXPECT_EQ(p.cameraBandwidth(), 1.0);
  EXPECT_EQ(p.ctiOffset(), HUGE_VAL);
  EXPECT_EQ(p.horizAdjust(), HUGE_VAL);
  EXPECT_FALSE(p.strobeEnable());
  EXPECT_EQ(p.strobePulseDuration(), 2e-5);
  EXPECT_TRUE(p.strobeHigh());
  EXPECT_EQ(p.strobeDelay(), 0.0);
  EXPECT_EQ(p.triggerModel(), qfManualTrigger());
  EXPECT_TRUE(p.triggerEnable());
  EXPECT_TRUE(p.triggerLowToHigh());
  EXPECT_FALSE(p.triggerMaster());
  EXPECT_EQ(p.triggerWidth(), 5e-6);
  EXPECT_EQ(p.triggerPeriod(), 0.0);
  EXPECT_EQ(p.triggerDelay(), 0.0);
  EXPECT_TRUE(p.ignoreMissedTrigger());
  EXPECT_EQ(p.cameraPort(), 0);
  EXPECT_EQ(p.cameraLocation(), nullptr);
  EXPECT_FALSE(p.movePartCallback());
  EXPECT_FALSE(p.completeCallback());
  EXPECT_FALSE(p.overrunCallback());
  EXPECT_FALSE(p.pelRootPool());
  EXPECT_EQ(p.roi(), qcPelRect());
  EXPECT_EQ(p.roiMode(), qcRoiProp::qeRoiMode_Default);
  EXPECT_EQ(p.syncModel(), qcSyncProp::defaultSyncModel());
  EXPECT_EQ(qcSyncProp::defaultSyncModel().index(), 150u);
  EXPECT_FALSE(p.lightCallback());
  EXPECT_FALSE(p.lightEnable());
  EXPECT_EQ(p.brightFieldPowerRatio(), 0.0);
  EXPECT_EQ(p.lightPower(), 0.0);
  EXPECT_EQ(p.lightDelay(), 0.03);
  EXPECT_EQ(p.auxLightPort(), -1);
  EXPECT_EQ(p.auxBrightFieldPowerRatio(), 0.0);
  EXPECT_EQ(p.auxLightPower(), 0.0);
  EXPECT_EQ(p.firstPelOffset(), 0);
  EXPECT_FALSE(p.zeroCounterWhenTriggered());
  EXPECT_FALSE(p.useTestEncoder());
  EXPECT_TRUE(p.positiveTestEncoderDirection());
  EXPECT_FALSE(p.encoderTriggerEnabled());
  EXPECT_EQ(p.stepsPerLine(), 3);
  EXPECT_EQ(p.step16thsPerLine(), 0);
  EXPECT_EQ(p.encoderPort(), 0);
  EXPECT_EQ(p.encoderOffset(), 0);
  EXPECT_TRUE(p.positiveAcquireDirection());
  EXPECT_FALSE(p.useSingleChannel());
  EXPECT_EQ(p.encoderResolution(), 0);
  EXPECT_EQ(p.startAcqOnEncoderCount(), 0);
  EXPECT_FALSE(p.ignoreBackwardEncoderCountsBetweenAcquires());
  EXPECT_TRUE(p.ignoreTooFastEncoder());
  EXPECT_TRUE(p.clippingEnable());
  EXPECT_EQ(p.clippingLowerLimit(), 15);
  EXPECT_EQ(p.clippingUpperLimit(), 240);
  EXPECT_EQ(p.offsetClampMode(), 0);
  EXPECT_FALSE(p.alphaEnable());
  EXPECT_EQ(p.alphaSource(), 9);
  EXPECT_EQ(p.alphaByte(), 0);
  EXPECT_FALSE(p.selectHighGain());
  EXPECT_EQ(p.masterClockFrequency(), 32.0);
  EXPECT_FALSE(p.testPatternEnable());
  EXPECT_EQ(p.testPatternMode(), 0);
  EXPECT_EQ(p.flatFieldValue(), 0);
  EXPECT_EQ(p.sampleX(), 1);
  EXPECT_EQ(p.sampleY(), 1);
  EXPECT_FALSE(p.reverseHorizReadoutEnable());
  EXPECT_FALSE(p.reverseVertReadoutEnable());
  EXPECT_FALSE(p.outlierPelCorrectionEnable());
  EXPECT_EQ(p.outlierPelMaxEdge(), 85);
  EXPECT_EQ(p.outlierPelMaxNoise(), 25);
  EXPECT_TRUE(p.cameraCalibrationEnable());
}

// One checked setter: a value that must be accepted or rejected.
struct RangeCase {
  const char* what;
  std::function<void()> set;  // calls the setter on a fresh property, checks nothing
  bool accepted;
};

template <class Prop, class T>
std::function<void()> setOn(void (Prop::*setter)(T), T v) {
  return [=] {
    Prop p;
    (p.*setter)(v);
  };
}

class RangeTest : public ::testing::TestWithParam<RangeCase> {};

TEST_P(RangeTest, AcceptsOrThrowsBadParams) {
  const RangeCase& c = GetParam();
  if (c.accepted) {
    EXPECT_NO_THROW(c.set()) << c.what;
  } else {
    EXPECT_THROW(
        {
          try {
            c.set();
          } catch (const qcException& e) {
            EXPECT_NE(e.className().find("::BadParams"), std::string::npos) << c.what << ": " << e.className();
            throw;
          }
        },
        qcException)
        << c.what;
  }
}

void (qcExposureProp::*const kExposure)(double) = &qcExposureProp::exposure;
void (qcTimeoutProp::*const kTimeout)(double) = &qcTimeoutProp::timeout;
void (qcCameraBandwidthProp::*const kBandwidth)(double) = &qcCameraBandwidthProp::cameraBandwidth;
void (qcCtiProp::*const kCti)(double) = &qcCtiProp::ctiOffset;
void (qcHorizAdjustProp::*const kHoriz)(double) = &qcHorizAdjustProp::horizAdjust;
void (qcStrobeProp::*const kDuration)(double) = &qcStrobeProp::strobePulseDuration;
void (qcStrobeDelayProp::*const kStrobeDelay)(double) = &qcStrobeDelayProp::strobeDelay;
void (qcTriggerFilterProp::*const kWidth)(double) = &qcTriggerFilterProp::triggerWidth;
void (qcTriggerFilterProp::*const kPeriod)(double) = &qcTriggerFilterProp::triggerPeriod;
void (qcTriggerFilterProp::*const kTrigDelay)(double) = &qcTriggerFilterProp::triggerDelay;
void (qcCameraPortProp::*const kPort)(long) = &qcCameraPortProp::cameraPort;
void (qcLightProp::*const kRatio)(double) = &qcLightProp::brightFieldPowerRatio;
void (qcLightProp::*const kPower)(double) = &qcLightProp::lightPower;
void (qcLightProp::*const kLightDelay)(double) = &qcLightProp::lightDelay;
void (qcLightProp::*const kAuxRatio)(double) = &qcLightProp::auxBrightFieldPowerRatio;
void (qcLightProp::*const kAuxPower)(double) = &qcLightProp::auxLightPower;
void (qcFirstPelOffsetProp::*const kPelOffset)(signed char) = &qcFirstPelOffsetProp::firstPelOffset;
void (qcEncoderProp::*const kEncPort)(long) = &qcEncoderProp::encoderPort;
void (qcEncoderProp::*const kStartCount)(long) = &qcEncoderProp::startAcqOnEncoderCount;
void (qcDigitalCameraControlProp::*const kClock)(double) = &qcDigitalCameraControlProp::masterClockFrequency;
void (qcCdcCameraCalibrationProp::*const kEdge)(unsigned char) = &qcCdcCameraCalibrationProp::outlierPelMaxEdge;
void (qcCdcCameraCalibrationProp::*const kNoise)(unsigned char) = &qcCdcCameraCalibrationProp::outlierPelMaxNoise;

std::function<void()> steps(long s, long sixteenths) {
  return [=] { qcEncoderProp().stepsPerLine(s, sixteenths); };
}
std::function<void()> roi(long x, long y, long w, long h) {
  return [=] { qcRoiProp().roi(qcPelRect(x, y, w, h)); };
}

INSTANTIATE_TEST_SUITE_P(
    Free, RangeTest,
    ::testing::Values(
        RangeCase{"exposure 0", setOn(kExposure, 0.0), true},
        RangeCase{"exposure -1e-9", setOn(kExposure, -1e-9), false},
        RangeCase{"exposure NaN", setOn(kExposure, kNaN), false},
        RangeCase{"exposure +inf", setOn(kExposure, HUGE_VAL), true},
        RangeCase{"timeout 0", setOn(kTimeout, 0.0), true},
        RangeCase{"timeout -1", setOn(kTimeout, -1.0), false},
        RangeCase{"timeout NaN", setOn(kTimeout, kNaN), false},
        RangeCase{"bandwidth 0", setOn(kBandwidth, 0.0), true},
        RangeCase{"bandwidth 1", setOn(kBandwidth, 1.0), true},
        RangeCase{"bandwidth 1.0001", setOn(kBandwidth, 1.0001), false},
        RangeCase{"bandwidth -0.1", setOn(kBandwidth, -0.1), false},
        RangeCase{"bandwidth NaN", setOn(kBandwidth, kNaN), false},
        RangeCase{"cti inf", setOn(kCti, HUGE_VAL), true},
        RangeCase{"cti -1e-6", setOn(kCti, -1e-6), false},
        RangeCase{"horiz 0", setOn(kHoriz, 0.0), true},
        RangeCase{"horiz -1e-6", setOn(kHoriz, -1e-6), false},
        RangeCase{"strobe duration 1e6 free", setOn(kDuration, 1e6), true},
        RangeCase{"strobe duration -1e-9", setOn(kDuration, -1e-9), false},
        RangeCase{"strobe duration NaN", setOn(kDuration, kNaN), false},
        RangeCase{"strobe delay -5 free", setOn(kStrobeDelay, -5.0), true},
        RangeCase{"strobe delay NaN", setOn(kStrobeDelay, kNaN), false},
        RangeCase{"width 2.999e-6", setOn(kWidth, 2.999e-6), true},
        RangeCase{"width 258.001e-6", setOn(kWidth, 258.001e-6), true},
        RangeCase{"width 2.99e-6", setOn(kWidth, 2.99e-6), false},
        RangeCase{"width 258.01e-6", setOn(kWidth, 258.01e-6), false},
        RangeCase{"period 65537.001e-6", setOn(kPeriod, 65537.001e-6), true},
        RangeCase{"period 65537.01e-6", setOn(kPeriod, 65537.01e-6), false},
        RangeCase{"period -1e-9", setOn(kPeriod, -1e-9), false},
        RangeCase{"trigger delay 65535.001e-6", setOn(kTrigDelay, 65535.001e-6), true},
        RangeCase{"trigger delay 65535.01e-6", setOn(kTrigDelay, 65535.01e-6), false},
        RangeCase{"trigger delay NaN", setOn(kTrigDelay, kNaN), false},
        RangeCase{"camera port 0", setOn(kPort, 0L), true},
        RangeCase{"camera port 1000 free", setOn(kPort, 1000L), true},
        RangeCase{"camera port -1", setOn(kPort, -1L), false},
        RangeCase{"light ratio 1", setOn(kRatio, 1.0), true},
        RangeCase{"light ratio 1.5", setOn(kRatio, 1.5), false},
        RangeCase{"light power -0.1", setOn(kPower, -0.1), false},
        RangeCase{"light power NaN", setOn(kPower, kNaN), false},
        RangeCase{"light delay 0", setOn(kLightDelay, 0.0), true},
        RangeCase{"light delay -1", setOn(kLightDelay, -1.0), false},
        RangeCase{"aux ratio 2", setOn(kAuxRatio, 2.0), false},
        RangeCase{"aux power 1", setOn(kAuxPower, 1.0), true},
        RangeCase{"aux power 1.1", setOn(kAuxPower, 1.1), false},
        RangeCase{"first pel offset 127", setOn(kPelOffset, static_cast<signed char>(127)), true},
        RangeCase{"first pel offset -1", setOn(kPelOffset, static_cast<signed char>(-1)), false},
        RangeCase{"encoder port 7 free", setOn(kEncPort, 7L), true},
        RangeCase{"encoder port -1", setOn(kEncPort, -1L), false},
        RangeCase{"start count 65535", setOn(kStartCount, 65535L), true},
        RangeCase{"start count 65536", setOn(kStartCount, 65536L), false},
        RangeCase{"start count -1", setOn(kStartCount, -1L), false},
        RangeCase{"steps 4095/15", steps(4095, 15), true},
        RangeCase{"steps 4096/0", steps(4096, 0), false},
        RangeCase{"steps 1/16", steps(1, 16), false},
        RangeCase{"steps 0/0", steps(0, 0), false},
        RangeCase{"steps 1/-1", steps(1, -1), false},
        RangeCase{"clock 5", setOn(kClock, 5.0), true},
        RangeCase{"clock 40", setOn(kClock, 40.0), true},
        RangeCase{"clock 4.99", setOn(kClock, 4.99), false},
        RangeCase{"clock 40.01", setOn(kClock, 40.01), false},
        RangeCase{"clock NaN", setOn(kClock, kNaN), false},
        RangeCase{"max edge 127", setOn(kEdge, static_cast<unsigned char>(127)), true},
        RangeCase{"max edge 128", setOn(kEdge, static_cast<unsigned char>(128)), false},
        RangeCase{"max noise 255", setOn(kNoise, static_cast<unsigned char>(255)), false},
        RangeCase{"roi 0,0,0,0", roi(0, 0, 0, 0), true},
        RangeCase{"roi x -1", roi(-1, 0, 10, 10), false},
        RangeCase{"roi y -1", roi(0, -1, 10, 10), false},
        RangeCase{"roi width -1", roi(0, 0, -1, 10), false},
        RangeCase{"roi height -1", roi(0, 0, 10, -1), false},
        RangeCase{"roi right edge LONG_MAX", roi(1, 0, LONG_MAX - 1, 1), true},
        RangeCase{"roi right edge overflows", roi(1, 1, LONG_MAX, 1), false},
        RangeCase{"roi bottom edge overflows", roi(0, 2, 1, LONG_MAX - 1), false}));

TEST(PropChecks, RejectedValueLeavesTheStoredValue) {
  qcExposureProp e(0.5);
  EXPECT_THROW(e.exposure(-1), qcExposureProp::BadParams);
  EXPECT_EQ(e.exposure(), 0.5);

  qcEncoderProp enc;
  enc.stepsPerLine(10, 3);
  EXPECT_THROW(enc.stepsPerLine(10, 16), qcEncoderProp::BadParams);
  EXPECT_EQ(enc.stepsPerLine(), 10);
  EXPECT_EQ(enc.step16thsPerLine(), 3);

  qcTriggerFilterProp tf;
  EXPECT_THROW(tf.triggerWidth(1.0), qcTriggerFilterProp::BadParams);
  EXPECT_EQ(tf.triggerWidth(), 5e-6);
}

TEST(PropChecks, ValueConstructorsCheckLikeTheSetters) {
  EXPECT_THROW(qcExposureProp(-1.0), qcExposureProp::BadParams);
  EXPECT_THROW(qcTimeoutProp(-1.0), qcTimeoutProp::BadParams);
  EXPECT_THROW(qcCameraBandwidthProp(2.0), qcCameraBandwidthProp::BadParams);
  EXPECT_THROW(qcCtiProp(-1.0), qcCtiProp::BadParams);
  EXPECT_THROW(qcHorizAdjustProp(-1.0), qcHorizAdjustProp::BadParams);
  EXPECT_THROW(qcStrobeProp(true, -1.0, true), qcStrobeProp::BadParams);
  EXPECT_THROW(qcTriggerFilterProp(5e-6, 0, 1.0, true), qcTriggerFilterProp::BadParams);
  EXPECT_THROW(qcCameraPortProp(-2), qcCameraPortProp::BadParams);
  EXPECT_THROW(qcRoiProp(qcPelRect(0, 0, -1, 1)), qcRoiProp::BadParams);
  EXPECT_THROW(qcFirstPelOffsetProp(static_cast<signed char>(-3)), qcFirstPelOffsetProp::BadParams);
  EXPECT_THROW(qcDigitalCameraControlProp(false, 41.0), qcDigitalCameraControlProp::BadParams);
  EXPECT_THROW(qcCdcCameraCalibrationProp(true, 128, 1, true), qcCdcCameraCalibrationProp::BadParams);
  EXPECT_THROW(qcLightProp(nullptr, true, 0.5, 1.5, 0.0, 0, 0.0, 0.0), qcLightProp::BadParams);

  qcStrobeProp s(true, 1e-3, false);
  EXPECT_TRUE(s.strobeEnable());
  EXPECT_EQ(s.strobePulseDuration(), 1e-3);
  EXPECT_FALSE(s.strobeHigh());
  qcTriggerFilterProp tf(3e-6, 1e-3, 2e-3, false);
  EXPECT_EQ(tf.triggerWidth(), 3e-6);
  EXPECT_EQ(tf.triggerPeriod(), 1e-3);
  EXPECT_EQ(tf.triggerDelay(), 2e-3);
  EXPECT_FALSE(tf.ignoreMissedTrigger());
  qcLightProp l(nullptr, true, 0.25, 0.5, 0.1, 3, 0.75, 1.0);
  EXPECT_TRUE(l.lightEnable());
  EXPECT_EQ(l.darkLevel(), 0.25);
  EXPECT_EQ(l.lightPower(), 0.5);
  EXPECT_EQ(l.lightDelay(), 0.1);
  EXPECT_EQ(l.auxLightPort(), 3);
  EXPECT_EQ(l.auxDarkLevel(), 0.75);
  EXPECT_EQ(l.auxLightPower(), 1.0);
  qcCdcCameraCalibrationProp c(true, 1, 2, false);
  EXPECT_TRUE(c.outlierPelCorrectionEnable());
  EXPECT_EQ(c.outlierPelMaxEdge(), 1);
  EXPECT_EQ(c.outlierPelMaxNoise(), 2);
  EXPECT_FALSE(c.cameraCalibrationEnable());
}

TEST(PropExceptions, ErrorNumbersAndNames) {
  struct Case {
    std::function<void()> raise;
    unsigned long number;
    const char* name;
  };
  const std::vector<Case> cases = {
      {[] { throw qcCameraPortProp::BadParams(); }, 0x10000982, "qcCameraPortProp::BadParams"},
      {[] { throw qcCameraPortProp::NoFrameGrabber(); }, 0x10000983, "qcCameraPortProp::NoFrameGrabber"},
      {[] { throw qcExposureProp::BadParams(); }, 0x10000985, "qcExposureProp::BadParams"},
      {[] { throw qcTimeoutProp::BadParams(); }, 0x10000986, "qcTimeoutProp::BadParams"},
      {[] { throw qcStrobeProp::BadParams(); }, 0x10000987, "qcStrobeProp::BadParams"},
      {[] { throw qcTriggerProp::BadParams(); }, 0x10000988, "qcTriggerProp::BadParams"},
      {[] { throw qcCtiProp::BadParams(); }, 0x10000990, "qcCtiProp::BadParams"},
      {[] { throw qcRoiProp::BadParams(); }, 0x10000991, "qcRoiProp::BadParams"},
      {[] { throw qcCtiProp::NoFrameGrabber(); }, 0x10000992, "qcCtiProp::NoFrameGrabber"},
      {[] { throw qcRoiProp::NoFrameGrabber(); }, 0x10000994, "qcRoiProp::NoFrameGrabber"},
      {[] { throw qcSyncProp::NoFrameGrabber(); }, 0x10000995, "qcSyncProp::NoFrameGrabber"},
      {[] { throw qcLightProp::BadParams(); }, 0x10000996, "qcLightProp::BadParams"},
      {[] { throw qcHorizAdjustProp::BadParams(); }, 0x1000099A, "qcHorizAdjustProp::BadParams"},
      {[] { throw qcHorizAdjustProp::NoFrameGrabber(); }, 0x1000099B, "qcHorizAdjustProp::NoFrameGrabber"},
      {[] { throw qcLightProp::NotSupported(); }, 0x100009A4, "qcLightProp::NotSupported"},
      {[] { throw qcFirstPelOffsetProp::BadParams(); }, 0x100009A5, "qcFirstPelOffsetProp::BadParams"},
      {[] { throw qcEncoderProp::BadParams(); }, 0x100009A6, "qcEncoderProp::BadParams"},
      {[] { throw qcEncoderProp::NoFrameGrabber(); }, 0x100009A7, "qcEncoderProp::NoFrameGrabber"},
      {[] { throw qcDigitalCameraControlProp::BadParams(); }, 0x100009A9, "qcDigitalCameraControlProp::BadParams"},
      {[] { throw qcStrobeDelayProp::BadParams(); }, 0x100009AA, "qcStrobeDelayProp::BadParams"},
      {[] { throw qcTriggerFilterProp::BadParams(); }, 0x100009AD, "qcTriggerFilterProp::BadParams"},
      {[] { throw qcCameraLocationProp::BadParams(); }, 0x100009AE, "qcCameraLocationProp::BadParams"},
      {[] { throw qcCdcCameraCalibrationProp::BadParams(); }, 0x100009C2, "qcCdcCameraCalibrationProp::BadParams"},
      {[] { throw qcPelRootPoolProp::BadParams(); }, 0x100009C3, "qcPelRootPoolProp::BadParams"},
      {[] { throw qcCameraBandwidthProp::BadParams(); }, 0x100009C4, "qcCameraBandwidthProp::BadParams"},
  };
  for (const Case& c : cases) {
    try {
      c.raise();
      ADD_FAILURE() << "nothing thrown";
    } catch (const qcException& e) {
      EXPECT_EQ(e.errorNumber(), c.number) << c.name;
      EXPECT_EQ(e.className(), c.name);
      // Registered for archives under the qualified name.
      EXPECT_NE(qc_Instantiator::find(c.name), nullptr) << c.name;
    }
  }
}

TEST(PropExceptions, ArchiveRoundTripAndUnknownVersion) {
  qcExposureProp::BadParams e;
  qcException* in = &e;
  std::string bytes = propsWrite([&](qcArchive& ar) { qcPersistent::serializePointer(ar, in); });
  std::stringstream ss(bytes);
  qcArchive ar(ss, qcArchive::load);
  qcException* out = nullptr;
  qcPersistent::serializePointer(ar, out);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(out->errorNumber(), 0x10000985u);
  delete out;

  qcTimeoutProp::BadParams b;
  std::string v1 = propsWrite([](qcArchive& a) {
    unsigned char v = 1;
    a || v;
  });
  EXPECT_THROW(propsLoad(b, v1), qcArchive::UnknownVersion);
}

TEST(PropCompare, UpdateStyleClassesCompareFieldByField) {
  qcTriggerFilterProp a, b;
  EXPECT_TRUE(a == b);
  b.triggerDelay(1e-3);
  EXPECT_TRUE(a != b);
  EXPECT_TRUE(b == b);

  qcCameraTestProp t1, t2(true, qcCameraTestProp::TestPatternType{3}, 7);
  EXPECT_NE(t1, t2);
  t1 = t2;
  EXPECT_EQ(t1, t2);

  qcSampleProp s1, s2(2, 1);
  EXPECT_NE(s1, s2);
  s2.sampleX(1);
  EXPECT_EQ(s1, s2);

  qcReadoutDirectionProp r1, r2(false, true);
  EXPECT_NE(r1, r2);
  r1.reverseVertReadoutEnable(true);
  EXPECT_EQ(r1, r2);

  qcCdcCameraCalibrationProp c1, c2;
  c2.cameraCalibrationEnable(false);
  EXPECT_NE(c1, c2);
  c1 = c2;
  EXPECT_EQ(c1, c2);
}

TEST(PropCopy, CopiesAreFreeAndKeepValues) {
  qcRecordingAcqFifo drv;
  qcExposureProp e;
  e.fifo(drv);
  e.exposure(0.25);
  qcExposureProp copy(e);
  EXPECT_EQ(copy.exposure(), 0.25);
  EXPECT_EQ(copy.fifoPtr_(), nullptr);
  drv.clearCalls();
  copy.exposure(0.5);
  EXPECT_TRUE(drv.calls().empty());
  e.clearFifoAssociation();
}

TEST(PropLight, LightsOffOnAFreePropertyZeroesBothPowers) {
  qcLightProp l;
  l.lightPower(0.5);
  l.auxLightPower(0.75);
  EXPECT_FALSE(l.lightsOff());
  EXPECT_EQ(l.lightPower(), 0.0);
  EXPECT_EQ(l.auxLightPower(), 0.0);
}

TEST(PropLight, DarkLevelAndRatioAreOneValue) {
  qcLightProp l;
  l.darkLevel(0.3);
  EXPECT_EQ(l.brightFieldPowerRatio(), 0.3);
  l.brightFieldPowerRatio(0.4);
  EXPECT_EQ(l.darkLevel(), 0.4);
  l.auxDarkLevel(0.6);
  EXPECT_EQ(l.auxBrightFieldPowerRatio(), 0.6);
  EXPECT_NO_THROW(l.auxLightPort(-100));
}

TEST(PropRoi, FreeSupportsOnlyTheDefaultMode) {
  qcRoiProp r;
  EXPECT_TRUE(r.isModeSupported(qcRoiProp::qeRoiMode_Default));
  EXPECT_FALSE(r.isModeSupported(static_cast<qcRoiProp::Mode>(1)));
  EXPECT_NO_THROW(r.roiMode(static_cast<qcRoiProp::Mode>(0)));
  EXPECT_THROW(r.roiMode(static_cast<qcRoiProp::Mode>(1)), qcRoiProp::BadParams);
  EXPECT_EQ(r.roiMode(), 0);
}

TEST(PropFree, FifoQueriesThrowNoFrameGrabber) {
  EXPECT_THROW(qcCtiProp().actualCtiOffset(), qcCtiProp::NoFrameGrabber);
  EXPECT_THROW(qcHorizAdjustProp().actualHorizAdjust(), qcHorizAdjustProp::NoFrameGrabber);
  EXPECT_THROW(qcRoiProp().actualRoi(), qcRoiProp::NoFrameGrabber);
  EXPECT_THROW(qcSyncProp().actualSyncModel(), qcSyncProp::NoFrameGrabber);
  EXPECT_THROW(qcCameraPortProp().numCameraPort(), qcCameraPortProp::NoFrameGrabber);
  EXPECT_THROW(qcEncoderProp().numEncoderPort(), qcEncoderProp::NoFrameGrabber);
  EXPECT_EQ(qcEncoderProp().encoderTriggerLatency(), 0);
  EXPECT_EQ(qcEncoderControlProp().currentEncoderCount(), 0);
  EXPECT_NO_THROW(qcEncoderControlProp().zeroCounter());
  EXPECT_FALSE(qcTriggerProp().couldSlaveTo(nullptr));
}

TEST(PropEncoder, TriggerEnabledIsTheOrOfXAndY) {
  qcEncoderProp e;
  e.encoderTriggerEnabled(false, true);
  EXPECT_TRUE(e.encoderTriggerEnabled());
  EXPECT_FALSE(e.xEncoderTriggerEnabled());
  EXPECT_TRUE(e.yEncoderTriggerEnabled());
  e.encoderTriggerEnabled(false, false);
  EXPECT_FALSE(e.encoderTriggerEnabled());
}

TEST(PropTrigger, ModelByReferenceAndByHandle) {
  qcTriggerProp t;
  t.triggerModel(qfAutoTrigger());
  EXPECT_EQ(t.triggerModel(), qfAutoTrigger());
  qcPtrHandle<qcTriggerModel> custom(qfSlaveTrigger().copyForCustomization());
  t.triggerModel(custom);
  EXPECT_EQ(&t.triggerModel(), custom.ptr());
  EXPECT_EQ(custom.refCount(), 2);
  t.triggerModel(qfManualTrigger());
  EXPECT_EQ(t.triggerModel(), qfManualTrigger());
  EXPECT_EQ(custom.refCount(), 1);  // the property let go of the handle
  // A null handle would leave no model at all.
  EXPECT_THROW(t.triggerModel(qcPtrHandle<qcTriggerModel>()), qcTriggerProp::BadParams);
  EXPECT_EQ(t.triggerModel(), qfManualTrigger());
}

}  // namespace
