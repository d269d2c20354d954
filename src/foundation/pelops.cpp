// Operations on pixel buffers: copy, move to local memory, RGB packing,
// histograms and their statistics.
#include <qrn/foundation/pelbuffer.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <new>
#include <numeric>
#include <string>

namespace {

std::string sizeText(const qc_PelBuffer& b) { return std::to_string(b.width()) + "x" + std::to_string(b.height()); }

void requireBound(const qc_PelBuffer& b, const char* what) {
  if (!b.isBound()) throw qc_PelBuffer::NotBound(std::string(what) + ": unbound buffer");
}

void requireSameSize(const qc_PelBuffer& a, const qc_PelBuffer& b, const char* what) {
  if (a.size() != b.size())
    throw qc_PelBuffer::SizeMismatch(std::string(what) + ": sizes " + sizeText(a) + " and " + sizeText(b) + " differ");
}

// Copies the window of src into the window of dst (same size and pel size),
// row by row; when the two share memory the rows go in the order that reads
// every source row before it is overwritten.
void copyBytes(const qc_PelBuffer& src, const qc_PelBuffer& dst) {
  const unsigned char* s = src.bytes_();
  unsigned char* d = dst.bytes_();
  if (!s || !d || s == d) return;  // empty window, or copying onto itself
  const std::size_t n = static_cast<std::size_t>(src.width()) * src.pelSize_();
  const long h = src.height();
  // Rows back to back in both: one block (memmove keeps overlap safe).
  if (static_cast<std::size_t>(src.rowBytes_()) == n && static_cast<std::size_t>(dst.rowBytes_()) == n) {
    std::memmove(d, s, n * static_cast<std::size_t>(h));
    return;
  }
  if (std::less<const unsigned char*>()(s, d)) {
    for (long y = h - 1; y >= 0; --y) std::memmove(d + y * dst.rowBytes_(), s + y * src.rowBytes_(), n);
  } else {
    for (long y = 0; y < h; ++y) std::memmove(d + y * dst.rowBytes_(), s + y * src.rowBytes_(), n);
  }
}

// Makes dst a buffer of w x h unless it already is one.
template <class B>
void ensureSize(B& dst, long w, long h) {
  if (!dst.isBound() || dst.width() != w || dst.height() != h) dst = B(w, h);
}

template <class P, class MakePel>
void pack(const qcPelBuffer_const<unsigned char>& r, const qcPelBuffer_const<unsigned char>& g,
          const qcPelBuffer_const<unsigned char>& b, qcPelBuffer<P>& dst, MakePel makePel) {
  requireBound(r, "qfRGBPack");
  requireBound(g, "qfRGBPack");
  requireBound(b, "qfRGBPack");
  requireSameSize(r, g, "qfRGBPack");
  requireSameSize(r, b, "qfRGBPack");
  ensureSize(dst, r.width(), r.height());
  for (long y = 0; y < r.height(); ++y) {
    const unsigned char* pr = r.rowPointer(y);
    const unsigned char* pg = g.rowPointer(y);
    const unsigned char* pb = b.rowPointer(y);
    P* out = dst.rowPointer(y);
    for (long x = 0; x < r.width(); ++x) out[x] = makePel(pr[x], pg[x], pb[x]);
  }
  dst.copyXforms(r);
}

template <class P>
void unpack(const qcPelBuffer_const<P>& src, qc3PlanePelBuffer& dst) {
  requireBound(src, "qfRGBUnpack");
  ensureSize(dst, src.width(), src.height());
  for (long y = 0; y < src.height(); ++y) {
    const P* in = src.rowPointer(y);
    unsigned char* r = dst.plane0().rowPointer(y);
    unsigned char* g = dst.plane1().rowPointer(y);
    unsigned char* b = dst.plane2().rowPointer(y);
    for (long x = 0; x < src.width(); ++x) {
      r[x] = in[x].r();
      g[x] = in[x].g();
      b[x] = in[x].b();
    }
  }
  dst.colorSpace(qc3PlanePelBuffer::RGB);
  dst.copyXforms(src);
}

template <class T>
std::vector<long> histogram(const qcPelBuffer_const<T>& image) {
  requireBound(image, "qfPelHistogram");
  std::vector<long> h(std::size_t(1) << (8 * sizeof(T)), 0);
  for (long y = 0; y < image.height(); ++y) {
    const T* row = image.rowPointer(y);
    for (long x = 0; x < image.width(); ++x) ++h[row[x]];
  }
  return h;
}

// The new local buffer of a move: width x height pels laid out as an
// allocating root lays them out (rows on `alignment`-byte boundaries, 0: the
// default), but left for the copy to fill.  An allocating root zero-fills its
// pels, a second pass over every moved frame that cost a third of the move's
// bandwidth; here only the row padding is zeroed.  The root wraps the memory
// and frees it when it dies (its ownsMemory() is false and its alignment()
// the pel type's).  Sizes and alignments it does not handle go to the
// allocating root, which throws what it throws for them.
template <class T>
qcPelBuffer<T> moveTarget(long width, long height, long alignment) {
  if (alignment == 0) alignment = qc_PelBuffer::defaultAlignment;
  if (width <= 0 || height <= 0 || alignment < 0 || alignment > 4096 || (alignment & (alignment - 1)) != 0)
    return qcPelBuffer<T>(width, height, alignment);
  const std::size_t align = std::max(static_cast<std::size_t>(alignment), alignof(T));
  const std::size_t unit = align / std::gcd(align, sizeof(T));
  const std::size_t rowUpdate = (static_cast<std::size_t>(width) + unit - 1) / unit * unit;
  const std::size_t rowBytes = rowUpdate * sizeof(T), used = static_cast<std::size_t>(width) * sizeof(T);
  void* memory = ::operator new(rowBytes * static_cast<std::size_t>(height), std::align_val_t(align));
  auto release = [memory, align]() noexcept { ::operator delete(memory, std::align_val_t(align)); };
  qcPtrHandle<qcPelRoot<T>> root;
  try {
    root = qcPtrHandle<qcPelRoot<T>>(
        new qcPelRoot<T>(static_cast<T*>(memory), width, height, static_cast<long>(rowUpdate), release));
  } catch (...) {
    release();
    throw;
  }
  if (rowBytes > used) {
    auto* bytes = static_cast<unsigned char*>(memory);
    for (long y = 0; y < height; ++y) std::memset(bytes + y * rowBytes + used, 0, rowBytes - used);
  }
  return qcPelBuffer<T>(root);
}

}  // namespace

template <class T>
void qfPelCopy(const qcPelBuffer_const<T>& src, const qcPelBuffer<T>& dst) {
  requireBound(src, "qfPelCopy");
  requireBound(dst, "qfPelCopy");
  requireSameSize(src, dst, "qfPelCopy");
  copyBytes(src, dst);
}

void qfPelCopy(const qc3PlanePelBuffer& src, const qc3PlanePelBuffer& dst) {
  requireBound(src, "qfPelCopy");
  requireBound(dst, "qfPelCopy");
  requireSameSize(src, dst, "qfPelCopy");
  for (int i = 0; i < 3; ++i) copyBytes(src.plane(i), dst.plane(i));
}

template <class T>
qcPelBuffer<T> qfPelMove(const qcPelBuffer<T>& buffer, long alignment) {
  if (!buffer.isBound() || buffer.isLocal()) return buffer;
  qcPelBuffer<T> local = moveTarget<T>(buffer.width(), buffer.height(), alignment);
  copyBytes(buffer, local);
  local.copyXforms(buffer);
  return local;
}

qc3PlanePelBuffer qfPelMove(const qc3PlanePelBuffer& buffer, long alignment) {
  if (!buffer.isBound() || buffer.isLocal()) return buffer;
  const long w = buffer.width(), h = buffer.height();
  qc3PlanePelBuffer local(moveTarget<unsigned char>(w, h, alignment), moveTarget<unsigned char>(w, h, alignment),
                          moveTarget<unsigned char>(w, h, alignment), buffer.colorSpace());
  qfPelCopy(buffer, local);
  local.copyXforms(buffer);
  return local;
}

#define QC_PEL_INSTANTIATE_(T)                                                   \
  template void qfPelCopy<T>(const qcPelBuffer_const<T>&, const qcPelBuffer<T>&); \
  template qcPelBuffer<T> qfPelMove<T>(const qcPelBuffer<T>&, long);
QC_PEL_INSTANTIATE_(unsigned char)
QC_PEL_INSTANTIATE_(unsigned short)
QC_PEL_INSTANTIATE_(qcPackedRGB16Pel)
QC_PEL_INSTANTIATE_(qcPackedRGB32Pel)
QC_PEL_INSTANTIATE_(qc3PlanePel)
#undef QC_PEL_INSTANTIATE_

void qfRGBPack(const qcPelBuffer_const<unsigned char>& red, const qcPelBuffer_const<unsigned char>& green,
               const qcPelBuffer_const<unsigned char>& blue, qcPelBuffer<qcPackedRGB16Pel>& dst) {
  pack(red, green, blue, dst,
       [](unsigned char r, unsigned char g, unsigned char b) { return qcPackedRGB16Pel(r, g, b); });
}

void qfRGBPack(const qcPelBuffer_const<unsigned char>& red, const qcPelBuffer_const<unsigned char>& green,
               const qcPelBuffer_const<unsigned char>& blue, qcPelBuffer<qcPackedRGB32Pel>& dst,
               unsigned char alpha) {
  pack(red, green, blue, dst,
       [alpha](unsigned char r, unsigned char g, unsigned char b) { return qcPackedRGB32Pel(r, g, b, alpha); });
}

void qfRGBPack(const qc3PlanePelBuffer& src, qcPelBuffer<qcPackedRGB16Pel>& dst) {
  requireBound(src, "qfRGBPack");
  qfRGBPack(src.plane0(), src.plane1(), src.plane2(), dst);
}

void qfRGBPack(const qc3PlanePelBuffer& src, qcPelBuffer<qcPackedRGB32Pel>& dst, unsigned char alpha) {
  requireBound(src, "qfRGBPack");
  qfRGBPack(src.plane0(), src.plane1(), src.plane2(), dst, alpha);
}

void qfRGBUnpack(const qcPelBuffer_const<qcPackedRGB16Pel>& src, qc3PlanePelBuffer& dst) { unpack(src, dst); }
void qfRGBUnpack(const qcPelBuffer_const<qcPackedRGB32Pel>& src, qc3PlanePelBuffer& dst) { unpack(src, dst); }

std::vector<long> qfPelHistogram(const qcPelBuffer_const<unsigned char>& image) { return histogram(image); }
std::vector<long> qfPelHistogram(const qcPelBuffer_const<unsigned short>& image) { return histogram(image); }

qcHistoStats::qcHistoStats(const std::vector<long>& h) {
  const long n = static_cast<long>(h.size());
  long count = 0;
  double sum = 0.0;
  for (long v = 0; v < n; ++v) {
    if (h[v] < 0) throw BadParams("qcHistoStats: bin " + std::to_string(v) + " is negative");
    if (h[v] == 0) continue;
    if (count == 0) min_ = v;
    max_ = v;
    if (h[v] > h[mode_] || count == 0) mode_ = v;
    if (__builtin_add_overflow(count, h[v], &count)) throw BadParams("qcHistoStats: count overflows");
    sum += static_cast<double>(v) * static_cast<double>(h[v]);
  }
  count_ = count;
  if (count == 0) return;
  mean_ = sum / static_cast<double>(count);

  double sq = 0.0;
  long seen = 0;
  const long half = count / 2 + count % 2;  // (count + 1) / 2 without overflow
  bool medianFound = false;
  for (long v = min_; v <= max_; ++v) {
    if (h[v] == 0) continue;
    const double d = static_cast<double>(v) - mean_;
    sq += d * d * static_cast<double>(h[v]);
    seen += h[v];
    if (!medianFound && seen >= half) {
      median_ = v;
      medianFound = true;
    }
  }
  sdev_ = std::sqrt(sq / static_cast<double>(count));
}
