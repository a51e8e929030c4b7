#!/usr/bin/env python3
"""ico_to_png.py ICO DIR NAME: writes every image of the icon (32-bit, uncompressed, or PNG
inside) as DIR/<W>x<H>/apps/NAME.png, the icon theme's layout that desktop environments
expect under share/icons/hicolor. Standard library only."""
import os
import struct
import sys
import zlib


def read_ico(path):
    """[(width, height, PNG bytes)] of every image in the icon file."""
    with open(path, "rb") as f:
        data = f.read()
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    if reserved != 0 or kind != 1 or count < 1:
        raise SystemExit("%s: not an icon file" % path)
    images = []
    for index in range(count):
        width, height = struct.unpack_from("<BB", data, 6 + 16 * index)
        size, offset = struct.unpack_from("<II", data, 6 + 16 * index + 8)
        image = data[offset:offset + size]
        images.append((width or 256, height or 256, to_png(path, image)))
    return images


def to_png(path, image):
    if image[:8] == b"\x89PNG\r\n\x1a\n":
        return image  # already a PNG inside
    header_size, width, height, _, bits = struct.unpack_from("<IiiHH", image, 0)
    if bits != 32:
        raise SystemExit("%s: only 32-bit icons are supported" % path)
    height //= 2  # the colour image, then the 1-bit mask
    rows = []
    for y in range(height):
        start = header_size + (height - 1 - y) * width * 4  # stored bottom-up, BGRA
        row = image[start:start + width * 4]
        rows.append(b"\0" + b"".join(
            bytes((row[i + 2], row[i + 1], row[i], row[i + 3])) for i in range(0, len(row), 4)))
    return png(width, height, b"".join(rows))


def png(width, height, raw):
    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))
    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


if __name__ == "__main__":
    if len(sys.argv) != 4:
        raise SystemExit(__doc__)
    for width, height, data in read_ico(sys.argv[1]):
        folder = os.path.join(sys.argv[2], "%dx%d" % (width, height), "apps")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, sys.argv[3] + ".png"), "wb") as out:
            out.write(data)
