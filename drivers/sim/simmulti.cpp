// The simulated frame grabber's multi-channel FIFO.
#include "simmulti.h"

#include <cstdlib>
#include <string>

#include <qrn/acq/hyper/prop/custom.h>
#include <qrn/drivers/sim.h>

#include "simfifo.h"

namespace qrn_sim {

SimMultiFifo::SimMultiFifo(const qc_VideoFormat& fmt, qc_FrameGrabber* grabber, PelKind kind)
    : qc_MultiAcqFifo(fmt, grabber, kChannels), kind_(kind) {
  for (long i = 0; i < numChannels(); ++i) {
    auto* sim = dynamic_cast<SimFifo*>(&channel(i));
    if (!sim) throw qcAcqFifo::CouldNotCreate();
    Core& core = *sim->core();
    core.locked([&] { core.component_ = static_cast<int>(i); });
    sims_.push_back(sim);
    // A slave takes its frames with its master's; its own enable stays on.
    if (i > 0) sim->triggerEnable(true);
  }
}

void SimMultiFifo::roiMode(qe_RoiMode mode) {
  for (SimFifo* s : sims_) s->roiMode(mode);
}
bool SimMultiFifo::isRoiModeSupported(qe_RoiMode mode) { return sims_[0]->isRoiModeSupported(mode); }
void SimMultiFifo::setPropertyValue(qsScalarValue& v) {
  for (SimFifo* s : sims_) s->setPropertyValue(v);
}
void SimMultiFifo::getPropertyValue(qsScalarValue& v) { sims_[0]->getPropertyValue(v); }
void SimMultiFifo::hardwareImagePoolSize(long n) {
  for (SimFifo* s : sims_) s->hardwareImagePoolSize(n);
}
long SimMultiFifo::hardwareImagePoolSize() const { return sims_[0]->hardwareImagePoolSize(); }
long SimMultiFifo::defaultHardwareImagePoolSize() const { return sims_[0]->defaultHardwareImagePoolSize(); }
double SimMultiFifo::defaultContrast() const { return sims_[0]->defaultContrast(); }
double SimMultiFifo::defaultBrightness() const { return sims_[0]->defaultBrightness(); }
double SimMultiFifo::defaultExposure() const { return sims_[0]->defaultExposure(); }
bool SimMultiFifo::isValidPool(const qcPtrHandle<qcPelRootPool>& pool) { return sims_[0]->isValidPool(pool); }

void SimMultiFifo::update(const qcCustomProp& prop) {
  const qcCustomPropertyBag bag = prop.customValues();
  long only = -1;  // every channel
  for (long i = 0; i < bag.getItemCount(); ++i) {
    const std::string name = bag.getName(i), value = bag.getValue(i);
    const bool command = bag.getType(i) == qcCustomPropertyBag::qeCommand;
    if (name == kChannel && !command) {
      char* end = nullptr;
      const long c = std::strtol(value.c_str(), &end, 10);
      if (value == "all") only = -1;
      else if (!value.empty() && end && *end == '\0' && c >= 0 && c < numChannels()) only = c;
      else throw qcAcqFifo::BadParams();
      continue;
    }
    for (long c = 0; c < numChannels(); ++c) {
      if (only >= 0 && c != only) continue;
      sims_[static_cast<std::size_t>(c)]->core()->customItem(command ? "command" : "write", name, value);
      if (name == kFireInputLine) break;  // one pulse on the board
    }
  }
}

qcPtrHandle<qcAcqImage> SimMultiFifo::completeAcq(const CompleteArgs& args) {
  switch (kind_) {
    case PelKind::rgb16:
      return qcPtrHandle<qcAcqImage>(new qcAcqImage(completeRGB16(args)));
    case PelKind::plane3: {
      const qc3PlanePelBuffer b = complete3Plane(args);
      return qcPtrHandle<qcAcqImage>(new qcAcqImage(args.makeLocal() ? qfPelMove(b, 0) : b));
    }
    default:
      return qcPtrHandle<qcAcqImage>(new qcAcqImage(completeRGB32(args)));
  }
}

}  // namespace qrn_sim
