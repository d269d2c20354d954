#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "typed_support.h"

namespace {

class FactoryTest : public TypedGrabberTest {
protected:
  const qcStdVideoFormat& f() const { return fmt.format(); }
};

TEST_F(FactoryTest, GreyFactoriesMakeAStandardGreyFifoForTheFormatAndGrabber) {
  std::unique_ptr<qcStdGreyAcqFifo> a(f().newAcqFifo(board));
  std::unique_ptr<qcAcqFifo> b(static_cast<const qcVideoFormat&>(f()).newAcqFifo(board));
  std::unique_ptr<qcGreyAcqFifo> c(static_cast<const qcGreyVideoFormat&>(f()).newAcqFifo(board));
  for (qcAcqFifo* fifo : {static_cast<qcAcqFifo*>(a.get()), b.get(), static_cast<qcAcqFifo*>(c.get())}) {
    ASSERT_NE(dynamic_cast<qcStdGreyAcqFifo*>(fifo), nullptr);
    EXPECT_EQ(&fifo->videoFormat(), static_cast<const qcVideoFormat*>(&f()));
    EXPECT_EQ(&fifo->frameGrabber(), static_cast<qcFrameGrabber*>(&board));
  }
  EXPECT_EQ(driver->traitsAsked.size(), 3u);
}

TEST_F(FactoryTest, RgbFactoriesMakeTheirFifosWhateverThePacking) {
  std::unique_ptr<qcStdRGB16AcqFifo> r16(f().newAcqFifo(board, qcStdVideoFormat::qeRGB16Pack_Default));
  std::unique_ptr<qcStdRGB32AcqFifo> r32(f().newAcqFifo(board, qcStdVideoFormat::qeRGB32Pack_Default));
  EXPECT_EQ(r16->imageFormat(), qeImageFormat_PackedRGB16);
  EXPECT_EQ(r32->imageFormat(), qeImageFormat_PackedRGB32);
  ASSERT_EQ(driver->traitsAsked.size(), 2u);
  EXPECT_TRUE(driver->traitsAsked[0] == qcBasicFifoTraits::rgb16Traits());
  EXPECT_TRUE(driver->traitsAsked[1] == qcBasicFifoTraits::rgb32Traits());
}

TEST_F(FactoryTest, AnUnsupportedFormatIsRefusedBeforeTheDriverIsAskedForAFifo) {
  driver->supported.clear();
  EXPECT_THROW(f().newAcqFifo(board), qcVideoFormat::NotSupported);
  EXPECT_THROW(static_cast<const qcVideoFormat&>(f()).newAcqFifo(board), qcVideoFormat::NotSupported);
  EXPECT_THROW(f().newAcqFifo(board, qcStdVideoFormat::qeRGB16Pack_Default), qcVideoFormat::NotSupported);
  EXPECT_THROW(f().newAcqFifo(board, qcStdVideoFormat::qeRGB32Pack_Default), qcVideoFormat::NotSupported);
  EXPECT_THROW(f().newAcqFifoEx(board, qeImageFormat_Grey8), qcVideoFormat::NotSupported);
  EXPECT_THROW(f().newAcqFifoEx(board, qeImageFormat_Grey16), qcVideoFormat::NotSupported);
  EXPECT_TRUE(driver->traitsAsked.empty());
  EXPECT_TRUE(driver->typesAsked.empty());

  // The three-plane factory makes no support test: the driver decides.
  std::unique_ptr<qcStd3PlaneAcqFifo> three(f().new3PlaneAcqFifo(board));
  ASSERT_EQ(driver->traitsAsked.size(), 1u);
  EXPECT_TRUE(driver->traitsAsked[0] == qcBasicFifoTraits::rgb3PlaneTraits());
}

TEST_F(FactoryTest, TheGrey16FactoryRefusesEveryGrabber) {
  driver->types = {-1, 0, 9};
  EXPECT_TRUE(board.isSupportedEx(f(), qeImageFormat_Grey16));
  EXPECT_THROW(f().newGrey16AcqFifo(board), qcVideoFormat::NotSupported);
  EXPECT_TRUE(driver->traitsAsked.empty());
}

TEST_F(FactoryTest, NewAcqFifoExPicksTheFifoByImageFormat) {
  driver->types = {-1, 0, 1, 2, 4, 8, 9, 10};
  struct Case {
    qeImageFormat f;
    const char* kind;            // expected class
    qeImageFormat imageFormat;   // of the FIFO made
    long driverType;             // image type passed to the driver, or -2 when the traits were used
  };
  const Case cases[] = {
      {qeImageFormat_Unspecified, "grey", qeImageFormat_Grey8, -2},  // the format's own: grey
      {qeImageFormat_Grey8, "grey", qeImageFormat_Grey8, -2},
      {qeImageFormat_PackedRGB16, "rgb16", qeImageFormat_PackedRGB16, -2},
      {qeImageFormat_PackedRGB32, "rgb32", qeImageFormat_PackedRGB32, -2},
      {qeImageFormat_3Plane, "3plane", qeImageFormat_3Plane, -2},
      {qeImageFormat_Grey16, "generic", qeImageFormat_Grey16, 9},
      {qeImageFormat_Raw8, "generic", qeImageFormat_Raw8, 4},
      {qeImageFormat_Raw16, "generic", qeImageFormat_Raw16, 10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.f));
    driver->traitsAsked.clear();
    driver->typesAsked.clear();
    std::unique_ptr<qcAcqFifo> fifo(f().newAcqFifoEx(board, c.f));
    ASSERT_NE(fifo, nullptr);
    const std::string kind = dynamic_cast<qcStdGreyAcqFifo*>(fifo.get())    ? "grey"
                             : dynamic_cast<qcStdRGB16AcqFifo*>(fifo.get())  ? "rgb16"
                             : dynamic_cast<qcStdRGB32AcqFifo*>(fifo.get())  ? "rgb32"
                             : dynamic_cast<qcStd3PlaneAcqFifo*>(fifo.get()) ? "3plane"
                             : dynamic_cast<qcStdAcqFifo*>(fifo.get())       ? "generic"
                                                                             : "other";
    EXPECT_EQ(kind, c.kind);
    EXPECT_EQ(fifo->imageFormat(), c.imageFormat);
    EXPECT_EQ(&fifo->videoFormat(), static_cast<const qcVideoFormat*>(&f()));
    EXPECT_EQ(&fifo->frameGrabber(), static_cast<qcFrameGrabber*>(&board));
    if (c.driverType == -2) {
      EXPECT_EQ(driver->traitsAsked.size(), 1u);
      EXPECT_TRUE(driver->typesAsked.empty());
    } else {
      EXPECT_TRUE(driver->traitsAsked.empty());
      EXPECT_EQ(driver->typesAsked, (std::vector<long>{c.driverType}));
      EXPECT_EQ(&fifo->fifo(), driver->last);
      EXPECT_NE(dynamic_cast<qcAnalogAcqProps*>(&fifo->properties()), nullptr);
    }
  }
  // An image format the driver does not serve.
  EXPECT_THROW(f().newAcqFifoEx(board, qeImageFormat_UYVY), qcVideoFormat::NotSupported);
}

TEST_F(FactoryTest, NewAcqFifoExUnspecifiedUsesTheFormatsOwnImageFormat) {
  // A format whose pel type is 16-bit grey, kept out of the format lists.
  qc_BaseVideoFormat base{kFormatName, 64, 48, 16, false, false, false, true};
  qc_VideoFormat internal(base, qe_pelType_mono16);
  qcStdVideoFormat grey16(internal);
  ASSERT_EQ(grey16.imageFormat(), qeImageFormat_Grey16);

  driver->types = {-1};  // the support test is made with -1, as given
  std::unique_ptr<qcAcqFifo> fifo(grey16.newAcqFifoEx(board, qeImageFormat_Unspecified));
  ASSERT_NE(dynamic_cast<qcStdAcqFifo*>(fifo.get()), nullptr);
  EXPECT_EQ(fifo->imageFormat(), qeImageFormat_Grey16);
  EXPECT_EQ(driver->typesAsked, (std::vector<long>{9}));
}

TEST_F(FactoryTest, NewAcqFifoExPassesDriverFailures) {
  driver->types = {-1, 0, 9};
  driver->makeNothing = true;
  EXPECT_THROW(f().newAcqFifoEx(board, qeImageFormat_Grey16), qcAcqFifo::CouldNotCreate);
  EXPECT_THROW(f().newAcqFifoEx(board, qeImageFormat_Grey8), qcAcqFifo::CouldNotCreate);

  driver->makeNothing = false;
  driver->makeFifoOfType = [](const qc_VideoFormat&, long) -> qc_AcqFifo* { throw qcAcqFeatureNotImplemented(); };
  EXPECT_THROW(f().newAcqFifoEx(board, qeImageFormat_Grey16), qcAcqFeatureNotImplemented);

  // The property set cannot be bound: the driver FIFO made for it is deleted.
  bool deleted = false;
  driver->makeFifoOfType = [&](const qc_VideoFormat&, long) -> qc_AcqFifo* {
    auto* d = new qcRecordingAcqFifo;
    d->failing = {"setBrightness"};
    d->onDestroy = [&] { deleted = true; };
    return d;
  };
  EXPECT_THROW(f().newAcqFifoEx(board, qeImageFormat_Grey16), qcAcqFeatureNotImplemented);
  EXPECT_TRUE(deleted);
}

}  // namespace
