// Pixel buffers: storage, windows, sharing, copy/move, packing, histograms.
#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <thread>
#include <vector>

#include <qrn/foundation/pelbuffer.h>

namespace {

// Fills a buffer with a pattern that differs at every pel.
template <class T>
T patternPel(long x, long y) {
  const unsigned v = static_cast<unsigned>(x * 7 + y * 13 + 1);
  if constexpr (std::is_same_v<T, qcPackedRGB16Pel>)
    return qcPackedRGB16Pel::fromBits(static_cast<std::uint16_t>(v * 2654435761u >> 16));
  else if constexpr (std::is_same_v<T, qcPackedRGB32Pel>)
    return qcPackedRGB32Pel(static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 3),
                            static_cast<unsigned char>(v * 5), static_cast<unsigned char>(v + 9));
  else if constexpr (std::is_same_v<T, qc3PlanePel>)
    return qc3PlanePel(static_cast<unsigned char>(v), static_cast<unsigned char>(v * 3),
                       static_cast<unsigned char>(v >> 1));
  else
    return static_cast<T>(v);
}

template <class T>
void fill(const qcPelBuffer<T>& b) {
  for (long y = 0; y < b.height(); ++y)
    for (long x = 0; x < b.width(); ++x) b.set(x, y, patternPel<T>(x, y));
}

template <class T>
class PelTypes : public ::testing::Test {};
using AllPels = ::testing::Types<unsigned char, unsigned short, qcPackedRGB16Pel, qcPackedRGB32Pel, qc3PlanePel>;
TYPED_TEST_SUITE(PelTypes, AllPels);

// An object that maps nothing: only its identity matters to the buffers.
class IdentityXform : public qc2XformBase {
public:
  qcPair<double> mapPoint(const qcPair<double>& p) const override { return p; }
  qcPair<double> invMapPoint(const qcPair<double>& p) const override { return p; }
};

// A root that says its pels live outside the process, as a driver's would.
template <class T>
qcPtrHandle<qcPelRoot<T>> remoteRoot(long w, long h) {
  qcPtrHandle<qcPelRoot<T>> r(new qcPelRoot<T>(w, h));
  r->local(false);
  return r;
}

}  // namespace

// ---------------------------------------------------------------------------
// Pel types
// ---------------------------------------------------------------------------

TEST(PelTypesLayout, PackedRGB16FieldsAndWidening) {
  const qcPackedRGB16Pel p(0xFF, 0x00, 0xFF);
  EXPECT_EQ(p.bits(), 0xF81F);
  EXPECT_EQ(qcPackedRGB16Pel(0x00, 0xFF, 0x00).bits(), 0x07E0);
  EXPECT_EQ(qcPackedRGB16Pel(0x87, 0x43, 0x21).bits(), (0x10u << 11) | (0x10u << 5) | 0x04u);
  EXPECT_EQ(p.r(), 255);
  EXPECT_EQ(p.g(), 0);
  EXPECT_EQ(p.b(), 255);
  // Widening then packing again gives back every one of the 65536 pels.
  for (unsigned v = 0; v < 65536; ++v) {
    const auto q = qcPackedRGB16Pel::fromBits(static_cast<std::uint16_t>(v));
    ASSERT_EQ(qcPackedRGB16Pel(q.r(), q.g(), q.b()).bits(), v);
  }
}

TEST(PelTypesLayout, PackedRGB32IsBlueGreenRedAlphaInMemory) {
  const qcPackedRGB32Pel p(1, 2, 3, 4);
  unsigned char bytes[4];
  std::memcpy(bytes, &p, 4);
  EXPECT_EQ(bytes[0], 3);
  EXPECT_EQ(bytes[1], 2);
  EXPECT_EQ(bytes[2], 1);
  EXPECT_EQ(bytes[3], 4);
  EXPECT_EQ(qcPackedRGB32Pel(9, 8, 7).alpha(), 0);
}

// ---------------------------------------------------------------------------
// Allocation
// ---------------------------------------------------------------------------

TYPED_TEST(PelTypes, AllocationAlignsRowsAndZeroFills) {
  using T = TypeParam;
  struct Case {
    long w, h, alignment, slack;
    std::uintptr_t expectAlign;
  };
  for (const Case& c : {Case{1, 1, 0, 0, 32}, Case{3, 5, 0, 0, 32}, Case{33, 4, 0, 8, 32}, Case{100, 3, 8, 0, 8},
                        Case{17, 2, 64, 3, 64}}) {
    SCOPED_TRACE(c.w);
    qcPelBuffer<T> b(c.w, c.h, c.alignment, c.slack);
    ASSERT_TRUE(b.isBound());
    EXPECT_EQ(b.width(), c.w);
    EXPECT_EQ(b.height(), c.h);
    EXPECT_GE(b.rowUpdate(), c.w + c.slack);
    EXPECT_EQ(b.window(), qcPelRect(0, 0, c.w, c.h));
    EXPECT_EQ(b.offset(), qcPair<long>(0, 0));
    EXPECT_TRUE(b.root()->ownsMemory());
    EXPECT_TRUE(b.isLocal());
    for (long y = 0; y < c.h; ++y) {
      EXPECT_EQ(reinterpret_cast<std::uintptr_t>(b.rowPointer(y)) % c.expectAlign, 0u) << "row " << y;
      EXPECT_EQ(b.rowPointer(y), b.root()->rowPointer(y));
      for (long x = 0; x < c.w; ++x) ASSERT_EQ(b.get(x, y), T()) << x << "," << y;
    }
  }
}

TEST(PelAllocation, BadSizesThrow) {
  using B = qcPelBuffer<unsigned char>;
  EXPECT_THROW(B(-1, 4), qc_PelBuffer::BadSize);
  EXPECT_THROW(B(4, -1), qc_PelBuffer::BadSize);
  EXPECT_THROW(B(4, 4, 0, -1), qc_PelBuffer::BadSize);
  EXPECT_THROW(B(4, 4, 3), qc_PelBuffer::BadSize);   // not a power of two
  EXPECT_THROW(B(4, 4, -8), qc_PelBuffer::BadSize);
  EXPECT_THROW(B(1L << 40, 1L << 40), qc_PelBuffer::BadSize);  // overflows
  EXPECT_THROW(qcPelBuffer<qcPackedRGB32Pel>(1L << 61, 1), qc_PelBuffer::BadSize);
  // A zero-size buffer is bound but has no pels.
  B empty(0, 5);
  EXPECT_TRUE(empty.isBound());
  EXPECT_EQ(empty.height(), 5);
  EXPECT_THROW(empty.get(0, 0), qc_PelBuffer::BadPosition);
}

TEST(PelAllocation, WrapsCallerMemoryWithoutOwningIt) {
  std::vector<unsigned short> mem(10 * 4, 7);
  int released = 0;
  {
    qcPtrHandle<qcPelRoot<unsigned short>> root(
        new qcPelRoot<unsigned short>(mem.data(), 6, 4, 10, [&released] { ++released; }));
    EXPECT_FALSE(root->ownsMemory());
    qcPelBuffer<unsigned short> b(root);
    root.reset();
    EXPECT_EQ(b.rowUpdate(), 10);
    EXPECT_EQ(b.rowPointer(2), mem.data() + 20);
    b.set(5, 3, 99);
    EXPECT_EQ(mem[3 * 10 + 5], 99);
    qcPelBuffer<unsigned short> copy = b;
    b.unbind();
    EXPECT_EQ(released, 0);  // copy still holds the root
  }
  EXPECT_EQ(released, 1);
  EXPECT_EQ(mem[35], 99);  // memory untouched by the root's death
}

TEST(PelAllocation, EmptyBuffersHaveNoPelsButWork) {
  qcPelBuffer<unsigned char> thin(0, 5), flat(7, 0);
  EXPECT_EQ(thin.rowPointer(3), nullptr);
  EXPECT_EQ(qcHistoStats(qfPelHistogram(thin)).count(), 0);
  qfPelCopy(flat, qcPelBuffer<unsigned char>(7, 0));
  qcPelBuffer<unsigned char> full(4, 4);
  const auto corner = full.window(4, 4, 0, 0);
  EXPECT_EQ(corner.rowPointer(0), nullptr);
  qcPelBuffer<qcPackedRGB32Pel> packed;
  qfRGBPack(thin, thin, thin, packed);
  EXPECT_EQ(packed.size(), qcPair<long>(0, 5));
}

TEST(PelAllocation, WrapRejectsBadLayout) {
  std::vector<unsigned short> mem(64);
  using R = qcPelRoot<unsigned short>;
  EXPECT_THROW(R(mem.data(), 8, 2, 7), qc_PelBuffer::BadSize);      // rowUpdate < width
  EXPECT_THROW(R(nullptr, 8, 2, 8), qc_PelBuffer::BadSize);         // no memory
  EXPECT_THROW(R(mem.data(), -1, 2, 8), qc_PelBuffer::BadSize);
  auto* odd = reinterpret_cast<unsigned short*>(reinterpret_cast<char*>(mem.data()) + 1);
  EXPECT_THROW(R(odd, 4, 2, 4), qc_PelBuffer::BadSize);             // misaligned
}

// ---------------------------------------------------------------------------
// Windows and offsets
// ---------------------------------------------------------------------------

TYPED_TEST(PelTypes, NestedWindowsShareTheRootAndAddOffsets) {
  using T = TypeParam;
  qcPelBuffer<T> b(20, 16);
  fill(b);
  b.offset(100, 200);
  qcPtrHandle_const<qc2XformBase> xf(new IdentityXform);
  b.xform(xf);

  qcPelBuffer<T> w1 = b.window(3, 2, 12, 10);
  qcPelBuffer<T> w2 = w1.window(4, 5, 6, 4);
  EXPECT_EQ(w1.window(), qcPelRect(3, 2, 12, 10));
  EXPECT_EQ(w2.window(), qcPelRect(7, 7, 6, 4));
  EXPECT_EQ(w2.offset(), qcPair<long>(107, 207));
  EXPECT_EQ(w2.xform(), xf);
  EXPECT_EQ(w2.rowUpdate(), b.rowUpdate());
  EXPECT_EQ(w2.root().ptr(), b.root().ptr());
  for (long y = 0; y < w2.height(); ++y)
    for (long x = 0; x < w2.width(); ++x) ASSERT_EQ(w2.get(x, y), patternPel<T>(x + 7, y + 7));
  // Writing through the window is seen by the whole buffer.
  w2.set(0, 0, patternPel<T>(0, 0));
  EXPECT_EQ(b.get(7, 7), patternPel<T>(0, 0));
  EXPECT_EQ(w2.pelPointer(1, 1), b.pelPointer(8, 8));
}

TEST(PelWindows, OutOfRangeWindowsThrow) {
  qcPelBuffer<unsigned char> b(10, 8);
  const auto w = b.window(2, 2, 6, 4);
  struct Case {
    long x, y, w, h;
  };
  for (const Case& c : {Case{-1, 0, 2, 2}, Case{0, -1, 2, 2}, Case{0, 0, -1, 2}, Case{0, 0, 2, -1}, Case{5, 0, 2, 2},
                        Case{0, 3, 2, 2}, Case{0, 0, 7, 1}, Case{6, 4, 1, 1}, Case{1L << 62, 0, 1L << 62, 1}}) {
    SCOPED_TRACE(::testing::Message() << c.x << "," << c.y << "," << c.w << "," << c.h);
    EXPECT_THROW(w.window(c.x, c.y, c.w, c.h), qc_PelBuffer::BadWindow);
  }
  // The inner window's limits are its own, not the root's.
  EXPECT_NO_THROW(w.window(0, 0, 6, 4));
  EXPECT_NO_THROW(w.window(6, 4, 0, 0));  // empty window at the far corner
  EXPECT_THROW(qcPelBuffer<unsigned char>().window(0, 0, 0, 0), qc_PelBuffer::NotBound);
  EXPECT_THROW(qcPelBuffer<unsigned char>(b.root(), qcPelRect(5, 5, 6, 1)), qc_PelBuffer::BadWindow);
  EXPECT_THROW(qcPelBuffer<unsigned char>(qcPtrHandle<qcPelRoot<unsigned char>>(), qcPelRect(0, 0, 1, 1)),
               qc_PelBuffer::NotBound);
}

TEST(PelWindows, PelAccessIsChecked) {
  qcPelBuffer<unsigned char> b(4, 3);
  const auto w = b.window(1, 1, 2, 2);
  EXPECT_THROW(w.get(2, 0), qc_PelBuffer::BadPosition);
  EXPECT_THROW(w.get(0, -1), qc_PelBuffer::BadPosition);
  EXPECT_THROW(w.set(0, 2, 1), qc_PelBuffer::BadPosition);
  EXPECT_THROW(qcPelBuffer<unsigned char>().get(0, 0), qc_PelBuffer::NotBound);
  try {
    w.get(5, 5);
    FAIL();
  } catch (const qc_PelBuffer::Errors& e) {
    EXPECT_EQ(e.errorNumber(), 0x10000123u);
    EXPECT_EQ(e.className(), "qc_PelBuffer::BadPosition");
    EXPECT_NE(e.info().find("(5, 5)"), std::string::npos);
  }
}

// ---------------------------------------------------------------------------
// Shared roots
// ---------------------------------------------------------------------------

TEST(PelSharing, CopiesAndConstViewsShareOneRoot) {
  qcPelBuffer<unsigned short> a(5, 5);
  EXPECT_EQ(a.root().refCount(), 2);  // a and the temporary handle
  qcPelBuffer<unsigned short> b = a;
  qcPelBuffer_const<unsigned short> c = a;
  std::unique_ptr<qc_PelBuffer> d(a.clone());
  EXPECT_EQ(a.root()->refCount(), 5);
  b.set(1, 2, 4242);
  EXPECT_EQ(a.get(1, 2), 4242);
  EXPECT_EQ(c.get(1, 2), 4242);
  EXPECT_EQ(d->untypedRoot(), a.untypedRoot());
  EXPECT_NE(dynamic_cast<qcPelBuffer<unsigned short>*>(d.get()), nullptr);

  // The root outlives every buffer but the last.
  qcPtrHandle_const<qcPelRoot<unsigned short>> root = c.root();
  a = qcPelBuffer<unsigned short>();
  b.unbind();
  d.reset();
  EXPECT_FALSE(a.isBound());
  EXPECT_EQ(a.width(), 0);
  EXPECT_EQ(root->refCount(), 2);
  EXPECT_EQ(c.get(1, 2), 4242);
}

TEST(PelSharing, RootDiesOnceWhenThreadsDropTheirCopies) {
  std::vector<unsigned char> mem(64 * 64, 1);
  std::atomic<int> released{0};
  std::vector<std::thread> threads;
  {
    qcPelBuffer<unsigned char> b(qcPtrHandle<qcPelRoot<unsigned char>>(
        new qcPelRoot<unsigned char>(mem.data(), 64, 64, 64, [&released] { ++released; })));
    for (int t = 0; t < 4; ++t)
      threads.emplace_back([b, t] {
        for (int i = 0; i < 2000; ++i) {
          qcPelBuffer_const<unsigned char> w = b.window(t, i % 32, 16, 16);
          qcPelBuffer_const<unsigned char> c = w;
          if (c.get(0, 0) != 1) std::abort();
        }
      });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(released.load(), 1);
}

// ---------------------------------------------------------------------------
// Copy and move
// ---------------------------------------------------------------------------

TYPED_TEST(PelTypes, CopyChecksSizesAndHandlesOverlap) {
  using T = TypeParam;
  qcPelBuffer<T> src(9, 7);
  fill(src);
  qcPelBuffer<T> dst(4, 3);
  qfPelCopy(src.window(2, 3, 4, 3), dst);
  for (long y = 0; y < 3; ++y)
    for (long x = 0; x < 4; ++x) ASSERT_EQ(dst.get(x, y), patternPel<T>(x + 2, y + 3));
  EXPECT_EQ(dst.offset(), qcPair<long>(0, 0));  // pels only

  EXPECT_THROW(qfPelCopy(src, dst), qc_PelBuffer::SizeMismatch);
  EXPECT_THROW(qfPelCopy(qcPelBuffer_const<T>(), dst), qc_PelBuffer::NotBound);
  EXPECT_THROW(qfPelCopy(src, qcPelBuffer<T>()), qc_PelBuffer::NotBound);

  // Overlapping windows of one root, in both directions.
  for (bool down : {true, false}) {
    fill(src);
    const auto from = down ? src.window(0, 0, 6, 5) : src.window(2, 2, 6, 5);
    const auto to = down ? src.window(1, 2, 6, 5) : src.window(1, 0, 6, 5);
    const long fx = down ? 0 : 2, fy = down ? 0 : 2;
    qfPelCopy(from, to);
    for (long y = 0; y < 5; ++y)
      for (long x = 0; x < 6; ++x) ASSERT_EQ(to.get(x, y), patternPel<T>(x + fx, y + fy)) << down << x << y;
  }
}

TYPED_TEST(PelTypes, MoveCopiesOnlyNonLocalRoots) {
  using T = TypeParam;
  qcPelBuffer<T> local(6, 4);
  fill(local);
  const auto same = qfPelMove(local, 0);
  EXPECT_EQ(same.root().ptr(), local.root().ptr());

  qcPelBuffer<T> remote(remoteRoot<T>(10, 8));
  fill(remote);
  qcPelBuffer<T> win = remote.window(3, 2, 5, 4);
  win.offset(40, 50);
  qcPtrHandle_const<qc2XformBase> xf(new IdentityXform);
  win.xform(xf);
  EXPECT_FALSE(win.isLocal());

  const qcPelBuffer<T> moved = qfPelMove(win, 0);
  EXPECT_TRUE(moved.isLocal());
  EXPECT_NE(moved.root().ptr(), remote.root().ptr());
  EXPECT_EQ(moved.size(), win.size());
  EXPECT_EQ(moved.window(), qcPelRect(0, 0, 5, 4));
  EXPECT_EQ(moved.offset(), qcPair<long>(40, 50));
  EXPECT_EQ(moved.xform(), xf);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(moved.rowPointer(1)) % 32, 0u);
  for (long y = 0; y < 4; ++y)
    for (long x = 0; x < 5; ++x) ASSERT_EQ(moved.get(x, y), patternPel<T>(x + 3, y + 2));
  // The copy is independent of the remote pels.
  remote.set(3, 2, T());
  EXPECT_EQ(moved.get(0, 0), patternPel<T>(3, 2));

  EXPECT_FALSE(qfPelMove(qcPelBuffer<T>(), 0).isBound());
}

TEST(PelMove, ThreePlaneMoveCopiesWhenAnyPlaneIsRemote) {
  qcPelBuffer<unsigned char> p0(4, 4), p1(remoteRoot<unsigned char>(4, 4)), p2(4, 4);
  fill(p0);
  fill(p1);
  fill(p2);
  qc3PlanePelBuffer b(p0, p1, p2, qc3PlanePelBuffer::YUV);
  EXPECT_FALSE(b.isLocal());
  const auto m = qfPelMove(b, 0);
  EXPECT_TRUE(m.isLocal());
  EXPECT_EQ(m.colorSpace(), qc3PlanePelBuffer::YUV);
  EXPECT_EQ(m.get(3, 2), b.get(3, 2));
  EXPECT_NE(m.plane1().root().ptr(), p1.root().ptr());
  const qc3PlanePelBuffer localOnly(4, 4);
  EXPECT_EQ(qfPelMove(localOnly, 0).plane0().root().ptr(), localOnly.plane0().root().ptr());
}

// ---------------------------------------------------------------------------
// Three-plane buffers
// ---------------------------------------------------------------------------

TEST(Pel3Plane, WindowsAndOffsetsApplyToAllPlanes) {
  qc3PlanePelBuffer b(8, 6);
  EXPECT_EQ(b.colorSpace(), qc3PlanePelBuffer::RGB);
  for (long y = 0; y < 6; ++y)
    for (long x = 0; x < 8; ++x) b.set(x, y, patternPel<qc3PlanePel>(x, y));
  b.offset(10, 20);
  EXPECT_EQ(b.plane2().offset(), qcPair<long>(10, 20));

  const qc3PlanePelBuffer w = b.window(2, 1, 4, 3).window(1, 1, 2, 2);
  EXPECT_EQ(w.size(), qcPair<long>(2, 2));
  EXPECT_EQ(w.offset(), qcPair<long>(13, 22));
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(w.plane(i).window(), qcPelRect(3, 2, 2, 2));
    EXPECT_EQ(w.plane(i).offset(), qcPair<long>(13, 22));
  }
  EXPECT_EQ(w.get(1, 1), patternPel<qc3PlanePel>(4, 3));
  EXPECT_EQ(w.plane1().get(1, 1), patternPel<qc3PlanePel>(4, 3).c1);
  EXPECT_THROW(b.window(5, 0, 4, 1), qc_PelBuffer::BadWindow);
  EXPECT_THROW(b.plane(3), qc_PelBuffer::BadPosition);
  EXPECT_THROW(qc3PlanePelBuffer().window(0, 0, 0, 0), qc_PelBuffer::NotBound);
}

TEST(Pel3Plane, JoiningPlanesChecksTheirSizes) {
  qcPelBuffer<unsigned char> a(4, 3), b(4, 3), c(3, 4);
  a.offset(5, 6);
  EXPECT_THROW(qc3PlanePelBuffer(a, b, c), qc_PelBuffer::SizeMismatch);
  EXPECT_THROW(qc3PlanePelBuffer(a, b, qcPelBuffer<unsigned char>()), qc_PelBuffer::SizeMismatch);
  const qc3PlanePelBuffer j(a, b, b);
  EXPECT_EQ(j.offset(), qcPair<long>(5, 6));
  EXPECT_EQ(j.plane1().offset(), qcPair<long>(5, 6));
  EXPECT_EQ(j.plane1().root().ptr(), b.root().ptr());
  const qcPelBuffer<unsigned char> unbound;
  const qc3PlanePelBuffer none(unbound, unbound, unbound);
  EXPECT_FALSE(none.isBound());
}

// ---------------------------------------------------------------------------
// Packing
// ---------------------------------------------------------------------------

TEST(PelPack, RGB32RoundTripIsExact) {
  qc3PlanePelBuffer src(7, 5);
  for (long y = 0; y < 5; ++y)
    for (long x = 0; x < 7; ++x) src.set(x, y, patternPel<qc3PlanePel>(x, y));
  src.offset(3, 4);
  qcPelBuffer<qcPackedRGB32Pel> packed;
  qfRGBPack(src, packed, 0x80);
  ASSERT_EQ(packed.size(), src.size());
  EXPECT_EQ(packed.offset(), qcPair<long>(3, 4));
  const qc3PlanePel p = src.get(6, 4);
  EXPECT_EQ(packed.get(6, 4), qcPackedRGB32Pel(p.c0, p.c1, p.c2, 0x80));

  qc3PlanePelBuffer back;
  qfRGBUnpack(packed, back);
  EXPECT_EQ(back.colorSpace(), qc3PlanePelBuffer::RGB);
  EXPECT_EQ(back.offset(), qcPair<long>(3, 4));
  for (long y = 0; y < 5; ++y)
    for (long x = 0; x < 7; ++x) ASSERT_EQ(back.get(x, y), src.get(x, y));
}

TEST(PelPack, RGB16KeepsTheHighBits) {
  qcPelBuffer<unsigned char> r(3, 2), g(3, 2), b(3, 2);
  fill(r);
  fill(g);
  fill(b);
  g.set(2, 1, 0xFF);
  qcPelBuffer<qcPackedRGB16Pel> packed;
  qfRGBPack(r, g, b, packed);
  qc3PlanePelBuffer back;
  qfRGBUnpack(packed, back);
  for (long y = 0; y < 2; ++y)
    for (long x = 0; x < 3; ++x) {
      ASSERT_EQ(back.plane0().get(x, y) >> 3, r.get(x, y) >> 3);
      ASSERT_EQ(back.plane1().get(x, y) >> 2, g.get(x, y) >> 2);
      ASSERT_EQ(back.plane2().get(x, y) >> 3, b.get(x, y) >> 3);
    }
  EXPECT_EQ(back.plane1().get(2, 1), 0xFF);
  // Packing the unpacked image again gives the same pels.
  qcPelBuffer<qcPackedRGB16Pel> again;
  qfRGBPack(back, again);
  for (long y = 0; y < 2; ++y)
    for (long x = 0; x < 3; ++x) ASSERT_EQ(again.get(x, y), packed.get(x, y));
}

TEST(PelPack, DestinationIsReusedOnlyWhenItFits) {
  qcPelBuffer<unsigned char> r(4, 4), g(4, 4), b(4, 4);
  qcPelBuffer<qcPackedRGB32Pel> big(10, 10);
  qcPelBuffer<qcPackedRGB32Pel> fits = big.window(2, 2, 4, 4);
  r.set(0, 0, 11);
  qfRGBPack(r, g, b, fits, 1);
  EXPECT_EQ(fits.root().ptr(), big.root().ptr());
  EXPECT_EQ(big.get(2, 2), qcPackedRGB32Pel(11, 0, 0, 1));
  qcPelBuffer<qcPackedRGB32Pel> other = big;
  qfRGBPack(r, g, b, other);
  EXPECT_EQ(other.size(), qcPair<long>(4, 4));
  EXPECT_NE(other.root().ptr(), big.root().ptr());
  EXPECT_EQ(big.get(0, 0), qcPackedRGB32Pel());  // the old buffer is untouched

  EXPECT_THROW(qfRGBPack(r, g, qcPelBuffer<unsigned char>(4, 5), other), qc_PelBuffer::SizeMismatch);
  EXPECT_THROW(qfRGBPack(r, qcPelBuffer<unsigned char>(), b, other), qc_PelBuffer::NotBound);
  qc3PlanePelBuffer dst;
  EXPECT_THROW(qfRGBUnpack(qcPelBuffer<qcPackedRGB32Pel>(), dst), qc_PelBuffer::NotBound);
}

// ---------------------------------------------------------------------------
// Histograms
// ---------------------------------------------------------------------------

TEST(PelHistogram, StatsOfSmallKnownImages) {
  // Pels 1 2 2 / 3 10 2 / 7 7 7 in a window of a larger image.
  qcPelBuffer<unsigned char> img(5, 5);
  for (long y = 0; y < 5; ++y)
    for (long x = 0; x < 5; ++x) img.set(x, y, 200);
  const auto w = img.window(1, 1, 3, 3);
  const unsigned char v[9] = {1, 2, 2, 3, 10, 2, 7, 7, 7};
  for (int i = 0; i < 9; ++i) w.set(i % 3, i / 3, v[i]);

  const std::vector<long> h = qfPelHistogram(w);
  ASSERT_EQ(h.size(), 256u);
  EXPECT_EQ(h[2], 3);
  EXPECT_EQ(h[200], 0);
  const qcHistoStats s(h);
  EXPECT_EQ(s.count(), 9);
  EXPECT_EQ(s.min(), 1);
  EXPECT_EQ(s.max(), 10);
  EXPECT_DOUBLE_EQ(s.mean(), 41.0 / 9.0);
  EXPECT_EQ(s.median(), 3);  // sorted: 1 2 2 2 3 7 7 7 10
  EXPECT_EQ(s.mode(), 2);    // 2 and 7 three times each: the smaller
  double var = 0;
  for (unsigned char x : v) var += (x - 41.0 / 9.0) * (x - 41.0 / 9.0);
  EXPECT_NEAR(s.sdev(), std::sqrt(var / 9.0), 1e-12);

  // Even count: the lower median.
  EXPECT_EQ(qcHistoStats(std::vector<long>{0, 2, 0, 2}).median(), 1);
}

TEST(PelHistogram, SixteenBitAndEdgeCases) {
  qcPelBuffer<unsigned short> img(2, 2);
  img.set(0, 0, 65535);
  img.set(1, 0, 65535);
  img.set(0, 1, 1000);
  const auto h = qfPelHistogram(img);
  ASSERT_EQ(h.size(), 65536u);
  EXPECT_EQ(h[65535], 2);
  EXPECT_EQ(h[0], 1);
  const qcHistoStats s(h);
  EXPECT_EQ(s.min(), 0);
  EXPECT_EQ(s.max(), 65535);
  EXPECT_EQ(s.mode(), 65535);
  EXPECT_EQ(s.median(), 1000);
  EXPECT_DOUBLE_EQ(s.mean(), (2 * 65535.0 + 1000) / 4);

  const qcHistoStats none(std::vector<long>(256, 0));
  EXPECT_EQ(none.count(), 0);
  EXPECT_EQ(none.max(), 0);
  EXPECT_EQ(none.sdev(), 0.0);
  EXPECT_THROW(qcHistoStats(std::vector<long>{1, -1}), qcHistoStats::BadParams);
  EXPECT_THROW(qcHistoStats(std::vector<long>{LONG_MAX, 1}), qcHistoStats::BadParams);
  EXPECT_THROW(qfPelHistogram(qcPelBuffer_const<unsigned char>()), qc_PelBuffer::NotBound);
}

// ---------------------------------------------------------------------------
// Acquired images
// ---------------------------------------------------------------------------

TEST(PelAcqImage, HoldsOneBufferAndItsFormat) {
  const qcAcqImage empty;
  EXPECT_TRUE(empty.isEmpty());
  EXPECT_EQ(static_cast<int>(empty.imageFormat()), -1);
  EXPECT_EQ(empty.buffer(), nullptr);
  EXPECT_FALSE(empty.grey8().isBound());

  qcPelBuffer<qcPackedRGB32Pel> rgb(3, 3);
  qcPtrHandle<qcAcqImage> img(new qcAcqImage(rgb));
  EXPECT_FALSE(img->isEmpty());
  EXPECT_EQ(static_cast<int>(img->imageFormat()), 4);
  EXPECT_EQ(img->rgb32().root().ptr(), rgb.root().ptr());
  EXPECT_FALSE(img->grey8().isBound());
  EXPECT_FALSE(img->threePlane().isBound());
  EXPECT_TRUE(img->holds<qcPelBuffer<qcPackedRGB32Pel>>());
  EXPECT_EQ(img->buffer()->untypedRoot(), rgb.untypedRoot());

  struct Case {
    qcAcqImage image;
    int format;
  };
  const Case cases[] = {
      {qcAcqImage(qcPelBuffer<unsigned char>(1, 1)), 1},
      {qcAcqImage(qcPelBuffer<unsigned short>(1, 1)), 2},
      {qcAcqImage(qcPelBuffer<qcPackedRGB16Pel>(1, 1)), 3},
      {qcAcqImage(qc3PlanePelBuffer(1, 1)), 12},
      {qcAcqImage(qcPelBuffer<unsigned char>(1, 1), static_cast<qeImageFormat>(5)), 5},
  };
  for (const auto& c : cases) EXPECT_EQ(static_cast<int>(c.image.imageFormat()), c.format);
  EXPECT_TRUE(cases[3].image.threePlane().isBound());
  EXPECT_TRUE(qcAcqImage(qcPelBuffer<unsigned char>()).isEmpty());
}
