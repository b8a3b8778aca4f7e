#!/usr/bin/python3
"""Draws the skin pictures of the Windows application into this folder.

Every picture is drawn procedurally (shapes, gradients and DejaVu text) with
Pillow, so the same Pillow and FreeType give the same bytes on every run.
Shapes are drawn at SS times their size and box-filtered down, which gives
smooth edges; small text is drawn at its final size so that it stays crisp.

Run from anywhere: python3 image/make_skin.py
"""

import math
import os
import sys

from PIL import Image, ImageChops, ImageDraw, ImageFont

HERE = os.path.dirname(os.path.abspath(__file__))
SS = 4
FONT_DIR = "/usr/share/fonts/truetype/dejavu"

# One palette for the whole skin: a teal accent on white and light grey.
ACCENT = (14, 124, 140)
ACCENT_HOVER = (36, 150, 166)
ACCENT_PRESSED = (9, 95, 108)
ACCENT_DARK = (10, 80, 92)
ACCENT_LIGHT = (222, 241, 244)
ACCENT_SOFT = (178, 222, 229)
TITLE_LEFT = (13, 56, 68)
TITLE_RIGHT = (14, 100, 115)
TITLE_LINE = (8, 44, 54)
TEXT = (36, 44, 52)
MUTED = (104, 116, 128)
FAINT = (156, 166, 176)
BORDER = (210, 218, 225)
BODY_TOP = (242, 245, 248)
BODY_BOTTOM = (232, 237, 241)
WHITE = (255, 255, 255)
DISABLED_FILL = (224, 228, 232)
DISABLED_EDGE = (206, 212, 218)
DISABLED_INK = (158, 166, 174)
RED = (214, 62, 58)
RED_DARK = (176, 40, 38)
AMBER = (236, 156, 24)
GREEN = (44, 156, 90)
PHONE_BODY = (44, 52, 61)
PHONE_EDGE = (28, 34, 41)
CABLE = (122, 132, 142)

# Colours fixed by the drawing code of the controls.
BUBBLE_PANEL = (244, 247, 250)
BUBBLE_IN = (216, 216, 216)
BUBBLE_OUT = (136, 193, 33)

_fonts = {}


def font(size, bold=False, mono=False):
    key = (size, bold, mono)
    if key not in _fonts:
        if mono:
            name = "DejaVuSansMono-Bold.ttf" if bold else "DejaVuSansMono.ttf"
        else:
            name = "DejaVuSans-Bold.ttf" if bold else "DejaVuSans.ttf"
        _fonts[key] = ImageFont.truetype(os.path.join(FONT_DIR, name), size,
                                         layout_engine=ImageFont.Layout.BASIC)
    return _fonts[key]


def lerp(a, b, t):
    return tuple(round(a[i] + (b[i] - a[i]) * t) for i in range(len(a)))


def rgba(c, a=255):
    return tuple(c[:3]) + (a,)


def put_text(img, xy, s, fnt, fill, anchor="la", alpha=255):
    """Draws text over an RGBA picture, blending its edges with what lies below."""
    mask = Image.new("L", img.size, 0)
    ImageDraw.Draw(mask).text(xy, s, font=fnt, fill=alpha, anchor=anchor)
    layer = Image.new("RGBA", img.size, rgba(fill, 0))
    layer.putalpha(mask)
    img.alpha_composite(layer)


def text_width(s, fnt):
    return fnt.getlength(s)


def hgradient(w, h, left, right):
    img = Image.new("RGBA", (w, h))
    d = ImageDraw.Draw(img)
    for x in range(w):
        d.line([(x, 0), (x, h - 1)], fill=rgba(lerp(left, right, x / max(1, w - 1))))
    return img


def vgradient(w, h, top, bottom):
    img = Image.new("RGBA", (w, h))
    d = ImageDraw.Draw(img)
    for y in range(h):
        d.line([(0, y), (w - 1, y)], fill=rgba(lerp(top, bottom, y / max(1, h - 1))))
    return img


class Sketch:
    """An RGBA surface SS times the target size; coordinates are target pixels.

    Boxes are (x0, y0, x1, y1) with x1 and y1 exclusive, so (0, 0, 16, 16)
    covers a whole 16 x 16 picture.
    """

    def __init__(self, w, h, bg=(0, 0, 0, 0), scale=SS):
        self.w, self.h, self.s = w, h, scale
        self.img = Image.new("RGBA", (w * scale, h * scale), bg)
        self.d = ImageDraw.Draw(self.img)

    def _v(self, v):
        return round(v * self.s)

    def _box(self, box):
        x0, y0, x1, y1 = box
        return [self._v(x0), self._v(y0), self._v(x1) - 1, self._v(y1) - 1]

    def _pts(self, pts):
        return [(p[0] * self.s, p[1] * self.s) for p in pts]

    def rect(self, box, fill):
        self.d.rectangle(self._box(box), fill=rgba(fill) if len(fill) == 3 else fill)

    def rrect(self, box, r, fill=None, outline=None, width=1.0):
        self.d.rounded_rectangle(self._box(box), radius=self._v(r),
                                 fill=None if fill is None else (rgba(fill) if len(fill) == 3 else fill),
                                 outline=None if outline is None else rgba(outline),
                                 width=max(1, self._v(width)) if outline is not None else 0)

    def ellipse(self, box, fill=None, outline=None, width=1.0):
        self.d.ellipse(self._box(box),
                       fill=None if fill is None else (rgba(fill) if len(fill) == 3 else fill),
                       outline=None if outline is None else rgba(outline),
                       width=max(1, self._v(width)) if outline is not None else 0)

    def circle(self, cx, cy, r, fill=None, outline=None, width=1.0):
        self.ellipse((cx - r, cy - r, cx + r, cy + r), fill, outline, width)

    def polygon(self, pts, fill):
        self.d.polygon(self._pts(pts), fill=rgba(fill) if len(fill) == 3 else fill)

    def line(self, pts, fill, width=1.0, round_caps=True):
        w = max(1, self._v(width))
        col = rgba(fill) if len(fill) == 3 else fill
        self.d.line(self._pts(pts), fill=col, width=w, joint="curve")
        if round_caps:
            r = w / 2.0
            for x, y in (pts[0], pts[-1]):
                X, Y = x * self.s, y * self.s
                self.d.ellipse([X - r, Y - r, X + r - 1, Y + r - 1], fill=col)

    def arc(self, box, start, end, fill, width=1.0):
        self.d.arc(self._box(box), start, end, fill=rgba(fill), width=max(1, self._v(width)))

    def text(self, xy, s, size, fill, bold=False, anchor="mm"):
        put_text(self.img, (xy[0] * self.s, xy[1] * self.s), s, font(round(size * self.s), bold),
                 fill, anchor)

    def paste(self, other, xy=(0, 0)):
        """Composites another Sketch of the same scale at a target-pixel offset."""
        self.img.alpha_composite(other.img, (self._v(xy[0]), self._v(xy[1])))

    def done(self):
        return self.img.resize((self.w, self.h), Image.Resampling.BOX)


def fade(img, factor):
    """Scales the alpha of an RGBA picture (disabled looks)."""
    r, g, b, a = img.split()
    a = a.point(lambda v: round(v * factor))
    return Image.merge("RGBA", (r, g, b, a))


def strip(frames):
    w, h = frames[0].size
    out = Image.new("RGBA", (w * len(frames), h), (0, 0, 0, 0))
    for i, f in enumerate(frames):
        assert f.size == (w, h)
        out.paste(f, (i * w, 0))
    return out


# --------------------------------------------------------------------------
# Logo: a white quill on a teal tile (or the reverse on dark title bars).

def draw_feather(sk, x, y, size, ink, rib):
    def u(px, py):
        return (x + px * size, y + py * size)

    ax, ay, bx, by = 0.30, 0.72, 0.82, 0.18
    dx, dy = bx - ax, by - ay
    ln = math.hypot(dx, dy)
    nx, ny = -dy / ln, dx / ln
    left, right = [], []
    n = 28
    for i in range(n + 1):
        t = i / n
        px, py = ax + dx * t, ay + dy * t
        w = 0.17 * math.sin(math.pi * t) ** 0.7 * (1.0 - 0.2 * t)
        left.append(u(px + nx * w * 1.1, py + ny * w * 1.1))
        right.append(u(px - nx * w * 0.8, py - ny * w * 0.8))
    sk.polygon(left + right[::-1], ink)
    # A notch cut into the vane, as on a real quill.
    t = 0.42
    px, py = ax + dx * t, ay + dy * t
    w = 0.17 * math.sin(math.pi * t) ** 0.7 * (1.0 - 0.2 * t) * 1.1
    sk.polygon([u(px + nx * w * 1.05, py + ny * w * 1.05),
                u(px + nx * w * 0.35 + dx * 0.03, py + ny * w * 0.35 + dy * 0.03),
                u(px + nx * w * 1.05 + dx * 0.14, py + ny * w * 1.05 + dy * 0.14)], rib)
    sk.line([u(ax + dx * 0.02, ay + dy * 0.02), u(ax + dx * 0.85, ay + dy * 0.85)], rib,
            width=max(0.6, size * 0.035))
    sk.line([u(0.16, 0.86), u(ax + dx * 0.05, ay + dy * 0.05)], ink, width=max(0.9, size * 0.06))


def logo(size, inverse=False):
    sk = Sketch(size, size)
    tile = WHITE if inverse else ACCENT
    ink = ACCENT if inverse else WHITE
    sk.rrect((0, 0, size, size), size * 0.24, fill=tile)
    draw_feather(sk, 0, 0, size, ink, tile)
    return sk.done()


# --------------------------------------------------------------------------
# Frames of a window: title strip, dialog body.

TITLE_H = 32


def title_strip(img, with_name):
    w = img.size[0]
    img.alpha_composite(hgradient(w, TITLE_H, TITLE_LEFT, TITLE_RIGHT), (0, 0))
    ImageDraw.Draw(img).line([(0, TITLE_H - 1), (w - 1, TITLE_H - 1)], fill=rgba(TITLE_LINE))
    img.alpha_composite(logo(18, inverse=True), (12, 7))
    if with_name:
        f1, f2 = font(14), font(14, bold=True)
        put_text(img, (40, 16), "Velmora ", f1, WHITE, "lm")
        put_text(img, (40 + text_width("Velmora ", f1), 16), "Quillbrook", f2, WHITE, "lm")


def dialog_frame(w, h):
    """White dialog with the dark title strip and a hairline edge."""
    img = Image.new("RGBA", (w, h), rgba(WHITE))
    title_strip(img, with_name=False)
    d = ImageDraw.Draw(img)
    edge = rgba((150, 162, 172))
    d.line([(0, TITLE_H), (0, h - 1), (w - 1, h - 1), (w - 1, TITLE_H)], fill=edge)
    return img


# --------------------------------------------------------------------------
# Image buttons: 4 frames (normal, hover, pressed, disabled), 3 for the menu.

def titlebar_button(w, h, glyph, frames=4, danger=False):
    out = []
    for state in range(frames):
        sk = Sketch(w, h)
        if state in (1, 2):
            if danger:
                sk.rrect((0, 0, w, h), 3, fill=RED if state == 1 else RED_DARK)
            else:
                sk.rrect((0, 0, w, h), 3, fill=(255, 255, 255, 50 if state == 1 else 90))
        g = Sketch(w, h)
        off = 1 if state == 2 else 0
        glyph(g, off)
        gi = g.done()
        if state == 3:
            gi = fade(gi, 0.4)
        base = sk.done()
        base.alpha_composite(gi)
        out.append(base)
    return strip(out)


def g_close(g, o):
    g.line([(5.5, 5.5 + o), (12.5, 12.5 + o)], WHITE, 1.7)
    g.line([(12.5, 5.5 + o), (5.5, 12.5 + o)], WHITE, 1.7)


def g_min(g, o):
    g.line([(5, 12 + o), (13, 12 + o)], WHITE, 1.7)


def g_menu(g, o):
    for y in (5.5, 9, 12.5):
        g.line([(4.5, y + o), (13.5, y + o)], WHITE, 1.6)


def g_help(g, o):
    g.circle(13, 9 + o, 7.2, outline=WHITE, width=1.5)
    g.text((13.1, 9.3 + o), "?", 10.5, WHITE, bold=True)


def g_home(g, o):
    g.line([(6, 9.5 + o), (13, 3.2 + o), (20, 9.5 + o)], WHITE, 1.6)
    g.line([(8.3, 8.6 + o), (8.3, 15 + o), (17.7, 15 + o), (17.7, 8.6 + o)], WHITE, 1.6)
    g.rect((11.6, 10.8 + o, 14.4, 15 + o), WHITE)


def toolbar_button(glyph):
    out = []
    for state in range(4):
        sk = Sketch(40, 40)
        off = 1 if state == 2 else 0
        if state in (0, 1):
            sk.rrect((1, 2, 39, 40), 8, fill=(0, 0, 0, 40))
        fill = (ACCENT, ACCENT_HOVER, ACCENT_PRESSED, DISABLED_FILL)[state]
        sk.rrect((1, 1 + off, 39, 39 + off), 8, fill=fill)
        ink = WHITE if state != 3 else (178, 186, 194)
        glyph(sk, off, ink)
        out.append(sk.done())
    return strip(out)


def t_back(s, o, ink):
    s.line([(28, 20 + o), (12.5, 20 + o)], ink, 3)
    s.line([(19, 13.5 + o), (12.5, 20 + o), (19, 26.5 + o)], ink, 3)


def t_recover(s, o, ink):
    s.line([(20, 9.5 + o), (20, 22 + o)], ink, 2.8)
    s.line([(14.5, 17 + o), (20, 22.5 + o), (25.5, 17 + o)], ink, 2.8)
    s.line([(11, 22.5 + o), (11, 29 + o), (29, 29 + o), (29, 22.5 + o)], ink, 2.6)


def t_pause(s, o, ink):
    s.rrect((13.5, 12 + o, 18, 28 + o), 1.2, fill=ink)
    s.rrect((22, 12 + o, 26.5, 28 + o), 1.2, fill=ink)


def t_resume(s, o, ink):
    s.polygon([(15.5, 11.5 + o), (28.5, 20 + o), (15.5, 28.5 + o)], ink)


def t_stop(s, o, ink):
    s.rrect((13.5, 13.5 + o, 26.5, 26.5 + o), 2.5, fill=ink)


def refresh_button():
    out = []
    for state in range(4):
        sk = Sketch(24, 24)
        o = 1 if state == 2 else 0
        if state == 1:
            sk.circle(12, 12, 11.5, fill=ACCENT_LIGHT)
        elif state == 2:
            sk.circle(12, 12.5, 11.5, fill=ACCENT_SOFT)
        ink = DISABLED_INK if state == 3 else (ACCENT_PRESSED if state == 2 else ACCENT)
        cx, cy, r = 12, 12 + o, 6.6
        start, end = 30, 300
        sk.arc((cx - r, cy - r, cx + r, cy + r), start, end, ink, 2.2)
        a = math.radians(end)
        px, py = cx + r * math.cos(a), cy + r * math.sin(a)
        tx, ty = -math.sin(a), math.cos(a)
        nx, ny = math.cos(a), math.sin(a)
        sk.polygon([(px + tx * 3.6, py + ty * 3.6),
                    (px + nx * 3.4 - tx * 0.8, py + ny * 3.4 - ty * 0.8),
                    (px - nx * 3.4 - tx * 0.8, py - ny * 3.4 - ty * 0.8)], ink)
        out.append(sk.done())
    return strip(out)


def dialog_button(word, primary):
    w, h = 80, 28
    out = []
    for state in range(4):
        sk = Sketch(w, h)
        o = 1 if state == 2 else 0
        if state == 3:
            fill, edge, ink = DISABLED_FILL, DISABLED_EDGE, DISABLED_INK
        elif primary:
            fill = (ACCENT, ACCENT_HOVER, ACCENT_PRESSED)[state]
            edge, ink = fill, WHITE
        else:
            fill = (WHITE, (240, 247, 248), (224, 236, 239))[state]
            edge = ((186, 196, 205), ACCENT, ACCENT_PRESSED)[state]
            ink = TEXT
        sk.rrect((0.5, 0.5, w - 0.5, h - 0.5), 5, fill=fill, outline=edge, width=1)
        img = sk.done()
        put_text(img, (w / 2, h / 2 + o), word, font(12, bold=True), ink, "mm")
        out.append(img)
    return strip(out)


# --------------------------------------------------------------------------
# Small icons.

def icon_warn():
    sk = Sketch(40, 40)
    sk.polygon([(20, 4), (37, 34), (3, 34)], AMBER)
    sk.line([(20, 4.5), (36.5, 33.5), (3.5, 33.5), (20, 4.5)], AMBER, 3)
    sk.line([(20, 14), (20, 24.5)], WHITE, 3.4)
    sk.circle(20, 29.5, 2.0, fill=WHITE)
    return sk.done()


def icon_error():
    sk = Sketch(40, 40)
    sk.circle(20, 20, 17.5, fill=RED)
    sk.line([(13.5, 13.5), (26.5, 26.5)], WHITE, 3.4)
    sk.line([(26.5, 13.5), (13.5, 26.5)], WHITE, 3.4)
    return sk.done()


def icon_info():
    sk = Sketch(40, 40)
    sk.circle(20, 20, 17.5, fill=ACCENT)
    sk.circle(20, 12.5, 2.3, fill=WHITE)
    sk.line([(20, 18), (20, 29)], WHITE, 3.6)
    return sk.done()


def icon_right():
    sk = Sketch(40, 40)
    sk.circle(20, 20, 17.5, fill=GREEN)
    sk.line([(12, 20.5), (17.8, 26.3), (28.5, 14.5)], WHITE, 3.6)
    return sk.done()


def icon_treeroot():
    sk = Sketch(16, 16)
    sk.rrect((3.5, 0.5, 12.5, 15.5), 2, fill=PHONE_BODY)
    sk.rect((4.8, 2.6, 11.2, 12.2), ACCENT_SOFT)
    sk.rect((4.8, 2.6, 11.2, 5.0), ACCENT)
    sk.circle(8, 13.8, 0.9, fill=(170, 180, 190))
    return sk.done()


def icon_contacts():
    sk = Sketch(16, 16)
    sk.circle(8, 5.2, 3.4, fill=ACCENT)
    # The shoulders run off the bottom edge, as in a bust.
    sk.ellipse((2, 9.6, 14, 20.5), fill=ACCENT)
    return sk.done()


def icon_message():
    sk = Sketch(16, 16)
    sk.rrect((0.8, 1.8, 15.2, 11.8), 3, fill=ACCENT)
    sk.polygon([(3.6, 11), (3.6, 15), (8, 11)], ACCENT)
    for x in (5, 8, 11):
        sk.circle(x, 6.8, 1.1, fill=WHITE)
    return sk.done()


def icon_disk():
    sk = Sketch(16, 16)
    sk.rrect((0.8, 3.5, 15.2, 12.5), 2, fill=(86, 98, 110))
    sk.rrect((0.8, 3.5, 15.2, 7.5), 2, fill=(118, 130, 142))
    sk.rect((2.5, 9.4, 9, 10.6), (160, 172, 182))
    sk.circle(12.5, 10, 1.2, fill=(120, 220, 200))
    return sk.done()


def icon_folder():
    sk = Sketch(16, 16)
    sk.polygon([(0.8, 3.2), (6, 3.2), (7.6, 4.8), (15.2, 4.8), (15.2, 8), (0.8, 8)], ACCENT_PRESSED)
    sk.rrect((0.8, 5.8, 15.2, 13.8), 1.5, fill=ACCENT_HOVER)
    sk.rect((0.8, 5.8, 15.2, 6.8), (92, 182, 196))
    return sk.done()


def icon_deleted():
    sk = Sketch(16, 16)
    sk.line([(2.5, 3.6), (13.5, 3.6)], RED, 1.6)
    sk.line([(6.2, 3.4), (6.2, 1.6), (9.8, 1.6), (9.8, 3.4)], RED, 1.3)
    sk.polygon([(3.6, 5.2), (12.4, 5.2), (11.5, 15), (4.5, 15)], RED)
    for x in (6.3, 9.7):
        sk.line([(x, 7.2), (x, 12.8)], WHITE, 1.0)
    return sk.done()


def icon_file():
    sk = Sketch(16, 16)
    body = [(2.5, 0.5), (10, 0.5), (13.5, 4), (13.5, 15.5), (2.5, 15.5)]
    sk.polygon(body, (150, 162, 174))
    sk.polygon([(3.5, 1.5), (9.6, 1.5), (12.5, 4.4), (12.5, 14.5), (3.5, 14.5)], WHITE)
    sk.polygon([(9.5, 0.8), (13.2, 4.5), (9.5, 4.5)], (190, 200, 208))
    for y in (7, 9.5, 12):
        sk.line([(5, y), (11, y)], ACCENT, 1.0, round_caps=False)
    return sk.done()


def check_box_frame(kind):
    """kind: unchecked, hover, checked, mixed, disabled."""
    sk = Sketch(16, 16)
    box = (1.5, 1.5, 14.5, 14.5)
    if kind == "unchecked":
        sk.rrect(box, 3, fill=WHITE, outline=(140, 152, 164), width=1.1)
    elif kind == "hover":
        sk.rrect(box, 3, fill=(240, 248, 249), outline=ACCENT, width=1.3)
    elif kind == "checked":
        sk.rrect(box, 3, fill=ACCENT)
        sk.line([(4.6, 8.2), (7, 10.7), (11.6, 5.6)], WHITE, 1.9)
    elif kind == "mixed":
        sk.rrect(box, 3, fill=ACCENT)
        sk.line([(4.8, 8), (11.2, 8)], WHITE, 1.9)
    else:
        sk.rrect(box, 3, fill=(234, 236, 238), outline=(196, 202, 208), width=1.1)
    return sk.done()


def sort_arrow(up):
    sk = Sketch(9, 5)
    if up:
        sk.polygon([(0, 5), (4.5, 0), (9, 5)], (104, 116, 128))
    else:
        sk.polygon([(0, 0), (9, 0), (4.5, 5)], (104, 116, 128))
    return sk.done()


def expander(opened):
    img = Image.new("RGB", (9, 9), WHITE)
    d = ImageDraw.Draw(img)
    d.rectangle([0, 0, 8, 8], outline=(148, 158, 168), fill=(250, 251, 252))
    for p in ((0, 0), (8, 0), (0, 8), (8, 8)):
        img.putpixel(p, (214, 219, 224))
    d.line([(2, 4), (6, 4)], fill=(52, 62, 72))
    if not opened:
        d.line([(4, 2), (4, 6)], fill=(52, 62, 72))
    return img


def list_header():
    img = vgradient(5, 30, (253, 254, 255), (236, 240, 244)).convert("RGB")
    d = ImageDraw.Draw(img)
    d.line([(0, 29), (4, 29)], fill=(204, 211, 218))
    return img


def contact_person():
    n = 62
    sk = Sketch(n, n)
    sk.circle(31, 31, 31, fill=ACCENT_SOFT)
    person = Sketch(n, n)
    person.circle(31, 24, 11.5, fill=ACCENT)
    person.ellipse((11, 40, 51, 78), fill=ACCENT)
    mask = Sketch(n, n)
    mask.circle(31, 31, 31, fill=WHITE)
    a = ImageChops.multiply(person.img.getchannel("A"), mask.img.getchannel("A"))
    person.img.putalpha(a)
    sk.paste(person)
    return sk.done()


# --------------------------------------------------------------------------
# Chat bubble pieces. A whole bubble is drawn once and cut into the corners
# and one-pixel lines, so stretched lines meet the corners without a seam.

def bubble_pieces(prefix, fill, lw, rw, th, bh, tail_left):
    mid = 8
    W, H = lw + mid + rw, th + mid + bh
    sk = Sketch(W, H, bg=rgba(BUBBLE_PANEL))
    r = 8
    if tail_left:
        body = (6, 0, W, H - 2)
        sk.rrect(body, r, fill=fill)
        sk.polygon([(0.3, 0), (14, 0), (14, 13), (6, 13), (6, 6.5)], fill)
    else:
        body = (0, 2, W - 6, H - 2)
        sk.rrect(body, r, fill=fill)
        sk.polygon([(W - 0.3, 2), (W - 14, 2), (W - 14, 15), (W - 6, 15), (W - 6, 8.5)], fill)
    full = sk.done().convert("RGB")
    pieces = {
        "lefttop": (0, 0, lw, th),
        "righttop": (W - rw, 0, W, th),
        "leftbottom": (0, H - bh, lw, H),
        "rightbottom": (W - rw, H - bh, W, H),
        "topline": (lw, 0, lw + 1, th),
        "bottomline": (lw, H - bh, lw + 1, H),
        "leftline": (0, th, lw, th + 1),
        "rightline": (W - rw, th, W, th + 1),
    }
    return {"%s_%s.bmp" % (prefix, k): full.crop(box) for k, box in pieces.items()}


# --------------------------------------------------------------------------
# Phone, computer and cable drawings of the start screen.

def draw_phone(sk, x, y, w, h, screen):
    sk.rrect((x, y, x + w, y + h), w * 0.13, fill=PHONE_BODY)
    sk.rrect((x, y, x + w, y + h), w * 0.13, outline=PHONE_EDGE, width=1.2)
    sx0, sy0, sx1, sy1 = x + w * 0.07, y + h * 0.09, x + w * 0.93, y + h * 0.88
    sk.rect((sx0, sy0, sx1, sy1), screen)
    sk.rrect((x + w * 0.38, y + h * 0.04, x + w * 0.62, y + h * 0.04 + 3), 1.5, fill=(90, 100, 110))
    sk.circle(x + w * 0.5, y + h * 0.94, min(w, h) * 0.035, fill=(90, 100, 110))
    return (sx0, sy0, sx1, sy1)


def draw_laptop(sk, x, y, w, h, screen):
    """Returns the screen box; the base spans a little wider than the lid."""
    lid_h = h * 0.82
    sk.rrect((x, y, x + w, y + lid_h), 7, fill=PHONE_BODY)
    box = (x + 8, y + 8, x + w - 8, y + lid_h - 8)
    sk.rect(box, screen)
    sk.polygon([(x - 14, y + lid_h + 2), (x + w + 14, y + lid_h + 2),
                (x + w + 6, y + h), (x - 6, y + h)], (196, 204, 212))
    sk.rect((x - 14, y + lid_h, x + w + 14, y + lid_h + 3), (168, 178, 188))
    sk.rrect((x + w * 0.42, y + lid_h + 3, x + w * 0.58, y + lid_h + 6), 1.5, fill=(170, 180, 190))
    return box


def bezier(p0, p1, p2, p3, n=48):
    pts = []
    for i in range(n + 1):
        t = i / n
        a, b, c, d = (1 - t) ** 3, 3 * (1 - t) ** 2 * t, 3 * (1 - t) * t ** 2, t ** 3
        pts.append((a * p0[0] + b * p1[0] + c * p2[0] + d * p3[0],
                    a * p0[1] + b * p1[1] + c * p2[1] + d * p3[1]))
    return pts


def plug(sk, x, y, vertical):
    if vertical:
        sk.rrect((x - 6, y - 12, x + 6, y + 2), 2, fill=(92, 102, 112))
        sk.rect((x - 3.5, y - 17, x + 3.5, y - 11), (176, 184, 192))
    else:
        sk.rrect((x - 2, y - 6, x + 12, y + 6), 2, fill=(92, 102, 112))
        sk.rect((x - 7, y - 3.5, x - 1, y + 3.5), (176, 184, 192))


def screen_lines(sk, box, color):
    x0, y0, x1, y1 = box
    w = x1 - x0
    sk.rrect((x0 + 12, y0 + 12, x0 + 12 + w * 0.35, y0 + 20), 3, fill=color)
    for i, frac in enumerate((0.8, 0.65, 0.72, 0.5)):
        yy = y0 + 32 + i * 14
        sk.rrect((x0 + 12, yy, x0 + 12 + (w - 24) * frac, yy + 6), 3, fill=color)


# The program writes its tips over the bottom rows of these pictures (from
# y 310 down), so the drawings stay above y 300.
LAPTOP = (150, 44, 220, 150)   # x, y, w, h
PHONE = (540, 22, 112, 206)


def start_picture_base(sk, cable_broken):
    lx, ly, lw, lh = LAPTOP
    box = draw_laptop(sk, lx, ly, lw, lh, (236, 242, 246))
    screen_lines(sk, box, (206, 216, 224))
    px, py, pw, ph = PHONE
    # The cable leaves the laptop's right side and enters the phone's bottom.
    start = (lx + lw + 20, ly + lh - 22)
    end = (px + pw / 2, py + ph + 18)
    pts = bezier(start, (start[0] + 80, start[1] + 6), (end[0] - 8, end[1] + 34), end)
    if cable_broken:
        n = len(pts)
        sk.line(pts[: n * 2 // 5], CABLE, 4)
        sk.line(pts[n * 3 // 5:], CABLE, 4)
    else:
        sk.line(pts, CABLE, 4)
    plug(sk, start[0], start[1], vertical=False)
    plug(sk, end[0], end[1], vertical=True)
    return pts


def loadfail_picture():
    sk = Sketch(785, 331)
    pts = start_picture_base(sk, cable_broken=True)
    px, py, pw, ph = PHONE
    scr = draw_phone(sk, px, py, pw, ph, (60, 70, 80))
    # A dark screen with a crossed-out link symbol.
    cx, cy = (scr[0] + scr[2]) / 2, (scr[1] + scr[3]) / 2
    sk.circle(cx, cy, 20, outline=(120, 130, 140), width=3)
    sk.line([(cx - 14, cy + 14), (cx + 14, cy - 14)], (120, 130, 140), 3)
    mx, my = pts[len(pts) // 2]
    sk.circle(mx, my, 25, fill=WHITE)
    sk.circle(mx, my, 21, fill=RED)
    sk.line([(mx - 9, my - 9), (mx + 9, my + 9)], WHITE, 4.5)
    sk.line([(mx + 9, my - 9), (mx - 9, my + 9)], WHITE, 4.5)
    img = sk.done()
    put_text(img, (392, 284), "No Android phone found", font(15, bold=True), RED_DARK, "mm")
    return img


def rsa_tip_picture():
    sk = Sketch(785, 331)
    # A laptop on the left and a larger phone in the middle, joined by a cable.
    lx, ly, lw, lh = 40, 104, 170, 130
    box = draw_laptop(sk, lx, ly, lw, lh, (236, 242, 246))
    screen_lines(sk, box, (206, 216, 224))
    px, py, pw, ph = 300, 24, 206, 264
    start = (lx + lw + 20, ly + lh - 20)
    end = (px - 2, py + ph - 60)
    sk.line(bezier(start, (start[0] + 40, start[1] + 34), (end[0] - 50, end[1] + 6), end), CABLE, 4)
    plug(sk, start[0], start[1], vertical=False)
    sk.rrect((end[0] - 12, end[1] - 6, end[0] + 4, end[1] + 6), 2, fill=(92, 102, 112))
    scr = draw_phone(sk, px, py, pw, ph, (70, 84, 96))
    sx0, sy0, sx1, sy1 = scr
    # The system prompt on the phone, drawn as a card over a dimmed screen.
    cx0, cy0, cx1, cy1 = sx0 + 6, sy0 + 22, sx1 - 6, sy1 - 18
    sk.rrect((cx0, cy0, cx1, cy1), 4, fill=WHITE)
    ok_box = (cx1 - 52, cy1 - 30, cx1 - 8, cy1 - 8)
    cancel_box = (cx1 - 116, cy1 - 30, cx1 - 58, cy1 - 8)
    sk.rrect(ok_box, 4, fill=ACCENT)
    cb = (cx0 + 10, cy0 + 106, cx0 + 20, cy0 + 116)
    sk.rrect(cb, 2, fill=ACCENT)
    sk.line([(cb[0] + 2.2, cb[1] + 5.2), (cb[0] + 4.3, cb[1] + 7.3), (cb[0] + 8, cb[1] + 3)], WHITE, 1.4)
    # A tap mark on OK and a pointer from the hint on the right.
    okx, oky = (ok_box[0] + ok_box[2]) / 2, (ok_box[1] + ok_box[3]) / 2
    sk.circle(okx, oky, 19, outline=(14, 124, 140, 110), width=2.5)
    sk.circle(okx, oky, 25, outline=(14, 124, 140, 55), width=2)
    hint_y = oky
    tip = okx + 29
    sk.line([(596, hint_y), (tip + 6, hint_y)], ACCENT, 2.4)
    sk.polygon([(tip, hint_y), (tip + 11, hint_y - 6.5), (tip + 11, hint_y + 6.5)], ACCENT)
    img = sk.done()
    tx = cx0 + 10
    put_text(img, (tx, cy0 + 10), "Allow USB debugging?", font(11, bold=True), TEXT)
    put_text(img, (tx, cy0 + 34), "The computer's RSA key", font(10), MUTED)
    put_text(img, (tx, cy0 + 48), "fingerprint is:", font(10), MUTED)
    put_text(img, (tx, cy0 + 66), "5F:2A:91:C4:7B:0E:D3", font(9, mono=True), TEXT)
    put_text(img, (tx, cy0 + 79), "88:16:A9:4C:E2:37:B5", font(9, mono=True), TEXT)
    put_text(img, (cb[2] + 5, cb[1] - 1), "Always allow from", font(10), TEXT)
    put_text(img, (cb[2] + 5, cb[1] + 12), "this computer", font(10), TEXT)
    put_text(img, ((cancel_box[0] + cancel_box[2]) / 2, (cancel_box[1] + cancel_box[3]) / 2),
             "CANCEL", font(10, bold=True), ACCENT, "mm")
    put_text(img, (okx, oky), "OK", font(11, bold=True), WHITE, "mm")
    put_text(img, (606, hint_y - 10), "Tap OK on", font(15, bold=True), ACCENT_DARK, "lm")
    put_text(img, (606, hint_y + 10), "your phone", font(15, bold=True), ACCENT_DARK, "lm")
    return img


GIF_FRAMES = 12
GIF_DELAYS_CS = [8] * (GIF_FRAMES - 1) + [30]


def loaddata_frames():
    frames = []
    px, py, pw, ph = PHONE
    for i in range(GIF_FRAMES):
        sk = Sketch(785, 331, bg=rgba(WHITE))
        pts = start_picture_base(sk, cable_broken=False)
        scr = draw_phone(sk, px, py, pw, ph, (236, 244, 246))
        cx, cy = (scr[0] + scr[2]) / 2, (scr[1] + scr[3]) / 2 - 8
        # Spinner: twelve dots, the bright one walks round once per cycle.
        for k in range(12):
            a = math.radians(k * 30 - 90)
            age = (i - k) % 12
            shade = lerp(ACCENT, (206, 226, 230), min(1.0, age / 6.0))
            sk.circle(cx + 20 * math.cos(a), cy + 20 * math.sin(a), 3.6 if age == 0 else 3.0, fill=shade)
        sk.rrect((scr[0] + 16, cy + 40, scr[2] - 16, cy + 46), 3, fill=(206, 226, 230))
        fill_w = (scr[2] - scr[0] - 32) * (i + 1) / GIF_FRAMES
        sk.rrect((scr[0] + 16, cy + 40, scr[0] + 16 + fill_w, cy + 46), 3, fill=ACCENT)
        # Data packets travel along the cable from the phone to the computer;
        # in the last frame they have arrived and the computer's screen lights up.
        n = len(pts)
        if i < GIF_FRAMES - 1:
            for j in range(3):
                t = ((GIF_FRAMES - 2 - i) / (GIF_FRAMES - 2) + j / 3.0) % 1.0
                x, y = pts[min(n - 1, int(t * (n - 1)))]
                sk.circle(x, y, 6, fill=WHITE)
                sk.circle(x, y, 4.5, fill=ACCENT)
        else:
            lx, ly, lw, lh = LAPTOP
            box = (lx + 8, ly + 8, lx + lw - 8, ly + lh * 0.82 - 8)
            sk.rect(box, ACCENT_LIGHT)
            screen_lines(sk, box, ACCENT_SOFT)
        img = sk.done()
        put_text(img, (392, 284), "Looking for your Android phone...", font(15, bold=True), ACCENT_DARK, "mm")
        frames.append(img.convert("RGB"))
    # One shared palette for all frames keeps the colours steady.
    sheet = Image.new("RGB", (785, 331 * GIF_FRAMES))
    for i, f in enumerate(frames):
        sheet.paste(f, (0, 331 * i))
    pal = sheet.quantize(colors=96, method=Image.Quantize.MEDIANCUT, dither=Image.Dither.NONE)
    out = [f.quantize(palette=pal, dither=Image.Dither.NONE) for f in frames]
    # Median cut averages the whites; make the background's entry pure white
    # so the picture matches the white card it is drawn on.
    entries = out[0].getpalette()
    bg = out[0].getpixel((0, 0))
    entries[3 * bg: 3 * bg + 3] = [255, 255, 255]
    for f in out:
        f.putpalette(entries)
    return out


# --------------------------------------------------------------------------
# Window and dialog backgrounds.

def step_banner(active):
    w, h = 982, 115
    img = Image.new("RGBA", (w, h), rgba(WHITE))
    d = ImageDraw.Draw(img)
    d.line([(0, h - 1), (w - 1, h - 1)], fill=rgba(BORDER))
    steps = [("Connect your phone", "USB cable in, USB debugging on"),
             ("Load and scan", "Contacts, messages and files"),
             ("Recover your data", "Save what you tick to a folder")]
    centres = [round(w * (2 * k + 1) / 6) for k in range(3)]
    cy = 38
    sk = Sketch(w, h)
    for k in range(2):
        x0, x1 = centres[k] + 30, centres[k + 1] - 30
        done = k + 1 < active
        sk.line([(x0, cy), (x1, cy)], ACCENT if done else BORDER, 2.4)
    for k, cx in enumerate(centres):
        n = k + 1
        if n == active:
            sk.circle(cx, cy, 24, fill=ACCENT_LIGHT)
            sk.circle(cx, cy, 18, fill=ACCENT)
        elif n < active:
            sk.circle(cx, cy, 18, fill=ACCENT_LIGHT)
            sk.line([(cx - 7, cy + 0.5), (cx - 2, cy + 5.5), (cx + 8, cy - 5.5)], ACCENT, 3)
        else:
            sk.circle(cx, cy, 18, fill=WHITE, outline=(196, 205, 213), width=2)
    img.alpha_composite(sk.done())
    for k, cx in enumerate(centres):
        n = k + 1
        title, hint = steps[k]
        if n == active:
            put_text(img, (cx, cy + 1), str(n), font(17, bold=True), WHITE, "mm")
            put_text(img, (cx, 80), title, font(15, bold=True), TEXT, "mm")
            put_text(img, (cx, 100), hint, font(12), MUTED, "mm")
        elif n < active:
            put_text(img, (cx, 80), title, font(15), MUTED, "mm")
            put_text(img, (cx, 100), "Done", font(12), ACCENT, "mm")
        else:
            put_text(img, (cx, cy + 1), str(n), font(16, bold=True), FAINT, "mm")
            put_text(img, (cx, 80), title, font(15), FAINT, "mm")
            put_text(img, (cx, 100), hint, font(12), (182, 190, 198), "mm")
    return img.convert("RGB")


def main_body():
    img = vgradient(984, 674, BODY_TOP, BODY_BOTTOM)
    title_strip(img, with_name=True)
    return img


def mainbg1():
    img = main_body()
    put_text(img, (24, 53), "Recover deleted contacts, messages and files from your Android phone",
             font(13), MUTED, "lm")
    # The white card holds the connection pictures (120..905 x 230..561),
    # the two authorisation lines and the tips below them.
    sk = Sketch(984, 674)
    sk.rrect((40, 199, 918, 651), 9, fill=(0, 0, 0, 18))
    sk.rrect((40, 198, 918, 649), 8, fill=WHITE, outline=BORDER, width=1)
    img.alpha_composite(sk.done())
    return img.convert("RGB")


def mainbg2():
    img = main_body()
    d = ImageDraw.Draw(img)
    # Toolbar band right of the tree, down to the list's top.
    img.alpha_composite(vgradient(761, 86, (250, 252, 253), (238, 243, 246)), (223, 32))
    d.line([(223, 118), (983, 118)], fill=rgba(BORDER))
    put_text(img, (964, 75), "Tick what to keep, then press Recover", font(12), MUTED, "rm")
    # Tree column, list and detail panel edges.
    d.rectangle([1, 32, 221, 628], fill=rgba(WHITE))
    d.line([(222, 32), (222, 628)], fill=rgba(BORDER))
    d.line([(224, 118), (224, 627)], fill=rgba(BORDER))
    d.line([(742, 118), (742, 627)], fill=rgba(BORDER))
    d.rectangle([225, 119, 741, 626], fill=rgba(WHITE))
    d.rectangle([743, 120, 982, 626], fill=rgba(BUBBLE_PANEL))
    # Footer with the progress bar's track.
    d.rectangle([0, 629, 983, 673], fill=rgba((236, 240, 244)))
    d.line([(223, 627), (983, 627)], fill=rgba(BORDER))
    d.line([(223, 628), (983, 628)], fill=rgba((236, 240, 244)))
    d.line([(0, 629), (983, 629)], fill=rgba(BORDER))
    d.rectangle([19, 638, 960, 659], outline=rgba(BORDER), fill=rgba(WHITE))
    return img.convert("RGB")


def msgbox_bg():
    w, h = 420, 190
    img = dialog_frame(w, h)
    d = ImageDraw.Draw(img)
    # Button band: the buttons sit at y = h - 28 - 15.
    d.rectangle([1, 138, w - 2, h - 2], fill=rgba((243, 246, 248)))
    d.line([(1, 137), (w - 2, 137)], fill=rgba((228, 233, 237)))
    return img.convert("RGB")


def aboutbk_bg():
    w, h = 490, 320
    img = dialog_frame(w, h)
    band = vgradient(w - 2, 96, ACCENT_LIGHT, (247, 251, 252))
    img.alpha_composite(band, (1, 32))
    d = ImageDraw.Draw(img)
    d.line([(1, 128), (w - 2, 128)], fill=rgba((214, 228, 232)))
    img.alpha_composite(logo(64), (40, 48))
    put_text(img, (122, 62), "Velmora Quillbrook", font(24, bold=True), ACCENT_DARK, "lm")
    put_text(img, (123, 94), "Android data recovery: contacts, messages and files",
             font(12), MUTED, "lm")
    d.line([(40, 178), (450, 178)], fill=rgba((232, 236, 240)))
    return img.convert("RGB")


def regbox_bg():
    w, h = 390, 245
    img = dialog_frame(w, h)
    band = vgradient(w - 2, 88, ACCENT_LIGHT, (247, 251, 252))
    img.alpha_composite(band, (1, 32))
    d = ImageDraw.Draw(img)
    d.line([(1, 120), (w - 2, 120)], fill=rgba((214, 228, 232)))
    sk = Sketch(48, 48)
    sk.rrect((0, 0, 48, 48), 11, fill=ACCENT)
    sk.line([(24, 11), (24, 27)], WHITE, 3.4)
    sk.line([(17.5, 21), (24, 27.5), (30.5, 21)], WHITE, 3.4)
    sk.line([(13, 27.5), (13, 35), (35, 35), (35, 27.5)], WHITE, 3.0)
    img.alpha_composite(sk.done(), (20, 52))
    put_text(img, (84, 64), "Recover", font(16, bold=True), ACCENT_DARK, "lm")
    put_text(img, (84, 86), "The ticked contacts, messages and files", font(11), MUTED, "lm")
    put_text(img, (84, 102), "are written to the folder you chose.", font(11), MUTED, "lm")
    return img.convert("RGB")


# --------------------------------------------------------------------------

def build():
    """Returns {file name: picture or frame list} for every skin file."""
    out = {}
    out["mainbg1.png"] = mainbg1()
    out["mainbg2.png"] = mainbg2()
    out["step1.png"] = step_banner(1)
    out["step2.png"] = step_banner(2)
    out["loaddata.gif"] = loaddata_frames()
    out["loadfail.png"] = loadfail_picture()
    out["rsa_tip.png"] = rsa_tip_picture()

    out["close.png"] = titlebar_button(18, 18, g_close, danger=True)
    out["min.png"] = titlebar_button(18, 18, g_min)
    out["menu.png"] = titlebar_button(18, 18, g_menu, frames=3)
    out["btn_help.png"] = titlebar_button(26, 18, g_help)
    out["btn_home.png"] = titlebar_button(26, 18, g_home)
    out["back.png"] = toolbar_button(t_back)
    out["recover.png"] = toolbar_button(t_recover)
    out["pause.png"] = toolbar_button(t_pause)
    out["resume.png"] = toolbar_button(t_resume)
    out["stop_toolbar.png"] = toolbar_button(t_stop)
    out["refresh.png"] = refresh_button()
    out["ok.png"] = dialog_button("OK", primary=True)
    out["yes.png"] = dialog_button("Yes", primary=True)
    out["no.png"] = dialog_button("No", primary=False)
    out["cancel.png"] = dialog_button("Cancel", primary=False)
    out["stop.png"] = dialog_button("Stop", primary=False)
    out["close_dlg.png"] = dialog_button("Close", primary=True)

    out["msgbox.png"] = msgbox_bg()
    out["aboutbk.png"] = aboutbk_bg()
    out["regbox.png"] = regbox_bg()
    out["warn.png"] = icon_warn()
    out["error.png"] = icon_error()
    out["info.png"] = icon_info()
    out["right.png"] = icon_right()

    out["treeroot.png"] = icon_treeroot()
    out["contacts.png"] = icon_contacts()
    out["message.png"] = icon_message()
    out["disk.png"] = icon_disk()
    out["folder.png"] = icon_folder()
    out["deleted.png"] = icon_deleted()
    out["file.png"] = icon_file()
    out["checkbox.png"] = strip([check_box_frame(k) for k in
                                 ("unchecked", "hover", "checked", "disabled")])
    out["checkboxes.png"] = strip([check_box_frame(k) for k in
                                   ("unchecked", "hover", "mixed", "checked", "disabled")])
    out["inc.png"] = sort_arrow(up=True)
    out["dec.png"] = sort_arrow(up=False)
    out["tree_closed.bmp"] = expander(opened=False)
    out["tree_opened.bmp"] = expander(opened=True)
    out["list_hearder.bmp"] = list_header()
    out["contactperson.png"] = contact_person()
    out.update(bubble_pieces("in", BUBBLE_IN, 18, 12, 15, 18, tail_left=True))
    out.update(bubble_pieces("out", BUBBLE_OUT, 12, 18, 18, 18, tail_left=False))
    return out


def save(name, pic, folder):
    path = os.path.join(folder, name)
    if name.endswith(".gif"):
        pic[0].save(path, "GIF", save_all=True, append_images=pic[1:],
                    duration=[cs * 10 for cs in GIF_DELAYS_CS], loop=0, optimize=False)
    elif name.endswith(".bmp"):
        pic.convert("RGB").save(path, "BMP")
    else:
        pic.save(path, "PNG")


# --------------------------------------------------------------------------
# What the program expects of each file: size, frames of a strip, and for
# the chat bubble pieces the exact source sizes its painter uses.

EXPECTED = {
    # name: (width, height, frames)   frames: strip frames, or GIF frames
    "mainbg1.png": (984, 674, 1), "mainbg2.png": (984, 674, 1),
    "step1.png": (982, 115, 1), "step2.png": (982, 115, 1),
    "loaddata.gif": (785, 331, GIF_FRAMES),
    "loadfail.png": (785, 331, 1), "rsa_tip.png": (785, 331, 1),
    "close.png": (72, 18, 4), "min.png": (72, 18, 4), "menu.png": (54, 18, 3),
    "btn_help.png": (104, 18, 4), "btn_home.png": (104, 18, 4),
    "back.png": (160, 40, 4), "recover.png": (160, 40, 4), "pause.png": (160, 40, 4),
    "resume.png": (160, 40, 4), "stop_toolbar.png": (160, 40, 4),
    "refresh.png": (96, 24, 4),
    "ok.png": (320, 28, 4), "yes.png": (320, 28, 4), "no.png": (320, 28, 4),
    "cancel.png": (320, 28, 4), "stop.png": (320, 28, 4), "close_dlg.png": (320, 28, 4),
    "msgbox.png": (420, 190, 1), "aboutbk.png": (490, 320, 1), "regbox.png": (390, 245, 1),
    "warn.png": (40, 40, 1), "error.png": (40, 40, 1), "info.png": (40, 40, 1),
    "right.png": (40, 40, 1),
    "treeroot.png": (16, 16, 1), "contacts.png": (16, 16, 1), "message.png": (16, 16, 1),
    "disk.png": (16, 16, 1), "folder.png": (16, 16, 1),
    "deleted.png": (16, 16, 1), "file.png": (16, 16, 1),
    "checkbox.png": (64, 16, 4), "checkboxes.png": (80, 16, 5),
    "inc.png": (9, 5, 1), "dec.png": (9, 5, 1),
    "tree_closed.bmp": (9, 9, 1), "tree_opened.bmp": (9, 9, 1),
    "list_hearder.bmp": (5, 30, 1),
    "contactperson.png": (62, 62, 1),
    "in_lefttop.bmp": (18, 15, 1), "in_leftbottom.bmp": (18, 18, 1),
    "in_righttop.bmp": (12, 15, 1), "in_rightbottom.bmp": (12, 18, 1),
    "in_topline.bmp": (1, 15, 1), "in_bottomline.bmp": (1, 18, 1),
    "in_leftline.bmp": (18, 1, 1), "in_rightline.bmp": (12, 1, 1),
    "out_lefttop.bmp": (12, 18, 1), "out_leftbottom.bmp": (12, 18, 1),
    "out_righttop.bmp": (18, 18, 1), "out_rightbottom.bmp": (18, 18, 1),
    "out_topline.bmp": (1, 18, 1), "out_bottomline.bmp": (1, 18, 1),
    "out_leftline.bmp": (12, 1, 1), "out_rightline.bmp": (18, 1, 1),
}

# Pictures whose transparent parts must show the parent's skin.
TRANSPARENT = [n for n in EXPECTED if n.endswith(".png") and n not in
               ("mainbg1.png", "mainbg2.png", "step1.png", "step2.png",
                "msgbox.png", "aboutbk.png", "regbox.png")]


BUTTONS = ("close.png", "min.png", "menu.png", "btn_help.png", "btn_home.png", "back.png",
           "recover.png", "pause.png", "resume.png", "stop_toolbar.png", "refresh.png",
           "ok.png", "yes.png", "no.png", "cancel.png", "stop.png", "close_dlg.png")


def check(folder):
    problems = []
    for name, (w, h, frames) in sorted(EXPECTED.items()):
        path = os.path.join(folder, name)
        if not os.path.isfile(path):
            problems.append("%s: missing" % name)
            continue
        with Image.open(path) as im:
            if im.size != (w, h):
                problems.append("%s: %dx%d, expected %dx%d" % (name, im.size[0], im.size[1], w, h))
            if name.endswith(".gif"):
                n = getattr(im, "n_frames", 1)
                delays = []
                for i in range(n):
                    im.seek(i)
                    delays.append(im.info.get("duration", 0) // 10)
                if n != frames:
                    problems.append("%s: %d frames, expected %d" % (name, n, frames))
                if delays != GIF_DELAYS_CS:
                    problems.append("%s: delays %s, expected %s" % (name, delays, GIF_DELAYS_CS))
                if len(set(delays)) < 2:
                    problems.append("%s: all frame delays are equal" % name)
                if im.info.get("loop") != 0:
                    problems.append("%s: does not loop forever" % name)
                if os.path.getsize(path) > 400 * 1024:
                    problems.append("%s: %d bytes" % (name, os.path.getsize(path)))
            elif w % frames != 0:
                problems.append("%s: width %d not divisible by %d frames" % (name, w, frames))
            if name.endswith(".bmp") and (im.format != "BMP" or im.mode != "RGB"):
                problems.append("%s: not a 24-bit BMP (%s %s)" % (name, im.format, im.mode))
            if name.endswith(".png") and im.format != "PNG":
                problems.append("%s: not a PNG" % name)
            if name in TRANSPARENT:
                if im.mode != "RGBA":
                    problems.append("%s: mode %s, expected RGBA" % (name, im.mode))
                elif im.getchannel("A").getextrema()[0] != 0:
                    problems.append("%s: has no transparent pixel" % name)
                elif name in BUTTONS and im.size == (w, h):
                    fw = w // frames
                    for k in range(frames):
                        for cx, cy in ((0, 0), (fw - 1, 0), (0, h - 1), (fw - 1, h - 1)):
                            if im.getpixel((k * fw + cx, cy))[3] == 255:
                                problems.append("%s: frame %d has an opaque corner" % (name, k))
    # Bubble pieces: every edge that touches the inner rectangle carries the
    # exact fill the painter uses for it, so corners, lines and fill join.
    for prefix, fill in (("in", BUBBLE_IN), ("out", BUBBLE_OUT)):
        def px(n, x, y):
            with Image.open(os.path.join(folder, "%s_%s.bmp" % (prefix, n))) as im:
                return im.convert("RGB").getpixel((x if x >= 0 else im.size[0] + x,
                                                   y if y >= 0 else im.size[1] + y))
        edges = [("topline", 0, -1), ("bottomline", 0, 0), ("leftline", -1, 0), ("rightline", 0, 0),
                 ("lefttop", -1, -1), ("righttop", 0, -1), ("leftbottom", -1, 0), ("rightbottom", 0, 0)]
        for n, x, y in edges:
            if px(n, x, y) != fill:
                problems.append("%s_%s.bmp: pixel (%d,%d) is %s, expected %s"
                                % (prefix, n, x, y, px(n, x, y), fill))
    extra = sorted(f for f in os.listdir(folder)
                   if f.endswith((".png", ".gif", ".bmp")) and f not in EXPECTED)
    if extra:
        problems.append("unexpected pictures: %s" % ", ".join(extra))
    return problems


def main():
    pictures = build()
    assert sorted(pictures) == sorted(EXPECTED), sorted(set(pictures) ^ set(EXPECTED))
    for name in sorted(pictures):
        save(name, pictures[name], HERE)
    for name in sorted(EXPECTED):
        w, h, frames = EXPECTED[name]
        size = os.path.getsize(os.path.join(HERE, name))
        extra = ""
        if name.endswith(".gif"):
            extra = ", delays (cs) %s" % GIF_DELAYS_CS
        elif frames > 1:
            extra = ", %d frames of %dx%d" % (frames, w // frames, h)
        print("%-22s %4dx%-4d %7d bytes%s" % (name, w, h, size, extra))
    problems = check(HERE)
    for p in problems:
        print("CHECK FAILED: " + p, file=sys.stderr)
    if problems:
        return 1
    with Image.open(os.path.join(HERE, "loaddata.gif")) as im:
        read_back = []
        for i in range(im.n_frames):
            im.seek(i)
            read_back.append(im.info["duration"] // 10)
    print("loaddata.gif frame delays read back (cs): %s" % read_back)
    print("%d pictures written and checked" % len(EXPECTED))
    return 0


if __name__ == "__main__":
    sys.exit(main())
