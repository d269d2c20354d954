// The camera driver's failures.
#pragma once

#include <ostream>
#include <string>

#include <qrn/acq/hyper/acqfifo.h>

namespace qrn_gige {

// Refused values (the exception carries no text of its own).
[[noreturn]] inline void bad() { throw qcAcqFifo::BadParams(); }

// CouldNotCreate with the reason in its message.
class CouldNotCreate : public qcAcqFifo::CouldNotCreate {
public:
  explicit CouldNotCreate(std::string why) : why_(std::move(why)) {}
  std::string info() const override { return why_; }

protected:
  void message_(std::ostream& os) const override { os << "qcAcqFifo::CouldNotCreate: " << why_; }

private:
  std::string why_;
};

}  // namespace qrn_gige
