// The camera driver's failures.
#pragma once

#include <ostream>
#include <string>

#include <qrn/acq/hyper/acqfifo.h>

namespace qrn_gige {

// Refused values; `why`, when given, becomes the exception's detail.
[[noreturn]] inline void bad(std::string why = {}) {
  qcAcqFifo::BadParams e;
  if (!why.empty()) e.setDetail(std::move(why));
  throw e;
}

// CouldNotCreate with the reason as its detail: what() is
// "qcAcqFifo::CouldNotCreate: <why>", the reason said once.
class CouldNotCreate : public qcAcqFifo::CouldNotCreate {
public:
  explicit CouldNotCreate(std::string why) { setDetail(std::move(why)); }
  const std::string& why() const { return detail(); }

protected:
  // The public class's name, as the application catches it.
  void message_(std::ostream& os) const override { os << "qcAcqFifo::CouldNotCreate"; }
};

}  // namespace qrn_gige
