// Archives of the properties and of the property sets: round trips, every
// older version, unknown versions and corrupt data.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "props_fixture.h"

namespace {

using Calls = std::vector<std::string>;
unsigned char V(int v) { return propsVersion(v); }

// A callback that archives can recreate.
class TestCallback : public qcCallback {
  QC_DECLARE_PERSISTENT(TestCallback);

public:
  int tag = 0;
  void operator()() override {}
  void dispatchSerialize(qcArchive& ar) override {
    long t = tag;
    ar || t;
    tag = static_cast<int>(t);
  }
};
QC_IMPLEMENT_PERSISTENT(TestCallback);

// ---- single properties ----------------------------------------------------------------

TEST(PropArchive, RoundTripOfEveryArchivedValue) {
  qcAnalogAcqProps a;
  a.triggerEnable(false);
  a.triggerLowToHigh(false);
  a.strobeEnable(true);
  a.strobePulseDuration(1e-3);
  a.strobeHigh(false);
  a.strobeDelay(2e-3);
  static_cast<qcExposureProp&>(a).exposure(0.125);
  a.settlingTime(0.5);
  a.timeout(3);
  a.cameraBandwidth(0.25);
  a.cameraPort(3);
  qcPtrHandle<qcCallback> cb(new TestCallback);
  a.completeCallback(cb);
  a.ctiOffset(1e-5);
  a.horizAdjust(2e-5);
  a.roi(qcPelRect(1, 2, 30, 40));
  a.syncModel(qfSyncInternalHLock());
  a.brightFieldPowerRatio(0.5);
  a.lightPower(0.75);
  a.lightDelay(0.1);
  a.auxLightPort(2);
  a.auxBrightFieldPowerRatio(0.25);
  a.auxLightPower(1.0);
  a.firstPelOffset(5);
  a.zeroCounterWhenTriggered(true);
  a.useTestEncoder(true);
  a.positiveTestEncoderDirection(false);
  a.encoderTriggerEnabled(false, true);
  a.stepsPerLine(100, 7);
  a.encoderPort(4);
  a.encoderOffset(-9);
  a.positiveAcquireDirection(false);
  a.useSingleChannel(true);
  a.encoderResolution(static_cast<qcEncoderProp::qeEncoderResolution>(3));
  a.startAcqOnEncoderCount(1000);
  a.ignoreBackwardEncoderCountsBetweenAcquires(true);
  a.ignoreTooFastEncoder(false);
  a.clippingEnable(false);
  a.clippingLimits(1, 254);
  a.offsetClampMode(static_cast<qcOffsetClampProp::OffsetClampModeType>(2));
  a.alphaEnable(true);
  a.alphaSource(static_cast<qcAlphaColorProp::qeAlphaSource>(4));
  a.alphaByte(200);
  a.selectHighGain(true);
  a.masterClockFrequency(20);
  a.testPatternEnable(true);
  a.testPatternMode(static_cast<qcCameraTestProp::TestPatternType>(5));
  a.flatFieldValue(99);
  a.sampleX(2);
  a.sampleY(4);
  a.reverseHorizReadoutEnable(true);
  a.outlierPelCorrectionEnable(true);
  a.outlierPelMaxEdge(100);
  a.triggerWidth(7e-6);
  a.triggerPeriod(1e-3);
  a.triggerDelay(2e-3);
  a.ignoreMissedTrigger(false);

  const std::string bytes = propsStore(a);
  qcAnalogAcqProps b;
  propsLoad(b, bytes);

  EXPECT_FALSE(b.triggerEnable());
  EXPECT_FALSE(b.triggerLowToHigh());
  EXPECT_TRUE(b.strobeEnable());
  EXPECT_EQ(b.strobePulseDuration(), 1e-3);
  EXPECT_FALSE(b.strobeHigh());
  EXPECT_EQ(b.strobeDelay(), 2e-3);
  EXPECT_EQ(static_cast<qcExposureProp&>(b).exposure(), 0.125);
  EXPECT_EQ(b.settlingTime(), 0.5);
  EXPECT_EQ(b.timeout(), 3);
  EXPECT_EQ(b.cameraBandwidth(), 0.25);
  EXPECT_EQ(b.cameraPort(), 3);
  ASSERT_TRUE(b.completeCallback());
  EXPECT_NE(b.completeCallback(), cb);  // a new object
  EXPECT_NE(dynamic_cast<TestCallback*>(b.completeCallback().ptr()), nullptr);
  EXPECT_FALSE(b.movePartCallback());
  EXPECT_EQ(b.ctiOffset(), 1e-5);
  EXPECT_EQ(b.horizAdjust(), 2e-5);
  EXPECT_EQ(b.roi(), qcPelRect(1, 2, 30, 40));
  EXPECT_EQ(b.syncModel(), qfSyncInternalHLock());
  EXPECT_EQ(b.brightFieldPowerRatio(), 0.5);
  EXPECT_EQ(b.lightPower(), 0.75);
  EXPECT_EQ(b.lightDelay(), 0.1);
  EXPECT_EQ(b.auxLightPort(), 2);
  EXPECT_EQ(b.auxBrightFieldPowerRatio(), 0.25);
  EXPECT_EQ(b.auxLightPower(), 1.0);
  EXPECT_EQ(b.firstPelOffset(), 5);
  EXPECT_TRUE(b.zeroCounterWhenTriggered());
  EXPECT_TRUE(b.useTestEncoder());
  EXPECT_FALSE(b.positiveTestEncoderDirection());
  EXPECT_TRUE(b.encoderTriggerEnabled());
  EXPECT_FALSE(b.xEncoderTriggerEnabled());
  EXPECT_TRUE(b.yEncoderTriggerEnabled());
  EXPECT_EQ(b.stepsPerLine(), 100);
  EXPECT_EQ(b.step16thsPerLine(), 7);
  EXPECT_EQ(b.encoderPort(), 4);
  EXPECT_EQ(b.encoderOffset(), -9);
  EXPECT_FALSE(b.positiveAcquireDirection());
  EXPECT_TRUE(b.useSingleChannel());
  EXPECT_EQ(b.encoderResolution(), 3);
  EXPECT_EQ(b.startAcqOnEncoderCount(), 1000);
  EXPECT_TRUE(b.ignoreBackwardEncoderCountsBetweenAcquires());
  EXPECT_FALSE(b.ignoreTooFastEncoder());
  EXPECT_FALSE(b.clippingEnable());
  EXPECT_EQ(b.clippingLowerLimit(), 1);
  EXPECT_EQ(b.clippingUpperLimit(), 254);
  EXPECT_EQ(b.offsetClampMode(), 2);
  EXPECT_TRUE(b.alphaEnable());
  EXPECT_EQ(b.alphaSource(), 4);
  EXPECT_EQ(b.alphaByte(), 200);
  EXPECT_TRUE(b.selectHighGain());
  EXPECT_EQ(b.masterClockFrequency(), 20);
  EXPECT_EQ(static_cast<qcCameraTestProp&>(b), static_cast<qcCameraTestProp&>(a));
  EXPECT_EQ(static_cast<qcSampleProp&>(b), static_cast<qcSampleProp&>(a));
  EXPECT_EQ(static_cast<qcReadoutDirectionProp&>(b), static_cast<qcReadoutDirectionProp&>(a));
  EXPECT_EQ(static_cast<qcCdcCameraCalibrationProp&>(b), static_cast<qcCdcCameraCalibrationProp&>(a));
  EXPECT_EQ(static_cast<qcTriggerFilterProp&>(b), static_cast<qcTriggerFilterProp&>(a));
}

TEST(PropArchive, VersionAboveTheNewestThrowsBeforeReadingAnything) {
  struct Case {
    qcPersistent* prop;
    int newest;
  };
  qcExposureProp exposure(0.5);
  qcStrobeDelayProp delay(0.5);
  qcTriggerProp trigger;
  qcTriggerFilterProp filter;
  qcRoiProp roi;
  qcSyncProp sync;
  qcAlphaColorProp alpha;
  qcEncoderProp encoder;
  qcLightProp light;
  qcCdcCameraCalibrationProp cdc;
  qcAcqProps set;
  qcAnalogAcqProps analog;
  for (Case c : std::vector<Case>{{&exposure, 0},
                                  {&delay, 1},
                                  {&trigger, 1},
                                  {&filter, 1},
                                  {&roi, 1},
                                  {&sync, 1},
                                  {&alpha, 1},
                                  {&encoder, 5},
                                  {&light, 0},
                                  {&cdc, 0},
                                  {&set, 4},
                                  {&analog, 1}}) {
    // The version byte followed by plenty of valid-looking data.
    const std::string bytes = propsWrite([&](qcArchive& ar) {
      unsigned char v = V(c.newest + 1);
      ar || v;
      for (int i = 0; i < 64; ++i) ar << 0.0;
    });
    try {
      propsLoad(*c.prop, bytes);
      ADD_FAILURE() << "no exception for version " << c.newest + 1;
    } catch (const qcArchive::UnknownVersion& e) {
      EXPECT_NE(e.where().find("acq/hyper/prop/"), std::string::npos) << e.where();
    }
  }
  EXPECT_EQ(exposure.exposure(), 0.5);
  EXPECT_EQ(delay.strobeDelay(), 0.5);
}

TEST(PropArchive, StrobeDelayVersion0HoldsMicroseconds) {
  const std::string bytes = propsWrite([](qcArchive& ar) {
    unsigned char v = 0;
    unsigned long micro = 250;
    ar || v || micro;
  });
  qcStrobeDelayProp d;
  propsLoad(d, bytes);
  EXPECT_DOUBLE_EQ(d.strobeDelay(), 0.00025);
}

TEST(PropArchive, TriggerVersion0IgnoresTheNumberAndSetsTheManualModel) {
  for (unsigned long ignored : {0ul, 1ul, 131ul, 0xFFFFFFFFul}) {
    const std::string bytes = propsWrite([&](qcArchive& ar) {
      unsigned char v = 0;
      bool enable = false, lowToHigh = false;
      ar || v || enable || lowToHigh || ignored;
    });
    qcRecordingAcqFifo drv;
    qcTriggerProp t;
    t.triggerModel(qfAutoTrigger());
    t.fifo(drv);
    propsLoad(t, bytes);
    EXPECT_EQ(t.triggerModel(), qfManualTrigger());
    EXPECT_FALSE(t.triggerLowToHigh());
    EXPECT_EQ(drv.calls(), (Calls{"triggerEnable(false)", "triggerLowToHigh(false)", "triggerModel(Manual)"}));
    t.clearFifoAssociation();
  }
  // Version 1 keeps the model.
  qcTriggerProp src;
  src.triggerEnable(false);
  qcTriggerProp t;
  t.triggerModel(qfAutoTrigger());
  propsLoad(t, propsStore(src));
  EXPECT_EQ(t.triggerModel(), qfAutoTrigger());
  EXPECT_FALSE(t.triggerEnable());
}

TEST(PropArchive, TriggerFilterLoadsDirectlyAndVersion0IgnoresMissed) {
  const std::string v0 = propsWrite([](qcArchive& ar) {
    unsigned char v = 0;
    double width = 1.0, period = 2e-3, delay = 3e-3;  // width out of range: loaded as is
    ar || v || width || period || delay;
  });
  qcRecordingAcqFifo drv;
  qcTriggerFilterProp f;
  f.ignoreMissedTrigger(false);
  f.fifo(drv);
  propsLoad(f, v0);
  EXPECT_EQ(f.triggerWidth(), 1.0);
  EXPECT_EQ(f.triggerPeriod(), 2e-3);
  EXPECT_EQ(f.triggerDelay(), 3e-3);
  EXPECT_TRUE(f.ignoreMissedTrigger());
  EXPECT_EQ(drv.calls(), Calls{"update(qcTriggerFilterProp)"});
  f.clearFifoAssociation();
}

TEST(PropArchive, SyncModelIsArchivedAsItsCode) {
  qcSyncProp s(qfSyncInternalDrive());
  std::stringstream ss(propsStore(s));
  qcArchive ar(ss, qcArchive::load);
  unsigned char v = 0;
  long code = 0;
  ar >> v >> code;
  EXPECT_EQ(v, 1);
  EXPECT_EQ(code, 3);

  const std::vector<std::pair<long, const qcSyncModel*>> codes = {
      {1, &qcSyncProp::defaultSyncModel()},   {2, &qfSyncInternalComposite()},
      {3, &qfSyncInternalDrive()},            {4, &qfSyncInternalHLock()},
      {5, &qfSyncInternalHVLock()},           {6, &qfSyncInternal4200()},
      {7, &qfSyncExternalPLLComposite()},     {8, &qfSyncExternalPLLSync()},
      {9, &qfSyncExternalPLLDrive()},         {10, &qfSyncExternalPixSync()},
      {11, &qfSyncExternalPixDrive()},        {12, &qfSlaveSyncExternalPixDrive0()},
      {13, &qfSlaveSyncExternalPixDrive1()},  {14, &qfDisplaySyncExternalPixDrive()}};
  for (auto [c, model] : codes) {
    qcSyncProp from(*model);
    qcSyncProp to(qfSyncInternalHLock());
    propsLoad(to, propsStore(from));
    EXPECT_EQ(to.syncModel(), *model) << c;
    EXPECT_EQ(qcSyncProp::codeOf_(*model), c);
  }
}

TEST(PropArchive, SyncCodesOutOfRangeAssertAndLoadTheDefault) {
  for (long code : {0L, 15L, -1L, 1000L}) {
    PropsAssertCounter asserts;
    const std::string bytes = propsWrite([&](qcArchive& ar) {
      unsigned char v = 1;
      ar || v || code;
    });
    qcSyncProp s(qfSyncInternalDrive());
    propsLoad(s, bytes);
    EXPECT_EQ(s.syncModel(), qcSyncProp::defaultSyncModel()) << code;
    EXPECT_EQ(asserts.count(), 1) << code;
  }
  // A model of a driver's own, outside the table, stores as code 1.
  static const qc_SyncModel foreign{999, "foreign", {}, 0, 0};
  static const qcSyncModel foreignModel(&foreign);
  PropsAssertCounter asserts;
  EXPECT_EQ(qcSyncProp::codeOf_(foreignModel), 1);
  EXPECT_EQ(asserts.count(), 1);

  // Version 0: the number is ignored, the model is the default.
  const std::string v0 = propsWrite([](qcArchive& ar) {
    unsigned char v = 0;
    long anything = 7;
    ar || v || anything;
  });
  qcSyncProp s(qfSyncInternalDrive());
  propsLoad(s, v0);
  EXPECT_EQ(s.syncModel(), qcSyncProp::defaultSyncModel());
}

// The fields of an encoder archive of version v, as written by that version.
std::string encoderArchive(int v) {
  return propsWrite([v](qcArchive& ar) {
    unsigned char ver = V(v);
    bool testEncoder = true, testDirection = false, trigger = true, x = false, y = true;
    long steps = 17, sixteenths = 9, port = 2, offset = 33;
    bool acquireDirection = false, singleChannel = true;
    long resolution = 6, startCount = 77;
    bool ignoreBackward = true, ignoreTooFast = false;
    ar || ver || testEncoder || testDirection || trigger;
    if (v >= 1) ar || x || y;
    ar || steps;
    if (v >= 2) ar || sixteenths;
    ar || port || offset || acquireDirection;
    if (v >= 3) ar || singleChannel;
    if (v >= 4) ar || resolution || startCount || ignoreBackward;
    if (v >= 5) ar || ignoreTooFast;
  });
}

TEST(PropArchive, EncoderEveryVersion) {
  for (int v = 0; v <= 5; ++v) {
    SCOPED_TRACE(v);
    qcEncoderProp e;
    e.stepsPerLine(5, 5);
    propsLoad(e, encoderArchive(v));
    EXPECT_TRUE(e.useTestEncoder());
    EXPECT_FALSE(e.positiveTestEncoderDirection());
    // Version 0 has one flag, loaded as (flag, false).
    EXPECT_EQ(e.xEncoderTriggerEnabled(), v == 0);
    EXPECT_EQ(e.yEncoderTriggerEnabled(), v >= 1);
    EXPECT_TRUE(e.encoderTriggerEnabled());
    EXPECT_EQ(e.stepsPerLine(), 17);
    EXPECT_EQ(e.step16thsPerLine(), v >= 2 ? 9 : 0);
    EXPECT_EQ(e.encoderPort(), 2);
    EXPECT_EQ(e.encoderOffset(), 33);
    EXPECT_FALSE(e.positiveAcquireDirection());
    EXPECT_EQ(e.useSingleChannel(), v >= 3);
    EXPECT_EQ(e.encoderResolution(), v >= 4 ? 6 : 0);
    EXPECT_EQ(e.startAcqOnEncoderCount(), v >= 4 ? 77 : 0);
    EXPECT_EQ(e.ignoreBackwardEncoderCountsBetweenAcquires(), v >= 4);
    EXPECT_EQ(e.ignoreTooFastEncoder(), v < 5);
  }
}

TEST(PropArchive, AlphaVersion0DisablesAlpha) {
  const std::string v0 = propsWrite([](qcArchive& ar) {
    unsigned char v = 0, byte = 17;
    unsigned long source = 3;
    ar || v || source || byte;
  });
  qcAlphaColorProp a(true, qcAlphaColorProp::qeAlphaSource_Default, 0);
  propsLoad(a, v0);
  EXPECT_FALSE(a.alphaEnable());
  EXPECT_EQ(a.alphaSource(), 3);
  EXPECT_EQ(a.alphaByte(), 17);
}

TEST(PropArchive, RoiVersion0KeepsTheModeAndVersion1LoadsItDirectly) {
  qcRoiProp withMode;
  const std::string v1 = propsWrite([](qcArchive& ar) {
    unsigned char v = 1;
    qcPelRect r(1, 2, 3, 4);
    long mode = 5;  // not supported by a free property: loaded anyway
    ar || v || r || mode;
  });
  propsLoad(withMode, v1);
  EXPECT_EQ(withMode.roi(), qcPelRect(1, 2, 3, 4));
  EXPECT_EQ(withMode.roiMode(), 5);

  const std::string v0 = propsWrite([](qcArchive& ar) {
    unsigned char v = 0;
    qcPelRect r(5, 6, 7, 8);
    ar || v || r;
  });
  propsLoad(withMode, v0);
  EXPECT_EQ(withMode.roi(), qcPelRect(5, 6, 7, 8));
  EXPECT_EQ(withMode.roiMode(), 5);

  for (const qcPelRect& badRect : {qcPelRect(0, 0, -5, 8), qcPelRect(1, 1, LONG_MAX, LONG_MAX)}) {
    const std::string bad = propsWrite([&](qcArchive& ar) {
      unsigned char v = 0;
      qcPelRect r = badRect;
      ar || v || r;
    });
    EXPECT_THROW(propsLoad(withMode, bad), qcRoiProp::BadParams) << badRect;
    EXPECT_EQ(withMode.roi(), qcPelRect(5, 6, 7, 8));
  }
}

TEST(PropArchive, LoadsThroughSettersCheckTheValues) {
  const std::string bytes = propsWrite([](qcArchive& ar) {
    unsigned char v = 0;
    double e = -1;
    ar || v || e;
  });
  qcExposureProp e(0.5);
  EXPECT_THROW(propsLoad(e, bytes), qcExposureProp::BadParams);
  EXPECT_EQ(e.exposure(), 0.5);

  // Direct loads store even what a setter would refuse.
  const std::string cdc = propsWrite([](qcArchive& ar) {
    unsigned char v = 0, edge = 200, noise = 201;
    bool on = true;
    ar || v || on || edge || noise || on;
  });
  qcCdcCameraCalibrationProp c;
  propsLoad(c, cdc);
  EXPECT_EQ(c.outlierPelMaxEdge(), 200);
}

TEST(PropArchive, NullCallbackRoundTripsAsNull) {
  qcMovePartCallbackProp src;
  qcMovePartCallbackProp dst(qcPtrHandle<qcCallback>(new TestCallback));
  propsLoad(dst, propsStore(src));
  EXPECT_FALSE(dst.movePartCallback());
}

TEST(PropArchive, ACallbackSharedByTwoPropertiesLoadsAsOneObject) {
  qcPtrHandle<qcCallback> cb(new TestCallback);
  qcAcqProps src;
  src.movePartCallback(cb);
  src.completeCallback(cb);
  qcAcqProps dst;
  propsLoad(dst, propsStore(src));
  ASSERT_TRUE(dst.movePartCallback());
  EXPECT_EQ(dst.movePartCallback(), dst.completeCallback());
  // Two properties and the handle the getter returned.
  EXPECT_EQ(dst.movePartCallback().refCount(), 3);
}

// ---- property sets ------------------------------------------------------------------------

// Writes one member of a set as a standalone property (its version byte,
// base part and fields, exactly as inside a set).
template <class Prop>
void writeMember(qcArchive& ar, const qcAcqProps& from) {
  Prop copy(static_cast<const Prop&>(from));
  copy.serialize(ar);
}

// The archive of a qcAcqProps of version v written member by member from
// `from`, preceded by a qcAnalogAcqProps version byte when analogVersion is
// 0 or more (version 0 then carries its eight trailing members).
std::string setArchive(int v, const qcAcqProps& from, int analogVersion = -1) {
  return propsWrite([&](qcArchive& ar) {
    if (analogVersion >= 0) {
      unsigned char av = V(analogVersion);
      ar || av;
    }
    unsigned char ver = V(v);
    ar || ver;
    writeMember<qcTriggerProp>(ar, from);
    writeMember<qcStrobeProp>(ar, from);
    writeMember<qcExposureProp>(ar, from);
    writeMember<qcTimeoutProp>(ar, from);
    writeMember<qcCameraPortProp>(ar, from);
    writeMember<qcMovePartCallbackProp>(ar, from);
    writeMember<qcCompleteCallbackProp>(ar, from);
    writeMember<qcCtiProp>(ar, from);
    writeMember<qcHorizAdjustProp>(ar, from);
    writeMember<qcRoiProp>(ar, from);
    writeMember<qcSyncProp>(ar, from);
    writeMember<qcLightProp>(ar, from);
    auto eight = [&] {
      writeMember<qc8BitInputLutProp>(ar, from);
      writeMember<qcContrastBrightnessProp>(ar, from);
      writeMember<qcFirstPelOffsetProp>(ar, from);
      writeMember<qcEncoderControlProp>(ar, from);
      writeMember<qcEncoderProp>(ar, from);
      writeMember<qcClippingProp>(ar, from);
      writeMember<qcAlphaColorProp>(ar, from);
      writeMember<qcDigitalCameraControlProp>(ar, from);
    };
    if (v >= 1) {
      eight();
      writeMember<qcSettlingTimeProp>(ar, from);
      writeMember<qcOverrunCallbackProp>(ar, from);
      writeMember<qcStrobeDelayProp>(ar, from);
    }
    if (v >= 2) {
      writeMember<qcOffsetClampProp>(ar, from);
      writeMember<qcTriggerFilterProp>(ar, from);
      writeMember<qcCameraTestProp>(ar, from);
      writeMember<qcSampleProp>(ar, from);
      writeMember<qcReadoutDirectionProp>(ar, from);
    }
    if (v >= 3) writeMember<qcCdcCameraCalibrationProp>(ar, from);
    if (v >= 4) writeMember<qcCameraBandwidthProp>(ar, from);
    if (analogVersion == 0) eight();
  });
}

// A set whose every archived member differs from the defaults.
void changeAll(qcAcqProps& p) {
  p.triggerLowToHigh(false);
  p.strobeEnable(true);
  static_cast<qcExposureProp&>(p).exposure(0.5);
  p.timeout(2);
  p.syncModel(qfSyncInternalDrive());
  p.lightPower(0.5);
  p.setContrast(0.75);
  p.firstPelOffset(3);
  p.stepsPerLine(9, 1);
  p.alphaByte(1);
  p.masterClockFrequency(10);
  p.settlingTime(1);
  p.strobeDelay(1e-3);
  p.sampleX(3);
  p.triggerWidth(4e-6);
  p.outlierPelMaxEdge(1);
  p.cameraBandwidth(0.5);
}

TEST(PropSetArchive, StoredSetIsVersion4AndEqualsTheHandWrittenForm) {
  qcAcqProps p;
  changeAll(p);
  EXPECT_TRUE(propsStore(p) == setArchive(4, p));
  qcAnalogAcqProps a;
  changeAll(a);
  EXPECT_TRUE(propsStore(a) == setArchive(4, a, 1));
}

TEST(PropSetArchive, OlderVersionsLoadTheirMembersAndKeepTheRest) {
  qcAcqProps src;
  changeAll(src);
  for (int v = 0; v <= 4; ++v) {
    SCOPED_TRACE(v);
    qcAcqProps dst;
    propsLoad(dst, setArchive(v, src));
    EXPECT_FALSE(dst.triggerLowToHigh());
    EXPECT_EQ(dst.syncModel(), qfSyncInternalDrive());
    EXPECT_EQ(dst.lightPower(), 0.5);
    EXPECT_EQ(dst.contrastEx(0) == 0.75, v >= 1);
    EXPECT_EQ(dst.stepsPerLine() == 9, v >= 1);
    EXPECT_EQ(dst.strobeDelay() == 1e-3, v >= 1);
    EXPECT_EQ(dst.sampleX() == 3, v >= 2);
    EXPECT_EQ(dst.triggerWidth() == 4e-6, v >= 2);
    EXPECT_EQ(dst.outlierPelMaxEdge() == 1, v >= 3);
    EXPECT_EQ(dst.cameraBandwidth() == 0.5, v >= 4);
  }
}

TEST(PropSetArchive, AnalogVersion0CarriesTheEightMembersAfterTheSet) {
  qcAcqProps src;
  changeAll(src);
  qcAnalogAcqProps dst;
  propsLoad(dst, setArchive(0, src, 0));
  EXPECT_EQ(dst.contrastEx(0), 0.75);
  EXPECT_EQ(dst.firstPelOffset(), 3);
  EXPECT_EQ(dst.stepsPerLine(), 9);
  EXPECT_EQ(dst.alphaByte(), 1);
  EXPECT_EQ(dst.masterClockFrequency(), 10);
  EXPECT_EQ(dst.settlingTime(), 0.0);  // not among the eight
  EXPECT_EQ(dst.strobeDelay(), 0.0);

  // Version 1 over any inner version.
  for (int v = 0; v <= 4; ++v) {
    qcAnalogAcqProps d;
    propsLoad(d, setArchive(v, src, 1));
    EXPECT_EQ(d.lightPower(), 0.5);
    EXPECT_EQ(d.firstPelOffset() == 3, v >= 1) << v;
  }
}

TEST(PropSetArchive, UnarchivedMembersKeepTheirValues) {
  qcCustomPropertyBag bag;
  bag.addItem(qcCustomPropertyBag::qeType{0}, "gain", "12");
  qcPtrHandle<qcPelRootPool> pool(new qcPelRootPool);
  qcAcqProps dst;
  dst.customValues(bag);
  dst.pelRootPool(pool);
  qcAcqProps src;
  propsLoad(dst, propsStore(src));
  EXPECT_EQ(dst.customValues().getItemCount(), 1);
  EXPECT_EQ(dst.pelRootPool(), pool);
}

TEST(PropSetArchive, LoadingIntoAnAssociatedSetReachesTheFifo) {
  qcAcqProps src;
  static_cast<qcExposureProp&>(src).exposure(0.25);
  qcRecordingAcqFifo drv;
  drv.answers.defaultSyncModel = &qfSyncInternalDrive();
  drv.answers.lutEntries = 256;  // the archived table's size
  qcAnalogAcqProps dst;
  dst.fifo(drv);
  drv.clearCalls();
  propsLoad(dst, setArchive(4, src, 1));
  EXPECT_EQ(drv.callsNamed("exposure"), Calls{"exposure(0.25)"});
  EXPECT_EQ(drv.count("update"), 6u);  // the six update-style members of the archive
  dst.clearFifoAssociation();
}

TEST(PropSetArchive, TruncatedOrCorruptArchivesThrow) {
  qcAnalogAcqProps src;
  changeAll(src);
  src.completeCallback(qcPtrHandle<qcCallback>(new TestCallback));
  const std::string bytes = propsStore(src);
  for (std::size_t n = 0; n < bytes.size(); ++n) {
    qcAnalogAcqProps dst;
    EXPECT_THROW(propsLoad(dst, bytes.substr(0, n)), qcException) << n;
  }
  // Each byte flipped: a value or an exception, never a crash.
  for (std::size_t i = 6; i < bytes.size(); ++i) {
    std::string b = bytes;
    b[i] = static_cast<char>(b[i] ^ 0x5A);
    qcAnalogAcqProps dst;
    try {
      propsLoad(dst, b);
    } catch (const qcException&) {
    }
  }
}

}  // namespace
