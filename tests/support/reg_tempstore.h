// A registry store file of its own for one test: a fresh temporary directory,
// with QUORIN_REGISTRY_FILE pointing at "<dir>/<sub>/registry.reg" for the
// object's lifetime (the previous setting is restored, the directory removed).
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

class RegTempStore {
public:
  explicit RegTempStore(const std::string& sub = "") {
    std::string tmpl = (std::filesystem::temp_directory_path() / "qrn-reg-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    dir_ = tmpl;
    path_ = (sub.empty() ? dir_ / "registry.reg" : dir_ / sub / "registry.reg").string();
    if (const char* old = std::getenv("QUORIN_REGISTRY_FILE")) {
      hadOld_ = true;
      old_ = old;
    }
    ::setenv("QUORIN_REGISTRY_FILE", path_.c_str(), 1);
  }
  ~RegTempStore() {
    if (hadOld_)
      ::setenv("QUORIN_REGISTRY_FILE", old_.c_str(), 1);
    else
      ::unsetenv("QUORIN_REGISTRY_FILE");
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  RegTempStore(const RegTempStore&) = delete;
  RegTempStore& operator=(const RegTempStore&) = delete;

  const std::string& path() const { return path_; }
  const std::filesystem::path& dir() const { return dir_; }
  bool exists() const { return std::filesystem::exists(path_); }

  void write(const std::string& text) const {
    std::filesystem::create_directories(std::filesystem::path(path_).parent_path());
    std::ofstream(path_, std::ios::binary | std::ios::trunc) << text;
  }
  std::string read() const {
    std::ifstream in(path_, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }

private:
  std::filesystem::path dir_;
  std::string path_;
  bool hadOld_ = false;
  std::string old_;
};
