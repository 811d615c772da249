#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Files made by Pillow and ImageMagick, with what those tools read back.

  peers.py make DIR    write sample files into DIR, each with reference
                       pixels NAME#PAGE.rgba as its maker reads it back
  peers.py check DIR   read every NAME that has NAME#0.rgba beside it with
                       Pillow and compare with the reference

A reference is a text line "width height tolerance" followed by the pixels,
top line first, four bytes R G B A each.
"""
import os
import random
import subprocess
import sys

from PIL import Image


def write_ref(path, page, size, rgba, tolerance):
    with open(f"{path}#{page}.rgba", "wb") as out:
        out.write(f"{size[0]} {size[1]} {tolerance}\n".encode())
        out.write(bytes(rgba))


def pillow_ref(path, tolerance=0):
    with Image.open(path) as im:
        for page in range(getattr(im, "n_frames", 1)):
            im.seek(page)
            write_ref(path, page, im.size, im.convert("RGBA").tobytes(), tolerance)


def magick(*args):
    subprocess.run(["convert", *args], check=True)


def magick_ref(path, tolerance=0, sixteen=False):
    """ImageMagick's reading; 16-bit samples cut to their high byte."""
    size = subprocess.run(["identify", "-format", "%w %h\n", path], check=True,
                          capture_output=True, text=True).stdout.split("\n")[0].split()
    size = (int(size[0]), int(size[1]))
    depth = "16" if sixteen else "8"
    raw = subprocess.run(["convert", path + "[0]", "-colorspace", "sRGB", "-depth", depth,
                          "-endian", "MSB", "rgba:-"], check=True, capture_output=True).stdout
    if sixteen:
        raw = raw[0::2]  # big-endian samples: the high byte first
    write_ref(path, 0, size, raw, tolerance)


def noise(mode, size, rng):
    bands = {"L": 1, "LA": 2, "RGB": 3, "RGBA": 4, "CMYK": 4, "P": 1}[mode]
    return Image.frombytes(mode, size, bytes(rng.randrange(256) for _ in range(
        size[0] * size[1] * bands)))


def gradient(size):
    im = Image.new("RGB", size)
    im.putdata([(x * 255 // (size[0] - 1), y * 255 // (size[1] - 1), (x * 7 + y * 3) % 256)
                for y in range(size[1]) for x in range(size[0])])
    return im


def make(d):
    rng = random.Random(5)
    j = lambda name: os.path.join(d, name)

    # Palette PNG with one transparent entry.
    p = noise("L", (23, 17), rng).point(lambda v: v % 40)
    p = p.convert("P") if p.mode != "P" else p
    p = Image.frombytes("P", (23, 17), p.tobytes())
    p.putpalette([rng.randrange(256) for _ in range(40 * 3)])
    p.save(j("pillow_trns.png"), transparency=5)
    pillow_ref(j("pillow_trns.png"))
    # 16-bit grey: Pillow reads it as 32-bit integers; the high byte is what counts.
    g16 = Image.new("I;16", (31, 9))
    g16.putdata([(x * 2111 + y * 977) % 65536 for y in range(9) for x in range(31)])
    g16.save(j("pillow_grey16.png"))
    with Image.open(j("pillow_grey16.png")) as im:
        levels = [v >> 8 for v in im.getdata()]
    write_ref(j("pillow_grey16.png"), 0, (31, 9),
              [c for v in levels for c in (v, v, v, 255)], 0)
    for mode, name in (("LA", "pillow_la.png"), ("RGBA", "pillow_rgba.png"),
                       ("L", "pillow_grey.png"), ("RGB", "pillow_rgb.png")):
        noise(mode, (27, 13), rng).save(j(name))
        pillow_ref(j(name))
    noise("P", (15, 8), rng).convert("1").save(j("pillow_bilevel.png"))
    pillow_ref(j("pillow_bilevel.png"))

    photo = gradient((67, 45))
    photo.save(j("pillow_progressive.jpg"), quality=90, progressive=True)
    pillow_ref(j("pillow_progressive.jpg"), 2)
    photo.convert("L").save(j("pillow_grey.jpg"), quality=90)
    pillow_ref(j("pillow_grey.jpg"), 2)
    photo.convert("CMYK").save(j("pillow_cmyk.jpg"), quality=95)
    pillow_ref(j("pillow_cmyk.jpg"), 3)

    pages = [noise("RGB", (19, 11), rng) for _ in range(3)]
    pages[0].save(j("pillow_pages.tif"), save_all=True, append_images=pages[1:],
                  compression="tiff_lzw")
    pillow_ref(j("pillow_pages.tif"))
    indexed = noise("P", (21, 10), rng)
    indexed.putpalette([rng.randrange(256) for _ in range(256 * 3)])
    indexed.save(j("pillow_palette.tif"))
    pillow_ref(j("pillow_palette.tif"))
    noise("L", (21, 10), rng).convert("1").save(j("pillow_bilevel.tif"), compression="group4")
    pillow_ref(j("pillow_bilevel.tif"))

    # Animated GIF: frames on one palette, each changing part of the picture.
    palette = [rng.randrange(256) for _ in range(64 * 3)]
    frames = []
    base = noise("L", (24, 16), rng).point(lambda v: v % 64)
    for k in range(4):
        f = Image.frombytes("P", base.size, base.tobytes())
        for y in range(4 + k, 9 + k):
            for x in range(3 * k, 3 * k + 7):
                f.putpixel((x, y), (k * 11 + x) % 64)
        f.putpalette(palette)
        frames.append(f)
        base = Image.frombytes("L", f.size, f.tobytes())
    frames[0].save(j("pillow_anim.gif"), save_all=True, append_images=frames[1:],
                   duration=80, loop=0)
    pillow_ref(j("pillow_anim.gif"))

    noise("RGB", (33, 7), rng).save(j("pillow_lossless.webp"), lossless=True)
    pillow_ref(j("pillow_lossless.webp"))
    noise("RGBA", (33, 7), rng).save(j("pillow_alpha.webp"), lossless=True, exact=True)
    pillow_ref(j("pillow_alpha.webp"))
    photo.save(j("pillow_lossy.webp"), quality=90)
    pillow_ref(j("pillow_lossy.webp"), 3)

    # ImageMagick's own writers.
    magick("-size", "29x13", "gradient:red-blue", "-depth", "16", j("magick_rgb16.png"))
    magick_ref(j("magick_rgb16.png"), 0, sixteen=True)
    magick("-size", "17x11", "gradient:", "-depth", "16", j("magick_grey16.tif"))
    magick_ref(j("magick_grey16.tif"), 0, sixteen=True)
    photo.save(j("source.png"))
    magick(j("source.png"), "-interlace", "PNG", j("magick_interlaced.png"))
    magick_ref(j("magick_interlaced.png"))
    magick(j("source.png"), "-compress", "zip", j("magick_zip.tif"))
    magick_ref(j("magick_zip.tif"))
    magick(j("source.png"), "-define", "tiff:tile-geometry=16x16", j("magick_tiled.tif"))
    magick_ref(j("magick_tiled.tif"))
    magick(j("source.png"), "-colorspace", "CMYK", "-quality", "95", j("magick_cmyk.jpg"))
    magick_ref(j("magick_cmyk.jpg"), 4)
    magick(j("source.png"), "-colors", "32", j("magick.gif"))
    magick_ref(j("magick.gif"))
    os.remove(j("source.png"))


def check(d):
    failures = 0
    for ref in sorted(f for f in os.listdir(d) if f.endswith(".rgba")):
        name, page = ref[:-5].rsplit("#", 1)
        with open(os.path.join(d, ref), "rb") as f:
            w, h, tolerance = map(int, f.readline().split())
            want = f.read()
        with Image.open(os.path.join(d, name)) as im:
            im.seek(int(page))
            got = im.convert("RGBA").tobytes()
            size = im.size
        worst = 0
        if size != (w, h) or len(got) != len(want):
            worst = 256
        else:
            for i in range(0, len(got), 4):
                if got[i + 3] == 0 and want[i + 3] == 0:
                    continue
                worst = max(worst, *(abs(got[i + k] - want[i + k]) for k in range(4)))
        if worst > tolerance:
            print(f"{name} page {page}: Pillow reads differences up to {worst}, "
                  f"allowed {tolerance}")
            failures += 1
    return 1 if failures else 0


if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[1] not in ("make", "check"):
        sys.exit(__doc__)
    sys.exit(make(sys.argv[2]) if sys.argv[1] == "make" else check(sys.argv[2]))
