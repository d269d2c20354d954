#include <gtest/gtest.h>

#include <qrn/acq/hyper/acqinfo.h>
#include <qrn/acq/hyper/problem.h>

#include <sstream>

namespace {
template <class T>
std::string store(T& v) {
  std::stringstream ss;
  {
    qcArchive ar(ss, qcArchive::store);
    ar || v;
  }
  return ss.str();
}
template <class T>
void load(const std::string& bytes, T& v) {
  std::stringstream ss(bytes);
  qcArchive ar(ss, qcArchive::load);
  ar || v;
}
}  // namespace

TEST(AcqFailure, FlagsAccessorsAndBool) {
  qcAcqFailure f(0x41, 7);
  EXPECT_TRUE(f.isTimeout());
  EXPECT_TRUE(f.isOverrun());
  EXPECT_FALSE(f.isMissed());
  EXPECT_EQ(f.abnormalErrorCode(), 7);
  EXPECT_TRUE(static_cast<bool>(f));
  f.isTimeout(false);
  f.isOverrun(false);
  EXPECT_FALSE(static_cast<bool>(f));
  f.isTimingError(true);
  EXPECT_EQ(f.rawFlags(), 0x100u);
}

TEST(AcqFailure, ArchiveKeepsFlagsNotText) {
  qcAcqFailure f(0x8, 3);
  f.errorInfo("lost lines");
  std::string bytes = store(f);
  EXPECT_EQ(bytes.size(), 6u + 1 + 8);
  qcAcqFailure g(0, 11);
  g.errorInfo("mine");
  load(bytes, g);
  EXPECT_TRUE(g.isIncomplete());
  EXPECT_EQ(g.abnormalErrorCode(), 11);
  EXPECT_EQ(g.errorInfo(), "mine");
}

TEST(AcqProblem, BitZeroAnswersMasterAndSlaveAndCopiesOwnWord) {
  qcAcqProblem p;
  EXPECT_FALSE(static_cast<bool>(p));
  p.flags() = 1;
  EXPECT_TRUE(p.hasInvalidMaster());
  EXPECT_TRUE(p.hasInvalidSlave());
  qcAcqProblem q(p);
  q.flags() |= qcAcqProblem::kBadSyncModel;
  EXPECT_FALSE(p.badSyncModel());
  EXPECT_TRUE(q.badSyncModel());
  p.flags() = 1u << 1;  // a bit without a getter still makes it true
  EXPECT_TRUE(static_cast<bool>(p));
  EXPECT_FALSE(p.hasInvalidMaster());
  qcAcqProblem r;
  load(store(q), r);
  EXPECT_EQ(r.flags(), q.flags());
}

TEST(AcquireInfo, TimeStampIsArchivedLowWordFirst) {
  qcAcquireInfo info(5, 9, qcAcqFailure(0x2, 0), (1ull << 32) + 2);
  std::string bytes = store(info);
  // header, version, appTag, triggerNum, failure (version + word), then low, high.
  std::size_t at = 6 + 1 + 8 + 8 + 1 + 8;
  ASSERT_EQ(bytes.size(), at + 16);
  EXPECT_EQ(bytes[at], 2);
  EXPECT_EQ(bytes[at + 8], 1);
  qcAcquireInfo back;
  load(bytes, back);
  EXPECT_EQ(back.appTag(), 5u);
  EXPECT_EQ(back.triggerNum(), 9u);
  EXPECT_TRUE(back.failure().isMissed());
  EXPECT_EQ(back.timeStamp(), (1ull << 32) + 2);
}

TEST(FailureRecords, VersionOneIsRejected) {
  const std::string v1 = std::string("QRNA\x01\x00", 6) + '\x01' + std::string(40, '\0');
  qcAcqFailure f;
  qcAcqProblem p;
  qcAcquireInfo i;
  try {
    load(v1, f);
    FAIL();
  } catch (const qcArchive::UnknownVersion& e) {
    EXPECT_EQ(e.where(), "acq/hyper/failure");
    EXPECT_EQ(e.line(), 100);
  }
  EXPECT_THROW(load(v1, p), qcArchive::UnknownVersion);
  EXPECT_THROW(load(v1, i), qcArchive::UnknownVersion);
  qcAcqFeatureNotImplemented e;
  EXPECT_EQ(e.errorNumber(), 0x10000980u);
  EXPECT_EQ(e.className(), "qcAcqFeatureNotImplemented");
}
