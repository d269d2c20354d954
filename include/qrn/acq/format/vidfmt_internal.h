// Internal controls of the format model's first-use hook, for the camera
// configuration reader and for tests.  Not for applications.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

// The function that the first-use hook calls (under the global mutex) to
// read the camera configuration files; its result becomes the "read" flag.
using qf_CcfScanFn = bool (*)();

// Replaces the scan function (null restores qf_CcfForceStdDirRead) and
// returns the previous one.
qf_CcfScanFn qf_setCcfScanFunction_(qf_CcfScanFn fn);
// Clears the "read" flag, so that the next lookup scans again.
void qf_resetCcfReadFlag_();
// The "read" flag: true once a scan reported success.
bool qf_ccfReadFlag_();

QRN_API_END
