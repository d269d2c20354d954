// Helpers of the qacq tests: a temporary directory, file reading, and a PNG
// and PNM reader that gives the samples exactly as stored.
#pragma once

#include <csetjmp>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <png.h>
#include <unistd.h>

#include "temp_dir.h"

namespace qacq_test {

using TempDir = qrn_test::TempDir;

inline std::string readFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

// A decoded image: samples in row order, channels interleaved; 16-bit
// samples as their numeric value.
struct Decoded {
  bool ok = false;
  std::string error;
  long width = 0, height = 0;
  int channels = 0;
  int depth = 0;      // bits per sample in the file (8 or 16)
  int sigBits = 0;    // PNG sBIT (0 when absent); PNM: bits of maxval
  unsigned maxval = 0;  // PNM only
  std::vector<unsigned> samples;

  unsigned at(long x, long y, int c = 0) const {
    return samples[static_cast<std::size_t>((y * width + x) * channels + c)];
  }
};

// Reads the whole file into png/info; false when libpng failed.  No C++
// object lives in this function, since libpng's error path longjmps out.
inline bool pngReadAll(FILE* fp, png_structp png, png_infop info) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_init_io(png, fp);
  png_read_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
  return true;
}

inline Decoded readPng(const std::string& path) {
  Decoded d;
  FILE* fp = std::fopen(path.c_str(), "rb");
  if (!fp) {
    d.error = "cannot open " + path;
    return d;
  }
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (!pngReadAll(fp, png, info)) {
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(fp);
    d.ok = false;
    d.error = "libpng could not read " + path;
    return d;
  }
  d.width = png_get_image_width(png, info);
  d.height = png_get_image_height(png, info);
  d.depth = png_get_bit_depth(png, info);
  d.channels = png_get_channels(png, info);
  png_color_8p sig = nullptr;
  if (png_get_sBIT(png, info, &sig) && sig) d.sigBits = d.channels == 1 ? sig->gray : sig->red;
  png_bytepp rows = png_get_rows(png, info);
  d.samples.reserve(static_cast<std::size_t>(d.width * d.height * d.channels));
  for (long y = 0; y < d.height; ++y)
    for (long i = 0; i < d.width * d.channels; ++i)
      d.samples.push_back(d.depth == 16 ? (unsigned(rows[y][2 * i]) << 8) | rows[y][2 * i + 1] : rows[y][i]);
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(fp);
  d.ok = true;
  return d;
}

// P5 and P6 with one whitespace character after maxval.
inline Decoded readPnm(const std::string& path) {
  Decoded d;
  const std::string bytes = readFile(path);
  std::istringstream s(bytes);
  std::string magic;
  s >> magic >> d.width >> d.height >> d.maxval;
  if (!s || (magic != "P5" && magic != "P6")) {
    d.error = "not a PNM file: " + path;
    return d;
  }
  s.get();
  d.channels = magic == "P5" ? 1 : 3;
  d.depth = d.maxval > 255 ? 16 : 8;
  for (unsigned m = d.maxval; m; m >>= 1) ++d.sigBits;
  const std::size_t n = static_cast<std::size_t>(d.width * d.height * d.channels);
  std::size_t pos = static_cast<std::size_t>(s.tellg());
  const std::size_t need = n * (d.depth / 8);
  if (bytes.size() - pos != need) {
    d.error = "PNM data has " + std::to_string(bytes.size() - pos) + " bytes, expected " + std::to_string(need);
    return d;
  }
  for (std::size_t i = 0; i < n; ++i) {
    if (d.depth == 16) {
      d.samples.push_back((unsigned(static_cast<unsigned char>(bytes[pos])) << 8) |
                          static_cast<unsigned char>(bytes[pos + 1]));
      pos += 2;
    } else {
      d.samples.push_back(static_cast<unsigned char>(bytes[pos++]));
    }
  }
  d.ok = true;
  return d;
}

}  // namespace qacq_test
