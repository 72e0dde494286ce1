"""Playlists and the library through the headless front end: a list saved,
cleared and loaded again, the playlist of the last run, the library built on the
first start and loaded on the second, and hostile list files."""

import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "app"))
from headless_support import Scratch, make_mpeg, need, run_script  # noqa: E402


def listings(events, row="entry ", end="entries "):
    """The listings printed by `list` (or with "librow ", "librows ": by `library`
    and `expand`), each a list of the rows' texts."""
    found, current = [], []
    for e in events:
        if e.startswith(row):
            current.append(e.split(" ", 2)[2])
        elif e.startswith(end):
            assert row == "librow " or int(e.split()[1]) == len(current), events
            found.append(current)
            current = []
    return found


class Playlists(unittest.TestCase):
    def setUp(self):
        need("twolame")
        self.scratch = Scratch()
        os.makedirs(self.scratch.path("drives"))

    def tearDown(self):
        self.scratch.cleanup()

    def test_saved_cleared_and_loaded_gives_the_same_rows(self):
        files = [make_mpeg(self.scratch, name, "twolame", 44100, 2, 128, 1) for name in ("a b.mp2", "c.mp2", "d.mp2")]
        saved = self.scratch.path("lists/mine")
        os.makedirs(os.path.dirname(saved))
        status, events = run_script(self.scratch, "null", ["add " + f for f in files] + [
            "list", "select 2", "up", "list", "save " + saved, "new", "list", "load " + saved + ".lst", "list"])
        self.assertEqual(status, 0, events)
        moved = [files[0], files[2], files[1]]
        self.assertEqual(listings(events), [files, moved, [], moved])
        self.assertIn("dialog Save As", events)
        self.assertTrue(open(saved + ".lst", "rb").read().startswith(b"LumetraPlayList 00000000\r\n"))
        # The next start without a file shows the playlist of the last run.
        status, events = run_script(self.scratch, "null", ["list"])
        self.assertEqual(listings(events), [moved])

    def test_hostile_lists_give_errors_not_crashes(self):
        bad = self.scratch.path("bad.lst")
        open(bad, "wb").write(bytes(range(256)) * 40)
        folder_list = self.scratch.path("odd.lst")
        os.mkfifo(self.scratch.path("pipe.mp3"))
        open(folder_list, "wb").write(b"LumetraPlayList\r\nodd.lst\r\ndrives\r\npipe.mp3\r\n\xff\xfe.mp3\r\n" +
                                      b"y" * 100000 + b"\r\n")
        status, events = run_script(self.scratch, "null", [
            "load " + bad, "load " + self.scratch.path("missing.lst"), "load " + folder_list, "list", "select 7",
            "delete", "up", "down"])
        self.assertEqual(status, 0, events)
        self.assertEqual(events.count("message Open Playlist: Invalid Playlist file."), 2, events)
        self.assertEqual(listings(events), [[]])
        self.assertIn("error no such row: 7", events)


class Library(unittest.TestCase):
    def setUp(self):
        need("twolame")
        self.scratch = Scratch()
        os.makedirs(self.scratch.path("drives/deep/er"))

    def tearDown(self):
        self.scratch.cleanup()

    def test_first_start_builds_second_start_loads(self):
        one = make_mpeg(self.scratch, "drives/deep/er/Zulu.mp3", "twolame", 44100, 2, 128, 1)
        two = make_mpeg(self.scratch, "drives/alpha.MP3", "twolame", 32000, 1, 64, 1)
        make_mpeg(self.scratch, "drives/skip.mp2", "twolame", 32000, 1, 64, 1)
        status, events = run_script(self.scratch, "null", ["library", "expand 0", "play-library 1", "expand 9"])
        self.assertEqual(status, 0, events)
        self.assertEqual(listings(events, "librow ", "librows "), [["0 MP3"], ["0 MP3", "1 " + two, "1 " + one]])
        self.assertIn("error no such category row: 9", events)
        self.assertEqual(events.count("end"), 1, "only Audio CD tracks play on from the library")
        library = os.path.join(self.scratch.env["XDG_DATA_HOME"], "lumetra", "library.lst")
        self.assertEqual(open(library, "rb").read(),
                         ("LumetraPlayList 00000000\r\n%s\r\n%s\r\n" % (two, one)).encode())

        os.remove(one)
        empty = dict(LUMETRA_DRIVES=self.scratch.path("nothing"))
        status, events = run_script(self.scratch, "null", ["library", "expand 0"], extra_env=empty)
        self.assertEqual(listings(events, "librow ", "librows "), [["0 MP3"], ["0 MP3", "1 " + two]])


if __name__ == "__main__":
    unittest.main()
