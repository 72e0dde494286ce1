#!/usr/bin/env python3
"""The window's cost under Xvfb: time from exec to the first shown window, CPU of
playing an MP3 with the window against the same playback headless, and peak RSS.

usage: window_bench.py [--build DIR] [--runs N] [--seconds S]
Prints figures and ratios; it asserts nothing."""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

here = os.path.dirname(os.path.abspath(__file__))


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def peak_rss_mb(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1]) / 1024
    return 0.0


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=os.path.join(here, "..", "..", "build"))
    ap.add_argument("--runs", type=int, default=7)
    ap.add_argument("--seconds", type=int, default=15)
    args = ap.parse_args()
    player = os.path.join(args.build, "app", "lumetra")
    work = tempfile.mkdtemp(prefix="lumetra-ui-bench-")
    display = ":%d" % (300 + os.getpid() % 200)
    xvfb = subprocess.Popen(["Xvfb", display, "-screen", "0", "640x480x24", "-nolisten", "tcp"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        while not os.path.exists("/tmp/.X11-unix/X" + display[1:]):
            time.sleep(0.05)
        env = dict(os.environ, DISPLAY=display, LUMETRA_AUDIO="null", XDG_CONFIG_HOME=work + "/config",
                   XDG_DATA_HOME=work + "/data", XDG_RUNTIME_DIR=work, LUMETRA_DIRECTORY="127.0.0.1:9",
                   # No drives and no CD: no library scan runs beside the playback.
                   LUMETRA_DRIVES="", LUMETRA_CDROM="")
        env.pop("QT_QPA_PLATFORM", None)
        env.pop("WAYLAND_DISPLAY", None)

        # Exec to a viewable window (xdotool polled as fast as it runs, about 3 ms).
        startup = []
        for _ in range(args.runs):
            t0 = time.monotonic()
            proc = subprocess.Popen([player], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            while subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "Lumetra Media Player"], env=env,
                                 capture_output=True).returncode != 0:
                pass
            startup.append((time.monotonic() - t0) * 1000)
            proc.terminate()
            proc.wait()
        print("exec to first shown window: median %.0f ms (min %.0f, max %.0f, %d runs)"
              % (statistics.median(startup), min(startup), max(startup), args.runs))

        wav = os.path.join(work, "tone.wav")
        mp3 = os.path.join(work, "tone.mp3")
        subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth", str(args.seconds + 10),
                        "sine", "300-2000"], check=True)
        subprocess.run(["lame", "--quiet", "-b", "128", wav, mp3], check=True)

        def play(mode):
            cmd = [player, mode, mp3]
            proc = subprocess.Popen(cmd, env=env, stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                                    stderr=subprocess.DEVNULL)
            time.sleep(args.seconds)
            cpu = cpu_seconds(proc.pid)
            rss = peak_rss_mb(proc.pid)
            proc.kill()
            proc.wait()
            return cpu, rss

        headless_cpu, headless_rss = play("--headless")
        window_cpu, window_rss = play("--control")
        h = 100 * headless_cpu / args.seconds
        w = 100 * window_cpu / args.seconds
        print("playing %d s of MP3: headless %.2f%% of a core, with the window %.2f%% (+%.2f points, ratio %.2f)"
              % (args.seconds, h, w, w - h, w / h if h else 0))
        print("peak RSS: headless %.1f MB, with the window %.1f MB" % (headless_rss, window_rss))
    finally:
        xvfb.kill()
        xvfb.wait()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
