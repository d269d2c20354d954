// qrnacqsrc: see qrnacqsrc.h.
#include "qrnacqsrc.h"

#include <gst/base/gstpushsrc.h>
#include <gst/video/video.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <qrn/acq/ccf/vidfmtext.h>
#include <qrn/acq/format/vidfmt.h>
#include <qrn/acq/hyper/acqfifo.h>
#include <qrn/acq/hyper/failurename.h>
#include <qrn/acq/hyper/callback.h>
#include <qrn/acq/hyper/driver.h>
#include <qrn/acq/hyper/framegrabber.h>
#include <qrn/acq/hyper/prop/acqprops.h>
#include <qrn/acq/hyper/trigmodel.h>
#include <qrn/foundation/board.h>
#include <qrn/foundation/pelbuffer.h>


GST_DEBUG_CATEGORY_STATIC(qrnacqsrc_debug);
#define GST_CAT_DEFAULT qrnacqsrc_debug

namespace {

// ---- image formats and caps ---------------------------------------------------

// One image format of the library and the GStreamer formats that carry its
// pels as they are (the first is preferred).
struct FormatMap {
  const char* name;  // the image-format property's name (qacq's)
  qeImageFormat imf;
  GstVideoFormat gst[2];
};
constexpr GstVideoFormat kNone = GST_VIDEO_FORMAT_UNKNOWN;
// Packed RGB32 is blue, green, red, alpha in memory; three planes are red,
// green, blue (RGBP as they are, GBR through the plane offsets).
const FormatMap kFormats[] = {
    {"grey8", qeImageFormat_Grey8, {GST_VIDEO_FORMAT_GRAY8, kNone}},
    {"grey16", qeImageFormat_Grey16, {GST_VIDEO_FORMAT_GRAY16_LE, kNone}},
    {"grey10", qeImageFormat_Grey10, {GST_VIDEO_FORMAT_GRAY16_LE, kNone}},
    {"grey12", qeImageFormat_Grey12, {GST_VIDEO_FORMAT_GRAY16_LE, kNone}},
    {"raw8", qeImageFormat_Raw8, {GST_VIDEO_FORMAT_GRAY8, kNone}},
    {"rgb32", qeImageFormat_PackedRGB32, {GST_VIDEO_FORMAT_BGRx, kNone}},
    {"rgb16", qeImageFormat_PackedRGB16, {GST_VIDEO_FORMAT_RGB16, kNone}},
    {"3plane", qeImageFormat_3Plane, {GST_VIDEO_FORMAT_RGBP, GST_VIDEO_FORMAT_GBR}},
};
// Image formats offered besides the format's own when image-format is unset.
const qeImageFormat kAlsoOffered[] = {qeImageFormat_Grey8, qeImageFormat_Grey16, qeImageFormat_PackedRGB32,
                                      qeImageFormat_PackedRGB16, qeImageFormat_3Plane};

// Appends item to a list in text, after a separator when the list has items.
void appendItem(std::string& list, const std::string& item, const char* separator = ", ") {
  if (!list.empty()) list += separator;
  list += item;
}

const FormatMap* mapOf(qeImageFormat f) {
  for (const FormatMap& m : kFormats)
    if (m.imf == f) return &m;
  return nullptr;
}

std::string formatNames() {
  std::string s;
  for (const FormatMap& m : kFormats) appendItem(s, m.name);
  return s;
}

const char* kTemplateCaps =
    "video/x-raw, format = (string) { GRAY8, GRAY16_LE, BGRx, RGB16, RGBP, GBR }, "
    "width = (int) [ 1, max ], height = (int) [ 1, max ], framerate = (fraction) [ 0/1, max ]";

// ---- settings --------------------------------------------------------------------

enum class Trigger : int { manual = 0, freerun = 1, automatic = 2, semi = 3 };

const qcTriggerModel& modelOf(Trigger t) {
  switch (t) {
    case Trigger::freerun: return qfFreeRunTrigger();
    case Trigger::automatic: return qfAutoTrigger();
    case Trigger::semi: return qfSemiTrigger();
    case Trigger::manual: break;
  }
  return qfManualTrigger();
}

GType triggerType() {
  static GType type = 0;
  static std::once_flag once;
  std::call_once(once, [] {
    static const GEnumValue values[] = {
        {static_cast<gint>(Trigger::manual), "Manual: acquisitions started by the element, one after another",
         "manual"},
        {static_cast<gint>(Trigger::freerun), "FreeRun: the camera runs free", "freerun"},
        {static_cast<gint>(Trigger::automatic), "Automatic: one frame per pulse of the input line", "auto"},
        {static_cast<gint>(Trigger::semi), "Semi-Automatic: started acquisitions wait for a pulse", "semi"},
        {0, nullptr, nullptr},
    };
    type = g_enum_register_static("GstQrnAcqSrcTrigger", values);
  });
  return type;
}

struct Settings {
  std::string board, format, imageFormat, roi, custom;
  double exposure = 0.0;  // 0: the FIFO's default
  Trigger trigger = Trigger::manual;
  bool hwTrigger = false;
  double timeout = 5.0;
  int poolSize = 0;  // 0: the driver's default
  bool dropIncomplete = false;
};

// An error of the set-up, with the GStreamer error it becomes.
struct SetupError {
  std::string message;
  bool notFound = false;  // a board or format that does not exist
};

std::string trimmed(const std::string& s) {
  const auto b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

// "name=value;name=value": the items in order.
std::vector<std::pair<std::string, std::string>> parseCustom(const std::string& text) {
  std::vector<std::pair<std::string, std::string>> items;
  std::size_t pos = 0;
  while (pos <= text.size()) {
    std::size_t end = text.find(';', pos);
    if (end == std::string::npos) end = text.size();
    const std::string item = trimmed(text.substr(pos, end - pos));
    pos = end + 1;
    if (item.empty()) continue;
    const std::size_t eq = item.find('=');
    if (eq == std::string::npos || eq == 0) throw SetupError{"bad custom item \"" + item + "\": give name=value"};
    items.emplace_back(trimmed(item.substr(0, eq)), item.substr(eq + 1));
  }
  return items;
}

qcPelRect parseRoi(const std::string& text) {
  long v[4];
  char tail = 0;
  if (std::sscanf(text.c_str(), "%ld,%ld,%ld,%ld%c", &v[0], &v[1], &v[2], &v[3], &tail) != 4 || v[0] < 0 ||
      v[1] < 0 || v[2] <= 0 || v[3] <= 0)
    throw SetupError{"bad roi \"" + text + "\": give x,y,width,height (x, y >= 0; sizes > 0)"};
  return qcPelRect(v[0], v[1], v[2], v[3]);
}

std::string boardLabel(qcFrameGrabber& fg) {
  const auto* b = dynamic_cast<const qcBoard*>(&fg);
  return b ? b->name() + std::to_string(b->bdIdx()) : std::string("?");
}

qcFrameGrabber& selectBoard(const std::string& which) {
  const long n = qcFrameGrabber::count();
  if (n == 0) throw SetupError{"no frame grabbers found (driver directory \"" + qf_driverDirectories() + "\")", true};
  if (which.empty()) return qcFrameGrabber::get(0);
  char* end = nullptr;
  const long index = std::strtol(which.c_str(), &end, 10);
  if (end && *end == '\0') {
    if (index < 0 || index >= n)
      throw SetupError{"no board " + which + ": there are " + std::to_string(n) + " frame grabbers", true};
    return qcFrameGrabber::get(index);
  }
  std::string known;
  for (long i = 0; i < n; ++i) {
    qcFrameGrabber& fg = qcFrameGrabber::get(i);
    if (boardLabel(fg) == which) return fg;
    appendItem(known, boardLabel(fg));
  }
  throw SetupError{"unknown board \"" + which + "\"; boards: " + known, true};
}

// The format qacq grab uses when none is named.
const qcStdVideoFormat& selectFormat(qcFrameGrabber& fg, const std::string& name) {
  if (!name.empty()) {
    try {
      return qcStdVideoFormat::getFormat(name);
    } catch (const qcVideoFormat::NotFound&) {
      throw SetupError{"unknown video format \"" + name + "\" (see \"qacq formats\")", true};
    }
  }
  if (const auto* f = dynamic_cast<const qcStdVideoFormat*>(qf_getFormat("Sony XC75 640x480")))
    if (fg.isSupported(*f)) return *f;
  for (const qcStdVideoFormat* f : qcStdVideoFormat::filterList(qcStdVideoFormat::fullList(), fg))
    if (f->width() > 0 && f->height() > 0) return *f;
  throw SetupError{"board " + boardLabel(fg) + " supports no video format", true};
}

// Seconds per frame from the format's camera timing; 0 when unknown.
double framePeriod(const qcStdVideoFormat& fmt) {
  if (const qc_VideoExtCIT* cit = fmt.internal(true).fmtCIT())
    if (cit->pClkFreq() > 0 && cit->hTotal() > 0 && cit->vTotal() > 0)
      return cit->hTotal() * static_cast<double>(cit->vTotal()) * std::max(1L, cit->numFields()) /
             (cit->pClkFreq() * 1e6);
  return 0.0;
}

// ---- the acquisition ------------------------------------------------------------------

// What the element holds between start() and stop().
struct Session {
  Settings s;
  qcFrameGrabber* fg = nullptr;
  const qcStdVideoFormat* fmt = nullptr;
  std::string label;
  std::vector<qeImageFormat> offered;  // what the caps offer, preferred first
  double period = 0.0;                 // 0: unknown or triggered
  GstCaps* caps = nullptr;             // offered caps (immutable once made)
  qcPelRect rect;                      // the image size they give

  qcPtrHandle<qcAcqFifo> fifo;
  qeImageFormat imf = qeImageFormat_Unspecified;
  long ahead = 0;         // manual: acquisitions started and not yet taken
  GstClockTime firstBoardTime = GST_CLOCK_TIME_NONE;  // not live: the first frame's time stamp
  bool running = false;  // free running / first frame asked for
  bool discont = false;  // frames were lost since the last buffer
  std::shared_ptr<std::atomic<long>> overruns = std::make_shared<std::atomic<long>>(0);
  GstVideoInfo info{};
  bool haveInfo = false;

  ~Session() {
    closeFifo();
    if (caps) gst_caps_unref(caps);
  }

  void closeFifo() {
    if (!fifo) return;
    try {
      if (s.trigger == Trigger::freerun && running) fifo->triggerEnable(false);
    } catch (const std::exception& e) {
      GST_WARNING("stopping the free-running camera: %s", e.what());
    }
    fifo = qcPtrHandle<qcAcqFifo>();
    running = false;
  }

  // A FIFO for image format f with every setting applied.  Throws.
  void openFifo(qeImageFormat f) {
    closeFifo();
    fifo = qcPtrHandle<qcAcqFifo>(fmt->newAcqFifoEx(*fg, f));
    imf = f;
    ahead = 0;
    qcAcqProps& props = fifo->properties();
    const auto items = parseCustom(s.custom);
    if (!items.empty()) {
      // One bag, in order: a "Channel" item applies to the items after it.
      qcCustomPropertyBag bag;
      for (const auto& [name, value] : items) bag.addItem(qcCustomPropertyBag::qeWrite, name, value);
      qcCustomProp& p = props;
      try {
        p.customValues(bag);
      } catch (const qcException& e) {
        p.customValues(qcCustomPropertyBag());
        throw SetupError{"the board refused the custom items \"" + s.custom + "\": " + e.what()};
      }
      p.customValues(qcCustomPropertyBag());
    }
    if (s.exposure > 0) static_cast<qcExposureProp&>(props).exposure(s.exposure);
    if (!s.roi.empty()) static_cast<qcRoiProp&>(props).roi(parseRoi(s.roi));
    static_cast<qcTimeoutProp&>(props).timeout(s.timeout);
    if (s.poolSize > 0) fifo->hardwareImagePoolSize(s.poolSize);
    fifo->triggerModel(modelOf(s.trigger));
    const auto counter = overruns;
    fifo->overrunInfoCallback(qfMakeCallback1<const qcAcquireInfo&>([counter](const qcAcquireInfo&) { ++*counter; }));
    if (s.trigger != Trigger::freerun) fifo->triggerEnable(true);
    std::string why;
    if (!fifo->prepare(why, 2.0)) GST_INFO("the FIFO is not fully prepared: %s", why.c_str());
  }

  // The size of the FIFO's images (the region of interest it uses).
  qcPelRect imageRect() const { return static_cast<qcRoiProp&>(fifo->properties()).actualRoi(); }

  std::string offeredText() const {
    std::string t;
    for (qeImageFormat f : offered)
      for (GstVideoFormat g : mapOf(f)->gst)
        if (g != kNone) appendItem(t, std::string(gst_video_format_to_string(g)) + " (" + mapOf(f)->name + ")");
    return t;
  }

  void makeCaps() {
    const qcPelRect r = rect = imageRect();
    gint num = 0, den = 1;
    if (period > 0) gst_util_double_to_fraction(1.0 / period, &num, &den);
    caps = gst_caps_new_empty();
    for (qeImageFormat f : offered)
      for (GstVideoFormat g : mapOf(f)->gst)
        if (g != kNone)
          gst_caps_append_structure(
              caps, gst_structure_new("video/x-raw", "format", G_TYPE_STRING, gst_video_format_to_string(g), "width",
                                      G_TYPE_INT, static_cast<gint>(r.width()), "height", G_TYPE_INT,
                                      static_cast<gint>(r.height()), "framerate", GST_TYPE_FRACTION, num, den,
                                      "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, nullptr));
  }
};

// Resolves the settings into a session with a FIFO.  Throws SetupError and
// the library's exceptions.
std::unique_ptr<Session> openSession(const Settings& s) {
  auto ss = std::make_unique<Session>();
  ss->s = s;
  if (!(s.timeout > 0)) throw SetupError{"timeout must be above 0 seconds"};
  ss->fg = &selectBoard(s.board);
  ss->label = boardLabel(*ss->fg);
  ss->fmt = &selectFormat(*ss->fg, s.format);
  const std::string fmtName = ss->fmt->name();
  if (!s.imageFormat.empty()) {
    const FormatMap* m = nullptr;
    for (const FormatMap& k : kFormats)
      if (g_ascii_strcasecmp(k.name, s.imageFormat.c_str()) == 0) m = &k;
    if (!m) throw SetupError{"unknown image format \"" + s.imageFormat + "\"; the element takes " + formatNames()};
    if (!ss->fg->isSupportedEx(*ss->fmt, m->imf))
      throw SetupError{"board " + ss->label + " does not offer \"" + fmtName + "\" as " + m->name, true};
    ss->offered.push_back(m->imf);
  } else {
    const qeImageFormat own = ss->fmt->imageFormat();
    if (mapOf(own) && ss->fg->isSupportedEx(*ss->fmt, own)) ss->offered.push_back(own);
    for (qeImageFormat f : kAlsoOffered) {
      const bool have = std::any_of(ss->offered.begin(), ss->offered.end(),
                                    [&](qeImageFormat o) { return mapOf(o)->gst[0] == mapOf(f)->gst[0]; });
      if (!have && ss->fg->isSupportedEx(*ss->fmt, f)) ss->offered.push_back(f);
    }
    if (ss->offered.empty())
      throw SetupError{"board " + ss->label + " offers \"" + fmtName + "\" in no image format the element carries (" +
                       formatNames() + ")"};
  }
  if (s.trigger == Trigger::manual || s.trigger == Trigger::freerun || !s.hwTrigger) ss->period = framePeriod(*ss->fmt);
  ss->openFifo(ss->offered.front());
  ss->makeCaps();
  return ss;
}

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

struct ImageRef {
  qcPtrHandle<qcAcqImage> image;
};

}  // namespace

// ---- the element ---------------------------------------------------------------------

struct _GstQrnAcqSrc {
  GstPushSrc parent;
  Settings* settings;                // guarded by the object lock
  Session* session;                  // set in start(), cleared in stop()
  std::atomic<bool>* flushing;       // unlock() asks create() to return
  bool videoMeta;                    // downstream takes GstVideoMeta
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
  GST_INFO_OBJECT(src, "board %s, format \"%s\", offering %" GST_PTR_FORMAT, ss->label.c_str(), ss->fmt->name(),
                  ss->caps);
  src->flushing->store(false);
  GST_OBJECT_LOCK(src);
  src->session = ss.release();
  GST_OBJECT_UNLOCK(src);
  return TRUE;
}

gboolean stop(GstBaseSrc* bsrc) {
  GstQrnAcqSrc* src = self(bsrc);
  GST_OBJECT_LOCK(src);
  Session* ss = src->session;
  src->session = nullptr;
  GST_OBJECT_UNLOCK(src);
  delete ss;  // destroys the FIFO: the driver's threads end here
  return TRUE;
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

gboolean negotiate(GstBaseSrc* bsrc) {
  GstQrnAcqSrc* src = self(bsrc);
  if (GST_BASE_SRC_CLASS(gst_qrn_acq_src_parent_class)->negotiate(bsrc)) return TRUE;
  Session* ss = src->session;
  if (!ss) return FALSE;
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
  if (want != ss->imf) {
    try {
      ss->openFifo(want);
    } catch (const SetupError& e) {
      GST_ELEMENT_ERROR(src, RESOURCE, SETTINGS, ("%s", e.message.c_str()), (nullptr));
      return FALSE;
    } catch (const std::exception& e) {
      GST_ELEMENT_ERROR(src, RESOURCE, SETTINGS, ("%s", e.what()), (nullptr));
      return FALSE;
    }
  }
  ss->info = info;
  ss->haveInfo = true;
  GST_INFO_OBJECT(src, "acquiring as %s: %" GST_PTR_FORMAT, mapOf(want)->name, caps);
  return TRUE;
}

gboolean decideAllocation(GstBaseSrc* bsrc, GstQuery* query) {
  GstQrnAcqSrc* src = self(bsrc);
  src->videoMeta = gst_query_find_allocation_meta(query, GST_VIDEO_META_API_TYPE, nullptr);
  GST_DEBUG_OBJECT(src, "downstream %s GstVideoMeta", src->videoMeta ? "takes" : "does not take");
  return GST_BASE_SRC_CLASS(gst_qrn_acq_src_parent_class)->decide_allocation(bsrc, query);
}

gboolean query(GstBaseSrc* bsrc, GstQuery* q) {
  GstQrnAcqSrc* src = self(bsrc);
  if (GST_QUERY_TYPE(q) == GST_QUERY_LATENCY) {
    GST_OBJECT_LOCK(src);
    const double period = src->session ? src->session->period : -1.0;
    GST_OBJECT_UNLOCK(src);
    if (period < 0) return FALSE;
    // A frame is completed one frame period after its capture started.
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

void postFailure(GstQrnAcqSrc* src, const std::string& text, unsigned long triggerNum) {
  GST_ELEMENT_WARNING_WITH_DETAILS(src, STREAM, FAILED, ("Acquisition failed (trigger %lu): %s", triggerNum, text.c_str()),
                                   (nullptr),
                                   ("failure", G_TYPE_STRING, text.c_str(), "trigger-number",
                                    G_TYPE_UINT64, static_cast<guint64>(triggerNum), nullptr));
}

GstCaps* timestampCaps() {
  static GstCaps* caps = gst_caps_new_empty_simple("timestamp/x-qrnacq");
  return caps;
}

// The image as a buffer of the negotiated format: wrapped, or copied when
// downstream needs the default layout.  Null when the image cannot be
// carried (a kind that the caps do not describe).
GstBuffer* wrap(GstQrnAcqSrc* src, const qcPtrHandle<qcAcqImage>& img) {
  Session& ss = *src->session;
  GstVideoInfo& info = ss.info;
  const std::vector<Plane> planes = planesOf(*img, GST_VIDEO_INFO_FORMAT(&info));
  if (planes.size() != GST_VIDEO_INFO_N_PLANES(&info)) return nullptr;
  GstBuffer* buf = gst_buffer_new();
  gsize offsets[GST_VIDEO_MAX_PLANES] = {};
  gint strides[GST_VIDEO_MAX_PLANES] = {};
  gsize at = 0;
  bool defaultLayout = true;
  for (std::size_t i = 0; i < planes.size(); ++i) {
    const Plane& p = planes[i];
    auto* ref = new ImageRef{img};
    gst_buffer_append_memory(buf, gst_memory_new_wrapped(GST_MEMORY_FLAG_READONLY, const_cast<unsigned char*>(p.data),
                                                         p.size, 0, p.size, ref,
                                                         [](gpointer r) { delete static_cast<ImageRef*>(r); }));
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
      GST_LOG_OBJECT(src, "image pels at %p, buffer memory at %p (%s layout)",
                     static_cast<const void*>(planes[0].data), static_cast<void*>(m.data),
                     defaultLayout ? "default" : "own");
      gst_memory_unmap(gst_buffer_peek_memory(buf, 0), &m);
    }
  }
  if (src->videoMeta || defaultLayout) return buf;
  // Downstream maps frames without the meta: copy into the default layout.
  GstBuffer* out = gst_buffer_new_allocate(nullptr, GST_VIDEO_INFO_SIZE(&info), nullptr);
  GstVideoFrame from, to;
  bool copied = false;
  if (gst_video_frame_map(&from, &info, buf, GST_MAP_READ)) {
    if (gst_video_frame_map(&to, &info, out, GST_MAP_WRITE)) {
      copied = gst_video_frame_copy(&to, &from);
      gst_video_frame_unmap(&to);
    }
    gst_video_frame_unmap(&from);
  }
  gst_buffer_unref(buf);
  if (!copied) {
    gst_buffer_unref(out);
    return nullptr;
  }
  GST_LOG_OBJECT(src, "copied into the default layout");
  return out;
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

// Starts or triggers what the trigger model needs for the next frame.
void requestFrame(Session& ss) {
  qcAcqFifo& fifo = *ss.fifo;
  switch (ss.s.trigger) {
    case Trigger::manual: {
      // Four to eight acquisitions ahead, so that the driver always has
      // one queued; started four at a time (a start costs a call into the
      // driver, which wakes its worker).
      if (ss.ahead < 4) {
        fifo.start(static_cast<unsigned long>(8 - ss.ahead));
        ss.ahead = 8;
      }
      break;
    }
    case Trigger::freerun:
      if (!ss.running) fifo.triggerEnable(true);
      break;
    case Trigger::semi:
      fifo.start(1);
      if (!ss.s.hwTrigger) fifo.trigger();
      break;
    case Trigger::automatic:
      if (!ss.s.hwTrigger) fifo.trigger();
      break;
  }
  ss.running = true;
}

GstFlowReturn create(GstPushSrc* psrc, GstBuffer** out) {
  GstQrnAcqSrc* src = self(psrc);
  Session* ssp = src->session;
  if (!ssp || !ssp->haveInfo || !ssp->fifo) return GST_FLOW_NOT_NEGOTIATED;
  Session& ss = *ssp;
  using Clock = std::chrono::steady_clock;
  const bool waitsForLine = ss.s.hwTrigger && (ss.s.trigger == Trigger::automatic || ss.s.trigger == Trigger::semi);
  try {
    for (;;) {
      if (src->flushing->load()) return GST_FLOW_FLUSHING;
      requestFrame(ss);
      // Wait in slices so that unlock() is seen; past the timeout and a
      // second the frame counts as lost (unless a line pulse is awaited).
      const Clock::time_point t0 = Clock::now();
      qcAcquireInfo info;
      qcPtrHandle<qcAcqImage> img;
      bool lost = false;
      for (;;) {
        const Clock::time_point t = Clock::now();
        img = ss.fifo->completeAcq(qcAcqFifo::CompleteArgs().maxWait(kSlice).acquireInfo(&info).makeLocal(false));
        if (src->flushing->load()) return GST_FLOW_FLUSHING;
        const bool hasImage = img && !img->isEmpty();
        const qcAcqFailure f = info.failure();
        const bool sliceOver = !hasImage && f.rawFlags() == qcAcqFailure::kTimeout && f.errorInfo().empty() &&
                               std::chrono::duration<double>(Clock::now() - t).count() >= 0.8 * kSlice;
        if (!sliceOver) break;
        if (!waitsForLine && std::chrono::duration<double>(Clock::now() - t0).count() > ss.s.timeout + 1.0) {
          lost = true;
          break;
        }
      }
      if (lost) {
        // Count again what the driver still has: an acquisition that ended
        // just as a wait slice did was taken for the slice's end.
        if (ss.s.trigger == Trigger::manual) ss.ahead = ss.fifo->pendingAcqs() + ss.fifo->completedAcqs();
        gchar* text = g_strdup_printf("timeout: no frame within %g s", ss.s.timeout + 1.0);
        postFailure(src, text, 0);
        g_free(text);
        ss.discont = true;
        continue;
      }
      if (ss.ahead > 0) --ss.ahead;
      if (const long n = ss.overruns->exchange(0)) {
        postFailure(src, std::to_string(n) + (n == 1 ? " frame" : " frames") + " lost (overrun)", 0);
        ss.discont = true;
      }
      const qcAcqFailure f = info.failure();
      const bool hasImage = img && !img->isEmpty();
      if (f || !hasImage) postFailure(src, f ? qfDescribeFailure(f) : std::string("no image"), info.triggerNum());
      if (!hasImage) {
        ss.discont = true;
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
        ss.discont = true;
        continue;
      }
      if (!followImageSize(src, *img)) {
        GST_ELEMENT_ERROR(src, CORE, NEGOTIATION, ("The board's images changed to a size downstream does not take"),
                          (nullptr));
        return GST_FLOW_NOT_NEGOTIATED;
      }
      GstBuffer* buf = wrap(src, img);
      if (!buf) {
        GST_ELEMENT_ERROR(src, STREAM, FORMAT, ("The board delivered an image that does not fit the caps"), (nullptr));
        return GST_FLOW_ERROR;
      }
      const GstClockTime boardTime = info.timeStamp() * GST_USECOND;
      if (!gst_base_src_is_live(GST_BASE_SRC(src))) {
        // Not live: the board's clock from the first frame on.
        if (!GST_CLOCK_TIME_IS_VALID(ss.firstBoardTime)) ss.firstBoardTime = boardTime;
        GST_BUFFER_PTS(buf) = boardTime > ss.firstBoardTime ? boardTime - ss.firstBoardTime : 0;
      } else if (GstClock* clock = gst_element_get_clock(GST_ELEMENT(src))) {
        const GstClockTime now = gst_clock_get_time(clock), base = gst_element_get_base_time(GST_ELEMENT(src));
        GST_BUFFER_PTS(buf) = now > base ? now - base : 0;
        gst_object_unref(clock);
      }
      if (ss.period > 0) GST_BUFFER_DURATION(buf) = static_cast<GstClockTime>(ss.period * GST_SECOND);
      GST_BUFFER_OFFSET(buf) = info.triggerNum();
      gst_buffer_add_reference_timestamp_meta(buf, timestampCaps(), boardTime, GST_CLOCK_TIME_NONE);
      if (f && !f.isMissed() && !f.isOverrun()) GST_BUFFER_FLAG_SET(buf, GST_BUFFER_FLAG_CORRUPTED);
      if (f.isMissed() || f.isOverrun()) ss.discont = true;
      if (ss.discont) GST_BUFFER_FLAG_SET(buf, GST_BUFFER_FLAG_DISCONT);
      ss.discont = false;
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

  b->start = start;
  b->stop = stop;
  b->get_caps = getCaps;
  b->negotiate = negotiate;
  b->set_caps = setCaps;
  b->decide_allocation = decideAllocation;
  b->query = query;
  b->unlock = unlock;
  b->unlock_stop = unlockStop;
  p->create = create;
  GST_DEBUG_CATEGORY_INIT(qrnacqsrc_debug, "qrnacqsrc", 0, "Quorin acquisition source");
}

static void gst_qrn_acq_src_init(GstQrnAcqSrc* src) {
  src->settings = new Settings();
  src->session = nullptr;
  src->flushing = new std::atomic<bool>(false);
  src->videoMeta = false;
  gst_base_src_set_live(GST_BASE_SRC(src), TRUE);
  gst_base_src_set_format(GST_BASE_SRC(src), GST_FORMAT_TIME);
}

gboolean qrn_gst_plugin_init(GstPlugin* plugin) {
  return gst_element_register(plugin, "qrnacqsrc", GST_RANK_NONE, GST_TYPE_QRN_ACQ_SRC);
}

gboolean qrn_gst_register_static(void) {
  return gst_plugin_register_static(GST_VERSION_MAJOR, GST_VERSION_MINOR, "qrnacq",
                                    "Quorin Acquisition: frame grabbers and cameras as video sources",
                                    qrn_gst_plugin_init, QRN_VERSION, "unknown", "qrnacq", "qrnacq",
                                    "Quorin Acquisition");
}
