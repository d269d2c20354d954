// Sync models: how the camera and the frame grabber are synchronized.
//
// A qcSyncModel is a thin public object around a constant record
// (qc_SyncModel) that drivers read.  The thirteen models of the table below
// and the default model are process-wide constants, built on first use and
// returned by reference; they live until program exit.  All of them may be
// read from any thread.
//
//   index  access function                  name
//   150    qc_SyncModel::defaultModel()     "Default" (the FIFO's own default)
//   151    qfSyncInternalComposite()        "Internal composite"
//   152    qfSyncInternalDrive()            "Internal drive"
//   153    qfSyncInternalHLock()            "Internal with HLock"
//   154    qfSyncInternalHVLock()           "Internal with HLock and VLock"
//   155    qfSyncInternal4200()             "Internal 4200"
//   156    qfSyncExternalPLLComposite()     "External PLL composite"
//   157    qfSyncExternalPLLSync()          "External PLL sync"
//   158    qfSyncExternalPLLDrive()         "External PLL drive"
//   159    qfSyncExternalPixSync()          "External pixel sync"
//   160    qfSyncExternalPixDrive()         "External pixel drive"
//   161    qfSlaveSyncExternalPixDrive0()   "Slave External pixel drive VTGO"
//   162    qfSlaveSyncExternalPixDrive1()   "Slave External pixel drive VTG1"
//   163    qfDisplaySyncExternalPixDrive()  "Display External pixel drive"
#pragma once

#include <cstdint>

class qcSyncModel;

// The record a driver reads.  The eight flag bytes are the drivers' own.
struct qc_SyncModel {
  // Where the pixel clock comes from; the values of `sourceClass`.
  enum PixelClockSource : long { pixelClockInternal = 0, pixelClockPLL = 1, pixelClockExternal = 2 };

  std::uint32_t index;
  const char* name;
  unsigned char flags[8];
  long sourceClass;     // a PixelClockSource
  long internalMarker;  // 1 for the internal models, else 0

  // The model of index i: 151 to 163 give the models of the table, 150 the
  // default model.  Any other index fires a debug assertion and gives the
  // default model too.
  static const qcSyncModel& fromIndex(unsigned long i);
  // The model that stands for "the FIFO's own default" (index 150).  The sync
  // property's defaultSyncModel() is this object.
  static const qcSyncModel& defaultModel();

  static constexpr std::uint32_t firstIndex = 150;  // the default model
  static constexpr std::uint32_t lastIndex = 163;
};

// How the board synchronises to the camera (one of the qfSync... models).
class qcSyncModel {
public:
  // Wraps a record (not owned; it must outlive the model).
  explicit qcSyncModel(const qc_SyncModel* record) : rec_(record) {}

  // The record.
  const qc_SyncModel* internal() const { return rec_; }
  // The model's name; a debug assertion and "" when no record is set.
  const char* name() const;
  // The record's index (150 to 163 for the models of this module); a debug
  // assertion and 0 when no record is set.
  unsigned long index() const;

  // Two models are equal when they wrap the same record.
  friend bool operator==(const qcSyncModel& a, const qcSyncModel& b) { return a.rec_ == b.rec_; }
  friend bool operator!=(const qcSyncModel& a, const qcSyncModel& b) { return a.rec_ != b.rec_; }

private:
  const qc_SyncModel* rec_;
};

const qcSyncModel& qfSyncInternalComposite();
const qcSyncModel& qfSyncInternalDrive();
const qcSyncModel& qfSyncInternalHLock();
const qcSyncModel& qfSyncInternalHVLock();
const qcSyncModel& qfSyncInternal4200();
const qcSyncModel& qfSyncExternalPLLComposite();
const qcSyncModel& qfSyncExternalPLLSync();
const qcSyncModel& qfSyncExternalPLLDrive();
const qcSyncModel& qfSyncExternalPixSync();
const qcSyncModel& qfSyncExternalPixDrive();
const qcSyncModel& qfSlaveSyncExternalPixDrive0();
const qcSyncModel& qfSlaveSyncExternalPixDrive1();
const qcSyncModel& qfDisplaySyncExternalPixDrive();
