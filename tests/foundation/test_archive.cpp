#include <gtest/gtest.h>

#include <qrn/qrnstd.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>
#include <string>

namespace {

std::string storeWith(const std::function<void(qcArchive&)>& fn) {
  std::stringstream ss;
  {
    qcArchive ar(ss, qcArchive::store);
    fn(ar);
  }
  return ss.str();
}

// A small persistent class with a virtual persistent base and two levels, the
// way property classes are built.
class Shape : public virtual qcPersistent {
public:
  long id = 0;
  void dispatchSerialize(qcArchive& ar) override {
    if (haveVisited(ar, this, typeid(Shape))) return;
    unsigned char v = 0;
    ar || v;
    if (v != 0) throw qcArchive::UnknownVersion("Shape", 1);
    qcPersistent::dispatchSerialize(ar);
    ar || id;
    setVisited(ar, this, typeid(Shape));
  }
  QC_DECLARE_PERSISTENT(Shape);
};

class Circle : public Shape {
public:
  double radius = 1.0;
  Circle* next = nullptr;  // not owned
  void dispatchSerialize(qcArchive& ar) override {
    if (haveVisited(ar, this, typeid(Circle))) return;
    unsigned char v = 0;
    ar || v;
    Shape::dispatchSerialize(ar);
    ar || radius;
    serializePointer(ar, next);
    setVisited(ar, this, typeid(Circle));
  }
  QC_DECLARE_PERSISTENT(Circle);
};

QC_IMPLEMENT_PERSISTENT(Shape);
QC_IMPLEMENT_PERSISTENT(Circle);

}  // namespace

TEST(Archive, PrimitiveLayoutIsLittleEndianAndFixedWidth) {
  std::string bytes = storeWith([](qcArchive& ar) {
    ar << true << static_cast<unsigned char>(0xAB) << 0x01020304 << -2L << 0x1122334455667788UL << 1.0
       << std::string("hi");
  });
  const std::string expected = std::string("QRNA\x01\x00", 6) + "\x01\xAB" + "\x04\x03\x02\x01" +
                               "\xFE\xFF\xFF\xFF\xFF\xFF\xFF\xFF" + "\x88\x77\x66\x55\x44\x33\x22\x11" +
                               std::string("\x00\x00\x00\x00\x00\x00\xF0\x3F", 8) + std::string("\x02\x00\x00\x00", 4) +
                               "hi";
  EXPECT_EQ(bytes, expected);
}

TEST(Archive, RoundTripsEveryPrimitiveWithEitherOperator) {
  std::stringstream ss;
  bool b = true;
  unsigned char uc = 200;
  signed char sc = -100;
  int i = -123456;
  long l = std::numeric_limits<long>::min();
  unsigned long ul = std::numeric_limits<unsigned long>::max();
  double d = -0.125;
  std::string s("text with\0nul", 13);
  qcPelRect r(1, -2, 30, 40);
  {
    qcArchive ar(ss, qcArchive::store);
    ar || b || uc || sc || i || l || ul || d || s || r;
  }
  bool b2 = false;
  unsigned char uc2 = 0;
  signed char sc2 = 0;
  int i2 = 0;
  long l2 = 0;
  unsigned long ul2 = 0;
  double d2 = 0;
  std::string s2;
  qcPelRect r2;
  qcArchive in(ss, qcArchive::load);
  EXPECT_TRUE(in.isLoading());
  in || b2 || uc2 || sc2 || i2 || l2 || ul2 || d2 || s2 || r2;
  EXPECT_EQ(b2, b);
  EXPECT_EQ(uc2, uc);
  EXPECT_EQ(sc2, sc);
  EXPECT_EQ(i2, i);
  EXPECT_EQ(l2, l);
  EXPECT_EQ(ul2, ul);
  EXPECT_EQ(d2, d);
  EXPECT_EQ(s2, s);
  EXPECT_EQ(r2, r);
}

TEST(Archive, BadInputThrowsArchiveErrors) {
  struct Case {
    const char* what;
    std::string bytes;
  };
  const std::string header("QRNA\x01\x00", 6);
  const Case cases[] = {
      {"empty stream", ""},
      {"foreign magic", "XXXX\x01\x00"},
      {"future format", std::string("QRNA\x07\x00", 6)},
      {"truncated long", header + "\x01\x02\x03"},
      {"huge string length", header + "\xFF\xFF\xFF\x7F" + "abc"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::stringstream ss(c.bytes);
    EXPECT_THROW(
        {
          qcArchive ar(ss, qcArchive::load);
          long l;
          std::string s;
          if (c.bytes.size() > 6 && c.bytes[6] == '\xFF')
            ar >> s;
          else
            ar >> l;
        },
        qcArchive::Errors);
  }
}

TEST(Archive, CorruptBoolIsRejected) {
  std::stringstream ss(std::string("QRNA\x01\x00\x07", 7));
  qcArchive ar(ss, qcArchive::load);
  bool b;
  EXPECT_THROW(ar >> b, qcArchive::BadData);
}

TEST(Persistent, PointerRecordsRecreateClassesAndShareObjects) {
  Circle a, b;
  a.id = 1;
  a.radius = 2.5;
  b.id = 2;
  b.radius = 4.0;
  a.next = &b;
  b.next = &b;  // self reference: written once
  std::stringstream ss;
  {
    qcArchive ar(ss, qcArchive::store);
    Shape* pa = &a;
    Shape* pb = &b;
    qcPersistent::serializePointer(ar, pa);
    qcPersistent::serializePointer(ar, pb);  // already written: shared
    Shape* none = nullptr;
    qcPersistent::serializePointer(ar, none);
  }
  qcArchive in(ss, qcArchive::load);
  Shape *la = nullptr, *lb = nullptr, *ln = &a;
  qcPersistent::serializePointer(in, la);
  qcPersistent::serializePointer(in, lb);
  qcPersistent::serializePointer(in, ln);
  ASSERT_NE(la, nullptr);
  auto* ca = dynamic_cast<Circle*>(la);
  ASSERT_NE(ca, nullptr);
  EXPECT_EQ(ca->id, 1);
  EXPECT_EQ(ca->radius, 2.5);
  ASSERT_NE(ca->next, nullptr);
  EXPECT_EQ(ca->next, lb);
  EXPECT_EQ(ca->next->next, ca->next);
  EXPECT_EQ(ca->next->radius, 4.0);
  EXPECT_EQ(ln, nullptr);
  delete ca->next;
  delete ca;
}

TEST(Persistent, RegisteredNamesAreListedSortedAndEachFindsItsMaker) {
  const std::vector<std::string> names = qc_Instantiator::names();
  EXPECT_EQ(names.size(), qc_Instantiator::count());
  EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
  const std::string circle = qc_Instantiator::nameOf(typeid(Circle));
  EXPECT_TRUE(std::binary_search(names.begin(), names.end(), circle)) << circle;
  for (const std::string& n : names) EXPECT_NE(qc_Instantiator::find(n), nullptr) << n;
}

TEST(Persistent, UnknownClassNameAndWrongClassThrow) {
  std::stringstream ss;
  {
    qcArchive ar(ss, qcArchive::store);
    ar << static_cast<unsigned char>(1) << std::string("NoSuchClass");
  }
  qcArchive in(ss, qcArchive::load);
  Shape* p = nullptr;
  EXPECT_THROW(qcPersistent::serializePointer(in, p), qcArchive::UnknownClass);

  std::stringstream ss2;
  {
    qcArchive ar(ss2, qcArchive::store);
    qcException e;
    qcException* pe = &e;
    qcPersistent::serializePointer(ar, pe);
  }
  qcArchive in2(ss2, qcArchive::load);
  EXPECT_THROW(qcPersistent::serializePointer(in2, p), qcArchive::BadData);
}

TEST(Persistent, EachClassPartIsArchivedOncePerOperation) {
  Circle c;
  c.id = 7;
  std::stringstream ss;
  {
    qcArchive ar(ss, qcArchive::store);
    qcArchiveOperation op(ar);
    c.dispatchSerialize(ar);
    c.dispatchSerialize(ar);  // same operation: nothing more written
  }
  std::string once = ss.str();
  std::stringstream ss2;
  {
    qcArchive ar(ss2, qcArchive::store);
    c.serialize(ar);
    c.serialize(ar);  // two operations: written twice
  }
  EXPECT_LT(once.size(), ss2.str().size());
  EXPECT_EQ(ss2.str().size() - 6, 2 * (once.size() - 6));
}

TEST(Persistent, TruncatedObjectThrowsAndLeaksNothing) {
  Circle c;
  std::stringstream ss;
  {
    qcArchive ar(ss, qcArchive::store);
    Shape* p = &c;
    qcPersistent::serializePointer(ar, p);
  }
  std::string full = ss.str();
  for (std::size_t cut = 6; cut < full.size(); ++cut) {
    std::stringstream part(full.substr(0, cut));
    qcArchive in(part, qcArchive::load);
    Shape* p = nullptr;
    EXPECT_THROW(qcPersistent::serializePointer(in, p), qcArchive::Errors) << "cut at " << cut;
  }
}
