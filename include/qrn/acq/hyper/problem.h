// Why a FIFO set-up cannot be used: the flags that a driver fills in
// qc_AcqFifo::isValid, returned through qcAcqFifo::isValid.
#pragma once

#include <cstdint>

#include <qrn/foundation/archive.h>

// The flag word that drivers fill.
using qc_ProblemFlags = std::uint32_t;

// Why a FIFO set-up cannot be used: the flags returned through qcAcqFifo::isValid.
class qcAcqProblem {
public:
  enum : std::uint32_t {
    kInvalidMasterOrSlave = 1u << 0,
    kSlavePortInvalid = 1u << 2,
    kSlaveNotSlaveTrigger = 1u << 3,
    kSlaveTriggerNoMaster = 1u << 4,
    kMasterIsSlaveTrigger = 1u << 5,
    kMismatchedExposures = 1u << 6,
    kMismatchedFormats = 1u << 8,
    kInvalidAuxLightPort = 1u << 12,
    kInvalidCameraPort = 1u << 13,
    kTooFewPorts = 1u << 14,
    kBadSyncModel = 1u << 15,
  };

  qcAcqProblem();
  qcAcqProblem(const qcAcqProblem& o);
  qcAcqProblem& operator=(const qcAcqProblem& o);
  virtual ~qcAcqProblem();

  // The word that drivers fill (owned by this object).
  qc_ProblemFlags& flags() { return *flags_; }
  qc_ProblemFlags flags() const { return *flags_; }

  bool hasInvalidMaster() const { return bit(kInvalidMasterOrSlave); }
  bool hasInvalidSlave() const { return bit(kInvalidMasterOrSlave); }
  bool slavePortInvalid() const { return bit(kSlavePortInvalid); }
  bool slaveNotSlaveTrigger() const { return bit(kSlaveNotSlaveTrigger); }
  bool slaveTriggerNoMaster() const { return bit(kSlaveTriggerNoMaster); }
  bool masterIsSlaveTrigger() const { return bit(kMasterIsSlaveTrigger); }
  bool mismatchedExposures() const { return bit(kMismatchedExposures); }
  bool mismatchedFormats() const { return bit(kMismatchedFormats); }
  bool invalidAuxLightPort() const { return bit(kInvalidAuxLightPort); }
  bool invalidCameraPort() const { return bit(kInvalidCameraPort); }
  bool tooFewPorts() const { return bit(kTooFewPorts); }
  bool badSyncModel() const { return bit(kBadSyncModel); }

  // True when any bit of the word is set.
  explicit operator bool() const { return *flags_ != 0; }

  // Archive: version byte 0, then the flag word as a long.
  friend qcArchive& operator||(qcArchive& ar, qcAcqProblem& p);

private:
  bool bit(std::uint32_t b) const { return (*flags_ & b) != 0; }
  qc_ProblemFlags* flags_;
};
