#include <qrn/acq/hyper/fgcaps.h>

#include <qrn/acq/hyper/acqfifo.h>

namespace {

// Setting ids read here besides those of qe_SettingId.
constexpr long kExposureId = 1000;                // seconds
constexpr long kMissedTriggerDetectionId = 9007;  // on/off
constexpr long kMasterSlaveId = 9008;             // on/off
constexpr long kBufferedTriggerId = 9009;         // on/off
constexpr long kSampleXId = 9011;
constexpr long kSampleYId = 9012;

const qcSettingInfo* entry(const qcAcqFifo& fifo, long id) { return fifo.fifo().getSettingInfo(id); }

double defaultOf(const qcAcqFifo& fifo, long id) {
  const qcSettingInfo* s = entry(fifo, id);
  return s ? s->defaultValue() : 0.0;
}

double minimumOf(const qcAcqFifo& fifo, long id) {
  const qcSettingInfo* s = entry(fifo, id);
  return s ? s->minimum() : 0.0;
}

double maximumOf(const qcAcqFifo& fifo, long id) {
  const qcSettingInfo* s = entry(fifo, id);
  return s ? s->maximum() : 0.0;
}

const std::vector<long>* sampleSettings(const qcAcqFifo& fifo, long id) {
  return entry(fifo, id) ? fifo.fifo().getValidSampleSettings() : nullptr;
}

}  // namespace

#define QRN_HAS_ENTRY(name, id) \
  bool name(const qcAcqFifo& fifo) { return entry(fifo, id) != nullptr; }
QRN_HAS_ENTRY(qfFQ2IsContrastSupported, qeSetting_Contrast)
QRN_HAS_ENTRY(qfFQ2IsBrightnessSupported, qeSetting_Brightness)
QRN_HAS_ENTRY(qfFQ2IsStrobeEnableSupported, qeSetting_StrobeEnable)
QRN_HAS_ENTRY(qfFQ2IsStrobePulseDurationSupported, qeSetting_StrobePulseDuration)
QRN_HAS_ENTRY(qfFQ2IsStrobeHighSupported, qeSetting_StrobeHigh)
QRN_HAS_ENTRY(qfFQ2IsSampleXSupported, kSampleXId)
QRN_HAS_ENTRY(qfFQ2IsSampleYSupported, kSampleYId)
QRN_HAS_ENTRY(qfFQ2IsTriggerDelaySupported, qeSetting_TriggerDelay)
QRN_HAS_ENTRY(qfFQ2IsMasterSlaveSupported, kMasterSlaveId)
QRN_HAS_ENTRY(qfFQ2IsBufferedTriggerSupported, kBufferedTriggerId)
QRN_HAS_ENTRY(qfFQ2DetectsMissedTriggers, kMissedTriggerDetectionId)
#undef QRN_HAS_ENTRY

double qfFQ2ContrastDefault(const qcAcqFifo& fifo) { return defaultOf(fifo, qeSetting_Contrast); }
double qfFQ2BrightnessDefault(const qcAcqFifo& fifo) { return defaultOf(fifo, qeSetting_Brightness); }
double qfFQ2GetMinExposure(const qcAcqFifo& fifo) { return minimumOf(fifo, kExposureId); }
double qfFQ2GetMinTriggerDelay(const qcAcqFifo& fifo) { return minimumOf(fifo, qeSetting_TriggerDelay); }
double qfFQ2GetMaxTriggerDelay(const qcAcqFifo& fifo) { return maximumOf(fifo, qeSetting_TriggerDelay); }

const std::vector<long>* qfFQ2GetSampleXSettings(const qcAcqFifo& fifo) {
  return sampleSettings(fifo, kSampleXId);
}
const std::vector<long>* qfFQ2GetSampleYSettings(const qcAcqFifo& fifo) {
  return sampleSettings(fifo, kSampleYId);
}
