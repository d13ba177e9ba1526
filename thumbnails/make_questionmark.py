#!/usr/bin/env python3
"""Draws the 80 x 80 question-mark placeholder shown for files that cannot be read.

Writes resources/questionmark.bmp (24-bit, bottom-up). Run it again after changing the drawing.
"""
import math
import os
import struct

W = H = 80
PAPER = (246, 246, 238)
FRAME = (150, 150, 140)
INK = (40, 60, 140)


def ink(x, y):
    cx, cy = 40.0, 29.0
    d = math.hypot(x - cx, y - cy)
    a = math.degrees(math.atan2(cy - y, x - cx))  # 0 right, 90 up
    # The hook: a ring from the left side over the top to below the right side.
    if 9.5 <= d <= 17.5 and a >= -50:
        return True
    # The neck: from the ring's lower right down to the stem.
    if 36 <= x <= 44 and 40 <= y <= 55:
        return True
    if 40 <= y <= 46 and 36 <= x <= 52 and (x - 36) <= (46 - y) * 2 + 8:
        return True
    # The dot.
    return math.hypot(x - 40, y - 65) <= 5.5


def pixel(x, y):
    if x in (0, W - 1) or y in (0, H - 1):
        return FRAME
    return INK if ink(x + 0.5, y + 0.5) else PAPER


def main():
    row_bytes = (W * 3 + 3) // 4 * 4
    data = bytearray()
    for y in range(H - 1, -1, -1):
        row = bytearray()
        for x in range(W):
            r, g, b = pixel(x, y)
            row += bytes((b, g, r))
        row += b"\0" * (row_bytes - len(row))
        data += row
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, W, H, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "resources", "questionmark.bmp")
    with open(out, "wb") as f:
        f.write(header + info + data)


if __name__ == "__main__":
    main()
