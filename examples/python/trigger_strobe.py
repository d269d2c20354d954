#!/usr/bin/python3
"""Trigger and strobe: an automatic trigger on the board's input line, a strobe
pulse per frame, and a callback per completed acquisition.

    PYTHONPATH=build/default/python examples/python/trigger_strobe.py
"""
import qrnacq

board = qrnacq.board("sim0")
with board.fifo("Sony XC75 640x480", "grey8") as fifo:
    fifo.trigger_model = "Automatic"       # one frame per pulse of the input line
    fifo.trigger_low_to_high = True
    fifo.strobe_enable = True
    fifo.strobe_pulse_duration = 100e-6    # seconds
    fifo.strobe_delay = 0.0
    fifo.on_complete = lambda info: print(f"  (callback: trigger {info.trigger_num} done)")
    print("capabilities:", {k: v for k, v in fifo.capabilities().items() if v})
    for n in range(3):
        qrnacq.sim.fire_input_line(fifo)   # a pulse on the simulated input line
        image, info = fifo.complete(timeout=2.0)
        if image is None:                  # no image: info.failure says why
            print(f"pulse {n + 1}: failed {info.failure.names}")
            continue
        print(f"pulse {n + 1}: trigger {info.trigger_num}, {image.shape}, failure: {info.failure.names}")
    fifo.trigger()                         # a software pulse does the same
    image, info = fifo.complete(timeout=2.0)
    print(f"software trigger: trigger {info.trigger_num}")
