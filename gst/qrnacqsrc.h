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
//   PTS             live (is-live, the default): the pipeline clock's
//                   running time when the image was completed (the
//                   capture); not live: the board's time stamp from the
//                   first frame on; duration the frame period when the
//                   format has camera timing;
//   OFFSET          the acquisition's trigger number (OFFSET_END unset);
//   GstReferenceTimestampMeta with caps "timestamp/x-qrnacq": the board's
//                   acquisition time stamp (microseconds, given in ns);
//   flag CORRUPTED  an image that came with a failure (incomplete, ...);
//   flag DISCONT    frames were lost before this one (timeouts, missed or
//                   overrun frames, failed acquisitions).
// Each failure also posts a warning message whose details structure
// (gst_message_parse_warning_details) holds "failure" (the failure's text)
// and "trigger-number" (a guint64; 0 when no acquisition carried it).
//
// Threads: the streaming thread acquires; unlock() (flushing, PLAYING ->
// NULL) ends a wait within 50 ms.
#pragma once

#include <gst/base/gstpushsrc.h>
#include <gst/gst.h>

G_BEGIN_DECLS

#define GST_TYPE_QRN_ACQ_SRC (gst_qrn_acq_src_get_type())
G_DECLARE_FINAL_TYPE(GstQrnAcqSrc, gst_qrn_acq_src, GST, QRN_ACQ_SRC, GstPushSrc)

// Registers the element with a plugin (the plugin's init function).
gboolean qrn_gst_plugin_init(GstPlugin* plugin);

// Registers the plugin "qrnacq" with the element statically (programs that
// link the element's code instead of loading the plugin).
gboolean qrn_gst_register_static(void);

G_END_DECLS
