// Plain Aravis, the way an application uses it on its own: the stream's
// thread fills buffers and the application's thread pops each one
// (arv_stream_timeout_pop_buffer), looks at it and pushes it back.  The
// camera driver's peer in bench/gige_vs_arv.sh: the same camera set-up as
// `qacq grab --trigger freerun --save none` (640x480 Mono8, packet size
// negotiated, 16 buffers) and the same line per frame, so that the two differ
// only by what the library adds on the way to the application.
//
//   bench_gige_arv_pop ADDRESS FRAMES [RATE]
#include <arv.h>

#include <cstdio>
#include <cstdlib>

namespace {

void check(GError* e, const char* what) {
  if (!e) return;
  std::fprintf(stderr, "%s: %s\n", what, e->message);
  std::exit(1);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s ADDRESS FRAMES [RATE]\n", argv[0]);
    return 2;
  }
  const long frames = std::atol(argv[2]);
  const double rate = argc > 3 ? std::atof(argv[3]) : 1000.0;
  GError* e = nullptr;
  ArvCamera* cam = arv_camera_new(argv[1], &e);
  check(e, "open");
  arv_camera_set_region(cam, 0, 0, 640, 480, &e);
  check(e, "region");
  arv_camera_set_pixel_format_from_string(cam, "Mono8", &e);
  check(e, "pixel format");
  arv_camera_set_acquisition_mode(cam, ARV_ACQUISITION_MODE_CONTINUOUS, &e);
  check(e, "acquisition mode");
  arv_camera_set_frame_rate(cam, rate, &e);
  check(e, "frame rate");
  if (arv_camera_is_gv_device(cam)) {
    arv_camera_gv_auto_packet_size(cam, &e);
    check(e, "packet size");
  }
  ArvStream* stream = arv_camera_create_stream(cam, nullptr, nullptr, &e);
  check(e, "stream");
  const gint payload = static_cast<gint>(arv_camera_get_payload(cam, &e));
  check(e, "payload");
  for (int i = 0; i < 16; ++i) arv_stream_push_buffer(stream, arv_buffer_new(static_cast<size_t>(payload), nullptr));
  arv_camera_start_acquisition(cam, &e);
  check(e, "start");
  long failed = 0;
  for (long n = 1; n <= frames; ++n) {
    ArvBuffer* b = arv_stream_timeout_pop_buffer(stream, 2000000);
    if (!b) {
      std::printf("frame %ld: no buffer within 2 s\n", n);
      ++failed;
      break;
    }
    const bool ok = arv_buffer_get_status(b) == ARV_BUFFER_STATUS_SUCCESS;
    failed += !ok;
    std::printf("frame %ld: trigger %llu, time stamp %llu, %s\n", n,
                static_cast<unsigned long long>(arv_buffer_get_frame_id(b)),
                static_cast<unsigned long long>(arv_buffer_get_timestamp(b) / 1000), ok ? "ok" : "failed");
    arv_stream_push_buffer(stream, b);
  }
  arv_camera_stop_acquisition(cam, nullptr);
  std::printf("%ld frames, %ld failed\n", frames, failed);
  g_object_unref(stream);
  g_object_unref(cam);
  return failed ? 1 : 0;
}
