// qrnacqsrc's acquisition session: see session.h.
#include "session.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <mutex>

#include <qrn/acq/ccf/vidfmtext.h>
#include <qrn/acq/hyper/callback.h>
#include <qrn/acq/hyper/driver.h>
#include <qrn/acq/hyper/prop/acqprops.h>
#include <qrn/acq/hyper/trigmodel.h>
#include <qrn/acq/registry/regvalue.h>
#include <qrn/drivers/gige.h>
#include <qrn/drivers/sim.h>
#include <qrn/foundation/board.h>

GST_DEBUG_CATEGORY_EXTERN(qrnacqsrc_debug);
#define GST_CAT_DEFAULT qrnacqsrc_debug

namespace qrngst {

namespace {

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

// The fastest rate the caps offer where the board can change it.
constexpr gint kMaxRate = 100000;
// The simulated board's frame period when neither the format nor the
// board's "framePeriod" setting gives one (include/qrn/drivers/sim.h).
constexpr double kSimDefaultPeriod = 1.0 / 30;

// Appends item to a list in text, after a separator when the list has items.
void appendItem(std::string& list, const std::string& item, const char* separator = ", ") {
  if (!list.empty()) list += separator;
  list += item;
}

std::string formatNames() {
  std::string s;
  for (const FormatMap& m : kFormats) appendItem(s, m.name);
  return s;
}

const qcTriggerModel& modelOf(Trigger t) {
  switch (t) {
    case Trigger::freerun: return qfFreeRunTrigger();
    case Trigger::automatic: return qfAutoTrigger();
    case Trigger::semi: return qfSemiTrigger();
    case Trigger::manual: break;
  }
  return qfManualTrigger();
}

std::string trimmed(const std::string& s) {
  const auto b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

qcPelRect parseRoi(const std::string& text) {
  long v[4];
  char tail = 0;
  if (std::sscanf(text.c_str(), "%ld,%ld,%ld,%ld%c", &v[0], &v[1], &v[2], &v[3], &tail) != 4 || v[0] < 0 ||
      v[1] < 0 || v[2] <= 0 || v[3] <= 0)
    throw SetupError{"bad roi \"" + text + "\": give x,y,width,height (x, y >= 0; sizes > 0)"};
  return qcPelRect(v[0], v[1], v[2], v[3]);
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
double cameraTimingPeriod(const qcStdVideoFormat& fmt) {
  if (const qc_VideoExtCIT* cit = fmt.internal(true).fmtCIT())
    if (cit->pClkFreq() > 0 && cit->hTotal() > 0 && cit->vTotal() > 0)
      return cit->hTotal() * static_cast<double>(cit->vTotal()) * std::max(1L, cit->numFields()) /
             (cit->pClkFreq() * 1e6);
  return 0.0;
}

bool isBoard(qcFrameGrabber& fg, const char* name) {
  const auto* b = dynamic_cast<const qcBoard*>(&fg);
  return b && b->name() == name;
}

// A number in C locale; false when text is not one.
bool parseNumber(const std::string& text, double& v) {
  char* end = nullptr;
  v = g_ascii_strtod(text.c_str(), &end);
  return end && end != text.c_str() && *end == '\0' && std::isfinite(v);
}

}  // namespace

const char* const kTemplateCaps =
    "video/x-raw, format = (string) { GRAY8, GRAY16_LE, BGRx, RGB16, RGBP, GBR }, "
    "width = (int) [ 1, max ], height = (int) [ 1, max ], framerate = (fraction) [ 0/1, max ]";

const FormatMap* mapOf(qeImageFormat f) {
  for (const FormatMap& m : kFormats)
    if (m.imf == f) return &m;
  return nullptr;
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

std::string boardLabel(qcFrameGrabber& fg) {
  const auto* b = dynamic_cast<const qcBoard*>(&fg);
  return b ? b->name() + std::to_string(b->bdIdx()) : std::string("?");
}

void periodToFraction(double period, gint& num, gint& den) {
  num = 0;
  den = 1;
  if (!(period > 0)) return;
  const double rate = 1.0 / period;
  // 30000/1001, 60000/1001, 24000/1001: a rate within 0.01% of one.
  const double ntsc = std::round(rate * 1.001);
  if (ntsc >= 1 && ntsc * 1000 < G_MAXINT && std::fabs(ntsc * 1000 / 1001 - rate) < 1e-4 * rate &&
      std::fabs(ntsc - rate) > 1e-4 * rate) {
    num = static_cast<gint>(ntsc * 1000);
    den = 1001;
    return;
  }
  gst_util_double_to_fraction(rate, &num, &den);
}

Session::~Session() {
  closeFifo();
  if (caps) gst_caps_unref(caps);
}

void Session::closeFifo() {
  if (!fifo) return;
  try {
    if (s.trigger == Trigger::freerun && running) fifo->triggerEnable(false);
  } catch (const std::exception& e) {
    GST_WARNING("stopping the free-running camera: %s", e.what());
  }
  fifo = qcPtrHandle<qcAcqFifo>();
  running = false;
}

void Session::sendItems(const std::vector<std::pair<std::string, std::string>>& items, const std::string& what) {
  if (items.empty()) return;
  // One bag, in order: a "Channel" item applies to the items after it.  The
  // items are actions: the bag is emptied again once sent.
  qcCustomPropertyBag bag;
  for (const auto& [name, value] : items) bag.addItem(qcCustomPropertyBag::qeWrite, name, value);
  qcCustomProp& p = fifo->properties();
  try {
    p.customValues(bag);
  } catch (const qcException& e) {
    p.customValues(qcCustomPropertyBag());
    throw SetupError{"the board refused " + what + ": " + e.what()};
  }
  p.customValues(qcCustomPropertyBag());
}

void Session::openFifo(qeImageFormat f) {
  closeFifo();
  fifo = qcPtrHandle<qcAcqFifo>(fmt->newAcqFifoEx(*fg, f));
  imf = f;
  ahead = 0;
  qcAcqProps& props = fifo->properties();
  sendItems(parseCustom(s.custom), "the custom items \"" + s.custom + "\"");
  if (s.exposure > 0) static_cast<qcExposureProp&>(props).exposure(s.exposure);
  if (!s.roi.empty()) static_cast<qcRoiProp&>(props).roi(parseRoi(s.roi));
  static_cast<qcTimeoutProp&>(props).timeout(s.timeout);
  if (s.poolSize > 0) {
    try {
      fifo->hardwareImagePoolSize(s.poolSize);
    } catch (const qcException& e) {
      throw SetupError{"board " + label + " refused pool-size " + std::to_string(s.poolSize) + " (" + e.what() +
                       "): give 0 for the driver's default, or 2 images or more within what the driver takes"};
    }
  }
  fifo->triggerModel(modelOf(s.trigger));
  const auto counter = overruns;
  fifo->overrunInfoCallback(qfMakeCallback1<const qcAcquireInfo&>([counter](const qcAcquireInfo&) { ++*counter; }));
  if (chosenPeriod > 0) sendPeriod();
  if (s.trigger != Trigger::freerun) fifo->triggerEnable(true);
  std::string why;
  if (!fifo->prepare(why, 2.0)) GST_INFO("the FIFO is not fully prepared: %s", why.c_str());
}

long Session::poolSize() const { return fifo ? fifo->hardwareImagePoolSize() : 0; }

qcPelRect Session::imageRect() const { return static_cast<qcRoiProp&>(fifo->properties()).actualRoi(); }

std::string Session::offeredText() const {
  std::string t;
  for (qeImageFormat f : offered)
    for (GstVideoFormat g : mapOf(f)->gst)
      if (g != kNone) appendItem(t, std::string(gst_video_format_to_string(g)) + " (" + mapOf(f)->name + ")");
  return t;
}

// The frame period the board runs at, and whether downstream may choose
// another: the custom item FramePeriod (the simulated board), else the
// format's camera timing, else what the board says (a camera's
// AcquisitionFrameRate; the simulated board's "framePeriod" setting).
// Frames that wait for a line pulse come when the line says: no rate.
void Session::findPeriod() {
  period = 0;
  periodAdjustable = false;
  if (s.hwTrigger && (s.trigger == Trigger::automatic || s.trigger == Trigger::semi)) return;
  const bool sim = isBoard(*fg, "sim");
  double v = 0;
  if (sim)
    for (const auto& [name, value] : parseCustom(s.custom))
      if (name == qrn_sim::kFramePeriod && parseNumber(value, v)) {
        period = v;
        return;
      }
  period = cameraTimingPeriod(*fmt);
  if (period > 0) return;
  if (sim) {
    period = kSimDefaultPeriod;
    std::string text;
    const std::string key = "SOFTWARE\\Quorin\\ORB\\sim\\board" + std::to_string(dynamic_cast<qcBoard&>(*fg).bdIdx());
    if (qf_regReadString(qe_RegRoot::localMachine, key, "framePeriod", text) && parseNumber(text, v) && v >= 0)
      period = v;
    periodAdjustable = period > 0;
    return;
  }
  if (qfGigeGrabber(*fg)) {
    try {
      double rate = 0;
      if (parseNumber(qfGigeFeature(*fg, "AcquisitionFrameRate"), rate) && rate > 0) {
        period = 1.0 / rate;
        periodAdjustable = true;
      }
    } catch (const std::exception& e) {
      GST_INFO("board %s gives no frame rate: %s", label.c_str(), e.what());
    }
  }
}

void Session::applyPeriod(double seconds) {
  if (!periodAdjustable || std::fabs(seconds - period) <= 1e-9 * period) return;
  GST_INFO("board %s: %g s per frame (was %g)", label.c_str(), seconds, period.load());
  chosenPeriod = seconds;
  sendPeriod();
  period = seconds;
}

void Session::sendPeriod() {
  const double seconds = chosenPeriod;
  char text[G_ASCII_DTOSTR_BUF_SIZE];
  if (isBoard(*fg, "sim")) {
    g_ascii_dtostr(text, sizeof text, seconds);
    sendItems({{qrn_sim::kFramePeriod, text}}, std::string(text) + " s per frame");
  } else if (qc_GigeGrabber* g = qfGigeGrabber(*fg)) {
    try {
      g->feature("AcquisitionFrameRate", g_ascii_dtostr(text, sizeof text, 1.0 / seconds));
    } catch (const qcException& e) {
      throw SetupError{"camera " + label + " refused AcquisitionFrameRate " + text + ": " + e.what()};
    }
  }
}

void Session::makeCaps(const qcPelRect& r) {
  rect = r;
  gint num = 0, den = 1;
  periodToFraction(period, num, den);
  // Where the board can change it, any rate (fixation picks the board's
  // own: fixate()).
  GValue rate = G_VALUE_INIT;
  if (periodAdjustable) {
    g_value_init(&rate, GST_TYPE_FRACTION_RANGE);
    gst_value_set_fraction_range_full(&rate, 1, G_MAXINT, kMaxRate, 1);
  } else {
    g_value_init(&rate, GST_TYPE_FRACTION);
    gst_value_set_fraction(&rate, num, den);
  }
  caps = gst_caps_new_empty();
  for (qeImageFormat f : offered)
    for (GstVideoFormat g : mapOf(f)->gst)
      if (g != kNone) {
        GstStructure* st = gst_structure_new(
            "video/x-raw", "format", G_TYPE_STRING, gst_video_format_to_string(g), "width", G_TYPE_INT,
            static_cast<gint>(r.width()), "height", G_TYPE_INT, static_cast<gint>(r.height()), "pixel-aspect-ratio",
            GST_TYPE_FRACTION, 1, 1, nullptr);
        gst_structure_set_value(st, "framerate", &rate);
        gst_caps_append_structure(caps, st);
      }
  g_value_unset(&rate);
}

void Session::requestFrame() {
  switch (s.trigger) {
    case Trigger::manual: {
      // Four to eight acquisitions ahead, so that the driver always has
      // one queued; started four at a time (a start costs a call into the
      // driver, which wakes its worker).
      if (ahead < 4) {
        fifo->start(static_cast<unsigned long>(8 - ahead));
        ahead = 8;
      }
      break;
    }
    case Trigger::freerun:
      if (!running) fifo->triggerEnable(true);
      break;
    case Trigger::semi:
      fifo->start(1);
      if (!s.hwTrigger) fifo->trigger();
      break;
    case Trigger::automatic:
      if (!s.hwTrigger) fifo->trigger();
      break;
  }
  running = true;
}

// The format and the image formats offered for the settings, on board fg.
void Session::resolve(qcFrameGrabber& board) {
  fg = &board;
  label = boardLabel(board);
  fmt = &selectFormat(board, s.format);
  const std::string fmtName = fmt->name();
  if (!s.imageFormat.empty()) {
    const FormatMap* m = nullptr;
    for (const FormatMap& k : kFormats)
      if (g_ascii_strcasecmp(k.name, s.imageFormat.c_str()) == 0) m = &k;
    if (!m) throw SetupError{"unknown image format \"" + s.imageFormat + "\"; the element takes " + formatNames()};
    if (!fg->isSupportedEx(*fmt, m->imf))
      throw SetupError{"board " + label + " does not offer \"" + fmtName + "\" as " + m->name, true};
    offered.push_back(m->imf);
  } else {
    const qeImageFormat own = fmt->imageFormat();
    if (mapOf(own) && fg->isSupportedEx(*fmt, own)) offered.push_back(own);
    for (qeImageFormat f : kAlsoOffered) {
      const bool have = std::any_of(offered.begin(), offered.end(),
                                    [&](qeImageFormat o) { return mapOf(o)->gst[0] == mapOf(f)->gst[0]; });
      if (!have && fg->isSupportedEx(*fmt, f)) offered.push_back(f);
    }
    if (offered.empty())
      throw SetupError{"board " + label + " offers \"" + fmtName + "\" in no image format the element carries (" +
                       formatNames() + ")"};
  }
}

std::unique_ptr<Session> openSession(const Settings& s) {
  auto ss = std::make_unique<Session>();
  ss->s = s;
  if (!(s.timeout > 0)) throw SetupError{"timeout must be above 0 seconds"};
  ss->resolve(selectBoard(s.board));
  ss->openFifo(ss->offered.front());
  ss->findPeriod();  // after the custom items, which may set it
  if (!s.roi.empty()) {
    const qcPelRect want = parseRoi(s.roi), got = ss->imageRect();
    if (!(got == want))
      ss->notes.push_back("roi " + s.roi + " does not fit the " + std::to_string(ss->fmt->width()) + "x" +
                          std::to_string(ss->fmt->height()) + " frame of \"" + ss->fmt->name() + "\": the board uses " +
                          std::to_string(got.x()) + "," + std::to_string(got.y()) + "," +
                          std::to_string(got.width()) + "," + std::to_string(got.height()));
  }
  ss->makeCaps(ss->imageRect());
  return ss;
}

GstCaps* boardCaps(qcFrameGrabber& fg, std::string& format) {
  Session ss;
  ss.resolve(fg);
  ss.findPeriod();
  format = ss.fmt->name();
  ss.makeCaps(qcPelRect(0, 0, ss.fmt->width(), ss.fmt->height()));
  return gst_caps_ref(ss.caps);
}

}  // namespace qrngst
