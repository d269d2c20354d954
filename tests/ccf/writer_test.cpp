// writeCCF writes only what its own reader gives back: values the format
// cannot hold and text that would change meaning on reading are refused
// (false, the file left as it was); everything else survives a write/read
// round trip, comments included.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <functional>
#include <limits>
#include <string>

#include <qrn/acq/ccf/camcfgstore.h>
#include <qrn/acq/ccf/ccfreader.h>

#include "ccf_support.h"

using ccf_test::TempDir;

namespace {

struct WriteCase {
  const char* what;
  std::function<void(qc_camCfgStore&)> fill;
};

// The characters of a comment that the layout keeps (it may re-break lines
// and blanks).
std::string inked(const std::string& s) {
  std::string r;
  for (char c : s)
    if (c != ' ' && c != '\t' && c != '\n') r += c;
  return r;
}

}  // namespace

TEST(CcfWriter, RefusesWhatItsReaderWouldNotGiveBack) {
  const WriteCase cases[] = {
      {"integer above the 32-bit %d range", [](qc_camCfgStore& s) { s.setParam(1, 5000000000L); }},
      {"integer below it", [](qc_camCfgStore& s) { s.setParam(2, -5000000000L); }},
      {"timing position out of range", [](qc_camCfgStore& s) { s.addParam(42, qs_h_timingSpec{true, 1L << 40}); }},
      {"infinite double", [](qc_camCfgStore& s) { s.setParam(34, std::numeric_limits<double>::infinity()); }},
      {"NaN", [](qc_camCfgStore& s) { s.setParam(34, std::nan("")); }},
      {"string holding a double quote", [](qc_camCfgStore& s) { s.setParam(0, std::string("a\"b\"c")); }},
      {"string holding //", [](qc_camCfgStore& s) { s.setParam(0, std::string("http://cam")); }},
      {"string holding /*", [](qc_camCfgStore& s) { s.setParam(0, std::string("a /* b")); }},
      {"string holding the checksum key", [](qc_camCfgStore& s) { s.setParam(0, std::string("my ccf_checksum")); }},
      {"string holding a line break", [](qc_camCfgStore& s) { s.setParam(0, std::string("a\nformat height = 7;")); }},
      {"string holding a CR", [](qc_camCfgStore& s) { s.setParam(0, std::string("a\rb")); }},
      {"line over 255 characters", [](qc_camCfgStore& s) { s.setParam(0, std::string(250, 'n')); }},
      {"entry comment that closes its block and sets a parameter",
       [](qc_camCfgStore& s) {
         s.setParam(1, 640L);
         s.setComment(1, "end */\nformat height = 7;");
       }},
      {"header comment whose block would start with a line comment",
       [](qc_camCfgStore& s) {
         s.setComment("see http://example\nformat height = 7;");
         s.setParam(1, 640L);
       }},
      {"comment holding a CR", [](qc_camCfgStore& s) {
         s.setParam(1, 640L);
         s.setComment(1, "a\rb");
       }},
      {"entry past the parameter map", [](qc_camCfgStore& s) { s.setParam(100, 1L); }},
  };
  TempDir dir;
  const std::string path = dir / "out.ccf";
  for (const WriteCase& c : cases) {
    qc_camCfgStore store;
    store.setParam(0, std::string("Refused"));
    c.fill(store);
    ccf_test::writeFile(dir, "out.ccf", "before\n");
    bool ok = true;
    EXPECT_NO_THROW(ok = store.writeCCF(path)) << c.what;
    EXPECT_FALSE(ok) << c.what;
    EXPECT_EQ(ccf_test::readText(path), "before\n") << c.what << ": the file is left as it was";
  }
}

TEST(CcfWriter, EverythingItWritesReadsBack) {
  const WriteCase cases[] = {
      {"32-bit limits", [](qc_camCfgStore& s) {
         s.setParam(1, long{INT_MAX});
         s.setParam(2, long{INT_MIN});
         s.addParam(42, qs_h_timingSpec{true, long{INT_MIN}});
       }},
      {"blanks, tabs and semicolons in a string", [](qc_camCfgStore& s) { s.setParam(0, std::string("a b;\tc; ")); }},
      {"a 255-character line", [](qc_camCfgStore& s) { s.setParam(0, std::string(255 - 17, 'n')); }},
      {"*/ and // in a comment short enough for one line", [](qc_camCfgStore& s) {
         s.setParam(1, 640L);
         s.setComment(1, "a */ b // c");
       }},
      {"/* and format text in a block comment", [](qc_camCfgStore& s) {
         s.setComment("two\nlines /* format height = 7;");
         s.setParam(1, 640L);
         s.setComment(1, std::string(30, 'w') + " /* " + std::string(60, 'v') + "\nformat height = 7;");
       }},
      {"a long comment on a long line", [](qc_camCfgStore& s) {
         s.setParam(0, std::string(200, 'n'));
         s.setComment(0, std::string(300, 'c'));
       }},
  };
  TempDir dir;
  const std::string path = dir / "out.ccf";
  for (const WriteCase& c : cases) {
    qc_camCfgStore store;
    c.fill(store);
    ASSERT_TRUE(store.writeCCF(path)) << c.what;
    qc_camCfgStore back;
    bool sumOk = false;
    ASSERT_NO_THROW(back.readCCF(path, &sumOk)) << c.what;
    EXPECT_TRUE(sumOk) << c.what;
    EXPECT_TRUE(back == store) << c.what;
    EXPECT_EQ(inked(back.comment()), inked(store.comment())) << c.what;
    for (long i = 0; i < store.numEntries(); ++i) {
      std::string mine, read;
      if (!store.getComment(i, mine)) continue;
      back.getComment(i, read);
      EXPECT_EQ(inked(read), inked(mine)) << c.what << ": comment of " << i;
    }
    EXPECT_TRUE(back.getParseErrors("format") == nullptr) << c.what;
  }
}
