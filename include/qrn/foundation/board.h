// Boards: the acquisition hardware of the process.
//
// The board list is filled by board drivers (and by tests): a driver creates
// its board objects and adds them with qcBoard::add(); boards stay until
// removed.  qcBoard::count() and get() see every board of every driver.
// Before the first count()/get(), the list runs its load hook once (the
// acquisition module installs one that loads the installed driver plugins).
// The list is guarded by its own mutex; a board object itself is not.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <functional>
#include <memory>
#include <string>

#include <qrn/foundation/exception.h>

// A board of the process (frame grabbers and others), from the board list.
class qcBoard {
public:
  // A board index out of range (get()) or a null board (add()).
  QC_EXCEPTION(BadParams, qcException, 0x10000110);

  // Boards are deleted by the list (remove(), clear_()), not by drivers.
  virtual ~qcBoard();

  // The number of boards in the process, and the i-th (0-based).  get()
  // throws qcBoard::BadParams for an index out of range.
  static long count();
  static qcBoard& get(long index);

  // Adds a board at the end of the list; the list owns it.  Returns the board.
  // Throws qcBoard::BadParams for a null board.
  static qcBoard& add(std::unique_ptr<qcBoard> board);
  // Removes (and deletes) a board; returns false when it is not in the list.
  static bool remove(const qcBoard& board);
  // Removes every board (tests).
  static void clear_();

  // The hook run once before the first count()/get()/add() (driver loading).
  // A hook set after that point never runs.  What the hook throws reaches the
  // caller that ran it, and the hook counts as run.
  static void setLoadHook(std::function<void()> hook);
  // Runs the hook now if it has not run yet.
  static void runLoadHook();

  // The board's name ("sim0") and the index used in its registry keys.
  virtual std::string name() const = 0;
  virtual long bdIdx() const = 0;

protected:
  // For the drivers' board classes; a board is not copied.
  qcBoard() = default;
  qcBoard(const qcBoard&) = delete;
  qcBoard& operator=(const qcBoard&) = delete;
};

QRN_API_END
