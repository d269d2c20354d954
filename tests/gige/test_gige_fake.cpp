// The camera driver on Aravis's in-process fake camera: boards, formats,
// properties read back through the camera's features, trigger models,
// failures and the custom property.  No packet leaves the process.
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <qrn/acq/format/vidfmt.h>
#include <qrn/acq/hyper/callback.h>
#include <qrn/acq/hyper/framegrabber.h>
#include <qrn/acq/hyper/trigmodel.h>
#include <qrn/acq/hyper/typedfifo.h>
#include <qrn/drivers/gige.h>
#include <qrn/foundation/board.h>

#include "gigeconvert.h"
#include "frameid.h"
#include "gige_fixture.h"
#include "gige_mosaic.h"

namespace {

// Board 0: the fake camera; board 1: a USB3 Vision id that no device has.
// (An address where nothing answers is tried in test_gige_qacq: each open
// of one costs seconds, and every case here is a process of its own.)
const bool gCameras = [] {
  ::setenv("QUORIN_GIGE_CAMERAS", "fake; QRN-NO-SUCH-CAMERA", 1);
  return true;
}();

using TestFormat = qcGigeTestFormat;
TestFormat& small() {
  static TestFormat f("GigeTest 64x48", 64, 48);
  return f;
}

std::string feature(const std::string& name) { return qfGigeFeature(qfGigeBoard(0), name); }

qcAcqFifo::CompleteArgs wait(qcAcquireInfo& info, double s = 3.0) {
  return qcAcqFifo::CompleteArgs().maxWait(s).acquireInfo(&info);
}

template <class F = qcStdGreyAcqFifo>
qcPtrHandle<F> makeFifo(const qcVideoFormat& fmt = small().fmt) {
  qcPtrHandle<F> f(new F(fmt, qfGigeBoard(0)));
  // Fast frames keep the tests short.
  qcCustomPropertyBag bag;
  bag.addItem(qcCustomPropertyBag::qeWrite, "AcquisitionFrameRate", "200");
  f->properties().customValues(bag);
  return f;
}

// ---- boards and formats ----------------------------------------------------------

TEST(GigeBoards, ConfiguredCamerasBecomeBoardsInOrder) {
  qc_GigeGrabber* g = qfGigeGrabber(qfGigeBoard(0));
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->cameraModel(), "Aravis Fake");
  EXPECT_EQ(g->cameraId(), "fake");
  EXPECT_EQ(qfGigeBoard(0).getUniqueId(), "gige:fake");
  EXPECT_EQ(g->cameraError(), "");
  EXPECT_EQ(qfGigeGrabber(qfGigeBoard(1))->cameraId(), "QRN-NO-SUCH-CAMERA");
}

TEST(GigeBoards, MissingCameraFailsFifoCreationWithItsReason) {
  qcFrameGrabber& fg = qfGigeBoard(1);
  EXPECT_TRUE(fg.isSupported(small().fmt));  // unknown camera: making the FIFO tells
  try {
    qcStdGreyAcqFifo f(small().fmt, fg);
    FAIL() << "a FIFO on a camera that is not there";
  } catch (const qcAcqFifo::CouldNotCreate& e) {
    EXPECT_NE(std::string(e.what()).find("QRN-NO-SUCH-CAMERA"), std::string::npos) << e.what();
  }
  EXPECT_NE(qfGigeGrabber(fg)->cameraError(), "");
}

TEST(GigeFormats, SensorSizeAndPixelFormatsDecideSupport) {
  qcFrameGrabber& fg = qfGigeBoard(0);
  const qcStdVideoFormat& sensor = qcStdVideoFormat::getFormat("Aravis Fake 2048x2048");
  EXPECT_TRUE(fg.isSupported(sensor));
  EXPECT_EQ(sensor.imageFormat(), qeImageFormat_Grey8);
  static TestFormat big("GigeTest 4096x16", 4096, 16);
  static TestFormat deep("GigeTest 64x48x16", 64, 48, 16);
  static TestFormat yuv("GigeTest 64x48 uyvy", 64, 48, 16, qe_pelType_UYVY);
  EXPECT_FALSE(fg.isSupported(big.fmt));
  EXPECT_TRUE(fg.isSupported(deep.fmt));   // Mono16
  qc_FrameGrabber& d = *fg.internal();
  EXPECT_FALSE(d.isSupported(yuv.fmt.internal(true)));  // no such pixel format
  const qc_VideoFormat& v = small().fmt.internal(true);
  for (long t : {qe_pelType_mono, qe_pelType_mono16, qe_pelType_mono12, qe_pelType_RAW8, qe_pelType_RGBpacked,
                 qe_pelType_RGBpacked16, qe_pelType_RGBplanar})
    EXPECT_TRUE(d.isSupported(v, t)) << t;
  EXPECT_FALSE(d.isSupported(v, qe_pelType_RGB48));
  EXPECT_THROW(d.newAcqFifo(v, qe_pelType_UYVY), qcVideoFormat::NotSupported);
}

TEST(GigeFormats, EachPelKindDeliversItsImage) {
  qcFrameGrabber& fg = qfGigeBoard(0);
  struct Case {
    long pelType;
    qeImageFormat format;
    const char* pixelFormat;
  } cases[] = {{qe_pelType_mono, qeImageFormat_Grey8, "Mono8"},
               {qe_pelType_mono16, qeImageFormat_Grey16, "Mono16"},
               {qe_pelType_RAW8, qeImageFormat_Raw8, "BayerRG8"},
               {qe_pelType_RGBpacked, qeImageFormat_PackedRGB32, "RGB8"},
               {qe_pelType_RGBpacked16, qeImageFormat_PackedRGB16, "RGB8"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pixelFormat);
    qc_AcqFifo* driver = fg.internal()->newAcqFifo(small().fmt.internal(true), c.pelType);
    qcPtrHandle<qcStdAcqFifo> f(new qcStdAcqFifo(*driver, small().fmt, fg, c.format));
    EXPECT_EQ(feature("PixelFormat"), c.pixelFormat);
    f->start(1);
    qcAcquireInfo info;
    qcPtrHandle<qcAcqImage> img = f->completeAcq(wait(info));
    ASSERT_FALSE(img->isEmpty()) << info.failure().errorInfo();
    EXPECT_EQ(img->imageFormat(), c.format);
    EXPECT_EQ(img->buffer()->width(), 64);
    EXPECT_EQ(img->buffer()->height(), 48);
  }
}

// ---- acquisition ---------------------------------------------------------------------

TEST(GigeAcquisition, StreamBuffersAreHandedOutWithoutCopyAndComeBack) {
  auto f = makeFifo();
  f->hardwareImagePoolSize(3);
  EXPECT_EQ(f->availableAcqs(), 3);
  f->start(2);
  qcAcquireInfo a, b;
  auto img1 = f->complete(wait(a).makeLocal(false));
  auto img2 = f->complete(wait(b).makeLocal(false));
  ASSERT_TRUE(img1.isBound() && img2.isBound());
  EXPECT_FALSE(img1.isLocal());
  EXPECT_EQ(img1.size(), (qcPair<long>(64, 48)));
  EXPECT_FALSE(a.failure()) << a.failure().errorInfo();
  EXPECT_GT(b.triggerNum(), a.triggerNum());  // frame ids
  EXPECT_GE(b.timeStamp(), a.timeStamp());
  EXPECT_EQ(f->availableAcqs(), 1);
  img1 = qcPelBuffer<unsigned char>();
  img2 = qcPelBuffer<unsigned char>();
  EXPECT_EQ(f->availableAcqs(), 3);
  // makeLocal (the default) copies and gives the buffer back at once.
  f->start(1);
  EXPECT_TRUE(f->complete(wait(a)).isLocal());
  EXPECT_EQ(f->availableAcqs(), 3);
}

TEST(GigeAcquisition, FrameIdGapsCountAcrossTheSixteenBitWrap) {
  struct Case {
    std::uint64_t last, id, skipped;
    bool ahead;
  } cases[] = {{7, 8, 0, true},          {7, 10, 2, true},     {65535, 1, 0, true},   {65530, 3, 7, true},
               {100, 1, 0, false},       {65535, 65536, 0, true},  // 64-bit ids run on
               {1u << 20, 5, 0, false},  // a count started again
               {158, 143, 0, false},     {7, 7, 0, false}};  // back, or the same: not a gap
  for (const Case& c : cases) {
    EXPECT_EQ(qrn_gige::framesSkipped(c.last, c.id), c.skipped) << c.last << " -> " << c.id;
    EXPECT_EQ(qrn_gige::frameIdAhead(c.last, c.id), c.ahead) << c.last << " -> " << c.id;
  }
  EXPECT_EQ(qrn_gige::frameIdAfter(65534, 2), 1u);
  EXPECT_EQ(qrn_gige::frameIdAfter(70000, 2), 70002u);
}

TEST(GigeAcquisition, ImagesOutliveTheirFifo) {
  qcPelBuffer<unsigned char> img;
  {
    auto f = makeFifo();
    f->start(1);
    qcAcquireInfo info;
    img = f->complete(wait(info).makeLocal(false));
    ASSERT_TRUE(img.isBound());
  }
  long sum = 0;
  for (long y = 0; y < img.height(); ++y)
    for (long x = 0; x < img.width(); ++x) sum += img.get(x, y);
  EXPECT_GT(sum, 0);  // the fake camera draws a pattern
}

// ---- colour from a Bayer mosaic -------------------------------------------------------

TEST(GigeColour, BayerNamesAndOffsetsGiveTheConverterPhase) {
  using C = qcBayerImageConverter;
  struct Case {
    const char* name;
    long x, y;
    int type;
  } cases[] = {{"BayerRG8", 0, 0, C::RGGB}, {"BayerGR8", 0, 0, C::GRBG}, {"BayerGB8", 0, 0, C::GBRG},
               {"BayerBG8", 0, 0, C::BGGR}, {"BayerRG8", 1, 0, C::GRBG}, {"BayerRG8", 0, 1, C::GBRG},
               {"BayerRG8", 3, 5, C::BGGR}, {"BayerBG8", 2, 1, C::GRBG}, {"BayerGB8", 1, 1, C::GRBG},
               {"Mono8", 0, 0, -1},         {"BayerRG12p", 1, 1, C::BGGR}, {"BayerGB10Packed", 0, 1, C::RGGB},
               {"RGB8", 0, 0, -1}};
  for (const Case& c : cases) EXPECT_EQ(qrn_gige::bayerTypeOf(c.name, c.x, c.y), c.type) << c.name << " " << c.x << "," << c.y;
}

// Which offered format a FIFO of each kind sets: packed colour prefers RGB8
// as sent, three planes a mosaic to convert; grey 16 the widest Mono.
TEST(GigeColour, EachKindTakesTheCamerasPreferredFormat) {
  using qrn_gige::Kind;
  const std::vector<std::string> mosaicAndRgb = {"Mono8", "BayerBG8", "RGB8Packed", "BayerGR8", "Mono10", "Mono12"};
  const std::vector<std::string> rgbOnly = {"RGB8"};
  // Of the same bits, the packed format (fewer bytes; unpacking runs faster
  // than memory); grey 8 from the format of fewest bytes.
  const std::vector<std::string> monoPacked = {"Mono12", "Mono10Packed", "Mono12p"};
  const std::vector<std::string> bayerWide = {"BayerRG12", "BayerBG10p"};
  const std::vector<std::string> yuvAndRgb = {"YCbCr601_422_8", "BGRa8"};
  struct Case {
    const std::vector<std::string>* offered;
    Kind kind;
    const char* format;
  } cases[] = {{&mosaicAndRgb, Kind::grey8, "Mono8"},       {&mosaicAndRgb, Kind::grey16, "Mono12"},
               {&mosaicAndRgb, Kind::raw8, "BayerGR8"},     {&mosaicAndRgb, Kind::rgb32, "RGB8Packed"},
               {&mosaicAndRgb, Kind::rgb16, "RGB8Packed"},  {&mosaicAndRgb, Kind::planes3, "BayerGR8"},
               {&rgbOnly, Kind::planes3, "RGB8"},           {&rgbOnly, Kind::grey8, ""},
               {&rgbOnly, Kind::raw8, ""},                  {&monoPacked, Kind::grey16, "Mono12p"},
               {&monoPacked, Kind::grey8, "Mono10Packed"},  {&bayerWide, Kind::raw8, "BayerBG10p"},
               {&bayerWide, Kind::planes3, "BayerBG10p"},   {&bayerWide, Kind::grey16, "BayerRG12"},
               {&yuvAndRgb, Kind::rgb32, "BGRa8"},          {&yuvAndRgb, Kind::grey8, "YCbCr601_422_8"},
               {&yuvAndRgb, Kind::grey16, ""}};
  for (const Case& c : cases)
    EXPECT_EQ(qrn_gige::pixelFormatFor(*c.offered, c.kind), c.format) << static_cast<int>(c.kind);
  // A format's buffer size and whether its images are the buffer itself.
  EXPECT_EQ(qrn_gige::FrameConverter("Mono12", Kind::grey16).bytes(3, 2), 12u);
  EXPECT_EQ(qrn_gige::FrameConverter("RGB8", Kind::planes3).bytes(3, 2), 18u);
  EXPECT_EQ(qrn_gige::FrameConverter("Mono12p", Kind::grey16).bytes(3, 2), 9u);
  EXPECT_EQ(qrn_gige::FrameConverter("Mono10Packed", Kind::grey16).bytes(3, 1), 5u);
  EXPECT_EQ(qrn_gige::FrameConverter("YUV422_8", Kind::rgb32).bytes(3, 2), 16u);
  // A name the table does not know, found by its numeric value.
  EXPECT_EQ(qrn_gige::FrameConverter("VendorMono12p", Kind::grey16, 0x010C0047).imageFormat(), qeImageFormat_Grey12);
  EXPECT_EQ(qrn_gige::pixelFormatFor({"VendorMono12p", "Mono8"}, Kind::grey16, {0x010C0047, 0x01080001}), "VendorMono12p");
  EXPECT_TRUE(qrn_gige::FrameConverter("BayerRG8", Kind::raw8).lends());
  // Only colour is converted from a mosaic: the raw kinds of every Bayer
  // format, 8 bits or wider, convert none (odd regions, no white balance).
  int mosaics = 0;
  for (const qrn_gige::PelFormat& pf : qrn_gige::pelFormats()) {
    if (std::string(pf.name).rfind("Bayer", 0) != 0) continue;
    ++mosaics;
    for (Kind k : {Kind::raw8, Kind::grey16, Kind::rgb16, Kind::rgb32, Kind::planes3})
      if (pf.rank[static_cast<std::size_t>(k)] != 0) {
        EXPECT_EQ(qrn_gige::FrameConverter(pf.name, k).fromMosaic(), k != Kind::raw8 && k != Kind::grey16)
            << pf.name << " kind " << static_cast<int>(k);
      }
  }
  EXPECT_EQ(mosaics, 32);  // 8, 10, 10p, 10Packed, 12, 12p, 12Packed, 16 in four phases
  EXPECT_FALSE(qrn_gige::FrameConverter("RGB8", Kind::rgb32).fromMosaic());
  EXPECT_THROW(qrn_gige::FrameConverter("Mono8", Kind::rgb32), qcAcqFifo::CouldNotCreate);
}

TEST(GigeColour, ColourFifosConvertTheCamerasMosaic) {
  qfGigeDrawMosaic(*qfGigeGrabber(qfGigeBoard(0)));
  // Even and odd offsets (every phase); an odd size is cut to an even one.
  const qcPelRect asked[] = {{0, 0, 64, 48}, {3, 0, 20, 10}, {0, 5, 20, 10}, {7, 3, 21, 11}};
  auto f = makeFifo<qcStd3PlaneAcqFifo>();
  EXPECT_EQ(feature("PixelFormat"), "BayerRG8");
  for (const qcPelRect& r : asked) {
    qcRoiProp& roi = f->properties();
    roi.roi(r);
    const qcPelRect got = roi.actualRoi();
    SCOPED_TRACE(::testing::Message() << got.x() << "," << got.y() << " " << got.width() << "x" << got.height());
    EXPECT_EQ(got.width() % 2 + got.height() % 2, 0);
    f->start(1);
    qcAcquireInfo info;
    const qc3PlanePelBuffer img = f->complete(wait(info));
    ASSERT_TRUE(img.isBound()) << info.failure().errorInfo();
    const qc3PlanePelBuffer want = qfGigeExpectedConversion(got).get3PlanePelBuf();
    EXPECT_EQ(img.offset(), (qcPair<long>(got.x(), got.y())));
    ASSERT_EQ(img.size(), want.size());
    long differ = 0;
    for (long y = 0; y < want.height(); ++y)
      for (long x = 0; x < want.width(); ++x)
        for (int p = 0; p < 3; ++p) differ += img.plane(p).get(x, y) != want.plane(p).get(x, y);
    EXPECT_EQ(differ, 0);
  }
}

// The driver converts into its previous image when the application let it
// go; one the application kept keeps its pels.
TEST(GigeColour, AKeptColourImageKeepsItsPels) {
  qfGigeDrawMosaic(*qfGigeGrabber(qfGigeBoard(0)));
  auto f = makeFifo<qcStd3PlaneAcqFifo>();
  const auto grab = [&](const qcPelRect& r) {
    qcRoiProp& roi = f->properties();
    roi.roi(r);
    f->start(1);
    qcAcquireInfo info;
    qc3PlanePelBuffer img = f->complete(wait(info));
    EXPECT_TRUE(img.isBound()) << info.failure().errorInfo();
    return img;
  };
  const auto same = [](const qc3PlanePelBuffer& a, const qcPelRect& r) {
    const qc3PlanePelBuffer want = qfGigeExpectedConversion(r).get3PlanePelBuf();
    long differ = 0;
    for (long y = 0; y < want.height(); ++y)
      for (long x = 0; x < want.width(); ++x)
        for (int p = 0; p < 3; ++p) differ += a.plane(p).get(x, y) != want.plane(p).get(x, y);
    return differ;
  };
  const qcPelRect first(0, 0, 20, 10), second(2, 2, 20, 10);  // same size and phase, other pels
  grab(first);  // let go at once
  const qc3PlanePelBuffer kept = grab(first);
  const qc3PlanePelBuffer next = grab(second);
  ASSERT_TRUE(kept.isBound() && next.isBound());
  EXPECT_EQ(same(kept, first), 0);
  EXPECT_EQ(same(next, second), 0);
}

// ---- properties read back through the camera ------------------------------------------

TEST(GigeProperties, ExposureRoiAndGainReachTheirFeatures) {
  auto f = makeFifo();
  qcExposureProp& ex = f->properties();
  ex.exposure(0.02);
  EXPECT_DOUBLE_EQ(std::stod(feature("ExposureTimeAbs")), 20000.0);
  EXPECT_THROW(ex.exposure(1e6), qcAcqFifo::BadParams);

  qcRoiProp& roi = f->properties();
  roi.roi(qcPelRect(4, 2, 10, 6));
  EXPECT_EQ(roi.actualRoi(), qcPelRect(4, 2, 10, 6));
  EXPECT_EQ(feature("OffsetX"), "4");
  EXPECT_EQ(feature("OffsetY"), "2");
  EXPECT_EQ(feature("Width"), "10");
  EXPECT_EQ(feature("Height"), "6");
  f->start(1);
  qcAcquireInfo info;
  auto img = f->complete(wait(info));
  ASSERT_TRUE(img.isBound());
  EXPECT_EQ(img.size(), (qcPair<long>(10, 6)));
  EXPECT_EQ(img.offset(), (qcPair<long>(4, 2)));
  EXPECT_THROW(roi.roi(qcPelRect(100, 100, 8, 8)), qcAcqFifo::BadParams);  // outside the frame
  EXPECT_EQ(feature("Width"), "10");                                       // unchanged

  qcContrastBrightnessProp& cb = f->properties();
  cb.setContrastEx(1.0, 0);
  const std::string high = feature("GainRaw");
  cb.setContrastEx(0.0, 0);
  EXPECT_LT(std::stod(feature("GainRaw")), std::stod(high));
  EXPECT_THROW(cb.setContrastEx(0.5, 1), qcException);  // one tap
}

TEST(GigeProperties, QueryReportsWhatTheCameraHas) {
  auto f = makeFifo();
  qcAcqPropertyQuery& q = f->propertyQuery();
  EXPECT_NE(static_cast<qcExposureProp*>(q), nullptr);
  EXPECT_NE(static_cast<qcRoiProp*>(q), nullptr);
  EXPECT_NE(static_cast<qcTriggerProp*>(q), nullptr);
  EXPECT_NE(static_cast<qcTimeoutProp*>(q), nullptr);
  EXPECT_NE(static_cast<qcContrastBrightnessProp*>(q), nullptr);  // GainRaw
  EXPECT_NE(static_cast<qcCustomProp*>(q), nullptr);
  EXPECT_EQ(static_cast<qcStrobeProp*>(q), nullptr);  // the fake camera has no output line
  EXPECT_EQ(static_cast<qc8BitInputLutProp*>(q), nullptr);
  EXPECT_EQ(static_cast<qcSampleProp*>(q), nullptr);
}

TEST(GigeProperties, CustomItemsSetAndRunFeatures) {
  auto f = makeFifo();
  qcCustomPropertyBag bag;
  bag.addItem(qcCustomPropertyBag::qeWrite, "AcquisitionFrameRate", "50");
  bag.addItem(qcCustomPropertyBag::qeWrite, qrn_gige::kAppTag, "42");
  f->properties().customValues(bag);
  EXPECT_DOUBLE_EQ(std::stod(feature("AcquisitionFrameRate")), 50.0);
  f->start(1);
  qcAcquireInfo info;
  ASSERT_TRUE(f->complete(wait(info)).isBound());
  EXPECT_EQ(info.appTag(), 42u);

  // Unknown features, bad values, and features the FIFO sets itself (valid
  // values, but the frame and trigger are the FIFO's).
  for (const auto& [name, value] :
       {std::pair<const char*, const char*>{"NoSuchFeature", "1"}, {"Gain", "many"}, {qrn_gige::kAppTag, "x"},
        {qrn_gige::kAppTag, "-1"}, {qrn_gige::kInputLine, ""}, {qrn_gige::kInputLine, "Line7"}, {"Width", "32"},
        {"PixelFormat", "Mono16"}, {"TriggerMode", "Off"}, {"BinningHorizontal", "2"}}) {
    qcCustomPropertyBag b;
    b.addItem(qcCustomPropertyBag::qeWrite, name, value);
    EXPECT_THROW(f->properties().customValues(b), qcAcqFifo::BadParams) << name;
  }
  EXPECT_THROW(feature("NoSuchFeature"), qcAcqFifo::BadParams);
  qc_GigeGrabber* g = qfGigeGrabber(qfGigeBoard(0));
  bool sawWidth = false;
  for (const qsGigeFeature& x : g->features())
    if (x.name == "Width") sawWidth = x.type == "Integer" && x.value == "64";
  EXPECT_TRUE(sawWidth);
}

TEST(GigeProperties, PoolSizeIsTheNumberOfStreamBuffers) {
  auto f = makeFifo();
  EXPECT_EQ(f->hardwareImagePoolSize(), 16);
  EXPECT_THROW(f->hardwareImagePoolSize(1), qcAcqFifo::BadParams);
  f->hardwareImagePoolSize(2);
  EXPECT_EQ(f->availableAcqs(), 2);
}

// ---- trigger models ----------------------------------------------------------------------

TEST(GigeTriggers, ManualSendsOneSoftwareTriggerPerStartedAcquisition) {
  auto f = makeFifo();
  EXPECT_EQ(feature("TriggerMode"), "On");
  EXPECT_EQ(feature("TriggerSource"), "Software");
  qcAcquireInfo info;
  EXPECT_FALSE(f->complete(wait(info, 0.1)).isBound());  // nothing started, nothing taken
  EXPECT_TRUE(info.failure().isTimeout());
  f->start(3);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(f->complete(wait(info)).isBound()) << i;
  EXPECT_TRUE(f->isIdle());
}

// A completion that starts its own acquisition reports it granted (0) as
// the simulated board does, so that a multi-channel FIFO reads it alike;
// a model without software starts refuses (2).
TEST(GigeTriggers, AutoStartReportsGrantedOrRefused) {
  auto f = makeFifo();
  qcAcqFifo::qeStartReqStatus status{};
  qcAcquireInfo info;
  EXPECT_TRUE(f->complete(wait(info).autoStart(true).startReqStatus(&status)).isBound());
  EXPECT_EQ(status, qeGigeStart_Granted);
  qcTriggerProp& t = f->properties();
  t.triggerModel(qfFreeRunTrigger());
  f->flush();
  t.triggerEnable(false);
  status = qcAcqFifo::qeStartReqStatus(-1);
  f->complete(wait(info, 0.1).autoStart(true).startReqStatus(&status));
  EXPECT_EQ(status, qeGigeStart_Refused);
}

// Features the FIFO sets are refused through the board while it lives.
TEST(GigeProperties, TheFifosFeaturesCannotBeChangedUnderIt) {
  qc_GigeGrabber* g = qfGigeGrabber(qfGigeBoard(0));
  const std::string width = g->feature("Width");
  {
    auto f = makeFifo();
    for (const char* name : {"Width", "OffsetX", "PixelFormat", "TriggerSource"})
      EXPECT_THROW(g->feature(name, g->feature(name)), qcAcqFifo::BadParams) << name;
    g->feature("AcquisitionFrameRate", "150");  // not the FIFO's
  }
  g->feature("Width", width);  // no FIFO: allowed
}

TEST(GigeTriggers, FreeRunStreamsWithoutStarts) {
  auto f = makeFifo();
  qcTriggerProp& t = f->properties();
  t.triggerModel(qfFreeRunTrigger());
  EXPECT_EQ(feature("TriggerMode"), "Off");
  EXPECT_THROW(f->start(1), qcAcqFifo::StartNotAllowed);
  qcAcquireInfo info;
  unsigned long last = 0;
  for (int i = 0; i < 4; ++i) {
    ASSERT_TRUE(f->complete(wait(info)).isBound());
    EXPECT_GT(info.triggerNum(), last);
    last = info.triggerNum();
  }
  t.triggerEnable(false);
  f->flush();
  EXPECT_FALSE(f->complete(wait(info, 0.1)).isBound());
}

TEST(GigeTriggers, AutomaticModelsListenToTheInputLine) {
  auto f = makeFifo();
  qcTriggerProp& t = f->properties();
  t.triggerModel(qfAutoTrigger());
  EXPECT_EQ(feature("TriggerMode"), "On");
  EXPECT_EQ(feature("TriggerSource"), "Line0");
  EXPECT_EQ(feature("TriggerActivation"), "RisingEdge");
  // The fake camera offers rising edges only.
  EXPECT_THROW(t.triggerLowToHigh(false), qcAcqFifo::BadParams);
  EXPECT_EQ(feature("TriggerActivation"), "RisingEdge");
  EXPECT_THROW(f->start(1), qcAcqFifo::StartNotAllowed);

  // Frames come without starts.  (The in-process fake camera runs free
  // whatever its trigger source.)
  qcCustomPropertyBag bag;
  bag.addItem(qcCustomPropertyBag::qeWrite, qrn_gige::kInputLine, "Software");
  f->properties().customValues(bag);
  EXPECT_EQ(feature("TriggerSource"), "Software");
  qcAcquireInfo info;
  f->trigger();
  EXPECT_TRUE(f->complete(wait(info)).isBound());

  // Semi-automatic: a frame is taken by an armed acquisition only.
  t.triggerModel(qfSemiTrigger());
  EXPECT_EQ(feature("TriggerSource"), "Software");
  f->flush();
  f->trigger();
  EXPECT_FALSE(f->complete(wait(info, 0.2)).isBound());
  f->start(1);
  f->trigger();
  EXPECT_TRUE(f->complete(wait(info)).isBound());
}

TEST(GigeTriggers, SlaveIsRefusedWithItsProblemFlags) {
  auto f = makeFifo();
  qcTriggerProp& t = f->properties();
  t.triggerModel(qfSlaveTrigger());
  qcAcqProblem p;
  EXPECT_FALSE(f->isValid(&p));
  EXPECT_TRUE(p.slaveTriggerNoMaster());
  EXPECT_TRUE(p.hasInvalidMaster());
  EXPECT_THROW(f->start(1), qcAcqFifo::StartNotAllowed);
}

TEST(GigeTriggers, OneFifoAtATimePerCamera) {
  auto f = makeFifo();
  EXPECT_THROW(makeFifo(), qcAcqFifo::CouldNotCreate);
  f = qcPtrHandle<qcStdGreyAcqFifo>();
  EXPECT_NO_THROW(makeFifo());
}

// ---- failures -------------------------------------------------------------------------------

TEST(GigeFailures, TimeoutOfAStartedAcquisition) {
  auto f = makeFifo();
  qcTriggerProp& t = f->properties();
  t.triggerEnable(false);  // the camera stops: a started acquisition waits
  qcTimeoutProp& to = f->properties();
  to.timeout(0.05);
  f->start(1);
  qcAcquireInfo info;
  EXPECT_FALSE(f->complete(wait(info)).isBound());
  EXPECT_TRUE(info.failure().isTimeout());
  EXPECT_TRUE(f->isIdle());
}

TEST(GigeFailures, AnotherPelKindGivesNoImageAndConsumesNothing) {
  auto f = makeFifo<qcStdRGB32AcqFifo>();
  f->start(1);
  qcAcquireInfo info;
  EXPECT_FALSE(f->fifo().complete8(wait(info, 0.2)).isBound());
  EXPECT_TRUE(info.failure().isAbnormal());
  EXPECT_TRUE(f->complete(wait(info)).isBound());
}

}  // namespace
