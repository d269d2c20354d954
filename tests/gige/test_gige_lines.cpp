// The camera driver on Aravis's in-process fake camera described by our own
// GenICam file (gige_fake_lines.xml): the strobe on an output line, black
// level, a falling trigger edge, and packed colour converted from the Bayer
// mosaic of a camera without RGB8.  Read back through the camera's features.
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include <qrn/acq/hyper/trigmodel.h>
#include <qrn/acq/hyper/typedfifo.h>

#include "gige_fixture.h"
#include "gige_mosaic.h"

namespace {

// Before the board list opens the camera.
const bool gCamera = [] {
  arv_set_fake_camera_genicam_filename(QRN_TEST_SOURCE_DIR "/tests/gige/gige_fake_lines.xml");
  ::setenv("QUORIN_GIGE_CAMERAS", "fake", 1);
  return true;
}();

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

TEST(GigeLines, PackedColourIsConvertedFromTheMosaic) {
  qfGigeDrawMosaic(camera());
  auto f = makeFifo<qcStdRGB32AcqFifo>();
  EXPECT_EQ(camera().feature("PixelFormat"), "BayerRG8");
  qcRoiProp& roi = f->properties();
  roi.roi(qcPelRect(5, 1, 16, 8));
  f->start(1);
  qcAcquireInfo info;
  const qcPelBuffer<qcPackedRGB32Pel> img = f->complete(qcAcqFifo::CompleteArgs().maxWait(3.0).acquireInfo(&info));
  ASSERT_TRUE(img.isBound()) << info.failure().errorInfo();
  EXPECT_EQ(img.offset(), (qcPair<long>(5, 1)));
  const qcPelBuffer<qcPackedRGB32Pel> want = qfGigeExpectedConversion(roi.actualRoi()).getPackedRGB32PelBuf();
  ASSERT_EQ(img.size(), want.size());
  for (long y = 0; y < want.height(); ++y)
    for (long x = 0; x < want.width(); ++x) ASSERT_EQ(img.get(x, y), want.get(x, y)) << x << "," << y;
}

}  // namespace
