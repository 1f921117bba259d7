#!/usr/bin/env python3
"""Writes the hand-made GIF files that the reader must handle as other decoders do, and
expected.json with what each must load to: its frames (position, size, pixel indexes), its
warnings, or its error. tst_gif_cases reads them and cross-checks giflib, gifsicle and
ImageMagick against the same expectations.

Run from anywhere: python3 tests/data/gif/cases/make_cases.py
"""
import json
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

# Colours are distinct, so that a decoder that gives colours can be mapped back to indexes.
PALETTE4 = [(0, 0, 0), (255, 0, 0), (0, 255, 0), (0, 0, 255)]


def colour_table(colours):
    size = 2
    while size < len(colours):
        size *= 2
    colours = list(colours) + [(0, 0, 0)] * (size - len(colours))
    return b"".join(bytes(c) for c in colours), size.bit_length() - 2


def header(width, height, colours=PALETTE4):
    out = b"GIF89a" + struct.pack("<HH", width, height)
    if colours is None:
        return out + bytes([0, 0, 0])
    table, bits = colour_table(colours)
    return out + bytes([0x80 | (bits << 4) | bits, 0, 0]) + table


def descriptor(left, top, width, height, colours=None, interlaced=False):
    packed = 0x40 if interlaced else 0
    table = b""
    if colours is not None:
        table, bits = colour_table(colours)
        packed |= 0x80 | bits
    return b"," + struct.pack("<HHHH", left, top, width, height) + bytes([packed]) + table


def sub_blocks(data, size=255):
    out = b""
    for i in range(0, len(data), size):
        piece = data[i:i + size]
        out += bytes([len(piece)]) + piece
    return out + b"\0"


def pack(codes):
    """Codes (value, width) least significant bit first."""
    out, bits, count = bytearray(), 0, 0
    for code, width in codes:
        bits |= code << count
        count += width
        while count >= 8:
            out.append(bits & 0xFF)
            bits >>= 8
            count -= 8
    if count:
        out.append(bits & 0xFF)
    return bytes(out)


def lzw(pixels, min_size, end=True):
    """GIF LZW codes of pixels with the width a decoder reads each one at."""
    clear = 1 << min_size
    codes = []
    state = {"width": min_size + 1, "next": clear + 2, "first": True}

    def emit(code):
        codes.append((code, state["width"]))
        if code == clear:
            state.update(width=min_size + 1, next=clear + 2, first=True)
        elif state["first"]:
            state["first"] = False
        elif state["next"] <= 4095:
            state["next"] += 1
            if state["next"] >= 1 << state["width"] and 1 << state["width"] <= 4095:
                state["width"] += 1

    emit(clear)
    table, next_code, prefix = {}, clear + 2, None
    for p in pixels:
        if prefix is None:
            prefix = p
        elif (prefix, p) in table:
            prefix = table[(prefix, p)]
        else:
            emit(prefix)
            if next_code >= 4095:
                emit(clear)
                table, next_code = {}, clear + 2
            else:
                table[(prefix, p)] = next_code
                next_code += 1
            prefix = p
    if prefix is not None:
        emit(prefix)
    if end:
        emit(clear + 1)
    return codes


def image_data(min_size, codes, block=255):
    return bytes([min_size]) + sub_blocks(pack(codes), block)


def frame(left, top, width, height, pixels, min_size=2, block=255, colours=None):
    return descriptor(left, top, width, height, colours) + image_data(min_size, lzw(pixels, min_size), block)


def graphic_control(packed=0, delay=0, transparent=0, size=4, extra=b""):
    body = bytes([packed]) + struct.pack("<H", delay) + bytes([transparent])
    body = (body + bytes(max(0, size - 4)))[:size]
    return b"!\xf9" + bytes([size]) + body + extra + b"\0"


def application(block, sub):
    return b"!\xff" + bytes([len(block)]) + block + b"".join(bytes([len(s)]) + s for s in sub) + b"\0"


CASES = []


def case(name, data, frames=None, warnings=(), error="", note=""):
    """frames: (left, top, width, height, pixels) of every frame with an image."""
    CASES.append({
        "name": name + ".gif",
        "note": note,
        "error": error,
        "warnings": list(warnings),
        "frames": [{"left": l, "top": t, "width": w, "height": h, "pixels": bytes(p).hex()}
                   for (l, t, w, h, p) in (frames or [])],
    })
    with open(os.path.join(HERE, name + ".gif"), "wb") as f:
        f.write(data)


def make():
    a, b, c = [1, 2, 3, 0], [2, 2, 1, 1], [3, 0, 0, 3]
    three = [(0, 0, 2, 2, a), (0, 0, 2, 2, b), (0, 0, 2, 2, c)]

    # A frame whose data ends (end code) after its first pixel, then two more frames.
    early = descriptor(0, 0, 2, 2) + image_data(2, [(4, 3), (1, 3), (5, 3)])
    case("end-code-early-then-two-frames",
         header(2, 2) + early + frame(0, 0, 2, 2, b) + frame(0, 0, 2, 2, c) + b";",
         [(0, 0, 2, 2, [1, 0, 0, 0])] + three[1:],
         note="the data of frame 1 ends after one pixel; the rest keep the fill value")

    # The same with the data cut by the terminator (no end code) after one pixel.
    cut = descriptor(0, 0, 2, 2) + image_data(2, [(4, 3), (1, 3)])
    case("terminator-early-then-two-frames",
         header(2, 2) + cut + frame(0, 0, 2, 2, b) + frame(0, 0, 2, 2, c) + b";",
         [(0, 0, 2, 2, [1, 0, 0, 0])] + three[1:], ["Decoder bit buffer under-run"])

    # An 8x8 frame carrying the data of 2,560 pixels, then two frames.
    noise = [(i * 7 + i // 3) % 4 for i in range(2560)]
    case("excess-data-then-two-frames",
         header(8, 8) + descriptor(0, 0, 8, 8) + image_data(2, lzw(noise, 2)) + frame(0, 0, 2, 2, b) +
         frame(0, 0, 2, 2, c) + b";",
         [(0, 0, 8, 8, noise[:64])] + three[1:], ["Excess image data"])

    # 12-bit codes in sub-blocks of one byte: codes span three sub-blocks.
    pixels = [(i * 131 + i // 7) % 256 for i in range(64 * 64)]
    grey = [(i, i, 255 - i) for i in range(256)]
    case("one-byte-sub-blocks",
         header(64, 64, grey) + descriptor(0, 0, 64, 64) + image_data(8, lzw(pixels, 8), block=1) + b";",
         [(0, 0, 64, 64, pixels)])
    case("two-byte-sub-blocks-interlaced",
         header(64, 64, grey) + descriptor(0, 0, 64, 64, interlaced=True) +
         image_data(8, lzw(interlace(pixels, 64, 64), 8), block=2) + b";",
         [(0, 0, 64, 64, pixels)])

    # An end code right after a clear code: no pixels, the fill value.
    case("end-code-after-clear",
         header(2, 2) + descriptor(0, 0, 2, 2) + image_data(2, [(4, 3), (5, 3)]) + frame(0, 0, 2, 2, b) + b";",
         [(0, 0, 2, 2, [0, 0, 0, 0]), three[1]])

    # Indexes beyond the colour table, and no colour table at all.
    case("indexes-beyond-table",
         header(4, 1, PALETTE4[:2]) + descriptor(0, 0, 4, 1) + image_data(3, lzw([0, 5, 7, 1], 3)) + b";",
         [(0, 0, 4, 1, [0, 5, 7, 1])])
    case("indexes-beyond-local-table",
         header(4, 1) + descriptor(0, 0, 4, 1, PALETTE4[:2]) + image_data(3, lzw([0, 5, 7, 1], 3)) + b";",
         [(0, 0, 4, 1, [0, 5, 7, 1])])
    case("no-colour-table",
         header(4, 1, None) + descriptor(0, 0, 4, 1) + image_data(2, lzw([0, 1, 2, 3], 2)) + b";",
         [(0, 0, 4, 1, [0, 1, 2, 3])])

    # Application blocks as other programs write them.
    case("netscape-block-of-15",
         header(2, 2) + application(b"NETSCAPE2.0abcd", [b"\x01\x05\x00"]) + frame(0, 0, 2, 2, a) + b";",
         [three[0]])
    case("netscape-unknown-sub-blocks",
         header(2, 2) + application(b"NETSCAPE2.0", [b"\x01\x05\x00", b"\x07xyz", b"\x02\x00\x10\x00\x00"]) +
         frame(0, 0, 2, 2, a) + frame(0, 0, 2, 2, b) + b";",
         three[:2])
    case("application-block-of-5",
         header(2, 2) + application(b"ABCDE", [b"xy"]) + frame(0, 0, 2, 2, a) + b";", [three[0]])
    case("unknown-extension-label",
         header(2, 2) + b"!\x77\x03abc\x02de\x00" + frame(0, 0, 2, 2, a) + frame(0, 0, 2, 2, b) + b";",
         three[:2], ["Unknown extension type"])

    # Graphic control blocks of other sizes: the real frame keeps its delay and transparency.
    # (tst_gif_edges checks that the frame gets the delay and the transparent index.)
    case("graphic-control-of-5",
         header(2, 2) + graphic_control(1, 20, 3, size=5) + frame(0, 0, 2, 2, a) + b";", [three[0]])
    case("graphic-control-with-sub-block",
         header(2, 2) + graphic_control(1, 20, 3, extra=b"\x02zz") + frame(0, 0, 2, 2, a) +
         frame(0, 0, 2, 2, b) + b";",
         three[:2])

    # Pixel bombs: tiny files whose frames would take gigabytes.
    for count in (8, 64):
        bomb = header(16384, 16384)
        for _ in range(count):
            bomb += descriptor(0, 0, 16384, 16384) + image_data(2, [(4, 3), (1, 3), (5, 3)])
        case("bomb-%d-frames" % count, bomb + b";", error="Image dimensions too large",
             note="%d frames of 16384 x 16384 pixels" % count)

    with open(os.path.join(HERE, "expected.json"), "w") as f:
        json.dump(CASES, f, indent=1)
        f.write("\n")


def interlace(pixels, width, height):
    """The rows in the order of the four interlace passes."""
    rows = [r for start, step in ((0, 8), (4, 8), (2, 4), (1, 2)) for r in range(start, height, step)]
    return [p for r in rows for p in pixels[r * width:(r + 1) * width]]


if __name__ == "__main__":
    make()
