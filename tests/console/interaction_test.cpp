// Picking and prompting, driven by SDL events pushed into the queue as the
// window would receive them from a user.
#include <memory>
#include <thread>

#include <gtest/gtest.h>

#include <qrn/foundation/misc.h>

#include "console_support.h"

using namespace console_test;

namespace {

class ConsoleInteraction : public ::testing::Test {
protected:
  void SetUp() override {
    c.reset(newConsole(200, 200));
    c->showImage(gradient(100, 100), {50, 50}, 2.0);  // client (u, v) is image (u / 2, v / 2)
    c->statusLine("ready");
  }
  void click(int u, int v) {
    pushButton(*c, true, u, v);
    pushButton(*c, false, u, v);
  }
  void drag(int u0, int v0, int u1, int v1) {
    pushButton(*c, true, u0, v0);
    pushMotion(*c, (u0 + u1) / 2, (v0 + v1) / 2, true);
    pushMotion(*c, u1, v1, true);
    pushButton(*c, false, u1, v1);
  }
  std::unique_ptr<qcImageConsole> c;
};

TEST_F(ConsoleInteraction, ClickThenEnterPicksThePointUnderTheCursor) {
  click(31, 47);
  pushKey(*c, SDLK_RETURN);
  EXPECT_EQ(c->selectPoint("pick a point", qcPen::sRed), (qcPair<double>(15.5, 23.5)));
  EXPECT_EQ(c->statusLine(), "ready");
  EXPECT_FALSE(c->imgWin_().hasSelection());  // erased afterwards
}

TEST_F(ConsoleInteraction, SelectPointWaitsForAPointNotADragOrABareEnter) {
  pushKey(*c, SDLK_RETURN);  // nothing selected yet: ignored
  drag(10, 10, 60, 60);
  pushKey(*c, SDLK_RETURN);  // an area: erased, wait again
  click(100, 20);
  pushKey(*c, SDLK_KP_ENTER);
  EXPECT_EQ(c->selectPoint(), (qcPair<double>(50, 10)));
}

TEST_F(ConsoleInteraction, DragThenEnterPicksTheAreaRoundedToWholePels) {
  drag(21, 40, 81, 101);  // image (10.5, 20) to (40.5, 50.5)
  pushKey(*c, SDLK_RETURN);
  EXPECT_EQ(c->selectArea("drag an area"), qcPelRect(11, 20, 30, 31));
  // Dragged up and to the left: the same kind of rectangle, not a negative one.
  click(5, 5);  // a point first: ignored by selectArea
  pushKey(*c, SDLK_RETURN);
  drag(80, 100, 20, 40);
  pushKey(*c, SDLK_RETURN);
  EXPECT_EQ(c->selectArea(), qcPelRect(10, 20, 30, 30));
}

TEST_F(ConsoleInteraction, EscapeOrClosingCancelsAndRestoresTheStatusLine) {
  struct Watch : qcImageConsoleCallback {
    std::string seen;
    bool keyDown(qcImageConsole& con, unsigned long) override {
      seen = con.statusLine();
      return false;
    }
  } watch;
  c->installGUICallback(&watch);
  click(10, 10);
  pushKey(*c, SDLK_ESCAPE);
  EXPECT_THROW(c->selectPoint("pick", qcPen::sRed), qcImageConsole::UserCancelled);
  EXPECT_EQ(watch.seen, "pick");  // the prompt was shown meanwhile
  EXPECT_EQ(c->statusLine(), "ready");
  EXPECT_FALSE(c->imgWin_().hasSelection());
  EXPECT_EQ(c->imgWin_().defaultSelectionColor(), qcPen::sWhite);  // the pen is back

  SDL_Event close{};
  close.type = SDL_WINDOWEVENT;
  close.window.event = SDL_WINDOWEVENT_CLOSE;
  close.window.windowID = static_cast<std::uint32_t>(c->getFrameWindowRep());
  SDL_PushEvent(&close);
  EXPECT_THROW(c->waitForUser("wait"), qcImageConsole::UserCancelled);
  EXPECT_EQ(c->statusLine(), "ready");
  EXPECT_TRUE(c->processEvents());  // cancelling did not close the window
  c->installGUICallback(nullptr);
}

TEST_F(ConsoleInteraction, NothingIsAskedOfAnEmptyOrHiddenWindow) {
  c->discardImage();
  EXPECT_THROW(c->selectPoint("pick"), qcImageConsole::UserCancelled);
  EXPECT_EQ(c->statusLine(), "ready");
  c->showImage(gradient(10, 10));
  c->hide(1);
  EXPECT_EQ(c->hide(), 1);
  EXPECT_THROW(c->selectArea("drag"), qcImageConsole::UserCancelled);
  EXPECT_THROW(c->waitForUser(), qcImageConsole::UserCancelled);
  EXPECT_EQ(c->statusLine(), "ready");
}

TEST_F(ConsoleInteraction, KeysReachTheCallbackFirst) {
  struct Eat : qcImageConsoleCallback {
    std::vector<unsigned long> keys;
    bool keyDown(qcImageConsole&, unsigned long key) override {
      keys.push_back(key);
      return key == SDLK_RETURN || key == SDLK_PLUS;  // consumed: the window never sees them
    }
  } eat;
  EXPECT_EQ(c->installGUICallback(&eat), nullptr);
  click(10, 10);
  pushKey(*c, SDLK_PLUS);
  pushKey(*c, SDLK_RETURN);
  pushKey(*c, SDLK_ESCAPE);
  EXPECT_THROW(c->selectPoint(), qcImageConsole::UserCancelled);
  EXPECT_EQ(eat.keys, (std::vector<unsigned long>{SDLK_PLUS, SDLK_RETURN, SDLK_ESCAPE}));
  EXPECT_EQ(c->zoom(), 2.0);
  EXPECT_EQ(c->installGUICallback(nullptr), &eat);
}

TEST_F(ConsoleInteraction, KeysAndWheelZoomPanAndFit) {
  pushKey(*c, SDLK_PLUS);
  c->processEvents();
  EXPECT_EQ(c->zoom(), 4.0);
  SDL_Event wheel{};
  wheel.type = SDL_MOUSEWHEEL;
  wheel.wheel.windowID = static_cast<std::uint32_t>(c->getFrameWindowRep());
  wheel.wheel.y = -1;
  SDL_PushEvent(&wheel);
  SDL_PushEvent(&wheel);
  c->processEvents();
  EXPECT_EQ(c->zoom(), 1.0);
  const qcPair<double> before = c->center();
  pushKey(*c, SDLK_RIGHT);
  c->processEvents();
  EXPECT_GT(c->center().x, before.x);
  // Panning with the right button moves the image with the pointer.
  pushButton(*c, true, 100, 100, SDL_BUTTON_RIGHT);
  pushMotion(*c, 120, 90, false);
  pushButton(*c, false, 120, 90, SDL_BUTTON_RIGHT);
  const qcPair<double> beforePan = c->center();
  c->processEvents();
  EXPECT_EQ(c->center(), (qcPair<double>(beforePan.x - 20, beforePan.y + 10)));
  pushKey(*c, SDLK_f);
  c->processEvents();
  EXPECT_EQ(c->zoom(), 1.0);  // 100 x 100 in 200 x 200: r = 2, strictly below
  EXPECT_EQ(c->center(), (qcPair<double>(50, 50)));
}

TEST_F(ConsoleInteraction, ADragIsDrawnWithTheSelectionPen) {
  c->defaultSelectionColor(qcPen::sOrange);
  pushButton(*c, true, 20, 20);
  pushMotion(*c, 60, 80, true);
  c->processEvents();
  qc_ImgWin& w = c->imgWin_();
  EXPECT_TRUE(w.selectionInProgress());
  EXPECT_EQ(w.canvas().pixel(20, 50), w.penColor(qcPen::sOrange));
  EXPECT_EQ(w.canvas().pixel(60, 80), w.penColor(qcPen::sOrange));
  pushButton(*c, false, 60, 80);
  c->processEvents();
  EXPECT_TRUE(w.selectionIsRect());
  // With default selections off the mouse picks nothing.
  c->defaultSelectionsEnabled(0);
  w.clearSelection();
  click(30, 30);
  c->processEvents();
  EXPECT_FALSE(w.hasSelection());
}

TEST_F(ConsoleInteraction, ClosingNeedsThePermission) {
  SDL_Event close{};
  close.type = SDL_WINDOWEVENT;
  close.window.event = SDL_WINDOWEVENT_CLOSE;
  close.window.windowID = static_cast<std::uint32_t>(c->getFrameWindowRep());
  SDL_PushEvent(&close);
  EXPECT_TRUE(c->processEvents());  // Close not enabled
  qcImageConsole open("closable", qcImageConsole::EnableClose);
  close.window.windowID = static_cast<std::uint32_t>(open.getFrameWindowRep());
  SDL_PushEvent(&close);
  EXPECT_FALSE(open.processEvents());
  EXPECT_EQ(open.hide(), 1);
}

TEST_F(ConsoleInteraction, CallsFromAnotherThreadAreFlagged) {
  const unsigned long before = qf_assertCount();
  std::thread([&] { (void)c->statusLine(); }).join();
  EXPECT_EQ(qf_assertCount(), before + 1);
  (void)c->statusLine();
  EXPECT_EQ(qf_assertCount(), before + 1);
}

}  // namespace
