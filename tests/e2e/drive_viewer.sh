#!/usr/bin/env bash
# Runs the viewer in a private virtual X display, drags the cube with the
# mouse, takes a screenshot before and after, checks that the picture shows
# white lines and changed with the drag, ends the viewer with Escape and
# checks its exit code.
#
# usage: drive_viewer.sh VIEWER OUTDIR
# Exit codes: 0 passed, 1 failed, 77 skipped (a needed tool is missing).
set -uo pipefail

viewer="${1:?usage: drive_viewer.sh VIEWER OUTDIR}"
outdir="${2:?usage: drive_viewer.sh VIEWER OUTDIR}"

for tool in Xvfb xdotool import compare convert; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "SKIP: '$tool' is not installed (packages: xvfb xdotool imagemagick)"
    exit 77
  fi
done
if [[ ! -x "$viewer" ]]; then
  echo "FAIL: no viewer at $viewer"
  exit 1
fi

mkdir -p "$outdir"
work="$(mktemp -d)"
xvfb_pid=""
viewer_pid=""

cleanup() {
  [[ -n "$viewer_pid" ]] && kill "$viewer_pid" 2>/dev/null
  [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null
  [[ -n "$xvfb_pid" ]] && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*"
  if [[ -s "$work/viewer.log" ]]; then
    echo "--- viewer output ---"
    cat "$work/viewer.log"
  fi
  exit 1
}

# Wait up to $1 tenths of a second for a command to succeed.
wait_for() {
  local tenths="$1"
  shift
  local i
  for ((i = 0; i < tenths; i++)); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

# Xvfb picks a free display number itself and reports it on fd 3.
: >"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
wait_for 100 test -s "$work/display" || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$(head -n1 "$work/display")"
echo "virtual display $DISPLAY"

# No session bus: the window library connects to the host's at start-up,
# and one that accepts and never answers would hold the viewer there.
DBUS_SESSION_BUS_ADDRESS=disabled: "$viewer" >"$work/viewer.log" 2>&1 &
viewer_pid=$!

window="$(timeout 30 xdotool search --sync --onlyvisible --name '^Kubik - Cube$' | head -n1)"
[[ -n "$window" ]] || fail "the viewer window did not appear"
sleep 0.5

# Count of pure white pixels in a screenshot.
white_pixels() {
  convert "$1" -depth 8 gray:- | tr -cd '\377' | wc -c
}

before="$outdir/cube-before.png"
after="$outdir/cube-after.png"

# Screenshots are retried until they show what is expected, so a loaded
# machine that draws the first frames late does not fail the test.
shot_shows_wireframe() {
  import -window root "$1" 2>/dev/null && (($(white_pixels "$1") > 500))
}
shot_differs_from_before() {
  shot_shows_wireframe "$after" || return 1
  local changed
  changed="$(compare -metric AE "$before" "$after" null: 2>&1 | cut -d' ' -f1)"
  ((${changed%.*} > 200))
}

wait_for 150 shot_shows_wireframe "$before" || fail "the first picture shows no wireframe"

# Drag 60 px right and 30 px down with the left button, inside the window.
xdotool mousemove --sync 320 240 sleep 0.1 mousedown 1 sleep 0.1 \
  mousemove --sync 350 255 sleep 0.1 mousemove --sync 380 270 sleep 0.1 mouseup 1
wait_for 150 shot_differs_from_before || fail "the picture did not change with the drag"

white_before="$(white_pixels "$before")"
white_after="$(white_pixels "$after")"
changed="$(compare -metric AE "$before" "$after" null: 2>&1 | cut -d' ' -f1)"
echo "white pixels before: $white_before, after: $white_after; pixels changed by the drag: $changed"

kill -0 "$viewer_pid" 2>/dev/null || fail "the viewer ended before Escape"
# The pointer rests inside the window; without a window manager the key goes
# to the window under it. Focus the window when it can be found again, and
# press Escape until the viewer is gone, so one lost key does not fail the test.
viewer_gone() { ! kill -0 "$viewer_pid" 2>/dev/null; }
press_escape() {
  local current
  current="$(xdotool search --onlyvisible --name '^Kubik - Cube$' 2>/dev/null | head -n1)"
  [[ -n "$current" ]] && xdotool windowfocus "$current" >/dev/null 2>&1
  xdotool key Escape >/dev/null 2>&1
  wait_for 30 viewer_gone
}
for attempt in 1 2 3 4 5; do
  press_escape && break
done
viewer_gone || fail "the viewer did not end on Escape"
wait "$viewer_pid"
status=$?
viewer_pid=""
((status == 0)) || fail "the viewer exited with $status after Escape"

echo "screenshots: $before $after"
echo "PASS: drag changed the picture, Escape ended the viewer with exit code 0"
