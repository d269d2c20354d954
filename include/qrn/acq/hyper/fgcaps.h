// Capability questions about a FIFO, answered from its driver's settings
// database (qc_AcqFifo::settingDataBase(), <qrn/acq/hyper/acqfifo.h>), so
// that callers need not know the setting ids.
//
//   if (qfFQ2IsTriggerDelaySupported(fifo))
//     delay = std::clamp(delay, qfFQ2GetMinTriggerDelay(fifo), qfFQ2GetMaxTriggerDelay(fifo));
//
// The first call on a FIFO makes the driver fill its database; later calls
// read it.  Threads: the thread that uses the FIFO.  Nothing is thrown here;
// a driver's exception from filling the database passes.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <vector>

class qcAcqFifo;

// True when the driver's database has an entry for the setting.
bool qfFQ2IsContrastSupported(const qcAcqFifo& fifo);            // setting 1019 (contrast) is in the database
bool qfFQ2IsBrightnessSupported(const qcAcqFifo& fifo);          // setting 1020 (brightness) is in the database
bool qfFQ2IsStrobeEnableSupported(const qcAcqFifo& fifo);        // setting 1004 (strobe on/off) is in the database
bool qfFQ2IsStrobePulseDurationSupported(const qcAcqFifo& fifo); // setting 1005 (strobe pulse duration) is in the database
bool qfFQ2IsStrobeHighSupported(const qcAcqFifo& fifo);          // setting 1006 (strobe polarity) is in the database
bool qfFQ2IsSampleXSupported(const qcAcqFifo& fifo);             // setting 9011 (sampling in x) is in the database
bool qfFQ2IsSampleYSupported(const qcAcqFifo& fifo);             // setting 9012 (sampling in y) is in the database
bool qfFQ2IsTriggerDelaySupported(const qcAcqFifo& fifo);        // setting 6002 (trigger delay) is in the database
bool qfFQ2IsMasterSlaveSupported(const qcAcqFifo& fifo);         // setting 9008 (master/slave FIFOs) is in the database
bool qfFQ2IsBufferedTriggerSupported(const qcAcqFifo& fifo);     // setting 9009 (buffered triggers) is in the database
bool qfFQ2DetectsMissedTriggers(const qcAcqFifo& fifo);          // setting 9007 (missed-trigger detection) is in the database

// Defaults of contrast and brightness (fractions 0..1); 0.0 without an entry.
double qfFQ2ContrastDefault(const qcAcqFifo& fifo);
double qfFQ2BrightnessDefault(const qcAcqFifo& fifo);
// The shortest exposure, in seconds (setting 1000's minimum); 0.0 without an
// entry.
double qfFQ2GetMinExposure(const qcAcqFifo& fifo);
// The shortest and the longest trigger delay, in seconds; 0.0 without an
// entry.
double qfFQ2GetMinTriggerDelay(const qcAcqFifo& fifo);
double qfFQ2GetMaxTriggerDelay(const qcAcqFifo& fifo);

// The sample settings the driver FIFO accepts (its getValidSampleSettings(),
// owned by the driver FIFO) when sampling in x (or y) is supported; null
// otherwise, or when the driver gives no list.
const std::vector<long>* qfFQ2GetSampleXSettings(const qcAcqFifo& fifo);
const std::vector<long>* qfFQ2GetSampleYSettings(const qcAcqFifo& fifo);

QRN_API_END
