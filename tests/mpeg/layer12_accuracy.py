#!/usr/bin/env python3
"""End-to-end accuracy of layers I and II: streams made at test time (twolame
for layer II, our random-content writer for layer I) at every MPEG-1 and
MPEG-2 LSF sampling rate, in mono, stereo, joint stereo and dual channel, some
CRC-protected, some wrapped in ID3v1, ID3v2.2 or ID3v2.3 tags. lumetra-decode's
output must equal the reference decoder's (mpg123 for layer II, FFmpeg's mp1
decoder and mpg123 for layer I) after truncation toward zero on at least 99% of
samples, never more than 1 apart, with the same length."""
import array
import os
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import compare  # noqa: E402
import layer1_writer  # noqa: E402

BUILD = os.environ.get("LUMETRA_BUILD_DIR", os.path.join(os.path.dirname(__file__), "..", "..", "build"))
DECODE = os.path.join(BUILD, "tools", "decode", "lumetra-decode")


def id3v2(major, title, artist):
    def frame(fid, text):
        body = b"\0" + text.encode()
        if major == 3:
            return fid.encode() + struct.pack(">I", len(body)) + b"\0\0" + body
        return fid.encode() + struct.pack(">I", len(body))[1:] + body
    frames = frame("TIT2" if major == 3 else "TT2", title) + frame("TPE1" if major == 3 else "TP1", artist)
    body = frames + b"\0" * 64
    n = len(body)
    size = bytes([(n >> 21) & 0x7F, (n >> 14) & 0x7F, (n >> 7) & 0x7F, n & 0x7F])
    return b"ID3" + bytes([major, 0, 0]) + size + body


def id3v1(title):
    return b"TAG" + title.encode().ljust(30, b" ") + b"Artist".ljust(30, b" ") + b"\0" * 30 + b"2024" + b"\0" * 31


def wrap(path, tags):
    with open(path, "rb") as f:
        data = f.read()
    if "v22" in tags:
        data = id3v2(2, "Title", "Artist") + data
    if "v23" in tags:
        data = id3v2(3, "Title", "Artist") + data
    if "v1" in tags:
        data += id3v1("Title")
    with open(path, "wb") as f:
        f.write(data)


def run(cmd):
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def source_wav(path, rate, channels, seconds):
    # A tone sweep and pink noise: one per channel, or mixed for mono.
    sweep = "200-%d" % (rate // 3)
    if channels == 2:
        effects = ["synth", str(seconds), "sine", sweep, "pinknoise"]
    else:
        effects = ["synth", str(seconds), "pinknoise", "synth", str(seconds), "sine", "mix", sweep]
    run(["sox", "-R", "-n", "-r", str(rate), "-c", str(channels), "-b", "16", path] + effects + ["vol", "0.4"])


def check(name, stream, refs, failures):
    out = stream + ".wav"
    proc = subprocess.run([DECODE, stream, out], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if proc.returncode != 0:
        failures.append("%s: lumetra-decode exit %d: %s" % (name, proc.returncode, proc.stderr.decode().strip()))
        return
    _, _, ours = compare.read_wav16(out)
    for ref_name, cmd in refs:
        result = compare.compare(ours, compare.reference_f32(cmd))
        status = "ok" if result.ok() else "FAIL"
        print("%-44s %-7s %s %s" % (name, ref_name, status, result))
        if not result.ok():
            failures.append("%s vs %s: %s" % (name, ref_name, result))


def frame_modes(path):
    """Channel mode of every frame of a layer II stream without tags."""
    rates = {(1, 0): 44100, (1, 1): 48000, (1, 2): 32000, (0, 0): 22050, (0, 1): 24000, (0, 2): 16000}
    kbps = {1: [0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384],
            0: [0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160]}
    with open(path, "rb") as f:
        data = f.read()
    modes, i = [], 0
    while i + 4 <= len(data) and data[i] == 0xFF and data[i + 1] & 0xF0 == 0xF0:
        version = (data[i + 1] >> 3) & 1
        rate = rates[(version, (data[i + 2] >> 2) & 3)]
        length = 144000 * kbps[version][data[i + 2] >> 4] // rate + ((data[i + 2] >> 1) & 1)
        modes.append(data[i + 3] >> 6)
        i += length
    return modes


def mpg123(path):
    return ("mpg123", ["mpg123", "-q", "--no-gapless", "-e", "f32", "-s", path])


def ffmpeg_mp1(path):
    return ("ffmpeg", ["ffmpeg", "-v", "error", "-f", "mp3", "-c:a", "mp1float", "-i", path, "-f", "f32le", "-"])


LAYER2 = [
    # rate, channels, twolame mode, kbit/s, crc, tags
    (44100, 2, "s", 192, False, ["v23", "v1"]),
    (48000, 2, "j", 128, True, []),
    (32000, 1, "m", 48, False, ["v1"]),
    (48000, 2, "d", 64, False, ["v22"]),
    (44100, 2, "j", 256, True, ["v22", "v1"]),
    (44100, 2, "j", 192, False, []),
    (32000, 2, "s", 384, False, []),
    (48000, 1, "m", 48, True, []),
    (16000, 1, "m", 32, True, ["v23"]),
    (22050, 2, "j", 64, False, ["v1"]),
    (24000, 2, "d", 96, True, []),
    (22050, 2, "s", 160, False, ["v22"]),
]

LAYER1 = [
    # rate, bitrate index, mode, mode extension, crc, tags
    (44100, 8, 0, 0, False, ["v1"]),
    (48000, 10, 1, 0, True, []),
    (32000, 6, 1, 3, False, ["v23"]),
    (44100, 12, 2, 0, True, []),
    (48000, 4, 3, 0, False, []),
    (16000, 4, 3, 0, True, ["v22"]),
    (22050, 8, 1, 2, False, []),
    (24000, 10, 0, 0, True, ["v1"]),
]


def main():
    failures = []
    mixed_modes = False
    with tempfile.TemporaryDirectory(prefix="lumetra-l12-") as tmp:
        for i, (rate, channels, mode, kbps, crc, tags) in enumerate(LAYER2):
            wav = os.path.join(tmp, "src%d.wav" % i)
            mp2 = os.path.join(tmp, "l2_%d.mp2" % i)
            source_wav(wav, rate, channels, 1.5)
            run(["twolame", "-b", str(kbps), "-m", mode] + (["-p"] if crc else []) + [wav, mp2])
            modes = frame_modes(mp2)
            wrap(mp2, tags)
            name = "layer II %5d Hz %s %3d kbit/s%s%s" % (rate, mode, kbps, " crc" if crc else "",
                                                          " " + "+".join(tags) if tags else "")
            mixed_modes |= len(set(modes)) > 1
            check(name, mp2, [mpg123(mp2)], failures)
        # twolame's joint stereo writes some frames in plain stereo; all must play.
        if not mixed_modes:
            failures.append("no stream mixes stereo and joint-stereo frames")
        # Free format: the length of the first frame comes from the distance to
        # the next; the bit rate it implies picks the allocation table. (mpg123
        # picks table 0 for any free-format stream, which at 48 kHz is right, and
        # does not decode free-format joint stereo.)
        wav, mp2 = os.path.join(tmp, "free.wav"), os.path.join(tmp, "free.mp2")
        source_wav(wav, 48000, 2, 1.5)
        run(["twolame", "--freeformat", "-b", "192", "-m", "s", wav, mp2])
        check("layer II 48000 Hz s free format 192 kbit/s", mp2, [mpg123(mp2)], failures)
        for i, (rate, br, mode, ext, crc, tags) in enumerate(LAYER1):
            mp1 = os.path.join(tmp, "l1_%d.mp1" % i)
            layer1_writer.write_stream(mp1, rate, br, mode, ext, crc, frames=120, seed=i + 1)
            wrap(mp1, tags)
            name = "layer I  %5d Hz mode %d/%d br %2d%s%s" % (rate, mode, ext, br, " crc" if crc else "",
                                                            " " + "+".join(tags) if tags else "")
            check(name, mp1, [ffmpeg_mp1(mp1), mpg123(mp1)], failures)
    if failures:
        print("\n".join(["FAILED:"] + failures))
        return 1
    print("all layer I and II streams match the reference decoders")
    return 0


if __name__ == "__main__":
    sys.exit(main())
