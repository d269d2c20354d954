#include <qrn/foundation/misc.h>

#include <dlfcn.h>
#include <locale.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include <qrn/foundation/exception.h>

// ---- assertions -------------------------------------------------------------------------

namespace {
std::mutex& assertMutex() {
  static std::mutex* m = new std::mutex;
  return *m;
}
qcAssertObserver& assertObserver() {
  static qcAssertObserver* o = new qcAssertObserver;
  return *o;
}
std::atomic<unsigned long> gAssertCount{0};
}  // namespace

void qstd_assert_(const char* file, long line, const char* expr) {
  gAssertCount.fetch_add(1, std::memory_order_relaxed);
  std::fprintf(stderr, "qstd_assert: %s:%ld%s%s\n", file ? file : "?", line, expr ? ": " : "", expr ? expr : "");
  qcAssertObserver obs;
  {
    std::lock_guard<std::mutex> g(assertMutex());
    obs = assertObserver();
  }
  if (obs) obs(file, line);
  if (std::getenv("QUORIN_ASSERT_ABORT")) std::abort();
}

qcAssertObserver qf_setAssertObserver(qcAssertObserver obs) {
  std::lock_guard<std::mutex> g(assertMutex());
  std::swap(obs, assertObserver());
  return obs;
}

unsigned long qf_assertCount() { return gAssertCount.load(std::memory_order_relaxed); }

// ---- environment ------------------------------------------------------------------------

int qcDevEnv::getOS() {
#if defined(__linux__)
  return osLinux;
#else
  return osOther;
#endif
}

unsigned long qcDevEnv::defaultFont() { return 0; }

qcDllDictionary::qcDllDictionary(const char* moduleName, bool /*required*/) : name_(moduleName ? moduleName : "") {
  if (name_.empty()) return;
  std::string file = "lib" + name_ + ".so";
  // Only a module that is already loaded is looked up: RTLD_NOLOAD.
  handle_ = dlopen(file.c_str(), RTLD_LAZY | RTLD_NOLOAD);
  if (!handle_) {
    for (const char* suffix : {".0", ".0.1.0"}) {
      handle_ = dlopen((file + suffix).c_str(), RTLD_LAZY | RTLD_NOLOAD);
      if (handle_) break;
    }
  }
  if (handle_) {
    char buf[4096];
    if (dlinfo(handle_, RTLD_DI_ORIGIN, buf) == 0) path_ = std::string(buf) + "/" + file;
  }
}

qcDllDictionary::~qcDllDictionary() {
  if (handle_) dlclose(handle_);
}

// ---- clean-up objects ------------------------------------------------------------------------

namespace {
struct CleanupList {
  std::mutex m;
  std::condition_variable done;                                   // a cleanup() returned
  std::map<unsigned long, qc_CleanupObject*> live;                // by tag
  std::map<const qc_CleanupObject*, std::thread::id> running;    // cleanup() in progress, by whom
  unsigned long next = 1;
};
CleanupList& cleanupList() {
  static CleanupList* l = new CleanupList;
  return *l;
}
}  // namespace

unsigned long qsys_cleanup_getNextTag() {
  CleanupList& l = cleanupList();
  std::lock_guard<std::mutex> g(l.m);
  return l.next++;
}

qc_CleanupObject::qc_CleanupObject() : tag_(qsys_cleanup_getNextTag()) {
  CleanupList& l = cleanupList();
  std::lock_guard<std::mutex> g(l.m);
  l.live[tag_] = this;
}

qc_CleanupObject::qc_CleanupObject(const qc_CleanupObject&) : qc_CleanupObject() {}

qc_CleanupObject::~qc_CleanupObject() { unregister(); }

void qc_CleanupObject::unregister() {
  CleanupList& l = cleanupList();
  std::unique_lock<std::mutex> g(l.m);
  l.live.erase(tag_);
  // A cleanup() on this thread (an object that goes in its own cleanup())
  // is not waited for.
  l.done.wait(g, [&] {
    auto it = l.running.find(this);
    return it == l.running.end() || it->second == std::this_thread::get_id();
  });
}

void qsys_cleanupExecute_(unsigned long fromTag) {
  CleanupList& l = cleanupList();
  for (;;) {
    qc_CleanupObject* obj = nullptr;
    {
      std::lock_guard<std::mutex> g(l.m);
      auto it = l.live.end();
      if (it == l.live.begin()) return;
      --it;
      if (it->first < fromTag) return;
      obj = it->second;
      l.live.erase(it);  // each object is cleaned up once
      l.running[obj] = std::this_thread::get_id();
    }
    // Clears the mark also when cleanup() throws (the object may be gone
    // by then: only its address is used).
    struct Done {
      CleanupList& l;
      const qc_CleanupObject* obj;
      ~Done() {
        {
          std::lock_guard<std::mutex> g(l.m);
          l.running.erase(obj);
        }
        l.done.notify_all();
      }
    } done{l, obj};
    obj->cleanup();
  }
}

// ---- CPU features ------------------------------------------------------------------------

namespace {
bool simdDisabled() { return std::getenv("QUORIN_DISABLE_SIMD") != nullptr; }
}  // namespace

bool qcCpuType::SSESupported() {
  if (simdDisabled()) return false;
#if defined(__x86_64__) || defined(__i386__)
  return __builtin_cpu_supports("sse2");
#else
  return false;
#endif
}

bool qcCpuType::AVX2Supported() {
  if (simdDisabled()) return false;
#if defined(__x86_64__) || defined(__i386__)
  return __builtin_cpu_supports("avx2");
#else
  return false;
#endif
}

// ---- numbers ------------------------------------------------------------------------------

bool qfRealEq(double a, double b, double epsilon) {
  if (a == b) return true;
  if (std::isnan(a) || std::isnan(b)) return false;
  double diff = std::fabs(a - b);
  double scale = std::max({1.0, std::fabs(a), std::fabs(b)});
  return diff <= epsilon * scale;
}

namespace {
// Number text is the same whatever the process locale: reading and writing
// use the "C" locale (a comma-decimal locale would refuse "1.5").
locale_t cLocale() {
  static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return c;
}
// The "C" locale on this thread while it lives (for the printf family).
class CNumbers {
public:
  CNumbers() : old_(uselocale(cLocale())) {}
  ~CNumbers() { uselocale(old_); }
  CNumbers(const CNumbers&) = delete;
  CNumbers& operator=(const CNumbers&) = delete;

private:
  locale_t old_;
};
}  // namespace

std::string qfEng(double value, int digits, int trim) {
  if (digits < 1) digits = 1;
  if (digits > 17) digits = 17;
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  if (value == 0) return "0";
  // Round to the significant digits first, then place the exponent.
  const CNumbers c;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*e", digits - 1, value);
  double rounded = std::strtod(buf, nullptr);
  int exp10 = static_cast<int>(std::floor(std::log10(std::fabs(rounded))));
  int exp3 = exp10 >= 0 ? (exp10 / 3) * 3 : -(((-exp10) + 2) / 3) * 3;
  double mant = rounded / std::pow(10.0, exp3);
  int intDigits = exp10 - exp3 + 1;  // 1..3
  int decimals = std::max(0, digits - intDigits);
  std::snprintf(buf, sizeof buf, "%.*f", decimals, mant);
  std::string m = buf;
  if (trim && m.find('.') != std::string::npos) {
    while (!m.empty() && m.back() == '0') m.pop_back();
    if (!m.empty() && m.back() == '.') m.pop_back();
  }
  if (exp3 == 0) return m;
  return m + "e" + (exp3 > 0 ? "+" : "") + std::to_string(exp3);
}

std::string qfStr(long value) { return std::to_string(value); }
std::string qfStr(unsigned long value) { return std::to_string(value); }
std::string qfStr(double value, int precision) {
  const CNumbers c;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*g", precision, value);
  return buf;
}

std::string qfHex(unsigned long value, int minWidth) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%0*lx", std::max(0, std::min(minWidth, 32)), value);
  return buf;
}

std::uint32_t qsys_clxAtof(const char* text, double* value) {
  constexpr std::uint32_t kFailed = qf_makeStatus(1, 1);
  if (!text || !value) return kFailed;
  const char* p = text;
  while (*p == ' ' || *p == '\t') ++p;
  if (*p == '\0') return kFailed;
  char* end = nullptr;
  errno = 0;
  double v = strtod_l(p, &end, cLocale());
  if (end == p || *end != '\0') return kFailed;
  if (errno == ERANGE && std::isinf(v)) return kFailed;
  *value = v;
  return 0;
}
