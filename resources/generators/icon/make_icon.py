#!/usr/bin/env python3
"""Draws the program's icon: an orange tile with a play triangle sending out
three waves. Writes lumetra-N.png for each size given and lumetra-scalable.svg
(the same drawing as SVG) into OUT_DIR.

  make_icon.py OUT_DIR SIZE..."""
import math
import os
import sys

from PIL import Image, ImageDraw

# The drawing on a 256-unit canvas.
TILE = (16, 16, 240, 240)
TILE_RADIUS = 48
TILE_FILL = (232, 143, 26)
TILE_EDGE = (150, 84, 8)
EDGE_WIDTH = 8
TRIANGLE = [(52, 80), (52, 176), (128, 128)]
WAVE_CENTRE = (132, 128)
WAVE_RADII = (36, 60, 84)
WAVE_HALF_ANGLE = 42
WAVE_WIDTH = 14
INK = (255, 255, 255)
SUPERSAMPLE = 4


def png(size, path):
    scale = size * SUPERSAMPLE / 256.0
    big = Image.new("RGBA", (size * SUPERSAMPLE,) * 2, (0, 0, 0, 0))
    d = ImageDraw.Draw(big)
    s = lambda v: v * scale
    d.rounded_rectangle([s(c) for c in TILE], radius=s(TILE_RADIUS), fill=TILE_FILL,
                        outline=TILE_EDGE, width=max(1, round(s(EDGE_WIDTH))))
    d.polygon([(s(x), s(y)) for x, y in TRIANGLE], fill=INK)
    cx, cy = WAVE_CENTRE
    for r in WAVE_RADII:
        d.arc([s(cx - r), s(cy - r), s(cx + r), s(cy + r)], -WAVE_HALF_ANGLE, WAVE_HALF_ANGLE,
              fill=INK, width=max(1, round(s(WAVE_WIDTH))))
    big.resize((size, size), Image.LANCZOS).save(path, optimize=True)


def svg(path):
    hexa = lambda c: "#%02x%02x%02x" % c
    x0, y0, x1, y1 = TILE
    half = EDGE_WIDTH / 2
    parts = [
        '<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" viewBox="0 0 256 256">',
        '<rect x="%g" y="%g" width="%g" height="%g" rx="%g" fill="%s" stroke="%s" stroke-width="%g"/>'
        % (x0 + half, y0 + half, x1 - x0 - EDGE_WIDTH, y1 - y0 - EDGE_WIDTH, TILE_RADIUS - half,
           hexa(TILE_FILL), hexa(TILE_EDGE), EDGE_WIDTH),
        '<polygon points="%s" fill="%s"/>' % (" ".join("%g,%g" % p for p in TRIANGLE), hexa(INK)),
    ]
    cx, cy = WAVE_CENTRE
    a = math.radians(WAVE_HALF_ANGLE)
    for r in WAVE_RADII:
        # Pillow's width grows inwards from the radius; the SVG stroke is centred.
        rc = r - WAVE_WIDTH / 2
        parts.append('<path d="M %.2f %.2f A %g %g 0 0 1 %.2f %.2f" fill="none" stroke="%s" stroke-width="%g"/>'
                     % (cx + rc * math.cos(a), cy - rc * math.sin(a), rc, rc,
                        cx + rc * math.cos(a), cy + rc * math.sin(a), hexa(INK), WAVE_WIDTH))
    parts.append("</svg>")
    with open(path, "w") as f:
        f.write("\n".join(parts) + "\n")


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for size in sys.argv[2:]:
        png(int(size), os.path.join(out, "lumetra-%s.png" % size))
    svg(os.path.join(out, "lumetra-scalable.svg"))


if __name__ == "__main__":
    main()
