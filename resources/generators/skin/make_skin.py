#!/usr/bin/env python3
"""Draws the player's skin: the background bitmap 110 (356 x 305, 8 bits per pixel
with a 256-entry colour table) and the 49 cell bitmaps 207-255, as BMP files.

usage: make_skin.py OUTDIR

Every picture is drawn here from shapes and the Liberation Sans font; nothing is
copied from elsewhere. Cell sizes follow the window's layout table (ui/layout_table.cpp):
a bitmap's size is its cell size times its grid.
"""
import math
import os
import sys

from PIL import Image, ImageDraw, ImageFont

FONT_DIRS = ["/usr/share/fonts/truetype/liberation", "/usr/share/fonts/liberation"]

# Colours of the face.
FACE_TOP = (62, 68, 80)
FACE_BOTTOM = (30, 33, 40)
BEVEL_LIGHT = (120, 128, 142)
BEVEL_DARK = (12, 13, 16)
LCD_BACK = (10, 24, 20)
LCD_EDGE = (4, 10, 8)
LCD_ON = (96, 255, 160)
LCD_OFF = (22, 52, 40)
AMBER = (255, 184, 64)
AMBER_DIM = (120, 80, 30)
LABEL = (214, 220, 228)
SCREEN_TOP = (16, 30, 58)
SCREEN_BOTTOM = (6, 12, 26)


def font(size, bold=True):
    name = "LiberationSans-Bold.ttf" if bold else "LiberationSans-Regular.ttf"
    for d in FONT_DIRS:
        path = os.path.join(d, name)
        if os.path.exists(path):
            return ImageFont.truetype(path, size)
    return ImageFont.load_default()


# A 3 x 5 pixel font for the small LCD captions.
PIXEL_FONT = {
    "A": "010101111101101", "B": "110101110101110", "C": "011100100100011",
    "D": "110101101101110", "E": "111100110100111", "F": "111100110100100",
    "G": "011100101101011", "H": "101101111101101", "I": "111010010010111",
    "K": "101101110101101", "L": "100100100100111", "M": "101111111101101",
    "N": "110101101101101", "O": "010101101101010", "P": "110101110100100",
    "R": "110101110101101", "S": "011100010001110", "T": "111010010010010",
    "U": "101101101101111", "V": "101101101101010", "Y": "101101010010010",
    "1": "010110010010111", " ": "000000000000000", "-": "000000111000000",
}


def pixel_text(draw, x, y, text, colour):
    for ch in text:
        bits = PIXEL_FONT.get(ch, PIXEL_FONT[" "])
        for i, b in enumerate(bits):
            if b == "1":
                draw.point((x + i % 3, y + i // 3), fill=colour)
        x += 4


def pixel_text_width(text):
    return len(text) * 4 - 1


def lerp(a, b, t):
    return tuple(int(a[i] + (b[i] - a[i]) * t) for i in range(3))


def vgradient(draw, box, top, bottom):
    x0, y0, x1, y1 = box
    h = max(1, y1 - y0)
    for y in range(y0, y1 + 1):
        draw.line([(x0, y), (x1, y)], fill=lerp(top, bottom, (y - y0) / h))


def bevel(draw, box, light, dark):
    x0, y0, x1, y1 = box
    draw.line([(x0, y0), (x1, y0)], fill=light)
    draw.line([(x0, y0), (x0, y1)], fill=light)
    draw.line([(x1, y0), (x1, y1)], fill=dark)
    draw.line([(x0, y1), (x1, y1)], fill=dark)


def centred_text(draw, box, text, fnt, colour, shadow=None):
    x0, y0, x1, y1 = box
    l, t, r, b = draw.textbbox((0, 0), text, font=fnt)
    x = x0 + (x1 - x0 - (r - l)) // 2 - l
    y = y0 + (y1 - y0 - (b - t)) // 2 - t
    if shadow:
        draw.text((x + 1, y + 1), text, font=fnt, fill=shadow)
    draw.text((x, y), text, font=fnt, fill=colour)


def fit_font(draw, text, width, size):
    while size > 7:
        fnt = font(size)
        l, _, r, _ = draw.textbbox((0, 0), text, font=fnt)
        if r - l <= width:
            return fnt
        size -= 1
    return font(7)


# Icons for the transport buttons, drawn in a cell-sized box.
def icon(draw, kind, box, colour):
    x0, y0, x1, y1 = box
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    if kind == "play":
        draw.polygon([(cx - 4, cy - 6), (cx - 4, cy + 6), (cx + 6, cy)], fill=colour)
    elif kind == "pause":
        draw.rectangle([cx - 5, cy - 6, cx - 2, cy + 6], fill=colour)
        draw.rectangle([cx + 2, cy - 6, cx + 5, cy + 6], fill=colour)
    elif kind == "stop":
        draw.rectangle([cx - 5, cy - 5, cx + 5, cy + 5], fill=colour)
    elif kind == "next":
        draw.polygon([(cx - 8, cy - 5), (cx - 8, cy + 5), (cx - 1, cy)], fill=colour)
        draw.polygon([(cx - 1, cy - 5), (cx - 1, cy + 5), (cx + 6, cy)], fill=colour)
        draw.rectangle([cx + 6, cy - 5, cx + 7, cy + 5], fill=colour)
    elif kind == "prev":
        draw.polygon([(cx + 8, cy - 5), (cx + 8, cy + 5), (cx + 1, cy)], fill=colour)
        draw.polygon([(cx + 1, cy - 5), (cx + 1, cy + 5), (cx - 6, cy)], fill=colour)
        draw.rectangle([cx - 7, cy - 5, cx - 6, cy + 5], fill=colour)


def button_cell(img, ox, oy, w, h, lit, label=None, kind=None, size=11):
    """One button face; lit cells are pressed in, warmer and carry an amber label."""
    d = ImageDraw.Draw(img)
    box = (ox, oy, ox + w - 1, oy + h - 1)
    d.rectangle(box, fill=BEVEL_DARK)
    inner = (ox + 1, oy + 1, ox + w - 2, oy + h - 2)
    if lit:
        vgradient(d, inner, (40, 36, 34), (70, 60, 50))
        bevel(d, inner, (20, 18, 16), (110, 100, 90))
        colour, shadow = AMBER, (60, 30, 0)
    else:
        vgradient(d, inner, (118, 126, 140), (58, 63, 74))
        bevel(d, inner, (170, 178, 192), (30, 32, 38))
        colour, shadow = LABEL, (20, 22, 26)
    # A small lamp along the top edge tells lit from unlit at a glance.
    if w >= 30 and h >= 18:
        lamp = AMBER if lit else (54, 50, 44)
        d.rectangle([ox + 4, oy + 3, ox + 9, oy + 4], fill=lamp)
    text_box = (ox + 2, oy + 2 + (1 if lit else 0), ox + w - 3, oy + h - 3 + (1 if lit else 0))
    if kind:
        icon(d, kind, text_box, colour)
    if label:
        fnt = fit_font(d, label, w - 8, size)
        centred_text(d, text_box, label, fnt, colour, shadow)


def buttons(w, h, label=None, kind=None, rows=2, size=11):
    img = Image.new("RGB", (w, h * rows))
    for r in range(rows):
        button_cell(img, 0, r * h, w, h, r % 2 == 1, label, kind, size)
    return img


def led_button(size):
    img = Image.new("RGB", (size, size * 2), FACE_BOTTOM)
    d = ImageDraw.Draw(img)
    for r, (rim, core) in enumerate([((20, 20, 24), (70, 30, 20)), ((90, 40, 10), (255, 170, 60))]):
        oy = r * size
        d.ellipse([1, oy + 1, size - 2, oy + size - 2], fill=rim)
        d.ellipse([3, oy + 3, size - 4, oy + size - 4], fill=core)
        if r == 1:
            d.ellipse([5, oy + 4, 8, oy + 7], fill=(255, 240, 200))
    return img


SEGMENTS = {  # a b c d e f g
    0: "1111110", 1: "0110000", 2: "1101101", 3: "1111001", 4: "0110011",
    5: "1011011", 6: "1011111", 7: "1110000", 8: "1111111", 9: "1111011",
}


def seven_segment(d, ox, oy, w, h, lit_mask):
    """A digit in a w x h cell; unlit segments stay faintly visible as on an LCD."""
    x0, x1 = ox + 2, ox + w - 3
    y0, ym, y1 = oy + 1, oy + h // 2 - 1, oy + h - 3
    segs = [
        [(x0 + 1, y0), (x1 - 1, y0 + 1)],          # a
        [(x1 - 1, y0 + 1), (x1, ym)],              # b
        [(x1 - 1, ym + 1), (x1, y1)],              # c
        [(x0 + 1, y1), (x1 - 1, y1 + 1)],          # d
        [(x0, ym + 1), (x0 + 1, y1)],              # e
        [(x0, y0 + 1), (x0 + 1, ym)],              # f
        [(x0 + 1, ym), (x1 - 1, ym + 1)],          # g
    ]
    for on, seg in zip(lit_mask, segs):
        d.rectangle(seg, fill=LCD_ON if on == "1" else LCD_OFF)


def digits():
    w, h = 11, 18
    img = Image.new("RGB", (w * 10, h), LCD_BACK)
    d = ImageDraw.Draw(img)
    for n in range(10):
        seven_segment(d, n * w, 0, w, h, SEGMENTS[n])
    return img


def state_lamp():
    w, h = 13, 18
    img = Image.new("RGB", (w * 4, h), LCD_BACK)
    d = ImageDraw.Draw(img)
    for col, (kind, colour) in enumerate([("play", LCD_ON), ("pause", AMBER), ("stop", (255, 80, 70)), ("stop", LCD_OFF)]):
        ox = col * w
        cx, cy = ox + 6, 8
        if kind == "play":
            d.polygon([(cx - 3, cy - 5), (cx - 3, cy + 5), (cx + 4, cy)], fill=colour)
        elif kind == "pause":
            d.rectangle([cx - 4, cy - 5, cx - 2, cy + 5], fill=colour)
            d.rectangle([cx + 1, cy - 5, cx + 3, cy + 5], fill=colour)
        else:
            d.rectangle([cx - 4, cy - 4, cx + 4, cy + 4], fill=colour)
    return img


def lcd_caption_rows(w, h, captions):
    img = Image.new("RGB", (w, h * len(captions)), LCD_BACK)
    d = ImageDraw.Draw(img)
    for r, (text, colour) in enumerate(captions):
        x = (w - pixel_text_width(text)) // 2
        pixel_text(d, x, r * h + (h - 5) // 2, text, colour)
    return img


def level_meter():
    w, h = 14, 34
    img = Image.new("RGB", (w, h * 2), LCD_BACK)
    d = ImageDraw.Draw(img)
    # Segments every 2 pixels: the painter moves the source by an even count, so
    # the lit rows line up with the unlit ones.
    for y in range(0, h, 2):
        d.line([(2, y), (w - 3, y)], fill=LCD_OFF)
        t = y / h
        colour = (255, 90, 60) if t < 0.12 else (AMBER if t < 0.3 else LCD_ON)
        d.line([(2, h + y), (w - 3, h + y)], fill=colour)
    return img


def knob():
    size, steps = 56, 31
    img = Image.new("RGB", (size * steps, size), FACE_BOTTOM)
    d = ImageDraw.Draw(img)
    for s in range(steps):
        ox = s * size
        cx, cy = ox + size / 2, size / 2
        # Scale dots from -135 to +135 degrees; those up to the setting glow.
        for k in range(steps):
            a = math.radians(-135 + 270 * k / (steps - 1))
            px, py = cx + 25 * math.sin(a), cy - 25 * math.cos(a)
            d.point((px, py), fill=AMBER if k <= s else (70, 66, 60))
        d.ellipse([cx - 21, cy - 21, cx + 21, cy + 21], fill=BEVEL_DARK)
        for r in range(20, 0, -1):
            d.ellipse([cx - r, cy - r, cx + r, cy + r], fill=lerp((40, 44, 52), (150, 158, 172), (20 - r) / 20 * 0.8))
        for k in range(12):  # grip ridges
            a = math.radians(k * 30 + (-135 + 270 * s / (steps - 1)))
            d.line([(cx + 17 * math.sin(a), cy - 17 * math.cos(a)), (cx + 20 * math.sin(a), cy - 20 * math.cos(a))],
                   fill=(34, 36, 42))
        a = math.radians(-135 + 270 * s / (steps - 1))
        d.line([(cx + 6 * math.sin(a), cy - 6 * math.cos(a)), (cx + 16 * math.sin(a), cy - 16 * math.cos(a))],
               fill=AMBER, width=3)
    return img


def position_bar():
    img = Image.new("RGB", (36, 24), LCD_BACK)
    d = ImageDraw.Draw(img)
    # Row 0: the track, tiled on both sides of the thumb.
    d.line([(0, 5), (35, 5)], fill=LCD_OFF)
    d.line([(0, 6), (35, 6)], fill=(40, 90, 70))
    for x in range(0, 36, 6):
        d.point((x, 9), fill=LCD_OFF)
    # Row 1: the thumb.
    d.rectangle([0, 13, 35, 22], fill=(24, 70, 50))
    d.rectangle([1, 14, 34, 21], fill=LCD_ON)
    d.rectangle([3, 16, 32, 19], fill=(180, 255, 210))
    for x in (14, 17, 20):
        d.line([(x, 15), (x, 20)], fill=(24, 70, 50))
    return img


def mode_panel():
    w, h = 247, 13
    captions = ["INFORMATION", "PLAYLIST", "LIBRARY", "WEB LINKS", "VERSION", "", "RADIO STATIONS"]
    img = Image.new("RGB", (w, h * 7))
    d = ImageDraw.Draw(img)
    fnt = font(9)
    for r, text in enumerate(captions):
        oy = r * h
        vgradient(d, (0, oy, w - 1, oy + h - 1), (44, 52, 72), (22, 26, 38))
        d.line([(0, oy + h - 1), (w - 1, oy + h - 1)], fill=(90, 110, 150))
        if text:
            d.rectangle([4, oy + 4, 7, oy + 7], fill=AMBER)
            d.text((12, oy + 1), text, font=fnt, fill=(200, 214, 240))
    return img


def screen():
    w, h = 247, 128
    img = Image.new("RGB", (w, h))
    d = ImageDraw.Draw(img)
    vgradient(d, (0, 0, w - 1, h - 1), SCREEN_TOP, SCREEN_BOTTOM)
    for y in range(0, h, 3):
        d.line([(0, y), (w - 1, y)], fill=lerp(SCREEN_TOP, SCREEN_BOTTOM, y / h + 0.1))
    bevel(d, (0, 0, w - 1, h - 1), (4, 8, 16), (60, 80, 120))
    return img


def view_button():
    w, h = 44, 20
    img = Image.new("RGB", (w, h * 4))
    d = ImageDraw.Draw(img)
    for r in range(4):
        button_cell(img, 0, r * h, w, h, r % 2 == 1, None)
        cx, cy = w // 2, r * h + h // 2
        colour = AMBER if r >= 2 else LABEL
        if r < 2:
            d.polygon([(cx - 5, cy - 2), (cx + 5, cy - 2), (cx, cy + 3)], fill=colour)
        else:
            d.polygon([(cx - 5, cy + 3), (cx + 5, cy + 3), (cx, cy - 2)], fill=colour)
    return img


def generic(w, h, label):
    return buttons(w, h, label)


def cell_bitmaps():
    """Index (resource id - 207) to image."""
    b = {}
    b[0] = buttons(70, 16, "Web", size=10)
    b[1] = buttons(40, 20, "MP3")
    b[2] = buttons(60, 22, "Add")
    b[3] = buttons(60, 22, "To List")
    b[4] = buttons(60, 22, "Chat")
    b[5] = buttons(60, 22, "Delete")
    b[6] = buttons(60, 22, "E-mail")
    b[7] = generic(60, 22, "")
    b[8] = buttons(60, 22, "Down")
    b[9] = buttons(60, 22, "Up")
    b[10] = generic(60, 22, "")
    b[11] = buttons(60, 22, "Refresh")
    b[12] = generic(60, 22, "")
    b[13] = buttons(60, 22, "Stop")
    b[14] = buttons(128, 22, "Remove from Library")
    b[15] = buttons(60, 22, "Web Page")
    b[16] = generic(60, 22, "")
    b[17] = buttons(76, 22, "Info")
    b[18] = buttons(76, 22, "Library")
    b[19] = buttons(76, 22, "Links")
    b[20] = buttons(76, 22, "Playlist")
    b[21] = buttons(76, 22, "Stations")
    b[22] = buttons(50, 18, "Mute", size=10)
    b[23] = buttons(32, 24, kind="pause")
    b[24] = buttons(32, 24, kind="play")
    b[25] = position_bar()
    b[26] = buttons(50, 18, "Repeat", size=10)
    b[27] = led_button(16)
    b[28] = generic(40, 20, "")
    b[29] = generic(40, 20, "")
    b[30] = buttons(50, 18, "Shuffle", size=10)
    b[31] = buttons(34, 24, kind="prev")
    b[32] = buttons(34, 24, kind="next")
    b[33] = buttons(32, 24, kind="stop")
    b[34] = buttons(60, 26, "Next", size=11)
    b[35] = buttons(60, 26, "Prev", size=11)
    b[36] = generic(40, 20, "")
    b[37] = buttons(43, 26, kind="stop", rows=1)
    b[38] = view_button()
    b[39] = digits()
    b[40] = lcd_caption_rows(44, 9, [("TRACK", LCD_ON), ("RADIO", AMBER)])
    b[41] = state_lamp()
    b[42] = lcd_caption_rows(30, 8, [("LIST", LCD_ON), ("SINGLE", AMBER), ("LIVE", (255, 90, 60))])
    b[43] = mode_panel()
    b[44] = level_meter()
    b[45] = knob()
    b[46] = buttons(80, 22, "Radio")
    b[47] = generic(40, 20, "")
    b[48] = screen()
    return b


def background():
    w, h = 356, 305
    img = Image.new("RGB", (w, h))
    d = ImageDraw.Draw(img)
    vgradient(d, (0, 0, w - 1, h - 1), FACE_TOP, FACE_BOTTOM)
    # Brushed-metal streaks.
    for y in range(0, h, 2):
        d.line([(0, y), (w - 1, y)], fill=lerp(FACE_TOP, FACE_BOTTOM, y / h + 0.03))
    bevel(d, (0, 0, w - 1, h - 1), BEVEL_LIGHT, BEVEL_DARK)

    def well(box, fill=LCD_BACK):
        x0, y0, x1, y1 = box
        d.rectangle(box, fill=fill)
        bevel(d, (x0 - 1, y0 - 1, x1 + 1, y1 + 1), BEVEL_DARK, BEVEL_LIGHT)

    well((6, 5, 104, 65))               # track, time and meter display
    well((107, 7, 280, 46))             # status line and position bar
    well((108, 51, 279, 80), (24, 26, 32))  # transport bay
    well((12, 123, 262, 267), (6, 10, 20))  # list and screen panel
    d.rectangle([66, 50, 68, 52], fill=LCD_ON)  # the time colon
    d.rectangle([66, 56, 68, 58], fill=LCD_ON)
    pixel_text(d, 76, 17, "TRK", LCD_OFF)
    # Knob ring.
    d.ellipse([281, 3, 345, 67], fill=(26, 28, 34))
    d.ellipse([283, 5, 343, 65], outline=(80, 86, 98))
    small = font(9)
    d.text((277, 93), "VIEW", font=small, fill=LABEL)
    d.text((24, 91), "RADIO", font=small, fill=LABEL)
    d.text((74, 91), "MP3", font=small, fill=LABEL)
    # Maker's name between the transport and the panels.
    logo = font(22)
    d.text((129, 87), "LUMETRA", font=logo, fill=(18, 20, 24))
    d.text((128, 86), "LUMETRA", font=logo, fill=(200, 206, 218))
    d.text((132, 110), "media player  \u2022  radio", font=font(9, False), fill=AMBER)
    d.line([(269, 229), (349, 229)], fill=(20, 22, 26))
    d.line([(269, 230), (349, 230)], fill=BEVEL_LIGHT)
    # 8 bits per pixel with a 256-entry colour table.
    return img.quantize(colors=256, method=Image.Quantize.MEDIANCUT, dither=Image.Dither.NONE)


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    bg = background()
    pal = bg.getpalette()
    # The table always has 256 entries.
    bg.putpalette(pal + [0] * (768 - len(pal)))
    bg.save(os.path.join(out, "110.bmp"))
    for index, img in cell_bitmaps().items():
        img.save(os.path.join(out, "%d.bmp" % (207 + index)))


if __name__ == "__main__":
    main()
