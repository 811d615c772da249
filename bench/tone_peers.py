#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Tone adjustments of a 4096 x 4096 24-bit image: pelc next to OpenCV and Pillow.

    bench/tone_peers.py [build/release/bin/pelc_bench]

Times OpenCV's LUT, bitwise_not and a hue, lightness, saturation round trip
(one thread) and Pillow's point on the same pixels (best of several runs),
runs the pelc tone benchmarks and prints the times and the ratios against the
targets: the table operations within 0.8 of OpenCV's LUT, invert no slower
than bitwise_not, saturation no slower than the round trip and within 3 times
the table operations.
Both sides are timed in processor time, which other work on a shared
machine disturbs less than wall time. Runs with Debian's interpreter, where
python3-opencv and python3-pil live.
"""
import json
import subprocess
import sys
import time

import cv2
import numpy as np
from PIL import Image

SIDE = 4096
RUNS = 7


def best(action):
    times = []
    for _ in range(RUNS):
        start = time.process_time()
        action()
        times.append(time.process_time() - start)
    return min(times) * 1000.0


def main():
    bench = sys.argv[1] if len(sys.argv) > 1 else "build/release/bin/pelc_bench"
    cv2.setNumThreads(1)
    i = np.arange(SIDE * SIDE * 3, dtype=np.uint64)
    pixels = ((i * 13 + (i >> 14)) & 255).astype(np.uint8).reshape(SIDE, SIDE, 3)
    table = np.array([min(255, int((v / 255.0) ** (1 / 2.2) * 255 + 0.5)) for v in range(256)],
                     dtype=np.uint8)
    out = np.empty_like(pixels)
    picture = Image.fromarray(pixels, "RGB")

    def hls_round_trip():
        hls = cv2.cvtColor(pixels, cv2.COLOR_BGR2HLS)
        cv2.add(hls, (0, 0, 20, 0), dst=hls)  # saturation up, hue and lightness kept
        return cv2.cvtColor(hls, cv2.COLOR_HLS2BGR)

    peers = {
        "OpenCV LUT": best(lambda: cv2.LUT(pixels, table, dst=out)),
        "OpenCV bitwise_not": best(lambda: cv2.bitwise_not(pixels, dst=out)),
        "OpenCV HLS round trip": best(hls_round_trip),
        "Pillow point": best(lambda: picture.point(list(table) * 3)),
    }
    report = subprocess.run(
        [bench, "--benchmark_filter=^tone", "--benchmark_format=json",
         "--benchmark_repetitions=5", "--benchmark_report_aggregates_only=true",
         "--benchmark_min_warmup_time=0.2"],
        check=True, capture_output=True, text=True).stdout
    ours = {}
    for row in json.loads(report)["benchmarks"]:
        if row.get("aggregate_name") == "median":
            scale = {"ms": 1.0, "us": 1e-3, "ns": 1e-6}[row["time_unit"]]
            ours[row["run_name"]] = row["cpu_time"] * scale
    for name, ms in peers.items():
        print(f"{name:24}{ms:10.2f} ms")
    for name, ms in ours.items():
        print(f"{'pelc ' + name:24}{ms:10.3f} ms")
    lut, inv = peers["OpenCV LUT"], peers["OpenCV bitwise_not"]
    hls = peers["OpenCV HLS round trip"]
    table_ms = max(ours["toneGamma"], ours["toneContrast"])
    rows = (("gamma / OpenCV LUT", ours["toneGamma"] / lut, 0.8),
            ("contrast / OpenCV LUT", ours["toneContrast"] / lut, 0.8),
            ("luminance / OpenCV LUT", ours["toneLuminance"] / lut, 0.8),
            ("invert / OpenCV bitwise_not", ours["toneInvert"] / inv, 1.0),
            ("saturation / OpenCV HLS", ours["toneSaturation"] / hls, 1.0),
            ("saturation / table ops", ours["toneSaturation"] / table_ms, 3.0),
            ("Pillow point / gamma", peers["Pillow point"] / ours["toneGamma"], None))
    for what, ratio, target in rows:
        verdict = "" if target is None else ("  met" if ratio <= target else "  MISSED")
        limit = "" if target is None else f"  (target <= {target:g})"
        print(f"{what:30}{ratio:8.2f}{limit}{verdict}")


if __name__ == "__main__":
    main()
