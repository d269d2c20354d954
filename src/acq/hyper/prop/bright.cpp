// Contrast and brightness per tap.
#include <qrn/acq/hyper/prop/bright.h>

#include <algorithm>
#include <utility>
#include <vector>

QC_IMPLEMENT_PERSISTENT(qcContrastBrightnessProp);
QC_REGISTER_PERSISTENT(qcContrastBrightnessProp::BadParams);

qcContrastBrightnessProp::qcContrastBrightnessProp() = default;

qcContrastBrightnessProp::qcContrastBrightnessProp(const qcContrastBrightnessProp& src)
    : qcPersistent(src), qc_PersistentProp(src) {
  src.ensureSized_();
  allocate_(src.taps_);
  std::copy_n(src.contrast_.get(), taps_, contrast_.get());
  std::copy_n(src.brightness_.get(), taps_, brightness_.get());
}

qcContrastBrightnessProp::~qcContrastBrightnessProp() = default;

qcContrastBrightnessProp& qcContrastBrightnessProp::operator=(const qcContrastBrightnessProp& src) {
  if (&src == this) return *this;
  const long srcTaps = src.conBrTaps();
  conBrInit(srcTaps);
  if (srcTaps == 1) {
    setContrastEx(src.contrast_[0], -1);
    setBrightnessEx(src.brightness_[0], -1);
    return *this;
  }
  require_(srcTaps == taps_);
  for (long t = 0; t < taps_; ++t) {
    setContrastEx(src.contrast_[t], t);
    setBrightnessEx(src.brightness_[t], t);
  }
  return *this;
}

void qcContrastBrightnessProp::allocate_(long taps) const {
  auto contrast = std::make_unique<double[]>(static_cast<std::size_t>(taps));
  auto brightness = std::make_unique<double[]>(static_cast<std::size_t>(taps));
  std::fill_n(contrast.get(), taps, defaultContrast);
  std::fill_n(brightness.get(), taps, defaultBrightness);
  contrast_ = std::move(contrast);
  brightness_ = std::move(brightness);
  taps_ = taps;
}

void qcContrastBrightnessProp::ensureSized_() const {
  if (!sized_()) allocate_(1);
}

void qcContrastBrightnessProp::conBrInit(long taps) {
  if (sized_()) return;
  require_(taps >= 1);
  allocate_(taps);
}

long qcContrastBrightnessProp::conBrTaps() const {
  ensureSized_();
  return taps_;
}

void qcContrastBrightnessProp::setEx_(double* values, FifoSetter op, double value, long tap) {
  require_(tap >= -1 && tap < taps_ && validValue_(value));
  const long first = tap == -1 ? 0 : tap;
  const long last = tap == -1 ? taps_ - 1 : tap;
  for (long t = first; t <= last; ++t) this->hookSet_(values[t], value, [&](qc_AcqFifo& f) { (f.*op)(value, t); });
}

void qcContrastBrightnessProp::setContrastEx(double contrast, long tap) {
  ensureSized_();
  setEx_(contrast_.get(), &qc_AcqFifo::setContrast, contrast, tap);
}

void qcContrastBrightnessProp::setBrightnessEx(double brightness, long tap) {
  ensureSized_();
  setEx_(brightness_.get(), &qc_AcqFifo::setBrightness, brightness, tap);
}

double qcContrastBrightnessProp::contrastEx(long tap) const {
  ensureSized_();
  require_(tap >= 0 && tap < taps_);
  return contrast_[tap];
}

double qcContrastBrightnessProp::brightnessEx(long tap) const {
  ensureSized_();
  require_(tap >= 0 && tap < taps_);
  return brightness_[tap];
}

void qcContrastBrightnessProp::contrastBrightness(double contrast, double brightness) {
  require_(validValue_(contrast) && validValue_(brightness));
  setContrastEx(contrast, -1);
  setBrightnessEx(brightness, -1);
}

void qcContrastBrightnessProp::contrastBrightness(double contrast, double brightness, Channel ch) {
  require_(validValue_(contrast) && validValue_(brightness));
  if (ch >= conBrTaps()) return;
  setContrastEx(contrast, ch);
  setBrightnessEx(brightness, ch);
}

double qcContrastBrightnessProp::contrast(Channel ch) const {
  if (ch == 1 && conBrTaps() == 1) return contrast_[0];
  return contrastEx(ch);
}

double qcContrastBrightnessProp::brightness(Channel ch) const {
  if (ch == 1 && conBrTaps() == 1) return brightness_[0];
  return brightnessEx(ch);
}

bool qcContrastBrightnessProp::isSupported(Channel ch) const { return fifo_ && ch >= 0 && ch < conBrTaps(); }

void qcContrastBrightnessProp::fifo(qc_AcqFifo& f) {
  const long taps = f.numTaps();
  const double contrast = f.defaultContrast();
  const double brightness = f.defaultBrightness();
  // Checked before anything changes: a refusal leaves the property free.
  require_(taps >= 1 && validValue_(contrast) && validValue_(brightness));
  if (!sized_()) {
    allocate_(taps);
  } else if (taps != taps_) {
    qstd_assert_(sourceFile_, __LINE__, "contrast/brightness sized otherwise before association");
    allocate_(taps);
  }
  qc_Prop::fifo(f);
  setContrastEx(contrast, -1);
  setBrightnessEx(brightness, -1);
}

// Archive, newest version 2:
//   0: double contrast, double brightness, for every tap;
//   1: c0, b0, c1, b1: one tap when both taps agree, else two;
//   2: long taps, then per tap double contrast, double brightness.
// Every value is read and checked before the property changes; loads go
// through the setters.
void qcContrastBrightnessProp::serialize_(qcArchive& ar, unsigned char version) {
  if (ar.isStoring()) {
    ensureSized_();
    ar << taps_;
    for (long t = 0; t < taps_; ++t) ar << contrast_[t] << brightness_[t];
    return;
  }
  switch (version) {
    case 0: {
      double c = 0;
      double b = 0;
      ar >> c >> b;
      contrastBrightness(c, b);
      break;
    }
    case 1: {
      double c0 = 0, b0 = 0, c1 = 0, b1 = 0;
      ar >> c0 >> b0 >> c1 >> b1;
      require_(validValue_(c0) && validValue_(b0) && validValue_(c1) && validValue_(b1));
      conBrInit(c1 == c0 && b1 == b0 ? 1 : 2);
      contrastBrightness(c0, b0, channel0);
      contrastBrightness(c1, b1, channel1);
      break;
    }
    default: {
      long taps = 0;
      ar >> taps;
      require_(taps >= 1 && (!sized_() || taps == taps_));
      // Two doubles of 8 bytes per tap must still be in the archive.
      if (static_cast<unsigned long>(taps) > ar.remaining_() / 16)
        throw qcArchive::BadData("truncated contrast/brightness table");
      // Grows only with values actually read (an uncounted stream with a
      // corrupt count fails at its end).
      std::vector<std::pair<double, double>> values;
      for (long t = 0; t < taps; ++t) {
        double c = 0;
        double b = 0;
        ar >> c >> b;
        require_(validValue_(c) && validValue_(b));
        values.emplace_back(c, b);
      }
      conBrInit(taps);
      for (long t = 0; t < taps; ++t) {
        setContrastEx(values[t].first, t);
        setBrightnessEx(values[t].second, t);
      }
      break;
    }
  }
}
