// Frame ids of a camera stream: how many frames were skipped between two.
#pragma once

#include <cstdint>

namespace qrn_gige {

// The frame ids skipped between `last` and `id`, the next id received.
// GigE Vision block ids of 16 bits wrap from 65535 to 1 (0 is never used);
// ids that go back otherwise (a camera that restarted its count) skip
// nothing.
inline std::uint64_t framesSkipped(std::uint64_t last, std::uint64_t id) {
  if (id > last) return id - last - 1;
  if (last <= 0xFFFF && id >= 1) {
    const std::uint64_t wrapped = (0xFFFF - last) + (id - 1);
    if (wrapped < 0x8000) return wrapped;
  }
  return 0;
}

// The id `k` frames after `last`, wrapping like framesSkipped.
inline std::uint64_t frameIdAfter(std::uint64_t last, std::uint64_t k) {
  const std::uint64_t id = last + k;
  return last <= 0xFFFF && id > 0xFFFF ? id - 0xFFFF : id;
}

// Whether `id` comes after `last` (across the 16-bit wrap too); an id that
// goes back does not.
inline bool frameIdAhead(std::uint64_t last, std::uint64_t id) {
  return id > last || id == frameIdAfter(last, 1) || framesSkipped(last, id) > 0;
}

}  // namespace qrn_gige
