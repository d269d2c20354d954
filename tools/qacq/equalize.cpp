// qacq equalize: match the two taps of a dual-tap camera on a grey FIFO.
#include <cstdio>
#include <iomanip>
#include <sstream>

#include <qrn/acq/hyper/framegrabber.h>
#include <qrn/acq/hyper/prop/acqprops.h>
#include <qrn/acq/hyper/prop/equalize.h>
#include <qrn/acq/hyper/typedfifo.h>

#include "qacq.h"

namespace qacq {

namespace {

std::string fixed3(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.3f", v);
  return buf;
}

std::string tails(long lo, long hi) { return std::to_string(lo) + ".." + std::to_string(hi); }

}  // namespace

int equalize(const EqualizeOptions& o, std::ostream& out) {
  if (o.exclude < 0) throw UsageError("--exclude must be 0 pels or more");
  if (o.tolerance < 0) throw UsageError("--tolerance must be 0 grey levels or more");
  qcFrameGrabber& fg = selectBoard(o.board);
  const qcStdVideoFormat& fmt = o.format.empty() ? defaultFormat(fg) : findFormat(o.format);
  const std::string label = boardLabel(fg);
  if (!fg.isSupported(fmt)) throw Error("board " + label + " does not offer \"" + fmt.name() + "\" as grey8");
  qcPtrHandle<qcGreyAcqFifo> fifo(fmt.newAcqFifo(fg));
  sendCustomItems(fifo->properties(), o.custom);

  const qcEqualizeTailParams tail(0, o.exclude, 0.0, o.tolerance);
  qcDualTapEqualizer eq(fifo, qcEqualizeParams(tail, tail), qcEqualizeResults(), qcEqualizeResults());
  out << "equalizing the taps of \"" << fmt.name() << "\" on " << label << ": tails of " << eq.pelsInLoTail()
      << " pels, tolerance " << o.tolerance << " grey levels\n"
      << std::flush;
  const bool ok = qfEqualize(eq);

  out << std::left << std::setw(10) << "CHANNEL" << std::setw(18) << "CONTRAST" << std::setw(18) << "BRIGHTNESS"
      << std::setw(14) << "TAILS BEFORE"
      << "TAILS AFTER\n";
  const struct {
    const char* name;
    const qcEqualizeChannelProps& c;
    bool changed;
  } rows[] = {{"even (0)", eq.evenChannel(), eq.changeEven()}, {"odd (1)", eq.oddChannel(), eq.changeOdd()}};
  for (const auto& r : rows) {
    const qcEqualizeChannelProps& c = r.c;
    const double contrast = ok ? c.newContrast() : c.oldContrast(), brightness = ok ? c.newBrightness() : c.oldBrightness();
    out << std::setw(10) << r.name << std::setw(18) << (fixed3(c.oldContrast()) + " -> " + fixed3(contrast))
        << std::setw(18) << (fixed3(c.oldBrightness()) + " -> " + fixed3(brightness)) << std::setw(14)
        << tails(c.origLoTail(), c.origHiTail()) << tails(c.finalLoTail(), c.finalHiTail())
        << (ok && r.changed && (contrast != c.oldContrast() || brightness != c.oldBrightness()) ? "  (changed)" : "")
        << "\n";
  }
  if (!ok)
    throw Error("the taps were not equalized (" +
                (eq.failureReason().empty() ? std::string("no usable image, nothing to change, or a tail outside the tolerance")
                                            : eq.failureReason()) +
                "); the old contrast and brightness are back");
  out << "equalized: both tails within " << o.tolerance << " grey levels\n";
  return exitOk;
}

}  // namespace qacq
