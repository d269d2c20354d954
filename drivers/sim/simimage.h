// Test images of the simulated frame grabber: the patterns, the pel pipeline
// (exposure, contrast/brightness, input lookup table, region of interest,
// sampling) and the renderer that writes frames into image memory.
//
// Nothing here knows about FIFOs, triggers or time: the FIFO worker decides
// when a frame is taken and hands the renderer a RenderSpec and the memory.
//
// How a frame is made.  Every row of a frame is a slice of a pre-rendered row
// template in the output pel format: the exposure, contrast/brightness and
// lookup table of each tap are folded into one 256-entry table per tap, and
// a template is rendered through it once.  The per-frame change (the
// gradient moves with the frame number) is an offset into the template, per
// row.  An ImageGenerator keeps its templates from one frame to the next while
// nothing but the frame number changes, so a frame then costs about a copy of
// its bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include <qrn/foundation/geometry.h>

namespace qrn_sim {

// The kinds of pels a simulated FIFO delivers.
enum class PelKind {
  grey8,    // qcPelBuffer<unsigned char>
  raw8,     // qcPelBuffer<unsigned char> holding a Bayer mosaic (RAW8, one colour plane)
  grey16,   // qcPelBuffer<unsigned short>, 16 bits
  grey10,   // qcPelBuffer<unsigned short>, 10 bits
  grey12,   // qcPelBuffer<unsigned short>, 12 bits
  rgb16,    // qcPelBuffer<qcPackedRGB16Pel>
  rgb32,    // qcPelBuffer<qcPackedRGB32Pel>
  plane3,   // qc3PlanePelBuffer (one root: the three planes one under the other)
};

// Bytes per pel of the kind (a plane's for plane3).
std::size_t pelBytes(PelKind k);
// Rows of storage for an image of `height` rows (three planes: 3 x height).
long storageRows(PelKind k, long height);
bool is16Bit(PelKind k);

// The test image and its parameters (see <qrn/drivers/sim.h>, "TestImage").
struct Pattern {
  enum Type { gradient, checkerboard, color, bayerRG, bayerGR, bayerGB, bayerBG, twotap, flat } type = gradient;
  long checkerSize = 8;
  int flatValue = 128;
  double tapGain = 1.25;
  double tapOffset = -16;
};

// Parses a "TestImage" value; false when unknown.
bool parsePattern(const std::string& name, Pattern::Type& out);

// The colour test scene at (x, y) of a w x h frame: red 255 x / (w - 1),
// green 255 y / (h - 1), blue 255 - red (rounded down).
struct Rgb {
  unsigned char r, g, b;
};
Rgb colorScene(long x, long y, long w, long h);
// The grey value of a colour: (77 r + 150 g + 29 b) / 256.
unsigned char luma(Rgb c);

// What one frame is rendered with.
struct RenderSpec {
  Pattern pattern;
  long frameWidth = 0, frameHeight = 0;  // the full frame
  qcPelRect roi;                         // within the frame, not empty
  long sampleX = 1, sampleY = 1;         // 1, 2 or 4
  unsigned long frameNumber = 0;
  long numTaps = 1;                      // 1 to 4; frame row y is read through tap y % numTaps
  double exposureScale = 1.0;
  const double* contrast = nullptr;      // per tap (4)
  const double* brightness = nullptr;    // per tap (4)
  const unsigned char (*lut)[256] = nullptr;  // per tap (4)
  bool incomplete = false;               // rows from the half down stay zero
  int component = -1;                    // grey pels of a colour scene: its red (0), green (1), blue (2), or luma (-1)
};

// The output size: the region of interest sampled.
qcPair<long> outputSize(const qcPelRect& roi, long sampleX, long sampleY);

// Renders frames, keeping its row templates while only the frame number
// changes.  Not thread-safe: one generator per thread (a FIFO's worker owns
// one).  render() may throw std::bad_alloc; nothing else.
class ImageGenerator {
public:
  ImageGenerator();
  ~ImageGenerator();
  ImageGenerator(const ImageGenerator&) = delete;
  ImageGenerator& operator=(const ImageGenerator&) = delete;

  // Renders the frame into `dst`: storageRows(kind, outputSize(...).y) rows,
  // `rowBytes` apart, each at least outputSize(...).x * pelBytes(kind) bytes
  // (bytes beyond that are zeroed).
  void render(PelKind kind, const RenderSpec& rs, unsigned char* dst, long rowBytes);

  // Bytes held by the templates (for tests).
  std::size_t cachedBytes() const;

private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// One frame without keeping anything (a new generator per call).
void render(PelKind kind, const RenderSpec& rs, unsigned char* dst, long rowBytes);

}  // namespace qrn_sim
