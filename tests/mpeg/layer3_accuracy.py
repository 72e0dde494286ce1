#!/usr/bin/env python3
"""Layer III accuracy against mpg123, on streams made here with lame and ffmpeg.

Usage: layer3_accuracy.py RATE     (one of 32000 44100 48000 16000 22050 24000 11025 8000)
       layer3_accuracy.py midstream

For each stream, lumetra-decode's output must equal mpg123's float output
(truncated toward zero to 16 bits) on at least 99% of samples, differ by at
most 1 elsewhere and have the same length: without gapless trimming on both
sides (--no-gapless), and with it for the streams that carry a LAME tag. Each
stream is also checked to contain what it is meant to test (short blocks,
middle/side frames, CRC words, free format, a VBR header, ...).
"""
import os
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import compare  # noqa: E402

BUILD = os.environ.get("LUMETRA_BUILD_DIR", os.path.join(os.path.dirname(__file__), "../../build"))
DECODE = os.path.join(BUILD, "tools", "decode", "lumetra-decode")

LSF_KBPS = [0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160]
BITRATES = {1: [0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320], 0: LSF_KBPS, 2: LSF_KBPS}
RATES = {1: [44100, 48000, 32000], 0: [22050, 24000, 16000], 2: [11025, 12000, 8000]}
VERSION_ID = {3: 1, 2: 0, 0: 2}  # version bits -> MPEG-1, MPEG-2, MPEG 2.5


class Bits:
    def __init__(self, data, pos):
        self.data, self.pos = data, pos * 8

    def read(self, n):
        v = 0
        for _ in range(n):
            byte = self.data[self.pos >> 3] if (self.pos >> 3) < len(self.data) else 0
            v = (v << 1) | ((byte >> (7 - (self.pos & 7))) & 1)
            self.pos += 1
        return v


def header_at(data, i):
    if i + 4 > len(data) or data[i] != 0xFF or (data[i + 1] & 0xE6) != 0xE2 or (data[i + 1] >> 3) & 3 == 1:
        return None
    b1, b2, b3 = data[i + 1], data[i + 2], data[i + 3]
    h = {"id": VERSION_ID[(b1 >> 3) & 3], "crc": not (b1 & 1), "br": b2 >> 4, "sf": (b2 >> 2) & 3,
         "pad": (b2 >> 1) & 1, "mode": b3 >> 6, "ext": (b3 >> 4) & 3}
    if h["br"] == 15 or h["sf"] == 3:
        return None
    return h


def frames(data, free_kbps=0):
    """(offset, header, side info summary) of every layer III frame; free-format
    frames are taken to have the bitrate free_kbps."""
    i = 0
    if data[:3] == b"ID3":
        i = 10 + ((data[6] << 21) | (data[7] << 14) | (data[8] << 7) | data[9])
    first = None
    out = []
    while i + 4 <= len(data):
        h = header_at(data, i)
        if h is None or (first and (h["id"], h["sf"]) != first):
            i += 1
            continue
        first = (h["id"], h["sf"])
        mpeg1 = h["id"] == 1
        channels = 1 if h["mode"] == 3 else 2
        bits = Bits(data, i + 4 + (2 if h["crc"] else 0))
        mdb = bits.read(9 if mpeg1 else 8)
        bits.read((5 if channels == 1 else 3) if mpeg1 else (1 if channels == 1 else 2))
        if mpeg1:
            bits.read(4 * channels)
        blocks = set()
        for _ in range(2 if mpeg1 else 1):
            for _ in range(channels):
                bits.read(12 + 9 + 8 + (4 if mpeg1 else 9))
                if bits.read(1):
                    bt, mixed = bits.read(2), bits.read(1)
                    blocks.add(bt + (4 if mixed else 0))
                    bits.read(10 + 9)
                else:
                    blocks.add(0)
                    bits.read(15 + 7)
                bits.read(3 if mpeg1 else 2)
        out.append((i, h, {"mdb": mdb, "blocks": blocks}))
        kbps = BITRATES[h["id"]][h["br"]] or free_kbps
        if kbps:
            rate = RATES[h["id"]][h["sf"]]
            i += 144000 * kbps // rate // (1 if mpeg1 else 2) + h["pad"]
        else:
            i += 4
    return out


def summary(path, free_kbps):
    with open(path, "rb") as f:
        data = f.read()
    fs = frames(data, free_kbps)
    s = {"frames": len(fs), "modes": set(), "ms": 0, "crc": 0, "free": 0, "blocks": set(),
         "vbr_header": bool(fs) and any(tag in data[fs[0][0]:fs[0][0] + 200] for tag in (b"Xing", b"Info"))}
    for _, h, side in fs:
        s["modes"].add(h["mode"])
        s["ms"] += h["mode"] == 1 and bool(h["ext"] & 2)
        s["crc"] += h["crc"]
        s["free"] += h["br"] == 0
        s["blocks"] |= side["blocks"]
    return s


def make_source(tmp, rate, channels, kind):
    path = os.path.join(tmp, "%s_%d_%d.wav" % (kind, rate, channels))
    if kind == "tone":
        effect = ["synth", "2", "sine", "300-3000", "sine", "660", "gain", "-6"]
    elif kind == "correlated":
        # Right a quieter copy of left: middle/side pays.
        effect = ["synth", "2", "sine", "300-3000", "gain", "-6", "remix", "1", "1v0.7"]
    else:
        # Noise bursts after silence: transients that call for short blocks.
        effect = ["synth", "0.02", "whitenoise", "gain", "-4", "pad", "0", "0.18", "repeat", "9"]
    subprocess.run(["sox", "-R", "-n", "-r", str(rate), "-c", str(channels), path] + effect, check=True,
                   stderr=subprocess.DEVNULL)
    return path


def decode_ours(mp3, wav, gapless=False):
    subprocess.run([DECODE] + ([] if gapless else ["--no-gapless"]) + [mp3, wav], check=True,
                   stdout=subprocess.DEVNULL)
    _, channels, samples = compare.read_wav16(wav)
    return channels, samples


def reference(mp3, gapless=False):
    return compare.reference_f32(["mpg123"] + ([] if gapless else ["--no-gapless"]) + ["-q", "-e", "f32", "-s", mp3])


def toc_frame(data, fs, fraction):
    """The sound frame where a seek to fraction of the time lands by the Xing
    table: the first at or after its byte; None without a table."""
    first = fs[0][0]
    x = max(data.find(b"Xing", first, first + 64), data.find(b"Info", first, first + 64))
    flags, _, total = struct.unpack(">III", data[x + 4:x + 16])
    if not flags & 4:
        return None
    toc, pct = data[x + 16:x + 116], fraction * 100
    i = int(pct)
    a, b = toc[i], toc[i + 1] if i < 99 else 256
    at = first + int((a + (b - a) * (pct - i)) / 256 * min(total, len(data) - first))
    return next(k for k, f in enumerate(fs) if f[0] >= at) - 1  # the header frame is no sound


def check_seek(name, mp3, tmp, ref, free_kbps, failures):
    """Opening halfway starts at the frame the table gives, and the sound from
    there on (once the reservoir has filled again) is the whole stream's."""
    with open(mp3, "rb") as f:
        data = f.read()
    fs = frames(data, free_kbps)
    h = fs[0][1]
    k = toc_frame(data, fs, 0.505)
    if k is None:
        return
    spf = 1152 if h["id"] == 1 else 576
    seconds = 0.505 * (len(fs) - 1) * spf / RATES[h["id"]][h["sf"]]
    wav = os.path.join(tmp, name + "_seek.wav")
    proc = subprocess.run([DECODE, "--no-gapless", "--start", repr(seconds), mp3, wav], check=True,
                          stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    start = int(proc.stderr.split()[-1])
    channels, ours = compare.read_wav16(wav)[1:]
    # Main data from before the start is missing for a few frames (more of them
    # when they are small, as in VBR streams).
    settle = 10 * spf * channels
    result = compare.compare(ours[settle:], ref[k * spf * channels + settle:])
    print("%-24s %-10s frame %d of %d: %s" % (name, "seek", start // spf, k, result))
    if start != k * spf or not result.ok(min_equal=0.99, max_diff=1, max_length_diff=0):
        failures.append("%s: seek to frame %d started at sample %d: %s" % (name, k, start, result))


def check_stream(name, mp3, tmp, expect, free_kbps):
    failures = []
    info = summary(mp3, free_kbps)
    for what, ok in expect(info):
        if not ok:
            failures.append("%s: stream lacks %s (%s)" % (name, what, info))
    for gapless in (False, True) if info["vbr_header"] else (False,):
        _, ours = decode_ours(mp3, os.path.join(tmp, name + ".wav"), gapless)
        ref = reference(mp3, gapless)
        result = compare.compare(ours, ref)
        print("%-24s %-10s %s" % (name, "gapless" if gapless else "no-gapless", result))
        if not result.ok(min_equal=0.99, max_diff=1, max_length_diff=0):
            failures.append("%s: %s" % (name, result))
        if not gapless and info["vbr_header"]:
            check_seek(name, mp3, tmp, ref, free_kbps, failures)
    return failures


def rate_cases(rate):
    lsf = rate < 32000
    cbr = "64" if lsf else "128"
    high = "96" if lsf else "192"
    failures = []
    with tempfile.TemporaryDirectory() as tmp:
        tone = make_source(tmp, rate, 2, "tone")
        correlated = make_source(tmp, rate, 2, "correlated")
        click = make_source(tmp, rate, 2, "click")
        click_mono = make_source(tmp, rate, 1, "click")
        short = lambda s: [("short blocks", 2 in s["blocks"]), ("long blocks", 0 in s["blocks"])]
        cases = [
            ("joint", ["lame", "--quiet", "-m", "j", "-b", cbr, correlated],
             lambda s: [("middle/side frames", s["ms"] > 0)]),
            ("stereo_short", ["lame", "--quiet", "-m", "s", "-b", cbr, click],
             lambda s: short(s) + [("stereo mode", s["modes"] == {0})]),
            ("mono_short", ["lame", "--quiet", "-m", "m", "-b", cbr, click_mono],
             lambda s: short(s) + [("single channel", s["modes"] == {3})]),
            ("dual", ["lame", "--quiet", "-m", "d", "-b", high, tone],
             lambda s: [("dual channel", s["modes"] == {2})]),
            ("vbr_joint_short", ["lame", "--quiet", "-V", "2", click],
             lambda s: short(s) + [("VBR header", s["vbr_header"])]),
            ("crc", ["lame", "--quiet", "-p", "-m", "j", "-b", cbr, tone],
             lambda s: [("CRC words", s["crc"] == s["frames"])]),
            ("free_format", ["lame", "--quiet", "--freeformat", "-b", high, click],
             # all but the Info frame
             lambda s: [("free format", s["free"] >= s["frames"] - 1)] + short(s)),
            # FFmpeg's own Info/Xing frame and ID3v2.4 tag
            ("ffmpeg_cbr", ["ffmpeg", "-v", "quiet", "-y", "-i", click, "-c:a", "libmp3lame", "-b:a", cbr + "k",
                            "-metadata", "title=T\u00eftel"], lambda s: short(s) + [("Info frame", s["vbr_header"])]),
            ("ffmpeg_vbr", ["ffmpeg", "-v", "quiet", "-y", "-i", tone, "-c:a", "libmp3lame", "-q:a", "2"],
             lambda s: [("Xing frame", s["vbr_header"])]),
        ]
        for name, cmd, expect in cases:
            mp3 = os.path.join(tmp, "%s_%d.mp3" % (name, rate))
            subprocess.run(cmd + [mp3], check=True)
            free_kbps = int(high) if "--freeformat" in cmd else 0
            failures += check_stream("%s_%d" % (name, rate), mp3, tmp, expect, free_kbps)
    return failures


def midstream_cases():
    """A stream cut at a frame whose main data starts in the frame before: that
    frame is silence, and later frames decode as in the whole stream."""
    failures = []
    with tempfile.TemporaryDirectory() as tmp:
        for rate in (44100, 22050):
            spf = 576 if rate < 32000 else 1152
            src = make_source(tmp, rate, 2, "tone")
            whole = os.path.join(tmp, "whole_%d.mp3" % rate)
            subprocess.run(["lame", "--quiet", "-t", "-b", "96" if rate < 32000 else "160", src, whole], check=True)
            with open(whole, "rb") as f:
                data = f.read()
            fs = frames(data)
            cut_frame = next(k for k in range(10, len(fs)) if fs[k][2]["mdb"] > 0)
            cut = os.path.join(tmp, "cut_%d.mp3" % rate)
            with open(cut, "wb") as f:
                f.write(data[fs[cut_frame][0]:])
            channels, ours = decode_ours(cut, os.path.join(tmp, "cut_%d.wav" % rate))
            ref = reference(whole)
            frame = spf * channels
            first = ours[:frame]
            if any(first):
                failures.append("rate %d: the frame without its main data was not silent" % rate)
            # Overlap and synthesis history need two frames to catch up.
            settle = 3 * frame
            result = compare.compare(ours[settle:], ref[cut_frame * frame + settle:])
            print("midstream_%d cut at frame %d: %s" % (rate, cut_frame, result))
            if not result.ok(min_equal=0.99, max_diff=1, max_length_diff=0):
                failures.append("midstream %d: %s" % (rate, result))
    return failures


def main():
    arg = sys.argv[1] if len(sys.argv) > 1 else "44100"
    failures = midstream_cases() if arg == "midstream" else rate_cases(int(arg))
    for f in failures:
        print("FAIL " + f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
