#!/usr/bin/env bash
# Installs what is missing, builds the player and plays the demo project.
# Extra arguments go to the player (for example --headless --ticks 300 --dump 300).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C build orbaplayer
exec build/orbaplayer "$@" examples/demo
