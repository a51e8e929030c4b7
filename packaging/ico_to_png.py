#!/usr/bin/env python3
"""ico_to_png.py ICO PNG: writes the icon's first image (32-bit, uncompressed) as a PNG,
the format desktop environments expect under share/icons. Standard library only."""
import struct
import sys
import zlib


def read_ico(path):
    with open(path, "rb") as f:
        data = f.read()
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    if reserved != 0 or kind != 1 or count < 1:
        raise SystemExit("%s: not an icon file" % path)
    size, offset = struct.unpack_from("<II", data, 6 + 8)
    image = data[offset:offset + size]
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
    if len(sys.argv) != 3:
        raise SystemExit(__doc__)
    with open(sys.argv[2], "wb") as out:
        out.write(read_ico(sys.argv[1]))
