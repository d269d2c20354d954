// qrnacqsrc's buffers: see buffer.h.
#include "buffer.h"

#include <algorithm>
#include <vector>

#include <qrn/foundation/pelbuffer.h>

GST_DEBUG_CATEGORY_EXTERN(qrnacqsrc_debug);
#define GST_CAT_DEFAULT qrnacqsrc_debug

namespace qrngst {

namespace {

// One plane of an image: where its pels start, the bytes from row to row,
// and the bytes from its first pel to the end of its last.
struct Plane {
  const unsigned char* data = nullptr;
  gint stride = 0;
  gsize size = 0;
};

template <class T>
Plane planeOf(const qcPelBuffer<T>& b) {
  Plane p;
  p.data = reinterpret_cast<const unsigned char*>(b.rowPointer(0));
  p.stride = static_cast<gint>(b.rowUpdate() * static_cast<long>(sizeof(T)));
  p.size = static_cast<gsize>(p.stride) * static_cast<gsize>(b.height() - 1) +
           static_cast<gsize>(b.width()) * sizeof(T);
  return p;
}

// The planes in the order of GStreamer format g.
std::vector<Plane> planesOf(const qcAcqImage& img, GstVideoFormat g) {
  if (img.holds<qcPelBuffer<unsigned char>>()) return {planeOf(img.grey8())};
  if (img.holds<qcPelBuffer<unsigned short>>()) return {planeOf(img.grey16())};
  if (img.holds<qcPelBuffer<qcPackedRGB16Pel>>()) return {planeOf(img.rgb16())};
  if (img.holds<qcPelBuffer<qcPackedRGB32Pel>>()) return {planeOf(img.rgb32())};
  if (img.holds<qc3PlanePelBuffer>()) {
    const qc3PlanePelBuffer b = img.threePlane();
    const Plane r = planeOf(b.plane0()), gr = planeOf(b.plane1()), bl = planeOf(b.plane2());
    if (g == GST_VIDEO_FORMAT_GBR) return {gr, bl, r};
    return {r, gr, bl};
  }
  return {};
}

// An image that buffers downstream hold: the pool image goes back to the
// driver when the last memory sharing it is freed.
struct Held {
  qcPtrHandle<qcAcqImage> image;
  std::shared_ptr<std::atomic<long>> count;
  Held(qcPtrHandle<qcAcqImage> i, std::shared_ptr<std::atomic<long>> c) : image(std::move(i)), count(std::move(c)) {
    ++*count;
  }
  ~Held() { --*count; }
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;
};
using HeldRef = std::shared_ptr<Held>;

}  // namespace

const char* const kTriggerMeta = "QrnAcqTriggerMeta";

void registerTriggerMeta() {
  static const char* tags[] = {nullptr};
  static const bool once = (gst_meta_register_custom(kTriggerMeta, tags, nullptr, nullptr, nullptr), true);
  (void)once;
}

void addTriggerMeta(GstBuffer* buf, unsigned long triggerNum) {
  GstCustomMeta* m = gst_buffer_add_custom_meta(buf, kTriggerMeta);
  gst_structure_set(gst_custom_meta_get_structure(m), "trigger-number", G_TYPE_UINT64,
                    static_cast<guint64>(triggerNum), nullptr);
}

GstCaps* timestampCaps() {
  static GstCaps* caps = gst_caps_new_empty_simple("timestamp/x-qrnacq");
  return caps;
}

GstBuffer* BufferMaker::make(GstObject* log, const GstVideoInfo& info, const qcPtrHandle<qcAcqImage>& img,
                             bool videoMeta, long poolSize, Copy& copied) const {
  copied = Copy::never;
  const std::vector<Plane> planes = planesOf(*img, GST_VIDEO_INFO_FORMAT(&info));
  if (planes.size() != GST_VIDEO_INFO_N_PLANES(&info)) return nullptr;
  GstBuffer* buf = gst_buffer_new();
  gsize offsets[GST_VIDEO_MAX_PLANES] = {};
  gint strides[GST_VIDEO_MAX_PLANES] = {};
  gsize at = 0;
  bool defaultLayout = true;
  const auto held = std::make_shared<Held>(img, held_);
  for (std::size_t i = 0; i < planes.size(); ++i) {
    const Plane& p = planes[i];
    gst_buffer_append_memory(buf, gst_memory_new_wrapped(GST_MEMORY_FLAG_READONLY, const_cast<unsigned char*>(p.data),
                                                         p.size, 0, p.size, new HeldRef(held),
                                                         [](gpointer r) { delete static_cast<HeldRef*>(r); }));
    offsets[i] = at;
    strides[i] = p.stride;
    defaultLayout = defaultLayout && offsets[i] == GST_VIDEO_INFO_PLANE_OFFSET(&info, i) &&
                    strides[i] == GST_VIDEO_INFO_PLANE_STRIDE(&info, i);
    at += p.size;
  }
  gst_buffer_add_video_meta_full(buf, GST_VIDEO_FRAME_FLAG_NONE, GST_VIDEO_INFO_FORMAT(&info),
                                 GST_VIDEO_INFO_WIDTH(&info), GST_VIDEO_INFO_HEIGHT(&info), planes.size(), offsets,
                                 strides);
  if (gst_debug_category_get_threshold(GST_CAT_DEFAULT) >= GST_LEVEL_LOG) {
    GstMapInfo m;
    if (gst_memory_map(gst_buffer_peek_memory(buf, 0), &m, GST_MAP_READ)) {
      GST_LOG_OBJECT(log, "image pels at %p, buffer memory at %p (%s layout)", static_cast<const void*>(planes[0].data),
                     static_cast<void*>(m.data), defaultLayout ? "default" : "own");
      gst_memory_unmap(gst_buffer_peek_memory(buf, 0), &m);
    }
  }
  // Downstream holds every pool image but this one and those the driver
  // keeps: a copy lets this one go back at once.
  const bool poolLow = poolSize > 0 && held_->load() > poolSize - keep;
  if (!poolLow && (videoMeta || defaultLayout)) return buf;
  GstBuffer* out = gst_buffer_new_allocate(nullptr, GST_VIDEO_INFO_SIZE(&info), nullptr);
  GstVideoFrame from, to;
  bool ok = false;
  if (gst_video_frame_map(&from, &info, buf, GST_MAP_READ)) {
    if (gst_video_frame_map(&to, &info, out, GST_MAP_WRITE)) {
      ok = gst_video_frame_copy(&to, &from);
      gst_video_frame_unmap(&to);
    }
    gst_video_frame_unmap(&from);
  }
  gst_buffer_unref(buf);
  if (!ok) {
    gst_buffer_unref(out);
    return nullptr;
  }
  copied = poolLow ? Copy::poolLow : Copy::layout;
  GST_LOG_OBJECT(log, "copied into the default layout");
  return out;
}

GstClockTime CaptureClock::toClock(GstClockTime board, GstClockTime now) {
  // The offset may rise by 100 ppm of the board time passed: clocks of
  // different crystals drift apart by less.
  const std::int64_t seen = static_cast<std::int64_t>(now) - static_cast<std::int64_t>(board);
  if (!have_ || board < lastBoard_) {
    offset_ = seen;
  } else {
    const auto rise = static_cast<std::int64_t>((board - lastBoard_) / 10000);
    offset_ = std::min(seen, offset_ + rise);
  }
  have_ = true;
  lastBoard_ = board;
  const std::int64_t t = static_cast<std::int64_t>(board) + offset_;
  return t > 0 ? static_cast<GstClockTime>(t) : 0;
}

}  // namespace qrngst
