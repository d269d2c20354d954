// Row-end watermarks of image buffers.
#include <qrn/acq/hyper/watermark.h>

#include <cstring>

#include <qrn/foundation/misc.h>
#include <qrn/foundation/pelbuffer.h>

namespace {

struct Geometry {
  long wordsPerRow = 0;  // distance between rows in words
  long lastWord = 0;     // index of the last whole word of a row
};

// Checks the geometry; false (after a debug assertion) when the buffer
// cannot be marked without writing outside its rows.
bool geometry(const void* buffer, long width, long height, long pitch, long bytesPerPel, Geometry& g) {
  bool ok = bytesPerPel == 1 || bytesPerPel == 2 || bytesPerPel == 4;
  qstd_assert(ok);
  if (!ok) return false;
  long pelsPerWord = 4 / bytesPerPel;
  ok = height >= 0 && width >= pelsPerWord && pitch >= width;
  qstd_assert(ok);
  if (!ok) return false;
  if (height == 0) return true;
  qstd_assert(buffer != nullptr);
  if (buffer == nullptr) return false;
  // Rows that do not start on a word boundary are a caller error; the marks
  // then miss the row ends but stay inside the rows.
  qstd_assert(pitch % 4 == 0);
  g.wordsPerRow = pitch / pelsPerWord;
  g.lastWord = width / pelsPerWord - 1;
  return true;
}

inline std::uint32_t readWord(const unsigned char* base, long word) {
  std::uint32_t w;
  std::memcpy(&w, base + static_cast<std::size_t>(word) * 4, 4);
  return w;
}

inline void writeWord(unsigned char* base, long word, std::uint32_t w) {
  std::memcpy(base + static_cast<std::size_t>(word) * 4, &w, 4);
}

// The raw arguments of a bound buffer; false when it is unbound.
bool bufferArgs(const qc_PelBuffer& b, unsigned char*& base, long& pitch, long& bytesPerPel) {
  if (!b.isBound()) return false;
  bytesPerPel = static_cast<long>(b.pelSize_());
  base = b.bytes_();
  pitch = bytesPerPel > 0 ? b.rowBytes_() / bytesPerPel : 0;
  return true;
}

}  // namespace

void qcWatermark::addWatermark(void* buffer, long width, long height, long pitch, long bytesPerPel, bool enable) {
  if (!enable) return;
  Geometry g;
  if (!geometry(buffer, width, height, pitch, bytesPerPel, g)) return;
  auto* base = static_cast<unsigned char*>(buffer);
  for (long r = 0; r < height; ++r) {
    writeWord(base, r * g.wordsPerRow, mark);
    writeWord(base, r * g.wordsPerRow + g.lastWord, mark);
  }
}

unsigned long qcWatermark::checkWatermark(const void* buffer, long width, long height, long pitch, long bytesPerPel,
                                          bool enable) {
  if (!enable) return allWritten;
  Geometry g;
  if (!geometry(buffer, width, height, pitch, bytesPerPel, g)) return allWritten;
  const auto* base = static_cast<const unsigned char*>(buffer);
  long total = 0, even = 0, odd = 0;
  for (long r = 0; r < height; ++r) {
    bool unwritten = readWord(base, r * g.wordsPerRow) == mark || readWord(base, r * g.wordsPerRow + g.lastWord) == mark;
    if (!unwritten) continue;
    ++total;
    (r % 2 == 0 ? even : odd) += 1;
  }
  const long H = height, h = height / 2;
  if (total == 0) return allWritten;
  if (total == H) return noRowWritten;
  if (H % 2 != 0) return someRowsUnwrittenOddHeight;
  // H even: h even rows and h odd rows.
  const bool allEven = even == h, allOdd = odd == h;
  if (total == h && allEven) return evenFieldUnwritten;
  if (total == h && allOdd) return oddFieldUnwritten;
  if (total > h && allEven) return evenFieldAndMoreUnwritten;
  if (total > h && allOdd) return oddFieldAndMoreUnwritten;
  if (total > h) return mostRowsUnwritten;
  if (odd == 0) return someEvenRowsUnwritten;
  if (even == 0) return someOddRowsUnwritten;
  return mixedRowsUnwritten;
}

void qcWatermark::addWatermark(const qc_PelBuffer& buffer, bool enable) {
  unsigned char* base;
  long pitch, bpp;
  if (!enable || !bufferArgs(buffer, base, pitch, bpp)) return;
  addWatermark(base, buffer.width(), buffer.height(), pitch, bpp, true);
}

unsigned long qcWatermark::checkWatermark(const qc_PelBuffer& buffer, bool enable) {
  unsigned char* base;
  long pitch, bpp;
  if (!enable || !bufferArgs(buffer, base, pitch, bpp)) return allWritten;
  return checkWatermark(base, buffer.width(), buffer.height(), pitch, bpp, true);
}
