#!/usr/bin/env python3
"""Draws the program's artwork in code and writes it next to this script.

    python3 res/make_art.py [--preview DIR]

Tessaly.ico  the program icon: a dimmed screen (a dark translucent rounded
             square, the veil) with a photo emerging from it, at 16, 32, 48
             and 256 pixels.  The small sizes are 32-bit BMP entries with an
             AND mask, the 256 one is PNG-compressed, as the shell expects.
hand.cur     the link cursor: a 32x32 monochrome pointing hand whose index
             fingertip, at (5, 1), is the hot spot.

Only the standard library is used, and the output is the same byte for byte
on every run.  --preview DIR also writes a PNG of every image into DIR, the
cursor scaled up eight times, for looking at them.
"""

import math
import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


# ---------------------------------------------------------------- geometry --

def sd_round_box(px, py, hw, hh, r):
    """Signed distance from (px, py) to a rounded box centred on the origin."""
    qx = abs(px) - hw + r
    qy = abs(py) - hh + r
    ox = qx if qx > 0.0 else 0.0
    oy = qy if qy > 0.0 else 0.0
    inside = qx if qx > qy else qy
    if inside > 0.0:
        inside = 0.0
    return math.sqrt(ox * ox + oy * oy) + inside - r


def smoothstep(e0, e1, x):
    t = (x - e0) / (e1 - e0)
    t = 0.0 if t < 0.0 else 1.0 if t > 1.0 else t
    return t * t * (3.0 - 2.0 * t)


def mix(a, b, t):
    return (a[0] + (b[0] - a[0]) * t,
            a[1] + (b[1] - a[1]) * t,
            a[2] + (b[2] - a[2]) * t)


def rgb(hexcode):
    return (int(hexcode[0:2], 16) / 255.0,
            int(hexcode[2:4], 16) / 255.0,
            int(hexcode[4:6], 16) / 255.0)


# ------------------------------------------------------------------ colours --

VEIL_TOP = rgb("343a52")
VEIL_BOTTOM = rgb("151926")
VEIL_RIM = rgb("8e9ac4")
PAPER = rgb("fbf8f1")
PAPER_EDGE = rgb("c9c3b4")
SKY_TOP = rgb("2f7fd6")
SKY_LOW = rgb("cde9f7")
SUN = rgb("ffd548")
SUN_GLOW = rgb("fff1b8")
HILL_FAR = rgb("7fb86a")
HILL_FAR_SHADE = rgb("5e9c55")
HILL_NEAR = rgb("3b8a45")
HILL_NEAR_SHADE = rgb("2a6e38")


# -------------------------------------------------------------------- scene --
#
# The scene lives in the unit square, y downwards.  A level of detail is
# chosen from the pixel size: the 16 pixel icon keeps only big, high-contrast
# shapes; from 32 pixels up the next photo shows dimly through the veil behind
# the first, and the big icon also gets a sun glow, shaded hills and a paper
# edge.

class Layout:
    def __init__(self, size):
        self.size = size
        self.small = size <= 16
        self.large = size >= 128
        # The veil: a dark rounded square almost filling the icon.
        self.veil_c = 0.5
        self.veil_h = 0.5 - (1.0 / 16.0 if self.small else 0.055)
        self.veil_r = 0.20 if self.small else 0.19
        self.veil_alpha = 0.90 if self.small else 0.86
        # The main photo: landscape, tilted a little, poking out of the
        # veil's upper right as if it was rising through it.
        if self.small:
            self.cx, self.cy = 0.5 + 0.5 / 16.0, 0.5 - 0.5 / 16.0
            self.hw, self.hh = 0.40, 0.31
            self.angle = math.radians(-6.0)
            self.border = 0.085
        else:
            self.cx, self.cy = 0.55, 0.44
            self.hw, self.hh = 0.385, 0.295
            self.angle = math.radians(-9.0)
            self.border = 0.05 if self.large else 0.06
        self.cos = math.cos(self.angle)
        self.sin = math.sin(self.angle)
        # The next photo, still under the veil.
        self.back = not self.small
        self.bcx, self.bcy = 0.40, 0.60
        self.bangle = math.radians(7.0)
        self.bcos = math.cos(self.bangle)
        self.bsin = math.sin(self.bangle)


def over(dst, color, alpha):
    """Composites a straight colour with the given alpha over a premultiplied
    destination."""
    if alpha <= 0.0:
        return dst
    k = 1.0 - alpha
    return (color[0] * alpha + dst[0] * k,
            color[1] * alpha + dst[1] * k,
            color[2] * alpha + dst[2] * k,
            alpha + dst[3] * k)


def landscape(u, v, lay):
    """The picture inside the photo's border; u, v run over 0..1 across it."""
    # Sky.
    c = mix(SKY_TOP, SKY_LOW, smoothstep(0.0, 0.75, v))
    # Sun, with a glow on the big icon.
    sx, sy, sr = (0.70, 0.30, 0.17) if lay.small else (0.72, 0.30, 0.115)
    d = math.hypot((u - sx) * 1.33, v - sy)
    if lay.large and d < sr * 2.6:
        g = 1.0 - smoothstep(sr, sr * 2.6, d)
        c = mix(c, SUN_GLOW, 0.55 * g * g)
    if d < sr:
        c = SUN
    # Far hill, then near hill, as sine-shaped ridges.
    if lay.small:
        far = 0.58 - 0.16 * math.sin((u + 0.05) * math.pi * 1.1)
        near = 0.78 - 0.14 * math.sin((u - 0.45) * math.pi * 1.2)
    else:
        far = 0.60 - 0.13 * math.sin((u + 0.10) * math.pi * 1.3) \
            - 0.03 * math.sin(u * math.pi * 4.0)
        near = 0.80 - 0.15 * math.sin((u - 0.40) * math.pi * 1.15) \
            + 0.02 * math.sin(u * math.pi * 5.0 + 1.0)
    if v > far:
        c = HILL_FAR
        if lay.large:
            c = mix(HILL_FAR, HILL_FAR_SHADE, smoothstep(far, far + 0.35, v))
    if v > near:
        c = HILL_NEAR
        if lay.large:
            c = mix(HILL_NEAR, HILL_NEAR_SHADE, smoothstep(near, 1.0, v))
    return c


def sample(x, y, lay):
    """Premultiplied RGBA of the scene at (x, y)."""
    px = (0.0, 0.0, 0.0, 0.0)

    # The veil, with a faint light rim along its top edge.
    vx, vy = x - lay.veil_c, y - lay.veil_c
    dv = sd_round_box(vx, vy, lay.veil_h, lay.veil_h, lay.veil_r)
    if dv < 0.0:
        t = (y - (lay.veil_c - lay.veil_h)) / (2.0 * lay.veil_h)
        c = mix(VEIL_TOP, VEIL_BOTTOM, t)
        rim = 0.035 if lay.small else 0.02
        if dv > -rim:
            c = mix(c, VEIL_RIM, 0.45 * (1.0 - t) ** 2)
        px = over(px, c, lay.veil_alpha)

    # The next photo, still under the veil: seen dimly through it, below and
    # to the left of the one that has come out.
    if lay.back:
        bx = x - lay.bcx
        by = y - lay.bcy
        lx = bx * lay.bcos + by * lay.bsin
        ly = -bx * lay.bsin + by * lay.bcos
        hw, hh = lay.hw * 0.9, lay.hh * 0.9
        db = sd_round_box(lx, ly, hw, hh, 0.01)
        if db < 0.0 and dv < 0.0:
            b = lay.border * 0.9
            inner = sd_round_box(lx, ly, hw - b, hh - b, 0.0)
            if inner >= 0.0:
                c = PAPER
            else:
                c = landscape((lx + hw - b) / (2.0 * (hw - b)),
                              (ly + hh - b) / (2.0 * (hh - b)), lay)
            px = over(px, c, 0.30)

    # Lift the main photo off the veil with a soft shadow.
    sx = x - lay.cx - (0.012 if lay.large else 0.02)
    sy = y - lay.cy - (0.028 if lay.large else 0.03)
    lx = sx * lay.cos + sy * lay.sin
    ly = -sx * lay.sin + sy * lay.cos
    ds = sd_round_box(lx, ly, lay.hw, lay.hh, 0.02)
    blur = 0.035 if lay.large else 0.02
    if not lay.small and ds < blur:
        a = (1.0 - smoothstep(-blur, blur, ds)) * (0.5 if lay.large else 0.4)
        px = over(px, (0.0, 0.0, 0.0), a)

    # The main photo.
    mx = x - lay.cx
    my = y - lay.cy
    lx = mx * lay.cos + my * lay.sin
    ly = -mx * lay.sin + my * lay.cos
    dp = sd_round_box(lx, ly, lay.hw, lay.hh, 0.015 if lay.large else 0.0)
    if dp < 0.0:
        b = lay.border
        inner = sd_round_box(lx, ly, lay.hw - b, lay.hh - b, 0.0)
        if inner >= 0.0:
            c = PAPER
            # A hint of the paper's edge on the big icon.
            if lay.large and dp > -0.006:
                c = PAPER_EDGE
        else:
            u = (lx + lay.hw - b) / (2.0 * (lay.hw - b))
            v = (ly + lay.hh - b) / (2.0 * (lay.hh - b))
            c = landscape(u, v, lay)
        px = over(px, c, 1.0)
    return px


def render(size, ss):
    """Renders the icon at size x size with ss x ss samples per pixel, box
    filtered.  Returns rows of straight (non-premultiplied) RGBA bytes."""
    lay = Layout(size)
    n = size * ss
    inv = 1.0 / n
    offs = [(i + 0.5) * inv for i in range(n)]
    w = 1.0 / (ss * ss)
    rows = []
    for py in range(size):
        acc = [[0.0, 0.0, 0.0, 0.0] for _ in range(size)]
        for sy in range(ss):
            y = offs[py * ss + sy]
            for px in range(size):
                a = acc[px]
                base = px * ss
                for sx in range(ss):
                    s = sample(offs[base + sx], y, lay)
                    a[0] += s[0]
                    a[1] += s[1]
                    a[2] += s[2]
                    a[3] += s[3]
        row = bytearray()
        for a in acc:
            alpha = a[3] * w
            if alpha <= 1.0 / 512.0:
                row += b"\0\0\0\0"
                continue
            k = 1.0 / a[3]
            row += bytes((to_byte(a[0] * k), to_byte(a[1] * k),
                          to_byte(a[2] * k), to_byte(alpha)))
        rows.append(bytes(row))
    return rows


def to_byte(v):
    i = int(v * 255.0 + 0.5)
    return 0 if i < 0 else 255 if i > 255 else i


# ------------------------------------------------------------------ writers --

def png(width, height, rows, color_type=6):
    """A PNG of the given rows (RGBA, or RGB for color_type 2)."""
    def chunk(tag, data):
        body = tag + data
        return struct.pack(">I", len(data)) + body + \
            struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)
    raw = b"".join(b"\0" + r for r in rows)
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8,
                                         color_type, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def and_mask(width, height, transparent):
    """A 1-bit mask, bottom-up, rows padded to 32 bits; transparent(x, y)
    gives the bits that are set."""
    stride = ((width + 31) // 32) * 4
    out = bytearray()
    for y in range(height - 1, -1, -1):
        row = bytearray(stride)
        for x in range(width):
            if transparent(x, y):
                row[x >> 3] |= 0x80 >> (x & 7)
        out += row
    return bytes(out)


def dib_32(size, rows):
    """An icon image as a 32-bit BGRA DIB followed by its AND mask."""
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0,
                         0, 0, 0, 0, 0)
    xor = bytearray()
    for y in range(size - 1, -1, -1):
        r = rows[y]
        for x in range(size):
            p = r[x * 4:x * 4 + 4]
            xor += bytes((p[2], p[1], p[0], p[3]))
    mask = and_mask(size, size, lambda x, y: rows[y][x * 4 + 3] == 0)
    return header + bytes(xor) + mask


def icon_file(kind, entries):
    """An ICO (kind 1) or CUR (kind 2) file.  entries: (width, height,
    colours, field4, field6, data), the two fields being planes and bit
    count for an icon, the hot spot for a cursor."""
    out = struct.pack("<HHH", 0, kind, len(entries))
    offset = 6 + 16 * len(entries)
    body = b""
    for width, height, colours, f4, f6, data in entries:
        out += struct.pack("<BBBBHHII", width & 0xFF, height & 0xFF,
                           colours, 0, f4, f6, len(data), offset)
        offset += len(data)
        body += data
    return out + body


# ------------------------------------------------------------------- cursor --
#
# '#' black outline, '.' white fill, anything else transparent.  The index
# fingertip is the middle of the top row, at x = 5, y = 1.

HAND = [
    "                                ",  # 0
    "    ###                         ",  # 1
    "   #...#                        ",  # 2
    "   #...#                        ",  # 3
    "   #...#                        ",  # 4
    "   #...#                        ",  # 5
    "   #...#                        ",  # 6
    "   #...#                        ",  # 7
    "   #...####                     ",  # 8
    "   #...#...####                 ",  # 9
    "   #...#...#...###              ",  # 10
    " ###...#...#...#..#             ",  # 11
    "#..#...#...#...#..#             ",  # 12
    "#..#...........#..#             ",  # 13
    "#...#.............#             ",  # 14
    " #..#.............#             ",  # 15
    " #................#             ",  # 16
    "  #...............#             ",  # 17
    "  #...............#             ",  # 18
    "   #..............#             ",  # 19
    "   #.............#              ",  # 20
    "    #............#              ",  # 21
    "    #............#              ",  # 22
    "     #..........#               ",  # 23
    "     #..........#               ",  # 24
    "     ############               ",  # 25
]
HOTSPOT = (5, 1)


def hand_cursor():
    grid = [row.ljust(32)[:32] for row in HAND]
    grid += [" " * 32] * (32 - len(grid))
    # 1-bit DIB: XOR bits pick the palette entry (1 = white), AND bits keep
    # the screen.  The height counts both masks.
    header = struct.pack("<IiiHHIIiiII", 40, 32, 64, 1, 1, 0, 256,
                         0, 0, 2, 0)
    palette = b"\0\0\0\0" + b"\xff\xff\xff\0"
    xor = and_mask(32, 32, lambda x, y: grid[y][x] == ".")
    mask = and_mask(32, 32, lambda x, y: grid[y][x] not in "#.")
    data = header + palette + xor + mask
    return icon_file(2, [(32, 32, 2, HOTSPOT[0], HOTSPOT[1], data)]), grid


# --------------------------------------------------------------------- main --

ICON_SIZES = ((16, 8), (32, 8), (48, 6), (256, 3))


def main(argv):
    preview = None
    if len(argv) == 2 and argv[0] == "--preview":
        preview = argv[1]
    elif argv:
        sys.stderr.write(__doc__)
        return 2

    entries = []
    for size, ss in ICON_SIZES:
        rows = render(size, ss)
        if preview:
            with open(os.path.join(preview, "icon%d.png" % size), "wb") as f:
                f.write(png(size, size, rows))
        data = png(size, size, rows) if size >= 256 else dib_32(size, rows)
        entries.append((size, size, 0, 1, 32, data))
    with open(os.path.join(HERE, "Tessaly.ico"), "wb") as f:
        f.write(icon_file(1, entries))

    cur, grid = hand_cursor()
    with open(os.path.join(HERE, "hand.cur"), "wb") as f:
        f.write(cur)
    if preview:
        # The cursor eight times its size over a grey checker, with the hot
        # spot's pixel in red.
        rows = []
        for y in range(32 * 8):
            row = bytearray()
            for x in range(32 * 8):
                gx, gy = x // 8, y // 8
                ch = grid[gy][gx]
                if (gx, gy) == HOTSPOT:
                    row += b"\xff\x00\x00"
                elif ch == "#":
                    row += b"\0\0\0"
                elif ch == ".":
                    row += b"\xff\xff\xff"
                else:
                    row += b"\xb0\xb0\xb0" if (gx + gy) & 1 else b"\x90\x90\x90"
            rows.append(bytes(row))
        with open(os.path.join(preview, "hand8.png"), "wb") as f:
            f.write(png(256, 256, rows, 2))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
