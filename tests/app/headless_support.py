"""Shared pieces of the headless end-to-end tests: a private environment, free
loopback ports, test media made with sox/lame/twolame, the player run with a
script on standard input, and the decoder tool's output as the reference."""

import os
import queue
import shutil
import socket
import struct
import subprocess
import tempfile
import threading
import time
import unittest
import wave

BUILD = os.environ.get("LUMETRA_BUILD_DIR", os.path.join(os.path.dirname(__file__), "../../build"))
PLAYER = os.environ.get("LUMETRA_PLAYER", os.path.join(BUILD, "app", "lumetra"))
DECODE = os.environ.get("LUMETRA_DECODE", os.path.join(BUILD, "tools", "decode", "lumetra-decode"))
STATION = os.environ.get("LUMETRA_STATION", os.path.join(BUILD, "tools", "station", "lumetra-station"))
PRIMING = b"\0" * 1024
LAYER3 = os.environ.get("LUMETRA_LAYER3") == "1"
LIMIT = 120  # seconds before a run counts as hung


def need(*tools):
    missing = [t for t in tools if shutil.which(t) is None]
    if missing:
        raise unittest.SkipTest("missing tools: " + " ".join(missing))


def free_port(kind=socket.SOCK_STREAM):
    with socket.socket(socket.AF_INET, kind) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_listening(port, limit=20):
    deadline = time.monotonic() + limit
    while time.monotonic() < deadline:
        try:
            socket.create_connection(("127.0.0.1", port), 0.5).close()
            return True
        except OSError:
            time.sleep(0.05)
    return False


class Scratch:
    """A temporary folder with XDG places of its own."""

    def __init__(self):
        self.dir = tempfile.mkdtemp(prefix="lumetra-e2e-")
        self.env = dict(os.environ)
        # The player joins a session bus only where a test asks for one.
        self.env.pop("DBUS_SESSION_BUS_ADDRESS", None)
        for var, sub in (("XDG_CONFIG_HOME", "config"), ("XDG_DATA_HOME", "data"), ("XDG_RUNTIME_DIR", "runtime")):
            path = os.path.join(self.dir, sub)
            os.makedirs(path, mode=0o700)
            self.env[var] = path
        self.env["LUMETRA_DRIVES"] = os.path.join(self.dir, "drives")
        self.env["LUMETRA_CDROM"] = ""

    def path(self, name):
        return os.path.join(self.dir, name)

    def cleanup(self):
        shutil.rmtree(self.dir, ignore_errors=True)


def make_tone(scratch, name, rate, channels, seconds):
    wav = scratch.path(name + ".wav")
    subprocess.run(["sox", "-n", "-r", str(rate), "-c", str(channels), "-b", "16", wav, "synth", str(seconds),
                    "sine", "300-2000", "sine", "550", "vol", "0.6"], check=True, capture_output=True)
    return wav


def make_mpeg(scratch, name, encoder, rate, channels, kbps, seconds):
    """An MPEG file; returns its path."""
    wav = make_tone(scratch, name, rate, channels, seconds)
    out = scratch.path(name)
    if encoder == "lame":
        mode = "m" if channels == 1 else "j"
        subprocess.run(["lame", "--quiet", "-b", str(kbps), "--cbr", "-m", mode, "--resample", str(rate / 1000),
                        wav, out], check=True, capture_output=True)
    else:
        mode = ["-m", "m"] if channels == 1 else []
        subprocess.run(["twolame", "--quiet", "-b", str(kbps), *mode, wav, out], check=True, capture_output=True)
    return out


def read_wav(path):
    with wave.open(path, "rb") as w:
        return w.getframerate(), w.getnchannels(), w.readframes(w.getnframes())


def decoded(scratch, mpeg):
    """What the decoder tool makes of a file, playing every sample of every sound
    frame as the player does: rate, channels, PCM bytes."""
    out = mpeg + ".decoded.wav"
    subprocess.run([DECODE, "--no-gapless", mpeg, out], check=True, capture_output=True)
    return read_wav(out)


def engine_frames(path, kbps, rate, samples_per_frame):
    """Frames the engine plays: those the VBR header frame of lame (Info) counts,
    else while a whole frame fits in the length estimate file size x rate /
    ((kbps / 8) x 1000)."""
    with open(path, "rb") as f:
        head = f.read(64)
    at = head.find(b"Info")
    if at >= 0 and head[at + 7] & 1:
        return struct.unpack(">I", head[at + 8:at + 12])[0]
    total = os.path.getsize(path) * rate // ((kbps // 8) * 1000)
    return total // samples_per_frame


def played_at_least(seconds):
    """A position event at or past seconds: under load a second's event may be
    skipped, so waiting for an exact value could wait forever."""
    def seen(event):
        parts = event.split()
        return len(parts) == 3 and parts[0] == "position" and int(parts[1]) >= seconds
    return seen


class Player:
    """lumetra --headless (or --control) with commands written as the test goes;
    events read line by line by a thread, so none waits in a buffer unseen.
    An extra_env value of None removes that variable."""

    def __init__(self, scratch, audio, args=(), extra_env=None, mode="--headless"):
        env = dict(scratch.env)
        env["LUMETRA_AUDIO"] = audio
        for key, value in (extra_env or {}).items():
            if value is None:
                env.pop(key, None)
            else:
                env[key] = value
        self.proc = subprocess.Popen([PLAYER, mode, *args], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE, env=env, text=True, bufsize=1)
        self.events = []
        self.stderr = ""
        self._lines = queue.Queue()
        self._ended = False
        self._err = []
        threading.Thread(target=self._read, daemon=True).start()
        self._err_thread = threading.Thread(target=lambda: self._err.extend(self.proc.stderr), daemon=True)
        self._err_thread.start()

    def _read(self):
        for line in self.proc.stdout:
            self._lines.put(line.rstrip("\n"))
        self._lines.put(None)

    def _next(self, timeout):
        """The next event (also kept in events), or None at the end of the output or on time-out."""
        if self._ended:
            return None
        try:
            line = self._lines.get(timeout=max(timeout, 0.001))
        except queue.Empty:
            return None
        if line is None:
            self._ended = True
            return None
        self.events.append(line)
        return line

    def send(self, line):
        self.proc.stdin.write(line + "\n")
        self.proc.stdin.flush()

    def wait_for(self, predicate, limit=LIMIT, since=0):
        """Reads events until one from index since on satisfies predicate; returns it."""
        for event in self.events[since:]:
            if predicate(event):
                return event
        deadline = time.monotonic() + limit
        while time.monotonic() < deadline and not self._ended:
            line = self._next(deadline - time.monotonic())
            if line is not None and predicate(line):
                return line
        raise AssertionError("event not seen; events so far: %r" % self.events)

    def quiet_for(self, seconds):
        """Reads events until none arrives for seconds (or the output ends)."""
        while self._next(seconds) is not None:
            pass

    def rows_after(self, command, limit=20):
        """Sends a command and returns the row events it prints (ended by a quiet moment)."""
        since = len(self.events)
        self.send(command)
        self.wait_for(lambda e: e.startswith(("row ", "error")), limit, since)
        self.quiet_for(0.7)
        return [e for e in self.events[since:] if e.startswith("row ")]

    def finish(self, limit=LIMIT):
        """Ends the input and waits for the exit; returns (status, events)."""
        try:
            self.proc.stdin.close()
        except BrokenPipeError:
            pass
        try:
            self.proc.wait(timeout=limit)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            raise AssertionError("player did not exit; events: %r" % self.events)
        while self._next(10) is not None:
            pass
        self._err_thread.join(10)
        self.stderr = "".join(self._err)
        return self.proc.returncode, self.events


def run_script(scratch, audio, lines, args=(), extra_env=None):
    player = Player(scratch, audio, args, extra_env)
    for line in lines:
        player.send(line)
    return player.finish()
