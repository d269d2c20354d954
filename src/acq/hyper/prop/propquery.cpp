#include <qrn/acq/hyper/prop/propquery.h>

#include <typeinfo>

namespace {

// The exception of an unsupported property's reference conversion.
class BadCast : public std::bad_cast {
public:
  const char* what() const noexcept override { return "bad cast"; }
};

}  // namespace

qcAcqPropertyQuery::~qcAcqPropertyQuery() = default;

#define QC_PROPERTY_QUERY_DEFINE_OPS_(P)                          \
  qcAcqPropertyQuery::operator P*() const { return nullptr; }     \
  qcAcqPropertyQuery::operator P&() const { throw BadCast(); }
QC_PROPERTY_QUERY_CLASSES_(QC_PROPERTY_QUERY_DEFINE_OPS_)
#undef QC_PROPERTY_QUERY_DEFINE_OPS_
