#!/usr/bin/python3
"""First grab: the simulated board's frames as NumPy arrays, no files.

    PYTHONPATH=build/default/python examples/python/first_grab.py
"""
import qrnacq

board = qrnacq.board("sim0")
print("boards:", ", ".join(b.name for b in qrnacq.boards()))
with board.fifo("Sony XC75 640x480", "grey8") as fifo:
    fifo.exposure = 0.005          # seconds: half the simulator's default, so half as bright
    fifo.timeout = 2.0
    for image, info in fifo.frames(5, timeout=5.0):
        if image is None or info.failure:
            print(f"trigger {info.trigger_num}: failed {info.failure.names} {info.failure.text}")
            continue
        print(f"trigger {info.trigger_num} at {info.time_stamp} us: {image.shape} {image.dtype}, "
              f"grey {image.min()}..{image.max()}, mean {image.mean():.1f}")
