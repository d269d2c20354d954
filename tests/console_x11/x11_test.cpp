// The console in a real X11 window (Xvfb): xdotool clicks, drags and types,
// XGetImage reads back what the window shows.
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <thread>

#include <gtest/gtest.h>

#include <SDL.h>

#include <qrn/acq/console/imgwin.h>

#include "xvfb.h"

// Last: Xlib's macros (None, Bool, ...) clash with names in other headers.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

constexpr long kSize = 200;  // the image area, in pixels
const char* const kTitle = "qrnacq x11 console test";

XvfbServer& server() {
  static XvfbServer s;
  return s;
}

qcPelBuffer<unsigned char> gradient(long w, long h) {
  qcPelBuffer<unsigned char> b(w, h);
  for (long y = 0; y < h; ++y)
    for (long x = 0; x < w; ++x) b.rowPointer(y)[x] = static_cast<unsigned char>((x + 2 * y) & 255);
  return b;
}

// Plays an xdotool script against the console's window on a thread of its
// own.  When xdotool fails or times out it queues an Escape, so that the
// interaction running on the test's thread ends instead of waiting forever.
class UserScript {
public:
  explicit UserScript(const std::string& actions) {
    const std::string cmd = std::string("xdotool search --sync --onlyvisible --name '^") + kTitle +
                            "$' windowfocus --sync " + actions;
    thread_ = std::thread([this, cmd] {
      if (runCommand(cmd, 20.0)) return;
      failed_ = true;
      SDL_Event e{};
      e.type = SDL_KEYDOWN;
      e.key.keysym.sym = SDLK_ESCAPE;
      SDL_PushEvent(&e);  // thread-safe; a key without a window goes to the waiting one
    });
  }
  ~UserScript() {
    if (thread_.joinable()) thread_.join();
  }
  // Joins the script; false when it failed.
  bool finished() {
    thread_.join();
    return !failed_;
  }

private:
  std::thread thread_;
  std::atomic<bool> failed_{false};
};

class ConsoleX11 : public ::testing::Test {
protected:
  void SetUp() override {
    XvfbServer& s = server();
    if (!s.running()) GTEST_SKIP() << "no X server for the window tests: " << s.error();
    ::setenv("DISPLAY", s.display().c_str(), 1);
    ::setenv("SDL_VIDEODRIVER", "x11", 1);
    const qcPelRect outer = qcImageConsole::adjustWindowRect(qcPelRect(0, 0, kSize, kSize), 0);
    c = std::make_unique<qcImageConsole>(kTitle, 0, 0, static_cast<int>(outer.width()),
                                         static_cast<int>(outer.height()));
    ASSERT_EQ(c->imgWin_().clientSize(), (qcPair<long>(kSize, kSize)));
    c->showImage(gradient(100, 100), {50, 50}, 2.0);  // client (u, v) is image (u / 2, v / 2)
    c->statusLine("ready");
  }
  std::unique_ptr<qcImageConsole> c;
};

TEST_F(ConsoleX11, AClickAndEnterReturnThePointUnderThePointer) {
  UserScript user("mousemove --window %1 31 47 click 1 key Return");
  const qcPair<double> p = c->selectPoint("click a point");
  ASSERT_TRUE(user.finished()) << "xdotool failed";
  EXPECT_EQ(p, (qcPair<double>(15.5, 23.5)));
  EXPECT_EQ(c->statusLine(), "ready");
}

TEST_F(ConsoleX11, ADragAndEnterReturnTheArea) {
  UserScript user(
      "mousemove --window %1 21 40 mousedown 1 mousemove --window %1 50 70 mousemove --window %1 81 101 "
      "mouseup 1 key Return");
  const qcPelRect r = c->selectArea("drag an area");
  ASSERT_TRUE(user.finished()) << "xdotool failed";
  EXPECT_EQ(r, qcPelRect(11, 20, 30, 31));
}

TEST_F(ConsoleX11, EscapeCancelsAndRestoresTheStatusLine) {
  UserScript user("mousemove --window %1 30 30 click 1 key Escape");
  EXPECT_THROW(c->selectPoint("click a point"), qcImageConsole::UserCancelled);
  ASSERT_TRUE(user.finished()) << "xdotool failed";
  EXPECT_EQ(c->statusLine(), "ready");
}

TEST_F(ConsoleX11, TheWindowShowsThePelsAndTheOverlay) {
  c->drawRect(20, 20, 30, 15, qcPen::sRed);  // client (40, 40) - (100, 70)
  c->forceOverlays();
  Display* dpy = XOpenDisplay(nullptr);
  ASSERT_NE(dpy, nullptr);
  const auto win = static_cast<Window>(c->getFrameWindowRep());
  XImage* img = XGetImage(dpy, win, 0, 0, kSize, kSize, AllPlanes, ZPixmap);
  ASSERT_NE(img, nullptr);
  const qc_ImgWin& w = c->imgWin_();
  auto shown = [&](int u, int v) { return static_cast<std::uint32_t>(XGetPixel(img, u, v)) & 0xFFFFFFu; };
  for (const auto& [u, v] : {std::pair{0, 0}, {13, 7}, {199, 199}, {150, 20}, {60, 190}}) {
    const int pel = (u / 2 + 2 * (v / 2)) & 255;
    EXPECT_EQ(shown(u, v), w.palette().color(w.palette().table()[pel])) << u << "," << v;
  }
  const std::uint32_t red = w.penColor(qcPen::sRed);
  for (const auto& [u, v] : {std::pair{40, 40}, {100, 40}, {100, 70}, {40, 70}, {70, 40}, {40, 55}})
    EXPECT_EQ(shown(u, v), red) << u << "," << v;
  EXPECT_NE(shown(70, 55), red);
  EXPECT_NE(shown(39, 40), red);
  XDestroyImage(img);
  XCloseDisplay(dpy);
}

}  // namespace
