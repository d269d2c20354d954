// Allocation units: a shared resource that one holder at a time may use.
//
// Drivers whose FIFOs share hardware (a camera port, a DMA engine, a
// digitizer) arbitrate it with a qc_AllocUnit.  A holder obtains the unit by
// a claim, which waits (with a deadline) until the unit is free, and keeps it
// as long as it keeps a Token; the last Token going releases the unit.
//
// Two kinds of claim:
//   claim()        waits until the unit is free and takes it.
//   queuedClaim()  waits in the queue of queued claimers.  Queued claimers
//                  always win over plain claimers: while one is queued, a
//                  free unit goes to a queued claimer only.  A queued claim
//                  may hand a "give-up" semaphore, which is posted when a
//                  queued claimer starts waiting for the unit this claimer
//                  holds, so that the owner learns it should let it go.
//
// Release: when a queued claimer is waiting, the release of the unit hands it
// over: the releasing thread blocks (without a time limit) until the queued
// claimer has taken the unit.  Such a claimer always takes it: a counted
// queued claimer tries to take a free unit before it gives up on its
// deadline or abort flag.
//
// Semaphores: each claimer passes its own semaphore (`mine`); the unit posts
// it to wake the claimer.  Posts can outlive a claim (a later wait on the
// same semaphore may return at once); claims loop and re-check, so that is
// harmless.  The semaphore must outlive the claim call.
//
// Abort flags: a claim reads its abort flag with an atomic load.  To abort a
// waiting claimer from another thread, store the flag with
// qf_setAbortFlag(flag, true) (an atomic store) and then post the claimer's
// semaphore so that it wakes before its deadline.
//
// Threads: every operation may be called from any thread.  A unit must
// outlive its tokens and every claim in progress.  Since a release may wait
// for a queued claimer, the thread releasing the unit must not be the one
// that has to make that queued claim progress.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <atomic>
#include <condition_variable>
#include <mutex>

#include <qrn/foundation/handle.h>
#include <qrn/foundation/thread.h>

// Atomic access to a driver's abort flag (declared volatile by the claim
// interface).
inline void qf_setAbortFlag(volatile bool& flag, bool value) {
  __atomic_store_n(&flag, value, __ATOMIC_RELEASE);
}
inline bool qf_readAbortFlag(const volatile bool& flag) { return __atomic_load_n(&flag, __ATOMIC_ACQUIRE); }

// A shared hardware resource (camera port, DMA engine, digitizer) that one holder at a time may claim.
class qc_AllocUnit {
public:
  // A holder's share of the unit.  Copying a token adds a share; destroying
  // or overwriting one removes it; the last share going releases the unit
  // (and, when a queued claimer waits, blocks until it took the unit over).
  class Token {
  public:
    // An empty token holds no share.  A copy adds a share of the same unit
    // (none when `o` is empty); a move takes `o`'s share and leaves `o` empty.
    // Destroying a token, or assigning over it, gives up its share first (so
    // it may block as reset() does); assigning a token to itself does nothing.
    Token() noexcept = default;
    Token(const Token& o) noexcept;
    Token(Token&& o) noexcept : unit_(o.unit_) { o.unit_ = nullptr; }
    ~Token() { reset(); }
    Token& operator=(const Token& o);
    Token& operator=(Token&& o) noexcept;

    // Gives up this share now (releases the unit when it was the last, and
    // then blocks until a waiting queued claimer took it over); the token is
    // empty afterwards.  Nothing happens for an empty token.
    void reset();

    // True when the token holds a share of a unit (the claim succeeded).
    explicit operator bool() const noexcept { return unit_ != nullptr; }
    // The unit the token holds a share of, or null for an empty token.
    qc_AllocUnit* unit() const noexcept { return unit_; }

  private:
    friend class qc_AllocUnit;
    // Adopts the share that a successful claim made (tokenCount 1).
    explicit Token(qc_AllocUnit* u) noexcept : unit_(u) {}
    qc_AllocUnit* unit_ = nullptr;
  };

  // A free unit with no claimers.  Not copyable.  The unit must outlive its
  // tokens and every claim in progress: destroying one that is held or waited
  // for is a caller error (a debug assertion).
  qc_AllocUnit();
  ~qc_AllocUnit();
  qc_AllocUnit(const qc_AllocUnit&) = delete;
  qc_AllocUnit& operator=(const qc_AllocUnit&) = delete;

  // Waits until the unit is free and no queued claimer waits, then takes it.
  // Gives up when `abort` is true or `deadline` has expired (an already
  // expired deadline or a set abort flag give an empty token at once).
  // Returns a token holding the unit, or an empty token.
  Token claim(qcSemaphore& mine, const qcDeadline& deadline, const volatile bool& abort);

  // Takes the unit directly when it is free and nobody is queued; otherwise
  // queues, asks the current owner to give the unit up (posts the give-up
  // semaphore that the owner passed with its own queued claim), and waits.
  // `giveUp` (may be null) becomes this claimer's give-up semaphore while it
  // owns the unit; it must stay valid until the unit is released.
  Token queuedClaim(qcSemaphore& mine, const qcDeadline& deadline, const volatile bool& abort,
                    qcSemaphore* giveUp);

  // True when some token holds the unit.
  bool allocated() const;
  // True when a claimer (queued or plain) waits for the unit.
  bool isContender() const;
  // True when the last successful claim was made by a thread other than the
  // one that released the unit last (the hardware state may be foreign).
  bool isPreOwned() const;
  // Diagnostics: the number of queued claimers waiting now.
  long queuedCount() const;

private:
  struct Node {
    Node* next = nullptr;
    Node* prev = nullptr;
    qcSemaphore* sem = nullptr;
    bool queued = false;
  };

  bool allocate_();
  void release_();
  void append_(Node& n);
  void unlink_(Node& n);
  void setPreOwned_();
  void dropToken_();
  void takeOver_();

  mutable qcMutex lock_;
  Node waiters_;  // sentinel of the circular list
  // Handover: each release that is owed a take-over gets a ticket (under
  // lock_); each take-over completes the oldest ticket.  Take-overs happen in
  // the order of the releases that owe them, so a release waits until the
  // completed count reaches its ticket.  The count and its condition have
  // their own small lock so that the waiting release holds no lock_.
  unsigned long handoverIssued_ = 0;
  unsigned long handoverDone_ = 0;  // guarded by handoverMutex_
  std::mutex handoverMutex_;
  std::condition_variable handoverDoneCv_;
  long queuedCount_ = 0;
  qcSemaphore* ownerQueueSemaphore_ = nullptr;
  qcThreadID lastReleaser_;
  bool preOwned_ = false;
  std::atomic<long> tokenCount_{0};
};

QRN_API_END
