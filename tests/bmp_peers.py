# SPDX-License-Identifier: MIT
"""BMP files through two peers, for the interoperability tests.

    bmp_peers.py decode-pil FILE.bmp OUT.rgb   Pillow's decode of a file
    bmp_peers.py write-pil DIR                 files written by Pillow, with its decodes
    bmp_peers.py write-im DIR                  files written by ImageMagick, with its decodes

A decode is the width and height (4 bytes each, little-endian) followed by
RGB triples, top line first. Exit status 77 means the peer is missing.
"""
import os
import shutil
import struct
import subprocess
import sys

MISSING = 77


def pillow():
    try:
        from PIL import Image
    except ImportError:
        sys.exit(MISSING)
    return Image


def write_decode(path, width, height, rgb):
    with open(path, "wb") as out:
        out.write(struct.pack("<II", width, height))
        out.write(rgb)


def decode_pil(bmp, out):
    with pillow().open(bmp) as im:
        im.load()
        rgb = im.convert("RGB")
        write_decode(out, rgb.width, rgb.height, rgb.tobytes())


def pattern(width, height):
    """An RGB picture with gradients and a few hard edges."""
    data = bytearray()
    for y in range(height):
        for x in range(width):
            data += bytes(((x * 255) // (width - 1), (y * 255) // (height - 1), (x * y + 3 * x) & 255))
    return bytes(data)


def write_pil(folder):
    Image = pillow()
    width, height = 37, 23
    base = Image.frombytes("RGB", (width, height), pattern(width, height))
    made = {
        "pil-1": base.convert("1"),
        "pil-L": base.convert("L"),
        "pil-P": base.convert("P", palette=Image.Palette.ADAPTIVE, colors=200),
        "pil-RGB": base,
        "pil-RGBA": base.convert("RGBA"),
    }
    for name, im in made.items():
        bmp = os.path.join(folder, name + ".bmp")
        im.save(bmp, "BMP")
        decode_pil(bmp, os.path.join(folder, name + ".rgb"))


def magick():
    for tool in ("magick", "convert"):
        found = shutil.which(tool)
        if found:
            return [found] if tool == "convert" else [found, "convert"]
    sys.exit(MISSING)


def decode_im(tool, bmp, out):
    ppm = subprocess.run(tool + [bmp, "-depth", "8", "ppm:-"], check=True,
                         capture_output=True).stdout
    # P6 header: magic, width, height, maximum, each followed by white space.
    fields, at = [], 0
    while len(fields) < 4:
        while ppm[at:at + 1].isspace():
            at += 1
        start = at
        while not ppm[at:at + 1].isspace():
            at += 1
        fields.append(ppm[start:at])
    width, height = int(fields[1]), int(fields[2])
    write_decode(out, width, height, ppm[at + 1:at + 1 + 3 * width * height])


def write_im(folder):
    tool = magick()
    width, height = 41, 19
    source = os.path.join(folder, "im-source.ppm")
    with open(source, "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % (width, height) + pattern(width, height))
    variants = {
        "im-24": ["BMP3:"],
        "im-v5": ["-type", "TrueColor", "BMP:"],
        "im-8": ["-type", "Palette", "BMP3:"],
        "im-grey": ["-colorspace", "Gray", "-type", "Grayscale", "BMP3:"],
        "im-1": ["-monochrome", "BMP3:"],
        "im-565": ["-define", "bmp:subtype=RGB565", "BMP:"],
    }
    for name, options in variants.items():
        bmp = os.path.join(folder, name + ".bmp")
        *flags, kind = options
        subprocess.run(tool + [source, "-compress", "None"] + flags + [kind + bmp], check=True,
                       capture_output=True)
        decode_im(tool, bmp, os.path.join(folder, name + ".rgb"))
    os.remove(source)


def main(argv):
    if len(argv) == 4 and argv[1] == "decode-pil":
        decode_pil(argv[2], argv[3])
    elif len(argv) == 3 and argv[1] == "write-pil":
        write_pil(argv[2])
    elif len(argv) == 3 and argv[1] == "write-im":
        write_im(argv[2])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv)
