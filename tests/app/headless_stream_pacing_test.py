"""A stream server that sends as fast as it can is held back: after 10 s of
playing, the stream file holds less than two minutes of sound. A reader of the
events that goes away leaves the player to its orderly quit."""

import os
import socket
import subprocess
import sys
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from headless_support import PLAYER, Player, Scratch, make_mpeg, need  # noqa

KBPS = 128


class StreamPacing(unittest.TestCase):
    def setUp(self):
        need("sox", "twolame")
        self.scratch = Scratch()

    def tearDown(self):
        self.scratch.cleanup()

    def fast_stream(self):
        """A playlist naming a server that sends the same file over and over."""
        with open(make_mpeg(self.scratch, "s.mp2", "twolame", 48000, 2, KBPS, 10), "rb") as f:
            audio = f.read()
        server = socket.socket()
        server.bind(("127.0.0.1", 0))
        server.listen(1)
        self.addCleanup(server.close)

        def serve():
            conn, _ = server.accept()
            conn.recv(4096)
            try:
                while True:
                    conn.sendall(audio)
            except OSError:
                pass

        threading.Thread(target=serve, daemon=True).start()
        playlist = self.scratch.path("s.m3u")
        with open(playlist, "w") as f:
            f.write("http://127.0.0.1:%d/\n" % server.getsockname()[1])
        return playlist

    def stream_file(self):
        return os.path.join(self.scratch.env["XDG_DATA_HOME"], "lumetra", " Streaming MP3")

    def test_fast_server_is_held_back(self):
        playlist = self.fast_stream()
        player = Player(self.scratch, "null")
        player.send("play " + playlist)
        player.wait_for(lambda e: e.startswith("state playing"))
        time.sleep(10)
        size = os.path.getsize(self.stream_file())
        player.send("quit")
        player.finish()
        self.assertLess(size, 120 * KBPS * 125)

    def test_reader_gone_then_quit_shuts_down_in_order(self):
        playlist = self.fast_stream()
        env = dict(self.scratch.env, LUMETRA_AUDIO="null")
        proc = subprocess.Popen([PLAYER, "--headless"], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL, env=env, text=True)
        proc.stdin.write("play %s\n" % playlist)
        proc.stdin.flush()
        for line in proc.stdout:
            if line.startswith("state playing"):
                break
        proc.stdout.close()
        time.sleep(1.5)  # a position event or two meet the closed pipe
        proc.stdin.write("quit\n")
        proc.stdin.close()
        self.assertEqual(proc.wait(60), 0)
        self.assertFalse(os.path.exists(self.stream_file()))


if __name__ == "__main__":
    unittest.main()
