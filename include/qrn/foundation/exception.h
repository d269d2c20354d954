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

#include <cstdint>
#include <exception>
#include <iosfwd>
#include <string>
#include <typeinfo>

#include <qrn/foundation/archive.h>

// The base of the module's exceptions: a class number and a message.
class qcException : public qcPersistent, public std::exception {
public:
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

  // Writes the message (by default the qualified class name).
  void message(std::ostream& os) const { message_(os); }
  std::string messageString() const;
  // Extra text carried by the exception (empty for plain exceptions).
  virtual std::string info() const { return {}; }
  // The qualified class name of the dynamic type.
  std::string className() const;
  // What was refused and why, as the thrower told it (empty when it did not).
  const std::string& detail() const { return detail_; }
  void setDetail(std::string detail) { detail_ = std::move(detail); }

  // The message, followed by ": " and the detail when there is one.
  const char* what() const noexcept override;

  static qcPersistent* make() { return new qcException; }
  void dispatchSerialize(qcArchive& ar) override;

protected:
  virtual void message_(std::ostream& os) const;

private:
  std::string detail_;
  mutable std::string what_;
};

// An exception that carries a text of its own.
class qcExceptionWithString : public qcException {
public:
  qcExceptionWithString() = default;
  explicit qcExceptionWithString(const char* text) : text_(text ? text : "") {}
  explicit qcExceptionWithString(std::string text) : text_(std::move(text)) {}

  std::string info() const override { return text_; }
  const std::string& text() const { return text_; }

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
  using Base::Base;
  qcExceptionT() = default;

  unsigned long errorNumber() const override { return Number; }
  [[noreturn]] void suicideAndRethrow() override {
    Self copy(static_cast<const Self&>(*this));
    delete this;
    throw copy;
  }
  qcException* clone() const override { return new Self(static_cast<const Self&>(*this)); }
  static qcPersistent* make() { return new Self; }
  // Sets the detail text and returns the exception itself, for
  // `throw Name().withDetail(...)`.
  Self& withDetail(std::string detail) {
    this->setDetail(std::move(detail));
    return static_cast<Self&>(*this);
  }

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
constexpr std::uint32_t qf_statusFacility(std::uint32_t status) {
  const std::uint32_t wide = (status >> 16) & 0xFFFu;
  return wide ? wide : (status & 0xFFFFu) >> 5;
}
constexpr std::uint32_t qf_makeStatus(std::uint32_t facility, std::uint32_t code, bool failed = true) {
  return (failed ? 0x80000000u : 0u) | ((facility & 0xFFFu) << 16) | (code & 0xFFFFu);
}

// A converter throws the exception that stands for a failed status.
using qcExceptionConverter = void (*)(std::uint32_t status);

// Registers the converter of one facility (replaces an earlier one).
void qfRegisterExceptionConverter(std::uint32_t facility, qcExceptionConverter fn);
// Does nothing for a status without bit 31.  For a failed status calls the
// facility's converter; when there is none, or it returns, throws
// qcStatusError.
void qfThrowExceptionOnFailure(std::uint32_t status);

// A failed status that no converter turned into an exception of its own.
class qcStatusError : public qcExceptionT<qcStatusError, qcExceptionWithString, 0x10000100> {
public:
  qcStatusError() = default;
  explicit qcStatusError(std::uint32_t status);
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
  UnknownVersion() = default;
  UnknownVersion(const char* classOrFile, long line);
  UnknownVersion(const std::string& classOrFile, long line);
  const std::string& where() const { return where_; }
  long line() const { return line_; }
  void dispatchSerialize(qcArchive& ar) override;

protected:
  void message_(std::ostream& os) const override;

private:
  std::string where_;
  long line_ = 0;
};
