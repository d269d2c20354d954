// GigE Vision and USB3 Vision cameras ("gige" boards): what an application
// can ask of the camera driver beyond the driver interfaces.
//
// The driver is a board driver plugin (libqrngige.so in the driver
// directory) built on Aravis 0.8, which does the transport and GenICam.  An
// application needs nothing of this header to acquire: each configured
// camera is a qcFrameGrabber.  The header names the driver's own custom
// items and gives header-only access to GenICam features.  Nothing here
// links against the plugin.
//
// ---- Boards ----------------------------------------------------------------
// Cameras are configured, never discovered by default (discovery broadcasts
// on every interface).  The list is ';'-separated:
//   environment "QUORIN_GIGE_CAMERAS"  when set (even empty), else
//   HKEY_LOCAL_MACHINE\SOFTWARE\Quorin\ORB\gige  "cameras"  (string)
// Each element is
//   "fake" or "Fake_1"   Aravis's in-process fake camera (no network at all);
//   an IPv4 address      a GigE Vision camera opened by address (no broadcast;
//                        0.0.0.0, 255.255.255.255 and multicast refused);
//   anything else        a USB3 Vision device id.
// Board i (name "gige", bdIdx i, shown as "gige<i>") is the i-th element.
// The cameras are opened when the plugin registers its boards (the first use
// of the board list); opening a camera that does not answer takes about
// 2.5 s (Aravis's control timeout and retries), and gives a board
// whose FIFO creation throws qcAcqFifo::CouldNotCreate with the reason in its
// message.  A board whose camera is gone is opened again when a FIFO is made.
//
// ---- Formats -----------------------------------------------------------------
// A format is supported when it fits the camera's sensor and its pel kind is
// one the camera offers (pixel formats by name, else by numeric code; the
// README's table lists them all):
//   grey 8                       Mono8, else the most significant 8 bits of
//                                a wider Mono format, else Y of YUV 4:2:2
//   grey 16 (mono16/10/12)       Mono10/12/14/16 and their packed forms
//                                (10p, 12p, 14p, 10Packed, 12Packed)
//                                unpacked, values unchanged; the most bits
//                                first, the packed form first among equals;
//                                else a wider Bayer format's raw pels
//   RAW8 (qe_pelType_RAW8)       a Bayer 8 format, else the most significant
//                                8 bits of a Bayer 10/12/16/10p/12p/Packed
//   packed RGB32, packed RGB16   RGB8, BGR8, RGBa8, BGRa8 reordered, else YUV
//   (RGBpacked, RGBpacked16)     4:2:2 by BT.601, else a Bayer format
//                                converted by qcBayerImageConverter
//   three planes (RGBplanar)     a Bayer format converted, else RGB or YUV
// Grey 16 images carry the pel's depth (qeImageFormat_Grey10/12/14/16).
// The converter's white balance is 1 1 1 until the custom item
// "WhiteBalance" sets it (below); its phase is the pattern
// the format's name gives at the sensor's first pel, shifted by the parity
// of the region's offset (regions of a converted mosaic keep even sizes).
// A format's pel kind is its camera configuration's pel type, else its own,
// else grey 8 (depth 8) or grey 16.  Each camera adds a format of its full
// sensor named "<vendor> <model> <W>x<H>" (grey 8 when Mono8 is offered, else
// the camera's first kind above) to the format lists.
//
// One FIFO at a time per camera: a second FIFO while one lives throws
// qcAcqFifo::CouldNotCreate.  Its reason is the exception's detail
// (what(): "qcAcqFifo::CouldNotCreate: <reason>").
//
// ---- Hand-over -----------------------------------------------------------------
// A GigE Vision camera serves one controlling program at a time and keeps a
// controller that went without a word for its heartbeat timeout (seconds).
// The driver gives each camera back (closes its control channel): when the
// process exits normally, when its board is removed from the board list and
// no FIFO or grabber holds it, and on SIGINT, SIGTERM and SIGHUP where the
// application left the signal's default action (the driver then lets the
// signal take its course).  A program started right after streams at once.
// A process killed otherwise (SIGKILL, a crash) leaves the camera to its
// heartbeat timeout.
//
// ---- Properties and GenICam features -------------------------------------------
// Each property is reported by the property query only when the camera has
// its features.
//   exposure               ExposureTime (or ExposureTimeAbs), microseconds;
//                          values outside the feature's bounds throw
//                          qcAcqFifo::BadParams.  The default is the
//                          camera's value when the FIFO was made.
//   ROI                    OffsetX/OffsetY/Width/Height within the format's
//                          frame; offsets are rounded down and sizes down to
//                          the features' increments (actualRoi() tells).
//   trigger models         Manual: TriggerMode On, TriggerSource Software,
//                          one TriggerSoftware per started acquisition (a
//                          camera without software trigger runs free and a
//                          started acquisition takes the next frame).
//                          FreeRun: TriggerMode Off, continuous.
//                          Automatic / Semi-Automatic: TriggerMode On,
//                          TriggerSource the FIFO's input line (custom item
//                          "InputLine", default "Line0"), TriggerActivation
//                          RisingEdge (low to high) or FallingEdge.
//                          Slave: not possible; isValid reports
//                          slaveTriggerNoMaster with invalidMasterOrSlave
//                          and no frame is taken.
//   trigger()              TriggerSoftware (with "InputLine" "Software" it
//                          triggers the Automatic models).
//   strobe                 a line whose LineSource offers ExposureActive:
//                          LineMode Output, LineSource ExposureActive (Off
//                          when disabled), LineInverter for active low.
//   contrast, brightness   tap 0 only: Gain (or GainRaw) and BlackLevel (or
//   (tap 0)                BlackLevelRaw), 0..1 spread over the feature's
//                          bounds; the defaults are the camera's values.
//   timeout                a started acquisition not taken within it
//                          completes with isTimeout.
//   hardware image pool    the number of stream buffers (default 16).
//   custom property        write items set any feature by name
//                          ("ExposureAuto"="Continuous") but those the FIFO
//                          sets itself (Width, Height, OffsetX/Y,
//                          PixelFormat, Trigger{Mode,Source,Selector,
//                          Activation}, AcquisitionMode/Start/Stop,
//                          Binning*, Decimation*: BadParams; the same
//                          features are refused through
//                          qc_GigeGrabber::feature(name, value) while a FIFO
//                          of the camera exists), command items run
//                          a command feature; the driver's own items below
//                          (InputLine, AppTag, WhiteBalance).
//                          Read values with qfGigeFeature (below): the bag
//                          carries no read items.
//
// ---- Acquisitions and failures ---------------------------------------------------
// Images are the stream buffers themselves (no copy) for Mono and Bayer pels:
// they are not local (qcRemoteObject::isLocal() false), a completion with
// makeLocal copies them, and a held buffer returns to the stream when its
// last handle goes.  Colour images are made anew (local).
// The buffer's status becomes the failure: missing packets -> isIncomplete
// with the image; timeout (the frame's packets stopped coming before it was
// whole) -> isTimeout and isIncomplete, with the image as far as it came;
// any other -> isAbnormal with the Aravis status as code and no image.  A gap in frame ids is an overrun
// (overrun callbacks; the stream had no free buffer) or else marks the next
// acquisition isMissed.  Trigger number: the frame id; time stamp: the
// buffer's, in microseconds.  A failed frame whose first (leader) packet was
// lost carries neither: it takes the id after the previous frame's and time
// stamp 0; a failed frame's id that goes back is not taken either.
// When the camera is lost (Aravis's control-lost: a GigE camera stops
// answering its heartbeat, about 5.5 s after it went, measured on loopback;
// or a software trigger that goes unanswered through Aravis's retries, about
// 2.5 s after it went under the Manual model), pending acquisitions and
// every later completion fail within 0.1 s with isAbnormal and errorInfo
// saying so, and prepare() fails with the same text; until then completions
// keep their own deadlines (maxWait).  Settings that stop the FIFO
// (triggerEnable(false)) still succeed; others throw CouldNotCreate.  Make
// the FIFO again when the camera is back.
// Destroying a FIFO whose camera is known lost returns at once (Aravis's
// stream teardown, which waits 2.5 s for the gone camera, runs on a thread
// of the driver, joined at exit: a process ending right after waits for it
// there).  Destroying one whose camera has just
// gone, before it is known lost, waits for the camera's control timeouts (up
// to about 8 s).  Listing features stops at the first control timeout.
//
// A completion's startReqStatus is qeGigeStart_Granted (0: it started one
// acquisition, or none was needed) or qeGigeStart_Refused (2: the trigger
// model has no software starts), the values of the simulated board.
// Started acquisitions cost no memory each; a run of them started together
// that times out (or is failed by a lost camera) is one record handed out as
// many times as it counts.  Refused settings (trigger model, input line,
// pool size, region) leave the FIFO as it was.  The stream buffers are
// allocated when the stream is made: a pool of more than half the machine's
// memory throws qcAcqFifo::BadParams.
//
// Filled buffers become acquisitions on Aravis's stream thread; callbacks
// run on the FIFO's worker thread, joined when the FIFO goes (so a callback
// must not let go of the last handle of its own FIFO).
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include <qrn/acq/hyper/acqfifo.h>
#include <qrn/acq/hyper/framegrabber.h>
#include <qrn/acq/hyper/prop/acqprops.h>
#include <qrn/foundation/board.h>

// The gige driver's names of custom property items.
namespace qrn_gige {
// Custom items of the driver (write items, values as text).
inline constexpr const char* kInputLine = "InputLine";  // "Line<n>", "<n>" or "Software"
inline constexpr const char* kAppTag = "AppTag";        // application tag of later acquisitions
// White balance of colour converted from a Bayer mosaic: the red, green and
// blue scales ("1.4 1.0 1.8", each greater than 0; default "1 1 1").  Other
// FIFOs refuse it with qcAcqFifo::BadParams.
inline constexpr const char* kWhiteBalance = "WhiteBalance";
}  // namespace qrn_gige

// What a camera FIFO writes to CompleteArgs::startReqStatus (the values the
// simulated board uses too, so that qc_MultiAcqFifo reads them alike).
enum qeGigeStartReqStatus : std::int32_t {
  qeGigeStart_Granted = 0,  // the completion started one acquisition, or none was needed
  qeGigeStart_Refused = 2,  // the trigger model does not allow software starts
};

// The ids of a ';'-separated camera list, blanks around each trimmed, empty
// elements dropped.
inline std::vector<std::string> qfGigeSplitCameraList(const std::string& list) {
  std::vector<std::string> ids;
  std::stringstream ss(list);
  for (std::string id; std::getline(ss, id, ';');) {
    const auto b = id.find_first_not_of(" \t"), e = id.find_last_not_of(" \t");
    if (b != std::string::npos) ids.push_back(id.substr(b, e - b + 1));
  }
  return ids;
}

// Aravis's camera object (declared as Aravis declares it).
typedef struct _ArvCamera ArvCamera;

// One GenICam feature as listed by features().
struct qsGigeFeature {
  // The feature's GenICam name (e.g. "ExposureTime"), its type and its
  // value as text.
  std::string name;
  std::string type;   // "Integer", "Float", "Boolean", "String", "Enumeration", "Command"
  std::string value;  // empty for commands and unreadable features
};

// One image kind of a camera: the camera PixelFormat a FIFO of that kind sets
// and how its images are made from it.
struct qsGigeImageSource {
  std::string kind;         // "grey8", "grey16", "raw8", "rgb16", "rgb32", "3plane"
  std::string pixelFormat;  // the camera's name for it
  std::string madeFrom;     // "as sent", "unpacked", "BT.601, full range", ...
};

// What the driver object of a "gige" board offers.  Reach it through
// qfGigeGrabber.  Calls are serialised per camera; any thread may call.
class qc_GigeGrabber : public qc_FrameGrabber {
public:
  // The camera's vendor and model ("" while it cannot be opened).
  virtual std::string cameraModel() const = 0;
  // The configured id.
  virtual std::string cameraId() const = 0;
  // Why the camera cannot be used ("" when it is open).
  virtual std::string cameraError() const = 0;
  // The value of one feature as text.  Throws qcAcqFifo::BadParams for an
  // unknown or unreadable feature, qcAcqFifo::CouldNotCreate when the camera
  // cannot be opened.
  virtual std::string feature(const std::string& name) = 0;
  // Sets a feature from text (a command feature runs; the value is ignored).
  // Throws like feature().
  virtual void feature(const std::string& name, const std::string& value) = 0;
  // Every implemented feature with its value.
  virtual std::vector<qsGigeFeature> features() = 0;
  // The camera's PixelFormat entries, as it names them.  Throws like feature().
  virtual std::vector<std::string> pixelFormats() = 0;
  // The image kinds the camera gives, each from the format a FIFO of that
  // kind sets.  Throws like feature().
  virtual std::vector<qsGigeImageSource> imageSources() = 0;
  // The Aravis camera under the board, for what the driver does not map
  // (events, chunk data, setting up Aravis's fake camera).  Valid while the
  // camera stays open: until it is lost and opened again.  Calls on it
  // bypass the driver's lock on the camera: make them while no other thread
  // uses the board, and never stream from it.  Throws like feature().
  virtual ArvCamera* aravisCamera() = 0;
};

// The driver object of a "gige" board, or null for other boards.
inline qc_GigeGrabber* qfGigeGrabber(qcFrameGrabber& fg) {
  auto* b = dynamic_cast<qcBoard*>(&fg);
  if (!b || b->name() != "gige") return nullptr;
  return static_cast<qc_GigeGrabber*>(fg.internal());
}
// The value of a feature of the board's camera (see qc_GigeGrabber).
inline std::string qfGigeFeature(qcFrameGrabber& fg, const std::string& name) {
  qc_GigeGrabber* g = qfGigeGrabber(fg);
  if (!g) throw qcAcqFifo::BadParams();
  return g->feature(name);
}

QRN_API_END
