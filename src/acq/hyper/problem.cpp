#include <qrn/acq/hyper/problem.h>

#include <qrn/foundation/exception.h>

qcAcqProblem::qcAcqProblem() : flags_(new qc_ProblemFlags(0)) {}
qcAcqProblem::qcAcqProblem(const qcAcqProblem& o) : flags_(new qc_ProblemFlags(*o.flags_)) {}
qcAcqProblem& qcAcqProblem::operator=(const qcAcqProblem& o) {
  *flags_ = *o.flags_;
  return *this;
}
qcAcqProblem::~qcAcqProblem() { delete flags_; }

qcArchive& operator||(qcArchive& ar, qcAcqProblem& p) {
  unsigned char version = 0;
  ar || version;
  if (version != 0) throw qcArchive::UnknownVersion("acq/hyper/problem", 35);
  long word = static_cast<long>(*p.flags_);
  ar || word;
  if (ar.isLoading()) *p.flags_ = static_cast<qc_ProblemFlags>(word);
  return ar;
}
