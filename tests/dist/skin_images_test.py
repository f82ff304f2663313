#!/usr/bin/python3
"""Checks the skin as the program will load it: every file that the windows
name under Image\\ in its format, the bitmap resources and the icon at their
sizes, the colour key, the four button states, readable texts over the
backgrounds, buttons that fit their windows, and that the committed files
are what tools/skin/make_skin.py draws today.

Usage: skin_images_test.py [repository top]   (default: two folders up)
"""

import os
import subprocess
import sys
import tempfile
import unittest

from PIL import Image

TOP = os.path.abspath(sys.argv.pop(1) if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", ".."))
IMAGE_DIR = os.path.join(TOP, "dist", "Image")
RES_DIR = os.path.join(TOP, "app", "res")
MAGENTA = (255, 0, 255)

# The files the windows load, per button: normal, hover, down, disabled.
BUTTONS = {
    "close": ("Close_normal.bmp", "Close_on.bmp", "Close_down.bmp", "Close_disable.bmp"),
    "minimize": ("min_normal.bmp", "min_on.bmp", "min_down.bmp", "min_disable.bmp"),
    "option": ("Help_normal.bmp", "Help_on.bmp", "Help_down.bmp", "Help_disable.bmp"),
    "wbutton": ("Wbutton1.png", "Wbutton1_on.png", "Wbutton1_down.png", "Wbutton1_dis.png"),
    "record": ("Record.png", "Record_On.png", "Record.png", "Record_Disable.png"),
    "pause": ("Pause.png", "Pause_On.png", "Pause.png", "Pause_Disable.png"),
    "stop": ("Stop.png", "Stop_On.png", "Stop.png", "Stop_Disable.png"),
    "white": ("white_normal.bmp", "white_on.bmp", "white_down.bmp", "white_disable.bmp"),
    "check_on": ("CheckBox_on_normal.bmp", "CheckBox_on_on.bmp", "CheckBox_on_down.bmp", "CheckBox_on_disable.bmp"),
    "check_off": ("CheckBox_off_normal.bmp", "CheckBox_off_on.bmp", "CheckBox_off_down.bmp", "CheckBox_off_disabled.bmp"),
}
RESOURCES = {"main_background.bmp": (700, 520), "setting_background.bmp": (551, 463),
             "about_background.bmp": (470, 293), "banner.bmp": (692, 102)}

# Per window: its background, its template size in dialog units, the image
# buttons at their template positions and the labels drawn over the picture
# with their text colours (x, y, w, h in dialog units).
WINDOWS = {
    "main": ("main_background.bmp", (467, 320), {
        "close": [(430, 0)], "minimize": [(403, 0)], "option": [(372, 0)],
        "wbutton": [(353, 132), (353, 163), (353, 202)],
        "record": [(183, 256)], "pause": [(225, 256)], "stop": [(265, 256)],
    }, [((20, 5, 293, 10), (192, 192, 192)), ((17, 90, 410, 32), (128, 0, 255)),
        ((17, 132, 325, 24), (255, 0, 0)), ((17, 132, 325, 24), (0, 128, 0)),
        ((17, 163, 327, 29), (255, 0, 0)), ((17, 202, 328, 20), (0, 0, 128)),
        ((17, 230, 332, 17), (0, 128, 0)), ((17, 230, 332, 17), (255, 0, 0)),
        ((9, 285, 440, 11), (15, 19, 121)), ((9, 300, 178, 11), (15, 19, 121)),
        ((220, 300, 178, 11), (15, 19, 121))]),
    "settings": ("setting_background.bmp", (367, 261), {
        "close": [(329, 0)], "white": [(104, 238), (169, 238), (233, 238), (291, 69)],
        "check_on": [(25, 43), (105, 112), (149, 112), (197, 112), (243, 112), (290, 112), (25, 129),
                     (25, 143), (25, 157), (25, 171), (25, 206), (25, 220)],
    }, [((8, 5, 130, 12), (192, 192, 192)), ((25, 27, 34, 9), (0, 0, 0)), ((25, 74, 77, 8), (0, 0, 0)),
        ((26, 93, 57, 8), (0, 0, 0)), ((26, 112, 71, 8), (0, 0, 0)), ((25, 61, 76, 9), (0, 0, 0)),
        ((25, 193, 76, 9), (0, 0, 0))]),
    "about": ("about_background.bmp", (313, 181), {"close": [(277, 0)], "white": [(250, 155)]},
              [((8, 5, 65, 8), (192, 192, 192)), ((16, 30, 276, 13), (0, 0, 0)), ((16, 46, 254, 13), (0, 0, 0)),
               ((16, 70, 253, 18), (0, 128, 0)), ((67, 88, 233, 11), (128, 0, 128)),
               ((67, 105, 176, 15), (128, 0, 128)), ((67, 121, 202, 17), (128, 0, 128))]),
}
# Pixels per dialog unit at 96 DPI, and under wine (7 x 13 pixels per 4 x 8 units).
SCALES = {"96 DPI": (1.5, 1.625), "wine": (1.75, 1.625)}


def load(name):
    return Image.open(os.path.join(IMAGE_DIR, name))


def luminance(rgb):
    def channel(c):
        c /= 255
        return c / 12.92 if c <= 0.03928 else ((c + 0.055) / 1.055) ** 2.4
    r, g, b = (channel(c) for c in rgb[:3])
    return 0.2126 * r + 0.7152 * g + 0.0722 * b


def contrast(a, b):
    la, lb = sorted((luminance(a), luminance(b)), reverse=True)
    return (la + 0.05) / (lb + 0.05)


def mean_difference(a, b):
    pa, pb = a.convert("RGB").getdata(), b.convert("RGB").getdata()
    return sum(abs(x - y) for p, q in zip(pa, pb) for x, y in zip(p, q)) / (3 * len(pa))


class SkinFiles(unittest.TestCase):
    def test_every_named_file_is_there_and_nothing_else(self):
        named = {n for files in BUTTONS.values() for n in files}
        self.assertEqual(named, set(os.listdir(IMAGE_DIR)))
        for name in named:
            with load(name) as img:
                if name.endswith(".bmp"):
                    self.assertEqual((img.format, img.mode), ("BMP", "RGB"), name)
                    with open(os.path.join(IMAGE_DIR, name), "rb") as f:
                        header = f.read(34)
                    self.assertEqual((header[28], header[30]), (24, 0), f"{name}: 24 bits, uncompressed")
                else:
                    self.assertEqual(img.format, "PNG", name)
                    self.assertIn(img.mode, ("RGB", "RGBA"), name)

    def test_resource_bitmaps_and_icon(self):
        for name, size in RESOURCES.items():
            path = os.path.join(RES_DIR, name)
            with Image.open(path) as img, open(path, "rb") as f:
                self.assertEqual((img.format, img.size), ("BMP", size), name)
                self.assertEqual(f.read(30)[28], 24, name)
        with Image.open(os.path.join(RES_DIR, "CalvoroRecord.ico")) as ico:
            self.assertEqual(ico.ico.sizes(), {(n, n) for n in (16, 32, 48, 256)})
            for n in (16, 256):
                frame = ico.ico.getimage((n, n)).convert("RGBA")
                self.assertEqual(frame.getpixel((0, 0))[3], 0, f"{n} px: transparent corner")
                self.assertEqual(frame.getpixel((n // 2, n // 2))[3], 255, f"{n} px: opaque centre")

    def test_colour_key_is_exact(self):
        paths = [os.path.join(IMAGE_DIR, n) for n in os.listdir(IMAGE_DIR)]
        paths += [os.path.join(RES_DIR, n) for n in RESOURCES]
        for path in paths:
            with Image.open(path) as img:
                near = [p for p in set(img.convert("RGB").getdata())
                        if p != MAGENTA and all(abs(c - m) <= 40 for c, m in zip(p, MAGENTA))]
            self.assertEqual(near, [], f"{os.path.basename(path)}: near-magenta colours")
        for files in BUTTONS.values():
            for name in files:
                with load(name) as img:
                    w, h = img.size
                    rgb = img.convert("RGB")
                    corners = [rgb.getpixel(p) for p in ((0, 0), (w - 1, 0), (0, h - 1), (w - 1, h - 1))]
                self.assertEqual(corners, [MAGENTA] * 4, f"{name}: rounded corners show the window")

    def test_four_states_share_a_size_and_look_different(self):
        for button, files in BUTTONS.items():
            images = [load(n).convert("RGB") for n in files]
            self.assertEqual(len({i.size for i in images}), 1, button)
            for i in range(4):
                for j in range(i + 1, 4):
                    if files[i] != files[j]:
                        self.assertGreater(mean_difference(images[i], images[j]), 3.0,
                                           f"{files[i]} and {files[j]} look alike")

    def test_black_captions_read_on_every_state(self):
        for button in ("wbutton", "white"):
            for name in BUTTONS[button]:
                with load(name) as img:
                    w, h = img.size
                    rgb = img.convert("RGB")
                    face = [rgb.getpixel((x, y)) for x in range(w // 4, 3 * w // 4) for y in range(4, h - 4)]
                worst = min(contrast(p, (0, 0, 0)) for p in face)
                self.assertGreater(worst, 7.0, f"{name}: black caption on its face")


class SkinInWindows(unittest.TestCase):
    def test_labels_read_on_the_backgrounds(self):
        for window, (background, _, _, labels) in WINDOWS.items():
            with Image.open(os.path.join(RES_DIR, background)) as img:
                rgb = img.convert("RGB")
                for (x, y, w, h), colour in labels:
                    box = (round(x * 1.5), round(y * 1.625), round((x + w) * 1.5), round((y + h) * 1.625))
                    worst = min(contrast(colour, p) for p in set(rgb.crop(box).getdata()))
                    self.assertGreater(worst, 3.0, f"{window}: text {colour} at {(x, y)} DU")

    def test_buttons_fit_the_window_without_overlapping(self):
        for window, (_, (tw, th), buttons, _) in WINDOWS.items():
            for scale, (sx, sy) in SCALES.items():
                boxes = []
                for button, places in buttons.items():
                    with load(BUTTONS[button][0]) as img:
                        w, h = img.size
                    boxes += [(round(x * sx), round(y * sy), round(x * sx) + w, round(y * sy) + h, button)
                              for x, y in places]
                for i, a in enumerate(boxes):
                    self.assertTrue(a[2] <= tw * sx and a[3] <= th * sy, f"{window} ({scale}): {a} outside")
                    for b in boxes[i + 1:]:
                        apart = a[2] <= b[0] or b[2] <= a[0] or a[3] <= b[1] or b[3] <= a[1]
                        self.assertTrue(apart, f"{window} ({scale}): {a} overlaps {b}")


class SkinScript(unittest.TestCase):
    def test_committed_files_are_what_the_script_draws(self):
        with tempfile.TemporaryDirectory() as out:
            subprocess.run([sys.executable, os.path.join(TOP, "tools", "skin", "make_skin.py"), "--out", out],
                           check=True, stdout=subprocess.DEVNULL)
            made = [os.path.join(d, n) for d, _, names in os.walk(out) for n in names]
            self.assertEqual(len(made), 37 + 5 + 2)
            for path in made:
                rel = os.path.relpath(path, out)
                with Image.open(path) as new, Image.open(os.path.join(TOP, rel)) as old:
                    frames = [(n, n) for n in (16, 32, 48, 256)] if rel.endswith(".ico") else [None]
                    for size in frames:
                        a = new.ico.getimage(size) if size else new
                        b = old.ico.getimage(size) if size else old
                        self.assertEqual((a.mode, a.size), (b.mode, b.size), rel)
                        self.assertTrue(a.tobytes() == b.tobytes(), f"{rel} differs: run tools/skin/make_skin.py")


if __name__ == "__main__":
    unittest.main(verbosity=2)
