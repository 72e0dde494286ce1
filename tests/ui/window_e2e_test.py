#!/usr/bin/env python3
"""The window under Xvfb, driven by real clicks (xdotool) at the skin's positions
and observed through --control's events and the recorded sound: Pause pauses and
Play resumes without losing sound, FFWD moves to the next row, dragging the
position bar shows the read-out and seeks, RADIO lists the directory's stations
and a click on one tunes in."""

import os
import shutil
import socket
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "app"))
sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "engine"))
import headless_support as hs  # noqa: E402
import media_files  # noqa: E402

def stop(proc):
    if proc.poll() is None:
        proc.kill()
    proc.wait()


def ControlPlayer(scratch, audio, display, args=(), extra_env=None):
    """lumetra --control: the window on a display, the protocol on stdin/stdout."""
    env = dict(extra_env or {}, DISPLAY=display, WAYLAND_DISPLAY=None, QT_QPA_PLATFORM=None)
    return hs.Player(scratch, audio, args, env, mode="--control")


class WindowTest(unittest.TestCase):
    def setUp(self):
        hs.need("Xvfb", "xdotool", "sox", "lame", "import")
        self.scratch = hs.Scratch()
        self.display = ":%d" % (50 + os.getpid() % 200)
        self.xvfb = subprocess.Popen(["Xvfb", self.display, "-screen", "0", "640x480x24", "-nolisten", "tcp"],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        socket_path = "/tmp/.X11-unix/X" + self.display[1:]
        for _ in range(100):
            if os.path.exists(socket_path):
                break
            time.sleep(0.05)
        self.env = dict(os.environ, DISPLAY=self.display)
        self.station = None

    def tearDown(self):
        if self.station:
            self.station.kill()
            self.station.wait()
        self.xvfb.kill()
        self.xvfb.wait()
        self.scratch.cleanup()

    def xdo(self, *args):
        return subprocess.run(["xdotool", *args], env=self.env, check=True, capture_output=True,
                              text=True).stdout.strip()

    def find_window(self):
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "Lumetra Media Player"],
                                   env=self.env, capture_output=True, text=True).stdout.split()
            if found:
                return found
            time.sleep(0.1)
        self.fail("no window appeared")

    def click(self, x, y, button=1):
        # Positions are the skin's; the menu bar sits above the client area.
        self.xdo("mousemove", "--window", self.wid, str(x), str(y + self.menu), "click", str(button))

    def open_window(self):
        self.wid = self.find_window()[0]
        geometry = dict(line.split("=") for line in self.xdo("getwindowgeometry", "--shell", self.wid).split())
        self.menu = int(geometry["HEIGHT"]) - 305

    def test_video_in_information_screen(self):
        """An ASF file with a picture shows it on the information screen: the panel
        holds what ffmpeg makes of the same frame at the panel's size."""
        asf = self.scratch.path("bars.asf")
        subprocess.run(["ffmpeg", "-v", "error", "-f", "lavfi", "-i", "smptebars=size=320x240:rate=25", "-f", "lavfi",
                        "-i", "sine=frequency=440:sample_rate=44100", "-t", "8", "-c:v", "wmv2", "-c:a", "wmav2", asf],
                       check=True)
        expected = subprocess.run(["ffmpeg", "-v", "error", "-i", asf, "-frames:v", "1", "-sws_flags", "bilinear",
                                   "-vf", "scale=247:128", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"],
                                  check=True, capture_output=True).stdout
        p = ControlPlayer(self.scratch, "null", self.display, [asf])
        self.addCleanup(stop, p.proc)
        p.wait_for(lambda e: e == "view 1")
        self.open_window()
        time.sleep(1.5)
        shown = subprocess.run(["import", "-window", self.wid, "-crop", "247x128+14+%d" % (138 + self.menu),
                                "-depth", "8", "rgb:-"], env=self.env, check=True, capture_output=True).stdout
        self.assertEqual(len(shown), len(expected))
        mean = sum(abs(a - b) for a, b in zip(shown, expected)) / len(expected)
        self.assertLess(mean, 6, "the panel shows the video's picture")
        p.send("quit")
        status, _ = p.finish()
        self.assertEqual(status, 0, p.stderr)

    def test_cd_track_rows(self):
        """A disc's arrival shows the library's CD entry. A click on a CD-track row
        toggles the naming hint; a click with both
        buttons opens "Audio CD Information", whose Save writes cdplayer.ini.
        Delete in the library view takes the selected song out of the library."""
        cue = self.scratch.path("disc/disc.cue")
        drives = self.scratch.path("drives")
        os.makedirs(drives)
        songs = [hs.make_mpeg(self.scratch, name, "lame", 44100, 1, 64, 1) for name in ("x.mp3", "y.mp3")]
        for song in songs:
            shutil.move(song, drives)
        p = ControlPlayer(self.scratch, "null", self.display, [], {"LUMETRA_CDROM": cue, "LUMETRA_DRIVES": drives})
        self.addCleanup(stop, p.proc)
        # Start-up shows the library; with the playlist shown, the disc arrives:
        # without a playlist of its own the library shows it.
        self.open_window()
        p.wait_for(lambda e: e == "view 2")
        # The library built at start-up is shown when its build ends; after that,
        # back to the playlist.
        mark = len(p.events)
        p.send("library")
        p.wait_for(lambda e: e.startswith("librows"), since=mark)
        time.sleep(0.5)
        self.click(272 + 10, 147 + 8)             # Playlist
        p.wait_for(lambda e: e == "view 0")
        mark = len(p.events)
        media_files.write_cd_image(self.scratch.path("disc"))
        p.wait_for(lambda e: e == "view 2", since=mark)
        self.click(272 + 10, 147 + 8)             # Playlist
        p.wait_for(lambda e: e == "view 0")
        p.send("play %s/Track02.cda" % cue)
        p.wait_for(lambda e: e == "state playing")
        hint = "hint Click both mouse buttons to name the track"
        for expected in (hint, "hint", hint):
            time.sleep(0.6)  # not a double click
            mark = len(p.events)
            self.click(60, 138 + 8)
            p.wait_for(lambda e: e == expected, since=mark)
        mark = len(p.events)
        self.xdo("mousemove", "--window", self.wid, "60", str(138 + 8 + self.menu), "mousedown", "3")
        self.xdo("click", "1")
        self.xdo("mouseup", "3")
        p.wait_for(lambda e: e == "dialog Audio CD Information", since=mark)
        # The track's name is selected in its edit: typing replaces it, Enter
        # sets it, Enter again saves.
        time.sleep(0.5)
        self.xdo("type", "--delay", "20", "Night Drive")
        self.xdo("key", "Return")
        time.sleep(0.3)
        self.xdo("key", "Return")
        ini = self.scratch.path("config/lumetra/cdplayer.ini")
        deadline = time.monotonic() + 10
        text = ""
        while "1=Night Drive" not in text and time.monotonic() < deadline:
            time.sleep(0.1)
            text = open(ini).read() if os.path.exists(ini) else ""
        self.assertIn("1=Night Drive", text)
        self.assertIn("0=Audio CD Track 01", text)

        mark = len(p.events)
        p.send("library")
        p.wait_for(lambda e: e.startswith("librows"), since=mark)
        header = next(int(e.split()[1]) for e in p.events[mark:] if e.endswith(" 0 MP3"))
        mark = len(p.events)
        p.send("expand %d" % header)
        p.wait_for(lambda e: e.startswith("librows"), since=mark)
        self.click(272 + 10, 171 + 8)             # Library
        p.wait_for(lambda e: e == "view 2", since=mark)
        self.click(60, 138 + 16 * (header + 1) + 8)  # x.mp3
        time.sleep(0.6)
        self.click(137 + 10, 273 + 8)             # Delete ("Remove from Library")
        time.sleep(0.5)
        mark = len(p.events)
        p.send("library")
        p.wait_for(lambda e: e.startswith("librows"), since=mark)
        rows = [e for e in p.events[mark:] if e.startswith("librow ")]
        self.assertFalse([r for r in rows if r.endswith("x.mp3")], rows)
        self.assertTrue([r for r in rows if r.endswith("y.mp3")], rows)
        with open(self.scratch.path("data/lumetra/library.lst")) as f:
            self.assertNotIn("x.mp3", f.read())

        # A message box on the screen: the protocol still reads and answers.
        bad = self.scratch.path("bad.lst")
        with open(bad, "w") as f:
            f.write("not a playlist\n")
        p.send("load " + bad)
        p.wait_for(lambda e: e == "message Open Playlist: Invalid Playlist file.")
        mark = len(p.events)
        p.send("status")
        p.wait_for(lambda e: e.startswith("state "), since=mark, limit=5)
        p.send("quit")
        status, _ = p.finish()
        self.assertEqual(status, 0, p.stderr)

    def test_clicks_drive_the_player(self):
        a = hs.make_mpeg(self.scratch, "a.mp3", "lame", 44100, 2, 128, 10)
        b = hs.make_mpeg(self.scratch, "b.mp3", "lame", 44100, 2, 128, 10)
        out = self.scratch.path("out.wav")
        directory_port, udp = hs.free_port(), hs.free_port(socket.SOCK_DGRAM)
        self.station = subprocess.Popen([hs.STATION, "--category", "Demo", "--speed", "16k", "--directory-port",
                                         str(directory_port), "--port", str(udp)],
                                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        self.assertTrue(hs.wait_listening(directory_port))
        p = ControlPlayer(self.scratch, "file:" + out, self.display, [a],
                          {"LUMETRA_DIRECTORY": "127.0.0.1:%d" % directory_port})
        self.addCleanup(stop, p.proc)
        # The wave line at full volume passes samples unchanged.
        p.send("volume 65535")
        p.wait_for(lambda e: e == "state playing")
        windows = self.find_window()
        self.assertEqual(len(windows), 1, "one top-level window")
        self.wid = windows[0]
        geometry = dict(line.split("=") for line in self.xdo("getwindowgeometry", "--shell", self.wid).split())
        self.assertEqual(int(geometry["WIDTH"]), 356)
        self.menu = int(geometry["HEIGHT"]) - 305
        self.assertTrue(0 < self.menu < 60, "client area 356 x 305 below a menu: %r" % geometry)
        shot = self.scratch.path("shot.png")
        subprocess.run(["import", "-window", self.wid, shot], env=self.env, check=True, capture_output=True)
        colours = int(subprocess.run(["identify", "-format", "%k", shot], capture_output=True, text=True,
                                     check=True).stdout)
        self.assertGreater(colours, 100, "art of many colours")

        p.send("add " + b)
        p.wait_for(hs.played_at_least(1))
        self.click(147 + 16 + 64, 54 + 12)        # Pause
        p.wait_for(lambda e: e == "state paused")
        time.sleep(1.0)
        self.click(147 + 16, 54 + 12)             # Play
        p.wait_for(lambda e: e == "state playing", since=len(p.events))
        p.wait_for(hs.played_at_least(3), since=len(p.events))
        self.click(243 + 17, 54 + 12)             # FFWD
        p.wait_for(lambda e: e.startswith("item b.mp3|"))
        p.wait_for(lambda e: e == "state playing", since=len(p.events))

        # Drag the thumb from its start to the bar's middle: the read-out, then the seek.
        self.xdo("mousemove", "--window", self.wid, str(109 + 10), str(32 + 6 + self.menu), "mousedown", "1")
        self.xdo("mousemove", "--window", self.wid, str(109 + 66 + 18), str(32 + 6 + self.menu))
        readout = p.wait_for(lambda e: e.startswith("status seek to: "))
        self.assertRegex(readout, r"^status seek to: \d:\d\d of 0:(09|10) <\d+%>$")
        mark = len(p.events)
        released = time.monotonic()
        self.xdo("mouseup", "1")
        p.wait_for(hs.played_at_least(4), since=mark, limit=10)
        self.assertLess(time.monotonic() - released, 4, "the seek moved the position")
        p.wait_for(hs.played_at_least(8), since=mark, limit=10)

        # Stop closes the device: the recording of the player is complete.
        mark = len(p.events)
        self.click(179 + 16, 54 + 12)
        p.wait_for(lambda e: e == "state stopped", since=mark)
        shutil.copy(out, self.scratch.path("player.wav"))

        # RADIO: the directory's stations; open the category, click the station.
        self.click(6 + 8, 88 + 8)
        p.wait_for(lambda e: e == "mode 1")
        time.sleep(1.0)
        self.click(60, 138 + 8)                   # "+ Demo"
        time.sleep(1.0)
        self.click(60, 138 + 16 + 8)              # its station
        title = p.wait_for(lambda e: e.startswith("title Radio Lumetra (") or e.startswith("error"), limit=30)
        self.assertTrue(title.startswith("title Radio Lumetra ("), title)
        p.wait_for(lambda e: e == "view 1")
        p.wait_for(lambda e: e.startswith("radio Receiving Transmission"), limit=30)
        time.sleep(2)
        p.send("quit")
        status, events = p.finish()
        self.assertEqual(status, 0, p.stderr)

        # The station's sound, recorded after the player's device had closed.
        rate, channels, radio = hs.read_wav(out)
        self.assertGreater(len(radio), rate * channels, "a second of radio sound or more")
        self.assertGreater(len(set(radio[-rate:])), 16, "the radio sound is not silence")

        # The recorded sound: row a from its start through the pause and back, nothing
        # lost or repeated; then row b.
        _, _, recorded = hs.read_wav(self.scratch.path("player.wav"))
        _, _, dec_a = hs.decoded(self.scratch, a)
        _, _, dec_b = hs.decoded(self.scratch, b)
        self.assertEqual(recorded[:1024], hs.PRIMING)
        # From half a second (the volume is set by then) to 2.5 s, past the pause.
        start, span = 44100 * 4 // 2, 44100 * 4 * 5 // 2
        self.assertEqual(recorded[1024 + start:1024 + span], dec_a[start:span], "row a through pause and resume")
        # The thumb was dropped past the middle: row b from 5.5 to 6 s on.
        second = 44100 * 4
        self.assertNotEqual(recorded.find(dec_b[second * 7:second * 73 // 10], 1024 + span), -1,
                            "row b after FFWD and the seek")


if __name__ == "__main__":
    unittest.main()
