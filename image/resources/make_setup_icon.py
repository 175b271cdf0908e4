#!/usr/bin/env python3
# SPDX-License-Identifier: Zlib
"""Draws the launcher image's own icon, image/resources/setup.ico: a closed
carton with a blue arrow pointing into it, at 16x16 and 32x32 pixels in 16
colours (4 bits per pixel), a few hundred bytes each so that the launcher image
stays small. A package gets its own icon from sfxpack build --icon; this one
shows only on the bare launcher and on packages built without it.

    image/resources/make_setup_icon.py > image/resources/setup.ico

With --demo it draws the demo package's icon instead, tools/demo/demo.ico: the
same shapes in other colours, so that the demo shows a package's own icon.
"""
import struct
import sys

# The 16 colours of the standard VGA palette, as (red, green, blue).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, MAROON, GREEN, OLIVE, NAVY, RED, LIME, YELLOW, BLUE = 0, 1, 2, 3, 4, 9, 10, 11, 12


def in_box(u, v):
    return 0.10 <= u <= 0.90 and 0.46 <= v <= 0.94


def in_tape(u, v):
    return in_box(u, v) and 0.42 <= u <= 0.58


def in_arrow(u, v):
    shaft = 0.40 <= u <= 0.60 and 0.04 <= v <= 0.40
    head = 0.30 <= v <= 0.66 and abs(u - 0.5) <= (0.66 - v) * 0.95
    return shaft or head


# Top layer first: (inside, fill, outline or None).
LAYERS = [
    (in_arrow, BLUE, NAVY),
    (in_tape, YELLOW, None),
    (in_box, OLIVE, BLACK),
]
DEMO_LAYERS = [
    (in_arrow, LIME, GREEN),
    (in_tape, YELLOW, None),
    (in_box, RED, MAROON),
]


def pixel(size, x, y):
    """The palette index at (x, y), y counted from the top; None = transparent."""
    def inside(shape, px, py):
        return 0 <= px < size and 0 <= py < size and shape((px + 0.5) / size, (py + 0.5) / size)
    for shape, fill, outline in LAYERS:
        if not inside(shape, x, y):
            continue
        edge = any(not inside(shape, x + dx, y + dy)
                   for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)))
        return outline if edge and outline is not None else fill
    return None


def dib(size):
    """A 4-bit DIB: header, palette, colour rows and AND mask, bottom row first."""
    xor_row = (size * 4 + 31) // 32 * 4
    and_row = (size + 31) // 32 * 4
    header = struct.pack('<IiiHHIIiiII', 40, size, 2 * size, 1, 4, 0,
                         size * (xor_row + and_row), 0, 0, 0, 0)
    palette = b''.join(struct.pack('BBBB', b, g, r, 0) for r, g, b in PALETTE)
    colours = bytearray()
    mask = bytearray()
    for y in reversed(range(size)):
        row = [pixel(size, x, y) for x in range(size)]
        nibbles = [0 if p is None else p for p in row]
        line = bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, size, 2))
        colours += line.ljust(xor_row, b'\0')
        bits = 0
        for x, p in enumerate(row):
            if p is None:
                bits |= 1 << (size - 1 - x)
        mask += bits.to_bytes(size // 8, 'big').ljust(and_row, b'\0')
    return header + palette + bytes(colours) + bytes(mask)


def icon(sizes):
    images = [dib(size) for size in sizes]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(sizes, images):
        out += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(image), offset)
        offset += len(image)
    return out + b''.join(images)


if __name__ == '__main__':
    if sys.argv[1:] == ['--demo']:
        LAYERS[:] = DEMO_LAYERS
    sys.stdout.buffer.write(icon([16, 32]))
