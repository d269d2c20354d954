// The camera database file: images and other records with their context,
// kept in one file and read back.
//
// qcCDBFile is one open file with a current record; qcCDBRecord is one record
// in memory.  Both are thin classes over the record-file library qrtcdb
// (include/qrn/cdb/qrtcdb.h), whose file format is documented in
// docs/cdb-format.md.  Records are numbered 0 .. numRecords()-1 in file order.
//
// Open modes (bits): 1 read, 2 write (appends; a missing file is created),
// 16 start a new empty file.  The one-argument constructor opens for reading;
// 1 | 2 opens for reading and appending; 1 | 2 | 16 starts afresh.
//
// Origins of goToRecord, findRecord and seekToMatchingRecord: 0 from the first
// record, 1 from the current record, 2 from the end (offset -1 from it is the
// last record; seekToMatchingRecord starts at the last record).  Match masks
// (the fields of a pattern record that must agree): 2 type, 4 subtype,
// 8 data version, 16 sequence number, 32 result class; 0 matches every record.
//
// Record types (the library's): 1 header, 2 data, 3 image, 4 result,
// 5 settings, 6 trained image; 3 and 6 are image records.  Image subtypes:
// -21 8-bit, -22 16-bit, -23 three 8-bit planes (RGB).
//
// Errors: every failure of the library is thrown as one of the exceptions
// below (its status goes through qfThrowExceptionOnFailure and the converter
// of facility 50 that this module registers at load time).  A failed call
// leaves the file and the record as they were.  Navigation past either end
// and finds without a match throw qcCDBFile::RecordNotFound; a record whose
// CRC fails throws qcCDBFile::BadRecordFormat; a foreign or truncated file
// qcCDBFile::BadFileFormat.
//
// Threads: one thread at a time uses a file or a record.  Several processes
// may append to one file at once (the library serialises their appends with
// an advisory lock).
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include <qrn/acq/format/vidfmt.h>
#include <qrn/cdb/qrtcdb.h>
#include <qrn/foundation/exception.h>
#include <qrn/foundation/pelbuffer.h>

// The header words of one record, as the file's index holds them (read
// without the record's data).
struct qcCDBRecordHeader {
  // Record type and subtype (see the file's notes).
  std::int32_t type = 0;
  std::int32_t subtype = 0;
  std::int32_t version = 0;  // format version of the record
  // The application's tags: data version, sequence number, result class.
  std::int32_t dataVersion = 0;
  std::int32_t sequenceNumber = 0;
  std::int32_t resultClass = 0;
  std::uint32_t dataSize = 0;  // bytes of data (saturated at 0xFFFFFFFF)
};

// Where an image came from: its size, format and position in the caller's
// image coordinates.  A plain value of five 32-bit words.
struct qcCDBImageContext {
  // The image's size in pels.
  std::int32_t width = 0;
  std::int32_t height = 0;
  // Its qeImageFormat as a number (-1: unknown).
  std::int32_t imageFormat = -1;
  // The position of its top-left pel in the caller's image coordinates.
  std::int32_t xOffset = 0;
  std::int32_t yOffset = 0;
};

class qcCDBRecord;

// A camera database file: records appended, found, read back and checked (see the file's notes for
// open modes and threads).
class qcCDBFile {
public:
  // The base of the file's exceptions.
  QC_EXCEPTION(Errors, qcExceptionWithString, 0);
  // A bad argument to a file call (an open mode with other bits, a null
  // stream).
  QC_EXCEPTION(InvalidArgument, Errors, 0x10001F00);
  // The file cannot be opened (missing, no permission, or not writable for
  // a writing mode), or the object is open already.
  QC_EXCEPTION(CanNotOpenFile, Errors, 0x10001F01);
  // The call needs an open file.
  QC_EXCEPTION(FileNotOpen, Errors, 0x10001F02);
  // A write failed (disk full, I/O error, lock not obtained in 10 s), or
  // the file was not opened for writing.
  QC_EXCEPTION(WriteError, Errors, 0x10001F03);
  // Not a camera database file, truncated, or of a newer version.
  QC_EXCEPTION(BadFileFormat, Errors, 0x10001F04);
  // The library's stream has no binding (a library object missing).
  QC_EXCEPTION(FileNotBound, Errors, 0x10001F05);
  // A buffer too small for the data, or sizes that disagree.
  QC_EXCEPTION(RecordSizeMismatch, Errors, 0x10001F06);
  // No such record, no current record, or no match.
  QC_EXCEPTION(RecordNotFound, Errors, 0x10001F07);
  // A record that fails its CRC or does not parse.
  QC_EXCEPTION(BadRecordFormat, Errors, 0x10001F08);

  // Nothing open.
  qcCDBFile();
  // Opens `name` for reading (mode 1), or with the given mode.  Throws
  // InvalidArgument for a mode with other bits, CanNotOpenFile,
  // BadFileFormat.
  explicit qcCDBFile(const std::string& name);
  qcCDBFile(const std::string& name, long mode);
  // Works on a caller's stream (reads, writes and seeks go to it; it must
  // outlive this object unless ownStream, in which case this object deletes
  // it).  Mode 16 needs an empty stream.  Throws InvalidArgument for a null
  // stream (the stream then stays the caller's, as on any exception).
  qcCDBFile(std::iostream* stream, long mode, bool ownStream);
  // Closes the file; deletes the stream when it was given with ownStream.
  ~qcCDBFile();
  // Not copyable: the object is the file's one open handle.
  qcCDBFile(const qcCDBFile&) = delete;
  qcCDBFile& operator=(const qcCDBFile&) = delete;

  // Opens a file (see the modes above).  A file that exists but cannot be
  // written throws CanNotOpenFile("Cannot open file <name> for writing").
  void open(const std::string& name, long mode);
  // Closes the file; throws FileNotOpen when none is open.
  void close();
  // True while a file or stream is open.
  bool isOpen() const;
  // The name given to open ("" for a stream or when nothing is open).
  std::string filename() const;

  // The number of records, or of those that match `pattern` in the fields
  // of the match mask `match` (see the file's notes; other bits throw
  // qcCDBRecord::InvalidArgument).  Both see what other processes appended.
  // Throw FileNotOpen.
  long numRecords() const;
  long numRecords(const qcCDBRecord& pattern, long match) const;
  // The index of the current record; -1 when there is none.
  long currentRecord() const;
  // The header words of record `index` from the index (no data is read);
  // throws RecordNotFound for an index out of range, BadRecordFormat for a
  // record whose header is damaged.
  qcCDBRecordHeader getRecordHeader(long index) const;

  // Reads the current record into r (its CRC is checked).
  void loadRecord(qcCDBRecord& r) const;
  // Replaces the current record (it stays current).
  void storeRecord(const qcCDBRecord& r);
  // Appends r; it becomes the current record.
  void appendRecord(const qcCDBRecord& r);
  // Deletes the current record; the one after it becomes current (or the
  // new last one).
  void deleteRecord();
  // Deletes the records of these indices in one step (indices out of range
  // and repeats are ignored); returns how many were deleted.
  long removeRecords(const std::vector<long>& indices);

  // Make record base(origin) + offset current and return its index; throw
  // RecordNotFound when it does not exist (the current record stays).  The
  // shorthands go to the first, last, next and previous record.
  long goToRecord(long offset, int origin);
  long firstRecord() { return goToRecord(0, 0); }
  long lastRecord() { return goToRecord(-1, 2); }
  long nextRecord() { return goToRecord(1, 1); }
  long prevRecord() { return goToRecord(-1, 1); }

  // The first record at or after base(origin) + start that matches; it
  // becomes current; returns its index.
  long findRecord(long start, const qcCDBRecord& pattern, long match, int origin = 0);
  // Steps from base(origin) in `direction` (+1, -1) to the nearest match
  // (from the current record: beside it; from the first or last: at it),
  // makes it current and returns its index; findNextRecord and
  // findPrevRecord step from the current record.  Throw RecordNotFound
  // when no record matches.
  long seekToMatchingRecord(long direction, const qcCDBRecord& pattern, long match, int origin);
  long findNextRecord(const qcCDBRecord& pattern, long match) { return seekToMatchingRecord(1, pattern, match, 1); }
  long findPrevRecord(const qcCDBRecord& pattern, long match) { return seekToMatchingRecord(-1, pattern, match, 1); }

  // One line per record: index, offset, size and header words.
  std::ostream& dumpIndex(std::ostream& os) const;

  // The comment of record `index`, read without the record's data (so not
  // checked against its CRC: loadRecord and verifyRecord do that).  Throws
  // RecordNotFound, BadRecordFormat for a record whose header is damaged.
  std::string recordComment(long index) const;
  // Checks the CRC of record `index` without loading it into a record.
  // Throws BadRecordFormat when it fails, RecordNotFound.
  void verifyRecord(long index) const;
  // Bytes at the file's end that do not form a complete record entry (an
  // append torn by a crash), 0 normally.  They are not records; the next
  // append cuts them and writes in their place.
  std::uint64_t tornTailBytes() const;
  // With `on`, every append is forced to stable storage before it returns.
  void syncEveryAppend(bool on);

private:
  struct Deleter {
    void operator()(qimg_cdbFile* f) const;
  };
  std::unique_ptr<qimg_cdbFile, Deleter> file_;
  std::iostream* stream_ = nullptr;
  bool ownsStream_ = false;
};

// One record of a camera database file: an image or a data block, with its type, comment and
// application tags.
class qcCDBRecord {
public:
  // The base of the record's exceptions.
  QC_EXCEPTION(Errors, qcException, 0);
  // A bad argument (a match mask with other bits, an origin other than 0,
  // 1, 2, an unbound or inconsistent image descriptor).
  QC_EXCEPTION(InvalidArgument, Errors, 0x10001F00);
  // The record holds nothing (it is unbound).
  QC_EXCEPTION(RecordNotBound, Errors, 0x10001F09);
  // An image call on a record that is not an image record.
  QC_EXCEPTION(WrongType, Errors, 0x10001F0A);
  // An image of another kind than asked for (8-bit, 16-bit, planes).
  QC_EXCEPTION(WrongSubType, Errors, 0x10001F0B);

  // An empty record (unbound until something is put in it).
  qcCDBRecord();
  // Constructs and fills (see fillRecord).
  qcCDBRecord(long type, long subtype, unsigned int dataSize, const void* data, const std::string& comment = "",
              long a = 0, long b = 0);

  // Deep copies: header, comment, tags and data are copied.
  qcCDBRecord(const qcCDBRecord& other);
  qcCDBRecord& operator=(const qcCDBRecord& other);
  // Frees the record's contents.
  ~qcCDBRecord();

  // Fills the record.  For types 3 and 6 a non-null data points at a pixel
  // buffer: a qcPelBuffer_const<unsigned short> at subtype -22, otherwise a
  // qcPelBuffer_const<unsigned char> (copied; dataSize is not used).  For
  // other types data points at dataSize bytes (copied).  a and b are
  // application tags kept with the record.
  void fillRecord(long type, long subtype, unsigned int dataSize, const void* data, const std::string& comment = "",
                  long a = 0, long b = 0);
  // Drops the contents: the record is unbound again.
  void freeRecord();

  // The record's type (0 for an unbound record; see the file's notes).
  long type() const;
  long version() const;  // format version of the record
  // The bytes of the data block (for an image record: of its pels).
  unsigned long dataSize() const;
  // The header words: data version, sequence number, subtype, result
  // class (0 for an unbound record).
  long dataVersion() const;
  long sequenceNumber() const;
  long subtype() const;
  long resultClass() const;
  // The format of the image held (-1 as a qeImageFormat when none).
  qeImageFormat imageFormat() const;
  // The record's comment (empty when none).
  std::string comment() const;

  // Set the header words and the comment; each binds an unbound record.
  // Values outside 32 bits are clamped to the nearest 32-bit value.
  void dataVersion(long v);
  void sequenceNumber(long v);
  void subtype(long v);
  void resultClass(long v);
  void comment(const std::string& text);
  // Replaces the data block (copied).
  void setData(const void* data, unsigned int size, long dataVersion = 0);
  // Copies the data into buffer; throws qcCDBFile::RecordSizeMismatch when
  // bufferSize is smaller than dataSize().
  void getData(void* buffer, long bufferSize) const;

  // The record's image as a new buffer (a copy).  Throw WrongType for a
  // record that is not an image, WrongSubType for another kind of image,
  // RecordNotBound for an empty record.
  qcPelBuffer_const<unsigned char> image() const;
  qcPelBuffer_const<unsigned short> image16() const;
  qcPelBuffer_const<unsigned char> imageR() const;
  qcPelBuffer_const<unsigned char> imageG() const;
  qcPelBuffer_const<unsigned char> imageB() const;
  // Puts an image in the record (copied; the record becomes an image
  // record).  Throw InvalidArgument for an unbound buffer,
  // qcCDBFile::RecordSizeMismatch for planes of different sizes.
  void image(const qcPelBuffer_const<unsigned char>& buffer);
  void image16(const qcPelBuffer_const<unsigned short>& buffer, qeImageFormat format = qeImageFormat_Grey16);
  void imageRGB(const qcPelBuffer_const<unsigned char>& r, const qcPelBuffer_const<unsigned char>& g,
                const qcPelBuffer_const<unsigned char>& b);

  // The library's names of record types and subtypes.
  static std::string typeString(int type);
  static std::string subtypeString(int subtype);

  // The library's record object (for qcCDBFile).
  qimg_cdbRecord* record_() const { return record_ptr_.get(); }

private:
  struct Deleter {
    void operator()(qimg_cdbRecord* r) const;
  };
  std::unique_ptr<qimg_cdbRecord, Deleter> record_ptr_;
};

// The library's descriptor of a grey pixel buffer (pointing at its pels) and
// back (a copy of the pels in a new buffer; an unbound descriptor gives an
// unbound buffer).  qfConvertImage throws qcCDBRecord::InvalidArgument when
// the descriptor's pel size is not sizeof(T).
template <class T>
QRN_EXPORT qc_Image qfImageDescriptor(const qcPelBuffer_const<T>& buffer);
template <class T>
QRN_EXPORT qcPelBuffer<T> qfConvertImage(const qc_Image& image);

// The converter of the library's statuses (facility 50) into the exceptions
// above; returns for a status it does not know.  Registered at load time.
void qf_cdbStatusConverter(std::uint32_t status);

QRN_API_END
