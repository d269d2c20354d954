// The SDL2 side of the image window: creating the window, showing the
// canvas, and the event loop that turns SDL events into the window's actions.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <map>

#include <SDL.h>

#include <qrn/foundation/misc.h>

#include "imgwin_native.h"

// Last: it brings the X11 headers and their macros (None, Bool, ...).
#include <SDL_syswm.h>

namespace {

// Every window of the process, by SDL window id.  All of them belong to the
// thread that created the first (SDL's video is single-threaded).
struct Windows {
  std::map<std::uint32_t, qc_ImgWinNative*> byId;
  qcThreadID owner;
};
Windows& windows() {
  static Windows w;
  return w;
}

[[noreturn]] void cantCreate(const char* what) {
  std::fprintf(stderr, "qrnacq console: %s (SDL: %s)\n", what, SDL_GetError());
  throw qcImageConsole::CantCreateWindow(what);
}

int sdlPos(long v) { return v == qcImageConsole::NoValue ? static_cast<int>(SDL_WINDOWPOS_UNDEFINED) : static_cast<int>(v); }

// The id of the window an event belongs to (0 for events of none).
std::uint32_t windowOf(const SDL_Event& e) {
  switch (e.type) {
    case SDL_WINDOWEVENT: return e.window.windowID;
    case SDL_KEYDOWN:
    case SDL_KEYUP: return e.key.windowID;
    case SDL_MOUSEMOTION: return e.motion.windowID;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: return e.button.windowID;
    case SDL_MOUSEWHEEL: return e.wheel.windowID;
    default: return 0;
  }
}

}  // namespace

qc_ImgWinNative::qc_ImgWinNative(qc_ImgWin& win, const std::string& title, long width, long height, long x, long y)
    : win_(win) {
  Windows& all = windows();
  qstd_assert(all.byId.empty() || all.owner == qfGetCurrentThreadID());
  // The application keeps its own signal handling; the first click into a
  // window that is not focused is a click, not only a focus change.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
  SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) cantCreate("Create main window failed.");
  sdl_ = SDL_CreateWindow(title.c_str(), sdlPos(x), sdlPos(y), static_cast<int>(std::max(64L, width)),
                          static_cast<int>(std::max(64L, height)), SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE);
  if (!sdl_) {
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    cantCreate("Create main window failed.");
  }
  id_ = SDL_GetWindowID(sdl_);
  if (all.byId.empty()) all.owner = qfGetCurrentThreadID();
  all.byId[id_] = this;
}

qc_ImgWinNative::~qc_ImgWinNative() {
  windows().byId.erase(id_);
  SDL_DestroyWindow(sdl_);
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

void qc_ImgWinNative::show(int flags) {
  SDL_ShowWindow(sdl_);
  const int minMax = flags & (qcImageConsole::Minimize | qcImageConsole::Maximize);
  if (minMax == qcImageConsole::Minimize) SDL_MinimizeWindow(sdl_);
  else if (minMax == qcImageConsole::Maximize) SDL_MaximizeWindow(sdl_);
  else if (SDL_GetWindowFlags(sdl_) & SDL_WINDOW_MINIMIZED) SDL_RestoreWindow(sdl_);
}

qcPair<long> qc_ImgWinNative::size() const {
  int w = 0, h = 0;
  SDL_GetWindowSize(sdl_, &w, &h);
  return {w, h};
}

void qc_ImgWinNative::present(const qc_Canvas& canvas) {
  SDL_Surface* dst = SDL_GetWindowSurface(sdl_);
  if (!dst) return;
  const int w = std::min(canvas.width(), dst->w), h = std::min(canvas.height(), dst->h);
  if (w <= 0 || h <= 0) return;
  SDL_LockSurface(dst);
  if (dst->format->BytesPerPixel == 4 && dst->format->Rmask == 0xFF0000u && dst->format->Gmask == 0xFF00u &&
      dst->format->Bmask == 0xFFu) {
    for (int y = 0; y < h; ++y)
      std::memcpy(static_cast<unsigned char*>(dst->pixels) + static_cast<std::ptrdiff_t>(y) * dst->pitch, canvas.row(y),
                  static_cast<std::size_t>(w) * 4);
    SDL_UnlockSurface(dst);
  } else {
    SDL_UnlockSurface(dst);
    SDL_Surface* src = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<std::uint32_t*>(canvas.row(0)), canvas.width(),
                                                          canvas.height(), 32, canvas.width() * 4,
                                                          SDL_PIXELFORMAT_RGB888);
    if (src) {
      SDL_BlitSurface(src, nullptr, dst, nullptr);
      SDL_FreeSurface(src);
    }
  }
  SDL_UpdateWindowSurface(sdl_);
}

void qc_ImgWinNative::title(const std::string& t) { SDL_SetWindowTitle(sdl_, t.c_str()); }

qcPelRect qc_ImgWinNative::rect() const {
  int x = 0, y = 0, w = 0, h = 0;
  SDL_GetWindowPosition(sdl_, &x, &y);
  SDL_GetWindowSize(sdl_, &w, &h);
  return qcPelRect(x, y, w, h);
}

void qc_ImgWinNative::rect(const qcPelRect& r) {
  SDL_SetWindowPosition(sdl_, static_cast<int>(r.x()), static_cast<int>(r.y()));
  SDL_SetWindowSize(sdl_, static_cast<int>(std::max(64L, r.width())), static_cast<int>(std::max(64L, r.height())));
  const qcPair<long> s = size();
  win_.resized(static_cast<int>(s.x), static_cast<int>(s.y));
  win_.paint();
}

bool qc_ImgWinNative::minimized() const { return (SDL_GetWindowFlags(sdl_) & SDL_WINDOW_MINIMIZED) != 0; }
void qc_ImgWinNative::minimize(bool on) { on ? SDL_MinimizeWindow(sdl_) : SDL_RestoreWindow(sdl_); }
bool qc_ImgWinNative::maximized() const { return (SDL_GetWindowFlags(sdl_) & SDL_WINDOW_MAXIMIZED) != 0; }
void qc_ImgWinNative::maximize(bool on) { on ? SDL_MaximizeWindow(sdl_) : SDL_RestoreWindow(sdl_); }
bool qc_ImgWinNative::hidden() const { return (SDL_GetWindowFlags(sdl_) & SDL_WINDOW_HIDDEN) != 0; }
void qc_ImgWinNative::hide(bool on) { on ? SDL_HideWindow(sdl_) : SDL_ShowWindow(sdl_); }
void qc_ImgWinNative::raise() { SDL_RaiseWindow(sdl_); }

unsigned long qc_ImgWinNative::nativeHandle() const {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (SDL_GetWindowWMInfo(sdl_, &info) && info.subsystem == SDL_SYSWM_X11)
    return static_cast<unsigned long>(info.info.x11.window);
  return id_;
}

// ---- events -----------------------------------------------------------------------

void qc_ImgWinNative::pump(double seconds) {
  SDL_Event e;
  bool got = seconds > 0 ? SDL_WaitEventTimeout(&e, static_cast<int>(seconds * 1000)) != 0 : SDL_PollEvent(&e) != 0;
  while (got) {
    dispatch(e);
    got = SDL_PollEvent(&e) != 0;
  }
  for (auto& [id, w] : windows().byId)
    if (!w->win_.dirty().isEmpty()) w->win_.paint();
}

void qc_ImgWinNative::dispatch(const SDL_Event& e) {
  const auto& all = windows().byId;
  auto it = all.find(windowOf(e));
  // Keys that arrive before SDL has seen a focus change carry no window:
  // they go to the window waiting for the user, or to the only window.
  if (it == all.end() && (e.type == SDL_KEYDOWN || e.type == SDL_KEYUP) && e.key.windowID == 0) {
    it = std::find_if(all.begin(), all.end(), [](const auto& p) { return p.second->win_.isWaiting(); });
    if (it == all.end() && all.size() == 1) it = all.begin();
  }
  if (it == all.end()) return;
  try {
    it->second->handle(e);
  } catch (const std::exception& ex) {
    std::fprintf(stderr, "image window proc threw exception: %s\n", ex.what());
  }
}

void qc_ImgWinNative::handle(const SDL_Event& e) {
  qc_ImgWin& w = win_;
  const qcPair<long> client = w.clientSize();
  const auto inImage = [&](long u, long v) { return u >= 0 && v >= 0 && u < client.x && v < client.y; };
  switch (e.type) {
    case SDL_WINDOWEVENT:
      switch (e.window.event) {
        case SDL_WINDOWEVENT_SIZE_CHANGED: w.resized(e.window.data1, e.window.data2); break;
        case SDL_WINDOWEVENT_EXPOSED: w.invalidate(); break;
        case SDL_WINDOWEVENT_LEAVE:
          w.cursorLeft();
          w.invalidate();
          break;
        case SDL_WINDOWEVENT_CLOSE:
          if (w.isWaiting()) {
            w.cancel();
          } else if (w.closeEnabled()) {
            hide(true);
            w.closed_ = true;
          }
          break;
        default: break;
      }
      break;
    case SDL_KEYDOWN: {
      const auto key = static_cast<unsigned long>(e.key.keysym.sym);
      qcImageConsoleCallback* cb = w.callback();
      if (cb && w.console() && cb->keyDown(*w.console(), key)) break;
      w.key(key);
      break;
    }
    case SDL_MOUSEMOTION: {
      const long u = e.motion.x, v = e.motion.y;
      w.cursor(u, v);
      if (scrollDrag_) w.scrollTo_(scrollDrag_ == 1, scrollDrag_ == 1 ? u : v);
      else if (panning_ && w.hasImage()) {
        const double z = w.zoom();
        w.center_ = {w.center_.x - (u - panU_) / z, w.center_.y - (v - panV_) / z};
        panU_ = u;
        panV_ = v;
      } else if (e.motion.state & SDL_BUTTON_LMASK) {
        w.selectionMove(u, v);
      }
      w.invalidate();
      break;
    }
    case SDL_MOUSEBUTTONDOWN: {
      const long u = e.button.x, v = e.button.y;
      if (e.button.button == SDL_BUTTON_LEFT) {
        if (inImage(u, v)) w.selectionPress(u, v);
        else if (v >= client.y && v < client.y + qc_ImgWin::scrollBarWidth && u < client.x) scrollDrag_ = 1;
        else if (u >= client.x && u < client.x + qc_ImgWin::scrollBarWidth && v < client.y) scrollDrag_ = 2;
        if (scrollDrag_) w.scrollTo_(scrollDrag_ == 1, scrollDrag_ == 1 ? u : v);
      } else if (e.button.button == SDL_BUTTON_RIGHT && inImage(u, v)) {
        panning_ = true;
        panU_ = u;
        panV_ = v;
      }
      break;
    }
    case SDL_MOUSEBUTTONUP:
      if (e.button.button == SDL_BUTTON_LEFT) {
        if (scrollDrag_) scrollDrag_ = 0;
        else w.selectionRelease(e.button.x, e.button.y);
      } else if (e.button.button == SDL_BUTTON_RIGHT) {
        panning_ = false;
      }
      break;
    case SDL_MOUSEWHEEL:
      if (e.wheel.y != 0 && w.hasImage()) w.zoom(e.wheel.y > 0 ? w.zoom() * 2 : w.zoom() / 2);
      break;
    default: break;
  }
}
