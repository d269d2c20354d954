// The multi-channel FIFO over recording channel FIFOs: construction, how each
// operation reaches the channels, holding the trigger, and the completions.
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <qrn/acq/hyper/multififo.h>
#include <qrn/acq/hyper/typedfifo.h>
#include <qrn/foundation/misc.h>

#include "fake_fifo.h"
#include "fake_grabber.h"

namespace {

// The slots a driver supplies.
class TestMultiFifo : public qc_MultiAcqFifo {
public:
  using qc_MultiAcqFifo::qc_MultiAcqFifo;
  void roiMode(qe_RoiMode) override {}
  bool isRoiModeSupported(qe_RoiMode) override { return false; }
  void useSingleChannel(bool) override {}
  void encoderResolution(qe_EncoderResolution) override {}
  void startAcqOnEncoderCount(long) override {}
  void ignoreBackwardEncoderCountsBetweenAcquires(bool) override {}
  void ignoreTooFastEncoder(bool) override {}
};

struct AssertCounter {
  int count = 0;
  qcAssertObserver prev = qf_setAssertObserver([this](const char*, long) { ++count; });
  ~AssertCounter() { qf_setAssertObserver(prev); }
};

// A multi-channel FIFO whose channels are recording FIFOs.
struct Rig {
  qcTestDriver driver;
  qcTestVideoFormat fmt{"multi test 8x4", 8, 4};
  std::vector<qcRecordingAcqFifo*> ch;
  std::unique_ptr<TestMultiFifo> multi;

  explicit Rig(long n) {
    driver.makeFifo = [this](const qc_VideoFormat&, const qcBasicFifoTraits& t) {
      EXPECT_EQ(t, qcBasicFifoTraits::rgb1PlaneTraits());
      ch.push_back(new qcRecordingAcqFifo);
      return ch.back();
    };
    multi = std::make_unique<TestMultiFifo>(fmt.internal(), &driver, n);
    clear();
  }
  void clear() {
    for (auto* c : ch) c->clearCalls();
  }
  // Channel i completes with every pel `value`, and the failure flags
  // `failure` (0: none), trigger number 10 + i.
  // The image is `rect` (size and offset; 8 x 4 at (0, 0) by default).
  void answer(long i, unsigned char value, unsigned long failure = 0, qcPelRect rect = qcPelRect(0, 0, 8, 4)) {
    ch[static_cast<std::size_t>(i)]->answers.complete8 = [=](const qc_AcqFifo::CompleteArgs& a) {
      if (a.acquireInfo()) *a.acquireInfo() = qcAcquireInfo(7, 10 + i, qcAcqFailure(failure, 0), 100);
      if (a.startReqStatus()) *a.startReqStatus() = qcAcqFifo::qeStartReqStatus{};
      qcPelBuffer<unsigned char> b(rect.width(), rect.height());
      for (long y = 0; y < rect.height(); ++y)
        for (long x = 0; x < rect.width(); ++x) b.set(x, y, value);
      b.offset(rect.x(), rect.y());
      return b;
    };
  }
};

TEST(MultiFifo, ConstructionMakesSlavesOfChannelZeroOnFollowingPorts) {
  qcTestDriver driver;
  qcTestVideoFormat fmt("multi test", 8, 4);
  std::vector<qcRecordingAcqFifo*> ch;
  driver.makeFifo = [&](const qc_VideoFormat&, const qcBasicFifoTraits&) {
    ch.push_back(new qcRecordingAcqFifo);
    return ch.back();
  };
  TestMultiFifo m(fmt.internal(), &driver, 3);
  ASSERT_EQ(ch.size(), 3u);
  EXPECT_EQ(ch[0]->calls(), (std::vector<std::string>{"triggerEnable(false)", "cameraPort(0)", "triggerEnable(true)"}));
  for (long i = 1; i < 3; ++i) {
    EXPECT_EQ(ch[static_cast<std::size_t>(i)]->calls(),
              (std::vector<std::string>{"triggerEnable(false)", "triggerMaster(set)", "triggerModel(Slave)",
                                        "cameraPort(" + std::to_string(i) + ")"}));
    EXPECT_EQ(ch[static_cast<std::size_t>(i)]->master, ch[0]);
  }
  EXPECT_EQ(m.numTaps(), 3);
  EXPECT_EQ(m.numCameraPort(), 1);
  qc_ProblemFlags flags = 0x40;
  EXPECT_TRUE(m.isValid(flags));
  EXPECT_EQ(flags, 0x40u);
  EXPECT_EQ(ch[0]->count("isValid"), 0u);
}

TEST(MultiFifo, ConstructionFailureDeletesTheChannelsMadeSoFar) {
  qcTestDriver driver;
  qcTestVideoFormat fmt("multi test", 8, 4);
  int made = 0, deleted = 0;
  driver.makeFifo = [&](const qc_VideoFormat&, const qcBasicFifoTraits&) -> qc_AcqFifo* {
    if (made == 2) throw qcVideoFormat::NotSupported();
    ++made;
    auto* f = new qcRecordingAcqFifo;
    f->onDestroy = [&] { ++deleted; };
    return f;
  };
  EXPECT_THROW(TestMultiFifo(fmt.internal(), &driver, 3), qcVideoFormat::NotSupported);
  EXPECT_EQ(deleted, 2);
  EXPECT_THROW(TestMultiFifo(fmt.internal(), nullptr, 2), qcAcqFifo::CouldNotCreate);
}

// The routing table: which channels hear an operation, and as what.
TEST(MultiFifo, EachOperationReachesItsChannels) {
  enum Who { ch0Only, every, ignored, channel1 };
  struct Case {
    const char* name;
    std::function<void(qc_AcqFifo&)> op;
    Who who;
    std::vector<std::string> heard;  // per channel for `every`, else what the one channel hears
  };
  const std::vector<Case> cases = {
      {"start", [](qc_AcqFifo& f) { f.start(3); }, ch0Only, {"start(3)"}},
      {"isIdle", [](qc_AcqFifo& f) { f.isIdle(); }, ch0Only, {"isIdle()"}},
      {"availableAcqs", [](qc_AcqFifo& f) { f.availableAcqs(); }, ch0Only, {"availableAcqs()"}},
      {"prepare", [](qc_AcqFifo& f) { f.prepare(nullptr, qcDeadline(1.0)); }, ch0Only, {"prepare(null)"}},
      {"trigger", [](qc_AcqFifo& f) { f.trigger(); }, ch0Only, {"trigger()"}},
      {"completeCallback", [](qc_AcqFifo& f) { f.completeCallback({}); }, ch0Only, {"completeCallback(null)"}},
      {"overrunInfoCallback", [](qc_AcqFifo& f) { f.overrunInfoCallback({}); }, ch0Only,
       {"overrunInfoCallback(null)"}},
      {"strobeEnable", [](qc_AcqFifo& f) { f.strobeEnable(true); }, ch0Only, {"strobeEnable(true)"}},
      {"triggerLowToHigh", [](qc_AcqFifo& f) { f.triggerLowToHigh(false); }, ch0Only, {"triggerLowToHigh(false)"}},
      {"lightPower", [](qc_AcqFifo& f) { f.lightPower(0.5); }, ch0Only, {"lightPower(0.5)"}},
      {"lightsOff", [](qc_AcqFifo& f) { f.lightsOff(); }, ch0Only, {"lightsOff()"}},
      {"lutEntries", [](qc_AcqFifo& f) { f.lutEntries(); }, ch0Only, {"lutEntries()"}},
      {"actualRoi", [](qc_AcqFifo& f) { f.actualRoi(); }, ch0Only, {"actualRoi()"}},
      {"initializePropertyQuery", [](qc_AcqFifo& f) { f.initializePropertyQuery(nullptr); }, ch0Only,
       {"initializePropertyQuery(null)"}},
      {"getValidSampleSettings", [](qc_AcqFifo& f) { f.getValidSampleSettings(); }, ch0Only,
       {"getValidSampleSettings()"}},
      {"triggerEnable", [](qc_AcqFifo& f) { f.triggerEnable(false); }, ch0Only, {"triggerEnable(false)"}},
      {"triggerModel", [](qc_AcqFifo& f) { f.triggerModel(qfFreeRunTrigger().internal()); }, ch0Only,
       {"triggerModel(FreeRun)"}},
      {"setContrast", [](qc_AcqFifo& f) { f.setContrast(0.7, 1); }, channel1, {"setContrast(0.7,0)"}},
      {"setBrightness", [](qc_AcqFifo& f) { f.setBrightness(0.2, 1); }, channel1, {"setBrightness(0.2,0)"}},
      {"setLut", [](qc_AcqFifo& f) { f.setLut(qc8BitInputLutProp::positive8BitLut, 256, 1); }, channel1,
       {"setLut(set,256,0)"}},
      {"flush", [](qc_AcqFifo& f) { f.flush(); }, every, {"flush()", "flush()", "flush()"}},
      {"cameraPort", [](qc_AcqFifo& f) { f.cameraPort(5); }, every, {"cameraPort(5)", "cameraPort(6)", "cameraPort(7)"}},
      {"exposure", [](qc_AcqFifo& f) { f.exposure(0.01); }, every, {"exposure(0.01)", "exposure(0.01)", "exposure(0.01)"}},
      {"roi", [](qc_AcqFifo& f) { f.roi(qcPelRect(1, 2, 3, 4)); }, every, {"roi(1:2:3:4)", "roi(1:2:3:4)", "roi(1:2:3:4)"}},
      {"strobeDelay", [](qc_AcqFifo& f) { f.strobeDelay(0.001); }, every,
       {"strobeDelay(0.001)", "strobeDelay(0.001)", "strobeDelay(0.001)"}},
      {"clippingUpperLimit", [](qc_AcqFifo& f) { f.clippingUpperLimit(200); }, every,
       {"clippingUpperLimit(200)", "clippingUpperLimit(200)", "clippingUpperLimit(200)"}},
      {"firstPelOffset", [](qc_AcqFifo& f) { f.firstPelOffset(-3); }, every,
       {"firstPelOffset(-3)", "firstPelOffset(-3)", "firstPelOffset(-3)"}},
      {"timeout", [](qc_AcqFifo& f) { f.timeout(1.0); }, ignored, {}},
      {"triggerMaster", [](qc_AcqFifo& f) { f.triggerMaster(nullptr); }, ignored, {}},
      {"alphaEnable", [](qc_AcqFifo& f) { f.alphaEnable(true); }, ignored, {}},
      {"selectHighGain", [](qc_AcqFifo& f) { f.selectHighGain(true); }, ignored, {}},
      {"masterClockFrequency", [](qc_AcqFifo& f) { f.masterClockFrequency(40); }, ignored, {}},
      {"update", [](qc_AcqFifo& f) { qcSampleProp p; f.update(p); }, ignored, {}},
      {"encoderPort", [](qc_AcqFifo& f) { f.encoderPort(1); }, ignored, {}},
      {"zeroCounter", [](qc_AcqFifo& f) { f.zeroCounter(); }, ignored, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig r(3);
    c.op(*r.multi);
    for (std::size_t i = 0; i < 3; ++i) {
      std::vector<std::string> want;
      if (c.who == every) want = {c.heard[i]};
      else if ((c.who == ch0Only && i == 0) || (c.who == channel1 && i == 1)) want = c.heard;
      EXPECT_EQ(r.ch[i]->calls(), want) << "channel " << i;
    }
  }
}

TEST(MultiFifo, FixedAnswersAndABadTap) {
  Rig r(2);
  EXPECT_EQ(r.multi->numEncoderPort(), 0);
  EXPECT_EQ(r.multi->encoderTriggerLatency(), 0);
  EXPECT_EQ(r.multi->currentEncoderCount(), 0);
  AssertCounter asserts;
  r.multi->setContrast(0.5, 2);
  r.multi->setLut(qc8BitInputLutProp::positive8BitLut, 256, -1);
  EXPECT_EQ(asserts.count, 2);
  for (auto* c : r.ch) EXPECT_TRUE(c->calls().empty());
}

// Holding the trigger around an operation on every channel.
TEST(MultiFifo, HardwareTriggeredMasterIsHeldWhileEveryChannelChanges) {
  struct Case {
    const char* model;
    const qcTriggerModel& m;
    bool enabled;
    bool held;
  } cases[] = {{"Manual", qfManualTrigger(), true, false},
               {"Automatic", qfAutoTrigger(), true, true},
               {"Automatic, disabled", qfAutoTrigger(), false, false},
               {"Semi-Automatic", qfSemiTrigger(), true, false},
               {"FreeRun", qfFreeRunTrigger(), true, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.model);
    Rig r(3);
    r.multi->triggerModel(c.m.internal());
    r.multi->triggerEnable(c.enabled);
    r.clear();
    r.multi->exposure(0.01);
    std::vector<std::string> master = {"exposure(0.01)"};
    if (c.held) master = {"triggerEnable(false)", "exposure(0.01)", "triggerEnable(true)"};
    EXPECT_EQ(r.ch[0]->calls(), master);
    EXPECT_EQ(r.ch[1]->calls(), (std::vector<std::string>{"exposure(0.01)"}));
    EXPECT_EQ(r.ch[2]->calls(), (std::vector<std::string>{"exposure(0.01)"}));
  }
}

TEST(MultiFifo, TheTriggerIsReleasedWhenAChannelThrows) {
  Rig r(3);
  r.multi->triggerModel(qfAutoTrigger().internal());
  r.clear();
  r.ch[1]->failing.insert("exposure");
  EXPECT_THROW(r.multi->exposure(0.02), qcAcqFeatureNotImplemented);
  EXPECT_EQ(r.ch[0]->calls(), (std::vector<std::string>{"triggerEnable(false)", "exposure(0.02)", "triggerEnable(true)"}));
  EXPECT_TRUE(r.ch[2]->calls().empty());
}

// ---- completions -----------------------------------------------------------------

TEST(MultiFifo, CompletionsCombineTheChannels) {
  Rig r(3);
  r.answer(0, 200);
  r.answer(1, 100);
  r.answer(2, 50);
  qcAcquireInfo info;
  const auto args = qc_AcqFifo::CompleteArgs().maxWait(0.5).autoStart(true).makeLocal(false).acquireInfo(&info);

  const qcPelBuffer<qcPackedRGB32Pel> rgb = r.multi->completeRGB32(args);
  ASSERT_TRUE(rgb.isBound());
  EXPECT_EQ(rgb.get(3, 2), qcPackedRGB32Pel(200, 100, 50, 0));
  EXPECT_EQ(info.triggerNum(), 10u);  // channel 0's record
  EXPECT_FALSE(info.failure());
  // Every channel got the caller's wait, start and move arguments.
  for (auto* c : r.ch) EXPECT_EQ(c->calls(), (std::vector<std::string>{"complete8(0.5,true,false)"}));

  EXPECT_EQ(r.multi->completeRGB16(args).get(0, 0), qcPackedRGB16Pel(200, 100, 50));
  const qc3PlanePelBuffer planes = r.multi->complete3Plane(args);
  ASSERT_TRUE(planes.isBound());
  EXPECT_EQ(planes.get(1, 1), qc3PlanePel(200, 100, 50));
  const qcPelBuffer<unsigned char> grey = r.multi->complete8(args);
  ASSERT_TRUE(grey.isBound());
  EXPECT_EQ(grey.get(0, 0), 100);  // channel 1
}

TEST(MultiFifo, AFailureOfAnyChannelFailsTheWholeCompletionFirstFailureFirst) {
  struct Case {
    const char* name;
    unsigned long failures[3];
    unsigned long reported;
  } cases[] = {{"channel 2", {0, 0, qcAcqFailure::kOverrun}, qcAcqFailure::kOverrun},
               {"channels 1 and 2", {0, qcAcqFailure::kTimeout, qcAcqFailure::kAbnormal}, qcAcqFailure::kTimeout},
               {"channels 0 and 2", {qcAcqFailure::kIncomplete, 0, qcAcqFailure::kTimeout}, qcAcqFailure::kIncomplete}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig r(3);
    for (long i = 0; i < 3; ++i) r.answer(i, 9, c.failures[i]);
    qcAcquireInfo info;
    EXPECT_FALSE(r.multi->completeRGB32(qc_AcqFifo::CompleteArgs().acquireInfo(&info)).isBound());
    EXPECT_EQ(info.failure().rawFlags(), c.reported);
    EXPECT_EQ(info.triggerNum(), 10u);
    // Every channel was completed all the same, so the channels stay in step.
    for (auto* ch : r.ch) EXPECT_EQ(ch->count("complete8"), 1u);
    EXPECT_FALSE(r.multi->complete3Plane(qc_AcqFifo::CompleteArgs()).isBound());
    EXPECT_FALSE(r.multi->complete8(qc_AcqFifo::CompleteArgs()).isBound());
  }
}

// A region of interest set channel by channel while acquisitions run gives
// one trigger images of different regions: not a colour image, a failed
// acquisition (never an exception out of the completion).
TEST(MultiFifo, ChannelImagesOfDifferentRegionsFailTheCompletion) {
  struct Case {
    const char* name;
    qcPelRect rect2;
  } cases[] = {{"another size", qcPelRect(0, 0, 6, 4)}, {"another offset", qcPelRect(2, 0, 8, 4)}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig r(3);
    r.answer(0, 200);
    r.answer(1, 100);
    r.answer(2, 50, 0, c.rect2);
    const std::vector<std::function<bool(const qc_AcqFifo::CompleteArgs&)>> completions = {
        [&](const auto& a) { return r.multi->completeRGB32(a).isBound(); },
        [&](const auto& a) { return r.multi->completeRGB16(a).isBound(); },
        [&](const auto& a) { return r.multi->complete3Plane(a).isBound(); },
    };
    for (const auto& complete : completions) {
      qcAcquireInfo info;
      bool bound = true;
      EXPECT_NO_THROW(bound = complete(qc_AcqFifo::CompleteArgs().acquireInfo(&info)));
      EXPECT_FALSE(bound);
      EXPECT_TRUE(info.failure().isAbnormal());
      EXPECT_NE(info.failure().errorInfo().find("region"), std::string::npos) << info.failure().errorInfo();
      EXPECT_EQ(info.triggerNum(), 10u);
    }
    // The grey completion takes channel 1 alone: nothing to combine.
    EXPECT_TRUE(r.multi->complete8(qc_AcqFifo::CompleteArgs()).isBound());
    // Once every channel has the new region, completions are whole again.
    r.answer(0, 200, 0, c.rect2);
    r.answer(1, 100, 0, c.rect2);
    const qcPelBuffer<qcPackedRGB32Pel> whole = r.multi->completeRGB32(qc_AcqFifo::CompleteArgs());
    ASSERT_TRUE(whole.isBound());
    EXPECT_EQ(whole.offset(), (qcPair<long>(c.rect2.x(), c.rect2.y())));
  }
}

TEST(MultiFifo, AStartStatusOtherThanZeroStopsBeforeTheOtherChannels) {
  Rig r(3);
  r.answer(1, 1);
  r.answer(2, 2);
  r.ch[0]->answers.complete8 = [](const qc_AcqFifo::CompleteArgs& a) {
    *a.startReqStatus() = static_cast<qcAcqFifo::qeStartReqStatus>(2);
    return qcPelBuffer<unsigned char>(8, 4);
  };
  qcAcquireInfo info;
  qcAcqFifo::qeStartReqStatus status{};
  EXPECT_FALSE(r.multi->completeRGB32(qc_AcqFifo::CompleteArgs().acquireInfo(&info).startReqStatus(&status)).isBound());
  EXPECT_EQ(status, 2);
  EXPECT_TRUE(info.failure().isAbnormal());
  EXPECT_EQ(info.failure().abnormalErrorCode(), 2);
  EXPECT_EQ(r.ch[1]->count("complete8"), 0u);
  EXPECT_EQ(r.ch[2]->count("complete8"), 0u);
}

TEST(MultiFifo, ColourFromTwoChannelsIsRefusedBeforeAnyChannelIsCompleted) {
  Rig r(2);
  r.answer(0, 1);
  r.answer(1, 2);
  AssertCounter asserts;
  qcAcquireInfo info;
  const auto args = qc_AcqFifo::CompleteArgs().acquireInfo(&info);
  EXPECT_FALSE(r.multi->completeRGB32(args).isBound());
  EXPECT_TRUE(info.failure().isAbnormal());
  EXPECT_FALSE(r.multi->completeRGB16(args).isBound());
  EXPECT_FALSE(r.multi->complete3Plane(args).isBound());
  EXPECT_EQ(asserts.count, 3);
  for (auto* c : r.ch) EXPECT_EQ(c->count("complete8"), 0u);
  // Grey still works: channel 1.
  const auto grey = r.multi->complete8(qc_AcqFifo::CompleteArgs().acquireInfo(&info));
  ASSERT_TRUE(grey.isBound());
  EXPECT_EQ(grey.get(0, 0), 2);
  EXPECT_FALSE(info.failure());
}

}  // namespace
