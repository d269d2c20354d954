// One camera reached through Aravis: opening by id, feature access under one
// lock, and the control-lost flag.
#pragma once

#include <arv.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <cstdint>
#include <string>
#include <vector>

#include <qrn/drivers/gige.h>

#include "gigeconvert.h"
#include "gigeerror.h"

namespace qrn_gige {

class Session {
public:
  // Opens the camera of `id` (see gige.h); throws CouldNotCreate.
  explicit Session(const std::string& id);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  ArvCamera* camera() const { return cam_; }
  std::mutex& mutex() { return m_; }
  bool lost() const { return lost_.load(); }
  // Gives up the control channel of a GigE Vision camera (another program
  // may then take it); later feature writes fail.  Safe from any thread.
  void leaveControl();
  // Gives up the control channel of every open GigE Vision camera: at exit,
  // and on SIGINT, SIGTERM and SIGHUP when the application left their
  // default action (the signal then takes its course).
  static void leaveAllControl();
  // A control command went unanswered through all of Aravis's retries (a
  // GigE Vision timeout): the camera is taken as lost, as when its heartbeat
  // fails, without waiting for the heartbeat (which the command held up).
  void controlTimedOut();

  // Called (on Aravis's heartbeat thread) when the camera is lost; an empty
  // function stops the calls, which are over when this returns.
  void onLost(std::function<void()> f);
  bool isGv() const { return gv_; }
  // One FIFO at a time: claimFifo() is false while one holds the camera;
  // the FIFO gives it back with releaseFifo().
  bool claimFifo() { return !fifo_.exchange(true); }
  void releaseFifo() { fifo_ = false; }
  bool hasFifo() const { return fifo_.load(); }
  // Features a FIFO sets itself (the frame, its pels, the trigger): nothing
  // else may change them while it lives.
  static bool fifoOwns(const std::string& name);

  // Facts read when the camera was opened.
  std::string vendor, model;
  long sensorWidth = 0, sensorHeight = 0;
  std::vector<std::string> pixelFormats;
  std::vector<std::int64_t> pixelFormatCodes;  // their numeric values, same order (empty when unread)
  // The numeric value of an offered format, 0 when unknown.
  std::int64_t pixelFormatCode(const std::string& pf) const;
  std::string strobeLine;  // a line offering ExposureActive, "" when none

  bool offers(const std::string& pf) const;
  // The pixel format that delivers `k`, "" when none.
  std::string pixelFormatFor(Kind k) const;

  // ---- feature access (takes the lock) ----------------------------------------
  bool has(const char* feature);
  bool hasEntry(const char* feature, const std::string& entry);
  std::string get(const std::string& name);
  void set(const std::string& name, const std::string& value);
  std::vector<qsGigeFeature> list();

private:
  static void onControlLost_(ArvDevice*, gpointer self);

  std::mutex m_;
  ArvCamera* cam_ = nullptr;
  bool gv_ = false;
  std::atomic<bool> lost_{false};
  std::atomic<bool> fifo_{false};
  std::atomic<bool> left_{false};
  std::mutex lostMx_;  // guards onLost_
  std::function<void()> onLost_;
};

// Throws CouldNotCreate with Aravis's message when `e` is set (and frees it).
void check(GError* e, const std::string& what);

}  // namespace qrn_gige
