// A program outside the tree, built against the installed package.
#include <qrn/qrnstd.h>

#ifdef QRN_HAVE_QRTCDB
#include <qrn/cdb/qrtcdb.h>
#endif

#include <cstring>
#include <iostream>
#include <sstream>

int main() {
  std::stringstream ss;
  {
    qcArchive ar(ss, qcArchive::store);
    long v = 42;
    ar || v;
  }
  qcArchive in(ss, qcArchive::load);
  long back = 0;
  in || back;
  qcDeadline d(10);
  std::cout << "archive round trip " << back << ", deadline " << (d ? "passed" : "open") << "\n";
#ifdef QRN_HAVE_QRTCDB
  // The record-file library is exported too.
  qimg_cdbRecord* rec = qimg_cdbRecord_new();
  const bool cdbOk = rec && qimg_cdbRecord_setCommentA(rec, "x") == 0 && std::strcmp(qimg_cdbRecordGetTypeString(3), "image") == 0;
  qimg_cdbRecord_delete(rec);
  if (!cdbOk) return 1;
#endif
  return back == 42 && !d ? 0 : 1;
}
