#!/usr/bin/env python3
"""Draws the application icon (a red record dot on a dark rounded square) and
writes app_icon.ico: a 256x256 PNG image and 48, 32 and 16 pixel bitmaps at
4, 8 and 32 bits per pixel. Uses only the standard library."""

import os
import struct
import sys
import zlib

BACKGROUND = (0x1E, 0x22, 0x28)
RING = (0xF2, 0xF2, 0xF2)
DOT = (0xE5, 0x39, 0x35)
SAMPLES = 4  # per axis, for anti-aliased edges


def coverage_rounded_square(x, y, size, radius):
    """1 inside the square with rounded corners, else 0 (point in [0, size))."""
    cx = min(max(x, radius), size - radius)
    cy = min(max(y, radius), size - radius)
    return 1.0 if (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius else 0.0


def shade(x, y, size):
    """Colour and alpha of one sample point of the artwork."""
    inside = coverage_rounded_square(x, y, size, size * 0.2)
    if not inside:
        return (0, 0, 0), 0.0
    d2 = (x - size / 2) ** 2 + (y - size / 2) ** 2
    if d2 <= (size * 0.25) ** 2:
        return DOT, 1.0
    if d2 <= (size * 0.33) ** 2:
        return RING, 1.0
    return BACKGROUND, 1.0


def render(size):
    """Rows of (r, g, b, a) pixels, top row first."""
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            r = g = b = a = 0.0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    colour, alpha = shade(px + (sx + 0.5) / SAMPLES, py + (sy + 0.5) / SAMPLES, size)
                    r += colour[0] * alpha
                    g += colour[1] * alpha
                    b += colour[2] * alpha
                    a += alpha
            n = SAMPLES * SAMPLES
            if a:
                row.append((round(r / a), round(g / a), round(b / a), round(255 * a / n)))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def png(rows):
    size = len(rows)
    raw = b"".join(b"\x00" + bytes(c for px in row for c in px) for row in rows)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def palette_for(bits):
    """The colours a paletted image may use: the artwork's own, blends of
    them, then black padding."""
    base = [BACKGROUND, RING, DOT, (0, 0, 0)]
    blends = []
    for a, b in ((BACKGROUND, RING), (RING, DOT), (BACKGROUND, DOT)):
        for t in (0.25, 0.5, 0.75):
            blends.append(tuple(round(a[i] * (1 - t) + b[i] * t) for i in range(3)))
    colours = base + blends
    count = 1 << bits
    return (colours + [(0, 0, 0)] * count)[:count]


def nearest(palette, rgb):
    return min(range(len(palette)),
               key=lambda i: sum((palette[i][k] - rgb[k]) ** 2 for k in range(3)))


def stride(bits_per_row):
    return (bits_per_row + 31) // 32 * 4


def dib(rows, bits):
    """A BITMAPINFOHEADER image as an icon stores it: colour bitmap, then the
    1-bit AND mask, both bottom-up, height doubled in the header."""
    size = len(rows)
    palette = palette_for(bits) if bits <= 8 else []
    colour = bytearray()
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray()
        if bits == 32:
            for r, g, b, a in row:
                line += bytes((b, g, r, a))
        else:
            indices = [nearest(palette, px[:3]) if px[3] >= 128 else 3 for px in row]
            if bits == 8:
                line += bytes(indices)
            else:
                for i in range(0, size, 2):
                    line.append((indices[i] << 4) | indices[i + 1])
        line += b"\x00" * (stride(size * bits) - len(line))
        colour += line
        bitsrow = bytearray(stride(size))
        for x, px in enumerate(row):
            if px[3] < 128:
                bitsrow[x // 8] |= 0x80 >> (x % 8)
        mask += bitsrow
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0,
                         len(colour) + len(mask), 0, 0, len(palette) if bits <= 8 else 0, 0)
    table = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    return header + table + bytes(colour) + bytes(mask)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "app_icon.ico")
    images = [(256, 32, png(render(256)))]
    for size in (48, 32, 16):
        rows = render(size)
        for bits in (4, 8, 32):
            images.append((size, bits, dib(rows, bits)))
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    for size, bits, data in images:
        colours = 16 if bits == 4 else 0
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, colours, 0, 1, bits,
                               len(data), offset)
        offset += len(data)
    with open(out, "wb") as f:
        f.write(directory + entries + b"".join(data for _, _, data in images))


if __name__ == "__main__":
    main()
