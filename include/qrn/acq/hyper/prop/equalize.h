// The dual-tap equalizer: matches the two taps of a dual-tap camera.
//
// A dual-tap camera reads alternate lines through two channels with their
// own gain, so the two sets of lines can differ in brightness and contrast.
// The equalizer measures the grey-level histograms of the two line sets in
// images acquired from a grey FIFO and computes, for one channel, a contrast
// and brightness that make its histogram tails match the other's; it applies
// them through the FIFO's contrast/brightness property
// (qcContrastBrightnessProp).
//
// Channels.  The odd channel is contrast/brightness channel 1 and holds the
// odd rows of the image (client coordinates: the image's offset counts, so a
// region of interest does not swap the channels); the even channel is
// channel 0 and holds the even rows.
//
// The contrast/brightness model.  A contrast c and brightness b select the
// input window [N, P] of grey levels that the channel stretches over 0..255:
// P - N = 255 - 254 c and N = 254 c (1 - b).  Contrast 0 passes the camera's
// levels unchanged; the window can only narrow, so a channel's gain can only
// be raised.
//
// Quick use:
//   qcPtrHandle<qcGreyAcqFifo> fifo(...);
//   if (qfEqualize_2(fifo)) ...   // 200-pel tails, tolerance 10 grey levels
//
// Failures: a failed or unusable acquisition, an image whose mean lies outside
// 1..254, a measurement rectangle with too few pels for the tails, or no
// channel to change make the procedures return false (the reason in
// qcDualTapEqualizer::failureReason() and in the results' failure()); they
// throw nothing of their own.  Exceptions of the FIFO and its properties
// pass (qfEqualize_3 puts the FIFO's properties back first).
//
// Threads: the equalizer uses its FIFO; one thread at a time.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <iosfwd>
#include <string>
#include <vector>

#include <qrn/acq/hyper/typedfifo.h>
#include <qrn/foundation/geometry.h>
#include <qrn/foundation/handle.h>
#include <qrn/foundation/pelbuffer.h>

// A getter and a setter of one field.
#define QRN_EQ_FIELD_(T, name)       \
  T name() const { return name##_; } \
  void name(T v) { name##_ = v; }

// One histogram tail: how many pels it excludes, and how close the result
// must come.  Each field has a getter and a setter of its name (default 0;
// the setters check nothing):
//   tailTarget      a grey level both channels are moved to (0: none; the
//                   channels are matched to each other);
//   excludeNumber   pels excluded from the tail, as a count (0: none given);
//   excludePercent  ... and as a fraction of the pels of a line set (0: none
//                   given); with both, the smaller count;
//   tolerance       grey levels by which the equalized tail may differ from
//                   the reference.
class qcEqualizeTailParams {
public:
  // Every field 0: no target, no exclusion given, no tolerance.
  qcEqualizeTailParams() = default;
  // The fields as given (not checked).
  qcEqualizeTailParams(long tailTarget, long excludeNumber, double excludePercent, long tolerance)
      : tailTarget_(tailTarget), excludeNumber_(excludeNumber), excludePercent_(excludePercent), tolerance_(tolerance) {}

  QRN_EQ_FIELD_(long, tailTarget)
  QRN_EQ_FIELD_(long, excludeNumber)
  QRN_EQ_FIELD_(double, excludePercent)
  QRN_EQ_FIELD_(long, tolerance)

private:
  long tailTarget_ = 0;
  long excludeNumber_ = 0;
  double excludePercent_ = 0.0;
  long tolerance_ = 0;
};

// The dark (left) and bright (right) tail.
class qcEqualizeParams {
public:
  // Both tails with every field 0.
  qcEqualizeParams() = default;
  // Copies of the dark (left) and bright (right) tail's parameters.
  qcEqualizeParams(const qcEqualizeTailParams& left, const qcEqualizeTailParams& right)
      : left_(left), right_(right) {}

  // The dark (left) tail's parameters: read, changed in place through the
  // non-const reference (valid as long as this object), or replaced.
  const qcEqualizeTailParams& leftTailParams() const { return left_; }
  qcEqualizeTailParams& leftTailParams() { return left_; }
  void leftTailParams(const qcEqualizeTailParams& p) { left_ = p; }
  // The bright (right) tail's parameters, likewise.
  const qcEqualizeTailParams& rightTailParams() const { return right_; }
  qcEqualizeTailParams& rightTailParams() { return right_; }
  void rightTailParams(const qcEqualizeTailParams& p) { right_ = p; }

private:
  qcEqualizeTailParams left_, right_;
};

// Where one tail of the changed channel ended, and whether within tolerance.
// Each field has a getter and a setter of its name:
//   tailResult       the grey level of the tail after the adjustment (default
//                    0);
//   passedTolerance  whether it lies within the tail's tolerance of the
//                    reference channel's original tail (default false).
class qcEqualizeTailResults {
public:
  QRN_EQ_FIELD_(long, tailResult)
  QRN_EQ_FIELD_(bool, passedTolerance)

private:
  long tailResult_ = 0;
  bool passedTolerance_ = false;
};

// What a dual-tap equalization found and set.
class qcEqualizeResults {
public:
  // Why the procedure failed ("" when it did not): the procedures that take
  // results objects fill it in both.
  const std::string& failure() const { return failure_; }
  void failure(const std::string& why) { failure_ = why; }

  // The dark (left) tail's results: read, changed in place through the
  // non-const reference (valid as long as this object), or replaced.
  const qcEqualizeTailResults& leftTailResults() const { return left_; }
  qcEqualizeTailResults& leftTailResults() { return left_; }
  void leftTailResults(const qcEqualizeTailResults& r) { left_ = r; }
  // The bright (right) tail's results, likewise.
  const qcEqualizeTailResults& rightTailResults() const { return right_; }
  qcEqualizeTailResults& rightTailResults() { return right_; }
  void rightTailResults(const qcEqualizeTailResults& r) { right_ = r; }

private:
  qcEqualizeTailResults left_, right_;
  std::string failure_;
};

// What the equalizer knows of one channel: its contrast and brightness
// before and after, the window computed for it, and its tails (grey levels)
// as first measured (orig), at contrast and brightness 0 (full), and after
// the adjustment (final).  Each field has a getter and a setter of its name
// (default 0; the setters check nothing):
//   oldContrast, oldBrightness   the channel's values before (0 to 1);
//   newContrast, newBrightness   the values computed for it (0 to 1; the old
//                                ones for a channel that does not change);
//   refN, refP                   the input window [N, P] computed for it
//                                (grey levels);
//   origLoTail, origHiTail       the dark and bright tail as first measured,
//                                or the tail targets when given;
//   fullLoTail, fullHiTail       the tails at contrast and brightness 0;
//   finalLoTail, finalHiTail     the tails after the adjustment.
class qcEqualizeChannelProps {
public:
  QRN_EQ_FIELD_(double, oldContrast)
  QRN_EQ_FIELD_(double, oldBrightness)
  QRN_EQ_FIELD_(double, newContrast)
  QRN_EQ_FIELD_(double, newBrightness)
  QRN_EQ_FIELD_(long, refP)
  QRN_EQ_FIELD_(long, refN)
  QRN_EQ_FIELD_(long, origLoTail)
  QRN_EQ_FIELD_(long, origHiTail)
  QRN_EQ_FIELD_(long, fullLoTail)
  QRN_EQ_FIELD_(long, fullHiTail)
  QRN_EQ_FIELD_(long, finalLoTail)
  QRN_EQ_FIELD_(long, finalHiTail)

  // Writes every field, one "name value" per line, for diagnosis.
  void print(std::ostream& os) const;

private:
  double oldContrast_ = 0, oldBrightness_ = 0, newContrast_ = 0, newBrightness_ = 0;
  long refP_ = 0, refN_ = 0, origLoTail_ = 0, origHiTail_ = 0, fullLoTail_ = 0, fullHiTail_ = 0, finalLoTail_ = 0,
       finalHiTail_ = 0;
};

#undef QRN_EQ_FIELD_

// Matches the two taps of a dual-tap camera: measures both line sets and sets each tap.
class qcDualTapEqualizer {
public:
  // Seconds a completion of the equalizer waits.
  static constexpr double kMaxWait = 5.0;

  // Everything default; no FIFO (the procedures then fail with "no FIFO").
  qcDualTapEqualizer() = default;
  // For `fifo` (which must know its video format): reads both channels'
  // contrast and brightness (old and new), copies the parameters and both
  // results objects, centres the measurement rectangle in the format (half
  // its width and height; the actual region of interest when that is
  // smaller, width compared first), takes the tail targets when either is
  // not 0, and sizes the tails (getPelsInTail).
  qcDualTapEqualizer(qcPtrHandle<qcGreyAcqFifo> fifo, const qcEqualizeParams& params,
                     const qcEqualizeResults& oddResults, const qcEqualizeResults& evenResults);
  // Copies share the FIFO and the images' pels; the rest is copied.
  qcDualTapEqualizer(const qcDualTapEqualizer&) = default;
  qcDualTapEqualizer& operator=(const qcDualTapEqualizer&) = default;

  // The whole procedure: measure (unless targets were given), measure at
  // contrast and brightness 0, compute, apply, measure again; true when
  // every changed tail came within tolerance.
  bool equalize();

  // Flushes the FIFO, acquires one image and drops it, acquires another into
  // `image` (waiting up to kMaxWait each) and measures the tails of both
  // line sets in the measurement rectangle.  False for a failed acquisition,
  // no image, an image that checkGoodness refuses, or a rectangle that holds
  // too few pels of a line set for both tails (at least pelsInLoTail +
  // pelsInHiTail + 1 are needed; none when the image lies beside it).
  bool acquireImage(qcPelBuffer<unsigned char>& image, long& oddLo, long& oddHi, long& evenLo, long& evenHi);
  // Whether the image's mean lies from 1.0 to 254.0.
  bool checkGoodness(const qcPelBuffer<unsigned char>& image) const;
  // Decides which channel changes and computes its new contrast and
  // brightness; false when neither can change.
  bool getBestContrastBrightness();
  // Fills the results of the changed channel(s); true when all passed.
  bool getEqualizeResults();
  // Fills `results` for the channel `changed`: each tail's final grey level,
  // and whether it lies within that tail's tolerance of the reference's
  // original tail.  True when both tails passed.
  bool setEqualizeResults(const qcEqualizeChannelProps& reference, const qcEqualizeChannelProps& changed,
                          qcEqualizeResults& results) const;
  // The grey levels below which pelsInLoTail pels lie (lo) and above which
  // pelsInHiTail pels lie (hi), in a 256-bin histogram (missing bins count 0).
  void calcTails(const std::vector<long>& histogram, long& lo, long& hi) const;
  // The pels a tail excludes, for the measurement rectangle.
  long getPelsInTail(const qcEqualizeTailParams& tail) const;

  // Computes target's window (refN, refP) and, when it is at least 4 grey
  // levels wide, its new contrast and brightness to match `reference`
  // (true); otherwise target's values are left (false).
  static bool adjustChannel(const qcEqualizeChannelProps& reference, qcEqualizeChannelProps& target);

  // ---- state ---------------------------------------------------------------------
  // The setters below only store: nothing is measured or recomputed (for
  // running the steps one by one).

  // The grey FIFO measured and adjusted (a shared handle; null: none, and
  // the procedures fail with "no FIFO").
  qcPtrHandle<qcGreyAcqFifo> fifo() const { return fifo_; }
  void fifo(qcPtrHandle<qcGreyAcqFifo> f) { fifo_ = std::move(f); }
  // What the equalizer knows of the odd channel (contrast/brightness channel
  // 1) and the even channel (channel 0).
  const qcEqualizeChannelProps& oddChannel() const { return odd_; }
  void oddChannel(const qcEqualizeChannelProps& c) { odd_ = c; }
  const qcEqualizeChannelProps& evenChannel() const { return even_; }
  void evenChannel(const qcEqualizeChannelProps& c) { even_ = c; }
  // Whether the even and the odd channel are to change, as decided by
  // getBestContrastBrightness (both only when tail targets were given).
  bool changeEven() const { return changeEven_; }
  void changeEven(bool v) { changeEven_ = v; }
  bool changeOdd() const { return changeOdd_; }
  void changeOdd(bool v) { changeOdd_ = v; }
  // Whether tail targets were given (either tail's tailTarget not 0): the
  // first measurement is then skipped and the targets stand for both
  // channels' original tails.
  bool targetsSpecified() const { return targetsSpecified_; }
  void targetsSpecified(bool v) { targetsSpecified_ = v; }
  // The pels the dark (lo) and bright (hi) tail exclude in each line set
  // (getPelsInTail of the left and right tail parameters).
  long pelsInLoTail() const { return pelsInLoTail_; }
  void pelsInLoTail(long v) { pelsInLoTail_ = v; }
  long pelsInHiTail() const { return pelsInHiTail_; }
  void pelsInHiTail(long v) { pelsInHiTail_ = v; }

  // The parameters given to the constructor.
  const qcEqualizeParams& params() const { return params_; }
  // The results of the odd and the even channel: copies of those given to
  // the constructor, filled by equalize() (a channel that did not change
  // keeps its tail results as given).
  const qcEqualizeResults& oddResults() const { return oddResults_; }
  const qcEqualizeResults& evenResults() const { return evenResults_; }
  // Why the last failing step failed ("" when none has failed): the
  // measurement, the computation, or a tail outside the tolerance.  equalize()
  // copies it into both results objects.
  const std::string& failureReason() const { return failure_; }
  // The rectangle measured, in client coordinates: centred in the video
  // format, half its width and height, or the actual region of interest when
  // that is smaller (width compared first).
  const qcPelRect& measurementRect() const { return rect_; }
  // The images before adjustment, at contrast and brightness 0, after.
  const qcPelBuffer<unsigned char>& image(int i) const { return images_[i < 0 ? 0 : i > 2 ? 2 : i]; }

private:
  qcPelBuffer<unsigned char> images_[3];
  qcPelRect rect_;
  qcEqualizeParams params_;
  qcEqualizeResults oddResults_, evenResults_;
  qcPtrHandle<qcGreyAcqFifo> fifo_;
  qcEqualizeChannelProps odd_, even_;
  bool changeEven_ = false, changeOdd_ = false, targetsSpecified_ = false;
  long pelsInLoTail_ = 0, pelsInHiTail_ = 0;
  std::string failure_;

  bool fail_(std::string why);
  bool equalizeSteps_();
};

// Runs `eq` on its FIFO: saves the FIFO's property set, switches to the
// manual trigger model, the identity input table on every tap and no
// complete or move-part callbacks, equalizes, puts the saved set back, and
// sets the new contrast and brightness on both channels when it succeeded
// (the old ones otherwise).  The outcome stays in eq.  When an exception
// passes, the saved set is put back first.
bool qfEqualize(qcDualTapEqualizer& eq);

// A simpler procedure of its own: measures the mean of both line sets at the
// FIFO's exposure and at half of it (manual trigger, strobe off, identity
// input tables; the saved settings are put back), fits the odd lines to the
// even ones as gain and offset, and raises the gain of the weaker channel to
// match the other, on top of both channels' current contrast and brightness.
bool qfEqualize_1(qcPtrHandle<qcGreyAcqFifo> fifo);
// qfEqualize_3 with 200-pel tails and a tolerance of 10 grey levels in both
// tails, no targets.
bool qfEqualize_2(qcPtrHandle<qcGreyAcqFifo> fifo);
// Builds an equalizer from the arguments and runs qfEqualize on it; the
// results objects receive the equalizer's results.
bool qfEqualize_3(qcPtrHandle<qcGreyAcqFifo> fifo, const qcEqualizeParams& params, qcEqualizeResults& oddResults,
                  qcEqualizeResults& evenResults);

QRN_API_END
