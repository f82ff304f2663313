"""The pictures of the skin under docs/: a contact sheet of every image and a
mock-up of the three windows (tools/skin/make_skin.py)."""

from PIL import Image, ImageDraw, ImageFont

from skin_palette import (
    ABOUT_DU, ABOUT_SIZE, DU_X, FONT_BOLD, FONT_CJK, FONT_PLAIN, MAGENTA, MAIN_DU, MAIN_SIZE, SETTINGS_DU,
    SETTINGS_SIZE, px)


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
