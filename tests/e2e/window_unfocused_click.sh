#!/usr/bin/env bash
# A click straight on a window that does not have the keyboard focus (not raised first: the click
# gives it the focus) means what that window showed where it landed; what the other window saved
# shows only after it. A archives Mochi; B, still showing it active, is clicked on its Archive:
# Mochi stays archived. The same with Restore. B lists one row for its search; A renames Mochi to
# match it; B's row clicked opens the record the row showed, not Mochi.
. "$(dirname "$0")/lib.sh"
require_display
E2E_TIME_LIMIT=200  # the test's timeout is 240 s

data="$WORK/data"
store="$data/store.corvane"
ARCHIVE_LABEL_AREA=(741 531 196 34)  # inside the Archive / Restore button

# click_unraised <x> <y>: press and release on the current window where it lies under the others,
# without raising it first; then the pointer is parked on its background (right of A).
click_unraised() {
  require_running
  xdotool mousemove --window "$WIN" "$1" "$2" click 1
  park_pointer
}

start_window_pair "$data"
# B's buttons lie right of A (B is at 280,100; A ends at x 1008): clicks reach them with A on top.
use_window 2
raise_window
click_at 100 338 expect_pixels "B: Mochi selected" 300 ${ROW_Y[0]} $PRIMARY_HOVERED
park_pointer
archive_label="$(snapshot_area "${ARCHIVE_LABEL_AREA[@]}")"

use_window 1
raise_window
click_at 100 338 expect_pixels "A: Mochi selected" 300 ${ROW_Y[0]} $PRIMARY_HOVERED
click_at 840 548 wait_for_sequence "$store" 6 30  # Archive
assert_store "A archived Mochi" record/animal-3/lifecycle=archival
park_pointer
restore_label="$(snapshot_area "${ARCHIVE_LABEL_AREA[@]}")"

# --- Archive and Restore ---------------------------------------------------------------------------
use_window 2
expect_eq "B, without the focus, still shows Archive" "$(snapshot_area "${ARCHIVE_LABEL_AREA[@]}")" "$archive_label"
save_shot "A archived Mochi, B still shows Archive"
click_unraised 840 548
wait_for_sequence "$store" 7 30
assert_store "B's Archive keeps Mochi archived" record/animal-3/lifecycle=archival record/animal-3/content=Mochi
wait_area_equal "B shows Restore after the click" "$restore_label" "${ARCHIVE_LABEL_AREA[@]}"
save_shot "B clicked Archive without raising"

use_window 1
raise_window
click_at 840 548 wait_for_sequence "$store" 8 30  # Restore
assert_store "A restored Mochi" record/animal-3/lifecycle=canonical
park_pointer
use_window 2
expect_eq "B, without the focus, still shows Restore" "$(snapshot_area "${ARCHIVE_LABEL_AREA[@]}")" "$restore_label"
click_unraised 840 548
wait_for_sequence "$store" 9 30
assert_store "B's Restore keeps Mochi active" record/animal-3/lifecycle=canonical record/animal-3/content=Mochi
wait_area_equal "B shows Archive after the click" "$archive_label" "${ARCHIVE_LABEL_AREA[@]}"

# --- A list row ------------------------------------------------------------------------------------
raise_window
click_at 150 272 expect_pixels "B: search focused" 100 297 $FOCUS
type_into "${SEARCH_TEXT_AREA[@]}" "Clover"
park_pointer
expect_pixels "B lists Clover alone" 300 ${ROW_Y[0]} $BUTTON 300 ${ROW_Y[1]} $BACKGROUND

use_window 1
raise_window
click_at 600 281 expect_pixels "A: name field focused" 900 307 $FOCUS
type_into $(field_area 0) " Clover"
click_at 460 548 wait_for_sequence "$store" 10 30  # Save
assert_store "A renamed Mochi into B's search" record/animal-3/content="Mochi Clover"

# B on top again, but without the focus: it has not read A's save and lists one row.
use_window 2
raise_window
park_pointer
expect_pixels "B, raised without the focus, still lists one row" 300 ${ROW_Y[0]} $BUTTON 300 ${ROW_Y[1]} $BACKGROUND
save_shot "B lists the one row it read"
click_unraised 100 338
# Both rows now (Mochi Clover above Clover); the selected one is the row clicked: Clover.
expect_pixels "B opened the record its row showed" 300 ${ROW_Y[0]} $BUTTON 300 ${ROW_Y[1]} $PRIMARY
save_shot "B opened Clover"

end_windows_with_escape
assert_store "final store" sequence=10 catalog/records/count=5 record/animal-3/lifecycle=canonical \
  record/animal-3/content="Mochi Clover" record/animal-5/content=Clover
finish
