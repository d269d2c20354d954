#!/usr/bin/python3
"""Frame rate and CPU time per frame of a GStreamer pipeline in its steady part.

    gst_rate.py "PIPELINE ... ! fakesink name=sink" [WARM [SPAN]]

Plays the pipeline (its sink must be named "sink"), waits WARM seconds
(default 2), then counts the buffers the sink rendered (its "stats") and the
CPU time of the whole process (every thread; this script only sleeps
meanwhile) over SPAN seconds (default 5).  Prints one line:
    fps F cpu_ms_per_frame C frames N warnings W
(W: warning messages of the whole run, such as the frames a source reports
lost.)
Exits 1 when the pipeline posts an error or renders nothing.
"""
import resource
import sys
import time

import gi

gi.require_version("Gst", "1.0")
from gi.repository import Gst  # noqa: E402


def cpu():
    r = resource.getrusage(resource.RUSAGE_SELF)
    return r.ru_utime + r.ru_stime


def rendered(sink):
    return sink.get_property("stats").get_value("rendered")


def main():
    Gst.init(None)
    desc = sys.argv[1]
    warm = float(sys.argv[2]) if len(sys.argv) > 2 else 2.0
    span = float(sys.argv[3]) if len(sys.argv) > 3 else 5.0
    pipeline = Gst.parse_launch(desc)
    sink = pipeline.get_by_name("sink")
    bus = pipeline.get_bus()
    pipeline.set_state(Gst.State.PLAYING)

    def check():
        msg = bus.pop_filtered(Gst.MessageType.ERROR)
        if msg:
            err, _ = msg.parse_error()
            print("error:", err.message, file=sys.stderr)
            pipeline.set_state(Gst.State.NULL)
            sys.exit(1)

    time.sleep(warm)
    check()
    n0, c0, t0 = rendered(sink), cpu(), time.monotonic()
    time.sleep(span)
    n1, c1, t1 = rendered(sink), cpu(), time.monotonic()
    check()
    warnings = 0
    while bus.pop_filtered(Gst.MessageType.WARNING):
        warnings += 1
    pipeline.set_state(Gst.State.NULL)
    frames = n1 - n0
    if frames <= 0:
        print("error: no frames rendered", file=sys.stderr)
        sys.exit(1)
    print(f"fps {frames / (t1 - t0):.1f} cpu_ms_per_frame {(c1 - c0) * 1e3 / frames:.4f} frames {frames} "
          f"warnings {warnings}")


if __name__ == "__main__":
    main()
