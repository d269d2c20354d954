// qacq live: frames shown in an image console as they arrive.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include <qrn/acq/console/imgconsole.h>
#include <qrn/acq/hyper/prop/acqprops.h>

#include "qacq.h"
#include "view.h"

namespace qacq {

namespace {

using Clock = std::chrono::steady_clock;

std::string fixed1(double v) {
  char b[32];
  std::snprintf(b, sizeof b, "%.1f", v);
  return b;
}

}  // namespace

LiveResult live(const LiveOptions& o, std::ostream& out) {
  if (o.grab.count < 0) throw UsageError("--count must be 0 (no end) or more");
  FrameSource src(o.grab);
  const qcStdVideoFormat& fmt = src.format();
  qcImageConsole console("qacq live: " + src.label() + " \"" + fmt.name() + "\"", qcImageConsole::EnableClose);
  ViewerKeys keys(liveKeys());
  keys.attach(console);
  ImageView view;
  LiveResult r;
  qcPtrHandle<qcAcqImage> current;
  bool overlaid = false;
  const Clock::time_point t0 = Clock::now();
  bool quit = false;
  while (!quit && (o.grab.count == 0 || r.frames < o.grab.count)) {
    qcAcquireInfo info;
    qcPtrHandle<qcAcqImage> image = src.next(info);
    ++r.frames;
    const bool ok = image && !image->isEmpty() && !info.failure();
    if (!ok) ++r.failed;
    // Frames that are already waiting mean the window is behind: take them
    // and show only the newest.
    while (src.fifo().completedAcqs() > 0 && (o.grab.count == 0 || r.frames < o.grab.count)) {
      qcAcquireInfo later;
      qcPtrHandle<qcAcqImage> next = src.next(later);
      ++r.frames;
      if (!next || next->isEmpty() || later.failure()) ++r.failed;
      if (next && !next->isEmpty()) {
        if (image && !image->isEmpty()) ++r.skipped;
        image = next;
      }
    }
    if (image && !image->isEmpty() && view.show(console, *image, o.bayer)) {
      current = image;
      if (o.overlay && !overlaid) {
        // A cross at the centre and the outline of the region of interest
        // (the frame is cut to it; the whole frame without one).
        const qc_PelBuffer* b = image->buffer();
        const qcPelRect roi(b->offset().x, b->offset().y, b->width(), b->height());
        console.drawCross(roi.x() + roi.width() / 2.0, roi.y() + roi.height() / 2.0, 20, 0, qcPen::sRed);
        console.drawRect(roi.x(), roi.y(), roi.width(), roi.height(), qcPen::sGreen);
        overlaid = true;
      }
    }
    if (keys.take(ViewerAction::save) && current && o.grab.save != FileKind::none) {
      // A failed save is reported and the view goes on.
      try {
        std::error_code ec;
        std::filesystem::create_directories(o.grab.outDir, ec);
        const std::string stem =
            (std::filesystem::path(o.grab.outDir) / (o.grab.prefix + "-live-" + std::to_string(r.saved + 1))).string();
        out << "saved " << writeImage(*current, stem, o.grab.save) << "\n" << std::flush;
        ++r.saved;
      } catch (const Error& e) {
        out << "qacq: " << e.what() << "\n" << std::flush;
      }
    }
    r.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    std::string status = std::to_string(r.frames) + " frames, " + fixed1(r.seconds > 0 ? r.frames / r.seconds : 0.0) +
                         " frames/s";
    if (r.failed) status += ", " + std::to_string(r.failed) + " failed";
    if (r.skipped) status += ", " + std::to_string(r.skipped) + " not shown";
    if (!ok) status += " (last: " + describeFailure(info.failure()) + ")";
    console.statusLine(status + "   s: save  q: quit");
    if (!console.processEvents()) break;
    quit = keys.take(ViewerAction::quit);
  }
  r.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
  std::ostringstream sum;
  sum << r.frames << (r.frames == 1 ? " frame" : " frames") << " in " << fixed1(r.seconds) << " s";
  if (r.seconds > 0) sum << ", " << fixed1(r.frames / r.seconds) << " frames/s";
  sum << "; " << r.failed << " failed, " << r.skipped << " not shown, " << r.saved << " saved";
  out << sum.str() << "\n";
  return r;
}

}  // namespace qacq
