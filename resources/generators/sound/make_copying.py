#!/usr/bin/env python3
"""Synthesises the "copying" sound played when library rows join the playlist: three
short rising chimes, 16-bit mono at 22050 Hz, about a third of a second.

usage: make_copying.py OUT.wav

The samples are computed here from sine partials under a decaying envelope; no
recording is used."""
import math
import struct
import sys
import wave

RATE = 22050


def chime(freq, seconds):
    n = int(RATE * seconds)
    out = []
    for i in range(n):
        t = i / RATE
        # A quick attack, then an exponential fall; a soft octave partial for brightness.
        env = min(1.0, t / 0.004) * math.exp(-t * 28)
        s = math.sin(2 * math.pi * freq * t) + 0.3 * math.sin(4 * math.pi * freq * t)
        out.append(0.42 * env * s)
    return out


def main():
    samples = []
    for freq in (880.0, 1174.7, 1568.0):
        samples += chime(freq, 0.11)
    samples += [0.0] * int(RATE * 0.02)
    with wave.open(sys.argv[1], "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(b"".join(struct.pack("<h", int(max(-1.0, min(1.0, s)) * 32767)) for s in samples))


if __name__ == "__main__":
    main()
