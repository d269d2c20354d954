// Damaged archives of the three properties: every truncation throws, and
// every single-byte corruption either loads or throws an exception of the
// family (run under the sanitizers, this also shows that nothing reads or
// allocates out of bounds).
#include <gtest/gtest.h>

#include <algorithm>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include <qrn/acq/hyper/prop/bright.h>
#include <qrn/acq/hyper/prop/custom.h>
#include <qrn/acq/hyper/prop/ilut8.h>

#include "propsx_archive.h"

namespace {

struct Subject {
  const char* name;
  std::string bytes;                                    // a valid archive
  std::function<void(const std::string&)> loadFresh;   // loads into a new object
};

template <class P>
std::function<void(const std::string&)> loader() {
  return [](const std::string& bytes) {
    P p;
    propsx::loadObject(p, bytes);
  };
}

std::vector<Subject> subjects() {
  qc8BitInputLutProp lut;
  lut.lutInit(512, 2);
  lut.inputLut8Ex(qc8BitInputLutProp::shifted8BitLut, 256, 1);
  qcContrastBrightnessProp cb;
  cb.conBrInit(3);
  cb.setContrastEx(0.25, 1);
  qcCustomProp custom;
  qcCustomPropertyBag bag;
  bag.addItem(qcCustomPropertyBag::qeWrite, "gain", "12\t3");
  bag.addItem(qcCustomPropertyBag::qeCommand, "reset", "");
  custom.customValues(bag);
  return {
      {"lut", propsx::storeObject(lut), loader<qc8BitInputLutProp>()},
      {"contrast/brightness", propsx::storeObject(cb), loader<qcContrastBrightnessProp>()},
      {"custom", propsx::storeObject(custom), loader<qcCustomProp>()},
  };
}

}  // namespace

TEST(CorruptArchives, EveryTruncationThrows) {
  for (const auto& s : subjects()) {
    ASSERT_NO_THROW(s.loadFresh(s.bytes)) << s.name;
    for (std::size_t n = 0; n < s.bytes.size(); ++n)
      EXPECT_THROW(s.loadFresh(s.bytes.substr(0, n)), qcException) << s.name << " cut at " << n;
  }
}

TEST(CorruptArchives, SingleByteDamageNeverCrashes) {
  for (const auto& s : subjects()) {
    // The whole custom archive, and the heads (sizes) of the others.
    const std::size_t span = std::min<std::size_t>(s.bytes.size(), 64);
    int loaded = 0;
    int refused = 0;
    for (std::size_t i = 0; i < span; ++i) {
      for (unsigned char v : {0x00, 0x01, 0x7f, 0x80, 0xff}) {
        std::string damaged = s.bytes;
        damaged[i] = static_cast<char>(v);
        try {
          s.loadFresh(damaged);
          ++loaded;
        } catch (const qcException&) {
          ++refused;
        } catch (const std::exception& e) {
          ADD_FAILURE() << s.name << ": byte " << i << " = " << int(v) << " gave " << e.what();
        }
      }
    }
    // Damage to data bytes loads, damage to headers and sizes is refused.
    EXPECT_GT(loaded, 0) << s.name;
    EXPECT_GT(refused, 0) << s.name;
  }
}
