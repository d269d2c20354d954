// qacq boards, qacq formats, and finding boards and formats by name.
#include <algorithm>
#include <cstdlib>
#include <iomanip>
#include <sstream>

#include <qrn/acq/ccf/vidfmtext.h>
#include <qrn/acq/hyper/driver.h>
#include <qrn/acq/hyper/framegrabber.h>
#include <qrn/drivers/gige.h>
#include <qrn/foundation/board.h>

#include "qacq.h"

namespace qacq {

namespace {

qcBoard* boardOf(qcFrameGrabber& fg) { return dynamic_cast<qcBoard*>(&fg); }

std::vector<std::string> boardLabels() {
  std::vector<std::string> r;
  for (long i = 0; i < qcFrameGrabber::count(); ++i) r.push_back(boardLabel(qcFrameGrabber::get(i)));
  return r;
}

// Why there are no boards, for the error line.
std::string noBoardsMessage() {
  std::string msg = "no frame grabbers found (driver directory \"" + qf_driverDirectories() + "\"";
  for (const qsDriverLoadRecord& r : qf_driverLoadRecords())
    if (!r.loaded) msg += "; " + r.path + ": " + r.message;
  return msg + ")";
}

}  // namespace

std::string boardLabel(qcFrameGrabber& fg) {
  const qcBoard* b = boardOf(fg);
  return b ? b->name() + std::to_string(b->bdIdx()) : std::string("?");
}

qcFrameGrabber& selectBoard(const std::string& which) {
  const long n = qcFrameGrabber::count();
  if (n == 0) throw Error(noBoardsMessage());
  if (which.empty()) return qcFrameGrabber::get(0);
  char* end = nullptr;
  const long index = std::strtol(which.c_str(), &end, 10);
  if (end && *end == '\0') {
    if (index < 0 || index >= n)
      throw UsageError("no board " + which + ": there " + (n == 1 ? "is 1 frame grabber" : "are " + std::to_string(n) +
                                                              " frame grabbers") + " (see \"qacq boards\")");
    return qcFrameGrabber::get(index);
  }
  for (long i = 0; i < n; ++i) {
    qcFrameGrabber& fg = qcFrameGrabber::get(i);
    if (boardLabel(fg) == which) return fg;
  }
  throw UsageError(unknownNameMessage("board", which, boardLabels(), "qacq boards"));
}

const qcStdVideoFormat& findFormat(const std::string& name) {
  try {
    return qcStdVideoFormat::getFormat(name);
  } catch (const qcVideoFormat::NotFound&) {
  }
  std::vector<std::string> known;
  for (const qcStdVideoFormat* f : qcStdVideoFormat::fullList()) known.emplace_back(f->name());
  throw UsageError(unknownNameMessage("video format", name, known, "qacq formats"));
}

const qcStdVideoFormat& defaultFormat(qcFrameGrabber& fg) {
  static const char* const preferred = "Sony XC75 640x480";
  if (const qcVideoFormat* f = qf_getFormat(preferred)) {
    const auto* std = dynamic_cast<const qcStdVideoFormat*>(f);
    if (std && fg.isSupported(*std)) return *std;
  }
  const auto list = qcStdVideoFormat::filterList(qcStdVideoFormat::fullList(), fg);
  for (const qcStdVideoFormat* f : list)
    if (f->width() > 0 && f->height() > 0) return *f;
  throw Error("board " + boardLabel(fg) + " supports no video format (see \"qacq hwconfig show\")");
}

int listBoards(std::ostream& out) {
  const long n = qcFrameGrabber::count();
  if (n == 0) {
    out << noBoardsMessage() << "\n";
    return exitOk;
  }
  out << std::left << std::setw(7) << "INDEX" << std::setw(10) << "BOARD" << std::setw(10) << "CHANNELS"
      << "ID\n";
  for (long i = 0; i < n; ++i) {
    qcFrameGrabber& fg = qcFrameGrabber::get(i);
    out << std::setw(7) << i << std::setw(10) << boardLabel(fg) << std::setw(10) << fg.numChannels()
        << fg.getUniqueId();
    if (const qc_GigeGrabber* cam = qfGigeGrabber(fg)) {
      const std::string model = cam->cameraModel(), why = cam->cameraError();
      if (!model.empty()) out << "  " << model;
      if (!why.empty()) out << "  (" << why << ")";
    }
    out << "\n";
  }
  return exitOk;
}

std::optional<GrabbedShape> grabbedShape(const qcStdVideoFormat& f) {
  try {
    const qc_VideoFormat& g = f.internal(true);
    return GrabbedShape{g.width(), g.height(), g.depth(), f.imageFormat()};
  } catch (const qcVideoFormat::NotFound&) {
    return std::nullopt;
  }
}

int listFormats(const FormatsOptions& o, std::ostream& out) {
  std::optional<qeImageFormat> imf;
  if (!o.imageFormat.empty()) imf = parseImageFormat(o.imageFormat);

  const auto& all = qcStdVideoFormat::fullList();
  std::vector<const qcStdVideoFormat*> list;
  if (!o.board.empty()) {
    qcFrameGrabber& fg = selectBoard(o.board);
    list = imf ? qcStdVideoFormat::filterListEx(all, fg, *imf) : qcStdVideoFormat::filterList(all, fg);
  } else {
    for (const qcStdVideoFormat* f : all) {
      const auto shape = grabbedShape(*f);
      if (!imf || (shape && shape->imageFormat == *imf)) list.push_back(f);
    }
  }

  if (o.namesOnly) {
    for (const qcStdVideoFormat* f : list) out << f->name() << "\n";
    return exitOk;
  }
  std::size_t w = 4;
  for (const qcStdVideoFormat* f : list) w = std::max(w, std::string(f->name()).size());
  out << std::left << std::setw(static_cast<int>(w + 2)) << "NAME" << std::setw(12) << "SIZE" << std::setw(7)
      << "DEPTH" << std::setw(9) << "IMAGE" << "CAMERA\n";
  for (const qcStdVideoFormat* f : list) {
    // An alias shows what it grabs: the geometry and image format of the
    // format it leads to.
    const auto shape = grabbedShape(*f);
    const std::string size = shape ? std::to_string(shape->width) + "x" + std::to_string(shape->height) : "?";
    std::string camera;
    if (const char* m = f->cameraManufacturer()) camera = m;
    if (const char* m = f->cameraModel()) camera += (camera.empty() ? "" : " ") + std::string(m);
    if (f->formatFromCCF()) camera += camera.empty() ? "(CCF)" : " (CCF)";
    if (const qc_VidFmtCameraInfo* ci = f->internal(false).fmtCamInfo(); ci && ci->formatIsAlias())
      camera += (camera.empty() ? "" : ", ") + std::string(shape ? "alias of \"" : "alias of missing \"") +
                ci->aliasVideoFormatName() + "\"";
    std::ostringstream row;
    row << std::left << std::setw(static_cast<int>(w + 2)) << f->name() << std::setw(12) << size << std::setw(7)
        << (shape ? std::to_string(shape->depth) : "?") << std::setw(9)
        << (shape ? qfImageFormatName(shape->imageFormat) : "?") << camera;
    std::string text = row.str();
    text.erase(text.find_last_not_of(' ') + 1);
    out << text << "\n";
  }
  out << list.size() << (list.size() == 1 ? " format" : " formats") << "\n";
  if (!o.board.empty()) printCameraFormats(selectBoard(o.board), out);
  return exitOk;
}

}  // namespace qacq
