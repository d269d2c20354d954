// The property query: which properties a FIFO's driver supports.
//
//   qcAcqPropertyQuery& q = fifo->propertyQuery();
//   if (qcStrobeProp* strobe = q) strobe->strobeEnable(true);   // supported
//   qcExposureProp& e = q;   // when the driver is known to support it
//
// Each conversion to a pointer gives the property within the FIFO's property
// set when the driver supports it, null otherwise; each conversion to a
// reference gives the property, or throws std::bad_cast (what(): "bad cast")
// when it is not supported.  The framework supplies only this interface,
// whose answers all mean "not supported"; a driver derives from it and
// overrides the conversions of the properties it supports, answering with
// the property set given to qc_AcqFifo::initializePropertyQuery.
//
// The pointers and references stay valid as long as the FIFO.  Include
// <qrn/acq/hyper/prop/acqprops.h> to use the properties.  Threads: as the
// FIFO (one thread at a time).
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

// The property classes, in the order of the query's operations.
#define QC_PROPERTY_QUERY_CLASSES_(X) \
  X(qcTriggerProp)                    \
  X(qcTriggerFilterProp)              \
  X(qcStrobeProp)                     \
  X(qcStrobeDelayProp)                \
  X(qcExposureProp)                   \
  X(qcSettlingTimeProp)               \
  X(qcTimeoutProp)                    \
  X(qcCameraPortProp)                 \
  X(qcCameraLocationProp)             \
  X(qcMovePartCallbackProp)           \
  X(qcOverrunCallbackProp)            \
  X(qcCompleteCallbackProp)           \
  X(qcPelRootPoolProp)                \
  X(qcCtiProp)                        \
  X(qcHorizAdjustProp)                \
  X(qcRoiProp)                        \
  X(qcSyncProp)                       \
  X(qcLightProp)                      \
  X(qc8BitInputLutProp)               \
  X(qcContrastBrightnessProp)         \
  X(qcFirstPelOffsetProp)             \
  X(qcEncoderControlProp)             \
  X(qcEncoderProp)                    \
  X(qcClippingProp)                   \
  X(qcOffsetClampProp)                \
  X(qcAlphaColorProp)                 \
  X(qcDigitalCameraControlProp)       \
  X(qcSampleProp)                     \
  X(qcReadoutDirectionProp)           \
  X(qcCameraTestProp)                 \
  X(qcCdcCameraCalibrationProp)       \
  X(qcCameraBandwidthProp)            \
  X(qcCustomProp)

// Declares property class P (for the list above), so that this header needs
// no property header; undefined again at once.
#define QC_PROPERTY_QUERY_DECLARE_CLASS_(P) class P;
QC_PROPERTY_QUERY_CLASSES_(QC_PROPERTY_QUERY_DECLARE_CLASS_)
#undef QC_PROPERTY_QUERY_DECLARE_CLASS_

// Which properties a FIFO supports.
class qcAcqPropertyQuery {
protected:
  // For the drivers' derived queries; applications get the FIFO's query.
  qcAcqPropertyQuery() = default;
  // Protected: a query is destroyed as the driver's derived object only,
  // never through this base.
  virtual ~qcAcqPropertyQuery();
  // Copies nothing: the base holds no state (for the drivers' derived
  // queries).
  qcAcqPropertyQuery& operator=(const qcAcqPropertyQuery&) = default;

public:
  // Copies nothing: the base holds no state (for the drivers' derived
  // queries).
  qcAcqPropertyQuery(const qcAcqPropertyQuery&) = default;

  // For each property class P: operator P*() const (null: not supported) and
  // operator P&() const (throws std::bad_cast: not supported).
#define QC_PROPERTY_QUERY_DECLARE_OPS_(P) \
  virtual operator P*() const;            \
  virtual operator P&() const;
  QC_PROPERTY_QUERY_CLASSES_(QC_PROPERTY_QUERY_DECLARE_OPS_)
#undef QC_PROPERTY_QUERY_DECLARE_OPS_
};

QRN_API_END
