// The format model: lists, lookup, the first-use hook, alias following,
// colour and image format, conversions, exceptions and filtering.
#include <atomic>
#include <chrono>
#include <cstring>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include <qrn/acq/format/catalog.h>
#include <qrn/acq/format/vidfmt_internal.h>
#include <qrn/foundation/misc.h>

#include "fmt_support.h"

namespace {

bool namesInStrcmpOrder(const std::vector<const qcVideoFormat*>& list) {
  for (std::size_t i = 1; i < list.size(); ++i)
    if (std::strcmp(list[i - 1]->name(), list[i]->name()) >= 0) return false;
  return true;
}

template <class T>
long countNamed(const std::vector<const T*>& list, const std::string& name) {
  long n = 0;
  for (const T* f : list) n += name == f->name();
  return n;
}

// Counts assertions fired while it lives.
class AssertCounter {
public:
  AssertCounter() : prev_(qf_setAssertObserver([this](const char*, long) { ++count; })) {}
  ~AssertCounter() { qf_setAssertObserver(prev_); }
  std::atomic<int> count{0};

private:
  qcAssertObserver prev_;
};

}  // namespace

// ---- lists and lookup -------------------------------------------------------------

TEST(FormatLists, SameNameReplacesAndDestructionRemoves) {
  const std::string name = "Test Replace 10x10";
  auto first = std::make_unique<TestFormat>(name);
  EXPECT_EQ(qf_getFormat(name), &first->fmt());
  {
    TestFormat second(name);
    EXPECT_EQ(countNamed(qcVideoFormat::fullList(), name), 1);
    EXPECT_EQ(countNamed(qcStdVideoFormat::fullList(), name), 1);
    EXPECT_EQ(qf_getFormat(name), &second.fmt());
    EXPECT_EQ(&qcStdVideoFormat::getFormat(name), &second.fmt());
    // The replaced format is no longer listed: destroying it leaves the lists alone.
    const auto before = qcVideoFormat::fullList();
    first.reset();
    EXPECT_EQ(qcVideoFormat::fullList(), before);
    EXPECT_EQ(qf_getFormat(name), &second.fmt());
  }
  EXPECT_EQ(qf_getFormat(name), nullptr);
  EXPECT_EQ(countNamed(qcStdVideoFormat::fullList(), name), 0);
  EXPECT_TRUE(namesInStrcmpOrder(qcVideoFormat::fullList()));
}

TEST(FormatLists, NewFormatsAreInsertedByStrcmpOrder) {
  // Upper case sorts before lower case; a prefix sorts before its extensions.
  TestFormat a("Test order b"), b("Test Order"), c("Test order"), d("Test order a");
  const auto& full = qcVideoFormat::fullList();
  EXPECT_TRUE(namesInStrcmpOrder(full));
  const auto& stdList = qcStdVideoFormat::fullList();
  ASSERT_EQ(stdList.size(), full.size());
  for (std::size_t i = 0; i < full.size(); ++i) EXPECT_EQ(static_cast<const qcVideoFormat*>(stdList[i]), full[i]);
}

TEST(FormatLists, FormatOutsideTheListsIsNeverFound) {
  TestFormat hidden("Test Hidden 1x1", 1, 1, /*addToFullList=*/false);
  EXPECT_EQ(qf_getFormat("Test Hidden 1x1"), nullptr);
  EXPECT_EQ(countNamed(qcStdVideoFormat::fullList(), "Test Hidden 1x1"), 0);
  EXPECT_THROW(qcStdVideoFormat::getFormat("Test Hidden 1x1"), qcVideoFormat::NotFound);
  EXPECT_STREQ(hidden.fmt().name(), "Test Hidden 1x1");
}

TEST(FormatLookup, UnknownAndCaseChangedNamesAreNotFound) {
  EXPECT_EQ(qf_getFormat("No Such Format"), nullptr);
  EXPECT_THROW(qcStdVideoFormat::getFormat("No Such Format"), qcVideoFormat::NotFound);
  EXPECT_EQ(qf_getFormat("sony XC75 640x480"), nullptr);
  EXPECT_EQ(qf_getFormat("Sony XC75 640x480 "), nullptr);
  EXPECT_EQ(qf_getFormat("Sony XC75 640x480"), &qfXc75_640x480());
}

TEST(FormatLookup, EqualityIsIdentity) {
  TestFormat a("Test Same 1"), b("Test Same 2");
  EXPECT_TRUE(a.fmt() == a.fmt());
  EXPECT_FALSE(a.fmt() != a.fmt());
  EXPECT_TRUE(a.fmt() != b.fmt());
}

// ---- exceptions ---------------------------------------------------------------------

TEST(FormatExceptions, NumbersMessagesAndArchive) {
  EXPECT_EQ(qcVideoFormat::NotFound().errorNumber(), 0x100009A8u);
  EXPECT_EQ(qcVideoFormat::NotSupported().errorNumber(), 0x10000981u);
  EXPECT_EQ(qcVideoFormat::NotFound().messageString(), "qcVideoFormat::NotFound");
  EXPECT_EQ(qcVideoFormat::NotSupported().messageString(), "qcVideoFormat::NotSupported");
  // Registered for archives: a pointer written as the base class comes back
  // with its own type.
  std::stringstream ss;
  {
    qcArchive out(ss, qcArchive::store);
    qcException* p = new qcVideoFormat::NotFound;
    qcPersistent::serializePointer(out, p);
    delete p;
  }
  qcArchive in(ss, qcArchive::load);
  qcException* q = nullptr;
  qcPersistent::serializePointer(in, q);
  std::unique_ptr<qcException> owned(q);
  EXPECT_NE(dynamic_cast<qcVideoFormat::NotFound*>(q), nullptr);
}

TEST(FormatExceptions, SuicideAndRethrowThrowsTheCopy) {
  qcException* e = new qcVideoFormat::NotSupported;
  EXPECT_THROW(e->suicideAndRethrow(), qcVideoFormat::NotSupported);
}

// ---- first-use hook ---------------------------------------------------------------

namespace {
std::atomic<int> scans{0};
bool scanFails() { return ++scans, false; }
bool scanSucceeds() { return ++scans, true; }
bool slowScanSucceeds() {
  ++scans;
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  return true;
}

class FirstUseHook : public ::testing::Test {
protected:
  void SetUp() override {
    scans = 0;
    qf_resetCcfReadFlag_();
  }
  void TearDown() override {
    qf_setCcfScanFunction_(nullptr);
    qf_resetCcfReadFlag_();
  }
};
}  // namespace

TEST_F(FirstUseHook, FailedScanIsRetriedAtTheNextLookup) {
  qf_setCcfScanFunction_(&scanFails);
  qcStdVideoFormat::getFormat("Sony XC75 640x480");
  EXPECT_THROW(qcStdVideoFormat::getFormat("No Such Format"), qcVideoFormat::NotFound);
  qcVideoFormat::fullList();
  qcStdVideoFormat::fullList();
  EXPECT_EQ(scans, 4);
  EXPECT_FALSE(qf_ccfReadFlag_());
}

TEST_F(FirstUseHook, SuccessfulScanRunsOnceAndQfGetFormatNeverScans) {
  qf_setCcfScanFunction_(&scanSucceeds);
  qf_getFormat("Sony XC75 640x480");
  EXPECT_EQ(scans, 0);
  qcVideoFormat::fullList();
  qcStdVideoFormat::getFormat("Sony XC75 640x480");
  qcStdVideoFormat::fullList();
  EXPECT_EQ(scans, 1);
  EXPECT_TRUE(qf_ccfReadFlag_());
}

TEST_F(FirstUseHook, ConcurrentFirstLookupsScanOnce) {
  qf_setCcfScanFunction_(&slowScanSucceeds);
  std::vector<std::thread> threads;
  std::atomic<int> found{0};
  for (int i = 0; i < 8; ++i)
    threads.emplace_back([&] { found += &qcStdVideoFormat::getFormat("Sony XC75 640x480") == &qfXc75_640x480(); });
  for (auto& t : threads) t.join();
  EXPECT_EQ(scans, 1);
  EXPECT_EQ(found, 8);
}

TEST(CcfScanSeam, DisallowVariableStopsReading) {
  const char* old = std::getenv("QUORIN_DISALLOW_CCF_READING");
  std::string saved = old ? old : "";
  ::setenv("QUORIN_DISALLOW_CCF_READING", "1", 1);
  EXPECT_FALSE(qf_CcfForceStdDirRead());
  ::unsetenv("QUORIN_DISALLOW_CCF_READING");
  EXPECT_TRUE(qf_CcfForceStdDirRead());
  if (old) ::setenv("QUORIN_DISALLOW_CCF_READING", saved.c_str(), 1);
}

// ---- camera identity ---------------------------------------------------------------

TEST(CameraIdentity, WithoutRecordEverythingIsNull) {
  TestFormat f("Test NoInfo 1x1");
  EXPECT_EQ(f.fmt().cameraManufacturer(), nullptr);
  EXPECT_EQ(f.fmt().cameraModel(), nullptr);
  EXPECT_EQ(f.fmt().videoFormatResolution(), nullptr);
  EXPECT_EQ(f.fmt().videoFormatDriveType(), nullptr);
  EXPECT_EQ(f.fmt().videoFormatOptions(), nullptr);
  EXPECT_FALSE(f.fmt().formatFromCCF());
  EXPECT_EQ(f.internal().fmtCamInfo(), nullptr);
  EXPECT_EQ(f.internal().fmtCIT(), nullptr);
}

TEST(CameraIdentity, EmptyStringsAreNullAndRecordsAreFoundByName) {
  qc_VidFmtCameraInfo info("TestMaker", /*parse=*/true);  // one word: nothing parsed
  info.cameraManufacturer("Maker");
  info.formatIsFromCCF(true);
  qc_VideoExtCIT cit("TestMaker");
  qc_VideoExtCamLink link("TestMaker");
  TestFormat f("TestMaker");
  EXPECT_STREQ(f.fmt().cameraManufacturer(), "Maker");
  EXPECT_EQ(f.fmt().cameraModel(), nullptr);
  EXPECT_TRUE(f.fmt().formatFromCCF());
  EXPECT_EQ(f.internal().fmtCamInfo(), &info);
  EXPECT_EQ(f.internal().fmtCIT(), &cit);
  EXPECT_EQ(f.internal().fmtCamLink(), &link);
  EXPECT_EQ(f.internal().fmtCITopt(), nullptr);
}

// ---- alias following, colour, image format ------------------------------------------

TEST(AliasFollowing, ChainsEndAtTheTargetAndKeepOwnIdentity) {
  qc_VideoExtCIT cit("Test Alias Target");
  Set::pelType(cit, qe_pelType_RGBpacked);
  qc_VidFmtCameraInfo aInfo("Test Alias A", false), bInfo("Test Alias B", false);
  aInfo.aliasVideoFormatName("Test Alias B");
  aInfo.cameraModel("A-model");
  bInfo.aliasVideoFormatName("Test Alias Target");
  TestFormat target("Test Alias Target", 10, 10), b("Test Alias B", 20, 20), a("Test Alias A", 30, 30);

  EXPECT_EQ(&a.fmt().internal(false), &a.internal());
  EXPECT_EQ(&a.fmt().internal(true), &target.internal());
  EXPECT_EQ(&b.fmt().internal(true), &target.internal());
  EXPECT_STREQ(a.fmt().name(), "Test Alias A");
  EXPECT_EQ(a.fmt().width(), 30);
  EXPECT_STREQ(a.fmt().cameraModel(), "A-model");
  EXPECT_TRUE(a.fmt().isColor());
  EXPECT_EQ(a.fmt().imageFormat(), qeImageFormat_PackedRGB32);
}

TEST(AliasFollowing, MissingTargetOrLoopThrowsNotFound) {
  qc_VidFmtCameraInfo m("Test Alias Missing", false), x("Test Loop X", false), y("Test Loop Y", false),
      s("Test Loop Self", false);
  m.aliasVideoFormatName("Test Nowhere");
  x.aliasVideoFormatName("Test Loop Y");
  y.aliasVideoFormatName("Test Loop X");
  s.aliasVideoFormatName("Test Loop Self");
  TestFormat fm("Test Alias Missing"), fx("Test Loop X"), fy("Test Loop Y"), fs("Test Loop Self");
  for (const TestFormat* f : {&fm, &fx, &fy, &fs}) {
    EXPECT_THROW(f->fmt().internal(true), qcVideoFormat::NotFound) << f->fmt().name();
    EXPECT_THROW(f->fmt().imageFormat(), qcVideoFormat::NotFound);
    EXPECT_EQ(&f->fmt().internal(false), &f->internal());
  }
}

TEST(ImageFormat, TimingRecordThenOwnPelTypeThenGrey8) {
  qc_VideoExtCIT mono("Test Mono CIT"), grey16("Test Grey16 CIT");
  Set::pelType(mono, qe_pelType_mono);
  Set::pelType(grey16, qe_pelType_mono16);
  TestFormat fMono("Test Mono CIT", 1, 1, true, qe_pelType_RGBpacked);  // the CIT wins
  TestFormat fGrey16("Test Grey16 CIT");
  TestFormat ownPel("Test Own Pel", 1, 1, true, qe_pelType_UYVY);
  TestFormat none("Test No Pel");
  EXPECT_EQ(fMono.fmt().imageFormat(), qeImageFormat_Grey8);
  EXPECT_FALSE(fMono.fmt().isColor());
  EXPECT_EQ(fGrey16.fmt().imageFormat(), qeImageFormat_Grey16);
  EXPECT_TRUE(fGrey16.fmt().isColor());  // anything but "mono" counts as colour
  EXPECT_EQ(ownPel.fmt().imageFormat(), qeImageFormat_UYVY);
  EXPECT_FALSE(ownPel.fmt().isColor());  // no CIT: never colour
  EXPECT_EQ(none.fmt().imageFormat(), qeImageFormat_Grey8);
}

// ---- conversions ---------------------------------------------------------------------

TEST(ImageTypeConversion, TableAndRoundTrip) {
  const std::pair<int, long> table[] = {{-1, -1}, {1, 0},   {2, 9},   {3, 8},   {4, 1},   {5, 4},  {6, 10},
                                        {7, 5},   {8, 3},   {9, 6},   {10, 7},  {11, 11}, {12, 2}, {13, 12},
                                        {14, 13}, {15, 15}, {16, 14}, {17, 16}, {18, 17}, {19, 18}};
  for (auto [pub, pel] : table) {
    EXPECT_EQ(qf_convertToInternalImageType(static_cast<qeImageFormat>(pub)), pel) << pub;
    EXPECT_EQ(qf_convertToPublicImageType(pel), pub) << pel;
    EXPECT_EQ(qf_convertToPublicImageType(qf_convertToInternalImageType(static_cast<qeImageFormat>(pub))), pub);
    EXPECT_EQ(qf_isImageFormat(static_cast<qeImageFormat>(pub)), pub != -1) << pub;
  }
  for (long pel : {-1L, -2L, 19L, 0x1001L}) EXPECT_EQ(qf_convertToPublicImageType(pel), qeImageFormat_Unspecified);
  // 14-bit grey (cameras' Mono14) is asked of a driver as 16-bit grey.
  EXPECT_EQ(qf_convertToInternalImageType(qeImageFormat_Grey14), qe_pelType_mono16);
  EXPECT_TRUE(qf_isImageFormat(qeImageFormat_Grey14));
}

TEST(ImageTypeConversion, ValuesOutsideThePublicRangeAssert) {
  AssertCounter asserts;
  for (int v : {0, -2, 20, 4097}) {
    EXPECT_EQ(qf_convertToInternalImageType(static_cast<qeImageFormat>(v)), -1) << v;
    EXPECT_FALSE(qf_isImageFormat(static_cast<qeImageFormat>(v))) << v;
  }
  EXPECT_EQ(asserts.count, 4);
}

// ---- frame grabber questions and filtering -------------------------------------------

TEST(Filtering, KeepsSupportedFormatsInInputOrder) {
  FakeGrabber fg;
  fg.driver().supported = {"Sony XC75 640x480", "Test LS 2048x2048", "Pulnix TM7EX 320x240"};
  const std::vector<const qcStdVideoFormat*> in = {&qfLSTest_2048(), &qfXc75_320x240(), &qfXc75_640x480(),
                                                   &qfTm7ex_320x240()};
  const auto out = qcStdVideoFormat::filterList(in, fg);
  EXPECT_EQ(out, (std::vector<const qcStdVideoFormat*>{&qfLSTest_2048(), &qfXc75_640x480(), &qfTm7ex_320x240()}));

  const std::vector<const qcVideoFormat*> inBase(in.begin(), in.end());
  const auto outBase = qcVideoFormat::filterList(inBase, fg);
  EXPECT_EQ(outBase, (std::vector<const qcVideoFormat*>(out.begin(), out.end())));

  EXPECT_TRUE(qcStdVideoFormat::filterList({}, fg).empty());
  EXPECT_TRUE(qcVideoFormat::filterList({}, fg).empty());
}

TEST(Filtering, FullListFilteredByTheGrabber) {
  FakeGrabber fg;
  fg.driver().supported = {"Quorin NullFormat", "Jai CV-M90 640x480"};
  const auto out = qcStdVideoFormat::filterList(qcStdVideoFormat::fullList(), fg);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0], &qfCvm90_640x480());  // "Jai" < "Quorin"
  EXPECT_EQ(out[1], &qfNullFormat());
}

TEST(Filtering, ExAsksForTheImageTypeAndFollowsAliases) {
  FakeGrabber fg;
  fg.driver().supported = {"Test Ex Target", "Sony XC75 640x480"};
  fg.driver().types = {9};  // mono16
  qc_VidFmtCameraInfo info("Test Ex Alias", false);
  info.aliasVideoFormatName("Test Ex Target");
  TestFormat target("Test Ex Target"), alias("Test Ex Alias");
  const std::vector<const qcStdVideoFormat*> in = {&alias.fmt(), &qfXc75_640x480(), &qfXc75_320x240()};

  fg.driver().asked.clear();
  const auto grey16 = qcStdVideoFormat::filterListEx(in, fg, qeImageFormat_Grey16);
  EXPECT_EQ(grey16, (std::vector<const qcStdVideoFormat*>{&alias.fmt(), &qfXc75_640x480()}));
  // The driver saw the alias's target and the internal image type.
  ASSERT_EQ(fg.driver().asked.size(), 3u);
  EXPECT_EQ(fg.driver().asked[0], (std::pair<std::string, long>("Test Ex Target", 9)));
  EXPECT_EQ(fg.driver().asked[1].second, 9);

  EXPECT_TRUE(qcStdVideoFormat::filterListEx(in, fg, qeImageFormat_Grey8).empty());
  EXPECT_TRUE(qcStdVideoFormat::filterList(in, fg).empty());  // asks grey 8 and raw 8 only
}

TEST(Filtering, AliasToMissingFormatIsNotSupported) {
  FakeGrabber fg;
  fg.driver().supported = {"Test Dangling"};
  qc_VidFmtCameraInfo info("Test Dangling", false);
  info.aliasVideoFormatName("Test Gone");
  TestFormat f("Test Dangling");
  EXPECT_TRUE(qcStdVideoFormat::filterList({&f.fmt()}, fg).empty());
}

TEST(LegacySupport, AsksTheDriverWithTheAliasTarget) {
  FakeGrabber fg;
  fg.driver().legacy = {"Test Legacy Target"};
  qc_VidFmtCameraInfo info("Test Legacy Alias", false);
  info.aliasVideoFormatName("Test Legacy Target");
  TestFormat target("Test Legacy Target"), alias("Test Legacy Alias"), other("Test Legacy Other");
  EXPECT_TRUE(alias.fmt().isSupportedForLegacy(fg));
  EXPECT_TRUE(target.fmt().isSupportedForLegacy(fg));
  EXPECT_FALSE(other.fmt().isSupportedForLegacy(fg));
}

TEST(Factories, Grey16FactoryNeverMakesAFifo) {
  FakeGrabber fg;
  fg.driver().supported = {"Sony XC75 640x480"};
  fg.driver().types = {0, 9};
  EXPECT_THROW(qfXc75_640x480().newGrey16AcqFifo(fg), qcVideoFormat::NotSupported);
}
