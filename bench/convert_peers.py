#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Runs the conversion benchmarks and the same jobs with OpenCV (one thread)
and Pillow on a 4096 x 4096 image in the same run, and prints each ratio.

    /usr/bin/python3 bench/convert_peers.py [path/to/pelc_bench]

(the Debian interpreter, which sees the python3-opencv and python3-pil packages)

A ratio is peer time / pelc time: above 1 pelc is faster. Each peer job, like
each pelc benchmark, includes making its result.
"""
import json
import statistics
import subprocess
import sys
import time
from pathlib import Path

import cv2
import numpy as np
from PIL import Image

SIDE = 4096
RUNS = 9

# pelc benchmark, peer, peer job, target ratio (None: for information).
JOBS = [
    ("bit24_to_bit8grey", "OpenCV", "BGR->GRAY", 1.0),
    ("bit24_to_bit565", "OpenCV", "BGR->BGR565", 1.0),
    ("bit24_to_bit32", "OpenCV", "BGR->BGRA", 1.0),
    ("bit32_to_bit24", "OpenCV", "BGRA->BGR", 1.0),
    ("bit24_to_bit8grey", "Pillow", "convert('L')", None),
    ("bit24_to_bit1", "Pillow", "convert('1', dither=NONE)", 2.0),
    ("bit24_to_bit8", "Pillow", "quantize(256-colour palette, dither=NONE)", 2.0),
    ("bit24_to_bit4", "Pillow", "quantize(16-colour palette, dither=NONE)", 2.0),
]


def pelc_times(bench):
    out = subprocess.run(
        [bench, "--benchmark_filter=^convert/", "--benchmark_format=json"],
        check=True, capture_output=True, text=True).stdout
    times = {}
    for b in json.loads(out)["benchmarks"]:
        scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[b["time_unit"]]
        times[b["name"].split("/", 1)[1]] = b["real_time"] * scale
    return times


def median_time(job):
    samples = []
    for _ in range(RUNS):
        start = time.perf_counter()
        result = job()
        samples.append(time.perf_counter() - start)
        del result
    return statistics.median(samples)


def palette_image(colours):
    flat = [c for rgb in colours for c in rgb]
    flat += [0] * (768 - len(flat))
    image = Image.new("P", (1, 1))
    image.putpalette(flat)
    return image


def peer_times():
    cv2.setNumThreads(1)
    rng = np.random.default_rng(42)
    bgr = rng.integers(0, 256, (SIDE, SIDE, 3), dtype=np.uint8)
    bgra = rng.integers(0, 256, (SIDE, SIDE, 4), dtype=np.uint8)
    rgb = Image.fromarray(bgr[:, :, ::-1].copy(), "RGB")
    levels = [0, 51, 102, 153, 204, 255]
    cube = [(r, g, b) for r in levels for g in levels for b in levels]
    greys = [(v, v, v) for v in range(8, 248, 6)][:256 - len(cube)]
    palette256 = palette_image(cube + greys)
    palette16 = palette_image([(r, g, b) for r in (0, 255) for g in (0, 128, 255)
                               for b in (0, 255)][:16])
    none = Image.Dither.NONE
    return {
        ("OpenCV", "BGR->GRAY"): median_time(lambda: cv2.cvtColor(bgr, cv2.COLOR_BGR2GRAY)),
        ("OpenCV", "BGR->BGR565"): median_time(lambda: cv2.cvtColor(bgr, cv2.COLOR_BGR2BGR565)),
        ("OpenCV", "BGR->BGRA"): median_time(lambda: cv2.cvtColor(bgr, cv2.COLOR_BGR2BGRA)),
        ("OpenCV", "BGRA->BGR"): median_time(lambda: cv2.cvtColor(bgra, cv2.COLOR_BGRA2BGR)),
        ("Pillow", "convert('L')"): median_time(lambda: rgb.convert("L")),
        ("Pillow", "convert('1', dither=NONE)"): median_time(
            lambda: rgb.convert("1", dither=none)),
        ("Pillow", "quantize(256-colour palette, dither=NONE)"): median_time(
            lambda: rgb.quantize(palette=palette256, dither=none)),
        ("Pillow", "quantize(16-colour palette, dither=NONE)"): median_time(
            lambda: rgb.quantize(palette=palette16, dither=none)),
    }


def main():
    default = Path(__file__).resolve().parent.parent / "build/release/bin/pelc_bench"
    bench = sys.argv[1] if len(sys.argv) > 1 else str(default)
    pelc = pelc_times(bench)
    peers = peer_times()
    print(f"{'pelc job':<20} {'pelc ms':>8}  {'peer job':<52} {'peer ms':>8} {'ratio':>6}  target")
    for name, peer, job, target in JOBS:
        ours, theirs = pelc[name], peers[(peer, job)]
        ratio = theirs / ours
        verdict = "-" if target is None else (f">= {target:g}: " +
                                              ("met" if ratio >= target else "MISSED"))
        print(f"{name:<20} {ours * 1e3:8.2f}  {peer + ' ' + job:<52} {theirs * 1e3:8.2f} "
              f"{ratio:6.2f}  {verdict}")


if __name__ == "__main__":
    main()
