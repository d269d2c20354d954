// Row-end watermarks: where the marks go, the result codes, and input that
// cannot be marked safely.
#include <qrn/acq/hyper/watermark.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <vector>

#include <qrn/foundation/misc.h>
#include <qrn/foundation/pelbuffer.h>

namespace {

constexpr unsigned char kMarkBytes[4] = {0xFF, 0x00, 0x0F, 0xFF};  // 0xFF0F00FF, little-endian

// An 8-bit image of `rows` rows, 16 pels wide and 16 apart, marked.
struct Image8 {
  explicit Image8(long rows) : h(rows), pels(static_cast<std::size_t>(rows * 16), 0) {
    qcWatermark::addWatermark(pels.data(), 16, h, 16, 1, true);
  }
  // The hardware writes a whole row.
  void write(long r) { std::memset(&pels[static_cast<std::size_t>(r * 16)], 0x11, 16); }
  unsigned long check() const { return qcWatermark::checkWatermark(pels.data(), 16, h, 16, 1, true); }
  long h;
  std::vector<unsigned char> pels;
};

class AssertCount {
public:
  AssertCount() : start_(qf_assertCount()) {}
  unsigned long fired() const { return qf_assertCount() - start_; }

private:
  unsigned long start_;
};

}  // namespace

TEST(Watermark, ResultCodes) {
  struct Case {
    long height;
    std::set<long> unwritten;
    unsigned long code;
  };
  const Case cases[] = {
      {8, {}, 0},
      {8, {0, 2, 4, 6}, 4},
      {8, {1, 3, 5, 7}, 8},
      {8, {0, 1, 2, 3, 4, 5, 6, 7}, 12},
      {8, {0, 2, 4, 6, 1}, 6},
      {8, {1, 3, 5, 7, 0}, 9},
      {8, {0, 1, 2, 3, 4}, 3},
      {8, {0, 2}, 2},
      {8, {1}, 1},
      {8, {0, 1}, 13},
      {8, {0, 2, 4, 5}, 13},
      {7, {0, 1, 2, 3, 4, 5, 6}, 12},
      {7, {}, 0},
      {7, {0, 2, 4, 6}, 10},
      {7, {3}, 10},
      {1, {0}, 12},
      {2, {1}, 8},
      {0, {}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "height " << c.height << ", expected code " << c.code);
    Image8 img(c.height);
    for (long r = 0; r < c.height; ++r)
      if (!c.unwritten.count(r)) img.write(r);
    EXPECT_EQ(img.check(), c.code);
  }
}

TEST(Watermark, ARowIsUnwrittenWhileEitherEndStillHoldsTheMark) {
  for (bool firstHalf : {true, false}) {
    Image8 img(4);
    for (long r = 0; r < 4; ++r) img.write(r);
    // Row 2: the hardware wrote only one half.
    std::memset(&img.pels[2 * 16], 0xFF, 16);
    std::memcpy(&img.pels[firstHalf ? 2 * 16 + 12 : 2 * 16], kMarkBytes, 4);
    EXPECT_EQ(img.check(), 2u) << (firstHalf ? "last word left" : "first word left");
  }
  // A written pel that happens to equal part of the mark does not count.
  Image8 img(2);
  img.write(0);
  img.write(1);
  img.pels[0] = 0xFF;
  EXPECT_EQ(img.check(), 0u);
}

TEST(Watermark, MarksGoIntoTheFirstAndLastWholeWordOfEachRowOnly) {
  struct Case {
    long bytesPerPel, width, pitch;
  };
  for (Case c : {Case{1, 16, 20}, Case{1, 7, 8}, Case{2, 8, 12}, Case{2, 5, 8}, Case{4, 3, 4}, Case{4, 1, 4}}) {
    SCOPED_TRACE(testing::Message() << c.bytesPerPel << " bytes per pel, width " << c.width << ", pitch " << c.pitch);
    const long rows = 3;
    const long rowBytes = c.pitch * c.bytesPerPel;
    std::vector<unsigned char> buf(static_cast<std::size_t>(rows * rowBytes), 0x55);
    qcWatermark::addWatermark(buf.data(), c.width, rows, c.pitch, c.bytesPerPel, true);
    const long lastWordStart = (c.width * c.bytesPerPel / 4 - 1) * 4;  // byte offset in the row
    for (long r = 0; r < rows; ++r) {
      for (long b = 0; b < rowBytes; ++b) {
        bool inMark = b < 4 || (b >= lastWordStart && b < lastWordStart + 4);
        unsigned char want = inMark ? kMarkBytes[b % 4] : 0x55;
        ASSERT_EQ(buf[static_cast<std::size_t>(r * rowBytes + b)], want) << "row " << r << ", byte " << b;
      }
    }
    EXPECT_EQ(qcWatermark::checkWatermark(buf.data(), c.width, rows, c.pitch, c.bytesPerPel, true), 12u);
  }
}

TEST(Watermark, DisabledDoesNothing) {
  std::vector<unsigned char> buf(64, 0);
  qcWatermark::addWatermark(buf.data(), 16, 4, 16, 1, false);
  EXPECT_EQ(buf, std::vector<unsigned char>(64, 0));
  qcWatermark::addWatermark(buf.data(), 16, 4, 16, 1, true);
  EXPECT_EQ(qcWatermark::checkWatermark(buf.data(), 16, 4, 16, 1, false), 0u);
  EXPECT_EQ(qcWatermark::checkWatermark(buf.data(), 16, 4, 16, 1, true), 12u);
}

// Geometry whose marks would land outside the rows is refused: nothing is
// written (ASan would see a write outside `buf`), the check gives 0.
TEST(Watermark, UnsafeGeometryIsRefused) {
  struct Case {
    const char* what;
    bool nullBuffer;
    long width, height, pitch, bytesPerPel;
  };
  const Case cases[] = {
      {"row narrower than a word", false, 3, 2, 4, 1},
      {"width above pitch", false, 12, 2, 8, 1},
      {"three bytes per pel", false, 4, 2, 4, 3},
      {"zero bytes per pel", false, 4, 2, 4, 0},
      {"negative height", false, 4, -1, 4, 1},
      {"null buffer", true, 4, 2, 4, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<unsigned char> buf(16, 0x55);
    void* p = c.nullBuffer ? nullptr : buf.data();
    AssertCount asserts;
    qcWatermark::addWatermark(p, c.width, c.height, c.pitch, c.bytesPerPel, true);
    EXPECT_EQ(buf, std::vector<unsigned char>(16, 0x55));
    EXPECT_EQ(qcWatermark::checkWatermark(p, c.width, c.height, c.pitch, c.bytesPerPel, true), 0u);
    EXPECT_EQ(asserts.fired(), 2u);
  }
  AssertCount asserts;
  qcWatermark::addWatermark(nullptr, 4, 0, 4, 1, true);  // no rows: nothing to mark, no complaint
  EXPECT_EQ(asserts.fired(), 0u);
}

TEST(Watermark, PixelBufferWindow) {
  // 16-bit pels: a 10 x 4 window at (3, 1) of a 20 x 6 image.
  qcPelBuffer<unsigned short> whole(20, 6);
  for (long y = 0; y < 6; ++y)
    for (long x = 0; x < 20; ++x) whole.set(x, y, 0x5555);
  qcPelBuffer<unsigned short> win = whole.window(3, 1, 10, 4);
  ASSERT_EQ(whole.rowUpdate() % 4, 0);
  qcWatermark::addWatermark(win, true);
  for (long y = 0; y < 6; ++y) {
    for (long x = 0; x < 20; ++x) {
      bool inWin = y >= 1 && y < 5 && x >= 3 && x < 13;
      long wx = x - 3;
      unsigned short want = 0x5555;
      if (inWin && (wx == 0 || wx == 8)) want = 0x00FF;
      if (inWin && (wx == 1 || wx == 9)) want = 0xFF0F;
      ASSERT_EQ(whole.get(x, y), want) << x << ", " << y;
    }
  }
  EXPECT_EQ(qcWatermark::checkWatermark(win, true), 12u);
  for (long y = 0; y < 4; y += 2)
    for (long x = 0; x < 10; ++x) win.set(x, y, 1);
  EXPECT_EQ(qcWatermark::checkWatermark(win, true), 8u) << "only the odd rows are left";
  EXPECT_EQ(qcWatermark::checkWatermark(win, false), 0u);

  qcPelBuffer<unsigned char> unbound;
  qcWatermark::addWatermark(unbound, true);
  EXPECT_EQ(qcWatermark::checkWatermark(unbound, true), 0u);
}
