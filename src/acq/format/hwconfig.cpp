// The hardware configuration of a board, kept in the registry store.
#include <qrn/acq/format/hwconfig.h>

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

#include <qrn/acq/registry/regstore.h>
#include <qrn/acq/registry/regvalue.h>
#include <qrn/foundation/board.h>
#include <qrn/foundation/misc.h>

namespace {

constexpr qe_RegRoot kRoot = qe_RegRoot::localMachine;

std::string listValueName(long index) { return "format" + std::to_string(index); }

bool inListRange(long index) { return index >= 0 && index < qcHWConfig::maxListEntries; }

std::string lowerName(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// The values of the board's key, read once, so that one question sees one
// state of the store (and reads the file once, not once per list entry).
class Snapshot {
public:
  explicit Snapshot(const std::string& key) {
    if (key.empty()) return;
    auto v = qc_RegStore().values(std::string(qf_regRootName(kRoot)) + "\\" + key);
    if (!v) return;
    values_ = std::move(*v);
    for (std::size_t i = 0; i < values_.size(); ++i) byName_.emplace(lowerName(values_[i].name), i);
  }
  bool flag(const std::string& name) const {
    const qc_RegStore::Value* v = find(name);
    return v && v->type == qc_RegStore::typeDword && v->dword != 0;
  }
  const std::string* text(const std::string& name) const {
    const qc_RegStore::Value* v = find(name);
    return v && v->type == qc_RegStore::typeString ? &v->text : nullptr;
  }
  bool inList(const std::string& name) const {
    // A full list of 100 entries without a match does not hold the name.
    for (long i = 0; i < qcHWConfig::maxListEntries; ++i) {
      const std::string* entry = text(listValueName(i));
      if (!entry) return false;
      if (*entry == name) return true;
    }
    return false;
  }

private:
  const qc_RegStore::Value* find(const std::string& name) const {
    auto it = byName_.find(lowerName(name));
    return it == byName_.end() ? nullptr : &values_[it->second];
  }
  std::vector<qc_RegStore::Value> values_;
  std::unordered_map<std::string, std::size_t> byName_;  // lower-case name -> index
};

}  // namespace

qcHWConfig::qcHWConfig(qcBoard* board) : board_(board), bdIdx_(-1) {
  qstd_assert(board != nullptr);
  if (!board) return;
  bdIdx_ = board->bdIdx();
  key_ = "SOFTWARE\\Quorin\\ORB\\utconfig\\board_" + board->name() + "_" + std::to_string(bdIdx_);
}

bool qcHWConfig::getFlag_(const char* valueName) const {
  std::int32_t v = 0;
  return !key_.empty() && qf_regReadInt32(kRoot, key_, valueName, v) && v != 0;
}

bool qcHWConfig::setFlag_(const char* valueName, bool on) {
  return !key_.empty() && qf_regWriteInt32(kRoot, key_, valueName, on ? 1 : 0);
}

bool qcHWConfig::limitFmt() const { return getFlag_("limitFmt"); }
bool qcHWConfig::limitFmt(bool on) { return setFlag_("limitFmt", on); }
bool qcHWConfig::excludeFmt() const { return getFlag_("excludeFmt"); }
bool qcHWConfig::excludeFmt(bool on) { return setFlag_("excludeFmt", on); }
bool qcHWConfig::isCLSimulator() const { return getFlag_("CLSimulator"); }
bool qcHWConfig::isCLSimulator(bool on) { return setFlag_("CLSimulator", on); }
bool qcHWConfig::enableAutoCLSimulator() const { return getFlag_("autoCLSimulator"); }
bool qcHWConfig::enableAutoCLSimulator(bool on) { return setFlag_("autoCLSimulator", on); }

void qcHWConfig::getFmt(long index, std::string& name) const {
  name.clear();
  qstd_assert(inListRange(index));
  if (key_.empty() || !inListRange(index)) return;
  qf_regReadString(kRoot, key_, listValueName(index), name);
}

bool qcHWConfig::addFmtToList(long index, const std::string& name) {
  qstd_assert(inListRange(index));
  if (key_.empty() || !inListRange(index)) return false;
  return qf_regWriteString(kRoot, key_, listValueName(index), name);
}

bool qcHWConfig::isFmtInList(const std::string& name) const { return Snapshot(key_).inList(name); }

bool qcHWConfig::isFmtSupported(const std::string& name) const {
  const Snapshot s(key_);
  const bool limit = s.flag("limitFmt");
  if (!limit && !s.flag("excludeFmt")) return true;
  return s.inList(name) == limit;
}
