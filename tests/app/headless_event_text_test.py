"""Texts from outside cannot forge headless events: an ID3 title, a station name
sent by the station and a directory row, holding line ends, control bytes and
Windows-1252 bytes, arrive escaped on their own event line as valid UTF-8."""

import os
import socket
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from headless_support import STATION, Player, Scratch, free_port, make_mpeg, need  # noqa

FORGERY = b"x\nerror forged\rend\x01\x7f\\|\xe9"
PRINTED = "x\\nerror forged\\rend\\x01\\x7F\\\\|\u00e9"


class NoForgedEvents(unittest.TestCase):
    def setUp(self):
        need("sox", "twolame")
        self.scratch = Scratch()

    def tearDown(self):
        self.scratch.cleanup()

    def test_title_station_name_and_directory_row(self):
        directory, udp = free_port(socket.SOCK_STREAM), free_port(socket.SOCK_DGRAM)
        station = subprocess.Popen([STATION.encode(), b"--category", b"Cat\x0bend\x1c\t\x01\x7f\\|\xe9", b"--speed", b"16k",
                                    b"--directory-port", str(directory).encode(), b"--port", str(udp).encode(),
                                    b"--station", FORGERY], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(station.wait)
        self.addCleanup(station.kill)
        mpeg = make_mpeg(self.scratch, "t.mp2", "twolame", 44100, 2, 128, 3)
        with open(mpeg, "ab") as f:
            f.write(b"TAG" + FORGERY.ljust(30, b"\0") + b"\0" * 94 + b"\xff")

        player = Player(self.scratch, "null", extra_env={"LUMETRA_DIRECTORY": "127.0.0.1:%d" % directory})
        player.send("directory")
        row = player.wait_for(lambda e: e.startswith("row 0 "), limit=30)
        # The directory reply is made of lines, so its rows hold no line end.
        self.assertEqual(row, "row 0 1 + Cat\\x0Bend\\x1C\\t\\x01\\x7F\\\\|\u00e9")
        player.send("radio 127.0.0.1:%d" % udp)
        title = player.wait_for(lambda e: e.startswith("title Radio Lumetra (x"), limit=30)
        self.assertTrue(title.startswith("title Radio Lumetra (" + PRINTED + ")"), title)
        player.send("radio-stop")
        player.send("play " + mpeg)
        item = player.wait_for(lambda e: e.startswith("item x"), limit=30)
        self.assertEqual(item, "item " + PRINTED.replace("|", "\\|") + "||128|44100|4")
        # An ID3v2.4 title in UTF-8, longer than 127 syncsafe bytes, shows as it is.
        text = ("T\u00eftel \u2603 " + "x" * 250).encode()
        frame = b"TIT2" + bytes([0, 0, (len(text) + 1) >> 7, (len(text) + 1) & 127, 0, 0, 3]) + text
        tagged = os.path.join(self.scratch.dir, "v24.mp2")
        with open(mpeg, "rb") as f, open(tagged, "wb") as out:
            out.write(b"ID3\x04\0\0\0\0" + bytes([len(frame) >> 7, len(frame) & 127]) + frame + f.read())
        player.send("play " + tagged)
        item = player.wait_for(lambda e: e.startswith("item T"), limit=30)
        self.assertEqual(item.split("|")[0], "item " + text[:127].decode())
        player.send("quit")
        status, events = player.finish()
        self.assertEqual(status, 0)
        self.assertFalse([e for e in events if e.startswith("error") or e == "end"], events)


if __name__ == "__main__":
    unittest.main()
