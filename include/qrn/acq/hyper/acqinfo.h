// The record of one completed acquisition: the application's tag, the
// trigger number, the failure and the time stamp (in the driver's clock).
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <cstdint>

#include <qrn/acq/hyper/failure.h>

// The record of one acquisition: application tag, trigger number, failure and time stamp.
class qcAcquireInfo {
public:
  // An empty record: tag and trigger number 0, no failure, time stamp 0.
  qcAcquireInfo() = default;
  // A record with these values (drivers make them as acquisitions complete).
  qcAcquireInfo(unsigned long appTag, unsigned long triggerNum, const qcAcqFailure& failure, std::uint64_t timeStamp)
      : appTag_(appTag), triggerNum_(triggerNum), failure_(failure), timeStamp_(timeStamp) {}

  // The application's tag of the acquisition: a number the application gave
  // the driver for the acquisitions it starts (the simulated board and the
  // camera driver take it from the custom item "AppTag"); 0 by default.
  unsigned long appTag() const { return appTag_; }
  void appTag(unsigned long v) { appTag_ = v; }
  // The trigger that made the acquisition, as the driver counts triggers
  // (the simulated board: 1, 2, ... per FIFO, a slave taking its master's;
  // the camera driver: the frame id).  Gaps mean lost triggers.
  unsigned long triggerNum() const { return triggerNum_; }
  void triggerNum(unsigned long v) { triggerNum_ = v; }
  // How the acquisition failed (false when it did not); returned by value.
  qcAcqFailure failure() const { return failure_; }
  void failure(const qcAcqFailure& f) { failure_ = f; }
  // When the acquisition was taken, in the driver's clock (the simulated board
  // and the camera driver: microseconds); only differences between stamps of
  // one board mean anything.
  std::uint64_t timeStamp() const { return timeStamp_; }
  void timeStamp(std::uint64_t v) { timeStamp_ = v; }

  // Archive: version byte 0, appTag and triggerNum as unsigned longs, the
  // failure (with its own version byte), then the time stamp as two unsigned
  // longs, the low 32 bits first.
  friend qcArchive& operator||(qcArchive& ar, qcAcquireInfo& info);

private:
  unsigned long appTag_ = 0;
  unsigned long triggerNum_ = 0;
  qcAcqFailure failure_;
  std::uint64_t timeStamp_ = 0;
};
// Archives the record (the friend above, declared here so that it is exported).
qcArchive& operator||(qcArchive& ar, qcAcquireInfo& info);

QRN_API_END
