#!/usr/bin/env python3
"""Two real players on one runtime folder. A later plain start hands its file to
the running player (headless or with its window) and exits 0; the running one
plays it, tunes in or ignores it by its ending. A held hand-over makes the later
start wait and ask again; hostile peers on the socket change nothing; quit and a
new start bring the playlist back; /q ends at once; a killed player's lock and
socket keep no one out."""
import os
import select
import signal
import socket
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import headless_support as hs  # noqa: E402


class Running(hs.Player):
    """The first player: --headless, or --control with its window off-screen."""

    def __init__(self, scratch, args, front_end="--headless"):
        super().__init__(scratch, "null", args, {"QT_QPA_PLATFORM": "offscreen", "LUMETRA_DIRECTORY": "127.0.0.1:9"},
                         front_end)
        self.socket = os.path.join(scratch.env["XDG_RUNTIME_DIR"], "lumetra.socket")
        self.wait_for(lambda e: e == "state playing")

    def status_total(self):
        """The total seconds of what plays now."""
        since = len(self.events)
        self.send("status")
        return int(self.wait_for(lambda e: e.startswith("position "), since=since).split()[2])

    def rows(self):
        since = len(self.events)
        self.send("list")
        self.wait_for(lambda e: e.startswith("entries "), since=since)
        return [e.split(" ", 2)[2] for e in self.events[since:] if e.startswith("entry ")]


def second(scratch, *args, **popen):
    env = dict(scratch.env, LUMETRA_AUDIO="null", DISPLAY="", WAYLAND_DISPLAY="", QT_QPA_PLATFORM="")
    return subprocess.Popen([hs.PLAYER, *args], env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            text=True, **popen)


def request(path_bytes, length=None):
    length = len(path_bytes) if length is None else length
    return b"LUMETRA1" + length.to_bytes(4, "little") + path_bytes


def talk(socket_path, data, hang_up=True):
    """Sends raw bytes to the running player; returns the socket (held) or its answer."""
    peer = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    peer.connect(socket_path)
    try:
        peer.sendall(data)
    except BrokenPipeError:
        pass  # answered busy at once; the answer is still there to read
    if not hang_up:
        return peer
    peer.settimeout(10)
    try:
        return peer.recv(1)
    except OSError:
        return b""
    finally:
        peer.close()


class SingleInstanceTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        hs.need("lame", "sox")
        cls.media = hs.Scratch()
        cls.long = hs.make_mpeg(cls.media, "long.mp3", "lame", 44100, 2, 128, 60)
        cls.short = hs.make_mpeg(cls.media, "short song.mp3", "lame", 44100, 2, 128, 7)
        cls.wma = cls.media.path("other.wma")
        cls.rdl = cls.media.path("station.rdl")
        with open(cls.rdl, "w") as f:
            f.write("127.0.0.1:%d From File\n" % hs.free_port(socket.SOCK_DGRAM))

    @classmethod
    def tearDownClass(cls):
        cls.media.cleanup()

    def setUp(self):
        self.scratch = hs.Scratch()
        self.addCleanup(self.scratch.cleanup)

    def start(self, front_end="--headless"):
        first = Running(self.scratch, [self.long], front_end)
        self.addCleanup(stop, first.proc)
        return first

    def test_hand_over_by_ending(self):
        # front end, argument, then what the running player shows afterwards.
        cases = [
            ("--headless", self.short, "plays"),
            ("--control", self.short, "plays"),
            ("--headless", self.wma, "ignores"),
            ("--headless", self.rdl, "tunes in"),
            ("--control", self.rdl, "tunes in"),
        ]
        for front_end, path, effect in cases:
            with self.subTest(front_end=front_end, path=os.path.basename(path)):
                self.setUp()
                first = self.start(front_end)
                later = second(self.scratch, path)
                _, err = later.communicate(timeout=30)
                self.assertEqual(later.returncode, 0, err)
                first.wait_for(lambda e: e == "handover " + path)
                if effect == "plays":
                    first.wait_for(lambda e: e.startswith("item short song.mp3|"))
                    self.assertEqual(first.status_total(), 7)
                    self.assertEqual(first.rows(), [self.long, self.short])
                elif effect == "ignores":
                    self.assertEqual(first.status_total(), 60)
                    self.assertEqual(first.rows(), [self.long])
                else:
                    first.wait_for(lambda e: e.startswith("radio "))
                    if front_end == "--control":
                        self.assertIn("mode 1", first.events)
                first.send("quit")
                self.assertEqual(first.finish()[0], 0)

    def test_busy_then_accepted(self):
        first = self.start()
        # A peer that has begun a request and stalls holds the hand-over; the
        # running player drops it after a while, so it is taken up again until the
        # later start has been answered busy at least once.
        told = ""
        for _ in range(3):
            held = talk(first.socket, b"LUMETRA1", hang_up=False)
            later = second(self.scratch, self.short)
            while "busy" not in told and later.poll() is None:
                if select.select([later.stderr], [], [], 0.1)[0]:
                    told += os.read(later.stderr.fileno(), 4096).decode()
                if select.select([held], [], [], 0)[0]:
                    held.close()
                    held = talk(first.socket, b"LUMETRA1", hang_up=False)
            held.close()
            later.communicate(timeout=60)
            self.assertEqual(later.returncode, 0)
            first.wait_for(lambda e: e.startswith("item short song.mp3|"))
            if "busy" in told:
                break
        self.assertIn("busy", told)

    def test_hostile_peers(self):
        first = self.start()
        long_name = b"/" + b"x" * 4089 + b"\n\xff.mp3"
        self.assertEqual(len(long_name), 4096)
        self.assertEqual(talk(first.socket, request(long_name)), b"A")
        first.wait_for(lambda e: e.startswith("error ") and "/xxxx" in e)
        for data in (request(b"", length=4097), request(b"a" * 5000, length=5000), b"GET / HTTP/1.0\r\n\r\n",
                     request(b"/a.mp3") + b"trailing"):
            self.assertEqual(talk(first.socket, data), b"")
        silent = talk(first.socket, b"", hang_up=False)
        self.assertEqual(talk(first.socket, request(b"/nothing.wma")), b"B")
        silent.close()
        time.sleep(0.1)
        later = second(self.scratch, self.short)
        later.communicate(timeout=60)
        self.assertEqual(later.returncode, 0)
        first.wait_for(lambda e: e.startswith("item short song.mp3|"))

    def test_restart_restores_rows_and_quit_option(self):
        first = self.start()
        first.send("add " + self.short)
        first.send("quit")
        self.assertEqual(first.finish()[0], 0)
        quit_option = second(self.scratch, "/q")
        self.assertEqual(quit_option.communicate(timeout=30), ("", ""))
        self.assertEqual(quit_option.returncode, 0)
        again = hs.Player(self.scratch, "null")
        self.assertEqual(Running.rows(again), [self.long, self.short])
        # Killed, it leaves its lock file and socket; neither keeps the next
        # player from taking hand-overs.
        again.proc.send_signal(signal.SIGKILL)
        stop(again.proc)
        fresh = self.start()
        later = second(self.scratch, self.short)
        later.communicate(timeout=60)
        self.assertEqual(later.returncode, 0)
        fresh.wait_for(lambda e: e.startswith("item short song.mp3|"))

    def test_unusable_runtime_folder(self):
        not_a_folder = self.scratch.path("file")
        open(not_a_folder, "w").close()
        env = dict(XDG_RUNTIME_DIR=not_a_folder)
        player = hs.Player(self.scratch, "null", [self.short], env)
        status, events = player.finish()
        self.assertEqual(status, 0)
        self.assertIn("end", events)
        self.assertIn("runs on its own", player.stderr)


def stop(proc):
    if proc.poll() is None:
        proc.kill()
    proc.wait()


if __name__ == "__main__":
    unittest.main()
