// The console's rules that need no drawing: zoom, coordinates, palette and
// colour table, status texts, showing and replacing images, creation.
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "console_support.h"

using namespace console_test;

namespace {

struct ZoomCase {
  double asked, got;
};

TEST(ConsoleZoom, SnapsDownToPowersOfTwoFromAnEighthTo64) {
  std::unique_ptr<qcImageConsole> c(newConsole(200, 100));
  EXPECT_EQ(c->zoom(), 0.0);
  c->zoom(4.0);  // without an image nothing changes
  EXPECT_EQ(c->zoom(), 0.0);
  *c << gradient(50, 50);
  const ZoomCase cases[] = {{3.0, 2}, {0.2, 0.125}, {100, 64}, {1.0, 1}, {0.3, 0.25}, {0.49, 0.25},
                            {0.5, 0.5}, {63.9, 32}, {64, 64}, {0.01, 0.125}, {-5, 0.125}, {1.99, 1}};
  for (const ZoomCase& z : cases) {
    c->zoom(z.asked);
    EXPECT_EQ(c->zoom(), z.got) << "zoom(" << z.asked << ")";
  }
}

TEST(ConsoleZoom, ClosestZoomFitsTheImageWithPowersOfTwo) {
  struct Case {
    qcPair<long> client;
    qcPair<double> image;
    double zoom;
  };
  const Case cases[] = {
      {{400, 400}, {100, 100}, 2},      // r = 4: strictly below
      {{300, 300}, {100, 100}, 2},      // r = 3
      {{100000, 100000}, {100, 100}, 64},  // r = 1000
      {{100, 100}, {100, 100}, 1},      // r = 1
      {{50, 80}, {100, 100}, 0.5},      // r = 0.5
      {{1, 1}, {100, 100}, 0.125},      // r = 0.01
      {{400, 100}, {100, 100}, 1},      // the smaller ratio counts
      {{120, 300}, {100, 100}, 1},      // r = 1.2: 1 is the largest below
  };
  for (const Case& k : cases)
    EXPECT_EQ(qc_ImgWin::closestZoom(k.client, k.image), k.zoom)
        << k.client << " for " << k.image;
}

TEST(ConsoleCoordinates, ConvertBetweenImageAndClientAtZoomCentreAndOffset) {
  std::unique_ptr<qcImageConsole> c(newConsole(400, 300));
  qc_ImgWin& w = c->imgWin_();
  ASSERT_EQ(w.clientSize(), (qcPair<long>(400, 300)));
  c->showImage(gradient(200, 100), {100, 50}, 2.0);
  EXPECT_EQ(w.imageToClient(100, 50), (qcPair<long>(200, 150)));
  EXPECT_EQ(w.clientToImage(0, 0), (qcPair<double>(0, -25)));
  EXPECT_EQ(w.imageToClient(99.9, 49.9), (qcPair<long>(199, 149)));  // truncated
  EXPECT_EQ(w.imageToClient(-1e30, 1e30).x, -1000000000L);           // far points stay in range

  // The buffer's offset moves image coordinates: its pel (0, 0) is (10, 20).
  qcPelBuffer<unsigned char> img = gradient(200, 100);
  img.offset(10, 20);
  c->showImage(img, {100, 50}, 1.0);
  EXPECT_EQ(w.clientToImage(200, 150), (qcPair<double>(110, 70)));
  EXPECT_EQ(w.imageToClient(110, 70), (qcPair<long>(200, 150)));
  // The centre is kept without the offset (the buffer's own coordinates): the
  // image point at the middle of the view is center() plus the offset.
  EXPECT_EQ(c->center(), (qcPair<double>(100, 50)));
  c->center({60, 40});
  EXPECT_EQ(c->center(), (qcPair<double>(60, 40)));
  EXPECT_EQ(w.clientToImage(200, 150), (qcPair<double>(70, 60)));
  qcPair<double> p(-5, 500);
  w.clipToImage(p);
  EXPECT_EQ(p, (qcPair<double>(10, 120)));
}

TEST(ConsolePalette, TrueColourDisplayHas234GreyLevelsFromEntry11) {
  const qc_ImgPalette p;
  EXPECT_EQ(p.firstGrey(), 11);
  EXPECT_EQ(p.greyLevels(), 234);
  EXPECT_EQ(p.entry(11), (qc_ImgPalette::Entry{1, 1, 1, true}));
  EXPECT_EQ(p.entry(244), (qc_ImgPalette::Entry{255, 255, 255, true}));
  EXPECT_EQ(p.entry(245), (qc_ImgPalette::Entry{255, 255, 255, true}));  // the selection colour
  EXPECT_EQ(p.entry(10), (qc_ImgPalette::Entry{255, 128, 0, true}));    // orange
  EXPECT_EQ(p.entry(249), (qc_ImgPalette::Entry{255, 0, 0, false}));
  EXPECT_EQ(p.table()[0], 11);
  EXPECT_EQ(p.table()[255], 244);
  for (int v = 1; v < 256; ++v) EXPECT_GE(p.table()[v], p.table()[v - 1]);
}

TEST(ConsolePalette, TooFewEntriesCannotMakeAWindow) {
  EXPECT_NO_THROW(qc_ImgPalette(34));  // 32 levels
  try {
    qc_ImgPalette p(33);
    FAIL() << "31 levels accepted";
  } catch (const qcImageConsole::CantCreateWindow& e) {
    EXPECT_EQ(e.text(), "Not enough gray levels available.");
    EXPECT_EQ(e.errorNumber(), 0x10000E01u);
  }
  // More entries than the palette holds still leave the fixed top entries.
  const qc_ImgPalette big(300);
  EXPECT_EQ(big.entry(255), (qc_ImgPalette::Entry{255, 255, 255, false}));
  EXPECT_EQ(big.entry(247), (qc_ImgPalette::Entry{160, 160, 164, false}));
}

TEST(ConsolePalette, DisplayRangeSpreadsPelsOverTheRamp) {
  qc_ImgPalette p;
  p.setColorTable({}, 50, 100);
  const int first = p.firstGrey(), n = p.greyLevels();
  EXPECT_EQ(p.entry(first).r, 0);  // refilled from black
  EXPECT_EQ(p.entry(first + n - 1).r, 255);
  EXPECT_EQ(p.table()[0], first);
  EXPECT_EQ(p.table()[50], first);
  EXPECT_EQ(p.table()[75], first + static_cast<int>(25.0 / 50 * (n - 1)));
  EXPECT_EQ(p.table()[100], first + n - 1);
  EXPECT_EQ(p.table()[200], first + n - 1);
  p.setColorTable({}, 80, 80);  // a range of one value: no division by zero
  EXPECT_EQ(p.table()[80], first);
  EXPECT_EQ(p.table()[81], first + n - 1);
}

TEST(ConsolePalette, ColourMapTakesExistingColoursOrRampEntries) {
  qc_ImgPalette p;
  p.setColorTable({{255, 255, 0, 0}, {7, 1, 2, 3}, {8, 4, 5, 6}}, 0, 255);
  EXPECT_EQ(p.table()[255], 249);  // red is in the palette already
  EXPECT_EQ(p.table()[7], 11);     // new colours take the start of the ramp
  EXPECT_EQ(p.table()[8], 12);
  EXPECT_EQ(p.entry(11), (qc_ImgPalette::Entry{1, 2, 3, true}));
  EXPECT_EQ(p.firstGrey(), 13);
  EXPECT_EQ(p.greyLevels(), 232);
  EXPECT_EQ(p.table()[0], 13);
  EXPECT_EQ(p.table()[254], 13 + static_cast<int>(254.0 / 255 * 231));
  // The same colour twice takes one entry.
  p.setColorTable({{1, 9, 9, 9}, {2, 9, 9, 9}}, 0, 255);
  EXPECT_EQ(p.table()[1], p.table()[2]);
  EXPECT_EQ(p.greyLevels(), 233);
}

TEST(ConsolePalette, ColourMapLeavingFewerThanTwoGreyLevelsIsRefused) {
  qc_ImgPalette p;
  std::vector<MapPair> map;
  for (int i = 0; i < 232; ++i) map.push_back({static_cast<unsigned char>(i), static_cast<unsigned char>(i), 7, 7});
  p.setColorTable(map, 0, 255);
  EXPECT_EQ(p.greyLevels(), 2);
  const auto tableBefore = p.table();
  map.push_back({232, 232, 7, 7});
  EXPECT_THROW(p.setColorTable(map, 0, 255), qcImageConsole::BadColorMap);
  EXPECT_EQ(p.greyLevels(), 2);  // unchanged
  EXPECT_EQ(p.table(), tableBefore);

  // Through the console: the map is refused and the window keeps its table.
  std::unique_ptr<qcImageConsole> c(newConsole(64, 64));
  EXPECT_THROW(c->colorMap(map), qcImageConsole::BadColorMap);
  EXPECT_EQ(c->imgWin_().palette().greyLevels(), 234);
}

TEST(ConsoleStatus, ZoomAndCursorTexts) {
  std::unique_ptr<qcImageConsole> c(newConsole(400, 300));
  qc_ImgWin& w = c->imgWin_();
  EXPECT_EQ(w.statusText(), "");  // no image
  c->showImage(gradient(200, 100), {100, 50}, 2.0);
  EXPECT_EQ(w.statusText(), "  2x   ");
  c->zoom(32);
  EXPECT_EQ(w.statusText(), "32x   ");
  c->zoom(0.25);
  EXPECT_EQ(w.statusText(), "  1/4x   ");
  c->zoom(1);
  w.cursor(210, 160);  // image (110, 60)
  EXPECT_EQ(w.statusText(), "  1x   X:110.0  Y: 60.0 ");
  c->pelValueDisplayEnabled(1);
  EXPECT_EQ(w.statusText(), "  1x  X:110.0 Y: 60.0 Z:230");  // (110 + 120) mod 256
  w.cursor(5, 5);  // outside the image: no value
  EXPECT_EQ(w.statusText(), "  1x   X:-95.0  Y:-95.0 ");
  w.cursorLeft();
  EXPECT_EQ(w.statusText(), "  1x   ");
  // While an area is dragged: its size.
  w.selectionPress(100, 100);
  w.selectionMove(130, 110);
  EXPECT_EQ(w.statusText(), "  1x  W:  30  H:  10");
}

TEST(ConsoleShowImage, NewSizeRecentresAndFitsSameSizeKeepsTheView) {
  std::unique_ptr<qcImageConsole> c(newConsole(400, 300));
  c->showImage(gradient(320, 240), 0, 0);
  EXPECT_EQ(c->center(), (qcPair<double>(160, 120)));
  EXPECT_EQ(c->zoom(), 1.0);
  EXPECT_EQ(c->imgWin_().palette().low(), 0);  // 0, 0 is the full range
  EXPECT_EQ(c->imgWin_().palette().high(), 255);

  c->showImage(gradient(640, 480));
  EXPECT_EQ(c->center(), (qcPair<double>(320, 240)));
  EXPECT_EQ(c->zoom(), 0.5);  // fitted into 400 x 300

  c->zoom(4);
  c->center({100, 30});
  *c << gradient(640, 480);
  EXPECT_EQ(c->zoom(), 4.0);
  EXPECT_EQ(c->center(), (qcPair<double>(100, 30)));

  c->showImage(gradient(101, 51));  // odd sizes: integer halves
  EXPECT_EQ(c->center(), (qcPair<double>(50, 25)));
  EXPECT_EQ(c->zoom(), 2.0);

  c->discardImage();
  EXPECT_FALSE(c->hasImage());
  EXPECT_EQ(c->center(), (qcPair<double>(0, 0)));
  c->showImage(qcPelBuffer<unsigned char>());  // an unbound image shows nothing
  EXPECT_FALSE(c->hasImage());
}

TEST(ConsoleShowImage, ShowsACopyOfThePels) {
  std::unique_ptr<qcImageConsole> c(newConsole(100, 100));
  qcPelBuffer<unsigned char> img = gradient(100, 100);
  *c << img;
  const std::uint32_t before = c->imgWin_().canvas().pixel(50, 50);
  img.rowPointer(50)[50] = static_cast<unsigned char>(img.rowPointer(50)[50] + 100);
  c->forceRefresh();
  EXPECT_EQ(c->imgWin_().canvas().pixel(50, 50), before);
}

TEST(ConsoleLifecycle, DeferredCreationWaitsForTheFirstCall) {
  const int before = qc_ImgWin::windowCount();
  {
    qcImageConsole c("later", qcImageConsole::DeferCreate);
    EXPECT_EQ(qc_ImgWin::windowCount(), before);
    EXPECT_FALSE(c.hasImage());  // the first call creates it
    EXPECT_EQ(qc_ImgWin::windowCount(), before + 1);
    EXPECT_EQ(c.title(), "later");
  }
  EXPECT_EQ(qc_ImgWin::windowCount(), before);
  {
    qcImageConsole now("now");
    EXPECT_EQ(qc_ImgWin::windowCount(), before + 1);
  }
}

TEST(ConsoleLifecycle, ExceptionsCarryTheirNumbersAndTexts) {
  EXPECT_EQ(qcImageConsole::UserCancelled().errorNumber(), 0x10000E00u);
  EXPECT_EQ(qcImageConsole::BadColorMap().errorNumber(), 0u);
  EXPECT_EQ(qcImageConsole::UserCancelled().messageString(), "qcImageConsole::UserCancelled");
  EXPECT_EQ(qcImageConsole::CantCreateWindow().messageString(), "no further information.");
  EXPECT_EQ(qcImageConsole::CantCreateWindow("Create main window failed.").messageString(),
            "Create main window failed.");
}

TEST(ConsoleLifecycle, WithoutAVideoDeviceCreationThrows) {
  // Driver names SDL does not know make creation fail; the variable is
  // read when the video subsystem starts, so no other window may be open.
  ASSERT_EQ(qc_ImgWin::windowCount(), 0);
  ::setenv("SDL_VIDEODRIVER", "no-such-driver", 1);
  try {
    qcImageConsole c("none");
    ADD_FAILURE() << "a window without a video driver";
  } catch (const qcImageConsole::CantCreateWindow& e) {
    EXPECT_EQ(e.text(), "Create main window failed.");
  }
  ::setenv("SDL_VIDEODRIVER", "dummy", 1);
  qcImageConsole again("again");
  EXPECT_EQ(qc_ImgWin::windowCount(), 1);
}

TEST(ConsoleLifecycle, AdjustWindowRectAddsScrollBarsAndStatusLine) {
  const qcPelRect r = qcImageConsole::adjustWindowRect(qcPelRect(5, 6, 400, 300), 0);
  EXPECT_EQ(r, qcPelRect(5, 6, windowWidth(400), windowHeight(300)));
  std::unique_ptr<qcImageConsole> c(newConsole(400, 300));
  EXPECT_EQ(c->windowRect().size(), r.size());
}

}  // namespace
