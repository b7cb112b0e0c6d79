#!/usr/bin/env python3
"""Draws the program's pictures and writes them as resource files.

  icon 128  app.ico       32x32 and 16x16, 16 colours: a black-on-yellow title
                          band above a handheld remote control
  icon 129  warning.ico   32x32, 16 colours: a yellow warning triangle, a black
                          exclamation mark, a grey drop shadow
  clip 132  transfer.avi  uncompressed RIFF AVI, 4 frames of 250x50, 8-bit
                          palette, 500 ms each, magenta background: a desktop
                          computer at the left, a remote at the right, and in
                          frames 2-4 a green arrow one step further right

Usage: make_resources.py OUTPUT_FOLDER
Both GUI backends use these files: the program embeds their bytes, and the
Windows resource script names them.
"""
import struct
import sys
from pathlib import Path

# The 16 colours of the standard VGA palette, in their usual order.
PALETTE16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, GREEN, NAVY, SILVER, GREY, RED, LIME, YELLOW, BLUE, MAGENTA, WHITE = (
    0, 2, 4, 7, 8, 9, 10, 11, 12, 13, 15)
CLEAR = None  # transparent icon pixel


class Canvas:
    def __init__(self, width, height, fill):
        self.width, self.height = width, height
        self.pixels = [[fill] * width for _ in range(height)]

    def put(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y][x] = colour

    def rect(self, x0, y0, x1, y1, colour):
        """Fills the rectangle from (x0, y0) to (x1, y1) inclusive."""
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.put(x, y, colour)

    def frame(self, x0, y0, x1, y1, colour):
        self.rect(x0, y0, x1, y0, colour)
        self.rect(x0, y1, x1, y1, colour)
        self.rect(x0, y0, x0, y1, colour)
        self.rect(x1, y0, x1, y1, colour)

    def triangle(self, apex_x, top, bottom, colour):
        """An upright isosceles triangle with its apex at (apex_x, top)."""
        for y in range(top, bottom + 1):
            half = (y - top) * 15 // (bottom - top) if bottom > top else 0
            self.rect(apex_x - half, y, apex_x + half, y, colour)


# ---- Icons ------------------------------------------------------------------

def draw_app_icon(size):
    c = Canvas(size, size, CLEAR)
    s = size / 32
    band = round(9 * s)
    c.rect(0, 0, size - 1, band - 1, YELLOW)
    # "RF" in black block letters on the band.
    if size >= 32:
        for x0 in (4, 12):
            c.rect(x0, 2, x0 + 1, 6, BLACK)
        c.rect(6, 2, 8, 2, BLACK); c.rect(8, 3, 8, 3, BLACK); c.rect(6, 4, 8, 4, BLACK)
        c.rect(7, 5, 7, 5, BLACK); c.rect(8, 6, 8, 6, BLACK)
        c.rect(14, 2, 17, 2, BLACK); c.rect(14, 4, 16, 4, BLACK)
        c.rect(20, 3, 27, 5, BLACK)
    else:
        c.rect(2, 1, 13, 2, BLACK)
    # The remote: a dark body with a screen and rows of buttons.
    left, right = round(10 * s), round(21 * s)
    top, bottom = band + round(2 * s), size - 1
    c.rect(left, top, right, bottom, GREY)
    c.frame(left, top, right, bottom, BLACK)
    c.rect(left + round(2 * s), top + round(2 * s), right - round(2 * s), top + round(6 * s), LIME)
    y = top + round(9 * s)
    step = max(2, round(3 * s))
    colours = [RED, BLUE, YELLOW, WHITE]
    row = 0
    while y < bottom - 1:
        for i, x in enumerate(range(left + round(2 * s), right - 1, step)):
            c.put(x, y, colours[(row + i) % len(colours)])
            if size >= 32:
                c.put(x + 1, y, colours[(row + i) % len(colours)])
        y += step
        row += 1
    return c


def draw_warning_icon():
    c = Canvas(32, 32, CLEAR)
    # Shadow first, two pixels down and right; then the triangle over it.
    c.triangle(17, 4, 31, GREY)
    c.triangle(15, 1, 28, BLACK)
    c.triangle(15, 3, 27, YELLOW)
    c.rect(14, 9, 16, 20, BLACK)   # the stroke of the exclamation mark
    c.rect(14, 23, 16, 25, BLACK)  # its dot
    return c


def ico_image(canvas):
    w, h = canvas.width, canvas.height
    header = struct.pack('<IiiHHIIiiII', 40, w, 2 * h, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in PALETTE16)
    xor_stride = ((w * 4 + 31) // 32) * 4
    and_stride = ((w + 31) // 32) * 4
    xor, mask = bytearray(), bytearray()
    for y in reversed(range(h)):  # bottom-up rows
        row = canvas.pixels[y]
        line = bytearray(xor_stride)
        bits = bytearray(and_stride)
        for x, colour in enumerate(row):
            index = BLACK if colour is CLEAR else colour
            line[x // 2] |= index << (4 if x % 2 == 0 else 0)
            if colour is CLEAR:
                bits[x // 8] |= 0x80 >> (x % 8)
        xor += line
        mask += bits
    return header + palette + xor + mask


def ico_file(canvases):
    images = [ico_image(c) for c in canvases]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for c, image in zip(canvases, images):
        out += struct.pack('<BBBBHHII', c.width % 256, c.height % 256, 16, 0, 1, 4,
                           len(image), offset)
        offset += len(image)
    return out + b''.join(images)


# ---- Animation ----------------------------------------------------------------

FRAME_W, FRAME_H, FRAMES, FRAME_US = 250, 50, 4, 500000


def draw_frame(number):
    c = Canvas(FRAME_W, FRAME_H, MAGENTA)
    # Desktop computer: monitor with a blue screen on a stand, box below.
    c.rect(4, 3, 47, 32, SILVER); c.frame(4, 3, 47, 32, BLACK)
    c.rect(8, 7, 43, 28, BLUE)
    c.rect(22, 33, 29, 36, GREY)
    c.rect(2, 37, 49, 46, SILVER); c.frame(2, 37, 49, 46, BLACK)
    c.rect(36, 40, 45, 42, BLACK)
    # Handheld remote: tall body, screen, buttons.
    c.rect(216, 2, 239, 47, GREY); c.frame(216, 2, 239, 47, BLACK)
    c.rect(219, 5, 236, 14, LIME)
    for row, y in enumerate(range(18, 45, 5)):
        for i, x in enumerate(range(219, 236, 5)):
            c.rect(x, y, x + 2, y + 2, (RED, YELLOW, WHITE, BLUE)[(row + i) % 4])
    # The arrow from the computer towards the remote, one step further each frame.
    if number > 0:
        tip = 60 + number * 45
        c.rect(tip - 40, 22, tip - 12, 27, GREEN)
        for d in range(13):
            c.rect(tip - 12 + d, 12 + d, tip - 12 + d, 37 - d, GREEN)
    return c


def chunk(fourcc, data):
    out = fourcc + struct.pack('<I', len(data)) + data
    return out + (b'\0' if len(data) % 2 else b'')


def riff_list(kind, fourcc, data):
    return chunk(kind, fourcc + data)


def avi_file():
    stride = (FRAME_W + 3) & ~3
    frame_size = stride * FRAME_H
    frames = []
    for n in range(FRAMES):
        canvas = draw_frame(n)
        data = bytearray()
        for y in reversed(range(FRAME_H)):
            data += bytes(canvas.pixels[y]) + bytes(stride - FRAME_W)
        frames.append(bytes(data))

    avih = struct.pack('<14I', FRAME_US, frame_size * 2, 0, 0x10, FRAMES, 0, 1, frame_size,
                       FRAME_W, FRAME_H, 0, 0, 0, 0)
    strh = (b'vids' + b'\0\0\0\0' +
            struct.pack('<IHHIIIIIIIIhhhh', 0, 0, 0, 0, 1, 2, 0, FRAMES, frame_size, 0xFFFFFFFF,
                        0, 0, 0, FRAME_W, FRAME_H))
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in PALETTE16)
    palette += bytes(4 * (256 - 16))
    strf = struct.pack('<IiiHHIIiiII', 40, FRAME_W, FRAME_H, 1, 8, 0, frame_size, 0, 0, 256,
                       0) + palette
    strl = riff_list(b'LIST', b'strl', chunk(b'strh', strh) + chunk(b'strf', strf))
    hdrl = riff_list(b'LIST', b'hdrl', chunk(b'avih', avih) + strl)
    movi_body = b''
    index = b''
    for data in frames:
        index += b'00db' + struct.pack('<III', 0x10, 4 + len(movi_body), len(data))
        movi_body += chunk(b'00db', data)
    movi = riff_list(b'LIST', b'movi', movi_body)
    return riff_list(b'RIFF', b'AVI ', hdrl + movi + chunk(b'idx1', index))


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out = Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    (out / 'app.ico').write_bytes(ico_file([draw_app_icon(32), draw_app_icon(16)]))
    (out / 'warning.ico').write_bytes(ico_file([draw_warning_icon()]))
    (out / 'transfer.avi').write_bytes(avi_file())


if __name__ == '__main__':
    main()
