"""WAV, WMA, MIDI and Audio CD tracks played by the headless player into the file
backend, compared with oracles: the WAV's own samples, ffmpeg's decode of the
WMA, the fluidsynth command line's render of the MIDI file, the disc image's
samples. Damaged media end in an error event, never in a hang or an end."""

import array
import http.server
import math
import operator
import os
import shutil
import socket
import subprocess
import sys
import threading
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "app"))
sys.path.insert(0, HERE)
from headless_support import Player, Scratch, need, read_wav, run_script  # noqa: E402
import media_files  # noqa: E402

FONT = "/usr/share/sounds/sf2/TimGM6mb.sf2"
UNITY = ["volume 65535"]


def samples(pcm):
    a = array.array("h")
    a.frombytes(pcm[:len(pcm) // 2 * 2])
    return a


def best_correlation(got, ref, max_lag=4096):
    """Largest normalised correlation of two sample sequences over small lags."""
    x, y = samples(got), samples(ref)
    n = min(len(x), len(y)) - max_lag
    if n <= 0:
        return 0.0
    best = 0.0
    # Nearest lags first (stereo: whole frames only): aligned sound ends the search at once.
    for step in range(0, max_lag + 1, 2):
        for lag in (step, -step) if step else (0,):
            a = x[max(lag, 0):max(lag, 0) + n:7]
            b = y[max(-lag, 0):max(-lag, 0) + n:7]
            aa, bb = sum(map(operator.mul, a, a)), sum(map(operator.mul, b, b))
            if aa and bb:
                best = max(best, sum(map(operator.mul, a, b)) / math.sqrt(aa * bb))
            if best > 0.99:
                return best
    return best


class MediaSources(unittest.TestCase):
    def setUp(self):
        need("sox", "ffmpeg")
        self.scratch = Scratch()

    def tearDown(self):
        self.scratch.cleanup()

    def play(self, path, audio="file-fast", extra=(), env=None):
        out = self.scratch.path("out.wav")
        status, events = run_script(self.scratch, "%s:%s" % (audio, out), UNITY + ["play " + path] + list(extra),
                                    extra_env=env)
        self.assertEqual(status, 0, events)
        return events, out

    def test_wav_plays_its_own_samples(self):
        wav = self.scratch.path("tone.wav")
        subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth", "2.9", "sine", "300-900",
                        "sine", "440", "vol", "0.6"], check=True)
        events, out = self.play(wav)
        self.assertEqual(events.count("end"), 1, events)
        self.assertIn("item tone.wav|n/a|0|44100|1", events)
        self.assertEqual(read_wav(out)[2], read_wav(wav)[2])

    def test_wma_matches_ffmpeg(self):
        """From the file, and from a loopback HTTP server through tinyproxy with
        Basic authorisation (the stored proxy setting)."""
        wav = self.scratch.path("src.wav")
        wma = self.scratch.path("music.wma")
        subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth", "4", "sine", "200-2000",
                        "sine", "550", "vol", "0.5"], check=True)
        subprocess.run(["ffmpeg", "-v", "error", "-i", wav, "-c:a", "wmav2", "-b:a", "128k", wma], check=True)
        ref = subprocess.run(["ffmpeg", "-v", "error", "-i", wma, "-f", "s16le", "-ar", "44100", "-ac", "2", "-"],
                             check=True, capture_output=True).stdout
        cases = [(wma, [])]
        if shutil.which("tinyproxy"):
            server, proxy_port, vias = self.serve_through_proxy()
            cases.append(("http://127.0.0.1:%d/music.wma" % server.server_port,
                          ["proxy 127.0.0.1 %d alice w0nder-land" % proxy_port]))
        played = []
        for path, setup in cases:
            with self.subTest(path=path):
                out = self.scratch.path("out.wav")
                status, events = run_script(self.scratch, "file-fast:" + out, UNITY + setup + ["play " + path])
                self.assertEqual(status, 0, events)
                self.assertEqual(events.count("end"), 1, events)
                self.assertIn("item music.wma|n/a|0|44100|32", events)
                played.append(read_wav(out)[2])
        got = played[0]
        self.assertLess(abs(len(got) - len(ref)), 44100 * 4 // 10, "lengths differ by more than 0.1 s")
        self.assertGreater(best_correlation(got, ref), 0.95)
        # Through the proxy, the same bytes decode to the same sound.
        self.assertTrue(all(other == got for other in played[1:]))
        if len(cases) > 1:
            self.assertTrue(vias and all("tinyproxy" in v for v in vias), vias)

    def serve_through_proxy(self):
        """The scratch folder over HTTP on loopback, and tinyproxy in front of it;
        returns the server, the proxy's port and the Via headers the server saw."""
        vias = []
        folder = self.scratch.dir

        class Handler(http.server.SimpleHTTPRequestHandler):
            def __init__(self, *args, **kwargs):
                super().__init__(*args, directory=folder, **kwargs)

            def do_GET(self):
                vias.append(self.headers.get("Via", ""))
                super().do_GET()

            def log_message(self, *args):
                pass

        server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        self.addCleanup(server.server_close)
        self.addCleanup(server.shutdown)
        with socket.socket() as s:
            s.bind(("127.0.0.1", 0))
            proxy_port = s.getsockname()[1]
        conf = self.scratch.path("tinyproxy.conf")
        with open(conf, "w") as f:
            f.write("Port %d\nListen 127.0.0.1\nTimeout 10\nAllow 127.0.0.1\nBasicAuth alice w0nder-land\n"
                    "LogLevel Critical\nLogFile \"%s\"\n" % (proxy_port, self.scratch.path("tp.log")))
        proxy = subprocess.Popen(["tinyproxy", "-d", "-c", conf], stdin=subprocess.DEVNULL,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(proxy.wait)
        self.addCleanup(proxy.kill)
        for _ in range(100):
            try:
                socket.create_connection(("127.0.0.1", proxy_port), 0.5).close()
                break
            except OSError:
                time.sleep(0.1)
        return server, proxy_port, vias

    def test_midi_matches_fluidsynth(self):
        need("fluidsynth")
        if not os.path.exists(FONT):
            self.skipTest("no TimGM6mb sound font")
        mid = self.scratch.path("song.mid")
        with open(mid, "wb") as f:
            f.write(media_files.midi_bytes())
        ref_wav = self.scratch.path("ref.wav")
        subprocess.run(["fluidsynth", "-ni", "-q", "-r", "44100", "-F", ref_wav, FONT, mid], check=True,
                       capture_output=True)
        events, out = self.play(mid, env={"LUMETRA_SOUNDFONT": FONT})
        self.assertEqual(events.count("end"), 1, events)
        got = read_wav(out)[2]
        ref = read_wav(ref_wav)[2]
        self.assertGreater(best_correlation(got, ref), 0.9)

    def test_cd_track_from_ten_seconds_and_names(self):
        cue, tracks, lead_out = media_files.write_cd_image(self.scratch.path("disc"))
        serial = media_files.disc_serial(tracks, lead_out)
        os.makedirs(os.path.join(self.scratch.env["XDG_CONFIG_HOME"], "lumetra"))
        with open(os.path.join(self.scratch.env["XDG_CONFIG_HOME"], "lumetra", "cdplayer.ini"), "w") as f:
            f.write("[%X]\nartist=The Testers\ntitle=Image\n1=Second Song\n" % serial)
        out = self.scratch.path("cd.wav")
        player = Player(self.scratch, "file:" + out, extra_env={"LUMETRA_CDROM": cue})
        player.send("volume 65535")
        player.send("play %s/Track02.cda" % cue)
        player.wait_for(lambda e: e == "state playing")
        player.send("seek 10")
        player.wait_for(lambda e: e.startswith("position 1"), since=len(player.events))
        status, events = player.finish()
        self.assertEqual(status, 0, events)
        self.assertIn("item Second Song|The Testers|0|44100|8", events)
        self.assertEqual(events.count("end"), 1, events)
        # The file holds what played from 0:00 until the seek, then the rest from 0:10.
        got = read_wav(out)[2]
        pcm = tracks[2][1]
        tail = pcm[10 * 44100 * 4:]
        self.assertTrue(got.endswith(tail), "the track from 0:10 differs from the image")
        self.assertEqual(got[:len(got) - len(tail)], pcm[:len(got) - len(tail)])

    def test_completion_advances_the_playlist(self):
        cue, _, _ = media_files.write_cd_image(self.scratch.path("disc"))
        wav = self.scratch.path("a.wav")
        subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth", "1", "sine", "440"],
                       check=True)
        status, events = run_script(self.scratch, "file-fast:" + self.scratch.path("o.wav"),
                                    ["add " + wav, "add %s/Track04.cda" % cue, "cd-info 1", "cd-info 0", "play"],
                                    extra_env={"LUMETRA_CDROM": cue})
        self.assertEqual(status, 0, events)
        self.assertEqual(events.count("end"), 2, events)
        self.assertIn("item Audio CD Track 04|n/a|0|44100|8", events)
        # Naming the CD row asks the dialog (headless cancels); the WAV row is no CD track.
        self.assertEqual(events.count("dialog Audio CD Information"), 1, events)
        self.assertIn("error not a CD track row: 0", events)

    def test_bad_media_give_an_error_and_no_end(self):
        s = self.scratch
        with open(s.path("bad.wav"), "wb") as f:
            f.write(b"RIFF\x24\x10\x00\x00WAVEfmt \x10\x00\x00\x00" + bytes((i * 37 + 11) % 256 for i in range(4000)))
        with open(s.path("fast.wav"), "wb") as f:  # 94 MHz: no resampler is built for it
            f.write(b"RIFF\x24\x10\x00\x00WAVEfmt \x10\x00\x00\x00\x01\x00\x02\x00\x22\x56\x9b\x05"
                    b"\x44\xac\x00\x00\x04\x00\x10\x00data\x00\x10\x00\x00" + bytes(4096))
        with open(s.path("bad.wma"), "wb") as f:
            f.write(bytes((i * 91 + 5) % 256 for i in range(5000)))
        with open(s.path("cut.mid"), "wb") as f:
            f.write(media_files.midi_bytes(truncate=9))
        cue, _, _ = media_files.write_cd_image(s.path("short"))
        with open(os.path.join(s.path("short"), "disc.bin"), "r+b") as f:
            f.truncate(20 * 75 * 2352)
        os.makedirs(s.path("gone"))
        with open(s.path("gone/disc.cue"), "w") as f:
            f.write('FILE "missing.bin" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n')
        cases = [s.path("bad.wav"), s.path("fast.wav"), s.path("bad.wma"), s.path("cut.mid"), cue + "/Track04.cda",
                 s.path("gone/disc.cue") + "/Track01.cda", "http://127.0.0.1:9/nothing.wma"]
        for path in cases:
            with self.subTest(path=path):
                events, _ = self.play(path, env={"LUMETRA_CDROM": cue + ":" + s.path("gone/disc.cue"),
                                                 "LUMETRA_SOUNDFONT": FONT})
                self.assertTrue(any(e.startswith("error ") for e in events), events)
                self.assertNotIn("end", events)


if __name__ == "__main__":
    unittest.main()
