#!/usr/bin/env bash
# The desktop mode in a real window: under Xvfb, the window "Morvane Lab" appears, the process
# waits for it, Return dismisses it, and the process exits 0 with nothing on standard output
# nor, natively, on standard error.
# A freshly started Xvfb now and then fails the very first window of a busy machine; when no
# window comes up, the attempt is repeated once on a new server, with the reason printed.
# Usage: desktop_window_test.sh MORVANE [ARGUMENT...]
# With WINDOW_TEXT_IN_STDERR set, that text must also appear on standard error: under Wine,
# whose message box trace (WINEDEBUG=trace+msgbox) records the text the window shows.
set -u
morvane=$1
shift

for tool in Xvfb xdotool xwininfo; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed"; exit 1; }
done

scratch=$(mktemp -d)
xvfb_pid=""
morvane_pid=""
stop() {
  [ -n "$morvane_pid" ] && kill "$morvane_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  morvane_pid=""
  xvfb_pid=""
}
trap 'stop; rm -rf "$scratch"' EXIT

# The window "Morvane Lab" that is shown: a toolkit may also create and drop unmapped windows
# of that name.
shown_window() {
  local id
  for id in $(xwininfo -root -tree 2>/dev/null | awk '/"Morvane Lab"/ { print $1 }'); do
    if xwininfo -id "$id" 2>/dev/null | grep -q "Map State: IsViewable"; then
      echo "$id"
      return
    fi
  done
}

# One attempt. Returns 0 on success, 1 on a failure of morvane, 2 when no window came up.
attempt() {
  rm -f "$scratch"/*
  # Under Wine, a server that an earlier program started without a display, and that lingers a
  # few seconds after it, would serve this one a desktop where no window shows: let it end.
  if [[ $(basename "$morvane") == wine* ]]; then
    wineserver -w
  fi
  # A display number nobody uses; Xvfb reports the one it took.
  Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$scratch/display" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do
    [ -s "$scratch/display" ] && break
    sleep 0.1
  done
  [ -s "$scratch/display" ] || { echo "Xvfb did not start"; return 2; }
  export DISPLAY=":$(cat "$scratch/display")"
  for _ in $(seq 100); do
    xwininfo -root >/dev/null 2>&1 && break
    sleep 0.1
  done
  xwininfo -root >/dev/null 2>&1 || { echo "display $DISPLAY does not answer"; return 2; }

  "$morvane" "$@" >"$scratch/out" 2>"$scratch/err" </dev/null &
  morvane_pid=$!

  window=""
  for _ in $(seq 200); do
    window=$(shown_window)
    [ -n "$window" ] && break
    if ! kill -0 "$morvane_pid" 2>/dev/null; then
      echo "morvane ended without showing a window: $(cat "$scratch/err")"
      return 2
    fi
    sleep 0.1
  done
  [ -n "$window" ] || { echo "no window named \"Morvane Lab\" appeared"; return 2; }
  echo "window $window is shown"

  sleep 0.5
  kill -0 "$morvane_pid" 2>/dev/null || { echo "FAIL: morvane did not wait for the window"; return 1; }

  # A window that has just come up may not take the first key yet: Return is pressed until the
  # window is gone, up to three times, a second apart.
  for _ in 1 2 3; do
    window=$(shown_window)
    [ -n "$window" ] || break
    xdotool windowfocus --sync "$window" key Return ||
      { echo "FAIL: could not press Return in the window"; return 1; }
    for _ in $(seq 10); do
      kill -0 "$morvane_pid" 2>/dev/null || break 2
      sleep 0.1
    done
  done
  for _ in $(seq 100); do
    kill -0 "$morvane_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$morvane_pid" 2>/dev/null &&
    { echo "FAIL: morvane still runs after the window was dismissed"; return 1; }
  wait "$morvane_pid"
  local status=$?
  morvane_pid=""

  [ "$status" -eq 0 ] || { echo "FAIL: exit status $status, expected 0"; return 1; }
  [ ! -s "$scratch/out" ] ||
    { echo "FAIL: standard output is not empty: $(cat "$scratch/out")"; return 1; }
  if [ -n "${WINDOW_TEXT_IN_STDERR:-}" ]; then
    grep -qF -- "$WINDOW_TEXT_IN_STDERR" "$scratch/err" ||
      { echo "FAIL: the window did not show: $WINDOW_TEXT_IN_STDERR"; return 1; }
    echo "the window showed its text"
  elif [ -s "$scratch/err" ]; then
    echo "FAIL: standard error is not empty (the terminal fallback too?): $(cat "$scratch/err")"
    return 1
  fi
  echo "dismissed with Return: exit status 0, nothing printed"
  return 0
}

for try in 1 2; do
  attempt "$@"
  result=$?
  stop
  [ "$result" -eq 2 ] || exit "$result"
  echo "attempt $try: no window"
done
echo "FAIL: no window in two attempts"
exit 1
