// qrtcdb: the file object: storage (a file descriptor or a caller's stream),
// the in-memory index, appends, loads and navigation.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include "cdbimpl.h"

namespace qrtcdb {
bool streamBinding(const qstd_stream* s, void** context, qstd_streamOps* ops);
}

using namespace qrtcdb;

namespace {

// How long a writer waits for another process's append to finish.
constexpr double kLockSeconds = 10.0;

struct Piece {
  const void* data;
  std::size_t size;
};

// Where the bytes live.  Every call moves all the bytes or fails.
class Storage {
public:
  virtual ~Storage() = default;
  virtual bool readAt(std::uint64_t offset, void* buffer, std::size_t size) = 0;
  virtual bool writeAt(std::uint64_t offset, const Piece* pieces, int count) = 0;
  virtual bool size(std::uint64_t& out) = 0;
  // Cuts the bytes from `size` on (a stream cannot: it keeps them).
  virtual bool truncate(std::uint64_t size) = 0;
  virtual bool lock() { return true; }
  virtual void unlock() {}
  virtual bool sync() { return true; }
};

class FdStorage final : public Storage {
public:
  explicit FdStorage(int fd) : fd_(fd) {}
  ~FdStorage() override { ::close(fd_); }

  bool readAt(std::uint64_t offset, void* buffer, std::size_t size) override {
    auto* p = static_cast<unsigned char*>(buffer);
    while (size > 0) {
      const ssize_t n = ::pread(fd_, p, size, static_cast<off_t>(offset));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      p += n;
      size -= static_cast<std::size_t>(n);
      offset += static_cast<std::uint64_t>(n);
    }
    return true;
  }

  bool writeAt(std::uint64_t offset, const Piece* pieces, int count) override {
    iovec iov[8];
    int n = 0;
    for (int i = 0; i < count && n < 8; ++i)
      if (pieces[i].size) iov[n++] = iovec{const_cast<void*>(pieces[i].data), pieces[i].size};
    iovec* v = iov;
    while (n > 0) {
      const ssize_t w = ::pwritev(fd_, v, n, static_cast<off_t>(offset));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) return false;
      offset += static_cast<std::uint64_t>(w);
      std::size_t left = static_cast<std::size_t>(w);
      while (n > 0 && left >= v->iov_len) {
        left -= v->iov_len;
        ++v;
        --n;
      }
      if (n > 0) {
        v->iov_base = static_cast<char*>(v->iov_base) + left;
        v->iov_len -= left;
      }
    }
    return true;
  }

  bool size(std::uint64_t& out) override {
    struct stat st;
    if (::fstat(fd_, &st) != 0) return false;
    out = static_cast<std::uint64_t>(st.st_size);
    return true;
  }
  bool truncate(std::uint64_t size) override { return ::ftruncate(fd_, static_cast<off_t>(size)) == 0; }

  // An exclusive advisory lock, waited for at most kLockSeconds.
  bool lock() override {
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(kLockSeconds);
    auto pause = std::chrono::microseconds(50);
    for (;;) {
      if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) return true;
      if (errno != EWOULDBLOCK && errno != EINTR) return false;
      if (std::chrono::steady_clock::now() >= until) return false;
      std::this_thread::sleep_for(pause);
      pause = std::min(pause * 2, std::chrono::microseconds(5000));
    }
  }
  void unlock() override { ::flock(fd_, LOCK_UN); }
  bool sync() override { return ::fdatasync(fd_) == 0; }

private:
  int fd_;
};

class StreamStorage final : public Storage {
public:
  StreamStorage(void* context, const qstd_streamOps& ops, bool isFile) : ctx_(context), ops_(ops), isFile_(isFile) {}

  bool readAt(std::uint64_t offset, void* buffer, std::size_t size) override {
    if (!seek(offset)) return false;
    auto* p = static_cast<unsigned char*>(buffer);
    while (size > 0) {
      const std::int64_t n = ops_.read(ctx_, p, static_cast<std::int64_t>(size));
      if (n <= 0) return false;
      p += n;
      size -= static_cast<std::size_t>(n);
    }
    return true;
  }
  bool writeAt(std::uint64_t offset, const Piece* pieces, int count) override {
    if (!seek(offset)) return false;
    for (int i = 0; i < count; ++i)
      if (pieces[i].size && ops_.write(ctx_, pieces[i].data, static_cast<std::int64_t>(pieces[i].size)) !=
                                static_cast<std::int64_t>(pieces[i].size))
        return false;
    return !ops_.flush || ops_.flush(ctx_) == 0 || !isFile_;
  }
  bool size(std::uint64_t& out) override {
    const std::int64_t end = ops_.seek(ctx_, 0, SEEK_END);
    if (end < 0) return false;
    out = static_cast<std::uint64_t>(end);
    return true;
  }
  bool truncate(std::uint64_t) override { return true; }
  bool sync() override { return !ops_.flush || ops_.flush(ctx_) == 0; }

private:
  bool seek(std::uint64_t offset) {
    return ops_.seek(ctx_, static_cast<std::int64_t>(offset), SEEK_SET) == static_cast<std::int64_t>(offset);
  }
  void* ctx_;
  qstd_streamOps ops_;
  bool isFile_;
};

// Holds the storage's lock for a scope.
class LockGuard {
public:
  explicit LockGuard(Storage& s) : s_(s), held_(s.lock()) {}
  ~LockGuard() {
    if (held_) s_.unlock();
  }
  bool held() const { return held_; }

private:
  Storage& s_;
  bool held_;
};

// One record position of the file: the entry that holds it now.
struct Slot {
  std::uint64_t offset = 0;  // of the entry (its identity for replacements and removals)
  std::uint64_t size = 0;    // of the entry in bytes
  EntryHeader head;
  bool damaged = false;      // bytes that do not parse as an entry
  bool dead = false;         // removed
};

mode_t currentUmask() {
  // The process's umask, read without changing it for long (read from
  // /proc when possible, which leaves it alone entirely).
  if (FILE* f = std::fopen("/proc/self/status", "r")) {
    char line[128];
    unsigned mask = 0;
    bool found = false;
    while (!found && std::fgets(line, sizeof line, f)) found = std::sscanf(line, "Umask: %o", &mask) == 1;
    std::fclose(f);
    if (found) return static_cast<mode_t>(mask);
  }
  return 022;
}

bool validMode(int32_t mode) {
  return (mode & ~(QIMG_CDB_READ | QIMG_CDB_WRITE | QIMG_CDB_NEW)) == 0 && (mode & (QIMG_CDB_READ | QIMG_CDB_WRITE)) &&
         (!(mode & QIMG_CDB_NEW) || (mode & QIMG_CDB_WRITE));
}

bool matches(const Slot& s, const qimg_cdbRecord& p, int32_t match) {
  if (s.damaged) return false;
  const EntryHeader& h = s.head;
  return (!(match & QIMG_CDB_MATCH_TYPE) || h.type == p.head.type) &&
         (!(match & QIMG_CDB_MATCH_SUBTYPE) || h.subtype == p.head.subtype) &&
         (!(match & QIMG_CDB_MATCH_DATA_VERSION) || h.dataVersion == p.head.dataVersion) &&
         (!(match & QIMG_CDB_MATCH_SEQUENCE) || h.sequenceNumber == p.head.sequenceNumber) &&
         (!(match & QIMG_CDB_MATCH_RESULT_CLASS) || h.resultClass == p.head.resultClass);
}

constexpr int32_t kMatchBits = QIMG_CDB_MATCH_TYPE | QIMG_CDB_MATCH_SUBTYPE | QIMG_CDB_MATCH_DATA_VERSION |
                               QIMG_CDB_MATCH_SEQUENCE | QIMG_CDB_MATCH_RESULT_CLASS;

// Creates a missing file with its header in one step (a temporary file
// beside it, linked to the name), so that no one ever sees it without a
// header.  When another process creates it first, theirs stays.  Failures
// are left to the open() that follows.
//
// On a file system without hard links (link() refused), the temporary file is
// renamed to the name without replacing anything; where that is refused too,
// the name is created exclusively and the header written into it (a reader
// may then see it empty for a moment: it takes it for a foreign file, and a
// writer that opens it writes the header under its lock).
void createAtomically(const char* name) {
  std::string tmp = std::string(name) + ".newXXXXXX";
  const int fd = ::mkstemp(tmp.data());
  if (fd < 0) return;
  unsigned char head[kFileHeaderSize];
  encodeFileHeader(head);
  const mode_t mode = 0666 & ~currentUmask();
  const bool ok = ::fchmod(fd, mode) == 0 && ::write(fd, head, sizeof head) == sizeof head;
  ::close(fd);
  const auto linkRefused = [] { return errno != EEXIST && errno != ENOENT && errno != EACCES && errno != ENOSPC; };
  if (ok && ::link(tmp.c_str(), name) != 0 && linkRefused()) {
    if (::renameat2(AT_FDCWD, tmp.c_str(), AT_FDCWD, name, RENAME_NOREPLACE) == 0) return;
    if (linkRefused()) {
      const int nfd = ::open(name, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
      if (nfd >= 0) {
        if (::write(nfd, head, sizeof head) != sizeof head) (void)::ftruncate(nfd, 0);
        ::close(nfd);
      }
    }
  }
  ::unlink(tmp.c_str());
}

// Opens an existing regular file without blocking on what is not one (a
// named pipe, a device): the type is checked before the open, and the open
// itself does not wait.
int openRegular(const char* name, int flags) {
  struct stat st;
  if (::stat(name, &st) != 0) return -1;
  if (!S_ISREG(st.st_mode)) {
    errno = EINVAL;
    return -1;
  }
  const int fd = ::open(name, flags | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ::fcntl(fd, F_SETFL, flags & O_ACCMODE) != 0) {
    ::close(fd);
    errno = EINVAL;
    return -1;
  }
  return fd;
}

}  // namespace

struct qimg_cdbFile {
  std::unique_ptr<Storage> store;
  std::string name;
  bool canWrite = false;
  bool syncEach = false;

  std::vector<Slot> slots;
  std::unordered_map<std::uint64_t, std::uint32_t> slotOf;  // entry offset -> slot
  std::vector<std::uint32_t> live;                          // the records in order (slot numbers)
  std::uint64_t validEnd = 0;  // end of the last complete entry
  std::uint64_t seenSize = 0;  // the file's size when it was last scanned
  std::int64_t currentSlot = -1;
  std::size_t currentHint = 0;

  bool isOpen() const { return store != nullptr; }

  void resetIndex() {
    slots.clear();
    slotOf.clear();
    live.clear();
    validEnd = kFileHeaderSize;
    seenSize = 0;
    currentSlot = -1;
  }

  std::int32_t currentIndex() {
    if (currentSlot < 0) return -1;
    if (currentHint < live.size() && live[currentHint] == currentSlot) return static_cast<std::int32_t>(currentHint);
    const auto it = std::find(live.begin(), live.end(), static_cast<std::uint32_t>(currentSlot));
    if (it == live.end()) {
      currentSlot = -1;
      return -1;
    }
    currentHint = static_cast<std::size_t>(it - live.begin());
    return static_cast<std::int32_t>(currentHint);
  }
  void setCurrent(std::int64_t index) {
    if (index < 0 || index >= static_cast<std::int64_t>(live.size())) {
      currentSlot = -1;
      return;
    }
    currentHint = static_cast<std::size_t>(index);
    currentSlot = live[currentHint];
  }

  void rebuildLive() {
    live.clear();
    for (std::uint32_t i = 0; i < slots.size(); ++i)
      if (!slots[i].dead) live.push_back(i);
  }

  // Adds one entry to the index; returns true when the live list must be
  // rebuilt (a removal).
  bool apply(std::uint64_t offset, const EntryHeader& h, const std::vector<std::uint64_t>& targets) {
    if (h.kind == kRemoval) {
      bool any = false;
      for (std::uint64_t t : targets) {
        const auto it = slotOf.find(t);
        if (it != slotOf.end() && !slots[it->second].dead) {
          slots[it->second].dead = true;
          any = true;
        }
      }
      return any;
    }
    if (h.kind == kReplacement) {
      const auto it = slotOf.find(h.target);
      if (it != slotOf.end() && !slots[it->second].dead) {
        const std::uint32_t s = it->second;
        slotOf.erase(it);
        slots[s] = Slot{offset, h.entrySize(), h, false, false};
        slotOf[offset] = s;
        return false;
      }
      // The record it replaced is gone: keep the new one as a record of its own.
    }
    addSlot(Slot{offset, h.entrySize(), h, false, false});
    return false;
  }
  void addSlot(const Slot& s) {
    const auto n = static_cast<std::uint32_t>(slots.size());
    slots.push_back(s);
    slotOf[s.offset] = n;
    live.push_back(n);
  }

  // Reads a whole entry and checks its CRC.  With `data` it is loaded there.
  qimg_status readEntry(const Slot& s, qimg_cdbRecord* out, std::vector<std::uint64_t>* targets = nullptr) {
    if (s.damaged) return QIMG_CDB_BAD_RECORD;
    unsigned char head[kEntryHeaderSize];
    EntryHeader h;
    // The entry must still lie inside the file before its data size is
    // believed (and allocated).
    std::uint64_t fileSize = 0;
    if (!store->size(fileSize) || s.offset > fileSize || s.size > fileSize - s.offset ||
        !store->readAt(s.offset, head, sizeof head) || !decodeEntryHeader(head, h) || h.entrySize() != s.size)
      return QIMG_CDB_BAD_RECORD;
    std::uint32_t crc = crc32(0, head, sizeof head);
    std::uint64_t at = s.offset + kEntryHeaderSize;
    std::string comment(h.commentLength, '\0');
    if (!comment.empty() && !store->readAt(at, comment.data(), comment.size())) return QIMG_CDB_BAD_RECORD;
    crc = crc32(crc, comment.data(), comment.size());
    at += h.commentLength + h.padding;
    std::vector<unsigned char> data;
    std::uint32_t dataCrc = 0;
    if (out || targets) {
      try {
        data.resize(static_cast<std::size_t>(h.dataSize));
      } catch (const std::bad_alloc&) {
        return QIMG_CDB_RECORD_TOO_LARGE;
      }
      if (!data.empty() && !store->readAt(at, data.data(), data.size())) return QIMG_CDB_BAD_RECORD;
      dataCrc = crc32(0, data.data(), data.size());
      crc = crc32Combine(crc, dataCrc, data.size());
    } else {
      // Checking only: stream the data through a small buffer.
      std::vector<unsigned char> buf(std::min<std::uint64_t>(h.dataSize, 1u << 20));
      for (std::uint64_t left = h.dataSize; left > 0;) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, buf.size()));
        if (!store->readAt(at + (h.dataSize - left), buf.data(), n)) return QIMG_CDB_BAD_RECORD;
        crc = crc32(crc, buf.data(), n);
        left -= n;
      }
    }
    at += h.dataSize;
    unsigned char trailer[kTrailerSize];
    if (!store->readAt(at, trailer, sizeof trailer) || getU32(trailer) != crc) return QIMG_CDB_BAD_RECORD;
    if (targets) {
      targets->clear();
      for (std::size_t i = 0; i + 8 <= data.size(); i += 8) targets->push_back(getU64(data.data() + i));
    }
    if (out) {
      qimg_cdbRecord r;
      r.bound = true;
      r.head = h;
      r.head.kind = kRecord;
      r.head.target = 0;
      r.comment = std::move(comment);
      r.takeData(std::move(data), dataCrc);
      *out = std::move(r);
    }
    return QIMG_CDB_OK;
  }

  // The offset of the next entry header at or after `from` that parses and
  // fits in the file; 0 when there is none.
  std::uint64_t resync(std::uint64_t from, std::uint64_t size) {
    std::vector<unsigned char> buf(64 * 1024 + kEntryHeaderSize);
    for (std::uint64_t at = from; at + kEntryHeaderSize <= size; at += 64 * 1024) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(buf.size(), size - at));
      if (!store->readAt(at, buf.data(), n)) return 0;
      for (std::size_t i = 0; i + kEntryHeaderSize <= n && i < 64 * 1024; ++i) {
        if (buf[i] != 'Q' || getU32(buf.data() + i) != kEntryMagic) continue;
        EntryHeader h;
        if (decodeEntryHeader(buf.data() + i, h) && at + i + h.entrySize() <= size) return at + i;
      }
    }
    return 0;
  }

  // Indexes the entries from validEnd to the file's end.  A torn tail (an
  // incomplete last entry) stays outside validEnd.
  qimg_status scan() {
    std::uint64_t size = 0;
    if (!store->size(size)) return QIMG_CDB_BAD_FILE_FORMAT;
    bool rebuild = false;
    std::uint64_t pos = validEnd;
    std::vector<std::uint64_t> targets;
    while (pos < size && size - pos >= kEntryHeaderSize) {
      unsigned char head[kEntryHeaderSize];
      if (!store->readAt(pos, head, sizeof head)) break;
      EntryHeader h;
      if (!decodeEntryHeader(head, h)) {
        // Damage inside the file: keep it as a damaged record when a sound
        // entry follows; otherwise it is a torn tail.
        const std::uint64_t next = resync(pos + 1, size);
        if (next == 0) break;
        Slot s;
        s.offset = pos;
        s.size = next - pos;
        s.damaged = true;
        addSlot(s);
        pos = next;
        continue;
      }
      const std::uint64_t end = pos + h.entrySize();
      if (end > size) break;  // torn: the entry runs past the end of the file
      // A complete entry is kept whatever its CRC says: a record that fails
      // it is damage, reported when it is loaded or verified, and appends go
      // after it.
      targets.clear();
      if (h.kind == kRemoval && readEntry(Slot{pos, h.entrySize(), h, false, false}, nullptr, &targets) != QIMG_CDB_OK) {
        pos = end;  // a damaged removal removes nothing
        continue;
      }
      rebuild |= apply(pos, h, targets);
      pos = end;
    }
    if (rebuild) rebuildLive();
    validEnd = pos;
    seenSize = size;
    return QIMG_CDB_OK;
  }

  // Brings the index up to date with what others appended.
  qimg_status refresh() {
    std::uint64_t size = 0;
    if (!store->size(size)) return QIMG_CDB_BAD_FILE_FORMAT;
    if (size == seenSize) return QIMG_CDB_OK;
    if (size < validEnd) {  // cut or started afresh by someone else
      resetIndex();
      if (size < kFileHeaderSize) {
        seenSize = size;
        validEnd = size;
        return QIMG_CDB_OK;
      }
    }
    return scan();
  }

  // Writes one entry at pos: header, comment, data and the CRC over them.
  // Large data goes out in slices, each checksummed just before it is
  // written, so that the kernel copies it while it is still in the cache.
  // With `dataCrc` (the data's own CRC, known) it is combined instead.
  bool writeEntry(std::uint64_t pos, const EntryHeader& h, const std::string& comment, const void* data,
                  const std::uint32_t* dataCrc) {
    unsigned char head[kEntryHeaderSize];
    encodeEntryHeader(h, head);
    std::uint32_t crc = crc32(0, head, sizeof head);
    crc = crc32(crc, comment.data(), comment.size());
    const auto* bytes = static_cast<const unsigned char*>(data);
    const std::size_t size = static_cast<std::size_t>(h.dataSize);
    constexpr std::size_t kSlice = 256 * 1024;
    static const unsigned char zeros[kPage] = {};
    unsigned char trailer[kTrailerSize];
    if (dataCrc || size <= 2 * kSlice) {
      putU32(trailer, dataCrc ? crc32Combine(crc, *dataCrc, size) : crc32(crc, bytes, size));
      const Piece pieces[] = {
          {head, sizeof head}, {comment.data(), comment.size()}, {zeros, h.padding}, {bytes, size}, {trailer, 4}};
      return store->writeAt(pos, pieces, 5);
    }
    const Piece first[] = {{head, sizeof head}, {comment.data(), comment.size()}, {zeros, h.padding}};
    if (!store->writeAt(pos, first, 3)) return false;
    std::uint64_t at = pos + sizeof head + comment.size() + h.padding;
    for (std::size_t done = 0; done < size;) {
      const std::size_t n = std::min(kSlice, size - done);
      crc = crc32(crc, bytes + done, n);
      const Piece slice{bytes + done, n};
      if (!store->writeAt(at, &slice, 1)) return false;
      done += n;
      at += n;
    }
    putU32(trailer, crc);
    const Piece last{trailer, sizeof trailer};
    return store->writeAt(at, &last, 1);
  }

  // Appends one entry under the lock; the index learns it.
  qimg_status append(EntryHeader h, const std::string& comment, const void* data, std::uint64_t dataSize,
                     const std::uint32_t* dataCrc = nullptr) {
    if (!isOpen()) return QIMG_CDB_FILE_NOT_OPEN;
    if (!canWrite) return QIMG_CDB_READ_ONLY;
    h.commentLength = static_cast<std::uint32_t>(comment.size());
    h.dataSize = dataSize;
    h.version = QIMG_CDB_FORMAT_VERSION;

    LockGuard lock(*store);
    if (!lock.held()) return QIMG_CDB_WRITE_FAILED;
    if (const qimg_status st = refresh(); st != QIMG_CDB_OK) return st;
    if (validEnd < kFileHeaderSize) return QIMG_CDB_BAD_FILE_FORMAT;
    const std::uint64_t pos = validEnd;
    if (seenSize > pos && !store->truncate(pos)) return QIMG_CDB_WRITE_FAILED;
    h.padFor(pos);
    if (!writeEntry(pos, h, comment, data, dataCrc) || (syncEach && !store->sync())) {
      store->truncate(pos);
      seenSize = 0;  // rescan the tail next time
      return QIMG_CDB_WRITE_FAILED;
    }
    std::vector<std::uint64_t> targets;
    if (h.kind == kRemoval)
      for (std::uint64_t i = 0; i < dataSize; i += 8) targets.push_back(getU64(static_cast<const unsigned char*>(data) + i));
    if (apply(pos, h, targets)) rebuildLive();
    validEnd = pos + h.entrySize();
    seenSize = validEnd;
    return QIMG_CDB_OK;
  }

  // Opens the storage: a new file gets its header; the index is built.
  qimg_status attach(std::unique_ptr<Storage> s, int32_t mode, bool mustBeEmptyForNew) {
    resetIndex();
    canWrite = (mode & QIMG_CDB_WRITE) != 0;
    if (canWrite) {
      LockGuard lock(*s);
      if (!lock.held()) return QIMG_CDB_CANNOT_OPEN_FOR_WRITING;
      std::uint64_t size = 0;
      if (!s->size(size)) return QIMG_CDB_CANNOT_OPEN;
      if (mode & QIMG_CDB_NEW) {
        if (mustBeEmptyForNew && size != 0) return QIMG_CDB_FILE_INVALID_ARG;
        if (!s->truncate(0)) return QIMG_CDB_WRITE_FAILED;
        size = 0;
      }
      if (size == 0) {
        unsigned char head[kFileHeaderSize];
        encodeFileHeader(head);
        const Piece p{head, sizeof head};
        if (!s->writeAt(0, &p, 1)) return QIMG_CDB_WRITE_FAILED;
      }
    }
    unsigned char head[kFileHeaderSize];
    std::uint64_t size = 0;
    if (!s->size(size) || size < kFileHeaderSize || !s->readAt(0, head, sizeof head)) return QIMG_CDB_BAD_FILE_FORMAT;
    if (const qimg_status st = decodeFileHeader(head); st != QIMG_CDB_OK) return st;
    store = std::move(s);
    if (const qimg_status st = scan(); st != QIMG_CDB_OK) {
      store.reset();
      return st;
    }
    return QIMG_CDB_OK;
  }

  qimg_status prepare() {
    if (!isOpen()) return QIMG_CDB_FILE_NOT_OPEN;
    return refresh();
  }

  const Slot* currentSlotPtr() {
    const std::int32_t i = currentIndex();
    return i < 0 ? nullptr : &slots[live[static_cast<std::size_t>(i)]];
  }

  // base(origin) for navigation: 0, the current index (-1 for none), or the
  // end (one past the last record, so that -1 from it is the last); false for
  // an unknown origin.
  bool base(int32_t origin, std::int64_t& out) {
    switch (origin) {
      case QIMG_CDB_FROM_FIRST: out = 0; return true;
      case QIMG_CDB_FROM_LAST: out = static_cast<std::int64_t>(live.size()); return true;  // the end
      case QIMG_CDB_FROM_CURRENT: out = currentIndex(); return true;
      default: return false;
    }
  }
};

// ---- the C API -----------------------------------------------------------------

#define QIMG_FILE_PREPARE(file)                      \
  do {                                               \
    if (!(file)) return QIMG_CDB_STREAM_NOT_BOUND;   \
    const qimg_status st_ = (file)->prepare();       \
    if (st_ != QIMG_CDB_OK) return st_;              \
  } while (0)

qimg_cdbFile* qimg_cdbFile_new(void) { return new (std::nothrow) qimg_cdbFile; }
void qimg_cdbFile_delete(qimg_cdbFile* file) { delete file; }

qimg_status qimg_cdbFile_open(qimg_cdbFile* file, const char* name, int32_t mode) {
  if (!file) return QIMG_CDB_STREAM_NOT_BOUND;
  if (!name || !*name || !validMode(mode)) return QIMG_CDB_FILE_INVALID_ARG;
  if (file->isOpen()) return QIMG_CDB_ALREADY_OPEN;
  const bool write = (mode & QIMG_CDB_WRITE) != 0;
  if (write && ::access(name, F_OK) != 0 && errno == ENOENT) createAtomically(name);
  const int fd = openRegular(name, write ? O_RDWR : O_RDONLY);
  if (fd < 0) {
    const int err = errno;
    const bool exists = ::access(name, F_OK) == 0;
    return write && exists && (err == EACCES || err == EROFS || err == EPERM || err == ETXTBSY)
               ? QIMG_CDB_CANNOT_OPEN_FOR_WRITING
               : QIMG_CDB_CANNOT_OPEN;
  }
  const qimg_status s = file->attach(std::make_unique<FdStorage>(fd), mode, false);
  if (s == QIMG_CDB_OK) file->name = name;
  return s;
}

qimg_status qimg_cdbFile_openAttachStream(qimg_cdbFile* file, int32_t mode, int32_t isFileStream, int32_t,
                                          qstd_stream* stream) {
  if (!file) return QIMG_CDB_STREAM_NOT_BOUND;
  if (!validMode(mode)) return QIMG_CDB_FILE_INVALID_ARG;
  if (file->isOpen()) return QIMG_CDB_ALREADY_OPEN;
  void* ctx = nullptr;
  qstd_streamOps ops{};
  if (!streamBinding(stream, &ctx, &ops)) return QIMG_CDB_STREAM_NOT_BOUND;
  const qimg_status s = file->attach(std::make_unique<StreamStorage>(ctx, ops, isFileStream != 0), mode, true);
  if (s == QIMG_CDB_OK) file->name.clear();
  return s;
}

qimg_status qimg_cdbFile_close(qimg_cdbFile* file) {
  if (!file) return QIMG_CDB_STREAM_NOT_BOUND;
  if (!file->isOpen()) return QIMG_CDB_FILE_NOT_OPEN;
  file->store.reset();
  file->name.clear();
  file->resetIndex();
  return QIMG_CDB_OK;
}

int32_t qimg_cdbFile_getIsOpen(const qimg_cdbFile* file) { return file && file->isOpen() ? 1 : 0; }
const char* qimg_cdbFile_getFilename(const qimg_cdbFile* file) { return file ? file->name.c_str() : ""; }

qimg_status qimg_cdbFile_getNumRecords(qimg_cdbFile* file, int32_t* count) {
  QIMG_FILE_PREPARE(file);
  if (!count) return QIMG_CDB_FILE_INVALID_ARG;
  *count = static_cast<int32_t>(file->live.size());
  return QIMG_CDB_OK;
}

qimg_status qimg_cdbFile_getNumMatchingRecords(qimg_cdbFile* file, const qimg_cdbRecord* pattern, int32_t match,
                                               int32_t* count) {
  QIMG_FILE_PREPARE(file);
  if (!pattern) return QIMG_CDB_NULL_RECORD;
  if (!count || (match & ~kMatchBits)) return QIMG_CDB_RECORD_INVALID_ARG;
  int32_t n = 0;
  for (std::uint32_t s : file->live) n += matches(file->slots[s], *pattern, match) ? 1 : 0;
  *count = n;
  return QIMG_CDB_OK;
}

qimg_status qimg_cdbFile_getCurrentRecord(qimg_cdbFile* file, int32_t* index) {
  QIMG_FILE_PREPARE(file);
  if (!index) return QIMG_CDB_FILE_INVALID_ARG;
  *index = file->currentIndex();
  return QIMG_CDB_OK;
}

qimg_status qimg_cdbFile_getRecordHeader(qimg_cdbFile* file, int32_t index, qimg_cdbRecordHeader* header) {
  QIMG_FILE_PREPARE(file);
  if (!header) return QIMG_CDB_FILE_INVALID_ARG;
  if (index < 0 || static_cast<std::size_t>(index) >= file->live.size()) return QIMG_CDB_RECORD_NOT_FOUND;
  const Slot& s = file->slots[file->live[static_cast<std::size_t>(index)]];
  if (s.damaged) return QIMG_CDB_BAD_RECORD;
  const EntryHeader& h = s.head;
  qimg_cdbRecordHeader r{};
  r.type = static_cast<uint32_t>(h.type);
  r.subtype = static_cast<uint32_t>(h.subtype);
  r.version = h.version;
  r.dataVersion = static_cast<uint32_t>(h.dataVersion);
  r.sequenceNumber = static_cast<uint32_t>(h.sequenceNumber);
  r.resultClass = static_cast<uint32_t>(h.resultClass);
  r.dataSize = static_cast<uint32_t>(std::min<std::uint64_t>(h.dataSize, 0xFFFFFFFFu));
  r.imageFormat = static_cast<uint32_t>(h.imageFormat);
  r.imageKind = h.imageKind;
  r.width = h.width;
  r.height = h.height;
  r.commentLength = h.commentLength;
  r.dataSize64 = h.dataSize;
  r.tagA = h.a;
  r.tagB = h.b;
  r.fileOffset = s.offset;
  *header = r;
  return QIMG_CDB_OK;
}

qimg_status qimg_cdbFile_getRecordComment(qimg_cdbFile* file, int32_t index, char* buffer, uint32_t size,
                                          uint32_t* length) {
  QIMG_FILE_PREPARE(file);
  if (!length || (size && !buffer)) return QIMG_CDB_FILE_INVALID_ARG;
  if (index < 0 || static_cast<std::size_t>(index) >= file->live.size()) return QIMG_CDB_RECORD_NOT_FOUND;
  const Slot& s = file->slots[file->live[static_cast<std::size_t>(index)]];
  if (s.damaged) return QIMG_CDB_BAD_RECORD;
  *length = s.head.commentLength;
  const std::uint32_t n = std::min(size, s.head.commentLength);
  if (n && !file->store->readAt(s.offset + kEntryHeaderSize, buffer, n)) return QIMG_CDB_BAD_RECORD;
  return QIMG_CDB_OK;
}

qimg_status qimg_cdbFile_getTornTail(qimg_cdbFile* file, uint64_t* bytes) {
  QIMG_FILE_PREPARE(file);
  if (!bytes) return QIMG_CDB_FILE_INVALID_ARG;
  *bytes = file->seenSize > file->validEnd ? file->seenSize - file->validEnd : 0;
  return QIMG_CDB_OK;
}

qimg_status qimg_cdbFile_loadRecord(qimg_cdbFile* file, qimg_cdbRecord* record) {
  QIMG_FILE_PREPARE(file);
  if (!record) return QIMG_CDB_NULL_RECORD;
  const Slot* s = file->currentSlotPtr();
  if (!s) return QIMG_CDB_RECORD_NOT_FOUND;
  return file->readEntry(*s, record);
}

qimg_status qimg_cdbFile_verifyRecord(qimg_cdbFile* file, int32_t index) {
  QIMG_FILE_PREPARE(file);
  if (index < 0 || static_cast<std::size_t>(index) >= file->live.size()) return QIMG_CDB_RECORD_NOT_FOUND;
  return file->readEntry(file->slots[file->live[static_cast<std::size_t>(index)]], nullptr);
}

qimg_status qimg_cdbFile_appendRecord(qimg_cdbFile* file, const qimg_cdbRecord* record) {
  if (!file) return QIMG_CDB_STREAM_NOT_BOUND;
  if (!record) return QIMG_CDB_NULL_RECORD;
  if (!record->bound) return QIMG_CDB_RECORD_EMPTY;
  EntryHeader h = record->head;
  h.kind = kRecord;
  h.target = 0;
  const qimg_status st =
      file->append(h, record->comment, record->data.data(), record->data.size(), &record->dataCrc);
  if (st == QIMG_CDB_OK) file->setCurrent(static_cast<std::int64_t>(file->live.size()) - 1);
  return st;
}

qimg_status qimg_cdbFile_storeRecord(qimg_cdbFile* file, const qimg_cdbRecord* record) {
  QIMG_FILE_PREPARE(file);
  if (!record) return QIMG_CDB_NULL_RECORD;
  if (!record->bound) return QIMG_CDB_RECORD_EMPTY;
  const Slot* s = file->currentSlotPtr();
  if (!s) return QIMG_CDB_RECORD_NOT_FOUND;
  EntryHeader h = record->head;
  h.kind = kReplacement;
  h.target = s->offset;
  return file->append(h, record->comment, record->data.data(), record->data.size(), &record->dataCrc);
}

namespace {
qimg_status removeSlots(qimg_cdbFile* file, const std::vector<std::int64_t>& indices, int32_t* removed) {
  std::vector<unsigned char> data;
  std::unordered_set<std::int64_t> seen;
  for (std::int64_t i : indices) {
    if (i < 0 || static_cast<std::size_t>(i) >= file->live.size() || !seen.insert(i).second) continue;
    const std::size_t at = data.size();
    data.resize(at + 8);
    putU64(data.data() + at, file->slots[file->live[static_cast<std::size_t>(i)]].offset);
  }
  if (removed) *removed = static_cast<int32_t>(data.size() / 8);
  if (data.empty()) return QIMG_CDB_OK;
  EntryHeader h;
  h.kind = kRemoval;
  return file->append(h, std::string(), data.data(), data.size());
}
}  // namespace

qimg_status qimg_cdbFile_deleteRecord(qimg_cdbFile* file) {
  QIMG_FILE_PREPARE(file);
  const std::int32_t at = file->currentIndex();
  if (at < 0) return QIMG_CDB_RECORD_NOT_FOUND;
  const qimg_status st = removeSlots(file, {at}, nullptr);
  if (st != QIMG_CDB_OK) return st;
  file->setCurrent(std::min<std::int64_t>(at, static_cast<std::int64_t>(file->live.size()) - 1));
  return QIMG_CDB_OK;
}

qimg_status qimg_cdbFile_removeRecords(qimg_cdbFile* file, const int32_t* indices, int32_t count, int32_t* removed) {
  QIMG_FILE_PREPARE(file);
  if (count < 0 || (count > 0 && !indices)) return QIMG_CDB_FILE_INVALID_ARG;
  if (removed) *removed = 0;
  return removeSlots(file, std::vector<std::int64_t>(indices, indices + count), removed);
}

qimg_status qimg_cdbFile_goToRecord(qimg_cdbFile* file, int32_t offset, int32_t origin) {
  QIMG_FILE_PREPARE(file);
  std::int64_t b = 0;
  if (!file->base(origin, b)) return QIMG_CDB_RECORD_INVALID_ARG;
  const std::int64_t i = b + offset;
  if (i < 0 || i >= static_cast<std::int64_t>(file->live.size())) return QIMG_CDB_RECORD_NOT_FOUND;
  file->setCurrent(i);
  return QIMG_CDB_OK;
}

namespace {
// Walks from `from` by `step` to the first matching record.
qimg_status seekMatch(qimg_cdbFile* file, std::int64_t from, std::int64_t step, const qimg_cdbRecord* pattern,
                      int32_t match) {
  if (!pattern) return QIMG_CDB_NULL_RECORD;
  if (match & ~kMatchBits) return QIMG_CDB_RECORD_INVALID_ARG;
  const auto n = static_cast<std::int64_t>(file->live.size());
  for (std::int64_t i = from; i >= 0 && i < n; i += step)
    if (matches(file->slots[file->live[static_cast<std::size_t>(i)]], *pattern, match)) {
      file->setCurrent(i);
      return QIMG_CDB_OK;
    }
  return QIMG_CDB_RECORD_NOT_FOUND;
}
}  // namespace

qimg_status qimg_cdbFile_findRecord(qimg_cdbFile* file, int32_t start, const qimg_cdbRecord* pattern, int32_t match,
                                    int32_t origin) {
  QIMG_FILE_PREPARE(file);
  std::int64_t b = 0;
  if (!file->base(origin, b)) return QIMG_CDB_RECORD_INVALID_ARG;
  return seekMatch(file, std::max<std::int64_t>(0, b + start), 1, pattern, match);
}

qimg_status qimg_cdbFile_seekToMatchingRecord(qimg_cdbFile* file, int32_t direction, const qimg_cdbRecord* pattern,
                                              int32_t match, int32_t origin) {
  QIMG_FILE_PREPARE(file);
  if (direction != 1 && direction != -1) return QIMG_CDB_RECORD_INVALID_ARG;
  std::int64_t b = 0;
  if (!file->base(origin, b)) return QIMG_CDB_RECORD_INVALID_ARG;
  if (origin == QIMG_CDB_FROM_LAST) {
    b -= 1;  // at the last record
  } else if (origin == QIMG_CDB_FROM_CURRENT) {
    // From no current record, forward starts at the first and backward finds nothing.
    b = b < 0 ? (direction > 0 ? 0 : -1) : b + direction;
  }
  return seekMatch(file, b, direction, pattern, match);
}

qimg_status qimg_cdbFile_dumpIndex(qimg_cdbFile* file, qstd_stream* stream) {
  QIMG_FILE_PREPARE(file);
  void* ctx = nullptr;
  qstd_streamOps ops{};
  if (!streamBinding(stream, &ctx, &ops)) return QIMG_CDB_STREAM_NOT_BOUND;
  std::string text = "# index offset bytes type subtype data-version sequence result-class data-size comment-size\n";
  char line[256];
  for (std::size_t i = 0; i < file->live.size(); ++i) {
    const Slot& s = file->slots[file->live[i]];
    if (s.damaged)
      std::snprintf(line, sizeof line, "%zu %" PRIu64 " %" PRIu64 " damaged\n", i, s.offset, s.size);
    else
      std::snprintf(line, sizeof line, "%zu %" PRIu64 " %" PRIu64 " %d %d %d %d %d %" PRIu64 " %u\n", i, s.offset,
                    s.size, s.head.type, s.head.subtype, s.head.dataVersion, s.head.sequenceNumber,
                    s.head.resultClass, s.head.dataSize, s.head.commentLength);
    text += line;
  }
  if (ops.write(ctx, text.data(), static_cast<std::int64_t>(text.size())) != static_cast<std::int64_t>(text.size()))
    return QIMG_CDB_WRITE_FAILED;
  if (ops.flush) ops.flush(ctx);
  return QIMG_CDB_OK;
}

qimg_status qimg_cdbFile_setSyncEveryAppend(qimg_cdbFile* file, int32_t on) {
  if (!file) return QIMG_CDB_STREAM_NOT_BOUND;
  file->syncEach = on != 0;
  return QIMG_CDB_OK;
}
