// qacq cameras (discover, add, remove) and qacq features: the GigE Vision /
// USB3 Vision cameras behind the "gige" boards.
#include <algorithm>
#include <cstdlib>
#include <iomanip>

#include <qrn/acq/hyper/framegrabber.h>
#include <qrn/acq/registry/regstore.h>
#include <qrn/acq/registry/regvalue.h>
#include <qrn/drivers/gige.h>

#ifdef QACQ_HAVE_ARAVIS
#include <arv.h>
#endif

#include "qacq.h"

namespace qacq {

namespace {

constexpr const char* kKey = "SOFTWARE\\Quorin\\ORB\\gige";
constexpr const char* kValue = "cameras";

std::string joinIds(const std::vector<std::string>& ids) {
  std::string s;
  for (const std::string& id : ids) s += (s.empty() ? "" : ";") + id;
  return s;
}

void noteOverride(std::ostream& out) {
  if (const char* env = std::getenv("QUORIN_GIGE_CAMERAS"))
    out << "note: QUORIN_GIGE_CAMERAS is set (\"" << env << "\") and replaces this list\n";
}

int discover(std::ostream& out) {
#ifdef QACQ_HAVE_ARAVIS
  out << "discovering cameras: this sends GigE Vision discovery broadcasts on every network interface\n";
  arv_update_device_list();
  const unsigned n = arv_get_n_devices();
  out << std::left << std::setw(36) << "ID" << std::setw(18) << "ADDRESS" << std::setw(10) << "PROTOCOL"
      << "MODEL\n";
  auto text = [](const char* s) { return std::string(s ? s : ""); };
  for (unsigned i = 0; i < n; ++i)
    out << std::setw(36) << text(arv_get_device_id(i)) << std::setw(18) << text(arv_get_device_address(i))
        << std::setw(10) << text(arv_get_device_protocol(i)) << text(arv_get_device_vendor(i)) << " "
        << text(arv_get_device_model(i)) << "\n";
  if (n == 0) out << "no camera answered\n";
  out << "add one with \"qacq cameras add ID\" (an address opens a GigE Vision camera without broadcasts)\n";
  return exitOk;
#else
  (void)out;
  throw Error("this qacq was built without Aravis: no camera discovery");
#endif
}

}  // namespace

int cameras(const CamerasOptions& o, std::ostream& out) {
  if (o.action == "discover") return discover(out);
  std::string list;
  qf_regReadString(qe_RegRoot::localMachine, kKey, kValue, list);
  std::vector<std::string> ids = qfGigeSplitCameraList(list);
  if (o.action == "list") {
    for (const std::string& id : ids) out << id << "\n";
    if (ids.empty()) out << "no cameras configured (\"qacq cameras add ID\")\n";
    noteOverride(out);
    return exitOk;
  }
  if (o.id.empty() || o.id.find(';') != std::string::npos || !qc_RegStore::canHold(o.id))
    throw UsageError("a camera id must be non-empty and hold no ';', line break or zero byte");
  const auto it = std::find(ids.begin(), ids.end(), o.id);
  if (o.action == "add") {
    if (it != ids.end()) throw Error("camera " + o.id + " is already configured");
    ids.push_back(o.id);
  } else {
    if (it == ids.end()) throw Error("camera " + o.id + " is not configured");
    ids.erase(it);
  }
  if (!qf_regWriteString(qe_RegRoot::localMachine, kKey, kValue, joinIds(ids)))
    throw Error("cannot write the registry store (QUORIN_REGISTRY_FILE or /etc/quorin/registry.reg)");
  out << (o.action == "add" ? "added " : "removed ") << o.id << "; cameras: " << joinIds(ids) << "\n";
  noteOverride(out);
  return exitOk;
}

void printCameraFormats(qcFrameGrabber& fg, std::ostream& out) {
  qc_GigeGrabber* g = qfGigeGrabber(fg);
  if (!g) return;
  std::vector<std::string> offered;
  std::vector<qsGigeImageSource> sources;
  try {
    offered = g->pixelFormats();
    sources = g->imageSources();
  } catch (const qcAcqFifo::CouldNotCreate&) {
    return;
  }
  out << "PixelFormat offered:";
  for (const std::string& pf : offered) out << " " << pf;
  out << "\n" << std::left << std::setw(8) << "KIND" << std::setw(24) << "FROM" << "MADE\n";
  for (const qsGigeImageSource& s : sources)
    out << std::setw(8) << s.kind << std::setw(24) << s.pixelFormat << s.madeFrom << "\n";
}

int features(const FeaturesOptions& o, std::ostream& out) {
  qcFrameGrabber& fg = selectBoard(o.board);
  qc_GigeGrabber* g = qfGigeGrabber(fg);
  if (!g) throw UsageError("board " + boardLabel(fg) + " is not a camera (\"qacq boards\" lists the gige boards)");
  try {
    if (!o.name.empty()) {
      if (o.value) {
        g->feature(o.name, *o.value);
        // A command (or a write-only feature) has nothing to read back.
        std::string now;
        try {
          now = g->feature(o.name);
        } catch (const qcAcqFifo::BadParams&) {
          out << o.name << ": done\n";
          return exitOk;
        }
        out << o.name << " = " << now << "\n";
      } else {
        out << g->feature(o.name) << "\n";
      }
      return exitOk;
    }
    const std::vector<qsGigeFeature> all = g->features();
    std::size_t w = 4;
    for (const qsGigeFeature& f : all) w = std::max(w, f.name.size());
    out << std::left << std::setw(static_cast<int>(w + 2)) << "NAME" << std::setw(13) << "TYPE" << "VALUE\n";
    for (const qsGigeFeature& f : all)
      out << std::setw(static_cast<int>(w + 2)) << f.name << std::setw(13) << f.type << f.value << "\n";
    out << "\n";
    printCameraFormats(fg, out);
    return exitOk;
  } catch (const qcAcqFifo::BadParams&) {
    throw Error("camera " + g->cameraId() + ": no feature \"" + o.name + "\"" +
                (o.value ? " that takes \"" + *o.value + "\"" : std::string(" that can be read")) +
                " (\"qacq features --board " + boardLabel(fg) + "\" lists them)");
  }
}

}  // namespace qacq
