#!/usr/bin/env python3
"""Mutation testing for one subsystem: how many small faults do its tests catch?

The tool applies one mutation at a time to the C++ sources (.cpp, .h) of a
subsystem folder, rebuilds only the test programs the chosen tests need, runs
those tests with a time-out and records the outcome:

  killed        a test failed (an end-to-end test must fail twice in a row,
                as it keeps one retry in the suite)
  timeout       a test ran past its time-out (counted as caught)
  survived      every test passed, or the mutated file is not built into any
                selected test program
  no-compile    the mutant did not build (not counted in the rate)

kill rate = (killed + timeout) / (killed + timeout + survived)

Mutations:
  operator     a comparison, logical, arithmetic or bitwise operator flipped
               (< <=, > >=, == !=, && ||, + -, * /, %, << >>, & |, ^, ++ --,
               compound assignments); only binary operators written with
               blanks on both sides, so templates, pointers and unary signs
               are left alone
  constant     an integer or decimal literal changed by +1 or -1
  negate       the condition of an if or while negated
  remove       an expression statement in a function body replaced by {}
               (declarations and returns of a value are kept)

Never mutated: comments, string and character literals, preprocessor lines,
static_assert, array bounds in declarations, and tables of data (brace
initialisers made only of literals): changing one entry of a table tests the
table, not the code.

The candidate sites are enumerated in sorted file order and N of them drawn
with random.Random(seed).sample, so the same sources and seed always give the
same sample; runs before and after a change of the tests are comparable.

The sources are restored whatever happens (try/finally and a signal handler);
a run that was killed outright leaves a backup in BUILD/mutate-backup, which the
next start restores. Results go to a JSON file (and a CSV beside it) after every
mutation, so an interrupted run resumes where it stopped.

A time-out is not retried: on a loaded machine a slow clean test can time out,
so keep --timeout-factor generous there and read single time-outs with care.

Comparing two versions of the tests on the same product code: run the second
in its own tree with --prior FIRST.json (build failures are taken over and the
mutants caught before are tried first; with ccache and a common base_dir the
mutated objects come from the cache). --follow starts the second run while the
first is still going and takes each mutant once the first has built it;
--shard K/M splits one run over M trees that share the result file.

Examples:
  scripts/mutate.py run --build build-mut --folder mpeg -L unit -R '^(mpeg|layer3)' \\
      -n 60 --seed 17 --out mutation/mpeg.json
  scripts/mutate.py list --folder settings -n 60 --seed 17
  scripts/mutate.py summary mutation/before-*.json
  scripts/mutate.py run --build build-mut --folder mpeg -L unit -R '^(mpeg|layer3)' \\
      -n 60 --seed 17 --prior mutation/before-mpeg.json --out mutation/after-mpeg.json
  scripts/mutate.py compare mutation/before-mpeg.json mutation/after-mpeg.json

Configure the build dir for speed, e.g.
  cmake -S . -B build-mut -G Ninja -DCMAKE_BUILD_TYPE=None -DCMAKE_CXX_FLAGS=-O1 \\
      -DLUMETRA_BENCH=OFF -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=lld
"""

import argparse
import csv
import fcntl
import hashlib
import json
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import time

SOURCE_SUFFIXES = (".cpp", ".h")

# --------------------------------------------------------------------------
# Reading C++: a mask with comments, literals and preprocessor lines blanked.


def mask_source(text):
    """Returns text of the same length where comments, string and character
    literals and preprocessor lines are spaces (line feeds kept), so that
    offsets found in the mask are offsets in the source."""
    out = list(text)
    n = len(text)
    i = 0
    line_start = True

    def blank(a, b):
        for k in range(a, b):
            if out[k] != "\n":
                out[k] = " "

    while i < n:
        c = text[i]
        if c == "\n":
            line_start = True
            i += 1
            continue
        if line_start and c in " \t":
            i += 1
            continue
        if line_start and c == "#":
            j = i
            while j < n and text[j] != "\n":
                if text[j] == "\\" and j + 1 < n and text[j + 1] == "\n":
                    j += 2
                    continue
                j += 1
            blank(i, j)
            i = j
            continue
        line_start = False
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            blank(i, j)
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            blank(i, j)
            i = j
        elif c == "R" and text.startswith('"', i + 1) and (i == 0 or not (text[i - 1].isalnum() or text[i - 1] == "_")):
            m = re.match(r'R"([^(\s]*)\(', text[i:])
            if not m:
                i += 1
                continue
            end = text.find(")" + m.group(1) + '"', i + m.end())
            j = n if end < 0 else end + len(m.group(1)) + 2
            blank(i, j)
            i = j
        elif c == '"' or (c == "'" and not (i > 0 and text[i - 1].isalnum())):
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            j = min(j + 1, n)
            blank(i, j)
            i = j
        else:
            i += 1
    return "".join(out)


# --------------------------------------------------------------------------
# Candidate sites.

OPERATOR_SWAP = {
    "<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "==",
    "&&": "||", "||": "&&",
    "+": "-", "-": "+", "*": "/", "/": "*", "%": "*",
    "<<": ">>", ">>": "<<", "&": "|", "|": "&", "^": "&",
    "+=": "-=", "-=": "+=", "*=": "/=", "/=": "*=", "<<=": ">>=", ">>=": "<<=",
    "|=": "&=", "&=": "|=",
}
OPERATOR_RE = re.compile(
    r"(?<=[ \t])(<<=|>>=|==|!=|<=|>=|&&|\|\||\+=|-=|\*=|/=|\|=|&=|<<|>>|<|>|\+|-|\*|/|%|&|\||\^)(?=[ \t\n])")
INCREMENT_RE = re.compile(r"\+\+|--")
NUMBER_RE = re.compile(
    r"(?<![\w.])(0[xX][0-9a-fA-F]+|\d+\.\d*|\d+)([uUlLfF]*)(?![\w.'])")
ARRAY_DECLARATION_RE = re.compile(r"\b([A-Za-z_][\w:]*)(?:<[^;{}()]*>)?[\s*&]+[A-Za-z_]\w*((?:\[[^\]]*\])+)\s*(?:=|;|\{)")
CONDITION_RE = re.compile(r"\b(if|while)\s*\(")
NOT_STATEMENT_WORDS = {
    "if", "for", "while", "switch", "do", "else", "case", "default", "goto", "try",
    "catch", "using", "typedef", "static_assert", "namespace", "template",
    "public", "private", "protected", "friend", "class", "struct", "enum", "union",
}
EXPRESSION_WORDS = {"delete", "throw"}
CODE_BRACE_AFTER = {"else", "do", "try", "const", "noexcept", "override", "final", "mutable"}


class Site:
    __slots__ = ("file", "start", "end", "kind", "original", "replacement", "line", "col")

    def __init__(self, file, start, end, kind, original, replacement):
        self.file, self.start, self.end = file, start, end
        self.kind, self.original, self.replacement = kind, original, replacement
        self.line = self.col = 0

    @property
    def key(self):
        return f"{self.file}:{self.line}:{self.col}:{self.kind}:{self.replacement}"


def match_close(mask, i, open_ch, close_ch):
    """Index of the bracket closing the one at i, or -1."""
    depth = 0
    for j in range(i, len(mask)):
        if mask[j] == open_ch:
            depth += 1
        elif mask[j] == close_ch:
            depth -= 1
            if depth == 0:
                return j
    return -1


def previous_token(mask, i):
    """The token that ends just before offset i (a word or one character)."""
    j = i - 1
    while j >= 0 and mask[j].isspace():
        j -= 1
    if j < 0:
        return ""
    if mask[j].isalnum() or mask[j] == "_":
        k = j
        while k >= 0 and (mask[k].isalnum() or mask[k] == "_"):
            k -= 1
        return mask[k + 1:j + 1]
    return mask[j]


def brace_regions(mask):
    """Classifies every brace: returns (code_spans, table_spans). A code span is
    a function or block body; a table span a brace initialiser of literals only."""
    code, tables = [], []
    stack = []  # (offset, kind)
    for i, c in enumerate(mask):
        if c == "{":
            prev = previous_token(mask, i)
            parent = stack[-1][1] if stack else "scope"
            if prev in ("=", "]", ",", "(") or (parent == "init" and prev in ("{", ",")):
                kind = "init"
            elif prev == ")" or prev in CODE_BRACE_AFTER:
                kind = "code"
            elif parent == "code" and prev in (";", "{", "}", ":", "]"):
                kind = "code"
            elif prev == "]":
                kind = "code"  # a lambda without parameters
            elif parent == "code" and (prev[:1].isalnum() or prev[:1] == "_"):
                kind = "init"  # brace initialisation of a local
            else:
                kind = "scope"
            stack.append((i, kind))
        elif c == "}" and stack:
            start, kind = stack.pop()
            if kind == "code":
                code.append((start, i))
            elif kind == "init" and not (stack and stack[-1][1] == "init"):
                body = mask[start:i + 1]
                if re.fullmatch(r"[\s{},\-+.0-9a-fA-FxXuUlL]*", body) and re.search(r"\d", body):
                    tables.append((start, i))
    return code, tables


def inside(spans, i):
    return any(a <= i <= b for a, b in spans)


def statement_sites(rel, mask, code_spans):
    sites = []
    for a, b in code_spans:
        i = a + 1
        depth_paren = 0
        start = None
        while i < b:
            c = mask[i]
            if c in "{}":
                # Nested blocks are handled as their own spans.
                close = match_close(mask, i, "{", "}") if c == "{" else i
                i = (close if close > 0 else i) + 1
                start = None
                continue
            if c == "(":
                depth_paren += 1
            elif c == ")":
                depth_paren -= 1
            elif c == ";" and depth_paren == 0:
                if start is not None:
                    add_statement(rel, mask, start, i + 1, sites)
                start = None
                i += 1
                continue
            if start is None and not c.isspace() and depth_paren == 0:
                start = i
            i += 1
    return sites


def add_statement(rel, mask, start, end, sites):
    text = mask[start:end]
    words = re.findall(r"[A-Za-z_]\w*", text)
    if not words or words[0] in NOT_STATEMENT_WORDS:
        return
    if ":" in text.split("(")[0] and "::" not in text.split("(")[0]:
        return  # a label or a case
    if words[0] == "return":
        if text.strip() != "return;":
            return
    elif words[0] not in ("break", "continue") and words[0] not in EXPRESSION_WORDS:
        head = re.split(r"=|\(|\{|;", text, maxsplit=1)[0]
        head = re.sub(r"<[^<>]*>", "", head)
        if len(re.findall(r"[A-Za-z_][\w:.\->\[\]]*", head.replace("->", "."))) > 1:
            return  # a declaration
        if re.match(r"\s*[A-Za-z_][\w:]*\s*<", text) and "=" not in head:
            return  # a templated declaration
    sites.append(Site(rel, start, end, "remove", mask[start:end], "{}"))


def find_sites(root, rel):
    text = read_text(os.path.join(root, rel))
    mask = mask_source(text)
    code, tables = brace_regions(mask)
    banned = list(tables)
    # Array bounds in declarations: a larger array behaves the same.
    for m in ARRAY_DECLARATION_RE.finditer(mask):
        if m.group(1) not in ("return", "delete", "throw"):
            banned.append((m.start(2), m.end(2)))
    for m in re.finditer(r"\bstatic_assert\s*\(", mask):
        close = match_close(mask, m.end() - 1, "(", ")")
        banned.append((m.start(), close))
    sites = []
    for m in OPERATOR_RE.finditer(mask):
        op = m.group(1)
        sites.append(Site(rel, m.start(), m.end(), "operator", op, OPERATOR_SWAP[op]))
    for m in INCREMENT_RE.finditer(mask):
        op = m.group(0)
        sites.append(Site(rel, m.start(), m.end(), "operator", op, "--" if op == "++" else "++"))
    for m in NUMBER_RE.finditer(mask):
        if re.search(r"[eE]", m.group(1)) and not m.group(1).lower().startswith("0x"):
            continue
        for delta in (1, -1):
            new = shift_number(m.group(1), delta)
            if new is not None:
                sites.append(Site(rel, m.start(1), m.end(1), "constant", m.group(1), new))
    for m in CONDITION_RE.finditer(mask):
        if re.match(r"\s*constexpr", mask[m.end():]):
            continue
        close = match_close(mask, m.end() - 1, "(", ")")
        if close < 0:
            continue
        begin = m.end()
        semi = mask.rfind(";", begin, close)
        if semi >= 0:
            begin = semi + 1  # if (init; condition)
        while mask[begin].isspace():
            begin += 1
        if re.match(r"\s*[A-Za-z_][\w:<>]*[\s*&]+[A-Za-z_]\w*\s*=[^=]", mask[begin:close]):
            continue  # the condition declares a variable: no place for a !
        cond = text[begin:close]
        sites.append(Site(rel, begin, close, "negate", cond, "!(" + cond + ")"))
    sites += statement_sites(rel, mask, code)
    sites = [s for s in sites if not inside(banned, s.start)]
    # Original text of statements comes from the source, not the mask.
    for s in sites:
        s.original = text[s.start:s.end]
    sites.sort(key=lambda s: (s.start, s.kind, s.replacement))
    lines = line_starts(text)
    for s in sites:
        s.line, s.col = offset_to_line(lines, s.start)
    return sites


def shift_number(lit, delta):
    if lit.lower().startswith("0x"):
        v = int(lit, 16) + delta
        if v < 0:
            return None
        digits = format(v, "X" if any(ch.isupper() for ch in lit[2:]) else "x")
        return lit[:2] + digits.zfill(len(lit) - 2)
    if "." in lit:
        whole, frac = lit.split(".")
        v = int(whole) + delta
        if v < 0:
            return None
        return f"{v}.{frac}"
    if len(lit) > 1 and lit.startswith("0"):
        return None  # octal: rare, left alone
    v = int(lit) + delta
    return None if v < 0 else str(v)


def line_starts(text):
    starts = [0]
    for m in re.finditer("\n", text):
        starts.append(m.end())
    return starts


def offset_to_line(starts, off):
    lo, hi = 0, len(starts) - 1
    while lo < hi:
        mid = (lo + hi + 1) // 2
        if starts[mid] <= off:
            lo = mid
        else:
            hi = mid - 1
    return lo + 1, off - starts[lo] + 1


def read_text(path):
    with open(path, encoding="utf-8", errors="surrogateescape", newline="") as f:
        return f.read()


def source_files(root, folder):
    files = []
    for dirpath, dirnames, filenames in os.walk(os.path.join(root, folder)):
        dirnames.sort()
        for name in filenames:
            if name.endswith(SOURCE_SUFFIXES):
                files.append(os.path.relpath(os.path.join(dirpath, name), root))
    return sorted(files)


def all_sites(root, folder, excludes):
    files = [f for f in source_files(root, folder) if not any(re.search(x, f) for x in excludes)]
    sites = []
    for f in files:
        sites += find_sites(root, f)
    return files, sites


def sources_digest(root, files):
    h = hashlib.sha1()
    for f in files:
        h.update(f.encode() + b"\0")
        with open(os.path.join(root, f), "rb") as fh:
            h.update(fh.read())
    return h.hexdigest()


def draw(sites, n, seed):
    if n >= len(sites):
        return list(sites)
    return random.Random(seed).sample(sites, n)


# --------------------------------------------------------------------------
# Applying and restoring a mutation.


class Mutator:
    """Writes one mutant at a time and always puts the original back."""

    def __init__(self, root, build):
        self.root = root
        self.backup_dir = os.path.join(build, "mutate-backup")
        self.state = os.path.join(self.backup_dir, "state.json")
        self.current = None

    def recover(self):
        """Restores a source left mutated by a run that was killed outright."""
        if not os.path.exists(self.state):
            return
        with open(self.state) as f:
            st = json.load(f)
        shutil.copyfile(st["backup"], st["path"])
        print(f"mutate: restored {st['path']} left mutated by an earlier run", file=sys.stderr)
        os.remove(self.state)

    def apply(self, site):
        path = os.path.join(self.root, site.file)
        os.makedirs(self.backup_dir, exist_ok=True)
        backup = os.path.join(self.backup_dir, "original")
        shutil.copyfile(path, backup)
        tmp = self.state + ".tmp"
        with open(tmp, "w") as f:
            json.dump({"path": path, "backup": backup}, f)
        os.replace(tmp, self.state)
        self.current = (path, backup)
        text = read_text(path)
        assert text[site.start:site.end] == site.original, site.key
        with open(path, "w", encoding="utf-8", errors="surrogateescape", newline="") as f:
            f.write(text[:site.start] + site.replacement + text[site.end:])

    def restore(self):
        if self.current is None:
            return
        path, backup = self.current
        shutil.copyfile(backup, path)
        os.remove(self.state)
        self.current = None


# --------------------------------------------------------------------------
# Tests and builds.


class Test:
    def __init__(self, name, command, env, cwd, labels):
        self.name, self.command, self.env, self.cwd, self.labels = name, command, env, cwd, labels
        self.clean = None

    @property
    def e2e(self):
        return "e2e" in self.labels


def select_tests(build, label, regex, exclude):
    cmd = ["ctest", "--test-dir", build, "--show-only=json-v1"]
    if label:
        cmd += ["-L", label]
    if regex:
        cmd += ["-R", regex]
    if exclude:
        cmd += ["-E", exclude]
    info = json.loads(subprocess.run(cmd, check=True, capture_output=True, text=True).stdout)
    tests = []
    for t in info.get("tests", []):
        props = {p["name"]: p["value"] for p in t.get("properties", [])}
        env = dict(e.split("=", 1) for e in props.get("ENVIRONMENT", []))
        labels = props.get("LABELS", [])
        tests.append(Test(t["name"], t.get("command"), env, props.get("WORKING_DIRECTORY", build), labels))
    return tests


def build_targets(build, tests, extra):
    """Ninja outputs named by the tests' commands and environments."""
    outputs = set()
    q = subprocess.run(["ninja", "-C", build, "-t", "targets", "all"], check=True, capture_output=True, text=True)
    for line in q.stdout.splitlines():
        outputs.add(line.rsplit(":", 1)[0].strip())
    build_abs = os.path.realpath(build)
    targets = set(extra)
    for t in tests:
        words = list(t.command) + list(t.env.values())
        for w in words:
            for part in re.split(r"[=;]", w):
                if part.startswith("/"):
                    rel = os.path.relpath(os.path.realpath(part), build_abs)
                    if rel in outputs:
                        targets.add(rel)
    return sorted(targets)


def run_build(build, targets, timeout):
    try:
        p = subprocess.run(["ninja", "-C", build, "-j2"] + targets, capture_output=True, text=True, timeout=timeout)
    except subprocess.TimeoutExpired:
        return False
    return p.returncode == 0


def built_sources(build, targets):
    """Absolute paths of the sources and headers compiled into the targets."""
    def lines(*tool):
        return subprocess.run(["ninja", "-C", build, "-t"] + list(tool), check=True,
                              capture_output=True, text=True).stdout.splitlines()

    def absolute(path):
        return os.path.normpath(os.path.join(build, path))

    sources = {absolute(x.strip()) for x in lines("inputs", *targets)}
    found = set()
    deps = None
    for line in lines("deps"):
        if line and not line[0].isspace():
            deps = None  # a new object
        elif line.strip() and deps is None:
            first = absolute(line.strip())
            deps = first in sources
            if deps:
                found.add(first)
        elif deps:
            found.add(absolute(line.strip()))
    return found | sources


def start(test, timeout):
    env = dict(os.environ)
    env.update(test.env)
    p = subprocess.Popen(test.command, cwd=test.cwd, env=env, stdin=subprocess.DEVNULL,
                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    return p, time.monotonic() + timeout, time.monotonic()


def stop(p):
    try:
        os.killpg(p.pid, signal.SIGKILL)
    except ProcessLookupError:
        pass
    p.wait()


def run_tests(tests, jobs, timeout_of):
    """Runs tests, jobs at a time, fastest first, until one fails.
    Returns (status, test name, {name: seconds})."""
    pending = sorted(tests, key=lambda t: t.clean or 0)
    running = []
    times = {}
    verdict = ("survived", "")
    try:
        while pending or running:
            while pending and len(running) < jobs:
                t = pending.pop(0)
                running.append((t,) + start(t, timeout_of(t)))
            time.sleep(0.05)
            for entry in list(running):
                t, p, deadline, began = entry
                rc = p.poll()
                if rc is None and time.monotonic() < deadline:
                    continue
                running.remove(entry)
                if rc is None:
                    stop(p)
                    return ("timeout", t.name, times)
                times[t.name] = time.monotonic() - began
                if rc != 0:
                    return ("killed", t.name, times)
        return verdict + (times,)
    finally:
        for t, p, _, _ in running:
            stop(p)


# --------------------------------------------------------------------------
# Result files.


def site_record(s):
    return {"key": s.key, "file": s.file, "line": s.line, "col": s.col, "kind": s.kind,
            "original": s.original, "replacement": s.replacement}


def save(path, data):
    # Shards of one run share the file: take in what the others recorded.
    with open(path + ".lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if os.path.exists(path):
            with open(path) as f:
                disk = {r["key"]: r for r in json.load(f)["mutations"]}
            for r in data["mutations"]:
                other = disk.get(r["key"], {})
                if not r.get("status") and other.get("status"):
                    for field in ("status", "test", "seconds"):
                        r[field] = other.get(field)
        tmp = path + ".tmp"
        with open(tmp, "w") as f:
            json.dump(data, f, indent=1)
        os.replace(tmp, path)
    with open(os.path.splitext(path)[0] + ".csv", "w", newline="") as f:
        w = csv.writer(f)
        w.writerow(["file", "line", "col", "kind", "original", "replacement", "status", "test", "seconds"])
        for r in data["mutations"]:
            w.writerow([r["file"], r["line"], r["col"], r["kind"], short(r["original"]), short(r["replacement"]),
                        r.get("status", ""), r.get("test", ""), r.get("seconds", "")])


def short(text, width=60):
    text = " ".join(text.split())
    return text if len(text) <= width else text[:width - 3] + "..."


def tally(data):
    c = {"killed": 0, "timeout": 0, "survived": 0, "no-compile": 0, "pending": 0}
    for r in data["mutations"]:
        c[r.get("status", "pending")] += 1
    counted = c["killed"] + c["timeout"] + c["survived"]
    return c, counted


def rate_text(data):
    c, counted = tally(data)
    caught = c["killed"] + c["timeout"]
    pct = f"{100.0 * caught / counted:.1f}%" if counted else "-"
    return caught, counted, pct, c


def describe(r):
    return f"{r['file']}:{r['line']}: {r['kind']} {short(r['original'], 40)!r} -> {short(r['replacement'], 40)!r}"


# --------------------------------------------------------------------------
# Commands.


class Interrupted(Exception):
    pass


def on_signal(signum, frame):
    raise Interrupted(f"signal {signum}")


def cmd_list(args):
    root = os.path.abspath(args.source)
    files, sites = all_sites(root, args.folder, args.exclude)
    sample = draw(sites, args.n, args.seed)
    kinds = {}
    for s in sites:
        kinds[s.kind] = kinds.get(s.kind, 0) + 1
    print(f"{args.folder}: {len(files)} files, {len(sites)} sites {kinds}; sample of {len(sample)} (seed {args.seed}):")
    for s in sample:
        print("  " + describe(site_record(s)))


def cmd_run(args):
    root = os.path.abspath(args.source)
    build = os.path.abspath(args.build)
    mut = Mutator(root, build)
    mut.recover()
    if args.out:
        os.makedirs(os.path.dirname(os.path.abspath(args.out)), exist_ok=True)
    files, sites = all_sites(root, args.folder, args.exclude)
    digest = sources_digest(root, files)
    sample = draw(sites, args.n, args.seed)
    tests = select_tests(build, args.label, args.regex, args.exclude_tests)
    if not tests:
        sys.exit("mutate: no test matches the selection")
    unbuilt = [t.name for t in tests if not t.command]
    if unbuilt:
        # ctest knows a test's command only once its program exists; a unit
        # test's program is the target of the same name.
        print(f"mutate: building {' '.join(unbuilt)}", file=sys.stderr)
        if subprocess.run(["ninja", "-C", build, "-j2"] + unbuilt + args.target, stdout=sys.stderr).returncode != 0:
            sys.exit("mutate: the tests' programs do not build; name their targets with --target")
        tests = select_tests(build, args.label, args.regex, args.exclude_tests)
        if any(not t.command for t in tests):
            sys.exit("mutate: some tests still have no program; name their targets with --target")
    targets = build_targets(build, tests, args.target)
    data = None
    if args.out and os.path.exists(args.out):
        with open(args.out) as f:
            data = json.load(f)
        if data.get("digest") != digest or data.get("seed") != args.seed or len(data["mutations"]) != len(sample):
            sys.exit(f"mutate: {args.out} is from other sources or another sample; remove it or pick another --out")
        if [t.name for t in tests] != data["tests"]:
            sys.exit(f"mutate: {args.out} used other tests: {data['tests']}")
    if data is None:
        data = {"folder": args.folder, "seed": args.seed, "n": args.n, "candidates": len(sites),
                "digest": digest, "label": args.label, "regex": args.regex, "exclude_tests": args.exclude_tests,
                "tests": [t.name for t in tests], "targets": targets, "timeout_factor": args.timeout_factor,
                "clean_seconds": {}, "mutations": [site_record(s) for s in sample]}
    for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(sig, on_signal)
    print(f"mutate: {args.folder}: {len(sites)} sites, sample {len(sample)}, seed {args.seed}; "
          f"tests {', '.join(data['tests'])}; targets {' '.join(targets)}", file=sys.stderr)

    if not run_build(build, targets, args.build_timeout):
        sys.exit("mutate: the unmutated sources do not build")
    reachable = built_sources(build, targets)
    if not data["clean_seconds"]:
        _, _, times = run_tests(tests, 1, lambda t: args.max_test_seconds)
        if len(times) != len(tests) or any(t.name not in times for t in tests):
            sys.exit("mutate: a selected test fails or times out on the unmutated sources")
        data["clean_seconds"] = {k: round(v, 2) for k, v in times.items()}
        if args.out:
            save(args.out, data)
    for t in tests:
        t.clean = data["clean_seconds"][t.name]
    print(f"mutate: clean run {sum(data['clean_seconds'].values()):.1f} s: {data['clean_seconds']}", file=sys.stderr)

    def timeout_of(t):
        return max(args.timeout_factor * t.clean, t.clean + args.min_timeout)

    by_key = {s.key: s for s in sample}
    try:
        order = list(enumerate(data["mutations"]))
        if args.prior:
            # Same sources and seed: a mutant that did not build before does not
            # build now; those caught before are tried first, as they are the
            # ones a change of the tests must still catch.
            prior = load(args.prior)
            if prior["digest"] != data["digest"] or prior["seed"] != data["seed"]:
                sys.exit(f"mutate: {args.prior} is from other sources or another seed")
            before = {r["key"]: r.get("status") for r in prior["mutations"]}
            for r in data["mutations"]:
                if not r.get("status") and before.get(r["key"]) == "no-compile":
                    r["status"], r["test"], r["seconds"] = "no-compile", "(as in the prior run)", 0
            if args.prior_caught_only:
                # Proves only that nothing caught before is missed now: the rest keep
                # the prior verdict, marked as not run.
                for r in data["mutations"]:
                    if not r.get("status") and before.get(r["key"]) not in ("killed", "timeout"):
                        r["status"], r["test"], r["seconds"] = before.get(r["key"]), "(prior verdict, not run)", 0
            if not args.follow:
                order.sort(key=lambda e: before.get(e[1]["key"]) not in ("killed", "timeout"))
        shard, shards = (int(x) for x in args.shard.split("/")) if args.shard else (0, 1)
        for i, r in order:
            if r.get("status") or i % shards != shard:
                continue
            while args.follow and not before.get(r["key"]):
                # Wait for the prior run, still going, to build this mutant: ours then
                # comes from the compiler cache.
                time.sleep(5)
                before = {x["key"]: x.get("status") for x in load(args.prior)["mutations"]}
            if args.follow and before.get(r["key"]) == "no-compile":
                r["status"], r["test"], r["seconds"] = "no-compile", "(as in the prior run)", 0
                if args.out:
                    save(args.out, data)
                continue
            if args.follow and args.prior_caught_only and before.get(r["key"]) not in ("killed", "timeout"):
                r["status"], r["test"], r["seconds"] = before.get(r["key"]), "(prior verdict, not run)", 0
                if args.out:
                    save(args.out, data)
                continue
            site = by_key[r["key"]]
            began = time.monotonic()
            try:
                mut.apply(site)
                if os.path.join(root, site.file) not in reachable:
                    r["status"], r["test"] = "survived", "(not built into the selected tests)"
                elif not run_build(build, targets, args.build_timeout):
                    r["status"], r["test"] = "no-compile", ""
                else:
                    status, name, _ = run_tests(tests, args.jobs, timeout_of)
                    if status == "killed" and next(t for t in tests if t.name == name).e2e:
                        again, _, _ = run_tests([next(t for t in tests if t.name == name)], 1, timeout_of)
                        if again == "survived":
                            status, name = "survived", ""
                    r["status"], r["test"] = status, name
            finally:
                mut.restore()
            r["seconds"] = round(time.monotonic() - began, 1)
            if args.out:
                save(args.out, data)
            print(f"[{i + 1}/{len(sample)}] {r['status']:10} {r['seconds']:6.1f}s {describe(r)} {r.get('test', '')}",
                  file=sys.stderr)
    except Interrupted as e:
        print(f"mutate: stopped by {e}; sources restored, resume with the same command", file=sys.stderr)
        sys.exit(130)
    finally:
        mut.restore()
        # Leave the build matching the restored sources.
        subprocess.run(["ninja", "-C", build, "-j2"] + targets, capture_output=True)
    print_report([data])


def print_report(datas, source=None):
    print("| folder | caught/counted | kill rate | killed | timeout | survived | no-compile | pending | tests |")
    print("|---|---|---|---|---|---|---|---|---|")
    for d in datas:
        caught, counted, pct, c = rate_text(d)
        print(f"| {d['folder']} | {caught}/{counted} | {pct} | {c['killed']} | {c['timeout']} | {c['survived']} | "
              f"{c['no-compile']} | {c['pending']} | {selection_text(d).replace('|', chr(92) + '|')} |")
    for d in datas:
        surv = [r for r in d["mutations"] if r.get("status") == "survived"]
        if surv:
            print(f"\nSurvivors in {d['folder']} ({len(surv)}):")
            for r in sorted(surv, key=lambda r: (r["file"], r["line"], r["col"])):
                note = "  (not built into the selected tests)" if r.get("test") else ""
                print(f"- {describe(r)}{note}")
                if source:
                    print(f"  `{source_line(source, r)}`")


def source_line(root, r):
    try:
        with open(os.path.join(root, r["file"]), encoding="utf-8", errors="replace") as f:
            return f.read().splitlines()[r["line"] - 1].strip()
    except (OSError, IndexError):
        return "?"


def selection_text(d):
    parts = []
    if d.get("label"):
        parts.append(f"-L {d['label']}")
    if d.get("regex"):
        parts.append(f"-R '{d['regex']}'")
    if d.get("exclude_tests"):
        parts.append(f"-E '{d['exclude_tests']}'")
    return " ".join(parts)


def load(path):
    with open(path) as f:
        return json.load(f)


def cmd_summary(args):
    print_report([load(p) for p in args.files], args.source)


def cmd_compare(args):
    before, after = load(args.before), load(args.after)
    if before["digest"] != after["digest"] or before["seed"] != after["seed"]:
        print("mutate: warning: the two runs are of different sources or seeds", file=sys.stderr)
    b = rate_text(before)
    a = rate_text(after)
    print(f"{before['folder']}: before {b[0]}/{b[1]} ({b[2]}), after {a[0]}/{a[1]} ({a[2]})")
    after_by_key = {r["key"]: r for r in after["mutations"]}
    lost = [r for r in before["mutations"] if r.get("status") in ("killed", "timeout")
            and after_by_key.get(r["key"], {}).get("status") == "survived"]
    gained = [r for r in before["mutations"] if r.get("status") == "survived"
              and after_by_key.get(r["key"], {}).get("status") in ("killed", "timeout")]
    for title, rows in (("caught before, survived after", lost), ("survived before, caught after", gained)):
        if rows:
            print(f"{title} ({len(rows)}):")
            for r in rows:
                print(f"- {describe(r)} (before: {r.get('test', '')})")
    return 1 if lost else 0


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = p.add_subparsers(dest="command", required=True)

    def sample_args(q):
        q.add_argument("--source", default=".", help="source root (default: .)")
        q.add_argument("--folder", required=True, help="subsystem folder, e.g. mpeg, engine, platform")
        q.add_argument("-n", type=int, default=60, help="mutations to draw (default 60)")
        q.add_argument("--seed", type=int, default=17, help="seed of the draw (default 17)")
        q.add_argument("--exclude", action="append", default=[],
                       help="regex of source paths to leave out (repeatable)")

    q = sub.add_parser("run", help="mutate, build, test and record")
    sample_args(q)
    q.add_argument("--build", required=True, help="build dir (Ninja) configured from --source")
    q.add_argument("-L", "--label", help="ctest label of the tests to run")
    q.add_argument("-R", "--regex", help="ctest -R regex of the tests to run")
    q.add_argument("-E", "--exclude-tests", help="ctest -E regex of tests to leave out")
    q.add_argument("--target", action="append", default=[],
                   help="extra ninja target the tests need (found from their commands otherwise)")
    q.add_argument("--prior", help="result file of an earlier run of the same sample: keep its no-compile "
                   "verdicts and try its caught mutations first")
    q.add_argument("--shard", metavar="K/M",
                   help="take only the mutations whose place in the sample is K modulo M; the M shards "
                   "run in M source trees at once and share --out")
    q.add_argument("--follow", action="store_true",
                   help="the --prior run is still going: take each mutant after it, in its order")
    q.add_argument("--prior-caught-only", action="store_true",
                   help="with --prior: run only the mutations it caught; the others take its verdict, "
                   "marked \"(prior verdict, not run)\"")
    q.add_argument("--out", help="result file (.json; a .csv is written beside it); resumes if it exists")
    q.add_argument("-j", "--jobs", type=int, default=2, help="tests run at once (default 2)")
    q.add_argument("--timeout-factor", type=float, default=3.0,
                   help="time-out of a test as a multiple of its clean run (default 3)")
    q.add_argument("--min-timeout", type=float, default=5.0,
                   help="a test's time-out is at least its clean run plus this (default 5 s)")
    q.add_argument("--max-test-seconds", type=float, default=600.0, help="time-out of the clean run")
    q.add_argument("--build-timeout", type=float, default=900.0, help="time-out of one rebuild")
    q.set_defaults(func=cmd_run)

    q = sub.add_parser("list", help="print the candidate count and the sample, change nothing")
    sample_args(q)
    q.set_defaults(func=cmd_list)

    q = sub.add_parser("summary", help="kill rates and survivors of result files")
    q.add_argument("files", nargs="+")
    q.add_argument("--source", help="source root: show the code line of each survivor")
    q.set_defaults(func=cmd_summary)

    q = sub.add_parser("compare", help="compare two runs of the same sample")
    q.add_argument("before")
    q.add_argument("after")
    q.set_defaults(func=cmd_compare)

    args = p.parse_args()
    sys.exit(args.func(args) or 0)


if __name__ == "__main__":
    main()
