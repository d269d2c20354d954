#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include <qrn/acq/hyper/fgcaps.h>

#include "typed_support.h"

namespace {

// A FIFO on a recording driver FIFO whose settings database `fill` makes.
struct CapsFifo {
  explicit CapsFifo(std::function<void(qcSettingDataBase&)> fill, const std::vector<long>* samples = nullptr)
      : drv(new qcRecordingAcqFifo) {
    drv->answers.initSettingDataBase = std::move(fill);
    drv->answers.validSampleSettings = samples;
    fifo = std::make_unique<qcStdGreyAcqFifo>(*drv);
  }
  qcRecordingAcqFifo* drv;  // owned by fifo
  std::unique_ptr<qcStdGreyAcqFifo> fifo;
};

using Predicate = bool (*)(const qcAcqFifo&);
struct PredicateCase {
  Predicate fn;
  long id;
};
const PredicateCase kPredicates[] = {
    {qfFQ2IsContrastSupported, 1019},         {qfFQ2IsBrightnessSupported, 1020},
    {qfFQ2IsStrobeEnableSupported, 1004},     {qfFQ2IsStrobePulseDurationSupported, 1005},
    {qfFQ2IsStrobeHighSupported, 1006},       {qfFQ2IsSampleXSupported, 9011},
    {qfFQ2IsSampleYSupported, 9012},          {qfFQ2IsTriggerDelaySupported, 6002},
    {qfFQ2IsMasterSlaveSupported, 9008},      {qfFQ2IsBufferedTriggerSupported, 9009},
    {qfFQ2DetectsMissedTriggers, 9007},
};

using Number = double (*)(const qcAcqFifo&);
const Number kNumbers[] = {qfFQ2ContrastDefault, qfFQ2BrightnessDefault, qfFQ2GetMinExposure,
                           qfFQ2GetMinTriggerDelay, qfFQ2GetMaxTriggerDelay};

TEST(Capabilities, AnEmptyDatabaseSupportsNothing) {
  const std::vector<long> samples{1, 2, 4};
  CapsFifo c([](qcSettingDataBase&) {}, &samples);
  for (const PredicateCase& p : kPredicates) EXPECT_FALSE(p.fn(*c.fifo)) << p.id;
  for (Number n : kNumbers) EXPECT_EQ(n(*c.fifo), 0.0);
  EXPECT_EQ(qfFQ2GetSampleXSettings(*c.fifo), nullptr);
  EXPECT_EQ(qfFQ2GetSampleYSettings(*c.fifo), nullptr);
  EXPECT_EQ(c.drv->count("getValidSampleSettings"), 0u);
  EXPECT_EQ(c.drv->count("initSettingDataBase"), 1u) << "filled once, however often asked";
}

TEST(Capabilities, EachPredicateLooksForItsOwnId) {
  for (const PredicateCase& only : kPredicates) {
    SCOPED_TRACE(only.id);
    CapsFifo c([&](qcSettingDataBase& db) { db.emplace_back(only.id, 0.0, 1.0, 0.0, qcSettingInfo::kindOnOff); });
    for (const PredicateCase& p : kPredicates) EXPECT_EQ(p.fn(*c.fifo), p.id == only.id) << p.id;
  }
}

TEST(Capabilities, Bt252ContrastAndBrightness) {
  CapsFifo c([](qcSettingDataBase& db) { qfAddSettingInfoBt252(db); });
  EXPECT_TRUE(qfFQ2IsContrastSupported(*c.fifo));
  EXPECT_TRUE(qfFQ2IsBrightnessSupported(*c.fifo));
  EXPECT_EQ(qfFQ2ContrastDefault(*c.fifo), 0.5);
  EXPECT_EQ(qfFQ2BrightnessDefault(*c.fifo), 0.5);
  EXPECT_FALSE(qfFQ2IsStrobeEnableSupported(*c.fifo));
}

TEST(Capabilities, NumbersComeFromTheirEntries) {
  CapsFifo c([](qcSettingDataBase& db) {
    db.emplace_back(1000, 1e-5, 0.5, 2e-5, qcSettingInfo::kindReal);
    db.emplace_back(6002, 0.001, 2.5, 0.01, qcSettingInfo::kindReal);
    db.emplace_back(1019, 0.0, 1.0, 0.25, qcSettingInfo::kindReal);
    db.emplace_back(1020, 0.0, 1.0, 0.75, qcSettingInfo::kindReal);
    db.emplace_back(6002, 7.0, 8.0, 7.5, qcSettingInfo::kindReal);  // a later duplicate is not seen
  });
  EXPECT_EQ(qfFQ2GetMinExposure(*c.fifo), 1e-5);
  EXPECT_EQ(qfFQ2GetMinTriggerDelay(*c.fifo), 0.001);
  EXPECT_EQ(qfFQ2GetMaxTriggerDelay(*c.fifo), 2.5) << "the maximum, not the minimum";
  EXPECT_EQ(qfFQ2ContrastDefault(*c.fifo), 0.25);
  EXPECT_EQ(qfFQ2BrightnessDefault(*c.fifo), 0.75);
}

TEST(Capabilities, SampleSettingsOnlyWhenThatAxisIsSupported) {
  const std::vector<long> samples{1, 2, 4};
  CapsFifo c([](qcSettingDataBase& db) { db.emplace_back(9011, 1.0, 4.0, 1.0, qcSettingInfo::kindReal); },
             &samples);
  EXPECT_EQ(qfFQ2GetSampleXSettings(*c.fifo), &samples);
  EXPECT_EQ(qfFQ2GetSampleYSettings(*c.fifo), nullptr);

  // Supported, but the driver gives no list.
  CapsFifo none([](qcSettingDataBase& db) { db.emplace_back(9012, 1.0, 4.0, 1.0, qcSettingInfo::kindReal); });
  EXPECT_EQ(qfFQ2GetSampleYSettings(*none.fifo), nullptr);
  EXPECT_EQ(none.drv->count("getValidSampleSettings"), 1u);
}

TEST(Capabilities, DefaultStrobeEntries) {
  CapsFifo c([](qcSettingDataBase& db) { qfAddSettingInfoDefaultStrobe(db); });
  EXPECT_TRUE(qfFQ2IsStrobeEnableSupported(*c.fifo));
  EXPECT_TRUE(qfFQ2IsStrobePulseDurationSupported(*c.fifo));
  EXPECT_TRUE(qfFQ2IsStrobeHighSupported(*c.fifo));
  EXPECT_FALSE(qfFQ2IsTriggerDelaySupported(*c.fifo));
}

}  // namespace
