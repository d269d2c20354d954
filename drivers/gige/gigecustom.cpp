// The camera driver FIFO: the custom property's items (features by name and
// the driver's own items).
#include "gigefifo.h"

#include <cerrno>
#include <cstdlib>
#include <sstream>

namespace qrn_gige {

// "r g b" (blanks or commas between): the converter's white-balance scales.
void GigeFifo::whiteBalance_(const std::string& value) {
  if (!conv_.fromMosaic())
    bad(std::string("gige: ") + kWhiteBalance + " applies to colour converted from a Bayer mosaic; this FIFO converts none");
  std::string text = value;
  std::replace(text.begin(), text.end(), ',', ' ');
  std::istringstream in(text);
  double scale[3];
  for (double& v : scale)
    if (!(in >> v) || !std::isfinite(v) || v <= 0) bad();
  if (std::string rest; in >> rest) bad();
  conv_.whiteBalance(scale[0], scale[1], scale[2]);
}

void GigeFifo::update(const qcCustomProp& prop) {
  const qcCustomPropertyBag bag = prop.customValues();
  for (long i = 0; i < bag.getItemCount(); ++i) {
    const std::string name = bag.getName(i), value = bag.getValue(i);
    if (Session::fifoOwns(name)) {
      bad();  // the format, the region and trigger properties decide these
    } else if (bag.getType(i) == qcCustomPropertyBag::qeCommand) {
      s_->set(name, "");
    } else if (name == kInputLine) {
      std::string line = value;
      if (!line.empty() && std::all_of(line.begin(), line.end(), [](char ch) { return ch >= '0' && ch <= '9'; }))
        line = "Line" + line;
      if (line.empty() || (s_->has("TriggerSource") && !s_->hasEntry("TriggerSource", line))) bad();
      bool redo;
      {
        std::lock_guard<std::mutex> g(m_);
        redo = model_.usesInputLine;
        if (!redo) inputLine_ = line;
      }
      if (redo) apply_(inputLine_, line);
    } else if (name == kWhiteBalance) {
      whiteBalance_(value);
    } else if (name == kAppTag) {
      char* end = nullptr;
      errno = 0;
      const unsigned long tag = std::strtoul(value.c_str(), &end, 10);
      if (value.empty() || value.find('-') != std::string::npos || errno != 0 || *end != '\0') bad();
      std::lock_guard<std::mutex> g(m_);
      appTag_ = tag;
    } else {
      s_->set(name, value);
    }
  }
}


}  // namespace qrn_gige
