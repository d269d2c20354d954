#include <qrn/acq/hyper/failure.h>

qcArchive& operator||(qcArchive& ar, qcAcqFailure& f) {
  unsigned char version = 0;
  ar || version;
  if (version != 0) throw qcArchive::UnknownVersion("acq/hyper/failure", 100);
  unsigned long flags = f.flags_;
  ar || flags;
  if (ar.isLoading()) f.flags_ = static_cast<std::uint32_t>(flags);
  return ar;
}

QC_REGISTER_PERSISTENT(qcAcqFeatureNotImplemented);
