// The camera database classes through the real record-file library.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <functional>
#include <future>
#include <sstream>
#include <typeinfo>

#include "cdb_support.h"

using namespace cdbtest;

namespace {

// ---- statuses and exceptions ----------------------------------------------------------

template <class E>
std::function<void()> expectThrown(unsigned long number, const char* name) {
  return [=] {
    try {
      throw;
    } catch (const E& e) {
      EXPECT_EQ(e.errorNumber(), number) << name;
      EXPECT_EQ(e.className(), name);
    } catch (...) {
      ADD_FAILURE() << "expected " << name;
    }
  };
}

TEST(CdbStatus, EveryLibraryStatusBecomesItsException) {
  using F = qcCDBFile;
  using R = qcCDBRecord;
  const std::vector<std::function<void()>> expected = {
      expectThrown<F::InvalidArgument>(0x10001F00, "qcCDBFile::InvalidArgument"),
      expectThrown<R::InvalidArgument>(0x10001F00, "qcCDBRecord::InvalidArgument"),
      expectThrown<F::CanNotOpenFile>(0x10001F01, "qcCDBFile::CanNotOpenFile"),
      expectThrown<F::FileNotOpen>(0x10001F02, "qcCDBFile::FileNotOpen"),
      expectThrown<F::BadFileFormat>(0x10001F04, "qcCDBFile::BadFileFormat"),
      expectThrown<F::CanNotOpenFile>(0x10001F01, "qcCDBFile::CanNotOpenFile"),
      expectThrown<F::WriteError>(0x10001F03, "qcCDBFile::WriteError"),
      expectThrown<F::WriteError>(0x10001F03, "qcCDBFile::WriteError"),
      expectThrown<F::BadRecordFormat>(0x10001F08, "qcCDBFile::BadRecordFormat"),
      expectThrown<F::RecordSizeMismatch>(0x10001F06, "qcCDBFile::RecordSizeMismatch"),
      expectThrown<F::RecordNotFound>(0x10001F07, "qcCDBFile::RecordNotFound"),
      expectThrown<R::WrongType>(0x10001F0A, "qcCDBRecord::WrongType"),
      expectThrown<R::WrongSubType>(0x10001F0B, "qcCDBRecord::WrongSubType"),
      expectThrown<R::InvalidArgument>(0x10001F00, "qcCDBRecord::InvalidArgument"),
      expectThrown<F::BadRecordFormat>(0x10001F08, "qcCDBFile::BadRecordFormat"),
      expectThrown<R::RecordNotBound>(0x10001F09, "qcCDBRecord::RecordNotBound"),
      expectThrown<F::FileNotBound>(0x10001F05, "qcCDBFile::FileNotBound"),
      expectThrown<R::RecordNotBound>(0x10001F09, "qcCDBRecord::RecordNotBound"),
      expectThrown<F::CanNotOpenFile>(0x10001F01, "qcCDBFile::CanNotOpenFile"),
  };
  for (std::uint32_t k = 0; k < expected.size(); ++k) {
    SCOPED_TRACE(k);
    try {
      qfThrowExceptionOnFailure(0x80000640u + k);
      ADD_FAILURE() << "nothing thrown";
    } catch (...) {
      expected[k]();
    }
  }
  // The file's exceptions carry an empty string; other statuses of the
  // facility are left to the foundation.
  try {
    qfThrowExceptionOnFailure(0x80000644u);
  } catch (const qcCDBFile::BadFileFormat& e) {
    EXPECT_EQ(e.info(), "");
  }
  EXPECT_THROW(qfThrowExceptionOnFailure(0x80000653u), qcStatusError);
}

TEST(CdbStatus, ExceptionClassesArePersistentWithTheirBases) {
  static_assert(std::is_base_of_v<qcCDBFile::Errors, qcCDBFile::BadRecordFormat>);
  static_assert(std::is_base_of_v<qcExceptionWithString, qcCDBFile::Errors>);
  static_assert(std::is_base_of_v<qcCDBRecord::Errors, qcCDBRecord::WrongSubType>);
  static_assert(!std::is_base_of_v<qcExceptionWithString, qcCDBRecord::Errors>);
  for (const char* name : {"qcCDBFile::InvalidArgument", "qcCDBFile::BadRecordFormat", "qcCDBRecord::InvalidArgument",
                           "qcCDBRecord::WrongSubType", "qcCDBFile::Errors", "qcCDBRecord::Errors"}) {
    const auto make = qc_Instantiator::find(name);
    ASSERT_NE(make, nullptr) << name;
    std::unique_ptr<qcPersistent> p(make());
    auto* e = dynamic_cast<qcException*>(p.get());
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->className(), name);
  }
  // suicideAndRethrow throws a copy of the dynamic type.
  qcException* heap = new qcCDBFile::WriteError("disk full");
  EXPECT_THROW(heap->suicideAndRethrow(), qcCDBFile::WriteError);
}

// ---- checksums ------------------------------------------------------------------------

}  // namespace
namespace qrtcdb {  // the library's internal checksum (compiled into this test) and zlib's
std::uint32_t crc32(std::uint32_t crc, const void* data, std::size_t size);
std::uint32_t crc32Reference(std::uint32_t crc, const void* data, std::size_t size);
}  // namespace qrtcdb
namespace {

TEST(CdbChecksum, TheFastPathAgreesWithZlib) {
  const std::vector<unsigned char> pool = recordData(1, 1 << 20);
  for (std::size_t len : {0u, 1u, 255u, 256u, 257u, 1000u, 4096u + 13u, 65536u, 300001u})
    for (std::size_t off : {0u, 1u, 7u, 33u}) {
      if (off + len > pool.size()) continue;
      EXPECT_EQ(qrtcdb::crc32(0x12345678u, pool.data() + off, len),
                qrtcdb::crc32Reference(0x12345678u, pool.data() + off, len))
          << len << " at " << off;
    }
}

// ---- argument conversions ------------------------------------------------------------------

TEST(CdbArguments, ModesMatchMasksAndOriginsAreChecked) {
  TempDir dir;
  const std::string path = dir / "a.cdb";
  for (long mode : {4L, 32L, 1L | 4L, 3L | 32L}) {
    EXPECT_THROW(qcCDBFile(path, mode), qcCDBFile::InvalidArgument) << mode;
    EXPECT_FALSE(std::filesystem::exists(path)) << "the library was called for mode " << mode;
  }
  EXPECT_THROW(qcCDBFile(nullptr, 1, false), qcCDBFile::InvalidArgument);

  qcCDBFile f(path, 1 | 2);
  for (int i = 0; i < 3; ++i) f.appendRecord(qcCDBRecord(2, i, 0, nullptr, "r" + std::to_string(i)));
  EXPECT_THROW(f.goToRecord(0, 3), qcCDBRecord::InvalidArgument);
  EXPECT_THROW(f.goToRecord(0, -1), qcCDBRecord::InvalidArgument);
  EXPECT_EQ(f.lastRecord(), 2);
  EXPECT_EQ(f.goToRecord(0, 0), 0);
  EXPECT_EQ(f.goToRecord(-3, 2), 0);  // from the end
  EXPECT_EQ(f.goToRecord(1, 1), 1);   // from the current
  EXPECT_THROW(f.goToRecord(0, 2), qcCDBFile::RecordNotFound);

  qcCDBRecord pattern(2, 1, 0, nullptr);
  pattern.sequenceNumber(5);
  EXPECT_THROW(f.numRecords(pattern, 1), qcCDBRecord::InvalidArgument);
  EXPECT_THROW(f.numRecords(pattern, 64), qcCDBRecord::InvalidArgument);
  EXPECT_EQ(f.numRecords(pattern, 62), 0);  // no record has sequence number 5
  EXPECT_EQ(f.numRecords(pattern, 2 | 4), 1);
  EXPECT_EQ(f.numRecords(pattern, 0), 3);
  EXPECT_EQ(f.removeRecords({}), 0);
  EXPECT_EQ(f.numRecords(), 3);
}

// ---- records and images ----------------------------------------------------------------------

TEST(CdbRecords, ImagesAndDataRoundTripThroughAFile) {
  TempDir dir;
  const std::string path = dir / "img.cdb";
  // A window whose rows are not contiguous, to exercise the packing.
  const qcPelBuffer<unsigned char> big = pattern<unsigned char>(40, 30, 1);
  const qcPelBuffer_const<unsigned char> grey8 = big.window(3, 2, 17, 11);
  const qcPelBuffer<unsigned short> grey16 = pattern<unsigned short>(13, 9, 2);
  const qcPelBuffer<unsigned char> r = pattern<unsigned char>(8, 5, 3), g = pattern<unsigned char>(8, 5, 4),
                                   b = pattern<unsigned char>(8, 5, 5);
  const char bytes[] = "opaque result bytes";
  {
    qcCDBFile f(path, 1 | 2);
    const qcPelBuffer_const<unsigned char>& g8 = grey8;
    f.appendRecord(qcCDBRecord(3, -21, 0, &g8, "eight", 11, 12));
    const qcPelBuffer_const<unsigned short> g16 = grey16;
    f.appendRecord(qcCDBRecord(3, -22, 0, &g16, "sixteen"));
    qcCDBRecord rgb;
    rgb.imageRGB(r, g, b);
    rgb.comment("planes");
    rgb.sequenceNumber(7);
    rgb.resultClass(-3);
    f.appendRecord(rgb);
    // Type 4 is not an image: the pointer is taken as plain bytes.
    f.appendRecord(qcCDBRecord(4, 5, sizeof bytes, bytes, "result"));
    qcCDBRecord tenBit;
    tenBit.image16(grey16, qeImageFormat_Grey10);
    f.appendRecord(tenBit);
  }
  qcCDBFile f(path);
  ASSERT_EQ(f.numRecords(), 5);
  qcCDBRecord rec;
  f.firstRecord();
  f.loadRecord(rec);
  EXPECT_EQ(rec.type(), 3);
  EXPECT_EQ(rec.subtype(), -21);
  EXPECT_EQ(rec.imageFormat(), qeImageFormat_Grey8);
  EXPECT_EQ(rec.comment(), "eight");
  EXPECT_EQ(rec.version(), 1);
  EXPECT_EQ(rec.dataSize(), 17u * 11u);
  EXPECT_TRUE(samePels(rec.image(), grey8));
  EXPECT_THROW(rec.image16(), qcCDBRecord::WrongSubType);
  EXPECT_THROW(rec.imageR(), qcCDBRecord::WrongSubType);

  f.nextRecord();
  f.loadRecord(rec);
  EXPECT_EQ(rec.subtype(), -22);
  EXPECT_EQ(rec.imageFormat(), qeImageFormat_Grey16);
  EXPECT_TRUE(samePels(rec.image16(), qcPelBuffer_const<unsigned short>(grey16)));
  EXPECT_THROW(rec.image(), qcCDBRecord::WrongSubType);

  f.nextRecord();
  f.loadRecord(rec);
  EXPECT_EQ(rec.imageFormat(), qeImageFormat_3Plane);
  EXPECT_EQ(rec.sequenceNumber(), 7);
  EXPECT_EQ(rec.resultClass(), -3);
  EXPECT_TRUE(samePels(rec.imageR(), qcPelBuffer_const<unsigned char>(r)));
  EXPECT_TRUE(samePels(rec.imageG(), qcPelBuffer_const<unsigned char>(g)));
  EXPECT_TRUE(samePels(rec.imageB(), qcPelBuffer_const<unsigned char>(b)));

  f.nextRecord();
  f.loadRecord(rec);
  EXPECT_EQ(rec.type(), 4);
  ASSERT_EQ(rec.dataSize(), sizeof bytes);
  char back[sizeof bytes] = {};
  EXPECT_THROW(rec.getData(back, sizeof bytes - 1), qcCDBFile::RecordSizeMismatch);
  rec.getData(back, sizeof back);
  EXPECT_STREQ(back, bytes);
  EXPECT_THROW(rec.image(), qcCDBRecord::WrongType);

  f.nextRecord();
  f.loadRecord(rec);
  EXPECT_EQ(rec.imageFormat(), qeImageFormat_Grey10);

  // The index gives the headers without loading.
  const qcCDBRecordHeader h = f.getRecordHeader(2);
  EXPECT_EQ(h.type, 3);
  EXPECT_EQ(h.subtype, -23);
  EXPECT_EQ(h.version, 1);
  EXPECT_EQ(h.sequenceNumber, 7);
  EXPECT_EQ(h.resultClass, -3);
  EXPECT_EQ(h.dataSize, 8u * 5u * 3u);
  EXPECT_THROW(f.getRecordHeader(5), qcCDBFile::RecordNotFound);
}

TEST(CdbRecords, EmptyRecordsCopiesAndBadImages) {
  TempDir dir;
  qcCDBFile f(dir / "e.cdb", 1 | 2);
  qcCDBRecord empty;
  EXPECT_THROW(f.appendRecord(empty), qcCDBRecord::RecordNotBound);
  EXPECT_THROW(empty.image(), qcCDBRecord::RecordNotBound);
  EXPECT_THROW(empty.image(qcPelBuffer_const<unsigned char>()), qcCDBRecord::InvalidArgument);
  EXPECT_THROW(empty.imageRGB(pattern<unsigned char>(4, 4, 0), pattern<unsigned char>(4, 5, 0),
                              pattern<unsigned char>(4, 4, 0)),
               qcCDBFile::RecordSizeMismatch);

  qcCDBRecord a(2, 1, 3, "abc", "first");
  qcCDBRecord copy(a);
  a.comment("changed");
  a.freeRecord();
  EXPECT_EQ(copy.comment(), "first");
  qcCDBRecord assigned;
  assigned = copy;
  copy.setData("xy", 2, 9);
  EXPECT_EQ(assigned.dataSize(), 3u);
  EXPECT_EQ(copy.dataSize(), 2u);
  EXPECT_EQ(copy.dataVersion(), 9);
  EXPECT_THROW(f.appendRecord(a), qcCDBRecord::RecordNotBound);
  EXPECT_EQ(qcCDBRecord::typeString(3), "image");
  EXPECT_EQ(qcCDBRecord::subtypeString(-22), "16-bit image");
}

// ---- navigation, replacing and deleting --------------------------------------------------------

// Comments of the records of a file, in order.
std::vector<std::string> comments(qcCDBFile& f) {
  std::vector<std::string> out;
  qcCDBRecord r;
  for (long i = 0; i < f.numRecords(); ++i) {
    f.goToRecord(i, 0);
    f.loadRecord(r);
    out.push_back(r.comment());
  }
  return out;
}

TEST(CdbNavigation, FindAndSeekFollowThePattern) {
  TempDir dir;
  qcCDBFile f(dir / "n.cdb", 1 | 2);
  EXPECT_EQ(f.currentRecord(), -1);
  EXPECT_THROW(f.firstRecord(), qcCDBFile::RecordNotFound);
  const int types[] = {2, 4, 2, 5, 4, 2};
  for (int i = 0; i < 6; ++i) f.appendRecord(qcCDBRecord(types[i], 0, 0, nullptr, std::to_string(i)));
  EXPECT_EQ(f.currentRecord(), 5);  // the appended record is current

  const qcCDBRecord four(4, 0, 0, nullptr);
  EXPECT_EQ(f.findRecord(0, four, 2), 1);
  EXPECT_EQ(f.findNextRecord(four, 2), 4);
  EXPECT_THROW(f.findNextRecord(four, 2), qcCDBFile::RecordNotFound);
  EXPECT_EQ(f.currentRecord(), 4);  // unchanged by the failed search
  EXPECT_EQ(f.findPrevRecord(four, 2), 1);
  EXPECT_EQ(f.seekToMatchingRecord(-1, four, 2, 2), 4);  // from the last, backwards
  EXPECT_EQ(f.findRecord(2, four, 2, 0), 4);
  EXPECT_EQ(f.findRecord(-1, qcCDBRecord(2, 0, 0, nullptr), 2, 1), 5);  // current 4, start one before: 3, 4, 5
  EXPECT_EQ(f.numRecords(qcCDBRecord(2, 0, 0, nullptr), 2), 3);

  f.lastRecord();
  EXPECT_THROW(f.nextRecord(), qcCDBFile::RecordNotFound);
  EXPECT_EQ(f.currentRecord(), 5);
  EXPECT_EQ(f.prevRecord(), 4);
}

TEST(CdbEditing, StoreDeleteAndRemoveKeepTheOrder) {
  TempDir dir;
  const std::string path = dir / "s.cdb";
  {
    qcCDBFile f(path, 1 | 2);
    for (int i = 0; i < 6; ++i) f.appendRecord(qcCDBRecord(2, 0, 0, nullptr, std::to_string(i)));
    f.goToRecord(2, 0);
    f.storeRecord(qcCDBRecord(2, 0, 1, "z", "two'"));
    EXPECT_EQ(f.currentRecord(), 2);
    f.storeRecord(qcCDBRecord(2, 0, 0, nullptr, "two''"));  // a replacement can be replaced again
    f.goToRecord(4, 0);
    f.deleteRecord();
    EXPECT_EQ(f.currentRecord(), 4);  // the record that followed
    EXPECT_EQ(comments(f), (std::vector<std::string>{"0", "1", "two''", "3", "5"}));
    f.goToRecord(1, 0);
    EXPECT_EQ(f.removeRecords({0, 3, 3, 99, -1}), 2);
    EXPECT_EQ(f.currentRecord(), 0);  // record "1" survived and moved to the front
    f.lastRecord();
    f.deleteRecord();
    EXPECT_EQ(f.currentRecord(), 1);  // the new last one
  }
  // The edits are in the file, in order, after reopening.
  qcCDBFile f(path);
  EXPECT_EQ(comments(f), (std::vector<std::string>{"1", "two''"}));
  EXPECT_THROW(f.deleteRecord(), qcCDBFile::WriteError);  // opened for reading
  qcCDBFile fresh(path, 1 | 2 | 16);
  EXPECT_EQ(fresh.numRecords(), 0);
}

TEST(CdbFiles, OpeningReportsWhatIsWrong) {
  TempDir dir;
  EXPECT_THROW(qcCDBFile((dir / "missing.cdb")), qcCDBFile::CanNotOpenFile);
  EXPECT_FALSE(std::filesystem::exists(dir / "missing.cdb"));
  qcCDBFile closed;
  EXPECT_FALSE(closed.isOpen());
  EXPECT_THROW(closed.numRecords(), qcCDBFile::FileNotOpen);
  EXPECT_THROW(closed.close(), qcCDBFile::FileNotOpen);

  const std::string path = dir / "ro.cdb";
  { qcCDBFile f(path, 2); f.appendRecord(qcCDBRecord(2, 0, 0, nullptr, "x")); }
  qcCDBFile reader(path);
  EXPECT_EQ(reader.filename(), path);
  EXPECT_THROW(reader.appendRecord(qcCDBRecord(2, 0, 0, nullptr)), qcCDBFile::WriteError);
  EXPECT_THROW(reader.open(path, 1), qcCDBFile::CanNotOpenFile);  // open already
  reader.close();
  EXPECT_FALSE(reader.isOpen());

  if (::geteuid() != 0) {  // root writes whatever the permissions say
    ::chmod(path.c_str(), 0444);
    try {
      qcCDBFile w(path, 1 | 2);
      ADD_FAILURE() << "opened a read-only file for writing";
    } catch (const qcCDBFile::CanNotOpenFile& e) {
      EXPECT_EQ(e.info(), "Cannot open file " + path + " for writing");
    }
  }
}

// Something that is not a regular file is refused at once, for reading and
// for writing, without waiting for a writer at the other end of a pipe.
TEST(CdbFiles, ANamedPipeIsRefusedWithoutBlocking) {
  TempDir dir;
  const std::string fifo = dir / "fifo.cdb";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (long mode : {1L, 1L | 2L}) {
    SCOPED_TRACE(mode);
    auto opened = std::async(std::launch::async, [&] {
      try {
        qcCDBFile f(fifo, mode);
        return std::string("opened");
      } catch (const qcCDBFile::CanNotOpenFile&) {
        return std::string("refused");
      } catch (const qcException& e) {
        return std::string(e.what());
      }
    });
    if (opened.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
      ADD_FAILURE() << "opening a named pipe blocks";
      const int fd = ::open(fifo.c_str(), O_RDWR);  // lets the blocked open go on
      opened.wait();
      ::close(fd);
    }
    EXPECT_EQ(opened.get(), "refused");
  }
}

// File systems without hard links refuse link(); this test process stands in
// for one by answering link() (and, in the second case, renameat2()) itself.
std::atomic<int> gRefusedCalls{0};  // 1: link, 2: link and renameat2
}  // namespace

extern "C" int link(const char* from, const char* to) noexcept {
  if (gRefusedCalls >= 1) {
    errno = EPERM;
    return -1;
  }
  static const auto real = reinterpret_cast<int (*)(const char*, const char*)>(::dlsym(RTLD_NEXT, "link"));
  return real(from, to);
}
extern "C" int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned flags) noexcept {
  if (gRefusedCalls >= 2) {
    errno = EINVAL;
    return -1;
  }
  static const auto real =
      reinterpret_cast<int (*)(int, const char*, int, const char*, unsigned)>(::dlsym(RTLD_NEXT, "renameat2"));
  return real(fromDir, from, toDir, to, flags);
}

namespace {

TEST(CdbFiles, NewFilesAreMadeWhereHardLinksAreRefused) {
  for (int refused : {1, 2}) {
    SCOPED_TRACE(refused);
    TempDir dir;
    const std::string path = dir / "nolink.cdb";
    gRefusedCalls = refused;
    try {
      qcCDBFile f(path, 1 | 2);
      f.appendRecord(qcCDBRecord(2, 0, 3, "abc", "x"));
    } catch (const qcException& e) {
      ADD_FAILURE() << e.what();
    }
    gRefusedCalls = 0;
    qcCDBFile f(path);
    EXPECT_EQ(f.numRecords(), 1);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);  // no temporary left
  }
}

// ---- damage ------------------------------------------------------------------------------------

class CdbDamage : public ::testing::Test {
protected:
  void SetUp() override {
    qcCDBFile f(path, 1 | 2);
    for (std::uint32_t i = 0; i < 3; ++i) {
      const auto d = recordData(i, 5000);
      f.appendRecord(qcCDBRecord(2, static_cast<long>(i), static_cast<unsigned>(d.size()), d.data(), "r"));
      sizes.push_back(f.getRecordHeader(i).dataSize);
    }
    bytes = readFile(path);
  }
  // Offset of the start of record i's entry (from the header sizes).
  std::size_t entryStart(int i) {
    std::size_t at = 32;
    for (int k = 0; k < i; ++k) at += 96 + 1 + sizes[static_cast<std::size_t>(k)] + 4;
    return at;
  }
  void expectOnlyRecord1Bad(qcCDBFile& f) {
    ASSERT_EQ(f.numRecords(), 3);
    qcCDBRecord r;
    for (int i = 0; i < 3; ++i) {
      f.goToRecord(i, 0);
      if (i == 1) {
        EXPECT_THROW(f.loadRecord(r), qcCDBFile::BadRecordFormat);
        EXPECT_THROW(f.verifyRecord(1), qcCDBFile::BadRecordFormat);
      } else {
        f.loadRecord(r);
        EXPECT_EQ(std::vector<unsigned char>(recordData(static_cast<std::uint32_t>(i), 5000)).size(), r.dataSize());
        f.verifyRecord(i);
      }
    }
  }
  TempDir dir;
  std::string path = dir / "d.cdb";
  std::vector<std::uint32_t> sizes;
  std::vector<unsigned char> bytes;
};

TEST_F(CdbDamage, AFlippedByteSpoilsOnlyItsRecord) {
  for (std::size_t where : {entryStart(1) + 96 + 1 + 100 /* data */, entryStart(1) + 20 /* header */,
                            entryStart(1) + 96 /* comment */}) {
    SCOPED_TRACE(where);
    auto damaged = bytes;
    damaged[where] ^= 0x40;
    writeFile(path, damaged);
    qcCDBFile f(path);
    expectOnlyRecord1Bad(f);
  }
}

TEST_F(CdbDamage, ForeignAndTruncatedFilesAreRejectedUntouched) {
  const std::vector<std::vector<unsigned char>> cases = {
      {},                                                      // empty
      std::vector<unsigned char>(bytes.begin(), bytes.begin() + 10),  // a cut header
      std::vector<unsigned char>(bytes.size(), 'x'),           // foreign
  };
  for (std::size_t c = 0; c < cases.size(); ++c) {
    SCOPED_TRACE(c);
    writeFile(path, cases[c]);
    EXPECT_THROW(qcCDBFile f(path), qcCDBFile::BadFileFormat);
    if (!cases[c].empty()) {
      EXPECT_THROW(qcCDBFile f(path, 1 | 2), qcCDBFile::BadFileFormat);
      EXPECT_EQ(readFile(path), cases[c]);  // never overwritten
    }
  }
  auto newer = bytes;
  newer[8] = 2;  // a format version from the future (its header CRC no longer fits either)
  writeFile(path, newer);
  EXPECT_THROW(qcCDBFile f(path), qcCDBFile::BadFileFormat);
}

TEST_F(CdbDamage, ATornTailIsIgnoredAndOverwritten) {
  for (std::size_t cut : {entryStart(2) + 50, entryStart(2) + 96 + 20, bytes.size() - 1}) {
    SCOPED_TRACE(cut);
    writeFile(path, std::vector<unsigned char>(bytes.begin(), bytes.begin() + static_cast<long>(cut)));
    {
      qcCDBFile f(path, 1 | 2);
      EXPECT_EQ(f.numRecords(), 2);
      EXPECT_EQ(f.tornTailBytes(), cut - entryStart(2));
      f.appendRecord(qcCDBRecord(2, 9, 3, "new", "n"));
      EXPECT_EQ(f.tornTailBytes(), 0u);
    }
    EXPECT_EQ(std::filesystem::file_size(path), entryStart(2) + 96 + 1 + 3 + 4);
    qcCDBFile f(path);
    ASSERT_EQ(f.numRecords(), 3);
    EXPECT_EQ(f.getRecordHeader(2).subtype, 9);
    f.verifyRecord(2);
  }
}

// A complete last entry that fails its CRC is damage, not a torn tail: it is
// kept, reported, and the next append goes after it.
TEST_F(CdbDamage, ADamagedLastRecordIsKeptAndAppendedAfter) {
  auto damaged = bytes;
  damaged[bytes.size() - 10] ^= 1;  // inside the last record's data
  writeFile(path, damaged);
  {
    qcCDBFile f(path, 1 | 2);
    ASSERT_EQ(f.numRecords(), 3);
    EXPECT_EQ(f.tornTailBytes(), 0u);
    EXPECT_THROW(f.verifyRecord(2), qcCDBFile::BadRecordFormat);
    f.appendRecord(qcCDBRecord(2, 9, 3, "new", "n"));
  }
  EXPECT_EQ(std::filesystem::file_size(path), bytes.size() + 96 + 1 + 3 + 4);
  qcCDBFile f(path);
  ASSERT_EQ(f.numRecords(), 4);
  EXPECT_EQ(f.getRecordHeader(2).subtype, 2);
  EXPECT_THROW(f.verifyRecord(2), qcCDBFile::BadRecordFormat);
  f.verifyRecord(3);
}

// ---- streams, index, other writers -------------------------------------------------------

// A stream buffer over a string that counts the bytes read from it.
class CountingBuf : public std::stringbuf {
public:
  using std::stringbuf::stringbuf;
  std::size_t bytesRead = 0;

protected:
  std::streamsize xsgetn(char* s, std::streamsize n) override {
    const std::streamsize got = std::stringbuf::xsgetn(s, n);
    bytesRead += static_cast<std::size_t>(got);
    return got;
  }
};

TEST(CdbStreams, AttachedStreamsHoldAFileAndTheIndexSparesTheData) {
  auto* made = new std::stringstream(std::ios::in | std::ios::out | std::ios::binary);
  {
    qcCDBFile f(made, 1 | 2 | 16, true);  // the file deletes the stream
    EXPECT_EQ(f.filename(), "");
    for (std::uint32_t i = 0; i < 20; ++i) {
      const auto d = recordData(i, 100000);
      f.appendRecord(qcCDBRecord(i % 2 ? 4 : 2, static_cast<long>(i), static_cast<unsigned>(d.size()), d.data()));
    }
    std::ostringstream dump;
    f.dumpIndex(dump);
    const std::string text = dump.str();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 21);  // a heading and a line per record
  }

  // Write the same records to a second stream, then reopen it through a
  // counting buffer: walking the headers must not read the data.
  std::string content;
  {
    std::stringstream s(std::ios::in | std::ios::out | std::ios::binary);
    qcCDBFile f(&s, 1 | 2, false);
    std::size_t total = 0;
    for (std::uint32_t i = 0; i < 20; ++i) {
      const auto d = recordData(i, 100000);
      total += d.size();
      f.appendRecord(qcCDBRecord(i % 2 ? 4 : 2, static_cast<long>(i), static_cast<unsigned>(d.size()), d.data(),
                                 "c" + std::to_string(i)));
    }
    content = s.str();
    EXPECT_GT(total, 500000u);
  }
  CountingBuf buf(content, std::ios::in | std::ios::out | std::ios::binary);
  std::iostream counted(&buf);
  qcCDBFile f(&counted, 1, false);
  EXPECT_EQ(f.numRecords(), 20);
  EXPECT_EQ(f.numRecords(qcCDBRecord(4, 0, 0, nullptr), 2), 10);
  EXPECT_EQ(f.findRecord(0, qcCDBRecord(4, 13, 0, nullptr), 2 | 4), 13);
  for (long i = 0; i < 20; ++i) {
    EXPECT_EQ(f.getRecordHeader(i).subtype, i);
    EXPECT_EQ(f.recordComment(i), "c" + std::to_string(i));
  }
  EXPECT_THROW(f.recordComment(20), qcCDBFile::RecordNotFound);
  // Headers and comments of every record, never the data.
  EXPECT_LT(buf.bytesRead, 20 * 200u);
  qcCDBRecord r;
  f.goToRecord(7, 0);
  f.loadRecord(r);
  std::vector<unsigned char> back(r.dataSize());
  r.getData(back.data(), static_cast<long>(back.size()));
  EXPECT_EQ(back, recordData(7, 100000));

  std::stringstream notEmpty("something");
  EXPECT_THROW(qcCDBFile(&notEmpty, 1 | 2 | 16, false), qcCDBFile::InvalidArgument);
}

TEST(CdbFiles, AReaderSeesWhatAnotherWriterAppended) {
  TempDir dir;
  const std::string path = dir / "w.cdb";
  qcCDBFile writer(path, 1 | 2);
  writer.appendRecord(qcCDBRecord(2, 0, 1, "a", "a"));
  qcCDBFile reader(path);
  EXPECT_EQ(reader.numRecords(), 1);
  writer.appendRecord(qcCDBRecord(2, 1, 1, "b", "b"));
  writer.goToRecord(0, 0);
  writer.deleteRecord();
  EXPECT_EQ(reader.numRecords(), 1);
  reader.firstRecord();
  qcCDBRecord r;
  reader.loadRecord(r);
  EXPECT_EQ(r.comment(), "b");
}

// Two processes appending to one file at once: every record arrives intact,
// each writer's records in its own order, none interleaved.
TEST(CdbFiles, TwoProcessesAppendingAtOnce) {
  TempDir dir;
  const std::string path = dir / "two.cdb";
  { qcCDBFile f(path, 1 | 2 | 16); }
  constexpr int kEach = 150;
  pid_t kids[2];
  for (int w = 0; w < 2; ++w) {
    kids[w] = ::fork();
    ASSERT_GE(kids[w], 0);
    if (kids[w] == 0) {
      int rc = 0;
      try {
        qcCDBFile f(path, 2);
        for (int i = 0; i < kEach; ++i) {
          const auto d = recordData(static_cast<std::uint32_t>(w * 1000 + i), 20000);
          qcCDBRecord r(2, w, static_cast<unsigned>(d.size()), d.data());
          r.sequenceNumber(i);
          f.appendRecord(r);
        }
      } catch (...) {
        rc = 1;
      }
      ::_exit(rc);
    }
  }
  for (pid_t k : kids) {
    int status = 0;
    ASSERT_EQ(::waitpid(k, &status, 0), k);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  qcCDBFile f(path);
  ASSERT_EQ(f.numRecords(), 2 * kEach);
  int next[2] = {0, 0};
  qcCDBRecord r;
  for (long i = 0; i < f.numRecords(); ++i) {
    f.goToRecord(i, 0);
    f.loadRecord(r);
    const int w = static_cast<int>(r.subtype());
    ASSERT_TRUE(w == 0 || w == 1);
    EXPECT_EQ(r.sequenceNumber(), next[w]);
    std::vector<unsigned char> d(r.dataSize());
    r.getData(d.data(), static_cast<long>(d.size()));
    EXPECT_EQ(d, recordData(static_cast<std::uint32_t>(w * 1000 + next[w]), 20000));
    ++next[w];
  }
}

}  // namespace
