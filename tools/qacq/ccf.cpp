// qacq ccf: check, show, re-sum and list camera configuration files.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>
#include <string_view>

#include <qrn/acq/ccf/camcfgstore.h>
#include <qrn/acq/ccf/ccfparammap.h>
#include <qrn/acq/ccf/ccfreader.h>
#include <qrn/foundation/misc.h>

#include "qacq.h"

namespace qacq {

namespace {

std::string hex(std::uint32_t v) { return qfHex(v); }

std::size_t countParseErrors(const qc_camCfgStore& store) {
  std::size_t n = 0;
  for (const auto& [category, list] : store.parseErrors()) n += list.size();
  return n;
}

// Whether a checksum line holds nothing but the key, a hexadecimal number
// and separators (it may then be replaced whole).
bool onlyChecksum(std::string line) {
  if (const std::size_t cr = line.find('\r'); cr != std::string::npos) line.resize(cr);
  const std::size_t key = line.find("ccf_checksum");
  if (key == std::string::npos) return false;
  auto separators = [](const std::string& t) { return t.find_first_not_of(" \t;") == std::string::npos; };
  if (!separators(line.substr(0, key))) return false;
  std::size_t i = key + 12;
  while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
  if (i + 1 < line.size() && line[i] == '0' && (line[i + 1] == 'x' || line[i + 1] == 'X')) i += 2;
  while (i < line.size() && std::isxdigit(static_cast<unsigned char>(line[i]))) ++i;
  return separators(line.substr(i));
}

// The whole of a regular file of at most kCcfMaxBytes (no CCF is larger:
// a larger file is refused before anything is read); a short or failed read
// is an error, never a shorter text.  `nothing` ends each message.
std::string readWhole(const std::string& path, const std::string& shown, const std::string& nothing = "") {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) throw Error("cannot read " + shown + ": " + std::strerror(errno) + nothing);
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) throw Error(shown + ": not a regular file" + nothing);
  if (static_cast<unsigned long long>(st.st_size) > kCcfMaxBytes)
    throw Error(shown + ": " + std::to_string(st.st_size) + " bytes, larger than " + std::to_string(kCcfMaxBytes) +
                " bytes, the most a CCF may hold" + nothing);
  std::string text(static_cast<std::size_t>(st.st_size) + 1, '\0');
  std::size_t got = 0;
  for (;;) {
    const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw Error("cannot read " + shown + ": " + std::strerror(errno) + nothing);
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
    if (got == text.size()) throw Error(shown + ": the file grew while it was read" + nothing);
  }
  if (got != static_cast<std::size_t>(st.st_size)) throw Error(shown + ": the file shrank while it was read" + nothing);
  text.resize(got);
  return text;
}

// The text of a CCF, bounded as readWhole bounds it, read into `info`.
std::string readCcf(const std::string& path, qc_ccfFileInfo& info, bool keepComments) {
  std::string text = readWhole(path, path);
  std::istringstream in(text);
  qc_ccfReader::readStream(in, info, keepComments);
  return text;
}

// The number of physical lines of a text (a last line without LF counts),
// and the text of the lines numbered in `wanted` (at most 256 characters of
// each: the lines the reader read are no longer).  `wanted` is in increasing
// order.
std::size_t scanLines(std::string_view text, const std::vector<std::uint32_t>& wanted,
                      std::map<std::uint32_t, std::string>& texts) {
  std::size_t n = 1;
  bool partial = false;  // characters after the last LF
  auto next = wanted.begin();  // the numbers come in increasing order
  for (const char c : text) {
    if (c == '\n') {
      ++n;
      partial = false;
      continue;
    }
    partial = true;
    while (next != wanted.end() && *next < n) ++next;
    if (next == wanted.end() || *next != n) continue;
    std::string& t = texts[static_cast<std::uint32_t>(n)];
    if (t.size() < 256) t += c;
  }
  return n - 1 + (partial ? 1 : 0);
}

// A line's problem: an exception of the value syntax, or the parse error
// the line recorded in the store.
struct LineResult {
  std::string problem;  // empty: loaded
  bool thrown = false;  // a malformed value or a missing "=", not a parse error
  qc_ccfLoader::LineNotes notes;
};

// Loads the kept lines of a file one by one into `store`, so that every bad
// line is known with its number, a malformed value included (it would
// otherwise end the load).  `each` is called for every line.
template <class F>
void loadLines(const qc_ccfFileInfo& info, qc_camCfgStore& store, F each) {
  qc_ccfLoader loader(qc_ccfFileInfo{}, &store);
  for (std::size_t i = 0; i < info.numLines(); ++i) {
    LineResult r;
    const std::size_t before = countParseErrors(store);
    try {
      loader.addLine(info.line(i), info.lineNumber(i), nullptr, &r.notes);
      if (countParseErrors(store) != before) {
        // The problem recorded by this line: the last one of its category.
        qc_AcqStringHelper cursor(info.line(i));
        const std::string category = cursor.nextToken();
        const auto& rec = store.getParseErrors(category)->back();
        const std::string& msg = rec.message;  // ": Parse error on Line [n]: reason"
        r.problem = category + " " + rec.parameter + ": " + msg.substr(msg.rfind(": ") + 2);
      }
    } catch (const qcException& e) {
      r.problem = e.messageString();
      r.thrown = true;
    }
    each(i, r);
  }
}

// "category name: "<value as written>" is read as <value as held>", for a
// line whose integer scan stopped early ("24O" read as 24).
std::string readShort(const qc_camCfgStore& store, const std::string& line) {
  qc_AcqStringHelper cursor(line);
  const std::string category = cursor.nextToken();
  const std::string parameter = cursor.nextToken();
  cursor.expectEquals();
  std::string written = cursor.substr(0, cursor.find(';'));
  written.erase(written.find_last_not_of(" \t") + 1);
  const auto* p = qc_CCFParameterMap::find(category, parameter);
  qc_camCfgEntry* e = p ? store.entry(p->index) : nullptr;
  qc_AcqStringHelper held;
  if (e && e->numValues() > 0) e->parseEx(held, true, e->numValues() - 1);
  return category + " " + parameter + ": \"" + written + "\" is read as " + held;
}

std::string plural(std::size_t n, const char* word) {
  return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

// Checks one file: every problem and warning with its line, where reading
// stopped, and the checksum verdict.  Returns the number of problems.
std::size_t checkOne(const std::string& path, std::ostream& out) {
  qc_ccfFileInfo info;
  std::string whole;
  try {
    whole = readCcf(path, info, true);
  } catch (const Error& e) {
    out << e.what() << "\n";
    return 1;
  } catch (const qcException& e) {
    out << path << ": " << e.messageString() << "\n";
    return 1;
  }
  qc_camCfgStore store;
  std::size_t problems = 0, warnings = 0;
  loadLines(info, store, [&](std::size_t i, const LineResult& r) {
    const std::string where = path + ": line " + std::to_string(info.lineNumber(i)) + ": ";
    if (!r.problem.empty()) {
      out << where << r.problem << "\n";
      ++problems;
      return;
    }
    if (!r.notes.ignoredInValue.empty()) {
      out << where << "warning: " << readShort(store, info.line(i)) << "\n";
      ++warnings;
    }
    if (!r.notes.textAfterValue.empty()) {
      out << where << "warning: text after the value is ignored: " << r.notes.textAfterValue << "\n";
      ++warnings;
    }
  });
  std::map<std::uint32_t, std::string> sumLines;
  const std::size_t total = scanLines(whole, info.checkSumLines(), sumLines);
  for (const auto& [n, text] : sumLines) {
    if (onlyChecksum(text)) continue;
    out << path << ": line " << n << ": warning: the line holds ccf_checksum, so its other text is ignored\n";
    ++warnings;
  }
  if (const std::uint32_t stop = info.stoppedAtLine()) {
    const std::size_t after = total > stop ? total - stop : 0;
    out << path << ": line " << stop << ": reading stopped: the line is longer than 255 characters; it and the "
        << plural(after, "line") << " after it are not read\n";
    ++problems;
  }
  const std::uint32_t stored = info.checkSum(), computed = info.calcCheckSum();
  if (info.stoppedAtLine() && info.checkSumLines().empty()) {
    out << path << ": no checksum line before line " << info.stoppedAtLine() << ", where reading stopped\n";
  } else if (stored == kCcfNoCheckSum) {
    out << path << ": checksum not checked (" << hex(stored) << ")\n";
  } else if (stored == computed) {
    out << path << ": checksum ok (" << hex(stored) << ")\n";
  } else {
    out << path << ": checksum wrong: stored " << hex(stored) << ", computed " << hex(computed) << "\n";
    ++problems;
  }
  std::string name;
  if (problems == 0) {
    const std::string warned = warnings ? " (" + plural(warnings, "warning") + ")" : "";
    if (store.getParam(0, name) && !name.empty())
      out << path << ": ok, format \"" << name << "\"" << warned << "\n";
    else
      out << path << ": ok, but no format name (format name = \"...\";)" << warned << "\n";
  }
  return problems;
}

// The parameters as read, in map order, then the lines the reader or the
// loader passed over.  A value it cannot read is an error naming the file and
// the line.
int show(const std::string& path, std::ostream& out) {
  qc_ccfFileInfo info;
  readCcf(path, info, false);
  qc_camCfgStore store;
  loadLines(info, store, [&](std::size_t i, const LineResult& r) {
    if (r.thrown)
      throw Error(path + ": line " + std::to_string(info.lineNumber(i)) + ": " + r.problem);
  });
  qc_ccfFileInfo image;
  store.toFileInfo(image);
  for (std::size_t i = 0; i < image.numLines(); ++i) out << image.line(i) << "\n";
  for (const auto& [category, list] : store.parseErrors())
    for (const auto& e : list) out << "# " << category << " " << e.parameter << e.message << "\n";
  if (const std::uint32_t stop = info.stoppedAtLine())
    out << "# reading stopped at line " << stop << " (longer than 255 characters)\n";
  if (!info.checkSumOK()) out << "# checksum wrong\n";
  return exitOk;
}

// Rewrites the file: every physical line as it was but the checksum lines,
// then one checksum line.  A symbolic link is followed: its target is
// rewritten (with its mode) and the link stays.  Written to a temporary file
// beside the target, synced, read back and checked, then renamed over it.
// Refused, with nothing changed: a file over kCcfMaxBytes, one that cannot
// be read whole, and a checksum line that holds other text.
int sum(const std::string& path, std::ostream& out) {
  std::error_code ec;
  const std::filesystem::path target = std::filesystem::canonical(path, ec);
  if (ec) throw Error("cannot read " + path + ": " + ec.message() + "; nothing changed");
  const std::string text = readWhole(target.string(), path, "; nothing changed");
  qc_ccfFileInfo info;
  {
    std::istringstream in(text);
    qc_ccfReader::readStream(in, info, false);
  }

  // The physical lines, and which of them are checksum lines.
  std::vector<std::string_view> lines;
  for (std::size_t b = 0; b < text.size();) {
    std::size_t e = text.find('\n', b);
    if (e == std::string::npos) e = text.size();
    lines.emplace_back(text.data() + b, e - b);
    b = e + 1;
  }
  std::vector<char> drop(lines.size() + 1, 0);
  std::string mixed;
  for (const std::uint32_t n : info.checkSumLines()) {
    if (n == 0 || n > lines.size() || drop[n]) continue;
    if (!onlyChecksum(std::string(lines[n - 1]))) mixed += (mixed.empty() ? "" : ", ") + std::to_string(n);
    drop[n] = 1;
  }
  if (!mixed.empty())
    throw Error(path + ": line " + mixed + " holds other text beside ccf_checksum (the reader ignores it); give the " +
                "checksum a line of its own; nothing changed");

  std::string body;
  body.reserve(text.size() + 32);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (drop[i + 1]) continue;
    body += lines[i];
    body += '\n';
  }
  body += "ccf_checksum " + hex(info.calcCheckSum()) + "\n";

  const std::filesystem::path dir = target.parent_path();
  std::string tmp = dir / ("." + target.filename().string() + ".XXXXXX");
  const int fd = ::mkstemp(tmp.data());
  if (fd < 0) throw Error("cannot create a temporary file beside " + target.string());
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0) ::fchmod(fd, st.st_mode & 07777);
  const char* p = body.data();
  std::size_t left = body.size();
  bool ok = true;
  while (ok && left > 0) {
    const ssize_t w = ::write(fd, p, left);
    if (w < 0 && errno == EINTR) continue;
    ok = w > 0;
    if (ok) p += w, left -= static_cast<std::size_t>(w);
  }
  ok = ok && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;

  if (ok) {
    qc_ccfFileInfo check;
    qc_ccfReader::readFile(tmp, check, false);
    if (!check.checkSumOK() || check.checkSum() != info.calcCheckSum() || check.stoppedAtLine() != 0 ||
        check.numLines() != info.numLines()) {
      ::unlink(tmp.c_str());
      throw Error(path + ": the checksum line would not be read back (an over-long line or an open comment ends "
                         "the file); nothing changed");
    }
  }
  if (!ok || ::rename(tmp.c_str(), target.c_str()) != 0) {
    ::unlink(tmp.c_str());
    throw Error("cannot write " + path);
  }
  out << path << ": checksum " << hex(info.calcCheckSum()) << "\n";
  return exitOk;
}

int list(std::ostream& out) {
  out << "search path: " << qf_ccfSearchPath() << "\n";
  qcStdVideoFormat::fullList();  // the first lookup reads the files
  auto report = qc_ccfReader::lastScanReport();
  if (report.empty()) {
    std::vector<std::string> files;
    qc_ccfReader::findFiles(files);
    for (const std::string& f : files) out << f << ": not read (QUORIN_DISALLOW_CCF_READING)\n";
    if (files.empty()) out << "no CCF files found\n";
    return exitOk;
  }
  for (const auto& e : report) {
    if (!e.format.empty())
      out << e.path << ": format \"" << e.format << "\"\n";
    else
      out << e.path << ": skipped: " << e.error << "\n";
  }
  return exitOk;
}

}  // namespace

int ccf(const CcfOptions& o, std::ostream& out) {
  if (o.action == "check") {
    std::size_t bad = 0;
    for (const std::string& f : o.files) bad += checkOne(f, out) ? 1 : 0;
    return bad ? exitError : exitOk;
  }
  if (o.action == "show") return show(o.files.at(0), out);
  if (o.action == "sum") return sum(o.files.at(0), out);
  if (o.action == "list") return list(out);
  throw UsageError("unknown ccf command \"" + o.action + "\"");
}

}  // namespace qacq
