// Feeds arbitrary text to the registry store as its file: every read must
// give a value or nothing, and a write that succeeds must leave a file that
// still parses and holds the value written.  The first bytes pick a value
// name (possibly with odd bytes) for the write.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <qrn/acq/registry/regstore.h>

namespace {
const std::string& storePath() {
  static const std::string path = [] {
    std::string dir = (std::filesystem::temp_directory_path() / "qrn-fuzz-reg-XXXXXX").string();
    if (!::mkdtemp(dir.data())) std::abort();
    return dir + "/registry.reg";
  }();
  return path;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::size_t nameLen = size ? data[0] % 8 : 0;
  if (size < 1 + nameLen) return 0;
  const std::string name(reinterpret_cast<const char*>(data + 1), nameLen);
  const std::string text(reinterpret_cast<const char*>(data + 1 + nameLen), size - 1 - nameLen);
  { std::ofstream(storePath(), std::ios::binary | std::ios::trunc) << text; }

  qc_RegStore reg(storePath());
  const bool parsed = reg.check().kind == qc_RegStore::Status::ok;
  const std::string key = "HKEY_LOCAL_MACHINE\\K";
  for (const std::string& k : reg.subKeys("HKEY_LOCAL_MACHINE")) reg.values("HKEY_LOCAL_MACHINE\\" + k);
  reg.value(key, name);

  if (reg.setString(key, name, "v")) {
    if (!parsed) std::abort();  // a file that does not parse is never written
    if (reg.check().kind != qc_RegStore::Status::ok) std::abort();
    const auto v = reg.value(key, name);
    if (!v || v->text != "v") std::abort();
  }
  if (reg.deleteValue(key, name) && reg.check().kind != qc_RegStore::Status::ok) std::abort();
  return 0;
}
