// A GigE Vision / USB3 Vision camera's features: cameras are configured, not
// discovered (QUORIN_GIGE_CAMERAS or the registry store); each is a board
// named "gige".  Beyond the module's properties, every GenICam feature of the
// camera can be listed, read and set by name.  Without a camera this runs on
// Aravis's in-process fake camera ("fake": no network at all).
//
//   gige_features [camera]      (an address, a USB3 device id, or fake)
#include <cstdlib>
#include <iostream>
#include <string>

#include <qrn/acq/format/vidfmt.h>
#include <qrn/acq/hyper/framegrabber.h>
#include <qrn/acq/hyper/prop/acqprops.h>
#include <qrn/acq/hyper/typedfifo.h>
#include <qrn/drivers/gige.h>

int main(int argc, char** argv) try {
  // The camera list is read when the driver registers its boards: the first
  // use of the board list.
  ::setenv("QUORIN_GIGE_CAMERAS", argc > 1 ? argv[1] : "fake", 1);
  qcFrameGrabber* camera = nullptr;
  for (long i = 0; i < qcFrameGrabber::count() && !camera; ++i)
    if (qfGigeGrabber(qcFrameGrabber::get(i))) camera = &qcFrameGrabber::get(i);
  if (!camera) {
    std::cerr << "no camera board (is the camera driver installed?)\n";
    return 1;
  }
  qc_GigeGrabber& gige = *qfGigeGrabber(*camera);
  if (!gige.cameraError().empty()) {
    std::cerr << "camera " << gige.cameraId() << ": " << gige.cameraError() << "\n";
    return 1;
  }
  std::cout << "camera: " << gige.cameraModel() << "\n";

  // Some of the features, with their types and values.
  int shown = 0;
  for (const qsGigeFeature& f : gige.features()) {
    if (f.name == "Width" || f.name == "Height" || f.name == "PixelFormat" || f.name == "ExposureTime" ||
        f.name == "ExposureTimeAbs" || f.name == "Gain" || f.name == "GainRaw") {
      std::cout << "  " << f.name << " (" << f.type << ") = " << f.value << "\n";
      ++shown;
    }
  }
  // A feature set by name, as text, and read back.
  gige.feature("Width", "320");
  std::cout << "Width set to " << gige.feature("Width") << "\n";
  gige.feature("Width", "512");

  // The module's own properties map onto standard features: exposure in
  // seconds is ExposureTime in microseconds.  The camera adds a format of
  // its full sensor to the format list, named after it.
  const qcStdVideoFormat& fmt = qcStdVideoFormat::getFormat(gige.cameraModel() + " " +
                                                            qfGigeFeature(*camera, "SensorWidth") + "x" +
                                                            qfGigeFeature(*camera, "SensorHeight"));
  qcPtrHandle<qcStdGreyAcqFifo> fifo(fmt.newAcqFifo(*camera));
  static_cast<qcExposureProp&>(fifo->properties()).exposure(0.002);
  // (Older cameras name the feature ExposureTimeAbs.)
  std::string exposureUs;
  try {
    exposureUs = qfGigeFeature(*camera, "ExposureTime");
  } catch (const qcAcqFifo::BadParams&) {
    exposureUs = qfGigeFeature(*camera, "ExposureTimeAbs");
  }
  std::cout << "exposure 0.002 s: the camera's exposure feature is " << exposureUs << " us\n";
  fifo->triggerModel(qfManualTrigger());
  fifo->start(1);
  qcAcquireInfo info;
  const qcPelBuffer<unsigned char> image = fifo->complete(qcAcqFifo::CompleteArgs().maxWait(5.0).acquireInfo(&info));
  if (!image.isBound() || info.failure()) {
    std::cerr << "the acquisition failed\n";
    return 1;
  }
  std::cout << "grabbed " << image.width() << "x" << image.height() << " from " << fmt.name() << "\n";
  return shown > 0 ? 0 : 1;
} catch (const qcException& e) {
  std::cerr << "error: " << e.messageString() << "\n";
  return 1;
}
