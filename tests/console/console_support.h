// Shared pieces of the headless console tests.
#pragma once

#include <cstdint>

#include <SDL.h>

#include <qrn/acq/console/imgwin.h>

namespace console_test {

// Window sizes that give an image area of exactly w x h pixels.
inline long windowWidth(long w) { return w + qc_ImgWin::scrollBarWidth; }
inline long windowHeight(long h) {
  return h + qc_ImgWin::scrollBarWidth + qc_ImgWin::statusHeight(qc_ImgWin::defaultFontHeight);
}

// A console whose image area is w x h, at the top-left of the screen.
inline qcImageConsole* newConsole(long w, long h, int flags = 0) {
  return new qcImageConsole("test", 0, 0, static_cast<int>(windowWidth(w)), static_cast<int>(windowHeight(h)), flags);
}

// A w x h image with pel (x, y) = (x + 2 y) mod 256.
qcPelBuffer<unsigned char> gradient(long w, long h);

// Input as the window would get it from SDL.
void pushButton(const qcImageConsole& c, bool down, int x, int y, std::uint8_t button = SDL_BUTTON_LEFT);
void pushMotion(const qcImageConsole& c, int x, int y, bool leftHeld);
void pushKey(const qcImageConsole& c, SDL_Keycode key);

}  // namespace console_test
