#!/usr/bin/env python3
"""Hand-over from exec to exit: a headless player runs; a later plain start with
a file (`lumetra song.wma`, which the running player accepts and ignores, so
every round does the same work) is timed from the moment it is started until it
has exited. Prints the median, quartiles and CPU seconds of the later start,
beside `lumetra --version` (exec, load and exit alone) as the floor.

  hand_over_bench.py [--build DIR] [--rounds N]"""
import argparse
import os
import resource
import shutil
import statistics
import subprocess
import tempfile
import time


def timed(cmd, env):
    """Wall seconds from exec to exit, and the CPU seconds the child used."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    status = subprocess.run(cmd, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    if status != 0:
        raise SystemExit("%s exited %d" % (" ".join(cmd), status))
    return wall, cpu


def describe(name, samples):
    walls = sorted(s[0] * 1000 for s in samples)
    cpus = [s[1] * 1000 for s in samples]
    q = statistics.quantiles(walls, n=4)
    print("%-28s median %6.1f ms  (quartiles %.1f .. %.1f)  CPU median %5.1f ms" %
          (name, statistics.median(walls), q[0], q[2], statistics.median(cpus)))
    return statistics.median(walls)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=os.path.join(os.path.dirname(__file__), "../../build"))
    parser.add_argument("--rounds", type=int, default=40)
    args = parser.parse_args()
    player = os.path.join(args.build, "app", "lumetra")
    work = tempfile.mkdtemp(prefix="lumetra-hand-over-bench-")
    try:
        env = dict(os.environ, LUMETRA_AUDIO="null", LUMETRA_DRIVES=work, LUMETRA_CDROM="",
                   DISPLAY="", WAYLAND_DISPLAY="")
        for var in ("XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"):
            env[var] = os.path.join(work, var.lower())
            os.makedirs(env[var], mode=0o700)
        running = subprocess.Popen([player, "--headless"], env=env, stdin=subprocess.PIPE,
                                   stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        socket_path = os.path.join(env["XDG_RUNTIME_DIR"], "lumetra.socket")
        deadline = time.monotonic() + 30
        while not os.path.exists(socket_path) and time.monotonic() < deadline:
            time.sleep(0.05)
        song = os.path.join(work, "song.wma")
        floor = [timed([player, "--version"], env) for _ in range(args.rounds)]
        hand_over = [timed([player, song], env) for _ in range(args.rounds)]
        running.stdin.write("quit\n")
        running.stdin.flush()
        events = running.communicate(timeout=30)[0].split("\n")
        accepted = sum(1 for e in events if e == "handover " + song)
        print("load average %.2f; %d rounds, %d hand-overs accepted" % (os.getloadavg()[0], args.rounds, accepted))
        base = describe("lumetra --version", floor)
        median = describe("hand-over (exec to exit)", hand_over)
        print("hand-over / --version: %.2f; goal: median < 150 ms: %s" %
              (median / base, "met" if median < 150 else "NOT met"))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
