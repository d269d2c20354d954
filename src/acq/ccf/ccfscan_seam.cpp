// The camera configuration scan that the format model's first-use hook runs.
//
// SEAM: the camera configuration file reader (search path, reader, loader,
// store) does not exist yet.  Until it lands this file stands in for it:
// with "QUORIN_DISALLOW_CCF_READING" set it reads nothing and returns false;
// otherwise it has no files to read and reports the (empty) scan as done.
// The reader replaces this file with its own qf_CcfForceStdDirRead, which
// runs qc_ccfReader::loadStdDirs() in the second case.
#include <cstdlib>

#include <qrn/acq/format/vidfmt.h>

bool qf_CcfForceStdDirRead() {
  if (std::getenv("QUORIN_DISALLOW_CCF_READING")) return false;
  return true;
}
