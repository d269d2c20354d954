// Watermarks: mark the row ends of an image buffer before an acquisition,
// and tell afterwards which rows the hardware wrote.
//
// The mark is the 32-bit word 0xFF0F00FF, written into the first and the last
// whole 32-bit word of every row.  A row is "unwritten" when either word
// still holds the mark after the acquisition.
//
// Raw form: `buffer` points at pel (0, 0); width and height in pels and rows;
// `pitch` the distance between rows in pels (a multiple of 4); bytesPerPel 1,
// 2 or 4.  The buffer must hold `height` rows of `pitch` pels (the last row
// needs only `width` pels).  Geometry that cannot be marked safely (a null
// buffer with rows, bytesPerPel other than 1, 2 or 4, a row narrower than one
// word, width above pitch, a negative size) fires a debug assertion;
// addWatermark then writes nothing and checkWatermark returns 0.
//
// Buffer form: the same over a bound pixel buffer's window (its pel size must
// be 1, 2 or 4 bytes and its row distance a multiple of 4 pels).  An unbound
// buffer is left alone (check: 0).
//
// The functions touch only the marked words; they take no lock: the caller
// must not run them while the hardware writes the same buffer.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <cstdint>

class qc_PelBuffer;

// Marks the row ends of an image buffer before an acquisition and tells afterwards which rows were written.
class qcWatermark {
public:
  // The mark written into the row ends (in the host's byte order).
  static constexpr std::uint32_t mark = 0xFF0F00FFu;

  // Result codes of checkWatermark (H the number of rows, h = H / 2).
  enum Result : unsigned long {
    allWritten = 0,                  // no row is unwritten (or disabled)
    someOddRowsUnwritten = 1,        // H even: unwritten rows are all odd
    someEvenRowsUnwritten = 2,       // H even: unwritten rows are all even
    mostRowsUnwritten = 3,           // H even: more than h rows unwritten
    evenFieldUnwritten = 4,          // H even: exactly the even rows unwritten
    evenFieldAndMoreUnwritten = 6,   // H even: every even row and some odd ones
    oddFieldUnwritten = 8,           // H even: exactly the odd rows unwritten
    oddFieldAndMoreUnwritten = 9,    // H even: every odd row and some even ones
    someRowsUnwrittenOddHeight = 10, // H odd: some but not all rows unwritten
    noRowWritten = 12,               // every row unwritten
    mixedRowsUnwritten = 13          // H even: at most h rows, even and odd
  };

  // Writes the mark into the first and last word of every row (nothing when
  // enable is false).
  static void addWatermark(void* buffer, long width, long height, long pitch, long bytesPerPel, bool enable);
  // Counts the unwritten rows and classifies them (above); 0 when enable is
  // false.
  static unsigned long checkWatermark(const void* buffer, long width, long height, long pitch, long bytesPerPel,
                                      bool enable);

  // The same over a pixel buffer's window (see the file's notes): marks its
  // rows, or checks them and returns a Result (allWritten for an unbound
  // buffer or when enable is false).
  static void addWatermark(const qc_PelBuffer& buffer, bool enable);
  static unsigned long checkWatermark(const qc_PelBuffer& buffer, bool enable);
};

QRN_API_END
