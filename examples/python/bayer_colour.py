#!/usr/bin/python3
"""Colour from a Bayer camera: raw mosaics from the simulated board (its colour
scene as an RGGB mosaic), converted with white balance.

    PYTHONPATH=build/default/python examples/python/bayer_colour.py
"""
import numpy as np

import qrnacq

board = qrnacq.board("sim0")
converter = qrnacq.BayerConverter("RGGB", white_balance=(1.0, 1.0, 1.0))
with board.fifo("Sony XC75 640x480", "raw8") as fifo:
    qrnacq.sim.set(fifo, "TestImage", "bayerRG")
    fifo.set_input_lut(np.arange(256, dtype=np.uint8))   # identity: the mosaic as rendered
    fifo.set_contrast(0)
    mosaic, info = next(fifo.frames(1, timeout=5.0))
if mosaic is None:
    raise SystemExit(f"no mosaic: {info.failure.names} {info.failure.text}")
mosaic = np.asarray(mosaic, dtype=np.uint8)              # it is uint8 already: no copy, a uint8 type for checkers

planes = converter.to_3plane(mosaic)                  # (3, h, w): red, green, blue
means = planes.reshape(3, -1).mean(axis=1)
print("mosaic", mosaic.shape, "-> planes", planes.shape, "means r g b:", np.round(means, 1))
# White balance: scale red and blue so that their means meet green's.
converter.white_balance = (means[1] / means[0], 1.0, means[1] / means[2])
balanced = converter.to_rgb32(mosaic)                 # (h, w, 4): blue, green, red, alpha
print("balanced means b g r:", np.round(balanced[..., :3].reshape(-1, 3).mean(axis=0), 1))
