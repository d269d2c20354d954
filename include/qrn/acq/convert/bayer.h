// Bayer image conversion: an 8-bit Bayer mosaic to grey, packed RGB16,
// packed RGB32 or three-plane colour images, with per-channel white balance
// for the colour outputs; means and sub-images of the four pattern positions.
//
// Demosaicing.  Each source row is split into its two colours (a missing
// value is the rounded mean of its left and right neighbours, the single
// neighbour at the first and last column); the colour outputs map every split
// value through its channel's white-balance table; green of an output row is
// the mean of (the mean of the green rows above and below) and its own green
// row (row 0 copies green row 0, or 1 for the phases whose y is 1; the last
// row copies its own); the colour a row carries is its own split row, the
// other one the mean of the rows above and below (the single neighbour at the
// top and bottom).  Rounded means are (a + b + 1) >> 1 on 8-bit values.
//
// Grey: (R*wr + G*wg + B*wb) >> 8 with wX = floor(weight * 256 + 0.5), on the
// demosaiced values without white balance (saturating at 255).
//
// Accelerated variants (the *_SSE functions) give results identical to the
// reference (*_C) functions bit for bit (the colour ones, which take no
// scales, to the reference with scales 1); they use SSE2 or AVX2 as the
// processor allows and the reference where SSE is missing or the width does
// not suit.
//
// Threads: a converter is used by one thread at a time; the free functions
// are reentrant.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <qrn/foundation/exception.h>
#include <qrn/foundation/geometry.h>
#include <qrn/foundation/pelbuffer.h>

#include <memory>

// Turns an 8-bit Bayer mosaic into grey, packed RGB or three-plane colour, with grey weights and
// white-balance scales.
class qcBayerImageConverter {
public:
  // Thrown for: a source of non-positive or odd width or height; a negative
  // weight or weights not summing to 1 within 0.0001; a white-balance scale
  // of 0 or less; a Bayer type outside 0..3; a packed output buffer that is
  // unbound or smaller than the source.  The failed call changes nothing.
  QC_EXCEPTION(BadParams, qcException, 10000);

  // The colours of the first two pixels of the first two rows.  Stored as
  // the phase (x, y): GRBG (0, 0), RGGB (1, 0), BGGR (0, 1), GBRG (1, 1).
  enum BayerType { GRBG = 0, RGGB = 1, BGGR = 2, GBRG = 3 };

  // No source: every result is unbound until a source is set.
  qcBayerImageConverter();
  // Throws BadParams for a source of non-positive or odd width or height.
  explicit qcBayerImageConverter(const qcPelBuffer_const<unsigned char>& src);
  // A copy takes the source, weights, scales and Bayer type; its results are
  // computed afresh, and it has no packed output buffer until it allocates
  // one (or is given one).
  qcBayerImageConverter(const qcBayerImageConverter& other);
  qcBayerImageConverter& operator=(const qcBayerImageConverter& other);
  // Drops the converter's hold on its results; copies of them keep their pels.
  virtual ~qcBayerImageConverter();

  // The mosaic to convert (shared, not copied: the caller keeps its pels
  // unchanged while results are requested).  Marks every result not current;
  // a packed output buffer narrower or shorter than the new source is
  // dropped.  Throws BadParams (see above).
  void setSourcePelBuf(const qcPelBuffer_const<unsigned char>& src);
  const qcPelBuffer_const<unsigned char>& sourcePelBuf() const;

  // Weights of the grey output: each at least 0, summing to 1 within 0.0001.
  // Defaults 0.299, 0.587, 0.114.  Throws BadParams.
  void setGreyscaleWeights(double red, double green, double blue);
  double getRedWeight() const;
  double getGreenWeight() const;
  double getBlueWeight() const;

  // White-balance scales of the colour outputs (greater than 0; default 1.0):
  // a value v becomes min(255, floor(v * scale + 0.5)).  Throw BadParams.
  void setRedWhiteBalanceScale(double scale);
  void setGreenWhiteBalanceScale(double scale);
  void setBlueWhiteBalanceScale(double scale);
  double getRedWhiteBalanceScale() const;
  double getGreenWhiteBalanceScale() const;
  double getBlueWhiteBalanceScale() const;

  // The Bayer type of the source (GRBG by default).  The setter marks every
  // result not current and throws BadParams for a value outside 0..3.
  void bayerType(BayerType type);
  BayerType bayerType() const;

  // The results, converted on the first request after a change.  The
  // references stay valid until the next setter call or the converter's
  // destruction; copies of the buffers share the pels of that conversion.
  // Without a source they are unbound.
  //   grey: a new image of the source's size (rows with 8 pels of slack);
  //   packed: the output buffer (allocated at the source's size, or the
  //     caller's; when the caller's is larger, its top-left window of the
  //     source's size), converted in place;
  //   three-plane: a new image, plane 0 red, 1 green, 2 blue.
  // All take the source's offset and transform.
  const qcPelBuffer<unsigned char>& getGreyscalePelBuf() const;
  const qcPelBuffer<qcPackedRGB16Pel>& getPackedRGB16PelBuf() const;
  const qcPelBuffer<qcPackedRGB32Pel>& getPackedRGB32PelBuf() const;
  const qc3PlanePelBuffer& get3PlanePelBuf() const;

  // The results as conversions, for passing the converter where a buffer (or
  // a pointer to one) is expected: the grey, packed RGB16, packed RGB32 or
  // three-plane result of the get...PelBuf() functions above, valid as long.
  operator const qcPelBuffer_const<unsigned char>&() const { return getGreyscalePelBuf(); }
  operator const qcPelBuffer_const<unsigned char>*() const { return &getGreyscalePelBuf(); }
  operator const qcPelBuffer<qcPackedRGB16Pel>&() const { return getPackedRGB16PelBuf(); }
  operator const qcPelBuffer<qcPackedRGB16Pel>*() const { return &getPackedRGB16PelBuf(); }
  operator const qcPelBuffer<qcPackedRGB32Pel>&() const { return getPackedRGB32PelBuf(); }
  operator const qcPelBuffer<qcPackedRGB32Pel>*() const { return &getPackedRGB32PelBuf(); }
  operator const qc3PlanePelBuffer&() const { return get3PlanePelBuf(); }
  operator const qc3PlanePelBuffer*() const { return &get3PlanePelBuf(); }

  // Makes `dst` (shared) the output of later packed conversions.  Throws
  // BadParams when dst is unbound, or when a source is set and dst is
  // narrower or shorter than it; the earlier output then stays in force.
  void setPackedRGB16Pel(qcPelBuffer<qcPackedRGB16Pel>& dst);
  void setPackedRGB32Pel(qcPelBuffer<qcPackedRGB32Pel>& dst);

  // Means of the source's pels at (even column, even row), (odd, even),
  // (even, odd) and (odd, odd) of the raw image, whatever the Bayer type.
  // All 0 without a source.
  void extractKernelAverages(double& a00, double& a10, double& a01, double& a11) const;
  // The four (width/2) x (height/2) sub-images at the same positions (new
  // buffers); unbound without a source.
  void kernelSubsample(qcPelBuffer<unsigned char>& p00, qcPelBuffer<unsigned char>& p10,
                       qcPelBuffer<unsigned char>& p01, qcPelBuffer<unsigned char>& p11) const;

private:
  struct State;
  std::unique_ptr<State> state_;
};

// ---- free functions ----------------------------------------------------------------
// A source is usable when it is bound and its width and height are even and
// at least 2; phase (x, y) is that of qcBayerImageConverter::BayerType.
// Phase values other than 0 and 1 count by their lowest bit.

// Grey image of the source's size (rows with 8 pels of slack) with the
// source's offset and transform; unbound for an unusable source.  Weights are
// taken as given (no sum check).
qcPelBuffer<unsigned char> qfBayerToGrey_C(const qcPelBuffer_const<unsigned char>& src, double red, double green,
                                           double blue, const qcPair<long>& phase);
qcPelBuffer<unsigned char> qfBayerToGrey_SSE(const qcPelBuffer_const<unsigned char>& src, double red, double green,
                                             double blue, const qcPair<long>& phase);

// Three planes (red, green, blue).  dst is reallocated (8-byte alignment)
// when its size differs from the source's, takes the source's offset and
// transform and colour space RGB; it becomes unbound for an unusable source.
// The _C variant applies white balance (scales must be greater than 0;
// others count as 1); the _SSE variant takes no scales and applies none.
void qfBayerTo3Planes_C(const qcPelBuffer_const<unsigned char>& src, double redScale, double greenScale,
                        double blueScale, const qcPair<long>& phase, qc3PlanePelBuffer& dst);
void qfBayerTo3Planes_SSE(const qcPelBuffer_const<unsigned char>& src, const qcPair<long>& phase,
                          qc3PlanePelBuffer& dst);

// Packed outputs.  dst receives the conversion in its top-left corner; an
// unbound dst, or one narrower or shorter than the source, is rebound to a
// new buffer of the source's size (32-byte alignment).  dst takes the
// source's offset and transform.  Nothing happens for an unusable source.
// The _C variants apply white balance with the given scales; the _SSE
// variants take no scales and apply none.
void qfBayerToPacked16_C(const qcPelBuffer_const<unsigned char>& src, double redScale, double greenScale,
                         double blueScale, const qcPair<long>& phase, qcPelBuffer<qcPackedRGB16Pel>& dst);
void qfBayerToPacked32_C(const qcPelBuffer_const<unsigned char>& src, double redScale, double greenScale,
                         double blueScale, const qcPair<long>& phase, qcPelBuffer<qcPackedRGB32Pel>& dst);
void qfBayerToPacked16_SSE(const qcPelBuffer_const<unsigned char>& src, const qcPair<long>& phase,
                           qcPelBuffer<qcPackedRGB16Pel>& dst);
void qfBayerToPacked32_SSE(const qcPelBuffer_const<unsigned char>& src, const qcPair<long>& phase,
                           qcPelBuffer<qcPackedRGB32Pel>& dst);

// Means of the four pattern positions (see extractKernelAverages), each over
// the pels of its position; 0 for an unbound source or a position without
// pels.
void qfExtractAvgFromBayer_C(const qcPelBuffer_const<unsigned char>& src, double& a00, double& a10, double& a01,
                             double& a11);
void qfExtractAvgFromBayer_SSE(const qcPelBuffer_const<unsigned char>& src, double& a00, double& a10,
                               double& a01, double& a11);

// The four sub-images (new (W/2) x (H/2) buffers, 8-byte alignment, with the
// source's offset and transform); all four unbound unless the source is
// bound with even width and height.
void qfBayerSubsample_C(const qcPelBuffer_const<unsigned char>& src, qcPelBuffer<unsigned char>& p00,
                        qcPelBuffer<unsigned char>& p10, qcPelBuffer<unsigned char>& p01,
                        qcPelBuffer<unsigned char>& p11);
void qfBayerSubsample_SSE(const qcPelBuffer_const<unsigned char>& src, qcPelBuffer<unsigned char>& p00,
                          qcPelBuffer<unsigned char>& p10, qcPelBuffer<unsigned char>& p01,
                          qcPelBuffer<unsigned char>& p11);

// A new buffer of the source's size (32-byte alignment) whose rows are
// rearranged in blocks of 2n pels: the n pels at even positions of a block
// first, then the n at odd positions.  Unbound unless src is bound, of
// non-zero size, its width a multiple of 8 and of 2n, and n >= 1.
qcPelBuffer<unsigned char> qfDataReOrganize0(const qcPelBuffer_const<unsigned char>& src, long n);

// A new grey image min(255, (R*wr + G*wg + B*wb) >> 8) with wX =
// floor(weight * 256 + 0.5) (as the grey conversion), the red plane's size,
// offset and transform.  Unbound when a plane is unbound or the sizes differ.
qcPelBuffer<unsigned char> qfThreePlanesToGrey_SSE(const qcPelBuffer_const<unsigned char>& red,
                                                   const qcPelBuffer_const<unsigned char>& green,
                                                   const qcPelBuffer_const<unsigned char>& blue, double wr,
                                                   double wg, double wb);

QRN_API_END
