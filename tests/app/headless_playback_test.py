"""The headless player plays files to their end through the file backends: the
device receives the priming silence and then exactly the decoder's frames, within
the length estimate, and the events tell the story."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from headless_support import (PRIMING, LAYER3, Player, Scratch, played_at_least, decoded, engine_frames, make_mpeg, need, read_wav,  # noqa
                              run_script)

# The wave line at full volume passes samples unchanged.
UNITY = ["volume 65535"]


class PlaysToTheEnd(unittest.TestCase):
    def setUp(self):
        need("sox", "lame", "twolame")
        self.scratch = Scratch()

    def tearDown(self):
        self.scratch.cleanup()

    def check_file(self, name, encoder, rate, channels, kbps, seconds, samples_per_frame):
        if encoder == "lame" and not LAYER3:
            self.skipTest("this build decodes no layer III")
        mpeg = make_mpeg(self.scratch, name, encoder, rate, channels, kbps, seconds)
        out = self.scratch.path(name + ".out.wav")
        status, events = run_script(self.scratch, "file-fast:" + out, UNITY + ["play " + mpeg])
        self.assertEqual(status, 0, events)
        self.assertIn("state playing", events)
        self.assertEqual(events.count("end"), 1, events)
        states = [e for e in events if e.startswith("state ")]
        self.assertEqual(states[-1], "state stopped")
        self.assertIn("item %s|n/a|%d|%d|4" % (os.path.basename(mpeg), kbps, rate), events)

        ref_rate, ref_channels, ref = decoded(self.scratch, mpeg)
        got_rate, got_channels, got = read_wav(out)
        self.assertEqual((got_rate, got_channels), (ref_rate, ref_channels))
        frame_bytes = samples_per_frame * channels * 2
        frames = engine_frames(mpeg, kbps, rate, samples_per_frame)
        self.assertLessEqual(frames * frame_bytes, len(ref), "length estimate beyond the decoded frames")
        self.assertEqual(len(got), len(PRIMING) + frames * frame_bytes)
        self.assertTrue(got.startswith(PRIMING))
        self.assertTrue(got[len(PRIMING):] == ref[:frames * frame_bytes], "played frames differ from the decoder's")

    def test_mp3_44100_stereo(self):
        self.check_file("a.mp3", "lame", 44100, 2, 128, 5, 1152)

    def test_mp3_22050_mono_lsf(self):
        self.check_file("c.mp3", "lame", 22050, 1, 32, 4, 576)

    def test_mp2_32000_mono_short(self):
        self.check_file("d.mp2", "twolame", 32000, 1, 64, 1, 1152)

    def test_rows_play_in_turn_then_stop(self):
        a = make_mpeg(self.scratch, "r1.mp2", "twolame", 44100, 2, 128, 1)
        b = make_mpeg(self.scratch, "r2.mp2", "twolame", 32000, 1, 64, 1)
        out = self.scratch.path("r.out.wav")
        status, events = run_script(self.scratch, "file-fast:" + out, UNITY + ["add " + a, "add " + b, "play"])
        self.assertEqual(status, 0, events)
        self.assertEqual(events.count("end"), 2, events)
        items = [e.split("|")[0] for e in events if e.startswith("item ")]
        self.assertEqual(items, ["item r1.mp2", "item r2.mp2"])
        self.assertEqual([e for e in events if e.startswith("state ")][-1], "state stopped")

    def test_truncated_file_plays_what_is_there(self):
        mpeg = make_mpeg(self.scratch, "t.mp2", "twolame", 44100, 2, 128, 4)
        data = open(mpeg, "rb").read()
        cut = self.scratch.path("cut.mp2")
        with open(cut, "wb") as f:
            f.write(data[:len(data) * 3 // 5 + 37])
        out = self.scratch.path("t.out.wav")
        status, events = run_script(self.scratch, "file-fast:" + out, UNITY + ["play " + cut])
        self.assertEqual(status, 0, events)
        self.assertEqual(events.count("end"), 1, events)
        _, _, ref = decoded(self.scratch, cut)
        _, _, got = read_wav(out)
        frames = engine_frames(cut, 128, 44100, 1152)
        self.assertEqual(got[len(PRIMING):len(PRIMING) + frames * 4608], ref[:frames * 4608])


class BadInput(unittest.TestCase):
    def setUp(self):
        need("sox", "twolame")
        self.scratch = Scratch()

    def tearDown(self):
        self.scratch.cleanup()

    def test_unplayable_paths_are_reported(self):
        text = self.scratch.path("notes.mp3")
        with open(text, "w") as f:
            f.write("not audio at all\n" * 200)
        odd = self.scratch.path("dir with spaces")
        os.mkdir(odd)
        for path in ("/nonexistent/song.mp3", text, odd, ""):
            status, events = run_script(self.scratch, "null", ["play " + path if path else "play"])
            self.assertEqual(status, 0, events)
            self.assertNotIn("state playing", events)
            if path == "/nonexistent/song.mp3":
                self.assertIn("error no such file: " + path, events)
            elif path:
                reason = "not a regular file: " if path == odd else "not playable: "
                self.assertIn("error " + reason + path, events)
            else:
                self.assertIn("dialog Open", events)

    def test_busy_device_is_reported(self):
        mpeg = make_mpeg(self.scratch, "busy.mp2", "twolame", 44100, 2, 128, 1)
        # A device that takes no 44.1 kHz format stands for one that another program holds.
        status, events = run_script(self.scratch, "null:0x0", ["play " + mpeg])
        self.assertEqual(status, 0, events)
        self.assertIn("message Lumetra Media Player (tm): Another program is using your sound card.  "
                      "Please close it and try again.", events)
        self.assertEqual([e for e in events if e.startswith("state ")][-1], "state stopped")
        self.assertNotIn("end", events)

    def test_quit_ends_at_once_and_nothing_optional_was_loaded(self):
        mpeg = make_mpeg(self.scratch, "long.mp2", "twolame", 44100, 2, 128, 30)
        player = Player(self.scratch, "null", extra_env={"DBUS_SESSION_BUS_ADDRESS": None})
        player.send("play " + mpeg)
        player.wait_for(lambda e: e == "state playing")
        # Sound servers, web fetches, the bus and the media libraries load only when used.
        with open("/proc/%d/maps" % player.proc.pid) as f:
            mapped = f.read()
        for library in ("libpulse", "libasound", "libQt6Network", "libQt6DBus", "libavformat", "libfluidsynth"):
            self.assertNotIn(library, mapped)
        player.send("quit")
        status, events = player.finish(limit=20)
        self.assertEqual(status, 0)
        self.assertNotIn("end", events)


class Transport(unittest.TestCase):
    """Real-time output through the file backend: what was played is in the file.
    Pause, resume and stop are checked against the sound server (headless_pulse_test)."""

    def setUp(self):
        need("sox", "twolame")
        self.scratch = Scratch()

    def tearDown(self):
        self.scratch.cleanup()

    def test_play_while_playing_switches_items(self):
        first = make_mpeg(self.scratch, "first.mp2", "twolame", 44100, 2, 128, 20)
        second = make_mpeg(self.scratch, "second.mp2", "twolame", 22050, 1, 64, 1)
        player = Player(self.scratch, "null")
        player.send("play " + first)
        player.wait_for(played_at_least(1))
        player.send("play " + second)
        player.wait_for(lambda e: e == "end")
        player.send("status")
        status, events = player.finish()
        self.assertEqual(status, 0, events)
        self.assertEqual(events.count("end"), 1, events)
        self.assertIn("item second.mp2|n/a|64|22050|4", events)
        # status: state, position and item, then volume, mute, shuffle, repeat and proxy.
        self.assertEqual(events[-8:-5], ["state stopped", "position 0 1", "item second.mp2|n/a|64|22050|4"])

    def test_seek_plays_from_the_frame_there(self):
        mpeg = make_mpeg(self.scratch, "k.mp2", "twolame", 48000, 2, 192, 6)
        out = self.scratch.path("k.out.wav")
        player = Player(self.scratch, "file:" + out)
        player.send(UNITY[0])
        player.send("play " + mpeg)
        player.wait_for(played_at_least(1))
        player.send("seek 4")
        player.wait_for(lambda e: e == "position 4 6")
        status, events = player.finish()
        self.assertEqual(status, 0, events)
        self.assertEqual(events.count("end"), 1, events)
        # To the user a seek is one step: a position, no stop, reopening and restart.
        self.assertEqual([e for e in events if e.startswith(("state ", "item "))],
                         ["item k.mp2|n/a|192|48000|4", "state playing", "state stopped"])
        _, _, ref = decoded(self.scratch, mpeg)
        _, _, got = read_wav(out)
        # The file holds all that was played: the start of the item, then after
        # the seek a new priming buffer and the frames from the seek target on.
        played = 0
        while got[1024 + played * 4608:1024 + (played + 1) * 4608] == ref[played * 4608:(played + 1) * 4608]:
            played += 1
        self.assertGreater(played, 0)
        # The reset may cut a buffer short: the device wrote only what it played.
        rest = got[1024 + played * 4608:]
        cut = 0
        while cut < 4608 and rest[cut] == ref[played * 4608 + cut]:
            cut += 1
        cut -= cut % 4
        rest = rest[cut:]
        self.assertTrue(rest.startswith(PRIMING))
        body = rest[len(PRIMING):]
        frames = engine_frames(mpeg, 192, 48000, 1152)
        self.assertEqual(len(body) % 4608, 0)
        start = frames - len(body) // 4608
        self.assertAlmostEqual(start * 1152 / 48000, 4.0, delta=1152 / 48000 + 0.001)
        # The synthesis filter starts empty at the seek, so the first frame differs;
        # from the second on the frames are the continuous decoding's.
        self.assertEqual(body[4608:], ref[(start + 1) * 4608:frames * 4608])

if __name__ == "__main__":
    unittest.main()
