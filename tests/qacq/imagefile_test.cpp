// qacq: image files written from every kind of image, read back sample by
// sample.
#include <gtest/gtest.h>

#include <filesystem>

#include <qrn/acq/format/vidfmt.h>
#include <qrn/foundation/pelbuffer.h>

#include "qacq.h"
#include "qacq_support.h"

using qacq_test::Decoded;
using qacq_test::TempDir;

namespace {

// Odd sizes and a window of a larger root, so that row padding and strides
// show.
constexpr long W = 7, H = 5;

unsigned char v8(long x, long y, int c = 0) { return static_cast<unsigned char>(x * 31 + y * 17 + c * 85); }

template <class T>
qcPelBuffer<T> windowed() {
  qcPelBuffer<T> root(W + 3, H + 2);
  return root.window(2, 1, W, H);
}

Decoded readBack(const std::string& path) {
  return path.ends_with(".png") ? qacq_test::readPng(path) : qacq_test::readPnm(path);
}

}  // namespace

TEST(QacqImageFile, Grey8AndColourKinds) {
  TempDir dir;
  auto g8 = windowed<unsigned char>();
  auto rgb32 = windowed<qcPackedRGB32Pel>();
  auto rgb16 = windowed<qcPackedRGB16Pel>();
  auto pel3 = windowed<qc3PlanePel>();
  qc3PlanePelBuffer planes(W, H);
  for (long y = 0; y < H; ++y)
    for (long x = 0; x < W; ++x) {
      g8.set(x, y, v8(x, y));
      rgb32.set(x, y, qcPackedRGB32Pel(v8(x, y, 0), v8(x, y, 1), v8(x, y, 2), 99));
      rgb16.set(x, y, qcPackedRGB16Pel(v8(x, y, 0), v8(x, y, 1), v8(x, y, 2)));
      pel3.set(x, y, qc3PlanePel(v8(x, y, 0), v8(x, y, 1), v8(x, y, 2)));
      planes.set(x, y, qc3PlanePel(v8(x, y, 0), v8(x, y, 1), v8(x, y, 2)));
    }
  // What each kind should read back as, at (x, y), channel c.
  auto exact = [](long x, long y, int c) -> unsigned { return v8(x, y, c); };
  auto packed16 = [](long x, long y, int c) -> unsigned {
    const qcPackedRGB16Pel p(v8(x, y, 0), v8(x, y, 1), v8(x, y, 2));
    return c == 0 ? p.r() : c == 1 ? p.g() : p.b();
  };
  struct Case {
    const char* name;
    qcAcqImage image;
    int channels;
    std::function<unsigned(long, long, int)> expect;
  };
  const Case cases[] = {
      {"grey8", qcAcqImage(g8), 1, exact},
      {"raw8", qcAcqImage(g8, qeImageFormat_Raw8), 1, exact},
      {"rgb32", qcAcqImage(rgb32), 3, exact},
      {"rgb16", qcAcqImage(rgb16), 3, packed16},
      {"pel3", qcAcqImage(pel3), 3, exact},
      {"planes", qcAcqImage(planes), 3, exact},
  };
  for (const Case& c : cases) {
    for (qacq::FileKind kind : {qacq::FileKind::png, qacq::FileKind::pnm}) {
      const std::string path = qacq::writeImage(c.image, dir / c.name, kind);
      const char* ext = kind == qacq::FileKind::png ? ".png" : c.channels == 1 ? ".pgm" : ".ppm";
      EXPECT_EQ(path, (dir / c.name) + ext);
      const Decoded d = readBack(path);
      ASSERT_TRUE(d.ok) << d.error;
      ASSERT_EQ(d.width, W) << path;
      ASSERT_EQ(d.height, H) << path;
      ASSERT_EQ(d.channels, c.channels) << path;
      EXPECT_EQ(d.depth, 8) << path;
      for (long y = 0; y < H; ++y)
        for (long x = 0; x < W; ++x)
          for (int ch = 0; ch < c.channels; ++ch)
            ASSERT_EQ(d.at(x, y, ch), c.expect(x, y, ch)) << path << " at " << x << "," << y << " channel " << ch;
    }
  }
}

TEST(QacqImageFile, SixteenBitGreyKeepsItsRange) {
  TempDir dir;
  auto g16 = windowed<unsigned short>();
  // Values up to the full 16 bits; 10- and 12-bit images also get values
  // above their range, which are clipped.
  for (long y = 0; y < H; ++y)
    for (long x = 0; x < W; ++x) g16.set(x, y, static_cast<unsigned short>(x * 9001 + y * 1234));
  struct Case {
    const char* name;
    qeImageFormat format;
    int sig;
  } cases[] = {{"g16", qeImageFormat_Grey16, 16}, {"g10", qeImageFormat_Grey10, 10}, {"g12", qeImageFormat_Grey12, 12},
               {"g14", qeImageFormat_Grey14, 14}};
  for (const Case& c : cases) {
    const qcAcqImage image(g16, c.format);
    const unsigned maxv = (1u << c.sig) - 1;
    auto stored = [&](long x, long y) { return std::min<unsigned>(g16.get(x, y), maxv); };

    const Decoded pnm = qacq_test::readPnm(qacq::writeImage(image, dir / c.name, qacq::FileKind::pnm));
    ASSERT_TRUE(pnm.ok) << pnm.error;
    EXPECT_EQ(pnm.maxval, maxv) << c.name;
    const Decoded png = qacq_test::readPng(qacq::writeImage(image, dir / c.name, qacq::FileKind::png));
    ASSERT_TRUE(png.ok) << png.error;
    EXPECT_EQ(png.depth, 16);
    EXPECT_EQ(png.sigBits, c.sig == 16 ? 0 : c.sig) << c.name;  // no sBIT for full 16 bits
    for (long y = 0; y < H; ++y)
      for (long x = 0; x < W; ++x) {
        const unsigned v = stored(x, y);
        EXPECT_EQ(pnm.at(x, y), v) << c.name << " " << x << "," << y;
        // PNG: scaled to the full range, the significant bits on top.
        EXPECT_EQ(png.at(x, y) >> (16 - c.sig), v) << c.name << " " << x << "," << y;
        if (v == maxv) {
          EXPECT_EQ(png.at(x, y), 0xFFFFu) << c.name;
        }
        if (v == 0) {
          EXPECT_EQ(png.at(x, y), 0u) << c.name;
        }
      }
  }
}

TEST(QacqImageFile, BigEndianGreyIsSwapped) {
  TempDir dir;
  qcPelBuffer<unsigned short> b(2, 1);
  b.set(0, 0, 0x3412);  // stored big-endian: the value is 0x1234
  b.set(1, 0, 0x00FF);  // 0xFF00
  const Decoded d = qacq_test::readPnm(
      qacq::writeImage(qcAcqImage(b, qeImageFormat_Grey16BigEndian), dir / "be", qacq::FileKind::pnm));
  ASSERT_TRUE(d.ok) << d.error;
  EXPECT_EQ(d.at(0, 0), 0x1234u);
  EXPECT_EQ(d.at(1, 0), 0xFF00u);
}

TEST(QacqImageFile, Errors) {
  TempDir dir;
  // Empty images: nothing, an unbound buffer, a buffer without pels.
  for (const qcAcqImage& empty :
       {qcAcqImage(), qcAcqImage(qcPelBuffer<unsigned char>()), qcAcqImage(qcPelBuffer<unsigned char>(0, 4))}) {
    EXPECT_THROW(qacq::writeImage(empty, dir / "e", qacq::FileKind::png), qacq::Error);
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));

  // A directory that does not exist: the error names the file.
  const qcAcqImage img(qcPelBuffer<unsigned char>(4, 4));
  for (qacq::FileKind kind : {qacq::FileKind::png, qacq::FileKind::pnm}) {
    try {
      qacq::writeImage(img, dir / "missing/x", kind);
      FAIL() << "no exception";
    } catch (const qacq::Error& e) {
      EXPECT_NE(std::string(e.what()).find("missing/x"), std::string::npos) << e.what();
    }
  }
  // Saving nothing writes nothing.
  EXPECT_EQ(qacq::writeImage(img, dir / "none", qacq::FileKind::none), "");
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}
