// The camera configuration parameter map.
#include <qrn/acq/ccf/ccfparammap.h>

#include <map>
#include <ostream>

#include <qrn/foundation/misc.h>

QC_REGISTER_PERSISTENT(qc_CCFParameterMap::BadIndex);
QC_REGISTER_PERSISTENT(qc_CCFParameterMap::UnknownCategory);
QC_REGISTER_PERSISTENT(qc_CCFParameterMap::UnknownParameter);

namespace {

using Info = qc_CCFParameterMap::qs_CCFParameterInfo;
using Lookup = std::map<std::string, std::map<std::string, const Info*>>;

void add(std::vector<Info>& table, long index, const char* category, const char* name,
         qcPtrHandle<qc_camCfgEntry> (*factory)()) {
  qstd_assert(index >= 0 && index < qc_CCFParameterMap::kNumParameters);
  qstd_assert(category && name && factory);
  qstd_assert(table.size() >= static_cast<std::size_t>(qc_CCFParameterMap::kNumParameters));
  if (index < 0 || static_cast<std::size_t>(index) >= table.size() || !category || !name || !factory) return;
  table[static_cast<std::size_t>(index)] = Info{index, category, name, factory};
}

const Lookup& lookup() {
  static const Lookup map = [] {
    Lookup m;
    for (const Info& i : qc_CCFParameterMap::table()) m[i.category][i.name] = &i;
    return m;
  }();
  return map;
}

}  // namespace

const std::vector<Info>& qc_CCFParameterMap::table() {
  static const std::vector<Info> t = [] {
    std::vector<Info> v(static_cast<std::size_t>(kNumParameters));
#define QRN_ADD_(index, category, name, cls) add(v, index, category, name, &qf_New_##cls);
    QRN_CCF_PARAMETERS(QRN_ADD_)
#undef QRN_ADD_
    return v;
  }();
  return t;
}

const Info* qc_CCFParameterMap::find(const std::string& category, const std::string& name) {
  const Lookup& m = lookup();
  auto c = m.find(category);
  if (c == m.end()) return nullptr;
  auto n = c->second.find(name);
  return n == c->second.end() ? nullptr : n->second;
}

const Info& qc_CCFParameterMap::byIndex(long index) {
  if (index < 0) {
    qstd_assert_(__FILE__, __LINE__, "negative parameter index");
    index = 0;
  }
  if (index >= kNumParameters) throw BadIndex();
  return table()[static_cast<std::size_t>(index)];
}

void qc_CCFParameterMap::dump(std::ostream& os) {
  for (const auto& [category, names] : lookup()) {
    os << "+-" << category << "\n";
    for (const auto& [name, info] : names) {
      std::string row = "|---" + name;
      if (row.size() < 35) row.append(35 - row.size(), ' ');
      os << row << info->index << "\n";
    }
  }
}
