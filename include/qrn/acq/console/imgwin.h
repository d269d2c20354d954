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
  explicit qc_Font(int pixelHeight);
  ~qc_Font();
  qc_Font(const qc_Font&) = delete;
  qc_Font& operator=(const qc_Font&) = delete;
  bool isOpen() const { return font_ != nullptr; }
  int height() const;
  // Width of the text in pixels.
  int textWidth(const std::string& text) const;
  void* ttf_() const { return font_; }

private:
  void* font_ = nullptr;
  bool ttfStarted_ = false;
};

// 32-bit pixels 0x00RRGGBB in rows, with a clip rectangle that limits every
// drawing operation.  Coordinates may lie anywhere: what falls outside is cut.
class qc_Canvas {
public:
  static constexpr std::uint32_t rgb(unsigned r, unsigned g, unsigned b) { return (r << 16) | (g << 8) | b; }

  void resize(int width, int height);
  int width() const { return w_; }
  int height() const { return h_; }
  std::uint32_t* row(int y) { return px_.data() + static_cast<std::size_t>(y) * w_; }
  const std::uint32_t* row(int y) const { return px_.data() + static_cast<std::size_t>(y) * w_; }
  // The pixel at (x, y); 0 outside the canvas.
  std::uint32_t pixel(long x, long y) const;

  // Limits drawing to r (cut to the canvas); clip() the current limit.
  void clip(const qcPelRect& r);
  const qcPelRect& clip() const { return clip_; }
  void unclip() { clip_ = qcPelRect(0, 0, w_, h_); }

  void put(long x, long y, std::uint32_t c);
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
  struct Entry {
    unsigned char r = 0, g = 0, b = 0;
    bool keep = false;  // not to be collapsed onto other entries (ramp, selection, orange)
    friend bool operator==(const Entry&, const Entry&) = default;
  };
  static constexpr int firstRampEntry = 11;
  // The palette entry of each pen (qcPen::color() indexes it).
  static constexpr std::array<int, qcPen::count> penEntry = {0, 255, 248, 247, 7, 249, 10, 251, 2, 250, 254, 252, 253, 1};

  // For a display with `available` free entries (236 on a true-colour
  // display): available - 2 grey levels, at most 256.  Throws
  // qcImageConsole::CantCreateWindow("Not enough gray levels available.")
  // below 32 levels.
  explicit qc_ImgPalette(int available = 236);

  const Entry& entry(int i) const { return pal_[static_cast<std::size_t>(i)]; }
  std::uint32_t color(int i) const { return qc_Canvas::rgb(entry(i).r, entry(i).g, entry(i).b); }
  // The current ramp: first entry and number of grey levels.
  int firstGrey() const { return first_; }
  int greyLevels() const { return levels_; }
  int selectionEntry() const { return selEntry_; }
  // Pel value -> palette entry.
  const std::array<unsigned char, 256>& table() const { return table_; }
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
  virtual ~qc_DrawItem() = default;
  virtual void draw(qc_ImgWin* win, qc_Canvas& canvas) const = 0;
  // Marks the item's screen area for repainting.
  virtual void invalidate(qc_ImgWin* win) const = 0;
  // Same class, same coordinates exactly and same pen (erasing matches so).
  virtual bool sameAs(const qc_DrawItem& other) const = 0;
  qcPen pen() const { return pen_; }

protected:
  explicit qc_DrawItem(qcPen pen) : pen_(pen) {}
  qcPen pen_;
};

// An overlay item: text at a point.
class qc_TextItem : public qc_DrawItem {
public:
  qc_TextItem(double x, double y, std::string text, qcPen pen) : qc_DrawItem(pen), x(x), y(y), text(std::move(text)) {}
  void draw(qc_ImgWin* win, qc_Canvas& canvas) const override;
  void invalidate(qc_ImgWin* win) const override;
  bool sameAs(const qc_DrawItem& other) const override;
  double x, y;
  std::string text;
};

// An overlay item: a rectangle.
class qc_RectItem : public qc_DrawItem {
public:
  qc_RectItem(double x0, double y0, double x1, double y1, qcPen pen) : qc_DrawItem(pen), x0(x0), y0(y0), x1(x1), y1(y1) {}
  void draw(qc_ImgWin* win, qc_Canvas& canvas) const override;
  void invalidate(qc_ImgWin* win) const override;
  bool sameAs(const qc_DrawItem& other) const override;
  double x0, y0, x1, y1;
};

// An overlay item: a line segment.
class qc_LineItem : public qc_DrawItem {
public:
  qc_LineItem(double x0, double y0, double x1, double y1, qcPen pen) : qc_DrawItem(pen), x0(x0), y0(y0), x1(x1), y1(y1) {}
  void draw(qc_ImgWin* win, qc_Canvas& canvas) const override;
  void invalidate(qc_ImgWin* win) const override;
  bool sameAs(const qc_DrawItem& other) const override;
  double x0, y0, x1, y1;
};

// An overlay item: a cross centred on a point.
class qc_CrossItem : public qc_DrawItem {
public:
  qc_CrossItem(double x, double y, long a, long b, qcPen pen) : qc_DrawItem(pen), x(x), y(y), a(a), b(b) {}
  void draw(qc_ImgWin* win, qc_Canvas& canvas) const override;
  void invalidate(qc_ImgWin* win) const override;
  bool sameAs(const qc_DrawItem& other) const override;
  double x, y;
  long a, b;  // screen pixels
};

// An overlay item: an ellipse.
class qc_EllipseItem : public qc_DrawItem {
public:
  qc_EllipseItem(double x, double y, double rx, double ry, qcPen pen) : qc_DrawItem(pen), x(x), y(y), rx(rx), ry(ry) {}
  void draw(qc_ImgWin* win, qc_Canvas& canvas) const override;
  void invalidate(qc_ImgWin* win) const override;
  bool sameAs(const qc_DrawItem& other) const override;
  double x, y, rx, ry;
};

// ---- the window ------------------------------------------------------------------------

class qc_ImgWinNative;  // the SDL side (src/acq/console/imgwin_sdl.cpp)

class qc_ImgWin {
public:
  // Layout of the window: the image area at the top left, a vertical scroll
  // bar at its right, a horizontal one below it, the status line at the
  // bottom.
  static constexpr int scrollBarWidth = 14;
  static constexpr int defaultFontHeight = 13;
  static int statusHeight(int fontHeight) { return fontHeight + 8; }

  // Creates the window: x, y, width, height of the whole window, or
  // qcImageConsole::NoValue to let the window choose.  Throws
  // qcImageConsole::CantCreateWindow.
  qc_ImgWin(qcImageConsole* console, const std::string& title, long width, long height, long x, long y, int flags,
            unsigned long font);
  ~qc_ImgWin();
  qc_ImgWin(const qc_ImgWin&) = delete;
  qc_ImgWin& operator=(const qc_ImgWin&) = delete;

  // ---- coordinates and view ----
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
  double zoom() const { return hasImage() ? zoom_ : 0.0; }
  void zoom(double z);
  qcPair<double> center() const { return hasImage() ? center_ : qcPair<double>(); }
  void center(const qcPair<double>& c);
  void viewEntire();

  // ---- image ----
  void showImage(const qcPelBuffer_const<unsigned char>& image, unsigned char low, unsigned char high);
  void showImage(const qcPelBuffer_const<unsigned char>& image, qcPair<double> center, double zoom, unsigned char low,
                 unsigned char high);
  void showImage(const qcPelBuffer_const<qcPackedRGB32Pel>& image);
  void discardImage();
  bool hasImage() const { return imgW_ > 0; }
  qcPair<long> imageSize() const { return {imgW_, imgH_}; }
  // Sets the colour map (throws qcImageConsole::BadColorMap, changing
  // nothing, when it does not fit).
  void colorMap(const std::vector<MapPair>& map);
  // Rebuilds the colour table from the colour map and the display range.
  void setColorTable();
  // The same with another display range; nothing when it is unchanged.
  void remapColorTable(unsigned char low, unsigned char high);
  const qc_ImgPalette& palette() const { return palette_; }
  std::uint32_t penColor(qcPen pen) const { return palette_.color(qc_ImgPalette::penEntry[static_cast<std::size_t>(pen.color())]); }

  // ---- overlays ----
  void drawText(double x, double y, const std::string& text, qcPen pen);
  void drawRect(double x, double y, double width, double height, qcPen pen);
  void drawLine(double x0, double y0, double x1, double y1, qcPen pen);
  void drawCross(double x, double y, long a, long b, qcPen pen);
  void drawEllipse(double x, double y, double rx, double ry, qcPen pen);
  void drawingMode(qcImageConsole::DrawingMode m) { mode_ = m; }
  qcImageConsole::DrawingMode drawingMode() const { return mode_; }
  void clearOverlays();
  const std::list<std::unique_ptr<qc_DrawItem>>& overlays() const { return items_; }

  // ---- painting ----
  // Marks a client rectangle (or all of the window) for repainting.
  void invalidate(const qcPelRect& r);
  void invalidate();
  // The area marked since the last paint (empty when none).
  const qcPelRect& dirty() const { return dirty_; }
  // Draws the whole window into the canvas (image, overlays, selection,
  // scroll bars, status line) and shows it.
  void paint();
  void forceRefresh();
  void forceOverlays();
  const qc_Canvas& canvas() const { return canvas_; }
  const qc_Font& textFont() const { return *font_; }

  // ---- status line ----
  void statusLine(const std::string& text);
  const std::string& statusLine() const { return status_; }
  // The generated part: zoom, then the cursor position (and pel value), or
  // the size of the area being dragged.
  std::string statusText() const;
  // Where the pointer is (client coordinates of the image area), or none.
  void cursor(long u, long v);
  void cursorLeft() { cursorIn_ = false; }
  void pelValueDisplay(int on) { pelDisplay_ = on; }
  int pelValueDisplay() const { return pelDisplay_; }

  // ---- selection ----
  void defaultSelectionColor(qcPen pen) { selPen_ = pen; }
  qcPen defaultSelectionColor() const { return selPen_; }
  void defaultSelectionsEnabled(int on) { selEnabled_ = on; }
  int defaultSelectionsEnabled() const { return selEnabled_; }
  // Mouse input of the selection (client coordinates of the image area).
  void selectionPress(long u, long v);
  void selectionMove(long u, long v);
  void selectionRelease(long u, long v);
  bool selectionInProgress() const { return selActive_; }
  bool hasSelection() const { return selShown_; }
  bool selectionIsRect() const { return selRect_; }
  void clearSelection();
  void invalidateSelection();
  void drawSelection(qc_Canvas& canvas) const;

  qcPair<double> selectPoint(qcPen pen);
  qcPelRect selectArea(qcPen pen);
  // Runs the event loop until the user acknowledges (Enter); throws
  // qcImageConsole::UserCancelled when the user cancels.
  void waitForUser();
  // Ends a running waitForUser: acknowledged or cancelled.  The event
  // handling calls these; tests may too (from a callback).
  void acknowledge() { answer_ = Answer::ack; }
  void cancel() { answer_ = Answer::cancel; }
  bool isWaiting() const { return waiting_; }

  // ---- keys and events ----
  // Handles a key as the window does (after the callback): returns true when
  // it meant something.
  bool key(unsigned long key);
  // The application's keys, listed first in the key help (keys, meaning).
  void keyHelp(std::vector<std::pair<std::string, std::string>> keys);
  const std::vector<std::pair<std::string, std::string>>& keyHelp() const { return keyHelp_; }
  // Handles pending events (waiting up to `waitSeconds` for the first);
  // false once the user closed the window.
  bool processEvents(double waitSeconds = 0);
  bool closedByUser() const { return closed_; }
  qcImageConsoleCallback* installGUICallback(qcImageConsoleCallback* cb) {
    std::swap(cb, callback_);
    return cb;
  }
  qcImageConsoleCallback* callback() const { return callback_; }
  qcImageConsole* console() const { return console_; }

  // ---- the frame ----
  void font(unsigned long f);
  unsigned long font() const { return fontHandle_; }
  void title(const std::string& t);
  const std::string& title() const { return title_; }
  qcPelRect windowRect() const;
  void windowRect(const qcPelRect& r);
  int minimize() const;
  void minimize(int on);
  int maximize() const;
  void maximize(int on);
  int hide() const;
  void hide(int on);
  void bringToTop();
  unsigned long frameWindowRep() const;
  bool closeEnabled() const { return closeEnabled_; }
  void closeEnabled(bool on) { closeEnabled_ = on; }
  void release() {
    released_ = true;
    closeEnabled_ = true;
  }
  bool isReleased() const { return released_; }
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
