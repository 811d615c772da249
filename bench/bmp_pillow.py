#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Loads and saves one 4096 x 4096 24-bit BMP with pelc and with Pillow.

    bench/bmp_pillow.py [build/release/bin/pelc_bench]

Writes the file with Pillow, times Pillow's open+load and save of it (best of
several runs), runs the pelc benchmarks on the same file and prints the times
and ratios: pelc against a plain block read/write, and Pillow against pelc.
"""
import json
import os
import subprocess
import sys
import tempfile
import time

from PIL import Image

SIDE = 4096
RUNS = 7


def best(action):
    times = []
    for _ in range(RUNS):
        start = time.perf_counter()
        action()
        times.append(time.perf_counter() - start)
    return min(times) * 1000.0


def main():
    bench = sys.argv[1] if len(sys.argv) > 1 else "build/release/bin/pelc_bench"
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "picture.bmp")
        out = os.path.join(folder, "saved.bmp")
        pixels = bytes((i * 13 + (i >> 14)) & 255 for i in range(SIDE * 3)) * SIDE
        Image.frombytes("RGB", (SIDE, SIDE), pixels).save(path, "BMP")

        def pil_load():
            with Image.open(path) as im:
                im.load()

        loaded = Image.open(path)
        loaded.load()
        pil = {"load": best(pil_load), "save": best(lambda: loaded.save(out, "BMP"))}

        env = dict(os.environ, PELC_BENCH_BMP=path)
        report = subprocess.run(
            [bench, "--benchmark_filter=loadBmp|plainRead|saveBmp|plainWrite",
             "--benchmark_format=json", "--benchmark_repetitions=5",
             "--benchmark_report_aggregates_only=true"],
            check=True, capture_output=True, text=True, env=env).stdout
    ours = {}
    for row in json.loads(report)["benchmarks"]:
        if row.get("aggregate_name") == "median":
            ours[row["run_name"].split("/")[0]] = row["real_time"]
    print(f"{'':10}{'pelc ms':>10}{'plain ms':>10}{'pelc/plain':>12}{'Pillow ms':>11}{'Pillow/pelc':>13}")
    for what, mine, plain in (("load", "loadBmp", "plainRead"), ("save", "saveBmp", "plainWrite")):
        print(f"{what:10}{ours[mine]:10.2f}{ours[plain]:10.2f}{ours[mine] / ours[plain]:12.2f}"
              f"{pil[what]:11.2f}{pil[what] / ours[mine]:13.2f}")


if __name__ == "__main__":
    main()
