#!/usr/bin/env python3
"""Draws the skin of the updater's main window.

Writes every bitmap the window paints (24-bit BMP, magenta RGB(255, 0, 255) marks what is
outside the window or a transparent button), the program icon and preview.png, a picture of
the whole window as it looks on a desktop. Run from the repository root:

    /usr/bin/python3 res/skin/make_skin.py

Only PIL and the WenQuanYi Micro Hei font are used; the one source of noise has a fixed
seed, so the output is the same on every run.

Centre pixel (60, 61) of each start button image, which tells the states apart:
    start_unavailable.bmp  RGB(72, 77, 86)     grey steel
    start.bmp              RGB(226, 150, 28)   amber gold
    start_hover.bmp        RGB(255, 214, 92)   bright yellow gold
    start_retry.bmp        RGB(178, 42, 24)    deep red
    start_retry_hover.bmp  RGB(255, 104, 44)   bright orange
"""
import math
import os
import random
import struct

from PIL import Image, ImageChops, ImageDraw, ImageFilter, ImageFont

RESAMPLE = getattr(Image, "Resampling", Image)

OUT_DIR = os.path.dirname(os.path.abspath(__file__))
FONT_PATH = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc"
NOISE_SEED = 20261210

KEY = (255, 0, 255)          # outside the window / transparent part of a button
SS = 4                       # supersampling factor for smooth shape edges

WIN_SIZE = (800, 600)

# Where the program puts things (client pixels; boxes are left, top, right, bottom exclusive).
PANEL = (233, 140, 781, 477)            # embedded web page
BAR_POS = (232, 479)
BAR_SIZE = (446, 16)
FILL_SIZE = (446, 14)
STATUS_BOX = (232, 496, 678, 511)       # cleared to black, teal text on it
BUTTON_SIZE = (149, 28)
BUTTONS = {                             # name: (position, label)
    "website": ((230, 515), "官方网站"),
    "offline": ((380, 515), "离线更新"),
    "edition": ((532, 515), "版本切换"),
}
SMALL_SIZE = (26, 26)
CLOSE_POS = (755, 109)
MINIMISE_POS = (722, 109)
START_POS = (680, 476)
START_SIZE = (120, 123)
START_CENTRE = (60, 61)
START_RADIUS = 58.5                     # the start button's disc; magenta outside it

# The window's outline (continuous coordinates).
BODY = [(4, 112), (20, 96), (780, 96), (796, 112), (796, 557), (20, 557), (4, 541)]
PLATE_CENTRE = (START_POS[0] + START_CENTRE[0] + 0.5, START_POS[1] + START_CENTRE[1] + 0.5)
PLATE_RADIUS = 61.5                     # round plate under the start button
CREST = [(236, 97), (258, 76), (292, 66), (318, 46), (356, 30), (384, 22), (400, 4),
         (416, 22), (444, 30), (482, 46), (508, 66), (542, 76), (564, 97)]
CREST_DOME = (304, 18, 496, 170)
ARCH_LEFT, ARCH_RIGHT, ARCH_SPRING, ARCH_RADIUS = 14, 222, 160, 120

# Palette.
EDGE = (10, 8, 6)
GOLD_LIGHT = (255, 230, 150)
GOLD = (214, 162, 66)
GOLD_DARK = (110, 70, 24)
STONE_TOP = (40, 44, 58)
STONE_BOTTOM = (15, 17, 25)
PANEL_DARK = (7, 9, 13)
TEAL = (0, 128, 128)


# ---------------------------------------------------------------- small drawing toolkit

class Mask:
    """A coverage mask drawn at SS times the size and reduced, so edges are smooth."""

    def __init__(self, size):
        self.size = size
        self.big = Image.new("L", (size[0] * SS, size[1] * SS), 0)
        self.draw = ImageDraw.Draw(self.big)

    @staticmethod
    def _pts(points):
        return [(x * SS, y * SS) for x, y in points]

    @staticmethod
    def _box(box):
        x0, y0, x1, y1 = box
        return [x0 * SS, y0 * SS, x1 * SS - 1, y1 * SS - 1]

    def poly(self, points, fill=255):
        self.draw.polygon(self._pts(points), fill=fill)
        return self

    def ellipse(self, box, fill=255):
        self.draw.ellipse(self._box(box), fill=fill)
        return self

    def circle(self, centre, radius, fill=255):
        cx, cy = centre
        return self.ellipse((cx - radius, cy - radius, cx + radius, cy + radius), fill)

    def rect(self, box, fill=255):
        self.draw.rectangle(self._box(box), fill=fill)
        return self

    def rrect(self, box, radius, fill=255):
        self.draw.rounded_rectangle(self._box(box), radius * SS, fill=fill)
        return self

    def line(self, points, width, fill=255):
        self.draw.line(self._pts(points), fill=fill, width=int(width * SS), joint="curve")
        return self

    def done(self):
        return self.big.resize(self.size, RESAMPLE.BOX)


def hard(mask):
    """Coverage to a two-level mask (no partial pixels)."""
    return mask.point(lambda v: 255 if v >= 128 else 0)


def scale(mask, factor):
    return mask.point(lambda v: min(255, int(v * factor)))


def shift(mask, dx, dy):
    out = Image.new("L", mask.size, 0)
    out.paste(mask, (dx, dy))
    return out


def erode(mask, pixels):
    return mask.filter(ImageFilter.MinFilter(2 * pixels + 1)) if pixels else mask


def dilate(mask, pixels):
    return mask.filter(ImageFilter.MaxFilter(2 * pixels + 1)) if pixels else mask


def inter(a, b):
    return ImageChops.multiply(a, b)


def minus(a, b):
    return ImageChops.subtract(a, b)


def union(a, b):
    return ImageChops.lighter(a, b)


def blur(mask, radius):
    return mask.filter(ImageFilter.GaussianBlur(radius))


def lerp(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


def ramp(stops, t):
    """Colour at t (0..1) of a list of (position, colour) stops."""
    if t <= stops[0][0]:
        return stops[0][1]
    for (p0, c0), (p1, c1) in zip(stops, stops[1:]):
        if t <= p1:
            return lerp(c0, c1, (t - p0) / (p1 - p0) if p1 > p0 else 1.0)
    return stops[-1][1]


def colorize(field, stops):
    """Maps an 'L' field (0..255) through colour stops to an RGB image."""
    lut = [ramp(stops, v / 255.0) for v in range(256)]
    channels = [field.point([c[i] for c in lut]) for i in range(3)]
    return Image.merge("RGB", channels)


def field(size, fn):
    """An 'L' image whose value at (x, y) is fn(x + 0.5, y + 0.5) clamped to 0..1."""
    w, h = size
    data = []
    for y in range(h):
        cy = y + 0.5
        for x in range(w):
            v = fn(x + 0.5, cy)
            data.append(0 if v <= 0 else 255 if v >= 1 else int(v * 255))
    img = Image.new("L", size)
    img.putdata(data)
    return img


def vertical(size, y0, y1):
    """0 at y0 rising to 255 at y1 (clamped), constant along x."""
    column = field((1, size[1]), lambda x, y: (y - y0) / float(y1 - y0))
    return column.resize(size, RESAMPLE.NEAREST)


def horizontal(size, x0, x1):
    row = field((size[0], 1), lambda x, y: (x - x0) / float(x1 - x0))
    return row.resize(size, RESAMPLE.NEAREST)


def radial(size, centre, rx, ry=None):
    ry = ry or rx
    cx, cy = centre
    return field(size, lambda x, y: math.hypot((x - cx) / rx, (y - cy) / ry))


def paint(canvas, source, mask, offset=(0, 0)):
    """Blends a colour or image onto the canvas through a coverage mask."""
    if isinstance(source, tuple):
        source = Image.new("RGB", mask.size, source)
    canvas.paste(source, offset, mask)


def glow(canvas, mask, colour, radius, strength=1.0):
    paint(canvas, colour, scale(blur(mask, radius), strength))


def bevel(canvas, mask, depth, light, dark, soft=0.6, strength=1.0):
    """Lights the top-left rim of a shape and shades its bottom-right rim."""
    hi = minus(mask, shift(mask, depth, depth))
    lo = minus(mask, shift(mask, -depth, -depth))
    if soft:
        hi, lo = inter(blur(hi, soft), mask), inter(blur(lo, soft), mask)
    paint(canvas, light, scale(hi, strength))
    paint(canvas, dark, scale(lo, strength))


def font(size):
    return ImageFont.truetype(FONT_PATH, size)


def text_masks(size, text, fnt, centre, stroke, spacing=0):
    """Masks of a text's glyphs and of its outline, centred on `centre`."""
    glyphs = Image.new("L", size, 0)
    outline = Image.new("L", size, 0)
    chars = list(text)
    widths = [fnt.getbbox(ch)[2] - fnt.getbbox(ch)[0] if ch != " " else fnt.size // 3
              for ch in chars]
    total = sum(widths) + spacing * (len(chars) - 1)
    probe = ImageDraw.Draw(Image.new("L", (1, 1)))
    top, bottom = 10 ** 6, -10 ** 6
    for ch in chars:
        if ch != " ":
            b = probe.textbbox((0, 0), ch, font=fnt)
            top, bottom = min(top, b[1]), max(bottom, b[3])
    x = centre[0] - total / 2.0
    y = centre[1] - (top + bottom) / 2.0
    dg, do = ImageDraw.Draw(glyphs), ImageDraw.Draw(outline)
    for ch, w in zip(chars, widths):
        if ch != " ":
            left = fnt.getbbox(ch)[0]
            pos = (round(x - left), round(y))
            do.text(pos, ch, font=fnt, fill=255, stroke_width=stroke, stroke_fill=255)
            dg.text(pos, ch, font=fnt, fill=255)
        x += w + spacing
    return glyphs, outline


def label(canvas, text, size, centre, fill, stroke_colour, stroke=2, spacing=0,
          shadow=None, glow_colour=None):
    """Draws a text with an outline; fill may be a colour or (top, bottom) gradient."""
    fnt = font(size)
    glyphs, outline = text_masks(canvas.size, text, fnt, centre, stroke, spacing)
    if glow_colour:
        glow(canvas, outline, glow_colour, 4, 1.2)
    if shadow:
        paint(canvas, shadow, scale(shift(outline, 1, 2), 0.8))
    paint(canvas, stroke_colour, outline)
    if isinstance(fill, list):
        half = size / 2.0
        grad = colorize(vertical(canvas.size, centre[1] - half, centre[1] + half), fill)
        paint(canvas, grad, glyphs)
    else:
        paint(canvas, fill, glyphs)


def noise(size, cells, seed, smooth):
    rnd = random.Random(seed)
    w, h = cells
    small = Image.frombytes("L", cells, bytes(rnd.randrange(256) for _ in range(w * h)))
    return small.resize(size, RESAMPLE.BICUBIC).filter(ImageFilter.GaussianBlur(smooth))


def key_mask(img):
    """255 where the image is not exactly magenta."""
    diff = ImageChops.difference(img, Image.new("RGB", img.size, KEY))
    r, g, b = diff.split()
    return ImageChops.lighter(ImageChops.lighter(r, g), b).point(lambda v: 255 if v else 0)


def apply_key(img, inside):
    """Everything outside the two-level mask becomes exactly magenta."""
    out = Image.new("RGB", img.size, KEY)
    out.paste(img, (0, 0), inside)
    return out


def gold_ramp(light=GOLD_LIGHT, mid=GOLD, dark=GOLD_DARK):
    return [(0.0, light), (0.45, mid), (1.0, dark)]


# ---------------------------------------------------------------- the window outline

def arch_points(left, right, spring, radius, steps=24):
    """A pointed arch from (left, spring) over to (right, spring)."""
    mid = (left + right) / 2.0
    pts = []
    start = math.pi
    end = math.acos((mid - (left + radius)) / radius)
    for i in range(steps + 1):
        a = start + (end - start) * i / steps
        pts.append((left + radius + radius * math.cos(a), spring - radius * math.sin(a)))
    for x, y in reversed(pts[:-1]):
        pts.append((2 * mid - x, y))
    return pts


ARCH = arch_points(ARCH_LEFT, ARCH_RIGHT, ARCH_SPRING, ARCH_RADIUS)


def window_shape():
    m = Mask(WIN_SIZE)
    m.poly(BODY).poly(CREST).ellipse(CREST_DOME).poly(ARCH + [(ARCH_RIGHT, 200), (ARCH_LEFT, 200)])
    m.circle(PLATE_CENTRE, PLATE_RADIUS)
    return hard(m.done())


# ---------------------------------------------------------------- background parts

def stone(size):
    base = colorize(vertical(size, 0, size[1]), [(0.0, STONE_TOP), (1.0, STONE_BOTTOM)])
    paint(base, (0, 0, 0), scale(noise(size, (80, 60), NOISE_SEED, 3), 0.22))
    paint(base, (90, 96, 120), scale(noise(size, (200, 150), NOISE_SEED + 1, 1), 0.06))
    return base


def frame_border(canvas, shape):
    """Dark rim, bevelled gold band and a dark inner line along the window's edge."""
    band = erode(shape, 1)
    inner_line = erode(shape, 5)
    inside = erode(shape, 6)
    paint(canvas, EDGE, minus(shape, band))
    gold = colorize(vertical(canvas.size, 0, canvas.size[1]),
                    [(0.0, GOLD_LIGHT), (0.2, GOLD), (0.6, (170, 120, 44)), (1.0, GOLD_DARK)])
    paint(canvas, gold, minus(band, inner_line))
    bevel(canvas, minus(band, inner_line), 1, (255, 244, 200), (60, 36, 10), soft=0, strength=0.8)
    paint(canvas, EDGE, minus(inner_line, inside))


def inset_frame(canvas, box, thickness=3, radius=3):
    """A sunken gold-rimmed frame around a box."""
    x0, y0, x1, y1 = box
    outer = Mask(canvas.size).rrect((x0 - thickness - 1, y0 - thickness - 1,
                                     x1 + thickness + 1, y1 + thickness + 1), radius + 2).done()
    rim = Mask(canvas.size).rrect((x0 - thickness, y0 - thickness,
                                   x1 + thickness, y1 + thickness), radius + 1).done()
    hole = Mask(canvas.size).rect(box).done()
    glow(canvas, outer, (0, 0, 0), 4, 0.9)
    paint(canvas, EDGE, outer)
    gold = colorize(vertical(canvas.size, y0 - thickness, y1 + thickness),
                    [(0.0, (120, 82, 32)), (0.5, (196, 146, 60)), (1.0, (236, 196, 112))])
    paint(canvas, gold, minus(rim, hole))
    bevel(canvas, minus(rim, hole), 1, (60, 40, 14), (255, 236, 170), soft=0, strength=0.7)


def rivet(canvas, centre, radius=3.5):
    m = Mask(canvas.size).circle(centre, radius).done()
    paint(canvas, EDGE, dilate(m, 1))
    grad = colorize(radial(canvas.size, (centre[0] - 1, centre[1] - 1.2), radius * 1.6),
                    [(0.0, (255, 246, 200)), (0.5, GOLD), (1.0, GOLD_DARK)])
    paint(canvas, grad, m)


def landscape(size):
    """The moonlit picture behind the left arch: sky, moon, mountains, castle, warrior."""
    w, h = size
    pic = colorize(vertical(size, 0, h),
                   [(0.0, (10, 12, 34)), (0.32, (30, 34, 84)), (0.55, (92, 64, 120)),
                    (0.68, (196, 120, 96)), (0.74, (236, 170, 100)), (1.0, (40, 20, 30))])
    rnd = random.Random(NOISE_SEED + 2)
    stars = Mask(size)
    for _ in range(70):
        x, y = rnd.uniform(4, w - 4), rnd.uniform(4, h * 0.45)
        stars.circle((x, y), rnd.choice((0.35, 0.5, 0.7)))
    star_mask = stars.done()
    glow(pic, star_mask, (180, 200, 255), 1.5, 1.5)
    paint(pic, (255, 255, 240), star_mask)

    moon_c, moon_r = (w * 0.66, h * 0.2), 30
    glow_field = radial(size, moon_c, moon_r * 4.0)
    paint(pic, (200, 210, 255), glow_field.point(lambda v: int((255 - v) * 0.35)))
    moon = Mask(size).circle(moon_c, moon_r).done()
    moon_grad = colorize(radial(size, (moon_c[0] - 8, moon_c[1] - 10), moon_r * 1.6),
                         [(0.0, (255, 252, 236)), (0.6, (232, 228, 214)), (1.0, (180, 178, 190))])
    paint(pic, moon_grad, moon)
    craters = Mask(size)
    for dx, dy, r in ((-9, 6, 6), (8, -8, 4), (10, 10, 3.5), (-2, -14, 3)):
        craters.circle((moon_c[0] + dx, moon_c[1] + dy), r)
    paint(pic, (170, 168, 182), scale(inter(craters.done(), moon), 0.45))

    def ridge(base_y, amp, seed, colour, haze, step=14):
        r = random.Random(seed)
        pts = [(-2, h)]
        x = -2
        y = base_y
        while x < w + 16:
            pts.append((x, y))
            x += r.uniform(step * 0.6, step * 1.4)
            y = base_y - r.uniform(0, amp)
        pts.append((w + 2, h))
        m = Mask(size).poly(pts).done()
        grad = colorize(vertical(size, base_y - amp, h), [(0.0, colour), (1.0, haze)])
        paint(pic, grad, m)
        return m

    ridge(h * 0.66, 90, NOISE_SEED + 3, (58, 50, 96), (120, 84, 110), 24)
    # Castle on the far ridge.
    castle = Mask(size)
    cx, base = w * 0.28, h * 0.6
    for tx, tw, th in ((-30, 12, 46), (-14, 10, 60), (0, 16, 88), (18, 10, 54), (30, 14, 40)):
        castle.rect((cx + tx - tw / 2, base - th, cx + tx + tw / 2, base + 40))
        castle.poly([(cx + tx - tw / 2 - 3, base - th), (cx + tx, base - th - tw * 1.6),
                     (cx + tx + tw / 2 + 3, base - th)])
    castle.rect((cx - 40, base - 24, cx + 40, base + 40))
    castle_mask = castle.done()
    paint(pic, (34, 28, 58), castle_mask)
    windows = Mask(size)
    for wx, wy in ((-14, -40), (0, -64), (0, -44), (18, -30), (-30, -20), (30, -14)):
        windows.rect((cx + wx - 1, base + wy, cx + wx + 1.5, base + wy + 4))
    window_mask = windows.done()
    glow(pic, window_mask, (255, 170, 60), 2, 1.5)
    paint(pic, (255, 214, 120), window_mask)

    ridge(h * 0.75, 60, NOISE_SEED + 4, (36, 28, 56), (70, 40, 60), 18)
    # Mist over the valley.
    mist = vertical(size, h * 0.62, h * 0.8).point(lambda v: int(90 * math.sin(math.pi * v / 255)))
    paint(pic, (230, 170, 150), mist)

    # Cliff and warrior in the foreground.
    cliff = Mask(size)
    cliff.poly([(-2, h), (-2, h * 0.8), (30, h * 0.77), (70, h * 0.755), (118, h * 0.76),
                (160, h * 0.785), (w + 2, h * 0.84), (w + 2, h)])
    fg = Mask(size)
    fx, fy = w * 0.5, h * 0.755          # feet
    body = [
        # cape blown to the left
        [(fx - 14, fy - 138), (fx - 34, fy - 110), (fx - 60, fy - 50), (fx - 78, fy - 8),
         (fx - 52, fy - 16), (fx - 30, fy - 4), (fx - 12, fy - 60)],
        # torso
        [(fx - 16, fy - 140), (fx + 16, fy - 140), (fx + 12, fy - 84), (fx - 12, fy - 84)],
        # legs
        [(fx - 13, fy - 86), (fx + 13, fy - 86), (fx + 14, fy), (fx + 4, fy), (fx, fy - 50),
         (fx - 4, fy), (fx - 14, fy)],
        # right arm down to the sword's hilt
        [(fx + 12, fy - 140), (fx + 22, fy - 132), (fx + 30, fy - 100), (fx + 24, fy - 96),
         (fx + 14, fy - 120)],
    ]
    for poly in body:
        fg.poly([(x, y) for x, y in poly])
    fg.circle((fx - 14, fy - 136), 9).circle((fx + 14, fy - 136), 9)     # pauldrons
    fg.circle((fx, fy - 154), 10)                                         # helmet
    fg.poly([(fx - 9, fy - 160), (fx - 20, fy - 178), (fx - 4, fy - 164)])  # horns
    fg.poly([(fx + 9, fy - 160), (fx + 20, fy - 178), (fx + 4, fy - 164)])
    fg.rect((fx - 4, fy - 146, fx + 4, fy - 138))                         # neck
    sword_x = fx + 30
    fg.rect((sword_x - 1.6, fy - 98, sword_x + 1.6, fy + 4))              # blade
    fg.poly([(sword_x - 1.6, fy + 4), (sword_x, fy + 10), (sword_x + 1.6, fy + 4)])
    fg.rect((sword_x - 9, fy - 100, sword_x + 9, fy - 96))                # guard
    fg.rect((sword_x - 1.5, fy - 112, sword_x + 1.5, fy - 100))           # grip
    fg.circle((sword_x, fy - 114), 3)                                     # pommel
    fg_mask = fg.done()
    cliff_mask = cliff.done()
    paint(pic, colorize(vertical(size, h * 0.75, h), [(0.0, (44, 30, 50)), (0.35, (18, 12, 24)),
                                                      (1.0, (6, 5, 9))]), cliff_mask)
    cliff_rim = inter(minus(cliff_mask, shift(cliff_mask, 0, 2)), cliff_mask)
    paint(pic, (236, 150, 110), scale(blur(cliff_rim, 0.6), 0.8))
    rocks = Mask(size)
    rnd = random.Random(NOISE_SEED + 5)
    for _ in range(18):
        x, y = rnd.uniform(0, w), rnd.uniform(h * 0.82, h * 0.98)
        rocks.poly([(x - 10, y), (x - 3, y - 5), (x + 8, y - 3), (x + 12, y + 2)])
    paint(pic, (40, 28, 44), scale(inter(rocks.done(), cliff_mask), 0.5))
    paint(pic, (9, 7, 14), fg_mask)
    rim = inter(minus(fg_mask, shift(fg_mask, -2, 1)), fg_mask)
    paint(pic, (190, 200, 255), scale(blur(rim, 0.5), 0.9))
    blade = Mask(size).rect((sword_x - 0.8, fy - 94, sword_x + 0.8, fy + 2)).done()
    glow(pic, blade, (120, 190, 255), 3, 1.4)
    paint(pic, (210, 236, 255), blade)
    return pic


def emblem_watermark(canvas, centre, radius):
    """A faint ring-and-sword device in the middle of the web page panel."""
    ring = minus(Mask(canvas.size).circle(centre, radius).done(),
                 Mask(canvas.size).circle(centre, radius - 6).done())
    inner = minus(Mask(canvas.size).circle(centre, radius - 14).done(),
                  Mask(canvas.size).circle(centre, radius - 16).done())
    cx, cy = centre
    sword = Mask(canvas.size)
    sword.poly([(cx - 6, cy - radius * 0.55), (cx, cy - radius * 0.85), (cx + 6, cy - radius * 0.55),
                (cx + 4, cy + radius * 0.45), (cx - 4, cy + radius * 0.45)])
    sword.rect((cx - radius * 0.35, cy + radius * 0.4, cx + radius * 0.35, cy + radius * 0.5))
    sword.rect((cx - 3, cy + radius * 0.5, cx + 3, cy + radius * 0.75))
    device = union(union(ring, inner), sword.done())
    paint(canvas, (34, 30, 26), device)


def gem(canvas, centre, half_width, colour, deep):
    """A glowing diamond-cut gem set in a dark bezel."""
    cx, cy = centre
    half_height = half_width * 1.25
    m = Mask(canvas.size).poly([(cx, cy - half_height), (cx + half_width, cy),
                                (cx, cy + half_height), (cx - half_width, cy)]).done()
    glow(canvas, m, colour, half_width * 0.6, 1.3)
    paint(canvas, EDGE, dilate(m, 1))
    grad = colorize(radial(canvas.size, (cx - 2, cy - half_height * 0.4), half_height * 1.2),
                    [(0.0, (255, 255, 245)), (0.4, colour), (1.0, deep)])
    paint(canvas, grad, m)


def crest(canvas, shape):
    """The raised title crest: darker metal, inner gold line, a gem and the title."""
    crest_mask = Mask(canvas.size).poly(CREST).ellipse(CREST_DOME).done()
    top_only = Mask(canvas.size).rect((0, 0, canvas.size[0], 100)).done()
    crest_top = inter(inter(crest_mask, shape), top_only)
    metal = colorize(vertical(canvas.size, 0, 110),
                     [(0.0, (58, 48, 40)), (0.6, (30, 26, 28)), (1.0, (20, 20, 28))])
    paint(canvas, metal, erode(crest_top, 6))
    crest_outline = Mask(canvas.size).poly(CREST).ellipse(CREST_DOME).rect(
        (0, 97, canvas.size[0], canvas.size[1]), 0).done()
    fade = vertical(canvas.size, 90, 72)
    line = inter(minus(erode(crest_outline, 9), erode(crest_outline, 10)), fade)
    paint(canvas, (150, 108, 44), line)
    base = Mask(canvas.size).rect((258, 99, 543, 100)).done()
    paint(canvas, (150, 108, 44), base)

    gem(canvas, (400.5, 26), 8, (60, 200, 240), (10, 60, 110))

    label(canvas, "在线更新", 32, (400, 62), [(0.0, (255, 246, 200)), (0.5, (240, 190, 80)),
                                            (1.0, (170, 100, 30))],
          (30, 16, 6), stroke=2, spacing=6, shadow=(0, 0, 0), glow_colour=(255, 160, 40))
    label(canvas, "GAME UPDATER", 10, (400, 88), (200, 170, 120), (10, 8, 6), stroke=1, spacing=3)


def header(canvas):
    """The strip between the crest and the web page, with rivets and a filigree line."""
    y = 134
    line = Mask(canvas.size).rect((230, y, 786, y + 1)).done()
    paint(canvas, (120, 86, 34), line)
    for x in (240, 560):
        rivet(canvas, (x, 118))
    slot = Mask(canvas.size).rrect((716, 104, 787, 140), 13).done()
    paint(canvas, (8, 8, 12), slot)
    bevel(canvas, slot, 1, (0, 0, 0), (120, 90, 40), soft=0.5)
    flourish = Mask(canvas.size)
    for direction in (-1, 1):
        x0 = 400 + direction * 170
        pts = [(x0 + direction * k * 6, 118 - 6 * math.sin(k * 0.7)) for k in range(24)]
        flourish.line(pts, 1.2)
    paint(canvas, (140, 100, 40), flourish.done())


def bottom_section(canvas):
    """Recesses for the progress bar, the status line and the three buttons."""
    inset_frame(canvas, (BAR_POS[0], BAR_POS[1], STATUS_BOX[2], STATUS_BOX[3]), thickness=2)
    recess = Mask(canvas.size).rrect((226, 513, 684, 546), 4).done()
    paint(canvas, (8, 8, 11), recess)
    bevel(canvas, recess, 1, (0, 0, 0), (96, 72, 34), soft=0)


def start_plate(canvas):
    """The round gold plate the start button sits in."""
    plate = Mask(canvas.size).circle(PLATE_CENTRE, PLATE_RADIUS).done()
    rim_in = Mask(canvas.size).circle(PLATE_CENTRE, PLATE_RADIUS - 4.5).done()
    gold = colorize(vertical(canvas.size, PLATE_CENTRE[1] - PLATE_RADIUS,
                             PLATE_CENTRE[1] + PLATE_RADIUS), gold_ramp())
    paint(canvas, EDGE, plate)
    paint(canvas, gold, erode(plate, 1))
    paint(canvas, (14, 12, 12), rim_in)
    for k in range(12):
        a = k * math.pi / 6
        cx = PLATE_CENTRE[0] + (PLATE_RADIUS - 2.5) * math.cos(a)
        cy = PLATE_CENTRE[1] + (PLATE_RADIUS - 2.5) * math.sin(a)
        stud = Mask(canvas.size).circle((cx, cy), 1.2).done()
        paint(canvas, (255, 240, 190), stud)


def background():
    shape = window_shape()
    canvas = stone(WIN_SIZE)

    # Left picture in its arch.
    arch_box = (ARCH_LEFT + 8, 0, ARCH_RIGHT - 8, 549)
    pic_size = (arch_box[2] - arch_box[0], arch_box[3] - 48)
    pic = landscape(pic_size)
    arch_inner = Mask(WIN_SIZE).poly(arch_points(ARCH_LEFT + 8, ARCH_RIGHT - 8, ARCH_SPRING,
                                                 ARCH_RADIUS - 8) + [(ARCH_RIGHT - 8, 549),
                                                                     (ARCH_LEFT + 8, 549)]).done()
    arch_rim = dilate(arch_inner, 3)
    paint(canvas, EDGE, dilate(arch_rim, 1))
    rim_grad = colorize(vertical(WIN_SIZE, 40, 560), gold_ramp())
    paint(canvas, rim_grad, arch_rim)
    full_pic = Image.new("RGB", WIN_SIZE, (0, 0, 0))
    full_pic.paste(pic, (arch_box[0], 48))
    paint(canvas, full_pic, arch_inner)
    vignette = radial(WIN_SIZE, (118, 330), 130, 300)
    paint(canvas, (0, 0, 0), inter(arch_inner, vignette.point(lambda v: int(v * 0.35))))
    gem(canvas, ((ARCH_LEFT + ARCH_RIGHT) / 2.0, 60), 6, (255, 120, 90), (120, 10, 10))

    crest(canvas, shape)
    header(canvas)
    inset_frame(canvas, PANEL, thickness=3)
    panel = colorize(vertical(WIN_SIZE, PANEL[1], PANEL[3]), [(0.0, (12, 14, 20)), (1.0, PANEL_DARK)])
    paint(canvas, panel, Mask(WIN_SIZE).rect(PANEL).done())
    emblem_watermark(canvas, ((PANEL[0] + PANEL[2]) / 2.0, (PANEL[1] + PANEL[3]) / 2.0), 90)
    bottom_section(canvas)
    start_plate(canvas)
    frame_border(canvas, shape)

    bar = bar_back()
    canvas.paste(bar, BAR_POS)
    canvas.paste((0, 0, 0), STATUS_BOX)
    return apply_key(canvas, shape), shape


# ---------------------------------------------------------------- the other bitmaps

def bar_back():
    size = BAR_SIZE
    img = colorize(vertical(size, 0, size[1]),
                   [(0.0, (4, 4, 6)), (0.5, (18, 18, 24)), (1.0, (28, 26, 30))])
    ticks = Mask(size)
    for x in range(0, size[0], 22):
        ticks.rect((x, 3, x + 1, size[1] - 3))
    paint(img, (34, 34, 42), ticks.done())
    paint(img, (0, 0, 0), Mask(size).rect((0, 0, size[0], 1)).done())
    return img


def bar_fill():
    w, h = FILL_SIZE
    across = colorize(horizontal(FILL_SIZE, 0, w),
                      [(0.0, (200, 90, 10)), (0.55, (240, 170, 30)), (1.0, (255, 224, 80))])
    shade = vertical(FILL_SIZE, 0, h)
    img = across.copy()
    paint(img, (255, 255, 230), shade.point(lambda v: int(max(0, 150 - v * 1.6) * 0.9)))
    paint(img, (60, 20, 0), shade.point(lambda v: int(max(0, v - 150) * 0.9)))
    stripes = Mask(FILL_SIZE)
    for x in range(-h, w + h, 14):
        stripes.poly([(x, h), (x + 6, h), (x + 6 + h, 0), (x + h, 0)])
    paint(img, (255, 255, 255), scale(stripes.done(), 0.12))
    paint(img, (255, 250, 220), Mask(FILL_SIZE).rect((0, 1, w, 2)).done())
    return img


def round_button(symbol, hover):
    """A 26 × 26 gem button with an × or a minus; magenta outside the disc."""
    size = SMALL_SIZE
    centre, r = (13.0, 13.0), 12.6
    img = Image.new("RGB", size, EDGE)
    disc = Mask(size).circle(centre, r).done()
    face = Mask(size).circle(centre, r - 2.2).done()
    paint(img, colorize(vertical(size, 0, 26), gold_ramp()), erode(disc, 0))
    paint(img, EDGE, scale(minus(disc, Mask(size).circle(centre, r - 0.8).done()), 1.0))
    if symbol == "close":
        stops = ([(0.0, (255, 140, 110)), (0.5, (210, 40, 30)), (1.0, (110, 10, 10))] if hover
                 else [(0.0, (120, 60, 56)), (0.5, (70, 26, 24)), (1.0, (36, 12, 12))])
    else:
        stops = ([(0.0, (150, 220, 255)), (0.5, (40, 130, 210)), (1.0, (14, 50, 110))] if hover
                 else [(0.0, (70, 84, 110)), (0.5, (34, 42, 62)), (1.0, (16, 18, 30))])
    paint(img, colorize(radial(size, (11, 8), 16), stops), face)
    mark = Mask(size)
    if symbol == "close":
        mark.line([(8.5, 8.5), (17.5, 17.5)], 2.6).line([(17.5, 8.5), (8.5, 17.5)], 2.6)
    else:
        mark.rect((7.5, 12, 18.5, 14.6))
    mark_mask = mark.done()
    paint(img, (0, 0, 0), scale(shift(mark_mask, 0, 1), 0.7))
    paint(img, (255, 255, 255) if hover else (214, 206, 190), mark_mask)
    gloss = inter(Mask(size).ellipse((6, 3.5, 20, 12)).done(), face)
    paint(img, (255, 255, 255), scale(gloss, 0.25 if hover else 0.12))
    return apply_key(img, hard(disc))


def text_button(background_img, pos, text, hover):
    """A 149 × 28 bronze button; its corners show the window behind it."""
    w, h = BUTTON_SIZE
    img = background_img.crop((pos[0], pos[1], pos[0] + w, pos[1] + h))
    outer = Mask(BUTTON_SIZE).rrect((0, 0, w, h), 6).done()
    rim = Mask(BUTTON_SIZE).rrect((1, 1, w - 1, h - 1), 5).done()
    face = Mask(BUTTON_SIZE).rrect((3, 3, w - 3, h - 3), 3.5).done()
    paint(img, EDGE, outer)
    paint(img, colorize(vertical(BUTTON_SIZE, 1, h - 1),
                        gold_ramp() if hover else gold_ramp((220, 186, 120), (160, 116, 50),
                                                            (84, 54, 20))), rim)
    stops = ([(0.0, (176, 76, 36)), (0.5, (128, 40, 18)), (1.0, (76, 18, 10))] if hover
             else [(0.0, (82, 40, 28)), (0.5, (52, 22, 16)), (1.0, (28, 12, 10))])
    paint(img, colorize(vertical(BUTTON_SIZE, 3, h - 3), stops), face)
    gloss = inter(Mask(BUTTON_SIZE).rrect((3, 3, w - 3, h / 2.0), 3).done(), face)
    paint(img, (255, 230, 200), scale(gloss, 0.16 if hover else 0.08))
    if hover:
        warm = inter(face, vertical(BUTTON_SIZE, h * 0.45, h))
        paint(img, (255, 140, 50), scale(warm, 0.35))
    fill = ([(0.0, (255, 255, 240)), (1.0, (255, 220, 140))] if hover
            else [(0.0, (246, 230, 196)), (1.0, (214, 180, 120))])
    label(img, text, 15, (w / 2.0, h / 2.0), fill, (20, 8, 4), stroke=2, spacing=4,
          glow_colour=(255, 150, 40) if hover else None)
    return img


START_STYLES = {
    # name: (centre-weighted orb colours, label, label fill, outline, halo)
    "start_unavailable": ([(0.0, (150, 156, 166)), (0.35, (96, 102, 112)), (0.62, (72, 77, 86)),
                           (1.0, (26, 28, 34))], "开始游戏",
                          [(0.0, (150, 150, 150)), (1.0, (112, 112, 112))], (30, 30, 34), None),
    "start": ([(0.0, (255, 236, 150)), (0.35, (246, 188, 60)), (0.62, (226, 150, 28)),
               (1.0, (96, 46, 6))], "开始游戏",
              [(0.0, (255, 255, 255)), (1.0, (255, 236, 190))], (90, 40, 0), None),
    "start_hover": ([(0.0, (255, 255, 220)), (0.35, (255, 238, 140)), (0.62, (255, 214, 92)),
                     (1.0, (170, 96, 10))], "开始游戏",
                    [(0.0, (255, 255, 255)), (1.0, (255, 250, 220))], (120, 56, 0),
                    (255, 250, 200)),
    "start_retry": ([(0.0, (255, 170, 130)), (0.35, (214, 80, 48)), (0.62, (178, 42, 24)),
                     (1.0, (70, 8, 6))], "重新更新",
                    [(0.0, (255, 255, 255)), (1.0, (255, 220, 200))], (70, 6, 0), None),
    "start_retry_hover": ([(0.0, (255, 230, 180)), (0.35, (255, 150, 80)),
                           (0.62, (255, 104, 44)), (1.0, (150, 30, 10))], "重新更新",
                          [(0.0, (255, 255, 255)), (1.0, (255, 240, 220))], (110, 20, 0),
                          (255, 220, 160)),
}


def start_button(name):
    orb_stops, text, text_fill, outline, halo = START_STYLES[name]
    size = START_SIZE
    centre = (START_CENTRE[0] + 0.5, START_CENTRE[1] + 0.5)
    img = Image.new("RGB", size, EDGE)
    disc = Mask(size).circle(centre, START_RADIUS).done()
    ring = Mask(size).circle(centre, START_RADIUS - 1).done()
    orb = Mask(size).circle(centre, START_RADIUS - 7).done()
    metal = [(0.0, (220, 224, 232)), (0.5, (130, 134, 146)), (1.0, (50, 52, 60))] \
        if name == "start_unavailable" else gold_ramp()
    paint(img, colorize(vertical(size, 2, 120), metal), ring)
    bevel(img, minus(ring, orb), 2, (255, 255, 255), (0, 0, 0), soft=1, strength=0.5)
    paint(img, EDGE, minus(dilate(orb, 1), orb))
    # The orb's colour ramp runs out from the centre; stop 0.62 is the centre's colour.
    orb_field = radial(size, centre, START_RADIUS - 7).point(lambda v: 158 + v * 97 // 255)
    paint(img, colorize(orb_field, orb_stops), orb)
    if halo:
        inner_ring = minus(orb, erode(orb, 6))
        paint(img, halo, scale(blur(inner_ring, 3), 0.7))
    gloss = inter(Mask(size).ellipse((22, 10, 99, 52)).done(), orb)
    paint(img, (255, 255, 255), scale(inter(gloss, vertical(size, 60, 8)), 0.35))
    label(img, text, 19, (centre[0], 86), text_fill, outline, stroke=2, spacing=1,
          shadow=(0, 0, 0))
    play = Mask(size).poly([(centre[0] - 7, 30), (centre[0] + 10, 39), (centre[0] - 7, 48)]).done()
    paint(img, outline, dilate(play, 1))
    paint(img, text_fill[0][1], play)
    return apply_key(img, hard(disc))


# ---------------------------------------------------------------- icon

def icon_image(px):
    """The program icon at one size: a gold ring round a night-blue disc and a rising blade."""
    big = px * 8
    size = (big, big)
    c, r = (big / 2.0, big / 2.0), big / 2.0 - big / 32.0
    img = Image.new("RGB", size, EDGE)
    disc = Mask(size).circle(c, r).done()
    face = Mask(size).circle(c, r * (0.82 if px <= 16 else 0.78)).done()
    paint(img, colorize(vertical(size, 0, big), gold_ramp()), disc)
    paint(img, EDGE, minus(dilate(face, max(1, big // 48)), face))
    paint(img, colorize(radial(size, (c[0], c[1] * 1.3), r), [(0.0, (70, 90, 170)),
                                                              (1.0, (10, 12, 40))]), face)
    blade = Mask(size)
    u = r / 10.0
    thick = 2.0 if px <= 16 else 1.0
    blade.poly([(c[0], c[1] - 7 * u), (c[0] + 1.6 * u * thick, c[1] - 4.6 * u),
                (c[0] + 1.1 * u * thick, c[1] + 3 * u), (c[0] - 1.1 * u * thick, c[1] + 3 * u),
                (c[0] - 1.6 * u * thick, c[1] - 4.6 * u)])
    blade.rect((c[0] - 3.8 * u, c[1] + 2.6 * u, c[0] + 3.8 * u, c[1] + 3.8 * u))
    blade.rect((c[0] - 0.8 * u * thick, c[1] + 3.8 * u, c[0] + 0.8 * u * thick, c[1] + 6.4 * u))
    blade_mask = blade.done()
    glow(img, blade_mask, (255, 200, 80), big / 24.0, 1.2)
    paint(img, colorize(vertical(size, c[1] - 7 * u, c[1] + 6.4 * u),
                        [(0.0, (255, 255, 230)), (1.0, (230, 160, 50))]), blade_mask)
    rgba = img.resize((px, px), RESAMPLE.BOX).convert("RGBA")
    rgba.putalpha(disc.resize((px, px), RESAMPLE.BOX))
    return rgba


def write_ico(path, images):
    """An .ico of 32-bit DIB entries (colour with alpha, plus the 1-bit AND mask)."""
    header = struct.pack("<HHH", 0, 1, len(images))
    entries, blobs = [], []
    offset = len(header) + 16 * len(images)
    for im in images:
        w, h = im.size
        pixels = im.load()
        colour = bytearray()
        and_mask = bytearray()
        mask_stride = ((w + 31) // 32) * 4
        for y in range(h - 1, -1, -1):
            row = bytearray(mask_stride)
            for x in range(w):
                r, g, b, a = pixels[x, y]
                colour += bytes((b, g, r, a))
                if a == 0:
                    row[x // 8] |= 0x80 >> (x % 8)
            and_mask += row
        info = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, len(colour) + len(and_mask),
                           0, 0, 0, 0)
        blob = info + bytes(colour) + bytes(and_mask)
        entries.append(struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 32, len(blob), offset))
        blobs.append(blob)
        offset += len(blob)
    with open(path, "wb") as f:
        f.write(header + b"".join(entries) + b"".join(blobs))


# ---------------------------------------------------------------- preview

def keyed_paste(canvas, img, pos):
    canvas.paste(img, pos, key_mask(img))


def preview(bg, images):
    w, h = WIN_SIZE
    margin = 24
    desk = Image.new("RGB", (w + 2 * margin, h + 2 * margin))
    tile = 12
    d = ImageDraw.Draw(desk)
    for ty in range(0, desk.size[1], tile):
        for tx in range(0, desk.size[0], tile):
            shade = (70, 108, 140) if (tx // tile + ty // tile) % 2 else (82, 122, 156)
            d.rectangle((tx, ty, tx + tile - 1, ty + tile - 1), fill=shade)
    win = bg.copy()
    keyed_paste(win, images["close"], CLOSE_POS)
    keyed_paste(win, images["minimise"], MINIMISE_POS)
    for name, (pos, _) in BUTTONS.items():
        win.paste(images[name], pos)
    win.paste(images["bar_back"], BAR_POS)
    half = FILL_SIZE[0] * 50 // 100
    win.paste(images["bar_fill"].crop((0, 0, half, FILL_SIZE[1])), BAR_POS)
    win.paste((0, 0, 0), STATUS_BOX)
    ImageDraw.Draw(win).text((STATUS_BOX[0] + 2, STATUS_BOX[1]), "正在下载 12/24 patch_0012.pak",
                             font=font(12), fill=TEAL)
    keyed_paste(win, images["start"], START_POS)
    shadow = blur(key_mask(bg), 6)
    paint(desk, (0, 0, 0), scale(shadow, 0.6), (margin + 3, margin + 5))
    desk.paste(win, (margin, margin), key_mask(bg))
    return desk


# ---------------------------------------------------------------- checks and output

def check(bg, shape, images):
    assert bg.size == WIN_SIZE
    assert key_mask(bg).tobytes() == shape.tobytes(), "magenta must be exactly the outside"
    for name, (pos, _) in BUTTONS.items():
        for variant in (name, name + "_hover"):
            img = images[variant]
            w, h = img.size
            for corner in ((0, 0), (w - 1, 0), (0, h - 1), (w - 1, h - 1)):
                assert img.getpixel(corner) != KEY, (variant, corner)
    centres = [images[n].getpixel(START_CENTRE) for n in START_STYLES]
    assert len(set(centres)) == len(centres)
    for n in START_STYLES:
        assert images[n].getpixel((0, 0)) == KEY and images[n].getpixel((119, 122)) == KEY


def main():
    bg, shape = background()
    images = {"bar_back": bar_back(), "bar_fill": bar_fill()}
    for symbol in ("close", "minimise"):
        images[symbol] = round_button(symbol, False)
        images[symbol + "_hover"] = round_button(symbol, True)
    for name, (pos, text) in BUTTONS.items():
        images[name] = text_button(bg, pos, text, False)
        images[name + "_hover"] = text_button(bg, pos, text, True)
    for name in START_STYLES:
        images[name] = start_button(name)
    check(bg, shape, images)

    bg.save(os.path.join(OUT_DIR, "background.bmp"))
    for name, img in images.items():
        img.save(os.path.join(OUT_DIR, name + ".bmp"))
    write_ico(os.path.join(OUT_DIR, "update.ico"), [icon_image(px) for px in (16, 32, 48)])
    preview(bg, images).save(os.path.join(OUT_DIR, "preview.png"), optimize=True)
    for name in START_STYLES:
        print("%-18s centre %s" % (name, images[name].getpixel(START_CENTRE)))


if __name__ == "__main__":
    main()
