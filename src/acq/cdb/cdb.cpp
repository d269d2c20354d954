// qcCDBFile and qcCDBRecord over the record-file library, the argument
// conversions and the status converter of facility 50.
#include <qrn/acq/cdb/cdb.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <istream>
#include <new>
#include <ostream>

#include <qrn/foundation/misc.h>

QC_REGISTER_PERSISTENT(qcCDBFile::Errors);
QC_REGISTER_PERSISTENT(qcCDBFile::InvalidArgument);
QC_REGISTER_PERSISTENT(qcCDBFile::CanNotOpenFile);
QC_REGISTER_PERSISTENT(qcCDBFile::FileNotOpen);
QC_REGISTER_PERSISTENT(qcCDBFile::WriteError);
QC_REGISTER_PERSISTENT(qcCDBFile::BadFileFormat);
QC_REGISTER_PERSISTENT(qcCDBFile::FileNotBound);
QC_REGISTER_PERSISTENT(qcCDBFile::RecordSizeMismatch);
QC_REGISTER_PERSISTENT(qcCDBFile::RecordNotFound);
QC_REGISTER_PERSISTENT(qcCDBFile::BadRecordFormat);
QC_REGISTER_PERSISTENT(qcCDBRecord::Errors);
QC_REGISTER_PERSISTENT(qcCDBRecord::InvalidArgument);
QC_REGISTER_PERSISTENT(qcCDBRecord::RecordNotBound);
QC_REGISTER_PERSISTENT(qcCDBRecord::WrongType);
QC_REGISTER_PERSISTENT(qcCDBRecord::WrongSubType);

// ---- statuses --------------------------------------------------------------------

void qf_cdbStatusConverter(std::uint32_t status) {
  if (status < 0x80000640u || status > 0x80000652u) return;
  switch (status - 0x80000640u) {
    case 0: throw qcCDBFile::InvalidArgument("");
    case 1: throw qcCDBRecord::InvalidArgument();
    case 2: case 5: case 18: throw qcCDBFile::CanNotOpenFile("");
    case 3: throw qcCDBFile::FileNotOpen("");
    case 4: throw qcCDBFile::BadFileFormat("");
    case 6: case 7: throw qcCDBFile::WriteError("");
    case 8: case 14: throw qcCDBFile::BadRecordFormat("");
    case 9: throw qcCDBFile::RecordSizeMismatch("");
    case 10: throw qcCDBFile::RecordNotFound("");
    case 11: throw qcCDBRecord::WrongType();
    case 12: throw qcCDBRecord::WrongSubType();
    case 13: throw qcCDBRecord::InvalidArgument();
    case 15: case 17: throw qcCDBRecord::RecordNotBound();
    case 16: throw qcCDBFile::FileNotBound("");
    default: return;
  }
}

namespace {

[[maybe_unused]] const bool sConverterRegistered = (qfRegisterExceptionConverter(QIMG_CDB_FACILITY, &qf_cdbStatusConverter), true);

void check(qimg_status st) { qfThrowExceptionOnFailure(st); }

// ---- argument conversions ----------------------------------------------------------

int32_t convertMode(long mode) {
  if (mode & ~0x13L) throw qcCDBFile::InvalidArgument("");
  return static_cast<int32_t>((mode & 1 ? QIMG_CDB_READ : 0) | (mode & 2 ? QIMG_CDB_WRITE : 0) |
                              (mode & 16 ? QIMG_CDB_NEW : 0));
}

int32_t convertMatch(long match) {
  if (match & ~0x3EL) throw qcCDBRecord::InvalidArgument();
  return static_cast<int32_t>(match);
}

int32_t convertOrigin(int origin) {
  switch (origin) {
    case 0: return QIMG_CDB_FROM_FIRST;
    case 1: return QIMG_CDB_FROM_CURRENT;
    case 2: return QIMG_CDB_FROM_LAST;
    default: throw qcCDBRecord::InvalidArgument();
  }
}

// A long that the library's 32-bit arguments cannot hold is out of every range.
int32_t narrow(long v) { return v < INT32_MIN || v > INT32_MAX ? (v < 0 ? INT32_MIN : INT32_MAX) : static_cast<int32_t>(v); }

// ---- the caller's streams ----------------------------------------------------------

std::ios_base::seekdir seekDir(int whence) {
  return whence == SEEK_SET ? std::ios_base::beg : whence == SEEK_CUR ? std::ios_base::cur : std::ios_base::end;
}

const qstd_streamOps kIoStreamOps = {
    [](void* c, void* buf, int64_t n) -> int64_t {
      auto* s = static_cast<std::iostream*>(c);
      s->clear();
      s->read(static_cast<char*>(buf), static_cast<std::streamsize>(n));
      return static_cast<int64_t>(s->gcount());
    },
    [](void* c, const void* buf, int64_t n) -> int64_t {
      auto* s = static_cast<std::iostream*>(c);
      s->clear();
      s->write(static_cast<const char*>(buf), static_cast<std::streamsize>(n));
      return s->good() ? n : 0;
    },
    [](void* c, int64_t off, int whence) -> int64_t {
      auto* s = static_cast<std::iostream*>(c);
      s->clear();
      s->seekg(static_cast<std::streamoff>(off), seekDir(whence));
      s->seekp(static_cast<std::streamoff>(off), seekDir(whence));
      if (s->fail()) return -1;
      return static_cast<int64_t>(s->tellg());
    },
    [](void* c) -> int {
      auto* s = static_cast<std::iostream*>(c);
      s->clear();
      s->flush();
      return s->good() ? 0 : -1;
    },
};

const qstd_streamOps kOStreamOps = {
    [](void*, void*, int64_t) -> int64_t { return 0; },
    [](void* c, const void* buf, int64_t n) -> int64_t {
      auto* s = static_cast<std::ostream*>(c);
      s->write(static_cast<const char*>(buf), static_cast<std::streamsize>(n));
      return s->good() ? n : 0;
    },
    [](void*, int64_t, int) -> int64_t { return -1; },
    [](void* c) -> int {
      static_cast<std::ostream*>(c)->flush();
      return 0;
    },
};

// A library stream object that lives until the end of the calling scope, on
// the foundation's clean-up list.
class StreamCleanup : public qc_CleanupObject {
public:
  StreamCleanup() : stream_(qstd_stream_new()) {
    if (!stream_) throw std::bad_alloc();
  }
  ~StreamCleanup() override { cleanup(); }
  void cleanup() override {
    qstd_stream_delete(stream_);
    stream_ = nullptr;
  }
  qstd_stream* get() const { return stream_; }

private:
  qstd_stream* stream_;
};

}  // namespace

// ---- images --------------------------------------------------------------------------

template <class T>
qc_Image qfImageDescriptor(const qcPelBuffer_const<T>& buffer) {
  qc_Image im;
  qimg_image_init(&im);
  if (!buffer.isBound()) return im;
  im.width = static_cast<int32_t>(buffer.width());
  im.height = static_cast<int32_t>(buffer.height());
  im.pelSize = static_cast<int32_t>(sizeof(T));
  im.rowBytes = buffer.rowBytes_();
  im.pels = buffer.bytes_();
  return im;
}

template <class T>
qcPelBuffer<T> qfConvertImage(const qc_Image& image) {
  if (!image.pels) return qcPelBuffer<T>();
  if (image.pelSize != static_cast<int32_t>(sizeof(T)) || image.width < 0 || image.height < 0)
    throw qcCDBRecord::InvalidArgument();
  qcPelBuffer<T> out(image.width, image.height);
  const std::size_t row = static_cast<std::size_t>(image.width) * sizeof(T);
  const auto* src = static_cast<const unsigned char*>(image.pels);
  for (long y = 0; y < image.height; ++y) std::memcpy(out.rowPointer(y), src + image.rowBytes * y, row);
  return out;
}

template qc_Image qfImageDescriptor(const qcPelBuffer_const<unsigned char>&);
template qc_Image qfImageDescriptor(const qcPelBuffer_const<unsigned short>&);
template qcPelBuffer<unsigned char> qfConvertImage(const qc_Image&);
template qcPelBuffer<unsigned short> qfConvertImage(const qc_Image&);

// ---- qcCDBFile -------------------------------------------------------------------------

void qcCDBFile::Deleter::operator()(qimg_cdbFile* f) const { qimg_cdbFile_delete(f); }

namespace {
qimg_cdbFile* newFile() {
  qimg_cdbFile* f = qimg_cdbFile_new();
  if (!f) throw std::bad_alloc();
  return f;
}
}  // namespace

qcCDBFile::qcCDBFile() : file_(newFile()) {}
qcCDBFile::qcCDBFile(const std::string& name) : qcCDBFile(name, 1) {}
qcCDBFile::qcCDBFile(const std::string& name, long mode) : qcCDBFile() { open(name, mode); }

qcCDBFile::qcCDBFile(std::iostream* stream, long mode, bool ownStream) {
  if (!stream) throw InvalidArgument("");
  const int32_t m = convertMode(mode);
  file_.reset(newFile());
  StreamCleanup lib;
  check(qstd_stream_bind(lib.get(), stream, &kIoStreamOps));
  const bool isFileStream = dynamic_cast<std::fstream*>(stream) != nullptr;
  check(qimg_cdbFile_openAttachStream(file_.get(), m, isFileStream ? 1 : 0, 0, lib.get()));
  stream_ = stream;
  ownsStream_ = ownStream;
}

qcCDBFile::~qcCDBFile() {
  file_.reset();
  if (ownsStream_ && stream_) {
    delete stream_;
    stream_ = nullptr;
  }
}

void qcCDBFile::open(const std::string& name, long mode) {
  const qimg_status st = qimg_cdbFile_open(file_.get(), name.c_str(), convertMode(mode));
  if (st == QIMG_CDB_CANNOT_OPEN_FOR_WRITING) throw CanNotOpenFile("Cannot open file " + name + " for writing");
  check(st);
}

void qcCDBFile::close() { check(qimg_cdbFile_close(file_.get())); }
bool qcCDBFile::isOpen() const { return qimg_cdbFile_getIsOpen(file_.get()) != 0; }
std::string qcCDBFile::filename() const { return qimg_cdbFile_getFilename(file_.get()); }

long qcCDBFile::numRecords() const {
  int32_t n = 0;
  check(qimg_cdbFile_getNumRecords(file_.get(), &n));
  return n;
}

long qcCDBFile::numRecords(const qcCDBRecord& pattern, long match) const {
  int32_t n = 0;
  check(qimg_cdbFile_getNumMatchingRecords(file_.get(), pattern.record_(), convertMatch(match), &n));
  return n;
}

long qcCDBFile::currentRecord() const {
  int32_t i = -1;
  check(qimg_cdbFile_getCurrentRecord(file_.get(), &i));
  return i;
}

qcCDBRecordHeader qcCDBFile::getRecordHeader(long index) const {
  qimg_cdbRecordHeader h{};
  check(qimg_cdbFile_getRecordHeader(file_.get(), narrow(index), &h));
  // The first seven words of the library's header, in order.
  return qcCDBRecordHeader{static_cast<std::int32_t>(h.type),        static_cast<std::int32_t>(h.subtype),
                           static_cast<std::int32_t>(h.version),     static_cast<std::int32_t>(h.dataVersion),
                           static_cast<std::int32_t>(h.sequenceNumber), static_cast<std::int32_t>(h.resultClass),
                           h.dataSize};
}

void qcCDBFile::loadRecord(qcCDBRecord& r) const { check(qimg_cdbFile_loadRecord(file_.get(), r.record_())); }
void qcCDBFile::storeRecord(const qcCDBRecord& r) { check(qimg_cdbFile_storeRecord(file_.get(), r.record_())); }
void qcCDBFile::appendRecord(const qcCDBRecord& r) { check(qimg_cdbFile_appendRecord(file_.get(), r.record_())); }
void qcCDBFile::deleteRecord() { check(qimg_cdbFile_deleteRecord(file_.get())); }

long qcCDBFile::removeRecords(const std::vector<long>& indices) {
  std::vector<int32_t> narrowed;
  narrowed.reserve(indices.size());
  for (long i : indices) narrowed.push_back(narrow(i));
  int32_t removed = 0;
  check(qimg_cdbFile_removeRecords(file_.get(), narrowed.empty() ? nullptr : narrowed.data(),
                                   static_cast<int32_t>(narrowed.size()), &removed));
  return removed;
}

long qcCDBFile::goToRecord(long offset, int origin) {
  check(qimg_cdbFile_goToRecord(file_.get(), narrow(offset), convertOrigin(origin)));
  return currentRecord();
}

long qcCDBFile::findRecord(long start, const qcCDBRecord& pattern, long match, int origin) {
  check(qimg_cdbFile_findRecord(file_.get(), narrow(start), pattern.record_(), convertMatch(match),
                                convertOrigin(origin)));
  return currentRecord();
}

long qcCDBFile::seekToMatchingRecord(long direction, const qcCDBRecord& pattern, long match, int origin) {
  check(qimg_cdbFile_seekToMatchingRecord(file_.get(), narrow(direction), pattern.record_(), convertMatch(match),
                                          convertOrigin(origin)));
  return currentRecord();
}

std::ostream& qcCDBFile::dumpIndex(std::ostream& os) const {
  StreamCleanup lib;
  check(qstd_stream_bind(lib.get(), &os, &kOStreamOps));
  check(qimg_cdbFile_dumpIndex(file_.get(), lib.get()));
  return os;
}

void qcCDBFile::verifyRecord(long index) const { check(qimg_cdbFile_verifyRecord(file_.get(), narrow(index))); }

std::string qcCDBFile::recordComment(long index) const {
  std::uint32_t length = 0;
  check(qimg_cdbFile_getRecordComment(file_.get(), narrow(index), nullptr, 0, &length));
  std::string text(length, '\0');
  check(qimg_cdbFile_getRecordComment(file_.get(), narrow(index), text.data(), length, &length));
  return text;
}

std::uint64_t qcCDBFile::tornTailBytes() const {
  std::uint64_t bytes = 0;
  check(qimg_cdbFile_getTornTail(file_.get(), &bytes));
  return bytes;
}
void qcCDBFile::syncEveryAppend(bool on) { check(qimg_cdbFile_setSyncEveryAppend(file_.get(), on ? 1 : 0)); }

// ---- qcCDBRecord -------------------------------------------------------------------------

void qcCDBRecord::Deleter::operator()(qimg_cdbRecord* r) const { qimg_cdbRecord_delete(r); }

namespace {
qimg_cdbRecord* newRecord() {
  qimg_cdbRecord* r = qimg_cdbRecord_new();
  if (!r) throw std::bad_alloc();
  return r;
}
template <class T, class Get>
T getValue(const qcCDBRecord& rec, Get get) {
  T v{};
  check(get(rec.record_(), &v));
  return v;
}
}  // namespace

qcCDBRecord::qcCDBRecord() : record_ptr_(newRecord()) {}
qcCDBRecord::qcCDBRecord(long type, long subtype, unsigned int dataSize, const void* data, const std::string& comment,
                         long a, long b)
    : qcCDBRecord() {
  fillRecord(type, subtype, dataSize, data, comment, a, b);
}
qcCDBRecord::qcCDBRecord(const qcCDBRecord& other) : qcCDBRecord() {
  check(qimg_cdbRecord_assign(record_(), other.record_()));
}
qcCDBRecord& qcCDBRecord::operator=(const qcCDBRecord& other) {
  if (this != &other) {
    qcCDBRecord copy(other);
    record_ptr_.swap(copy.record_ptr_);
  }
  return *this;
}
qcCDBRecord::~qcCDBRecord() = default;

void qcCDBRecord::fillRecord(long type, long subtype, unsigned int dataSize, const void* data,
                             const std::string& comment, long a, long b) {
  qc_Image im;
  const void* arg = data;
  if (data && (type == QIMG_CDB_TYPE_IMAGE || type == QIMG_CDB_TYPE_TRAINED_IMAGE)) {
    im = subtype == QIMG_CDB_SUBTYPE_GREY16
             ? qfImageDescriptor(*static_cast<const qcPelBuffer_const<unsigned short>*>(data))
             : qfImageDescriptor(*static_cast<const qcPelBuffer_const<unsigned char>*>(data));
    arg = &im;
  }
  check(qimg_cdbRecord_fillRecord(record_(), narrow(type), narrow(subtype), static_cast<uint64_t>(dataSize), arg,
                                  comment.c_str(), a, b));
}

void qcCDBRecord::freeRecord() { check(qimg_cdbRecord_freeRecord(record_())); }

long qcCDBRecord::type() const { return getValue<int32_t>(*this, qimg_cdbRecord_getType); }
long qcCDBRecord::version() const { return getValue<int32_t>(*this, qimg_cdbRecord_getFileFormatVersion); }
unsigned long qcCDBRecord::dataSize() const { return getValue<uint64_t>(*this, qimg_cdbRecord_getDataSize); }
long qcCDBRecord::dataVersion() const { return getValue<int32_t>(*this, qimg_cdbRecord_getDataVersion); }
long qcCDBRecord::sequenceNumber() const { return getValue<int32_t>(*this, qimg_cdbRecord_getSequenceNumber); }
long qcCDBRecord::subtype() const { return getValue<int32_t>(*this, qimg_cdbRecord_getSubtype); }
long qcCDBRecord::resultClass() const { return getValue<int32_t>(*this, qimg_cdbRecord_getResultClass); }
qeImageFormat qcCDBRecord::imageFormat() const {
  return static_cast<qeImageFormat>(getValue<int32_t>(*this, qimg_cdbRecord_getImageFormat));
}

std::string qcCDBRecord::comment() const {
  char* text = nullptr;
  check(qimg_cdbRecord_getCommentA(record_(), &text));
  std::string s;
  try {
    s = text;
  } catch (...) {
    qimg_cdbRecord_freeString(text);
    throw;
  }
  qimg_cdbRecord_freeString(text);
  return s;
}

void qcCDBRecord::dataVersion(long v) { check(qimg_cdbRecord_setDataVersion(record_(), narrow(v))); }
void qcCDBRecord::sequenceNumber(long v) { check(qimg_cdbRecord_setSequenceNumber(record_(), narrow(v))); }
void qcCDBRecord::subtype(long v) { check(qimg_cdbRecord_setSubtype(record_(), narrow(v))); }
void qcCDBRecord::resultClass(long v) { check(qimg_cdbRecord_setResultClass(record_(), narrow(v))); }
void qcCDBRecord::comment(const std::string& text) { check(qimg_cdbRecord_setCommentA(record_(), text.c_str())); }

void qcCDBRecord::setData(const void* data, unsigned int size, long dataVersion) {
  check(qimg_cdbRecord_setData(record_(), narrow(dataVersion), static_cast<uint64_t>(size), data));
}
void qcCDBRecord::getData(void* buffer, long bufferSize) const {
  check(qimg_cdbRecord_getData(record_(), buffer, static_cast<int64_t>(bufferSize)));
}

namespace {
template <class T>
qcPelBuffer_const<T> getImage(const qcCDBRecord& r, qimg_status (*get)(const qimg_cdbRecord*, qc_Image*)) {
  qc_Image im;
  qimg_image_init(&im);
  check(get(r.record_(), &im));
  return qfConvertImage<T>(im);
}
}  // namespace

qcPelBuffer_const<unsigned char> qcCDBRecord::image() const {
  return getImage<unsigned char>(*this, qimg_cdbRecord_getImage8);
}
qcPelBuffer_const<unsigned short> qcCDBRecord::image16() const {
  return getImage<unsigned short>(*this, qimg_cdbRecord_getImage16);
}
qcPelBuffer_const<unsigned char> qcCDBRecord::imageR() const {
  return getImage<unsigned char>(*this, qimg_cdbRecord_getImageR);
}
qcPelBuffer_const<unsigned char> qcCDBRecord::imageG() const {
  return getImage<unsigned char>(*this, qimg_cdbRecord_getImageG);
}
qcPelBuffer_const<unsigned char> qcCDBRecord::imageB() const {
  return getImage<unsigned char>(*this, qimg_cdbRecord_getImageB);
}

void qcCDBRecord::image(const qcPelBuffer_const<unsigned char>& buffer) {
  const qc_Image im = qfImageDescriptor(buffer);
  check(qimg_cdbRecord_setImage8(record_(), &im));
}
void qcCDBRecord::image16(const qcPelBuffer_const<unsigned short>& buffer, qeImageFormat format) {
  const qc_Image im = qfImageDescriptor(buffer);
  check(qimg_cdbRecord_setImage16(record_(), &im, static_cast<int32_t>(format)));
}
void qcCDBRecord::imageRGB(const qcPelBuffer_const<unsigned char>& r, const qcPelBuffer_const<unsigned char>& g,
                           const qcPelBuffer_const<unsigned char>& b) {
  const qc_Image ir = qfImageDescriptor(r), ig = qfImageDescriptor(g), ib = qfImageDescriptor(b);
  check(qimg_cdbRecord_setImagesRGB(record_(), &ir, &ig, &ib));
}

std::string qcCDBRecord::typeString(int type) { return qimg_cdbRecordGetTypeString(type); }
std::string qcCDBRecord::subtypeString(int subtype) { return qimg_cdbRecordGetSubtypeString(subtype); }
