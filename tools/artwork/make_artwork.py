#!/usr/bin/env python3
"""Draws the generated artwork of Tendwick and Dormantis (bitmaps, icons, progress clip).

Rerun from anywhere (Python 3, standard library only; output is byte-identical on rerun):
    python3 tools/artwork/make_artwork.py            # rewrite every file below
    python3 tools/artwork/make_artwork.py --check    # parse them back; non-zero exit on a fault
    --root DIR writes or checks a copy below DIR instead of the work tree.

Tendwick (Software/Tendwick/Base/ui/res/): soft-key faces 84x44 and 91x53 (released and
pressed, 24-bit), the progress clip Progress.avi (140x70, 44 frames, RLE8) and Tendwick.ico.
Dormantis (Utilities/FerroxShellExecutable/res/): UnitDisabled.bmp and Blank.bmp (320x234,
4 bits per pixel, standard 16-colour palette) and Dormantis.ico.
"""

import argparse
import math
import os
import struct
import sys

TENDWICK_RES = "Software/Tendwick/Base/ui/res"
DORMANTIS_RES = "Utilities/FerroxShellExecutable/res"

KEY_SIZES = ((84, 44), (91, 53))
CLIP_W, CLIP_H, CLIP_FRAMES = 140, 70, 44
CLIP_USEC_PER_FRAME = 33367          # 29.97 frames per second
CLIP_RATE, CLIP_SCALE = 2997, 100
SHELL_W, SHELL_H = 320, 234
YELLOW_INDEX = 11

# The standard 16-colour palette; the disabled-unit pictures use its indices directly.
VGA16 = ((0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
         (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
         (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255))


# ----------------------------------------------------------------------------- drawing

def clamp8(v):
    return 0 if v < 0 else 255 if v > 255 else int(v + 0.5)


def lerp(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(len(a)))


def sd_round_rect(px, py, box, r):
    """Signed distance to a rounded rectangle (negative inside); box in pixel-edge units."""
    x0, y0, x1, y1 = box
    qx = abs(px - (x0 + x1) / 2) - ((x1 - x0) / 2 - r)
    qy = abs(py - (y0 + y1) / 2) - ((y1 - y0) / 2 - r)
    return math.hypot(max(qx, 0.0), max(qy, 0.0)) + min(max(qx, qy), 0.0) - r


def round_rect_normal(px, py, box, r):
    """Outward unit normal of the nearest edge of a rounded rectangle."""
    x0, y0, x1, y1 = box
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    qx = abs(px - cx) - ((x1 - x0) / 2 - r)
    qy = abs(py - cy) - ((y1 - y0) / 2 - r)
    sx = 1.0 if px >= cx else -1.0
    sy = 1.0 if py >= cy else -1.0
    if qx > 0 and qy > 0:
        n = math.hypot(qx, qy)
        return sx * qx / n, sy * qy / n
    return (sx, 0.0) if qx > qy else (0.0, sy)


def sd_segment(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)
    t = 0.0 if t < 0 else 1.0 if t > 1 else t
    return math.hypot(px - ax - t * dx, py - ay - t * dy)


def sd_polyline(px, py, pts, half_width):
    return min(sd_segment(px, py, *pts[i], *pts[i + 1]) for i in range(len(pts) - 1)) - half_width


class Canvas:
    """RGB picture, top row first, that shapes are painted onto with coverage blending."""

    def __init__(self, w, h, fill=(0, 0, 0)):
        self.w, self.h = w, h
        self.px = [[fill] * w for _ in range(h)]

    def copy(self):
        c = Canvas(self.w, self.h)
        c.px = [row[:] for row in self.px]
        return c

    def paint(self, sdf, colour, bounds=None, ss=4, levels=None):
        """Blend colour(x, y) over the shape sdf(x, y) <= 0, antialiased by ss x ss samples.

        levels quantises the coverage, which keeps the clip's colour count palette-sized."""
        x0, y0, x1, y1 = bounds if bounds else (0, 0, self.w, self.h)
        x0, y0 = max(0, int(math.floor(x0))), max(0, int(math.floor(y0)))
        x1, y1 = min(self.w, int(math.ceil(x1))), min(self.h, int(math.ceil(y1)))
        n = ss * ss
        for py in range(y0, y1):
            row = self.px[py]
            for px in range(x0, x1):
                hits = 0
                for sy in range(ss):
                    y = py + (sy + 0.5) / ss
                    for sx in range(ss):
                        if sdf(px + (sx + 0.5) / ss, y) <= 0:
                            hits += 1
                if not hits:
                    continue
                a = hits / n
                if levels:
                    a = round(a * levels) / levels
                    if a == 0:
                        continue
                c = colour(px + 0.5, py + 0.5)
                b = row[px]
                row[px] = tuple(clamp8(b[i] + (c[i] - b[i]) * a) for i in range(3))


# ----------------------------------------------------------------------------- file writers

def bmp_file(info_header, palette, pixel_bytes):
    offset = 14 + len(info_header) + len(palette)
    return (b"BM" + struct.pack("<IHHI", offset + len(pixel_bytes), 0, 0, offset)
            + info_header + palette + pixel_bytes)


def bmp24(canvas):
    stride = (canvas.w * 3 + 3) & ~3
    data = bytearray()
    for row in reversed(canvas.px):                      # bottom-up
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        data += line + bytes(stride - len(line))
    info = struct.pack("<IiiHHIIiiII", 40, canvas.w, canvas.h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return bmp_file(info, b"", bytes(data))


def bmp4(indices, w, h):
    """4-bit uncompressed picture with the standard palette; indices is a list of rows, top first."""
    stride = ((w * 4 + 31) // 32) * 4
    data = bytearray()
    for row in reversed(indices):
        line = bytearray((w + 1) // 2)
        for x, v in enumerate(row):
            line[x // 2] |= v << 4 if x % 2 == 0 else v
        data += line + bytes(stride - len(line))
    palette = b"".join(bytes((b, g, r, 0)) for r, g, b in VGA16)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 4, 0, len(data), 2835, 2835, 16, 16)
    return bmp_file(info, palette, bytes(data))


def ico_file(images):
    """Icon file of 32-bit images; images are (size, rows of (r, g, b, a)), top row first."""
    head = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries, blobs = b"", b""
    for size, rows in images:
        xor = bytearray()
        for row in reversed(rows):
            for r, g, b, a in row:
                xor += bytes((b, g, r, a))
        mask_stride = ((size + 31) // 32) * 4
        mask = bytearray()
        for row in reversed(rows):                        # AND mask: 1 = see-through
            line = bytearray(mask_stride)
            for x, p in enumerate(row):
                if p[3] < 128:
                    line[x // 8] |= 0x80 >> (x % 8)
            mask += line
        info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
        blob = info + bytes(xor) + bytes(mask)
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(blob), offset)
        blobs += blob
        offset += len(blob)
    return head + entries + blobs


def rle8_row(row):
    """Encodes one row: runs of 3 or more as encoded runs, mixed stretches of 3 or more in
    absolute mode (padded to a word), shorter leftovers as encoded runs of 1 or 2."""
    out = bytearray()
    n, i = len(row), 0

    def run_at(j):
        r = 1
        while j + r < n and r < 255 and row[j + r] == row[j]:
            r += 1
        return r

    while i < n:
        r = run_at(i)
        if r >= 3:
            out += bytes((r, row[i]))
            i += r
            continue
        j = i                                              # literal stretch up to the next long run
        while j < n and j - i < 255 and run_at(j) < 3:
            j += run_at(j) if j - i + run_at(j) <= 255 else 1
        lit = row[i:j]
        if len(lit) >= 3:
            out += bytes((0, len(lit))) + bytes(lit) + (b"\0" if len(lit) % 2 else b"")
        else:
            k = 0
            while k < len(lit):
                r2 = 2 if k + 1 < len(lit) and lit[k + 1] == lit[k] else 1
                out += bytes((r2, lit[k]))
                k += r2
        i = j
    return out


def rle8_frame(indices):
    """Bottom-up RLE8 of a whole picture: every pixel encoded (no deltas), end-of-line after
    each row but the last, end-of-bitmap after the last."""
    out = bytearray()
    rows = list(reversed(indices))
    for k, row in enumerate(rows):
        out += rle8_row(row)
        out += b"\0\1" if k == len(rows) - 1 else b"\0\0"
    return bytes(out)


def chunk(fourcc, data):
    return fourcc + struct.pack("<I", len(data)) + data + (b"\0" if len(data) % 2 else b"")


def riff_list(kind, fourcc, payload):
    return kind + struct.pack("<I", len(payload) + 4) + fourcc + payload


def avi_rle8(frames, palette, w, h):
    """Single video stream AVI: RLE8 frames (all key frames), 256-entry palette, idx1 index."""
    encoded = [rle8_frame(f) for f in frames]
    biggest = max(len(e) for e in encoded)
    avih = struct.pack("<14I", CLIP_USEC_PER_FRAME, biggest * 30, 0, 0x10,   # AVIF_HASINDEX
                       len(frames), 0, 1, biggest, w, h, 0, 0, 0, 0)
    strh = (b"vids" + b"RLE " + struct.pack("<IHHIIIIIIII", 0, 0, 0, 0, CLIP_SCALE, CLIP_RATE, 0,
                                            len(frames), biggest, 0xFFFFFFFF, 0)
            + struct.pack("<hhhh", 0, 0, w, h))
    pal = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    strf = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 8, 1, biggest, 0, 0, 256, 0) + pal
    strl = riff_list(b"LIST", b"strl", chunk(b"strh", strh) + chunk(b"strf", strf))
    hdrl = riff_list(b"LIST", b"hdrl", chunk(b"avih", avih) + strl)
    movi_payload, index = b"", b""
    for e in encoded:
        index += b"00dc" + struct.pack("<III", 0x10, 4 + len(movi_payload), len(e))  # from 'movi'
        movi_payload += chunk(b"00dc", e)
    movi = riff_list(b"LIST", b"movi", movi_payload)
    return riff_list(b"RIFF", b"AVI ", hdrl + movi + chunk(b"idx1", index))


# ----------------------------------------------------------------------------- soft keys

KEY_FACE_TOP, KEY_FACE_BOTTOM = (0x2C, 0x50, 0xA0), (0x16, 0x2C, 0x6C)
KEY_SUNK_TOP, KEY_SUNK_BOTTOM = (0x0E, 0x1E, 0x4E), (0x1C, 0x36, 0x7C)
KEY_LIGHT, KEY_SHADOW = (0x9C, 0xBC, 0xF4), (0x04, 0x0A, 0x22)
KEY_RIM = (0x3A, 0x5C, 0xA8)


def key_face(w, h, pressed):
    """A dark-blue rounded key face on black: raised (light top-left bevel) or sunk (inverted)."""
    box = (1.0, 1.0, w - 1.0, h - 1.0)
    radius = 8.0 if h < 50 else 9.5
    bevel = (3.0 if h < 50 else 3.4) - (0.6 if pressed else 0.0)
    lx, ly = -math.sqrt(0.5), -math.sqrt(0.5)            # light comes from the top left
    top, bottom = (KEY_SUNK_TOP, KEY_SUNK_BOTTOM) if pressed else (KEY_FACE_TOP, KEY_FACE_BOTTOM)
    shift = 1.0 if pressed else 0.0                       # a pressed face sits one pixel lower

    def sample(x, y):
        d = sd_round_rect(x, y, box, radius)
        if d > 0:
            return None
        t = min(1.0, max(0.0, (y - box[1] - shift) / (box[3] - box[1] - 2)))
        face = lerp(top, bottom, t * t * (3 - 2 * t))
        depth = -d
        if depth < bevel:
            nx, ny = round_rect_normal(x, y, box, radius)
            shade = nx * lx + ny * ly
            if pressed:
                shade = -shade
            strength = min(1.0, abs(shade) * 1.15)
            edge = lerp(face, KEY_LIGHT if shade > 0 else KEY_SHADOW, strength)
            if depth < 0.9:                               # a thin rim keeps the outline on black
                edge = lerp(edge, KEY_RIM, 0.35)
            k = min(1.0, (bevel - depth) / 1.2)
            face = lerp(face, edge, k)
        return face

    c = Canvas(w, h)
    ss = 6
    for py in range(h):
        for px in range(w):
            acc = [0.0, 0.0, 0.0]
            for sy in range(ss):
                for sx in range(ss):
                    s = sample(px + (sx + 0.5) / ss, py + (sy + 0.5) / ss)
                    if s:
                        acc = [acc[i] + s[i] for i in range(3)]
            c.px[py][px] = tuple(clamp8(v / (ss * ss)) for v in acc)
    return c


# ----------------------------------------------------------------------------- progress clip

UNIT_BOX = (5.0, 15.0, 41.0, 56.0)
MEDIA_BODY = (101.0, 19.0, 134.0, 59.0)
TRACK_X0, TRACK_Y = 45, 36
CHEVRON_GAP = 11                                         # 44 frames move the row by 4 gaps
TRACK_X1 = TRACK_X0 + 5 * CHEVRON_GAP                    # the row repeats after one gap


def clip_background():
    c = Canvas(CLIP_W, CLIP_H)
    solid = lambda col: (lambda x, y: col)
    levels = 4

    def vgrad(y0, y1, a, b, steps):
        def f(x, y):
            t = min(1.0, max(0.0, (y - y0) / (y1 - y0)))
            return lerp(a, b, math.floor(t * steps) / steps)
        return f

    # the unit: a display bezel with a lit screen showing lines of settings
    c.paint(lambda x, y: sd_round_rect(x, y, UNIT_BOX, 4.0), solid((0x70, 0xA4, 0xE8)), UNIT_BOX, levels=levels)
    inner = (UNIT_BOX[0] + 1.5, UNIT_BOX[1] + 1.5, UNIT_BOX[2] - 1.5, UNIT_BOX[3] - 1.5)
    c.paint(lambda x, y: sd_round_rect(x, y, inner, 2.5), vgrad(inner[1], inner[3], (0x24, 0x34, 0x52), (0x12, 0x1A, 0x2C), 4),
            inner, levels=levels)
    screen = (10.0, 20.0, 36.0, 46.0)
    c.paint(lambda x, y: sd_round_rect(x, y, screen, 1.5), vgrad(screen[1], screen[3], (0x14, 0x46, 0xA0), (0x08, 0x1E, 0x58), 5),
            screen, levels=levels)
    for k, length in enumerate((19, 12, 16, 9, 14)):
        y = 23 + 4 * k
        for x in range(13, 13 + length):
            c.px[y][x] = (0xA8, 0xD0, 0xFF) if k == 0 else (0x6C, 0xA4, 0xEC)
    for bx in (12, 31):                                   # bezel buttons
        c.paint(lambda x, y, bx=bx: sd_round_rect(x, y, (bx - 2.0, 49.0, bx + 3.0, 52.0), 1.0),
                solid((0x50, 0x64, 0x84)), (bx - 3, 48, bx + 4, 53), levels=levels)

    # the removable media: a stick with its plug pointing up and a label area
    plug = (108.0, 10.0, 127.0, 20.0)
    c.paint(lambda x, y: sd_round_rect(x, y, plug, 1.0), solid((0xB4, 0xBC, 0xC8)), plug, levels=levels)
    plug_in = (109.5, 11.5, 125.5, 20.0)
    c.paint(lambda x, y: sd_round_rect(x, y, plug_in, 0.5), solid((0x5A, 0x62, 0x70)), plug_in, levels=levels)
    for hx in (112, 119):
        for y in range(13, 16):
            for x in range(hx, hx + 4):
                c.px[y][x] = (0x14, 0x16, 0x1C)
    c.paint(lambda x, y: sd_round_rect(x, y, MEDIA_BODY, 5.0), solid((0x58, 0xDC, 0x98)), MEDIA_BODY, levels=levels)
    body_in = (MEDIA_BODY[0] + 1.5, MEDIA_BODY[1] + 1.5, MEDIA_BODY[2] - 1.5, MEDIA_BODY[3] - 1.5)
    c.paint(lambda x, y: sd_round_rect(x, y, body_in, 3.5),
            vgrad(body_in[1], body_in[3], (0x14, 0x6A, 0x50), (0x0A, 0x34, 0x2A), 5), body_in, levels=levels)
    label = (106.0, 26.0, 129.0, 48.0)
    c.paint(lambda x, y: sd_round_rect(x, y, label, 2.0), solid((0x06, 0x1E, 0x18)), label, levels=levels)

    # the path between them: a faint dotted track
    for x in range(TRACK_X0 + 1, TRACK_X1, 3):
        c.px[TRACK_Y][x] = (0x1C, 0x34, 0x64)
    return c


def chevron_colour(u):
    """Colour of a chevron at fraction u of the track: blue leaving the unit, green reaching
    the media, faded at both ends; quantised so that the clip stays within 256 colours."""
    steps = 10
    q = round(u * steps) / steps
    blue, cyan, green = (0x48, 0x90, 0xFF), (0x60, 0xE8, 0xFF), (0x60, 0xFF, 0x98)
    hue = lerp(blue, cyan, q * 2) if q < 0.5 else lerp(cyan, green, q * 2 - 1)
    glow = round(min(1.0, 1.6 * math.sin(math.pi * q)) * 6) / 6
    return tuple(v * glow for v in hue)


def clip_frame(background, f):
    c = background.copy()
    span = TRACK_X1 - TRACK_X0
    for k in range(span // CHEVRON_GAP):
        tip = TRACK_X0 + (k * CHEVRON_GAP + f) % span
        u = (tip - TRACK_X0) / span
        col = chevron_colour(u)
        if max(col) == 0:
            continue
        pts = ((tip - 5.5, TRACK_Y - 5.5), (tip + 0.5, TRACK_Y + 0.5), (tip - 5.5, TRACK_Y + 6.5))
        c.paint(lambda x, y, pts=pts: sd_polyline(x, y, pts, 1.25), lambda x, y, col=col: col,
                (max(tip - 8, TRACK_X0 - 1), TRACK_Y - 8, min(tip + 3, TRACK_X1 + 1), TRACK_Y + 9), levels=4)

    # the media's label fills row by row during a cycle (full on the last, idle frame)
    rows = min(4, (f * 5) // CLIP_FRAMES)
    for r in range(4):
        colour = (0x7C, 0xFF, 0xB8) if r < rows else (0x16, 0x44, 0x36)
        y = 30 + 4 * r
        for x in range(109, 126 - (3 if r % 2 else 0)):
            c.px[y][x] = colour

    # activity lights: the unit's blinks while sending, the media's when a chevron arrives
    unit_on = (f // 4) % 2 == 1
    media_on = (f + 1) % CHEVRON_GAP < 5
    for centre, on, lit, dark in (((23.5, 50.5), unit_on, (0x70, 0xFF, 0x70), (0x1E, 0x40, 0x20)),
                                  ((117.5, 53.5), media_on, (0xFF, 0xFF, 0xFF), (0x1C, 0x50, 0x40))):
        cx, cy = centre
        c.paint(lambda x, y, cx=cx, cy=cy: math.hypot(x - cx, y - cy) - 1.7, lambda x, y, col=lit if on else dark: col,
                (cx - 3, cy - 3, cx + 3, cy + 3), levels=4)
    return c


def progress_clip():
    bg = clip_background()
    frames = [clip_frame(bg, f) for f in range(CLIP_FRAMES)]
    colours = sorted({p for fr in frames for row in fr.px for p in row})
    if len(colours) > 256 or colours[0] != (0, 0, 0):
        raise SystemExit("progress clip: %d colours, palette needs at most 256 with black first" % len(colours))
    lookup = {col: i for i, col in enumerate(colours)}
    palette = colours + [(0, 0, 0)] * (256 - len(colours))
    indexed = [[[lookup[p] for p in row] for row in fr.px] for fr in frames]
    return avi_rle8(indexed, palette, CLIP_W, CLIP_H)


# ----------------------------------------------------------------------------- icons

def icon_pixels(size, shapes):
    """Paints (sdf, colour) shapes onto a transparent square; colour may depend on position."""
    ss = 8
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            r = g = b = a = 0.0
            for sy in range(ss):
                for sx in range(ss):
                    x, y = px + (sx + 0.5) / ss, py + (sy + 0.5) / ss
                    col = None
                    for sdf, colour in shapes:                # later shapes cover earlier ones
                        if sdf(x, y) <= 0:
                            col = colour(x, y)
                    if col:
                        r, g, b, a = r + col[0], g + col[1], b + col[2], a + 1
            n = ss * ss
            if a:
                row.append((clamp8(r / a), clamp8(g / a), clamp8(b / a), clamp8(255 * a / n)))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def tendwick_icon_shapes(s):
    """Two boxes (unit in blue, media in green) with arrows both ways between them."""
    k = s / 32.0

    def box(x0, y0, x1, y1, outline, top, bottom, r):
        b_out = (x0 * k, y0 * k, x1 * k, y1 * k)
        b_in = (b_out[0] + k * 1.5, b_out[1] + k * 1.5, b_out[2] - k * 1.5, b_out[3] - k * 1.5)
        fill = lambda x, y: lerp(top, bottom, (y - b_in[1]) / (b_in[3] - b_in[1]))
        return [(lambda x, y: sd_round_rect(x, y, b_out, r * k), lambda x, y: outline),
                (lambda x, y: sd_round_rect(x, y, b_in, max(0.5, (r - 1.5) * k)), fill)]

    def arrow(x0, x1, y, rightwards, colour):
        h = 1.1 * k if s > 16 else 0.7
        tip, tail = (x1, x0) if rightwards else (x0, x1)
        d = 1 if rightwards else -1
        head = 4.0 * k
        pts = ((tip - d * head, y - head), (tip, y), (tip - d * head, y + head))
        sdf = lambda px, py: min(sd_segment(px, py, tail, y, tip - d * h, y), sd_polyline(px, py, pts, 0.0)) - h
        edge = 0.9 if s > 16 else 0.6                   # a dark edge keeps it visible on white
        return [(lambda px, py: sdf(px, py) - edge, lambda px, py: (0x10, 0x18, 0x30)),
                (sdf, lambda px, py: colour)]

    shapes = []
    shapes += box(1, 6, 11, 26, (0x10, 0x20, 0x50), (0x50, 0x90, 0xF0), (0x1C, 0x40, 0xA0), 2.5)
    shapes += box(21, 6, 31, 26, (0x08, 0x38, 0x20), (0x50, 0xE0, 0x90), (0x18, 0x80, 0x48), 2.5)
    shapes += arrow(12.0 * k, 20.0 * k, 11.5 * k, True, (0xFF, 0xFF, 0xFF))
    shapes += arrow(12.0 * k, 20.0 * k, 20.5 * k, False, (0xFF, 0xD8, 0x30))
    return shapes


def dormantis_icon_shapes(s):
    """A yellow padlock with a black keyhole and a steel shackle."""
    k = s / 32.0
    cx = 16 * k
    body = (5 * k, 14 * k, 27 * k, 30 * k)
    body_in = (body[0] + 1.5 * k, body[1] + 1.5 * k, body[2] - 1.5 * k, body[3] - 1.5 * k)
    ring_r, ring_w = 7.5 * k, 1.8 * k if s > 16 else 1.1
    ring_cy = 11.5 * k

    def shackle(x, y):
        if y <= ring_cy:
            return abs(math.hypot(x - cx, y - ring_cy) - ring_r) - ring_w
        return min(abs(x - (cx - ring_r)), abs(x - (cx + ring_r))) - ring_w if y < body[1] + 1 else 1.0

    def keyhole(x, y):
        c = math.hypot(x - cx, y - 20.5 * k) - 2.6 * k
        stem = max(abs(x - cx) - 1.2 * k, abs(y - 24.5 * k) - 2.8 * k)
        return min(c, stem)

    yellow = lambda x, y: lerp((0xFF, 0xF0, 0x50), (0xE8, 0xB0, 0x00), (y - body[1]) / (body[3] - body[1]))
    steel = lambda x, y: lerp((0xE8, 0xEC, 0xF0), (0x80, 0x88, 0x94), min(1.0, abs(x - cx) / ring_r))
    return [(shackle, lambda x, y: (0x20, 0x20, 0x24)),
            (lambda x, y: abs(math.hypot(x - cx, y - ring_cy) - ring_r) - ring_w + 0.9 * k
             if y <= ring_cy else shackle(x, y) + 0.9 * k, steel),
            (lambda x, y: sd_round_rect(x, y, body, 3 * k), lambda x, y: (0x20, 0x18, 0x00)),
            (lambda x, y: sd_round_rect(x, y, body_in, 2 * k), yellow),
            (keyhole, lambda x, y: (0x10, 0x10, 0x10))]


def icon(shape_maker):
    return ico_file([(s, icon_pixels(s, shape_maker(s))) for s in (32, 16)])


# ----------------------------------------------------------------------------- disabled-unit pictures

# Bold block capitals on a 9-row grid with strokes two cells wide; '#' is ink.
FONT_BOLD = {
    "U": ("##...##", "##...##", "##...##", "##...##", "##...##", "##...##", "##...##", "#######", ".#####."),
    "N": ("###..##", "###..##", "###..##", "##.#.##", "##.#.##", "##.#.##", "##..###", "##..###", "##..###"),
    "I": ("##",) * 9,
    "T": ("######", "######", "..##..", "..##..", "..##..", "..##..", "..##..", "..##..", "..##.."),
    "D": ("######.", "#######", "##...##", "##...##", "##...##", "##...##", "##...##", "#######", "######."),
    "S": (".######", "#######", "##.....", "######.", ".######", ".....##", ".....##", "#######", "######."),
    "A": (".#####.", "#######", "##...##", "##...##", "#######", "#######", "##...##", "##...##", "##...##"),
    "B": ("######.", "#######", "##...##", "######.", "######.", "##...##", "##...##", "#######", "######."),
    "L": ("##....", "##....", "##....", "##....", "##....", "##....", "##....", "######", "######"),
    "E": ("######", "######", "##....", "#####.", "#####.", "##....", "##....", "######", "######"),
    " ": ("....",) * 9,
}
FONT_ROWS = 9
TEXT_SCALE = 3          # 21 by 27 pixels a letter; about 52 by 69 on an 800 by 600 screen
LETTER_GAP = 1


def text_picture(text, w, h, ink):
    """Black picture with text in one centred line of the pixel font, scaled up."""
    glyphs = [FONT_BOLD[ch] for ch in text]
    units = sum(len(g[0]) for g in glyphs) + LETTER_GAP * (len(glyphs) - 1)
    x0 = (w - units * TEXT_SCALE) // 2
    y0 = (h - FONT_ROWS * TEXT_SCALE) // 2
    rows = [[0] * w for _ in range(h)]
    gx = 0
    for g in glyphs:
        for gy, line in enumerate(g):
            for i, cell in enumerate(line):
                if cell == "#":
                    for y in range(y0 + gy * TEXT_SCALE, y0 + (gy + 1) * TEXT_SCALE):
                        for x in range(x0 + (gx + i) * TEXT_SCALE, x0 + (gx + i + 1) * TEXT_SCALE):
                            rows[y][x] = ink
        gx += len(g[0]) + LETTER_GAP
    return rows


# ----------------------------------------------------------------------------- outputs

def outputs():
    out = {}
    for (w, h), (rel_id, prs_id) in zip(KEY_SIZES, ((134, 133), (130, 132))):
        out["%s/KeyReleased%dx%d.bmp" % (TENDWICK_RES, w, h)] = lambda w=w, h=h: bmp24(key_face(w, h, False))
        out["%s/KeyPressed%dx%d.bmp" % (TENDWICK_RES, w, h)] = lambda w=w, h=h: bmp24(key_face(w, h, True))
    out[TENDWICK_RES + "/Progress.avi"] = progress_clip
    out[TENDWICK_RES + "/Tendwick.ico"] = lambda: icon(tendwick_icon_shapes)
    out[DORMANTIS_RES + "/UnitDisabled.bmp"] = lambda: bmp4(text_picture("UNIT DISABLED", SHELL_W, SHELL_H, YELLOW_INDEX),
                                                            SHELL_W, SHELL_H)
    out[DORMANTIS_RES + "/Blank.bmp"] = lambda: bmp4([[0] * SHELL_W for _ in range(SHELL_H)], SHELL_W, SHELL_H)
    out[DORMANTIS_RES + "/Dormantis.ico"] = lambda: icon(dormantis_icon_shapes)
    return out


# ----------------------------------------------------------------------------- checker
# Written against the file formats, not against the writers above, so that a fault in
# a writer shows up here.

class Fault(Exception):
    pass


def need(cond, text):
    if not cond:
        raise Fault(text)


def parse_bmp(data):
    need(len(data) >= 54 and data[:2] == b"BM", "not a BMP")
    size, _, _, offset = struct.unpack_from("<IHHI", data, 2)
    need(size == len(data), "file size field %d, file has %d" % (size, len(data)))
    (bi_size, w, h, planes, bpp, comp, image, _, _, used, _) = struct.unpack_from("<IiiHHIIiiII", data, 14)
    need(bi_size == 40 and planes == 1 and comp == 0 and h > 0 and w > 0, "header not a plain bottom-up BITMAPINFOHEADER")
    colours = (used or (1 << bpp)) if bpp <= 8 else 0
    palette = [(data[54 + 4 * i + 2], data[54 + 4 * i + 1], data[54 + 4 * i]) for i in range(colours)]
    need(offset == 54 + 4 * colours, "pixel offset %d does not follow the palette" % offset)
    stride = ((w * bpp + 31) // 32) * 4
    need(len(data) - offset == stride * h and image in (0, stride * h), "pixel data size")
    return w, h, bpp, palette, data[offset:], stride


def check_key_pair(root, w, h):
    faces = []
    for name in ("KeyReleased", "KeyPressed"):
        bw, bh, bpp, _, pix, stride = parse_bmp(read(root, "%s/%s%dx%d.bmp" % (TENDWICK_RES, name, w, h)))
        need((bw, bh, bpp) == (w, h, 24), "%s%dx%d: %dx%d at %d bpp" % (name, w, h, bw, bh, bpp))
        px = (lambda x, y, pix=pix, stride=stride:
              tuple(pix[(h - 1 - y) * stride + 3 * x: (h - 1 - y) * stride + 3 * x + 3]))
        for x, y in ((0, 0), (w - 1, 0), (0, h - 1), (w - 1, h - 1), (1, 1), (w - 2, h - 2)):
            need(px(x, y) == (0, 0, 0), "%s%dx%d: corner pixel %d,%d not black" % (name, w, h, x, y))
        b, g, r = px(w // 2, h // 2)
        need(b > r and b > g and max(r, g, b) < 200, "%s%dx%d: face not dark blue" % (name, w, h))
        faces.append(px)
    rel, prs = faces
    # raised: its top edge lighter than its bottom edge; sunk: the other way round
    lum = lambda p: sum(p)
    need(lum(rel(w // 2, 2)) > lum(rel(w // 2, h - 3)), "released key not lit from above")
    need(lum(prs(w // 2, 2)) < lum(prs(w // 2, h - 3)), "pressed key not sunk")


def rle8_decode(data, w, h):
    """Strict RLE8 decoder: full rows only, no deltas, end-of-bitmap after the last row."""
    rows, row, i = [], [], 0
    while True:
        need(i + 1 < len(data), "RLE8 data ends without end-of-bitmap")
        a, b = data[i], data[i + 1]
        i += 2
        if a:
            row += [b] * a
        elif b == 0 or b == 1:
            need(len(row) == w, "RLE8 row %d has %d pixels" % (len(rows), len(row)))
            rows.append(row)
            row = []
            if b == 1:
                break
        elif b == 2:
            raise Fault("RLE8 delta code used")
        else:
            need(i + b <= len(data), "RLE8 absolute run past the end")
            row += list(data[i:i + b])
            i += b + (b & 1)
        need(len(row) <= w, "RLE8 row %d overruns" % len(rows))
    need(len(rows) == h, "RLE8 frame has %d rows" % len(rows))
    need(i == len(data), "bytes after end-of-bitmap")
    return rows[::-1]


def riff_chunks(data, start, end):
    out, p = [], start
    while p < end:
        need(p + 8 <= end, "truncated chunk header at %d" % p)
        cid, size = data[p:p + 4], struct.unpack_from("<I", data, p + 4)[0]
        need(p + 8 + size <= end, "chunk %r overruns its list" % cid)
        kind = data[p + 8:p + 12] if cid in (b"LIST", b"RIFF") else None
        out.append((cid, kind, p, p + 8, size))
        p += 8 + size + (size & 1)
    need(p == end, "chunk list does not end at its boundary")
    return out


def find(chunks, cid, kind=None):
    hits = [c for c in chunks if c[0] == cid and (kind is None or c[1] == kind)]
    need(hits, "missing %r %r" % (cid, kind))
    return hits[0]


def check_avi(data):
    need(data[:4] == b"RIFF" and data[8:12] == b"AVI ", "not a RIFF AVI")
    need(struct.unpack_from("<I", data, 4)[0] + 8 == len(data), "RIFF size")
    top = riff_chunks(data, 12, len(data))
    hdrl = find(top, b"LIST", b"hdrl")
    hdr = riff_chunks(data, hdrl[3] + 4, hdrl[3] + hdrl[4])
    avih = find(hdr, b"avih")
    need(avih[4] == 56, "avih size")
    (usec, _, _, flags, total, _, streams, avih_buf, w, h) = struct.unpack_from("<10I", data, avih[3])
    need(usec == CLIP_USEC_PER_FRAME, "dwMicroSecPerFrame %d" % usec)
    need((w, h, total, streams) == (CLIP_W, CLIP_H, CLIP_FRAMES, 1), "avih geometry %dx%d, %d frames" % (w, h, total))
    need(flags & 0x10, "avih lacks AVIF_HASINDEX")
    strl = find(hdr, b"LIST", b"strl")
    sl = riff_chunks(data, strl[3] + 4, strl[3] + strl[4])
    strh = find(sl, b"strh")
    need(strh[4] >= 48, "strh size")
    fcc, handler = data[strh[3]:strh[3] + 4], data[strh[3] + 4:strh[3] + 8]
    scale, rate, start, length, sbuf = struct.unpack_from("<5I", data, strh[3] + 20)
    need(fcc == b"vids" and handler in (b"RLE ", b"\0\0\0\0"), "strh type %r handler %r" % (fcc, handler))
    need((rate, scale) in ((2997, 100), (30000, 1001)) and length == total and start == 0, "strh rate or length")
    strf = find(sl, b"strf")
    need(strf[4] == 40 + 1024, "strf is not a header with 256 colours")
    (bi_size, bw, bh, planes, bpp, comp, image, _, _, used, _) = struct.unpack_from("<IiiHHIIiiII", data, strf[3])
    need((bi_size, bw, bh, planes, bpp, comp) == (40, w, h, 1, 8, 1), "strf is not a bottom-up RLE8 header")
    need(used in (0, 256), "biClrUsed %d" % used)
    pal = data[strf[3] + 40:strf[3] + 40 + 1024]
    need(pal[:4] == b"\0\0\0\0", "palette entry 0 not black")
    movi = find(top, b"LIST", b"movi")
    frames = riff_chunks(data, movi[3] + 4, movi[3] + movi[4])
    need(len(frames) == total and all(c[0] == b"00dc" for c in frames), "movi holds %d frame chunks" % len(frames))
    biggest = max(c[4] for c in frames)
    need(sbuf >= biggest and avih_buf >= biggest, "suggested buffer smaller than a frame")
    need(image >= biggest, "strf biSizeImage smaller than a frame")
    idx1 = find(top, b"idx1")
    need(idx1[4] == 16 * total, "idx1 size")
    decoded = []
    for n, c in enumerate(frames):
        cid, fl, off, size = struct.unpack_from("<4sIII", data, idx1[3] + 16 * n)
        need(cid == b"00dc" and fl & 0x10 and size == c[4], "idx1 entry %d" % n)
        need(movi[3] + off == c[2], "idx1 entry %d offset" % n)
        try:
            decoded.append(rle8_decode(data[c[3]:c[3] + c[4]], w, h))
        except Fault as e:
            raise Fault("frame %d: %s" % (n, e))
    need(decoded[-1] != [[0] * w for _ in range(h)], "last frame is empty")
    need(len({tuple(map(tuple, f)) for f in decoded}) > total // 2, "frames barely change")
    return decoded, [(pal[4 * i + 2], pal[4 * i + 1], pal[4 * i]) for i in range(256)]


def parse_ico(data):
    need(len(data) >= 6, "short icon")
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    need(reserved == 0 and kind == 1 and count >= 1, "not an icon file")
    sizes = set()
    for n in range(count):
        bw, bh, _, _, planes, bpp, size, off = struct.unpack_from("<BBBBHHII", data, 6 + 16 * n)
        need(off + size <= len(data), "icon image %d past the end" % n)
        bi_size, w, h2, _, bpp2, comp = struct.unpack_from("<IiiHHI", data, off)
        need(bi_size == 40 and w == (bw or 256) and h2 == 2 * w and bpp2 == bpp and comp == 0, "icon image %d header" % n)
        need(bpp in (8, 32), "icon image %d has %d bpp" % (n, bpp))
        xor = ((w * bpp + 31) // 32) * 4 * w
        mask = ((w + 31) // 32) * 4 * w
        pal = 4 * 256 if bpp == 8 else 0
        need(size == 40 + pal + xor + mask, "icon image %d size" % n)
        if bpp == 32:
            alphas = data[off + 40 + 3:off + 40 + xor:4]
            need(any(alphas) and not all(a == 255 for a in alphas), "icon image %d has no shape" % n)
        sizes.add(w)
    need({16, 32} <= sizes, "icon lacks 16x16 or 32x32")


def check_shell_picture(data, name, with_text):
    w, h, bpp, pal, pix, stride = parse_bmp(data)
    need((w, h, bpp) == (SHELL_W, SHELL_H, 4), "%s: %dx%d at %d bpp" % (name, w, h, bpp))
    need(tuple(pal) == VGA16, "%s: palette is not the standard 16 colours" % name)
    used = {}
    ink_rows, ink_cols = set(), set()
    for y in range(h):
        line = pix[(h - 1 - y) * stride:(h - 1 - y) * stride + stride]
        for x in range(w):
            v = (line[x // 2] >> 4) if x % 2 == 0 else line[x // 2] & 15
            used[v] = used.get(v, 0) + 1
            if v:
                ink_rows.add(y)
                ink_cols.add(x)
    if not with_text:
        need(set(used) == {0}, "%s: not all black" % name)
        return
    need(set(used) == {0, YELLOW_INDEX}, "%s: uses colours %s" % (name, sorted(used)))
    top, bottom, left, right = min(ink_rows), max(ink_rows), min(ink_cols), max(ink_cols)
    need(bottom - top + 1 <= 40 and abs((top + bottom) - (h - 1)) <= 1, "%s: text not one centred line" % name)
    need(abs((left + right) - (w - 1)) <= 1 and right - left > w // 2, "%s: text not centred" % name)


def read(root, rel):
    with open(os.path.join(root, rel), "rb") as f:
        return f.read()


def check(root):
    faults = 0

    def run(name, fn):
        nonlocal faults
        try:
            fn()
            print("ok    %s" % name)
        except (Fault, OSError, struct.error) as e:
            faults += 1
            print("FAULT %s: %s" % (name, e))

    for w, h in KEY_SIZES:
        run("key faces %dx%d" % (w, h), lambda w=w, h=h: check_key_pair(root, w, h))
    run("Progress.avi", lambda: check_avi(read(root, TENDWICK_RES + "/Progress.avi")))
    run("Tendwick.ico", lambda: parse_ico(read(root, TENDWICK_RES + "/Tendwick.ico")))
    run("Dormantis.ico", lambda: parse_ico(read(root, DORMANTIS_RES + "/Dormantis.ico")))
    run("UnitDisabled.bmp", lambda: check_shell_picture(read(root, DORMANTIS_RES + "/UnitDisabled.bmp"),
                                                        "UnitDisabled.bmp", True))
    run("Blank.bmp", lambda: check_shell_picture(read(root, DORMANTIS_RES + "/Blank.bmp"), "Blank.bmp", False))
    return faults


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--check", action="store_true", help="verify the written files instead of writing them")
    ap.add_argument("--root", default=os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")))
    args = ap.parse_args()
    if args.check:
        faults = check(args.root)
        print("%d fault(s)" % faults)
        return 1 if faults else 0
    for rel, make in outputs().items():
        path = os.path.join(args.root, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        data = make()
        with open(path, "wb") as f:
            f.write(data)
        print("%-60s %7d bytes" % (rel, len(data)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
