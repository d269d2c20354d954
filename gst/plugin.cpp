// The plugin "qrnacq" (libgstqrnacq.so): the element qrnacqsrc.
#include <gst/gst.h>

#include "qrnacqsrc.h"

#define PACKAGE "qrnacq"
GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, qrnacq,
                  "Quorin Acquisition: frame grabbers and cameras as video sources", qrn_gst_plugin_init, QRN_VERSION,
                  QRN_GST_LICENSE, "qrnacq", QRN_GST_ORIGIN)
