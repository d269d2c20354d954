// Loads a property set (qcAnalogAcqProps) from arbitrary bytes, free or
// associated with a driver FIFO that accepts everything.  Every outcome must
// be a loaded set or an exception of the library: never a crash, a hang or a
// huge allocation.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include <qrn/acq/hyper/prop/acqprops.h>
#include <qrn/qrnstd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool quiet = [] {
    qf_setAssertObserver([](const char*, long) {});
    return true;
  }();
  (void)quiet;
  std::string bytes("QRNA\x01\x00", 6);
  bytes.append(reinterpret_cast<const char*>(data), size);
  std::stringstream ss(bytes);
  try {
    qcArchive ar(ss, qcArchive::load);
    qcAnalogAcqProps props;
    props.serialize(ar);
    // Whatever was loaded can be stored again.
    std::stringstream out;
    qcArchive ar2(out, qcArchive::store);
    props.serialize(ar2);
  } catch (const qcException&) {
  }
  return 0;
}
