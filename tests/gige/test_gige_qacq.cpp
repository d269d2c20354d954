// qacq with camera boards, in process: the configured list in the registry
// store, the board listing, features and a grab from the in-process fake
// camera.  Discovery (broadcasts) is tested only inside a private network
// namespace (gige_netns.sh).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "qacq.h"
#include "../qacq/qacq_run.h"

using ::testing::HasSubstr;

namespace {

// Board 1: an address on loopback where nothing answers (the attempt never
// leaves the host).
const bool gCameras = [] {
  ::setenv("QUORIN_GIGE_CAMERAS", "fake;127.0.0.77", 1);
  return true;
}();

using qacq_test::Outcome;
using qacq_test::qacqRun;

TEST(GigeQacq, CamerasAddListAndRemoveEditTheRegistryStore) {
  const std::string reg =
      (std::filesystem::temp_directory_path() / ("gige-qacq-" + std::to_string(::getpid()) + ".reg")).string();
  std::filesystem::remove(reg);
  ::setenv("QUORIN_REGISTRY_FILE", reg.c_str(), 1);
  EXPECT_EQ(qacqRun({"cameras", "add", "192.0.2.7"}).code, 0);
  EXPECT_EQ(qacqRun({"cameras", "add", "fake"}).code, 0);
  Outcome dup = qacqRun({"cameras", "add", "fake"});
  EXPECT_EQ(dup.code, 1);
  EXPECT_THAT(dup.err, HasSubstr("already configured"));
  Outcome l = qacqRun({"cameras", "list"});
  EXPECT_THAT(l.out, HasSubstr("192.0.2.7\nfake\n"));
  EXPECT_THAT(l.out, HasSubstr("QUORIN_GIGE_CAMERAS is set"));  // it replaces the stored list
  EXPECT_EQ(qacqRun({"cameras", "remove", "192.0.2.7"}).code, 0);
  EXPECT_EQ(qacqRun({"cameras", "remove", "192.0.2.7"}).code, 1);
  EXPECT_EQ(qacqRun({"cameras", "add", "a;b"}).code, 2);
  EXPECT_EQ(qacqRun({"cameras", "list"}).out.rfind("fake\n", 0), 0u);
  std::filesystem::remove(reg);
}

TEST(GigeQacq, BoardsFeaturesAndGrab) {
  Outcome b = qacqRun({"boards"});
  EXPECT_EQ(b.code, 0);
  EXPECT_THAT(b.out, HasSubstr("gige0     1         gige:fake  Aravis Fake"));
  // A camera that does not answer: a board all the same, with the reason.
  EXPECT_THAT(b.out, HasSubstr("gige1     1         gige:127.0.0.77  (gige: camera 127.0.0.77 does not answer"));
  Outcome g1 = qacqRun({"grab", "--board", "gige1", "--save", "none"});
  EXPECT_EQ(g1.code, 1);
  // The reason, said once.
  EXPECT_THAT(g1.err, ::testing::ContainsRegex("^qacq: qcAcqFifo::CouldNotCreate: gige: camera 127.0.0.77 does not answer"));
  EXPECT_EQ(g1.err.find("does not answer"), g1.err.rfind("does not answer")) << g1.err;

  Outcome w = qacqRun({"features", "--board", "gige0", "SensorWidth"});
  EXPECT_EQ(w.code, 0) << w.err;
  EXPECT_EQ(w.out, "2048\n");
  Outcome all = qacqRun({"features", "--board", "gige0"});
  EXPECT_THAT(all.out, HasSubstr("PixelFormat"));
  // What the camera offers and what each image kind is made from.
  EXPECT_THAT(all.out, HasSubstr("PixelFormat offered: BayerBG8 BayerGB8 BayerGR8 BayerRG8 Mono8 RGB8 Mono16\n"));
  EXPECT_THAT(all.out, HasSubstr("grey16  Mono16                  as sent\n"));
  EXPECT_THAT(all.out, HasSubstr("3plane  BayerRG8                demosaiced\n"));
  Outcome fm = qacqRun({"formats", "--board", "gige0"});
  EXPECT_THAT(fm.out, HasSubstr("rgb32   RGB8                    reordered\n"));
  Outcome set = qacqRun({"features", "--board", "gige0", "GainRaw", "--set", "2"});
  EXPECT_EQ(set.out, "GainRaw = 2\n");
  EXPECT_EQ(qacqRun({"features", "--board", "gige0", "NoSuchFeature"}).code, 1);
  EXPECT_EQ(qacqRun({"features", "--board", "sim0"}).code, 2);

  Outcome g = qacqRun({"grab", "--board", "gige0", "-n", "3", "--save", "none", "--custom",
                       "AcquisitionFrameRate=200"});
  EXPECT_EQ(g.code, 0) << g.err;
  EXPECT_THAT(g.out, HasSubstr("3 frames"));
  // A refused item is named (the FIFO sets Width itself).
  Outcome r = qacqRun({"grab", "--board", "gige0", "--save", "none", "--custom", "AcquisitionFrameRate=200",
                       "--custom", "Width=32"});
  EXPECT_EQ(r.code, 1);
  EXPECT_THAT(r.err, HasSubstr("refused custom item \"Width=32\""));
  // A refusal with a reason: white balance on a grey FIFO.
  Outcome wb = qacqRun({"grab", "--board", "gige0", "--save", "none", "--custom", "WhiteBalance=1 1 1"});
  EXPECT_EQ(wb.code, 1);
  EXPECT_THAT(wb.err, HasSubstr("WhiteBalance applies to colour converted from a Bayer mosaic"));
  // Several boards at once, files named per board.
  const std::string dir = ::testing::TempDir() + "gige_qacq_two";
  Outcome two = qacqRun({"grab", "--board", "gige0,sim0", "-n", "2", "--save", "pgm", "-o", dir, "-q"});
  EXPECT_EQ(two.code, 0) << two.err;
  EXPECT_THAT(two.out, HasSubstr("gige0: 2 frames"));
  EXPECT_THAT(two.out, HasSubstr("sim0: 2 frames"));
  EXPECT_TRUE(std::filesystem::exists(dir + "/frame-gige0-0002.pgm"));
  EXPECT_TRUE(std::filesystem::exists(dir + "/frame-sim0-0002.pgm"));
  EXPECT_EQ(qacqRun({"grab", "--board", "gige0,,sim0"}).code, 2);
  // live over two boards: a window each (SDL's dummy video driver here).
  ::setenv("SDL_VIDEODRIVER", "dummy", 0);
  Outcome live = qacqRun({"live", "--board", "gige0,sim0", "-n", "4", "--trigger", "freerun"});
  EXPECT_EQ(live.code, 0) << live.err;
  EXPECT_THAT(live.out, HasSubstr("gige0: 4 frames"));
  EXPECT_THAT(live.out, HasSubstr("sim0: 4 frames"));
}

}  // namespace
