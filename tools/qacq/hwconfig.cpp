// qacq hwconfig: show and edit a board's hardware configuration.
#include <qrn/acq/format/hwconfig.h>
#include <qrn/acq/hyper/framegrabber.h>
#include <qrn/acq/registry/regstore.h>
#include <qrn/foundation/board.h>

#include "qacq.h"

namespace qacq {

namespace {

const char* const kRoot = "HKEY_LOCAL_MACHINE\\";

const char* onOff(bool on) { return on ? "on" : "off"; }

std::string storeState(const qc_RegStore& store) {
  const qc_RegStore::Status s = store.check();
  switch (s.kind) {
    case qc_RegStore::Status::ok: return "";
    case qc_RegStore::Status::missing: return " (missing: every value reads as its default)";
    case qc_RegStore::Status::unreadable: return " (unreadable: " + s.message + ")";
    case qc_RegStore::Status::malformed:
      return " (malformed at line " + std::to_string(s.line) + ": " + s.message + "; it is never overwritten)";
  }
  return "";
}

// Throws unless the write succeeded.
void wrote(bool ok, const qc_RegStore& store) {
  if (ok) return;
  std::string why = storeState(store);
  if (!why.empty()) why = why.substr(2, why.size() - 3);  // drop " (" and ")"
  if (why.empty()) why = "is it writable? (QUORIN_REGISTRY_FILE names another file)";
  throw Error("cannot write the registry store " + store.path() + ": " + why);
}

std::vector<std::string> listOf(const qcHWConfig& hw) {
  std::vector<std::string> r;
  for (long i = 0; i < qcHWConfig::maxListEntries; ++i) {
    std::string name;
    hw.getFmt(i, name);
    if (name.empty()) break;
    r.push_back(name);
  }
  return r;
}

// Writes the list and removes the entries after it, so that the list ends
// where it should.
void writeList(qcHWConfig& hw, const std::vector<std::string>& names, qc_RegStore& store) {
  long i = 0;
  for (const std::string& n : names) wrote(hw.addFmtToList(i++, n), store);
  const std::string key = kRoot + hw.keyPath();
  for (; i < qcHWConfig::maxListEntries; ++i) {
    const std::string value = "format" + std::to_string(i);
    if (!store.value(key, value)) break;
    wrote(store.deleteValue(key, value), store);
  }
}

void show(qcFrameGrabber& fg, qcHWConfig& hw, const qc_RegStore& store, std::ostream& out) {
  out << "board " << boardLabel(fg) << ": " << kRoot << hw.keyPath() << "\n";
  out << "registry store: " << store.path() << storeState(store) << "\n";
  out << "limitFmt: " << onOff(hw.limitFmt()) << "\n";
  out << "excludeFmt: " << onOff(hw.excludeFmt()) << "\n";
  const std::vector<std::string> list = listOf(hw);
  out << "formats:" << (list.empty() ? " (none)" : "") << "\n";
  for (std::size_t i = 0; i < list.size(); ++i) out << "  " << i << ": " << list[i] << "\n";
  out << "CLSimulator: " << onOff(hw.isCLSimulator()) << "\n";
  out << "autoCLSimulator: " << onOff(hw.enableAutoCLSimulator()) << "\n";

  // The older per-board limit to one format, which frame grabbers also obey.
  const std::string older = std::string(kRoot) + "SOFTWARE\\Quorin\\ORB\\utconfig\\board" +
                            std::to_string(hw.bdIdx());
  const auto limit = store.value(older, "limitFmt");
  if (limit && limit->type == qc_RegStore::typeDword && limit->dword != 0) {
    const auto f0 = store.value(older, "format0");
    out << "also limited to one format by " << older << ": "
        << (f0 && f0->type == qc_RegStore::typeString ? "\"" + f0->text + "\"" : std::string("(no format0)")) << "\n";
  }
  switch (hw.limitFmt() ? 1 : hw.excludeFmt() ? 2 : 0) {
    case 0: out << "the board offers every format it can acquire\n"; break;
    case 1: out << "the board offers only the listed formats\n"; break;
    default: out << "the board offers every format but the listed ones\n"; break;
  }
}

}  // namespace

int hwconfig(const HwconfigOptions& o, std::ostream& out) {
  qcFrameGrabber& fg = selectBoard(o.board);
  qcBoard* board = dynamic_cast<qcBoard*>(&fg);
  if (!board) throw Error("board " + o.board + " is not in the board list");
  qcHWConfig hw(board);
  qc_RegStore store;

  if (o.action == "limit" || o.action == "exclude") {
    if (o.names.empty()) throw UsageError(o.action + " needs at least one format name");
    if (static_cast<long>(o.names.size()) > qcHWConfig::maxListEntries)
      throw UsageError("the list holds at most " + std::to_string(qcHWConfig::maxListEntries) + " formats");
    for (const std::string& n : o.names) {
      if (!qc_RegStore::canHold(n))
        throw UsageError("a format name cannot hold a line break or a zero byte (the registry store keeps one value a line)");
      if (!o.force) findFormat(n);
    }
    writeList(hw, o.names, store);
    const bool limit = o.action == "limit";
    wrote(hw.limitFmt(limit), store);
    wrote(hw.excludeFmt(!limit), store);
  } else if (o.action == "clear") {
    wrote(hw.limitFmt(false), store);
    wrote(hw.excludeFmt(false), store);
    writeList(hw, {}, store);
  } else if (o.action == "simulator") {
    wrote(hw.isCLSimulator(o.on), store);
  } else if (o.action == "auto-simulator") {
    wrote(hw.enableAutoCLSimulator(o.on), store);
  } else if (o.action != "show") {
    throw UsageError("unknown hwconfig action \"" + o.action + "\"");
  }
  show(fg, hw, store, out);
  return exitOk;
}

}  // namespace qacq
