#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Runs the conversion benchmarks and the same jobs with OpenCV (one thread)
and Pillow on a 4096 x 4096 image in the same run, and prints each ratio.

    /usr/bin/python3 bench/convert_peers.py [path/to/pelc_bench]

(the Debian interpreter, which sees the python3-opencv and python3-pil packages)

A ratio is peer time / pelc time: above 1 pelc is faster. "frame" compares the
whole conversion, making its result included (sources and targets in the
automatic memory kind, virtual memory at this size), with the peer making a new
array; "heap" is the same frame in fixed global memory (OpenCV jobs only);
"kernel" compares the converter alone with OpenCV writing into an array
it already has (Pillow has no such call, so its kernel ratio uses its whole
call and favours the peer).
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

# pelc frame benchmark, pelc converter benchmark, peer, peer job, target ratio
# (None: for information).
JOBS = [
    ("bit24_to_bit8grey", "cvtBit24ToBit8Grey", "OpenCV", "BGR->GRAY", 1.0),
    ("bit24_to_bit565", "cvtBit24ToBit565", "OpenCV", "BGR->BGR565", 1.0),
    ("bit24_to_bit32", "cvtBit24ToBit32", "OpenCV", "BGR->BGRA", 1.0),
    ("bit32_to_bit24", "cvtBit32ToBit24", "OpenCV", "BGRA->BGR", 1.0),
    ("bit24_to_bit8grey", "cvtBit24ToBit8Grey", "Pillow", "convert('L')", None),
    ("bit24_to_bit1", "cvtBit24ToBit1", "Pillow", "convert('1', dither=NONE)", 2.0),
    ("bit24_to_bit8", "cvtBit24ToBit8", "Pillow", "quantize(256 colours, dither=NONE)", 2.0),
    ("bit24_to_bit4", "cvtBit24ToBit4", "Pillow", "quantize(16 colours, dither=NONE)", 2.0),
]


def pelc_times(bench):
    out = subprocess.run(
        [bench, "--benchmark_filter=^(convert|heap|kernel)/", "--benchmark_format=json",
         "--benchmark_repetitions=3", "--benchmark_report_aggregates_only=true"],
        check=True, capture_output=True, text=True).stdout
    times = {}
    for b in json.loads(out)["benchmarks"]:
        if b.get("aggregate_name", "median") != "median":
            continue
        scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[b["time_unit"]]
        family, name = b["run_name"].split("/", 1)
        times[("heap:" if family == "heap" else "") + name] = b["cpu_time"] * scale
    return times


def median_time(job):
    samples = []
    for _ in range(RUNS):
        start = time.process_time()
        result = job()
        samples.append(time.process_time() - start)
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
    grey, b565 = np.empty((SIDE, SIDE), np.uint8), np.empty((SIDE, SIDE, 2), np.uint8)
    b4, b3 = np.empty((SIDE, SIDE, 4), np.uint8), np.empty((SIDE, SIDE, 3), np.uint8)
    opencv = {
        "BGR->GRAY": (bgr, cv2.COLOR_BGR2GRAY, grey),
        "BGR->BGR565": (bgr, cv2.COLOR_BGR2BGR565, b565),
        "BGR->BGRA": (bgr, cv2.COLOR_BGR2BGRA, b4),
        "BGRA->BGR": (bgra, cv2.COLOR_BGRA2BGR, b3),
    }
    fresh, into = {}, {}
    for job, (src, code, dst) in opencv.items():
        fresh[("OpenCV", job)] = median_time(lambda: cv2.cvtColor(src, code))
        into[("OpenCV", job)] = median_time(lambda: cv2.cvtColor(src, code, dst=dst))
    pillow = {
        "convert('L')": lambda: rgb.convert("L"),
        "convert('1', dither=NONE)": lambda: rgb.convert("1", dither=none),
        "quantize(256 colours, dither=NONE)": lambda: rgb.quantize(palette=palette256,
                                                                   dither=none),
        "quantize(16 colours, dither=NONE)": lambda: rgb.quantize(palette=palette16,
                                                                  dither=none),
    }
    for job, call in pillow.items():
        fresh[("Pillow", job)] = into[("Pillow", job)] = median_time(call)
    return fresh, into


def verdict(ratio, target):
    if target is None:
        return "-"
    return f">= {target:g} " + ("met" if ratio >= target else "MISSED")


def main():
    default = Path(__file__).resolve().parent.parent / "build/release/bin/pelc_bench"
    bench = sys.argv[1] if len(sys.argv) > 1 else str(default)
    pelc = pelc_times(bench)
    fresh, into = peer_times()
    print(f"{'pelc job':<20}{'frame':>8}{'heap':>8}{'kernel':>8}  {'peer job':<46}{'new':>8}"
          f"{'into':>8}  {'frame ratio':<18}{'heap ratio':<18}{'kernel ratio':<18}")
    for frame, kernel, peer, job, target in JOBS:
        ours, ourKernel = pelc[frame], pelc[kernel]
        ourHeap = pelc.get("heap:" + frame) if peer == "OpenCV" else None
        theirs, theirInto = fresh[(peer, job)], into[(peer, job)]
        r1, r2 = theirs / ours, theirInto / ourKernel
        heapTime = f"{ourHeap * 1e3:8.2f}" if ourHeap else f"{'-':>8}"
        heapRatio = (f"{theirs / ourHeap:5.2f} {verdict(theirs / ourHeap, target):<12}" if ourHeap
                     else f"{'-':<18}")
        print(f"{frame:<20}{ours * 1e3:8.2f}{heapTime}{ourKernel * 1e3:8.2f}  "
              f"{peer + ' ' + job:<46}{theirs * 1e3:8.2f}{theirInto * 1e3:8.2f}  "
              f"{r1:5.2f} {verdict(r1, target):<12}{heapRatio}{r2:5.2f} {verdict(r2, target)}")
    print("times in ms of CPU, medians; new: the peer makes its result, into: it writes into an"
          " existing array")


if __name__ == "__main__":
    main()
