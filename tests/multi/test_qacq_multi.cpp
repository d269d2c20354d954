// qacq grab --channels and qacq equalize on the simulated board (board 0 has
// three channels in this test process, see test_sim_multi.cpp).
#include <sstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <qrn/acq/hyper/prop/acqprops.h>

#include "fake_fifo.h"
#include "qacq.h"
#include "../qacq/qacq_run.h"
#include "../qacq/qacq_support.h"

using ::testing::HasSubstr;

namespace {

using qacq_test::Outcome;
using qacq_test::qacqRun;

TEST(QacqMulti, GrabChannelsWritesTheColourScene) {
  qacq_test::TempDir dir;
  const Outcome r = qacqRun({"grab", "--channels", "-f", "Sony XC75 320x240", "-n", "2", "--save", "pgm", "--custom",
                             "TestImage=color", "-o", dir.path().string()});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_THAT(r.out, HasSubstr("320x240 rgb32 through 3 channels"));
  const qacq_test::Decoded d = qacq_test::readPnm(dir / "frame-0002.ppm");
  ASSERT_TRUE(d.ok) << d.error;
  ASSERT_EQ(d.channels, 3);
  // Pel (300, 10): red 255 * 300 / 319, green 255 * 10 / 239, blue 255 - red,
  // through the FIFO's default input table (15 to 240).
  const std::size_t at = 3 * static_cast<std::size_t>(10 * 320 + 300);
  EXPECT_EQ(d.samples[at], 239u);
  EXPECT_EQ(d.samples[at + 1], 15u);
  EXPECT_EQ(d.samples[at + 2], 16u);

  const Outcome grey = qacqRun({"grab", "--channels", "-i", "grey8", "--save", "none"});
  EXPECT_EQ(grey.code, 2);
  EXPECT_THAT(grey.err, HasSubstr("--channels grabs colour"));
}

TEST(QacqMulti, EqualizePrintsWhatItSetAndTheTails) {
  const Outcome r = qacqRun({"equalize", "-f", "Sony XC75 640x480", "--custom", "TestImage=twotap"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_THAT(r.out, HasSubstr("tails of 200 pels, tolerance 10 grey levels"));
  EXPECT_THAT(r.out, HasSubstr("even (0)  0.000 -> 0.197"));
  EXPECT_THAT(r.out, HasSubstr("equalized: both tails within 10 grey levels"));
  // "(changed)" marks the channel whose values changed, and only that one.
  const auto changedRows = [](const std::string& out) {
    std::vector<std::string> rows;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
      if (line.find("(changed)") != std::string::npos) rows.push_back(line.substr(0, 8));
    return rows;
  };
  EXPECT_EQ(changedRows(r.out), std::vector<std::string>{"even (0)"}) << r.out;
  const Outcome same = qacqRun({"equalize", "-f", "Sony XC75 640x480"});  // taps alike already
  ASSERT_EQ(same.code, 0) << same.err;
  EXPECT_EQ(changedRows(same.out), std::vector<std::string>{}) << same.out;

  const Outcome dark = qacqRun({"equalize", "--custom", "TestImage=flat", "--custom", "FlatValue=0"});
  EXPECT_EQ(dark.code, 1);
  EXPECT_THAT(dark.err, HasSubstr("the taps were not equalized"));
  EXPECT_EQ(qacqRun({"equalize", "--tolerance", "-1"}).code, 2);
}

// A command line's custom items travel in order in one bag, so that
// "Channel" reaches the items after it: only channel 2 (blue) goes flat at 0.
TEST(QacqMulti, CustomItemsGoInOrderInOneBag) {
  qacq_test::TempDir dir;
  const Outcome r = qacqRun({"grab", "--channels", "-f", "Sony XC75 320x240", "-n", "1", "--save", "pgm", "--custom",
                             "TestImage=flat", "--custom", "Channel=2", "--custom", "FlatValue=0", "-o",
                             dir.path().string()});
  ASSERT_EQ(r.code, 0) << r.err;
  const qacq_test::Decoded d = qacq_test::readPnm(dir / "frame-0001.ppm");
  ASSERT_TRUE(d.ok) << d.error;
  ASSERT_EQ(d.channels, 3);
  const std::size_t at = 3 * static_cast<std::size_t>(100 * 320 + 100);
  EXPECT_EQ(d.samples[at], d.samples[at + 1]);  // red and green: the default 128
  EXPECT_GT(d.samples[at], d.samples[at + 2] + 50);  // blue: 0
}

// A driver that refuses an item without saying why: the item is still named.
class PickyFifo : public qcRecordingAcqFifo {
public:
  std::vector<std::string> bags;  // every bag sent, as text
  void update(const qcCustomProp& p) override {
    const qcCustomPropertyBag bag = p.customValues();
    bags.push_back(bag.toString());
    for (long i = 0; i < bag.getItemCount(); ++i)
      if (bag.getName(i) == "Width") throw qcAcqFifo::BadParams();
  }
};

TEST(QacqMulti, ARefusedCustomItemIsNamedWhenTheDriverGivesNoReason) {
  PickyFifo drv;
  qcAnalogAcqProps props;
  props.fifo(drv);
  const std::vector<std::pair<std::string, std::string>> items = {{"Gain", "2"}, {"Channel", "1"}, {"Width", "32"},
                                                                  {"Height", "8"}};
  try {
    qacq::sendCustomItems(props, items);
    ADD_FAILURE() << "no refusal";
  } catch (const qacq::Error& e) {
    EXPECT_THAT(e.what(), HasSubstr("refused custom item \"Width=32\"")) << e.what();
  }
  ASSERT_FALSE(drv.bags.empty());
  qcCustomPropertyBag all;
  for (const auto& [name, value] : items) all.addItem(qcCustomPropertyBag::qeWrite, name, value);
  EXPECT_EQ(drv.bags.front(), all.toString());  // the whole line first, in order
  EXPECT_EQ(drv.bags.back(), qcCustomPropertyBag().toString());  // then emptied
  props.clearFifoAssociation();

  PickyFifo fine;
  qcAnalogAcqProps ok;
  ok.fifo(fine);
  qacq::sendCustomItems(ok, {{"Channel", "2"}, {"FlatValue", "0"}});
  EXPECT_EQ(fine.bags.size(), 2u);  // one bag, then the empty one
  ok.clearFifoAssociation();
}

}  // namespace
