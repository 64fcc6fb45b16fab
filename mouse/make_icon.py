#!/usr/bin/env python3
"""Draws vorlpoint's icon (a white pointer arrow on a blue card) and writes it as a .ico file
with a 32x32 and a 16x16 image, 32 bits per pixel.

    make_icon.py OUTPUT.ico
"""
import struct
import sys

# The arrow's outline on a 16-unit grid, tip at the top left.
ARROW = [(3, 2), (3, 13), (6, 10.5), (8.5, 15), (10, 14.2), (7.8, 9.8), (11.5, 9.5)]
CARD = (0x8a, 0x4a, 0x1f)      # blue-ish, as B, G, R
EDGE = (0x5a, 0x2c, 0x10)
WHITE = (0xff, 0xff, 0xff)
BLACK = (0x10, 0x10, 0x10)


def inside(polygon, x, y):
    """Even-odd rule."""
    result = False
    j = len(polygon) - 1
    for i, (xi, yi) in enumerate(polygon):
        xj, yj = polygon[j]
        if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
            result = not result
        j = i
    return result


def pixel(size, px, py):
    """The colour (B, G, R, A) of pixel (px, py), top-down, of an icon `size` pixels wide."""
    unit = size / 16.0
    x = (px + 0.5) / unit
    y = (py + 0.5) / unit
    near = any(inside(ARROW, x + dx, y + dy) for dx in (-0.6, 0, 0.6) for dy in (-0.6, 0, 0.6))
    if inside(ARROW, x, y):
        return WHITE + (0xff,)
    if near:
        return BLACK + (0xff,)
    if 0.5 <= x <= 15.5 and 0.5 <= y <= 15.5:
        border = x < 1.5 or x > 14.5 or y < 1.5 or y > 14.5
        return (EDGE if border else CARD) + (0xff,)
    return (0, 0, 0, 0)


def image(size):
    """One icon image: BITMAPINFOHEADER, bottom-up BGRA pixels, then the AND mask."""
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = []
    mask_rows = []
    mask_stride = ((size + 31) // 32) * 4
    for py in reversed(range(size)):
        row = bytearray()
        mask = bytearray(mask_stride)
        for px in range(size):
            b, g, r, a = pixel(size, px, py)
            row += bytes((b, g, r, a))
            if a == 0:
                mask[px // 8] |= 0x80 >> (px % 8)
        rows.append(bytes(row))
        mask_rows.append(bytes(mask))
    return header + b"".join(rows) + b"".join(mask_rows)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_icon.py OUTPUT.ico")
    images = [image(32), image(16)]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    for size, data in zip((32, 16), images):
        entries += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(sys.argv[1], "wb") as out:
        out.write(directory + entries + b"".join(images))


if __name__ == "__main__":
    main()
