#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Draws Tessaline's splash picture, resources/splash/splash.bmp.

The bitmap it writes is kept in the repository; run it again after changing the drawing. It is a
460 x 251 Windows bitmap of 8 bits per pixel with a full 256-colour table, as the splash window
reads it. The picture leaves a light, quiet area at (155, 109), 302 x 43 pixels, where the window
puts the version text, and the bottom right corner free for the About box's buttons.

Needs Debian's python3-pil and fonts-dejavu-core. Drawn at four times the size and scaled down,
so that edges come out smooth; the colours are then reduced to 256 with error diffusion.
"""

import math
import struct
from pathlib import Path

from PIL import Image, ImageDraw, ImageFont

OUTPUT = Path(__file__).resolve().parent / "splash" / "splash.bmp"
FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"
WIDTH, HEIGHT = 460, 251
SCALE = 4

# The blues, yellow and green of the program's icons.
DEEP_BLUE = (0x1d, 0x4a, 0x78)
MID_BLUE = (0x2f, 0x6f, 0xd0)
BRIGHT_BLUE = (0x3a, 0x86, 0xd4)
YELLOW = (0xf2, 0xc1, 0x4e)
GREEN = (0x3b, 0xd1, 0x6f)
PALE_BLUE = (0xa8, 0xd0, 0xf5)
TOP, BOTTOM = (0xf7, 0xf9, 0xfc), (0xe2, 0xea, 0xf4)

# The tessellated panel on the left fades out between these columns, before the text begins.
FADE_FROM, FADE_TO = 96.0, 150.0
TRIANGLE_SIDE = 30.0


def mix(a, b, t):
    return tuple(round(x + (y - x) * t) for x, y in zip(a, b))


def background(y):
    return mix(TOP, BOTTOM, y / HEIGHT)


def scaled(points):
    return [(x * SCALE, y * SCALE) for x, y in points]


def facet(cx, cy, up, column, row):
    """A triangle's blue: deep at the top left, brighter towards the bottom right, with the two
    kinds of triangle a shade apart and a slight fixed variation, so the panel reads as facets."""
    t = min(1.0, (cx / FADE_TO * 0.45 + cy / HEIGHT * 0.55))
    colour = mix(DEEP_BLUE, BRIGHT_BLUE, t)
    variation = ((column * 7 + row * 13) % 5 - 2) * 0.03
    if up:
        return mix(colour, PALE_BLUE, 0.12 + variation)
    return mix(colour, DEEP_BLUE, 0.15 + variation)


def tessellation(draw):
    """Rows of triangles, pointing up and down in turn, fading into the background."""
    height = TRIANGLE_SIDE * math.sqrt(3) / 2
    rows = math.ceil(HEIGHT / height) + 1
    columns = math.ceil(FADE_TO / (TRIANGLE_SIDE / 2)) + 2
    for row in range(rows):
        top, bottom = row * height, (row + 1) * height
        for column in range(-1, columns):
            left = column * TRIANGLE_SIDE / 2 - (TRIANGLE_SIDE / 2 if row % 2 else 0)
            up = (column + row) % 2 == 0
            if up:
                points = [(left, bottom), (left + TRIANGLE_SIDE, bottom),
                          (left + TRIANGLE_SIDE / 2, top)]
            else:
                points = [(left, top), (left + TRIANGLE_SIDE, top),
                          (left + TRIANGLE_SIDE / 2, bottom)]
            cx = sum(p[0] for p in points) / 3
            cy = sum(p[1] for p in points) / 3
            fade = min(1.0, max(0.0, (cx - FADE_FROM) / (FADE_TO - FADE_FROM)))
            if fade >= 1.0:
                continue
            colour = mix(facet(cx, cy, up, column, row), background(cy), fade ** 0.8)
            draw.polygon(scaled(points), fill=colour)
            draw.line(scaled(points + points[:1]), fill=mix(colour, background(cy), 0.18),
                      width=SCALE // 2)


def arrow(draw, x, top, bottom, colour, pointing_up):
    """A broad arrow with its head at `top` or `bottom`."""
    shaft, head, head_length = 7, 13, 14
    if pointing_up:
        points = [(x, top), (x + head, top + head_length), (x + shaft / 2 + 1, top + head_length),
                  (x + shaft / 2 + 1, bottom), (x - shaft / 2 - 1, bottom),
                  (x - shaft / 2 - 1, top + head_length), (x - head, top + head_length)]
    else:
        points = [(x, bottom), (x + head, bottom - head_length),
                  (x + shaft / 2 + 1, bottom - head_length), (x + shaft / 2 + 1, top),
                  (x - shaft / 2 - 1, top), (x - shaft / 2 - 1, bottom - head_length),
                  (x - head, bottom - head_length)]
    draw.polygon(scaled(points), fill=colour)


def emblem(draw):
    """A white disc on the panel with the two directions of a transfer."""
    cx, cy, r = 62, 112, 38
    draw.ellipse(scaled([(cx - r - 3, cy - r - 3), (cx + r + 3, cy + r + 3)]), fill=YELLOW)
    draw.ellipse(scaled([(cx - r, cy - r), (cx + r, cy + r)]), fill=(0xff, 0xff, 0xff))
    arrow(draw, cx - 12, cy - 24, cy + 22, MID_BLUE, True)
    arrow(draw, cx + 12, cy - 22, cy + 24, GREEN, False)


def lettering(draw):
    """The program's name with a short rule under it, above the version text."""
    name_font = ImageFont.truetype(FONT, 46 * SCALE)
    left, baseline = 154, 90
    draw.text((left * SCALE, baseline * SCALE), "Tessaline", font=name_font, fill=DEEP_BLUE,
              anchor="ls")
    name_width = draw.textlength("Tessaline", font=name_font) / SCALE
    top, split, right = baseline + 8, left + 2 + name_width * 0.62, left + 2 + name_width
    draw.rounded_rectangle(scaled([(left + 2, top), (split, top + 4)]), radius=2 * SCALE,
                           fill=YELLOW)
    draw.rounded_rectangle(scaled([(split + 4, top), (right, top + 4)]), radius=2 * SCALE,
                           fill=GREEN)
    tag_font = ImageFont.truetype(FONT, 10 * SCALE)
    tag = "F T P   C L I E N T"
    draw.text((left * SCALE + 3 * SCALE, 36 * SCALE), tag, font=tag_font,
              fill=mix(DEEP_BLUE, TOP, 0.35), anchor="ls")


def picture():
    image = Image.new("RGB", (WIDTH * SCALE, HEIGHT * SCALE))
    draw = ImageDraw.Draw(image)
    for y in range(HEIGHT * SCALE):
        draw.line([(0, y), (WIDTH * SCALE, y)], fill=background(y / SCALE))
    tessellation(draw)
    emblem(draw)
    lettering(draw)
    return image.resize((WIDTH, HEIGHT), Image.Resampling.LANCZOS)


def to_256_colours(image):
    palette_source = image.quantize(256, method=Image.Quantize.MEDIANCUT)
    indexed = image.quantize(palette=palette_source, dither=Image.Dither.FLOYDSTEINBERG)
    palette = indexed.getpalette()[:256 * 3]
    palette += [0] * (256 * 3 - len(palette))
    return indexed, palette


def bitmap_file(indexed, palette):
    """A Windows bitmap file: file header, 40-byte header, 256 colour entries (blue, green, red,
    0), then the rows bottom row first, each padded to a multiple of 4 bytes."""
    row_bytes = (WIDTH + 3) // 4 * 4
    table = b"".join(bytes((palette[i * 3 + 2], palette[i * 3 + 1], palette[i * 3], 0))
                     for i in range(256))
    pixels = indexed.tobytes()
    rows = b"".join(pixels[y * WIDTH:(y + 1) * WIDTH].ljust(row_bytes, b"\0")
                    for y in reversed(range(HEIGHT)))
    offset = 14 + 40 + len(table)
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 8, 0, len(rows), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", offset + len(rows), 0, 0, offset)
    return header + info + table + rows


def main():
    indexed, palette = to_256_colours(picture())
    OUTPUT.parent.mkdir(parents=True, exist_ok=True)
    OUTPUT.write_bytes(bitmap_file(indexed, palette))


if __name__ == "__main__":
    main()
