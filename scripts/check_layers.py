#!/usr/bin/env python3
"""Checks every #include "folder/..." line of the product's sources against the
allowed arrows between subsystems (the layout table of ARCHITECTURE.md).

  check_layers.py [SOURCE_ROOT]

Prints each include that runs against an arrow, as FILE:LINE: from -> to, and
exits 1 when there is one. tests/, fuzz/ and bench/ may include anything."""
import os
import re
import sys

# folder -> folders it may include directly (its own included). An arrow given
# as "folder/sub" allows only that part of the folder.
ALLOWED = {
    "platform": set(),
    "media": set(),
    "mpeg": {"platform/resources"},
    "engine": {"media", "mpeg", "platform"},
    "radio": {"engine", "media", "platform"},
    "web": {"media", "settings", "platform"},
    "playlist": {"media", "engine", "settings", "platform"},
    "settings": {"platform"},
    "app": {"platform", "media", "mpeg", "engine", "radio", "web", "playlist", "settings"},
    "ui": {"app", "platform", "media", "mpeg", "engine", "radio", "web", "playlist", "settings"},
    "resources": set(),
    "tools": {"platform", "media", "mpeg", "engine", "radio", "web", "playlist", "settings"},
}
# The wavelet codec is pure computation: only its own folder and the standard library.
PURE = {"radio/codec": set()}

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
SOURCES = (".h", ".hpp", ".cpp", ".cc", ".c")


def allowed(rel_file, target):
    parts = rel_file.split("/")
    folder = parts[0]
    target_folder = target.split("/")[0]
    for prefix, arrows in PURE.items():
        if rel_file.startswith(prefix + "/"):
            return target.startswith(prefix + "/") or any(target.startswith(a + "/") for a in arrows)
    if target_folder == folder:
        return True
    if target_folder not in ALLOWED:
        return True  # a header beside the file or from a library, not one of ours
    return any(target == a or target.startswith(a + "/") for a in ALLOWED[folder])


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), ".."))
    problems = []
    for folder in sorted(ALLOWED):
        for base, dirs, files in os.walk(os.path.join(root, folder)):
            dirs.sort()
            for name in sorted(files):
                if not name.endswith(SOURCES):
                    continue
                path = os.path.join(base, name)
                rel = os.path.relpath(path, root)
                with open(path, encoding="utf-8", errors="replace") as f:
                    for number, line in enumerate(f, 1):
                        m = INCLUDE.match(line)
                        if m and not allowed(rel, m.group(1)):
                            problems.append("%s:%d: %s -> %s" % (rel, number, rel.split("/")[0], m.group(1)))
    for p in problems:
        print(p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
