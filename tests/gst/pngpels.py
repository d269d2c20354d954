#!/usr/bin/python3
"""Compares the pels of PNG files, whatever their encoding.

    pngpels.py A.png B.png   exit 0 when both hold the same pels (colour
                             compared on red, green and blue: an alpha
                             channel is ignored), else 1 with the difference.
    pngpels.py A.png         prints width, height, channels, bit depth.

Reads non-interlaced PNGs of grey, RGB, grey+alpha or RGBA pels, 8 or 16
bits (what pngenc and qacq write).
"""
import struct
import sys
import zlib

import numpy as np


def read_png(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError(f"{path}: not a PNG file")
    pos, idat, header = 8, [], None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat.append(body)
        elif kind == b"IEND":
            break
    width, height, depth, colour, _, _, interlace = header
    channels = {0: 1, 2: 3, 4: 2, 6: 4}[colour]
    if interlace or depth not in (8, 16):
        raise ValueError(f"{path}: interlaced or {depth}-bit PNGs are not read here")
    bpp = channels * depth // 8
    stride = width * bpp
    raw = zlib.decompress(b"".join(idat))
    out = np.zeros((height, stride), dtype=np.uint8)
    prev = np.zeros(stride, dtype=np.int32)
    for y in range(height):
        row_at = y * (stride + 1)
        ftype = raw[row_at]
        line = np.frombuffer(raw, dtype=np.uint8, count=stride, offset=row_at + 1).astype(np.int32)
        if ftype == 0:
            cur = line
        elif ftype == 2:
            cur = (line + prev) & 0xFF
        else:  # Sub, Average, Paeth depend on the pel to the left: bytewise
            cur = np.zeros(stride, dtype=np.int32)
            for i in range(stride):
                a = cur[i - bpp] if i >= bpp else 0
                b = prev[i]
                c = prev[i - bpp] if i >= bpp else 0
                if ftype == 1:
                    p = a
                elif ftype == 3:
                    p = (a + b) // 2
                else:
                    pa, pb, pc = abs(b - c), abs(a - c), abs(a + b - 2 * c)
                    p = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                cur[i] = (line[i] + p) & 0xFF
        out[y] = cur
        prev = cur
    pels = out.view(">u2") if depth == 16 else out
    pels = pels.reshape(height, width, channels).astype(np.int64)
    if channels in (2, 4):  # drop alpha
        pels = pels[:, :, :channels - 1]
    return pels, depth


def main(argv):
    if len(argv) == 2:
        pels, depth = read_png(argv[1])
        h, w, c = pels.shape
        print(w, h, c, depth)
        return 0
    a, da = read_png(argv[1])
    b, db = read_png(argv[2])
    if a.shape != b.shape or da != db:
        print(f"{argv[1]}: {a.shape} {da}-bit, {argv[2]}: {b.shape} {db}-bit")
        return 1
    diff = np.argwhere(a != b)
    if len(diff):
        y, x = diff[0][:2]
        print(f"{len(diff)} samples differ; first at x={x} y={y}: {a[y, x].tolist()} != {b[y, x].tolist()}")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
