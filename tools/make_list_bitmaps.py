#!/usr/bin/env python3
"""Draws the mail list's bitmaps and icon (Quillbox.dll) and writes them.

    tools/make_list_bitmaps.py [OUTDIR]      (default: resources/quillbox)

rows.bmp     bitmap 102: four 16 x 16 row images side by side (mail, mail
             with another content type, error, spare); the background is the
             mask colour 1 (RGB 1, 0, 0) the list loads them with.
toolbar.bmp  bitmap 108: fifteen 16 x 15 toolbar images on the button face
             grey (192, 192, 192), which the toolbar maps to the system colour.
toolbar_disabled.bmp  bitmap 110: the same pictures in light grey shades, for
             the disabled buttons (the toolbar's disabled image list).
toolbar_24.bmp, toolbar_disabled_24.bmp  bitmaps 111, 112: the same at 150 %
             (24 x 23 images); toolbar_32.bmp, toolbar_disabled_32.bmp
             bitmaps 113, 114: at 200 % (32 x 30 images).
list.ico     icon 106: 16, 20, 24, 32 and 48 pixels.
../viewer/message.ico  the message window's icon, the same sizes.
Only the standard library is used; the generated files are committed.
"""
import os
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_icons import Canvas, OUTLINE, dib, ico_of  # noqa: E402

PAPER = (250, 250, 250)
YELLOW = (255, 214, 64)
RED = (210, 20, 20)
BLUE = (30, 90, 200)
GREEN = (20, 140, 40)
WHITE = (255, 255, 255)
BLACK = (20, 20, 20)

# 3 x 5 pixel letters for the character-code buttons.
FONT = {
    "J": ["001", "001", "001", "101", "010"],
    "S": ["011", "100", "010", "001", "110"],
    "E": ["111", "100", "110", "100", "111"],
    "U": ["101", "101", "101", "101", "111"],
    "7": ["111", "001", "010", "010", "010"],
    "8": ["111", "101", "111", "101", "111"],
    "1": ["010", "110", "010", "010", "111"],
    "6": ["011", "100", "111", "101", "111"],
}


def text(c, x, y, s, rgb):
    """Draws the letters at x, y in 16-pixel units (one font pixel a unit)."""
    for ch in s:
        for dy, row in enumerate(FONT[ch]):
            for dx, bit in enumerate(row):
                if bit == "1":
                    c.rect(x + dx, y + dy, x + dx + 1, y + dy + 1, rgb)
        x += 4


def envelope(c, colour, top=4, bottom=13):
    c.rect(1, top, 15, bottom, OUTLINE)
    c.rect(2, top + 1, 14, bottom - 1, colour)
    c.line(1.5, top + 0.5, 8, top + 5, OUTLINE)
    c.line(8, top + 5, 14.5, top + 0.5, OUTLINE)


def cross(c, cx, cy, r):
    c.disc(cx, cy, r, WHITE)
    c.disc(cx, cy, r - 0.6, RED)
    d = r * 0.45
    c.line(cx - d, cy - d, cx + d, cy + d, WHITE, 1.2)
    c.line(cx + d, cy - d, cx - d, cy + d, WHITE, 1.2)


def row_image(i):
    c = Canvas(16)
    if i == 0:
        envelope(c, PAPER)
    elif i == 1:
        envelope(c, YELLOW)
        c.line(11, 1, 11, 8, BLUE, 1)  # paper clip
        c.line(13, 1, 13, 9, BLUE, 1)
        c.line(11, 1, 13, 1, BLUE, 1)
    elif i == 2:
        envelope(c, (200, 200, 200))
        cross(c, 11.5, 11.5, 4)
    else:
        envelope(c, (180, 220, 255))
    return c


def tool_image(i, size=16):
    c = Canvas(size)
    if i == 0:  # always on top: a window with an upward arrow
        c.rect(2, 6, 14, 15, OUTLINE)
        c.rect(3, 8, 13, 14, WHITE)
        c.rect(3, 7, 13, 8, BLUE)
        c.line(8, 0.5, 8, 5, GREEN, 1.5)
        c.line(5, 3, 8, 0.5, GREEN, 1.2)
        c.line(11, 3, 8, 0.5, GREEN, 1.2)
    elif i == 1:  # delete from the server
        envelope(c, PAPER, 2, 11)
        cross(c, 11, 10.5, 4)
    elif i == 2:  # disconnect: a broken line between two plugs
        c.rect(1, 6, 5, 10, OUTLINE)
        c.rect(11, 6, 15, 10, OUTLINE)
        c.line(5, 8, 7, 8, BLACK, 1)
        c.line(9, 8, 11, 8, BLACK, 1)
        c.line(7, 5, 9, 11, RED, 1)
    elif i == 3:  # ask before deleting: question mark
        c.disc(8, 7.5, 6.5, BLUE)
        c.line(6, 5, 7, 3.5, WHITE, 1.2)
        c.line(7, 3.5, 9.5, 3.5, WHITE, 1.2)
        c.line(10, 4, 10, 6, WHITE, 1.2)
        c.line(10, 6, 8, 8, WHITE, 1.2)
        c.rect(7.5, 8, 8.5, 10, WHITE)
        c.rect(7.5, 11, 8.5, 12, WHITE)
    elif i == 4:  # save deleted headers: a disk
        c.rect(2, 1, 14, 14, BLUE)
        c.rect(4, 1, 12, 6, WHITE)
        c.rect(5, 9, 11, 14, (200, 200, 200))
    elif i == 5:  # header view: a page with lines
        c.rect(3, 1, 13, 15, OUTLINE)
        c.rect(4, 2, 12, 14, WHITE)
        for y in (4, 6, 8):
            c.rect(5, y, 11, y + 1, BLUE)
    elif i == 6:  # message view: an open letter
        envelope(c, YELLOW, 5, 14)
        c.rect(4, 1, 12, 8, WHITE)
        c.rect(5, 3, 11, 4, OUTLINE)
        c.rect(5, 5, 11, 6, OUTLINE)
    elif i == 7:  # external program: a window with a green run arrow
        c.rect(1, 2, 13, 13, OUTLINE)
        c.rect(2, 4, 12, 12, WHITE)
        c.rect(2, 3, 12, 4, BLUE)
        c.line(9, 6, 15, 10, GREEN, 1)
        c.line(9, 14, 15, 10, GREEN, 1)
        c.line(9, 6, 9, 14, GREEN, 1)
        c.rect(10, 8, 13, 12, GREEN)
    elif 8 <= i <= 13:
        label = ["J", "S", "E", "7", "8", "16"][i - 8]
        c.rect(0, 2, 16, 13, OUTLINE)
        c.rect(1, 3, 15, 12, WHITE)
        if len(label) == 1:
            text(c, 6, 5, label, BLACK)
        else:
            text(c, 4, 5, label, BLACK)
        c.rect(1, 3, 15, 4, [RED, BLUE, GREEN, YELLOW, (150, 60, 200), (0, 160, 160)][i - 8])
    else:  # spare
        c.disc(8, 7.5, 3, (160, 160, 160))
    return c


def greyed(c):
    """The picture in light grey shades: what a disabled button shows."""
    for row in c.px:
        for x, p in enumerate(row):
            if p is not None:
                v = 128 + (p[0] * 30 + p[1] * 59 + p[2] * 11) // 100 // 3
                row[x] = (v, v, v) if v != 192 else (191, 191, 191)
    return c


def bmp(images, width, height, background):
    """A 24-bit bottom-up BMP of the images side by side."""
    total = width * len(images)
    row_bytes = (total * 3 + 3) & ~3
    pixels = bytearray()
    for y in reversed(range(height)):
        row = bytearray()
        for img in images:
            for x in range(width):
                p = img.px[y][x] or background
                row += bytes((p[2], p[1], p[0]))
        row += b"\0" * (row_bytes - len(row))
        pixels += row
    info = struct.pack("<IiiHHIIiiII", 40, total, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return header + info + bytes(pixels)


def list_icon():
    def draw(n):
        c = Canvas(n)
        c.rect(1, 1, 15, 15, OUTLINE)
        c.rect(2, 2, 14, 14, WHITE)
        for y in (4, 7, 10):
            c.rect(3, y, 5, y + 2, YELLOW)
            c.rect(6, y + 0.5, 13, y + 1.5, BLUE)
        return c

    return ico_of(draw)


def message_icon():
    def draw(n):
        # an open letter: a page standing out of an envelope
        c = Canvas(n)
        c.rect(3, 1, 13, 10, OUTLINE)
        c.rect(3 + 16 / n, 1 + 16 / n, 13 - 16 / n, 10, WHITE)
        for y in (3, 5, 7):
            c.rect(5, y, 11, y + 1, BLUE)
        c.rect(1, 7, 15, 15, OUTLINE)
        c.rect(1 + 16 / n, 7 + 16 / n, 15 - 16 / n, 15 - 16 / n, YELLOW)
        c.line(1.5, 7.5, 8, 12, OUTLINE)
        c.line(8, 12, 14.5, 7.5, OUTLINE)
        return c

    return ico_of(draw)


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    outdir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "resources", "quillbox")
    os.makedirs(outdir, exist_ok=True)
    with open(os.path.join(outdir, "rows.bmp"), "wb") as f:
        f.write(bmp([row_image(i) for i in range(4)], 16, 16, (1, 0, 0)))
    # 16 x 15 at 100 %, 24 x 23 at 150 %, 32 x 30 at 200 %
    for size, height, suffix in ((16, 15, ""), (24, 23, "_24"), (32, 30, "_32")):
        with open(os.path.join(outdir, "toolbar%s.bmp" % suffix), "wb") as f:
            f.write(bmp([tool_image(i, size) for i in range(15)], size, height, (192, 192, 192)))
        with open(os.path.join(outdir, "toolbar_disabled%s.bmp" % suffix), "wb") as f:
            f.write(bmp([greyed(tool_image(i, size)) for i in range(15)], size, height, (192, 192, 192)))
    with open(os.path.join(outdir, "list.ico"), "wb") as f:
        f.write(list_icon())
    viewer = os.path.join(os.path.dirname(outdir), "viewer")
    if os.path.isdir(viewer):
        with open(os.path.join(viewer, "message.ico"), "wb") as f:
            f.write(message_icon())


if __name__ == "__main__":
    main()
