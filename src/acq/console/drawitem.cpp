// The overlay items of the image window.
#include <algorithm>
#include <typeinfo>

#include <qrn/acq/console/imgwin.h>

namespace {

// `other` as T when it is of T's class exactly and has the pen of `self`.
template <class T>
const T* sameKind(const T& self, const qc_DrawItem& other) {
  if (typeid(other) != typeid(T) || !(other.pen() == self.pen())) return nullptr;
  return static_cast<const T*>(&other);
}

// The client rectangle spanned by two client points, grown by `grow` pixels
// on each side.
qcPelRect spanned(qcPair<long> a, qcPair<long> b, long grow) {
  const long x0 = std::min(a.x, b.x) - grow, y0 = std::min(a.y, b.y) - grow;
  const long x1 = std::max(a.x, b.x) + grow, y1 = std::max(a.y, b.y) + grow;
  return qcPelRect(x0, y0, x1 - x0 + 1, y1 - y0 + 1);
}

}  // namespace

// ---- text ------------------------------------------------------------------------

void qc_TextItem::draw(qc_ImgWin* win, qc_Canvas& canvas) const {
  const qcPair<long> p = win->imageToClient(x, y);
  canvas.text(p.x, p.y, text, win->penColor(pen_), win->textFont());
}
void qc_TextItem::invalidate(qc_ImgWin* win) const { win->invalidate(); }
bool qc_TextItem::sameAs(const qc_DrawItem& other) const {
  const auto* o = sameKind(*this, other);
  return o && o->x == x && o->y == y;  // whatever it says
}

// ---- rectangle --------------------------------------------------------------------

void qc_RectItem::draw(qc_ImgWin* win, qc_Canvas& canvas) const {
  const qcPair<long> a = win->imageToClient(x0, y0), b = win->imageToClient(x1, y1);
  canvas.rectOutline(a.x, a.y, b.x, b.y, win->penColor(pen_));
}
void qc_RectItem::invalidate(qc_ImgWin* win) const {
  win->invalidate(spanned(win->imageToClient(x0, y0), win->imageToClient(x1, y1), 1));
}
bool qc_RectItem::sameAs(const qc_DrawItem& other) const {
  const auto* o = sameKind(*this, other);
  return o && o->x0 == x0 && o->y0 == y0 && o->x1 == x1 && o->y1 == y1;
}

// ---- line ----------------------------------------------------------------------------

void qc_LineItem::draw(qc_ImgWin* win, qc_Canvas& canvas) const {
  const qcPair<long> a = win->imageToClient(x0, y0), b = win->imageToClient(x1, y1);
  canvas.line(a.x, a.y, b.x, b.y, win->penColor(pen_));
}
void qc_LineItem::invalidate(qc_ImgWin* win) const { win->invalidate(); }
bool qc_LineItem::sameAs(const qc_DrawItem& other) const {
  const auto* o = sameKind(*this, other);
  return o && o->x0 == x0 && o->y0 == y0 && o->x1 == x1 && o->y1 == y1;
}

// ---- cross ----------------------------------------------------------------------------

void qc_CrossItem::draw(qc_ImgWin* win, qc_Canvas& canvas) const {
  const qcPair<long> p = win->imageToClient(x, y);
  const std::uint32_t c = win->penColor(pen_);
  if (b == 0) {
    canvas.line(p.x - a, p.y, p.x + a, p.y, c);
    canvas.line(p.x, p.y - a, p.x, p.y + a, c);
    return;
  }
  canvas.line(p.x - a, p.y, p.x - b, p.y, c);
  canvas.line(p.x + a, p.y, p.x + b, p.y, c);
  canvas.line(p.x, p.y - a, p.x, p.y - b, c);
  canvas.line(p.x, p.y + a, p.x, p.y + b, c);
}
void qc_CrossItem::invalidate(qc_ImgWin* win) const {
  const qcPair<long> p = win->imageToClient(x, y);
  win->invalidate(spanned({p.x - a, p.y - a}, {p.x + a, p.y + a}, 1));
}
bool qc_CrossItem::sameAs(const qc_DrawItem& other) const {
  const auto* o = sameKind(*this, other);
  return o && o->x == x && o->y == y && o->a == a && o->b == b;
}

// ---- ellipse ----------------------------------------------------------------------------

void qc_EllipseItem::draw(qc_ImgWin* win, qc_Canvas& canvas) const {
  const qcPair<long> p = win->imageToClient(x - rx, y - ry), q = win->imageToClient(x + rx, y + ry);
  canvas.ellipse(p.x, p.y, q.x, q.y, win->penColor(pen_));
}
void qc_EllipseItem::invalidate(qc_ImgWin* win) const {
  win->invalidate(spanned(win->imageToClient(x - rx, y - ry), win->imageToClient(x + rx, y + ry), 1));
}
bool qc_EllipseItem::sameAs(const qc_DrawItem& other) const {
  const auto* o = sameKind(*this, other);
  return o && o->x == x && o->y == y && o->rx == rx && o->ry == ry;
}
