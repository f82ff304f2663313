"""The windows' backgrounds and the main window's banner, the bitmap resources
under app/res/ (tools/skin/make_skin.py)."""

import math

from PIL import Image, ImageDraw, ImageFilter, ImageFont

from skin_drawing import draw_face, hi, reduce, vertical_gradient
from skin_palette import (
    ABOUT_SIZE, ABOUT_TITLE_H, ACCENT, ACCENT_LIGHT, BANNER_SIZE, BODY_BOTTOM, BODY_TOP, CARD, CARD_EDGE,
    CHECK_SIZE, FONT_BOLD, FOOTER, FOOTER_EDGE, HERO_BOTTOM, HERO_TOP, MAIN_DU, MAIN_SIZE, RECORD_RED,
    SETTINGS_DU, SETTINGS_SIZE, SETTINGS_TITLE_H, SS, TITLE_BOTTOM, TITLE_TOP, TRANSPORT_SIZE, TRAY, px)


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
