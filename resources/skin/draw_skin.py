#!/usr/bin/python3
"""Draws the skin: every picture of the resource library as a JPEG named <id>.jpg.

Colour pictures are RGB JPEGs; masks are grey JPEGs whose value is the opacity. Shapes are
drawn four times larger and scaled down, for smooth edges. Run with Debian's python3 (it has
python3-pil):  /usr/bin/python3 resources/skin/draw_skin.py [OUTPUT_DIR]
"""
import os
import sys

from PIL import Image, ImageDraw, ImageFont

SCALE = 4
FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"

# Palette: a dark slate frame with one blue accent.
FRAME_OUTER = (12, 14, 18)
FRAME = (30, 35, 44)
FRAME_LIGHT = (56, 64, 79)
VIDEO_TOP = (12, 14, 18)
VIDEO_BOTTOM = (6, 7, 9)
PANEL_TOP = (40, 46, 58)
PANEL_BOTTOM = (22, 26, 33)
GROOVE = (14, 16, 21)
ACCENT = (64, 156, 255)
ACCENT_LIGHT = (130, 192, 255)
ACCENT_DEEP = (30, 100, 196)
ICON = (226, 231, 239)
ICON_DIM = (84, 91, 104)
WHITE = (255, 255, 255)
RED = (222, 68, 58)
RED_DEEP = (160, 40, 32)

# Per state: face top and bottom, rim, icon; the icon is pushed down by `sink` when pressed.
TRANSPORT_STATES = {
    "normal": dict(top=(58, 66, 81), bottom=(36, 41, 51), rim=(86, 96, 115), icon=ICON),
    "hover": dict(top=(56, 86, 128), bottom=(38, 60, 94), rim=ACCENT, icon=WHITE),
    "pressed": dict(top=(44, 128, 230), bottom=(26, 92, 182), rim=ACCENT_LIGHT, icon=WHITE,
                    sink=1),
    "disabled": dict(top=(31, 35, 42), bottom=(31, 35, 42), rim=(45, 50, 60), icon=ICON_DIM),
}
SMALL_STATES = {
    "normal": dict(face=(46, 53, 66), icon=(196, 203, 215)),
    "hover": dict(face=(66, 80, 104), icon=WHITE),
    "pressed": dict(face=ACCENT_DEEP, icon=WHITE, sink=1),
}
CLOSE_STATES = {
    "normal": SMALL_STATES["normal"],
    "hover": dict(face=RED, icon=WHITE),
    "pressed": dict(face=RED_DEEP, icon=WHITE, sink=1),
}
THUMB_STATES = {
    "normal": dict(face=(212, 218, 228), line=(150, 158, 172)),
    "hover": dict(face=ACCENT_LIGHT, line=(70, 130, 200)),
    "pressed": dict(face=ACCENT, line=WHITE),
    "disabled": dict(face=(62, 68, 80), line=(62, 68, 80)),
}

# Picture ids per state (normal, hover, pressed, disabled) and the masks.
TRANSPORT_IDS = {"play": (101, 103, 104, 102), "pause": (108, 107, 106, 105),
                 "stop": (112, 111, 110, 109), "open": (116, 115, 114, 113)}
SMALL_IDS = {"language": (143, 126, 127), "help": (128, 129, 130), "minimise": (131, 132, 133),
             "maximise": (134, 135, 136), "restore": (137, 138, 140), "close": (141, 142, 125)}
THUMB_IDS = (124, 123, 122, 121)
HOME_NORMAL, HOME_HOVER = 146, 150
MASK_THUMB, MASK_HOME_HOVER, MASK_HOME, MASK_TRANSPORT, MASK_SMALL = 144, 145, 147, 148, 149
FRAME_ID = 152
STATE_ORDER = ("normal", "hover", "pressed", "disabled")


def big(w, h, colour, mode="RGB"):
    image = Image.new(mode, (w * SCALE, h * SCALE), colour)
    return image, ImageDraw.Draw(image)


def small(image, w, h):
    return image.resize((w, h), Image.LANCZOS)


def s(*values):
    return [v * SCALE for v in values]


def vertical_gradient(draw, box, top, bottom):
    x0, y0, x1, y1 = box
    for y in range(y0, y1):
        t = (y - y0) / max(1, y1 - y0 - 1)
        draw.line([(x0, y), (x1 - 1, y)], fill=tuple(round(a + (b - a) * t) for a, b in zip(top, bottom)))


# ---- icons, drawn on a 4x canvas in unscaled coordinates ----

def icon_play(d, c, dy):
    d.polygon([tuple(s(12.5, 9 + dy)), tuple(s(12.5, 23 + dy)), tuple(s(24, 16 + dy))], fill=c)


def icon_pause(d, c, dy):
    d.rounded_rectangle(s(10.5, 9.5 + dy, 14.5, 22.5 + dy), radius=SCALE, fill=c)
    d.rounded_rectangle(s(17.5, 9.5 + dy, 21.5, 22.5 + dy), radius=SCALE, fill=c)


def icon_stop(d, c, dy):
    d.rounded_rectangle(s(10.5, 10.5 + dy, 21.5, 21.5 + dy), radius=2 * SCALE, fill=c)


def icon_open(d, c, dy):
    d.polygon([tuple(s(16, 8.5 + dy)), tuple(s(23, 16.5 + dy)), tuple(s(9, 16.5 + dy))], fill=c)
    d.rounded_rectangle(s(9, 19 + dy, 23, 22.5 + dy), radius=SCALE, fill=c)


def icon_language(d, c, dy):
    w = int(1.4 * SCALE)
    d.ellipse(s(3, 3 + dy, 13, 13 + dy), outline=c, width=w)
    d.ellipse(s(5.8, 3 + dy, 10.2, 13 + dy), outline=c, width=w)
    d.line(s(3.5, 8 + dy, 12.5, 8 + dy), fill=c, width=w)


def icon_help(d, c, dy):
    font = ImageFont.truetype(FONT, 12 * SCALE)
    d.text((8 * SCALE, (8.3 + dy) * SCALE), "?", font=font, fill=c, anchor="mm")


def icon_minimise(d, c, dy):
    d.rectangle(s(4, 10.5 + dy, 12, 12 + dy), fill=c)


def icon_maximise(d, c, dy):
    d.rectangle(s(4, 4 + dy, 12, 12 + dy), outline=c, width=int(1.5 * SCALE))


def icon_restore(d, c, dy, face):
    w = int(1.4 * SCALE)
    d.rectangle(s(6, 3.5 + dy, 12.5, 10 + dy), outline=c, width=w)
    d.rectangle(s(3.5, 6 + dy, 10, 12.5 + dy), fill=face, outline=c, width=w)


def icon_close(d, c, dy):
    w = int(1.7 * SCALE)
    d.line(s(4.5, 4.5 + dy, 11.5, 11.5 + dy), fill=c, width=w)
    d.line(s(11.5, 4.5 + dy, 4.5, 11.5 + dy), fill=c, width=w)


TRANSPORT_ICONS = {"play": icon_play, "pause": icon_pause, "stop": icon_stop, "open": icon_open}
SMALL_ICONS = {"language": icon_language, "help": icon_help, "minimise": icon_minimise,
               "maximise": icon_maximise, "close": icon_close}


# ---- pictures ----

def transport_button(kind, state):
    st = TRANSPORT_STATES[state]
    image, d = big(32, 32, st["bottom"])
    vertical_gradient(d, (0, 0, 32 * SCALE, 32 * SCALE), st["top"], st["bottom"])
    # Everything outside the circle keeps the rim colour, so the masked edge stays clean.
    ring = Image.new("L", image.size, 0)
    ImageDraw.Draw(ring).ellipse(s(1.5, 1.5, 30.5, 30.5), fill=255)
    rim = Image.new("RGB", image.size, st["rim"])
    image = Image.composite(image, rim, ring)
    d = ImageDraw.Draw(image)
    TRANSPORT_ICONS[kind](d, st["icon"], st.get("sink", 0))
    return small(image, 32, 32)


def transport_mask():
    image, d = big(32, 32, 0, "L")
    d.ellipse(s(0, 0, 32, 32), fill=255)
    return small(image, 32, 32)


def small_button(kind, state):
    st = (CLOSE_STATES if kind == "close" else SMALL_STATES)[state]
    image, d = big(16, 16, st["face"])
    dy = st.get("sink", 0) * 0.5
    if kind == "restore":
        icon_restore(d, st["icon"], dy, st["face"])
    else:
        SMALL_ICONS[kind](d, st["icon"], dy)
    return small(image, 16, 16)


def small_mask():
    image, d = big(16, 16, 0, "L")
    d.rounded_rectangle(s(0, 0, 16, 16), radius=4 * SCALE, fill=255)
    return small(image, 16, 16)


def home_badge(hover):
    face = (52, 70, 100) if hover else (36, 42, 53)
    rim = ACCENT if hover else (66, 75, 92)
    mark = ACCENT_LIGHT if hover else ACCENT
    text = WHITE if hover else (205, 211, 222)
    image, d = big(64, 40, rim)
    d.rounded_rectangle(s(1, 1, 63, 39), radius=7 * SCALE, fill=face)
    # The mark: a dot broadcasting two arcs.
    cx, cy = 32, 15
    d.ellipse(s(cx - 2.5, cy - 2.5, cx + 2.5, cy + 2.5), fill=mark)
    for r in (6, 10):
        d.arc(s(cx - r, cy - r, cx + r, cy + r), 200, 340, fill=mark, width=int(1.8 * SCALE))
    font = ImageFont.truetype(FONT, int(8.5 * SCALE))
    d.text((cx * SCALE, 31 * SCALE), "VANTOREL", font=font, fill=text, anchor="mm")
    return small(image, 64, 40)


def home_mask(hover):
    image, d = big(64, 40, 0, "L")
    inset = 0 if hover else 1
    d.rounded_rectangle(s(inset, inset, 64 - inset, 40 - inset), radius=8 * SCALE, fill=255)
    return small(image, 64, 40)


def thumb(state):
    st = THUMB_STATES[state]
    image, d = big(16, 8, st["face"])
    d.line(s(8, 2, 8, 6), fill=st["line"], width=int(1.2 * SCALE))
    return small(image, 16, 8)


def thumb_mask():
    image, d = big(16, 8, 0, "L")
    d.rounded_rectangle(s(0, 0, 16, 8), radius=4 * SCALE, fill=255)
    return small(image, 16, 8)


def frame():
    """384 x 288: borders of 8, a 64-pixel bottom panel. Between x = 150 and 364 the panel
    is the same in every column, because that part is stretched."""
    w, h, panel = 384, 288, 224
    image = Image.new("RGB", (w, h), FRAME)
    d = ImageDraw.Draw(image)
    vertical_gradient(d, (0, panel, w, h), PANEL_TOP, PANEL_BOTTOM)
    vertical_gradient(d, (8, 8, w - 8, panel), VIDEO_TOP, VIDEO_BOTTOM)
    d.rectangle((7, 7, w - 8, panel), outline=FRAME_LIGHT)
    d.line((8, panel, w - 9, panel), fill=(52, 60, 74))
    d.rectangle((0, 0, w - 1, h - 1), outline=FRAME_OUTER)
    d.line((1, 1, w - 2, 1), fill=FRAME_LIGHT)
    # The seek groove under the slider's track line (y = 230), from x = 128 to the right.
    d.rounded_rectangle((127, 227, 373, 233), radius=3, fill=GROOVE)
    # The well behind the home page badge.
    d.rounded_rectangle((15, 233, 85, 279), radius=9, fill=(27, 31, 39), outline=(48, 55, 68))
    # A resize grip in the bottom-right corner.
    for i, j in ((2, 0), (1, 1), (2, 1), (0, 2), (1, 2), (2, 2)):
        x, y = 371 + 4 * i, 273 + 4 * j
        d.rectangle((x, y, x + 1, y + 1), fill=(78, 88, 106))
    return image


def pictures():
    for kind, ids in TRANSPORT_IDS.items():
        for state, pid in zip(STATE_ORDER, ids):
            yield pid, transport_button(kind, state)
    for kind, ids in SMALL_IDS.items():
        for state, pid in zip(STATE_ORDER, ids):
            yield pid, small_button(kind, state)
    for state, pid in zip(STATE_ORDER, THUMB_IDS):
        yield pid, thumb(state)
    yield HOME_NORMAL, home_badge(False)
    yield HOME_HOVER, home_badge(True)
    yield FRAME_ID, frame()
    yield MASK_THUMB, thumb_mask()
    yield MASK_HOME_HOVER, home_mask(True)
    yield MASK_HOME, home_mask(False)
    yield MASK_TRANSPORT, transport_mask()
    yield MASK_SMALL, small_mask()


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    os.makedirs(out, exist_ok=True)
    for pid, image in pictures():
        image.save(os.path.join(out, f"{pid}.jpg"), "JPEG", quality=95, subsampling=0)


if __name__ == "__main__":
    main()
