// The property set of an acquisition FIFO, and every property class.
//
// qcAcqProps inherits from all 33 property classes, so the set converts to
// any of them:
//
//   qcAcqProps& props = fifo->properties();
//   static_cast<qcExposureProp&>(props).exposure(0.01);
//
// A set is free or associated with one driver FIFO as a whole: fifo(f)
// associates every property (five of them take values from the FIFO then:
// exposure, contrast/brightness, input LUT, CDC calibration, pel root pool),
// clearFifoAssociation() frees every property.  Copying gives a free set with
// the same values; assignment runs every property's operator= in base order,
// so assigning a saved set to an associated one reaches the FIFO through the
// setters.
//
// Archive of qcAcqProps (version 4; versions 0 to 3 are still read): the
// version byte, then the member properties, each with its own version byte:
//   always:  trigger, strobe, exposure, timeout, camera port, move-part
//            callback, complete callback, CTI offset, horizontal adjust, ROI,
//            sync, light;
//   from 1:  8-bit input LUT, contrast/brightness, first pel offset, encoder
//            control, encoder, clipping, alpha colour, digital camera
//            control, settling time, overrun callback, strobe delay;
//   from 2:  offset clamp, trigger filter, camera test, sample, readout
//            direction;
//   from 3:  CDC camera calibration;
//   from 4:  camera bandwidth.
// The camera location, the pel root pool and the custom property are not
// archived with the set: a loaded set keeps its own.  Members that an older
// archive lacks keep their values.  Loading into an associated set passes the
// loaded values to the FIFO through the setters.
//
// qcAnalogAcqProps (version 1; version 0 still read) is the set that the
// standard FIFOs create: its version byte, then the qcAcqProps archive; in
// version 0 eight members followed (input LUT, contrast/brightness, first pel
// offset, encoder control, encoder, clipping, alpha colour, digital camera
// control) after an inner qcAcqProps archive of version 0.
//
// Errors: a version above the newest throws qcArchive::UnknownVersion before
// any member is read; a value out of range in a member throws that member's
// BadParams; truncated or corrupt data throws the archive's own exceptions.
//
// Threads: no lock; one thread at a time uses a set and its FIFO.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <qrn/acq/hyper/prop/alpha.h>
#include <qrn/acq/hyper/prop/bright.h>
#include <qrn/acq/hyper/prop/callback.h>
#include <qrn/acq/hyper/prop/camban.h>
#include <qrn/acq/hyper/prop/camctl.h>
#include <qrn/acq/hyper/prop/cameratest.h>
#include <qrn/acq/hyper/prop/camloc.h>
#include <qrn/acq/hyper/prop/camport.h>
#include <qrn/acq/hyper/prop/cdc_calib.h>
#include <qrn/acq/hyper/prop/clip.h>
#include <qrn/acq/hyper/prop/cti.h>
#include <qrn/acq/hyper/prop/custom.h>
#include <qrn/acq/hyper/prop/exposure.h>
#include <qrn/acq/hyper/prop/horizadj.h>
#include <qrn/acq/hyper/prop/ilut8.h>
#include <qrn/acq/hyper/prop/light.h>
#include <qrn/acq/hyper/prop/lsprops.h>
#include <qrn/acq/hyper/prop/offsetclamp.h>
#include <qrn/acq/hyper/prop/pelpool.h>
#include <qrn/acq/hyper/prop/readdir.h>
#include <qrn/acq/hyper/prop/roi.h>
#include <qrn/acq/hyper/prop/sample.h>
#include <qrn/acq/hyper/prop/settletm.h>
#include <qrn/acq/hyper/prop/strobe.h>
#include <qrn/acq/hyper/prop/sync.h>
#include <qrn/acq/hyper/prop/timeout.h>
#include <qrn/acq/hyper/prop/trig.h>
#include <qrn/acq/hyper/prop/triggerfilter.h>

// A FIFO's property set: every acquisition property in one object, converting to each property
// class.
class qcAcqProps : public qcTriggerProp,
                   public qcTriggerFilterProp,
                   public qcStrobeProp,
                   public qcStrobeDelayProp,
                   public qcExposureProp,
                   public qcSettlingTimeProp,
                   public qcTimeoutProp,
                   public qcCameraPortProp,
                   public qcCameraLocationProp,
                   public qcMovePartCallbackProp,
                   public qcOverrunCallbackProp,
                   public qcCompleteCallbackProp,
                   public qcPelRootPoolProp,
                   public qcCtiProp,
                   public qcHorizAdjustProp,
                   public qcRoiProp,
                   public qcSyncProp,
                   public qcLightProp,
                   public qc8BitInputLutProp,
                   public qcContrastBrightnessProp,
                   public qcFirstPelOffsetProp,
                   public qcEncoderControlProp,
                   public qcEncoderProp,
                   public qcClippingProp,
                   public qcOffsetClampProp,
                   public qcAlphaColorProp,
                   public qcDigitalCameraControlProp,
                   public qcCameraTestProp,
                   public qcSampleProp,
                   public qcReadoutDirectionProp,
                   public qcCdcCameraCalibrationProp,
                   public qcCameraBandwidthProp,
                   public qcCustomProp {
public:
  // The source file that qcArchive::UnknownVersion names for the set's
  // archive.  For the archive code, not for applications.
  static constexpr const char* sourceFile_ = "acq/hyper/prop/acqprops";
  // The newest archive version of the set, the one a store writes.  For the
  // archive code, not for applications.
  static constexpr unsigned char archiveVersion_ = 4;

  // Every property at its defaults, free.
  qcAcqProps() = default;
  // Every property copied; the copy is free.
  qcAcqProps(const qcAcqProps&) = default;
  // Every property's operator=, in base order; the association is kept.
  qcAcqProps& operator=(const qcAcqProps& src);
  // Sends nothing to the FIFO; an associated set is freed by its owner first.
  ~qcAcqProps() override;

  // Associates every property with f (see the order in acqprops.cpp).
  void fifo(qc_AcqFifo& f);
  // Frees every property.  Nothing is sent to the FIFO.
  void clearFifoAssociation();

protected:
  // The set's archive (see the top of this header): its version byte, then
  // each member property's own archive.  Called by qcPersistent's archive
  // operations, not by applications.
  void dispatchSerialize(qcArchive& ar) override;

private:
  QC_DECLARE_PERSISTENT(qcAcqProps);
};

// The property set of the standard FIFOs.
class qcAnalogAcqProps : public qcAcqProps {
public:
  // The source file that qcArchive::UnknownVersion names, and the newest
  // archive version of this set's own part (the qcAcqProps part has its own).
  // For the archive code, not for applications.
  static constexpr const char* sourceFile_ = "acq/hyper/prop/analog";
  static constexpr unsigned char archiveVersion_ = 1;

  // Every property at its defaults, free.
  qcAnalogAcqProps() = default;
  // Every property copied; the copy is free.
  qcAnalogAcqProps(const qcAnalogAcqProps&) = default;
  // Both assign as qcAcqProps::operator= does; assigning the object to itself
  // through the second form does nothing.
  qcAnalogAcqProps& operator=(const qcAnalogAcqProps& src);
  qcAnalogAcqProps& operator=(const qcAcqProps& src);

  // Sends nothing to the FIFO; an associated set is freed by its owner first.
  ~qcAnalogAcqProps() override;

protected:
  // This set's archive (see the top of this header): its version byte, then
  // the qcAcqProps archive, then for version 0 the eight members that
  // followed.  Called by qcPersistent's archive operations, not by
  // applications.
  void dispatchSerialize(qcArchive& ar) override;

private:
  QC_DECLARE_PERSISTENT(qcAnalogAcqProps);
};

QRN_API_END
