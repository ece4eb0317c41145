#!/usr/bin/python3
"""Draws the twelve built-in pictures and writes render/assets/pictures.gen.cpp.

    /usr/bin/python3 tools/assets/gen_pictures.py OUTDIR [--sheet PNG]

Each picture is a small vector scene (rounded boxes, discs, rings, polygons,
strokes) with shaded colours, sampled 4 x 4 times per stored pixel for
anti-aliasing. Scenes are laid out in display space, where a 64 x 32 icon is
64 x 64 square pixels and a 192 x 96 folder picture is 192 x 192: one stored row
covers a line pair, two screen rows, so every stored pixel averages samples over
one column and two display rows.

Stored pixels are 3 bytes blue, green, red, bottom row first. In the icons pure
black (0, 0, 0) is transparent: pixels covered less than a quarter stay pure
black, every other pixel is drawn and never pure black (dark ones become
0x010101). The folder pictures are opaque on black.

--sheet writes a contact sheet PNG with every row doubled, as on the monitor.
Only the Python standard library is used; the output is byte-for-byte
reproducible.
"""
import math
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import asset_writer  # noqa: E402

SAMPLES = 4

# [SECTION] shapes: each returns a predicate inside(x, y) in display space
# (x right, y down, units of screen pixels).


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x < x1 and y0 <= y < y1


def rrect(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x < x1 and y0 <= y < y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def ellipse(cx, cy, rx, ry):
    return lambda x, y: ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0


def circle(cx, cy, r):
    return ellipse(cx, cy, r, r)


def ring(cx, cy, r0, r1, a0=None, a1=None):
    """Annulus, optionally limited to angles a0..a1 (degrees, y up, ccw)."""
    def inside(x, y):
        d = math.hypot(x - cx, y - cy)
        if not (r0 <= d <= r1):
            return False
        if a0 is None:
            return True
        a = math.degrees(math.atan2(cy - y, x - cx))
        while a < a0:
            a += 360.0
        return a <= a1
    return inside


def polygon(points):
    def inside(x, y):
        hit = False
        n = len(points)
        for i in range(n):
            xa, ya = points[i]
            xb, yb = points[(i + 1) % n]
            if (ya > y) != (yb > y):
                xc = xa + (y - ya) * (xb - xa) / (yb - ya)
                if x < xc:
                    hit = not hit
        return hit
    return inside


def stroke(xa, ya, xb, yb, width):
    """Segment with round caps."""
    dx, dy = xb - xa, yb - ya
    ll = dx * dx + dy * dy
    h = width / 2.0

    def inside(x, y):
        t = 0.0 if ll == 0 else max(0.0, min(1.0, ((x - xa) * dx + (y - ya) * dy) / ll))
        return (x - xa - t * dx) ** 2 + (y - ya - t * dy) ** 2 <= h * h
    return inside


def union(*shapes):
    return lambda x, y: any(s(x, y) for s in shapes)


def minus(a, b):
    return lambda x, y: a(x, y) and not b(x, y)


def both(a, b):
    return lambda x, y: a(x, y) and b(x, y)

# [SECTION] colours: a colour is (r, g, b) or a function (x, y) -> (r, g, b)


def mix(a, b, t):
    t = max(0.0, min(1.0, t))
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def vgrad(y0, c0, y1, c1):
    return lambda x, y: mix(c0, c1, (y - y0) / (y1 - y0))


def hgrad(x0, c0, x1, c1):
    return lambda x, y: mix(c0, c1, (x - x0) / (x1 - x0))


def sphere(cx, cy, r, base, light=(255, 255, 255), dark=(0, 0, 0), hx=-0.35, hy=-0.4):
    """Shades a disc like a lit ball: highlight up left, shadow down right."""
    def colour(x, y):
        dx, dy = (x - cx) / r - hx, (y - cy) / r - hy
        d = math.hypot(dx, dy)
        if d < 0.55:
            return mix(light, base, d / 0.55 * 0.9 + 0.1)
        return mix(base, dark, (d - 0.55) / 1.2)
    return colour


def shade(colour, factor):
    """Scales a colour (or colour function) by factor."""
    if callable(colour):
        return lambda x, y: tuple(c * factor for c in colour(x, y))
    return tuple(c * factor for c in colour)

# [SECTION] rendering


def render(layers, width, height, icon):
    """Samples the layers (last on top) into width x height stored pixels."""
    out = bytearray(width * height * 3)
    dh = 2 * height
    n = SAMPLES * SAMPLES
    offs = [(i + 0.5) / SAMPLES for i in range(SAMPLES)]
    top_down = list(reversed(layers))
    for k in range(height):          # stored row, 0 = bottom
        ytop = dh - 2 * (k + 1)
        for px in range(width):
            hits = 0
            acc = [0.0, 0.0, 0.0]
            for oy in offs:
                y = ytop + 2 * oy
                for ox in offs:
                    x = px + ox
                    for shape, colour in top_down:
                        if shape(x, y):
                            c = colour(x, y) if callable(colour) else colour
                            acc[0] += c[0]
                            acc[1] += c[1]
                            acc[2] += c[2]
                            hits += 1
                            break
            r, g, b = (min(255, int(a / n + 0.5)) for a in acc)
            if icon:
                if hits * 4 < n:
                    r = g = b = 0
                elif r == 0 and g == 0 and b == 0:
                    r = g = b = 1
            o = (k * width + px) * 3
            out[o] = b
            out[o + 1] = g
            out[o + 2] = r
    return bytes(out)

# [SECTION] parts shared by several pictures

GREY_LIGHT = (222, 224, 230)
GREY_MID = (150, 153, 160)
GREY_DARK = (70, 72, 78)
EDGE = (28, 28, 32)


def drive_box(x0, y0, x1, y1):
    """A grey drive seen slightly from above: top face, front, slot and LED."""
    depth = (y1 - y0) * 0.28
    top = polygon([(x0 + 3, y0), (x1 - 3, y0), (x1, y0 + depth), (x0, y0 + depth)])
    front = rrect(x0, y0 + depth, x1, y1, 2.5)
    fy0, fy1 = y0 + depth, y1
    layers = [
        (union(rrect(x0 - 1, y0 + depth - 1, x1 + 1, y1 + 1, 3.0),
               polygon([(x0 + 2, y0 - 1), (x1 - 2, y0 - 1), (x1 + 1, y0 + depth), (x0 - 1, y0 + depth)])), EDGE),
        (top, vgrad(y0, (240, 242, 246), y0 + depth, (196, 199, 206))),
        (front, vgrad(fy0, (182, 185, 192), fy1, (96, 98, 106))),
        # a bevel line under the top face
        (rect(x0 + 1, fy0, x1 - 1, fy0 + 1.2), (235, 237, 242)),
        # the slot
        (rrect(x0 + 5, fy0 + (fy1 - fy0) * 0.42, x1 - 16, fy0 + (fy1 - fy0) * 0.62, 1.5), (40, 42, 48)),
        # the activity light
        (circle(x1 - 8, fy0 + (fy1 - fy0) * 0.52, 2.6), sphere(x1 - 8, fy0 + (fy1 - fy0) * 0.52, 2.6, (40, 220, 60), (220, 255, 220), (0, 60, 0))),
    ]
    return layers


def question_mark(cx, cy, size, colour, edge):
    """A question mark whose hook is centred on (cx, cy); size is its radius."""
    r1 = size
    r0 = size * 0.52
    hook = ring(cx, cy, r0, r1, -70, 200)
    tail = stroke(cx + (r0 + r1) / 2 * math.cos(math.radians(-70)), cy + (r0 + r1) / 2 * math.sin(math.radians(70)),
                  cx, cy + size * 1.25, r1 - r0)
    stem = stroke(cx, cy + size * 1.0, cx, cy + size * 1.45, r1 - r0)
    dot = circle(cx, cy + size * 2.05, (r1 - r0) * 0.62)
    glyph = union(hook, tail, stem, dot)
    pad = 1.6

    def outline(x, y):
        for dx, dy in ((pad, 0), (-pad, 0), (0, pad), (0, -pad), (1.1, 1.1), (-1.1, 1.1), (1.1, -1.1), (-1.1, -1.1)):
            if glyph(x + dx, y + dy):
                return True
        return False
    return [(outline, edge), (glyph, colour)]

# [SECTION] the twelve pictures


def drive_unknown():
    layers = drive_box(6, 30, 58, 56)
    orange = vgrad(6, (255, 200, 90), 46, (230, 110, 10))
    layers += question_mark(32, 17, 11, orange, (60, 25, 0))
    return layers


def drive_removable():
    layers = drive_box(8, 40, 56, 60)
    # the floppy disk, standing above the drive
    fx0, fy0, fx1, fy1 = 14, 3, 50, 39
    body = polygon([(fx0, fy0), (fx1 - 5, fy0), (fx1, fy0 + 5), (fx1, fy1), (fx0, fy1)])
    layers += [
        (polygon([(fx0 - 1, fy0 - 1), (fx1 - 4.5, fy0 - 1), (fx1 + 1, fy0 + 4.5), (fx1 + 1, fy1 + 1), (fx0 - 1, fy1 + 1)]), (5, 10, 40)),
        (body, lambda x, y: mix((70, 120, 230), (20, 45, 140), ((x - fx0) + (y - fy0)) / 70.0)),
        # the metal shutter with its window
        (rect(fx0 + 9, fy0, fx1 - 8, fy0 + 12), vgrad(fy0, (235, 238, 244), fy0 + 12, (150, 155, 165))),
        (rect(fx0 + 19, fy0 + 2, fx0 + 24, fy0 + 10), (45, 48, 56)),
        # the label
        (rect(fx0 + 5, fy0 + 18, fx1 - 5, fy1), vgrad(fy0 + 18, (255, 255, 255), fy1, (205, 210, 220))),
        (rect(fx0 + 8, fy0 + 23, fx1 - 8, fy0 + 24), (120, 130, 170)),
        (rect(fx0 + 8, fy0 + 28, fx1 - 12, fy0 + 29), (120, 130, 170)),
    ]
    return layers


def drive_fixed():
    x0, y0, x1, y1 = 5, 17, 59, 49
    layers = drive_box(x0, y0, x1, y1)
    # a second light and a few vent lines make it read as a hard disk
    fy0 = y0 + (y1 - y0) * 0.28
    for i in range(4):
        xv = x0 + 6 + i * 4
        layers.append((rect(xv, fy0 + 5, xv + 1.6, y1 - 4), (118, 121, 128)))
    return layers


def drive_remote():
    layers = []
    # the network: a line across the bottom with a cable up to the drive
    layers += [
        (rrect(2, 53, 62, 58, 2), vgrad(53, (120, 220, 120), 58, (20, 110, 30))),
        (rect(29, 40, 35, 55), hgrad(29, (130, 220, 130), 35, (20, 110, 30))),
        (circle(8, 55.5, 4), sphere(8, 55.5, 4, (60, 170, 70), (220, 255, 220), (0, 50, 0))),
        (circle(56, 55.5, 4), sphere(56, 55.5, 4, (60, 170, 70), (220, 255, 220), (0, 50, 0))),
        (circle(32, 55.5, 4.5), sphere(32, 55.5, 4.5, (60, 170, 70), (220, 255, 220), (0, 50, 0))),
    ]
    layers += drive_box(6, 12, 58, 42)
    return layers


def drive_cdrom():
    layers = drive_box(6, 40, 58, 60)
    cx, cy, r = 32, 22, 20

    def disc(x, y):
        a = math.atan2(y - cy, x - cx)
        d = math.hypot(x - cx, y - cy) / r
        # silver with a faint rainbow sheen that turns around the hole
        t = 0.5 + 0.5 * math.cos(2 * a + 0.6)
        u = 0.5 + 0.5 * math.cos(2 * a + 2.7)
        base = mix((150, 156, 170), (245, 247, 252), t)
        tint = (255 * (0.5 + 0.5 * math.cos(3 * a)), 255 * (0.5 + 0.5 * math.cos(3 * a + 2.1)),
                255 * (0.5 + 0.5 * math.cos(3 * a + 4.2)))
        c = mix(base, tint, 0.22 * u * min(1.0, d * 1.5))
        return mix(c, (120, 124, 134), max(0.0, d - 0.9) * 4)
    layers += [
        (circle(cx, cy, r + 1.2), (35, 36, 44)),
        (minus(circle(cx, cy, r), circle(cx, cy, 7.5)), disc),
        (ring(cx, cy, 5.0, 7.5), (205, 208, 216)),
        (ring(cx, cy, 3.0, 5.0), (120, 124, 134)),
    ]
    return layers


def drive_ramdisk():
    layers = []
    x0, y0, x1, y1 = 8, 18, 56, 46
    pins = []
    for i in range(7):
        px = x0 + 4 + i * 6.5
        pins.append(rect(px, y0 - 9, px + 3.2, y0))
        pins.append(rect(px, y1, px + 3.2, y1 + 9))
    layers.append((union(*pins), vgrad(y0 - 9, (250, 250, 252), y1 + 9, (150, 152, 158))))
    layers += [
        (rrect(x0 - 1, y0 - 1, x1 + 1, y1 + 1, 3), EDGE),
        (rrect(x0, y0, x1, y1, 2.5), vgrad(y0, (128, 131, 138), y1, (62, 64, 70))),
        (rect(x0 + 1, y0 + 1, x1 - 1, y0 + 2.2), (175, 178, 186)),
        # the notch and the pin-1 dot
        (circle(x0, (y0 + y1) / 2, 4), EDGE),
        (circle(x0 + 7, y1 - 6, 2.2), (40, 41, 46)),
        # the maker's print
        (rect(x0 + 16, y0 + 9, x1 - 8, y0 + 11), (170, 173, 180)),
        (rect(x0 + 16, y0 + 16, x1 - 14, y0 + 18), (170, 173, 180)),
    ]
    return layers


def help_button():
    cx, cy, r = 32, 32, 27
    layers = [
        (circle(cx, cy, r + 1.5), (8, 16, 50)),
        (circle(cx, cy, r), sphere(cx, cy, r, (40, 100, 230), (190, 220, 255), (5, 20, 80))),
    ]
    layers += question_mark(32, 22, 10, vgrad(10, (255, 255, 255), 50, (215, 225, 240)), (10, 30, 100))
    return layers


def web_globe():
    cx, cy, r = 32, 32, 21
    lands = union(
        polygon([(17, 20), (24, 14), (31, 15), (33, 21), (28, 25), (27, 31), (22, 35), (18, 30), (15, 25)]),
        polygon([(25, 37), (31, 36), (33, 42), (30, 50), (26, 47)]),
        polygon([(37, 14), (45, 14), (50, 20), (46, 24), (41, 22), (38, 27), (35, 21)]),
        polygon([(41, 31), (48, 30), (52, 36), (47, 45), (42, 41)]),
    )
    globe = circle(cx, cy, r)
    # the ring is a tilted ellipse; its far half passes behind the globe
    tilt = math.radians(-20)

    def ring_at(x, y, a, b):
        dx, dy = x - cx, y - cy
        u = dx * math.cos(tilt) + dy * math.sin(tilt)
        v = -dx * math.sin(tilt) + dy * math.cos(tilt)
        return (u / a) ** 2 + (v / b) ** 2

    def ring_band(x, y):
        return ring_at(x, y, 30.5, 10.5) <= 1.0 and ring_at(x, y, 26.5, 7.0) >= 1.0

    def ring_front(x, y):
        dx, dy = x - cx, y - cy
        v = -dx * math.sin(tilt) + dy * math.cos(tilt)
        return ring_band(x, y) and (v > 0 or not globe(x, y))

    gold = lambda x, y: mix((255, 236, 150), (190, 120, 20), (y - 15) / 36.0)  # noqa: E731
    layers = [
        (ring_band, gold),
        (circle(cx, cy, r + 1.3), (5, 20, 45)),
        (globe, sphere(cx, cy, r, (30, 110, 215), (170, 215, 255), (0, 20, 70))),
        (both(globe, lands), sphere(cx, cy, r, (50, 170, 60), (200, 255, 190), (0, 55, 10))),
        (ring_front, gold),
    ]
    return layers


def step_arrows(left):
    """Two olive triangles side by side, edged with bright green dots."""
    def tri(xa, xb):
        # tip at xa, base at xb
        return [(xa, 32), (xb, 14), (xb, 50)]
    shapes = [tri(4, 31), tri(31, 58)]
    if not left:
        shapes = [[(64 - x, y) for x, y in t] for t in shapes]
    layers = []
    for t in shapes:
        layers.append((polygon(t), lambda x, y: mix((170, 170, 40), (80, 84, 10), (y - 14) / 36.0 + 0.15 * math.sin(x / 9.0))))
    dots = []
    for t in shapes:
        for i in range(3):
            (xa, ya), (xb, yb) = t[i], t[(i + 1) % 3]
            length = math.hypot(xb - xa, yb - ya)
            n = max(1, int(length / 5.5))
            for j in range(n):
                s = j / n
                dots.append((xa + (xb - xa) * s, ya + (yb - ya) * s))
    for dx, dy in dots:
        layers.append((circle(dx, dy, 1.9), sphere(dx, dy, 1.9, (90, 255, 90), (230, 255, 230), (0, 120, 0), 0, 0)))
    return layers


def folder_layers(with_arrow):
    """A closed yellow folder (192 x 192 display), optionally with the arrow."""
    x0, x1 = 22, 170
    ytab, yback, yfront, ybottom = 36, 50, 66, 164
    back = union(
        rrect(x0, yback, x1, ybottom, 7),
        rrect(x0, ytab, x0 + 58, yback + 10, 7),
        polygon([(x0 + 50, ytab), (x0 + 72, yback + 0.5), (x0 + 50, yback + 0.5)]),
    )
    outline_back = union(
        rrect(x0 - 2, yback - 2, x1 + 2, ybottom + 2, 8),
        rrect(x0 - 2, ytab - 2, x0 + 59, yback + 10, 8),
        polygon([(x0 + 50, ytab - 2), (x0 + 75, yback - 1.5), (x0 + 50, yback)]),
    )
    front = polygon([(x0 - 4, yfront + 4), (x0 + 2, yfront - 2), (x1 + 2, yfront - 2), (x1 + 8, yfront + 4),
                     (x1, ybottom), (x0 + 2, ybottom)])
    front = both(front, rrect(x0 - 10, yfront - 2, x1 + 10, ybottom, 7))
    front_edge = polygon([(x0 - 7, yfront + 3), (x0 + 1, yfront - 5), (x1 + 3, yfront - 5), (x1 + 11, yfront + 3),
                          (x1 + 2, ybottom + 2.5), (x0, ybottom + 2.5)])
    layers = [
        (outline_back, (70, 45, 0)),
        (back, vgrad(ytab, (235, 170, 30), ybottom, (170, 105, 5))),
    ]
    if with_arrow:
        layers += arrow_layers()
    layers += [
        (front_edge, (90, 58, 0)),
        (front, lambda x, y: mix(mix((255, 236, 120), (250, 196, 40), (y - yfront) / (ybottom - yfront)),
                                 (255, 250, 210), max(0.0, 1.0 - (y - yfront) / 9.0) * 0.8)),
        # a soft crease along the bottom of the front
        (rect(x0 + 6, ybottom - 6, x1 - 2, ybottom - 4), (226, 160, 20)),
    ]
    return layers


def arrow_layers():
    cx = 96
    head = [(cx, 6), (cx + 40, 48), (cx + 17, 48), (cx + 17, 120), (cx - 17, 120), (cx - 17, 48), (cx - 40, 48)]
    edge = [(cx, 0), (cx + 47, 51), (cx + 20, 51), (cx + 20, 122), (cx - 20, 122), (cx - 20, 51), (cx - 47, 51)]

    def green(x, y):
        # lit from the left: the bright ridge runs up the middle of the shaft
        t = (x - (cx - 40)) / 80.0
        c = mix((170, 255, 150), (20, 120, 30), t)
        return mix(c, (10, 90, 20), max(0.0, (y - 60) / 120.0))
    return [(polygon(edge), (0, 50, 5)), (polygon(head), green)]


PICTURES = [
    # (C++ name, width, height, layers, icon)
    ("DriveIcons[0]", drive_unknown),
    ("DriveIcons[1]", drive_removable),
    ("DriveIcons[2]", drive_fixed),
    ("DriveIcons[3]", drive_remote),
    ("DriveIcons[4]", drive_cdrom),
    ("DriveIcons[5]", drive_ramdisk),
    ("HelpIcon", help_button),
    ("WebIcon", web_globe),
    ("PrevIcon", lambda: step_arrows(True)),
    ("NextIcon", lambda: step_arrows(False)),
    ("FolderPicture", lambda: folder_layers(False)),
    ("ParentPicture", lambda: folder_layers(True)),
]


def draw_all():
    """Returns [(name, width, height, pixels)] for the twelve pictures."""
    out = []
    for name, make in PICTURES:
        icon = name not in ("FolderPicture", "ParentPicture")
        w, h = (64, 32) if icon else (192, 96)
        out.append((name, w, h, render(make(), w, h, icon)))
    return out


def emit_cpp(pictures):
    text = asset_writer.header_comment(
        "pictures.gen.cpp - the twelve built-in pictures, 3 bytes per pixel (B, G, R), bottom row first.",
        ["tools/assets/gen_pictures.py (vector scenes drawn by the script itself)"],
        "/usr/bin/python3 tools/assets/gen_pictures.py render/assets")
    text += "\n" + asset_writer.INCLUDE + "\n"
    drives = [p for p in pictures if p[0].startswith("DriveIcons")]
    text += "const uint8_t DriveIcons[6][kIconBytes] = {\n"
    for name, w, h, px in drives:
        text += "    {  // %s\n" % name
        for i in range(0, len(px), 24):
            text += "        " + ",".join(str(b) for b in px[i:i + 24]) + ",\n"
        text += "    },\n"
    text += "};\n"
    for name, w, h, px in pictures:
        if name.startswith("DriveIcons"):
            continue
        size = "kIconBytes" if w == 64 else "kPictureBytes"
        text += "\n" + asset_writer.c_array("const uint8_t %s[%s]" % (name, size), list(px), per_line=24)
    return text


def write_sheet(path, pictures, scale=3):
    """Lays the pictures out on a grey checker (icons) with rows doubled."""
    cells = [(0, i * 72, p) for i, p in enumerate(pictures[:10])]
    cells += [(80, 0, pictures[10]), (80, 200, pictures[11])]
    width, height = 720, 280
    img = bytearray(width * height * 3)
    for y in range(height):
        for x in range(width):
            v = 96 if ((x // 8) + (y // 8)) % 2 else 64
            o = (y * width + x) * 3
            img[o:o + 3] = bytes((v, v, v))
    for row, col, (name, w, h, px) in cells:
        for k in range(h):
            for x in range(w):
                o = (k * w + x) * 3
                b, g, r = px[o], px[o + 1], px[o + 2]
                if w == 64 and (r, g, b) == (0, 0, 0):
                    continue
                for dy in (0, 1):
                    yy = row + 2 * (h - 1 - k) + dy
                    oo = (yy * width + col + x) * 3
                    img[oo:oo + 3] = bytes((r, g, b))
    big = bytearray(width * scale * height * scale * 3)
    for y in range(height * scale):
        src = (y // scale) * width * 3
        line = bytearray()
        for x in range(width):
            line += img[src + x * 3:src + x * 3 + 3] * scale
        big[y * width * scale * 3:(y + 1) * width * scale * 3] = line
    asset_writer.write_png(path, width * scale, height * scale, big)


def main(argv):
    if len(argv) < 2:
        print(__doc__)
        return 2
    pictures = draw_all()
    asset_writer.write_text(os.path.join(argv[1], "pictures.gen.cpp"), emit_cpp(pictures))
    if len(argv) >= 4 and argv[2] == "--sheet":
        write_sheet(argv[3], pictures)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
