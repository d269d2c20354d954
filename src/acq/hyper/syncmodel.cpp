// The sync model records and their public models.
#include <qrn/acq/hyper/syncmodel.h>

#include <iterator>

#include <qrn/foundation/misc.h>

namespace {

using S = qc_SyncModel;
constexpr long kInternal = S::pixelClockInternal, kPLL = S::pixelClockPLL, kPixel = S::pixelClockExternal;

// Index order: entry i has index 150 + i.
const qc_SyncModel kRecords[] = {
    {150, "Default", {0, 0, 0, 0, 0, 0, 0, 0}, kInternal, 0},
    {151, "Internal composite", {0, 0, 0, 0, 0, 1, 0, 0}, kInternal, 1},
    {152, "Internal drive", {0, 0, 0, 0, 0, 0, 0, 0}, kInternal, 1},
    {153, "Internal with HLock", {0, 0, 1, 0, 1, 0, 1, 0}, kInternal, 1},
    {154, "Internal with HLock and VLock", {0, 0, 1, 1, 1, 0, 1, 0}, kInternal, 1},
    {155, "Internal 4200", {0, 0, 1, 1, 1, 0, 1, 0}, kInternal, 1},
    {156, "External PLL composite", {1, 1, 0, 1, 0, 0, 1, 1}, kPLL, 0},
    {157, "External PLL sync", {0, 1, 0, 1, 0, 0, 1, 1}, kPLL, 0},
    {158, "External PLL drive", {0, 1, 0, 1, 0, 0, 0, 0}, kPLL, 0},
    {159, "External pixel sync", {0, 1, 1, 1, 0, 0, 1, 1}, kPixel, 0},
    {160, "External pixel drive", {0, 1, 1, 1, 0, 0, 0, 1}, kPixel, 0},
    {161, "Slave External pixel drive VTGO", {1, 1, 1, 1, 0, 0, 0, 1}, kPixel, 0},
    {162, "Slave External pixel drive VTG1", {1, 0, 1, 1, 1, 0, 1, 0}, kPixel, 0},
    {163, "Display External pixel drive", {1, 0, 1, 1, 1, 1, 1, 1}, kPixel, 0},
};
constexpr unsigned long kCount = std::size(kRecords);
static_assert(kCount == S::lastIndex - S::firstIndex + 1);

// The models, built on first use.
const qcSyncModel& model(unsigned long offset) {
  static const qcSyncModel models[] = {
      qcSyncModel(&kRecords[0]),  qcSyncModel(&kRecords[1]),  qcSyncModel(&kRecords[2]),
      qcSyncModel(&kRecords[3]),  qcSyncModel(&kRecords[4]),  qcSyncModel(&kRecords[5]),
      qcSyncModel(&kRecords[6]),  qcSyncModel(&kRecords[7]),  qcSyncModel(&kRecords[8]),
      qcSyncModel(&kRecords[9]),  qcSyncModel(&kRecords[10]), qcSyncModel(&kRecords[11]),
      qcSyncModel(&kRecords[12]), qcSyncModel(&kRecords[13]),
  };
  static_assert(std::size(models) == kCount);
  return models[offset];
}

// Build the constant catalogue at load time, like the module's other
// constant objects (first use would build it as well).
const bool kBuiltAtLoad = (model(0), true);

}  // namespace

const qcSyncModel& qc_SyncModel::fromIndex(unsigned long i) {
  if (i < firstIndex || i > lastIndex) {
    qstd_assert(i >= firstIndex && i <= lastIndex);
    return defaultModel();
  }
  return model(i - firstIndex);
}

const qcSyncModel& qc_SyncModel::defaultModel() { return model(0); }

const char* qcSyncModel::name() const {
  qstd_assert(rec_ != nullptr);
  return rec_ ? rec_->name : "";
}

unsigned long qcSyncModel::index() const {
  qstd_assert(rec_ != nullptr);
  return rec_ ? rec_->index : 0;
}

const qcSyncModel& qfSyncInternalComposite() { return model(1); }
const qcSyncModel& qfSyncInternalDrive() { return model(2); }
const qcSyncModel& qfSyncInternalHLock() { return model(3); }
const qcSyncModel& qfSyncInternalHVLock() { return model(4); }
const qcSyncModel& qfSyncInternal4200() { return model(5); }
const qcSyncModel& qfSyncExternalPLLComposite() { return model(6); }
const qcSyncModel& qfSyncExternalPLLSync() { return model(7); }
const qcSyncModel& qfSyncExternalPLLDrive() { return model(8); }
const qcSyncModel& qfSyncExternalPixSync() { return model(9); }
const qcSyncModel& qfSyncExternalPixDrive() { return model(10); }
const qcSyncModel& qfSlaveSyncExternalPixDrive0() { return model(11); }
const qcSyncModel& qfSlaveSyncExternalPixDrive1() { return model(12); }
const qcSyncModel& qfDisplaySyncExternalPixDrive() { return model(13); }
