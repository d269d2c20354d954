// Image files: PNG through libpng, PGM/PPM by hand.
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <vector>
#include <algorithm>

#include <png.h>

#include <qrn/foundation/pelbuffer.h>

#include "qacq.h"

namespace qacq {

namespace {

// An image as rows of samples: 1 (grey) or 3 (RGB) channels of 8 or 16 bits,
// 16-bit samples big-endian (the byte order of both PNG and PNM).  Samples of
// 16-bit rasters hold `sigBits` significant bits (10, 12, 14 or 16).
struct Raster {
  long width = 0, height = 0;
  int channels = 1;
  int depth = 8;
  int sigBits = 8;
  std::function<void(long y, unsigned char* row)> row;  // fills width * channels samples; must not throw

  std::size_t rowBytes() const { return static_cast<std::size_t>(width) * channels * (depth / 8); }
};

Raster rasterOf(const qcAcqImage& image) {
  Raster r;
  const qeImageFormat f = image.imageFormat();
  if (image.holds<qcPelBuffer<unsigned char>>()) {
    const auto b = image.grey8();
    r = {b.width(), b.height(), 1, 8, 8, [b](long y, unsigned char* d) {
           std::memcpy(d, b.rowPointer(y), static_cast<std::size_t>(b.width()));
         }};
  } else if (image.holds<qcPelBuffer<unsigned short>>()) {
    const auto b = image.grey16();
    const int sig = greySignificantBits(f);
    const bool bigEndianPels = f == qeImageFormat_Grey16BigEndian;
    r = {b.width(), b.height(), 1, 16, sig, [b, sig, bigEndianPels](long y, unsigned char* d) {
           const unsigned short* s = b.rowPointer(y);
           const unsigned maxv = (1u << sig) - 1;
           for (long x = 0; x < b.width(); ++x) {
             unsigned v = s[x];
             if (bigEndianPels) v = ((v & 0xFFu) << 8) | (v >> 8);
             if (v > maxv) v = maxv;
             d[2 * x] = static_cast<unsigned char>(v >> 8);
             d[2 * x + 1] = static_cast<unsigned char>(v);
           }
         }};
  } else if (image.holds<qcPelBuffer<qcPackedRGB16Pel>>()) {
    const auto b = image.rgb16();
    r = {b.width(), b.height(), 3, 8, 8, [b](long y, unsigned char* d) {
           const qcPackedRGB16Pel* s = b.rowPointer(y);
           for (long x = 0; x < b.width(); ++x, d += 3) {
             d[0] = s[x].r();
             d[1] = s[x].g();
             d[2] = s[x].b();
           }
         }};
  } else if (image.holds<qcPelBuffer<qcPackedRGB32Pel>>()) {
    const auto b = image.rgb32();
    r = {b.width(), b.height(), 3, 8, 8, [b](long y, unsigned char* d) {
           const qcPackedRGB32Pel* s = b.rowPointer(y);
           for (long x = 0; x < b.width(); ++x, d += 3) {
             d[0] = s[x].r();
             d[1] = s[x].g();
             d[2] = s[x].b();
           }
         }};
  } else if (image.holds<qcPelBuffer<qc3PlanePel>>()) {
    const auto b = image.pel3();
    r = {b.width(), b.height(), 3, 8, 8, [b](long y, unsigned char* d) {
           const qc3PlanePel* s = b.rowPointer(y);
           for (long x = 0; x < b.width(); ++x, d += 3) {
             d[0] = s[x].c0;
             d[1] = s[x].c1;
             d[2] = s[x].c2;
           }
         }};
  } else if (image.holds<qc3PlanePelBuffer>()) {
    const auto b = image.threePlane();
    r = {b.width(), b.height(), 3, 8, 8, [b](long y, unsigned char* d) {
           const unsigned char* p0 = b.plane0().rowPointer(y);
           const unsigned char* p1 = b.plane1().rowPointer(y);
           const unsigned char* p2 = b.plane2().rowPointer(y);
           for (long x = 0; x < b.width(); ++x, d += 3) {
             d[0] = p0[x];
             d[1] = p1[x];
             d[2] = p2[x];
           }
         }};
  } else {
    throw Error("an empty image cannot be written");
  }
  if (image.isEmpty() || r.width <= 0 || r.height <= 0) throw Error("an empty image cannot be written");
  return r;
}

void pngError(png_structp png, png_const_charp msg) {
  *static_cast<std::string*>(png_get_error_ptr(png)) = msg ? msg : "libpng error";
  png_longjmp(png, 1);
}
void pngWarning(png_structp, png_const_charp) {}

// Returns an empty string on success, else why it failed.  No C++ object is
// created between setjmp and the end of the protected part.
std::string writePng(const std::string& path, const Raster& r) {
  std::string error;
  std::vector<unsigned char> row(r.rowBytes());
  FILE* fp = std::fopen(path.c_str(), "wb");
  if (!fp) return std::strerror(errno);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &error, pngError, pngWarning);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info) {
    png_destroy_write_struct(&png, &info);
    std::fclose(fp);
    return "out of memory";
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(fp);
    return error.empty() ? std::string("libpng error") : error;
  }
  png_init_io(png, fp);
  png_set_IHDR(png, info, static_cast<png_uint_32>(r.width), static_cast<png_uint_32>(r.height), r.depth,
               r.channels == 1 ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(png, 3);
  if (r.sigBits != r.depth) {
    png_color_8 sig{};
    sig.gray = sig.red = sig.green = sig.blue = static_cast<png_byte>(r.sigBits);
    png_set_sBIT(png, info, &sig);
  }
  png_write_info(png, info);
  for (long y = 0; y < r.height; ++y) {
    r.row(y, row.data());
    if (r.depth == 16 && r.sigBits < 16) {
      // PNG keeps samples at full range: shift the significant bits up and
      // repeat their top bits below (sBIT tells readers the original depth).
      const int up = 16 - r.sigBits;
      for (std::size_t i = 0; i + 1 < row.size(); i += 2) {
        unsigned v = (static_cast<unsigned>(row[i]) << 8) | row[i + 1];
        v = (v << up) | (v >> (r.sigBits - up));
        row[i] = static_cast<unsigned char>(v >> 8);
        row[i + 1] = static_cast<unsigned char>(v);
      }
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  if (std::fclose(fp) != 0) return std::strerror(errno);
  return {};
}

std::string writePnm(const std::string& path, const Raster& r) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  if (!f) return std::strerror(errno);
  f << (r.channels == 1 ? "P5" : "P6") << "\n" << r.width << " " << r.height << "\n" << ((1u << r.sigBits) - 1) << "\n";
  std::vector<unsigned char> row(r.rowBytes());
  for (long y = 0; y < r.height && f; ++y) {
    r.row(y, row.data());
    f.write(reinterpret_cast<const char*>(row.data()), static_cast<std::streamsize>(row.size()));
  }
  f.close();
  if (!f) return "write failed";
  return {};
}

}  // namespace

int greySignificantBits(qeImageFormat f) {
  switch (f) {
    case qeImageFormat_Grey10: return 10;
    case qeImageFormat_Grey12: return 12;
    case qeImageFormat_Grey14: return 14;
    default: return 16;
  }
}

std::string writeImage(const qcAcqImage& image, const std::string& stem, FileKind kind) {
  if (kind == FileKind::none) return {};
  const Raster r = rasterOf(image);
  const std::string path = stem + (kind == FileKind::png ? ".png" : r.channels == 1 ? ".pgm" : ".ppm");
  const std::string why = kind == FileKind::png ? writePng(path, r) : writePnm(path, r);
  if (!why.empty()) {
    std::remove(path.c_str());
    throw Error("cannot write " + path + ": " + why);
  }
  return path;
}

}  // namespace qacq

// ---- reading ----------------------------------------------------------------------

namespace qacq {

namespace {

constexpr long kMaxPels = 1L << 28;  // larger files are refused, not allocated

// A sample of 0..maxval as 0..255, rounded.
unsigned char to8(unsigned v, unsigned maxval) {
  return static_cast<unsigned char>((std::min(v, maxval) * 255u + maxval / 2) / maxval);
}

qcPtrHandle<qcAcqImage> readPng(const std::string& path) {
  png_image im{};
  im.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&im, path.c_str())) throw Error("cannot read " + path + ": " + im.message);
  const bool colour = (im.format & PNG_FORMAT_FLAG_COLOR) != 0;
  const long w = static_cast<long>(im.width), h = static_cast<long>(im.height);
  if (w <= 0 || h <= 0 || w > kMaxPels / h) {
    png_image_free(&im);
    throw Error("cannot read " + path + ": image too large");
  }
  bool ok = false;
  qcPtrHandle<qcAcqImage> out;
  if (colour) {
    // BGRA is the memory order of qcPackedRGB32Pel.
    im.format = PNG_FORMAT_BGRA;
    qcPelBuffer<qcPackedRGB32Pel> b(w, h);
    ok = png_image_finish_read(&im, nullptr, b.rowPointer(0), static_cast<png_int_32>(b.rowUpdate() * 4), nullptr);
    out = qcPtrHandle<qcAcqImage>(new qcAcqImage(b));
  } else {
    // 16-bit grey is read linear and scaled to 8 bits (the 8-bit form of
    // libpng would apply a gamma curve).
    const bool deep = (im.format & PNG_FORMAT_FLAG_LINEAR) != 0;
    qcPelBuffer<unsigned char> b(w, h);
    if (deep) {
      im.format = PNG_FORMAT_LINEAR_Y;
      std::vector<png_uint_16> tmp(static_cast<std::size_t>(w * h));
      ok = png_image_finish_read(&im, nullptr, tmp.data(), static_cast<png_int_32>(w), nullptr);
      for (long y = 0; ok && y < h; ++y)
        for (long x = 0; x < w; ++x) b.rowPointer(y)[x] = to8(tmp[static_cast<std::size_t>(y * w + x)], 65535);
    } else {
      im.format = PNG_FORMAT_GRAY;
      ok = png_image_finish_read(&im, nullptr, b.rowPointer(0), static_cast<png_int_32>(b.rowUpdate()), nullptr);
    }
    out = qcPtrHandle<qcAcqImage>(new qcAcqImage(b));
  }
  if (!ok) {
    const std::string why = im.message;
    png_image_free(&im);
    throw Error("cannot read " + path + ": " + why);
  }
  return out;
}

// Binary PGM (P5) or PPM (P6), maxval up to 65535.
qcPtrHandle<qcAcqImage> readPnm(const std::string& path, std::ifstream& f) {
  auto bad = [&](const std::string& why) { return Error("cannot read " + path + ": " + why); };
  std::string magic;
  f >> magic;
  auto number = [&]() {
    while (f >> std::ws && f.peek() == '#') f.ignore(1L << 20, '\n');
    long v = -1;
    if (!(f >> v)) throw bad("not a binary PGM/PPM header");
    return v;
  };
  const long w = number(), h = number(), maxval = number();
  f.get();  // the one blank after maxval
  if (w <= 0 || h <= 0 || w > kMaxPels / h) throw bad("bad size " + std::to_string(w) + "x" + std::to_string(h));
  if (maxval <= 0 || maxval > 65535) throw bad("bad maxval " + std::to_string(maxval));
  const int channels = magic == "P6" ? 3 : 1, bytes = maxval > 255 ? 2 : 1;
  // The file must hold the pels its header claims before any is allocated.
  const std::streamoff start = f.tellg();
  f.seekg(0, std::ios::end);
  const std::streamoff held = f.tellg() - start, needed = static_cast<std::streamoff>(w) * h * channels * bytes;
  if (start < 0 || held < needed)
    throw bad("truncated: the file holds " + std::to_string(std::max<std::streamoff>(held, 0)) + " bytes of pels, not " +
              std::to_string(needed));
  f.seekg(start);
  std::vector<unsigned char> row(static_cast<std::size_t>(w * channels * bytes));
  auto sample = [&](long i) {
    const unsigned v = bytes == 2 ? (row[static_cast<std::size_t>(2 * i)] << 8) | row[static_cast<std::size_t>(2 * i + 1)]
                                  : row[static_cast<std::size_t>(i)];
    return to8(v, static_cast<unsigned>(maxval));
  };
  qcPelBuffer<unsigned char> grey;
  qcPelBuffer<qcPackedRGB32Pel> rgb;
  if (channels == 1) grey = qcPelBuffer<unsigned char>(w, h);
  else rgb = qcPelBuffer<qcPackedRGB32Pel>(w, h);
  for (long y = 0; y < h; ++y) {
    if (!f.read(reinterpret_cast<char*>(row.data()), static_cast<std::streamsize>(row.size())))
      throw bad("truncated at row " + std::to_string(y));
    for (long x = 0; x < w; ++x) {
      if (channels == 1) grey.rowPointer(y)[x] = sample(x);
      else rgb.rowPointer(y)[x] = qcPackedRGB32Pel(sample(3 * x), sample(3 * x + 1), sample(3 * x + 2));
    }
  }
  return qcPtrHandle<qcAcqImage>(channels == 1 ? new qcAcqImage(grey) : new qcAcqImage(rgb));
}

}  // namespace

qcPtrHandle<qcAcqImage> readImage(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) throw Error("cannot open " + path + ": " + std::strerror(errno));
  char magic[2] = {0, 0};
  f.read(magic, 2);
  if (magic[0] == 'P' && (magic[1] == '5' || magic[1] == '6')) {
    f.seekg(0);
    return readPnm(path, f);
  }
  f.close();
  if (static_cast<unsigned char>(magic[0]) == 0x89 && magic[1] == 'P') return readPng(path);
  throw Error("cannot read " + path + ": not a PNG, binary PGM or PPM file");
}

}  // namespace qacq
