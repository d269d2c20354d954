// Opens arbitrary bytes as a camera database file and walks every record:
// headers, loads, CRC checks, images; then appends one record and reads the
// file again.  Every outcome must be a value or one of the module's
// exceptions: never a crash, a hang or a huge allocation.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include <qrn/acq/cdb/cdb.h>

namespace {

void walk(qcCDBFile& f) {
  const long n = f.numRecords();
  qcCDBRecord r;
  for (long i = 0; i < n; ++i) {
    try {
      f.getRecordHeader(i);
      f.recordComment(i);
      f.goToRecord(i, 0);
      f.verifyRecord(i);
      f.loadRecord(r);
      r.comment();
      switch (r.subtype()) {
        case -21: r.image(); break;
        case -22: r.image16(); break;
        case -23: r.imageR(); r.imageB(); break;
        default: break;
      }
    } catch (const qcException&) {
    }
  }
  try {
    f.findRecord(0, qcCDBRecord(3, 0, 0, nullptr), 2);
    f.findPrevRecord(qcCDBRecord(2, 0, 0, nullptr), 2);
  } catch (const qcException&) {
  }
  f.tornTailBytes();
  std::ostringstream dump;
  f.dumpIndex(dump);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  try {
    std::stringstream s(bytes, std::ios::in | std::ios::out | std::ios::binary);
    qcCDBFile f(&s, 1, false);
    walk(f);
  } catch (const qcException&) {
  }
  // Appending over whatever tail the bytes have, then reading it all again.
  try {
    std::stringstream s(bytes, std::ios::in | std::ios::out | std::ios::binary);
    {
      qcCDBFile f(&s, 1 | 2, false);
      f.appendRecord(qcCDBRecord(2, 1, 3, "abc", "appended"));
      if (f.numRecords() > 1) {
        f.firstRecord();
        f.deleteRecord();
      }
    }
    qcCDBFile f(&s, 1, false);
    walk(f);
  } catch (const qcException&) {
  }
  return 0;
}
