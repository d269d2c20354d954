// The registry store on a text file in the registry-export format.
#include <qrn/acq/registry/regstore.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <unordered_map>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* kDefaultPath = "/etc/quorin/registry.reg";
constexpr const char* kHeader = "Windows Registry Editor Version 5.00";
constexpr const char* kHeaderOld = "REGEDIT4";
constexpr std::size_t kMaxFileSize = 16u << 20;  // a larger file is refused
constexpr auto kLockTimeout = std::chrono::seconds(10);

// ---- text helpers -----------------------------------------------------------

char lowerChar(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string lower(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = lowerChar(c);
  return r;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (lowerChar(s[i]) != lowerChar(prefix[i])) return false;
  return true;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = lowerChar(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool hasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

// A key path with empty components dropped; nullopt when nothing is left or
// the path cannot be written as a section header.
std::optional<std::string> normKey(std::string_view key) {
  std::string out;
  std::size_t i = 0;
  while (i <= key.size()) {
    std::size_t j = key.find('\\', i);
    if (j == std::string_view::npos) j = key.size();
    if (j > i) {
      if (!out.empty()) out += '\\';
      out.append(key.substr(i, j - i));
    }
    i = j + 1;
  }
  if (out.empty() || out.front() == '-' || hasLineBreak(out) || out.find('\0') != std::string::npos)
    return std::nullopt;
  return out;
}

// A string in quotes with `\` and `"` escaped.
std::string quote(std::string_view s) {
  std::string r = "\"";
  for (char c : s) {
    if (c == '\\' || c == '"') r += '\\';
    r += c;
  }
  r += '"';
  return r;
}

// Reads a quoted string starting at s[pos] == '"'; pos ends after the closing
// quote.  `\\` and `\"` are escapes; any other backslash stands for itself.
bool unquote(std::string_view s, std::size_t& pos, std::string& out) {
  out.clear();
  ++pos;
  while (pos < s.size()) {
    char c = s[pos];
    if (c == '\\' && pos + 1 < s.size() && (s[pos + 1] == '\\' || s[pos + 1] == '"')) {
      out += s[pos + 1];
      pos += 2;
    } else if (c == '"') {
      ++pos;
      return true;
    } else {
      out += c;
      ++pos;
    }
  }
  return false;
}

// ---- the parsed file ----------------------------------------------------------

struct Item {
  enum Kind { text, section, entry } kind = text;
  std::string raw;   // the item's lines as written, joined with '\n'
  std::string lkey;  // section: its key; entry: its section's key (normalised, lower case)
  std::string key;   // section: its key as spelt (normalised)
  std::string lname; // entry: the value name in lower case
  qc_RegStore::Value v;
};

struct Doc {
  std::vector<Item> items;
  std::string eol = "\n";
  bool empty = true;  // no file, or a file without any text: a header is written first
};

using Status = qc_RegStore::Status;

Status failure(Status::Kind kind, long line, std::string message) {
  Status st;
  st.kind = kind;
  st.line = line;
  st.message = std::move(message);
  return st;
}

std::string entryRaw(const qc_RegStore::Value& v) {
  std::string r = v.name.empty() ? std::string("@") : quote(v.name);
  r += '=';
  if (v.type == qc_RegStore::typeDword) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08x", static_cast<unsigned>(v.dword));
    r += "dword:";
    r += buf;
  } else {
    r += quote(v.text);
  }
  return r;
}

// Parses the data of a hex value (over several lines: `\` continues); the
// bytes go to `bytes`.
bool parseHexBytes(std::string_view data, std::vector<unsigned char>& bytes) {
  std::string compact;
  for (char c : data)
    if (!isBlank(c) && c != '\\' && c != '\n' && c != '\r') compact += c;
  if (compact.empty()) return true;
  std::size_t i = 0;
  while (i <= compact.size()) {
    std::size_t j = compact.find(',', i);
    if (j == std::string::npos) j = compact.size();
    std::string_view b(compact.data() + i, j - i);
    if (b.empty() || b.size() > 2) return false;
    int v = 0;
    for (char c : b) {
      int d = hexDigit(c);
      if (d < 0) return false;
      v = v * 16 + d;
    }
    bytes.push_back(static_cast<unsigned char>(v));
    i = j + 1;
  }
  return true;
}

// The string of a hex(1) value: UTF-16LE code units up to the first zero,
// as UTF-8.  False for an odd byte count.
bool utf16leText(const std::vector<unsigned char>& bytes, std::string& out) {
  if (bytes.size() % 2 != 0) return false;
  out.clear();
  auto put = [&](std::uint32_t cp) {
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  };
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    std::uint32_t u = bytes[i] | (bytes[i + 1] << 8);
    if (u == 0) break;
    if (u >= 0xD800 && u < 0xDC00 && i + 3 < bytes.size()) {
      const std::uint32_t lo = bytes[i + 2] | (bytes[i + 3] << 8);
      if (lo >= 0xDC00 && lo < 0xE000) {
        u = 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00);
        i += 2;
      }
    }
    put(u >= 0xD800 && u < 0xE000 ? 0xFFFD : u);  // a lone surrogate
  }
  return true;
}

Status parse(const std::string& text, Doc& doc) {
  doc = Doc{};
  std::vector<std::string_view> lines;
  std::string_view all(text);
  if (all.substr(0, 3) == "\xEF\xBB\xBF") all.remove_prefix(3);  // UTF-8 byte order mark
  for (std::size_t i = 0; i < all.size();) {
    std::size_t j = all.find('\n', i);
    if (j == std::string_view::npos) j = all.size();
    std::string_view line = all.substr(i, j - i);
    if (!line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
      if (lines.empty()) doc.eol = "\r\n";
    }
    lines.push_back(line);
    i = j + 1;
  }
  if (all.find('\0') != std::string_view::npos)
    return failure(Status::malformed, 1, "the file holds zero bytes (not a text file)");
  doc.empty = all.find_first_not_of(" \t\r\n") == std::string_view::npos;

  bool seenSection = false, seenHeader = false;
  std::string curKey, curLKey;
  for (std::size_t n = 0; n < lines.size(); ++n) {
    const long lineNo = static_cast<long>(n) + 1;
    std::string_view t = trim(lines[n]);
    Item it;
    it.raw = std::string(lines[n]);
    if (t.empty() || t.front() == ';') {
      doc.items.push_back(std::move(it));
      continue;
    }
    if (t == kHeader || t == kHeaderOld) {
      if (seenSection || seenHeader) return failure(Status::malformed, lineNo, "header line out of place");
      seenHeader = true;
      doc.items.push_back(std::move(it));
      continue;
    }
    if (t.front() == '[') {
      if (t.back() != ']') return failure(Status::malformed, lineNo, "key line without closing ']'");
      auto key = normKey(t.substr(1, t.size() - 2));
      if (!key) return failure(Status::malformed, lineNo, "bad key path");
      it.kind = Item::section;
      it.key = *key;
      it.lkey = lower(*key);
      curKey = it.key;
      curLKey = it.lkey;
      seenSection = true;
      doc.items.push_back(std::move(it));
      continue;
    }
    if (t.front() != '"' && t.front() != '@')
      return failure(Status::malformed, lineNo, "line is neither a key, a value nor a comment");
    if (!seenSection) return failure(Status::malformed, lineNo, "value before the first key");

    // "name"=data or @=data
    std::size_t pos = 0;
    std::string name;
    if (t.front() == '@') {
      pos = 1;
    } else if (!unquote(t, pos, name)) {
      return failure(Status::malformed, lineNo, "value name without closing quote");
    }
    while (pos < t.size() && isBlank(t[pos])) ++pos;
    if (pos >= t.size() || t[pos] != '=') return failure(Status::malformed, lineNo, "'=' expected after the value name");
    ++pos;
    while (pos < t.size() && isBlank(t[pos])) ++pos;
    std::string_view data = t.substr(pos);

    qc_RegStore::Value v;
    v.name = name;
    if (!data.empty() && data.front() == '"') {
      std::size_t p = 0;
      if (!unquote(data, p, v.text) || !trim(data.substr(p)).empty())
        return failure(Status::malformed, lineNo, "bad string value");
      v.type = qc_RegStore::typeString;
    } else if (startsWithNoCase(data, "dword:")) {
      std::string_view digits = trim(data.substr(6));
      if (digits.empty() || digits.size() > 8) return failure(Status::malformed, lineNo, "bad dword value");
      std::uint32_t d = 0;
      for (char c : digits) {
        int h = hexDigit(c);
        if (h < 0) return failure(Status::malformed, lineNo, "bad dword value");
        d = d * 16 + static_cast<std::uint32_t>(h);
      }
      v.type = qc_RegStore::typeDword;
      v.dword = d;
    } else if (startsWithNoCase(data, "hex:") || startsWithNoCase(data, "hex(")) {
      std::size_t colon = data.find(':');
      unsigned long type = qc_RegStore::typeBinary;
      if (data[3] == '(') {
        std::size_t close = data.find(')');
        if (close == std::string_view::npos || close + 1 != colon || close == 4)
          return failure(Status::malformed, lineNo, "bad hex(type)");
        type = 0;
        for (char c : data.substr(4, close - 4)) {
          int h = hexDigit(c);
          if (h < 0 || type > 0xFFFFFFFul) return failure(Status::malformed, lineNo, "bad hex(type)");
          type = type * 16 + static_cast<unsigned long>(h);
        }
      }
      // Continuation lines end with a backslash.
      std::string body(data.substr(colon + 1));
      while (!trim(lines[n]).empty() && trim(lines[n]).back() == '\\') {
        if (n + 1 >= lines.size()) return failure(Status::malformed, lineNo, "continued hex value at the end of the file");
        ++n;
        it.raw += '\n';
        it.raw += lines[n];
        body += '\n';
        body += trim(lines[n]);
      }
      std::vector<unsigned char> bytes;
      if (!parseHexBytes(body, bytes)) return failure(Status::malformed, lineNo, "bad hex data");
      v.type = type;
      v.text = std::string(data.substr(0, colon + 1)) + body;
      if (type == qc_RegStore::typeString && !utf16leText(bytes, v.text))
        return failure(Status::malformed, lineNo, "hex(1) value with an odd number of bytes");
      if (type == qc_RegStore::typeDword) {
        if (bytes.size() != 4) return failure(Status::malformed, lineNo, "hex(4) value without four bytes");
        v.dword = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
      }
    } else {
      return failure(Status::malformed, lineNo, "unknown value type");
    }
    it.kind = Item::entry;
    it.key = curKey;
    it.lkey = curLKey;
    it.lname = lower(name);
    it.v = std::move(v);
    doc.items.push_back(std::move(it));
  }
  return Status{};
}

std::string serialize(const Doc& doc) {
  std::string out;
  for (const Item& it : doc.items) {
    for (char c : it.raw) {
      if (c == '\n')
        out += doc.eol;
      else
        out += c;
    }
    out += doc.eol;
  }
  return out;
}

// Reads a whole file from an open descriptor.
Status readFd(int fd, std::string& text) {
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return failure(Status::unreadable, 0, "not a regular file");
  if (static_cast<std::uint64_t>(st.st_size) > kMaxFileSize) return failure(Status::malformed, 0, "file too large");
  text.clear();
  char buf[65536];
  for (;;) {
    ssize_t r = ::read(fd, buf, sizeof buf);
    if (r < 0) {
      if (errno == EINTR) continue;
      return failure(Status::unreadable, 0, "read error");
    }
    if (r == 0) break;
    text.append(buf, static_cast<std::size_t>(r));
    if (text.size() > kMaxFileSize) return failure(Status::malformed, 0, "file too large");
  }
  return Status{};
}

// Loads the file for a read; an empty document unless it is ok.
Status loadForRead(const std::string& path, Doc& doc) {
  doc = Doc{};
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return failure(errno == ENOENT || errno == ENOTDIR ? Status::missing : Status::unreadable, 0, "cannot open");
  std::string text;
  Status st = readFd(fd, text);
  ::close(fd);
  if (st.kind == Status::ok) st = parse(text, doc);
  if (st.kind != Status::ok) doc = Doc{};
  return st;
}

bool isBelowOrSame(const std::string& lkey, const std::string& lk) {
  return lkey == lk || (lkey.size() > lk.size() && lkey.compare(0, lk.size(), lk) == 0 && lkey[lk.size()] == '\\');
}

bool keyExistsIn(const Doc& doc, const std::string& lk) {
  if (lk.find('\\') == std::string::npos) return true;  // a root
  for (const Item& it : doc.items)
    if (it.kind == Item::section && isBelowOrSame(it.lkey, lk)) return true;
  return false;
}

// Adds `entry` to the last section of key `lk`, or to a new section at the end.
void addEntry(Doc& doc, const std::string& key, Item entry) {
  const std::string lk = lower(key);
  std::size_t sec = doc.items.size();
  for (std::size_t i = 0; i < doc.items.size(); ++i)
    if (doc.items[i].kind == Item::section && doc.items[i].lkey == lk) sec = i;
  if (sec < doc.items.size()) {
    std::size_t at = sec;
    for (std::size_t i = sec + 1; i < doc.items.size() && doc.items[i].kind != Item::section; ++i)
      if (doc.items[i].kind == Item::entry) at = i;
    entry.key = doc.items[sec].key;
    entry.lkey = lk;
    doc.items.insert(doc.items.begin() + static_cast<std::ptrdiff_t>(at + 1), std::move(entry));
    return;
  }
  if (doc.empty) {
    Item h;
    h.raw = kHeader;
    doc.items.clear();
    doc.items.push_back(h);
    doc.empty = false;
  }
  if (!doc.items.empty() && !trim(doc.items.back().raw).empty()) doc.items.push_back(Item{});
  Item s;
  s.kind = Item::section;
  s.key = key;
  s.lkey = lk;
  s.raw = "[" + key + "]";
  doc.items.push_back(std::move(s));
  if (entry.kind == Item::entry) {
    entry.key = key;
    entry.lkey = lk;
    doc.items.push_back(std::move(entry));
  }
}

// ---- the locked write cycle -------------------------------------------------------

enum Change { failed = -1, unchanged = 0, changed = 1 };

class Fd {
public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { reset(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  void reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

private:
  int fd_;
};

bool writeAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    ssize_t w = ::write(fd, data.data() + done, data.size() - done);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(w);
  }
  return true;
}

// The file a write changes: `path`, or the final target when it is a
// symbolic link (the link stays a link; its target gets the new text).
std::string writeTarget(const std::string& path) {
  namespace fs = std::filesystem;
  fs::path p(path);
  std::error_code ec;
  for (int hops = 0; hops < 40 && fs::is_symlink(fs::symlink_status(p, ec)); ++hops) {
    const fs::path to = fs::read_symlink(p, ec);
    if (ec) break;
    p = to.is_absolute() ? to : p.parent_path() / to;
  }
  return p.string();
}

// Opens and locks the current file at `path`, creating it (and its
// directories) when missing; `created` tells whether this call made it.
bool openLocked(const std::string& path, Fd& fd, bool& created) {
  namespace fs = std::filesystem;
  const auto deadline = std::chrono::steady_clock::now() + kLockTimeout;
  for (;;) {
    created = false;
    int f = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (f < 0 && errno == ENOENT) {
      std::error_code ec;
      fs::path parent = fs::path(path).parent_path();
      if (!parent.empty()) fs::create_directories(parent, ec);
      f = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
      // Another writer made it first: open theirs (within the deadline).
      if (f < 0 && errno == EEXIST && std::chrono::steady_clock::now() < deadline) continue;
      created = f >= 0;
    }
    if (f < 0) return false;
    fd.reset(f);
    for (;;) {
      if (::flock(f, LOCK_EX | LOCK_NB) == 0) break;
      if (errno != EWOULDBLOCK && errno != EINTR) return false;
      if (std::chrono::steady_clock::now() >= deadline) return false;
      std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    // The lock counts only when the file is still the one at `path`: another
    // writer may have renamed a new file over it meanwhile.
    struct stat a {}, b {};
    if (::fstat(f, &a) == 0 && ::stat(path.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino)
      return true;
    fd.reset();
    if (std::chrono::steady_clock::now() >= deadline) return false;
  }
}

// The temporary file of a write, beside the file it replaces.
std::string temporaryTemplate(const std::string& path) { return path + ".tmpXXXXXX"; }

// Removes the temporary files that writers killed before their rename left
// beside `path`.  Only the writer holding the lock of the current file makes
// one, and renames or removes it before letting go: under that lock every
// other one is left over.
void removeLeftTemporaries(const std::string& path) {
  namespace fs = std::filesystem;
  const fs::path target(path);
  const std::string shape = temporaryTemplate(target.filename().string());
  const std::string prefix = shape.substr(0, shape.size() - 6);  // mkostemp's six characters follow
  std::error_code ec;
  const fs::path dir = target.parent_path().empty() ? fs::path(".") : target.parent_path();
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    std::error_code kind;
    if (name.size() == shape.size() && name.compare(0, prefix.size(), prefix) == 0 &&
        it->symlink_status(kind).type() == fs::file_type::regular) {
      std::error_code gone;
      fs::remove(it->path(), gone);
    }
  }
}

template <class F>
bool modify(const std::string& linkOrPath, F&& change) {
  const std::string path = writeTarget(linkOrPath);
  Fd fd;
  bool created = false;
  if (!openLocked(path, fd, created)) return false;
  removeLeftTemporaries(path);
  // A file this call created goes again unless the new text replaces it: a
  // write that fails or changes nothing leaves no empty file behind.  (The
  // lock is still held; a writer waiting for it sees the file gone and
  // starts again.)
  struct Undo {
    const std::string& path;
    bool armed;
    ~Undo() {
      if (armed) ::unlink(path.c_str());
    }
  } undo{path, created};
  std::string text;
  Doc doc;
  if (readFd(fd.get(), text).kind != Status::ok || parse(text, doc).kind != Status::ok) return false;
  Change c = change(doc);
  if (c != changed) return c == unchanged;
  // Never write what the reader would refuse.
  const std::string out = serialize(doc);
  if (out.size() > kMaxFileSize) return false;

  namespace fs = std::filesystem;
  const fs::path target(path);
  fs::path dir = target.parent_path();
  if (dir.empty()) dir = ".";
  std::string tmpl = temporaryTemplate(path);
  int t = ::mkostemp(tmpl.data(), O_CLOEXEC);
  if (t < 0) return false;
  Fd tmp(t);
  struct stat st {};
  bool ok = ::fstat(fd.get(), &st) == 0 && ::fchmod(t, st.st_mode & 07777) == 0;
  ok = ok && writeAll(t, out) && ::fsync(t) == 0;
  tmp.reset();
  ok = ok && ::rename(tmpl.c_str(), path.c_str()) == 0;
  if (!ok) {
    ::unlink(tmpl.c_str());
    return false;
  }
  undo.armed = false;
  Fd d(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (d.get() >= 0) ::fsync(d.get());
  return true;  // the lock goes with `fd`, after the rename
}

}  // namespace

// ---- qc_RegStore ---------------------------------------------------------------------

// A line break would end the value's line, and the reader refuses a zero byte.
bool qc_RegStore::canHold(const std::string& text) { return !hasLineBreak(text) && text.find('\0') == std::string::npos; }

std::string qc_RegStore::defaultPath() {
  const char* env = std::getenv("QUORIN_REGISTRY_FILE");
  return (env && *env) ? std::string(env) : std::string(kDefaultPath);
}

std::string qc_RegStore::path() const { return path_.empty() ? defaultPath() : path_; }

qc_RegStore::Status qc_RegStore::check() const {
  Doc doc;
  return loadForRead(path(), doc);
}

bool qc_RegStore::keyExists(const std::string& key) const {
  auto k = normKey(key);
  if (!k) return false;
  Doc doc;
  loadForRead(path(), doc);
  return keyExistsIn(doc, lower(*k));
}

std::optional<qc_RegStore::Value> qc_RegStore::value(const std::string& key, const std::string& name) const {
  auto k = normKey(key);
  if (!k) return std::nullopt;
  Doc doc;
  loadForRead(path(), doc);
  const std::string lk = lower(*k), ln = lower(name);
  const Item* found = nullptr;
  for (const Item& it : doc.items)
    if (it.kind == Item::entry && it.lkey == lk && it.lname == ln) found = &it;
  if (!found) return std::nullopt;
  return found->v;
}

std::optional<std::vector<qc_RegStore::Value>> qc_RegStore::values(const std::string& key) const {
  auto k = normKey(key);
  if (!k) return std::nullopt;
  Doc doc;
  loadForRead(path(), doc);
  const std::string lk = lower(*k);
  if (!keyExistsIn(doc, lk)) return std::nullopt;
  std::vector<Value> out;
  std::unordered_map<std::string, std::size_t> index;  // lower-case name -> position in out
  for (const Item& it : doc.items) {
    if (it.kind != Item::entry || it.lkey != lk) continue;
    auto [pos, added] = index.emplace(it.lname, out.size());
    if (added)
      out.push_back(it.v);
    else
      out[pos->second] = it.v;
  }
  return out;
}

std::vector<std::string> qc_RegStore::subKeys(const std::string& key) const {
  auto k = normKey(key);
  const std::string lk = k ? lower(*k) : std::string();
  Doc doc;
  loadForRead(path(), doc);
  std::vector<std::string> out, lout;
  for (const Item& it : doc.items) {
    if (it.kind != Item::section) continue;
    std::size_t start = 0;
    if (!lk.empty()) {
      if (!(it.lkey.size() > lk.size() && it.lkey.compare(0, lk.size(), lk) == 0 && it.lkey[lk.size()] == '\\')) continue;
      start = lk.size() + 1;
    }
    std::size_t end = it.key.find('\\', start);
    std::string child = it.key.substr(start, end == std::string::npos ? std::string::npos : end - start);
    std::string lchild = lower(child);
    if (std::find(lout.begin(), lout.end(), lchild) == lout.end()) {
      lout.push_back(lchild);
      out.push_back(child);
    }
  }
  std::sort(out.begin(), out.end(), [](const std::string& a, const std::string& b) { return lower(a) < lower(b); });
  return out;
}

bool qc_RegStore::createKey(const std::string& key) {
  auto k = normKey(key);
  if (!k) return false;
  return modify(path(), [&](Doc& doc) {
    if (keyExistsIn(doc, lower(*k))) return unchanged;
    addEntry(doc, *k, Item{});
    return changed;
  });
}

namespace {

// Sets one value: replaces the last one of that name (dropping duplicates) or
// adds it to the key.
bool setValue(const std::string& path, const std::string& key, qc_RegStore::Value v) {
  auto k = normKey(key);
  if (!k || !qc_RegStore::canHold(v.name)) return false;
  if (v.type == qc_RegStore::typeString) {
    v.text = v.text.substr(0, v.text.find('\0'));
    if (!qc_RegStore::canHold(v.text)) return false;
  }
  return modify(path, [&](Doc& doc) {
    const std::string lk = lower(*k), ln = lower(v.name);
    std::vector<std::size_t> hits;
    for (std::size_t i = 0; i < doc.items.size(); ++i)
      if (doc.items[i].kind == Item::entry && doc.items[i].lkey == lk && doc.items[i].lname == ln) hits.push_back(i);
    if (hits.empty()) {
      Item e;
      e.kind = Item::entry;
      e.lname = ln;
      e.v = v;
      e.raw = entryRaw(v);
      addEntry(doc, *k, std::move(e));
      return changed;
    }
    Item& last = doc.items[hits.back()];
    v.name = last.v.name;  // keep the spelling of the file
    const bool same = last.v.type == v.type &&
                      (v.type == qc_RegStore::typeDword ? last.v.dword == v.dword : last.v.text == v.text);
    if (same && hits.size() == 1) return unchanged;
    last.v = v;
    last.raw = entryRaw(v);
    for (std::size_t n = hits.size() - 1; n-- > 0;)
      doc.items.erase(doc.items.begin() + static_cast<std::ptrdiff_t>(hits[n]));
    return changed;
  });
}

}  // namespace

bool qc_RegStore::setDword(const std::string& key, const std::string& name, std::uint32_t value) {
  Value v;
  v.name = name;
  v.type = typeDword;
  v.dword = value;
  return setValue(path(), key, std::move(v));
}

bool qc_RegStore::setString(const std::string& key, const std::string& name, const std::string& value) {
  Value v;
  v.name = name;
  v.type = typeString;
  v.text = value;
  return setValue(path(), key, std::move(v));
}

bool qc_RegStore::deleteValue(const std::string& key, const std::string& name) {
  auto k = normKey(key);
  if (!k) return false;
  return modify(path(), [&](Doc& doc) {
    const std::string lk = lower(*k), ln = lower(name);
    auto end = std::remove_if(doc.items.begin(), doc.items.end(), [&](const Item& it) {
      return it.kind == Item::entry && it.lkey == lk && it.lname == ln;
    });
    if (end == doc.items.end()) return failed;
    doc.items.erase(end, doc.items.end());
    return changed;
  });
}

bool qc_RegStore::deleteKey(const std::string& key) {
  auto k = normKey(key);
  if (!k || k->find('\\') == std::string::npos) return false;
  return modify(path(), [&](Doc& doc) {
    const std::string lk = lower(*k);
    std::vector<Item> kept;
    bool dropping = false, any = false;
    for (Item& it : doc.items) {
      if (it.kind == Item::section) {
        dropping = isBelowOrSame(it.lkey, lk);
        any = any || dropping;
      }
      if (!dropping) kept.push_back(std::move(it));
    }
    if (!any) return failed;
    doc.items = std::move(kept);
    return changed;
  });
}
