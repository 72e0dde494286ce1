#!/usr/bin/env python3
"""The web services through `lumetra --headless`, against real servers on
loopback: lumetra-station's directory service, the test's HTTP fixture server
(an MP3 stream, also throttled) and tinyproxy with Basic authorisation."""
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import threading

build = os.environ["LUMETRA_BUILD_DIR"]
source = os.environ["LUMETRA_SOURCE_DIR"]
sys.path.insert(0, os.path.join(source, "tests", "app"))
import headless_support as hs  # noqa: E402

player_bin = os.path.join(build, "app", "lumetra")
station_bin = os.path.join(build, "tools", "station", "lumetra-station")
decode_bin = os.path.join(build, "tools", "decode", "lumetra-decode")
hs.PLAYER = player_bin
fixture = os.path.join(source, "tests", "web", "http_fixture_server.py")
work = tempfile.mkdtemp(prefix="lumetra-web-e2e-")
failures = []
scratches = []


def check(condition, what):
    print("ok:" if condition else "FAIL:", what, flush=True)
    if not condition:
        failures.append(what)
    return condition


def Player(name, args=(), extra_env=None):
    """The headless player in a folder of its own (p.dir), on the null device unless told."""
    scratch = hs.Scratch()
    scratches.append(scratch)
    env = dict(extra_env or {})
    p = hs.Player(scratch, env.pop("LUMETRA_AUDIO", "null"), args, env)
    p.dir = scratch.dir
    return p


def expect(p, predicate, timeout=20):
    """The next new event that satisfies predicate, or None."""
    try:
        return p.wait_for(predicate, timeout, since=len(p.events))
    except AssertionError:
        return None


def finish(p, timeout=60):
    try:
        return p.finish(timeout)[0]
    except AssertionError:
        return None


station_udp = hs.free_port(socket.SOCK_DGRAM)


def start_station():
    port = hs.free_port()
    # One station on a free port (the demo set's fixed ports could be in use).
    proc = subprocess.Popen([station_bin, "--category", "Demo", "--speed", "16k", "--directory-port", str(port),
                             "--directory-message", "4:Welcome to the demo", "--directory-version",
                             "1.40:http://www.lumetra.example/download/", "--port", str(station_udp)],
                            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if not hs.wait_listening(port):
        proc.kill()
        raise SystemExit("lumetra-station did not start its directory service")
    return proc, port


def directory_and_links(directory_port):
    env = {"LUMETRA_DIRECTORY": "127.0.0.1:%d" % directory_port}
    p = Player("directory", extra_env=env)
    rows = p.rows_after("directory")
    check(rows and rows[0] == "row 0 1 + Demo", "directory shows its category: %s" % rows)
    check(any(l == "message Message from Lumetra Software: Welcome to the demo" for l in p.events),
          "directory message shown")
    check(any(l.startswith("message New version: A newer version") for l in p.events), "newer version asked")
    check(any(l == "open http://www.lumetra.example/download/" for l in p.events), "download address opened on Yes")
    rows = p.rows_after("activate 0")
    check(len(rows) >= 2 and rows[1].startswith("row 1 2 +* 127.0.0.1:"), "category opens: %s" % rows)
    mark = len(p.events)
    again = p.rows_after("directory")
    check(again == rows, "refresh keeps the category open")
    check(not any(l.startswith("message") for l in p.events[mark:]), "message and version only once")
    # A station row tunes in: the record is fetched, the receiver logs on.
    p.send("activate 1")
    tuned = expect(p, lambda l: l.startswith("title Radio Lumetra (") or l.startswith("error"), 20)
    check(tuned is not None and tuned.startswith("title Radio Lumetra (Lumetra Demo"),
          "station row tunes in: %s" % tuned)
    p.send("radio-stop")
    # A station file does the same.
    rdl = os.path.join(work, "demo.rdl")
    with open(rdl, "w") as f:
        f.write("127.0.0.1:%d Demo From File\n" % station_udp)
    p.send("play " + rdl)
    tuned = expect(p, lambda l: l.startswith("title Radio Lumetra (") or l.startswith("error"), 20)
    check(tuned is not None and tuned.startswith("title Radio Lumetra ("), "station file tunes in: %s" % tuned)
    p.send("radio-stop")
    p.send("links")
    link = expect(p, lambda l: l.startswith("link "))
    check(link == "link 0 http://www.lumetra.example/", "links fetched: %s" % link)
    p.send("quit")
    check(finish(p) == 0, "directory run exits 0")
    # A second run: the message is remembered, the version is asked again.
    p3 = Player("directory3", extra_env=dict(env, XDG_CONFIG_HOME=os.path.join(p.dir, "config")))
    p3.rows_after("directory")
    check(not any(l.startswith("message Message from") for l in p3.events), "message not shown again next run")
    check(any(l.startswith("message New version") for l in p3.events), "version asked again next run")
    p3.send("quit")
    finish(p3)


TREE = ("+ Rock\n++ Classic\n++* 7F000001 24 24 ?/? Old Rock\n+* 7F000001:4000 12 12 ?/? Rock One\n"
        "+ Talk 0\n+* 0A000001 36 36 ?/? Fast Talk\nend of list\nautorefresh: 90\nend of all\n")


def directory_tree():
    """A directory of nested categories from the fixture server: opening, closing
    and reopening keep the open subcategories, a refresh keeps what was open, and
    the connection speed (28.8 by default: at most 24) filters stations."""
    root = os.path.join(work, "tree-www")
    os.makedirs(root)
    listing = os.path.join(root, "%2Fcgi-local%2Fkvo_list_stations.prl")
    with open(listing, "w") as f:
        f.write(TREE)
    server = subprocess.Popen([sys.executable, fixture, root], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                              text=True)
    port = int(server.stdout.readline())
    try:
        p = Player("tree", extra_env={"LUMETRA_DIRECTORY": "127.0.0.1:%d" % port})

        def texts(command, count):
            """The rows a command prints: waits for the last one wanted, then for any more."""
            since = len(p.events)
            p.send(command)
            expect(p, lambda l: l.startswith("row %d " % (count - 1)), 5)
            p.quiet_for(0.2)
            return [l.split(" ", 3)[3] for l in p.events[since:] if l.startswith("row ")]

        rock, classic, old, one = "+ Rock", "++ Classic", "++* 127.0.0.1:3456 24 ?/? Old Rock", \
            "+* 127.0.0.1:4000 12 ?/? Rock One"
        steps = [("directory", [rock, "+ Talk"]), ("activate 0", [rock, classic, one, "+ Talk"]),
                 ("activate 1", [rock, classic, old, one, "+ Talk"]), ("activate 0", [rock, "+ Talk"]),
                 ("activate 0", [rock, classic, old, one, "+ Talk"]), ("activate 4", [rock, classic, old, one, "+ Talk"])]
        for command, want in steps:
            got = texts(command, len(want))
            check(got == want, "tree: %s gives %s" % (command, got))
        with open(listing, "w") as f:
            f.write("+ New\n+* 01010101 12 12 ?/? N\n" + TREE)
        got = texts("directory", 6)
        check(got == ["+ New", rock, classic, old, one, "+ Talk"], "tree: refresh keeps what was open: %s" % got)
        p.send("quit")
        finish(p)
    finally:
        server.stdin.close()
        server.kill()
        server.wait()


def proxy(directory_port):
    proxy_port = hs.free_port()
    conf = os.path.join(work, "tinyproxy.conf")
    with open(conf, "w") as f:
        f.write("Port %d\nListen 127.0.0.1\nTimeout 10\nAllow 127.0.0.1\nBasicAuth alice w0nder-land\n"
                "DisableViaHeader Yes\nLogLevel Critical\nLogFile \"%s/tp.log\"\nPidFile \"%s/tp.pid\"\n"
                % (proxy_port, work, work))
    tp = subprocess.Popen(["tinyproxy", "-d", "-c", conf], stdin=subprocess.DEVNULL,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        check(hs.wait_listening(proxy_port), "tinyproxy listens")
        p = Player("proxy", extra_env={"LUMETRA_DIRECTORY": "127.0.0.1:%d" % directory_port})
        p.send("proxy 127.0.0.1 %d alice wrong" % proxy_port)
        rows = p.rows_after("directory")
        check("dialog Proxy Information" in p.events, "wrong password opens the proxy dialog")
        check(rows == ["row 0 1 + Failed to get the station directory."], "cancelled dialog: fetch fails: %s" % rows)
        p.send("proxy 127.0.0.1 %d alice w0nder-land" % proxy_port)
        rows = p.rows_after("directory")
        check(rows and rows[0] == "row 0 1 + Demo", "right password fetches through the proxy: %s" % rows)
        p.send("proxy - 0")
        rows = p.rows_after("directory")
        check(rows and rows[0] == "row 0 1 + Demo", "no proxy after '-': %s" % rows)
        p.send("quit")
        finish(p)
        reg = open(os.path.join(p.dir, "config", "lumetra", "registry.reg")).read()
        check('"ProxyServer"=""' in reg and "w0nder" not in reg, "proxy values stored, password scrambled")
    finally:
        tp.kill()
        tp.wait()


def make_song():
    """A 10-second MP3 (64 kbit/s) and what the player gives for it from disk."""
    raw = os.path.join(work, "song.wav")
    mp3 = os.path.join(work, "song.mp3")
    subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", raw, "synth", "10", "sine", "300:900",
                    "sine", "450"], check=True)
    subprocess.run(["lame", "--quiet", "-b", "64", "--cbr", raw, mp3], check=True)
    reference = os.path.join(work, "song-decoded.wav")
    subprocess.run([decode_bin, "--no-gapless", mp3, reference], check=True, stdout=subprocess.DEVNULL)
    direct = os.path.join(work, "song-direct.wav")
    d = Player("direct", [mp3], extra_env={"LUMETRA_AUDIO": "file-fast:" + direct})
    finish(d, 60)
    return mp3, hs.read_wav(reference), hs.read_wav(direct)


def stream(song, throttled):
    mp3, (ref_rate, ref_channels, decoded), (_, _, want) = song
    name = "stream-slow" if throttled else "stream"
    root = os.path.join(work, name + "-www")
    os.makedirs(root)
    # The fixture serves "/song.mp3" from its quoted name, "/slow/song.mp3" from the plain one.
    shutil.copy(mp3, os.path.join(root, "song.mp3"))
    shutil.copy(mp3, os.path.join(root, "%2Fsong.mp3"))
    server = subprocess.Popen([sys.executable, fixture, root], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                              text=True)
    port = int(server.stdout.readline())
    try:
        # Throttled: 62500 bytes at once, then 1700 bytes a second against the 8000
        # a second that playback uses (which starts past 64000).
        target = "/slow/song.mp3?rate=1700&after=62500" if throttled else "/song.mp3"
        pls = os.path.join(work, name + ".pls")
        with open(pls, "w") as f:
            f.write("[playlist]\nNumberOfEntries=1\nFile1=http://127.0.0.1:%d%s\n" % (port, target))
        out = os.path.join(work, name + "-out.wav")
        # The throttled run plays in real time so it can catch up with the download.
        device = "file:" if throttled else "file-fast:"
        p = Player(name, [pls], extra_env={"LUMETRA_AUDIO": device + out})
        code = finish(p, 90)
        check(code == 0, "%s: player ends by itself" % name)
        states = [l for l in p.events if l.startswith("state ")]
        shown = [int(l.split()[2]) for l in p.events if l.startswith("status streaming ")]
        check(all(n < 64000 for n in shown), "%s: download progress shown only before playback: %s" % (name, shown[-3:]))
        if throttled:
            check(shown, "%s: download progress shown before playback" % name)
        if throttled:
            paused = "state paused" in states
            check(paused, "%s: pauses near the downloaded end: %s" % (name, states))
            if paused:
                after = states[states.index("state paused") + 1:]
                check("state playing" in after, "%s: resumes by itself" % name)
        rate, channels, got = hs.read_wav(out)
        check((channels, rate) == (ref_channels, ref_rate), "%s: output format %d ch %d Hz" % (name, channels, rate))
        prime = 1024
        check(got[:prime] == bytes(prime), "%s: priming silence first" % name)
        check(len(got) == prime + len(decoded), "%s: priming and every decoded frame (%d vs %d bytes)"
              % (name, len(got), prime + len(decoded)))
        check(got == want, "%s: exactly what playing the file from disk gives" % name)
        check(not os.path.exists(os.path.join(p.dir, "data", "lumetra", " Streaming MP3")),
              "%s: stream file deleted at shutdown" % name)
    finally:
        server.stdin.close()
        server.kill()
        server.wait()


def main():
    # The directory tree runs beside the station's directory and the proxy.
    tree = threading.Thread(target=directory_tree)
    tree.start()
    station, directory_port = start_station()
    try:
        directory_and_links(directory_port)
        proxy(directory_port)
    finally:
        station.kill()
        station.wait()
    song = make_song()
    tree.join()
    stream(song, False)
    stream(song, True)
    if failures:
        print("%d failed" % len(failures))
        return 1
    shutil.rmtree(work, ignore_errors=True)
    for scratch in scratches:
        scratch.cleanup()
    print("all passed")
    return 0


sys.exit(main())
