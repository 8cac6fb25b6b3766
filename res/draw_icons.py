#!/usr/bin/env python3
"""Draw the placeholder icons of Velmora Downloader.

Writes nine .ico files into the icons/ folder next to this script. Each file
holds a 16x16 and a 32x32 image stored as 32-bit BGRA DIBs with a 1-bit AND
mask, which is the layout LoadImage/LoadIcon expect. Only the standard library
is used and the output is byte-for-byte the same on every run.

Shapes are described on a 32x32 design grid and sampled at pixel centres, so
one description serves both sizes. Edges are hard (no anti-aliasing); every
filled shape gets a one-pixel darker rim so it stays readable on light and
dark backgrounds alike.

Usage: python3 draw_icons.py
"""

import math
import os
import struct

GRID = 32.0          # design grid the shapes are described on
SIZES = (16, 32)     # images stored in every .ico

WHITE = (255, 255, 255)

BLUE = (0x2B, 0x6C, 0xD4)
ORANGE = (0xEE, 0x86, 0x1A)
GREY = (0x98, 0x9C, 0xA2)
YELLOW = (0xF2, 0xC6, 0x1F)
GREEN = (0x2F, 0xA0, 0x45)
RED = (0xD8, 0x32, 0x28)


def darker(rgb, factor=0.72):
    return tuple(int(c * factor) for c in rgb)


# --- shape predicates -------------------------------------------------------
# Each shape is a function (x, y, px) -> bool where x, y are grid coordinates
# of a pixel centre and px is the width of one output pixel in grid units
# (2.0 at 16x16, 1.0 at 32x32). px lets a shape be shrunk by whole pixels.

def rounded_square(left, top, right, bottom, radius, inset_px=0):
    def inside(x, y, px):
        d = inset_px * px
        l, t, r, b = left + d, top + d, right - d, bottom - d
        rad = max(radius - d, 0.0)
        if not (l <= x <= r and t <= y <= b):
            return False
        cx = min(max(x, l + rad), r - rad)
        cy = min(max(y, t + rad), b - rad)
        return (x - cx) ** 2 + (y - cy) ** 2 <= rad * rad
    return inside


def circle(cx, cy, radius, inset_px=0):
    def inside(x, y, px):
        rad = radius - inset_px * px
        return (x - cx) ** 2 + (y - cy) ** 2 <= rad * rad
    return inside


def rect(left, top, right, bottom):
    def inside(x, y, px):
        return left <= x <= right and top <= y <= bottom
    return inside


def triangle(a, b, c):
    def edge(p, q, x, y):
        return (q[0] - p[0]) * (y - p[1]) - (q[1] - p[1]) * (x - p[0])

    def inside(x, y, px):
        e1, e2, e3 = edge(a, b, x, y), edge(b, c, x, y), edge(c, a, x, y)
        return (e1 >= 0 and e2 >= 0 and e3 >= 0) or \
               (e1 <= 0 and e2 <= 0 and e3 <= 0)
    return inside


def polyline(points, half_width):
    """A stroke of the given half width (grid units) along the points."""
    def seg_dist(x, y, p, q):
        vx, vy = q[0] - p[0], q[1] - p[1]
        t = ((x - p[0]) * vx + (y - p[1]) * vy) / (vx * vx + vy * vy)
        t = min(max(t, 0.0), 1.0)
        return math.hypot(x - (p[0] + t * vx), y - (p[1] + t * vy))

    def inside(x, y, px):
        return any(seg_dist(x, y, points[i], points[i + 1]) <= half_width
                   for i in range(len(points) - 1))
    return inside


def union(*shapes):
    def inside(x, y, px):
        return any(s(x, y, px) for s in shapes)
    return inside


# --- glyphs -----------------------------------------------------------------
# Rectangle edges sit on even grid lines, which never coincide with a pixel
# centre at either size, so the glyphs stay symmetric.

def down_arrow(shaft_half, shaft_top, head_top, head_half, tip):
    return union(
        rect(16 - shaft_half, shaft_top, 16 + shaft_half, head_top + 1),
        triangle((16 - head_half, head_top), (16 + head_half, head_top),
                 (16, tip)),
    )


BIG_ARROW = down_arrow(shaft_half=3, shaft_top=6, head_top=15, head_half=9,
                       tip=26)
SMALL_ARROW = down_arrow(shaft_half=2, shaft_top=8, head_top=15, head_half=7,
                         tip=24)
CHECK = polyline([(8.5, 16.5), (13.5, 21.5), (23.5, 10.5)], 2.3)
CROSS = union(polyline([(10.5, 10.5), (21.5, 21.5)], 2.3),
              polyline([(21.5, 10.5), (10.5, 21.5)], 2.3))
PAUSE = union(rect(10, 9, 14, 23), rect(18, 9, 22, 23))


def badge_square(color, glyph=None):
    layers = [
        (rounded_square(2, 2, 30, 30, 6), darker(color)),
        (rounded_square(2, 2, 30, 30, 6, inset_px=1), color),
    ]
    if glyph:
        layers.append((glyph, WHITE))
    return layers


def badge_circle(color, glyph=None):
    layers = [
        (circle(16, 16, 15), darker(color)),
        (circle(16, 16, 15, inset_px=1), color),
    ]
    if glyph:
        layers.append((glyph, WHITE))
    return layers


ICONS = [
    ("program.ico", badge_square(BLUE, BIG_ARROW)),
    ("main.ico", badge_square(BLUE, BIG_ARROW)),
    ("busy.ico", badge_square(ORANGE, BIG_ARROW)),
    ("standby.ico", badge_circle(GREY)),
    ("preparing.ico", badge_circle(YELLOW)),
    ("downloading.ico", badge_circle(GREEN, SMALL_ARROW)),
    ("done.ico", badge_circle(BLUE, CHECK)),
    ("interrupted.ico", badge_circle(ORANGE, PAUSE)),
    ("error.ico", badge_circle(RED, CROSS)),
]


# --- rendering and encoding -------------------------------------------------

def render(layers, size):
    """Return rows (top-down) of (r, g, b, a) tuples."""
    px = GRID / size
    rows = []
    for j in range(size):
        row = []
        for i in range(size):
            x, y = (i + 0.5) * px, (j + 0.5) * px
            pixel = (0, 0, 0, 0)
            for shape, rgb in layers:
                if shape(x, y, px):
                    pixel = rgb + (255,)
            row.append(pixel)
        rows.append(row)
    return rows


def encode_dib(rows):
    """BITMAPINFOHEADER + bottom-up BGRA rows + bottom-up AND mask."""
    size = len(rows)
    mask_stride = ((size + 31) // 32) * 4
    xor = bytearray()
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for i, (r, g, b, a) in enumerate(row):
            xor += bytes((b, g, r, a))
            if a == 0:
                bits[i // 8] |= 0x80 >> (i % 8)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0,
                         len(xor) + len(mask), 0, 0, 0, 0)
    return header + bytes(xor) + bytes(mask)


def encode_ico(layers):
    images = [encode_dib(render(layers, s)) for s in SIZES]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for s, data in zip(SIZES, images):
        dim = s if s < 256 else 0
        out += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(data),
                           offset)
        offset += len(data)
    for data in images:
        out += data
    return bytes(out)


def main():
    out_dir = os.path.join(os.path.dirname(os.path.abspath(__file__)), "icons")
    os.makedirs(out_dir, exist_ok=True)
    for name, layers in ICONS:
        path = os.path.join(out_dir, name)
        with open(path, "wb") as f:
            f.write(encode_ico(layers))
        print("wrote", path)


if __name__ == "__main__":
    main()
