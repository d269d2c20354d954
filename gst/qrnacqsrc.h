// qrnacqsrc: a live GStreamer source element that acquires from any board of
// the library (simulated boards, GigE Vision / USB3 Vision cameras, CCF
// formats) through the public C++ API.
//
// Each GstBuffer wraps the pels of one completed image (no copy): its
// memories hold a handle on the image, so the driver's pool buffer goes back
// when the last GstBuffer that shares it is freed.  Strides and plane
// offsets travel in a GstVideoMeta.  A copy into GStreamer's default layout
// is made only when downstream does not take GstVideoMeta and the image's
// layout differs from the default one.
//
// Per buffer:
//   PTS             live (is-live, the default): the capture time on the
//                   pipeline clock, as a running time: the board's time
//                   stamp mapped to the clock (through the least delayed
//                   completion seen), less the frame period the completion
//                   comes after; the latency reported is that period, so a
//                   synchronised sink does not wait.  Frames taken while
//                   the pipeline was paused are dropped.  do-timestamp:
//                   the base class's running time when the buffer leaves
//                   instead.  Not live: the board's time stamp from the
//                   first frame on.  Duration: the frame period when known;
//   OFFSET          the frame's number in the stream, from 0 (OFFSET_END
//                   the next);
//   custom meta "QrnAcqTriggerMeta" (gst_buffer_get_custom_meta): its
//                   structure's "trigger-number" (guint64) is the driver's
//                   trigger number;
//   GstReferenceTimestampMeta with caps "timestamp/x-qrnacq": the board's
//                   acquisition time stamp (microseconds, given in ns);
//   flag CORRUPTED  an image that came with a failure (incomplete, ...);
//   flag DISCONT    frames were lost before this one (timeouts, missed or
//                   overrun frames, failed acquisitions).
// Each loss of frames posts a QoS message (live, format BUFFERS: buffers
// sent and frames lost so far).  Failures post warning messages: the first
// of each kind in full, whose details structure
// (gst_message_parse_warning_details) holds "failure" (the failure's text),
// "trigger-number" (a guint64; 0 when no acquisition carried it) and
// "count"; the others are summed up in one warning a second.
//
// Caps: the frame rate is the board's (a format's camera timing, the
// simulated board's frame period, a camera's AcquisitionFrameRate); where
// the board can change it the caps offer a range, fixated to the board's
// own rate unless downstream fixes another, which the board is then set to.
//
// Allocation: unless pool-size is set, the driver's pool grows by the
// buffers downstream keeps (its ALLOCATION answer's min-buffers) and two;
// when downstream holds all of the pool but two images, the element copies
// images instead of wrapping them (said in the log, category qrnacqsrc).
//
// Threads: the streaming thread acquires; unlock() (flushing, PLAYING ->
// NULL) ends a wait within 50 ms.
#pragma once

#include <gst/base/gstpushsrc.h>
#include <gst/gst.h>

G_BEGIN_DECLS

#define GST_TYPE_QRN_ACQ_SRC (gst_qrn_acq_src_get_type())
G_DECLARE_FINAL_TYPE(GstQrnAcqSrc, gst_qrn_acq_src, GST, QRN_ACQ_SRC, GstPushSrc)

// Registers the element and the device provider (devices.h) with a plugin
// (the plugin's init function).
gboolean qrn_gst_plugin_init(GstPlugin* plugin);

// Registers the plugin "qrnacq" with the element statically (programs that
// link the element's code instead of loading the plugin).
gboolean qrn_gst_register_static(void);

G_END_DECLS
