#!/usr/bin/python3
"""Draws Calvoro Record's skin: every image under dist/Image/, the four bitmap
resources and the application icon under app/res/, and a contact sheet and a
mock-up of the three windows under docs/.

Needs Python 3 with Pillow (Debian: python3-pil) and the fonts of
fonts-dejavu-core and fonts-wqy-microhei. Change a colour or a size in
skin_palette.py (the other skin_*.py draw the buttons, the backgrounds, the
icon and the pictures for docs/) and run it again:

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
import os
import sys

from skin_backgrounds import about_background, banner, main_background, settings_background
from skin_buttons import button_images
from skin_icon import ico_bytes, icon_image
from skin_mockup import contact_sheet, language_texts, mockup
from skin_palette import ICON_SIZES


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
