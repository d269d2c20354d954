// The short names of the image formats: the text form that qacq, the Python
// module and the GStreamer element show and accept ("grey8", "rgb32", ...).
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <string>

#include <qrn/acq/format/vidfmt.h>

// An image format and its short name.
struct qsImageFormatName {
  // The short name (lower case, static storage) and the format it names.
  const char* name;
  qeImageFormat format;
};
// Every named image format.
inline constexpr qsImageFormatName qcImageFormatNames[] = {
    {"grey8", qeImageFormat_Grey8},       {"grey16", qeImageFormat_Grey16},
    {"rgb16", qeImageFormat_PackedRGB16}, {"rgb32", qeImageFormat_PackedRGB32},
    {"raw8", qeImageFormat_Raw8},         {"raw16", qeImageFormat_Raw16},
    {"uyyvyy", qeImageFormat_UYYVYY},     {"uyvy", qeImageFormat_UYVY},
    {"uyv", qeImageFormat_UYV},           {"rgb24", qeImageFormat_RGB24},
    {"rgb48", qeImageFormat_RGB48},       {"3plane", qeImageFormat_3Plane},
    {"grey10", qeImageFormat_Grey10},     {"grey12", qeImageFormat_Grey12},
    {"bgr24", qeImageFormat_BGR24},       {"grey16be", qeImageFormat_Grey16BigEndian},
    {"grey14", qeImageFormat_Grey14},
};

// The short name of `f`, or "format<N>" for a format without one.
inline std::string qfImageFormatName(qeImageFormat f) {
  for (const qsImageFormatName& n : qcImageFormatNames)
    if (n.format == f) return n.name;
  return "format" + std::to_string(static_cast<int>(f));
}

QRN_API_END
