// Associated properties: what reaches the driver FIFO, in which order, and
// what the FIFO's answers and settings change.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "props_fixture.h"

// The board layer defines camera ports; the properties only hold pointers to
// them.
class qcCameraPort {
public:
  int id = 0;
};

namespace {

using Calls = std::vector<std::string>;

class PropFifo : public ::testing::Test {
protected:
  qcRecordingAcqFifo drv;

  void settings(std::vector<qcSettingInfo> entries) {
    drv.answers.initSettingDataBase = [entries](qcSettingDataBase& db) {
      db.insert(db.end(), entries.begin(), entries.end());
    };
  }
};

TEST_F(PropFifo, HookFirstSettersCallTheFifoBeforeStoring) {
  qcExposureProp e;
  e.fifo(drv);
  drv.clearCalls();
  e.exposure(0.01);
  EXPECT_EQ(drv.calls(), Calls{"exposure(0.01)"});
  EXPECT_EQ(e.exposure(), 0.01);

  // A FIFO that refuses the value: the error passes, the value stays.
  drv.failing = {"exposure"};
  EXPECT_THROW(e.exposure(0.02), qcAcqFeatureNotImplemented);
  EXPECT_EQ(e.exposure(), 0.01);

  // A rejected value never reaches the FIFO.
  drv.failing.clear();
  drv.clearCalls();
  EXPECT_THROW(e.exposure(-1), qcExposureProp::BadParams);
  EXPECT_TRUE(drv.calls().empty());
  e.clearFifoAssociation();
}

TEST_F(PropFifo, UpdateStyleSettersStoreThenSendTheWholeProperty) {
  qcSampleProp s;
  s.fifo(drv);
  s.sampleX(4);
  EXPECT_EQ(drv.calls(), Calls{"update(qcSampleProp)"});
  // The driver refusing does not undo the store.
  drv.failing = {"update"};
  EXPECT_THROW(s.sampleY(2), qcAcqFeatureNotImplemented);
  EXPECT_EQ(s.sampleY(), 2);

  drv.failing.clear();
  drv.clearCalls();
  qcTriggerFilterProp f;
  f.fifo(drv);
  f.triggerWidth(10e-6);
  f.ignoreMissedTrigger(false);
  EXPECT_THROW(f.triggerPeriod(-1), qcTriggerFilterProp::BadParams);
  EXPECT_EQ(drv.calls(), (Calls{"update(qcTriggerFilterProp)", "update(qcTriggerFilterProp)"}));

  // Assignment: once for another object, never for itself.
  drv.clearCalls();
  qcTriggerFilterProp src(3e-6, 0, 0, true);
  f = src;
  f = f;
  EXPECT_EQ(drv.calls(), Calls{"update(qcTriggerFilterProp)"});
  EXPECT_EQ(f.triggerWidth(), 3e-6);
  EXPECT_EQ(f.fifoPtr_(), &drv);  // the association is kept
}

TEST_F(PropFifo, AssociationTakesDefaultsFromTheFifo) {
  drv.answers.defaultExposure = 0.01;
  qcExposureProp e;
  e.fifo(drv);
  EXPECT_EQ(e.exposure(), 0.01);
  EXPECT_EQ(drv.count("exposure"), 0u);

  drv.answers.defaultOutlierPelCorrectionEnable = true;
  qcCdcCameraCalibrationProp c;
  c.fifo(drv);
  EXPECT_TRUE(c.outlierPelCorrectionEnable());
  EXPECT_EQ(drv.count("update"), 1u);

  qcPtrHandle<qcPelRootPool> pool(new qcPelRootPool);
  drv.answers.defaultPelPool = pool;
  qcPelRootPoolProp p;
  p.fifo(drv);
  EXPECT_EQ(p.pelRootPool(), pool);
  EXPECT_EQ(drv.count("pelRootPool"), 0u);

  // Most properties send and read nothing.
  drv.clearCalls();
  qcStrobeProp s;
  s.fifo(drv);
  qcLightProp l;
  l.fifo(drv);
  EXPECT_TRUE(drv.calls().empty());
  e.clearFifoAssociation();
  c.clearFifoAssociation();
  p.clearFifoAssociation();
}

TEST_F(PropFifo, AssociatingTwiceAsserts) {
  PropsAssertCounter asserts;
  qcTimeoutProp t;
  t.fifo(drv);
  EXPECT_EQ(asserts.count(), 0);
  qcRecordingAcqFifo other;
  t.fifo(other);
  EXPECT_EQ(asserts.count(), 1);
  EXPECT_EQ(t.fifoPtr_(), &other);  // re-associated
  t.clearFifoAssociation();
  t.fifo(drv);
  EXPECT_EQ(asserts.count(), 1);
}

TEST_F(PropFifo, StrobeDurationLimitComesFromSetting1005) {
  settings({qcSettingInfo(qeSetting_StrobePulseDuration, 0.0, 0.01, 2e-5, qcSettingInfo::kindReal)});
  qcStrobeProp s;
  EXPECT_NO_THROW(s.strobePulseDuration(1e6));  // free: no limit
  s.fifo(drv);
  EXPECT_NO_THROW(s.strobePulseDuration(0.01));
  EXPECT_THROW(s.strobePulseDuration(0.0100001), qcStrobeProp::BadParams);
  EXPECT_EQ(s.strobePulseDuration(), 0.01);
  EXPECT_EQ(drv.callsNamed("strobePulseDuration"), Calls{"strobePulseDuration(0.01)"});
  s.clearFifoAssociation();

  // Without the setting the limit stays unbounded.
  qcRecordingAcqFifo plain;
  qcStrobeProp t;
  t.fifo(plain);
  EXPECT_NO_THROW(t.strobePulseDuration(1e6));
  t.clearFifoAssociation();
}

TEST_F(PropFifo, StrobeDelayRangeComesFromSetting1007) {
  settings({qcSettingInfo(qeSetting_StrobeDelay, 0.0, 0.1, 0.0, qcSettingInfo::kindReal)});
  qcStrobeDelayProp d;
  EXPECT_NO_THROW(d.strobeDelay(-5));
  d.fifo(drv);
  EXPECT_THROW(d.strobeDelay(-5), qcStrobeDelayProp::BadParams);
  EXPECT_THROW(d.strobeDelay(0.2), qcStrobeDelayProp::BadParams);
  EXPECT_NO_THROW(d.strobeDelay(0.1));
  EXPECT_EQ(drv.callsNamed("strobeDelay"), Calls{"strobeDelay(0.1)"});
  d.clearFifoAssociation();

  qcRecordingAcqFifo plain;
  d.fifo(plain);
  EXPECT_NO_THROW(d.strobeDelay(-5));
  EXPECT_EQ(plain.callsNamed("strobeDelay"), Calls{"strobeDelay(-5)"});
  d.clearFifoAssociation();
}

TEST_F(PropFifo, TriggerDelayLimitComesFromSetting6002) {
  qcTriggerFilterProp f;
  EXPECT_THROW(f.triggerDelay(0.5), qcTriggerFilterProp::BadParams);
  settings({qcSettingInfo(qeSetting_TriggerDelay, 0.0, 1.0, 0.0, qcSettingInfo::kindReal)});
  f.fifo(drv);
  EXPECT_NO_THROW(f.triggerDelay(0.5));
  EXPECT_THROW(f.triggerDelay(1.5), qcTriggerFilterProp::BadParams);
  EXPECT_THROW(f.triggerDelay(-1e-9), qcTriggerFilterProp::BadParams);
  EXPECT_EQ(f.triggerDelay(), 0.5);
  f.clearFifoAssociation();
}

TEST_F(PropFifo, CameraPortIsBoundByTheFifosPortCount) {
  drv.answers.numCameraPort = 2;
  qcCameraPortProp p;
  p.fifo(drv);
  EXPECT_EQ(p.numCameraPort(), 2);
  EXPECT_NO_THROW(p.cameraPort(1));
  EXPECT_THROW(p.cameraPort(2), qcCameraPortProp::BadParams);
  EXPECT_EQ(p.cameraPort(), 1);
  EXPECT_EQ(drv.callsNamed("cameraPort"), Calls{"cameraPort(1)"});
  p.clearFifoAssociation();
}

TEST_F(PropFifo, CameraLocationMustBeValidForTheFifo) {
  qcCameraPort a, b;
  qcCameraLocationProp loc;
  loc.fifo(drv);
  EXPECT_THROW(loc.cameraLocation(a), qcCameraLocationProp::BadParams);  // default: not valid
  EXPECT_EQ(loc.cameraLocation(), nullptr);
  EXPECT_EQ(drv.count("cameraLocation"), 0u);
  drv.answers.cameraPortValid = true;
  loc.cameraLocation(b);
  EXPECT_EQ(loc.cameraLocation(), &b);
  EXPECT_EQ(drv.callsNamed("cameraLocation"), Calls{"cameraLocation(set)"});

  // Assigning a property without a location clears it in the FIFO too.
  loc = qcCameraLocationProp();
  EXPECT_EQ(loc.cameraLocation(), nullptr);
  EXPECT_EQ(drv.callsNamed("cameraLocation"), (Calls{"cameraLocation(set)", "cameraLocation(null)"}));
  loc.clearFifoAssociation();
}

TEST_F(PropFifo, PelRootPoolMustBeValidForTheFifo) {
  qcPtrHandle<qcPelRootPool> pool(new qcPelRootPool);
  qcPelRootPoolProp p;
  p.fifo(drv);
  drv.answers.isValidPool = false;
  EXPECT_THROW(p.pelRootPool(pool), qcPelRootPoolProp::BadParams);
  EXPECT_FALSE(p.pelRootPool());
  EXPECT_EQ(drv.count("pelRootPool"), 0u);
  drv.answers.isValidPool = true;
  p.pelRootPool(pool);
  EXPECT_EQ(p.pelRootPool(), pool);
  EXPECT_EQ(drv.pool, pool);
  p.clearFifoAssociation();
}

TEST_F(PropFifo, RoiModeAsksTheFifoThenStoresThenSends) {
  drv.answers.roiModes = {0, 2};
  drv.answers.actualRoi = qcPelRect(1, 2, 3, 4);
  qcRoiProp r;
  r.fifo(drv);
  EXPECT_EQ(r.actualRoi(), qcPelRect(1, 2, 3, 4));
  EXPECT_TRUE(r.isModeSupported(static_cast<qcRoiProp::Mode>(2)));
  drv.clearCalls();
  r.roiMode(static_cast<qcRoiProp::Mode>(2));
  EXPECT_EQ(drv.calls(), (Calls{"isRoiModeSupported(2)", "roiMode(2)"}));
  EXPECT_THROW(r.roiMode(static_cast<qcRoiProp::Mode>(1)), qcRoiProp::BadParams);
  EXPECT_EQ(r.roiMode(), 2);
  r.roi(qcPelRect(0, 0, 64, 32));
  EXPECT_EQ(drv.callsNamed("roi"), Calls{"roi(0:0:64:32)"});

  // Assignment: the rectangle through the setter, the mode copied unchecked.
  drv.clearCalls();
  qcRoiProp src(qcPelRect(1, 1, 8, 8));
  r = src;
  EXPECT_EQ(drv.calls(), Calls{"roi(1:1:8:8)"});
  EXPECT_EQ(r.roiMode(), 0);
  r.clearFifoAssociation();
}

TEST_F(PropFifo, GeometryQueriesAskTheFifo) {
  drv.answers.actualCtiOffset = 1e-6;
  drv.answers.actualHorizAdjust = 2e-6;
  drv.answers.actualSyncModel = &qfSyncExternalPixDrive();
  qcAnalogAcqProps set;
  drv.answers.defaultSyncModel = &qfSyncInternalDrive();
  set.fifo(drv);
  EXPECT_EQ(set.actualCtiOffset(), 1e-6);
  EXPECT_EQ(set.actualHorizAdjust(), 2e-6);
  EXPECT_EQ(set.actualSyncModel(), qfSyncExternalPixDrive());
  set.clearFifoAssociation();
}

TEST_F(PropFifo, SyncDefaultModelBecomesTheFifosDefault) {
  drv.answers.defaultSyncModel = &qfSyncInternalDrive();
  qcSyncProp s;
  s.syncModel(qfSyncExternalPLLSync());
  EXPECT_EQ(s.syncModel(), qfSyncExternalPLLSync());  // free: no FIFO call
  s.fifo(drv);
  s.syncModel(qcSyncProp::defaultSyncModel());
  EXPECT_EQ(s.syncModel(), qfSyncInternalDrive());
  s.syncModel(qfSyncExternalPLLSync());
  EXPECT_EQ(drv.callsNamed("syncModel"), (Calls{"syncModel(Internal drive)", "syncModel(External PLL sync)"}));
  s.clearFifoAssociation();
}

TEST_F(PropFifo, LightsOffZeroesPowersAndAsksTheFifo) {
  drv.answers.lightsOff = true;
  qcLightProp l;
  l.fifo(drv);
  l.lightPower(0.5);
  l.auxLightPower(0.5);
  drv.clearCalls();
  EXPECT_TRUE(l.lightsOff());
  EXPECT_EQ(drv.calls(), Calls{"lightsOff()"});
  EXPECT_EQ(l.lightPower(), 0.0);
  EXPECT_EQ(l.auxLightPower(), 0.0);

  drv.clearCalls();
  l.darkLevel(0.2);
  l.auxBrightFieldPowerRatio(0.3);
  l.auxLightPort(5);
  EXPECT_EQ(drv.calls(), (Calls{"darkLevel(0.2)", "auxDarkLevel(0.3)", "auxLightPort(5)"}));
  l.clearFifoAssociation();
}

TEST_F(PropFifo, EncoderRules) {
  qcEncoderProp e;
  e.fifo(drv);
  drv.answers.numEncoderPort = 0;  // unknown: any port
  EXPECT_NO_THROW(e.encoderPort(9));
  drv.answers.numEncoderPort = 2;
  EXPECT_THROW(e.encoderPort(2), qcEncoderProp::BadParams);
  EXPECT_NO_THROW(e.encoderPort(1));
  EXPECT_EQ(e.numEncoderPort(), 2);
  drv.clearCalls();
  e.stepsPerLine(12, 5);
  e.encoderTriggerEnabled(true, false);
  e.encoderResolution(static_cast<qcEncoderProp::qeEncoderResolution>(2));
  e.startAcqOnEncoderCount(100);
  EXPECT_EQ(drv.calls(), (Calls{"stepsPerLine(12,5)", "encoderTriggerEnabled(true,false)", "encoderResolution(2)",
                                "startAcqOnEncoderCount(100)"}));
  drv.answers.encoderTriggerLatency = 7;
  EXPECT_EQ(e.encoderTriggerLatency(), 7);
  e.clearFifoAssociation();

  qcEncoderControlProp c;
  c.fifo(drv);
  drv.answers.currentEncoderCount = 42;
  drv.clearCalls();
  c.zeroCounter();
  EXPECT_EQ(c.currentEncoderCount(), 42);
  EXPECT_EQ(drv.calls(), (Calls{"zeroCounter()", "currentEncoderCount()"}));
  c.clearFifoAssociation();
}

TEST_F(PropFifo, ClippingLimitsGoLowerThenUpper) {
  qcClippingProp c;
  c.fifo(drv);
  c.clippingLimits(10, 200);
  EXPECT_EQ(drv.calls(), (Calls{"clippingLowerLimit(10)", "clippingUpperLimit(200)"}));
  c.clearFifoAssociation();
}

TEST_F(PropFifo, TriggerEnableIsAskedFromTheFifo) {
  qcTriggerProp t;
  t.fifo(drv);
  drv.answers.triggerEnable = false;
  EXPECT_FALSE(t.triggerEnable());
  t.clearFifoAssociation();
  EXPECT_FALSE(t.triggerEnable());  // the answer was kept
}

TEST(PropTriggerMaster, MasterAndSlaveReachTheDriversOfBothFifos) {
  auto* slaveDrv = new qcRecordingAcqFifo;
  auto* masterDrv = new qcRecordingAcqFifo;
  qcPtrHandle<qcAcqFifo> slave(new PropsTestFifo(slaveDrv));
  qcPtrHandle<qcAcqFifo> master(new PropsTestFifo(masterDrv));
  qcTriggerProp& trig = slave->properties();

  slaveDrv->answers.couldSlaveTo = true;
  EXPECT_TRUE(trig.couldSlaveTo(master));
  EXPECT_FALSE(trig.couldSlaveTo(nullptr));
  trig.triggerMaster(master);
  EXPECT_EQ(slaveDrv->master, masterDrv);
  EXPECT_EQ(trig.triggerMaster(), master);
  trig.triggerMaster(nullptr);
  EXPECT_EQ(slaveDrv->master, nullptr);
  EXPECT_EQ(slaveDrv->callsNamed("couldSlaveTo"), Calls{"couldSlaveTo(set)"});
  EXPECT_EQ(slaveDrv->callsNamed("triggerMaster"), (Calls{"triggerMaster(set)", "triggerMaster(null)"}));
  EXPECT_TRUE(masterDrv->callsNamed("triggerMaster").empty());
}

TEST(PropTriggerMaster, FifoShortcutsReachTheTriggerProperty) {
  auto* drv = new qcRecordingAcqFifo;
  qcPtrHandle<qcAcqFifo> fifo(new PropsTestFifo(drv));
  drv->clearCalls();
  fifo->triggerModel(qfAutoTrigger());
  fifo->triggerEnable(false);
  EXPECT_EQ(fifo->triggerModel(), qfAutoTrigger());
  EXPECT_FALSE(fifo->triggerEnable());
  qcPtrHandle<qcTriggerModel> custom(qfSemiTrigger().copyForCustomization());
  fifo->triggerModel(custom);
  EXPECT_EQ(&fifo->triggerModel(), custom.ptr());
  EXPECT_EQ(drv->calls(),
            (Calls{"triggerModel(Automatic)", "triggerEnable(false)", "triggerEnable()", "triggerModel(Custom)"}));
}

}  // namespace
