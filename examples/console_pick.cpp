// Picking a point and an area in the image console: a grabbed image in a
// window; the user clicks a point (Enter accepts), then drags an area (Enter
// accepts); Escape or closing the window cancels.  Needs a display (X11).
#include <iostream>

#include <qrn/acq/console/imgconsole.h>
#include <qrn/acq/format/vidfmt.h>
#include <qrn/acq/hyper/framegrabber.h>
#include <qrn/acq/hyper/prop/acqprops.h>
#include <qrn/acq/hyper/typedfifo.h>

int main() try {
  if (qcFrameGrabber::count() == 0) {
    std::cerr << "no frame grabber found\n";
    return 1;
  }
  qcFrameGrabber& fg = qcFrameGrabber::get(0);
  const qcStdVideoFormat& fmt = qcStdVideoFormat::getFormat("Sony XC75 640x480");
  qcPtrHandle<qcStdGreyAcqFifo> fifo(fmt.newAcqFifo(fg));
  fifo->triggerModel(qfManualTrigger());
  fifo->start(1);
  qcAcquireInfo info;
  const qcPelBuffer<unsigned char> image = fifo->complete(qcAcqFifo::CompleteArgs().maxWait(5.0).acquireInfo(&info));
  if (!image.isBound() || info.failure()) {
    std::cerr << "the acquisition failed\n";
    return 1;
  }

  // A window whose client area is 640x480 at the top left of the screen,
  // showing the image at zoom 1 (the window is drawn from this thread only).
  const qcPelRect outer = qcImageConsole::adjustWindowRect(qcPelRect(0, 0, 640, 480), 0);
  qcImageConsole console("qrnacq console example", 0, 0, static_cast<int>(outer.width()),
                         static_cast<int>(outer.height()));
  console.showImage(image, {320, 240}, 1.0);

  // Coordinates are the image's: pel (i, j) covers [i, i + 1) x [j, j + 1).
  const qcPair<double> p = console.selectPoint("click a point, then Enter");
  const int grey = image.get(static_cast<long>(p.x), static_cast<long>(p.y));
  std::cout << "point (" << p.x << ", " << p.y << "), grey " << grey << "\n";
  console.drawCross(p.x, p.y, 5, 5, qcPen::sRed);  // a mark in the overlay

  const qcPelRect area = console.selectArea("drag an area, then Enter");
  std::cout << "area " << area.width() << "x" << area.height() << " at (" << area.x() << ", " << area.y() << ")\n";
  return 0;
} catch (const qcImageConsole::UserCancelled&) {
  std::cerr << "cancelled\n";
  return 1;
} catch (const qcException& e) {
  std::cerr << "error: " << e.messageString() << "\n";
  return 1;
}
