#include <qrn/acq/hyper/prop/propbase.h>

std::string qf_propRangeDetail_(const char* what, double v, double lo, double hi, const char* unit) {
  if (std::isnan(v)) return std::string(what) + " is not a number";
  const std::string u = unit && *unit ? std::string(" ") + unit : std::string();
  const std::string value = std::string(what) + " " + qfStr(v) + u;
  if (v < lo) return value + " is below the minimum " + qfStr(lo) + u;
  if (v > hi) return value + " is above the maximum " + qfStr(hi) + u;
  return {};
}
