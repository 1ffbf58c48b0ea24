#!/usr/bin/env python3
"""Draws the pictures used by Velmora Recorder and writes them to Resources/.

These pictures are the program's own artwork, generated entirely by this
script (standard library only, no input files):

  webSiteLogo.png   60 x 49   Olvarin Audioware logo mark (amber tile, ring, waveform)
  donateButton.png  192 x 42  gold rounded "DONATE" button with a heart
  whiteKeyUp.png    100 x 476 piano white key, released
  whiteKeyDown.png  100 x 476 piano white key, pressed
  blackKeyUp.png    100 x 493 piano black key, released
  blackKeyDown.png  100 x 493 piano black key, pressed

Shapes are described by signed distance functions (negative inside). Pixels
well inside or outside a shape are decided from the pixel centre; only pixels
near an edge are supersampled 4 x 4, which keeps the run fast. Output is
8-bit RGBA PNG (colour type 6) and is byte-for-byte reproducible.

Run from anywhere:  python3 scripts/make-pictures.py
"""

import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
OUT_DIR = os.path.join(os.path.dirname(HERE), "Resources")

# --------------------------------------------------------------------------
# PNG writer
# --------------------------------------------------------------------------


def _chunk(tag, data):
    crc = zlib.crc32(tag + data) & 0xFFFFFFFF
    return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", crc)


def write_png(path, width, height, rgba):
    """rgba: bytes-like of width*height*4 straight-alpha 8-bit samples."""
    stride = width * 4
    raw = bytearray()
    for y in range(height):
        raw.append(0)  # filter type 0 (None)
        raw += rgba[y * stride:(y + 1) * stride]
    ihdr = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    data = (b"\x89PNG\r\n\x1a\n"
            + _chunk(b"IHDR", ihdr)
            + _chunk(b"IDAT", zlib.compress(bytes(raw), 9))
            + _chunk(b"IEND", b""))
    with open(path, "wb") as f:
        f.write(data)


# --------------------------------------------------------------------------
# Colours and gradients
# --------------------------------------------------------------------------


def rgb(hex_str, alpha=1.0):
    h = hex_str.lstrip("#")
    return (int(h[0:2], 16) / 255.0, int(h[2:4], 16) / 255.0,
            int(h[4:6], 16) / 255.0, alpha)


def mix(c0, c1, t):
    return tuple(a + (b - a) * t for a, b in zip(c0, c1))


def smooth(t):
    t = 0.0 if t < 0.0 else 1.0 if t > 1.0 else t
    return t * t * (3.0 - 2.0 * t)


def gradient(stops, lo, hi, axis="y"):
    """Linear gradient along x or y between coordinates lo and hi.
    stops: list of (position 0..1, colour)."""
    span = float(hi - lo)

    def at(t):
        if t <= stops[0][0]:
            return stops[0][1]
        for (p0, c0), (p1, c1) in zip(stops, stops[1:]):
            if t <= p1:
                return mix(c0, c1, (t - p0) / (p1 - p0))
        return stops[-1][1]

    if axis == "y":
        return lambda x, y: at((y - lo) / span)
    return lambda x, y: at((x - lo) / span)


# --------------------------------------------------------------------------
# Signed distance shapes
# --------------------------------------------------------------------------


def rounded_box(x0, y0, x1, y1, r):
    cx, cy = (x0 + x1) * 0.5, (y0 + y1) * 0.5
    hx, hy = (x1 - x0) * 0.5 - r, (y1 - y0) * 0.5 - r

    def sdf(x, y):
        qx = abs(x - cx) - hx
        qy = abs(y - cy) - hy
        outside = math.hypot(qx if qx > 0 else 0.0, qy if qy > 0 else 0.0)
        inside = min(max(qx, qy), 0.0)
        return outside + inside - r
    return sdf


def box(x0, y0, x1, y1):
    return rounded_box(x0, y0, x1, y1, 0.0)


def circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def ring(cx, cy, r, width):
    half = width * 0.5
    return lambda x, y: abs(math.hypot(x - cx, y - cy) - r) - half


def stroke(points, width):
    """Polyline of the given width with round caps and joins."""
    half = width * 0.5
    segs = []
    for (ax, ay), (bx, by) in zip(points, points[1:]):
        dx, dy = bx - ax, by - ay
        segs.append((ax, ay, dx, dy, dx * dx + dy * dy))

    def sdf(x, y):
        best = 1e9
        for ax, ay, dx, dy, ll in segs:
            t = ((x - ax) * dx + (y - ay) * dy) / ll
            t = 0.0 if t < 0.0 else 1.0 if t > 1.0 else t
            d = math.hypot(x - ax - dx * t, y - ay - dy * t)
            if d < best:
                best = d
        return best - half
    return sdf


def union(*shapes):
    return lambda x, y: min(s(x, y) for s in shapes)


def intersect(*shapes):
    return lambda x, y: max(s(x, y) for s in shapes)


def heart(cx, cy, width):
    """Heart: a square turned 45 degrees with two circles on its upper sides.
    (cx, cy) is the centre of the bounding box."""
    s = width / 1.7071067811865475  # overall width is 1.707 * side
    k = s / (2.0 * math.sqrt(2.0))
    top, bottom = -(k + s * 0.5), s / math.sqrt(2.0)
    oy = cy - (top + bottom) * 0.5  # origin so that the shape is centred
    half = s * 0.5
    r2 = 1.0 / math.sqrt(2.0)
    c1 = circle(cx - k, oy - k, half)
    c2 = circle(cx + k, oy - k, half)

    def diamond(x, y):
        u = ((x - cx) + (y - oy)) * r2
        v = ((y - oy) - (x - cx)) * r2
        qx, qy = abs(u) - half, abs(v) - half
        return (math.hypot(qx if qx > 0 else 0.0, qy if qy > 0 else 0.0)
                + min(max(qx, qy), 0.0))
    return union(c1, c2, diamond)


# --------------------------------------------------------------------------
# Canvas with antialiased filling
# --------------------------------------------------------------------------

EDGE = 0.75  # beyond this distance from an edge a pixel is fully in or out
SUB = [(i + 0.5) / 4.0 for i in range(4)]


class Canvas:
    def __init__(self, width, height):
        self.w, self.h = width, height
        n = width * height
        # premultiplied RGBA in 0..1
        self.r = [0.0] * n
        self.g = [0.0] * n
        self.b = [0.0] * n
        self.a = [0.0] * n

    def fill(self, shape, colour, bbox=None):
        """Composite colour (tuple or fn(x, y) -> tuple) over the canvas
        wherever shape is negative. bbox limits the scanned pixels."""
        x0, y0, x1, y1 = bbox if bbox else (0, 0, self.w, self.h)
        x0 = max(0, int(math.floor(x0)))
        y0 = max(0, int(math.floor(y0)))
        x1 = min(self.w, int(math.ceil(x1)))
        y1 = min(self.h, int(math.ceil(y1)))
        const = None if callable(colour) else colour
        R, G, B, A, w = self.r, self.g, self.b, self.a, self.w
        for py in range(y0, y1):
            cy = py + 0.5
            for px in range(x0, x1):
                cx = px + 0.5
                d = shape(cx, cy)
                if d >= EDGE:
                    continue
                if d <= -EDGE:
                    cov = 1.0
                else:
                    hits = 0
                    for sy in SUB:
                        for sx in SUB:
                            if shape(px + sx, py + sy) < 0.0:
                                hits += 1
                    if hits == 0:
                        continue
                    cov = hits / 16.0
                c = const if const else colour(cx, cy)
                sa = c[3] * cov
                if sa <= 0.0:
                    continue
                inv = 1.0 - sa
                i = py * w + px
                R[i] = c[0] * sa + R[i] * inv
                G[i] = c[1] * sa + G[i] * inv
                B[i] = c[2] * sa + B[i] * inv
                A[i] = sa + A[i] * inv

    def to_bytes(self):
        out = bytearray(self.w * self.h * 4)
        for i in range(self.w * self.h):
            a = self.a[i]
            if a <= 0.0:
                continue  # fully transparent pixels stay 0,0,0,0
            o = i * 4
            for j, ch in enumerate((self.r, self.g, self.b)):
                v = int(round(ch[i] / a * 255.0))
                out[o + j] = 0 if v < 0 else 255 if v > 255 else v
            v = int(round(a * 255.0))
            out[o + 3] = 255 if v > 255 else v
        return out

    def save(self, name):
        path = os.path.join(OUT_DIR, name)
        write_png(path, self.w, self.h, self.to_bytes())
        return path


# --------------------------------------------------------------------------
# Blocky 5 x 7 font
# --------------------------------------------------------------------------

FONT = {
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "D": ["11110", "10001", "10001", "10001", "10001", "10001", "11110"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "N": ["10001", "11001", "10101", "10011", "10001", "10001", "10001"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    "T": ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
}


def text_width(text, scale):
    return (len(text) * 6 - 1) * scale


def draw_text(canvas, text, left, top, scale, colour):
    x = left
    for ch in text:
        rows = FONT[ch]
        cells = []
        for r, row in enumerate(rows):
            for c, bit in enumerate(row):
                if bit == "1":
                    cells.append(box(x + c * scale, top + r * scale,
                                     x + (c + 1) * scale, top + (r + 1) * scale))
        canvas.fill(union(*cells), colour,
                    (x - 1, top - 1, x + 5 * scale + 1, top + 7 * scale + 1))
        x += 6 * scale


# --------------------------------------------------------------------------
# The pictures
# --------------------------------------------------------------------------


def web_site_logo():
    w, h = 60, 49
    cv = Canvas(w, h)
    tile = rounded_box(0.5, 0.5, w - 0.5, h - 0.5, 11.0)
    cv.fill(tile, rgb("#B85A00"))
    inner = rounded_box(1.7, 1.7, w - 1.7, h - 1.7, 9.8)
    cv.fill(inner, gradient([(0.0, rgb("#FFC35A")), (0.55, rgb("#F59A1C")),
                             (1.0, rgb("#D8700A"))], 0, h))
    # soft gloss on the upper part of the tile
    cv.fill(intersect(inner, rounded_box(2.5, 2.5, w - 2.5, 22.0, 9.0)),
            gradient([(0.0, rgb("#FFFFFF", 0.30)), (1.0, rgb("#FFFFFF", 0.0))],
                     2.5, 22.0))
    cx, cy = w * 0.5, h * 0.5
    wave = [(13.0, 25.5), (17.5, 25.5), (21.0, 17.0), (25.5, 34.0),
            (30.0, 11.5), (34.5, 32.0), (38.5, 19.5), (42.0, 25.5),
            (47.0, 25.5)]
    # shadow, then the mark itself in cream
    shade = rgb("#7A3A00", 0.35)
    cv.fill(ring(cx, cy + 1.0, 17.5, 4.0), shade)
    cv.fill(intersect(stroke([(x, y + 1.0) for x, y in wave], 3.0),
                      circle(cx, cy + 1.0, 16.5)), shade)
    cream = rgb("#FFF6E6")
    cv.fill(ring(cx, cy, 17.5, 4.0), cream)
    cv.fill(intersect(stroke(wave, 3.0), circle(cx, cy, 16.5)), cream)
    return cv.save("webSiteLogo.png")


def donate_button():
    w, h = 192, 42
    cv = Canvas(w, h)
    outer = rounded_box(0.0, 0.0, w, h, 10.0)
    cv.fill(outer, rgb("#A86A00"))
    inner = rounded_box(1.5, 1.5, w - 1.5, h - 1.5, 8.5)
    cv.fill(inner, gradient([(0.0, rgb("#FFF0A8")), (0.45, rgb("#FFD640")),
                             (1.0, rgb("#EFA514"))], 1.5, h - 1.5))
    gloss = intersect(inner, rounded_box(3.0, 3.0, w - 3.0, 20.0, 7.0))
    cv.fill(gloss, gradient([(0.0, rgb("#FFFFFF", 0.45)),
                             (1.0, rgb("#FFFFFF", 0.05))], 3.0, 20.0))
    scale = 3
    heart_w, gap = 20.0, 9
    tw = text_width("DONATE", scale)
    total = int(heart_w) + gap + tw
    left = (w - total) // 2
    top = (h - 7 * scale) // 2
    hx = left + heart_w * 0.5
    cv.fill(heart(hx, h * 0.5 + 1.0, heart_w), rgb("#FFFFFF", 0.5),
            (left - 2, 0, left + heart_w + 2, h))
    cv.fill(heart(hx, h * 0.5, heart_w), rgb("#D42A3C"),
            (left - 2, 0, left + heart_w + 2, h))
    tx = left + int(heart_w) + gap
    draw_text(cv, "DONATE", tx, top + 1, scale, rgb("#FFFFFF", 0.5))
    draw_text(cv, "DONATE", tx, top, scale, rgb("#1A2A6C"))
    return cv.save("donateButton.png")


def key_outline(w, h, r):
    # top corners lie above the picture, so only the bottom ones are round
    return rounded_box(0.0, -2.0 * r, w, h, r)


def side_shade(width, depth, strength):
    """fn(x) -> darkening factor near the left and right edges."""
    def f(x):
        e = min(x, width - x)
        return 1.0 - strength * (1.0 - smooth(e / depth))
    return f


def white_key(pressed):
    w, h, r = 100, 476, 8.0
    cv = Canvas(w, h)
    cv.fill(key_outline(w, h, r), rgb("#9C9C98"))
    body = rounded_box(1.0, -2.0 * r, w - 1.0, h - 1.0, r - 1.0)
    if pressed:
        base = gradient([(0.0, rgb("#E6E6E2")), (0.8, rgb("#DADAD5")),
                         (1.0, rgb("#C4C4BE"))], 0, h)
        sides = side_shade(w, 8.0, 0.06)
    else:
        base = gradient([(0.0, rgb("#FDFDFB")), (0.82, rgb("#F2F2EE")),
                         (0.97, rgb("#E2E2DC")), (1.0, rgb("#D4D4CE"))], 0, h)
        sides = side_shade(w, 5.0, 0.04)

    def body_colour(x, y):
        c = base(x, y)
        k = sides(x)
        return (c[0] * k, c[1] * k, c[2] * k, 1.0)
    cv.fill(body, body_colour)
    if pressed:
        # soft shadow cast by the keybed onto the top of the pressed key
        cv.fill(box(0.0, -1.0, w, 30.0),
                lambda x, y: (0.0, 0.0, 0.0, 0.45 * (1.0 - smooth(y / 30.0))),
                (0, 0, w, 30))
    else:
        # thin highlight along the front edge
        cv.fill(intersect(body, box(0.0, h - 12.0, w, h - 10.5)),
                rgb("#FFFFFF", 0.6), (0, h - 13, w, h - 9))
    return cv.save("whiteKeyDown.png" if pressed else "whiteKeyUp.png")


def black_key(pressed):
    w, h, r = 100, 493, 8.0
    cv = Canvas(w, h)
    cv.fill(key_outline(w, h, r), rgb("#050505"))
    if pressed:
        side, band_top = 4.0, 468.0
        band = gradient([(0.0, rgb("#444444")), (1.0, rgb("#2A2A2A"))],
                        band_top, h)
        side_grad = gradient([(0.0, rgb("#363636")), (1.0, rgb("#2C2C2C"))],
                             0, band_top)
        top_grad = gradient([(0.0, rgb("#2E2E2E")), (0.5, rgb("#323232")),
                             (1.0, rgb("#262626"))], 0, band_top)
        sheen_amount = 0.03
    else:
        side, band_top = 8.0, 432.0
        band = gradient([(0.0, rgb("#6A6A6A")), (0.35, rgb("#4A4A4A")),
                         (1.0, rgb("#242424"))], band_top, h)
        side_grad = gradient([(0.0, rgb("#484848")), (1.0, rgb("#2E2E2E"))],
                             0, band_top)
        top_grad = gradient([(0.0, rgb("#303030")), (0.6, rgb("#1C1C1C")),
                             (1.0, rgb("#0E0E0E"))], 0, band_top)
        sheen_amount = 0.07

    # bevel: sides above the front band, lighter band toward the player
    def bevel(x, y):
        if y >= band_top:
            return band(x, y)
        return side_grad(x, y)
    cv.fill(rounded_box(1.0, -2.0 * r, w - 1.0, h - 1.0, r - 1.0), bevel)
    # the flat top of the key, with a soft vertical sheen down the middle
    surface = rounded_box(side, -2.0 * r, w - side, band_top, 5.0)
    mid = w * 0.5

    def top_colour(x, y):
        c = top_grad(x, y)
        t = (x - mid) / 22.0
        k = sheen_amount * math.exp(-t * t) * (1.0 - 0.6 * y / band_top)
        return (c[0] + k, c[1] + k, c[2] + k, 1.0)
    cv.fill(surface, top_colour, (0, 0, w, band_top + 1))
    return cv.save("blackKeyDown.png" if pressed else "blackKeyUp.png")


def main():
    os.makedirs(OUT_DIR, exist_ok=True)
    paths = [web_site_logo(), donate_button(),
             white_key(False), white_key(True),
             black_key(False), black_key(True)]
    for p in paths:
        print(os.path.relpath(p, os.path.dirname(HERE)))


if __name__ == "__main__":
    main()
