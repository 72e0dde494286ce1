#!/usr/bin/env bash
# Regenerates resources/wave/IDLE.wav: the soft hiss-and-hum that loops while a
# radio transmission is lost. Half a second, 8-bit mono at 8000 Hz (about 4 KB).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
sox -n -r 8000 -b 8 -c 1 "$here/resources/wave/IDLE.wav" \
  synth 0.5 pinknoise synth 0.5 sine mix 100 vol 0.12 fade t 0 0.5 0 remix 1
