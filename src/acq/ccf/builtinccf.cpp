// Configurations defined in code and the pixel clock synthesizer word.
#include <qrn/acq/ccf/builtinccf.h>

#include <cmath>

#include <qrn/acq/ccf/camcfgstore.h>
#include <qrn/acq/ccf/ccfreader.h>
#include <qrn/foundation/misc.h>

qcBuiltInCCF::qcBuiltInCCF() : info_(new qc_ccfFileInfo) { qstd_assert(info_); }
qcBuiltInCCF::~qcBuiltInCCF() = default;

void qcBuiltInCCF::addLine(const std::string& text, long lineNumber) {
  internal().addLine(text, static_cast<std::uint32_t>(lineNumber));
}

void qcBuiltInCCF::setCheckSum(std::uint32_t value) { internal().setCheckSum(value); }

bool qcBuiltInCCF::createVideoFormat() {
  if (internal().calcCheckSum() != internal().checkSum()) return false;
  try {
    qc_ccfLoader loader(internal());
    return loader.store().createVideoFormat();
  } catch (const qcException&) {
    return false;
  }
}

namespace {

// Lower limit of the VCO frequency of each range index.
constexpr double kVcoRange[16] = {40.0, 42.5, 47.5, 53.5, 58.5, 62.5,  68.5,  69.0,
                                  82.0, 87.0, 92.0, 92.1, 105.0, 115.0, 115.0, 115.0};

}  // namespace

std::uint32_t qf_calcOscVal(double frequency, double reference) {
  if (!(frequency >= 0.32 && frequency <= 115.0)) return 0;
  std::uint32_t m = 0;
  double v = frequency;
  while (m <= 7 && v < 40.0) {
    ++m;
    v *= 2;
  }
  double best = 1e6;
  long bestP = 0, bestQ = 0;
  for (long p = 4; p <= 130; ++p) {
    const double q = std::floor(2 * reference * p / v + 0.5);
    if (q < 15 || q > 71) continue;
    const double err = (2 * reference * p / q - v) / v;
    if (std::fabs(err) < std::fabs(best)) {
      best = err;
      bestP = p;
      bestQ = static_cast<long>(q);
    }
  }
  if (bestP == 0) return 0;  // no divider fits this reference
  const double fvco = 2 * reference * bestP / bestQ;
  std::uint32_t i = 15;
  while (i > 0 && kVcoRange[i] > fvco) --i;
  return (i << 18) + (static_cast<std::uint32_t>(bestP - 3) << 11) + 0x400 + (m << 7) +
         static_cast<std::uint32_t>(bestQ - 2);
}

double qf_calcOscFreq(std::uint32_t word, double reference) {
  const double q = (word & 0x7F) + 2;
  const double m = (word >> 7) & 0x7;
  const double p = ((word >> 11) & 0x7F) + 3;
  return p * 2 * reference / (std::ldexp(1.0, static_cast<int>(m)) * q);
}
