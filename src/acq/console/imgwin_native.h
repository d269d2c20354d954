// The SDL side of the image window: one SDL window, its surface, and the
// event loop shared by every window of the process.
#pragma once

#include <cstdint>
#include <string>

#include <qrn/acq/console/imgwin.h>

struct SDL_Window;
union SDL_Event;

class qc_ImgWinNative {
public:
  // Creates the SDL window (hidden until show()).  width/height of the whole
  // window, x/y its position; qcImageConsole::NoValue lets SDL choose.
  // Throws qcImageConsole::CantCreateWindow.
  qc_ImgWinNative(qc_ImgWin& win, const std::string& title, long width, long height, long x, long y);
  ~qc_ImgWinNative();
  qc_ImgWinNative(const qc_ImgWinNative&) = delete;
  qc_ImgWinNative& operator=(const qc_ImgWinNative&) = delete;

  // Shows the window as the console flags say (minimized, maximized).
  void show(int flags);
  // Copies the canvas to the window and updates it on the screen.
  void present(const qc_Canvas& canvas);
  // The size of the window's drawable area.
  qcPair<long> size() const;

  void title(const std::string& t);
  qcPelRect rect() const;
  void rect(const qcPelRect& r);
  bool minimized() const;
  void minimize(bool on);
  bool maximized() const;
  void maximize(bool on);
  bool hidden() const;
  void hide(bool on);
  void raise();
  unsigned long nativeHandle() const;

  // Handles the events of every window of the process: waits up to
  // `seconds` for the first (0: only those pending), then repaints the
  // windows that need it.
  static void pump(double seconds);

private:
  static void dispatch(const SDL_Event& e);
  void handle(const SDL_Event& e);

  qc_ImgWin& win_;
  SDL_Window* sdl_ = nullptr;
  std::uint32_t id_ = 0;
  int scrollDrag_ = 0;  // 0 none, 1 horizontal bar, 2 vertical bar
  bool panning_ = false;
  long panU_ = 0, panV_ = 0;
};
