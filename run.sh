#!/usr/bin/env bash
# ./run.sh [FILE|ADDRESS]: installs what is missing, builds, and runs the player:
# the window when a display exists, else the headless front end. Standard output
# belongs to the player (its events): everything before it goes to standard error,
# the build's own lines to build/build.log.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
say() { echo "run.sh: $*" >&2; }

say "checking packages..."
"$here/scripts/deps.sh" >&2

mkdir -p "$here/build"
logfile=$here/build/build.log
if [ -f "$here/build/build.ninja" ]; then
  say "building what changed (log: build/build.log)..."
else
  say "building (first time, about 3 minutes on 2 cores; log: build/build.log)..."
fi
# One line per tenth of the build's steps.
progress() {
  local last=0 line
  : > "$logfile"
  while IFS= read -r line; do
    printf '%s\n' "$line" >> "$logfile"
    if [[ $line =~ ^\[([0-9]+)/([0-9]+)\] ]]; then
      local tenth=$(( BASH_REMATCH[1] * 10 / BASH_REMATCH[2] ))
      if [ "$tenth" -gt "$last" ]; then
        last=$tenth
        say "  ${tenth}0% (${BASH_REMATCH[1]} of ${BASH_REMATCH[2]} steps)"
      fi
    fi
  done
}
if ! "$here/scripts/build.sh" "$here/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo 2>&1 | progress; then
  say "the build failed; its last lines:"
  tail -n 30 "$logfile" >&2
  exit 1
fi
say "starting the player"
exec "$here/scripts/launch.sh" "$@"
