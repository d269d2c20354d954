// Pixel buffers: typed, reference-counted, windowed images in memory.
//
// Pieces, from the bottom up:
//   pel types      unsigned char, unsigned short, qcPackedRGB16Pel,
//                  qcPackedRGB32Pel, qc3PlanePel;
//   qcPelRoot<T>   the storage of one image: width x height pels in rows that
//                  are rowUpdate() pels apart.  Reference counted (qcRepBase),
//                  held by qcPtrHandle; allocated and owned, or wrapping memory
//                  of the caller (not owned).  A root may be marked not local
//                  to this process (qcRemoteObject::isLocal() false).
//   qcPelBuffer<T> a handle on a window (a rectangle) of a root, with an offset
//                  and a coordinate transform.  Copying a buffer copies the
//                  handle: both copies share the pels.  qcPelBuffer_const<T> is
//                  the read-only view; a qcPelBuffer<T> converts to it.
//   qc3PlanePelBuffer  three 8-bit planes of one size (a colour image).
//   qcAcqImage     one acquired image of any of these kinds plus its format.
//
// Coordinates.  Pel (x, y) of a buffer is column x, row y of its window,
// counted from the window's top-left corner.  The window itself lies in the
// root; windows of windows nest.  The offset is the position of the buffer's
// pel (0, 0) in the caller's image (client) coordinates: a new allocation has
// offset (0, 0) and window(x, y, w, h) of a buffer with offset o has offset
// o + (x, y).  The transform (qc2XformBase) is carried along, never applied
// by this library; copyXforms() copies offset and transform together.
//
// Ownership and threads.  A root lives as long as its last handle (buffers
// hold handles).  An allocating root frees its memory then; a wrapping root
// calls the release function given at construction and never frees the
// memory.  Handle counting is atomic, so buffers sharing a root may be copied
// and destroyed on different threads; the pels themselves are not guarded:
// writers and readers of the same pels must synchronise on their own.  A
// const qcPelBuffer<T> still gives write access to its pels (a const handle,
// not const pels): pass qcPelBuffer_const<T> for read-only access.
//
// Errors throw the exceptions of qc_PelBuffer (all derive from
// qc_PelBuffer::Errors, a qcExceptionWithString whose info() says what was
// wrong); qcHistoStats throws qcHistoStats::BadParams.  Operations that are
// not listed as throwing do not throw, except std::bad_alloc.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <cstddef>
#include <cstdint>
#include <functional>
#include <type_traits>
#include <variant>
#include <vector>

#include <qrn/foundation/exception.h>
#include <qrn/foundation/geometry.h>
#include <qrn/foundation/handle.h>

// The public image format numbering; the video format code defines its
// values (1 grey 8-bit, 2 grey 16-bit, 3 packed RGB16, 4 packed RGB32,
// 12 three-plane, -1 unspecified).  Declared here so that qcAcqImage can carry
// one; it must be defined elsewhere as `enum qeImageFormat : int { ... };`.
enum qeImageFormat : int;

// ============================================================================
// Pel types
// ============================================================================

// An RGB colour packed 5-6-5 in 16 bits: red in bits 15..11, green in bits
// 10..5, blue in bits 4..0.
class qcPackedRGB16Pel {
public:
  // Black (all bits 0).
  constexpr qcPackedRGB16Pel() = default;
  // From 8-bit components: keeps the top 5, 6 and 5 bits.
  constexpr qcPackedRGB16Pel(unsigned char r, unsigned char g, unsigned char b)
      : v_(static_cast<std::uint16_t>(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3))) {}
  // The pel whose 16-bit word is `bits` (the layout above); bits() gives it back.
  static constexpr qcPackedRGB16Pel fromBits(std::uint16_t bits) {
    qcPackedRGB16Pel p;
    p.v_ = bits;
    return p;
  }

  // The 16-bit word as stored (red in bits 15..11, green 10..5, blue 4..0).
  constexpr std::uint16_t bits() const { return v_; }
  // The packed fields as stored (0..31, 0..63, 0..31).
  constexpr unsigned r5() const { return v_ >> 11; }
  constexpr unsigned g6() const { return (v_ >> 5) & 0x3Fu; }
  constexpr unsigned b5() const { return v_ & 0x1Fu; }
  // The components widened to 8 bits by repeating their high bits, so that
  // 0 stays 0 and a full field gives 255; packing the result again gives the
  // same pel.
  constexpr unsigned char r() const { return static_cast<unsigned char>((r5() << 3) | (r5() >> 2)); }
  constexpr unsigned char g() const { return static_cast<unsigned char>((g6() << 2) | (g6() >> 4)); }
  constexpr unsigned char b() const { return static_cast<unsigned char>((b5() << 3) | (b5() >> 2)); }

  // Equal when the 16-bit words are.
  friend constexpr bool operator==(qcPackedRGB16Pel a, qcPackedRGB16Pel b) { return a.v_ == b.v_; }

private:
  std::uint16_t v_ = 0;
};

// An RGB colour with alpha in 32 bits: the bytes blue, green, red, alpha in
// that order in memory.
class qcPackedRGB32Pel {
public:
  // Black with alpha 0, or the given components (alpha 0 unless given).
  constexpr qcPackedRGB32Pel() = default;
  constexpr qcPackedRGB32Pel(unsigned char r, unsigned char g, unsigned char b, unsigned char alpha = 0)
      : b_(b), g_(g), r_(r), a_(alpha) {}

  // The red, green, blue and alpha components (0..255), and their setters.
  // The library writes alpha as given and never reads it.
  constexpr unsigned char r() const { return r_; }
  constexpr unsigned char g() const { return g_; }
  constexpr unsigned char b() const { return b_; }
  constexpr unsigned char alpha() const { return a_; }
  void r(unsigned char v) { r_ = v; }
  void g(unsigned char v) { g_ = v; }
  void b(unsigned char v) { b_ = v; }
  void alpha(unsigned char v) { a_ = v; }

  // Equal when all four components are (alpha included).
  friend constexpr bool operator==(const qcPackedRGB32Pel&, const qcPackedRGB32Pel&) = default;

private:
  unsigned char b_ = 0, g_ = 0, r_ = 0, a_ = 0;
};

// Three 8-bit components of one pel (for RGB: c0 red, c1 green, c2 blue).
struct qc3PlanePel {
  // The components of planes 0, 1 and 2 (0..255): all 0 by default, or
  // c0 = a, c1 = b, c2 = c as constructed.  Pels are equal when all three
  // components are.
  unsigned char c0 = 0, c1 = 0, c2 = 0;
  constexpr qc3PlanePel() = default;
  constexpr qc3PlanePel(unsigned char a, unsigned char b, unsigned char c) : c0(a), c1(b), c2(c) {}
  friend constexpr bool operator==(const qc3PlanePel&, const qc3PlanePel&) = default;
};

static_assert(sizeof(qcPackedRGB16Pel) == 2 && sizeof(qcPackedRGB32Pel) == 4 && sizeof(qc3PlanePel) == 3);

// ============================================================================
// Storage
// ============================================================================

// An object that may live outside this process (memory of a driver, of a
// device, or shared with another process).  Local by default.
class qcRemoteObject {
public:
  // Remote objects may be destroyed through this base.
  virtual ~qcRemoteObject() = default;
  // True when the object's memory is this process's own and may be read as
  // ordinary memory; true here.
  virtual bool isLocal() const { return true; }
};

// A coordinate transform carried by pixel buffers (image to client
// coordinates).  Reference counted; buffers hold it through
// qcPtrHandle_const and never change it.
class qc2XformBase : public virtual qcRepBase {
public:
  // Deleted by the last handle to it.
  ~qc2XformBase() override = default;
  // Maps a point in image coordinates to client coordinates (mapPoint) or
  // back (invMapPoint).  Buffers on several threads may share one transform,
  // so an implementation used that way must be safe to call concurrently.
  virtual qcPair<double> mapPoint(const qcPair<double>& imagePoint) const = 0;
  virtual qcPair<double> invMapPoint(const qcPair<double>& clientPoint) const = 0;
};

// The untyped part of a root.  Not copyable.  All members may be called from
// any thread; local(bool) must be set before the root is shared.
class qc_PelRoot : public virtual qcRepBase, public qcRemoteObject {
public:
  // Called once when a wrapping root dies (for example to give a driver's
  // buffer back to its pool).  Must not throw.
  using ReleaseFn = std::function<void()>;

  // Run by the last handle: an allocating root frees its memory, a wrapping
  // root calls its release function (if any).
  ~qc_PelRoot() override;
  // A root is shared through handles, never copied.
  qc_PelRoot(const qc_PelRoot&) = delete;
  qc_PelRoot& operator=(const qc_PelRoot&) = delete;

  // The size of the image, in pels (columns and rows).
  long width() const { return width_; }
  long height() const { return height_; }
  // Pels from the start of one row to the start of the next (>= width()).
  long rowUpdate() const { return rowUpdate_; }
  // Bytes per pel (sizeof of the pel type).
  std::size_t pelSize() const { return pelSize_; }
  // Address of pel (0, 0); null for a root of zero size.
  void* data() const { return data_; }
  // True when the root allocated its memory (and frees it).
  bool ownsMemory() const { return owns_; }
  // Alignment in bytes of data() and of every row start for an allocating
  // root; for a wrapping root, the pel type's alignment.
  std::size_t alignment() const { return align_; }

  // Whether the pels are local to this process.  Drivers mark the roots they
  // hand out of device or shared memory non-local (or override isLocal());
  // completions then move such images into local memory (qfPelMove).
  bool isLocal() const override { return local_; }
  void local(bool isLocal) { local_ = isLocal; }

protected:
  // Allocates width x height pels of pelSize bytes, zero-filled.  Each row
  // holds at least `slack` pels beyond the width and starts on an
  // `alignment`-byte boundary (a power of two up to 4096; 0 means
  // qc_PelBuffer::defaultAlignment).  Throws qc_PelBuffer::BadSize for a
  // negative size or slack, a bad alignment, or a size that does not fit in
  // memory.
  qc_PelRoot(long width, long height, std::size_t pelSize, std::size_t pelAlign, long alignment, long slack);
  // Wraps caller memory (not owned).  Throws qc_PelBuffer::BadSize for a
  // negative size, rowUpdate < width, null memory with a non-zero size, or
  // memory not aligned for the pel type.
  qc_PelRoot(void* memory, long width, long height, long rowUpdate, std::size_t pelSize, std::size_t pelAlign,
             ReleaseFn onRelease);

private:
  void* data_ = nullptr;
  long width_ = 0, height_ = 0, rowUpdate_ = 0;
  std::size_t pelSize_ = 0, align_ = 1;
  bool owns_ = false;
  bool local_ = true;
  ReleaseFn onRelease_;
};

// The storage of one image of pels of type T.
template <class T>
class qcPelRoot : public qc_PelRoot {
  static_assert(std::is_trivially_copyable_v<T>, "pels are copied as bytes");

public:
  // Allocates (see qc_PelRoot): rows aligned to `alignment` bytes (0: 32),
  // with at least `slack` spare pels each; the pels start zeroed.
  explicit qcPelRoot(long width, long height, long alignment = 0, long slack = 0)
      : qc_PelRoot(width, height, sizeof(T), alignof(T), alignment, slack) {}
  // Wraps `memory` (not owned; must outlive the root): rows rowUpdate pels
  // apart.  onRelease, if given, is called when the root dies.
  qcPelRoot(T* memory, long width, long height, long rowUpdate, ReleaseFn onRelease = {})
      : qc_PelRoot(memory, width, height, rowUpdate, sizeof(T), alignof(T), std::move(onRelease)) {}

  // Row y and pel (x, y) of the whole root (not of a buffer's window).
  // Unchecked: the caller keeps 0 <= x <= width(), 0 <= y < height(), on a
  // root that has pels (data() not null).
  T* rowPointer(long y) const { return static_cast<T*>(data()) + y * rowUpdate(); }
  T* pelPointer(long x, long y) const { return rowPointer(y) + x; }
};

// ============================================================================
// Buffers
// ============================================================================

// The untyped part of every pixel buffer: size, window, offset, transform and
// bound state.  An unbound buffer has no root and size 0 x 0.
class qc_PelBuffer {
public:
  // The base of the buffer exceptions (no code of its own); info() says what
  // was wrong.
  QC_EXCEPTION(Errors, qcExceptionWithString, 0);
  // An operation that needs pels was given an unbound buffer.
  QC_EXCEPTION(NotBound, Errors, 0x10000120);
  // A negative size, a bad alignment, an allocation too large, or wrapped
  // memory that does not fit the pel type.
  QC_EXCEPTION(BadSize, Errors, 0x10000121);
  // A window that does not lie wholly inside its buffer (or root).
  QC_EXCEPTION(BadWindow, Errors, 0x10000122);
  // get()/set() outside the buffer.
  QC_EXCEPTION(BadPosition, Errors, 0x10000123);
  // Buffers whose sizes must match do not.
  QC_EXCEPTION(SizeMismatch, Errors, 0x10000124);

  // Row alignment of the default allocation, in bytes.
  static constexpr long defaultAlignment = 32;

  // Drops the buffer's handle on its root (the last handle frees the root).
  virtual ~qc_PelBuffer();

  // Whether the buffer has a root.  A bound buffer may still be empty (a
  // window of width or height 0).
  bool isBound() const { return bound_; }
  // The window's width, height and (width, height), in pels; 0 when unbound.
  long width() const { return win_.width(); }
  long height() const { return win_.height(); }
  qcPair<long> size() const { return win_.size(); }
  // The window in root coordinates ((0, 0, 0, 0) when unbound).  For a
  // three-plane buffer, the window of plane 0.
  qcPelRect window() const { return win_; }
  // Pels from one row to the next (0 when unbound).
  long rowUpdate() const { return root_ ? root_->rowUpdate() : 0; }

  // The client coordinates of pel (0, 0), and its setters (the transform
  // stays; a three-plane buffer sets its planes' too).
  qcPair<long> offset() const { return offset_; }
  void offset(const qcPair<long>& o);
  void offset(long x, long y) { offset(qcPair<long>(x, y)); }
  // The coordinate transform (empty by default), and its setter (shares `x`;
  // a three-plane buffer sets its planes' too).
  const qcPtrHandle_const<qc2XformBase>& xform() const { return xform_; }
  void xform(const qcPtrHandle_const<qc2XformBase>& x);
  // Takes the offset and the transform of `from`.
  void copyXforms(const qc_PelBuffer& from);

  // True when the buffer is unbound or all its storage is local to this
  // process.
  virtual bool isLocal() const;
  // Drops the root (and the planes): the buffer becomes unbound.  Offset and
  // transform are kept.
  virtual void unbind();
  // A heap copy of the buffer with its dynamic type, sharing the pels.  The
  // caller owns it.
  virtual qc_PelBuffer* clone() const = 0;

  // The root (plane 0's for a three-plane buffer); null when unbound.
  const qc_PelRoot* untypedRoot() const { return root_.ptr(); }

  // Internal, for the library's untyped loops: the address of pel (0, 0)
  // and the distance between rows in bytes (null and 0 when unbound or
  // empty), the pel size.
  unsigned char* bytes_() const { return originPtr_; }
  long rowBytes_() const { return rowStride_; }
  std::size_t pelSize_() const { return root_ ? root_->pelSize() : 0; }

protected:
  // Unbound, or a copy: it shares the root (the pels) and takes the window,
  // offset and transform.  For the buffer classes only.
  qc_PelBuffer() = default;
  qc_PelBuffer(const qc_PelBuffer&) = default;
  qc_PelBuffer& operator=(const qc_PelBuffer&) = default;

  // Binds to `win` of `root` (throws BadWindow when it does not lie inside).
  // Offset and transform are left alone.
  void bind_(const qcPtrHandle<qc_PelRoot>& root, const qcPelRect& win);
  // Binds to window `r` of `parent` (relative to its window): offset becomes
  // parent's offset + r's origin, the transform is parent's.  Throws NotBound
  // or BadWindow.
  void bindWindow_(const qc_PelBuffer& parent, const qcPelRect& r);
  // Throws BadPosition unless (x, y) lies inside the buffer (NotBound when
  // unbound).
  void checkPos_(long x, long y) const;
  // Called after offset or transform changed (three-plane buffers pass them
  // on to their planes).
  virtual void xformsChanged_() {}

private:
  qcPtrHandle<qc_PelRoot> root_;
  qcPelRect win_;
  qcPair<long> offset_;
  qcPtrHandle_const<qc2XformBase> xform_;
  unsigned char* originPtr_ = nullptr;
  long rowStride_ = 0;
  bool bound_ = false;
};

// A read-only pixel buffer of pels T.
template <class T>
class qcPelBuffer_const : public qc_PelBuffer {
public:
  // The pel type, and the type of the root that holds such pels.
  using pel_type = T;
  using root_type = qcPelRoot<T>;

  // Unbound.
  qcPelBuffer_const() = default;
  // Allocates a new root of width x height (see qcPelRoot).  Throws BadSize.
  qcPelBuffer_const(long width, long height, long alignment = 0, long slack = 0) {
    bind_(qcPtrHandle<qc_PelRoot>(new qcPelRoot<T>(width, height, alignment, slack)),
          qcPelRect(0, 0, width, height));
  }
  // The whole of `root` (unbound when root is empty).
  explicit qcPelBuffer_const(const qcPtrHandle<qcPelRoot<T>>& root) {
    if (root) bind_(qcPtrHandle<qc_PelRoot>(root), qcPelRect(0, 0, root->width(), root->height()));
  }
  // Window `win` (root coordinates) of `root`.  Throws NotBound for an empty
  // root handle, BadWindow.
  qcPelBuffer_const(const qcPtrHandle<qcPelRoot<T>>& root, const qcPelRect& win) {
    if (!root) throw NotBound("qcPelBuffer: null root");
    bind_(qcPtrHandle<qc_PelRoot>(root), win);
  }
  // Window `win` of `parent`, relative to parent's window (see window()).
  qcPelBuffer_const(const qcPelBuffer_const& parent, const qcPelRect& win) { bindWindow_(parent, win); }

  using qc_PelBuffer::window;
  // The sub-window (x, y, w, h) of this buffer, sharing its root; offset
  // this offset + (x, y).  Throws NotBound, BadWindow (negative size or not
  // wholly inside this buffer).
  qcPelBuffer_const window(long x, long y, long w, long h) const {
    return qcPelBuffer_const(*this, qcPelRect(x, y, w, h));
  }

  // Pointers into the window: rows are rowUpdate() pels apart.  Unchecked:
  // the caller keeps 0 <= x <= width(), 0 <= y < height() on a bound buffer.
  // A buffer without pels (unbound, or zero width or height) gives null.
  const T* rowPointer(long y) const { return reinterpret_cast<const T*>(bytes_() + y * rowBytes_()); }
  const T* pelPointer(long x, long y) const { return rowPointer(y) + x; }
  // The pel at (x, y).  Throws NotBound, BadPosition.
  T get(long x, long y) const {
    checkPos_(x, y);
    return *pelPointer(x, y);
  }

  // The root, shared, read-only; an empty handle when unbound.
  qcPtrHandle_const<qcPelRoot<T>> root() const {
    return qcPtrHandle_const<qcPelRoot<T>>(static_cast<const qcPelRoot<T>*>(untypedRoot()));
  }

  qc_PelBuffer* clone() const override { return new qcPelBuffer_const(*this); }
};

// A pixel buffer of pels T with write access.  Converts to
// qcPelBuffer_const<T> (sharing the pels); the reverse needs the root.
template <class T>
class qcPelBuffer : public qcPelBuffer_const<T> {
  using Base = qcPelBuffer_const<T>;

public:
  // As qcPelBuffer_const's: unbound; a new zeroed root of width x height
  // (throws BadSize); the whole of `root` (unbound for an empty handle);
  // window `win` of `root` in root coordinates (throws NotBound for an empty
  // handle, BadWindow); window `win` of `parent`, relative to its window
  // (throws NotBound, BadWindow).
  qcPelBuffer() = default;
  qcPelBuffer(long width, long height, long alignment = 0, long slack = 0) : Base(width, height, alignment, slack) {}
  explicit qcPelBuffer(const qcPtrHandle<qcPelRoot<T>>& root) : Base(root) {}
  qcPelBuffer(const qcPtrHandle<qcPelRoot<T>>& root, const qcPelRect& win) : Base(root, win) {}
  qcPelBuffer(const qcPelBuffer& parent, const qcPelRect& win) : Base(parent, win) {}

  using qc_PelBuffer::window;
  // The sub-window (x, y, w, h), writable, sharing the root; offset this
  // offset + (x, y).  Throws NotBound, BadWindow.
  qcPelBuffer window(long x, long y, long w, long h) const { return qcPelBuffer(*this, qcPelRect(x, y, w, h)); }

  // Writable pointers into the window, unchecked, as
  // qcPelBuffer_const::rowPointer() (null without pels).
  T* rowPointer(long y) const { return const_cast<T*>(Base::rowPointer(y)); }
  T* pelPointer(long x, long y) const { return rowPointer(y) + x; }
  // Writes the pel at (x, y).  Throws NotBound, BadPosition.
  void set(long x, long y, const T& v) const {
    this->checkPos_(x, y);
    *pelPointer(x, y) = v;
  }

  // The root, shared, writable; an empty handle when unbound.
  qcPtrHandle<qcPelRoot<T>> root() const {
    return qcPtrHandle<qcPelRoot<T>>(const_cast<qcPelRoot<T>*>(static_cast<const qcPelRoot<T>*>(this->untypedRoot())));
  }

  qc_PelBuffer* clone() const override { return new qcPelBuffer(*this); }
};

// A colour image as three 8-bit planes of one size, each its own
// qcPelBuffer<unsigned char> (possibly of different roots).  For RGB, plane 0
// is red, plane 1 green, plane 2 blue.  Offset and transform set on the
// buffer are set on all three planes.
class qc3PlanePelBuffer : public qc_PelBuffer {
public:
  // What the planes hold: a label the buffer carries (the library's
  // operations neither check nor convert it).  RGB: red, green, blue; HSI:
  // hue, saturation, intensity; YUV: luma and two chroma planes.
  enum ColorSpace : int { Unknown = 0, RGB = 1, HSI = 2, YUV = 3 };

  // Unbound, colour space RGB.
  qc3PlanePelBuffer() = default;
  // Allocates three planes of width x height (see qcPelRoot).  Throws BadSize.
  qc3PlanePelBuffer(long width, long height, long alignment = 0, long slack = 0, ColorSpace cs = RGB);
  // Joins three planes; offset and transform are plane 0's.  All three
  // unbound gives an unbound buffer.  Throws SizeMismatch when the planes'
  // sizes (or bound states) differ.
  qc3PlanePelBuffer(const qcPelBuffer<unsigned char>& p0, const qcPelBuffer<unsigned char>& p1,
                    const qcPelBuffer<unsigned char>& p2, ColorSpace cs = RGB);

  // Planes 0, 1 and 2 (for RGB: red, green, blue), sharing their pels with
  // this buffer; unbound when it is.
  const qcPelBuffer<unsigned char>& plane0() const { return planes_[0]; }
  const qcPelBuffer<unsigned char>& plane1() const { return planes_[1]; }
  const qcPelBuffer<unsigned char>& plane2() const { return planes_[2]; }
  // Plane i (0..2).  Throws BadPosition for another i.
  const qcPelBuffer<unsigned char>& plane(int i) const;

  // The colour space label (RGB by default), and its setter.
  ColorSpace colorSpace() const { return cs_; }
  void colorSpace(ColorSpace cs) { cs_ = cs; }

  using qc_PelBuffer::window;
  // The same window of all three planes.  Throws NotBound, BadWindow.
  qc3PlanePelBuffer window(long x, long y, long w, long h) const;

  // The three components at (x, y).  Throw NotBound, BadPosition.
  qc3PlanePel get(long x, long y) const;
  void set(long x, long y, const qc3PlanePel& v) const;

  bool isLocal() const override;
  void unbind() override;
  qc_PelBuffer* clone() const override { return new qc3PlanePelBuffer(*this); }

protected:
  void xformsChanged_() override;

private:
  qcPelBuffer<unsigned char> planes_[3];
  ColorSpace cs_ = RGB;
};

// ============================================================================
// Operations
// ============================================================================

// Copies the pels of src into dst (not offset or transform).  The windows may
// overlap (same root): the result is as if src were read first.  Throws
// NotBound when either is unbound, SizeMismatch when the sizes differ.
template <class T>
QRN_EXPORT void qfPelCopy(const qcPelBuffer_const<T>& src, const qcPelBuffer<T>& dst);
void qfPelCopy(const qc3PlanePelBuffer& src, const qc3PlanePelBuffer& dst);

// Returns `buffer` itself when it is unbound or its storage is local to this
// process; otherwise a new local buffer of the same size (rows aligned to
// `alignment` bytes, 0: the default) with a copy of the pels and the same
// offset, transform (and colour space).
template <class T>
QRN_EXPORT qcPelBuffer<T> qfPelMove(const qcPelBuffer<T>& buffer, long alignment = 0);
qc3PlanePelBuffer qfPelMove(const qc3PlanePelBuffer& buffer, long alignment = 0);

// Packs three 8-bit planes (red, green, blue) into packed pels.  When dst is
// unbound or not of the planes' size it is bound to a new buffer of that size
// first; otherwise its pels are overwritten in place.  dst takes red's offset
// and transform.  Throws NotBound when a plane is unbound, SizeMismatch when
// the planes' sizes differ.
void qfRGBPack(const qcPelBuffer_const<unsigned char>& red, const qcPelBuffer_const<unsigned char>& green,
               const qcPelBuffer_const<unsigned char>& blue, qcPelBuffer<qcPackedRGB16Pel>& dst);
void qfRGBPack(const qcPelBuffer_const<unsigned char>& red, const qcPelBuffer_const<unsigned char>& green,
               const qcPelBuffer_const<unsigned char>& blue, qcPelBuffer<qcPackedRGB32Pel>& dst,
               unsigned char alpha = 0);
void qfRGBPack(const qc3PlanePelBuffer& src, qcPelBuffer<qcPackedRGB16Pel>& dst);
void qfRGBPack(const qc3PlanePelBuffer& src, qcPelBuffer<qcPackedRGB32Pel>& dst, unsigned char alpha = 0);
// The reverse: packed pels into three planes (RGB16 fields widened as
// qcPackedRGB16Pel::r() does).  dst is reallocated the same way when unbound
// or of another size, its colour space set to RGB, its offset and transform
// taken from src.  Throws NotBound when src is unbound.
void qfRGBUnpack(const qcPelBuffer_const<qcPackedRGB16Pel>& src, qc3PlanePelBuffer& dst);
void qfRGBUnpack(const qcPelBuffer_const<qcPackedRGB32Pel>& src, qc3PlanePelBuffer& dst);

// The histogram of a grey image: bin v counts the pels of value v (256 bins
// for 8-bit, 65536 for 16-bit).  Throws NotBound.
std::vector<long> qfPelHistogram(const qcPelBuffer_const<unsigned char>& image);
std::vector<long> qfPelHistogram(const qcPelBuffer_const<unsigned short>& image);

// Statistics of a histogram (bin index = pel value).  With no pels (count 0)
// every statistic is 0.
class qcHistoStats {
public:
  // A bin with a negative count, or counts whose sum overflows a long.
  QC_EXCEPTION(BadParams, qcExceptionWithString, 0x10000125);

  // The statistics of no pels: all 0.
  qcHistoStats() = default;
  // Throws BadParams for a negative bin or a total count beyond a long.
  explicit qcHistoStats(const std::vector<long>& histogram);

  // The number of pels (the sum of the bins), and the smallest and largest
  // values present.
  long count() const { return count_; }
  long min() const { return min_; }  // smallest value present
  long max() const { return max_; }  // largest value present
  // The mean pel value.
  double mean() const { return mean_; }
  // The lower median: the smallest v with at least (count + 1) / 2 pels <= v.
  long median() const { return median_; }
  // The most frequent value (the smallest of equally frequent ones).
  long mode() const { return mode_; }
  // Population standard deviation (divides by count).
  double sdev() const { return sdev_; }

private:
  long count_ = 0, min_ = 0, max_ = 0, median_ = 0, mode_ = 0;
  double mean_ = 0.0, sdev_ = 0.0;
};

// ============================================================================
// Acquired images
// ============================================================================

// The image format that goes with each pel type by default.
template <class T>
constexpr int qf_defaultImageFormat() {
  if constexpr (std::is_same_v<T, unsigned char>) return 1;
  else if constexpr (std::is_same_v<T, unsigned short>) return 2;
  else if constexpr (std::is_same_v<T, qcPackedRGB16Pel>) return 3;
  else if constexpr (std::is_same_v<T, qcPackedRGB32Pel>) return 4;
  else return -1;
}

// One acquired image of any buffer kind, with its image format.  Reference
// counted: completions hand it out through qcPtrHandle<qcAcqImage>.  The
// object is immutable after construction, so it may be read from any thread.
class qcAcqImage : public virtual qcRepBase {
public:
  // The buffer kinds an image may hold.
  using Image = std::variant<std::monostate, qcPelBuffer<unsigned char>, qcPelBuffer<unsigned short>,
                             qcPelBuffer<qcPackedRGB16Pel>, qcPelBuffer<qcPackedRGB32Pel>,
                             qcPelBuffer<qc3PlanePel>, qc3PlanePelBuffer>;

  // Empty, format -1.
  qcAcqImage() : format_(static_cast<qeImageFormat>(-1)) {}
  // Holds `buffer` (shared, not copied) with `format`, or by default its pel
  // type's format (1, 2, 3, 4; -1 for qc3PlanePel; 12 for a three-plane
  // buffer).
  template <class T>
  explicit qcAcqImage(const qcPelBuffer<T>& buffer)
      : image_(buffer), format_(static_cast<qeImageFormat>(qf_defaultImageFormat<T>())) {}
  template <class T>
  qcAcqImage(const qcPelBuffer<T>& buffer, qeImageFormat format) : image_(buffer), format_(format) {}
  explicit qcAcqImage(const qc3PlanePelBuffer& buffer) : image_(buffer), format_(static_cast<qeImageFormat>(12)) {}
  qcAcqImage(const qc3PlanePelBuffer& buffer, qeImageFormat format) : image_(buffer), format_(format) {}

  // The image format given at construction (-1 for an empty image).
  qeImageFormat imageFormat() const { return format_; }
  // True when the image holds no buffer or an unbound one.
  bool isEmpty() const;
  // The held buffer (null when none); valid as long as this object.
  const qc_PelBuffer* buffer() const;

  // True when the image holds a buffer of kind B.
  template <class B>
  bool holds() const {
    return std::holds_alternative<B>(image_);
  }
  // The held buffer if it is of kind B, else an unbound B; grey8() to
  // threePlane() name image<B>() for each kind.  The result shares the pels.
  template <class B>
  B image() const {
    const B* p = std::get_if<B>(&image_);
    return p ? *p : B();
  }
  qcPelBuffer<unsigned char> grey8() const { return image<qcPelBuffer<unsigned char>>(); }
  qcPelBuffer<unsigned short> grey16() const { return image<qcPelBuffer<unsigned short>>(); }
  qcPelBuffer<qcPackedRGB16Pel> rgb16() const { return image<qcPelBuffer<qcPackedRGB16Pel>>(); }
  qcPelBuffer<qcPackedRGB32Pel> rgb32() const { return image<qcPelBuffer<qcPackedRGB32Pel>>(); }
  qcPelBuffer<qc3PlanePel> pel3() const { return image<qcPelBuffer<qc3PlanePel>>(); }
  qc3PlanePelBuffer threePlane() const { return image<qc3PlanePelBuffer>(); }

private:
  Image image_;
  qeImageFormat format_;
};

// The operations are compiled once in the library for the five pel types.
#define QC_PEL_EXTERN_(T)                                                               \
  extern template void qfPelCopy<T>(const qcPelBuffer_const<T>&, const qcPelBuffer<T>&); \
  extern template qcPelBuffer<T> qfPelMove<T>(const qcPelBuffer<T>&, long);
QC_PEL_EXTERN_(unsigned char)
QC_PEL_EXTERN_(unsigned short)
QC_PEL_EXTERN_(qcPackedRGB16Pel)
QC_PEL_EXTERN_(qcPackedRGB32Pel)
QC_PEL_EXTERN_(qc3PlanePel)
#undef QC_PEL_EXTERN_

QRN_API_END
