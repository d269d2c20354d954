// Camera configuration files (".ccf"): the text format, its checksum, the
// search path, the reader, the loader and the token syntax.
//
// A CCF is a text file of LF-ended lines (a CR ends a line's content) of at
// most 255 characters; the first longer line silently ends the file.  "//"
// starts a line comment, "/*" a block comment that runs to the next "*/"
// (text after the "*/" on its line is dropped).  Each remaining text line is
//   <category> <parameter> = <value>;
// Tokens are separated by blanks, tabs and semicolons; a token that starts
// with a double quote runs to the next double quote, and a quoted string left
// open at the end of a line continues on the next text line.  A line holding
// "ccf_checksum" gives the file's stored checksum (hexadecimal); the special
// value deadc0de switches the check off.
//
// Search path: "QUORIN_SYSTEM_PATH" (else the directory of the qrnacq library
// file), then "QUORIN_PATH"; elements are separated by ";" and use "/" (a "\"
// is read as "/").  Only the first element that holds any "*.ccf" (any case)
// is used.  "QUORIN_DISALLOW_CCF_READING" switches the scan off.
//
// Threads: nothing here holds shared state except the scan report, which is
// written by the scan (under the global mutex of the first format lookup) and
// read afterwards.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <cstdint>
#include <iosfwd>
#include <streambuf>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <qrn/foundation/exception.h>
#include <qrn/foundation/handle.h>

class qc_camCfgStore;

// Marker base of the camera configuration exceptions.
class qc_ccfException {
public:
  // Virtual so that a handler can dynamic_cast to the marker.
  virtual ~qc_ccfException() = default;
};

// A text exception whose error number is chosen at the throw (archived after
// the text).  `Default` is the number of a default-constructed one.
template <class Self, unsigned long Default>
class qc_ccfNumberedException : public qcExceptionT<Self, qcExceptionWithString, Default> {
  using Base = qcExceptionT<Self, qcExceptionWithString, Default>;

public:
  // Without a text and with number `Default` (for unarchiving).
  qc_ccfNumberedException() = default;
  // With `text` and error number `number`.
  qc_ccfNumberedException(std::string text, unsigned long number) : Base(std::move(text)), number_(number) {}
  // The number chosen at the throw.
  unsigned long errorNumber() const override { return number_; }
  // Archives the text, then the number.
  void dispatchSerialize(qcArchive& ar) override {
    Base::dispatchSerialize(ar);
    ar || number_;
  }

private:
  unsigned long number_ = Default;
};

// ---- checksum ------------------------------------------------------------------

// Accumulates the checksum of the text lines of a file.  Blanks and tabs do
// not count; each other character (as a signed byte) is shifted by 8, 4, 12 or
// 0 bits depending on how many characters came before it.
struct qc_ccfChecksum {
  // The checksum so far (wrapping 32-bit sum), and the number of characters
  // counted so far (the next shift depends on it); both 0 at first.
  std::uint32_t sum = 0;
  std::uint32_t count = 0;
  // Adds the characters of one text line.
  void add(const std::string& line);
};

// The stored checksum value that passes every file.
constexpr std::uint32_t kCcfNoCheckSum = 0xDEADC0DE;

// ---- one file as read ------------------------------------------------------------

// What was read from one camera configuration file: its path, parameters, checksum and problems.
class qc_ccfFileInfo : public virtual qcRepBase {
public:
  // Keeps a text line with its (physical) line number.
  void addLine(const std::string& text, std::uint32_t lineNumber);
  // Appends text to the last kept line (a quoted string continued); without
  // a line, keeps it as a line numbered 0.
  void appendToLastLine(const std::string& text);
  // Appends text to the comment of a line ("\n" between pieces); an empty
  // text for a line without comment does nothing.  Number 0 is the header.
  void addComment(std::uint32_t lineNumber, const std::string& text);

  // Sets the checksum stored in the file (checkSum()).
  void setCheckSum(std::uint32_t value) { checkSum_ = value; }
  // The physical line numbers of the checksum lines the reader met, and
  // recording one more.
  const std::vector<std::uint32_t>& checkSumLines() const { return checkSumLines_; }
  void addCheckSumLine(std::uint32_t lineNumber) { checkSumLines_.push_back(lineNumber); }
  // The checksum stored in the file (the last "ccf_checksum" line's value;
  // 0 when none was read).
  std::uint32_t checkSum() const { return checkSum_; }
  // The checksum of the kept lines.
  std::uint32_t calcCheckSum() const;
  // True when the stored checksum is deadc0de or equals calcCheckSum().
  bool checkSumOK() const;

  // The kept text lines (comments removed; a continued quoted string is
  // one line): how many, the text of line i and its physical line number.
  // line and lineNumber throw std::out_of_range for i >= numLines().
  std::size_t numLines() const { return lines_.size(); }
  const std::string& line(std::size_t i) const { return lines_.at(i); }
  std::uint32_t lineNumber(std::size_t i) const { return lineNumbers_.at(i); }
  // The comment of a line number, or none.
  const std::string* comment(std::uint32_t lineNumber) const;
  // Every comment by physical line number (0: the header).
  const std::map<std::uint32_t, std::string>& comments() const { return comments_; }

  // The physical number of the over-long line that ended the reading (it
  // and the lines after it were not read), or 0 when the file was read to
  // its end.
  std::uint32_t stoppedAtLine() const { return stoppedAtLine_; }
  void stoppedAtLine(std::uint32_t n) { stoppedAtLine_ = n; }

  // The path the info was read from (set by readFile; empty for a stream).
  const std::string& fileName() const { return fileName_; }
  void fileName(const std::string& s) { fileName_ = s; }

  // Writes the file: header comment, lines with their comments, and the
  // checksum line (calcCheckSum(), or deadc0de with noCheckSum).
  void write(std::ostream& os, bool noCheckSum) const;

private:
  std::vector<std::string> lines_;
  std::vector<std::uint32_t> lineNumbers_;
  std::map<std::uint32_t, std::string> comments_;
  std::string fileName_;
  std::uint32_t checkSum_ = 0;
  std::vector<std::uint32_t> checkSumLines_;
  std::uint32_t stoppedAtLine_ = 0;
};

// Writes a comment at `column` as "// text" when it fits one line (under 80
// columns, no line break), else as a block comment broken before 80 columns;
// no comment just ends the line.
void qf_ccfWriteComment(std::ostream& os, const std::string* text, std::size_t column);

// ---- reader ---------------------------------------------------------------------

// Reads a camera configuration file: lines, comments, values and the checksum.
class qc_ccfReader {
public:
  // What the last scan did with each file it found, in order.
  struct ScanEntry {
    // The file's path as found on the search path; the format made from it;
    // why none was made.
    std::string path;
    std::string format;  // the format made, or empty
    std::string error;   // why none was made, or empty
  };

  // The file could not be opened, or its path is too long.  Always number
  // 0x10005A31.
  class GeneralError : public qc_ccfNumberedException<GeneralError, 0x10005A31> {
  public:
    // The constructors of qc_ccfNumberedException, and the usual one: `text`
    // with number 0x10005A31.
    using qc_ccfNumberedException::qc_ccfNumberedException;
    explicit GeneralError(std::string text) : qc_ccfNumberedException(std::move(text), 0x10005A31) {}
  };

  // Reads a file into an empty file info.  Throws GeneralError when it cannot
  // be opened, is not a regular file ("(not a regular file)"; it is checked
  // before opening and opened without blocking, so a named pipe never
  // hangs), or a read fails.  Never holds more than one line of 256 bytes.
  static void readFile(const std::string& fileName, qc_ccfFileInfo& info, bool keepComments);
  // The same from a stream (fileName is left as it is).
  static void readStream(std::istream& in, qc_ccfFileInfo& info, bool keepComments);

  // Appends the CCF files of the first element of the search path that holds
  // any (sorted by name within the directory); true when some were found.
  // Only regular files (or links to them) count; the other "*.ccf" entries
  // of the directories searched go to `skipped` with the reason, when given.
  static bool findFiles(std::vector<std::string>& files);
  static bool findFiles(const std::string& searchPath, std::vector<std::string>& files);
  static bool findFiles(const std::string& searchPath, std::vector<std::string>& files,
                        std::vector<ScanEntry>* skipped);

  // Reads one file and registers its format when its checksum is right.
  // Throws GeneralError (cannot be opened, path too long) and the value
  // exceptions of qc_AcqStringHelper (a malformed value, a missing "=").
  // Returns the format's name, or nothing when no format was made (then
  // `why`, when given, says why: a wrong checksum or no name).
  static std::optional<std::string> loadFile(const std::string& fileName, std::string* why = nullptr);
  // Loads every file found on the path.  A file that fails is skipped and
  // its reason goes into the scan report, and so does a "*.ccf" that is not
  // a regular file (never opened); the other files still load.  The report
  // replaces the one before.
  static void loadAll(const std::string& searchPath);
  // loadAll(qf_ccfSearchPath()).
  static void loadStdDirs();

  // A copy of the report of the last loadAll (empty before the first);
  // safe to call from any thread.
  static std::vector<ScanEntry> lastScanReport();

private:
  static void readLines(std::streambuf* in, qc_ccfFileInfo& info, bool keepComments);
};

// The search path: QUORIN_SYSTEM_PATH or the library's directory, then
// ";" and QUORIN_PATH when that is set.
std::string qf_ccfSearchPath();

// ---- tokens and values ------------------------------------------------------------

// The unread rest of a line; tokens and values are taken off its front, or
// (writing) appended to its end.
class qc_AcqStringHelper : public std::string {
public:
  // A value of the wrong form.  Message "Invalid value. Expected <type>;
  // read: "<token>"".
  class BadVal : public qc_ccfNumberedException<BadVal, 0x10005A04>, public qc_ccfException {
  public:
    // "Invalid value" with number 0x10005A04; or the message above with
    // the type expected, the token read and the error number to report.
    BadVal() : qc_ccfNumberedException("Invalid value", 0x10005A04) {}
    BadVal(const std::string& type, const std::string& read, unsigned long number)
        : qc_ccfNumberedException("Invalid value. Expected " + type + "; read: \"" + read + "\"", number) {}
  };
  // An enumeration word not in its table ("Invalid enum: <word>").
  class BadEnumVal : public qcExceptionT<BadEnumVal, qcExceptionWithString, 0x10005A08>, public qc_ccfException {
  public:
    // With the text "Invalid enumeration found", or naming the word.
    BadEnumVal() : qcExceptionT("Invalid enumeration found") {}
    explicit BadEnumVal(const std::string& word) : qcExceptionT("Invalid enum: " + word) {}
  };
  // A parameter line without its "=" ("Equals not found").
  class EqualsNotFound : public qcExceptionT<EqualsNotFound, qcExceptionWithString, 0x10005A0A>,
                         public qc_ccfException {
  public:
    // With the text "Equals not found".
    EqualsNotFound() : qcExceptionT("Equals not found") {}
  };

  // An empty cursor (for writing), or one over the text s (for reading;
  // converts implicitly).
  qc_AcqStringHelper() = default;
  qc_AcqStringHelper(std::string s) : std::string(std::move(s)) {}

  // The next token (a quoted token keeps its quotes); empty at the end.
  std::string nextToken();
  // Takes off "=" (the first character that is not a blank or tab) and the
  // blanks and tabs after it; throws EqualsNotFound.
  void expectEquals();
  // Take one token and convert it; throw BadVal.
  void getInt(long& v);
  void getFloat(float& v);
  void getDouble(double& v);
  void getBool(bool& v);
  void getQuotedString(std::string& v);
  // The position of `word` in a null-terminated table, -1 when absent.
  static long getEnumIndex(const std::string& word, const char* const* table);

  // The characters after the digits of the integers taken so far, which
  // their "%d" scan did not read (for example "x" of "12x").
  const std::string& ignored() const { return ignored_; }

  // Writing side.  The value is always appended; false when the reader
  // would not give it back (an integer outside 32 bits, a double that is
  // not finite, a string holding a double quote, a CR or LF, "//", "/*" or
  // "ccf_checksum").  putString appends text as it is, putSeparator one
  // blank.
  bool putInt(long v);
  bool putDouble(double v);
  void putBool(bool v);
  bool putQuotedString(const std::string& v);
  void putString(const std::string& v) { append(v); }
  void putSeparator() { push_back(' '); }

private:
  std::string ignored_;
};

// ---- loader ---------------------------------------------------------------------------

// Loads the lines of a file info into a store: the header comment becomes the
// store's comment (appended), each line one parameter.
class qc_ccfLoader {
public:
  // Loads every line of `info` into `store` (not owned; it must outlive the
  // loader), or into a store of its own when null.  Throws as addLine.
  explicit qc_ccfLoader(const qc_ccfFileInfo& info, qc_camCfgStore* store = nullptr);
  // Lets go of the loader's own store (a caller's store is not touched).
  ~qc_ccfLoader();

  // Not copyable.
  qc_ccfLoader(const qc_ccfLoader&) = delete;
  qc_ccfLoader& operator=(const qc_ccfLoader&) = delete;

  // What a line held that its value did not use (both ignored by the
  // format; a checking tool warns about them).
  struct LineNotes {
    std::string ignoredInValue;  // characters an integer scan stopped before
    std::string textAfterValue;  // text after the value, separators skipped
  };
  // Loads one line; unknown parameters and unknown words are recorded as
  // parse errors; BadVal and EqualsNotFound are thrown.  lineNumber -1: none.
  // `notes`, when given, is filled for a line that loaded.
  void addLine(const std::string& text, long lineNumber, const std::string* comment, LineNotes* notes = nullptr);

  // The store loaded into (the caller's, or the loader's own, which lives
  // as long as the loader).
  qc_camCfgStore& store() { return *store_; }

private:
  qcPtrHandle<qc_camCfgStore> owned_;
  qc_camCfgStore* store_;
};

QRN_API_END
