// Test images and the pel pipeline of the simulated frame grabber.
#pragma once

#include <cstddef>
#include <cstdint>
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

// The test image and its parameters.
struct Pattern {
  enum Type { gradient, checkerboard, color, bayerRG, bayerGR, bayerGB, bayerBG, twotap, flat } type = gradient;
  long checkerSize = 8;
  int flatValue = 128;
  double tapGain = 1.25;
  double tapOffset = -16;
};

// Parses a "TestImage" value; false when unknown.
bool parsePattern(const std::string& name, Pattern::Type& out);

// What one frame is rendered with.
struct RenderSpec {
  Pattern pattern;
  long frameWidth = 0, frameHeight = 0;  // the full frame
  qcPelRect roi;                         // within the frame, not empty
  long sampleX = 1, sampleY = 1;
  unsigned long frameNumber = 0;
  long numTaps = 1;
  double exposureScale = 1.0;
  const double* contrast = nullptr;      // per tap (4)
  const double* brightness = nullptr;    // per tap (4)
  const unsigned char (*lut)[256] = nullptr;  // per tap (4)
  bool incomplete = false;               // rows from the half down stay zero
  int component = -1;                    // grey pels of a colour scene: its red (0), green (1), blue (2), or luma (-1)
};

// The output size: the region of interest sampled.
qcPair<long> outputSize(const qcPelRect& roi, long sampleX, long sampleY);

// Renders the frame into `dst` (rows `rowBytes` apart; storageRows rows).
void render(PelKind kind, const RenderSpec& rs, unsigned char* dst, long rowBytes);

}  // namespace qrn_sim
