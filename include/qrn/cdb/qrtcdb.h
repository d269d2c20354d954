// qrtcdb: the record-file library behind the camera database file.
//
// A camera database file is a sequence of records.  Each record has a type,
// a subtype, a few numeric tags (format version, data version, sequence
// number, result class, image format, two 64-bit application tags), a comment
// and a data block, which is often an image (8-bit grey, 16-bit grey or three
// 8-bit colour planes).  The byte layout is documented in docs/cdb-format.md.
//
// Files.  A qimg_cdbFile is one open file (by name, or attached to a caller's
// stream) with a current record.  Open modes (bits): 1 read, 2 write (appends;
// a missing file is created), 4 start a new empty file.  Records are numbered
// 0 .. n-1 in file order.  Appends never rewrite earlier bytes; replacing and
// deleting records append small entries that supersede earlier ones, so the
// file is valid at every moment, and a crash loses at most the append that
// was running.  A torn tail is ignored on open and overwritten by the next
// append.  Appends by several processes to one file are serialised by an
// advisory lock (flock) held for the append only; a writer waits at most
// 10 seconds for it.  The index (where each record lies and its header
// fields) is kept in memory: built by reading the record headers only, and
// brought up to date by reading the headers of what others appended whenever
// the file's size has changed.
//
// Records.  A qimg_cdbRecord holds one record in memory.  It is "unbound"
// until something is put in it (fillRecord, a setter, an image, or a load).
// Record types 3 and 6 are image records: fillRecord takes a qc_Image
// descriptor for them.
//
// Statuses.  Every call that can fail returns a status: 0 on success, a
// failure 0x80000640 + k (k below) otherwise.  A failed call leaves the
// objects as they were.  Objects are not thread-safe: one thread at a time
// uses a file or a record; different objects may be used on different
// threads.

#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// The result of a library call: QIMG_CDB_OK (0) or one of the failure
// statuses below.
typedef uint32_t qimg_status;

// The failure statuses (facility 50).
enum {
  QIMG_CDB_OK = 0,
  QIMG_CDB_FILE_INVALID_ARG = 0x80000640,    // a bad argument to a file call
  QIMG_CDB_RECORD_INVALID_ARG = 0x80000641,  // a bad argument to a record call
  QIMG_CDB_CANNOT_OPEN = 0x80000642,         // the file cannot be opened (missing, no permission)
  QIMG_CDB_FILE_NOT_OPEN = 0x80000643,       // the call needs an open file
  QIMG_CDB_BAD_FILE_FORMAT = 0x80000644,     // not a camera database file, truncated, or a newer version
  QIMG_CDB_ALREADY_OPEN = 0x80000645,        // the file object is open already
  QIMG_CDB_WRITE_FAILED = 0x80000646,        // a write failed (disk full, I/O error, lock not obtained)
  QIMG_CDB_READ_ONLY = 0x80000647,           // the file was not opened for writing
  QIMG_CDB_BAD_RECORD = 0x80000648,          // a record fails its CRC or does not parse
  QIMG_CDB_SIZE_MISMATCH = 0x80000649,       // a buffer too small, or sizes that disagree
  QIMG_CDB_RECORD_NOT_FOUND = 0x8000064A,    // no such record, no current record, or no match
  QIMG_CDB_WRONG_TYPE = 0x8000064B,          // an image call on a record that is not an image
  QIMG_CDB_WRONG_SUBTYPE = 0x8000064C,       // an image of another kind (8-bit, 16-bit, planes)
  QIMG_CDB_BAD_IMAGE = 0x8000064D,           // an image descriptor that is unbound or inconsistent
  QIMG_CDB_RECORD_TOO_LARGE = 0x8000064E,    // a record beyond the format's limits
  QIMG_CDB_RECORD_EMPTY = 0x8000064F,        // the record holds nothing (unbound)
  QIMG_CDB_STREAM_NOT_BOUND = 0x80000650,    // a library stream without a binding
  QIMG_CDB_NULL_RECORD = 0x80000651,         // a null record pointer
  // The file exists but cannot be opened for writing.
  QIMG_CDB_CANNOT_OPEN_FOR_WRITING = 0x80000652
};
// The facility number of the failure statuses (qf_statusFacility of each),
// under which the C++ layer registers its status converter.
#define QIMG_CDB_FACILITY 50

// Open mode bits of the library.
enum { QIMG_CDB_READ = 1, QIMG_CDB_WRITE = 2, QIMG_CDB_NEW = 4 };
// Origins of goToRecord, findRecord and seekToMatchingRecord.
enum { QIMG_CDB_FROM_FIRST = 0, QIMG_CDB_FROM_LAST = 1, QIMG_CDB_FROM_CURRENT = 2 };
// Match bits: the fields of a pattern record that must agree (0: any record).
enum {
  QIMG_CDB_MATCH_TYPE = 2,
  QIMG_CDB_MATCH_SUBTYPE = 4,
  QIMG_CDB_MATCH_DATA_VERSION = 8,
  QIMG_CDB_MATCH_SEQUENCE = 16,
  QIMG_CDB_MATCH_RESULT_CLASS = 32
};
// Record types and the image subtypes.
enum {
  QIMG_CDB_TYPE_NONE = 0,
  QIMG_CDB_TYPE_HEADER = 1,
  QIMG_CDB_TYPE_DATA = 2,
  QIMG_CDB_TYPE_IMAGE = 3,
  QIMG_CDB_TYPE_RESULT = 4,
  QIMG_CDB_TYPE_SETTINGS = 5,
  QIMG_CDB_TYPE_TRAINED_IMAGE = 6
};
enum { QIMG_CDB_SUBTYPE_GREY8 = -21, QIMG_CDB_SUBTYPE_GREY16 = -22, QIMG_CDB_SUBTYPE_RGB_PLANES = -23 };
// The image kinds a record can hold.
enum { QIMG_CDB_IMAGE_NONE = 0, QIMG_CDB_IMAGE_GREY8 = 1, QIMG_CDB_IMAGE_GREY16 = 2, QIMG_CDB_IMAGE_RGB_PLANES = 3 };
// The format version written by this library.
enum { QIMG_CDB_FORMAT_VERSION = 1 };

// ---- image descriptors --------------------------------------------------

// One grey image in memory: width x height pels of pelSize bytes (1 or 2),
// rows rowBytes apart.  A descriptor filled by the library points into a
// record and is valid until the record changes or dies; pels is null for an
// unbound descriptor.
typedef struct qc_Image {
  // The size in pels.
  int32_t width;
  int32_t height;
  // Bytes per pel: 1 or 2.
  int32_t pelSize;
  // Bytes from the start of one row to the start of the next.
  int64_t rowBytes;
  // The first pel of the first row; null for an unbound descriptor.
  const void* pels;
} qc_Image;

// An unbound descriptor.
void qimg_image_init(qc_Image* image);

// ---- streams ------------------------------------------------------------

// The operations of a caller's stream.  read and write return the number of
// bytes moved (less only at the end or on an error); seek takes SEEK_SET,
// SEEK_CUR or SEEK_END and returns the new position, -1 on failure; flush
// returns 0 on success.  flush may be null.
typedef struct qstd_streamOps {
  // Reads up to size bytes into buffer; returns the number read.
  int64_t (*read)(void* context, void* buffer, int64_t size);
  // Writes size bytes from buffer; returns the number written.
  int64_t (*write)(void* context, const void* buffer, int64_t size);
  // Moves to offset from whence (SEEK_SET, SEEK_CUR, SEEK_END); returns the
  // new position, -1 on failure.
  int64_t (*seek)(void* context, int64_t offset, int whence);
  // Flushes what was written; 0 on success.  May be null.
  int (*flush)(void* context);
} qstd_streamOps;

// A library stream: a binding to a caller's stream (opaque).
typedef struct qstd_stream qstd_stream;

// A stream object without a binding (null when out of memory).
qstd_stream* qstd_stream_new(void);
// Frees a stream object (null is allowed); a file it was attached to keeps
// its own copy of the binding.
void qstd_stream_delete(qstd_stream* stream);
// Binds the stream to a caller's stream: ops (copied) called with context.
// QIMG_CDB_FILE_INVALID_ARG when ops or one of read, write, seek is null,
// QIMG_CDB_STREAM_NOT_BOUND for a null stream.
qimg_status qstd_stream_bind(qstd_stream* stream, void* context, const qstd_streamOps* ops);

// ---- records ------------------------------------------------------------

// One record in memory (opaque; qimg_cdbRecord_new makes one).
typedef struct qimg_cdbRecord qimg_cdbRecord;

// The header of a record as the index knows it.  The first seven words are
// the ones the class layer keeps.
typedef struct qimg_cdbRecordHeader {
  // Record type and subtype (QIMG_CDB_TYPE_*, QIMG_CDB_SUBTYPE_* or the
  // application's), as 32-bit two's complement.
  uint32_t type;
  uint32_t subtype;
  uint32_t version;        // format version of the record
  // The application's tags: data version, sequence number, result class.
  uint32_t dataVersion;
  uint32_t sequenceNumber;
  uint32_t resultClass;
  uint32_t dataSize;       // saturated at 0xFFFFFFFF; dataSize64 is exact
  // The image format number (-1, all bits set, when the record holds no
  // image).
  uint32_t imageFormat;
  uint32_t imageKind;      // QIMG_CDB_IMAGE_*
  // The image's size in pels (0 when the record holds no image).
  uint32_t width;
  uint32_t height;
  // Bytes of the comment (no terminator).
  uint32_t commentLength;
  // Bytes of the data block.
  uint64_t dataSize64;
  // The application tags a and b given to fillRecord.
  int64_t tagA;
  int64_t tagB;
  uint64_t fileOffset;     // where the record's entry starts
} qimg_cdbRecordHeader;

// A new, unbound record (null when out of memory).
qimg_cdbRecord* qimg_cdbRecord_new(void);
// Frees a record (null is allowed).
void qimg_cdbRecord_delete(qimg_cdbRecord* record);
// Copies the whole contents of from into to.
qimg_status qimg_cdbRecord_assign(qimg_cdbRecord* to, const qimg_cdbRecord* from);
// Fills the record.  For types 3 and 6 a non-null data points at a qc_Image
// (pelSize 1: an 8-bit image, 2: 16-bit) and dataSize is not used; for other
// types data points at dataSize bytes (null only with dataSize 0).  comment
// may be null.  a and b are application tags stored with the record.
qimg_status qimg_cdbRecord_fillRecord(qimg_cdbRecord* record, int32_t type, int32_t subtype, uint64_t dataSize,
                                      const void* data, const char* comment, int64_t a, int64_t b);
// Drops the contents: the record becomes unbound.
qimg_status qimg_cdbRecord_freeRecord(qimg_cdbRecord* record);

// Getters (QIMG_CDB_NULL_RECORD for a null record or out pointer).
qimg_status qimg_cdbRecord_getType(const qimg_cdbRecord* record, int32_t* value);
qimg_status qimg_cdbRecord_getSubtype(const qimg_cdbRecord* record, int32_t* value);
qimg_status qimg_cdbRecord_getFileFormatVersion(const qimg_cdbRecord* record, int32_t* value);
qimg_status qimg_cdbRecord_getDataSize(const qimg_cdbRecord* record, uint64_t* value);
qimg_status qimg_cdbRecord_getDataVersion(const qimg_cdbRecord* record, int32_t* value);
qimg_status qimg_cdbRecord_getSequenceNumber(const qimg_cdbRecord* record, int32_t* value);
qimg_status qimg_cdbRecord_getResultClass(const qimg_cdbRecord* record, int32_t* value);
qimg_status qimg_cdbRecord_getImageFormat(const qimg_cdbRecord* record, int32_t* value);
qimg_status qimg_cdbRecord_getTags(const qimg_cdbRecord* record, int64_t* a, int64_t* b);
// A copy of the comment in *text (free it with qimg_cdbRecord_freeString).
qimg_status qimg_cdbRecord_getCommentA(const qimg_cdbRecord* record, char** text);
void qimg_cdbRecord_freeString(char* text);

// Setters: each binds an unbound record.
qimg_status qimg_cdbRecord_setDataVersion(qimg_cdbRecord* record, int32_t value);
qimg_status qimg_cdbRecord_setSequenceNumber(qimg_cdbRecord* record, int32_t value);
qimg_status qimg_cdbRecord_setSubtype(qimg_cdbRecord* record, int32_t value);
qimg_status qimg_cdbRecord_setResultClass(qimg_cdbRecord* record, int32_t value);
qimg_status qimg_cdbRecord_setCommentA(qimg_cdbRecord* record, const char* text);
// Replaces the data block with size bytes (the record holds no image after).
qimg_status qimg_cdbRecord_setData(qimg_cdbRecord* record, int32_t dataVersion, uint64_t size, const void* data);
// Copies the data block into buffer (QIMG_CDB_SIZE_MISMATCH when it holds
// less than the data size).
qimg_status qimg_cdbRecord_getData(const qimg_cdbRecord* record, void* buffer, int64_t bufferSize);

// Images.  The getters point image at the record's pels (valid until the
// record changes); QIMG_CDB_WRONG_TYPE when the record is not of type 3 or
// 6, QIMG_CDB_WRONG_SUBTYPE when it holds another kind of image.
qimg_status qimg_cdbRecord_getImage8(const qimg_cdbRecord* record, qc_Image* image);
qimg_status qimg_cdbRecord_getImage16(const qimg_cdbRecord* record, qc_Image* image);
qimg_status qimg_cdbRecord_getImageR(const qimg_cdbRecord* record, qc_Image* image);
qimg_status qimg_cdbRecord_getImageG(const qimg_cdbRecord* record, qc_Image* image);
qimg_status qimg_cdbRecord_getImageB(const qimg_cdbRecord* record, qc_Image* image);
// The setters copy the pels, make the record an image record (type 3 unless
// it is 6 already) and set subtype and image format (8-bit: -21 and 1;
// 16-bit: -22 and the given format; planes: -23 and 12).
qimg_status qimg_cdbRecord_setImage8(qimg_cdbRecord* record, const qc_Image* image);
qimg_status qimg_cdbRecord_setImage16(qimg_cdbRecord* record, const qc_Image* image, int32_t imageFormat);
qimg_status qimg_cdbRecord_setImagesRGB(qimg_cdbRecord* record, const qc_Image* r, const qc_Image* g,
                                        const qc_Image* b);

// The names of types and subtypes ("image", "16-bit image"; "user type" and
// "user subtype" for numbers without a name).  The text is static.
const char* qimg_cdbRecordGetTypeString(int32_t type);
const char* qimg_cdbRecordGetSubtypeString(int32_t subtype);

// ---- files --------------------------------------------------------------

// One file object (opaque; qimg_cdbFile_new makes one).
typedef struct qimg_cdbFile qimg_cdbFile;

// A new file object, not open (null when out of memory).
qimg_cdbFile* qimg_cdbFile_new(void);
// Closes the file if open and frees the object.
void qimg_cdbFile_delete(qimg_cdbFile* file);

// Opens a file by name.  Mode bits QIMG_CDB_READ, _WRITE, _NEW (at least one
// of READ and WRITE; NEW needs WRITE).  QIMG_CDB_CANNOT_OPEN when it cannot be
// read, QIMG_CDB_CANNOT_OPEN_FOR_WRITING when it exists but cannot be written,
// QIMG_CDB_BAD_FILE_FORMAT for a foreign, truncated or newer file.
qimg_status qimg_cdbFile_open(qimg_cdbFile* file, const char* name, int32_t mode);
// Attaches a caller's stream (its binding is copied: the stream object may
// be deleted afterwards; the caller's stream must outlive the attachment).
// isFileStream: the stream is a file (flushed after every append).  A stream
// has no lock; NEW needs an empty stream.
qimg_status qimg_cdbFile_openAttachStream(qimg_cdbFile* file, int32_t mode, int32_t isFileStream, int32_t reserved,
                                          qstd_stream* stream);
// Closes the file (the object stays, ready to open again);
// QIMG_CDB_FILE_NOT_OPEN when none is open.
qimg_status qimg_cdbFile_close(qimg_cdbFile* file);
// 1 while a file or stream is open, else 0 (also for a null file).
int32_t qimg_cdbFile_getIsOpen(const qimg_cdbFile* file);
// The name given to open ("" when attached to a stream or not open).
const char* qimg_cdbFile_getFilename(const qimg_cdbFile* file);

// The number of records, or of those that match pattern in the fields of
// the match bits; first reads the headers of what others appended.
qimg_status qimg_cdbFile_getNumRecords(qimg_cdbFile* file, int32_t* count);
qimg_status qimg_cdbFile_getNumMatchingRecords(qimg_cdbFile* file, const qimg_cdbRecord* pattern, int32_t match,
                                               int32_t* count);
// The index of the current record, -1 when there is none.
qimg_status qimg_cdbFile_getCurrentRecord(qimg_cdbFile* file, int32_t* index);
// The header of record index from the index (no data is read).
qimg_status qimg_cdbFile_getRecordHeader(qimg_cdbFile* file, int32_t index, qimg_cdbRecordHeader* header);

// The comment of record index, read without its data and not checked
// against the record's CRC: *length gets its full length, and at most size
// bytes of it are copied to buffer (no terminator is added).
qimg_status qimg_cdbFile_getRecordComment(qimg_cdbFile* file, int32_t index, char* buffer, uint32_t size,
                                          uint32_t* length);
// The bytes at the end of the file that do not form a complete entry (an
// append torn by a crash): 0 normally.  The next append cuts them and writes
// in their place.
qimg_status qimg_cdbFile_getTornTail(qimg_cdbFile* file, uint64_t* bytes);

// Reads the current record into record (checking its CRC).
qimg_status qimg_cdbFile_loadRecord(qimg_cdbFile* file, qimg_cdbRecord* record);
// Replaces the current record (it stays current).
qimg_status qimg_cdbFile_storeRecord(qimg_cdbFile* file, const qimg_cdbRecord* record);
// Appends a record; it becomes the current record.
qimg_status qimg_cdbFile_appendRecord(qimg_cdbFile* file, const qimg_cdbRecord* record);
// Deletes the current record; the one that followed it becomes current (the
// new last one when it was the last; none when the file is empty).
qimg_status qimg_cdbFile_deleteRecord(qimg_cdbFile* file);
// Deletes the records of the given indices (duplicates and indices out of
// range are ignored) in one step; *removed gets the number deleted.  The
// current record is kept when it survives, else there is none.
qimg_status qimg_cdbFile_removeRecords(qimg_cdbFile* file, const int32_t* indices, int32_t count, int32_t* removed);

// Makes record base(origin) + offset current; QIMG_CDB_RECORD_NOT_FOUND when
// it does not exist (the current record is unchanged).  base: 0 from the
// first, the current index from the current (-1 when there is none), the
// number of records from the last (so offset -1 is the last record).
qimg_status qimg_cdbFile_goToRecord(qimg_cdbFile* file, int32_t offset, int32_t origin);
// Makes the first record at or after base(origin) + start that matches the
// pattern current.
qimg_status qimg_cdbFile_findRecord(qimg_cdbFile* file, int32_t start, const qimg_cdbRecord* pattern,
                                    int32_t match, int32_t origin);
// Steps from base(origin) in direction (+1 or -1) to the nearest matching
// record and makes it current; from the current record the step starts
// beside it, from the first or last record at it.
qimg_status qimg_cdbFile_seekToMatchingRecord(qimg_cdbFile* file, int32_t direction, const qimg_cdbRecord* pattern,
                                              int32_t match, int32_t origin);
// Writes the index as text, one line per record, to the stream.
qimg_status qimg_cdbFile_dumpIndex(qimg_cdbFile* file, qstd_stream* stream);

// Checks the CRC of record index; QIMG_CDB_BAD_RECORD when it fails.
qimg_status qimg_cdbFile_verifyRecord(qimg_cdbFile* file, int32_t index);
// Forces the appended data to stable storage (fsync) after every append
// (on) or never (off, the default).
qimg_status qimg_cdbFile_setSyncEveryAppend(qimg_cdbFile* file, int32_t on);

#ifdef __cplusplus
}
#endif

QRN_API_END
