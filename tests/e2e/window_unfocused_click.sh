#!/usr/bin/env bash
# A click straight on a window that does not have the keyboard focus (not raised first: the click
# gives it the focus) means what that window showed where it landed; what the other window saved
# shows only after it. A archives Mochi; B, still showing it active, is clicked on its Archive:
# Mochi stays archived. The same with Restore. B lists one row for its search; A renames Mochi to
# match it; B's row clicked opens the record the row showed, not Mochi.
. "$(dirname "$0")/lib.sh"
require_display
E2E_TIME_LIMIT=200  # the test's timeout is 240 s

start_window_pair "$data"
# B's buttons lie right of A (B is at 280,100; A ends at x 1008): clicks reach them with A on top.
use_window 2
raise_window
select_row "B: Mochi selected" 0
park_pointer
archive_label="$(snapshot_area archive)"

use_window 1
raise_window
select_row "A: Mochi selected" 0
click_place archive wait_for_sequence "$store" 6 30
assert_store "A archived Mochi" record/animal-3/lifecycle=archival
park_pointer
restore_label="$(snapshot_area archive)"

# --- Archive and Restore ---------------------------------------------------------------------------
use_window 2
expect_eq "B, without the focus, still shows Archive" "$(snapshot_area archive)" "$archive_label"
save_shot "A archived Mochi, B still shows Archive"
click_unraised archive
wait_for_sequence "$store" 7 30
assert_store "B's Archive keeps Mochi archived" record/animal-3/lifecycle=archival animal-3:name=Mochi
wait_area_equal "B shows Restore after the click" "$restore_label" archive
save_shot "B clicked Archive without raising"

use_window 1
raise_window
click_place archive wait_for_sequence "$store" 8 30  # Restore
assert_store "A restored Mochi" record/animal-3/lifecycle=canonical
park_pointer
use_window 2
expect_eq "B, without the focus, still shows Restore" "$(snapshot_area archive)" "$restore_label"
click_unraised archive
wait_for_sequence "$store" 9 30
assert_store "B's Restore keeps Mochi active" record/animal-3/lifecycle=canonical animal-3:name=Mochi
wait_area_equal "B shows Archive after the click" "$archive_label" archive

# --- A list row ------------------------------------------------------------------------------------
raise_window
focus_field "B: search focused" search
type_into search "Clover"
park_pointer
expect_pixels "B lists Clover alone" row0 "$BUTTON" row1 "$BACKGROUND"

use_window 1
raise_window
focus_field "A: name field focused" name
type_into name " Clover"
click_place save wait_for_sequence "$store" 10 30
assert_store "A renamed Mochi into B's search" animal-3:name="Mochi Clover"

# B on top again, but without the focus: it has not read A's save and lists one row.
use_window 2
raise_window
park_pointer
expect_pixels "B, raised without the focus, still lists one row" row0 "$BUTTON" row1 "$BACKGROUND"
save_shot "B lists the one row it read"
click_unraised row0
# Both rows now (Mochi Clover above Clover); the selected one is the row clicked: Clover.
expect_pixels "B opened the record its row showed" row0 "$BUTTON" row1 "$PRIMARY"
save_shot "B opened Clover"

end_windows_with_escape
assert_store "final store" sequence=10 catalog/records/count=5 record/animal-3/lifecycle=canonical \
  animal-3:name="Mochi Clover" animal-5:name=Clover
finish
