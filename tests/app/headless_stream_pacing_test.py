"""A stream server that sends as fast as it can is held back: after 10 s of
playing, the stream file holds less than two minutes of sound. Nobody reads the
events meanwhile: that must not kill the player. SIGTERM then shuts down in order
as quit does: the file goes and the playlist is saved. A FIFO left under the
stream file's name is replaced, not written into."""

import os
import signal
import socket
import subprocess
import sys
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from headless_support import PLAYER, Scratch, make_mpeg, need  # noqa

KBPS = 128


class StreamPacing(unittest.TestCase):
    def setUp(self):
        need("sox", "twolame")
        self.scratch = Scratch()

    def tearDown(self):
        self.scratch.cleanup()

    def test_fast_server_is_held_back(self):
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
        stream = os.path.join(self.scratch.env["XDG_DATA_HOME"], "lumetra", " Streaming MP3")
        os.makedirs(os.path.dirname(stream), exist_ok=True)
        os.mkfifo(stream)
        player = subprocess.Popen([PLAYER, "--headless"], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True,
                                  stderr=subprocess.DEVNULL, env=dict(self.scratch.env, LUMETRA_AUDIO="null"))
        player.stdin.write("play %s\n" % playlist)
        player.stdin.flush()
        next(line for line in player.stdout if line.startswith("state playing"))
        player.stdout.close()
        time.sleep(10)
        self.assertTrue(os.path.isfile(stream))
        size = os.path.getsize(stream)
        player.send_signal(signal.SIGTERM)
        self.assertEqual(player.wait(60), 0)
        self.assertFalse(os.path.exists(stream))
        self.assertTrue(os.path.exists(os.path.join(os.path.dirname(stream), "lastplay.lst")))
        self.assertLess(size, 120 * KBPS * 125)


if __name__ == "__main__":
    unittest.main()
