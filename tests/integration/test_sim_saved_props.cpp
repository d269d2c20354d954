// Saving a FIFO's settings into a plain property set, archiving it, and
// restoring it on a new FIFO of the simulated board (two taps).
#include <qrn/acq/hyper/prop/acqprops.h>
#include <qrn/acq/hyper/trigmodel.h>

#include "props_fixture.h"
#include "sim_fixture.h"

namespace {

// Empty when the archives are equal, else where they part (for the message).
std::string firstDifference(const std::string& a, const std::string& b) {
  std::size_t i = 0;
  while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
  if (i == a.size() && i == b.size()) return {};
  auto around = [&](const std::string& s) {
    std::string out;
    for (std::size_t k = i < 8 ? 0 : i - 8; k < std::min(s.size(), i + 8); ++k) out += qfHex(static_cast<unsigned char>(s[k]), 2) + " ";
    return out;
  };
  return "byte " + std::to_string(i) + " of " + std::to_string(a.size()) + "/" + std::to_string(b.size()) + ": " +
         around(a) + "| " + around(b);
}

TEST(SimSavedProps, SaveArchiveLoadAndRestoreEveryProperty) {
  static qcSimTestFormat fmt("SimTest 32x16 saved", 32, 16);
  auto a = qfSimFifo<qcStdGreyAcqFifo>(fmt.fmt);
  qcAcqProps& p = a->properties();
  ASSERT_EQ(static_cast<qc8BitInputLutProp&>(p).lutTaps(), 2);

  // Something other than the default in the bases before and after the LUT.
  static_cast<qcExposureProp&>(p).exposure(0.004);
  static_cast<qcTimeoutProp&>(p).timeout(3.5);
  static_cast<qcRoiProp&>(p).roi(qcPelRect(2, 1, 20, 10));
  static_cast<qcTriggerProp&>(p).triggerModel(qfSemiTrigger());
  // An explicit sync model: the default one stands for "the FIFO's own
  // default" and is replaced by it when a set is assigned to a FIFO.
  static_cast<qcSyncProp&>(p).syncModel(qfSyncInternalHLock());
  auto& lut = static_cast<qc8BitInputLutProp&>(p);
  lut.inputLut8Ex(qc8BitInputLutProp::default8BitInputLut, 256, 0);
  lut.inputLut8Ex(qc8BitInputLutProp::shifted8BitLut, 256, 1);
  auto& cb = static_cast<qcContrastBrightnessProp&>(p);
  cb.setContrastEx(0.25, 0);
  cb.setBrightnessEx(0.75, 1);
  qcCustomPropertyBag bag;
  bag.addItem(qcCustomPropertyBag::qeWrite, qrn_sim::kTestImage, "checkerboard");
  static_cast<qcCustomProp&>(p).customValues(bag);

  qcAnalogAcqProps saved;
  saved = p;  // an unsized set takes the FIFO's two taps
  const std::string original = propsStore(p);
  EXPECT_EQ(firstDifference(propsStore(saved), original), "");

  qcAnalogAcqProps loaded;
  propsLoad(loaded, propsStore(saved));
  EXPECT_EQ(firstDifference(propsStore(loaded), original), "");

  auto b = qfSimFifo<qcStdGreyAcqFifo>(fmt.fmt);
  ASSERT_NE(propsStore(b->properties()), original);
  b->properties() = loaded;
  EXPECT_EQ(firstDifference(propsStore(b->properties()), original), "");
  EXPECT_EQ(static_cast<qcRoiProp&>(b->properties()).actualRoi(), qcPelRect(2, 1, 20, 10));
  qcAcquireInfo info;
  b->start(1);
  const qcPelBuffer<unsigned char> img = b->complete(qfWait(info));
  ASSERT_TRUE(img.isBound());
  EXPECT_EQ(img.width(), 20);
  EXPECT_EQ(img.height(), 10);
}

}  // namespace
