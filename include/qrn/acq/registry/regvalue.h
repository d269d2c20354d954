// Registry values: one named value under one key of the registry store
// (qrn/acq/registry/regstore.h).
//
// The objects are made on the stack for one read or one write and dropped at
// once.  The usual pattern:
//
//   acRegistryInt32 v(qe_RegRoot::localMachine, "SOFTWARE\\Quorin\\ORB\\utconfig\\board0",
//                     "limitFmt", 0, false);
//   v.load();                  // false when the key or value is missing or of another type
//   long limit = v.value();    // the default when load() failed
//
//   acRegistryString w(qe_RegRoot::localMachine, key, "format0", "Sony XC75 640x480", false);
//   w.store();                 // creates the key when missing; false when the write failed
//
// The helpers qf_regRead... and qf_regWrite... below do exactly that.
//
// Nothing here throws (except std::bad_alloc): failures are false results,
// and they leave the object's value unchanged.  Opening a key that is already
// open, or a value without a root, is a programming error reported by the
// foundation's debug assertion (qstd_assert).  Nothing is cached: each load()
// and store() goes to the store file.  An object belongs to one thread;
// different objects may be used from different threads and processes at once.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <cstdint>
#include <string>

// The predefined roots of the registry; the module uses localMachine.
enum class qe_RegRoot { none = 0, classesRoot, currentUser, localMachine, users, currentConfig };

// The root's name as it heads key paths in the store file ("HKEY_LOCAL_MACHINE");
// empty for none.
const char* qf_regRootName(qe_RegRoot root);

// One named value under one key of the registry store, made for one read or one write.
class acRegistryValue {
public:
  // Closes the key when open.
  virtual ~acRegistryValue();
  // Not copyable: the object stands for one open key.
  acRegistryValue(const acRegistryValue&) = delete;
  acRegistryValue& operator=(const acRegistryValue&) = delete;

  // Fetches the value from the open key into the object; false when the key
  // is not open, the value is missing or has another type.
  virtual bool read() = 0;
  // Puts the object's value into the open key; false when not open or the
  // write failed.
  virtual bool write() = 0;

  // Opens the existing key (asserts: a root is set and the key is not open).
  // Returns whether the key exists; nothing is created.
  bool open();
  // Opens the key, creating it when it does not exist (asserts: not open).
  bool create();
  // True when not open; otherwise closes the key.
  bool close();
  // open() when needed, then read(); on success the value counts as stored.
  // A missing key is not created.
  bool load();
  // Writes the value when it was not yet stored (false at once otherwise):
  // opens or creates the key, then write().
  bool store();

  // True between a successful open() or create() and close().
  bool isOpen() const { return isOpen_; }
  // True until the value was loaded or stored.
  bool modified() const { return modified_; }
  // Where the value lives, as given to the constructor: the root, the key
  // path below it ("SOFTWARE\\Quorin\\..."; empty: the root itself) and the
  // value's name ("" for the key's unnamed value).
  qe_RegRoot root() const { return root_; }
  const std::string& subKey() const { return subKey_; }
  const std::string& valueName() const { return valueName_; }

protected:
  // For the value classes: the value `valueName` under key `subKey` of
  // `root`, not open, and counting as modified.
  acRegistryValue(qe_RegRoot root, std::string subKey, std::string valueName);
  // The open key's full path in the store ("HKEY_LOCAL_MACHINE\\SOFTWARE\\..."); empty when not open.
  const std::string& key() const { return key_; }

private:
  std::string fullKey_() const;

  std::string key_;
  bool isOpen_ = false;
  qe_RegRoot root_;
  std::string subKey_;
  std::string valueName_;
  bool modified_ = true;
};

// A 32-bit value (REG_DWORD: "name"=dword:xxxxxxxx).
class acRegistryInt32 : public acRegistryValue {
public:
  // defaultValue is kept as its low 32 bits.  With autoSync, load() runs at
  // once and the destructor calls store() (which writes only when the load
  // failed).
  acRegistryInt32(qe_RegRoot root, const std::string& subKey, const std::string& valueName, long defaultValue,
                  bool autoSync);
  ~acRegistryInt32() override;

  // The value: the default until a load() or read() succeeds.
  std::int32_t value() const { return value_; }
  // read() takes a dword value (or a four-byte hex(4) one); write() stores
  // the value as a dword.  See acRegistryValue.
  bool read() override;
  bool write() override;

private:
  std::int32_t value_;
  bool autoSync_;
};

// A string value (REG_SZ: "name"="text").  A string ends at its first zero
// character.
class acRegistryString : public acRegistryValue {
public:
  // With autoSync, load() runs at once and the destructor calls store()
  // (which writes only when the load failed).
  acRegistryString(qe_RegRoot root, const std::string& subKey, const std::string& valueName,
                   const std::string& defaultValue, bool autoSync);
  ~acRegistryString() override;

  // The value: the default until a load() or read() succeeds.
  const std::string& value() const { return value_; }
  // read() takes a string value (up to its first zero character); write()
  // stores the value as a string.  See acRegistryValue.
  bool read() override;
  bool write() override;

private:
  std::string value_;
  bool autoSync_;
};

// One read: true and `value` set when the value exists with the right type;
// otherwise false and `value` untouched.
bool qf_regReadInt32(qe_RegRoot root, const std::string& subKey, const std::string& name, std::int32_t& value);
bool qf_regReadString(qe_RegRoot root, const std::string& subKey, const std::string& name, std::string& value);
// One write, creating the key when needed; true on success.
bool qf_regWriteInt32(qe_RegRoot root, const std::string& subKey, const std::string& name, std::int32_t value);
bool qf_regWriteString(qe_RegRoot root, const std::string& subKey, const std::string& name, const std::string& value);

QRN_API_END
