#!/usr/bin/env bash
# The real player on a virtual X display, without a window manager: it builds the demo, shows
# the demo's title screen (boxes its start page creates) in a window, switches to full screen
# with a click on the toolbar's screen-mode button and back again, and reads the screen each
# time to find the boxes' colours where they belong (the colours and places are those of
# examples/demo/start.rss). Every step also checks a point that only its own mode shows. Ends
# the player with SIGTERM and expects a clean exit.
#   xvfb_show.sh PLAYER ORBAPACK SOURCE_DIR WORK_DIR
# Exits 77 (skipped) when the X tools it needs are not installed.
set -euo pipefail

player=$1 orbapack=$2 source=$3 work=$4
for tool in Xvfb xwd xwdtopnm pamdepth xdotool; do
  if ! command -v "$tool" >/dev/null; then
    echo "skipped: $tool is not installed (scripts/install-deps.sh installs it)"
    exit 77
  fi
done

rm -rf "$work"
mkdir -p "$work"
"$orbapack" build "$source/examples/demo" -o "$work/demo" --folder

# A display of twice the demo's size, so full screen scales the screen by exactly 2.
width=1280 height=960
. "$(dirname "$0")/xvfb_start.sh"

# Under the leak checker (sanitizer builds): the X11 libraries SDL loads are unloaded at its
# exit, and what they keep for the process's lifetime can then be traced to no module, so no
# suppression can name it. Leaks of our own code are checked by the headless tests.
ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" \
SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy "$player" "$work/demo" >"$work/player.log" 2>&1 &
player_pid=$!

# Writes the screen as a binary PPM of 8 bits a channel (xwdtopnm may give 16); pixel X Y
# prints "R G B" of it.
grab() { xwd -root -silent | xwdtopnm 2>/dev/null | pamdepth 255 >"$work/screen.ppm"; }
pixel() {
  local header
  header=$(head -n 3 "$work/screen.ppm" | wc -c)
  od -An -tu1 -j $((header + ($2 * width + $1) * 3)) -N 3 "$work/screen.ppm" | xargs
}

# expect NAME "X Y R G B" ...: grabs the screen until every point has its colour (10 s at most).
expect() {
  local name=$1 seen=''
  shift
  for _ in $(seq 40); do
    grab
    seen='' ok=1
    for point in "$@"; do
      read -r x y r g b <<<"$point"
      got=$(pixel "$x" "$y")
      seen+="  ($x, $y): $got, expected $r $g $b"$'\n'
      [ "$got" = "$r $g $b" ] || ok=0
    done
    if [ $ok = 1 ]; then
      echo "$name:"
      printf '%s' "$seen"
      return 0
    fi
    if ! kill -0 "$player_pid" 2>/dev/null; then
      echo "the player ended early:"
      cat "$work/player.log"
      break
    fi
    sleep 0.25
  done
  echo "$name: the screen never showed the boxes as expected; last seen:"
  printf '%s' "$seen"
  cp "$work/screen.ppm" "$work/failed.ppm"
  exit 1
}

# In the window: the 640 x 502 window (22-pixel toolbar over the 640 x 480 screen) is centred
# on the display at (320, 229), so the screen's top-left pixel is at (320, 251).
expect window \
  "620 401 255 220 90" `# the sun, screen (300, 150)` \
  "620 601 40 120 60" `# the hill, screen (300, 350)` \
  "441 332 250 250 250" `# the panel's frame, screen (121, 81)` \
  "340 271 20 40 80" `# the background, screen (20, 20)` \
  "620 239 240 240 240" `# the toolbar`

# The toolbar's screen-mode button is its second, 67 pixels wide from x = 67, 2 to 20 high.
xdotool mousemove 420 240 click 1
# Full screen: the window covers the display and the screen is shown twice as large from
# (0, 0); the toolbar is hidden.
expect "full screen" \
  "600 300 255 220 90" `# the sun` \
  "600 700 40 120 60" `# the hill` \
  "242 162 250 250 250" `# the frame` \
  "40 40 20 40 80" `# the background` \
  "620 239 240 140 60" `# where the toolbar was: the panel, screen (310, 119)`

# The toolbar shows while the mouse is on the top row; its button, in the screen's own
# pixels, is now at twice the place.
xdotool mousemove 200 0
sleep 0.3
xdotool mousemove 200 22 click 1
expect "window again" \
  "620 401 255 220 90" \
  "620 601 40 120 60" \
  "441 332 250 250 250" \
  "620 239 240 240 240"

kill -TERM "$player_pid"
rc=0
wait "$player_pid" || rc=$?
player_pid=''
if [ $rc -ne 0 ]; then
  echo "the player ended with $rc after SIGTERM:"
  cat "$work/player.log"
  exit 1
fi
echo "the player ended cleanly"
