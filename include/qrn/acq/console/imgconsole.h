// The image console: a desktop window that shows one image with graphic
// overlays, a status line, zoom and scroll controls, and that asks the user to
// pick a point or an area or to acknowledge a prompt.
//
// qcImageConsole is the application's handle.  It owns the window object
// (qc_ImgWin, <qrn/acq/console/imgwin.h>), creates it in the constructor (or
// at the first other call with the flag DeferCreate), and forwards every call
// to it.  The window is an SDL2 window drawn in software; text uses the
// DejaVu fonts through SDL2_ttf.  Without a display (no DISPLAY, or SDL's
// video driver cannot start) creation throws CantCreateWindow.  SDL's
// "dummy" or "offscreen" video driver (environment SDL_VIDEODRIVER) gives a
// window without a screen, which is enough for everything but a user.
//
// Threads.  A console, and every console of the process, is driven from the
// thread that created the first window of the process: SDL's video and event
// handling are not thread-safe.  Calls from another thread fire a debug
// assertion (qstd_assert) and are carried out anyway, with undefined results.
// The interactive calls (selectPoint, selectArea, waitForUser) run the
// window's event loop on that thread until the user answers; other calls
// only process events when they say so.  Events of the window (repaints,
// resizing, scrolling) are handled while an interactive call runs, during
// processEvents(), and by showImage, forceRefresh and forceOverlays.
//
// Coordinates.  Overlays and selections are in image coordinates: pel (i, j)
// of the shown buffer covers [i, i + 1) x [j, j + 1), moved by the buffer's
// offset().  The view's centre (center(), showImage's centre) is in the
// buffer's own coordinates, without the offset: the image point at the
// middle of the view is center() + offset().
//
// Keys and mouse in the window (the callback's keyDown sees every key first
// and consumes it by returning true):
//   left click / drag   pick a point / an area (while selections are enabled)
//   Enter               acknowledge the prompt
//   Escape, closing     cancel the prompt (UserCancelled)
//   + / - , wheel       zoom in / out by a power of two
//   arrow keys, right-button drag, scroll bars   pan
//   f, Home             fit: show the whole image
//   h, F1               show or hide the key help (keyHelp adds the
//                       application's keys to it)
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <qrn/foundation/exception.h>
#include <qrn/foundation/geometry.h>
#include <qrn/foundation/pelbuffer.h>

class qc_ImgWin;
class qcImageConsole;

// The overlay colours: one of 14 fixed pens.  color() is the pen's index
// (0 to 13), which is also what the window's pen table is indexed by.
class qcPen {
public:
  // The pens, indexes 0 to 13 in this order (sDkGreen is (0, 128, 0),
  // sPurple (255, 0, 255) and sMagenta (128, 0, 0)), and `count`, their
  // number.  These are the only pens: qcPen has no public constructor, only
  // copies of these.
  static const qcPen sBlack, sWhite, sDkGray, sGray, sLtGray, sRed, sOrange, sYellow, sDkGreen, sGreen, sCyan,
      sBlue, sPurple, sMagenta;
  static constexpr int count = 14;

  // The pen's index, 0 to count - 1.
  constexpr int color() const { return color_; }
  // Same pen (same index).
  friend constexpr bool operator==(qcPen a, qcPen b) { return a.color_ == b.color_; }

private:
  constexpr explicit qcPen(int c) : color_(c) {}
  int color_;
};

// One colour-map entry: the pels of value `pel` are shown in (r, g, b).
struct MapPair {
  // The pel value `pel` and its colour (r, g, b), each 0..255; the default
  // entry shows pel 0 black, the other constructor takes the four values.
  unsigned char pel = 0, r = 0, g = 0, b = 0;
  constexpr MapPair() = default;
  constexpr MapPair(unsigned char pel_, unsigned char r_, unsigned char g_, unsigned char b_)
      : pel(pel_), r(r_), g(g_), b(b_) {}
};

// Lets the application react to window events.  Called on the console's
// thread, from within the console's event handling.
class qcImageConsoleCallback {
public:
  // Key codes of keys without a character (SDL's values).
  enum Key : unsigned long {
    keyReturn = '\r', keyEscape = 27, keyBackspace = '\b',
    keyArrowRight = 0x4000004F, keyArrowLeft = 0x40000050, keyArrowDown = 0x40000051, keyArrowUp = 0x40000052,
    keyPageUp = 0x4000004B, keyPageDown = 0x4000004E,
  };
  virtual ~qcImageConsoleCallback() = default;
  // A key went down in the window; `key` is SDL's key code (SDL_Keycode:
  // 'a'..'z', '0'..'9', SDLK_RETURN, SDLK_ESCAPE, SDLK_LEFT, ...).  Return
  // true to consume it (the console then ignores it).
  virtual bool keyDown(qcImageConsole& console, unsigned long key);
};

// The application's handle on an image console window (see the file's notes for threads and
// coordinates).
class qcImageConsole {
public:
  // The user cancelled a selection or prompt, or one was asked for while the
  // window is hidden or shows no image.
  QC_EXCEPTION(UserCancelled, qcException, 0x10000E00);
  // The window cannot be created; the text says why ("no further
  // information." when there is none).
  class CantCreateWindow : public qcExceptionT<CantCreateWindow, qcExceptionWithString, 0x10000E01> {
  public:
    // The exception with the text "no further information.", or with `text`
    // (copied; null or empty gives the same default).
    CantCreateWindow() : qcExceptionT("no further information.") {}
    explicit CantCreateWindow(const char* text) : qcExceptionT(text && *text ? text : "no further information.") {}
  };
  // A colour map needs more palette entries than are free.
  QC_EXCEPTION(BadColorMap, qcException, 0);

  // Construction flags (bits of `flags`).
  enum Flags : int {
    Minimize = 1,            // show the window minimized
    Maximize = 2,            // show it maximized (with Minimize: normally)
    DeferCreate = 16,        // create the window at the first other call
    EnableClose = 32,        // the user may close the window
    NoPendingMessages = 64,  // do not process the events pending after creation
  };
  // Overlay calls draw in mode Draw and erase a matching item in any other:
  // the first item of the same kind, pen and coordinates (text: whatever it
  // says).
  enum DrawingMode : int { Draw = 1, Erase = 2 };

  // A position or size of NoValue lets the window choose.
  static constexpr long NoValue = -32768;

  // A console with a window of that title, at x, y and of width x height
  // screen pixels (the whole window; NoValue, or the first form, lets the
  // window choose: an image area of 640 x 480), with the Flags in
  // `flags`.  The window is created now unless DeferCreate is given, on the
  // calling thread, which it then belongs to.  Throw CantCreateWindow when
  // it cannot be created (at once unless DeferCreate is given).
  explicit qcImageConsole(const std::string& title, int flags = 0);
  qcImageConsole(const std::string& title, int x, int y, int width, int height, int flags = 0);
  // Releases the window, then closes it.
  ~qcImageConsole();

  // Not copyable: a console owns its one window.
  qcImageConsole(const qcImageConsole&) = delete;
  qcImageConsole& operator=(const qcImageConsole&) = delete;

  // Lets go of the window: the user may now close it; every later call but
  // destruction is a programming error.
  void release();
  // The outer window rectangle for a wanted image-area rectangle: the image
  // area plus the scroll bars and the status line.
  static qcPelRect adjustWindowRect(const qcPelRect& client, int flags);

  // ---- image -----------------------------------------------------------------
  // showImage(image, 0, 255).
  qcImageConsole& operator<<(const qcPelBuffer_const<unsigned char>& image);
  // Shows a copy of `image` with pels from low to high spread over the grey
  // ramp (0 and 0 mean 0 and 255; high below low is a programming error and
  // is taken as 0 to 255).  An image of the size already shown replaces it
  // keeping zoom and centre; any other is centred at zoom 1, then fitted
  // (viewEntire).  The window is repainted at once.
  void showImage(const qcPelBuffer_const<unsigned char>& image, unsigned char low = 0, unsigned char high = 0);
  // Shows it with that centre (the buffer's coordinates, without its offset:
  // see Coordinates above) and zoom (snapped as zoom(z)).
  void showImage(const qcPelBuffer_const<unsigned char>& image, qcPair<double> center, double zoom,
                 unsigned char low = 0, unsigned char high = 0);
  // A colour image, shown as is (colour map and range apply to grey images
  // only); same replace rules as the grey form.
  void showImage(const qcPelBuffer_const<qcPackedRGB32Pel>& image);

  // Removes the image (and the selection) and repaints the empty window;
  // the overlays stay.
  void discardImage();
  // True while an image is shown.
  bool hasImage();
  // Repaints the window now.
  void forceRefresh();
  // Repaints the overlays (the whole image area) now.
  void forceOverlays();
  // Fits the whole image into the window (the largest power-of-two zoom at
  // which it fits, centred).
  void viewEntire();
  // Colours for particular pel values of grey images.  Throws BadColorMap
  // when the map would leave fewer than 2 grey levels (the map is not taken
  // then).
  void colorMap(const std::vector<MapPair>& map);

  // ---- overlays (image coordinates) ---------------------------------------
  // Overlay items over the image in the pen's colour, kept until cleared or
  // erased, and shown at the next repaint (forceOverlays to show them now):
  // text with its top-left corner at (x, y); a rectangle with its top-left
  // corner at (x, y) and that size; a line segment from (x0, y0) to (x1, y1).
  // In drawing mode Erase each erases a matching item instead (see
  // DrawingMode).
  void drawText(double x, double y, const std::string& text, qcPen pen);
  void drawRect(double x, double y, double width, double height, qcPen pen);
  void drawLine(double x0, double y0, double x1, double y1, qcPen pen);
  // A cross centred on (x, y).  a and b in screen pixels: arms from a down
  // to b pixels from the centre (b = 0: a full cross of arm length a).
  void drawCross(double x, double y, long a, long b, qcPen pen);
  // The axis-parallel ellipse centred on (x, y) with radii rx and ry.
  void drawEllipse(double x, double y, double rx, double ry, qcPen pen);
  // Whether the overlay calls draw or erase (Draw when created).
  void drawingMode(DrawingMode mode);
  DrawingMode drawingMode();
  // Removes every overlay item.
  void clearOverlays();

  // ---- interaction ------------------------------------------------------------
  // Each of selectPoint, selectArea and waitForUser shows `prompt` (when not
  // null) on the status line while the user works and puts the earlier
  // status line back afterwards.  Each throws UserCancelled at once when
  // the window is hidden or shows no image, and when the user cancels
  // (Escape, closing the window).

  // Waits for a click, then Enter, drawing the point with `pen`, and
  // returns the point clicked (image coordinates).  Throws UserCancelled
  // (see above).
  qcPair<double> selectPoint(const char* prompt = nullptr, qcPen pen = qcPen::sYellow);
  // Waits for a drag, then Enter, drawing the area with `pen`, and returns
  // the area (corners rounded to whole pels, width and height not
  // negative).  Throws UserCancelled (see above).
  qcPelRect selectArea(const char* prompt = nullptr, qcPen pen = qcPen::sYellow);
  // Waits for Enter.  Throws UserCancelled (see above).
  void waitForUser(const char* prompt = nullptr);

  // The pen of the selections the user makes outside selectPoint and
  // selectArea (white at first).
  void defaultSelectionColor(qcPen pen);
  // Whether clicks and drags make selections outside selectPoint and
  // selectArea (non-zero: yes; 1 at first).
  int defaultSelectionsEnabled();
  void defaultSelectionsEnabled(int enabled);
  // Whether the status line shows the value of the pel under the pointer
  // (grey value, or RGB of a colour image) besides its position (non-zero:
  // yes; 0 at first).
  int pelValueDisplayEnabled();
  void pelValueDisplayEnabled(int enabled);
  // Handles the events pending for the window (repaints, keys and mouse,
  // which reach the callback), first waiting up to `waitSeconds` for one
  // when none is pending (0: no wait), repaints what changed, and returns
  // false once the user has closed the window (true while it is open).
  // Live views call it once per frame.
  bool processEvents(double waitSeconds = 0);
  // The application's keys (the keys, what they do), listed in the key help
  // (h, F1) before the window's own.  The callback handles them.
  void keyHelp(const std::vector<std::pair<std::string, std::string>>& keys);

  // ---- window --------------------------------------------------------------------
  // The application's text on the status line (zoom and cursor position are
  // shown beside it).
  void statusLine(const std::string& text);
  std::string statusLine();
  // The text's pixel height (0: the default, 13; others are taken as 6 to
  // 96).  The default is qcDevEnv::defaultFont().
  void font(unsigned long font);
  unsigned long font();
  // The window's title.
  void title(const std::string& title);
  std::string title();
  // The window's position and size on the screen.
  qcPelRect windowRect();
  void windowRect(const qcPelRect& r);
  // Powers of two from 1/8 to 64; 0 without an image.  Setting snaps down
  // (zoom(3) gives 2) and does nothing without an image.
  double zoom();
  void zoom(double z);
  // The centre of the view in the buffer's coordinates, without its offset
  // (the image point at the middle of the image area is center() plus the
  // shown buffer's offset()); (0, 0) without an image.  Setting it pans.
  qcPair<double> center();
  void center(const qcPair<double>& c);

  // Whether the window is minimized, maximized or hidden (1 or 0), and
  // setting each (non-zero: on).  A hidden window refuses the interactive
  // calls (UserCancelled).
  int minimize();
  void minimize(int on);
  int maximize();
  void maximize(int on);
  int hide();
  void hide(int on);
  // Raises the window above the others.
  void bringToTop();
  // The native (X11) window of the frame and of the image area (the same
  // window here); SDL's window id under a video driver without native windows.
  unsigned long getFrameWindowRep();
  unsigned long getDisplayWindowRep();
  // Installs `cb` (not owned; null removes it) and returns the one before.
  qcImageConsoleCallback* installGUICallback(qcImageConsoleCallback* cb);

  // The window object (created if needed); for tests and the window's own
  // helpers.
  qc_ImgWin& imgWin_();

private:
  qc_ImgWin& win_();

  qc_ImgWin* window_ = nullptr;
  std::unique_ptr<std::string> title_;  // until the window exists
  qcPair<long> pos_{NoValue, NoValue};
  qcPair<long> size_{NoValue, NoValue};
  int flags_ = 0;
  unsigned long font_ = 0;
  bool released_ = false;
};

QRN_API_END
