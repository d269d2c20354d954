// Feeds arbitrary bytes to the archive loader: primitive reads, pointer
// records of every registered persistent class, and the acquisition records.
// Every outcome must be a value or an archive exception: never a crash, a
// hang or a huge allocation.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <sstream>
#include <string>

#include <qrn/qrnstd.h>
#if __has_include(<qrn/acq/hyper/acqinfo.h>)
#include <qrn/acq/hyper/acqinfo.h>
#include <qrn/acq/hyper/problem.h>
#define QRN_FUZZ_ACQ 1
#endif

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string bytes("QRNA\x01\x00", 6);
  if (size == 0) return 0;
  const std::uint8_t mode = data[0];
  bytes.append(reinterpret_cast<const char*>(data + 1), size - 1);
  std::stringstream ss(bytes);
  try {
    qcArchive ar(ss, qcArchive::load);
    switch (mode % 4) {
      case 0: {
        qcPersistent* p = nullptr;
        qcPersistent::serializePointer(ar, p);
        delete p;
        break;
      }
      case 1: {
        std::string s;
        long l;
        double d;
        ar >> s >> l >> d;
        break;
      }
#ifdef QRN_FUZZ_ACQ
      case 2: {
        qcAcquireInfo info;
        ar || info;
        break;
      }
      case 3: {
        qcAcqProblem p;
        ar || p;
        break;
      }
#endif
      default:
        break;
    }
  } catch (const qcException&) {
  }
  return 0;
}
