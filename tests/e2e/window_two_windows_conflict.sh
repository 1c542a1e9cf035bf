#!/usr/bin/env bash
# Two windows on one data directory change one field of one record to two texts: B types into
# Clover's detail, A types another text into it and saves. B's Archive click then saves nothing
# (the snapshot file stays byte for byte, its sequence too); the status names the detail and A's
# text (read by the glyphs it draws, against the same text typed into a field of A's form), B's
# form keeps its text and the click (its button reads Restore), and the Save the status advises
# writes both. A, given the focus, then shows B's text and Restore.
. "$(dirname "$0")/lib.sh"
require_display
E2E_TIME_LIMIT=110  # the test's timeout is 150 s
ARCHIVE_LABEL_AREA=(741 531 196 34)  # inside the Archive / Restore button

# text_mask <x> <y> <w> <h>: the digest of where a client rectangle shows the text colour: a text's
# glyphs, whatever the background behind them.
text_mask() {
  import -window root "$WORK/mask.png" 2>/dev/null
  convert "$WORK/mask.png" -crop "${3}x${4}+$((WIN_X + $1))+$((WIN_Y + $2))" +repage -fill black \
    +opaque "rgb($LABEL)" -fill white -opaque "rgb($LABEL)" -depth 8 gray:- | md5sum | cut -d' ' -f1
}

data="$WORK/data"
store="$data/store.corvane"
B_DETAIL="Rabbit / routine visit / B: ears checked"
A_DETAIL="Rabbit / routine visit / A: claws trimmed"

start_window_pair "$data"

use_window 2
raise_window
click_at 100 436 expect_pixels "B: Clover selected" 300 ${ROW_Y[2]} $PRIMARY_HOVERED
click_at 600 370 expect_pixels "B: detail field focused" 900 396 $FOCUS 900 307 $BACKGROUND
type_into $(field_area 1) " / B: ears checked"
park_pointer
b_detail="$(snapshot_area $(field_area 1))"
b_ready="$(snapshot_area "${STATUS_AREA[@]}")"  # Ready
archive_label="$(snapshot_area "${ARCHIVE_LABEL_AREA[@]}")"
save_shot "B typed into Clover's detail"

use_window 1
raise_window
click_at 100 436 expect_pixels "A: Clover selected" 300 ${ROW_Y[2]} $PRIMARY_HOVERED
click_at 600 370 expect_pixels "A: detail field focused" 900 396 $FOCUS 900 307 $BACKGROUND
type_into $(field_area 1) " / A: claws trimmed"
click_at 460 548 wait_for_sequence "$store" 6 30  # Save
assert_store "A's detail of Clover" record/animal-5/properties/0/value="$A_DETAIL"
park_pointer
a_saved="$(snapshot_area "${STATUS_AREA[@]}")"  # Saved animal-5
[ "$a_saved" != "$b_ready" ] || fail "A's status did not change after its save"
save_shot "A saved Clover's detail"

# --- B's Archive: stopped, nothing written -------------------------------------------------------
snapshot_before="$(md5sum <"$store")"
use_window 2
raise_window
# B's own status, drawn again over where A covered it.
wait_area_equal "B: status Ready" "$b_ready" "${STATUS_AREA[@]}"
# The click on Archive also gives B the keyboard focus; either way B reads A's save first.
click_at 840 548 wait_area_change "B: status changed by Archive" "$b_ready" "${STATUS_AREA[@]}"
park_pointer
b_conflict="$(snapshot_area "${STATUS_AREA[@]}")"
b_conflict_text="$(text_mask 392 596 526 26)"  # a field shows its first 528 px, 14 px further in
b_restore="$(snapshot_area "${ARCHIVE_LABEL_AREA[@]}")"
[ "$b_restore" != "$archive_label" ] || fail "B's button does not read Restore after the stopped Archive"
[ "$b_conflict" != "$a_saved" ] || fail "B's status after the stopped save reads as a save"
expect_eq "B's stopped save: snapshot file unchanged" "$(md5sum <"$store")" "$snapshot_before"
expect_eq "B's stopped save: sequence" "$(store_sequence "$store")" 6
expect_eq "B's stopped save: files in the data directory" "$(ls -A "$data" | tr '\n' ' ')" \
  "store.corvane store.lock.corvane "
expect_eq "B: its typed detail kept" "$(snapshot_area $(field_area 1))" "$b_detail"
assert_store "A's detail still stored" record/animal-5/properties/0/value="$A_DETAIL"
save_shot "B's Archive stopped"

# --- B saves again: its text is written over A's, knowingly, and Clover archived -----------------
click_at 460 548 wait_for_sequence "$store" 7 30  # Save
assert_store "B's detail of Clover" \
  record/animal-5/properties/0/value="$B_DETAIL" record/animal-5/content=Clover \
  record/animal-5/properties/1/value=customer-1 record/animal-5/lifecycle=archival catalog/records/count=5
park_pointer
wait_area_equal "B: status reads as A's after its save (Saved animal-5)" "$a_saved" "${STATUS_AREA[@]}"
expect_eq "B: its detail shown" "$(snapshot_area $(field_area 1))" "$b_detail"
save_shot "B saved again"

# A left its saved detail alone since: with the focus it takes B's.
use_window 1
raise_window
click_at 985 690
wait_area_equal "A: Clover's detail as B saved it" "$b_detail" $(field_area 1)
wait_area_equal "A: the button reads Restore, as B's" "$b_restore" "${ARCHIVE_LABEL_AREA[@]}"
save_shot "A got the focus after B's save"

# A's new record's name holds the text B's stopped save showed (cut where the field ends).
click_at 631 548 expect_pixels "A: name field focused" 900 307 $FOCUS  # New record
[ "$(text_mask 406 268 526 26)" != "$b_conflict_text" ] || fail "B's status showed no text"
type_into $(field_area 0) 'Other window: detail "...A: claws trimmed"; Save keeps yours'
park_pointer
expect_eq "B's status named the detail and A's text" "$(text_mask 406 268 526 26)" "$b_conflict_text"
save_shot "A typed B's conflict status"

end_windows_with_escape
assert_store "final store" sequence=7 catalog/records/count=5 record/animal-5/properties/0/value="$B_DETAIL" \
  record/animal-5/lifecycle=archival

finish
