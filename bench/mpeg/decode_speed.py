#!/usr/bin/env python3
"""Decoding speed of lumetra-decode against FFmpeg, madplay and mpg123, all
measured in the same run on the same file: a 5-minute 128 kbit/s joint-stereo
MP3 made with lame, a 5-minute 192 kbit/s twolame stream (layer II) and
5 minutes of 384 kbit/s layer I (random frames from the tests' writer; no
common encoder writes layer I).

  decode_speed.py [--build BUILD_DIR] [--runs 3]

Prints the median wall time and CPU time of each decoder and the ratio of ours
to each of them (below 1: ours is faster). Decoders that are not installed
are left out."""
import argparse
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


def run(cmd):
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def timed(cmd, runs):
    walls, cpus = [], []
    for _ in range(runs):
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        start = time.perf_counter()
        run(cmd)
        walls.append(time.perf_counter() - start)
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        cpus.append((after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime))
    return statistics.median(walls), statistics.median(cpus)


def bench(name, path, ours, others, runs):
    print("%s (%s)" % (name, os.path.basename(path)))
    ours_wall, ours_cpu = timed(ours, runs)
    print("  %-28s wall %7.3f s  cpu %7.3f s" % ("lumetra-decode", ours_wall, ours_cpu))
    for label, cmd in others:
        if not shutil.which(cmd[0]):
            print("  %-28s not installed" % label)
            continue
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
        # Layer I frames stand alone: a short random stream repeated is as
        # hard to decode as a long one and much quicker to write.
        sys.path.insert(0, os.path.join(here, "..", "..", "tests", "mpeg"))
        import layer1_writer
        mp1 = os.path.join(tmp, "five-minutes.mp1")
        layer1_writer.write_stream(mp1, 44100, 12, 1, 2, frames=400, seed=1)
        with open(mp1, "rb") as f:
            chunk = f.read()
        with open(mp1, "wb") as f:
            f.write(chunk * 86)
        out = os.devnull  # the others write nothing either
        for name, path in (("MP3 128 kbit/s joint stereo, 5 min", mp3), ("MP2 192 kbit/s stereo, 5 min", mp2),
                           ("MP1 384 kbit/s joint stereo, 5 min", mp1)):
            bench(name, path, [decode, path, out], [
                ("ffmpeg -f null -", ["ffmpeg", "-v", "error", "-i", path, "-f", "null", "-"]),
                ("madplay -o null:", ["madplay", "-q", "-o", "null:", path]),
                ("mpg123 -t", ["mpg123", "-q", "-t", path]),
            ], a.runs)
    return 0


if __name__ == "__main__":
    sys.exit(main())
