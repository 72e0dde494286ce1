"""Odd paths given as media: a FIFO and a folder are refused at once as not regular
files (the player and the decoder tool alike), an overlong input line is refused
whole, a free-format stream plays from its first frame to its end, and quit or
Ctrl-C is answered while a fetch hangs. (A file from which no frame decodes is
covered by the engine's own test with a decoder that yields none.)"""

import os
import shutil
import signal
import socket
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from headless_support import DECODE, PRIMING, Player, Scratch, decoded, make_tone, need, read_wav, run_script  # noqa


class OddFiles(unittest.TestCase):
    def setUp(self):
        self.scratch = Scratch()

    def tearDown(self):
        self.scratch.cleanup()

    def test_fifo_folder_and_free_format_file(self):
        need("sox", "lame")
        fifo, folder = self.scratch.path("a.mp3"), self.scratch.path("b.mp3")
        os.mkfifo(fifo)
        os.mkdir(folder)
        free = self.scratch.path("free.mp3")
        subprocess.run(["lame", "--quiet", "--freeformat", "-b", "320", make_tone(self.scratch, "t", 44100, 2, 3), free],
                       check=True)
        status, events = run_script(self.scratch, "null", ["play " + fifo, "add " + folder, "x" * 70000,
                                                           "play " + free, "seek nan"], args=[fifo])
        self.assertEqual(status, 1)  # the argument could not be played
        self.assertEqual(events[:4], ["error not a regular file: " + fifo] * 2 +
                         ["error not a regular file: " + folder, "error line too long (over 65536 bytes)"])
        self.assertIn("item free.mp3|n/a|320|44100|4", events)  # bit rate measured from the frame length
        self.assertIn("error bad seek time: nan", events)  # it had crashed the seek through the VBR table
        self.assertEqual(events[-1], "end")
        tool = subprocess.run([DECODE, fifo, self.scratch.path("out.wav")], capture_output=True, text=True, timeout=60)
        self.assertEqual((tool.returncode, tool.stderr), (1, "lumetra-decode: not a regular file: %s\n" % fifo))

    def test_files_past_two_and_four_gib(self):
        """Sparse files that start with 3 s of 128 kbit/s sound: the length is the one
        their size gives, and the start plays as the decoder tool has it."""
        need("sox", "lame")
        small = self.scratch.path("small.mp3")
        subprocess.run(["lame", "--quiet", "-t", "-b", "128", make_tone(self.scratch, "t", 44100, 2, 3), small],
                       check=True)
        _, _, ref = decoded(self.scratch, small)
        for size in (2**31 + 1000, 2**32 + 1000):
            path, out = self.scratch.path("%d.mp3" % size), self.scratch.path("%d.wav" % size)
            shutil.copy(small, path)
            os.truncate(path, size)
            status, events = run_script(self.scratch, "file-fast:" + out, ["volume 65535", "play " + path, "status"])
            total = [e.split()[2] for e in events if e.startswith("position ")]
            self.assertEqual((status, total, events[-1]), (0, [str(size // 16000)], "end"), events)
            self.assertEqual(read_wav(out)[2][len(PRIMING):len(PRIMING) + len(ref)], ref)

    def test_quit_or_ctrl_c_while_a_fetch_waits_for_its_server(self):
        for end in ("quit", signal.SIGINT):
            with self.subTest(end=end), socket.socket() as server:
                server.bind(("127.0.0.1", 0))
                server.listen(4)  # connections complete but nothing is ever answered
                env = {"LUMETRA_DIRECTORY": "127.0.0.1:%d" % server.getsockname()[1],
                       "LUMETRA_HTTP_TIMEOUT_MS": "600000"}
                player = Player(self.scratch, "null", extra_env=env)
                player.send("directory")
                player.send("status")
                player.send("links")  # replaces the directory fetch, whose rows are never printed
                player.wait_for(lambda e: e.startswith("item "))
                if end == "quit":
                    player.send(end)
                else:
                    player.proc.send_signal(end)
                status, events = player.finish(limit=20)
                self.assertEqual(status, 0)
                self.assertFalse([e for e in events if e.startswith("row ")], events)

if __name__ == "__main__":
    unittest.main()
