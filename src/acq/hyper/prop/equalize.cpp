// The dual-tap equalizer and the procedures that run it.
#include <qrn/acq/hyper/prop/equalize.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ostream>
#include <utility>

#include <qrn/acq/hyper/prop/acqprops.h>
#include <qrn/acq/hyper/trigmodel.h>

namespace {

using Channel = qcContrastBrightnessProp::Channel;
constexpr Channel kOdd = qcContrastBrightnessProp::channel1;
constexpr Channel kEven = qcContrastBrightnessProp::channel0;

// The input window [n, p] (grey levels) that a contrast and brightness
// select, and back.
struct Window {
  double n, p;
};
Window windowOf(double contrast, double brightness) {
  return {254.0 * contrast * (1.0 - brightness), 255.0 - 254.0 * contrast * brightness};
}
std::pair<double, double> contrastBrightnessOf(Window w) {
  const double contrast = std::clamp((255.0 + w.n - w.p) / 254.0, 0.0, 1.0);
  const double room = 255.0 - w.p + w.n;
  const double brightness = room == 0.0 ? 0.5 : std::min((255.0 - w.p) / room, 1.0);
  return {contrast, brightness};
}

qcAcquireInfo acquire(qcGreyAcqFifo& fifo, qcPelBuffer<unsigned char>& image) {
  qcAcquireInfo info;
  fifo.start(1);
  image = fifo.complete(qcAcqFifo::CompleteArgs().maxWait(qcDualTapEqualizer::kMaxWait).acquireInfo(&info));
  return info;
}

// Calls f(histogram, row) for every row of `rect` (client coordinates) that
// the image holds, with the pels of the columns it holds; the histogram is
// odd's for odd rows, else even's.
template <class F>
void forRowsIn(const qcPelBuffer<unsigned char>& image, const qcPelRect& rect, F&& f) {
  const qcPair<long> off = image.offset();
  const long x0 = std::max(rect.x(), off.x), x1 = std::min(rect.x1(), off.x + image.width());
  const long y0 = std::max(rect.y(), off.y), y1 = std::min(rect.y1(), off.y + image.height());
  if (x1 <= x0) return;
  for (long y = y0; y < y1; ++y) {
    const unsigned char* row = image.rowPointer(y - off.y);
    f((y & 1) != 0, row + (x0 - off.x), row + (x1 - off.x));
  }
}

}  // namespace

void qcEqualizeChannelProps::print(std::ostream& os) const {
  os << "oldContrast " << oldContrast_ << "\noldBrightness " << oldBrightness_ << "\nnewContrast " << newContrast_
     << "\nnewBrightness " << newBrightness_ << "\nrefP " << refP_ << "\nrefN " << refN_ << "\norigLoTail "
     << origLoTail_ << "\norigHiTail " << origHiTail_ << "\nfullLoTail " << fullLoTail_ << "\nfullHiTail "
     << fullHiTail_ << "\nfinalLoTail " << finalLoTail_ << "\nfinalHiTail " << finalHiTail_ << "\n";
}

qcDualTapEqualizer::qcDualTapEqualizer(qcPtrHandle<qcGreyAcqFifo> fifo, const qcEqualizeParams& params,
                                       const qcEqualizeResults& oddResults, const qcEqualizeResults& evenResults)
    : params_(params), oddResults_(oddResults), evenResults_(evenResults), fifo_(std::move(fifo)) {
  if (!fifo_) return;  // nothing to measure: the procedures return false
  qcAcqProps& props = fifo_->properties();
  const qcContrastBrightnessProp& cb = props;
  for (auto [ch, c] : {std::pair{kOdd, &odd_}, std::pair{kEven, &even_}}) {
    c->oldContrast(cb.contrast(ch));
    c->newContrast(c->oldContrast());
    c->oldBrightness(cb.brightness(ch));
    c->newBrightness(c->oldBrightness());
  }

  const qcVideoFormat& fmt = fifo_->videoFormat();
  const long w = fmt.width() / 2, h = fmt.height() / 2;
  rect_ = qcPelRect(w / 2, h / 2, w, h);
  const qcPelRect roi = static_cast<const qcRoiProp&>(props).actualRoi();
  if (std::pair(roi.width(), roi.height()) < std::pair(w, h)) rect_ = roi;

  const long loTarget = params_.leftTailParams().tailTarget(), hiTarget = params_.rightTailParams().tailTarget();
  targetsSpecified_ = loTarget != 0 || hiTarget != 0;
  if (targetsSpecified_) {
    for (qcEqualizeChannelProps* c : {&odd_, &even_}) {
      c->origLoTail(loTarget);
      c->origHiTail(hiTarget);
    }
  }
  pelsInLoTail_ = getPelsInTail(params_.leftTailParams());
  pelsInHiTail_ = getPelsInTail(params_.rightTailParams());
}

long qcDualTapEqualizer::getPelsInTail(const qcEqualizeTailParams& t) const {
  const long area = rect_.width() * rect_.height();
  long n = 0;
  if (t.excludePercent() != 0)
    n = static_cast<long>(static_cast<double>(rect_.height()) * (static_cast<double>(rect_.width()) * t.excludePercent()) / 2.0);
  // A count alone is the count; with a fraction too, the smaller of the two.
  if (t.excludeNumber() != 0) n = t.excludePercent() != 0 ? std::min(t.excludeNumber(), n) : t.excludeNumber();
  if (n == area / 2) return 0;
  return std::max(n, 0L);
}

void qcDualTapEqualizer::calcTails(const std::vector<long>& h, long& lo, long& hi) const {
  auto bin = [&](long i) { return static_cast<std::size_t>(i) < h.size() ? h[static_cast<std::size_t>(i)] : 0L; };
  long sum = 0;
  lo = 0;
  for (long i = 0; i < 256 && sum <= pelsInLoTail_; ++i) {
    sum += bin(i);
    lo = i;
  }
  sum = 0;
  hi = 255;
  for (long i = 255; i >= 0 && sum <= pelsInHiTail_; --i) {
    sum += bin(i);
    hi = i;
  }
}

bool qcDualTapEqualizer::checkGoodness(const qcPelBuffer<unsigned char>& image) const {
  if (!image.isBound()) return false;
  const double mean = qcHistoStats(qfPelHistogram(image)).mean();
  return mean >= 1.0 && mean <= 254.0;
}

bool qcDualTapEqualizer::fail_(std::string why) {
  failure_ = std::move(why);
  return false;
}

bool qcDualTapEqualizer::acquireImage(qcPelBuffer<unsigned char>& image, long& oddLo, long& oddHi, long& evenLo,
                                      long& evenHi) {
  if (!fifo_) return fail_("no FIFO");
  fifo_->flush();
  {
    qcPelBuffer<unsigned char> dropped;  // settles the new settings; its buffer goes back at once
    acquire(*fifo_, dropped);
  }
  const qcAcquireInfo info = acquire(*fifo_, image);
  if (info.failure() || !image.isBound()) return fail_("the acquisition failed");
  if (!checkGoodness(image)) return fail_("the image's mean grey level is outside 1..254");

  std::vector<long> odd(256, 0), even(256, 0);
  long pels[2] = {0, 0};  // even, odd
  forRowsIn(image, rect_, [&](bool isOdd, const unsigned char* p, const unsigned char* end) {
    std::vector<long>& h = isOdd ? odd : even;
    pels[isOdd] += end - p;
    for (; p < end; ++p) ++h[*p];
  });
  // Each line set needs more pels than both tails exclude, else the tails
  // cross (or, without pels, read 255..0).
  const long needed = pelsInLoTail_ + pelsInHiTail_ + 1;
  if (std::min(pels[0], pels[1]) < needed) {
    const qcPelRect& r = rect_;
    return fail_("too few pels to measure: the measurement rectangle (" + std::to_string(r.x()) + "," +
                 std::to_string(r.y()) + "," + std::to_string(r.width()) + "," + std::to_string(r.height()) +
                 ") holds " + std::to_string(pels[0]) + " pels of the even lines and " + std::to_string(pels[1]) +
                 " of the odd lines of the image, and tails of " + std::to_string(pelsInLoTail_) + " and " +
                 std::to_string(pelsInHiTail_) + " pels need " + std::to_string(needed) + " in each");
  }
  calcTails(odd, oddLo, oddHi);
  calcTails(even, evenLo, evenHi);
  return true;
}

bool qcDualTapEqualizer::adjustChannel(const qcEqualizeChannelProps& ref, qcEqualizeChannelProps& target) {
  const long a = ref.origHiTail() - ref.origLoTail();
  // The offset that puts target's tails on the reference's, in the units of
  // the window (divided by the reference's span; 255 when it has none).
  long n = (ref.origHiTail() * target.fullLoTail() - ref.origLoTail() * target.fullHiTail()) / (a != 0 ? a : 255);
  long p = a != 0 ? (target.fullHiTail() - target.fullLoTail()) * 255 / a + n : 255;
  if (n < 1) n = 0;
  if (p > 255) p = 255;
  target.refP(p);
  target.refN(n);
  if (p - n < 4) return false;
  const auto [contrast, brightness] = contrastBrightnessOf({static_cast<double>(n), static_cast<double>(p)});
  target.newContrast(contrast);
  target.newBrightness(brightness);
  return true;
}

bool qcDualTapEqualizer::getBestContrastBrightness() {
  changeEven_ = adjustChannel(odd_, even_);
  changeOdd_ = adjustChannel(even_, odd_);
  if (!changeEven_ && !changeOdd_) return false;
  if (changeEven_ && changeOdd_ && !targetsSpecified_) {
    // Keep the channel whose window came out wider: its window was cut to
    // the full range (a gain below 1 cannot be set), so only the other
    // channel can be matched to it.  Equal windows: keep the one with the
    // higher offset.
    const long spanOdd = odd_.refP() - odd_.refN(), spanEven = even_.refP() - even_.refN();
    if (spanOdd == spanEven) {
      if (odd_.refN() >= even_.refN()) changeOdd_ = false;
      else changeEven_ = false;
    } else if (spanOdd > spanEven) {
      changeOdd_ = false;
    } else {
      changeEven_ = false;
    }
  }
  for (auto [changed, c] : {std::pair{changeOdd_, &odd_}, std::pair{changeEven_, &even_}}) {
    if (changed) continue;
    c->newContrast(c->oldContrast());
    c->newBrightness(c->oldBrightness());
  }
  return true;
}

bool qcDualTapEqualizer::setEqualizeResults(const qcEqualizeChannelProps& ref, const qcEqualizeChannelProps& changed,
                                            qcEqualizeResults& results) const {
  qcEqualizeTailResults& left = results.leftTailResults();
  qcEqualizeTailResults& right = results.rightTailResults();
  left.tailResult(changed.finalLoTail());
  left.passedTolerance(std::labs(ref.origLoTail() - changed.finalLoTail()) <= params_.leftTailParams().tolerance());
  right.tailResult(changed.finalHiTail());
  right.passedTolerance(std::labs(ref.origHiTail() - changed.finalHiTail()) <= params_.rightTailParams().tolerance());
  return left.passedTolerance() && right.passedTolerance();
}

bool qcDualTapEqualizer::getEqualizeResults() {
  bool ok = true;
  if (changeEven_) ok = setEqualizeResults(odd_, even_, evenResults_) && ok;
  if (changeOdd_) ok = setEqualizeResults(even_, odd_, oddResults_) && ok;
  return ok;
}

bool qcDualTapEqualizer::equalize() {
  failure_.clear();
  const bool ok = equalizeSteps_();
  if (ok) failure_.clear();
  for (qcEqualizeResults* r : {&oddResults_, &evenResults_}) r->failure(failure_);
  return ok;
}

bool qcDualTapEqualizer::equalizeSteps_() {
  if (!fifo_) return fail_("no FIFO");
  long t[4];
  auto measure = [&](int image, void (qcEqualizeChannelProps::*lo)(long), void (qcEqualizeChannelProps::*hi)(long)) {
    if (!acquireImage(images_[image], t[0], t[1], t[2], t[3])) return false;
    (odd_.*lo)(t[0]);
    (odd_.*hi)(t[1]);
    (even_.*lo)(t[2]);
    (even_.*hi)(t[3]);
    return true;
  };
  using P = qcEqualizeChannelProps;
  if (!targetsSpecified_ && !measure(0, &P::origLoTail, &P::origHiTail)) return false;
  qcContrastBrightnessProp& cb = fifo_->properties();
  cb.contrastBrightness(0.0, 0.0);
  if (!measure(1, &P::fullLoTail, &P::fullHiTail)) return false;
  if (!getBestContrastBrightness()) return fail_("neither channel can be matched to the other");
  cb.contrastBrightness(odd_.newContrast(), odd_.newBrightness(), kOdd);
  cb.contrastBrightness(even_.newContrast(), even_.newBrightness(), kEven);
  if (!measure(2, &P::finalLoTail, &P::finalHiTail)) return false;
  return getEqualizeResults() || fail_("a tail came out beyond the tolerance");
}

// ---- the procedures ------------------------------------------------------------------

bool qfEqualize(qcDualTapEqualizer& eq) {
  const qcPtrHandle<qcGreyAcqFifo> fifo = eq.fifo();
  if (!fifo) return false;
  qcAcqProps& props = fifo->properties();
  const qcAcqProps saved(props);
  bool ok = false;
  try {
    static_cast<qcTriggerProp&>(props).triggerModel(qfManualTrigger());
    static_cast<qc8BitInputLutProp&>(props).inputLut(qc8BitInputLutProp::positive8BitLut);
    static_cast<qcCompleteCallbackProp&>(props).completeCallback({});
    static_cast<qcMovePartCallbackProp&>(props).movePartCallback({});
    ok = eq.equalize();
  } catch (...) {
    try {
      props = saved;
    } catch (...) {
      // The first exception is the one that tells what went wrong.
    }
    throw;
  }
  props = saved;
  qcContrastBrightnessProp& cb = props;
  const qcEqualizeChannelProps &odd = eq.oddChannel(), &even = eq.evenChannel();
  cb.contrastBrightness(ok ? odd.newContrast() : odd.oldContrast(), ok ? odd.newBrightness() : odd.oldBrightness(),
                        kOdd);
  cb.contrastBrightness(ok ? even.newContrast() : even.oldContrast(),
                        ok ? even.newBrightness() : even.oldBrightness(), kEven);
  return ok;
}

bool qfEqualize_3(qcPtrHandle<qcGreyAcqFifo> fifo, const qcEqualizeParams& params, qcEqualizeResults& oddResults,
                  qcEqualizeResults& evenResults) {
  if (!fifo) {
    oddResults.failure("no FIFO");
    evenResults.failure("no FIFO");
    return false;
  }
  qcDualTapEqualizer eq(std::move(fifo), params, oddResults, evenResults);
  const bool ok = qfEqualize(eq);
  oddResults = eq.oddResults();
  evenResults = eq.evenResults();
  return ok;
}

bool qfEqualize_2(qcPtrHandle<qcGreyAcqFifo> fifo) {
  const qcEqualizeTailParams tail(0, 200, 0.0, 10);
  qcEqualizeResults odd, even;
  return qfEqualize_3(std::move(fifo), qcEqualizeParams(tail, tail), odd, even);
}

bool qfEqualize_1(qcPtrHandle<qcGreyAcqFifo> fifo) {
  if (!fifo) return false;
  qcAcqProps& props = fifo->properties();
  qcExposureProp& exposure = props;
  qcStrobeProp& strobe = props;
  qcTriggerProp& trigger = props;
  qc8BitInputLutProp& lut = props;
  qcContrastBrightnessProp& cb = props;

  // 1. Measure: the mean of both line sets at the FIFO's exposure and at half
  // of it, with the saved settings put back afterwards.
  const double savedExposure = exposure.exposure();
  const bool savedStrobe = strobe.strobeEnable();
  const qcTriggerProp savedTrigger(trigger);
  const qc8BitInputLutProp savedLut(lut);
  auto restore = [&] {
    exposure.exposure(savedExposure);
    strobe.strobeEnable(savedStrobe);
    trigger = savedTrigger;
    lut = savedLut;
  };
  double mean[2][2] = {};  // [exposure][even, odd]
  bool measured = true;
  try {
    trigger.triggerModel(qfManualTrigger());
    strobe.strobeEnable(false);
    lut.inputLut(qc8BitInputLutProp::positive8BitLut);
    for (int e = 0; e < 2 && measured; ++e) {
      exposure.exposure(savedExposure / (e + 1));
      fifo->flush();
      qcPelBuffer<unsigned char> image;
      const qcAcquireInfo info = acquire(*fifo, image);
      if (info.failure() || !image.isBound()) {
        measured = false;
        break;
      }
      double sum[2] = {0, 0}, count[2] = {0, 0};
      forRowsIn(image, qcPelRect(image.offset().x, image.offset().y, image.width(), image.height()),
                [&](bool isOdd, const unsigned char* p, const unsigned char* end) {
                  count[isOdd] += static_cast<double>(end - p);
                  for (; p < end; ++p) sum[isOdd] += *p;
                });
      for (int k = 0; k < 2; ++k) mean[e][k] = count[k] > 0 ? sum[k] / count[k] : 0.0;
    }
  } catch (...) {
    try {
      restore();
    } catch (...) {
    }
    throw;
  }
  restore();
  if (!measured) return false;
  for (const auto& m : mean)
    for (double v : m)
      if (v < 1.0 || v > 254.0) return false;

  // 2. Compute: odd = gain * even + offset; the weaker channel is raised to
  // the other.
  const double de = mean[0][0] - mean[1][0];
  if (std::fabs(de) < 2.0) return false;
  const double gain = (mean[0][1] - mean[1][1]) / de;
  const double offset = mean[0][1] - gain * mean[0][0];
  if (!(gain > 0.0)) return false;
  const bool raiseOdd = gain < 1.0;
  // The window, on the levels the channel delivers now, that maps them onto
  // the other channel's: out = (v - n) * 255 / (p - n).
  Window w = raiseOdd ? Window{offset, offset + 255.0 * gain} : Window{-offset / gain, -offset / gain + 255.0 / gain};

  // 3. Apply, on top of the channel's current contrast and brightness.
  const Channel ch = raiseOdd ? kOdd : kEven;
  const Window now = windowOf(cb.contrast(ch), cb.brightness(ch));
  const double scale = (now.p - now.n) / 255.0;
  Window raw{now.n + w.n * scale, now.n + w.p * scale};
  raw.n = std::clamp(raw.n, 0.0, 254.0);
  raw.p = std::clamp(raw.p, raw.n + 1.0, 255.0);
  const auto [contrast, brightness] = contrastBrightnessOf(raw);
  const Channel other = raiseOdd ? kEven : kOdd;
  cb.contrastBrightness(cb.contrast(other), cb.brightness(other), other);
  cb.contrastBrightness(contrast, brightness, ch);
  return true;
}
