// The simulated board end to end: the plugin is loaded, every typed FIFO
// delivers images of its type and size, the test images and the pel pipeline.
#include <thread>

#include <qrn/acq/format/catalog.h>
#include <qrn/acq/hyper/driver.h>
#include <qrn/acq/hyper/fgcaps.h>
#include <qrn/acq/hyper/prop/propquery.h>

#include "sim_fixture.h"

namespace {

qcSimTestFormat& small() {
  static qcSimTestFormat f("SimTest 24x16", 24, 16);
  return f;
}

TEST(SimBoard, PluginLoadsAndRegistersOneBoardByDefault) {
  ASSERT_GE(qcFrameGrabber::count(), 1);
  bool loaded = false;
  for (const qsDriverLoadRecord& r : qf_driverLoadRecords())
    if (r.path.find("libqrnsim.so") != std::string::npos) loaded = r.loaded;
  EXPECT_TRUE(loaded);
  long simBoards = 0;
  for (long i = 0; i < qcBoard::count(); ++i) simBoards += qcBoard::get(i).name() == "sim";
  EXPECT_EQ(simBoards, 1);
  qcFrameGrabber& fg = qfSimGrabber();
  EXPECT_EQ(fg.getUniqueId(), "sim:0");
  EXPECT_TRUE(fg.supportsCCFs());
  EXPECT_TRUE(fg.isSupported(qfXc75_640x480()));
  EXPECT_TRUE(fg.isSupported(small().fmt));
  EXPECT_TRUE(fg.isSupportedEx(small().fmt, qeImageFormat_Grey16));
  EXPECT_FALSE(fg.isSupportedEx(small().fmt, qeImageFormat_UYVY));
  // Image formats outside the table are not supported.
  for (int bad : {0, 20, 99, -2}) EXPECT_FALSE(fg.isSupportedEx(small().fmt, static_cast<qeImageFormat>(bad))) << bad;
}

// ---- every typed FIFO: type, size and pels of the moving gradient ------------

template <class F, class Check>
void gradientFrom(Check check) {
  auto f = qfSimFifo<F>(small().fmt);
  ASSERT_TRUE(f->start(2));
  for (int i = 0; i < 2; ++i) {
    qcAcquireInfo info;
    auto img = f->complete(qfWait(info));
    ASSERT_TRUE(img.isBound());
    EXPECT_FALSE(info.failure());
    EXPECT_EQ(info.triggerNum(), static_cast<unsigned long>(i + 1));
    EXPECT_EQ(img.width(), 24);
    EXPECT_EQ(img.height(), 16);
    EXPECT_TRUE(img.isLocal());  // moved out of the pool (makeLocal)
    for (long y = 0; y < 16; y += 3)
      for (long x = 0; x < 24; x += 5) check(img, x, y, static_cast<unsigned>((x + y + info.triggerNum()) % 256));
  }
}

TEST(SimFifos, EveryTypedFifoDeliversItsPelsAndSize) {
  gradientFrom<qcStdGreyAcqFifo>([](auto& img, long x, long y, unsigned v) { EXPECT_EQ(img.get(x, y), v); });
  gradientFrom<qcStdGrey16AcqFifo>([](auto& img, long x, long y, unsigned v) { EXPECT_EQ(img.get(x, y), v * 257); });
  gradientFrom<qcStdRGB16AcqFifo>(
      [](auto& img, long x, long y, unsigned v) { EXPECT_EQ(img.get(x, y), qcPackedRGB16Pel(v, v, v)); });
  gradientFrom<qcStdRGB32AcqFifo>(
      [](auto& img, long x, long y, unsigned v) { EXPECT_EQ(img.get(x, y), qcPackedRGB32Pel(v, v, v, 0)); });
  gradientFrom<qcStd3PlaneAcqFifo>(
      [](auto& img, long x, long y, unsigned v) { EXPECT_EQ(img.get(x, y), qc3PlanePel(v, v, v)); });
}

TEST(SimFifos, FifosByInternalImageTypeDeliverThroughCompleteAcq) {
  qcFrameGrabber& fg = qfSimGrabber();
  struct Case {
    long pelType;
    qeImageFormat format;
    unsigned long maxValue;  // of a pel holding 255
  } cases[] = {{qe_pelType_mono16, qeImageFormat_Grey16, 65535}, {qe_pelType_mono12, qeImageFormat_Grey12, 4095},
               {qe_pelType_mono10, qeImageFormat_Grey10, 1023}, {qe_pelType_RAW8, qeImageFormat_Raw8, 255}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pelType);
    qc_AcqFifo* driver = fg.internal()->newAcqFifo(small().fmt.internal(true), c.pelType);
    qcPtrHandle<qcStdAcqFifo> f(new qcStdAcqFifo(*driver, small().fmt, fg, c.format));
    static_cast<qc8BitInputLutProp&>(f->properties()).inputLut(qc8BitInputLutProp::positive8BitLut);
    qfSimSet(*f, qrn_sim::kTestImage, "checkerboard");
    qfSimSet(*f, qrn_sim::kFramePeriod, "0");
    f->start(1);
    qcAcquireInfo info;
    qcPtrHandle<qcAcqImage> img = f->completeAcq(qfWait(info));
    ASSERT_FALSE(img->isEmpty());
    EXPECT_EQ(img->imageFormat(), c.format);
    EXPECT_TRUE(img->buffer()->isLocal());
    if (c.format == qeImageFormat_Raw8) {
      EXPECT_EQ(img->grey8().get(0, 0), 255);
      EXPECT_EQ(img->grey8().get(8, 0), 0);
    } else {
      EXPECT_EQ(img->grey16().get(0, 0), c.maxValue);
      EXPECT_EQ(img->grey16().get(8, 0), 0u);
      EXPECT_EQ(img->grey16().width(), 24);
    }
  }
  EXPECT_THROW(fg.internal()->newAcqFifo(small().fmt.internal(true), qe_pelType_UYVY), qcVideoFormat::NotSupported);
}

TEST(SimFifos, CompletionOfAnotherPelKindGivesNoImageAndConsumesNothing) {
  auto f = qfSimFifo<qcStdRGB32AcqFifo>(small().fmt);
  f->start(1);
  qcAcquireInfo info;
  qcPelBuffer<unsigned char> wrong = f->fifo().complete8(qfWait(info, 0.2));
  EXPECT_FALSE(wrong.isBound());
  EXPECT_TRUE(info.failure().isAbnormal());
  EXPECT_TRUE(f->complete(qfWait(info)).isBound());
}

// ---- test images ----------------------------------------------------------------

template <class F>
auto grab(qcPtrHandle<F>& f, qcAcquireInfo* infoOut = nullptr) {
  qcAcquireInfo info;
  f->start(1);
  auto img = f->complete(qfWait(info));
  if (infoOut) *infoOut = info;
  return img;
}

TEST(SimImages, CheckerboardColorAndFlat) {
  auto g = qfSimFifo<qcStdGreyAcqFifo>(small().fmt);
  qcCustomPropertyBag bag;
  bag.addItem(qcCustomPropertyBag::qeWrite, qrn_sim::kTestImage, "checkerboard");
  bag.addItem(qcCustomPropertyBag::qeWrite, qrn_sim::kCheckerSize, "4");
  qfSimSend(*g, bag);
  auto img = grab(g);
  EXPECT_EQ(img.get(0, 0), 255);
  EXPECT_EQ(img.get(3, 3), 255);
  EXPECT_EQ(img.get(4, 0), 0);
  EXPECT_EQ(img.get(4, 4), 255);

  auto c = qfSimFifo<qcStdRGB32AcqFifo>(small().fmt);
  qfSimSet(*c, qrn_sim::kTestImage, "color");
  auto col = grab(c);
  EXPECT_EQ(col.get(0, 0), qcPackedRGB32Pel(0, 0, 255, 0));
  EXPECT_EQ(col.get(23, 15), qcPackedRGB32Pel(255, 255, 0, 0));
  EXPECT_EQ(col.get(23, 0), qcPackedRGB32Pel(255, 0, 0, 0));

  qfSimSet(*g, qrn_sim::kTestImage, "color");  // grey: the scene's luma
  auto luma = grab(g);
  EXPECT_EQ(luma.get(0, 0), (29u * 255) >> 8);
  EXPECT_EQ(luma.get(23, 15), ((77u + 150u) * 255) >> 8);

  qfSimSet(*g, qrn_sim::kTestImage, "flat");
  qfSimSet(*g, qrn_sim::kFlatValue, "77");
  auto flat = grab(g);
  EXPECT_EQ(qcHistoStats(qfPelHistogram(flat)).min(), 77);
  EXPECT_EQ(qcHistoStats(qfPelHistogram(flat)).max(), 77);
}

TEST(SimImages, BayerMosaicInEachPhase) {
  auto f = qfSimFifo<qcStdGreyAcqFifo>(small().fmt);
  // The colour scene at a 2 x 2 cell: red 255x/23, green 255y/15, blue 255-red.
  auto comp = [](int k, long x, long y) -> unsigned {
    const unsigned r = 255 * x / 23, g = 255 * y / 15;
    return k == 0 ? r : k == 1 ? g : 255 - r;
  };
  struct Case {
    const char* name;
    int cell[4];  // components at (0,0), (1,0), (0,1), (1,1)
  } cases[] = {{"bayerRG", {0, 1, 1, 2}}, {"bayerGR", {1, 0, 2, 1}}, {"bayerGB", {1, 2, 0, 1}}, {"bayerBG", {2, 1, 1, 0}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    qfSimSet(*f, qrn_sim::kTestImage, c.name);
    auto img = grab(f);
    for (long y = 6; y < 8; ++y)
      for (long x = 10; x < 12; ++x) EXPECT_EQ(img.get(x, y), comp(c.cell[(y & 1) * 2 + (x & 1)], x, y));
  }
}

TEST(SimImages, TwoTapLinesDifferInGainAndOffset) {
  auto f = qfSimFifo<qcStdGreyAcqFifo>(small().fmt);
  qcCustomPropertyBag bag;
  bag.addItem(qcCustomPropertyBag::qeWrite, qrn_sim::kTestImage, "twotap");
  bag.addItem(qcCustomPropertyBag::qeWrite, qrn_sim::kTapGain, "1.5");
  bag.addItem(qcCustomPropertyBag::qeWrite, qrn_sim::kTapOffset, "-10");
  qfSimSend(*f, bag);
  auto img = grab(f);
  for (long x : {0L, 11L, 23L}) {
    const double base = 20 + 200 * x / 23;
    EXPECT_EQ(img.get(x, 4), static_cast<unsigned>(std::lround(base)));
    EXPECT_EQ(img.get(x, 5), static_cast<unsigned>(std::clamp(std::lround(base * 1.5 - 10), 0L, 255L)));
  }
}

TEST(SimImages, GradientMovesWithTheFrameNumber) {
  auto f = qfSimFifo<qcStdGreyAcqFifo>(small().fmt);
  qcAcquireInfo a, b;
  auto i1 = grab(f, &a);
  auto i2 = grab(f, &b);
  ASSERT_EQ(b.triggerNum(), a.triggerNum() + 1);
  EXPECT_EQ(i2.get(5, 5), (i1.get(5, 5) + 1) % 256);
}

TEST(SimImages, BadCustomItemsAreRefused) {
  auto f = qfSimFifo<qcStdGreyAcqFifo>(small().fmt);
  EXPECT_THROW(qfSimSet(*f, qrn_sim::kTestImage, "zebra"), qcAcqFifo::BadParams);
  EXPECT_THROW(qfSimSet(*f, "NoSuchItem", "1"), qcAcqFifo::BadParams);
  EXPECT_THROW(qfSimSet(*f, qrn_sim::kFramePeriod, "-1"), qcAcqFifo::BadParams);
  EXPECT_THROW(qfSimInject(*f, "gremlins"), qcAcqFifo::BadParams);
  EXPECT_THROW(qfSimFireInputLine(*f, 99), qcAcqFifo::BadParams);
  // The bag is emptied again after a refused item.
  EXPECT_EQ(static_cast<qcCustomProp&>(f->properties()).customValues().getItemCount(), 0);
}

// ---- the pel pipeline: exposure, contrast/brightness per tap, LUT, ROI, sampling

TEST(SimPipeline, ExposureScalesBrightness) {
  auto f = qfSimFifo<qcStdGreyAcqFifo>(small().fmt);
  qfSimSet(*f, qrn_sim::kTestImage, "flat");
  qfSimSet(*f, qrn_sim::kFlatValue, "100");
  qcExposureProp& e = f->properties();
  EXPECT_DOUBLE_EQ(e.exposure(), 0.01);  // the FIFO's default exposure
  e.exposure(0.005);
  EXPECT_EQ(grab(f).get(3, 3), 50);
  e.exposure(0.04);
  EXPECT_EQ(grab(f).get(3, 3), 255);  // saturates
}

TEST(SimPipeline, ContrastAndBrightnessPerTapAndTheInputTable) {
  auto f = qfSimFifo<qcStdGreyAcqFifo>(small().fmt);
  qfSimSet(*f, qrn_sim::kTestImage, "flat");
  qfSimSet(*f, qrn_sim::kFlatValue, "100");
  qcContrastBrightnessProp& cb = f->properties();
  ASSERT_EQ(f->fifo().numTaps(), 2);
  EXPECT_EQ(cb.contrast(qcContrastBrightnessProp::channel0), 0.0);  // the FIFO's neutral setting
  // Contrast 0.5 selects an input window 128 levels wide: [0, 128] with
  // brightness 1, [63.5, 191.5] with brightness 0.5.
  cb.contrastBrightness(0.5, 1.0, qcContrastBrightnessProp::channel0);
  cb.contrastBrightness(0.5, 0.5, qcContrastBrightnessProp::channel1);
  auto img = grab(f);
  EXPECT_EQ(img.get(0, 0), 199);  // 100 * 255 / 128
  EXPECT_EQ(img.get(0, 1), 73);   // (100 - 63.5) * 255 / 128
  cb.contrastBrightness(0.0, 0.5);

  unsigned char invert[256];
  for (int i = 0; i < 256; ++i) invert[i] = static_cast<unsigned char>(255 - i);
  qc8BitInputLutProp& lut = f->properties();
  lut.inputLut(invert);
  EXPECT_EQ(grab(f).get(2, 2), 155);
  lut.inputLut(qc8BitInputLutProp::default8BitInputLut);  // clips to 15..240
  qfSimSet(*f, qrn_sim::kFlatValue, "3");
  EXPECT_EQ(grab(f).get(2, 2), 15);
}

TEST(SimPipeline, RegionOfInterestAndSampling) {
  auto f = qfSimFifo<qcStdGreyAcqFifo>(small().fmt);
  qcRoiProp& roi = f->properties();
  roi.roi(qcPelRect(4, 2, 10, 6));
  EXPECT_EQ(roi.actualRoi(), qcPelRect(4, 2, 10, 6));
  qcAcquireInfo info;
  auto img = grab(f, &info);
  ASSERT_EQ(img.size(), (qcPair<long>(10, 6)));
  EXPECT_EQ(img.offset(), (qcPair<long>(4, 2)));
  EXPECT_EQ(img.get(0, 0), (4 + 2 + info.triggerNum()) % 256);

  qcSampleProp& s = f->properties();
  s.sampleX(2);
  s.sampleY(2);
  img = grab(f, &info);
  ASSERT_EQ(img.size(), (qcPair<long>(5, 3)));
  EXPECT_EQ(img.get(1, 1), (6 + 4 + info.triggerNum()) % 256);
  EXPECT_THROW(s.sampleX(3), qcAcqFifo::BadParams);

  s.sampleX(1);
  s.sampleY(1);
  roi.roi(qcPelRect(20, 10, 10, 10));  // clipped to the frame
  EXPECT_EQ(roi.actualRoi(), qcPelRect(20, 10, 4, 6));
  EXPECT_EQ(grab(f).size(), (qcPair<long>(4, 6)));
}

// ---- makeLocal, pool, flush -------------------------------------------------------

TEST(SimPool, NonLocalImagesStayInThePoolUntilReleased) {
  auto f = qfSimFifo<qcStdGreyAcqFifo>(small().fmt);
  f->hardwareImagePoolSize(2);
  EXPECT_EQ(f->hardwareImagePoolSize(), 2);
  EXPECT_EQ(f->defaultHardwareImagePoolSize(), 4);
  EXPECT_EQ(f->availableAcqs(), 2);
  qcAcquireInfo info;
  f->start(3);
  auto a = f->complete(qfWait(info).makeLocal(false));
  auto b = f->complete(qfWait(info).makeLocal(false));
  ASSERT_TRUE(a.isBound() && b.isBound());
  EXPECT_FALSE(a.isLocal());
  EXPECT_EQ(f->availableAcqs(), 0);
  // The third acquisition waits for a buffer.
  EXPECT_FALSE(f->complete(qfWait(info, 0.1)).isBound());
  EXPECT_TRUE(info.failure().isTimeout());
  EXPECT_EQ(f->pendingAcqs(), 1);
  a = qcPelBuffer<unsigned char>();
  auto c = f->complete(qfWait(info));
  ASSERT_TRUE(c.isBound());
  EXPECT_TRUE(c.isLocal());  // makeLocal: copied, and its pool buffer is back
  EXPECT_EQ(info.triggerNum(), 3u);
  b = qcPelBuffer<unsigned char>();
  EXPECT_TRUE(qfEventually([&] { return f->availableAcqs() == 2; }));

  qfSimSet(*f, qrn_sim::kLocalImages, "1");
  f->start(1);
  EXPECT_TRUE(f->complete(qfWait(info).makeLocal(false)).isLocal());
}

TEST(SimPool, ThreePlaneImagesAreMovedByTheDriver) {
  auto f = qfSimFifo<qcStd3PlaneAcqFifo>(small().fmt);
  qcAcquireInfo info;
  f->start(2);
  EXPECT_TRUE(f->complete(qfWait(info)).isLocal());
  EXPECT_FALSE(f->complete(qfWait(info).makeLocal(false)).isLocal());
}

TEST(SimPool, FlushDropsPendingAndCompletedAcquisitions) {
  auto f = qfSimFifo<qcStdGreyAcqFifo>(small().fmt, 0.02);
  f->start(5);
  ASSERT_TRUE(qfEventually([&] { return f->completedAcqs() >= 1; }));
  f->flush();
  EXPECT_EQ(f->completedAcqs(), 0);
  EXPECT_TRUE(qfEventually([&] { return f->isIdle(); }));
  qcAcquireInfo info;
  EXPECT_FALSE(f->complete(qfWait(info, 0.05)).isBound());
  EXPECT_EQ(f->completedAcqs(), 0);
  EXPECT_TRUE(qfEventually([&] { return f->availableAcqs() == 4; }));
}

TEST(SimFifos, AutoStartAndPrepare) {
  auto f = qfSimFifo<qcStdGreyAcqFifo>(small().fmt);
  std::string msg = "x";
  EXPECT_TRUE(f->prepare(msg, 1.0));
  EXPECT_TRUE(msg.empty());
  EXPECT_TRUE(f->isPrepared());
  qcAcqFifo::qeStartReqStatus status{};
  qcAcquireInfo info;
  auto img = f->complete(qfWait(info).autoStart(true).startReqStatus(&status));
  EXPECT_TRUE(img.isBound());
  EXPECT_EQ(status, static_cast<qcAcqFifo::qeStartReqStatus>(qeSimStart_Granted));

  f->triggerEnable(false);
  f->triggerModel(qfFreeRunTrigger());
  img = f->complete(qfWait(info, 0.05).autoStart(true).startReqStatus(&status));
  EXPECT_EQ(status, static_cast<qcAcqFifo::qeStartReqStatus>(qeSimStart_Refused));
}

// ---- what the driver says it supports ----------------------------------------------

TEST(SimFifos, SettingsDatabaseAndPropertyQuery) {
  auto f = qfSimFifo<qcStdGreyAcqFifo>(small().fmt);
  EXPECT_TRUE(qfFQ2IsTriggerDelaySupported(*f));
  EXPECT_TRUE(qfFQ2IsSampleXSupported(*f));
  EXPECT_TRUE(qfFQ2IsSampleYSupported(*f));
  const std::vector<long>* xs = qfFQ2GetSampleXSettings(*f);
  ASSERT_NE(xs, nullptr);
  EXPECT_EQ(*xs, (std::vector<long>{1, 2, 4}));
  for (long id : {1004L, 1005L, 1006L, 1007L, 1019L, 1020L, 6002L})
    EXPECT_NE(f->fifo().getSettingInfo(id), nullptr) << id;
  EXPECT_DOUBLE_EQ(f->fifo().getSettingInfo(6002)->maximum(), 0.065535);
  // The trigger delay property is limited by setting 6002.
  qcTriggerFilterProp& tf = f->properties();
  EXPECT_THROW(tf.triggerDelay(0.07), qcTriggerFilterProp::BadParams);

  qcAcqPropertyQuery& q = f->propertyQuery();
  EXPECT_EQ(static_cast<qcExposureProp*>(q), static_cast<qcExposureProp*>(&f->properties()));
  EXPECT_NE(static_cast<qcCustomProp*>(q), nullptr);
  EXPECT_NE(static_cast<qc8BitInputLutProp*>(q), nullptr);
  EXPECT_EQ(static_cast<qcEncoderProp*>(q), nullptr);
  EXPECT_THROW((void)static_cast<qcEncoderProp&>(q), std::bad_cast);

  auto g16 = qfSimFifo<qcStdGrey16AcqFifo>(small().fmt);
  EXPECT_EQ(static_cast<qc8BitInputLutProp*>(g16->propertyQuery()), nullptr);  // no table for 16-bit pels
}

}  // namespace
