#include <qrn/acq/hyper/failure.h>
#include <qrn/acq/hyper/failurename.h>

#include <cstdio>

std::string qfDescribeFailure(const qcAcqFailure& f) {
  if (!f) return "ok";
  std::string s;
  for (const qsAcqFailureFlagName& flag : qcAcqFailureFlagNames)
    if (f.rawFlags() & flag.bit) s += (s.empty() ? "" : "+") + std::string(flag.name);
  if (s.empty()) {
    char b[40];
    std::snprintf(b, sizeof b, "failed (flags 0x%lx)", f.rawFlags());
    s = b;
  }
  if (f.isAbnormal()) s += " (code " + std::to_string(f.abnormalErrorCode()) + ")";
  if (!f.errorInfo().empty()) s += ": " + f.errorInfo();
  return s;
}

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
