// The camera driver on Aravis's in-process fake camera described by our own
// GenICam file (gige_fake_lines.xml): the strobe on an output line, black
// level, a falling trigger edge, and packed colour converted from the Bayer
// mosaic of a camera without RGB8, with its white balance.  Read back through the camera's features.
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include <qrn/acq/hyper/trigmodel.h>
#include <qrn/acq/hyper/typedfifo.h>

#include "gige_fixture.h"
#include "gige_mosaic.h"

namespace {

// Before the board list opens the camera.
const bool gCamera = qfGigeFakeCameraFrom(QRN_TEST_SOURCE_DIR "/tests/gige/gige_fake_lines.xml");

qc_GigeGrabber& camera() { return *qfGigeGrabber(qfGigeBoard(0)); }

// A feature of one line.
std::string lineFeature(const char* line, const char* name) {
  camera().feature("LineSelector", line);
  return camera().feature(name);
}

template <class F = qcStdGreyAcqFifo>
qcPtrHandle<F> makeFifo() {
  static qcGigeTestFormat fmt("GigeLines 64x48", 64, 48);
  return qcPtrHandle<F>(new F(fmt.fmt, qfGigeBoard(0)));
}

TEST(GigeLines, StrobeDrivesTheOutputLineWhileExposing) {
  auto f = makeFifo();
  EXPECT_NE(static_cast<qcStrobeProp*>(f->propertyQuery()), nullptr);
  qcStrobeProp& s = f->properties();
  s.strobeEnable(true);
  // Line0 cannot output: the strobe goes to Line1.
  EXPECT_EQ(lineFeature("Line1", "LineMode"), "Output");
  EXPECT_EQ(lineFeature("Line1", "LineSource"), "ExposureActive");
  EXPECT_EQ(lineFeature("Line0", "LineSource"), "Off");
  EXPECT_EQ(lineFeature("Line1", "LineInverter"), "false");
  s.strobeHigh(false);
  EXPECT_EQ(lineFeature("Line1", "LineInverter"), "true");
  s.strobeHigh(true);
  EXPECT_EQ(lineFeature("Line1", "LineInverter"), "false");
  s.strobeEnable(false);
  EXPECT_EQ(lineFeature("Line1", "LineSource"), "Off");
}

TEST(GigeLines, BrightnessSpreadsOverTheBlackLevel) {
  camera().feature("BlackLevel", "51");  // the camera's own value becomes the default
  auto f = makeFifo();
  qcContrastBrightnessProp& cb = f->properties();
  EXPECT_DOUBLE_EQ(f->fifo().defaultBrightness(), 0.2);
  cb.setBrightnessEx(0.25, 0);
  EXPECT_DOUBLE_EQ(std::stod(camera().feature("BlackLevel")), 63.75);
  cb.setBrightnessEx(1.0, 0);
  EXPECT_DOUBLE_EQ(std::stod(camera().feature("BlackLevel")), 255.0);
  EXPECT_THROW(cb.setBrightnessEx(1.5, 0), qcException);
  EXPECT_DOUBLE_EQ(std::stod(camera().feature("BlackLevel")), 255.0);
}

TEST(GigeLines, TriggerActivationFollowsTheEdge) {
  auto f = makeFifo();
  qcTriggerProp& t = f->properties();
  t.triggerModel(qfAutoTrigger());
  t.triggerLowToHigh(false);
  EXPECT_EQ(camera().feature("TriggerActivation"), "FallingEdge");
  t.triggerLowToHigh(true);
  EXPECT_EQ(camera().feature("TriggerActivation"), "RisingEdge");
}

void setWhiteBalance(qcCustomProp& p, const char* value) {
  qcCustomPropertyBag bag;
  bag.addItem(qcCustomPropertyBag::qeWrite, qrn_gige::kWhiteBalance, value);
  p.customValues(bag);
}

// Packed colour of one depth converted from the mosaic, before and after the
// white balance is set.
template <class F, class Pel>
void expectPackedColour(const qcPelBuffer<Pel>& (qcBayerImageConverter::*get)() const) {
  auto f = makeFifo<F>();
  EXPECT_EQ(camera().feature("PixelFormat"), "BayerRG8");
  qcRoiProp& roi = f->properties();
  roi.roi(qcPelRect(5, 1, 16, 8));
  const struct {
    const char* item;
    double r, g, b;
  } balances[] = {{nullptr, 1, 1, 1}, {"1.4 1.0 1.8", 1.4, 1.0, 1.8}, {" 0.5, 2 ,1 ", 0.5, 2, 1}};
  for (const auto& wb : balances) {
    SCOPED_TRACE(wb.item ? wb.item : "default balance");
    if (wb.item) setWhiteBalance(f->properties(), wb.item);
    f->start(1);
    qcAcquireInfo info;
    const qcPelBuffer<Pel> img = f->complete(qcAcqFifo::CompleteArgs().maxWait(3.0).acquireInfo(&info));
    ASSERT_TRUE(img.isBound()) << info.failure().errorInfo();
    EXPECT_EQ(img.offset(), (qcPair<long>(5, 1)));
    qcBayerImageConverter conv = qfGigeExpectedConversion(roi.actualRoi());
    conv.setRedWhiteBalanceScale(wb.r);
    conv.setGreenWhiteBalanceScale(wb.g);
    conv.setBlueWhiteBalanceScale(wb.b);
    const qcPelBuffer<Pel> want = (conv.*get)();
    ASSERT_EQ(img.size(), want.size());
    long differ = 0;
    for (long y = 0; y < want.height(); ++y)
      for (long x = 0; x < want.width(); ++x) differ += !(img.get(x, y) == want.get(x, y));
    EXPECT_EQ(differ, 0);
  }
}

TEST(GigeLines, PackedColourIsConvertedFromTheMosaic) {
  qfGigeDrawMosaic(camera());
  expectPackedColour<qcStdRGB32AcqFifo>(&qcBayerImageConverter::getPackedRGB32PelBuf);
  expectPackedColour<qcStdRGB16AcqFifo>(&qcBayerImageConverter::getPackedRGB16PelBuf);
}

TEST(GigeLines, BadWhiteBalancesAreRefused) {
  auto f = makeFifo<qcStd3PlaneAcqFifo>();
  for (const char* bad : {"", "1 1", "1 1 1 1", "0 1 1", "1 -2 1", "nan 1 1", "1 inf 1", "1 x 1", "1 1 1x"}) {
    SCOPED_TRACE(bad);
    EXPECT_THROW(setWhiteBalance(f->properties(), bad), qcAcqFifo::BadParams);
  }
  f.reset();  // one FIFO at a time per camera
  // Grey from Mono8 converts nothing.
  auto grey = makeFifo();
  EXPECT_THROW(setWhiteBalance(grey->properties(), "1 1 1"), qcAcqFifo::BadParams);
}

}  // namespace
