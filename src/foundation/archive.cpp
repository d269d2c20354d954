#include <qrn/foundation/archive.h>

#include <cxxabi.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <istream>
#include <limits>
#include <mutex>
#include <ostream>
#include <typeindex>
#include <unordered_map>

#include <qrn/foundation/exception.h>

namespace {

constexpr char kMagic[4] = {'Q', 'R', 'N', 'A'};
constexpr std::uint16_t kFormatVersion = 1;

// Pointer record tags.
constexpr unsigned char kNullPointer = 0;
constexpr unsigned char kNewObject = 1;
constexpr unsigned char kSharedObject = 2;

// Longest class name accepted in a pointer record.
constexpr std::uint32_t kMaxClassName = 1024;

struct Registry {
  std::mutex m;
  std::unordered_map<std::string, qc_Instantiator::MakeFn> byName;
  std::unordered_map<std::type_index, std::string> names;
};
Registry& registry() {
  static Registry* r = new Registry;  // never destroyed: used by static objects
  return *r;
}

[[noreturn]] void badData(const std::string& what) { throw qcArchive::BadData(what); }

}  // namespace

std::string qfTypeName(const std::type_info& type) {
  int status = 0;
  char* d = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
  std::string r = (status == 0 && d) ? d : type.name();
  std::free(d);
  return r;
}

// ---- qc_Instantiator ----------------------------------------------------------

qc_Instantiator::qc_Instantiator(const std::type_info& type, MakeFn make, const char* name) {
  Registry& r = registry();
  std::string n = name ? name : qfTypeName(type);
  std::lock_guard<std::mutex> g(r.m);
  r.byName[n] = make;
  r.names[std::type_index(type)] = n;
}

std::string qc_Instantiator::nameOf(const std::type_info& type) {
  Registry& r = registry();
  {
    std::lock_guard<std::mutex> g(r.m);
    auto it = r.names.find(std::type_index(type));
    if (it != r.names.end()) return it->second;
  }
  return qfTypeName(type);
}

qc_Instantiator::MakeFn qc_Instantiator::find(const std::string& name) {
  Registry& r = registry();
  std::lock_guard<std::mutex> g(r.m);
  auto it = r.byName.find(name);
  return it == r.byName.end() ? nullptr : it->second;
}

std::vector<std::string> qc_Instantiator::names() {
  Registry& r = registry();
  std::vector<std::string> out;
  {
    std::lock_guard<std::mutex> g(r.m);
    for (const auto& [name, make] : r.byName) out.push_back(name);
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::size_t qc_Instantiator::count() {
  Registry& r = registry();
  std::lock_guard<std::mutex> g(r.m);
  return r.byName.size();
}

// ---- qcArchive ------------------------------------------------------------------

qcArchive::qcArchive(std::iostream& stream, Direction dir) : dir_(dir) {
  if (dir == load)
    in_ = &stream;
  else
    out_ = &stream;
  init_();
}

qcArchive::qcArchive(std::istream& stream) : in_(&stream), dir_(load) { init_(); }

qcArchive::qcArchive(std::ostream& stream) : out_(&stream), dir_(store) { init_(); }

qcArchive::~qcArchive() {
  if (out_) out_->flush();
}

void qcArchive::init_() {
  if (dir_ == load) {
    std::istream& is = *in_;
    auto here = is.tellg();
    if (here != std::streampos(-1)) {
      is.seekg(0, std::ios::end);
      auto end = is.tellg();
      is.seekg(here);
      if (end != std::streampos(-1) && end >= here) {
        left_ = static_cast<std::uint64_t>(end - here);
        counted_ = true;
      }
    }
    is.clear();
    char magic[4];
    readBytes_(magic, 4);
    if (std::memcmp(magic, kMagic, 4) != 0) badData("not an archive (bad magic)");
    unsigned char v[2];
    readBytes_(v, 2);
    std::uint16_t version = static_cast<std::uint16_t>(v[0] | (v[1] << 8));
    if (version != kFormatVersion) badData("unsupported archive format version " + std::to_string(version));
  } else {
    writeBytes_(kMagic, 4);
    unsigned char v[2] = {static_cast<unsigned char>(kFormatVersion & 0xFF),
                          static_cast<unsigned char>(kFormatVersion >> 8)};
    writeBytes_(v, 2);
  }
}

std::uint64_t qcArchive::remaining_() const {
  return counted_ ? left_ : std::numeric_limits<std::uint64_t>::max();
}

void qcArchive::writeBytes_(const void* p, std::size_t n) {
  if (!out_) throw qcArchive::BadData("write to a loading archive");
  out_->write(static_cast<const char*>(p), static_cast<std::streamsize>(n));
  if (!*out_) throw qcArchive::BadData("archive stream write failed");
}

void qcArchive::readBytes_(void* p, std::size_t n) {
  if (!in_) throw qcArchive::BadData("read from a storing archive");
  if (counted_ && n > left_) badData("truncated archive");
  in_->read(static_cast<char*>(p), static_cast<std::streamsize>(n));
  if (static_cast<std::size_t>(in_->gcount()) != n) badData("truncated archive");
  if (counted_) left_ -= n;
}

namespace {
template <class U>
void putLE(qcArchive& ar, U v, int bytes) {
  unsigned char b[8];
  for (int i = 0; i < bytes; ++i) b[i] = static_cast<unsigned char>((static_cast<std::uint64_t>(v) >> (8 * i)) & 0xFF);
  ar.writeBytes_(b, static_cast<std::size_t>(bytes));
}
std::uint64_t getLE(qcArchive& ar, int bytes) {
  unsigned char b[8];
  ar.readBytes_(b, static_cast<std::size_t>(bytes));
  std::uint64_t v = 0;
  for (int i = 0; i < bytes; ++i) v |= static_cast<std::uint64_t>(b[i]) << (8 * i);
  return v;
}
}  // namespace

qcArchive& qcArchive::operator<<(bool v) { putLE(*this, v ? 1u : 0u, 1); return *this; }
qcArchive& qcArchive::operator<<(char v) { putLE(*this, static_cast<unsigned char>(v), 1); return *this; }
qcArchive& qcArchive::operator<<(signed char v) { putLE(*this, static_cast<unsigned char>(v), 1); return *this; }
qcArchive& qcArchive::operator<<(unsigned char v) { putLE(*this, v, 1); return *this; }
qcArchive& qcArchive::operator<<(int v) { putLE(*this, static_cast<std::uint32_t>(v), 4); return *this; }
qcArchive& qcArchive::operator<<(long v) { putLE(*this, static_cast<std::uint64_t>(v), 8); return *this; }
qcArchive& qcArchive::operator<<(unsigned long v) { putLE(*this, static_cast<std::uint64_t>(v), 8); return *this; }
qcArchive& qcArchive::operator<<(double v) {
  std::uint64_t bits;
  std::memcpy(&bits, &v, 8);
  putLE(*this, bits, 8);
  return *this;
}
qcArchive& qcArchive::operator<<(const std::string& v) {
  if (v.size() > 0xFFFFFFFFu) throw qcArchive::BadData("string too long for an archive");
  putLE(*this, static_cast<std::uint32_t>(v.size()), 4);
  writeBytes_(v.data(), v.size());
  return *this;
}
qcArchive& qcArchive::operator<<(const char* v) { return *this << std::string(v ? v : ""); }

qcArchive& qcArchive::operator>>(bool& v) {
  auto b = getLE(*this, 1);
  if (b > 1) badData("corrupt bool in archive");
  v = b != 0;
  return *this;
}
qcArchive& qcArchive::operator>>(char& v) { v = static_cast<char>(getLE(*this, 1)); return *this; }
qcArchive& qcArchive::operator>>(signed char& v) { v = static_cast<signed char>(static_cast<unsigned char>(getLE(*this, 1))); return *this; }
qcArchive& qcArchive::operator>>(unsigned char& v) { v = static_cast<unsigned char>(getLE(*this, 1)); return *this; }
qcArchive& qcArchive::operator>>(int& v) { v = static_cast<int>(static_cast<std::uint32_t>(getLE(*this, 4))); return *this; }
qcArchive& qcArchive::operator>>(long& v) { v = static_cast<long>(getLE(*this, 8)); return *this; }
qcArchive& qcArchive::operator>>(unsigned long& v) { v = static_cast<unsigned long>(getLE(*this, 8)); return *this; }
qcArchive& qcArchive::operator>>(double& v) {
  std::uint64_t bits = getLE(*this, 8);
  std::memcpy(&v, &bits, 8);
  return *this;
}
qcArchive& qcArchive::operator>>(std::string& v) {
  std::uint32_t n = static_cast<std::uint32_t>(getLE(*this, 4));
  if (counted_ && n > left_) badData("truncated archive (string length beyond the data)");
  std::string s;
  // Read in bounded chunks so that an uncounted stream with a hostile length
  // fails at its end instead of allocating the whole length up front.
  constexpr std::uint32_t kChunk = 1u << 16;
  while (s.size() < n) {
    std::uint32_t k = std::min<std::uint32_t>(kChunk, n - static_cast<std::uint32_t>(s.size()));
    std::size_t old = s.size();
    s.resize(old + k);
    readBytes_(&s[old], k);
  }
  v.swap(s);
  return *this;
}

void qcArchive::beginOperation_() { ++depth_; }
void qcArchive::endOperation_() {
  if (--depth_ == 0) visited_.clear();
}

// ---- operator|| ----------------------------------------------------------------

#define QRN_ARCHIVE_EITHER(T)                            \
  qcArchive& operator||(qcArchive& ar, T& v) {           \
    return ar.isStoring() ? (ar << v) : (ar >> v);       \
  }
QRN_ARCHIVE_EITHER(bool)
QRN_ARCHIVE_EITHER(unsigned char)
QRN_ARCHIVE_EITHER(signed char)
QRN_ARCHIVE_EITHER(long)
QRN_ARCHIVE_EITHER(unsigned long)
QRN_ARCHIVE_EITHER(int)
QRN_ARCHIVE_EITHER(double)
QRN_ARCHIVE_EITHER(std::string)
#undef QRN_ARCHIVE_EITHER

void qf_PersistenceHelper<long>::serialize(qcArchive& ar, qcPelRect& r) {
  long x = r.x(), y = r.y(), w = r.width(), h = r.height();
  ar || x || y || w || h;
  if (ar.isLoading()) r = qcPelRect(x, y, w, h);
}

qcArchive& operator||(qcArchive& ar, qcPelRect& r) {
  qf_PersistenceHelper<long>::serialize(ar, r);
  return ar;
}

// ---- qcPersistent ------------------------------------------------------------------

void qcPersistent::serialize(qcArchive& ar) {
  qcArchiveOperation op(ar);
  dispatchSerialize(ar);
}

void qcPersistent::loadSimple(qcArchive& ar) {
  if (!ar.isLoading()) throw qcArchive::BadData("loadSimple on a storing archive");
  serialize(ar);
}

void qcPersistent::dispatchSerialize(qcArchive&) {}

bool qcPersistent::haveVisited(qcArchive& ar, const void* object, const std::type_info& level) {
  return ar.visited_.count({object, &level}) != 0;
}

void qcPersistent::setVisited(qcArchive& ar, const void* object, const std::type_info& level) {
  ar.visited_.insert({object, &level});
}

qcPersistent* qcPersistent::serializePointer_(qcArchive& ar, qcPersistent* p, IsA_ isA,
                                              const std::type_info& wanted) {
  auto wrongClass = [&](const qcPersistent* made) {
    badData("archive holds a " + qc_Instantiator::nameOf(typeid(*made)) + " where a " + qfTypeName(wanted) +
            " was expected");
  };
  qcArchiveOperation op(ar);
  if (ar.isStoring()) {
    if (!p) {
      ar << kNullPointer;
      return nullptr;
    }
    const void* key = dynamic_cast<const void*>(p);
    auto it = ar.storedIds_.find(key);
    if (it != ar.storedIds_.end()) {
      ar << kSharedObject << static_cast<long>(it->second);
      return p;
    }
    std::uint32_t id = static_cast<std::uint32_t>(ar.storedIds_.size());
    ar.storedIds_[key] = id;
    ar << kNewObject << qc_Instantiator::nameOf(typeid(*p));
    p->dispatchSerialize(ar);
    return p;
  }
  unsigned char tag = 0;
  ar >> tag;
  switch (tag) {
    case kNullPointer:
      return nullptr;
    case kSharedObject: {
      long id = 0;
      ar >> id;
      if (id < 0 || static_cast<std::size_t>(id) >= ar.loadedObjects_.size())
        badData("archive refers to an object that was not loaded");
      qcPersistent* shared = ar.loadedObjects_[static_cast<std::size_t>(id)];
      if (!isA(shared)) wrongClass(shared);
      return shared;
    }
    case kNewObject: {
      std::uint32_t n = static_cast<std::uint32_t>(getLE(ar, 4));
      if (n > kMaxClassName) badData("class name too long in archive");
      std::string name(n, '\0');
      ar.readBytes_(name.data(), n);
      qc_Instantiator::MakeFn make = qc_Instantiator::find(name);
      if (!make) throw qcArchive::UnknownClass(name);
      std::unique_ptr<qcPersistent> obj(make());
      ar.loadedObjects_.push_back(obj.get());
      try {
        obj->dispatchSerialize(ar);
      } catch (...) {
        ar.loadedObjects_.pop_back();
        throw;
      }
      if (!isA(obj.get())) {
        ar.loadedObjects_.pop_back();
        wrongClass(obj.get());
      }
      return obj.release();
    }
    default:
      badData("corrupt pointer record in archive");
  }
}

