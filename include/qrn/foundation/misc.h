// Small helpers of the foundation: environment, module handle, clean-up
// objects, debug assertions, CPU features, number formatting and parsing,
// file streams.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <cstdint>
#include <fstream>
#include <functional>
#include <string>

// ---- debug assertions -----------------------------------------------------
// A debug assertion marks a condition that callers must not produce.  It logs
// "qstd_assert: <file>:<line>: <expr>" to stderr, counts, calls the installed
// observer, and returns: the code goes on with its stated fallback.  With the
// environment variable "QUORIN_ASSERT_ABORT" set it aborts instead (for
// debugging).
void qstd_assert_(const char* file, long line, const char* expr = nullptr);
// Asserts `cond`: evaluates it once, in every build, and calls qstd_assert_()
// with the file, line and the condition's text when it is false.
#define qstd_assert(cond) \
  do {                    \
    if (!(cond)) qstd_assert_(__FILE__, __LINE__, #cond); \
  } while (0)

// Observer of assertions (tests): called with file and line of each assertion
// that fires, on the thread that fired it (an empty function observes
// nothing).  qf_setAssertObserver() installs one and returns the previous
// observer.  Thread-safe.
using qcAssertObserver = std::function<void(const char* file, long line)>;
qcAssertObserver qf_setAssertObserver(qcAssertObserver obs);
// Number of assertions fired in the process so far.
unsigned long qf_assertCount();

// ---- environment -------------------------------------------------------------
// The platform the library runs on.
class qcDevEnv {
public:
  // Operating system kinds: 1 other, 2 Linux.
  enum { osOther = 1, osLinux = 2 };
  // The kind of this build's operating system: osLinux on Linux, else osOther.
  static int getOS();
  // A handle standing for the default user-interface font (0: the system's).
  static unsigned long defaultFont();
};

// The handle of a loaded module of the family, by name ("qrnacq").  The handle
// is the dlopen handle of the module file (null when the module is not
// loaded); the dictionary keeps it for the life of the object.
class qcDllDictionary {
public:
  // Looks up "lib<moduleName>.so" (or its ".0" or ".0.1.0" file) among the
  // modules already loaded; it never loads one.  A null name looks up
  // nothing.  `required` is ignored: a module that is not loaded gives a null
  // handle, never an exception.
  qcDllDictionary(const char* moduleName, bool required = false);
  // Gives back the reference to the module that the lookup took.
  ~qcDllDictionary();
  // A dictionary is not copied: it holds one reference to the module.
  qcDllDictionary(const qcDllDictionary&) = delete;
  qcDllDictionary& operator=(const qcDllDictionary&) = delete;
  // The module's dlopen handle, null when it is not loaded; valid while the
  // dictionary lives.
  void* getHandle() const { return handle_; }
  // The name given at construction ("qrnacq"; empty for a null name).
  const std::string& moduleName() const { return name_; }
  // The path of the module file (empty when unknown).
  const std::string& path() const { return path_; }

private:
  std::string name_;
  std::string path_;
  void* handle_ = nullptr;
};

// ---- clean-up objects ------------------------------------------------------
// Objects registered for clean-up are executed (their cleanup() called) in
// reverse order of registration by qsys_cleanupExecute_(); nothing runs them
// at process exit (an object destroyed then just leaves the list).
//
// A copy is registered on its own, with a new tag; assignment keeps each
// object's tag.  Destroying an object waits for a cleanup() of it that runs
// on another thread.  A derived class whose cleanup() uses its own members
// calls unregister() first in its destructor, so that no cleanup() starts
// once they begin to go.
class qc_CleanupObject {
public:
  // Registers the new object (a copy too) with a new tag.  Assignment
  // changes neither object's tag nor registration.  Thread-safe.
  qc_CleanupObject();
  qc_CleanupObject(const qc_CleanupObject&);
  qc_CleanupObject& operator=(const qc_CleanupObject&) { return *this; }
  // unregister(): leaves the list, after waiting for a cleanup() of this
  // object running on another thread.
  virtual ~qc_CleanupObject();
  // The clean-up work, called at most once per registration by
  // qsys_cleanupExecute_(); does nothing here.
  virtual void cleanup() {}
  // The object's clean-up tag: its place in the order of registration
  // (see qsys_cleanup_getNextTag()).
  unsigned long tag() const { return tag_; }
  // Leaves the clean-up list (once; later calls do nothing), after a
  // cleanup() of this object running on another thread has returned.
  void unregister();

private:
  unsigned long tag_;
};
// A new, process-unique clean-up tag (increasing from 1).
unsigned long qsys_cleanup_getNextTag();
// Calls cleanup() of every live clean-up object with a tag of at least
// `fromTag`, newest first, each once.
void qsys_cleanupExecute_(unsigned long fromTag = 0);

// ---- CPU features ------------------------------------------------------------
// Instruction-set features of the processor, which choose the vector kernels.
class qcCpuType {
public:
  // Whether the processor has SSE2 (always on x86-64), and AVX2; false off
  // x86.  The environment variable "QUORIN_DISABLE_SIMD" makes every feature
  // test false.
  static bool SSESupported();
  static bool AVX2Supported();
};

// ---- numbers -----------------------------------------------------------------
// True when a and b differ by at most epsilon (absolutely, or relative to the
// larger magnitude when that is above 1).
bool qfRealEq(double a, double b, double epsilon = 1e-15);
// Engineering notation: `digits` significant digits, exponent a multiple of
// 3 ("12.5e-3", "12.5e+3"), none when it is 0 ("1.5"); with `trim` set,
// trailing zeros are dropped.  `digits` is taken within 1..17; 0, NaN and
// infinities give "0", "nan", "inf" and "-inf".  The result reads back with
// qsys_clxAtof.
std::string qfEng(double value, int digits = 6, int trim = 1);
// Plain decimal text of a number; a double with `precision` significant
// digits, as printf's %g gives it ("1.5", "1e+20").
std::string qfStr(long value);
std::string qfStr(unsigned long value);
std::string qfStr(double value, int precision = 6);
// Hexadecimal (lower case, no prefix), at least minWidth digits (zero-padded;
// minWidth is taken within 0..32).
std::string qfHex(unsigned long value, int minWidth = 0);

// Number text here never depends on the process locale: "1.5" reads and
// writes with a point under any LC_NUMERIC.
//
// Converts text to double.  Leading blanks are skipped; the whole rest of the
// text must be a number ("1.5", "-2e3", "0x1p4", "inf").  Returns 0 and stores
// the value on success, a failed status (bit 31 set) otherwise (value untouched).
std::uint32_t qsys_clxAtof(const char* text, double* value);

// ---- streams -----------------------------------------------------------------
// A file input stream of characters C: std::basic_ifstream under the
// family's name.
template <class C>
class qcBasic_IFstream : public std::basic_ifstream<C> {
public:
  // Not open, or opened on `path` with mode m.  A file that cannot be opened
  // sets failbit; nothing is thrown.
  qcBasic_IFstream() = default;
  explicit qcBasic_IFstream(const std::string& path, std::ios_base::openmode m = std::ios_base::in)
      : std::basic_ifstream<C>(path, m) {}
};
// A file output stream of characters C: std::basic_ofstream under the
// family's name.
template <class C>
class qcBasic_OFstream : public std::basic_ofstream<C> {
public:
  // Not open, or opened on `path` with mode m (by default created or
  // truncated).  A file that cannot be opened sets failbit; nothing is thrown.
  qcBasic_OFstream() = default;
  explicit qcBasic_OFstream(const std::string& path, std::ios_base::openmode m = std::ios_base::out)
      : std::basic_ofstream<C>(path, m) {}
};

QRN_API_END
