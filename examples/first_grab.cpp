// First grab to PNG: the first frame grabber, one 8-bit grey image of a
// standard format, written to a PNG file with libpng.
//
//   first_grab [out.png]        (default first_grab.png)
#include <cstdio>
#include <iostream>
#include <string>

#include <png.h>

#include <qrn/acq/format/vidfmt.h>
#include <qrn/acq/hyper/framegrabber.h>
#include <qrn/acq/hyper/prop/acqprops.h>
#include <qrn/acq/hyper/typedfifo.h>

// Writes an 8-bit grey image as PNG, row by row (rows of a pixel buffer may
// be padded, so each is passed on its own).
static bool writePng(const std::string& path, const qcPelBuffer<unsigned char>& image) {
  FILE* out = std::fopen(path.c_str(), "wb");
  if (!out) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  bool ok = png && info && !setjmp(png_jmpbuf(png));
  if (ok) {
    png_init_io(png, out);
    png_set_IHDR(png, info, image.width(), image.height(), 8, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (long y = 0; y < image.height(); ++y) png_write_row(png, image.rowPointer(y));
    png_write_end(png, nullptr);
  }
  png_destroy_write_struct(&png, &info);
  return std::fclose(out) == 0 && ok;
}

int main(int argc, char** argv) try {
  const std::string path = argc > 1 ? argv[1] : "first_grab.png";
  // Driver plugins load at the first use of the board list.
  if (qcFrameGrabber::count() == 0) {
    std::cerr << "no frame grabber found\n";
    return 1;
  }
  qcFrameGrabber& fg = qcFrameGrabber::get(0);
  const qcStdVideoFormat& fmt = qcStdVideoFormat::getFormat("Sony XC75 640x480");
  qcPtrHandle<qcStdGreyAcqFifo> fifo(fmt.newAcqFifo(fg));

  // One acquisition, started by the software; wait at most 5 s for it.
  fifo->triggerModel(qfManualTrigger());
  fifo->start(1);
  qcAcquireInfo info;
  const qcPelBuffer<unsigned char> image = fifo->complete(qcAcqFifo::CompleteArgs().maxWait(5.0).acquireInfo(&info));
  if (!image.isBound() || info.failure()) {
    std::cerr << "the acquisition failed (flags 0x" << std::hex << info.failure().rawFlags() << ")\n";
    return 1;
  }
  if (!writePng(path, image)) {
    std::cerr << "cannot write " << path << "\n";
    return 1;
  }
  std::cout << "wrote " << path << ": " << image.width() << "x" << image.height() << "\n";
  return 0;
} catch (const qcException& e) {
  std::cerr << "error: " << e.messageString() << "\n";
  return 1;
}
