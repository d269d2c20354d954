// Binary archives and persistent objects.
//
// Byte layout (little-endian whatever the host):
//   stream header: the magic "QRNA" and a 16-bit format version (1);
//   bool, char, signed char, unsigned char: 1 byte; int: 4 bytes;
//   long, unsigned long: 8 bytes (two's complement); double: IEEE-754, 8 bytes;
//   string: a 32-bit length, then the bytes.
// A load checks every length against the bytes left in the stream and throws
// qcArchive::BadData on truncated or corrupt input; nothing is allocated
// beyond what the stream can hold.
//
// Persistent objects write a one-byte version, their base part, then their
// fields.  Each class part of an object is archived once per top-level archive
// operation (haveVisited / setVisited); pointers to persistent objects are
// written with serializePointer, which records the dynamic class name and
// shares objects already written to the same archive.
//
// An archive is used by one thread at a time.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <cstdint>
#include <iosfwd>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <typeinfo>
#include <utility>
#include <vector>

#include <qrn/foundation/geometry.h>

class qcArchive;
class qcException;

// The base of every object that an archive stores and loads.
class qcPersistent {
public:
  // Persistent objects are destroyed through this base (archives create them
  // with make() and hand them out as qcPersistent or a base of the class).
  virtual ~qcPersistent() = default;

  // Archives the whole object (top-level entry: opens an archive operation).
  void serialize(qcArchive& ar);

  // Reads a version-0 object of this class without the pointer record.
  virtual void loadSimple(qcArchive& ar);
  // Brings the object back to its default state before a load (no-op here).
  virtual void reInit() {}

  // True when `level` (a class part) of `object` was already archived in the
  // current archive operation of `ar`; setVisited() marks it so.  A class's
  // dispatchSerialize() returns at once when its part is visited and marks it
  // after archiving it, so a part reached twice in one operation is archived
  // once.
  static bool haveVisited(qcArchive& ar, const void* object, const std::type_info& level);
  static void setVisited(qcArchive& ar, const void* object, const std::type_info& level);

  // Stores or loads a pointer to a persistent object: a null marker, a
  // reference to an object already written to this archive, or the dynamic
  // class name followed by the object.  Loading creates the object through
  // the instantiator registry; an unknown class name throws
  // qcArchive::UnknownClass, an object of the wrong class qcArchive::BadData.
  // On load the caller owns the new object (or shares it, when referenced
  // more than once; the archive never deletes).
  template <class T>
  static void serializePointer(qcArchive& ar, T*& pointer);

  // Archives this object's class parts, base first, in the archive's direction;
  // each class overrides it for its own part (version byte, then its base's
  // dispatchSerialize(), then its fields).  qcPersistent's own part is empty.
  // Throws what the archive throws (qcArchive::BadData on bad input,
  // qcArchive::UnknownVersion for a version the class does not know).
  virtual void dispatchSerialize(qcArchive& ar);

protected:
  // For derived classes only.  qcPersistent holds no data (visited marks live
  // in the archive), so copies leave derived classes' copying unchanged.
  qcPersistent() = default;
  qcPersistent(const qcPersistent&) = default;
  qcPersistent& operator=(const qcPersistent&) = default;

private:
  using IsA_ = bool (*)(const qcPersistent*);
  static qcPersistent* serializePointer_(qcArchive& ar, qcPersistent* pointer, IsA_ isA, const std::type_info& wanted);
};

// Registers a persistent class's make() under its type, so archives can
// recreate it.  `name` defaults to the demangled, qualified C++ name (for
// nested classes "qcAcqFifo::BadParams").
class qc_Instantiator {
public:
  // A class's factory: returns a new default-constructed object, owned by the
  // caller.
  using MakeFn = qcPersistent* (*)();
  // Registers `make` under `name` (null: the demangled type name) and records
  // that name as the type's archive name.  A later registration under the
  // same name replaces the earlier one.  Meant for static objects (see
  // QC_IMPLEMENT_PERSISTENT, QC_REGISTER_PERSISTENT); thread-safe.
  qc_Instantiator(const std::type_info& type, MakeFn make, const char* name = nullptr);

  // The registered name of a type, or the demangled type name when it is not
  // registered.
  static std::string nameOf(const std::type_info& type);
  // make() of a class by registered name; null when unknown.
  static MakeFn find(const std::string& name);
  // The number of registered names.
  static std::size_t count();
  // Every registered name, sorted.
  static std::vector<std::string> names();
};

// Demangled, qualified name of a type ("qcAcqFifo::BadParams").
std::string qfTypeName(const std::type_info& type);

// A binary archive over a stream: stores or loads persistent objects and plain values.
class qcArchive {
public:
  // Whether an archive reads (load) or writes (store) its stream.
  enum Direction { load, store };

  class Errors;
  class BadData;
  class UnknownVersion;
  class UnknownClass;

  // Wraps a stream.  A storing archive writes the header at construction; a
  // loading archive reads and checks it (BadData when absent).  The stream
  // must outlive the archive.  An istream makes a loading archive, an ostream
  // a storing one.  A header with another format version throws BadData too.
  qcArchive(std::iostream& stream, Direction dir);
  qcArchive(std::istream& stream);
  qcArchive(std::ostream& stream);
  // Flushes a storing archive's stream; the stream is not closed.
  ~qcArchive();
  // An archive is bound to its stream and its record of shared objects: it
  // cannot be copied.
  qcArchive(const qcArchive&) = delete;
  qcArchive& operator=(const qcArchive&) = delete;

  // The archive's direction, fixed at construction.
  bool isLoading() const { return dir_ == load; }
  bool isStoring() const { return dir_ == store; }

  // Writes a value in the layout above (a null C string as an empty string)
  // and returns the archive, for chaining.  Throws BadData on a loading archive,
  // on a stream write failure, and for a string longer than 2^32 - 1 bytes.
  qcArchive& operator<<(bool v);
  qcArchive& operator<<(char v);
  qcArchive& operator<<(signed char v);
  qcArchive& operator<<(unsigned char v);
  qcArchive& operator<<(int v);
  qcArchive& operator<<(long v);
  qcArchive& operator<<(unsigned long v);
  qcArchive& operator<<(double v);
  qcArchive& operator<<(const std::string& v);
  qcArchive& operator<<(const char* v);

  // Reads a value in the layout above and returns the archive, for chaining.
  // Throws BadData on a storing archive, on truncated data, and for a bool
  // byte other than 0 or 1; `v` is unchanged when it throws.
  qcArchive& operator>>(bool& v);
  qcArchive& operator>>(char& v);
  qcArchive& operator>>(signed char& v);
  qcArchive& operator>>(unsigned char& v);
  qcArchive& operator>>(int& v);
  qcArchive& operator>>(long& v);
  qcArchive& operator>>(unsigned long& v);
  qcArchive& operator>>(double& v);
  qcArchive& operator>>(std::string& v);

  // Bytes left in a loading archive's stream (counted when the stream can
  // seek; otherwise a very large number, and each read checks the stream).
  // Internal, for the library's archive code.
  std::uint64_t remaining_() const;
  // Internal, for the library's archive code: writes or reads n raw bytes.
  // Throw BadData in the wrong direction, on a write failure or when fewer
  // than n bytes are left.
  void writeBytes_(const void* p, std::size_t n);
  void readBytes_(void* p, std::size_t n);

  // Nesting of archive operations: visited marks live for one outermost
  // operation.  Used through qcArchiveOperation.
  void beginOperation_();
  void endOperation_();

private:
  friend class qcPersistent;
  void init_();
  std::istream* in_ = nullptr;
  std::ostream* out_ = nullptr;
  Direction dir_;
  std::uint64_t left_ = 0;
  bool counted_ = false;
  int depth_ = 0;
  std::set<std::pair<const void*, const std::type_info*>> visited_;
  // Pointer sharing: store side maps object -> id, load side id -> object.
  std::map<const void*, std::uint32_t> storedIds_;
  std::vector<qcPersistent*> loadedObjects_;
};

// RAII scope of one archive operation.
class qcArchiveOperation {
public:
  // Opens an operation on `ar` (which must outlive the scope); operations nest.
  explicit qcArchiveOperation(qcArchive& ar) : ar_(ar) { ar_.beginOperation_(); }
  // Closes it; closing the outermost one forgets the visited marks.
  ~qcArchiveOperation() { ar_.endOperation_(); }
  // A scope is not copied: each opens and closes exactly one operation.
  qcArchiveOperation(const qcArchiveOperation&) = delete;
  qcArchiveOperation& operator=(const qcArchiveOperation&) = delete;

private:
  qcArchive& ar_;
};

// Stores or loads by the archive's direction: `ar << v` on a storing archive,
// `ar >> v` on a loading one.  Returns the archive, so that a class part reads
// `ar || a || b;` on both sides.
qcArchive& operator||(qcArchive& ar, bool& v);
qcArchive& operator||(qcArchive& ar, unsigned char& v);
qcArchive& operator||(qcArchive& ar, long& v);
qcArchive& operator||(qcArchive& ar, unsigned long& v);
qcArchive& operator||(qcArchive& ar, int& v);
qcArchive& operator||(qcArchive& ar, double& v);
qcArchive& operator||(qcArchive& ar, std::string& v);
qcArchive& operator||(qcArchive& ar, signed char& v);

// Archiving of geometry whose coordinates are of type T; only long exists.
template <class T>
struct qf_PersistenceHelper;
// Rectangles of long coordinates: x, y, width, height as longs.
template <>
struct qf_PersistenceHelper<long> {
  // Stores or loads `r` by the archive's direction.
  static void serialize(qcArchive& ar, qcPelRect& r);
};
// Stores or loads a rectangle (x, y, width, height as longs); returns the archive.
qcArchive& operator||(qcArchive& ar, qcPelRect& r);

template <class T>
void qcPersistent::serializePointer(qcArchive& ar, T*& pointer) {
  qcPersistent* p = ar.isStoring() ? static_cast<qcPersistent*>(pointer) : nullptr;
  qcPersistent* r = serializePointer_(
      ar, p, [](const qcPersistent* q) { return dynamic_cast<const T*>(q) != nullptr; }, typeid(T));
  if (ar.isLoading()) pointer = r ? dynamic_cast<T*>(r) : nullptr;
}

// Persistence registration of a class.  In the class body:
//   QC_DECLARE_PERSISTENT(qcExposureProp)
// declares the public static make() and the private static exemplar; in one
// .cpp file:
//   QC_IMPLEMENT_PERSISTENT(qcExposureProp)
// defines them (make() returns a new default-constructed object).
// QC_REGISTER_PERSISTENT(T) registers a class that already has a static
// make() (the exception template provides one).
#define QC_DECLARE_PERSISTENT(T)  \
public:                           \
  static qcPersistent* make();    \
                                  \
private:                          \
  static const qc_Instantiator sExemplar

// Defines T::make() (a new default-constructed T) and the exemplar that
// registers it under T's qualified name; in exactly one .cpp file.
#define QC_IMPLEMENT_PERSISTENT(T)                 \
  qcPersistent* T::make() { return new T; }        \
  const qc_Instantiator T::sExemplar(typeid(T), &T::make)

// Pastes its arguments as they are; the inner step of QC_PP_CAT.  Not for
// applications.
#define QC_PP_CAT2(a, b) a##b
// Pastes its arguments after expanding them (so __COUNTER__ gives a number);
// gives QC_REGISTER_PERSISTENT a fresh object name.  Not for applications.
#define QC_PP_CAT(a, b) QC_PP_CAT2(a, b)
// Registers T (which has a static make()) under its qualified name with an
// unnamed static qc_Instantiator; at namespace scope of one .cpp file.
#define QC_REGISTER_PERSISTENT(T) \
  static const qc_Instantiator QC_PP_CAT(qrn_instantiator_, __COUNTER__)(typeid(T), &T::make)

QRN_API_END
