"""The player through a real PulseAudio server: the sink's monitor records the
decoder's samples exactly (at full volume) before and after a pause, which is
silence, and a stop ends the sound without an end notice."""

import os
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from headless_support import Player, Scratch, decoded, engine_frames, make_mpeg, need, played_at_least  # noqa: E402
from pulse_support import RECORDER_LATENCY_MS, PulseServer, available  # noqa: E402

RATE = 44100
ALIGN = 4  # 16-bit stereo
EDGE = RATE // 200  # frames that may go missing where a stream starts, pauses or ends


def find(rec, ref, ref_frame, frames=200):
    """Frame of the recording where ref's frame ref_frame lies, by an exact match of
    `frames` frames; None when it is not there."""
    key = ref[ref_frame * ALIGN:(ref_frame + frames) * ALIGN]
    at = rec.find(key)
    while at >= 0 and at % ALIGN:
        at = rec.find(key, at + 1)
    return None if at < 0 else at // ALIGN


def matching(rec, rec_frame, ref, ref_frame):
    """Frames that agree from the given places on."""
    n = 0
    while (rec_frame + n + 1) * ALIGN <= len(rec) and (ref_frame + n + 1) * ALIGN <= len(ref) and \
            rec[(rec_frame + n) * ALIGN:(rec_frame + n + 1) * ALIGN] == \
            ref[(ref_frame + n) * ALIGN:(ref_frame + n + 1) * ALIGN]:
        n += 1
    return n


def silent(rec, frame):
    return rec[frame * ALIGN:(frame + 1) * ALIGN] == b"\0" * ALIGN


class ThroughPulse(unittest.TestCase):
    def setUp(self):
        need("sox", "twolame")
        if not available():
            self.skipTest("pulseaudio, pactl or parec missing")
        self.scratch = Scratch()
        self.server = PulseServer(self.scratch.path("pulse"), RATE, 2)
        self.env = {k: self.server.env[k] for k in ("PULSE_SERVER", "HOME")}

    def tearDown(self):
        self.server.close()
        self.scratch.cleanup()

    def reference(self, name, seconds):
        mpeg = make_mpeg(self.scratch, name, "twolame", RATE, 2, 192, seconds)
        _, _, ref = decoded(self.scratch, mpeg)
        return mpeg, ref[:engine_frames(mpeg, 192, RATE, 1152) * 1152 * ALIGN]

    def player(self):
        self.server.start_recording(self.scratch.path("rec.raw"))
        player = Player(self.scratch, "pulse", extra_env=self.env)
        player.send("volume 65535")
        return player

    def test_pause_is_silent_and_resumes_where_it_paused(self):
        mpeg, ref = self.reference("p.mp2", 4)
        player = self.player()
        player.send("play " + mpeg)
        player.wait_for(played_at_least(1))
        player.send("pause")
        player.wait_for(lambda e: e == "state paused")
        player.send("status")  # hold the pause across a round trip and a second
        player.wait_for(lambda e: e.startswith("item "))
        time.sleep(1.0)
        player.send("play")
        status, events = player.finish()
        rec = self.server.stop_recording()
        self.assertEqual(status, 0, events)
        self.assertEqual(events.count("end"), 1, events)

        at = find(rec, ref, RATE // 2)
        self.assertIsNotNone(at)
        start = at - RATE // 2
        before = matching(rec, at, ref, RATE // 2) + RATE // 2  # ref frames heard before the pause
        # Then silence for most of the pause.
        gap = 0
        frame = start + before
        while frame + gap < len(rec) // ALIGN and silent(rec, frame + gap):
            gap += 1
        self.assertGreaterEqual(gap, RATE * 8 // 10, "the pause was not silent")
        # After it, the sound goes on from where it stopped.
        resume_rec = frame + gap + RATE // 20
        key = rec[resume_rec * ALIGN:(resume_rec + 200) * ALIGN]
        hit = ref.find(key)
        while hit >= 0 and hit % ALIGN:
            hit = ref.find(key, hit + 1)
        self.assertGreaterEqual(hit, 0, "the resumed sound is not the item's")
        resumed_at = hit // ALIGN - RATE // 20
        self.assertGreaterEqual(resumed_at, before - max(EDGE, RATE * RECORDER_LATENCY_MS // 1000))
        self.assertLessEqual(resumed_at, before + RATE // 20)
        self.assertGreaterEqual(matching(rec, resume_rec, ref, hit // ALIGN) + hit // ALIGN, len(ref) // ALIGN - EDGE)

    def test_stop_ends_the_sound_without_an_end_notice(self):
        mpeg, ref = self.reference("s.mp2", 12)
        player = self.player()
        player.send("play " + mpeg)
        player.wait_for(played_at_least(1))
        # Desktop mixers name the stream after the item and the program.
        inputs = subprocess.run(["pactl", "list", "sink-inputs"], env=self.server.env, capture_output=True,
                                text=True).stdout
        for prop in ('media.name = "s.mp2"', 'application.name = "Lumetra Media Player"',
                     'application.icon_name = "lumetra"'):
            self.assertIn(prop, inputs)
        player.send("stop")
        player.wait_for(lambda e: e == "state stopped")
        # A stop returns the position to 0 once the device has handed back every
        # buffer (each returning buffer still reports its own position first).
        at_zero = False
        for _ in range(50):
            since = len(player.events)
            player.send("status")
            if player.wait_for(lambda e: e.startswith("position "), since=since) == "position 0 11":
                at_zero = True
                break
            time.sleep(0.1)
        status, events = player.finish()
        rec = self.server.stop_recording()
        self.assertEqual(status, 0, events)
        self.assertNotIn("end", events)
        self.assertTrue(at_zero, events)
        frames = len(rec) // ALIGN
        heard = [f for f in range(0, frames, 64) if not silent(rec, f)]
        self.assertTrue(heard)
        # About a second played before the stop; nothing like the whole item.
        self.assertLess((heard[-1] - heard[0]) / RATE, 4.0)


if __name__ == "__main__":
    unittest.main()
