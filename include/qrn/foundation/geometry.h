// Small geometric value types shared by the pixel buffers and the module.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <ostream>

// A pair of values, (x, y) for positions and sizes.
template <class T>
struct qcPair {
  // The horizontal and vertical values (a column and a row, or a width and a
  // height); T{} by default.
  T x{};
  T y{};
  // (T{}, T{}), or the given values.
  constexpr qcPair() = default;
  constexpr qcPair(T x_, T y_) : x(x_), y(y_) {}
  // Equal when both x and y are.
  friend constexpr bool operator==(const qcPair& a, const qcPair& b) { return a.x == b.x && a.y == b.y; }
  friend constexpr bool operator!=(const qcPair& a, const qcPair& b) { return !(a == b); }
  // Writes "(x, y)".
  friend std::ostream& operator<<(std::ostream& os, const qcPair& p) { return os << '(' << p.x << ", " << p.y << ')'; }
};

// A rectangle of pixels: top-left corner (x, y), width and height, in pels.
// An empty rectangle has width or height 0 (or less: nothing checks them).
class qcPelRect {
public:
  // The empty rectangle (0, 0, 0, 0), or the given one, taken as it is.
  constexpr qcPelRect() = default;
  constexpr qcPelRect(long x, long y, long width, long height) : x_(x), y_(y), w_(width), h_(height) {}

  // The left column, top row, width and height, in pels.
  constexpr long x() const { return x_; }
  constexpr long y() const { return y_; }
  constexpr long width() const { return w_; }
  constexpr long height() const { return h_; }

  constexpr long x1() const { return x_ + w_; }  // one past the right column
  constexpr long y1() const { return y_ + h_; }  // one past the bottom row
  // True when width or height is 0 or less.
  constexpr bool isEmpty() const { return w_ <= 0 || h_ <= 0; }
  // The top-left corner (x, y).
  constexpr qcPair<long> origin() const { return {x_, y_}; }
  // The size (width, height).
  constexpr qcPair<long> size() const { return {w_, h_}; }

  // Set the left column, top row, width and height (not checked); the
  // other values stay, so moving x() keeps the width.
  void x(long v) { x_ = v; }
  void y(long v) { y_ = v; }
  void width(long v) { w_ = v; }
  void height(long v) { h_ = v; }

  // True when r lies wholly inside this rectangle, or when the pel at
  // (px, py) does.
  constexpr bool contains(const qcPelRect& r) const {
    return r.x_ >= x_ && r.y_ >= y_ && r.x1() <= x1() && r.y1() <= y1();
  }
  constexpr bool contains(long px, long py) const { return px >= x_ && py >= y_ && px < x1() && py < y1(); }

  // Equal when all four values are (so empty rectangles at different corners
  // or of different sizes are not equal).
  friend constexpr bool operator==(const qcPelRect& a, const qcPelRect& b) {
    return a.x_ == b.x_ && a.y_ == b.y_ && a.w_ == b.w_ && a.h_ == b.h_;
  }
  friend constexpr bool operator!=(const qcPelRect& a, const qcPelRect& b) { return !(a == b); }
  // Writes "qcPelRect(x, y, width, height)".
  friend std::ostream& operator<<(std::ostream& os, const qcPelRect& r) {
    return os << "qcPelRect(" << r.x_ << ", " << r.y_ << ", " << r.w_ << ", " << r.h_ << ')';
  }

private:
  long x_ = 0, y_ = 0, w_ = 0, h_ = 0;
};

QRN_API_END
