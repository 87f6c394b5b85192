#!/usr/bin/env python3
"""Writes sample.png, the example's test image: 48 x 24 RGB with a black
frame, a diagonal, a red block and a gray ramp. Standard library only."""
import struct
import sys
import zlib

W, H = 48, 24


def pixel(x, y):
    if x in (0, W - 1) or y in (0, H - 1) or x == 2 * y:
        return (0, 0, 0)
    if 30 <= x < 42 and 4 <= y < 10:
        return (255, 0, 0)
    if y >= 14:
        level = 255 * (x - 1) // (W - 3)
        return (level, level, level)
    return (255, 255, 255)


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))


rows = b"".join(b"\0" + bytes(c for x in range(W) for c in pixel(x, y)) for y in range(H))
png = (b"\x89PNG\r\n\x1a\n"
       + chunk(b"IHDR", struct.pack(">IIBBBBB", W, H, 8, 2, 0, 0, 0))
       + chunk(b"IDAT", zlib.compress(rows, 9))
       + chunk(b"IEND", b""))
with open(sys.argv[1] if len(sys.argv) > 1 else "sample.png", "wb") as f:
    f.write(png)
