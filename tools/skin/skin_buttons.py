"""The skin's buttons and check boxes: every image file under Image\\
(tools/skin/make_skin.py)."""

from PIL import Image, ImageDraw, ImageFilter

from skin_drawing import draw_face, hi, key_outside, new_canvas, shape_mask
from skin_palette import (
    ACCENT, CARD, CHECK, CHECK_SIZE, CLOSE_DOWN, CLOSE_HOVER, CLOSE_SIZE, INK, INK_DISABLED, LIGHT_FACE,
    MAIN_DU, MIN_SIZE, OPTION_SIZE, RECORD_RED, RECORD_RED_HOVER, SS, STATES, TINTED_FACE, TITLE_BOTTOM,
    TITLE_FACE, TITLE_TOP, TRANSPORT_SIZE, TRAY, WBUTTON_SIZE, WHITE_SIZE, px)


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
