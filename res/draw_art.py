#!/usr/bin/env python3
"""Draw the artwork of Velmora Downloader: the toolbar image strips and the icons.

Writes
  bitmaps/main_toolbar.bmp  36 images for the main toolbar (bitmap 300)
  bitmaps/path_bars.bmp     5 images for the file and folder bars (bitmap 301)
  bitmaps/referer_bar.bmp   1 image for the Referer bar (bitmap 302)
  bitmaps/*_36.bmp          the same strips at 36 pixels, for 144 DPI (bitmaps 303 to 305)
  bitmaps/*_48.bmp          and at 48 pixels, for 192 DPI (bitmaps 306 to 308)
  icons/*.ico               program, window, busy and the six entry states
next to this script. The generated files are committed, so building the program needs no
drawing tools; run this script again after changing a drawing:

  python3 res/draw_art.py

Only the standard library is used and the output is byte-for-byte the same on every run.

Strips are 24-bit bottom-up BMPs of square images side by side, image i at x = size * i,
drawn on the 24-unit grid at 24, 36 and 48 pixels. The
toolbars treat pure black as "show the button face", so every background pixel is exactly
(0, 0, 0) and no drawn pixel ever is. Icons hold 16x16, 24x24, 32x32 and 48x48 images (the
small and large icon sizes at 96, 144 and 192 DPI) as 32-bit BGRA DIBs with a 1-bit AND mask.

Drawings are stacks of layers (shape, fill colour, rim colour). A shape is a point test in
design units; the renderer samples it 4x4 times per pixel. A sample that lies in a shape but
less than one output pixel from its edge takes the rim colour, so every shape gets a darker
one-pixel rim at whatever size it is drawn, which keeps the art readable on light and dark
backgrounds alike.
"""

import math
import os
import struct

SUBSAMPLES = 4  # per pixel and axis
STRIP_IMAGE = 24  # strip images are drawn on a 24-unit grid
STRIP_SIZES = (24, 36, 48)  # pixels: for 96, 144 and 192 DPI
ICON_GRID = 32.0  # icons are drawn on a 32-unit grid and sampled at every stored size

# Black is the toolbar's transparent colour; drawn pixels that would come out black get this.
NEAR_BLACK = (16, 16, 16)


# --- colours ----------------------------------------------------------------

def darker(rgb, factor=0.62):
    return tuple(int(c * factor) for c in rgb)


WHITE = (255, 255, 255)
GOLD = (0xF7, 0xBA, 0x12)  # standby
BLUE = (0x2A, 0x6E, 0xDC)  # done
RED = (0xE0, 0x34, 0x2A)  # interrupted, error, stop
GREEN = (0x34, 0xAE, 0x4A)  # run, add, busy
PINK = (0xFA, 0xB4, 0xCE)  # background of the "all URLs" variants
PINK_RIM = (0xD6, 0x78, 0x9E)
ORANGE = (0xF2, 0x94, 0x24)
YELLOW = (0xF8, 0xD2, 0x3C)
STEEL = (0x8E, 0x9A, 0xAA)
TEAL = (0x1C, 0x9C, 0xB4)
PAPER = (0xFB, 0xFB, 0xFB)
PAPER_RIM = (0x6A, 0x72, 0x80)
ROW = (0x9C, 0xA8, 0xB8)
SELECTED_ROW = (0x3C, 0x8C, 0xF0)
NIGHT = (0x2C, 0x3A, 0x58)  # sheet of the "invert" variants
NIGHT_RIM = (0x18, 0x22, 0x36)
NIGHT_ROW = (0xE4, 0xEA, 0xF4)
SKIN = (0xFF, 0xD4, 0xA4)
SKIN_RIM = (0xB4, 0x78, 0x46)
WOOD = (0xF0, 0xCC, 0x94)
LEAD = (0x40, 0x40, 0x48)
DARK = (0x48, 0x4C, 0x54)


# --- shapes -----------------------------------------------------------------
# A shape is a point test plus a bounding box (left, top, right, bottom) that the renderer
# uses to skip samples quickly. Coordinates grow right and down.

class Shape:
    def __init__(self, test, box):
        self.test = test
        self.box = box

    def contains(self, x, y):
        left, top, right, bottom = self.box
        return left <= x <= right and top <= y <= bottom and self.test(x, y)

    def __or__(self, other):
        a, b = self.box, other.box
        box = (min(a[0], b[0]), min(a[1], b[1]), max(a[2], b[2]), max(a[3], b[3]))
        return Shape(lambda x, y: self.contains(x, y) or other.contains(x, y), box)

    def __sub__(self, other):
        return Shape(lambda x, y: self.test(x, y) and not other.contains(x, y), self.box)


def rect(left, top, right, bottom, radius=0.0):
    def test(x, y):
        if radius <= 0:
            return True
        cx = min(max(x, left + radius), right - radius)
        cy = min(max(y, top + radius), bottom - radius)
        return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius
    return Shape(test, (left, top, right, bottom))


def circle(cx, cy, radius):
    return Shape(lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius,
                 (cx - radius, cy - radius, cx + radius, cy + radius))


def polygon(points):
    """Even-odd fill of a closed polygon."""
    xs = [p[0] for p in points]
    ys = [p[1] for p in points]

    def test(x, y):
        inside = False
        j = len(points) - 1
        for i in range(len(points)):
            xi, yi = points[i]
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                inside = not inside
            j = i
        return inside
    return Shape(test, (min(xs), min(ys), max(xs), max(ys)))


def stroke(points, half_width):
    """A pen line of the given half width with round ends and joins."""
    def seg_dist2(x, y, p, q):
        vx, vy = q[0] - p[0], q[1] - p[1]
        t = ((x - p[0]) * vx + (y - p[1]) * vy) / (vx * vx + vy * vy)
        t = min(max(t, 0.0), 1.0)
        dx, dy = x - (p[0] + t * vx), y - (p[1] + t * vy)
        return dx * dx + dy * dy

    limit = half_width * half_width
    xs = [p[0] for p in points]
    ys = [p[1] for p in points]
    return Shape(
        lambda x, y: any(seg_dist2(x, y, points[i], points[i + 1]) <= limit
                         for i in range(len(points) - 1)),
        (min(xs) - half_width, min(ys) - half_width, max(xs) + half_width,
         max(ys) + half_width))


def ring(cx, cy, inner, outer, start_deg=0.0, end_deg=360.0):
    """Annulus, optionally only the part between two angles (degrees, clockwise from
    3 o'clock because y grows downwards)."""
    def test(x, y):
        d2 = (x - cx) ** 2 + (y - cy) ** 2
        if not inner * inner <= d2 <= outer * outer:
            return False
        angle = math.degrees(math.atan2(y - cy, x - cx)) % 360.0
        return (angle - start_deg) % 360.0 <= (end_deg - start_deg) % 360.0 or \
            end_deg - start_deg >= 360.0
    return Shape(test, (cx - outer, cy - outer, cx + outer, cy + outer))


def gear_shape(cx, cy, outer, root, hole, teeth):
    """A cog wheel: teeth reach to the outer radius, the body to the root radius."""
    step = 2 * math.pi / teeth

    def test(x, y):
        dx, dy = x - cx, y - cy
        d2 = dx * dx + dy * dy
        if d2 < hole * hole or d2 > outer * outer:
            return False
        if d2 <= root * root:
            return True
        # A tooth is a band of constant width around each spoke direction, so its sides
        # are parallel and it stays blocky when drawn small.
        angle = math.atan2(dy, dx) + step / 4
        nearest = round(angle / step) * step
        across = abs(-math.sin(nearest) * dx + math.cos(nearest) * dy)
        return across <= outer * 0.30
    return Shape(test, (cx - outer, cy - outer, cx + outer, cy + outer))


def transformed(shape, cx, cy, scale, angle_deg=0.0):
    """The unit-coordinates shape placed with its origin at (cx, cy), scaled and turned
    clockwise by angle_deg."""
    a = math.radians(angle_deg)
    cos_a, sin_a = math.cos(a), math.sin(a)

    def to_unit(x, y):
        dx, dy = (x - cx) / scale, (y - cy) / scale
        return cos_a * dx + sin_a * dy, -sin_a * dx + cos_a * dy

    l, t, r, b = shape.box
    corners = [(l, t), (r, t), (l, b), (r, b)]
    mapped = [(cx + scale * (cos_a * u - sin_a * v), cy + scale * (sin_a * u + cos_a * v))
              for u, v in corners]
    box = (min(p[0] for p in mapped), min(p[1] for p in mapped),
           max(p[0] for p in mapped), max(p[1] for p in mapped))
    return Shape(lambda x, y: shape.contains(*to_unit(x, y)), box)


# --- symbols ----------------------------------------------------------------
# Symbols are drawn in unit coordinates (about -0.5 to 0.5 on both axes) and return layers
# (shape, fill, rim); place() puts one at a centre and size on a canvas.

def place(layers, cx, cy, size, angle_deg=0.0):
    return [(transformed(s, cx, cy, size, angle_deg), fill, rim) for s, fill, rim in layers]


def star():
    points = []
    for k in range(10):
        radius = 0.52 if k % 2 == 0 else 0.25
        angle = math.radians(-90 + 36 * k)
        points.append((radius * math.cos(angle), 0.05 + radius * math.sin(angle)))
    return [(polygon(points), GOLD, darker(GOLD, 0.68))]


# The glyph weight is the pen's half width; icons use a heavier pen than the toolbar so the
# glyph keeps a coloured core inside its rim when shown at 14 or 16 pixels.

def check(weight=0.12):
    return [(stroke([(-0.36, 0.0), (-0.12, 0.25), (0.36, -0.27)], weight), BLUE, darker(BLUE))]


def cross(color=RED, weight=0.12):
    shape = (stroke([(-0.3, -0.3), (0.3, 0.3)], weight)
             | stroke([(0.3, -0.3), (-0.3, 0.3)], weight))
    return [(shape, color, darker(color))]


def exclamation(weight=0.14):
    top, bottom = weight * 1.45, weight * 0.95
    bar = polygon([(-top, -0.48), (top, -0.48), (bottom, 0.16), (-bottom, 0.16)])
    dot = rect(-weight * 1.1, 0.27, weight * 1.1, 0.49, weight * 0.3)
    return [(bar | dot, RED, darker(RED))]


def plus(color=GREEN):
    shape = rect(-0.5, -0.17, 0.5, 0.17) | rect(-0.17, -0.5, 0.17, 0.5)
    return [(shape, color, darker(color))]


def play_disc():
    return [(circle(0, 0, 0.5), GREEN, darker(GREEN)),
            (polygon([(-0.14, -0.25), (0.27, 0.0), (-0.14, 0.25)]), WHITE, None)]


def stop_disc():
    return [(circle(0, 0, 0.5), RED, darker(RED)),
            (rect(-0.18, -0.18, 0.18, 0.18), WHITE, None)]


def play_arrow():
    return [(polygon([(-0.3, -0.45), (0.42, 0.0), (-0.3, 0.45)]), GREEN, darker(GREEN))]


def down_arrow(color=GREEN):
    shape = rect(-0.15, -0.48, 0.15, 0.05) | polygon([(-0.42, -0.02), (0.42, -0.02), (0, 0.46)])
    return [(shape, color, darker(color))]


def waste_bin():
    body = polygon([(-0.34, -0.22), (0.34, -0.22), (0.27, 0.5), (-0.27, 0.5)])
    lid = rect(-0.44, -0.36, 0.44, -0.2, 0.04)
    handle = rect(-0.14, -0.48, 0.14, -0.3, 0.04)
    grooves = (rect(-0.15, -0.1, -0.09, 0.38) | rect(-0.03, -0.1, 0.03, 0.38)
               | rect(0.09, -0.1, 0.15, 0.38))
    return [(handle, STEEL, darker(STEEL, 0.55)),
            (body, STEEL, darker(STEEL, 0.55)),
            (grooves, darker(STEEL, 0.72), None),
            (lid, STEEL, darker(STEEL, 0.55))]


def folder(color):
    back = rect(-0.48, -0.36, -0.02, -0.16, 0.06) | rect(-0.48, -0.26, 0.48, 0.4, 0.04)
    front = rect(-0.48, -0.12, 0.48, 0.4, 0.04)
    return [(back, darker(color, 0.86), darker(color, 0.58)),
            (front, color, darker(color, 0.58))]


def gear():
    return [(gear_shape(0, 0, 0.5, 0.36, 0.14, 8), STEEL, darker(STEEL, 0.55))]


def question_disc():
    hook = ring(0, -0.12, 0.07, 0.2, 180, 90) | rect(-0.07, 0.05, 0.07, 0.15)
    dot = rect(-0.07, 0.2, 0.07, 0.33)
    return [(circle(0, 0, 0.5), BLUE, darker(BLUE)),
            (hook | dot, WHITE, None)]


def page():
    sheet = polygon([(-0.36, -0.48), (0.14, -0.48), (0.36, -0.26), (0.36, 0.48),
                     (-0.36, 0.48)])
    fold = polygon([(0.1, -0.48), (0.36, -0.22), (0.1, -0.22)])
    lines = (rect(-0.22, -0.14, 0.22, -0.06) | rect(-0.22, 0.04, 0.22, 0.12)
             | rect(-0.22, 0.22, 0.22, 0.3))
    return [(sheet, PAPER, PAPER_RIM),
            (fold, (0xD8, 0xDE, 0xE6), PAPER_RIM),
            (lines, ROW, None)]


def wrench():
    handle = stroke([(0.0, -0.02), (0.0, 0.42)], 0.12)
    head = circle(0, -0.24, 0.25) - rect(-0.09, -0.6, 0.09, -0.25)
    return [(handle | head, STEEL, darker(STEEL, 0.55))]


def pencil():
    # Drawn lying along +x with the point to the left, turned by place().
    body = rect(-0.16, -0.13, 0.5, 0.13)
    band = rect(0.32, -0.13, 0.42, 0.13)
    tip = polygon([(-0.16, -0.13), (-0.16, 0.13), (-0.5, 0.0)])
    lead = polygon([(-0.37, -0.05), (-0.37, 0.05), (-0.5, 0.0)])
    return [(body, GREEN, darker(GREEN)),
            (band, darker(GREEN, 0.75), None),
            (tip, WOOD, darker(WOOD, 0.6)),
            (lead, LEAD, None)]


def hand():
    # A hand pointing right with the index finger, the other fingers folded under it.
    cuff = rect(-0.5, -0.2, -0.32, 0.34, 0.03)
    palm = rect(-0.38, -0.22, 0.02, 0.36, 0.1)
    folded = [rect(-0.08, y, x, y + 0.14, 0.07)
              for x, y in ((0.2, -0.03), (0.16, 0.1), (0.12, 0.23))]
    finger = rect(-0.16, -0.22, 0.5, -0.05, 0.085)
    thumb = rect(-0.28, -0.34, 0.02, -0.17, 0.085)
    return ([(cuff, BLUE, darker(BLUE)), (palm, SKIN, SKIN_RIM)]
            + [(f, SKIN, SKIN_RIM) for f in reversed(folded)]
            + [(finger, SKIN, SKIN_RIM), (thumb, SKIN, SKIN_RIM)])


def separator_box():
    box = rect(-0.28, -0.28, 0.28, 0.28)
    x = stroke([(-0.15, -0.15), (0.15, 0.15)], 0.055) | stroke([(0.15, -0.15), (-0.15, 0.15)],
                                                               0.055)
    return [(box, (0xE8, 0xEA, 0xEE), DARK), (x, DARK, None)]


# --- strip tiles --------------------------------------------------------------
# One tile is one 24x24 image on a 24-unit grid; the centre of the tile is (12, 12).

def full(symbol):
    return place(symbol, 12, 12, 20)


def on_pink(symbol):
    return [(rect(1, 1, 23, 23, 4), PINK, PINK_RIM)] + place(symbol, 12, 12, 16)


def sheet(rows_color, fill, rim, selected=False):
    layers = [(rect(1, 1, 16, 21, 1), fill, rim)]
    for top in (4, 8, 12, 16):
        if selected:
            layers.append((rect(3, top, 14, top + 3), SELECTED_ROW, None))
        else:
            layers.append((rect(4, top + 0.5, 13, top + 2.5), rows_color, None))
    return layers


def over_list(symbol, invert=False):
    if invert:
        base = sheet(NIGHT_ROW, NIGHT, NIGHT_RIM)
    else:
        base = sheet(ROW, PAPER, PAPER_RIM)
    return base + place(symbol, 16, 16, 15)


def with_badge(symbol, badge):
    return place(symbol, 10, 10, 17) + place(badge, 18, 18, 10)


MAIN_TOOLBAR = [
    full(play_disc()),                        # 0 run the download
    full(stop_disc()),                        # 1 stop the download
    over_list(play_arrow()),                  # 2 run the selected URLs
    over_list(star()),                        # 3 select standby URLs
    over_list(star(), invert=True),           # 4 invert the selection of standby URLs
    over_list(check()),                       # 5 select done URLs
    over_list(check(), invert=True),          # 6
    over_list(cross()),                       # 7 select interrupted URLs
    over_list(cross(), invert=True),          # 8
    over_list(exclamation()),                 # 9 select error URLs
    over_list(exclamation(), invert=True),    # 10
    sheet(ROW, PAPER, PAPER_RIM, selected=True),  # 11 select all URLs
    sheet(NIGHT_ROW, NIGHT, NIGHT_RIM),       # 12 invert the selection of all URLs
    full(star()),                             # 13 selected URLs to standby
    on_pink(star()),                          # 14 all URLs to standby
    full(check()),                            # 15 selected URLs to done
    on_pink(check()),                         # 16
    full(cross()),                            # 17 selected URLs to interrupted
    on_pink(cross()),                         # 18
    full(exclamation()),                      # 19 selected URLs to error
    on_pink(exclamation()),                   # 20
    full(waste_bin()),                        # 21 delete selected URLs
    on_pink(waste_bin()),                     # 22 delete all URLs
    with_badge(star(), plus()),               # 23 add selected URLs to the list file
    with_badge(check(), plus()),              # 24 ... to the download log
    with_badge(cross(), plus()),              # 25 ... to the interrupted log
    with_badge(exclamation(), plus()),        # 26 ... to the error log
    with_badge(star(), cross(DARK)),          # 27 remove selected URLs from the list file
    with_badge(check(), cross(DARK)),         # 28 ... from the download log
    with_badge(cross(), cross(DARK)),         # 29 ... from the interrupted log
    with_badge(exclamation(), cross(DARK)),   # 30 ... from the error log
    full(folder(ORANGE)),                     # 31 open the program's folder
    full(gear()),                             # 32 options
    full(question_disc()),                    # 33 Readme.txt
    full(page()),                             # 34 version information
    full(separator_box()),                    # 35 stands for a separator when customizing
]

PATH_BARS = [
    place(plus(RED), 12, 12, 18),             # 0 add the list
    place(wrench(), 12, 12, 21, 45),          # 1 apply the log to the list
    full(gear()),                             # 2 choose the file or folder
    place(pencil(), 12, 12, 24, 45),          # 3 edit the file
    full(folder(YELLOW)),                     # 4 open the containing folder
]

REFERER_BAR = [
    full(hand()),                             # 0 send Referer information
]


# --- icons ------------------------------------------------------------------
# Drawn on a 32-unit grid; the centre is (16, 16).

def program_layers():
    # Edges sit on even units so they fall on pixel boundaries at 16x16 too.
    tile = rect(2, 2, 30, 30, 6)
    arrow = rect(12, 6, 20, 16) | polygon([(6, 14), (26, 14), (16, 24)])
    tray = rect(8, 24, 24, 26)
    return [(tile, BLUE, darker(BLUE)), (arrow | tray, WHITE, None)]


def busy_layers():
    # The program icon with a green "run" disc in its corner, the same sign as the
    # toolbar's download button.
    return program_layers() + place(play_disc(), 22, 22, 20)


def clock_layers():
    hands = rect(14, 6, 18, 18, 2) | stroke([(16, 16), (22, 20)], 2)
    return [(circle(16, 16, 14.5), TEAL, darker(TEAL)), (hands, WHITE, None)]


ICON_SIZES = (16, 24, 32, 48)  # small and large icons at 96, 144 and 192 DPI
ICONS = [
    ("program.ico", program_layers(), ICON_SIZES),
    ("main.ico", program_layers(), ICON_SIZES),
    ("busy.ico", busy_layers(), ICON_SIZES),
    ("standby.ico", place(star(), 16, 16, 30), ICON_SIZES),
    ("preparing.ico", clock_layers(), ICON_SIZES),
    ("downloading.ico", place(down_arrow(), 16, 16, 30), ICON_SIZES),
    ("done.ico", place(check(0.15), 16, 16, 30), ICON_SIZES),
    ("interrupted.ico", place(cross(weight=0.15), 16, 16, 31), ICON_SIZES),
    ("error.ico", place(exclamation(0.16), 16, 16, 30), ICON_SIZES),
]


# --- rendering ----------------------------------------------------------------

NEIGHBOURS = [(dx, dy) for dx in (-1, 0, 1) for dy in (-1, 0, 1) if dx or dy]


def sample(layers, x, y, px):
    """Colour of the topmost layer at (x, y), or None where nothing is drawn."""
    for shape, fill, rim in reversed(layers):
        if shape.contains(x, y):
            if rim is not None and not all(shape.contains(x + dx * px, y + dy * px)
                                           for dx, dy in NEIGHBOURS):
                return rim
            return fill
    return None


def render(layers, size, grid):
    """Rows (top-down) of (r, g, b, a): colour averaged over the covered samples, alpha the
    covered share."""
    px = grid / size
    n = SUBSAMPLES
    rows = []
    for j in range(size):
        row = []
        for i in range(size):
            total = [0, 0, 0]
            count = 0
            for sj in range(n):
                for si in range(n):
                    x = (i + (si + 0.5) / n) * px
                    y = (j + (sj + 0.5) / n) * px
                    colour = sample(layers, x, y, px)
                    if colour is not None:
                        count += 1
                        for k in range(3):
                            total[k] += colour[k]
            if count == 0:
                row.append((0, 0, 0, 0))
            else:
                rgb = tuple((t + count // 2) // count for t in total)
                row.append(rgb + ((count * 255 + n * n // 2) // (n * n),))
        rows.append(row)
    return rows


def strip_rows(tiles, size):
    """Top-down rows of opaque RGB for a strip: a pixel belongs to the art when at least half
    of it is covered; everything else is the transparent black."""
    rows = [[] for _ in range(size)]
    for layers in tiles:
        for j, row in enumerate(render(layers, size, STRIP_IMAGE)):
            for r, g, b, a in row:
                if a < 128:
                    rows[j].append((0, 0, 0))
                elif (r, g, b) == (0, 0, 0):
                    rows[j].append(NEAR_BLACK)
                else:
                    rows[j].append((r, g, b))
    return rows


def encode_bmp(rows):
    """A 24-bit bottom-up uncompressed BMP file."""
    width, height = len(rows[0]), len(rows)
    stride = (width * 3 + 3) & ~3
    pixels = bytearray()
    for row in reversed(rows):
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        line += bytes(stride - len(line))
        pixels += line
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 0, 0, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return header + info + bytes(pixels)


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


def encode_ico(layers, sizes):
    images = [encode_dib(render(layers, s, ICON_GRID)) for s in sizes]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for s, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s, s, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for data in images:
        out += data
    return bytes(out)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    print("wrote", path)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    for name, tiles in (("main_toolbar", MAIN_TOOLBAR), ("path_bars", PATH_BARS),
                        ("referer_bar", REFERER_BAR)):
        for size in STRIP_SIZES:
            suffix = "" if size == STRIP_IMAGE else f"_{size}"
            write(os.path.join(here, "bitmaps", f"{name}{suffix}.bmp"),
                  encode_bmp(strip_rows(tiles, size)))
    for name, layers, sizes in ICONS:
        write(os.path.join(here, "icons", name), encode_ico(layers, sizes))


if __name__ == "__main__":
    main()
