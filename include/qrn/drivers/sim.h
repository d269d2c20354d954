// The simulated frame grabber ("sim" boards): what an application or a test
// can ask of it beyond the driver interfaces.
//
// The simulator is an ordinary board driver plugin (libqrnsim.so in the
// driver directory).  Its boards appear in the board list as "sim" boards,
// bdIdx 0, 1, ...; each is a qcFrameGrabber.  An application needs nothing of
// this header to acquire from it; the header only names the simulator's own
// settings, which travel to a FIFO through the custom property
// (qcCustomProp, <qrn/acq/hyper/prop/custom.h>), and offers small helpers
// that build those items.  Nothing here links against the plugin.
//
// ---- Boards ----------------------------------------------------------------
// The registry store (<qrn/acq/registry/regstore.h>) configures the boards
// when the plugin registers them (the first use of the board list):
//   HKEY_LOCAL_MACHINE\SOFTWARE\Quorin\ORB\sim
//     "boards"          dword  number of simulated boards (default 1, at most 16)
//   HKEY_LOCAL_MACHINE\SOFTWARE\Quorin\ORB\sim\board<i>
//     "numTaps"         dword  taps of the digitizer, 1 to 4 (default 2): line
//                              y of the full frame is read through tap y % numTaps
//     "numChannels"     dword  independent acquisition channels, 1 to 4 (default 2);
//                              with 3 or more, colour FIFOs are multi-channel
//                              FIFOs (below)
//     "inputLines"      dword  simulated trigger input lines (default 2)
//     "cameraPorts"     dword  camera ports (default 2, at least numChannels)
//     "poolSize"        dword  default hardware image pool size (default 4, 2 to 1024)
//     "framePeriod"     string default frame period in seconds for formats
//                              without camera timing ("0.0333")
//
// ---- FIFOs -------------------------------------------------------------------
// Every format with a width and a height is supported, in every pixel kind:
// grey 8 and 16 bits, packed RGB 16 and 32, three planes, and, through
// qc_FrameGrabber::newAcqFifo(fmt, internal image type), the pel types mono,
// RGBpacked (packed RGB32), RGBplanar, RAW8 (a Bayer mosaic in 8 bits),
// RGBpacked16, mono16, mono10 and mono12 (16-bit pels holding 10 or 12 bits).
//
// Multi-channel FIFOs.  On a board with three channels or more, a FIFO for
// colour (packed RGB 16 or 32, or three planes; by traits or by the image
// types RGBpacked, RGBpacked16 and RGBplanar) is an RGB camera on three
// channels (qc_MultiAcqFifo, <qrn/acq/hyper/multififo.h>): channel i renders
// component i of the test image (red, green, blue; grey test images give
// the same grey in each) through one tap, on camera ports p, p + 1, p + 2.
// Its completions combine the channels; its grey completion (complete8)
// gives the green channel.  Items of the custom property go to every channel
// unless a "Channel" item comes first (below); the default contrast and
// brightness, exposure, settings database, input-table size and hardware
// image pool are channel 0's, and a pool size, numeric setting or region of
// interest mode is given to every channel.  On boards of one or two channels
// colour FIFOs stay single-channel (a colour digitizer).
//
// Each FIFO has one worker thread that produces its frames, joined when the
// FIFO is destroyed.  A frame takes one frame period: the format's (from its
// camera timing record: hTotal x vTotal / pixel clock, per field), else the
// board's "framePeriod", else 1/30 s; the custom item "FramePeriod" replaces it
// (0: as fast as asked).  Frames keep the camera's clock: in a stream, frame k
// starts k periods after the first, its time stamp is that slot, and it is
// delivered one period later, however long making its image took (the image
// is made while the frame is exposed).  A free-running frame whose slot
// passed while the board was still busy is lost as an overrun (overrun
// callbacks, its own trigger number); a started acquisition that finds the
// board late takes the frame in progress, and its time stamp says when that
// started.  An acquisition started on an idle camera starts a frame at once.
//
// Trigger models:
//   Manual          start(n) queues n acquisitions, taken one frame after
//                   another.  n is a count: any n costs the same memory.
//   FreeRun         while the trigger is enabled every frame is acquired; no
//                   start (start() throws qcAcqFifo::StartNotAllowed).
//   Automatic       every pulse of the FIFO's input line acquires one frame; no
//                   start.
//   Semi-Automatic  start(n) arms n acquisitions; each waits for a pulse.
//   Slave           acquires one frame whenever its master (a FIFO of the same
//                   board, qcTriggerProp::triggerMaster) acquires one, with the
//                   master's trigger number and time stamp; no start.
// trigger() is a software pulse of the FIFO's own line.  A pulse that comes
// while a frame is being taken is missed: it still counts as a trigger, and
// unless the trigger filter's ignoreMissedTrigger is set the next acquisition
// reports isMissed.  The trigger filter's triggerDelay (setting 6002) delays
// each frame after its pulse.
//
// Images.  Frames go into the FIFO's hardware image pool (hardwareImagePoolSize,
// default 4, at most 1024: a larger size throws qcAcqFifo::BadParams).
// prepare() makes the pool's images ready up to its deadline; when the
// deadline passes first (or memory runs out) it returns false with a message,
// and the rest are made as frames need them.  A triggered or free-running frame that finds the pool full is
// lost: the overrun callbacks run (the info carries isOverrun and the trigger
// number of the lost frame); started acquisitions instead wait for a buffer.
// Pool images are not local to the process (qcRemoteObject::isLocal() false)
// unless the custom item "LocalImages" is 1: a completion with makeLocal
// copies them, with makeLocal false the caller holds the pool buffer, which
// goes back to the pool when its last handle goes.
//
// The pels: the test image (below) at the frame's number, scaled by
// exposure / defaultExposure() (0.01 s), then per tap contrast c and
// brightness b, which select the input window [n, p] stretched over the
// output range (on values from 0 to 1: p - n = 1 - 254 c / 255,
// n = 254 c (1 - b) / 255; clipped), then
// the tap's 8-bit input lookup table (8-bit pels and components only), then
// cut to the region of interest and sampled by the sample property (settings
// 9011 and 9012: 1, 2 or 4).  A region of interest that does not overlap the
// frame fails the acquisition with isInvalidRoi.  With identity tables,
// contrast 0 (the FIFO's default: any brightness) and the default exposure,
// 8-bit pels are the test image's values exactly.  Note that the input table starts as the
// property's default table (values clipped to 15..240).
//
// Timeouts.  An acquisition that has not been taken within the timeout
// property's time after it was started (or armed) completes with isTimeout
// (the acquisitions of one start time out together).
// A completion whose maxWait runs out returns no image and reports isTimeout
// in its acquire info; the acquisition stays queued.
//
// Callbacks (run on the FIFO's worker thread): for each acquisition, the
// move-part callbacks (the exposure is over), then the complete callbacks,
// with its acquire info; the overrun callbacks for lost frames; and the light
// callback with a `const qsSimLightEvent*` for every strobe pulse (strobe
// enabled) and every light flash (light enabled).
//
// Nothing thrown on the worker thread leaves it.  When making a frame fails
// (a light callback throws, memory runs out) or a move-part callback throws,
// that acquisition fails with isAbnormal (code 1 unless injected), no image,
// and the reason in its error text ("sim: ..."); exceptions of the complete
// and overrun callbacks are dropped.  A region of interest whose right or
// bottom edge does not fit in a long is refused (qcAcqFifo::BadParams); one
// that reaches beyond the frame is cut to it.
//
// Acquire info: appTag (custom item "AppTag"), trigger number (1, 2, ... per
// FIFO; a slave uses its master's), failure, and a time stamp in microseconds
// of the board's clock at the trigger.
//
// isValid reports master/slave set-ups that cannot work: a slave model
// without a master (slaveTriggerNoMaster), a master set on a FIFO whose model
// is not Slave (slaveNotSlaveTrigger), a master whose own model is Slave
// (masterIsSlaveTrigger), master and slave of different sizes
// (mismatchedFormats) or exposures (mismatchedExposures), a slave on its
// master's camera port (slavePortInvalid), a camera port the board lacks
// (invalidCameraPort); bit 0 (hasInvalidMaster) comes with every master/slave
// problem.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <cstdint>
#include <string>

#include <qrn/acq/hyper/acqfifo.h>
#include <qrn/acq/hyper/prop/acqprops.h>

// ---- custom property items ----------------------------------------------------
// Write items (name, value) unless marked command.  Values are text; numbers
// in C locale.  Unknown names, and values that do not parse, throw
// qcAcqFifo::BadParams from qcCustomProp::customValues (items before the bad
// one have taken effect).
//
// "TestImage"     the test image:
//                   "gradient"      (x + y + n) mod 256, n the frame number
//                                   (the trigger number): it moves with the
//                                   frame (the default);
//                   "checkerboard"  squares of "CheckerSize" pels (default 8),
//                                   255 where (x / size + y / size) is even, else 0;
//                   "color"         a colour scene: red 255 x / (w - 1), green
//                                   255 y / (h - 1), blue 255 - red (rounded
//                                   down); grey pels get its luma
//                                   (77 r + 150 g + 29 b) / 256;
//                   "bayerRG", "bayerGR", "bayerGB", "bayerBG"
//                                   the colour scene as a Bayer mosaic: the pel
//                                   at (x, y) holds one component, by the
//                                   pattern named from the top-left 2 x 2 cell
//                                   (row 0 then row 1), so "bayerGR" has G at
//                                   (0, 0), R at (1, 0), B at (0, 1), G at (1, 1);
//                   "twotap"        a two-tap camera out of balance: even lines
//                                   b = 20 + 200 x / (w - 1), odd lines
//                                   b x "TapGain" + "TapOffset" (defaults 1.25
//                                   and -16), rounded and clipped to 0..255;
//                   "flat"          every pel "FlatValue" (default 128).
//                 All coordinates are those of the full frame.  16-bit pels
//                 hold v x 257 (mono10 and mono12: shifted down to 10 or 12
//                 bits); colour pels of grey images hold v in each component.
// "CheckerSize", "FlatValue", "TapGain", "TapOffset"   see above.
// "FramePeriod"   seconds per frame; 0: as fast as asked.
// "TriggerPeriod" seconds between pulses of a pulse generator on the FIFO's
//                 input line; 0 (default) stops it.
// "InputLine"     the input line (0 .. inputLines-1) the FIFO listens to.
// "FireInputLine" a pulse on the line given as the value, seen by every FIFO
//                 of the board that listens to it; as a command item, a pulse
//                 on the FIFO's own line.
// "Inject"        the next acquisition taken fails: "timeout", "missed",
//                 "abnormal" (optionally "abnormal:<code>", default code 1),
//                 "incomplete", "tooFastEncoder", "invalidRoi", "overrun",
//                 "otherFifoError" or "timingError".  Each item queues one
//                 failure, used in order.  Acquisitions failing with
//                 timeout, missed, abnormal, invalidRoi, overrun or
//                 otherFifoError deliver no image; incomplete delivers the top
//                 half of the frame (the rest zero); tooFastEncoder and
//                 timingError deliver the image.  An injected overrun also
//                 runs the overrun callbacks.
// "AppTag"        the application tag of acquisitions started (or taken)
//                 from now on.
// "LocalImages"   1: pool images are local to the process; 0 (default): not.
// "Channel"       multi-channel FIFOs: the channel (0, 1, ...) that the
//                 following items of the same bag go to; "all" (the default)
//                 sends them to every channel (a "FireInputLine" to channel 0
//                 only).  qfSimInject(fifo, failure, channel) uses it.
//
// The custom property stores its bag and sends it again when a property set
// is assigned to the FIFO's set: items are actions, so send them through
// qfSimSend, which empties the bag again afterwards.

// The simulator's names of custom property items.
namespace qrn_sim {
// The names of the custom property items described above, to pass to
// qfSimSet or qcCustomPropertyBag::addItem (each constant is the name
// without its k: kTestImage is "TestImage").
inline constexpr const char* kTestImage = "TestImage";
inline constexpr const char* kCheckerSize = "CheckerSize";
inline constexpr const char* kFlatValue = "FlatValue";
inline constexpr const char* kTapGain = "TapGain";
inline constexpr const char* kTapOffset = "TapOffset";
inline constexpr const char* kFramePeriod = "FramePeriod";
inline constexpr const char* kTriggerPeriod = "TriggerPeriod";
inline constexpr const char* kInputLine = "InputLine";
inline constexpr const char* kFireInputLine = "FireInputLine";
inline constexpr const char* kInject = "Inject";
inline constexpr const char* kAppTag = "AppTag";
inline constexpr const char* kLocalImages = "LocalImages";
inline constexpr const char* kChannel = "Channel";
}  // namespace qrn_sim

// What a start request became (written through CompleteArgs::startReqStatus).
// 0 is the only status that lets a multi-channel FIFO go on to its other
// channels, so every start that was not refused reports it.
enum qeSimStartReqStatus : std::int32_t {
  qeSimStart_Granted = 0,  // the completion started one acquisition, or none was needed
  qeSimStart_Refused = 2,  // the trigger model does not allow software starts
};

// The light callback's argument (valid during the call only).
struct qsSimLightEvent {
  // What fired: a strobe pulse or a light flash.
  enum Kind : std::int32_t { strobe = 0, light = 1 } kind;  // what fired (see Kind)
  unsigned long triggerNum;  // the acquisition's trigger number
  double delay;              // strobe delay or light delay, seconds
  double duration;           // strobe pulse duration (light: 0), seconds
  double power;              // light power (strobe: 1), 0 to 1
  bool activeHigh;           // strobe polarity (light: true)
};

// Sends one bag of items to the FIFO's driver through its custom property,
// then empties the property's bag (sending the empty bag, which the simulator
// ignores), so that later assignments of property sets do not repeat the
// actions.  Exceptions of the driver pass (the bag is emptied first then).
// Call it on the thread that uses the FIFO.
inline void qfSimSend(qcAcqFifo& fifo, const qcCustomPropertyBag& bag) {
  qcCustomProp& p = fifo.properties();
  try {
    p.customValues(bag);
  } catch (...) {
    p.customValues(qcCustomPropertyBag());
    throw;
  }
  p.customValues(qcCustomPropertyBag());
}
// One write item.
inline void qfSimSet(qcAcqFifo& fifo, const std::string& name, const std::string& value) {
  qcCustomPropertyBag bag;
  bag.addItem(qcCustomPropertyBag::qeWrite, name, value);
  qfSimSend(fifo, bag);
}
// A pulse on the FIFO's own input line.
inline void qfSimFireInputLine(qcAcqFifo& fifo) {
  qcCustomPropertyBag bag;
  bag.addItem(qcCustomPropertyBag::qeCommand, qrn_sim::kFireInputLine, "");
  qfSimSend(fifo, bag);
}
// A pulse on input line `line` of the FIFO's board.
inline void qfSimFireInputLine(qcAcqFifo& fifo, long line) {
  qfSimSet(fifo, qrn_sim::kFireInputLine, std::to_string(line));
}
// Queues one injected failure (see "Inject").
inline void qfSimInject(qcAcqFifo& fifo, const std::string& failure) { qfSimSet(fifo, qrn_sim::kInject, failure); }
// Queues one injected failure on one channel of a multi-channel FIFO.
inline void qfSimInject(qcAcqFifo& fifo, const std::string& failure, long channel) {
  qcCustomPropertyBag bag;
  bag.addItem(qcCustomPropertyBag::qeWrite, qrn_sim::kChannel, std::to_string(channel));
  bag.addItem(qcCustomPropertyBag::qeWrite, qrn_sim::kInject, failure);
  qfSimSend(fifo, bag);
}

QRN_API_END
