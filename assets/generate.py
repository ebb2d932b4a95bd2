#!/usr/bin/env python3
"""Draw Pelmora's images and synthesise its alert sound.

Everything here is made from code: the dog, the lamps, the strip and the icon are
pixel art drawn with Pillow, the bark is synthesised sample by sample.  The script
is deterministic, so running it again gives byte-identical files.

Run from anywhere:  python3 assets/generate.py
Needs: python3-pil, python3-numpy (see assets/README.md).
"""

import math
import os
import wave

import numpy as np
from PIL import Image, ImageDraw

HERE = os.path.dirname(os.path.abspath(__file__))
DIST = os.path.join(HERE, "dist")
RES = os.path.join(HERE, "resources")

# ---------------------------------------------------------------------------
# Palette shared by every picture of the dog (a little shiba).
# ---------------------------------------------------------------------------
OUT = (78, 44, 30)          # outline, dark brown
FUR = (232, 146, 64)        # orange coat
FUR_SH = (200, 112, 44)     # coat in shadow
FUR_HI = (246, 178, 104)    # coat in light
CREAM = (255, 246, 228)     # cheeks, chest, paws
CREAM_SH = (236, 214, 188)
EAR_IN = (246, 170, 150)    # inside of the ears
INK = (44, 28, 24)          # eyes, nose
EYE_HI = (255, 255, 255)
BLUSH = (250, 148, 146)
MOUTH = (132, 44, 48)
TONGUE = (244, 112, 124)

ENV = (255, 252, 244)       # envelope paper
ENV_SH = (222, 214, 200)
ENV_LINE = (120, 96, 84)
SEAL = (228, 64, 72)

BARK = (236, 64, 56)        # the red of the bark mark
BARK_OUT = (255, 255, 255)


def rgba(c, a=255):
    return (c[0], c[1], c[2], a)


# ---------------------------------------------------------------------------
# Small sprite toolkit: parts are drawn on their own transparent layer, get a
# one-pixel outline and simple shading, then are stacked.
# ---------------------------------------------------------------------------
def new_layer(w, h):
    return Image.new("RGBA", (w, h), (0, 0, 0, 0))


def alpha_mask(img):
    return np.array(img)[:, :, 3] > 0


def outline(img, colour=OUT):
    """Add a 1 px outline (4-neighbourhood) around everything opaque on img."""
    a = np.array(img)
    m = a[:, :, 3] > 0
    grown = m.copy()
    grown[1:, :] |= m[:-1, :]
    grown[:-1, :] |= m[1:, :]
    grown[:, 1:] |= m[:, :-1]
    grown[:, :-1] |= m[:, 1:]
    ring = grown & ~m
    a[ring] = rgba(colour)
    return Image.fromarray(a, "RGBA").copy()


def shade(img, base, dark, light=None, clip=None):
    """Shade the pixels of colour `base`: a dark rim at the bottom/right of the
    shape, a light rim at its top/left.  `clip` (mask) limits the shape used to
    find the rims; by default every opaque pixel of img."""
    a = np.array(img)
    opaque = a[:, :, 3] > 0 if clip is None else clip
    is_base = np.all(a[:, :, :3] == base, axis=2) & (a[:, :, 3] > 0)
    below = np.zeros_like(opaque)
    below[:-1, :] = opaque[1:, :]
    right = np.zeros_like(opaque)
    right[:, :-1] = opaque[:, 1:]
    a[is_base & (~below | ~right)] = rgba(dark)
    if light is not None:
        above = np.zeros_like(opaque)
        above[1:, :] = opaque[:-1, :]
        left = np.zeros_like(opaque)
        left[:, 1:] = opaque[:, :-1]
        a[is_base & (~above) & below] = rgba(light)
    return Image.fromarray(a, "RGBA").copy()


def stack(base, *layers):
    out = base.copy()
    for layer in layers:
        out.alpha_composite(layer)
    return out


def put(img, pts, colour):
    px = img.load()
    w, h = img.size
    for x, y in pts:
        if 0 <= x < w and 0 <= y < h:
            px[x, y] = rgba(colour) if len(colour) == 3 else colour


def bitmap(img, x0, y0, rows, colours):
    """Paint a character grid; each character maps to a colour (None/'.' = skip)."""
    px = img.load()
    w, h = img.size
    for j, row in enumerate(rows):
        for i, ch in enumerate(row):
            c = colours.get(ch)
            if c is None:
                continue
            x, y = x0 + i, y0 + j
            if 0 <= x < w and 0 <= y < h:
                px[x, y] = rgba(c) if len(c) == 3 else c


# ---------------------------------------------------------------------------
# The dog.
# ---------------------------------------------------------------------------
def head_layer(w, h, cx, cy, face="open"):
    """Front-facing head centred on (cx, cy); face is open/blink/sleep/bark."""
    lay = new_layer(w, h)
    d = ImageDraw.Draw(lay)
    # ears
    d.polygon([(cx - 14, cy - 3), (cx - 12, cy - 13), (cx - 10, cy - 14),
               (cx - 3, cy - 8)], fill=FUR)
    d.polygon([(cx + 13, cy - 3), (cx + 11, cy - 13), (cx + 9, cy - 14),
               (cx + 2, cy - 8)], fill=FUR)
    # skull
    d.ellipse((cx - 14, cy - 10, cx + 13, cy + 10), fill=FUR)
    lay = outline(lay)
    lay = shade(lay, FUR, FUR_SH)
    d = ImageDraw.Draw(lay)
    # inside of the ears
    d.polygon([(cx - 11, cy - 6), (cx - 10, cy - 11), (cx - 6, cy - 8)], fill=EAR_IN)
    d.polygon([(cx + 10, cy - 6), (cx + 9, cy - 11), (cx + 5, cy - 8)], fill=EAR_IN)
    # forehead light
    d.line((cx - 6, cy - 9, cx + 5, cy - 9), fill=FUR_HI)
    d.line((cx - 9, cy - 8, cx - 7, cy - 8), fill=FUR_HI)
    # white cheeks and muzzle
    cheeks = new_layer(w, h)
    dc = ImageDraw.Draw(cheeks)
    dc.ellipse((cx - 13, cy + 0, cx - 1, cy + 10), fill=CREAM)
    dc.ellipse((cx, cy + 0, cx + 12, cy + 10), fill=CREAM)
    dc.ellipse((cx - 6, cy - 1, cx + 5, cy + 10), fill=CREAM)
    # keep the cheeks inside the head
    hm = alpha_mask(lay)
    inner = hm.copy()
    inner[1:, :] &= hm[:-1, :]
    inner[:-1, :] &= hm[1:, :]
    inner[:, 1:] &= hm[:, :-1]
    inner[:, :-1] &= hm[:, 1:]
    ca = np.array(cheeks)
    la = np.array(lay)
    outl = np.all(la[:, :, :3] == OUT, axis=2)
    sel = (ca[:, :, 3] > 0) & inner & ~outl
    la[sel] = ca[sel]
    lay = Image.fromarray(la, "RGBA").copy()
    # eyebrow dots (the shiba "maro")
    put(lay, [(cx - 7, cy - 6), (cx - 6, cy - 6), (cx + 5, cy - 6), (cx + 6, cy - 6)], CREAM)
    # eyes
    if face in ("open", "bark"):
        for ex in (cx - 7, cx + 5):
            bitmap(lay, ex, cy - 3, ["hk", "kk", "kk"], {"k": INK, "h": EYE_HI})
    elif face == "blink":
        for ex in (cx - 8, cx + 5):
            put(lay, [(ex, cy - 1), (ex + 1, cy - 1), (ex + 2, cy - 1)], INK)
    elif face == "sleep":
        for ex in (cx - 8, cx + 4):
            bitmap(lay, ex, cy - 2, ["k..k", ".kk."], {"k": INK})
    elif face == "happy":
        for ex in (cx - 8, cx + 4):
            bitmap(lay, ex, cy - 3, [".kk.", "k..k"], {"k": INK})
    # blush
    put(lay, [(cx - 11, cy + 2), (cx - 10, cy + 2), (cx + 9, cy + 2), (cx + 10, cy + 2)], BLUSH)
    # nose
    bitmap(lay, cx - 2, cy + 1, ["hkk", "kkk", ".k."], {"k": INK, "h": (110, 96, 96)})
    # mouth
    if face == "bark":
        bitmap(lay, cx - 3, cy + 4, [
            "ommmo",
            "ommmo",
            "otttoo",
            ".ooo.",
        ], {"o": OUT, "m": MOUTH, "t": TONGUE})
    else:
        bitmap(lay, cx - 3, cy + 4, [
            "o.o.o",
            ".o.o.",
        ], {"o": OUT})
    return lay


def tail_layer(w, h, x, y, phase):
    """Curled shiba tail; (x, y) is where it leaves the back, phase -1..1 wags it."""
    lay = new_layer(w, h)
    d = ImageDraw.Draw(lay)
    dx = round(phase * 3)
    r = 6
    ccx, ccy = x + 2 + dx, y - 7
    d.ellipse((ccx - r, ccy - r, ccx + r, ccy + r), fill=FUR)
    d.polygon([(x - 3, y + 1), (x + 3, y + 1), (ccx + 3, ccy), (ccx - 3, ccy)], fill=FUR)
    lay = outline(lay)
    lay = shade(lay, FUR, FUR_SH, FUR_HI)
    d = ImageDraw.Draw(lay)
    # the curl: a cream underside and a dark spiral line
    d.arc((ccx - 3, ccy - 3, ccx + 3, ccy + 3), 150, 390, fill=FUR_SH)
    d.arc((ccx - 3, ccy - 2, ccx + 3, ccy + 4), 60, 150, fill=CREAM)
    return lay


def lying_body_layer(w, h, x, y, breathe):
    """Body lying down, head end at the left; (x, y) = bottom-left of the body."""
    lay = new_layer(w, h)
    d = ImageDraw.Draw(lay)
    top = y - 16 - breathe
    d.ellipse((x, top, x + 40, y), fill=FUR)
    # back leg haunch
    d.ellipse((x + 24, y - 12 - breathe, x + 40, y + 1), fill=FUR)
    lay = outline(lay)
    lay = shade(lay, FUR, FUR_SH, FUR_HI)
    d = ImageDraw.Draw(lay)
    # haunch line and cream belly
    d.arc((x + 23, y - 12 - breathe, x + 39, y + 1), 180, 250, fill=FUR_SH)
    d.line((x + 6, y - 1, x + 22, y - 1), fill=CREAM)
    # back paw
    bitmap(lay, x + 31, y - 3, [
        ".oooooo.",
        "occccccco",
        ".ooooooo",
    ], {"o": OUT, "c": CREAM})
    return lay


def front_paws_layer(w, h, x, y):
    lay = new_layer(w, h)
    bitmap(lay, x, y, [
        ".oooooo...oooooo.",
        "occccccoooccccccco",
        "occccccco.occcccco",
        ".ooooooo..oooooooo",
    ], {"o": OUT, "c": CREAM})
    put(lay, [(x + 2, y + 2), (x + 4, y + 2), (x + 12, y + 2), (x + 14, y + 2)], CREAM_SH)
    return lay


def standing_dog(w, h, x, y, face, tail, legs):
    """Standing dog, head end at the left. (x, y) = ground point under the chest.
    legs: 'stand', 'crouch', 'air' or 'land'."""
    body = new_layer(w, h)
    d = ImageDraw.Draw(body)
    squash = 1 if legs in ("crouch", "land") else 0
    leg_len = {"stand": 7, "crouch": 5, "air": 6, "land": 6}[legs]
    by = y - leg_len  # bottom of the body
    # legs: front pair under the chest, back pair under the rump
    if legs == "air":
        front = [(x - 1, 3), (x + 4, 1)]
        back = [(x + 19, -1), (x + 24, 1)]
    else:
        front = [(x, 0), (x + 5, 0)]
        back = [(x + 20, 0), (x + 25, 0)]
    for lx, lift in front + back:
        d.rectangle((lx, by - 3, lx + 4, by + leg_len - 1 - lift), fill=FUR)
    d.ellipse((x - 4, by - 14 + squash, x + 31, by + 1), fill=FUR)
    body = outline(body)
    body = shade(body, FUR, FUR_SH, FUR_HI)
    d = ImageDraw.Draw(body)
    # white socks, belly and chest
    for lx, lift in front + back:
        fy = by + leg_len - 1 - lift
        d.rectangle((lx, fy - 1, lx + 4, fy), fill=CREAM)
    d.line((x + 4, by, x + 17, by), fill=CREAM)
    d.ellipse((x - 3, by - 9, x + 5, by), fill=CREAM)
    tl = tail_layer(w, h, x + 29, by - 10 + squash, tail)
    return stack(tl, body)


# ---------------------------------------------------------------------------
# Little props: envelope, bark mark, z, sparkles.
# ---------------------------------------------------------------------------
def envelope(img, x, y):
    bitmap(img, x, y, [
        "ooooooooooooooo",
        "owwwwwwwwwwwwwo",
        "olwwwwwwwwwwwlo",
        "owlwwwwwwwwwlwo",
        "owwlwwwwwwwlwwo",
        "owwwllwrwllwwwo",
        "owwwwwlrrlwwwwo",
        "owwwwwwrwwwwwwo",
        "osssssssssssssO",
        "ooooooooooooooo",
    ], {"o": OUT, "O": OUT, "w": ENV, "l": ENV_LINE, "r": SEAL, "s": ENV_SH})


# pixel glyphs for the bark mark, drawn bold (2 px strokes)
GLYPH_WA = [
    "#######",
    "#######",
    "##...##",
    "##...##",
    ".....##",
    "....##.",
    "...###.",
    ".###...",
    "##.....",
]
GLYPH_N = [
    ".......",
    "###....",
    ".####..",
    "......#",
    ".....##",
    "....##.",
    "...##..",
    ".###...",
    "##.....",
]
GLYPH_BANG = [
    "##",
    "##",
    "##",
    "##",
    "##",
    "..",
    "..",
    "##",
    "##",
]


def bark_mark(img, x, y):
    """"ワン!" in red with a white then dark border, top-left at (x, y)."""
    w, h = img.size
    lay = new_layer(w, h)
    gx = x
    for g in (GLYPH_WA, GLYPH_N, GLYPH_BANG):
        bitmap(lay, gx, y, g, {"#": BARK})
        gx += len(g[0]) + 2
    lay = outline(lay, BARK_OUT)
    lay = outline(lay, OUT)
    img.alpha_composite(lay)


def z_glyph(img, x, y, big):
    rows = ["kkkkk", "...k.", "..k..", ".k...", "kkkkk"] if big else \
        ["kkkk", "..k.", ".k..", "kkkk"]
    bitmap(img, x, y, rows, {"k": (104, 120, 184)})


def sparkle(img, x, y, colour, size=1):
    pts = [(x, y)]
    for i in range(1, size + 1):
        pts += [(x - i, y), (x + i, y), (x, y - i), (x, y + i)]
    put(img, pts, colour)


# ---------------------------------------------------------------------------
# Scenes (89 x 81): a warm little room.
# ---------------------------------------------------------------------------
AW, AH = 89, 81
FLOOR_Y = 62


def room():
    img = Image.new("RGBA", (AW, AH))
    px = img.load()
    top = np.array((252, 240, 214))
    bot = np.array((244, 220, 182))
    for y in range(FLOOR_Y):
        t = y / (FLOOR_Y - 1)
        c = top + (bot - top) * t
        for x in range(AW):
            # 2x2 ordered dither between two steps of the gradient
            bayer = ((x & 1) * 2 + (y & 1) * 3) % 4 / 4.0
            q = np.floor(c / 4 + bayer * 0.5) * 4
            px[x, y] = (int(q[0]), int(q[1]), int(q[2]), 255)
    # little wallpaper dots
    for y in range(5, FLOOR_Y - 8, 8):
        for x in range(4 + (y // 8 % 2) * 4, AW, 8):
            px[x, y] = (238, 214, 176, 255)
    d = ImageDraw.Draw(img)
    # skirting board
    d.rectangle((0, FLOOR_Y - 3, AW, FLOOR_Y - 1), fill=(250, 246, 236))
    d.line((0, FLOOR_Y - 4, AW, FLOOR_Y - 4), fill=(214, 186, 150))
    d.line((0, FLOOR_Y, AW, FLOOR_Y), fill=(150, 100, 62))
    # wooden floor
    for y in range(FLOOR_Y + 1, AH):
        for x in range(AW):
            px[x, y] = (214, 160, 104, 255) if (y - FLOOR_Y) < 9 else (206, 152, 98, 255)
    for y in (FLOOR_Y + 6, FLOOR_Y + 13):
        d.line((0, y, AW, y), fill=(186, 132, 82))
    for y0, y1, off in ((FLOOR_Y + 1, FLOOR_Y + 5, 7), (FLOOR_Y + 7, FLOOR_Y + 12, 27),
                        (FLOOR_Y + 14, AH - 1, 15)):
        for x in range(off, AW, 40):
            d.line((x, y0, x, y1), fill=(186, 132, 82))
    return img


def shadow(img, cx, y, rw):
    d = ImageDraw.Draw(img)
    d.ellipse((cx - rw, y - 2, cx + rw, y + 2), fill=(180, 126, 80, 255))


def cushion(img, cx, y):
    d = ImageDraw.Draw(img)
    d.ellipse((cx - 36, y - 9, cx + 36, y + 7), fill=OUT)
    d.ellipse((cx - 35, y - 8, cx + 35, y + 6), fill=(92, 128, 196))
    d.ellipse((cx - 33, y - 8, cx + 33, y + 3), fill=(126, 162, 222))
    d.ellipse((cx - 28, y - 7, cx + 28, y + 0), fill=(150, 184, 236))


def resting_frames():
    frames = []
    # breathing, tail and the floating z over 6 frames
    breathe = [0, 0, 1, 1, 1, 0]
    tail = [0.0, 0.33, 0.67, 0.67, 0.33, 0.0]
    for i in range(6):
        img = room()
        cushion(img, 46, 66)
        w, h = img.size
        b = breathe[i]
        body = lying_body_layer(w, h, 30, 64, b)
        tl = tail_layer(w, h, 66, 52 - b, tail[i])
        head = head_layer(w, h, 29, 50 + b, "sleep")
        paws = front_paws_layer(w, h, 18, 60)
        img = stack(img, tl, body, head, paws)
        # z z z drifting up and to the right
        # two z's climbing in turn, each over the whole loop
        for k in range(2):
            t = ((i + 3 * k) % 6) / 6.0
            z_glyph(img, 44 + round(t * 8), 30 - round(t * 20), t >= 0.5)
        frames.append(img)
    return frames, [300] * 6


def newmail_frames():
    frames = []
    jump = [0, 2, 7, 10, 10, 7, 2, 0]
    legs = ["crouch", "air", "air", "air", "air", "air", "land", "stand"]
    face = ["open", "bark", "bark", "bark", "bark", "open", "open", "happy"]
    tail = [-1, 1, -1, 1, -1, 1, -1, 1]
    for i in range(8):
        img = room()
        w, h = img.size
        dy = jump[i]
        shadow(img, 36, FLOOR_Y + 9, 16 - dy // 2)
        gx, gy = 28, FLOOR_Y + 9 - dy
        dog = standing_dog(w, h, gx, gy, face[i], tail[i], legs[i])
        head = head_layer(w, h, gx - 2, gy - 24 + (1 if legs[i] in ("crouch", "land") else 0),
                          face[i])
        img = stack(img, dog, head)
        hy = gy - 24 + (1 if legs[i] in ("crouch", "land") else 0)
        # dust puffs when taking off and landing
        if legs[i] in ("crouch", "land"):
            for px_, py_ in ((gx - 6, gy - 1), (gx + 32, gy - 1)):
                bitmap(img, px_ - 1, py_ - 1, ["..d..", ".dwd.", "dwwwd"],
                       {"w": (255, 250, 240), "d": (236, 214, 186)})
        # bark mark pops out next to the head while barking, with shout lines
        if face[i] == "bark":
            bark_mark(img, 52 - (i % 2), 8 + (i % 2))
            d = ImageDraw.Draw(img)
            lx, ly = gx + 15, hy - 6
            d.line((lx, ly, lx + 3, ly - 2), fill=BARK)
            d.line((lx + 1, ly + 4, lx + 5, ly + 4), fill=BARK)
            d.line((lx - 1, ly - 4, lx + 1, ly - 7), fill=BARK)
        # the envelope bobs in the top-left corner, with speed lines and sparkles
        ey = 7 + (1 if i % 4 in (1, 2) else 0)
        ex = 9
        envelope(img, ex, ey)
        d = ImageDraw.Draw(img)
        for k, (yy, ln) in enumerate(((ey + 2, 4), (ey + 5, 5), (ey + 8, 3))):
            shift = (i + k) % 2
            d.line((ex - 2 - ln - shift, yy, ex - 3 - shift, yy), fill=(214, 170, 120))
        if i % 2 == 0:
            sparkle(img, ex + 17, ey - 1, (255, 178, 36), 1)
            put(img, [(ex + 16, ey + 11)], (255, 178, 36))
        else:
            sparkle(img, ex + 18, ey + 9, (255, 178, 36), 1)
            put(img, [(ex - 1, ey - 2)], (255, 178, 36))
        frames.append(img)
    return frames, [120] * 8


# ---------------------------------------------------------------------------
# Writing files
# ---------------------------------------------------------------------------
def save_gif(path, frames, durations):
    rgb = [f.convert("RGB") for f in frames]
    # one shared palette made of the colours actually used (all well under 256)
    colours = sorted({c for f in rgb for _, c in f.getcolors(1 << 16)})
    if len(colours) > 256:
        raise SystemExit("%s: %d colours" % (path, len(colours)))
    pal_img = Image.new("P", (1, 1))
    flat = [v for c in colours for v in c]
    flat += [0] * (768 - len(flat))
    pal_img.putpalette(flat)
    index = {c: i for i, c in enumerate(colours)}
    pframes = []
    for f in rgb:
        p = Image.new("P", f.size)
        p.putpalette(flat)
        p.putdata([index[c] for c in f.getdata()])
        pframes.append(p)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    if len(pframes) == 1:
        pframes[0].save(path, optimize=False)
        return
    pframes[0].save(path, save_all=True, append_images=pframes[1:], duration=durations,
                    loop=0, optimize=False, disposal=1)


# ---------------------------------------------------------------------------
# The bottom strip and its lamps.
# ---------------------------------------------------------------------------
STRIP_W, STRIP_H = 397, 65
BAND = 20  # the visible height of the strip


def strip_image():
    y = np.arange(STRIP_H, dtype=float)[:, None]
    x = np.arange(STRIP_W, dtype=float)[None, :]
    top = np.array((40, 60, 47), dtype=float)
    mid = np.array((19, 28, 23), dtype=float)
    deep = np.array((12, 17, 14), dtype=float)
    t = np.clip((y - 2) / (BAND - 3), 0, 1)[..., None]
    band = top + (mid - top) * (t ** 0.8)
    u = np.clip((y - BAND) / (STRIP_H - BAND), 0, 1)[..., None]
    below = mid + (deep - mid) * u
    col = np.where((y < BAND)[..., None], band, below)
    col = np.broadcast_to(col, (STRIP_H, STRIP_W, 3)).copy()
    # faint diagonal pinstripes over everything
    stripes = ((x + y) % 6 == 0)
    col[stripes] += 4
    # thin highlight line along the top edge, a softer one under it
    col[0, :] = (86, 124, 96)
    col[1, :] = (54, 78, 62)
    col = np.clip(np.round(col), 0, 255).astype(np.uint8)
    return Image.fromarray(col, "RGB")


LAMP_COLOURS = {
    "Green": ((196, 255, 170), (64, 206, 72), (10, 92, 28)),
    "Red": ((255, 196, 180), (232, 54, 48), (110, 12, 14)),
}


def lamp_image(name, strip):
    centre_c, mid_c, edge_c = (np.array(c, dtype=float) for c in LAMP_COLOURS[name])
    ss = 8
    n = 16 * ss
    yy, xx = np.mgrid[0:n, 0:n].astype(float)
    cx = cy = n / 2.0 - 0.5
    r = np.hypot(xx - cx, yy - cy) / ss  # in pixels
    out = np.zeros((n, n, 4))
    # bezel: a dark ring lit from the top
    bezel = r <= 7.4
    shade_v = (yy - cy) / (7.4 * ss)
    ring = np.clip(70 - shade_v * 40, 24, 110)
    out[bezel, :3] = ring[bezel, None]
    out[bezel, 3] = 255
    # the glass, lit from above-left
    glass = r <= 5.9
    rr = np.hypot(xx - (cx - 1.2 * ss), yy - (cy - 1.6 * ss)) / (7.2 * ss)
    rr = np.clip(rr, 0, 1)[..., None]
    g = np.where(rr < 0.45, centre_c + (mid_c - centre_c) * (rr / 0.45),
                 mid_c + (edge_c - mid_c) * ((rr - 0.45) / 0.55))
    out[glass, :3] = g[glass]
    # glossy highlight: a small soft ellipse at the top-left
    hx = (xx - (cx - 1.6 * ss)) / (2.4 * ss)
    hy = (yy - (cy - 2.6 * ss)) / (1.5 * ss)
    hd = hx * hx + hy * hy
    k = np.clip(1.0 - hd, 0, 1) * 0.85
    out[glass, :3] = out[glass, :3] * (1 - k[glass, None]) + 255 * k[glass, None]
    # down-sample and lay over the strip's own corner
    small = out.reshape(16, ss, 16, ss, 4).mean(axis=(1, 3))
    a = small[:, :, 3:4] / 255.0
    bg = np.array(strip.crop((0, 0, 16, 16)), dtype=float)
    # transparent sub-pixels are black, so the averaged colour is premultiplied
    rgb = small[:, :, :3] + bg * (1 - a)
    return Image.fromarray(np.clip(np.round(rgb), 0, 255).astype(np.uint8), "RGB")


# ---------------------------------------------------------------------------
# The alert sound: two friendly "woof"s.
# ---------------------------------------------------------------------------
RATE = 44100


def resonate(x, freqs, bw):
    """Two-pole resonator with a time-varying centre frequency."""
    y = np.zeros_like(x)
    y1 = y2 = 0.0
    r = math.exp(-math.pi * bw / RATE)
    for i in range(len(x)):
        a1 = -2.0 * r * math.cos(2.0 * math.pi * freqs[i] / RATE)
        v = (1.0 - r) * x[i] - a1 * y1 - r * r * y2
        y2, y1 = y1, v
        y[i] = v
    return y


def woof(rng, pitch):
    n = int(0.24 * RATE)
    t = np.arange(n) / RATE
    # pitch: a quick rise then a fall, as a dog's bark does, with a little jitter
    f0 = pitch * (0.85 + 0.2 * np.minimum(t / 0.02, 1.0)
                  - 0.4 * np.clip((t - 0.02) / 0.16, 0, 1))
    jitter = np.repeat(rng.normal(0.0, 0.025, n // 200 + 1), 200)[:n]
    f0 *= 1.0 + jitter
    phase = 2 * math.pi * np.cumsum(f0) / RATE
    src = np.zeros(n)
    for k in range(1, 16):
        ok = (k * f0) < 5500
        src += ok * np.sin(k * phase) / k ** 0.8
    # a touch of roughness (sub-harmonic wobble) makes it a bark, not a beep
    src *= 1.0 + 0.45 * np.sin(phase / 2.0)
    breath = rng.standard_normal(n)
    burst = np.exp(-t / 0.018)  # the breathy onset
    src = src + breath * (0.5 + 2.2 * burst)
    # formants glide like "wa-u"
    glide = np.clip(t / 0.05, 0, 1)
    fall = np.clip((t - 0.07) / 0.12, 0, 1)
    f1 = 450 + 450 * glide - 300 * fall
    f2 = 1000 + 500 * glide - 400 * fall
    f3 = np.full(n, 2400.0)
    voice = (resonate(src, f1, 200) * 1.0 + resonate(src, f2, 260) * 0.7
             + resonate(src, f3, 420) * 0.22)
    # a quick attack, a short body and a fast decay
    attack = np.clip(t / 0.01, 0, 1) ** 2
    decay = np.exp(-np.maximum(t - 0.045, 0) / 0.032)
    return voice * attack * decay


def bark_sound():
    rng = np.random.default_rng(20240611)
    total = int(1.2 * RATE)
    out = np.zeros(total)
    for start, pitch, gain in ((0.02, 520.0, 1.0), (0.24, 480.0, 0.85)):
        w = woof(rng, pitch) * gain
        i0 = int(start * RATE)
        out[i0:i0 + len(w)] += w
    # soften: a gentle one-pole low-pass
    y = np.zeros_like(out)
    acc = 0.0
    alpha = 1.0 - math.exp(-2 * math.pi * 4500 / RATE)
    for i in range(total):
        acc += alpha * (out[i] - acc)
        y[i] = acc
    y -= y.mean()
    y *= 10 ** (-3 / 20) / np.max(np.abs(y))
    fade = int(0.01 * RATE)
    ramp = np.linspace(0.0, 1.0, fade)
    y[:fade] *= ramp
    y[-fade:] *= ramp[::-1]
    return np.round(y * 32767).astype("<i2")


def save_wav(path, samples):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(samples.tobytes())


# ---------------------------------------------------------------------------
# The icon: the dog's face with a small envelope.
# ---------------------------------------------------------------------------
ICON_16 = [
    "..o........o....",
    ".ofo......ofo...",
    ".opfo....ofpo...",
    "opffoooooofpfo..",
    "offhhhhhhhhffo..",
    "ofcffffffffcfo..",
    "offkffffffkffo..",
    "ofckffffffkcfo..",
    "ocpccckkcccpco..",
    "occcccokcccco...",
    ".occccccoooooooo",
    "..ooccccowwwwwwo",
    "....ooooolwwwwlo",
    "........owlrrlwo",
    "........owwwwwwo",
    "........oooooooo",
]
ICON_PAL = {"o": OUT, "f": FUR, "h": FUR_HI, "s": FUR_SH, "c": CREAM, "k": INK,
            "p": EAR_IN, "b": BLUSH, "w": ENV, "l": ENV_LINE, "r": SEAL}


def icon_16():
    img = new_layer(16, 16)
    bitmap(img, 0, 0, ICON_16, ICON_PAL)
    return img


def icon_32():
    """The animation's own head sprite, with the envelope tucked at its side."""
    img = head_layer(32, 32, 15, 16, "open")
    env = new_layer(32, 32)
    envelope(env, 17, 22)
    img.alpha_composite(env)
    return img


def icon_vector(size):
    """Smooth drawing of the same face for the larger icons (256-unit design)."""
    ss = 4
    n = 256 * ss
    img = Image.new("RGBA", (n, n), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    W = 9 * ss  # outline width

    def S(*v):
        return [round(c * ss) for c in v]

    def P(pts):
        return [(round(x * ss), round(y * ss)) for x, y in pts]

    def stroked_polygon(pts, fill):
        pp = P(pts)
        d.line(pp + pp[:2], fill=OUT, width=W * 2, joint="curve")
        for x, y in pp:
            d.ellipse((x - W, y - W, x + W, y + W), fill=OUT)
        d.polygon(pp, fill=fill)

    def stroked_ellipse(box, fill):
        x0, y0, x1, y1 = S(*box)
        d.ellipse((x0 - W, y0 - W, x1 + W, y1 + W), fill=OUT)
        d.ellipse((x0, y0, x1, y1), fill=fill)

    # ears (outline first so the head covers their base)
    left_ear = [(30, 118), (50, 26), (66, 22), (114, 70)]
    right_ear = [(256 - 30 - 20, 118), (256 - 50 - 20, 26), (256 - 66 - 20, 22), (256 - 114 - 20, 70)]
    stroked_polygon(left_ear, FUR)
    stroked_polygon(right_ear, FUR)
    # head
    stroked_ellipse((16, 52, 220, 214), FUR)
    # re-fill the ears' base over the head outline
    d.polygon(P([(40, 110), (56, 40), (64, 38), (104, 76)]), fill=FUR)
    d.polygon(P([(176, 110), (160, 40), (152, 38), (112, 76)]), fill=FUR)
    d.polygon(P([(48, 100), (60, 46), (94, 78)]), fill=EAR_IN)
    d.polygon(P([(168, 100), (156, 46), (122, 78)]), fill=EAR_IN)
    # shading along the lower rim and a light forehead
    hl = Image.new("L", (n, n), 0)
    ImageDraw.Draw(hl).ellipse(S(16, 52, 220, 214), fill=255)
    inner = Image.new("L", (n, n), 0)
    ImageDraw.Draw(inner).ellipse(S(16, 44, 214, 204), fill=255)
    rim = Image.fromarray((np.array(hl) > 0) & ~(np.array(inner) > 0))
    img.paste(Image.new("RGBA", (n, n), rgba(FUR_SH)), (0, 0), rim.convert("L"))
    d.ellipse(S(64, 60, 172, 84), fill=FUR_HI)
    # white cheeks and muzzle
    d.ellipse(S(24, 122, 118, 208), fill=CREAM)
    d.ellipse(S(118, 122, 212, 208), fill=CREAM)
    d.ellipse(S(70, 112, 166, 212), fill=CREAM)
    # eyebrow dots
    d.ellipse(S(66, 92, 84, 102), fill=CREAM)
    d.ellipse(S(152, 92, 170, 102), fill=CREAM)
    # eyes
    for ex in (74, 162):
        d.ellipse(S(ex - 11, 106, ex + 11, 134), fill=INK)
        d.ellipse(S(ex - 7, 110, ex + 1, 119), fill=EYE_HI)
    # blush
    d.ellipse(S(32, 140, 58, 152), fill=BLUSH)
    d.ellipse(S(178, 140, 204, 152), fill=BLUSH)
    # nose and mouth
    d.rounded_rectangle(S(104, 136, 132, 154), radius=8 * ss, fill=INK)
    d.polygon(P([(106, 148), (130, 148), (118, 160)]), fill=INK)
    d.ellipse(S(109, 139, 117, 144), fill=(110, 96, 96))
    d.line(P([(118, 158), (118, 168)]), fill=OUT, width=4 * ss)
    d.arc(S(100, 156, 118, 176), 20, 160, fill=OUT, width=4 * ss)
    d.arc(S(118, 156, 136, 176), 20, 160, fill=OUT, width=4 * ss)
    # the envelope, bottom right
    ex0, ey0, ex1, ey1 = 144, 160, 250, 236
    x0, y0, x1, y1 = S(ex0, ey0, ex1, ey1)
    d.rounded_rectangle((x0 - W, y0 - W, x1 + W, y1 + W), radius=10 * ss, fill=OUT)
    d.rounded_rectangle((x0, y0, x1, y1), radius=4 * ss, fill=ENV)
    d.rectangle(S(ex0, ey1 - 12, ex1, ey1), fill=ENV_SH)
    d.rounded_rectangle((x0, y0, x1, y1), radius=4 * ss, outline=OUT, width=2 * ss)
    mx = (ex0 + ex1) / 2
    d.line(P([(ex0 + 4, ey0 + 4), (mx, ey0 + 44), (ex1 - 4, ey0 + 4)]), fill=ENV_LINE,
           width=5 * ss, joint="curve")
    # a red heart seal on the flap
    hx, hy = mx, ey0 + 44
    d.ellipse(S(hx - 15, hy - 14, hx + 1, hy + 2), fill=SEAL)
    d.ellipse(S(hx - 1, hy - 14, hx + 15, hy + 2), fill=SEAL)
    d.polygon(P([(hx - 14, hy - 3), (hx + 14, hy - 3), (hx, hy + 14)]), fill=SEAL)
    return img.resize((size, size), Image.LANCZOS)


def main():
    rest, rest_d = resting_frames()
    save_gif(os.path.join(DIST, "画像データ", "MoveDog.gif"), rest, rest_d)
    new, new_d = newmail_frames()
    save_gif(os.path.join(DIST, "画像データ", "ShintyakuMove.gif"), new, new_d)
    strip = strip_image()
    os.makedirs(RES, exist_ok=True)
    strip.save(os.path.join(RES, "strip.png"), optimize=True)
    for name in ("Green", "Red"):
        save_gif(os.path.join(DIST, "画像データ", name + ".gif"), [lamp_image(name, strip)], None)
    save_wav(os.path.join(DIST, "Sound", "Kouka.wav"), bark_sound())
    icons = {16: icon_16(), 32: icon_32()}
    for size in (48, 64, 128, 256):
        icons[size] = icon_vector(size)
    for size, img in icons.items():
        img.save(os.path.join(RES, "pelmora-%d.png" % size), optimize=True)
    icons[256].save(os.path.join(RES, "pelmora.png"), optimize=True)


if __name__ == "__main__":
    main()
