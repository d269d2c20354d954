// Crash safety: a writer process is killed (SIGKILL) at random moments while
// it appends; each time the file opens with every record whose append had
// returned (and possibly the one that was running when it completed before
// the kill), each intact, and nothing else; the next append overwrites the
// torn tail.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <thread>

#include "cdb_support.h"

using namespace cdbtest;

namespace {

// Large records make the kill land inside a write often.
constexpr std::size_t kMaxRecord = 3000000;

// The child: opens (creating the file when missing) and appends records
// count, count+1, ... forever, writing each number to `ack` once its append
// has returned.
[[noreturn]] void appendForever(const std::string& path, int ack) {
  try {
    qcCDBFile f(path, 1 | 2);
    for (auto n = static_cast<std::uint32_t>(f.numRecords());; ++n) {
      const auto d = recordData(n, kMaxRecord);
      qcCDBRecord r(2, static_cast<long>(n % 7), static_cast<unsigned>(d.size()), d.data(), "record " + std::to_string(n));
      r.sequenceNumber(static_cast<long>(n));
      f.appendRecord(r);
      if (::write(ack, &n, sizeof n) != sizeof n) ::_exit(3);
    }
  } catch (...) {
    ::_exit(2);
  }
}

// Records from..count-1 of f hold what the writer appended.
void expectRecords(qcCDBFile& f, std::uint32_t from, std::uint32_t count) {
  qcCDBRecord r;
  for (std::uint32_t i = from; i < count; ++i) {
    f.goToRecord(static_cast<long>(i), 0);
    f.loadRecord(r);
    ASSERT_EQ(r.sequenceNumber(), static_cast<long>(i));
    std::vector<unsigned char> d(r.dataSize());
    r.getData(d.data(), static_cast<long>(d.size()));
    ASSERT_EQ(d, recordData(i, kMaxRecord)) << "record " << i;
  }
}

TEST(CdbCrash, KilledWritersLoseOnlyTheRunningAppend) {
  TempDir dir;
  std::mt19937 rng(12345);
  std::uint32_t expected = 0;  // records known to be in the file
  const std::string path = dir / "crash.cdb";
  recordData(0, kMaxRecord);  // the children inherit the data pool ready-made
  for (int run = 0; run < 50; ++run) {
    SCOPED_TRACE(run);
    if (run % 10 == 0) {  // a fresh file now and then keeps the runs short
      std::filesystem::remove(path);
      expected = 0;
    }
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t kid = ::fork();
    ASSERT_GE(kid, 0);
    if (kid == 0) {
      ::close(fds[0]);
      appendForever(path, fds[1]);
    }
    ::close(fds[1]);
    std::this_thread::sleep_for(std::chrono::microseconds(std::uniform_int_distribution<int>(0, 25000)(rng)));
    ::kill(kid, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(kid, &status, 0), kid);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped by itself: " << status;
    std::uint32_t acked = expected, n = 0;
    while (::read(fds[0], &n, sizeof n) == sizeof n) acked = n + 1;
    ::close(fds[0]);

    if (!std::filesystem::exists(path)) {
      ASSERT_EQ(acked, 0u);
      continue;
    }
    std::uint32_t found = 0;
    {
      qcCDBFile f(path);
      found = static_cast<std::uint32_t>(f.numRecords());
      ASSERT_TRUE(found == acked || found == acked + 1) << "acknowledged " << acked << ", found " << found;
      // Every record of this run, and the last one before it, intact.
      expectRecords(f, expected ? expected - 1 : 0, found);
    }
    expected = found;
  }
  // The last file, whole, and an append over whatever tail the last kill left.
  {
    qcCDBFile f(path, 1 | 2);
    ASSERT_EQ(static_cast<std::uint32_t>(f.numRecords()), expected);
    expectRecords(f, 0, expected);
    const auto d = recordData(expected, kMaxRecord);
    qcCDBRecord r(2, 0, static_cast<unsigned>(d.size()), d.data());
    r.sequenceNumber(static_cast<long>(expected));
    f.appendRecord(r);
  }
  qcCDBFile f(path);
  ASSERT_EQ(static_cast<std::uint32_t>(f.numRecords()), expected + 1);
  expectRecords(f, 0, expected + 1);
}

}  // namespace
