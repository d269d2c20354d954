// Why a FIFO set-up cannot be used: the flags that a driver fills in
// qc_AcqFifo::isValid, returned through qcAcqFifo::isValid.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <cstdint>

#include <qrn/foundation/archive.h>

// The flag word that drivers fill.
using qc_ProblemFlags = std::uint32_t;

// Why a FIFO set-up cannot be used: the flags returned through qcAcqFifo::isValid.
class qcAcqProblem {
public:
  // The flags (bits 1, 7, 9 to 11 and 16 and up are not used).
  enum : std::uint32_t {
    kInvalidMasterOrSlave = 1u << 0,  // a master/slave problem; drivers set it with each of the next six
    kSlavePortInvalid = 1u << 2,      // the slave is on its master's camera port
    kSlaveNotSlaveTrigger = 1u << 3,  // the FIFO has a master but its trigger model is not Slave
    kSlaveTriggerNoMaster = 1u << 4,  // the FIFO's trigger model is Slave but it has no master
    kMasterIsSlaveTrigger = 1u << 5,  // the master's own trigger model is Slave
    kMismatchedExposures = 1u << 6,   // master and slave have different exposures
    kMismatchedFormats = 1u << 8,     // master and slave acquire images of different sizes
    kInvalidAuxLightPort = 1u << 12,  // the auxiliary light port is not a port of the board
    kInvalidCameraPort = 1u << 13,    // the camera port is not a port of the board
    kTooFewPorts = 1u << 14,          // the set-up needs more camera ports than the board has
    kBadSyncModel = 1u << 15,         // the sync model does not suit the board or the format
  };

  // A problem with no flag set; its word is allocated here and owned.  A copy
  // has its own word with the same value; assignment copies the value.
  qcAcqProblem();
  qcAcqProblem(const qcAcqProblem& o);
  qcAcqProblem& operator=(const qcAcqProblem& o);
  virtual ~qcAcqProblem();

  // The word that drivers fill (owned by this object; the reference lives as
  // long as the object).
  qc_ProblemFlags& flags() { return *flags_; }
  qc_ProblemFlags flags() const { return *flags_; }

  // Whether a flag is set: hasInvalidMaster() and hasInvalidSlave() both
  // read kInvalidMasterOrSlave; each other getter reads the flag of its own
  // name (slavePortInvalid() reads kSlavePortInvalid, and so on).
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
// Archives the record (the friend above, declared here so that it is exported).
qcArchive& operator||(qcArchive& ar, qcAcqProblem& p);

QRN_API_END
