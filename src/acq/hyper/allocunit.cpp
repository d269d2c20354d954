// Allocation units: claims, queued claims, tokens and the handover.
#include <qrn/acq/hyper/allocunit.h>

#include <cmath>

#include <qrn/foundation/misc.h>

// ---- Token --------------------------------------------------------------------

qc_AllocUnit::Token::Token(const Token& o) noexcept : unit_(o.unit_) {
  if (unit_) qfInterlockedIncrement(&unit_->tokenCount_);
}

qc_AllocUnit::Token& qc_AllocUnit::Token::operator=(const Token& o) {
  if (this != &o) {
    Token copy(o);
    reset();
    unit_ = copy.unit_;
    copy.unit_ = nullptr;
  }
  return *this;
}

qc_AllocUnit::Token& qc_AllocUnit::Token::operator=(Token&& o) noexcept {
  if (this != &o) {
    reset();
    unit_ = o.unit_;
    o.unit_ = nullptr;
  }
  return *this;
}

void qc_AllocUnit::Token::reset() {
  if (qc_AllocUnit* u = unit_) {
    unit_ = nullptr;
    u->dropToken_();
  }
}

// ---- unit ---------------------------------------------------------------------

qc_AllocUnit::qc_AllocUnit() { waiters_.next = waiters_.prev = &waiters_; }

qc_AllocUnit::~qc_AllocUnit() {
  // Destroying a unit that is held or waited for is a caller error.
  qstd_assert(tokenCount_.load() == 0);
  qstd_assert(waiters_.next == &waiters_);
}

bool qc_AllocUnit::allocate_() {
  if (tokenCount_.load(std::memory_order_acquire) != 0) return false;
  tokenCount_.store(1, std::memory_order_release);
  return true;
}

void qc_AllocUnit::release_() { tokenCount_.store(0, std::memory_order_release); }

void qc_AllocUnit::append_(Node& n) {
  n.prev = waiters_.prev;
  n.next = &waiters_;
  waiters_.prev->next = &n;
  waiters_.prev = &n;
}

void qc_AllocUnit::unlink_(Node& n) {
  n.prev->next = n.next;
  n.next->prev = n.prev;
  n.next = n.prev = nullptr;
}

void qc_AllocUnit::setPreOwned_() { preOwned_ = (qfGetCurrentThreadID() != lastReleaser_); }

// Completes the oldest handover that a release is waiting for (under lock_).
void qc_AllocUnit::takeOver_() {
  if (handoverDone_ == handoverIssued_) return;
  {
    std::lock_guard<std::mutex> g(handoverMutex_);
    ++handoverDone_;
  }
  handoverDoneCv_.notify_all();
}

qc_AllocUnit::Token qc_AllocUnit::claim(qcSemaphore& mine, const qcDeadline& deadline, const volatile bool& abort) {
  Node node;
  node.sem = &mine;
  bool appended = false;
  bool ok = false;
  while (!qf_readAbortFlag(abort) && !deadline.expired()) {
    qcLock l(lock_);
    // Queued claimers win: a free unit is left to them while any waits.
    if (queuedCount_ == 0 && allocate_()) {
      ok = true;
      setPreOwned_();
      takeOver_();
      break;
    }
    if (!appended) {
      append_(node);
      appended = true;
    }
    l.release();
    mine.wait(deadline.until());
  }
  if (appended) {
    qcLock l(lock_);
    unlink_(node);
  }
  if (!ok) return Token();
  qstd_assert(tokenCount_.load() == 1);
  return Token(this);
}

qc_AllocUnit::Token qc_AllocUnit::queuedClaim(qcSemaphore& mine, const qcDeadline& deadline,
                                              const volatile bool& abort, qcSemaphore* giveUp) {
  if (qf_readAbortFlag(abort) || deadline.expired()) return Token();

  qcLock l(lock_);
  if (queuedCount_ == 0 && allocate_()) {
    ownerQueueSemaphore_ = giveUp;
    setPreOwned_();
    takeOver_();
    qstd_assert(tokenCount_.load() == 1);
    return Token(this);
  }

  Node node;
  node.sem = &mine;
  node.queued = true;
  ++queuedCount_;
  append_(node);
  if (queuedCount_ == 1 && ownerQueueSemaphore_) ownerQueueSemaphore_->post();
  l.release();

  bool ok = false;
  for (;;) {
    mine.wait(deadline.until());
    lock_.lock();
    if (allocate_()) {
      ok = true;
      ownerQueueSemaphore_ = giveUp;
      takeOver_();
      // The new owner learns at once that other queued claimers wait.
      if (queuedCount_ > 1 && ownerQueueSemaphore_) ownerQueueSemaphore_->post();
      setPreOwned_();
      break;
    }
    if (qf_readAbortFlag(abort) || deadline.expired()) break;
    lock_.unlock();
  }
  unlink_(node);
  --queuedCount_;
  lock_.unlock();
  if (!ok) return Token();
  qstd_assert(tokenCount_.load() == 1);
  return Token(this);
}

void qc_AllocUnit::dropToken_() {
  unsigned long ticket = 0;
  {
    qcLock l(lock_);
    long n = qfInterlockedDecrement(&tokenCount_);
    if (n > 0) return;
    qstd_assert(n == 0);
    release_();
    ownerQueueSemaphore_ = nullptr;
    preOwned_ = false;
    lastReleaser_ = qfGetCurrentThreadID();
    if (queuedCount_ != 0) {
      // Wake the first queued claimer only; it takes the unit over.
      for (Node* p = waiters_.next; p != &waiters_; p = p->next) {
        if (p->queued) {
          p->sem->post();
          break;
        }
      }
      ticket = ++handoverIssued_;
    } else {
      for (Node* p = waiters_.next; p != &waiters_; p = p->next) p->sem->post();
    }
  }
  if (ticket != 0) {
    // The handover: without a time limit, until the queued claimer has the
    // unit (a counted queued claimer always takes a free unit before it
    // gives up, and nobody else may take it meanwhile).
    std::unique_lock<std::mutex> g(handoverMutex_);
    handoverDoneCv_.wait(g, [&] { return handoverDone_ >= ticket; });
  }
}

bool qc_AllocUnit::allocated() const { return tokenCount_.load(std::memory_order_acquire) != 0; }

bool qc_AllocUnit::isContender() const {
  qcLock l(lock_);
  return queuedCount_ != 0 || waiters_.next != &waiters_;
}

bool qc_AllocUnit::isPreOwned() const {
  qcLock l(lock_);
  return preOwned_;
}

long qc_AllocUnit::queuedCount() const {
  qcLock l(lock_);
  return queuedCount_;
}
