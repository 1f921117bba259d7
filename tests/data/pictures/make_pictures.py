#!/usr/bin/env python3
"""Makes the small test pictures of tests/data/pictures.

BMP (1, 4 and 24 bits), ICO and JPEG files come from ImageMagick (commands below); the 8-bit
BMP and both metafiles are written byte by byte here, since no converter for them may be at
hand. Run from this folder: python3 make_pictures.py [--with-imagemagick]

ImageMagick commands:
  convert -size 4x6 xc:black -size 4x6 xc:white +append -type Bilevel BMP3:mono1.bmp
  convert -size 4x6 xc:red -size 2x6 xc:lime -size 2x6 xc:blue +append -type Palette BMP3:pal4.bmp
  convert -size 4x6 xc:red -size 4x6 xc:blue +append -type TrueColor BMP3:rgb24.bmp
  convert -size 8x16 xc:lime -size 8x16 xc:none +append -define icon:auto-resize=16 icon.ico
  convert -size 16x16 xc:red -size 16x16 xc:blue +append -quality 95 photo.jpg
  convert -size 16x16 xc:red -size 16x16 xc:blue +append -quality 95 -colorspace Gray gray.jpg
  convert -size 16x16 xc:red -size 16x16 xc:blue +append -colorspace CMYK -quality 95 cmyk.jpg
  convert -size 8x6 xc:red -size 8x6 xc:none +append PNG32:alpha.png
  convert -size 8x6 xc:red -size 8x6 xc:blue +append -define webp:lossless=true lossless.webp
drawing.svg (40 x 20: a red square left of a blue one) is written by hand.
"""
import struct
import subprocess
import sys

IMAGEMAGICK = [
    "convert -size 4x6 xc:black -size 4x6 xc:white +append -type Bilevel BMP3:mono1.bmp",
    "convert -size 4x6 xc:red -size 2x6 xc:lime -size 2x6 xc:blue +append -type Palette BMP3:pal4.bmp",
    "convert -size 4x6 xc:red -size 4x6 xc:blue +append -type TrueColor BMP3:rgb24.bmp",
    "convert -size 8x16 xc:lime -size 8x16 xc:none +append -define icon:auto-resize=16 icon.ico",
    "convert -size 16x16 xc:red -size 16x16 xc:blue +append -quality 95 photo.jpg",
    "convert -size 16x16 xc:red -size 16x16 xc:blue +append -quality 95 -colorspace Gray gray.jpg",
    "convert -size 16x16 xc:red -size 16x16 xc:blue +append -colorspace CMYK -quality 95 cmyk.jpg",
    "convert -size 8x6 xc:red -size 8x6 xc:none +append PNG32:alpha.png",
    "convert -size 8x6 xc:red -size 8x6 xc:blue +append -define webp:lossless=true lossless.webp",
]


def pal8_bmp():
    """8 x 6, 8 bits per pixel, 256-entry palette: entry i is (i, 255 - i, 0) except entry 0
    (red) and entry 1 (blue); the left half uses entry 0, the right half entry 1, the bottom-right
    pixel entry 200."""
    width, height = 8, 6
    palette = b""
    for i in range(256):
        r, g, b = (255, 0, 0) if i == 0 else (0, 0, 255) if i == 1 else (i, 255 - i, 0)
        palette += bytes((b, g, r, 0))
    rows = b""
    for y in range(height - 1, -1, -1):  # bottom-up
        row = bytes(0 if x < 4 else (200 if (x, y) == (7, 5) else 1) for x in range(width))
        rows += row  # 8 bytes: already a multiple of 4
    offset = 14 + 40 + len(palette)
    header = b"BM" + struct.pack("<IHHI", offset + len(rows), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, len(rows), 2835, 2835, 256, 256)
    return header + info + palette + rows


def wmf():
    """Placeable WMF, 64 x 32 units at 96 units per inch (64 x 32 screen pixels): a red
    rectangle over the left half without outline; the right half is not painted."""
    def rec(function, *params):
        return struct.pack("<IH", 3 + len(params), function) + struct.pack("<%dH" % len(params), *params)

    def colorref(r, g, b):
        v = r | g << 8 | b << 16
        return (v & 0xFFFF, v >> 16)

    records = b"".join([
        rec(0x020B, 0, 0),                       # SETWINDOWORG y, x
        rec(0x020C, 32, 64),                     # SETWINDOWEXT height, width
        rec(0x02FC, 0, *colorref(255, 0, 0), 0),  # CREATEBRUSHINDIRECT solid red
        rec(0x012D, 0),                          # SELECTOBJECT brush
        rec(0x02FA, 5, 0, 0, *colorref(0, 0, 0)),  # CREATEPENINDIRECT PS_NULL
        rec(0x012D, 1),                          # SELECTOBJECT pen
        rec(0x041B, 33, 33, 0, 0),               # RECTANGLE bottom, right, top, left
        rec(0x0000),                             # EOF
    ])
    words = (18 + len(records)) // 2
    max_record = 7
    header = struct.pack("<HHHIHIH", 1, 9, 0x0300, words, 2, max_record, 0)
    placeable = struct.pack("<IHhhhhHI", 0x9AC6CDD7, 0, 0, 0, 64, 32, 96, 0)
    checksum = 0
    for (w,) in struct.iter_unpack("<H", placeable):
        checksum ^= w
    return placeable + struct.pack("<H", checksum) + header + records


def text_wmf():
    """Placeable WMF, 96 x 32 units at 96 units per inch: the word "Hi" in black, 24 units
    high, Arial, at (4, 2) on nothing else (checks that text plays through libwmf's fonts)."""
    def rec(function, *params):
        return struct.pack("<IH", 3 + len(params), function) + struct.pack("<%dH" % len(params), *params)

    face = b"Arial".ljust(32, b"\0")
    font = struct.pack("<hhhhh8B", -24, 0, 0, 0, 700, 0, 0, 0, 0, 0, 0, 0, 0) + face
    font_words = struct.unpack("<%dH" % (len(font) // 2), font)
    text = b"Hi"
    records = b"".join([
        rec(0x020B, 0, 0),                  # SETWINDOWORG
        rec(0x020C, 32, 96),                # SETWINDOWEXT
        rec(0x02FB, *font_words),           # CREATEFONTINDIRECT
        rec(0x012D, 0),                     # SELECTOBJECT font
        rec(0x0209, 0, 0),                  # SETTEXTCOLOR black
        rec(0x0102, 1),                     # SETBKMODE TRANSPARENT
        rec(0x012E, 0),                     # SETTEXTALIGN TA_TOP | TA_LEFT
        rec(0x0521, len(text), *struct.unpack("<H", text), 2, 4),  # TEXTOUT count, text, y, x
        rec(0x0000),
    ])
    words = (18 + len(records)) // 2
    max_record = max(3 + len(font_words), 7)
    header = struct.pack("<HHHIHIH", 1, 9, 0x0300, words, 1, max_record, 0)
    placeable = struct.pack("<IHhhhhHI", 0x9AC6CDD7, 0, 0, 0, 96, 32, 96, 0)
    checksum = 0
    for (w,) in struct.iter_unpack("<H", placeable):
        checksum ^= w
    return placeable + struct.pack("<H", checksum) + header + records


def emf():
    """EMF of 64 x 32 pixels (frame 1693 x 846 hundredths of a millimetre at 96 pixels per
    inch): a blue rectangle over the left half without outline; the right half is not painted."""
    body = b"".join([
        struct.pack("<II", 39, 24) + struct.pack("<IIII", 1, 0, 0xFF0000, 0),  # CREATEBRUSHINDIRECT blue
        struct.pack("<III", 37, 12, 1),                                       # SELECTOBJECT brush
        struct.pack("<III", 37, 12, 0x80000008),                              # SELECTOBJECT NULL_PEN
        struct.pack("<II", 43, 24) + struct.pack("<iiii", 0, 0, 33, 33),      # RECTANGLE
        struct.pack("<II", 14, 20) + struct.pack("<III", 0, 16, 20),          # EOF
    ])
    total = 88 + len(body)
    header = struct.pack("<II", 1, 88)
    header += struct.pack("<iiii", 0, 0, 63, 31)          # bounds (pixels, inclusive)
    header += struct.pack("<iiii", 0, 0, 1692, 845)       # frame (0.01 mm, inclusive)
    header += struct.pack("<IIIIHHIII", 0x464D4520, 0x10000, total, 6, 2, 0, 0, 0, 0)
    header += struct.pack("<iiii", 1024, 768, 271, 203)   # device pixels, millimetres (96 dpi)
    assert len(header) == 88
    return header + body


def main():
    if "--with-imagemagick" in sys.argv:
        for command in IMAGEMAGICK:
            subprocess.run(command, shell=True, check=True)
    for name, data in (("pal8.bmp", pal8_bmp()), ("metafile.wmf", wmf()), ("text.wmf", text_wmf()), ("metafile.emf", emf())):
        with open(name, "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
