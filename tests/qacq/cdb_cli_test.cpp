// qacq and camera database files: grab --cdb on the simulated board, then
// cdb list, extract and check.
#include <gtest/gtest.h>

#include <fstream>
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
