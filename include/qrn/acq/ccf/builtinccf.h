// Camera configurations defined in code, and the pixel clock synthesizer
// word.
//
// A qcBuiltInCCF takes CCF text lines one by one (each call one line of the
// CCF grammar, no comments) and, when its stored checksum is exactly the sum
// of those lines, registers the video format they describe.
//
// The synthesizer word (22 bits): bits 0-6 the reference divider minus 2,
// bits 7-9 the post-divider exponent M, bit 10 always set, bits 11-17 the
// feedback counter minus 3, bits 18-21 the VCO range index.  Frequencies are
// in MHz.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <cstdint>
#include <string>

#include <qrn/foundation/handle.h>

class qc_ccfFileInfo;

// A camera configuration file given as text by the program (line by line, with its checksum), made
// into a video format.
class qcBuiltInCCF {
public:
  // A configuration without lines and with stored checksum 0; the
  // destructor drops the lines (a registered format stays).
  qcBuiltInCCF();
  ~qcBuiltInCCF();
  // Not copyable.
  qcBuiltInCCF(const qcBuiltInCCF&) = delete;
  qcBuiltInCCF& operator=(const qcBuiltInCCF&) = delete;

  // Appends a text line with its line number.
  void addLine(const std::string& text, long lineNumber);
  // The stored checksum that createVideoFormat compares with the lines' sum.
  void setCheckSum(std::uint32_t value);
  // Accepted and without effect.
  void setTimeStamp(std::uint32_t, std::uint32_t) {}
  // Registers the format when the stored checksum equals the lines' sum
  // (deadc0de is no wildcard here).  A malformed line makes no format; no
  // exception leaves.  Returns whether a format was registered.
  bool createVideoFormat();

private:
  qc_ccfFileInfo& internal() { return *info_; }
  qcPtrHandle<qc_ccfFileInfo> info_;
};

// The synthesizer word for `frequency` from `reference`, or 0 outside 0.32 to
// 115.0 (or when no divider fits).
std::uint32_t qf_calcOscVal(double frequency, double reference);
// The frequency a word gives: (P'+3) * 2 * reference / (2^M * (Q'+2)).
double qf_calcOscFreq(std::uint32_t word, double reference);

QRN_API_END
