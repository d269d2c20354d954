// qrnacqsrc: see qrnacqsrc.h.  The element: properties, states, caps,
// allocation and the streaming thread's loop; the session (session.h)
// holds the acquisition, the buffer maker (buffer.h) makes the buffers.
#include "qrnacqsrc.h"

#include <gst/base/gstpushsrc.h>
#include <gst/video/video.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <exception>
#include <map>
#include <memory>
#include <set>
#include <string>

#include <qrn/acq/hyper/failurename.h>

#include "buffer.h"
#include "devices.h"
#include "session.h"

GST_DEBUG_CATEGORY(qrnacqsrc_debug);
#define GST_CAT_DEFAULT qrnacqsrc_debug

using namespace qrngst;

namespace {

using Clock = std::chrono::steady_clock;

// Failures as warning messages: the first of each kind in full, the others
// counted and summed up once a second, so that a stream that keeps failing
// does not flood the bus.
class FailureLog {
public:
  // Posts or counts one failure of `kind` (a short name: "timeout",
  // "overrun", ...).
  void add(GstElement* src, const std::string& kind, const std::string& text, unsigned long triggerNum, long frames);
  // Posts the summary when a second has passed since the first failure it
  // counts (or at once with `now`).
  void flush(GstElement* src, bool now = false);

private:
  std::set<std::string> seen_;           // kinds posted in full
  std::map<std::string, long> pending_;  // failures counted since the last summary, by kind
  long pendingCount_ = 0;
  Clock::time_point since_{};
};

void postWarning(GstElement* src, const std::string& message, const std::string& failure, unsigned long triggerNum,
                 long count) {
  GST_ELEMENT_WARNING_WITH_DETAILS(src, STREAM, FAILED, ("%s", message.c_str()), (nullptr),
                                   ("failure", G_TYPE_STRING, failure.c_str(), "trigger-number", G_TYPE_UINT64,
                                    static_cast<guint64>(triggerNum), "count", G_TYPE_LONG, count, nullptr));
}

void FailureLog::add(GstElement* src, const std::string& kind, const std::string& text, unsigned long triggerNum,
                     long frames) {
  if (seen_.insert(kind).second) {
    postWarning(src,
                triggerNum ? "Acquisition failed (trigger " + std::to_string(triggerNum) + "): " + text
                           : "Acquisition failed: " + text,
                text, triggerNum, frames);
    return;
  }
  if (pendingCount_ == 0) since_ = Clock::now();
  pending_[kind] += frames;
  pendingCount_ += frames;
  flush(src);
}

void FailureLog::flush(GstElement* src, bool now) {
  if (pendingCount_ == 0) return;
  const double s = std::chrono::duration<double>(Clock::now() - since_).count();
  if (!now && s < 1.0) return;
  std::string kinds;
  for (const auto& [kind, n] : pending_) kinds += (kinds.empty() ? "" : ", ") + std::to_string(n) + " " + kind;
  char secs[32];
  g_snprintf(secs, sizeof secs, "%.1f", s);
  postWarning(src, std::to_string(pendingCount_) + " more frames lost or failed in " + secs + " s: " + kinds, kinds, 0,
              pendingCount_);
  pending_.clear();
  pendingCount_ = 0;
}

// What one stream (start() to stop()) counts and remembers.
struct Stream {
  BufferMaker maker;
  CaptureClock captureClock;
  GstClockTime firstBoardTime = GST_CLOCK_TIME_NONE;  // not live: the first frame's time stamp
  GstClockTime lastPts = GST_CLOCK_TIME_NONE;
  bool paused = false;            // the stream was paused (state changes only)
  GstClockTime playingSince = 0;  // clock time of the change to PLAYING after the last pause (object lock)
  bool discont = false;           // frames were lost since the last buffer
  guint64 processed = 0, dropped = 0;
  BufferMaker::Copy copying = BufferMaker::Copy::never;
  FailureLog failures;
};

}  // namespace

// ---- the element ---------------------------------------------------------------------

struct _GstQrnAcqSrc {
  GstPushSrc parent;
  Settings* settings;           // guarded by the object lock
  Session* session;             // set in start(), cleared in stop()
  Stream* stream;               // likewise; the streaming thread's
  std::atomic<bool>* flushing;  // unlock() asks create() to return
  bool videoMeta;               // downstream takes GstVideoMeta
};

G_DEFINE_TYPE(GstQrnAcqSrc, gst_qrn_acq_src, GST_TYPE_PUSH_SRC)

namespace {

enum Prop {
  PROP_0,
  PROP_BOARD,
  PROP_FORMAT,
  PROP_IMAGE_FORMAT,
  PROP_EXPOSURE,
  PROP_TRIGGER,
  PROP_HW_TRIGGER,
  PROP_ROI,
  PROP_CUSTOM,
  PROP_TIMEOUT,
  PROP_POOL_SIZE,
  PROP_DROP_INCOMPLETE,
  PROP_IS_LIVE,
};

// How long one completion waits before the element looks at its flushing
// flag again.
constexpr double kSlice = 0.05;

GstQrnAcqSrc* self(gpointer p) { return reinterpret_cast<GstQrnAcqSrc*>(p); }

void setProperty(GObject* obj, guint id, const GValue* v, GParamSpec* param) {
  GstQrnAcqSrc* src = self(obj);
  GST_OBJECT_LOCK(src);
  Settings& s = *src->settings;
  auto str = [&] { const gchar* t = g_value_get_string(v); return std::string(t ? t : ""); };
  switch (id) {
    case PROP_BOARD: s.board = str(); break;
    case PROP_FORMAT: s.format = str(); break;
    case PROP_IMAGE_FORMAT: s.imageFormat = str(); break;
    case PROP_EXPOSURE: s.exposure = g_value_get_double(v); break;
    case PROP_TRIGGER: s.trigger = static_cast<Trigger>(g_value_get_enum(v)); break;
    case PROP_HW_TRIGGER: s.hwTrigger = g_value_get_boolean(v); break;
    case PROP_ROI: s.roi = str(); break;
    case PROP_CUSTOM: s.custom = str(); break;
    case PROP_TIMEOUT: s.timeout = g_value_get_double(v); break;
    case PROP_POOL_SIZE: s.poolSize = g_value_get_int(v); break;
    case PROP_DROP_INCOMPLETE: s.dropIncomplete = g_value_get_boolean(v); break;
    case PROP_IS_LIVE: break;  // below, outside the object lock
    default: G_OBJECT_WARN_INVALID_PROPERTY_ID(obj, id, param); break;
  }
  GST_OBJECT_UNLOCK(src);
  if (id == PROP_IS_LIVE) gst_base_src_set_live(GST_BASE_SRC(src), g_value_get_boolean(v));
}

void getProperty(GObject* obj, guint id, GValue* v, GParamSpec* param) {
  GstQrnAcqSrc* src = self(obj);
  GST_OBJECT_LOCK(src);
  const Settings& s = *src->settings;
  switch (id) {
    case PROP_BOARD: g_value_set_string(v, s.board.c_str()); break;
    case PROP_FORMAT: g_value_set_string(v, s.format.c_str()); break;
    case PROP_IMAGE_FORMAT: g_value_set_string(v, s.imageFormat.c_str()); break;
    case PROP_EXPOSURE: g_value_set_double(v, s.exposure); break;
    case PROP_TRIGGER: g_value_set_enum(v, static_cast<gint>(s.trigger)); break;
    case PROP_HW_TRIGGER: g_value_set_boolean(v, s.hwTrigger); break;
    case PROP_ROI: g_value_set_string(v, s.roi.c_str()); break;
    case PROP_CUSTOM: g_value_set_string(v, s.custom.c_str()); break;
    case PROP_TIMEOUT: g_value_set_double(v, s.timeout); break;
    case PROP_POOL_SIZE: g_value_set_int(v, s.poolSize); break;
    case PROP_DROP_INCOMPLETE: g_value_set_boolean(v, s.dropIncomplete); break;
    case PROP_IS_LIVE: break;
    default: G_OBJECT_WARN_INVALID_PROPERTY_ID(obj, id, param); break;
  }
  GST_OBJECT_UNLOCK(src);
  if (id == PROP_IS_LIVE) g_value_set_boolean(v, gst_base_src_is_live(GST_BASE_SRC(src)));
}

void finalize(GObject* obj) {
  GstQrnAcqSrc* src = self(obj);
  delete src->stream;
  delete src->session;
  delete src->settings;
  delete src->flushing;
  G_OBJECT_CLASS(gst_qrn_acq_src_parent_class)->finalize(obj);
}

gboolean start(GstBaseSrc* bsrc) {
  GstQrnAcqSrc* src = self(bsrc);
  GST_OBJECT_LOCK(src);
  const Settings s = *src->settings;
  GST_OBJECT_UNLOCK(src);
  std::unique_ptr<Session> ss;
  try {
    ss = openSession(s);
  } catch (const SetupError& e) {
    if (e.notFound)
      GST_ELEMENT_ERROR(src, RESOURCE, NOT_FOUND, ("%s", e.message.c_str()), (nullptr));
    else
      GST_ELEMENT_ERROR(src, RESOURCE, SETTINGS, ("%s", e.message.c_str()), (nullptr));
    return FALSE;
  } catch (const std::exception& e) {
    GST_ELEMENT_ERROR(src, RESOURCE, OPEN_READ, ("%s", e.what()), (nullptr));
    return FALSE;
  }
  for (const std::string& note : ss->notes) GST_ELEMENT_WARNING(src, RESOURCE, SETTINGS, ("%s", note.c_str()), (nullptr));
  GST_INFO_OBJECT(src, "board %s, format \"%s\", offering %" GST_PTR_FORMAT, ss->label.c_str(), ss->fmt->name(),
                  ss->caps);
  src->flushing->store(false);
  GST_OBJECT_LOCK(src);
  src->session = ss.release();
  src->stream = new Stream();
  GST_OBJECT_UNLOCK(src);
  return TRUE;
}

gboolean stop(GstBaseSrc* bsrc) {
  GstQrnAcqSrc* src = self(bsrc);
  GST_OBJECT_LOCK(src);
  Session* ss = src->session;
  Stream* st = src->stream;
  src->session = nullptr;
  src->stream = nullptr;
  GST_OBJECT_UNLOCK(src);
  if (st) st->failures.flush(GST_ELEMENT(src), true);
  delete st;
  delete ss;  // destroys the FIFO: the driver's threads end here
  return TRUE;
}

GstStateChangeReturn changeState(GstElement* element, GstStateChange transition) {
  GstQrnAcqSrc* src = self(element);
  if (transition == GST_STATE_CHANGE_PAUSED_TO_PLAYING) {
    // Playing again after a pause: frames taken before this moment were
    // taken while paused.
    GST_OBJECT_LOCK(src);
    if (src->stream && src->stream->paused && GST_ELEMENT_CLOCK(element))
      src->stream->playingSince = gst_clock_get_time(GST_ELEMENT_CLOCK(element));
    GST_OBJECT_UNLOCK(src);
  } else if (transition == GST_STATE_CHANGE_PLAYING_TO_PAUSED) {
    GST_OBJECT_LOCK(src);
    if (src->stream) src->stream->paused = true;
    GST_OBJECT_UNLOCK(src);
  }
  return GST_ELEMENT_CLASS(gst_qrn_acq_src_parent_class)->change_state(element, transition);
}

GstCaps* getCaps(GstBaseSrc* bsrc, GstCaps* filter) {
  GstQrnAcqSrc* src = self(bsrc);
  GST_OBJECT_LOCK(src);
  GstCaps* caps = src->session ? gst_caps_ref(src->session->caps) : nullptr;
  GST_OBJECT_UNLOCK(src);
  if (!caps) caps = gst_caps_from_string(kTemplateCaps);
  if (filter) {
    GstCaps* both = gst_caps_intersect_full(filter, caps, GST_CAPS_INTERSECT_FIRST);
    gst_caps_unref(caps);
    caps = both;
  }
  return caps;
}

// True while the pipeline is on its way down: downstream pads flush and
// refuse what negotiation sends, which is no fault of the formats.
bool stopping(GstQrnAcqSrc* src) {
  if (src->flushing->load() || GST_PAD_IS_FLUSHING(GST_BASE_SRC_PAD(src))) return true;
  GstPad* peer = gst_pad_get_peer(GST_BASE_SRC_PAD(src));
  const bool peerFlushing = peer && GST_PAD_IS_FLUSHING(peer);
  if (peer) gst_object_unref(peer);
  if (peerFlushing) return true;
  // The top-level bin takes its target state first, then its elements.
  auto* top = static_cast<GstObject*>(gst_object_ref(GST_OBJECT(src)));
  while (GstObject* parent = gst_object_get_parent(top)) {
    gst_object_unref(top);
    top = parent;
  }
  GST_OBJECT_LOCK(top);
  const bool down = GST_IS_ELEMENT(top) && GST_STATE_TARGET(top) < GST_STATE_PAUSED;
  GST_OBJECT_UNLOCK(top);
  gst_object_unref(top);
  return down;
}

gboolean negotiate(GstBaseSrc* bsrc) {
  GstQrnAcqSrc* src = self(bsrc);
  if (GST_BASE_SRC_CLASS(gst_qrn_acq_src_parent_class)->negotiate(bsrc)) return TRUE;
  Session* ss = src->session;
  if (!ss) return FALSE;
  if (stopping(src)) {
    GST_DEBUG_OBJECT(src, "negotiation ended by the pipeline stopping");
    return FALSE;
  }
  GstCaps* peer = gst_pad_peer_query_caps(GST_BASE_SRC_PAD(bsrc), nullptr);
  gchar* peerText = peer ? gst_caps_to_string(peer) : g_strdup("nothing");
  const qcPelRect& r = ss->rect;
  GST_ELEMENT_ERROR(src, CORE, NEGOTIATION,
                    ("Downstream accepts none of the formats that board %s offers for \"%s\" (%ldx%ld): %s",
                     ss->label.c_str(), ss->fmt->name(), r.width(), r.height(), ss->offeredText().c_str()),
                    ("downstream accepts %s", peerText));
  g_free(peerText);
  if (peer) gst_caps_unref(peer);
  return FALSE;
}

// Of the rates offered, the board's own when downstream leaves the choice.
GstCaps* fixate(GstBaseSrc* bsrc, GstCaps* caps) {
  GstQrnAcqSrc* src = self(bsrc);
  caps = gst_caps_make_writable(caps);
  if (Session* ss = src->session) {
    gint num = 0, den = 1;
    periodToFraction(ss->period, num, den);
    for (guint i = 0; i < gst_caps_get_size(caps); ++i)
      gst_structure_fixate_field_nearest_fraction(gst_caps_get_structure(caps, i), "framerate", num, den);
  }
  return GST_BASE_SRC_CLASS(gst_qrn_acq_src_parent_class)->fixate(bsrc, caps);
}

gboolean setCaps(GstBaseSrc* bsrc, GstCaps* caps) {
  GstQrnAcqSrc* src = self(bsrc);
  Session* ss = src->session;
  GstVideoInfo info;
  if (!ss || !gst_video_info_from_caps(&info, caps)) return FALSE;
  qeImageFormat want = qeImageFormat_Unspecified;
  for (qeImageFormat f : ss->offered)
    for (GstVideoFormat g : mapOf(f)->gst)
      if (g == GST_VIDEO_INFO_FORMAT(&info) && want == qeImageFormat_Unspecified) want = f;
  if (want == qeImageFormat_Unspecified) return FALSE;
  try {
    if (want != ss->imf) ss->openFifo(want);
    if (GST_VIDEO_INFO_FPS_N(&info) > 0)
      ss->applyPeriod(static_cast<double>(GST_VIDEO_INFO_FPS_D(&info)) / GST_VIDEO_INFO_FPS_N(&info));
  } catch (const SetupError& e) {
    GST_ELEMENT_ERROR(src, RESOURCE, SETTINGS, ("%s", e.message.c_str()), (nullptr));
    return FALSE;
  } catch (const std::exception& e) {
    GST_ELEMENT_ERROR(src, RESOURCE, SETTINGS, ("%s", e.what()), (nullptr));
    return FALSE;
  }
  ss->info = info;
  ss->haveInfo = true;
  GST_INFO_OBJECT(src, "acquiring as %s: %" GST_PTR_FORMAT, mapOf(want)->name, caps);
  return TRUE;
}

// Downstream's ALLOCATION answer: whether it takes GstVideoMeta, and how
// many buffers it keeps (its pools' min-buffers).  Unless pool-size is set,
// the driver's pool gets those on top of its default size, and two more:
// the buffer on its way down and the last one a sink keeps (a free-running
// board that finds no free image loses its frame).
gboolean decideAllocation(GstBaseSrc* bsrc, GstQuery* query) {
  GstQrnAcqSrc* src = self(bsrc);
  src->videoMeta = gst_query_find_allocation_meta(query, GST_VIDEO_META_API_TYPE, nullptr);
  guint kept = 0;
  for (guint i = 0; i < gst_query_get_n_allocation_pools(query); ++i) {
    guint size = 0, min = 0, max = 0;
    gst_query_parse_nth_allocation_pool(query, i, nullptr, &size, &min, &max);
    kept = std::max(kept, min);
  }
  Session* ss = src->session;
  if (ss && ss->fifo && ss->s.poolSize == 0) {
    try {
      const long want = ss->fifo->defaultHardwareImagePoolSize() + static_cast<long>(kept) + 2;
      if (want != ss->fifo->hardwareImagePoolSize()) ss->fifo->hardwareImagePoolSize(want);
    } catch (const std::exception& e) {
      GST_WARNING_OBJECT(src, "the pool stays at %ld images: %s", ss->poolSize(), e.what());
    }
  }
  GST_DEBUG_OBJECT(src, "downstream %s GstVideoMeta and keeps %u buffers; the pool holds %ld images",
                   src->videoMeta ? "takes" : "does not take", kept, ss ? ss->poolSize() : 0L);
  return GST_BASE_SRC_CLASS(gst_qrn_acq_src_parent_class)->decide_allocation(bsrc, query);
}

gboolean query(GstBaseSrc* bsrc, GstQuery* q) {
  GstQrnAcqSrc* src = self(bsrc);
  if (GST_QUERY_TYPE(q) == GST_QUERY_LATENCY) {
    GST_OBJECT_LOCK(src);
    const double period = src->session ? src->session->period.load() : -1.0;
    GST_OBJECT_UNLOCK(src);
    if (period < 0) return FALSE;
    // A frame is completed one frame period after its capture started
    // (the time its buffer carries).
    const GstClockTime min = period > 0 ? static_cast<GstClockTime>(period * GST_SECOND) : 0;
    gst_query_set_latency(q, gst_base_src_is_live(bsrc), min, GST_CLOCK_TIME_NONE);
    return TRUE;
  }
  return GST_BASE_SRC_CLASS(gst_qrn_acq_src_parent_class)->query(bsrc, q);
}

gboolean unlock(GstBaseSrc* bsrc) {
  self(bsrc)->flushing->store(true);
  return TRUE;
}

gboolean unlockStop(GstBaseSrc* bsrc) {
  self(bsrc)->flushing->store(false);
  return TRUE;
}

// ---- the streaming thread ----------------------------------------------------------------

// The running time now, NONE without a clock.
GstClockTime runningTime(GstElement* e) {
  GstClock* clock = gst_element_get_clock(e);
  if (!clock) return GST_CLOCK_TIME_NONE;
  const GstClockTime now = gst_clock_get_time(clock), base = gst_element_get_base_time(e);
  gst_object_unref(clock);
  return now > base ? now - base : 0;
}

// `frames` frames lost: the next buffer is a discontinuity, a QoS message
// counts them, and the failure log hears of it (kind empty: a drop of the
// element's own, not a failure).
void lose(GstQrnAcqSrc* src, long frames, const std::string& kind, const std::string& text, unsigned long triggerNum) {
  Stream& st = *src->stream;
  st.discont = true;
  st.dropped += static_cast<guint64>(frames);
  const GstClockTime t = runningTime(GST_ELEMENT(src));
  const double period = src->session->period;
  GstMessage* m = gst_message_new_qos(GST_OBJECT(src), TRUE, t, t, t,
                                      period > 0 ? static_cast<GstClockTime>(period * GST_SECOND) : GST_CLOCK_TIME_NONE);
  gst_message_set_qos_stats(m, GST_FORMAT_BUFFERS, st.processed, st.dropped);
  gst_element_post_message(GST_ELEMENT(src), m);
  if (!kind.empty()) st.failures.add(GST_ELEMENT(src), kind, text, triggerNum, frames);
}

// Sets PTS and duration: live, the capture's time on the pipeline clock
// (the board's time stamp mapped to it, less the frame period that the
// completion comes after), unless do-timestamp leaves it to the base class;
// not live, the board's clock from the first frame on.  False for a frame
// taken while the pipeline was paused.
bool stamp(GstQrnAcqSrc* src, GstBuffer* buf, GstClockTime boardTime) {
  Session& ss = *src->session;
  Stream& st = *src->stream;
  const GstClockTime period = ss.period > 0 ? static_cast<GstClockTime>(ss.period * GST_SECOND) : 0;
  if (period) GST_BUFFER_DURATION(buf) = period;
  if (!gst_base_src_is_live(GST_BASE_SRC(src))) {
    if (!GST_CLOCK_TIME_IS_VALID(st.firstBoardTime)) st.firstBoardTime = boardTime;
    GST_BUFFER_PTS(buf) = boardTime > st.firstBoardTime ? boardTime - st.firstBoardTime : 0;
    return true;
  }
  GstClock* clock = gst_element_get_clock(GST_ELEMENT(src));
  if (!clock) return true;
  const GstClockTime now = gst_clock_get_time(clock), base = gst_element_get_base_time(GST_ELEMENT(src));
  gst_object_unref(clock);
  // (A board without time stamps: the completion's time.)
  const GstClockTime completed = boardTime ? st.captureClock.toClock(boardTime, now) : now;
  const GstClockTime captured = completed > period ? completed - period : 0;
  GST_OBJECT_LOCK(src);
  const GstClockTime since = st.playingSince;
  GST_OBJECT_UNLOCK(src);
  if (captured < since) return false;
  if (gst_base_src_get_do_timestamp(GST_BASE_SRC(src))) return true;
  GstClockTime pts = captured > base ? captured - base : 0;
  if (GST_CLOCK_TIME_IS_VALID(st.lastPts) && pts <= st.lastPts) pts = st.lastPts + 1;
  GST_BUFFER_PTS(buf) = st.lastPts = pts;
  return true;
}

// Makes the caps follow an image whose size differs from the negotiated one.
bool followImageSize(GstQrnAcqSrc* src, const qcAcqImage& img) {
  Session& ss = *src->session;
  const qc_PelBuffer* b = img.buffer();
  if (!b) return false;
  if (b->width() == GST_VIDEO_INFO_WIDTH(&ss.info) && b->height() == GST_VIDEO_INFO_HEIGHT(&ss.info)) return true;
  GstCaps* caps = gst_video_info_to_caps(&ss.info);
  gst_caps_set_simple(caps, "width", G_TYPE_INT, static_cast<gint>(b->width()), "height", G_TYPE_INT,
                      static_cast<gint>(b->height()), nullptr);
  GST_INFO_OBJECT(src, "the images are %ldx%ld: %" GST_PTR_FORMAT, b->width(), b->height(), caps);
  const bool ok = gst_base_src_set_caps(GST_BASE_SRC(src), caps);
  gst_caps_unref(caps);
  return ok;
}

enum class Wait { image, lost, flushing };

// Waits for the next completion in slices so that unlock() is seen; past
// the timeout and a second the frame counts as lost (unless a line pulse
// is awaited).
Wait waitFrame(GstQrnAcqSrc* src, qcPtrHandle<qcAcqImage>& img, qcAcquireInfo& info) {
  Session& ss = *src->session;
  const bool waitsForLine = ss.s.hwTrigger && (ss.s.trigger == Trigger::automatic || ss.s.trigger == Trigger::semi);
  const Clock::time_point t0 = Clock::now();
  for (;;) {
    const Clock::time_point t = Clock::now();
    img = ss.fifo->completeAcq(qcAcqFifo::CompleteArgs().maxWait(kSlice).acquireInfo(&info).makeLocal(false));
    if (src->flushing->load()) return Wait::flushing;
    const bool hasImage = img && !img->isEmpty();
    const qcAcqFailure f = info.failure();
    const bool sliceOver = !hasImage && f.rawFlags() == qcAcqFailure::kTimeout && f.errorInfo().empty() &&
                           std::chrono::duration<double>(Clock::now() - t).count() >= 0.8 * kSlice;
    if (!sliceOver) return Wait::image;
    if (!waitsForLine && std::chrono::duration<double>(Clock::now() - t0).count() > ss.s.timeout + 1.0)
      return Wait::lost;
  }
}

// The first kind a failure has, for the failure log.
std::string kindOf(const qcAcqFailure& f) {
  const std::string d = qfDescribeFailure(f);
  return d.substr(0, d.find_first_of(" ,("));
}

// The image as a buffer, copied when the pool runs low (said in the log
// when copying starts and ends).
GstBuffer* makeBuffer(GstQrnAcqSrc* src, const qcPtrHandle<qcAcqImage>& img) {
  Session& ss = *src->session;
  Stream& st = *src->stream;
  BufferMaker::Copy copied;
  GstBuffer* buf = st.maker.make(GST_OBJECT(src), ss.info, img, src->videoMeta, ss.poolSize(), copied);
  const bool low = copied == BufferMaker::Copy::poolLow, wasLow = st.copying == BufferMaker::Copy::poolLow;
  if (low && !wasLow)
    GST_INFO_OBJECT(src, "copying the images: downstream holds %ld of the pool's %ld", st.maker.held(), ss.poolSize());
  else if (!low && wasLow)
    GST_INFO_OBJECT(src, "wrapping the images again: downstream holds %ld of the pool's %ld", st.maker.held(),
                    ss.poolSize());
  st.copying = copied;
  return buf;
}

GstFlowReturn create(GstPushSrc* psrc, GstBuffer** out) {
  GstQrnAcqSrc* src = self(psrc);
  Session* ssp = src->session;
  if (!ssp || !ssp->haveInfo || !ssp->fifo) return GST_FLOW_NOT_NEGOTIATED;
  Session& ss = *ssp;
  Stream& st = *src->stream;
  try {
    for (;;) {
      if (src->flushing->load()) return GST_FLOW_FLUSHING;
      st.failures.flush(GST_ELEMENT(src));
      ss.requestFrame();
      qcAcquireInfo info;
      qcPtrHandle<qcAcqImage> img;
      const Wait w = waitFrame(src, img, info);
      if (w == Wait::flushing) return GST_FLOW_FLUSHING;
      if (w == Wait::lost) {
        // Count again what the driver still has: an acquisition that ended
        // just as a wait slice did was taken for the slice's end.
        if (ss.s.trigger == Trigger::manual) ss.ahead = ss.fifo->pendingAcqs() + ss.fifo->completedAcqs();
        gchar* text = g_strdup_printf("timeout: no frame within %g s", ss.s.timeout + 1.0);
        lose(src, 1, "timeout", text, 0);
        g_free(text);
        continue;
      }
      if (ss.ahead > 0) --ss.ahead;
      if (const long n = ss.overruns->exchange(0))
        lose(src, n, "overrun", std::to_string(n) + (n == 1 ? " frame" : " frames") + " lost (overrun)", 0);
      const qcAcqFailure f = info.failure();
      const bool hasImage = img && !img->isEmpty();
      if (!hasImage) {
        lose(src, 1, f ? kindOf(f) : "no image", f ? qfDescribeFailure(f) : std::string("no image"), info.triggerNum());
        std::string why;
        if (f.isAbnormal() && !ss.fifo->prepare(why, 1.0)) {
          // The FIFO cannot go on (a lost camera): end the stream.
          GST_ELEMENT_ERROR(src, RESOURCE, READ, ("Board %s cannot acquire any more: %s", ss.label.c_str(),
                                                  (why.empty() ? qfDescribeFailure(f) : why).c_str()),
                            (nullptr));
          return GST_FLOW_ERROR;
        }
        continue;
      }
      if (f.isIncomplete() && ss.s.dropIncomplete) {
        lose(src, 1, kindOf(f), qfDescribeFailure(f), info.triggerNum());
        continue;
      }
      // A missed trigger lost the frame it would have made.
      if (f) {
        if (f.isMissed() || f.isOverrun()) lose(src, 1, kindOf(f), qfDescribeFailure(f), info.triggerNum());
        else st.failures.add(GST_ELEMENT(src), kindOf(f), qfDescribeFailure(f), info.triggerNum(), 1);
      }
      if (!followImageSize(src, *img)) {
        GST_ELEMENT_ERROR(src, CORE, NEGOTIATION, ("The board's images changed to a size downstream does not take"),
                          (nullptr));
        return GST_FLOW_NOT_NEGOTIATED;
      }
      GstBuffer* buf = makeBuffer(src, img);
      if (!buf) {
        GST_ELEMENT_ERROR(src, STREAM, FORMAT, ("The board delivered an image that does not fit the caps"), (nullptr));
        return GST_FLOW_ERROR;
      }
      const GstClockTime boardTime = info.timeStamp() * GST_USECOND;
      if (!stamp(src, buf, boardTime)) {
        GST_DEBUG_OBJECT(src, "dropping frame %lu, taken while paused", info.triggerNum());
        gst_buffer_unref(buf);
        lose(src, 1, "", "", info.triggerNum());
        continue;
      }
      // Frames count from 0 in the stream; the driver's trigger number
      // travels in the buffer's trigger meta.
      GST_BUFFER_OFFSET(buf) = st.processed;
      GST_BUFFER_OFFSET_END(buf) = st.processed + 1;
      ++st.processed;
      gst_buffer_add_reference_timestamp_meta(buf, timestampCaps(), boardTime, GST_CLOCK_TIME_NONE);
      addTriggerMeta(buf, info.triggerNum());
      if (f && !f.isMissed() && !f.isOverrun()) GST_BUFFER_FLAG_SET(buf, GST_BUFFER_FLAG_CORRUPTED);
      if (st.discont) GST_BUFFER_FLAG_SET(buf, GST_BUFFER_FLAG_DISCONT);
      st.discont = false;
      *out = buf;
      return GST_FLOW_OK;
    }
  } catch (const std::exception& e) {
    GST_ELEMENT_ERROR(src, RESOURCE, READ, ("Acquisition from board %s failed: %s", ss.label.c_str(), e.what()),
                      (nullptr));
    return GST_FLOW_ERROR;
  }
}

void installString(GObjectClass* k, guint id, const char* name, const char* blurb) {
  g_object_class_install_property(
      k, id,
      g_param_spec_string(name, name, blurb, "",
                          static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS | GST_PARAM_MUTABLE_READY)));
}

constexpr GParamFlags kFlags =
    static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS | GST_PARAM_MUTABLE_READY);

}  // namespace

static void gst_qrn_acq_src_class_init(GstQrnAcqSrcClass* klass) {
  GST_DEBUG_CATEGORY_INIT(qrnacqsrc_debug, "qrnacqsrc", 0, "Quorin acquisition source");
  registerTriggerMeta();
  GObjectClass* g = G_OBJECT_CLASS(klass);
  GstElementClass* e = GST_ELEMENT_CLASS(klass);
  GstBaseSrcClass* b = GST_BASE_SRC_CLASS(klass);
  GstPushSrcClass* p = GST_PUSH_SRC_CLASS(klass);
  g->set_property = setProperty;
  g->get_property = getProperty;
  g->finalize = finalize;

  installString(g, PROP_BOARD, "board",
                "Frame grabber: its index among the frame grabbers (\"0\") or its name (\"sim0\", \"gige0\"); "
                "empty: the first one");
  installString(g, PROP_FORMAT, "format",
                "Video format name; empty: \"Sony XC75 640x480\" when the board offers it, else its first format");
  installString(g, PROP_IMAGE_FORMAT, "image-format",
                "Image format: grey8, grey16, grey10, grey12, raw8, rgb32, rgb16 or 3plane; empty: the format's "
                "own first, then every other one the board offers, as downstream prefers");
  g_object_class_install_property(
      g, PROP_EXPOSURE,
      g_param_spec_double("exposure", "exposure", "Exposure in seconds; 0: the FIFO's default", 0.0, G_MAXDOUBLE, 0.0,
                          kFlags));
  g_object_class_install_property(
      g, PROP_TRIGGER,
      g_param_spec_enum("trigger", "trigger", "Trigger model (auto and semi get a software trigger per frame unless "
                        "hw-trigger)", triggerType(), static_cast<gint>(Trigger::manual), kFlags));
  g_object_class_install_property(
      g, PROP_HW_TRIGGER,
      g_param_spec_boolean("hw-trigger", "hw-trigger",
                           "auto and semi: wait for pulses of the input line instead of sending software triggers",
                           FALSE, kFlags));
  installString(g, PROP_ROI, "roi", "Region of interest \"x,y,width,height\" in pels; empty: the whole frame");
  installString(g, PROP_CUSTOM, "custom",
                "Custom property items \"name=value\", separated by ';', sent in order in one bag (a Channel= "
                "item applies to the items after it), as qacq grab --custom");
  g_object_class_install_property(
      g, PROP_TIMEOUT,
      g_param_spec_double("timeout", "timeout",
                          "Acquisition timeout in seconds (the timeout property); a frame not there a second later "
                          "counts as lost",
                          1e-3, G_MAXDOUBLE, 5.0, kFlags));
  g_object_class_install_property(
      g, PROP_POOL_SIZE,
      g_param_spec_int("pool-size", "pool-size",
                       "Hardware image pool size (images the driver acquires into, shared with the buffers "
                       "downstream holds); 0: the driver's default",
                       0, G_MAXINT, 0, kFlags));
  g_object_class_install_property(
      g, PROP_DROP_INCOMPLETE,
      g_param_spec_boolean("drop-incomplete", "drop-incomplete",
                           "Drop incomplete images instead of sending them flagged CORRUPTED", FALSE, kFlags));
  g_object_class_install_property(
      g, PROP_IS_LIVE,
      g_param_spec_boolean("is-live", "is-live",
                           "Act as a live source (frames come at the camera's pace; none are produced in PAUSED)",
                           TRUE, kFlags));

  gst_element_class_set_static_metadata(
      e, "Quorin acquisition source", "Source/Video/Hardware",
      "Acquires images from a frame grabber or camera of the Quorin Acquisition library, without a copy",
      "Quorin Acquisition developers");
  GstCaps* tmpl = gst_caps_from_string(kTemplateCaps);
  gst_element_class_add_pad_template(e, gst_pad_template_new("src", GST_PAD_SRC, GST_PAD_ALWAYS, tmpl));
  gst_caps_unref(tmpl);

  e->change_state = changeState;
  b->start = start;
  b->stop = stop;
  b->get_caps = getCaps;
  b->negotiate = negotiate;
  b->fixate = fixate;
  b->set_caps = setCaps;
  b->decide_allocation = decideAllocation;
  b->query = query;
  b->unlock = unlock;
  b->unlock_stop = unlockStop;
  p->create = create;
}

static void gst_qrn_acq_src_init(GstQrnAcqSrc* src) {
  src->settings = new Settings();
  src->session = nullptr;
  src->stream = nullptr;
  src->flushing = new std::atomic<bool>(false);
  src->videoMeta = false;
  gst_base_src_set_live(GST_BASE_SRC(src), TRUE);
  gst_base_src_set_format(GST_BASE_SRC(src), GST_FORMAT_TIME);
}

gboolean qrn_gst_plugin_init(GstPlugin* plugin) {
  return gst_element_register(plugin, "qrnacqsrc", GST_RANK_NONE, GST_TYPE_QRN_ACQ_SRC) &&
         qrn_gst_register_device_provider(plugin);
}

gboolean qrn_gst_register_static(void) {
  return gst_plugin_register_static(GST_VERSION_MAJOR, GST_VERSION_MINOR, "qrnacq",
                                    "Quorin Acquisition: frame grabbers and cameras as video sources",
                                    qrn_gst_plugin_init, QRN_VERSION, QRN_GST_LICENSE, "qrnacq", "qrnacq",
                                    QRN_GST_ORIGIN);
}
