#!/usr/bin/env bash
# Starts the built player. Until the player exists, a file argument is decoded.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bin=$here/build
# The station directory (and its demo stations) comes from lumetra-station on this
# machine: start it in the background for this session when nothing answers on
# the directory port and no other directory is configured.
station_pid=""
start_demo_station() {
  local station=$bin/tools/station/lumetra-station
  [ -x "$station" ] && [ -z "${LUMETRA_DIRECTORY:-}" ] || return 0
  if ! (exec 3<>/dev/tcp/127.0.0.1/8642) 2>/dev/null; then
    "$station" --demo >/dev/null 2>&1 </dev/null &
    station_pid=$!
    # Give it a moment to listen, so the first directory fetch finds it.
    for _ in $(seq 50); do
      (exec 3<>/dev/tcp/127.0.0.1/8642) 2>/dev/null && break
      sleep 0.1
    done
  fi
}
run_player() {
  if [ -z "$station_pid" ]; then
    exec "$@"
  fi
  local rc=0
  "$@" || rc=$?
  kill "$station_pid" 2>/dev/null || true
  wait "$station_pid" 2>/dev/null || true
  exit "$rc"
}

if [ -x "$bin/app/lumetra" ]; then
  start_demo_station
  if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && "$bin/app/lumetra" --has-window 2>/dev/null; then
    run_player "$bin/app/lumetra" "$@"
  fi
  run_player "$bin/app/lumetra" --headless "$@"
fi
if [ $# -ge 1 ] && [ -x "$bin/tools/lumetra-decode" ]; then
  out=${TMPDIR:-/tmp}/lumetra-decoded.wav
  "$bin/tools/lumetra-decode" "$1" "$out"
  echo "decoded to $out" >&2
  exit 0
fi
echo "nothing to run yet" >&2
exit 1
