// Recording to and replaying from a camera database file: each acquired
// image goes into a record with a comment and two application tags; the
// file is read back later, record by record (each record's CRC is checked).
//
//   cdb_record [file]      (default images.cdb)
#include <iostream>
#include <string>

#include <qrn/acq/cdb/cdb.h>
#include <qrn/acq/format/vidfmt.h>
#include <qrn/acq/hyper/framegrabber.h>
#include <qrn/acq/hyper/prop/acqprops.h>
#include <qrn/acq/hyper/typedfifo.h>

int main(int argc, char** argv) try {
  const std::string path = argc > 1 ? argv[1] : "images.cdb";
  if (qcFrameGrabber::count() == 0) {
    std::cerr << "no frame grabber found\n";
    return 1;
  }
  qcFrameGrabber& fg = qcFrameGrabber::get(0);
  const qcStdVideoFormat& fmt = qcStdVideoFormat::getFormat("Sony XC75 640x480");
  qcPtrHandle<qcStdGreyAcqFifo> fifo(fmt.newAcqFifo(fg));
  fifo->triggerModel(qfManualTrigger());

  // Record: open modes are bits, 1 read, 2 append, 16 start a new file.
  {
    qcCDBFile file(path, 1 | 2 | 16);
    fifo->start(3);
    for (int i = 0; i < 3; ++i) {
      qcAcquireInfo info;
      const qcPelBuffer<unsigned char> image = fifo->complete(qcAcqFifo::CompleteArgs().maxWait(5.0).acquireInfo(&info));
      if (!image.isBound() || info.failure()) continue;  // a failed frame is not recorded
      qcCDBRecord rec;
      rec.image(image);  // copied into the record
      rec.comment("trigger " + std::to_string(info.triggerNum()));
      file.appendRecord(rec);  // appends never rewrite earlier records
    }
  }  // closed here

  // Replay: read every record in order.
  qcCDBFile file(path);
  const long n = file.numRecords();
  long replayed = 0;
  for (long i = 0; i < n; ++i) {
    file.goToRecord(i, 0);  // origin 0: from the first record
    qcCDBRecord rec;
    file.loadRecord(rec);
    const qcPelBuffer_const<unsigned char> image = rec.image();
    std::cout << "record " << i << " (" << rec.comment() << "): " << image.width() << "x" << image.height() << "\n";
    ++replayed;
  }
  std::cout << "replayed " << replayed << " records from " << path << "\n";
  return replayed == 3 ? 0 : 1;
} catch (const qcException& e) {
  std::cerr << "error: " << e.messageString() << "\n";
  return 1;
}
