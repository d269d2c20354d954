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

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <cstdint>

class qcSyncModel;

// The record a driver reads.  The eight flag bytes are the drivers' own.
struct qc_SyncModel {
  // Where the pixel clock comes from; the values of `sourceClass`.
  enum PixelClockSource : long { pixelClockInternal = 0, pixelClockPLL = 1, pixelClockExternal = 2 };

  std::uint32_t index;     // the model's number, firstIndex..lastIndex (the table above)
  const char* name;        // the model's name (static storage)
  unsigned char flags[8];  // 0 or 1 each; their meaning is the drivers'
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
  static constexpr std::uint32_t lastIndex = 163;  // the last model of the table
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

// The models of the table, by name.  Each returns the same process-wide
// constant on every call (never throws); the pixel clock source is the
// record's sourceClass.

const qcSyncModel& qfSyncInternalComposite();        // "Internal composite" (151); pixel clock internal
const qcSyncModel& qfSyncInternalDrive();            // "Internal drive" (152); pixel clock internal
const qcSyncModel& qfSyncInternalHLock();            // "Internal with HLock" (153); pixel clock internal
const qcSyncModel& qfSyncInternalHVLock();           // "Internal with HLock and VLock" (154); pixel clock internal
const qcSyncModel& qfSyncInternal4200();             // "Internal 4200" (155); pixel clock internal
const qcSyncModel& qfSyncExternalPLLComposite();     // "External PLL composite" (156); pixel clock from a PLL
const qcSyncModel& qfSyncExternalPLLSync();          // "External PLL sync" (157); pixel clock from a PLL
const qcSyncModel& qfSyncExternalPLLDrive();         // "External PLL drive" (158); pixel clock from a PLL
const qcSyncModel& qfSyncExternalPixSync();          // "External pixel sync" (159); pixel clock external
const qcSyncModel& qfSyncExternalPixDrive();         // "External pixel drive" (160); pixel clock external
const qcSyncModel& qfSlaveSyncExternalPixDrive0();   // "Slave External pixel drive VTGO" (161); pixel clock external
const qcSyncModel& qfSlaveSyncExternalPixDrive1();   // "Slave External pixel drive VTG1" (162); pixel clock external
const qcSyncModel& qfDisplaySyncExternalPixDrive();  // "Display External pixel drive" (163); pixel clock external

QRN_API_END
