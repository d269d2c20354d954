// qacq cdb: list, extract and check camera database files; the recorder
// behind "grab --cdb".
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>

#include <qrn/acq/cdb/cdb.h>

#include "qacq.h"

namespace qacq {

namespace {

qcCDBFile openForReading(const std::string& file) {
  requireRegularFile(file);
  try {
    return qcCDBFile(file);
  } catch (const qcCDBFile::BadFileFormat&) {
    throw Error(file + " is not a camera database file (or is damaged at its start)");
  } catch (const qcCDBFile::CanNotOpenFile&) {
    throw Error("cannot open " + file);
  }
}

// Text of a list of record indices: "1, 4, 7".
std::string indexList(const std::vector<long>& indices) {
  std::string text;
  for (long i : indices) text += (text.empty() ? "" : ", ") + std::to_string(i);
  return text;
}

std::string numbered(const std::string& prefix, long i) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "-%04ld", i);
  return prefix + buf;
}

template <class T>
qcPelBuffer<T> copyOf(const qcPelBuffer_const<T>& src) {
  qcPelBuffer<T> out(src.width(), src.height());
  qfPelCopy(src, out);
  return out;
}

// The record's image as an acquired image (empty when it holds none).
qcAcqImage imageOf(const qcCDBRecord& r) {
  if (r.type() != 3 && r.type() != 6) return {};
  try {
    return qcAcqImage(copyOf(r.image()), r.imageFormat());
  } catch (const qcCDBRecord::WrongSubType&) {
  }
  try {
    return qcAcqImage(copyOf(r.image16()), r.imageFormat());
  } catch (const qcCDBRecord::WrongSubType&) {
  }
  try {
    return qcAcqImage(qc3PlanePelBuffer(copyOf(r.imageR()), copyOf(r.imageG()), copyOf(r.imageB())));
  } catch (const qcCDBRecord::WrongSubType&) {
  }
  return {};
}

}  // namespace

void requireRegularFile(const std::string& file) {
  std::error_code ec;
  const auto status = std::filesystem::status(file, ec);
  if (!std::filesystem::exists(status)) throw Error("no such file: " + file);
  if (!std::filesystem::is_regular_file(status)) throw Error("cannot read " + file + ": not a regular file");
}

std::vector<long> cdbImageRecords(const std::string& file, std::vector<long>* damaged) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(file, ec)) return {};
  std::vector<long> found;
  std::unique_ptr<qcCDBFile> f;
  try {
    f = std::make_unique<qcCDBFile>(file);
  } catch (const qcException&) {
    return {};  // not a camera database file: an image file, perhaps
  }
  const long n = f->numRecords();
  for (long i = 0; i < n; ++i) {
    try {
      const long type = f->getRecordHeader(i).type;
      if (type == 3 || type == 6) found.push_back(i);
    } catch (const qcCDBFile::BadRecordFormat&) {
      if (damaged) damaged->push_back(i);
    }
  }
  return found;
}

qcPtrHandle<qcAcqImage> readCdbImage(const std::string& file, long index) {
  qcCDBFile f = openForReading(file);
  f.goToRecord(index, 0);
  qcCDBRecord r;
  try {
    f.loadRecord(r);
  } catch (const qcCDBFile::BadRecordFormat&) {
    throw Error(file + ": record " + std::to_string(index) + " is damaged (fails its CRC)");
  }
  qcPtrHandle<qcAcqImage> image(new qcAcqImage(imageOf(r)));
  if (image->isEmpty()) throw Error(file + ": record " + std::to_string(index) + " holds no image");
  return image;
}

int cdbList(const std::string& file, std::ostream& out) {
  qcCDBFile f = openForReading(file);
  const long n = f.numRecords();
  out << "index  type           subtype          size  comment\n";
  // Headers and comments only: the data (and so the CRC) is check's business.
  for (long i = 0; i < n; ++i) {
    char line[96];
    try {
      const qcCDBRecordHeader h = f.getRecordHeader(i);
      std::snprintf(line, sizeof line, "%5ld  %-13s  %-13s  %10lu  ", i, qcCDBRecord::typeString(h.type).c_str(),
                    (h.subtype < 0 ? qcCDBRecord::subtypeString(h.subtype) : std::to_string(h.subtype)).c_str(),
                    static_cast<unsigned long>(h.dataSize));
      out << line << f.recordComment(i) << "\n";
    } catch (const qcCDBFile::BadRecordFormat&) {
      std::snprintf(line, sizeof line, "%5ld  damaged (its header does not parse)\n", i);
      out << line;
    }
  }
  out << n << (n == 1 ? " record\n" : " records\n");
  return exitOk;
}

int cdbExtract(const CdbExtractOptions& o, std::ostream& out) {
  qcCDBFile f = openForReading(o.file);
  const long n = f.numRecords();
  std::vector<long> which = o.indices;
  if (which.empty())
    for (long i = 0; i < n; ++i) which.push_back(i);
  for (long i : which)
    if (i < 0 || i >= n) throw UsageError("no record " + std::to_string(i) + " (the file has " + std::to_string(n) + ")");
  std::error_code ec;
  std::filesystem::create_directories(o.outDir, ec);
  if (!std::filesystem::is_directory(o.outDir)) throw Error("cannot create the output directory " + o.outDir);

  qcCDBRecord r;
  long written = 0;
  std::vector<long> skipped;
  for (long i : which) {
    f.goToRecord(i, 0);
    try {
      f.loadRecord(r);
    } catch (const qcCDBFile::BadRecordFormat&) {
      out << "record " << i << ": damaged (fails its CRC), skipped\n";
      skipped.push_back(i);
      continue;
    }
    const std::string stem = (std::filesystem::path(o.outDir) / numbered(o.prefix, i)).string();
    std::string path;
    const qcAcqImage image = imageOf(r);
    if (!image.isEmpty()) {
      path = writeImage(image, stem, o.kind);
    } else {
      path = stem + ".bin";
      std::vector<char> data(r.dataSize());
      r.getData(data.data(), static_cast<long>(data.size()));
      std::ofstream bin(path, std::ios::binary | std::ios::trunc);
      bin.write(data.data(), static_cast<std::streamsize>(data.size()));
      if (!bin.flush()) throw Error("cannot write " + path);
    }
    out << "record " << i << " -> " << path << "\n";
    ++written;
  }
  out << written << (written == 1 ? " file" : " files") << " written to " << o.outDir << "\n";
  if (skipped.empty()) return exitOk;
  out << skipped.size() << (skipped.size() == 1 ? " damaged record" : " damaged records")
      << " skipped: " << indexList(skipped) << "\n";
  return exitError;
}

int cdbCheck(const std::string& file, std::ostream& out) {
  qcCDBFile f = openForReading(file);
  const long n = f.numRecords();
  long bad = 0;
  for (long i = 0; i < n; ++i) {
    try {
      f.verifyRecord(i);
    } catch (const qcCDBFile::BadRecordFormat&) {
      out << "record " << i << ": damaged (fails its CRC)\n";
      ++bad;
    }
  }
  const std::uint64_t torn = f.tornTailBytes();
  if (torn)
    out << file << ": the last " << torn << (torn == 1 ? " byte" : " bytes")
        << " are a torn append (an incomplete record, not counted); the next append cuts them and writes in their place\n";
  if (bad) out << file << ": " << bad << " of " << n << " records damaged\n";
  else if (torn) out << file << ": " << n << (n == 1 ? " record" : " records") << ", their CRCs good\n";
  if (bad || torn) return exitError;
  out << file << ": " << n << (n == 1 ? " record" : " records") << ", every CRC good\n";
  return exitOk;
}

// ---- recording ----------------------------------------------------------------------------

CdbRecorder::CdbRecorder(const std::string& path) {
  try {
    file_ = std::make_unique<qcCDBFile>(path, 1 | 2);
  } catch (const qcCDBFile::BadFileFormat&) {
    throw Error(path + " exists and is not a camera database file");
  } catch (const qcCDBFile::CanNotOpenFile& e) {
    throw Error(e.info().empty() ? "cannot open " + path + " for writing" : e.info());
  }
}

CdbRecorder::~CdbRecorder() = default;

void CdbRecorder::add(const qcAcqImage* image, const std::string& comment) {
  qcCDBRecord r;
  if (!image || image->isEmpty()) {
    r.fillRecord(4, 0, 0, nullptr, comment);
  } else if (image->holds<qcPelBuffer<unsigned char>>()) {
    r.image(image->grey8());
  } else if (image->holds<qcPelBuffer<unsigned short>>()) {
    r.image16(image->grey16(), image->imageFormat());
  } else {
    qc3PlanePelBuffer planes = image->threePlane();
    if (image->holds<qcPelBuffer<qcPackedRGB16Pel>>()) qfRGBUnpack(image->rgb16(), planes);
    if (image->holds<qcPelBuffer<qcPackedRGB32Pel>>()) qfRGBUnpack(image->rgb32(), planes);
    if (image->holds<qcPelBuffer<qc3PlanePel>>()) {
      const qcPelBuffer<qc3PlanePel> p = image->pel3();
      planes = qc3PlanePelBuffer(p.width(), p.height());
      for (long y = 0; y < p.height(); ++y)
        for (long x = 0; x < p.width(); ++x) planes.set(x, y, p.get(x, y));
    }
    r.imageRGB(planes.plane0(), planes.plane1(), planes.plane2());
  }
  r.comment(comment);
  file_->appendRecord(r);
}

}  // namespace qacq
