// Reference Bayer kernels: these define the results of every conversion.
//
// Demosaicing runs in one pass over the source.  Each source row is split
// horizontally into two full rows, its green row and its red (or blue) row;
// a missing colour is the rounded mean of its left and right neighbours, and
// at the first and last column the single neighbour.  Split values go through
// the white-balance tables when there are any.  Output row r then takes
//   green: the mean of (the mean of the green rows r-1 and r+1) and green row
//          r; row 0 copies green row 0 (phaseY 0) or 1 (phaseY 1), the last
//          row copies the last green row;
//   the colour that row r carries: its own split row;
//   the other colour: the mean of rows r-1 and r+1 (row 1 for row 0, row
//          H-2 for the last row).
// The split rows of r-1, r and r+1 live in a ring of three slots.
#include <qrn/acq/convert/bayerkernels.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

inline unsigned char avg(unsigned a, unsigned b) { return static_cast<unsigned char>((a + b + 1) >> 1); }

// The split of one source row: its green row and its other colour's row.
struct SplitRow {
  std::vector<unsigned char> green, other;
};

class RefDemosaic {
public:
  RefDemosaic(const qs_BayerMosaic& s, const unsigned char* const* luts)
      : s_(s), luts_(luts), red_(s.width), green_(s.width), blue_(s.width) {
    for (auto& slot : ring_) {
      slot.green.resize(s.width);
      slot.other.resize(s.width);
    }
  }

  // Calls sink(row, red, green, blue) for every output row in order.
  template <class Sink>
  void run(Sink&& sink) {
    const long W = s_.width, H = s_.height;
    split(0);
    split(1);
    for (long r = 0; r < H; ++r) {
      if (r >= 1 && r + 1 < H) split(r + 1);
      const bool carriesRed = ((r + s_.phaseY) & 1) == 0;
      unsigned char* own = carriesRed ? red_.data() : blue_.data();
      unsigned char* other = carriesRed ? blue_.data() : red_.data();
      const SplitRow& cur = at(r);
      if (r == 0) {
        const SplitRow& next = at(1);
        std::copy_n((s_.phaseY == 0 ? cur : next).green.data(), W, green_.data());
        std::copy_n(next.other.data(), W, other);
      } else if (r == H - 1) {
        std::copy_n(cur.green.data(), W, green_.data());
        std::copy_n(at(r - 1).other.data(), W, other);
      } else {
        const SplitRow& up = at(r - 1);
        const SplitRow& down = at(r + 1);
        for (long c = 0; c < W; ++c) {
          green_[c] = avg(avg(up.green[c], down.green[c]), cur.green[c]);
          other[c] = avg(up.other[c], down.other[c]);
        }
      }
      std::copy_n(cur.other.data(), W, own);
      sink(r, red_.data(), green_.data(), blue_.data());
    }
  }

private:
  SplitRow& at(long row) { return ring_[row % 3]; }

  void split(long row) {
    const long W = s_.width;
    const unsigned char* p = s_.data + row * s_.stride;
    SplitRow& out = at(row);
    const long y = row + s_.phaseY;
    // Column c holds green when c + phaseX + y is even.
    const long greenParity = (s_.phaseX + y) & 1;
    const unsigned char* lutG = luts_ ? luts_[1] : nullptr;
    const unsigned char* lutO = luts_ ? luts_[(y & 1) == 0 ? 0 : 2] : nullptr;
    for (long c = 0; c < W; ++c) {
      const unsigned here = p[c];
      unsigned missing;
      if (c == 0)
        missing = p[1];
      else if (c == W - 1)
        missing = p[W - 2];
      else
        missing = avg(p[c - 1], p[c + 1]);
      const bool greenHere = ((c & 1) == greenParity);
      unsigned g = greenHere ? here : missing;
      unsigned o = greenHere ? missing : here;
      out.green[c] = static_cast<unsigned char>(lutG ? lutG[g] : g);
      out.other[c] = static_cast<unsigned char>(lutO ? lutO[o] : o);
    }
  }

  const qs_BayerMosaic& s_;
  const unsigned char* const* luts_;
  SplitRow ring_[3];
  std::vector<unsigned char> red_, green_, blue_;
};

template <class T>
T* rowOf(qs_RawPlane<T> p, long r) {
  return reinterpret_cast<T*>(reinterpret_cast<unsigned char*>(p.data) + r * p.stride);
}
template <class T>
const T* rowOf(qs_RawPlane<const T> p, long r) {
  return reinterpret_cast<const T*>(reinterpret_cast<const unsigned char*>(p.data) + r * p.stride);
}

}  // namespace

qs_GreyWeights qf_greyWeights(double red, double green, double blue) {
  auto fix = [](double w) {
    const double v = std::floor(w * 256.0 + 0.5);
    if (!(v > 0)) return 0;  // negative and NaN weights count as 0
    return v > 511 ? 511 : static_cast<int>(v);
  };
  return {fix(red), fix(green), fix(blue)};
}

void qf_bayerWhiteBalanceTable(double scale, unsigned char table[256]) {
  for (int i = 0; i < 256; ++i) {
    const double v = std::floor(i * scale + 0.5);
    table[i] = static_cast<unsigned char>(v >= 255 ? 255 : (v > 0 ? v : 0));
  }
}

void qf_bayerRefPlanes(const qs_BayerMosaic& src, const unsigned char* const* luts, qs_RawPlane8 red,
                       qs_RawPlane8 green, qs_RawPlane8 blue) {
  const long W = src.width;
  RefDemosaic(src, luts).run([&](long r, const unsigned char* R, const unsigned char* G, const unsigned char* B) {
    std::copy_n(R, W, rowOf(red, r));
    std::copy_n(G, W, rowOf(green, r));
    std::copy_n(B, W, rowOf(blue, r));
  });
}

void qf_bayerRefGrey(const qs_BayerMosaic& src, const qs_GreyWeights& w, qs_RawPlane8 dst) {
  const long W = src.width;
  RefDemosaic(src, nullptr).run([&](long r, const unsigned char* R, const unsigned char* G, const unsigned char* B) {
    unsigned char* d = rowOf(dst, r);
    for (long c = 0; c < W; ++c) {
      const unsigned v = (R[c] * unsigned(w.r) + G[c] * unsigned(w.g) + B[c] * unsigned(w.b)) >> 8;
      d[c] = static_cast<unsigned char>(v > 255 ? 255 : v);
    }
  });
}

void qf_bayerRefRGB16(const qs_BayerMosaic& src, const unsigned char* const* luts, qs_RawPlane<std::uint16_t> dst) {
  const long W = src.width;
  RefDemosaic(src, luts).run([&](long r, const unsigned char* R, const unsigned char* G, const unsigned char* B) {
    std::uint16_t* d = rowOf(dst, r);
    for (long c = 0; c < W; ++c) d[c] = qf_bayerPackRGB16(R[c], G[c], B[c]);
  });
}

void qf_bayerRefRGB32(const qs_BayerMosaic& src, const unsigned char* const* luts, qs_RawPlane<std::uint32_t> dst) {
  const long W = src.width;
  RefDemosaic(src, luts).run([&](long r, const unsigned char* R, const unsigned char* G, const unsigned char* B) {
    std::uint32_t* d = rowOf(dst, r);
    for (long c = 0; c < W; ++c) d[c] = qf_bayerPackRGB32(R[c], G[c], B[c]);
  });
}

void qf_bayerRefSubsample(qs_RawPlaneC8 src, long width, long height, qs_RawPlane8 p00, qs_RawPlane8 p10,
                          qs_RawPlane8 p01, qs_RawPlane8 p11) {
  for (long r = 0; r < height; ++r) {
    const unsigned char* s = rowOf(src, r);
    unsigned char* ev = rowOf((r & 1) ? p01 : p00, r / 2);
    unsigned char* od = rowOf((r & 1) ? p11 : p10, r / 2);
    for (long c = 0; c + 1 < width; c += 2) {
      ev[c / 2] = s[c];
      od[c / 2] = s[c + 1];
    }
  }
}

void qf_bayerRefSums(qs_RawPlaneC8 src, long width, long height, std::uint64_t sums[4]) {
  sums[0] = sums[1] = sums[2] = sums[3] = 0;
  for (long r = 0; r < height; ++r) {
    const unsigned char* s = rowOf(src, r);
    std::uint64_t* rs = sums + ((r & 1) ? 2 : 0);
    for (long c = 0; c < width; ++c) rs[c & 1] += s[c];
  }
}
