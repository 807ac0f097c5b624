#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
#   scripts/test.sh              the normal build in build/
#   scripts/test.sh --sanitize   a clang build with AddressSanitizer and UndefinedBehaviorSanitizer
#                                in build-asan/, which also builds the fuzz targets and runs
#                                each briefly over its seed corpus
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

mode=${1:-normal}
export SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy
jobs=$(nproc 2>/dev/null || echo 2)

if [ "$mode" = "--sanitize" ]; then
  dir=build-asan
  CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DORBA_SANITIZE=ON -DORBA_FUZZ=ON -DORBA_BENCH=OFF >/dev/null
else
  dir=build
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
ninja -C "$dir" -j "$jobs"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp
(cd "$dir" && ctest --output-on-failure -j "$jobs")

if [ "$mode" = "--sanitize" ]; then
  for fuzzer in "$dir"/fuzz_*; do
    [ -x "$fuzzer" ] || continue
    name=$(basename "$fuzzer")
    corpus=fuzz/corpus/${name#fuzz_}
    mkdir -p "$dir/corpus-$name"
    echo "== $name: 20 s"
    log="$dir/$name.log"
    if ! "$fuzzer" -max_total_time=20 -print_final_stats=0 -artifact_prefix="$dir/" "$dir/corpus-$name" \
        $( [ -d "$corpus" ] && echo "$corpus" ) >"$log" 2>&1; then
      # The finding itself, not only the fuzzer's last lines.
      grep -E -A12 "ERROR|runtime error|deadly signal|Test unit written" "$log" | head -80
      echo "$name found a failing input; it is kept in $dir/"
      exit 1
    fi
    tail -1 "$log"
  done
fi
