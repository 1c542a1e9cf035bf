#!/usr/bin/env bash
# Closing the window with its close button (the top-right caption area the window draws itself)
# is a normal end: status 0, nothing on the error output, the store as it was. The self-test
# switch takes only the exact value 1: "01" opens the window.
. "$(dirname "$0")/lib.sh"
require_display

start_seeded_window "$data" MIVO_EXAMPLE_TEST=01
# The close button acts on the release, which ends the program, so this click is made by hand
# rather than with click_place.
read_place close
xdotool mousemove --window "$WIN" "$PLACE_X" "$PLACE_Y"
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
expect_eq "store untouched by closing" "$(store_sequence "$store")" 5
expect_store_files "after closing" "$data"
finish
