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

start_window_pair "$data"

# --- Mochi: B types into the detail, A archives, B saves ---------------------------------------
type_into_record 2 "B (Mochi)" 0 detail " / B: teeth"
park_pointer
b_detail="$(snapshot_area detail)"
b_archive_label="$(snapshot_area archive)"
b_mochi_row="$(snapshot_area row0)"
save_shot "B typed into Mochi's detail"

use_window 1
raise_window
select_row "A: Mochi selected" 0
park_pointer
expect_eq "A's button reads as B's (Archive)" "$(snapshot_area archive)" "$b_archive_label"
expect_eq "A's Mochi row reads as B's" "$(snapshot_area row0)" "$b_mochi_row"
click_place archive wait_for_sequence "$store" 6 30
assert_store "A archived Mochi" \
  record/animal-3/lifecycle=archival record/animal-3/content=Mochi \
  animal-3:detail="Cat / annual wellness" animal-3:owner=customer-1
park_pointer
restore_label="$(snapshot_area archive)"
archived_row="$(snapshot_area row0)"
a_status="$(snapshot_area status)"  # Saved animal-3
[ "$restore_label" != "$b_archive_label" ] || fail "A's button did not change after Archive"
[ "$archived_row" != "$b_mochi_row" ] || fail "A's Mochi row did not change after Archive"
save_shot "A archived Mochi"

use_window 2
raise_window
# A click in the detail field gives B the keyboard focus: B reads A's save, and the fields its
# user left alone follow it (the archived flag: the button reads Restore); the typed detail stays.
focus_field "B: detail field focused again" detail
park_pointer
wait_area_equal "B: the button reads Restore, as A's" "$restore_label" archive
wait_area_equal "B: Mochi listed archived, as in A" "$archived_row" row0
expect_eq "B: its typed detail kept" "$(snapshot_area detail)" "$b_detail"
save_shot "B got the focus after A's archive"
type_into detail " / gums"
click_place save wait_for_sequence "$store" 7 30
assert_store "Mochi archived by A, with B's detail" \
  record/animal-3/lifecycle=archival record/animal-3/content=Mochi \
  animal-3:detail="Cat / annual wellness / B: teeth / gums" animal-3:owner=customer-1 \
  edge/owner-animal-3/to=customer-1 catalog/records/count=5
park_pointer
wait_area_equal "B: the button still reads Restore" "$restore_label" archive
wait_area_equal "B: Mochi still listed archived" "$archived_row" row0
wait_area_equal "B: status reads as A's after its save (Saved animal-3)" "$a_status" status
save_shot "B saved Mochi"

# --- Juniper: B renames it, A changes its detail and saves, B saves ----------------------------
type_into_record 2 "B (Juniper)" 1 name " Ash"
park_pointer
b_name="$(snapshot_area name)"
save_shot "B renamed Juniper"

type_into_record 1 "A (Juniper)" 1 detail " / booster due"
click_place save wait_for_sequence "$store" 8 30
assert_store "A's detail of Juniper" \
  record/animal-4/content=Juniper animal-4:detail="Dog / vaccination review / booster due"
park_pointer
a_detail="$(snapshot_area detail)"
save_shot "A saved Juniper's detail"

use_window 2
raise_window
focus_field "B: name field focused again" name
park_pointer
wait_area_equal "B: Juniper's detail as A saved it" "$a_detail" detail
expect_eq "B: its typed name kept" "$(snapshot_area name)" "$b_name"
click_place save wait_for_sequence "$store" 9 30
assert_store "Juniper renamed by B, with A's detail" \
  record/animal-4/content="Juniper Ash" animal-4:detail="Dog / vaccination review / booster due" \
  animal-4:owner=customer-2 record/animal-4/lifecycle=canonical \
  record/animal-3/lifecycle=archival catalog/records/count=5
save_shot "B saved Juniper's name"

# A, given the focus, shows B's name next to its own detail.
use_window 1
raise_window
click_place background
wait_area_equal "A: Juniper's name as B saved it" "$b_name" name
expect_eq "A: its detail" "$(snapshot_area detail)" "$a_detail"
save_shot "A got the focus after B's save"

# --- Both programs end normally; the store holds every change once ------------------------------
end_windows_with_escape
assert_store "final store" sequence=9 catalog/records/count=5 catalog/edges/count=3 \
  record/animal-3/lifecycle=archival animal-3:detail="Cat / annual wellness / B: teeth / gums" \
  record/animal-4/content="Juniper Ash" animal-4:detail="Dog / vaccination review / booster due" \
  record/animal-5/content=Clover record/animal-5/lifecycle=canonical
expect_store_files "at the end" "$data"

finish
