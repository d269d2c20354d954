// Contrast and brightness per tap.
//
// A camera with several taps reads its sensor through several channels, each
// with its own gain and offset; this property holds a contrast and a
// brightness per tap, each a fraction from 0 to 1, and passes every change to
// the FIFO (qc_AcqFifo::setContrast / setBrightness, hook first: the FIFO
// hears first, then the value is stored, so a FIFO exception leaves it as it
// was).
//
// Lazy sizing: a free property sizes itself with one tap when something needs
// its size; associated with a FIFO, it takes the FIFO's numTaps() and the
// FIFO's default contrast and brightness.
//
// Threads: no lock; one thread at a time uses the property (the const getters
// may size it).  FIFO operations run on the caller's thread and their
// exceptions pass through unchanged.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <cstdint>
#include <memory>

#include <qrn/acq/hyper/prop/propbase.h>

// Contrast and brightness of the digitizer, per tap.
class qcContrastBrightnessProp : public qc_PersistentProp<qcContrastBrightnessProp> {
public:
  // A value outside 0..1 (or NaN), a tap out of range, or tap counts that do
  // not agree.
  QC_EXCEPTION(BadParams, qcException, 0x10000984);

  // A tap index.  Any value may be passed; the names cover two-tap cameras.
  enum Channel : std::int32_t {
    channel0 = 0,  // tap 0 (the even lines of a dual-tap camera)
    channel1 = 1,  // tap 1 (the odd lines of a dual-tap camera)
  };

  // The contrast and brightness every tap starts with when the property is
  // sized (association then sets the FIFO's own defaults).
  static constexpr double defaultContrast = 0.5;
  static constexpr double defaultBrightness = 0.5;

  // Unsized and free.
  qcContrastBrightnessProp();
  // Copies the values (the source is sized first when it was not); the copy
  // is free.
  qcContrastBrightnessProp(const qcContrastBrightnessProp& src);
  // Nothing when src is this.  Otherwise this is sized with src's tap count if
  // it was not sized; a one-tap source sets every tap of this; otherwise the
  // tap counts must agree (else BadParams) and each tap's contrast then
  // brightness go through the setters (an associated target tells its FIFO).
  qcContrastBrightnessProp& operator=(const qcContrastBrightnessProp& src);

  // Frees the arrays; sends nothing to the FIFO.
  ~qcContrastBrightnessProp() override;

  // Sizes the property once (nothing when already sized): taps below 1 throw
  // BadParams; every tap starts at 0.5 and 0.5.  Nothing is sent to a FIFO.
  void conBrInit(long taps);
  // The tap count (sizing the property with 1 tap if needed).
  long conBrTaps() const;

  // Sets tap `tap`, or every tap for -1.  BadParams, changing nothing, for a
  // tap outside -1..taps-1 or a value outside 0..1.
  void setContrastEx(double contrast, long tap);
  void setBrightnessEx(double brightness, long tap);
  // Tap `tap` (0..taps-1, else BadParams).
  double contrastEx(long tap) const;
  double brightnessEx(long tap) const;

  // Sets every tap: setContrastEx(contrast, -1), setBrightnessEx(brightness,
  // -1).
  void setContrast(double contrast) { setContrastEx(contrast, -1); }
  void setBrightness(double brightness) { setBrightnessEx(brightness, -1); }
  // Both values are checked (0..1, else BadParams) before either is set; then
  // every tap.
  void contrastBrightness(double contrast, double brightness);
  // Both values are checked the same way; then, when ch is below the tap
  // count, both are set for tap ch (-1: every tap); otherwise nothing happens.
  void contrastBrightness(double contrast, double brightness, Channel ch);

  // Tap ch; channel 1 of a one-tap property reads tap 0.  Other taps out of
  // range throw BadParams.
  double contrast(Channel ch) const;
  double brightness(Channel ch) const;
  // False when free; else whether ch is one of the FIFO's taps.
  bool isSupported(Channel ch) const;

  // Associates the property with f: sizes it with f.numTaps() taps, then sets
  // every tap to f.defaultContrast() and f.defaultBrightness() through the
  // setters (these reach f).  f's tap count or defaults out of range throw
  // BadParams and leave the property free.  A property that is already sized
  // with another tap count fires a debug assertion and is sized anew with
  // f's.
  void fifo(qc_AcqFifo& f);

  // Frees the property, as for every property: the values stay as they are
  // and nothing is sent to the FIFO.
  using qc_Prop<qcContrastBrightnessProp>::clearFifoAssociation;

private:
  QC_PERSISTENT_PROPERTY(qcContrastBrightnessProp, "acq/hyper/prop/bright", 2);

  using FifoSetter = void (qc_AcqFifo::*)(double, long);

  bool sized_() const { return taps_ != 0; }
  void ensureSized_() const;
  void allocate_(long taps) const;
  void setEx_(double* values, FifoSetter op, double value, long tap);
  static bool validValue_(double v) { return qf_propInRange(v, 0.0, 1.0); }

  // The arrays are made on first use by const getters too, hence mutable.
  mutable long taps_ = 0;  // 0 until sized
  mutable std::unique_ptr<double[]> contrast_;
  mutable std::unique_ptr<double[]> brightness_;
};

QRN_API_END
