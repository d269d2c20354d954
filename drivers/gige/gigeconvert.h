// Camera pixel formats and the images they give.
//
// One table row per camera PixelFormat the driver takes: its size in the
// stream buffer, the image kinds it gives (and how strongly each is
// preferred), whether a kind is the stream buffer itself (lent, no copy), and
// the function that makes the other kinds from a frame.  A new format is a
// new row (and, when it needs one, a new make function); the FIFO only asks
// this file which format to set and how a frame becomes its image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include <qrn/acq/convert/bayer.h>
#include <qrn/acq/convert/pelkernels.h>
#include <qrn/acq/format/vidfmt.h>
#include <qrn/foundation/pelbuffer.h>

namespace qrn_gige {

// Pel kinds a FIFO delivers.
enum class Kind { grey8, grey16, raw8, rgb16, rgb32, planes3 };
inline constexpr Kind kAllKinds[] = {Kind::grey8, Kind::grey16, Kind::raw8, Kind::rgb16, Kind::rgb32, Kind::planes3};
inline constexpr std::size_t kKindCount = std::size(kAllKinds);
// Kinds of colour (made from a mosaic, RGB or YUV); the others are grey or raw.
inline constexpr bool isColour(Kind k) { return k == Kind::rgb16 || k == Kind::rgb32 || k == Kind::planes3; }

// A frame as it lies in its stream buffer.
struct FrameView {
  const unsigned char* data = nullptr;
  std::size_t size = 0;  // bytes at data
  long w = 0, h = 0;
  qcPair<long> offset;  // of the frame's first pel on the sensor
  // Bytes at the end of each row (the camera's padding, as its leader
  // reports it).  Without padding, rows of whole bytes follow one another
  // when the buffer holds h of them, else the rows follow one another bit for
  // bit (a packed row of width 641 ends inside a byte).
  long padX = 0;
};

// An image made from a frame: the member of the FIFO's kind is set.
struct MadeImage {
  qcPelBuffer<unsigned char> grey8;  // grey8 and raw8
  qcPelBuffer<unsigned short> grey16;
  qcPelBuffer<qcPackedRGB16Pel> rgb16;
  qcPelBuffer<qcPackedRGB32Pel> rgb32;
  qc3PlanePelBuffer planes3;
};

struct PelFormat;

// What a make function may keep from one frame to the next (one per FIFO,
// used under FrameConverter's lock).
struct MakeState {
  const PelFormat* format = nullptr;
  // Converts into its previous result when the application no longer holds
  // that image.
  qcBayerImageConverter bayer;
  // The 8-bit mosaic of a wider Bayer format (only read while it is
  // converted, so kept from one frame to the next).
  qcPelBuffer<unsigned char> mosaic8;
};

// Makes the image of `kind` from a frame of the row's format.
using MakeFn = void (*)(const FrameView& frame, Kind kind, MakeState& state, MadeImage& out);

// One camera PixelFormat.
struct PelFormat {
  const char* name;     // GenICam PixelFormat entry
  std::uint32_t pfnc;   // its numeric code: found by it when a camera names it otherwise
  int bitsPerPel;       // in the stream buffer
  qe_PelPacking packing;  // grey and mosaic formats: how the pels lie
  int pelBits;          // significant bits of a grey or mosaic pel (8 for 8-bit and colour formats)
  qe_ColourOrder order; // colour formats: byte order
  qe_YuvRange range;    // YUV formats: range
  // Preference of each kind (by Kind): 0 not given; else the offered format
  // of the lowest rank is the one a FIFO of that kind sets.
  int rank[kKindCount];
  // Kinds (bit 1 << Kind) whose images are the stream buffer itself.
  unsigned lent;
  MakeFn make;  // the other kinds given; null when every kind given is lent
  int bayerX, bayerY;  // phase of a mosaic's first pel (see bayerTypeOf), -1 when not a mosaic
};

// The rows, every format the driver takes.
const std::vector<PelFormat>& pelFormats();
// By name, else (code not 0) by numeric code; null when neither is known.
const PelFormat* findPelFormat(const std::string& name, std::int64_t code = 0);

// The image format of images of `k` made from `f` (grey 16 by the pel's
// significant bits), qeImageFormat_Unspecified for colour kinds.
qeImageFormat imageFormatOf(const PelFormat& f, Kind k);
// How an image of `k` is made from `f`, for people ("unpacked", "most
// significant 8 bits", "demosaiced", ...); "" when `f` does not give `k`.
std::string madeFrom(const PelFormat& f, Kind k);

// The offered format that gives `k`, "" when none.  codes, when not empty,
// are the numeric values of the offered names, in the same order.
std::string pixelFormatFor(const std::vector<std::string>& offered, Kind k,
                           const std::vector<std::int64_t>& codes = {});

// The converter's Bayer type (qcBayerImageConverter::BayerType) of an image
// in the mosaic format `pf` whose first pel lies at (x, y) of the pattern the
// name describes (an odd offset shifts the pattern); -1 for another name.
int bayerTypeOf(const std::string& pf, long x, long y);

// The per-frame conversion of one FIFO: a format and the kind it delivers.
class FrameConverter {
public:
  // Throws CouldNotCreate when the format does not give `kind`.  code: the
  // format's numeric value, for a name the table does not know.
  FrameConverter(const std::string& pixelFormat, Kind kind, std::int64_t code = 0);

  const PelFormat& format() const { return *state_.format; }
  Kind kind() const { return kind_; }
  // The images are the stream buffers themselves.
  bool lends() const { return lends_; }
  // Colour converted from a mosaic: regions keep even sizes, white balance.
  // The raw kinds of a mosaic (RAW8, grey 16) convert none, whether lent or
  // unpacked.
  bool fromMosaic() const { return isColour(kind_) && format().bayerX >= 0; }
  // The least a buffer of a w x h frame holds.
  std::size_t bytes(long w, long h) const;
  // The image format of completeAcq for grey and raw kinds.
  qeImageFormat imageFormat() const { return imageFormatOf(format(), kind_); }
  // Scales of converted colour; throws BadParams unless fromMosaic().
  void whiteBalance(double r, double g, double b);
  // Makes the image of the kind from the frame (the frame's pels are only
  // read during the call).  Not for lent kinds.
  void make(const FrameView& frame, MadeImage& out);

private:
  const Kind kind_;
  bool lends_ = false;
  std::mutex m_;
  MakeState state_;
};

}  // namespace qrn_gige
