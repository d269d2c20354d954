// qrtcdb: the byte layout of headers, image descriptors, streams and the
// record object.
#include <cstdlib>
#include <limits>
#include <new>

#include <zlib.h>

#include "cdbimpl.h"

namespace qrtcdb {

void encodeFileHeader(unsigned char out[kFileHeaderSize]) {
  std::memset(out, 0, kFileHeaderSize);
  std::memcpy(out, kFileMagic, sizeof kFileMagic);
  putU32(out + 8, QIMG_CDB_FORMAT_VERSION);
  putU32(out + 12, static_cast<std::uint32_t>(kFileHeaderSize));
  putU32(out + 28, crc32(0, out, 28));
}

qimg_status decodeFileHeader(const unsigned char in[kFileHeaderSize]) {
  if (std::memcmp(in, kFileMagic, sizeof kFileMagic) != 0) return QIMG_CDB_BAD_FILE_FORMAT;
  if (getU32(in + 28) != crc32(0, in, 28)) return QIMG_CDB_BAD_FILE_FORMAT;
  if (getU32(in + 8) != QIMG_CDB_FORMAT_VERSION || getU32(in + 12) != kFileHeaderSize) return QIMG_CDB_BAD_FILE_FORMAT;
  return QIMG_CDB_OK;
}

std::uint64_t imageBytesPerPel(std::uint32_t kind) {
  switch (kind) {
    case QIMG_CDB_IMAGE_GREY8: return 1;
    case QIMG_CDB_IMAGE_GREY16: return 2;
    case QIMG_CDB_IMAGE_RGB_PLANES: return 3;
    default: return 0;
  }
}

void encodeEntryHeader(const EntryHeader& h, unsigned char out[kEntryHeaderSize]) {
  std::memset(out, 0, kEntryHeaderSize);
  putU32(out + 0, kEntryMagic);
  putU32(out + 4, static_cast<std::uint32_t>(kEntryHeaderSize));
  putU32(out + 8, h.kind);
  putU32(out + 12, h.version);
  putU32(out + 16, static_cast<std::uint32_t>(h.type));
  putU32(out + 20, static_cast<std::uint32_t>(h.subtype));
  putU32(out + 24, static_cast<std::uint32_t>(h.dataVersion));
  putU32(out + 28, static_cast<std::uint32_t>(h.sequenceNumber));
  putU32(out + 32, static_cast<std::uint32_t>(h.resultClass));
  putU32(out + 36, static_cast<std::uint32_t>(h.imageFormat));
  putU64(out + 40, static_cast<std::uint64_t>(h.a));
  putU64(out + 48, static_cast<std::uint64_t>(h.b));
  putU32(out + 56, h.imageKind);
  putU32(out + 60, h.width);
  putU32(out + 64, h.height);
  putU32(out + 68, h.commentLength);
  putU64(out + 72, h.dataSize);
  putU64(out + 80, h.target);
  putU32(out + 88, h.padding);
  putU32(out + 92, crc32(0, out, 92));
}

bool decodeEntryHeader(const unsigned char in[kEntryHeaderSize], EntryHeader& h) {
  if (getU32(in) != kEntryMagic || getU32(in + 4) != kEntryHeaderSize) return false;
  if (getU32(in + 92) != crc32(0, in, 92)) return false;
  EntryHeader r;
  r.kind = getU32(in + 8);
  r.version = getU32(in + 12);
  r.type = static_cast<std::int32_t>(getU32(in + 16));
  r.subtype = static_cast<std::int32_t>(getU32(in + 20));
  r.dataVersion = static_cast<std::int32_t>(getU32(in + 24));
  r.sequenceNumber = static_cast<std::int32_t>(getU32(in + 28));
  r.resultClass = static_cast<std::int32_t>(getU32(in + 32));
  r.imageFormat = static_cast<std::int32_t>(getU32(in + 36));
  r.a = static_cast<std::int64_t>(getU64(in + 40));
  r.b = static_cast<std::int64_t>(getU64(in + 48));
  r.imageKind = getU32(in + 56);
  r.width = getU32(in + 60);
  r.height = getU32(in + 64);
  r.commentLength = getU32(in + 68);
  r.dataSize = getU64(in + 72);
  r.target = getU64(in + 80);
  r.padding = getU32(in + 88);
  if (r.kind < kRecord || r.kind > kRemoval || r.version == 0 || r.version > QIMG_CDB_FORMAT_VERSION) return false;
  if (r.commentLength > kMaxComment || r.dataSize > kMaxData || r.padding >= kPage) return false;
  if (r.kind == kRemoval && r.dataSize % 8 != 0) return false;
  if (r.imageKind != QIMG_CDB_IMAGE_NONE) {
    const std::uint64_t bpp = imageBytesPerPel(r.imageKind);
    if (bpp == 0 || r.width > kMaxImageSide || r.height > kMaxImageSide ||
        std::uint64_t{r.width} * r.height * bpp != r.dataSize)
      return false;
  }
  h = r;
  return true;
}

}  // namespace qrtcdb

using namespace qrtcdb;

// ---- image descriptors ----------------------------------------------------------

void qimg_image_init(qc_Image* image) {
  if (image) *image = qc_Image{0, 0, 0, 0, nullptr};
}

namespace {

bool validImage(const qc_Image* im, int pelSize) {
  return im && im->pels && im->pelSize == pelSize && im->width >= 0 && im->height >= 0 &&
         static_cast<std::uint32_t>(im->width) <= kMaxImageSide &&
         static_cast<std::uint32_t>(im->height) <= kMaxImageSide && im->rowBytes >= std::int64_t{im->width} * pelSize;
}

// Appends the rows of an image, packed, to out.
void appendPels(std::vector<unsigned char>& out, const qc_Image& im) {
  const std::size_t row = static_cast<std::size_t>(im.width) * static_cast<std::size_t>(im.pelSize);
  const std::size_t at = out.size();
  out.resize(at + row * static_cast<std::size_t>(im.height));
  const auto* src = static_cast<const unsigned char*>(im.pels);
  if (static_cast<std::int64_t>(row) == im.rowBytes) {
    if (row) std::memcpy(out.data() + at, src, row * static_cast<std::size_t>(im.height));
    return;
  }
  for (std::int32_t y = 0; y < im.height; ++y)
    std::memcpy(out.data() + at + row * static_cast<std::size_t>(y), src + im.rowBytes * y, row);
}

// Sets the record to hold one image (or three planes) of the given kind.
qimg_status setImage(qimg_cdbRecord* rec, std::uint32_t kind, std::int32_t subtype, std::int32_t format,
                     const qc_Image* const* planes, int count) {
  const int pelSize = kind == QIMG_CDB_IMAGE_GREY16 ? 2 : 1;
  for (int i = 0; i < count; ++i) {
    if (!validImage(planes[i], pelSize)) return QIMG_CDB_BAD_IMAGE;
    if (planes[i]->width != planes[0]->width || planes[i]->height != planes[0]->height) return QIMG_CDB_SIZE_MISMATCH;
  }
  std::vector<unsigned char> data;
  data.reserve(static_cast<std::size_t>(planes[0]->width) * static_cast<std::size_t>(planes[0]->height) *
               static_cast<std::size_t>(pelSize * count));
  for (int i = 0; i < count; ++i) appendPels(data, *planes[i]);
  rec->bind();
  if (rec->head.type != QIMG_CDB_TYPE_TRAINED_IMAGE) rec->head.type = QIMG_CDB_TYPE_IMAGE;
  rec->head.subtype = subtype;
  rec->head.imageFormat = format;
  rec->head.imageKind = kind;
  rec->head.width = static_cast<std::uint32_t>(planes[0]->width);
  rec->head.height = static_cast<std::uint32_t>(planes[0]->height);
  rec->takeData(std::move(data));
  return QIMG_CDB_OK;
}

qimg_status getImage(const qimg_cdbRecord* rec, qc_Image* image, std::uint32_t kind, int plane) {
  if (!rec || !image) return QIMG_CDB_NULL_RECORD;
  if (!rec->bound) return QIMG_CDB_RECORD_EMPTY;
  if (rec->head.type != QIMG_CDB_TYPE_IMAGE && rec->head.type != QIMG_CDB_TYPE_TRAINED_IMAGE) return QIMG_CDB_WRONG_TYPE;
  if (rec->head.imageKind != kind) return QIMG_CDB_WRONG_SUBTYPE;
  const int pelSize = kind == QIMG_CDB_IMAGE_GREY16 ? 2 : 1;
  const std::size_t planeBytes = std::size_t{rec->head.width} * rec->head.height * static_cast<std::size_t>(pelSize);
  image->width = static_cast<std::int32_t>(rec->head.width);
  image->height = static_cast<std::int32_t>(rec->head.height);
  image->pelSize = pelSize;
  image->rowBytes = std::int64_t{image->width} * pelSize;
  image->pels = planeBytes ? rec->data.data() + planeBytes * static_cast<std::size_t>(plane) : nullptr;
  return QIMG_CDB_OK;
}

template <class T>
qimg_status getField(const qimg_cdbRecord* rec, T* out, T value) {
  if (!rec || !out) return QIMG_CDB_NULL_RECORD;
  *out = value;
  return QIMG_CDB_OK;
}

template <class F>
qimg_status setField(qimg_cdbRecord* rec, F&& set) {
  if (!rec) return QIMG_CDB_NULL_RECORD;
  rec->bind();
  set(rec->head);
  return QIMG_CDB_OK;
}

}  // namespace

// ---- streams ---------------------------------------------------------------------

struct qstd_stream {
  void* context = nullptr;
  qstd_streamOps ops{};
  bool bound = false;
};

qstd_stream* qstd_stream_new(void) { return new (std::nothrow) qstd_stream; }
void qstd_stream_delete(qstd_stream* stream) { delete stream; }
qimg_status qstd_stream_bind(qstd_stream* stream, void* context, const qstd_streamOps* ops) {
  if (!stream) return QIMG_CDB_STREAM_NOT_BOUND;
  if (!ops || !ops->read || !ops->write || !ops->seek) return QIMG_CDB_FILE_INVALID_ARG;
  stream->context = context;
  stream->ops = *ops;
  stream->bound = true;
  return QIMG_CDB_OK;
}

namespace qrtcdb {
bool streamBinding(const qstd_stream* s, void** context, qstd_streamOps* ops) {
  if (!s || !s->bound) return false;
  *context = s->context;
  *ops = s->ops;
  return true;
}
}  // namespace qrtcdb

// ---- records ---------------------------------------------------------------------

qimg_cdbRecord* qimg_cdbRecord_new(void) { return new (std::nothrow) qimg_cdbRecord; }
void qimg_cdbRecord_delete(qimg_cdbRecord* record) { delete record; }

qimg_status qimg_cdbRecord_assign(qimg_cdbRecord* to, const qimg_cdbRecord* from) {
  if (!to || !from) return QIMG_CDB_NULL_RECORD;
  if (to != from) *to = *from;
  return QIMG_CDB_OK;
}

qimg_status qimg_cdbRecord_fillRecord(qimg_cdbRecord* record, int32_t type, int32_t subtype, uint64_t dataSize,
                                      const void* data, const char* comment, int64_t a, int64_t b) {
  if (!record) return QIMG_CDB_NULL_RECORD;
  const bool isImage = type == QIMG_CDB_TYPE_IMAGE || type == QIMG_CDB_TYPE_TRAINED_IMAGE;
  const std::size_t commentLength = comment ? std::strlen(comment) : 0;
  if (commentLength > kMaxComment) return QIMG_CDB_RECORD_TOO_LARGE;
  qimg_cdbRecord next;
  next.bound = true;
  next.head.type = type;
  if (isImage && data) {
    const auto* im = static_cast<const qc_Image*>(data);
    const bool wide = im->pelSize == 2;
    const qimg_status st = setImage(&next, wide ? QIMG_CDB_IMAGE_GREY16 : QIMG_CDB_IMAGE_GREY8, subtype,
                                    wide ? 2 : 1, &im, 1);
    if (st != QIMG_CDB_OK) return st;
    next.head.type = type;
  } else {
    if (!data && dataSize) return QIMG_CDB_RECORD_INVALID_ARG;
    if (dataSize > kMaxData) return QIMG_CDB_RECORD_TOO_LARGE;
    const auto* p = static_cast<const unsigned char*>(data);
    if (dataSize) next.takeData(std::vector<unsigned char>(p, p + dataSize));
  }
  next.head.subtype = subtype;
  next.head.a = a;
  next.head.b = b;
  if (comment) next.comment.assign(comment, commentLength);
  *record = std::move(next);
  return QIMG_CDB_OK;
}

qimg_status qimg_cdbRecord_freeRecord(qimg_cdbRecord* record) {
  if (!record) return QIMG_CDB_NULL_RECORD;
  record->clear();
  return QIMG_CDB_OK;
}

qimg_status qimg_cdbRecord_getType(const qimg_cdbRecord* r, int32_t* v) { return getField(r, v, r ? r->head.type : 0); }
qimg_status qimg_cdbRecord_getSubtype(const qimg_cdbRecord* r, int32_t* v) {
  return getField(r, v, r ? r->head.subtype : 0);
}
qimg_status qimg_cdbRecord_getFileFormatVersion(const qimg_cdbRecord* r, int32_t* v) {
  return getField(r, v, r ? static_cast<int32_t>(r->head.version) : 0);
}
qimg_status qimg_cdbRecord_getDataSize(const qimg_cdbRecord* r, uint64_t* v) {
  return getField(r, v, r ? static_cast<uint64_t>(r->data.size()) : 0);
}
qimg_status qimg_cdbRecord_getDataVersion(const qimg_cdbRecord* r, int32_t* v) {
  return getField(r, v, r ? r->head.dataVersion : 0);
}
qimg_status qimg_cdbRecord_getSequenceNumber(const qimg_cdbRecord* r, int32_t* v) {
  return getField(r, v, r ? r->head.sequenceNumber : 0);
}
qimg_status qimg_cdbRecord_getResultClass(const qimg_cdbRecord* r, int32_t* v) {
  return getField(r, v, r ? r->head.resultClass : 0);
}
qimg_status qimg_cdbRecord_getImageFormat(const qimg_cdbRecord* r, int32_t* v) {
  return getField(r, v, r ? r->head.imageFormat : -1);
}
qimg_status qimg_cdbRecord_getTags(const qimg_cdbRecord* r, int64_t* a, int64_t* b) {
  if (!r || !a || !b) return QIMG_CDB_NULL_RECORD;
  *a = r->head.a;
  *b = r->head.b;
  return QIMG_CDB_OK;
}

qimg_status qimg_cdbRecord_getCommentA(const qimg_cdbRecord* record, char** text) {
  if (!record || !text) return QIMG_CDB_NULL_RECORD;
  char* copy = static_cast<char*>(std::malloc(record->comment.size() + 1));
  if (!copy) return QIMG_CDB_RECORD_TOO_LARGE;
  std::memcpy(copy, record->comment.data(), record->comment.size());
  copy[record->comment.size()] = '\0';
  *text = copy;
  return QIMG_CDB_OK;
}
void qimg_cdbRecord_freeString(char* text) { std::free(text); }

qimg_status qimg_cdbRecord_setDataVersion(qimg_cdbRecord* r, int32_t v) {
  return setField(r, [v](EntryHeader& h) { h.dataVersion = v; });
}
qimg_status qimg_cdbRecord_setSequenceNumber(qimg_cdbRecord* r, int32_t v) {
  return setField(r, [v](EntryHeader& h) { h.sequenceNumber = v; });
}
qimg_status qimg_cdbRecord_setSubtype(qimg_cdbRecord* r, int32_t v) {
  return setField(r, [v](EntryHeader& h) { h.subtype = v; });
}
qimg_status qimg_cdbRecord_setResultClass(qimg_cdbRecord* r, int32_t v) {
  return setField(r, [v](EntryHeader& h) { h.resultClass = v; });
}

qimg_status qimg_cdbRecord_setCommentA(qimg_cdbRecord* record, const char* text) {
  if (!record) return QIMG_CDB_NULL_RECORD;
  const std::size_t n = text ? std::strlen(text) : 0;
  if (n > kMaxComment) return QIMG_CDB_RECORD_TOO_LARGE;
  record->bind();
  record->comment.assign(text ? text : "", n);
  return QIMG_CDB_OK;
}

qimg_status qimg_cdbRecord_setData(qimg_cdbRecord* record, int32_t dataVersion, uint64_t size, const void* data) {
  if (!record) return QIMG_CDB_NULL_RECORD;
  if (!data && size) return QIMG_CDB_RECORD_INVALID_ARG;
  if (size > kMaxData) return QIMG_CDB_RECORD_TOO_LARGE;
  const auto* p = static_cast<const unsigned char*>(data);
  std::vector<unsigned char> copy(p, p + size);
  record->bind();
  record->takeData(std::move(copy));
  record->head.dataVersion = dataVersion;
  record->head.imageKind = QIMG_CDB_IMAGE_NONE;
  record->head.width = record->head.height = 0;
  return QIMG_CDB_OK;
}

qimg_status qimg_cdbRecord_getData(const qimg_cdbRecord* record, void* buffer, int64_t bufferSize) {
  if (!record) return QIMG_CDB_NULL_RECORD;
  if (!record->bound) return QIMG_CDB_RECORD_EMPTY;
  if (bufferSize < 0 || static_cast<uint64_t>(bufferSize) < record->data.size()) return QIMG_CDB_SIZE_MISMATCH;
  if (!buffer && !record->data.empty()) return QIMG_CDB_RECORD_INVALID_ARG;
  if (!record->data.empty()) std::memcpy(buffer, record->data.data(), record->data.size());
  return QIMG_CDB_OK;
}

qimg_status qimg_cdbRecord_getImage8(const qimg_cdbRecord* r, qc_Image* im) {
  return getImage(r, im, QIMG_CDB_IMAGE_GREY8, 0);
}
qimg_status qimg_cdbRecord_getImage16(const qimg_cdbRecord* r, qc_Image* im) {
  return getImage(r, im, QIMG_CDB_IMAGE_GREY16, 0);
}
qimg_status qimg_cdbRecord_getImageR(const qimg_cdbRecord* r, qc_Image* im) {
  return getImage(r, im, QIMG_CDB_IMAGE_RGB_PLANES, 0);
}
qimg_status qimg_cdbRecord_getImageG(const qimg_cdbRecord* r, qc_Image* im) {
  return getImage(r, im, QIMG_CDB_IMAGE_RGB_PLANES, 1);
}
qimg_status qimg_cdbRecord_getImageB(const qimg_cdbRecord* r, qc_Image* im) {
  return getImage(r, im, QIMG_CDB_IMAGE_RGB_PLANES, 2);
}

qimg_status qimg_cdbRecord_setImage8(qimg_cdbRecord* record, const qc_Image* image) {
  if (!record) return QIMG_CDB_NULL_RECORD;
  return setImage(record, QIMG_CDB_IMAGE_GREY8, QIMG_CDB_SUBTYPE_GREY8, 1, &image, 1);
}
qimg_status qimg_cdbRecord_setImage16(qimg_cdbRecord* record, const qc_Image* image, int32_t imageFormat) {
  if (!record) return QIMG_CDB_NULL_RECORD;
  return setImage(record, QIMG_CDB_IMAGE_GREY16, QIMG_CDB_SUBTYPE_GREY16, imageFormat, &image, 1);
}
qimg_status qimg_cdbRecord_setImagesRGB(qimg_cdbRecord* record, const qc_Image* r, const qc_Image* g,
                                        const qc_Image* b) {
  if (!record) return QIMG_CDB_NULL_RECORD;
  const qc_Image* planes[3] = {r, g, b};
  return setImage(record, QIMG_CDB_IMAGE_RGB_PLANES, QIMG_CDB_SUBTYPE_RGB_PLANES, 12, planes, 3);
}

const char* qimg_cdbRecordGetTypeString(int32_t type) {
  static const char* const names[] = {"none", "header", "data", "image", "result", "settings", "trained image"};
  if (type >= 0 && type < 7) return names[type];
  return "user type";
}

const char* qimg_cdbRecordGetSubtypeString(int32_t subtype) {
  switch (subtype) {
    case 0: return "none";
    case QIMG_CDB_SUBTYPE_GREY8: return "8-bit image";
    case QIMG_CDB_SUBTYPE_GREY16: return "16-bit image";
    case QIMG_CDB_SUBTYPE_RGB_PLANES: return "RGB planes";
    default: return "user subtype";
  }
}
