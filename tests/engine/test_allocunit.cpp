// Allocation units under real threads: claims, deadlines, abort, tokens,
// queued claims and the handover.
#include <qrn/acq/hyper/allocunit.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "arp_watchdog.h"

using arp_test::waitUntil;
using arp_test::Watchdog;
using Clock = std::chrono::steady_clock;

namespace {

double secondsSince(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

const volatile bool kNoAbort = false;

}  // namespace

TEST(AllocUnit, FreeUnitIsClaimedAndTokensShareIt) {
  qc_AllocUnit u;
  qcSemaphore s;
  EXPECT_FALSE(u.allocated());
  {
    qc_AllocUnit::Token t = u.claim(s, qcDeadline(1.0), kNoAbort);
    ASSERT_TRUE(t);
    EXPECT_EQ(t.unit(), &u);
    EXPECT_TRUE(u.allocated());
    {
      qc_AllocUnit::Token copy(t);
      qc_AllocUnit::Token assigned;
      assigned = copy;
      qc_AllocUnit::Token moved(std::move(copy));
      EXPECT_FALSE(copy);
      EXPECT_TRUE(moved);
    }
    EXPECT_TRUE(u.allocated()) << "destroying copies must not free the unit";
    t = t;  // self-assignment keeps the share
    EXPECT_TRUE(u.allocated());
    qc_AllocUnit::Token other = u.claim(s, qcDeadline(0.05), kNoAbort);
    EXPECT_FALSE(other) << "a held unit cannot be claimed again";
  }
  EXPECT_FALSE(u.allocated()) << "the last token frees the unit";
  EXPECT_FALSE(u.isContender());
}

TEST(AllocUnit, AbortedOrExpiredClaimsFailAtOnceAndChangeNothing) {
  Watchdog wd(20);
  struct Case {
    const char* what;
    bool abort;
    double seconds;
    bool queued;
    bool held;
  };
  const Case cases[] = {
      {"plain, abort set, free unit", true, 10.0, false, false},
      {"plain, expired deadline, free unit", false, 0.0, false, false},
      {"plain, abort set, held unit", true, 10.0, false, true},
      {"queued, abort set, free unit", true, 10.0, true, false},
      {"queued, expired deadline, free unit", false, 0.0, true, false},
      {"queued, expired deadline, held unit", false, 0.0, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    qc_AllocUnit u;
    qcSemaphore s, giveUp;
    qc_AllocUnit::Token holder;
    if (c.held) holder = u.claim(s, qcDeadline(1.0), kNoAbort);
    volatile bool abort = c.abort;
    auto t0 = Clock::now();
    qc_AllocUnit::Token t =
        c.queued ? u.queuedClaim(s, qcDeadline(c.seconds), abort, &giveUp) : u.claim(s, qcDeadline(c.seconds), abort);
    EXPECT_FALSE(t);
    EXPECT_LT(secondsSince(t0), 5.0) << "must not wait";
    EXPECT_EQ(u.allocated(), c.held);
    EXPECT_FALSE(u.isContender());
    EXPECT_EQ(u.queuedCount(), 0);
    EXPECT_EQ(giveUp.count(), 0);
  }
}

TEST(AllocUnit, ReleaseWakesBothPlainClaimersAndExactlyOneWins) {
  Watchdog wd(30);
  qc_AllocUnit u;
  qcSemaphore s0;
  qc_AllocUnit::Token holder = u.claim(s0, qcDeadline(1.0), kNoAbort);
  ASSERT_TRUE(holder);

  constexpr double kDeadline = 1.0;
  std::atomic<int> winners{0}, losers{0};
  std::atomic<bool> releaseWinner{false};
  std::atomic<double> loserWaited{0.0};
  auto claimer = [&] {
    qcSemaphore mine(0, 1);
    auto t0 = Clock::now();
    qc_AllocUnit::Token t = u.claim(mine, qcDeadline(kDeadline), kNoAbort);
    if (t) {
      ++winners;
      // Keep the unit until the loser has given up.
      waitUntil([&] { return releaseWinner.load(); }, 10.0);
    } else {
      loserWaited = secondsSince(t0);
      ++losers;
    }
  };
  std::thread a(claimer), b(claimer);
  // Both wait in the list before the release.
  ASSERT_TRUE(waitUntil([&] { return u.isContender(); }));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  holder.reset();
  ASSERT_TRUE(waitUntil([&] { return losers.load() == 1; }, 10.0));
  EXPECT_EQ(winners.load(), 1);
  EXPECT_GE(loserWaited.load(), kDeadline * 0.95) << "the loser waits again until its deadline";
  releaseWinner = true;
  a.join();
  b.join();
  EXPECT_EQ(winners.load(), 1);
  EXPECT_FALSE(u.allocated());
  EXPECT_FALSE(u.isContender());
}

TEST(AllocUnit, AbortWakesAWaitingClaimer) {
  Watchdog wd(30);
  for (bool queued : {false, true}) {
    SCOPED_TRACE(queued ? "queued claim" : "plain claim");
    qc_AllocUnit u;
    qcSemaphore s0, mine;
    qc_AllocUnit::Token holder = u.claim(s0, qcDeadline(1.0), kNoAbort);
    volatile bool abort = false;
    std::atomic<bool> done{false};
    std::atomic<bool> got{true};
    auto t0 = Clock::now();
    std::thread t([&] {
      qc_AllocUnit::Token tok =
          queued ? u.queuedClaim(mine, qcDeadline(20.0), abort, nullptr) : u.claim(mine, qcDeadline(20.0), abort);
      got = static_cast<bool>(tok);
      done = true;
    });
    ASSERT_TRUE(waitUntil([&] { return u.isContender(); }));
    qf_setAbortFlag(abort, true);
    mine.post();
    EXPECT_TRUE(waitUntil([&] { return done.load(); }, 10.0));
    t.join();
    EXPECT_FALSE(got.load());
    EXPECT_LT(secondsSince(t0), 15.0);
    EXPECT_FALSE(u.isContender()) << "the aborted claimer left the list";
    EXPECT_EQ(u.queuedCount(), 0);
    EXPECT_TRUE(u.allocated());
    holder.reset();  // no handover is due: must not block
    EXPECT_FALSE(u.allocated());
  }
}

TEST(AllocUnit, QueuedClaimAsksOwnerToGiveUpAndReleaseWaitsForTakeOver) {
  Watchdog wd(30);
  qc_AllocUnit u;
  qcSemaphore ownerSem, ownerGiveUp, claimerSem, claimerGiveUp;
  qc_AllocUnit::Token owner = u.queuedClaim(ownerSem, qcDeadline(1.0), kNoAbort, &ownerGiveUp);
  ASSERT_TRUE(owner);
  EXPECT_EQ(ownerGiveUp.count(), 0);

  qc_AllocUnit::Token claimed;
  std::atomic<bool> claimDone{false};
  std::thread claimer([&] {
    claimed = u.queuedClaim(claimerSem, qcDeadline(10.0), kNoAbort, &claimerGiveUp);
    claimDone = true;
  });
  // The owner learns of the queued claimer through its give-up semaphore,
  // once.
  ASSERT_TRUE(ownerGiveUp.wait(10.0));
  EXPECT_EQ(u.queuedCount(), 1);
  EXPECT_TRUE(u.isContender());
  qcSemaphore other;
  owner.reset();
  // The release returned only after the queued claimer took the unit over.
  EXPECT_TRUE(u.allocated());
  EXPECT_FALSE(u.claim(other, qcDeadline(0.02), kNoAbort));
  claimer.join();
  ASSERT_TRUE(claimDone.load());
  ASSERT_TRUE(claimed);
  EXPECT_EQ(ownerGiveUp.count(), 0) << "posted exactly once";
  EXPECT_EQ(claimerGiveUp.count(), 0) << "nobody else waits, so the new owner is not asked";
  EXPECT_TRUE(u.isPreOwned()) << "taken by a thread other than the releaser";
  EXPECT_EQ(u.queuedCount(), 0);
  claimed.reset();
  EXPECT_FALSE(u.allocated());
}

TEST(AllocUnit, QueuedClaimersWinOverPlainClaimersAndComeInOrder) {
  Watchdog wd(30);
  qc_AllocUnit u;
  qcSemaphore s0;
  qc_AllocUnit::Token holder = u.claim(s0, qcDeadline(1.0), kNoAbort);

  std::atomic<int> seq{0};
  std::atomic<int> plainAt{-1}, q1At{-1}, q2At{-1};
  qcSemaphore q1GiveUp;
  std::atomic<bool> q1Asked{false};

  // A plain claimer waits first.
  std::thread plain([&] {
    qcSemaphore mine;
    qc_AllocUnit::Token t = u.claim(mine, qcDeadline(10.0), kNoAbort);
    if (t) plainAt = seq++;
  });
  ASSERT_TRUE(waitUntil([&] { return u.isContender(); }));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));

  std::thread q1([&] {
    qcSemaphore mine;
    qc_AllocUnit::Token t = u.queuedClaim(mine, qcDeadline(10.0), kNoAbort, &q1GiveUp);
    if (t) {
      q1At = seq++;
      // Another queued claimer waits: the new owner is told at once.
      q1Asked = q1GiveUp.wait(5.0);
    }
  });
  ASSERT_TRUE(waitUntil([&] { return u.queuedCount() == 1; }));
  std::thread q2([&] {
    qcSemaphore mine;
    qc_AllocUnit::Token t = u.queuedClaim(mine, qcDeadline(10.0), kNoAbort, nullptr);
    if (t) q2At = seq++;
  });
  ASSERT_TRUE(waitUntil([&] { return u.queuedCount() == 2; }));

  auto released = Clock::now();
  holder.reset();
  q1.join();
  // The release wakes the first queued claimer, not the plain one before it
  // in the list (q1 would otherwise get the unit only at its deadline).
  EXPECT_LT(secondsSince(released), 5.0);
  q2.join();
  plain.join();
  EXPECT_EQ(q1At.load(), 0);
  EXPECT_EQ(q2At.load(), 1);
  EXPECT_EQ(plainAt.load(), 2) << "the plain claimer gets the unit only after every queued claimer";
  EXPECT_TRUE(q1Asked.load());
  EXPECT_FALSE(u.allocated());
  EXPECT_FALSE(u.isContender());
}

TEST(AllocUnit, ExpiredQueuedClaimLeavesNoHandoverDue) {
  Watchdog wd(20);
  qc_AllocUnit u;
  qcSemaphore s0, mine;
  qc_AllocUnit::Token holder = u.claim(s0, qcDeadline(1.0), kNoAbort);
  auto t0 = Clock::now();
  qc_AllocUnit::Token t = u.queuedClaim(mine, qcDeadline(0.1), kNoAbort, nullptr);
  EXPECT_FALSE(t);
  EXPECT_GE(secondsSince(t0), 0.09);
  EXPECT_EQ(u.queuedCount(), 0);
  holder.reset();  // would block forever if a handover were still due
  EXPECT_FALSE(u.allocated());
  // A new plain claim takes the free unit directly.
  EXPECT_TRUE(u.claim(mine, qcDeadline(1.0), kNoAbort));
}

TEST(AllocUnit, PreOwnedTellsWhetherAnotherThreadReleasedLast) {
  qc_AllocUnit u;
  qcSemaphore s;
  {
    qc_AllocUnit::Token t = u.claim(s, qcDeadline(1.0), kNoAbort);
    EXPECT_TRUE(u.isPreOwned()) << "nobody released the unit yet";
  }
  EXPECT_FALSE(u.isPreOwned()) << "a release clears the flag";
  {
    qc_AllocUnit::Token t = u.claim(s, qcDeadline(1.0), kNoAbort);
    EXPECT_FALSE(u.isPreOwned()) << "this thread released it last";
  }
  std::atomic<bool> other{false};
  std::thread th([&] {
    qcSemaphore mine;
    qc_AllocUnit::Token t = u.queuedClaim(mine, qcDeadline(1.0), kNoAbort, nullptr);
    other = static_cast<bool>(t) && u.isPreOwned();
  });
  th.join();
  EXPECT_TRUE(other.load());
}

// Many threads mixing both kinds of claim: the unit is never held twice,
// every wait ends, and nothing is left waiting.  Run under TSan, the plain
// counter also checks that a release happens-before the next take.
TEST(AllocUnit, StressMutualExclusion) {
  Watchdog wd(120, "AllocUnit stress");
  qc_AllocUnit u;
  constexpr int kThreads = 6;
  constexpr int kRounds = 2000;
  std::atomic<int> inside{0};
  std::atomic<int> violations{0};
  std::atomic<long> taken{0};
  long plainCounter = 0;  // only touched while holding the unit
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      qcSemaphore mine, giveUp;
      for (int r = 0; r < kRounds; ++r) {
        bool queued = (i + r) % 3 == 0;
        qc_AllocUnit::Token t = queued ? u.queuedClaim(mine, qcDeadline(5.0), kNoAbort, &giveUp)
                                       : u.claim(mine, qcDeadline(5.0), kNoAbort);
        if (!t) continue;
        if (inside.fetch_add(1) != 0) ++violations;
        ++plainCounter;
        ++taken;
        if (r % 7 == 0) {
          qc_AllocUnit::Token copy = t;  // a second share is released with the first
          std::this_thread::yield();
        }
        inside.fetch_sub(1);
        t.reset();
        while (giveUp.wait(0)) {
        }
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(violations.load(), 0);
  EXPECT_EQ(plainCounter, taken.load());
  EXPECT_GT(taken.load(), kThreads * kRounds / 2) << "claims with 5 s deadlines should mostly succeed";
  EXPECT_FALSE(u.allocated());
  EXPECT_FALSE(u.isContender());
  EXPECT_EQ(u.queuedCount(), 0);
}

// While a queued claimer waits, a free unit is its: a plain claimer that
// keeps trying in the moment of the release never gets it.
TEST(AllocUnit, PlainClaimsNeverStealAUnitBeingHandedOver) {
  Watchdog wd(60);
  qc_AllocUnit u;
  int stolen = 0;
  for (int round = 0; round < 100; ++round) {
    qcSemaphore s0;
    qc_AllocUnit::Token holder = u.claim(s0, qcDeadline(1.0), kNoAbort);
    ASSERT_TRUE(holder);
    std::atomic<bool> qGot{false}, qLetGo{false}, stop{false};
    std::thread q([&] {
      qcSemaphore mine;
      qc_AllocUnit::Token t = u.queuedClaim(mine, qcDeadline(10.0), kNoAbort, nullptr);
      qGot = static_cast<bool>(t);
      waitUntil([&] { return qLetGo.load(); }, 10.0);
    });
    ASSERT_TRUE(waitUntil([&] { return u.queuedCount() == 1; }));
    std::atomic<int> stole{0};
    std::thread stealer([&] {
      qcSemaphore mine;
      while (!stop.load()) {
        if (u.claim(mine, qcDeadline(0.0005), kNoAbort)) ++stole;
      }
    });
    holder.reset();
    EXPECT_TRUE(waitUntil([&] { return qGot.load(); }, 10.0));
    stop = true;
    stealer.join();
    qLetGo = true;
    q.join();
    stolen += stole.load();
  }
  EXPECT_EQ(stolen, 0);
  EXPECT_FALSE(u.allocated());
}
