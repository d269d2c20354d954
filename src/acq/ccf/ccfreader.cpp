// Camera configuration files: checksum, file image, reader, search path,
// scan, token syntax and loader.
#include <qrn/acq/ccf/ccfreader.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cerrno>
#include <climits>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <istream>
#include <mutex>
#include <ostream>

#include <qrn/acq/ccf/camcfgstore.h>
#include <qrn/acq/ccf/ccfparammap.h>
#include <qrn/acq/format/vidfmt.h>
#include <qrn/foundation/misc.h>

QC_REGISTER_PERSISTENT(qc_ccfReader::GeneralError);
QC_REGISTER_PERSISTENT(qc_AcqStringHelper::BadVal);
QC_REGISTER_PERSISTENT(qc_AcqStringHelper::BadEnumVal);
QC_REGISTER_PERSISTENT(qc_AcqStringHelper::EqualsNotFound);

namespace {

constexpr std::size_t kMaxLine = 255;    // characters before the line end
constexpr std::size_t kWrapColumn = 80;  // comments are broken before this column
constexpr char kChecksumKey[] = "ccf_checksum";

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isSeparator(char c) { return c == ' ' || c == '\t' || c == ';'; }

// The physical lines of a file: each without its LF, cut at its first CR.
// The first line longer than kMaxLine characters (a CR just before the LF
// not counted) ends the file, and so does the end of the stream; stoppedAt()
// is then that line's physical number.  Never holds more than one line.
class LineSource {
public:
  explicit LineSource(std::istream& in) : sb_(in.rdbuf()) {}
  explicit LineSource(std::streambuf* sb) : sb_(sb) {}
  bool next(std::string& line) {
    line.clear();
    if (done_ || !sb_) return false;
    int c = 0;
    while ((c = sb_->sbumpc()) != std::char_traits<char>::eof() && c != '\n') {
      line.push_back(static_cast<char>(c));
      if (line.size() > kMaxLine + 1) return stop_(true);
    }
    if (c == std::char_traits<char>::eof() && line.empty()) return stop_(false);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > kMaxLine) return stop_(true);
    if (const std::size_t cr = line.find('\r'); cr != std::string::npos) line.resize(cr);
    ++count_;
    return true;
  }
  std::uint32_t stoppedAt() const { return stoppedAt_; }

private:
  bool stop_(bool overLong) {
    done_ = true;
    if (overLong) stoppedAt_ = count_ + 1;
    return false;
  }
  std::streambuf* sb_;
  bool done_ = false;
  std::uint32_t count_ = 0;
  std::uint32_t stoppedAt_ = 0;
};

// Reads a file descriptor; a failed read throws instead of looking like the
// end of the file.
class FdBuf : public std::streambuf {
public:
  FdBuf(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~FdBuf() override { ::close(fd_); }
  FdBuf(const FdBuf&) = delete;
  FdBuf& operator=(const FdBuf&) = delete;

protected:
  int_type underflow() override {
    ssize_t n;
    do n = ::read(fd_, buf_, sizeof buf_);
    while (n < 0 && errno == EINTR);
    if (n < 0) throw qc_ccfReader::GeneralError("File: " + path_ + "(read failed: " + std::strerror(errno) + ")");
    if (n == 0) return traits_type::eof();
    setg(buf_, buf_, buf_ + n);
    return traits_type::to_int_type(buf_[0]);
  }

private:
  int fd_;
  std::string path_;
  char buf_[16384];
};

// What a file that is not a regular file is, for the reason it is skipped.
std::string kindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "directory";
  if (S_ISFIFO(mode)) return "named pipe";
  if (S_ISSOCK(mode)) return "socket";
  if (S_ISCHR(mode)) return "character device";
  if (S_ISBLK(mode)) return "block device";
  return "special file";
}

// "%d": optional white space and sign, then decimal digits; the characters
// after the digits are not read and go to `rest`.  False when no digits
// follow or the number does not fit 32 bits.
bool scanInt(const std::string& t, int& v, std::string& rest) {
  std::size_t i = 0;
  while (i < t.size() && std::isspace(static_cast<unsigned char>(t[i]))) ++i;
  const bool negative = i < t.size() && t[i] == '-';
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
  if (i >= t.size() || !std::isdigit(static_cast<unsigned char>(t[i]))) return false;
  long long a = 0;
  for (; i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])); ++i) {
    a = a * 10 + (t[i] - '0');
    if (a > static_cast<long long>(INT_MAX) + 1) return false;
  }
  if (negative) a = -a;
  if (a > INT_MAX || a < INT_MIN) return false;
  v = static_cast<int>(a);
  rest = t.substr(i);
  return true;
}

// The hexadecimal number after the key, read like "%lx"; nothing when there
// are no digits.
std::optional<std::uint32_t> scanHex(const std::string& s) {
  std::size_t i = 0;
  while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
  if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X') && i + 2 < s.size() &&
      std::isxdigit(static_cast<unsigned char>(s[i + 2])))
    i += 2;
  unsigned long v = 0;
  const auto r = std::from_chars(s.data() + i, s.data() + s.size(), v, 16);
  if (r.ptr == s.data() + i) return std::nullopt;
  return static_cast<std::uint32_t>(v);  // a longer number keeps its low 32 bits
}

}  // namespace

// ---- checksum ----------------------------------------------------------------------

void qc_ccfChecksum::add(const std::string& line) {
  for (char ch : line) {
    if (isBlank(ch)) continue;
    std::uint32_t v = static_cast<std::uint32_t>(static_cast<std::int32_t>(static_cast<signed char>(ch)));
    if (count % 3 != 0)
      v <<= 8;
    else if (count % 5 != 0)
      v <<= 4;
    else if (count % 7 != 0)
      v <<= 12;
    sum += v;
    ++count;
  }
}

// ---- file image -------------------------------------------------------------------------

void qc_ccfFileInfo::addLine(const std::string& text, std::uint32_t lineNumber) {
  lines_.push_back(text);
  lineNumbers_.push_back(lineNumber);
}

void qc_ccfFileInfo::appendToLastLine(const std::string& text) {
  if (lines_.empty())
    addLine(text, 0);
  else
    lines_.back() += text;
}

void qc_ccfFileInfo::addComment(std::uint32_t lineNumber, const std::string& text) {
  auto it = comments_.find(lineNumber);
  if (text.empty() && it == comments_.end()) return;
  std::string& c = comments_[lineNumber];
  if (!c.empty()) c += '\n';
  c += text;
}

std::uint32_t qc_ccfFileInfo::calcCheckSum() const {
  qc_ccfChecksum sum;
  for (const std::string& l : lines_) sum.add(l);
  return sum.sum;
}

bool qc_ccfFileInfo::checkSumOK() const { return checkSum_ == kCcfNoCheckSum || checkSum_ == calcCheckSum(); }

const std::string* qc_ccfFileInfo::comment(std::uint32_t lineNumber) const {
  auto it = comments_.find(lineNumber);
  return it == comments_.end() ? nullptr : &it->second;
}

void qc_ccfFileInfo::write(std::ostream& os, bool noCheckSum) const {
  qf_ccfWriteComment(os, comment(0), 0);
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    os << lines_[i];
    qf_ccfWriteComment(os, comment(lineNumbers_[i]), lines_[i].size());
  }
  os << kChecksumKey << ' ' << qfHex(noCheckSum ? kCcfNoCheckSum : calcCheckSum()) << '\n';
}

void qf_ccfWriteComment(std::ostream& os, const std::string* text, std::size_t column) {
  if (!text || text->empty()) {
    os << '\n';
    return;
  }
  const std::string& t = *text;
  const bool leadingBlank = t[0] == ' ';
  std::size_t w = column + (leadingBlank ? 2 : 3);
  if (t.find_first_of("\r\n") == std::string::npos && t.size() + w < kWrapColumn) {
    // The blank after "//" is only added when the text has none, so that a
    // comment reads back as it was written.
    os << (leadingBlank ? "//" : "// ") << t << '\n';
    return;
  }
  os << "/*" << (leadingBlank ? "" : " ");
  std::size_t s = 0;
  while (s < t.size()) {
    std::size_t end;
    std::size_t next;
    const std::size_t lf = t.find('\n', s);
    if (lf != std::string::npos && w + (lf - s) <= kWrapColumn) {
      end = lf;
      next = end + 1;
    } else if (t.size() - s < kWrapColumn) {
      end = t.size();
      next = end + 1;
    } else {
      end = std::string::npos;
      for (std::size_t p = s; p < t.size() && w + (p - s) < kWrapColumn; ++p)
        if (isBlank(t[p])) end = p;
      if (end == std::string::npos || end == s) {
        // No place to break: cut the word at the limit, losing nothing.
        end = s + std::max<std::size_t>(1, kWrapColumn > w + 1 ? kWrapColumn - w - 1 : 1);
        next = end;
      } else {
        next = end + 1;
      }
    }
    const std::string piece = t.substr(s, end - s);
    // The first piece already has its blank after the "/*".
    if (!piece.empty() && piece[0] != ' ' && s != 0) os << ' ';
    os << piece << '\n';
    w = 0;
    s = next;
  }
  os << "*/\n";
}

// ---- reader ------------------------------------------------------------------------------

void qc_ccfReader::readFile(const std::string& fileName, qc_ccfFileInfo& info, bool keepComments) {
  // Only a regular file is opened, and without blocking: a named pipe or a
  // device on the search path must not hang the first format lookup.  The
  // type is checked again on the open descriptor (the name may have changed).
  const std::string cannot = "File: " + fileName + "(couldn't be opened)";
  struct stat st {};
  if (::stat(fileName.c_str(), &st) != 0) throw GeneralError(cannot);
  if (!S_ISREG(st.st_mode)) throw GeneralError("File: " + fileName + "(not a regular file)");
  const int fd = ::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) throw GeneralError(cannot);
  FdBuf buf(fd, fileName);
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) throw GeneralError("File: " + fileName + "(not a regular file)");
  info.fileName(fileName);
  readLines(&buf, info, keepComments);
}

void qc_ccfReader::readStream(std::istream& in, qc_ccfFileInfo& info, bool keepComments) {
  readLines(in.rdbuf(), info, keepComments);
}

void qc_ccfReader::readLines(std::streambuf* in, qc_ccfFileInfo& info, bool keepComments) {
  std::uint32_t n = 0;
  std::size_t quotes = 0;
  bool textSeen = false;
  std::string line;
  LineSource source(in);
  while (source.next(line)) {
    ++n;
    if (line.empty()) continue;

    std::string text = line;
    std::string comment;
    std::uint32_t extra = 0;  // further physical lines a block comment took
    const std::size_t slashes = line.find("//");
    const std::size_t block = line.find("/*");
    if (slashes != std::string::npos) {
      text = line.substr(0, slashes);
      comment = line.substr(slashes + 2);
    } else if (block != std::string::npos) {
      text = line.substr(0, block);
      // Pieces: the rest of this line, then whole lines, the last cut at its
      // "*/".  A "\n" follows each piece under 72 characters but an empty
      // last one.
      std::string piece = line.substr(block + 2);
      for (;;) {
        const std::size_t close = piece.find("*/");
        const bool last = close != std::string::npos;
        if (last) piece.resize(close);
        comment += piece;
        if (piece.size() < 72 && !(last && piece.empty())) comment += '\n';
        if (last || !source.next(piece)) break;
        ++extra;
      }
    }

    if (text.empty()) {
      if (!textSeen && keepComments) info.addComment(0, comment);
    } else {
      textSeen = true;
      const std::size_t key = text.find(kChecksumKey);
      if (key != std::string::npos) {
        info.addCheckSumLine(n);
        if (auto v = scanHex(text.substr(key + sizeof kChecksumKey - 1))) info.setCheckSum(*v);
      } else {
        if (keepComments) info.addComment(n, comment);
        if (quotes % 2 == 0)
          info.addLine(text, n);
        else
          info.appendToLastLine(text);
        quotes += static_cast<std::size_t>(std::count(text.begin(), text.end(), '"'));
      }
    }
    n += extra;
  }
  info.stoppedAtLine(source.stoppedAt());
}

std::string qf_ccfSearchPath() {
  std::string path;
  if (const char* sys = std::getenv("QUORIN_SYSTEM_PATH")) {
    path = sys;
  } else {
    Dl_info dl{};
    if (dladdr(reinterpret_cast<void*>(&qf_ccfSearchPath), &dl) && dl.dli_fname) {
      path = std::filesystem::absolute(dl.dli_fname).parent_path().string() + "/";
    }
  }
  if (const char* user = std::getenv("QUORIN_PATH")) path += std::string(";") + user;
  return path;
}

bool qc_ccfReader::findFiles(std::vector<std::string>& files) { return findFiles(qf_ccfSearchPath(), files); }

namespace {

// The "*.ccf" entries of the first element of the search path that holds a
// regular one, in order, each with why it is not read (empty for a regular
// file, or a link to one).
bool searchCcfs(const std::string& searchPath, std::vector<std::pair<std::string, std::string>>& out) {
  namespace fs = std::filesystem;
  std::size_t start = 0;
  while (start <= searchPath.size() && !searchPath.empty()) {
    std::size_t end = searchPath.find(';', start);
    if (end == std::string::npos) end = searchPath.size();
    std::string dir = searchPath.substr(start, end - start);
    start = end + 1;
    std::replace(dir.begin(), dir.end(), '\\', '/');
    if (!dir.empty() && dir.back() != '/') dir += '/';

    std::vector<std::pair<std::string, std::string>> found;
    bool any = false;
    std::error_code ec;
    for (fs::directory_iterator it(dir.empty() ? fs::path(".") : fs::path(dir), ec), last; !ec && it != last;
         it.increment(ec)) {
      const std::string name = it->path().filename().string();
      if (name.size() < 4) continue;
      std::string ext = name.substr(name.size() - 4);
      std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
      if (ext != ".ccf") continue;
      // stat follows a symbolic link: a link to a regular file is read.
      struct stat st {};
      std::string why;
      if (::stat((dir + name).c_str(), &st) != 0)
        why = std::string("cannot be read (") + std::strerror(errno) + ")";  // a dangling link, say
      else if (S_ISDIR(st.st_mode))
        continue;
      else if (!S_ISREG(st.st_mode))
        why = "not a regular file (" + kindOf(st.st_mode) + ")";
      any = any || why.empty();
      found.emplace_back(dir + name, std::move(why));
    }
    std::sort(found.begin(), found.end());
    out.insert(out.end(), found.begin(), found.end());
    if (any) return true;
  }
  return false;
}

}  // namespace

bool qc_ccfReader::findFiles(const std::string& searchPath, std::vector<std::string>& files) {
  return findFiles(searchPath, files, nullptr);
}

bool qc_ccfReader::findFiles(const std::string& searchPath, std::vector<std::string>& files,
                             std::vector<ScanEntry>* skipped) {
  std::vector<std::pair<std::string, std::string>> found;
  const bool any = searchCcfs(searchPath, found);
  for (auto& [path, why] : found) {
    if (why.empty())
      files.push_back(path);
    else if (skipped)
      skipped->push_back({path, {}, why});
  }
  return any;
}

// ---- scan ------------------------------------------------------------------------------------

namespace {

std::mutex& reportMutex() {
  static std::mutex m;
  return m;
}
std::vector<qc_ccfReader::ScanEntry>& report() {
  static std::vector<qc_ccfReader::ScanEntry> r;
  return r;
}

}  // namespace

std::optional<std::string> qc_ccfReader::loadFile(const std::string& fileName, std::string* why) {
  if (fileName.size() >= PATH_MAX) throw GeneralError("File: " + fileName + "(path too long)");
  qcPtrHandle<qc_ccfFileInfo> info(new qc_ccfFileInfo);
  readFile(fileName, *info, false);
  qc_ccfLoader loader(*info);
  if (!info->checkSumOK()) {
    loader.store().addParseError("ccf_checksum", "", fileName + ": Invalid Checksum");
    if (why) *why = "invalid checksum";
    return std::nullopt;
  }
  if (!loader.store().createVideoFormat()) {
    if (why) *why = "no format name";
    return std::nullopt;
  }
  std::string name;
  loader.store().getParam(0, name);
  return name;
}

void qc_ccfReader::loadAll(const std::string& searchPath) {
  std::vector<std::pair<std::string, std::string>> found;
  searchCcfs(searchPath, found);
  std::vector<ScanEntry> entries;
  for (const auto& [f, notRead] : found) {
    ScanEntry e{f, {}, notRead};
    // One bad file must not hide the others: its reason is kept instead.
    if (notRead.empty()) {
      try {
        if (auto name = loadFile(f, &e.error)) e.format = *name;
      } catch (const qcException& ex) {
        e.error = ex.messageString();
      } catch (const std::exception& ex) {
        e.error = ex.what();
      }
    }
    entries.push_back(std::move(e));
  }
  std::lock_guard<std::mutex> lock(reportMutex());
  report() = std::move(entries);
}

void qc_ccfReader::loadStdDirs() { loadAll(qf_ccfSearchPath()); }

std::vector<qc_ccfReader::ScanEntry> qc_ccfReader::lastScanReport() {
  std::lock_guard<std::mutex> lock(reportMutex());
  return report();
}

bool qf_CcfForceStdDirRead() {
  if (std::getenv("QUORIN_DISALLOW_CCF_READING")) return false;
  qc_ccfReader::loadStdDirs();
  return true;
}

// ---- tokens and values --------------------------------------------------------------------------

std::string qc_AcqStringHelper::nextToken() {
  std::size_t b = 0;
  while (b < size() && isSeparator((*this)[b])) ++b;
  std::size_t e;
  if (b < size() && (*this)[b] == '"') {
    e = find('"', b + 1);
    e = e == npos ? size() : e + 1;
  } else {
    e = b;
    while (e < size() && !isSeparator((*this)[e])) ++e;
  }
  std::string token = substr(b, e - b);
  erase(0, e);
  return token;
}

void qc_AcqStringHelper::expectEquals() {
  std::size_t i = 0;
  while (i < size() && isBlank((*this)[i])) ++i;
  if (i >= size() || (*this)[i] != '=') throw EqualsNotFound();
  std::size_t j = i + 1;
  while (j < size() && isBlank((*this)[j])) ++j;
  if (j >= size()) return;  // nothing but blanks after "=": left as it was
  erase(0, j);
}

void qc_AcqStringHelper::getInt(long& v) {
  const std::string t = nextToken();
  int i = 0;
  std::string rest;
  if (!scanInt(t, i, rest)) throw BadVal("integer", t, 0x10005A04);
  ignored_ += rest;
  v = i;
}

void qc_AcqStringHelper::getDouble(double& v) {
  const std::string t = nextToken();
  double d = 0;
  if (t.empty() || qsys_clxAtof(t.c_str(), &d) != 0) throw BadVal("double", t, 0x10005A09);
  v = d;
}

void qc_AcqStringHelper::getFloat(float& v) {
  const std::string t = nextToken();
  double d = 0;
  if (t.empty() || qsys_clxAtof(t.c_str(), &d) != 0) throw BadVal("float", t, 0x10005A05);
  v = static_cast<float>(d);
}

void qc_AcqStringHelper::getBool(bool& v) {
  const std::string t = nextToken();
  int i = -1;
  std::string rest;
  if (!scanInt(t, i, rest) || (i != 0 && i != 1)) throw BadVal("boolean", "non 0/1 value", 0x10005A07);
  ignored_ += rest;
  v = i == 1;
}

void qc_AcqStringHelper::getQuotedString(std::string& v) {
  const std::string t = nextToken();
  if (t.size() < 2 || t.front() != '"' || t.back() != '"') throw BadVal("quoted string", *this, 0x10005A06);
  v = t.substr(1, t.size() - 2);
}

long qc_AcqStringHelper::getEnumIndex(const std::string& word, const char* const* table) {
  for (long i = 0; table && table[i]; ++i)
    if (word == table[i]) return i;
  return -1;
}

bool qc_AcqStringHelper::putInt(long v) {
  append(std::to_string(v));
  return v >= INT_MIN && v <= INT_MAX;  // what "%d" reads back
}

bool qc_AcqStringHelper::putDouble(double v) {
  append(qfEng(v, 10, 1));
  return std::isfinite(v);
}

void qc_AcqStringHelper::putBool(bool v) { push_back(v ? '1' : '0'); }

bool qc_AcqStringHelper::putQuotedString(const std::string& v) {
  append("\"" + v + "\"");
  // Nothing in a quoted string can be escaped: a quote would end it, a line
  // break end its line, and "//", "/*" or the checksum key would make the
  // reader take the line for a comment or the checksum line.
  return v.find_first_of("\"\r\n") == std::string::npos && v.find("//") == std::string::npos &&
         v.find("/*") == std::string::npos && v.find(kChecksumKey) == std::string::npos;
}

// ---- loader -------------------------------------------------------------------------------------

qc_ccfLoader::qc_ccfLoader(const qc_ccfFileInfo& info, qc_camCfgStore* store)
    : owned_(store ? nullptr : new qc_camCfgStore), store_(store ? store : owned_.get()) {
  if (const std::string* header = info.comment(0)) store_->addComment(*header);
  for (std::size_t i = 0; i < info.numLines(); ++i)
    addLine(info.line(i), static_cast<long>(info.lineNumber(i)), info.comment(info.lineNumber(i)));
}

qc_ccfLoader::~qc_ccfLoader() = default;

void qc_ccfLoader::addLine(const std::string& text, long lineNumber, const std::string* comment, LineNotes* notes) {
  qc_AcqStringHelper cursor(text);
  const std::string category = cursor.nextToken();
  if (category.empty()) return;
  const std::string parameter = cursor.nextToken();
  const char* reason = "Mapping Error";
  if (const auto* p = qc_CCFParameterMap::find(category, parameter)) {
    qcPtrHandle<qc_camCfgEntry> e(store_->entry(p->index));
    const bool made = !e;
    if (made) e = p->factory();
    cursor.expectEquals();
    if (e->parseEx(cursor, false, 0)) {
      if (notes) {
        notes->ignoredInValue = cursor.ignored();
        const std::size_t b = cursor.find_first_not_of(" \t;");
        notes->textAfterValue = b == std::string::npos ? "" : cursor.substr(b);
      }
      if (comment) e->comment(*comment);
      if (made) store_->setEntry(p->index, e);
      return;
    }
    reason = "Bad Enum Value";
  }
  std::string message = ": Parse error";
  if (lineNumber != -1) message += " on Line [" + std::to_string(lineNumber) + "]";
  store_->addParseError(category, parameter, message + ": " + reason);
}
