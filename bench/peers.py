#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""pelc next to the libraries a user would pick instead, in one table.

    /usr/bin/python3 bench/peers.py [build/release/bin/pelc_bench] [--rounds N] [--markdown]

Runs the pelc benchmarks and the same jobs with OpenCV (one thread), numpy and
Pillow on 4096 x 4096 pictures, alternating rounds (pelc, peers, pelc, ...)
so that a busy moment of a shared machine hits both sides, and keeps each
job's best time, on both sides the best mean of a batch of calls. Prints one
row per job: pelc's time, the reference's time, the ratio the target is
stated in and "met" or "MISSED"; the last line reads "targets: N met,
M missed". The exit status is 0 when every target is met.

Ratios: "time" rows are pelc time / reference time (lower is better);
"speed" rows are reference time / pelc time for the same work (higher is
better). A reference may be another pelc benchmark (memory kinds against
virtual memory, scan-line reads against memcpy of the same bytes).
Run it with Debian's interpreter, which sees python3-opencv and python3-pil.
"""
import datetime
import json
import os
import platform
import subprocess
import sys
import tempfile
import time

import cv2
import numpy as np
from PIL import Image

SIDE = 4096
PEER_RUNS = 5

# label, pelc benchmark, reference (peer job or "pelc:" benchmark),
# reference label, ratio kind ("time" or "speed", None: shown only), limit
ROWS = [
    ("free rotation 30 deg", "rotate30", "warpAffine", "OpenCV warpAffine", "time", 1.0),
    ("scale to 1024x1024", "scaleTo/1024", "resizeArea", "OpenCV resize AREA", "time", 1.0),
    ("scale to 6000x6000", "scaleTo/6000", "resizeLinear", "OpenCV resize LINEAR", "time", 1.0),
    ("hue/saturation/lightness", "toneSaturation", "hlsRoundTrip", "OpenCV HLS round trip",
     "time", 1.0),
    ("gamma", "toneGamma", "lut", "OpenCV LUT", "time", 0.8),
    ("contrast", "toneContrast", "lut", "OpenCV LUT", "time", 0.8),
    ("luminance", "toneLuminance", "lut", "OpenCV LUT", "time", 0.8),
    ("invert", "toneInvert", "bitwiseNot", "OpenCV bitwise_not", None, None),
    ("24 -> grey, frame", "convert/bit24_to_bit8grey", "grey", "OpenCV cvtColor", "time", 0.8),
    ("24 -> grey, kernel", "kernel/cvtBit24ToBit8Grey", "greyInto", "OpenCV cvtColor", "time",
     0.8),
    ("24 -> 565, frame", "convert/bit24_to_bit565", "565", "OpenCV cvtColor", "time", 0.8),
    ("24 -> 565, kernel", "kernel/cvtBit24ToBit565", "565Into", "OpenCV cvtColor", "time", 0.8),
    ("24 -> 32, frame", "convert/bit24_to_bit32", "bgra", "OpenCV cvtColor", "time", 0.8),
    ("24 -> 32, kernel", "kernel/cvtBit24ToBit32", "bgraInto", "OpenCV cvtColor", "time", 0.8),
    ("32 -> 24, frame", "convert/bit32_to_bit24", "bgr", "OpenCV cvtColor", "time", 0.8),
    ("32 -> 24, kernel", "kernel/cvtBit32ToBit24", "bgrInto", "OpenCV cvtColor", "time", 0.8),
    ("reduce to 8 bits", "convert/bit24_to_bit8", "quantize256", "Pillow quantize to palette",
     "speed", 2.5),
    ("reduce to 4 bits", "convert/bit24_to_bit4", "quantize16", "Pillow quantize to palette", "speed",
     2.5),
    ("border 16 px", "border", "copyMakeBorder", "OpenCV copyMakeBorder", "time", 0.8),
    ("mirror", "mirror", "flip", "OpenCV flip", "time", 0.8),
    ("quarter turn, 24-bit", "quarterTurn/bit24", "rotate", "OpenCV rotate", "time", 0.8),
    ("quarter turn, 8-bit", "quarterTurn/bit8", "rotateGrey", "OpenCV rotate", "time", 0.8),
    ("copy of a rectangle", "copyRect", "roiCopy", "OpenCV/numpy ROI copy", "time", 0.8),
    ("scan lines, 1-bit from x=3", "getHorLineShifted/1", "pelc:memcpyShiftedBytes/1",
     "memcpy same bytes", "speed", 0.3),
    ("scan lines, 4-bit from x=3", "getHorLineShifted/4", "pelc:memcpyShiftedBytes/4",
     "memcpy same bytes", "speed", 0.3),
]
KIND_JOBS = ["to_grey8", "to_bit32", "quarter_turn", "mirror", "scale_1024", "copy", "gamma_copy"]
for job in KIND_JOBS:
    for kind in (1, 3):
        ROWS.append((f"kind {kind}: {job.replace('_', ' ')}", f"inKind/{job}/{kind}",
                     f"pelc:inKind/{job}/4", "same in kind 4", "time", 1.2))
ROWS += [
    ("BMP load", "loadBmp", "pilLoad", "Pillow open+load", None, None),
    ("BMP save", "saveBmp", "pilSave", "Pillow save", None, None),
    ("BMP load", "loadBmp", "pelc:plainRead", "plain read of the file", None, None),
    ("BMP save", "saveBmp", "pelc:plainWrite", "plain write of the file", None, None),
]


def pelc_benchmarks():
    names = {row[1] for row in ROWS}
    names |= {row[2][5:] for row in ROWS if row[2].startswith("pelc:")}
    return sorted(names)


def pelc_times(bench, env):
    pattern = "^(" + "|".join(pelc_benchmarks()) + ")(/real_time)?$"
    out = subprocess.run(
        [bench, f"--benchmark_filter={pattern}", "--benchmark_format=json",
         "--benchmark_repetitions=2", "--benchmark_min_time=0.3",
         "--benchmark_min_warmup_time=0.1"],
        check=True, capture_output=True, text=True, env=env).stdout
    times = {}
    for row in json.loads(out)["benchmarks"]:
        if row.get("run_type") != "iteration":
            continue
        scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[row["time_unit"]]
        ms = row["real_time"] * scale
        name = row["run_name"].removesuffix("/real_time")
        times[name] = min(times.get(name, ms), ms)
    return times


def best_ms(job, runs, batches=2):
    """The job's best mean time over `batches` batches of `runs` calls: the
    statistic Google Benchmark gives for pelc (the mean of a run of
    iterations, best of the repetitions), so both sides are judged alike."""
    job()
    best = float("inf")
    for _ in range(batches):
        start = time.perf_counter()
        for _ in range(runs):
            job()
        best = min(best, (time.perf_counter() - start) / runs)
    return best * 1000.0


def palette_image(colours):
    flat = [c for rgb in colours for c in rgb]
    flat += [0] * (768 - len(flat))
    image = Image.new("P", (1, 1))
    image.putpalette(flat)
    return image


class Peers:
    def __init__(self, bmp_path, out_path):
        cv2.setNumThreads(1)
        rng = np.random.default_rng(42)
        self.rgb = rng.integers(0, 256, (SIDE, SIDE, 3), dtype=np.uint8)
        self.bgra = rng.integers(0, 256, (SIDE, SIDE, 4), dtype=np.uint8)
        self.grey = rng.integers(0, 256, (SIDE, SIDE), dtype=np.uint8)
        self.pil = Image.fromarray(self.rgb[:, :, ::-1].copy(), "RGB")
        # Reduction maps onto a given palette, as the library's colour map
        # does: a 6x6x6 cube with greys, and 16 colours.
        levels = [0, 51, 102, 153, 204, 255]
        cube = [(r, g, b) for r in levels for g in levels for b in levels]
        greys = [(v, v, v) for v in range(8, 248, 6)][:256 - len(cube)]
        self.palette256 = palette_image(cube + greys)
        self.palette16 = palette_image([(r, g, b) for r in (0, 255) for g in (0, 128, 255)
                                        for b in (0, 255)][:16])
        self.table = np.array([min(255, int((v / 255.0) ** (1 / 2.2) * 255 + 0.5))
                               for v in range(256)], dtype=np.uint8)
        self.out3 = np.empty_like(self.rgb)
        self.out4 = np.empty_like(self.bgra)
        self.out1 = np.empty_like(self.grey)
        self.out2 = np.empty((SIDE, SIDE, 2), np.uint8)
        self.bmp_path, self.out_path = bmp_path, out_path
        self.loaded = Image.open(bmp_path)
        self.loaded.load()
        # The grown canvas of a 30-degree turn, as the library sizes it.
        fc = int(np.cos(np.float32(np.pi / 6)) * 1024)
        fs = int(np.sin(np.float32(np.pi / 6)) * 1024)
        self.grown = max(-(-abs(SIDE * fc - SIDE * fs) // 1024), -(-(SIDE * fc + SIDE * fs) // 1024))
        self.matrix = cv2.getRotationMatrix2D((SIDE / 2, SIDE / 2), -30, 1.0)
        self.matrix[0, 2] += (self.grown - SIDE) / 2
        self.matrix[1, 2] += (self.grown - SIDE) / 2

    def hls_round_trip(self):
        hls = cv2.cvtColor(self.rgb, cv2.COLOR_BGR2HLS)
        cv2.add(hls, (15, 5, 20, 0), dst=hls)
        return cv2.cvtColor(hls, cv2.COLOR_HLS2BGR)

    def pil_load(self):
        with Image.open(self.bmp_path) as im:
            im.load()

    def jobs(self):
        white = (255, 255, 255)
        rgb, grey = self.rgb, self.grey
        return {
            "warpAffine": lambda: cv2.warpAffine(rgb, self.matrix, (self.grown, self.grown),
                                                 flags=cv2.INTER_LINEAR,
                                                 borderMode=cv2.BORDER_CONSTANT,
                                                 borderValue=white),
            "resizeArea": lambda: cv2.resize(rgb, (1024, 1024), interpolation=cv2.INTER_AREA),
            "resizeLinear": lambda: cv2.resize(rgb, (6000, 6000), interpolation=cv2.INTER_LINEAR),
            "hlsRoundTrip": self.hls_round_trip,
            "lut": lambda: cv2.LUT(rgb, self.table, dst=self.out3),
            "bitwiseNot": lambda: cv2.bitwise_not(rgb, dst=self.out3),
            "grey": lambda: cv2.cvtColor(rgb, cv2.COLOR_BGR2GRAY),
            "greyInto": lambda: cv2.cvtColor(rgb, cv2.COLOR_BGR2GRAY, dst=self.out1),
            "565": lambda: cv2.cvtColor(rgb, cv2.COLOR_BGR2BGR565),
            "565Into": lambda: cv2.cvtColor(rgb, cv2.COLOR_BGR2BGR565, dst=self.out2),
            "bgra": lambda: cv2.cvtColor(rgb, cv2.COLOR_BGR2BGRA),
            "bgraInto": lambda: cv2.cvtColor(rgb, cv2.COLOR_BGR2BGRA, dst=self.out4),
            "bgr": lambda: cv2.cvtColor(self.bgra, cv2.COLOR_BGRA2BGR),
            "bgrInto": lambda: cv2.cvtColor(self.bgra, cv2.COLOR_BGRA2BGR, dst=self.out3),
            "quantize256": lambda: self.pil.quantize(palette=self.palette256,
                                                     dither=Image.Dither.NONE),
            "quantize16": lambda: self.pil.quantize(palette=self.palette16,
                                                    dither=Image.Dither.NONE),
            "copyMakeBorder": lambda: cv2.copyMakeBorder(rgb, 16, 16, 16, 16,
                                                         cv2.BORDER_CONSTANT, value=white),
            "flip": lambda: cv2.flip(rgb, 1),
            "rotate": lambda: cv2.rotate(rgb, cv2.ROTATE_90_CLOCKWISE),
            "rotateGrey": lambda: cv2.rotate(grey, cv2.ROTATE_90_CLOCKWISE),
            "roiCopy": lambda: rgb[100:3996, 100:3996].copy(),
            "pilLoad": self.pil_load,
            "pilSave": lambda: self.loaded.save(self.out_path, "BMP"),
        }

    # Like the benchmarks' warm-up, each job runs once untimed first: the first
    # large arrays of a process cost the machine more than later ones.
    def times(self):
        slow = {"warpAffine", "resizeLinear", "quantize256", "quantize16", "hlsRoundTrip"}
        return {name: best_ms(job, 3 if name in slow else PEER_RUNS)
                for name, job in self.jobs().items()}


def machine():
    model = platform.processor() or platform.machine()
    try:
        with open("/proc/cpuinfo") as info:
            for line in info:
                if line.startswith("model name"):
                    model = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    return (f"{model}, {os.cpu_count()} cores; OpenCV {cv2.__version__} (1 thread), "
            f"numpy {np.__version__}, Pillow {Image.__version__}")


def verdict(kind, ratio, limit):
    if kind is None or ratio is None:
        return "", ""
    if kind == "time":
        return f"<= {limit:g}", "met" if ratio <= limit else "MISSED"
    return f">= {limit:g}", "met" if ratio >= limit else "MISSED"


def main():
    args = sys.argv[1:]
    markdown = "--markdown" in args
    rounds = 3  # a shared machine has busy moments; more rounds, more quiet ones
    if "--rounds" in args:
        rounds = int(args[args.index("--rounds") + 1])
        del args[args.index("--rounds"):args.index("--rounds") + 2]
    args = [a for a in args if a != "--markdown"]
    bench = args[0] if args else "build/release/bin/pelc_bench"

    ours, theirs = {}, {}
    with tempfile.TemporaryDirectory() as folder:
        bmp = os.path.join(folder, "picture.bmp")
        Image.fromarray(np.random.default_rng(1).integers(0, 256, (SIDE, SIDE, 3),
                                                          dtype=np.uint8)).save(bmp, "BMP")
        env = dict(os.environ, PELC_BENCH_BMP=bmp)
        peers = Peers(bmp, os.path.join(folder, "saved.bmp"))
        for _ in range(rounds):
            for table, measured in ((ours, pelc_times(bench, env)), (theirs, peers.times())):
                for name, ms in measured.items():
                    table[name] = min(table.get(name, ms), ms)

    met = missed = 0
    lines = []
    for label, mine, ref, ref_label, kind, limit in ROWS:
        t_mine = ours.get(mine)
        t_ref = ours.get(ref[5:]) if ref.startswith("pelc:") else theirs.get(ref)
        ratio = None
        if t_mine is not None and t_ref is not None:
            ratio = t_mine / t_ref if kind in ("time", None) else t_ref / t_mine
        target, result = verdict(kind, ratio, limit)
        if kind is not None and ratio is None:
            result = "MISSED"
        met += result == "met"
        missed += result == "MISSED"
        lines.append((label, t_mine, ref_label, t_ref, kind, ratio, target, result))

    def ms(v):
        return "-" if v is None else f"{v:.1f}"

    print(f"# {datetime.date.today().isoformat()}, {machine()}")
    print(f"# {SIDE}x{SIDE} 24-bit unless said; best of {rounds} alternating rounds; "
          "time = pelc/reference, speed = reference/pelc")
    if markdown:
        print("| job | pelc ms | reference | ref ms | ratio | target | result |")
        print("|---|---:|---|---:|---:|---|---|")
    else:
        print(f"{'job':30} {'pelc ms':>9}  {'reference':24} {'ref ms':>9} {'ratio':>12}"
              f"  {'target':8} result")
    for label, t_mine, ref_label, t_ref, kind, ratio, target, result in lines:
        shown = "-" if ratio is None else f"{ratio:.2f}"
        shown = f"{kind or 'time'} {shown}"
        if markdown:
            print(f"| {label} | {ms(t_mine)} | {ref_label} | {ms(t_ref)} | {shown} | {target} "
                  f"| {result} |")
        else:
            print(f"{label:30} {ms(t_mine):>9}  {ref_label:24} {ms(t_ref):>9} {shown:>12}  "
                  f"{target:8} {result}")
    print(f"targets: {met} met, {missed} missed")
    return 0 if missed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
