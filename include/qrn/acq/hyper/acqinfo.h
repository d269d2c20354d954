// The record of one completed acquisition: the application's tag, the
// trigger number, the failure and the time stamp (in the driver's clock).
#pragma once

#include <cstdint>

#include <qrn/acq/hyper/failure.h>

// The record of one acquisition: application tag, trigger number, failure and time stamp.
class qcAcquireInfo {
public:
  qcAcquireInfo() = default;
  qcAcquireInfo(unsigned long appTag, unsigned long triggerNum, const qcAcqFailure& failure, std::uint64_t timeStamp)
      : appTag_(appTag), triggerNum_(triggerNum), failure_(failure), timeStamp_(timeStamp) {}

  unsigned long appTag() const { return appTag_; }
  void appTag(unsigned long v) { appTag_ = v; }
  unsigned long triggerNum() const { return triggerNum_; }
  void triggerNum(unsigned long v) { triggerNum_ = v; }
  qcAcqFailure failure() const { return failure_; }
  void failure(const qcAcqFailure& f) { failure_ = f; }
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
