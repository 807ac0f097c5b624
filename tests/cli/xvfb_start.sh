# Sourced by the Xvfb tests: starts a virtual display of ${width}x${height} (set by the caller)
# with its log and display number in $work, points DISPLAY at it, and stops it and the player
# ($player_pid, set by the caller once started) when the test script exits.
xvfb_pid='' player_pid=''
cleanup() {
  if [ -n "$player_pid" ]; then kill "$player_pid" 2>/dev/null && wait "$player_pid" || true; fi
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
}
trap cleanup EXIT
Xvfb -screen 0 "${width}x${height}x24" -nolisten tcp -displayfd 3 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  sleep 0.1
done
[ -s "$work/display" ] || { echo "Xvfb did not start:"; cat "$work/xvfb.log"; exit 1; }
export DISPLAY=":$(head -n 1 "$work/display")"
