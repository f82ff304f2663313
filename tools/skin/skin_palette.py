"""The skin's colours and sizes, and where the controls of each dialog template
sit: everything a change of look starts from (tools/skin/make_skin.py)."""

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
