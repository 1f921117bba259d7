#!/usr/bin/env python3
"""Makes the demo Deck demo.gsd with its pictures (pictures/) and recordings (sounds/).

Needs ImageMagick (convert) for the BMP, ICO, JPEG and GIF pictures and espeak-ng for the
recordings; the two metafiles (WMF, EMF) are written byte by byte here. Paths in the Deck are
relative to it. Run from anywhere: python3 examples/make_demo.py
"""
import os
import struct
import subprocess

HERE = os.path.dirname(os.path.abspath(__file__))

# word, frequency, definition, picture
ITEMS = [
    ("apple", 3, "a round fruit with red or green skin", "apple.bmp"),
    ("star", 2, "a point of light in the night sky", "star.ico"),
    ("house", 4, "a building where people live", "house.wmf"),
    ("sun", 5, "the star that gives the earth light and heat", "sun.emf"),
    ("tree", 3, "a tall plant with a wooden trunk and branches", "tree.jpg"),
    ("fish", 2, "an animal that lives and swims in water", "fish.gif"),
    ("bird", 4, "an animal with feathers and wings that can fly", "bird.gif"),
    ("moon", 1, "the body that goes round the earth and shines at night", "moon.jpg"),
    ("boat", 2, "a small vessel for travelling on water", "boat.gif"),
    ("heart", 3, "the organ that pumps blood through the body", "heart.bmp"),
    ("key", 1, "a shaped piece of metal that opens a lock", "key.ico"),
    ("caf\xe9", 0, "a small restaurant that serves coffee and light meals", ""),
]

CONVERT = {
    "apple.bmp": ["-size", "96x96", "xc:white", "-fill", "#d01818", "-draw", "circle 48,54 48,18",
                  "-fill", "#2f8f2f", "-draw", "ellipse 60,16 12,6 0,360", "-fill", "#6b3b0b",
                  "-draw", "rectangle 46,8 50,22", "-type", "TrueColor", "BMP3:apple.bmp"],
    "star.ico": ["-size", "32x32", "xc:none", "-fill", "#ffd700", "-stroke", "#a07000",
                 "-draw", "polygon 16,1 20,12 31,12 22,19 25,30 16,23 7,30 10,19 1,12 12,12",
                 "-define", "icon:auto-resize=32", "star.ico"],
    "tree.jpg": ["-size", "96x96", "gradient:#bfe6ff-#ffffff", "-fill", "#7a4a1a",
                 "-draw", "rectangle 42,56 54,92", "-fill", "#1f8a2a", "-draw", "circle 48,40 48,8",
                 "-quality", "90", "tree.jpg"],
    "moon.jpg": ["-size", "96x96", "xc:#101840", "-fill", "#f4f0c0", "-draw", "circle 48,48 48,16",
                 "-fill", "#101840", "-draw", "circle 64,40 64,12", "-quality", "90", "moon.jpg"],
    "fish.gif": ["-size", "96x64", "xc:#bfe0ff", "-fill", "#ff8c1a",
                 "-draw", "ellipse 44,32 28,16 0,360", "-draw", "polygon 70,32 92,14 92,50",
                 "-fill", "black", "-draw", "circle 30,28 32,28", "fish.gif"],
    "boat.gif": ["-size", "96x64", "xc:#bfe0ff", "-fill", "#2050a0", "-draw", "rectangle 0,50 96,64",
                 "-fill", "#8b4513", "-draw", "polygon 16,40 80,40 70,52 26,52", "-fill", "white",
                 "-draw", "polygon 48,6 48,38 74,38", "-stroke", "black", "-draw", "line 48,4 48,40",
                 "boat.gif"],
    "heart.bmp": ["-size", "64x64", "xc:white", "-fill", "#e0204a", "-draw", "circle 22,24 22,10",
                  "-draw", "circle 42,24 42,10", "-draw", "polygon 9,30 55,30 32,58",
                  "-type", "Palette", "BMP3:heart.bmp"],
    "key.ico": ["-size", "32x32", "xc:none", "-fill", "#c9a227", "-stroke", "#6e5510",
                "-draw", "circle 9,16 9,8", "-draw", "rectangle 16,14 31,18", "-draw", "rectangle 26,18 29,24",
                "-define", "icon:auto-resize=32", "key.ico"],
}


def bird_frames():
    """An animated GIF: a bird beating its wings over the sky, four frames, looping."""
    frames = []
    for i, wing in enumerate((8, 20, 32, 20)):
        name = "bird%d.gif" % i
        subprocess.run(["convert", "-size", "96x64", "xc:#cfe8ff", "-fill", "#303030",
                        "-draw", "ellipse 48,36 14,7 0,360",
                        "-draw", "polygon 40,34 56,34 30,%d" % wing,
                        "-draw", "polygon 44,34 60,34 70,%d" % wing,
                        "-fill", "#ffb000", "-draw", "polygon 62,34 70,36 62,38", name], check=True)
        frames.append(name)
    subprocess.run(["convert", "-delay", "15", "-loop", "0"] + frames + ["bird.gif"], check=True)
    for name in frames:
        os.remove(name)


def wmf_house():
    """A placeable Windows metafile of 96 x 96 units: a house with a red roof and a door."""
    def rec(function, *params):
        return struct.pack("<IH", 3 + len(params), function) + struct.pack("<%dH" % len(params), *(p & 0xFFFF for p in params))

    def brush(r, g, b):
        value = r | g << 8 | b << 16
        return rec(0x02FC, 0, value & 0xFFFF, value >> 16, 0)  # CREATEBRUSHINDIRECT, solid

    records = b"".join([
        rec(0x020B, 0, 0), rec(0x020C, 96, 96),                  # window origin and extent
        rec(0x02FA, 0, 2, 0, 0, 0),                               # CREATEPENINDIRECT black, 2 wide
        rec(0x012D, 0),                                           # SELECTOBJECT pen
        brush(240, 220, 170), rec(0x012D, 1),                     # wall
        rec(0x041B, 90, 80, 44, 16),                              # RECTANGLE bottom right top left
        brush(200, 40, 30), rec(0x012D, 2),                       # roof
        rec(0x0324, 3, 8, 46, 48, 10, 88, 46),                    # POLYGON 3 points
        brush(110, 70, 30), rec(0x012D, 3),                       # door
        rec(0x041B, 90, 56, 62, 40),
        rec(0x0000),
    ])
    words = (18 + len(records)) // 2
    header = struct.pack("<HHHIHIH", 1, 9, 0x0300, words, 4, 9, 0)
    placeable = struct.pack("<IHhhhhHI", 0x9AC6CDD7, 0, 0, 0, 96, 96, 96, 0)
    checksum = 0
    for (word,) in struct.iter_unpack("<H", placeable):
        checksum ^= word
    return placeable + struct.pack("<H", checksum) + header + records


def emf_sun():
    """An enhanced metafile of 96 x 96 pixels: a yellow sun with an orange outline."""
    def rec(kind, *values):
        return struct.pack("<II", kind, 8 + 4 * len(values)) + struct.pack("<%di" % len(values), *values)

    body = b"".join([
        rec(39, 1, 0, 0x00D7FF, 0),          # CREATEBRUSHINDIRECT yellow (colour is 0x00BBGGRR)
        rec(37, 1),                          # SELECTOBJECT brush
        rec(38, 2, 0, 3, 3, 0x0080FF),       # CREATEPEN orange, 3 wide
        rec(37, 2),                          # SELECTOBJECT pen
        rec(42, 20, 20, 76, 76),             # ELLIPSE
        rec(43, 4, 44, 18, 52), rec(43, 78, 44, 92, 52),   # rays as small rectangles
        rec(43, 44, 4, 52, 18), rec(43, 44, 78, 52, 92),
        struct.pack("<II", 14, 20) + struct.pack("<III", 0, 16, 20),   # EOF
    ])
    total = 88 + len(body)
    header = struct.pack("<II", 1, 88)
    header += struct.pack("<iiii", 0, 0, 95, 95)
    header += struct.pack("<iiii", 0, 0, 2539, 2539)
    header += struct.pack("<IIIIHHIII", 0x464D4520, 0x10000, total, 9, 3, 0, 0, 0, 0)
    header += struct.pack("<iiii", 1024, 768, 271, 203)
    return header + body


def main():
    pictures = os.path.join(HERE, "pictures")
    sounds = os.path.join(HERE, "sounds")
    os.makedirs(pictures, exist_ok=True)
    os.makedirs(sounds, exist_ok=True)
    os.chdir(pictures)
    for name, arguments in CONVERT.items():
        subprocess.run(["convert"] + arguments, check=True)
    bird_frames()
    with open("house.wmf", "wb") as f:
        f.write(wmf_house())
    with open("sun.emf", "wb") as f:
        f.write(emf_sun())

    os.chdir(sounds)
    lines = []
    for word, frequency, definition, picture in ITEMS:
        sound = "%s.wav" % word.encode("ascii", "replace").decode().replace("?", "e")
        subprocess.run(["espeak-ng", "-v", "en", "-s", "140", "-w", sound, word], check=True)
        visual = "pictures/" + picture if picture else ""
        fields = [word, str(frequency), definition, visual, "sounds/" + sound]
        lines.append("".join(field + "\xb6" for field in fields) + "\r\n")
    with open(os.path.join(HERE, "demo.gsd"), "wb") as f:
        f.write("".join(lines).encode("cp1252"))


if __name__ == "__main__":
    main()
