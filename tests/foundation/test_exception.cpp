#include <gtest/gtest.h>

#include <qrn/qrnstd.h>

#include <memory>
#include <sstream>

namespace {
struct Owner {
  QC_EXCEPTION(Errors, qcExceptionWithString, 0);
  QC_EXCEPTION(BadParams, Errors, 0x10000999);
  QC_EXCEPTION(Plain, qcException, 0x10000998);
};
}  // namespace
QC_REGISTER_PERSISTENT(Owner::Errors);
QC_REGISTER_PERSISTENT(Owner::BadParams);
QC_REGISTER_PERSISTENT(Owner::Plain);

TEST(Exception, NameNumberAndMessage) {
  Owner::Plain p;
  EXPECT_EQ(p.errorNumber(), 0x10000998u);
  EXPECT_EQ(p.className(), "(anonymous namespace)::Owner::Plain");
  EXPECT_STREQ(p.what(), p.className().c_str());

  Owner::BadParams b("value 3 out of range");
  EXPECT_EQ(b.errorNumber(), 0x10000999u);
  EXPECT_EQ(b.info(), "value 3 out of range");
  std::ostringstream os;
  b.message(os);
  EXPECT_EQ(os.str(), "value 3 out of range");
  Owner::BadParams empty;
  EXPECT_EQ(empty.messageString(), empty.className());
}

TEST(Exception, SuicideAndRethrowThrowsACopyOfTheDynamicType) {
  qcException* e = new Owner::BadParams("x");
  try {
    e->suicideAndRethrow();
  } catch (const Owner::BadParams& caught) {
    EXPECT_EQ(caught.info(), "x");
    return;
  }
  FAIL() << "not thrown";
}

TEST(Exception, ArchiveRoundTripAndVersionCheck) {
  std::stringstream ss;
  {
    qcArchive ar(ss, qcArchive::store);
    Owner::BadParams b("kept text");
    qcException* p = &b;
    qcPersistent::serializePointer(ar, p);
  }
  std::string bytes = ss.str();
  {
    std::stringstream in(bytes);
    qcArchive ar(in, qcArchive::load);
    qcException* p = nullptr;
    qcPersistent::serializePointer(ar, p);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->errorNumber(), 0x10000999u);
    EXPECT_EQ(p->info(), "kept text");
    EXPECT_THROW(p->suicideAndRethrow(), Owner::BadParams);
  }
  // The first byte after the class name is the version of the concrete class.
  std::string name = qc_Instantiator::nameOf(typeid(Owner::BadParams));
  std::size_t at = bytes.find(name) + name.size();
  bytes[at] = 1;
  std::stringstream in(bytes);
  qcArchive ar(in, qcArchive::load);
  qcException* p = nullptr;
  try {
    qcPersistent::serializePointer(ar, p);
    FAIL() << "no exception";
  } catch (const qcArchive::UnknownVersion& uv) {
    EXPECT_EQ(uv.where(), name);
    EXPECT_EQ(uv.line(), 0);
  }
}

TEST(Exception, DetailJoinsWhatButNotTheMessageOrTheArchive) {
  std::stringstream ss;
  try {
    throw Owner::BadParams("text").withDetail("value 7 is above the maximum 5");
  } catch (const qcException& e) {
    EXPECT_EQ(e.messageString(), "text");
    EXPECT_STREQ(e.what(), "text: value 7 is above the maximum 5");
    std::unique_ptr<qcException> c(e.clone());
    EXPECT_EQ(c->detail(), e.detail());
    qcArchive ar(ss, qcArchive::store);
    qcException* p = c.get();
    qcPersistent::serializePointer(ar, p);
  }
  std::stringstream plain;
  {
    qcArchive ar(plain, qcArchive::store);
    Owner::BadParams b("text");
    qcException* p = &b;
    qcPersistent::serializePointer(ar, p);
  }
  EXPECT_EQ(ss.str(), plain.str());
}

TEST(Exception, StatusConversion) {
  EXPECT_NO_THROW(qfThrowExceptionOnFailure(0x1234));
  EXPECT_THROW(qfThrowExceptionOnFailure(qf_makeStatus(7, 3)), qcStatusError);
  qfRegisterExceptionConverter(7, [](std::uint32_t s) { throw Owner::BadParams("status " + std::to_string(s & 0xFFFF)); });
  try {
    qfThrowExceptionOnFailure(qf_makeStatus(7, 3));
    FAIL();
  } catch (const Owner::BadParams& e) {
    EXPECT_EQ(e.info(), "status 3");
  }
  qfRegisterExceptionConverter(7, nullptr);
}
