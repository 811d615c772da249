#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Runs the geometry benchmarks and the nearest peer jobs in the same run and
prints the time ratios (pelc time / peer time; below 1 means pelc is faster).

    bench/geometry_peers.py [build/release/bin/pelc_bench]

Peers: OpenCV restricted to one thread, and Pillow (Debian python3-opencv,
python3-pil). Each job is timed as the best of several runs, like the
benchmark's own repetitions, on a 4096 x 4096 24-bit picture of random bytes.
"""
import json
import subprocess
import sys
import time

import cv2
import numpy as np
from PIL import Image

SIDE = 4096
REPEATS = 5


def best_ms(job, repeats=REPEATS):
    job()
    best = float("inf")
    for _ in range(repeats):
        start = time.perf_counter()
        job()
        best = min(best, time.perf_counter() - start)
    return best * 1000.0


def pelc_times(bench):
    out = subprocess.run(
        [bench, "--benchmark_filter=quarterTurn|rotate30|scaleTo|mirror|border",
         "--benchmark_format=json", "--benchmark_repetitions=3",
         "--benchmark_report_aggregates_only=true"],
        check=True, capture_output=True, text=True).stdout
    times = {}
    for row in json.loads(out)["benchmarks"]:
        if row.get("aggregate_name") != "min" and row.get("aggregate_name") != "median":
            continue
        name = row["run_name"]
        scale = {"ms": 1.0, "us": 1e-3, "ns": 1e-6, "s": 1e3}[row["time_unit"]]
        ms = row["real_time"] * scale
        times[name] = min(times.get(name, ms), ms)
    return times


def peer_times():
    cv2.setNumThreads(1)
    rng = np.random.default_rng(42)
    rgb = rng.integers(0, 256, (SIDE, SIDE, 3), dtype=np.uint8)
    grey = rng.integers(0, 256, (SIDE, SIDE), dtype=np.uint8)
    bits = rng.integers(0, 2, (SIDE, SIDE), dtype=np.uint8) * 255
    pil = Image.fromarray(rgb)
    pil_grey = Image.fromarray(grey)
    pil_bits = Image.fromarray(bits).convert("1")
    # The grown canvas of a 30-degree turn, as the library sizes it.
    fc, fs = int(np.cos(np.float32(np.pi / 6)) * 1024), int(np.sin(np.float32(np.pi / 6)) * 1024)
    grown = max(-(-abs(SIDE * fc - SIDE * fs) // 1024), -(-(SIDE * fc + SIDE * fs) // 1024))
    matrix = cv2.getRotationMatrix2D((SIDE / 2, SIDE / 2), -30, 1.0)
    matrix[0, 2] += (grown - SIDE) / 2
    matrix[1, 2] += (grown - SIDE) / 2
    white = (255, 255, 255)
    cv = {
        "quarterTurn/bit24": lambda: cv2.rotate(rgb, cv2.ROTATE_90_CLOCKWISE),
        "quarterTurn/bit8": lambda: cv2.rotate(grey, cv2.ROTATE_90_CLOCKWISE),
        "rotate30": lambda: cv2.warpAffine(rgb, matrix, (grown, grown), flags=cv2.INTER_LINEAR,
                                           borderMode=cv2.BORDER_CONSTANT, borderValue=white),
        "scaleTo/1024": lambda: cv2.resize(rgb, (1024, 1024), interpolation=cv2.INTER_AREA),
        "scaleTo/1024 (linear)": lambda: cv2.resize(rgb, (1024, 1024),
                                                    interpolation=cv2.INTER_LINEAR),
        "scaleTo/6000": lambda: cv2.resize(rgb, (6000, 6000), interpolation=cv2.INTER_LINEAR),
        "mirror": lambda: cv2.flip(rgb, 1),
        "border": lambda: cv2.copyMakeBorder(rgb, 16, 16, 16, 16, cv2.BORDER_CONSTANT,
                                             value=white),
    }
    pillow = {
        "quarterTurn/bit24": lambda: pil.transpose(Image.Transpose.ROTATE_270),
        "quarterTurn/bit8": lambda: pil_grey.transpose(Image.Transpose.ROTATE_270),
        "quarterTurn/bit1": lambda: pil_bits.transpose(Image.Transpose.ROTATE_270),
        "rotate30": lambda: pil.rotate(-30, Image.Resampling.BILINEAR, expand=True,
                                       fillcolor=white),
        "scaleTo/1024": lambda: pil.resize((1024, 1024), Image.Resampling.BILINEAR),
        "scaleTo/6000": lambda: pil.resize((6000, 6000), Image.Resampling.BILINEAR),
        "mirror": lambda: pil.transpose(Image.Transpose.FLIP_LEFT_RIGHT),
    }
    slow = {"rotate30", "scaleTo/6000"}
    return ({k: best_ms(f, 3 if k in slow else REPEATS) for k, f in cv.items()},
            {k: best_ms(f, 3 if k in slow else REPEATS) for k, f in pillow.items()})


TARGETS = {
    "quarterTurn/bit24": "<= 1.0 x OpenCV",
    "quarterTurn/bit8": "<= 1.0 x OpenCV",
    "rotate30": "<= 1.5 x OpenCV, < Pillow",
    "scaleTo/1024": "<= 1.5 x OpenCV, < Pillow",
    "scaleTo/6000": "<= 1.5 x OpenCV, < Pillow",
    "mirror": "<= 1.0 x OpenCV",
}


def main():
    bench = sys.argv[1] if len(sys.argv) > 1 else "build/release/bin/pelc_bench"
    # The machine is shared: two alternating rounds, the best of each job.
    ours, cv, pillow = {}, {}, {}
    for _ in range(2):
        for mine, theirs in ((ours, pelc_times(bench)),) + tuple(zip((cv, pillow), peer_times())):
            for job, ms in theirs.items():
                mine[job] = min(mine.get(job, ms), ms)
    print(f"{'job':24} {'pelc ms':>9} {'OpenCV ms':>10} {'ratio':>6} {'Pillow ms':>10} {'ratio':>6}"
          "  target")
    for job in ["quarterTurn/bit24", "quarterTurn/bit8", "quarterTurn/bit1", "rotate30",
                "scaleTo/1024", "scaleTo/1024 (linear)", "scaleTo/6000", "mirror", "border"]:
        mine = ours.get(job.split(" ")[0])
        def cell(peer):
            t = peer.get(job)
            if t is None:
                return f"{'-':>10} {'-':>6}"
            ratio = f"{mine / t:6.2f}" if mine is not None else f"{'-':>6}"
            return f"{t:10.1f} {ratio}"
        mine_text = f"{mine:9.1f}" if mine is not None else f"{'-':>9}"
        print(f"{job:24} {mine_text} {cell(cv)} {cell(pillow)}  {TARGETS.get(job, '')}")


if __name__ == "__main__":
    main()
