// The property set: association, copies, assignment order, clearing.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "props_fixture.h"

namespace {

using Calls = std::vector<std::string>;

bool isQuery(const std::string& call) {
  static const std::vector<std::string> queries = {
      "defaultExposure()", "defaultPelPool()", "lutEntries()", "numTaps()", "defaultContrast()",
      "defaultBrightness()", "defaultOutlierPelCorrectionEnable()"};
  return std::find(queries.begin(), queries.end(), call) != queries.end();
}

TEST(PropSet, AssociationReadsDefaultsAndSendsOnlyWhatTheyImply) {
  qcRecordingAcqFifo drv;
  drv.answers.defaultExposure = 0.01;
  qcAnalogAcqProps set;
  set.fifo(drv);
  EXPECT_EQ(static_cast<qcExposureProp&>(set).exposure(), 0.01);
  EXPECT_EQ(drv.count("exposure"), 0u);
  Calls sent;
  for (const std::string& c : drv.calls())
    if (!isQuery(c)) sent.push_back(c);
  // Contrast and brightness go through their setters; the CDC flag updates.
  EXPECT_EQ(sent, (Calls{"setContrast(0.5,0)", "setBrightness(0.5,0)", "update(qcCdcCameraCalibrationProp)"}));
  // Queries come in association order: exposure, pool, LUT, contrast, CDC.
  Calls queries;
  for (const std::string& c : drv.calls())
    if (isQuery(c) && (queries.empty() || queries.back() != c)) queries.push_back(c);
  EXPECT_EQ(queries.front(), "defaultExposure()");
  EXPECT_EQ(queries[1], "defaultPelPool()");
  EXPECT_EQ(queries.back(), "defaultOutlierPelCorrectionEnable()");
  set.clearFifoAssociation();
}

TEST(PropSet, EveryMemberIsAssociatedAndCleared) {
  qcRecordingAcqFifo drv;
  qcAcqProps set;
  set.fifo(drv);
  const std::vector<qc_AcqFifo*> fifos = {
      static_cast<qcTriggerProp&>(set).fifoPtr_(),       static_cast<qcTriggerFilterProp&>(set).fifoPtr_(),
      static_cast<qcStrobeProp&>(set).fifoPtr_(),        static_cast<qcStrobeDelayProp&>(set).fifoPtr_(),
      static_cast<qcExposureProp&>(set).fifoPtr_(),      static_cast<qcSettlingTimeProp&>(set).fifoPtr_(),
      static_cast<qcTimeoutProp&>(set).fifoPtr_(),       static_cast<qcCameraPortProp&>(set).fifoPtr_(),
      static_cast<qcCameraLocationProp&>(set).fifoPtr_(), static_cast<qcMovePartCallbackProp&>(set).fifoPtr_(),
      static_cast<qcOverrunCallbackProp&>(set).fifoPtr_(), static_cast<qcCompleteCallbackProp&>(set).fifoPtr_(),
      static_cast<qcPelRootPoolProp&>(set).fifoPtr_(),   static_cast<qcCtiProp&>(set).fifoPtr_(),
      static_cast<qcHorizAdjustProp&>(set).fifoPtr_(),   static_cast<qcRoiProp&>(set).fifoPtr_(),
      static_cast<qcSyncProp&>(set).fifoPtr_(),          static_cast<qcLightProp&>(set).fifoPtr_(),
      static_cast<qc8BitInputLutProp&>(set).fifoPtr_(),  static_cast<qcContrastBrightnessProp&>(set).fifoPtr_(),
      static_cast<qcFirstPelOffsetProp&>(set).fifoPtr_(), static_cast<qcEncoderControlProp&>(set).fifoPtr_(),
      static_cast<qcEncoderProp&>(set).fifoPtr_(),       static_cast<qcClippingProp&>(set).fifoPtr_(),
      static_cast<qcOffsetClampProp&>(set).fifoPtr_(),   static_cast<qcAlphaColorProp&>(set).fifoPtr_(),
      static_cast<qcDigitalCameraControlProp&>(set).fifoPtr_(), static_cast<qcCameraTestProp&>(set).fifoPtr_(),
      static_cast<qcSampleProp&>(set).fifoPtr_(),        static_cast<qcReadoutDirectionProp&>(set).fifoPtr_(),
      static_cast<qcCdcCameraCalibrationProp&>(set).fifoPtr_(), static_cast<qcCameraBandwidthProp&>(set).fifoPtr_(),
      static_cast<qcCustomProp&>(set).fifoPtr_()};
  ASSERT_EQ(fifos.size(), 33u);
  for (qc_AcqFifo* f : fifos) EXPECT_EQ(f, &drv);

  // Clearing frees every member, so associating again asserts nowhere
  // (the custom property included).
  PropsAssertCounter asserts;
  set.clearFifoAssociation();
  EXPECT_EQ(static_cast<qcCustomProp&>(set).fifoPtr_(), nullptr);
  EXPECT_EQ(static_cast<qcCameraLocationProp&>(set).fifoPtr_(), nullptr);
  drv.clearCalls();
  static_cast<qcExposureProp&>(set).exposure(1);
  EXPECT_TRUE(drv.calls().empty());
  qcRecordingAcqFifo other;
  set.fifo(other);
  EXPECT_EQ(asserts.count(), 0);
  set.clearFifoAssociation();
}

TEST(PropSet, CopyOfAnAssociatedSetIsFree) {
  qcRecordingAcqFifo drv;
  qcAnalogAcqProps set;
  set.fifo(drv);
  set.timeout(4);
  set.sampleX(2);
  qcAnalogAcqProps copy(set);
  EXPECT_EQ(copy.timeout(), 4);
  EXPECT_EQ(copy.sampleX(), 2);
  drv.clearCalls();
  copy.timeout(5);
  copy.sampleY(3);
  copy.setContrast(0.1);
  EXPECT_TRUE(drv.calls().empty());
  EXPECT_EQ(set.timeout(), 4);
  set.clearFifoAssociation();
}

// The first FIFO operation that each property's assignment sends, in base order.
const Calls kBaseOrder = {
    "triggerEnable(true)",                // trigger
    "update(qcTriggerFilterProp)",        // trigger filter
    "strobeEnable(false)",                // strobe
    "strobeDelay(0)",                     // strobe delay
    "exposure(2e-05)",                    // exposure
    "settlingTime(0)",                    // settling time
    "timeout(inf)",                       // timeout
    "cameraPort(0)",                      // camera port
    "cameraLocation(null)",               // camera location
    "movePartCallback(null)",             // move-part callback
    "overrunCallback(null)",              // overrun callback
    "completeCallback(null)",             // complete callback
    "pelRootPool(null)",                  // pel root pool
    "ctiOffset(inf)",                     // CTI
    "horizAdjust(inf)",                   // horizontal adjust
    "roi(0:0:0:0)",                       // ROI
    "syncModel(Internal drive)",          // sync (the FIFO's default)
    "lightCallback(null)",                // light
    "setLut(set,256,0)",                  // 8-bit input LUT
    "setContrast(0.5,0)",                 // contrast/brightness
    "firstPelOffset(0)",                  // first pel offset
    "zeroCounterWhenTriggered(false)",    // encoder control
    "useTestEncoder(false)",              // encoder
    "clippingEnable(true)",               // clipping
    "update(qcOffsetClampProp)",          // offset clamp
    "alphaEnable(false)",                 // alpha
    "selectHighGain(false)",              // camera control
    "update(qcCameraTestProp)",           // camera test
    "update(qcSampleProp)",               // sample
    "update(qcReadoutDirectionProp)",     // readout direction
    "update(qcCdcCameraCalibrationProp)", // CDC calibration
    "cameraBandwidth(1)",                 // camera bandwidth
    "update(qcCustomProp)",               // custom
};

TEST(PropSet, AssignmentReachesTheFifoInBaseOrder) {
  qcRecordingAcqFifo drv;
  drv.answers.lutEntries = 256;
  drv.answers.defaultSyncModel = &qfSyncInternalDrive();
  qcAnalogAcqProps target;
  target.fifo(drv);
  drv.clearCalls();

  const qcAcqProps source;  // defaults, free
  target = source;

  const Calls calls = drv.calls();
  std::size_t at = 0;
  for (const std::string& expected : kBaseOrder) {
    auto it = std::find(calls.begin() + static_cast<long>(at), calls.end(), expected);
    ASSERT_NE(it, calls.end()) << expected << " missing or out of order";
    at = static_cast<std::size_t>(it - calls.begin()) + 1;
  }
  EXPECT_EQ(static_cast<qcExposureProp&>(target).fifoPtr_(), &drv);  // still associated
  target.clearFifoAssociation();
}

TEST(PropSet, UncheckedValuesOfUpdateStyleMembersReachTheFifo) {
  // A direct load stores a width that the setter would refuse ...
  qcTriggerFilterProp loaded;
  propsLoad(loaded, propsWrite([](qcArchive& ar) {
    unsigned char v = 1;
    bool ignore = true;
    double width = 1.0, period = 0, delay = 0;
    ar || v || ignore || width || period || delay;
  }));
  qcAcqProps source;
  static_cast<qcTriggerFilterProp&>(source) = loaded;
  // ... and assigning the set passes it on unchecked.
  qcRecordingAcqFifo drv;
  drv.answers.defaultSyncModel = &qfSyncInternalDrive();
  qcAcqProps target;
  target.fifo(drv);
  drv.clearCalls();
  target = source;
  EXPECT_EQ(target.triggerWidth(), 1.0);
  EXPECT_EQ(drv.count("update"), 7u);  // the six update-style members and the custom property
  target.clearFifoAssociation();
}

TEST(PropSet, AnalogSelfAssignmentFromTheBaseDoesNothing) {
  qcRecordingAcqFifo drv;
  qcAnalogAcqProps set;
  set.fifo(drv);
  drv.clearCalls();
  set = static_cast<const qcAcqProps&>(set);
  EXPECT_TRUE(drv.calls().empty());
  set.clearFifoAssociation();
}

TEST(PropSet, PropertyFifoOfAStandardFifoIsTheSet) {
  auto* drv = new qcRecordingAcqFifo;
  drv->answers.defaultExposure = 0.004;
  qcPtrHandle<qcAcqFifo> fifo(new PropsTestFifo(drv));
  EXPECT_EQ(static_cast<qcExposureProp&>(fifo->properties()).exposure(), 0.004);
  EXPECT_NE(dynamic_cast<qcAnalogAcqProps*>(&fifo->properties()), nullptr);
}

}  // namespace
