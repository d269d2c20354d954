// Reads arbitrary bytes as a camera configuration file, loads it into a
// store, fills the extension records from the store, and writes the store
// and the file image back.  Every outcome must be a loaded store or an
// exception of the library: never a crash, a hang or an unbounded
// allocation.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include <qrn/acq/ccf/camcfgstore.h>
#include <qrn/acq/ccf/ccfreader.h>
#include <qrn/acq/ccf/vidfmtext.h>
#include <qrn/qrnstd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool quiet = [] {
    qf_setAssertObserver([](const char*, long) {});
    return true;
  }();
  (void)quiet;
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  qc_ccfFileInfo info;
  qc_ccfReader::readStream(in, info, true);
  (void)info.checkSumOK();
  std::ostringstream image;
  info.write(image, false);

  qc_camCfgStore store;
  try {
    qc_ccfLoader loader(info, &store);
  } catch (const qcException&) {
  }
  qc_VideoExtCIT cit("fuzz");
  qc_VideoExtCIToptional opt("fuzz");
  qc_VidFmtCameraInfo camInfo("fuzz", true);
  cit.load(store);
  opt.load(store);
  camInfo.load(store);
  (void)opt.integrityCheck(cit);

  // The store written out reads back without a crash.
  qc_ccfFileInfo written;
  store.toFileInfo(written);
  std::stringstream text;
  written.write(text, false);
  qc_ccfFileInfo again;
  qc_ccfReader::readStream(text, again, true);
  qc_camCfgStore back;
  try {
    qc_ccfLoader loader(again, &back);
  } catch (const qcException&) {
  }
  return 0;
}
