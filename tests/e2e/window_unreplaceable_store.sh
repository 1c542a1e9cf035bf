#!/usr/bin/env bash
# A new record saved while the store cannot take it whole. With the snapshot file immutable
# (chattr +i) the commit writes its write-ahead file but cannot move a new snapshot into place;
# the store read back (that write-ahead file) holds the record, so the window keeps it: the
# status says so, the form shows the record's id and the list a fourth animal. A further Save
# while the file stays fixed is refused and writes nothing; once the flag is gone, the next Save
# stores the corrected record once. With the data directory immutable not even the write-ahead
# file can be written: the save is not kept, and the status says there is no permission to write
# the store file; the form stays a new record, the store as it was; once the flag is gone, Save
# stores it.
# Then two windows, A and B, on another directory with its snapshot file fixed. A keeps a new
# animal; B, given the focus, lists it and says saves wait, and B's save of another record is
# refused and writes nothing. Once the flag is gone B's save goes in on top of the kept animal,
# once; A, given the focus, no longer says Kept, and its edit of the kept animal is stored under
# the same id. With the file fixed again A keeps one new animal and B's save of another is
# refused; once the flag is gone B's Save stores its animal, A (no longer saying Kept) saves a
# note onto its own, and each is stored once, under its own id, the note on A's only. Statuses
# are read by their glyphs, against the same text typed into the name field. Needs root and a
# file system with the immutable flag.
. "$(dirname "$0")/lib.sh"
require_display
E2E_TIME_LIMIT=300  # the test's timeout is 360 s

wal="$data/store.wal.corvane"

# Nothing immutable outlives the test, however it ends: the work directory could not go. Every
# path ever given the flag has it cleared.
fixed_paths=()
trap 'for path in "${fixed_paths[@]}"; do chattr -i "$path" 2>/dev/null; done; cleanup_work' EXIT

# immutable <+i|-i> <path>: sets or clears the flag; a refusal ends the test, saying why.
immutable() {
  local reason
  [ "$1" != +i ] || fixed_paths+=("$2")
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

# remember_files: the snapshot file, the write-ahead file and the data directory's file list, as
# they are now; expect_untouched <what>: none of them changed since.
remember_files() {
  snapshot_before="$(md5sum <"$store")" wal_before="$(md5sum <"$wal" 2>/dev/null)"
  files_before="$(ls -A "$data" | tr '\n' ' ')"
}
expect_untouched() {
  expect_eq "$1: snapshot file unchanged" "$(md5sum <"$store")" "$snapshot_before"
  expect_eq "$1: write-ahead file unchanged" "$(md5sum <"$wal" 2>/dev/null)" "$wal_before"
  expect_eq "$1: no other file written" "$(ls -A "$data" | tr '\n' ' ')" "$files_before"
}

# save_new_animal <what> <name> <detail>: New record, the name and the detail typed, and saved
# (status_after_save).
save_new_animal() {
  click_place new expect_focus "$1: new record, the name focused" name
  type_into name "$2"
  press_key Tab
  type_into detail "$3"
  status_after_save "$1"
}

# The glyphs of the status line now (a field shows its first 528 px, 14 px further in).
status_text() {
  text_mask status 0 0 526 26
}

# wait_status <what> <mask> [other]: waits, for up to 15 s, until the status line reads as the
# mask, or, with "other", reads otherwise and holds still over two readings; sets STATUS_TEXT.
wait_status() {
  local deadline=$((SECONDS + 15)) previous=""
  while [ "$SECONDS" -lt "$deadline" ]; do
    STATUS_TEXT="$(status_text)"
    if { [ "$#" -eq 2 ] && [ "$STATUS_TEXT" = "$2" ]; } ||
      { [ "$#" -eq 3 ] && [ "$STATUS_TEXT" != "$2" ] && [ "$STATUS_TEXT" = "$previous" ]; }; then
      echo "ok: $1"
      return 0
    fi
    previous="$STATUS_TEXT"
    require_running
    sleep 0.2
  done
  fail "$1: the status line does not read as expected"
  return 1
}

# The glyphs of list row 0 to 5, selected or not.
row_text() {
  text_mask "row$1" 0 0 302 44
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
remember_files

# The typo fixed, and saved again while the file stays fixed: refused, nothing written.
focus_field "name focused for the fix" name
before="$(snapshot_area name)"
press_key BackSpace 2
wait_area_change "typo: two letters taken back" "$before" name
type_into name "per"
status_after_save "refused while the snapshot file is fixed"
refused_text="$STATUS_TEXT"
expect_eq "refused: snapshot sequence" "$(store_sequence "$store")" 5
expect_untouched "refused"

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
save_new_animal "not kept while the directory is fixed" Quince "Cat / first visit"
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
shows_text "not kept status" "$failed_text" "Not saved; no permission to write the store file"
shows_text "second saved status" "$second_saved_text" "Saved $second_id"

end_windows_with_escape
assert_store "after exit" sequence=8 catalog/records/count=7

# --- Two windows: A keeps a new animal, B's save is refused until the file is free ---------------
data="$WORK/pair"
store="$data/store.corvane"
wal="$data/store.wal.corvane"
start_window_pair "$data"
A=$PAIR_A B=$PAIR_B
empty_row="$(row_text 5)"  # B lists three animals

immutable +i "$store"
snapshot_before="$(md5sum <"$store")"
use_window "$A"
raise_window
save_new_animal "A: Pepper kept while the snapshot file is fixed" Pepper "Dog / first visit"
expect_eq "A: the status reads as the one window's Kept animal-6" "$STATUS_TEXT" "$kept_text"
expect_eq "A: the form's id reads as the one window's kept animal-6" "$(id_label)" "$kept_label"
expect_pixels "A: a fourth animal listed and selected" row3 "$PRIMARY" row4 "$BACKGROUND"
pepper_row="$(row_text 3)"
[ "$pepper_row" != "$empty_row" ] || fail "A's fourth row shows no text"
expect_eq "A kept: snapshot file unchanged" "$(md5sum <"$store")" "$snapshot_before"
expect_eq "A kept: the write-ahead file holds Pepper as animal-6" \
  "$(dump_value "$(dump_store "$wal")" animal-6:name)" Pepper
remember_files

# B reads the write-ahead file when it gets the focus: the kept animal is listed.
use_window "$B"
raise_window
expect_pixels "B before its focus: three animals" row2 "$BUTTON" row3 "$BACKGROUND"
b_ready_text="$(status_text)"
click_place background
expect_pixels "B given the focus: a fourth animal listed" row3 "$BUTTON" row4 "$BACKGROUND"
wait_status "B given the focus: its status changed" "$b_ready_text" other
b_focus_text="$STATUS_TEXT"
expect_eq "B: its fourth row reads as A's (Pepper)" "$(row_text 3)" "$pepper_row"
save_shot "B given the focus lists the kept animal"

type_into_record "$B" "B (Juniper)" 1 detail " / B: limping"
status_after_save "B: Juniper's detail refused while the snapshot file is fixed"
expect_eq "B: the status reads as the refused one (Not saved)" "$STATUS_TEXT" "$refused_text"
expect_untouched "B refused"

# The flag lifted: B's Save goes in on top of the kept animal.
immutable -i "$store"
status_after_save "B: Juniper's detail saved once the snapshot file is free" wait_for_sequence "$store" 7 30
b_juniper_text="$STATUS_TEXT"
dump="$(dump_store "$store")"
expect_stored_once "$dump" Pepper
assert_store "B saved" sequence=7 catalog/records/count=6 animal-6:name=Pepper animal-6:detail="Dog / first visit" \
  animal-4:name=Juniper animal-4:detail="Dog / vaccination review / B: limping"
expect_store_files "B saved" "$data"

# A reads the store moved into place when it gets the focus: its animal is saved, no longer kept.
use_window "$A"
raise_window
click_place background
wait_status "A given the focus: the status reads Saved animal-6, not Kept" "$saved_text"
save_shot "A given the focus after the file went in"
focus_field "A: Pepper's detail focused" detail
type_into detail " / A: weighed"
click_place save wait_for_sequence "$store" 8 30
park_pointer
wait_status "A: Pepper's edit saved (Saved animal-6)" "$saved_text"
dump="$(dump_store "$store")"
expect_stored_once "$dump" Pepper
assert_store "A saved Pepper's edit" sequence=8 catalog/records/count=6 animal-6:name=Pepper \
  animal-6:detail="Dog / first visit / A: weighed" animal-4:detail="Dog / vaccination review / B: limping"
save_shot "A saved its edit of the kept animal"

# --- Two windows, the file fixed again: each keeps or saves its own new animal once --------------
immutable +i "$store"
snapshot_before="$(md5sum <"$store")"
save_new_animal "A: KeptA kept while the snapshot file is fixed" KeptA "Cat / kept by A"
kept_a_text="$STATUS_TEXT"
kept_a_id="$(dump_store "$wal" | sed -n 's|^record/\([^/]*\)/content=KeptA$|\1|p')"
[ -n "$kept_a_id" ] || fail "the write-ahead file does not hold KeptA"
expect_pixels "A: KeptA listed fifth and selected" row4 "$PRIMARY" row5 "$BACKGROUND"
expect_eq "A kept KeptA: snapshot file unchanged" "$(md5sum <"$store")" "$snapshot_before"
remember_files

# B's click on New record gives it the focus: it reads A's kept animal, and its save is refused.
use_window "$B"
raise_window
save_new_animal "B: KeptB refused while the snapshot file is fixed" KeptB "Rabbit / kept by B"
expect_eq "B: the status reads as the refused one (Not saved)" "$STATUS_TEXT" "$refused_text"
expect_eq "B: the form's id still reads New record" "$(id_label)" "$new_label"
expect_pixels "B: five animals listed (KeptA fifth), none selected" row4 "$BUTTON" row5 "$BACKGROUND"
expect_untouched "B refused KeptB"

# The flag lifted: B saves its form again, as its user would.
immutable -i "$store"
status_after_save "B: KeptB saved once the snapshot file is free" wait_for_sequence "$store" 10 30
kept_b_saved_text="$STATUS_TEXT"
dump="$(dump_store "$store")"
kept_b_id="$(printf '%s\n' "$dump" | sed -n 's|^record/\([^/]*\)/content=KeptB$|\1|p')"
expect_stored_once "$dump" KeptA
expect_stored_once "$dump" KeptB
[ "$kept_b_id" != "$kept_a_id" ] || fail "KeptA and KeptB share the id '$kept_a_id'"
assert_store "B saved KeptB" sequence=10 catalog/records/count=8 "$kept_a_id:name=KeptA" \
  "$kept_a_id:detail=Cat / kept by A" "$kept_b_id:detail=Rabbit / kept by B"
expect_pixels "B: KeptB listed sixth and selected" row4 "$BUTTON" row5 "$PRIMARY"
save_shot "B saved KeptB once the file is free"

# A, given the focus by a click into its detail, says Kept no more; it types a note and saves.
use_window "$A"
raise_window
focus_field "A: KeptA's detail focused" detail
park_pointer
wait_status "A given the focus: the status no longer reads Kept" "$kept_a_text" other
a_focus_text="$STATUS_TEXT"
save_shot "A given the focus after B saved"
type_into detail " / A: note"
click_place save wait_for_sequence "$store" 11 30
park_pointer
a_note_text="$(status_text)"
dump="$(dump_store "$store")"
expect_stored_once "$dump" KeptA
expect_stored_once "$dump" KeptB
assert_store "A saved its note" sequence=11 catalog/records/count=8 "$kept_a_id:name=KeptA" \
  "$kept_a_id:detail=Cat / kept by A / A: note" "$kept_b_id:name=KeptB" "$kept_b_id:detail=Rabbit / kept by B"
expect_eq "A's note is stored on one field only" "$(printf '%s\n' "$dump" | grep -c 'A: note')" 1
expect_store_files "A saved its note" "$data"
save_shot "A saved its note"

# What the two windows' status lines read, typed into A's form.
shows_text "B's status once given the focus" "$b_focus_text" "Last save kept; saves wait for the store file"
shows_text "B's saved status of Juniper" "$b_juniper_text" "Saved animal-4"
shows_text "A's kept status of KeptA" "$kept_a_text" "Kept $kept_a_id; the store file could not be replaced yet"
shows_text "A's status once given the focus" "$a_focus_text" "Saved $kept_a_id"
shows_text "A's status after the note" "$a_note_text" "Saved $kept_a_id"
shows_text "B's saved status of KeptB" "$kept_b_saved_text" "Saved $kept_b_id"

end_windows_with_escape

finish
