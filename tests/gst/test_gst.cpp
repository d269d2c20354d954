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
  guint64 offset, offsetEnd;
  guint64 trigger;  // the trigger meta's number
  bool wrapped;     // the memory is a pool image's (read-only), not a copy
  Clock::time_point at;  // when the sink had it
  Clock::duration waited;  // how long the sink held it before (sync=true: waiting for the clock)
  bool corrupted, discont;
  GstClockTime pts, duration;
  GstClockTime boardTime;  // the reference timestamp meta, NONE when absent
  std::array<guint8, 8> pels;  // bytes 40..43 and 400..403 (packed RGB32: pels 10 and 100 of row 0)
};

// A pipeline "qrnacqsrc <props> ! fakesink" that records what reaches the
// sink and what the bus says.
class Pipeline {
public:
  explicit Pipeline(const std::string& props, const std::string& between = "", const std::string& after = "") {
    initGst();
    GError* err = nullptr;
    const std::string desc =
        "qrnacqsrc name=src " + props + " ! " + between + " fakesink name=sink signal-handoffs=true " + after;
    pipeline_ = gst_parse_launch(desc.c_str(), &err);
    EXPECT_EQ(err, nullptr) << (err ? err->message : "");
    if (err) g_error_free(err);
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline_), "sink");
    g_signal_connect(sink, "handoff", G_CALLBACK(&Pipeline::onHandoff), this);
    GstPad* pad = gst_element_get_static_pad(sink, "sink");
    gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, &Pipeline::onArrival, this, nullptr);
    gst_object_unref(pad);
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
    do {
      GstMessage* m = gst_bus_timed_pop(bus_, seconds > 0 ? 20 * GST_MSECOND : 0);
      if (!m && seconds <= 0) break;
      if (!m) continue;
      const GstMessageType t = GST_MESSAGE_TYPE(m);
      if (t == GST_MESSAGE_QOS) {
        guint64 processed = 0, dropped = 0;
        gst_message_parse_qos_stats(m, nullptr, &processed, &dropped);
        qosDropped.push_back(dropped);
      }
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
    } while (Clock::now() < until || seconds <= 0);
    return false;
  }

  // Stops the stream and reads what the bus still holds (the bus drops
  // its messages on the way to NULL).
  void stop() {
    gst_element_set_state(pipeline_, GST_STATE_READY);
    waitEnd(0);
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
  std::vector<guint64> qosDropped;  // each QoS message's count of dropped frames

private:
  static GstPadProbeReturn onArrival(GstPad*, GstPadProbeInfo*, gpointer self) {
    static_cast<Pipeline*>(self)->arrival_ = Clock::now();  // the streaming thread, as the handoff
    return GST_PAD_PROBE_OK;
  }
  static void onHandoff(GstElement*, GstBuffer* b, GstPad*, gpointer self) {
    auto* r = static_cast<Pipeline*>(self);
    const Clock::time_point now = Clock::now();
    static GstCaps* tsCaps = gst_caps_new_empty_simple("timestamp/x-qrnacq");
    const GstReferenceTimestampMeta* meta = gst_buffer_get_reference_timestamp_meta(b, tsCaps);
    guint64 trigger = 0;
    if (GstCustomMeta* tm = gst_buffer_get_custom_meta(b, "QrnAcqTriggerMeta"))
      gst_structure_get_uint64(gst_custom_meta_get_structure(tm), "trigger-number", &trigger);
    std::array<guint8, 8> pels{};
    gst_buffer_extract(b, 40, pels.data(), 4);
    gst_buffer_extract(b, 400, pels.data() + 4, 4);
    std::lock_guard<std::mutex> g(r->m_);

    const bool wrapped = GST_MEMORY_FLAG_IS_SET(gst_buffer_peek_memory(b, 0), GST_MEMORY_FLAG_READONLY);
    r->bufs_.push_back(Buf{GST_BUFFER_OFFSET(b), GST_BUFFER_OFFSET_END(b), trigger, wrapped, now, now - r->arrival_,
                           GST_BUFFER_FLAG_IS_SET(b, GST_BUFFER_FLAG_CORRUPTED),
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
  Clock::time_point arrival_;  // the last buffer's arrival at the sink
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
      EXPECT_EQ(got[i].trigger, c.buffers[i].first);
      EXPECT_EQ(got[i].offset, i);  // frames of the stream, from 0
      EXPECT_EQ(got[i].offsetEnd, i + 1);
      EXPECT_EQ(got[i].corrupted, c.buffers[i].second);
      // A lost frame (or the stream's start) makes a discontinuity.
      const bool lostBefore = i == 0 || got[i].trigger != got[i - 1].trigger + 1;
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
    EXPECT_EQ(got[i].trigger, i + 1);
    EXPECT_EQ(got[i].offset, i);
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

TEST(GstSrc, BuffersHeldDownstreamNeverStarveThePool) {
  // Four pool images and a sink that keeps the first four buffers: the
  // first two wrap pool images, then the element copies (the driver keeps
  // two images) and the frames keep coming; given back, they wrap again.
  Pipeline r("pool-size=4 custom=FramePeriod=0.005");
  r.hold(4);
  gst_element_set_state(r.pipeline(), GST_STATE_PLAYING);
  const auto until = Clock::now() + std::chrono::seconds(5);
  while (r.count() < 40 && Clock::now() < until) r.waitEnd(0.05);
  ASSERT_GE(r.count(), 40u);
  r.release();
  const std::size_t released = r.count();
  while (r.count() < released + 10 && Clock::now() < until + std::chrono::seconds(5)) r.waitEnd(0.05);
  r.stop();
  const std::vector<Buf> got = r.buffers();
  ASSERT_GE(got.size(), released + 10);
  EXPECT_TRUE(got[0].wrapped && got[1].wrapped);
  for (std::size_t i = 2; i < 40; ++i) EXPECT_FALSE(got[i].wrapped) << i;
  EXPECT_TRUE(got.back().wrapped);
  EXPECT_TRUE(r.failureDetails.empty()) << r.failureDetails[0];
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

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// A synchronised sink at 100 frames/s: the buffers carry the capture time
// and the latency covers the completion, so the sink waits for its clock
// less than its processing deadline (20 ms) alone; when buffers carried the
// time create() took them, it waited that and a period, and the stream ran
// at half the rate or lost every fourth frame free-running.  The frames
// come on the board's period; a loaded machine may lose a few free-running.
TEST(GstSrc, SyncSinkKeepsTheFramePeriod) {
  for (const char* trigger : {"manual", "freerun"}) {
    SCOPED_TRACE(trigger);
    Pipeline r(std::string("num-buffers=100 custom=FramePeriod=0.01 trigger=") + trigger, "", "sync=true");
    ASSERT_TRUE(r.play());
    const std::vector<Buf> got = r.buffers();
    ASSERT_EQ(got.size(), 100u);
    std::vector<double> waits;
    for (const Buf& b : got) waits.push_back(seconds(b.waited));
    std::nth_element(waits.begin(), waits.begin() + 50, waits.end());
    EXPECT_LT(waits[50], 0.018);
    // (A sink holding pool images lost every fourth frame, 33 in all; a
    // loaded machine may lose some.)
    EXPECT_LE(got.back().trigger - got.front().trigger, 120u);
    // The sink takes the frames on the board's clock (a frame period
    // apart; 10%: the machine may be loaded), and their PTS follow it.
    const double boardSpan = static_cast<double>(got.back().boardTime - got.front().boardTime) / 1e9;
    EXPECT_NEAR(seconds(got.back().at - got.front().at), boardSpan, 0.1 * boardSpan);
    EXPECT_NEAR(static_cast<double>(got.back().pts - got.front().pts) / 1e9, boardSpan, 0.1 * boardSpan);
    for (std::size_t i = 1; i < got.size(); ++i) ASSERT_GT(got[i].pts, got[i - 1].pts);
  }
}

// Paused, then playing again: the frames taken while paused are dropped,
// and the buffers after the pause are a frame period apart as before.
TEST(GstSrc, PauseDoesNotBunchTimeStamps) {
  Pipeline r("");
  ASSERT_NE(gst_element_set_state(r.pipeline(), GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
  r.waitEnd(0.4);
  gst_element_set_state(r.pipeline(), GST_STATE_PAUSED);
  r.waitEnd(0.4);
  const std::size_t before = r.count();
  gst_element_set_state(r.pipeline(), GST_STATE_PLAYING);
  r.waitEnd(0.5);
  r.stop();
  const std::vector<Buf> got = r.buffers();
  ASSERT_GT(before, 3u);
  ASSERT_GT(got.size(), before + 5);
  // (The first frame after the pause may have started just before it.)
  // The frames queued during the pause do not come as a burst.
  EXPECT_GT(got[before].pts, got[before - 1].pts);
  for (std::size_t i = before + 1; i < got.size(); ++i)
    EXPECT_GT(static_cast<double>(got[i].pts - got[i - 1].pts), 0.5 / 30 * 1e9) << i;
  const double mean = static_cast<double>(got.back().pts - got[before].pts) / static_cast<double>(got.size() - 1 - before);
  EXPECT_NEAR(mean, 1e9 / 30, 0.1e9 / 30);
}

// A tee whose slow branch keeps five buffers in a leaky queue: the fast
// branch still gets every frame.
TEST(GstSrc, SlowTeeBranchDoesNotSlowTheFastOne) {
  Pipeline r("",
             "tee name=t ! queue ! ",
             "t. ! queue leaky=downstream max-size-buffers=5 ! identity sleep-time=200000 ! fakesink");
  gst_element_set_state(r.pipeline(), GST_STATE_PLAYING);
  r.waitEnd(0.5);
  const std::size_t n0 = r.count();
  r.waitEnd(1.0);
  const std::size_t n1 = r.count();
  r.stop();
  EXPECT_GE(n1 - n0, 27u);  // 30 frames/s
  EXPECT_TRUE(r.failureDetails.empty()) << r.failureDetails[0];
}

// Stopped while starting (PLAYING, then READY 0 to 20 ms later): never an
// error.
TEST(GstSrc, StopDuringStartUpPostsNoError) {
  Pipeline r("");
  for (int i = 0; i < 200; ++i) {
    SCOPED_TRACE(i);
    ASSERT_NE(gst_element_set_state(r.pipeline(), GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
    g_usleep(static_cast<gulong>((i % 21) * 1000));
    gst_element_set_state(r.pipeline(), GST_STATE_READY);
    r.waitEnd(0);
    ASSERT_TRUE(r.errors.empty()) << r.errors[0];
  }
}

// Lost frames: one QoS message per loss, counting them; warnings: the first
// of each kind in full, the rest summed up.
TEST(GstSrc, LostFramesPostQosAndFewWarnings) {
  std::string inject;
  for (int i = 0; i < 20; ++i) inject += ";Inject=missed";
  Pipeline r("num-buffers=5 custom=FramePeriod=0" + inject);
  ASSERT_TRUE(r.play());
  r.stop();
  ASSERT_EQ(r.qosDropped.size(), 20u);
  EXPECT_EQ(r.qosDropped.back(), 20u);
  ASSERT_EQ(r.warnings.size(), 2u);
  EXPECT_TRUE(anyContains({r.warnings[0]}, "Acquisition failed (trigger 1): missed")) << r.warnings[0];
  EXPECT_TRUE(anyContains({r.warnings[1]}, "19 more frames lost or failed")) << r.warnings[1];
  const std::vector<Buf> got = r.buffers();
  ASSERT_EQ(got.size(), 5u);
  EXPECT_EQ(got[0].trigger, 21u);
}

// The caps' frame rate: the board's, or one downstream chose where the
// board can change it.
TEST(GstSrc, CapsCarryTheFrameRate) {
  const struct {
    const char* props;
    const char* filter;
    gint num, den;
  } cases[] = {
      {"", "", 30, 1},  // the simulated board's default period
      {"custom=FramePeriod=0.01", "", 100, 1},
      {"format=\"Northlake NL60 640x480\"", "video/x-raw,framerate=30000/1001 !", 30000, 1001},
      {"", "video/x-raw,framerate=50/1 !", 50, 1},
      {"custom=FramePeriod=0", "", 0, 1},
      {"trigger=auto hw-trigger=true custom=TriggerPeriod=0.01", "", 0, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.props) + " " + c.filter);
    Pipeline r(std::string("num-buffers=6 ") + c.props, c.filter);
    ASSERT_TRUE(r.play()) << (r.errors.empty() ? "no end" : r.errors[0]);
    GstElement* src = gst_bin_get_by_name(GST_BIN(r.pipeline()), "src");
    GstPad* pad = gst_element_get_static_pad(src, "src");
    GstCaps* caps = gst_pad_get_current_caps(pad);
    ASSERT_NE(caps, nullptr);
    gint num = -1, den = -1;
    EXPECT_TRUE(gst_structure_get_fraction(gst_caps_get_structure(caps, 0), "framerate", &num, &den));
    EXPECT_EQ(num, c.num);
    EXPECT_EQ(den, c.den);
    gst_caps_unref(caps);
    gst_object_unref(pad);
    gst_object_unref(src);
    // The board runs at that rate (its time stamps are the frames' slots).
    const std::vector<Buf> got = r.buffers();
    if (c.num > 0) {
      const double period = 1e9 * c.den / c.num;
      GstClockTime step = GST_CLOCK_TIME_NONE;
      for (std::size_t i = 1; i < got.size(); ++i) step = std::min(step, got[i].boardTime - got[i - 1].boardTime);
      EXPECT_NEAR(static_cast<double>(step), period, 1e-3 * period);
      EXPECT_NEAR(static_cast<double>(got[1].duration), period, 1e-4 * period);
    }
  }
}

// Settings the board changes or refuses are said.
TEST(GstSrc, SettingsTheBoardChangesAreSaid) {
  Pipeline clipped("num-buffers=1 roi=600,400,100,100");
  ASSERT_TRUE(clipped.play());
  EXPECT_TRUE(anyContains(clipped.warnings, "roi 600,400,100,100 does not fit the 640x480 frame")) << clipped.warnings.size();

  Pipeline pool("num-buffers=1 pool-size=1");
  EXPECT_FALSE(pool.play());
  ASSERT_FALSE(pool.errors.empty());
  EXPECT_TRUE(anyContains(pool.errors, "refused pool-size 1")) << pool.errors[0];
  EXPECT_TRUE(anyContains(pool.errors, "2 images or more")) << pool.errors[0];

  GstPlugin* plugin = gst_registry_find_plugin(gst_registry_get(), "qrnacq");
  ASSERT_NE(plugin, nullptr);
  EXPECT_STREQ(gst_plugin_get_license(plugin), "MIT/X11");
  EXPECT_STREQ(gst_plugin_get_origin(plugin), "https://example.org/qrnacq");
  gst_object_unref(plugin);
}

// The device monitor lists the simulated board with the caps of its
// default format, and makes its element.
TEST(GstSrc, DeviceMonitorListsTheBoards) {
  initGst();
  GstDeviceMonitor* monitor = gst_device_monitor_new();
  gst_device_monitor_add_filter(monitor, "Video/Source", nullptr);
  GList* devices = gst_device_monitor_get_devices(monitor);
  GstDevice* sim = nullptr;
  for (GList* l = devices; l; l = l->next) {
    gchar* name = gst_device_get_display_name(GST_DEVICE(l->data));
    if (g_str_has_prefix(name, "Quorin sim0: ")) sim = GST_DEVICE(gst_object_ref(l->data));
    g_free(name);
  }
  g_list_free_full(devices, gst_object_unref);
  gst_object_unref(monitor);
  ASSERT_NE(sim, nullptr);
  GstCaps* caps = gst_device_get_caps(sim);
  GstCaps* want = gst_caps_from_string("video/x-raw,format=GRAY8,width=640,height=480,framerate=30/1");
  EXPECT_TRUE(gst_caps_can_intersect(caps, want));
  gst_caps_unref(want);
  want = gst_caps_from_string("video/x-raw,format=BGRx,width=640,height=480");
  EXPECT_TRUE(gst_caps_can_intersect(caps, want));
  gst_caps_unref(want);
  gst_caps_unref(caps);
  GstElement* e = gst_device_create_element(sim, nullptr);
  ASSERT_NE(e, nullptr);
  gchar* board = nullptr;
  g_object_get(e, "board", &board, nullptr);
  EXPECT_STREQ(board, "sim0");
  g_free(board);
  gst_object_unref(e);
  gst_object_unref(sim);
}

}  // namespace
