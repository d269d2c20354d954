// qacq grab: acquire frames and write them to image files.
#include <sched.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <exception>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>

#include <qrn/acq/ccf/vidfmtext.h>
#include <qrn/acq/hyper/acqfifo.h>
#include <qrn/acq/hyper/failurename.h>
#include <qrn/acq/hyper/framegrabber.h>
#include <qrn/acq/hyper/multififo.h>
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
  // Without a bar on screen the line keeps the stream's own buffering (by
  // lines on a terminal), so that a run written to a file is not one write
  // per frame.
  void say(std::ostream& out, const std::string& line) {
    const bool was = drawn_;
    clear();
    out << line << "\n";
    if (was) {
      out.flush();
      draw_();
    }
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

// While it lives, the calling thread is a batch thread: frames that wake it
// never preempt the driver's threads that receive them (one context switch
// per frame less for a receiving thread on the same processor).  Threads made
// meanwhile inherit it, so it starts once the FIFO exists.  Best effort.
class BatchScheduling {
public:
  BatchScheduling() : policy_(sched_getscheduler(0)) {
    sched_getparam(0, &param_);
    const sched_param batch{};
    on_ = policy_ == SCHED_OTHER && sched_setscheduler(0, SCHED_BATCH, &batch) == 0;
  }
  ~BatchScheduling() {
    if (on_) sched_setscheduler(0, policy_, &param_);
  }
  BatchScheduling(const BatchScheduling&) = delete;
  BatchScheduling& operator=(const BatchScheduling&) = delete;

private:
  int policy_;
  sched_param param_{};
  bool on_ = false;
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

}  // namespace

void sendCustomItems(qcAcqProps& props, const std::vector<std::pair<std::string, std::string>>& items) {
  if (items.empty()) return;
  qcCustomProp& p = props;
  // The whole line in one bag, in order: an item may address those after it
  // (the simulated board's "Channel").
  const auto bagOf = [&](std::size_t n) {
    qcCustomPropertyBag bag;
    for (std::size_t i = 0; i < n; ++i) bag.addItem(qcCustomPropertyBag::qeWrite, items[i].first, items[i].second);
    return bag;
  };
  try {
    p.customValues(bagOf(items.size()));
  } catch (const qcAcqFifo::BadParams& e) {
    p.customValues(qcCustomPropertyBag());
    if ((!e.info().empty() && e.info() != e.messageString()) || !e.detail().empty()) throw;  // the driver said why
    // It did not: the refused item is the one whose prefix of the line is
    // refused first (each prefix is sent as the line would be; the items
    // before the refused one were applied by the first send already).
    std::size_t refused = items.size() - 1;
    for (std::size_t n = 1; n < items.size(); ++n) {
      try {
        p.customValues(bagOf(n));
      } catch (const qcAcqFifo::BadParams&) {
        refused = n - 1;
        break;
      } catch (...) {
        break;
      }
    }
    p.customValues(qcCustomPropertyBag());
    throw Error(e.messageString() + ": the board refused custom item \"" + items[refused].first + "=" +
                items[refused].second + "\"");
  } catch (...) {
    p.customValues(qcCustomPropertyBag());
    throw;
  }
  p.customValues(qcCustomPropertyBag());
}

namespace {

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

FrameSource::FrameSource(const GrabOptions& o) : o_(o) {
  if (!(o.timeout > 0)) throw UsageError("--timeout must be above 0 seconds");
  fg_ = &selectBoard(o.board);
  fmt_ = o.format.empty() ? &defaultFormat(*fg_) : &findFormat(o.format);
  if (!grabbedShape(*fmt_)) {
    const qc_VidFmtCameraInfo* ci = fmt_->internal(false).fmtCamInfo();
    throw Error("\"" + std::string(fmt_->name()) + "\" is an alias of \"" + (ci ? ci->aliasVideoFormatName() : "") +
                "\", which is no known format (see \"qacq formats\")");
  }
  imf_ = !o.imageFormat.empty() ? parseImageFormat(o.imageFormat)
         : o.channels           ? qeImageFormat_PackedRGB32
                                : fmt_->imageFormat();
  if (o.channels && imf_ != qeImageFormat_PackedRGB16 && imf_ != qeImageFormat_PackedRGB32 && imf_ != qeImageFormat_3Plane)
    throw UsageError("--channels grabs colour: give --image-format rgb16, rgb32 or 3plane");
  label_ = boardLabel(*fg_);
  if (!fg_->isSupportedEx(*fmt_, imf_))
    throw Error("board " + label_ + " does not offer \"" + fmt_->name() + "\" as " + qfImageFormatName(imf_) +
                " (see \"qacq formats --board " + label_ + " --image-format " + qfImageFormatName(imf_) + "\")");
  try {
    fifo_ = qcPtrHandle<qcAcqFifo>(fmt_->newAcqFifoEx(*fg_, imf_));
  } catch (const qcVideoFormat::NotSupported&) {
    throw Error("board " + label_ + " cannot make a FIFO for \"" + fmt_->name() + "\" as " + qfImageFormatName(imf_));
  }
  multi_ = dynamic_cast<const qc_MultiAcqFifo*>(&fifo_->fifo());
  if (o.channels && !multi_)
    throw Error("board " + label_ + " does not acquire colour through its camera channels (it has " +
                std::to_string(fg_->numChannels()) + "; colour from channels needs three)");
  qcAcqProps& props = fifo_->properties();
  sendCustomItems(props, o.custom);
  if (o.exposure) static_cast<qcExposureProp&>(props).exposure(*o.exposure);
  if (o.roi) static_cast<qcRoiProp&>(props).roi(*o.roi);
  static_cast<qcTimeoutProp&>(props).timeout(o.timeout);
  // Triggers are enabled by the first next(): a free-running camera whose
  // FIFO is made before its loop starts (several boards) loses no frames
  // meanwhile.
  fifo_->triggerEnable(false);
  fifo_->triggerModel(modelOf(o.trigger));
}

FrameSource::~FrameSource() {
  // Nothing may leave a destructor: a board that cannot stop (its camera
  // lost) is left as it is, and its FIFO goes with this object.
  try {
    if (o_.trigger == TriggerKind::freerun && fifo_) fifo_->triggerEnable(false);
  } catch (...) {
  }
}

std::string FrameSource::lost() const {
  // A FIFO gets the time a board needs to make its pool ready (the
  // simulated board's prepare() does that; a camera FIFO answers at once).
  std::string why;
  if (fifo_->prepare(why, 2.0)) return {};
  return why.empty() ? "the board can no longer acquire" : why;
}

qcPtrHandle<qcAcqImage> FrameSource::next(qcAcquireInfo& info, bool makeLocal) {
  if (!enabled_) {
    fifo_->triggerEnable(true);
    enabled_ = true;
  }
  // Manual acquisitions are started a few ahead so that the driver always
  // has one queued.
  const long window = 4;
  if (o_.trigger == TriggerKind::manual) {
    const long end = completed_ + window;
    const long want = (o_.count > 0 ? std::min(o_.count, end) : end) - started_;
    if (want > 0) {
      fifo_->start(static_cast<unsigned long>(want));
      started_ += want;
    }
  } else if (o_.trigger == TriggerKind::semi) {
    fifo_->start(1);
  }
  const bool pulses = !o_.hardwareTrigger && (o_.trigger == TriggerKind::automatic || o_.trigger == TriggerKind::semi);
  if (pulses) fifo_->trigger();
  // The driver's own timeout (the property) should end a late acquisition
  // first; the completion's wait is a little longer so that nothing hangs
  // with a driver that ignores it.
  qcPtrHandle<qcAcqImage> image = fifo_->completeAcq(
      qcAcqFifo::CompleteArgs().maxWait(o_.timeout + 1.0).acquireInfo(&info).makeLocal(makeLocal));
  ++completed_;
  return image;
}

namespace {

// Where the grab loops write: the lines, the progress bar and the camera
// database file, shared by the boards' loops (one thread each when there are
// several).
class GrabOutput {
public:
  GrabOutput(const GrabOptions& o, std::ostream& out, std::ostream& progress, long boards)
      : out_(out), bar_(progress, o.progress, o.count * boards) {
    if (!o.cdbFile.empty()) cdb_ = std::make_unique<CdbRecorder>(o.cdbFile);
  }
  bool recording() const { return cdb_ != nullptr; }
  void say(const std::string& line) {
    std::lock_guard<std::mutex> g(m_);
    bar_.say(out_, line);
  }
  void record(const qcAcqImage* image, const std::string& comment) {
    std::lock_guard<std::mutex> g(m_);
    cdb_->add(image, comment);
  }
  // One more frame of a board, failed or not.
  void frame(bool failed) {
    std::lock_guard<std::mutex> g(m_);
    ++frames_;
    if (failed) ++failed_;
    bar_.update(frames_, failed_);
  }
  void clearBar() {
    std::lock_guard<std::mutex> g(m_);
    bar_.clear();
  }

private:
  std::mutex m_;
  std::ostream& out_;
  ProgressBar bar_;
  std::unique_ptr<CdbRecorder> cdb_;
  long frames_ = 0, failed_ = 0;
};

// The loop of one board: o.count frames from `src`, a line per frame (or per
// failure), files and records.  `tag` names the board in lines and files
// when several boards grab at once ("" for one).  A board that can no longer
// acquire (a camera lost) ends its loop with one line.
GrabResult grabBoard(const GrabOptions& o, FrameSource& src, GrabOutput& output, const std::string& tag) {
  const qcStdVideoFormat& fmt = src.format();
  const std::string lead = tag.empty() ? "" : tag + " ";
  GrabOptions named = o;
  if (!tag.empty()) named.prefix = o.prefix + "-" + tag;
  GrabResult r;
  const BatchScheduling batch;
  const Clock::time_point t0 = Clock::now();
  for (long n = 1; n <= o.count; ++n) {
    qcAcquireInfo info;
    // Images that are not saved stay where the driver put them (no copy).
    const qcPtrHandle<qcAcqImage> image = src.next(info, o.save != FileKind::none);
    ++r.frames;
    const bool hasImage = image && !image->isEmpty();
    const bool failed = static_cast<bool>(info.failure()) || !hasImage;
    if (failed) ++r.failed;
    output.frame(failed);
    if (failed && !hasImage && info.failure().isAbnormal()) {
      r.lost = src.lost();
      if (!r.lost.empty()) {
        output.say("board " + src.label() + " lost at frame " + std::to_string(n) + ": " + r.lost);
        break;
      }
    }
    std::string path;
    if (hasImage && o.save != FileKind::none) {
      path = writeImage(*image, frameStem(named, n), o.save);
      ++r.written;
    }
    if (output.recording()) {
      std::ostringstream comment;
      if (!tag.empty()) comment << "board " << tag << ", ";
      comment << "format " << fmt.name() << ", trigger " << info.triggerNum() << ", time stamp " << info.timeStamp()
              << ", " << qfDescribeFailure(info.failure());
      output.record(hasImage ? image.ptr() : nullptr, comment.str());
    }
    if (!o.quiet || failed) {
      std::string line = lead + "frame " + std::to_string(n) + ": trigger " + std::to_string(info.triggerNum()) +
                         ", time stamp " + std::to_string(info.timeStamp()) + ", " + qfDescribeFailure(info.failure());
      if (!hasImage) line += ", no image";
      if (!path.empty()) line += " -> " + path;
      output.say(line);
    }
  }
  r.seconds = secondsSince(t0);
  return r;
}

std::string summary(const GrabOptions& o, const GrabResult& r, const std::string& tag) {
  std::ostringstream sum;
  if (!tag.empty()) sum << tag << ": ";
  sum << r.frames << (r.frames == 1 ? " frame" : " frames");
  if (r.failed) sum << " (" << r.failed << " failed)";
  sum << " in " << fixed(r.seconds, 2) << " s";
  if (r.frames > 1 && r.seconds > 0) sum << ", " << fixed(r.frames / r.seconds, 1) << " frames/s";
  if (!r.lost.empty()) sum << "; stopped: the board was lost";
  if (o.save != FileKind::none)
    sum << "; " << r.written << (r.written == 1 ? " image" : " images") << " written to " << o.outDir;
  if (!o.cdbFile.empty()) sum << "; recorded in " << o.cdbFile;
  return sum.str();
}

}  // namespace

std::vector<std::string> splitBoards(const std::string& list) {
  std::vector<std::string> boards;
  std::size_t at = 0;
  while (true) {
    const std::size_t comma = list.find(',', at);
    boards.push_back(list.substr(at, comma == std::string::npos ? std::string::npos : comma - at));
    if (comma == std::string::npos) break;
    at = comma + 1;
  }
  if (boards.size() > 1)
    for (const std::string& b : boards)
      if (b.empty()) throw UsageError("bad board list \"" + list + "\": give names or indices separated by commas");
  return boards;
}

GrabResult grab(const GrabOptions& o, std::ostream& out, std::ostream& progress) {
  if (o.count < 1) throw UsageError("--count must be at least 1");
  const std::vector<std::string> boards = splitBoards(o.board);
  // Every FIFO first, so that a board that cannot grab stops the grab before
  // anything is acquired.
  std::vector<std::unique_ptr<FrameSource>> sources;
  for (const std::string& b : boards) {
    GrabOptions one = o;
    one.board = b;
    sources.push_back(std::make_unique<FrameSource>(one));
  }
  std::vector<std::string> tags;
  for (const auto& src : sources) {
    tags.push_back(sources.size() > 1 ? src->label() : "");
    if (std::count(tags.begin(), tags.end(), tags.back()) > 1) throw UsageError("board " + src->label() + " is named twice");
  }
  if (o.save != FileKind::none) prepareOutDir(o.outDir);

  if (!o.quiet) {
    for (const auto& src : sources) {
      const qcStdVideoFormat& fmt = src->format();
      out << "grabbing " << o.count << (o.count == 1 ? " frame" : " frames") << " of \"" << fmt.name() << "\" ("
          << [&] {
               const auto shape = grabbedShape(fmt);  // an alias grabs the format it leads to
               return shape ? std::to_string(shape->width) + "x" + std::to_string(shape->height) : std::string("?");
             }()
          << " " << qfImageFormatName(src->imageFormat())
          << (src->multi() ? " through " + std::to_string(src->multi()->numChannels()) + " channels" : std::string())
          << ") from " << src->label() << ", trigger " << src->fifo().triggerModel().name() << "\n";
    }
    out << std::flush;
  }

  GrabOutput output(o, out, progress, static_cast<long>(sources.size()));
  std::vector<GrabResult> results(sources.size());
  if (sources.size() == 1) {
    results[0] = grabBoard(o, *sources[0], output, "");
  } else {
    // One loop per board, each on a thread of its own; an error in one ends
    // only that loop, and is thrown once every loop is over.
    std::vector<std::exception_ptr> errors(sources.size());
    std::vector<std::thread> loops;
    for (std::size_t i = 0; i < sources.size(); ++i)
      loops.emplace_back([&, i] {
        try {
          results[i] = grabBoard(o, *sources[i], output, tags[i]);
        } catch (...) {
          errors[i] = std::current_exception();
        }
      });
    for (std::thread& t : loops) t.join();
    for (const std::exception_ptr& e : errors)
      if (e) std::rethrow_exception(e);
  }
  output.clearBar();

  GrabResult total;
  for (std::size_t i = 0; i < sources.size(); ++i) {
    out << summary(o, results[i], tags[i]) << "\n";
    total.frames += results[i].frames;
    total.failed += results[i].failed;
    total.written += results[i].written;
    total.seconds = std::max(total.seconds, results[i].seconds);
    if (total.lost.empty()) total.lost = results[i].lost;
  }
  return total;
}

}  // namespace qacq
