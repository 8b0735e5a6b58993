#!/usr/bin/env python3
"""Draws the editor's icon, a football inside a ring of twelve stars, as
16-colour palette PNGs at 32 x 32 and 16 x 16 pixels."""
import math
import struct
import sys
import zlib

# The classic 16-colour palette; fuchsia, unused, stands for transparent.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
TRANSPARENT, INK, NAVY, GREY, YELLOW, WHITE = 13, 0, 4, 8, 11, 15


def draw(size):
    pixels = [[TRANSPARENT] * size for _ in range(size)]
    centre = (size - 1) / 2
    radius = size / 2
    for y in range(size):
        for x in range(size):
            if math.hypot(x - centre, y - centre) <= radius - 0.3:
                pixels[y][x] = NAVY
    ring = radius * 0.72
    star = max(1.0, size / 22)
    for k in range(12):
        angle = k * math.pi / 6
        sx = centre + ring * math.cos(angle)
        sy = centre + ring * math.sin(angle)
        for y in range(size):
            for x in range(size):
                if abs(x - sx) + abs(y - sy) <= star:
                    pixels[y][x] = YELLOW
    ball = radius * 0.42
    for y in range(size):
        for x in range(size):
            d = math.hypot(x - centre, y - centre)
            if d <= ball:
                pixels[y][x] = WHITE
                if d >= ball - 0.9:
                    pixels[y][x] = GREY
    patch = ball * 0.26
    spots = [(0, 0)] + [(ball * 0.92 * math.cos(a), ball * 0.92 * math.sin(a))
                        for a in (math.pi * (-0.5 + 0.4 * i) for i in range(5))]
    for px, py in spots if size >= 32 else spots[:1]:
        for y in range(size):
            for x in range(size):
                if math.hypot(x - centre - px, y - centre - py) <= patch \
                        and math.hypot(x - centre, y - centre) <= ball:
                    pixels[y][x] = INK
    return pixels


def png(pixels):
    size = len(pixels)
    raw = b""
    for row in pixels:
        raw += b"\0"
        for i in range(0, size, 2):
            raw += bytes([(row[i] << 4) | row[i + 1]])

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 4, 3, 0, 0, 0))
            + chunk(b"PLTE", bytes(c for rgb in PALETTE for c in rgb))
            + chunk(b"tRNS", bytes([255] * TRANSPARENT + [0]))
            + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def ico(images):
    """A Windows icon file holding each PNG as it is."""
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = len(header) + 16 * len(images)
    entries = b""
    for size, data in images:
        entries += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    return header + entries + b"".join(data for _, data in images)


if __name__ == "__main__":
    folder = sys.argv[1] if len(sys.argv) > 1 else "icons"
    images = [(size, png(draw(size))) for size in (32, 16)]
    for size, data in images:
        with open(f"{folder}/nation-editor-{size}.png", "wb") as out:
            out.write(data)
    with open(f"{folder}/nation-editor.ico", "wb") as out:
        out.write(ico(images))
