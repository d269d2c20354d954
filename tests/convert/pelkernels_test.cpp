// Camera pel layouts: the references against golden vectors written from the
// layouts (bytes in, pels out, partial groups at row ends included), and
// every accelerated kernel against its reference on random images of many
// widths, padded rows and rows that follow one another bit for bit.
#include <qrn/acq/convert/pelkernels.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

// qe_SimdAVX512 is AVX-512 without VBMI (the unpackers' AVX2 form beside the
// colour kernels' AVX-512 form).
const qe_SimdLevel kLevels[] = {qe_SimdNone, qe_SimdSSE2, qe_SimdAVX2, qe_SimdAVX512, qe_SimdAVX512VBMI};

struct Golden {
  const char* name;
  qe_PelPacking packing;
  std::vector<unsigned char> bytes;
  std::vector<unsigned> pels;
};

// One row each, the last group partial.
const Golden kGolden[] = {
    {"Mono10p", qe_Pack10p, {0xFF, 0x07, 0xA0, 0x6A, 0x55, 0xF0, 0x00}, {0x3FF, 0x001, 0x2AA, 0x155, 0x0F0}},
    {"Mono12p", qe_Pack12p, {0x23, 0x61, 0x45, 0xBC, 0x0A}, {0x123, 0x456, 0xABC}},
    {"Mono14p",
     qe_Pack14p,
     {0xFF, 0x7F, 0x00, 0xA0, 0xAA, 0x56, 0x55, 0x45, 0x23},
     {0x3FFF, 0x0001, 0x2AAA, 0x1555, 0x2345}},
    {"Mono10Packed", qe_Pack10Packed, {0xE9, 0x21, 0x3F, 0x80, 0x01}, {0x3A5, 0x0FE, 0x201}},
    {"Mono12Packed", qe_Pack12Packed, {0xAB, 0x3C, 0x12, 0xFE, 0x0D}, {0xABC, 0x123, 0xFED}},
    {"Mono16", qe_Pack16, {0x34, 0x12, 0xFF, 0xFF, 0x00, 0x00}, {0x1234, 0xFFFF, 0}},
};

TEST(PelKernels, GoldenVectorsUnpackAtEveryLevel) {
  for (const Golden& g : kGolden) {
    const long w = static_cast<long>(g.pels.size());
    ASSERT_EQ(qf_packedRowBytes(g.packing, w), g.bytes.size()) << g.name;
    // Two rows: padded by three bytes, and following one another bit for bit.
    for (bool padded : {true, false}) {
      std::vector<unsigned char> in;
      std::vector<unsigned> expect;
      if (padded) {
        in = g.bytes;
        in.insert(in.end(), {0xEE, 0xEE, 0xEE});
        in.insert(in.end(), g.bytes.begin(), g.bytes.end());
        expect = g.pels;
        expect.insert(expect.end(), g.pels.begin(), g.pels.end());
      } else {
        // The row twice as one stream, packed again by the reference layout:
        // only a row of whole bytes repeats its bytes.
        if ((w * qf_packingBits(g.packing)) % 8 != 0) continue;
        in = g.bytes;
        in.insert(in.end(), g.bytes.begin(), g.bytes.end());
        expect = g.pels;
        expect.insert(expect.end(), g.pels.begin(), g.pels.end());
      }
      const qs_PackedImage src{in.data(), padded ? static_cast<std::ptrdiff_t>(g.bytes.size() + 3) : 0, w, 2,
                               g.packing};
      ASSERT_EQ(qf_packedImageBytes(src), in.size()) << g.name;
      for (qe_SimdLevel level : kLevels) {
        std::vector<std::uint16_t> out(2 * w, 0xBEEF);
        qf_unpack16(level, src, {out.data(), static_cast<std::ptrdiff_t>(2 * w)});
        std::vector<unsigned char> out8(2 * w, 0xAA);
        const int bits = g.packing == qe_Pack16 ? 16 : qf_packingBits(g.packing);
        qf_unpack8(level, src, bits, {out8.data(), w});
        for (long i = 0; i < 2 * w; ++i) {
          EXPECT_EQ(out[i], expect[i]) << g.name << " pel " << i << " level " << level;
          EXPECT_EQ(out8[i], expect[i] >> (bits - 8)) << g.name << " pel " << i << " level " << level;
        }
      }
    }
  }
}

// Rows following one another without padding where a row ends inside a
// group: the next row starts in the middle of it.
TEST(PelKernels, UnpaddedRowsStartInsideAGroup) {
  // Mono12p, width 3: pels 0..5 = 0x001..0x006 over two rows in 9 bytes.
  const std::vector<unsigned char> in = {0x01, 0x20, 0x00, 0x03, 0x40, 0x00, 0x05, 0x60, 0x00};
  // Mono10Packed, width 1: three rows of one pel, the second the high half of the first pair.
  const std::vector<unsigned char> old = {0x40, 0x21, 0x80, 0xC0, 0x03};
  for (qe_SimdLevel level : kLevels) {
    std::uint16_t out[6] = {};
    qf_unpack16(level, {in.data(), 0, 3, 2, qe_Pack12p}, {out, 6});
    for (unsigned i = 0; i < 6; ++i) EXPECT_EQ(out[i], i + 1) << level;
    std::uint16_t o3[3] = {};
    qf_unpack16(level, {old.data(), 0, 1, 3, qe_Pack10Packed}, {o3, 2});
    EXPECT_EQ(o3[0], 0x101);
    EXPECT_EQ(o3[1], 0x202);
    EXPECT_EQ(o3[2], 0x303);
  }
}

std::vector<unsigned char> randomBytes(std::size_t n, std::mt19937& rng) {
  std::vector<unsigned char> v(n);
  for (auto& b : v) b = static_cast<unsigned char>(rng());
  return v;
}

// Unpadded rows of odd widths and of 2046 start inside a packing group.
const long kWidths[] = {1, 2, 3, 4, 5, 7, 8, 15, 16, 17, 31, 32, 33, 63, 64, 65, 97, 130, 641, 1029, 2046, 2047, 2053};

TEST(PelKernels, UnpackersMatchTheReferenceAtEveryLevel) {
  std::mt19937 rng(23);
  for (qe_PelPacking p : {qe_Pack16, qe_Pack10p, qe_Pack12p, qe_Pack14p, qe_Pack10Packed, qe_Pack12Packed})
    for (long w : kWidths)
      for (std::ptrdiff_t pad : {-1, 0, 5}) {
        const long h = 3;
        // pad -1: rows bit for bit, else padding after each row's bytes.
        const std::ptrdiff_t stride = pad < 0 ? 0 : static_cast<std::ptrdiff_t>(qf_packedRowBytes(p, w)) + pad;
        qs_PackedImage src{nullptr, stride, w, h, p};
        // Exactly the image's bytes, so that reads beyond it show under ASan.
        const std::vector<unsigned char> in = randomBytes(qf_packedImageBytes(src), rng);
        src.data = in.data();
        std::vector<std::uint16_t> ref(w * h), out(w * h);
        std::vector<unsigned char> ref8(w * h), out8(w * h);
        const int bits = p == qe_Pack16 ? 12 : qf_packingBits(p);  // a 16-bit word above 12 bits saturates
        qf_unpack16Ref(src, {ref.data(), 2 * w});
        qf_unpack8Ref(src, bits, {ref8.data(), w});
        for (qe_SimdLevel level : kLevels) {
          qf_unpack16(level, src, {out.data(), 2 * w});
          qf_unpack8(level, src, bits, {out8.data(), w});
          const std::string at = "packing " + std::to_string(p) + " width " + std::to_string(w) + " pad " +
                                 std::to_string(pad) + " level " + std::to_string(level);
          ASSERT_EQ(out, ref) << at;
          ASSERT_EQ(out8, ref8) << at;
        }
      }
}

// ---- colour ------------------------------------------------------------------------

struct YuvCase {
  qe_YuvRange range;
  unsigned char y, u, v;
  unsigned r, g, b;
};
// BT.601: grey, white and black ends of each range, clamping, and the ITU
// range's own red (Y 81, Cb 90, Cr 240: 254.4, -0.5, -1.0 exactly).
const YuvCase kYuv[] = {
    {qe_YuvFull, 128, 128, 128, 128, 128, 128}, {qe_YuvFull, 255, 128, 128, 255, 255, 255},
    {qe_YuvFull, 255, 128, 255, 255, 164, 255}, {qe_YuvFull, 0, 0, 0, 0, 135, 0},
    {qe_YuvFull, 76, 85, 255, 254, 0, 0},       {qe_YuvItu, 16, 128, 128, 0, 0, 0},
    {qe_YuvItu, 235, 128, 128, 255, 255, 255},  {qe_YuvItu, 81, 90, 240, 254, 0, 0},
    {qe_YuvItu, 126, 128, 128, 128, 128, 128},
};

TEST(PelKernels, YuvGoldenValuesInBothByteOrders) {
  for (const YuvCase& c : kYuv)
    for (qe_ColourOrder o : {qe_OrderUYVY, qe_OrderYUYV}) {
      const std::vector<unsigned char> in =
          o == qe_OrderUYVY ? std::vector<unsigned char>{c.u, c.y, c.v, c.y} : std::vector<unsigned char>{c.y, c.u, c.y, c.v};
      const qs_ColourImage src{in.data(), 4, 2, 1, o, c.range};
      for (qe_SimdLevel level : kLevels) {
        std::uint32_t px[2] = {};
        qf_colourToRGB32(level, src, {px, 8});
        unsigned char grey[2] = {};
        qf_yuvToGrey(level, src, {grey, 2});
        for (int i = 0; i < 2; ++i) {
          EXPECT_EQ(px[i], qf_bayerPackRGB32(c.r, c.g, c.b))
              << "Y " << +c.y << " U " << +c.u << " V " << +c.v << " range " << c.range << " level " << level;
          EXPECT_EQ(grey[i], c.y);
        }
      }
    }
}

TEST(PelKernels, ByteOrderedColourGoldenValues) {
  const unsigned char rgb[] = {10, 20, 30}, rgba[] = {10, 20, 30, 99};
  const unsigned char bgr[] = {30, 20, 10}, bgra[] = {30, 20, 10, 99};
  const struct {
    qe_ColourOrder o;
    const unsigned char* p;
  } cases[] = {{qe_OrderRGB, rgb}, {qe_OrderBGR, bgr}, {qe_OrderRGBa, rgba}, {qe_OrderBGRa, bgra}};
  for (const auto& c : cases)
    for (qe_SimdLevel level : kLevels) {
      const qs_ColourImage src{c.p, 4, 1, 1, c.o};
      std::uint32_t px = 0;
      qf_colourToRGB32(level, src, {&px, 4});
      EXPECT_EQ(px, qf_bayerPackRGB32(10, 20, 30)) << c.o;
      unsigned char r = 0, g = 0, b = 0;
      qf_colourToPlanes(level, src, {&r, 1}, {&g, 1}, {&b, 1});
      EXPECT_EQ((std::vector<int>{r, g, b}), (std::vector<int>{10, 20, 30})) << c.o;
    }
}

TEST(PelKernels, ColourKernelsMatchTheReferenceAtEveryLevel) {
  std::mt19937 rng(601);
  for (qe_ColourOrder o : {qe_OrderRGB, qe_OrderBGR, qe_OrderRGBa, qe_OrderBGRa, qe_OrderUYVY, qe_OrderYUYV})
    for (qe_YuvRange range : {qe_YuvFull, qe_YuvItu})
      for (long w : kWidths) {
        if (range == qe_YuvItu && o != qe_OrderUYVY && o != qe_OrderYUYV) continue;
        const long h = 3;
        const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(qf_colourRowBytes(o, w)) + 3;
        const std::vector<unsigned char> in = randomBytes(stride * (h - 1) + qf_colourRowBytes(o, w), rng);
        const qs_ColourImage src{in.data(), stride, w, h, o, range};
        std::vector<std::uint32_t> ref32(w * h), out32(w * h);
        std::vector<std::uint16_t> ref16(w * h), out16(w * h);
        std::vector<unsigned char> refP(3 * w * h), outP(3 * w * h), refG(w * h), outG(w * h);
        auto planes = [w, h](std::vector<unsigned char>& v, int i) { return qs_RawPlane8{v.data() + i * w * h, w}; };
        qf_colourToRGB32Ref(src, {ref32.data(), 4 * w});
        qf_colourToRGB16Ref(src, {ref16.data(), 2 * w});
        qf_colourToPlanesRef(src, planes(refP, 0), planes(refP, 1), planes(refP, 2));
        const bool yuv = o == qe_OrderUYVY || o == qe_OrderYUYV;
        if (yuv) qf_yuvToGreyRef(src, {refG.data(), w});
        for (qe_SimdLevel level : kLevels) {
          const std::string at =
              "order " + std::to_string(o) + " range " + std::to_string(range) + " width " + std::to_string(w) +
              " level " + std::to_string(level);
          qf_colourToRGB32(level, src, {out32.data(), 4 * w});
          qf_colourToRGB16(level, src, {out16.data(), 2 * w});
          qf_colourToPlanes(level, src, planes(outP, 0), planes(outP, 1), planes(outP, 2));
          ASSERT_EQ(out32, ref32) << at;
          ASSERT_EQ(out16, ref16) << at;
          ASSERT_EQ(outP, refP) << at;
          if (yuv) {
            qf_yuvToGrey(level, src, {outG.data(), w});
            ASSERT_EQ(outG, refG) << at;
          }
        }
      }
}

}  // namespace
