// Registry values over the registry store.
#include <qrn/acq/registry/regvalue.h>

#include <qrn/acq/registry/regstore.h>
#include <qrn/foundation/misc.h>

const char* qf_regRootName(qe_RegRoot root) {
  switch (root) {
    case qe_RegRoot::classesRoot: return "HKEY_CLASSES_ROOT";
    case qe_RegRoot::currentUser: return "HKEY_CURRENT_USER";
    case qe_RegRoot::localMachine: return "HKEY_LOCAL_MACHINE";
    case qe_RegRoot::users: return "HKEY_USERS";
    case qe_RegRoot::currentConfig: return "HKEY_CURRENT_CONFIG";
    case qe_RegRoot::none: break;
  }
  return "";
}

// ---- acRegistryValue ---------------------------------------------------------------

acRegistryValue::acRegistryValue(qe_RegRoot root, std::string subKey, std::string valueName)
    : root_(root), subKey_(std::move(subKey)), valueName_(std::move(valueName)) {}

acRegistryValue::~acRegistryValue() { close(); }

std::string acRegistryValue::fullKey_() const {
  std::string k = qf_regRootName(root_);
  if (!subKey_.empty()) k += "\\" + subKey_;
  return k;
}

bool acRegistryValue::open() {
  qstd_assert(root_ != qe_RegRoot::none);
  qstd_assert(!isOpen_);
  isOpen_ = root_ != qe_RegRoot::none && qc_RegStore().keyExists(fullKey_());
  key_ = isOpen_ ? fullKey_() : std::string();
  return isOpen_;
}

bool acRegistryValue::create() {
  qstd_assert(!isOpen_);
  isOpen_ = root_ != qe_RegRoot::none && qc_RegStore().createKey(fullKey_());
  key_ = isOpen_ ? fullKey_() : std::string();
  return isOpen_;
}

bool acRegistryValue::close() {
  isOpen_ = false;
  key_.clear();
  return true;
}

bool acRegistryValue::load() {
  if (!isOpen_ && !open()) return false;
  const bool ok = read();
  if (ok) modified_ = false;
  return ok;
}

bool acRegistryValue::store() {
  if (!modified_) return false;
  bool ok = false;
  if (isOpen_ || create()) ok = write();
  if (ok) modified_ = false;
  return ok;
}

// ---- typed values --------------------------------------------------------------------

acRegistryInt32::acRegistryInt32(qe_RegRoot root, const std::string& subKey, const std::string& valueName,
                                 long defaultValue, bool autoSync)
    : acRegistryValue(root, subKey, valueName),
      value_(static_cast<std::int32_t>(static_cast<std::uint32_t>(defaultValue))),
      autoSync_(autoSync) {
  if (autoSync_) load();
}

acRegistryInt32::~acRegistryInt32() {
  if (autoSync_) store();
}

bool acRegistryInt32::read() {
  if (!isOpen()) return false;
  auto v = qc_RegStore().value(key(), valueName());
  if (!v || v->type != qc_RegStore::typeDword) return false;
  value_ = static_cast<std::int32_t>(v->dword);
  return true;
}

bool acRegistryInt32::write() {
  return isOpen() && qc_RegStore().setDword(key(), valueName(), static_cast<std::uint32_t>(value_));
}

acRegistryString::acRegistryString(qe_RegRoot root, const std::string& subKey, const std::string& valueName,
                                   const std::string& defaultValue, bool autoSync)
    : acRegistryValue(root, subKey, valueName), value_(defaultValue), autoSync_(autoSync) {
  if (autoSync_) load();
}

acRegistryString::~acRegistryString() {
  if (autoSync_) store();
}

bool acRegistryString::read() {
  if (!isOpen()) return false;
  auto v = qc_RegStore().value(key(), valueName());
  if (!v || v->type != qc_RegStore::typeString) return false;
  value_ = v->text.substr(0, v->text.find('\0'));
  return true;
}

bool acRegistryString::write() { return isOpen() && qc_RegStore().setString(key(), valueName(), value_); }

// ---- one-shot helpers ----------------------------------------------------------------

bool qf_regReadInt32(qe_RegRoot root, const std::string& subKey, const std::string& name, std::int32_t& value) {
  acRegistryInt32 v(root, subKey, name, value, false);
  if (!v.load()) return false;
  value = v.value();
  return true;
}

bool qf_regReadString(qe_RegRoot root, const std::string& subKey, const std::string& name, std::string& value) {
  acRegistryString v(root, subKey, name, value, false);
  if (!v.load()) return false;
  value = v.value();
  return true;
}

bool qf_regWriteInt32(qe_RegRoot root, const std::string& subKey, const std::string& name, std::int32_t value) {
  return acRegistryInt32(root, subKey, name, value, false).store();
}

bool qf_regWriteString(qe_RegRoot root, const std::string& subKey, const std::string& name,
                       const std::string& value) {
  return acRegistryString(root, subKey, name, value, false).store();
}
