// Aravis's in-process fake camera drawing a known Bayer mosaic, and what the
// converter makes of it: colour FIFOs are checked against converting the
// camera's raw frame.
#pragma once

#include <arv.h>

#include <cstdlib>

#include <qrn/acq/convert/bayer.h>
#include <qrn/drivers/gige.h>
#include <qrn/foundation/pelbuffer.h>

// Makes the process's one camera ("fake", board gige0) Aravis's fake camera
// described by the GenICam file `genicam`.  Call it before the board list is
// first used (the camera list is read once per process); returns true.
inline bool qfGigeFakeCameraFrom(const char* genicam) {
  arv_set_fake_camera_genicam_filename(genicam);
  ::setenv("QUORIN_GIGE_CAMERAS", "fake", 1);
  return true;
}

// The mosaic by sensor position.
inline unsigned char qfGigeMosaicAt(long x, long y) { return static_cast<unsigned char>(x * 37 + y * 91 + x * y * 5); }
// Component c (red, green, blue) of an RGB8 frame by sensor position.
inline unsigned char qfGigeColourAt(long x, long y, int c) {
  return static_cast<unsigned char>(qfGigeMosaicAt(x, y) + 85 * c);
}

// Sets fake camera `to` up as `from` for its frames: size, region, binning
// and pixel format.
inline void qfGigeCopyFrameSetUp(ArvFakeCamera* from, ArvFakeCamera* to) {
  for (guint32 reg : {ARV_FAKE_CAMERA_REGISTER_WIDTH, ARV_FAKE_CAMERA_REGISTER_HEIGHT, ARV_FAKE_CAMERA_REGISTER_X_OFFSET,
                      ARV_FAKE_CAMERA_REGISTER_Y_OFFSET, ARV_FAKE_CAMERA_REGISTER_BINNING_HORIZONTAL,
                      ARV_FAKE_CAMERA_REGISTER_BINNING_VERTICAL, ARV_FAKE_CAMERA_REGISTER_PIXEL_FORMAT}) {
    guint32 v = 0;
    arv_fake_camera_read_register(from, reg, &v);
    arv_fake_camera_write_register(to, reg, v);
  }
}

// Makes the board's fake camera draw qfGigeMosaicAt (RGB8: qfGigeColourAt)
// in place of its moving pattern.  A fill pattern of our own cannot tell the buffer how much it
// received, so a second fake camera, set up like the board's, fills each
// buffer first (sizes, region) and the mosaic then replaces its pels; the
// frame id and time stamp stay the board camera's.
inline void qfGigeDrawMosaic(qc_GigeGrabber& g) {
  struct Cameras {
    ArvFakeCamera* board;
    ArvFakeCamera* sizer;
  };
  static Cameras cams{nullptr, arv_fake_camera_new("QRN-SIZER")};
  cams.board = arv_fake_device_get_fake_camera(ARV_FAKE_DEVICE(arv_camera_get_device(g.aravisCamera())));
  auto fill = [](ArvBuffer* b, void* data, guint32, guint32, ArvPixelFormat) {
    auto* c = static_cast<Cameras*>(data);
    qfGigeCopyFrameSetUp(c->board, c->sizer);
    const guint64 id = arv_buffer_get_frame_id(b), ts = arv_buffer_get_timestamp(b);
    arv_fake_camera_fill_buffer(c->sizer, b, nullptr);
    arv_buffer_set_frame_id(b, id);
    arv_buffer_set_timestamp(b, ts);
    gint x0 = 0, y0 = 0, w = 0, h = 0;
    arv_buffer_get_image_region(b, &x0, &y0, &w, &h);
    auto* d = static_cast<unsigned char*>(const_cast<void*>(arv_buffer_get_data(b, nullptr)));
    const bool rgb = arv_buffer_get_image_pixel_format(b) == ARV_PIXEL_FORMAT_RGB_8_PACKED;
    for (gint y = 0; y < h; ++y)
      for (gint x = 0; x < w; ++x) {
        if (!rgb) {
          *d++ = qfGigeMosaicAt(x0 + x, y0 + y);
          continue;
        }
        for (int c = 0; c < 3; ++c) *d++ = qfGigeColourAt(x0 + x, y0 + y, c);
      }
  };
  arv_fake_camera_set_fill_pattern(cams.board, fill, &cams);
}

// The converter on the mosaic of `roi`, for a camera whose pattern at (0, 0)
// is RGGB (BayerRG8).  Worked out by hand: an odd column starts on G R, an
// odd row on G B, both odd on B G.
inline qcBayerImageConverter qfGigeExpectedConversion(const qcPelRect& roi) {
  qcPelBuffer<unsigned char> raw(roi.width(), roi.height());
  for (long y = 0; y < roi.height(); ++y)
    for (long x = 0; x < roi.width(); ++x) raw.set(x, y, qfGigeMosaicAt(roi.x() + x, roi.y() + y));
  raw.offset(qcPair<long>(roi.x(), roi.y()));
  qcBayerImageConverter conv(raw);
  using C = qcBayerImageConverter;
  static const C::BayerType byParity[2][2] = {{C::RGGB, C::GRBG}, {C::GBRG, C::BGGR}};
  conv.bayerType(byParity[roi.y() & 1][roi.x() & 1]);
  return conv;
}
