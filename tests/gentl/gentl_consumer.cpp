#include "gentl_consumer.h"

#include <cstdio>
#include <cstring>
#include <memory>

namespace qrn_gentl_test {

std::string lastErrorText(GC_ERROR* code) {
  GC_ERROR c = 0;
  char text[512] = {};
  size_t size = sizeof text;
  if (GCGetLastError(&c, text, &size) != GC_ERR_SUCCESS) return "(GCGetLastError failed)";
  if (code) *code = c;
  return text;
}

void check(GC_ERROR rc, const char* what) {
  if (rc == GC_ERR_SUCCESS) return;
  throw std::runtime_error(std::string(what) + " failed with " + std::to_string(rc) + ": " + lastErrorText());
}

std::string portDescription(PORT_HANDLE port, std::uint32_t index) {
  char url[256] = {};
  size_t size = sizeof url;
  QRN_GENTL_CHECK(GCGetPortURLInfo(port, index, URL_INFO_URL, nullptr, url, &size));
  // Local:<file>;<address>;<length>, address and length in hexadecimal.
  const std::string u = url;
  const std::size_t a = u.find(';'), b = u.find(';', a + 1);
  if (u.rfind("Local:", 0) != 0 || a == std::string::npos || b == std::string::npos)
    throw std::runtime_error("not a Local: URL: " + u);
  const std::string file = u.substr(6, a - 6);
  const std::uint64_t address = std::stoull(u.substr(a + 1, b - a - 1), nullptr, 16);
  const std::size_t length = std::stoull(u.substr(b + 1), nullptr, 16);
  std::string data(length, '\0');
  size = length;
  QRN_GENTL_CHECK(GCReadPort(port, address, data.data(), &size));
  if (file.size() < 4 || file.compare(file.size() - 4, 4, ".zip") != 0) return data;
  ArvZip* zip = arv_zip_new(data.data(), data.size());
  const GSList* files = arv_zip_get_file_list(zip);
  if (!files) {
    arv_zip_free(zip);
    throw std::runtime_error("an empty or unreadable zip: " + u);
  }
  size_t xmlSize = 0;
  char* xml =
      static_cast<char*>(arv_zip_get_file(zip, arv_zip_file_get_name(static_cast<ArvZipFile*>(files->data)), &xmlSize));
  std::string out(xml ? xml : "", xml ? xmlSize : 0);
  g_free(xml);
  arv_zip_free(zip);
  return out;
}

}  // namespace qrn_gentl_test

// ---- the ArvDevice over a GenTL port -----------------------------------------------------

extern "C" {
struct QrnPortDevice {
  ArvDevice parent;
  PORT_HANDLE port;
  ArvGc* gc;
  std::string* xml;
};
struct QrnPortDeviceClass {
  ArvDeviceClass parent_class;
};
G_DEFINE_TYPE(QrnPortDevice, qrn_port_device, ARV_TYPE_DEVICE)
}

namespace {

QrnPortDevice* self(ArvDevice* d) { return reinterpret_cast<QrnPortDevice*>(d); }

// A port access's result as Aravis takes it (the producer's text in the error).
gboolean portResult(GC_ERROR rc, const char* what, GError** error) {
  if (rc == GC_ERR_SUCCESS) return TRUE;
  g_set_error(error, ARV_DEVICE_ERROR, ARV_DEVICE_ERROR_PROTOCOL_ERROR, "%s: %d %s", what, rc,
              qrn_gentl_test::lastErrorText().c_str());
  return FALSE;
}

gboolean readMemory(ArvDevice* d, guint64 address, guint32 size, void* buffer, GError** error) {
  size_t n = size;
  return portResult(GCReadPort(self(d)->port, address, buffer, &n), "GCReadPort", error);
}

gboolean writeMemory(ArvDevice* d, guint64 address, guint32 size, void* buffer, GError** error) {
  size_t n = size;
  return portResult(GCWritePort(self(d)->port, address, buffer, &n), "GCWritePort", error);
}

gboolean readRegister(ArvDevice* d, guint64 address, guint32* value, GError** error) {
  return readMemory(d, address, 4, value, error);
}
gboolean writeRegister(ArvDevice* d, guint64 address, guint32 value, GError** error) {
  return writeMemory(d, address, 4, &value, error);
}
const char* genicamXml(ArvDevice* d, size_t* size) {
  *size = self(d)->xml->size();
  return self(d)->xml->c_str();
}
ArvGc* genicam(ArvDevice* d) { return self(d)->gc; }

void finalize(GObject* o) {
  QrnPortDevice* d = reinterpret_cast<QrnPortDevice*>(o);
  if (d->gc) g_object_unref(d->gc);
  delete d->xml;
  G_OBJECT_CLASS(qrn_port_device_parent_class)->finalize(o);
}

}  // namespace

static void qrn_port_device_init(QrnPortDevice*) {}

static void qrn_port_device_class_init(QrnPortDeviceClass* k) {
  G_OBJECT_CLASS(k)->finalize = finalize;
  ArvDeviceClass* d = ARV_DEVICE_CLASS(k);
  d->read_memory = readMemory;
  d->write_memory = writeMemory;
  d->read_register = readRegister;
  d->write_register = writeRegister;
  d->get_genicam_xml = genicamXml;
  d->get_genicam = genicam;
}

namespace qrn_gentl_test {

ArvDevice* newPortDevice(PORT_HANDLE port, std::uint32_t urlIndex) {
  auto* d = static_cast<QrnPortDevice*>(g_object_new(qrn_port_device_get_type(), nullptr));
  d->port = port;
  d->xml = new std::string(portDescription(port, urlIndex));
  d->gc = arv_gc_new(ARV_DEVICE(d), d->xml->data(), d->xml->size());
  return ARV_DEVICE(d);
}

Consumer::Consumer() {
  QRN_GENTL_CHECK(GCInitLib());
  try {
    QRN_GENTL_CHECK(TLOpen(&tl));
    char id[64];
    size_t size = sizeof id;
    QRN_GENTL_CHECK(TLGetInterfaceID(tl, 0, id, &size));
    QRN_GENTL_CHECK(TLOpenInterface(tl, id, &itf));
    size = sizeof id;
    QRN_GENTL_CHECK(IFGetDeviceID(itf, 0, id, &size));
    QRN_GENTL_CHECK(IFOpenDevice(itf, id, DEVICE_ACCESS_EXCLUSIVE, &dev));
    QRN_GENTL_CHECK(DevGetPort(dev, &remote));
    size = sizeof id;
    QRN_GENTL_CHECK(DevGetDataStreamID(dev, 0, id, &size));
    QRN_GENTL_CHECK(DevOpenDataStream(dev, id, &ds));
    device = newPortDevice(remote);
    gc = arv_device_get_genicam(device);
  } catch (...) {
    GCCloseLib();
    throw;
  }
}

Consumer::~Consumer() {
  if (device) g_object_unref(device);
  if (ds) DSClose(ds);
  if (dev) DevClose(dev);
  if (itf) IFClose(itf);
  if (tl) TLClose(tl);
  GCCloseLib();
}

namespace {
ArvGcFeatureNode* node(ArvGc* gc, const char* name) {
  ArvGcNode* n = arv_gc_get_node(gc, name);
  if (!n || !ARV_IS_GC_FEATURE_NODE(n)) throw std::runtime_error(std::string("no feature ") + name);
  return ARV_GC_FEATURE_NODE(n);
}
void raise(GError* e, const char* what) {
  if (!e) return;
  const std::string text = std::string(what) + ": " + e->message;
  g_error_free(e);
  throw std::runtime_error(text);
}
}  // namespace

void Consumer::set(const char* feature, const std::string& value) {
  GError* e = nullptr;
  arv_gc_feature_node_set_value_from_string(node(gc, feature), value.c_str(), &e);
  raise(e, feature);
}

std::string Consumer::get(const char* feature) {
  GError* e = nullptr;
  const char* v = arv_gc_feature_node_get_value_as_string(node(gc, feature), &e);
  raise(e, feature);
  return v ? v : "";
}

void Consumer::execute(const char* feature) {
  GError* e = nullptr;
  arv_gc_command_execute(ARV_GC_COMMAND(node(gc, feature)), &e);
  raise(e, feature);
}

}  // namespace qrn_gentl_test
