"""A private PulseAudio server for the player's end-to-end tests, set up the way
the sound layer's own tests set theirs up (tests/platform/audio/pulse_server.h):
a server on a socket in a temporary folder, a null sink in the wanted format made
the default, and parec recording the sink's monitor raw."""

import os
import shutil
import subprocess
import time

# The lowest latency asked of the sink, so the sink's own: a cork takes back at
# most this much of what the sink had mixed, and the monitor may repeat it.
RECORDER_LATENCY_MS = 10


class PulseServer:
    def __init__(self, folder, rate, channels):
        self.folder = folder
        self.env = dict(os.environ)
        for var, sub in (("HOME", "home"), ("XDG_CONFIG_HOME", "pconfig"), ("XDG_RUNTIME_DIR", "pruntime")):
            path = os.path.join(folder, sub)
            os.makedirs(path, mode=0o700, exist_ok=True)
            self.env[var] = path
        self.socket = os.path.join(folder, "native")
        self.env["PULSE_SERVER"] = "unix:" + self.socket
        self.env.pop("PULSE_SINK", None)
        script = os.path.join(folder, "server.pa")
        with open(script, "w") as f:
            f.write("load-module module-native-protocol-unix auth-anonymous=1 socket=%s\n" % self.socket)
        self.server = subprocess.Popen(
            # No shared memory: its memfd block references can abort the server (pulseaudio issue 824).
            ["pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--system=no", "--use-pid-file=no",
             "--disallow-module-loading=no", "--disable-shm=yes", "-F", script, "--log-target=file:" + os.path.join(folder, "server.log")],
            env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.recorder = None
        for _ in range(100):
            if self.run("pactl info"):
                break
            if self.server.poll() is not None:
                raise RuntimeError("pulseaudio did not start")
            time.sleep(0.1)
        else:
            raise RuntimeError("pulseaudio does not answer")
        ok = self.run("pactl load-module module-null-sink sink_name=rec format=s16le rate=%d channels=%d"
                      % (rate, channels)) and self.run("pactl set-default-sink rec")
        if not ok:
            raise RuntimeError("no null sink")
        self.format = (rate, channels)

    def run(self, command):
        return subprocess.run(command, shell=True, env=self.env, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL).returncode == 0

    def start_recording(self, path):
        rate, channels = self.format
        self.recording = path
        self.recorder = subprocess.Popen(
            ["parec", "--raw", "--device=rec.monitor", "--format=s16le", "--rate=%d" % rate,
             "--channels=%d" % channels, "--latency-msec=%d" % RECORDER_LATENCY_MS, path],
            env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for _ in range(100):
            if self.run("pactl list short source-outputs | grep -q ."):
                return
            time.sleep(0.05)
        raise RuntimeError("parec did not start")

    def stop_recording(self):
        time.sleep(0.25)
        if self.recorder:
            self.recorder.terminate()
            self.recorder.wait()
            self.recorder = None
        with open(self.recording, "rb") as f:
            return f.read()

    def close(self):
        if self.recorder:
            self.recorder.kill()
            self.recorder.wait()
        self.server.terminate()
        try:
            self.server.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.server.kill()
            self.server.wait()


def available():
    return all(shutil.which(t) for t in ("pulseaudio", "pactl", "parec"))
