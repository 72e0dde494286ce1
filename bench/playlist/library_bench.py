#!/usr/bin/env python3
"""Library build over a generated tree of 20,000 files (MP3s with ID3 tags, WAVs
around the size threshold, MIDIs and other files in nested folders), against
`find -type f` (the floor: listing alone), find plus reading the first 4 KB of
each taken file, and ffprobe on a 500-file sample extrapolated (a generic tag
reader). Also the peak memory of the build and the time to load library.lst."""

import argparse
import os
import random
import resource
import shutil
import struct
import subprocess
import sys
import tempfile
import time

FILES = 20000
SAMPLE = 500


def id3v2(title):
    frame = b"\x00" + title.encode()
    body = b"TIT2" + struct.pack(">I", len(frame)) + b"\x00\x00" + frame
    size = len(body)
    syncsafe = bytes([(size >> 21) & 127, (size >> 14) & 127, (size >> 7) & 127, size & 127])
    return b"ID3\x03\x00\x00" + syncsafe + body


def id3v1(title, artist):
    return b"TAG" + title.encode()[:30].ljust(30, b"\0") + artist.encode()[:30].ljust(30, b"\0") + b"\0" * 65


def wav_header(size):
    return (b"RIFF" + struct.pack("<I", size - 8) + b"WAVEfmt " + struct.pack("<IHHIIHH", 16, 1, 2, 44100, 176400, 4, 16)
            + b"data" + struct.pack("<I", size - 44))


def make_tree(root):
    """Returns the list of files the scan rules take."""
    mp3 = os.path.join(root, "seed.mp3")
    subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", os.path.join(root, "seed.wav"), "synth", "1", "sine", "440"],
                   check=True, capture_output=True)
    subprocess.run(["lame", "--quiet", "-b", "128", os.path.join(root, "seed.wav"), mp3], check=True, capture_output=True)
    audio = open(mp3, "rb").read()
    os.remove(mp3)
    os.remove(os.path.join(root, "seed.wav"))
    # A few notes: a file under 44 bytes is no media file at all.
    notes = b"".join(b"\x00\x90" + bytes([60 + k]) + b"\x40\x60\x80" + bytes([60 + k]) + b"\x40" for k in range(4))
    track = notes + b"\x00\xff\x2f\x00"
    midi = b"MThd" + struct.pack(">IHHH", 6, 0, 1, 96) + b"MTrk" + struct.pack(">I", len(track)) + track
    rng = random.Random(14)
    tree = os.path.join(root, "tree")
    taken = []
    for n in range(FILES):
        folder = os.path.join(tree, "artist%02d" % (n % 40), "album%02d" % (n // 40 % 10), "cd%d" % (n % 3))
        os.makedirs(folder, exist_ok=True)
        kind = rng.random()
        if kind < 0.70:
            path = os.path.join(folder, "track %05d.mp3" % n)
            with open(path, "wb") as f:
                f.write(id3v2("Title %05d" % rng.randrange(100000)) + audio + id3v1("Song %d" % n, "Artist"))
            taken.append(path)
        elif kind < 0.80:
            path = os.path.join(folder, "take %05d.wav" % n)
            size = rng.choice([999000, 1000000, 1000001, 1200000])
            with open(path, "wb") as f:
                f.write(wav_header(size))
                f.truncate(size)
            if size > 1000000:
                taken.append(path)
        elif kind < 0.85:
            path = os.path.join(folder, "tune %05d.mid" % n)
            open(path, "wb").write(midi)
            taken.append(path)
        else:
            path = os.path.join(folder, "cover %05d.%s" % (n, rng.choice(["jpg", "txt", "nfo", "m3u"])))
            open(path, "wb").write(b"x" * 512)
    return tree, taken


def child_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def timed(command, **kwargs):
    """Wall seconds and output; the CPU seconds of the run go to timed.cpu (a
    busy machine stretches wall times, CPU times much less)."""
    start, cpu = time.monotonic(), child_cpu()
    result = subprocess.run(command, check=True, capture_output=True, text=True, **kwargs)
    timed.cpu = child_cpu() - cpu
    return time.monotonic() - start, result.stdout


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--tool", required=True, help="the library_bench executable")
    args = parser.parse_args()
    for tool in ("sox", "lame", "ffprobe", "find"):
        if not shutil.which(tool):
            sys.exit("missing tool: " + tool)
    root = tempfile.mkdtemp(prefix="lumetra-library-bench-")
    try:
        tree, taken = make_tree(root)
        subprocess.run(["find", tree, "-type", "f"], check=True, capture_output=True)  # warm the cache for everyone
        find_s, listing = timed(["find", tree, "-type", "f"])
        find_cpu = timed.cpu
        start, start_cpu = time.monotonic(), time.process_time()
        for path in taken:
            with open(path, "rb") as f:
                f.read(4096)
        read_s, read_cpu = time.monotonic() - start, time.process_time() - start_cpu
        sample = random.Random(5).sample(taken, min(SAMPLE, len(taken)))
        start = time.monotonic()
        for path in sample:
            subprocess.run(["ffprobe", "-v", "quiet", "-show_format", path], capture_output=True)  # MIDI is not its business
        ffprobe_s = (time.monotonic() - start) * len(taken) / len(sample)

        library = os.path.join(root, "library.lst")
        build_process_s, out = timed([args.tool, "build", tree, library])
        build_cpu = timed.cpu
        build_s, items, rss_kb = float(out.split()[1]), int(out.split()[3]), int(out.split()[5])
        written = sum(1 for _ in open(library, "rb")) - 1
        load_process_s, out = timed([args.tool, "load", tree, library])
        load_s, load_cpu = float(out.split()[1]), timed.cpu
        files = len(listing.splitlines())
        floor = find_s + read_s
        print("files in tree            %d (%d taken by the scan rules, %d in library.lst)" % (files, len(taken), written))
        print("library build            %.2f s, %.0f files/s, %d items (%.2f s with process start)"
              % (build_s, files / build_s, items, build_process_s))
        print("find -type f             %.2f s   ratio build/find %.1f" % (find_s, build_s / find_s))
        print("find + first 4 KB read   %.2f s   ratio build/(find+read) %.1f  (goal < 3)" % (floor, build_s / floor))
        print("CPU seconds              build %.2f, find %.2f + read %.2f   ratio %.1f  (goal < 3)"
              % (build_cpu, find_cpu, read_cpu, build_cpu / (find_cpu + read_cpu)))
        print("load average             %.1f (wall times stretch on a busy machine)" % os.getloadavg()[0])
        print("ffprobe, extrapolated    %.1f s   ratio ffprobe/build %.1f" % (ffprobe_s, ffprobe_s / build_s))
        print("peak RSS of the build    %.1f MB  (goal < 100)" % (rss_kb / 1024))
        print("library.lst load         %.2f s for %s entries  (goal < 1 s; %.2f s with process start, %.2f s CPU)"
              % (load_s, out.split()[3], load_process_s, load_cpu))
    finally:
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
