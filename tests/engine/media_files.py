"""Test media of our own making: a small standard MIDI file and a BIN/CUE disc
image of one data track followed by three audio tracks.

    python3 media_files.py midi OUT.mid
    python3 media_files.py cd-image FOLDER     (writes FOLDER/disc.cue and disc.bin)
"""

import array
import math
import os
import random
import struct
import sys

SECTOR = 2352
RATE = 44100
# (track number, mode, seconds); the data track comes first, as on mixed-mode discs.
DISC = [(1, "MODE1/2352", 3), (2, "AUDIO", 14), (3, "AUDIO", 12), (4, "AUDIO", 5)]


def _quantity(value):
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.insert(0, 0x80 | (value & 0x7F))
        value >>= 7
    return bytes(out)


def midi_bytes(notes=12, tempo=400000, division=96, program=0, truncate=0):
    """Format 0: tempo, a program, `notes` notes of an eighth each, end of track."""
    events = [(0, b"\xff\x51\x03" + struct.pack(">I", tempo)[1:]), (0, bytes([0xC0, program]))]
    for i in range(notes):
        key = 48 + (i * 7) % 36
        events.append((0 if i == 0 else 0, bytes([0x90, key, 100])))
        events.append((division // 2, bytes([0x80, key, 64])))
    events.append((division, b"\xff\x2f\x00"))
    track = b"".join(_quantity(delta) + body for delta, body in events)
    data = b"MThd" + struct.pack(">IHHH", 6, 0, 1, division) + b"MTrk" + struct.pack(">I", len(track)) + track
    return data[:len(data) - truncate] if truncate else data


def audio_track(number, seconds):
    """Stereo tones with a little noise, different per track and channel, so that
    no stretch of a track repeats another."""
    noise = random.Random(number)
    samples = array.array("h")
    f1, f2 = 220.0 * number, 330.0 * number + 7
    for n in range(seconds * RATE):
        t = n / RATE
        samples.append(int(9000 * math.sin(2 * math.pi * f1 * t)) + noise.randrange(-500, 500))
        samples.append(int(8000 * math.sin(2 * math.pi * f2 * t)) + noise.randrange(-500, 500))
    if sys.byteorder != "little":
        samples.byteswap()
    return samples.tobytes()


def data_track(seconds):
    sync = b"\x00" + b"\xff" * 10 + b"\x00"
    return b"".join(sync + bytes(SECTOR - len(sync)) for _ in range(seconds * 75))


def write_cd_image(folder, bin_name="disc.bin"):
    """Writes disc.cue and the BIN; returns (cue path, {track: (start sector, pcm bytes)})."""
    os.makedirs(folder, exist_ok=True)
    tracks = {}
    cue = ['FILE "%s" BINARY' % bin_name]
    sector = 0
    with open(os.path.join(folder, bin_name), "wb") as out:
        for number, mode, seconds in DISC:
            body = audio_track(number, seconds) if mode == "AUDIO" else data_track(seconds)
            body += bytes(-len(body) % SECTOR)
            cue += ["  TRACK %02d %s" % (number, mode), "    INDEX 01 %02d:%02d:%02d" % (sector // 4500, sector // 75 % 60,
                                                                                       sector % 75)]
            tracks[number] = (sector, body if mode == "AUDIO" else None)
            out.write(body)
            sector += len(body) // SECTOR
    cue_path = os.path.join(folder, "disc.cue")
    with open(cue_path, "w") as f:
        f.write("\n".join(cue) + "\n")
    return cue_path, tracks, sector


def disc_serial(tracks, lead_out):
    """The player's serial: FNV-1a over (count, each number and start, lead-out)."""
    h = 2166136261
    values = [len(tracks)]
    for number in sorted(tracks):
        values += [number, tracks[number][0]]
    values.append(lead_out)
    for v in values:
        for b in struct.pack("<I", v & 0xFFFFFFFF):
            h = ((h ^ b) * 16777619) & 0xFFFFFFFF
    return h or 1


if __name__ == "__main__":
    if sys.argv[1] == "midi":
        with open(sys.argv[2], "wb") as f:
            f.write(midi_bytes())
    elif sys.argv[1] == "cd-image":
        cue, tracks, lead_out = write_cd_image(sys.argv[2])
        print("%s %X" % (cue, disc_serial(tracks, lead_out)))
