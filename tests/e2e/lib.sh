# Helpers of the end-to-end tests, sourced by each test script.
# usage: . lib.sh <oreb-vet> <store-dump> [runner]
# The runner (build/<dir>/wine-run-tests for the Windows build) is put in front of both programs.
set -uo pipefail

OREB_VET="$1"
STORE_DUMP="$2"
RUNNER="${3:-}"

WORK="$(mktemp -d "${TMPDIR:-/tmp}/oreb-e2e.XXXXXX")"
failures=0

# The data directory of the test's programs and its snapshot file, which assert_store and
# record_field read; a test that uses another directory sets both.
data="$WORK/data"
store="$data/store.corvane"

PRIVATE_WINEPREFIX=""

cleanup_work() {
  # The programs this test started end before their data directory goes.
  local pid
  for pid in ${APP_PID:-} "${WINDOW_PIDS[@]}"; do
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
      kill "$pid" 2>/dev/null
      wait "$pid" 2>/dev/null
    fi
  done
  # A test ended between press and release must not leave the shared display's button held.
  if [ -n "${BUTTON_HELD:-}" ]; then xdotool mouseup 1 >/dev/null 2>&1; fi
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

# note <text>: a remark in the test's output that is neither a check nor a failure.
note() {
  echo "note: $*" >&2
}

# A start under wine that ended at once with status 1 and nothing printed, before the program ran
# (scripts/wine-run.sh tells the known cause, which it prevents): should one happen all the same,
# wine_start_failed <status> <out> <err> tells it, for a program that always prints something (a
# result or an error), by its failure status and its empty outputs.
wine_start_failed() {
  [ -n "$RUNNER" ] && [ "$1" -ne 0 ] && [ ! -s "$2" ] && [ ! -s "$3" ]
}

# run_printing <name> <out> <err> <command> [args...]: runs a program that always prints
# something, with its output and error output in the two files, and sets RUN_STATUS. A run that
# wine failed to start is made once more, and the test's output says so.
run_printing() {
  local name="$1" out="$2" err="$3"
  shift 3
  "$@" >"$out" 2>"$err"
  RUN_STATUS=$?
  if wine_start_failed "$RUN_STATUS" "$out" "$err"; then
    note "$name ended with status $RUN_STATUS and printed nothing (wine did not start it); running it once more"
    "$@" >"$out" 2>"$err"
    RUN_STATUS=$?
  fi
}

# Runs oreb-vet with the given environment assignments (NAME=value ...), in the current
# directory; sets RUN_STATUS, RUN_OUT and RUN_ERR (line ends normalised: Windows writes CR LF).
# Each run prints its result (the self-test switch is among the assignments).
run_oreb_vet() {
  local out="$WORK/run.out" err="$WORK/run.err"
  run_printing oreb-vet "$out" "$err" env "$@" $RUNNER "$OREB_VET"
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

# decode_store <file>: runs the store's own decoder on the file, with its output in WORK/dump.out
# and its error output in WORK/dump.err (line ends as Windows writes them).
decode_store() {
  run_printing store-dump "$WORK/dump.out" "$WORK/dump.err" $RUNNER "$STORE_DUMP" "$1"
}

# dump_store <file>: prints the decoded file ("key=value" lines after ok, message, sequence and
# entries); the decoder's error output goes to this function's.
dump_store() {
  decode_store "$1"
  tr -d '\r' <"$WORK/dump.out"
  tr -d '\r' <"$WORK/dump.err" >&2
}

# dump_value <dump text> <key>: the value of one line of a dump. A key <record id>:<field> reads
# a field of the record by its name, as the form shows it: "name" is the record's content, any
# other field is the property whose key is the field's name (detail, owner), whatever its slot.
dump_value() {
  printf '%s\n' "$1" | awk -v key="$2" '
    BEGIN {
      want = key
      if (split(key, part, ":") == 2) {
        want = part[2] == "name" ? "record/" part[1] "/content" : ""
        properties = "record/" part[1] "/properties/"
      }
    }
    want != "" && index($0, want "=") == 1 { print substr($0, length(want) + 2); exit }
    want == "" && index($0, properties) == 1 {
      split(substr($0, length(properties) + 1), slot, "/")  # "<n>", "key=<name>" or "value=<text>"
      entry = substr($0, length(properties) + length(slot[1]) + 2)
      if (entry == "key=" part[2]) found = slot[1]
      else if (index(entry, "value=") == 1) values[slot[1]] = substr(entry, 7)
    }
    END { if (want == "" && found != "") print values[found] }'
}

# record_field <record id> <field>: a field of a record in the test's store (the file that $store
# names), read by its name (see dump_value).
record_field() {
  dump_value "$(dump_store "$store")" "$1:$2"
}

# assert_store <what> <key>=<value> ...: the decoded snapshot of the test's store (the file that
# $store names) holds each pair; a key may name a record's field (<record id>:<field>, see
# dump_value).
assert_store() {
  local what="$1" dump pair
  shift
  dump="$(dump_store "$store")"
  for pair in "$@"; do
    expect_eq "$what: ${pair%%=*}" "$(dump_value "$dump" "${pair%%=*}")" "${pair#*=}"
  done
}

# expect_stored_once <dump text> <name>: exactly one record of the dump has the name.
expect_stored_once() {
  expect_eq "$2 stored once" "$(printf '%s\n' "$1" | grep -c "^record/[^/]*/content=$2\$")" 1
}

# expect_store_files <what> <data directory>: the directory holds the snapshot and the empty lock
# file the commits took, and nothing else (no write-ahead or next file is left).
expect_store_files() {
  expect_eq "$1: files in the data directory" "$(ls -A "$2" | tr '\n' ' ')" "store.corvane store.lock.corvane "
  expect_eq "$1: the lock file is empty" "$(stat -c %s "$2/store.lock.corvane" 2>&1)" 0
}

# The sequence of a store file, or empty when it cannot be read.
store_sequence() {
  [ -f "$1" ] || return 0
  decode_store "$1"
  dump_value "$(tr -d '\r' <"$WORK/dump.out")" sequence
}

# Seconds a test may take before it gives up by itself, below the test's timeout: a test that
# ctest kills gets no cleanup and could leave its window on the shared display.
E2E_TIME_LIMIT=240

# Ends the test at once when a window program it started has ended on its own while it was
# expected to run (every later wait would only time out), or when the test is out of time. Every
# window the test started counts, not only the current one: a test with two windows acts on one
# while the other must keep running.
require_running() {
  if [ "$SECONDS" -ge "$E2E_TIME_LIMIT" ]; then
    fail "out of time after $SECONDS s"
    finish
  fi
  local i status
  for i in "${!WINDOW_PIDS[@]}"; do
    [ -n "${WINDOW_PIDS[i]}" ] || continue
    kill -0 "${WINDOW_PIDS[i]}" 2>/dev/null && continue
    wait "${WINDOW_PIDS[i]}" 2>/dev/null
    status=$?
    [ "${WINDOW_PIDS[i]}" = "${APP_PID:-}" ] && APP_PID=""
    WINDOW_PIDS[i]=""
    fail "oreb-vet ($(window_label "$i")) ended unexpectedly (status $status): $(tr -d '\r' <"${WINDOW_ERRS[i]}" 2>/dev/null)"
    finish
  done
}

# wait_for_sequence <file> <sequence> <seconds>: waits until the store file reaches the sequence.
wait_for_sequence() {
  local deadline=$((SECONDS + $3)) seq
  while [ "$SECONDS" -lt "$deadline" ]; do
    seq="$(store_sequence "$1")"
    [ "$seq" = "$2" ] && return 0
    require_running
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
  for tool in xdotool xwininfo import convert; do
    if ! command -v "$tool" >/dev/null; then
      echo "SKIP: $tool is missing" >&2
      exit 77
    fi
  done
}

# The windows this test started, in the order they were started: the program's process, its X
# window and its error output (WORK/window.err for the first, WORK/window-<n>.err for the n-th).
# An ended program's process is emptied. The helpers act on the current window (APP_PID, WIN,
# WIN_X, WIN_Y): the last one started, or the one use_window chose.
WINDOW_PIDS=()
WINDOW_IDS=()
WINDOW_ERRS=()

# window_label <index>: how messages name the window of an index of WINDOW_PIDS.
window_label() {
  echo "window $(($1 + 1))"
}

# start_window <data directory> [NAME=value ...]: starts oreb-vet in window mode in the background,
# with further environment assignments, and waits for its window; sets APP_PID, WIN, WIN_X and
# WIN_Y (the client area's top-left on the screen), and makes it the current window. A start that
# wine alone failed (the process ended with no output at all and no window) is made once more,
# and the test's output says so.
start_window() {
  local n=$((${#WINDOW_PIDS[@]} + 1)) out err
  out="$WORK/window.out" err="$WORK/window.err"
  if [ "$n" -gt 1 ]; then out="$WORK/window-$n.out" err="$WORK/window-$n.err"; fi
  WINDOW_PIDS+=("")
  WINDOW_ERRS+=("$err")
  WINDOW_IDS+=("")
  launch_window "$out" "$err" "$@"
  if [ "$LAUNCH_RESULT" = ended ] && wine_start_failed "$LAUNCH_STATUS" "$out" "$err"; then
    note "window $n ended after $LAUNCH_MS ms with status $LAUNCH_STATUS, printed nothing and showed no window" \
      "(wine did not start it); starting it once more"
    launch_window "$out" "$err" "$@"
  fi
  case "$LAUNCH_RESULT" in
    ended)
      WINDOW_PIDS[n - 1]=""
      fail "oreb-vet ended before its window appeared (status $LAUNCH_STATUS): $(cat "$out" "$err" | tr -d '\r')"
      finish
      ;;
    timeout)
      fail "the window did not appear"
      stop_window
      finish
      ;;
  esac
  WINDOW_IDS[n - 1]=$WIN
  read_window_geometry
  expect_eq "window size" "$WIN_SIZE" "1000x700"
}

# launch_window <out> <err> <data directory> [NAME=value ...]: one start of the program for
# start_window, into the last slot of WINDOW_PIDS. Waits for its window to be mapped, and sets
# LAUNCH_RESULT: "window" (WIN is set), "ended" (LAUNCH_STATUS and LAUNCH_MS tell how) or
# "timeout".
#
# Only a mapped window has its final place. Wine gives the X window its title and process id
# while the program's CreateWindow call is still running, before the window's frame is known:
# until then its client area is the whole window, wine asks for no decorations, and the X window
# is the whole frame (1008x727 at 0,0). It becomes the client area (1000x700 at 4,23) once the
# frame is settled, and is mapped when the program shows it.
launch_window() {
  local out="$1" err="$2" started="${EPOCHREALTIME//[!0-9]/}"
  shift 2
  env MIVO_EXAMPLE_DATA="$@" $RUNNER "$OREB_VET" >"$out" 2>"$err" &
  APP_PID=$!
  WINDOW_PIDS[${#WINDOW_PIDS[@]} - 1]=$APP_PID
  WIN=""
  local deadline=$((SECONDS + 90))
  while [ "$SECONDS" -lt "$deadline" ]; do
    # Only a window of this program: another test's window with the same title is not ours.
    WIN="$(xdotool search --all --onlyvisible --pid "$APP_PID" --name "^${WINDOW_TITLE//./\\.}\$" 2>/dev/null |
      head -1)"
    if [ -n "$WIN" ]; then
      LAUNCH_RESULT=window
      return 0
    fi
    if ! kill -0 "$APP_PID" 2>/dev/null; then
      wait "$APP_PID"
      LAUNCH_STATUS=$?
      LAUNCH_MS=$(((${EPOCHREALTIME//[!0-9]/} - started) / 1000))
      LAUNCH_RESULT=ended
      return 0
    fi
    sleep 0.2
  done
  LAUNCH_RESULT=timeout
}

# Sets WIN_X and WIN_Y (the client area's top-left on the screen) and WIN_SIZE ("<w>x<h>") from
# where the X server has the current window now.
read_window_geometry() {
  local X Y WIDTH HEIGHT SCREEN WINDOW
  eval "$(xdotool getwindowgeometry --shell "$WIN")"
  WIN_X=$X
  WIN_Y=$Y
  WIN_SIZE="${WIDTH}x${HEIGHT}"
}

# use_window <n>: makes the n-th window this test started (1 for the first) the current one, the
# one the helpers act on, and reads where it is on the screen now.
use_window() {
  APP_PID="${WINDOW_PIDS[$1 - 1]}"
  WIN="${WINDOW_IDS[$1 - 1]}"
  read_window_geometry
}

# raise_window: puts the current window above every other window of the screen and waits until
# the X server has it there. The windows of a test overlap (the display's window manager places
# nothing), and a click, a key or a screenshot reaches only the window on top at its spot.
raise_window() {
  local deadline=$((SECONDS + 10)) top
  xdotool windowraise "$WIN"
  while :; do
    top="$(top_window)"
    [ "$top" = "$WIN" ] && return 0
    if [ "$SECONDS" -ge "$deadline" ]; then
      fail "window $WIN is not on top after raising it (the top one is ${top:-none})"
      return 1
    fi
    require_running
    sleep 0.1
  done
}

# top_window: the topmost of the windows this test started (decimal X id), by the X server's
# stacking order of the screen's top-level windows (xwininfo lists them topmost first).
top_window() {
  local listed id mine
  listed="$(xwininfo -root -children 2>/dev/null | awk '$1 ~ /^0x/ { print $1 }')"
  while read -r id; do
    for mine in "${WINDOW_IDS[@]}"; do
      [ -n "$mine" ] && [ "$((id))" = "$mine" ] && { echo "$mine"; return 0; }
    done
  done <<<"$listed"
}

# Marks the current program as ended, so that require_running no longer expects it.
forget_window() {
  local i
  for i in "${!WINDOW_PIDS[@]}"; do
    [ "${WINDOW_PIDS[i]}" = "${APP_PID:-}" ] && WINDOW_PIDS[i]=""
  done
  return 0
}

# Ends the current program when it is still running (only one this test started).
stop_window() {
  if [ -n "${APP_PID:-}" ] && kill -0 "$APP_PID" 2>/dev/null; then
    kill "$APP_PID" 2>/dev/null
    wait "$APP_PID" 2>/dev/null
  fi
  forget_window
}

# wait_for_exit <seconds>: waits for the program to end; sets APP_STATUS (empty on timeout).
wait_for_exit() {
  local deadline=$((SECONDS + $1))
  APP_STATUS=""
  while [ "$SECONDS" -lt "$deadline" ]; do
    if ! kill -0 "$APP_PID" 2>/dev/null; then
      wait "$APP_PID"
      APP_STATUS=$?
      forget_window
      return 0
    fi
    sleep 0.1
  done
  return 1
}

# --- Places of the window ------------------------------------------------------------------------
# Everything a test clicks, probes or reads on the window, by name, with the rectangle the program
# draws it in (client pixels). The program's own tool, screen-places (OREB_SCREEN_PLACES, under the
# runner), prints them from its layout (app/screen_layout.hpp) and its frame's hit test:
#   animals, customers      the tabs
#   search                  the search box
#   name, detail, owner     form fields 0, 1 and 2
#   <field>-focus           the focus line under a field or the search box: name-focus,
#                           detail-focus, owner-focus, search-focus
#   save, new, archive      Save, New record and Archive (Restore for an archived record)
#   row0 ... row5           the list rows, top to bottom
#   status, status2         the status's first and second line of text, each the form's width
#   close                   the close button of the window's own frame
# Three more have no rectangle of the program's: two spots where it draws nothing and a label it
# draws at a point; they are the tests' own choice, kept here:
#   background              a spot at the bottom right where nothing is drawn
#   header                  the empty header right of the title "Oreb Inc." (drawn at 34,57)
#   record-id               the form's record id under its title, "New record" for a new record
#                           (a muted label drawn at 392,218)
# read_place <name> sets PLACE (x y w h), PLACE_X and PLACE_Y (where a click on it goes: its
# centre), PROBE_X and PROBE_Y (a pixel of its own fill) and PLACE_AREA (x y w h: what a
# screenshot check looks at). An unknown name ends the test.
declare -A PLACES=()
read_place() {
  case "$1" in
    background) PLACE=(975 685 20 10) ;;
    header) PLACE=(560 50 80 20) ;;
    record-id) PLACE=(392 214 240 19) ;;
    *)
      [ "${#PLACES[@]}" -gt 0 ] || load_places
      if [ -z "${PLACES[$1]:-}" ]; then
        fail "no place of the window is named '$1'"
        exit 1
      fi
      read -ra PLACE <<<"${PLACES[$1]}"
      ;;
  esac
  PLACE_X=$((PLACE[0] + PLACE[2] / 2))
  PLACE_Y=$((PLACE[1] + PLACE[3] / 2))
  PROBE_X=$PLACE_X PROBE_Y=$PLACE_Y PLACE_AREA=("${PLACE[@]}")
  # A control (a tab, button, row, box: 42 px tall or more) holds a label or text whose 20 px
  # glyphs start 11 or 12 px below its top with the baseline at 27 or 28; no descender of any face
  # reaches 34 px. Its probe is 39 px below its top, never where a glyph may fall whatever face wine
  # draws with; its area is inside its rounded corners (radius 10 at most).
  if [ "${PLACE[3]}" -ge 42 ]; then
    PROBE_Y=$((PLACE[1] + 39))
    PLACE_AREA=($((PLACE[0] + 10)) $((PLACE[1] + 5)) $((PLACE[2] - 20)) $((PLACE[3] - 10)))
  fi
}

# load_places: fills PLACES (name -> "x y w h") with what screen-places prints. The tool runs once
# per test; its output is kept in WORK/places (moved there whole once read), which later loads, in
# this shell or a subshell, read again. A tool that cannot run ends the test.
load_places() {
  local file="$WORK/places" name rect
  if [ ! -s "$file" ]; then
    if [ -z "${OREB_SCREEN_PLACES:-}" ]; then
      fail "OREB_SCREEN_PLACES does not name the screen-places tool"
      exit 1
    fi
    run_printing screen-places "$file.out" "$file.err" $RUNNER "$OREB_SCREEN_PLACES"
    if [ "$RUN_STATUS" -ne 0 ] || ! grep -q . "$file.out"; then
      fail "screen-places failed (status $RUN_STATUS): $(tr -d '\r' <"$file.err")"
      exit 1
    fi
    tr -d '\r' <"$file.out" >"$file.tmp" && mv "$file.tmp" "$file"
  fi
  while read -r name rect; do PLACES[$name]=$rect; done <"$file"
}

# click_place <place> [<wait command> <args>...]: click_at on the place (see read_place).
click_place() {
  read_place "$1"
  click_at "$PLACE_X" "$PLACE_Y" "${@:2}"
}

# click_unraised <place>: a press and release on the place of the current window where it lies,
# not raised first (under another window, or without the keyboard focus: the click gives it);
# then the pointer is parked on the background.
click_unraised() {
  require_running
  read_place "$1"
  xdotool mousemove --window "$WIN" "$PLACE_X" "$PLACE_Y" click 1
  park_pointer
}

# click_at <x> <y> [<wait command> <args>...]: a click as a person makes it: move, press, hold,
# release; client pixels. The program samples the button once per frame and acts on the press
# alone, so a longer hold changes nothing: with a wait command (such as wait_for_sequence or
# expect_pixels) the button is held until the click's effect can be seen, however slow the frames
# of a loaded machine are; without one it is held for 0.25 s. After the release the pointer is
# parked once a frame has seen the button up (release_seen), so the next press is a fresh one.
click_at() {
  require_running
  xdotool mousemove --window "$WIN" "$1" "$2"
  sleep 0.05
  BUTTON_HELD=1
  xdotool mousedown 1
  sleep 0.15
  if [ "$#" -gt 2 ]; then
    "${@:3}"
  else
    sleep 0.1
  fi
  xdotool mouseup 1
  BUTTON_HELD=""
  # A click that ended the program (its close button) needs no next frame.
  if [ -n "${APP_PID:-}" ] && kill -0 "$APP_PID" 2>/dev/null; then release_seen "$1" "$2"; fi
}

# The window's colours.
BACKGROUND=17,27,34
PRIMARY=48,116,96
PRIMARY_HOVERED=60,128,108
BUTTON=37,53,58
BUTTON_HOVERED=49,65,70
BOX=30,48,53
FOCUS=119,210,171
LABEL=221,233,230
MUTED_LABEL=139,169,169

# release_seen <x> <y>: after a release at (x, y), returns once a frame that began after the
# release has run, and parks the pointer. A press sampled in no frame after the release would
# not be a fresh press, and a short wait cannot promise such a frame on a loaded machine; two
# hover changes can: the pointer goes onto a button away from the click and the button is seen
# lit, then it goes away and the button is seen plain. The frame that draws it plain began after
# the frame that drew it lit, which read the pointer after the release.
release_seen() {
  local button=new lit=$BUTTON_HOVERED plain=$BUTTON
  read_place save
  if [ "$1" -ge "${PLACE[0]}" ] && [ "$1" -lt $((PLACE[0] + PLACE[2])) ] &&
    [ "$2" -ge "${PLACE[1]}" ] && [ "$2" -lt $((PLACE[1] + PLACE[3])) ]; then
    button=save lit=$PRIMARY_HOVERED plain=$PRIMARY
  fi
  read_place "$button"
  xdotool mousemove --window "$WIN" "$PROBE_X" "$PROBE_Y"
  poll_pixels "$button" "$lit" || fail "no frame after the release at ($1,$2):$POLL_MISMATCH"
  park_pointer
  poll_pixels "$button" "$plain" || fail "no frame after the release at ($1,$2):$POLL_MISMATCH"
}

# Moves the pointer to the background place, where nothing is hovered.
park_pointer() {
  read_place background
  xdotool mousemove --window "$WIN" "$PLACE_X" "$PLACE_Y"
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

# pixel_at <png> <x> <y>: "r,g,b" of a client pixel in a screenshot of the whole display.
pixel_at() {
  convert "$1" -crop "1x1+$((WIN_X + $2))+$((WIN_Y + $3))" -depth 8 txt:- |
    sed -n '2s/^[^(]*(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1,\2,\3/p'
}

SHOT_COUNT=0
# expect_pixels <what> <place> <r,g,b> [<place> <r,g,b> ...]: takes screenshots until the probe
# pixel of every listed place (see read_place) has its colour (each channel within 2), for up to
# 10 s. The last screenshot is kept as <what>.png in E2E_SHOT_DIR when that is set.
expect_pixels() {
  local what="$1"
  shift
  poll_pixels "$@"
  SHOT_COUNT=$((SHOT_COUNT + 1))
  if [ -n "${E2E_SHOT_DIR:-}" ]; then
    mkdir -p "$E2E_SHOT_DIR"
    cp "$WORK/shot.png" "$E2E_SHOT_DIR/$(printf '%02d' "$SHOT_COUNT")-${what// /-}.png"
  fi
  if [ -n "$POLL_MISMATCH" ]; then
    fail "$what:$POLL_MISMATCH"
  else
    echo "ok: $what"
  fi
}

# expect_focus <what> <field>: the focus line under the field (name, detail, owner or search) is
# lit, the others are not; with the screenshots of expect_pixels.
expect_focus() {
  local what="$1" focused="$2" field args=()
  for field in name detail owner search; do
    if [ "$field" = "$focused" ]; then args+=("$field-focus" "$FOCUS"); else args+=("$field-focus" "$BACKGROUND"); fi
  done
  expect_pixels "$what" "${args[@]}"
}

# focus_field <what> <field>: clicks the field (or the search box) and holds the button until it
# has the focus (expect_focus).
focus_field() {
  click_place "$2" expect_focus "$1" "$2"
}

# select_row <what> <row>: clicks list row 0 to 5 and holds the button until the row is seen
# selected under the pointer.
select_row() {
  click_place "row$2" expect_pixels "$1" "row$2" "$PRIMARY_HOVERED"
}

# poll_pixels <place> <r,g,b> ...: takes screenshots (into WORK/shot.png) until the probe pixel of
# every listed place has its colour, for up to 10 s; POLL_MISMATCH then lists what differs (empty
# on success), and says so when a pixel has a label's colour: the probe then sits on text, not on
# a control.
poll_pixels() {
  local deadline=$((SECONDS + 10)) shot="$WORK/shot.png" args=("$@") probes=() i
  for ((i = 0; i < ${#args[@]}; i += 2)); do
    read_place "${args[i]}"
    probes+=("$PROBE_X" "$PROBE_Y")
  done
  while :; do
    import -window root "$shot" 2>/dev/null
    POLL_MISMATCH=""
    for ((i = 0; i < ${#args[@]}; i += 2)); do
      local x=${probes[i]} y=${probes[i + 1]} want=${args[i + 1]} got
      got="$(pixel_at "$shot" "$x" "$y")"
      if ! colour_close "$got" "$want"; then
        POLL_MISMATCH="$POLL_MISMATCH ${args[i]} ($x,$y) is $got, expected $want$(label_note "$got");"
      fi
    done
    [ -z "$POLL_MISMATCH" ] && return 0
    [ "$SECONDS" -ge "$deadline" ] && return 1
    require_running
    sleep 0.2
  done
}

# label_note <r,g,b>: a remark for a colour that is a label's, so that a probe that landed on a
# glyph is told apart from a control in the wrong state.
label_note() {
  if colour_close "$1" "$LABEL" || colour_close "$1" "$MUTED_LABEL"; then
    echo " (a label's colour: the probe is on text, not on the control's fill)"
  fi
}

# region_of <png> <x> <y> <w> <h>: the raw pixels of a client rectangle of a screenshot, digested.
region_of() {
  convert "$1" -crop "${4}x${5}+$((WIN_X + $2))+$((WIN_Y + $3))" +repage -depth 8 rgb:- | md5sum | cut -d' ' -f1
}

# region_colours <png> <x> <y> <w> <h>: how many colours the client rectangle holds.
region_colours() {
  convert "$1" -crop "${4}x${5}+$((WIN_X + $2))+$((WIN_Y + $3))" +repage -format '%k' info:
}

# label_pixels <png> <x> <y> <w> <h> <convert output...>: the client rectangle of a screenshot with
# the text colour (TEXT_COLOUR, LABEL unless set) white and every other colour black, written as
# the output arguments say.
label_pixels() {
  local colour="${TEXT_COLOUR:-$LABEL}"
  convert "$1" -crop "${4}x${5}+$((WIN_X + $2))+$((WIN_Y + $3))" +repage -fill black +opaque "rgb($colour)" \
    -fill white -opaque "rgb($colour)" "${@:6}"
}

# label_count <png> <x> <y> <w> <h>: how many pixels of the client rectangle have the label colour.
label_count() {
  label_pixels "$@" -format '%[fx:round(mean*w*h)]' info:
}

# text_mask <place> <dx> <dy> <w> <h> [<r,g,b>]: the digest of where a rectangle, from dx,dy into
# the place, shows the text colour (LABEL unless given) now: a text's glyphs, whatever the
# background behind them. The same text drawn in two places in one style gives the same digest
# (glyphs are drawn without antialiasing): a field's text starts 14 px right of and 10 px lower in
# its place than the status's does in its.
text_mask() {
  read_place "$1"
  import -window root "$WORK/mask.png" 2>/dev/null
  TEXT_COLOUR="${6:-$LABEL}" label_pixels "$WORK/mask.png" $((PLACE[0] + $2)) $((PLACE[1] + $3)) "$4" "$5" \
    -depth 8 gray:- | md5sum | cut -d' ' -f1
}

# snapshot_area <place>: the digest of the place's area (see read_place) now.
snapshot_area() {
  read_place "$1"
  import -window root "$WORK/area.png" 2>/dev/null
  region_of "$WORK/area.png" "${PLACE_AREA[@]}"
}

# wait_area_change <what> <digest> <place>: waits, for up to 15 s, until the place's area differs
# from the digest taken before and then holds still over two screenshots (typed text is taken by
# frames in pieces; the change is complete when it stops).
wait_area_change() {
  local what="$1" before="$2" place="$3" deadline=$((SECONDS + 15)) now previous=""
  while [ "$SECONDS" -lt "$deadline" ]; do
    now="$(snapshot_area "$place")"
    if [ "$now" != "$before" ] && [ "$now" = "$previous" ]; then
      echo "ok: $what"
      return 0
    fi
    previous="$now"
    require_running
    sleep 0.2
  done
  fail "$what: the $place area did not change"
  return 1
}

# wait_area_plain <what> <place>: waits, for up to 15 s, until the place's area holds one colour
# only (an empty field: no text drawn in it).
wait_area_plain() {
  local what="$1" deadline=$((SECONDS + 15))
  read_place "$2"
  while [ "$SECONDS" -lt "$deadline" ]; do
    import -window root "$WORK/area.png" 2>/dev/null
    if [ "$(region_colours "$WORK/area.png" "${PLACE_AREA[@]}")" = 1 ]; then
      echo "ok: $what"
      return 0
    fi
    require_running
    sleep 0.2
  done
  fail "$what: the $2 area still shows something"
  return 1
}

# wait_area_equal <what> <digest> <place>: waits, for up to 15 s, until the place's area has the
# given digest: what the same place showed earlier, or what another window of the test shows
# there (the windows draw alike).
wait_area_equal() {
  local what="$1" want="$2" place="$3" deadline=$((SECONDS + 15))
  while [ "$SECONDS" -lt "$deadline" ]; do
    if [ "$(snapshot_area "$place")" = "$want" ]; then
      echo "ok: $what"
      return 0
    fi
    require_running
    sleep 0.2
  done
  fail "$what: the $place area does not show what was expected"
  return 1
}

# save_shot <what>: a screenshot of the whole display for a person to look at, kept as
# <n>-<what>.png in E2E_SHOT_DIR (WORK/shots, removed with WORK, when that is not set).
save_shot() {
  local dir="${E2E_SHOT_DIR:-$WORK/shots}"
  SHOT_COUNT=$((SHOT_COUNT + 1))
  mkdir -p "$dir"
  import -window root "$dir/$(printf '%02d' "$SHOT_COUNT")-${1//[^A-Za-z0-9]/-}.png" 2>/dev/null
}

# expect_first_frame <what>: with the pointer parked, the window shows its background, the Animals
# tab selected and the Customers tab not (expect_pixels).
expect_first_frame() {
  park_pointer
  expect_pixels "$1" background "$BACKGROUND" animals "$PRIMARY" customers "$BUTTON"
}

# start_seeded_window <data directory> [NAME=value ...]: start_window on a directory the program
# seeds with the five demo records; returns once they are stored and the window shows its first
# frame (expect_first_frame).
start_seeded_window() {
  start_window "$@"
  wait_for_sequence "$1/store.corvane" 5 60
  expect_first_frame "$(window_label $((${#WINDOW_PIDS[@]} - 1))): first frame"
}

# start_window_pair <data directory>: the program started twice on the directory, as a user does
# by mistake. The first of the two (A) seeds the demo records; the second (B) opens on them, where
# A is, and is moved right and down (the display's window manager places nothing: it opens over A)
# so that A's tabs and list show to its left, while A stays. Sets PAIR_A and PAIR_B, their numbers
# for use_window (1 and 2 in a test that started no window before). B is the current window
# afterwards. Each window is to be raised before it is used.
start_window_pair() {
  PAIR_A=$((${#WINDOW_PIDS[@]} + 1))
  PAIR_B=$((PAIR_A + 1))
  start_seeded_window "$1"
  local a_place="$WIN_X,$WIN_Y"
  start_window "$1"
  expect_first_frame "$(window_label $((PAIR_B - 1))): first frame"
  expect_eq "B opens where A is" "$WIN_X,$WIN_Y" "$a_place"
  expect_eq "store after B opened" "$(store_sequence "$1/store.corvane")" 5
  xdotool windowmove "$WIN" 280 100
  local deadline=$((SECONDS + 10))
  while read_window_geometry && [ "$WIN_X,$WIN_Y" != "280,100" ] && [ "$SECONDS" -lt "$deadline" ]; do
    sleep 0.1
  done
  expect_eq "B moved" "$WIN_X,$WIN_Y" "280,100"
  expect_eq "B's size after the move" "$WIN_SIZE" "1000x700"
  use_window "$PAIR_A"
  expect_eq "A stayed" "$WIN_X,$WIN_Y" "$a_place"
  use_window "$PAIR_B"
}

# type_into_record <window> <what> <row> <field> <text>: in the window, raised, list row 0 to 5 is
# selected, the field focused and the text typed into it (type_into).
type_into_record() {
  use_window "$1"
  raise_window
  select_row "$2: row $3 selected" "$3"
  focus_field "$2: $4 field focused" "$4"
  type_into "$4" "$5"
}

# end_windows_with_escape: each window this test started and that still runs, the last one first,
# is raised, clicked on its background (the keyboard then goes to it) and sent ESCAPE; each must
# end normally: status 0, nothing on its error output.
end_windows_with_escape() {
  local n
  for ((n = ${#WINDOW_PIDS[@]}; n >= 1; n--)); do
    [ -n "${WINDOW_PIDS[n - 1]}" ] || continue
    use_window "$n"
    raise_window
    click_place background
    press_key Escape
    if wait_for_exit 60; then
      expect_eq "window $n: exit status after ESCAPE" "$APP_STATUS" 0
      expect_eq "window $n: error output" "$(tr -d '\r' <"${WINDOW_ERRS[n - 1]}")" ""
    else
      fail "window $n: oreb-vet did not end after ESCAPE"
    fi
  done
}

# type_into <place> <text>: types the text and waits until the place (a field or the search box)
# shows it, so a click or key that follows cannot overtake it.
type_into() {
  local before
  before="$(snapshot_area "$1")"
  xdotool type --delay 40 "$2"
  wait_area_change "typed '$2'" "$before" "$1"
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
