// The 8-bit input lookup table property, its static tables, and qc_Lut.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include <qrn/acq/hyper/prop/ilut8.h>
#include <qrn/foundation/misc.h>

#include "propsx_archive.h"
#include "propsx_fake_fifo.h"

using Lut = qc8BitInputLutProp;
using Bytes = std::vector<unsigned char>;

namespace {

Bytes row(const Lut& p, long tap) {
  const unsigned char* r = p.inputLut8Ex(tap);
  return Bytes(r, r + p.lutEntries());
}

Bytes ramp(long n, int start = 0, int stride = 1) {
  Bytes b(static_cast<std::size_t>(n));
  for (long i = 0; i < n; ++i) b[i] = static_cast<unsigned char>(start + stride * i);
  return b;
}

const Bytes kDefault(Lut::default8BitInputLut, Lut::default8BitInputLut + 256);

// Counts debug assertions for the lifetime of the object.
struct AssertCounter {
  unsigned long before = qf_assertCount();
  unsigned long fired() const { return qf_assertCount() - before; }
};

}  // namespace

TEST(InputLutTables, Contents) {
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(Lut::default8BitInputLut[i], i < 15 ? 15 : i > 240 ? 240 : i) << i;
    EXPECT_EQ(Lut::positive8BitLut[i], i) << i;
    EXPECT_EQ(Lut::shifted8BitLut[i], i + 15 > 240 ? 240 : i + 15) << i;
  }
  EXPECT_EQ(Lut::default8BitInputLut[0], 15);
  EXPECT_EQ(Lut::default8BitInputLut[100], 100);
  EXPECT_EQ(Lut::default8BitInputLut[255], 240);
  EXPECT_EQ(Lut::shifted8BitLut[0], 15);
  EXPECT_EQ(Lut::shifted8BitLut[225], 240);
}

TEST(InputLut, FreePropertySizesItselfLazily) {
  const Lut p;
  EXPECT_EQ(p.lutEntries(), 256);
  EXPECT_EQ(p.lutTaps(), 1);
  EXPECT_EQ(row(p, 0), kDefault);
  EXPECT_TRUE(p.isSupported(Lut::lutChannel0));
  EXPECT_FALSE(p.isSupported(Lut::lutChannel1));
  EXPECT_FALSE(p.isSupported(static_cast<Lut::LutChannel>(-1)));
  // A tap it lacks reads as the default table instead of throwing.
  EXPECT_EQ(p.inputLut(Lut::lutChannel1), Lut::default8BitInputLut);
  EXPECT_THROW(p.inputLut8Ex(1), Lut::BadParams);
}

TEST(InputLut, ShortTablesAreStretched) {
  const Bytes half = ramp(128, 3, 2);
  Lut p;
  p.inputLut8Ex(half.data(), 128, 0);
  for (long k = 0; k < 128; ++k) {
    EXPECT_EQ(row(p, 0)[2 * k], half[k]);
    EXPECT_EQ(row(p, 0)[2 * k + 1], half[k]);
  }

  const Bytes one = {77};
  p.inputLut8Ex(one.data(), 1, -1);
  EXPECT_EQ(row(p, 0), Bytes(256, 77));

  // A length that does not divide the entries: the last byte fills the rest,
  // and nothing past the given table is read.
  const Bytes odd = ramp(200);
  p.inputLut8Ex(odd.data(), 200, 0);
  Bytes want = odd;
  want.resize(256, odd.back());
  EXPECT_EQ(row(p, 0), want);

  // 256 bytes into 1024 entries: each repeated four times.
  Lut wide;
  wide.lutInit(1024, 1);
  const Bytes full = ramp(256);
  wide.inputLut8Ex(full.data(), 256, 0);
  for (long i = 0; i < 1024; ++i) ASSERT_EQ(row(wide, 0)[i], full[i / 4]) << i;
}

TEST(InputLut, BadArgumentsThrowAndChangeNothing) {
  propsx::FakeFifo fifo;
  fifo.taps = 2;
  Lut p;
  p.fifo(fifo);
  const Bytes big = ramp(512);
  struct Case {
    const unsigned char* lut;
    long n, tap;
  };
  const std::vector<Case> cases = {
      {big.data(), 512, 0},  // longer than the table
      {big.data(), 0, 0},    // empty
      {big.data(), -1, 0},
      {nullptr, 256, 0},
      {big.data(), 256, 2},  // no such tap
      {big.data(), 256, -2},
  };
  for (const auto& c : cases) {
    EXPECT_THROW(p.inputLut8Ex(c.lut, c.n, c.tap), Lut::BadParams) << c.n << " " << c.tap;
    // The forms without the suffix swallow the refusal.
    if (c.n == 256) {
      EXPECT_NO_THROW(p.inputLut(c.lut, static_cast<Lut::LutChannel>(c.tap)));
    }
  }
  EXPECT_NO_THROW(p.inputLut(nullptr));
  EXPECT_EQ(row(p, 0), kDefault);
  EXPECT_EQ(row(p, 1), kDefault);
  EXPECT_TRUE(fifo.callsOf("setLut").empty());
  EXPECT_EQ(Lut::BadParams().errorNumber(), 0x100009B9u);
}

TEST(InputLut, LutInitSizesOnceAndChecksItsArguments) {
  for (auto [entries, taps] : {std::pair{100L, 1L}, {-1L, 1L}, {255L, 1L}, {256L, 0L}, {LONG_MAX / 2, 3L}}) {
    Lut p;
    EXPECT_THROW(p.lutInit(entries, taps), Lut::BadParams) << entries << "x" << taps;
    EXPECT_EQ(p.lutEntries(), 256);  // still unsized: lazily 256 by 1
    EXPECT_EQ(p.lutTaps(), 1);
  }
  Lut p;
  p.lutInit(512, 3);
  p.lutInit(256, 1);  // already sized: ignored
  EXPECT_EQ(p.lutEntries(), 512);
  EXPECT_EQ(p.lutTaps(), 3);
  EXPECT_EQ(row(p, 2)[0], 15);
  EXPECT_EQ(row(p, 2)[201], 100);  // the default table stretched by 2

  // No table at all: every table operation refuses, the reader falls back.
  Lut none;
  none.lutInit(0, 2);
  EXPECT_EQ(none.lutEntries(), 0);
  EXPECT_THROW(none.inputLut8Ex(0), Lut::BadParams);
  EXPECT_THROW(none.inputLut8Ex(Lut::positive8BitLut, 256, -1), Lut::BadParams);
  EXPECT_EQ(none.inputLut(Lut::lutChannel0), Lut::default8BitInputLut);
}

TEST(InputLut, AssociationSizesFromTheFifoAndRowsReachIt) {
  propsx::FakeFifo fifo;
  fifo.entries = 512;
  fifo.taps = 2;
  Lut p;
  p.fifo(fifo);
  EXPECT_EQ(fifo.calls, (std::vector<std::string>{"lutEntries()", "numTaps()"}));  // nothing sent
  EXPECT_EQ(p.lutEntries(), 512);
  EXPECT_EQ(p.lutTaps(), 2);
  EXPECT_TRUE(p.isSupported(Lut::lutChannel1));

  const Bytes table = ramp(256, 0, 1);
  p.inputLut8Ex(table.data(), 256, -1);
  ASSERT_EQ(fifo.callsOf("setLut"), (std::vector<std::string>{"setLut(512,0)", "setLut(512,1)"}));
  EXPECT_EQ(fifo.lutRows[0], row(p, 0));  // the stretched row
  EXPECT_EQ(fifo.lutRows[0][511], 255);

  // A refusing FIFO leaves the tap as it was.
  fifo.failOn = "setLut";
  const Bytes before = row(p, 1);
  EXPECT_THROW(p.inputLut8Ex(Lut::shifted8BitLut, 256, 1), propsx::FifoRefused);
  EXPECT_EQ(row(p, 1), before);
}

TEST(InputLut, AssociationRefusedOrRepeated) {
  {  // A FIFO without taps: refused, the property stays free.
    propsx::FakeFifo fifo;
    fifo.taps = 0;
    Lut p;
    EXPECT_THROW(p.fifo(fifo), Lut::BadParams);
    p.inputLut(Lut::positive8BitLut);
    EXPECT_TRUE(fifo.callsOf("setLut").empty());
  }
  propsx::FakeFifo fifo;
  fifo.taps = 2;
  Lut p;
  p.fifo(fifo);
  p.inputLut(Lut::positive8BitLut, Lut::lutChannel1);
  {  // Cleared and associated again with the same sizes: no assertion, table kept.
    AssertCounter asserts;
    p.clearFifoAssociation();
    p.fifo(fifo);
    EXPECT_EQ(asserts.fired(), 0u);
    EXPECT_EQ(row(p, 1), Bytes(Lut::positive8BitLut, Lut::positive8BitLut + 256));
  }
  {  // Associated twice without clearing: assertion.
    AssertCounter asserts;
    p.fifo(fifo);
    EXPECT_EQ(asserts.fired(), 1u);
  }
  {  // Another FIFO with other sizes: assertion, then sized anew for it.
    propsx::FakeFifo other;
    other.taps = 3;
    other.entries = 1024;
    AssertCounter asserts;
    p.clearFifoAssociation();
    p.fifo(other);
    EXPECT_EQ(asserts.fired(), 1u);
    EXPECT_EQ(p.lutEntries(), 1024);
    EXPECT_EQ(p.lutTaps(), 3);
    p.inputLut(Lut::positive8BitLut);
    EXPECT_EQ(other.callsOf("setLut").size(), 3u);
  }
}

TEST(InputLut, ConstructorsAndCopies) {
  const Lut one(Lut::shifted8BitLut);
  EXPECT_EQ(one.lutTaps(), 1);
  EXPECT_EQ(row(one, 0), Bytes(Lut::shifted8BitLut, Lut::shifted8BitLut + 256));

  const Lut two(Lut::positive8BitLut, Lut::shifted8BitLut);
  EXPECT_EQ(two.lutTaps(), 2);
  EXPECT_EQ(row(two, 0)[0], 0);
  EXPECT_EQ(row(two, 1)[0], 15);
  EXPECT_THROW(Lut(Lut::positive8BitLut, nullptr), Lut::BadParams);

  // A copy is deep and free.
  propsx::FakeFifo fifo;
  fifo.taps = 2;
  Lut assoc;
  assoc.fifo(fifo);
  Lut copy(assoc);
  copy.inputLut(Lut::positive8BitLut);
  EXPECT_TRUE(fifo.callsOf("setLut").empty());
  EXPECT_EQ(row(assoc, 0), kDefault);
  EXPECT_EQ(copy.lutTaps(), 2);

  const Lut unsized;
  const Lut fromUnsized(unsized);
  EXPECT_EQ(fromUnsized.lutEntries(), 256);
  EXPECT_EQ(fromUnsized.lutTaps(), 1);
}

TEST(InputLut, Assignment) {
  propsx::FakeFifo fifo;
  fifo.taps = 2;
  fifo.entries = 1024;
  Lut target;
  target.fifo(fifo);

  // One tap: applied to every tap, stretched, each reaching the FIFO.
  target = Lut(Lut::positive8BitLut);
  EXPECT_EQ(fifo.callsOf("setLut"), (std::vector<std::string>{"setLut(1024,0)", "setLut(1024,1)"}));
  EXPECT_EQ(row(target, 1)[1023], 255);
  EXPECT_EQ(row(target, 1)[4], 1);

  // Same sizes: tap by tap.
  Lut same;
  same.lutInit(1024, 2);
  same.inputLut(Lut::shifted8BitLut, Lut::lutChannel1);
  target = same;
  EXPECT_EQ(row(target, 0), row(same, 0));
  EXPECT_EQ(row(target, 1), row(same, 1));

  // Refused: more entries, or several taps that do not match.
  const Bytes before = row(target, 0);
  Lut more;
  more.lutInit(2048, 1);
  EXPECT_THROW(target = more, Lut::BadParams);
  Lut threeTaps;
  threeTaps.lutInit(1024, 3);
  EXPECT_THROW(target = threeTaps, Lut::BadParams);
  Lut twoShort(Lut::positive8BitLut, Lut::positive8BitLut);
  EXPECT_THROW(target = twoShort, Lut::BadParams);
  EXPECT_EQ(row(target, 0), before);

  // Nothing to do: a source without a table, a target without one, itself.
  const std::size_t calls = fifo.calls.size();
  Lut noTable;
  noTable.lutInit(0, 1);
  target = noTable;
  const Lut& itself = target;
  target = itself;
  EXPECT_EQ(fifo.calls.size(), calls);
  Lut emptyTarget;
  emptyTarget.lutInit(0, 1);
  emptyTarget = same;
  EXPECT_EQ(emptyTarget.lutEntries(), 0);
}

// ---- archives -----------------------------------------------------------------
namespace {

std::string v0(const Bytes& t) {
  return propsx::archiveBytes([&](qcArchive& ar) {
    ar << static_cast<unsigned char>(0);
    for (unsigned char b : t) ar << b;
  });
}
std::string v1(const Bytes& a, const Bytes& b) {
  return propsx::archiveBytes([&](qcArchive& ar) {
    ar << static_cast<unsigned char>(1);
    for (unsigned char x : a) ar << x;
    for (unsigned char x : b) ar << x;
  });
}
std::string v2(long entries, long taps, const Bytes& t) {
  return propsx::archiveBytes([&](qcArchive& ar) {
    ar << static_cast<unsigned char>(2) << entries << taps;
    for (unsigned char b : t) ar << b;
  });
}

}  // namespace

TEST(InputLutArchive, NewestVersionRoundTripGoesStraightIntoTheTable) {
  Lut src;
  src.lutInit(512, 2);
  src.inputLut8Ex(Lut::positive8BitLut, 256, 0);
  src.inputLut8Ex(Lut::shifted8BitLut, 128, 1);
  const std::string bytes = propsx::storeObject(src);
  EXPECT_EQ(bytes, v2(512, 2, [&] {
              Bytes all = row(src, 0);
              Bytes r1 = row(src, 1);
              all.insert(all.end(), r1.begin(), r1.end());
              return all;
            }()));

  Lut fresh;
  propsx::loadObject(fresh, bytes);
  EXPECT_EQ(fresh.lutEntries(), 512);
  EXPECT_EQ(row(fresh, 0), row(src, 0));
  EXPECT_EQ(row(fresh, 1), row(src, 1));

  propsx::FakeFifo fifo;
  fifo.entries = 512;
  fifo.taps = 2;
  Lut assoc;
  assoc.fifo(fifo);
  propsx::loadObject(assoc, bytes);
  EXPECT_EQ(row(assoc, 1), row(src, 1));
  EXPECT_TRUE(fifo.callsOf("setLut").empty());
}

TEST(InputLutArchive, OlderVersionsGoThroughTheSetters) {
  const Bytes a(Lut::positive8BitLut, Lut::positive8BitLut + 256);
  const Bytes b(Lut::shifted8BitLut, Lut::shifted8BitLut + 256);

  Lut p0;
  propsx::loadObject(p0, v0(a));
  EXPECT_EQ(p0.lutTaps(), 1);
  EXPECT_EQ(row(p0, 0), a);

  // Version 0 into an associated two-tap, 1024-entry property: every tap, stretched.
  propsx::FakeFifo fifo;
  fifo.entries = 1024;
  fifo.taps = 2;
  Lut assoc;
  assoc.fifo(fifo);
  propsx::loadObject(assoc, v0(a));
  EXPECT_EQ(fifo.callsOf("setLut").size(), 2u);
  EXPECT_EQ(row(assoc, 1)[1023], 255);

  Lut equal;
  propsx::loadObject(equal, v1(a, a));
  EXPECT_EQ(equal.lutTaps(), 1);
  EXPECT_EQ(row(equal, 0), a);

  Lut differ;
  propsx::loadObject(differ, v1(a, b));
  EXPECT_EQ(differ.lutTaps(), 2);
  EXPECT_EQ(row(differ, 1), a);  // the first table is tap 1
  EXPECT_EQ(row(differ, 0), b);
}

TEST(InputLutArchive, BadArchivesThrowAndChangeNothing) {
  std::string truncated = v2(256, 1, ramp(256));
  truncated.resize(truncated.size() - 10);
  const std::string onlyVersion3 = propsx::archiveBytes([](qcArchive& ar) { ar << static_cast<unsigned char>(3); });
  struct Case {
    const char* what;
    std::string bytes;
    enum { unknownVersion, badData, badParams } expect;
  };
  const std::vector<Case> cases = {
      {"version 3", onlyVersion3, Case::unknownVersion},
      {"truncated table", truncated, Case::badData},
      {"product overflow", v2(LONG_MAX / 2, 3, {}), Case::badParams},
      {"negative taps", v2(256, -1, {}), Case::badParams},
      {"entries below 256", v2(100, 1, ramp(100)), Case::badParams},
      {"other sizes than the property's", v2(512, 1, ramp(512)), Case::badParams},
      {"two differing tables into one tap", v1(ramp(256), ramp(256, 1)), Case::badParams},
      {"truncated version 1", v1(ramp(256), ramp(256, 1)).substr(0, 300), Case::badData},
  };
  for (const auto& c : cases) {
    Lut p;
    p.lutInit(256, 1);
    p.inputLut(Lut::shifted8BitLut);
    try {
      propsx::loadObject(p, c.bytes);
      ADD_FAILURE() << c.what << ": no exception";
    } catch (const qcArchive::UnknownVersion& e) {
      EXPECT_EQ(c.expect, Case::unknownVersion) << c.what;
      EXPECT_EQ(e.where(), "acq/hyper/prop/ilut8");
    } catch (const qcArchive::BadData&) {
      EXPECT_EQ(c.expect, Case::badData) << c.what;
    } catch (const Lut::BadParams&) {
      EXPECT_EQ(c.expect, Case::badParams) << c.what;
    }
    EXPECT_EQ(p.lutEntries(), 256) << c.what;
    EXPECT_EQ(p.lutTaps(), 1) << c.what;
    EXPECT_EQ(row(p, 0), Bytes(Lut::shifted8BitLut, Lut::shifted8BitLut + 256)) << c.what;
  }

  // A huge size in an unsized property: refused before anything is made,
  // also from a stream that cannot count what is left (it fails at its end).
  Lut p;
  EXPECT_THROW(propsx::loadObject(p, v2(1L << 40, 1, {})), qcArchive::BadData);
  EXPECT_THROW(propsx::loadObjectUncounted(p, v2(1L << 40, 1, ramp(1000))), qcArchive::BadData);
  EXPECT_EQ(p.lutEntries(), 256);
  EXPECT_EQ(row(p, 0), kDefault);
}

// ---- qc_Lut -----------------------------------------------------------------------
TEST(DriverLut, RowsAndCopies) {
  qc_Lut lut(256, 2);
  EXPECT_EQ(lut.entries(), 256);
  EXPECT_EQ(lut.taps(), 2);
  lut.setLut8(Lut::positive8BitLut, 256, 1);
  lut.setLut8(Lut::shifted8BitLut, 256, 0);
  EXPECT_EQ(std::memcmp(lut.getLut8(1), Lut::positive8BitLut, 256), 0);
  EXPECT_EQ(std::memcmp(lut.getLut8(0), Lut::shifted8BitLut, 256), 0);

  qc_Lut copy(lut);
  lut.setLut8(Lut::default8BitInputLut, 256, 1);
  EXPECT_EQ(std::memcmp(copy.getLut8(1), Lut::positive8BitLut, 256), 0);
  copy = lut;
  EXPECT_EQ(std::memcmp(copy.getLut8(1), Lut::default8BitInputLut, 256), 0);
}

TEST(DriverLut, MisuseAssertsAndDoesNothing) {
  qc_Lut lut(256, 1);
  lut.setLut8(Lut::positive8BitLut, 256, 0);
  AssertCounter asserts;
  lut.setLut8(Lut::shifted8BitLut, 128, 0);  // wrong length
  lut.setLut8(Lut::shifted8BitLut, 256, 1);  // no such tap
  lut.setLut8(Lut::shifted8BitLut, 256, -1);
  EXPECT_EQ(lut.getLut8(1), nullptr);
  EXPECT_EQ(asserts.fired(), 4u);
  EXPECT_EQ(std::memcmp(lut.getLut8(0), Lut::positive8BitLut, 256), 0);

  qc_Lut negative(-5, 2);
  EXPECT_EQ(negative.entries(), 0);
  EXPECT_EQ(asserts.fired(), 5u);
}

TEST(DriverLut, SizeWhoseByteCountOverflowsIsRefused) {
  // 2^32 x 2^32 bytes wraps to 0: a table of no bytes that setLut8 would
  // then overrun.
  EXPECT_THROW(qc_Lut(1L << 32, 1L << 32), std::bad_array_new_length);
  EXPECT_THROW(qc_Lut(LONG_MAX, 3), std::bad_array_new_length);
}
