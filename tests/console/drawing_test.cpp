// What the window draws, read back from its canvas: the image through the
// colour table, and overlays at the screen pixels of their image positions.
#include <cmath>
#include <memory>
#include <set>

#include <gtest/gtest.h>

#include "console_support.h"

using namespace console_test;

namespace {

class ConsoleDrawing : public ::testing::Test {
protected:
  void SetUp() override {
    c.reset(newConsole(200, 200));
    qcPelBuffer<unsigned char> flat(400, 400);  // all 0
    c->showImage(flat, {100, 100}, 1.0);
  }
  std::uint32_t px(long u, long v) { return c->imgWin_().canvas().pixel(u, v); }
  std::uint32_t pen(qcPen p) { return c->imgWin_().penColor(p); }
  // The pixels of the image area in colour `col`.
  long count(std::uint32_t col) {
    long n = 0;
    for (long v = 0; v < 200; ++v)
      for (long u = 0; u < 200; ++u) n += px(u, v) == col;
    return n;
  }
  std::unique_ptr<qcImageConsole> c;
};

TEST_F(ConsoleDrawing, ImagePelsGoThroughTheColourTable) {
  std::unique_ptr<qcImageConsole> g(newConsole(200, 200));
  g->showImage(gradient(300, 300), {100, 100}, 2.0);
  qc_ImgWin& w = g->imgWin_();
  for (const auto& [u, v] : {std::pair{0L, 0L}, {1L, 1L}, {2L, 0L}, {199L, 199L}, {57L, 133L}}) {
    // The pel under the pixel at zoom 2.
    const long x = static_cast<long>(std::floor((u - 100) / 2.0 + 100)), y = static_cast<long>(std::floor((v - 100) / 2.0 + 100));
    const int pel = (x + 2 * y) & 255;
    EXPECT_EQ(w.canvas().pixel(u, v), w.palette().color(w.palette().table()[pel])) << u << "," << v;
  }
  // Beyond the image: the background, not pels.
  g->center({0, 0});
  EXPECT_NE(w.canvas().pixel(10, 10), w.palette().color(w.palette().table()[0]));
  // A narrower range shows pel 100 and above as white.
  g->showImage(gradient(300, 300), {100, 100}, 1.0, 0, 100);
  EXPECT_EQ(w.canvas().pixel(100, 0), qc_Canvas::rgb(255, 255, 255));  // pel 200
  EXPECT_EQ(w.canvas().pixel(0, 0), qc_Canvas::rgb(0, 0, 0));          // pel 0, ramp from black
}

TEST_F(ConsoleDrawing, ColourImagesShowTheirOwnColours) {
  qcPelBuffer<qcPackedRGB32Pel> rgb(50, 50);
  for (long y = 0; y < 50; ++y)
    for (long x = 0; x < 50; ++x)
      rgb.rowPointer(y)[x] = qcPackedRGB32Pel(static_cast<unsigned char>(x * 5), static_cast<unsigned char>(y * 5), 7);
  c->showImage(rgb);
  const qcPair<long> p = c->imgWin_().imageToClient(10.5, 20.5);
  EXPECT_EQ(px(p.x, p.y), qc_Canvas::rgb(50, 100, 7));
}

TEST_F(ConsoleDrawing, RectangleLandsAtItsImagePositionAtEveryZoom) {
  struct Case {
    double zoom;
    long lo, hi;  // client corners of the rectangle (90, 90) - (110, 110)
  };
  c->drawRect(90, 90, 20, 20, qcPen::sRed);
  for (const Case& k : {Case{1, 90, 110}, Case{2, 80, 120}, Case{0.25, 97, 102}}) {
    c->zoom(k.zoom);
    const std::uint32_t red = pen(qcPen::sRed);
    EXPECT_EQ(px(k.lo, k.lo), red) << k.zoom;
    EXPECT_EQ(px(k.hi, k.lo), red) << k.zoom;
    EXPECT_EQ(px(k.hi, k.hi), red) << k.zoom;
    EXPECT_EQ(px(k.lo, (k.lo + k.hi) / 2), red) << k.zoom;
    EXPECT_NE(px(k.lo - 1, k.lo), red) << k.zoom;
    EXPECT_NE(px(k.hi + 1, k.hi), red) << k.zoom;
    EXPECT_NE(px((k.lo + k.hi) / 2, (k.lo + k.hi) / 2), red) << k.zoom;  // hollow
    EXPECT_EQ(count(red), 4 * (k.hi - k.lo)) << k.zoom;
  }
}

TEST_F(ConsoleDrawing, CrossesFullOrWithAnOpenCentre) {
  const std::uint32_t green = pen(qcPen::sGreen), cyan = pen(qcPen::sCyan);
  c->drawCross(50, 50, 10, 0, qcPen::sGreen);
  c->drawCross(150, 150, 10, 3, qcPen::sCyan);
  c->forceOverlays();
  for (const auto& [u, v] : {std::pair{40L, 50L}, {60L, 50L}, {50L, 40L}, {50L, 60L}, {50L, 50L}})
    EXPECT_EQ(px(u, v), green) << u << "," << v;
  EXPECT_NE(px(39, 50), green);
  EXPECT_NE(px(50, 61), green);
  EXPECT_EQ(count(green), 41);
  for (const auto& [u, v] : {std::pair{140L, 150L}, {147L, 150L}, {153L, 150L}, {150L, 160L}, {150L, 143L}})
    EXPECT_EQ(px(u, v), cyan) << u << "," << v;
  for (const auto& [u, v] : {std::pair{150L, 150L}, {148L, 150L}, {150L, 152L}, {139L, 150L}})
    EXPECT_NE(px(u, v), cyan) << u << "," << v;
  EXPECT_EQ(count(cyan), 32);
  // The arms are screen pixels: they keep their length at another zoom.
  c->zoom(4);
  const qcPair<long> p = c->imgWin_().imageToClient(50, 50);
  EXPECT_EQ(p, (qcPair<long>(-100, -100)));  // off screen now
  c->center({50, 50});
  EXPECT_EQ(count(green), 41);
}

TEST_F(ConsoleDrawing, LinesEllipsesAndTextInThePenColour) {
  const std::uint32_t blue = pen(qcPen::sBlue), yellow = pen(qcPen::sYellow), white = pen(qcPen::sWhite);
  c->drawLine(10, 190, 190, 190, qcPen::sBlue);
  c->drawEllipse(100, 100, 20, 10, qcPen::sYellow);
  c->drawText(20, 20, "Quorin", qcPen::sWhite);
  c->drawLine(-1e12, 5, 1e12, 5, qcPen::sBlue);  // far ends are cut, not walked
  c->forceOverlays();
  EXPECT_EQ(px(10, 190), blue);
  EXPECT_EQ(px(190, 190), blue);
  EXPECT_NE(px(191, 190), blue);
  EXPECT_EQ(px(0, 5), blue);
  EXPECT_EQ(px(199, 5), blue);
  for (const auto& [u, v] : {std::pair{80L, 100L}, {120L, 100L}, {100L, 90L}, {100L, 110L}})
    EXPECT_EQ(px(u, v), yellow) << u << "," << v;
  EXPECT_NE(px(100, 100), yellow);
  EXPECT_NE(px(100, 89), yellow);
  long textPixels = 0;
  for (long v = 20; v < 40; ++v)
    for (long u = 20; u < 80; ++u) textPixels += px(u, v) == white;
  EXPECT_GT(textPixels, 20) << "no text drawn (is fonts-dejavu-core installed?)";
  EXPECT_EQ(count(white), textPixels);  // nothing left of or above its corner
}

TEST_F(ConsoleDrawing, LaterOverlaysAreDrawnOverEarlierOnes) {
  c->drawLine(0, 100, 199, 100, qcPen::sRed);
  c->drawLine(100, 0, 100, 199, qcPen::sBlue);
  c->forceOverlays();
  EXPECT_EQ(px(100, 100), pen(qcPen::sBlue));
}

TEST_F(ConsoleDrawing, ErasingRemovesTheFirstExactMatchOnly) {
  qc_ImgWin& w = c->imgWin_();
  c->drawRect(10, 10, 10, 10, qcPen::sRed);
  c->drawRect(10, 10, 10, 10, qcPen::sRed);
  c->drawLine(1, 2, 3, 4, qcPen::sRed);
  c->drawingMode(qcImageConsole::Erase);
  EXPECT_EQ(c->drawingMode(), qcImageConsole::Erase);
  c->drawRect(10, 10, 10, 10, qcPen::sBlue);          // other pen
  c->drawRect(10, 10, 10, 10.000001, qcPen::sRed);    // other size
  c->drawRect(10.000001, 10, 10, 10, qcPen::sRed);    // other corner
  c->drawLine(1, 2, 3, 4, qcPen::sRed);               // a line: erases the line only
  EXPECT_EQ(w.overlays().size(), 2u);
  // Text is matched by its position and pen, whatever it says.
  c->drawingMode(qcImageConsole::Draw);
  c->drawText(5, 6, "frame 17", qcPen::sRed);
  c->drawingMode(qcImageConsole::Erase);
  c->drawText(5, 6, "frame 17", qcPen::sGreen);
  c->drawText(5, 7, "frame 17", qcPen::sRed);
  EXPECT_EQ(w.overlays().size(), 3u);
  c->drawText(5, 6, "", qcPen::sRed);
  EXPECT_EQ(w.overlays().size(), 2u);
  c->drawRect(10, 10, 10, 10, qcPen::sRed);
  EXPECT_EQ(w.overlays().size(), 1u);
  c->drawingMode(qcImageConsole::Draw);
  c->forceOverlays();
  EXPECT_EQ(px(10, 10), pen(qcPen::sRed));  // the copy left is still drawn
  c->clearOverlays();
  c->forceOverlays();
  EXPECT_TRUE(w.overlays().empty());
  EXPECT_NE(px(10, 10), pen(qcPen::sRed));
}

// The key help (h) is a box of two columns, keys and what they do, the
// application's keys first, then the window's that do something now: every
// meaning starts at the same x.
TEST_F(ConsoleDrawing, TheKeyHelpListsKeysAndMeaningsInAlignedColumns) {
  for (const auto& [selections, expectedRows] : {std::pair{1, 7L}, std::pair{0, 6L}}) {
    SCOPED_TRACE(selections);
    std::unique_ptr<qcImageConsole> h(newConsole(600, 400));
    h->defaultSelectionsEnabled(selections);
    h->showImage(gradient(600, 400), {300, 200}, 1.0);
    h->keyHelp({{"space, n, Page Down", "next file"}, {"q", "quit"}});
    qc_ImgWin& w = h->imgWin_();
    ASSERT_TRUE(w.key('h'));
    h->forceRefresh();
    const qc_Canvas& cv = w.canvas();
    const std::uint32_t back = cv.pixel(12, 12);  // inside the box, above the text
    long right = 12, bottom = 12;  // the box's inside
    while (right < 600 && cv.pixel(right + 1, 12) == back) ++right;
    while (bottom < 400 && cv.pixel(12, bottom + 1) == back) ++bottom;
    const long lineH = w.textFont().height() + 2;
    const auto columnHasText = [&](long u, long top) {
      for (long v = top; v < top + lineH; ++v)
        if (cv.pixel(u, v) != back) return true;
      return false;
    };
    std::set<long> starts;
    long rows = 0;
    for (long top = 14; top + lineH <= bottom; top += lineH) {
      // The first text after a gap of 12 empty columns that follows text.
      long second = -1, gap = 0;
      bool text = false;
      for (long u = 12; u < right && second < 0; ++u) {
        if (!columnHasText(u, top)) {
          ++gap;
        } else {
          if (text && gap >= 12) second = u;
          text = true;
          gap = 0;
        }
      }
      ++rows;
      EXPECT_GE(second, 0) << "row " << rows << ": no second column";
      starts.insert(second);
    }
    EXPECT_EQ(rows, expectedRows);  // two of the application's, then the console's (Enter, Escape: while waiting)
    ASSERT_FALSE(starts.empty());
    EXPECT_LE(*starts.rbegin() - *starts.begin(), 2) << "meanings from x " << *starts.begin() << " to " << *starts.rbegin();  // a glyph's side bearing
  }
}

TEST_F(ConsoleDrawing, ItemsMarkTheirScreenAreaForRepainting) {
  qc_ImgWin& w = c->imgWin_();
  c->forceRefresh();
  ASSERT_TRUE(w.dirty().isEmpty());
  c->drawRect(10, 20, 30, 40, qcPen::sRed);
  EXPECT_EQ(w.dirty(), qcPelRect(9, 19, 33, 43));  // the box grown by one pixel
  c->forceOverlays();
  c->drawCross(100, 100, 5, 0, qcPen::sRed);
  EXPECT_EQ(w.dirty(), qcPelRect(94, 94, 13, 13));
  c->forceOverlays();
  c->drawLine(0, 0, 1, 1, qcPen::sRed);  // lines: the whole window
  EXPECT_EQ(w.dirty(), qcPelRect(0, 0, w.canvas().width(), w.canvas().height()));
}

}  // namespace
