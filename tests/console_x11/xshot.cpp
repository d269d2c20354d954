// xshot WINDOW-ID OUT.png: writes what an X window shows (XGetImage) as an
// RGB PNG.  Used by scripts/console-screenshot.sh for the README's picture.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <png.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: xshot WINDOW-ID OUT.png\n");
    return 2;
  }
  Display* dpy = XOpenDisplay(nullptr);
  if (!dpy) {
    std::fprintf(stderr, "xshot: cannot open the display\n");
    return 1;
  }
  const Window win = std::strtoul(argv[1], nullptr, 0);
  XWindowAttributes a;
  if (!XGetWindowAttributes(dpy, win, &a)) {
    std::fprintf(stderr, "xshot: no window %s\n", argv[1]);
    return 1;
  }
  XImage* img = XGetImage(dpy, win, 0, 0, static_cast<unsigned>(a.width), static_cast<unsigned>(a.height), AllPlanes,
                          ZPixmap);
  if (!img) {
    std::fprintf(stderr, "xshot: XGetImage failed\n");
    return 1;
  }
  std::vector<unsigned char> rgb(static_cast<std::size_t>(a.width) * a.height * 3);
  for (int y = 0; y < a.height; ++y)
    for (int x = 0; x < a.width; ++x) {
      const unsigned long p = XGetPixel(img, x, y);
      unsigned char* d = &rgb[(static_cast<std::size_t>(y) * a.width + x) * 3];
      d[0] = static_cast<unsigned char>(p >> 16);
      d[1] = static_cast<unsigned char>(p >> 8);
      d[2] = static_cast<unsigned char>(p);
    }
  XDestroyImage(img);
  XCloseDisplay(dpy);
  png_image out{};
  out.version = PNG_IMAGE_VERSION;
  out.width = static_cast<png_uint_32>(a.width);
  out.height = static_cast<png_uint_32>(a.height);
  out.format = PNG_FORMAT_RGB;
  if (!png_image_write_to_file(&out, argv[2], 0, rgb.data(), 0, nullptr)) {
    std::fprintf(stderr, "xshot: cannot write %s: %s\n", argv[2], out.message);
    return 1;
  }
  return 0;
}
