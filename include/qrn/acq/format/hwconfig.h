// The hardware configuration of one frame-grabber board.
//
// A board's configuration lives in the registry store (qrn/acq/registry/) under
//   HKEY_LOCAL_MACHINE\SOFTWARE\Quorin\ORB\utconfig\board_<name>_<bdIdx>
// with these values:
//   "limitFmt"        dword   nonzero: the board offers only the listed formats
//   "excludeFmt"      dword   nonzero: the board offers all but the listed formats
//   "format0".."format99"  string  the list; it ends at the first missing entry
//   "CLSimulator"     dword   nonzero: the board is a Camera Link simulator
//   "autoCLSimulator" dword   nonzero: automatic simulator use is enabled
// When both "limitFmt" and "excludeFmt" are set, "limitFmt" governs.
//
// Nothing is cached: every call reads or writes the store.  Reads that fail
// (no file, no key, no value, a value of another type, a malformed file) give
// the default (false, or an empty name); nothing throws.  The setters return
// whether the write succeeded (callers may ignore it).  The object holds no
// lock and may be used from any thread; it does not own the board.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <string>

class qcBoard;

// The hardware configuration of one frame-grabber board, kept in the registry store.
class qcHWConfig {
public:
  // The list holds at most this many entries ("format0" to "format99").
  static constexpr long maxListEntries = 100;

  // A null board is a programming error (qstd_assert); such a configuration
  // reads as empty and refuses every write.
  explicit qcHWConfig(qcBoard* board);

  // The board given at construction (not owned; null when none), and the
  // board's registry index, read then (-1 without a board).
  qcBoard* board() const { return board_; }
  long bdIdx() const { return bdIdx_; }
  // The key path below HKEY_LOCAL_MACHINE ("SOFTWARE\\Quorin\\ORB\\utconfig\\board_sim_0").
  const std::string& keyPath() const { return key_; }

  // The four switches above ("limitFmt", "excludeFmt", "CLSimulator",
  // "autoCLSimulator").  A getter reads its value: true when it is a nonzero
  // dword, false otherwise or when it cannot be read.  A setter writes the
  // dword 1 or 0 and returns whether the write succeeded.
  bool limitFmt() const;
  bool limitFmt(bool on);
  bool excludeFmt() const;
  bool excludeFmt(bool on);
  bool isCLSimulator() const;
  bool isCLSimulator(bool on);
  bool enableAutoCLSimulator() const;
  bool enableAutoCLSimulator(bool on);

  // The list entry `index` (0..99) into `name`; empty when it does not exist.
  // An index outside 0..99 asserts and gives an empty name.
  void getFmt(long index, std::string& name) const;
  // Writes `name` as list entry `index` (0..99), replacing what was there.
  // An index outside 0..99 asserts and writes nothing (false).
  bool addFmtToList(long index, const std::string& name);

  // Whether `name` is one of the list entries (exact comparison), reading
  // entries from 0 up to the first missing one (or one that is not a string).
  bool isFmtInList(const std::string& name) const;
  // Whether the board may offer the format of this name: true when neither
  // switch is set; otherwise with "limitFmt" set exactly the listed names,
  // with only "excludeFmt" set exactly the names not listed.
  bool isFmtSupported(const std::string& name) const;

private:
  bool getFlag_(const char* valueName) const;
  bool setFlag_(const char* valueName, bool on);

  qcBoard* board_;
  long bdIdx_;
  std::string key_;  // empty without a board
};

QRN_API_END
