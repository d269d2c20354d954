// qrnacqsrc's acquisition session: the element's settings, the board, format
// and FIFO they select, the caps that follow from them, and the frame rate
// the board runs at.  Everything here goes through the library's public API.
#pragma once

#include <gst/gst.h>
#include <gst/video/video.h>

#include <atomic>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <qrn/acq/format/vidfmt.h>
#include <qrn/acq/hyper/acqfifo.h>
#include <qrn/acq/hyper/framegrabber.h>

namespace qrngst {

// One image format of the library and the GStreamer formats that carry its
// pels as they are (the first is preferred).
struct FormatMap {
  const char* name;  // the image-format property's name (qacq's)
  qeImageFormat imf;
  GstVideoFormat gst[2];
};
constexpr GstVideoFormat kNone = GST_VIDEO_FORMAT_UNKNOWN;

// The map of image format f, null for one the element does not carry.
const FormatMap* mapOf(qeImageFormat f);

extern const char* const kTemplateCaps;

enum class Trigger : int { manual = 0, freerun = 1, automatic = 2, semi = 3 };
GType triggerType();

struct Settings {
  std::string board, format, imageFormat, roi, custom;
  double exposure = 0.0;  // 0: the FIFO's default
  Trigger trigger = Trigger::manual;
  bool hwTrigger = false;
  double timeout = 5.0;
  int poolSize = 0;  // 0: the driver's default
  bool dropIncomplete = false;
};

// An error of the set-up, with the GStreamer error it becomes.
struct SetupError {
  std::string message;
  bool notFound = false;  // a board or format that does not exist
};

// "name=value;name=value": the items in order.  Throws SetupError.
std::vector<std::pair<std::string, std::string>> parseCustom(const std::string& text);

// The board's label as qacq shows it ("sim0", "gige1").
std::string boardLabel(qcFrameGrabber& fg);

// The fraction GStreamer calls a frame rate of `period` seconds per frame:
// NTSC rates as n x 1000/1001, whole rates as n/1, 0/1 for 0.
void periodToFraction(double period, gint& num, gint& den);

// What the element holds between start() and stop().  One thread at a time
// (the streaming thread, or the state change while it is stopped).
struct Session {
  Settings s;
  qcFrameGrabber* fg = nullptr;
  const qcStdVideoFormat* fmt = nullptr;
  std::string label;
  std::vector<qeImageFormat> offered;  // what the caps offer, preferred first
  std::atomic<double> period{0.0};     // seconds per frame; 0: unknown, as fast as asked, or triggered
  bool periodAdjustable = false;       // the caps offer a range and the board takes the chosen rate
  double chosenPeriod = 0.0;           // the period downstream chose (0: the board's own)
  std::vector<std::string> notes;      // what the set-up changed, for warnings
  GstCaps* caps = nullptr;             // offered caps (immutable once made)
  qcPelRect rect;                      // the image size they give

  qcPtrHandle<qcAcqFifo> fifo;
  qeImageFormat imf = qeImageFormat_Unspecified;
  long ahead = 0;        // manual: acquisitions started and not yet taken
  bool running = false;  // free running / first frame asked for
  std::shared_ptr<std::atomic<long>> overruns = std::make_shared<std::atomic<long>>(0);
  GstVideoInfo info{};
  bool haveInfo = false;

  Session() = default;
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;
  ~Session();

  void closeFifo();
  // A FIFO for image format f with every setting applied.  Throws.
  void openFifo(qeImageFormat f);
  // Runs the board at `seconds` per frame (a rate downstream chose from the
  // offered range).  Throws SetupError.
  void applyPeriod(double seconds);
  // The formats offered, as GStreamer names them ("GRAY8 (grey8), ...").
  std::string offeredText() const;
  // Starts or triggers what the trigger model needs for the next frame.
  void requestFrame();
  // The hardware image pool's size (the driver's default when pool-size is 0).
  long poolSize() const;

private:
  // The size of the FIFO's images (the region of interest it uses).
  qcPelRect imageRect() const;
  void resolve(qcFrameGrabber& board);
  // Sends custom items to the FIFO in one bag.  Throws SetupError naming
  // `what` when the board refuses them.
  void sendItems(const std::vector<std::pair<std::string, std::string>>& items, const std::string& what);
  void findPeriod();
  void sendPeriod();
  void makeCaps(const qcPelRect& r);
  friend std::unique_ptr<Session> openSession(const Settings& s);
  friend GstCaps* boardCaps(qcFrameGrabber& fg, std::string& format);
};

// Resolves the settings into a session with a FIFO.  Throws SetupError and
// the library's exceptions.
std::unique_ptr<Session> openSession(const Settings& s);

// The caps of board fg with the default settings (its default format, the
// whole frame, every image format the element carries), and that format's
// name.  Opens no FIFO.  Throws SetupError and the library's exceptions.
GstCaps* boardCaps(qcFrameGrabber& fg, std::string& format);

}  // namespace qrngst
