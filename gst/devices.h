// qrnacqdeviceprovider: the library's boards as GStreamer devices, for
// gst-device-monitor-1.0 and GstDeviceMonitor (class "Video/Source").
//
// Each board is a device named after the board and what it acquires
// ("Quorin sim0: Sony XC75 640x480", a camera's model for gige boards);
// its caps are those qrnacqsrc offers with the default settings (the
// default format's size, every image format the element carries, the
// board's frame rate); its properties hold "qrnacq.board" (the board's
// label) and "qrnacq.format"; its element is a qrnacqsrc with board set.
// Boards are listed when probed (the driver plugins load at the first
// probe); boards come and go only with the configuration, so the provider
// has no start/stop monitoring of its own.
#pragma once

#include <gst/gst.h>

G_BEGIN_DECLS

// Registers the device provider with a plugin (the plugin's init function).
gboolean qrn_gst_register_device_provider(GstPlugin* plugin);

G_END_DECLS
