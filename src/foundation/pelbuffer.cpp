// Pixel buffer storage, windows and the three-plane buffer.
#include <qrn/foundation/pelbuffer.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <numeric>
#include <string>

QC_REGISTER_PERSISTENT(qc_PelBuffer::Errors);
QC_REGISTER_PERSISTENT(qc_PelBuffer::NotBound);
QC_REGISTER_PERSISTENT(qc_PelBuffer::BadSize);
QC_REGISTER_PERSISTENT(qc_PelBuffer::BadWindow);
QC_REGISTER_PERSISTENT(qc_PelBuffer::BadPosition);
QC_REGISTER_PERSISTENT(qc_PelBuffer::SizeMismatch);
QC_REGISTER_PERSISTENT(qcHistoStats::BadParams);

namespace {

std::string sizeText(long w, long h) { return std::to_string(w) + "x" + std::to_string(h); }

std::string rectText(const qcPelRect& r) {
  return "(" + std::to_string(r.x()) + ", " + std::to_string(r.y()) + ", " + std::to_string(r.width()) + ", " +
         std::to_string(r.height()) + ")";
}

constexpr long kMaxBytes = std::numeric_limits<std::ptrdiff_t>::max() / 2;

// rows * rowUpdate * pelSize, or -1 when it does not fit.
long totalBytes(long rows, long rowUpdate, std::size_t pelSize) {
  long pels = 0, bytes = 0;
  if (__builtin_mul_overflow(rows, rowUpdate, &pels)) return -1;
  if (__builtin_mul_overflow(pels, static_cast<long>(pelSize), &bytes)) return -1;
  return bytes > kMaxBytes ? -1 : bytes;
}

}  // namespace

// ---------------------------------------------------------------------------
// qc_PelRoot
// ---------------------------------------------------------------------------

qc_PelRoot::qc_PelRoot(long width, long height, std::size_t pelSize, std::size_t pelAlign, long alignment, long slack)
    : width_(width), height_(height), pelSize_(pelSize), owns_(true) {
  if (width < 0 || height < 0 || slack < 0)
    throw qc_PelBuffer::BadSize("qcPelRoot: negative size " + sizeText(width, height) + " or slack " +
                                std::to_string(slack));
  if (alignment == 0) alignment = qc_PelBuffer::defaultAlignment;
  if (alignment < 0 || (alignment & (alignment - 1)) != 0 || alignment > 4096)
    throw qc_PelBuffer::BadSize("qcPelRoot: alignment " + std::to_string(alignment) +
                                " is not a power of two up to 4096");
  align_ = std::max<std::size_t>(static_cast<std::size_t>(alignment), pelAlign);

  // Rows start on an alignment boundary: rowUpdate * pelSize is a multiple
  // of the alignment.
  const long unit = static_cast<long>(align_ / std::gcd(align_, pelSize));
  long need = 0;
  if (__builtin_add_overflow(width, slack, &need) || need > kMaxBytes - unit)
    throw qc_PelBuffer::BadSize("qcPelRoot: row of " + std::to_string(width) + " pels too long");
  rowUpdate_ = (need + unit - 1) / unit * unit;

  const long bytes = totalBytes(height, rowUpdate_, pelSize);
  if (bytes < 0) throw qc_PelBuffer::BadSize("qcPelRoot: " + sizeText(width, height) + " does not fit in memory");
  if (bytes > 0 && width > 0) {
    data_ = ::operator new(static_cast<std::size_t>(bytes), std::align_val_t(align_));
    std::memset(data_, 0, static_cast<std::size_t>(bytes));
  }
}

qc_PelRoot::qc_PelRoot(void* memory, long width, long height, long rowUpdate, std::size_t pelSize,
                       std::size_t pelAlign, ReleaseFn onRelease)
    : data_(memory),
      width_(width),
      height_(height),
      rowUpdate_(rowUpdate),
      pelSize_(pelSize),
      align_(pelAlign),
      owns_(false),
      onRelease_(std::move(onRelease)) {
  if (width < 0 || height < 0 || rowUpdate < width)
    throw qc_PelBuffer::BadSize("qcPelRoot: bad wrapped size " + sizeText(width, height) + " with rowUpdate " +
                                std::to_string(rowUpdate));
  if (totalBytes(height, rowUpdate, pelSize) < 0)
    throw qc_PelBuffer::BadSize("qcPelRoot: wrapped size " + sizeText(width, height) + " does not fit in memory");
  if (!memory && width > 0 && height > 0) throw qc_PelBuffer::BadSize("qcPelRoot: null memory");
  if (reinterpret_cast<std::uintptr_t>(memory) % pelAlign != 0)
    throw qc_PelBuffer::BadSize("qcPelRoot: wrapped memory not aligned for the pel type");
  if (width == 0 || height == 0) data_ = nullptr;
}

qc_PelRoot::~qc_PelRoot() {
  if (owns_) {
    if (data_) ::operator delete(data_, std::align_val_t(align_));
  } else if (onRelease_) {
    onRelease_();
  }
}

// ---------------------------------------------------------------------------
// qc_PelBuffer
// ---------------------------------------------------------------------------

qc_PelBuffer::~qc_PelBuffer() = default;

void qc_PelBuffer::offset(const qcPair<long>& o) {
  offset_ = o;
  xformsChanged_();
}

void qc_PelBuffer::xform(const qcPtrHandle_const<qc2XformBase>& x) {
  xform_ = x;
  xformsChanged_();
}

void qc_PelBuffer::copyXforms(const qc_PelBuffer& from) {
  offset_ = from.offset_;
  xform_ = from.xform_;
  xformsChanged_();
}

bool qc_PelBuffer::isLocal() const { return !root_ || root_->isLocal(); }

void qc_PelBuffer::unbind() {
  root_.reset();
  win_ = qcPelRect();
  originPtr_ = nullptr;
  rowStride_ = 0;
  bound_ = false;
}

void qc_PelBuffer::bind_(const qcPtrHandle<qc_PelRoot>& root, const qcPelRect& win) {
  const long rw = root->width(), rh = root->height();
  if (win.width() < 0 || win.height() < 0 || win.x() < 0 || win.y() < 0 || win.x() > rw - win.width() ||
      win.y() > rh - win.height())
    throw BadWindow("window " + rectText(win) + " outside a root of " + sizeText(rw, rh));
  // An empty window has no pels: null origin and a zero stride, so that
  // rowPointer(y) stays null instead of pointing outside the root.
  long rowBytes = 0;
  unsigned char* origin = nullptr;
  if (root->data() && win.width() > 0 && win.height() > 0) {
    rowBytes = root->rowUpdate() * static_cast<long>(root->pelSize());
    origin = static_cast<unsigned char*>(root->data()) + win.y() * rowBytes +
             win.x() * static_cast<long>(root->pelSize());
  }
  root_ = root;
  win_ = win;
  originPtr_ = origin;
  rowStride_ = rowBytes;
  bound_ = true;
}

void qc_PelBuffer::bindWindow_(const qc_PelBuffer& parent, const qcPelRect& r) {
  if (!parent.bound_) throw NotBound("window of an unbound buffer");
  if (r.width() < 0 || r.height() < 0 || r.x() < 0 || r.y() < 0 || r.x() > parent.width() - r.width() ||
      r.y() > parent.height() - r.height())
    throw BadWindow("window " + rectText(r) + " outside a buffer of " + sizeText(parent.width(), parent.height()));
  bind_(parent.root_, qcPelRect(parent.win_.x() + r.x(), parent.win_.y() + r.y(), r.width(), r.height()));
  offset_ = qcPair<long>(parent.offset_.x + r.x(), parent.offset_.y + r.y());
  xform_ = parent.xform_;
}

void qc_PelBuffer::checkPos_(long x, long y) const {
  if (!bound_) throw NotBound("pel access on an unbound buffer");
  if (x < 0 || y < 0 || x >= width() || y >= height())
    throw BadPosition("pel (" + std::to_string(x) + ", " + std::to_string(y) + ") outside a buffer of " +
                      sizeText(width(), height()));
}

// ---------------------------------------------------------------------------
// qc3PlanePelBuffer
// ---------------------------------------------------------------------------

qc3PlanePelBuffer::qc3PlanePelBuffer(long width, long height, long alignment, long slack, ColorSpace cs)
    : planes_{qcPelBuffer<unsigned char>(width, height, alignment, slack),
              qcPelBuffer<unsigned char>(width, height, alignment, slack),
              qcPelBuffer<unsigned char>(width, height, alignment, slack)},
      cs_(cs) {
  bind_(planes_[0].root(), planes_[0].window());
}

qc3PlanePelBuffer::qc3PlanePelBuffer(const qcPelBuffer<unsigned char>& p0, const qcPelBuffer<unsigned char>& p1,
                                     const qcPelBuffer<unsigned char>& p2, ColorSpace cs)
    : planes_{p0, p1, p2}, cs_(cs) {
  for (const auto* p : {&p1, &p2})
    if (p->isBound() != p0.isBound() || p->size() != p0.size())
      throw SizeMismatch("three planes of different sizes (" + sizeText(p0.width(), p0.height()) + ", " +
                         sizeText(p->width(), p->height()) + ")");
  if (p0.isBound()) bind_(p0.root(), p0.window());
  copyXforms(p0);  // passes plane 0's offset and transform to all planes
}

const qcPelBuffer<unsigned char>& qc3PlanePelBuffer::plane(int i) const {
  if (i < 0 || i > 2) throw BadPosition("plane " + std::to_string(i) + " of a three-plane buffer");
  return planes_[i];
}

qc3PlanePelBuffer qc3PlanePelBuffer::window(long x, long y, long w, long h) const {
  if (!isBound()) throw NotBound("window of an unbound buffer");
  qc3PlanePelBuffer r(*this);
  for (auto& p : r.planes_) p = p.window(x, y, w, h);
  r.bindWindow_(*this, qcPelRect(x, y, w, h));
  r.xformsChanged_();
  return r;
}

qc3PlanePel qc3PlanePelBuffer::get(long x, long y) const {
  checkPos_(x, y);
  return {*planes_[0].pelPointer(x, y), *planes_[1].pelPointer(x, y), *planes_[2].pelPointer(x, y)};
}

void qc3PlanePelBuffer::set(long x, long y, const qc3PlanePel& v) const {
  checkPos_(x, y);
  *planes_[0].pelPointer(x, y) = v.c0;
  *planes_[1].pelPointer(x, y) = v.c1;
  *planes_[2].pelPointer(x, y) = v.c2;
}

bool qc3PlanePelBuffer::isLocal() const {
  for (const auto& p : planes_)
    if (!p.isLocal()) return false;
  return true;
}

void qc3PlanePelBuffer::unbind() {
  for (auto& p : planes_) p.unbind();
  qc_PelBuffer::unbind();
}

void qc3PlanePelBuffer::xformsChanged_() {
  for (auto& p : planes_) {
    p.offset(offset());
    p.xform(xform());
  }
}

// ---------------------------------------------------------------------------
// qcAcqImage
// ---------------------------------------------------------------------------

const qc_PelBuffer* qcAcqImage::buffer() const {
  return std::visit(
      [](const auto& b) -> const qc_PelBuffer* {
        if constexpr (std::is_same_v<std::decay_t<decltype(b)>, std::monostate>)
          return nullptr;
        else
          return &b;
      },
      image_);
}

bool qcAcqImage::isEmpty() const {
  const qc_PelBuffer* b = buffer();
  return !b || !b->isBound();
}
