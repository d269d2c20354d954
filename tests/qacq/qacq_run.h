// Runs qacq in the test process and keeps what it printed.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "qacq.h"

namespace qacq_test {

struct Outcome {
  int code;
  std::string out, err;
};

inline Outcome qacqRun(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int code = qacq::run(args, out, err);
  return {code, out.str(), err.str()};
}

}  // namespace qacq_test
