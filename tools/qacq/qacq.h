// The command logic of the qacq tool, kept apart from main() so that the
// tests can call it.
//
// Every command writes its normal output to `out` and returns an exit code.
// Errors are thrown as qacq::Error (one line of text, exit 1) or
// qacq::UsageError (a bad argument, exit 2); run() turns them, and the
// library's exceptions, into one line "qacq: <message>" on `err`.
//
// Exit codes: 0 success; 1 error; 2 bad arguments; 3 a grab ran to the end
// but some frames failed (or a board was lost on the way).
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include <qrn/acq/format/imgfmtname.h>
#include <qrn/acq/format/vidfmt.h>
#include <qrn/acq/hyper/acqfifo.h>
#include <qrn/foundation/geometry.h>

class qc_MultiAcqFifo;

class qcAcqImage;
class qcAcqProps;
class qcAcqFailure;
class qcCDBFile;
class qcFrameGrabber;

namespace qacq {

enum ExitCode : int { exitOk = 0, exitError = 1, exitUsage = 2, exitFramesFailed = 3 };

// A failure the user can act on; the message is one line without "qacq: ".
class Error : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};
// A bad argument (exit 2).
class UsageError : public Error {
public:
  using Error::Error;
};

// ---- closest names -----------------------------------------------------------

// The Levenshtein distance between a and b, ignoring ASCII case.
std::size_t editDistance(std::string_view a, std::string_view b);
// Up to `max` names of `known` that are close to `wanted`, best first: names
// equal to it but for case, then names that contain it (ignoring case),
// then names within an edit distance of max(2, |wanted| / 3).
std::vector<std::string> closestNames(std::string_view wanted, const std::vector<std::string>& known,
                                      std::size_t max = 3);
// `unknown <what> "<name>"; closest: "a", "b"` (or a hint to `seeCommand`
// when nothing is close).
std::string unknownNameMessage(const std::string& what, const std::string& name,
                               const std::vector<std::string>& known, const std::string& seeCommand);

// The whole of text as a decimal long: std::errc{} on success,
// invalid_argument for anything else, result_out_of_range for a number that
// does not fit (never saturated).
std::errc parseLong(std::string_view text, long& out);

// ---- image formats -------------------------------------------------------------

// The short names of the public image formats ("grey8", "rgb32", "3plane", ...).
const std::vector<std::pair<std::string, qeImageFormat>>& imageFormatNames();
// (The short name of one: qfImageFormatName.)
// A short name (any case) or a number.  Throws UsageError with the closest
// names.
qeImageFormat parseImageFormat(const std::string& text);

// ---- boards and formats ------------------------------------------------------------

// "sim0": the board's name and its index.
std::string boardLabel(qcFrameGrabber& fg);
// A frame grabber by index among the frame grabbers ("0") or by label
// ("sim0"); "" is the first one.  Throws Error when there is none.
qcFrameGrabber& selectBoard(const std::string& which);
// The format of that name.  Throws UsageError naming the closest names.
const qcStdVideoFormat& findFormat(const std::string& name);
// The format a grab uses when none is named: "Sony XC75 640x480" when the
// board supports it, else the first format the board supports.  Throws Error
// when it supports none.
const qcStdVideoFormat& defaultFormat(qcFrameGrabber& fg);

int listBoards(std::ostream& out);

struct FormatsOptions {
  std::string board;        // "" : every format; otherwise those the board supports
  std::string imageFormat;  // "" : any; otherwise a name for parseImageFormat
  bool namesOnly = false;
};
int listFormats(const FormatsOptions& o, std::ostream& out);

// What grabbing a format gives: the geometry and image format of the format
// its alias chain ends at (its own when it is no alias).  Nothing for an
// alias that leads to a missing format.
struct GrabbedShape {
  long width, height, depth;
  qeImageFormat imageFormat;
};
std::optional<GrabbedShape> grabbedShape(const qcStdVideoFormat& f);

// ---- hardware configuration ----------------------------------------------------------

struct HwconfigOptions {
  std::string board;
  // "show", "limit", "exclude", "clear", "simulator", "auto-simulator"
  std::string action = "show";
  std::vector<std::string> names;  // limit, exclude
  bool on = false;                 // simulator, auto-simulator
  bool force = false;              // accept format names that are not known
};
int hwconfig(const HwconfigOptions& o, std::ostream& out);

// ---- cameras (gige boards) ----------------------------------------------------------

// qacq cameras: "discover" (sends discovery broadcasts, says so first),
// "list" the configured ids, "add" or "remove" `id` in the registry store.
struct CamerasOptions {
  std::string action = "discover";
  std::string id;
};
int cameras(const CamerasOptions& o, std::ostream& out);
// qacq features: every GenICam feature of the board's camera, one value
// (`name`), or sets one (`value`).
struct FeaturesOptions {
  std::string board;
  std::string name;
  std::optional<std::string> value;
};
int features(const FeaturesOptions& o, std::ostream& out);
// For a camera board: the pixel formats it offers and, per image kind, the
// format a FIFO sets and how the images are made from it.  Nothing for other
// boards or a camera that cannot be opened.
void printCameraFormats(qcFrameGrabber& fg, std::ostream& out);

// ---- camera configuration files ----------------------------------------------------

// "qacq ccf check", "show" and "sum" refuse files larger than this (a CCF is
// at most a few hundred kB; a larger file is not one, is never read into
// memory and never rewritten).
constexpr std::size_t kCcfMaxBytes = std::size_t{1} << 20;

struct CcfOptions {
  // "check": parse, print each problem with its line and the checksum
  // verdict (exit 1 when any file has a problem); "show": the parameters in
  // map order; "sum": rewrite the file with a correct checksum (atomically);
  // "list": the files the search path finds and the format each gave.
  std::string action;
  std::vector<std::string> files;
};
int ccf(const CcfOptions& o, std::ostream& out);

// ---- image files ----------------------------------------------------------------------

enum class FileKind { png, pnm, none };
// The significant bits of a 16-bit grey image of format f: 10, 12 or 14 for
// those grey formats, else 16.
int greySignificantBits(qeImageFormat f);

// Writes the image to `stem` plus the extension for its kind and pels
// (".png"; ".pgm" for grey, ".ppm" for colour) and returns the path.  Grey
// images of 8 or 16 bits, packed RGB 16 and 32, three planes and 3-component
// pels are written; 10-, 12- and 14-bit grey keep their range (PGM maxval, PNG
// scaled with an sBIT chunk).  Throws Error for an empty image, an image
// kind without a file form, or a failed write.
std::string writeImage(const qcAcqImage& image, const std::string& stem, FileKind kind);

// ---- grab ------------------------------------------------------------------------------

enum class TriggerKind { manual, automatic, semi, freerun };

struct GrabOptions {
  std::string board;
  std::string format;       // "" : defaultFormat
  std::string imageFormat;  // "" : the format's own
  long count = 1;
  std::optional<double> exposure;  // seconds
  double timeout = 5.0;            // seconds per frame
  TriggerKind trigger = TriggerKind::manual;
  bool hardwareTrigger = false;    // automatic/semi: wait for the input line, no software pulses
  std::optional<qcPelRect> roi;
  std::vector<std::pair<std::string, std::string>> custom;  // custom property items
  std::string outDir = ".";
  std::string prefix = "frame";
  FileKind save = FileKind::png;
  bool channels = false;   // colour through the board's camera channels (a multi-channel FIFO; default rgb32)
  bool quiet = false;      // no line per frame (failures are still reported)
  bool progress = false;   // draw a progress bar on the progress stream
  std::string cdbFile;     // also append every frame to this camera database file
};

struct GrabResult {
  long frames = 0;   // completions made
  long failed = 0;   // of those, with a failure or without an image
  long written = 0;  // image files written
  double seconds = 0.0;
  std::string lost;  // why a board stopped early (it can no longer acquire), "" when none did
};

// "gige0,gige1": the boards of a --board option, in order (one element, maybe
// "", for a single board).  Throws UsageError for an empty element of a list.
std::vector<std::string> splitBoards(const std::string& list);

// The acquisition set-up shared by grab and live: the board, format and image
// format of the options, a FIFO for them with the custom items, exposure,
// ROI, timeout and trigger model applied, and the loop step that starts or
// triggers as the model needs and completes the next frame.  Throws Error
// or UsageError for options that do not fit the board.
class FrameSource {
public:
  // o.count bounds the acquisitions started ahead (0 or less: no bound).
  explicit FrameSource(const GrabOptions& o);
  ~FrameSource();
  FrameSource(const FrameSource&) = delete;
  FrameSource& operator=(const FrameSource&) = delete;

  qcFrameGrabber& board() const { return *fg_; }
  const qcStdVideoFormat& format() const { return *fmt_; }
  qeImageFormat imageFormat() const { return imf_; }
  const std::string& label() const { return label_; }
  qcAcqFifo& fifo() const { return *fifo_; }
  // The multi-channel FIFO behind fifo(), or null when it is a plain one.
  const qc_MultiAcqFifo* multi() const { return multi_; }
  // The next frame (null or empty when it failed; info says why); the first
  // call enables the FIFO's triggers.  Waits at
  // most the timeout plus a second.  With makeLocal false the image may stay
  // in the driver's memory (no copy).
  qcPtrHandle<qcAcqImage> next(qcAcquireInfo& info, bool makeLocal = true);
  // Why the board can no longer acquire (its FIFO cannot be prepared: a
  // camera lost), "" while it can.
  std::string lost() const;

private:
  GrabOptions o_;
  qcFrameGrabber* fg_ = nullptr;
  const qcStdVideoFormat* fmt_ = nullptr;
  qeImageFormat imf_{};
  std::string label_;
  qcPtrHandle<qcAcqFifo> fifo_;
  const qc_MultiAcqFifo* multi_ = nullptr;
  long started_ = 0, completed_ = 0;
  bool enabled_ = false;  // triggers enabled (by the first next())
};

// Grabs o.count frames from each board of o.board (one or several, comma
// separated: one FIFO and one loop each, on threads of their own, files
// named <prefix>-<board>-NNNN and lines led by the board's name when there
// are several), writes a line per frame to `out` and the progress bar to
// `progress`, then a summary line per board.  A board that can no longer
// acquire (a lost camera) ends its loop with one line; the others go on.
// The result adds up the boards.
GrabResult grab(const GrabOptions& o, std::ostream& out, std::ostream& progress);

// "x,y,w,h" (all >= 0, w and h > 0).  Throws UsageError.
qcPelRect parseRoi(const std::string& text);
// "name=value".  Throws UsageError.
std::pair<std::string, std::string> parseCustomItem(const std::string& text);

// ---- image console ---------------------------------------------------------------

// Reads a PNG (grey or colour, 8 or 16 bits) or a binary PGM/PPM file into
// an image: grey 8-bit or packed RGB32 (deeper samples scaled to 8 bits,
// rounded).  Throws Error naming the file for a file that cannot be read or is
// not such an image.
qcPtrHandle<qcAcqImage> readImage(const std::string& path);

// Bayer mosaics (raw image formats) are shown through the converter with
// this pattern of the top-left 2 x 2 cell.
enum class BayerPattern { GRBG, RGGB, BGGR, GBRG };

struct LiveOptions {
  GrabOptions grab;  // count: frames to show (0: until the window closes)
  bool overlay = false;  // a cross at the centre and the region of interest
  BayerPattern bayer = BayerPattern::RGGB;
};
struct LiveResult {
  long frames = 0, failed = 0, skipped = 0, saved = 0;
  double seconds = 0.0;
};
// Shows frames as they arrive in an image console until the count is reached
// or the user ends it ('q', closing the window); 's' saves the current frame
// (o.grab.save, outDir, prefix).  The summary goes to `out`.  Several boards
// (o.grab.board "gige0,gige1"): a window per board, each fed by a grab loop
// on a thread of its own (the newest frame shown), a summary line per board;
// 'q' in any window ends all, closing a window ends its board.
LiveResult live(const LiveOptions& o, std::ostream& out);

// Shows the files in an image console, left/right (or space, backspace)
// stepping through them, until 'q' or closing.  Throws Error when no file
// can be read.
int show(const std::vector<std::string>& files, std::ostream& out);
// Sends custom property items (name, value) to the FIFO's driver, then
// empties the property's bag again so that the items (often actions) are not
// repeated when the property set is assigned later.
void sendCustomItems(qcAcqProps& props, const std::vector<std::pair<std::string, std::string>>& items);

// ---- equalize ------------------------------------------------------------------------------

struct EqualizeOptions {
  std::string board;
  std::string format;  // "" : defaultFormat
  std::vector<std::pair<std::string, std::string>> custom;  // custom property items
  long exclude = 200;   // pels excluded from each tail
  long tolerance = 10;  // grey levels
};

// Equalizes the two taps of a grey FIFO (the dual-tap equalizer), prints
// both channels' contrast and brightness and their tails before and after.
// Throws Error when the taps were not equalized.
int equalize(const EqualizeOptions& o, std::ostream& out);

// ---- camera database files ---------------------------------------------------------------

// One line per record: index, type, subtype, data size, comment.
int cdbList(const std::string& file, std::ostream& out);

struct CdbExtractOptions {
  std::string file;
  std::string outDir = ".";
  std::string prefix = "record";
  std::vector<long> indices;  // empty: every record
  FileKind kind = FileKind::png;
};
// Writes the image records as image files (as grab writes them) and the
// other records' data as "<prefix>-NNNN.bin"; a line per file.
int cdbExtract(const CdbExtractOptions& o, std::ostream& out);
// Checks the CRC of every record; names the bad ones; exitError on damage.
int cdbCheck(const std::string& file, std::ostream& out);
// Throws Error unless `file` is a regular file (missing, a directory, a
// named pipe that would block a read...).
void requireRegularFile(const std::string& file);
// The indices of the image records of a camera database file; none when the
// file is not one (reads record headers only).  Records whose header is
// damaged are passed over and, with `damaged`, listed there.
std::vector<long> cdbImageRecords(const std::string& file, std::vector<long>* damaged = nullptr);
// The image of record `index` (a copy).  Throws Error for a damaged record
// or one that holds no image.
qcPtrHandle<qcAcqImage> readCdbImage(const std::string& file, long index);

// Appends grabbed frames to a camera database file (created when missing).
class CdbRecorder {
public:
  explicit CdbRecorder(const std::string& path);
  ~CdbRecorder();
  // Appends the image as an image record (packed RGB as three planes), or,
  // without an image, a result record that holds only the comment.
  void add(const qcAcqImage* image, const std::string& comment);

private:
  std::unique_ptr<qcCDBFile> file_;
};

// ---- the whole tool --------------------------------------------------------------------

// Parses the arguments (argv[0] is the program name) and runs the command.
// `interactive`: the error stream is a terminal (progress bars are drawn).
int run(int argc, const char* const* argv, std::ostream& out, std::ostream& err, bool interactive = false);
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool interactive = false);

}  // namespace qacq
