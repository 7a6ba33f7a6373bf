#!/usr/bin/env python3
"""Writes the two images of the web folder: web/pix.gif, a transparent 1x1 spacer, and
web/modled_7x14.png, the lit mode indicator (7 x 14, a green lamp with a soft rim).

Plain standard library; run from the repository root: python3 tools/make_web_images.py
"""
import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
WEB = os.path.join(HERE, "..", "web")


def transparent_gif():
    # GIF89a, 1x1, a two-entry colour table, colour 0 marked transparent by the graphic control
    # extension, one pixel of colour 0 (LZW, minimum code size 2: clear, 0, end).
    return (b"GIF89a" + struct.pack("<HHBBB", 1, 1, 0x80, 0, 0)
            + bytes([0, 0, 0, 255, 255, 255])
            + bytes([0x21, 0xF9, 4, 0x01, 0, 0, 0, 0])
            + b"," + struct.pack("<HHHHB", 0, 0, 1, 1, 0)
            + bytes([2, 2, 0x44, 0x01, 0]) + b";")


def png(width, height, pixels):
    """pixels: rows of (r, g, b, a) tuples."""
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    raw = b"".join(b"\0" + b"".join(bytes(px) for px in row) for row in pixels)
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def lit_indicator(w=7, h=14):
    # A lamp 5 x 12 inside a one-pixel halo; brightest a little above the centre.
    rows = []
    cx, cy = (w - 1) / 2, (h - 1) / 2 - 1.5
    for y in range(h):
        row = []
        for x in range(w):
            inside = 1 <= x <= w - 2 and 1 <= y <= h - 2
            corner = (x in (1, w - 2)) and (y in (1, h - 2))
            if inside and not corner:
                d = math.hypot((x - cx) / 2.5, (y - cy) / 6.5)
                t = max(0.0, 1.0 - d)
                r = int(40 + 170 * t)
                g = int(190 + 65 * t)
                b = int(70 + 150 * t)
                row.append((r, g, b, 255))
            else:
                # halo: the lamp's green, faint, so it glows on the dark socket behind
                near = (1 <= x <= w - 2) or (1 <= y <= h - 2)
                row.append((60, 220, 90, 70 if near and not corner else 25))
        rows.append(row)
    return png(w, h, rows)


def main():
    os.makedirs(WEB, exist_ok=True)
    with open(os.path.join(WEB, "pix.gif"), "wb") as f:
        f.write(transparent_gif())
    with open(os.path.join(WEB, "modled_7x14.png"), "wb") as f:
        f.write(lit_indicator())


if __name__ == "__main__":
    main()
