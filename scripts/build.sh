#!/usr/bin/env bash
# build.sh DIR [cmake options...]: configures (once) and builds into DIR.
set -euo pipefail
dir=$1; shift
src=$(cd "$(dirname "$0")/.." && pwd)
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S "$src" -B "$dir" -G Ninja "$@" >/dev/null
fi
# LUMETRA_BUILD_TARGET limits the build to one target (and what it needs).
cmake --build "$dir" -j"$(nproc)" ${LUMETRA_BUILD_TARGET:+--target "$LUMETRA_BUILD_TARGET"}
