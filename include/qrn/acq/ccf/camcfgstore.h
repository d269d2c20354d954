// The camera configuration store: the typed parameters of one camera
// configuration, indexed by the parameter index of the parameter map
// (<qrn/acq/ccf/ccfparammap.h>), with a free comment, check results and the
// problems that reading a file found.
//
// Each parameter is an entry object of one entry class per value type
// (integer, double, boolean, quoted string, one class per enumeration, and
// the horizontal and vertical timing lists).  setParam/getParam choose the
// class by the C++ type of the value alone: setting a long where a double
// entry stands changes nothing and returns false.
//
// Threads: a store and its entries take no lock; one thread at a time.
// Copies share their entry objects.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <vector>

#include <qrn/acq/ccf/vidfmtext.h>
#include <qrn/foundation/archive.h>
#include <qrn/foundation/exception.h>
#include <qrn/foundation/handle.h>

class qc_AcqStringHelper;
class qc_ccfFileInfo;

// Error codes that a caller's checks attach to entries; the store only keeps
// and returns them.
struct qc_ccfErrors {
  // The codes.
  enum Errors : std::uint32_t {
    // No error.
    none = 0,
    missing = 1,       // a required parameter is absent
    outOfRange = 2,    // a value outside what the camera or board allows
    inconsistent = 3,  // a value that contradicts another parameter
    unsupported = 4,   // a value the board cannot use
  };
};

// One edge of a horizontal timing signal.
struct qs_h_timingSpec {
  // The level the signal takes at the edge (true: high), and where in the
  // line the edge lies, as the file gives it (a whole number).
  bool level = false;
  long position = 0;
  // Same level and position.
  bool operator==(const qs_h_timingSpec& o) const { return level == o.level && position == o.position; }
  bool operator!=(const qs_h_timingSpec& o) const { return !(*this == o); }

  // Archives level, then position (qcArchive's || in both directions).
  void doSerialize(qcArchive& ar, bool loading);
};

// One edge of a vertical timing signal; positions equal within 1e-9.
struct qs_v_timingSpec {
  // The level the signal takes at the edge (true: high), and where in the
  // field the edge lies, as the file gives it (fractions allowed).
  bool level = false;
  double position = 0.0;
  // Same level and positions equal within 1e-9.
  bool operator==(const qs_v_timingSpec& o) const;
  bool operator!=(const qs_v_timingSpec& o) const { return !(*this == o); }

  // Archives level, then position (qcArchive's || in both directions).
  void doSerialize(qcArchive& ar, bool loading);
};

template <class T>
class qc_camCfgElement;
template <class T>
class qc_camCfgList;

// ---- entries --------------------------------------------------------------------

// One parameter of a camera configuration file: its category, name, value and line.
class qc_camCfgEntry : public virtual qcRepBase {
public:
  // The result of the checks: none yet, passed, failed.
  enum qe_Validity { notChecked = 0, valid = 1, invalid = 2 };

  // An entry object of none of the entry classes.
  QC_EXCEPTION(BadType, qcException, 0x10005A50);

  // Entries are shared through qcPtrHandle and destroyed with the last
  // handle.
  ~qc_camCfgEntry() override = default;

  // write false: takes one value off the cursor and stores it (a list
  // appends); false only for an enumeration word not in the table.  write
  // true: appends the text of value `valueIndex` to the cursor; false when
  // that text would not read back as the value (see qc_AcqStringHelper's
  // writing side).
  virtual bool parseEx(qc_AcqStringHelper& cursor, bool write, long valueIndex) = 0;
  // Archives the value(s).
  virtual void serialize(qcArchive& ar, bool loading) = 0;
  // 1 for a single value, the element count for a list.
  virtual long numValues() const { return 1; }
  // Same entry class and equal values (comments and checks not compared).
  virtual bool isEqual(const qc_camCfgEntry& other) const = 0;

  // Typed access, forwarded to the entry's own class.  False when the entry
  // holds another type; BadType for an object of none of the entry classes.
  template <class T>
  bool getValue(T& v) const;
  template <class T>
  bool setValue(const T& v);
  // List elements: get (0 <= k < count, else an assertion and false), put
  // (k == count appends), add, erase.
  template <class S>
  bool getElement(long k, S& timing) const;
  template <class S>
  bool putElement(long k, const S& timing);
  template <class S>
  bool addElement(const S& timing) { return putElement(numValues(), timing); }
  template <class S>
  bool eraseElement(long k);

  // The comment that goes with the entry's line in the file (without the
  // comment marks; empty when none).
  const std::string& comment() const { return comment_; }
  void comment(const std::string& text) { comment_ = text; }
  // false makes the entry invalid; true makes it valid unless it is invalid.
  void setValid(bool ok);
  // The checks' result so far (notChecked until setValid or after
  // resetErrors).
  qe_Validity validity() const { return validity_; }
  // Appends an error code of a check, and the codes appended so far in
  // order (repeats kept).
  void addError(qc_ccfErrors::Errors code) { errors_.push_back(code); }
  const std::vector<qc_ccfErrors::Errors>& errors() const { return errors_; }
  // Not checked, no errors.
  void resetErrors();

protected:
  // True for the entry classes of this header.
  virtual bool isKnownClass_() const { return false; }
  // Throws BadType unless isKnownClass_(); the typed access calls it when
  // the entry is not of the type asked for.
  void checkKnown_() const {
    if (!isKnownClass_()) throw BadType();
  }

private:
  qe_Validity validity_ = notChecked;
  std::string comment_;
  std::vector<qc_ccfErrors::Errors> errors_;
};

// One value of type T.
template <class T>
class qc_camCfgElement : public qc_camCfgEntry {
public:
  // An entry holding v (T's default value by default); the entry classes
  // pass the value of a new entry.
  explicit qc_camCfgElement(T v = T{}) : value_(std::move(v)) {}
  // The value.
  const T& value() const { return value_; }
  // Replaces the value.
  void value(const T& v) { value_ = v; }
  // Same dynamic class and equal value.
  bool isEqual(const qc_camCfgEntry& other) const override {
    return typeid(*this) == typeid(other) && static_cast<const qc_camCfgElement&>(other).value_ == value_;
  }

protected:
  // True: the single-value entry classes derive from this one.
  bool isKnownClass_() const override { return true; }
  // The value.
  T value_;
};

// A list of timing edges.
template <class T>
class QRN_EXPORT qc_camCfgList : public qc_camCfgEntry {
public:
  bool parseEx(qc_AcqStringHelper& cursor, bool write, long valueIndex) override;
  void serialize(qcArchive& ar, bool loading) override;
  long numValues() const override { return static_cast<long>(values_.size()); }
  bool isEqual(const qc_camCfgEntry& other) const override {
    return typeid(*this) == typeid(other) && static_cast<const qc_camCfgList&>(other).values_ == values_;
  }
  // The edges in file order.
  std::vector<T>& values() { return values_; }
  const std::vector<T>& values() const { return values_; }

protected:
  // True: a timing list is one of the entry classes.
  bool isKnownClass_() const override { return true; }

private:
  std::vector<T> values_;
};

// Scalar entry classes: class, value type, value of a new entry.
#define QRN_CCF_SCALAR_CLASSES(X)           \
  X(qc_CamConfigInt32, long, -1)            \
  X(qc_CamConfigDouble, double, -1.0)       \
  X(qc_CamConfigBool, bool, true)           \
  X(qc_CamConfigString, std::string, "")

// Enumeration entry classes: class, value type, value of a new entry, words
// in value order.
#define QRN_CCF_ENUM_CLASSES(X)                                                                              \
  X(qc_CamConfigVidInterface, qc_ccfEnums::qe_vidInterface, 5, "analog", "digital_422", "digital_644",       \
    "ieee1394", "cameralink")                                                                                \
  X(qc_CamConfigVidEncode, qc_ccfEnums::qe_vidEncode, 7, "mono", "PAL", "NTSC", "SVHS", "RGB", "YUV", "RAW")  \
  X(qc_CamConfigPelType, qe_pelType, -1, "mono", "RGBpacked", "RGBplanar", "UYVY", "RAW8", "UYYVYY", "UYV",   \
    "RGB24", "RGBpacked16", "mono16", "RAW16", "RGB48", "mono10", "mono12", "mono16bigendian", "BGR24")       \
  X(qc_CamConfigInterleave, qc_ccfEnums::qe_tapInterleave, 4, "RGB", "pixel", "line", "leftright")           \
  X(qc_CamConfigColorPlaneOrder, qe_colorPlaneOrder, 0, "red_green_blue", "red_blue_green", "green_red_blue", \
    "green_blue_red", "blue_red_green", "blue_green_red")                                                    \
  X(qc_CamConfigHdSignal, qc_ccfEnums::qe_hdSignal, 4, "hd", "hsync", "csync", "ctrl1")                       \
  X(qc_CamConfigVdSignal, qc_ccfEnums::qe_vdSignal, 4, "vd", "vsync", "ctrl1", "ctrl2")                       \
  X(qc_CamConfigSigReference, qc_ccfEnums::qe_sigReference, 3, "none", "sync_separator", "external")          \
  X(qc_CamConfigRefType, qc_ccfEnums::qe_refType, 2, "drive", "sync")                                        \
  X(qc_CamConfigPclkSource, qc_ccfEnums::qe_pclkSource, 3, "oscillator", "pll", "external")                  \
  X(qc_CamConfigDirection, qc_ccfEnums::qe_direction, 3, "in", "out", "unused")                              \
  X(qc_CamConfigInterface, qc_ccfEnums::qe_interface, 3, "ttl", "rs422", "eia644")                           \
  X(qc_CamConfigShutterMode, qc_ccfEnums::qe_shutterMode, 5, "none", "pulse_width_adjust_leading",           \
    "pulse_width_adjust_trailing", "pulse_position", "variable_total")                                      \
  X(qc_CamConfigShutterGranularity, qc_ccfEnums::qe_shutterGranularity, 2, "pel", "line")                    \
  X(qc_CamConfigShutterLine, qc_ccfEnums::qe_shutterLine, 3, "vd", "ctrl1", "ctrl2")                          \
  X(qc_CamConfigStrobeMode, qc_ccfEnums::qe_strobeMode, 4, "trigger", "fixed", "pulse_position", "none")      \
  X(qc_CamConfigPolarity, qc_ccfEnums::qe_polarity, 2, "active_low", "active_high")

// The null-terminated word table of an enumeration type.
template <class E>
struct qc_ccfWords;

// An enumeration value read and written as a word of its table.
template <class E>
class qc_camCfgEnumElement : public qc_camCfgElement<E> {
public:
  using qc_camCfgElement<E>::qc_camCfgElement;
  bool parseEx(qc_AcqStringHelper& cursor, bool write, long valueIndex) override;
  void serialize(qcArchive& ar, bool loading) override;
};

// Declares a scalar entry class and its factory qf_New_<Class>() (which
// returns a new entry holding `init`); used with QRN_CCF_SCALAR_CLASSES
// just below only.
#define QRN_CCF_DECLARE_SCALAR_(Class, T, init)                                        \
  class Class final : public qc_camCfgElement<T> {                                     \
  public:                                                                              \
    Class() : qc_camCfgElement<T>(init) {}                                             \
    bool parseEx(qc_AcqStringHelper& cursor, bool write, long valueIndex) override;    \
    void serialize(qcArchive& ar, bool loading) override;                              \
  };                                                                                   \
  qcPtrHandle<qc_camCfgEntry> qf_New_##Class();
QRN_CCF_SCALAR_CLASSES(QRN_CCF_DECLARE_SCALAR_)
#undef QRN_CCF_DECLARE_SCALAR_

// Declares an enumeration's word table and its entry class and factory
// qf_New_<Class>() (a new entry holds `init`); used with
// QRN_CCF_ENUM_CLASSES just below only.
#define QRN_CCF_DECLARE_ENUM_(Class, E, init, ...)                     \
  template <>                                                          \
  struct qc_ccfWords<E> {                                              \
    static const char* const* table();                                 \
  };                                                                   \
  class Class final : public qc_camCfgEnumElement<E> {                 \
  public:                                                              \
    Class() : qc_camCfgEnumElement<E>(static_cast<E>(init)) {}         \
  };                                                                   \
  qcPtrHandle<qc_camCfgEntry> qf_New_##Class();
QRN_CCF_ENUM_CLASSES(QRN_CCF_DECLARE_ENUM_)
#undef QRN_CCF_DECLARE_ENUM_

// The entry classes of the horizontal and vertical timing lists.
using qc_CamConfigHTiming = qc_camCfgList<qs_h_timingSpec>;
using qc_CamConfigVTiming = qc_camCfgList<qs_v_timingSpec>;
// New, empty horizontal and vertical timing lists.
qcPtrHandle<qc_camCfgEntry> qf_New_qs_CamConfigHTiming();
qcPtrHandle<qc_camCfgEntry> qf_New_qs_CamConfigVTiming();

// The value type a setParam/getParam argument is stored as (void: none).
template <class V>
struct qc_ccfStored {
  // The stored type: void for this general case, S for each argument type
  // V declared below.
  using type = void;
};
// Declares that an argument of type V is stored as S; for the list below
// only.
#define QRN_CCF_STORED_(V, S) \
  template <>                 \
  struct qc_ccfStored<V> {    \
    using type = S;           \
  };
QRN_CCF_STORED_(long, long)
QRN_CCF_STORED_(int, long)
QRN_CCF_STORED_(short, long)
QRN_CCF_STORED_(signed char, long)
QRN_CCF_STORED_(double, double)
QRN_CCF_STORED_(float, double)
QRN_CCF_STORED_(bool, bool)
QRN_CCF_STORED_(std::string, std::string)
QRN_CCF_STORED_(const char*, std::string)
QRN_CCF_STORED_(char*, std::string)
QRN_CCF_STORED_(qs_h_timingSpec, qs_h_timingSpec)
QRN_CCF_STORED_(qs_v_timingSpec, qs_v_timingSpec)
// Every configuration enumeration is stored as itself; for the line below
// only.
#define QRN_CCF_STORED_ENUM_(Class, E, ...) QRN_CCF_STORED_(E, E)
QRN_CCF_ENUM_CLASSES(QRN_CCF_STORED_ENUM_)
#undef QRN_CCF_STORED_ENUM_
#undef QRN_CCF_STORED_

// The factory of the entry class that holds stored type S.
template <class S>
qcPtrHandle<qc_camCfgEntry> qf_ccfNewEntryFor();

// ---- the store ------------------------------------------------------------------------

// The parsed parameters of one camera configuration file, by category and name.
class qc_camCfgStore : public virtual qcRepBase {
public:
  // A problem that reading a file found on a parameter line.
  struct parseErrorInfo {
    std::string parameter;  // as written in the line
    std::string message;    // ": Parse error on Line [n]: <reason>"
  };
  // The parse errors by category (the file's [section] name), in the
  // order found.
  using ParseErrors = std::map<std::string, std::vector<parseErrorInfo>>;

  // An empty store: no entries, comment, checks or parse errors.
  qc_camCfgStore() = default;
  // Copies share the entry objects (a value changed through one store's
  // entry shows in the other; setEntry and deleteEntry do not); comment,
  // checks and parse errors are copied.
  qc_camCfgStore(const qc_camCfgStore&) = default;
  qc_camCfgStore& operator=(const qc_camCfgStore&) = default;
  // Lets go of the store's handles on its entries.
  ~qc_camCfgStore() override = default;

  // The file's free comment (written at its top): get, replace, append to.
  const std::string& comment() const { return comment_; }
  void setComment(const std::string& text) { comment_ = text; }
  void addComment(const std::string& text) { comment_ += text; }
  // One more than the highest index ever set.
  long numEntries() const { return static_cast<long>(entries_.size()); }

  // True when an entry stands at `index` (a negative index fires a debug
  // assertion and is never present).
  bool isPresent(long index) const { return entry(index) != nullptr; }
  // Removes the entry at `index` (nothing when absent); numEntries stays.
  void deleteEntry(long index);
  // The comment of the entry at `index`: get, set; false (and `text`
  // unchanged) when no entry is there.
  bool getComment(long index, std::string& text) const;
  bool setComment(long index, const std::string& text);
  // The entry at an index, or null.
  qc_camCfgEntry* entry(long index) const;
  // Puts an entry at an index (the vector grows as needed).
  void setEntry(long index, qcPtrHandle<qc_camCfgEntry> e);

  // Makes the entry when absent; false when an entry of another class is
  // there.  V: long, int, short, signed char, double, float, bool, string,
  // const char* or one of the configuration enumerations.
  template <class V>
  bool setParam(long index, const V& v);
  // False (output unchanged) when absent or of another class.
  template <class V>
  bool getParam(long index, V& v) const;

  // Timing lists (S: qs_h_timingSpec or qs_v_timingSpec), by the list's
  // index and the edge's position k in it: addParam appends an edge
  // (making the list when absent); getParam reads edge k (0 <= k < count,
  // else a debug assertion and false); putParam replaces edge k or appends
  // at k == count (an absent list is made only for k == 0); eraseParam
  // removes edge k.  Each returns false, changing nothing, when k is out of
  // range or the entry is not a list of S; a negative index fires a debug
  // assertion and gives false.
  template <class S>
  bool addParam(long index, const S& timing);
  template <class S>
  bool getParam(long index, long k, S& timing) const;
  template <class S>
  bool putParam(long index, long k, const S& timing);
  template <class S>
  bool eraseParam(long index, long k);
  // The number of values of the entry at `index` (1 for a single value,
  // the edge count of a list); 0 when absent.
  long getNumParams(long index) const;

  // ---- checks (kept for callers that validate a configuration) ----
  // Appends an error code to the entry at `index`, and reads its codes;
  // false when no entry is there.
  bool addError(long index, qc_ccfErrors::Errors code);
  bool getErrorList(long index, std::vector<qc_ccfErrors::Errors>& codes) const;
  // Every entry's codes, in index order (replacing `codes`); false, codes
  // unchanged, when the store has no entries.
  bool getAllErrors(std::vector<qc_ccfErrors::Errors>& codes) const;
  // The check result of the entry at `index` (qc_camCfgEntry::setValid
  // and validity); false when no entry is there.
  bool setValid(long index, bool ok);
  bool getValid(long index, qc_camCfgEntry::qe_Validity& v) const;
  // Marks the whole configuration invalid (stays until the store is
  // replaced; resetAllCheckErrors keeps it).
  void setInvalid() { invalid_ = true; }
  // ok: not marked invalid, no missing indices and no invalid entry;
  // false, ok unchanged, when the store has no entries.
  bool getValid(bool& ok) const;
  // The parameter indices recorded as missing (by the store's reader and
  // loader), and forgetting them.
  void resetMissingIndices() { missingIndices_.clear(); }
  const std::set<int>& getMissingIndices() const { return missingIndices_; }
  // Forgets the missing indices and every entry's check result and codes.
  void resetAllCheckErrors();

  // The parse errors of a category, or null (the pointer is valid until the
  // store is read into, assigned or destroyed).
  const std::vector<parseErrorInfo>* getParseErrors(const std::string& category) const;
  // All parse errors, by category.
  const ParseErrors& parseErrors() const { return parseErrors_; }

  // Equal values at every index (absent slots at the end do not count;
  // comments and checks are not compared).
  bool operator==(const qc_camCfgStore& o) const;
  bool operator!=(const qc_camCfgStore& o) const { return !(*this == o); }

  // Archives the 93 parameter slots (comment and checks are not archived).
  void serialize(qcArchive& ar);

  // Reads a file into this store, comments kept.  Stores whether its
  // checksum is accepted through `checkSumOK` (when given).  Throws
  // qc_ccfReader::GeneralError, qc_AcqStringHelper::BadVal and
  // EqualsNotFound; other problems become parse errors.
  void readCCF(const std::string& path, bool* checkSumOK = nullptr);
  // Writes the store as a CCF with a correct checksum.  Returns false, and
  // leaves the file as it was, when its reader would not give the store back:
  // an entry past the parameter map, a value the format cannot hold (an
  // integer outside 32 bits, a double that is not finite, a string holding
  // a double quote, a line break, "//", "/*" or "ccf_checksum"), a line over
  // 255 characters, or a comment that would not stay a comment (a CR, a "*/"
  // in a block comment, a block comment whose first line holds "//").  The
  // text is read back before the file is opened.  False also when the file
  // cannot be written.  Throws nothing of its own.
  bool writeCCF(const std::string& path) const;
  // Builds the file image writeCCF writes; false when some value has no
  // text the reader would give back (its line is added all the same) or an
  // entry lies past the parameter map (left out).
  bool toFileInfo(qc_ccfFileInfo& info) const;
  // The CCF files of the first element of `pathList` that holds any.
  static bool findCCFs(const std::string& pathList, std::vector<std::string>& files);
  // Makes and registers the video format named by parameter 0; false when
  // the store has no name.
  bool createVideoFormat() const;

private:
  friend class qc_ccfLoader;
  friend class qc_ccfReader;
  void addParseError(const std::string& category, const std::string& parameter, const std::string& message);
  void setMissingIndex(int index) { missingIndices_.insert(index); }
  template <class S>
  qc_camCfgEntry* entryFor_(long index);

  std::vector<qcPtrHandle<qc_camCfgEntry>> entries_;
  std::string comment_;
  std::set<int> missingIndices_;
  ParseErrors parseErrors_;
  bool invalid_ = false;
};

// ---- templates -------------------------------------------------------------------------

// Fires the debug assertion for a bad index (negative: a parameter index,
// else an element index out of range); for the templates below, not for
// applications.
void qf_ccfAssertIndex_(long index);

template <class T>
bool qc_camCfgEntry::getValue(T& v) const {
  if (auto* e = dynamic_cast<const qc_camCfgElement<T>*>(this)) {
    v = e->value();
    return true;
  }
  checkKnown_();
  return false;
}

template <class T>
bool qc_camCfgEntry::setValue(const T& v) {
  if (auto* e = dynamic_cast<qc_camCfgElement<T>*>(this)) {
    e->value(v);
    return true;
  }
  checkKnown_();
  return false;
}

template <class S>
bool qc_camCfgEntry::getElement(long k, S& timing) const {
  auto* l = dynamic_cast<const qc_camCfgList<S>*>(this);
  if (!l) {
    checkKnown_();
    return false;
  }
  if (k < 0 || k >= l->numValues()) {
    qf_ccfAssertIndex_(k);
    return false;
  }
  timing = l->values()[static_cast<std::size_t>(k)];
  return true;
}

template <class S>
bool qc_camCfgEntry::putElement(long k, const S& timing) {
  auto* l = dynamic_cast<qc_camCfgList<S>*>(this);
  if (!l) {
    checkKnown_();
    return false;
  }
  if (k < 0 || k > l->numValues()) return false;
  if (k == l->numValues())
    l->values().push_back(timing);
  else
    l->values()[static_cast<std::size_t>(k)] = timing;
  return true;
}

template <class S>
bool qc_camCfgEntry::eraseElement(long k) {
  auto* l = dynamic_cast<qc_camCfgList<S>*>(this);
  if (!l) {
    checkKnown_();
    return false;
  }
  if (k < 0 || k >= l->numValues()) return false;
  l->values().erase(l->values().begin() + k);
  return true;
}

template <class S>
qc_camCfgEntry* qc_camCfgStore::entryFor_(long index) {
  if (index < 0) {
    qf_ccfAssertIndex_(index);
    return nullptr;
  }
  if (!isPresent(index)) setEntry(index, qf_ccfNewEntryFor<S>());
  return entry(index);
}

template <class V>
bool qc_camCfgStore::setParam(long index, const V& v) {
  using S = typename qc_ccfStored<std::decay_t<V>>::type;
  static_assert(!std::is_void_v<S>, "not a configuration value type");
  qc_camCfgEntry* e = entryFor_<S>(index);
  return e && e->setValue(static_cast<S>(v));
}

template <class V>
bool qc_camCfgStore::getParam(long index, V& v) const {
  using S = typename qc_ccfStored<V>::type;
  static_assert(!std::is_void_v<S> && !std::is_pointer_v<V>, "not a configuration value type");
  const qc_camCfgEntry* e = entry(index);
  S s{};
  if (!e || !e->getValue(s)) return false;
  v = static_cast<V>(s);
  return true;
}

template <class S>
bool qc_camCfgStore::addParam(long index, const S& timing) {
  qc_camCfgEntry* e = entryFor_<S>(index);
  return e && e->addElement(timing);
}

template <class S>
bool qc_camCfgStore::getParam(long index, long k, S& timing) const {
  const qc_camCfgEntry* e = entry(index);
  return e && e->getElement(k, timing);
}

template <class S>
bool qc_camCfgStore::putParam(long index, long k, const S& timing) {
  if (k != 0 && !isPresent(index)) return false;
  qc_camCfgEntry* e = entryFor_<S>(index);
  return e && e->putElement(k, timing);
}

template <class S>
bool qc_camCfgStore::eraseParam(long index, long k) {
  qc_camCfgEntry* e = entry(index);
  return e && e->eraseElement<S>(k);
}

QRN_API_END
