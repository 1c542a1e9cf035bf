#!/usr/bin/env bash
# Window mode where no window can be made (no X display): the window runtime's error reaches
# main, which prints it and ends with status 1. The demo records were seeded before.
. "$(dirname "$0")/lib.sh"

# Every wine process of this test, without a display, in a prefix and server of its own: the
# shared server's desktop must keep the display for the window tests that run after this one.
unset DISPLAY
use_private_wineprefix

MIVO_EXAMPLE_DATA="$data" timeout 120 $RUNNER "$OREB_VET" >"$WORK/out" 2>"$WORK/err"
status=$?
expect_eq "status" "$status" 1
expect_eq "error output" "$(tr -d '\r' <"$WORK/err")" "window.canvas: failed to create window/canvas window"
expect_eq "output" "$(tr -d '\r' <"$WORK/out")" ""
expect_eq "seeded before the window" "$(store_sequence "$store")" 5
finish
