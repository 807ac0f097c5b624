#!/usr/bin/env bash
# Installs every Debian package that building, testing and running the player needs.
# README and CI both call this one script, so the two can never drift apart.
# Fast when everything is already there: it asks dpkg first and only touches apt for what is missing.
set -euo pipefail

packages=(
  # toolchain
  cmake ninja-build g++ pkg-config ccache clang libclang-rt-14-dev
  # pictures and archives
  zlib1g-dev libpng-dev libjpeg62-turbo-dev
  # window, input, audio device
  libsdl2-dev
  # glyphs and font lookup, with Japanese fonts
  libfreetype-dev libfontconfig-dev fonts-ipafont-gothic fonts-ipafont-mincho
  # media
  libogg-dev libvorbis-dev libfluidsynth-dev timgm6mb-soundfont
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev
  # sample-rate conversion of sounds at rates the mixer does not take
  libsamplerate0-dev
  # tests and benchmarks
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  # the checks that read the player's output back (its machine code, the demo's recorded sound)
  python3
  # the Unicode line-breaking data the text layout's break rules are checked against
  unicode-data
  # reference implementations that benchmarks compare against
  libpixman-1-dev
  liblua5.4-dev
  # a display for window tests on machines without one, and what reads it back and clicks on
  # it: screen dumps, their conversion, a pointer that can click
  xvfb xauth x11-apps netpbm xdotool
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
apt_opts=(-o DPkg::Lock::Timeout=600 -y --no-install-recommends)
echo "installing: ${missing[*]}"
$sudo apt-get -o DPkg::Lock::Timeout=600 update -qq
$sudo apt-get "${apt_opts[@]}" install "${missing[@]}"
