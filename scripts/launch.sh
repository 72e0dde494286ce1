#!/usr/bin/env bash
# Starts the built player. Until the player exists, a file argument is decoded.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bin=$here/build
if [ -x "$bin/app/lumetra" ]; then
  if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && "$bin/app/lumetra" --has-window 2>/dev/null; then
    exec "$bin/app/lumetra" "$@"
  fi
  exec "$bin/app/lumetra" --headless "$@"
fi
if [ $# -ge 1 ] && [ -x "$bin/tools/lumetra-decode" ]; then
  out=${TMPDIR:-/tmp}/lumetra-decoded.wav
  "$bin/tools/lumetra-decode" "$1" "$out"
  echo "decoded to $out"
  exit 0
fi
echo "nothing to run yet" >&2
