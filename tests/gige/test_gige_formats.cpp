// Every camera pixel format through the camera driver, end to end: Aravis's
// fake camera described by gige_fake_formats.xml offers one format (each
// test is a process of its own: the format list is read when the camera
// opens), draws known values laid out as that format defines them, and each
// image kind the format gives must hold exactly the values expected, over a
// region of odd offsets (and odd width where the format allows it).
//
// The layouts here are written from the format names, apart from the
// driver's table: "p" pels end to end least significant bit first,
// "Packed" two pels in three bytes with the high bits in bytes 0 and 2,
// others 16-bit little-endian words; colour as named.
#include <arv.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <qrn/acq/convert/pelkernels.h>
#include <qrn/acq/hyper/typedfifo.h>

#include "gige_fixture.h"
#include "gige_mosaic.h"

namespace {

// A format's layout as its name gives it.
struct Layout {
  std::string name;
  enum Family { kMono, kBayer, kRGB, kYUV } family = kMono;
  int bits = 8;                  // significant bits of a grey or mosaic pel
  enum Pack { kWords, kLsbFirst, kPairs } pack = kWords;
  int bytesPerPel = 1;           // kWords and colour
  bool bgr = false;              // colour: blue first
  bool chromaFirst = false;      // YUV: U Y V Y
  bool ituRange = false;         // YUV: ITU-R BT.601 range
  int bayerType = -1;            // qcBayerImageConverter's type at (0, 0)
};

Layout layoutOf(const std::string& name) {
  Layout l;
  l.name = name;
  static const std::regex grey("(Mono|Bayer(RG|GR|GB|BG))(8|10|12|14|16)(p|Packed)?");
  std::smatch m;
  if (std::regex_match(name, m, grey)) {
    l.family = m[2].matched ? Layout::kBayer : Layout::kMono;
    l.bits = std::stoi(m[3]);
    l.pack = m[4] == "p" ? Layout::kLsbFirst : m[4] == "Packed" ? Layout::kPairs : Layout::kWords;
    l.bytesPerPel = l.bits > 8 ? 2 : 1;
    using C = qcBayerImageConverter;
    if (m[2] == "RG") l.bayerType = C::RGGB;
    if (m[2] == "GR") l.bayerType = C::GRBG;
    if (m[2] == "GB") l.bayerType = C::GBRG;
    if (m[2] == "BG") l.bayerType = C::BGGR;
    return l;
  }
  if (name.rfind("RGB", 0) == 0 || name.rfind("BGR", 0) == 0) {
    l.family = Layout::kRGB;
    l.bgr = name[0] == 'B';
    l.bytesPerPel = name.find('a') != std::string::npos ? 4 : 3;
    return l;
  }
  l.family = Layout::kYUV;
  l.chromaFirst = name.find("UYVY") != std::string::npos || name.find("CbYCrY") != std::string::npos;
  l.ituRange = name.find("601") != std::string::npos;
  return l;
}

// Values by sensor position.
unsigned pelAt(long x, long y, int bits) {
  return static_cast<unsigned>(x * 1237 + y * 3571 + x * y * 29) & ((1u << bits) - 1);
}
unsigned char componentAt(long x, long y, int c) { return static_cast<unsigned char>(x * 37 + y * 91 + 85 * c); }

// Writes the frame of region (x0, y0, w, h) in the layout into `d` of `size`
// bytes.  Packed rows of whole bytes when the buffer holds them, else rows
// following one another bit for bit.
void draw(const Layout& l, unsigned char* d, std::size_t size, long x0, long y0, long w, long h) {
  std::fill(d, d + size, 0);
  if (l.family == Layout::kRGB) {
    for (long y = 0; y < h; ++y)
      for (long x = 0; x < w; ++x) {
        unsigned char* p = d + (y * w + x) * l.bytesPerPel;
        for (int c = 0; c < 3; ++c) p[l.bgr ? 2 - c : c] = componentAt(x0 + x, y0 + y, c);
        if (l.bytesPerPel == 4) p[3] = 0xEE;
      }
    return;
  }
  if (l.family == Layout::kYUV) {
    for (long y = 0; y < h; ++y)
      for (long x = 0; x < w; x += 2) {
        unsigned char* p = d + (y * w + x) * 2;
        const unsigned char y0v = componentAt(x0 + x, y0 + y, 0), y1v = componentAt(x0 + x + 1, y0 + y, 0);
        const unsigned char u = componentAt(x0 + x, y0 + y, 1), v = componentAt(x0 + x, y0 + y, 2);
        const unsigned char pair[2][4] = {{y0v, u, y1v, v}, {u, y0v, v, y1v}};
        std::copy(pair[l.chromaFirst], pair[l.chromaFirst] + 4, p);
      }
    return;
  }
  auto rowBytes = [&](long n) -> std::size_t {
    if (l.pack == Layout::kPairs) return static_cast<std::size_t>(3 * (n / 2) + 2 * (n % 2));
    if (l.pack == Layout::kLsbFirst) return static_cast<std::size_t>((n * l.bits + 7) / 8);
    return static_cast<std::size_t>(n * l.bytesPerPel);
  };
  const bool rows = size >= rowBytes(w) * static_cast<std::size_t>(h);
  for (long y = 0; y < h; ++y)
    for (long x = 0; x < w; ++x) {
      const unsigned v = pelAt(x0 + x, y0 + y, l.bits);
      // Pel i of a stream starting at base.
      unsigned char* base = rows ? d + rowBytes(w) * static_cast<std::size_t>(y) : d;
      const long i = rows ? x : y * w + x;
      switch (l.pack) {
        case Layout::kWords:
          if (l.bytesPerPel == 1) base[i] = static_cast<unsigned char>(v);
          else base[2 * i] = static_cast<unsigned char>(v), base[2 * i + 1] = static_cast<unsigned char>(v >> 8);
          break;
        case Layout::kLsbFirst:
          for (int b = 0; b < l.bits; ++b)
            if (v >> b & 1u) base[(i * l.bits + b) / 8] |= static_cast<unsigned char>(1u << ((i * l.bits + b) % 8));
          break;
        case Layout::kPairs: {
          unsigned char* g = base + 3 * (i / 2);
          const int low = l.bits - 8;
          g[i % 2 == 0 ? 0 : 2] = static_cast<unsigned char>(v >> low);
          g[1] |= static_cast<unsigned char>((v & ((1u << low) - 1)) << (i % 2 == 0 ? 0 : 4));
          break;
        }
      }
    }
}

// The board's fake camera offering only `name`, drawing it.  Call before the
// board list is first used; false when the board list already opened the
// camera with another format (all tests in one process).
bool cameraOffering(const std::string& name) {
  static std::string offered;
  if (!offered.empty()) return offered == name;
  offered = name;
  std::ifstream in(QRN_TEST_SOURCE_DIR "/tests/gige/gige_fake_formats.xml");
  std::stringstream xml;
  xml << in.rdbuf();
  // Keep the named entry of the PixelFormat enumeration only.
  const std::regex entry("\\t\\t<EnumEntry Name=\"([A-Za-z0-9_]+)\" NameSpace=\"Standard\">\\s*<Value>(\\d+)</Value>\\s*</EnumEntry>\\n");
  std::string text = xml.str(), kept;
  const std::size_t from = text.find("<Enumeration Name=\"PixelFormat\""), to = text.find("</Enumeration>", from);
  std::string body = text.substr(from, to - from);
  for (std::sregex_iterator it(body.begin(), body.end(), entry), end; it != end; ++it)
    if ((*it)[1] == name) kept = it->str();
  body = std::regex_replace(body, entry, "");
  body.insert(body.find("\t\t<pValue>"), kept);
  text.replace(from, to - from, body);
  const std::string path = (std::filesystem::temp_directory_path() / ("qrn_gige_formats_" + name + ".xml")).string();
  std::ofstream(path) << text;
  qfGigeFakeCameraFrom(path.c_str());
  return !kept.empty();
}

// Replaces the fake camera's own pels with `draw` (see qfGigeDrawMosaic: a
// second fake camera fills sizes and region first).
void drawFormat(qc_GigeGrabber& g, const Layout& l) {
  struct Cameras {
    ArvFakeCamera* board;
    ArvFakeCamera* sizer;
    Layout layout;
  };
  static Cameras cams{nullptr, arv_fake_camera_new("QRN-FMT"), {}};
  cams.board = arv_fake_device_get_fake_camera(ARV_FAKE_DEVICE(arv_camera_get_device(g.aravisCamera())));
  cams.layout = l;
  auto fill = [](ArvBuffer* b, void* data, guint32, guint32, ArvPixelFormat) {
    auto* c = static_cast<Cameras*>(data);
    qfGigeCopyFrameSetUp(c->board, c->sizer);
    const guint64 id = arv_buffer_get_frame_id(b), ts = arv_buffer_get_timestamp(b);
    // The sizer's own pattern knows only a few formats: a first fill of a
    // Mono8 frame of the payload's bytes in one row sets the size received,
    // the second the region and format (keeping that size).
    const auto payload = static_cast<guint32>(arv_fake_camera_get_payload(c->board));
    const std::pair<guint32, guint32> once[] = {{ARV_FAKE_CAMERA_REGISTER_WIDTH, payload},
                                                {ARV_FAKE_CAMERA_REGISTER_HEIGHT, 1},
                                                {ARV_FAKE_CAMERA_REGISTER_PIXEL_FORMAT, ARV_PIXEL_FORMAT_MONO_8}};
    guint32 keep[3];
    for (int i = 0; i < 3; ++i) {
      arv_fake_camera_read_register(c->sizer, once[i].first, &keep[i]);
      arv_fake_camera_write_register(c->sizer, once[i].first, once[i].second);
    }
    arv_fake_camera_fill_buffer(c->sizer, b, nullptr);
    for (int i = 0; i < 3; ++i) arv_fake_camera_write_register(c->sizer, once[i].first, keep[i]);
    arv_fake_camera_fill_buffer(c->sizer, b, nullptr);
    arv_buffer_set_frame_id(b, id);
    arv_buffer_set_timestamp(b, ts);
    gint x0 = 0, y0 = 0, w = 0, h = 0;
    arv_buffer_get_image_region(b, &x0, &y0, &w, &h);
    std::size_t size = 0;
    auto* d = static_cast<unsigned char*>(const_cast<void*>(arv_buffer_get_image_data(b, &size)));
    draw(c->layout, d, size, x0, y0, w, h);
  };
  arv_fake_camera_set_fill_pattern(cams.board, fill, &cams);
}

qcGigeTestFormat& format() {
  static qcGigeTestFormat fmt("GigeFormats 96x64", 96, 64);
  return fmt;
}

// What each pel type's image must hold at sensor position (x, y), compared
// pel by pel; the colour of a mosaic through the converter on the most
// significant 8 bits.
struct Expect {
  const Layout& l;
  qcPelRect roi;

  unsigned grey(long x, long y) const { return pelAt(x, y, l.bits); }
  unsigned top8(long x, long y) const {
    if (l.family == Layout::kYUV) return componentAt(x, y, 0);
    return pelAt(x, y, l.bits) >> (l.bits - 8);
  }
  // Red, green, blue of the camera's own colour.
  void colour(long x, long y, unsigned rgb[3]) const {
    if (l.family == Layout::kRGB) {
      for (int c = 0; c < 3; ++c) rgb[c] = componentAt(x, y, c);
      return;
    }
    // YUV: the library's reference on the pair as drawn.
    const long px = x - ((x - roi.x()) & 1);
    const unsigned char yv = componentAt(x, y, 0), u = componentAt(px, y, 1), v = componentAt(px, y, 2);
    const unsigned char pair[4] = {u, yv, v, yv};
    const qs_ColourImage one{pair, 4, 1, 1, qe_OrderUYVY, l.ituRange ? qe_YuvItu : qe_YuvFull};
    std::uint32_t word = 0;
    qf_colourToRGB32Ref(one, {&word, 4});
    rgb[0] = word >> 16 & 0xFF, rgb[1] = word >> 8 & 0xFF, rgb[2] = word & 0xFF;
  }
  qcBayerImageConverter mosaic() const {
    qcPelBuffer<unsigned char> raw(roi.width(), roi.height());
    for (long y = 0; y < roi.height(); ++y)
      for (long x = 0; x < roi.width(); ++x)
        raw.set(x, y, static_cast<unsigned char>(top8(roi.x() + x, roi.y() + y)));
    raw.offset(qcPair<long>(roi.x(), roi.y()));
    qcBayerImageConverter conv(raw);
    // The named phase at (0, 0), moved by the region's offset parity.
    using C = qcBayerImageConverter;
    static const int px[4] = {1, 0, 1, 0}, py[4] = {0, 0, 1, 1};  // RGGB, GRBG, GBRG, BGGR as (x, y) of GRBG
    static const C::BayerType byPhase[2][2] = {{C::GRBG, C::RGGB}, {C::BGGR, C::GBRG}};
    int k = 0;
    for (int i = 0; i < 4; ++i)
      if (byPhase[py[i]][px[i]] == l.bayerType) k = i;
    conv.bayerType(byPhase[(py[k] + roi.y()) & 1][(px[k] + roi.x()) & 1]);
    return conv;
  }
};

// One image of pel type `pelType` from the camera; the number of pels that
// differ from `want(x, y, image)`.
template <class Check>
void grabAndCompare(long pelType, qeImageFormat expectFormat, const Layout& l, qcPelRect roi, Check check) {
  SCOPED_TRACE(l.name + " pel type " + std::to_string(pelType));
  qcFrameGrabber& fg = qfGigeBoard(0);
  qc_AcqFifo* driver = fg.internal()->newAcqFifo(format().fmt.internal(true), pelType);
  qcPtrHandle<qcStdAcqFifo> f(new qcStdAcqFifo(*driver, format().fmt, fg, expectFormat));
  qcRoiProp& r = f->properties();
  r.roi(roi);
  // Only colour made from a mosaic keeps even sizes and takes a white
  // balance; every other kind keeps the region asked for.
  const bool demosaiced = l.family == Layout::kBayer && pelType != qe_pelType_RAW8 && pelType != qe_pelType_mono16;
  if (!demosaiced) {
    EXPECT_EQ(r.actualRoi(), roi);
  }
  qcCustomPropertyBag wb;
  wb.addItem(qcCustomPropertyBag::qeWrite, qrn_gige::kWhiteBalance, "1 1 1");
  qcCustomProp& custom = f->properties();
  if (demosaiced)
    EXPECT_NO_THROW(custom.customValues(wb));
  else
    EXPECT_THROW(custom.customValues(wb), qcAcqFifo::BadParams);
  roi = r.actualRoi();
  ASSERT_EQ(qfGigeFeature(fg, "PixelFormat"), l.name);
  f->start(1);
  qcAcquireInfo info;
  const qcPtrHandle<qcAcqImage> img = f->completeAcq(qcAcqFifo::CompleteArgs().maxWait(3.0).acquireInfo(&info));
  ASSERT_FALSE(img->isEmpty()) << info.failure().errorInfo();
  EXPECT_EQ(img->imageFormat(), expectFormat);
  ASSERT_EQ(img->buffer()->width(), roi.width());
  ASSERT_EQ(img->buffer()->height(), roi.height());
  EXPECT_EQ(check(*img, Expect{l, roi}), 0);
}

template <class B, class Fn>
long differing(const B& b, const qcPelRect& roi, Fn same) {
  long n = 0;
  for (long y = 0; y < roi.height(); ++y)
    for (long x = 0; x < roi.width(); ++x) n += !same(b, x, y, roi.x() + x, roi.y() + y);
  return n;
}

void checkAllKinds(const std::string& name) {
  if (!cameraOffering(name)) GTEST_SKIP() << "one format per process: run through ctest";
  const Layout l = layoutOf(name);
  qc_GigeGrabber& cam = *qfGigeGrabber(qfGigeBoard(0));
  drawFormat(cam, l);
  const qc_VideoFormat& v = format().fmt.internal(true);
  qc_FrameGrabber& d = *qfGigeBoard(0).internal();
  const bool mono = l.family == Layout::kMono, bayer = l.family == Layout::kBayer, yuv = l.family == Layout::kYUV;
  const bool wide = l.bits > 8 && (mono || bayer), colour = !mono;
  // The kinds the format gives, and no others.
  EXPECT_EQ(d.isSupported(v, qe_pelType_mono16), wide);
  EXPECT_EQ(d.isSupported(v, qe_pelType_RAW8), bayer);
  EXPECT_EQ(d.isSupported(v, qe_pelType_mono), mono || yuv);
  for (long t : {qe_pelType_RGBpacked, qe_pelType_RGBpacked16, qe_pelType_RGBplanar}) EXPECT_EQ(d.isSupported(v, t), colour);

  // Odd offsets; odd width unless the format pairs pels (YUV) or the image
  // is a mosaic converted (even sizes).
  const qcPelRect odd(3, 1, 33, 8), even(3, 1, 34, 8);
  const qcPelRect plain = yuv ? even : odd;
  const qeImageFormat grey16 = l.bits == 10 ? qeImageFormat_Grey10 : l.bits == 12 ? qeImageFormat_Grey12
                               : l.bits == 14 ? qeImageFormat_Grey14 : qeImageFormat_Grey16;
  // The public image format of the pel's bits, 14 included.
  qcFrameGrabber& fg = qfGigeBoard(0);
  EXPECT_EQ(fg.isSupportedEx(format().fmt, grey16), wide);
  if (wide) {
    EXPECT_NO_THROW(qcPtrHandle<qcAcqFifo>(format().fmt.newAcqFifoEx(fg, grey16)));
  }
  if (wide)
    grabAndCompare(qe_pelType_mono16, grey16, l, odd, [](const qcAcqImage& img, const Expect& e) {
      return differing(img.grey16(), e.roi, [&](const auto& b, long x, long y, long sx, long sy) {
        return b.get(x, y) == e.grey(sx, sy);
      });
    });
  if (mono || yuv || bayer)
    grabAndCompare(bayer ? qe_pelType_RAW8 : qe_pelType_mono, bayer ? qeImageFormat_Raw8 : qeImageFormat_Grey8, l,
                   plain, [](const qcAcqImage& img, const Expect& e) {
                     return differing(img.grey8(), e.roi, [&](const auto& b, long x, long y, long sx, long sy) {
                       return b.get(x, y) == e.top8(sx, sy);
                     });
                   });
  if (!colour) return;
  const qcPelRect colourRoi = bayer ? even : plain;
  auto rgbAt = [bayer](const Expect& e, const qcAcqImage&, long x, long y, long sx, long sy, auto pelType) {
    (void)pelType;
    unsigned rgb[3] = {};
    if (!bayer) e.colour(sx, sy, rgb);
    (void)x, (void)y;
    return std::vector<unsigned>{rgb[0], rgb[1], rgb[2]};
  };
  // Packed 32-bit.
  grabAndCompare(qe_pelType_RGBpacked, qeImageFormat_PackedRGB32, l, colourRoi, [&](const qcAcqImage& img, const Expect& e) {
    const auto want = bayer ? e.mosaic().getPackedRGB32PelBuf() : qcPelBuffer<qcPackedRGB32Pel>();
    return differing(img.rgb32(), e.roi, [&](const auto& b, long x, long y, long sx, long sy) {
      if (bayer) return b.get(x, y) == want.get(x, y);
      const auto c = rgbAt(e, img, x, y, sx, sy, 0);
      return b.get(x, y) == qcPackedRGB32Pel(static_cast<unsigned char>(c[0]), static_cast<unsigned char>(c[1]),
                                             static_cast<unsigned char>(c[2]));
    });
  });
  // Packed 5-6-5.
  grabAndCompare(qe_pelType_RGBpacked16, qeImageFormat_PackedRGB16, l, colourRoi, [&](const qcAcqImage& img, const Expect& e) {
    const auto want = bayer ? e.mosaic().getPackedRGB16PelBuf() : qcPelBuffer<qcPackedRGB16Pel>();
    return differing(img.rgb16(), e.roi, [&](const auto& b, long x, long y, long sx, long sy) {
      if (bayer) return b.get(x, y) == want.get(x, y);
      const auto c = rgbAt(e, img, x, y, sx, sy, 0);
      return b.get(x, y) == qcPackedRGB16Pel(static_cast<unsigned char>(c[0]), static_cast<unsigned char>(c[1]),
                                             static_cast<unsigned char>(c[2]));
    });
  });
  // Three planes.
  grabAndCompare(qe_pelType_RGBplanar, qeImageFormat_3Plane, l, colourRoi, [&](const qcAcqImage& img, const Expect& e) {
    const qc3PlanePelBuffer got = img.threePlane();
    const qc3PlanePelBuffer want = bayer ? e.mosaic().get3PlanePelBuf() : qc3PlanePelBuffer();
    long n = 0;
    for (int p = 0; p < 3; ++p)
      n += differing(got.plane(p), e.roi, [&](const auto& b, long x, long y, long sx, long sy) {
        if (bayer) return b.get(x, y) == want.plane(p).get(x, y);
        return b.get(x, y) == rgbAt(e, img, x, y, sx, sy, 0)[static_cast<std::size_t>(p)];
      });
    return n;
  });
}

// One test per format: each its own process under ctest.
class GigeFormats : public ::testing::TestWithParam<const char*> {};

TEST_P(GigeFormats, EveryImageKindHoldsTheCamerasValues) { checkAllKinds(GetParam()); }

INSTANTIATE_TEST_SUITE_P(
    Grey, GigeFormats,
    ::testing::Values("Mono10", "Mono12", "Mono14", "Mono16", "Mono10p", "Mono12p", "Mono14p", "Mono10Packed",
                      "Mono12Packed"));
INSTANTIATE_TEST_SUITE_P(Bayer, GigeFormats,
                         ::testing::Values("BayerRG10", "BayerGR12", "BayerGB16", "BayerBG10p", "BayerRG12p",
                                           "BayerGR10Packed", "BayerGB12Packed", "BayerBG12"));
INSTANTIATE_TEST_SUITE_P(Colour, GigeFormats,
                         ::testing::Values("RGB8", "BGR8", "RGBa8", "BGRa8", "YUV422_8", "YUV422_8_UYVY", "YCbCr422_8",
                                           "YCbCr601_422_8", "YCbCr601_422_8_CbYCrY"));

}  // namespace
