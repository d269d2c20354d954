// The element in a program that links it and registers it statically (so it
// runs under the sanitizers): failures as buffer flags and warnings, custom
// items in order, the copy for a downstream without GstVideoMeta, buffer
// metadata, buffers that hold the driver's pool images, and start/stop
// cycles.  The simulated board's "Inject" items make the failures.
#include <gst/gst.h>
#include <gst/video/video.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "qrnacqsrc.h"

namespace {

using Clock = std::chrono::steady_clock;

void initGst() {
  static const bool once = [] {
    // The example camera configuration files give formats with camera
    // timing.
    ::setenv("QUORIN_SYSTEM_PATH", QRN_TEST_SOURCE_DIR "/examples/ccf", 0);
    // A simulated board of three channels: colour FIFOs are multi-channel.
    const std::string reg = QRN_TEST_BINARY_DIR "/three-channels.reg";
    std::ofstream(reg) << "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorin\\ORB\\sim\\board0]\n\"numChannels\"=dword:00000003\n";
    ::setenv("QUORIN_REGISTRY_FILE", reg.c_str(), 1);
    gst_init(nullptr, nullptr);
    return qrn_gst_register_static() != FALSE;
  }();
  ASSERT_TRUE(once);
}

struct Buf {
  guint64 offset;
  bool corrupted, discont;
  GstClockTime pts, duration;
  GstClockTime boardTime;  // the reference timestamp meta, NONE when absent
  std::array<guint8, 8> pels;  // bytes 40..43 and 400..403 (packed RGB32: pels 10 and 100 of row 0)
};

// A pipeline "qrnacqsrc <props> ! fakesink" that records what reaches the
// sink and what the bus says.
class Pipeline {
public:
  explicit Pipeline(const std::string& props, const std::string& between = "") {
    initGst();
    GError* err = nullptr;
    const std::string desc = "qrnacqsrc name=src " + props + " ! " + between + " fakesink name=sink signal-handoffs=true";
    pipeline_ = gst_parse_launch(desc.c_str(), &err);
    EXPECT_EQ(err, nullptr) << (err ? err->message : "");
    if (err) g_error_free(err);
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline_), "sink");
    g_signal_connect(sink, "handoff", G_CALLBACK(&Pipeline::onHandoff), this);
    gst_object_unref(sink);
    bus_ = gst_element_get_bus(pipeline_);
  }
  ~Pipeline() {
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    release();
    gst_object_unref(bus_);
    gst_object_unref(pipeline_);
  }

  // Plays until end of stream, an error or `seconds`; true at end of stream.
  bool play(double seconds = 20.0) {
    gst_element_set_state(pipeline_, GST_STATE_PLAYING);
    return waitEnd(seconds);
  }
  bool waitEnd(double seconds) {
    const auto until = Clock::now() + std::chrono::duration<double>(seconds);
    while (Clock::now() < until) {
      GstMessage* m = gst_bus_timed_pop(bus_, 20 * GST_MSECOND);
      if (!m) continue;
      const GstMessageType t = GST_MESSAGE_TYPE(m);
      if (t == GST_MESSAGE_WARNING || t == GST_MESSAGE_ERROR) {
        GError* e = nullptr;
        gchar* dbg = nullptr;
        if (t == GST_MESSAGE_WARNING) gst_message_parse_warning(m, &e, &dbg);
        else gst_message_parse_error(m, &e, &dbg);
        (t == GST_MESSAGE_WARNING ? warnings : errors).push_back(e->message);
        if (t == GST_MESSAGE_WARNING) {
          const GstStructure* d = nullptr;
          gst_message_parse_warning_details(m, &d);
          if (d && gst_structure_has_field(d, "failure")) failureDetails.push_back(gst_structure_get_string(d, "failure"));
        }
        g_error_free(e);
        g_free(dbg);
      }
      gst_message_unref(m);
      if (t == GST_MESSAGE_EOS) return true;
      if (t == GST_MESSAGE_ERROR) return false;
    }
    return false;
  }

  std::vector<Buf> buffers() {
    std::lock_guard<std::mutex> g(m_);
    return bufs_;
  }
  std::size_t count() {
    std::lock_guard<std::mutex> g(m_);
    return bufs_.size();
  }
  // Buffers the sink keeps referenced until release() (0: none).
  void hold(std::size_t n) { hold_ = n; }
  void release() {
    std::lock_guard<std::mutex> g(m_);
    for (GstBuffer* b : held_) gst_buffer_unref(b);
    held_.clear();
    hold_ = 0;
  }
  GstElement* pipeline() const { return pipeline_; }

  std::vector<std::string> warnings, errors, failureDetails;

private:
  static void onHandoff(GstElement*, GstBuffer* b, GstPad*, gpointer self) {
    auto* r = static_cast<Pipeline*>(self);
    static GstCaps* tsCaps = gst_caps_new_empty_simple("timestamp/x-qrnacq");
    const GstReferenceTimestampMeta* meta = gst_buffer_get_reference_timestamp_meta(b, tsCaps);
    std::array<guint8, 8> pels{};
    gst_buffer_extract(b, 40, pels.data(), 4);
    gst_buffer_extract(b, 400, pels.data() + 4, 4);
    std::lock_guard<std::mutex> g(r->m_);

    r->bufs_.push_back(Buf{GST_BUFFER_OFFSET(b), GST_BUFFER_FLAG_IS_SET(b, GST_BUFFER_FLAG_CORRUPTED),
                           GST_BUFFER_FLAG_IS_SET(b, GST_BUFFER_FLAG_DISCONT), GST_BUFFER_PTS(b),
                           GST_BUFFER_DURATION(b), meta ? meta->timestamp : GST_CLOCK_TIME_NONE, pels});
    if (r->held_.size() < r->hold_) r->held_.push_back(gst_buffer_ref(b));
  }

  GstElement* pipeline_ = nullptr;
  GstBus* bus_ = nullptr;
  std::mutex m_;
  std::vector<Buf> bufs_;
  std::vector<GstBuffer*> held_;
  std::atomic<std::size_t> hold_{0};
};

bool anyContains(const std::vector<std::string>& v, const std::string& s) {
  for (const std::string& t : v)
    if (t.find(s) != std::string::npos) return true;
  return false;
}

// Each failure: what the buffers after it carry and what the bus says.  The
// first acquisition fails with a failure that keeps its image (flagged
// CORRUPTED), the second with the failure under test.
struct FailureCase {
  const char* name;
  const char* props;
  std::vector<std::pair<guint64, bool>> buffers;  // trigger number, corrupted
  std::vector<const char*> warnings;              // texts the warnings contain, in order
};

TEST(GstSrc, FailuresBecomeFlagsAndWarnings) {
  const FailureCase cases[] = {
      {"incomplete image", "custom=FramePeriod=0;Inject=incomplete", {{1, true}, {2, false}, {3, false}}, {"incomplete"}},
      {"incomplete image dropped", "drop-incomplete=true custom=FramePeriod=0;Inject=timingError;Inject=incomplete",
       {{1, true}, {3, false}, {4, false}}, {"timingError", "incomplete"}},
      {"timeout", "custom=FramePeriod=0;Inject=tooFastEncoder;Inject=timeout", {{1, true}, {3, false}, {4, false}},
       {"tooFastEncoder", "timeout"}},
      {"missed", "custom=FramePeriod=0;Inject=timingError;Inject=missed", {{1, true}, {3, false}, {4, false}},
       {"timingError", "missed"}},
      {"abnormal", "custom=FramePeriod=0;Inject=timingError;Inject=abnormal:7", {{1, true}, {3, false}, {4, false}},
       {"timingError", "abnormal (code 7)"}},
      {"overrun", "custom=FramePeriod=0;Inject=timingError;Inject=overrun", {{1, true}, {3, false}, {4, false}},
       {"timingError", "overrun"}},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.name);
    Pipeline r(std::string("num-buffers=3 ") + c.props);
    ASSERT_TRUE(r.play()) << (r.errors.empty() ? "no end" : r.errors[0]);
    const std::vector<Buf> got = r.buffers();
    ASSERT_EQ(got.size(), c.buffers.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
      SCOPED_TRACE("buffer " + std::to_string(i));
      EXPECT_EQ(got[i].offset, c.buffers[i].first);
      EXPECT_EQ(got[i].corrupted, c.buffers[i].second);
      // A lost frame (or the stream's start) makes a discontinuity.
      const bool lostBefore = i == 0 || got[i].offset != got[i - 1].offset + 1;
      EXPECT_EQ(got[i].discont, lostBefore);
    }
    // (An overrun also shows as a lost frame when the driver's overrun
    // callback reports it.)
    for (const char* w : c.warnings) {
      EXPECT_TRUE(anyContains(r.failureDetails, w)) << w;
      EXPECT_TRUE(anyContains(r.warnings, w)) << w;
    }
  }
}

// The custom items go in order in one bag: a Channel item sends the items
// after it to that channel alone.
TEST(GstSrc, CustomItemsKeepTheirChannel) {
  Pipeline r("num-buffers=1 image-format=rgb32 custom=Channel=1;TestImage=flat;FlatValue=200");
  ASSERT_TRUE(r.play());
  const std::vector<Buf> got = r.buffers();
  ASSERT_EQ(got.size(), 1u);
  const auto& p = got[0].pels;  // blue, green, red, x at pels 10 and 100
  EXPECT_EQ(p[1], 200);  // green: channel 1, flat
  EXPECT_EQ(p[5], 200);
  EXPECT_NE(p[2], p[6]);  // red: channel 0, still the gradient
  EXPECT_NE(p[0], p[4]);  // blue: channel 2, likewise
}

// Rows of 301 pels: the image's rows are further apart than GStreamer's
// default (304 bytes).  A downstream that takes GstVideoMeta (pngenc) gets
// the image as it is, one that does not (fakesink) a copy in the default
// layout; both read the same pels.
struct Pushed {
  std::size_t size = 0;
  gint stride = 0;
  bool meta = false;
  std::vector<guint8> pels;  // rows 0..3, pels 0, 1, 299, 300
};

GstPadProbeReturn onPush(GstPad* pad, GstPadProbeInfo* info, gpointer p) {
  auto* out = static_cast<Pushed*>(p);
  GstBuffer* b = GST_PAD_PROBE_INFO_BUFFER(info);
  if (out->size || !b) return GST_PAD_PROBE_OK;
  out->size = gst_buffer_get_size(b);
  GstVideoMeta* m = gst_buffer_get_video_meta(b);
  out->meta = m != nullptr;
  GstCaps* caps = gst_pad_get_current_caps(pad);
  GstVideoInfo vi;
  GstVideoFrame f;
  if (caps && gst_video_info_from_caps(&vi, caps) && gst_video_frame_map(&f, &vi, b, GST_MAP_READ)) {
    out->stride = GST_VIDEO_FRAME_PLANE_STRIDE(&f, 0);
    for (int y = 0; y < 4; ++y)
      for (int x : {0, 1, 299, 300})
        out->pels.push_back(static_cast<const guint8*>(GST_VIDEO_FRAME_PLANE_DATA(&f, 0))[y * out->stride + x]);
    gst_video_frame_unmap(&f);
  }
  if (caps) gst_caps_unref(caps);
  return GST_PAD_PROBE_OK;
}

TEST(GstSrc, CopiesOnlyForADownstreamWithoutVideoMeta) {
  std::vector<guint8> seen[2];
  for (const bool meta : {true, false}) {
    SCOPED_TRACE(meta ? "downstream takes the meta" : "downstream does not");
    Pipeline r("num-buffers=1 roi=0,0,301,4", meta ? "pngenc !" : "");
    Pushed pushed;
    GstElement* src = gst_bin_get_by_name(GST_BIN(r.pipeline()), "src");
    GstPad* pad = gst_element_get_static_pad(src, "src");
    gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, onPush, &pushed, nullptr);
    gst_object_unref(pad);
    gst_object_unref(src);
    ASSERT_TRUE(r.play());
    // The gradient: a pel depends on x + y, so row y + 1 is row y moved
    // left by one; and it is not flat.
    ASSERT_EQ(pushed.pels.size(), 16u);
    for (int y = 0; y < 3; ++y) {
      EXPECT_EQ(pushed.pels[4 * (y + 1) + 0], pushed.pels[4 * y + 1]) << y;
      EXPECT_EQ(pushed.pels[4 * (y + 1) + 2], pushed.pels[4 * y + 3]) << y;
    }
    EXPECT_NE(pushed.pels[0], pushed.pels[2]);
    seen[meta] = pushed.pels;
    if (meta) {
      EXPECT_TRUE(pushed.meta);
      EXPECT_NE(pushed.stride, 304);  // the image's own rows
    } else {
      EXPECT_FALSE(pushed.meta);
      EXPECT_EQ(pushed.stride, 304);
      EXPECT_EQ(pushed.size, 304u * 4);
    }
  }
  EXPECT_EQ(seen[0], seen[1]);
}

TEST(GstSrc, BuffersCarryTriggerNumberBoardTimeAndClockTime) {
  // A format of a camera configuration file with camera timing:
  // 780 x 525 clocks of 12.2727 MHz, 29.97 frames per second.
  Pipeline r("num-buffers=6 format=\"Northlake NL60 640x480\"");
  const double period = 780.0 * 525 / 12.2727e6 * 1e9;
  ASSERT_TRUE(r.play());
  const std::vector<Buf> got = r.buffers();
  ASSERT_EQ(got.size(), 6u);
  for (std::size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].offset, i + 1);
    ASSERT_NE(got[i].boardTime, GST_CLOCK_TIME_NONE);
    ASSERT_NE(got[i].pts, GST_CLOCK_TIME_NONE);
    EXPECT_NEAR(static_cast<double>(got[i].duration), period, 1e3);
    if (i == 0) continue;
    // Frame k starts k periods after the first on the board's clock; the
    // pipeline clock sees the frames about that far apart.
    const double board = static_cast<double>(got[i].boardTime - got[i - 1].boardTime);
    EXPECT_NEAR(board, static_cast<double>(got[i].duration), 1e6);
    EXPECT_GT(got[i].pts, got[i - 1].pts);
  }
  // (Loose: the completions may wait for the processor on a busy machine.)
  const double span = static_cast<double>(got.back().pts - got.front().pts);
  EXPECT_LT(span, 5 * period + 1e9);

  // Not live: the board's clock from the first frame.
  Pipeline notLive("num-buffers=3 is-live=false format=\"Northlake NL60 640x480\"");
  ASSERT_TRUE(notLive.play());
  const std::vector<Buf> nl = notLive.buffers();
  ASSERT_EQ(nl.size(), 3u);
  for (const Buf& b : nl) EXPECT_EQ(b.pts, b.boardTime - nl[0].boardTime);
}

TEST(GstSrc, BuffersHoldThePoolImages) {
  // Two pool images, both held downstream: no frame can be acquired until
  // one is given back, so the acquisitions time out.
  Pipeline r("pool-size=2 timeout=0.3 custom=FramePeriod=0");
  r.hold(2);
  gst_element_set_state(r.pipeline(), GST_STATE_PLAYING);
  r.waitEnd(1.5);
  EXPECT_EQ(r.count(), 2u);
  EXPECT_TRUE(anyContains(r.failureDetails, "timeout"));
  r.release();
  const auto until = Clock::now() + std::chrono::seconds(5);
  while (r.count() < 20 && Clock::now() < until) r.waitEnd(0.05);
  EXPECT_GE(r.count(), 20u);
  EXPECT_TRUE(r.errors.empty());
}

// PLAYING -> NULL at any moment stops promptly: while frames flow (manual
// and free-running), while waiting for a line pulse that never comes, with
// a buffer still held past the stop.  Leaks show under the sanitizers.
TEST(GstSrc, HundredStartStopCyclesInPlaying) {
  const char* props[] = {"", "trigger=freerun", "trigger=auto hw-trigger=true", "custom=FramePeriod=0 image-format=3plane"};
  Pipeline* runs[4] = {};
  for (int i = 0; i < 4; ++i) runs[i] = new Pipeline(props[i]);
  double slowest = 0;
  for (int cycle = 0; cycle < 100; ++cycle) {
    Pipeline& r = *runs[cycle % 4];
    SCOPED_TRACE("cycle " + std::to_string(cycle) + ": " + props[cycle % 4]);
    const std::size_t before = r.count();
    r.hold(cycle % 8 == 3 ? 1 : 0);
    ASSERT_NE(gst_element_set_state(r.pipeline(), GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
    if (cycle % 4 != 2) {
      const auto until = Clock::now() + std::chrono::seconds(5);
      while (r.count() == before && Clock::now() < until) r.waitEnd(0.01);
      ASSERT_GT(r.count(), before) << "no frame";
    } else {
      r.waitEnd(0.05);
    }
    const auto t0 = Clock::now();
    ASSERT_EQ(gst_element_set_state(r.pipeline(), GST_STATE_NULL), GST_STATE_CHANGE_SUCCESS);
    slowest = std::max(slowest, std::chrono::duration<double>(Clock::now() - t0).count());
    r.release();  // a held buffer outlives its FIFO
    EXPECT_TRUE(r.errors.empty()) << r.errors[0];
  }
  for (Pipeline* r : runs) delete r;
  // Well under a second each (the wait slices are 50 ms); generous for
  // sanitizer builds on a busy machine.
  EXPECT_LT(slowest, 3.0);
}

}  // namespace
