"""The player on the desktop: the desktop entry, MIME defaults and desktop copy
that a start writes as the settings ask, and the player on a private session bus
(the test runs inside dbus-run-session) driven the way desktops drive players:
playerctl and gdbus against org.mpris.MediaPlayer2.lumetra."""

import os
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from headless_support import Player, Scratch, need  # noqa: E402

BUS = os.environ.get("DBUS_SESSION_BUS_ADDRESS", "")


def ctl(*args):
    return subprocess.run(["playerctl", "-p", "lumetra", *args], capture_output=True, text=True,
                          timeout=30).stdout.strip()


class MprisTest(unittest.TestCase):
    def setUp(self):
        need("playerctl", "gdbus", "sox", "lame")
        if not BUS:
            self.skipTest("run inside dbus-run-session")
        self.scratch = Scratch()
        self.addCleanup(self.scratch.cleanup)

    def tune(self, name, title):
        wav, mp3 = self.scratch.path(name + ".wav"), self.scratch.path(name + ".mp3")
        subprocess.run(["sox", "-q", "-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth", "30", "sine", "440"],
                       check=True)
        subprocess.run(["lame", "--quiet", "-b", "128", "--tt", title, "--ta", "The Testers", wav, mp3], check=True)
        return mp3

    def test_transport_and_metadata(self):
        first, second = self.tune("a", "Morning Tune"), self.tune("b", "Evening Tune")
        player = Player(self.scratch, "null", extra_env={"DBUS_SESSION_BUS_ADDRESS": BUS})
        self.addCleanup(lambda: player.proc.poll() is None and player.proc.kill())
        for line in ("add " + first, "add " + second, "play"):
            player.send(line)
        player.wait_for(lambda e: e == "state playing")
        self.assertEqual(ctl("metadata", "title"), "Morning Tune")
        self.assertEqual(ctl("metadata", "artist"), "The Testers")
        for command, event, status, title in (("pause", "state paused", "Paused", "Morning Tune"),
                                              ("play", "state playing", "Playing", "Morning Tune"),
                                              ("next", "item Evening Tune|", "Playing", "Evening Tune"),
                                              ("stop", "state stopped", "Stopped", "")):
            since = len(player.events)
            ctl(command)
            player.wait_for(lambda e: e.startswith(event), since=since)
            self.assertEqual(ctl("status"), status, command)
            self.assertEqual(ctl("metadata", "title"), title, command)
        subprocess.run(["gdbus", "call", "--session", "--dest", "org.mpris.MediaPlayer2.lumetra", "--object-path",
                        "/org/mpris/MediaPlayer2", "--method", "org.mpris.MediaPlayer2.Quit"],
                       check=True, capture_output=True, timeout=30)
        self.assertEqual(player.proc.wait(timeout=60), 0)

    def test_without_a_bus_the_player_says_so_once(self):
        env = dict(self.scratch.env)
        env.pop("DBUS_SESSION_BUS_ADDRESS", None)
        env["LUMETRA_AUDIO"] = "null"
        done = subprocess.run([os.environ.get("LUMETRA_PLAYER", "lumetra"), "--headless"], input="status\nquit\n",
                              capture_output=True, text=True, env=env, timeout=60)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(done.stderr.count("no session bus"), 1, done.stderr)
        self.assertNotIn("bus", done.stdout)


KEY = "[HKEY_CURRENT_USER\\Software\\Lumetra software\\Lumetra Media Player\\Settings]"


class StartTest(unittest.TestCase):
    """`lumetra --headless /q` does the start-up's desktop steps and ends."""

    def test_settings_choose_the_steps(self):
        need("desktop-file-validate")
        for check, icon, dialog, defaults, copied in (("1", "1", False, True, True), ("0", "0", False, False, False),
                                                      ("2", "1", True, False, True)):
            scratch = Scratch()
            self.addCleanup(scratch.cleanup)
            home, config, data = scratch.path("home"), scratch.env["XDG_CONFIG_HOME"], scratch.env["XDG_DATA_HOME"]
            os.makedirs(os.path.join(home, "Desktop"))
            os.makedirs(os.path.join(config, "lumetra"))
            with open(os.path.join(config, "user-dirs.dirs"), "w") as f:
                f.write('XDG_DESKTOP_DIR="$HOME/Desktop"\n')
            with open(os.path.join(config, "lumetra", "registry.reg"), "w") as f:
                f.write('REGEDIT4\n\n%s\n"CheckMP3file"="%s"\n"DesktopIcon"="%s"\n' % (KEY, check, icon))
            env = dict(scratch.env, HOME=home, LUMETRA_AUDIO="null")
            done = subprocess.run([os.environ.get("LUMETRA_PLAYER", "lumetra"), "--headless", "/q"],
                                  capture_output=True, text=True, env=env, timeout=60)
            self.assertEqual(done.returncode, 0, done.stderr)
            self.assertEqual("dialog Lumetra Media Player (tm) Setup" in done.stdout, dialog, done.stdout)
            entry = os.path.join(data, "applications", "lumetra.desktop")
            subprocess.run(["desktop-file-validate", entry], check=True)
            self.assertTrue(os.path.exists(os.path.join(data, "icons/hicolor/256x256/apps/lumetra.png")))
            mimeapps = os.path.join(config, "mimeapps.list")
            self.assertEqual(os.path.exists(mimeapps), defaults, check)
            if defaults:
                with open(mimeapps) as f:
                    self.assertIn("audio/mpeg=lumetra.desktop;", f.read())
                with open(os.path.join(config, "lumetra", "registry.reg")) as f:
                    self.assertIn('"Content Type"="audio/mpeg"', f.read())
            self.assertEqual(os.path.exists(os.path.join(home, "Desktop", "lumetra.desktop")), copied, icon)


if __name__ == "__main__":
    unittest.main()
