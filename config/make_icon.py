#!/usr/bin/env python3
"""Writes vorlpanel's icon: a white "V" on a blue disc, 32x32 and 16x16, 32 bits per pixel.
    make_icon.py OUTPUT.ico"""
import struct
import sys


def pixels(size):
    """Rows bottom-up of BGRA pixels."""
    rows = []
    centre = (size - 1) / 2.0
    for y in range(size - 1, -1, -1):
        row = bytearray()
        for x in range(size):
            dx, dy = x - centre, y - centre
            inside = dx * dx + dy * dy <= (size / 2.0) ** 2
            # The V: two strokes from the top corners to the bottom middle.
            t = y / (size - 1.0)
            left = size * 0.22 + t * (centre - size * 0.22)
            right = size * 0.78 - t * (size * 0.78 - centre)
            stroke = size * 0.09
            on_v = size * 0.2 <= y <= size * 0.8 and (abs(x - left) <= stroke or abs(x - right) <= stroke)
            if not inside:
                row += bytes((0, 0, 0, 0))
            elif on_v:
                row += bytes((255, 255, 255, 255))
            else:
                row += bytes((160, 80, 20, 255))
        rows.append(bytes(row))
    return b"".join(rows)


def image(size):
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    mask_row = ((size + 31) // 32) * 4
    return header + pixels(size) + bytes(mask_row * size)


def main():
    sizes = (32, 16)
    images = [image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for size, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(sys.argv[1], "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    main()
