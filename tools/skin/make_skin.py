#!/usr/bin/python3
"""Draws Calvoro Record's skin: every image under dist/Image/, the four bitmap
resources and the application icon under app/res/, and a contact sheet and a
mock-up of the three windows under docs/.

Needs Python 3 with Pillow (Debian: python3-pil) and the fonts of
fonts-dejavu-core and fonts-wqy-microhei. Change a colour or a size below and
run it again:

    tools/skin/make_skin.py            # writes into this repository
    tools/skin/make_skin.py --out DIR  # writes DIR/dist/Image, DIR/app/res, DIR/docs

How the program draws these images, and so why they look the way they do:
- Buttons and check boxes are drawn at their own pixel size, and a button's
  window takes the size of its normal image. Pure magenta (255, 0, 255) is not
  drawn: what the owner window painted there shows through. Edges are
  smoothed against the colour that lies under the button, and every pixel
  outside the shape is exact magenta, never a near-magenta blend.
- Button captions are drawn by the program in black, so caption buttons have
  a light face and no text of their own.
- A window background is stretched to the window's real client size, which
  differs from the 96 DPI size (under wine the main window is 817 x 520), so
  the backgrounds are bands and panels with gentle gradients: nothing that
  suffers from being stretched, and no text.
- Panels follow the dialog templates: a control's box in dialog units times
  1.5 (x) and 1.625 (y) is its place in pixels at 96 DPI.
"""

import argparse
import io
import math
import os
import struct
import sys

from PIL import Image, ImageDraw, ImageFilter, ImageFont

# ---------------------------------------------------------------------------
# Palette: one family of slate blues with a warm coral accent for Record.

MAGENTA = (255, 0, 255)            # the colour key: never drawn by the program

TITLE_TOP = (22, 30, 44)           # dark title band, top and bottom
TITLE_BOTTOM = (38, 50, 70)
HERO_TOP = (34, 66, 112)           # the main window's banner band
HERO_BOTTOM = (22, 42, 74)
ACCENT = (56, 112, 190)            # calm blue: checked boxes, hover borders
ACCENT_LIGHT = (120, 170, 232)
RECORD_RED = (222, 72, 60)         # warm accent: the Record dot, Close hover
RECORD_RED_HOVER = (240, 92, 76)

BODY_TOP = (241, 244, 248)         # light body behind texts
BODY_BOTTOM = (230, 235, 242)
CARD = (252, 253, 254)             # panels behind status lines and groups
CARD_EDGE = (210, 218, 229)
FOOTER = (223, 230, 239)           # band behind the information lines
FOOTER_EDGE = (200, 210, 223)
TRAY = (221, 228, 237)             # the tray behind Record, Pause and Stop

INK = (44, 58, 80)                 # glyphs on light faces
INK_DISABLED = (168, 177, 190)
TITLE_GLYPH = (210, 217, 227)      # glyphs on the dark title band
TITLE_GLYPH_DISABLED = (96, 108, 128)

# Light button faces (top, bottom of the gradient) and borders, per state.
LIGHT_FACE = {
    "normal":   ((255, 255, 255), (233, 238, 245), (150, 164, 185)),
    "hover":    ((255, 255, 255), (218, 232, 251), ACCENT),
    "down":     ((206, 215, 228), (226, 232, 240), (92, 108, 132)),
    "disabled": ((238, 240, 244), (238, 240, 244), (206, 212, 220)),
}
# The Wbutton1 family is tinted blue so that the main window's actions stand
# out from the dialogs' plain buttons.
TINTED_FACE = {
    "normal":   ((246, 250, 255), (220, 231, 246), (130, 154, 190)),
    "hover":    ((255, 255, 255), (205, 224, 250), ACCENT),
    "down":     ((196, 210, 230), (218, 228, 242), (80, 102, 138)),
    "disabled": ((236, 239, 243), (236, 239, 243), (204, 210, 219)),
}
# Faces of the glyph buttons on the dark title band: fill and glyph colour.
TITLE_FACE = {
    "normal":   ((52, 66, 90), TITLE_GLYPH),
    "hover":    ((78, 96, 126), (255, 255, 255)),
    "down":     ((16, 22, 33), (186, 194, 206)),
    "disabled": ((38, 48, 66), TITLE_GLYPH_DISABLED),
}
CLOSE_HOVER = (RECORD_RED, (255, 255, 255))
CLOSE_DOWN = ((170, 48, 42), (240, 228, 226))
# Check boxes: face, border and tick colour per (checked, state).
CHECK = {
    ("off", "normal"):   ((255, 255, 255), (110, 126, 150), None),
    ("off", "hover"):    ((232, 241, 253), ACCENT, None),
    ("off", "down"):     ((208, 217, 230), (72, 88, 112), None),
    ("off", "disabled"): ((238, 240, 244), (196, 203, 213), None),
    ("on", "normal"):    (ACCENT, (40, 88, 160), (255, 255, 255)),
    ("on", "hover"):     ((82, 140, 218), (56, 112, 190), (255, 255, 255)),
    ("on", "down"):      ((34, 74, 138), (24, 56, 110), (214, 226, 242)),
    ("on", "disabled"):  ((176, 188, 204), (160, 172, 190), (240, 242, 246)),
}

# ---------------------------------------------------------------------------
# Sizes. A dialog unit is 1.5 px wide and 1.625 px high at 96 DPI.

DU_X, DU_Y = 1.5, 1.625
SS = 4                              # supersampling factor for smooth edges

MAIN_SIZE = (700, 520)              # bitmap 130, template 102 (467 x 320 DU)
SETTINGS_SIZE = (551, 463)          # bitmap 132, template 131 (367 x 285 DU)
ABOUT_SIZE = (470, 293)             # bitmap 134, template 100 (313 x 181 DU)
BANNER_SIZE = (692, 102)            # bitmap 136, at (3, 18) DU in the main window
ICON_SIZES = (16, 32, 48, 256)
SETTINGS_TITLE_H = 34               # dark title bands of the dialogs; the main
ABOUT_TITLE_H = 30                  # window's ends where its banner begins

CLOSE_SIZE = (36, 26)
MIN_SIZE = (33, 23)
OPTION_SIZE = (35, 23)
WBUTTON_SIZE = (75, 23)
WHITE_SIZE = (75, 23)
TRANSPORT_SIZE = (36, 23)           # Record, Pause, Stop
CHECK_SIZE = (16, 16)

STATES = ("normal", "hover", "down", "disabled")

# Where the controls sit, in dialog units (x, y, w, h), per template. The
# panels of the backgrounds and the mock-up are placed from these.
MAIN_DU = {
    "option": (372, 0, 23, 14), "minimize": (403, 0, 22, 14), "close": (430, 0, 24, 16),
    "banner": (3, 18, 461, 63), "help": (17, 90, 410, 32),
    "client": (17, 132, 325, 24), "run_skype": (353, 132, 50, 14),
    "folder": (17, 163, 327, 29), "open_folder": (353, 163, 50, 14),
    "vstore": (17, 202, 328, 20), "open_vstore": (353, 202, 29, 17),
    "recording": (17, 230, 332, 17),
    "record": (183, 256, 22, 14), "pause": (225, 256, 25, 14), "stop": (265, 256, 24, 14),
    "info1": (9, 285, 440, 11), "info2": (9, 300, 178, 11), "info3": (220, 300, 178, 11),
    "title": (20, 5, 293, 10),
}
SETTINGS_DU = {
    "close": (329, 0, 20, 14), "title": (8, 5, 130, 12),
    "language_label": (25, 33, 34, 9), "language": (67, 31, 84, 87), "autorun": (25, 49, 259, 10),
    "group_record": (19, 66, 330, 141), "group_skype": (19, 212, 330, 42),
    "record_heading": (25, 67, 76, 9), "skype_heading": (25, 213, 76, 9),
    "wave_label": (25, 80, 77, 8), "wave_path": (105, 76, 183, 15), "browse": (291, 75, 50, 14),
    "way_label": (26, 99, 57, 8), "way": (105, 97, 130, 30), "format_label": (26, 118, 71, 8),
    "mp3": (105, 118, 35, 10), "ogg": (142, 118, 38, 10), "opus": (182, 118, 38, 10),
    "flac": (222, 118, 39, 10), "wma": (263, 118, 39, 10), "wav": (304, 118, 37, 10),
    "save_lf": (25, 135, 297, 10), "auto_record": (25, 149, 221, 10),
    "open_after": (25, 163, 310, 10), "tray_status": (25, 177, 293, 10),
    "saved_notice": (25, 191, 293, 10),
    "hide_skype": (25, 226, 284, 10), "close_quality": (25, 240, 297, 10),
    "ok": (104, 260, 50, 14), "cancel": (169, 260, 50, 14), "apply": (233, 260, 50, 14),
}
ABOUT_DU = {
    "close": (277, 0, 22, 14), "ok": (250, 155, 50, 16), "title": (8, 5, 65, 8),
    "version": (16, 30, 276, 13), "copyright": (16, 46, 254, 13), "support": (16, 70, 253, 18),
    "contact1": (67, 88, 233, 11), "contact2": (67, 105, 176, 15), "contact3": (67, 121, 202, 17),
}

FONT_BOLD = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"
FONT_PLAIN = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"
FONT_CJK = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc"


def px(box, du_x=DU_X, du_y=DU_Y):
    """A dialog-unit box (x, y, w, h) as a pixel box (left, top, right, bottom),
    by default at 96 DPI."""
    x, y, w, h = box
    return (round(x * du_x), round(y * du_y), round((x + w) * du_x), round((y + h) * du_y))


# ---------------------------------------------------------------------------
# Drawing helpers. Shapes are drawn SS times larger and reduced with an area
# average, which smooths their edges.

def mix(a, b, t):
    return tuple(round(a[i] + (b[i] - a[i]) * t) for i in range(3))


def vertical_gradient(size, top, bottom):
    w, h = size
    img = Image.new("RGB", size)
    draw = ImageDraw.Draw(img)
    for y in range(h):
        draw.line([(0, y), (w, y)], fill=mix(top, bottom, y / max(1, h - 1)))
    return img


def hi(box):
    return [round(v * SS) for v in box]


def reduce(img, size):
    return img.resize(size, Image.BOX)


def key_outside(rgb_hi, mask_hi, size):
    """Reduces a supersampled drawing and its shape mask; every pixel that the
    shape covers less than half becomes exact magenta."""
    rgb = reduce(rgb_hi, size)
    keep = reduce(mask_hi, size).point(lambda v: 255 if v >= 128 else 0)
    return Image.composite(rgb, Image.new("RGB", size, MAGENTA), keep)


def draw_face(canvas, box, radius, top, bottom, border, border_px=1.0):
    """A rounded rectangle with a border and a vertical gradient inside, on a
    supersampled canvas (box and sizes in final pixels)."""
    x0, y0, x1, y1 = box
    ImageDraw.Draw(canvas).rounded_rectangle(hi(box), radius * SS, fill=border)
    inner = hi((x0 + border_px, y0 + border_px, x1 - border_px, y1 - border_px))
    mask = Image.new("L", canvas.size, 0)
    ImageDraw.Draw(mask).rounded_rectangle(inner, max(0, radius - border_px) * SS, fill=255)
    grad = Image.new("RGB", canvas.size)
    gd = ImageDraw.Draw(grad)
    for y in range(inner[1], inner[3] + 1):
        gd.line([(0, y), (grad.width, y)], fill=mix(top, bottom, (y - inner[1]) / max(1, inner[3] - inner[1])))
    canvas.paste(grad, (0, 0), mask)


def new_canvas(size, under):
    """A supersampled canvas filled with what lies under the image: a colour,
    or a band (top, bottom colour, its height in pixels) measured from y 0."""
    w, h = size
    if isinstance(under[0], tuple):
        top, bottom, band_h = under
        band = vertical_gradient((w * SS, band_h * SS), top, bottom)
        canvas = Image.new("RGB", (w * SS, h * SS), bottom)
        canvas.paste(band.crop((0, 0, w * SS, min(h, band_h) * SS)), (0, 0))
        return canvas
    return Image.new("RGB", (w * SS, h * SS), under)


def shape_mask(size, box, radius):
    mask = Image.new("L", (size[0] * SS, size[1] * SS), 0)
    ImageDraw.Draw(mask).rounded_rectangle(hi(box), radius * SS, fill=255)
    return mask


# ---------------------------------------------------------------------------
# Buttons.

def caption_button(size, faces, state, under):
    """A light button with room for the program's black caption."""
    canvas = new_canvas(size, under)
    box = (0, 0, size[0], size[1])
    top, bottom, border = faces[state]
    draw_face(canvas, box, 5, top, bottom, border)
    if state == "down":
        # Pressed: a soft shadow along the inner top edge.
        shade = Image.new("L", canvas.size, 0)
        ImageDraw.Draw(shade).rounded_rectangle(hi((1, 1, size[0] - 1, 4)), 4 * SS, fill=60)
        shade = shade.filter(ImageFilter.GaussianBlur(SS))
        shade = Image.composite(shade, Image.new("L", canvas.size, 0), shape_mask(size, (1, 1, size[0] - 1, size[1] - 1), 4))
        canvas.paste((60, 72, 92), (0, 0), shade)
    elif state in ("normal", "hover"):
        # A one-pixel highlight just inside the top edge.
        ImageDraw.Draw(canvas).line(hi((4, 1.5, size[0] - 4, 1.5)), fill=(255, 255, 255), width=SS)
    return key_outside(canvas, shape_mask(size, box, 5), size)


def glyph_close(draw, size, colour, dy):
    cx, cy = size[0] / 2, size[1] / 2 + dy
    r = 4.5
    for sx in (-1, 1):
        draw.line(hi((cx - r, cy - r * sx, cx + r, cy + r * sx)), fill=colour, width=round(1.8 * SS))


def glyph_minimize(draw, size, colour, dy):
    cx, cy = size[0] / 2, size[1] / 2 + dy
    draw.rounded_rectangle(hi((cx - 5.5, cy + 2, cx + 5.5, cy + 4)), SS, fill=colour)


def glyph_menu(draw, size, colour, dy):
    cx, cy = size[0] / 2, size[1] / 2 + dy
    for oy in (-4.5, -0.5, 3.5):
        draw.rounded_rectangle(hi((cx - 6, cy + oy, cx + 6, cy + oy + 2)), SS, fill=colour)


def title_button(size, glyph, state, is_close=False):
    """A glyph button on the dark title band; the band shows at its corners."""
    under = (TITLE_TOP, TITLE_BOTTOM, px(MAIN_DU["banner"])[1])
    canvas = new_canvas(size, under)
    face, ink = TITLE_FACE[state]
    if is_close and state == "hover":
        face, ink = CLOSE_HOVER
    elif is_close and state == "down":
        face, ink = CLOSE_DOWN
    box = (1, 1, size[0] - 1, size[1] - 1)
    draw = ImageDraw.Draw(canvas)
    draw.rounded_rectangle(hi(box), 5 * SS, fill=face)
    glyph(draw, size, ink, 1 if state == "down" else 0)
    return key_outside(canvas, shape_mask(size, box, 5), size)


def transport_button(size, kind, state):
    """Record, Pause or Stop: a pill with a glyph and no caption."""
    canvas = new_canvas(size, TRAY)
    box = (0, 0, size[0], size[1])
    top, bottom, border = LIGHT_FACE[state]
    radius = size[1] / 2
    draw_face(canvas, box, radius, top, bottom, border)
    draw = ImageDraw.Draw(canvas)
    cx, cy = size[0] / 2, size[1] / 2
    disabled = state == "disabled"
    if kind == "record":
        colour = INK_DISABLED if disabled else (RECORD_RED_HOVER if state == "hover" else RECORD_RED)
        r = 6
        draw.ellipse(hi((cx - r, cy - r, cx + r, cy + r)), fill=colour)
    elif kind == "pause":
        colour = INK_DISABLED if disabled else (ACCENT if state == "hover" else INK)
        for x0 in (cx - 5, cx + 1):
            draw.rounded_rectangle(hi((x0, cy - 5.5, x0 + 4, cy + 5.5)), SS, fill=colour)
    else:
        colour = INK_DISABLED if disabled else (ACCENT if state == "hover" else INK)
        draw.rounded_rectangle(hi((cx - 5.5, cy - 5.5, cx + 5.5, cy + 5.5)), 1.5 * SS, fill=colour)
    return key_outside(canvas, shape_mask(size, box, radius), size)


def check_box(checked, state):
    size = CHECK_SIZE
    canvas = new_canvas(size, CARD)
    face, border, tick = CHECK[(checked, state)]
    box = (1, 1, size[0] - 1, size[1] - 1)
    draw_face(canvas, box, 3, face, face, border, border_px=1.2)
    if tick:
        draw = ImageDraw.Draw(canvas)
        points = [hi((4.2, 8.2)), hi((6.8, 10.9)), hi((11.8, 5.2))]
        draw.line([tuple(p) for p in points], fill=tick, width=round(2 * SS), joint="curve")
    return key_outside(canvas, shape_mask(size, box, 3), size)


def button_images():
    """Every image file under Image\\, by file name."""
    images = {}
    band_names = (("Close", CLOSE_SIZE, glyph_close, True),
                  ("min", MIN_SIZE, glyph_minimize, False),
                  ("Help", OPTION_SIZE, glyph_menu, False))
    suffix = {"normal": "normal", "hover": "on", "down": "down", "disabled": "disable"}
    for name, size, glyph, is_close in band_names:
        for state in STATES:
            images[f"{name}_{suffix[state]}.bmp"] = title_button(size, glyph, state, is_close)
    for state in STATES:
        images[f"white_{suffix[state]}.bmp"] = caption_button(WHITE_SIZE, LIGHT_FACE, state, CARD)
    wbutton = {"normal": "Wbutton1.png", "hover": "Wbutton1_on.png",
               "down": "Wbutton1_down.png", "disabled": "Wbutton1_dis.png"}
    for state, name in wbutton.items():
        images[name] = caption_button(WBUTTON_SIZE, TINTED_FACE, state, CARD)
    # Record, Pause and Stop show their normal image while pressed.
    for kind, base in (("record", "Record"), ("pause", "Pause"), ("stop", "Stop")):
        images[f"{base}.png"] = transport_button(TRANSPORT_SIZE, kind, "normal")
        images[f"{base}_On.png"] = transport_button(TRANSPORT_SIZE, kind, "hover")
        images[f"{base}_Disable.png"] = transport_button(TRANSPORT_SIZE, kind, "disabled")
    # The unchecked disabled image is "disabled", the checked one "disable".
    check_suffix = {"normal": "normal", "hover": "on", "down": "down"}
    for checked in ("on", "off"):
        for state in STATES:
            if state == "disabled":
                tail = "disable" if checked == "on" else "disabled"
            else:
                tail = check_suffix[state]
            images[f"CheckBox_{checked}_{tail}.bmp"] = check_box(checked, state)
    return images


# ---------------------------------------------------------------------------
# Backgrounds and banner.

def title_band(canvas, height):
    band = vertical_gradient((canvas.width, height * SS), TITLE_TOP, TITLE_BOTTOM)
    canvas.paste(band, (0, 0))


def card(canvas, box, radius=8):
    """A light panel with a soft shadow below it (box in final pixels)."""
    shadow = Image.new("L", canvas.size, 0)
    x0, y0, x1, y1 = box
    ImageDraw.Draw(shadow).rounded_rectangle(hi((x0, y0 + 2, x1, y1 + 2)), radius * SS, fill=46)
    shadow = shadow.filter(ImageFilter.GaussianBlur(3 * SS))
    canvas.paste((70, 86, 110), (0, 0), shadow)
    draw_face(canvas, box, radius, CARD, CARD, CARD_EDGE, border_px=1.5)


def body(size, title_h, accent_h=0):
    """The light body under a dark title band, optionally with a blue line
    along the band's foot that echoes the main window's banner band."""
    canvas = vertical_gradient((size[0] * SS, size[1] * SS), BODY_TOP, BODY_BOTTOM)
    title_band(canvas, title_h)
    if accent_h:
        ImageDraw.Draw(canvas).rectangle(hi((0, title_h, size[0], title_h + accent_h)), fill=HERO_TOP)
    return canvas


def hero_band(width, height):
    """The banner band of the main window: the banner bitmap sits on it and
    ends in exactly these colours, so where the window is wider than the
    banner the band carries on seamlessly."""
    return vertical_gradient((width, height), HERO_TOP, HERO_BOTTOM)


def main_background():
    w, h = MAIN_SIZE
    banner = px(MAIN_DU["banner"])
    canvas = body(MAIN_SIZE, banner[1])
    hero = hero_band(w * SS, BANNER_SIZE[1] * SS)
    canvas.paste(hero, (0, banner[1] * SS))
    # Status panel: from above the client line to below the recording line,
    # with the action buttons inside on the right.
    status_top = px(MAIN_DU["client"])[1] - 8
    status_bottom = px(MAIN_DU["recording"])[3] + 5
    card(canvas, (10, status_top, w - 10, status_bottom))
    # A tray under Record, Pause and Stop.
    rec, stop = px(MAIN_DU["record"]), px(MAIN_DU["stop"])
    tray_top = rec[1] - 5
    tray = (rec[0] - 14, tray_top, stop[0] + TRANSPORT_SIZE[0] + 14, tray_top + TRANSPORT_SIZE[1] + 10)
    draw_face(canvas, tray, (tray[3] - tray[1]) / 2, TRAY, TRAY, (206, 215, 227), border_px=1.5)
    # Footer band behind the information lines.
    footer_top = px(MAIN_DU["info1"])[1] - 7
    draw = ImageDraw.Draw(canvas)
    draw.rectangle(hi((0, footer_top, w, h)), fill=FOOTER)
    draw.rectangle(hi((0, footer_top, w, footer_top + 2)), fill=FOOTER_EDGE)
    return reduce(canvas, MAIN_SIZE)


def banner():
    w, h = BANNER_SIZE
    canvas = hero_band(w * SS, h * SS)
    # A record dot in a ring, as on the icon.
    draw = ImageDraw.Draw(canvas)
    cx, cy = 52, h / 2
    draw.ellipse(hi((cx - 30, cy - 30, cx + 30, cy + 30)), fill=(255, 255, 255))
    draw.ellipse(hi((cx - 26, cy - 26, cx + 26, cy + 26)), fill=HERO_BOTTOM)
    draw.ellipse(hi((cx - 17, cy - 17, cx + 17, cy + 17)), fill=RECORD_RED)
    # The product name.
    font = ImageFont.truetype(FONT_BOLD, 34 * SS)
    draw.text(hi((100, h / 2 + 1)), "Calvoro Record", font=font, fill=(255, 255, 255), anchor="lm")
    # A waveform of rounded bars that fades into the band towards the right.
    bars = Image.new("L", canvas.size, 0)
    bd = ImageDraw.Draw(bars)
    x, n = 400.0, 0
    while x < w - 40:
        t = (x - 400) / (w - 440)
        amp = (10 + 26 * abs(math.sin(n * 0.55) * math.cos(n * 0.17 + 0.6))) * (1 - 0.55 * t)
        alpha = round(200 * (1 - t) ** 1.6)
        bd.rounded_rectangle(hi((x, h / 2 - amp, x + 4, h / 2 + amp)), 2 * SS, fill=alpha)
        x += 8
        n += 1
    canvas.paste(ACCENT_LIGHT, (0, 0), bars)
    return reduce(canvas, BANNER_SIZE)


def settings_background():
    """The body with one panel per group of settings. The panels are the only
    frame of a group (the dialog shows the group's caption as a heading inside
    its panel, no group box): each starts 5 px above its group's box, which
    leaves the heading room below the panel's edge, and the first panel ends
    6 px below its last check box, so that the two panels stay apart."""
    canvas = body(SETTINGS_SIZE, SETTINGS_TITLE_H, 3)
    last_box = px(SETTINGS_DU["saved_notice"])[1] + CHECK_SIZE[1]
    for group, bottom in (("group_record", last_box + 6), ("group_skype", None)):
        x0, y0, x1, y1 = px(SETTINGS_DU[group])
        card(canvas, (x0 - 6, y0 - 5, x1 + 6, bottom or y1 + 2))
    return reduce(canvas, SETTINGS_SIZE)


def about_background():
    w, h = ABOUT_SIZE
    canvas = body(ABOUT_SIZE, ABOUT_TITLE_H, 3)
    card(canvas, (10, ABOUT_TITLE_H + 8, w - 10, h - 10))
    # Faint sound rings left of the contact lines.
    rings = Image.new("L", canvas.size, 0)
    rd = ImageDraw.Draw(rings)
    cx, cy = 52, 200
    for r, a in ((34, 40), (24, 60)):
        rd.ellipse(hi((cx - r, cy - r, cx + r, cy + r)), outline=a, width=3 * SS)
    rd.ellipse(hi((cx - 12, cy - 12, cx + 12, cy + 12)), fill=70)
    canvas.paste(ACCENT, (0, 0), rings)
    return reduce(canvas, ABOUT_SIZE)


# ---------------------------------------------------------------------------
# Icon.

def icon_image(n):
    """The application icon at n x n pixels, RGBA: a dark rounded tile with a
    white ring and the coral record dot."""
    s = n * SS
    tile = vertical_gradient((s, s), (52, 96, 160), HERO_BOTTOM).convert("RGBA")
    mask = Image.new("L", (s, s), 0)
    inset = 0 if n <= 16 else n / 32
    ImageDraw.Draw(mask).rounded_rectangle(
        hi((inset, inset, n - inset, n - inset)), n * 0.22 * SS, fill=255)
    tile.putalpha(mask)
    draw = ImageDraw.Draw(tile)
    c = n / 2
    ring_outer, ring_inner, dot = (0.36, 0.27, 0.19) if n > 16 else (0.40, 0.29, 0.22)
    draw.ellipse(hi((c - n * ring_outer, c - n * ring_outer, c + n * ring_outer, c + n * ring_outer)),
                 fill=(255, 255, 255, 255))
    draw.ellipse(hi((c - n * ring_inner, c - n * ring_inner, c + n * ring_inner, c + n * ring_inner)),
                 fill=HERO_BOTTOM + (255,))
    draw.ellipse(hi((c - n * dot, c - n * dot, c + n * dot, c + n * dot)), fill=RECORD_RED + (255,))
    return tile.resize((n, n), Image.BOX)


def ico_bytes(images):
    """An .ico file: the small sizes as 32-bit DIBs with an AND mask, the
    256-pixel image as PNG, the usual layout since Windows Vista."""
    entries = []
    for img in images:
        n = img.width
        if n >= 256:
            buf = io.BytesIO()
            img.save(buf, "PNG", optimize=True)
            entries.append((n, buf.getvalue()))
            continue
        header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 32, 0, 0, 0, 0, 0, 0)
        rows = []
        mask_rows = []
        mask_stride = ((n + 31) // 32) * 4
        for y in range(n - 1, -1, -1):
            row = bytearray()
            bits = bytearray(mask_stride)
            for x in range(n):
                r, g, b, a = img.getpixel((x, y))
                row += bytes((b, g, r, a))
                if a == 0:
                    bits[x // 8] |= 0x80 >> (x % 8)
            rows.append(bytes(row))
            mask_rows.append(bytes(bits))
        entries.append((n, header + b"".join(rows) + b"".join(mask_rows)))
    out = struct.pack("<HHH", 0, 1, len(entries))
    offset = 6 + 16 * len(entries)
    for n, data in entries:
        dim = 0 if n >= 256 else n
        out += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in entries)


# ---------------------------------------------------------------------------
# Contact sheet and mock-up.

def contact_sheet(images, resources, icons):
    """Every generated image with its name on a neutral grey: buttons twice
    their size (magenta shown as it is), backgrounds at half size."""
    grey = (128, 128, 128)
    label = ImageFont.truetype(FONT_PLAIN, 12)
    heading = ImageFont.truetype(FONT_BOLD, 15)
    width = 1500
    cells = []  # (section, name, picture, caption)
    for name, img in images.items():
        section = "Check boxes" if name.startswith("CheckBox") else "Buttons (shown at 2x)"
        cells.append((section, name, img.resize((img.width * 2, img.height * 2), Image.NEAREST),
                      f"{img.width} x {img.height}"))
    for name, img in resources.items():
        cells.append(("Bitmap resources (shown at 1/2)", name,
                      img.resize((img.width // 2, img.height // 2), Image.BOX), f"{img.width} x {img.height}"))
    for img in icons:
        shown = Image.new("RGB", img.size, grey)
        shown.paste(img, (0, 0), img)
        cells.append(("Application icon", "CalvoroRecord.ico", shown, f"{img.width} x {img.height}"))

    # Lay out row by row, a new heading for each section.
    placed, x, y, row_h, section = [], 20, 10, 0, None
    for sec, name, pic, caption in cells:
        cell_w = max(pic.width, 150)
        if sec != section:
            y += row_h + (14 if section else 0)
            placed.append(("heading", sec, (20, y)))
            y += 26
            x, row_h, section = 20, 0, sec
        if x + cell_w > width - 20:
            x, y, row_h = 20, y + row_h, 0
        placed.append(("cell", (name, pic, caption), (x, y)))
        row_h = max(row_h, pic.height + 40)
        x += cell_w + 18
    sheet = Image.new("RGB", (width, y + row_h + 10), grey)
    draw = ImageDraw.Draw(sheet)
    for kind, what, (x, y) in placed:
        if kind == "heading":
            draw.text((x, y), what, font=heading, fill=(255, 255, 255))
        else:
            name, pic, caption = what
            sheet.paste(pic, (x, y))
            draw.text((x, y + pic.height + 4), name, font=label, fill=(255, 255, 255))
            draw.text((x, y + pic.height + 19), caption, font=label, fill=(226, 226, 226))
    return sheet


def language_texts(path, section="Chs"):
    texts, current = {}, None
    try:
        with open(path, encoding="utf-8-sig") as f:
            lines = f.read().splitlines()
    except (OSError, UnicodeDecodeError):
        with open(path, encoding="utf-16") as f:
            lines = f.read().splitlines()
    for line in lines:
        line = line.strip()
        if line.startswith("["):
            current = line.strip("[]")
        elif current == section and "=" in line:
            key, value = line.split("=", 1)
            texts[key] = value
    return texts


class MockWindow:
    """One window of the mock-up: its background at the window's size, and
    helpers that place texts and image buttons at dialog-unit positions."""

    def __init__(self, background, size, du_x, images):
        self.img = background.resize(size, Image.BILINEAR) if background.size != size else background.copy()
        self.draw = ImageDraw.Draw(self.img)
        self.du_x, self.images = du_x, images
        self.fonts = {}

    def font(self, height):
        if height not in self.fonts:
            self.fonts[height] = ImageFont.truetype(FONT_CJK, height)
        return self.fonts[height]

    def box(self, du):
        return px(du, self.du_x)

    def text(self, du, s, colour, height=16):
        """A label's text, wrapped at the label's width."""
        x0, y0, x1, y1 = self.box(du)
        font, line, y = self.font(height), "", y0
        for ch in s:
            if line and self.draw.textlength(line + ch, font=font) > x1 - x0:
                self.draw.text((x0, y), line, font=font, fill=colour)
                line, y = "", y + height + 2
            line += ch
        self.draw.text((x0, y), line, font=font, fill=colour)

    def button(self, du, name, label=None, left=False):
        x0, y0 = self.box(du)[:2]
        img = self.images[name]
        mask = Image.new("L", img.size)
        mask.putdata([0 if p == MAGENTA else 255 for p in img.getdata()])
        self.img.paste(img, (x0, y0), mask)
        if label and left:
            self.draw.text((x0 + 22, y0 + img.height / 2), label, font=self.font(15), fill=(0, 0, 0), anchor="lm")
        elif label:
            self.draw.text((x0 + img.width / 2, y0 + img.height / 2), label, font=self.font(14),
                           fill=(0, 0, 0), anchor="mm")


def mock_main(images, resources, icon, texts, size, du_x):
    w = MockWindow(resources["IDB_MAIN_BACKGROUND (130)"], size, du_x, images)
    w.img.paste(resources["IDB_BANNER (136)"], w.box(MAIN_DU["banner"])[:2])
    w.img.paste(icon, w.box((6, 4, 0, 0))[:2], icon)
    t = texts.get
    w.text(MAIN_DU["title"], t("Main_Caption", "Calvoro Record"), (192, 192, 192), 13)
    w.text(MAIN_DU["help"], t("Help_Info", "").replace("%s", "support@calvoro.example"), (128, 0, 255), 15)
    w.text(MAIN_DU["client"], t("Skype_Status_4", "").replace("%s", "alice"), (0, 128, 0))
    w.text(MAIN_DU["folder"], "录音文件夹：C:\\Records（剩余 12.3 GB）", (0, 128, 0))
    w.text(MAIN_DU["vstore"], t("Win7_VirtualStore_Prompt", ""), (0, 0, 128))
    w.text(MAIN_DU["recording"], "正在录音：alice 00:01:23", (0, 128, 0))
    for key in ("info1", "info2", "info3"):
        w.text(MAIN_DU[key], t("Business_Info_" + key[-1], ""), (15, 19, 121))
    w.button(MAIN_DU["option"], "Help_normal.bmp")
    w.button(MAIN_DU["minimize"], "min_on.bmp")
    w.button(MAIN_DU["close"], "Close_normal.bmp")
    w.button(MAIN_DU["run_skype"], "Wbutton1.png", t("Button_Open_Skype"))
    w.button(MAIN_DU["open_folder"], "Wbutton1_on.png", t("Button_Open_Record_Folder"))
    w.button(MAIN_DU["open_vstore"], "Wbutton1_dis.png", t("Button_Open_VirtualStore"))
    w.button(MAIN_DU["record"], "Record_Disable.png")
    w.button(MAIN_DU["pause"], "Pause.png")
    w.button(MAIN_DU["stop"], "Stop_On.png")
    return w.img


def mock_settings(images, resources, texts):
    w = MockWindow(resources["IDB_SETTING_BACKGROUND (132)"], SETTINGS_SIZE, DU_X, images)
    t = texts.get
    w.text(SETTINGS_DU["title"], t("Menu_Setting", "Setting"), (192, 192, 192), 13)
    for key, label in (("language_label", "语言"), ("wave_label", "录音文件夹"),
                       ("way_label", "录音方式"), ("format_label", "录音格式")):
        w.text(SETTINGS_DU[key], label, (0, 0, 0), 13)
    # The groups' headings in their panels, and stand-ins for the platform's
    # own lists and edit field.
    for heading, label in (("record_heading", "录音设置"), ("skype_heading", "Skype 设置")):
        x0, y0 = w.box(SETTINGS_DU[heading])[:2]
        for dx in (0, 1):  # bold, as the dialog draws them
            w.draw.text((x0 + dx, y0), label, font=w.font(13), fill=(0, 0, 0))
    for key in ("wave_path", "language", "way"):
        x0, y0, x1, y1 = w.box(SETTINGS_DU[key])
        w.draw.rounded_rectangle((x0, y0, x1, min(y1, y0 + 22)), 3, fill=(255, 255, 255), outline=(127, 157, 185))
    w.button(SETTINGS_DU["close"], "Close_on.bmp")
    checks = (("autorun", "CheckBox_on_normal.bmp", t("Button_AutoRun")),
              ("mp3", "CheckBox_on_normal.bmp", "MP3"), ("wma", "CheckBox_off_normal.bmp", "WMA"),
              ("ogg", "CheckBox_off_on.bmp", "OGG"), ("opus", "CheckBox_on_normal.bmp", "Opus"),
              ("flac", "CheckBox_on_on.bmp", "FLAC"),
              ("wav", "CheckBox_off_down.bmp", "WAV"),
              ("save_lf", "CheckBox_off_normal.bmp", "左右声道分开保存"),
              ("auto_record", "CheckBox_on_down.bmp", t("Button_Auto_Record")),
              ("open_after", "CheckBox_off_disabled.bmp", t("Button_Auto_Open_Record_Folder")),
              ("tray_status", "CheckBox_on_disable.bmp", "在托盘上显示录音状态"),
              ("saved_notice", "CheckBox_on_normal.bmp", t("Button_Show_Saved_Notice")),
              ("hide_skype", "CheckBox_off_normal.bmp", "通话时隐藏 Skype 窗口"),
              ("close_quality", "CheckBox_on_normal.bmp", "关闭 Skype 通话质量窗口"))
    for key, name, label in checks:
        w.button(SETTINGS_DU[key], name, label, left=True)
    w.button(SETTINGS_DU["browse"], "white_normal.bmp", t("Button_Browse"))
    w.button(SETTINGS_DU["ok"], "white_on.bmp", t("Button_OK"))
    w.button(SETTINGS_DU["cancel"], "white_down.bmp", t("Button_Cancel"))
    w.button(SETTINGS_DU["apply"], "white_disable.bmp", t("Button_Apply"))
    return w.img


def mock_about(images, resources, texts):
    w = MockWindow(resources["IDB_ABOUT_BACKGROUND (134)"], ABOUT_SIZE, DU_X, images)
    t = texts.get
    w.text(ABOUT_DU["title"], t("About", "About"), (192, 192, 192), 13)
    w.text(ABOUT_DU["version"], t("About_Version", "%s").replace("%s", "1.0.0.110801"), (0, 0, 0))
    w.text(ABOUT_DU["copyright"], "版权所有 © Calvoro 2011", (0, 0, 0))
    w.text(ABOUT_DU["support"], t("About_Support", ""), (0, 128, 0))
    for key, line in (("contact1", "support@calvoro.example"), ("contact2", "+1 555 0100"),
                      ("contact3", "www.calvoro.example")):
        w.text(ABOUT_DU[key], line, (128, 0, 128))
    w.button(ABOUT_DU["close"], "Close_down.bmp")
    w.button(ABOUT_DU["ok"], "white_normal.bmp", t("Button_OK"))
    return w.img


def mockup(images, resources, icon, texts):
    """The windows with every image button at its template position, in
    assorted states, and sample texts in the program's label colours: the
    main window at 96 DPI and at wine's dialog-unit size (1.75 px per unit
    across, the background stretched to 817 x 520), the settings and about
    dialogs at 96 DPI."""
    windows = [
        (mock_main(images, resources, icon, texts, MAIN_SIZE, DU_X), "main window, 96 DPI"),
        (mock_main(images, resources, icon, texts, (817, 520), 1.75), "main window under wine"),
        (mock_settings(images, resources, texts), "settings"),
        (mock_about(images, resources, texts), "about"),
    ]
    gap, label_h = 24, 20
    col2 = gap + MAIN_SIZE[0] + gap
    places = [(gap, gap + label_h), (col2, gap + label_h),
              (gap, 2 * gap + 2 * label_h + MAIN_SIZE[1]), (col2, 2 * gap + 2 * label_h + MAIN_SIZE[1])]
    desk = Image.new("RGB", (col2 + 817 + gap, places[2][1] + SETTINGS_SIZE[1] + gap), (128, 128, 128))
    draw = ImageDraw.Draw(desk)
    font = ImageFont.truetype(FONT_PLAIN, 13)
    for (window, name), (x, y) in zip(windows, places):
        # The windows' region rounds their corners with a 4 x 4 ellipse.
        corners = Image.new("L", window.size, 0)
        ImageDraw.Draw(corners).rounded_rectangle((0, 0, window.width - 1, window.height - 1), 2, fill=255)
        desk.paste(window, (x, y), corners)
        draw.text((x, y - label_h), f"{name}, {window.width} x {window.height}", font=font, fill=(255, 255, 255))
    return desk


# ---------------------------------------------------------------------------

def save_bmp(img, path):
    img.convert("RGB").save(path, "BMP")   # RGB is written as 24 bits per pixel


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--out", default=os.path.normpath(os.path.join(here, "..", "..")),
                        help="top folder to write into (default: this repository)")
    args = parser.parse_args()
    image_dir = os.path.join(args.out, "dist", "Image")
    res_dir = os.path.join(args.out, "app", "res")
    docs_dir = os.path.join(args.out, "docs")
    for d in (image_dir, res_dir, docs_dir):
        os.makedirs(d, exist_ok=True)

    images = button_images()
    for name, img in images.items():
        path = os.path.join(image_dir, name)
        if name.endswith(".bmp"):
            save_bmp(img, path)
        else:
            img.save(path, "PNG", optimize=True)

    resources = {
        "IDB_MAIN_BACKGROUND (130)": (main_background(), "main_background.bmp"),
        "IDB_SETTING_BACKGROUND (132)": (settings_background(), "setting_background.bmp"),
        "IDB_ABOUT_BACKGROUND (134)": (about_background(), "about_background.bmp"),
        "IDB_BANNER (136)": (banner(), "banner.bmp"),
    }
    for img, file_name in resources.values():
        save_bmp(img, os.path.join(res_dir, file_name))
    resources = {f"{file_name}, {label}": img for label, (img, file_name) in resources.items()}

    icons = [icon_image(n) for n in ICON_SIZES]
    with open(os.path.join(res_dir, "CalvoroRecord.ico"), "wb") as f:
        f.write(ico_bytes(icons))

    contact_sheet(images, resources, icons).save(
        os.path.join(docs_dir, "skin-contact-sheet.png"), "PNG", optimize=True)
    by_id = {label.split(", ", 1)[1]: img for label, img in resources.items()}
    texts = language_texts(os.path.join(here, "..", "..", "dist", "Language", "Language.ini"))
    mockup(images, by_id, icons[0], texts).save(os.path.join(docs_dir, "skin-mockup.png"), "PNG", optimize=True)
    print(f"wrote {len(images)} images to {image_dir}, 4 bitmaps and the icon to {res_dir}, "
          f"the contact sheet and mock-up to {docs_dir}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
