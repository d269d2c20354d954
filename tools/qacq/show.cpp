// qacq show: image files and the image records of camera database files in
// an image console.
#include <filesystem>

#include <qrn/acq/console/imgconsole.h>

#include "qacq.h"
#include "view.h"

namespace qacq {

namespace {

// One thing to show: an image file, or an image record of a camera
// database file.
struct Item {
  std::string path;
  long record = -1;  // -1: an image file
  std::string name() const {
    const std::string base = std::filesystem::path(path).filename().string();
    return record < 0 ? base : base + " #" + std::to_string(record);
  }
  qcPtrHandle<qcAcqImage> read() const {
    requireRegularFile(path);
    return record < 0 ? readImage(path) : readCdbImage(path, record);
  }
};

}  // namespace

int show(const std::vector<std::string>& files, std::ostream& out) {
  if (files.empty()) throw UsageError("name at least one image file");
  // A camera database file stands for its image records.
  std::vector<Item> items;
  for (const std::string& f : files) {
    std::vector<long> damaged;
    const std::vector<long> records = cdbImageRecords(f, &damaged);
    for (long r : damaged) out << "qacq: " << f << ": record " << r << " is damaged, skipped\n";
    if (records.empty() && damaged.empty()) items.push_back({f});
    for (long r : records) items.push_back({f, r});
  }
  if (items.empty()) throw Error("no image to show");
  // Files are read when they are shown; the first must be readable, so
  // that a mistyped name fails before a window opens.
  qcPtrHandle<qcAcqImage> first = items.front().read();
  qcImageConsole console("qacq show", qcImageConsole::EnableClose);
  ViewerKeys keys(showKeys());
  keys.attach(console);
  ImageView view;
  const long n = static_cast<long>(items.size());
  long at = 0;
  bool fresh = true;
  while (!keys.take(ViewerAction::quit)) {
    if (fresh) {
      const Item& item = items[static_cast<std::size_t>(at)];
      const std::string& path = item.path;
      const std::string place = std::to_string(at + 1) + "/" + std::to_string(n) + "  " + item.name();
      try {
        const qcPtrHandle<qcAcqImage> image = at == 0 && first ? first : item.read();
        const qc_PelBuffer* b = image->buffer();
        if (!view.show(console, *image, BayerPattern::RGGB)) throw Error("cannot show " + path);
        console.statusLine(place + "  " + std::to_string(b->width()) + "x" + std::to_string(b->height()) +
                           "   space/Backspace: step  h: keys");
        console.title("qacq show: " + path);
      } catch (const Error& e) {
        console.discardImage();
        console.statusLine(place + ": " + e.what());
        out << "qacq: " << e.what() << "\n" << std::flush;
      }
      fresh = false;
    }
    if (!console.processEvents(0.1)) break;
    const long step = keys.take(ViewerAction::next) ? 1 : keys.take(ViewerAction::previous) ? -1 : 0;
    if (step) {
      at = (at + step + n) % n;
      fresh = true;
    }
  }
  return exitOk;
}

}  // namespace qacq
