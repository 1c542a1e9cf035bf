#!/usr/bin/env bash
# A new record saved while the store cannot take it whole. With the snapshot file immutable
# (chattr +i) the commit writes its write-ahead file but cannot move a new snapshot into place;
# the store read back (that write-ahead file) holds the record, so the window keeps it: the
# status says so, the form shows the record's id and the list a fourth animal. A further Save
# while the file stays fixed is refused and writes nothing; once the flag is gone, the next Save
# stores the corrected record once. With the data directory immutable not even the write-ahead
# file can be written: the save is not kept, the form stays a new record, the store as it was;
# once the flag is gone, Save stores it. Statuses are read by their glyphs, against the same
# text typed into the name field. Needs root and a file system with the immutable flag.
. "$(dirname "$0")/lib.sh"
require_display
E2E_TIME_LIMIT=200  # the test's timeout is 240 s

wal="$data/store.wal.corvane"

# Nothing immutable outlives the test, however it ends: the work directory could not go.
trap 'chattr -i "$data" 2>/dev/null; chattr -i "$store" 2>/dev/null; cleanup_work' EXIT

# immutable <+i|-i> <path>: sets or clears the flag; a refusal ends the test, saying why.
immutable() {
  local reason
  if ! reason="$(chattr "$1" "$2" 2>&1)"; then
    fail "chattr $1 $2 was refused (the test needs root and a file system with the immutable flag): $reason"
    finish
  fi
}

# shows_text <what> <mask> <text>: a status mask (text_mask status 0 0 526 26) reads as the text,
# typed into the name field of a new record (a field shows its first 528 px, 14 px further in).
shows_text() {
  click_place new expect_focus "$1: new record for the text" name
  wait_area_plain "$1: name field empty" name
  type_into name "$3"
  park_pointer
  expect_eq "$1 reads \"$3\"" "$(text_mask name 14 10 526 26)" "$2"
  save_shot "$1 typed"
}

# The glyphs of the form's record id, under its title.
id_label() {
  text_mask record-id 0 0 240 19 "$MUTED_LABEL"
}

# status_after_save <what> [<wait command> <args>...]: Save is clicked and held until the status
# line has changed (and the wait command, if any, has returned); sets STATUS_TEXT (the status's
# glyph mask), and a screenshot is kept.
status_after_save() {
  click_place save wait_area_change "$1: status changed" "$(snapshot_area status)" status
  [ "$#" -le 1 ] || "${@:2}"
  park_pointer
  STATUS_TEXT="$(text_mask status 0 0 526 26)"
  save_shot "$1"
}

start_seeded_window "$data"

# --- The snapshot file fixed: the new animal kept from the write-ahead file ---------------------
immutable +i "$store"
snapshot_before="$(md5sum <"$store")"
click_place new expect_focus "new record: the name focused" name
new_label="$(id_label)"
type_into name "Peper"
press_key Tab
type_into detail "Dog / first visit"
status_after_save "kept while the snapshot file is fixed"
kept_text="$STATUS_TEXT"
kept_label="$(id_label)"
[ "$kept_label" != "$new_label" ] || fail "kept: the form's id label still reads New record"
expect_pixels "kept: a fourth animal listed and selected" row2 "$BUTTON" row3 "$PRIMARY" row4 "$BACKGROUND"
expect_eq "kept: snapshot sequence" "$(store_sequence "$store")" 5
expect_eq "kept: snapshot file unchanged" "$(md5sum <"$store")" "$snapshot_before"
expect_eq "kept: the write-ahead file holds the record" "$(dump_value "$(dump_store "$wal")" animal-6:name)" Peper
wal_before="$(md5sum <"$wal")"
files_before="$(ls -A "$data" | tr '\n' ' ')"

# The typo fixed, and saved again while the file stays fixed: refused, nothing written.
focus_field "name focused for the fix" name
before="$(snapshot_area name)"
press_key BackSpace 2
wait_area_change "typo: two letters taken back" "$before" name
type_into name "per"
status_after_save "refused while the snapshot file is fixed"
refused_text="$STATUS_TEXT"
expect_eq "refused: snapshot sequence" "$(store_sequence "$store")" 5
expect_eq "refused: snapshot file unchanged" "$(md5sum <"$store")" "$snapshot_before"
expect_eq "refused: write-ahead file unchanged" "$(md5sum <"$wal")" "$wal_before"
expect_eq "refused: no other file written" "$(ls -A "$data" | tr '\n' ' ')" "$files_before"

# The flag lifted: the same form's Save stores the record once, with the corrected name.
immutable -i "$store"
status_after_save "saved once the snapshot file is free" wait_for_sequence "$store" 7 30
saved_text="$STATUS_TEXT"
dump="$(dump_store "$store")"
expect_stored_once "$dump" Pepper
expect_eq "saved: no second copy (animal-7)" "$(printf '%s\n' "$dump" | grep -c '^record/animal-7/')" 0
assert_store "saved" sequence=7 catalog/records/count=6 animal-6:name=Pepper animal-6:detail="Dog / first visit"
expect_store_files "saved" "$data"
expect_eq "saved: the form's id as when kept" "$(id_label)" "$kept_label"
select_row "the fourth animal selected" 3
expect_eq "the fourth animal's id is the one the kept form showed" "$(id_label)" "$kept_label"

# --- The data directory fixed: no write-ahead file, the save not kept ----------------------------
immutable +i "$data"
snapshot_before="$(md5sum <"$store")"
click_place new expect_focus "second new record: the name focused" name
type_into name "Quince"
press_key Tab
type_into detail "Cat / first visit"
status_after_save "not kept while the directory is fixed"
failed_text="$STATUS_TEXT"
expect_eq "not kept: the form's id reads New record" "$(id_label)" "$new_label"
expect_pixels "not kept: four animals listed, none selected" row3 "$BUTTON" row4 "$BACKGROUND"
expect_eq "not kept: sequence" "$(store_sequence "$store")" 7
expect_eq "not kept: snapshot file unchanged" "$(md5sum <"$store")" "$snapshot_before"
expect_store_files "not kept" "$data"

immutable -i "$data"
status_after_save "saved once the directory is free" wait_for_sequence "$store" 8 30
second_saved_text="$STATUS_TEXT"
dump="$(dump_store "$store")"
expect_stored_once "$dump" Quince
second_id="$(printf '%s\n' "$dump" | sed -n 's|^record/\([^/]*\)/content=Quince$|\1|p')"
assert_store "second saved" catalog/records/count=7 "$second_id:detail=Cat / first visit"
expect_pixels "second saved: five animals, the new one selected" row3 "$BUTTON" row4 "$PRIMARY" row5 "$BACKGROUND"

# --- What the status line read, each time --------------------------------------------------------
shows_text "kept status" "$kept_text" "Kept animal-6; the store file could not be replaced yet"
shows_text "refused status" "$refused_text" "Not saved; the store file could not be replaced yet"
shows_text "saved status" "$saved_text" "Saved animal-6"
shows_text "not kept status" "$failed_text" "Commit failed; reopened saved records"
shows_text "second saved status" "$second_saved_text" "Saved $second_id"

end_windows_with_escape
assert_store "after exit" sequence=8 catalog/records/count=7

finish
