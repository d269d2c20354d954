// qcBayerImageConverter and the qfBayer* functions on pixel buffers.  The
// pixel work is done by the kernels of bayerkernels.h.
#include <qrn/acq/convert/bayer.h>

#include <qrn/acq/convert/bayerkernels.h>
#include <qrn/foundation/misc.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <type_traits>

QC_REGISTER_PERSISTENT(qcBayerImageConverter::BadParams);

// ---- pel packing shared with the kernels --------------------------------------------
std::uint16_t qf_bayerPackRGB16(unsigned r, unsigned g, unsigned b) {
  return qcPackedRGB16Pel(static_cast<unsigned char>(r), static_cast<unsigned char>(g), static_cast<unsigned char>(b))
      .bits();
}
std::uint32_t qf_bayerPackRGB32(unsigned r, unsigned g, unsigned b) {
  const qcPackedRGB32Pel p(static_cast<unsigned char>(r), static_cast<unsigned char>(g), static_cast<unsigned char>(b));
  std::uint32_t word;
  std::memcpy(&word, &p, sizeof word);
  return word;
}

namespace {

bool usable(const qc_PelBuffer& src) {
  return src.isBound() && src.width() >= 2 && src.height() >= 2 && src.width() % 2 == 0 && src.height() % 2 == 0;
}

template <class T>
qs_RawPlane<T> rawPlane(const qcPelBuffer<T>& b) {
  return {b.rowPointer(0), static_cast<std::ptrdiff_t>(b.rowUpdate() * sizeof(T))};
}
qs_RawPlaneC8 rawPlaneC(const qcPelBuffer_const<unsigned char>& b) {
  return {b.rowPointer(0), static_cast<std::ptrdiff_t>(b.rowUpdate())};
}

qs_BayerMosaic mosaic(const qcPelBuffer_const<unsigned char>& src, const qcPair<long>& phase) {
  return {src.rowPointer(0), static_cast<std::ptrdiff_t>(src.rowUpdate()), src.width(), src.height(),
          static_cast<int>(phase.x & 1), static_cast<int>(phase.y & 1)};
}

// White-balance tables of one conversion; luts() is null when every scale is
// 1.0 (the reference then runs without tables).
class Balance {
public:
  Balance(double r, double g, double b) {
    const double scales[3] = {r, g, b};
    identity_ = true;
    for (int i = 0; i < 3; ++i) {
      const double s = scales[i] > 0 ? scales[i] : 1.0;
      if (s != 1.0) identity_ = false;
      qf_bayerWhiteBalanceTable(s, tables_[i]);
      ptrs_[i] = tables_[i];
    }
  }
  const unsigned char* const* luts() const { return identity_ ? nullptr : ptrs_; }
  // The tables in the accelerated kernels' form (made on first use).
  const qs_BayerBalance& fast() const {
    if (!fast_.luts[0]) fast_ = qf_bayerBalance(ptrs_);
    return fast_;
  }

private:
  unsigned char tables_[3][256];
  const unsigned char* ptrs_[3];
  bool identity_;
  mutable qs_BayerBalance fast_;
};

// Binds dst to a new buffer of the source's size unless it holds it already.
template <class P>
void fitPacked(const qcPelBuffer_const<unsigned char>& src, qcPelBuffer<P>& dst) {
  if (!dst.isBound() || dst.width() < src.width() || dst.height() < src.height())
    dst = qcPelBuffer<P>(src.width(), src.height(), 32);
  dst.copyXforms(src);
}

void fit3Planes(const qcPelBuffer_const<unsigned char>& src, qc3PlanePelBuffer& dst) {
  if (!dst.isBound() || dst.size() != src.size()) dst = qc3PlanePelBuffer(src.width(), src.height(), 8);
  dst.copyXforms(src);
  dst.colorSpace(qc3PlanePelBuffer::RGB);
}

// Conversions into buffers already of (at least) the source's size.
void planesInto(const qcPelBuffer_const<unsigned char>& src, const qcPair<long>& phase, const Balance* wb,
                bool fast, const qc3PlanePelBuffer& dst) {
  const qs_BayerMosaic m = mosaic(src, phase);
  if (fast && wb && wb->luts())
    qf_bayerFastPlanes(qf_simdLevel(), m, wb->fast(), rawPlane(dst.plane0()), rawPlane(dst.plane1()),
                       rawPlane(dst.plane2()));
  else if (fast)
    qf_bayerFastPlanes(qf_simdLevel(), m, rawPlane(dst.plane0()), rawPlane(dst.plane1()), rawPlane(dst.plane2()));
  else
    qf_bayerRefPlanes(m, wb ? wb->luts() : nullptr, rawPlane(dst.plane0()), rawPlane(dst.plane1()),
                      rawPlane(dst.plane2()));
}

void packedInto(const qcPelBuffer_const<unsigned char>& src, const qcPair<long>& phase, const Balance* wb, bool fast,
                const qcPelBuffer<qcPackedRGB16Pel>& dst) {
  const qs_RawPlane<std::uint16_t> d{reinterpret_cast<std::uint16_t*>(dst.rowPointer(0)),
                                     static_cast<std::ptrdiff_t>(dst.rowUpdate() * sizeof(qcPackedRGB16Pel))};
  if (fast && wb && wb->luts())
    qf_bayerFastRGB16(qf_simdLevel(), mosaic(src, phase), wb->fast(), d);
  else if (fast)
    qf_bayerFastRGB16(qf_simdLevel(), mosaic(src, phase), d);
  else
    qf_bayerRefRGB16(mosaic(src, phase), wb ? wb->luts() : nullptr, d);
}

void packedInto(const qcPelBuffer_const<unsigned char>& src, const qcPair<long>& phase, const Balance* wb, bool fast,
                const qcPelBuffer<qcPackedRGB32Pel>& dst) {
  const qs_RawPlane<std::uint32_t> d{reinterpret_cast<std::uint32_t*>(dst.rowPointer(0)),
                                     static_cast<std::ptrdiff_t>(dst.rowUpdate() * sizeof(qcPackedRGB32Pel))};
  if (fast && wb && wb->luts())
    qf_bayerFastRGB32(qf_simdLevel(), mosaic(src, phase), wb->fast(), d);
  else if (fast)
    qf_bayerFastRGB32(qf_simdLevel(), mosaic(src, phase), d);
  else
    qf_bayerRefRGB32(mosaic(src, phase), wb ? wb->luts() : nullptr, d);
}

void greyInto(const qcPelBuffer_const<unsigned char>& src, double red, double green, double blue,
              const qcPair<long>& phase, bool fast, qcPelBuffer<unsigned char>& out) {
  out.copyXforms(src);
  const qs_GreyWeights w = qf_greyWeights(red, green, blue);
  if (fast)
    qf_bayerFastGrey(qf_simdLevel(), mosaic(src, phase), w, rawPlane(out));
  else
    qf_bayerRefGrey(mosaic(src, phase), w, rawPlane(out));
}

qcPelBuffer<unsigned char> greyOf(const qcPelBuffer_const<unsigned char>& src, double red, double green,
                                  double blue, const qcPair<long>& phase, bool fast) {
  if (!usable(src)) return {};
  qcPelBuffer<unsigned char> out(src.width(), src.height(), 0, 8);
  greyInto(src, red, green, blue, phase, fast, out);
  return out;
}

void averages(const qcPelBuffer_const<unsigned char>& src, bool fast, double& a00, double& a10, double& a01,
              double& a11) {
  double* out[4] = {&a00, &a10, &a01, &a11};
  std::uint64_t sums[4] = {0, 0, 0, 0};
  const long W = src.isBound() ? src.width() : 0, H = src.isBound() ? src.height() : 0;
  if (W > 0 && H > 0) {
    if (fast)
      qf_bayerFastSums(qf_simdLevel(), rawPlaneC(src), W, H, sums);
    else
      qf_bayerRefSums(rawPlaneC(src), W, H, sums);
  }
  for (int k = 0; k < 4; ++k) {
    // Pels at column parity k & 1 and row parity k >> 1 (W * H / 4 each for
    // even sizes).
    const long n = ((W - (k & 1) + 1) / 2) * ((H - (k >> 1) + 1) / 2);
    *out[k] = n > 0 ? static_cast<double>(sums[k]) / static_cast<double>(n) : 0.0;
  }
}

void subsample(const qcPelBuffer_const<unsigned char>& src, bool fast, qcPelBuffer<unsigned char>& p00,
               qcPelBuffer<unsigned char>& p10, qcPelBuffer<unsigned char>& p01, qcPelBuffer<unsigned char>& p11) {
  qcPelBuffer<unsigned char>* outs[4] = {&p00, &p10, &p01, &p11};
  if (!src.isBound() || src.width() <= 0 || src.height() <= 0 || src.width() % 2 || src.height() % 2) {
    for (auto* p : outs) p->unbind();
    return;
  }
  const long W = src.width(), H = src.height();
  for (auto* p : outs) {
    *p = qcPelBuffer<unsigned char>(W / 2, H / 2, 8);
    p->copyXforms(src);
  }
  if (fast)
    qf_bayerFastSubsample(qf_simdLevel(), rawPlaneC(src), W, H, rawPlane(p00), rawPlane(p10), rawPlane(p01),
                          rawPlane(p11));
  else
    qf_bayerRefSubsample(rawPlaneC(src), W, H, rawPlane(p00), rawPlane(p10), rawPlane(p01), rawPlane(p11));
}

}  // namespace

// ---- free functions ----------------------------------------------------------------

qcPelBuffer<unsigned char> qfBayerToGrey_C(const qcPelBuffer_const<unsigned char>& src, double red, double green,
                                           double blue, const qcPair<long>& phase) {
  return greyOf(src, red, green, blue, phase, false);
}
qcPelBuffer<unsigned char> qfBayerToGrey_SSE(const qcPelBuffer_const<unsigned char>& src, double red, double green,
                                             double blue, const qcPair<long>& phase) {
  return greyOf(src, red, green, blue, phase, true);
}

void qfBayerTo3Planes_C(const qcPelBuffer_const<unsigned char>& src, double redScale, double greenScale,
                        double blueScale, const qcPair<long>& phase, qc3PlanePelBuffer& dst) {
  if (!usable(src)) {
    dst.unbind();
    return;
  }
  fit3Planes(src, dst);
  const Balance wb(redScale, greenScale, blueScale);
  planesInto(src, phase, &wb, false, dst);
}
void qfBayerTo3Planes_SSE(const qcPelBuffer_const<unsigned char>& src, const qcPair<long>& phase,
                          qc3PlanePelBuffer& dst) {
  if (!usable(src)) {
    dst.unbind();
    return;
  }
  fit3Planes(src, dst);
  planesInto(src, phase, nullptr, true, dst);
}

void qfBayerToPacked16_C(const qcPelBuffer_const<unsigned char>& src, double redScale, double greenScale,
                         double blueScale, const qcPair<long>& phase, qcPelBuffer<qcPackedRGB16Pel>& dst) {
  if (!usable(src)) return;
  fitPacked(src, dst);
  const Balance wb(redScale, greenScale, blueScale);
  packedInto(src, phase, &wb, false, dst);
}
void qfBayerToPacked32_C(const qcPelBuffer_const<unsigned char>& src, double redScale, double greenScale,
                         double blueScale, const qcPair<long>& phase, qcPelBuffer<qcPackedRGB32Pel>& dst) {
  if (!usable(src)) return;
  fitPacked(src, dst);
  const Balance wb(redScale, greenScale, blueScale);
  packedInto(src, phase, &wb, false, dst);
}
void qfBayerToPacked16_SSE(const qcPelBuffer_const<unsigned char>& src, const qcPair<long>& phase,
                           qcPelBuffer<qcPackedRGB16Pel>& dst) {
  if (!usable(src)) return;
  fitPacked(src, dst);
  packedInto(src, phase, nullptr, true, dst);
}
void qfBayerToPacked32_SSE(const qcPelBuffer_const<unsigned char>& src, const qcPair<long>& phase,
                           qcPelBuffer<qcPackedRGB32Pel>& dst) {
  if (!usable(src)) return;
  fitPacked(src, dst);
  packedInto(src, phase, nullptr, true, dst);
}

void qfExtractAvgFromBayer_C(const qcPelBuffer_const<unsigned char>& src, double& a00, double& a10, double& a01,
                             double& a11) {
  averages(src, false, a00, a10, a01, a11);
}
void qfExtractAvgFromBayer_SSE(const qcPelBuffer_const<unsigned char>& src, double& a00, double& a10,
                               double& a01, double& a11) {
  averages(src, true, a00, a10, a01, a11);
}

void qfBayerSubsample_C(const qcPelBuffer_const<unsigned char>& src, qcPelBuffer<unsigned char>& p00,
                        qcPelBuffer<unsigned char>& p10, qcPelBuffer<unsigned char>& p01,
                        qcPelBuffer<unsigned char>& p11) {
  subsample(src, false, p00, p10, p01, p11);
}
void qfBayerSubsample_SSE(const qcPelBuffer_const<unsigned char>& src, qcPelBuffer<unsigned char>& p00,
                          qcPelBuffer<unsigned char>& p10, qcPelBuffer<unsigned char>& p01,
                          qcPelBuffer<unsigned char>& p11) {
  subsample(src, true, p00, p10, p01, p11);
}

qcPelBuffer<unsigned char> qfDataReOrganize0(const qcPelBuffer_const<unsigned char>& src, long n) {
  // n > width / 2 first: 2 * n would overflow for the largest n.
  if (!src.isBound() || src.width() <= 0 || src.height() <= 0 || src.width() % 8 != 0 || n < 1 ||
      n > src.width() / 2 || src.width() % (2 * n) != 0)
    return {};
  qcPelBuffer<unsigned char> out(src.width(), src.height(), 32);
  qf_reorganizeEvenOdd(qf_simdLevel(), rawPlaneC(src), src.width(), src.height(), n, rawPlane(out));
  return out;
}

qcPelBuffer<unsigned char> qfThreePlanesToGrey_SSE(const qcPelBuffer_const<unsigned char>& red,
                                                   const qcPelBuffer_const<unsigned char>& green,
                                                   const qcPelBuffer_const<unsigned char>& blue, double wr,
                                                   double wg, double wb) {
  if (!red.isBound() || !green.isBound() || !blue.isBound() || red.size() != green.size() ||
      red.size() != blue.size() || red.width() <= 0 || red.height() <= 0)
    return {};
  qcPelBuffer<unsigned char> out(red.width(), red.height(), 32);
  out.copyXforms(red);
  qf_planesToGrey(qf_simdLevel(), rawPlaneC(red), rawPlaneC(green), rawPlaneC(blue), red.width(), red.height(),
                  qf_greyWeights(wr, wg, wb), rawPlane(out));
  return out;
}

// ---- the converter ----------------------------------------------------------------

// The reference counts of a result's roots (plane by plane) while the
// converter alone holds it: a result whose counts are still those is
// converted again in place; one that a caller also holds (a copy, a window,
// a plane) gets a new buffer, so the caller's pels never change.
struct SoleHolder {
  long counts[3] = {0, 0, 0};
  template <class B>
  static long count(const B& b, int i) {
    const qc_PelBuffer* p = &b;
    if constexpr (std::is_same_v<B, qc3PlanePelBuffer>) p = &b.plane(i);
    return p->isBound() && p->untypedRoot() ? p->untypedRoot()->refCount() : 0;
  }
  template <class B>
  void record(const B& b) {
    for (int i = 0; i < 3; ++i) counts[i] = count(b, i);
  }
  template <class B>
  bool holds(const B& b) const {
    if (!b.isBound()) return false;
    for (int i = 0; i < 3; ++i)
      if (count(b, i) != counts[i]) return false;
    return true;
  }
};

// A packed output: the buffer converted into (allocated or the caller's) and
// the result handed out (the buffer, or its window of the source's size).
template <class P>
struct PackedOutput {
  bool current = false;
  bool exists = false;
  bool given = false;  // the caller's buffer (setPackedRGB16Pel/32Pel): always converted into
  SoleHolder holder;
  qcPelBuffer<P> buffer;
  qcPelBuffer<P> result;

  void drop() {
    exists = given = false;
    buffer.unbind();
    result.unbind();
    current = false;
  }
};

struct qcBayerImageConverter::State {
  bool greyCurrent = false;
  bool planesCurrent = false;
  SoleHolder greyHolder, planesHolder;
  PackedOutput<qcPackedRGB16Pel> rgb16;
  PackedOutput<qcPackedRGB32Pel> rgb32;
  qcPelBuffer_const<unsigned char> source;
  qcPelBuffer<unsigned char> grey;
  qc3PlanePelBuffer planes;
  double weights[3] = {0.299, 0.587, 0.114};
  double scales[3] = {1.0, 1.0, 1.0};
  qcPair<long> phase{0, 0};

  void invalidate() {
    greyCurrent = planesCurrent = rgb16.current = rgb32.current = false;
  }
  // The white-balance tables of the scales, kept while they stay.
  std::unique_ptr<Balance> balance_;
  double balanceScales_[3] = {0, 0, 0};
  const Balance& balance() {
    if (!balance_ || !std::equal(scales, scales + 3, balanceScales_)) {
      balance_ = std::make_unique<Balance>(scales[0], scales[1], scales[2]);
      std::copy_n(scales, 3, balanceScales_);
    }
    return *balance_;
  }
  // The accelerated path: SSE present and at least 16 columns.  The colour
  // outputs take it with any white balance: the accelerated kernels balance
  // with the reference's tables and give its results bit for bit.
  bool fast() const { return qcCpuType::SSESupported() && source.width() >= 16; }

  template <class P>
  void convertPacked(PackedOutput<P>& out) {
    if (out.current) return;
    if (!source.isBound()) {
      out.result.unbind();
      return;
    }
    // A buffer of ours that a caller still holds (a copy of an earlier
    // result) is left to the caller.
    if (!out.exists || (!out.given && !out.holder.holds(out.buffer))) {
      out.result.unbind();
      out.buffer = qcPelBuffer<P>(source.width(), source.height(), 32);
      out.exists = true;
      out.given = false;
    }
    out.buffer.copyXforms(source);
    out.result = out.buffer.size() == source.size() ? out.buffer
                                                    : out.buffer.window(0, 0, source.width(), source.height());
    out.result.copyXforms(source);
    packedInto(source, phase, &balance(), fast(), out.result);
    out.holder.record(out.buffer);
    out.current = true;
  }

  template <class P>
  void setPacked(PackedOutput<P>& out, qcPelBuffer<P>& dst) {
    if (!dst.isBound()) throw BadParams();
    if (source.isBound() && (dst.width() < source.width() || dst.height() < source.height())) throw BadParams();
    out.buffer = dst;
    out.result.unbind();
    out.exists = out.given = true;
    out.current = false;
  }

  template <class P>
  void fitSource(PackedOutput<P>& out) {
    if (out.exists && (source.width() > out.buffer.width() || source.height() > out.buffer.height())) out.drop();
  }
};

namespace {
void checkSource(const qcPelBuffer_const<unsigned char>& src) {
  if (!src.isBound() || src.width() <= 0 || src.height() <= 0 || src.width() % 2 != 0 || src.height() % 2 != 0)
    throw qcBayerImageConverter::BadParams();
}
void checkScale(double s) {
  if (!(s > 0)) throw qcBayerImageConverter::BadParams();
}
}  // namespace

qcBayerImageConverter::qcBayerImageConverter() : state_(std::make_unique<State>()) {}

qcBayerImageConverter::qcBayerImageConverter(const qcPelBuffer_const<unsigned char>& src)
    : state_(std::make_unique<State>()) {
  setSourcePelBuf(src);
}

qcBayerImageConverter::qcBayerImageConverter(const qcBayerImageConverter& other)
    : state_(std::make_unique<State>()) {
  *this = other;
}

qcBayerImageConverter& qcBayerImageConverter::operator=(const qcBayerImageConverter& other) {
  if (this == &other) return *this;
  auto fresh = std::make_unique<State>();
  fresh->source = other.state_->source;
  std::copy_n(other.state_->weights, 3, fresh->weights);
  std::copy_n(other.state_->scales, 3, fresh->scales);
  fresh->phase = other.state_->phase;
  state_ = std::move(fresh);
  return *this;
}

qcBayerImageConverter::~qcBayerImageConverter() = default;

void qcBayerImageConverter::setSourcePelBuf(const qcPelBuffer_const<unsigned char>& src) {
  checkSource(src);
  State& s = *state_;
  s.source = src;
  s.invalidate();
  s.fitSource(s.rgb16);
  s.fitSource(s.rgb32);
}

const qcPelBuffer_const<unsigned char>& qcBayerImageConverter::sourcePelBuf() const { return state_->source; }

void qcBayerImageConverter::setGreyscaleWeights(double red, double green, double blue) {
  if (!(red >= 0) || !(green >= 0) || !(blue >= 0) || !qfRealEq(red + green + blue, 1.0, 0.0001)) throw BadParams();
  state_->weights[0] = red;
  state_->weights[1] = green;
  state_->weights[2] = blue;
  state_->invalidate();
}
double qcBayerImageConverter::getRedWeight() const { return state_->weights[0]; }
double qcBayerImageConverter::getGreenWeight() const { return state_->weights[1]; }
double qcBayerImageConverter::getBlueWeight() const { return state_->weights[2]; }

void qcBayerImageConverter::setRedWhiteBalanceScale(double scale) {
  checkScale(scale);
  state_->scales[0] = scale;
  state_->invalidate();
}
void qcBayerImageConverter::setGreenWhiteBalanceScale(double scale) {
  checkScale(scale);
  state_->scales[1] = scale;
  state_->invalidate();
}
void qcBayerImageConverter::setBlueWhiteBalanceScale(double scale) {
  checkScale(scale);
  state_->scales[2] = scale;
  state_->invalidate();
}
double qcBayerImageConverter::getRedWhiteBalanceScale() const { return state_->scales[0]; }
double qcBayerImageConverter::getGreenWhiteBalanceScale() const { return state_->scales[1]; }
double qcBayerImageConverter::getBlueWhiteBalanceScale() const { return state_->scales[2]; }

void qcBayerImageConverter::bayerType(BayerType type) {
  const int v = static_cast<int>(type);
  if (v < 0 || v > 3) throw BadParams();
  state_->phase = qcPair<long>(v & 1, v >> 1);
  state_->invalidate();
}
qcBayerImageConverter::BayerType qcBayerImageConverter::bayerType() const {
  return static_cast<BayerType>(state_->phase.x + 2 * state_->phase.y);
}

const qcPelBuffer<unsigned char>& qcBayerImageConverter::getGreyscalePelBuf() const {
  State& s = *state_;
  if (!s.greyCurrent) {
    if (usable(s.source) && s.grey.size() == s.source.size() && s.greyHolder.holds(s.grey)) {
      greyInto(s.source, s.weights[0], s.weights[1], s.weights[2], s.phase, s.fast(), s.grey);
    } else {
      s.grey = greyOf(s.source, s.weights[0], s.weights[1], s.weights[2], s.phase, s.fast());
      s.greyHolder.record(s.grey);
    }
    s.greyCurrent = true;
  }
  return s.grey;
}

const qcPelBuffer<qcPackedRGB16Pel>& qcBayerImageConverter::getPackedRGB16PelBuf() const {
  state_->convertPacked(state_->rgb16);
  return state_->rgb16.result;
}

const qcPelBuffer<qcPackedRGB32Pel>& qcBayerImageConverter::getPackedRGB32PelBuf() const {
  state_->convertPacked(state_->rgb32);
  return state_->rgb32.result;
}

const qc3PlanePelBuffer& qcBayerImageConverter::get3PlanePelBuf() const {
  State& s = *state_;
  if (!s.planesCurrent) {
    if (!s.source.isBound()) {
      s.planes.unbind();
    } else {
      if (s.planes.size() != s.source.size() || !s.planesHolder.holds(s.planes))
        s.planes = qc3PlanePelBuffer(s.source.width(), s.source.height(), 32);
      fit3Planes(s.source, s.planes);
      planesInto(s.source, s.phase, &s.balance(), s.fast(), s.planes);
      s.planesHolder.record(s.planes);
    }
    s.planesCurrent = true;
  }
  return s.planes;
}

void qcBayerImageConverter::setPackedRGB16Pel(qcPelBuffer<qcPackedRGB16Pel>& dst) {
  state_->setPacked(state_->rgb16, dst);
}
void qcBayerImageConverter::setPackedRGB32Pel(qcPelBuffer<qcPackedRGB32Pel>& dst) {
  state_->setPacked(state_->rgb32, dst);
}

void qcBayerImageConverter::extractKernelAverages(double& a00, double& a10, double& a01, double& a11) const {
  averages(state_->source, state_->fast(), a00, a10, a01, a11);
}

void qcBayerImageConverter::kernelSubsample(qcPelBuffer<unsigned char>& p00, qcPelBuffer<unsigned char>& p10,
                                            qcPelBuffer<unsigned char>& p01, qcPelBuffer<unsigned char>& p11) const {
  subsample(state_->source, state_->fast(), p00, p10, p01, p11);
}
