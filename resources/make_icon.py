#!/usr/bin/env python3
"""Draws the host's icon, a ">_" prompt on a rounded dark square, and writes ssh-native-host.ico.

Every size is rendered from the same geometry (in units of the icon's side) with 4x4 supersampling
and stored as a 32-bit RGBA PNG inside the ICO container. Standard library only, so the icon can be
regenerated anywhere; the build uses the committed .ico and does not need Python.
"""

import math
import struct
import sys
import zlib
from pathlib import Path

SIZES = (128, 64, 48, 32)
SUBSAMPLES = 4

BACKGROUND_TOP = (0x2B, 0x33, 0x3E)
BACKGROUND_BOTTOM = (0x16, 0x1B, 0x22)
BORDER = (0x4A, 0x55, 0x63)
PROMPT = (0x7E, 0xE7, 0x87)
CURSOR = (0xE6, 0xED, 0xF3)


def rounded_square_distance(x, y, inset, radius):
    """Signed distance (negative inside) to a square inset from the unit square, corners rounded."""
    half = 0.5 - inset - radius
    qx = abs(x - 0.5) - half
    qy = abs(y - 0.5) - half
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    inside = min(max(qx, qy), 0.0)
    return outside + inside - radius


def segment_distance(x, y, ax, ay, bx, by):
    """Distance from the point to the segment from a to b."""
    dx, dy = bx - ax, by - ay
    t = ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)
    t = min(max(t, 0.0), 1.0)
    return math.hypot(x - (ax + t * dx), y - (ay + t * dy))


def blend(under, over, alpha):
    return tuple(u + (o - u) * alpha for u, o in zip(under, over))


def shade(x, y, stroke):
    """Colour and opacity of one sample at (x, y) in the unit square."""
    body = rounded_square_distance(x, y, inset=0.04, radius=0.17)
    if body > 0.0:
        return (0.0, 0.0, 0.0), 0.0
    colour = blend(BACKGROUND_TOP, BACKGROUND_BOTTOM, y)
    if body > -0.025:
        colour = BORDER
    half = stroke / 2
    chevron = min(
        segment_distance(x, y, 0.27, 0.32, 0.47, 0.50),
        segment_distance(x, y, 0.47, 0.50, 0.27, 0.68),
    )
    if chevron <= half:
        colour = PROMPT
    elif segment_distance(x, y, 0.54, 0.68, 0.74, 0.68) <= half:
        colour = CURSOR
    return colour, 1.0


def render(size):
    """RGBA rows, top row first, averaged over SUBSAMPLES x SUBSAMPLES samples per pixel."""
    # Strokes at least 2.6 pixels wide so that the prompt stays legible at 32 pixels.
    stroke = max(0.085, 2.6 / size)
    rows = []
    for py in range(size):
        row = bytearray()
        for px in range(size):
            red = green = blue = coverage = 0.0
            for sy in range(SUBSAMPLES):
                for sx in range(SUBSAMPLES):
                    x = (px + (sx + 0.5) / SUBSAMPLES) / size
                    y = (py + (sy + 0.5) / SUBSAMPLES) / size
                    (r, g, b), a = shade(x, y, stroke)
                    red += r * a
                    green += g * a
                    blue += b * a
                    coverage += a
            samples = SUBSAMPLES * SUBSAMPLES
            if coverage == 0.0:
                row += bytes(4)
            else:
                row += bytes(
                    (
                        round(red / coverage),
                        round(green / coverage),
                        round(blue / coverage),
                        round(255 * coverage / samples),
                    )
                )
        rows.append(bytes(row))
    return rows


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def encode_png(size, rows):
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA, no interlace
    raw = b"".join(b"\x00" + row for row in rows)  # filter type 0 on every row
    return (
        b"\x89PNG\r\n\x1a\n"
        + png_chunk(b"IHDR", header)
        + png_chunk(b"IDAT", zlib.compress(raw, 9))
        + png_chunk(b"IEND", b"")
    )


def encode_ico(images):
    """ICO container: ICONDIR, one 16-byte ICONDIRENTRY per image, then the PNG data."""
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    entries = b""
    for size, data in images:
        side = 0 if size >= 256 else size
        entries += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return directory + entries + b"".join(data for _, data in images)


def main():
    target = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).with_name("ssh-native-host.ico")
    images = [(size, encode_png(size, render(size))) for size in SIZES]
    target.write_bytes(encode_ico(images))
    print(f"{target}: {', '.join(str(size) for size in SIZES)} pixels")


if __name__ == "__main__":
    main()
