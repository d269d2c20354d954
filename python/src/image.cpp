// Images as NumPy arrays without a copy, the image format names, and NumPy
// arrays as pixel buffers.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <new>
#include <utility>
#include <variant>
#include <vector>

#include "qrnpy.h"

namespace qrnpy {
namespace {

template <class T>
py::array view(const qcPelBuffer<T>& b, std::vector<py::ssize_t> shape, std::vector<py::ssize_t> strides,
               py::handle owner) {
  using Elem = std::conditional_t<sizeof(T) == 2, std::uint16_t, std::uint8_t>;
  if (!b.bytes_()) return py::array(py::dtype::of<Elem>(), shape, strides);  // no pels
  py::array a(py::dtype::of<Elem>(), std::move(shape), std::move(strides), b.bytes_(), owner);
  if (!b.isLocal()) py::detail::array_proxy(a.ptr())->flags &= ~py::detail::npy_api::NPY_ARRAY_WRITEABLE_;
  return a;
}

template <class T>
py::array view2(const qcPelBuffer<T>& b, py::handle owner) {
  return view(b, {b.height(), b.width()}, {b.rowBytes_(), static_cast<py::ssize_t>(sizeof(T))}, owner);
}

// True when the three planes lie at one distance from each other with one
// row pitch, so that one (3, h, w) array can stand over them.
bool planesInOneArray(const qc3PlanePelBuffer& b) {
  const auto& p0 = b.plane0();
  const auto& p1 = b.plane1();
  const auto& p2 = b.plane2();
  const auto a0 = reinterpret_cast<std::intptr_t>(p0.bytes_()), a1 = reinterpret_cast<std::intptr_t>(p1.bytes_()),
             a2 = reinterpret_cast<std::intptr_t>(p2.bytes_());
  return a0 && p0.rowBytes_() == p1.rowBytes_() && p1.rowBytes_() == p2.rowBytes_() && a1 - a0 == a2 - a1 &&
         a1 != a0;
}

py::object planes(const qc3PlanePelBuffer& b, py::handle owner) {
  const auto& p0 = b.plane0();
  const long h = b.height(), w = b.width();
  if (planesInOneArray(b)) {
    const auto step = reinterpret_cast<std::intptr_t>(b.plane1().bytes_()) - reinterpret_cast<std::intptr_t>(p0.bytes_());
    return view(p0, {3, h, w}, {step, p0.rowBytes_(), 1}, owner);
  }
  // Planes apart in memory (wrapImage joins them first, so only an image
  // made otherwise comes here): one copy into a new array.
  py::array_t<std::uint8_t> out({3L, h, w});
  auto r = out.mutable_unchecked<3>();
  const qcPelBuffer<unsigned char>* ps[3] = {&p0, &b.plane1(), &b.plane2()};
  for (int k = 0; k < 3; ++k)
    for (long y = 0; y < h; ++y) std::memcpy(r.mutable_data(k, y, 0), ps[k]->rowPointer(y), static_cast<size_t>(w));
  return out;
}

// The image's three planes copied once into one block, one plane after the
// other, as an image of the same format: where the pels of planes apart in
// memory (the allocator's choice, the Bayer converter's or a colour camera's
// planes) go, so that every array's base is an Image.
qcPtrHandle<qcAcqImage> joinedPlanes(const qcAcqImage& image) {
  const qc3PlanePelBuffer b = image.threePlane();
  const long w = b.width(), h = b.height();
  qcPelBuffer<unsigned char> block(w, 3 * h);
  const qcPelBuffer<unsigned char>* ps[3] = {&b.plane0(), &b.plane1(), &b.plane2()};
  for (long k = 0; k < 3; ++k)
    for (long y = 0; y < h; ++y)
      std::memcpy(block.rowPointer(k * h + y), ps[k]->rowPointer(y), static_cast<size_t>(w));
  const qc3PlanePelBuffer joined(block.window(0, 0, w, h), block.window(0, h, w, h), block.window(0, 2 * h, w, h),
                                 b.colorSpace());
  return qcPtrHandle<qcAcqImage>(new qcAcqImage(joined, image.imageFormat()));
}

}  // namespace

class LocalBlocks : public std::enable_shared_from_this<LocalBlocks> {
public:
  // A root of width x height pels of T over a block of the pool (given
  // back when the root dies).
  template <class T>
  qcPtrHandle<qcPelRoot<T>> root(long width, long height) {
    const std::size_t bytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * sizeof(T);
    std::byte* block = take(bytes);
    std::weak_ptr<LocalBlocks> pool = weak_from_this();
    return qcPtrHandle<qcPelRoot<T>>(new qcPelRoot<T>(reinterpret_cast<T*>(block), width, height, width,
                                                      [pool, block, bytes] {
                                                        if (auto p = pool.lock())
                                                          p->giveBack(block, bytes);
                                                        else
                                                          release(block);
                                                      }));
  }
  ~LocalBlocks() {
    for (std::byte* b : free_) release(b);
  }

private:
  static constexpr std::size_t kKept = 4;  // free blocks kept
  static constexpr std::align_val_t kAlign{64};
  static void release(std::byte* b) { ::operator delete[](b, kAlign); }

  std::byte* take(std::size_t bytes) {
    {
      const std::lock_guard<std::mutex> g(m_);
      if (bytes == bytes_ && !free_.empty()) {
        std::byte* b = free_.back();
        free_.pop_back();
        return b;
      }
    }
    return static_cast<std::byte*>(::operator new[](std::max<std::size_t>(bytes, 1), kAlign));
  }
  void giveBack(std::byte* b, std::size_t bytes) {
    {
      const std::lock_guard<std::mutex> g(m_);
      if (bytes != bytes_) {  // another size now (a new ROI): the old blocks go
        for (std::byte* old : free_) release(old);
        free_.clear();
        bytes_ = bytes;
      }
      if (free_.size() < kKept) {
        free_.push_back(b);
        return;
      }
    }
    release(b);
  }

  std::mutex m_;
  std::size_t bytes_ = 0;
  std::vector<std::byte*> free_;
};

std::shared_ptr<LocalBlocks> newLocalBlocks() { return std::make_shared<LocalBlocks>(); }

namespace {

template <class T>
qcPtrHandle<qcAcqImage> copyOf(const qcPelBuffer<T>& src, qeImageFormat format, LocalBlocks& blocks) {
  const qcPelBuffer<T> dst(blocks.root<T>(src.width(), src.height()));
  qfPelCopy<T>(src, dst);
  qcPelBuffer<T> out = dst;
  out.copyXforms(src);
  return qcPtrHandle<qcAcqImage>(new qcAcqImage(out, format));
}

qcPtrHandle<qcAcqImage> copyOf(const qc3PlanePelBuffer& src, qeImageFormat format, LocalBlocks& blocks) {
  const long w = src.width(), h = src.height();
  const qcPelBuffer<unsigned char> block(blocks.root<unsigned char>(w, 3 * h));
  qc3PlanePelBuffer out(block.window(0, 0, w, h), block.window(0, h, w, h), block.window(0, 2 * h, w, h),
                        src.colorSpace());
  qfPelCopy(src, out);
  out.copyXforms(src);
  return qcPtrHandle<qcAcqImage>(new qcAcqImage(out, format));
}

}  // namespace

qcPtrHandle<qcAcqImage> localCopy(const qcAcqImage& image, const std::shared_ptr<LocalBlocks>& blocks) {
  const qeImageFormat f = image.imageFormat();
  if (image.holds<qcPelBuffer<unsigned char>>()) return copyOf(image.grey8(), f, *blocks);
  if (image.holds<qcPelBuffer<unsigned short>>()) return copyOf(image.grey16(), f, *blocks);
  if (image.holds<qcPelBuffer<qcPackedRGB16Pel>>()) return copyOf(image.rgb16(), f, *blocks);
  if (image.holds<qcPelBuffer<qcPackedRGB32Pel>>()) return copyOf(image.rgb32(), f, *blocks);
  if (image.holds<qcPelBuffer<qc3PlanePel>>()) return copyOf(image.pel3(), f, *blocks);
  return copyOf(image.threePlane(), f, *blocks);
}

py::object arrayOf(const qcAcqImage& image, py::handle owner) {
  if (image.isEmpty()) return py::none();
  if (image.holds<qcPelBuffer<unsigned char>>()) return view2(image.grey8(), owner);
  if (image.holds<qcPelBuffer<unsigned short>>()) return view2(image.grey16(), owner);
  if (image.holds<qcPelBuffer<qcPackedRGB16Pel>>()) return view2(image.rgb16(), owner);
  if (image.holds<qcPelBuffer<qcPackedRGB32Pel>>()) {
    const auto b = image.rgb32();
    return view(b, {b.height(), b.width(), 4}, {b.rowBytes_(), 4, 1}, owner);
  }
  if (image.holds<qcPelBuffer<qc3PlanePel>>()) {
    const auto b = image.pel3();
    return view(b, {b.height(), b.width(), 3}, {b.rowBytes_(), 3, 1}, owner);
  }
  return planes(image.threePlane(), owner);
}

py::object wrapImage(qcPtrHandle<qcAcqImage> image) {
  if (!image || image->isEmpty()) return py::none();
  if (image->holds<qc3PlanePelBuffer>() && !planesInOneArray(image->threePlane())) image = joinedPlanes(*image);
  py::object owner = py::cast(Image{std::move(image)});
  return arrayOf(*owner.cast<Image&>().image, owner);
}

qeImageFormat imageFormatOf(py::handle o) {
  if (py::isinstance<py::str>(o)) {
    std::string s = o.cast<std::string>();
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const auto& [name, value] : qcImageFormatNames)
      if (s == name) return value;
    std::string known;
    for (const auto& [name, value] : qcImageFormatNames) known += std::string(known.empty() ? "" : ", ") + name;
    throw py::value_error("unknown image format \"" + o.cast<std::string>() + "\" (known: " + known + ")");
  }
  if (py::isinstance<qeImageFormat>(o)) return o.cast<qeImageFormat>();
  if (py::isinstance<py::int_>(o)) {
    const long n = o.cast<long>();
    if (n < 1 || n > 19) throw py::value_error("image format numbers run from 1 to 19");
    return static_cast<qeImageFormat>(n);
  }
  throw py::type_error("an image format is an ImageFormat, a name such as \"grey8\" or a number");
}

template <class T>
qcPelBuffer<T> bufferOf(py::handle obj, const char* what) {
  if (!py::isinstance<py::array>(obj)) throw py::type_error(std::string(what) + " must be a NumPy array");
  py::array a = py::reinterpret_borrow<py::array>(obj);
  if (!a.dtype().is(py::dtype::of<T>()))
    throw py::type_error(std::string(what) + " must have dtype " + (sizeof(T) == 1 ? "uint8" : "uint16") +
                         ", not " + py::str(a.dtype()).cast<std::string>());
  if (a.ndim() != 2)
    throw py::value_error(std::string(what) + " must be 2-D (height, width), not " + std::to_string(a.ndim()) + "-D");
  if (a.strides(1) != static_cast<py::ssize_t>(sizeof(T)) || a.strides(0) < a.strides(1) * a.shape(1) ||
      a.strides(0) % static_cast<py::ssize_t>(sizeof(T)) != 0)
    a = py::array::ensure(py::module_::import("numpy").attr("ascontiguousarray")(a));
  const long h = static_cast<long>(a.shape(0)), w = static_cast<long>(a.shape(1));
  const long pitch = h > 1 ? static_cast<long>(a.strides(0) / static_cast<py::ssize_t>(sizeof(T))) : w;
  // The root keeps the array; it dies on a Python thread (the calls that
  // make such buffers hold the GIL), but take the GIL to be sure.
  auto* keep = new py::object(a);
  auto release = [keep] {
    py::gil_scoped_acquire g;
    delete keep;
  };
  T* data = static_cast<T*>(const_cast<void*>(a.data()));
  return qcPelBuffer<T>(qcPtrHandle<qcPelRoot<T>>(new qcPelRoot<T>(data, w, h, std::max(pitch, w), release)));
}

template qcPelBuffer<unsigned char> bufferOf<unsigned char>(py::handle, const char*);
template qcPelBuffer<unsigned short> bufferOf<unsigned short>(py::handle, const char*);

void bindImages(py::module_& m) {
  py::enum_<qeImageFormat> imf(m, "ImageFormat",
                               "Image formats of the library (the public numbering).  Functions that take one "
                               "also take its name as text (\"grey8\", \"rgb32\", \"3plane\", ...).");
  const std::pair<const char*, qeImageFormat> enumNames[] = {
      {"Grey8", qeImageFormat_Grey8},   {"Grey16", qeImageFormat_Grey16}, {"RGB16", qeImageFormat_PackedRGB16},
      {"RGB32", qeImageFormat_PackedRGB32}, {"Raw8", qeImageFormat_Raw8}, {"Raw16", qeImageFormat_Raw16},
      {"UYYVYY", qeImageFormat_UYYVYY}, {"UYVY", qeImageFormat_UYVY},     {"UYV", qeImageFormat_UYV},
      {"RGB24", qeImageFormat_RGB24},   {"RGB48", qeImageFormat_RGB48},   {"ThreePlane", qeImageFormat_3Plane},
      {"Grey10", qeImageFormat_Grey10}, {"Grey12", qeImageFormat_Grey12}, {"BGR24", qeImageFormat_BGR24},
      {"Grey16BigEndian", qeImageFormat_Grey16BigEndian}, {"Unspecified", qeImageFormat_Unspecified}};
  for (const auto& [name, value] : enumNames) imf.value(name, value);
  imf.def_property_readonly(
      "short_name", [](qeImageFormat f) { return qfImageFormatName(f); },
      "The short name (\"grey8\", \"3plane\"), as qacq takes it.");

  py::class_<Image>(m, "Image",
                    "An image of the library: the base object of the NumPy arrays made from it.  It keeps the "
                    "pels (a pool buffer of a FIFO included) alive; when the last array and Image go, a pool "
                    "buffer goes back to its pool.")
      .def_property_readonly(
          "image_format", [](const Image& i) { return i.image->imageFormat(); }, "The image format.")
      .def_property_readonly(
          "width", [](const Image& i) { return i.image->buffer() ? i.image->buffer()->width() : 0L; }, "Pels.")
      .def_property_readonly(
          "height", [](const Image& i) { return i.image->buffer() ? i.image->buffer()->height() : 0L; }, "Rows.")
      .def_property_readonly(
          "is_local", [](const Image& i) { return !i.image->buffer() || i.image->buffer()->isLocal(); },
          "False for pels that belong to a driver (a pool buffer): their arrays are read-only.")
      .def_property_readonly(
          "address",
          [](const Image& i) {
            const qc_PelBuffer* b = i.image->buffer();
            return reinterpret_cast<std::uintptr_t>(b ? b->bytes_() : nullptr);
          },
          "The address of pel (0, 0) (of plane 0), as the library holds it.")
      .def_property_readonly(
          "row_bytes", [](const Image& i) { return i.image->buffer() ? i.image->buffer()->rowBytes_() : 0L; },
          "Bytes from one row to the next.")
      .def_property_readonly(
          "offset",
          [](const Image& i) {
            const qc_PelBuffer* b = i.image->buffer();
            return b ? py::make_tuple(b->offset().x, b->offset().y) : py::make_tuple(0, 0);
          },
          "(x, y): where pel (0, 0) lies in the caller's image coordinates (the region of interest's origin).")
      .def(
          "array", [](py::object self) { return arrayOf(*self.cast<Image&>().image, self); },
          "A new NumPy array over the pels (no copy).")
      .def("__repr__", [](const Image& i) {
        const qc_PelBuffer* b = i.image->buffer();
        return "<qrnacq.Image " + qfImageFormatName(i.image->imageFormat()) + " " +
               std::to_string(b ? b->width() : 0) + "x" + std::to_string(b ? b->height() : 0) +
               (b && !b->isLocal() ? " (pool buffer)" : "") + ">";
      });
}

}  // namespace qrnpy
