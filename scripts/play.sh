#!/usr/bin/env bash
# Installs what is missing, builds the player, compiles the demo project from its source in
# examples/demo (pages, and PNG pictures into layered ".trn" pictures), synthesises its sounds
# into build/demo/sound (build/demoaudio) and plays it. Extra arguments go to the player
# (for example --headless --ticks 300 --log, which writes the script's trace to
# build/demo/dbglog.txt).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C build orbaplayer orbapack demoaudio
rm -rf build/demo
build/orbapack build examples/demo -o build/demo --folder
build/demoaudio build/demo/sound
exec build/orbaplayer "$@" build/demo
