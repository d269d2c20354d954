#include "console_support.h"

#include <cstdlib>

namespace {
// Every test of this program runs on SDL's dummy video driver.
const bool gDummyVideo = [] {
  ::setenv("SDL_VIDEODRIVER", "dummy", 1);
  return true;
}();

std::uint32_t idOf(const qcImageConsole& c) {
  // Under the dummy driver the frame's native handle is SDL's window id.
  return static_cast<std::uint32_t>(const_cast<qcImageConsole&>(c).getFrameWindowRep());
}
}  // namespace

namespace console_test {

qcPelBuffer<unsigned char> gradient(long w, long h) {
  qcPelBuffer<unsigned char> b(w, h);
  for (long y = 0; y < h; ++y)
    for (long x = 0; x < w; ++x) b.rowPointer(y)[x] = static_cast<unsigned char>((x + 2 * y) & 255);
  return b;
}

void pushButton(const qcImageConsole& c, bool down, int x, int y, std::uint8_t button) {
  SDL_Event e{};
  e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
  e.button.windowID = idOf(c);
  e.button.button = button;
  e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
  e.button.clicks = 1;
  e.button.x = x;
  e.button.y = y;
  SDL_PushEvent(&e);
}

void pushMotion(const qcImageConsole& c, int x, int y, bool leftHeld) {
  SDL_Event e{};
  e.type = SDL_MOUSEMOTION;
  e.motion.windowID = idOf(c);
  e.motion.state = leftHeld ? SDL_BUTTON_LMASK : 0;
  e.motion.x = x;
  e.motion.y = y;
  SDL_PushEvent(&e);
}

void pushKey(const qcImageConsole& c, SDL_Keycode key) {
  SDL_Event e{};
  e.type = SDL_KEYDOWN;
  e.key.windowID = idOf(c);
  e.key.state = SDL_PRESSED;
  e.key.keysym.sym = key;
  SDL_PushEvent(&e);
}

}  // namespace console_test
