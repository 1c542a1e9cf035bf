# Helpers of the end-to-end tests, sourced by each test script.
# usage: . lib.sh <oreb-vet> <store-dump> [runner]
# The runner (build/<dir>/wine-run for the Windows build) is put in front of both programs.
set -uo pipefail

OREB_VET="$1"
STORE_DUMP="$2"
RUNNER="${3:-}"

WORK="$(mktemp -d "${TMPDIR:-/tmp}/oreb-e2e.XXXXXX")"
failures=0

PRIVATE_WINEPREFIX=""

cleanup_work() {
  if [ -n "${APP_PID:-}" ] && kill -0 "$APP_PID" 2>/dev/null; then kill "$APP_PID" 2>/dev/null; fi
  if [ -n "$PRIVATE_WINEPREFIX" ]; then
    # Only the server of this test's own prefix; -w waits until it has gone before its files do.
    WINEPREFIX="$PRIVATE_WINEPREFIX" wineserver -k >/dev/null 2>&1
    WINEPREFIX="$PRIVATE_WINEPREFIX" wineserver -w >/dev/null 2>&1
  fi
  rm -rf "$WORK"
}
trap cleanup_work EXIT

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# expect_eq <what> <actual> <expected>
expect_eq() {
  if [ "$2" != "$3" ]; then
    fail "$1: got '$2', expected '$3'"
  else
    echo "ok: $1"
  fi
}

finish() {
  if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
  fi
  echo "all checks passed"
  exit 0
}

# Runs oreb-vet with the given environment assignments (NAME=value ...), in the current
# directory; sets RUN_STATUS, RUN_OUT and RUN_ERR (line ends normalised: Windows writes CR LF).
run_oreb_vet() {
  local out="$WORK/run.out" err="$WORK/run.err"
  env "$@" $RUNNER "$OREB_VET" >"$out" 2>"$err"
  RUN_STATUS=$?
  RUN_OUT="$(tr -d '\r' <"$out")"
  RUN_ERR="$(tr -d '\r' <"$err")"
}

# use_private_wineprefix: from here on the programs run in a wine prefix of this test's own, below
# WORK, with a wine server of their own that is stopped when the test ends. For runs that change
# what wine sees (no DISPLAY): in the shared server they could leave its desktop without a display
# for every window test that follows. Creates the prefix up front, so the runs' own output holds
# only what the programs write. Does nothing without a runner (native builds).
use_private_wineprefix() {
  [ -n "$RUNNER" ] || return 0
  PRIVATE_WINEPREFIX="$WORK/wineprefix"
  export WINEPREFIX="$PRIVATE_WINEPREFIX"
  if ! timeout 240 $RUNNER wineboot -i >"$WORK/wineboot.log" 2>&1; then
    fail "the private wine prefix could not be made: $(tr -d '\r' <"$WORK/wineboot.log")"
    finish
  fi
}

# dump_store <file>: prints the decoded file ("key=value" lines after ok, message, sequence and
# entries), through the store's own decoder.
dump_store() {
  $RUNNER "$STORE_DUMP" "$1" | tr -d '\r'
}

# dump_value <dump text> <key>: the value of one line of a dump.
dump_value() {
  printf '%s\n' "$1" | awk -v key="$2" 'index($0, key "=") == 1 { print substr($0, length(key) + 2); exit }'
}

# The sequence of a store file, or empty when it cannot be read.
store_sequence() {
  [ -f "$1" ] || return 0
  dump_value "$(dump_store "$1" 2>/dev/null)" sequence
}

# wait_for_sequence <file> <sequence> <seconds>: waits until the store file reaches the sequence.
wait_for_sequence() {
  local deadline=$((SECONDS + $3)) seq
  while [ "$SECONDS" -lt "$deadline" ]; do
    seq="$(store_sequence "$1")"
    [ "$seq" = "$2" ] && return 0
    sleep 0.1
  done
  fail "store $1 did not reach sequence $2 within $3 s (it is at '${seq:-none}')"
  return 1
}

# --- The window on an X display ------------------------------------------------------------------

WINDOW_TITLE="Oreb Inc. / Veterinary directory"

# Skips the test (status 77) when there is no display or a tool is missing.
require_display() {
  if [ -z "${DISPLAY:-}" ]; then
    echo "SKIP: no DISPLAY" >&2
    exit 77
  fi
  for tool in xdotool import convert; do
    if ! command -v "$tool" >/dev/null; then
      echo "SKIP: $tool is missing" >&2
      exit 77
    fi
  done
}

# start_window <data directory> [NAME=value ...]: starts oreb-vet in window mode in the background,
# with further environment assignments, and waits for its window; sets APP_PID, WIN, WIN_X and
# WIN_Y (the client area's top-left on the screen).
start_window() {
  env MIVO_EXAMPLE_DATA="$@" $RUNNER "$OREB_VET" >"$WORK/window.out" 2>"$WORK/window.err" &
  APP_PID=$!
  WIN=""
  local deadline=$((SECONDS + 90))
  while [ "$SECONDS" -lt "$deadline" ]; do
    WIN="$(xdotool search --name "^${WINDOW_TITLE//./\\.}\$" 2>/dev/null | head -1)"
    [ -n "$WIN" ] && break
    if ! kill -0 "$APP_PID" 2>/dev/null; then
      fail "oreb-vet ended before its window appeared: $(tr -d '\r' <"$WORK/window.err")"
      finish
    fi
    sleep 0.2
  done
  if [ -z "$WIN" ]; then
    fail "the window did not appear"
    stop_window
    finish
  fi
  local X Y WIDTH HEIGHT SCREEN WINDOW
  eval "$(xdotool getwindowgeometry --shell "$WIN")"
  WIN_X=$X
  WIN_Y=$Y
  expect_eq "window size" "${WIDTH}x${HEIGHT}" "1000x700"
}

# Ends a program that is still running (only the one this test started).
stop_window() {
  if [ -n "${APP_PID:-}" ] && kill -0 "$APP_PID" 2>/dev/null; then
    kill "$APP_PID" 2>/dev/null
    wait "$APP_PID" 2>/dev/null
  fi
}

# wait_for_exit <seconds>: waits for the program to end; sets APP_STATUS (empty on timeout).
wait_for_exit() {
  local deadline=$((SECONDS + $1))
  APP_STATUS=""
  while [ "$SECONDS" -lt "$deadline" ]; do
    if ! kill -0 "$APP_PID" 2>/dev/null; then
      wait "$APP_PID"
      APP_STATUS=$?
      return 0
    fi
    sleep 0.1
  done
  return 1
}

# A click as a person makes it: move, press, hold for a few frames, release. Client pixels. The
# program samples the button once per frame, so the hold spans several frames even when a loaded
# machine slows them down.
click_at() {
  xdotool mousemove --window "$WIN" "$1" "$2"
  sleep 0.05
  xdotool mousedown 1
  sleep 0.25
  xdotool mouseup 1
  sleep 0.1
}

# Moves the pointer to an empty spot of the background so nothing is hovered.
park_pointer() {
  xdotool mousemove --window "$WIN" 985 690
  sleep 0.05
}

# press_key <key> [count]: separate presses, one frame or more apart. Presses are banked, so
# none is lost; the pause lets a frame take them before the next input arrives.
press_key() {
  local i
  for ((i = 0; i < ${2:-1}; i++)); do
    xdotool key "$1"
    sleep 0.1
  done
  sleep 0.2
}

# Typed text is collected by the window until a frame takes it; the pause lets that frame run
# before a click or key moves the focus elsewhere.
type_text() {
  xdotool type --delay 40 "$1"
  sleep 0.3
}

# pixel_at <png> <x> <y>: "r,g,b" of a client pixel in a screenshot of the whole display.
pixel_at() {
  convert "$1" -crop "1x1+$((WIN_X + $2))+$((WIN_Y + $3))" -depth 8 txt:- |
    sed -n '2s/^[^(]*(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1,\2,\3/p'
}

SHOT_COUNT=0
# expect_pixels <what> <x> <y> <r,g,b> [<x> <y> <r,g,b> ...]: takes screenshots until every
# listed client pixel has its colour (each channel within 2), for up to 10 s. The last
# screenshot is kept as <what>.png in E2E_SHOT_DIR when that is set.
expect_pixels() {
  local what="$1"
  shift
  local deadline=$((SECONDS + 10)) shot="$WORK/shot.png" mismatch
  while :; do
    import -window root "$shot" 2>/dev/null
    mismatch=""
    local args=("$@") i
    for ((i = 0; i < ${#args[@]}; i += 3)); do
      local x=${args[i]} y=${args[i + 1]} want=${args[i + 2]} got
      got="$(pixel_at "$shot" "$x" "$y")"
      if ! colour_close "$got" "$want"; then
        mismatch="$mismatch ($x,$y) is $got, expected $want;"
      fi
    done
    [ -z "$mismatch" ] && break
    if [ "$SECONDS" -ge "$deadline" ]; then
      break
    fi
    sleep 0.2
  done
  SHOT_COUNT=$((SHOT_COUNT + 1))
  if [ -n "${E2E_SHOT_DIR:-}" ]; then
    mkdir -p "$E2E_SHOT_DIR"
    cp "$shot" "$E2E_SHOT_DIR/$(printf '%02d' "$SHOT_COUNT")-${what// /-}.png"
  fi
  if [ -n "$mismatch" ]; then
    fail "$what:$mismatch"
  else
    echo "ok: $what"
  fi
}

# colour_close <r,g,b> <r,g,b>: every channel within 2.
colour_close() {
  local IFS=,
  local -a a=($1) b=($2)
  [ "${#a[@]}" -eq 3 ] || return 1
  local i d
  for i in 0 1 2; do
    d=$((a[i] - b[i]))
    [ "${d#-}" -le 2 ] || return 1
  done
}
