#!/usr/bin/env python3
"""CPU time and peak memory of the player playing MP3 files, against mpg123
doing the same, measured in the same run.

  engine_bench.py [--build BUILD_DIR]

1. A 60-second 128 kbit/s joint-stereo MP3 (made with lame) is played by
   `lumetra --headless` through the `null` backend, which consumes in real time,
   and decoded by `mpg123 -o null`. Printed: CPU time (user + system) and peak
   resident memory of each, and the CPU ratio (goal: at most 1).
2. A one-hour MP3 (the 60-second file's frames repeated 60 times) is played for
   its first 3 seconds, then sought to 10 seconds before its end and played to
   the end. Peak resident memory over the whole run is printed (goal: under
   30 MB): memory does not grow with the length of the file, only the
   three-second queue and the decoder are held, so the start and the end of a
   long file bound it."""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time


def peak_rss_mb(pid):
    """The process's resident high-water mark (kept per program image, so what the
    forking parent used before exec does not count)."""
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1]) / 1024.0
    except OSError:
        pass
    return 0.0


def thread_cpu(pid, seen):
    """Records the CPU seconds of every thread of a running process into seen
    (thread id -> (name, seconds)), keeping threads that have ended."""
    ticks = os.sysconf("SC_CLK_TCK")
    try:
        for tid in os.listdir("/proc/%d/task" % pid):
            with open("/proc/%d/task/%s/comm" % (pid, tid)) as f:
                name = f.read().strip()
            with open("/proc/%d/task/%s/stat" % (pid, tid)) as f:
                fields = f.read().rsplit(")", 1)[1].split()
            seen[tid] = (name, (int(fields[11]) + int(fields[12])) / ticks)
    except OSError:
        pass


# GNU time reaps the program and reports its ru_maxrss. The rusage of a program
# started straight from here is no good for memory: the kernel carries this
# Python's own peak across the exec into it. Sampling /proc instead misses a
# program that ends at once (an idle start and quit).
GNU_TIME = "/usr/bin/time"


def child_usage(cmd, env=None, stdin_lines=None, threads=None):
    """Runs cmd, feeding it stdin_lines (a float is a pause in seconds); returns
    (cpu seconds, peak RSS in MB, wall seconds)."""
    if not os.access(GNU_TIME, os.X_OK):
        sys.exit("missing tool: %s (the time package)" % GNU_TIME)
    with tempfile.NamedTemporaryFile("r", prefix="lumetra-bench-rss-") as report:
        start = time.perf_counter()
        proc = subprocess.Popen([GNU_TIME, "-f", "%M", "-o", report.name, *cmd], env=env,
                                stdin=subprocess.PIPE if stdin_lines is not None else subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, text=True)
        if stdin_lines is not None:
            for line in stdin_lines:
                if isinstance(line, float):
                    time.sleep(line)
                    continue
                proc.stdin.write(line + "\n")
                proc.stdin.flush()
            proc.stdin.close()
        while True:
            if threads is not None:
                for program in program_pids(proc.pid):
                    thread_cpu(program, threads)
            # time's own rusage holds the program's, which it has reaped.
            pid, status, usage = os.wait4(proc.pid, os.WNOHANG)
            if pid:
                break
            time.sleep(0.005)
        wall = time.perf_counter() - start
        if status != 0:
            sys.exit("%s failed with status %d" % (cmd[0], status))
        peak = int(report.read().split()[-1]) / 1024.0
    return usage.ru_utime + usage.ru_stime, peak, wall


def program_pids(time_pid):
    """The program that time runs (its child), once started."""
    try:
        with open("/proc/%d/task/%d/children" % (time_pid, time_pid)) as f:
            return [int(pid) for pid in f.read().split()]
    except OSError:
        return []


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=os.path.join(os.path.dirname(__file__), "../../build"))
    args = parser.parse_args()
    player = os.path.join(args.build, "app", "lumetra")
    for tool in ("sox", "lame", "mpg123"):
        if not shutil.which(tool):
            sys.exit("missing tool: " + tool)
    with tempfile.TemporaryDirectory(prefix="lumetra-bench-") as tmp:
        env = dict(os.environ)
        for var in ("XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"):
            os.makedirs(os.path.join(tmp, var), mode=0o700)
            env[var] = os.path.join(tmp, var)
        env["LUMETRA_AUDIO"] = "null"
        # The library is built at the first start: from this empty folder, not the drives.
        env["LUMETRA_DRIVES"] = os.path.join(tmp, "XDG_DATA_HOME")
        env["LUMETRA_CDROM"] = ""
        wav = os.path.join(tmp, "a.wav")
        mp3 = os.path.join(tmp, "a.mp3")
        subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth", "60", "pinknoise",
                        "sine", "220-3000", "vol", "0.4"], check=True)
        subprocess.run(["lame", "--quiet", "-t", "-b", "128", "--cbr", "-m", "j", wav, mp3], check=True)

        print("60-second MP3, 128 kbit/s joint stereo, 44.1 kHz")
        threads = {}
        ours = child_usage([player, "--headless"], env, ["play " + mp3], threads)
        decode = child_usage([os.path.join(args.build, "tools", "decode", "lumetra-decode"), mp3,
                              os.path.join(tmp, "decoded.wav")])
        # This mpg123 may call its discarding output "dummy" rather than "null".
        out = "null"
        if subprocess.run(["mpg123", "-q", "-o", "null", "-n", "1", mp3], stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL).returncode != 0:
            out = "dummy"
        theirs = child_usage(["mpg123", "-q", "-o", out, mp3])
        print("  lumetra (null backend, real time)  cpu %6.2f s  peak rss %6.1f MB  wall %5.1f s" % ours)
        print("  mpg123 -o %-5s                     cpu %6.2f s  peak rss %6.1f MB  wall %5.1f s" % ((out,) + theirs))
        print("  lumetra-decode (to a WAV file)      cpu %6.2f s  peak rss %6.1f MB  wall %5.1f s" % decode)
        print("  cpu ratio lumetra / mpg123: %.2f (goal: at most 1)" % (ours[0] / max(theirs[0], 1e-6)))
        print("  cpu ratio lumetra / lumetra-decode: %.2f (what playing adds to decoding)"
              % (ours[0] / max(decode[0], 1e-6)))
        by_name = {}
        for name, cpu in threads.values():
            by_name[name] = by_name.get(name, 0.0) + cpu
        print("  lumetra cpu by thread (\"lumetra\": main, Qt and sound-device threads): " +
              ", ".join("%s %.2f s" % kv for kv in sorted(by_name.items(), key=lambda kv: -kv[1])))

        hour = os.path.join(tmp, "hour.mp3")
        with open(mp3, "rb") as f:
            data = f.read()
        with open(hour, "wb") as f:
            for _ in range(60):
                f.write(data)
        size_mb = os.path.getsize(hour) / 1e6
        print("one-hour MP3 (%.1f MB): the first 3 s, then seek 3590 s and play to the end" % size_mb)
        usage = child_usage([player, "--headless"], env, ["volume 65535", "play " + hour, 3.0, "seek 3590"])
        print("  lumetra peak rss %.1f MB (goal: under 30 MB), cpu %.2f s, wall %.1f s"
              % (usage[1], usage[0], usage[2]))


if __name__ == "__main__":
    main()
