// qrnacqsrc's buffers: a completed image as a GstBuffer (wrapped without a
// copy, or copied when downstream needs GStreamer's default layout or holds
// too much of the driver's pool), and the capture time stamps.
#pragma once

#include <gst/gst.h>
#include <gst/video/video.h>

#include <atomic>
#include <cstdint>
#include <memory>

#include <qrn/acq/hyper/acqfifo.h>

namespace qrngst {

// The caps of the GstReferenceTimestampMeta holding the board's time stamp.
GstCaps* timestampCaps();

// The custom meta "QrnAcqTriggerMeta" that each buffer carries: its
// structure holds "trigger-number" (guint64), the driver's number of the
// trigger that made the frame.  registerTriggerMeta() once before use.
extern const char* const kTriggerMeta;
void registerTriggerMeta();
void addTriggerMeta(GstBuffer* buf, unsigned long triggerNum);

// Makes buffers of one session's images and counts the images that buffers
// downstream still hold.
class BufferMaker {
public:
  // Why a buffer copies the image instead of wrapping it.
  enum class Copy { never, layout, poolLow };

  // The image as a buffer of `info` (the negotiated format): wrapped, or
  // copied into the default layout when downstream does not take
  // GstVideoMeta (`videoMeta` false) and the layout differs, or when
  // downstream already holds all but `keep` of the pool's `poolSize`
  // images.  `copied` tells which.  Null when the image cannot be carried (a
  // kind the caps do not describe).
  GstBuffer* make(GstObject* log, const GstVideoInfo& info, const qcPtrHandle<qcAcqImage>& img, bool videoMeta,
                  long poolSize, Copy& copied) const;

  // Images of the pool that buffers downstream hold.
  long held() const { return held_->load(); }

  // Images the driver keeps for itself when downstream holds the rest.
  static constexpr long keep = 2;

private:
  std::shared_ptr<std::atomic<long>> held_ = std::make_shared<std::atomic<long>>(0);
};

// Maps board time stamps to the pipeline clock.  The offset between the
// board's clock and the pipeline clock is the smallest seen between a
// frame's stamp and the clock's time when it was completed (the completion
// least delayed), allowed to rise slowly so that it follows clocks that
// drift apart.  Clock times (not running times) so that a pause does not
// move it.
class CaptureClock {
public:
  // The pipeline clock's time at which the board's clock read `board` (ns),
  // given that the frame stamped `board` was completed at clock time `now`.
  GstClockTime toClock(GstClockTime board, GstClockTime now);
  void reset() { have_ = false; }

private:
  bool have_ = false;
  std::int64_t offset_ = 0;  // clock - board, ns
  GstClockTime lastBoard_ = 0;
};

}  // namespace qrngst
