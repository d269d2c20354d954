#include <qrn/foundation/exception.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <sstream>

// ---- qcException -------------------------------------------------------------------

void qcException::suicideAndRethrow() {
  qcException copy(*this);
  delete this;
  throw copy;
}

qcException* qcException::clone() const { return new qcException(*this); }

std::string qcException::className() const { return qc_Instantiator::nameOf(typeid(*this)); }

void qcException::message_(std::ostream& os) const { os << className(); }

std::string qcException::messageString() const {
  std::ostringstream os;
  message_(os);
  return os.str();
}

const char* qcException::what() const noexcept {
  try {
    what_ = messageString();
    if (!detail_.empty()) what_ += ": " + detail_;
  } catch (...) {
    return "qcException";
  }
  return what_.c_str();
}

// Level data of qcException: its own version byte.
void qcException::dispatchSerialize(qcArchive& ar) {
  if (haveVisited(ar, this, typeid(qcException))) return;
  unsigned char version = 0;
  ar || version;
  if (version != 0) throw qcArchive::UnknownVersion("qcException", 0);
  qcPersistent::dispatchSerialize(ar);
  setVisited(ar, this, typeid(qcException));
}

void qcExceptionWithString::dispatchSerialize(qcArchive& ar) {
  if (haveVisited(ar, this, typeid(qcExceptionWithString))) return;
  unsigned char version = 0;
  ar || version;
  if (version != 0) throw qcArchive::UnknownVersion("qcExceptionWithString", 0);
  qcException::dispatchSerialize(ar);
  ar || text_;
  setVisited(ar, this, typeid(qcExceptionWithString));
}

void qcExceptionWithString::message_(std::ostream& os) const {
  if (text_.empty())
    qcException::message_(os);
  else
    os << text_;
}

void qf_throwUnknownExceptionVersion(const std::type_info& type) {
  throw qcArchive::UnknownVersion(qc_Instantiator::nameOf(type), 0);
}

// ---- archive exceptions ------------------------------------------------------------

qcArchive::UnknownVersion::UnknownVersion(const char* classOrFile, long line)
    : where_(classOrFile ? classOrFile : ""), line_(line) {}
qcArchive::UnknownVersion::UnknownVersion(const std::string& classOrFile, long line)
    : where_(classOrFile), line_(line) {}

void qcArchive::UnknownVersion::message_(std::ostream& os) const {
  os << "qcArchive::UnknownVersion: " << (where_.empty() ? std::string("?") : where_) << ", line " << line_;
}

void qcArchive::UnknownVersion::dispatchSerialize(qcArchive& ar) {
  qcExceptionT::dispatchSerialize(ar);
  ar || where_ || line_;
}

// ---- status conversion -----------------------------------------------------------------

namespace {
struct Converters {
  std::mutex m;
  std::array<std::atomic<qcExceptionConverter>, 0x1000> fns{};
};
Converters& converters() {
  static Converters* c = new Converters;
  return *c;
}
std::string statusText(std::uint32_t status) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "failed status 0x%08x", status);
  return buf;
}
}  // namespace

void qfRegisterExceptionConverter(std::uint32_t facility, qcExceptionConverter fn) {
  converters().fns[facility & 0xFFFu].store(fn, std::memory_order_release);
}

void qfThrowExceptionOnFailure(std::uint32_t status) {
  if ((status & 0x80000000u) == 0) return;
  qcExceptionConverter fn = converters().fns[qf_statusFacility(status)].load(std::memory_order_acquire);
  if (fn) fn(status);
  throw qcStatusError(status);
}

qcStatusError::qcStatusError(std::uint32_t status)
    : qcExceptionT(statusText(status)), status_(status) {}

QC_REGISTER_PERSISTENT(qcException);
QC_REGISTER_PERSISTENT(qcExceptionWithString);
QC_REGISTER_PERSISTENT(qcStatusError);
QC_REGISTER_PERSISTENT(qcArchive::Errors);
QC_REGISTER_PERSISTENT(qcArchive::BadData);
QC_REGISTER_PERSISTENT(qcArchive::UnknownClass);
QC_REGISTER_PERSISTENT(qcArchive::UnknownVersion);
