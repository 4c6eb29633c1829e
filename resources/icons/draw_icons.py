#!/usr/bin/python3
"""Draws the two programs' desktop icons: a scalable SVG and PNGs for the hicolor theme.

Both come from the one geometry below (on a 256-unit square), so they look the same at every
size. Run it after changing the look; the outputs are kept in the tree:
    resources/icons/draw_icons.py   (needs python3-pil)
"""
import math
import os

from PIL import Image, ImageDraw

HERE = os.path.dirname(os.path.abspath(__file__))
SIZES = (16, 24, 32, 48, 64, 128, 256)
SUPERSAMPLE = 4

NAVY = "#1d2a44"
BLUE = "#4fa3ff"
PALE = "#cfe4ff"
SKY = "#7fb8ff"
SUN = "#ffd166"

# Shapes: ("rect", x0, y0, x1, y1, radius, colour), ("polygon", points, colour),
# ("crescent", x, top, bottom, outer_bulge, inner_bulge, colour) with a negative bulge to the
# left, ("band", cx, cy, r_out, r_in, colour) as the upper half of a ring, ("circle", cx, cy, r,
# colour).
BACKGROUND = ("rect", 8, 8, 248, 248, 44, NAVY)
ICONS = {
    "strovan": [
        BACKGROUND,
        ("polygon", [(98, 72), (98, 184), (192, 128)], BLUE),
        ("crescent", 64, 62, 194, -26, -10, PALE),
        ("crescent", 210, 62, 194, 26, 10, PALE),
    ],
    "lunnet": [
        BACKGROUND,
        ("band", 128, 122, 94, 76, SKY),
        ("band", 128, 122, 60, 44, SKY),
        ("circle", 128, 142, 22, SUN),
        ("polygon", [(117, 168), (139, 168), (158, 228), (98, 228)], SKY),
    ],
}


def crescent_points(x, top, bottom, outer, inner, steps=64):
    cy, ry = (top + bottom) / 2, (bottom - top) / 2
    out = [(x + outer * math.sin(t), cy - ry * math.cos(t))
           for t in (math.pi * i / steps for i in range(steps + 1))]
    back = [(x + inner * math.sin(t), cy - ry * math.cos(t))
            for t in (math.pi * i / steps for i in range(steps, -1, -1))]
    return out + back


def band_points(cx, cy, r_out, r_in, steps=96):
    angles = [math.pi + math.pi * i / steps for i in range(steps + 1)]
    out = [(cx + r_out * math.cos(a), cy + r_out * math.sin(a)) for a in angles]
    back = [(cx + r_in * math.cos(a), cy + r_in * math.sin(a)) for a in reversed(angles)]
    return out + back


def svg_shape(shape):
    kind, colour = shape[0], shape[-1]
    if kind == "rect":
        _, x0, y0, x1, y1, r, _ = shape
        return (f'<rect x="{x0}" y="{y0}" width="{x1 - x0}" height="{y1 - y0}" rx="{r}" '
                f'fill="{colour}"/>')
    if kind == "polygon":
        points = " ".join(f"{x},{y}" for x, y in shape[1])
        return f'<polygon points="{points}" fill="{colour}"/>'
    if kind == "crescent":
        _, x, top, bottom, outer, inner, _ = shape
        ry = (bottom - top) / 2
        sweep_out, sweep_in = (0, 1) if outer < 0 else (1, 0)
        return (f'<path d="M{x},{top} A{abs(outer)},{ry} 0 0 {sweep_out} {x},{bottom} '
                f'A{abs(inner)},{ry} 0 0 {sweep_in} {x},{top} Z" fill="{colour}"/>')
    if kind == "band":
        _, cx, cy, r_out, r_in, _ = shape
        return (f'<path d="M{cx - r_out},{cy} A{r_out},{r_out} 0 0 1 {cx + r_out},{cy} '
                f'L{cx + r_in},{cy} A{r_in},{r_in} 0 0 0 {cx - r_in},{cy} Z" fill="{colour}"/>')
    _, cx, cy, r, _ = shape
    return f'<circle cx="{cx}" cy="{cy}" r="{r}" fill="{colour}"/>'


def write_svg(name, shapes):
    body = "\n  ".join(svg_shape(s) for s in shapes)
    text = ('<?xml version="1.0" encoding="UTF-8"?>\n'
            '<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" '
            f'viewBox="0 0 256 256">\n  {body}\n</svg>\n')
    folder = os.path.join(HERE, "hicolor", "scalable", "apps")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, f"{name}.svg"), "w", encoding="utf-8") as f:
        f.write(text)


def draw_shape(draw, shape, k):
    kind, colour = shape[0], shape[-1]
    scale = lambda pts: [(x * k, y * k) for x, y in pts]
    if kind == "rect":
        _, x0, y0, x1, y1, r, _ = shape
        draw.rounded_rectangle([x0 * k, y0 * k, x1 * k, y1 * k], radius=r * k, fill=colour)
    elif kind == "polygon":
        draw.polygon(scale(shape[1]), fill=colour)
    elif kind == "crescent":
        draw.polygon(scale(crescent_points(*shape[1:6])), fill=colour)
    elif kind == "band":
        draw.polygon(scale(band_points(*shape[1:5])), fill=colour)
    else:
        _, cx, cy, r, _ = shape
        draw.ellipse([(cx - r) * k, (cy - r) * k, (cx + r) * k, (cy + r) * k], fill=colour)


def write_pngs(name, shapes):
    for size in SIZES:
        big = size * SUPERSAMPLE
        image = Image.new("RGBA", (big, big), (0, 0, 0, 0))
        draw = ImageDraw.Draw(image)
        for shape in shapes:
            draw_shape(draw, shape, big / 256)
        folder = os.path.join(HERE, "hicolor", f"{size}x{size}", "apps")
        os.makedirs(folder, exist_ok=True)
        image.resize((size, size), Image.LANCZOS).save(os.path.join(folder, f"{name}.png"),
                                                       optimize=True)


if __name__ == "__main__":
    for icon_name, icon_shapes in ICONS.items():
        write_svg(icon_name, icon_shapes)
        write_pngs(icon_name, icon_shapes)
