// qacq live: frames shown in an image console as they arrive.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <atomic>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include <qrn/acq/console/imgconsole.h>
#include <qrn/acq/hyper/failurename.h>
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

// 's': the shown frame to <prefix>[-<tag>]-live-<n>; a failed save is
// reported and the view goes on.
void saveShown(const LiveOptions& o, const std::string& tag, const qcAcqImage& image, LiveResult& r, std::ostream& out) {
  if (o.grab.save == FileKind::none) return;
  try {
    std::error_code ec;
    std::filesystem::create_directories(o.grab.outDir, ec);
    const std::string prefix = tag.empty() ? o.grab.prefix : o.grab.prefix + "-" + tag;
    const std::string stem =
        (std::filesystem::path(o.grab.outDir) / (prefix + "-live-" + std::to_string(r.saved + 1))).string();
    out << "saved " << writeImage(image, stem, o.grab.save) << "\n" << std::flush;
    ++r.saved;
  } catch (const Error& e) {
    out << "qacq: " << e.what() << "\n" << std::flush;
  }
}

std::string liveSummary(const LiveResult& r) {
  std::ostringstream sum;
  sum << r.frames << (r.frames == 1 ? " frame" : " frames") << " in " << fixed1(r.seconds) << " s";
  if (r.seconds > 0) sum << ", " << fixed1(r.frames / r.seconds) << " frames/s";
  sum << "; " << r.failed << " failed, " << r.skipped << " not shown, " << r.saved << " saved";
  return sum.str();
}

// One board of a live view over several: a window of its own, and a grab
// loop on a thread of its own that keeps the newest image for the window
// (the windows are the calling thread's).
struct LiveBoard {
  explicit LiveBoard(const GrabOptions& o)
      : src(o), console("qacq live: " + src.label() + " \"" + src.format().name() + "\"", qcImageConsole::EnableClose) {
    keys.attach(console);
  }
  ~LiveBoard() {
    stop = true;
    if (loop.joinable()) loop.join();
  }
  // The grab loop: `count` frames (0: until stopped), or until the board
  // can no longer acquire.
  void grab(long count) {
    while (!stop && (count == 0 || frames_ < count)) {
      qcAcquireInfo info;
      qcPtrHandle<qcAcqImage> image = src.next(info);
      const bool ok = image && !image->isEmpty() && !info.failure();
      std::lock_guard<std::mutex> g(m);
      ++frames_;
      ++r.frames;
      if (!ok) {
        ++r.failed;
        last = qfDescribeFailure(info.failure());
        if (!(image && !image->isEmpty()) && info.failure().isAbnormal() && !(lost = src.lost()).empty()) break;
      }
      if (image && !image->isEmpty()) {
        if (fresh) ++r.skipped;
        newest = image;
        fresh = true;
      }
    }
    done = true;
  }

  FrameSource src;
  qcImageConsole console;
  ViewerKeys keys{liveKeys()};
  ImageView view;
  std::mutex m;  // guards what the loop shares: newest, fresh, r, last, lost
  qcPtrHandle<qcAcqImage> newest, current;
  bool fresh = false, open = true, overlaid = false;
  LiveResult r;
  std::string last, lost;
  long frames_ = 0;
  std::atomic<bool> stop{false}, done{false};
  std::thread loop;
};

// Several boards: a window each, refreshed as their loops bring frames, until
// every loop is over or the user ends it ('q' in any window ends all; closing
// one window ends its board).
LiveResult liveBoards(const LiveOptions& o, const std::vector<std::string>& names, std::ostream& out) {
  std::vector<std::unique_ptr<LiveBoard>> boards;
  for (const std::string& name : names) {
    GrabOptions one = o.grab;
    one.board = name;
    boards.push_back(std::make_unique<LiveBoard>(one));
  }
  const Clock::time_point t0 = Clock::now();
  for (auto& b : boards) b->loop = std::thread([&b, &o] { b->grab(o.grab.count); });
  bool quit = false;
  while (!quit) {
    bool any = false;
    for (auto& bp : boards) {
      LiveBoard& b = *bp;
      if (!b.open) continue;
      any = any || !b.done;
      qcPtrHandle<qcAcqImage> image;
      LiveResult r;
      std::string status;
      {
        std::lock_guard<std::mutex> g(b.m);
        if (b.fresh) image = b.newest;
        b.fresh = false;
        r = b.r;
        if (!b.lost.empty()) status = " (lost: " + b.lost + ")";
        else if (!b.last.empty()) status = " (last failure: " + b.last + ")";
      }
      if (image && b.view.show(b.console, *image, o.bayer)) {
        b.current = image;
        if (o.overlay && !b.overlaid) {
          const qc_PelBuffer* buf = image->buffer();
          const qcPelRect roi(buf->offset().x, buf->offset().y, buf->width(), buf->height());
          b.console.drawCross(roi.x() + roi.width() / 2.0, roi.y() + roi.height() / 2.0, 20, 0, qcPen::sRed);
          b.console.drawRect(roi.x(), roi.y(), roi.width(), roi.height(), qcPen::sGreen);
          b.overlaid = true;
        }
      }
      if (b.keys.take(ViewerAction::save) && b.current) {
        std::lock_guard<std::mutex> g(b.m);
        saveShown(o, b.src.label(), *b.current, b.r, out);
      }
      const double t = std::chrono::duration<double>(Clock::now() - t0).count();
      b.console.statusLine(std::to_string(r.frames) + " frames, " + fixed1(t > 0 ? r.frames / t : 0.0) + " frames/s" +
                           (r.failed ? ", " + std::to_string(r.failed) + " failed" : std::string()) + status +
                           "   s: save  q: quit");
      if (!b.console.processEvents(0.005)) {
        b.open = false;
        b.stop = true;
      }
      quit = b.keys.take(ViewerAction::quit) || quit;
    }
    if (!any) break;
  }
  LiveResult total;
  const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
  for (auto& b : boards) {
    b->stop = true;
    if (b->loop.joinable()) b->loop.join();
    b->r.seconds = seconds;
    if (!b->lost.empty()) out << "board " << b->src.label() << " lost: " << b->lost << "\n";
    out << b->src.label() << ": " << liveSummary(b->r) << "\n";
    total.frames += b->r.frames;
    total.failed += b->r.failed;
    total.skipped += b->r.skipped;
    total.saved += b->r.saved;
  }
  total.seconds = seconds;
  return total;
}

}  // namespace

LiveResult live(const LiveOptions& o, std::ostream& out) {
  if (o.grab.count < 0) throw UsageError("--count must be 0 (no end) or more");
  const std::vector<std::string> boards = splitBoards(o.grab.board);
  if (boards.size() > 1) return liveBoards(o, boards, out);
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
    if (!(image && !image->isEmpty()) && info.failure().isAbnormal()) {
      if (const std::string lost = src.lost(); !lost.empty()) {
        out << "board " << src.label() << " lost: " << lost << "\n";
        break;
      }
    }
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
    if (keys.take(ViewerAction::save) && current) saveShown(o, "", *current, r, out);
    r.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    std::string status = std::to_string(r.frames) + " frames, " + fixed1(r.seconds > 0 ? r.frames / r.seconds : 0.0) +
                         " frames/s";
    if (r.failed) status += ", " + std::to_string(r.failed) + " failed";
    if (r.skipped) status += ", " + std::to_string(r.skipped) + " not shown";
    if (!ok) status += " (last: " + qfDescribeFailure(info.failure()) + ")";
    console.statusLine(status + "   s: save  q: quit");
    if (!console.processEvents()) break;
    quit = keys.take(ViewerAction::quit);
  }
  r.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
  out << liveSummary(r) << "\n";
  return r;
}

}  // namespace qacq
