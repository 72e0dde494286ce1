#!/usr/bin/env python3
"""Decoding speed of lumetra-decode against FFmpeg, madplay and mpg123, all
measured in the same run on the same file: a 5-minute 128 kbit/s joint-stereo
MP3 made with lame (and, for layer II, a 5-minute 192 kbit/s twolame stream).

  decode_speed.py [--build BUILD_DIR] [--runs 3]

Prints the best wall time and CPU time of each decoder and the ratio of ours
to each of them (below 1: ours is faster)."""
import argparse
import os
import resource
import subprocess
import sys
import tempfile
import time


def run(cmd):
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def timed(cmd, runs):
    best_wall, best_cpu = float("inf"), float("inf")
    for _ in range(runs):
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        start = time.perf_counter()
        run(cmd)
        wall = time.perf_counter() - start
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
        best_wall, best_cpu = min(best_wall, wall), min(best_cpu, cpu)
    return best_wall, best_cpu


def bench(name, path, ours, others, runs):
    print("%s (%s)" % (name, os.path.basename(path)))
    ours_wall, ours_cpu = timed(ours, runs)
    print("  %-28s wall %7.3f s  cpu %7.3f s" % ("lumetra-decode", ours_wall, ours_cpu))
    for label, cmd in others:
        wall, cpu = timed(cmd, runs)
        print("  %-28s wall %7.3f s  cpu %7.3f s   ours/them: wall %.2f  cpu %.2f"
              % (label, wall, cpu, ours_wall / wall, ours_cpu / cpu))


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    here = os.path.dirname(os.path.abspath(__file__))
    ap.add_argument("--build", default=os.environ.get("LUMETRA_BUILD_DIR", os.path.join(here, "..", "..", "build")))
    ap.add_argument("--runs", type=int, default=3)
    a = ap.parse_args()
    decode = os.path.join(a.build, "tools", "decode", "lumetra-decode")
    with tempfile.TemporaryDirectory(prefix="lumetra-bench-") as tmp:
        wav = os.path.join(tmp, "src.wav")
        run(["sox", "-R", "-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth", "300", "sine", "100-8000",
             "pinknoise", "vol", "0.4"])
        mp3 = os.path.join(tmp, "five-minutes.mp3")
        run(["lame", "--quiet", "-m", "j", "-b", "128", wav, mp3])
        mp2 = os.path.join(tmp, "five-minutes.mp2")
        run(["twolame", "-b", "192", wav, mp2])
        out = os.devnull  # the others write nothing either
        for name, path in (("MP3 128 kbit/s joint stereo, 5 min", mp3), ("MP2 192 kbit/s stereo, 5 min", mp2)):
            bench(name, path, [decode, path, out], [
                ("ffmpeg -f null -", ["ffmpeg", "-v", "error", "-i", path, "-f", "null", "-"]),
                ("madplay -o null:", ["madplay", "-q", "-o", "null:", path]),
                ("mpg123 -t", ["mpg123", "-q", "-t", path]),
            ], a.runs)
    return 0


if __name__ == "__main__":
    sys.exit(main())
