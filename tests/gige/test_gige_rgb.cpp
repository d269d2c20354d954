// The camera driver on a fake camera that sends RGB8 and no Bayer mosaic
// (gige_fake_rgb.xml, made from gige_fake_lines.xml by the build): colour
// FIFOs take the camera's own colour, split into planes or packed into 16 or
// 32 bits, at any offset and size.
#include <cstdlib>

#include <gtest/gtest.h>

#include <qrn/acq/hyper/typedfifo.h>

#include "gige_fixture.h"
#include "gige_mosaic.h"

namespace {

// Before the board list opens the camera.
const bool gCamera = qfGigeFakeCameraFrom(QRN_TEST_BINARY_DIR "/gige_fake_rgb.xml");

qc_GigeGrabber& camera() { return *qfGigeGrabber(qfGigeBoard(0)); }

qcGigeTestFormat& format() {
  static qcGigeTestFormat fmt("GigeRgb 64x48", 64, 48);
  return fmt;
}

// One region through a FIFO of type F whose images are Img of pels Pel: each
// pel must be the camera's colour made a Pel.
template <class F, class Img, class Pel>
void expectCameraColour() {
  qcPtrHandle<F> f(new F(format().fmt, qfGigeBoard(0)));
  EXPECT_EQ(camera().feature("PixelFormat"), "RGB8");
  qcRoiProp& roi = f->properties();
  const qcPelRect r(3, 1, 17, 9);  // odd offsets and sizes: nothing to convert
  roi.roi(r);
  ASSERT_EQ(roi.actualRoi(), r);
  f->start(1);
  qcAcquireInfo info;
  const Img img = f->complete(qcAcqFifo::CompleteArgs().maxWait(3.0).acquireInfo(&info));
  ASSERT_TRUE(img.isBound()) << info.failure().errorInfo();
  EXPECT_EQ(img.offset(), (qcPair<long>(r.x(), r.y())));
  ASSERT_EQ(img.size(), (qcPair<long>(r.width(), r.height())));
  long differ = 0;
  for (long y = 0; y < r.height(); ++y)
    for (long x = 0; x < r.width(); ++x) {
      const long sx = r.x() + x, sy = r.y() + y;
      differ += !(img.get(x, y) == Pel(qfGigeColourAt(sx, sy, 0), qfGigeColourAt(sx, sy, 1), qfGigeColourAt(sx, sy, 2)));
    }
  EXPECT_EQ(differ, 0);
}

TEST(GigeRgb, ColourFifosTakeTheCamerasRGB8) {
  qfGigeDrawMosaic(camera());
  const qc_VideoFormat& v = format().fmt.internal(true);
  qc_FrameGrabber& d = *qfGigeBoard(0).internal();
  EXPECT_FALSE(d.isSupported(v, qe_pelType_RAW8));  // no mosaic
  for (long t : {qe_pelType_RGBpacked, qe_pelType_RGBpacked16, qe_pelType_RGBplanar}) EXPECT_TRUE(d.isSupported(v, t)) << t;
  expectCameraColour<qcStd3PlaneAcqFifo, qc3PlanePelBuffer, qc3PlanePel>();
  expectCameraColour<qcStdRGB32AcqFifo, qcPelBuffer<qcPackedRGB32Pel>, qcPackedRGB32Pel>();
  expectCameraColour<qcStdRGB16AcqFifo, qcPelBuffer<qcPackedRGB16Pel>, qcPackedRGB16Pel>();
}

TEST(GigeRgb, WhiteBalanceIsTheCamerasOwn) {
  qcPtrHandle<qcStdRGB32AcqFifo> f(new qcStdRGB32AcqFifo(format().fmt, qfGigeBoard(0)));
  qcCustomPropertyBag bag;
  bag.addItem(qcCustomPropertyBag::qeWrite, qrn_gige::kWhiteBalance, "1.4 1 1.8");
  EXPECT_THROW(f->properties().customValues(bag), qcAcqFifo::BadParams);
}

}  // namespace
