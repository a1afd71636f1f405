#!/usr/bin/env python3
"""Draws res/versalo.ico: a white V on a navy tile, with two yellow rhyme
marks, at 32x32 and 16x16 in the 16-colour palette (4 bits per pixel).

Run it again after changing the drawing: python3 res/make_icon.py

The web page's icons come from the same drawing, at build time:
  make_icon.py --png SIZE OUT [--maskable]
(--maskable: the tile in the middle four fifths of a navy square, the part
that every mask shape keeps.)
"""
import math
import pathlib
import struct
import sys
import zlib

# The classic 16-colour palette, as (red, green, blue).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
NAVY, YELLOW, WHITE = 4, 11, 15
TRANSPARENT = None


def segment_distance(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy))


def draw(size):
    """Rows of palette indices, top row first; None is transparent."""
    s = size / 32.0
    radius = 5 * s
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            cx, cy = x + 0.5, y + 0.5
            # A tile with rounded corners.
            qx = min(cx, size - cx)
            qy = min(cy, size - cy)
            if qx < radius and qy < radius and math.hypot(radius - qx, radius - qy) > radius:
                row.append(TRANSPARENT)
                continue
            colour = NAVY
            # The V.
            left = segment_distance(cx, cy, 7 * s, 6 * s, 14 * s, 24 * s)
            right = segment_distance(cx, cy, 21 * s, 6 * s, 14 * s, 24 * s)
            if min(left, right) < 2.2 * s:
                colour = WHITE
            # Two rhyme marks at the right, like matching line ends.
            for mark_y in (19, 25):
                if 20 * s <= cx <= 27 * s and abs(cy - mark_y * s) < 1.3 * s:
                    colour = YELLOW
            row.append(colour)
        rows.append(row)
    return rows


def image(size):
    rows = draw(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("BBBB", b, g, r, 0) for r, g, b in PALETTE)
    xor_stride = ((size * 4 + 31) // 32) * 4
    and_stride = ((size + 31) // 32) * 4
    xor = bytearray()
    mask = bytearray()
    for row in reversed(rows):  # bottom-up
        packed = bytearray(xor_stride)
        bits = bytearray(and_stride)
        for x, colour in enumerate(row):
            index = 0 if colour is TRANSPARENT else colour
            packed[x // 2] |= index << (4 if x % 2 == 0 else 0)
            if colour is TRANSPARENT:
                bits[x // 8] |= 0x80 >> (x % 8)
        xor += packed
        mask += bits
    return header + palette + bytes(xor) + bytes(mask)


def png(size, maskable=False):
    """The drawing as an RGBA PNG of size x size."""
    inner = size * 4 // 5 if maskable else size
    rows = draw(inner)
    margin = (size - inner) // 2
    raw = bytearray()
    for y in range(size):
        raw.append(0)  # no filter
        for x in range(size):
            colour = NAVY if maskable else TRANSPARENT
            if margin <= y < margin + inner and margin <= x < margin + inner:
                inside = rows[y - margin][x - margin]
                if inside is not TRANSPARENT:
                    colour = inside
            raw += bytes((0, 0, 0, 0)) if colour is TRANSPARENT else bytes((*PALETTE[colour], 255))

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def main():
    if len(sys.argv) > 1 and sys.argv[1] == "--png":
        size, out = int(sys.argv[2]), sys.argv[3]
        pathlib.Path(out).write_bytes(png(size, maskable="--maskable" in sys.argv[4:]))
        return
    images = [image(32), image(16)]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, data in zip((32, 16), images):
        out += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    for data in images:
        out += data
    path = pathlib.Path(__file__).with_name("versalo.ico")
    path.write_bytes(bytes(out))


if __name__ == "__main__":
    main()
