#!/bin/sh
# Kills a saving player a thousand times (or $1 times) at random moments and checks after each
# kill that save.dat opens and keeps every slot that was saved whole. The same test runs in
# the test suite with a small count; usage: tools/save_kill_test.sh [rounds] [build folder]
set -e
rounds=${1:-1000}
build=${2:-build}
ORBA_SAVE_KILL_ROUNDS=$rounds exec "$build/test_script" --gtest_filter=SaveFile.AKilledSaveNeverLosesASlot
