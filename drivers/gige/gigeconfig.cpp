// The camera driver FIFO: settings applied to the camera (region, pixel
// format, trigger model, the stream and its buffers, exposure, gain, black
// level, strobe).
#include "gigefifo.h"

#include <unistd.h>

#include <qrn/acq/hyper/syncmodel.h>

namespace qrn_gige {

namespace {

long roundDown(long v, long inc) { return inc > 1 ? v - v % inc : v; }

}  // namespace

bool GigeFifo::shouldRun_() const { return !model_.isSlave && triggerEnable_ && !lost_; }

bool GigeFifo::wantsTrigger_() const {
  return model_.canStart && !model_.usesInputLine && softwareTrigger_ && !pending_.empty() && shouldRun_();
}

void GigeFifo::configure_() {
  std::lock_guard<std::mutex> sg(streamMx_);
  Model model;
  bool run;
  std::string line;
  bool lowToHigh;
  long pool;
  qcPelRect want;
  {
    std::lock_guard<std::mutex> g(m_);
    model = model_;
    run = shouldRun_();
    line = inputLine_;
    lowToHigh = lowToHigh_;
    pool = poolSize_ > 0 ? poolSize_ : kDefaultPoolSize;
    want = roi_.isEmpty() ? qcPelRect(0, 0, width_, height_) : roi_;
  }
  std::lock_guard<std::mutex> g(s_->mutex());
  if (s_->lost()) {
    dropStream_();
    // Stopping needs no camera (a FIFO is stopped on the way out, often
    // from a destructor); anything that should run cannot.
    if (!run) return;
    throw CouldNotCreate("gige: camera " + id_ + " was lost; make the FIFO again once it is back");
  }
  ArvCamera* c = s_->camera();
  if (box_) arv_camera_stop_acquisition(c, nullptr);
  GError* e = nullptr;
  arv_camera_set_pixel_format_from_string(c, pixelFormat_.c_str(), &e);
  check(e, "gige: pixel format " + pixelFormat_);

  // The region: within the format's frame, offsets and sizes on the increments.
  const long x0 = std::max(0L, want.x()), y0 = std::max(0L, want.y());
  const long x1 = std::min(width_, want.x1()), y1 = std::min(height_, want.y1());
  if (x1 <= x0 || y1 <= y0) bad();
  gint wmin = 1, wmax = 0, hmin = 1, hmax = 0;
  arv_camera_get_width_bounds(c, &wmin, &wmax, nullptr);
  arv_camera_get_height_bounds(c, &hmin, &hmax, nullptr);
  const long x = roundDown(x0, arv_camera_get_x_offset_increment(c, nullptr));
  const long y = roundDown(y0, arv_camera_get_y_offset_increment(c, nullptr));
  // A mosaic to convert needs even sizes.
  auto size = [&](long v, long inc, long min) {
    v = roundDown(v, inc);
    while (conv_.fromMosaic() && v % 2 != 0 && v - std::max(inc, 1L) >= min) v -= std::max(inc, 1L);
    return std::max(min, v);
  };
  const long w = size(x1 - x, arv_camera_get_width_increment(c, nullptr), wmin);
  const long h = size(y1 - y, arv_camera_get_height_increment(c, nullptr), hmin);
  if (conv_.fromMosaic() && (w % 2 != 0 || h % 2 != 0)) bad();
  arv_camera_set_region(c, x, y, w, h, &e);
  check(e, "gige: region");
  gint rx, ry, rw, rh;
  arv_camera_get_region(c, &rx, &ry, &rw, &rh, &e);
  check(e, "gige: region");
  const qcPelRect region(rx, ry, rw, rh);

  // The trigger model.
  if (model.canStart && !model.usesInputLine && softwareTrigger_) {
    arv_camera_set_trigger(c, "Software", &e);
  } else if (model.usesInputLine) {
    arv_camera_set_trigger(c, line.c_str(), &e);
    if (!e && arv_camera_is_enumeration_entry_available(c, "TriggerActivation", lowToHigh ? "RisingEdge" : "FallingEdge",
                                                         nullptr))
      arv_camera_set_string(c, "TriggerActivation", lowToHigh ? "RisingEdge" : "FallingEdge", &e);
  } else {
    arv_camera_clear_triggers(c, &e);
  }
  if (e) {
    g_error_free(e);
    bad();
  }
  arv_camera_set_acquisition_mode(c, ARV_ACQUISITION_MODE_CONTINUOUS, &e);
  check(e, "gige: acquisition mode");

  const guint payload = arv_camera_get_payload(c, &e);
  check(e, "gige: payload");
  // A stream of the same frames is kept (making one costs its buffers and,
  // on GigE Vision, its packet ring); any other is made again.
  if (!box_ || box_->payload != payload || box_->buffers != pool || box_->roi != region) {
    // Every buffer is allocated now: a pool of more than half the memory is
    // refused, and a failed allocation is reported, not fatal.
    const unsigned long long memory =
        static_cast<unsigned long long>(::sysconf(_SC_PHYS_PAGES)) * static_cast<unsigned long long>(::sysconf(_SC_PAGESIZE));
    if (static_cast<unsigned long long>(pool) > memory / 2 / std::max<guint>(payload, 1)) bad();
    dropStream_();
    ArvStream* st = arv_camera_create_stream(c, nullptr, nullptr, &e);
    check(e, "gige: stream");
    if (ARV_IS_GV_STREAM(st))
      g_object_set(st, "socket-buffer", ARV_GV_STREAM_SOCKET_BUFFER_AUTO, "packet-resend",
                   ARV_GV_STREAM_PACKET_RESEND_ALWAYS, nullptr);
    for (long i = 0; i < pool; ++i) {
      void* mem = g_try_malloc(payload);
      if (!mem) {
        g_object_unref(st);
        throw CouldNotCreate("gige: no memory for " + std::to_string(pool) + " stream buffers");
      }
      arv_stream_push_buffer(st, arv_buffer_new_full(payload, mem, mem, g_free));
    }
    auto box = std::make_shared<StreamBox>();
    box->stream = st;
    box->payload = payload;
    box->buffers = pool;
    box->roi = region;
    box->link = new StreamLink{{}, this, box};
    g_signal_connect_data(st, "new-buffer", G_CALLBACK(&GigeFifo::onNewBuffer_), box->link,
                          [](gpointer link, GClosure*) { delete static_cast<StreamLink*>(link); }, GConnectFlags(0));
    arv_stream_set_emit_signals(st, TRUE);
    box_ = box;
    std::lock_guard<std::mutex> lk(m_);
    underruns_ = 0;
  }
  {
    std::lock_guard<std::mutex> lk(m_);
    actualRoi_ = region;
    haveFrameId_ = false;
    triggerSent_ = false;
  }
  wcv_.notify_all();
  if (run) {
    arv_camera_start_acquisition(c, &e);
    check(e, "gige: start of acquisition");
  }
}


void GigeFifo::setContrast(double c, long tap) {
  if (tap != 0 || !(c >= 0 && c <= 1)) bad();
  if (gainMax_ <= gainMin_) return;  // the camera has no gain
  std::lock_guard<std::mutex> g(s_->mutex());
  GError* e = nullptr;
  arv_camera_set_gain(s_->camera(), gainMin_ + c * (gainMax_ - gainMin_), &e);
  if (e) {
    g_error_free(e);
    bad();
  }
}
void GigeFifo::setBrightness(double b, long tap) {
  if (tap != 0 || !(b >= 0 && b <= 1)) bad();
  if (blackMax_ <= blackMin_) return;  // the camera has no black level
  std::lock_guard<std::mutex> g(s_->mutex());
  GError* e = nullptr;
  arv_camera_set_black_level(s_->camera(), blackMin_ + b * (blackMax_ - blackMin_), &e);
  if (e) {
    g_error_free(e);
    bad();
  }
}
void GigeFifo::cameraPort(long port) {
  if (port != 0) bad();
}

void GigeFifo::exposure(double s) {
  if (!query_.exposure) return;
  std::lock_guard<std::mutex> g(s_->mutex());
  ArvCamera* c = s_->camera();
  double lo = 0, hi = 0;
  arv_camera_get_exposure_time_bounds(c, &lo, &hi, nullptr);
  const double us = s * 1e6;
  if (!(us >= lo && us <= hi)) bad();
  GError* e = nullptr;
  arv_camera_set_exposure_time(c, us, &e);
  if (e) {
    g_error_free(e);
    bad();
  }
  std::lock_guard<std::mutex> lk(m_);
  triggerRetry_ = triggerRetry(s);
}

void GigeFifo::pelRootPool(qcPtrHandle<qcPelRootPool> pool) {
  if (pool) bad();  // acquires into the stream's own buffers only
}
void GigeFifo::timeout(double s) {
  if (!(s >= 0)) bad();
  std::lock_guard<std::mutex> g(m_);
  timeout_ = s;
}

void GigeFifo::strobeEnable(bool on) {
  if (!query_.strobe) return;
  std::lock_guard<std::mutex> g(s_->mutex());
  ArvCamera* c = s_->camera();
  GError* e = nullptr;
  arv_camera_set_string(c, "LineSelector", s_->strobeLine.c_str(), &e);
  if (!e && on && arv_camera_is_feature_available(c, "LineMode", nullptr)) arv_camera_set_string(c, "LineMode", "Output", &e);
  if (!e) arv_camera_set_string(c, "LineSource", on ? "ExposureActive" : "Off", &e);
  if (e) {
    g_error_free(e);
    bad();
  }
}
void GigeFifo::strobeHigh(bool activeHigh) {
  if (!query_.strobe) return;
  std::lock_guard<std::mutex> g(s_->mutex());
  ArvCamera* c = s_->camera();
  if (!arv_camera_is_feature_available(c, "LineInverter", nullptr)) return;
  arv_camera_set_string(c, "LineSelector", s_->strobeLine.c_str(), nullptr);
  arv_camera_set_boolean(c, "LineInverter", !activeHigh, nullptr);
}

bool GigeFifo::triggerEnable() const {
  std::lock_guard<std::mutex> g(m_);
  return triggerEnable_;
}
// Sets one setting of the FIFO (under its lock) and applies it to the camera;
// a value the camera refuses is set back and applied again, so that the FIFO
// stays as it was, and the refusal is thrown.
void GigeFifo::triggerEnable(bool on) { apply_(triggerEnable_, on); }
void GigeFifo::triggerModel(const qc_TriggerModel& m) {
  {
    std::lock_guard<std::mutex> g(m_);
    pending_.clear();
  }
  apply_(model_, Model{m.canStart, m.usesInputLine, m.isSlave}, true);
}
void GigeFifo::triggerLowToHigh(bool on) {
  if (s_->has("TriggerActivation") && !s_->hasEntry("TriggerActivation", on ? "RisingEdge" : "FallingEdge")) bad();
  bool redo;
  {
    std::lock_guard<std::mutex> g(m_);
    redo = model_.usesInputLine;
    if (!redo) lowToHigh_ = on;
  }
  if (redo) apply_(lowToHigh_, on);
}
void GigeFifo::triggerMaster(qc_AcqFifo* master) {
  if (master) throw qcAcqFifo::InvalidMaster();  // cameras have no master FIFOs
}

void GigeFifo::roi(const qcPelRect& r) {
  if (r.width() < 0 || r.height() < 0) bad();
  apply_(roi_, r, true);
}
void GigeFifo::roiMode(qe_RoiMode mode) {
  if (mode != qeRoiMode_Default) bad();
}
qcPelRect GigeFifo::actualRoi() const {
  std::lock_guard<std::mutex> g(m_);
  return actualRoi_;
}
const qcSyncModel& GigeFifo::defaultSyncModel() const { return qfSyncInternalDrive(); }

void GigeFifo::hardwareImagePoolSize(long n) {
  if (n < 0 || n == 1) bad();
  apply_(poolSize_, n);
}
long GigeFifo::hardwareImagePoolSize() const {
  std::lock_guard<std::mutex> g(m_);
  return poolSize_ > 0 ? poolSize_ : kDefaultPoolSize;
}


}  // namespace qrn_gige
