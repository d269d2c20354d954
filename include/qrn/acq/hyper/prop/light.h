// Lighting controlled through an acquisition FIFO: a light callback, the main
// light and an auxiliary light.
#pragma once

#include <qrn/acq/hyper/callback.h>
#include <qrn/acq/hyper/prop/propbase.h>

// Values: the light callback (default null), the enable (default off), the
// bright-field power ratio, also called the dark level (0 to 1, default 0),
// the light power (0 to 1, default 0), the light delay in seconds (0 or more,
// default 0.03), the auxiliary light's port (any number, default -1), its
// bright-field power ratio / dark level and its power (0 to 1, default 0).
// Hook first: the FIFO's operation of each value (lightCallback, lightEnable,
// darkLevel, lightPower, lightDelay, auxLightPort, auxDarkLevel,
// auxLightPower) hears it first.  Archive version 0: ratio, power, delay, aux
// port, aux ratio, aux power; the callback and the enable are not archived.
class qcLightProp : public qc_PersistentProp<qcLightProp> {
public:
  QC_EXCEPTION(BadParams, qcException, 0x10000996);
  // Declared for drivers; nothing here throws it.
  QC_EXCEPTION(NotSupported, qcException, 0x100009A4);

  using LightCallback = qcPtrHandle<qcCallback1<const void*>>;

  static constexpr bool defaultLightEnable = false;
  static constexpr double defaultBrightFieldPowerRatio = 0.0;
  static constexpr double defaultLightPower = 0.0;
  static constexpr double defaultDelay = 0.03;
  static constexpr long defaultAuxLightPort = -1;
  static constexpr double defaultAuxBrightFieldPowerRatio = 0.0;
  static constexpr double defaultAuxLightPower = 0.0;

  qcLightProp() = default;
  // The values in field order; throws BadParams for a value out of range.
  qcLightProp(LightCallback cb, bool enable, double ratio, double power, double delay, long auxPort, double auxRatio,
              double auxPower);
  qcLightProp(const qcLightProp&) = default;
  // Through the setters: callback, enable, ratio, dark level, power, delay,
  // aux port, aux ratio, aux dark level, aux power.
  qcLightProp& operator=(const qcLightProp& src);

  LightCallback lightCallback() const { return lightCallback_; }
  void lightCallback(LightCallback cb);
  bool lightEnable() const { return lightEnable_; }
  void lightEnable(bool on);
  // One value under two names.  Throws BadParams outside 0 to 1 (or NaN).
  double brightFieldPowerRatio() const { return brightFieldPowerRatio_; }
  void brightFieldPowerRatio(double ratio);
  double darkLevel() const { return brightFieldPowerRatio_; }
  void darkLevel(double level) { brightFieldPowerRatio(level); }
  // Throws BadParams outside 0 to 1 (or NaN).
  double lightPower() const { return lightPower_; }
  void lightPower(double power);
  // Seconds.  Throws BadParams below 0 (or NaN).
  double lightDelay() const { return lightDelay_; }
  void lightDelay(double seconds);
  long auxLightPort() const { return auxLightPort_; }
  void auxLightPort(long port);
  // One value under two names.  Throws BadParams outside 0 to 1 (or NaN).
  double auxBrightFieldPowerRatio() const { return auxBrightFieldPowerRatio_; }
  void auxBrightFieldPowerRatio(double ratio);
  double auxDarkLevel() const { return auxBrightFieldPowerRatio_; }
  void auxDarkLevel(double level) { auxBrightFieldPowerRatio(level); }
  // Throws BadParams outside 0 to 1 (or NaN).
  double auxLightPower() const { return auxLightPower_; }
  void auxLightPower(double power);

  // Sets both powers to 0 here (without the power operations), then returns
  // the FIFO's lightsOff() when associated, else false.
  bool lightsOff();

private:
  QC_PERSISTENT_PROPERTY(qcLightProp, "acq/hyper/prop/light", 0);
  LightCallback lightCallback_;
  bool lightEnable_ = defaultLightEnable;
  double brightFieldPowerRatio_ = defaultBrightFieldPowerRatio;
  double lightPower_ = defaultLightPower;
  double lightDelay_ = defaultDelay;
  long auxLightPort_ = defaultAuxLightPort;
  double auxBrightFieldPowerRatio_ = defaultAuxBrightFieldPowerRatio;
  double auxLightPower_ = defaultAuxLightPower;
};
