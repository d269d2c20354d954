// qacq ccf: check, show, re-sum and list camera configuration files.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <qrn/acq/ccf/camcfgstore.h>
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

// Loads the lines one by one so that every bad line is reported with its
// number, a malformed value included (it would otherwise end the load).
// Returns the number of problems.
std::size_t checkOne(const std::string& path, std::ostream& out) {
  qc_ccfFileInfo info;
  try {
    qc_ccfReader::readFile(path, info, true);
  } catch (const qcException& e) {
    out << path << ": " << e.messageString() << "\n";
    return 1;
  }
  qc_camCfgStore store;
  qc_ccfFileInfo none;
  qc_ccfLoader loader(none, &store);
  std::size_t problems = 0;
  for (std::size_t i = 0; i < info.numLines(); ++i) {
    const std::uint32_t n = info.lineNumber(i);
    const std::size_t before = countParseErrors(store);
    try {
      loader.addLine(info.line(i), n, nullptr);
    } catch (const qcException& e) {
      out << path << ": line " << n << ": " << e.messageString() << "\n";
      ++problems;
      continue;
    }
    if (countParseErrors(store) == before) continue;
    // The problem recorded by this line: the last one of its category.
    qc_AcqStringHelper cursor(info.line(i));
    const std::string category = cursor.nextToken();
    const auto& rec = store.getParseErrors(category)->back();
    const std::string& msg = rec.message;  // ": Parse error on Line [n]: reason"
    out << path << ": line " << n << ": " << category << " " << rec.parameter << ": "
        << msg.substr(msg.rfind(": ") + 2) << "\n";
    ++problems;
  }
  const std::uint32_t stored = info.checkSum(), computed = info.calcCheckSum();
  if (stored == kCcfNoCheckSum) {
    out << path << ": checksum not checked (" << hex(stored) << ")\n";
  } else if (stored == computed) {
    out << path << ": checksum ok (" << hex(stored) << ")\n";
  } else {
    out << path << ": checksum wrong: stored " << hex(stored) << ", computed " << hex(computed) << "\n";
    ++problems;
  }
  std::string name;
  if (problems == 0) {
    if (store.getParam(0, name) && !name.empty())
      out << path << ": ok, format \"" << name << "\"\n";
    else
      out << path << ": ok, but no format name (format name = \"...\";)\n";
  }
  return problems;
}

int show(const std::string& path, std::ostream& out) {
  qc_camCfgStore store;
  bool sumOk = false;
  store.readCCF(path, &sumOk);
  qc_ccfFileInfo image;
  store.toFileInfo(image);
  for (std::size_t i = 0; i < image.numLines(); ++i) out << image.line(i) << "\n";
  for (const auto& [category, list] : store.parseErrors())
    for (const auto& e : list) out << "# " << category << " " << e.parameter << e.message << "\n";
  if (!sumOk) out << "# checksum wrong\n";
  return exitOk;
}

// Rewrites the file: every physical line as it was but the checksum lines,
// then one checksum line.  Written to a temporary file in the same directory,
// synced, read back and checked, then renamed over the original.
int sum(const std::string& path, std::ostream& out) {
  qc_ccfFileInfo info;
  qc_ccfReader::readFile(path, info, false);
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  if (!in) throw Error("cannot read " + path);

  std::string body;
  std::string line;
  std::uint32_t n = 0;
  const auto& drop = info.checkSumLines();
  std::istringstream lines(text.str());
  while (std::getline(lines, line)) {
    ++n;
    if (std::find(drop.begin(), drop.end(), n) != drop.end()) continue;
    body += line;
    if (!lines.eof()) body += '\n';
  }
  if (!body.empty() && body.back() != '\n') body += '\n';
  body += "ccf_checksum " + hex(info.calcCheckSum()) + "\n";

  const std::filesystem::path target(path);
  std::string tmp = (target.parent_path().empty() ? std::filesystem::path(".") : target.parent_path()) /
                    ("." + target.filename().string() + ".XXXXXX");
  const int fd = ::mkstemp(tmp.data());
  if (fd < 0) throw Error("cannot create a temporary file beside " + path);
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) ::fchmod(fd, st.st_mode & 07777);
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
    if (!check.checkSumOK() || check.checkSum() != info.calcCheckSum()) {
      ::unlink(tmp.c_str());
      throw Error(path + ": the checksum line would not be read back (an over-long line or an open comment ends "
                         "the file); nothing changed");
    }
  }
  if (!ok || ::rename(tmp.c_str(), path.c_str()) != 0) {
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
