#!/usr/bin/env python3
"""Damaged input ends cleanly: lumetra-decode on truncated, zeroed, random-tail,
bit-flipped and tag-only files exits with 0 (decoded as far as possible) or 1
(nothing to decode, with a message), within a time limit, never by a signal."""
import os
import random
import subprocess
import sys
import tempfile

BUILD = os.environ.get("LUMETRA_BUILD_DIR", os.path.join(os.path.dirname(__file__), "..", "..", "build"))
DECODE = os.path.join(BUILD, "tools", "decode", "lumetra-decode")


def run(cmd):
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def variants(data, rng):
    n = len(data)
    yield "truncated-half", data[: n // 2]
    yield "truncated-mid-frame", data[: n // 3 + 17]
    yield "header-only", data[:4]
    yield "zeroed-middle", data[: n // 4] + bytes(n // 2) + data[n // 4 + n // 2:]
    yield "random-tail", data[: n // 2] + bytes(rng.randrange(256) for _ in range(n // 2))
    flipped = bytearray(data)
    for _ in range(200):
        flipped[rng.randrange(n)] ^= 1 << rng.randrange(8)
    yield "bit-flips", bytes(flipped)
    yield "all-zero", bytes(n)
    yield "random", bytes(rng.randrange(256) for _ in range(n))
    yield "syncs-only", b"\xff\xfb\x90\x00" * (n // 4)
    id3 = b"ID3\x03\x00\x00\x00\x00\x01\x00" + bytes(128)
    yield "id3v2-only", id3
    yield "id3v1-only", b"TAG" + bytes(125)
    yield "id3v2-then-garbage", id3 + bytes(rng.randrange(256) for _ in range(3000))
    yield "huge-id3v2-size", b"ID3\x03\x00\x00\x7f\x7f\x7f\x7f" + data
    yield "empty", b""
    x = data.find(b"Info", 0, 200)
    if x >= 0:
        forged = bytearray(data)
        forged[x + 8:x + 12] = bytes(4)  # no frames
        forged[x + 12:x + 16] = b"\xff" * 4  # more bytes than the file holds
        forged[x + 16:x + 116] = bytes(range(200, 100, -1))  # a seek table that runs backwards
        yield "forged-vbr-header", bytes(forged)
    # A 2.4 title frame that claims more than its tag, in UTF-16 of odd length.
    yield "lying-id3v24", b"ID3\x04\x00\x00\x00\x00\x00\x20TIT2\x00\x00\x7f\x7f\x00\x00\x01\xff\xfeA" + bytes(13) + data


def main():
    rng = random.Random(7)
    failures = []
    with tempfile.TemporaryDirectory(prefix="lumetra-damaged-") as tmp:
        wav = os.path.join(tmp, "src.wav")
        run(["sox", "-R", "-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth", "2", "sine", "300-3000",
             "pinknoise", "vol", "0.4"])
        sources = {}
        mp2 = os.path.join(tmp, "a.mp2")
        run(["twolame", "-b", "192", "-p", wav, mp2])
        sources["mp2"] = mp2
        mp3 = os.path.join(tmp, "a.mp3")
        run(["lame", "--quiet", "-b", "128", wav, mp3])
        sources["mp3"] = mp3
        for kind, path in sources.items():
            with open(path, "rb") as f:
                data = f.read()
            for name, bytes_ in variants(data, rng):
                bad = os.path.join(tmp, "%s-%s" % (kind, name))
                with open(bad, "wb") as f:
                    f.write(bytes_)
                try:
                    proc = subprocess.run([DECODE, bad, bad + ".wav"], stdout=subprocess.DEVNULL,
                                          stderr=subprocess.PIPE, timeout=30)
                except subprocess.TimeoutExpired:
                    failures.append("%s %s: did not finish" % (kind, name))
                    continue
                message = proc.stderr.decode(errors="replace").strip().splitlines()
                print("%-4s %-20s exit %d %s" % (kind, name, proc.returncode, message[-1] if message else ""))
                if proc.returncode not in (0, 1):
                    failures.append("%s %s: exit %d" % (kind, name, proc.returncode))
                elif proc.returncode == 1 and not message:
                    failures.append("%s %s: failed without a message" % (kind, name))
                if name.startswith("truncated") and proc.returncode != 0:
                    failures.append("%s %s: a truncated file still decodes" % (kind, name))
    if failures:
        print("\n".join(["FAILED:"] + failures))
        return 1
    print("every damaged file ended cleanly")
    return 0


if __name__ == "__main__":
    sys.exit(main())
