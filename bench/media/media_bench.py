#!/usr/bin/env python3
"""CPU time and peak memory of the player playing 30 seconds of WAV, WMA and MIDI
in real time, against ffplay (WAV, WMA) and the fluidsynth command line (MIDI)
playing the same files in the same run.

  media_bench.py [--build BUILD_DIR] [--seconds N]

The player runs `lumetra --headless` with `play FILE` on the `null` backend,
which consumes in real time; ffplay runs with `-nodisp -autoexit` on SDL's dummy
audio driver; fluidsynth plays with the TimGM6mb font through its file driver
into /dev/null. Printed per medium: CPU seconds (user + system), peak resident
memory, and the player's ratios to its peer (goal: at most 1)."""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tests", "engine"))
sys.path.insert(0, os.path.join(HERE, "..", "engine"))
import media_files  # noqa: E402
from engine_bench import peak_rss_mb  # noqa: E402

FONT = "/usr/share/sounds/sf2/TimGM6mb.sf2"


def measure(cmd, env, stdin_text=None):
    """(CPU seconds, peak RSS MB, wall seconds) of cmd run to its end."""
    start = time.perf_counter()
    proc = subprocess.Popen(cmd, env=env, stdin=subprocess.PIPE if stdin_text else subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, text=True)
    if stdin_text:
        proc.stdin.write(stdin_text)
        proc.stdin.close()
    peak = 0.0
    while True:
        pid, status, usage = os.wait4(proc.pid, os.WNOHANG)
        if pid:
            break
        peak = max(peak, peak_rss_mb(proc.pid))
        time.sleep(0.05)
    return usage.ru_utime + usage.ru_stime, peak, time.perf_counter() - start


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=os.path.join(os.path.dirname(__file__), "..", "..", "build"))
    parser.add_argument("--seconds", type=int, default=30)
    args = parser.parse_args()
    player = os.path.join(args.build, "app", "lumetra")
    for tool in ("sox", "ffmpeg", "ffplay", "fluidsynth"):
        if not shutil.which(tool):
            sys.exit("missing tool: " + tool)
    work = tempfile.mkdtemp(prefix="lumetra-media-bench-")
    env = dict(os.environ, XDG_CONFIG_HOME=work, XDG_DATA_HOME=work, XDG_RUNTIME_DIR=work, LUMETRA_AUDIO="null",
               LUMETRA_CDROM="", LUMETRA_DRIVES="", SDL_AUDIODRIVER="dummy", LUMETRA_SOUNDFONT=FONT)
    try:
        wav = os.path.join(work, "music.wav")
        subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth", str(args.seconds),
                        "sine", "200-2000", "sine", "550", "vol", "0.5"], check=True)
        wma = os.path.join(work, "music.wma")
        subprocess.run(["ffmpeg", "-v", "error", "-i", wav, "-c:a", "wmav2", "-b:a", "128k", wma], check=True)
        mid = os.path.join(work, "music.mid")
        notes = args.seconds * 1000 // 200  # eighths at 0.4 s per quarter
        with open(mid, "wb") as f:
            f.write(media_files.midi_bytes(notes=notes))
        ffplay = ["ffplay", "-nodisp", "-autoexit", "-loglevel", "quiet"]
        fluid = ["fluidsynth", "-ni", "-q", "-a", "file", "-o", "audio.file.name=/dev/null", "-r", "44100", FONT]
        rows = [("WAV", wav, ffplay + [wav], "ffplay"), ("WMA", wma, ffplay + [wma], "ffplay"),
                ("MIDI", mid, fluid + [mid], "fluidsynth")]
        print("%-5s %-11s %9s %9s %8s" % ("", "", "CPU s", "peak MB", "wall s"))
        for name, path, peer_cmd, peer in rows:
            # A data folder of its own: no playlist of an earlier run is restored first.
            data = os.path.join(work, "data-" + name)
            os.makedirs(data)
            ours = measure([player, "--headless"], dict(env, XDG_DATA_HOME=data), "play %s\n" % path)
            theirs = measure(peer_cmd, env)
            print("%-5s %-11s %9.2f %9.1f %8.1f" % (name, "lumetra", *ours))
            print("%-5s %-11s %9.2f %9.1f %8.1f" % ("", peer, *theirs))
            print("%-5s ratio CPU %.2f, memory %.2f" % ("", ours[0] / max(theirs[0], 1e-3), ours[1] / max(theirs[1], 1e-3)))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
