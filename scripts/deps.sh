#!/usr/bin/env bash
# Installs the Debian packages the build, the player and the tests need; skips
# what is installed. Uses sudo when not root.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
  qt6-base-dev libpulse-dev libasound2-dev
  libavformat-dev libavcodec-dev libswresample-dev libswscale-dev libavutil-dev
  libfluidsynth-dev fluidsynth timgm6mb-soundfont libcdio-dev libcdio-paranoia-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  mpg123 ffmpeg lame twolame sox madplay pulseaudio pulseaudio-utils libasound2-plugins time
  xvfb xdotool imagemagick fonts-liberation python3-pil tinyproxy python3 curl procps
  libsystemd-dev dbus-daemon playerctl libglib2.0-bin desktop-file-utils
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}" >&2
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
