#include <qrn/acq/hyper/acqinfo.h>

qcArchive& operator||(qcArchive& ar, qcAcquireInfo& info) {
  unsigned char version = 0;
  ar || version;
  if (version != 0) throw qcArchive::UnknownVersion("acq/hyper/acqinfo", 18);
  ar || info.appTag_ || info.triggerNum_;
  ar || info.failure_;
  unsigned long low = static_cast<unsigned long>(info.timeStamp_ & 0xFFFFFFFFu);
  unsigned long high = static_cast<unsigned long>(info.timeStamp_ >> 32);
  ar || low || high;
  if (ar.isLoading()) {
    if (low > 0xFFFFFFFFul || high > 0xFFFFFFFFul) throw qcArchive::BadData("acquire info time stamp out of range");
    info.timeStamp_ = (static_cast<std::uint64_t>(high) << 32) | low;
  }
  return ar;
}
