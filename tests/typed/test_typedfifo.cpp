#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "typed_support.h"

namespace {

using Args = qcAcqFifo::CompleteArgs;
using Status = qcAcqFifo::qeStartReqStatus;
using Answers = qcRecordingAcqFifo::Answers;

// ---- traits ---------------------------------------------------------------------------

// A driver that serves the grey slot itself.
class GreySlotDriver : public qcTestDriver {
public:
  int greyCalls = 0;
  qc_AcqFifo* stdGreyAcqFifo(const qc_VideoFormat&) override {
    ++greyCalls;
    return new qcRecordingAcqFifo;
  }
};

TEST(FifoTraits, SharedInstancesHaveTheirPixelFormatAndMaker) {
  using T = qcBasicFifoTraits;
  struct Case {
    const T& (*get)();
    int pixelFormat;
    T::Maker maker;
  };
  const Case cases[] = {
      {&T::defTraits, 2, nullptr},
      {&T::grey8Traits, 2, &qc_FrameGrabber::stdGreyAcqFifo},
      {&T::grey16Traits, 3, &qc_FrameGrabber::stdGrey16AcqFifo},
      {&T::rgb3PlaneTraits, 4, nullptr},
      {&T::rgb1PlaneTraits, 5, nullptr},
      {&T::rgb16Traits, 0, &qc_FrameGrabber::stdRGB16AcqFifo},
      {&T::rgb32Traits, 1, &qc_FrameGrabber::stdRGB32AcqFifo},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    const T& t = cases[i].get();
    EXPECT_EQ(&t, &cases[i].get()) << "built once, returned by reference";
    EXPECT_EQ(static_cast<int>(t.pixelFormat()), cases[i].pixelFormat);
    EXPECT_TRUE(t.maker() == cases[i].maker);
    // Every instance differs from every other one.
    for (std::size_t j = 0; j < std::size(cases); ++j) EXPECT_EQ(t == cases[j].get(), i == j) << j;
  }
  EXPECT_TRUE(T::grey8Traits() != T::defTraits()) << "same pixels, different maker";
  EXPECT_FALSE(T::defTraits() != T::defTraits());
  EXPECT_TRUE(T(nullptr, T::qePixelFormat_Grey8) == T::defTraits());
}

TEST(FifoTraits, MakeCallsTheDriversOverrideOfTheSlot) {
  GreySlotDriver drv;
  qcTestVideoFormat fmt("Traits Test");
  std::unique_ptr<qc_AcqFifo> made(qcBasicFifoTraits::grey8Traits().make(drv, fmt.internal()));
  EXPECT_NE(made, nullptr);
  EXPECT_EQ(drv.greyCalls, 1);
  // A slot the driver does not serve, and traits that name no slot.
  EXPECT_THROW(qcBasicFifoTraits::rgb16Traits().make(drv, fmt.internal()), qcVideoFormat::NotSupported);
  EXPECT_THROW(qcBasicFifoTraits::defTraits().make(drv, fmt.internal()), qcVideoFormat::NotSupported);
  EXPECT_EQ(drv.greyCalls, 1);
}

// ---- the five standard typed FIFOs, one behaviour at a time ------------------------

template <class F, class B, qeImageFormat IF>
struct KindBase {
  using Fifo = F;
  using Buffer = B;
  static constexpr qeImageFormat imageFormat = IF;
};

struct GreyKind : KindBase<qcStdGreyAcqFifo, qcPelBuffer<unsigned char>, qeImageFormat_Grey8> {
  static constexpr const char* slot = "complete8";
  static const qcBasicFifoTraits& traits() { return qcBasicFifoTraits::defTraits(); }
  static Buffer image(bool local) { return makeImage<unsigned char>(local); }
  static auto& answer(Answers& a) { return a.complete8; }
};
struct Grey16Kind : KindBase<qcStdGrey16AcqFifo, qcPelBuffer<unsigned short>, qeImageFormat_Grey16> {
  static constexpr const char* slot = "complete16";
  static const qcBasicFifoTraits& traits() { return qcBasicFifoTraits::grey16Traits(); }
  static Buffer image(bool local) { return makeImage<unsigned short>(local); }
  static auto& answer(Answers& a) { return a.complete16; }
};
struct RGB16Kind : KindBase<qcStdRGB16AcqFifo, qcPelBuffer<qcPackedRGB16Pel>, qeImageFormat_PackedRGB16> {
  static constexpr const char* slot = "completeRGB16";
  static const qcBasicFifoTraits& traits() { return qcBasicFifoTraits::rgb16Traits(); }
  static Buffer image(bool local) { return makeImage<qcPackedRGB16Pel>(local); }
  static auto& answer(Answers& a) { return a.completeRGB16; }
};
struct RGB32Kind : KindBase<qcStdRGB32AcqFifo, qcPelBuffer<qcPackedRGB32Pel>, qeImageFormat_PackedRGB32> {
  static constexpr const char* slot = "completeRGB32";
  static const qcBasicFifoTraits& traits() { return qcBasicFifoTraits::rgb32Traits(); }
  static Buffer image(bool local) { return makeImage<qcPackedRGB32Pel>(local); }
  static auto& answer(Answers& a) { return a.completeRGB32; }
};
struct ThreePlaneKind : KindBase<qcStd3PlaneAcqFifo, qc3PlanePelBuffer, qeImageFormat_3Plane> {
  static constexpr const char* slot = "complete3Plane";
  static const qcBasicFifoTraits& traits() { return qcBasicFifoTraits::rgb3PlaneTraits(); }
  static Buffer image(bool local) { return make3PlaneImage(local); }
  static auto& answer(Answers& a) { return a.complete3Plane; }
};

template <class K>
class TypedFifoTest : public TypedGrabberTest {
protected:
  using Buffer = typename K::Buffer;
  using Fifo = typename K::Fifo;

  // Makes the FIFO; its driver FIFO answers the typed completion with `img`.
  std::unique_ptr<Fifo> fifoAnswering(const Buffer& img) {
    driver->setUp = [img](qcRecordingAcqFifo& d) { K::answer(d.answers) = [img](const Args&) { return img; }; };
    auto f = std::make_unique<Fifo>(fmt, board);
    drv = driver->last;
    return f;
  }

  qcRecordingAcqFifo* drv = nullptr;
};

using Kinds = ::testing::Types<GreyKind, Grey16Kind, RGB16Kind, RGB32Kind, ThreePlaneKind>;
TYPED_TEST_SUITE(TypedFifoTest, Kinds);

TYPED_TEST(TypedFifoTest, ConstructionUsesTheKindsTraitsAndBindsANewPropertySet) {
  this->driver->setUp = [](qcRecordingAcqFifo& d) { d.answers.defaultExposure = 0.01; };
  typename TypeParam::Fifo f(this->fmt, this->board);
  qcRecordingAcqFifo& d = *this->driver->last;

  ASSERT_EQ(this->driver->traitsAsked.size(), 1u);
  EXPECT_TRUE(this->driver->traitsAsked[0] == TypeParam::traits());
  EXPECT_EQ(&f.fifo(), &d);
  EXPECT_EQ(f.imageFormat(), TypeParam::imageFormat);
  EXPECT_EQ(&f.videoFormat(), &this->fmt.format());
  EXPECT_EQ(&f.frameGrabber(), static_cast<qcFrameGrabber*>(&this->board));

  // The set is a qcAnalogAcqProps associated with the driver FIFO: it took
  // the driver's default exposure without sending it back, and it passes
  // changes on.
  qcAcqProps& props = f.properties();
  EXPECT_NE(dynamic_cast<qcAnalogAcqProps*>(&props), nullptr);
  EXPECT_EQ(static_cast<qcExposureProp&>(props).exposure(), 0.01);
  EXPECT_EQ(d.count("exposure"), 0u);
  static_cast<qcExposureProp&>(props).exposure(0.02);
  EXPECT_EQ(d.callsNamed("exposure"), (std::vector<std::string>{"exposure(0.02)"}));
}

TYPED_TEST(TypedFifoTest, CompleteMovesANonLocalImageOnlyWhenAskedTo) {
  struct Case {
    bool local, makeLocal;
  };
  for (Case c : {Case{true, true}, Case{true, false}, Case{false, false}, Case{false, true}}) {
    SCOPED_TRACE(std::string("local=") + (c.local ? "1" : "0") + " makeLocal=" + (c.makeLocal ? "1" : "0"));
    typename TypeParam::Buffer img = TypeParam::image(c.local);
    auto f = this->fifoAnswering(img);
    TypedAssertCounter asserts;

    typename TypeParam::Buffer got = f->complete(Args().makeLocal(c.makeLocal));

    const bool shouldMove = !c.local && c.makeLocal;
    ASSERT_TRUE(got.isBound());
    EXPECT_EQ(got.untypedRoot() == img.untypedRoot(), !shouldMove);
    EXPECT_EQ(got.isLocal(), c.local || shouldMove);
    EXPECT_TRUE(samePels(got, img));
    // Every kind, three-plane images included, is moved without complaint.
    EXPECT_EQ(asserts.count(), 0);
    EXPECT_EQ(this->drv->callsNamed(TypeParam::slot).size(), 1u);
  }
}

TYPED_TEST(TypedFifoTest, CompletePassesTheArgumentsAndReportsNoImageAsUnbound) {
  auto f = this->fifoAnswering(typename TypeParam::Buffer());
  typename TypeParam::Buffer got = f->complete(Args().maxWait(0.5).autoStart(true).makeLocal(false));
  EXPECT_FALSE(got.isBound());
  EXPECT_EQ(this->drv->callsNamed(TypeParam::slot),
            (std::vector<std::string>{std::string(TypeParam::slot) + "(0.5,true,false)"}));

  EXPECT_EQ(f->baseComplete(Args()), nullptr);
  qcAcqFifo& base = *f;
  EXPECT_EQ(base.baseComplete(Args()), nullptr);
  unsigned long trig = 7;
  EXPECT_EQ(f->baseComplete(nullptr, &trig), nullptr);
  EXPECT_EQ(trig, 0u) << "the local info's trigger number";
}

TYPED_TEST(TypedFifoTest, BaseCompleteGivesAHeapBufferOfTheKindSharingThePels) {
  typename TypeParam::Buffer img = TypeParam::image(false);
  auto f = this->fifoAnswering(img);

  std::unique_ptr<typename TypeParam::Buffer> typed(f->baseComplete(Args()));
  ASSERT_NE(typed, nullptr);
  EXPECT_TRUE(samePels(*typed, img));

  // Through the untyped FIFO, with the older form: the same buffer kind.
  qcAcqFifo& base = *f;
  qcAcqFailure failure(qcAcqFailure::kTimeout, 0);
  std::unique_ptr<qc_PelBuffer> untyped(base.baseComplete(&failure, nullptr, false));
  ASSERT_NE(dynamic_cast<typename TypeParam::Buffer*>(untyped.get()), nullptr);
  EXPECT_EQ(untyped->untypedRoot(), img.untypedRoot()) << "makeLocal false: not moved";
  EXPECT_FALSE(failure) << "the local info's empty failure is copied out";
}

TYPED_TEST(TypedFifoTest, OlderFormsCopyTheAcquisitionRecordOut) {
  this->driver->setUp = [](qcRecordingAcqFifo& d) {
    TypeParam::answer(d.answers) = [](const Args& a) {
      if (a.acquireInfo()) {
        a.acquireInfo()->triggerNum(42);
        a.acquireInfo()->failure(qcAcqFailure(qcAcqFailure::kMissed, 3));
      }
      if (a.startReqStatus()) *a.startReqStatus() = static_cast<Status>(5);
      return TypeParam::image(true);
    };
  };
  typename TypeParam::Fifo f(this->fmt, this->board);
  qcRecordingAcqFifo& d = *this->driver->last;

  qcAcqFailure failure;
  unsigned long trig = 0;
  Status status = static_cast<Status>(0);
  typename TypeParam::Buffer got = f.complete(&failure, &trig, false, 0.25, true, &status);
  EXPECT_TRUE(got.isBound());
  EXPECT_EQ(trig, 42u);
  EXPECT_TRUE(failure.isMissed());
  EXPECT_EQ(failure.abnormalErrorCode(), 3);
  EXPECT_EQ(static_cast<int>(status), 5);
  EXPECT_EQ(d.callsNamed(TypeParam::slot).back(), std::string(TypeParam::slot) + "(0.25,true,false)");

  // Null pointers are skipped; the defaults are those of CompleteArgs.
  got = f.complete(nullptr, nullptr);
  EXPECT_TRUE(got.isBound());
  EXPECT_EQ(d.callsNamed(TypeParam::slot).back(), std::string(TypeParam::slot) + "(inf,false,true)");

  trig = 0;
  std::unique_ptr<typename TypeParam::Buffer> heap(f.baseComplete(nullptr, &trig));
  EXPECT_NE(heap, nullptr);
  EXPECT_EQ(trig, 42u);
}

TYPED_TEST(TypedFifoTest, ConstructionFailuresLeaveNothingBehind) {
  // The driver refuses the traits: its NotSupported passes.
  this->driver->makeFifo = nullptr;
  EXPECT_THROW(typename TypeParam::Fifo(this->fmt, this->board), qcVideoFormat::NotSupported);
  this->driver->makeFifo = [](const qc_VideoFormat&, const qcBasicFifoTraits&) -> qc_AcqFifo* { return nullptr; };
  EXPECT_THROW(typename TypeParam::Fifo(this->fmt, this->board), qcAcqFifo::CouldNotCreate);

  // Binding the property set fails: the driver FIFO made for it is deleted.
  bool deleted = false;
  auto* d = new qcRecordingAcqFifo;
  d->failing = {"setContrast"};
  d->onDestroy = [&] { deleted = true; };
  this->driver->makeFifo = [d](const qc_VideoFormat&, const qcBasicFifoTraits&) -> qc_AcqFifo* { return d; };
  EXPECT_THROW(typename TypeParam::Fifo(this->fmt, this->board), qcAcqFeatureNotImplemented);
  EXPECT_TRUE(deleted);
}

TEST_F(TypedGrabberTest, AGrabberWithoutADriverObjectCannotMakeAFifo) {
  auto& bare = boards.add<qcTestGrabberBoard>("bare", 1);
  bare.factory = []() -> qc_FrameGrabber* { return nullptr; };
  TypedAssertCounter asserts;
  EXPECT_THROW(qcStdGreyAcqFifo(fmt, bare), qcAcqFifo::CouldNotCreate);
  EXPECT_THROW(qcStdAcqFifo(fmt, bare, qeImageFormat_Grey16), qcAcqFifo::CouldNotCreate);
  EXPECT_GE(asserts.count(), 1);
}

// ---- completeAcq -----------------------------------------------------------------------

TEST_F(TypedGrabberTest, CompleteAcqWrapsTheCompletedImageWithTheFifosFormat) {
  const auto grey = makeImage<unsigned char>(true);
  const auto grey16 = makeImage<unsigned short>(false);  // non-local: moved first
  const auto rgb16 = makeImage<qcPackedRGB16Pel>(true);
  const auto rgb32 = makeImage<qcPackedRGB32Pel>(true);
  driver->setUp = [&](qcRecordingAcqFifo& d) {
    d.answers.complete8 = [&](const Args&) { return grey; };
    d.answers.complete16 = [&](const Args&) { return grey16; };
    d.answers.completeRGB16 = [&](const Args&) { return rgb16; };
    d.answers.completeRGB32 = [&](const Args&) { return rgb32; };
  };
  struct Case {
    std::unique_ptr<qcAcqFifo> fifo;
    int format;
    const qc_PelBuffer* image;
  };
  Case cases[] = {
      {std::make_unique<qcStdGreyAcqFifo>(fmt, board), 1, &grey},
      {std::make_unique<qcStdGrey16AcqFifo>(fmt, board), 2, &grey16},
      {std::make_unique<qcStdRGB16AcqFifo>(fmt, board), 3, &rgb16},
      {std::make_unique<qcStdRGB32AcqFifo>(fmt, board), 4, &rgb32},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.format);
    qcPtrHandle<qcAcqImage> img = c.fifo->completeAcq(Args());
    ASSERT_TRUE(img);
    EXPECT_EQ(static_cast<int>(img->imageFormat()), c.format);
    ASSERT_FALSE(img->isEmpty());
    EXPECT_TRUE(samePels(*img->buffer(), *c.image));
    EXPECT_TRUE(img->buffer()->isLocal());
    EXPECT_EQ(static_cast<qcRecordingAcqFifo&>(c.fifo->fifo()).count("completeAcq"), 0u)
        << "the typed completion, not the driver's completeAcq";
  }
  // The 16-bit image is the completed one, moved into local memory.
  EXPECT_NE(cases[1].fifo->completeAcq(Args())->grey16().untypedRoot(), grey16.untypedRoot());
}

TEST_F(TypedGrabberTest, Grey16CompleteAcqWithoutAnImageIsEmpty) {
  driver->setUp = [](qcRecordingAcqFifo& d) {
    d.answers.complete16 = [](const Args&) { return qcPelBuffer<unsigned short>(); };
  };
  qcStdGrey16AcqFifo f(fmt, board);
  qcPtrHandle<qcAcqImage> img = f.completeAcq(Args());
  ASSERT_TRUE(img);
  EXPECT_TRUE(img->isEmpty());
  EXPECT_EQ(img->imageFormat(), qeImageFormat_Grey16);
}

TEST_F(TypedGrabberTest, ThreePlaneAndGenericFifosUseTheDriversCompleteAcq) {
  qcPtrHandle<qcAcqImage> fromDriver(new qcAcqImage(makeImage<unsigned short>(true), qeImageFormat_Raw16));
  driver->setUp = [&](qcRecordingAcqFifo& d) { d.answers.completeAcq = [&](const Args&) { return fromDriver; }; };
  qcStd3PlaneAcqFifo three(fmt, board);
  qcStdAcqFifo generic(fmt, board, qeImageFormat_Raw16);
  for (qcAcqFifo* f : {static_cast<qcAcqFifo*>(&three), static_cast<qcAcqFifo*>(&generic)}) {
    EXPECT_EQ(f->completeAcq(Args().maxWait(2)).ptr(), fromDriver.ptr());
    EXPECT_EQ(static_cast<qcRecordingAcqFifo&>(f->fifo()).callsNamed("completeAcq"),
              (std::vector<std::string>{"completeAcq(2,false,true)"}));
  }
}

// ---- the generic standard FIFO ------------------------------------------------------

TEST_F(TypedGrabberTest, GenericFifoCompletesThroughTheGreyCompletion) {
  const auto img = makeImage<unsigned char>(false);
  driver->setUp = [&](qcRecordingAcqFifo& d) { d.answers.complete8 = [&](const Args&) { return img; }; };
  qcStdAcqFifo f(fmt, board, qeImageFormat_UYVY);
  qcRecordingAcqFifo& d = *driver->last;

  ASSERT_EQ(driver->traitsAsked.size(), 1u);
  EXPECT_TRUE(driver->traitsAsked[0] == qcBasicFifoTraits::defTraits());
  EXPECT_EQ(f.imageFormat(), qeImageFormat_UYVY);
  EXPECT_EQ(&f.videoFormat(), &fmt.format());
  EXPECT_NE(dynamic_cast<qcAnalogAcqProps*>(&f.properties()), nullptr);

  qcPelBuffer<unsigned char> got = f.complete(Args());
  EXPECT_TRUE(got.isLocal()) << "moved like the typed FIFOs";
  EXPECT_TRUE(samePels(got, img));
  unsigned long trig = 1;
  EXPECT_TRUE(f.complete(nullptr, &trig, false).isBound());
  EXPECT_EQ(trig, 0u);
  EXPECT_EQ(d.count("complete8"), 2u);

  // baseComplete hands out no image and does not ask the driver.
  std::unique_ptr<qcPelBuffer<unsigned char>> b(f.baseComplete(Args()));
  ASSERT_NE(b, nullptr);
  EXPECT_FALSE(b->isBound());
  qcAcqFifo& base = f;
  std::unique_ptr<qc_PelBuffer> ub(base.baseComplete(Args()));
  ASSERT_NE(ub, nullptr);
  EXPECT_FALSE(ub->isBound());
  EXPECT_EQ(f.baseComplete(nullptr, &trig), nullptr);
  EXPECT_EQ(d.count("complete8"), 2u);
}

// ---- FIFOs that wrap a driver FIFO ----------------------------------------------------

TEST_F(TypedGrabberTest, WrappingFifosOwnTheDriverFifoAndBindTheirProperties) {
  int deleted = 0;
  auto newDriverFifo = [&] {
    auto* d = new qcRecordingAcqFifo;
    d->answers.defaultExposure = 0.125;
    d->onDestroy = [&] { ++deleted; };
    return d;
  };
  std::vector<std::unique_ptr<qcAcqFifo>> fifos;
  std::vector<qcRecordingAcqFifo*> drivers;
  for (int i = 0; i < 4; ++i) drivers.push_back(newDriverFifo());
  fifos.push_back(std::make_unique<qcStdGreyAcqFifo>(*drivers[0]));
  fifos.push_back(std::make_unique<qcStdGrey16AcqFifo>(*drivers[1]));
  fifos.push_back(std::make_unique<qcStdRGB16AcqFifo>(*drivers[2]));
  fifos.push_back(std::make_unique<qcStdRGB32AcqFifo>(*drivers[3]));
  for (std::size_t i = 0; i < fifos.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(&fifos[i]->fifo(), drivers[i]);
    EXPECT_EQ(static_cast<qcExposureProp&>(fifos[i]->properties()).exposure(), 0.125);
    // No format and no grabber to give: refused, not a null reference.
    TypedAssertCounter asserts;
    EXPECT_THROW(fifos[i]->videoFormat(), std::logic_error);
    EXPECT_THROW(fifos[i]->frameGrabber(), std::logic_error);
    EXPECT_EQ(asserts.count(), 2);
  }
  fifos.clear();
  EXPECT_EQ(deleted, 4);

  // The generic FIFO keeps the format and grabber it is given.
  auto* d = newDriverFifo();
  {
    qcStdAcqFifo g(*d, fmt, board, qeImageFormat_RGB24);
    EXPECT_EQ(&g.fifo(), d);
    EXPECT_EQ(&g.videoFormat(), &fmt.format());
    EXPECT_EQ(&g.frameGrabber(), static_cast<qcFrameGrabber*>(&board));
    EXPECT_EQ(g.imageFormat(), qeImageFormat_RGB24);
    EXPECT_TRUE(driver->traitsAsked.empty() && driver->typesAsked.empty()) << "the grabber is not asked";
  }
  EXPECT_EQ(deleted, 5);
}

TEST_F(TypedGrabberTest, PropertyQueryIsInitializedWithTheFifosPropertySet) {
  class Query : public qcAcqPropertyQuery {};
  Query q;
  driver->setUp = [&](qcRecordingAcqFifo& d) { d.answers.propertyQuery = &q; };
  qcStdRGB32AcqFifo f(fmt, board);
  EXPECT_EQ(&f.propertyQuery(), &q);
  EXPECT_EQ(driver->last->queryProps, &f.properties());
}

}  // namespace
