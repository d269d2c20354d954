// qrnacqdeviceprovider: see devices.h.
#include "devices.h"

#include <exception>
#include <string>

#include <qrn/acq/hyper/framegrabber.h>
#include <qrn/drivers/gige.h>

#include "session.h"

GST_DEBUG_CATEGORY_EXTERN(qrnacqsrc_debug);
#define GST_CAT_DEFAULT qrnacqsrc_debug

// ---- the device: one board ------------------------------------------------------

#define QRN_TYPE_ACQ_DEVICE (qrn_acq_device_get_type())
G_DECLARE_FINAL_TYPE(QrnAcqDevice, qrn_acq_device, QRN, ACQ_DEVICE, GstDevice)

struct _QrnAcqDevice {
  GstDevice parent;
  gchar* board;  // the board's label, the element's "board"
};

G_DEFINE_TYPE(QrnAcqDevice, qrn_acq_device, GST_TYPE_DEVICE)

namespace {

GstElement* createElement(GstDevice* device, const gchar* name) {
  GstElement* e = gst_element_factory_make("qrnacqsrc", name);
  if (e) g_object_set(e, "board", QRN_ACQ_DEVICE(device)->board, nullptr);
  return e;
}

void deviceFinalize(GObject* obj) {
  g_free(QRN_ACQ_DEVICE(obj)->board);
  G_OBJECT_CLASS(qrn_acq_device_parent_class)->finalize(obj);
}

}  // namespace

static void qrn_acq_device_class_init(QrnAcqDeviceClass* klass) {
  G_OBJECT_CLASS(klass)->finalize = deviceFinalize;
  GST_DEVICE_CLASS(klass)->create_element = createElement;
}

static void qrn_acq_device_init(QrnAcqDevice* device) { device->board = nullptr; }

// ---- the provider ----------------------------------------------------------------------

#define QRN_TYPE_ACQ_DEVICE_PROVIDER (qrn_acq_device_provider_get_type())
G_DECLARE_FINAL_TYPE(QrnAcqDeviceProvider, qrn_acq_device_provider, QRN, ACQ_DEVICE_PROVIDER, GstDeviceProvider)

struct _QrnAcqDeviceProvider {
  GstDeviceProvider parent;
};

G_DEFINE_TYPE(QrnAcqDeviceProvider, qrn_acq_device_provider, GST_TYPE_DEVICE_PROVIDER)

namespace {

// The device of board fg; null (and a log line) for a board that offers
// nothing the element carries or cannot be asked (a camera not answering).
GstDevice* deviceOf(qcFrameGrabber& fg) {
  const std::string label = qrngst::boardLabel(fg);
  std::string format, what;
  GstCaps* caps = nullptr;
  try {
    caps = qrngst::boardCaps(fg, format);
    what = format;
    if (qc_GigeGrabber* g = qfGigeGrabber(fg)) {
      const std::string model = g->cameraModel();
      if (!model.empty()) what = model + ", " + format;
    }
  } catch (const qrngst::SetupError& e) {
    GST_INFO("board %s is no device: %s", label.c_str(), e.message.c_str());
    return nullptr;
  } catch (const std::exception& e) {
    GST_INFO("board %s is no device: %s", label.c_str(), e.what());
    return nullptr;
  }
  const std::string name = "Quorin " + label + ": " + what;
  GstStructure* props = gst_structure_new("qrnacq-device-properties", "qrnacq.board", G_TYPE_STRING, label.c_str(),
                                          "qrnacq.format", G_TYPE_STRING, format.c_str(), nullptr);
  auto* device = static_cast<QrnAcqDevice*>(g_object_new(QRN_TYPE_ACQ_DEVICE, "display-name", name.c_str(),
                                                         "device-class", "Video/Source", "caps", caps,
                                                         "properties", props, nullptr));
  device->board = g_strdup(label.c_str());
  gst_caps_unref(caps);
  gst_structure_free(props);
  return GST_DEVICE(device);
}

GList* probe(GstDeviceProvider*) {
  GList* devices = nullptr;
  try {
    for (long i = 0; i < qcFrameGrabber::count(); ++i)
      if (GstDevice* d = deviceOf(qcFrameGrabber::get(i))) devices = g_list_append(devices, gst_object_ref_sink(d));
  } catch (const std::exception& e) {
    GST_WARNING("listing the boards: %s", e.what());
  }
  return devices;
}

}  // namespace

static void qrn_acq_device_provider_class_init(QrnAcqDeviceProviderClass* klass) {
  GstDeviceProviderClass* p = GST_DEVICE_PROVIDER_CLASS(klass);
  p->probe = probe;
  gst_device_provider_class_set_static_metadata(p, "Quorin acquisition device provider", "Source/Video",
                                                "Lists the frame grabbers and cameras of the Quorin Acquisition "
                                                "library",
                                                "Quorin Acquisition developers");
}

static void qrn_acq_device_provider_init(QrnAcqDeviceProvider*) {}

gboolean qrn_gst_register_device_provider(GstPlugin* plugin) {
  return gst_device_provider_register(plugin, "qrnacqdeviceprovider", GST_RANK_PRIMARY,
                                      QRN_TYPE_ACQ_DEVICE_PROVIDER);
}
