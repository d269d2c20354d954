// Internals of qrtcdb: the on-disk layout (docs/cdb-format.md), the record
// object, and the storage the file object reads and writes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <qrn/cdb/qrtcdb.h>

namespace qrtcdb {

// ---- layout ------------------------------------------------------------------

constexpr char kFileMagic[8] = {'Q', 'R', 'N', 'C', 'D', 'B', '\r', '\n'};
constexpr std::size_t kFileHeaderSize = 32;
constexpr std::uint32_t kEntryMagic = 0x52444351u;  // "QCDR"
constexpr std::size_t kEntryHeaderSize = 96;
constexpr std::size_t kTrailerSize = 4;
// Limits that keep a damaged or hostile header from asking for absurd sizes.
constexpr std::uint32_t kMaxComment = 1u << 20;
constexpr std::uint64_t kMaxData = std::uint64_t{1} << 40;
constexpr std::uint32_t kMaxImageSide = 1u << 20;

constexpr std::uint64_t kPage = 4096;
constexpr std::uint64_t kAlignFrom = 64 * 1024;

enum EntryKind : std::uint32_t { kRecord = 1, kReplacement = 2, kRemoval = 3 };

// The fields of an entry header (everything but magic, sizes and CRC).
struct EntryHeader {
  std::uint32_t kind = kRecord;
  std::uint32_t version = QIMG_CDB_FORMAT_VERSION;
  std::int32_t type = 0, subtype = 0, dataVersion = 0, sequenceNumber = 0, resultClass = 0;
  std::int32_t imageFormat = -1;
  std::int64_t a = 0, b = 0;
  std::uint32_t imageKind = QIMG_CDB_IMAGE_NONE, width = 0, height = 0;
  std::uint32_t commentLength = 0;
  std::uint64_t dataSize = 0;
  std::uint64_t target = 0;  // replacement: offset of the entry it replaces
  std::uint32_t padding = 0;  // bytes between comment and data (not checksummed)

  std::uint64_t entrySize() const { return kEntryHeaderSize + commentLength + padding + dataSize + kTrailerSize; }
  // Large data blocks start on a page boundary of the file, which lets the
  // kernel copy them page by page.
  void padFor(std::uint64_t entryOffset) {
    const std::uint64_t dataAt = entryOffset + kEntryHeaderSize + commentLength;
    padding = dataSize >= kAlignFrom ? static_cast<std::uint32_t>((kPage - dataAt % kPage) % kPage) : 0;
  }
};

// Little-endian helpers.
inline void putU32(unsigned char* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
inline void putU64(unsigned char* p, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
inline std::uint32_t getU32(const unsigned char* p) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}
inline std::uint64_t getU64(const unsigned char* p) {
  std::uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

std::uint32_t crc32(std::uint32_t crc, const void* data, std::size_t size);
// The CRC of a block A followed by a block B from crc(A), crc(B) and B's size.
std::uint32_t crc32Combine(std::uint32_t crcA, std::uint32_t crcB, std::uint64_t sizeB);

void encodeFileHeader(unsigned char out[kFileHeaderSize]);
// QIMG_CDB_OK, or QIMG_CDB_BAD_FILE_FORMAT (foreign, damaged, newer).
qimg_status decodeFileHeader(const unsigned char in[kFileHeaderSize]);

void encodeEntryHeader(const EntryHeader& h, unsigned char out[kEntryHeaderSize]);
// False when magic, size, CRC or a field is not valid.
bool decodeEntryHeader(const unsigned char in[kEntryHeaderSize], EntryHeader& h);

// Bytes per pel times planes of an image kind (0 for none or unknown).
std::uint64_t imageBytesPerPel(std::uint32_t kind);

}  // namespace qrtcdb

// ---- the record object -----------------------------------------------------------

struct qimg_cdbRecord {
  bool bound = false;
  qrtcdb::EntryHeader head;  // kind, target and the sizes are not used here
  std::string comment;
  std::vector<unsigned char> data;
  // CRC-32 of data alone, kept with it: an append combines it with the
  // header's instead of reading the data once more.
  std::uint32_t dataCrc = 0;

  // Takes a new data block (dataCrc: its CRC when the caller has it).
  void takeData(std::vector<unsigned char>&& d) {
    data = std::move(d);
    dataCrc = qrtcdb::crc32(0, data.data(), data.size());
  }
  void takeData(std::vector<unsigned char>&& d, std::uint32_t crc) {
    data = std::move(d);
    dataCrc = crc;
  }

  void clear() { *this = qimg_cdbRecord(); }
  // Makes the record bound (a setter on an unbound record starts from zero).
  void bind() {
    if (!bound) {
      clear();
      bound = true;
    }
  }
};
