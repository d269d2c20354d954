// The GenICam names of 8-bit Bayer mosaics and the converter's Bayer types.
#pragma once

#include <algorithm>
#include <iterator>
#include <string>

namespace qrn_gige {

// The 8-bit Bayer formats with the phase (x, y) of their first pels as
// qcBayerImageConverter counts it: GRBG (0, 0), RGGB (1, 0), BGGR (0, 1),
// GBRG (1, 1).  In the order a camera's formats are tried.
struct BayerName {
  const char* name;
  int px, py;
};
inline constexpr BayerName kBayer8[] = {{"BayerRG8", 1, 0}, {"BayerGR8", 0, 0}, {"BayerGB8", 1, 1}, {"BayerBG8", 0, 1}};

inline bool isBayer8(const std::string& pf) {
  return std::any_of(std::begin(kBayer8), std::end(kBayer8), [&](const BayerName& b) { return pf == b.name; });
}

// The converter's Bayer type (qcBayerImageConverter::BayerType) of an image
// in the Bayer 8 `pf` whose first pel lies at (x, y) of the pattern the name
// describes (an odd offset shifts the pattern); -1 for another name.
inline int bayerTypeOf(const std::string& pf, long x, long y) {
  for (const BayerName& b : kBayer8) {
    if (pf != b.name) continue;
    const int px = (b.px + static_cast<int>(x & 1)) & 1, py = (b.py + static_cast<int>(y & 1)) & 1;
    return py == 0 ? (px == 0 ? 0 : 1) : (px == 0 ? 2 : 3);
  }
  return -1;
}

}  // namespace qrn_gige
