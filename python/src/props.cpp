// The FIFO's property classes beyond exposure, ROI, trigger, strobe, timeout,
// contrast/brightness, LUT and custom items (fifo.cpp): trigger filter,
// settling time, camera port, CTI offset, horizontal adjust, ROI mode, sync
// model, light, line-scan and encoder, clipping, offset clamp, alpha colour,
// camera control, camera test, sampling, readout direction, CDC calibration,
// camera bandwidth and the trigger master.  Each value is an attribute
// named after the library's getter in snake case, in the library's units;
// a call that takes several values or an argument is a method.  The
// library's checks apply (its BadParams arrive as qrnacq.Error subclasses).
#include <climits>
#include <cstdint>
#include <limits>
#include <type_traits>

#include <qrn/acq/hyper/syncmodel.h>

#include "fifo.h"

namespace qrnpy {
namespace {

using Cls = py::class_<Fifo>;

// What Python passes for a value of type T: bools and doubles as they are,
// integers and enumerations as a Python int, range-checked here so that a
// value the C++ type cannot hold is a ValueError instead of a silent wrap.
template <class T>
struct Int {
  using type = T;
};
template <class T>
  requires std::is_enum_v<T>
struct Int<T> {
  using type = std::underlying_type_t<T>;
};
template <class T>
constexpr bool kPlain = std::is_same_v<T, bool> || std::is_floating_point_v<T>;
template <class T>
using PyArg = std::conditional_t<kPlain<T>, T, long long>;

template <class T>
T fromPy(PyArg<T> v, const char* name) {
  if constexpr (kPlain<T>) {
    return v;
  } else {
    using I = typename Int<T>::type;
    if (v < static_cast<long long>(std::numeric_limits<I>::min()) ||
        v > static_cast<long long>(std::numeric_limits<I>::max()))
      throw py::value_error(std::string(name) + " must lie from " +
                            std::to_string(static_cast<long long>(std::numeric_limits<I>::min())) + " to " +
                            std::to_string(static_cast<long long>(std::numeric_limits<I>::max())));
    return static_cast<T>(static_cast<I>(v));
  }
}

template <class T>
auto toPy(T v) {
  if constexpr (kPlain<T>)
    return v;
  else
    return static_cast<long long>(v);
}

// A value with a getter and a setter of the same name in property class P.
template <class P, class T>
void value(Cls& c, const char* name, T (P::*get)() const, void (P::*set)(T), const char* doc) {
  c.def_property(
      name, [get](Fifo& f) { return toPy((prop<P>(f).*get)()); },
      [set, name](Fifo& f, PyArg<T> v) {
        const T t = fromPy<T>(v, name);
        f.unlocked([&](qcAcqFifo& q) { (prop<P>(q).*set)(t); });
      },
      doc);
}

// A value only read (some ask the driver).
template <class P, class R>
void readOnly(Cls& c, const char* name, R (P::*get)() const, const char* doc) {
  c.def_property_readonly(name, [get](Fifo& f) { return toPy((prop<P>(f).*get)()); }, doc);
}

// The sync models by name, the default model ("Default": the FIFO's own)
// first.
const qcSyncModel& syncModelOf(const std::string& name) {
  const std::string want = nameKey(name);
  std::string known;
  for (unsigned long i = qc_SyncModel::firstIndex; i <= qc_SyncModel::lastIndex; ++i) {
    const qcSyncModel& m = qc_SyncModel::fromIndex(i);
    if (nameKey(m.name()) == want) return m;
    known += (known.empty() ? "" : ", ") + std::string(m.name());
  }
  throw py::value_error("unknown sync model \"" + name + "\" (known: " + known + ")");
}

}  // namespace

void bindFifoProps(Cls& c) {
  // ---- trigger filter (qcTriggerFilterProp)
  value(c, "trigger_width", &qcTriggerFilterProp::triggerWidth, &qcTriggerFilterProp::triggerWidth,
        "The shortest trigger pulse taken, seconds (2.999e-6 to 258.001e-6).");
  value(c, "trigger_period", &qcTriggerFilterProp::triggerPeriod, &qcTriggerFilterProp::triggerPeriod,
        "The shortest time between triggers taken, seconds (0 to 65537.001e-6).");
  value(c, "trigger_delay", &qcTriggerFilterProp::triggerDelay, &qcTriggerFilterProp::triggerDelay,
        "The delay from a trigger to the acquisition, seconds (0 to 65535.001e-6, or the driver's "
        "capabilities()[\"max_trigger_delay\"]).");
  value(c, "ignore_missed_trigger", &qcTriggerFilterProp::ignoreMissedTrigger,
        &qcTriggerFilterProp::ignoreMissedTrigger,
        "True: a trigger missed while busy is not reported; False: the next acquisition fails as missed.");

  // ---- settling time, camera port, camera bandwidth
  value(c, "settling_time", &qcSettlingTimeProp::settlingTime, &qcSettlingTimeProp::settlingTime,
        "The time the camera needs after a change of settings, seconds.");
  value(c, "camera_port", &qcCameraPortProp::cameraPort, &qcCameraPortProp::cameraPort,
        "The board's camera port this FIFO acquires from (0 to num_camera_port - 1).");
  readOnly(c, "num_camera_port", &qcCameraPortProp::numCameraPort, "The number of camera ports of the board.");
  value(c, "camera_bandwidth", &qcCameraBandwidthProp::cameraBandwidth, &qcCameraBandwidthProp::cameraBandwidth,
        "The camera's bandwidth as a fraction of its full bandwidth, 0 to 1.");

  // ---- analogue timing (qcCtiProp, qcHorizAdjustProp)
  value(c, "cti_offset", &qcCtiProp::ctiOffset, &qcCtiProp::ctiOffset,
        "The CTI offset, seconds (0 or more; inf: the video format's own).");
  readOnly(c, "actual_cti_offset", &qcCtiProp::actualCtiOffset, "The CTI offset the FIFO actually uses, seconds.");
  value(c, "horiz_adjust", &qcHorizAdjustProp::horizAdjust, &qcHorizAdjustProp::horizAdjust,
        "The horizontal adjustment, seconds (0 or more; inf: the video format's own).");
  readOnly(c, "actual_horiz_adjust", &qcHorizAdjustProp::actualHorizAdjust,
           "The horizontal adjustment the FIFO actually uses, seconds.");

  // ---- region-of-interest mode (the values beyond 0 are the driver's)
  value(c, "roi_mode", &qcRoiProp::roiMode, &qcRoiProp::roiMode,
        "The region-of-interest mode: 0 (the default) or a mode of the driver's (is_roi_mode_supported).");
  c.def(
      "is_roi_mode_supported",
      [](Fifo& f, long long mode) { return prop<qcRoiProp>(f).isModeSupported(fromPy<qcRoiProp::Mode>(mode, "mode")); },
      py::arg("mode"), "Whether the FIFO takes this region-of-interest mode.");

  // ---- sync model, by name
  c.def_property(
      "sync_model", [](Fifo& f) { return std::string(prop<qcSyncProp>(f).syncModel().name()); },
      [](Fifo& f, const std::string& name) {
        const qcSyncModel& m = syncModelOf(name);
        f.unlocked([&](qcAcqFifo& q) { prop<qcSyncProp>(q).syncModel(m); });
      },
      "How the board synchronises to the camera, by name (any case, spaces, '-' and '_' ignored): "
      "\"Default\" (the FIFO's own), \"Internal composite\", \"Internal drive\", \"Internal with HLock\", "
      "\"Internal with HLock and VLock\", \"Internal 4200\", \"External PLL composite\", \"External PLL "
      "sync\", \"External PLL drive\", \"External pixel sync\", \"External pixel drive\", \"Slave "
      "External pixel drive VTGO\", \"Slave External pixel drive VTG1\", \"Display External pixel drive\".");
  c.def_property_readonly(
      "actual_sync_model", [](Fifo& f) { return std::string(prop<qcSyncProp>(f).actualSyncModel().name()); },
      "The sync model the FIFO actually uses (the FIFO's own for \"Default\").");

  // ---- light (qcLightProp); the light callback is on_light (fifo.cpp)
  value(c, "light_enable", &qcLightProp::lightEnable, &qcLightProp::lightEnable, "The light on or off.");
  value(c, "bright_field_power_ratio", &qcLightProp::brightFieldPowerRatio, &qcLightProp::brightFieldPowerRatio,
        "The bright-field share of the light's power, 0 to 1 (the same value as dark_level).");
  value(c, "dark_level", &qcLightProp::darkLevel, &qcLightProp::darkLevel,
        "The dark level, 0 to 1 (the same value as bright_field_power_ratio).");
  value(c, "light_power", &qcLightProp::lightPower, &qcLightProp::lightPower, "The light's power, 0 to 1.");
  value(c, "light_delay", &qcLightProp::lightDelay, &qcLightProp::lightDelay,
        "The delay of the light flash, seconds (0 or more).");
  value(c, "aux_light_port", &qcLightProp::auxLightPort, &qcLightProp::auxLightPort,
        "The camera port of the auxiliary light (-1: none); is_valid() reports a bad one.");
  value(c, "aux_bright_field_power_ratio", &qcLightProp::auxBrightFieldPowerRatio,
        &qcLightProp::auxBrightFieldPowerRatio,
        "The auxiliary light's bright-field share, 0 to 1 (the same value as aux_dark_level).");
  value(c, "aux_dark_level", &qcLightProp::auxDarkLevel, &qcLightProp::auxDarkLevel,
        "The auxiliary dark level, 0 to 1 (the same value as aux_bright_field_power_ratio).");
  value(c, "aux_light_power", &qcLightProp::auxLightPower, &qcLightProp::auxLightPower,
        "The auxiliary light's power, 0 to 1.");
  c.def(
      "lights_off", unlocked(+[](qcAcqFifo& q) { return prop<qcLightProp>(q).lightsOff(); }),
      "Sets light_power and aux_light_power to 0 and turns the lights off; returns the driver's answer.");

  // ---- line scan and encoder (qcFirstPelOffsetProp, qcEncoderControlProp, qcEncoderProp)
  value(c, "first_pel_offset", &qcFirstPelOffsetProp::firstPelOffset, &qcFirstPelOffsetProp::firstPelOffset,
        "The offset of the first pel of a line, pels (0 to 127).");
  value(c, "zero_counter_when_triggered", &qcEncoderControlProp::zeroCounterWhenTriggered,
        &qcEncoderControlProp::zeroCounterWhenTriggered, "True: the encoder counter restarts at each trigger.");
  c.def(
      "zero_counter", unlocked(+[](qcAcqFifo& q) { prop<qcEncoderControlProp>(q).zeroCounter(); }),
      "Sets the encoder counter to 0.");
  readOnly(c, "current_encoder_count", &qcEncoderControlProp::currentEncoderCount, "The encoder counter now.");
  value(c, "use_test_encoder", &qcEncoderProp::useTestEncoder, &qcEncoderProp::useTestEncoder,
        "True: the board's test encoder drives acquisition.");
  value(c, "positive_test_encoder_direction", &qcEncoderProp::positiveTestEncoderDirection,
        &qcEncoderProp::positiveTestEncoderDirection, "The test encoder's direction: True for forward.");
  readOnly(c, "encoder_trigger_enabled", &qcEncoderProp::encoderTriggerEnabled,
           "Whether the encoder triggers on x or y (set_encoder_trigger_enabled).");
  readOnly(c, "x_encoder_trigger_enabled", &qcEncoderProp::xEncoderTriggerEnabled, "Whether the x encoder triggers.");
  readOnly(c, "y_encoder_trigger_enabled", &qcEncoderProp::yEncoderTriggerEnabled, "Whether the y encoder triggers.");
  c.def(
      "set_encoder_trigger_enabled",
      unlocked(+[](qcAcqFifo& q, bool x, bool y) { prop<qcEncoderProp>(q).encoderTriggerEnabled(x, y); }),
      py::arg("x"), py::arg("y") = false, "Turns triggering by the x and the y encoder on or off.");
  readOnly(c, "steps_per_line", &qcEncoderProp::stepsPerLine, "Encoder steps per line (set_steps_per_line).");
  readOnly(c, "step16ths_per_line", &qcEncoderProp::step16thsPerLine,
           "Sixteenths of a step per line beyond steps_per_line.");
  c.def(
      "set_steps_per_line",
      unlocked(+[](qcAcqFifo& q, long steps, long sixteenths) { prop<qcEncoderProp>(q).stepsPerLine(steps, sixteenths); }),
      py::arg("steps"), py::arg("sixteenths") = 0,
      "Sets the encoder steps per line: steps 1 to 4095 and sixteenths 0 to 15.");
  value(c, "encoder_port", &qcEncoderProp::encoderPort, &qcEncoderProp::encoderPort,
        "The encoder port (0 to num_encoder_port - 1).");
  readOnly(c, "num_encoder_port", &qcEncoderProp::numEncoderPort, "The number of encoder ports (0: no limit known).");
  value(c, "encoder_offset", &qcEncoderProp::encoderOffset, &qcEncoderProp::encoderOffset, "The encoder offset, steps.");
  value(c, "positive_acquire_direction", &qcEncoderProp::positiveAcquireDirection,
        &qcEncoderProp::positiveAcquireDirection, "True: lines are acquired while the encoder counts forward.");
  value(c, "use_single_channel", &qcEncoderProp::useSingleChannel, &qcEncoderProp::useSingleChannel,
        "True: the encoder is read on one channel.");
  value(c, "encoder_resolution", &qcEncoderProp::encoderResolution, &qcEncoderProp::encoderResolution,
        "The encoder resolution: 0 (the default) or a value of the driver's.");
  value(c, "start_acq_on_encoder_count", &qcEncoderProp::startAcqOnEncoderCount,
        &qcEncoderProp::startAcqOnEncoderCount, "The encoder count at which acquisition starts (0 to 65535).");
  value(c, "ignore_backward_encoder_counts_between_acquires",
        &qcEncoderProp::ignoreBackwardEncoderCountsBetweenAcquires,
        &qcEncoderProp::ignoreBackwardEncoderCountsBetweenAcquires,
        "True: backward counts between acquisitions are not made up.");
  value(c, "ignore_too_fast_encoder", &qcEncoderProp::ignoreTooFastEncoder, &qcEncoderProp::ignoreTooFastEncoder,
        "True: an encoder too fast for the line rate is not reported as a failure.");
  readOnly(c, "encoder_trigger_latency", &qcEncoderProp::encoderTriggerLatency,
           "The driver's latency from an encoder trigger to the line, lines.");

  // ---- clipping, offset clamp, alpha colour
  value(c, "clipping_enable", &qcClippingProp::clippingEnable, &qcClippingProp::clippingEnable,
        "Clipping of pel values on or off.");
  value(c, "clipping_lower_limit", &qcClippingProp::clippingLowerLimit, &qcClippingProp::clippingLowerLimit,
        "The lower clipping limit, 0 to 255.");
  value(c, "clipping_upper_limit", &qcClippingProp::clippingUpperLimit, &qcClippingProp::clippingUpperLimit,
        "The upper clipping limit, 0 to 255.");
  c.def(
      "set_clipping_limits",
      [](Fifo& f, long long lower, long long upper) {
        const auto lo = fromPy<unsigned char>(lower, "lower"), hi = fromPy<unsigned char>(upper, "upper");
        f.unlocked([&](qcAcqFifo& q) { prop<qcClippingProp>(q).clippingLimits(lo, hi); });
      },
      py::arg("lower"), py::arg("upper"), "Sets both clipping limits (0 to 255), the lower first.");
  value(c, "offset_clamp_mode", &qcOffsetClampProp::offsetClampMode, &qcOffsetClampProp::offsetClampMode,
        "The offset clamp mode: 0 (the default) or a mode of the driver's.");
  value(c, "alpha_enable", &qcAlphaColorProp::alphaEnable, &qcAlphaColorProp::alphaEnable,
        "Whether the alpha byte of packed RGB32 pels is filled.");
  value(c, "alpha_source", &qcAlphaColorProp::alphaSource, &qcAlphaColorProp::alphaSource,
        "Where the alpha byte comes from: 9 (the default) or a source of the driver's.");
  value(c, "alpha_byte", &qcAlphaColorProp::alphaByte, &qcAlphaColorProp::alphaByte,
        "The constant alpha byte, 0 to 255.");

  // ---- digital camera control, camera test
  value(c, "select_high_gain", &qcDigitalCameraControlProp::selectHighGain,
        &qcDigitalCameraControlProp::selectHighGain, "True: the camera's high gain.");
  value(c, "master_clock_frequency", &qcDigitalCameraControlProp::masterClockFrequency,
        &qcDigitalCameraControlProp::masterClockFrequency, "The camera's master clock, megahertz (5 to 40).");
  value(c, "test_pattern_enable", &qcCameraTestProp::testPatternEnable, &qcCameraTestProp::testPatternEnable,
        "The camera's test pattern on or off.");
  value(c, "test_pattern_mode", &qcCameraTestProp::testPatternMode, &qcCameraTestProp::testPatternMode,
        "The test pattern: 0 (the default) or a pattern of the driver's.");
  value(c, "flat_field_value", &qcCameraTestProp::flatFieldValue, &qcCameraTestProp::flatFieldValue,
        "The pel value of a flat-field test pattern, 0 to 255.");

  // ---- sampling, readout direction
  value(c, "sample_x", &qcSampleProp::sampleX, &qcSampleProp::sampleX,
        "Horizontal subsampling: every sample_x-th pel (capabilities()[\"sample_x_settings\"] lists the valid ones).");
  value(c, "sample_y", &qcSampleProp::sampleY, &qcSampleProp::sampleY,
        "Vertical subsampling: every sample_y-th line (capabilities()[\"sample_y_settings\"] lists the valid ones).");
  value(c, "reverse_horiz_readout_enable", &qcReadoutDirectionProp::reverseHorizReadoutEnable,
        &qcReadoutDirectionProp::reverseHorizReadoutEnable, "True: lines are read out right to left.");
  value(c, "reverse_vert_readout_enable", &qcReadoutDirectionProp::reverseVertReadoutEnable,
        &qcReadoutDirectionProp::reverseVertReadoutEnable, "True: the frame is read out bottom to top.");

  // ---- CDC camera calibration
  value(c, "outlier_pel_correction_enable", &qcCdcCameraCalibrationProp::outlierPelCorrectionEnable,
        &qcCdcCameraCalibrationProp::outlierPelCorrectionEnable, "Correction of outlier pels on or off.");
  value(c, "outlier_pel_max_edge", &qcCdcCameraCalibrationProp::outlierPelMaxEdge,
        &qcCdcCameraCalibrationProp::outlierPelMaxEdge, "The largest edge kept by outlier correction, 0 to 127.");
  value(c, "outlier_pel_max_noise", &qcCdcCameraCalibrationProp::outlierPelMaxNoise,
        &qcCdcCameraCalibrationProp::outlierPelMaxNoise, "The largest noise kept by outlier correction, 0 to 127.");
  value(c, "camera_calibration_enable", &qcCdcCameraCalibrationProp::cameraCalibrationEnable,
        &qcCdcCameraCalibrationProp::cameraCalibrationEnable, "The camera's calibration on or off.");

  // ---- trigger master (qcTriggerProp)
  c.def_property(
      "trigger_master",
      [](Fifo& f) -> py::object {
        return prop<qcTriggerProp>(f).triggerMaster() ? f.master : py::none();
      },
      [](Fifo& f, py::object master) {
        qcPtrHandle<qcAcqFifo> h;
        if (!master.is_none()) {
          if (!py::isinstance<Fifo>(master)) throw py::type_error("a trigger master is a qrnacq.Fifo or None");
          h = master.cast<Fifo&>().handle();
        }
        f.unlocked([&](qcAcqFifo& q) { prop<qcTriggerProp>(q).triggerMaster(h); });
        f.master = master;
      },
      "The FIFO whose triggers this one (trigger model \"Slave\") follows; None: none.  Raises "
      "qrnacq.errors.qcAcqFifo.InvalidMaster for a FIFO the driver cannot follow.");
  c.def(
      "could_slave_to",
      [](Fifo& f, Fifo& master) { return prop<qcTriggerProp>(f).couldSlaveTo(master.handle()); },
      py::arg("master"), "Whether this FIFO could follow master's triggers.");
}

}  // namespace qrnpy
