"""The command line and the prompt as a user meets them: exit statuses of the player
and the tools, feedback events, and a station address argument tuning in against
lumetra-station on loopback."""

import os
import socket
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from headless_support import DECODE, PLAYER, Player, Scratch, free_port, make_tone, need, run_script  # noqa: E402

STATION = os.environ.get("LUMETRA_STATION", "")
CODEC = os.environ.get("LUMETRA_RADIO_CODEC", "")


class ExitStatus(unittest.TestCase):
    def setUp(self):
        self.scratch = Scratch()

    def tearDown(self):
        self.scratch.cleanup()

    def run_tool(self, args):
        return subprocess.run(args, stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=120,
                              env=dict(self.scratch.env, LUMETRA_AUDIO="null"))

    def test_options_and_arguments(self):
        need("sox")
        text = self.scratch.path("notes.mp3")
        with open(text, "w") as f:
            f.write("not audio at all\n" * 200)
        wav = make_tone(self.scratch, "tone", 44100, 2, 1)
        mid = self.scratch.path("song.mid")
        with open(mid, "wb") as f:
            f.write(b"MThd\0\0\0\6\0\0\0\1\0\x60" + b"\xff\xf3" * 700)
        missing = self.scratch.path("missing.mp3")
        cases = [  # arguments, status, text on standard output (or error), where
            ([PLAYER, "--help"], 0, "LUMETRA_AUDIO", "out"),
            ([PLAYER, "-h"], 0, "--headless", "out"),
            ([PLAYER, "--version"], 0, "Lumetra Media Player 1.31\n", "out"),
            ([PLAYER, "--bogus"], 2, "unknown option: --bogus", "err"),
            ([PLAYER, "--headless", "a.mp3", "b.mp3"], 2, "one file or address", "err"),
            ([PLAYER, "--headless", missing], 1, "error no such file: " + missing, "out"),
            ([PLAYER, "--headless", text], 1, "error not playable: " + text, "out"),
            ([PLAYER, "--headless", "/q"], 0, "", "out"),
            ([DECODE, "--help"], 0, "Usage: lumetra-decode", "out"),
            ([DECODE, "--version"], 0, "lumetra-decode (Lumetra Media Player) 1.31", "out"),
            ([DECODE], 2, "Usage:", "err"),
            ([DECODE, "--bogus", "x"], 2, "unknown option", "err"),
            ([DECODE, missing, self.scratch.path("o.wav")], 1, "no such file", "err"),
            ([DECODE, wav, self.scratch.path("o.wav")], 1, "a WAV file, not MPEG audio", "err"),
            ([DECODE, mid, self.scratch.path("o.wav")], 1, "a MIDI file, not MPEG audio", "err"),
        ]
        if CODEC:
            cases += [([CODEC, "--help"], 0, "Usage: lumetra-radio-codec", "out"),
                      ([CODEC, "--version"], 0, "(Lumetra Media Player) 1.31", "out"),
                      ([CODEC, "transcode", "a", "b"], 2, "unknown mode", "err")]
        if STATION:
            cases += [([STATION, "--help"], 0, "usage: lumetra-station", "out"),
                      ([STATION, "--version"], 0, "(Lumetra Media Player) 1.31", "out"),
                      ([STATION, "--bogus"], 2, "lumetra-station:", "err")]
        for args, status, text, where in cases:
            with self.subTest(args=args[1:]):
                done = self.run_tool(args)
                self.assertEqual(done.returncode, status, done.stderr)
                self.assertIn(text, done.stdout if where == "out" else done.stderr)
                if status == 2:
                    self.assertEqual(done.stdout, "")
        self.assertFalse(os.path.exists(self.scratch.path("o.wav")), "a refused input still wrote a file")


class Feedback(unittest.TestCase):
    def setUp(self):
        self.scratch = Scratch()

    def tearDown(self):
        self.scratch.cleanup()

    def test_commands_report_what_they_changed(self):
        status, events = run_script(self.scratch, "null", [
            "volume", "volume 1000", "mute", "mute", "repeat", "shuffle", "proxy",
            "proxy 127.0.0.1 8080 alice s3cret words", "radio", "radio nonsense", "radio 300.1.2.3:5",
            "radio-stop", "frobnicate now", "seek x", "volume 70000", "seek 3", "status", "help", "q", "status"])
        self.assertEqual(status, 0)
        self.assertEqual(events, [
            "error usage: volume N (0 to 65535)", "volume 1000", "mute 1", "mute 0", "repeat 1",
            "shuffle 1", "repeat 0",
            "error usage: proxy SERVER PORT USER PASSWORD (SERVER - for none)", "proxy 127.0.0.1 8080 alice",
            "error usage: radio ADDRESS [NAME] (ADDRESS as 127.0.0.1:3456)",
            "error not a station address (a.b.c.d:PORT, localhost:PORT or [::1]:PORT): nonsense",
            "error not a station address (a.b.c.d:PORT, localhost:PORT or [::1]:PORT): 300.1.2.3:5",
            "radio stopped", "error unknown command: frobnicate now", "error bad seek time: x",
            "error bad volume: 70000", "error nothing loaded to seek", "state idle", "position 0 0", "item --||0|0|0", "volume 1000", "mute 0", "shuffle 1", "repeat 0",
            "proxy 127.0.0.1 8080 alice"] + [e for e in events if e.startswith("help ")])
        self.assertIn("help seek SECONDS: play the current item from that time", events)
        self.assertFalse([e for e in events if "s3cret" in e])


class StationAddress(unittest.TestCase):
    def setUp(self):
        if not STATION:
            self.skipTest("lumetra-station is not built")
        self.scratch = Scratch()
        self.port = free_port(socket.SOCK_DGRAM)
        self.station = subprocess.Popen([STATION, "--port", str(self.port), "--no-directory"],
                                        stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                        stderr=subprocess.DEVNULL, text=True)
        for line in self.station.stdout:
            if line.strip() == "ready":
                break

    def tearDown(self):
        self.station.kill()
        self.station.wait()
        self.scratch.cleanup()

    def test_address_argument_tunes_in(self):
        player = Player(self.scratch, "null", args=["127.0.0.1:%d" % self.port])
        player.wait_for(lambda e: e.startswith("title Radio Lumetra ("))
        since = len(player.events)
        player.send("status")
        player.wait_for(lambda e: e.startswith("radio "), since=since)
        self.assertIn("station Lumetra Demo", player.events[since:])
        player.send("quit")
        status, events = player.finish()
        self.assertEqual(status, 0, events)

    def test_unanswered_address_ends_with_status_1(self):
        silent = free_port(socket.SOCK_DGRAM)
        status, events = run_script(self.scratch, "null", [], args=["127.0.0.1:%d" % silent])
        self.assertEqual(status, 1, events)
        self.assertIn("radio Station has too many listeners sr", events)


if __name__ == "__main__":
    unittest.main()
