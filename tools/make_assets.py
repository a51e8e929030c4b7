#!/usr/bin/env python3
"""Draws the window's background picture and the program icons.

Writes, into resources/:
  PrintBackgroundImage.bmp       24-bit, 500 x 339: the picture at 96 DPI
  PrintBackgroundImage_1_5x.bmp  the same drawn for 144 DPI (750 x 509)
  PrintBackgroundImage_2x.bmp    the same drawn for 192 DPI (1000 x 678)
  corvane48.ico                  48 x 48, 32-bit with alpha: the window's and the tray's icon
  corvane.ico                    16, 20, 24, 32, 40, 48, 64 and 256 px: the icon built into
                                 the Windows program (Explorer, Start menu, Add/Remove)
Only the standard library is used, so the pictures can be made again on any machine:
python3 tools/make_assets.py
"""
import math
import os
import struct

BLUE = (66, 135, 193)
DARK_BLUE = (38, 92, 150)
GREEN = (0, 177, 89)
WHITE = (255, 255, 255)
ICON_SIZES = (16, 20, 24, 32, 40, 48, 64, 256)


class Canvas:
    def __init__(self, width, height, colour=(0, 0, 0, 0)):
        self.width = width
        self.height = height
        self.pixels = [[tuple(colour) if len(colour) == 4 else tuple(colour) + (255,)
                        for _ in range(width)] for _ in range(height)]

    def blend(self, x, y, colour, coverage=1.0):
        if not (0 <= x < self.width and 0 <= y < self.height) or coverage <= 0:
            return
        r, g, b = colour[:3]
        a = (colour[3] / 255.0 if len(colour) == 4 else 1.0) * min(coverage, 1.0)
        br, bg, bb, ba = self.pixels[y][x]
        ba /= 255.0
        out_a = a + ba * (1 - a)
        if out_a == 0:
            self.pixels[y][x] = (0, 0, 0, 0)
            return
        mix = lambda s, d: round((s * a + d * ba * (1 - a)) / out_a)
        self.pixels[y][x] = (mix(r, br), mix(g, bg), mix(b, bb), round(out_a * 255))

    def shape(self, inside, colour, box):
        """Fills the points for which inside(x, y) holds, 4x4 supersampled at the edges."""
        x0, y0, x1, y1 = (max(0, int(box[0])), max(0, int(box[1])),
                          min(self.width, int(math.ceil(box[2]))),
                          min(self.height, int(math.ceil(box[3]))))
        for y in range(y0, y1):
            for x in range(x0, x1):
                hits = sum(inside(x + (i + 0.5) / 4, y + (j + 0.5) / 4)
                           for i in range(4) for j in range(4))
                self.blend(x, y, colour, hits / 16.0)

    def rounded_rect(self, x0, y0, x1, y1, radius, colour):
        def inside(px, py):
            cx = min(max(px, x0 + radius), x1 - radius)
            cy = min(max(py, y0 + radius), y1 - radius)
            return x0 <= px <= x1 and y0 <= py <= y1 and \
                (px - cx) ** 2 + (py - cy) ** 2 <= radius ** 2
        self.shape(inside, colour, (x0, y0, x1 + 1, y1 + 1))

    def circle(self, cx, cy, radius, colour):
        self.shape(lambda px, py: (px - cx) ** 2 + (py - cy) ** 2 <= radius ** 2, colour,
                   (cx - radius, cy - radius, cx + radius + 1, cy + radius + 1))


def lerp(a, b, t):
    return tuple(round(a[i] + (b[i] - a[i]) * t) for i in range(3))


def printer(canvas, x, y, scale, body, paper, accent):
    """A printer glyph with a sheet coming out, its top-left corner at (x, y)."""
    s = scale
    canvas.rounded_rect(x + 10 * s, y, x + 38 * s, y + 14 * s, 1.5 * s, paper)       # sheet in
    canvas.rounded_rect(x, y + 11 * s, x + 48 * s, y + 33 * s, 4 * s, body)           # body
    canvas.circle(x + 40 * s, y + 18 * s, 2.2 * s, accent)                            # lamp
    canvas.rounded_rect(x + 8 * s, y + 27 * s, x + 40 * s, y + 46 * s, 1.5 * s, paper)  # sheet out
    for row in range(3):
        top = y + (32 + 4 * row) * s
        canvas.rounded_rect(x + 13 * s, top, x + (35 - 6 * (row == 2)) * s, top + 1.4 * s,
                            0.7 * s, body)


def scaled(length, scale):
    """A length of the 96-DPI picture at `scale`, rounded as the window rounds its own."""
    return int(math.floor(length * scale + 0.5))


def background(scale=1.0):
    """The picture for a display scale: the 96-DPI drawing with every length times scale."""
    s = scale
    width, height = scaled(500, s), scaled(339, s)
    canvas = Canvas(width, height)
    for y in range(height):
        row_colour = lerp((236, 242, 249), (206, 222, 240), y / (height - 1))
        for x in range(width):
            canvas.pixels[y][x] = row_colour + (255,)
    # Title band behind the heading and the explanation.
    for y in range(scaled(12, s), scaled(104, s)):
        for x in range(width):
            canvas.pixels[y][x] = lerp(BLUE, DARK_BLUE, x / (width - 1)) + (255,)
    # A soft band of circles for a little depth.
    for i in range(9):
        canvas.circle((30 + i * 60) * s, 108 * s, (22 + (i % 3) * 6) * s, (255, 255, 255, 40))
    # Card behind the login form.
    canvas.rounded_rect(24 * s, 122 * s, 352 * s, 278 * s, 10 * s, (255, 255, 255, 210))
    canvas.rounded_rect(24 * s, 122 * s, 352 * s, 126 * s, 2 * s, GREEN + (255,))
    # Printer picture on the right.
    printer(canvas, 376 * s, 128 * s, 2.0 * s, DARK_BLUE + (255,), WHITE + (255,),
            GREEN + (255,))
    return canvas


def icon(size=48):
    canvas = Canvas(size, size)
    s = size / 48.0
    canvas.rounded_rect(0, 0, size - 1, size - 1, 9 * s, BLUE + (255,))
    canvas.rounded_rect(0, 24 * s, size - 1, size - 1, 9 * s, DARK_BLUE + (90,))
    printer(canvas, 6.5 * s, 3.5 * s, 0.72 * s, WHITE + (255,), (222, 234, 246, 255),
            GREEN + (255,))
    return canvas


def write_bmp(canvas, path):
    row_bytes = (canvas.width * 3 + 3) & ~3
    data = bytearray()
    for y in range(canvas.height - 1, -1, -1):
        row = bytearray()
        for r, g, b, _ in canvas.pixels[y]:
            row += bytes((b, g, r))
        row += b"\0" * (row_bytes - len(row))
        data += row
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(data), 0, 0, 14 + 40)
    info = struct.pack("<IiiHHIIiiII", 40, canvas.width, canvas.height, 1, 24, 0, len(data),
                       2835, 2835, 0, 0)
    with open(path, "wb") as out:
        out.write(header + info + data)


def ico_image(canvas):
    """One icon image: a bottom-up 32-bit DIB with its AND mask."""
    size = canvas.width
    xor = bytearray()
    for y in range(size - 1, -1, -1):
        for r, g, b, a in canvas.pixels[y]:
            xor += bytes((b, g, r, a))
    mask_row = ((size + 31) // 32) * 4
    mask = bytearray()
    for y in range(size - 1, -1, -1):
        bits = 0
        row = bytearray(mask_row)
        for x, pixel in enumerate(canvas.pixels[y]):
            if pixel[3] == 0:
                row[x // 8] |= 0x80 >> (x % 8)
        mask += row
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask),
                       0, 0, 0, 0)
    return info + xor + mask


def write_ico(canvases, path):
    images = [ico_image(canvas) for canvas in canvases]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for canvas, image in zip(canvases, images):
        side = canvas.width % 256  # 256 is written as 0
        directory += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    with open(path, "wb") as out:
        out.write(directory + b"".join(images))


def main():
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources")
    os.makedirs(out, exist_ok=True)
    for scale, suffix in ((1.0, ""), (1.5, "_1_5x"), (2.0, "_2x")):
        write_bmp(background(scale), os.path.join(out, "PrintBackgroundImage%s.bmp" % suffix))
    write_ico([icon()], os.path.join(out, "corvane48.ico"))
    write_ico([icon(size) for size in ICON_SIZES], os.path.join(out, "corvane.ico"))


if __name__ == "__main__":
    main()
