// The shape shared by every acquisition property class.
//
// A property holds and checks the values of one setting of an acquisition
// FIFO.  It is free (it only holds values and can be copied, assigned and
// archived) or associated with one driver FIFO (qc_AcqFifo), to which it then
// passes every change at once.  The property does not own the FIFO: whoever
// owns the driver FIFO frees the property (clearFifoAssociation()) before the
// FIFO goes.
//
// Building a property class on this header:
//
//   class qcExposureProp : public qc_PersistentProp<qcExposureProp> {
//   public:
//     QC_EXCEPTION(BadParams, qcException, 0x10000985);
//     ...
//   private:
//     QC_PERSISTENT_PROPERTY(qcExposureProp, "acq/hyper/prop/exposure", 0);
//     double exposure_ = defaultExposure;
//   };
//
// and in the class's .cpp file
//
//   QC_IMPLEMENT_PERSISTENT(qcExposureProp);
//   QC_REGISTER_PERSISTENT(qcExposureProp::BadParams);
//   void qcExposureProp::serialize_(qcArchive& ar, unsigned char version) { ... }
//
// qc_Prop<Self> (every property) holds fifo_ and gives:
//   fifo(f), clearFifoAssociation()   association (a second fifo(f) without
//                                     clearing fires a debug assertion, then
//                                     re-associates);
//   copying                           a copy is always free, and assignment
//                                     keeps the target's own association;
//   hookSet_(field, v, op)            "hook first" setters: when associated,
//                                     op(fifo) runs first; then v is stored
//                                     (a FIFO exception leaves field as it was);
//   storeUpdate_(field, v)            "store, then update" setters: v is
//                                     stored, then an associated FIFO gets
//                                     update(*this) once;
//   assignUpdate_(src, copy)          update-style operator=: for another
//                                     object, copy() runs and the FIFO gets
//                                     update(*this) once;
//   require_(ok[, detail])            throws Self::BadParams unless ok;
//   requireRange_(what, v, lo, hi)    likewise unless lo <= v <= hi, with a
//                                     detail naming the value and the bound.
// A class that takes values from the FIFO at association hides fifo(f) with
// its own, which calls qc_Prop<Self>::fifo(f) first.
//
// qc_PersistentProp<Self> (the persistent properties) adds the virtual base
// qcPersistent and the archive skeleton dispatchSerialize():
//   1. each class part is archived once per archive operation (visited marks);
//   2. the version byte is exchanged (ar || v): a store writes the class's
//      newest version, a load reads the stored one;
//   3. a version above the newest throws qcArchive::UnknownVersion(source
//      file, line) before any field is read;
//   4. the persistent base part, then Self::serialize_(ar, v), which stores
//      the fields of version v or reads them and passes them through the
//      setters (or stores them directly, for the classes whose archive says
//      so).
//
// Range checks reject NaN: a NaN is never within a range, so every checked
// setter throws BadParams for it.
//
// Threads: properties take no lock; one thread at a time uses a property (or
// a property set) and its FIFO.  The FIFO operations run on the caller's
// thread, and their exceptions pass through the setters unchanged.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <cmath>
#include <string>
#include <typeinfo>
#include <utility>

#include <qrn/acq/hyper/acqfifo.h>
#include <qrn/foundation/archive.h>
#include <qrn/foundation/exception.h>
#include <qrn/foundation/misc.h>

// ---- range predicates (false for NaN) ---------------------------------------
// The range checks of the setters: lo <= v <= hi, and lo <= v.  Both are
// false for NaN, which compares false with everything.
template <class T>
constexpr bool qf_propInRange(T v, T lo, T hi) {
  return v >= lo && v <= hi;
}
template <class T>
constexpr bool qf_propNotBelow(T v, T lo) {
  return v >= lo;
}

// The detail text of a refused number: "<what> <v><unit> is below <lo><unit>",
// "... is above the maximum <hi><unit>", "<what> is not a number"; empty when
// v is within [lo, hi].
std::string qf_propRangeDetail_(const char* what, double v, double lo, double hi, const char* unit = "");

// Throws qcArchive::UnknownVersion for a property archive of an unknown
// version.
[[noreturn]] inline void qf_propUnknownVersion_(const char* sourceFile, long line) {
  throw qcArchive::UnknownVersion(sourceFile, line);
}

// The archive skeleton, shared by the properties and the property sets: the
// visited check, the version byte, the version check, body(v), the visited
// mark.
template <class Body>
void qf_propDispatch_(qcArchive& ar, const void* object, const std::type_info& level, unsigned char newest,
                      const char* sourceFile, long line, Body&& body) {
  if (qcPersistent::haveVisited(ar, object, level)) return;
  unsigned char v = newest;
  ar || v;
  if (v > newest) qf_propUnknownVersion_(sourceFile, line);
  body(v);
  qcPersistent::setVisited(ar, object, level);
}

// ---- association and setter patterns ------------------------------------------
// The base of every property class; Self is the class built on it.  It holds
// the association with a driver FIFO and gives the setter patterns described
// at the top of this header.  The public members associate and free the
// property (for the owner of the driver FIFO); the protected ones serve the
// property classes.
template <class Self>
class qc_Prop {
public:
  // Associates the property with f.  Nothing is sent to f.  Associating an
  // associated property fires a debug assertion and then re-associates.
  void fifo(qc_AcqFifo& f) {
    if (fifo_) qstd_assert_(Self::sourceFile_, __LINE__, "property associated twice");
    fifo_ = &f;
  }
  // Frees the property.  Nothing is sent to the FIFO.
  void clearFifoAssociation() noexcept { fifo_ = nullptr; }

  // The associated driver FIFO, or null (for the framework and tests).
  qc_AcqFifo* fifoPtr_() const noexcept { return fifo_; }

protected:
  // A free property.
  qc_Prop() = default;
  // A copy is free: the association is never copied.
  qc_Prop(const qc_Prop&) noexcept {}
  // Keeps the target's association; the values are the property class's to
  // copy.
  qc_Prop& operator=(const qc_Prop&) noexcept { return *this; }
  // Sends nothing to the FIFO; the owner of an associated property frees it
  // first.
  ~qc_Prop() = default;

  // This object as the property class itself, for the templates of this base
  // (not for applications).
  Self& self_() noexcept { return static_cast<Self&>(*this); }
  // As above, for a const property.
  const Self& self_() const noexcept { return static_cast<const Self&>(*this); }

  // Throws Self::BadParams (without a detail) unless ok.  For the property
  // classes' setters, not for applications.
  static void require_(bool ok) {
    if (!ok) throw typename Self::BadParams();
  }
  // As above, with what was refused and why as the exception's detail.
  static void require_(bool ok, const std::string& detail) {
    if (!ok) throw typename Self::BadParams().withDetail(detail);
  }
  // Throws BadParams, naming the value and its bounds, unless lo <= v <= hi
  // (never for NaN).
  static void requireRange_(const char* what, double v, double lo, double hi, const char* unit = "") {
    if (!qf_propInRange(v, lo, hi))
      throw typename Self::BadParams().withDetail(qf_propRangeDetail_(what, v, lo, hi, unit));
  }

  // Hook first: the FIFO hears first (when associated), then v is stored.
  template <class T, class U, class Op>
  void hookSet_(T& field, U&& v, Op&& op) {
    if (fifo_) op(*fifo_);
    field = std::forward<U>(v);
  }

  // Tells an associated FIFO the whole property (qc_AcqFifo::update).
  void update_() {
    if (fifo_) fifo_->update(self_());
  }
  // Store, then update.
  template <class T, class U>
  void storeUpdate_(T& field, U&& v) {
    field = std::forward<U>(v);
    update_();
  }
  // Update-style assignment: values copied without checks, FIFO told once.
  template <class Copy>
  void assignUpdate_(const Self& src, Copy&& copy) {
    if (&src == &self_()) return;
    copy();
    update_();
  }

  qc_AcqFifo* fifo_ = nullptr;  // not owned
};

// ---- persistent properties ------------------------------------------------------
// The base of the persistent property classes: qc_Prop<Self> with the
// virtual base qcPersistent and the archive skeleton described at the top of
// this header.
template <class Self>
class qc_PersistentProp : public virtual qcPersistent, public qc_Prop<Self> {
protected:
  // A free property.
  qc_PersistentProp() = default;
  // A copy is free, as for qc_Prop.
  qc_PersistentProp(const qc_PersistentProp&) = default;
  // Keeps the target's association, as for qc_Prop.
  qc_PersistentProp& operator=(const qc_PersistentProp&) = default;
  // Sends nothing to the FIFO, as for qc_Prop.
  ~qc_PersistentProp() override = default;

  // The archive skeleton (steps 1 to 4 at the top of this header): skips a
  // part already visited, exchanges the version byte, throws
  // qcArchive::UnknownVersion for a version above Self::archiveVersion_, then
  // archives the persistent base part and calls Self::serialize_(ar,
  // version).  Called by qcPersistent's archive operations, not by
  // applications.
  void dispatchSerialize(qcArchive& ar) override {
    Self& self = this->self_();
    qf_propDispatch_(ar, &self, typeid(Self), Self::archiveVersion_, Self::sourceFile_, __LINE__,
                     [&](unsigned char v) {
                       qcPersistent::dispatchSerialize(ar);
                       self.serialize_(ar, v);
                     });
  }
};

// In the body of a persistent property class: persistence registration
// (make(), sExemplar), the source file named by UnknownVersion and
// assertions, the newest archive version, and the declaration of
// serialize_(ar, version).  Leaves the access private.
#define QC_PERSISTENT_PROPERTY(T, File, Version)             \
  QC_DECLARE_PERSISTENT(T);                                  \
  friend class qc_Prop<T>;                                   \
  friend class qc_PersistentProp<T>;                         \
                                                             \
public:                                                      \
  static constexpr const char* sourceFile_ = File;           \
  static constexpr unsigned char archiveVersion_ = Version;  \
                                                             \
private:                                                     \
  void serialize_(qcArchive& ar, unsigned char version)

// In the body of a non-persistent property class.  Leaves the access private.
#define QC_PLAIN_PROPERTY(T, File)                 \
  friend class qc_Prop<T>;                         \
                                                   \
public:                                            \
  static constexpr const char* sourceFile_ = File; \
                                                   \
private:                                           \
  static_assert(true)

QRN_API_END
