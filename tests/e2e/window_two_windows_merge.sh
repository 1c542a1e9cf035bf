#!/usr/bin/env bash
# Two windows on one data directory, each editing a record the other has open: a save writes the
# fields its user changed onto the record as the other window saved it. B loads Mochi and types into
# its detail; A archives Mochi; B gets the focus (its button turns to Restore, its typed detail
# stays), types more and saves: Mochi is stored archived with B's detail. Then B renames Juniper
# while A adds to Juniper's detail and saves; B shows A's detail on focus and saves: both stored.
# What a window shows is compared with what the other shows at the same client spot.
. "$(dirname "$0")/lib.sh"
require_display
E2E_TIME_LIMIT=110  # the test's timeout is 150 s

data="$WORK/data"
store="$data/store.corvane"
ARCHIVE_LABEL_AREA=(741 531 196 34)  # inside the Archive / Restore button

# row_area <row>: the inside of list row 0 to 5, where its label is drawn.
row_area() {
  echo "46 $((321 + 49 * $1)) 282 34"
}

start_window_pair "$data"

# --- Mochi: B types into the detail, A archives, B saves ---------------------------------------
use_window 2
raise_window
click_at 100 338 expect_pixels "B: Mochi selected" 300 ${ROW_Y[0]} $PRIMARY_HOVERED
click_at 600 370 expect_pixels "B: detail field focused" 900 396 $FOCUS 900 307 $BACKGROUND
type_into $(field_area 1) " / B: teeth"
park_pointer
b_detail="$(snapshot_area $(field_area 1))"
b_archive_label="$(snapshot_area "${ARCHIVE_LABEL_AREA[@]}")"
b_mochi_row="$(snapshot_area $(row_area 0))"
save_shot "B typed into Mochi's detail"

use_window 1
raise_window
click_at 100 338 expect_pixels "A: Mochi selected" 300 ${ROW_Y[0]} $PRIMARY_HOVERED
park_pointer
expect_eq "A's button reads as B's (Archive)" "$(snapshot_area "${ARCHIVE_LABEL_AREA[@]}")" "$b_archive_label"
expect_eq "A's Mochi row reads as B's" "$(snapshot_area $(row_area 0))" "$b_mochi_row"
click_at 840 548 wait_for_sequence "$store" 6 30  # Archive
assert_store "A archived Mochi" \
  record/animal-3/lifecycle=archival record/animal-3/content=Mochi \
  animal-3:detail="Cat / annual wellness" animal-3:owner=customer-1
park_pointer
restore_label="$(snapshot_area "${ARCHIVE_LABEL_AREA[@]}")"
archived_row="$(snapshot_area $(row_area 0))"
a_status="$(snapshot_area "${STATUS_AREA[@]}")"  # Saved animal-3
[ "$restore_label" != "$b_archive_label" ] || fail "A's button did not change after Archive"
[ "$archived_row" != "$b_mochi_row" ] || fail "A's Mochi row did not change after Archive"
save_shot "A archived Mochi"

use_window 2
raise_window
# A click in the detail field gives B the keyboard focus: B reads A's save, and the fields its
# user left alone follow it (the archived flag: the button reads Restore); the typed detail stays.
click_at 600 370 expect_pixels "B: detail field focused again" 900 396 $FOCUS
park_pointer
wait_area_equal "B: the button reads Restore, as A's" "$restore_label" "${ARCHIVE_LABEL_AREA[@]}"
wait_area_equal "B: Mochi listed archived, as in A" "$archived_row" $(row_area 0)
expect_eq "B: its typed detail kept" "$(snapshot_area $(field_area 1))" "$b_detail"
save_shot "B got the focus after A's archive"
type_into $(field_area 1) " / gums"
click_at 460 548 wait_for_sequence "$store" 7 30  # Save
assert_store "Mochi archived by A, with B's detail" \
  record/animal-3/lifecycle=archival record/animal-3/content=Mochi \
  animal-3:detail="Cat / annual wellness / B: teeth / gums" \
  animal-3:owner=customer-1 edge/owner-animal-3/to=customer-1 catalog/records/count=5
park_pointer
wait_area_equal "B: the button still reads Restore" "$restore_label" "${ARCHIVE_LABEL_AREA[@]}"
wait_area_equal "B: Mochi still listed archived" "$archived_row" $(row_area 0)
wait_area_equal "B: status reads as A's after its save (Saved animal-3)" "$a_status" "${STATUS_AREA[@]}"
save_shot "B saved Mochi"

# --- Juniper: B renames it, A changes its detail and saves, B saves ----------------------------
click_at 100 387 expect_pixels "B: Juniper selected" 300 ${ROW_Y[1]} $PRIMARY_HOVERED
click_at 600 281 expect_pixels "B: name field focused" 900 307 $FOCUS 900 396 $BACKGROUND
type_into $(field_area 0) " Ash"
park_pointer
b_name="$(snapshot_area $(field_area 0))"
save_shot "B renamed Juniper"

use_window 1
raise_window
click_at 100 387 expect_pixels "A: Juniper selected" 300 ${ROW_Y[1]} $PRIMARY_HOVERED
click_at 600 370 expect_pixels "A: detail field focused" 900 396 $FOCUS 900 307 $BACKGROUND
type_into $(field_area 1) " / booster due"
click_at 460 548 wait_for_sequence "$store" 8 30  # Save
assert_store "A's detail of Juniper" \
  record/animal-4/content=Juniper animal-4:detail="Dog / vaccination review / booster due"
park_pointer
a_detail="$(snapshot_area $(field_area 1))"
save_shot "A saved Juniper's detail"

use_window 2
raise_window
click_at 600 281 expect_pixels "B: name field focused again" 900 307 $FOCUS
park_pointer
wait_area_equal "B: Juniper's detail as A saved it" "$a_detail" $(field_area 1)
expect_eq "B: its typed name kept" "$(snapshot_area $(field_area 0))" "$b_name"
click_at 460 548 wait_for_sequence "$store" 9 30  # Save
assert_store "Juniper renamed by B, with A's detail" \
  record/animal-4/content="Juniper Ash" animal-4:detail="Dog / vaccination review / booster due" \
  animal-4:owner=customer-2 record/animal-4/lifecycle=canonical \
  record/animal-3/lifecycle=archival catalog/records/count=5
save_shot "B saved Juniper's name"

# A, given the focus, shows B's name next to its own detail.
use_window 1
raise_window
click_at 985 690
wait_area_equal "A: Juniper's name as B saved it" "$b_name" $(field_area 0)
expect_eq "A: its detail" "$(snapshot_area $(field_area 1))" "$a_detail"
save_shot "A got the focus after B's save"

# --- Both programs end normally; the store holds every change once ------------------------------
end_windows_with_escape
assert_store "final store" sequence=9 catalog/records/count=5 catalog/edges/count=3 \
  record/animal-3/lifecycle=archival animal-3:detail="Cat / annual wellness / B: teeth / gums" \
  record/animal-4/content="Juniper Ash" animal-4:detail="Dog / vaccination review / booster due" \
  record/animal-5/content=Clover record/animal-5/lifecycle=canonical
expect_eq "files in the data directory" "$(ls -A "$data" | tr '\n' ' ')" "store.corvane store.lock.corvane "

finish
