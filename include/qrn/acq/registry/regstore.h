// The registry store: per-board settings kept in one text file.
//
// The file uses the registry-export text format, so that a person can read
// and edit it:
//
//   Windows Registry Editor Version 5.00
//
//   ; comments start with a semicolon
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Quorin\ORB\utconfig\board_sim_0]
//   "limitFmt"=dword:00000001
//   "format0"="Sony XC75 640x480"
//   @="the key's unnamed value"
//
// Strings escape `\` as `\\` and `"` as `\"`.  Key paths and value names are
// compared without regard to ASCII case.  Values of other types
// (`hex:...`, `hex(N):...`, continued over lines ending in `\`) are kept as
// they are; `hex(4):` of four bytes is read as a 32-bit value and `hex(1):`
// (UTF-16LE up to a zero) as a string, in UTF-8.  When a key or
// value appears more than once, the last one wins.
//
// Where the file lives: the environment variable "QUORIN_REGISTRY_FILE" when
// it is set and not empty, else "/etc/quorin/registry.reg".  A qc_RegStore
// built without a path looks the variable up again for every call.
//
// Reads never create or change anything.  A missing or unreadable file reads
// as an empty store; so does a file that does not parse, and such a file is
// never overwritten: every write to it fails.  Nothing is cached: every call
// reads the file afresh.
//
// Writes: each changes one thing in one locked cycle.  It takes an exclusive
// advisory lock (flock) on the file, reads it again, makes the change, writes
// the whole text to a temporary file beside it, fsyncs it, renames it over the
// file and fsyncs the directory.  Concurrent writers (threads or processes)
// therefore never lose each other's values, and a crash leaves either the old
// or the new file (at worst a temporary file "<name>.tmp??????", which the
// next write removes).  The
// rest of the text (comments, order, spelling) is kept as it was.  A write
// that would change nothing does not rewrite the file.  A missing file, and
// missing parent directories, are created by a write; a write that fails or
// changes nothing leaves no file behind.  When the file is a symbolic link,
// writes go to its target (the link stays, the target keeps its mode).  A
// write whose result the reader would refuse (above 16 MiB) fails.  Waiting
// for the lock is bounded (10 seconds); after that the write fails.
//
// Key paths are full paths starting with a root name
// ("HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorin"); empty components are ignored.  A
// path of a root alone always exists.  A key also exists when only keys below
// it have sections in the file.  Key paths and names must not hold line
// breaks or zero bytes, strings no line breaks (writes with them fail); a
// string is stored up to its first zero character.
//
// Nothing here throws except std::bad_alloc.  Any thread may call; one object
// may be shared between threads.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The registry store: one text file of per-board settings (see the file's notes).
class qc_RegStore {
public:
  // The registry type numbers of the values.
  enum : unsigned long { typeString = 1, typeBinary = 3, typeDword = 4 };

  // One value of a key, as the file holds it.
  struct Value {
    std::string name;         // as spelt in the file; "" for the unnamed value (@)
    unsigned long type = 0;   // typeString, typeDword, or the N of hex(N) (typeBinary for hex:)
    std::uint32_t dword = 0;  // the number (typeDword)
    std::string text;         // the string (typeString); for other types the data after "=" as written
  };

  // What the file looks like now (for diagnostics and the command-line tool).
  struct Status {
    // The file is fine, does not exist, cannot be read, or does not parse
    // (each of the last three reads as an empty store).
    enum Kind { ok, missing, unreadable, malformed } kind = ok;  // which of the Kinds
    long line = 0;            // malformed: the 1-based line that does not parse
    std::string message;      // empty when ok
  };

  // The path of the store: $QUORIN_REGISTRY_FILE, else "/etc/quorin/registry.reg".
  static std::string defaultPath();

  // A store on the default path, looked up at every call.
  qc_RegStore() = default;
  // A store on a fixed file.
  explicit qc_RegStore(std::string path) : path_(std::move(path)) {}

  // The file this store uses now.
  std::string path() const;

  // Reads the file and says whether it is usable (see Status).
  Status check() const;

  // ---- reads --------------------------------------------------------------
  // Whether the key exists (a path of one component, a root, always does;
  // so does a key with only keys below it in the file); false for an empty
  // path or one holding a line break or a zero byte.
  bool keyExists(const std::string& key) const;
  // The value `name` of a key ("" for the unnamed value), or nullopt when it
  // does not exist.
  std::optional<Value> value(const std::string& key, const std::string& name) const;
  // The values of a key in file order (no duplicates); nullopt when the key
  // does not exist.
  std::optional<std::vector<Value>> values(const std::string& key) const;
  // The names of the direct sub-keys of a key (as spelt in the file, sorted
  // without regard to case).
  std::vector<std::string> subKeys(const std::string& key) const;

  // Whether `text` can be written as a key path, value name or string value:
  // it holds no line break and no zero byte.  (Writes of other names fail; a
  // string value is stored up to its first zero byte.)
  static bool canHold(const std::string& text);

  // ---- writes: true on success ---------------------------------------------
  // Makes sure the key exists (adds an empty section when it does not).
  bool createKey(const std::string& key);
  // Sets value `name` of the key ("" for the unnamed value) to a 32-bit
  // number or a string, replacing a value of that name of any type, and
  // creating the key when needed.
  bool setDword(const std::string& key, const std::string& name, std::uint32_t value);
  bool setString(const std::string& key, const std::string& name, const std::string& value);
  // Removes the value; false when it did not exist (or the write failed).
  bool deleteValue(const std::string& key, const std::string& name);
  // Removes the key's section, its values and every key below it; false when
  // no section of it existed (or the write failed).  A root cannot be deleted.
  bool deleteKey(const std::string& key);

private:
  std::string path_;  // empty: the default path at each call
};

QRN_API_END
