// The camera driver: one board per configured camera, its driver object
// and the camera's own full-sensor format.  Registered with the board list
// when the plugin is loaded.
#include <cstdlib>
#include <iterator>
#include <memory>
#include <mutex>

#include <qrn/acq/ccf/vidfmtext.h>
#include <qrn/acq/format/vidfmt.h>
#include <qrn/acq/hyper/driver.h>
#include <qrn/acq/hyper/framegrabber.h>
#include <qrn/acq/hyper/typedfifo.h>
#include <qrn/acq/registry/regvalue.h>
#include <qrn/drivers/gige.h>
#include <qrn/foundation/board.h>

#include "gigefifo.h"

namespace qrn_gige {

namespace {

// The pel kind of an internal image type, or false.
bool kindOfType(long type, Kind& k) {
  switch (type) {
    case qe_pelType_mono: k = Kind::grey8; return true;
    case qe_pelType_mono16:
    case qe_pelType_mono10:
    case qe_pelType_mono12: k = Kind::grey16; return true;
    case qe_pelType_RAW8: k = Kind::raw8; return true;
    case qe_pelType_RGBpacked16: k = Kind::rgb16; return true;
    case qe_pelType_RGBpacked: k = Kind::rgb32; return true;
    case qe_pelType_RGBplanar: k = Kind::planes3; return true;
    default: return false;
  }
}

// What a format asks for: its camera configuration's pel type, else its own,
// else grey 8 or grey 16 by depth.
bool kindOfFormat(const qc_VideoFormat& f, Kind& k) {
  long type = -1;
  if (const qc_VideoExtCIT* cit = f.fmtCIT()) type = cit->pelType();
  if (type == -1) type = f.pelType();
  if (type == -1) type = f.depth() > 8 ? qe_pelType_mono16 : qe_pelType_mono;
  return kindOfType(type, k);
}

}  // namespace

// One configured camera.
struct BoardState {
  long index = 0;
  std::string id;
  std::mutex m;
  std::shared_ptr<Session> session;  // null while it cannot be opened
  std::string error;                 // why it cannot
  // Facts of the last open (kept while the camera is away).
  bool known = false;
  std::string model;
  long sensorWidth = 0, sensorHeight = 0;
  bool offers[std::size(kAllKinds)] = {};  // by Kind

  // The open session, opening the camera again when it is away or was lost.
  std::shared_ptr<Session> open() {
    std::lock_guard<std::mutex> g(m);
    if (session && !session->lost()) return session;
    session.reset();
    try {
      session = std::make_shared<Session>(id);
    } catch (const CouldNotCreate& e) {
      error = e.why();
      throw;
    }
    error.clear();
    known = true;
    model = session->vendor + " " + session->model;
    sensorWidth = session->sensorWidth;
    sensorHeight = session->sensorHeight;
    for (Kind k : kAllKinds)
      offers[static_cast<int>(k)] = !session->pixelFormatFor(k).empty();
    return session;
  }

  bool supports(const qc_VideoFormat& f, Kind k) {
    if (f.width() <= 0 || f.height() <= 0) return false;
    std::lock_guard<std::mutex> g(m);
    // A camera never reached may support anything: making the FIFO tells.
    if (!known) return true;
    return f.width() <= sensorWidth && f.height() <= sensorHeight && offers[static_cast<int>(k)];
  }
};

class GigeGrabber : public qc_GigeGrabber {
public:
  explicit GigeGrabber(std::shared_ptr<BoardState> s) : s_(std::move(s)) {}

  long numChannels() const override { return 1; }

  qc_AcqFifo* stdGreyAcqFifo(const qc_VideoFormat& f) override { return make_(f, greyKind_()); }
  qc_AcqFifo* stdGrey16AcqFifo(const qc_VideoFormat& f) override { return make_(f, Kind::grey16); }
  qc_AcqFifo* stdRGB16AcqFifo(const qc_VideoFormat& f) override { return make_(f, Kind::rgb16); }
  qc_AcqFifo* stdRGB32AcqFifo(const qc_VideoFormat& f) override { return make_(f, Kind::rgb32); }
  qc_AcqFifo* newAcqFifo(const qc_VideoFormat& f, long type) override {
    Kind k = greyKind_();
    if (type != -1 && !kindOfType(type, k)) throw qcVideoFormat::NotSupported();
    return make_(f, k);
  }
  qc_AcqFifo* newAcqFifo(const qc_VideoFormat& f, const qcBasicFifoTraits& t) override {
    switch (t.pixelFormat()) {
      case qcBasicFifoTraits::qePixelFormat_Grey8: return make_(f, greyKind_());
      case qcBasicFifoTraits::qePixelFormat_Grey16: return make_(f, Kind::grey16);
      case qcBasicFifoTraits::qePixelFormat_RGB16: return make_(f, Kind::rgb16);
      case qcBasicFifoTraits::qePixelFormat_RGB32: return make_(f, Kind::rgb32);
      case qcBasicFifoTraits::qePixelFormat_RGB3Plane: return make_(f, Kind::planes3);
      case qcBasicFifoTraits::qePixelFormat_RGB1Plane: return make_(f, Kind::raw8);
      default: throw qcVideoFormat::NotSupported();
    }
  }

  using qc_FrameGrabber::numCameraPort;
  long numCameraPort(const qc_VideoFormat& f) const override { return isSupported(f) ? 1 : 0; }
  bool isSupported(const qc_VideoFormat& f) const override {
    Kind k;
    return kindOfFormat(f, k) && s_->supports(f, k);
  }
  bool isSupported(const qc_VideoFormat& f, long type) const override {
    Kind k;
    if (type == -1) return isSupported(f);
    return kindOfType(type, k) && s_->supports(f, k);
  }
  bool supportsCCFs() const override { return true; }
  bool isSupportedForLegacy(const qc_VideoFormat& f) const override { return isSupported(f); }
  std::string getUniqueId() const override { return "gige:" + s_->id; }

  std::string cameraModel() const override {
    std::lock_guard<std::mutex> g(s_->m);
    return s_->model;
  }
  std::string cameraId() const override { return s_->id; }
  std::string cameraError() const override {
    std::lock_guard<std::mutex> g(s_->m);
    return s_->error;
  }
  std::string feature(const std::string& name) override { return s_->open()->get(name); }
  void feature(const std::string& name, const std::string& value) override {
    std::shared_ptr<Session> session = s_->open();
    if (session->hasFifo() && Session::fifoOwns(name))
      bad("gige: " + name + " is set by the camera's FIFO (its format, region or trigger model) while the FIFO exists");
    session->set(name, value);
  }
  std::vector<qsGigeFeature> features() override { return s_->open()->list(); }
  std::vector<std::string> pixelFormats() override { return s_->open()->pixelFormats; }
  std::vector<qsGigeImageSource> imageSources() override {
    static const char* const names[] = {"grey8", "grey16", "raw8", "rgb16", "rgb32", "3plane"};  // by Kind
    const std::shared_ptr<Session> s = s_->open();
    std::vector<qsGigeImageSource> out;
    for (Kind k : kAllKinds) {
      const std::string pf = s->pixelFormatFor(k);
      if (const PelFormat* f = pf.empty() ? nullptr : findPelFormat(pf, s->pixelFormatCode(pf)))
        out.push_back({names[static_cast<int>(k)], pf, madeFrom(*f, k)});
    }
    return out;
  }
  ArvCamera* aravisCamera() override { return s_->open()->camera(); }

private:
  // Grey 8 FIFOs take Mono8, else a Bayer mosaic as it comes.
  Kind greyKind_() const {
    std::lock_guard<std::mutex> g(s_->m);
    return !s_->known || s_->offers[static_cast<int>(Kind::grey8)] || !s_->offers[static_cast<int>(Kind::raw8)]
               ? Kind::grey8
               : Kind::raw8;
  }
  qc_AcqFifo* make_(const qc_VideoFormat& f, Kind k) {
    if (f.width() <= 0 || f.height() <= 0) throw qcVideoFormat::NotSupported();
    std::shared_ptr<Session> session = s_->open();
    if (!s_->supports(f, k)) throw qcVideoFormat::NotSupported();
    if (!session->claimFifo())
      throw CouldNotCreate("gige: camera " + s_->id + " already has a FIFO (one at a time per camera)");
    try {
      return new GigeFifo(session, s_->id, f.width(), f.height(), k);
    } catch (...) {
      session->releaseFifo();
      throw;
    }
  }
  std::shared_ptr<BoardState> s_;
};

class GigeBoard : public qcBoard, public qcFrameGrabber {
public:
  explicit GigeBoard(std::shared_ptr<BoardState> s) : s_(std::move(s)) {}
  std::string name() const override { return "gige"; }
  long bdIdx() const override { return s_->index; }

protected:
  qc_FrameGrabber* createInternal() override { return new GigeGrabber(s_); }

private:
  std::shared_ptr<BoardState> s_;
};

namespace {

constexpr const char* kKey = "SOFTWARE\\Quorin\\ORB\\gige";

std::vector<std::string> configuredCameras() {
  std::string list;
  if (const char* env = std::getenv("QUORIN_GIGE_CAMERAS"))
    list = env;
  else
    qf_regReadString(qe_RegRoot::localMachine, kKey, "cameras", list);
  return qfGigeSplitCameraList(list);
}

// The camera's full-sensor format, entered in the format lists while the
// plugin is loaded.
struct SensorFormat {
  std::string name;
  qc_BaseVideoFormat base;
  qc_VideoFormat vf;
  qcStdVideoFormat fmt;
  SensorFormat(std::string n, long w, long h, long depth, qe_pelType t)
      : name(std::move(n)), base{name.c_str(), w, h, depth, false, false, true, true}, vf(base, t), fmt(vf) {}
};

void addSensorFormat(const BoardState& s) {
  static std::vector<std::unique_ptr<SensorFormat>> formats;
  static const struct {
    Kind kind;
    qe_pelType type;
    long depth;
  } kinds[] = {{Kind::grey8, qe_pelType_mono, 8},
               {Kind::grey16, qe_pelType_mono16, 16},
               {Kind::raw8, qe_pelType_RAW8, 8},
               {Kind::rgb32, qe_pelType_RGBpacked, 32}};
  for (const auto& k : kinds) {
    if (!s.offers[static_cast<int>(k.kind)]) continue;
    std::string name = s.model + " " + std::to_string(s.sensorWidth) + "x" + std::to_string(s.sensorHeight);
    if (qf_getFormat(name)) return;  // a camera of the same model already added it
    formats.push_back(std::make_unique<SensorFormat>(std::move(name), s.sensorWidth, s.sensorHeight, k.depth, k.type));
    return;
  }
}

void registerBoards() {
  const std::vector<std::string> ids = configuredCameras();
  for (std::size_t i = 0; i < ids.size(); ++i) {
    auto s = std::make_shared<BoardState>();
    s->index = static_cast<long>(i);
    s->id = ids[i];
    try {
      s->open();
      addSensorFormat(*s);
    } catch (const CouldNotCreate&) {
      // The board stays: making a FIFO tries again and tells why.
    }
    qcBoard::add(std::make_unique<GigeBoard>(s));
  }
}

}  // namespace
}  // namespace qrn_gige

QRN_DRIVER_ENTRY(qrn_gige::registerBoards)
