#!/usr/bin/env python3
"""Draws the program's icon and writes it to uninstall.ico beside this script.

The picture: a grey desk printer with a printed sheet standing in its paper
feed, crossed out by a red X in the lower right corner, i.e. "take this
printer's driver away".  The corners around the printer and the cross are
transparent.

The file holds one 32 x 32 image in 4 bits per pixel with the standard
16-colour palette, the form that Windows 95's shell shows for a program
file.  The .ico is committed; run this script again only when the picture
changes:

    python3 resources/draw_icon.py            # writes resources/uninstall.ico
    python3 resources/draw_icon.py --show     # also prints the picture as text
"""

import os
import struct
import sys

SIZE = 32

# The standard 16-colour palette, in palette order, as (red, green, blue).
PALETTE = [
    (0, 0, 0),        # 0  black
    (128, 0, 0),      # 1  dark red
    (0, 128, 0),      # 2  dark green
    (128, 128, 0),    # 3  dark yellow
    (0, 0, 128),      # 4  dark blue
    (128, 0, 128),    # 5  dark magenta
    (0, 128, 128),    # 6  dark cyan
    (192, 192, 192),  # 7  light grey
    (128, 128, 128),  # 8  dark grey
    (255, 0, 0),      # 9  red
    (0, 255, 0),      # 10 green
    (255, 255, 0),    # 11 yellow
    (0, 0, 255),      # 12 blue
    (255, 0, 255),    # 13 magenta
    (0, 255, 255),    # 14 cyan
    (255, 255, 255),  # 15 white
]
BLACK, DARK_RED, DARK_GREY, LIGHT_GREY = 0, 1, 8, 7
RED, GREEN, WHITE = 9, 10, 15

# A transparent pixel: colour index 0 under a set mask bit.
CLEAR = None


def blank():
    return [[CLEAR] * SIZE for _ in range(SIZE)]


def fill(img, top, left, bottom, right, colour):
    """Fills the rectangle of rows top..bottom and columns left..right."""
    for y in range(top, bottom + 1):
        for x in range(left, right + 1):
            img[y][x] = colour


def box(img, top, left, bottom, right, colour, border=BLACK):
    fill(img, top, left, bottom, right, border)
    fill(img, top + 1, left + 1, bottom - 1, right - 1, colour)


def draw_printer(img):
    # The body: light grey, lit from the top left, shaded bottom right.
    box(img, 10, 1, 24, 28, LIGHT_GREY)
    fill(img, 11, 2, 11, 26, WHITE)
    fill(img, 11, 2, 22, 2, WHITE)
    fill(img, 23, 2, 23, 27, DARK_GREY)
    fill(img, 12, 27, 23, 27, DARK_GREY)

    # The sheet standing in the feed slot, with a few lines of print on it;
    # its lower edge is hidden in the slot.
    box(img, 1, 8, 11, 21, WHITE)
    for y in (3, 5, 7):
        fill(img, y, 10, y, 19, DARK_GREY)
    fill(img, 9, 10, 9, 15, DARK_GREY)
    fill(img, 11, 6, 11, 23, BLACK)
    fill(img, 12, 7, 12, 22, DARK_GREY)

    # The output slot across the front, and the power light.
    fill(img, 17, 5, 17, 24, BLACK)
    fill(img, 18, 5, 18, 24, DARK_GREY)
    fill(img, 14, 23, 15, 24, GREEN)

    # Feet.
    fill(img, 25, 3, 26, 6, BLACK)
    fill(img, 25, 24, 26, 27, BLACK)   # mostly behind the cross


def draw_cross(img, top, left, size):
    """A thick red X with a dark red rim, over whatever is below it."""
    last = size - 1
    for dy in range(size):
        for dx in range(size):
            # Distance, along a row, from each of the two diagonals.
            d = min(abs(dy - dx), abs(dy + dx - last))
            if d <= 1:
                img[top + dy][left + dx] = RED
            elif d == 2:
                img[top + dy][left + dx] = DARK_RED


def draw():
    img = blank()
    draw_printer(img)
    draw_cross(img, 14, 14, 18)
    return img


def icon_image(img):
    """The RT_ICON image: header, palette, colour bitmap, mask."""
    header = struct.pack('<IiiHHIIiiII', 40, SIZE, 2 * SIZE, 1, 4, 0,
                         SIZE * SIZE // 2, 0, 0, 0, 0)
    palette = b''.join(bytes((b, g, r, 0)) for r, g, b in PALETTE)
    colours = bytearray()
    mask = bytearray()
    for row in reversed(img):  # bottom row first
        indices = [0 if c is CLEAR else c for c in row]
        for x in range(0, SIZE, 2):
            colours.append(indices[x] << 4 | indices[x + 1])
        bits = 0
        for c in row:
            bits = bits << 1 | (c is CLEAR)
        mask += struct.pack('>I', bits)
    image = header + palette + bytes(colours) + bytes(mask)
    assert len(image) == 744
    return image


def ico_file(image):
    """The .ico file: one directory entry for the one image."""
    icondir = struct.pack('<HHH', 0, 1, 1)
    entry = struct.pack('<BBBBHHII', SIZE, SIZE, 16, 0, 1, 4, len(image),
                        len(icondir) + 16)
    return icondir + entry + image


def show(img):
    letters = {CLEAR: '.', BLACK: '#', DARK_RED: 'r', RED: 'R',
               LIGHT_GREY: '-', DARK_GREY: '=', WHITE: ' ', GREEN: 'G'}
    for row in img:
        print(''.join(letters[c] for c in row))


def main():
    img = draw()
    if '--show' in sys.argv[1:]:
        show(img)
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)),
                       'uninstall.ico')
    with open(out, 'wb') as f:
        f.write(ico_file(icon_image(img)))


if __name__ == '__main__':
    main()
