#!/usr/bin/env python3
"""Compares our 16-bit PCM WAV output with a reference decoder's float output.

The reference samples (32-bit float, native order, interleaved) are converted to
16 bits exactly as our synthesis does: scaled by 32768, truncated toward zero,
limited to -32768..32767. Two correct float decoders then agree on nearly every
sample and never differ by more than 1.

As a tool:
  compare.py OURS.wav REF.f32 [--min-equal 0.99] [--max-diff 1] [--max-length-diff 0]
prints one line of figures and exits 0 when the bounds hold, 1 otherwise.

As a module (tests of other decoders reuse it):
  reference_f32(cmd)          runs a decoder command that writes f32 to stdout
  read_wav16(path)            -> (rate, channels, samples)
  compare(ours, ref_floats)   -> Result (equal fraction, max diff, lengths)
"""
import argparse
import array
import struct
import subprocess
import sys
from dataclasses import dataclass


def read_wav16(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        raise ValueError("%s: not a RIFF WAVE file" % path)
    pos, rate, channels, bits, pcm = 12, 0, 0, 0, None
    while pos + 8 <= len(data):
        cid, size = data[pos:pos + 4], struct.unpack_from("<I", data, pos + 4)[0]
        body = data[pos + 8:pos + 8 + size]
        if cid == b"fmt ":
            _, channels, rate, _, _, bits = struct.unpack_from("<HHIIHH", body)
        elif cid == b"data":
            pcm = body
        pos += 8 + size + (size & 1)
    if pcm is None or bits != 16:
        raise ValueError("%s: no 16-bit data" % path)
    samples = array.array("h")
    samples.frombytes(pcm[: len(pcm) // 2 * 2])
    if sys.byteorder != "little":
        samples.byteswap()
    return rate, channels, samples


def read_f32(path):
    samples = array.array("f")
    with open(path, "rb") as f:
        samples.frombytes(f.read())
    return samples


def reference_f32(cmd):
    """Runs cmd (a list) and returns its standard output as floats."""
    out = subprocess.run(cmd, check=True, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout
    samples = array.array("f")
    samples.frombytes(out[: len(out) // 4 * 4])
    return samples


def to_int16(x):
    v = x * 32768.0
    if v >= 32768.0:
        return 32767
    if v < -32768.0:
        return -32768
    return int(v)  # truncation toward zero


@dataclass
class Result:
    ours: int
    ref: int
    compared: int
    equal: int
    max_diff: int

    @property
    def equal_fraction(self):
        return self.equal / self.compared if self.compared else 0.0

    def ok(self, min_equal=0.99, max_diff=1, max_length_diff=0):
        return (self.compared > 0 and abs(self.ours - self.ref) <= max_length_diff
                and self.equal_fraction >= min_equal and self.max_diff <= max_diff)

    def __str__(self):
        return ("samples ours=%d ref=%d compared=%d equal=%.5f max_diff=%d"
                % (self.ours, self.ref, self.compared, self.equal_fraction, self.max_diff))


def compare(ours, ref_floats):
    n = min(len(ours), len(ref_floats))
    equal = 0
    worst = 0
    for a, x in zip(ours[:n], ref_floats[:n]):
        d = abs(a - to_int16(x))
        if d == 0:
            equal += 1
        elif d > worst:
            worst = d
    return Result(len(ours), len(ref_floats), n, equal, worst)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("ours")
    ap.add_argument("ref")
    ap.add_argument("--min-equal", type=float, default=0.99)
    ap.add_argument("--max-diff", type=int, default=1)
    ap.add_argument("--max-length-diff", type=int, default=0)
    a = ap.parse_args()
    _, _, ours = read_wav16(a.ours)
    result = compare(ours, read_f32(a.ref))
    print(result)
    return 0 if result.ok(a.min_equal, a.max_diff, a.max_length_diff) else 1


if __name__ == "__main__":
    sys.exit(main())
