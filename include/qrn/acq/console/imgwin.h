// The window behind an image console (qcImageConsole, imgconsole.h), its
// palette and its overlay items.  Applications use qcImageConsole; this
// header is for the console's own code, its tests and benchmarks.
//
// The window's logic (coordinates, zoom, palette and colour table, status
// texts, overlay list, selection state) is plain C++ here; drawing goes into
// a qc_Canvas (32-bit pixels in memory) which is then shown in an SDL2 window
// (src/acq/console/imgwin_sdl.cpp).  Everything belongs to the thread that
// created the window.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <array>
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <qrn/acq/console/imgconsole.h>
#include <qrn/foundation/thread.h>

class qc_ImgWin;

// A font of the DejaVu family at a pixel height (SDL2_ttf).  A font that
// cannot be opened draws nothing and has height 0.
class qc_Font {
public:
  // Opens DejaVu Sans at pixelHeight pixels (at least 6); never throws: when
  // SDL2_ttf cannot start or no DejaVu font is installed it prints why to
  // stderr and the font stays closed.  Each font holds one start of SDL2_ttf.
  explicit qc_Font(int pixelHeight);
  // Closes the font and gives back its start of SDL2_ttf.
  ~qc_Font();
  // Not copyable: the font owns its SDL2_ttf handle.
  qc_Font(const qc_Font&) = delete;
  qc_Font& operator=(const qc_Font&) = delete;

  // True when a font file was opened (else nothing is drawn).
  bool isOpen() const { return font_ != nullptr; }
  // Height of a line in pixels (SDL2_ttf's font height, a little more than
  // the pixel height asked for); 0 when the font is not open.
  int height() const;
  // Width of the text (UTF-8) in pixels; 0 for empty text or a closed font.
  int textWidth(const std::string& text) const;

  // The TTF_Font* (null when closed), for qc_Canvas::text; not for other code.
  void* ttf_() const { return font_; }

private:
  void* font_ = nullptr;
  bool ttfStarted_ = false;
};

// 32-bit pixels 0x00RRGGBB in rows, with a clip rectangle that limits every
// drawing operation.  Coordinates may lie anywhere: what falls outside is cut.
class qc_Canvas {
public:
  // The pixel value 0x00RRGGBB of a colour (each component 0..255).
  static constexpr std::uint32_t rgb(unsigned r, unsigned g, unsigned b) { return (r << 16) | (g << 8) | b; }

  // Sets the size in pixels (negative sizes count as 0), clears every pixel
  // to black and lifts the clip (unclip).  A default canvas is 0 x 0.
  void resize(int width, int height);
  // The size in pixels.
  int width() const { return w_; }
  int height() const { return h_; }
  // The `width()` pixels of row y (0 <= y < height(), not checked); the
  // pointers stay valid until the next resize.
  std::uint32_t* row(int y) { return px_.data() + static_cast<std::size_t>(y) * w_; }
  const std::uint32_t* row(int y) const { return px_.data() + static_cast<std::size_t>(y) * w_; }
  // The pixel at (x, y); 0 outside the canvas.
  std::uint32_t pixel(long x, long y) const;

  // Limits drawing to r (cut to the canvas); clip() the current limit.
  void clip(const qcPelRect& r);
  const qcPelRect& clip() const { return clip_; }
  // Lifts the limit: drawing may reach the whole canvas.
  void unclip() { clip_ = qcPelRect(0, 0, w_, h_); }

  // Sets the pixel at (x, y) to c (nothing outside the clip).
  void put(long x, long y, std::uint32_t c);
  // Fills the rectangle r with c (its part inside the clip).
  void fill(const qcPelRect& r, std::uint32_t c);
  // From (x0, y0) to (x1, y1), both ends included.
  void line(long x0, long y0, long x1, long y1, std::uint32_t c);
  // The outline through (x0, y0), (x1, y0), (x1, y1), (x0, y1).
  void rectOutline(long x0, long y0, long x1, long y1, std::uint32_t c);
  // The ellipse inscribed in the box with corners (x0, y0) and (x1, y1).
  void ellipse(long x0, long y0, long x1, long y1, std::uint32_t c);
  // Text with its top-left corner at (x, y), blended on the pixels.
  void text(long x, long y, const std::string& s, std::uint32_t c, const qc_Font& font);

private:
  int w_ = 0, h_ = 0;
  std::vector<std::uint32_t> px_;
  qcPelRect clip_;
};

// The window's 256-entry palette and the table from pel value to palette
// entry.  Fixed entries: 0 black, 1 (128, 0, 0), 2 (0, 128, 0), 7 light grey,
// 10 orange, 247 grey, 248 dark grey, 249 red, 250 green, 251 yellow, 252
// blue, 253 (255, 0, 255), 254 cyan, 255 white; the grey ramp starts at entry
// 11 and the selection colour (white) follows it.
class qc_ImgPalette {
public:
  // One palette entry: a colour and whether it must stay apart.
  struct Entry {
    // The colour, each component 0..255.
    unsigned char r = 0, g = 0, b = 0;
    bool keep = false;  // not to be collapsed onto other entries (ramp, selection, orange)
    // Same colour and same keep.
    friend bool operator==(const Entry&, const Entry&) = default;
  };
  // The palette entry of the grey ramp's first level (black) as built.
  static constexpr int firstRampEntry = 11;
  // The palette entry of each pen (qcPen::color() indexes it).
  static constexpr std::array<int, qcPen::count> penEntry = {0, 255, 248, 247, 7, 249, 10, 251, 2, 250, 254, 252, 253, 1};

  // For a display with `available` free entries (236 on a true-colour
  // display): available - 2 grey levels, at most 256.  Throws
  // qcImageConsole::CantCreateWindow("Not enough gray levels available.")
  // below 32 levels.
  explicit qc_ImgPalette(int available = 236);

  // Palette entry i (0 <= i < 256, not checked), as an entry and as a
  // canvas pixel value 0x00RRGGBB.
  const Entry& entry(int i) const { return pal_[static_cast<std::size_t>(i)]; }
  std::uint32_t color(int i) const { return qc_Canvas::rgb(entry(i).r, entry(i).g, entry(i).b); }
  // The current ramp: first entry and number of grey levels (entries taken
  // by the colour map move the first entry up and lower the count).
  int firstGrey() const { return first_; }
  int greyLevels() const { return levels_; }
  // The entry of the selection colour (white), right after the ramp as
  // built.
  int selectionEntry() const { return selEntry_; }
  // Pel value -> palette entry.
  const std::array<unsigned char, 256>& table() const { return table_; }
  // The display range of the current table: pels up to low show the ramp's
  // first level, pels from high up its last (0 and 255 until set).
  unsigned char low() const { return low_; }
  unsigned char high() const { return high_; }

  // Rebuilds the table for a colour map and a display range: colours of the
  // map take palette entries (an entry outside the ramp that already has the
  // colour, else the next ramp entry, which the ramp loses), the remaining
  // ramp is refilled evenly from black to white and the other pels spread
  // over it from low to high.  Throws qcImageConsole::BadColorMap, changing
  // nothing, when fewer than 2 grey levels would remain.
  void setColorTable(const std::vector<MapPair>& map, unsigned char low, unsigned char high);
  // The same map with another range; nothing when the range is unchanged.
  void remapColorTable(unsigned char low, unsigned char high);
  // The colour map of the current table (empty until one is set).
  const std::vector<MapPair>& colorMap() const { return map_; }

private:
  std::array<Entry, 256> pal_{}, base_{};
  std::array<unsigned char, 256> table_{};
  std::vector<MapPair> map_;
  int baseLevels_ = 0, first_ = firstRampEntry, levels_ = 0, selEntry_ = 0;
  unsigned char low_ = 0, high_ = 255;
};

// ---- overlay items ----------------------------------------------------------------

// An overlay: drawn over the image after it, in image coordinates converted
// by the window's imageToClient.
class qc_DrawItem {
public:
  // Items are owned by the window's overlay list and destroyed through this.
  virtual ~qc_DrawItem() = default;
  // Draws the item into the canvas in win's pen colour, at the client
  // position of its image coordinates (the canvas clip cuts it).
  virtual void draw(qc_ImgWin* win, qc_Canvas& canvas) const = 0;
  // Marks the item's screen area for repainting.
  virtual void invalidate(qc_ImgWin* win) const = 0;
  // Same class, same coordinates exactly and same pen (erasing matches so).
  virtual bool sameAs(const qc_DrawItem& other) const = 0;

  // The pen the item is drawn with.
  qcPen pen() const { return pen_; }

protected:
  // For the item classes: the item drawn with `pen`.
  explicit qc_DrawItem(qcPen pen) : pen_(pen) {}
  // The pen the item is drawn with.
  qcPen pen_;
};

// An overlay item: text at a point.
class qc_TextItem : public qc_DrawItem {
public:
  // `text` with its top-left corner at image point (x, y).
  qc_TextItem(double x, double y, std::string text, qcPen pen) : qc_DrawItem(pen), x(x), y(y), text(std::move(text)) {}
  // The qc_DrawItem operations; invalidate marks the whole window (the
  // text's extent depends on the font), and sameAs ignores the text.
  void draw(qc_ImgWin* win, qc_Canvas& canvas) const override;
  void invalidate(qc_ImgWin* win) const override;
  bool sameAs(const qc_DrawItem& other) const override;

  // The top-left corner (image coordinates) and the text (UTF-8).
  double x, y;
  std::string text;
};

// An overlay item: a rectangle.
class qc_RectItem : public qc_DrawItem {
public:
  // The outline with opposite corners (x0, y0) and (x1, y1), in image
  // coordinates.
  qc_RectItem(double x0, double y0, double x1, double y1, qcPen pen) : qc_DrawItem(pen), x0(x0), y0(y0), x1(x1), y1(y1) {}
  // The qc_DrawItem operations (invalidate marks the outline's box), and
  // the opposite corners x0, y0, x1, y1 (image coordinates).
  void draw(qc_ImgWin* win, qc_Canvas& canvas) const override;
  void invalidate(qc_ImgWin* win) const override;
  bool sameAs(const qc_DrawItem& other) const override;
  double x0, y0, x1, y1;
};

// An overlay item: a line segment.
class qc_LineItem : public qc_DrawItem {
public:
  // The segment from (x0, y0) to (x1, y1), in image coordinates.
  qc_LineItem(double x0, double y0, double x1, double y1, qcPen pen) : qc_DrawItem(pen), x0(x0), y0(y0), x1(x1), y1(y1) {}
  // The qc_DrawItem operations (invalidate marks the whole window), and the
  // ends (x0, y0) and (x1, y1) (image coordinates).
  void draw(qc_ImgWin* win, qc_Canvas& canvas) const override;
  void invalidate(qc_ImgWin* win) const override;
  bool sameAs(const qc_DrawItem& other) const override;
  double x0, y0, x1, y1;
};

// An overlay item: a cross centred on a point.
class qc_CrossItem : public qc_DrawItem {
public:
  // A cross at image point (x, y): arms from a down to b screen pixels
  // from the centre, or a full cross of arm length a when b is 0.
  qc_CrossItem(double x, double y, long a, long b, qcPen pen) : qc_DrawItem(pen), x(x), y(y), a(a), b(b) {}
  // The qc_DrawItem operations; invalidate marks the box of half-side a.
  void draw(qc_ImgWin* win, qc_Canvas& canvas) const override;
  void invalidate(qc_ImgWin* win) const override;
  bool sameAs(const qc_DrawItem& other) const override;

  // The centre (image coordinates), and the arms' inner and outer distance
  // a and b from it (b = 0: a full cross of arm length a).
  double x, y;
  long a, b;  // screen pixels
};

// An overlay item: an ellipse.
class qc_EllipseItem : public qc_DrawItem {
public:
  // The axis-parallel ellipse centred on (x, y) with radii rx and ry, all
  // in image coordinates.
  qc_EllipseItem(double x, double y, double rx, double ry, qcPen pen) : qc_DrawItem(pen), x(x), y(y), rx(rx), ry(ry) {}
  // The qc_DrawItem operations (invalidate marks the ellipse's box), and
  // the centre x, y and radii rx, ry (image coordinates).
  void draw(qc_ImgWin* win, qc_Canvas& canvas) const override;
  void invalidate(qc_ImgWin* win) const override;
  bool sameAs(const qc_DrawItem& other) const override;
  double x, y, rx, ry;
};

// ---- the window ------------------------------------------------------------------------

class qc_ImgWinNative;  // the SDL side (src/acq/console/imgwin_sdl.cpp)

// The image window: its view (zoom and centre), a copy of the shown image,
// palette, overlays, selection, status line and key help, drawn into a
// canvas shown by the SDL side.  Owned by its qcImageConsole; used only on
// the thread that created it (owner()).  Client coordinates are pixels of
// the image area, (0, 0) at its top left.
class qc_ImgWin {
public:
  // Layout of the window: the image area at the top left, a vertical scroll
  // bar at its right, a horizontal one below it, the status line at the
  // bottom.  Sizes in pixels: the scroll bars' width, the text height of
  // font 0, and the status line's height for a text height.
  static constexpr int scrollBarWidth = 14;
  static constexpr int defaultFontHeight = 13;
  static int statusHeight(int fontHeight) { return fontHeight + 8; }

  // Creates the window: x, y, width, height of the whole window, or
  // qcImageConsole::NoValue to let the window choose.  Throws
  // qcImageConsole::CantCreateWindow.
  // qcImageConsole::CantCreateWindow.  `flags` are qcImageConsole::Flags,
  // `font` the text height in pixels (0: defaultFontHeight); `console` (not
  // owned) is passed to the callback.  Shows the window painted empty.
  qc_ImgWin(qcImageConsole* console, const std::string& title, long width, long height, long x, long y, int flags,
            unsigned long font);
  // Drops the overlays and closes the SDL window.
  ~qc_ImgWin();
  // Not copyable: the window owns its SDL window.
  qc_ImgWin(const qc_ImgWin&) = delete;
  qc_ImgWin& operator=(const qc_ImgWin&) = delete;

  // ---- coordinates and view ----
  // Client point (u, v) -> image point (with the image's offset), and back
  // (rounded towards 0, clamped to +-1e9 pixels); follow zoom and centre.
  qcPair<double> clientToImage(double u, double v) const;
  qcPair<long> imageToClient(double x, double y) const;
  // Moves p into the image's extent.
  void clipToImage(qcPair<double>& p) const;
  // The zoom at which an image of imageSize fits a client area of clientSize.
  static double closestZoom(const qcPair<long>& clientSize, const qcPair<double>& imageSize);
  // z snapped down to a power of two from 1/8 to 64.
  static double snapZoom(double z);
  // The image area's size in pixels.
  qcPair<long> clientSize() const { return client_; }
  // The zoom (screen pixels per pel; 0 without an image).  Setting snaps
  // it (snapZoom) and repaints; nothing without an image.
  double zoom() const { return hasImage() ? zoom_ : 0.0; }
  void zoom(double z);
  // The image point at the middle of the image area, in the buffer's
  // coordinates without its offset ((0, 0) without an image).  Setting it
  // pans and repaints; nothing without an image.
  qcPair<double> center() const { return hasImage() ? center_ : qcPair<double>(); }
  void center(const qcPair<double>& c);
  // Centres the image at closestZoom and repaints; nothing without an image.
  void viewEntire();

  // ---- image ----
  // Shows a copy of a grey image with the display range low..high (0 and 0
  // mean 0 to 255), as qcImageConsole::showImage does: an image of the same
  // size keeps zoom and centre, any other is fitted (and the selection
  // cleared).  An unbound or empty buffer discards the image.  Repaints.
  void showImage(const qcPelBuffer_const<unsigned char>& image, unsigned char low, unsigned char high);
  // The same, then the given centre and zoom (snapped).
  void showImage(const qcPelBuffer_const<unsigned char>& image, qcPair<double> center, double zoom, unsigned char low,
                 unsigned char high);
  // A colour image, shown as is; same rules as the grey form.
  void showImage(const qcPelBuffer_const<qcPackedRGB32Pel>& image);
  // Drops the image and the selection, and repaints the empty background.
  void discardImage();
  // Whether an image is shown, and its size in pels (0 x 0 when none).
  bool hasImage() const { return imgW_ > 0; }
  qcPair<long> imageSize() const { return {imgW_, imgH_}; }
  // Sets the colour map (throws qcImageConsole::BadColorMap, changing
  // nothing, when it does not fit).
  void colorMap(const std::vector<MapPair>& map);
  // Rebuilds the colour table from the colour map and the display range.
  void setColorTable();
  // The same with another display range; nothing when it is unchanged.
  void remapColorTable(unsigned char low, unsigned char high);
  // The palette with the current colour table.
  const qc_ImgPalette& palette() const { return palette_; }
  // The canvas pixel value a pen draws with.
  std::uint32_t penColor(qcPen pen) const { return palette_.color(qc_ImgPalette::penEntry[static_cast<std::size_t>(pen.color())]); }

  // ---- overlays ----
  // Add an overlay item in image coordinates (the qc_*Item classes; a
  // rectangle by its corner and size) in drawing mode Draw, or erase the
  // first item that is sameAs it in any other mode (nothing when none is).
  // The item's area is marked for repainting, not painted yet.
  void drawText(double x, double y, const std::string& text, qcPen pen);
  void drawRect(double x, double y, double width, double height, qcPen pen);
  void drawLine(double x0, double y0, double x1, double y1, qcPen pen);
  void drawCross(double x, double y, long a, long b, qcPen pen);
  void drawEllipse(double x, double y, double rx, double ry, qcPen pen);
  // Whether the overlay calls draw or erase (Draw at first).
  void drawingMode(qcImageConsole::DrawingMode m) { mode_ = m; }
  qcImageConsole::DrawingMode drawingMode() const { return mode_; }
  // Removes every overlay item (their areas marked for repainting).
  void clearOverlays();
  // The overlay items in drawing order (oldest first).
  const std::list<std::unique_ptr<qc_DrawItem>>& overlays() const { return items_; }

  // ---- painting ----
  // Marks a client rectangle (or all of the window) for repainting.
  void invalidate(const qcPelRect& r);
  void invalidate();
  // The area marked since the last paint (empty when none).
  const qcPelRect& dirty() const { return dirty_; }
  // Draws the whole window into the canvas (image, overlays, selection,
  // scroll bars, status line) and shows it; clears dirty().
  void paint();
  // Marks everything and paints (qcImageConsole::forceRefresh).
  void forceRefresh();
  // Paints now (qcImageConsole::forceOverlays).
  void forceOverlays();
  // What was painted last: the whole window, width x height pixels.
  const qc_Canvas& canvas() const { return canvas_; }
  // The font of the status line, the key help and text overlays.
  const qc_Font& textFont() const { return *font_; }

  // ---- status line ----
  // The application's part of the status line; setting it marks the status
  // line for repainting.
  void statusLine(const std::string& text);
  const std::string& statusLine() const { return status_; }
  // The generated part: zoom, then the cursor position (and pel value), or
  // the size of the area being dragged.
  std::string statusText() const;
  // Where the pointer is (client coordinates of the image area; outside
  // the area counts as none), or none (cursorLeft).
  void cursor(long u, long v);
  void cursorLeft() { cursorIn_ = false; }
  // Whether the status text shows the pel value under the pointer (non-zero:
  // yes; 0 at first).
  void pelValueDisplay(int on) { pelDisplay_ = on; }
  int pelValueDisplay() const { return pelDisplay_; }

  // ---- selection ----
  // The pen the selection is drawn with (qcPen::sWhite at first).
  void defaultSelectionColor(qcPen pen) { selPen_ = pen; }
  qcPen defaultSelectionColor() const { return selPen_; }
  // Whether mouse input makes selections outside selectPoint and selectArea
  // (non-zero: yes; 1 at first).
  void defaultSelectionsEnabled(int on) { selEnabled_ = on; }
  int defaultSelectionsEnabled() const { return selEnabled_; }
  // Mouse input of the selection (client coordinates of the image area): a
  // press starts a point (ignored while selections are disabled or without
  // an image), a move of 3 pixels or more makes it an area, a release ends it.
  void selectionPress(long u, long v);
  void selectionMove(long u, long v);
  void selectionRelease(long u, long v);
  // The selection's state: the button is still down; a selection is shown
  // (in progress or finished); it is an area rather than a point.
  bool selectionInProgress() const { return selActive_; }
  bool hasSelection() const { return selShown_; }
  bool selectionIsRect() const { return selRect_; }
  // Removes the selection (its area marked for repainting).
  void clearSelection();
  // Marks the image area and the status line (which shows a dragged area's
  // size) for repainting.
  void invalidateSelection();
  // Draws the selection, when one is shown, into canvas: a small cross for a
  // point, an outline for an area.
  void drawSelection(qc_Canvas& canvas) const;

  // Run the event loop until the user has picked a point (a click) or an
  // area (a drag) and pressed Enter, drawing the selection with `pen`; the
  // area's corners are rounded to whole pels.  Throw
  // qcImageConsole::UserCancelled when the user cancels.  Selections are
  // enabled and closing disabled meanwhile; afterwards (also when they
  // throw) the pen and both settings are put back and the selection is
  // cleared.
  qcPair<double> selectPoint(qcPen pen);
  qcPelRect selectArea(qcPen pen);
  // Runs the event loop until the user acknowledges (Enter); throws
  // qcImageConsole::UserCancelled when the user cancels.
  void waitForUser();
  // Ends a running waitForUser: acknowledged or cancelled.  The event
  // handling calls these; tests may too (from a callback).
  void acknowledge() { answer_ = Answer::ack; }
  void cancel() { answer_ = Answer::cancel; }
  // True while waitForUser (or selectPoint, selectArea) runs.
  bool isWaiting() const { return waiting_; }

  // ---- keys and events ----
  // Handles a key as the window does (after the callback): returns true when
  // it meant something.
  bool key(unsigned long key);
  // The application's keys, listed first in the key help (keys, meaning).
  void keyHelp(std::vector<std::pair<std::string, std::string>> keys);
  const std::vector<std::pair<std::string, std::string>>& keyHelp() const { return keyHelp_; }
  // Handles pending events (waiting up to `waitSeconds`, at most 10, for
  // the first); false once the user closed the window.
  bool processEvents(double waitSeconds = 0);

  // True once the user closed the window (allowed by closeEnabled); the
  // window is hidden then, not destroyed.
  bool closedByUser() const { return closed_; }
  // Installs `cb` (not owned; null removes it) and returns the one before.
  qcImageConsoleCallback* installGUICallback(qcImageConsoleCallback* cb) {
    std::swap(cb, callback_);
    return cb;
  }
  // The installed callback (null when none).
  qcImageConsoleCallback* callback() const { return callback_; }
  // The console that owns the window, as given to the constructor.
  qcImageConsole* console() const { return console_; }

  // ---- the frame ----
  // The text height in pixels (0: defaultFontHeight; others are taken as
  // 6 to 96).  Setting it opens the new font, lays the window out again and
  // repaints.
  void font(unsigned long f);
  unsigned long font() const { return fontHandle_; }
  // The window's title.
  void title(const std::string& t);
  const std::string& title() const { return title_; }
  // The whole window's position and size on the screen in pixels; setting
  // it (at least 64 x 64) lays the window out again and repaints.
  qcPelRect windowRect() const;
  void windowRect(const qcPelRect& r);
  // Whether the window is minimized, maximized or hidden (1 or 0), and
  // setting each (non-zero: on).
  int minimize() const;
  void minimize(int on);
  int maximize() const;
  void maximize(int on);
  int hide() const;
  void hide(int on);
  // Raises the window above the others.
  void bringToTop();
  // The native X11 window; SDL's window id under a video driver without
  // X11 windows.
  unsigned long frameWindowRep() const;
  // Whether closing the window (the window manager's close) is allowed:
  // when false, closing is ignored and the window stays open.  From
  // EnableClose; off while a selection runs, on once released.
  bool closeEnabled() const { return closeEnabled_; }
  void closeEnabled(bool on) { closeEnabled_ = on; }
  // The console let go of the window (qcImageConsole::release and its
  // destructor): the user may close it from now on.
  void release() {
    released_ = true;
    closeEnabled_ = true;
  }
  // True once release() was called.
  bool isReleased() const { return released_; }
  // Marks the window as being destroyed (the destructor calls it first);
  // isDestroying() tells.
  void destroying() { destroying_ = true; }
  bool isDestroying() const { return destroying_; }
  // The thread the window belongs to.
  qcThreadID owner() const { return owner_; }
  // The number of image windows in the process.
  static int windowCount();

  // Called by the SDL side when the window's size changed.
  void resized(int width, int height);

private:
  friend class qc_ImgWinNative;
  enum class Answer { none, ack, cancel };

  void layout_();
  void refreshRgb_();
  void setImage_(long w, long h, const qcPair<long>& offset);
  void addOrErase_(std::unique_ptr<qc_DrawItem> item);
  void paintImage_();
  void paintScrollBars_();
  void paintStatus_();
  void paintHelp_();
  void scrollTo_(bool horizontal, long pos);
  void present_();

  qcImageConsole* console_;
  std::unique_ptr<qc_ImgWinNative> native_;
  qcThreadID owner_;
  double zoom_ = 1.0;
  qcPair<double> center_;
  qcPair<long> client_;
  // The shown image, copied: grey pels or colour pels (one of them bound).
  qcPelBuffer<unsigned char> grey_;
  qcPelBuffer<qcPackedRGB32Pel> color_;

  long imgW_ = 0, imgH_ = 0;
  qcPair<long> offset_;
  qc_ImgPalette palette_;
  std::array<std::uint32_t, 256> greyRgb_{};  // pel -> colour through table and palette
  std::list<std::unique_ptr<qc_DrawItem>> items_;
  qcImageConsole::DrawingMode mode_ = qcImageConsole::Draw;
  int selEnabled_ = 1, pelDisplay_ = 0;
  qcPen selPen_ = qcPen::sWhite;
  bool selActive_ = false, selShown_ = false, selRect_ = false;
  qcPair<long> selPress_;
  qcPair<double> selStart_, selEnd_;
  std::string status_;
  std::vector<std::pair<std::string, std::string>> keyHelp_;
  long cursorU_ = 0, cursorV_ = 0;
  bool cursorIn_ = false;
  unsigned long fontHandle_ = 0;
  std::unique_ptr<qc_Font> font_;
  std::string title_;
  qcImageConsoleCallback* callback_ = nullptr;
  qc_Canvas canvas_;
  qcPelRect dirty_;
  bool waiting_ = false;
  Answer answer_ = Answer::none;
  bool closeEnabled_ = false, released_ = false, destroying_ = false, closed_ = false, help_ = false;
};

QRN_API_END
