#include "remote.h"

#include <cmath>

#include <qrn/acq/hyper/prop/acqprops.h>
#include <qrn/acq/hyper/trigmodel.h>
#include <qrn/drivers/sim.h>

namespace qrn_gentl {

namespace {

// The sensor every device shows: a grey format of this size made here (the
// simulated board serves any size); Width, Height and the offsets are its
// region of interest.
constexpr long kSensorWidth = 4096, kSensorHeight = 4096;

const qcStdVideoFormat& sensorFormat() {
  struct Sensor {
    qc_BaseVideoFormat base{
        "qrnacq GenTL sensor 4096x4096", kSensorWidth, kSensorHeight, 8, false, false, false, false};
    qc_VideoFormat vf{base, qe_pelType_unspecified};
    qcStdVideoFormat fmt{vf};
  };
  static const Sensor* s = new Sensor;  // lives as long as the process: FIFOs point at it
  return s->fmt;
}

// TestPattern entries and the simulator's test images.
struct Pattern {
  const char* name;
  const char* testImage;
};
constexpr Pattern kPatterns[] = {
    {"GreyDiagonalRampMoving", "gradient"},
    {"Checkerboard", "checkerboard"},
    {"ColorRamp", "color"},
    {"TwoTapImbalance", "twotap"},
    {"Flat", "flat"},
};

// Seconds per frame for the simulator: 0 is as fast as asked.
std::string periodText(bool enabled, double rate) {
  if (!enabled) return "0";
  char b[40];
  std::snprintf(b, sizeof b, "%.9g", 1.0 / rate);
  return b;
}

// Sets `field` to `v` and applies it; a refusal leaves the old value.
template <class T, class Apply>
void assignApplied(T& field, T v, Apply apply) {
  const T old = field;
  field = v;
  try {
    apply();
  } catch (...) {
    field = old;
    throw;
  }
}

}  // namespace

const std::vector<PixelFormat>& pixelFormats() {
  static const std::vector<PixelFormat> kAll = {
      {"Mono8", 0x01080001, qeImageFormat_Grey8, 1, 1, nullptr},
      {"Mono10", 0x01100003, qeImageFormat_Grey10, 2, 1, nullptr},
      {"Mono12", 0x01100005, qeImageFormat_Grey12, 2, 1, nullptr},
      {"Mono16", 0x01100007, qeImageFormat_Grey16, 2, 1, nullptr},
      {"RGB8", 0x02180014, qeImageFormat_RGB24, 3, 1, nullptr},
      {"BGR8", 0x02180015, qeImageFormat_BGR24, 3, 1, nullptr},
      {"BGRa8", 0x02200017, qeImageFormat_PackedRGB32, 4, 1, nullptr},
      {"RGB8_Planar", 0x02180021, qeImageFormat_3Plane, 1, 3, nullptr},
      {"BayerGR8", 0x01080008, qeImageFormat_Raw8, 1, 1, "bayerGR"},
      {"BayerRG8", 0x01080009, qeImageFormat_Raw8, 1, 1, "bayerRG"},
      {"BayerGB8", 0x0108000A, qeImageFormat_Raw8, 1, 1, "bayerGB"},
      {"BayerBG8", 0x0108000B, qeImageFormat_Raw8, 1, 1, "bayerBG"},
  };
  return kAll;
}

// ---- the gate ----------------------------------------------------------------------

void FifoGate::enter(bool consumer) {
  std::unique_lock<std::mutex> l(m_);
  if (consumer) ++consumers_;
  cv_.wait(l, [&] { return !busy_ && (consumer || consumers_ == 0); });
  if (consumer) --consumers_;
  busy_ = true;
}

void FifoGate::leave() {
  {
    std::lock_guard<std::mutex> g(m_);
    busy_ = false;
  }
  cv_.notify_all();
}

// ---- the device ----------------------------------------------------------------------

RemoteDevice::RemoteDevice(Device& dev, const BoardInfo& board) : dev_(dev), board_(board) {
  const qcStdVideoFormat& sensor = sensorFormat();
  for (const PixelFormat& pf : pixelFormats())
    if (board_.fg->isSupportedEx(sensor, pf.image) && (!pf.testImage || board_.driver == "sim"))
      offered_.push_back(&pf);
  if (offered_.empty()) fail(GC_ERR_NOT_AVAILABLE, "board " + board_.id + " offers no pixel format of the producer");
  makeFifo(*offered_.front());
  port_ = std::make_unique<FeaturePort>("Device", board_.model, "qrnacq_" + board_.driver, features());
  Handles::add(this, Kind::Remote);
}

RemoteDevice::~RemoteDevice() { Handles::remove(this); }

RemoteDevice::Geometry RemoteDevice::geometry() const { return Geometry{width_, height_, offsetX_, offsetY_, format_}; }

void RemoteDevice::requireUnlocked(const char* what) const {
  if (streaming || paramsLocked_)
    fail(GC_ERR_ACCESS_DENIED, std::string(what) + " cannot change while the stream is started (TLParamsLocked)");
}

void RemoteDevice::sendCustom(const std::string& name, const std::string& value) {
  try {
    qfSimSet(*fifo_, name, value);
  } catch (const qcException& e) {
    fail(GC_ERR_INVALID_VALUE, std::string("the board refused ") + name + "=" + value + ": " + e.what());
  }
}

void RemoteDevice::applyRoi(long w, long h, long x, long y) {
  if (x + w > kSensorWidth || y + h > kSensorHeight)
    fail(GC_ERR_INVALID_VALUE, "the region " + std::to_string(w) + "x" + std::to_string(h) + " at " +
                                   std::to_string(x) + "," + std::to_string(y) + " leaves the sensor");
  try {
    static_cast<qcRoiProp&>(fifo_->properties()).roi(qcPelRect(x, y, w, h));
  } catch (const qcException& e) {
    fail(GC_ERR_INVALID_VALUE, std::string("the board refused the region: ") + e.what());
  }
  width_ = w, height_ = h, offsetX_ = x, offsetY_ = y;
}

void RemoteDevice::applyFramePeriod() {
  if (board_.driver == "sim") sendCustom(qrn_sim::kFramePeriod, periodText(rateEnabled_, frameRate_));
}

void RemoteDevice::applyTestImage() {
  if (board_.driver != "sim") return;
  sendCustom(qrn_sim::kTestImage, format_->testImage ? format_->testImage : kPatterns[testPattern_].testImage);
}

void RemoteDevice::makeFifo(const PixelFormat& pf) {
  const double exposure = fifo_ ? static_cast<qcExposureProp&>(fifo_->properties()).exposure() : 0.0;
  qcPtrHandle<qcAcqFifo> made;
  try {
    made = qcPtrHandle<qcAcqFifo>(sensorFormat().newAcqFifoEx(*board_.fg, pf.image));
  } catch (const qcException& e) {
    fail(GC_ERR_INVALID_VALUE, std::string("the board cannot deliver ") + pf.name + ": " + e.what());
  }
  qcPtrHandle<qcAcqFifo> old = fifo_;
  const PixelFormat* oldFormat = format_;
  fifo_ = made;
  format_ = &pf;
  try {
    if (exposure > 0) static_cast<qcExposureProp&>(fifo_->properties()).exposure(exposure);
    applyRoi(width_, height_, offsetX_, offsetY_);
    applyFramePeriod();
    applyTestImage();
  } catch (...) {
    fifo_ = old;
    format_ = oldFormat;
    throw;
  }
}

void RemoteDevice::prepareForStream() {
  fifo_->flush();
  fifo_->triggerModel(triggerMode_ != 0 && triggerSource_ == 1 ? qfAutoTrigger() : qfManualTrigger());
  fifo_->triggerEnable(true);
}

std::vector<Feature> RemoteDevice::features() {
  // Every setter runs on the consumer's thread with a turn of the FIFO.
  auto turn = [this](auto fn) {
    return [this, fn](auto v) {
      FifoGate::Turn t(gate_, true);
      fn(v);
    };
  };
  std::vector<Feature> fs;
  auto enumFeature = [&](const char* name, const char* tip, std::vector<std::pair<std::string, std::int64_t>> entries,
                         std::int64_t* field, bool locked) {
    Feature f = feature(Feature::Enumeration, name, tip, true);
    f.entries = std::move(entries);
    f.getInt = [field] { return *field; };
    f.setInt = turn([this, field, name, locked](std::int64_t v) {
      if (locked) requireUnlocked(name);
      *field = v;
    });
    fs.push_back(f);
  };
  fs.push_back(readOnlyString("DeviceVendorName", "The maker of the board", [this] { return board_.vendor; }));
  fs.push_back(readOnlyString("DeviceModelName", "The board's model", [this] { return board_.model; }));
  fs.push_back(readOnlyString("DeviceSerialNumber", "The board's name and index", [this] { return board_.serial; }));
  {
    Feature f =
        feature(Feature::String, "DeviceUserID", "A name the user gives the device (kept while it is open)", true);
    f.getString = [this] { return userId_; };
    f.setString = [this](const std::string& s) { userId_ = s; };
    fs.push_back(f);
  }
  fs.push_back(readOnlyInteger("SensorWidth", "Pels of a sensor row", [] { return kSensorWidth; }));
  fs.push_back(readOnlyInteger("SensorHeight", "Rows of the sensor", [] { return kSensorHeight; }));
  fs.push_back(readOnlyInteger("WidthMax", "The largest width", [] { return kSensorWidth; }));
  fs.push_back(readOnlyInteger("HeightMax", "The largest height", [] { return kSensorHeight; }));
  auto geometryFeature = [&](const char* name, const char* tip, long* field, std::int64_t min, std::int64_t max) {
    Feature f = feature(Feature::Integer, name, tip, true);
    f.min = min;
    f.max = max;
    f.getInt = [field] { return static_cast<std::int64_t>(*field); };
    f.setInt = turn([this, field, name](std::int64_t v) {
      requireUnlocked(name);
      long w = width_, h = height_, x = offsetX_, y = offsetY_;
      (field == &width_ ? w : field == &height_ ? h : field == &offsetX_ ? x : y) = static_cast<long>(v);
      applyRoi(w, h, x, y);
    });
    fs.push_back(f);
  };
  geometryFeature("Width", "Pels of an image row (the region of interest's width)", &width_, 1, kSensorWidth);
  geometryFeature("Height", "Rows of an image", &height_, 1, kSensorHeight);
  geometryFeature("OffsetX", "The region of interest's left column", &offsetX_, 0, kSensorWidth - 1);
  geometryFeature("OffsetY", "The region of interest's top row", &offsetY_, 0, kSensorHeight - 1);
  {
    Feature f = feature(Feature::Enumeration, "PixelFormat", "The layout of the pels (PFNC)", true);
    for (const PixelFormat* pf : offered_) f.entries.emplace_back(pf->name, static_cast<std::int64_t>(pf->pfnc));
    f.getInt = [this] { return static_cast<std::int64_t>(format_->pfnc); };
    f.setInt = turn([this](std::int64_t v) {
      requireUnlocked("PixelFormat");
      for (const PixelFormat* pf : offered_)
        if (static_cast<std::int64_t>(pf->pfnc) == v) {
          if (pf != format_) makeFifo(*pf);
          return;
        }
    });
    fs.push_back(f);
  }
  fs.push_back(readOnlyInteger("PayloadSize", "Bytes of one image in a buffer",
                               [this] { return static_cast<std::int64_t>(geometry().payload()); }));
  {
    Feature f = feature(Feature::Integer, "TLParamsLocked",
                        "1 while the consumer streams: the size and pixel format are locked", true);
    f.max = 1;
    f.getInt = [this] { return paramsLocked_; };
    f.setInt = [this](std::int64_t v) { paramsLocked_ = v; };
    fs.push_back(f);
  }
  enumFeature("AcquisitionMode", "Continuous: frames until AcquisitionStop; SingleFrame: one frame per start",
              {{"Continuous", 0}, {"SingleFrame", 1}}, &acquisitionMode_, true);
  fs.push_back(
      command("AcquisitionStart", "Frames flow into the started data stream", [this] { acquisitionActive = true; }));
  fs.push_back(
      command("AcquisitionStop", "Frames stop (the data stream stays started)", [this] { acquisitionActive = false; }));
  {
    Feature f =
        feature(Feature::Boolean, "AcquisitionFrameRateEnable", "Off: frames as fast as the board makes them", true);
    f.getInt = [this] { return std::int64_t{rateEnabled_}; };
    f.setInt = turn([this](std::int64_t v) { assignApplied(rateEnabled_, v != 0, [this] { applyFramePeriod(); }); });
    fs.push_back(f);
  }
  {
    Feature f = feature(Feature::Float, "AcquisitionFrameRate", "Frames per second (with AcquisitionFrameRateEnable)");
    f.unit = "Hz";
    f.writable = true;
    f.fmin = 0.01;
    f.fmax = 100000.0;
    f.getFloat = [this] { return frameRate_; };
    f.setFloat = turn([this](double v) { assignApplied(frameRate_, v, [this] { applyFramePeriod(); }); });
    fs.push_back(f);
  }
  {
    Feature f = feature(Feature::Float, "ExposureTime", "Exposure of a frame");
    f.unit = "us";
    f.writable = true;
    f.fmin = 1.0;
    f.fmax = 10e6;
    f.getFloat = [this] {
      FifoGate::Turn t(gate_, true);
      return static_cast<qcExposureProp&>(fifo_->properties()).exposure() * 1e6;
    };
    f.setFloat = turn([this](double v) {
      try {
        static_cast<qcExposureProp&>(fifo_->properties()).exposure(v * 1e-6);
      } catch (const qcException& e) {
        fail(GC_ERR_INVALID_VALUE, std::string("the board refused the exposure: ") + e.what());
      }
    });
    fs.push_back(f);
  }
  static std::int64_t frameStart = 0;
  enumFeature("TriggerSelector", "The trigger the other trigger features set", {{"FrameStart", 0}}, &frameStart, false);
  enumFeature("TriggerMode", "On: a frame per trigger; Off: the camera runs continuously", {{"Off", 0}, {"On", 1}},
              &triggerMode_, true);
  enumFeature("TriggerSource", "Software (TriggerSoftware) or the board's input line 0",
              {{"Software", 0}, {"Line0", 1}}, &triggerSource_, true);
  fs.push_back(command("TriggerSoftware", "One frame (TriggerMode On, TriggerSource Software)", [this] {
    FifoGate::Turn t(gate_, true);
    if (triggerMode_ == 0 || triggerSource_ != 0)
      fail(GC_ERR_ACCESS_DENIED, "TriggerSoftware needs TriggerMode On and TriggerSource Software");
    try {
      fifo_->start(1);
    } catch (const qcException& e) {
      fail(GC_ERR_ERROR, std::string("the board refused the trigger: ") + e.what());
    }
  }));
  if (board_.driver == "sim") {
    std::vector<std::pair<std::string, std::int64_t>> entries;
    for (std::size_t i = 0; i < std::size(kPatterns); ++i) entries.emplace_back(kPatterns[i].name, i);
    Feature f =
        feature(Feature::Enumeration, "TestPattern",
                "The simulated board's test image (the Bayer formats always give the colour scene's mosaic)", true);
    f.entries = entries;
    f.getInt = [this] { return testPattern_; };
    f.setInt = turn([this](std::int64_t v) { assignApplied(testPattern_, v, [this] { applyTestImage(); }); });
    fs.push_back(f);
    Feature c = feature(Feature::String, "QrnCustomItem",
                        "Name=Value: one item of the board's custom property (for example Inject=incomplete)", true);
    c.getString = [this] { return lastCustom_; };
    c.setString = turn([this](const std::string& item) {
      const std::size_t eq = item.find('=');
      if (eq == std::string::npos || eq == 0) fail(GC_ERR_INVALID_VALUE, "give Name=Value, not \"" + item + "\"");
      sendCustom(item.substr(0, eq), item.substr(eq + 1));
      lastCustom_ = item;
    });
    fs.push_back(c);
  }
  return fs;
}

}  // namespace qrn_gentl
