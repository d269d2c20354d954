// qacq show: image files in an image console.
#include <filesystem>

#include <qrn/acq/console/imgconsole.h>

#include "qacq.h"
#include "view.h"

namespace qacq {

namespace {

// Right, space: next file; left, backspace: the one before; q: end.
struct ShowKeys : qcImageConsoleCallback {
  long step = 0;
  bool quit = false;
  bool keyDown(qcImageConsole&, unsigned long key) override {
    switch (key) {
      case keyArrowRight:
      case ' ': step = 1; return true;
      case keyArrowLeft:
      case keyBackspace: step = -1; return true;
      case 'q': quit = true; return true;
      default: return false;
    }
  }
};

}  // namespace

int show(const std::vector<std::string>& files, std::ostream& out) {
  if (files.empty()) throw UsageError("name at least one image file");
  // Files are read when they are shown; the first must be readable, so
  // that a mistyped name fails before a window opens.
  qcPtrHandle<qcAcqImage> first = readImage(files.front());
  qcImageConsole console("qacq show", qcImageConsole::EnableClose);
  ShowKeys keys;
  console.installGUICallback(&keys);
  console.pelValueDisplayEnabled(1);
  ImageView view;
  const long n = static_cast<long>(files.size());
  long at = 0;
  bool fresh = true;
  while (!keys.quit) {
    if (fresh) {
      const std::string& path = files[static_cast<std::size_t>(at)];
      const std::string place = std::to_string(at + 1) + "/" + std::to_string(n) + "  " +
                                std::filesystem::path(path).filename().string();
      try {
        const qcPtrHandle<qcAcqImage> image = at == 0 && first ? first : readImage(path);
        const qc_PelBuffer* b = image->buffer();
        if (!view.show(console, *image, BayerPattern::RGGB)) throw Error("cannot show " + path);
        console.statusLine(place + "  " + std::to_string(b->width()) + "x" + std::to_string(b->height()) +
                           "   left/right: step  q: quit");
        console.title("qacq show: " + path);
      } catch (const Error& e) {
        console.discardImage();
        console.statusLine(place + ": " + e.what());
        out << "qacq: " << e.what() << "\n" << std::flush;
      }
      fresh = false;
    }
    if (!console.processEvents(0.1)) break;
    if (keys.step) {
      at = (at + keys.step + n) % n;
      keys.step = 0;
      fresh = true;
    }
  }
  return exitOk;
}

}  // namespace qacq
