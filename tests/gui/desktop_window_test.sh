#!/usr/bin/env bash
# The desktop mode in a real window: under Xvfb, the window "Morvane Lab" appears, the process
# waits for it, Return dismisses it, and the process exits 0 with nothing on standard output.
# Usage: desktop_window_test.sh MORVANE [ARGUMENT...]
set -u
morvane=$1
shift

for tool in Xvfb xdotool xwininfo; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed"; exit 1; }
done

scratch=$(mktemp -d)
xvfb_pid=""
morvane_pid=""
cleanup() {
  [ -n "$morvane_pid" ] && kill "$morvane_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

# A display number nobody uses; Xvfb reports the one it took.
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$scratch/display" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$scratch/display" ] && break
  sleep 0.1
done
[ -s "$scratch/display" ] || fail "Xvfb did not start"
export DISPLAY=":$(cat "$scratch/display")"
for _ in $(seq 100); do
  xwininfo -root >/dev/null 2>&1 && break
  sleep 0.1
done
xwininfo -root >/dev/null 2>&1 || fail "display $DISPLAY does not answer"

"$morvane" "$@" >"$scratch/out" 2>"$scratch/err" </dev/null &
morvane_pid=$!

window=""
for _ in $(seq 200); do
  window=$(xwininfo -root -tree 2>/dev/null | awk '/"Morvane Lab"/ { print $1; exit }')
  [ -n "$window" ] && break
  kill -0 "$morvane_pid" 2>/dev/null || fail "morvane ended without showing a window: $(cat "$scratch/err")"
  sleep 0.1
done
[ -n "$window" ] || fail "no window named \"Morvane Lab\" appeared"
echo "window $window is shown"

sleep 0.5
kill -0 "$morvane_pid" 2>/dev/null || fail "morvane did not wait for the window to be dismissed"

xdotool windowfocus --sync "$window" key Return || fail "could not press Return in the window"
for _ in $(seq 100); do
  kill -0 "$morvane_pid" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$morvane_pid" 2>/dev/null && fail "morvane still runs after the window was dismissed"
wait "$morvane_pid"
status=$?
morvane_pid=""

[ "$status" -eq 0 ] || fail "exit status $status, expected 0"
[ ! -s "$scratch/out" ] || fail "standard output is not empty: $(cat "$scratch/out")"
echo "dismissed with Return: exit status 0, standard output empty"
