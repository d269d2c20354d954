// Exceptions of the library family.
//
// Every exception class derives from qcException (or qcExceptionWithString
// when it carries a text), is persistent, and has make(), errorNumber() and
// suicideAndRethrow().  Its message and archive class name are its qualified
// C++ name ("qcAcqFifo::BadParams").  Declare one with a single line:
//
//   class qcAcqFifo { public:
//     QC_EXCEPTION(BadParams, qcException, 0x100009C5);
//   };
//
// and register it for archives in one .cpp file with
//   QC_REGISTER_PERSISTENT(qcAcqFifo::BadParams);
//
// A thrower may add a detail text saying what was refused and why:
//
//   throw BadParams().withDetail("unknown custom item \"Bogus\"");
//
// The detail does not change the class, the error number, messageString() or
// the archive; what() gives "<message>: <detail>" when a detail is present.
//
// Archive of an exception: a version byte (0), then the base exception's
// data (qcException: its own version byte; qcExceptionWithString: a version
// byte and the text).  The detail is not archived.  Any other version throws
// qcArchive::UnknownVersion
// built with the qualified class name and line 0.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <cstdint>
#include <exception>
#include <iosfwd>
#include <string>
#include <typeinfo>

#include <qrn/foundation/archive.h>

// The base of the module's exceptions: a class number and a message.
class qcException : public qcPersistent, public std::exception {
public:
  // A default exception has no detail.  A copy takes the detail; what() is
  // rebuilt for each copy.
  qcException() = default;
  qcException(const qcException&) = default;
  qcException& operator=(const qcException&) = default;
  ~qcException() override = default;

  // The 32-bit code of the class; 0 for classes without their own number.
  virtual unsigned long errorNumber() const { return 0; }
  // Copies itself, deletes itself and throws the copy.  Only for exceptions
  // allocated with new (as archives and converters create them).
  [[noreturn]] virtual void suicideAndRethrow();
  // A heap copy of the exception with its dynamic type.
  virtual qcException* clone() const;

  // The message (by default the qualified class name), written to `os` or
  // returned as a string.  Without the detail.
  void message(std::ostream& os) const { message_(os); }
  std::string messageString() const;
  // Extra text carried by the exception (empty for plain exceptions).
  virtual std::string info() const { return {}; }
  // The qualified class name of the dynamic type.
  std::string className() const;
  // What was refused and why, as the thrower told it (empty when it did not),
  // and its setter (withDetail() sets it while throwing).  Not archived.
  const std::string& detail() const { return detail_; }
  void setDetail(std::string detail) { detail_ = std::move(detail); }

  // The message, followed by ": " and the detail when there is one.
  const char* what() const noexcept override;

  // Persistence: make() returns a new default qcException (owned by the
  // caller) for archives; dispatchSerialize() archives the version byte.
  static qcPersistent* make() { return new qcException; }
  void dispatchSerialize(qcArchive& ar) override;

protected:
  // Writes the message: the qualified class name here.  Classes override it
  // to change message(), messageString() and what().
  virtual void message_(std::ostream& os) const;

private:
  std::string detail_;
  mutable std::string what_;
};

// An exception that carries a text of its own.
class qcExceptionWithString : public qcException {
public:
  // With an empty text, or carrying `text` (a null pointer gives an empty text).
  qcExceptionWithString() = default;
  explicit qcExceptionWithString(const char* text) : text_(text ? text : "") {}
  explicit qcExceptionWithString(std::string text) : text_(std::move(text)) {}

  // The carried text, as given to the constructor (info() returns a copy).
  std::string info() const override { return text_; }
  const std::string& text() const { return text_; }

  // Persistence: make() returns a new qcExceptionWithString with an empty
  // text (owned by the caller); dispatchSerialize() archives a version byte,
  // the qcException part and the text.
  static qcPersistent* make() { return new qcExceptionWithString; }
  void dispatchSerialize(qcArchive& ar) override;

protected:
  // The carried text, or the class name when the text is empty.
  void message_(std::ostream& os) const override;

private:
  std::string text_;
};

// Throws qcArchive::UnknownVersion for the version check of an exception
// class (helper of the template below).
[[noreturn]] void qf_throwUnknownExceptionVersion(const std::type_info& type);

// The shape shared by every concrete exception class.
template <class Self, class Base, unsigned long Number>
class qcExceptionT : public Base {
public:
  // The constructors of Base (a text for qcExceptionWithString classes), and
  // the default one.
  using Base::Base;
  qcExceptionT() = default;

  // The class's code: Number (0 for a class declared without a code of its own).
  unsigned long errorNumber() const override { return Number; }
  // Copies itself as Self, deletes itself and throws the copy, so a handler
  // catches the concrete class.  Only for exceptions allocated with new.
  [[noreturn]] void suicideAndRethrow() override {
    Self copy(static_cast<const Self&>(*this));
    delete this;
    throw copy;
  }
  // A heap copy as Self (detail included), owned by the caller.
  qcException* clone() const override { return new Self(static_cast<const Self&>(*this)); }
  // A new default Self, owned by the caller; what archives register.
  static qcPersistent* make() { return new Self; }
  // Sets the detail text and returns the exception itself, for
  // `throw Name().withDetail(...)`.
  Self& withDetail(std::string detail) {
    this->setDetail(std::move(detail));
    return static_cast<Self&>(*this);
  }

  // Archives a version byte (0), then the Base part.  A loaded version other
  // than 0 throws qcArchive::UnknownVersion naming the class.
  void dispatchSerialize(qcArchive& ar) override {
    unsigned char version = 0;
    ar || version;
    if (version != 0) qf_throwUnknownExceptionVersion(typeid(Self));
    Base::dispatchSerialize(ar);
  }
};

// One-line declaration of an exception class.  Number 0 declares a base class
// without its own code (an `Errors` class).
#define QC_EXCEPTION(Name, Base, Number)                                   \
  class Name : public qcExceptionT<Name, Base, Number> {                   \
  public:                                                                  \
    using qcExceptionT<Name, Base, Number>::qcExceptionT;                  \
  }

// Statuses of the procedural helpers: bit 31 set on failure, the facility in
// bits 16..27, the code in bits 0..15.  The record libraries number their
// statuses the compact way instead: bits 16..27 zero, the facility in bits
// 5..15 and the code in bits 0..4 (0x80000640 + k is facility 50, code k).
// qf_statusFacility() gives a status's facility in either numbering;
// qf_makeStatus() builds a status the wide way (bit 31 set when `failed`).
constexpr std::uint32_t qf_statusFacility(std::uint32_t status) {
  const std::uint32_t wide = (status >> 16) & 0xFFFu;
  return wide ? wide : (status & 0xFFFFu) >> 5;
}
constexpr std::uint32_t qf_makeStatus(std::uint32_t facility, std::uint32_t code, bool failed = true) {
  return (failed ? 0x80000000u : 0u) | ((facility & 0xFFFu) << 16) | (code & 0xFFFFu);
}

// A converter throws the exception that stands for a failed status.
using qcExceptionConverter = void (*)(std::uint32_t status);

// Registers the converter of one facility, 0..4095 (higher bits are ignored);
// replaces an earlier one, and null removes it.  Thread-safe.
void qfRegisterExceptionConverter(std::uint32_t facility, qcExceptionConverter fn);
// Does nothing for a status without bit 31.  For a failed status calls the
// facility's converter; when there is none, or it returns, throws
// qcStatusError.
void qfThrowExceptionOnFailure(std::uint32_t status);

// A failed status that no converter turned into an exception of its own.
class qcStatusError : public qcExceptionT<qcStatusError, qcExceptionWithString, 0x10000100> {
public:
  // Status 0 and an empty text (as archives create it).
  qcStatusError() = default;
  // For `status`, with the text "failed status 0x8xxxxxxx" (8 hex digits).
  explicit qcStatusError(std::uint32_t status);
  // The failed status.  Only the text is archived: a loaded qcStatusError
  // gives 0.
  std::uint32_t status() const { return status_; }

private:
  std::uint32_t status_ = 0;
};

// Exceptions of archives.
class qcArchive::Errors : public qcExceptionT<qcArchive::Errors, qcExceptionWithString, 0x10000101> {
public:
  using qcExceptionT<qcArchive::Errors, qcExceptionWithString, 0x10000101>::qcExceptionT;
};
// Truncated, corrupt or foreign archive data, or a stream failure.
QC_EXCEPTION(qcArchive::BadData, qcArchive::Errors, 0x10000102);
// A pointer record names a class that no instantiator registered.
QC_EXCEPTION(qcArchive::UnknownClass, qcArchive::Errors, 0x10000103);

// A stored version that the loading class does not know.  Carries the class
// name (or source file) and a line.
class qcArchive::UnknownVersion : public qcExceptionT<qcArchive::UnknownVersion, qcArchive::Errors, 0x10000104> {
public:
  // Empty place and line 0 (as archives create it), or the class name or
  // source file (a null pointer gives an empty one) and a line (0 when the
  // place is a class).
  UnknownVersion() = default;
  UnknownVersion(const char* classOrFile, long line);
  UnknownVersion(const std::string& classOrFile, long line);
  // The class name or source file whose version was unknown.
  const std::string& where() const { return where_; }
  // The line given by the thrower; 0 when where() is a class name.
  long line() const { return line_; }
  // Archives the exception part, then where() and line().
  void dispatchSerialize(qcArchive& ar) override;

protected:
  // "qcArchive::UnknownVersion: <where>, line <line>" ("?" for an empty place).
  void message_(std::ostream& os) const override;

private:
  std::string where_;
  long line_ = 0;
};

QRN_API_END
