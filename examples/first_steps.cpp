// First steps with the foundation: the boards of the process, an acquisition
// record stored in an archive and read back.
#include <qrn/qrnstd.h>
#include <qrn/acq/hyper/acqinfo.h>

#include <iostream>
#include <sstream>

int main() {
  std::cout << "boards in this process: " << qcBoard::count() << "\n";

  qcAcqFailure failure;
  failure.isTimeout(true);
  qcAcquireInfo info(7, 42, failure, 123456789ull);

  std::stringstream bytes;
  {
    qcArchive ar(bytes, qcArchive::store);
    ar || info;
  }
  qcAcquireInfo back;
  qcArchive in(bytes, qcArchive::load);
  in || back;
  std::cout << "acquire info read back: tag " << back.appTag() << ", trigger " << back.triggerNum()
            << ", timeout " << std::boolalpha << back.failure().isTimeout() << ", time stamp " << back.timeStamp()
            << " (" << bytes.str().size() << " bytes)\n";
  return 0;
}
