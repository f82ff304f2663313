"""Drawing helpers of the skin (tools/skin/make_skin.py)."""

from PIL import Image, ImageDraw

from skin_palette import MAGENTA, SS


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
