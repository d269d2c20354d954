// The simulated frame grabber's multi-channel FIFO: an RGB camera on three
// channels.
#pragma once

#include <vector>

#include <qrn/acq/hyper/multififo.h>

#include "simimage.h"

namespace qrn_sim {

class SimFifo;

// Channel i renders colour component i of the test image through one tap;
// the slaves follow their master with their own trigger enabled.  `kind` is
// the colour kind that completeAcq delivers (rgb16, rgb32 or plane3).
class SimMultiFifo : public qc_MultiAcqFifo {
public:
  static constexpr long kChannels = 3;

  SimMultiFifo(const qc_VideoFormat& fmt, qc_FrameGrabber* grabber, PelKind kind);

  // Every channel.
  void roiMode(qe_RoiMode mode) override;
  void setPropertyValue(qsScalarValue& v) override;
  void hardwareImagePoolSize(long n) override;
  // Items go to every channel, or to the one a "Channel" item names.
  void update(const qcCustomProp& p) override;
  // Channel 0's.
  bool isRoiModeSupported(qe_RoiMode mode) override;
  void getPropertyValue(qsScalarValue& v) override;
  double defaultContrast() const override;
  double defaultBrightness() const override;
  double defaultExposure() const override;
  bool isValidPool(const qcPtrHandle<qcPelRootPool>& pool) override;
  long defaultHardwareImagePoolSize() const override;
  long hardwareImagePoolSize() const override;
  // An area camera: no encoder.
  void useSingleChannel(bool) override {}
  void encoderResolution(qe_EncoderResolution) override {}
  void startAcqOnEncoderCount(long) override {}
  void ignoreBackwardEncoderCountsBetweenAcquires(bool) override {}
  void ignoreTooFastEncoder(bool) override {}
  // The combined image of the FIFO's colour kind.
  qcPtrHandle<qcAcqImage> completeAcq(const CompleteArgs& args) override;

private:
  PelKind kind_;
  std::vector<SimFifo*> sims_;  // the channels (owned by the base)
};

}  // namespace qrn_sim
