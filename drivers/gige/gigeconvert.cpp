// Camera pixel formats: the table and the per-frame conversions.
#include "gigeconvert.h"

#include <algorithm>
#include <type_traits>

#include "gigeerror.h"

namespace qrn_gige {

namespace {

constexpr unsigned bit(Kind k) { return 1u << static_cast<unsigned>(k); }

// A colour image of `kind` converted from a Bayer 8 mosaic.
void fromBayer8(const FrameView& fr, Kind kind, MakeState& st, MadeImage& out) {
  // The mosaic, seen in place while it is converted.
  qcPelBuffer<unsigned char> mosaic{qcPtrHandle<qcPelRoot<unsigned char>>(
      new qcPelRoot<unsigned char>(const_cast<unsigned char*>(fr.data), fr.w, fr.h, fr.w))};
  mosaic.offset(fr.offset);
  st.bayer.setSourcePelBuf(mosaic);
  st.bayer.bayerType(static_cast<qcBayerImageConverter::BayerType>(bayerTypeOf(st.format->name, fr.offset.x, fr.offset.y)));
  switch (kind) {
    case Kind::rgb16: out.rgb16 = st.bayer.getPackedRGB16PelBuf(); break;
    case Kind::rgb32: out.rgb32 = st.bayer.getPackedRGB32PelBuf(); break;
    case Kind::planes3: out.planes3 = st.bayer.get3PlanePelBuf(); break;
    default: bad();
  }
}

// Packed colour pels from R, G, B byte triples.
template <class B>
B packRgb8(const FrameView& fr) {
  using Pel = typename B::pel_type;
  B out(fr.w, fr.h);
  const unsigned char* src = fr.data;
  for (long y = 0; y < fr.h; ++y) {
    Pel* row = out.rowPointer(y);
    for (long x = 0; x < fr.w; ++x, src += 3) row[x] = Pel(src[0], src[1], src[2]);
  }
  out.offset(fr.offset);
  return out;
}

// A colour image of `kind` taken from RGB8.
void fromRgb8(const FrameView& fr, Kind kind, MakeState&, MadeImage& out) {
  switch (kind) {
    case Kind::rgb16: out.rgb16 = packRgb8<qcPelBuffer<qcPackedRGB16Pel>>(fr); break;
    case Kind::rgb32: out.rgb32 = packRgb8<qcPelBuffer<qcPackedRGB32Pel>>(fr); break;
    case Kind::planes3: {
      qc3PlanePelBuffer p(fr.w, fr.h);
      const unsigned char* src = fr.data;
      for (long y = 0; y < fr.h; ++y) {
        unsigned char* row[3] = {p.plane0().rowPointer(y), p.plane1().rowPointer(y), p.plane2().rowPointer(y)};
        for (long x = 0; x < fr.w; ++x, src += 3)
          for (int c = 0; c < 3; ++c) row[c][x] = src[c];
      }
      p.offset(fr.offset);
      out.planes3 = p;
      break;
    }
    default: bad();
  }
}

// Ranks by kind: grey8, grey16, raw8, rgb16, rgb32, planes3.  Packed colour
// prefers RGB8 as the camera sends it, three planes a mosaic to convert.
#define QRN_MONO_(name, bits, fmt, rank) \
  PelFormat{name, bits, fmt, {0, rank, 0, 0, 0, 0}, bit(Kind::grey16), nullptr, -1, -1}
#define QRN_BAYER8_(name, rank, px, py) \
  PelFormat{name, 8, qeImageFormat_Raw8, {0, 0, rank, 10 + rank, 10 + rank, rank}, bit(Kind::raw8), &fromBayer8, px, py}
#define QRN_RGB8_(name, rank) \
  PelFormat{name, 24, qeImageFormat_Unspecified, {0, 0, 0, rank, rank, 10 + rank}, 0, &fromRgb8, -1, -1}

const std::vector<PelFormat> kFormats = {
    PelFormat{"Mono8", 8, qeImageFormat_Grey8, {1, 0, 0, 0, 0, 0}, bit(Kind::grey8), nullptr, -1, -1},
    QRN_MONO_("Mono16", 16, qeImageFormat_Grey16, 1),
    QRN_MONO_("Mono12", 16, qeImageFormat_Grey12, 2),
    QRN_MONO_("Mono10", 16, qeImageFormat_Grey10, 3),
    // Bayer phases as qcBayerImageConverter counts them: GRBG (0, 0), RGGB
    // (1, 0), BGGR (0, 1), GBRG (1, 1).
    QRN_BAYER8_("BayerRG8", 1, 1, 0),
    QRN_BAYER8_("BayerGR8", 2, 0, 0),
    QRN_BAYER8_("BayerGB8", 3, 1, 1),
    QRN_BAYER8_("BayerBG8", 4, 0, 1),
    QRN_RGB8_("RGB8", 1),
    QRN_RGB8_("RGB8Packed", 2),
};
#undef QRN_MONO_
#undef QRN_BAYER8_
#undef QRN_RGB8_

}  // namespace

const std::vector<PelFormat>& pelFormats() { return kFormats; }

const PelFormat* findPelFormat(const std::string& name) {
  for (const PelFormat& f : kFormats)
    if (name == f.name) return &f;
  return nullptr;
}

std::string pixelFormatFor(const std::vector<std::string>& offered, Kind k) {
  const auto i = static_cast<std::size_t>(k);
  const PelFormat* best = nullptr;
  for (const std::string& name : offered) {
    const PelFormat* f = findPelFormat(name);
    if (f && f->rank[i] > 0 && (!best || f->rank[i] < best->rank[i])) best = f;
  }
  return best ? best->name : "";
}

int bayerTypeOf(const std::string& pf, long x, long y) {
  const PelFormat* f = findPelFormat(pf);
  if (!f || f->bayerX < 0) return -1;
  const int px = (f->bayerX + static_cast<int>(x & 1)) & 1, py = (f->bayerY + static_cast<int>(y & 1)) & 1;
  return py == 0 ? (px == 0 ? 0 : 1) : (px == 0 ? 2 : 3);
}

FrameConverter::FrameConverter(const std::string& pixelFormat, Kind kind) : kind_(kind) {
  state_.format = findPelFormat(pixelFormat);
  if (!state_.format || state_.format->rank[static_cast<std::size_t>(kind)] == 0)
    throw CouldNotCreate("gige: pixel format " + pixelFormat + " gives no image of this FIFO's kind");
  lends_ = (state_.format->lent & bit(kind)) != 0;
  if (!lends_ && !state_.format->make)
    throw CouldNotCreate("gige: pixel format " + pixelFormat + " has no conversion for this FIFO's kind");
}

std::size_t FrameConverter::bytes(long w, long h) const {
  return (static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * static_cast<std::size_t>(format().bitsPerPel) + 7) / 8;
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
