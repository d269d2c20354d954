// Trigger models: how the acquisitions of a FIFO are started.
//
// A qcTriggerModel is a thin public object around a record (qc_TriggerModel)
// that drivers read.  The five predefined models are process-wide constants
// over constant records, built on first call and destroyed at program exit:
//
//   index  access function       name              flags set
//   128    qfManualTrigger()     "Manual"          noBufferImages, canStart
//   129    qfAutoTrigger()       "Automatic"       usesInputLine, automaticFlag, noBufferImages
//   130    qfSemiTrigger()       "Semi-Automatic"  usesInputLine, noBufferImages, canStart
//   131    qfSlaveTrigger()      "Slave"           isSlave, noBufferImages, startFlagA
//   132    qfFreeRunTrigger()    "FreeRun"         noBufferImages
//
// They are returned as const references, so their records never change.
//
// Customizing.  copyForCustomization() makes a model (owned by the caller)
// over a new record, a copy of this model's, named "Custom" with index 132;
// its setters change that record.  Ownership of customized records is shared:
// copying a customized model gives a model over the same record (a change
// through either is seen by both), and the record is deleted when the last
// model referring to it goes.  A model over a record it does not own (a copy
// of a predefined model, or one built from a driver's record) never writes
// that record: its first successful change gives it its own record first,
// exactly as copyForCustomization() would ("Custom", index 132).
//
// Threads: the predefined models may be read from any thread.  A customized
// record is not guarded: do not change it while another thread reads it.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <cstdint>
#include <memory>

#include <qrn/foundation/exception.h>
#include <qrn/foundation/handle.h>

// The record a driver reads.
struct qc_TriggerModel {
  std::uint32_t index;        // identity: 128 to 132
  const char* name;           // the model's name (static storage; "Custom" for a customized record)
  bool usesInputLine;         // the trigger comes from a hardware input line
  bool sourceFlag2;           // second trigger-source flag (triggerSource() 2)
  bool automaticFlag;         // set only in "Automatic"
  bool isSlave;               // triggered by a master FIFO
  bool noBufferImages;        // bufferImages() 0
  bool missedErrorHandling;   // missedErrorHandling() 1 (no predefined model sets it)
  bool canStart;              // software may start acquisitions
  bool startFlagA;            // with canStart: start action 2
  bool startFlagB;            // without canStart: start action 3
  bool bufferHardwareTrigger;  // bufferHardwareTrigger() (no predefined model sets it)
  bool hwAction1,  // hardware trigger action 1 (hardwareTriggerAction(); at most one of the three is set)
      hwAction2,   // hardware trigger action 2
      hwAction3;   // hardware trigger action 3
};

// How acquisitions are triggered (one of qfManualTrigger, qfAutoTrigger, qfSemiTrigger,
// qfSlaveTrigger, qfFreeRunTrigger).
class qcTriggerModel : public virtual qcRepBase {
public:
  // A setter was given a value it does not accept.
  QC_EXCEPTION(BadParams, qcException, 0x100009AF);

  // The types of the model's numbered settings.  Their values are the
  // numbers below and have no names of their own: write
  // qcTriggerModel::qeStartAction(2).  This one: the start action, 0 to 3
  // (startAction()).
  enum qeStartAction : std::int32_t {};
  // Missed-error handling, 0 or 1 (missedErrorHandling()).
  enum qeMissedErrorHandling : std::int32_t {};
  // Whether images are buffered, 0 or 1 (bufferImages()).
  enum qeBufferImages : std::int32_t {};
  // The trigger source, 0 to 2 (triggerSource()).
  enum qeTriggerSource : std::int32_t {};
  // The hardware trigger action, 0 to 3 (hardwareTriggerAction()).
  enum qeHardwareTriggerAction : std::int32_t {};

  // A model over `record`, which it does not own (the record must outlive
  // every model over it).
  explicit qcTriggerModel(const qc_TriggerModel& record);
  // A copy refers to the same record (and shares its ownership, if any).
  qcTriggerModel(const qcTriggerModel& other);
  qcTriggerModel& operator=(const qcTriggerModel& other);
  ~qcTriggerModel() override;

  const char* name() const { return rec_->name; }            // "Manual" ... "FreeRun", or "Custom"
  unsigned long index() const { return rec_->index; }        // 128 to 132 (a customized model: 132)
  bool canStart() const { return rec_->canStart; }           // true when software starts acquisitions (start())
  bool usesInputLine() const { return rec_->usesInputLine; }  // true when a hardware input line triggers
  bool isSlave() const { return rec_->isSlave; }             // true when the FIFO's master triggers it

  // The record's bufferHardwareTrigger flag (false in every predefined
  // model; what it does is the driver's).  Setting another value than the
  // current one gives the model its own record first ("Custom", index 132).
  bool bufferHardwareTrigger() const { return rec_->bufferHardwareTrigger; }
  void bufferHardwareTrigger(bool on);

  // With canStart: 2 when startFlagA is set, else 0.  Without: 3 when
  // startFlagB is set, else 1.
  qeStartAction startAction() const;
  // 0: canStart, no start flag; 1: none of the three; 2: canStart and
  // startFlagA; 3: startFlagB alone.  Other values throw BadParams and change
  // nothing.
  void startAction(qeStartAction action);

  // 1 when missed-error handling is set, else 0.
  qeMissedErrorHandling missedErrorHandling() const;
  // 0 clears, 1 sets; other values throw BadParams.
  void missedErrorHandling(qeMissedErrorHandling mode);

  // 0 when noBufferImages is set, else 1.
  qeBufferImages bufferImages() const;
  // 0 sets noBufferImages, 1 clears it; other values throw BadParams.
  void bufferImages(qeBufferImages value);

  // 0 when the trigger uses the input line; otherwise 2 when sourceFlag2 is
  // set, else 1.
  qeTriggerSource triggerSource() const;
  // 0: input line; 1: neither flag; 2: sourceFlag2 alone.  Other values
  // change nothing.
  void triggerSource(qeTriggerSource source);

  // 1, 2 or 3 for the first of hwAction1..3 that is set, else 0.
  qeHardwareTriggerAction hardwareTriggerAction() const;
  // 0 clears all three.  1, 2 or 3 require usesInputLine set and canStart
  // clear (else BadParams, nothing changed), then set that action alone.
  // Other values change nothing.
  void hardwareTriggerAction(qeHardwareTriggerAction action);

  // A new model (the caller owns it, for example through
  // qcPtrHandle<qcTriggerModel>) over a new record copied from this model's,
  // named "Custom" with index 132.
  qcTriggerModel* copyForCustomization() const;

  // The record drivers read.
  const qc_TriggerModel& internal() const { return *rec_; }
  // True when this model shares the ownership of its (customized) record.
  bool ownsRecord() const { return static_cast<bool>(owned_); }

  // Two models are equal when they refer to the same record.
  friend bool operator==(const qcTriggerModel& a, const qcTriggerModel& b) { return a.rec_ == b.rec_; }
  friend bool operator!=(const qcTriggerModel& a, const qcTriggerModel& b) { return a.rec_ != b.rec_; }

private:
  // The record to change: this model's own, made first when it has none.
  qc_TriggerModel& writable_();

  const qc_TriggerModel* rec_;
  std::shared_ptr<qc_TriggerModel> owned_;  // set for customized records
};

// The predefined models (the table at the top of this file).  Each returns
// the same process-wide constant on every call; copy it, or call
// copyForCustomization(), to change it.

const qcTriggerModel& qfManualTrigger();   // "Manual" (128): start() requests acquisitions; no input line
const qcTriggerModel& qfAutoTrigger();     // "Automatic" (129): each input-line pulse acquires; no start()
const qcTriggerModel& qfSemiTrigger();     // "Semi-Automatic" (130): start() arms, an input-line pulse acquires
const qcTriggerModel& qfSlaveTrigger();    // "Slave" (131): acquires when the master FIFO does; no start()
const qcTriggerModel& qfFreeRunTrigger();  // "FreeRun" (132): acquires continuously while enabled; no start()

QRN_API_END
