#!/usr/bin/env python3
"""Draws the program icon (a folder with a listed sheet in front of it) as PNG files.

Usage: make_icon.py OUTPUT_FOLDER SIZE...   writes dirka-SIZE.png for each SIZE

The shapes are those of dirka.svg, on the same 64-unit grid. Each shape is a rounded
rectangle measured by its signed distance, which gives smooth edges from one sample per
pixel. Standard library only (zlib, struct), no randomness: every build writes the same bytes.
"""

import os
import struct
import sys
import zlib

# (x, y, width, height, corner radius, colour), painted in this order; keep in step with dirka.svg.
SHAPES = [
    (3, 6, 22, 10, 3, "c98a17"),     # folder tab
    (3, 10, 50, 40, 4, "c98a17"),    # folder back
    (3, 17, 50, 33, 4, "f2b53a"),    # folder front
    (26, 21, 36, 41, 4, "44525c"),   # sheet edge
    (28, 23, 32, 37, 2.5, "ffffff"), # sheet
    (32, 29, 4, 4, 1, "f2b53a"),     # folder mark on the first line
    (39, 29, 17, 4, 2, "2f6fb3"),    # list lines
    (35, 37, 21, 4, 2, "2f6fb3"),
    (35, 45, 16, 4, 2, "2f6fb3"),
    (35, 53, 19, 4, 2, "2f6fb3"),
]


def rounded_box_distance(px, py, x, y, w, h, r):
    """Signed distance from (px, py) to the rounded rectangle; negative inside."""
    hx, hy = w / 2.0, h / 2.0
    qx = abs(px - (x + hx)) - (hx - r)
    qy = abs(py - (y + hy)) - (hy - r)
    outside = (max(qx, 0.0) ** 2 + max(qy, 0.0) ** 2) ** 0.5
    return outside + min(max(qx, qy), 0.0) - r


def render(size):
    unit = 64.0 / size  # icon units per pixel
    pixels = [[0.0, 0.0, 0.0, 0.0] for _ in range(size * size)]  # premultiplied RGBA
    for x, y, w, h, r, colour in SHAPES:
        rgb = [int(colour[i:i + 2], 16) / 255.0 for i in (0, 2, 4)]
        for row in range(max(0, int(y / unit) - 1), min(size, int((y + h) / unit) + 2)):
            py = (row + 0.5) * unit
            for col in range(max(0, int(x / unit) - 1), min(size, int((x + w) / unit) + 2)):
                d = rounded_box_distance((col + 0.5) * unit, py, x, y, w, h, r) / unit
                cover = min(1.0, max(0.0, 0.5 - d))
                if cover > 0.0:
                    p = pixels[row * size + col]
                    keep = 1.0 - cover
                    for i in range(3):
                        p[i] = rgb[i] * cover + p[i] * keep
                    p[3] = cover + p[3] * keep
    return pixels


def png_bytes(size, pixels):
    rows = bytearray()
    for row in range(size):
        rows.append(0)  # filter type: none
        for r, g, b, a in pixels[row * size:(row + 1) * size]:
            if a > 0.0:
                rows += bytes(int(round(min(1.0, c / a) * 255)) for c in (r, g, b))
            else:
                rows += b"\0\0\0"
            rows.append(int(round(a * 255)))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(bytes(rows), 9)) + chunk(b"IEND", b""))


def main():
    if len(sys.argv) < 3:
        sys.exit("usage: make_icon.py OUTPUT_FOLDER SIZE...")
    os.makedirs(sys.argv[1], exist_ok=True)
    for size in map(int, sys.argv[2:]):
        path = os.path.join(sys.argv[1], "dirka-%d.png" % size)
        with open(path, "wb") as out:
            out.write(png_bytes(size, render(size)))


if __name__ == "__main__":
    main()
