// qacq and camera database files: grab --cdb on the simulated board, then
// cdb list, extract and check.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <sstream>

#include <qrn/acq/cdb/cdb.h>

#include "qacq.h"
#include "qacq_support.h"

using qacq_test::TempDir;

namespace {

// Runs qacq; returns the exit code, output and errors in `out`.
int qacqCdb(const std::vector<std::string>& args, std::string& out) {
  std::ostringstream o, e;
  const int code = qacq::run(args, o, e);
  out = o.str() + e.str();
  return code;
}

TEST(QacqCdb, GrabRecordsEveryFrameAndTheToolReadsThemBack) {
  TempDir dir;
  const std::string file = dir / "run.cdb", out = dir / "x";
  std::string text;
  // As fast as the board can go: no frame may be lost.
  ASSERT_EQ(qacqCdb({"grab", "-q", "-n", "60", "--custom", "FramePeriod=0", "--cdb", file}, text), 0) << text;
  EXPECT_NE(text.find("recorded in " + file), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir / "frame-0001.png"));  // --cdb alone writes no image files
  {
    qcCDBFile f(file);
    ASSERT_EQ(f.numRecords(), 60);
    qcCDBRecord r;
    for (long i = 0; i < 60; ++i) {
      f.goToRecord(i, 0);
      f.loadRecord(r);
      EXPECT_EQ(r.comment().rfind("format Sony XC75 640x480, trigger " + std::to_string(i + 1) + ", time stamp ", 0), 0u)
          << r.comment();
      EXPECT_EQ(r.comment().substr(r.comment().size() - 4), ", ok");
      EXPECT_EQ(r.image().width(), 640);
    }
  }
  // A second grab appends.
  ASSERT_EQ(qacqCdb({"grab", "-q", "-n", "2", "-i", "grey16", "--custom", "FramePeriod=0", "--cdb", file}, text), 0)
      << text;

  ASSERT_EQ(qacqCdb({"cdb", "list", file}, text), 0) << text;
  EXPECT_NE(text.find("   61  image          16-bit image       614400  format Sony XC75 640x480, trigger 2"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("62 records"), std::string::npos);
  ASSERT_EQ(qacqCdb({"cdb", "check", file}, text), 0) << text;

  ASSERT_EQ(qacqCdb({"cdb", "extract", file, "--out", out, "--index", "3", "--index", "61", "--save", "pgm"}, text), 0)
      << text;
  qcCDBFile f(file);
  qcCDBRecord r;
  f.goToRecord(3, 0);
  f.loadRecord(r);
  const qacq_test::Decoded d = qacq_test::readPnm(out + "/record-0003.pgm");
  ASSERT_TRUE(d.ok) << d.error;
  const qcPelBuffer_const<unsigned char> img = r.image();
  ASSERT_EQ(d.samples.size(), 640u * 480u);
  for (long y = 0; y < 480; y += 37)
    for (long x = 0; x < 640; x += 41) ASSERT_EQ(d.samples[static_cast<std::size_t>(y * 640 + x)], img.get(x, y));
  EXPECT_EQ(qacq_test::readPnm(out + "/record-0061.pgm").depth, 16);
  EXPECT_EQ(qacqCdb({"cdb", "extract", file, "--index", "62"}, text), 2);
}

TEST(QacqCdb, CheckNamesTheDamagedRecord) {
  TempDir dir;
  const std::string file = dir / "d.cdb";
  {
    qcCDBFile f(file, 1 | 2);
    for (int i = 0; i < 4; ++i) f.appendRecord(qcCDBRecord(2, i, 1000, std::string(1000, 'a' + i).data()));
  }
  std::fstream s(file, std::ios::in | std::ios::out | std::ios::binary);
  s.seekp(32 + 2 * (96 + 1000 + 4) + 96 + 500);  // inside record 2's data
  s.put('!');
  s.close();
  std::string text;
  EXPECT_EQ(qacqCdb({"cdb", "check", file}, text), 1);
  EXPECT_NE(text.find("record 2: damaged"), std::string::npos) << text;
  EXPECT_EQ(text.find("record 1:"), std::string::npos) << text;
  EXPECT_EQ(qacqCdb({"cdb", "check", dir / "missing.cdb"}, text), 1);
  std::ofstream(dir / "foreign.cdb") << "not a database";
  EXPECT_EQ(qacqCdb({"cdb", "list", dir / "foreign.cdb"}, text), 1);
  EXPECT_NE(text.find("not a camera database file"), std::string::npos) << text;
}

// Four 1000-byte data records, then `damage` applied to the file's bytes.
std::string damagedFile(const TempDir& dir, const std::function<void(std::vector<char>&)>& damage) {
  const std::string file = dir / "d.cdb";
  {
    qcCDBFile f(file, 1 | 2 | 16);
    for (int i = 0; i < 4; ++i)
      f.appendRecord(qcCDBRecord(2, i, 1000, std::string(1000, static_cast<char>('a' + i)).data(),
                                 "rec" + std::to_string(i)));
  }
  std::ifstream in(file, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
  in.close();
  damage(bytes);
  std::ofstream(file, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return file;
}
constexpr std::size_t kEntry = 96 + 4 + 1000 + 4;  // header, comment "recN", data, CRC

// What check, list and extract say about damage of each kind: a damaged
// record is named and the others still read; a torn tail is reported with
// what the next append does.
TEST(QacqCdb, DamageIsReportedAndTheGoodRecordsStillRead) {
  struct Case {
    const char* what;
    std::function<void(std::vector<char>&)> damage;
    int checkCode;
    std::vector<std::string> checkSays, listSays;
    std::vector<int> extracted;  // extract exits 1 when it skipped any
  };
  const std::vector<Case> cases = {
      {"a bit of the last record's data", [](std::vector<char>& b) { b[b.size() - 20] ^= 4; }, 1,
       {"record 3: damaged", "1 of 4 records damaged"}, {"rec3", "4 records"}, {0, 1, 2}},
      {"record 1's header", [](std::vector<char>& b) { b[32 + kEntry + 20] ^= 4; }, 1,
       {"record 1: damaged", "1 of 4 records damaged"}, {"    1  damaged", "rec2"}, {0, 2, 3}},
      {"data of record 2 (list reads comments only)", [](std::vector<char>& b) { b[32 + 2 * kEntry + 300] ^= 4; }, 1,
       {"record 2: damaged"}, {"rec2"}, {0, 1, 3}},
      {"a torn append", [](std::vector<char>& b) { b.erase(b.end() - 500, b.end()); }, 1,
       {"3 records", "torn", "the next append"}, {"3 records"}, {0, 1, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string file = damagedFile(dir, c.damage), out = dir / "x";
    std::string text;
    EXPECT_EQ(qacqCdb({"cdb", "check", file}, text), c.checkCode) << text;
    for (const std::string& s : c.checkSays) EXPECT_NE(text.find(s), std::string::npos) << s << " in\n" << text;
    EXPECT_EQ(text.find("every CRC good"), std::string::npos) << text;
    EXPECT_EQ(qacqCdb({"cdb", "list", file}, text), 0) << text;
    for (const std::string& s : c.listSays) EXPECT_NE(text.find(s), std::string::npos) << s << " in\n" << text;
    const int code = qacqCdb({"cdb", "extract", file, "--out", out}, text);
    const bool skips = std::string(c.what) != "a torn append";
    EXPECT_EQ(code, skips ? 1 : 0) << text;
    if (skips) {
      EXPECT_NE(text.find("skipped"), std::string::npos) << text;
    }
    for (int i = 0; i < 4; ++i) {
      const bool wanted = std::count(c.extracted.begin(), c.extracted.end(), i) > 0;
      EXPECT_EQ(std::filesystem::exists(out + "/record-000" + std::to_string(i) + ".bin"), wanted) << i << "\n" << text;
    }
  }
}

// Named pipes are refused at once, not opened and waited on.
TEST(QacqCdb, ANamedPipeIsRefusedAtOnce) {
  TempDir dir;
  const std::string fifo = dir / "fifo.cdb";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const std::vector<std::string>& args : {std::vector<std::string>{"cdb", "list", fifo},
                                               std::vector<std::string>{"cdb", "check", fifo},
                                               std::vector<std::string>{"show", fifo}}) {
    SCOPED_TRACE(args[1]);
    auto done = std::async(std::launch::async, [&] {
      std::string text;
      const int code = qacqCdb(args, text);
      return std::make_pair(code, text);
    });
    if (done.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
      ADD_FAILURE() << "blocks on a named pipe";
      const int fd = ::open(fifo.c_str(), O_RDWR);
      done.wait();
      ::close(fd);
    }
    const auto [code, text] = done.get();
    EXPECT_EQ(code, 1) << text;
    EXPECT_NE(text.find("not a regular file"), std::string::npos) << text;
  }
}

}  // namespace

TEST(QacqCdb, ShowFindsTheImageRecordsOfADatabaseFile) {
  TempDir dir;
  const std::string file = dir / "show.cdb", png = dir / "frame-0002.png";
  std::string text;
  ASSERT_EQ(qacqCdb({"grab", "-q", "-n", "2", "--custom", "FramePeriod=0", "--cdb", file, "--save", "png", "--out",
                     dir.path()}, text), 0)
      << text;
  {
    // A record without an image between them is passed over.
    qcCDBFile f(file, 1 | 2);
    const char data[3] = {1, 2, 3};
    f.appendRecord(qcCDBRecord(2, 0, sizeof data, data, "not an image"));
    qcCDBRecord r;
    f.goToRecord(1, 0);
    f.loadRecord(r);
    f.appendRecord(r);
  }
  EXPECT_EQ(qacq::cdbImageRecords(file), (std::vector<long>{0, 1, 3}));
  {
    // A damaged record header hides neither the file nor the records after it.
    std::fstream s(file, std::ios::in | std::ios::out | std::ios::binary);
    s.seekp(32 + 20);  // inside record 0's header
    s.put('!');
  }
  std::vector<long> skipped;
  EXPECT_EQ(qacq::cdbImageRecords(file, &skipped), (std::vector<long>{1, 3}));
  EXPECT_EQ(skipped, std::vector<long>{0});
  EXPECT_TRUE(qacq::cdbImageRecords(png).empty());  // an image file, not a database
  EXPECT_TRUE(qacq::cdbImageRecords(dir / "missing.cdb").empty());

  // Record 3, the copy of the second frame, shows that frame's pels.
  const qcPelBuffer<unsigned char> shown = qacq::readCdbImage(file, 3)->grey8(),
                                   written = qacq::readImage(png)->grey8();
  ASSERT_EQ(shown.width(), 640);
  ASSERT_EQ(shown.height(), 480);
  for (long y = 0; y < 480; y += 13)
    for (long x = 0; x < 640; x += 11) ASSERT_EQ(shown.get(x, y), written.get(x, y)) << x << "," << y;
  EXPECT_THROW(qacq::readCdbImage(file, 2), qacq::Error);  // holds no image
}
