// Umbrella header of the acquisition module qrnacq: every public header.
// (The raw Bayer kernels, <qrn/acq/convert/bayerkernels.h>, are included on
// their own; the internal headers named in CMakeLists.txt's
// QRN_INTERNAL_HEADERS are neither here nor installed.)
#pragma once

#include <qrn/qrnstd.h>

#include <qrn/acq/ccf/builtinccf.h>
#include <qrn/acq/ccf/camcfgstore.h>
#include <qrn/acq/ccf/ccfparammap.h>
#include <qrn/acq/ccf/ccfreader.h>
#include <qrn/acq/ccf/vfstorage.h>
#include <qrn/acq/ccf/vidfmtext.h>

#include <qrn/acq/cdb/cdb.h>

#include <qrn/acq/console/imgconsole.h>

#include <qrn/acq/convert/bayer.h>

#include <qrn/acq/format/catalog.h>
#include <qrn/acq/format/clsim.h>
#include <qrn/acq/format/hwconfig.h>
#include <qrn/acq/format/imgfmtname.h>
#include <qrn/acq/format/vidfmt.h>

#include <qrn/acq/hyper/acqfifo.h>
#include <qrn/acq/hyper/acqinfo.h>
#include <qrn/acq/hyper/allocunit.h>
#include <qrn/acq/hyper/arp.h>
#include <qrn/acq/hyper/callback.h>
#include <qrn/acq/hyper/driver.h>
#include <qrn/acq/hyper/failure.h>
#include <qrn/acq/hyper/failurename.h>
#include <qrn/acq/hyper/fgcaps.h>
#include <qrn/acq/hyper/framegrabber.h>
#include <qrn/acq/hyper/multififo.h>
#include <qrn/acq/hyper/problem.h>
#include <qrn/acq/hyper/syncmodel.h>
#include <qrn/acq/hyper/trigmodel.h>
#include <qrn/acq/hyper/typedfifo.h>
#include <qrn/acq/hyper/watermark.h>

#include <qrn/acq/hyper/prop/acqprops.h>
#include <qrn/acq/hyper/prop/alpha.h>
#include <qrn/acq/hyper/prop/bright.h>
#include <qrn/acq/hyper/prop/callback.h>
#include <qrn/acq/hyper/prop/camban.h>
#include <qrn/acq/hyper/prop/camctl.h>
#include <qrn/acq/hyper/prop/cameratest.h>
#include <qrn/acq/hyper/prop/camloc.h>
#include <qrn/acq/hyper/prop/camport.h>
#include <qrn/acq/hyper/prop/cdc_calib.h>
#include <qrn/acq/hyper/prop/clip.h>
#include <qrn/acq/hyper/prop/cti.h>
#include <qrn/acq/hyper/prop/custom.h>
#include <qrn/acq/hyper/prop/custombag.h>
#include <qrn/acq/hyper/prop/equalize.h>
#include <qrn/acq/hyper/prop/exposure.h>
#include <qrn/acq/hyper/prop/horizadj.h>
#include <qrn/acq/hyper/prop/ilut8.h>
#include <qrn/acq/hyper/prop/light.h>
#include <qrn/acq/hyper/prop/lsprops.h>
#include <qrn/acq/hyper/prop/offsetclamp.h>
#include <qrn/acq/hyper/prop/pelpool.h>
#include <qrn/acq/hyper/prop/propbase.h>
#include <qrn/acq/hyper/prop/propenums.h>
#include <qrn/acq/hyper/prop/propquery.h>
#include <qrn/acq/hyper/prop/readdir.h>
#include <qrn/acq/hyper/prop/roi.h>
#include <qrn/acq/hyper/prop/sample.h>
#include <qrn/acq/hyper/prop/settletm.h>
#include <qrn/acq/hyper/prop/strobe.h>
#include <qrn/acq/hyper/prop/sync.h>
#include <qrn/acq/hyper/prop/timeout.h>
#include <qrn/acq/hyper/prop/trig.h>
#include <qrn/acq/hyper/prop/triggerfilter.h>

#include <qrn/acq/registry/regstore.h>
#include <qrn/acq/registry/regvalue.h>
