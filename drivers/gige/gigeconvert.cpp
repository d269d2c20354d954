// Camera pixel formats: the table and the per-frame conversions.
#include "gigeconvert.h"

#include <algorithm>
#include <type_traits>

#include "gigeerror.h"

namespace qrn_gige {

namespace {

constexpr unsigned bit(Kind k) { return 1u << static_cast<unsigned>(k); }

template <class T>
qs_RawPlane<T> planeOf(const qcPelBuffer<T>& b) {
  return {b.rowPointer(0), static_cast<std::ptrdiff_t>(b.rowUpdate() * sizeof(T))};
}
template <class Pel, class T>
qs_RawPlane<T> wordsOf(const qcPelBuffer<Pel>& b) {
  static_assert(sizeof(Pel) == sizeof(T));
  return {reinterpret_cast<T*>(b.rowPointer(0)), static_cast<std::ptrdiff_t>(b.rowUpdate() * sizeof(Pel))};
}

// The frame's pels as the kernels see them (rows: see FrameView::padX).
qs_PackedImage packedOf(const FrameView& fr, const PelFormat& f) {
  qs_PackedImage img{fr.data, 0, fr.w, fr.h, f.packing};
  const auto row = static_cast<std::ptrdiff_t>(qf_packedRowBytes(f.packing, fr.w));
  if (fr.padX > 0 || fr.size >= static_cast<std::size_t>(row) * static_cast<std::size_t>(fr.h)) img.stride = row + fr.padX;
  return img;
}

qs_ColourImage colourOf(const FrameView& fr, const PelFormat& f) {
  return {fr.data, static_cast<std::ptrdiff_t>(qf_colourRowBytes(f.order, fr.w)) + fr.padX, fr.w, fr.h, f.order,
          f.range};
}

// A colour image of `kind` from an 8-bit mosaic by the Bayer converter.
void demosaic(const qcPelBuffer<unsigned char>& mosaic, const FrameView& fr, Kind kind, MakeState& st, MadeImage& out) {
  st.bayer.setSourcePelBuf(mosaic);
  st.bayer.bayerType(static_cast<qcBayerImageConverter::BayerType>(bayerTypeOf(st.format->name, fr.offset.x, fr.offset.y)));
  switch (kind) {
    case Kind::rgb16: out.rgb16 = st.bayer.getPackedRGB16PelBuf(); break;
    case Kind::rgb32: out.rgb32 = st.bayer.getPackedRGB32PelBuf(); break;
    case Kind::planes3: out.planes3 = st.bayer.get3PlanePelBuf(); break;
    default: bad();
  }
}

// A colour image of `kind` converted from a Bayer 8 mosaic.
void fromBayer8(const FrameView& fr, Kind kind, MakeState& st, MadeImage& out) {
  // The mosaic, seen in place while it is converted.
  qcPelBuffer<unsigned char> mosaic{qcPtrHandle<qcPelRoot<unsigned char>>(
      new qcPelRoot<unsigned char>(const_cast<unsigned char*>(fr.data), fr.w, fr.h, fr.w + fr.padX))};
  mosaic.offset(fr.offset);
  demosaic(mosaic, fr, kind, st, out);
}

// Grey and mosaic formats wider than 8 bits: 16-bit pels unchanged, 8-bit
// pels by their most significant bits, colour by demosaicing those.
void fromWide(const FrameView& fr, Kind kind, MakeState& st, MadeImage& out) {
  const qs_PackedImage img = packedOf(fr, *st.format);
  if (kind == Kind::grey16) {
    qcPelBuffer<unsigned short> b(fr.w, fr.h);
    qf_unpack16(qf_simdLevel(), img, planeOf(b));
    b.offset(fr.offset);
    out.grey16 = b;
    return;
  }
  if (kind == Kind::grey8 || kind == Kind::raw8) {
    qcPelBuffer<unsigned char> b(fr.w, fr.h);
    qf_unpack8(qf_simdLevel(), img, st.format->pelBits, planeOf(b));
    b.offset(fr.offset);
    out.grey8 = b;
    return;
  }
  // The mosaic is only read during the conversion: kept for the next frame.
  qcPelBuffer<unsigned char>& m = st.mosaic8;
  if (!m.isBound() || m.width() != fr.w || m.height() != fr.h) m = qcPelBuffer<unsigned char>(fr.w, fr.h);
  qf_unpack8(qf_simdLevel(), img, st.format->pelBits, planeOf(m));
  m.offset(fr.offset);
  demosaic(m, fr, kind, st, out);
}

// Byte-ordered colour and YUV 4:2:2.
void fromColour(const FrameView& fr, Kind kind, MakeState& st, MadeImage& out) {
  const qs_ColourImage img = colourOf(fr, *st.format);
  const qe_SimdLevel level = qf_simdLevel();
  switch (kind) {
    case Kind::grey8: {
      qcPelBuffer<unsigned char> b(fr.w, fr.h);
      qf_yuvToGrey(level, img, planeOf(b));
      b.offset(fr.offset);
      out.grey8 = b;
      break;
    }
    case Kind::rgb16: {
      qcPelBuffer<qcPackedRGB16Pel> b(fr.w, fr.h);
      qf_colourToRGB16(level, img, wordsOf<qcPackedRGB16Pel, std::uint16_t>(b));
      b.offset(fr.offset);
      out.rgb16 = b;
      break;
    }
    case Kind::rgb32: {
      qcPelBuffer<qcPackedRGB32Pel> b(fr.w, fr.h);
      qf_colourToRGB32(level, img, wordsOf<qcPackedRGB32Pel, std::uint32_t>(b));
      b.offset(fr.offset);
      out.rgb32 = b;
      break;
    }
    case Kind::planes3: {
      qc3PlanePelBuffer p(fr.w, fr.h);
      qf_colourToPlanes(level, img, planeOf(p.plane0()), planeOf(p.plane1()), planeOf(p.plane2()));
      p.offset(fr.offset);
      out.planes3 = p;
      break;
    }
    default: bad();
  }
}

// Ranks by kind: grey8, grey16, raw8, rgb16, rgb32, planes3 (0: not given;
// the lowest offered rank wins).
//  - grey 8: Mono8 as sent, then the format of fewest bytes; Y of YUV last.
//  - grey 16: the most significant bits first, and among formats of the
//    same bits the packed ones (the unpackers run faster than memory, so
//    the fewer bytes on the wire always win); a mosaic's raw pels last.
//  - raw 8: Bayer 8 as sent, then the mosaic of fewest bytes.
//  - packed colour: RGB as sent, then YUV, then a mosaic to convert (of 8
//    bits first); three planes: a mosaic to convert first, as before.
// Within a Bayer group the phases rank RG, GR, GB, BG.
enum : int { kNo = 0 };
constexpr int kMonoPacked = 0, kMonoP = 1;  // unpacked Mono: 2

#define QRN_ROW_(name, code, bits, pack, pelBits, order, range, r0, r1, r2, r3, r4, r5, lent, make, bx, by) \
  PelFormat { name, code, bits, pack, pelBits, order, range, {r0, r1, r2, r3, r4, r5}, lent, make, bx, by }
#define QRN_MONO8_ QRN_ROW_("Mono8", 0x01080001u, 8, qe_Pack16, 8, qe_OrderRGB, qe_YuvFull, 1, kNo, kNo, kNo, kNo, kNo, bit(Kind::grey8), nullptr, -1, -1)
// Wider Mono: grey8 rank g8, grey16 rank g16; lent as grey16 when unpacked.
#define QRN_MONO_(name, code, bits, pack, pelBits, g8, g16)                                                      \
  QRN_ROW_(name, code, bits, pack, pelBits, qe_OrderRGB, qe_YuvFull, g8, g16, kNo, kNo, kNo, kNo,                \
           (pack == qe_Pack16 ? bit(Kind::grey16) : 0u), &fromWide, -1, -1)
#define QRN_BAYER8_(name, code, rank, px, py)                                                                    \
  QRN_ROW_(name, code, 8, qe_Pack16, 8, qe_OrderRGB, qe_YuvFull, kNo, kNo, rank, 20 + rank, 20 + rank, rank,    \
           bit(Kind::raw8), &fromBayer8, px, py)
// Wider mosaics: group g (0 fewest bytes), group d for grey 16 (0 most
// bits, then fewest bytes) and phase rank r.
#define QRN_BAYER_(name, code, bits, pack, pelBits, g, d, r, px, py)                                             \
  QRN_ROW_(name, code, bits, pack, pelBits, qe_OrderRGB, qe_YuvFull, kNo, 40 + 4 * d + r, 4 + 4 * g + r,         \
           30 + 4 * g + r, 30 + 4 * g + r, 4 + 4 * g + r, 0u, &fromWide, px, py)
#define QRN_BAYERS_(stem, bits, pack, pelBits, g, d, rg, gr, gb, bg)                                              \
  QRN_BAYER_("BayerRG" stem, rg, bits, pack, pelBits, g, d, 1, 1, 0),                                            \
      QRN_BAYER_("BayerGR" stem, gr, bits, pack, pelBits, g, d, 2, 0, 0),                                        \
      QRN_BAYER_("BayerGB" stem, gb, bits, pack, pelBits, g, d, 3, 1, 1),                                        \
      QRN_BAYER_("BayerBG" stem, bg, bits, pack, pelBits, g, d, 4, 0, 1)
#define QRN_RGB_(name, code, bits, order, rank)                                                                  \
  QRN_ROW_(name, code, bits, qe_Pack16, 8, order, qe_YuvFull, kNo, kNo, kNo, rank, rank, 60 + rank, 0u,         \
           &fromColour, -1, -1)
#define QRN_YUV_(name, code, order, range, rank)                                                                 \
  QRN_ROW_(name, code, 16, qe_Pack16, 8, order, range, 20 + rank, kNo, kNo, 10 + rank, 10 + rank, 70 + rank, 0u, \
           &fromColour, -1, -1)

const std::vector<PelFormat> kFormats = {
    QRN_MONO8_,
    QRN_MONO_("Mono16", 0x01100007u, 16, qe_Pack16, 16, 10, 1),
    QRN_MONO_("Mono14p", 0x010E0104u, 14, qe_Pack14p, 14, 6, 2),
    QRN_MONO_("Mono14", 0x01100025u, 16, qe_Pack16, 14, 9, 3),
    QRN_MONO_("Mono12p", 0x010C0047u, 12, qe_Pack12p, 12, 4, 4),
    QRN_MONO_("Mono12Packed", 0x010C0006u, 12, qe_Pack12Packed, 12, 5, 5),
    QRN_MONO_("Mono12", 0x01100005u, 16, qe_Pack16, 12, 8, 6),
    QRN_MONO_("Mono10p", 0x010A0046u, 10, qe_Pack10p, 10, 2, 7),
    QRN_MONO_("Mono10Packed", 0x010C0004u, 12, qe_Pack10Packed, 10, 3, 8),
    QRN_MONO_("Mono10", 0x01100003u, 16, qe_Pack16, 10, 7, 9),
    // Bayer phases as qcBayerImageConverter counts them: GRBG (0, 0), RGGB
    // (1, 0), BGGR (0, 1), GBRG (1, 1).
    QRN_BAYER8_("BayerRG8", 0x01080009u, 1, 1, 0),
    QRN_BAYER8_("BayerGR8", 0x01080008u, 2, 0, 0),
    QRN_BAYER8_("BayerGB8", 0x0108000Au, 3, 1, 1),
    QRN_BAYER8_("BayerBG8", 0x0108000Bu, 4, 0, 1),
    QRN_BAYERS_("10p", 10, qe_Pack10p, 10, 0, 4, 0x010A0058u, 0x010A0056u, 0x010A0054u, 0x010A0052u),
    QRN_BAYERS_("12p", 12, qe_Pack12p, 12, 1, 1, 0x010C0059u, 0x010C0057u, 0x010C0055u, 0x010C0053u),
    QRN_BAYERS_("10Packed", 12, qe_Pack10Packed, 10, 2, 5, 0x010C0027u, 0x010C0026u, 0x010C0028u, 0x010C0029u),
    QRN_BAYERS_("12Packed", 12, qe_Pack12Packed, 12, 3, 2, 0x010C002Bu, 0x010C002Au, 0x010C002Cu, 0x010C002Du),
    QRN_BAYERS_("10", 16, qe_Pack16, 10, 4, 6, 0x0110000Du, 0x0110000Cu, 0x0110000Eu, 0x0110000Fu),
    QRN_BAYERS_("12", 16, qe_Pack16, 12, 5, 3, 0x01100011u, 0x01100010u, 0x01100012u, 0x01100013u),
    QRN_BAYERS_("16", 16, qe_Pack16, 16, 6, 0, 0x0110002Fu, 0x0110002Eu, 0x01100030u, 0x01100031u),
    QRN_RGB_("RGB8", 0x02180014u, 24, qe_OrderRGB, 1),
    QRN_RGB_("RGB8Packed", 0, 24, qe_OrderRGB, 2),
    QRN_RGB_("BGR8", 0x02180015u, 24, qe_OrderBGR, 3),
    QRN_RGB_("BGR8Packed", 0, 24, qe_OrderBGR, 4),
    QRN_RGB_("RGBa8", 0x02200016u, 32, qe_OrderRGBa, 5),
    QRN_RGB_("RGBA8Packed", 0, 32, qe_OrderRGBa, 6),
    QRN_RGB_("BGRa8", 0x02200017u, 32, qe_OrderBGRa, 7),
    QRN_RGB_("BGRA8Packed", 0, 32, qe_OrderBGRa, 8),
    // YUV 4:2:2 as the naming convention lays it out: YUV422_8 and the
    // YCbCr formats Y first, the _UYVY and _CbYCrY forms (and the older
    // YUV422Packed) chroma first.  The YCbCr601 formats are in the ITU
    // range, the others full range.
    QRN_YUV_("YUV422_8", 0x02100032u, qe_OrderYUYV, qe_YuvFull, 1),
    QRN_YUV_("YUV422_8_UYVY", 0x0210001Fu, qe_OrderUYVY, qe_YuvFull, 2),
    QRN_YUV_("YUV422Packed", 0, qe_OrderUYVY, qe_YuvFull, 3),
    QRN_YUV_("YUV422_YUYV_Packed", 0, qe_OrderYUYV, qe_YuvFull, 4),
    QRN_YUV_("YCbCr422_8", 0x0210003Bu, qe_OrderYUYV, qe_YuvFull, 5),
    QRN_YUV_("YCbCr422_8_CbYCrY", 0x02100043u, qe_OrderUYVY, qe_YuvFull, 6),
    QRN_YUV_("YCbCr601_422_8", 0x0210003Eu, qe_OrderYUYV, qe_YuvItu, 7),
    QRN_YUV_("YCbCr601_422_8_CbYCrY", 0x02100044u, qe_OrderUYVY, qe_YuvItu, 8),
};
#undef QRN_ROW_
#undef QRN_MONO8_
#undef QRN_MONO_
#undef QRN_BAYER8_
#undef QRN_BAYER_
#undef QRN_BAYERS_
#undef QRN_RGB_
#undef QRN_YUV_

bool isColourSource(const PelFormat& f) { return f.make == &fromColour; }

}  // namespace

const std::vector<PelFormat>& pelFormats() { return kFormats; }

const PelFormat* findPelFormat(const std::string& name, std::int64_t code) {
  for (const PelFormat& f : kFormats)
    if (name == f.name) return &f;
  if (code != 0)
    for (const PelFormat& f : kFormats)
      if (f.pfnc != 0 && f.pfnc == code) return &f;
  return nullptr;
}

qeImageFormat imageFormatOf(const PelFormat& f, Kind k) {
  switch (k) {
    case Kind::grey8: return qeImageFormat_Grey8;
    case Kind::raw8: return qeImageFormat_Raw8;
    case Kind::grey16:
      return f.pelBits == 10   ? qeImageFormat_Grey10
             : f.pelBits == 12 ? qeImageFormat_Grey12
             : f.pelBits == 14 ? qeImageFormat_Grey14
                               : qeImageFormat_Grey16;
    default: return qeImageFormat_Unspecified;
  }
}

std::string madeFrom(const PelFormat& f, Kind k) {
  if (f.rank[static_cast<std::size_t>(k)] == 0) return "";
  if ((f.lent & bit(k)) != 0) return "as sent";
  const bool packed = f.packing != qe_Pack16;
  switch (k) {
    case Kind::grey16: return packed ? "unpacked" : "copied";
    case Kind::grey8:
      if (isColourSource(f)) return "Y";
      return packed ? "unpacked, most significant 8 bits" : "most significant 8 bits";
    case Kind::raw8: return packed ? "unpacked, most significant 8 bits" : "most significant 8 bits";
    default: break;
  }
  if (f.bayerX >= 0) return f.pelBits > 8 ? "demosaiced from the most significant 8 bits" : "demosaiced";
  if (f.order == qe_OrderUYVY || f.order == qe_OrderYUYV)
    return f.range == qe_YuvItu ? "BT.601, ITU range" : "BT.601, full range";
  return "reordered";
}

std::string pixelFormatFor(const std::vector<std::string>& offered, Kind k, const std::vector<std::int64_t>& codes) {
  const auto i = static_cast<std::size_t>(k);
  const PelFormat* best = nullptr;
  std::string bestName;
  for (std::size_t n = 0; n < offered.size(); ++n) {
    const PelFormat* f = findPelFormat(offered[n], n < codes.size() ? codes[n] : 0);
    if (f && f->rank[i] > 0 && (!best || f->rank[i] < best->rank[i])) {
      best = f;
      bestName = offered[n];  // the camera's own name, set as it is
    }
  }
  return bestName;
}

int bayerTypeOf(const std::string& pf, long x, long y) {
  const PelFormat* f = findPelFormat(pf);
  if (!f || f->bayerX < 0) return -1;
  const int px = (f->bayerX + static_cast<int>(x & 1)) & 1, py = (f->bayerY + static_cast<int>(y & 1)) & 1;
  return py == 0 ? (px == 0 ? 0 : 1) : (px == 0 ? 2 : 3);
}

FrameConverter::FrameConverter(const std::string& pixelFormat, Kind kind, std::int64_t code) : kind_(kind) {
  state_.format = findPelFormat(pixelFormat, code);
  if (!state_.format || state_.format->rank[static_cast<std::size_t>(kind)] == 0)
    throw CouldNotCreate("gige: pixel format " + pixelFormat + " gives no image of this FIFO's kind");
  lends_ = (state_.format->lent & bit(kind)) != 0;
  if (!lends_ && !state_.format->make)
    throw CouldNotCreate("gige: pixel format " + pixelFormat + " has no conversion for this FIFO's kind");
}

std::size_t FrameConverter::bytes(long w, long h) const {
  const PelFormat& f = format();
  if (isColourSource(f)) return qf_colourRowBytes(f.order, w) * static_cast<std::size_t>(std::max(h, 0L));
  if (f.packing == qe_Pack16 && f.bitsPerPel == 8)  // 8-bit grey and mosaic
    return static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
  // The least: rows that follow one another bit for bit.
  return qf_packedImageBytes(qs_PackedImage{nullptr, 0, w, h, f.packing});
}

void FrameConverter::whiteBalance(double r, double g, double b) {
  if (!fromMosaic()) bad();  // nothing converted here
  std::lock_guard<std::mutex> lk(m_);
  state_.bayer.setRedWhiteBalanceScale(r);
  state_.bayer.setGreenWhiteBalanceScale(g);
  state_.bayer.setBlueWhiteBalanceScale(b);
}

void FrameConverter::make(const FrameView& frame, MadeImage& out) {
  if (lends_) bad();
  std::lock_guard<std::mutex> lk(m_);
  state_.format->make(frame, kind_, state_, out);
}

}  // namespace qrn_gige
