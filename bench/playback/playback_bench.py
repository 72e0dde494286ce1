#!/usr/bin/env python3
"""CPU seconds and peak RSS of `lumetra --headless` and of mpg123 playing the same
60-second MP3 in real time, side by side, through a private PulseAudio server
(started here, as the tests start theirs) and through each program's discarding
output (lumetra's real-time `null` device, mpg123's `null`/`dummy`).

  playback_bench.py [--build BUILD_DIR] [--seconds N]

Goals: lumetra's CPU with pulse at most mpg123's; with null at most 0.1 s per
minute; peak RSS at most 12 MB."""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "engine"))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tests", "app"))
from engine_bench import child_usage  # noqa: E402
from pulse_support import PulseServer  # noqa: E402


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=os.path.join(HERE, "../../build"))
    parser.add_argument("--seconds", type=int, default=60, help="length of the MP3 (the goals are per minute)")
    args = parser.parse_args()
    player = os.path.join(args.build, "app", "lumetra")
    for tool in ("sox", "lame", "mpg123", "pulseaudio", "pactl"):
        if not shutil.which(tool):
            sys.exit("missing tool: " + tool)
    with tempfile.TemporaryDirectory(prefix="lumetra-playback-bench-") as tmp:
        env = dict(os.environ)
        for var in ("XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"):
            os.makedirs(os.path.join(tmp, var), mode=0o700)
            env[var] = os.path.join(tmp, var)
        # The library is built at the first start; it scans only this empty folder.
        env["LUMETRA_DRIVES"] = os.path.join(tmp, "XDG_DATA_HOME")
        env["LUMETRA_CDROM"] = ""
        wav, mp3 = os.path.join(tmp, "a.wav"), os.path.join(tmp, "a.mp3")
        subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth", str(args.seconds), "pinknoise",
                        "sine", "220-3000", "vol", "0.4"], check=True)
        subprocess.run(["lame", "--quiet", "-b", "128", "--cbr", "-m", "j", wav, mp3], check=True)
        null = "null"
        if subprocess.run(["mpg123", "-q", "-o", "null", "-n", "1", mp3], stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL).returncode != 0:
            null = "dummy"
        # The first start writes the settings and the desktop entry, once per user;
        # it is shown on its own and kept out of the playback rows.
        first = child_usage([player, "--headless"], dict(env, LUMETRA_AUDIO="null"), ["quit"])
        rows = []
        server = PulseServer(os.path.join(tmp, "pulse"), 44100, 2)
        try:
            penv = dict(env, PULSE_SERVER=server.env["PULSE_SERVER"], LUMETRA_AUDIO="pulse")
            rows.append(("lumetra --headless", "pulse", child_usage([player, "--headless"], penv, ["play " + mp3])))
            rows.append(("mpg123", "pulse", child_usage(["mpg123", "-q", "-o", "pulse", mp3], penv)))
        finally:
            server.close()
        rows.append(("lumetra --headless", "null", child_usage([player, "--headless"], dict(env, LUMETRA_AUDIO="null"),
                                                             ["play " + mp3])))
        # mpg123's discarding output does not keep time; lumetra's null device does.
        rows.append(("mpg123", null, child_usage(["mpg123", "-q", "-o", null, mp3], env)))
        idle = child_usage([player, "--headless"], dict(env, LUMETRA_AUDIO="null"), ["quit"])
        print("%d-second MP3, 128 kbit/s joint stereo, 44.1 kHz, played in one run" % args.seconds)
        print("  %-20s %-7s %9s %13s %9s" % ("program", "output", "cpu s", "peak rss MB", "wall s"))
        for name, out, (cpu, rss, wall) in rows:
            print("  %-20s %-7s %9.2f %13.1f %9.1f" % (name, out, cpu, rss, wall))
        ratio = rows[0][2][0] / max(rows[1][2][0], 1e-6)
        print("  cpu lumetra / mpg123 with pulse: %.2f (goal: at most 1)" % ratio)
        print("  lumetra null: %.2f cpu s per minute (goal: at most 0.1)" % (rows[2][2][0] * 60 / args.seconds))
        print("  lumetra first start and quit: cpu %.2f s, peak rss %.1f MB, wall %.2f s" % first)
        print("  lumetra idle start and quit: cpu %.2f s, peak rss %.1f MB, wall %.2f s" % idle)


if __name__ == "__main__":
    main()
