#!/usr/bin/env python3
"""Draws the tray program's icons and writes them as .ico files.

    tools/make_icons.py [OUTDIR]      (default: resources/tidewell)

Every icon holds images of 16, 20, 24, 32 and 48 pixels (100 % to 200 %), 32 bits per pixel with an
AND mask, drawn from the same shapes: an envelope whose colour and badge tell
the state. Only the standard library is used, so the files can be made again
anywhere; the generated files are committed.
"""
import os
import struct
import sys

# name, envelope colour, badge
ICONS = [
    ("program", (40, 110, 200), "wave"),
    ("normal", (235, 235, 235), None),
    ("mail", (255, 214, 64), "dot"),
    ("checking", (150, 220, 150), "arrow"),
    ("errormail", (255, 214, 64), "cross"),
    ("error", (200, 200, 200), "cross"),
    # the picture of the settings' "参照" buttons and the default account icon
    ("browse", (250, 200, 80), "folder"),
    ("account", (120, 170, 230), None),
]

OUTLINE = (60, 60, 60)


class Canvas:
    def __init__(self, size):
        self.size = size
        self.px = [[None] * size for _ in range(size)]

    def put(self, x, y, rgb):
        if 0 <= x < self.size and 0 <= y < self.size:
            self.px[y][x] = rgb

    def scale(self, v):
        return int(round(v * self.size / 16.0))

    def rect(self, x0, y0, x1, y1, rgb):
        """Fills the rectangle given in 16-pixel units, x1/y1 exclusive."""
        for y in range(self.scale(y0), self.scale(y1)):
            for x in range(self.scale(x0), self.scale(x1)):
                self.put(x, y, rgb)

    def line(self, x0, y0, x1, y1, rgb, width=1.0):
        s = self.size / 16.0
        steps = int(max(abs(x1 - x0), abs(y1 - y0)) * s * 2) + 1
        w = max(1, int(round(width * s)))
        for i in range(steps + 1):
            t = i / steps
            cx = (x0 + (x1 - x0) * t) * s
            cy = (y0 + (y1 - y0) * t) * s
            for dy in range(w):
                for dx in range(w):
                    self.put(int(cx) + dx - w // 2, int(cy) + dy - w // 2, rgb)

    def disc(self, cx, cy, r, rgb):
        s = self.size / 16.0
        for y in range(self.size):
            for x in range(self.size):
                if ((x + 0.5) / s - cx) ** 2 + ((y + 0.5) / s - cy) ** 2 <= r * r:
                    self.put(x, y, rgb)


def draw_folder(size, colour):
    c = Canvas(size)
    c.rect(1, 3, 7, 5, OUTLINE)
    c.rect(1, 4, 15, 14, OUTLINE)
    c.rect(1 + 16 / size, 5 + 16 / size, 15 - 16 / size, 14 - 16 / size, colour)
    c.rect(2, 4, 6, 5, colour)
    return c


def draw(size, colour, badge):
    if badge == "folder":
        return draw_folder(size, colour)
    c = Canvas(size)
    # envelope body with outline and flap
    c.rect(1, 4, 15, 13, OUTLINE)
    c.rect(1 + 16 / size, 4 + 16 / size, 15 - 16 / size, 13 - 16 / size, colour)
    c.line(1.5, 4.5, 8, 9, OUTLINE)
    c.line(8, 9, 14.5, 4.5, OUTLINE)
    if badge == "dot":
        c.disc(12.5, 3.5, 3.0, (255, 255, 255))
        c.disc(12.5, 3.5, 2.4, (220, 30, 30))
    elif badge == "cross":
        c.disc(12, 11.5, 3.8, (255, 255, 255))
        c.disc(12, 11.5, 3.2, (210, 20, 20))
        c.line(10.3, 9.8, 13.7, 13.2, (255, 255, 255), 1.2)
        c.line(13.7, 9.8, 10.3, 13.2, (255, 255, 255), 1.2)
    elif badge == "arrow":
        c.disc(12, 11.5, 3.8, (255, 255, 255))
        c.disc(12, 11.5, 3.2, (20, 140, 40))
        c.line(10, 11.5, 14, 11.5, (255, 255, 255), 1.2)
        c.line(12.3, 9.8, 14, 11.5, (255, 255, 255), 1.2)
        c.line(12.3, 13.2, 14, 11.5, (255, 255, 255), 1.2)
    elif badge == "wave":
        c.line(2, 14.5, 5, 13.5, (0, 70, 160), 1.2)
        c.line(5, 13.5, 8, 14.5, (0, 70, 160), 1.2)
        c.line(8, 14.5, 11, 13.5, (0, 70, 160), 1.2)
        c.line(11, 13.5, 14, 14.5, (0, 70, 160), 1.2)
    return c


def dib(canvas):
    """BITMAPINFOHEADER + bottom-up BGRA pixels + AND mask, as in an .ico."""
    n = canvas.size
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    mask = bytearray()
    row_bytes = ((n + 31) // 32) * 4
    for y in reversed(range(n)):
        bits = bytearray(row_bytes)
        for x in range(n):
            p = canvas.px[y][x]
            if p is None:
                pixels += b"\0\0\0\0"
                bits[x // 8] |= 0x80 >> (x % 8)
            else:
                pixels += bytes((p[2], p[1], p[0], 255))
        mask += bits
    return header + bytes(pixels) + bytes(mask)


# 16 and 32 pixels at 100 %; 20, 24 and 48 for 125 %, 150 % and 200 %
# (small icons at 150 % are 24 pixels, large ones at 150 % 48).
SIZES = (16, 20, 24, 32, 48)


def ico(colour, badge):
    return ico_of(lambda n: draw(n, colour, badge))


def ico_of(draw_size):
    """An .ico of the canvases draw_size(n) draws for each size."""
    images = [dib(draw_size(n)) for n in SIZES]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, data in zip(SIZES, images):
        out += struct.pack("<BBBBHHII", n, n, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(images)


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    outdir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "resources", "tidewell")
    os.makedirs(outdir, exist_ok=True)
    for name, colour, badge in ICONS:
        with open(os.path.join(outdir, name + ".ico"), "wb") as f:
            f.write(ico(colour, badge))


if __name__ == "__main__":
    main()
