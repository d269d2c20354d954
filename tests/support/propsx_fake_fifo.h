// A recording test double of the driver FIFO (qc_AcqFifo) for property tests.
//
// Every operation a property may call appends one line to `calls`, in call
// order ("setContrast(0.25,1)", "setLut(256,0)", "update(custom)").  The
// sizes and defaults that association reads are plain fields.  Setting
// `failOn` to an operation name ("setLut", "setContrast", ...) makes that
// operation throw propsx::FifoRefused after recording the call.  Operations
// that a property test has no business calling and that must answer
// something throw std::logic_error.
#pragma once

#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <qrn/acq/hyper/acqfifo.h>
#include <qrn/acq/hyper/prop/custom.h>

namespace propsx {

struct FifoRefused : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class FakeFifo : public qc_AcqFifo {
public:
  // What association reads.
  long taps = 1;
  long entries = 256;
  double contrastDefault = 0.5;
  double brightnessDefault = 0.5;

  std::vector<std::string> calls;
  // The rows that setLut received, in order.
  std::vector<std::vector<unsigned char>> lutRows;
  // The bags that update(const qcCustomProp&) saw, in order.
  std::vector<qcCustomPropertyBag> customBags;
  std::string failOn;

  // ---- what property tests look at ----------------------------------------------
  void setContrast(double c, long tap) override { note("setContrast", c, tap); }
  void setBrightness(double b, long tap) override { note("setBrightness", b, tap); }
  void setLut(const unsigned char* table, long n, long tap) override {
    lutRows.emplace_back(table, table + n);
    note("setLut", n, tap);
  }
  void update(const qcCustomProp& p) override {
    customBags.push_back(p.customValues());
    note("update", "custom");
  }
  long numTaps() const override {
    const_cast<FakeFifo*>(this)->note("numTaps");
    return taps;
  }
  long lutEntries() const override {
    const_cast<FakeFifo*>(this)->note("lutEntries");
    return entries;
  }
  double defaultContrast() const override {
    const_cast<FakeFifo*>(this)->note("defaultContrast");
    return contrastDefault;
  }
  double defaultBrightness() const override {
    const_cast<FakeFifo*>(this)->note("defaultBrightness");
    return brightnessDefault;
  }

  // Calls whose name starts with `prefix`.
  std::vector<std::string> callsOf(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const auto& c : calls)
      if (c.rfind(prefix, 0) == 0) out.push_back(c);
    return out;
  }

  // ---- everything else: recorded, or refused when it must answer --------------
  bool start(unsigned long) override { return unexpected("start"); }
  bool isIdle() const override { return unexpected("isIdle"); }
  bool isWaiting() const override { return unexpected("isWaiting"); }
  bool isAcquiring() const override { return unexpected("isAcquiring"); }
  bool isMovable() const override { return unexpected("isMovable"); }
  bool isComplete() const override { return unexpected("isComplete"); }
  long pendingAcqs() const override { return unexpected("pendingAcqs"); }
  long completedAcqs() const override { return unexpected("completedAcqs"); }
  long availableAcqs() const override { return unexpected("availableAcqs"); }
  bool prepare(std::string*, const qcDeadline&) override { return unexpected("prepare"); }
  bool isPrepared() const override { return unexpected("isPrepared"); }
  void flush() override { note("flush"); }
  void trigger() override { note("trigger"); }
  void waitForStateChange(qc_Resource*) override { note("waitForStateChange"); }
  void cameraPort(long) override { note("cameraPort"); }
  void completeCallback(qcPtrHandle<qcCallback>) override { note("completeCallback"); }
  void completeInfoCallback(InfoCallback) override { note("completeInfoCallback"); }
  void exposure(double) override { note("exposure"); }
  void settlingTime(double) override { note("settlingTime"); }
  void movePartCallback(qcPtrHandle<qcCallback>) override { note("movePartCallback"); }
  void movePartInfoCallback(InfoCallback) override { note("movePartInfoCallback"); }
  void overrunCallback(qcPtrHandle<qcCallback>) override { note("overrunCallback"); }
  void overrunInfoCallback(InfoCallback) override { note("overrunInfoCallback"); }
  void pelRootPool(qcPtrHandle<qcPelRootPool>) override { note("pelRootPool"); }
  void timeout(double) override { note("timeout"); }
  void strobeEnable(bool) override { note("strobeEnable"); }
  void strobePulseDuration(double) override { note("strobePulseDuration"); }
  void strobeHigh(bool) override { note("strobeHigh"); }
  void strobeDelay(double) override { note("strobeDelay"); }
  void syncModel(const qcSyncModel&) override { note("syncModel"); }
  bool triggerEnable() const override { return unexpected("triggerEnable"); }
  void triggerEnable(bool) override { note("triggerEnable"); }
  void triggerModel(const qc_TriggerModel&) override { note("triggerModel"); }
  void triggerLowToHigh(bool) override { note("triggerLowToHigh"); }
  void triggerMaster(qc_AcqFifo*) override { note("triggerMaster"); }
  void ctiOffset(double) override { note("ctiOffset"); }
  void horizAdjust(double) override { note("horizAdjust"); }
  void roi(const qcPelRect&) override { note("roi"); }
  void roiMode(qe_RoiMode) override { note("roiMode"); }
  bool isRoiModeSupported(qe_RoiMode) override { return unexpected("isRoiModeSupported"); }
  void lightCallback(qcPtrHandle<qcCallback1<const void*>>) override { note("lightCallback"); }
  void lightEnable(bool) override { note("lightEnable"); }
  void darkLevel(double) override { note("darkLevel"); }
  void lightPower(double) override { note("lightPower"); }
  void lightDelay(double) override { note("lightDelay"); }
  void auxLightPort(long) override { note("auxLightPort"); }
  void auxDarkLevel(double) override { note("auxDarkLevel"); }
  void auxLightPower(double) override { note("auxLightPower"); }
  void clippingEnable(bool) override { note("clippingEnable"); }
  void clippingLowerLimit(unsigned char) override { note("clippingLowerLimit"); }
  void clippingUpperLimit(unsigned char) override { note("clippingUpperLimit"); }
  void alphaEnable(bool) override { note("alphaEnable"); }
  void alphaSource(qe_AlphaSource) override { note("alphaSource"); }
  void alphaByte(unsigned char) override { note("alphaByte"); }
  void selectHighGain(bool) override { note("selectHighGain"); }
  void masterClockFrequency(double) override { note("masterClockFrequency"); }
  void firstPelOffset(signed char) override { note("firstPelOffset"); }
  void zeroCounterWhenTriggered(bool) override { note("zeroCounterWhenTriggered"); }
  void useTestEncoder(bool) override { note("useTestEncoder"); }
  void positiveTestEncoderDirection(bool) override { note("positiveTestEncoderDirection"); }
  void encoderTriggerEnabled(bool, bool) override { note("encoderTriggerEnabled"); }
  void stepsPerLine(long, long) override { note("stepsPerLine"); }
  void encoderPort(long) override { note("encoderPort"); }
  long numEncoderPort() const override { return unexpected("numEncoderPort"); }
  void encoderOffset(long) override { note("encoderOffset"); }
  void positiveAcquireDirection(bool) override { note("positiveAcquireDirection"); }
  void useSingleChannel(bool) override { note("useSingleChannel"); }
  void encoderResolution(qe_EncoderResolution) override { note("encoderResolution"); }
  void startAcqOnEncoderCount(long) override { note("startAcqOnEncoderCount"); }
  void ignoreBackwardEncoderCountsBetweenAcquires(bool) override { note("ignoreBackward"); }
  void ignoreTooFastEncoder(bool) override { note("ignoreTooFastEncoder"); }
  long encoderTriggerLatency() const override { return unexpected("encoderTriggerLatency"); }
  void zeroCounter() override { note("zeroCounter"); }
  long currentEncoderCount() override { return unexpected("currentEncoderCount"); }
  long numCameraPort() const override { return unexpected("numCameraPort"); }
  qcPtrHandle<qcPelRootPool> defaultPelPool() const override { unexpected("defaultPelPool"); }
  const qcSyncModel& defaultSyncModel() const override { unexpected("defaultSyncModel"); }
  double actualCtiOffset() const override { return unexpected("actualCtiOffset"); }
  double actualHorizAdjust() const override { return unexpected("actualHorizAdjust"); }
  qcPelRect actualRoi() const override { unexpected("actualRoi"); }
  const qcSyncModel& actualSyncModel() const override { unexpected("actualSyncModel"); }
  qcAcqPropertyQuery& propertyQuery() override { unexpected("propertyQuery"); }
  void initializePropertyQuery(qcAcqProps*) override { note("initializePropertyQuery"); }

  // Records one call "name(arg,arg)"; throws FifoRefused when failOn names it.
  template <class... A>
  void note(const char* name, const A&... args) {
    std::ostringstream os;
    os << name << '(';
    [[maybe_unused]] const char* sep = "";
    ((os << sep << args, sep = ","), ...);
    os << ')';
    calls.push_back(os.str());
    if (failOn == name) throw FifoRefused(name);
  }

private:
  [[noreturn]] static bool unexpected(const char* name) {
    throw std::logic_error(std::string("FakeFifo: unexpected call of ") + name);
  }
};

}  // namespace propsx
