// Lighting controlled through an acquisition FIFO: a light callback, the main
// light and an auxiliary light.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

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
  // A ratio or power outside 0 to 1, a negative delay, or NaN.
  QC_EXCEPTION(BadParams, qcException, 0x10000996);
  // Declared for drivers; nothing here throws it.
  QC_EXCEPTION(NotSupported, qcException, 0x100009A4);

  // A shared handle to a callback that takes the light controller's opaque
  // pointer (see callback.h); null: no callback.
  using LightCallback = qcPtrHandle<qcCallback1<const void*>>;

  // The values of a default-constructed property: light off, ratios and
  // powers 0, delay 0.03 s, no auxiliary light port (-1).
  static constexpr bool defaultLightEnable = false;
  static constexpr double defaultBrightFieldPowerRatio = 0.0;
  static constexpr double defaultLightPower = 0.0;
  static constexpr double defaultDelay = 0.03;
  static constexpr long defaultAuxLightPort = -1;
  static constexpr double defaultAuxBrightFieldPowerRatio = 0.0;
  static constexpr double defaultAuxLightPower = 0.0;

  // A free property without a callback, holding the defaults.
  qcLightProp() = default;
  // A free property holding the values in field order, set through the
  // setters; throws BadParams for a value out of range.
  qcLightProp(LightCallback cb, bool enable, double ratio, double power, double delay, long auxPort, double auxRatio,
              double auxPower);
  // A copy shares src's callback, holds its values and is free.
  qcLightProp(const qcLightProp&) = default;
  // Through the setters: callback, enable, ratio, dark level, power, delay,
  // aux port, aux ratio, aux dark level, aux power.  The target keeps its
  // association; a FIFO exception stops the assignment where it occurs.
  qcLightProp& operator=(const qcLightProp& src);

  // Each setter below passes its value to an associated FIFO before storing
  // it; a FIFO exception passes and leaves the value unchanged.

  // The light callback (a shared handle; null: none).
  LightCallback lightCallback() const { return lightCallback_; }
  void lightCallback(LightCallback cb);
  // Whether the main light is on.
  bool lightEnable() const { return lightEnable_; }
  void lightEnable(bool on);
  // The main light's bright-field power ratio, a fraction from 0 to 1: one
  // value under two names (the FIFO hears darkLevel).  Throws BadParams
  // outside 0 to 1 (or NaN).
  double brightFieldPowerRatio() const { return brightFieldPowerRatio_; }
  void brightFieldPowerRatio(double ratio);
  double darkLevel() const { return brightFieldPowerRatio_; }
  void darkLevel(double level) { brightFieldPowerRatio(level); }
  // The main light's power, a fraction from 0 to 1.  Throws BadParams
  // outside 0 to 1 (or NaN).
  double lightPower() const { return lightPower_; }
  void lightPower(double power);
  // The light delay in seconds.  Throws BadParams below 0 (or NaN).
  double lightDelay() const { return lightDelay_; }
  void lightDelay(double seconds);

  // The auxiliary light's port (any number, not checked; -1 by default).
  long auxLightPort() const { return auxLightPort_; }
  void auxLightPort(long port);
  // The auxiliary light's bright-field power ratio, a fraction from 0 to 1:
  // one value under two names (the FIFO hears auxDarkLevel).  Throws
  // BadParams outside 0 to 1 (or NaN).
  double auxBrightFieldPowerRatio() const { return auxBrightFieldPowerRatio_; }
  void auxBrightFieldPowerRatio(double ratio);
  double auxDarkLevel() const { return auxBrightFieldPowerRatio_; }
  void auxDarkLevel(double level) { auxBrightFieldPowerRatio(level); }
  // The auxiliary light's power, a fraction from 0 to 1.  Throws BadParams
  // outside 0 to 1 (or NaN).
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

QRN_API_END
