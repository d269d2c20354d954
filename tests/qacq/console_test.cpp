// qacq live and show: image files read back, images of every kind turned into
// what the console shows, and live runs on the simulated board (SDL's dummy
// video driver: windows without a screen).
#include <array>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include <qrn/acq/console/imgwin.h>
#include <qrn/acq/format/vidfmt.h>

#include "qacq.h"
#include "qacq_run.h"
#include "qacq_support.h"
#include "view.h"

using qacq_test::TempDir;

namespace {

class QacqConsole : public ::testing::Test {
protected:
  void SetUp() override { ::setenv("SDL_VIDEODRIVER", "dummy", 1); }
};

unsigned char v8(long x, long y, int c = 0) { return static_cast<unsigned char>(x * 31 + y * 17 + c * 85); }

TEST_F(QacqConsole, ImageFilesReadBackAsWritten) {
  TempDir dir;
  qcPelBuffer<unsigned char> grey(7, 5);
  qcPelBuffer<qcPackedRGB32Pel> rgb(7, 5);
  qcPelBuffer<unsigned short> deep(7, 5);
  for (long y = 0; y < 5; ++y)
    for (long x = 0; x < 7; ++x) {
      grey.rowPointer(y)[x] = v8(x, y);
      rgb.rowPointer(y)[x] = qcPackedRGB32Pel(v8(x, y, 0), v8(x, y, 1), v8(x, y, 2));
      deep.rowPointer(y)[x] = static_cast<unsigned short>(v8(x, y) * 257);
    }
  struct Case {
    const char* name;
    qcAcqImage image;
    qacq::FileKind kind;
  };
  const Case cases[] = {{"grey-png", qcAcqImage(grey), qacq::FileKind::png},
                        {"grey-pgm", qcAcqImage(grey), qacq::FileKind::pnm},
                        {"rgb-png", qcAcqImage(rgb), qacq::FileKind::png},
                        {"rgb-ppm", qcAcqImage(rgb), qacq::FileKind::pnm},
                        {"deep-png", qcAcqImage(deep), qacq::FileKind::png},
                        {"deep-pgm", qcAcqImage(deep), qacq::FileKind::pnm}};
  for (const Case& k : cases) {
    const std::string path = qacq::writeImage(k.image, dir / k.name, k.kind);
    const qcPtrHandle<qcAcqImage> back = qacq::readImage(path);
    const bool colour = k.image.holds<qcPelBuffer<qcPackedRGB32Pel>>();
    ASSERT_EQ(back->holds<qcPelBuffer<qcPackedRGB32Pel>>(), colour) << k.name;
    ASSERT_EQ(back->buffer()->size(), (qcPair<long>(7, 5))) << k.name;
    for (long y = 0; y < 5; ++y)
      for (long x = 0; x < 7; ++x) {
        if (colour) {
          const qcPackedRGB32Pel a = back->rgb32().rowPointer(y)[x], b = rgb.rowPointer(y)[x];
          EXPECT_EQ((std::array{a.r(), a.g(), a.b()}), (std::array{b.r(), b.g(), b.b()})) << k.name;
        }
        else EXPECT_EQ(back->grey8().rowPointer(y)[x], v8(x, y)) << k.name << " " << x << "," << y;
      }
  }
}

TEST_F(QacqConsole, UnreadableFilesAreErrorsNamingTheFile) {
  TempDir dir;
  auto write = [&](const std::string& name, const std::string& bytes) {
    std::ofstream(dir / name, std::ios::binary) << bytes;
    return dir / name;
  };
  // A header is believed only as far as the file holds its pels: nothing
  // is allocated for a size the file cannot have.
  const std::pair<std::string, std::string> cases[] = {
      {dir / "missing.png", "cannot open"},
      {write("text.png", "hello"), "not a PNG"},
      {write("short.pgm", "P5\n4 4\n255\n" + std::string(10, 'x')), "holds 10 bytes of pels, not 16"},
      {write("short16.ppm", "P6\n2 1\n65535\n" + std::string(11, 'x')), "holds 11 bytes of pels, not 12"},
      {write("header.ppm", "P6\n16384 16384\n255\n"), "holds 0 bytes of pels, not 805306368"},
      {write("huge.pgm", "P5\n100000 100000\n255\n"), "bad size"},
      {write("badmax.pgm", "P5\n2 2\n70000\n"), "bad maxval"},
      {write("badpng.png", "\x89PNG\r\n\x1a\n garbage"), "cannot read"},
  };
  for (const auto& [path, why] : cases) {
    try {
      qacq::readImage(path);
      ADD_FAILURE() << path << " was read";
    } catch (const qacq::Error& e) {
      EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find(why), std::string::npos) << e.what();
    }
  }
}

TEST_F(QacqConsole, EveryImageKindIsShown) {
  qcImageConsole console("view", 0, 0, 100, 100);
  const qc_ImgWin& w = console.imgWin_();
  qacq::ImageView view;
  auto centre = [&] {
    const qcPair<long> p = w.imageToClient(2.5, 2.5);  // pel (2, 2)
    return w.canvas().pixel(p.x, p.y);
  };
  auto greyShown = [&](unsigned char v) { return w.palette().color(w.palette().table()[v]); };

  // 16-bit grey is shown by its top 8 significant bits.
  const struct {
    qeImageFormat format;
    unsigned short pel;
  } greys[] = {{qeImageFormat_Grey10, 0x2AF}, {qeImageFormat_Grey12, 0xABC}, {qeImageFormat_Grey14, 0x2AC5},
               {qeImageFormat_Grey16, 0xAB12}};
  for (const auto& g : greys) {
    qcPelBuffer<unsigned short> grey(4, 4);
    grey.rowPointer(2)[2] = g.pel;
    ASSERT_TRUE(view.show(console, qcAcqImage(grey, g.format), qacq::BayerPattern::RGGB));
    EXPECT_EQ(centre(), greyShown(0xAB)) << "format " << g.format;
  }

  qcPelBuffer<qcPackedRGB16Pel> p16(4, 4);
  p16.rowPointer(2)[2] = qcPackedRGB16Pel(255, 0, 255);
  ASSERT_TRUE(view.show(console, qcAcqImage(p16), qacq::BayerPattern::RGGB));
  EXPECT_EQ(centre(), qc_Canvas::rgb(255, 0, 255));

  qc3PlanePelBuffer planes(4, 4);
  planes.set(2, 2, qc3PlanePel(10, 20, 30));
  ASSERT_TRUE(view.show(console, qcAcqImage(planes), qacq::BayerPattern::RGGB));
  EXPECT_EQ(centre(), qc_Canvas::rgb(10, 20, 30));

  // A mosaic lit only at (even, even), the green sites of the rows that
  // start with green in GRBG, comes out green.
  qcPelBuffer<unsigned char> raw(8, 8);
  for (long y = 0; y < 8; y += 2)
    for (long x = 0; x < 8; x += 2) raw.rowPointer(y)[x] = 200;
  ASSERT_TRUE(view.show(console, qcAcqImage(raw, qeImageFormat_Raw8), qacq::BayerPattern::GRBG));
  const std::uint32_t c = centre();
  EXPECT_EQ(c & 0xFF00FFu, 0u) << std::hex << c;  // no red, no blue
  EXPECT_GT((c >> 8) & 0xFFu, 0u) << std::hex << c;

  EXPECT_FALSE(view.show(console, qcAcqImage(), qacq::BayerPattern::RGGB));
}


TEST_F(QacqConsole, LiveShowsFramesOfEveryKindAndCountsFailures) {
  for (const char* kind : {"grey8", "grey16", "rgb16", "rgb32", "3plane", "raw8"}) {
    const qacq_test::Outcome r = qacq_test::qacqRun({"live", "-n", "6", "-i", kind, "--overlay", "--custom", "FramePeriod=0.002"});
    EXPECT_EQ(r.code, 0) << kind << ": " << r.err;
    EXPECT_NE(r.out.find("6 frames"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("0 failed"), std::string::npos) << r.out;
  }
  const qacq_test::Outcome f = qacq_test::qacqRun({"live", "-n", "4", "--custom", "Inject=timeout", "--custom", "FramePeriod=0.002"});
  EXPECT_EQ(f.code, qacq::exitFramesFailed) << f.err;
  EXPECT_NE(f.out.find("1 failed"), std::string::npos) << f.out;
}

// The keys of show and live: each does its job, the key help lists them,
// and the arrows stay with the console, which pans with them.  A viewer asks
// for no selection, so a stray drag leaves nothing on the image.
TEST_F(QacqConsole, ViewerKeysStepSaveAndQuitAndLeaveTheArrowsToPanning) {
  using A = qacq::ViewerAction;
  using K = qcImageConsoleCallback;
  struct Case {
    const char* viewer;
    unsigned long key;
    A action;  // none: not the viewer's key
  };
  const Case cases[] = {
      {"show", ' ', A::next},           {"show", 'n', A::next},          {"show", K::keyPageDown, A::next},
      {"show", K::keyBackspace, A::previous}, {"show", 'p', A::previous}, {"show", K::keyPageUp, A::previous},
      {"show", 'q', A::quit},           {"show", K::keyArrowLeft, A::none}, {"show", K::keyArrowRight, A::none},
      {"show", K::keyArrowUp, A::none}, {"show", 's', A::none},          {"live", 's', A::save},
      {"live", 'q', A::quit},           {"live", K::keyArrowRight, A::none}, {"live", ' ', A::none},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.viewer) + " key " + std::to_string(c.key));
    qcImageConsole console("keys", qcImageConsole::EnableClose);
    qcPelBuffer<unsigned char> img(640, 480);
    console.showImage(img, {320, 240}, 1.0);
    qacq::ViewerKeys keys(std::string(c.viewer) == "show" ? qacq::showKeys() : qacq::liveKeys());
    keys.attach(console);
    qc_ImgWin& w = console.imgWin_();
    ASSERT_EQ(w.callback(), &keys);
    EXPECT_EQ(w.keyHelp().size(), keys.bindings().size());
    const bool consumed = keys.keyDown(console, c.key);
    EXPECT_EQ(consumed, c.action != A::none);
    for (A a : {A::next, A::previous, A::save, A::quit}) EXPECT_EQ(keys.take(a), a == c.action);
    EXPECT_FALSE(keys.take(c.action));  // taken once
    if (c.key >= K::keyArrowRight && c.key <= K::keyArrowUp) {
      const qcPair<double> before = console.center();
      EXPECT_TRUE(w.key(c.key));
      EXPECT_NE(console.center(), before);
    }
    w.selectionPress(100, 100);
    w.selectionMove(200, 150);
    w.selectionRelease(200, 150);
    EXPECT_FALSE(w.hasSelection());
  }
}

TEST_F(QacqConsole, LiveAndShowArgumentErrors) {
  EXPECT_EQ(qacq_test::qacqRun({"live", "--bayer", "RGBG"}).code, qacq::exitUsage);
  EXPECT_EQ(qacq_test::qacqRun({"live", "-n", "-1"}).code, qacq::exitUsage);
  EXPECT_EQ(qacq_test::qacqRun({"show"}).code, qacq::exitUsage);
  const qacq_test::Outcome r = qacq_test::qacqRun({"show", "/no/such/file.png"});
  EXPECT_EQ(r.code, qacq::exitError);
  EXPECT_NE(r.err.find("/no/such/file.png"), std::string::npos) << r.err;
}

}  // namespace
