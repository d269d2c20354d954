// The command line of qacq (CLI11): subcommands, options, and the mapping of
// errors to one line and an exit code.
#include <algorithm>

#include <CLI/CLI.hpp>

#include <qrn/foundation/exception.h>

#include "qacq.h"

#ifndef QACQ_VERSION
#define QACQ_VERSION "unknown"
#endif

namespace qacq {

namespace {

// A word of a fixed set (any case), or a UsageError naming the closest ones.
template <class T>
T pick(const std::string& what, const std::string& text, const std::vector<std::pair<std::string, T>>& choices) {
  std::vector<std::string> known;
  for (const auto& [name, value] : choices) {
    if (editDistance(name, text) == 0) return value;  // the same word but for case
    known.push_back(name);
  }
  std::string msg = unknownNameMessage(what, text, known, "qacq --help");
  if (closestNames(text, known).empty()) {
    msg = "unknown " + what + " \"" + text + "\"; choose one of:";
    for (const std::string& k : known) msg += " " + k;
  }
  throw UsageError(msg);
}

// Refuses an integer that does not fit a long (CLI11 would saturate it);
// other malformed text is left to the option's own conversion.
const CLI::Validator kFitsLong(
    [](std::string& text) -> std::string {
      long v = 0;
      return parseLong(text, v) == std::errc::result_out_of_range ? "\"" + text + "\" is out of range" : "";
    },
    "");

struct Options {
  FormatsOptions formats;
  HwconfigOptions hw;
  CcfOptions ccf;
  GrabOptions grab;
  EqualizeOptions eq;
  std::vector<std::string> eqCustom;
  std::string trigger = "manual";
  std::string save = "png";
  std::string roi;
  std::vector<std::string> custom;
  double exposure = 0;
  bool noProgress = false;
  std::string onOff;
  CamerasOptions cameras;
  FeaturesOptions features;
  std::string featureValue;
  LiveOptions live;
  long liveCount = 0;
  std::string bayer = "RGGB";
  std::vector<std::string> files;
};

}  // namespace

int run(int argc, const char* const* argv, std::ostream& out, std::ostream& err, bool interactive) {
  Options o;
  CLI::App app("qacq: find frame grabbers and video formats, grab images, edit a board's hardware configuration.",
               "qacq");
  app.require_subcommand(1);
  app.set_version_flag("--version", "qacq " QACQ_VERSION);
  app.footer("Exit status: 0 success, 1 error, 2 bad arguments, 3 some grabbed frames failed.");

  CLI::App* boards = app.add_subcommand("boards", "List the frame grabbers");

  CLI::App* formats = app.add_subcommand("formats", "List the video formats (all, or those a board offers)");
  formats->add_option("-b,--board", o.formats.board, "Only the formats this board offers (index or name, e.g. sim0)");
  formats->add_option("-i,--image-format", o.formats.imageFormat,
                      "Only formats delivered as this image format (grey8, grey16, rgb16, rgb32, 3plane, raw8, ...)");
  formats->add_flag("--names", o.formats.namesOnly, "Print the names only");

  // The acquisition options of grab and live.
  GrabOptions& g = o.grab;
  std::vector<CLI::Option*> exposures;  // one per command
  auto addAcquisitionOptions = [&](CLI::App* cmd) {
    cmd->add_option("-b,--board", g.board,
                    "Board index or name (default: the first); several, comma separated, grab at once (gige0,gige1)");
    cmd->add_option("-f,--format", g.format, "Video format name (default: \"Sony XC75 640x480\" when the board offers it)");
    cmd->add_option("-i,--image-format", g.imageFormat, "Image format (default: the video format's own)");
    exposures.push_back(cmd->add_option("-e,--exposure", o.exposure, "Exposure in seconds"));
    cmd->add_option("-t,--timeout", g.timeout, "Seconds to wait for each frame")->capture_default_str();
    cmd->add_option("--trigger", o.trigger,
                    "Trigger model: manual, auto, semi or freerun (auto and semi get a software trigger per frame "
                    "unless --hw-trigger)")
        ->capture_default_str();
    cmd->add_flag("--hw-trigger", g.hardwareTrigger, "auto/semi: wait for the board's trigger input instead");
    cmd->add_option("--roi", o.roi, "Region of interest x,y,width,height");
    cmd->add_option("--custom", o.custom, "A custom property item name=value for the driver (repeatable)");
  };

  CLI::App* grab = app.add_subcommand("grab", "Acquire frames and write them to image files");
  addAcquisitionOptions(grab);
  grab->add_option("-n,--count", g.count, "Number of frames")->check(kFitsLong)->capture_default_str();
  grab->add_option("-o,--out", g.outDir, "Output directory (created when missing)")->capture_default_str();
  grab->add_option("--prefix", g.prefix, "File name prefix: <prefix>-0001.png ...")->capture_default_str();
  grab->add_option("--save", o.save, "png, pgm (PGM for grey, PPM for colour) or none")->capture_default_str();
  grab->add_flag("--channels", g.channels,
                 "Colour through the board's camera channels, one per component (default image format rgb32)");
  grab->add_flag("-q,--quiet", g.quiet, "No line per frame (failed frames are still reported)");
  grab->add_flag("--no-progress", o.noProgress, "No progress bar");
  CLI::Option* saveOpt = grab->get_option("--save");
  grab->add_option("--cdb", g.cdbFile, "Also append every frame to this camera database file (then --save defaults to none)");

  CdbExtractOptions cdbx;
  std::string cdbSave = "png";
  CLI::App* cdb = app.add_subcommand("cdb", "List, extract or check a camera database file");
  cdb->require_subcommand(1);
  CLI::App* cdbListCmd = cdb->add_subcommand("list", "List the records: index, type, subtype, size, comment");
  CLI::App* cdbExtractCmd = cdb->add_subcommand("extract", "Write the records' images (PNG/PGM) and data (.bin) to files");
  CLI::App* cdbCheckCmd = cdb->add_subcommand("check", "Verify the CRC of every record (exit 1 on damage)");
  for (CLI::App* c : {cdbListCmd, cdbExtractCmd, cdbCheckCmd}) c->add_option("file", cdbx.file, "The camera database file")->required();
  cdbExtractCmd->add_option("-o,--out", cdbx.outDir, "Output directory (created when missing)")->capture_default_str();
  cdbExtractCmd->add_option("--index", cdbx.indices, "Only these records (repeatable; default: all)");
  cdbExtractCmd->add_option("--prefix", cdbx.prefix, "File name prefix: <prefix>-0000.png ...")->capture_default_str();
  cdbExtractCmd->add_option("--save", cdbSave, "png or pgm (PGM for grey, PPM for colour)")->capture_default_str();

  CLI::App* live = app.add_subcommand("live", "Show frames in a window as they arrive (s: save, q: quit)");
  addAcquisitionOptions(live);
  live->add_option("-n,--count", o.liveCount, "Frames to show, then end (0: until the window closes)")
      ->capture_default_str();
  live->add_option("-o,--out", g.outDir, "Where 's' saves frames")->capture_default_str();
  live->add_option("--prefix", g.prefix, "File name prefix of saved frames")->capture_default_str();
  live->add_option("--save", o.save, "png or pgm: the file type 's' writes")->capture_default_str();
  live->add_flag("--overlay", o.live.overlay, "Draw a cross at the centre and the outline of the region of interest");
  live->add_option("--bayer", o.bayer, "Pattern of raw Bayer images: RGGB, GRBG, GBRG or BGGR")->capture_default_str();

  CLI::App* showCmd = app.add_subcommand("show", "Show image files (PNG, PGM, PPM) or camera database records in a window; space/Backspace step, arrows pan");
  showCmd->add_option("files", o.files, "Image files or camera database files (each image record)")->required();
  CLI::App* eq = app.add_subcommand("equalize", "Match the two taps of a dual-tap camera (grey FIFO)");
  eq->add_option("-b,--board", o.eq.board, "Board index or name (default: the first)");
  eq->add_option("-f,--format", o.eq.format, "Video format name (default as for grab)");
  eq->add_option("--exclude", o.eq.exclude, "Pels excluded from each histogram tail")->capture_default_str();
  eq->add_option("--tolerance", o.eq.tolerance, "Grey levels the tails may differ by")->capture_default_str();
  eq->add_option("--custom", o.eqCustom, "A custom property item name=value for the driver (repeatable)");

  CLI::App* hw = app.add_subcommand("hwconfig", "Show or change a board's hardware configuration");
  hw->add_option("-b,--board", o.hw.board, "Board index or name (default: the first)");
  hw->require_subcommand(0, 1);
  hw->fallthrough();  // --board may also follow the action
  hw->add_subcommand("show", "Show the configuration (the default)");
  CLI::App* limit = hw->add_subcommand("limit", "Offer only the named formats");
  CLI::App* exclude = hw->add_subcommand("exclude", "Offer every format but the named ones");
  for (CLI::App* c : {limit, exclude}) {
    c->add_option("names", o.hw.names, "Video format names")->required();
    c->add_flag("--force", o.hw.force, "Accept names that are not known formats");
  }
  hw->add_subcommand("clear", "Offer every format (clears both switches and the list)");
  for (const char* name : {"simulator", "auto-simulator"}) {
    CLI::App* c = hw->add_subcommand(name, std::string(name) == "simulator"
                                               ? "Mark the board as a Camera Link simulator (on/off)"
                                               : "Enable automatic Camera Link simulator use (on/off)");
    c->add_option("state", o.onOff, "on or off")->required();
  }

  CLI::App* cams = app.add_subcommand("cameras", "Discover GigE Vision / USB3 Vision cameras (sends broadcasts), or "
                                                  "list, add or remove the configured ones");
  cams->require_subcommand(0, 1);
  cams->add_subcommand("discover", "Discover cameras (the default): sends discovery broadcasts on every interface");
  cams->add_subcommand("list", "The configured camera ids (the gige boards, in order)");
  for (const char* name : {"add", "remove"})
    cams->add_subcommand(name, std::string(name) == "add" ? "Configure a camera by id or IP address" : "Drop a camera")
        ->add_option("id", o.cameras.id, "Aravis device id or IP address (\"fake\": the in-process fake camera)")
        ->required();
  CLI::App* feats = app.add_subcommand("features", "List, read or set the GenICam features of a camera board");
  feats->add_option("-b,--board", o.features.board, "The camera's board (index or name, e.g. gige0)");
  feats->add_option("name", o.features.name, "A feature to read (all features when absent)");
  CLI::Option* featSet = feats->add_option("--set", o.featureValue, "Set the feature to this value first");
  CLI::App* ccfCmd = app.add_subcommand("ccf", "Check, show, re-sum and list camera configuration files");
  ccfCmd->require_subcommand(1);
  ccfCmd->add_subcommand("check", "Parse files; print every problem with its line and the checksum verdict")
      ->add_option("files", o.ccf.files, "CCF files")->required();
  ccfCmd->add_subcommand("show", "Print the parameters of a file, one per line")
      ->add_option("file", o.ccf.files, "CCF file")->required()->expected(1);
  ccfCmd->add_subcommand("sum", "Rewrite a file (or a link's target) with a correct checksum, keeping its text and "
                                "comments; files over 1 MiB are refused")
      ->add_option("file", o.ccf.files, "CCF file")->required()->expected(1);
  ccfCmd->add_subcommand("list", "List the files the search path finds and the format each gives");

  // A word where a command is expected that names none: suggest the closest
  // (CLI11 would only say that a command is missing).
  auto checkCommand = [&](CLI::App& parent, int at) {
    if (at >= argc || argv[at][0] == '-') return;
    std::vector<std::string> known;
    for (const CLI::App* c : parent.get_subcommands([](const CLI::App*) { return true; })) {
      if (c->get_name() == argv[at]) return;
      known.push_back(c->get_name());
    }
    err << "qacq: " << unknownNameMessage("command", argv[at], known, "qacq --help") << "\n";
    throw CLI::RuntimeError(exitUsage);
  };
  try {
    checkCommand(app, 1);
    if (argc > 1 && std::string(argv[1]) == "hwconfig") {
      int at = 2;
      while (at < argc && argv[at][0] == '-') at += std::string(argv[at]) == "-b" || std::string(argv[at]) == "--board" ? 2 : 1;
      checkCommand(*hw, at);
    }
    if (argc > 1 && std::string(argv[1]) == "cdb") checkCommand(*cdb, 2);
  } catch (const CLI::RuntimeError&) {
    return exitUsage;
  }

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return app.exit(e, out, err);  // --help, --version
    err << "qacq: " << e.what() << " (see \"qacq --help\")\n";
    return exitUsage;
  }

  try {
    if (*boards) return listBoards(out);
    if (*formats) return listFormats(o.formats, out);
    if (*ccfCmd) {
      o.ccf.action = ccfCmd->get_subcommands().front()->get_name();
      return ccf(o.ccf, out);
    }
    if (*hw) {
      const auto subs = hw->get_subcommands();
      o.hw.action = subs.empty() ? "show" : subs.front()->get_name();
      if (o.hw.action == "simulator" || o.hw.action == "auto-simulator")
        o.hw.on = pick<bool>("state", o.onOff, {{"on", true}, {"off", false}});
      return hwconfig(o.hw, out);
    }
    if (*cdb) {
      if (*cdbListCmd) return cdbList(cdbx.file, out);
      if (*cdbCheckCmd) return cdbCheck(cdbx.file, out);
      cdbx.kind = pick<FileKind>("file type", cdbSave, {{"png", FileKind::png}, {"pgm", FileKind::pnm}});
      return cdbExtract(cdbx, out);
    }
    if (*eq) {
      for (const std::string& c : o.eqCustom) o.eq.custom.push_back(parseCustomItem(c));
      return equalize(o.eq, out);
    }
    if (*cams) {
      const auto subs = cams->get_subcommands();
      o.cameras.action = subs.empty() ? "discover" : subs.front()->get_name();
      return cameras(o.cameras, out);
    }
    if (*feats) {
      if (featSet->count()) {
        if (o.features.name.empty()) throw UsageError("--set needs a feature name");
        o.features.value = o.featureValue;
      }
      return features(o.features, out);
    }
    // The acquisition options shared by grab and live, checked and parsed.
    auto finishAcquisitionOptions = [&] {
      if (std::any_of(exposures.begin(), exposures.end(), [](const CLI::Option* e) { return e->count() > 0; })) {
        // No camera exposes for longer than an hour: a larger value (inf,
        // 1e300) is a mistake, not a setting to clamp.
        if (!(o.exposure >= 0 && o.exposure <= 3600)) throw UsageError("--exposure must be 0 to 3600 seconds");
        g.exposure = o.exposure;
      }
      if (!o.roi.empty()) g.roi = parseRoi(o.roi);
      for (const std::string& c : o.custom) g.custom.push_back(parseCustomItem(c));
      g.trigger = pick<TriggerKind>("trigger model", o.trigger,
                                    {{"manual", TriggerKind::manual},
                                     {"auto", TriggerKind::automatic},
                                     {"semi", TriggerKind::semi},
                                     {"freerun", TriggerKind::freerun}});
      g.save = pick<FileKind>("file type", o.save, {{"png", FileKind::png}, {"pgm", FileKind::pnm}, {"none", FileKind::none}});
    };
    if (*live) {
      finishAcquisitionOptions();
      g.count = o.liveCount;
      o.live.grab = g;
      o.live.bayer = pick<BayerPattern>("Bayer pattern", o.bayer,
                                        {{"RGGB", BayerPattern::RGGB},
                                         {"GRBG", BayerPattern::GRBG},
                                         {"GBRG", BayerPattern::GBRG},
                                         {"BGGR", BayerPattern::BGGR}});
      const LiveResult r = qacq::live(o.live, out);
      return r.failed ? exitFramesFailed : exitOk;
    }
    if (*showCmd) return qacq::show(o.files, out);
    if (*grab) {
      finishAcquisitionOptions();
      if (!g.cdbFile.empty() && !saveOpt->count()) g.save = FileKind::none;
      g.progress = interactive && !o.noProgress;
      const GrabResult r = qacq::grab(g, out, err);
      return r.failed ? exitFramesFailed : exitOk;
    }
  } catch (const UsageError& e) {
    err << "qacq: " << e.what() << "\n";
    return exitUsage;
  } catch (const Error& e) {
    err << "qacq: " << e.what() << "\n";
    return exitError;
  } catch (const qcException& e) {
    const std::string msg = e.messageString(), info = e.info();
    err << "qacq: " << msg << (info.empty() || info == msg ? "" : ": " + info)
        << (e.detail().empty() ? "" : ": " + e.detail()) << "\n";
    return exitError;
  } catch (const std::exception& e) {
    err << "qacq: " << e.what() << "\n";
    return exitError;
  }
  return exitUsage;
}

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool interactive) {
  std::vector<const char*> argv;
  argv.push_back("qacq");
  for (const std::string& a : args) argv.push_back(a.c_str());
  argv.push_back(nullptr);
  return run(static_cast<int>(argv.size() - 1), argv.data(), out, err, interactive);
}

}  // namespace qacq
