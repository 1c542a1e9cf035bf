#!/usr/bin/env bash
# Two windows on one data directory change one field of one record to two texts: B types into
# Clover's detail, A types another text into it and saves. B's Archive click then saves nothing
# (the snapshot file stays byte for byte, its sequence too); the status names the detail by its
# label on one line and A's text, shortened to the part where it departs from B's, on the next
# (read by the glyphs it draws, against the same lines typed into fields of A's form), B's
# form keeps its text and the click (its button reads Restore), and the Save the status advises
# writes both. A, given the focus, then shows B's text and Restore.
. "$(dirname "$0")/lib.sh"
require_display
E2E_TIME_LIMIT=110  # the test's timeout is 150 s

B_DETAIL="Rabbit / routine visit / B: ears checked"
A_DETAIL="Rabbit / routine visit / A: claws trimmed"

start_window_pair "$data"

type_into_record 2 "B (Clover)" 2 detail " / B: ears checked"
park_pointer
b_detail="$(snapshot_area detail)"
b_ready="$(snapshot_area status)"  # Ready
archive_label="$(snapshot_area archive)"
save_shot "B typed into Clover's detail"

type_into_record 1 "A (Clover)" 2 detail " / A: claws trimmed"
click_place save wait_for_sequence "$store" 6 30
assert_store "A's detail of Clover" animal-5:detail="$A_DETAIL"
park_pointer
a_saved="$(snapshot_area status)"  # Saved animal-5
[ "$a_saved" != "$b_ready" ] || fail "A's status did not change after its save"
save_shot "A saved Clover's detail"

# --- B's Archive: stopped, nothing written -------------------------------------------------------
snapshot_before="$(md5sum <"$store")"
use_window 2
raise_window
# B's own status, drawn again over where A covered it.
wait_area_equal "B: status Ready" "$b_ready" status
# The click on Archive also gives B the keyboard focus; either way B reads A's save first.
click_place archive wait_area_change "B: status changed by Archive" "$b_ready" status
park_pointer
b_conflict="$(snapshot_area status)"
b_conflict_text="$(text_mask status 0 0 526 26)"  # a field shows its first 528 px, 14 px further in
b_conflict_text2="$(text_mask status2 0 0 526 26)"
b_restore="$(snapshot_area archive)"
[ "$b_restore" != "$archive_label" ] || fail "B's button does not read Restore after the stopped Archive"
[ "$b_conflict" != "$a_saved" ] || fail "B's status after the stopped save reads as a save"
expect_eq "B's stopped save: snapshot file unchanged" "$(md5sum <"$store")" "$snapshot_before"
expect_eq "B's stopped save: sequence" "$(store_sequence "$store")" 6
expect_store_files "B's stopped save" "$data"
expect_eq "B: its typed detail kept" "$(snapshot_area detail)" "$b_detail"
expect_eq "A's detail still stored" "$(record_field animal-5 detail)" "$A_DETAIL"
save_shot "B's Archive stopped"

# --- B saves again: its text is written over A's, knowingly, and Clover archived -----------------
click_place save wait_for_sequence "$store" 7 30
assert_store "B's detail of Clover" \
  animal-5:detail="$B_DETAIL" animal-5:name=Clover animal-5:owner=customer-1 \
  record/animal-5/lifecycle=archival catalog/records/count=5
park_pointer
wait_area_equal "B: status reads as A's after its save (Saved animal-5)" "$a_saved" status
expect_eq "B: its detail shown" "$(snapshot_area detail)" "$b_detail"
save_shot "B saved again"

# A left its saved detail alone since: with the focus it takes B's.
use_window 1
raise_window
click_place background
wait_area_equal "A: Clover's detail as B saved it" "$b_detail" detail
wait_area_equal "A: the button reads Restore, as B's" "$b_restore" archive
save_shot "A got the focus after B's save"

# A's new record's name and detail hold the two lines B's stopped save showed.
click_place new expect_focus "A: name field focused" name
[ "$(text_mask name 14 10 526 26)" != "$b_conflict_text" ] || fail "B's status showed no first line"
[ "$(text_mask detail 14 10 526 26)" != "$b_conflict_text2" ] || fail "B's status showed no second line"
type_into name 'Other window: SPECIES / VISIT NOTE'
focus_field "A: detail field focused" detail
type_into detail '"...A: claws trimmed"; Save keeps yours'
park_pointer
expect_eq "B's status named the detail by its label" "$(text_mask name 14 10 526 26)" "$b_conflict_text"
expect_eq "B's status showed A's text from where it departs" "$(text_mask detail 14 10 526 26)" "$b_conflict_text2"
save_shot "A typed B's conflict status"

end_windows_with_escape
assert_store "final store" sequence=7 catalog/records/count=5 animal-5:detail="$B_DETAIL" \
  record/animal-5/lifecycle=archival

finish
