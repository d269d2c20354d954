// qacq grab: acquire frames and write them to image files.
#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include <qrn/acq/hyper/acqfifo.h>
#include <qrn/acq/hyper/framegrabber.h>
#include <qrn/acq/hyper/prop/acqprops.h>
#include <qrn/acq/hyper/trigmodel.h>
#include <qrn/acq/hyper/typedfifo.h>

#include "qacq.h"

namespace qacq {

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

std::string fixed(double v, int digits) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", digits, v);
  return buf;
}

// A one-line progress bar, redrawn in place at most ten times a second once
// the run has lasted half a second.  Lines written to the output while the
// bar shows are put above it (say() clears the bar first).
class ProgressBar {
public:
  ProgressBar(std::ostream& os, bool enabled, long total) : os_(os), enabled_(enabled && total > 1), total_(total) {}
  ~ProgressBar() { clear(); }

  void update(long done, long failed) {
    if (!enabled_) return;
    done_ = done;
    failed_ = failed;
    const double t = secondsSince(start_);
    if (t < 0.5 || (drawn_ && t - lastDraw_ < 0.1 && done != total_)) return;
    lastDraw_ = t;
    draw_();
  }
  // Writes a line of output (to `out`) without tearing the bar.
  void say(std::ostream& out, const std::string& line) {
    const bool was = drawn_;
    clear();
    out << line << "\n" << std::flush;
    if (was) draw_();
  }
  void clear() {
    if (!drawn_) return;
    os_ << "\r\033[K" << std::flush;
    drawn_ = false;
  }

private:
  void draw_() {
    const int width = 30;
    const int fill = static_cast<int>(width * done_ / std::max(1L, total_));
    const double t = secondsSince(start_);
    os_ << "\r[" << std::string(static_cast<std::size_t>(fill), '#')
        << std::string(static_cast<std::size_t>(width - fill), '.') << "] " << done_ << "/" << total_;
    if (t > 0) os_ << "  " << fixed(done_ / t, 1) << " frames/s";
    if (failed_) os_ << "  " << failed_ << " failed";
    os_ << "\033[K" << std::flush;
    drawn_ = true;
  }

  std::ostream& os_;
  bool enabled_;
  long total_;
  long done_ = 0, failed_ = 0;
  Clock::time_point start_ = Clock::now();
  double lastDraw_ = 0;
  bool drawn_ = false;
};

const qcTriggerModel& modelOf(TriggerKind k) {
  switch (k) {
    case TriggerKind::automatic: return qfAutoTrigger();
    case TriggerKind::semi: return qfSemiTrigger();
    case TriggerKind::freerun: return qfFreeRunTrigger();
    case TriggerKind::manual: break;
  }
  return qfManualTrigger();
}

// Sends the items through the custom property, then empties its bag again so
// that the items (often actions) are not repeated when the property set is
// assigned later.
void sendCustom(qcAcqProps& props, const std::vector<std::pair<std::string, std::string>>& items) {
  if (items.empty()) return;
  qcCustomPropertyBag bag;
  for (const auto& [name, value] : items) bag.addItem(qcCustomPropertyBag::qeWrite, name, value);
  qcCustomProp& p = props;
  try {
    p.customValues(bag);
  } catch (...) {
    p.customValues(qcCustomPropertyBag());
    throw;
  }
  p.customValues(qcCustomPropertyBag());
}

std::string frameStem(const GrabOptions& o, long n) {
  const int digits = std::max<int>(4, static_cast<int>(std::to_string(o.count).size()));
  std::string num = std::to_string(n);
  num.insert(0, static_cast<std::size_t>(std::max<int>(0, digits - static_cast<int>(num.size()))), '0');
  return (std::filesystem::path(o.outDir) / (o.prefix + "-" + num)).string();
}

void prepareOutDir(const std::string& dir) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (!fs::is_directory(dir)) throw Error("cannot create the output directory " + dir + (ec ? ": " + ec.message() : ""));
}

}  // namespace

std::string describeFailure(const qcAcqFailure& f) {
  if (!f) return "ok";
  static const std::pair<bool (qcAcqFailure::*)() const, const char*> flags[] = {
      {&qcAcqFailure::isTimeout, "timeout"},
      {&qcAcqFailure::isMissed, "missed"},
      {&qcAcqFailure::isAbnormal, "abnormal"},
      {&qcAcqFailure::isIncomplete, "incomplete"},
      {&qcAcqFailure::isTooFastEncoder, "tooFastEncoder"},
      {&qcAcqFailure::isInvalidRoi, "invalidRoi"},
      {&qcAcqFailure::isOverrun, "overrun"},
      {&qcAcqFailure::isOtherFifoError, "otherFifoError"},
      {&qcAcqFailure::isTimingError, "timingError"},
  };
  std::string s;
  for (const auto& [test, name] : flags)
    if ((f.*test)()) s += (s.empty() ? "" : "+") + std::string(name);
  if (s.empty()) s = "failed (flags 0x" + [&] {
    char b[16];
    std::snprintf(b, sizeof b, "%lx", f.rawFlags());
    return std::string(b);
  }() + ")";
  if (f.isAbnormal()) s += " (code " + std::to_string(f.abnormalErrorCode()) + ")";
  if (!f.errorInfo().empty()) s += ": " + f.errorInfo();
  return s;
}

qcPelRect parseRoi(const std::string& text) {
  const std::string bad = "bad region of interest \"" + text + "\": ";
  long v[4];
  std::string_view rest = text;
  bool ok = true;
  for (long& n : v) {
    const std::size_t comma = &n == &v[3] ? rest.size() : rest.find(',');
    const std::string_view field = rest.substr(0, comma);
    const std::errc ec = parseLong(field, n);
    if (ec == std::errc::result_out_of_range) throw UsageError(bad + "\"" + std::string(field) + "\" is out of range");
    ok = ok && comma != std::string_view::npos && ec == std::errc{};
    rest = comma < rest.size() ? rest.substr(comma + 1) : std::string_view();
  }
  if (!ok || v[0] < 0 || v[1] < 0 || v[2] <= 0 || v[3] <= 0)
    throw UsageError(bad + "give x,y,width,height (x, y >= 0; sizes > 0)");
  if (v[2] > LONG_MAX - v[0] || v[3] > LONG_MAX - v[1])
    throw UsageError(bad + "its right or bottom edge is beyond " + std::to_string(LONG_MAX));
  return qcPelRect(v[0], v[1], v[2], v[3]);
}

std::pair<std::string, std::string> parseCustomItem(const std::string& text) {
  const std::size_t eq = text.find('=');
  if (eq == std::string::npos || eq == 0) throw UsageError("bad custom item \"" + text + "\": give name=value");
  return {text.substr(0, eq), text.substr(eq + 1)};
}

GrabResult grab(const GrabOptions& o, std::ostream& out, std::ostream& progress) {
  if (o.count < 1) throw UsageError("--count must be at least 1");
  if (!(o.timeout > 0)) throw UsageError("--timeout must be above 0 seconds");
  qcFrameGrabber& fg = selectBoard(o.board);
  const qcStdVideoFormat& fmt = o.format.empty() ? defaultFormat(fg) : findFormat(o.format);
  const qeImageFormat imf = o.imageFormat.empty() ? fmt.imageFormat() : parseImageFormat(o.imageFormat);
  const std::string label = boardLabel(fg);
  if (!fg.isSupportedEx(fmt, imf))
    throw Error("board " + label + " does not offer \"" + fmt.name() + "\" as " + imageFormatName(imf) +
                " (see \"qacq formats --board " + label + " --image-format " + imageFormatName(imf) + "\")");
  if (o.save != FileKind::none) prepareOutDir(o.outDir);

  qcPtrHandle<qcAcqFifo> fifo;
  try {
    fifo = qcPtrHandle<qcAcqFifo>(fmt.newAcqFifoEx(fg, imf));
  } catch (const qcVideoFormat::NotSupported&) {
    throw Error("board " + label + " cannot make a FIFO for \"" + fmt.name() + "\" as " + imageFormatName(imf));
  }
  qcAcqProps& props = fifo->properties();
  sendCustom(props, o.custom);
  if (o.exposure) static_cast<qcExposureProp&>(props).exposure(*o.exposure);
  if (o.roi) static_cast<qcRoiProp&>(props).roi(*o.roi);
  static_cast<qcTimeoutProp&>(props).timeout(o.timeout);
  fifo->triggerModel(modelOf(o.trigger));
  fifo->triggerEnable(true);

  if (!o.quiet) {
    out << "grabbing " << o.count << (o.count == 1 ? " frame" : " frames") << " of \"" << fmt.name() << "\" ("
        << fmt.width() << "x" << fmt.height() << " " << imageFormatName(imf) << ") from " << label << ", trigger "
        << fifo->triggerModel().name() << "\n"
        << std::flush;
  }

  // The driver's own timeout (the property) should end a late acquisition
  // first; the completion's wait is a little longer so that nothing hangs
  // with a driver that ignores it.
  const double maxWait = o.timeout + 1.0;
  const bool pulses = !o.hardwareTrigger && (o.trigger == TriggerKind::automatic || o.trigger == TriggerKind::semi);
  // Manual acquisitions are started a few ahead so that the driver always
  // has one queued.
  const long window = 4;
  long started = 0;

  GrabResult r;
  ProgressBar bar(progress, o.progress, o.count);
  const Clock::time_point t0 = Clock::now();
  for (long n = 1; n <= o.count; ++n) {
    if (o.trigger == TriggerKind::manual) {
      const long want = std::min(o.count, r.frames + window) - started;
      if (want > 0) {
        fifo->start(static_cast<unsigned long>(want));
        started += want;
      }
    } else if (o.trigger == TriggerKind::semi) {
      fifo->start(1);
    }
    if (pulses) fifo->trigger();

    qcAcquireInfo info;
    const qcPtrHandle<qcAcqImage> image =
        fifo->completeAcq(qcAcqFifo::CompleteArgs().maxWait(maxWait).acquireInfo(&info));
    ++r.frames;
    const bool hasImage = image && !image->isEmpty();
    const bool failed = static_cast<bool>(info.failure()) || !hasImage;
    if (failed) ++r.failed;
    std::string path;
    if (hasImage && o.save != FileKind::none) {
      path = writeImage(*image, frameStem(o, n), o.save);
      ++r.written;
    }
    if (!o.quiet || failed) {
      std::ostringstream line;
      line << "frame " << n << ": trigger " << info.triggerNum() << ", time stamp " << info.timeStamp() << ", "
           << describeFailure(info.failure());
      if (!hasImage) line << ", no image";
      if (!path.empty()) line << " -> " << path;
      bar.say(out, line.str());
    }
    bar.update(r.frames, r.failed);
  }
  r.seconds = secondsSince(t0);
  if (o.trigger == TriggerKind::freerun) fifo->triggerEnable(false);
  bar.clear();

  std::ostringstream sum;
  sum << r.frames << (r.frames == 1 ? " frame" : " frames");
  if (r.failed) sum << " (" << r.failed << " failed)";
  sum << " in " << fixed(r.seconds, 2) << " s";
  if (r.frames > 1 && r.seconds > 0) sum << ", " << fixed(r.frames / r.seconds, 1) << " frames/s";
  if (o.save != FileKind::none)
    sum << "; " << r.written << (r.written == 1 ? " image" : " images") << " written to " << o.outDir;
  out << sum.str() << "\n";
  return r;
}

}  // namespace qacq
