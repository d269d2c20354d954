// Helpers of the camera database tests: a scratch directory, test images and
// deterministic record contents.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "temp_dir.h"

#include <qrn/acq/cdb/cdb.h>

namespace cdbtest {

using TempDir = qrn_test::TempDir;

// width x height pels, value (x * 7 + y * 13 + seed) & 0xFF (or & 0xFFFF).
template <class T>
qcPelBuffer<T> pattern(long width, long height, unsigned seed) {
  qcPelBuffer<T> b(width, height);
  for (long y = 0; y < height; ++y)
    for (long x = 0; x < width; ++x)
      b.set(x, y, static_cast<T>((x * 7 + y * 13 + static_cast<long>(seed) * 1031) & (sizeof(T) == 1 ? 0xFF : 0xFFFF)));
  return b;
}

template <class T>
bool samePels(const qcPelBuffer_const<T>& a, const qcPelBuffer_const<T>& b) {
  if (a.width() != b.width() || a.height() != b.height()) return false;
  for (long y = 0; y < a.height(); ++y)
    for (long x = 0; x < a.width(); ++x)
      if (a.get(x, y) != b.get(x, y)) return false;
  return true;
}

// The data of record n of a generated file: its size and bytes depend on n
// (a slice of a fixed pseudo-random pool, so that large records are cheap
// to make).  maxSize is at most 4 MiB.
inline std::vector<unsigned char> recordData(std::uint32_t n, std::size_t maxSize = 200000) {
  static const std::vector<unsigned char> pool = [] {
    std::vector<unsigned char> p(std::size_t{8} << 20);
    std::uint32_t v = 1;
    for (auto& c : p) {
      v = v * 1103515245u + 12345u;
      c = static_cast<unsigned char>(v >> 16);
    }
    return p;
  }();
  const std::size_t size = (std::size_t{n} * 7919u) % maxSize + 1;
  const std::size_t at = (std::size_t{n} * 104729u) % (pool.size() - size);
  return std::vector<unsigned char>(pool.begin() + static_cast<long>(at), pool.begin() + static_cast<long>(at + size));
}

inline std::vector<unsigned char> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}
inline void writeFile(const std::string& path, const std::vector<unsigned char>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace cdbtest
