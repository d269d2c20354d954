// A program outside the tree, built against the installed package.
#include <qrn/qrnstd.h>

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
  return back == 42 && !d ? 0 : 1;
}
