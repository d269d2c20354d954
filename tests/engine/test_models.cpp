// Trigger and sync models: the constant tables, the setters and their checks,
// customization and record ownership, the sync model lookup, and the named
// types of the model and encoder accessors.
#include <qrn/acq/hyper/arp.h>
#include <qrn/acq/hyper/prop/lsprops.h>
#include <qrn/acq/hyper/syncmodel.h>
#include <qrn/acq/hyper/trigmodel.h>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>

#include <qrn/foundation/misc.h>

namespace {

using TM = qcTriggerModel;

// The settings' named types, taken and returned by the accessors.
template <class T, class V>
constexpr bool takesAndGives(V (T::*)() const, void (T::*)(V)) {
  return true;
}
static_assert(takesAndGives<TM, TM::qeStartAction>(&TM::startAction, &TM::startAction));
static_assert(takesAndGives<TM, TM::qeMissedErrorHandling>(&TM::missedErrorHandling, &TM::missedErrorHandling));
static_assert(takesAndGives<TM, TM::qeBufferImages>(&TM::bufferImages, &TM::bufferImages));
static_assert(takesAndGives<TM, TM::qeTriggerSource>(&TM::triggerSource, &TM::triggerSource));
static_assert(takesAndGives<TM, TM::qeHardwareTriggerAction>(&TM::hardwareTriggerAction, &TM::hardwareTriggerAction));
static_assert(std::is_same_v<decltype(std::declval<const qcEncoderControlProp&>().currentEncoderCount()), long>);
static_assert(std::is_same_v<decltype(std::declval<const qc_Arp&>().encoderResolution()),
                             qcEncoderProp::qeEncoderResolution>);

// Counts the debug assertions fired while it lives.
class AssertCount {
public:
  AssertCount() : start_(qf_assertCount()) {}
  unsigned long fired() const { return qf_assertCount() - start_; }

private:
  unsigned long start_;
};

std::unique_ptr<qcTriggerModel> custom(const qcTriggerModel& m) {
  return std::unique_ptr<qcTriggerModel>(m.copyForCustomization());
}

// The flag word of a record, for comparing whole records in one line.
std::string flags(const qc_TriggerModel& r) {
  const bool f[] = {r.usesInputLine, r.sourceFlag2,    r.automaticFlag,         r.isSlave,   r.noBufferImages,
                    r.missedErrorHandling, r.canStart, r.startFlagA, r.startFlagB, r.bufferHardwareTrigger,
                    r.hwAction1,     r.hwAction2,      r.hwAction3};
  std::string s;
  for (bool b : f) s += b ? '1' : '0';
  return s;
}

}  // namespace

TEST(TriggerModel, PredefinedModels) {
  struct Row {
    const qcTriggerModel& m;
    const char* name;
    unsigned long index;
    // usesInputLine sourceFlag2 automatic isSlave noBuffer missed canStart A B bufHw hw1 hw2 hw3
    const char* flags;
    long startAction, triggerSource;
  };
  const Row rows[] = {
      {qfManualTrigger(), "Manual", 128, "0000101000000", 0, 1},
      {qfAutoTrigger(), "Automatic", 129, "1010100000000", 1, 0},
      {qfSemiTrigger(), "Semi-Automatic", 130, "1000101000000", 0, 0},
      {qfSlaveTrigger(), "Slave", 131, "0001100100000", 1, 1},
      {qfFreeRunTrigger(), "FreeRun", 132, "0000100000000", 1, 1},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_STREQ(r.m.name(), r.name);
    EXPECT_EQ(r.m.index(), r.index);
    EXPECT_EQ(r.m.internal().index, r.index);
    EXPECT_EQ(flags(r.m.internal()), r.flags);
    EXPECT_EQ(r.m.startAction(), r.startAction);
    EXPECT_EQ(r.m.triggerSource(), r.triggerSource);
    EXPECT_EQ(r.m.bufferImages(), 0);
    EXPECT_EQ(r.m.missedErrorHandling(), 0);
    EXPECT_EQ(r.m.hardwareTriggerAction(), 0);
    EXPECT_FALSE(r.m.bufferHardwareTrigger());
    EXPECT_FALSE(r.m.ownsRecord());
  }
  EXPECT_EQ(&qfManualTrigger(), &qfManualTrigger()) << "one shared object per model";
  EXPECT_TRUE(qfSemiTrigger().canStart() && qfSemiTrigger().usesInputLine());
  EXPECT_TRUE(qfSlaveTrigger().isSlave());
  EXPECT_NE(qfManualTrigger(), qfAutoTrigger());
}

TEST(TriggerModel, StartActionSetsTheThreeFlagsAndRejectsOtherValues) {
  auto m = custom(qfManualTrigger());
  struct Row {
    long action;
    bool canStart, a, b;
  };
  for (Row r : {Row{3, false, false, true}, Row{2, true, true, false}, Row{1, false, false, false},
                Row{0, true, false, false}, Row{2, true, true, false}}) {
    SCOPED_TRACE(r.action);
    m->startAction(TM::qeStartAction(r.action));
    EXPECT_EQ(m->startAction(), r.action);
    EXPECT_EQ(m->internal().canStart, r.canStart);
    EXPECT_EQ(m->internal().startFlagA, r.a);
    EXPECT_EQ(m->internal().startFlagB, r.b);
  }
  const std::string before = flags(m->internal());
  for (long bad : {-1L, 4L, 100L}) {
    SCOPED_TRACE(bad);
    EXPECT_THROW(m->startAction(TM::qeStartAction(bad)), qcTriggerModel::BadParams);
    EXPECT_EQ(flags(m->internal()), before) << "a rejected value changes nothing";
    EXPECT_EQ(m->startAction(), 2);
  }
}

TEST(TriggerModel, StartActionSetsTheFlagsFromEveryPredefinedModel) {
  struct Row {
    long action;
    bool canStart, a, b;
  };
  for (const qcTriggerModel* from : {&qfManualTrigger(), &qfAutoTrigger(), &qfSemiTrigger(), &qfSlaveTrigger(),
                                     &qfFreeRunTrigger()})
    for (Row r : {Row{0, true, false, false}, Row{1, false, false, false}, Row{2, true, true, false},
                  Row{3, false, false, true}}) {
      SCOPED_TRACE(std::string(from->name()) + " -> " + std::to_string(r.action));
      auto m = custom(*from);
      m->startAction(TM::qeStartAction(r.action));
      EXPECT_EQ(m->internal().canStart, r.canStart);
      EXPECT_EQ(m->internal().startFlagA, r.a);
      EXPECT_EQ(m->internal().startFlagB, r.b);
    }
}

TEST(TriggerModel, TwoValuedSettersAndTriggerSource) {
  auto m = custom(qfFreeRunTrigger());
  m->missedErrorHandling(TM::qeMissedErrorHandling(1));
  EXPECT_EQ(m->missedErrorHandling(), 1);
  m->missedErrorHandling(TM::qeMissedErrorHandling(0));
  EXPECT_EQ(m->missedErrorHandling(), 0);
  m->bufferImages(TM::qeBufferImages(1));
  EXPECT_EQ(m->bufferImages(), 1);
  EXPECT_FALSE(m->internal().noBufferImages);
  m->bufferImages(TM::qeBufferImages(0));
  EXPECT_EQ(m->bufferImages(), 0);
  m->bufferHardwareTrigger(true);
  EXPECT_TRUE(m->bufferHardwareTrigger());

  const std::string before = flags(m->internal());
  EXPECT_THROW(m->missedErrorHandling(TM::qeMissedErrorHandling(2)), qcTriggerModel::BadParams);
  EXPECT_THROW(m->missedErrorHandling(TM::qeMissedErrorHandling(-1)), qcTriggerModel::BadParams);
  EXPECT_THROW(m->bufferImages(TM::qeBufferImages(2)), qcTriggerModel::BadParams);
  EXPECT_EQ(flags(m->internal()), before);

  struct Row {
    long source;
    bool input, flag2;
  };
  for (Row r : {Row{0, true, false}, Row{2, false, true}, Row{1, false, false}, Row{0, true, false}}) {
    SCOPED_TRACE(r.source);
    m->triggerSource(TM::qeTriggerSource(r.source));
    EXPECT_EQ(m->triggerSource(), r.source);
    EXPECT_EQ(m->internal().usesInputLine, r.input);
    EXPECT_EQ(m->internal().sourceFlag2, r.flag2);
  }
  m->triggerSource(TM::qeTriggerSource(3));
  m->triggerSource(TM::qeTriggerSource(-1));
  EXPECT_EQ(m->triggerSource(), 0) << "other sources change nothing";
}

TEST(TriggerModel, HardwareTriggerActionNeedsInputLineWithoutSoftwareStart) {
  // Semi-Automatic can start: every action is refused.
  auto semi = custom(qfSemiTrigger());
  for (long a : {1L, 2L, 3L}) EXPECT_THROW(semi->hardwareTriggerAction(TM::qeHardwareTriggerAction(a)), qcTriggerModel::BadParams) << a;
  EXPECT_EQ(semi->hardwareTriggerAction(), 0);
  semi->hardwareTriggerAction(TM::qeHardwareTriggerAction(0));  // clearing is always allowed
  // Manual has no input line.
  auto manual = custom(qfManualTrigger());
  EXPECT_THROW(manual->hardwareTriggerAction(TM::qeHardwareTriggerAction(1)), qcTriggerModel::BadParams);

  auto autom = custom(qfAutoTrigger());
  for (long a : {1L, 2L, 3L, 1L}) {
    SCOPED_TRACE(a);
    autom->hardwareTriggerAction(TM::qeHardwareTriggerAction(a));
    EXPECT_EQ(autom->hardwareTriggerAction(), a);
    const qc_TriggerModel& r = autom->internal();
    EXPECT_EQ(r.hwAction1 + r.hwAction2 + r.hwAction3, 1) << "that action alone";
  }
  autom->hardwareTriggerAction(TM::qeHardwareTriggerAction(4));
  autom->hardwareTriggerAction(TM::qeHardwareTriggerAction(-2));
  EXPECT_EQ(autom->hardwareTriggerAction(), 1) << "other values change nothing";
  autom->hardwareTriggerAction(TM::qeHardwareTriggerAction(0));
  EXPECT_EQ(autom->hardwareTriggerAction(), 0);

  // Once software may start, the check refuses again.
  autom->startAction(TM::qeStartAction(0));
  EXPECT_THROW(autom->hardwareTriggerAction(TM::qeHardwareTriggerAction(2)), qcTriggerModel::BadParams);
}

TEST(TriggerModel, CustomizedCopyOwnsASharedRecord) {
  auto c = custom(qfFreeRunTrigger());
  EXPECT_STREQ(c->name(), "Custom");
  EXPECT_EQ(c->index(), 132u);
  EXPECT_EQ(qfFreeRunTrigger().index(), 132u) << "same index as the customized copy";
  EXPECT_EQ(flags(c->internal()), flags(qfFreeRunTrigger().internal()));
  EXPECT_NE(&c->internal(), &qfFreeRunTrigger().internal());
  EXPECT_TRUE(c->ownsRecord());

  c->startAction(TM::qeStartAction(3));
  EXPECT_EQ(qfFreeRunTrigger().startAction(), 1) << "the predefined model is untouched";

  // Copies share the record; it lives until the last model over it goes.
  qcPtrHandle<qcTriggerModel> h(c->copyForCustomization());
  qcTriggerModel copy(*h);
  qcTriggerModel assigned(qfManualTrigger());
  assigned = copy;
  EXPECT_EQ(copy, *h);
  copy.missedErrorHandling(TM::qeMissedErrorHandling(1));
  EXPECT_EQ(h->missedErrorHandling(), 1) << "a change through a copy is seen by all";
  h.reset();
  c.reset();
  EXPECT_EQ(copy.missedErrorHandling(), 1);
  EXPECT_EQ(assigned.startAction(), 3);
  EXPECT_STREQ(assigned.name(), "Custom");
}

TEST(TriggerModel, ChangingACopyOfAPredefinedModelCustomizesOnlyTheCopy) {
  qcTriggerModel m(qfAutoTrigger());
  EXPECT_EQ(m, qfAutoTrigger());
  m.hardwareTriggerAction(TM::qeHardwareTriggerAction(0));  // no change: stays the predefined model
  EXPECT_EQ(m, qfAutoTrigger());
  EXPECT_FALSE(m.ownsRecord());

  m.hardwareTriggerAction(TM::qeHardwareTriggerAction(2));
  EXPECT_NE(m, qfAutoTrigger());
  EXPECT_STREQ(m.name(), "Custom");
  EXPECT_EQ(m.hardwareTriggerAction(), 2);
  EXPECT_EQ(qfAutoTrigger().hardwareTriggerAction(), 0);
  EXPECT_TRUE(m.internal().automaticFlag) << "the other flags were copied";

  // A model over a driver's own record never writes it.
  const qc_TriggerModel driverRecord = qfSlaveTrigger().internal();
  qcTriggerModel d(driverRecord);
  d.bufferImages(TM::qeBufferImages(1));
  EXPECT_TRUE(driverRecord.noBufferImages);
  EXPECT_EQ(d.bufferImages(), 1);
}

TEST(TriggerModel, BadParamsException) {
  try {
    custom(qfManualTrigger())->startAction(TM::qeStartAction(4));
    FAIL() << "no exception";
  } catch (const qcTriggerModel::BadParams& e) {
    EXPECT_EQ(e.errorNumber(), 0x100009AFu);
    EXPECT_EQ(e.messageString(), "qcTriggerModel::BadParams");
    EXPECT_NE(qc_Instantiator::find("qcTriggerModel::BadParams"), nullptr) << "registered for archives";
  }
}

TEST(SyncModel, TableAndLookupByIndex) {
  struct Row {
    const qcSyncModel& m;
    unsigned long index;
    const char* name;
    unsigned char flags[8];
    long source, marker;
  };
  const Row rows[] = {
      {qfSyncInternalComposite(), 151, "Internal composite", {0, 0, 0, 0, 0, 1, 0, 0}, 0, 1},
      {qfSyncInternalDrive(), 152, "Internal drive", {0, 0, 0, 0, 0, 0, 0, 0}, 0, 1},
      {qfSyncInternalHLock(), 153, "Internal with HLock", {0, 0, 1, 0, 1, 0, 1, 0}, 0, 1},
      {qfSyncInternalHVLock(), 154, "Internal with HLock and VLock", {0, 0, 1, 1, 1, 0, 1, 0}, 0, 1},
      {qfSyncInternal4200(), 155, "Internal 4200", {0, 0, 1, 1, 1, 0, 1, 0}, 0, 1},
      {qfSyncExternalPLLComposite(), 156, "External PLL composite", {1, 1, 0, 1, 0, 0, 1, 1}, 1, 0},
      {qfSyncExternalPLLSync(), 157, "External PLL sync", {0, 1, 0, 1, 0, 0, 1, 1}, 1, 0},
      {qfSyncExternalPLLDrive(), 158, "External PLL drive", {0, 1, 0, 1, 0, 0, 0, 0}, 1, 0},
      {qfSyncExternalPixSync(), 159, "External pixel sync", {0, 1, 1, 1, 0, 0, 1, 1}, 2, 0},
      {qfSyncExternalPixDrive(), 160, "External pixel drive", {0, 1, 1, 1, 0, 0, 0, 1}, 2, 0},
      {qfSlaveSyncExternalPixDrive0(), 161, "Slave External pixel drive VTGO", {1, 1, 1, 1, 0, 0, 0, 1}, 2, 0},
      {qfSlaveSyncExternalPixDrive1(), 162, "Slave External pixel drive VTG1", {1, 0, 1, 1, 1, 0, 1, 0}, 2, 0},
      {qfDisplaySyncExternalPixDrive(), 163, "Display External pixel drive", {1, 0, 1, 1, 1, 1, 1, 1}, 2, 0},
  };
  AssertCount asserts;
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    ASSERT_NE(r.m.internal(), nullptr);
    EXPECT_STREQ(r.m.name(), r.name);
    EXPECT_EQ(r.m.index(), r.index);
    EXPECT_EQ(std::memcmp(r.m.internal()->flags, r.flags, 8), 0);
    EXPECT_EQ(r.m.internal()->sourceClass, r.source);
    EXPECT_EQ(r.m.internal()->internalMarker, r.marker);
    EXPECT_EQ(&qc_SyncModel::fromIndex(r.index), &r.m);
  }
  EXPECT_EQ(&qc_SyncModel::fromIndex(150), &qc_SyncModel::defaultModel());
  EXPECT_EQ(qc_SyncModel::defaultModel().index(), 150u);
  EXPECT_EQ(asserts.fired(), 0u);
  EXPECT_EQ(qfSyncInternalDrive(), qc_SyncModel::fromIndex(152));
  EXPECT_NE(qfSyncInternalHVLock(), qfSyncInternal4200()) << "same flags, different models";
}

TEST(SyncModel, UnknownIndexAssertsAndGivesTheDefault) {
  for (unsigned long i : {0ul, 149ul, 164ul, 1000ul}) {
    SCOPED_TRACE(i);
    AssertCount asserts;
    EXPECT_EQ(&qc_SyncModel::fromIndex(i), &qc_SyncModel::defaultModel());
    EXPECT_EQ(asserts.fired(), 1u);
  }
  AssertCount asserts;
  qcSyncModel empty(nullptr);
  EXPECT_STREQ(empty.name(), "");
  EXPECT_EQ(asserts.fired(), 1u);
}
