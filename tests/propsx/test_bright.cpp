// The contrast/brightness property.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <tuple>
#include <string>
#include <vector>

#include <qrn/acq/hyper/prop/bright.h>
#include <qrn/foundation/misc.h>

#include "propsx_archive.h"
#include "propsx_fake_fifo.h"

using CB = qcContrastBrightnessProp;
using Calls = std::vector<std::string>;

namespace {

CB::Channel ch(long c) { return static_cast<CB::Channel>(c); }

std::vector<double> contrasts(const CB& p) {
  std::vector<double> v;
  for (long t = 0; t < p.conBrTaps(); ++t) v.push_back(p.contrastEx(t));
  return v;
}
std::vector<double> brightnesses(const CB& p) {
  std::vector<double> v;
  for (long t = 0; t < p.conBrTaps(); ++t) v.push_back(p.brightnessEx(t));
  return v;
}

}  // namespace

TEST(ContrastBrightness, FreePropertyHasOneTapAtTheDefaults) {
  const CB p;
  EXPECT_EQ(p.conBrTaps(), 1);
  EXPECT_EQ(p.contrastEx(0), 0.5);
  EXPECT_EQ(p.brightnessEx(0), 0.5);
  EXPECT_FALSE(p.isSupported(CB::channel0));  // free: nothing is supported
  EXPECT_THROW(p.contrastEx(1), CB::BadParams);
  EXPECT_THROW(p.brightnessEx(-1), CB::BadParams);
  EXPECT_EQ(CB::BadParams().errorNumber(), 0x10000984u);
}

TEST(ContrastBrightness, SettersCheckTapAndRange) {
  CB p;
  p.conBrInit(3);
  p.setContrastEx(1, -1);
  EXPECT_EQ(contrasts(p), (std::vector<double>{1, 1, 1}));
  p.setBrightnessEx(0, 2);
  EXPECT_EQ(brightnesses(p), (std::vector<double>{0.5, 0.5, 0}));

  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    double v;
    long tap;
  };
  for (const Case& c : {Case{1.5, 0}, Case{-0.01, 0}, Case{nan, 0}, Case{0.5, 3}, Case{0.5, -2}}) {
    EXPECT_THROW(p.setContrastEx(c.v, c.tap), CB::BadParams) << c.v << " " << c.tap;
    EXPECT_THROW(p.setBrightnessEx(c.v, c.tap), CB::BadParams) << c.v << " " << c.tap;
  }
  EXPECT_EQ(contrasts(p), (std::vector<double>{1, 1, 1}));
  EXPECT_EQ(brightnesses(p), (std::vector<double>{0.5, 0.5, 0}));

  // Both checked before either is set.
  EXPECT_THROW(p.contrastBrightness(0.2, 2.0), CB::BadParams);
  EXPECT_THROW(p.contrastBrightness(0.2, 2.0, CB::channel0), CB::BadParams);
  EXPECT_EQ(contrasts(p), (std::vector<double>{1, 1, 1}));
  p.contrastBrightness(0.25, 0.75);
  EXPECT_EQ(contrasts(p), (std::vector<double>{0.25, 0.25, 0.25}));
  EXPECT_EQ(brightnesses(p), (std::vector<double>{0.75, 0.75, 0.75}));
  p.contrastBrightness(0.1, 0.2, CB::channel1);
  EXPECT_EQ(contrasts(p), (std::vector<double>{0.25, 0.1, 0.25}));
  p.contrastBrightness(0.9, 0.9, ch(3));  // beyond the taps: nothing
  EXPECT_EQ(contrasts(p), (std::vector<double>{0.25, 0.1, 0.25}));
}

TEST(ContrastBrightness, ChannelOneOfASingleTapReadsTapZero) {
  CB p;
  p.setContrast(0.3);
  p.setBrightness(0.4);
  p.contrastBrightness(0.2, 0.3, CB::channel1);  // no tap 1: nothing happens
  EXPECT_EQ(p.contrast(CB::channel1), 0.3);
  EXPECT_EQ(p.brightness(CB::channel1), 0.4);
  EXPECT_THROW(p.contrast(ch(2)), CB::BadParams);
}

TEST(ContrastBrightness, AssociationTakesTheFifoDefaultsAndTellsIt) {
  propsx::FakeFifo fifo;
  fifo.taps = 2;
  fifo.contrastDefault = 0.3;
  fifo.brightnessDefault = 0.7;
  CB p;
  p.fifo(fifo);
  EXPECT_EQ(fifo.calls, (Calls{"numTaps()", "defaultContrast()", "defaultBrightness()", "setContrast(0.3,0)",
                               "setContrast(0.3,1)", "setBrightness(0.7,0)", "setBrightness(0.7,1)"}));
  EXPECT_EQ(contrasts(p), (std::vector<double>{0.3, 0.3}));
  EXPECT_EQ(brightnesses(p), (std::vector<double>{0.7, 0.7}));
  EXPECT_TRUE(p.isSupported(CB::channel1));
  EXPECT_FALSE(p.isSupported(ch(2)));
  EXPECT_FALSE(p.isSupported(ch(-1)));

  fifo.calls.clear();
  p.contrastBrightness(0.1, 0.2, CB::channel1);
  EXPECT_EQ(fifo.calls, (Calls{"setContrast(0.1,1)", "setBrightness(0.2,1)"}));

  // A refusing FIFO: the value stays as it was.
  fifo.failOn = "setBrightness";
  EXPECT_THROW(p.setBrightnessEx(0.9, 0), propsx::FifoRefused);
  EXPECT_EQ(p.brightnessEx(0), 0.7);
}

TEST(ContrastBrightness, AssociationRefusedOrRepeated) {
  for (auto [taps, c, b] : {std::tuple{0L, 0.5, 0.5}, {2L, 1.5, 0.5}, {2L, 0.5, -1.0}}) {
    propsx::FakeFifo fifo;
    fifo.taps = taps;
    fifo.contrastDefault = c;
    fifo.brightnessDefault = b;
    CB p;
    EXPECT_THROW(p.fifo(fifo), CB::BadParams);
    EXPECT_FALSE(p.isSupported(CB::channel0));  // still free
    p.setContrast(0.1);
    EXPECT_TRUE(fifo.callsOf("set").empty());
  }

  propsx::FakeFifo fifo;
  fifo.taps = 2;
  CB p;
  p.fifo(fifo);
  unsigned long before = qf_assertCount();
  p.clearFifoAssociation();
  p.setContrast(0.9);
  p.fifo(fifo);  // same taps: no assertion, the defaults are set again
  EXPECT_EQ(qf_assertCount(), before);
  EXPECT_EQ(contrasts(p), (std::vector<double>{0.5, 0.5}));

  propsx::FakeFifo other;
  other.taps = 3;
  p.clearFifoAssociation();
  p.fifo(other);  // other taps: assertion, then sized for it
  EXPECT_EQ(qf_assertCount(), before + 1);
  EXPECT_EQ(p.conBrTaps(), 3);
  EXPECT_EQ(other.callsOf("setContrast").size(), 3u);
}

TEST(ContrastBrightness, CopyAndAssignment) {
  propsx::FakeFifo fifo;
  fifo.taps = 2;
  CB assoc;
  assoc.fifo(fifo);
  fifo.calls.clear();

  CB copy(assoc);  // free copy
  copy.setContrastEx(0.9, 1);
  EXPECT_TRUE(fifo.calls.empty());
  EXPECT_EQ(assoc.contrastEx(1), 0.5);

  // Same tap count: contrast then brightness per tap, through the setters.
  assoc = copy;
  EXPECT_EQ(fifo.calls, (Calls{"setContrast(0.5,0)", "setBrightness(0.5,0)", "setContrast(0.9,1)",
                               "setBrightness(0.5,1)"}));
  // One tap: every tap.
  CB single;
  single.contrastBrightness(0.2, 0.4);
  assoc = single;
  EXPECT_EQ(contrasts(assoc), (std::vector<double>{0.2, 0.2}));
  EXPECT_EQ(brightnesses(assoc), (std::vector<double>{0.4, 0.4}));
  // Other tap counts: refused.
  CB three;
  three.conBrInit(3);
  EXPECT_THROW(assoc = three, CB::BadParams);
  EXPECT_EQ(contrasts(assoc), (std::vector<double>{0.2, 0.2}));

  // An unsized target takes the source's tap count.
  CB fresh;
  fresh = copy;
  EXPECT_EQ(fresh.conBrTaps(), 2);
  EXPECT_EQ(fresh.contrastEx(1), 0.9);
}

// ---- archives -----------------------------------------------------------------
namespace {

std::string doubles(unsigned char version, std::vector<double> values, long taps = -1) {
  return propsx::archiveBytes([&](qcArchive& ar) {
    ar << version;
    if (taps >= 0 || version == 2) ar << taps;
    for (double d : values) ar << d;
  });
}

}  // namespace

TEST(ContrastBrightnessArchive, AllVersions) {
  CB src;
  src.conBrInit(3);
  src.setContrastEx(0.1, 0);
  src.setBrightnessEx(0.2, 1);
  src.setContrastEx(0.3, 2);
  const std::string bytes = propsx::storeObject(src);
  EXPECT_EQ(bytes, doubles(2, {0.1, 0.5, 0.5, 0.2, 0.3, 0.5}, 3));

  // Version 2 into an associated three-tap property: through the setters.
  propsx::FakeFifo fifo;
  fifo.taps = 3;
  CB assoc;
  assoc.fifo(fifo);
  fifo.calls.clear();
  propsx::loadObject(assoc, bytes);
  EXPECT_EQ(contrasts(assoc), contrasts(src));
  EXPECT_EQ(brightnesses(assoc), brightnesses(src));
  EXPECT_EQ(fifo.calls.size(), 6u);

  CB v0;
  v0.conBrInit(2);
  propsx::loadObject(v0, doubles(0, {0.25, 0.75}));
  EXPECT_EQ(contrasts(v0), (std::vector<double>{0.25, 0.25}));
  EXPECT_EQ(brightnesses(v0), (std::vector<double>{0.75, 0.75}));

  CB same;
  propsx::loadObject(same, doubles(1, {0.2, 0.3, 0.2, 0.3}));
  EXPECT_EQ(same.conBrTaps(), 1);
  EXPECT_EQ(same.contrastEx(0), 0.2);

  CB differ;
  propsx::loadObject(differ, doubles(1, {0.2, 0.3, 0.4, 0.6}));
  EXPECT_EQ(contrasts(differ), (std::vector<double>{0.2, 0.4}));
  EXPECT_EQ(brightnesses(differ), (std::vector<double>{0.3, 0.6}));

  CB oneTap;  // already one tap: the second tap's values have nowhere to go
  oneTap.conBrInit(1);
  propsx::loadObject(oneTap, doubles(1, {0.2, 0.3, 0.4, 0.6}));
  EXPECT_EQ(contrasts(oneTap), (std::vector<double>{0.2}));
}

TEST(ContrastBrightnessArchive, BadArchivesThrowAndChangeNothing) {
  std::string truncated = doubles(2, {0.1, 0.2, 0.3, 0.4}, 2);
  truncated.resize(truncated.size() - 4);
  struct Case {
    const char* what;
    std::string bytes;
    enum { unknownVersion, badData, badParams } expect;
  };
  const std::vector<Case> cases = {
      {"version 3", propsx::archiveBytes([](qcArchive& ar) { ar << static_cast<unsigned char>(3); }),
       Case::unknownVersion},
      {"truncated", truncated, Case::badData},
      {"huge tap count", doubles(2, {}, 1L << 40), Case::badParams},  // the property has 2 taps
      {"no taps", doubles(2, {}, 0), Case::badParams},
      {"other tap count", doubles(2, {0.1, 0.1, 0.1, 0.1, 0.1, 0.1}, 3), Case::badParams},
      {"value out of range, second tap", doubles(2, {0.1, 0.1, 0.1, 1.5}, 2), Case::badParams},
      {"version 1 out of range", doubles(1, {0.1, 0.1, 0.1, -1}), Case::badParams},
      {"version 0 out of range", doubles(0, {2, 0.1}), Case::badParams},
  };
  for (const auto& c : cases) {
    propsx::FakeFifo fifo;
    fifo.taps = 2;
    CB p;
    p.fifo(fifo);
    fifo.calls.clear();
    try {
      propsx::loadObject(p, c.bytes);
      ADD_FAILURE() << c.what << ": no exception";
    } catch (const qcArchive::UnknownVersion& e) {
      EXPECT_EQ(c.expect, Case::unknownVersion) << c.what;
      EXPECT_EQ(e.where(), "acq/hyper/prop/bright");
    } catch (const qcArchive::BadData&) {
      EXPECT_EQ(c.expect, Case::badData) << c.what;
    } catch (const CB::BadParams&) {
      EXPECT_EQ(c.expect, Case::badParams) << c.what;
    }
    EXPECT_EQ(contrasts(p), (std::vector<double>{0.5, 0.5})) << c.what;
    EXPECT_TRUE(fifo.calls.empty()) << c.what;
  }

  // A huge tap count in an unsized property: refused before anything is made.
  CB p;
  EXPECT_THROW(propsx::loadObject(p, doubles(2, {0.1, 0.1}, 1L << 40)), qcArchive::BadData);
  EXPECT_THROW(propsx::loadObjectUncounted(p, doubles(2, {0.1, 0.1, 0.2, 0.2}, 1L << 40)), qcArchive::BadData);
  EXPECT_EQ(p.conBrTaps(), 1);
}

TEST(ContrastBrightness, PersistenceRegistration) {
  EXPECT_NE(qc_Instantiator::find("qcContrastBrightnessProp"), nullptr);
  EXPECT_NE(qc_Instantiator::find("qcContrastBrightnessProp::BadParams"), nullptr);
  EXPECT_NE(qc_Instantiator::find("qc8BitInputLutProp"), nullptr);
  EXPECT_NE(qc_Instantiator::find("qc8BitInputLutProp::BadParams"), nullptr);
}
