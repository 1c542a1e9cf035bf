#!/usr/bin/env bash
# Closing the window with its close button (the top-right caption area the window draws itself)
# is a normal end: status 0, nothing on the error output, the store as it was. The self-test
# switch takes only the exact value 1: "01" opens the window.
. "$(dirname "$0")/lib.sh"
require_display

data="$WORK/data"
start_window "$data" MIVO_EXAMPLE_TEST=01
wait_for_sequence "$data/store.corvane" 5 60
park_pointer
expect_pixels "window drawn" 985 690 $BACKGROUND 150 $TAB_Y $PRIMARY
# The close button area: the rightmost 46 pixels, rows 8 to 37. The button acts on the release,
# which ends the program, so this click is made by hand rather than with click_at.
xdotool mousemove --window "$WIN" 980 20
sleep 0.05
BUTTON_HELD=1
xdotool mousedown 1
sleep 0.25
xdotool mouseup 1
BUTTON_HELD=""
if wait_for_exit 60; then
  expect_eq "exit status after closing" "$APP_STATUS" 0
  expect_eq "error output" "$(tr -d '\r' <"$WORK/window.err")" ""
else
  fail "oreb-vet did not end after its window was closed"
fi
expect_eq "store untouched by closing" "$(store_sequence "$data/store.corvane")" 5
# The snapshot and the commits' lock file, which stays (always empty); no write-ahead or next file.
expect_eq "files in the data directory" "$(ls -A "$data" | tr '\n' ' ')" "store.corvane store.lock.corvane "
expect_eq "lock file size" "$(stat -c %s "$data/store.lock.corvane" 2>/dev/null)" 0
finish
