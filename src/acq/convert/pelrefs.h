// Pieces shared by the reference and the accelerated pel kernels.
#pragma once

#include <qrn/acq/convert/pelkernels.h>

namespace qrn_pel {

// Pel i of a row whose first packing group starts at base.
unsigned refPel(qe_PelPacking p, const unsigned char* base, long i);

// The smallest run of pels that starts and ends on a byte (Mono16: one pel).
struct PackingGroup {
  long pels, bytes;
};
PackingGroup packingGroup(qe_PelPacking p);

// Where row r starts: its packing group and the row's first pel in it (not 0
// only for rows that follow one another without padding).
struct RowStart {
  const unsigned char* base;
  long phase;
};
RowStart rowStart(const qs_PackedImage& s, long r);

// BT.601 weights in 13-bit fixed point (see qf_colourToRGB32Ref).
struct YuvWeights {
  int y, y0, rv, gu, gv, bu;
};
const YuvWeights& yuvWeights(qe_YuvRange r);

// Component values (red, green, blue) of pel (c, r).
void refColour(const qs_ColourImage& s, long r, long c, unsigned rgb[3]);

// Row r of a plane.
template <class T>
inline T* rowOf(qs_RawPlane<T> p, long r) {
  return reinterpret_cast<T*>(reinterpret_cast<unsigned char*>(p.data) + p.stride * r);
}

}  // namespace qrn_pel
