"""The application icon and its .ico file (tools/skin/make_skin.py)."""

import io
import struct

from PIL import Image, ImageDraw

from skin_drawing import hi, vertical_gradient
from skin_palette import HERO_BOTTOM, RECORD_RED, SS


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
